#include "host/app_plugins.h"

#include <string>

#include "embedding/flutter_desktop.h"

extern "C" {
void ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar(
    FlutterDesktopPluginRegistrarRef registrar);
void SharePlusWindowsPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void UrlLauncherWindowsRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void VideoPlayerWinPluginCApiRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
void WindowManagerPluginRegisterWithRegistrar(FlutterDesktopPluginRegistrarRef registrar);
}

namespace {

struct PluginEntry {
  const char* registrar_name;
  void (*register_with_registrar)(FlutterDesktopPluginRegistrarRef);  // null: nothing to call
};

const PluginEntry kAppPlugins[] = {
    {"ScreenRetrieverWindowsPluginCApi", ScreenRetrieverWindowsPluginCApiRegisterWithRegistrar},
    {"SentryFlutterPlugin", nullptr},
    {"SharePlusWindowsPluginCApi", SharePlusWindowsPluginCApiRegisterWithRegistrar},
    {"UrlLauncherWindows", UrlLauncherWindowsRegisterWithRegistrar},
    {"VideoPlayerWinPluginCApi", VideoPlayerWinPluginCApiRegisterWithRegistrar},
    {"WindowManagerPlugin", WindowManagerPluginRegisterWithRegistrar},
};

}  // namespace

void RegisterAppPlugins(flutter::PluginRegistry* registry) {
  for (const PluginEntry& entry : kAppPlugins) {
    const std::string name(entry.registrar_name);
    FlutterDesktopPluginRegistrarRef registrar = registry->RegistrarForPlugin(name);
    if (entry.register_with_registrar) entry.register_with_registrar(registrar);
  }
}
