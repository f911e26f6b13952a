// Engine, view-controller, view and process-wide functions of the stand-in engine library.
#include <memory>
#include <mutex>
#include <utility>

#include "embedding/flutter_desktop.h"
#include "standin/core/state.h"

#ifdef _WIN32
#include <shellscalingapi.h>
#endif

using standin::Event;
using standin::EventKind;
using standin::GetEngineHooks;
namespace internal = standin::internal;

namespace standin::internal {

void DestroyEngine(FlutterDesktopEngine* engine, const char* how) {
  if (EngineHooks* hooks = GetEngineHooks()) hooks->OnEngineShutdown(engine);
  UnregisterEngine(engine);
  FlutterDesktopMessenger* messenger = engine->messenger;

  decltype(engine->callbacks) callbacks;
  decltype(engine->responses) responses;
  decltype(engine->pending_replies) pending;
  {
    std::lock_guard<std::recursive_mutex> guard(messenger->mutex);
    // From here on the messenger reports itself unavailable, so a response that races with this
    // shutdown on another thread either completed before or becomes a no-op.
    messenger->engine = nullptr;
    callbacks.swap(engine->callbacks);
    responses.swap(engine->responses);
    pending.swap(engine->pending_replies);
    engine->next_frame = nullptr;
    engine->next_frame_user_data = nullptr;
  }

  Event event;
  event.kind = EventKind::kEngineDestroy;
  event.engine = engine;
  event.messenger = messenger;
  event.ok = true;
  event.detail = how;
  Record(std::move(event));

  // A reply accepted with SendWithReply is promised exactly one call; the product frees what it
  // allocated for the reply in that call, so an engine going away answers with nothing rather
  // than leaving it pending forever.
  for (auto& [id, reply] : pending) {
    Event abandoned;
    abandoned.kind = EventKind::kReplyAbandoned;
    abandoned.engine = engine;
    abandoned.channel = reply.channel;
    abandoned.id = id;
    Record(std::move(abandoned));
    reply.reply(nullptr, 0, reply.user_data);
  }

  responses.clear();
  ReleaseMessenger(messenger);
  delete engine;
}

}  // namespace standin::internal

namespace {

standin::EngineInfo CopyInfo(const FlutterDesktopEngineProperties& properties) {
  standin::EngineInfo info;
  info.assets_path = internal::WideToUtf8(properties.assets_path);
  info.icu_data_path = internal::WideToUtf8(properties.icu_data_path);
  info.aot_library_path = internal::WideToUtf8(properties.aot_library_path);
  info.entry_point_null = properties.dart_entrypoint == nullptr;
  if (properties.dart_entrypoint) info.entry_point = properties.dart_entrypoint;
  info.argument_count = properties.dart_entrypoint_argc;
  info.argument_array_null = properties.dart_entrypoint_argv == nullptr;
  if (properties.dart_entrypoint_argv) {
    for (int32_t i = 0; i < properties.dart_entrypoint_argc; ++i) {
      const char* argument = properties.dart_entrypoint_argv[i];
      info.arguments.emplace_back(argument ? argument : "");
    }
  }
  for (size_t i = 0; i < info.engine_options.size(); ++i) {
    info.engine_options[i] = properties.engine_options[i];
  }
  return info;
}

// The window of a view when no hooks make one: a distinct non-null token on Linux, where nothing
// ever dereferences it, and null on Windows, where the product would hand it to user32.
HWND DefaultViewWindow(FlutterDesktopView* view) {
#ifdef _WIN32
  (void)view;
  return nullptr;
#else
  return reinterpret_cast<HWND>(view);
#endif
}

UINT DefaultDpi(HMONITOR monitor) {
#ifdef _WIN32
  UINT x = 0;
  UINT y = 0;
  if (monitor != nullptr && SUCCEEDED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &x, &y)) &&
      x != 0) {
    return x;
  }
#else
  (void)monitor;
#endif
  return 96;
}

Event EngineEvent(EventKind kind, FlutterDesktopEngineRef engine) {
  Event event;
  event.kind = kind;
  event.engine = engine;
  return event;
}

// Calls for an engine that is not (or no longer) alive are recorded and answered with nothing.
// A null handle is told apart from a dead one: a real library would crash on it, so the tests
// look for it by name.
bool CheckEngine(FlutterDesktopEngineRef engine, Event& event) {
  if (internal::IsLiveEngine(engine)) return true;
  event.detail = engine == nullptr ? "null-engine" : "not-live";
  internal::Record(std::move(event));
  return false;
}

// The same for a null view-controller handle, which a real library would crash on as well.
bool CheckController(FlutterDesktopViewControllerRef controller, Event& event) {
  if (controller != nullptr) return true;
  event.detail = "null-controller";
  internal::Record(std::move(event));
  return false;
}

}  // namespace

extern "C" {

FLUTTER_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* properties) {
  Event event;
  event.kind = EventKind::kEngineCreate;
  event.properties = properties;
  if (properties == nullptr) {
    event.detail = "null-properties";
    internal::Record(std::move(event));
    return nullptr;
  }
  standin::EngineInfo info = CopyInfo(*properties);
  standin::EngineHooks* hooks = GetEngineHooks();
  if (hooks && !hooks->AllowEngineCreate(info)) {
    event.detail = "refused";
    event.info = std::move(info);
    internal::Record(std::move(event));
    return nullptr;
  }
  auto* engine = new FlutterDesktopEngine;
  engine->info = info;
  engine->messenger = new FlutterDesktopMessenger;
  engine->messenger->engine = engine;
  internal::MessengerCreated();
  internal::RegisterEngine(engine);

  event.engine = engine;
  event.messenger = engine->messenger;
  event.ok = true;
  event.info = std::move(info);
  internal::Record(std::move(event));
  return engine;
}

FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine) {
  Event event = EngineEvent(EventKind::kEngineGetMessenger, engine);
  if (!CheckEngine(engine, event)) return nullptr;
  event.pointer = engine->messenger;
  event.messenger = engine->messenger;
  event.ok = true;
  internal::Record(std::move(event));
  return engine->messenger;
}

FLUTTER_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine) {
  Event event = EngineEvent(EventKind::kEngineDestroy, engine);
  event.detail = "api";
  if (!CheckEngine(engine, event)) return false;
  if (engine->controller != nullptr) {
    // The engine belongs to its view controller now; destroying it here would leave the
    // controller dangling.
    event.detail = "owned-by-controller";
    internal::Record(std::move(event));
    return false;
  }
  internal::DestroyEngine(engine, "api");
  return true;
}

FLUTTER_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine, const char* plugin_name) {
  Event event = EngineEvent(EventKind::kRegistrarRequest, engine);
  event.channel = plugin_name ? plugin_name : "";
  if (!CheckEngine(engine, event)) return nullptr;
  std::unique_ptr<FlutterDesktopPluginRegistrar>& slot = engine->registrars[event.channel];
  if (!slot) {
    slot = std::make_unique<FlutterDesktopPluginRegistrar>();
    slot->engine = engine;
    slot->plugin_name = event.channel;
  }
  event.pointer = slot.get();
  event.ok = true;
  internal::Record(std::move(event));
  return slot.get();
}

FLUTTER_EXPORT void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine) {
  Event event = EngineEvent(EventKind::kReloadSystemFonts, engine);
  if (!CheckEngine(engine, event)) return;
  event.ok = true;
  internal::Record(std::move(event));
}

FLUTTER_EXPORT void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopOnNextFrameCallback callback, void* user_data) {
  Event event = EngineEvent(EventKind::kSetNextFrameCallback, engine);
  event.pointer = user_data;
  if (!CheckEngine(engine, event)) return;
  {
    std::lock_guard<std::recursive_mutex> guard(engine->messenger->mutex);
    event.ok = engine->next_frame != nullptr;
    engine->next_frame = callback;
    engine->next_frame_user_data = user_data;
  }
  internal::Record(std::move(event));
}

FLUTTER_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height, FlutterDesktopEngineRef engine) {
  Event event = EngineEvent(EventKind::kViewControllerCreate, engine);
  event.width = width;
  event.height = height;
  if (!CheckEngine(engine, event)) return nullptr;
  if (engine->controller != nullptr) {
    event.detail = "engine-has-controller";
    internal::Record(std::move(event));
    return nullptr;
  }
  standin::EngineHooks* hooks = GetEngineHooks();
  const bool refused = internal::TakeViewControllerRefusal() ||
                       (hooks && !hooks->AllowViewControllerCreate(width, height));
  if (refused) {
    event.detail = "refused";
    internal::Record(std::move(event));
    // The controller takes the engine whatever the outcome, so a refused one still frees it.
    internal::DestroyEngine(engine, "refused-controller");
    return nullptr;
  }

  auto* controller = new FlutterDesktopViewController;
  controller->engine = engine;
  controller->width = width;
  controller->height = height;
  controller->view.controller = controller;
  engine->controller = controller;
  std::optional<HWND> window;
  if (hooks) window = hooks->CreateViewWindow(engine, width, height);
  controller->view.window_from_hooks = window.has_value();
  controller->view.window = window ? *window : DefaultViewWindow(&controller->view);

  event.controller = controller;
  event.hwnd = controller->view.window;
  event.ok = true;
  internal::Record(std::move(event));

  Event run = EngineEvent(EventKind::kEngineRun, engine);
  run.controller = controller;
  run.ok = true;
  internal::Record(std::move(run));
  return controller;
}

FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller) {
  Event event;
  event.kind = EventKind::kViewControllerGetView;
  event.controller = controller;
  if (!CheckController(controller, event)) return nullptr;
  FlutterDesktopViewRef view = &controller->view;
  event.engine = controller->engine;
  event.pointer = view;
  event.ok = true;
  internal::Record(std::move(event));
  return view;
}

FLUTTER_EXPORT void FlutterDesktopViewControllerDestroy(
    FlutterDesktopViewControllerRef controller) {
  Event event;
  event.kind = EventKind::kViewControllerDestroy;
  event.controller = controller;
  if (!CheckController(controller, event)) return;
  FlutterDesktopEngine* engine = controller->engine;
  event.engine = engine;
  event.hwnd = controller->view.window;
  event.ok = true;
  internal::Record(std::move(event));

  if (controller->view.window_from_hooks) {
    if (standin::EngineHooks* hooks = GetEngineHooks()) {
      hooks->DestroyViewWindow(controller->view.window);
    }
  }
  engine->controller = nullptr;
  internal::DestroyEngine(engine, "controller");
  delete controller;
}

FLUTTER_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller) {
  Event event;
  event.kind = EventKind::kForceRedraw;
  event.controller = controller;
  if (!CheckController(controller, event)) return;
  event.engine = controller->engine;
  event.ok = true;
  internal::Record(std::move(event));
}

FLUTTER_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result) {
  Event event;
  event.kind = EventKind::kTopLevelMessage;
  event.controller = controller;
  event.hwnd = hwnd;
  event.message = message;
  event.wparam = wparam;
  event.lparam = lparam;
  if (!CheckController(controller, event)) return false;
  event.engine = controller->engine;
  bool consumed = false;
  LRESULT answer = 0;
  if (standin::EngineHooks* hooks = GetEngineHooks()) {
    consumed =
        hooks->HandleTopLevelWindowMessage(controller, hwnd, message, wparam, lparam, &answer);
  }
  // The hooks may write a result without consuming; pass that on too, the caller must not look at
  // it unless we return true.
  if (result) *result = answer;
  event.result = answer;
  event.ok = consumed;
  internal::Record(std::move(event));
  return consumed;
}

FLUTTER_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view) {
  Event event;
  event.kind = EventKind::kViewGetHwnd;
  HWND window = view ? view->window : nullptr;
  if (view) {
    event.controller = view->controller;
    event.engine = view->controller->engine;
  }
  event.hwnd = window;
  event.ok = view != nullptr;
  internal::Record(std::move(event));
  return window;
}

FLUTTER_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor) {
  std::optional<UINT> dpi;
  if (standin::EngineHooks* hooks = GetEngineHooks()) dpi = hooks->DpiForMonitor(monitor);
  Event event;
  event.kind = EventKind::kDpiQuery;
  event.monitor = monitor;
  event.dpi = dpi ? *dpi : DefaultDpi(monitor);
  event.ok = dpi.has_value();
  event.detail = dpi ? "hooks" : "default";
  const UINT answer = event.dpi;
  internal::Record(std::move(event));
  return answer;
}

FLUTTER_EXPORT void FlutterDesktopResyncOutputStreams(void) {
  Event event;
  event.kind = EventKind::kResyncOutputStreams;
  event.ok = true;
  internal::Record(std::move(event));
}

}  // extern "C"
