// The stand-in's "Dart program": runs the scenario's steps one after another on the UI thread,
// driven by a timer on the engine's hidden window, and records each in the transcript.
#pragma once

#include <windows.h>

#include <deque>
#include <string>
#include <vector>

#include "standin/engine/scenario.h"

namespace standin {

class EngineSide;

class DartSide {
 public:
  DartSide(const Scenario& scenario, EngineSide* engine);

  void Start(int delay_ms);
  // WM_TIMER on the engine's hidden window.
  void OnTimer(UINT_PTR id);
  // Every "onDisplayEvent" line the kiosk sent, in order.
  void OnDisplayEvent(const std::string& line);

  static constexpr UINT_PTR kStepTimer = 0x5701;

 private:
  void Schedule(int delay_ms);
  void RunSteps();
  // Runs one step; returns the delay before the next, or -1 to stay on this step (waiting).
  int RunStep(const Step& step);
  // Runs the due repetitions of a burst step; -1 while repetitions are still to come.
  int RunBurst(const Step& step);
  bool FindEvent(const std::string& pattern);

  const Scenario& scenario_;
  EngineSide* engine_;
  size_t next_ = 0;
  bool finished_ = false;
  // Event lines not consumed by a wait yet, oldest first.
  static constexpr size_t kPendingLines = 1000;
  std::deque<std::string> lines_;
  long long wait_deadline_ = -1;
  int burst_done_ = 0;
  long long burst_start_ = 0;
  std::deque<RECT> rects_;  // WM_DPICHANGED rectangles must outlive their posted messages
};

}  // namespace standin
