// One stand-in plug-in library = one registration function that reports the registrar it got.
// Each library compiles plugin_entry.cpp with its own names (see CMakeLists.txt).
#pragma once

#if defined(_WIN32)
#define STANDIN_PLUGIN_EXPORT extern "C" __declspec(dllexport)
#else
#define STANDIN_PLUGIN_EXPORT extern "C"
#endif

struct FlutterDesktopPluginRegistrar;
