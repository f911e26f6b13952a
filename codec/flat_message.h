// Flat messages: a method call or reply whose values are all scalars or strings of up to 253
// bytes, which is nearly every message a channel sends. Each value then takes at most
// kFlatValueRoom bytes, so the message is written in one pass into an array on the stack, with no
// bounds check per piece, and appended to the vector in one insert: for a message this short,
// growing the vector first (resize) costs more than the copy, since it zeroes what it adds. The
// bytes are those of the general writer (standard_codec_writer.cpp); the method codec's layout
// tables hold both to them. Inline, with the parts in an array of fixed length, because here the
// calls and loops around the stores would cost more than the stores.
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
// Most a flat value takes: code, size byte and the longest such string.
constexpr size_t kFlatValueRoom = 2 + kFlatString;

// Writes flat values at the end of what it has written; room is the caller's business.
class FlatCursor {
 public:
  explicit FlatCursor(uint8_t* message) : message_(message) {}

  size_t size() const { return offset_; }

  void Byte(uint8_t byte) { message_[offset_++] = byte; }

  // False, having written nothing, when the part is not flat.
  bool Put(const MessagePart& part) {
    return part.string != nullptr ? String(*part.string) : Value(*part.value);
  }

 private:
  bool String(const std::string& text) {
    const size_t count = text.size();
    if (count > kFlatString) return false;
    uint8_t* out = message_ + offset_;
    out[0] = static_cast<uint8_t>(StandardCodecType::kString);
    out[1] = static_cast<uint8_t>(count);
    if (count < 64) {
      CopyShort(out + 2, text.data(), count);
    } else {
      std::memcpy(out + 2, text.data(), count);
    }
    offset_ += 2 + count;
    return true;
  }

  bool Value(const EncodableValue& value) {
    switch (value.index()) {
      case EncodableValue::kNullIndex: return Code(StandardCodecType::kNull);
      case EncodableValue::kBoolIndex:
        return Code(*std::get_if<EncodableValue::kBoolIndex>(&value) ? StandardCodecType::kTrue
                                                                     : StandardCodecType::kFalse);
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
      default: return false;
    }
  }

  bool Code(StandardCodecType code) {
    Byte(static_cast<uint8_t>(code));
    return true;
  }

  template <typename T>
  bool Number(StandardCodecType code, size_t padding, T number) {
    uint8_t* out = message_ + offset_;
    out[0] = static_cast<uint8_t>(code);
    std::memset(out + 1, 0, padding);
    std::memcpy(out + 1 + padding, &number, sizeof number);
    offset_ += 1 + padding + sizeof number;
    return true;
  }

  uint8_t* message_;
  size_t offset_ = 0;
};

// Appends the message when it is flat; false, having written nothing, when it is not.
template <size_t N>
bool WriteFlatMessage(std::optional<uint8_t> flag, const MessagePart (&parts)[N],
                      std::vector<uint8_t>* bytes) {
  uint8_t message[1 + N * kFlatValueRoom];  // not zeroed: only what is written is appended
  FlatCursor cursor(message);
  if (flag) cursor.Byte(*flag);
  for (const MessagePart& part : parts) {
    if (!cursor.Put(part)) return false;
  }
  if (bytes->capacity() == 0) {
    bytes->assign(message, message + cursor.size());  // one exact allocation, no growth logic
  } else {
    bytes->insert(bytes->end(), message, message + cursor.size());
  }
  return true;
}

}  // namespace flutter::internal

#endif  // ORVALEN_CODEC_FLAT_MESSAGE_H_
