// The message writer: appends a whole channel message for the method codec, an optional flag byte
// and then values, each exactly as StandardCodecSerializer::WriteValue writes it through a
// ByteBufferStreamWriter over the message (alignment counts from the message's first byte).
//
// Contract of WriteMessage: appends the message to `bytes` (not owned, never null), the same bytes,
// padding included, as when `bytes` starts empty. A derived serializer has its WriteValue called
// for each value, string parts included; the standard serializer's messages are written by the
// general writer (standard_codec_writer.cpp), or by the flat path below when every part is a
// scalar or a string of up to wire::kLongestOneByteSize bytes and the buffer has room. Both put
// each value through the same stores (PutFlat), so they cannot disagree on a byte.
//
// Why the flat path (docs/benchmarks.md, "Third round" and "One writer"): nearly every message a
// channel sends is flat, and into a sender's reused buffer it takes a few nanoseconds, where the
// calls, loops and stack frame of the general writer would cost more than the stores. So its size
// is known from the parts before anything is written, the parts come as arguments of their own
// types (the compiler then knows which are strings and keeps them in registers), and it calls
// nothing: without room it leaves the message to the general writer, which grows the buffer for
// the sender's next messages. Sizes come from compares rather than a switch, whose jump table's
// indirect jump would cost more than the whole write.
#ifndef ORVALEN_CODEC_MESSAGE_WRITER_H_
#define ORVALEN_CODEC_MESSAGE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <typeinfo>
#include <utility>

#include "codec/encodable_value.h"
#include "codec/message_bytes.h"
#include "codec/standard_codec_serializer.h"
#include "codec/wire_format.h"

#if defined(_MSC_VER)
#define ORVALEN_NOINLINE __declspec(noinline)
#else
#define ORVALEN_NOINLINE __attribute__((noinline))
#endif

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

// True when `serializer` is the standard one itself; only then may values skip its WriteValue.
// Asked once per codec: the type lookup is a chain of four dependent loads.
inline bool IsStandardSerializer(const StandardCodecSerializer& serializer) {
  return typeid(serializer) == typeid(StandardCodecSerializer);
}

// PutFlat may store this many bytes past the end of what it writes (a float64's zeros).
constexpr size_t kStoreSlack = 8;

// The bytes a flat part takes `offset` bytes into the message; 0 when it is not flat.
inline size_t FlatSize(const std::string& text, size_t /*offset*/) {
  return text.size() > wire::kLongestOneByteSize ? 0 : 2 + text.size();
}
inline size_t FlatSize(const EncodableValue& value, size_t offset) {
  const size_t index = value.index();
  if (index < EncodableValue::kDoubleIndex) {
    return 1 + (index == EncodableValue::kInt32Index   ? sizeof(int32_t)
                : index == EncodableValue::kInt64Index ? sizeof(int64_t)
                                                       : 0);
  }
  if (index == EncodableValue::kDoubleIndex) {
    return 1 + wire::Padding(offset + 1, wire::kFloat64Alignment) + sizeof(double);
  }
  if (index != EncodableValue::kStringIndex) return 0;
  return FlatSize(*std::get_if<EncodableValue::kStringIndex>(&value), offset);
}
inline size_t FlatSize(const MessagePart& part, size_t offset) {
  return part.string != nullptr ? FlatSize(*part.string, offset) : FlatSize(*part.value, offset);
}

// Copies `count` bytes, at most wire::kLongestOneByteSize, in fixed-width overlapping moves: a
// call to memcpy would make every writer around it save registers, and costs more than the copy
// of a short key. Reads stay within the source, writes within the destination's `count` bytes.
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
  } else if (count != 0) {
    to[0] = from[0];
    to[count / 2] = from[count / 2];
    to[count - 1] = from[count - 1];
  }
}

inline uint8_t* PutCode(uint8_t* out, StandardCodecType code) {
  *out = static_cast<uint8_t>(code);
  return out + 1;
}

// Writes a part that FlatSize found flat at `out`, `offset` bytes into the message; returns where
// the next part goes.
inline uint8_t* PutFlat(uint8_t* out, size_t /*offset*/, const std::string& text) {
  const size_t count = text.size();
  out = PutCode(out, StandardCodecType::kString);
  *out = static_cast<uint8_t>(count);
  CopyShort(out + 1, text.data(), count);
  return out + 1 + count;
}
template <typename Number>
uint8_t* PutFlat(uint8_t* out, StandardCodecType code, Number number, size_t padding = 0) {
  out = PutCode(out, code);
  std::memset(out, 0, kStoreSlack);  // covers any padding, with one store
  std::memcpy(out + padding, &number, sizeof number);
  return out + padding + sizeof number;
}
inline uint8_t* PutFlat(uint8_t* out, size_t offset, const EncodableValue& value) {
  using Type = StandardCodecType;
  // Null and strings first, apart from the switch: they are the commonest parts.
  if (value.index() == EncodableValue::kNullIndex) return PutCode(out, Type::kNull);
  if (const auto* text = std::get_if<EncodableValue::kStringIndex>(&value)) {
    return PutFlat(out, offset, *text);
  }
  switch (value.index()) {
    case EncodableValue::kBoolIndex:
      return PutCode(out,
                     *std::get_if<EncodableValue::kBoolIndex>(&value) ? Type::kTrue : Type::kFalse);
    case EncodableValue::kInt32Index:
      return PutFlat(out, Type::kInt32, *std::get_if<EncodableValue::kInt32Index>(&value));
    case EncodableValue::kInt64Index:
      return PutFlat(out, Type::kInt64, *std::get_if<EncodableValue::kInt64Index>(&value));
    default:
      return PutFlat(out, Type::kFloat64, *std::get_if<EncodableValue::kDoubleIndex>(&value),
                     wire::Padding(offset + 1, wire::kFloat64Alignment));
  }
}
inline uint8_t* PutFlat(uint8_t* out, size_t offset, const MessagePart& part) {
  return part.string != nullptr ? PutFlat(out, offset, *part.string)
                                : PutFlat(out, offset, *part.value);
}

// The general writer, for every message of a derived serializer and every message that is not
// flat or finds no room.
void WriteAnyMessage(const StandardCodecSerializer& serializer, std::optional<uint8_t> flag,
                     std::span<const MessagePart> parts, MessageBytes* bytes);

// The parts gathered for the general writer. Never inlined: the array it builds on the stack
// would otherwise give WriteMessage a stack frame, and the flat path would pay for it.
template <typename... Parts>
ORVALEN_NOINLINE void WriteAnyMessageOf(const StandardCodecSerializer& serializer,
                                        std::optional<uint8_t> flag, MessageBytes* bytes,
                                        const Parts&... parts) {
  const MessagePart all[] = {MessagePart(parts)...};
  WriteAnyMessage(serializer, flag, all, bytes);
}

// See the contract above. `standard` is IsStandardSerializer(serializer). Each part is a
// std::string (written as a string value), an EncodableValue or a MessagePart.
template <typename... Parts>
void WriteMessage(const StandardCodecSerializer& serializer, bool standard,
                  std::optional<uint8_t> flag, MessageBytes* bytes, const Parts&... parts) {
  if (standard) {
    size_t size = flag ? 1 : 0;
    size_t part = 0;
    const bool flat = ((part = FlatSize(parts, size), size += part, part != 0) && ...);
    if (flat && size + kStoreSlack <= bytes->room()) {
      uint8_t* const start = bytes->Extend(size);
      uint8_t* out = start;
      if (flag) *out++ = *flag;
      ((out = PutFlat(out, static_cast<size_t>(out - start), parts)), ...);
      return;
    }
  }
  WriteAnyMessageOf(serializer, flag, bytes, parts...);
}

// A thread's spare MessageBytes, emptied, for one message at a time: encoding into it allocates
// nothing once it has grown. A lease taken while another is held on the same thread (a derived
// serializer that encodes from inside WriteValue) gets an empty buffer of its own; more than
// kKeptCapacity is given back at the end of the lease.
class ScratchBytes {
 public:
  ScratchBytes() : bytes_(std::move(Spare())) { bytes_.clear(); }
  ~ScratchBytes() {
    if (bytes_.capacity() <= kKeptCapacity) Spare() = std::move(bytes_);
  }
  ScratchBytes(const ScratchBytes&) = delete;
  ScratchBytes& operator=(const ScratchBytes&) = delete;

  MessageBytes& operator*() { return bytes_; }
  MessageBytes* operator->() { return &bytes_; }

  static constexpr size_t kKeptCapacity = 64 * 1024;

 private:
  static MessageBytes& Spare() {
    thread_local MessageBytes spare;
    return spare;
  }
  MessageBytes bytes_;
};

}  // namespace flutter::internal

#endif  // ORVALEN_CODEC_MESSAGE_WRITER_H_
