// Malformed and hostile messages: refused announcements, the nesting limit, the per-message
// budget, and the time and memory that decoding them takes.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "codec/read_limits.h"
#include "codec/standard_codec_serializer.h"
#include "codec/standard_method_codec.h"
#include "codec_test_support.h"

namespace flutter {
namespace {

using codec_test::AllocationMeter;
using codec_test::CallByCallReader;
using codec_test::CerrCapture;
using codec_test::Describe;
using codec_test::Hex;
using codec_test::kPaths;
using codec_test::Name;
using codec_test::Path;

using codec_test::kInvalidRead;
constexpr char kTooDeep[] =
    "Value nested deeper than 128 levels in StandardCodecSerializer::ReadValueOfType";

std::string Unbacked(uint32_t size, size_t remaining) {
  return "Size " + std::to_string(size) + " exceeds the remaining " + std::to_string(remaining) +
         " bytes in StandardCodecSerializer::ReadValueOfType";
}

std::string OverBudget(uint32_t size) {
  return "Size " + std::to_string(size) +
         " exceeds the message's decoding budget in StandardCodecSerializer::ReadValueOfType";
}

struct Outcome {
  EncodableValue value;
  size_t position = 0;
  std::vector<std::string> lines;
  size_t line_count = 0;
  size_t peak_bytes = 0;
  double seconds = 0;
};

Outcome DecodeMetered(const std::vector<uint8_t>& bytes, Path path = Path::kPlainBuffer) {
  Outcome outcome;
  CerrCapture capture(16);
  const auto start = std::chrono::steady_clock::now();
  {
    AllocationMeter meter;
    {
      ByteBufferStreamReader plain(bytes.data(), bytes.size());
      CallByCallReader call_by_call(bytes.data(), bytes.size());
      ByteBufferStreamReader& reader = path == Path::kPlainBuffer ? plain : call_by_call;
      EncodableValue value = StandardCodecSerializer::SharedInstance().ReadValue(&reader);
      outcome.position = reader.position();
      outcome.peak_bytes = meter.peak_bytes();
      outcome.value = std::move(value);
    }
  }
  outcome.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  outcome.lines = capture.lines();
  outcome.line_count = capture.line_count();
  return outcome;
}

// The bound asked of decoding: a small factor of the message plus a fixed allowance.
size_t MemoryBound(size_t message_size) { return 16 * message_size + 64 * 1024; }

std::vector<uint8_t> Repeated(const std::string& hex_unit, size_t total_bytes,
                              const std::string& tail_hex = "") {
  const std::vector<uint8_t> unit = Hex(hex_unit);
  std::vector<uint8_t> bytes;
  bytes.reserve(total_bytes + 16);
  while (bytes.size() + unit.size() <= total_bytes)
    bytes.insert(bytes.end(), unit.begin(), unit.end());
  const std::vector<uint8_t> tail = Hex(tail_hex);
  bytes.insert(bytes.end(), tail.begin(), tail.end());
  return bytes;
}

// The memory assertions below are only as good as the meter: it must see a known allocation.
TEST(HostileInputTest, AllocationMeterSeesAllocations) {
  if (!AllocationMeter::available()) GTEST_SKIP() << "needs the AddressSanitizer allocator";
  AllocationMeter meter;
  {
    std::vector<uint8_t> block(3 << 20);
    block[1] = 1;
    EXPECT_EQ(block[0], 0);
  }
  EXPECT_GE(meter.peak_bytes(), size_t{3} << 20);
  EXPECT_LT(meter.peak_bytes(), size_t{4} << 20);
}

TEST(HostileInputTest, OversizeAnnouncementsThatCannotFitAreRefused) {
  struct Case {
    const char* name;
    std::string hex;
    uint32_t size;
    size_t remaining;
    size_t position;
  };
  const std::vector<Case> cases = {
      {"string", "07 ff ffffffff 6162", 0xFFFFFFFF, 2, 6},
      {"large-int string", "05 ff 01000100", 65537, 0, 6},
      {"bytes", "08 ff 00000001 00", 0x01000000, 1, 6},
      {"int32s after alignment", "09 ff 01000100 0000 00000000", 65537, 4, 8},
      {"floats", "0e ff 01000100", 65537, 0, 8},
      {"int64s", "0a ff 01000100", 65537, 0, 8},
      {"doubles", "0b ff 01000100 0000 0000000000000000", 65537, 8, 8},
      {"list", "0c ff ffffffff 00 00", 0xFFFFFFFF, 2, 6},
      {"map", "0d ff 01000100 00 00", 65537, 2, 6},
  };
  for (Path path : kPaths) {
    SCOPED_TRACE(Name(path));
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const std::vector<uint8_t> bytes = Hex(c.hex);
      const Outcome outcome = DecodeMetered(bytes, path);
      EXPECT_TRUE(outcome.value.IsNull()) << Describe(outcome.value);
      EXPECT_EQ(outcome.position, c.position);
      EXPECT_EQ(outcome.lines, std::vector<std::string>{Unbacked(c.size, c.remaining)});
      if (AllocationMeter::available()) {
        EXPECT_LE(outcome.peak_bytes, MemoryBound(bytes.size()));
      }
    }
  }
}

TEST(HostileInputTest, AnnouncementsUpTo65536KeepTheShortInputBehaviour) {
  {
    SCOPED_TRACE("string of 65536 zero bytes");
    const Outcome outcome = DecodeMetered(Hex("07 ff 00000100 61"));
    EXPECT_EQ(std::get<std::string>(outcome.value), std::string(65536, '\0'));
    EXPECT_EQ(outcome.position, 6u);
    EXPECT_EQ(outcome.lines, std::vector<std::string>{kInvalidRead});
  }
  {
    SCOPED_TRACE("int64 array of 65536 zeros");
    const Outcome outcome = DecodeMetered(Hex("0a ff 00000100"));
    EXPECT_EQ(std::get<std::vector<int64_t>>(outcome.value), std::vector<int64_t>(65536));
    EXPECT_EQ(outcome.position, 8u);
    EXPECT_EQ(outcome.lines, std::vector<std::string>{kInvalidRead});
  }
  {
    SCOPED_TRACE("list of 65536 missing elements");
    const Outcome outcome = DecodeMetered(Hex("0c ff 00000100 01"));
    const auto& list = std::get<EncodableList>(outcome.value);
    ASSERT_EQ(list.size(), 65536u);
    EXPECT_TRUE(std::get<bool>(list[0]));
    EXPECT_TRUE(list[1].IsNull());
    EXPECT_TRUE(list.back().IsNull());
    EXPECT_EQ(outcome.line_count, 65535u);
    EXPECT_EQ(outcome.lines.front(), kInvalidRead);
  }
  {
    SCOPED_TRACE("map of 65536 missing entries");
    const Outcome outcome = DecodeMetered(Hex("0d ff 00000100"));
    EXPECT_EQ(std::get<EncodableMap>(outcome.value).size(), 1u);
    EXPECT_EQ(outcome.line_count, 2u * 65536u);
  }
}

TEST(HostileInputTest, NestingIsBoundedAt128Levels) {
  for (const char* header : {"0c 01", "0d 01 00"}) {
    SCOPED_TRACE(header);
    for (int depth : {ReadLimits::kMaxDepth, ReadLimits::kMaxDepth + 1}) {
      SCOPED_TRACE(depth);
      std::string hex;
      for (int i = 0; i < depth; ++i) hex += header;
      hex += "03 2a000000";
      const Outcome outcome = DecodeMetered(Hex(hex));
      // Walk down to the innermost container.
      const EncodableValue* value = &outcome.value;
      int levels = 0;
      while (true) {
        if (const auto* list = std::get_if<EncodableList>(value)) {
          value = &list->front();
        } else if (const auto* map = std::get_if<EncodableMap>(value)) {
          value = &map->begin()->second;
        } else {
          break;
        }
        ++levels;
      }
      EXPECT_EQ(levels, std::min(depth, ReadLimits::kMaxDepth));
      if (depth <= ReadLimits::kMaxDepth) {
        EXPECT_EQ(std::get<int32_t>(*value), 42);
        EXPECT_TRUE(outcome.lines.empty());
      } else {
        // The refused level reads as null and its own header bytes are not consumed.
        EXPECT_TRUE(value->IsNull());
        ASSERT_FALSE(outcome.lines.empty());
        EXPECT_EQ(outcome.lines.front(), kTooDeep);
        EXPECT_EQ(std::count(outcome.lines.begin(), outcome.lines.end(), std::string(kTooDeep)), 1);
      }
    }
  }
}

TEST(HostileInputTest, MegabyteOfNestedHeadersIsFastAndSmall) {
  struct Case {
    const char* name;
    std::string unit;
    size_t max_lines;
  };
  // The limit stops the descent after 128 levels; one refusal line per refused value.
  const std::vector<Case> cases = {
      {"list headers", "0c 01", 1},
      {"list headers with 32-bit counts", "0c ff 01000000", 1},
      {"lying list counts", "0c ff ffffffff", 1},
      {"lying map counts", "0d ff ffffffff", 1},
      {"lying string sizes in a list", "0c 02 07 ff ffffff7f", 130},
      {"lying array sizes in a list", "0c 02 0b ff ffffff7f", 130},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = Repeated(c.unit, 1 << 20);
    const Outcome outcome = DecodeMetered(bytes);
    EXPECT_LT(outcome.seconds, 5.0);
    if (AllocationMeter::available()) {
      EXPECT_LE(outcome.peak_bytes, MemoryBound(bytes.size()));
    }
    EXPECT_LE(outcome.line_count, c.max_lines);
    std::printf("%-40s %8zu bytes: peak %9zu bytes allocated, %.3f s\n", c.name, bytes.size(),
                outcome.peak_bytes, outcome.seconds);
  }
}

TEST(HostileInputTest, RepeatedShortAnnouncementsExhaustTheBudget) {
  // A list of 200 strings that each claim 65,535 bytes the message does not hold: the format's
  // zero-filled strings are built until the message's byte budget is spent, then refused.
  std::string hex = "0c c8";
  for (int i = 0; i < 200; ++i) hex += " 07 fe ffff";
  const std::vector<uint8_t> bytes = Hex(hex);
  const Outcome outcome = DecodeMetered(bytes);
  const auto& list = std::get<EncodableList>(outcome.value);
  ASSERT_EQ(list.size(), 200u);
  size_t built = 0;
  size_t refused = 0;
  for (const EncodableValue& element : list) {
    if (const auto* string = std::get_if<std::string>(&element)) {
      EXPECT_EQ(string->size(), 65535u);
      ++built;
    } else {
      EXPECT_TRUE(element.IsNull());
      ++refused;
    }
  }
  EXPECT_EQ(built, ReadLimits::kByteAllowance / 65535);
  EXPECT_EQ(refused, 200u - built);
  EXPECT_LE(built * 65535, ReadLimits::kByteAllowance + bytes.size());
  EXPECT_EQ(outcome.line_count, built + refused);
  EXPECT_NE(std::find(outcome.lines.begin(), outcome.lines.end(), OverBudget(65535)),
            outcome.lines.end());
}

TEST(HostileInputTest, NestedShortListsAreBoundedByTheElementBudget) {
  // Each level claims 65,535 elements; the claims are only exposed as lies at the very end,
  // where every open level is filled with nulls. The element budget stops new levels first.
  const std::vector<uint8_t> bytes = Repeated("0c feff ff", 64 * 1024);
  const Outcome outcome = DecodeMetered(bytes);
  size_t elements = 0;
  int levels = 0;
  const EncodableValue* value = &outcome.value;
  while (const auto* list = std::get_if<EncodableList>(value)) {
    elements += list->size();
    ++levels;
    value = &list->front();
  }
  EXPECT_LE(elements, bytes.size() + ReadLimits::kElementAllowance);
  EXPECT_GE(levels, 1);
  EXPECT_LT(outcome.seconds, 5.0);
  EXPECT_NE(std::find(outcome.lines.begin(), outcome.lines.end(), OverBudget(65535)),
            outcome.lines.end());
}

TEST(HostileInputTest, NaNKeysFromTheWireMakeOneEntry) {
  // Three different NaN bit patterns and a real key.
  const std::string hex =
      "0d 04"
      " 06 0000000000 000000000000f87f 01"
      " 06 000000000000 010000000000f07f 01"
      " 06 000000000000 ffffffffffffffff 02"
      " 06 000000000000 000000000000f03f 02";
  const Outcome outcome = DecodeMetered(Hex(hex));
  const auto& map = std::get<EncodableMap>(outcome.value);
  ASSERT_EQ(map.size(), 2u);
  EXPECT_EQ(std::get<double>(map.begin()->first), 1.0);
  EXPECT_TRUE(std::isnan(std::get<double>(std::next(map.begin())->first)));
  EXPECT_TRUE(std::get<bool>(std::next(map.begin())->second));  // the first NaN entry won
  EXPECT_TRUE(outcome.lines.empty());
}

TEST(HostileInputTest, RandomMessagesDecodeWithinBounds) {
  std::mt19937 random(20261208);
  const StandardMethodCodec& codec = StandardMethodCodec::SharedInstance();
  struct Ignore : MethodResult<EncodableValue> {
    void Success(const EncodableValue*) override {}
    void Error(const std::string&, const std::string&, const EncodableValue*) override {}
    void NotImplemented() override {}
  } ignore;
  for (int round = 0; round < 100; ++round) {
    std::vector<uint8_t> bytes(1 + random() % 2048);
    // Bias towards the container and size-marker bytes that make decoding work hard.
    for (auto& byte : bytes) {
      const unsigned pick = random() % 8;
      byte = pick == 0   ? 0x0c
             : pick == 1 ? 0x0d
             : pick == 2 ? 0xfe
             : pick == 3 ? 0xff
                         : random() % 16;
    }
    SCOPED_TRACE(round);
    const Outcome outcome = DecodeMetered(bytes);
    EXPECT_LT(outcome.seconds, 5.0);
    CerrCapture quiet(0);
    codec.DecodeCall(bytes.data(), bytes.size());
    codec.DecodeReply(bytes.data(), bytes.size(), &ignore);
  }
}

}  // namespace
}  // namespace flutter
