// Naming and helpers shared by the benchmark files.
//
// Every benchmark is named "<workload>/<implementation>"; scripts/bench groups the medians by
// workload and divides ours by each other implementation of the same workload. Each benchmark
// checks its implementation's output once, before timing, and fails (SkipWithError) when the
// output is wrong, so no figure comes from a broken code path.
#ifndef ORVALEN_BENCH_BENCH_SUPPORT_H_
#define ORVALEN_BENCH_BENCH_SUPPORT_H_

#include <cstdint>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "codec/byte_streams.h"
#include "codec/encodable_value.h"
#include "codec/standard_codec_serializer.h"

namespace bench {

inline std::string BenchName(const std::string& workload, const char* implementation) {
  return workload + "/" + implementation;
}

// Our encoding of one value into a fresh buffer, as a channel message would get it.
inline std::vector<uint8_t> EncodeOurs(const flutter::EncodableValue& value) {
  std::vector<uint8_t> bytes;
  flutter::ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  return bytes;
}

inline flutter::EncodableValue DecodeOurs(const std::vector<uint8_t>& bytes) {
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return flutter::StandardCodecSerializer::SharedInstance().ReadValue(&reader);
}

// Fails the benchmark when `ok` is false; returns `ok` so callers can stop before timing.
inline bool Check(benchmark::State& state, bool ok, const char* what) {
  if (!ok) state.SkipWithError(what);
  return ok;
}

void RegisterBulkBenchmarks();
void RegisterMessageBenchmarks();
void RegisterScaleBenchmarks();

}  // namespace bench

#endif  // ORVALEN_BENCH_BENCH_SUPPORT_H_
