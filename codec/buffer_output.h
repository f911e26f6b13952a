// The standard serializer's output straight into a byte vector or MessageBytes; only
// standard_codec_writer.cpp uses it (see there for when it applies instead of the call-by-call
// stream output).
//
// The bytes are first written into a window of our own (on the stack with the output), and the
// window is appended to the vector when full and at Finish. Writing into the window is a bounds
// check and a copy; small pieces are stored with fixed-width copies that may spill past their own
// end into the window's unwritten room. Growing the vector itself in place instead would make it
// zero every byte before it is written (resize) or check its capacity for every piece (insert).
// Bodies from kBulkBody bytes on go to the vector directly, without passing through the window.
#ifndef ORVALEN_CODEC_BUFFER_OUTPUT_H_
#define ORVALEN_CODEC_BUFFER_OUTPUT_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/message_bytes.h"
#include "codec/standard_codec_serializer.h"

namespace flutter::internal {

// The size prefix as it goes on the wire: the first byte, then 0, 2 or 4 more, held as the low
// bytes of one little-endian word. A word rather than a byte array, so that it is built and
// copied in registers: a byte store read back as a wider load stalls the copy.
struct SizePrefix {
  explicit SizePrefix(uint32_t size) {
    if (size < 254) {
      word = size;
      length = 1;
    } else if (size <= 0xFFFF) {
      word = 254 | uint64_t{size} << 8;
      length = 3;
    } else {
      word = 255 | uint64_t{size} << 8;
      length = 5;
    }
  }
  uint64_t word;
  size_t length;
};

// Copies `count` bytes, below 64, in a few fixed-width, overlapping moves: a call to memcpy with a
// variable count costs more than the copy of a short key. Reads stay within the source, writes
// within the destination's `count` bytes.
inline void CopyShort(uint8_t* to, const void* source, size_t count) {
  const auto* from = static_cast<const uint8_t*>(source);
  if (count > 32) {
    std::memcpy(to, from, 32);
    std::memcpy(to + count - 32, from + count - 32, 32);
  } else if (count >= 16) {
    std::memcpy(to, from, 16);
    std::memcpy(to + count - 16, from + count - 16, 16);
  } else if (count >= 8) {
    std::memcpy(to, from, 8);
    std::memcpy(to + count - 8, from + count - 8, 8);
  } else if (count >= 4) {
    std::memcpy(to, from, 4);
    std::memcpy(to + count - 4, from + count - 4, 4);
  } else if (count != 0) {
    to[0] = from[0];
    to[count / 2] = from[count / 2];
    to[count - 1] = from[count - 1];
  }
}

inline void AppendBytes(std::vector<uint8_t>& bytes, const uint8_t* from, size_t count) {
  bytes.insert(bytes.end(), from, from + count);
}
inline void AppendBytes(MessageBytes& bytes, const uint8_t* from, size_t count) {
  bytes.Append(from, count);
}

// `Sink`: std::vector<uint8_t> or MessageBytes.
template <typename Sink>
class BufferOutput {
 public:
  using Type = StandardCodecType;

  // Reserves room for `expected` more bytes in the vector, so that a message of about that size
  // is appended without reallocating; at least doubling, so that values written one by one into
  // one vector do not reallocate each time. Alignment counts from `origin`, an index into it.
  BufferOutput(Sink& bytes, size_t expected, size_t origin)
      : bytes_(bytes), window_offset_(bytes.size() - origin) {
    if (expected > bytes.capacity() - bytes.size()) {
      bytes.reserve(std::max(bytes.size() + expected, 2 * bytes.capacity()));
    }
  }
  BufferOutput(const BufferOutput&) = delete;
  BufferOutput& operator=(const BufferOutput&) = delete;

  // Appends what the window still holds; the vector then holds the whole message. Not left to a
  // destructor: appending may throw, which a destructor must not.
  void Finish() { Flush(); }

  void Byte(uint8_t byte) {
    *Room(1) = byte;
    ++used_;
  }
  void Code(Type code) { Byte(static_cast<uint8_t>(code)); }

  void Header(Type code, const SizePrefix& size) {
    uint8_t* out = Room(1 + sizeof size.word);
    out[0] = static_cast<uint8_t>(code);
    std::memcpy(out + 1, &size.word, sizeof size.word);
    used_ += 1 + size.length;
  }

  void Sized(Type code, const SizePrefix& size, const void* body, size_t count) {
    if (count >= kBulkBody) {
      Header(code, size);
      return Append(static_cast<const uint8_t*>(body), count);
    }
    // The common short string: code, size and body under a single bounds check.
    uint8_t* out = Room(1 + sizeof size.word + count);
    out[0] = static_cast<uint8_t>(code);
    std::memcpy(out + 1, &size.word, sizeof size.word);
    if (count != 0) std::memcpy(out + 1 + size.length, body, count);  // an empty vector's is null
    used_ += 1 + size.length + count;
  }

  void Number(Type code, uint8_t alignment, const void* number, size_t width) {
    const size_t padding = PaddingAfter(1, alignment);
    uint8_t* out = Room(1 + padding + width);
    out[0] = static_cast<uint8_t>(code);
    std::memset(out + 1, 0, padding);
    std::memcpy(out + 1 + padding, number, width);
    used_ += 1 + padding + width;
  }

  void Bytes(const void* source, size_t count) {
    if (count >= kBulkBody) return Append(static_cast<const uint8_t*>(source), count);
    std::memcpy(Room(count), source, count);
    used_ += count;
  }

  void Pad(uint8_t alignment) {
    const size_t padding = PaddingAfter(0, alignment);
    std::memset(Room(padding), 0, padding);
    used_ += padding;
  }

  // Writes the value when it is of a kind that fills most messages (map keys, list elements):
  // a scalar or a short string, in one store sequence under one bounds check, with no call and
  // no jump table. False, having written nothing, for every other kind.
  bool Scalar(const EncodableValue& value) {
    const size_t index = value.index();
    if (index == EncodableValue::kStringIndex) {
      return ShortString(*std::get_if<EncodableValue::kStringIndex>(&value));
    }
    if (index == EncodableValue::kInt32Index) {
      return Fixed(Type::kInt32, *std::get_if<EncodableValue::kInt32Index>(&value));
    }
    switch (index) {
      case EncodableValue::kNullIndex: return Fixed(Type::kNull);
      case EncodableValue::kBoolIndex:
        return Fixed(*std::get_if<EncodableValue::kBoolIndex>(&value) ? Type::kTrue : Type::kFalse);
      case EncodableValue::kInt64Index:
        return Fixed(Type::kInt64, *std::get_if<EncodableValue::kInt64Index>(&value));
      case EncodableValue::kDoubleIndex:
        return Aligned(Type::kFloat64, *std::get_if<EncodableValue::kDoubleIndex>(&value));
      default: return false;
    }
  }

  // A string shorter than kShortString; false, having written nothing, for a longer one.
  bool ShortString(const std::string& text) {
    const size_t count = text.size();
    if (count >= kShortString) return false;
    uint8_t* out = Room(kScalarRoom);
    out[0] = static_cast<uint8_t>(Type::kString);
    out[1] = static_cast<uint8_t>(count);
    CopyShort(out + 2, text.data(), count);
    used_ += 2 + count;
    return true;
  }

  // Any value, in full (defined beside the encoding in the writer).
  void Nested(const EncodableValue& value);

 private:
  // Large enough that the vector sees few appends, small enough for the stack of any thread.
  static constexpr size_t kWindow = 4096;
  // Bodies from this size on are appended by the vector itself: through the window they would be
  // copied twice.
  static constexpr size_t kBulkBody = 256;
  // Strings shorter than this are written by Scalar (and copied by CopyShort).
  static constexpr size_t kShortString = 64;
  // What Scalar may touch: code, size byte and a short string; or code, padding and 8 bytes.
  static constexpr size_t kScalarRoom = 2 + kShortString;

  size_t PaddingAfter(size_t offset, uint8_t alignment) const {
    return (alignment - (window_offset_ + used_ + offset) % alignment) % alignment;
  }

  bool Fixed(Type code) {
    *Room(1) = static_cast<uint8_t>(code);
    ++used_;
    return true;
  }
  template <typename T>
  bool Fixed(Type code, T number) {
    uint8_t* out = Room(1 + sizeof number);
    out[0] = static_cast<uint8_t>(code);
    std::memcpy(out + 1, &number, sizeof number);
    used_ += 1 + sizeof number;
    return true;
  }
  // A double after zeros up to a multiple of 8; the eight zeros always stored cover any padding.
  bool Aligned(Type code, double number) {
    const size_t padding = PaddingAfter(1, 8);
    uint8_t* out = Room(1 + 8 + sizeof number);
    out[0] = static_cast<uint8_t>(code);
    std::memset(out + 1, 0, 8);
    std::memcpy(out + 1 + padding, &number, sizeof number);
    used_ += 1 + padding + sizeof number;
    return true;
  }

  // Where the next `count` (at most kWindow) bytes go.
  uint8_t* Room(size_t count) {
    if (count > kWindow - used_) Flush();
    return window_ + used_;
  }

  void Flush() {
    AppendBytes(bytes_, window_, used_);
    window_offset_ += used_;
    used_ = 0;
  }

  void Append(const uint8_t* source, size_t count) {
    Flush();
    AppendBytes(bytes_, source, count);
    window_offset_ += count;
  }

  Sink& bytes_;
  // Where window_[0] lies in the message, for alignment.
  size_t window_offset_;
  size_t used_ = 0;
  uint8_t window_[kWindow];
};

}  // namespace flutter::internal

#endif  // ORVALEN_CODEC_BUFFER_OUTPUT_H_
