#include "embedding/engine_method_result.h"

#include <iostream>
#include <utility>

#include "embedding/message_buffer.h"

namespace flutter {

namespace {

// Results are completed on whatever thread the handler chose, so the buffer is per thread.
MessageBuffer& ReplyBuffer() {
  thread_local MessageBuffer buffer;
  return buffer;
}

}  // namespace

PendingReply::PendingReply(ReplyCallback reply) : reply_(std::move(reply)) {}

PendingReply::~PendingReply() {
  if (reply_) {
    std::cerr << "Warning: Failed to respond to a message. This is a memory leak." << std::endl;
  }
}

void PendingReply::SendOnce(const MessageBytes* data) {
  if (!reply_) {
    std::cerr << "Error: Only one of Success, Error, or NotImplemented can be called,"
              << " and it can be called exactly once. Ignoring duplicate result." << std::endl;
    return;
  }
  // Emptied before the call: whatever the callback sets off may complete this result again, and
  // that must count as the duplicate. The callback (and the messenger reference it holds) goes
  // when this returns.
  ReplyCallback reply = std::move(reply_);
  reply_ = nullptr;
  if (data != nullptr && !data->empty()) {
    reply(data->data(), data->size());
  } else {
    reply(nullptr, 0);
  }
}

template <typename T>
EngineMethodResult<T>::EngineMethodResult(ReplyCallback reply, const MethodCodec<T>* codec)
    : reply_(std::make_unique<PendingReply>(std::move(reply))), codec_(codec) {}

template <typename T>
EngineMethodResult<T>::~EngineMethodResult() = default;

template <typename T>
void EngineMethodResult<T>::Success(const T* result) {
  MessageBuffer::Lease lease(ReplyBuffer());
  codec_->EncodeSuccessTo(result, lease.bytes());
  reply_->SendOnce(lease.bytes());
}

template <typename T>
void EngineMethodResult<T>::Error(const std::string& code, const std::string& message,
                                  const T* details) {
  MessageBuffer::Lease lease(ReplyBuffer());
  codec_->EncodeErrorTo(code, message, details, lease.bytes());
  reply_->SendOnce(lease.bytes());
}

template <typename T>
void EngineMethodResult<T>::NotImplemented() {
  reply_->SendOnce(nullptr);
}

template class EngineMethodResult<EncodableValue>;

}  // namespace flutter
