// Fixed ids, delays, sizes and styles of the kiosk window's layouts, windowed mode and resync.
#pragma once

#include <windows.h>

#include <cstdint>

// Window timer of the debounced resync; a window timer without a procedure, so its WM_TIMER is
// dispatched by the message loop and never runs inside a layout operation.
inline constexpr UINT_PTR kResyncTimerId = 1001;
inline constexpr UINT kResyncFirstDelayMs = 450;
inline constexpr UINT kResyncFollowUpDelayMs = 300;
inline constexpr int32_t kResyncFollowUpsPerEvent = 1;

// Global hot-keys of windowed mode: Win+Shift+Left (previous monitor), Win+Shift+Right (next).
inline constexpr int kHotKeyPrevious = 1;
inline constexpr int kHotKeyNext = 2;
inline constexpr UINT kHotKeyModifiers = MOD_WIN | MOD_SHIFT | MOD_NOREPEAT;  // 0x400C

// Windowed mode: outer size including the frame.
inline constexpr int32_t kWindowedWidth = 1280;
inline constexpr int32_t kWindowedHeight = 800;
inline constexpr LONG_PTR kWindowedStyle = WS_OVERLAPPEDWINDOW | WS_VISIBLE;  // 0x10CF0000
inline constexpr LONG_PTR kAppWindowExStyle = WS_EX_APPWINDOW;                // 0x00040000

// Kiosk layouts: a borderless popup over the target rectangle.
inline constexpr LONG_PTR kKioskStyle = static_cast<LONG_PTR>(WS_POPUP | WS_VISIBLE);  // 0x90000000
