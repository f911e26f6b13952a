// FlutterViewController: creates the engine with a view of a given size and owns both.
//
// Contract:
//  * Construction creates the FlutterEngine from the project and hands its handle to
//    FlutterDesktopViewControllerCreate, which takes it whatever the outcome; a refused (null)
//    engine handle is not handed over and fails the same way. On failure it prints "Failed to
//    create view controller." on the standard error stream; the engine wrapper stays and
//    GetView() returns null, which is how the caller detects the failure.
//  * After a failed creation the controller handle is null and never reaches the library:
//    ForceRedraw does nothing and HandleTopLevelWindowProc returns no value.
//  * Destruction: the controller handle (which shuts down view and engine), then the view
//    wrapper, then this share of the engine wrapper.
//  * Platform thread only.
#pragma once

#include <memory>
#include <optional>

#include "embedding/flutter_desktop.h"
#include "embedding/flutter_engine.h"
#include "embedding/flutter_view.h"
#include "shell/engine_project.h"

namespace flutter {

class FlutterViewController {
 public:
  // `width` and `height` are physical pixels.
  FlutterViewController(int width, int height, const EngineProject& project);
  virtual ~FlutterViewController();

  FlutterViewController(const FlutterViewController&) = delete;
  FlutterViewController& operator=(const FlutterViewController&) = delete;

  // The controller keeps the ownership.
  FlutterEngine* GetEngine() const { return engine_.get(); }
  // Null when creation failed.
  FlutterView* GetView() const { return view_.get(); }

  void ForceRedraw();

  // Offers a top-level window message to the engine. A value: the engine handled it and this is
  // the result to return from the window procedure. No value: handle it yourself (whatever the
  // engine may have written into its result).
  std::optional<LRESULT> HandleTopLevelWindowProc(HWND hwnd, UINT message, WPARAM wparam,
                                                  LPARAM lparam);

 private:
  FlutterDesktopViewControllerRef controller_handle_ = nullptr;
  std::shared_ptr<FlutterEngine> engine_;
  std::unique_ptr<FlutterView> view_;
};

}  // namespace flutter
