// WriteMessage appends a whole channel message to `bytes` (not owned, never null): an optional flag
// byte, then values, each exactly as StandardCodecSerializer::WriteValue writes it through a
// ByteBufferStreamWriter, alignment counted from the message's first byte. A derived serializer
// has its WriteValue called for each value, string parts included. The standard one's messages go
// to the general writer (WriteAnyMessage, standard_codec_writer.cpp), or are written in place when
// every part is flat (a scalar, or a string with a one-byte size) and the buffer has room; both
// write flat values with PutFlat. Why the in-place path: docs/benchmarks.md, "One writer".
#ifndef ORVALEN_CODEC_MESSAGE_WRITER_H_
#define ORVALEN_CODEC_MESSAGE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <typeinfo>

#include "codec/encodable_value.h"
#include "codec/message_bytes.h"
#include "codec/standard_codec_serializer.h"
#include "codec/wire_format.h"

#if defined(_MSC_VER)
#define ORVALEN_NOINLINE __declspec(noinline)
#define ORVALEN_INLINE __forceinline
#else
#define ORVALEN_NOINLINE __attribute__((noinline))
#define ORVALEN_INLINE inline __attribute__((always_inline))
#endif

namespace flutter::internal {

// One value of a message. A string part (a method name, an error code) is written straight from
// the caller's string, copied into an EncodableValue only for a derived serializer.
struct MessagePart {
  MessagePart(const std::string& text) : string(&text) {}  // NOLINT: a part is either kind
  MessagePart(const EncodableValue& any) : value(&any) {}  // NOLINT
  const std::string* string = nullptr;
  const EncodableValue* value = nullptr;
};

// Whether values may skip the serializer's WriteValue. Asked once per codec: it costs four loads.
inline bool IsStandardSerializer(const StandardCodecSerializer& serializer) {
  return typeid(serializer) == typeid(StandardCodecSerializer);
}

// Copies `count` bytes (at most 253) in fixed-width overlapping moves, within both ends' bounds.
inline void CopyShort(uint8_t* to, const char* from, size_t count) {
  if (count > 32) {
    for (size_t done = 0; done + 32 < count; done += 32) std::memcpy(to + done, from + done, 32);
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
  } else {
    for (size_t i = 0; i < count; ++i) to[i] = from[i];
  }
}

// Room that PutFlat may touch for one part, and for a flag and up to three (an error's) parts.
constexpr size_t kFlatRoom = 2 + wire::kLongestOneByteSize;
constexpr size_t kFlatMessageRoom = 1 + 3 * kFlatRoom;

// Writes the part at `out` (whose offset in the message is `out` - `origin`) when it is flat;
// returns where the next part goes; null, having written nothing, when it is not.
inline uint8_t* PutFlat(uint8_t* out, uintptr_t /*origin*/, const std::string& text) {
  const size_t count = text.size();
  if (count > wire::kLongestOneByteSize) return nullptr;
  out[0] = static_cast<uint8_t>(StandardCodecType::kString);
  out[1] = static_cast<uint8_t>(count);
  CopyShort(out + 2, text.data(), count);
  return out + 2 + count;
}
template <typename Number>
uint8_t* PutFlat(uint8_t* out, StandardCodecType code, Number number, size_t padding = 0) {
  *out = static_cast<uint8_t>(code);
  if (padding != 0) std::memset(out + 1, 0, 8);  // covers any padding, with one store
  std::memcpy(out + 1 + padding, &number, sizeof number);
  return out + 1 + padding + sizeof number;
}
inline uint8_t* PutFlat(uint8_t* out, uintptr_t origin, const EncodableValue& value) {
  using Type = StandardCodecType;
  // The commonest kinds first, and few cases left: a jump table's indirect jump costs more.
  if (const auto* text = std::get_if<std::string>(&value)) return PutFlat(out, origin, *text);
  if (const auto* number = std::get_if<int32_t>(&value)) return PutFlat(out, Type::kInt32, *number);
  switch (value.index()) {
    case EncodableValue::kNullIndex: *out = static_cast<uint8_t>(Type::kNull); return out + 1;
    case EncodableValue::kBoolIndex:
      *out = static_cast<uint8_t>(*std::get_if<bool>(&value) ? Type::kTrue : Type::kFalse);
      return out + 1;
    case EncodableValue::kInt64Index:
      return PutFlat(out, Type::kInt64, *std::get_if<int64_t>(&value));
    case EncodableValue::kDoubleIndex:
      return PutFlat(
          out, Type::kFloat64, *std::get_if<double>(&value),
          wire::Padding(reinterpret_cast<uintptr_t>(out) - origin + 1, wire::kFloat64Alignment));
    default: return nullptr;  // strings and int32s are written above
  }
}
inline uint8_t* PutFlat(uint8_t* out, uintptr_t origin, const MessagePart& part) {
  return part.string != nullptr ? PutFlat(out, origin, *part.string)
                                : PutFlat(out, origin, *part.value);
}

// The general writer, for what WriteMessage does not write in place.
void WriteAnyMessage(const StandardCodecSerializer& serializer, std::optional<uint8_t> flag,
                     std::span<const MessagePart> parts, MessageBytes* bytes);

// The parts gathered for the general writer; never inlined, or the flat path gets a stack frame.
template <typename... Parts>
ORVALEN_NOINLINE void WriteAnyMessageOf(const StandardCodecSerializer& serializer,
                                        std::optional<uint8_t> flag, MessageBytes* bytes,
                                        const Parts&... parts) {
  const MessagePart all[] = {MessagePart(parts)...};
  WriteAnyMessage(serializer, flag, all, bytes);
}

// See above. `standard`: IsStandardSerializer(serializer). Parts: strings, values, MessageParts.
template <typename... Parts>
void WriteMessage(const StandardCodecSerializer& serializer, bool standard,
                  std::optional<uint8_t> flag, MessageBytes* bytes, const Parts&... parts) {
  if (standard && bytes->room() >= 1 + sizeof...(parts) * kFlatRoom) {
    uint8_t* const start = bytes->Extend(0);
    uint8_t* out = start;
    if (flag) *out++ = *flag;
    if (((out = PutFlat(out, reinterpret_cast<uintptr_t>(start), parts)) && ...)) {
      bytes->Extend(static_cast<size_t>(out - start));
      return;
    }
  }
  WriteAnyMessageOf(serializer, flag, bytes, parts...);
}

}  // namespace flutter::internal

#endif  // ORVALEN_CODEC_MESSAGE_WRITER_H_
