// BinaryMessengerImpl: the BinaryMessenger over one engine messenger handle.
//
// Contract:
//  * The engine messenger handle is borrowed: no reference is taken for the messenger itself.
//    It is null when the engine was refused or the messenger forgotten; then Send drops the message
//    (and its reply uncalled) and SetHandler does nothing, and no messenger function is ever called
//    with null.
//  * One handler per channel. The engine is given, as user data, the address of the channel's
//    table entry, which stays the same when the handler is replaced.
//  * Every incoming message gets a reply callback that answers it at most once: a second answer
//    prints "Error: Response can be set only once. Ignoring duplicate response." and sends
//    nothing. Copies of that callback share this one-shot state. The callback holds its own
//    messenger reference and takes the engine's messenger lock around the availability check and
//    the send, so it may run on any thread and after the engine is gone (then it does nothing).
//  * A running handler may destroy this messenger, or replace or remove its own handler, through
//    what it calls: the handler object, its captured state and its table entry stay alive until
//    it returns.
//  * Send, SetHandler and destruction run on the platform thread; the table is not locked.
//  * Destruction frees the handlers without unregistering them: the engine is always destroyed
//    first (by the engine wrapper), so no message can reach a freed handler.
#pragma once

#include <map>
#include <memory>
#include <string>

#include "embedding/binary_messenger.h"
#include "embedding/flutter_desktop.h"

namespace flutter {

class BinaryMessengerImpl : public BinaryMessenger {
 public:
  explicit BinaryMessengerImpl(FlutterDesktopMessengerRef messenger);
  ~BinaryMessengerImpl() override;

  BinaryMessengerImpl(const BinaryMessengerImpl&) = delete;
  BinaryMessengerImpl& operator=(const BinaryMessengerImpl&) = delete;

  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            ReplyCallback reply) override;
  void SetHandler(const std::string& channel, MessageHandler handler) override;

  // Drops the handle of a messenger that the library has freed (with its engine, as after a
  // refused view controller), and the handlers that no message can reach any more; from then on
  // this behaves as over a refused engine.
  void ForgetMessenger();

  // Callbacks given to the engine library.
  static void ForwardMessage(FlutterDesktopMessengerRef messenger,
                             const FlutterDesktopMessage* message, void* user_data);
  static void ForwardReply(const uint8_t* data, size_t data_size, void* user_data);

 private:
  struct HandlerEntry;

  FlutterDesktopMessengerRef messenger_;
  std::map<std::string, std::shared_ptr<HandlerEntry>> handlers_;
};

}  // namespace flutter
