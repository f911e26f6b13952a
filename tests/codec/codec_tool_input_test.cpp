// The tool's JSON reader where nlohmann-json alone would differ from the value form's contract:
// text after a NUL byte or behind a byte order mark, repeated member names, nesting deep enough
// to exhaust the stack, and integers at the limits of 64 bits.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "value_json.h"

namespace codec_tool {
namespace {

using flutter::EncodableValue;

bool Read(const std::string& text, EncodableValue* value, std::string* error) {
  Json json;
  return ParseJson(text, &json, error) && ValueFromJson(json, value, error);
}

TEST(CodecToolInputTest, RefusesTextThatIsNotOneJsonDocument) {
  for (const std::string text : {std::string("null\0{}", 6), std::string("{\"int32\": 1}\0", 13),
                                 std::string("\xEF\xBB\xBFnull")}) {
    SCOPED_TRACE(testing::PrintToString(text));
    Json json;
    std::string error;
    EXPECT_FALSE(ParseJson(text, &json, &error));
    EXPECT_FALSE(error.empty());
  }
}

TEST(CodecToolInputTest, RepeatedMemberNameIsASecondMember) {
  for (const char* text : {R"({"int32": 1, "int32": 2})", R"({"list": [{"int64": 1, "int64": 1}]})",
                           R"({"int32": 1, "int32": 2, "int32": 3})"}) {
    SCOPED_TRACE(text);
    EncodableValue value;
    std::string error;
    EXPECT_FALSE(Read(text, &value, &error));
    EXPECT_EQ(error, "a value object needs exactly one member");
  }
}

TEST(CodecToolInputTest, NestingStopsAtTheLimitEvenAMillionDeep) {
  Json json;
  std::string error;
  EXPECT_TRUE(ParseJson(std::string(512, '[') + std::string(512, ']'), &json, &error)) << error;
  EXPECT_TRUE(ParseJson(std::string(512, '[') + "1" + std::string(512, ']'), &json, &error))
      << error;
  for (const std::string& text :
       {std::string(513, '[') + "1" + std::string(513, ']'), std::string(1000000, '['),
        std::string(1000000, '[') + std::string(1000000, ']')}) {
    error.clear();
    EXPECT_FALSE(ParseJson(text, &json, &error));
    EXPECT_NE(error.find("nested too deeply"), std::string::npos) << error;
  }
}

TEST(CodecToolInputTest, IntegersAtTheLimitsStayExact) {
  EncodableValue value;
  std::string error;
  ASSERT_TRUE(
      Read(R"({"int64s": [9223372036854775807, -9223372036854775808, 0, -1]})", &value, &error))
      << error;
  EXPECT_EQ(std::get<std::vector<int64_t>>(value),
            (std::vector<int64_t>{std::numeric_limits<int64_t>::max(),
                                  std::numeric_limits<int64_t>::min(), 0, -1}));
  ASSERT_TRUE(Read(R"({"int64": 9007199254740993})", &value, &error)) << error;
  EXPECT_EQ(std::get<int64_t>(value), int64_t{9007199254740993});  // not a double's 2^53 + 1
  ASSERT_TRUE(Read(R"({"int32s": [2147483647, -2147483648]})", &value, &error)) << error;
  EXPECT_EQ(std::get<std::vector<int32_t>>(value),
            (std::vector<int32_t>{std::numeric_limits<int32_t>::max(),
                                  std::numeric_limits<int32_t>::min()}));
  for (const char* text :
       {R"({"int64": 9223372036854775808})", R"({"int64": -9223372036854775809})",
        R"({"int64s": [18446744073709551615]})", R"({"int32s": [2147483648]})",
        R"({"int32": -2147483649})", R"({"int64": 1.0})"}) {
    SCOPED_TRACE(text);
    error.clear();
    EXPECT_FALSE(Read(text, &value, &error));
    EXPECT_NE(error.find("is not an integer in range"), std::string::npos) << error;
  }
}

}  // namespace
}  // namespace codec_tool
