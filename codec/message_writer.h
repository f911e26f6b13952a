// Writing a whole channel message for the method codec: an optional flag byte, then values, each
// exactly as StandardCodecSerializer::WriteValue writes it through a ByteBufferStreamWriter over
// the message. With the standard serializer itself the message gets its room once and is written
// in one pass; a derived serializer has its WriteValue called for each value, as always.
#ifndef ORVALEN_CODEC_MESSAGE_WRITER_H_
#define ORVALEN_CODEC_MESSAGE_WRITER_H_

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/standard_codec_serializer.h"

namespace flutter::internal {

std::unique_ptr<std::vector<uint8_t>> WriteMessage(
    const StandardCodecSerializer& serializer, std::optional<uint8_t> flag,
    std::initializer_list<const EncodableValue*> values);

}  // namespace flutter::internal

#endif  // ORVALEN_CODEC_MESSAGE_WRITER_H_
