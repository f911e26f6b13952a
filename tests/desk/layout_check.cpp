// Checks that the desk this program runs on is the one it was asked for: the monitor rectangles
// (Windows coordinates, primary at 0,0), which monitor is primary, the DPI every monitor reports,
// and the user's app-theme value.
//
//   desk_layout_check LAYOUT DPI THEME      THEME: 0, 1 or none (value absent)
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
};

struct Expected {
  const char* layout;
  std::vector<RECT> rects;  // sorted by left, then top; the one at 0,0 is primary
};

const std::vector<Expected>& Layouts() {
  static const std::vector<Expected> layouts = {
      {"three", {{-1920, 0, 0, 1080}, {0, 0, 1920, 1080}, {1920, 0, 3200, 1024}}},
      {"two", {{0, 0, 1920, 1080}, {1920, 0, 3840, 1080}}},
      {"stacked", {{0, 0, 1920, 1080}, {0, 1080, 1920, 2160}}},
      {"one", {{0, 0, 1920, 1080}}},
      {"three-live", {{-1920, 0, 0, 1080}, {0, 0, 1920, 1080}, {1920, 0, 3200, 1024}}},
      // three-live after its right-hand monitor was switched off
      {"three-live-right-off", {{-1920, 0, 0, 1080}, {0, 0, 1920, 1080}}},
  };
  return layouts;
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
      {info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0, dpi_x});
  return TRUE;
}

void Print(const char* what, const RECT& r) {
  std::fprintf(stderr, "  %s (%ld,%ld)-(%ld,%ld)\n", what, r.left, r.top, r.right, r.bottom);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: desk_layout_check LAYOUT DPI THEME\n", stderr);
    return 2;
  }
  const Expected* expected = nullptr;
  for (const Expected& e : Layouts()) {
    if (std::strcmp(e.layout, argv[1]) == 0) expected = &e;
  }
  if (!expected) {
    std::fprintf(stderr, "unknown layout %s\n", argv[1]);
    return 2;
  }
  const UINT want_dpi = static_cast<UINT>(std::strtoul(argv[2], nullptr, 10));
  const char* want_theme = argv[3];

  std::vector<Monitor> monitors;
  EnumDisplayMonitors(nullptr, nullptr, Collect, reinterpret_cast<LPARAM>(&monitors));
  std::sort(monitors.begin(), monitors.end(), [](const Monitor& a, const Monitor& b) { return Less(a.rect, b.rect); });

  int failures = 0;
  bool same = monitors.size() == expected->rects.size();
  for (std::size_t i = 0; same && i < monitors.size(); ++i) {
    same = EqualRect(&monitors[i].rect, &expected->rects[i]) != 0;
  }
  if (!same) {
    ++failures;
    std::fprintf(stderr, "layout %s: monitors differ\n", expected->layout);
    for (const RECT& r : expected->rects) Print("expected", r);
    for (const Monitor& m : monitors) Print("actual  ", m.rect);
  }
  for (const Monitor& m : monitors) {
    const bool at_origin = m.rect.left == 0 && m.rect.top == 0;
    if (m.primary != at_origin) {
      ++failures;
      std::fprintf(stderr, "monitor at (%ld,%ld): primary=%d\n", m.rect.left, m.rect.top, m.primary);
    }
    if (m.dpi != want_dpi) {
      ++failures;
      std::fprintf(stderr, "monitor at (%ld,%ld): %u dpi, expected %u\n", m.rect.left, m.rect.top, m.dpi, want_dpi);
    }
  }

  DWORD value = 0, size = sizeof(value);
  LSTATUS status = RegGetValueW(HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
                                L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &value, &size);
  if (std::strcmp(want_theme, "none") == 0) {
    if (status != ERROR_FILE_NOT_FOUND) {
      ++failures;
      std::fprintf(stderr, "AppsUseLightTheme: status %ld value %lu, expected absent\n", static_cast<long>(status), value);
    }
  } else if (status != ERROR_SUCCESS || value != std::strtoul(want_theme, nullptr, 10)) {
    ++failures;
    std::fprintf(stderr, "AppsUseLightTheme: status %ld value %lu, expected %s\n", static_cast<long>(status), value,
                 want_theme);
  }
  return failures == 0 ? 0 : 1;
}
