// The stand-in engine's transcript: one JSON object per line, flushed as it is written, so a
// reader that tails the file (the demo, a test after a crash) sees every line that was recorded.
//
// Every line starts with "ms" (milliseconds since the engine library was loaded, monotonic) and
// "ev" (what happened). Byte payloads are written as upper-case hex pairs separated by blanks,
// the way channel messages are usually written down ("07 07 64 65 ..."), so tests compare them as
// text. The file is opened on the first line; its place is fixed before that (see SetPath).
// Safe to call from any thread: plug-in DLLs and response handles may record from elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Builds one transcript line. Keys are written in the order they are added.
class JsonLine {
 public:
  explicit JsonLine(std::string_view event);

  JsonLine& Str(std::string_view key, std::string_view value);
  JsonLine& Int(std::string_view key, long long value);
  JsonLine& Bool(std::string_view key, bool value);
  JsonLine& Hex(std::string_view key, const uint8_t* data, size_t size);
  JsonLine& StrList(std::string_view key, const std::vector<std::string>& values);
  JsonLine& IntList(std::string_view key, const std::vector<long long>& values);
  // A value that is already JSON (an object or array built by the caller).
  JsonLine& Raw(std::string_view key, std::string_view json);

  // The line without the timestamp and without the closing brace.
  const std::string& body() const { return body_; }

 private:
  void Key(std::string_view key);
  std::string body_;
};

// JSON string literal for arbitrary bytes: quotes, backslashes and control bytes are escaped,
// everything else passes through (channel text is UTF-8 by convention).
std::string JsonQuote(std::string_view text);
// "07 07 64" for {0x07, 0x07, 0x64}; the empty string for no bytes.
std::string HexBytes(const uint8_t* data, size_t size);

// Where the transcript goes: the file named by the environment variable ORVALEN_STANDIN_TRANSCRIPT
// (a test's choice, over any scenario's), else the path set here (the scenario's), else
// transcript.jsonl beside the exe. An installed kiosk's folder is not the place for it: a standard
// user cannot write to Program Files, and uninstalling would leave the file behind. Setting takes
// effect only before the first line is written; later calls are ignored so one run never splits
// over two files.
void SetTranscriptPath(const std::wstring& path);
std::wstring TranscriptPath();

// Writes the line with its timestamp, flushed.
void Record(const JsonLine& line);

// Milliseconds since the library was loaded.
long long ElapsedMs();

}  // namespace standin
