// MethodCallChannel and EngineMethodResult with the standard codec, against the stand-in engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/method_result.h"
#include "codec/standard_method_codec.h"
#include "embedding/flutter_engine.h"
#include "embedding/message_buffer.h"
#include "embedding/method_call_channel.h"
#include "shell/engine_project.h"
#include "tests/standin/standin_fixture.h"

namespace embedding_test {
namespace {

using flutter::EncodableValue;
using standin::DeliverOutcome;
using standin::EventKind;
using Channel = flutter::MethodCallChannel<EncodableValue>;
using Result = flutter::MethodResult<EncodableValue>;

constexpr char kChannel[] = "com.example/test";
constexpr char kDuplicateResult[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called "
    "exactly once. Ignoring duplicate result.\n";
constexpr char kLeak[] = "Warning: Failed to respond to a message. This is a memory leak.\n";

// The call "foo" without arguments, as the standard codec writes it.
const std::vector<uint8_t> kFooCall{0x07, 0x03, 0x66, 0x6F, 0x6F, 0x00};

// Records what a result was told, and whether it still exists.
class RecordingResult : public Result {
 public:
  struct Log {
    std::vector<std::string> calls;
    bool destroyed = false;
  };
  explicit RecordingResult(std::shared_ptr<Log> log) : log_(std::move(log)) {}
  ~RecordingResult() override { log_->destroyed = true; }

  void Success(const EncodableValue* result) override {
    log_->calls.push_back(result ? "success " + Describe(*result) : "success");
  }
  void Error(const std::string& code, const std::string& message,
             const EncodableValue* details) override {
    log_->calls.push_back("error " + code + "/" + message +
                          (details ? " " + Describe(*details) : ""));
  }
  void NotImplemented() override { log_->calls.push_back("not-implemented"); }

 private:
  static std::string Describe(const EncodableValue& value) {
    if (const auto* i = std::get_if<int32_t>(&value)) return std::to_string(*i);
    if (const auto* s = std::get_if<std::string>(&value)) return "'" + *s + "'";
    return "?";
  }
  std::shared_ptr<Log> log_;
};

class MethodCallChannelTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    engine_ = std::make_unique<flutter::FlutterEngine>(EngineProject(L"data"));
    channel_ = std::make_unique<Channel>(&engine_->GetMessenger(), kChannel,
                                         &flutter::StandardMethodCodec::SharedInstance());
  }
  void TearDown() override {
    channel_.reset();
    engine_.reset();
    StandinTest::TearDown();
  }

  std::unique_ptr<flutter::FlutterEngine> engine_;
  std::unique_ptr<Channel> channel_;
};

TEST_F(MethodCallChannelTest, AnUndecodableCallGetsOneEmptyReplyAndOneLineNamingTheChannel) {
  int handler_calls = 0;
  channel_->SetCallHandler([&](const auto&, std::unique_ptr<Result>) { ++handler_calls; });
  ResponseLog log;
  testing::internal::CaptureStderr();
  // An int32 where the method name should be.
  core().Deliver(kChannel, {0x03, 0x01, 0x00, 0x00, 0x00}, log.Collector());
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Invalid method call; method name is not a string.\n"
            "Unable to construct method call from message on channel com.example/test\n");
  EXPECT_EQ(handler_calls, 0);
  ASSERT_EQ(log.responses.size(), 1u);
  EXPECT_TRUE(log.responses[0].null_data);
  EXPECT_TRUE(log.responses[0].bytes.empty());
}

TEST_F(MethodCallChannelTest, CompletingAResultSendsTheEncodedReply) {
  struct Case {
    const char* name;
    std::function<void(Result&)> complete;
    std::vector<uint8_t> reply;
  };
  const std::vector<Case> cases{
      {"success without value", [](Result& r) { r.Success(nullptr); }, {0x00, 0x00}},
      {"success with int32 5",
       [](Result& r) {
         EncodableValue five(int32_t{5});
         r.Success(&five);
       },
       {0x00, 0x03, 0x05, 0x00, 0x00, 0x00}},
      {"error without message or details",
       [](Result& r) { r.Error("E", "", nullptr); },
       {0x01, 0x07, 0x01, 0x45, 0x00, 0x00}},
      {"error with message and details",
       [](Result& r) {
         EncodableValue one(int32_t{1});
         r.Error("E", "m", &one);
       },
       {0x01, 0x07, 0x01, 0x45, 0x07, 0x01, 0x6D, 0x03, 0x01, 0x00, 0x00, 0x00}},
      {"not implemented", [](Result& r) { r.NotImplemented(); }, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string method;
    channel_->SetCallHandler(
        [&](const flutter::MethodCall<EncodableValue>& call, std::unique_ptr<Result> result) {
          method = call.method_name();
          c.complete(*result);
        });
    ResponseLog log;
    testing::internal::CaptureStderr();
    core().Deliver(kChannel, kFooCall, log.Collector());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(method, "foo");
    ASSERT_EQ(log.responses.size(), 1u);
    EXPECT_EQ(log.responses[0].bytes, c.reply);
    EXPECT_EQ(log.responses[0].null_data, c.reply.empty());
  }
}

TEST_F(MethodCallChannelTest, ASecondCompletionSendsNothingAndPrintsTheLineOnce) {
  channel_->SetCallHandler([&](const auto&, std::unique_ptr<Result> result) {
    result->Success(nullptr);
    result->Error("late", "", nullptr);
  });
  ResponseLog log;
  testing::internal::CaptureStderr();
  core().Deliver(kChannel, kFooCall, log.Collector());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kDuplicateResult);
  ASSERT_EQ(log.responses.size(), 1u);
  EXPECT_EQ(log.responses[0].bytes, (std::vector<uint8_t>{0x00, 0x00}));
  EXPECT_EQ(Events(EventKind::kResponse).size(), 1u);
}

TEST_F(MethodCallChannelTest, ACompletionSetOffByTheReplyItselfIsTheDuplicate) {
  std::unique_ptr<Result> kept;
  channel_->SetCallHandler(
      [&](const auto&, std::unique_ptr<Result> result) { kept = std::move(result); });
  ResponseLog log;
  standin::ResponseFunction collect = log.Collector();
  // The engine side reacts to the response by completing the same result again, on the same
  // thread and while the response is still being delivered.
  core().Deliver(kChannel, kFooCall, [&](const uint8_t* data, size_t size) {
    collect(data, size);
    kept->Error("again", "", nullptr);
  });
  testing::internal::CaptureStderr();
  kept->Success(nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kDuplicateResult);
  ASSERT_EQ(log.responses.size(), 1u);
  EXPECT_EQ(log.responses[0].bytes, (std::vector<uint8_t>{0x00, 0x00}));
  const auto responses = Events(EventKind::kResponse);
  ASSERT_EQ(responses.size(), 1u);
  EXPECT_TRUE(responses[0].ok);
}

TEST_F(MethodCallChannelTest, AResultDroppedWithoutReplyWarnsOnceAndSendsNothing) {
  std::unique_ptr<Result> kept;
  channel_->SetCallHandler(
      [&](const auto&, std::unique_ptr<Result> result) { kept = std::move(result); });
  ResponseLog log;
  testing::internal::CaptureStderr();
  core().Deliver(kChannel, kFooCall, log.Collector());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  testing::internal::CaptureStderr();
  kept.reset();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kLeak);
  EXPECT_TRUE(log.responses.empty());
  EXPECT_TRUE(Events(EventKind::kResponse).empty());
}

TEST_F(MethodCallChannelTest, AResultKeptPastTheHandlerCanStillReply) {
  std::unique_ptr<Result> kept;
  channel_->SetCallHandler(
      [&](const auto&, std::unique_ptr<Result> result) { kept = std::move(result); });
  ResponseLog log;
  core().Deliver(kChannel, kFooCall, log.Collector());
  EXPECT_TRUE(log.responses.empty());
  kept->NotImplemented();
  kept.reset();
  ASSERT_EQ(log.responses.size(), 1u);
  EXPECT_TRUE(log.responses[0].bytes.empty());
}

TEST_F(MethodCallChannelTest, InvokeWithoutAResultSendsWithoutAskingForAReply) {
  channel_->Invoke("foo", nullptr);
  const auto sends = Events(EventKind::kMessengerSend);
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_EQ(sends[0].channel, kChannel);
  EXPECT_FALSE(sends[0].wants_reply);
  EXPECT_EQ(sends[0].bytes, kFooCall);
  EXPECT_TRUE(core().PendingReplies().empty());
}

TEST_F(MethodCallChannelTest, InvokeDeliversTheDecodedReplyToItsResult) {
  static const uint8_t stray = 0x00;
  struct Case {
    const char* name;
    std::vector<uint8_t> reply;
    const uint8_t* pointer_for_empty;  // zero-byte replies only
    std::vector<std::string> calls;
    std::string stderr_text;
  };
  const std::vector<Case> cases{
      {"success with value", {0x00, 0x03, 0x05, 0x00, 0x00, 0x00}, nullptr, {"success 5"}, ""},
      {"success without value", {0x00, 0x00}, nullptr, {"success"}, ""},
      {"error envelope",
       {0x01, 0x07, 0x01, 0x45, 0x07, 0x01, 0x6D, 0x03, 0x01, 0x00, 0x00, 0x00},
       nullptr,
       {"error E/m 1"},
       ""},
      {"empty reply, null pointer", {}, nullptr, {"not-implemented"}, ""},
      {"empty reply, non-null pointer", {}, &stray, {"not-implemented"}, ""},
      {"undecodable reply",
       {0x02},
       nullptr,
       {"not-implemented"},
       "Unable to decode reply to method invocation on channel com.example/test\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto log = std::make_shared<RecordingResult::Log>();
    EncodableValue argument(std::string("x"));
    channel_->Invoke("foo", std::make_unique<EncodableValue>(argument),
                     std::make_unique<RecordingResult>(log));
    const auto pending = core().PendingReplies();
    ASSERT_EQ(pending.size(), 1u);
    EXPECT_EQ(pending[0].message,
              (std::vector<uint8_t>{0x07, 0x03, 0x66, 0x6F, 0x6F, 0x07, 0x01, 0x78}));
    EXPECT_TRUE(log->calls.empty());
    EXPECT_FALSE(log->destroyed);

    testing::internal::CaptureStderr();
    const uint8_t* data = c.reply.empty() ? c.pointer_for_empty : c.reply.data();
    ASSERT_TRUE(core().AnswerReply(pending[0].id, data, c.reply.size()));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.stderr_text);
    EXPECT_EQ(log->calls, c.calls);
    EXPECT_TRUE(log->destroyed) << "the result outlived its only reply";
  }
}

// Calls and replies are encoded into a buffer kept for the next message. Two messages in a row
// carry exactly the owned-vector encoding, and come from the same address: a fresh buffer per
// message would get another block (the block a freed one leaves is taken by `hold`, and ASan
// keeps freed blocks out of use anyway).
TEST_F(MethodCallChannelTest, ConsecutiveCallsAndRepliesReuseOneBufferForTheSameBytes) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  const EncodableValue line(std::string(40, 'e'));
  const flutter::MethodCall<EncodableValue> call("foo", std::make_unique<EncodableValue>(line));
  const std::vector<uint8_t> call_bytes = *codec.EncodeCall(call);
  const std::vector<uint8_t> reply_bytes = *codec.EncodeSuccess(&line);
  channel_->SetCallHandler(
      [&](const auto&, std::unique_ptr<Result> result) { result->Success(&line); });
  std::vector<std::vector<uint8_t>> hold;
  for (int i = 0; i < 2; ++i) {
    channel_->Invoke("foo", std::make_unique<EncodableValue>(line));
    core().Deliver(kChannel, kFooCall);
    hold.emplace_back(call_bytes.size());
    hold.emplace_back(reply_bytes.size());
  }
  for (const auto& [kind, bytes] : {std::pair(EventKind::kMessengerSend, call_bytes),
                                    std::pair(EventKind::kResponse, reply_bytes)}) {
    SCOPED_TRACE(kind == EventKind::kResponse ? "replies" : "calls");
    const auto sent = Events(kind);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_EQ(sent[0].bytes, bytes);
    EXPECT_EQ(sent[1].bytes, bytes);
    EXPECT_EQ(sent[0].data, sent[1].data) << "the second message got a buffer of its own";
  }
}

// A send can set off another on the same thread before it returns: an engine that answers on the
// spot delivers a new call from inside a send, and that call's handler sends too. The engine reads
// the outer message's bytes again once the inner send is back; both must be exact, so the inner
// message must have had a buffer of its own.
TEST_F(MethodCallChannelTest, AMessageSentFromInsideASendLeavesTheOuterBytesWhole) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  const EncodableValue outer(std::string(40, 'o'));
  const EncodableValue inner(std::string(8, 'i'));
  const std::vector<uint8_t> outer_call = *codec.EncodeCall(
      flutter::MethodCall<EncodableValue>("out", std::make_unique<EncodableValue>(outer)));
  const std::vector<uint8_t> inner_call = *codec.EncodeCall(
      flutter::MethodCall<EncodableValue>("in", std::make_unique<EncodableValue>(inner)));
  const std::vector<uint8_t> outer_reply = *codec.EncodeSuccess(&outer);
  const std::vector<uint8_t> inner_reply = *codec.EncodeSuccess(&inner);
  const std::vector<uint8_t> inner_trigger{0x07, 0x01, 'i', 0x00};

  // "foo" is answered with the long reply, the inner trigger with an invoke and the short reply.
  channel_->SetCallHandler(
      [&](const flutter::MethodCall<EncodableValue>& call, std::unique_ptr<Result> result) {
        if (call.method_name() == "foo") return result->Success(&outer);
        channel_->Invoke("in", std::make_unique<EncodableValue>(inner));
        result->Success(&inner);
      });
  std::vector<std::string> reread;
  const auto check_whole = [&](const char* what, const uint8_t* data,
                               const std::vector<uint8_t>& sent) {
    const bool whole = data != nullptr && std::equal(sent.begin(), sent.end(), data);
    reread.push_back(std::string(what) + (whole ? " whole" : " overwritten"));
  };
  hooks_.on_event = [&](const standin::Event& event) {
    if (event.kind != EventKind::kMessengerSend || event.bytes != outer_call) return;
    core().Deliver(kChannel, inner_trigger);
    check_whole("call", event.data, event.bytes);
  };
  channel_->Invoke("out", std::make_unique<EncodableValue>(outer));

  ResponseLog log;
  standin::ResponseFunction collect = log.Collector();
  core().Deliver(kChannel, kFooCall, [&](const uint8_t* data, size_t size) {
    collect(data, size);
    core().Deliver(kChannel, inner_trigger);
    check_whole("reply", data, log.responses.front().bytes);
  });
  EXPECT_EQ(reread, (std::vector<std::string>{"call whole", "reply whole"}));

  std::vector<std::vector<uint8_t>> calls;
  for (const auto& event : Events(EventKind::kMessengerSend)) calls.push_back(event.bytes);
  EXPECT_EQ(calls, (std::vector<std::vector<uint8_t>>{inner_call, outer_call, inner_call}));
  std::vector<std::vector<uint8_t>> replies;
  for (const auto& event : Events(EventKind::kResponse)) replies.push_back(event.bytes);
  EXPECT_EQ(replies, (std::vector<std::vector<uint8_t>>{inner_reply, outer_reply, inner_reply}));
}

// A sender keeps its buffer's memory for the next message, but only up to a bound: a rare large
// message gives its memory back once sent, or every channel would hold its largest message's
// memory for as long as it lives.
TEST(MessageBufferTest, AMessageAboveTheKeptCapacityGivesItsMemoryBack) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  const EncodableValue usual(std::string(100, 'u'));
  const EncodableValue large(std::string(flutter::MessageBuffer::kKeptCapacity, 'l'));
  flutter::MessageBuffer buffer;
  const uint8_t* usual_memory = nullptr;
  {
    flutter::MessageBuffer::Lease lease(buffer);
    codec.EncodeSuccessTo(&usual, lease.bytes());
    usual_memory = lease.bytes()->data();
  }
  {
    flutter::MessageBuffer::Lease lease(buffer);
    EXPECT_TRUE(lease.bytes()->empty());
    EXPECT_EQ(lease.bytes()->data(), usual_memory) << "a usual message's memory was not kept";
    codec.EncodeSuccessTo(&large, lease.bytes());
    EXPECT_EQ(lease.bytes()->ToVector(), *codec.EncodeSuccess(&large));
    ASSERT_GT(lease.bytes()->capacity(), flutter::MessageBuffer::kKeptCapacity);
  }
  flutter::MessageBuffer::Lease lease(buffer);
  EXPECT_TRUE(lease.bytes()->empty());
  EXPECT_LE(lease.bytes()->capacity(), flutter::MessageBuffer::kKeptCapacity)
      << "the large message's memory is still held";
  codec.EncodeSuccessTo(&usual, lease.bytes());
  EXPECT_EQ(lease.bytes()->ToVector(), *codec.EncodeSuccess(&usual));
}

TEST_F(MethodCallChannelTest, ARefusedInvokeDestroysItsResultUncompleted) {
  auto log = std::make_shared<RecordingResult::Log>();
  core().RefuseNextSends(1);
  testing::internal::CaptureStderr();
  channel_->Invoke("foo", nullptr, std::make_unique<RecordingResult>(log));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_TRUE(log->destroyed);
  EXPECT_TRUE(log->calls.empty());
  EXPECT_TRUE(core().PendingReplies().empty());
}

TEST_F(MethodCallChannelTest, AnInvokeStillPendingWhenTheEngineGoesCompletesOnceAsNotImplemented) {
  auto log = std::make_shared<RecordingResult::Log>();
  channel_->Invoke("foo", nullptr, std::make_unique<RecordingResult>(log));
  ASSERT_EQ(core().PendingReplies().size(), 1u);
  testing::internal::CaptureStderr();
  channel_.reset();
  engine_.reset();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(log->calls, std::vector<std::string>{"not-implemented"});
  EXPECT_TRUE(log->destroyed);
}

TEST_F(MethodCallChannelTest, ADestroyedChannelObjectLeavesItsHandlerWorking) {
  std::vector<std::string> methods;
  channel_->SetCallHandler(
      [&](const flutter::MethodCall<EncodableValue>& call, std::unique_ptr<Result> result) {
        methods.push_back(call.method_name());
        result->Success(nullptr);
      });
  channel_.reset();

  ResponseLog log;
  core().Deliver(kChannel, kFooCall, log.Collector());
  EXPECT_EQ(methods, std::vector<std::string>{"foo"});
  ASSERT_EQ(log.responses.size(), 1u);
  EXPECT_EQ(log.responses[0].bytes, (std::vector<uint8_t>{0x00, 0x00}));

  // Another channel object of the same name on the same messenger removes it.
  Channel again(&engine_->GetMessenger(), kChannel,
                &flutter::StandardMethodCodec::SharedInstance());
  again.SetCallHandler(nullptr);
  EXPECT_FALSE(core().HasCallback(kChannel));
  EXPECT_EQ(core().Deliver(kChannel, kFooCall), DeliverOutcome::kNoCallback);
}

}  // namespace
}  // namespace embedding_test
