// Display geometry of the kiosk window, as pure functions over plain values.
//
// Everything here is free of Win32 so that the host build can unit-test the arithmetic that decides
// where the window goes; window/win32_window.cpp only feeds it the monitor, window and work-area
// rectangles that Win32 reports and applies the result.
//
// Coordinates are physical pixels in virtual-screen space, 32-bit signed. Every division truncates
// toward zero (C++ integer division), which matters for work areas narrower than the window.
// Intermediate sums and differences are taken in 64 bits so that no rectangle, however odd,
// overflows; results are cut back to 32 bits.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace display_geometry {

// Same layout and meaning as Win32 RECT: right and bottom are exclusive.
struct Rect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  friend bool operator==(const Rect&, const Rect&) = default;
};

struct Point {
  int32_t x = 0;
  int32_t y = 0;

  friend bool operator==(const Point&, const Point&) = default;
};

// right - left and bottom - top, without 32-bit overflow.
int64_t Width(const Rect& r);
int64_t Height(const Rect& r);

// True when both extents are positive and fit a 32-bit window size. Anything else is not a
// rectangle a window can be given.
bool HasUsableExtent(const Rect& r);

// Monitor order: left to right, then top to bottom for monitors that share a left edge. A strict
// weak ordering; monitors with equal left and top edges are equivalent.
bool MonitorRectLess(const Rect& a, const Rect& b);

// Sorts a monitor list with MonitorRectLess.
void SortMonitors(std::vector<Rect>& monitors);

// Index of the preferred monitor among `count` sorted monitors: the middle one, the left of the two
// middle ones for an even count. 0 for an empty list (the caller reports that case itself).
std::size_t PreferredMonitorIndex(std::size_t count);

// Win32 UnionRect: an empty operand (right <= left or bottom <= top) does not contribute; the union
// of two empty rectangles is the all-zero rectangle.
Rect UnionRect(const Rect& a, const Rect& b);

// The first monitor extended by every further one in list order; all zeros for an empty list.
Rect UnionOfMonitors(const std::vector<Rect>& monitors);

// The virtual screen from its four system metrics (origin and extent).
Rect VirtualScreenRect(int32_t x, int32_t y, int32_t cx, int32_t cy);

// Centre of a window rectangle, halves truncated toward zero.
Point CentreOf(const Rect& window);

// Top-left corner that centres a width x height window in a work area.
Point CentreInArea(const Rect& area, int32_t width, int32_t height);

// Top-left corner that centres a width x height window on a screen of screen_cx x screen_cy.
Point CentreOnScreen(int32_t screen_cx, int32_t screen_cy, int32_t width, int32_t height);

// The hot-key move of a windowed window to the previous or next monitor.
//
// `sorted_monitors` must be sorted with MonitorRectLess. The current monitor is the first that
// contains the window's centre (monitor 0 when none does); the target wraps around. The window
// keeps its offset from the monitor's top-left corner and is then clamped into the target, right
// and bottom edges first, so a window larger than the target aligns to its left or top edge.
// Returns the new top-left corner (the size is unchanged), or nothing when fewer than two monitors
// exist.
std::optional<Point> AdjacentMonitorPosition(const Rect& window,
                                             const std::vector<Rect>& sorted_monitors, bool next);

// A logical coordinate or extent scaled by dpi / 96 and truncated toward zero. Values beyond the
// 32-bit range saturate instead of overflowing.
int32_t ScaleForDpi(int32_t logical, unsigned dpi);

// An event line formatted into a fixed buffer with snprintf semantics: cut to N - 1 bytes, always
// NUL-terminated.
template <std::size_t N>
struct EventLine {
  char text[N] = {};
  const char* c_str() const { return text; }
};

// Label printed for a layout that has no name.
const char* LayoutLabel(const char* name);

EventLine<96> SpanMonitorsLine(std::size_t count);
EventLine<96> FitMonitorsLine(std::size_t count, std::size_t index);
EventLine<160> SkipInvalidBoundsLine(const char* name, const Rect& target);
EventLine<160> SkipUnchangedLine(const char* name, const Rect& target);
EventLine<192> AppliedLine(const char* name, const Rect& target);

}  // namespace display_geometry
