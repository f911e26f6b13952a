// The data every workload runs on, made deterministically (fixed seeds) so that runs compare.
#ifndef ORVALEN_BENCH_WORKLOAD_DATA_H_
#define ORVALEN_BENCH_WORKLOAD_DATA_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/peer_value.h"

namespace bench {

constexpr size_t kBulkBytes = size_t{1} << 20;

// 1 MiB of elements each: random bytes, full-range int32s, floats and doubles.
const std::vector<uint8_t>& BulkUint8s();
const std::vector<int32_t>& BulkInt32s();
const std::vector<float>& BulkFloat32s();
const std::vector<double>& BulkFloat64s();

// The payload of an "onDisplayEvent" call: an event line of exactly 40 bytes.
const std::string& DisplayEventLine();

// 1,000 distinct string keys, each mapped to an int32.
const PeerValue& StringKeyMap();
// 10,000 scalars cycling through null, bool, int32, int64, double and short strings.
const PeerValue& MixedScalarList();
// Maps nested 8 deep; every level holds a few scalars, a short list and the next level.
const PeerValue& NestedMaps();
// A list of small records (a map of id, label, value and flag each), about `bytes` bytes once
// encoded.
PeerValue RecordList(size_t bytes);

}  // namespace bench

#endif  // ORVALEN_BENCH_WORKLOAD_DATA_H_
