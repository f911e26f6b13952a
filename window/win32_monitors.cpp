#include "window/win32_monitors.h"

namespace win32_monitors {
namespace {

BOOL CALLBACK CollectMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  MONITORINFO info{};
  info.cbSize = sizeof(MONITORINFO);
  if (GetMonitorInfoW(monitor, &info))
    reinterpret_cast<std::vector<display_geometry::Rect>*>(data)->push_back(
        ToGeometry(info.rcMonitor));
  return TRUE;
}

}  // namespace

std::vector<display_geometry::Rect> Monitors() {
  std::vector<display_geometry::Rect> monitors;
  EnumDisplayMonitors(nullptr, nullptr, CollectMonitor, reinterpret_cast<LPARAM>(&monitors));
  return monitors;
}

std::vector<display_geometry::Rect> SortedMonitors() {
  std::vector<display_geometry::Rect> monitors = Monitors();
  display_geometry::SortMonitors(monitors);
  return monitors;
}

}  // namespace win32_monitors
