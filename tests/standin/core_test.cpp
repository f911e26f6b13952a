// The stand-in engine core's own promises that the embedding and the Windows half rely on: one-shot
// response handles, a messenger that outlives its engine, pending replies answered exactly once,
// ownership of an engine handed to a controller, how calls with dead or null handles are
// recorded, and the DPI answer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "embedding/flutter_desktop.h"
#include "tests/standin/standin_fixture.h"

namespace embedding_test {
namespace {

using standin::EventKind;

FlutterDesktopEngineRef CreateEngine() {
  static const wchar_t kAssets[] = L"a";
  FlutterDesktopEngineProperties properties{};
  properties.assets_path = kAssets;
  properties.icu_data_path = kAssets;
  properties.aot_library_path = kAssets;
  properties.dart_entrypoint = "";
  return FlutterDesktopEngineCreate(&properties);
}

class StandinCoreTest : public StandinTest {};

// Answers every message twice on the same handle, as a faulty product might.
void AnswerTwice(FlutterDesktopMessengerRef messenger, const FlutterDesktopMessage* message,
                 void*) {
  const uint8_t first = 1;
  const uint8_t second = 2;
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, &first, 1);
  FlutterDesktopMessengerSendResponse(messenger, message->response_handle, &second, 1);
}

TEST_F(StandinCoreTest, AResponseHandleAnswersOnceAndASecondUseIsCaughtNotFollowed) {
  FlutterDesktopEngineRef engine = CreateEngine();
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  FlutterDesktopMessengerSetCallback(messenger, "ch", &AnswerTwice, nullptr);
  ResponseLog log;
  EXPECT_EQ(core().Deliver("ch", {9}, log.Collector()), standin::DeliverOutcome::kDelivered);
  ASSERT_EQ(log.responses.size(), 1u);
  EXPECT_EQ(log.responses[0].bytes, std::vector<uint8_t>{1});
  const auto responses = Events(EventKind::kResponse);
  ASSERT_EQ(responses.size(), 2u);
  EXPECT_TRUE(responses[0].ok);
  EXPECT_FALSE(responses[1].ok);
  EXPECT_EQ(responses[1].detail, "unknown-handle");
  EXPECT_EQ(core().OutstandingResponses(), 0u);
  EXPECT_TRUE(FlutterDesktopEngineDestroy(engine));
}

void IgnoreMessage(FlutterDesktopMessengerRef, const FlutterDesktopMessage*, void*) {}

TEST_F(StandinCoreTest, TheMessengerOutlivesItsEngineAndReportsItselfUnavailable) {
  FlutterDesktopEngineRef engine = CreateEngine();
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  FlutterDesktopMessengerSetCallback(messenger, "ch", &IgnoreMessage, nullptr);
  core().Deliver("ch", {});
  EXPECT_EQ(core().OutstandingResponses(), 1u);
  FlutterDesktopMessengerRef held = FlutterDesktopMessengerAddRef(messenger);
  EXPECT_EQ(held, messenger);
  EXPECT_TRUE(FlutterDesktopMessengerIsAvailable(held));

  EXPECT_TRUE(FlutterDesktopEngineDestroy(engine));  // frees the unanswered response handle too
  EXPECT_EQ(core().LiveMessengerCount(), 1u);
  FlutterDesktopMessengerRef locked = FlutterDesktopMessengerLock(held);
  EXPECT_NE(locked, nullptr);
  EXPECT_FALSE(FlutterDesktopMessengerIsAvailable(held));
  FlutterDesktopMessengerUnlock(locked);
  FlutterDesktopMessengerRelease(held);
  EXPECT_EQ(core().LiveMessengerCount(), 0u);
}

TEST_F(StandinCoreTest, AnEngineGoingAwayAnswersEachPendingReplyOnceWithNothing) {
  FlutterDesktopEngineRef engine = CreateEngine();
  FlutterDesktopMessengerRef messenger = FlutterDesktopEngineGetMessenger(engine);
  struct Seen {
    int calls = 0;
    bool null_data = false;
    size_t size = 99;
  } seen;
  const uint8_t byte = 3;
  ASSERT_TRUE(FlutterDesktopMessengerSendWithReply(
      messenger, "out", &byte, 1,
      [](const uint8_t* data, size_t size, void* user_data) {
        auto* s = static_cast<Seen*>(user_data);
        ++s->calls;
        s->null_data = data == nullptr;
        s->size = size;
      },
      &seen));
  EXPECT_EQ(seen.calls, 0);
  EXPECT_TRUE(FlutterDesktopEngineDestroy(engine));
  EXPECT_EQ(seen.calls, 1);
  EXPECT_TRUE(seen.null_data);
  EXPECT_EQ(seen.size, 0u);
  EXPECT_EQ(Events(EventKind::kReplyAbandoned).size(), 1u);
}

TEST_F(StandinCoreTest, AnEngineHandedToAControllerIsNotDestroyedBehindItsBack) {
  FlutterDesktopEngineRef engine = CreateEngine();
  FlutterDesktopViewControllerRef controller = FlutterDesktopViewControllerCreate(10, 20, engine);
  ASSERT_NE(controller, nullptr);
  EXPECT_FALSE(FlutterDesktopEngineDestroy(engine));
  EXPECT_EQ(core().LiveEngineCount(), 1u);
  FlutterDesktopViewControllerDestroy(controller);
  EXPECT_EQ(core().LiveEngineCount(), 0u);

  // A dead handle and a null one are recorded apart: only the null one is the product's doing
  // that a real library would crash on at once.
  core().ClearEvents();
  FlutterDesktopEngineReloadSystemFonts(engine);
  FlutterDesktopEngineReloadSystemFonts(nullptr);
  FlutterDesktopViewControllerForceRedraw(nullptr);
  std::vector<std::string> details;
  for (const auto& event : core().Events()) details.push_back(event.detail);
  EXPECT_EQ(details, (std::vector<std::string>{"not-live", "null-engine", "null-controller"}));
}

TEST_F(StandinCoreTest, DpiForMonitorIsTheHooksAnswerOr96) {
  HMONITOR monitor = reinterpret_cast<HMONITOR>(0x10);
  EXPECT_EQ(FlutterDesktopGetDpiForMonitor(monitor), 96u);
  hooks_.dpi = 144;
  EXPECT_EQ(FlutterDesktopGetDpiForMonitor(monitor), 144u);
  const auto queries = Events(EventKind::kDpiQuery);
  ASSERT_EQ(queries.size(), 2u);
  EXPECT_EQ(queries[1].monitor, monitor);
  EXPECT_EQ(queries[1].dpi, 144u);
}

}  // namespace
}  // namespace embedding_test
