// Internal objects behind the stand-in engine's opaque handles, and the process-wide registry.
// Only the core's own sources include this header.
//
// Locking. Each messenger has one recursive mutex: it is the lock the product takes with
// FlutterDesktopMessengerLock, and it also guards everything of the engine that the response path
// can touch from another thread (the engine pointer that makes the messenger available, channel
// callbacks, response handles, pending replies, the next-frame callback). Recursive, because the
// product calls SendResponse while holding it. The registry mutex guards the list of live
// engines; it is never taken while a messenger mutex is held. The log mutex is innermost and
// never held while anything else runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "embedding/flutter_desktop.h"
#include "standin/core/core.h"
#include "standin/core/engine_hooks.h"

struct FlutterDesktopMessageResponseHandle {
  uint64_t id = 0;
  std::string channel;
  standin::ResponseFunction on_response;
};

struct FlutterDesktopMessenger {
  std::atomic<long> references{1};  // the engine's own reference
  std::recursive_mutex mutex;
  FlutterDesktopEngine* engine = nullptr;  // null once the engine is gone: not available
};

struct FlutterDesktopPluginRegistrar {
  FlutterDesktopEngine* engine = nullptr;
  std::string plugin_name;
};

struct FlutterDesktopView {
  FlutterDesktopViewController* controller = nullptr;
  HWND window = nullptr;
  bool window_from_hooks = false;
};

struct FlutterDesktopViewController {
  FlutterDesktopEngine* engine = nullptr;
  FlutterDesktopView view;
  int width = 0;
  int height = 0;
};

namespace standin::internal {

struct ChannelCallback {
  FlutterDesktopMessageCallback callback = nullptr;
  void* user_data = nullptr;
};

struct PendingReply {
  uint64_t id = 0;
  std::string channel;
  std::vector<uint8_t> message;
  FlutterDesktopBinaryReply reply = nullptr;
  void* user_data = nullptr;
};

}  // namespace standin::internal

struct FlutterDesktopEngine {
  standin::EngineInfo info;
  FlutterDesktopMessenger* messenger = nullptr;  // holds one reference

  // Guarded by messenger->mutex.
  std::map<std::string, standin::internal::ChannelCallback> callbacks;
  std::map<const FlutterDesktopMessageResponseHandle*,
           std::unique_ptr<FlutterDesktopMessageResponseHandle>>
      responses;
  std::map<uint64_t, standin::internal::PendingReply> pending_replies;
  FlutterDesktopOnNextFrameCallback next_frame = nullptr;
  void* next_frame_user_data = nullptr;

  // UI thread only.
  std::map<std::string, std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars;
  FlutterDesktopViewController* controller = nullptr;
};

namespace standin::internal {

// Appends to the log and hands the event to the hooks.
void Record(Event event);
uint64_t NextId();

// The registry of live engines.
void RegisterEngine(FlutterDesktopEngine* engine);
void UnregisterEngine(FlutterDesktopEngine* engine);
bool IsLiveEngine(FlutterDesktopEngine* engine);

// One-shot refusals set through Core; each call consumes one.
bool TakeSendRefusal();
bool TakeViewControllerRefusal();

void MessengerCreated();
void MessengerFreed();

// Drops one messenger reference and frees it at zero; returns the references left.
long ReleaseMessenger(FlutterDesktopMessenger* messenger);

// Takes the engine apart: marks its messenger unavailable, frees callbacks, response handles and
// registrars, calls every unanswered reply once with no bytes, drops the engine's messenger
// reference. `how` is the kEngineDestroy detail.
void DestroyEngine(FlutterDesktopEngine* engine, const char* how);

std::string WideToUtf8(const wchar_t* text);

}  // namespace standin::internal
