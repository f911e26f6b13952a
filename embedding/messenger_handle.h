// MessengerHandle: shared ownership of one engine-messenger reference.
//
// The engine messenger is reference counted by the engine library and outlives the engine; a
// handle keeps one reference and gives it back with FlutterDesktopMessengerRelease when the last
// copy goes. The count of copies is std::shared_ptr's, which is atomic, so copies may be dropped
// on any thread.
#pragma once

#include <memory>

#include "embedding/flutter_desktop.h"

namespace flutter {

using MessengerHandle = std::shared_ptr<FlutterDesktopMessenger>;

// Takes over one reference that the caller already holds (e.g. from FlutterDesktopMessengerAddRef).
// A null messenger gives an empty handle.
MessengerHandle AdoptMessengerReference(FlutterDesktopMessengerRef referenced);

}  // namespace flutter
