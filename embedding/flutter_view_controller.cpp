#include "embedding/flutter_view_controller.h"

#include <iostream>

namespace flutter {

FlutterViewController::FlutterViewController(int width, int height, const EngineProject& project) {
  engine_ = std::make_shared<FlutterEngine>(project);
  // A refused engine is not offered to the library at all (a real one dereferences it); the
  // outcome is the same as a refused controller.
  FlutterDesktopEngineRef engine_handle = engine_->HandOverEngine();
  if (engine_handle != nullptr) {
    controller_handle_ = FlutterDesktopViewControllerCreate(width, height, engine_handle);
    // The library frees the engine it was given even when it refuses the controller.
    if (controller_handle_ == nullptr) engine_->ForgetDestroyedEngine();
  }
  if (controller_handle_ == nullptr) {
    std::cerr << "Failed to create view controller." << std::endl;
    return;
  }
  view_ = std::make_unique<FlutterView>(FlutterDesktopViewControllerGetView(controller_handle_));
}

FlutterViewController::~FlutterViewController() {
  if (controller_handle_ != nullptr) FlutterDesktopViewControllerDestroy(controller_handle_);
  view_.reset();
  engine_.reset();
}

// After a failed creation the window still offers its messages here until it is torn down; the
// null controller handle must not reach the library.
void FlutterViewController::ForceRedraw() {
  if (controller_handle_ == nullptr) return;
  FlutterDesktopViewControllerForceRedraw(controller_handle_);
}

std::optional<LRESULT> FlutterViewController::HandleTopLevelWindowProc(HWND hwnd, UINT message,
                                                                       WPARAM wparam,
                                                                       LPARAM lparam) {
  if (controller_handle_ == nullptr) return std::nullopt;
  LRESULT result = 0;
  if (FlutterDesktopViewControllerHandleTopLevelWindowProc(controller_handle_, hwnd, message,
                                                           wparam, lparam, &result)) {
    return result;
  }
  return std::nullopt;
}

}  // namespace flutter
