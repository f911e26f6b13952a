#include "host/flutter_window.h"

#include <optional>
#include <utility>

#include "codec/standard_method_codec.h"
#include "host/app_plugins.h"
#include "host/app_window_channel.h"

FlutterWindow::FlutterWindow(const EngineProject& project) : project(project) {}

FlutterWindow::~FlutterWindow() {
  // The channel points into the engine's messenger, so it must go first.
  app_channel.reset();
  view_controller.reset();
}

bool FlutterWindow::OnCreate() {
  if (!Win32Window::OnCreate()) return false;

  const RECT frame = GetClientBounds();
  view_controller = std::make_unique<flutter::FlutterViewController>(
      frame.right - frame.left, frame.bottom - frame.top, project);
  // A controller without a view means the engine library refused it (already reported on
  // stderr); the controller stays until destruction so its engine wrapper is released in order.
  if (!view_controller->GetEngine() || !view_controller->GetView()) return false;

  RegisterAppPlugins(view_controller->GetEngine());
  AttachContent(view_controller->GetView()->GetHWND());

  app_channel = std::make_unique<flutter::MethodCallChannel<flutter::EncodableValue>>(
      &view_controller->GetEngine()->GetMessenger(), kAppWindowChannelName,
      &flutter::StandardMethodCodec::SharedInstance());
  app_channel->SetCallHandler(
      [this](const flutter::MethodCall<flutter::EncodableValue>& call,
             std::unique_ptr<flutter::MethodResult<flutter::EncodableValue>> result) {
        HandleAppWindowCall(*this, call, std::move(result));
      });

  // Hidden until the engine has something to show; then straight to the kiosk geometry.
  view_controller->GetEngine()->SetNextFrameCallback([this]() {
    FitPreferredDisplay();
    Show();
  });
  view_controller->ForceRedraw();
  return true;
}

void FlutterWindow::OnDestroy() {
  // Channel before engine: the channel's messenger belongs to the engine.
  app_channel.reset();
  if (view_controller) view_controller.reset();
  Win32Window::OnDestroy();
}

LRESULT FlutterWindow::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DPICHANGED:
      // While a kiosk layout holds, the layout's debounce re-applies it; the engine must not
      // resize the view to the suggested rectangle in between.
      if (IsKioskLayoutActive()) return Win32Window::HandleMessage(hwnd, message, wparam, lparam);
      break;
    case WM_DISPLAYCHANGE:
      // The engine learns of the change, but the kiosk must re-lay itself out whatever the
      // engine answers.
      if (view_controller) {
        view_controller->HandleTopLevelWindowProc(hwnd, message, wparam, lparam);
      }
      return Win32Window::HandleMessage(hwnd, message, wparam, lparam);
    default: break;
  }

  if (view_controller) {
    std::optional<LRESULT> result =
        view_controller->HandleTopLevelWindowProc(hwnd, message, wparam, lparam);
    if (result) return *result;
  }
  if (message == WM_FONTCHANGE && view_controller) {
    view_controller->GetEngine()->ReloadSystemFonts();
  }
  return Win32Window::HandleMessage(hwnd, message, wparam, lparam);
}

void FlutterWindow::ReportDisplayEvent(const char* line) {
  Win32Window::ReportDisplayEvent(line);
  if (app_channel && line) {
    app_channel->Invoke(kDisplayEventMethod,
                        std::make_unique<flutter::EncodableValue>(std::string(line)), nullptr);
  }
}
