#include "standin/engine/dart_side.h"

#include <algorithm>

#include "standin/core/core.h"
#include "standin/engine/engine_side.h"
#include "standin/engine/resource_probe.h"
#include "standin/engine/transcript.h"
#include "standin/engine/window_probe.h"

namespace standin {
namespace {

const char* OutcomeName(DeliverOutcome outcome) {
  switch (outcome) {
    case DeliverOutcome::kDelivered: return "delivered";
    case DeliverOutcome::kNoCallback: return "no-callback";
    case DeliverOutcome::kNoEngine: return "no-engine";
  }
  return "?";
}

constexpr int kPollMs = 10;
constexpr int kStop = -2;
constexpr int kStay = -1;

}  // namespace

DartSide::DartSide(const Scenario& scenario, EngineSide* engine)
    : scenario_(scenario), engine_(engine) {}

void DartSide::Start(int delay_ms) {
  Record(JsonLine("dart-start").Int("steps", static_cast<long long>(scenario_.steps.size())));
  Schedule(delay_ms);
}

void DartSide::Schedule(int delay_ms) {
  SetTimer(engine_->parking_window(), kStepTimer, static_cast<UINT>(delay_ms), nullptr);
}

void DartSide::OnTimer(UINT_PTR id) {
  if (id != kStepTimer) return;
  KillTimer(engine_->parking_window(), kStepTimer);
  RunSteps();
}

// Only the lines a later wait may still match are kept, and at most kPendingLines of them, so that
// a long run measures the kiosk's memory rather than this list.
void DartSide::OnDisplayEvent(const std::string& line) {
  lines_.push_back(line);
  if (lines_.size() > kPendingLines) lines_.pop_front();
}

bool DartSide::FindEvent(const std::string& pattern) {
  const bool prefix = !pattern.empty() && pattern.back() == '*';
  const std::string wanted = prefix ? pattern.substr(0, pattern.size() - 1) : pattern;
  for (auto it = lines_.begin(); it != lines_.end(); ++it) {
    if (prefix ? it->rfind(wanted, 0) == 0 : *it == wanted) {
      lines_.erase(lines_.begin(), it + 1);
      return true;
    }
  }
  return false;
}

void DartSide::RunSteps() {
  if (finished_) return;
  if (next_ >= scenario_.steps.size()) {
    finished_ = true;
    Record(JsonLine("dart-end"));
    engine_->OnDartEnd();
    return;
  }
  const Step& step = scenario_.steps[next_];
  int delay = step.repeat > 1 ? RunBurst(step) : RunStep(step);
  if (delay == kStop) {
    finished_ = true;
    engine_->OnDartEnd();
    return;
  }
  if (delay == kStay) {
    Schedule(kPollMs);
    return;
  }
  ++next_;
  // Every step yields to the message loop, so that posted messages and the kiosk's own timers
  // run between steps as they would between Dart events.
  Schedule(delay);
}

int DartSide::RunBurst(const Step& step) {
  const long long now = ElapsedMs();
  if (burst_done_ == 0) burst_start_ = now;
  // Repetition i is due at start + i * spread / repeat; the step timer is too coarse to wake
  // for each, so every wake-up runs all that are due and yields in between.
  long long due = step.repeat;
  if (step.spread_ms > 0) {
    due = std::min<long long>(step.repeat, (now - burst_start_) * step.repeat / step.spread_ms + 1);
  }
  while (burst_done_ < due) {
    ++burst_done_;
    if (RunStep(step) == kStop) return kStop;
  }
  if (burst_done_ < step.repeat) return kStay;
  burst_done_ = 0;
  return 0;
}

int DartSide::RunStep(const Step& step) {
  Core& core = Core::Get();
  switch (step.kind) {
    case Step::Kind::kCall:
    case Step::Kind::kSend: {
      const bool call = step.kind == Step::Kind::kCall;
      const std::string channel = call ? std::string(kAppWindowChannel) : step.text;
      JsonLine sent(call ? "dart-call" : "dart-send");
      sent.Int("line", step.line).Str("channel", channel);
      if (call) sent.Str("method", step.text);
      sent.Hex("bytes", step.bytes.data(), step.bytes.size());
      Record(sent);
      if (ViewWindow* view = engine_->view())
        view->SetLastCall(call ? step.text : "raw on " + channel);
      const int line_number = step.line;
      const std::string method = call ? step.text : std::string();
      DeliverOutcome outcome = core.Deliver(
          channel, step.bytes, [line_number, method](const uint8_t* data, size_t size) {
            JsonLine reply("dart-reply");
            reply.Int("line", line_number);
            if (!method.empty()) reply.Str("method", method);
            reply.Hex("bytes", data, size).Int("size", static_cast<long long>(size));
            Record(reply);
          });
      // The call may have destroyed the engine and its view ("destroy"); nothing of them is
      // touched here.
      Record(JsonLine("dart-call-returned")
                 .Int("line", step.line)
                 .Str("outcome", OutcomeName(outcome)));
      return 0;
    }
    case Step::Kind::kWait:
      Record(JsonLine("dart-wait").Int("line", step.line).Int("ms", step.ms));
      return step.ms;
    case Step::Kind::kWaitEvent: {
      const long long now = ElapsedMs();
      if (wait_deadline_ < 0) wait_deadline_ = now + step.ms;
      if (FindEvent(step.text)) {
        wait_deadline_ = -1;
        Record(JsonLine("dart-wait-event")
                   .Int("line", step.line)
                   .Str("text", step.text)
                   .Bool("ok", true));
        return 0;
      }
      if (now >= wait_deadline_) {
        wait_deadline_ = -1;
        Record(JsonLine("dart-wait-event")
                   .Int("line", step.line)
                   .Str("text", step.text)
                   .Bool("ok", false));
        return 0;
      }
      return kStay;
    }
    case Step::Kind::kPost: {
      HWND top = engine_->TopLevelWindow();
      LPARAM lparam = static_cast<LPARAM>(step.lparam);
      if (step.rect_lparam) {
        rects_.push_back(RECT{step.rect[0], step.rect[1], step.rect[2], step.rect[3]});
        lparam = reinterpret_cast<LPARAM>(&rects_.back());
      }
      JsonLine line("dart-post");
      line.Int("line", step.line)
          .Str("message", step.text)
          .Int("number", step.message)
          .Int("wparam", static_cast<long long>(step.wparam))
          .Int("lparam", static_cast<long long>(step.rect_lparam ? 0 : step.lparam));
      if (step.rect_lparam) {
        line.IntList("rect", {step.rect[0], step.rect[1], step.rect[2], step.rect[3]});
      }
      bool ok = top && PostMessageW(top, step.message, static_cast<WPARAM>(step.wparam), lparam);
      line.Bool("ok", ok);
      Record(line);
      return 0;
    }
    case Step::Kind::kStage: {
      Record(JsonLine("stage").Int("line", step.line).Str("name", step.text));
      if (ViewWindow* view = engine_->view()) view->SetStage(step.text);
      return 0;
    }
    case Step::Kind::kProbe: {
      HWND view = engine_->view() ? engine_->view()->hwnd() : nullptr;
      Record(JsonLine("probe")
                 .Int("line", step.line)
                 .Str("label", step.text)
                 .Raw("top", WindowStateJson(engine_->TopLevelWindow(), view)));
      return 0;
    }
    case Step::Kind::kResources: {
      JsonLine line("resources");
      line.Int("line", step.line).Str("label", step.text);
      Record(AddResourceCounts(line));
      return 0;
    }
    case Step::Kind::kConsole: {
      JsonLine line("console");
      line.Int("line", step.line).Str("label", step.text);
      Record(AddConsoleText(line));
      return 0;
    }
    case Step::Kind::kQuit: Record(JsonLine("dart-quit").Int("line", step.line)); return kStop;
  }
  return 0;
}

}  // namespace standin
