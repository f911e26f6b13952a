#include "embedding/messenger_handle.h"

namespace flutter {

MessengerHandle AdoptMessengerReference(FlutterDesktopMessengerRef referenced) {
  if (referenced == nullptr) return nullptr;
  return MessengerHandle(referenced, [](FlutterDesktopMessengerRef messenger) {
    FlutterDesktopMessengerRelease(messenger);
  });
}

}  // namespace flutter
