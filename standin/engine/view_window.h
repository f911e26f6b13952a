// The engine's view: a child window that shows what the stand-in is doing, so that a screenshot
// of the desk explains the kiosk's state. It shows the layout the top-level window is in (read
// from the window itself), the current scenario stage, the last call of the Dart side and the
// latest event lines the kiosk sent as "onDisplayEvent".
//
// Frames. A frame is rendered into the view's own bitmap when something changed (a redraw was
// asked for, the size changed, a line arrived), whether or not the window is visible, as an
// engine renders off-screen; WM_PAINT only presents the last frame. After each frame the view
// reports to its FrameListener, on the UI thread, which is where the next-frame callback runs.
#pragma once

#include <windows.h>

#include <deque>
#include <string>

namespace standin {

class FrameListener {
 public:
  virtual ~FrameListener() = default;
  virtual void OnFrame(int frame_number) = 0;
};

class ViewWindow {
 public:
  // Creates the child window under `parking_parent` (a hidden window of the engine's own; the
  // product re-parents the view into its top-level window).
  ViewWindow(HWND parking_parent, int width, int height, FrameListener* listener);
  ~ViewWindow();
  ViewWindow(const ViewWindow&) = delete;
  ViewWindow& operator=(const ViewWindow&) = delete;

  HWND hwnd() const { return hwnd_; }

  // Content; each change schedules a frame.
  void AddEventLine(const std::string& line);
  void SetStage(const std::string& stage);
  void SetLastCall(const std::string& call);
  void RequestFrame();
  // While held, frames are asked for but not drawn; letting go draws the one asked for.
  void HoldFrames(bool hold);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  void RenderFrame();
  void Render(HDC dc, int width, int height);
  void FreeBitmap();

  HWND hwnd_ = nullptr;
  FrameListener* listener_;
  bool frame_pending_ = false;
  bool held_ = false;
  int frame_number_ = 0;
  HBITMAP bitmap_ = nullptr;
  int bitmap_width_ = 0;
  int bitmap_height_ = 0;
  std::deque<std::string> lines_;
  std::string stage_;
  std::string last_call_;
  std::string layout_hint_;  // "fit" / "span" from the last applied or unchanged line
};

}  // namespace standin
