// Writing a whole channel message for the method codec: an optional flag byte, then values, each
// exactly as StandardCodecSerializer::WriteValue writes it through a ByteBufferStreamWriter over
// the message. With the standard serializer itself the message gets its room once and is written
// in one pass; a derived serializer has its WriteValue called for each value, as always.
#ifndef ORVALEN_CODEC_MESSAGE_WRITER_H_
#define ORVALEN_CODEC_MESSAGE_WRITER_H_

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <typeinfo>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/flat_message.h"
#include "codec/message_bytes.h"
#include "codec/standard_codec_serializer.h"

#if defined(_MSC_VER)
#define ORVALEN_NOINLINE __declspec(noinline)
#else
#define ORVALEN_NOINLINE __attribute__((noinline))
#endif

namespace flutter::internal {

// The general writer, for what WriteMessage does not write as a flat message.
void WriteAnyMessage(const StandardCodecSerializer& serializer, std::optional<uint8_t> flag,
                     std::span<const MessagePart> parts, std::vector<uint8_t>* bytes);
void WriteAnyMessage(const StandardCodecSerializer& serializer, std::optional<uint8_t> flag,
                     std::span<const MessagePart> parts, MessageBytes* bytes);

// True when `serializer` is the standard one itself. A derived serializer must see every value
// through its WriteValue, so only the standard one gets flat messages. Asked once per codec: the
// type lookup is a chain of four dependent loads, a third of a short message's encoding.
inline bool IsStandardSerializer(const StandardCodecSerializer& serializer) {
  return typeid(serializer) == typeid(StandardCodecSerializer);
}

// The parts gathered for the general writer. Never inlined: the array it builds on the stack
// would otherwise give WriteMessage a stack frame, and the flat path would pay for it.
template <typename Bytes, typename... Parts>
ORVALEN_NOINLINE void WriteAnyMessageOf(const StandardCodecSerializer& serializer,
                                        std::optional<uint8_t> flag, Bytes* bytes,
                                        const Parts&... parts) {
  const MessagePart all[] = {MessagePart(parts)...};
  WriteAnyMessage(serializer, flag, all, bytes);
}

// Appends the message to `bytes` (not owned, never null): the same bytes, padding included, as
// when `bytes` starts empty, since alignment counts from the first byte of the message.
// `standard` is IsStandardSerializer(serializer). Each part is a std::string (written as a string
// value), an EncodableValue or a MessagePart.
// `Bytes`: std::vector<uint8_t> or MessageBytes. Into MessageBytes, a flat message is written in
// place only when the buffer has room: the general writer grows it, and then the sender's next
// messages find the room.
template <typename Bytes, typename... Parts>
void WriteMessage(const StandardCodecSerializer& serializer, bool standard,
                  std::optional<uint8_t> flag, Bytes* bytes, const Parts&... parts) {
  if (standard && WriteFlatMessage(flag, bytes, parts...)) return;
  WriteAnyMessageOf(serializer, flag, bytes, parts...);
}

}  // namespace flutter::internal

#endif  // ORVALEN_CODEC_MESSAGE_WRITER_H_
