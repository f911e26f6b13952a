#include "host/app_window_channel.h"

#include <string>

void HandleAppWindowCall(Win32Window& window,
                         const flutter::MethodCall<flutter::EncodableValue>& call,
                         std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
  const std::string& method = call.method_name();
  if (method == "destroy") {
    // Re-enters this window's WM_DESTROY handling, which destroys the channel and the engine
    // (and with them the handler that is running us); nothing but `result` is used afterwards.
    DestroyWindow(window.GetWindowHandle());
  } else if (method == "spanAllDisplays") {
    window.SpanAllDisplays();
  } else if (method == "fitPreferredDisplay") {
    window.FitPreferredDisplay();
  } else if (method == "enterWindowedMode") {
    window.EnterWindowedMode();
  } else if (method == "exitWindowedMode") {
    window.ExitWindowedMode();
  } else {
    result->NotImplemented();
    return;
  }
  result->Success(nullptr);
}
