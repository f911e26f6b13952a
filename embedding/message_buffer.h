// MessageBuffer: one byte buffer for the messages that a sender encodes one after another, so
// that once it has grown to the sender's usual message size, encoding a message allocates nothing.
//
// Reuse rests on the engine library copying a message during the call that sends it
// (FlutterDesktopMessengerSend, FlutterDesktopMessengerSendWithReply,
// FlutterDesktopMessengerSendResponse; BinaryMessenger::Send asks only that the bytes live for the
// call). The stand-in core copies them before it does anything else (standin/core/
// messenger_api.cpp). The bytes may therefore be overwritten as soon as the send returns, and not
// before.
//
// Threads: a buffer is not locked, so each belongs to one thread. A method channel's outgoing
// calls use the channel's own buffer, on the platform thread (where Invoke runs); replies, which
// a result may send from any thread, use a buffer per thread (thread_local), since a buffer per
// result would serve one message only.
//
// A send can set off another one on the same thread before it returns (an engine that answers on
// the spot, a reply sent from inside a reply): a lease taken while the buffer is leased gets an
// empty buffer of its own, so bytes still being sent are never overwritten.
#pragma once

#include <cstddef>

#include "codec/message_bytes.h"

namespace flutter {

class MessageBuffer {
 public:
  MessageBuffer() = default;
  MessageBuffer(const MessageBuffer&) = delete;
  MessageBuffer& operator=(const MessageBuffer&) = delete;

  // The buffer, emptied, for one message, until the lease goes.
  class Lease {
   public:
    explicit Lease(MessageBuffer& buffer);
    ~Lease();
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    MessageBytes* bytes() { return bytes_; }

   private:
    MessageBuffer* owner_;  // null: the buffer was leased already and `own_` is used instead
    MessageBytes own_;
    MessageBytes* bytes_;
  };

  // Capacity kept between messages; a rare larger message gives its memory back when it is sent,
  // instead of holding it for as long as the sender lives.
  static constexpr size_t kKeptCapacity = 64 * 1024;

 private:
  MessageBytes bytes_;
  bool leased_ = false;
};

}  // namespace flutter
