#include "standin/engine/resource_probe.h"

#include <windows.h>
#include <psapi.h>

#include "standin/core/core.h"

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

}  // namespace standin
