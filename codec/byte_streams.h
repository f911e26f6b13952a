// Byte streams under the standard serializer: abstract reader and writer, and the two
// implementations over a borrowed byte range and over a caller-owned growable vector. Alignment
// counts from the first byte of the whole buffer (the reader's position, the vector's length).
#ifndef ORVALEN_CODEC_BYTE_STREAMS_H_
#define ORVALEN_CODEC_BYTE_STREAMS_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <vector>

#include "codec/read_limits.h"

namespace flutter {

class ByteStreamReader {
 public:
  // Returned by RemainingBytes() by readers that cannot tell how much input is left.
  static constexpr size_t kUnknownRemaining = std::numeric_limits<size_t>::max();

  virtual ~ByteStreamReader() = default;
  // The next byte; on failure one diagnostic line and 0.
  virtual uint8_t ReadByte() = 0;
  // Copies `count` bytes; on failure one diagnostic line, and `destination` keeps what it held.
  virtual void ReadBytes(uint8_t* destination, size_t count) = 0;
  // Moves forward to the next multiple of `alignment` (no bounds check; the next read fails).
  virtual void SkipToAlignment(uint8_t alignment) = 0;

  // Bytes left to read, or kUnknownRemaining (no refusals of announcements the input cannot back).
  virtual size_t RemainingBytes() const { return kUnknownRemaining; }

  // Decoding limits (depth, fabricated storage), shared by every value of the reader's message.
  ReadLimits& limits() { return limits_; }

 private:
  ReadLimits limits_;
};

class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter() = default;
  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* source, size_t count) = 0;
  // Appends zero bytes up to the next multiple of `alignment`.
  virtual void PadToAlignment(uint8_t alignment) = 0;
};

// Reads from a byte range that the caller keeps alive while reading.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  ByteBufferStreamReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* destination, size_t count) override;
  void SkipToAlignment(uint8_t alignment) override;
  size_t RemainingBytes() const override;

  // The next `count` bytes in place, moving past them; null, consuming and reporting nothing, when
  // fewer remain. The serializer builds strings and arrays from them without zero-filling first.
  const uint8_t* TakeBytes(size_t count) {
    if (position_ > size_ || count > size_ - position_) return nullptr;
    const uint8_t* bytes = data_ + position_;
    position_ += count;
    return bytes;
  }

  // Index of the next byte to read; may lie beyond size() after SkipToAlignment.
  size_t position() const { return position_; }
  size_t size() const { return size_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

// Appends to a vector that the caller owns and keeps alive while writing.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

  void WriteByte(uint8_t byte) override;
  void WriteBytes(const uint8_t* source, size_t count) override;
  void PadToAlignment(uint8_t alignment) override;

  std::vector<uint8_t>* buffer() const { return buffer_; }

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter

#endif  // ORVALEN_CODEC_BYTE_STREAMS_H_
