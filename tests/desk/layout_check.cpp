// Checks that the desk this program runs on is the one it was asked for: the monitor rectangles
// (Windows coordinates), which monitor is primary, each monitor's work area, the DPI every monitor
// reports, and the user's app-theme value.
//
//   desk_layout_check LAYOUT DPI THEME [work=LEFT,TOP,RIGHT,BOTTOM] MONITOR...
//     THEME    0, 1 or none (value absent)
//     work=    the desk's work area: each monitor's work area is its part of it. Without it,
//              each monitor's work area is the whole monitor.
//     MONITOR  LEFT,TOP,RIGHT,BOTTOM, with ",primary" after the primary one; CMake passes the
//              layout's monitors from scripts/desk-layouts.json (orvalen_desk_monitors), the table
//              the desk builds its X server from. LAYOUT only names the layout in messages.
//
// Prints every difference to stderr; exits 0 when there is none, 1 otherwise, 2 on bad usage.
#include <windows.h>
#include <shellscalingapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

struct Monitor {
  RECT rect;
  bool primary;
  UINT dpi;
  RECT work;
};

bool ParseMonitor(const char* text, Monitor* monitor) {
  long edges[4] = {};
  for (int i = 0; i < 4; ++i) {
    char* end = nullptr;
    edges[i] = std::strtol(text, &end, 10);
    if (end == text || (i < 3 && *end != ',')) return false;
    text = i < 3 ? end + 1 : end;
  }
  if (*text != '\0' && std::strcmp(text, ",primary") != 0) return false;
  if (edges[0] >= edges[2] || edges[1] >= edges[3]) return false;
  *monitor = Monitor{RECT{edges[0], edges[1], edges[2], edges[3]}, *text != '\0', 0, {}};
  return true;
}

bool Less(const RECT& a, const RECT& b) {
  return a.left != b.left ? a.left < b.left : a.top < b.top;
}

BOOL CALLBACK Collect(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(monitor, &info);
  UINT dpi_x = 0, dpi_y = 0;
  GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpi_x, &dpi_y);
  reinterpret_cast<std::vector<Monitor>*>(data)->push_back(
      {info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0, dpi_x, info.rcWork});
  return TRUE;
}

void Print(const char* what, const Monitor& m) {
  std::fprintf(stderr, "  %s (%ld,%ld)-(%ld,%ld)%s\n", what, m.rect.left, m.rect.top, m.rect.right,
               m.rect.bottom, m.primary ? " primary" : "");
}

int CheckWorkAreas(const std::vector<Monitor>& monitors, const RECT* desk_work) {
  int failures = 0;
  for (const Monitor& m : monitors) {
    RECT want = m.rect;
    if (desk_work != nullptr) IntersectRect(&want, &m.rect, desk_work);
    if (EqualRect(&want, &m.work)) continue;
    ++failures;
    std::fprintf(
        stderr,
        "monitor at (%ld,%ld): work area (%ld,%ld)-(%ld,%ld), expected (%ld,%ld)-(%ld,%ld)\n",
        m.rect.left, m.rect.top, m.work.left, m.work.top, m.work.right, m.work.bottom, want.left,
        want.top, want.right, want.bottom);
  }
  return failures;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fputs(
        "usage: desk_layout_check LAYOUT DPI THEME [work=L,T,R,B] "
        "LEFT,TOP,RIGHT,BOTTOM[,primary]...\n",
        stderr);
    return 2;
  }
  const char* layout = argv[1];
  const UINT want_dpi = static_cast<UINT>(std::strtoul(argv[2], nullptr, 10));
  const char* want_theme = argv[3];
  int first_monitor = 4;
  Monitor work{};
  const bool has_work = std::strncmp(argv[4], "work=", 5) == 0;
  if (has_work && (!ParseMonitor(argv[4] + 5, &work) || work.primary)) {
    std::fprintf(stderr, "not a work area: %s (work=LEFT,TOP,RIGHT,BOTTOM)\n", argv[4]);
    return 2;
  }
  if (has_work) ++first_monitor;
  std::vector<Monitor> expected;
  for (int i = first_monitor; i < argc; ++i) {
    Monitor m{};
    if (!ParseMonitor(argv[i], &m)) {
      std::fprintf(stderr, "not a monitor: %s (LEFT,TOP,RIGHT,BOTTOM[,primary])\n", argv[i]);
      return 2;
    }
    expected.push_back(m);
  }
  const auto by_position = [](const Monitor& a, const Monitor& b) { return Less(a.rect, b.rect); };
  std::sort(expected.begin(), expected.end(), by_position);

  std::vector<Monitor> monitors;
  EnumDisplayMonitors(nullptr, nullptr, Collect, reinterpret_cast<LPARAM>(&monitors));
  std::sort(monitors.begin(), monitors.end(), by_position);

  int failures = 0;
  bool same = monitors.size() == expected.size();
  for (std::size_t i = 0; same && i < monitors.size(); ++i) {
    same = EqualRect(&monitors[i].rect, &expected[i].rect) != 0 &&
           monitors[i].primary == expected[i].primary;
  }
  if (!same) {
    ++failures;
    std::fprintf(stderr, "layout %s: monitors differ\n", layout);
    for (const Monitor& m : expected) Print("expected", m);
    for (const Monitor& m : monitors) Print("actual  ", m);
  }
  failures += CheckWorkAreas(monitors, has_work ? &work.rect : nullptr);
  for (const Monitor& m : monitors) {
    if (m.dpi != want_dpi) {
      ++failures;
      std::fprintf(stderr, "monitor at (%ld,%ld): %u dpi, expected %u\n", m.rect.left, m.rect.top,
                   m.dpi, want_dpi);
    }
  }
  DWORD value = 0, size = sizeof(value);
  LSTATUS status = RegGetValueW(
      HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
      L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size);
  if (std::strcmp(want_theme, "none") == 0) {
    if (status != ERROR_FILE_NOT_FOUND) {
      ++failures;
      std::fprintf(stderr, "AppsUseLightTheme: status %ld value %lu, expected absent\n",
                   static_cast<long>(status), value);
    }
  } else if (status != ERROR_SUCCESS || value != std::strtoul(want_theme, nullptr, 10)) {
    ++failures;
    std::fprintf(stderr, "AppsUseLightTheme: status %ld value %lu, expected %s\n",
                 static_cast<long>(status), value, want_theme);
  }
  return failures == 0 ? 0 : 1;
}
