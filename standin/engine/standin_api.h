// Functions that only the stand-in engine library exports, for the stand-in plug-ins: they let
// a plug-in put what it was given into the engine's transcript, so the end-to-end tests can check
// which registrar reached which plug-in. The real engine has nothing like it.
#pragma once

#if defined(_WIN32)
#if defined(FLUTTER_ENGINE_IMPLEMENTATION)
#define ORVALEN_STANDIN_API extern "C" __declspec(dllexport)
#else
#define ORVALEN_STANDIN_API extern "C" __declspec(dllimport)
#endif
#else
#define ORVALEN_STANDIN_API extern "C"
#endif

// Records
// {"ev":"plugin-register","function":..,"library":..,"registrar":"0x..","registrar_name":..}.
// `registrar_name` is the plug-in name the registrar was requested under, as the engine saw it.
ORVALEN_STANDIN_API void OrvalenStandinRecordPluginRegistration(const char* function,
                                                                const char* library,
                                                                const void* registrar);
