// Results completed on other threads: built with ThreadSanitizer, and on Linux into the
// AddressSanitizer tests too. While the platform thread shuts the engine down, the messenger lock
// around the availability check and the send is what keeps every response either delivered before
// the shutdown or dropped after it, never in between. Completed on several threads at once, each
// result's reply is encoded in its own thread's buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
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
const std::vector<uint8_t> kCall{0x07, 0x01, 'x', 0x00};

// An engine with the channel "ch", whose handler keeps every call's result unanswered.
struct HeldResults {
  HeldResults() {
    channel->SetCallHandler([this](const auto&, std::unique_ptr<Result> result) {
      results.push_back(std::move(result));
    });
  }
  std::unique_ptr<flutter::FlutterViewController> controller =
      std::make_unique<flutter::FlutterViewController>(100, 100, EngineProject(L"data"));
  std::unique_ptr<Channel> channel =
      std::make_unique<Channel>(&controller->GetEngine()->GetMessenger(), "ch",
                                &flutter::StandardMethodCodec::SharedInstance());
  std::vector<std::unique_ptr<Result>> results;
};

TEST(MessengerLockTest, ResultsCompletedOnAnotherThreadDuringEngineShutdown) {
  standin::Core& core = standin::Core::Get();
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    core.Reset();
    HeldResults held;
    auto& results = held.results;
    std::atomic<int> delivered{0};
    std::atomic<int> malformed{0};
    for (int i = 0; i < kMessages; ++i) {
      core.Deliver("ch", kCall, [&](const uint8_t* data, size_t size) {
        if (size == 2 && data[0] == 0 && data[1] == 0) {
          delivered.fetch_add(1);
        } else {
          malformed.fetch_add(1);
        }
      });
    }
    ASSERT_EQ(results.size(), static_cast<size_t>(kMessages));
    held.channel.reset();

    std::atomic<int> completed{0};
    std::thread worker([&] {
      for (auto& result : results) {
        result->Success(nullptr);
        result.reset();
        completed.fetch_add(1);
      }
    });
    while (completed.load() < kMessages / 2) std::this_thread::yield();
    held.controller.reset();  // the engine goes while the worker is still answering
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

TEST(MessengerLockTest, ResultsCompletedOnSeveralThreadsAtOnceEachSendTheirOwnBytes) {
  constexpr size_t kThreads = 4;
  constexpr size_t kPerThread = 20000;
  constexpr size_t kResults = kThreads * kPerThread;
  standin::Core& core = standin::Core::Get();
  core.Reset();
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  // Lengths from 0 to 299: short and long strings, one-byte sizes and the 0xfe marker, and
  // messages that make a buffer grow.
  std::vector<EncodableValue> values;
  std::vector<std::vector<uint8_t>> expected;
  for (size_t i = 0; i < kResults; ++i) {
    values.emplace_back(std::to_string(i) +
                        std::string(i * 7 % 300, static_cast<char>('a' + i % 26)));
    expected.push_back(*codec.EncodeSuccess(&values.back()));
  }
  HeldResults held;
  auto& results = held.results;
  std::atomic<size_t> exact{0};
  std::atomic<size_t> wrong{0};
  for (size_t i = 0; i < kResults; ++i) {
    // Runs on the completing thread, while the bytes are still the sender's.
    core.Deliver("ch", kCall, [&, i](const uint8_t* data, size_t size) {
      const bool same = size == expected[i].size() && data != nullptr &&
                        std::equal(expected[i].begin(), expected[i].end(), data);
      (same ? exact : wrong).fetch_add(1);
    });
  }
  ASSERT_EQ(results.size(), kResults);

  std::atomic<size_t> ready{0};
  std::vector<std::thread> threads;
  for (size_t t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      ready.fetch_add(1);
      while (ready.load() < kThreads) std::this_thread::yield();
      for (size_t i = t * kPerThread; i < (t + 1) * kPerThread; ++i) {
        results[i]->Success(&values[i]);
        results[i].reset();
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong.load(), 0u);
  EXPECT_EQ(exact.load(), kResults);
  held.channel.reset();
  held.controller.reset();
  EXPECT_EQ(core.LiveEngineCount(), 0u);
  EXPECT_EQ(core.LiveMessengerCount(), 0u);
  core.Reset();
}

}  // namespace
