#include "codec/message_bytes.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace flutter {

void MessageBytes::Release() { *this = MessageBytes(); }

void MessageBytes::reserve(size_t capacity) {
  if (capacity <= capacity_) return;
  // new[] without "()" leaves the bytes unwritten: only the first size_ are ever read.
  std::unique_ptr<uint8_t[]> grown(new uint8_t[capacity]);
  if (size_ != 0) std::memcpy(grown.get(), data_.get(), size_);
  data_ = std::move(grown);
  capacity_ = capacity;
}

void MessageBytes::Append(const uint8_t* bytes, size_t count) {
  if (count > room()) reserve(std::max(size_ + count, 2 * capacity_));
  if (count != 0) std::memcpy(Extend(count), bytes, count);
}

}  // namespace flutter
