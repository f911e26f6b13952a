// The kiosk top-level window's state as the transcript records it: what tests assert on when
// they ask whether the window was hidden, where it is, and whether it is a topmost popup.
#pragma once

#include <windows.h>

#include <string>

namespace standin {

// JSON object: {"hwnd":"0x..","visible":..,"rect":[l,t,r,b],"client":[l,t,r,b],
//   "style":"0x..","exstyle":"0x..","topmost":..,"view":[l,t,r,b]} (view in screen coordinates,
// present when `view` is a window).
std::string WindowStateJson(HWND top, HWND view);
std::string PointerText(const void* pointer);

}  // namespace standin
