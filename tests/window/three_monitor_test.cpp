// The kiosk window on three monitors:
//
//   (-1920,0)          (0,0) primary         (1920,0)        (3200,0)
//      +------------------+------------------+----------------+
//      |  1920 x 1080     |  1920 x 1080     |  1280 x 1024   |
//      |                  |                  +----------------+ 1024
//      |..................|..................|                  1040  work areas end here
//      +------------------+------------------+                  1080
//
// The desk reserves a 40-pixel band along the bottom (as a taskbar would), so each monitor's work
// area differs from its full rectangle except on the right one, which ends above the band.
// The monitor list is real (Xinerama heads through Wine); only the no-monitor cases patch the
// enumeration calls, because no desk can have zero monitors.
#include <gtest/gtest.h>

#include <chrono>
#include <tuple>
#include <vector>

#include "tests/window/window_fixture.h"

namespace desk {
namespace {

using namespace std::chrono_literals;

constexpr RECT kLeft{-1920, 0, 0, 1080};
constexpr RECT kPrimary{0, 0, 1920, 1080};
constexpr RECT kRight{1920, 0, 3200, 1024};
constexpr RECT kUnion{-1920, 0, 3200, 1080};
constexpr RECT kLeftWork{-1920, 0, 0, 1040};
constexpr RECT kPrimaryWork{0, 0, 1920, 1040};

constexpr DWORD kPopup = WS_POPUP | WS_VISIBLE;
constexpr DWORD kTopmostApp = WS_EX_APPWINDOW | WS_EX_TOPMOST;
constexpr DWORD kFramed = WS_OVERLAPPEDWINDOW | WS_VISIBLE;

class ThreeMonitors : public KioskWindowTest {
 protected:
  static void SetUpTestSuite() {
    ExpectDesk({kLeft, kPrimary, kRight}, {kLeftWork, kPrimaryWork, kRight});
  }

  void ExpectKioskPopup(const RECT& expected) {
    ExpectRect(expected);
    EXPECT_EQ(StyleOf(hwnd_), kPopup);
    EXPECT_EQ(ExStyleOf(hwnd_), kTopmostApp);
    EXPECT_TRUE(IsWindowVisible(hwnd_));
  }

  void PostHotKey(int id) {
    PostMessageW(hwnd_, WM_HOTKEY, id,
                 MAKELPARAM(MOD_WIN | MOD_SHIFT, id == 1 ? VK_LEFT : VK_RIGHT));
    PumpFor(30ms);
  }

  void SendDisplayChange() { SendMessageW(hwnd_, WM_DISPLAYCHANGE, 32, MAKELPARAM(5120, 1080)); }
};

TEST_F(ThreeMonitors, CreateLeavesAHiddenFramedWindowAtTheLogicalOriginAndSize) {
  ExpectRect(At(10, 10, 1280, 720));
  EXPECT_FALSE(IsWindowVisible(hwnd_));
  EXPECT_EQ(StyleOf(hwnd_), static_cast<DWORD>(WS_OVERLAPPEDWINDOW));
  EXPECT_EQ(ExStyleOf(hwnd_), 0u);
  EXPECT_FALSE(window().IsKioskLayoutActive());
  WNDCLASSW window_class{};
  EXPECT_TRUE(
      GetClassInfoW(GetModuleHandleW(nullptr), L"FLUTTER_RUNNER_WIN32_WINDOW", &window_class));
  EXPECT_TRUE(window().Lines().empty());
}

TEST_F(ThreeMonitors, FitTakesTheMiddleMonitorAsATopmostPopupWithoutActivatingIt) {
  // The whole monitor, band included: not its work area.
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=3 index=1", "applied (fit) 1920x1080 @0,0"}));
  ExpectKioskPopup(kPrimary);
  EXPECT_NE(GetActiveWindow(), hwnd_);
  EXPECT_TRUE(window().IsKioskLayoutActive());
  // Already visible: Show reports that.
  EXPECT_TRUE(window().Show());

  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=3 index=1", "skip unchanged (fit) 1920x1080 @0,0"}));
  ExpectKioskPopup(kPrimary);
}

TEST_F(ThreeMonitors, ShowOnTheHiddenWindowReportsItWasHidden) {
  EXPECT_FALSE(window().Show());
  EXPECT_TRUE(IsWindowVisible(hwnd_));
  EXPECT_TRUE(window().Show());
}

TEST_F(ThreeMonitors, SpanCoversAllThreeWithTheLeftEdgePrintedSigned) {
  // The union of the whole monitors, band included.
  window().SpanAllDisplays();
  EXPECT_EQ(window().TakeLines(), (Lines{"span monitors=3", "applied (span) 5120x1080 @-1920,0"}));
  ExpectKioskPopup(kUnion);
  EXPECT_TRUE(window().IsKioskLayoutActive());

  window().SpanAllDisplays();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"span monitors=3", "skip unchanged (span) 5120x1080 @-1920,0"}));

  // Same styles, other rectangle: the fit is not "unchanged".
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=3 index=1", "applied (fit) 1920x1080 @0,0"}));
  ExpectKioskPopup(kPrimary);
}

TEST_F(ThreeMonitors, AWindowMovedOffItsLayoutIsNotUnchanged) {
  window().FitPreferredDisplay();
  SetWindowPos(hwnd_, nullptr, 5, 0, 1920, 1080, SWP_NOZORDER | SWP_NOACTIVATE);
  window().TakeLines();
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=3 index=1", "applied (fit) 1920x1080 @0,0"}));
  ExpectKioskPopup(kPrimary);

  // Losing topmost alone also makes the next fit apply again.
  SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=3 index=1", "applied (fit) 1920x1080 @0,0"}));
  ExpectKioskPopup(kPrimary);
}

TEST_F(ThreeMonitors, EachEventLineReachesTheDebuggerAsThreeSeparateWrites) {
  const Lines expected{"[kiosk-display] ",
                       "fit monitors=3 index=1",
                       "\n",
                       "[kiosk-display] ",
                       "applied (fit) 1920x1080 @0,0",
                       "\n",
                       "[kiosk-display] ",
                       "span",
                       "\n"};
  if (!IsDebuggerPresent()) {
    DebugOutputCapture capture;
    window().FitPreferredDisplay();
    window().Report(nullptr);
    window().Report("span");
    EXPECT_EQ(capture.pieces(), expected);
    return;
  }
  // Under the desk's debugger the writes are debug events that never reach this process's
  // handlers; the debugger records each one as a line of its output file before it lets the
  // process go on, so the file already holds them when the calls return.
  ASSERT_FALSE(DebugOutPath().empty())
      << "under a debugger, pass --debug-out=<the debugger's output file>";
  const std::size_t before = ReadDebugOutLines().size();
  window().FitPreferredDisplay();
  window().Report(nullptr);
  window().Report("span");
  const Lines all = ReadDebugOutLines();
  ASSERT_GE(all.size(), before);
  // The debugger's file escapes a line end as the two characters \ and n.
  Lines escaped_expected = expected;
  for (std::string& piece : escaped_expected) {
    if (piece == "\n") piece = "\\n";
  }
  EXPECT_EQ(Lines(all.begin() + static_cast<std::ptrdiff_t>(before), all.end()), escaped_expected);
}

using HotKeyCall = std::tuple<HWND, int, UINT, UINT>;
std::vector<HotKeyCall> hot_key_calls;
void* real_register_hot_key = nullptr;
BOOL WINAPI RecordRegisterHotKey(HWND window, int id, UINT modifiers, UINT virtual_key) {
  hot_key_calls.emplace_back(window, id, modifiers, virtual_key);
  return reinterpret_cast<BOOL(WINAPI*)(HWND, int, UINT, UINT)>(real_register_hot_key)(
      window, id, modifiers, virtual_key);
}

TEST_F(ThreeMonitors, WindowedModeIsAFramedWindowCentredInTheWorkAreaWithTheHotKeys) {
  ASSERT_TRUE(HotKeyFree(VK_LEFT));
  ASSERT_TRUE(HotKeyFree(VK_RIGHT));
  window().FitPreferredDisplay();
  window().TakeLines();

  {
    // Wine ignores MOD_NOREPEAT (a held key repeats the hot-key, and registration conflicts
    // disregard it), so the modifiers are read off the calls.
    ImportPatch record("user32.dll", "RegisterHotKey",
                       reinterpret_cast<void*>(RecordRegisterHotKey));
    ASSERT_TRUE(record.applied());
    real_register_hot_key = record.original();
    hot_key_calls.clear();
    window().EnterWindowedMode();
  }
  constexpr UINT kModifiers = MOD_WIN | MOD_SHIFT | MOD_NOREPEAT;
  EXPECT_EQ(hot_key_calls, (std::vector<HotKeyCall>{{hwnd_, 1, kModifiers, VK_LEFT},
                                                    {hwnd_, 2, kModifiers, VK_RIGHT}}));
  EXPECT_TRUE(window().TakeLines().empty());
  // Centred in the primary's work area, above the band: (1920 - 1280) / 2, (1040 - 800) / 2.
  ExpectRect(At(320, 120, 1280, 800));
  EXPECT_EQ(StyleOf(hwnd_), kFramed);
  EXPECT_EQ(ExStyleOf(hwnd_), static_cast<DWORD>(WS_EX_APPWINDOW));
  EXPECT_TRUE(IsWindowVisible(hwnd_));
  EXPECT_FALSE(window().IsKioskLayoutActive());
  EXPECT_FALSE(HotKeyFree(VK_LEFT));
  EXPECT_FALSE(HotKeyFree(VK_RIGHT));

  // Layout requests are refused without a word while windowed.
  window().SpanAllDisplays();
  window().FitPreferredDisplay();
  EXPECT_TRUE(window().TakeLines().empty());
  ExpectRect(At(320, 120, 1280, 800));
  EXPECT_EQ(StyleOf(hwnd_), kFramed);
  EXPECT_FALSE(window().IsKioskLayoutActive());

  // Leaving windowed mode drops the hot-keys and nothing else.
  window().ExitWindowedMode();
  EXPECT_TRUE(HotKeyFree(VK_LEFT));
  EXPECT_TRUE(HotKeyFree(VK_RIGHT));
  ExpectRect(At(320, 120, 1280, 800));
  EXPECT_EQ(StyleOf(hwnd_), kFramed);
  EXPECT_FALSE(window().IsKioskLayoutActive());

  // The next layout request works again; a framed window never counts as unchanged.
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=3 index=1", "applied (fit) 1920x1080 @0,0"}));
  ExpectKioskPopup(kPrimary);
  EXPECT_TRUE(window().IsKioskLayoutActive());
}

TEST_F(ThreeMonitors, HotKeysMoveTheWindowedWindowWithWrapAroundAndClamping) {
  window().EnterWindowedMode();
  ExpectRect(At(320, 120, 1280, 800));

  struct Step {
    int hot_key;
    RECT expected;
    const char* what;
  };
  const Step steps[] = {
      {2, At(1920, 120, 1280, 800), "primary -> right, clamped to its right edge"},
      {2, At(-1920, 120, 1280, 800), "right -> wraps to the left monitor"},
      {1, At(1920, 120, 1280, 800), "left -> previous wraps to the right monitor"},
      {1, At(0, 120, 1280, 800), "right -> primary keeps the offset"},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    PostHotKey(step.hot_key);
    ExpectRect(step.expected);
    EXPECT_EQ(StyleOf(hwnd_), kFramed);
    EXPECT_EQ(ExStyleOf(hwnd_), static_cast<DWORD>(WS_EX_APPWINDOW));
  }
  EXPECT_TRUE(window().Lines().empty());

  // Unknown hot-key ids, and the known ones outside windowed mode, move nothing.
  PostHotKey(3);
  ExpectRect(At(0, 120, 1280, 800));
  window().ExitWindowedMode();
  PostHotKey(2);
  ExpectRect(At(0, 120, 1280, 800));
}

TEST_F(ThreeMonitors, HotKeyMoveOfAWindowLowOnThePrimaryClampsToTheShorterMonitor) {
  window().EnterWindowedMode();
  SetWindowPos(hwnd_, nullptr, 100, 280, 1280, 800, SWP_NOZORDER | SWP_NOACTIVATE);
  // Down to y 1080 on the left monitor: over its band, as clamping takes whole monitors.
  PostHotKey(1);
  ExpectRect(At(-1820, 280, 1280, 800));
  PostHotKey(2);
  PostHotKey(2);
  ExpectRect(At(1920, 224, 1280, 800));
}

TEST_F(ThreeMonitors, EnteringWindowedModeFromTheSpanCentresOnTheMonitorUnderItsCentre) {
  window().SpanAllDisplays();
  // Span centre (640, 540) is on the primary.
  window().EnterWindowedMode();
  ExpectRect(At(320, 120, 1280, 800));
  // Entering again re-centres on the monitor the window is on now.
  SetWindowPos(hwnd_, nullptr, 2000, 100, 1280, 800, SWP_NOZORDER | SWP_NOACTIVATE);
  window().EnterWindowedMode();
  ExpectRect(At(1920, 112, 1280, 800));  // work area of the 1280 x 1024 monitor
}

// At a display change, a windowed window whose centre is on no monitor is centred in the work area
// of the nearest one: here the right-hand one, not the primary. A minimized window sits off every
// monitor wherever it belongs; it is judged by the place it is restored to, and stays minimized.
TEST_F(ThreeMonitors, ADisplayChangeMovesAWindowedWindowOnNoMonitorToTheNearestOne) {
  const RECT past_right = At(2570, 100, 1280, 800);  // centre (3210, 500): 10 px right of it
  const Lines moved{"WM_DISPLAYCHANGE", "applied (windowed) 1280x800 @1920,112"};
  struct Case {
    const char* name;
    RECT placed;
    bool minimized;
    Lines lines;
    RECT restored;
  };
  const Case cases[] = {
      {"centre just right of the right-hand monitor", past_right, false, moved,
       At(1920, 112, 1280, 800)},
      {"minimized, restored on the primary", At(320, 120, 1280, 800), true,
       Lines{"WM_DISPLAYCHANGE"}, At(320, 120, 1280, 800)},
      {"minimized, restored right of the right-hand monitor", past_right, true, moved,
       At(1920, 112, 1280, 800)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    window().EnterWindowedMode();
    SetWindowPos(hwnd_, nullptr, c.placed.left, c.placed.top, 1280, 800,
                 SWP_NOZORDER | SWP_NOACTIVATE);
    if (c.minimized) ShowWindow(hwnd_, SW_SHOWMINNOACTIVE);
    ASSERT_EQ(IsIconic(hwnd_) != FALSE, c.minimized);
    window().TakeLines();
    SendDisplayChange();
    EXPECT_EQ(window().TakeLines(), c.lines);
    EXPECT_EQ(IsIconic(hwnd_) != FALSE, c.minimized);
    if (c.minimized) ShowWindow(hwnd_, SW_RESTORE);
    ExpectRect(c.restored);
  }
}

TEST_F(ThreeMonitors, ALayoutReEnteredFromASynchronousMessageIsRefused) {
  bool armed = true;
  window().on_message = [&](UINT message) {
    if (message != WM_SIZE || !armed) return;
    armed = false;
    window().SpanAllDisplays();
    window().FitPreferredDisplay();
  };
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(), (Lines{"fit monitors=3 index=1", "skip reentrant span",
                                         "skip reentrant fit", "applied (fit) 1920x1080 @0,0"}));
  EXPECT_FALSE(armed);
  ExpectKioskPopup(kPrimary);

  // The refused span did not become the current layout: a resync re-applies the fit.
  window().on_message = nullptr;
  SendDisplayChange();
  ASSERT_TRUE(PumpUntil([&] { return window().Lines().size() >= 10; }, 1500ms));
  EXPECT_EQ(window().TakeLines(),
            (Lines{"WM_DISPLAYCHANGE", "debounced resync scheduled", "resync timer fire",
                   "fit monitors=3 index=1", "skip unchanged (fit) 1920x1080 @0,0",
                   "resync follow-up scheduled"}));
}

// The moments the window armed a timer, taken in the call itself, so that the delays below are
// the timer's own and not the reporting around it.
void* real_set_timer = nullptr;
std::vector<Clock::time_point> timer_arms;
UINT_PTR WINAPI StampedSetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  timer_arms.push_back(Clock::now());
  return reinterpret_cast<UINT_PTR(WINAPI*)(HWND, UINT_PTR, UINT, TIMERPROC)>(real_set_timer)(
      hwnd, id, elapse, proc);
}

TEST_F(ThreeMonitors, ABurstOfDisplayChangesGivesOneTickAfterTheLastAndOneFollowUp) {
  window().FitPreferredDisplay();
  window().ClearEvents();
  ImportPatch stamped("user32.dll", "SetTimer", reinterpret_cast<void*>(StampedSetTimer));
  ASSERT_TRUE(stamped.applied());
  real_set_timer = stamped.original();
  timer_arms.clear();
  std::vector<Clock::time_point> ticks;
  window().on_message = [&](UINT message) {
    if (message == WM_TIMER) ticks.push_back(Clock::now());
  };

  for (int i = 0; i < 5; ++i) {
    if (i > 0) PumpFor(100ms);
    SendDisplayChange();
  }
  PumpFor(1400ms);
  window().on_message = nullptr;

  Lines expected;
  for (int i = 0; i < 5; ++i) {
    expected.push_back("WM_DISPLAYCHANGE");
    expected.push_back("debounced resync scheduled");
  }
  for (const char* line :
       {"resync timer fire", "fit monitors=3 index=1", "skip unchanged (fit) 1920x1080 @0,0",
        "resync follow-up scheduled", "resync timer fire", "fit monitors=3 index=1",
        "skip unchanged (fit) 1920x1080 @0,0"}) {
    expected.push_back(line);
  }
  ASSERT_EQ(window().Lines(), expected);
  ASSERT_EQ(timer_arms.size(), 6u);  // five debounces, one follow-up
  ASSERT_EQ(ticks.size(), 2u);

  using std::chrono::duration_cast;
  using std::chrono::milliseconds;
  const auto debounce = duration_cast<milliseconds>(ticks[0] - timer_arms[4]).count();
  const auto follow_up = duration_cast<milliseconds>(ticks[1] - timer_arms[5]).count();
  // Wine fires timers within about 1 ms (36 ms seen at worst with both cores busy); the upper
  // bounds leave 120 ms for a loaded machine and still fail a delay taken from the other timer
  // (450 for the follow-up) or anything from 570 ms on for the debounce.
  EXPECT_GE(debounce, 445) << "first tick too early";
  EXPECT_LT(debounce, 570) << "first tick too late";
  EXPECT_GE(follow_up, 295) << "follow-up too early";
  EXPECT_LT(follow_up, 420) << "follow-up too late";
}

TEST_F(ThreeMonitors, TheResyncReappliesTheSpanAfterADpiChange) {
  window().SpanAllDisplays();
  window().TakeLines();

  RECT suggested = At(100, 100, 800, 600);
  SendMessageW(hwnd_, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  EXPECT_EQ(window().TakeLines(),
            (Lines{"WM_DPICHANGED (kiosk debounce)", "debounced resync scheduled"}));
  ExpectKioskPopup(kUnion);  // the suggested rectangle is ignored during a layout

  // Something moves the window before the tick: the tick puts it back.
  SetWindowPos(hwnd_, nullptr, 0, 0, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE);
  ASSERT_TRUE(PumpUntil([&] { return window().Lines().size() >= 9; }, 2000ms));
  PumpFor(100ms);
  EXPECT_EQ(window().TakeLines(),
            (Lines{"resync timer fire", "span monitors=3", "applied (span) 5120x1080 @-1920,0",
                   "resync follow-up scheduled", "resync timer fire", "span monitors=3",
                   "skip unchanged (span) 5120x1080 @-1920,0"}));
  ExpectKioskPopup(kUnion);
}

TEST_F(ThreeMonitors, ADpiChangeCausedByTheTicksOwnLayoutIsFoldedIntoTheFollowUp) {
  window().FitPreferredDisplay();
  window().TakeLines();
  SendDisplayChange();
  // Before the tick the window is moved off the monitor, so the tick's fit really moves it; that
  // move arrives at a monitor of "another DPI" (a WM_DPICHANGED sent from inside the move).
  SetWindowPos(hwnd_, nullptr, 40, 0, 1920, 1080, SWP_NOZORDER | SWP_NOACTIVATE);
  bool inside_tick = false;
  window().on_message = [&](UINT message) {
    if (message == WM_TIMER) inside_tick = true;
    if (message != WM_MOVE || !inside_tick) return;
    inside_tick = false;
    RECT suggested = At(0, 0, 2880, 1620);
    SendMessageW(hwnd_, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&suggested));
  };
  const bool complete = PumpUntil([&] { return window().Lines().size() >= 2 + 11; }, 2500ms);
  window().on_message = nullptr;
  if (!complete) {
    for (const std::string& line : window().Lines()) ADD_FAILURE() << line;
    return;
  }
  PumpFor(800ms);
  const Lines lines = window().TakeLines();
  EXPECT_EQ(lines, (Lines{"WM_DISPLAYCHANGE", "debounced resync scheduled", "resync timer fire",
                          "fit monitors=3 index=1", "WM_DPICHANGED (kiosk debounce)",
                          "debounced resync scheduled", "applied (fit) 1920x1080 @0,0",
                          "resync follow-up scheduled", "resync timer fire",
                          "fit monitors=3 index=1", "skip unchanged (fit) 1920x1080 @0,0"}));
  ExpectKioskPopup(kPrimary);
}

TEST_F(ThreeMonitors, EnteringWindowedModeCancelsAPendingResync) {
  window().FitPreferredDisplay();
  window().TakeLines();
  SendDisplayChange();
  window().EnterWindowedMode();
  PumpFor(900ms);
  EXPECT_EQ(window().TakeLines(), (Lines{"WM_DISPLAYCHANGE", "debounced resync scheduled"}));
  ExpectRect(At(320, 120, 1280, 800));

  // Windowed, and after leaving it before a new layout: the name line only, no timer.
  SendDisplayChange();
  window().ExitWindowedMode();
  SendDisplayChange();
  PumpFor(600ms);
  EXPECT_EQ(window().TakeLines(), (Lines{"WM_DISPLAYCHANGE", "WM_DISPLAYCHANGE"}));
}

TEST_F(ThreeMonitors, ADisplayChangeBeforeAnyLayoutReportsOnlyItsName) {
  SendDisplayChange();
  PumpFor(600ms);
  EXPECT_EQ(window().TakeLines(), (Lines{"WM_DISPLAYCHANGE"}));
  EXPECT_FALSE(IsWindowVisible(hwnd_));
}

TEST_F(ThreeMonitors, ARealDisplaySettingsBroadcastReachesTheDebounce) {
  window().FitPreferredDisplay();
  window().TakeLines();
  // Asking for the registry's display mode changes nothing and still broadcasts WM_DISPLAYCHANGE.
  ChangeDisplaySettingsExW(nullptr, nullptr, nullptr, 0, nullptr);
  ASSERT_TRUE(PumpUntil([&] { return window().Lines().size() >= 2; }, 2000ms))
      << "no WM_DISPLAYCHANGE arrived";
  EXPECT_EQ(window().TakeLines(), (Lines{"WM_DISPLAYCHANGE", "debounced resync scheduled"}));
}

TEST_F(ThreeMonitors, ADpiChangeOutsideALayoutAppliesTheSuggestedRectangle) {
  RECT suggested = At(-1800, 50, 1600, 900);
  SendMessageW(hwnd_, WM_DPICHANGED, MAKEWPARAM(120, 120), reinterpret_cast<LPARAM>(&suggested));
  ExpectRect(suggested);
  EXPECT_FALSE(IsWindowVisible(hwnd_));  // moved and sized, not shown
  EXPECT_TRUE(window().Lines().empty());

  window().EnterWindowedMode();
  RECT in_windowed = At(2000, 60, 1000, 700);
  SendMessageW(hwnd_, WM_DPICHANGED, MAKEWPARAM(120, 120), reinterpret_cast<LPARAM>(&in_windowed));
  ExpectRect(in_windowed);
  EXPECT_EQ(StyleOf(hwnd_), kFramed);
  EXPECT_TRUE(window().Lines().empty());
}

TEST_F(ThreeMonitors, TheContentWindowFillsTheClientAreaThroughEveryLayout) {
  HWND parking = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 nullptr, nullptr);
  HWND content = CreateWindowExW(0, L"STATIC", L"", WS_CHILD | WS_VISIBLE, 0, 0, 10, 10, parking,
                                 nullptr, nullptr, nullptr);
  ASSERT_NE(content, nullptr);
  window().AttachContent(content);
  EXPECT_EQ(GetParent(content), hwnd_);

  auto expect_fills = [&](const char* when) {
    SCOPED_TRACE(when);
    RECT client{};
    GetClientRect(hwnd_, &client);
    RECT child{};
    GetWindowRect(content, &child);
    MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&child), 2);
    EXPECT_TRUE(SameRect(child, client))
        << "content " << Describe(child) << ", client " << Describe(client);
  };
  expect_fills("attached");
  window().FitPreferredDisplay();
  expect_fills("fit");
  window().SpanAllDisplays();
  expect_fills("span");
  window().EnterWindowedMode();
  expect_fills("windowed");
  SetWindowPos(hwnd_, nullptr, 0, 0, 900, 600, SWP_NOZORDER | SWP_NOMOVE | SWP_NOACTIVATE);
  expect_fills("resized by WM_SIZE");

  // Activation, in either direction, hands the keyboard focus back to the content.
  for (WPARAM state : {WPARAM{WA_ACTIVE}, WPARAM{WA_INACTIVE}}) {
    SCOPED_TRACE(state);
    SetFocus(nullptr);
    ASSERT_NE(GetFocus(), content);
    SendMessageW(hwnd_, WM_ACTIVATE, state, 0);
    EXPECT_EQ(GetFocus(), content);
  }
  DestroyWindow(parking);
}

// Stand-ins for the enumeration calls, for the cases no desk can produce.
BOOL WINAPI EnumerateNoMonitors(HDC, LPCRECT, MONITORENUMPROC, LPARAM) { return TRUE; }

void* real_get_system_metrics = nullptr;
int WINAPI NoVirtualScreen(int index) {
  if (index == SM_CXVIRTUALSCREEN || index == SM_CYVIRTUALSCREEN) return 0;
  return reinterpret_cast<int(WINAPI*)(int)>(real_get_system_metrics)(index);
}

void* real_get_monitor_info = nullptr;
BOOL WINAPI PrimaryInfoUnreadable(HMONITOR monitor, LPMONITORINFO info) {
  const BOOL ok = reinterpret_cast<BOOL(WINAPI*)(HMONITOR, LPMONITORINFO)>(real_get_monitor_info)(
      monitor, info);
  if (ok && (info->dwFlags & MONITORINFOF_PRIMARY) != 0) return FALSE;
  return ok;
}

// A DPI per monitor, as Windows can have it (Wine reports one DPI for all): 120 on the left
// monitor, 144 on the right one, 96 on the primary.
UINT WINAPI DpiPerMonitor(HMONITOR monitor) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(monitor, &info);
  if (info.rcMonitor.left < 0) return 120;
  if (info.rcMonitor.left >= 1920) return 144;
  return 96;
}

TEST_F(ThreeMonitors, CreateScalesByTheDpiOfTheMonitorUnderTheUnscaledOrigin) {
  ImportPatch dpi("flutter_windows.dll", "FlutterDesktopGetDpiForMonitor",
                  reinterpret_cast<void*>(DpiPerMonitor));
  ASSERT_TRUE(dpi.applied());
  struct Case {
    const char* what;
    Win32Window::Point origin;
    RECT expected;
  };
  const Case cases[] = {
      // -1900 * 1.25 = -2375, 10 * 1.25 = 12.5 -> 12
      {"origin on the left monitor (120 dpi)", {-1900, 10}, At(-2375, 12, 1600, 900)},
      // The window would reach the 144 dpi monitor, but the origin is on the primary.
      {"origin on the primary (96 dpi)", {1900, 10}, At(1900, 10, 1280, 720)},
      {"origin on the right monitor (144 dpi)", {2000, 10}, At(3000, 15, 1920, 1080)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(window().Create(L"scaled", c.origin, Win32Window::Size{1280, 720}));
    hwnd_ = window().GetWindowHandle();
    ExpectRect(c.expected);
    EXPECT_FALSE(IsWindowVisible(hwnd_));
  }
}

TEST_F(ThreeMonitors, WithoutMonitorsFitSkipsAndSpanFallsBackToTheVirtualScreen) {
  ImportPatch no_monitors("user32.dll", "EnumDisplayMonitors",
                          reinterpret_cast<void*>(EnumerateNoMonitors));
  ASSERT_TRUE(no_monitors.applied());

  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(), (Lines{"skip fit: no monitors"}));
  EXPECT_FALSE(IsWindowVisible(hwnd_));
  EXPECT_TRUE(window().IsKioskLayoutActive());  // recorded as current all the same

  window().SpanAllDisplays();
  EXPECT_EQ(window().TakeLines(), (Lines{"span monitors=0", "applied (span) 5120x1080 @-1920,0"}));
  ExpectKioskPopup(kUnion);

  {
    ImportPatch empty_screen("user32.dll", "GetSystemMetrics",
                             reinterpret_cast<void*>(NoVirtualScreen));
    ASSERT_TRUE(empty_screen.applied());
    real_get_system_metrics = empty_screen.original();
    window().SpanAllDisplays();
    EXPECT_EQ(window().TakeLines(), (Lines{"skip span: invalid bounds"}));
    ExpectKioskPopup(kUnion);
  }
}

TEST_F(ThreeMonitors, AMonitorWhoseInformationCannotBeReadIsLeftOut) {
  ImportPatch unreadable("user32.dll", "GetMonitorInfoW",
                         reinterpret_cast<void*>(PrimaryInfoUnreadable));
  ASSERT_TRUE(unreadable.applied());
  real_get_monitor_info = unreadable.original();
  window().FitPreferredDisplay();
  EXPECT_EQ(window().TakeLines(),
            (Lines{"fit monitors=2 index=0", "applied (fit) 1920x1080 @-1920,0"}));
  ExpectKioskPopup(kLeft);
}

BOOL WINAPI NoMonitorInfo(HMONITOR, LPMONITORINFO) { return FALSE; }

TEST_F(ThreeMonitors, WindowedModeWithoutMonitorInformationCentresOnThePrimaryScreen) {
  SetWindowPos(hwnd_, nullptr, 2000, 100, 1280, 800, SWP_NOZORDER | SWP_NOACTIVATE);
  ImportPatch unreadable("user32.dll", "GetMonitorInfoW", reinterpret_cast<void*>(NoMonitorInfo));
  ASSERT_TRUE(unreadable.applied());
  window().EnterWindowedMode();
  // Neither the right monitor's work area ((1920, 112)) nor the primary's ((320, 120)): the
  // primary screen's metrics.
  ExpectRect(At(320, 140, 1280, 800));
  EXPECT_EQ(StyleOf(hwnd_), kFramed);
}

TEST_F(ThreeMonitors, ApplyBoundsRefusesAnEmptyTargetAndLabelsAMissingName) {
  EXPECT_FALSE(window().ApplyBounds(RECT{0, 0, 0, 0}, "fit"));
  EXPECT_FALSE(window().ApplyBounds(RECT{100, -100, 50, 300}, nullptr));
  EXPECT_EQ(window().TakeLines(), (Lines{"skip invalid bounds (fit) l=0 t=0 r=0 b=0",
                                         "skip invalid bounds (?) l=100 t=-100 r=50 b=300"}));
  EXPECT_FALSE(IsWindowVisible(hwnd_));

  EXPECT_TRUE(window().ApplyBounds(kLeft, nullptr));
  EXPECT_EQ(window().TakeLines(), (Lines{"applied (?) 1920x1080 @-1920,0"}));
  ExpectKioskPopup(kLeft);
}

HWND WINAPI RefuseWindow(DWORD, LPCWSTR, LPCWSTR, DWORD, int, int, int, int, HWND, HMENU, HINSTANCE,
                         LPVOID) {
  SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  return nullptr;
}

TEST_F(ThreeMonitors, CreateFailsWhenTheWindowCannotBeMadeOrTheHookRefuses) {
  EXPECT_EQ(window().create_hook_runs, 1);
  {
    ImportPatch no_window("user32.dll", "CreateWindowExW", reinterpret_cast<void*>(RefuseWindow));
    ASSERT_TRUE(no_window.applied());
    EXPECT_FALSE(
        window().Create(L"refused", Win32Window::Point{10, 10}, Win32Window::Size{1280, 720}));
  }
  EXPECT_EQ(window().create_hook_runs, 1) << "the hook ran without a window";
  EXPECT_FALSE(IsWindow(hwnd_)) << "the old window survived a new Create";
  EXPECT_EQ(window().GetWindowHandle(), nullptr);

  window().accept_create = false;
  EXPECT_FALSE(
      window().Create(L"hook refuses", Win32Window::Point{10, 10}, Win32Window::Size{1280, 720}));
  EXPECT_EQ(window().create_hook_runs, 2);
  // The window is left in place, hidden, for the destructor to take down.
  hwnd_ = window().GetWindowHandle();
  ASSERT_NE(hwnd_, nullptr);
  EXPECT_TRUE(IsWindow(hwnd_));
  EXPECT_FALSE(IsWindowVisible(hwnd_));
  window_.reset();
  EXPECT_FALSE(IsWindow(hwnd_));
}

TEST_F(ThreeMonitors, DestroyingTheWindowPostsQuitOnlyWhenAsked) {
  window().SetQuitOnDestroy(true);
  DestroyWindow(hwnd_);
  EXPECT_EQ(window().GetWindowHandle(), nullptr);
  EXPECT_FALSE(IsWindow(hwnd_));
  MSG quit{};
  ASSERT_TRUE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_EQ(quit.wParam, 0u);
  // Layout calls on an object without a window do nothing.
  window().FitPreferredDisplay();
  window().SpanAllDisplays();
  window().EnterWindowedMode();
  EXPECT_TRUE(window().Lines().empty());

  // A second Create brings up a new window; without quit-on-destroy no quit is posted.
  window().SetQuitOnDestroy(false);
  ASSERT_TRUE(window().Create(L"again", Win32Window::Point{10, 10}, Win32Window::Size{1280, 720}));
  const HWND second = window().GetWindowHandle();
  ASSERT_NE(second, nullptr);
  DestroyWindow(second);
  EXPECT_FALSE(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

TEST_F(ThreeMonitors, TheLastObjectUnregistersTheClassAndANewOneRegistersItAgain) {
  WNDCLASSW window_class{};
  auto second = std::make_unique<RecordingWindow>();
  window_.reset();
  EXPECT_FALSE(IsWindow(hwnd_));
  EXPECT_TRUE(
      GetClassInfoW(GetModuleHandleW(nullptr), L"FLUTTER_RUNNER_WIN32_WINDOW", &window_class))
      << "unregistered while another object is alive";
  second.reset();
  EXPECT_FALSE(
      GetClassInfoW(GetModuleHandleW(nullptr), L"FLUTTER_RUNNER_WIN32_WINDOW", &window_class));

  window_ = std::make_unique<RecordingWindow>();
  ASSERT_TRUE(window_->Create(L"again", Win32Window::Point{10, 10}, Win32Window::Size{1280, 720}));
  EXPECT_TRUE(
      GetClassInfoW(GetModuleHandleW(nullptr), L"FLUTTER_RUNNER_WIN32_WINDOW", &window_class));
  hwnd_ = window_->GetWindowHandle();
}

TEST_F(ThreeMonitors, TimerAndHotKeyMessagesOutsideTheirConditionsGoToDefaultProcessing) {
  window().FitPreferredDisplay();
  window().TakeLines();
  SendMessageW(hwnd_, WM_TIMER, 1002, 0);
  SendMessageW(hwnd_, WM_HOTKEY, 2, 0);
  PumpFor(50ms);
  EXPECT_TRUE(window().TakeLines().empty());
  ExpectKioskPopup(kPrimary);
  // Timer 1001 by hand is one resync run: it re-applies the fit and arms no follow-up.
  SendMessageW(hwnd_, WM_TIMER, 1001, 0);
  PumpFor(500ms);
  EXPECT_EQ(window().TakeLines(), (Lines{"resync timer fire", "fit monitors=3 index=1",
                                         "skip unchanged (fit) 1920x1080 @0,0"}));
}

}  // namespace
}  // namespace desk
