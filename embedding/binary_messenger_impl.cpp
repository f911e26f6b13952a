#include "embedding/binary_messenger_impl.h"

#include <iostream>
#include <memory>
#include <utility>

#include "embedding/messenger_handle.h"

namespace flutter {

// One table entry. Held in shared ownership so that a running handler can keep its own entry (and
// through it the handler and everything the handler captured) alive while it tears down the
// messenger; the handler itself is shared too, so replacing it from inside its own run leaves the
// running copy intact.
struct BinaryMessengerImpl::HandlerEntry : std::enable_shared_from_this<HandlerEntry> {
  std::shared_ptr<MessageHandler> handler;
};

namespace {

// The one-shot answer to one incoming message, shared by every copy of its reply callback.
struct ResponseState {
  MessengerHandle messenger;
  const FlutterDesktopMessageResponseHandle* response_handle;
};

// Unlocks on every path out of the response, early exits included.
class MessengerLock {
 public:
  explicit MessengerLock(FlutterDesktopMessengerRef messenger)
      : locked_(FlutterDesktopMessengerLock(messenger)) {}
  ~MessengerLock() {
    if (locked_ != nullptr) FlutterDesktopMessengerUnlock(locked_);
  }
  MessengerLock(const MessengerLock&) = delete;
  MessengerLock& operator=(const MessengerLock&) = delete;

 private:
  FlutterDesktopMessengerRef locked_;
};

void Respond(ResponseState& state, const uint8_t* data, size_t data_size) {
  FlutterDesktopMessengerRef messenger = state.messenger.get();
  MessengerLock lock(messenger);
  if (!FlutterDesktopMessengerIsAvailable(messenger)) return;
  if (state.response_handle == nullptr) {
    std::cerr << "Error: Response can be set only once. Ignoring duplicate response." << std::endl;
    return;
  }
  // Cleared before the send: a response that the send sets off on this thread (the lock is
  // re-entrant for its holder) must be the duplicate, not a second send on a used handle.
  const FlutterDesktopMessageResponseHandle* handle = state.response_handle;
  state.response_handle = nullptr;
  FlutterDesktopMessengerSendResponse(messenger, handle, data, data_size);
}

}  // namespace

BinaryMessengerImpl::BinaryMessengerImpl(FlutterDesktopMessengerRef messenger)
    : messenger_(messenger) {}

BinaryMessengerImpl::~BinaryMessengerImpl() = default;

void BinaryMessengerImpl::Send(const std::string& channel, const uint8_t* message,
                               size_t message_size, ReplyCallback reply) {
  // No messenger (the engine was refused): as if the engine refused the message.
  if (messenger_ == nullptr) return;
  if (!reply) {
    FlutterDesktopMessengerSend(messenger_, channel.c_str(), message, message_size);
    return;
  }
  auto pending = std::make_unique<ReplyCallback>(std::move(reply));
  const bool accepted =
      FlutterDesktopMessengerSendWithReply(messenger_, channel.c_str(), message, message_size,
                                           &BinaryMessengerImpl::ForwardReply, pending.get());
  // Accepted: the engine owns the pending reply until it calls ForwardReply, which frees it.
  if (accepted) pending.release();
}

void BinaryMessengerImpl::SetHandler(const std::string& channel, MessageHandler handler) {
  // No messenger: no message can ever arrive, so the handler is not even kept.
  if (messenger_ == nullptr) return;
  if (!handler) {
    handlers_.erase(channel);
    FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(), nullptr, nullptr);
    return;
  }
  std::shared_ptr<HandlerEntry>& entry = handlers_[channel];
  if (!entry) entry = std::make_shared<HandlerEntry>();
  entry->handler = std::make_shared<MessageHandler>(std::move(handler));
  FlutterDesktopMessengerSetCallback(messenger_, channel.c_str(),
                                     &BinaryMessengerImpl::ForwardMessage, entry.get());
}

void BinaryMessengerImpl::ForgetMessenger() {
  messenger_ = nullptr;
  handlers_.clear();
}

void BinaryMessengerImpl::ForwardMessage(FlutterDesktopMessengerRef messenger,
                                         const FlutterDesktopMessage* message, void* user_data) {
  // Both held for the whole call: the handler may destroy the messenger (and with it the table)
  // or replace itself before it returns.
  const std::shared_ptr<HandlerEntry> entry =
      static_cast<HandlerEntry*>(user_data)->shared_from_this();
  const std::shared_ptr<MessageHandler> handler = entry->handler;

  auto state = std::make_shared<ResponseState>(ResponseState{
      AdoptMessengerReference(FlutterDesktopMessengerAddRef(messenger)), message->response_handle});
  ReplyCallback reply = [state](const uint8_t* data, size_t data_size) {
    Respond(*state, data, data_size);
  };
  state.reset();
  (*handler)(message->message, message->message_size, std::move(reply));
}

void BinaryMessengerImpl::ForwardReply(const uint8_t* data, size_t data_size, void* user_data) {
  std::unique_ptr<ReplyCallback> pending(static_cast<ReplyCallback*>(user_data));
  (*pending)(data, data_size);
}

}  // namespace flutter
