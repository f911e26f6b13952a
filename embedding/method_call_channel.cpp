#include "embedding/method_call_channel.h"

#include <iostream>
#include <utility>
#include <vector>

#include "embedding/engine_method_result.h"

namespace flutter {

template <typename T>
MethodCallChannel<T>::MethodCallChannel(BinaryMessenger* messenger, const std::string& name,
                                        const MethodCodec<T>* codec)
    : messenger_(messenger), name_(name), codec_(codec) {}

template <typename T>
MethodCallChannel<T>::~MethodCallChannel() = default;

template <typename T>
void MethodCallChannel<T>::SetCallHandler(const CallHandler& handler) const {
  if (!handler) {
    messenger_->SetHandler(name_, nullptr);
    return;
  }
  const MethodCodec<T>* codec = codec_;
  messenger_->SetHandler(name_, [handler, codec, name = name_](const uint8_t* message,
                                                               size_t message_size,
                                                               ReplyCallback reply) {
    // Exists before decoding, so that even an undecodable message is answered.
    auto result = std::make_unique<EngineMethodResult<T>>(std::move(reply), codec);
    std::unique_ptr<MethodCall<T>> call = codec->DecodeCall(message, message_size);
    if (!call) {
      std::cerr << "Unable to construct method call from message on channel " << name << std::endl;
      result->NotImplemented();
      return;
    }
    handler(*call, std::move(result));
  });
}

template <typename T>
void MethodCallChannel<T>::Invoke(const std::string& method, std::unique_ptr<T> arguments,
                                  std::unique_ptr<MethodResult<T>> result) const {
  MethodCall<T> call(method, std::move(arguments));
  MessageBuffer::Lease lease(call_buffer_);
  MessageBytes* bytes = lease.bytes();
  codec_->EncodeCallTo(call, bytes);
  if (!result) {
    messenger_->Send(name_, bytes->data(), bytes->size(), nullptr);
    return;
  }
  std::shared_ptr<MethodResult<T>> shared_result(std::move(result));
  ReplyCallback on_reply = [shared_result, codec = codec_, name = name_](const uint8_t* reply,
                                                                         size_t reply_size) {
    if (reply_size == 0) {
      shared_result->NotImplemented();
      return;
    }
    if (!codec->DecodeReply(reply, reply_size, shared_result.get())) {
      std::cerr << "Unable to decode reply to method invocation on channel " << name << std::endl;
      shared_result->NotImplemented();
    }
  };
  messenger_->Send(name_, bytes->data(), bytes->size(), std::move(on_reply));
}

template class MethodCallChannel<EncodableValue>;

}  // namespace flutter
