// orvalen-desk-keeper: keeps a desk's Wine session up between the programs run on it.
//
//   orvalen-desk-keeper READY_FILE          keep the session up; READY_FILE once the desktop exists
//   orvalen-desk-keeper --monitors FILE     write the number of monitors Wine reports, and exit
//
// Wine ends a session's desktop process (explorer) when its last program ends, and the next
// program starts a new one that inherits that program's standard handles: a caller reading the
// program's output through a pipe then waits for the desktop process to end too, seconds later.
// Started first, with its standard handles on /dev/null, this process makes the desktop come up
// with those and stay. It runs until the session is ended (wineserver -k) and shows nothing: its
// only window is message-only.
//
// A running process keeps the monitors it saw at its start, and after a change of layout in the
// prefix Wine can take a few seconds to take up the new one, so the count is asked of a new
// process each time (--monitors).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

namespace {

BOOL CALLBACK CountMonitor(HMONITOR, HDC, LPRECT, LPARAM count) {
  ++*reinterpret_cast<int*>(count);
  return TRUE;
}

int MonitorCount() {
  int count = 0;
  EnumDisplayMonitors(nullptr, nullptr, CountMonitor, reinterpret_cast<LPARAM>(&count));
  return count;
}

void WriteFileText(const wchar_t* path, const char* text, int length) {
  HANDLE file =
      CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr);
  CloseHandle(file);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 2) return 2;

  if (argc == 3 && lstrcmpW(argv[1], L"--monitors") == 0) {
    char text[16];
    int length = std::snprintf(text, sizeof(text), "%d\n", MonitorCount());
    WriteFileText(argv[2], text, length);
    LocalFree(argv);
    return 0;
  }

  GetDesktopWindow();  // brings the session's desktop process up
  HWND window = CreateWindowExW(0, L"STATIC", L"orvalen-desk-keeper", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  WriteFileText(argv[1], "ready\n", 6);
  LocalFree(argv);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return window ? 0 : 1;
}
