#include "window/display_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace display_geometry {
namespace {

constexpr int64_t kInt32Min = std::numeric_limits<int32_t>::min();
constexpr int64_t kInt32Max = std::numeric_limits<int32_t>::max();

// Cuts a 64-bit intermediate back to the 32-bit coordinate space. Only absurd rectangles (edges
// near the ends of the 32-bit range) reach the limits; saturating keeps them on the correct side.
int32_t Clamp32(int64_t v) { return static_cast<int32_t>(std::clamp(v, kInt32Min, kInt32Max)); }

bool IsEmpty(const Rect& r) { return r.right <= r.left || r.bottom <= r.top; }

// %ld is a 32-bit long on Windows and a 64-bit one on Linux; the value always fits both.
long AsLong(int64_t v) { return static_cast<long>(Clamp32(v)); }

}  // namespace

int64_t Width(const Rect& r) { return int64_t{r.right} - r.left; }
int64_t Height(const Rect& r) { return int64_t{r.bottom} - r.top; }

bool HasUsableExtent(const Rect& r) {
  const int64_t w = Width(r);
  const int64_t h = Height(r);
  return w > 0 && h > 0 && w <= kInt32Max && h <= kInt32Max;
}

bool MonitorRectLess(const Rect& a, const Rect& b) {
  return a.left < b.left || (a.left == b.left && a.top < b.top);
}

void SortMonitors(std::vector<Rect>& monitors) {
  std::sort(monitors.begin(), monitors.end(), MonitorRectLess);
}

std::size_t PreferredMonitorIndex(std::size_t count) { return count == 0 ? 0 : (count - 1) / 2; }

Rect UnionRect(const Rect& a, const Rect& b) {
  if (IsEmpty(a)) return IsEmpty(b) ? Rect{} : b;
  if (IsEmpty(b)) return a;
  return Rect{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
              std::max(a.bottom, b.bottom)};
}

Rect UnionOfMonitors(const std::vector<Rect>& monitors) {
  if (monitors.empty()) return Rect{};
  Rect bounds = monitors.front();
  for (std::size_t i = 1; i < monitors.size(); ++i) bounds = UnionRect(bounds, monitors[i]);
  return bounds;
}

Rect VirtualScreenRect(int32_t x, int32_t y, int32_t cx, int32_t cy) {
  return Rect{x, y, Clamp32(int64_t{x} + cx), Clamp32(int64_t{y} + cy)};
}

Point CentreOf(const Rect& window) {
  return Point{Clamp32(window.left + Width(window) / 2), Clamp32(window.top + Height(window) / 2)};
}

Point CentreInArea(const Rect& area, int32_t width, int32_t height) {
  return Point{Clamp32(area.left + (Width(area) - width) / 2),
               Clamp32(area.top + (Height(area) - height) / 2)};
}

Point CentreOnScreen(int32_t screen_cx, int32_t screen_cy, int32_t width, int32_t height) {
  return Point{Clamp32((int64_t{screen_cx} - width) / 2),
               Clamp32((int64_t{screen_cy} - height) / 2)};
}

std::optional<Point> AdjacentMonitorPosition(const Rect& window,
                                             const std::vector<Rect>& sorted_monitors, bool next) {
  const std::size_t n = sorted_monitors.size();
  if (n < 2) return std::nullopt;

  const int64_t w = Width(window);
  const int64_t h = Height(window);
  const Point centre = CentreOf(window);

  std::size_t current = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Rect& m = sorted_monitors[i];
    if (m.left <= centre.x && centre.x < m.right && m.top <= centre.y && centre.y < m.bottom) {
      current = i;
      break;
    }
  }
  const std::size_t target = next ? (current + 1) % n : (current + n - 1) % n;
  const Rect& cur = sorted_monitors[current];
  const Rect& tgt = sorted_monitors[target];

  int64_t x = int64_t{window.left} + (int64_t{tgt.left} - cur.left);
  int64_t y = int64_t{window.top} + (int64_t{tgt.top} - cur.top);
  if (x + w > tgt.right) x = tgt.right - w;
  if (x < tgt.left) x = tgt.left;
  if (y + h > tgt.bottom) y = tgt.bottom - h;
  if (y < tgt.top) y = tgt.top;
  return Point{Clamp32(x), Clamp32(y)};
}

int32_t ScaleForDpi(int32_t logical, unsigned dpi) {
  const double scaled = std::trunc(logical * (dpi / 96.0));
  if (scaled >= static_cast<double>(kInt32Max)) return static_cast<int32_t>(kInt32Max);
  if (scaled <= static_cast<double>(kInt32Min)) return static_cast<int32_t>(kInt32Min);
  return static_cast<int32_t>(scaled);
}

const char* LayoutLabel(const char* name) { return name != nullptr ? name : "?"; }

EventLine<96> SpanMonitorsLine(std::size_t count) {
  EventLine<96> line;
  std::snprintf(line.text, sizeof line.text, "span monitors=%zu", count);
  return line;
}

EventLine<96> FitMonitorsLine(std::size_t count, std::size_t index) {
  EventLine<96> line;
  std::snprintf(line.text, sizeof line.text, "fit monitors=%zu index=%zu", count, index);
  return line;
}

EventLine<160> SkipInvalidBoundsLine(const char* name, const Rect& target) {
  EventLine<160> line;
  std::snprintf(line.text, sizeof line.text, "skip invalid bounds (%s) l=%ld t=%ld r=%ld b=%ld",
                LayoutLabel(name), static_cast<long>(target.left), static_cast<long>(target.top),
                static_cast<long>(target.right), static_cast<long>(target.bottom));
  return line;
}

namespace {

// "<verb> (<layout>) <width>x<height> @<left>,<top>", cut to the line's buffer.
template <std::size_t N>
EventLine<N> SizeAtLine(const char* verb, const char* name, const Rect& target) {
  EventLine<N> line;
  std::snprintf(line.text, sizeof line.text, "%s (%s) %ldx%ld @%ld,%ld", verb, LayoutLabel(name),
                AsLong(Width(target)), AsLong(Height(target)), static_cast<long>(target.left),
                static_cast<long>(target.top));
  return line;
}

}  // namespace

EventLine<160> SkipUnchangedLine(const char* name, const Rect& target) {
  return SizeAtLine<160>("skip unchanged", name, target);
}

EventLine<192> AppliedLine(const char* name, const Rect& target) {
  return SizeAtLine<192>("applied", name, target);
}

}  // namespace display_geometry
