// The two kiosk layouts: span over all monitors and fit to the preferred monitor, both applied as a
// borderless topmost popup by ApplyBounds, and their debounced resync after display and DPI
// changes. The arithmetic is in window/display_geometry.
#include <vector>

#include "window/display_geometry.h"
#include "window/win32_monitors.h"
#include "window/win32_window.h"
#include "window/win32_window_constants.h"

using win32_monitors::ToGeometry;
using win32_monitors::ToWin32;

namespace {

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

bool Win32Window::StartLayout(const LayoutRecord& next) {
  if (top_window == nullptr || windowed_mode()) return false;
  if (layout_busy) {
    ReportDisplayEvent(next.kind == Layout::kSpan ? "skip reentrant span" : "skip reentrant fit");
    return false;
  }
  UnregisterHotKeys();
  layout = next;
  return true;
}

void Win32Window::ReapplyCurrentLayout() {
  switch (layout.kind) {
    case Layout::kNone:
    case Layout::kWindowed: return;
    case Layout::kSpan: return SpanAllDisplays();
    case Layout::kFit: return Fit(layout.monitor);
  }
}

void Win32Window::FitPreferredDisplay() { Fit(std::nullopt); }

void Win32Window::Fit(std::optional<std::size_t> monitor) {
  if (!StartLayout({Layout::kFit, monitor})) return;
  BusyScope busy(layout_busy);
  const std::vector<display_geometry::Rect> monitors = win32_monitors::SortedMonitors();
  if (monitors.empty()) {
    ReportDisplayEvent("skip fit: no monitors");
    return;
  }
  // A remembered monitor that has gone away gives way to the preferred one.
  const std::size_t index = monitor && *monitor < monitors.size()
                                ? *monitor
                                : display_geometry::PreferredMonitorIndex(monitors.size());
  ReportDisplayEvent(display_geometry::FitMonitorsLine(monitors.size(), index).c_str());
  ApplyBounds(ToWin32(monitors[index]), "fit");
}

void Win32Window::SpanAllDisplays() {
  if (!StartLayout({Layout::kSpan, std::nullopt})) return;
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
