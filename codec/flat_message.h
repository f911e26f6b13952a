// Flat messages: a method call or reply whose values are all scalars or strings of up to 253
// bytes, which is nearly every message a channel sends. The message's size is known from its
// parts before anything is written; the buffer grows once and the values are written into it in
// place, with no bounds check per piece. The bytes are those of the general writer
// (standard_codec_writer.cpp); the method codec's layout tables hold both to them.
//
// Inline, with the parts passed as arguments of their own types, because here the calls and loops
// around the stores would cost more than the stores. Measured on a 2-core x86-64 (callgrind and
// scripts/bench, see docs/benchmarks.md):
//   - Into MessageBytes (the senders' reused buffers), the writer calls nothing at all when the
//     buffer has room, so the compiler saves no registers for it; without room it leaves the
//     message to the general writer, which grows the buffer for the next ones.
//   - Into a std::vector (the owned interface), how the vector grows decides the cost. Growing it
//     zeroes what it adds; by a length known only at run time the compiler emits a string
//     instruction for that, which costs more than the whole message. Writing the message on the
//     stack and inserting it instead stalls the copy: its wide loads read bytes still in the
//     store buffer from narrower stores. So a short message grows the vector by a fixed length (a
//     few wide stores) and cuts off what is left over.
#ifndef ORVALEN_CODEC_FLAT_MESSAGE_H_
#define ORVALEN_CODEC_FLAT_MESSAGE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "codec/buffer_output.h"
#include "codec/encodable_value.h"
#include "codec/message_bytes.h"
#include "codec/standard_codec_serializer.h"

namespace flutter::internal {

// One value of a message. A string part (the method name, an error code) is written as a string
// value straight from the caller's string: only a derived serializer, whose WriteValue takes an
// EncodableValue, gets it copied into one.
struct MessagePart {
  MessagePart(const std::string& text) : string(&text) {}  // NOLINT: a part is either kind
  MessagePart(const EncodableValue& any) : value(&any) {}  // NOLINT
  const std::string* string = nullptr;
  const EncodableValue* value = nullptr;
};

// Longest string whose size prefix is one byte.
constexpr size_t kFlatString = 253;
// A flat message this long or shorter grows the vector by this fixed length.
constexpr size_t kShortMessage = 64;

// The bytes a flat string takes; 0 when it is too long to be flat.
inline size_t FlatSize(const std::string& text, size_t /*offset*/) {
  return text.size() > kFlatString ? 0 : 2 + text.size();
}

// The bytes the value takes as a flat value starting `offset` bytes into the message; 0 when it
// is not flat.
inline size_t FlatSize(const EncodableValue& value, size_t offset) {
  const size_t index = value.index();
  // Compares and arithmetic rather than a switch or a table: a jump table's indirect jump, or a
  // table built on the stack, costs more than they do. Null and bool take 1 byte, int32 5, int64 9.
  if (index < EncodableValue::kDoubleIndex) return index < 2 ? 1 : 4 * index - 3;
  if (index == EncodableValue::kDoubleIndex) return 9 + (8 - (offset + 1) % 8) % 8;
  if (index != EncodableValue::kStringIndex) return 0;
  return FlatSize(*std::get_if<EncodableValue::kStringIndex>(&value), offset);
}

inline size_t FlatSize(const MessagePart& part, size_t offset) {
  return part.string != nullptr ? FlatSize(*part.string, offset) : FlatSize(*part.value, offset);
}

// The message's size when every part is flat, else 0. The parts come as arguments of their own
// types, not in an array: the compiler then knows which are strings, and keeps them in registers.
template <typename... Parts>
size_t FlatMessageSize(std::optional<uint8_t> flag, const Parts&... parts) {
  size_t size = flag ? 1 : 0;
  size_t room = 0;
  const bool flat = ((room = FlatSize(parts, size), size += room, room != 0) && ...);
  return flat ? size : 0;
}

// Writes flat values one after another. Room, and that each part is flat, are the caller's
// business (FlatMessageSize).
class FlatCursor {
 public:
  explicit FlatCursor(uint8_t* message) : message_(message) {}

  void Byte(uint8_t byte) { message_[offset_++] = byte; }

  void Put(const std::string& text) { String(text); }

  void Put(const EncodableValue& value) {
    // Null first, apart from the switch: it is the commonest part (a call without arguments, a
    // bare success), and a jump table's indirect jump costs more than its whole write.
    if (value.index() == EncodableValue::kNullIndex) return Byte(Code(StandardCodecType::kNull));
    switch (value.alternative()) {
      case EncodableValue::kBoolIndex:
        return Byte(Code(*std::get_if<EncodableValue::kBoolIndex>(&value)
                             ? StandardCodecType::kTrue
                             : StandardCodecType::kFalse));
      case EncodableValue::kInt32Index:
        return Number(StandardCodecType::kInt32, 0,
                      *std::get_if<EncodableValue::kInt32Index>(&value));
      case EncodableValue::kInt64Index:
        return Number(StandardCodecType::kInt64, 0,
                      *std::get_if<EncodableValue::kInt64Index>(&value));
      case EncodableValue::kDoubleIndex:
        // Aligned from the message's first byte, as everywhere.
        return Number(StandardCodecType::kFloat64, (8 - (offset_ + 1) % 8) % 8,
                      *std::get_if<EncodableValue::kDoubleIndex>(&value));
      case EncodableValue::kStringIndex:
        return String(*std::get_if<EncodableValue::kStringIndex>(&value));
      case EncodableValue::kNullIndex:  // written above
      case EncodableValue::kUInt8ListIndex:
      case EncodableValue::kInt32ListIndex:
      case EncodableValue::kInt64ListIndex:
      case EncodableValue::kDoubleListIndex:
      case EncodableValue::kListIndex:
      case EncodableValue::kMapIndex:
      case EncodableValue::kCustomIndex:
      case EncodableValue::kFloatListIndex: return;  // not flat: FlatSize keeps them out
    }
  }

  void Put(const MessagePart& part) {
    if (part.string != nullptr) return String(*part.string);
    Put(*part.value);
  }

 private:
  static uint8_t Code(StandardCodecType code) { return static_cast<uint8_t>(code); }

  void String(const std::string& text) {
    const size_t count = text.size();
    uint8_t* out = message_ + offset_;
    out[0] = Code(StandardCodecType::kString);
    out[1] = static_cast<uint8_t>(count);
    if (count < 64) {
      CopyShort(out + 2, text.data(), count);
    } else {
      CopyLong(out + 2, text.data(), count);
    }
    offset_ += 2 + count;
  }

  // 64 to 253 bytes in 32-byte moves, the last one overlapping: a call to memcpy would make the
  // whole writer save registers, for every message.
  static void CopyLong(uint8_t* to, const char* from, size_t count) {
    for (size_t done = 0; done + 32 < count; done += 32) std::memcpy(to + done, from + done, 32);
    std::memcpy(to + count - 32, from + count - 32, 32);
  }

  template <typename T>
  void Number(StandardCodecType code, size_t padding, T number) {
    uint8_t* out = message_ + offset_;
    out[0] = Code(code);
    std::memset(out + 1, 0, padding);
    std::memcpy(out + 1 + padding, &number, sizeof number);
    offset_ += 1 + padding + sizeof number;
  }

  uint8_t* message_;
  size_t offset_ = 0;
};

// Appends a flat message of `size` bytes (FlatMessageSize), which `write` writes through the
// cursor it is given.
template <typename Write>
void AppendFlatMessage(size_t size, std::vector<uint8_t>* bytes, Write write) {
  const size_t start = bytes->size();
  if (size <= kShortMessage) {
    bytes->resize(bytes->size() + kShortMessage);  // "size() +": the length is then a constant
  } else {
    bytes->resize(start + size);
  }
  FlatCursor cursor(bytes->data() + start);
  write(cursor);
  // Cut back to the message's end; erase at the end costs less than resize, which must allow for
  // growing.
  bytes->erase(bytes->begin() + static_cast<std::ptrdiff_t>(start + size), bytes->end());
}

// Appends the message when it is flat; false, having written nothing, when it is not. Each part
// is a std::string (written as a string value), an EncodableValue or a MessagePart.
template <typename... Parts>
bool WriteFlatMessage(std::optional<uint8_t> flag, std::vector<uint8_t>* bytes,
                      const Parts&... parts) {
  const size_t size = FlatMessageSize(flag, parts...);
  if (size == 0) return false;
  AppendFlatMessage(size, bytes, [&](FlatCursor& cursor) {
    if (flag) cursor.Byte(*flag);
    (cursor.Put(parts), ...);
  });
  return true;
}

// Appends the message when it is flat and the buffer has room for it; false, having written
// nothing, when not. Calls nothing, so that the compiler saves no registers for it: growing, and
// other messages, are the caller's next step.
template <typename... Parts>
bool WriteFlatMessage(std::optional<uint8_t> flag, MessageBytes* bytes, const Parts&... parts) {
  const size_t size = FlatMessageSize(flag, parts...);
  if (size == 0 || size > bytes->room()) return false;
  FlatCursor cursor(bytes->Extend(size));
  if (flag) cursor.Byte(*flag);
  (cursor.Put(parts), ...);
  return true;
}

}  // namespace flutter::internal

#endif  // ORVALEN_CODEC_FLAT_MESSAGE_H_
