// The stand-in engine's core as a test fixture, for the embedding tests and the core's own: a clean
// core per test, hooks that tests can steer, and checks that every engine and messenger reference
// was given back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "standin/core/core.h"
#include "standin/core/engine_hooks.h"

namespace embedding_test {

// Hooks whose decisions a test sets with plain std::functions; unset ones keep the defaults.
class SteerableHooks : public standin::EngineHooks {
 public:
  std::function<void(const standin::Event&)> on_event;
  std::function<bool(const standin::EngineInfo&)> allow_engine;
  std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> top_level;
  std::optional<UINT> dpi;
  // Runs while the engine shuts down and is still whole; may deliver to the product.
  std::function<void(FlutterDesktopEngineRef)> on_shutdown;

  void OnEvent(const standin::Event& event) override {
    if (on_event) on_event(event);
  }
  bool AllowEngineCreate(const standin::EngineInfo& info) override {
    return allow_engine ? allow_engine(info) : true;
  }
  bool HandleTopLevelWindowMessage(FlutterDesktopViewControllerRef, HWND hwnd, UINT message,
                                   WPARAM wparam, LPARAM lparam, LRESULT* result) override {
    return top_level ? top_level(hwnd, message, wparam, lparam, result) : false;
  }
  std::optional<UINT> DpiForMonitor(HMONITOR) override { return dpi; }
  // The core's own view window is null on Windows (the product would hand it to user32), so a
  // view gets this handle on every platform: never a window, only handed back by the embedding.
  std::optional<HWND> CreateViewWindow(FlutterDesktopEngineRef, int, int) override {
    return reinterpret_cast<HWND>(&view_window_token_);
  }
  void OnEngineShutdown(FlutterDesktopEngineRef engine) override {
    if (on_shutdown) on_shutdown(engine);
  }

 private:
  char view_window_token_ = 0;
};

class StandinTest : public ::testing::Test {
 protected:
  void SetUp() override {
    core().Reset();
    standin::SetEngineHooks(&hooks_);
  }

  void TearDown() override {
    // A reference left behind by the product (a messenger reference, an engine handle) shows up
    // here rather than as a silent leak.
    EXPECT_EQ(core().LiveEngineCount(), 0u);
    EXPECT_EQ(core().LiveMessengerCount(), 0u);
    core().Reset();
  }

  static standin::Core& core() { return standin::Core::Get(); }

  std::vector<standin::Event> Events(standin::EventKind kind) const {
    return core().EventsOf(kind);
  }

  SteerableHooks hooks_;
};

// A response as the stand-in engine saw it.
struct Response {
  bool null_data = false;
  std::vector<uint8_t> bytes;
};

// Collects the responses the product sends for delivered messages.
class ResponseLog {
 public:
  standin::ResponseFunction Collector() {
    return [this](const uint8_t* data, size_t size) {
      Response response;
      response.null_data = data == nullptr;
      if (data != nullptr) response.bytes.assign(data, data + size);
      responses.push_back(response);
    };
  }
  std::vector<Response> responses;
};

}  // namespace embedding_test
