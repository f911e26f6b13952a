// Typed arrays of 1 MiB: our codec against memcpy of the same bytes (the physical limit) and
// against the two MessagePack libraries.
#include <cstring>
#include <string>
#include <vector>

#include <msgpack.hpp>
#include <nlohmann/json.hpp>

#include "bench/bench_support.h"
#include "bench/workload_data.h"

namespace bench {

namespace {

template <typename T>
nlohmann::json BulkJson(const std::vector<T>& values) {
  if constexpr (sizeof(T) == 1) {
    return nlohmann::json::binary(values);  // MessagePack's bin: the peer's bulk form
  } else {
    return nlohmann::json(values);
  }
}

template <typename T>
void MemcpyBench(benchmark::State& state, const std::vector<T>* values) {
  const auto* source = reinterpret_cast<const uint8_t*>(values->data());
  std::vector<uint8_t> destination(kBulkBytes);
  std::memcpy(destination.data(), source, kBulkBytes);
  if (!Check(state, std::memcmp(destination.data(), source, kBulkBytes) == 0, "memcpy")) return;
  for (auto _ : state) {
    std::memcpy(destination.data(), source, kBulkBytes);
    benchmark::DoNotOptimize(destination.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBulkBytes));
}

template <typename T>
void OursEncode(benchmark::State& state, const std::vector<T>* values) {
  const flutter::EncodableValue value(*values);
  const std::vector<uint8_t> once = EncodeOurs(value);
  // Code byte, 5-byte size prefix, padding to the element width, then the elements.
  const size_t header = sizeof(T) == 1 ? 6 : (6 + sizeof(T) - 1) / sizeof(T) * sizeof(T);
  if (!Check(state, once.size() == header + kBulkBytes && OursRoundTrips(value),
             "our encoding does not decode back to the array")) {
    return;
  }
  for (auto _ : state) {
    std::vector<uint8_t> bytes = EncodeOurs(value);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBulkBytes));
}

template <typename T>
void OursDecode(benchmark::State& state, const std::vector<T>* values) {
  const flutter::EncodableValue value(*values);
  const std::vector<uint8_t> bytes = EncodeOurs(value);
  if (!Check(state, OursRoundTrips(value), "our decoder returns another array")) return;
  for (auto _ : state) {
    flutter::EncodableValue decoded = DecodeOurs(bytes);
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBulkBytes));
}

template <typename T>
void MsgpackEncode(benchmark::State& state, const std::vector<T>* values) {
  msgpack::sbuffer once;
  msgpack::pack(once, *values);
  if (!Check(state, msgpack::unpack(once.data(), once.size()).get().as<std::vector<T>>() == *values,
             "msgpack encoding does not decode back to the array")) {
    return;
  }
  for (auto _ : state) {
    msgpack::sbuffer buffer;
    msgpack::pack(buffer, *values);
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBulkBytes));
}

template <typename T>
void MsgpackDecode(benchmark::State& state, const std::vector<T>* values) {
  msgpack::sbuffer bytes;
  msgpack::pack(bytes, *values);
  if (!Check(state,
             msgpack::unpack(bytes.data(), bytes.size()).get().as<std::vector<T>>() == *values,
             "msgpack decoder returns another array")) {
    return;
  }
  for (auto _ : state) {
    msgpack::object_handle handle = msgpack::unpack(bytes.data(), bytes.size());
    std::vector<T> decoded = handle.get().as<std::vector<T>>();
    benchmark::DoNotOptimize(decoded.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBulkBytes));
}

template <typename T>
void NlohmannEncode(benchmark::State& state, const std::vector<T>* values) {
  const nlohmann::json tree = BulkJson(*values);
  if (!Check(state, nlohmann::json::from_msgpack(nlohmann::json::to_msgpack(tree)) == tree,
             "nlohmann encoding does not decode back to the array")) {
    return;
  }
  for (auto _ : state) {
    std::vector<uint8_t> bytes = nlohmann::json::to_msgpack(tree);
    benchmark::DoNotOptimize(bytes.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBulkBytes));
}

template <typename T>
void NlohmannDecode(benchmark::State& state, const std::vector<T>* values) {
  const nlohmann::json tree = BulkJson(*values);
  const std::vector<uint8_t> bytes = nlohmann::json::to_msgpack(tree);
  if (!Check(state, nlohmann::json::from_msgpack(bytes) == tree,
             "nlohmann decoder returns another array")) {
    return;
  }
  for (auto _ : state) {
    nlohmann::json decoded = nlohmann::json::from_msgpack(bytes);
    benchmark::DoNotOptimize(decoded);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(kBulkBytes));
}

template <typename T>
void RegisterArray(const std::string& kind, const std::vector<T>* values) {
  const std::string encode = "encode_" + kind + "_1MiB";
  const std::string decode = "decode_" + kind + "_1MiB";
  benchmark::RegisterBenchmark(BenchName(encode, "ours").c_str(), OursEncode<T>, values);
  benchmark::RegisterBenchmark(BenchName(encode, "memcpy").c_str(), MemcpyBench<T>, values);
  benchmark::RegisterBenchmark(BenchName(encode, "msgpack").c_str(), MsgpackEncode<T>, values);
  benchmark::RegisterBenchmark(BenchName(encode, "nlohmann").c_str(), NlohmannEncode<T>, values);
  benchmark::RegisterBenchmark(BenchName(decode, "ours").c_str(), OursDecode<T>, values);
  benchmark::RegisterBenchmark(BenchName(decode, "memcpy").c_str(), MemcpyBench<T>, values);
  benchmark::RegisterBenchmark(BenchName(decode, "msgpack").c_str(), MsgpackDecode<T>, values);
  benchmark::RegisterBenchmark(BenchName(decode, "nlohmann").c_str(), NlohmannDecode<T>, values);
}

}  // namespace

void RegisterBulkBenchmarks() {
  RegisterArray("uint8s", &BulkUint8s());
  RegisterArray("int32s", &BulkInt32s());
  RegisterArray("float32s", &BulkFloat32s());
  RegisterArray("float64s", &BulkFloat64s());
}

}  // namespace bench
