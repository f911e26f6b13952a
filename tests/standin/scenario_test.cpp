// The stand-in's scenario reader and its own little encoder: the end-to-end tests trust both to
// send exactly the bytes and messages a scenario names, so a fault here would let a product fault
// through.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "standin/engine/dart_wire.h"
#include "standin/engine/scenario.h"

namespace standin {
namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string out;
  char buf[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buf, sizeof buf, i ? " %02X" : "%02X", bytes[i]);
    out += buf;
  }
  return out;
}

TEST(StandinScenario, CallStepsEncodeTheWholeMessage) {
  struct Row {
    const char* line;
    const char* bytes;
  };
  const Row rows[] = {
      {"call destroy", "07 07 64 65 73 74 72 6F 79 00"},
      {"call x int32 -1", "07 01 78 03 FF FF FF FF"},
      {"call x int64 1", "07 01 78 04 01 00 00 00 00 00 00 00"},
      // The double is aligned to 8 counted from the message start: 07 01 78 06 + 4 padding bytes.
      {"call x double 1.0", "07 01 78 06 00 00 00 00 00 00 00 00 00 00 F0 3F"},
      {"call x string a b", "07 01 78 07 03 61 20 62"},
      {"call x true", "07 01 78 01"},
      {"call x null", "07 01 78 00"},
      {"call x hex 0c 01 02", "07 01 78 0C 01 02"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    Scenario s = ParseScenario(row.line);
    ASSERT_TRUE(s.errors.empty()) << s.errors.front();
    ASSERT_EQ(s.steps.size(), 1u);
    EXPECT_EQ(s.steps[0].kind, Step::Kind::kCall);
    EXPECT_EQ(Hex(s.steps[0].bytes), row.bytes);
  }
}

TEST(StandinScenario, LongNamesUseTheWideSizePrefix) {
  std::vector<uint8_t> out;
  AppendSize(out, 253);
  AppendSize(out, 254);
  AppendSize(out, 65535);
  AppendSize(out, 65536);
  EXPECT_EQ(Hex(out), "FD FE FE 00 FE FF FF FF 00 00 01 00");
}

TEST(StandinScenario, PostedMessagesCarryWhatTheKioskReads) {
  Scenario s = ParseScenario(
      "post WM_DPICHANGED 144 -1920 0 0 1080\npost WM_HOTKEY 2\npost WM_HOTKEY 1\n"
      "post WM_FONTCHANGE\npost 0x10 1 2\n");
  ASSERT_TRUE(s.errors.empty()) << s.errors.front();
  ASSERT_EQ(s.steps.size(), 5u);
  EXPECT_EQ(s.steps[0].message, 0x02E0u);
  EXPECT_EQ(s.steps[0].wparam, (144u << 16) | 144u);
  EXPECT_TRUE(s.steps[0].rect_lparam);
  EXPECT_EQ(s.steps[0].rect[0], -1920);
  EXPECT_EQ(s.steps[0].rect[3], 1080);
  EXPECT_EQ(s.steps[1].wparam, 2u);
  EXPECT_EQ(s.steps[1].lparam, (0x27 << 16) | 0x000C);  // VK_RIGHT, MOD_WIN | MOD_SHIFT
  EXPECT_EQ(s.steps[2].lparam, (0x25 << 16) | 0x000C);  // VK_LEFT
  EXPECT_EQ(s.steps[3].message, 0x001Du);
  EXPECT_EQ(s.steps[4].message, 0x0010u);
  EXPECT_EQ(s.steps[4].wparam, 1u);
  EXPECT_EQ(s.steps[4].lparam, 2);
}

TEST(StandinScenario, SettingsApplyToTheRunAndBadLinesAreReported) {
  Scenario s = ParseScenario(
      "# comment\n\ndpi 144\nrefuse-view-controller\nconsume WM_FONTCHANGE 7\n"
      "on-display-event never\nwatchdog 5000\ncall\ncall x int32 99999999999\nsend ch 0\n"
      "post WM_DPICHANGED 144\nfrobnicate\nwait-event timeout=50 applied (fit)*\n"
      "hold-first-frame\nconsole after it\n");
  EXPECT_EQ(s.dpi, 144u);
  EXPECT_TRUE(s.refuse_view_controller);
  ASSERT_EQ(s.consume.count(0x001D), 1u);
  EXPECT_EQ(s.consume.at(0x001D), 7);
  EXPECT_EQ(s.display_event_reply, DisplayEventReply::kNever);
  EXPECT_EQ(s.watchdog_ms, 5000);
  EXPECT_TRUE(s.hold_first_frame);
  EXPECT_EQ(s.errors.size(), 5u);
  EXPECT_NE(s.errors[0].find("line 8:"), std::string::npos) << s.errors[0];
  ASSERT_EQ(s.steps.size(), 2u);
  EXPECT_EQ(s.steps[0].kind, Step::Kind::kWaitEvent);
  EXPECT_EQ(s.steps[0].ms, 50);
  EXPECT_EQ(s.steps[0].text, "applied (fit)*");
  EXPECT_EQ(s.steps[1].kind, Step::Kind::kConsole);
  EXPECT_EQ(s.steps[1].text, "after it");
}

TEST(StandinScenario, EntryArgumentsStandInForDollarDigits) {
  Scenario s = ParseScenario("call x string $1|$2|$3 $$1\n", {"a", "b c"});
  ASSERT_EQ(s.steps.size(), 1u);
  EXPECT_EQ(Hex(s.steps[0].bytes), "07 01 78 07 09 61 7C 62 20 63 7C 20 24 31");  // "a|b c| $1"
}

TEST(StandinScenario, OutgoingEventLinesAreReadBack) {
  const uint8_t message[] = {0x07, 0x0E, 'o', 'n', 'D', 'i', 's',  'p',  'l', 'a',
                             'y',  'E',  'v', 'e', 'n', 't', 0x07, 0x02, 'h', 'i'};
  auto call = DecodeStringCall(message, sizeof message);
  ASSERT_TRUE(call.has_value());
  EXPECT_EQ(call->method, "onDisplayEvent");
  EXPECT_EQ(call->argument, "hi");
  // A string that claims more bytes than the message holds is not read past the end.
  auto cut = DecodeStringCall(message, sizeof message - 1);
  ASSERT_TRUE(cut.has_value());
  EXPECT_FALSE(cut->argument.has_value());
  EXPECT_FALSE(DecodeStringCall(message, 1).has_value());
}

}  // namespace
}  // namespace standin
