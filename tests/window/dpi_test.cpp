// Create scales the logical origin and size by the DPI that the engine library reports for the
// monitor under the origin. The desk sets the DPI (LogPixels); the expected DPI is the argument
// --expect-dpi=<96|120|144>.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>

#include "embedding/flutter_desktop.h"
#include "tests/window/desk_support.h"

namespace {

unsigned expected_dpi = 0;

TEST(CreateOnAScaledMonitor, ScalesOriginAndSizeAndTruncatesTowardZero) {
  ASSERT_NE(expected_dpi, 0u) << "run with --expect-dpi=<dpi>";
  const HMONITOR under_origin = MonitorFromPoint(POINT{10, 10}, MONITOR_DEFAULTTONEAREST);
  ASSERT_EQ(FlutterDesktopGetDpiForMonitor(under_origin), expected_dpi)
      << "the desk is not at the expected DPI";

  struct Expected {
    unsigned dpi;
    RECT rect;
  };
  // 10 * 1.25 = 12.5 truncates to 12.
  const Expected table[] = {
      {96, {10, 10, 1290, 730}}, {120, {12, 12, 1612, 912}}, {144, {15, 15, 1935, 1095}}};
  const Expected* expected = nullptr;
  for (const Expected& e : table) {
    if (e.dpi == expected_dpi) expected = &e;
  }
  ASSERT_NE(expected, nullptr) << "no expectation for " << expected_dpi << " dpi";

  auto window = std::make_unique<desk::RecordingWindow>();
  ASSERT_TRUE(window->Create(L"scaled", Win32Window::Point{10, 10}, Win32Window::Size{1280, 720}));
  const RECT actual = desk::WindowRect(window->GetWindowHandle());
  EXPECT_TRUE(desk::SameRect(actual, expected->rect)) << desk::Describe(actual);
  EXPECT_FALSE(IsWindowVisible(window->GetWindowHandle()));
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--expect-dpi=", 13) == 0)
      expected_dpi = static_cast<unsigned>(std::atoi(argv[i] + 13));
  }
  return RUN_ALL_TESTS();
}
