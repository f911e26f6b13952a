// Method calls and reply envelopes: exact bytes, decoding of short and malformed messages,
// delivery to the result, the shared instances.
#include "codec/standard_method_codec.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "codec_test_support.h"

namespace flutter {
namespace {

using codec_test::CerrCapture;
using codec_test::Describe;
using codec_test::Hex;
using codec_test::kAddressOffsets;
using codec_test::MessageAt;
using codec_test::ToHex;

using codec_test::kInvalidRead;
constexpr char kNotAString[] = "Invalid method call; method name is not a string.";

const StandardMethodCodec& Codec() { return StandardMethodCodec::SharedInstance(); }

// Records what DecodeReply delivered.
class RecordingResult : public MethodResult<EncodableValue> {
 public:
  void Success(const EncodableValue* result) override {
    ++calls;
    kind = "success";
    if (result) value = *result;
  }
  void Error(const std::string& error_code, const std::string& error_message,
             const EncodableValue* details) override {
    ++calls;
    kind = "error";
    code = error_code;
    message = error_message;
    if (details) value = *details;
  }
  void NotImplemented() override {
    ++calls;
    kind = "not implemented";
  }

  int calls = 0;
  std::string kind;
  std::string code;
  std::string message;
  std::optional<EncodableValue> value;
};

class OtherSerializer : public StandardCodecSerializer {};

// Strings around the writer's borders: 63/64 (where a string's bytes are copied otherwise) and
// 253/254 (the last one-byte size, the first with the 0xfe marker), plain and multi-byte UTF-8,
// whose size counts bytes. `size` is the size prefix as it goes on the wire.
struct LongString {
  std::string text;
  const char* size;
};

std::string Repeat(const std::string& piece, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::vector<LongString> LongStrings() {
  // Letters that do not repeat every 32 bytes, so a misplaced block of a copy shows.
  const auto letters = [](size_t count) {
    std::string text;
    for (size_t i = 0; i < count; ++i) text += static_cast<char>('a' + i % 26);
    return text;
  };
  return {{letters(63), "3f"},
          {letters(64), "40"},
          {letters(100), "64"},
          {letters(253), "fd"},
          {letters(254), "fe fe00"},
          {Repeat("\xe2\x82\xac", 84) + "z", "fd"},  // 84 euro signs and a letter: 253 bytes
          {Repeat("\xc3\xbc", 127), "fe fe00"}};     // 127 u-umlauts: 254 bytes
}

// A string value as the wire carries it.
std::string StringHex(const LongString& s) {
  return "07 " + std::string(s.size) + " " +
         ToHex(std::vector<uint8_t>(s.text.begin(), s.text.end()));
}

// Each envelope through both interfaces: the owned vector, and appended to a buffer that holds
// other bytes already, which must not move the padding (it counts from the message's first byte).
TEST(StandardMethodCodecTest, EncodesCallsAndEnvelopesExactly) {
  struct Case {
    std::string name;
    std::unique_ptr<std::vector<uint8_t>> bytes;
    std::function<void(MessageBytes*)> append;
    std::string hex;
  };
  const EncodableValue five(int32_t{5});
  const EncodableValue one(int32_t{1});
  const EncodableValue half(0.5);
  const EncodableValue halves(EncodableList{EncodableValue(0.5)});
  const MethodCall<EncodableValue> foo("foo", nullptr);
  const MethodCall<EncodableValue> x("x", std::make_unique<EncodableValue>(1.0));
  const MethodCall<EncodableValue> span("spanAllDisplays",
                                        std::make_unique<EncodableValue>(EncodableList{}));
  const std::vector<LongString> long_strings = LongStrings();
  std::vector<EncodableValue> long_values;
  std::vector<std::unique_ptr<MethodCall<EncodableValue>>> long_calls;
  for (const LongString& s : long_strings) {
    long_values.emplace_back(s.text);
    long_calls.push_back(std::make_unique<MethodCall<EncodableValue>>(
        s.text, std::make_unique<EncodableValue>(s.text)));
  }
  // A serializer of a class of its own has every value written call by call.
  static const OtherSerializer derived;
  for (const StandardMethodCodec* codec :
       {&Codec(), &StandardMethodCodec::SharedInstance(&derived)}) {
    SCOPED_TRACE(codec == &Codec() ? "shared serializer" : "derived serializer");
    const auto call = [codec](const MethodCall<EncodableValue>& c) {
      return [codec, &c](MessageBytes* b) { codec->EncodeCallTo(c, b); };
    };
    const auto success = [codec](const EncodableValue* v) {
      return [codec, v](MessageBytes* b) { codec->EncodeSuccessTo(v, b); };
    };
    const auto error = [codec](const char* code, const char* message, const EncodableValue* v) {
      return [=](MessageBytes* b) { codec->EncodeErrorTo(code, message, v, b); };
    };
    std::vector<Case> cases;
    cases.push_back(
        {"call without arguments", codec->EncodeCall(foo), call(foo), "07 03 666f6f 00"});
    cases.push_back({"call with a double: aligned from the message start", codec->EncodeCall(x),
                     call(x), "07 01 78 06 00000000 000000000000f03f"});
    cases.push_back({"call with list arguments", codec->EncodeCall(span), call(span),
                     "07 0f 7370616e416c6c446973706c617973 0c 00"});
    cases.push_back(
        {"success without result", codec->EncodeSuccess(nullptr), success(nullptr), "00 00"});
    cases.push_back(
        {"success with int32 5", codec->EncodeSuccess(&five), success(&five), "00 03 05000000"});
    cases.push_back({"success with a double: aligned from the envelope start",
                     codec->EncodeSuccess(&half), success(&half),
                     "00 06 000000000000 000000000000e03f"});
    cases.push_back({"success with a double in a list", codec->EncodeSuccess(&halves),
                     success(&halves), "00 0c 01 06 00000000 000000000000e03f"});
    cases.push_back({"error, empty message, no details", codec->EncodeError("E", "", nullptr),
                     error("E", "", nullptr), "01 07 01 45 00 00"});
    cases.push_back({"error with message and details", codec->EncodeError("E", "m", &one),
                     error("E", "m", &one), "01 07 01 45 07 01 6d 03 01000000"});
    cases.push_back({"error with an empty code", codec->EncodeError("", "", nullptr),
                     error("", "", nullptr), "01 07 00 00 00"});
    for (size_t i = 0; i < long_strings.size(); ++i) {
      const std::string& text = long_strings[i].text;
      const std::string hex = StringHex(long_strings[i]);
      const std::string name = "string of " + std::to_string(text.size()) + " bytes";
      cases.push_back({name + " as call name and argument", codec->EncodeCall(*long_calls[i]),
                       call(*long_calls[i]), hex + " " + hex});
      cases.push_back({name + " as success", codec->EncodeSuccess(&long_values[i]),
                       success(&long_values[i]), "00 " + hex});
      cases.push_back({name + " as error code, message and details",
                       codec->EncodeError(text, text, &long_values[i]),
                       [codec, &text = long_strings[i].text, &value = long_values[i]](
                           MessageBytes* b) { codec->EncodeErrorTo(text, text, &value, b); },
                       "01 " + hex + " " + hex + " " + hex});
    }
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ASSERT_NE(c.bytes, nullptr);
      EXPECT_EQ(ToHex(*c.bytes), ToHex(Hex(c.hex)));
      // Appended once to a buffer that must grow first, once to one with room already: the
      // message is then written in place, by other code.
      for (const size_t capacity : {size_t{0}, size_t{1024}}) {
        SCOPED_TRACE(capacity == 0 ? "growing" : "with room");
        MessageBytes appended;
        appended.reserve(capacity);
        const std::vector<uint8_t> before = Hex("aa bb cc");
        appended.Append(before.data(), before.size());
        c.append(&appended);
        EXPECT_EQ(ToHex(appended.ToVector()), ToHex(Hex("aa bb cc " + c.hex)));
      }
    }
  }
}

// A buffer whose memory was given back (as a sender's is after a rare large message) takes the
// next message as a fresh one.
TEST(StandardMethodCodecTest, ABufferReleasedAfterAMoveTakesTheNextMessage) {
  MessageBytes first;
  Codec().EncodeSuccessTo(nullptr, &first);
  MessageBytes bytes = std::move(first);
  EXPECT_EQ(ToHex(bytes.ToVector()), ToHex(Hex("00 00")));
  bytes.Release();
  Codec().EncodeErrorTo("E", "", nullptr, &bytes);
  EXPECT_EQ(ToHex(bytes.ToVector()), ToHex(Hex("01 07 01 45 00 00")));
}

TEST(StandardMethodCodecTest, DecodesCalls) {
  struct Case {
    const char* name;
    std::string hex;
    std::optional<std::string> method;  // nullopt: no call
    EncodableValue arguments;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"name and null", "07 03 666f6f 00", "foo", EncodableValue(), {}},
      {"name and arguments", "07 01 78 06 00000000 000000000000f03f", "x", EncodableValue(1.0), {}},
      {"empty int32 list argument",
       "07 01 78 09 00 000000",
       "x",
       EncodableValue(std::vector<int32_t>{}),
       {}},
      {"message ends after the name", "07 03 666f6f", "foo", EncodableValue(), {kInvalidRead}},
      {"name with code 5", "05 01 61 03 02000000", "a", EncodableValue(int32_t{2}), {}},
      {"trailing bytes ignored", "07 01 61 01 ffffff", "a", EncodableValue(true), {}},
      {"name cut short is still a string",
       "07 04 03 01",
       std::string(4, '\0'),
       EncodableValue(int32_t{0}),
       {kInvalidRead, kInvalidRead}},
      {"name is an int32", "03 01000000", std::nullopt, EncodableValue(), {kNotAString}},
      {"name is null", "00 00", std::nullopt, EncodableValue(), {kNotAString}},
      {"empty message", "", std::nullopt, EncodableValue(), {kInvalidRead, kNotAString}},
      {"name is bytes", "08 01 61 00", std::nullopt, EncodableValue(), {kNotAString}},
  };
  for (size_t offset = 0; offset < kAddressOffsets; ++offset) {
    SCOPED_TRACE("address offset " + std::to_string(offset));
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const MessageAt message(Hex(c.hex), offset);
      CerrCapture capture;
      auto call = Codec().DecodeCall(message.data(), message.size());
      EXPECT_EQ(capture.lines(), c.lines);
      if (!c.method) {
        EXPECT_EQ(call, nullptr);
        continue;
      }
      ASSERT_NE(call, nullptr);
      EXPECT_EQ(call->method_name(), *c.method);
      ASSERT_NE(call->arguments(), nullptr);  // always present, null when absent on the wire
      EXPECT_TRUE(*call->arguments() == c.arguments) << Describe(*call->arguments());
      EXPECT_EQ(call->arguments()->index(), c.arguments.index());
    }
  }
}

TEST(StandardMethodCodecTest, DecodesReplies) {
  struct Case {
    const char* name;
    std::string hex;
    bool recognised;
    std::string kind;
    std::string code;
    std::string message;
    std::optional<EncodableValue> value;
    size_t lines;
  };
  const std::vector<Case> cases = {
      {"success without value", "00 00", true, "success", "", "", std::nullopt, 0},
      {"success with int32", "00 03 05000000", true, "success", "", "", EncodableValue(int32_t{5}),
       0},
      {"success with false", "00 02", true, "success", "", "", EncodableValue(false), 0},
      {"single flag byte", "00", true, "success", "", "", std::nullopt, 1},
      {"empty envelope", "", true, "success", "", "", std::nullopt, 2},
      {"error without message and details", "01 07 01 45 00 00", true, "error", "E", "",
       std::nullopt, 0},
      {"error with message and details", "01 07 01 45 07 01 6d 03 01000000", true, "error", "E",
       "m", EncodableValue(int32_t{1}), 0},
      {"error, code with code 5", "01 05 01 45 00 00", true, "error", "E", "", std::nullopt, 0},
      {"error cut after the code", "01 07 01 45", true, "error", "E", "", std::nullopt, 2},
      {"unknown flag", "02 00", false, "", "", "", std::nullopt, 0},
      {"flag 255", "ff", false, "", "", "", std::nullopt, 0},
      // Wrong kinds inside an error envelope: not recognised instead of a thrown exception.
      {"error code is an int32", "01 03 01000000 00 00", false, "", "", "", std::nullopt, 0},
      {"error code is null", "01 00 00 00", false, "", "", "", std::nullopt, 0},
      {"error message is a bool", "01 07 01 45 01 00", false, "", "", "", std::nullopt, 0},
      {"error message is a list", "01 07 01 45 0c 00 00", false, "", "", "", std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint8_t> bytes = Hex(c.hex);
    RecordingResult result;
    CerrCapture capture;
    bool recognised = false;
    EXPECT_NO_THROW(recognised = Codec().DecodeReply(bytes.data(), bytes.size(), &result));
    EXPECT_EQ(recognised, c.recognised);
    EXPECT_EQ(capture.line_count(), c.lines);
    EXPECT_EQ(result.calls, c.recognised ? 1 : 0);
    EXPECT_EQ(result.kind, c.kind);
    EXPECT_EQ(result.code, c.code);
    EXPECT_EQ(result.message, c.message);
    ASSERT_EQ(result.value.has_value(), c.value.has_value());
    if (c.value) {
      EXPECT_TRUE(*result.value == *c.value) << Describe(*result.value);
    }
  }
}

TEST(StandardMethodCodecTest, EnvelopesRoundTrip) {
  EncodableMap details;
  details[EncodableValue("why")] = EncodableValue(std::vector<double>{1.5, -2});
  const EncodableValue detail_value(details);
  const std::vector<std::tuple<std::string, std::string, const EncodableValue*>> errors = {
      {"code", "message", &detail_value}, {"", "", nullptr}, {"c", std::string(300, 'm'), nullptr}};
  for (const auto& [code, message, value] : errors) {
    SCOPED_TRACE(code);
    auto bytes = Codec().EncodeError(code, message, value);
    RecordingResult result;
    ASSERT_TRUE(Codec().DecodeReply(bytes->data(), bytes->size(), &result));
    EXPECT_EQ(result.kind, "error");
    EXPECT_EQ(result.code, code);
    EXPECT_EQ(result.message, message);
    EXPECT_EQ(result.value.has_value(), value != nullptr);
    if (value) {
      EXPECT_TRUE(*result.value == *value);
    }
  }
  auto call = Codec().EncodeCall(MethodCall<EncodableValue>(
      "onDisplayEvent", std::make_unique<EncodableValue>("span monitors=3")));
  auto decoded = Codec().DecodeCall(call->data(), call->size());
  ASSERT_NE(decoded, nullptr);
  EXPECT_EQ(decoded->method_name(), "onDisplayEvent");
  EXPECT_EQ(std::get<std::string>(*decoded->arguments()), "span monitors=3");
}

TEST(StandardMethodCodecTest, SharedInstancesPerSerializer) {
  const StandardMethodCodec& first = StandardMethodCodec::SharedInstance();
  EXPECT_EQ(&first, &StandardMethodCodec::SharedInstance());
  EXPECT_EQ(&first,
            &StandardMethodCodec::SharedInstance(&StandardCodecSerializer::SharedInstance()));
  EXPECT_EQ(&first.serializer(), &StandardCodecSerializer::SharedInstance());

  OtherSerializer other;
  const StandardMethodCodec& bound = StandardMethodCodec::SharedInstance(&other);
  EXPECT_NE(&bound, &first);
  EXPECT_EQ(&bound.serializer(), &other);
  EXPECT_EQ(&bound, &StandardMethodCodec::SharedInstance(&other));

  // Concurrent first requests for a new serializer agree on one codec.
  OtherSerializer racing;
  std::vector<const StandardMethodCodec*> seen(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < seen.size(); ++i) {
    threads.emplace_back([&, i] { seen[i] = &StandardMethodCodec::SharedInstance(&racing); });
  }
  for (auto& thread : threads) thread.join();
  for (const auto* codec : seen) EXPECT_EQ(codec, seen.front());
}

}  // namespace
}  // namespace flutter
