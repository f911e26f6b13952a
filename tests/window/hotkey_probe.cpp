// Real key presses, sent by hotkey_keys.sh through the X server, move the windowed kiosk window
// between the three monitors of the "three-workarea" desk: Win+Shift+Right to the next monitor,
// Win+Shift+Left to the previous one, wrapping at both ends. Wine fires a hot-key only for exactly
// its modifiers, so these presses also show that both are registered with Win and Shift and no
// other. For each step the probe prints "press X Y KEYS..." (the window's centre in X root
// coordinates, then xdotool key names) and waits for the window to arrive. Exits 0 once every step
// arrived, 1 when one did not arrive in time, 2 on the wrong desk.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <vector>

#include "tests/window/desk_support.h"

namespace {

using namespace std::chrono_literals;

constexpr RECT kLeft{-1920, 0, 0, 1080};
constexpr RECT kPrimary{0, 0, 1920, 1080};
constexpr RECT kRight{1920, 0, 3200, 1024};

RECT At(int x, int y) { return RECT{x, y, x + 1280, y + 800}; }

struct Step {
  const char* keys;
  RECT expected;
  const char* what;
};

// Windowed mode starts at (320, 120), centred in the primary's work area.
const Step kSteps[] = {
    {"super+shift+Right", At(1920, 120), "Win+Shift+Right: primary -> right, clamped"},
    {"super+shift+Right", At(-1920, 120), "Win+Shift+Right: right -> wraps to the left monitor"},
    {"super+shift+Left", At(1920, 120), "Win+Shift+Left: left -> wraps to the right monitor"},
    {"super+shift+Left", At(0, 120), "Win+Shift+Left: right -> primary"},
};

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

std::string Text(const RECT& r) { return desk::Describe(r); }

}  // namespace

int main() {
  const std::vector<RECT> monitors = desk::SortedMonitors();
  if (monitors.size() != 3 || !desk::SameRect(monitors[0], kLeft) ||
      !desk::SameRect(monitors[1], kPrimary) || !desk::SameRect(monitors[2], kRight)) {
    Say("not the three-monitor desk");
    return 2;
  }
  auto window = std::make_unique<desk::RecordingWindow>();
  if (!window->Create(L"kiosk hot-key probe", Win32Window::Point{10, 10},
                      Win32Window::Size{1280, 720})) {
    Say("Create failed");
    return 1;
  }
  const HWND hwnd = window->GetWindowHandle();
  window->FitPreferredDisplay();
  window->EnterWindowedMode();
  if (!desk::SameRect(desk::WindowRect(hwnd), At(320, 120))) {
    std::printf("windowed mode put the window at %s\n", Text(desk::WindowRect(hwnd)).c_str());
    return 1;
  }
  desk::PumpFor(200ms);

  for (const Step& step : kSteps) {
    // Without a window manager the X keyboard focus follows the pointer: point at the window.
    const RECT now = desk::WindowRect(hwnd);
    std::printf("press %ld %ld %s\n", (now.left + now.right) / 2 - kLeft.left,
                (now.top + now.bottom) / 2 - kLeft.top, step.keys);
    std::fflush(stdout);
    const bool arrived =
        desk::PumpUntil([&] { return desk::SameRect(desk::WindowRect(hwnd), step.expected); }, 15s);
    if (!arrived) {
      std::printf("%s: window at %s, expected %s\n", step.what,
                  Text(desk::WindowRect(hwnd)).c_str(), Text(step.expected).c_str());
      return 1;
    }
  }
  window->ExitWindowedMode();
  Say("every hot-key step moved the window");
  return 0;
}
