// orvalen-desk-keeper: keeps a desk's Wine session up between the programs run on it.
//
//   orvalen-desk-keeper READY_FILE          keep the session up; READY_FILE once the desktop exists
//   orvalen-desk-keeper --monitors FILE     write the number of monitors Wine reports, and exit
//   orvalen-desk-keeper --display-change N  wait until Wine reports N monitors, then broadcast
//                                           WM_DISPLAYCHANGE as Windows does; exit 1 if it never
//                                           does (within 10 s), without the broadcast
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
//
// Wine 8 broadcasts WM_DISPLAYCHANGE only after ChangeDisplaySettingsEx. A monitor switched off or
// on outside Windows (xrandr, as a cable pulled or a screen powered down) is taken up by the
// desktop process, which refreshes the monitor list every process sees, but no window is told.
// Windows tells every top-level window, with the primary's bit depth and resolution, once the new
// arrangement is in place; --display-change does the same after a desk's change of outputs.
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

int BroadcastDisplayChange(int monitors) {
  for (int waited = 0; MonitorCount() != monitors; waited += 50) {
    if (waited >= 10000) {
      std::fprintf(stderr, "orvalen-desk-keeper: Wine reports %d monitors, not %d\n",
                   MonitorCount(), monitors);
      return 1;
    }
    Sleep(50);
  }
  DEVMODEW mode{};
  mode.dmSize = sizeof(mode);
  if (!EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode)) {
    std::fprintf(stderr, "orvalen-desk-keeper: no current display settings\n");
    return 1;
  }
  SendMessageTimeoutW(HWND_BROADCAST, WM_DISPLAYCHANGE, mode.dmBitsPerPel,
                      MAKELPARAM(mode.dmPelsWidth, mode.dmPelsHeight), SMTO_ABORTIFHUNG, 2000,
                      nullptr);
  return 0;
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

  if (argc == 3 && lstrcmpW(argv[1], L"--display-change") == 0) {
    const int monitors = _wtoi(argv[2]);
    LocalFree(argv);
    return BroadcastDisplayChange(monitors);
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
