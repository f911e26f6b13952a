// The orvalen-codec machine forms: hex, the JSON value form in both directions, and the
// readable trace.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "codec/standard_codec_serializer.h"
#include "codec_test_support.h"
#include "trace.h"
#include "value_json.h"

namespace codec_tool {
namespace {

using codec_test::Describe;
using flutter::ByteBufferStreamWriter;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

std::vector<uint8_t> Encode(const EncodableValue& value) {
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  flutter::StandardCodecSerializer::SharedInstance().WriteValue(value, &writer);
  return bytes;
}

EncodableValue RandomValue(std::mt19937_64& random, int depth) {
  const int kinds = depth > 3 ? 10 : 13;
  auto bits64 = [&] { return random(); };
  switch (random() % kinds) {
    case 0: return EncodableValue();
    case 1: return EncodableValue(random() % 2 == 0);
    case 2: return EncodableValue(static_cast<int32_t>(bits64()));
    case 3: return EncodableValue(static_cast<int64_t>(bits64()));
    case 4: {
      const uint64_t bits = bits64();
      double number;
      std::memcpy(&number, &bits, sizeof number);  // NaN payloads and -0.0 included
      return EncodableValue(number);
    }
    case 5: {
      std::string text(random() % 6, '\0');
      for (char& c : text) c = static_cast<char>(random());
      return EncodableValue(text);
    }
    case 6:
      return EncodableValue(std::vector<uint8_t>(random() % 5, static_cast<uint8_t>(random())));
    case 7:
      return EncodableValue(std::vector<int32_t>(random() % 4, static_cast<int32_t>(random())));
    case 8:
      return EncodableValue(std::vector<int64_t>(random() % 4, static_cast<int64_t>(random())));
    case 9: {
      std::vector<float> array(random() % 4);
      for (float& f : array) {
        const uint32_t bits = static_cast<uint32_t>(random());
        std::memcpy(&f, &bits, sizeof f);
      }
      return EncodableValue(array);
    }
    case 10: {
      std::vector<double> array(random() % 4);
      for (double& d : array) {
        const uint64_t bits = random();
        std::memcpy(&d, &bits, sizeof d);
      }
      return EncodableValue(array);
    }
    case 11: {
      EncodableList list(random() % 4);
      for (auto& element : list) element = RandomValue(random, depth + 1);
      return EncodableValue(list);
    }
    default: {
      EncodableMap map;
      const size_t n = random() % 4;
      for (size_t i = 0; i < n; ++i)
        map.emplace(RandomValue(random, depth + 1), RandomValue(random, depth + 1));
      return EncodableValue(map);
    }
  }
}

TEST(CodecToolTest, JsonFormRoundTripsExactly) {
  std::mt19937_64 random(7);
  for (int round = 0; round < 2000; ++round) {
    const EncodableValue value = RandomValue(random, 0);
    const std::string text = ValueToJson(value);
    SCOPED_TRACE(text);
    Json json;
    std::string error;
    ASSERT_TRUE(ParseJson(text, &json, &error)) << error;
    EncodableValue back;
    ASSERT_TRUE(ValueFromJson(json, &back, &error)) << error;
    EXPECT_EQ(Encode(back), Encode(value)) << Describe(back);
    EXPECT_EQ(ValueToJson(back), text);
  }
}

TEST(CodecToolTest, JsonOutputStyle) {
  EncodableMap map;
  map[EncodableValue(int32_t{2})] = EncodableValue(std::vector<double>{-0.0});
  map[EncodableValue(int32_t{1})] = EncodableValue(std::vector<float>{1.0f});
  const EncodableValue value(EncodableList{
      EncodableValue(), EncodableValue(true), EncodableValue(map), EncodableValue(int64_t{-5}),
      EncodableValue("Az"), EncodableValue(std::vector<uint8_t>{0xAB}),
      EncodableValue(std::vector<int32_t>{})});
  EXPECT_EQ(ValueToJson(value),
            "{\"list\": [null, true, {\"map\": [[{\"int32\": 1}, {\"float32s\": [\"3f800000\"]}], "
            "[{\"int32\": 2}, {\"float64s\": [\"8000000000000000\"]}]]}, {\"int64\": -5}, "
            "{\"string\": \"417a\"}, {\"uint8s\": \"ab\"}, {\"int32s\": []}]}");
}

TEST(CodecToolTest, MapInputKeepsTheFirstOfEqualKeys) {
  Json json;
  std::string error;
  ASSERT_TRUE(ParseJson(R"({"map": [[{"float64": "7ff8000000000000"}, true],
                                    [{"float64": "fff0000000000001"}, false],
                                    [{"int32": 1}, null]]})",
                        &json, &error));
  EncodableValue value;
  ASSERT_TRUE(ValueFromJson(json, &value, &error)) << error;
  EXPECT_EQ(ValueToJson(value),
            "{\"map\": [[{\"int32\": 1}, null], [{\"float64\": \"7ff8000000000000\"}, true]]}");
}

TEST(CodecToolTest, HexInput) {
  std::vector<uint8_t> bytes;
  std::string error;
  EXPECT_TRUE(ParseHex(" 0a Ff\n\t7B ", &bytes, &error));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{0x0A, 0xFF, 0x7B}));
  EXPECT_TRUE(ParseHex("", &bytes, &error));
  EXPECT_TRUE(bytes.empty());
  for (const char* bad : {"0", "0g", "0x00", "00 0", "-1"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseHex(bad, &bytes, &error));
    EXPECT_FALSE(error.empty());
  }
  EXPECT_EQ(HexOf(std::string("\x00\xab\x7f", 3)), "00ab7f");
}

bool Read(const std::string& text, EncodableValue* value, std::string* error) {
  Json json;
  return ParseJson(text, &json, error) && ValueFromJson(json, value, error);
}

// Integers at the limits of 64 bits stay exact (no trip through a double), and nesting up to the
// JSON depth limit is read.
TEST(CodecToolTest, AcceptsValuesAtTheLimits) {
  for (const char* text :
       {R"({"int64s": [9223372036854775807, -9223372036854775808, 0, -1]})",
        R"({"int64": 9007199254740993})", R"({"int32s": [2147483647, -2147483648]})"}) {
    SCOPED_TRACE(text);
    EncodableValue value;
    std::string error;
    ASSERT_TRUE(Read(text, &value, &error)) << error;
    EXPECT_EQ(ValueToJson(value), text);
  }
  Json json;
  std::string error;
  EXPECT_TRUE(ParseJson(std::string(512, '[') + std::string(512, ']'), &json, &error)) << error;
  EXPECT_TRUE(ParseJson(std::string(512, '[') + "1" + std::string(512, ']'), &json, &error));
}

// Each malformed text with its whole error message, or "" where any message will do.
TEST(CodecToolTest, RejectsMalformedValues) {
  const std::string kTooDeep = "JSON nested too deeply (more than 512 levels)";
  const std::string kOneMember = "a value object needs exactly one member";
  const std::pair<std::string, std::string> bad[] = {
      {"1", ""},
      {"\"x\"", ""},
      {"[]", ""},
      {"{}", kOneMember},
      {R"({"int32": 1, "int64": 2})", kOneMember},
      {R"({"int32": 1, "int32": 2})", kOneMember},  // a repeated name is a second member
      {R"({"list": [{"int64": 1, "int64": 1}]})", kOneMember},
      {R"({"int32": 1, "int32": 2, "int32": 3})", kOneMember},
      {R"({"int32": "1"})", ""},
      {R"({"int32": 2147483648})", "int32 value 2147483648 is not an integer in range"},
      {R"({"int32": -2147483649})", "int32 value -2147483649 is not an integer in range"},
      {R"({"int32s": [2147483648]})", "int32s element value 2147483648 is not an integer in range"},
      {R"({"int64": 9223372036854775808})",
       "int64 value 9223372036854775808 is not an integer in range"},
      {R"({"int64": -9223372036854775809})",
       "int64 value -9.223372036854776e+18 is not an integer in range"},
      {R"({"int64s": [18446744073709551615]})",
       "int64s element value 18446744073709551615 is not an integer in range"},
      {R"({"int64": 1.0})", "int64 value 1.0 is not an integer in range"},
      {R"({"int32": 1.0})", ""},
      {R"({"int32": 1e2})", ""},
      {R"({"int32": -0.5})", ""},
      {R"({"float64": "3ff000000000000"})", ""},
      {R"({"float64": 1.0})", ""},
      {R"({"float32s": ["3f80000000"]})", ""},
      {R"({"string": "6"})", ""},
      {R"({"string": 61})", ""},
      {R"({"uint8s": "zz"})", ""},
      {R"({"int32s": [1, "2"]})", ""},
      {R"({"list": {}})", ""},
      {R"({"map": [[null]]})", ""},
      {R"({"map": [null, null]})", ""},
      {R"({"list": [nul]})", ""},
      {R"({"custom": 1})", ""},
      {R"({"int32": 1} x)", ""},
      {R"({"int32": 01})", ""},
      {std::string("null\0{}", 6), "NUL byte in JSON at offset 4"},
      {std::string("{\"int32\": 1}\0", 13), "NUL byte in JSON at offset 12"},
      {"\xEF\xBB\xBFnull", "byte order mark before the JSON value at offset 0"},
      {std::string(600, '['), kTooDeep},
      {std::string(513, '[') + "1" + std::string(513, ']'), kTooDeep},
      {std::string(1000000, '['), kTooDeep},
      {std::string(1000000, '[') + std::string(1000000, ']'), kTooDeep}};
  for (const auto& [text, message] : bad) {
    SCOPED_TRACE(testing::PrintToString(text.substr(0, 60)));
    EncodableValue value;
    std::string error;
    EXPECT_FALSE(Read(text, &value, &error));
    if (message.empty()) {
      EXPECT_FALSE(error.empty());
    } else {
      EXPECT_EQ(error, message);
    }
  }
}

TEST(CodecToolTest, TraceShowsEachValueWithItsOffset) {
  const std::vector<uint8_t> bytes = codec_test::Hex("0c 02 03 01000000 06 000000000000f83f");
  const std::string trace = TraceMessage(bytes, MessageKind::kValue);
  EXPECT_NE(trace.find("     0  0c 02 "), std::string::npos) << trace;
  EXPECT_NE(trace.find("list, 2 elements"), std::string::npos) << trace;
  EXPECT_NE(trace.find("     2    03 01 00 00 00 "), std::string::npos) << trace;
  EXPECT_NE(trace.find("int32 1"), std::string::npos) << trace;
  EXPECT_NE(trace.find("     7    06 00 00 00 00 00 00 f8 3f "), std::string::npos) << trace;
  EXPECT_NE(trace.find("float64 1.5"), std::string::npos) << trace;
  EXPECT_NE(trace.find("read 16 of 16 bytes"), std::string::npos) << trace;

  const std::string call = TraceMessage(codec_test::Hex("03 01000000"), MessageKind::kCall);
  EXPECT_NE(call.find("not a method name"), std::string::npos) << call;
  const std::string reply = TraceMessage(codec_test::Hex("01 07 01 45 00 00"), MessageKind::kReply);
  EXPECT_NE(reply.find("error envelope"), std::string::npos) << reply;
  EXPECT_NE(reply.find("string \"E\""), std::string::npos) << reply;
}

TEST(CodecToolTest, TraceSurvivesRandomBytes) {
  std::mt19937 random(99);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> bytes(random() % 64);
    for (auto& byte : bytes) byte = static_cast<uint8_t>(random() % 20);
    for (MessageKind kind : {MessageKind::kValue, MessageKind::kCall, MessageKind::kReply}) {
      const std::string trace = TraceMessage(bytes, kind);
      EXPECT_NE(trace.find("of " + std::to_string(bytes.size()) + " bytes"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace codec_tool
