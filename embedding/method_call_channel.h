// MethodCallChannel: method calls and their one-shot results over one named channel.
//
// Contract:
//  * Incoming: each message is decoded into a MethodCall and handed to the call handler with an
//    EngineMethodResult. An undecodable message prints "Unable to construct method call from
//    message on channel <name>" and is answered with an empty (not-implemented) reply; the
//    handler is not called. The MethodCall is only lent for the call; the result may be kept.
//  * Outgoing (Invoke): with a result, the result receives what the reply says: an empty reply
//    is NotImplemented(); an undecodable one prints "Unable to decode reply to method invocation
//    on channel <name>" and is NotImplemented(); a refused message destroys the result uncalled.
//  * The installed handler lives in the messenger, with its own copies of the call handler, the
//    codec pointer and the name: destroying the channel object does not remove it.
//  * The messenger and the codec are not owned; platform thread only.
//  * Calls are encoded into a buffer that the channel keeps for its next call (message_buffer.h),
//    so that an Invoke allocates nothing for its bytes once the buffer has grown.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "codec/encodable_value.h"
#include "codec/method_call.h"
#include "codec/method_codec.h"
#include "codec/method_result.h"
#include "embedding/binary_messenger.h"
#include "embedding/message_buffer.h"

namespace flutter {

template <typename T = EncodableValue>
class MethodCallChannel {
 public:
  using CallHandler =
      std::function<void(const MethodCall<T>& call, std::unique_ptr<MethodResult<T>> result)>;

  MethodCallChannel(BinaryMessenger* messenger, const std::string& name,
                    const MethodCodec<T>* codec);
  ~MethodCallChannel();

  MethodCallChannel(const MethodCallChannel&) = delete;
  MethodCallChannel& operator=(const MethodCallChannel&) = delete;

  // Installs a copy of `handler`; an empty handler removes the channel's handler.
  void SetCallHandler(const CallHandler& handler) const;

  // Sends the call `method` with `arguments` (may be null). `result` (may be null) receives the
  // reply; without one the message is sent without asking for a reply.
  void Invoke(const std::string& method, std::unique_ptr<T> arguments,
              std::unique_ptr<MethodResult<T>> result = nullptr) const;

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<T>* codec_;
  // Mutable: Invoke is const, and the buffer is only a cache of capacity, never state.
  mutable MessageBuffer call_buffer_;
};

extern template class MethodCallChannel<EncodableValue>;

}  // namespace flutter
