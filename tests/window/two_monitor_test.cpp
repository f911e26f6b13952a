// The kiosk window on two monitors side by side:
//
//   (0,0) primary      (1920,0)           (3840,0)
//     +-----------------+-----------------+
//     |  1920 x 1080    |  1920 x 1080    |
//     +-----------------+-----------------+
#include <gtest/gtest.h>

#include <chrono>

#include "tests/window/window_fixture.h"

namespace desk {
namespace {

using namespace std::chrono_literals;

constexpr RECT kLeft{0, 0, 1920, 1080};
constexpr RECT kRight{1920, 0, 3840, 1080};

class TwoMonitors : public KioskWindowTest {
 protected:
  static void SetUpTestSuite() { ExpectDesk({kLeft, kRight}); }
};

TEST_F(TwoMonitors, FitTakesTheLeftMonitorAndSpanCoversBoth) {
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=2 index=0", "applied (fit) 1920x1080 @0,0"}));
  ExpectRect(kLeft);
  EXPECT_EQ(ExStyleOf(hwnd_), static_cast<DWORD>(WS_EX_APPWINDOW | WS_EX_TOPMOST));

  window().SpanAllDisplays();
  EXPECT_EQ(window().TakeLines(), (Lines{"span monitors=2", "applied (span) 3840x1080 @0,0"}));
  ExpectRect(RECT{0, 0, 3840, 1080});
  EXPECT_EQ(StyleOf(hwnd_), static_cast<DWORD>(WS_POPUP | WS_VISIBLE));
  EXPECT_EQ(ExStyleOf(hwnd_), static_cast<DWORD>(WS_EX_APPWINDOW | WS_EX_TOPMOST));
}

TEST_F(TwoMonitors, WindowedModeFromTheSpanLandsOnTheMonitorHoldingTheSeam) {
  window().SpanAllDisplays();
  // The span's centre (1920, 540) is the right monitor's first column.
  window().EnterWindowedMode();
  ExpectRect(At(2240, 140, 1280, 800));
  EXPECT_EQ(StyleOf(hwnd_), static_cast<DWORD>(WS_OVERLAPPEDWINDOW | WS_VISIBLE));
  EXPECT_EQ(ExStyleOf(hwnd_), static_cast<DWORD>(WS_EX_APPWINDOW));
}

TEST_F(TwoMonitors, BothHotKeysFlipBetweenTheTwo) {
  window().EnterWindowedMode();
  ExpectRect(At(320, 140, 1280, 800));
  for (int id : {2, 2, 1, 1}) {
    SCOPED_TRACE(id);
    const RECT before = WindowRect(hwnd_);
    PostMessageW(hwnd_, WM_HOTKEY, id, 0);
    PumpFor(30ms);
    const bool was_left = before.left < 1920;
    ExpectRect(was_left ? At(2240, 140, 1280, 800) : At(320, 140, 1280, 800));
  }
}

TEST_F(TwoMonitors, ASpanIsTheLayoutTheResyncReapplies) {
  window().FitPreferredDisplay();
  window().SpanAllDisplays();
  window().TakeLines();
  SendMessageW(hwnd_, WM_DISPLAYCHANGE, 32, MAKELPARAM(3840, 1080));
  ASSERT_TRUE(PumpUntil([&] { return window().Lines().size() >= 13; }, 2000ms));
  PumpFor(100ms);
  EXPECT_EQ(window().TakeLines(),
            (Lines{"WM_DISPLAYCHANGE", "debounced resync scheduled", "resync timer fire",
                   "span monitors=2", "skip unchanged (span) 3840x1080 @0,0",
                   "resync follow-up scheduled", "resync timer fire", "span monitors=2",
                   "skip unchanged (span) 3840x1080 @0,0"}));
}

}  // namespace
}  // namespace desk
