#include "embedding/message_buffer.h"

namespace flutter {

MessageBuffer::Lease::Lease(MessageBuffer& buffer)
    : owner_(buffer.leased_ ? nullptr : &buffer), bytes_(owner_ ? &buffer.bytes_ : &own_) {
  if (owner_ == nullptr) return;
  owner_->leased_ = true;
  bytes_->clear();
}

MessageBuffer::Lease::~Lease() {
  if (owner_ == nullptr) return;
  if (bytes_->capacity() > kKeptCapacity) bytes_->Release();
  owner_->leased_ = false;
}

}  // namespace flutter
