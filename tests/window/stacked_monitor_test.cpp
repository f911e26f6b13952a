// The kiosk window on two monitors stacked with the same left edge:
//
//   (0,0) primary
//     +-----------------+
//     |  1920 x 1080    |   upper
//   (0,1080) -----------+
//     |  1920 x 1080    |   lower
//     +-----------------+ (1920,2160)
//
// The upper monitor is also the primary, which Win32 enumerates first; one test reverses the real
// enumeration so that only the top-to-bottom ordering can pick the upper monitor.
#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "tests/window/window_fixture.h"

namespace desk {
namespace {

using namespace std::chrono_literals;

constexpr RECT kUpper{0, 0, 1920, 1080};
constexpr RECT kLower{0, 1080, 1920, 2160};

void* real_enum_display_monitors = nullptr;

// The real monitors, handed to the callback in the reverse of Win32's order.
BOOL WINAPI EnumerateReversed(HDC dc, LPCRECT clip, MONITORENUMPROC callback, LPARAM data) {
  struct Found {
    HMONITOR monitor;
    RECT rect;
  };
  std::vector<Found> found;
  auto collect = [](HMONITOR monitor, HDC, LPRECT rect, LPARAM list) -> BOOL {
    reinterpret_cast<std::vector<Found>*>(list)->push_back(Found{monitor, *rect});
    return TRUE;
  };
  using EnumFn = BOOL(WINAPI*)(HDC, LPCRECT, MONITORENUMPROC, LPARAM);
  reinterpret_cast<EnumFn>(real_enum_display_monitors)(dc, clip, collect,
                                                       reinterpret_cast<LPARAM>(&found));
  for (auto it = found.rbegin(); it != found.rend(); ++it) {
    if (!callback(it->monitor, dc, &it->rect, data)) break;
  }
  return TRUE;
}

class StackedMonitors : public KioskWindowTest {
 protected:
  static void SetUpTestSuite() { ExpectDesk({kUpper, kLower}); }
};

TEST_F(StackedMonitors, FitTakesTheUpperMonitorWhateverTheEnumerationOrder) {
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=2 index=0", "applied (fit) 1920x1080 @0,0"}));
  ExpectRect(kUpper);

  // Move away, then enumerate lower first: the fit still takes the upper monitor.
  window().SpanAllDisplays();
  window().TakeLines();
  ImportPatch reversed("user32.dll", "EnumDisplayMonitors",
                       reinterpret_cast<void*>(EnumerateReversed));
  ASSERT_TRUE(reversed.applied());
  real_enum_display_monitors = reversed.original();
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=2 index=0", "applied (fit) 1920x1080 @0,0"}));
  ExpectRect(kUpper);
}

TEST_F(StackedMonitors, SpanCoversTheColumn) {
  window().SpanAllDisplays();
  EXPECT_EQ(window().TakeLines(), (Lines{"span monitors=2", "applied (span) 1920x2160 @0,0"}));
  ExpectRect(RECT{0, 0, 1920, 2160});
}

TEST_F(StackedMonitors, HotKeysMoveUpAndDownKeepingTheOffset) {
  window().FitPreferredDisplay();
  window().EnterWindowedMode();
  ExpectRect(At(320, 140, 1280, 800));
  PostMessageW(hwnd_, WM_HOTKEY, 2, 0);
  PumpFor(30ms);
  ExpectRect(At(320, 1220, 1280, 800));
  PostMessageW(hwnd_, WM_HOTKEY, 2, 0);
  PumpFor(30ms);
  ExpectRect(At(320, 140, 1280, 800));
  PostMessageW(hwnd_, WM_HOTKEY, 1, 0);
  PumpFor(30ms);
  ExpectRect(At(320, 1220, 1280, 800));
}

}  // namespace
}  // namespace desk
