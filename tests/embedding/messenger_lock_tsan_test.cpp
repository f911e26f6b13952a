// Built with ThreadSanitizer: results completed on a worker thread while the platform thread shuts
// the engine down. The messenger lock around the availability check and the send is what keeps
// every response either delivered before the shutdown or dropped after it, never in between.
#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/standard_method_codec.h"
#include "embedding/flutter_view_controller.h"
#include "embedding/method_call_channel.h"
#include "shell/engine_project.h"
#include "standin/core/core.h"

namespace {

using flutter::EncodableValue;
using standin::EventKind;
using Channel = flutter::MethodCallChannel<EncodableValue>;
using Result = flutter::MethodResult<EncodableValue>;

constexpr int kMessages = 200;
constexpr int kRounds = 10;

TEST(MessengerLockTest, ResultsCompletedOnAnotherThreadDuringEngineShutdown) {
  standin::Core& core = standin::Core::Get();
  const std::vector<uint8_t> call{0x07, 0x01, 'x', 0x00};
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    core.Reset();
    auto controller =
        std::make_unique<flutter::FlutterViewController>(100, 100, EngineProject(L"data"));
    auto channel = std::make_unique<Channel>(&controller->GetEngine()->GetMessenger(), "ch",
                                             &flutter::StandardMethodCodec::SharedInstance());
    std::vector<std::unique_ptr<Result>> results;
    channel->SetCallHandler(
        [&](const auto&, std::unique_ptr<Result> result) { results.push_back(std::move(result)); });

    std::atomic<int> delivered{0};
    std::atomic<int> malformed{0};
    for (int i = 0; i < kMessages; ++i) {
      core.Deliver("ch", call, [&](const uint8_t* data, size_t size) {
        if (size == 2 && data[0] == 0 && data[1] == 0) {
          delivered.fetch_add(1);
        } else {
          malformed.fetch_add(1);
        }
      });
    }
    ASSERT_EQ(results.size(), static_cast<size_t>(kMessages));
    channel.reset();

    std::atomic<int> completed{0};
    std::thread worker([&] {
      for (auto& result : results) {
        result->Success(nullptr);
        result.reset();
        completed.fetch_add(1);
      }
    });
    while (completed.load() < kMessages / 2) std::this_thread::yield();
    controller.reset();  // the engine goes while the worker is still answering
    worker.join();

    EXPECT_GE(delivered.load(), kMessages / 2);
    EXPECT_LE(delivered.load(), kMessages);
    EXPECT_EQ(malformed.load(), 0);
    for (const auto& event : core.EventsOf(EventKind::kResponse)) {
      // A send that slipped past the availability check would reach the engine after it is gone.
      EXPECT_TRUE(event.ok) << event.detail;
    }
    EXPECT_EQ(core.LiveEngineCount(), 0u);
    EXPECT_EQ(core.LiveMessengerCount(), 0u);
  }
  core.Reset();
}

}  // namespace
