#include "shell/console.h"

#include <windows.h>

#include <io.h>
#include <cstdio>
#include <iostream>

#include "embedding/flutter_desktop.h"

void OpenDebugConsole() {
  if (!AllocConsole()) return;
  FILE* reopened = nullptr;
  // When a stream cannot be re-opened, its descriptor is pointed at stdout's instead; both
  // fall-backs use stdout's descriptor, which is the one the runtime already tied to the console.
  if (freopen_s(&reopened, "CONOUT$", "w", stdout) != 0) _dup2(_fileno(stdout), 1);
  if (freopen_s(&reopened, "CONOUT$", "w", stderr) != 0) _dup2(_fileno(stdout), 2);
  // std::cerr must write through the re-opened C streams, not buffers bound to the old handles.
  std::ios::sync_with_stdio(true);
  FlutterDesktopResyncOutputStreams();
}
