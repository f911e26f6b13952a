// The stand-in's "Dart program": a text scenario read from the bundle's application library
// slot (data\app.so). Its format is documented in standin/README.md. Settings shape how the
// engine behaves for the whole run; steps are what the Dart side does, one after another, once
// the engine has produced its first frame (or, holding that frame, once the view exists).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

enum class DisplayEventReply { kSuccess, kError, kNotImplemented, kNever };

struct Step {
  enum class Kind {
    kCall,
    kSend,
    kWait,
    kWaitEvent,
    kPost,
    kStage,
    kProbe,
    kResources,
    kConsole,
    kQuit
  };
  Kind kind = Kind::kWait;
  int line = 0;                // line in the scenario file, for the transcript
  std::string text;            // method, channel, awaited event line or stage name
  std::vector<uint8_t> bytes;  // the whole message for call and send
  int ms = 0;                  // wait: delay; wait-event: timeout
  uint32_t message = 0;        // post
  uint64_t wparam = 0;
  int64_t lparam = 0;
  bool rect_lparam = false;  // post WM_DPICHANGED: lparam points at `rect`
  int32_t rect[4] = {0, 0, 0, 0};
  int repeat = 1;     // burst: how many times the step runs in a row
  int spread_ms = 0;  // burst: the runs are spread evenly over this time
};

struct Scenario {
  std::optional<unsigned> dpi;          // reported for every monitor
  bool refuse_view_controller = false;  // the next view-controller creation fails
  std::map<uint32_t, int64_t> consume;  // top-level messages the engine handles, result
  DisplayEventReply display_event_reply = DisplayEventReply::kSuccess;
  std::string transcript;   // transcript file, relative to the exe's folder
  int watchdog_ms = 60000;  // the process is ended after this long
  int start_delay_ms = 0;   // pause after the first frame before step one
  // No frame until the steps have run out; the steps start as soon as the view exists.
  bool hold_first_frame = false;
  std::vector<Step> steps;
  std::vector<std::string> errors;  // "line N: ..." for lines that were not understood
};

// `arguments` are the Dart entry arguments: "$1" to "$9" in a line stand for the first to ninth
// (empty when there are fewer), "$$" for a dollar sign.
Scenario ParseScenario(std::string_view text, const std::vector<std::string>& arguments = {});

// "WM_FONTCHANGE" -> 0x1D, "0x1D" / "29" -> 29; nothing for an unknown name.
std::optional<uint32_t> MessageNumber(std::string_view name);
// The name of a message number when it is one the scenarios use, else its decimal number.
std::string MessageName(uint32_t message);

// The channel the kiosk's app-window methods travel on.
inline constexpr const char kAppWindowChannel[] = "com.talvern.orvalen/app_window";

}  // namespace standin
