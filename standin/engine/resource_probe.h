// What the process holds right now, for the scenario steps `resources` (long runs check that
// window and GDI objects and memory stay flat) and `console` (what reached the process's console),
// and the set-up the product owes the engine before creating it: a console, a COM apartment.
#pragma once

#include "standin/engine/transcript.h"

namespace standin {

// Adds "gdi", "user" (GetGuiResources), "handles" (GetProcessHandleCount) and "private_bytes",
// "working_set" (GetProcessMemoryInfo, bytes) to `line`; a figure the system will not give is -1.
// Empties the core's event log first.
JsonLine& AddResourceCounts(JsonLine& line);

// The calling thread's COM apartment as CoGetApartmentType gives it: "main-sta", "sta", "mta",
// "na", or "none" when COM is not initialised on the thread.
const char* ApartmentName();

// Adds "console": whether the process has a console (CONOUT$ can be opened).
JsonLine& AddConsoleState(JsonLine& line);

// Adds "text": the console's rows from the top to the cursor, trailing blanks cut (empty when the
// process has no console).
JsonLine& AddConsoleText(JsonLine& line);

}  // namespace standin
