// orvalen.exe: the kiosk shell's entry point.
#include <windows.h>

#include <objbase.h>

#include <iostream>
#include <string>
#include <utility>
#include <vector>

#include "shell/command_line.h"
#include "shell/console.h"
#include "shell/engine_project.h"

#include "host/flutter_window.h"

namespace {

// The engine's fourth option; the first three stay 0.
constexpr std::size_t kEngineOptionIndex = 3;
constexpr int32_t kEngineOptionValue = 2;

}  // namespace

int APIENTRY wWinMain(HINSTANCE, HINSTANCE, wchar_t*, int) {
  // A parent console (a command prompt) is used as it is. Only a debugger without one gets a
  // console of its own, so that diagnostics on the standard streams are visible somewhere.
  if (!AttachConsole(ATTACH_PARENT_PROCESS) && IsDebuggerPresent()) OpenDebugConsole();

  // The engine and the plug-ins expect a single-threaded apartment on the UI thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);

  // Declared in the reverse of their tear-down order: window, argument list, project.
  EngineProject project(L"data");
  project.set_engine_option(kEngineOptionIndex, kEngineOptionValue);
  std::vector<std::string> arguments = ReadCommandLineArguments();
  project.set_entry_arguments(std::move(arguments));

  FlutterWindow window(project);
  if (!window.Create(L"orvalen", Win32Window::Point{10, 10}, Win32Window::Size{1280, 720})) {
    return 1;
  }
  window.SetQuitOnDestroy(true);

  // GetMessageW gives -1 on an error; looping on it would spin on a message that never arrives,
  // and exiting with 0 would tell a kiosk supervisor that the kiosk ended as asked.
  MSG message;
  BOOL got = 0;
  while ((got = GetMessageW(&message, nullptr, 0, 0)) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  int exit_code = 0;
  if (got < 0) {
    // Read before anything is written: the first write to the stream may set the error itself
    // (operands of << are evaluated left to right, after the text before them is written).
    const DWORD error = GetLastError();
    std::cerr << "Message loop failed: GetMessageW returned -1 (error " << error
              << "); exiting with code 1." << std::endl;
    exit_code = 1;
  }

  CoUninitialize();
  return exit_code;
}
