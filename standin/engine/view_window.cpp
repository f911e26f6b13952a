#include "standin/engine/view_window.h"

#include <cstdio>

#include "standin/engine/bundle_paths.h"

namespace standin {
namespace {

constexpr wchar_t kViewClass[] = L"ORVALEN_STANDIN_VIEW";
constexpr UINT kFrameMessage = WM_APP + 0x51;
constexpr size_t kMaxLines = 18;

void RegisterViewClass() {
  static bool registered = false;
  if (registered) return;
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;  // replaced per window below
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.lpszClassName = kViewClass;
  RegisterClassW(&wc);
  registered = true;
}

struct LayoutLook {
  const char* title;
  COLORREF background;
};

// Reads the top-level window the view lives in; the colours make the layouts tell apart at a
// glance on a desk screenshot.
LayoutLook LookOf(HWND view, const std::string& hint, std::string* detail) {
  HWND top = GetAncestor(view, GA_ROOT);
  if (!top || top == view) return {"NO WINDOW", RGB(60, 60, 60)};
  RECT r{};
  GetWindowRect(top, &r);
  LONG_PTR style = GetWindowLongPtrW(top, GWL_STYLE);
  LONG_PTR exstyle = GetWindowLongPtrW(top, GWL_EXSTYLE);
  char buf[160];
  std::snprintf(buf, sizeof buf, "%ldx%ld @%ld,%ld  style 0x%08llX ex 0x%08llX%s", r.right - r.left,
                r.bottom - r.top, r.left, r.top,
                static_cast<unsigned long long>(style & 0xFFFFFFFF),
                static_cast<unsigned long long>(exstyle & 0xFFFFFFFF),
                (exstyle & WS_EX_TOPMOST) ? "  topmost" : "");
  *detail = buf;
  if (style & WS_CAPTION) return {"WINDOWED (framed)", RGB(150, 80, 20)};
  if (style & WS_POPUP) {
    if (hint == "span") return {"SPAN ALL DISPLAYS", RGB(20, 110, 50)};
    if (hint == "fit") return {"FIT PREFERRED DISPLAY", RGB(25, 55, 130)};
    return {"KIOSK POPUP", RGB(25, 55, 130)};
  }
  return {"CREATED", RGB(60, 60, 60)};
}

void DrawLine(HDC dc, int x, int y, const std::string& text) {
  std::wstring wide = FromUtf8(text);
  TextOutW(dc, x, y, wide.c_str(), static_cast<int>(wide.size()));
}

}  // namespace

ViewWindow::ViewWindow(HWND parking_parent, int width, int height, FrameListener* listener)
    : listener_(listener) {
  RegisterViewClass();
  hwnd_ = CreateWindowExW(0, kViewClass, L"orvalen stand-in view",
                          WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, width, height,
                          parking_parent, nullptr, GetModuleHandleW(nullptr), nullptr);
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&ViewWindow::WindowProc));
  }
}

ViewWindow::~ViewWindow() {
  if (hwnd_) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  FreeBitmap();
}

void ViewWindow::FreeBitmap() {
  if (bitmap_) DeleteObject(bitmap_);
  bitmap_ = nullptr;
  bitmap_width_ = bitmap_height_ = 0;
}

void ViewWindow::AddEventLine(const std::string& line) {
  if (line.rfind("applied (", 0) == 0 || line.rfind("skip unchanged (", 0) == 0) {
    size_t open = line.find('(');
    size_t close = line.find(')', open);
    if (close != std::string::npos) layout_hint_ = line.substr(open + 1, close - open - 1);
  }
  lines_.push_back(line);
  while (lines_.size() > kMaxLines) lines_.pop_front();
  RequestFrame();
}

void ViewWindow::SetStage(const std::string& stage) {
  stage_ = stage;
  RequestFrame();
}

void ViewWindow::SetLastCall(const std::string& call) {
  last_call_ = call;
  RequestFrame();
}

void ViewWindow::RequestFrame() {
  if (!hwnd_ || frame_pending_) return;
  frame_pending_ = true;
  if (!held_) PostMessageW(hwnd_, kFrameMessage, 0, 0);
}

void ViewWindow::HoldFrames(bool hold) {
  held_ = hold;
  if (hwnd_ && !held_ && frame_pending_) PostMessageW(hwnd_, kFrameMessage, 0, 0);
}

void ViewWindow::RenderFrame() {
  frame_pending_ = false;
  RECT client{};
  GetClientRect(hwnd_, &client);
  int width = client.right > 0 ? client.right : 1;
  int height = client.bottom > 0 ? client.bottom : 1;
  HDC screen = GetDC(nullptr);
  if (!bitmap_ || bitmap_width_ != width || bitmap_height_ != height) {
    FreeBitmap();
    bitmap_ = CreateCompatibleBitmap(screen, width, height);
    bitmap_width_ = width;
    bitmap_height_ = height;
  }
  HDC memory = CreateCompatibleDC(screen);
  HGDIOBJ old = SelectObject(memory, bitmap_);
  Render(memory, width, height);
  SelectObject(memory, old);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  InvalidateRect(hwnd_, nullptr, FALSE);
  ++frame_number_;
  if (listener_) listener_->OnFrame(frame_number_);
}

void ViewWindow::Render(HDC dc, int width, int height) {
  std::string detail;
  LayoutLook look = LookOf(hwnd_, layout_hint_, &detail);
  RECT all{0, 0, width, height};
  HBRUSH background = CreateSolidBrush(look.background);
  FillRect(dc, &all, background);
  DeleteObject(background);
  // A bright edge shows where the view ends on a screenshot.
  HBRUSH edge = CreateSolidBrush(RGB(255, 210, 60));
  FrameRect(dc, &all, edge);
  RECT inner{3, 3, width - 3, height - 3};
  FrameRect(dc, &inner, edge);
  DeleteObject(edge);

  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, RGB(255, 255, 255));
  HFONT big_font =
      CreateFontW(64, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Arial");
  HFONT small_font =
      CreateFontW(30, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, 0, 0, L"Courier New");
  HGDIOBJ old = SelectObject(dc, big_font);
  int y = 24;
  DrawLine(dc, 24, y, look.title);
  y += 80;
  SelectObject(dc, small_font);
  DrawLine(dc, 24, y, detail);
  y += 36;
  if (!stage_.empty()) {
    DrawLine(dc, 24, y, "stage: " + stage_);
    y += 36;
  }
  if (!last_call_.empty()) {
    DrawLine(dc, 24, y, "last Dart call: " + last_call_);
    y += 36;
  }
  y += 8;
  SetTextColor(dc, RGB(255, 230, 150));
  DrawLine(dc, 24, y, "onDisplayEvent lines (newest last):");
  y += 36;
  SetTextColor(dc, RGB(235, 235, 235));
  for (const std::string& line : lines_) {
    if (y + 34 > height - 40) break;
    DrawLine(dc, 40, y, line);
    y += 34;
  }
  char footer[64];
  std::snprintf(footer, sizeof footer, "orvalen stand-in engine  frame %d", frame_number_ + 1);
  SetTextColor(dc, RGB(200, 200, 200));
  if (height > 40) DrawLine(dc, 24, height - 40, footer);
  SelectObject(dc, old);
  DeleteObject(big_font);
  DeleteObject(small_font);
}

LRESULT CALLBACK ViewWindow::WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  auto* self = reinterpret_cast<ViewWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wparam, lparam);
  switch (message) {
    case kFrameMessage: self->RenderFrame(); return 0;
    case WM_SIZE: self->RequestFrame(); return 0;
    case WM_ERASEBKGND: return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT client{};
      GetClientRect(hwnd, &client);
      if (!self->bitmap_ || self->bitmap_width_ != client.right ||
          self->bitmap_height_ != client.bottom) {
        self->Render(dc, client.right, client.bottom);  // stale frame: draw directly, then catch up
        self->RequestFrame();
      } else {
        HDC memory = CreateCompatibleDC(dc);
        HGDIOBJ old = SelectObject(memory, self->bitmap_);
        BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
        SelectObject(memory, old);
        DeleteDC(memory);
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    default: return DefWindowProcW(hwnd, message, wparam, lparam);
  }
}

}  // namespace standin
