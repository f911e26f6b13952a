// BinaryMessenger: raw byte messages on named channels between the native side and the Dart side.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Carries a reply, in both directions: the reply to an outgoing message arrives through one, and
// an incoming message is answered through one. May be empty.
using ReplyCallback = std::function<void(const uint8_t* reply, size_t reply_size)>;

// Receives one incoming message with the callback that answers it. The bytes belong to the engine
// and are valid only during the call. May be empty: an empty handler means "no handler".
using MessageHandler =
    std::function<void(const uint8_t* message, size_t message_size, ReplyCallback reply)>;

class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // Sends `message` on `channel`. With a non-empty `reply` the engine's answer is delivered to it
  // once, on the platform thread; if the engine refuses the message, `reply` is dropped uncalled.
  // The bytes only need to live for the duration of the call.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    ReplyCallback reply) = 0;

  // Installs or replaces the handler of `channel`; an empty handler removes it.
  virtual void SetHandler(const std::string& channel, MessageHandler handler) = 0;
};

}  // namespace flutter
