// The scenario statements the fault scenarios are built on: a burst must repeat exactly the step
// it names, and a malformed burst must be reported rather than run as something else (a storm
// that silently became one message would let a debounce fault through).
#include <gtest/gtest.h>

#include <string>

#include "standin/engine/scenario.h"

namespace standin {
namespace {

TEST(BurstScenario, RepeatsTheNamedStep) {
  Scenario s = ParseScenario(
      "burst 200 2000 post WM_DISPLAYCHANGE\n"
      "burst 3 0 send com.example/x 01 02\n"
      "burst 7 70 call fitPreferredDisplay\n"
      "post WM_CLOSE\n"
      "resources after the storm\n");
  ASSERT_TRUE(s.errors.empty()) << s.errors.front();
  ASSERT_EQ(s.steps.size(), 5u);
  struct Row {
    Step::Kind kind;
    int repeat;
    int spread_ms;
  };
  const Row rows[] = {{Step::Kind::kPost, 200, 2000},
                      {Step::Kind::kSend, 3, 0},
                      {Step::Kind::kCall, 7, 70},
                      {Step::Kind::kPost, 1, 0},
                      {Step::Kind::kResources, 1, 0}};
  for (size_t i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(s.steps[i].kind, rows[i].kind);
    EXPECT_EQ(s.steps[i].repeat, rows[i].repeat);
    EXPECT_EQ(s.steps[i].spread_ms, rows[i].spread_ms);
  }
  EXPECT_EQ(s.steps[0].message, 0x007Eu);
  EXPECT_EQ(s.steps[1].text, "com.example/x");
  EXPECT_EQ(s.steps[1].bytes, (std::vector<uint8_t>{0x01, 0x02}));
  EXPECT_EQ(s.steps[2].text, "fitPreferredDisplay");
  EXPECT_EQ(s.steps[4].text, "after the storm");
}

TEST(BurstScenario, MalformedBurstsAreReportedAndNotRun) {
  const char* lines[] = {
      "burst 0 10 post WM_CLOSE",  // no repetitions
      "burst 5 post WM_CLOSE",     // no spread
      "burst 5 -1 post WM_CLOSE",  // negative spread
      "burst 5 10 wait 3",         // not a repeatable step
      "burst 5 10 quit",
      "burst 2000000 0 post WM_CLOSE",  // beyond the limit
  };
  for (const char* line : lines) {
    SCOPED_TRACE(line);
    Scenario s = ParseScenario(line);
    EXPECT_EQ(s.errors.size(), 1u);
    EXPECT_TRUE(s.steps.empty());
  }
}

}  // namespace
}  // namespace standin
