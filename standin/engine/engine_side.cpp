#include "standin/engine/engine_side.h"

#include <cstdio>

#include "standin/core/core.h"
#include "standin/engine/bundle_check.h"
#include "standin/engine/bundle_paths.h"
#include "standin/engine/dart_side.h"
#include "standin/engine/dart_wire.h"
#include "standin/engine/resource_probe.h"
#include "standin/engine/standin_api.h"
#include "standin/engine/transcript.h"
#include "standin/engine/window_probe.h"

namespace standin {
namespace {

constexpr wchar_t kParkingClass[] = L"ORVALEN_STANDIN_ENGINE";
constexpr UINT kAnswerReplyMessage = WM_APP + 0x52;

// The hooks are installed when the library is loaded, before the product's first call.
struct Installer {
  Installer() { SetEngineHooks(&EngineSide::Get()); }
} installer;

bool KindHasBytes(EventKind kind) {
  return kind == EventKind::kMessengerSend || kind == EventKind::kResponse ||
         kind == EventKind::kMessageDelivered || kind == EventKind::kReplyAnswered;
}

JsonLine EventLine(const Event& e) {
  JsonLine line(EventKindName(e.kind));
  line.Int("seq", static_cast<long long>(e.sequence));
  if (e.engine) line.Str("engine", PointerText(e.engine));
  if (e.controller) line.Str("controller", PointerText(e.controller));
  if (e.messenger) line.Str("messenger", PointerText(e.messenger));
  if (!e.channel.empty()) line.Str("channel", e.channel);
  if (KindHasBytes(e.kind)) {
    line.Hex("bytes", e.bytes.data(), e.bytes.size());
    line.Int("size", static_cast<long long>(e.bytes.size()));
  }
  if (e.kind == EventKind::kMessengerSend) line.Bool("wants_reply", e.wants_reply);
  line.Bool("ok", e.ok);
  if (e.id) line.Int("id", static_cast<long long>(e.id));
  if (e.kind == EventKind::kViewControllerCreate)
    line.Int("width", e.width).Int("height", e.height);
  if (e.hwnd) line.Str("hwnd", PointerText(e.hwnd));
  if (e.kind == EventKind::kDpiQuery) {
    line.Str("monitor", PointerText(e.monitor)).Int("dpi", e.dpi);
  }
  if (e.kind == EventKind::kTopLevelMessage) {
    line.Str("message", MessageName(e.message))
        .Int("number", e.message)
        .Int("wparam", static_cast<long long>(e.wparam))
        .Int("lparam", static_cast<long long>(e.lparam))
        .Bool("consumed", e.ok);
    if (e.ok) line.Int("result", static_cast<long long>(e.result));
  }
  if (e.pointer) line.Str("pointer", PointerText(e.pointer));
  if (!e.detail.empty()) line.Str("detail", e.detail);
  if (e.info) {
    const EngineInfo& info = *e.info;
    line.Str("assets_path", info.assets_path)
        .Str("icu_data_path", info.icu_data_path)
        .Str("aot_library_path", info.aot_library_path)
        .Str("entry_point", info.entry_point)
        .Bool("entry_point_null", info.entry_point_null)
        .Int("argc", info.argument_count)
        .Bool("argv_null", info.argument_array_null)
        .StrList("arguments", info.arguments)
        .IntList("engine_options", {info.engine_options[0], info.engine_options[1],
                                    info.engine_options[2], info.engine_options[3]});
  }
  return line;
}

std::optional<std::string> ReadFile(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return std::nullopt;
  std::string text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

// What the Dart side answers to "onDisplayEvent", by scenario choice.
std::optional<std::vector<uint8_t>> DisplayEventAnswer(DisplayEventReply mode) {
  switch (mode) {
    case DisplayEventReply::kSuccess: return std::vector<uint8_t>{0x00, 0x00};
    case DisplayEventReply::kError: {
      std::vector<uint8_t> bytes{0x01};
      AppendString(bytes, 7, "display-event-rejected");
      AppendString(bytes, 7, "the Dart side refused the event");
      bytes.push_back(0x00);
      return bytes;
    }
    case DisplayEventReply::kNotImplemented: return std::vector<uint8_t>{};
    case DisplayEventReply::kNever: break;
  }
  return std::nullopt;
}

const char* ModeName(DisplayEventReply mode) {
  switch (mode) {
    case DisplayEventReply::kSuccess: return "success";
    case DisplayEventReply::kError: return "error";
    case DisplayEventReply::kNotImplemented: return "notimplemented";
    case DisplayEventReply::kNever: return "never";
  }
  return "?";
}

DWORD WINAPI WatchdogThread(void* parameter) {
  const int ms = static_cast<int>(reinterpret_cast<intptr_t>(parameter));
  Sleep(static_cast<DWORD>(ms));
  Record(JsonLine("watchdog").Int("after_ms", ms));
  TerminateProcess(GetCurrentProcess(), 99);
  return 0;
}

}  // namespace

EngineSide& EngineSide::Get() {
  static EngineSide* side = new EngineSide();  // lives as long as the process
  return *side;
}

void EngineSide::LoadScenarioFrom(const std::wstring& path, bool early,
                                  const std::vector<std::string>& arguments) {
  scenario_path_ = path;
  std::optional<std::string> text = ReadFile(path);
  scenario_ = ParseScenario(text ? *text : std::string(), arguments);
  scenario_found_ = text.has_value();
  if (early && !scenario_.transcript.empty()) {
    SetTranscriptPath(ResolveBundlePath(FromUtf8(scenario_.transcript)));
  }
  JsonLine line("scenario");
  line.Str("path", ToUtf8(path))
      .StrList("arguments", arguments)
      .Bool("found", text.has_value())
      .Int("steps", static_cast<long long>(scenario_.steps.size()))
      .StrList("errors", scenario_.errors)
      .Str("on_display_event", ModeName(scenario_.display_event_reply))
      .Bool("refuse_view_controller", scenario_.refuse_view_controller);
  if (scenario_.dpi) line.Int("dpi", *scenario_.dpi);
  Record(line);
}

const Scenario& EngineSide::EarlyScenario() {
  if (!scenario_loaded_) {
    scenario_loaded_ = true;
    LoadScenarioFrom(ExeDirectory() + L"\\data\\app.so", true);
  }
  return scenario_;
}

void EngineSide::OnEvent(const Event& event) {
  EarlyScenario();
  if (event.kind == EventKind::kRegistrarRequest) {
    std::lock_guard<std::mutex> lock(mutex_);
    registrar_names_[event.pointer] = event.channel;
  }
  JsonLine line = EventLine(event);
  if (event.kind == EventKind::kTopLevelMessage && event.message == WM_DPICHANGED && event.lparam) {
    const RECT* r = reinterpret_cast<const RECT*>(event.lparam);
    line.IntList("rect", {r->left, r->top, r->right, r->bottom});
  }
  if (event.kind == EventKind::kTopLevelMessage && event.message == WM_WINDOWPOSCHANGED &&
      event.lparam) {
    // Where the window went and whether it is visible now: tests look for its first appearance.
    const WINDOWPOS* p = reinterpret_cast<const WINDOWPOS*>(event.lparam);
    line.IntList("windowpos", {p->x, p->y, p->cx, p->cy, static_cast<long long>(p->flags)});
    line.Bool("visible", event.hwnd && IsWindowVisible(event.hwnd));
  }
  // The product's set-up of the process, seen from where the engine needs it.
  if (event.kind == EventKind::kEngineCreate) line.Str("apartment", ApartmentName());
  if (event.kind == EventKind::kResyncOutputStreams) AddConsoleState(line);
  if (event.kind == EventKind::kMessengerSend && event.channel == kAppWindowChannel) {
    if (auto call = DecodeStringCall(event.bytes.data(), event.bytes.size())) {
      line.Str("method", call->method);
      if (call->argument) line.Str("text", *call->argument);
    }
  }
  Record(line);

  switch (event.kind) {
    case EventKind::kEngineCreate:
      if (event.info) {
        // The bundle named by the engine's properties is the program that runs (usually the very
        // file the early settings came from), now with its entry arguments.
        LoadScenarioFrom(ResolveBundlePath(FromUtf8(event.info->aot_library_path)), false,
                         event.info->arguments);
      }
      // Only a scripted run has a deadline; without a scenario the kiosk runs until closed.
      if (scenario_found_) StartWatchdog();
      break;
    case EventKind::kForceRedraw:
    case EventKind::kSetNextFrameCallback:
      if (view_) view_->RequestFrame();
      break;
    case EventKind::kMessengerSend:
      if (event.channel == kAppWindowChannel && event.ok) OnDisplayEventSent(event);
      break;
    default: break;
  }
}

void EngineSide::OnDisplayEventSent(const Event& event) {
  auto call = DecodeStringCall(event.bytes.data(), event.bytes.size());
  if (!call || call->method != "onDisplayEvent") return;
  const std::string text = call->argument.value_or("");
  if (view_) view_->AddEventLine(text);
  if (dart_) dart_->OnDisplayEvent(text);

  std::optional<std::vector<uint8_t>> answer = DisplayEventAnswer(scenario_.display_event_reply);
  JsonLine line("dart-answer");
  line.Str("method", "onDisplayEvent").Str("mode", ModeName(scenario_.display_event_reply));
  if (answer) line.Hex("bytes", answer->data(), answer->size());
  if (!answer) {
    line.Bool("delivered", false).Str("why", "the Dart side never answers");
  } else if (!event.wants_reply) {
    // Sent without a reply callback: the engine has nowhere to deliver the answer.
    line.Bool("delivered", false).Str("why", "sent without reply");
  } else {
    line.Bool("delivered", true).Int("id", static_cast<long long>(event.id));
    // Answering calls into the product, which must not happen inside its own send.
    PostMessageW(parking_window(), kAnswerReplyMessage, static_cast<WPARAM>(event.id), 0);
  }
  Record(line);
}

bool EngineSide::AllowEngineCreate(const EngineInfo& info) {
  const std::string missing = MissingBundleFile(info);
  if (missing.empty()) return true;
  Record(JsonLine("engine-refused").Str("missing", missing));
  return false;
}

bool EngineSide::AllowViewControllerCreate(int width, int height) {
  EarlyScenario();
  if (scenario_.refuse_view_controller && !refusal_used_) {
    refusal_used_ = true;
    Record(JsonLine("refuse-view-controller").Int("width", width).Int("height", height));
    return false;
  }
  return true;
}

HWND EngineSide::parking_window() {
  if (parking_) return parking_;
  WNDCLASSW wc{};
  wc.lpfnWndProc = &EngineSide::ParkingProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kParkingClass;
  RegisterClassW(&wc);
  parking_ = CreateWindowExW(0, kParkingClass, L"orvalen stand-in engine", WS_POPUP, 0, 0, 1, 1,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  return parking_;
}

std::optional<HWND> EngineSide::CreateViewWindow(FlutterDesktopEngineRef, int width, int height) {
  view_ = std::make_unique<ViewWindow>(parking_window(), width, height, this);
  Record(JsonLine("view-window-created")
             .Str("hwnd", PointerText(view_->hwnd()))
             .Int("width", width)
             .Int("height", height));
  if (scenario_.hold_first_frame) {
    // The Dart side gets to act while the product still waits for its first frame.
    view_->HoldFrames(true);
    StartDart();
  }
  return view_->hwnd();
}

void EngineSide::DestroyViewWindow(HWND view_window) {
  if (view_ && view_->hwnd() == view_window) {
    view_.reset();
    Record(JsonLine("view-window-destroyed").Str("hwnd", PointerText(view_window)));
  }
}

bool EngineSide::HandleTopLevelWindowMessage(FlutterDesktopViewControllerRef, HWND, UINT message,
                                             WPARAM, LPARAM, LRESULT* result) {
  EarlyScenario();
  auto it = scenario_.consume.find(message);
  if (it == scenario_.consume.end()) return false;
  *result = static_cast<LRESULT>(it->second);
  return true;
}

std::optional<UINT> EngineSide::DpiForMonitor(HMONITOR) {
  const Scenario& scenario = EarlyScenario();
  if (scenario.dpi) return static_cast<UINT>(*scenario.dpi);
  return std::nullopt;
}

HWND EngineSide::TopLevelWindow() const {
  if (!view_ || !view_->hwnd()) return nullptr;
  HWND top = GetAncestor(view_->hwnd(), GA_ROOT);
  return (top && top != view_->hwnd() && top != parking_) ? top : nullptr;
}

void EngineSide::OnFrame(int frame_number) {
  HWND view = view_ ? view_->hwnd() : nullptr;
  Record(
      JsonLine("frame").Int("n", frame_number).Raw("top", WindowStateJson(TopLevelWindow(), view)));
  Core& core = Core::Get();
  if (core.HasNextFrameCallback()) {
    core.FireNextFrame();
    // The product may have torn everything down inside its callback.
    view = view_ ? view_->hwnd() : nullptr;
    Record(JsonLine("after-next-frame")
               .Int("n", frame_number)
               .Raw("top", WindowStateJson(TopLevelWindow(), view)));
  }
  if (view_) StartDart();
}

void EngineSide::StartDart() {
  if (dart_started_) return;
  dart_started_ = true;
  dart_ = std::make_unique<DartSide>(scenario_, this);
  dart_->Start(scenario_.start_delay_ms);
}

void EngineSide::OnDartEnd() {
  if (view_) view_->HoldFrames(false);
}

void EngineSide::StartWatchdog() {
  if (watchdog_started_) return;
  watchdog_started_ = true;
  HANDLE thread = CreateThread(
      nullptr, 0, &WatchdogThread,
      reinterpret_cast<void*>(static_cast<intptr_t>(scenario_.watchdog_ms)), 0, nullptr);
  if (thread) CloseHandle(thread);
}

void EngineSide::RecordPluginRegistration(const char* function, const char* library,
                                          const void* registrar) {
  EarlyScenario();
  std::string name;
  bool known = false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = registrar_names_.find(registrar);
    if (it != registrar_names_.end()) {
      name = it->second;
      known = true;
    }
  }
  JsonLine line("plugin-register");
  line.Str("function", function ? function : "")
      .Str("library", library ? library : "")
      .Str("registrar", PointerText(registrar));
  if (known) line.Str("registrar_name", name);
  Record(line);
}

LRESULT CALLBACK EngineSide::ParkingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  EngineSide& side = Get();
  switch (message) {
    case WM_TIMER:
      if (side.dart_) side.dart_->OnTimer(wparam);
      return 0;
    case kAnswerReplyMessage: {
      auto answer = DisplayEventAnswer(side.scenario_.display_event_reply);
      if (answer) {
        bool ok =
            Core::Get().AnswerReply(static_cast<uint64_t>(wparam), answer->data(), answer->size());
        Record(JsonLine("dart-answer-delivered")
                   .Int("id", static_cast<long long>(wparam))
                   .Bool("ok", ok));
      }
      return 0;
    }
    default: return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

}  // namespace standin

ORVALEN_STANDIN_API void OrvalenStandinRecordPluginRegistration(const char* function,
                                                                const char* library,
                                                                const void* registrar) {
  standin::EngineSide::Get().RecordPluginRegistration(function, library, registrar);
}
