#include "standin/engine/scenario.h"

#include <cerrno>
#include <cstdlib>

#include "standin/engine/dart_wire.h"

namespace standin {
namespace {

struct MessageEntry {
  const char* name;
  uint32_t number;
};

constexpr MessageEntry kMessages[] = {
    {"WM_CLOSE", 0x0010},
    {"WM_SIZE", 0x0005},
    {"WM_ACTIVATE", 0x0006},
    {"WM_SETTINGCHANGE", 0x001A},
    {"WM_FONTCHANGE", 0x001D},
    {"WM_DISPLAYCHANGE", 0x007E},
    {"WM_TIMER", 0x0113},
    {"WM_HOTKEY", 0x0312},
    {"WM_DPICHANGED", 0x02E0},
    {"WM_DWMCOLORIZATIONCOLORCHANGED", 0x0320},
    {"WM_KEYDOWN", 0x0100},
    {"WM_MOUSEMOVE", 0x0200},
    {"WM_DESTROY", 0x0002},
    {"WM_MOVE", 0x0003},
    {"WM_SHOWWINDOW", 0x0018},
    {"WM_WINDOWPOSCHANGING", 0x0046},
    {"WM_WINDOWPOSCHANGED", 0x0047},
    {"WM_NCDESTROY", 0x0082},
    {"WM_GETMINMAXINFO", 0x0024},
    {"WM_NCCALCSIZE", 0x0083},
    {"WM_NCACTIVATE", 0x0086},
    {"WM_ACTIVATEAPP", 0x001C},
    {"WM_SETFOCUS", 0x0007},
    {"WM_KILLFOCUS", 0x0008},
    {"WM_PAINT", 0x000F},
    {"WM_ERASEBKGND", 0x0014},
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

// Splits off the first blank-separated word.
std::string_view NextWord(std::string_view* rest) {
  *rest = Trim(*rest);
  size_t end = rest->find_first_of(" \t");
  std::string_view word = rest->substr(0, end);
  *rest = end == std::string_view::npos ? std::string_view() : Trim(rest->substr(end));
  return word;
}

bool ParseInt(std::string_view text, long long* value) {
  std::string s(text);
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoll(s.c_str(), &end, 0);
  return errno == 0 && end && *end == '\0';
}

std::string SubstituteArguments(std::string_view line, const std::vector<std::string>& arguments) {
  std::string out;
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '$' && i + 1 < line.size()) {
      char next = line[i + 1];
      if (next == '$') {
        out += '$';
        ++i;
        continue;
      }
      if (next >= '1' && next <= '9') {
        size_t index = static_cast<size_t>(next - '1');
        if (index < arguments.size()) out += arguments[index];
        ++i;
        continue;
      }
    }
    out += line[i];
  }
  return out;
}

}  // namespace

std::optional<uint32_t> MessageNumber(std::string_view name) {
  for (const auto& m : kMessages) {
    if (name == m.name) return m.number;
  }
  long long v;
  if (ParseInt(name, &v) && v >= 0 && v <= 0xFFFFFFFFLL) return static_cast<uint32_t>(v);
  return std::nullopt;
}

std::string MessageName(uint32_t message) {
  for (const auto& m : kMessages) {
    if (message == m.number) return m.name;
  }
  return std::to_string(message);
}

Scenario ParseScenario(std::string_view text, const std::vector<std::string>& arguments) {
  Scenario scenario;
  int line_number = 0;
  while (!text.empty()) {
    size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view() : text.substr(eol + 1);
    ++line_number;
    const std::string substituted = SubstituteArguments(line, arguments);
    line = Trim(substituted);
    if (line.empty() || line.front() == '#') continue;

    std::string_view rest = line;
    std::string_view word = NextWord(&rest);
    auto fail = [&](const std::string& why) {
      scenario.errors.push_back("line " + std::to_string(line_number) + ": " + why + ": " +
                                std::string(line));
    };
    long long number = 0;
    Step step;
    step.line = line_number;
    if (word == "burst") {
      // burst N MS STEP: the step N times, spread over MS milliseconds (0: all in one go).
      long long count = 0;
      long long spread = 0;
      if (!ParseInt(NextWord(&rest), &count) || count <= 0 || count > 1000000 ||
          !ParseInt(NextWord(&rest), &spread) || spread < 0 || spread > 600000) {
        fail("burst N MS STEP");
        continue;
      }
      step.repeat = static_cast<int>(count);
      step.spread_ms = static_cast<int>(spread);
      word = NextWord(&rest);
      if (word != "post" && word != "send" && word != "call") {
        fail("burst repeats post, send or call");
        continue;
      }
    }

    if (word == "dpi") {
      if (!ParseInt(rest, &number) || number <= 0) {
        fail("dpi needs a positive number");
        continue;
      }
      scenario.dpi = static_cast<unsigned>(number);
    } else if (word == "refuse-view-controller") {
      scenario.refuse_view_controller = true;
    } else if (word == "hold-first-frame") {
      scenario.hold_first_frame = true;
    } else if (word == "consume") {
      auto message = MessageNumber(NextWord(&rest));
      long long result = 0;
      if (!message || (!rest.empty() && !ParseInt(rest, &result))) {
        fail("consume MESSAGE [RESULT]");
        continue;
      }
      scenario.consume[*message] = result;
    } else if (word == "on-display-event") {
      if (rest == "success")
        scenario.display_event_reply = DisplayEventReply::kSuccess;
      else if (rest == "error")
        scenario.display_event_reply = DisplayEventReply::kError;
      else if (rest == "notimplemented")
        scenario.display_event_reply = DisplayEventReply::kNotImplemented;
      else if (rest == "never")
        scenario.display_event_reply = DisplayEventReply::kNever;
      else {
        fail("on-display-event success|error|notimplemented|never");
        continue;
      }
    } else if (word == "transcript") {
      if (rest.empty()) {
        fail("transcript needs a file name");
        continue;
      }
      scenario.transcript = std::string(rest);
    } else if (word == "watchdog") {
      if (!ParseInt(rest, &number) || number <= 0) {
        fail("watchdog needs milliseconds");
        continue;
      }
      scenario.watchdog_ms = static_cast<int>(number);
    } else if (word == "start-delay") {
      if (!ParseInt(rest, &number) || number < 0) {
        fail("start-delay needs milliseconds");
        continue;
      }
      scenario.start_delay_ms = static_cast<int>(number);
    } else if (word == "call") {
      step.kind = Step::Kind::kCall;
      step.text = std::string(NextWord(&rest));
      if (step.text.empty()) {
        fail("call needs a method name");
        continue;
      }
      std::vector<uint8_t> name;
      AppendString(name, 7, step.text);
      std::vector<uint8_t> argument;
      if (!rest.empty()) {
        std::string_view type = NextWord(&rest);
        auto value = EncodeArgument(type, rest, name.size());
        if (!value) {
          fail("argument not understood");
          continue;
        }
        argument = std::move(*value);
      }
      step.bytes = EncodeCall(step.text, argument);
      scenario.steps.push_back(std::move(step));
    } else if (word == "send") {
      step.kind = Step::Kind::kSend;
      step.text = std::string(NextWord(&rest));
      auto bytes = ParseHex(rest);
      if (step.text.empty() || !bytes) {
        fail("send CHANNEL HEX");
        continue;
      }
      step.bytes = std::move(*bytes);
      scenario.steps.push_back(std::move(step));
    } else if (word == "wait") {
      if (!ParseInt(rest, &number) || number < 0) {
        fail("wait needs milliseconds");
        continue;
      }
      step.kind = Step::Kind::kWait;
      step.ms = static_cast<int>(number);
      scenario.steps.push_back(std::move(step));
    } else if (word == "wait-event") {
      step.kind = Step::Kind::kWaitEvent;
      step.ms = 10000;
      if (rest.substr(0, 8) == "timeout=") {
        std::string_view value = NextWord(&rest).substr(8);
        if (!ParseInt(value, &number) || number < 0) {
          fail("timeout=MS");
          continue;
        }
        step.ms = static_cast<int>(number);
      }
      if (rest.empty()) {
        fail("wait-event needs the event line");
        continue;
      }
      step.text = std::string(rest);
      scenario.steps.push_back(std::move(step));
    } else if (word == "post") {
      step.kind = Step::Kind::kPost;
      std::string_view name = NextWord(&rest);
      auto message = MessageNumber(name);
      if (!message) {
        fail("unknown message");
        continue;
      }
      step.message = *message;
      step.text = MessageName(*message);
      std::vector<long long> values;
      while (!rest.empty()) {
        if (!ParseInt(NextWord(&rest), &number)) break;
        values.push_back(number);
      }
      if (!rest.empty()) {
        fail("post arguments are numbers");
        continue;
      }
      if (step.message == 0x02E0) {
        // WM_DPICHANGED DPI LEFT TOP RIGHT BOTTOM: the new DPI in both halves of wParam, a
        // pointer to the suggested rectangle in lParam.
        if (values.size() != 5) {
          fail("post WM_DPICHANGED DPI LEFT TOP RIGHT BOTTOM");
          continue;
        }
        step.wparam = (static_cast<uint64_t>(values[0]) << 16) | static_cast<uint64_t>(values[0]);
        step.rect_lparam = true;
        for (int i = 0; i < 4; ++i) step.rect[i] = static_cast<int32_t>(values[i + 1]);
      } else if (step.message == 0x0312) {
        // WM_HOTKEY ID: lParam carries the modifiers and key the kiosk registers for that id.
        if (values.size() != 1) {
          fail("post WM_HOTKEY ID");
          continue;
        }
        step.wparam = static_cast<uint64_t>(values[0]);
        const int64_t kModifiers = 0x0008 | 0x0004;        // MOD_WIN | MOD_SHIFT
        const int64_t key = values[0] == 1 ? 0x25 : 0x27;  // VK_LEFT, VK_RIGHT
        step.lparam = (key << 16) | kModifiers;
      } else {
        if (values.size() > 2) {
          fail("post MESSAGE [WPARAM [LPARAM]]");
          continue;
        }
        if (values.size() > 0) step.wparam = static_cast<uint64_t>(values[0]);
        if (values.size() > 1) step.lparam = values[1];
      }
      scenario.steps.push_back(std::move(step));
    } else if (word == "stage") {
      step.kind = Step::Kind::kStage;
      step.text = std::string(rest);
      scenario.steps.push_back(std::move(step));
    } else if (word == "probe" || word == "resources" || word == "console") {
      step.kind = word == "probe"       ? Step::Kind::kProbe
                  : word == "resources" ? Step::Kind::kResources
                                        : Step::Kind::kConsole;
      step.text = std::string(rest);
      scenario.steps.push_back(std::move(step));
    } else if (word == "quit") {
      step.kind = Step::Kind::kQuit;
      scenario.steps.push_back(std::move(step));
    } else {
      fail("unknown word");
    }
  }
  return scenario;
}

}  // namespace standin
