#include "embedding/flutter_engine.h"

#include <iostream>
#include <utility>
#include <vector>

namespace flutter {

FlutterEngine::FlutterEngine(const EngineProject& project) {
  // The argument array points into the project's strings and lives only for the create call.
  std::vector<const char*> arguments;
  arguments.reserve(project.entry_arguments().size());
  for (const std::string& argument : project.entry_arguments())
    arguments.push_back(argument.c_str());

  FlutterDesktopEngineProperties properties{};
  properties.assets_path = project.assets_dir().c_str();
  properties.icu_data_path = project.icu_data_file().c_str();
  properties.aot_library_path = project.aot_library_file().c_str();
  properties.dart_entrypoint = project.entry_point().c_str();  // "" for the default entry
  properties.dart_entrypoint_argc = static_cast<int32_t>(arguments.size());
  properties.dart_entrypoint_argv = arguments.empty() ? nullptr : arguments.data();
  for (size_t i = 0; i < 4; ++i) properties.engine_options[i] = project.engine_options()[i];

  engine_handle_ = FlutterDesktopEngineCreate(&properties);
  // A refused engine still gets a messenger wrapper, so GetMessenger stays usable; it sits over a
  // null handle and never passes that on. No engine function may see the null engine: a real
  // library dereferences it.
  messenger_ = std::make_unique<BinaryMessengerImpl>(
      engine_handle_ != nullptr ? FlutterDesktopEngineGetMessenger(engine_handle_) : nullptr);
}

FlutterEngine::~FlutterEngine() {
  Shutdown();
  next_frame_callback_ = nullptr;
  messenger_.reset();
}

BinaryMessenger& FlutterEngine::GetMessenger() { return *messenger_; }

FlutterDesktopPluginRegistrarRef FlutterEngine::RegistrarForPlugin(const std::string& plugin_name) {
  if (engine_handle_ == nullptr) {
    std::cerr << "Cannot get plugin registrar on an engine that isn't running; call Run first."
              << std::endl;
    return nullptr;
  }
  return FlutterDesktopEngineGetPluginRegistrar(engine_handle_, plugin_name.c_str());
}

void FlutterEngine::ReloadSystemFonts() {
  if (engine_handle_ == nullptr) return;
  FlutterDesktopEngineReloadSystemFonts(engine_handle_);
}

void FlutterEngine::SetNextFrameCallback(std::function<void()> callback) {
  // Without an engine there is no frame to wait for; the callable is not kept either.
  if (engine_handle_ == nullptr) return;
  next_frame_callback_ = std::move(callback);
  FlutterDesktopEngineSetNextFrameCallback(engine_handle_, &FlutterEngine::NextFrameTrampoline,
                                           this);
}

FlutterDesktopEngineRef FlutterEngine::HandOverEngine() {
  owns_engine_ = false;
  return engine_handle_;
}

void FlutterEngine::ForgetDestroyedEngine() {
  owns_engine_ = false;
  engine_handle_ = nullptr;
  // The messenger went with the engine; the wrapper still held its address.
  messenger_->ForgetMessenger();
}

void FlutterEngine::Shutdown() {
  if (engine_handle_ != nullptr && owns_engine_) FlutterDesktopEngineDestroy(engine_handle_);
  engine_handle_ = nullptr;
}

void FlutterEngine::NextFrameTrampoline(void* user_data) {
  auto* engine = static_cast<FlutterEngine*>(user_data);
  // Taken out before it runs: the callable may set the next one (which must survive), and the
  // stored one must not be overwritten while it is executing. The callable and whatever it holds
  // go when this returns.
  std::function<void()> callback = std::move(engine->next_frame_callback_);
  engine->next_frame_callback_ = nullptr;
  if (callback) callback();
}

}  // namespace flutter
