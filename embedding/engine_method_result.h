// EngineMethodResult: the one-shot result handed to a call handler for one incoming method call.
//
// Contract:
//  * Exactly one of Success, Error and NotImplemented takes effect; it encodes the reply with the
//    codec and sends it through the message's reply callback (NotImplemented sends zero bytes).
//  * A second completion prints "Error: Only one of Success, Error, or NotImplemented can be
//    called, and it can be called exactly once. Ignoring duplicate result." and sends nothing.
//  * Destroyed without a completion: prints "Warning: Failed to respond to a message. This is a
//    memory leak." and sends nothing.
//  * The reply is encoded into a buffer kept by the completing thread for its next reply
//    (message_buffer.h).
//  * May be completed later and on another thread (the reply callback takes the engine's messenger
//    lock), but never from two threads at once: the one-shot state itself is not locked.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/method_codec.h"
#include "codec/method_result.h"
#include "embedding/binary_messenger.h"

namespace flutter {

// Holds the reply callback of one incoming message until it has been used once.
class PendingReply {
 public:
  explicit PendingReply(ReplyCallback reply);
  ~PendingReply();

  PendingReply(const PendingReply&) = delete;
  PendingReply& operator=(const PendingReply&) = delete;

  // Sends `data` (null or empty: an empty reply) through the held callback and empties it; a
  // second send prints the duplicate-result line instead.
  void SendOnce(const MessageBytes* data);

 private:
  ReplyCallback reply_;
};

template <typename T = EncodableValue>
class EngineMethodResult : public MethodResult<T> {
 public:
  // `codec` is not owned and must outlive the result.
  EngineMethodResult(ReplyCallback reply, const MethodCodec<T>* codec);
  ~EngineMethodResult() override;

  void Success(const T* result) override;
  void Error(const std::string& code, const std::string& message, const T* details) override;
  void NotImplemented() override;

 private:
  std::unique_ptr<PendingReply> reply_;
  const MethodCodec<T>* codec_;
};

extern template class EngineMethodResult<EncodableValue>;

}  // namespace flutter
