#include "standin/engine/transcript.h"

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <mutex>

#include "standin/engine/bundle_paths.h"

namespace standin {
namespace {

const auto kLoadTime = std::chrono::steady_clock::now();

struct Sink {
  std::mutex mutex;
  std::wstring path;
  FILE* file = nullptr;
  bool opened = false;
};

Sink& TheSink() {
  // Never destroyed: plug-ins and late response handles may record while the process exits.
  static Sink* sink = new Sink();
  return *sink;
}

std::wstring EnvironmentPath() {
  DWORD n = GetEnvironmentVariableW(L"ORVALEN_STANDIN_TRANSCRIPT", nullptr, 0);
  if (n <= 1) return {};
  std::wstring value(n, L'\0');
  n = GetEnvironmentVariableW(L"ORVALEN_STANDIN_TRANSCRIPT", value.data(), n);
  value.resize(n);
  return value;
}

std::wstring ChosenPath(const Sink& sink) {
  std::wstring from_environment = EnvironmentPath();
  if (!from_environment.empty()) return from_environment;
  return sink.path.empty() ? ExeDirectory() + L"\\transcript.jsonl" : sink.path;
}

}  // namespace

JsonLine::JsonLine(std::string_view event) { Str("ev", event); }

void JsonLine::Key(std::string_view key) {
  body_ += ',';
  body_ += JsonQuote(key);
  body_ += ':';
}

JsonLine& JsonLine::Str(std::string_view key, std::string_view value) {
  Key(key);
  body_ += JsonQuote(value);
  return *this;
}

JsonLine& JsonLine::Int(std::string_view key, long long value) {
  Key(key);
  body_ += std::to_string(value);
  return *this;
}

JsonLine& JsonLine::Bool(std::string_view key, bool value) {
  Key(key);
  body_ += value ? "true" : "false";
  return *this;
}

JsonLine& JsonLine::Hex(std::string_view key, const uint8_t* data, size_t size) {
  return Str(key, HexBytes(data, size));
}

JsonLine& JsonLine::StrList(std::string_view key, const std::vector<std::string>& values) {
  Key(key);
  body_ += '[';
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) body_ += ',';
    body_ += JsonQuote(values[i]);
  }
  body_ += ']';
  return *this;
}

JsonLine& JsonLine::IntList(std::string_view key, const std::vector<long long>& values) {
  Key(key);
  body_ += '[';
  for (size_t i = 0; i < values.size(); ++i) {
    if (i) body_ += ',';
    body_ += std::to_string(values[i]);
  }
  body_ += ']';
  return *this;
}

JsonLine& JsonLine::Raw(std::string_view key, std::string_view json) {
  Key(key);
  body_ += json;
  return *this;
}

std::string JsonQuote(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  out += '"';
  return out;
}

std::string HexBytes(const uint8_t* data, size_t size) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string out;
  if (!data) return out;
  out.reserve(size * 3);
  for (size_t i = 0; i < size; ++i) {
    if (i) out += ' ';
    out += kDigits[data[i] >> 4];
    out += kDigits[data[i] & 0x0F];
  }
  return out;
}

void SetTranscriptPath(const std::wstring& path) {
  Sink& sink = TheSink();
  std::lock_guard<std::mutex> lock(sink.mutex);
  if (!sink.opened) sink.path = path;
}

std::wstring TranscriptPath() {
  Sink& sink = TheSink();
  std::lock_guard<std::mutex> lock(sink.mutex);
  return ChosenPath(sink);
}

long long ElapsedMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                               kLoadTime)
      .count();
}

void Record(const JsonLine& line) {
  Sink& sink = TheSink();
  std::string text = "{\"ms\":" + std::to_string(ElapsedMs()) + line.body() + "}\n";
  std::lock_guard<std::mutex> lock(sink.mutex);
  if (!sink.opened) {
    sink.opened = true;
    sink.path = ChosenPath(sink);
    sink.file = _wfopen(sink.path.c_str(), L"wb");
  }
  if (!sink.file) return;
  std::fwrite(text.data(), 1, text.size(), sink.file);
  std::fflush(sink.file);
}

}  // namespace standin
