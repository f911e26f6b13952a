// The standard channel encoding, byte for byte. Every wire fact of the codec is defined here once,
// and the writer and the reader take them from here.
//
// A value is one type-code byte (StandardCodecType below), then its body:
//   null, true, false: no body.     int32, int64: 4 or 8 bytes.     float64: padding to 8, 8 bytes.
//   string, uint8s:  size, then the bytes.
//   int32s, float32s / int64s, float64s:  size; if not empty, padding to 4 / 8, then the elements.
//   list:  size, then each element as a value.    map:  size, then key and value as values,
//                                                        in ascending key order.
// Sizes (byte lengths, element and entry counts): one byte up to kLongestOneByteSize; else
// kTwoByteSize and a uint16; else kFourByteSize and a uint32. The writer always uses the shortest
// form; the reader accepts longer ones. Every number is little-endian.
// Padding is zero bytes up to a multiple of the alignment, counted from the first byte of the whole
// buffer (for a method message: of the message), not from the start of the value; so what is
// written before a value decides its padding. The reader also skips the padding of an empty typed
// array, which the writer does not write; code 5 is read as a string and never written.
//
// A method call is the name as a string value, then the arguments as a value (null when absent).
// A reply is a bare flag byte, then for kSuccessFlag the result (null when absent); for kErrorFlag
// the code as a string value, the message as one (null when empty), the details (null when absent).
#ifndef ORVALEN_CODEC_WIRE_FORMAT_H_
#define ORVALEN_CODEC_WIRE_FORMAT_H_

#include <cstddef>
#include <cstdint>

namespace flutter {

// The type code, the first byte of every value. Codes from 15 up are read as null, with a line.
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

namespace wire {

constexpr uint32_t kLongestOneByteSize = 253;  // a size up to this is its own prefix byte
constexpr uint8_t kTwoByteSize = 0xFE;         // 254: a uint16 size follows
constexpr uint8_t kFourByteSize = 0xFF;        // 255: a uint32 size follows
constexpr uint32_t kLongestTwoByteSize = 0xFFFF;

// A float64 value is aligned to 8; int32 and int64 values are not aligned at all.
constexpr uint8_t kFloat64Alignment = 8;
// A typed array's elements are aligned to their own width (none for bytes), when there are any.
template <typename Element>
constexpr uint8_t kArrayAlignment = sizeof(Element);
constexpr size_t kLongestPadding = 7;

// The zero bytes before something aligned to `alignment` at `offset` bytes into the buffer.
constexpr size_t Padding(size_t offset, size_t alignment) {
  return (alignment - offset % alignment) % alignment;
}

// The first byte of a reply.
constexpr uint8_t kSuccessFlag = 0;
constexpr uint8_t kErrorFlag = 1;

// The size prefix as it goes on the wire: the first byte, then 0, 2 or 4 more, held as the low
// bytes of one little-endian word, so that it is built and copied in registers.
struct SizePrefix {
  explicit SizePrefix(uint32_t size)
      : word(size <= kLongestOneByteSize   ? uint64_t{size}
             : size <= kLongestTwoByteSize ? kTwoByteSize | uint64_t{size} << 8
                                           : kFourByteSize | uint64_t{size} << 8),
        length(size <= kLongestOneByteSize   ? 1
               : size <= kLongestTwoByteSize ? 3
                                             : 5) {}
  uint64_t word;
  size_t length;
};

}  // namespace wire
}  // namespace flutter

#endif  // ORVALEN_CODEC_WIRE_FORMAT_H_
