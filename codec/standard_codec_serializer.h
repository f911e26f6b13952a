// StandardCodecSerializer: writes one EncodableValue to a ByteStreamWriter and reads one back
// from a ByteStreamReader in the standard channel encoding (codec/wire_format.h).
//
// A base class by design: every nested value (list elements, map keys and values) goes through
// the virtual WriteValue / ReadValueOfType, so a derived serializer sees each one and can handle
// kinds of its own (custom values) before delegating the rest here.
//
// Reading never throws and never stops: failed reads write their diagnostic line and yield zeros
// and nulls. Beyond the format, a value is refused (read as null, one diagnostic line) when it is
// nested deeper than ReadLimits::kMaxDepth, when it announces more than 65,536 elements or bytes
// that the remaining input cannot hold, or when the message exhausts its ReadLimits budget.
// Writing never fails: a custom value goes on the wire as null with a diagnostic line, and so does
// a value too long for a 32-bit size.
#ifndef ORVALEN_CODEC_STANDARD_CODEC_SERIALIZER_H_
#define ORVALEN_CODEC_STANDARD_CODEC_SERIALIZER_H_

#include <cstdint>

#include "codec/byte_streams.h"
#include "codec/encodable_value.h"
#include "codec/wire_format.h"

namespace flutter {

class StandardCodecSerializer {
 public:
  StandardCodecSerializer() = default;
  virtual ~StandardCodecSerializer() = default;
  StandardCodecSerializer(const StandardCodecSerializer&) = delete;
  StandardCodecSerializer& operator=(const StandardCodecSerializer&) = delete;

  // The process-wide instance, created on first use (thread-safe).
  static const StandardCodecSerializer& SharedInstance();

  // Writes the value's type code and body.
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

  // Reads the body belonging to an already-read type code.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  // Reads one type code, then the value through ReadValueOfType.
  EncodableValue ReadValue(ByteStreamReader* stream) const;

  // The size prefix: 1, 3 or 5 bytes, always the shortest form.
  void WriteSize(uint32_t size, ByteStreamWriter* stream) const;
  // Accepts longer forms than needed; a failed read gives 0.
  uint32_t ReadSize(ByteStreamReader* stream) const;
};

}  // namespace flutter

#endif  // ORVALEN_CODEC_STANDARD_CODEC_SERIALIZER_H_
