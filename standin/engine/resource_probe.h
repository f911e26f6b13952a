// What the process holds right now, for the scenario step `resources`: long runs check that
// window and GDI objects and memory stay flat.
#pragma once

#include "standin/engine/transcript.h"

namespace standin {

// Adds "gdi", "user" (GetGuiResources), "handles" (GetProcessHandleCount) and "private_bytes",
// "working_set" (GetProcessMemoryInfo, bytes) to `line`; a figure the system will not give is -1.
// Empties the core's event log first.
JsonLine& AddResourceCounts(JsonLine& line);

}  // namespace standin
