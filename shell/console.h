// The debug console: opened only when the process has no parent console but runs under a debugger.
#pragma once

// Allocates a console and re-binds the standard output and error streams to it, then has the engine
// library follow the re-opened streams. Does nothing when no console can be allocated.
void OpenDebugConsole();
