// Channel-sized messages: two method calls as the app-window channel sends them. Ours against
// msgpack-cxx (unpacked and converted into std containers) and nlohmann::json (a dynamic tree,
// like ours). Encoding is timed twice: into a fresh buffer per message (our owned-vector
// interface, a fresh msgpack::sbuffer) and into one buffer emptied and reused for every message
// (the channel's path, a cleared sbuffer).
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <msgpack.hpp>
#include <nlohmann/json.hpp>

#include "bench/bench_support.h"
#include "bench/nlohmann_encode.h"
#include "bench/workload_data.h"
#include "codec/method_call.h"
#include "codec/standard_method_codec.h"

namespace bench {

namespace {

// ---- method calls -----------------------------------------------------------------------------

// A call is its name and its arguments: null, or the event line.
struct CallData {
  std::string name;
  std::optional<std::string> argument;
};

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::SharedInstance();
}

std::unique_ptr<flutter::MethodCall<>> OurCall(const CallData& data) {
  return std::make_unique<flutter::MethodCall<>>(
      data.name,
      data.argument ? std::make_unique<flutter::EncodableValue>(*data.argument) : nullptr);
}

// The call as the method codec lays it out, written value by value through the virtual slots.
std::vector<uint8_t> CallThroughSlots(const CallData& data) {
  std::vector<uint8_t> bytes;
  SlotWriter writer(&bytes);
  const auto& serializer = flutter::StandardCodecSerializer::SharedInstance();
  serializer.WriteValue(flutter::EncodableValue(data.name), &writer);
  serializer.WriteValue(
      data.argument ? flutter::EncodableValue(*data.argument) : flutter::EncodableValue(), &writer);
  return bytes;
}

bool OurCallMatches(const flutter::MethodCall<>* call, const CallData& data) {
  if (call == nullptr || call->method_name() != data.name || call->arguments() == nullptr) {
    return false;
  }
  return data.argument ? *call->arguments() == flutter::EncodableValue(*data.argument)
                       : call->arguments()->IsNull();
}

// MessagePack has no call envelope; the natural form is the array [name, argument].
void PackCall(msgpack::sbuffer& buffer, const CallData& data) {
  msgpack::packer<msgpack::sbuffer> packer(buffer);
  packer.pack_array(2);
  packer.pack(data.name);
  if (data.argument) {
    packer.pack(*data.argument);
  } else {
    packer.pack_nil();
  }
}

using MsgpackCall = std::tuple<std::string, std::optional<std::string>>;

nlohmann::json JsonCall(const CallData& data) {
  return nlohmann::json::array(
      {data.name, data.argument ? nlohmann::json(*data.argument) : nlohmann::json(nullptr)});
}

void OursEncodeCall(benchmark::State& state, const CallData* data) {
  const flutter::StandardMethodCodec& codec = Codec();
  const auto call = OurCall(*data);
  const auto once = Codec().EncodeCall(*call);
  if (!Check(state,
             *once == CallThroughSlots(*data) &&
                 OurCallMatches(Codec().DecodeCall(once->data(), once->size()).get(), *data),
             "our call encoding does not decode back to the call")) {
    return;
  }
  for (auto _ : state) {
    std::unique_ptr<std::vector<uint8_t>> bytes = codec.EncodeCall(*call);
    benchmark::DoNotOptimize(bytes->data());
  }
}

// The product's path: one buffer per sender, emptied before each message. Checked on the second
// message into the buffer, which is the first to find room left over.
void OursEncodeCallReused(benchmark::State& state, const CallData* data) {
  const flutter::StandardMethodCodec& codec = Codec();
  const auto call = OurCall(*data);
  flutter::MessageBytes buffer;
  codec.EncodeCallTo(*call, &buffer);
  buffer.clear();
  codec.EncodeCallTo(*call, &buffer);
  if (!Check(state, buffer.ToVector() == *codec.EncodeCall(*call),
             "our call into a reused buffer differs from the owned encoding")) {
    return;
  }
  for (auto _ : state) {
    buffer.clear();
    codec.EncodeCallTo(*call, &buffer);
    benchmark::DoNotOptimize(buffer.data());
  }
}

void OursDecodeCall(benchmark::State& state, const CallData* data) {
  const flutter::StandardMethodCodec& codec = Codec();
  const auto bytes = Codec().EncodeCall(*OurCall(*data));
  if (!Check(state, OurCallMatches(Codec().DecodeCall(bytes->data(), bytes->size()).get(), *data),
             "our call decoder returns another call")) {
    return;
  }
  for (auto _ : state) {
    std::unique_ptr<flutter::MethodCall<>> call = codec.DecodeCall(bytes->data(), bytes->size());
    benchmark::DoNotOptimize(call.get());
  }
}

void MsgpackEncodeCall(benchmark::State& state, const CallData* data) {
  msgpack::sbuffer once;
  PackCall(once, *data);
  if (!Check(state,
             msgpack::unpack(once.data(), once.size()).get().as<MsgpackCall>() ==
                 MsgpackCall(data->name, data->argument),
             "msgpack call encoding does not decode back to the call")) {
    return;
  }
  for (auto _ : state) {
    msgpack::sbuffer buffer;
    PackCall(buffer, *data);
    benchmark::DoNotOptimize(buffer.data());
  }
}

void MsgpackEncodeCallReused(benchmark::State& state, const CallData* data) {
  msgpack::sbuffer buffer;
  PackCall(buffer, *data);
  buffer.clear();
  PackCall(buffer, *data);
  if (!Check(state,
             msgpack::unpack(buffer.data(), buffer.size()).get().as<MsgpackCall>() ==
                 MsgpackCall(data->name, data->argument),
             "msgpack call encoding does not decode back to the call")) {
    return;
  }
  for (auto _ : state) {
    buffer.clear();
    PackCall(buffer, *data);
    benchmark::DoNotOptimize(buffer.data());
  }
}

void MsgpackDecodeCall(benchmark::State& state, const CallData* data) {
  msgpack::sbuffer bytes;
  PackCall(bytes, *data);
  if (!Check(state,
             msgpack::unpack(bytes.data(), bytes.size()).get().as<MsgpackCall>() ==
                 MsgpackCall(data->name, data->argument),
             "msgpack call decoder returns another call")) {
    return;
  }
  for (auto _ : state) {
    msgpack::object_handle handle = msgpack::unpack(bytes.data(), bytes.size());
    MsgpackCall call = handle.get().as<MsgpackCall>();
    benchmark::DoNotOptimize(call);
  }
}

void NlohmannEncodeCall(benchmark::State& state, const CallData* data) {
  NlohmannEncodeTree(state, JsonCall(*data),
                     "nlohmann call encoding does not decode back to the call");
}

void NlohmannEncodeCallReused(benchmark::State& state, const CallData* data) {
  NlohmannEncodeTreeReused(state, JsonCall(*data),
                           "nlohmann call encoding does not decode back to the call");
}

void NlohmannDecodeCall(benchmark::State& state, const CallData* data) {
  const nlohmann::json tree = JsonCall(*data);
  const std::vector<uint8_t> bytes = nlohmann::json::to_msgpack(tree);
  if (!Check(state, nlohmann::json::from_msgpack(bytes) == tree,
             "nlohmann call decoder returns another call")) {
    return;
  }
  for (auto _ : state) {
    nlohmann::json call = nlohmann::json::from_msgpack(bytes);
    benchmark::DoNotOptimize(call);
  }
}

void RegisterCall(const std::string& label, const CallData* data) {
  const std::string encode = "encode_call_" + label;
  const std::string decode = "decode_call_" + label;
  benchmark::RegisterBenchmark(BenchName(encode, "ours").c_str(), OursEncodeCall, data);
  benchmark::RegisterBenchmark(BenchName(encode, "msgpack").c_str(), MsgpackEncodeCall, data);
  benchmark::RegisterBenchmark(BenchName(encode, "nlohmann").c_str(), NlohmannEncodeCall, data);
  const std::string reused = encode + "_reused";
  benchmark::RegisterBenchmark(BenchName(reused, "ours").c_str(), OursEncodeCallReused, data);
  benchmark::RegisterBenchmark(BenchName(reused, "msgpack").c_str(), MsgpackEncodeCallReused, data);
  benchmark::RegisterBenchmark(BenchName(reused, "nlohmann").c_str(), NlohmannEncodeCallReused,
                               data);
  benchmark::RegisterBenchmark(BenchName(decode, "ours").c_str(), OursDecodeCall, data);
  benchmark::RegisterBenchmark(BenchName(decode, "msgpack").c_str(), MsgpackDecodeCall, data);
  benchmark::RegisterBenchmark(BenchName(decode, "nlohmann").c_str(), NlohmannDecodeCall, data);
}

}  // namespace

void RegisterMessageBenchmarks() {
  static const CallData span{"spanAllDisplays", std::nullopt};
  static const CallData event{"onDisplayEvent", DisplayEventLine()};
  RegisterCall("spanAllDisplays", &span);
  RegisterCall("onDisplayEvent", &event);
}

}  // namespace bench
