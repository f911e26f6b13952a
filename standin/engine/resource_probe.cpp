#include "standin/engine/resource_probe.h"

#include <windows.h>

#include <objbase.h>
#include <psapi.h>

#include <string>
#include <vector>

#include "standin/core/core.h"
#include "standin/engine/bundle_paths.h"

namespace standin {

JsonLine& AddResourceCounts(JsonLine& line) {
  // The core's inspection log (up to Core::kLogLimit events) is read only by the host tests; here
  // it would be the stand-in's own growth in the figures, so it goes first.
  Core::Get().ClearEvents();
  HANDLE self = GetCurrentProcess();
  line.Int("gdi", static_cast<long long>(GetGuiResources(self, GR_GDIOBJECTS)));
  line.Int("user", static_cast<long long>(GetGuiResources(self, GR_USEROBJECTS)));
  DWORD handles = 0;
  line.Int("handles", GetProcessHandleCount(self, &handles) ? static_cast<long long>(handles) : -1);
  PROCESS_MEMORY_COUNTERS_EX counters{};
  counters.cb = sizeof counters;
  if (GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                           sizeof counters)) {
    // Wine leaves PrivateUsage at 0 but fills PagefileUsage, which Windows defines as the same
    // commit charge.
    line.Int("private_bytes",
             static_cast<long long>(counters.PrivateUsage != 0 ? counters.PrivateUsage
                                                               : counters.PagefileUsage));
    line.Int("working_set", static_cast<long long>(counters.WorkingSetSize));
  } else {
    line.Int("private_bytes", -1);
    line.Int("working_set", -1);
  }
  return line;
}

const char* ApartmentName() {
  APTTYPE type{};
  APTTYPEQUALIFIER qualifier{};
  if (FAILED(CoGetApartmentType(&type, &qualifier))) return "none";
  switch (type) {
    case APTTYPE_MAINSTA: return "main-sta";
    case APTTYPE_STA: return "sta";
    case APTTYPE_MTA: return "mta";
    case APTTYPE_NA: return "na";
    default: return "other";
  }
}

namespace {

HANDLE OpenConsoleOutput() {
  return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                     nullptr, OPEN_EXISTING, 0, nullptr);
}

}  // namespace

JsonLine& AddConsoleState(JsonLine& line) {
  HANDLE out = OpenConsoleOutput();
  line.Bool("console", out != INVALID_HANDLE_VALUE);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  return line;
}

JsonLine& AddConsoleText(JsonLine& line) {
  std::vector<std::string> rows;
  HANDLE out = OpenConsoleOutput();
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (out != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(out, &info)) {
    for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
      std::wstring row(static_cast<std::size_t>(info.dwSize.X), L' ');
      DWORD read = 0;
      ReadConsoleOutputCharacterW(out, row.data(), static_cast<DWORD>(row.size()), COORD{0, y},
                                  &read);
      row.resize(read);
      while (!row.empty() && row.back() == L' ') row.pop_back();
      rows.push_back(ToUtf8(row));
    }
  }
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  return line.StrList("text", rows);
}

}  // namespace standin
