// The app-window channel's protocol: what the Dart side may ask of the kiosk window.
//
// Methods, compared by exact name: "destroy", "spanAllDisplays", "fitPreferredDisplay",
// "enterWindowedMode", "exitWindowedMode". Each runs its window operation to completion and then
// answers success with no value, whatever the operation decided (a skipped layout is only visible
// in the event lines it reports). Arguments are never looked at. Any other name is answered not
// implemented. The result is always given up before returning.
//
// "destroy" tears the engine down from inside this very call (the window's destroy handling
// closes the channel and shuts the engine down); afterwards only `result` is touched, and its
// reply is dropped by the messenger because the engine is gone.
#pragma once

#include <memory>

#include "codec/encodable_value.h"
#include "codec/method_call.h"
#include "codec/method_result.h"
#include "window/win32_window.h"

inline constexpr char kAppWindowChannelName[] = "com.talvern.orvalen/app_window";
inline constexpr char kDisplayEventMethod[] = "onDisplayEvent";

void HandleAppWindowCall(Win32Window& window,
                         const flutter::MethodCall<flutter::EncodableValue>& call,
                         std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result);
