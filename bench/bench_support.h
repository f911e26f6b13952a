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

// Our encoding of one value appended to `bytes`.
inline void EncodeOursInto(const flutter::EncodableValue& value, std::vector<uint8_t>* bytes) {
  flutter::ByteBufferStreamWriter writer(bytes);
  flutter::StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
}

// Our encoding of one value into a fresh buffer, as a channel message would get it.
inline std::vector<uint8_t> EncodeOurs(const flutter::EncodableValue& value) {
  std::vector<uint8_t> bytes;
  EncodeOursInto(value, &bytes);
  return bytes;
}

inline flutter::EncodableValue DecodeOurs(const std::vector<uint8_t>& bytes) {
  flutter::ByteBufferStreamReader reader(bytes.data(), bytes.size());
  return flutter::StandardCodecSerializer::SharedInstance().ReadValue(&reader);
}

// Streams of a class of their own: the serializer cannot take its shortcuts for the plain buffer
// streams with these and goes call by call through the virtual slots. The timed shortcuts must
// produce the same bytes and values as that path.
class SlotWriter : public flutter::ByteBufferStreamWriter {
 public:
  using ByteBufferStreamWriter::ByteBufferStreamWriter;
};

class SlotReader : public flutter::ByteBufferStreamReader {
 public:
  using ByteBufferStreamReader::ByteBufferStreamReader;
};

inline std::vector<uint8_t> EncodeThroughSlots(const flutter::EncodableValue& value) {
  std::vector<uint8_t> bytes;
  SlotWriter writer(&bytes);
  flutter::StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  return bytes;
}

inline flutter::EncodableValue DecodeThroughSlots(const std::vector<uint8_t>& bytes) {
  SlotReader reader(bytes.data(), bytes.size());
  return flutter::StandardCodecSerializer::SharedInstance().ReadValue(&reader);
}

// Our encoder round-trips `value` and writes the same bytes on both paths.
inline bool OursRoundTrips(const flutter::EncodableValue& value) {
  const std::vector<uint8_t> bytes = EncodeOurs(value);
  return bytes == EncodeThroughSlots(value) && DecodeOurs(bytes) == value &&
         DecodeThroughSlots(bytes) == value;
}

// Fails the benchmark when `ok` is false; returns `ok` so callers can stop before timing.
inline bool Check(benchmark::State& state, bool ok, const char* what) {
  if (!ok) state.SkipWithError(what);
  return ok;
}

void RegisterBulkBenchmarks();
void RegisterMessageBenchmarks();
void RegisterValueBenchmarks();
void RegisterScaleBenchmarks();

}  // namespace bench

#endif  // ORVALEN_BENCH_BENCH_SUPPORT_H_
