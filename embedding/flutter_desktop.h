// The engine library's C interface: the 23 functions of flutter_windows.dll that this system calls.
//
// Any library built to these declarations can be dropped in beside the executable: the real engine,
// our stand-in (standin/), or another test double. Handles are pointers to distinct incomplete
// struct types so that the compiler keeps an engine from being passed where a messenger is wanted.
// On Windows the functions are load-time imports; the library that implements them defines
// FLUTTER_ENGINE_IMPLEMENTATION to export them instead, and a test that links the stand-in's core
// statically defines FLUTTER_ENGINE_STATIC.
#pragma once

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include "embedding/win32_types.h"

#if defined(_WIN32) && !defined(FLUTTER_ENGINE_STATIC)
#if defined(FLUTTER_ENGINE_IMPLEMENTATION)
#define FLUTTER_EXPORT __declspec(dllexport)
#else
#define FLUTTER_EXPORT __declspec(dllimport)
#endif
#else
#define FLUTTER_EXPORT
#endif

#if defined(__cplusplus)
extern "C" {
#endif

typedef struct FlutterDesktopEngine* FlutterDesktopEngineRef;
typedef struct FlutterDesktopMessenger* FlutterDesktopMessengerRef;
typedef struct FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;
typedef struct FlutterDesktopViewController* FlutterDesktopViewControllerRef;
typedef struct FlutterDesktopView* FlutterDesktopViewRef;
typedef struct FlutterDesktopMessageResponseHandle FlutterDesktopMessageResponseHandle;

// The record handed to FlutterDesktopEngineCreate; 64 bytes with natural alignment on 64-bit
// targets. Paths are UTF-16 on Windows (wchar_t); strings of the Dart entry are 8-bit.
typedef struct {
  const wchar_t* assets_path;         // offset 0
  const wchar_t* icu_data_path;       // offset 8
  const wchar_t* aot_library_path;    // offset 16
  const char* dart_entrypoint;        // offset 24, never null ("" for the default entry)
  int32_t dart_entrypoint_argc;       // offset 32, followed by a 4-byte gap
  const char** dart_entrypoint_argv;  // offset 40, null when argc is 0
  int32_t engine_options[4];          // offsets 48, 52, 56, 60: passed through unchanged
} FlutterDesktopEngineProperties;

// One incoming message, 40 bytes; valid only during the callback it is handed to.
typedef struct {
  size_t struct_size;                                          // offset 0
  const char* channel;                                         // offset 8
  const uint8_t* message;                                      // offset 16
  size_t message_size;                                         // offset 24
  const FlutterDesktopMessageResponseHandle* response_handle;  // offset 32
} FlutterDesktopMessage;

typedef void (*FlutterDesktopOnNextFrameCallback)(void* user_data);
typedef void (*FlutterDesktopBinaryReply)(const uint8_t* data, size_t data_size, void* user_data);
typedef void (*FlutterDesktopMessageCallback)(FlutterDesktopMessengerRef messenger,
                                              const FlutterDesktopMessage* message,
                                              void* user_data);

// Engine.
FLUTTER_EXPORT FlutterDesktopEngineRef
FlutterDesktopEngineCreate(const FlutterDesktopEngineProperties* properties);
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopEngineGetMessenger(FlutterDesktopEngineRef engine);
FLUTTER_EXPORT bool FlutterDesktopEngineDestroy(FlutterDesktopEngineRef engine);
FLUTTER_EXPORT FlutterDesktopPluginRegistrarRef
FlutterDesktopEngineGetPluginRegistrar(FlutterDesktopEngineRef engine, const char* plugin_name);
FLUTTER_EXPORT void FlutterDesktopEngineReloadSystemFonts(FlutterDesktopEngineRef engine);
FLUTTER_EXPORT void FlutterDesktopEngineSetNextFrameCallback(
    FlutterDesktopEngineRef engine, FlutterDesktopOnNextFrameCallback callback, void* user_data);

// View controller and view. Creating the controller takes the engine in every case and runs it.
FLUTTER_EXPORT FlutterDesktopViewControllerRef
FlutterDesktopViewControllerCreate(int width, int height, FlutterDesktopEngineRef engine);
FLUTTER_EXPORT FlutterDesktopViewRef
FlutterDesktopViewControllerGetView(FlutterDesktopViewControllerRef controller);
FLUTTER_EXPORT void FlutterDesktopViewControllerDestroy(FlutterDesktopViewControllerRef controller);
FLUTTER_EXPORT void FlutterDesktopViewControllerForceRedraw(
    FlutterDesktopViewControllerRef controller);
FLUTTER_EXPORT bool FlutterDesktopViewControllerHandleTopLevelWindowProc(
    FlutterDesktopViewControllerRef controller, HWND hwnd, UINT message, WPARAM wparam,
    LPARAM lparam, LRESULT* result);
FLUTTER_EXPORT HWND FlutterDesktopViewGetHWND(FlutterDesktopViewRef view);

// Process-wide.
FLUTTER_EXPORT UINT FlutterDesktopGetDpiForMonitor(HMONITOR monitor);
FLUTTER_EXPORT void FlutterDesktopResyncOutputStreams(void);

// Messenger.
FLUTTER_EXPORT bool FlutterDesktopMessengerSend(FlutterDesktopMessengerRef messenger,
                                                const char* channel, const uint8_t* message,
                                                size_t message_size);
FLUTTER_EXPORT bool FlutterDesktopMessengerSendWithReply(
    FlutterDesktopMessengerRef messenger, const char* channel, const uint8_t* message,
    size_t message_size, FlutterDesktopBinaryReply reply, void* user_data);
FLUTTER_EXPORT void FlutterDesktopMessengerSetCallback(FlutterDesktopMessengerRef messenger,
                                                       const char* channel,
                                                       FlutterDesktopMessageCallback callback,
                                                       void* user_data);
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerAddRef(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerRelease(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT FlutterDesktopMessengerRef
FlutterDesktopMessengerLock(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerUnlock(FlutterDesktopMessengerRef locked);
FLUTTER_EXPORT bool FlutterDesktopMessengerIsAvailable(FlutterDesktopMessengerRef messenger);
FLUTTER_EXPORT void FlutterDesktopMessengerSendResponse(
    FlutterDesktopMessengerRef messenger, const FlutterDesktopMessageResponseHandle* handle,
    const uint8_t* data, size_t data_size);

#if defined(__cplusplus)
}  // extern "C"
#endif

#if defined(__cplusplus)
static_assert(sizeof(void*) != 8 || sizeof(FlutterDesktopEngineProperties) == 64,
              "the engine reads a 64-byte properties record");
static_assert(sizeof(void*) != 8 ||
              offsetof(FlutterDesktopEngineProperties, dart_entrypoint_argc) == 32);
static_assert(sizeof(void*) != 8 ||
              offsetof(FlutterDesktopEngineProperties, dart_entrypoint_argv) == 40);
static_assert(sizeof(void*) != 8 || offsetof(FlutterDesktopEngineProperties, engine_options) == 48);
static_assert(sizeof(void*) != 8 || sizeof(FlutterDesktopMessage) == 40,
              "the engine hands over a 40-byte message record");
static_assert(sizeof(void*) != 8 || offsetof(FlutterDesktopMessage, message) == 16);
static_assert(sizeof(void*) != 8 || offsetof(FlutterDesktopMessage, message_size) == 24);
static_assert(sizeof(void*) != 8 || offsetof(FlutterDesktopMessage, response_handle) == 32);
#endif
