// Process-wide registry, event log, hooks and the driver API of the stand-in engine's core.
#include "standin/core/core.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <mutex>
#include <utility>

#include "standin/core/state.h"

namespace standin {
namespace {

struct Registry {
  std::mutex mutex;
  std::vector<FlutterDesktopEngine*> engines;  // creation order; the back one is current

  std::mutex log_mutex;
  // Bounded: in a long-running process every window message offered to the engine is an event.
  std::deque<Event> log;

  std::atomic<uint64_t> next_id{1};
  std::atomic<uint64_t> next_sequence{1};
  std::atomic<int> refused_sends{0};
  std::atomic<bool> refuse_view_controller{false};
  std::atomic<size_t> live_messengers{0};
  std::atomic<EngineHooks*> hooks{nullptr};
};

Registry& registry() {
  // Never destroyed: the library may be called while static objects of the process are torn down.
  static Registry* instance = new Registry;
  return *instance;
}

// Caller holds registry().mutex.
FlutterDesktopEngine* ResolveLocked(FlutterDesktopEngineRef engine) {
  auto& engines = registry().engines;
  if (engine == nullptr) return engines.empty() ? nullptr : engines.back();
  return std::find(engines.begin(), engines.end(), engine) != engines.end() ? engine : nullptr;
}

FlutterDesktopEngine* Resolve(FlutterDesktopEngineRef engine) {
  std::lock_guard<std::mutex> guard(registry().mutex);
  return ResolveLocked(engine);
}

}  // namespace

const char* EventKindName(EventKind kind) {
  switch (kind) {
    case EventKind::kResyncOutputStreams: return "resync-output-streams";
    case EventKind::kDpiQuery: return "dpi-query";
    case EventKind::kEngineCreate: return "engine-create";
    case EventKind::kEngineGetMessenger: return "engine-get-messenger";
    case EventKind::kEngineDestroy: return "engine-destroy";
    case EventKind::kRegistrarRequest: return "registrar-request";
    case EventKind::kReloadSystemFonts: return "reload-system-fonts";
    case EventKind::kSetNextFrameCallback: return "set-next-frame-callback";
    case EventKind::kNextFrameFired: return "next-frame-fired";
    case EventKind::kViewControllerCreate: return "view-controller-create";
    case EventKind::kEngineRun: return "engine-run";
    case EventKind::kViewControllerGetView: return "view-controller-get-view";
    case EventKind::kViewControllerDestroy: return "view-controller-destroy";
    case EventKind::kForceRedraw: return "force-redraw";
    case EventKind::kTopLevelMessage: return "top-level-message";
    case EventKind::kViewGetHwnd: return "view-get-hwnd";
    case EventKind::kMessengerSend: return "messenger-send";
    case EventKind::kSetCallback: return "set-callback";
    case EventKind::kMessengerAddRef: return "messenger-add-ref";
    case EventKind::kMessengerRelease: return "messenger-release";
    case EventKind::kMessengerLock: return "messenger-lock";
    case EventKind::kMessengerUnlock: return "messenger-unlock";
    case EventKind::kMessengerIsAvailable: return "messenger-is-available";
    case EventKind::kResponse: return "response";
    case EventKind::kMessageDelivered: return "message-delivered";
    case EventKind::kReplyAnswered: return "reply-answered";
    case EventKind::kReplyAbandoned: return "reply-abandoned";
  }
  return "unknown";
}

void SetEngineHooks(EngineHooks* hooks) { registry().hooks.store(hooks); }
EngineHooks* GetEngineHooks() { return registry().hooks.load(); }

namespace internal {

void Record(Event event) {
  Registry& r = registry();
  event.sequence = r.next_sequence.fetch_add(1);
  if (EngineHooks* hooks = r.hooks.load()) hooks->OnEvent(event);
  event.properties = nullptr;  // only valid during the call it was recorded in
  std::lock_guard<std::mutex> guard(r.log_mutex);
  r.log.push_back(std::move(event));
  if (r.log.size() > Core::kLogLimit) r.log.pop_front();
}

uint64_t NextId() { return registry().next_id.fetch_add(1); }

void RegisterEngine(FlutterDesktopEngine* engine) {
  std::lock_guard<std::mutex> guard(registry().mutex);
  registry().engines.push_back(engine);
}

void UnregisterEngine(FlutterDesktopEngine* engine) {
  std::lock_guard<std::mutex> guard(registry().mutex);
  auto& engines = registry().engines;
  engines.erase(std::remove(engines.begin(), engines.end(), engine), engines.end());
}

bool IsLiveEngine(FlutterDesktopEngine* engine) {
  return engine != nullptr && Resolve(engine) == engine;
}

bool TakeSendRefusal() {
  std::atomic<int>& left = registry().refused_sends;
  int current = left.load();
  while (current > 0) {
    if (left.compare_exchange_weak(current, current - 1)) return true;
  }
  return false;
}

bool TakeViewControllerRefusal() { return registry().refuse_view_controller.exchange(false); }

void MessengerCreated() { registry().live_messengers.fetch_add(1); }
void MessengerFreed() { registry().live_messengers.fetch_sub(1); }

}  // namespace internal

Core& Core::Get() {
  static Core* instance = new Core;
  return *instance;
}

void Core::Reset() {
  Registry& r = registry();
  r.hooks.store(nullptr);
  r.refused_sends.store(0);
  r.refuse_view_controller.store(false);
  std::lock_guard<std::mutex> guard(r.log_mutex);
  r.log.clear();
}

std::vector<Event> Core::Events() const {
  std::lock_guard<std::mutex> guard(registry().log_mutex);
  return std::vector<Event>(registry().log.begin(), registry().log.end());
}

std::vector<Event> Core::EventsOf(EventKind kind) const {
  std::vector<Event> matching;
  std::lock_guard<std::mutex> guard(registry().log_mutex);
  for (const Event& event : registry().log) {
    if (event.kind == kind) matching.push_back(event);
  }
  return matching;
}

void Core::ClearEvents() {
  std::lock_guard<std::mutex> guard(registry().log_mutex);
  registry().log.clear();
}

void Core::RefuseNextSends(int count) { registry().refused_sends.store(count > 0 ? count : 0); }
void Core::RefuseNextViewController() { registry().refuse_view_controller.store(true); }

FlutterDesktopEngineRef Core::CurrentEngine() const { return Resolve(nullptr); }

size_t Core::LiveEngineCount() const {
  std::lock_guard<std::mutex> guard(registry().mutex);
  return registry().engines.size();
}

size_t Core::LiveMessengerCount() const { return registry().live_messengers.load(); }

long Core::MessengerReferences(FlutterDesktopEngineRef engine) const {
  std::lock_guard<std::mutex> guard(registry().mutex);
  FlutterDesktopEngine* live = ResolveLocked(engine);
  return live ? live->messenger->references.load() : -1;
}

std::optional<EngineInfo> Core::Info(FlutterDesktopEngineRef engine) const {
  std::lock_guard<std::mutex> guard(registry().mutex);
  FlutterDesktopEngine* live = ResolveLocked(engine);
  if (!live) return std::nullopt;
  return live->info;
}

std::optional<HWND> Core::ViewWindow(FlutterDesktopEngineRef engine) const {
  std::lock_guard<std::mutex> guard(registry().mutex);
  FlutterDesktopEngine* live = ResolveLocked(engine);
  if (!live || !live->controller) return std::nullopt;
  return live->controller->view.window;
}

bool Core::IsRunning(FlutterDesktopEngineRef engine) const {
  std::lock_guard<std::mutex> guard(registry().mutex);
  FlutterDesktopEngine* live = ResolveLocked(engine);
  return live && live->controller;
}

bool Core::HasCallback(const std::string& channel, FlutterDesktopEngineRef engine) const {
  FlutterDesktopEngine* live = Resolve(engine);
  if (!live) return false;
  std::lock_guard<std::recursive_mutex> guard(live->messenger->mutex);
  return live->callbacks.count(channel) != 0;
}

DeliverOutcome Core::Deliver(const std::string& channel, const std::vector<uint8_t>& message,
                             ResponseFunction on_response, FlutterDesktopEngineRef engine) {
  FlutterDesktopMessenger* messenger = nullptr;
  {
    std::lock_guard<std::mutex> guard(registry().mutex);
    FlutterDesktopEngine* live = ResolveLocked(engine);
    if (!live) return DeliverOutcome::kNoEngine;
    messenger = live->messenger;
    // Our own reference: the product may destroy the engine from inside its callback, and the
    // messenger must stay valid until the call has returned.
    messenger->references.fetch_add(1);
  }

  internal::ChannelCallback target;
  FlutterDesktopMessage record{};
  uint64_t response_id = 0;
  FlutterDesktopEngine* live = nullptr;
  DeliverOutcome outcome = DeliverOutcome::kDelivered;
  {
    std::lock_guard<std::recursive_mutex> guard(messenger->mutex);
    live = messenger->engine;
    if (!live) {
      outcome = DeliverOutcome::kNoEngine;
    } else if (auto found = live->callbacks.find(channel); found == live->callbacks.end()) {
      outcome = DeliverOutcome::kNoCallback;
    } else {
      target = found->second;
      auto handle = std::make_unique<FlutterDesktopMessageResponseHandle>();
      handle->id = response_id = internal::NextId();
      handle->channel = channel;
      handle->on_response = std::move(on_response);
      record.response_handle = handle.get();
      live->responses.emplace(handle.get(), std::move(handle));
    }
  }
  if (outcome != DeliverOutcome::kDelivered) {
    // Outside the lock: ours may be the last reference, and the mutex lives in the messenger.
    internal::ReleaseMessenger(messenger);
    return outcome;
  }

  Event event;
  event.kind = EventKind::kMessageDelivered;
  event.engine = live;
  event.messenger = messenger;
  event.channel = channel;
  event.bytes = message;
  event.id = response_id;
  internal::Record(std::move(event));

  // The bytes live in our copy for the duration of the call, as an engine's buffer would.
  const std::vector<uint8_t> bytes = message;
  record.struct_size = sizeof(FlutterDesktopMessage);
  record.channel = channel.c_str();
  record.message = bytes.empty() ? nullptr : bytes.data();
  record.message_size = bytes.size();
  target.callback(messenger, &record, target.user_data);

  internal::ReleaseMessenger(messenger);
  return DeliverOutcome::kDelivered;
}

size_t Core::OutstandingResponses(FlutterDesktopEngineRef engine) const {
  FlutterDesktopEngine* live = Resolve(engine);
  if (!live) return 0;
  std::lock_guard<std::recursive_mutex> guard(live->messenger->mutex);
  return live->responses.size();
}

std::vector<PendingReplyInfo> Core::PendingReplies(FlutterDesktopEngineRef engine) const {
  std::vector<PendingReplyInfo> pending;
  FlutterDesktopEngine* live = Resolve(engine);
  if (!live) return pending;
  std::lock_guard<std::recursive_mutex> guard(live->messenger->mutex);
  for (const auto& [id, reply] : live->pending_replies) {
    pending.push_back(PendingReplyInfo{id, reply.channel, reply.message});
  }
  return pending;
}

bool Core::AnswerReply(uint64_t id, const uint8_t* data, size_t size) {
  std::vector<FlutterDesktopEngine*> engines;
  {
    std::lock_guard<std::mutex> guard(registry().mutex);
    engines = registry().engines;
  }
  for (FlutterDesktopEngine* engine : engines) {
    internal::PendingReply reply;
    {
      std::lock_guard<std::recursive_mutex> guard(engine->messenger->mutex);
      auto found = engine->pending_replies.find(id);
      if (found == engine->pending_replies.end()) continue;
      reply = std::move(found->second);
      engine->pending_replies.erase(found);
    }
    Event event;
    event.kind = EventKind::kReplyAnswered;
    event.engine = engine;
    event.channel = reply.channel;
    event.id = id;
    if (data != nullptr) event.bytes.assign(data, data + size);
    internal::Record(std::move(event));
    reply.reply(data, size, reply.user_data);
    return true;
  }
  return false;
}

bool Core::HasNextFrameCallback(FlutterDesktopEngineRef engine) const {
  FlutterDesktopEngine* live = Resolve(engine);
  if (!live) return false;
  std::lock_guard<std::recursive_mutex> guard(live->messenger->mutex);
  return live->next_frame != nullptr;
}

bool Core::FireNextFrame(FlutterDesktopEngineRef engine) {
  FlutterDesktopEngine* live = Resolve(engine);
  if (!live) return false;
  FlutterDesktopOnNextFrameCallback callback = nullptr;
  void* user_data = nullptr;
  {
    std::lock_guard<std::recursive_mutex> guard(live->messenger->mutex);
    callback = std::exchange(live->next_frame, nullptr);
    user_data = std::exchange(live->next_frame_user_data, nullptr);
  }
  if (!callback) return false;
  Event event;
  event.kind = EventKind::kNextFrameFired;
  event.engine = live;
  event.pointer = user_data;
  internal::Record(std::move(event));
  callback(user_data);
  return true;
}

}  // namespace standin
