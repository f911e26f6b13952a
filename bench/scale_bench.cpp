// Decoding cost against message size: lists of small records from 1 KiB to 16 MiB. The figure of
// interest is time per encoded byte, which stays flat when decoding grows linearly.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/workload_data.h"

namespace bench {

namespace {

struct ScaleMessage {
  std::vector<uint8_t> bytes;
  bool checked = false;
  bool decodes = false;
};

// Built on first use and kept, so repetitions do not rebuild 16 MiB of records each time.
ScaleMessage& MessageOfSize(size_t size) {
  static std::map<size_t, ScaleMessage> messages;
  ScaleMessage& message = messages[size];
  if (!message.checked) {
    const flutter::EncodableValue value = ToEncodable(RecordList(size));
    message.bytes = EncodeOurs(value);
    message.decodes = OursRoundTrips(value);
    message.checked = true;
  }
  return message;
}

void OursDecodeScale(benchmark::State& state) {
  const ScaleMessage& message = MessageOfSize(static_cast<size_t>(state.range(0)));
  if (!Check(state, message.decodes, "our decoder returns another record list")) return;
  for (auto _ : state) {
    flutter::EncodableValue decoded = DecodeOurs(message.bytes);
    benchmark::DoNotOptimize(decoded);
  }
  state.counters["message_bytes"] = double(message.bytes.size());
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(message.bytes.size()));
}

std::string SizeLabel(size_t size) {
  return size >= (size_t{1} << 20) ? std::to_string(size >> 20) + "MiB"
                                   : std::to_string(size >> 10) + "KiB";
}

}  // namespace

void RegisterScaleBenchmarks() {
  for (size_t size = 1024; size <= (size_t{16} << 20); size *= 4) {
    benchmark::RegisterBenchmark(BenchName("decode_records_" + SizeLabel(size), "ours").c_str(),
                                 OursDecodeScale)
        ->Arg(static_cast<int64_t>(size));
  }
}

}  // namespace bench
