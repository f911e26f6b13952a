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
#include "codec/standard_codec_serializer.h"

namespace flutter::internal {

// The general writer, for what WriteMessage does not write as a flat message.
void WriteAnyMessage(const StandardCodecSerializer& serializer, std::optional<uint8_t> flag,
                     std::span<const MessagePart> parts, std::vector<uint8_t>* bytes);

// True when `serializer` is the standard one itself. A derived serializer must see every value
// through its WriteValue, so only the standard one gets flat messages. Asked once per codec: the
// type lookup is a chain of four dependent loads, a third of a short message's encoding.
inline bool IsStandardSerializer(const StandardCodecSerializer& serializer) {
  return typeid(serializer) == typeid(StandardCodecSerializer);
}

// Appends the message to `bytes` (not owned, never null): the same bytes, padding included, as
// when `bytes` starts empty, since alignment counts from the first byte of the message.
// `standard` is IsStandardSerializer(serializer). Each part is a std::string (written as a string
// value), an EncodableValue or a MessagePart.
template <typename... Parts>
void WriteMessage(const StandardCodecSerializer& serializer, bool standard,
                  std::optional<uint8_t> flag, std::vector<uint8_t>* bytes, const Parts&... parts) {
  if (standard && WriteFlatMessage(flag, bytes, parts...)) return;
  const MessagePart all[] = {MessagePart(parts)...};
  WriteAnyMessage(serializer, flag, all, bytes);
}

}  // namespace flutter::internal

#endif  // ORVALEN_CODEC_MESSAGE_WRITER_H_
