// A running handler that, through what it calls, destroys the messenger running it (the window's
// "destroy" method does exactly that), or replaces or removes its own table entry. Run under
// AddressSanitizer: every use of the handler's captured state after the tear-down is checked.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/standard_method_codec.h"
#include "embedding/flutter_engine.h"
#include "embedding/flutter_view_controller.h"
#include "embedding/method_call_channel.h"
#include "shell/engine_project.h"
#include "tests/standin/standin_fixture.h"

namespace embedding_test {
namespace {

using flutter::EncodableValue;
using standin::EventKind;
using Channel = flutter::MethodCallChannel<EncodableValue>;
using Result = flutter::MethodResult<EncodableValue>;

constexpr char kChannel[] = "com.example/window";
// The call "destroy" without arguments.
const std::vector<uint8_t> kDestroyCall{0x07, 0x07, 'd', 'e', 's', 't', 'r', 'o', 'y', 0x00};

class HandlerTeardownTest : public StandinTest {};

TEST_F(HandlerTeardownTest, ACallHandlerDestroyingTheViewControllerKeepsItsStateUntilItReturns) {
  auto controller =
      std::make_unique<flutter::FlutterViewController>(1280, 720, EngineProject(L"data"));
  auto channel = std::make_unique<Channel>(&controller->GetEngine()->GetMessenger(), kChannel,
                                           &flutter::StandardMethodCodec::SharedInstance());
  std::string seen;
  std::string printed = "<not run>";
  // Owned only by the installed handler (long enough to live on the heap).
  const std::string label = "state captured by the running handler";
  channel->SetCallHandler(
      [&controller, &channel, &seen, &printed, label](
          const flutter::MethodCall<EncodableValue>& call, std::unique_ptr<Result> result) {
        channel.reset();
        controller.reset();  // view controller -> engine wrapper -> messenger and its handler table
        seen = label + " / " + call.method_name();
        // Captured only here, so that a sanitizer report from the lines above stays visible.
        testing::internal::CaptureStderr();
        result->Success(nullptr);
        printed = testing::internal::GetCapturedStderr();
      });

  ResponseLog log;
  EXPECT_EQ(core().Deliver(kChannel, kDestroyCall, log.Collector()),
            standin::DeliverOutcome::kDelivered);
  EXPECT_EQ(printed, "");
  EXPECT_EQ(seen, "state captured by the running handler / destroy");
  EXPECT_EQ(controller, nullptr);
  // The engine was gone when the result answered: the reply was dropped silently.
  EXPECT_TRUE(log.responses.empty());
  EXPECT_TRUE(Events(EventKind::kResponse).empty());
}

TEST_F(HandlerTeardownTest, AMessageHandlerMayDestroyOrReplaceItsOwnEntryWhileRunning) {
  struct Case {
    const char* name;
    // Runs inside the handler: tears down what is named.
    std::function<void(std::unique_ptr<flutter::FlutterEngine>&)> act;
    bool engine_survives;
    bool channel_has_callback_after;
  };
  const std::vector<Case> cases{
      {"destroys the engine wrapper", [](auto& engine) { engine.reset(); }, false, false},
      {"replaces its own handler",
       [](auto& engine) {
         engine->GetMessenger().SetHandler(kChannel,
                                           [](const uint8_t*, size_t, flutter::ReplyCallback) {});
       },
       true, true},
      {"removes its own handler",
       [](auto& engine) { engine->GetMessenger().SetHandler(kChannel, nullptr); }, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto engine = std::make_unique<flutter::FlutterEngine>(EngineProject(L"data"));
    std::string seen;
    const std::string label = "state captured by the running message handler";
    engine->GetMessenger().SetHandler(
        kChannel, [&engine, &seen, &c, label](const uint8_t* data, size_t size,
                                              flutter::ReplyCallback reply) {
          c.act(engine);
          seen = label + " " + std::to_string(size) + " " + std::to_string(data[0]);
          const uint8_t answer = 1;
          reply(&answer, 1);
        });

    ResponseLog log;
    core().Deliver(kChannel, {42}, log.Collector());
    EXPECT_EQ(seen, "state captured by the running message handler 1 42");
    EXPECT_EQ(engine != nullptr, c.engine_survives);
    EXPECT_EQ(log.responses.size(), c.engine_survives ? 1u : 0u);
    if (engine) {
      EXPECT_EQ(core().HasCallback(kChannel), c.channel_has_callback_after);
      engine.reset();
    }
  }
}

// A shutting-down engine may still deliver what it has in flight until it is gone, so the
// wrappers keep the handler table, and the engine wrapper that the next-frame callback points to,
// until the engine handle is destroyed: the engine wrapper shuts down before it drops its
// messenger, the view controller destroys its handle before it lets go of the engine wrapper.
TEST_F(HandlerTeardownTest, WhatAnEngineDeliversWhileShuttingDownStillFindsItsHandlers) {
  for (const bool with_controller : {false, true}) {
    SCOPED_TRACE(with_controller ? "view controller" : "engine wrapper");
    std::unique_ptr<flutter::FlutterViewController> controller;
    std::unique_ptr<flutter::FlutterEngine> bare;
    if (with_controller) {
      controller =
          std::make_unique<flutter::FlutterViewController>(1280, 720, EngineProject(L"data"));
    } else {
      bare = std::make_unique<flutter::FlutterEngine>(EngineProject(L"data"));
    }
    flutter::FlutterEngine* engine = with_controller ? controller->GetEngine() : bare.get();
    std::vector<std::string> seen;
    engine->GetMessenger().SetHandler(
        kChannel, [&seen](const uint8_t* data, size_t size, flutter::ReplyCallback reply) {
          seen.push_back("message " + std::to_string(data[0]));
          reply(data, size);
        });
    engine->SetNextFrameCallback([&seen] { seen.push_back("frame"); });

    ResponseLog log;
    hooks_.on_shutdown = [&](FlutterDesktopEngineRef handle) {
      EXPECT_EQ(core().Deliver(kChannel, {7}, log.Collector(), handle),
                standin::DeliverOutcome::kDelivered);
      EXPECT_TRUE(core().FireNextFrame(handle));
    };
    controller.reset();
    bare.reset();
    hooks_.on_shutdown = nullptr;

    EXPECT_EQ(seen, (std::vector<std::string>{"message 7", "frame"}));
    ASSERT_EQ(log.responses.size(), 1u);
    EXPECT_EQ(log.responses[0].bytes, std::vector<uint8_t>{7});
    const auto destroys = Events(EventKind::kEngineDestroy);
    ASSERT_FALSE(destroys.empty());
    EXPECT_EQ(destroys.back().detail, with_controller ? "controller" : "api");
  }
}

}  // namespace
}  // namespace embedding_test
