// Where the fuzz targets put the messages they hand to the codec. libFuzzer gives every input an
// allocation of its own, always aligned; the engine may hand a message at any address, and the
// codec counts alignment from the message's first byte, never from memory. So each message is
// decoded at an address offset from an 8-byte boundary, the widest alignment of the wire.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fuzz_support {

inline constexpr size_t kAddressOffsets = 8;

// A copy of a message starting `offset` (modulo 8) bytes past an 8-byte boundary, in an
// allocation that ends where the message ends, so that AddressSanitizer still sees a read past it.
class MessageAt {
 public:
  MessageAt(const uint8_t* data, size_t size, size_t offset)
      : offset_(offset % kAddressOffsets), arena_(offset_ + size) {
    // An offset means nothing unless the allocation itself starts on the boundary.
    if (reinterpret_cast<uintptr_t>(arena_.data()) % kAddressOffsets != 0) std::abort();
    if (size != 0) std::memcpy(arena_.data() + offset_, data, size);
  }

  const uint8_t* data() const { return arena_.data() + offset_; }
  size_t size() const { return arena_.size() - offset_; }

 private:
  size_t offset_;
  std::vector<uint8_t> arena_;
};

// A codec target's input: the first byte picks the offset, the rest is the message (so every
// committed seed starts with its offset byte; fuzz/make_seeds.py writes them that way).
inline MessageAt MessageOf(const uint8_t* data, size_t size) {
  if (size == 0) return MessageAt(data, 0, 0);
  return MessageAt(data + 1, size - 1, data[0]);
}

}  // namespace fuzz_support
