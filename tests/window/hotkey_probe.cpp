// Real Win+Shift+Right / Win+Shift+Left key presses, sent by hotkey_keys.sh through the X server,
// move the windowed kiosk window between the two side-by-side monitors of the "two" desk. The
// probe says when it is ready for each key on its standard output and exits 0 once both moves
// happened, 1 when one did not arrive in time, 2 on the wrong desk.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <memory>

#include "tests/window/desk_support.h"

namespace {

using namespace std::chrono_literals;

bool WaitForRect(HWND window, const RECT& expected) {
  return desk::PumpUntil([&] { return desk::SameRect(desk::WindowRect(window), expected); }, 15s);
}

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

}  // namespace

int main() {
  const std::vector<RECT> monitors = desk::SortedMonitors();
  if (monitors.size() != 2 || !desk::SameRect(monitors[0], RECT{0, 0, 1920, 1080}) ||
      !desk::SameRect(monitors[1], RECT{1920, 0, 3840, 1080})) {
    Say("not the two-monitor desk");
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
  if (!desk::SameRect(desk::WindowRect(hwnd), RECT{320, 140, 1600, 940})) {
    Say("windowed mode did not centre the window on the left monitor");
    return 1;
  }
  desk::PumpFor(200ms);

  Say("ready left");
  if (!WaitForRect(hwnd, RECT{2240, 140, 3520, 940})) {
    Say("Win+Shift+Right did not move the window to the right monitor");
    return 1;
  }
  Say("ready right");
  if (!WaitForRect(hwnd, RECT{320, 140, 1600, 940})) {
    Say("Win+Shift+Left did not move the window back to the left monitor");
    return 1;
  }
  window->ExitWindowedMode();
  Say("both hot-keys moved the window");
  return 0;
}
