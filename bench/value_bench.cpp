// Structured values: a map of 1,000 string keys, a list of 10,000 mixed scalars and maps nested 8
// deep. Ours against msgpack-cxx (unpacked and converted into std containers) and nlohmann::json
// (a dynamic tree, like ours). Encoding is timed into a fresh buffer per value and into one buffer
// emptied and reused for every value.
#include <map>
#include <string>
#include <vector>

#include <msgpack.hpp>
#include <nlohmann/json.hpp>

#include "bench/bench_support.h"
#include "bench/nlohmann_encode.h"
#include "bench/workload_data.h"

namespace bench {

namespace {

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

// Checked on the second value into the buffer, which is the first to find room left over.
void OursEncodeValueReused(benchmark::State& state, const StructuredData* data) {
  const flutter::EncodableValue value = ToEncodable(*data->value);
  std::vector<uint8_t> buffer;
  EncodeOursInto(value, &buffer);
  buffer.clear();
  EncodeOursInto(value, &buffer);
  if (!Check(state, OursRoundTrips(value) && buffer == EncodeOurs(value),
             "our encoding into a reused buffer differs from a fresh one")) {
    return;
  }
  for (auto _ : state) {
    buffer.clear();
    EncodeOursInto(value, &buffer);
    benchmark::DoNotOptimize(buffer.data());
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

void MsgpackEncodeValueReused(benchmark::State& state, const StructuredData* data) {
  msgpack::sbuffer buffer;
  PackStructured(buffer, *data);
  buffer.clear();
  PackStructured(buffer, *data);
  if (!Check(state, MsgpackDecodesTo(buffer, *data),
             "msgpack encoding does not decode back to the value")) {
    return;
  }
  if (data->string_int_map) {
    const std::map<std::string, int32_t> map = AsStringIntMap(*data->value);
    for (auto _ : state) {
      buffer.clear();
      msgpack::pack(buffer, map);
      benchmark::DoNotOptimize(buffer.data());
    }
  } else {
    for (auto _ : state) {
      buffer.clear();
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
  NlohmannEncodeTree(state, ToJson(*data->value),
                     "nlohmann encoding does not decode back to the value");
}

void NlohmannEncodeValueReused(benchmark::State& state, const StructuredData* data) {
  NlohmannEncodeTreeReused(state, ToJson(*data->value),
                           "nlohmann encoding does not decode back to the value");
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
  const std::string reused = encode + "_reused";
  benchmark::RegisterBenchmark(BenchName(reused, "ours").c_str(), OursEncodeValueReused, data);
  benchmark::RegisterBenchmark(BenchName(reused, "msgpack").c_str(), MsgpackEncodeValueReused,
                               data);
  benchmark::RegisterBenchmark(BenchName(reused, "nlohmann").c_str(), NlohmannEncodeValueReused,
                               data);
  benchmark::RegisterBenchmark(BenchName(decode, "ours").c_str(), OursDecodeValue, data);
  benchmark::RegisterBenchmark(BenchName(decode, "msgpack").c_str(), MsgpackDecodeValue, data);
  benchmark::RegisterBenchmark(BenchName(decode, "nlohmann").c_str(), NlohmannDecodeValue, data);
}

}  // namespace

void RegisterValueBenchmarks() {
  static const StructuredData map{&StringKeyMap(), true};
  static const StructuredData list{&MixedScalarList(), false};
  static const StructuredData nested{&NestedMaps(), false};
  RegisterStructured("map_1000_string_int32", &map);
  RegisterStructured("list_10000_mixed", &list);
  RegisterStructured("nested_maps_depth8", &nested);
}

}  // namespace bench
