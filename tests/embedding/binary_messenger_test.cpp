// BinaryMessengerImpl against the stand-in engine: handler table, sends, one-shot replies.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "embedding/binary_messenger.h"
#include "embedding/flutter_engine.h"
#include "shell/engine_project.h"
#include "tests/standin/standin_fixture.h"

namespace embedding_test {
namespace {

using standin::DeliverOutcome;
using standin::EventKind;

constexpr char kDuplicateResponse[] =
    "Error: Response can be set only once. Ignoring duplicate response.\n";

class BinaryMessengerTest : public StandinTest {
 protected:
  void SetUp() override {
    StandinTest::SetUp();
    engine_ = std::make_unique<flutter::FlutterEngine>(EngineProject(L"data"));
  }
  void TearDown() override {
    engine_.reset();
    StandinTest::TearDown();
  }

  flutter::BinaryMessenger& messenger() { return engine_->GetMessenger(); }

  std::unique_ptr<flutter::FlutterEngine> engine_;
};

TEST_F(BinaryMessengerTest, ReplacingAHandlerKeepsOneEntryAndTheSameUserData) {
  std::vector<std::string> calls;
  messenger().SetHandler(
      "ch", [&](const uint8_t*, size_t, flutter::ReplyCallback) { calls.push_back("first"); });
  messenger().SetHandler(
      "ch", [&](const uint8_t*, size_t, flutter::ReplyCallback) { calls.push_back("second"); });

  const auto registrations = Events(EventKind::kSetCallback);
  ASSERT_EQ(registrations.size(), 2u);
  EXPECT_TRUE(registrations[0].ok);
  EXPECT_TRUE(registrations[1].ok);
  EXPECT_NE(registrations[0].pointer, nullptr);
  EXPECT_EQ(registrations[0].pointer, registrations[1].pointer);

  EXPECT_EQ(core().Deliver("ch", {1}), DeliverOutcome::kDelivered);
  EXPECT_EQ(calls, std::vector<std::string>{"second"});

  // Removing it once leaves nothing behind: a second message finds no callback.
  messenger().SetHandler("ch", nullptr);
  EXPECT_EQ(core().Deliver("ch", {1}), DeliverOutcome::kNoCallback);
  EXPECT_EQ(calls.size(), 1u);
}

TEST_F(BinaryMessengerTest, RemovingAHandlerThatWasNeverSetStillUnregistersTheChannel) {
  int other_calls = 0;
  messenger().SetHandler("other",
                         [&](const uint8_t*, size_t, flutter::ReplyCallback) { ++other_calls; });
  core().ClearEvents();

  messenger().SetHandler("never", nullptr);

  const auto registrations = Events(EventKind::kSetCallback);
  ASSERT_EQ(registrations.size(), 1u);
  EXPECT_EQ(registrations[0].channel, "never");
  EXPECT_FALSE(registrations[0].ok);
  EXPECT_EQ(registrations[0].pointer, nullptr);
  EXPECT_EQ(core().Deliver("other", {}), DeliverOutcome::kDelivered);
  EXPECT_EQ(other_calls, 1);
}

TEST_F(BinaryMessengerTest, IncomingMessagesReachTheirChannelsHandlerWithTheirBytes) {
  std::vector<std::pair<std::string, std::vector<uint8_t>>> seen;
  for (const std::string channel : {"a", "b"}) {
    messenger().SetHandler(
        channel, [&seen, channel](const uint8_t* data, size_t size, flutter::ReplyCallback) {
          seen.emplace_back(channel, std::vector<uint8_t>(data, data + size));
        });
  }
  core().Deliver("b", {7, 8, 9});
  core().Deliver("a", {0});
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].first, "b");
  EXPECT_EQ(seen[0].second, (std::vector<uint8_t>{7, 8, 9}));
  EXPECT_EQ(seen[1].first, "a");
  EXPECT_EQ(seen[1].second, (std::vector<uint8_t>{0}));
}

TEST_F(BinaryMessengerTest, PlainSendAndSendWithReply) {
  const std::vector<uint8_t> message{1, 2, 3};

  messenger().Send("out", message.data(), message.size(), nullptr);
  auto sends = Events(EventKind::kMessengerSend);
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_FALSE(sends[0].wants_reply);
  EXPECT_EQ(sends[0].channel, "out");
  EXPECT_EQ(sends[0].bytes, message);
  EXPECT_TRUE(core().PendingReplies().empty());

  std::vector<std::vector<uint8_t>> replies;
  messenger().Send("out", message.data(), message.size(), [&](const uint8_t* data, size_t size) {
    replies.emplace_back(data, data + size);
  });
  sends = Events(EventKind::kMessengerSend);
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_TRUE(sends[1].wants_reply);
  EXPECT_TRUE(sends[1].ok);
  const auto pending = core().PendingReplies();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].message, message);
  EXPECT_TRUE(replies.empty());

  EXPECT_TRUE(core().AnswerReply(pending[0].id, std::vector<uint8_t>{0, 0}));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0], (std::vector<uint8_t>{0, 0}));
  // The pending reply was consumed by its one delivery.
  EXPECT_FALSE(core().AnswerReply(pending[0].id, std::vector<uint8_t>{0, 0}));
  EXPECT_EQ(replies.size(), 1u);
}

TEST_F(BinaryMessengerTest, ARefusedSendFreesThePendingReplyAndNeverCallsIt) {
  auto sentinel = std::make_shared<int>(0);
  int calls = 0;
  core().RefuseNextSends(1);
  testing::internal::CaptureStderr();
  const uint8_t byte = 5;
  messenger().Send("out", &byte, 1, [sentinel, &calls](const uint8_t*, size_t) { ++calls; });
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");

  EXPECT_EQ(sentinel.use_count(), 1) << "the refused reply callback was kept";
  EXPECT_EQ(calls, 0);
  const auto sends = Events(EventKind::kMessengerSend);
  ASSERT_EQ(sends.size(), 1u);
  EXPECT_TRUE(sends[0].wants_reply);
  EXPECT_FALSE(sends[0].ok);
  EXPECT_TRUE(core().PendingReplies().empty());
}

TEST_F(BinaryMessengerTest, AHandlerThatNeverRepliesReleasesTheMessengerReference) {
  flutter::ReplyCallback kept;
  bool keep = false;
  messenger().SetHandler("ch", [&](const uint8_t*, size_t, flutter::ReplyCallback reply) {
    if (keep) kept = std::move(reply);
  });
  const long baseline = core().MessengerReferences();

  core().Deliver("ch", {1});
  EXPECT_EQ(core().MessengerReferences(), baseline);

  keep = true;
  core().Deliver("ch", {1});
  EXPECT_EQ(core().MessengerReferences(), baseline + 1);
  kept = nullptr;
  EXPECT_EQ(core().MessengerReferences(), baseline);

  EXPECT_TRUE(Events(EventKind::kResponse).empty());
  EXPECT_EQ(core().OutstandingResponses(), 2u);
}

TEST_F(BinaryMessengerTest, ASecondReplySendsNothingAndPrintsTheLineOnce) {
  ResponseLog log;
  bool reply_through_copy = false;
  messenger().SetHandler("ch", [&](const uint8_t*, size_t, flutter::ReplyCallback reply) {
    const uint8_t first = 1;
    const uint8_t second = 2;
    flutter::ReplyCallback copy = reply;
    reply(&first, 1);
    // A copy of the callback answers the same message: it must not send on the used handle.
    (reply_through_copy ? copy : reply)(&second, 1);
  });

  for (bool through_copy : {false, true}) {
    SCOPED_TRACE(through_copy ? "second reply through a copy" : "second reply through the same");
    reply_through_copy = through_copy;
    log.responses.clear();
    core().ClearEvents();
    testing::internal::CaptureStderr();
    core().Deliver("ch", {}, log.Collector());
    EXPECT_EQ(testing::internal::GetCapturedStderr(), kDuplicateResponse);
    ASSERT_EQ(log.responses.size(), 1u);
    EXPECT_EQ(log.responses[0].bytes, std::vector<uint8_t>{1});
    const auto responses = Events(EventKind::kResponse);
    ASSERT_EQ(responses.size(), 1u);
    EXPECT_TRUE(responses[0].ok);
  }
}

TEST_F(BinaryMessengerTest, AResponseSetOffByTheResponseItselfIsTheDuplicate) {
  flutter::ReplyCallback kept;
  messenger().SetHandler(
      "ch", [&](const uint8_t*, size_t, flutter::ReplyCallback reply) { kept = std::move(reply); });
  int responses = 0;
  const uint8_t byte = 1;
  core().Deliver("ch", {}, [&](const uint8_t*, size_t) {
    ++responses;
    kept(&byte, 1);  // re-entered on this thread, under the messenger lock
  });
  testing::internal::CaptureStderr();
  kept(&byte, 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kDuplicateResponse);
  EXPECT_EQ(responses, 1);
  const auto events = Events(EventKind::kResponse);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0].ok);
}

TEST_F(BinaryMessengerTest, ZeroByteRepliesArePassedThroughAsGiven) {
  static const uint8_t some_byte = 9;
  struct Case {
    const char* name;
    const uint8_t* data;
  };
  for (const Case& c : {Case{"null pointer", nullptr}, Case{"non-null pointer", &some_byte}}) {
    SCOPED_TRACE(c.name);
    const uint8_t* seen_data = reinterpret_cast<const uint8_t*>(0x1);
    size_t seen_size = 99;
    bool called = false;
    messenger().SetHandler(
        "ch", [&](const uint8_t*, size_t, flutter::ReplyCallback reply) { reply(c.data, 0); });
    core().Deliver("ch", {3}, [&](const uint8_t* data, size_t size) {
      called = true;
      seen_data = data;
      seen_size = size;
    });
    EXPECT_TRUE(called);
    EXPECT_EQ(seen_data, c.data);
    EXPECT_EQ(seen_size, 0u);
  }
}

TEST_F(BinaryMessengerTest, AReplyAfterEngineShutdownIsASilentNoOp) {
  flutter::ReplyCallback kept;
  messenger().SetHandler(
      "ch", [&](const uint8_t*, size_t, flutter::ReplyCallback reply) { kept = std::move(reply); });
  bool responded = false;
  core().Deliver("ch", {1}, [&](const uint8_t*, size_t) { responded = true; });

  engine_.reset();
  // The messenger outlives its engine while the reply callback holds a reference.
  EXPECT_EQ(core().LiveEngineCount(), 0u);
  EXPECT_EQ(core().LiveMessengerCount(), 1u);

  core().ClearEvents();
  testing::internal::CaptureStderr();
  const uint8_t byte = 4;
  kept(&byte, 1);
  kept(&byte, 1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(responded);
  EXPECT_TRUE(Events(EventKind::kResponse).empty());
  // Each attempt checked availability under the lock and released it.
  EXPECT_EQ(Events(EventKind::kMessengerLock).size(), 2u);
  EXPECT_EQ(Events(EventKind::kMessengerUnlock).size(), 2u);

  kept = nullptr;
  EXPECT_EQ(core().LiveMessengerCount(), 0u);
}

}  // namespace
}  // namespace embedding_test
