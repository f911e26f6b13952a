// Messenger functions of the stand-in engine library: the reference-counted messenger that
// outlives its engine, its lock and availability flag, sends, callbacks and one-shot responses.
#include <memory>
#include <mutex>
#include <utility>

#include "embedding/flutter_desktop.h"
#include "standin/core/state.h"

using standin::Event;
using standin::EventKind;
namespace internal = standin::internal;

namespace standin::internal {

long ReleaseMessenger(FlutterDesktopMessenger* messenger) {
  const long left = messenger->references.fetch_sub(1) - 1;
  if (left == 0) {
    delete messenger;
    MessengerFreed();
  }
  return left;
}

}  // namespace standin::internal

namespace {

bool SendOnMessenger(FlutterDesktopMessengerRef messenger, const char* channel,
                     const uint8_t* message, size_t message_size, FlutterDesktopBinaryReply reply,
                     void* user_data, bool wants_reply) {
  Event event;
  event.kind = EventKind::kMessengerSend;
  event.messenger = messenger;
  event.channel = channel ? channel : "";
  // Copied now: the product may reuse its buffer as soon as this returns.
  if (message != nullptr) event.bytes.assign(message, message + message_size);
  event.data = message;
  event.wants_reply = wants_reply;
  if (messenger == nullptr) {
    event.detail = "no-messenger";
    internal::Record(std::move(event));
    return false;
  }
  {
    std::lock_guard<std::recursive_mutex> guard(messenger->mutex);
    FlutterDesktopEngine* engine = messenger->engine;
    event.engine = engine;
    standin::EngineHooks* hooks = standin::GetEngineHooks();
    if (engine == nullptr) {
      event.detail = "engine-gone";
    } else if (internal::TakeSendRefusal() ||
               (hooks && !hooks->AllowSend(event.channel, event.bytes, wants_reply))) {
      event.detail = "refused";
    } else if (wants_reply && reply == nullptr) {
      event.detail = "null-reply";
    } else {
      event.ok = true;
      if (wants_reply) {
        event.id = internal::NextId();
        engine->pending_replies.emplace(
            event.id,
            internal::PendingReply{event.id, event.channel, event.bytes, reply, user_data});
      }
    }
  }
  const bool accepted = event.ok;
  internal::Record(std::move(event));
  return accepted;
}

}  // namespace

extern "C" {

FLUTTER_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                const char* channel, const uint8_t* message,
                                                size_t message_size) {
  return SendOnMessenger(messenger, channel, message, message_size, nullptr, nullptr, false);
}

FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
    size_t message_size, FlutterDesktopBinaryReply reply, void* user_data) {
  return SendOnMessenger(messenger, channel, message, message_size, reply, user_data, true);
}

FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                                       const char* channel,
                                                       FlutterDesktopMessageCallback callback,
                                                       void* user_data) {
  Event event;
  event.kind = EventKind::kSetCallback;
  event.messenger = messenger;
  event.channel = channel ? channel : "";
  event.pointer = user_data;
  event.ok = callback != nullptr;
  if (messenger == nullptr) {
    event.detail = "no-messenger";
  } else {
    std::lock_guard<std::recursive_mutex> guard(messenger->mutex);
    FlutterDesktopEngine* engine = messenger->engine;
    event.engine = engine;
    if (engine == nullptr) {
      event.detail = "engine-gone";
    } else if (callback != nullptr) {
      engine->callbacks[event.channel] = internal::ChannelCallback{callback, user_data};
    } else {
      engine->callbacks.erase(event.channel);
    }
  }
  internal::Record(std::move(event));
}

FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger) {
  Event event;
  event.kind = EventKind::kMessengerAddRef;
  event.messenger = messenger;
  if (messenger != nullptr) {
    event.id = static_cast<uint64_t>(messenger->references.fetch_add(1) + 1);
    event.ok = true;
  }
  internal::Record(std::move(event));
  return messenger;
}

FLUTTER_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger) {
  Event event;
  event.kind = EventKind::kMessengerRelease;
  event.messenger = messenger;
  if (messenger != nullptr) {
    event.id = static_cast<uint64_t>(internal::ReleaseMessenger(messenger));
    event.ok = true;
  }
  internal::Record(std::move(event));
}

FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger) {
  if (messenger != nullptr) messenger->mutex.lock();
  Event event;
  event.kind = EventKind::kMessengerLock;
  event.messenger = messenger;
  event.ok = messenger != nullptr;
  internal::Record(std::move(event));
  return messenger;
}

FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef locked) {
  Event event;
  event.kind = EventKind::kMessengerUnlock;
  event.messenger = locked;
  event.ok = locked != nullptr;
  internal::Record(std::move(event));
  if (locked != nullptr) locked->mutex.unlock();
}

FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger) {
  Event event;
  event.kind = EventKind::kMessengerIsAvailable;
  event.messenger = messenger;
  if (messenger != nullptr) {
    std::lock_guard<std::recursive_mutex> guard(messenger->mutex);
    event.engine = messenger->engine;
    event.ok = messenger->engine != nullptr;
  }
  const bool available = event.ok;
  internal::Record(std::move(event));
  return available;
}

FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data, size_t data_size) {
  Event event;
  event.kind = EventKind::kResponse;
  event.messenger = messenger;
  // Copied now; the response function below gets the product's bytes while they are still valid.
  if (data != nullptr) event.bytes.assign(data, data + data_size);
  event.data = data;
  if (messenger == nullptr) {
    event.detail = "no-messenger";
    internal::Record(std::move(event));
    return;
  }
  // Declared before the lock so that the caller's response function is destroyed after unlocking.
  std::unique_ptr<FlutterDesktopMessageResponseHandle> taken;
  std::lock_guard<std::recursive_mutex> guard(messenger->mutex);
  FlutterDesktopEngine* engine = messenger->engine;
  event.engine = engine;
  if (engine == nullptr) {
    event.detail = "engine-gone";
  } else if (auto found = engine->responses.find(handle); found == engine->responses.end()) {
    // Handles are looked up, never dereferenced: a second response on one handle, or a handle
    // this engine never gave out, is caught here instead of reading freed memory.
    event.detail = "unknown-handle";
  } else {
    taken = std::move(found->second);
    engine->responses.erase(found);
    event.channel = taken->channel;
    event.id = taken->id;
    event.ok = true;
  }
  internal::Record(std::move(event));
  if (taken && taken->on_response) taken->on_response(data, data_size);
}

}  // extern "C"
