// FlutterEngine: owns one engine handle from the engine library and the engine's messenger.
//
// Contract:
//  * Built from an EngineProject, which only needs to live for the construction: the engine
//    library copies what it keeps, and the wrapper keeps no reference to the project.
//  * A null engine handle (the library refused the engine) is never passed to an engine
//    function; the calls that would need it print the line documented at them or do nothing.
//  * No separate start: the engine library starts the engine when a view controller is created
//    from it (FlutterViewController), which takes over the duty to destroy the handle
//    (HandOverEngine). An engine that still owns its handle destroys it itself.
//  * Destruction: the engine handle first (if still owned), then the next-frame callable, then
//    the messenger with its handler table, so no message can reach a destroyed handler.
//  * Platform thread only. Held in shared ownership (by the view controller in this system).
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "embedding/binary_messenger.h"
#include "embedding/binary_messenger_impl.h"
#include "embedding/flutter_desktop.h"
#include "embedding/plugin_registry.h"
#include "shell/engine_project.h"

namespace flutter {

class FlutterEngine : public PluginRegistry {
 public:
  explicit FlutterEngine(const EngineProject& project);
  ~FlutterEngine() override;

  FlutterEngine(const FlutterEngine&) = delete;
  FlutterEngine& operator=(const FlutterEngine&) = delete;

  BinaryMessenger& GetMessenger();

  // Null, with the line "Cannot get plugin registrar on an engine that isn't running; call Run
  // first." on the standard error stream, when the engine handle is null.
  FlutterDesktopPluginRegistrarRef RegistrarForPlugin(const std::string& plugin_name) override;

  // Does nothing when the engine handle is null.
  void ReloadSystemFonts();

  // Runs `callback` (must not be empty) once, on the platform thread, after the next frame.
  // Setting another before that frame replaces it; the replaced one never runs. The callable is
  // released right after its run. When the engine handle is null, nothing is registered and the
  // callable is dropped uncalled.
  void SetNextFrameCallback(std::function<void()> callback);

  // Gives up the duty to destroy the engine handle and returns it; the handle stays in use here.
  FlutterDesktopEngineRef HandOverEngine();

  // Forgets a handed-over handle that the library has destroyed (a refused view controller takes
  // its engine and messenger with it); from then on the calls, the messenger's included, behave
  // as over a refused engine.
  void ForgetDestroyedEngine();

  // Destroys the handle if this wrapper still owns it, then forgets it. First step of destruction.
  void Shutdown();

 private:
  static void NextFrameTrampoline(void* user_data);

  FlutterDesktopEngineRef engine_handle_ = nullptr;
  std::unique_ptr<BinaryMessengerImpl> messenger_;
  bool owns_engine_ = true;
  std::function<void()> next_frame_callback_;
};

}  // namespace flutter
