// Internal to window/: Win32 rectangles as display_geometry's plain values and back, and the
// monitors as a list of those values. Every conversion between the two happens through here.
#pragma once

#include <windows.h>

#include <vector>

#include "window/display_geometry.h"

namespace win32_monitors {

inline display_geometry::Rect ToGeometry(const RECT& r) {
  return display_geometry::Rect{r.left, r.top, r.right, r.bottom};
}

inline RECT ToWin32(const display_geometry::Rect& r) {
  return RECT{r.left, r.top, r.right, r.bottom};
}

// Full rectangles (rcMonitor, not work areas) of all monitors, in enumeration order or left to
// right, then top to bottom; a monitor whose information cannot be read is left out. Enumerated
// anew on every call: displays come and go.
std::vector<display_geometry::Rect> Monitors();
std::vector<display_geometry::Rect> SortedMonitors();

}  // namespace win32_monitors
