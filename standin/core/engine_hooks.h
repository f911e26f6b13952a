// Hook interface between the stand-in engine's portable core and whoever drives it.
//
// The core (standin/core/) implements all 23 functions of the engine library (embedding/
// flutter_desktop.h) portably: engines, view controllers and views in a portable form, the
// reference-counted messenger with its lock and availability flag, one-shot response handles,
// per-channel callbacks, pending replies of messages sent with a reply, registrars and the
// next-frame callback. It decides nothing on its own that a test or a scenario might want to
// decide, and it never calls the product spontaneously. Two kinds of code sit on top of it:
//
//  * the Windows half of the stand-in (standin/engine/): the real child view window, the first
//    frame after paint, the scenario-driven "Dart side" and the JSON-lines transcript;
//  * the Linux unit tests of the embedding (tests/embedding/).
//
// Both use the same three channels:
//
//  (a) OBSERVE: every call the product makes into the library, and every action taken through the
//      driver API (standin/core/core.h), is turned into one `Event` and handed to
//      `EngineHooks::OnEvent`. The same events are kept in the core's log (Core::Events()).
//  (b) DECIDE: the virtual `Allow*`, `CreateViewWindow`, `HandleTopLevelWindowMessage` and
//      `DpiForMonitor` operations below are consulted at the matching call and may override the
//      core's default answer. The driver API also has one-shot refusals (Core::RefuseNext...).
//  (c) DRIVE: the product is driven only through standin::Core (core.h): deliver an incoming
//      message to a channel's registered callback with a fresh one-shot response handle (its
//      response bytes come back to a std::function), fire the pending next-frame callback, ask
//      whether a channel has a callback, answer a pending reply of a message the product sent
//      with FlutterDesktopMessengerSendWithReply.
//
// Threads. The product calls the library on its UI thread, except for the response path of an
// incoming message (Lock, IsAvailable, SendResponse, Unlock, Release), which may come from any
// thread. Hooks run on the thread of the call that triggered them, so `OnEvent` must be thread
// safe. The messenger lock (a recursive mutex) may be held while a hook runs; a hook must
// therefore never wait for another thread that could be taking that lock. Driving calls
// (Core::Deliver, Core::AnswerReply, Core::FireNextFrame) call into the product and belong on the
// product's UI thread, outside any hook (OnEngineShutdown excepted): from a hook, post them (e.g.
// PostMessage or a timer) and run them later. The core never holds any of its locks while it calls
// the product.
//
// Lifetime. The hooks object is not owned by the core; it must stay alive until it is replaced
// with SetEngineHooks(nullptr) or another object.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "embedding/flutter_desktop.h"

namespace standin {

// What the product passed to FlutterDesktopEngineCreate, copied out of the properties record.
// Paths are converted from the platform's wide characters to UTF-8.
struct EngineInfo {
  std::string assets_path;
  std::string icu_data_path;
  std::string aot_library_path;
  std::string entry_point;
  bool entry_point_null = false;     // the record carried a null entry-point pointer
  int32_t argument_count = 0;        // argc exactly as passed
  bool argument_array_null = false;  // argv was null
  std::vector<std::string> arguments;
  std::array<int32_t, 4> engine_options{};
};

enum class EventKind {
  // Process-wide functions.
  kResyncOutputStreams,  // FlutterDesktopResyncOutputStreams; the core itself re-opens nothing
  kDpiQuery,             // FlutterDesktopGetDpiForMonitor: monitor, dpi (the answer given)

  // Engine functions. `engine` is the engine concerned.
  kEngineCreate,          // engine (null when refused or properties were null), ok = created, info;
                          // `properties` is the raw record (see Event::properties)
  kEngineGetMessenger,    // engine, pointer = messenger returned
  kEngineDestroy,         // engine; ok = destroyed; detail: "api" (FlutterDesktopEngineDestroy),
                          // "controller" (destroyed with its view controller), "refused-controller"
                          // (the controller creation that took it was refused); not destroyed:
                          // "owned-by-controller" (the product still owns a controller over it)
  kRegistrarRequest,      // engine, channel = plug-in name, pointer = registrar returned
  kReloadSystemFonts,     // engine
  kSetNextFrameCallback,  // engine, pointer = user data; ok = an earlier registration was replaced
  kNextFrameFired,        // engine, pointer = user data (driver: Core::FireNextFrame)

  // View controller and view.
  kViewControllerCreate,   // engine, width, height; ok = created; controller, hwnd = view window
  kEngineRun,              // engine, controller: the engine was started by its new controller
  kViewControllerGetView,  // controller, pointer = view returned
  kViewControllerDestroy,  // controller, engine, hwnd
  kForceRedraw,            // controller, engine
  kTopLevelMessage,  // controller, hwnd, message, wparam, lparam; ok = consumed; result (if ok)
  kViewGetHwnd,      // hwnd returned

  // Messenger, as called by the product.
  kMessengerSend,         // engine, channel, bytes, wants_reply; ok = accepted; id = reply id when
                          // accepted with a reply (use it with Core::AnswerReply)
  kSetCallback,           // engine, channel; ok = registered (false: cleared); pointer = user data
  kMessengerAddRef,       // messenger
  kMessengerRelease,      // messenger; id = references left
  kMessengerLock,         // messenger
  kMessengerUnlock,       // messenger
  kMessengerIsAvailable,  // messenger; ok = the answer given
  kResponse,  // product's FlutterDesktopMessengerSendResponse: channel, bytes, id = response id;
              // ok = delivered to the response function; detail when not: "engine-gone",
              // "unknown-handle" (second response on one handle, or a foreign handle)

  // Driver actions (standin::Core).
  kMessageDelivered,  // engine, channel, bytes, id = response id of the new response handle
  kReplyAnswered,     // engine, channel (of the original message), id, bytes = the reply
  kReplyAbandoned,    // engine, channel, id: the engine went away before the reply was answered;
                      // the product's reply callback is called once with no bytes (null, 0)
};

// Name of an event kind, e.g. "kMessengerSend" -> "messenger-send"; stable, for transcripts.
const char* EventKindName(EventKind kind);

// One observed call or driver action. Fields not listed for a kind keep their defaults. A call
// that names an engine which is not alive is recorded with ok = false and detail "null-engine"
// (the handle was null) or "not-live" (never created, or destroyed), and answered with null /
// false / nothing. Likewise a null view-controller handle given to GetView, Destroy, ForceRedraw
// or HandleTopLevelWindowProc is recorded with detail "null-controller" and answered with null /
// false / nothing.
struct Event {
  uint64_t sequence = 0;  // strictly increasing over the process
  EventKind kind = EventKind::kResyncOutputStreams;
  FlutterDesktopEngineRef engine = nullptr;
  FlutterDesktopViewControllerRef controller = nullptr;
  FlutterDesktopMessengerRef messenger = nullptr;
  std::string channel;
  std::vector<uint8_t> bytes;
  bool wants_reply = false;
  bool ok = false;
  uint64_t id = 0;
  int width = 0;
  int height = 0;
  HWND hwnd = nullptr;
  HMONITOR monitor = nullptr;
  UINT dpi = 0;
  UINT message = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  LRESULT result = 0;
  const void* pointer = nullptr;
  // kMessengerSend, kResponse: where the product's bytes were. Only an address to compare (e.g.
  // whether a sender reuses its buffer): the library copies the bytes into `bytes` during the
  // call, so the product may overwrite them once the call returns.
  const uint8_t* data = nullptr;
  std::string detail;
  std::optional<EngineInfo> info;  // kEngineCreate
  // kEngineCreate only, and only during OnEvent: the record exactly as the product passed it.
  // Null in the stored log.
  const FlutterDesktopEngineProperties* properties = nullptr;
};

class EngineHooks {
 public:
  virtual ~EngineHooks() = default;

  // Every call and driver action, in order per thread. May run on any thread (see above).
  virtual void OnEvent(const Event& event) { (void)event; }

  // FlutterDesktopEngineCreate, with what the record said: false refuses (the call returns null,
  // as a real engine does when its bundle cannot be loaded).
  virtual bool AllowEngineCreate(const EngineInfo& info) {
    (void)info;
    return true;
  }

  // FlutterDesktopViewControllerCreate: false refuses the creation; the library then destroys
  // the engine it was given (it took it either way) and returns null.
  virtual bool AllowViewControllerCreate(int width, int height) {
    (void)width;
    (void)height;
    return true;
  }

  // FlutterDesktopMessengerSend / SendWithReply: false refuses the message (the call returns
  // false; a refused reply is never called).
  virtual bool AllowSend(const std::string& channel, const std::vector<uint8_t>& message,
                         bool wants_reply) {
    (void)channel;
    (void)message;
    (void)wants_reply;
    return true;
  }

  // Called while a view controller is created (after the engine is known to run) to make the
  // view's window. No value: the core's default, a distinct fake non-null handle on Linux and
  // null on Windows. The returned window belongs to the hooks; DestroyViewWindow gives it back.
  virtual std::optional<HWND> CreateViewWindow(FlutterDesktopEngineRef engine, int width,
                                               int height) {
    (void)engine;
    (void)width;
    (void)height;
    return std::nullopt;
  }
  // Called when the controller is destroyed, with what CreateViewWindow gave (only when it gave a
  // value).
  virtual void DestroyViewWindow(HWND view_window) { (void)view_window; }

  // Called as an engine starts shutting down (FlutterDesktopEngineDestroy, the destruction of its
  // view controller, or a refused controller creation), while it is still whole: its channel
  // callbacks, response handles, pending replies and next-frame callback are all in place, as
  // they are for a real engine that still has messages in flight. Runs on the UI thread with no
  // lock of the core held, so unlike the other hooks it may drive the product through Core
  // (Deliver, AnswerReply, FireNextFrame); the product must then not destroy this engine again.
  virtual void OnEngineShutdown(FlutterDesktopEngineRef engine) { (void)engine; }

  // FlutterDesktopViewControllerHandleTopLevelWindowProc: true consumes the message, and
  // *result is what the product gets back. The default consumes nothing and leaves *result alone.
  virtual bool HandleTopLevelWindowMessage(FlutterDesktopViewControllerRef controller, HWND hwnd,
                                           UINT message, WPARAM wparam, LPARAM lparam,
                                           LRESULT* result) {
    (void)controller;
    (void)hwnd;
    (void)message;
    (void)wparam;
    (void)lparam;
    (void)result;
    return false;
  }

  // FlutterDesktopGetDpiForMonitor. No value: the default, which on Windows is the monitor's
  // effective DPI (GetDpiForMonitor from shcore, 96 when that fails) and 96 elsewhere.
  virtual std::optional<UINT> DpiForMonitor(HMONITOR monitor) {
    (void)monitor;
    return std::nullopt;
  }
};

// Installs the hooks (not owned); null restores the defaults. Safe to call from any thread, but a
// hook that is running on another thread at that moment may still finish its call.
void SetEngineHooks(EngineHooks* hooks);
EngineHooks* GetEngineHooks();

}  // namespace standin
