// The few Win32 handle and message types that the engine library's interface mentions, for builds
// that have no <windows.h>. Widths match the 64-bit Windows ABI so that records and signatures are
// the same on both sides; the handles are distinct incomplete types as in <windows.h> with STRICT.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else
#include <stdint.h>

typedef struct HWND__* HWND;
typedef struct HMONITOR__* HMONITOR;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;  // UINT_PTR
typedef intptr_t LPARAM;   // LONG_PTR
typedef intptr_t LRESULT;  // LONG_PTR
#endif
