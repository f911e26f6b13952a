// MinGW's minwindef.h plus the min and max macros that the SDK's minwindef.h defines for C++ too
// unless NOMINMAX is set. Found ahead of MinGW's own through scripts/msvc-check's include path;
// see msvc_sdk_shim.h.
#include_next <minwindef.h>

#ifndef NOMINMAX
#ifndef max
#define max(a, b) (((a) > (b)) ? (a) : (b))
#endif
#ifndef min
#define min(a, b) (((a) < (b)) ? (a) : (b))
#endif
#endif
