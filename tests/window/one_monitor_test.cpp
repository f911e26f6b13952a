// The kiosk window on a single monitor:
//
//   (0,0)
//     +-----------------+
//     |  1920 x 1080    |
//     +-----------------+ (1920,1080)
#include <gtest/gtest.h>

#include <chrono>

#include "tests/window/window_fixture.h"

namespace desk {
namespace {

using namespace std::chrono_literals;

constexpr RECT kOnly{0, 0, 1920, 1080};

class OneMonitor : public KioskWindowTest {
 protected:
  static void SetUpTestSuite() { ExpectDesk({kOnly}); }
};

TEST_F(OneMonitor, ASpanAfterAFitIsUnchangedButBecomesTheCurrentLayout) {
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=1 index=0", "applied (fit) 1920x1080 @0,0"}));
  window().SpanAllDisplays();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"span monitors=1", "skip unchanged (span) 1920x1080 @0,0"}));
  EXPECT_TRUE(window().IsKioskLayoutActive());

  SendMessageW(hwnd_, WM_DISPLAYCHANGE, 32, MAKELPARAM(1920, 1080));
  ASSERT_TRUE(PumpUntil([&] { return window().Lines().size() >= 13; }, 2000ms));
  EXPECT_EQ(window().TakeLines(),
            (Lines{"WM_DISPLAYCHANGE", "debounced resync scheduled", "resync timer fire",
                   "span monitors=1", "skip unchanged (span) 1920x1080 @0,0",
                   "resync follow-up scheduled", "resync timer fire", "span monitors=1",
                   "skip unchanged (span) 1920x1080 @0,0"}));
}

TEST_F(OneMonitor, HotKeysDoNothingWithASingleMonitor) {
  window().EnterWindowedMode();
  const RECT centred{320, 140, 1600, 940};
  ASSERT_TRUE(SameRect(WindowRect(hwnd_), centred)) << Describe(WindowRect(hwnd_));
  SetWindowPos(hwnd_, nullptr, 700, 300, 1280, 800, SWP_NOZORDER | SWP_NOACTIVATE);
  for (int id : {1, 2}) {
    SCOPED_TRACE(id);
    PostMessageW(hwnd_, WM_HOTKEY, id, 0);
    PumpFor(30ms);
    ExpectRect(At(700, 300, 1280, 800));
  }
  EXPECT_TRUE(window().Lines().empty());
}

}  // namespace
}  // namespace desk
