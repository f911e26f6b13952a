// Windowed mode and its hot-keys, and keeping a windowed window on a monitor when displays change.
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

// Where a window whose centre is on no monitor goes: its size, centred as WindowedOrigin says.
// Nothing when its centre is on a monitor.
std::optional<RECT> PlaceOnAMonitor(const RECT& window) {
  const display_geometry::Point centre = display_geometry::CentreOf(ToGeometry(window));
  if (MonitorFromPoint(POINT{centre.x, centre.y}, MONITOR_DEFAULTTONULL) != nullptr)
    return std::nullopt;
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const display_geometry::Point origin = WindowedOrigin(window, width, height);
  return RECT{origin.x, origin.y, origin.x + width, origin.y + height};
}

// The screen position of workspace (0,0): the top left of the primary monitor's work area.
POINT WorkspaceOrigin() {
  MONITORINFO info{};
  info.cbSize = sizeof(MONITORINFO);
  if (!GetMonitorInfoW(MonitorFromPoint(POINT{0, 0}, MONITOR_DEFAULTTOPRIMARY), &info))
    return POINT{0, 0};
  return POINT{info.rcWork.left, info.rcWork.top};
}

}  // namespace

void Win32Window::EnterWindowedMode() {
  if (top_window == nullptr) return;
  resync_follow_ups = 0;
  KillTimer(top_window, kResyncTimerId);
  layout = {Layout::kWindowed, std::nullopt};

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
  if (windowed_mode()) layout = {};
}

LRESULT Win32Window::OnHotKeyMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  if (windowed_mode() && (wparam == kHotKeyPrevious || wparam == kHotKeyNext)) {
    MoveToAdjacentMonitor(wparam == kHotKeyNext);
    return 0;
  }
  return DefaultProcessing(hwnd, message, wparam, lparam);
}

void Win32Window::UnregisterHotKeys() {
  UnregisterHotKey(top_window, kHotKeyPrevious);
  UnregisterHotKey(top_window, kHotKeyNext);
}

void Win32Window::MoveToAdjacentMonitor(bool next) {
  if (top_window == nullptr || !windowed_mode()) return;
  RECT window{};
  if (!GetWindowRect(top_window, &window)) return;

  const std::optional<display_geometry::Point> target = display_geometry::AdjacentMonitorPosition(
      ToGeometry(window), win32_monitors::SortedMonitors(), next);
  if (!target) return;
  SetWindowPos(top_window, nullptr, target->x, target->y, window.right - window.left,
               window.bottom - window.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32Window::KeepWindowedOnAMonitor() {
  if (top_window == nullptr || !windowed_mode()) return;
  // A minimized window sits far off every monitor (at -32000,-32000) wherever it came from; what
  // must be on a monitor is the place it comes back to when restored.
  if (IsIconic(top_window)) return KeepRestoredPlacementOnAMonitor();
  RECT window{};
  if (!GetWindowRect(top_window, &window)) return;
  const std::optional<RECT> moved = PlaceOnAMonitor(window);
  if (!moved) return;
  // Its monitor is gone. Windows usually moves such a window back by itself, and then this finds
  // nothing to do; where it does not (Wine), the window would stay out of sight, and the hot-keys,
  // which move it from the monitor it is on, would not bring it back either.
  SetWindowPos(top_window, nullptr, moved->left, moved->top, moved->right - moved->left,
               moved->bottom - moved->top, SWP_NOZORDER | SWP_NOACTIVATE);
  ReportDisplayEvent(display_geometry::AppliedLine("windowed", ToGeometry(*moved)).c_str());
}

void Win32Window::KeepRestoredPlacementOnAMonitor() {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof(WINDOWPLACEMENT);
  if (!GetWindowPlacement(top_window, &placement)) return;
  // The placement is in workspace coordinates, which start at the primary monitor's work area.
  const POINT workspace = WorkspaceOrigin();
  RECT restored = placement.rcNormalPosition;
  OffsetRect(&restored, workspace.x, workspace.y);
  const std::optional<RECT> moved = PlaceOnAMonitor(restored);
  if (!moved) return;
  placement.rcNormalPosition = *moved;
  OffsetRect(&placement.rcNormalPosition, -workspace.x, -workspace.y);
  placement.flags = 0;
  placement.showCmd = SW_SHOWMINNOACTIVE;  // stays minimized, and is not activated either
  if (!SetWindowPlacement(top_window, &placement)) return;
  ReportDisplayEvent(display_geometry::AppliedLine("windowed", ToGeometry(*moved)).c_str());
}
