// Geometry of the kiosk window on the monitor arrangements the kiosk meets. One fixture per
// arrangement; each fixture lists its monitors in an enumeration order that is NOT left to right,
// because Win32 enumerates the primary monitor first.
#include "window/display_geometry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace display_geometry {

void PrintTo(const Rect& r, std::ostream* os) {
  *os << "(" << r.left << "," << r.top << ")-(" << r.right << "," << r.bottom << ")";
}
void PrintTo(const Point& p, std::ostream* os) { *os << "(" << p.x << "," << p.y << ")"; }

namespace {

Rect WindowAt(int32_t x, int32_t y, int32_t w, int32_t h) { return Rect{x, y, x + w, y + h}; }

// A hot-key move of WINDOW to the NEXT (or previous) monitor that must land at EXPECTED.
struct HotKeyMove {
  const char* what;
  Rect window;
  bool next;
  Point expected;
};

void ExpectMoves(const std::vector<Rect>& sorted, std::initializer_list<HotKeyMove> moves) {
  for (const HotKeyMove& m : moves) {
    SCOPED_TRACE(m.what);
    EXPECT_EQ(AdjacentMonitorPosition(m.window, sorted, m.next), std::optional<Point>(m.expected));
  }
}

// Every enumeration order of a monitor list must sort to the same left-to-right list.
void ExpectEveryOrderSortsTo(std::vector<Rect> monitors, const std::vector<Rect>& expected) {
  std::sort(monitors.begin(), monitors.end(), [](const Rect& a, const Rect& b) {
    return std::tie(a.top, a.left) <
           std::tie(b.top, b.left);  // a start order unrelated to the one tested
  });
  do {
    std::vector<Rect> sorted = monitors;
    SortMonitors(sorted);
    EXPECT_EQ(sorted, expected);
  } while (
      std::next_permutation(monitors.begin(), monitors.end(), [](const Rect& a, const Rect& b) {
        return std::tie(a.top, a.left) < std::tie(b.top, b.left);
      }));
}

// The virtual desk's "three" layout:
//
//   (-1920,0)          (0,0) primary         (1920,0)        (3200,0)
//      +------------------+------------------+----------------+
//      |  1920 x 1080     |  1920 x 1080     |  1280 x 1024   |
//      |                  |                  +----------------+ 1024
//      +------------------+------------------+                  1080
class ThreeAcrossDesk : public ::testing::Test {
 protected:
  const Rect left_{-1920, 0, 0, 1080};
  const Rect primary_{0, 0, 1920, 1080};
  const Rect right_{1920, 0, 3200, 1024};
  // Wine and Windows enumerate the primary first.
  const std::vector<Rect> enumerated_{primary_, left_, right_};
  const std::vector<Rect> sorted_{left_, primary_, right_};
};

TEST_F(ThreeAcrossDesk, SortsLeftToRightWhateverTheEnumerationOrder) {
  ExpectEveryOrderSortsTo(enumerated_, sorted_);
}

TEST_F(ThreeAcrossDesk, FitChoosesTheMiddleMonitorAndPrintsItsNegativeNeighbourSigned) {
  std::vector<Rect> monitors = enumerated_;
  SortMonitors(monitors);
  const std::size_t index = PreferredMonitorIndex(monitors.size());
  EXPECT_EQ(index, 1u);
  EXPECT_EQ(monitors[index], primary_);
  EXPECT_STREQ(FitMonitorsLine(monitors.size(), index).c_str(), "fit monitors=3 index=1");
  EXPECT_STREQ(AppliedLine("fit", monitors[index]).c_str(), "applied (fit) 1920x1080 @0,0");
  EXPECT_STREQ(AppliedLine("fit", left_).c_str(), "applied (fit) 1920x1080 @-1920,0");
}

TEST_F(ThreeAcrossDesk, SpanCoversTheBoundingRectangleOfUnequalMonitors) {
  const Rect bounds = UnionOfMonitors(enumerated_);
  EXPECT_EQ(bounds, (Rect{-1920, 0, 3200, 1080}));
  EXPECT_TRUE(HasUsableExtent(bounds));
  EXPECT_STREQ(SpanMonitorsLine(enumerated_.size()).c_str(), "span monitors=3");
  EXPECT_STREQ(AppliedLine("span", bounds).c_str(), "applied (span) 5120x1080 @-1920,0");
  EXPECT_STREQ(SkipUnchangedLine("span", bounds).c_str(),
               "skip unchanged (span) 5120x1080 @-1920,0");
}

TEST_F(ThreeAcrossDesk, HotKeysWalkTheMonitorsWithWrapAroundAndClamping) {
  // Centred on the primary (work area 1920x1080), the window is at (320,140).
  ExpectMoves(sorted_,
              {{"primary -> right: clamped", WindowAt(320, 140, 1280, 800), true, {1920, 140}},
               {"primary -> left: offset kept", WindowAt(320, 140, 1280, 800), false, {-1600, 140}},
               {"left -> previous wraps", WindowAt(-1600, 140, 1280, 800), false, {1920, 140}},
               {"right -> next wraps", WindowAt(1920, 140, 1280, 800), true, {-1920, 140}},
               {"low -> right: bottom at 1024", WindowAt(100, 280, 1280, 800), true, {1920, 224}}});
}

// Three equal monitors in a row, none with negative coordinates:
//
//   (0,0)            (1920,0)          (3840,0)          (5760,0)
//     +-----------------+-----------------+-----------------+
//     |  1920 x 1080    |  1920 x 1080    |  1920 x 1080    |
//     +-----------------+-----------------+-----------------+
class ThreeEqualDesk : public ::testing::Test {
 protected:
  const std::vector<Rect> sorted_{{0, 0, 1920, 1080}, {1920, 0, 3840, 1080}, {3840, 0, 5760, 1080}};
};

TEST_F(ThreeEqualDesk, HotKeysKeepTheOffsetAndWrapFromTheFirstToTheLast) {
  const Rect window = WindowAt(100, 100, 1280, 800);
  EXPECT_EQ(AdjacentMonitorPosition(window, sorted_, true), (Point{2020, 100}));
  EXPECT_EQ(AdjacentMonitorPosition(window, sorted_, false), (Point{3940, 100}));
}

TEST_F(ThreeEqualDesk, AWindowCentredOnNoMonitorCountsAsOnTheFirst) {
  // Centre (2560, 1500) lies below every monitor: monitor 0 is current, the offset is taken from it
  // and the result clamped into the target's right and bottom edges.
  const Rect window = WindowAt(1920, 1100, 1280, 800);
  EXPECT_EQ(AdjacentMonitorPosition(window, sorted_, true), (Point{2560, 280}));
  EXPECT_EQ(AdjacentMonitorPosition(window, sorted_, false), (Point{4480, 280}));
}

TEST_F(ThreeEqualDesk, TheCentreUsesHalfOpenMonitorEdges) {
  // Centre exactly on x = 1920 belongs to the middle monitor, not the first: "previous" then goes
  // to the first monitor (clamped to its left edge), not wrapping round to the last.
  const Rect window = WindowAt(1280, 100, 1280, 800);
  EXPECT_EQ(CentreOf(window), (Point{1920, 500}));
  EXPECT_EQ(AdjacentMonitorPosition(window, sorted_, false), (Point{0, 100}));
}

// The virtual desk's "two" layout:
//
//   (0,0) primary      (1920,0)           (3840,0)
//     +-----------------+-----------------+
//     |  1920 x 1080    |  1920 x 1080    |
//     +-----------------+-----------------+
class TwoSideBySideDesk : public ::testing::Test {
 protected:
  const Rect left_{0, 0, 1920, 1080};
  const Rect right_{1920, 0, 3840, 1080};
  const std::vector<Rect> enumerated_{right_, left_};
};

TEST_F(TwoSideBySideDesk, FitChoosesTheLeftMonitorAndSpanCoversBoth) {
  std::vector<Rect> monitors = enumerated_;
  SortMonitors(monitors);
  const std::size_t index = PreferredMonitorIndex(monitors.size());
  EXPECT_EQ(index, 0u);
  EXPECT_EQ(monitors[index], left_);
  EXPECT_STREQ(FitMonitorsLine(2, index).c_str(), "fit monitors=2 index=0");
  EXPECT_STREQ(AppliedLine("fit", left_).c_str(), "applied (fit) 1920x1080 @0,0");

  const Rect bounds = UnionOfMonitors(enumerated_);
  EXPECT_EQ(bounds, (Rect{0, 0, 3840, 1080}));
  EXPECT_STREQ(SpanMonitorsLine(2).c_str(), "span monitors=2");
  EXPECT_STREQ(AppliedLine("span", bounds).c_str(), "applied (span) 3840x1080 @0,0");
}

TEST_F(TwoSideBySideDesk, LeavingASpanForWindowedModeLooksAtTheSeamBetweenTheMonitors) {
  // The span's centre is (1920, 540): the right monitor's left edge, so the right monitor holds it.
  const Point centre = CentreOf(UnionOfMonitors(enumerated_));
  EXPECT_EQ(centre, (Point{1920, 540}));
  EXPECT_FALSE(centre.x < left_.right);
  EXPECT_TRUE(right_.left <= centre.x);
}

TEST_F(TwoSideBySideDesk, WindowedModeCentresInTheWorkArea) {
  struct Case {
    const char* what;
    Rect area;
    Point expected;
  };
  const Case cases[] = {
      {"work area above a 40 px task bar", {0, 0, 1920, 1040}, {320, 120}},
      {"right monitor's full area", {1920, 0, 3840, 1080}, {2240, 140}},
      {"area narrower than the window truncates toward zero", {0, 0, 1023, 1040}, {-128, 120}},
      {"odd leftover truncates toward zero", {0, 0, 1921, 1081}, {320, 140}},
      {"area lower than the window", {0, 0, 1920, 599}, {320, -100}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(CentreInArea(c.area, 1280, 800), c.expected);
  }
  EXPECT_EQ(CentreOnScreen(1920, 1080, 1280, 800), (Point{320, 140}));
  EXPECT_EQ(CentreOnScreen(1023, 799, 1280, 800), (Point{-128, 0}));
}

TEST_F(TwoSideBySideDesk, HotKeysFlipBetweenTheTwoInBothDirections) {
  std::vector<Rect> monitors = enumerated_;
  SortMonitors(monitors);
  const Rect on_left = WindowAt(320, 140, 1280, 800);
  EXPECT_EQ(AdjacentMonitorPosition(on_left, monitors, true), (Point{2240, 140}));
  EXPECT_EQ(AdjacentMonitorPosition(on_left, monitors, false), (Point{2240, 140}));
  const Rect on_right = WindowAt(2240, 140, 1280, 800);
  EXPECT_EQ(AdjacentMonitorPosition(on_right, monitors, true), (Point{320, 140}));
}

// The virtual desk's "stacked" layout, same left edge:
//
//   (0,-1080)
//     +-----------------+
//     |  1920 x 1080    |   upper
//   (0,0) primary ------+
//     |  1920 x 1080    |   lower
//     +-----------------+ (1920,1080)
class StackedDesk : public ::testing::Test {
 protected:
  const Rect upper_{0, -1080, 1920, 0};
  const Rect lower_{0, 0, 1920, 1080};
  const std::vector<Rect> enumerated_{lower_, upper_};
};

TEST_F(StackedDesk, SortsTopToBottomAndFitsTheUpperMonitor) {
  ExpectEveryOrderSortsTo(enumerated_, {upper_, lower_});
  std::vector<Rect> monitors = enumerated_;
  SortMonitors(monitors);
  EXPECT_EQ(monitors[PreferredMonitorIndex(2)], upper_);
  EXPECT_STREQ(AppliedLine("fit", upper_).c_str(), "applied (fit) 1920x1080 @0,-1080");
  EXPECT_STREQ(AppliedLine("span", UnionOfMonitors(enumerated_)).c_str(),
               "applied (span) 1920x2160 @0,-1080");
}

TEST_F(StackedDesk, HotKeysMoveVerticallyKeepingTheOffset) {
  std::vector<Rect> monitors = enumerated_;
  SortMonitors(monitors);
  const Rect on_lower = WindowAt(320, 140, 1280, 800);
  EXPECT_EQ(AdjacentMonitorPosition(on_lower, monitors, true), (Point{320, -940}));
  EXPECT_EQ(AdjacentMonitorPosition(on_lower, monitors, false), (Point{320, -940}));
}

// Mixed widths, the narrow monitor on the right:
//
//   (0,0)             (1920,0)        (3200,0)
//     +-----------------+---------------+
//     |  1920 x 1080    |  1280 x 1024  |
//     |                 +---------------+ 1024
//     +-----------------+                 1080
class WideThenNarrowDesk : public ::testing::Test {
 protected:
  const std::vector<Rect> sorted_{{0, 0, 1920, 1080}, {1920, 0, 3200, 1024}};
};

TEST_F(WideThenNarrowDesk, AMoveThatWouldOverhangIsPulledBackInside) {
  ExpectMoves(sorted_,
              {{"clamped to the right edge", WindowAt(1000, 100, 1280, 800), true, {1920, 100}},
               {"clamped to the bottom edge", WindowAt(0, 280, 1280, 800), true, {1920, 224}},
               {"wider than the target: left", WindowAt(0, 0, 1600, 800), true, {1920, 0}},
               {"taller than the target: top", WindowAt(0, 0, 1280, 1080), true, {1920, 0}},
               {"back to the wide: offset kept", WindowAt(1920, 100, 1280, 800), true, {0, 100}}});
}

// The virtual desk's "one" layout:
//
//   (0,0)
//     +-----------------+
//     |  1920 x 1080    |
//     +-----------------+
class SingleMonitorDesk : public ::testing::Test {
 protected:
  const Rect only_{0, 0, 1920, 1080};
};

TEST_F(SingleMonitorDesk, FitAndSpanTargetTheSameRectangleAndHotKeysDoNothing) {
  const std::vector<Rect> monitors{only_};
  EXPECT_EQ(PreferredMonitorIndex(1), 0u);
  EXPECT_EQ(UnionOfMonitors(monitors), only_);
  EXPECT_FALSE(AdjacentMonitorPosition(WindowAt(320, 140, 1280, 800), monitors, true).has_value());
  EXPECT_FALSE(AdjacentMonitorPosition(WindowAt(320, 140, 1280, 800), {}, false).has_value());
}

TEST(PreferredMonitor, IsTheMiddleOrTheLeftOfTheTwoMiddleOnes) {
  const std::size_t expected[] = {0, 0, 0, 1, 1, 2, 2, 3};  // for counts 0..7
  for (std::size_t n = 0; n < std::size(expected); ++n) {
    SCOPED_TRACE(n);
    EXPECT_EQ(PreferredMonitorIndex(n), expected[n]);
  }
}

TEST(MonitorOrder, ComparesLeftEdgesThenTopEdgesSigned) {
  EXPECT_TRUE(MonitorRectLess({-1, 500, 0, 600}, {0, -500, 1, -400}));
  EXPECT_FALSE(MonitorRectLess({0, -500, 1, -400}, {-1, 500, 0, 600}));
  EXPECT_TRUE(MonitorRectLess({0, -1, 10, 10}, {0, 0, 5, 5}));
  // Equal left and top edges are equivalent whatever the size: neither orders first.
  EXPECT_FALSE(MonitorRectLess({0, 0, 10, 10}, {0, 0, 5, 5}));
  EXPECT_FALSE(MonitorRectLess({0, 0, 5, 5}, {0, 0, 10, 10}));
}

TEST(Union, FollowsUnionRectForEmptyOperands) {
  const Rect a{0, 0, 100, 100};
  const Rect empty_wide{500, 500, 400, 900};  // right < left
  const Rect empty_flat{-50, 10, 50, 10};     // bottom == top
  EXPECT_EQ(UnionRect(a, empty_wide), a);
  EXPECT_EQ(UnionRect(empty_flat, a), a);
  EXPECT_EQ(UnionRect(empty_flat, empty_wide), Rect{});
  EXPECT_EQ(UnionRect(a, Rect{-10, 50, 20, 300}), (Rect{-10, 0, 100, 300}));
  EXPECT_EQ(UnionOfMonitors({}), Rect{});
  EXPECT_EQ(UnionOfMonitors({empty_flat, a, empty_wide}), a);
  EXPECT_FALSE(HasUsableExtent(UnionOfMonitors({})));
}

TEST(Union, VirtualScreenStandsInFromItsMetrics) {
  const Rect screen = VirtualScreenRect(-1920, -200, 5120, 1280);
  EXPECT_EQ(screen, (Rect{-1920, -200, 3200, 1080}));
  EXPECT_TRUE(HasUsableExtent(screen));
  EXPECT_FALSE(HasUsableExtent(VirtualScreenRect(0, 0, 0, 1080)));
  EXPECT_FALSE(HasUsableExtent(VirtualScreenRect(0, 0, 1920, -1)));
}

TEST(Extent, ExtremeEdgesNeitherOverflowNorPassAsAWindowSize) {
  const Rect huge{std::numeric_limits<int32_t>::min(), 0, std::numeric_limits<int32_t>::max(), 10};
  EXPECT_EQ(Width(huge), int64_t{std::numeric_limits<uint32_t>::max()});
  EXPECT_FALSE(HasUsableExtent(huge));
  EXPECT_TRUE(HasUsableExtent(Rect{0, 0, std::numeric_limits<int32_t>::max(), 1}));
  EXPECT_FALSE(HasUsableExtent(Rect{5, 5, 5, 6}));
}

TEST(DpiScaling, ScalesByDpiOver96AndTruncatesTowardZero) {
  struct Case {
    unsigned dpi;
    int32_t logical;
    int32_t expected;
  };
  const Case cases[] = {
      {96, 10, 10},    {96, 1280, 1280}, {120, 10, 12},     {120, 1280, 1600},
      {120, 720, 900}, {144, 10, 15},    {144, 1280, 1920}, {144, 720, 1080},
      {120, -10, -12}, {168, 10, 17},    {0, 1280, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.dpi << " dpi, " << c.logical);
    EXPECT_EQ(ScaleForDpi(c.logical, c.dpi), c.expected);
  }
  // An absurd DPI from the engine library must not overflow the conversion.
  EXPECT_EQ(ScaleForDpi(1280, 4000000000u), std::numeric_limits<int32_t>::max());
  EXPECT_EQ(ScaleForDpi(-1280, 4000000000u), std::numeric_limits<int32_t>::min());
}

TEST(EventLines, AreFormattedExactly) {
  const Rect r{-3840, -1080, -1920, 0};
  EXPECT_STREQ(SkipInvalidBoundsLine("span", Rect{}).c_str(),
               "skip invalid bounds (span) l=0 t=0 r=0 b=0");
  EXPECT_STREQ(SkipInvalidBoundsLine("fit", Rect{10, -20, 5, -30}).c_str(),
               "skip invalid bounds (fit) l=10 t=-20 r=5 b=-30");
  EXPECT_STREQ(SkipUnchangedLine("fit", r).c_str(), "skip unchanged (fit) 1920x1080 @-3840,-1080");
  EXPECT_STREQ(AppliedLine("span", r).c_str(), "applied (span) 1920x1080 @-3840,-1080");
  EXPECT_STREQ(SpanMonitorsLine(0).c_str(), "span monitors=0");
  EXPECT_STREQ(FitMonitorsLine(5, 2).c_str(), "fit monitors=5 index=2");
}

TEST(EventLines, AMissingLayoutNamePrintsAQuestionMark) {
  const Rect r{0, 0, 1920, 1080};
  EXPECT_STREQ(AppliedLine(nullptr, r).c_str(), "applied (?) 1920x1080 @0,0");
  EXPECT_STREQ(SkipUnchangedLine(nullptr, r).c_str(), "skip unchanged (?) 1920x1080 @0,0");
  EXPECT_STREQ(SkipInvalidBoundsLine(nullptr, Rect{}).c_str(),
               "skip invalid bounds (?) l=0 t=0 r=0 b=0");
}

TEST(EventLines, AreCutToTheirBufferAndStayTerminated) {
  const std::string label(300, 'x');
  const Rect r{-2147483647 - 1, -2147483647 - 1, 0, 0};

  struct Case {
    const char* what;
    std::string line;
    std::size_t buffer;
    std::string prefix;
  };
  const Case cases[] = {
      {"applied", AppliedLine(label.c_str(), r).c_str(), 192, "applied (" + label},
      {"unchanged", SkipUnchangedLine(label.c_str(), r).c_str(), 160, "skip unchanged (" + label},
      {"invalid", SkipInvalidBoundsLine(label.c_str(), r).c_str(), 160,
       "skip invalid bounds (" + label},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.line.size(), c.buffer - 1);
    EXPECT_EQ(c.line, c.prefix.substr(0, c.buffer - 1));
  }

  // The longest real numbers still fit: the cut only ever bites into over-long labels.
  const std::string invalid = SkipInvalidBoundsLine("span", Rect{-2147483647 - 1, -2147483647 - 1,
                                                                 -2147483647 - 1, -2147483647 - 1})
                                  .c_str();
  EXPECT_EQ(invalid,
            "skip invalid bounds (span) l=-2147483648 t=-2147483648 r=-2147483648 b=-2147483648");
  EXPECT_STREQ(FitMonitorsLine(18446744073709551615ull, 9223372036854775807ull).c_str(),
               "fit monitors=18446744073709551615 index=9223372036854775807");
}

}  // namespace
}  // namespace display_geometry
