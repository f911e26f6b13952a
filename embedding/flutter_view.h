// FlutterView: the engine's view, as shown in a child window. Not owned: the view belongs to the
// view controller, which outlives this wrapper.
#pragma once

#include "embedding/flutter_desktop.h"

namespace flutter {

class FlutterView {
 public:
  explicit FlutterView(FlutterDesktopViewRef view) : view_handle_(view) {}
  virtual ~FlutterView() = default;

  FlutterView(const FlutterView&) = delete;
  FlutterView& operator=(const FlutterView&) = delete;

  // The child window that shows the engine's output.
  HWND GetHWND() const { return FlutterDesktopViewGetHWND(view_handle_); }

 private:
  FlutterDesktopViewRef view_handle_;
};

}  // namespace flutter
