#include "tests/window/desk_support.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

namespace desk {
namespace {

DebugOutputCapture* active_capture = nullptr;

}  // namespace

std::vector<std::string> RecordingWindow::Lines() const {
  std::vector<std::string> lines;
  for (const EventRecord& e : events_) lines.push_back(e.line);
  return lines;
}

std::vector<std::string> RecordingWindow::TakeLines() {
  std::vector<std::string> lines;
  for (std::size_t i = taken_; i < events_.size(); ++i) lines.push_back(events_[i].line);
  taken_ = events_.size();
  return lines;
}

void RecordingWindow::ClearEvents() {
  events_.clear();
  taken_ = 0;
}

void RecordingWindow::ReportDisplayEvent(const char* line) {
  Win32Window::ReportDisplayEvent(line);
  if (line != nullptr) events_.push_back(EventRecord{line, Clock::now()});
}

LRESULT RecordingWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (on_message) on_message(message);
  return Win32Window::HandleMessage(hwnd, message, wparam, lparam);
}

bool RecordingWindow::OnCreate() {
  ++create_hook_runs;
  return Win32Window::OnCreate() && accept_create;
}

DebugOutputCapture::DebugOutputCapture() {
  active_capture = this;
  handle_ = AddVectoredExceptionHandler(1, Handler);
}

DebugOutputCapture::~DebugOutputCapture() {
  RemoveVectoredExceptionHandler(handle_);
  active_capture = nullptr;
}

LONG CALLBACK DebugOutputCapture::Handler(EXCEPTION_POINTERS* info) {
  const EXCEPTION_RECORD* record = info->ExceptionRecord;
  if (record->ExceptionCode != DBG_PRINTEXCEPTION_C || active_capture == nullptr) {
    return EXCEPTION_CONTINUE_SEARCH;
  }
  const auto length = static_cast<std::size_t>(record->ExceptionInformation[0]);
  const auto* text = reinterpret_cast<const char*>(record->ExceptionInformation[1]);
  // The length counts the terminating NUL.
  active_capture->pieces_.emplace_back(text, length > 0 ? length - 1 : 0);
  return EXCEPTION_CONTINUE_EXECUTION;
}

namespace {

std::string& DebugOutPathStorage() {
  static std::string path;
  return path;
}

}  // namespace

const std::string& DebugOutPath() { return DebugOutPathStorage(); }
void SetDebugOutPath(std::string path) { DebugOutPathStorage() = std::move(path); }

std::vector<std::string> ReadDebugOutLines() {
  std::string path = DebugOutPath();
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  std::ifstream file(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(file, line)) lines.push_back(line);
  return lines;
}

namespace {

void DispatchPending() {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

}  // namespace

void PumpFor(std::chrono::milliseconds duration) {
  PumpUntil([] { return false; }, duration);
}

bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
  const Clock::time_point end = Clock::now() + timeout;
  for (;;) {
    DispatchPending();
    if (done()) return true;
    const Clock::time_point now = Clock::now();
    if (now >= end) return false;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::max<long long>(1, left)),
                              QS_ALLINPUT);
  }
}

RECT WindowRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return r;
}

DWORD StyleOf(HWND window) {
  return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE)) &
         ~static_cast<DWORD>(WS_CLIPSIBLINGS);
}

DWORD ExStyleOf(HWND window) {
  return static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE)) &
         ~static_cast<DWORD>(WS_EX_WINDOWEDGE);
}

bool SameRect(const RECT& a, const RECT& b) {
  return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

std::string Describe(const RECT& r) {
  std::ostringstream out;
  out << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
  return out.str();
}

namespace {

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (GetMonitorInfoW(monitor, &info))
    reinterpret_cast<std::vector<RECT>*>(data)->push_back(info.rcMonitor);
  return TRUE;
}

}  // namespace

std::vector<RECT> SortedMonitors() {
  std::vector<RECT> monitors;
  EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&monitors));
  std::sort(monitors.begin(), monitors.end(), [](const RECT& a, const RECT& b) {
    return a.left < b.left || (a.left == b.left && a.top < b.top);
  });
  return monitors;
}

RECT WorkAreaOf(const RECT& monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromRect(&monitor, MONITOR_DEFAULTTONEAREST), &info);
  return info.rcWork;
}

ImportPatch::ImportPatch(const char* dll, const char* function, void* replacement) {
  auto* base = reinterpret_cast<BYTE*>(GetModuleHandleW(nullptr));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& imports =
      nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (imports.VirtualAddress == 0) return;
  for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       desc->Name != 0; ++desc) {
    if (_stricmp(reinterpret_cast<const char*>(base + desc->Name), dll) != 0) continue;
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* by_name =
          reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      if (std::strcmp(reinterpret_cast<const char*>(by_name->Name), function) != 0) continue;
      slot_ = reinterpret_cast<void**>(&slots->u1.Function);
      DWORD old_protection = 0;
      VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &old_protection);
      original_ = *slot_;
      *slot_ = replacement;
      VirtualProtect(slot_, sizeof(void*), old_protection, &old_protection);
      return;
    }
  }
}

ImportPatch::~ImportPatch() {
  if (slot_ == nullptr) return;
  DWORD old_protection = 0;
  VirtualProtect(slot_, sizeof(void*), PAGE_READWRITE, &old_protection);
  *slot_ = original_;
  VirtualProtect(slot_, sizeof(void*), old_protection, &old_protection);
}

bool HotKeyFree(UINT virtual_key) {
  constexpr int kProbeId = 0x7001;
  if (!RegisterHotKey(nullptr, kProbeId, MOD_WIN | MOD_SHIFT | MOD_NOREPEAT, virtual_key))
    return false;
  UnregisterHotKey(nullptr, kProbeId);
  return true;
}

}  // namespace desk
