// Win32Window: class registration, creation, the window procedure, theme, content and the base
// message dispatch. Kiosk layouts and their resync live in win32_window_layout.cpp, windowed mode
// and its hot-keys in win32_window_windowed.cpp.
#include "window/win32_window.h"

#include <dwmapi.h>

#include "embedding/flutter_desktop.h"
#include "window/display_geometry.h"
#include "window/win32_window_constants.h"

namespace {

constexpr wchar_t kWindowClassName[] = L"FLUTTER_RUNNER_WIN32_WINDOW";
constexpr WORD kAppIconResourceId = 101;
constexpr DWORD kImmersiveDarkModeAttribute = 20;  // DWMWA_USE_IMMERSIVE_DARK_MODE

// Number of Win32Window objects in existence. UI thread only.
int32_t live_window_count = 0;

// Whether the window class is registered. Created on first use and never freed, so that the
// destructor of the last window can still reach it during static destruction.
struct WindowClassRegistration {
  bool window_class_registered = false;
};

WindowClassRegistration& ClassRegistration() {
  static WindowClassRegistration* registration = new WindowClassRegistration();
  return *registration;
}

// EnableNonClientDpiScaling exists from Windows 10 1607 on; looked up at run time so that the
// executable still loads where it is missing.
void EnableNonClientDpiScalingIfOffered(HWND hwnd) {
  HMODULE user32 = LoadLibraryA("User32.dll");
  if (user32 == nullptr) return;
  using EnableNonClientDpiScalingFn = BOOL(WINAPI*)(HWND);
  auto enable = reinterpret_cast<EnableNonClientDpiScalingFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "EnableNonClientDpiScaling")));
  if (enable != nullptr) enable(hwnd);
  FreeLibrary(user32);
}

}  // namespace

void ApplyThemePreference(HWND window) {
  DWORD light_theme = 0;
  DWORD size = sizeof(light_theme);
  const LONG status = RegGetValueW(
      HKEY_CURRENT_USER, L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize",
      L"AppsUseLightTheme", RRF_RT_REG_DWORD, nullptr, &light_theme, &size);
  if (status != ERROR_SUCCESS) return;
  BOOL dark = light_theme == 0 ? TRUE : FALSE;
  DwmSetWindowAttribute(window, kImmersiveDarkModeAttribute, &dark, sizeof(dark));
}

Win32Window::Win32Window() { ++live_window_count; }

Win32Window::~Win32Window() {
  --live_window_count;
  Destroy();
}

bool Win32Window::Create(const std::wstring& title, const Point& origin, const Size& size) {
  Destroy();

  WindowClassRegistration& registration = ClassRegistration();
  if (!registration.window_class_registered) {
    WNDCLASSW window_class{};
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = WindowProcedure;
    window_class.cbClsExtra = 0;
    window_class.cbWndExtra = 0;
    window_class.hInstance = GetModuleHandleW(nullptr);
    window_class.hIcon = LoadIconW(window_class.hInstance, MAKEINTRESOURCEW(kAppIconResourceId));
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = nullptr;
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = kWindowClassName;
    RegisterClassW(&window_class);
    registration.window_class_registered = true;
  }

  // The monitor is chosen by the unscaled origin: the scale is not known before the monitor is.
  const HMONITOR monitor = MonitorFromPoint(POINT{origin.x, origin.y}, MONITOR_DEFAULTTONEAREST);
  const unsigned dpi = FlutterDesktopGetDpiForMonitor(monitor);
  using display_geometry::ScaleForDpi;

  const HWND window = CreateWindowExW(0, kWindowClassName, title.c_str(), WS_OVERLAPPEDWINDOW,
                                      ScaleForDpi(origin.x, dpi), ScaleForDpi(origin.y, dpi),
                                      ScaleForDpi(size.width, dpi), ScaleForDpi(size.height, dpi),
                                      nullptr, nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) return false;

  ApplyThemePreference(window);
  return OnCreate();
}

bool Win32Window::Show() { return ShowWindow(top_window, SW_SHOWNORMAL) != 0; }

void Win32Window::Destroy() {
  OnDestroy();
  resync_follow_ups = 0;
  if (top_window != nullptr) {
    KillTimer(top_window, kResyncTimerId);
    UnregisterHotKeys();
    // DestroyWindow delivers WM_DESTROY synchronously; its handler clears top_window and runs this
    // function once more, which then finds no window and only repeats the hook and the class check.
    DestroyWindow(top_window);
    top_window = nullptr;
  }
  if (live_window_count == 0) {
    UnregisterClassW(kWindowClassName, nullptr);
    ClassRegistration().window_class_registered = false;
  }
}

void Win32Window::AttachContent(HWND content) {
  content_window = content;
  SetParent(content, top_window);
  FillClientAreaWithContent();
  SetFocus(content_window);
}

HWND Win32Window::GetWindowHandle() const { return top_window; }

RECT Win32Window::GetClientBounds() const {
  RECT client{};
  GetClientRect(top_window, &client);
  return client;
}

void Win32Window::SetQuitOnDestroy(bool quit) { quit_on_destroy = quit; }

void Win32Window::ReportDisplayEvent(const char* line) {
  if (line == nullptr) return;
  OutputDebugStringA("[kiosk-display] ");
  OutputDebugStringA(line);
  OutputDebugStringA("\n");
}

bool Win32Window::OnCreate() { return true; }

void Win32Window::OnDestroy() {}

LRESULT CALLBACK Win32Window::WindowProcedure(HWND hwnd, UINT message, WPARAM wparam,
                                              LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<Win32Window*>(create->lpCreateParams);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    EnableNonClientDpiScalingIfOffered(hwnd);
    self->top_window = hwnd;
    return DefWindowProcW(hwnd, message, wparam, lparam);
  }
  auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self != nullptr) return self->HandleMessage(hwnd, message, wparam, lparam);
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

LRESULT Win32Window::HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_DESTROY: return OnDestroyMessage();
    case WM_SIZE: return OnSizeMessage();
    case WM_ACTIVATE: return OnActivateMessage();
    case WM_DISPLAYCHANGE: return OnDisplayChangeMessage();
    case WM_TIMER: return OnTimerMessage(hwnd, wparam, message, lparam);
    case WM_DPICHANGED: return OnDpiChangedMessage(hwnd, lparam);
    case WM_HOTKEY: return OnHotKeyMessage(hwnd, message, wparam, lparam);
    case WM_DWMCOLORIZATIONCOLORCHANGED: ApplyThemePreference(hwnd); return 0;
    default: return DefaultProcessing(hwnd, message, wparam, lparam);
  }
}

LRESULT Win32Window::OnDestroyMessage() {
  top_window = nullptr;
  Destroy();
  if (quit_on_destroy) PostQuitMessage(0);
  return 0;
}

LRESULT Win32Window::OnSizeMessage() {
  FillClientAreaWithContent();
  return 0;
}

LRESULT Win32Window::OnActivateMessage() {
  if (content_window != nullptr) SetFocus(content_window);
  return 0;
}

LRESULT Win32Window::OnDisplayChangeMessage() {
  ScheduleResync("WM_DISPLAYCHANGE");
  KeepWindowedOnAMonitor();
  return 0;
}

LRESULT Win32Window::OnTimerMessage(HWND hwnd, WPARAM timer_id, UINT message, LPARAM lparam) {
  if (timer_id == kResyncTimerId) return ResyncTick(hwnd);
  return DefaultProcessing(hwnd, message, timer_id, lparam);
}

LRESULT Win32Window::OnDpiChangedMessage(HWND hwnd, LPARAM lparam) {
  if (IsKioskLayoutActive()) {
    ScheduleResync("WM_DPICHANGED (kiosk debounce)");
    return 0;
  }
  // Win32 always passes the suggested rectangle; a hand-made message without one is ignored rather
  // than dereferenced.
  const auto* suggested = reinterpret_cast<const RECT*>(lparam);
  if (suggested == nullptr) return 0;
  SetWindowPos(hwnd, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
               suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  return 0;
}

// Default processing goes to the message's own window. After WM_DESTROY has cleared top_window the
// remaining WM_NCDESTROY would otherwise reach DefWindowProcW with a null handle and be lost.
LRESULT Win32Window::DefaultProcessing(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  return DefWindowProcW(hwnd, message, wparam, lparam);
}

void Win32Window::FillClientAreaWithContent() {
  if (content_window == nullptr) return;
  RECT client{};
  GetClientRect(top_window, &client);
  MoveWindow(content_window, client.left, client.top, client.right - client.left,
             client.bottom - client.top, TRUE);
}
