// The Windows half of the stand-in engine, on top of the portable core's hooks: it writes every
// call of the product into the transcript, makes the view window and its frames, fires the
// next-frame callback after a frame, consumes the top-level messages the scenario names, reports
// the scenario's DPI, and runs the "Dart side" once the first frame is out.
//
// All of it runs on the product's UI thread except OnEvent for the response path, which may run
// anywhere and therefore only writes the transcript.
#pragma once

#include <windows.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "standin/core/engine_hooks.h"
#include "standin/engine/scenario.h"
#include "standin/engine/view_window.h"

namespace standin {

class DartSide;

class EngineSide : public EngineHooks, public FrameListener {
 public:
  static EngineSide& Get();

  // EngineHooks
  void OnEvent(const Event& event) override;
  bool AllowEngineCreate(const EngineInfo& info) override;
  bool AllowViewControllerCreate(int width, int height) override;
  std::optional<HWND> CreateViewWindow(FlutterDesktopEngineRef engine, int width,
                                       int height) override;
  void DestroyViewWindow(HWND view_window) override;
  bool HandleTopLevelWindowMessage(FlutterDesktopViewControllerRef controller, HWND hwnd,
                                   UINT message, WPARAM wparam, LPARAM lparam,
                                   LRESULT* result) override;
  std::optional<UINT> DpiForMonitor(HMONITOR monitor) override;

  // FrameListener
  void OnFrame(int frame_number) override;

  void RecordPluginRegistration(const char* function, const char* library, const void* registrar);

  // For the Dart side.
  ViewWindow* view() { return view_.get(); }
  // The steps have run out: a held first frame may come now.
  void OnDartEnd();
  HWND TopLevelWindow() const;
  HWND parking_window();

 private:
  EngineSide() = default;
  // The scenario beside the exe, read once on first need: the DPI query and the transcript's
  // place come before the engine (and with it the bundle's paths) exists.
  const Scenario& EarlyScenario();
  void LoadScenarioFrom(const std::wstring& path, bool early,
                        const std::vector<std::string>& arguments = {});
  void OnDisplayEventSent(const Event& event);
  void StartWatchdog();
  void StartDart();
  static LRESULT CALLBACK ParkingProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);

  std::mutex mutex_;  // guards registrar_names_
  std::map<const void*, std::string> registrar_names_;

  bool scenario_loaded_ = false;
  std::wstring scenario_path_;
  Scenario scenario_;
  bool scenario_found_ = false;
  bool refusal_used_ = false;
  bool watchdog_started_ = false;

  HWND parking_ = nullptr;
  std::unique_ptr<ViewWindow> view_;
  std::unique_ptr<DartSide> dart_;
  bool dart_started_ = false;
};

}  // namespace standin
