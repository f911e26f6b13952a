// Bounds on what one message may make the decoder build, so that a malformed or hostile message
// cannot take unbounded memory, time or stack. A well-formed message never comes near them. A short
// one may announce up to 65,536 elements or bytes per value that it does not hold (decoded as zeros
// and nulls, each missing read reported); the allowances let one such value of any kind through,
// and refuse the excess when a message keeps announcing more.
#ifndef ORVALEN_CODEC_READ_LIMITS_H_
#define ORVALEN_CODEC_READ_LIMITS_H_

#include <cstddef>
#include <cstdint>

namespace flutter {

struct ReadLimits {
  // Deepest list/map nesting accepted: recursion stays far inside a 1 MB Windows main stack.
  static constexpr int kMaxDepth = 128;
  // An announcement up to this size is taken as the format says, even if the message is shorter.
  static constexpr uint32_t kTrustedAnnouncement = 65536;
  // Budget beyond the message's own size: list elements plus map entries ...
  static constexpr uint64_t kElementAllowance = 65536;
  // ... and bytes of string and typed-array bodies (one 65,536-element int64 array).
  static constexpr uint64_t kByteAllowance = 65536 * 8;

  bool started = false;         // budgets below are set from the first value read
  int depth = 0;                // current list/map nesting
  uint64_t element_budget = 0;  // remaining list elements + map entries
  uint64_t byte_budget = 0;     // remaining string/array body bytes
};

}  // namespace flutter

#endif  // ORVALEN_CODEC_READ_LIMITS_H_
