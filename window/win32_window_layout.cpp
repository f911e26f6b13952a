// The two kiosk layouts: span over all monitors and fit to the preferred monitor, both applied as a
// borderless topmost popup by ApplyBounds. The arithmetic is in window/display_geometry.
#include <utility>
#include <vector>

#include "window/display_geometry.h"
#include "window/win32_monitors.h"
#include "window/win32_window.h"
#include "window/win32_window_constants.h"

using win32_monitors::ToGeometry;
using win32_monitors::ToWin32;

namespace {

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  MONITORINFO info{};
  info.cbSize = sizeof(MONITORINFO);
  if (GetMonitorInfoW(monitor, &info))
    reinterpret_cast<std::vector<RECT>*>(data)->push_back(info.rcMonitor);
  return TRUE;
}

// Holds layout_busy for the whole of one layout operation, also on early returns.
class BusyScope {
 public:
  explicit BusyScope(bool& busy) : busy_(busy) { busy_ = true; }
  ~BusyScope() { busy_ = false; }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  bool& busy_;
};

}  // namespace

namespace win32_monitors {

std::vector<RECT> MonitorRects() {
  std::vector<RECT> monitors;
  EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

std::vector<display_geometry::Rect> Monitors() {
  std::vector<display_geometry::Rect> monitors;
  for (const RECT& r : MonitorRects()) monitors.push_back(ToGeometry(r));
  return monitors;
}

std::vector<display_geometry::Rect> SortedMonitors() {
  std::vector<display_geometry::Rect> monitors = Monitors();
  display_geometry::SortMonitors(monitors);
  return monitors;
}

}  // namespace win32_monitors

std::vector<RECT> Win32Window::CollectMonitorRects() { return win32_monitors::MonitorRects(); }

bool Win32Window::MonitorRectLess(const RECT& a, const RECT& b) {
  return display_geometry::MonitorRectLess(ToGeometry(a), ToGeometry(b));
}

bool Win32Window::StartLayout(KioskLayout layout) {
  if (top_window == nullptr || windowed_mode) return false;
  if (layout_busy) {
    ReportDisplayEvent(layout == KioskLayout::kSpan ? "skip reentrant span" : "skip reentrant fit");
    return false;
  }
  UnregisterHotKeys();
  RecordLayout(layout);
  return true;
}

void Win32Window::RecordLayout(KioskLayout layout) {
  current_layout = layout;
  span_active = layout == KioskLayout::kSpan;
  fit_active = layout != KioskLayout::kNone && layout != KioskLayout::kSpan;
}

bool Win32Window::KioskLayoutCurrent() const { return span_active || fit_active; }

void Win32Window::ReapplyCurrentLayout() {
  switch (current_layout) {
    case KioskLayout::kNone: return;
    case KioskLayout::kSpan: return SpanAllDisplays();
    case KioskLayout::kFit: return FitPreferredDisplay();
  }
}

void Win32Window::FitPreferredDisplay() {
  if (!StartLayout(KioskLayout::kFit)) return;
  BusyScope busy(layout_busy);
  const std::vector<display_geometry::Rect> monitors = win32_monitors::SortedMonitors();
  if (monitors.empty()) {
    ReportDisplayEvent("skip fit: no monitors");
    return;
  }
  const std::size_t index = display_geometry::PreferredMonitorIndex(monitors.size());
  ReportDisplayEvent(display_geometry::FitMonitorsLine(monitors.size(), index).c_str());
  ApplyBounds(ToWin32(monitors[index]), "fit");
}

void Win32Window::SpanAllDisplays() {
  if (!StartLayout(KioskLayout::kSpan)) return;
  BusyScope busy(layout_busy);
  const std::vector<display_geometry::Rect> monitors = win32_monitors::Monitors();
  display_geometry::Rect bounds = display_geometry::UnionOfMonitors(monitors);
  if (display_geometry::Width(bounds) <= 0 || display_geometry::Height(bounds) <= 0) {
    bounds = display_geometry::VirtualScreenRect(
        GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
        GetSystemMetrics(SM_CXVIRTUALSCREEN), GetSystemMetrics(SM_CYVIRTUALSCREEN));
  }
  if (display_geometry::Width(bounds) <= 0 || display_geometry::Height(bounds) <= 0) {
    ReportDisplayEvent("skip span: invalid bounds");
    return;
  }
  ReportDisplayEvent(display_geometry::SpanMonitorsLine(monitors.size()).c_str());
  ApplyBounds(ToWin32(bounds), "span");
}

bool Win32Window::ApplyBounds(const RECT& target, const char* layout_name) {
  if (top_window == nullptr) return false;
  const display_geometry::Rect wanted = ToGeometry(target);
  // An extent beyond 32 bits cannot be a window size; it is refused like an empty one.
  if (!display_geometry::HasUsableExtent(wanted)) {
    ReportDisplayEvent(display_geometry::SkipInvalidBoundsLine(layout_name, wanted).c_str());
    return false;
  }
  const int width = static_cast<int>(display_geometry::Width(wanted));
  const int height = static_cast<int>(display_geometry::Height(wanted));

  RECT current{};
  GetWindowRect(top_window, &current);
  const LONG_PTR style = GetWindowLongPtrW(top_window, GWL_STYLE);
  const LONG_PTR ex_style = GetWindowLongPtrW(top_window, GWL_EXSTYLE);
  // A framed or non-topmost window (windowed mode, or as created) never counts as unchanged.
  if ((style & WS_POPUP) != 0 && (ex_style & WS_EX_TOPMOST) != 0 && ToGeometry(current) == wanted) {
    ReportDisplayEvent(display_geometry::SkipUnchangedLine(layout_name, wanted).c_str());
    return false;
  }

  SetWindowLongPtrW(top_window, GWL_STYLE, kKioskStyle);
  SetWindowLongPtrW(top_window, GWL_EXSTYLE, kAppWindowExStyle);
  // Asked after the style change: WS_VISIBLE in the new style makes a hidden window count as
  // visible, so SWP_SHOWWINDOW is added only for a window that Win32 still reports hidden.
  const bool visible = IsWindowVisible(top_window) != FALSE;
  UINT flags = SWP_NOACTIVATE | SWP_FRAMECHANGED;
  if (!visible) flags |= SWP_SHOWWINDOW;
  SetWindowPos(top_window, HWND_TOPMOST, target.left, target.top, width, height, flags);
  FillClientAreaWithContent();
  ReportDisplayEvent(display_geometry::AppliedLine(layout_name, wanted).c_str());
  return true;
}
