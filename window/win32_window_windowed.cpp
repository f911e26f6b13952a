// Windowed mode with its hot-keys, and the debounced resync of the kiosk layouts.
#include <optional>

#include "window/display_geometry.h"
#include "window/win32_monitors.h"
#include "window/win32_window.h"
#include "window/win32_window_constants.h"

using win32_monitors::ToGeometry;

namespace {

// Where a windowed window of this size goes: centred in the work area of the monitor nearest to
// the centre of `window`, or on the primary screen when that monitor cannot be read.
display_geometry::Point WindowedOrigin(const RECT& window, int width, int height) {
  const display_geometry::Point centre = display_geometry::CentreOf(ToGeometry(window));
  const HMONITOR monitor = MonitorFromPoint(POINT{centre.x, centre.y}, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info{};
  info.cbSize = sizeof(MONITORINFO);
  if (GetMonitorInfoW(monitor, &info))
    return display_geometry::CentreInArea(ToGeometry(info.rcWork), width, height);
  return display_geometry::CentreOnScreen(GetSystemMetrics(SM_CXSCREEN),
                                          GetSystemMetrics(SM_CYSCREEN), width, height);
}

}  // namespace

void Win32Window::EnterWindowedMode() {
  if (top_window == nullptr) return;
  resync_follow_ups = 0;
  KillTimer(top_window, kResyncTimerId);
  RecordLayout(KioskLayout::kNone);
  windowed_mode = true;

  RECT window{};
  GetWindowRect(top_window, &window);
  const display_geometry::Point origin = WindowedOrigin(window, kWindowedWidth, kWindowedHeight);

  SetWindowLongPtrW(top_window, GWL_STYLE, kWindowedStyle);
  SetWindowLongPtrW(top_window, GWL_EXSTYLE, kAppWindowExStyle);
  SetWindowPos(top_window, HWND_NOTOPMOST, origin.x, origin.y, kWindowedWidth, kWindowedHeight,
               SWP_FRAMECHANGED | SWP_SHOWWINDOW);
  FillClientAreaWithContent();
  RegisterHotKey(top_window, kHotKeyPrevious, kHotKeyModifiers, VK_LEFT);
  RegisterHotKey(top_window, kHotKeyNext, kHotKeyModifiers, VK_RIGHT);
}

void Win32Window::ExitWindowedMode() {
  if (top_window == nullptr) return;
  UnregisterHotKeys();
  windowed_mode = false;
}

bool Win32Window::IsKioskLayoutActive() const { return !windowed_mode && KioskLayoutCurrent(); }

void Win32Window::MoveToAdjacentMonitor(bool next) {
  if (top_window == nullptr || !windowed_mode) return;
  RECT window{};
  if (!GetWindowRect(top_window, &window)) return;

  const std::optional<display_geometry::Point> target = display_geometry::AdjacentMonitorPosition(
      ToGeometry(window), win32_monitors::SortedMonitors(), next);
  if (!target) return;
  SetWindowPos(top_window, nullptr, target->x, target->y, window.right - window.left,
               window.bottom - window.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::KeepWindowedOnAMonitor() {
  if (top_window == nullptr || !windowed_mode) return;
  RECT window{};
  if (!GetWindowRect(top_window, &window)) return;
  const display_geometry::Point centre = display_geometry::CentreOf(ToGeometry(window));
  if (MonitorFromPoint(POINT{centre.x, centre.y}, MONITOR_DEFAULTTONULL) != nullptr) return;
  // Its monitor is gone. Windows usually moves such a window back by itself, and then this finds
  // nothing to do; where it does not (Wine), the window would stay out of sight, and the hot-keys,
  // which move it from the monitor it is on, would not bring it back either.
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const display_geometry::Point origin = WindowedOrigin(window, width, height);
  SetWindowPos(top_window, nullptr, origin.x, origin.y, width, height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  const display_geometry::Rect placed{origin.x, origin.y, origin.x + width, origin.y + height};
  ReportDisplayEvent(display_geometry::AppliedLine("windowed", placed).c_str());
}

void Win32Window::ScheduleResync(const char* event_name) {
  ReportDisplayEvent(event_name);
  if (top_window == nullptr || !IsKioskLayoutActive()) return;
  resync_follow_ups = kResyncFollowUpsPerEvent;
  // Re-arming a pending timer id replaces it: a burst of events yields one tick after the last.
  SetTimer(top_window, kResyncTimerId, kResyncFirstDelayMs, nullptr);
  ReportDisplayEvent("debounced resync scheduled");
}

LRESULT Win32Window::ResyncTick(HWND hwnd) {
  KillTimer(hwnd, kResyncTimerId);
  ReportDisplayEvent("resync timer fire");
  ReapplyCurrentLayout();
  // A layout that moved the window to a monitor of another DPI has re-armed the 450 ms timer
  // through WM_DPICHANGED inside the call above; the follow-up below replaces it with the 300 ms
  // one.
  if (resync_follow_ups > 0) {
    --resync_follow_ups;
    SetTimer(top_window, kResyncTimerId, kResyncFollowUpDelayMs, nullptr);
    ReportDisplayEvent("resync follow-up scheduled");
  }
  return 0;
}
