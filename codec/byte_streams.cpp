#include "codec/byte_streams.h"

#include <cstring>
#include <iostream>

namespace flutter {

namespace {

void ReportInvalidRead() {
  std::cerr << "Invalid read in StandardCodecByteStreamReader" << std::endl;
}

}  // namespace

uint8_t ByteBufferStreamReader::ReadByte() {
  if (position_ < size_) return data_[position_++];
  ReportInvalidRead();
  return 0;
}

void ByteBufferStreamReader::ReadBytes(uint8_t* destination, size_t count) {
  // Written as a subtraction: position + count could wrap for a hostile count.
  if (position_ <= size_ && count <= size_ - position_) {
    if (count != 0) std::memcpy(destination, data_ + position_, count);
    position_ += count;
    return;
  }
  ReportInvalidRead();
}

void ByteBufferStreamReader::SkipToAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  const size_t remainder = position_ % alignment;
  if (remainder != 0) position_ += alignment - remainder;
}

size_t ByteBufferStreamReader::RemainingBytes() const {
  return position_ < size_ ? size_ - position_ : 0;
}

void ByteBufferStreamWriter::WriteByte(uint8_t byte) { buffer_->push_back(byte); }

void ByteBufferStreamWriter::WriteBytes(const uint8_t* source, size_t count) {
  if (count == 0) return;
  buffer_->insert(buffer_->end(), source, source + count);
}

void ByteBufferStreamWriter::PadToAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  const size_t remainder = buffer_->size() % alignment;
  if (remainder == 0) return;
  // Through the virtual slot, so a derived writer sees the padding like any other byte.
  for (size_t i = remainder; i < alignment; ++i) WriteByte(0);
}

}  // namespace flutter
