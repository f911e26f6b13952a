// PluginRegistry: where plug-ins obtain the engine's registrar for their name.
#pragma once

#include <string>

#include "embedding/flutter_desktop.h"

namespace flutter {

class PluginRegistry {
 public:
  virtual ~PluginRegistry() = default;

  // The engine's registrar for `plugin_name`, or null when there is no running engine.
  virtual FlutterDesktopPluginRegistrarRef RegistrarForPlugin(const std::string& plugin_name) = 0;
};

}  // namespace flutter
