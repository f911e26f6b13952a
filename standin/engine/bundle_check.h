// The bundle files an engine cannot start without. A real engine refuses to be created when its
// ICU data file or its assets folder is missing; the stand-in does the same, so the product's
// handling of that failure is exercised. The application library is not among them: a missing
// scenario file is an empty program.
#pragma once

#include <string>

#include "standin/core/engine_hooks.h"

namespace standin {

// Empty when both are there; otherwise the resolved path of the first one missing.
std::string MissingBundleFile(const EngineInfo& info);

}  // namespace standin
