// MessageBytes: a growable byte buffer that a sender encodes its messages into, one after another,
// emptying it between them, so that once it has grown, encoding allocates nothing. Its room is one
// compare, bytes are taken unwritten, and growing is a call of its own: a std::vector zeroes what
// it adds, and its inline growth path makes every caller save registers (docs/benchmarks.md).
#ifndef ORVALEN_CODEC_MESSAGE_BYTES_H_
#define ORVALEN_CODEC_MESSAGE_BYTES_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

namespace flutter {

class MessageBytes {
 public:
  MessageBytes() = default;
  MessageBytes(const MessageBytes&) = delete;
  MessageBytes& operator=(const MessageBytes&) = delete;
  MessageBytes(MessageBytes&& other) noexcept { *this = std::move(other); }
  MessageBytes& operator=(MessageBytes&& other) noexcept {
    data_ = std::move(other.data_);
    size_ = std::exchange(other.size_, 0);
    capacity_ = std::exchange(other.capacity_, 0);
    return *this;
  }

  // Null while nothing was ever reserved.
  const uint8_t* data() const { return data_.get(); }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t capacity() const { return capacity_; }
  // Bytes that can be taken without growing.
  size_t room() const { return capacity_ - size_; }

  // Empties the buffer and keeps its memory.
  void clear() { size_ = 0; }
  // Empties the buffer and gives its memory back.
  void Release();
  // Makes the capacity at least `capacity`, keeping the bytes.
  void reserve(size_t capacity);

  // `count` bytes added at the end, unwritten: the caller writes every one of them. There must be
  // room for them (room()); nothing is checked.
  uint8_t* Extend(size_t count) {
    uint8_t* end = data_.get() + size_;
    size_ += count;
    return end;
  }
  // Appends `count` bytes from `bytes` (null only when `count` is 0), growing at least twofold
  // when there is no room, so that appending piece by piece reallocates rarely.
  void Append(const uint8_t* bytes, size_t count);

  // A copy of the bytes, for comparing and printing.
  std::vector<uint8_t> ToVector() const { return {data(), data() + size_}; }

 private:
  std::unique_ptr<uint8_t[]> data_;
  size_t size_ = 0;
  size_t capacity_ = 0;
};

// A thread's spare MessageBytes, emptied, for one message. A lease taken while another is held on
// the same thread gets an empty buffer of its own; more than 64 KiB is given back at the end.
class ScratchBytes {
 public:
  ScratchBytes() : bytes_(std::move(Spare())) { bytes_.clear(); }
  ~ScratchBytes() {
    if (bytes_.capacity() <= 64 * 1024) Spare() = std::move(bytes_);
  }
  MessageBytes& operator*() { return bytes_; }

 private:
  static MessageBytes& Spare() {
    thread_local MessageBytes spare;
    return spare;
  }
  MessageBytes bytes_;
};

}  // namespace flutter

#endif  // ORVALEN_CODEC_MESSAGE_BYTES_H_
