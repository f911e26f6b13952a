// FlutterWindow: the kiosk top-level window that hosts the engine's view.
//
// At creation it starts the engine and its view at the client size, registers the plug-ins,
// makes the view its content, opens the app-window channel and asks for the first frame; the
// window stays hidden until that frame, then is fitted to the preferred display and shown.
// Window messages are offered to the engine first, except that a DPI change bypasses it while a
// kiosk layout is current (the layout's own debounce handles it) and a display change always
// reaches the kiosk logic too. Every display event line also goes to the Dart side as
// "onDisplayEvent". At WM_DESTROY the channel is closed before the engine is shut down.
#pragma once

#include <windows.h>

#include <memory>

#include "codec/encodable_value.h"
#include "embedding/flutter_view_controller.h"
#include "embedding/method_call_channel.h"
#include "shell/engine_project.h"
#include "window/win32_window.h"

class FlutterWindow : public Win32Window {
 public:
  // Keeps its own copy of the project; nothing starts before Create.
  explicit FlutterWindow(const EngineProject& project);
  ~FlutterWindow() override;

  FlutterWindow(const FlutterWindow&) = delete;
  FlutterWindow& operator=(const FlutterWindow&) = delete;

 protected:
  void ReportDisplayEvent(const char* line) override;
  LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) override;
  bool OnCreate() override;
  void OnDestroy() override;

 private:
  EngineProject project;
  std::unique_ptr<flutter::FlutterViewController> view_controller;
  std::unique_ptr<flutter::MethodCallChannel<flutter::EncodableValue>> app_channel;
};
