// orvalen-dbgcapture: runs a command under a minimal debugger and writes every debug-output
// string of that process as one line (see line_escape.h for the escapes) to a file or stdout.
//
//   orvalen-dbgcapture [--out FILE] [--append] [--no-console] [--] COMMAND [ARGS...]
//
// --no-console: the tool lets go of its own console before it starts the child, so the child has
// no parent console to attach to (as when started from Explorer under a debugger) and a program
// that opens a console of its own under a debugger does so. The standard handles the child
// inherits stay those of the tool.
//
// Exit code: the child's exit code; 125 when the tool itself fails (bad usage, the output file
// cannot be opened, the child cannot be started).
#include <windows.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "tools/dbgcapture/command_tail.h"
#include "tools/dbgcapture/debug_loop.h"
#include "tools/dbgcapture/line_escape.h"
#include "tools/dbgcapture/unique_handle.h"

namespace {

constexpr int kToolFailure = 125;

int Usage() {
  std::fputs(
      "usage: orvalen-dbgcapture [--out FILE] [--append] [--no-console] [--] COMMAND [ARGS...]\n",
      stderr);
  std::fflush(stderr);
  return kToolFailure;
}

struct Options {
  std::wstring out_path;
  bool append = false;
  bool no_console = false;
  std::wstring child_command_line;
};

// Options come first; the child's command line is the raw rest of ours, from the first
// non-option argument (or from the argument after "--").
bool ParseOptions(std::wstring_view line, Options* options) {
  dbgcapture::RawArgument arg;
  if (!dbgcapture::ReadArgument(line, 0, true, &arg)) return false;
  std::size_t pos = arg.end;
  for (;;) {
    std::size_t start = dbgcapture::SkipBlanks(line, pos);
    if (!dbgcapture::ReadArgument(line, pos, false, &arg)) return false;
    if (arg.value == L"--") {
      start = dbgcapture::SkipBlanks(line, arg.end);
      if (start >= line.size()) return false;
      options->child_command_line.assign(line.substr(start));
      return true;
    }
    if (arg.value == L"--out") {
      if (!dbgcapture::ReadArgument(line, arg.end, false, &arg)) return false;
      options->out_path = arg.value;
      pos = arg.end;
      continue;
    }
    if (arg.value == L"--append") {
      options->append = true;
      pos = arg.end;
      continue;
    }
    if (arg.value == L"--no-console") {
      options->no_console = true;
      pos = arg.end;
      continue;
    }
    if (!arg.value.empty() && arg.value[0] == L'-') return false;
    options->child_command_line.assign(line.substr(start));
    return true;
  }
}

}  // namespace

int main() {
  Options options;
  if (!ParseOptions(GetCommandLineW(), &options)) return Usage();

  dbgcapture::UniqueHandle file;
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (!options.out_path.empty()) {
    // Shared for reading so that a test can follow the file while the child still runs.
    file = dbgcapture::UniqueHandle(
        CreateFileW(options.out_path.c_str(), options.append ? FILE_APPEND_DATA : GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    options.append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
      std::fprintf(stderr, "orvalen-dbgcapture: cannot open %ls: error %lu\n",
                   options.out_path.c_str(), GetLastError());
      std::fflush(stderr);
      return kToolFailure;
    }
    out = file.get();
  }

  // Each line goes out with its own unbuffered write, so a reader sees it as soon as it happens.
  auto sink = [out](std::string_view text) {
    std::string line = dbgcapture::EscapeLine(text);
    line.push_back('\n');
    DWORD written = 0;
    WriteFile(out, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
  };

  // After the output file is open, so that its failure can still be reported. The standard
  // handles stay valid where they are not console handles (pipes and files, as under Wine).
  if (options.no_console) FreeConsole();
  dbgcapture::ChildOutcome outcome = dbgcapture::RunUnderDebugger(options.child_command_line, sink);
  if (!outcome.started) {
    std::fprintf(stderr, "orvalen-dbgcapture: cannot start %ls: error %lu\n",
                 options.child_command_line.c_str(), outcome.start_error);
    std::fflush(stderr);
    return kToolFailure;
  }
  return static_cast<int>(outcome.exit_code);
}
