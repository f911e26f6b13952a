// orvalen-e2e-launch.exe TARGET [ARG...]: starts TARGET with the given arguments and returns its
// exit code. An argument spelt "@lone-surrogate" is passed as the single UTF-16 code unit D800,
// which no Linux command line can carry into Wine; everything else is passed as given, quoted.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 125;
  std::wstring command_line;
  for (int i = 1; i < argc; ++i) {
    std::wstring arg = argv[i];
    if (arg == L"@lone-surrogate") arg = std::wstring(1, static_cast<wchar_t>(0xD800));
    if (i > 1) command_line += L' ';
    command_line += L'"' + arg + L'"';  // the tests pass no quotes or trailing backslashes
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(argv[1], command_line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return 125;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 125;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return static_cast<int>(code);
}
