// Win32Window: the kiosk application's one top-level window.
//
// Owns the window class "FLUTTER_RUNNER_WIN32_WINDOW" (registered on the first Create, unregistered
// when the last object goes), creates the window framed and hidden at a DPI-scaled position, binds
// the window to this object in WindowProcedure, keeps the dark-mode attribute in step with the
// user's app theme, keeps one child content window filling the client area, and carries the kiosk
// display logic, one file per concern:
//   - win32_window.cpp: lifecycle and the message dispatch;
//   - win32_window_layout.cpp: two full-screen layouts, SpanAllDisplays and FitPreferredDisplay,
//     both topmost borderless popups applied by ApplyBounds, and their debounced resync: display
//     and DPI changes while a kiosk layout is current arm timer 1001 for 450 ms; its tick
//     re-applies the layout and arms one follow-up 300 ms later;
//   - win32_window_windowed.cpp: windowed mode, a framed 1280 x 800 window that the hot-keys
//     Win+Shift+Left/Right (ids 1, 2) move between monitors;
//   - win32_monitors.cpp: the monitors, enumerated anew each time.
// Every decision is one event line through ReportDisplayEvent, which writes it to the debugger
// output as "[kiosk-display] ", the line, "\n".
//
// Subclasses override the four hooks. A subclass's HandleMessage must pass what it does not consume
// to Win32Window::HandleMessage. Everything runs on the thread that created the window.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

class Win32Window {
 public:
  struct Point {
    int32_t x;
    int32_t y;
  };
  struct Size {
    int32_t width;
    int32_t height;
  };

  Win32Window();
  virtual ~Win32Window();

  Win32Window(const Win32Window&) = delete;
  Win32Window& operator=(const Win32Window&) = delete;

  // Creates the top-level window, framed and hidden. origin and size are logical units, scaled by
  // the DPI of the monitor nearest the (unscaled) origin. Tears down a window this object still has
  // first. False when the window cannot be created (no hook runs then) or OnCreate refuses (the
  // window is then left for the destructor).
  bool Create(const std::wstring& title, const Point& origin, const Size& size);

  // ShowWindow(SW_SHOWNORMAL); true when the window was already visible.
  bool Show();

  // Runs OnDestroy, cancels the resync, drops the hot-keys and destroys the window; unregisters the
  // class when no Win32Window object is left.
  void Destroy();

  // Makes `content` a child that fills the client area and has the focus.
  void AttachContent(HWND content);

  HWND GetWindowHandle() const;
  RECT GetClientBounds() const;

  // When true, destroying the top-level window posts WM_QUIT with exit code 0.
  void SetQuitOnDestroy(bool quit_on_destroy);

  // Kiosk layouts. Both are refused silently without a window or in windowed mode, and with a
  // "skip reentrant ..." line while another layout operation runs on this thread.
  void SpanAllDisplays();
  void FitPreferredDisplay();

  // Windowed mode: framed, not topmost, 1280 x 800 centred in the work area of the monitor the
  // window is on; registers the hot-keys and cancels a pending resync. Exiting only drops the
  // hot-keys; the caller requests the next layout.
  void EnterWindowedMode();
  void ExitWindowedMode();

  // True while a kiosk layout (span or fit) is current; windowed mode is not one.
  bool IsKioskLayoutActive() const { return span_active() || fit_active(); }

 protected:
  // One event line (may be null: nothing is written).
  virtual void ReportDisplayEvent(const char* line);

  // The base message dispatch.
  virtual LRESULT HandleMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // Runs at the end of a successful window creation; false makes Create fail.
  virtual bool OnCreate();

  // Runs when the top-level window is being torn down (and once more from the destructor).
  virtual void OnDestroy();

  // Puts the window over `target` as a topmost popup, or reports why not. Used by the layouts.
  bool ApplyBounds(const RECT& target, const char* layout_name);

 private:
  static LRESULT CALLBACK WindowProcedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // Message handlers of the base dispatch; each returns the message result.
  LRESULT OnDestroyMessage();
  LRESULT OnSizeMessage();
  LRESULT OnActivateMessage();
  LRESULT OnDisplayChangeMessage();
  LRESULT OnTimerMessage(HWND hwnd, WPARAM timer_id, UINT message, LPARAM lparam);
  LRESULT OnDpiChangedMessage(HWND hwnd, LPARAM lparam);
  LRESULT OnHotKeyMessage(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT DefaultProcessing(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  // What the window shows, as one record: the current layout and, for a layout on one monitor,
  // which one (an index left to right, then top to bottom; none: the preferred monitor, chosen
  // anew each time). kNone until the first layout, and after windowed mode ends.
  enum class Layout { kNone, kSpan, kFit, kWindowed };
  struct LayoutRecord {
    Layout kind = Layout::kNone;
    std::optional<std::size_t> monitor;
  };
  bool span_active() const { return layout.kind == Layout::kSpan; }
  bool fit_active() const { return layout.kind == Layout::kFit; }
  bool windowed_mode() const { return layout.kind == Layout::kWindowed; }

  // A kiosk layout operation starts with StartLayout: false when it is refused (no window,
  // windowed mode, or with its "skip reentrant ..." line while another layout runs); otherwise the
  // hot-keys are dropped and `next` becomes the current layout, whatever the operation then finds.
  // ReapplyCurrentLayout runs the current one again (the resync tick). A layout on one monitor is
  // a fit with the monitor in the record: its own public method calls Fit, and the resync, the
  // refusals and the lines follow from the record.
  bool StartLayout(const LayoutRecord& next);
  void ReapplyCurrentLayout();
  void Fit(std::optional<std::size_t> monitor);

  // The debounce and its timer tick.
  void ScheduleResync(const char* event_name);
  LRESULT ResyncTick(HWND hwnd);

  void MoveToAdjacentMonitor(bool next);
  // Windowed mode: a window whose centre is on no monitor any more (its monitor went away) is
  // centred in the work area of the nearest one, keeping its size, with an "applied (windowed)"
  // line. A minimized window is judged by its restored placement, which is moved the same way
  // while the window stays minimized. A window left where it is gets no line.
  void KeepWindowedOnAMonitor();
  void KeepRestoredPlacementOnAMonitor();
  void FillClientAreaWithContent();
  void UnregisterHotKeys();

  bool quit_on_destroy = false;
  LayoutRecord layout;
  bool layout_busy = false;
  int32_t resync_follow_ups = 0;
  HWND top_window = nullptr;
  HWND content_window = nullptr;
};

// Reads the user's app theme and sets the window's dark-mode attribute to match; leaves the
// attribute alone when the theme value cannot be read.
void ApplyThemePreference(HWND window);
