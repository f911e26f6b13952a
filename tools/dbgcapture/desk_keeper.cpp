// orvalen-desk-keeper: keeps a desk's Wine session up between the programs run on it.
//
//   orvalen-desk-keeper READY_FILE
//
// Wine ends a session's desktop process (explorer) when its last program ends, and the next
// program starts a new one that inherits that program's standard handles: a caller reading the
// program's output through a pipe then waits for the desktop process to end too, seconds later.
// Started first, with its standard handles on /dev/null, this process makes the desktop come up
// with those and stay. It creates READY_FILE once the desktop exists, and runs until the session
// is ended (wineserver -k). It shows nothing: its only window is message-only.
#include <windows.h>
#include <shellapi.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);

  GetDesktopWindow();  // brings the session's desktop process up
  HWND window = CreateWindowExW(0, L"STATIC", L"orvalen-desk-keeper", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                GetModuleHandleW(nullptr), nullptr);
  if (argv && argc > 1) {
    HANDLE ready = CreateFileW(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  }
  LocalFree(argv);
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
  return window ? 0 : 1;
}
