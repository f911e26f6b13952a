// Writes a fixed sequence of debug-output events, then one event per command-line argument (as
// the program received it, UTF-8), what it finds about debugger and console, one line to stdout
// and one to stderr, and exits with the code given as its first argument. A GUI program, like the
// kiosk. capture_test.sh holds the lines this must produce.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);

  // An event line is written in three pieces; each piece is one event.
  OutputDebugStringA("[kiosk-display] ");
  OutputDebugStringA("span monitors=3");
  OutputDebugStringA("\n");
  OutputDebugStringA("");
  OutputDebugStringA("tab\there\r\nback\\slash \"quoted\" \x01\x7f end");
  OutputDebugStringA((std::string(300, 'x') + "|after 300").c_str());
  OutputDebugStringW(L"wide text");
  OutputDebugStringA((std::string(70000, 'y') + "|after 70000").c_str());

  for (int i = 1; i < argc; ++i) {
    std::string utf8;
    int size = WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, nullptr, 0, nullptr, nullptr);
    if (size > 1) {
      utf8.resize(static_cast<std::size_t>(size - 1));
      WideCharToMultiByte(CP_UTF8, 0, argv[i], -1, utf8.data(), size, nullptr, nullptr);
    }
    OutputDebugStringA(("arg " + std::to_string(i) + " [" + utf8 + "]").c_str());
  }
  OutputDebugStringA(IsDebuggerPresent() ? "debugger present" : "no debugger");

  // The kiosk's start-up: a GUI program with a debugger but no parent console opens a console of
  // its own. Under the capture tool that must neither open a console window nor take stderr away.
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && IsDebuggerPresent() && AllocConsole()) {
    OutputDebugStringA("opened a console");
  }
  OutputDebugStringA(GetConsoleWindow() ? "console window" : "no console window");

  std::fputs("probe stdout line\n", stdout);
  std::fflush(stdout);
  std::fputs("probe stderr line\n", stderr);
  std::fflush(stderr);
  int code = argc > 1 ? _wtoi(argv[1]) : 0;
  LocalFree(argv);
  return code;
}
