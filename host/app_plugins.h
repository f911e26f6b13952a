// The platform plug-ins the kiosk's Dart program relies on, attached to a running engine.
//
// Registrars are requested in a fixed order, ascending by name, six of them; "SentryFlutterPlugin"
// has no native library, so its registrar is requested and dropped. The five libraries are
// load-time imports: the process does not start without them.
#pragma once

#include "embedding/plugin_registry.h"

void RegisterAppPlugins(flutter::PluginRegistry* registry);
