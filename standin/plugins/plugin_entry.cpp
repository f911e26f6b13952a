// Built five times, once per plug-in library, with STANDIN_PLUGIN_FUNCTION naming the exported
// registration function and STANDIN_PLUGIN_LIBRARY the library's file name.
#include "standin/plugins/plugin_entry.h"

#include "standin/engine/standin_api.h"

#define STANDIN_STRINGIFY_(x) #x
#define STANDIN_STRINGIFY(x) STANDIN_STRINGIFY_(x)

STANDIN_PLUGIN_EXPORT void STANDIN_PLUGIN_FUNCTION(FlutterDesktopPluginRegistrar* registrar) {
  OrvalenStandinRecordPluginRegistration(STANDIN_STRINGIFY(STANDIN_PLUGIN_FUNCTION),
                                         STANDIN_PLUGIN_LIBRARY, registrar);
}
