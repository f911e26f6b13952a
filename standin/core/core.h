// Driver and inspection API of the stand-in engine's core (see engine_hooks.h for the picture).
//
// One process-wide object. Functions that take an engine default to the current engine: the most
// recently created one that is still alive. Functions that call into the product (Deliver,
// AnswerReply, FireNextFrame) run the product's callback synchronously on the calling thread,
// which must be the product's UI thread, and hold none of the core's locks while doing so; the
// product may destroy the engine from inside that callback.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "embedding/flutter_desktop.h"
#include "standin/core/engine_hooks.h"

namespace standin {

// Receives the bytes of the product's response to a delivered message (null and 0 for an empty
// response). Called at most once, on the thread that sent the response, under the messenger lock.
using ResponseFunction = std::function<void(const uint8_t* data, size_t size)>;

enum class DeliverOutcome {
  kDelivered,   // the channel's callback ran
  kNoCallback,  // the channel has no callback; the response function was dropped uncalled
  kNoEngine,    // no such (live) engine
};

struct PendingReplyInfo {
  uint64_t id = 0;
  std::string channel;
  std::vector<uint8_t> message;
};

class Core {
 public:
  static Core& Get();

  // Forgets the event log, the one-shot refusals and the hooks. Live engines and messengers are
  // left alone (their owners still hold them); check LiveEngineCount()/LiveMessengerCount().
  void Reset();

  // The most recent kLogLimit events, oldest first (the hooks see every one).
  static constexpr size_t kLogLimit = 100000;
  std::vector<Event> Events() const;
  std::vector<Event> EventsOf(EventKind kind) const;
  void ClearEvents();

  // The next `count` FlutterDesktopMessengerSend/SendWithReply calls are refused.
  void RefuseNextSends(int count = 1);
  // The next FlutterDesktopViewControllerCreate is refused.
  void RefuseNextViewController();

  FlutterDesktopEngineRef CurrentEngine() const;
  size_t LiveEngineCount() const;
  // Messengers still referenced by an engine or by AddRef; they outlive their engine.
  size_t LiveMessengerCount() const;
  // References held on the engine's messenger (the engine's own one included); -1: no engine.
  long MessengerReferences(FlutterDesktopEngineRef engine = nullptr) const;
  std::optional<EngineInfo> Info(FlutterDesktopEngineRef engine = nullptr) const;
  // The window of the engine's view, when it has a controller.
  std::optional<HWND> ViewWindow(FlutterDesktopEngineRef engine = nullptr) const;
  bool IsRunning(FlutterDesktopEngineRef engine = nullptr) const;

  bool HasCallback(const std::string& channel, FlutterDesktopEngineRef engine = nullptr) const;

  // Hands `message` to the channel's callback with a fresh one-shot response handle. The product
  // answers through FlutterDesktopMessengerSendResponse, which passes the bytes to `on_response`
  // (once). A handle never answered is freed when the engine goes.
  DeliverOutcome Deliver(const std::string& channel, const std::vector<uint8_t>& message,
                         ResponseFunction on_response = nullptr,
                         FlutterDesktopEngineRef engine = nullptr);
  // Response handles delivered and not answered yet.
  size_t OutstandingResponses(FlutterDesktopEngineRef engine = nullptr) const;

  // Messages the product sent with a reply that are not answered yet, oldest first.
  std::vector<PendingReplyInfo> PendingReplies(FlutterDesktopEngineRef engine = nullptr) const;
  // Calls the product's reply callback of pending reply `id` once with (data, size), exactly as
  // given. False when there is no such pending reply (unknown id, answered, or engine gone).
  bool AnswerReply(uint64_t id, const uint8_t* data, size_t size);
  bool AnswerReply(uint64_t id, const std::vector<uint8_t>& reply) {
    return AnswerReply(id, reply.data(), reply.size());
  }

  bool HasNextFrameCallback(FlutterDesktopEngineRef engine = nullptr) const;
  // Runs the registered next-frame callback once and forgets it. False when none is registered.
  bool FireNextFrame(FlutterDesktopEngineRef engine = nullptr);

 private:
  Core() = default;
};

}  // namespace standin
