// A fixture that gives each test a freshly created kiosk window on the desk the executable runs on.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/window/desk_support.h"

namespace desk {

using Lines = std::vector<std::string>;

// The layouts' rectangles as origin and size, the way the tests state them.
inline RECT At(int x, int y, int w, int h) { return RECT{x, y, x + w, y + h}; }

class KioskWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_ = std::make_unique<RecordingWindow>();
    ASSERT_TRUE(window_->Create(L"kiosk window test", Win32Window::Point{10, 10},
                                Win32Window::Size{1280, 720}));
    hwnd_ = window_->GetWindowHandle();
    ASSERT_NE(hwnd_, nullptr);
  }
  void TearDown() override { window_.reset(); }

  RecordingWindow& window() { return *window_; }

  void ExpectRect(const RECT& expected) {
    const RECT actual = WindowRect(hwnd_);
    EXPECT_TRUE(SameRect(actual, expected))
        << "window " << Describe(actual) << ", expected " << Describe(expected);
  }

  std::unique_ptr<RecordingWindow> window_;
  HWND hwnd_ = nullptr;
};

// Fails the executable early when the desk is not the arrangement its tests were written for;
// `work_areas`, when given, are the expected monitors' work areas in the same order.
inline void ExpectDesk(const std::vector<RECT>& expected,
                       const std::vector<RECT>& work_areas = {}) {
  const std::vector<RECT> monitors = SortedMonitors();
  std::string seen;
  for (const RECT& r : monitors) seen += Describe(r) + " ";
  ASSERT_EQ(monitors.size(), expected.size()) << "desk monitors: " << seen;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_TRUE(SameRect(monitors[i], expected[i])) << "desk monitors: " << seen;
  }
  for (std::size_t i = 0; i < work_areas.size(); ++i) {
    const RECT work = WorkAreaOf(expected[i]);
    ASSERT_TRUE(SameRect(work, work_areas[i]))
        << "work area of " << Describe(expected[i]) << ": " << Describe(work);
  }
}

}  // namespace desk
