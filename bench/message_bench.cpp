// Channel-sized messages and structured values: two method calls as the app-window channel sends
// them, a map of 1,000 string keys, a list of 10,000 mixed scalars and maps nested 8 deep. Ours
// against msgpack-cxx (unpacked and converted into std containers) and nlohmann::json (a dynamic
// tree, like ours).
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <msgpack.hpp>
#include <nlohmann/json.hpp>

#include "bench/bench_support.h"
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
  const nlohmann::json tree = JsonCall(*data);
  if (!Check(state, nlohmann::json::from_msgpack(nlohmann::json::to_msgpack(tree)) == tree,
             "nlohmann call encoding does not decode back to the call")) {
    return;
  }
  for (auto _ : state) {
    std::vector<uint8_t> bytes = nlohmann::json::to_msgpack(tree);
    benchmark::DoNotOptimize(bytes.data());
  }
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
  benchmark::RegisterBenchmark(BenchName(decode, "ours").c_str(), OursDecodeCall, data);
  benchmark::RegisterBenchmark(BenchName(decode, "msgpack").c_str(), MsgpackDecodeCall, data);
  benchmark::RegisterBenchmark(BenchName(decode, "nlohmann").c_str(), NlohmannDecodeCall, data);
}

// ---- structured values ------------------------------------------------------------------------

// How msgpack-cxx reads a value back: its own conversion where a std container fits the data
// exactly (string -> int32 map), the generic tree where the data is dynamic.
struct StructuredData {
  const PeerValue* value;
  bool string_int_map;
};

std::map<std::string, int32_t> AsStringIntMap(const PeerValue& value) {
  std::map<std::string, int32_t> map;
  for (const auto& [key, entry] : std::get<PeerMap>(value)) {
    map.emplace(key, static_cast<int32_t>(std::get<int64_t>(entry)));
  }
  return map;
}

void PackStructured(msgpack::sbuffer& buffer, const StructuredData& data) {
  if (data.string_int_map) {
    msgpack::pack(buffer, AsStringIntMap(*data.value));
  } else {
    msgpack::packer<msgpack::sbuffer> packer(buffer);
    PackPeer(packer, *data.value);
  }
}

bool MsgpackDecodesTo(const msgpack::sbuffer& bytes, const StructuredData& data) {
  msgpack::object_handle handle = msgpack::unpack(bytes.data(), bytes.size());
  if (data.string_int_map) {
    return handle.get().as<std::map<std::string, int32_t>>() == AsStringIntMap(*data.value);
  }
  PeerValue decoded;
  return FromMsgpack(handle.get(), &decoded) && decoded == *data.value;
}

void OursEncodeValue(benchmark::State& state, const StructuredData* data) {
  const flutter::EncodableValue value = ToEncodable(*data->value);
  if (!Check(state, OursRoundTrips(value), "our encoding does not decode back to the value")) {
    return;
  }
  for (auto _ : state) {
    std::vector<uint8_t> bytes = EncodeOurs(value);
    benchmark::DoNotOptimize(bytes.data());
  }
}

void OursDecodeValue(benchmark::State& state, const StructuredData* data) {
  const flutter::EncodableValue value = ToEncodable(*data->value);
  const std::vector<uint8_t> bytes = EncodeOurs(value);
  if (!Check(state, OursRoundTrips(value), "our decoder returns another value")) return;
  for (auto _ : state) {
    flutter::EncodableValue decoded = DecodeOurs(bytes);
    benchmark::DoNotOptimize(decoded);
  }
  state.counters["message_bytes"] = double(bytes.size());
}

void MsgpackEncodeValue(benchmark::State& state, const StructuredData* data) {
  msgpack::sbuffer once;
  PackStructured(once, *data);
  if (!Check(state, MsgpackDecodesTo(once, *data),
             "msgpack encoding does not decode back to the value")) {
    return;
  }
  if (data->string_int_map) {
    const std::map<std::string, int32_t> map = AsStringIntMap(*data->value);
    for (auto _ : state) {
      msgpack::sbuffer buffer;
      msgpack::pack(buffer, map);
      benchmark::DoNotOptimize(buffer.data());
    }
  } else {
    for (auto _ : state) {
      msgpack::sbuffer buffer;
      msgpack::packer<msgpack::sbuffer> packer(buffer);
      PackPeer(packer, *data->value);
      benchmark::DoNotOptimize(buffer.data());
    }
  }
}

void MsgpackDecodeValue(benchmark::State& state, const StructuredData* data) {
  msgpack::sbuffer bytes;
  PackStructured(bytes, *data);
  if (!Check(state, MsgpackDecodesTo(bytes, *data), "msgpack decoder returns another value")) {
    return;
  }
  if (data->string_int_map) {
    for (auto _ : state) {
      msgpack::object_handle handle = msgpack::unpack(bytes.data(), bytes.size());
      std::map<std::string, int32_t> map = handle.get().as<std::map<std::string, int32_t>>();
      benchmark::DoNotOptimize(map);
    }
  } else {
    for (auto _ : state) {
      msgpack::object_handle handle = msgpack::unpack(bytes.data(), bytes.size());
      PeerValue decoded;
      benchmark::DoNotOptimize(FromMsgpack(handle.get(), &decoded));
      benchmark::DoNotOptimize(decoded);
    }
  }
  state.counters["message_bytes"] = double(bytes.size());
}

void NlohmannEncodeValue(benchmark::State& state, const StructuredData* data) {
  const nlohmann::json tree = ToJson(*data->value);
  if (!Check(state, nlohmann::json::from_msgpack(nlohmann::json::to_msgpack(tree)) == tree,
             "nlohmann encoding does not decode back to the value")) {
    return;
  }
  for (auto _ : state) {
    std::vector<uint8_t> bytes = nlohmann::json::to_msgpack(tree);
    benchmark::DoNotOptimize(bytes.data());
  }
}

void NlohmannDecodeValue(benchmark::State& state, const StructuredData* data) {
  const nlohmann::json tree = ToJson(*data->value);
  const std::vector<uint8_t> bytes = nlohmann::json::to_msgpack(tree);
  if (!Check(state, nlohmann::json::from_msgpack(bytes) == tree,
             "nlohmann decoder returns another value")) {
    return;
  }
  for (auto _ : state) {
    nlohmann::json decoded = nlohmann::json::from_msgpack(bytes);
    benchmark::DoNotOptimize(decoded);
  }
  state.counters["message_bytes"] = double(bytes.size());
}

void RegisterStructured(const std::string& label, const StructuredData* data) {
  const std::string encode = "encode_" + label;
  const std::string decode = "decode_" + label;
  benchmark::RegisterBenchmark(BenchName(encode, "ours").c_str(), OursEncodeValue, data);
  benchmark::RegisterBenchmark(BenchName(encode, "msgpack").c_str(), MsgpackEncodeValue, data);
  benchmark::RegisterBenchmark(BenchName(encode, "nlohmann").c_str(), NlohmannEncodeValue, data);
  benchmark::RegisterBenchmark(BenchName(decode, "ours").c_str(), OursDecodeValue, data);
  benchmark::RegisterBenchmark(BenchName(decode, "msgpack").c_str(), MsgpackDecodeValue, data);
  benchmark::RegisterBenchmark(BenchName(decode, "nlohmann").c_str(), NlohmannDecodeValue, data);
}

}  // namespace

void RegisterMessageBenchmarks() {
  static const CallData span{"spanAllDisplays", std::nullopt};
  static const CallData event{"onDisplayEvent", DisplayEventLine()};
  RegisterCall("spanAllDisplays", &span);
  RegisterCall("onDisplayEvent", &event);

  static const StructuredData map{&StringKeyMap(), true};
  static const StructuredData list{&MixedScalarList(), false};
  static const StructuredData nested{&NestedMaps(), false};
  RegisterStructured("map_1000_string_int32", &map);
  RegisterStructured("list_10000_mixed", &list);
  RegisterStructured("nested_maps_depth8", &nested);
}

}  // namespace bench
