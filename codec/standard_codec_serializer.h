// StandardCodecSerializer: writes one EncodableValue to a ByteStreamWriter and reads one back
// from a ByteStreamReader in the standard channel encoding.
//
// Wire format. A value is one type-code byte (StandardCodecType below), then its body:
//   null, true, false: no body.     int32, int64: 4 or 8 bytes.     float64: padding to 8, 8 bytes.
//   string, uint8s:  size, then the bytes.
//   int32s, float32s / int64s, float64s:  size; if not empty, padding to 4 / 8, then the elements.
//   list:  size, then each element as a value.    map:  size, then key and value as values,
//                                                        in ascending key order.
// Sizes (byte lengths, element and entry counts): one byte below 254; 254 and a uint16; 255 and a
// uint32. Every number is little-endian. Padding is zero bytes up to a multiple of the width,
// counted from the first byte of the whole buffer, not from the start of the value; so what is
// written before a value decides its padding. The reader also skips the padding of an empty
// array, which the writer does not write; code 5 is read as a string and never written.
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

namespace flutter {

// The type code, the first byte of every value. Codes from 15 up are unknown: read as null with a
// diagnostic line.
enum class StandardCodecType : uint8_t {
  kNull = 0,  // also written for a custom value
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,  // read as a string, never written
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

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
