// Helpers for the kiosk window tests that run under Wine on a virtual desk: a window subclass that
// records its event lines, a capture of the raw debugger output, a message pump with time limits,
// the window's real state, and an import-table patch for the few Win32 calls a desk cannot vary.
#pragma once

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "window/win32_window.h"

namespace desk {

using Clock = std::chrono::steady_clock;

struct EventRecord {
  std::string line;
  Clock::time_point at;
};

// A Win32Window that records every event line (and still writes it to the debugger output through
// the base), and lets a test run code from inside the message dispatch.
class RecordingWindow : public Win32Window {
 public:
  RecordingWindow() = default;
  ~RecordingWindow() override = default;

  const std::vector<EventRecord>& events() const { return events_; }
  std::vector<std::string> Lines() const;
  // The lines recorded since the last TakeLines().
  std::vector<std::string> TakeLines();
  void ClearEvents();

  // Runs before the base dispatch for every message; a test uses it to re-enter the layouts from a
  // message that Win32 delivers synchronously.
  std::function<void(UINT message)> on_message;

  // What OnCreate answers, and how often it ran.
  bool accept_create = true;
  int create_hook_runs = 0;

  using Win32Window::ApplyBounds;
  void Report(const char* line) { ReportDisplayEvent(line); }

 protected:
  void ReportDisplayEvent(const char* line) override;
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool OnCreate() override;

 private:
  std::vector<EventRecord> events_;
  std::size_t taken_ = 0;
};

// Every OutputDebugStringA of the process while alive, one entry per call. OutputDebugStringA
// raises DBG_PRINTEXCEPTION_C, which a vectored handler sees before the system's own handling.
class DebugOutputCapture {
 public:
  DebugOutputCapture();
  ~DebugOutputCapture();
  DebugOutputCapture(const DebugOutputCapture&) = delete;
  DebugOutputCapture& operator=(const DebugOutputCapture&) = delete;

  const std::vector<std::string>& pieces() const { return pieces_; }

 private:
  static LONG CALLBACK Handler(EXCEPTION_POINTERS* info);
  void* handle_ = nullptr;
  std::vector<std::string> pieces_;
};

// The file in which the desk's debugger records this process's debug output, one line per write
// (set from --debug-out=<path> by desk_main.cpp; a Linux path, reached through Wine's Z: drive).
const std::string& DebugOutPath();
void SetDebugOutPath(std::string path);
std::vector<std::string> ReadDebugOutLines();

// Dispatches this thread's messages for `duration`.
void PumpFor(std::chrono::milliseconds duration);
// Dispatches messages until `done` holds or `timeout` passes; returns whether `done` held.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);

RECT WindowRect(HWND window);
// Styles without the bits the system adds by itself (WS_CLIPSIBLINGS on top-level windows,
// WS_EX_WINDOWEDGE on framed ones).
DWORD StyleOf(HWND window);
DWORD ExStyleOf(HWND window);
bool SameRect(const RECT& a, const RECT& b);
std::string Describe(const RECT& r);

// The monitors the desk offers, left to right (sorted as the window sorts them).
std::vector<RECT> SortedMonitors();
// The work area of the monitor with that rectangle.
RECT WorkAreaOf(const RECT& monitor);

// Replaces one function that this executable imports from `dll` for the patch's lifetime.
class ImportPatch {
 public:
  ImportPatch(const char* dll, const char* function, void* replacement);
  ~ImportPatch();
  ImportPatch(const ImportPatch&) = delete;
  ImportPatch& operator=(const ImportPatch&) = delete;

  bool applied() const { return slot_ != nullptr; }
  void* original() const { return original_; }

 private:
  void** slot_ = nullptr;
  void* original_ = nullptr;
};

// Whether Win+Shift+<virtual_key> could be registered right now, i.e. nobody holds it.
bool HotKeyFree(UINT virtual_key);

}  // namespace desk
