// FlutterEngine, FlutterViewController and FlutterView against the stand-in engine: the properties
// record, the hand-over of the engine handle, registrars, next-frame callbacks, destruction order.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "embedding/flutter_engine.h"
#include "embedding/flutter_view.h"
#include "embedding/flutter_view_controller.h"
#include "shell/engine_project.h"
#include "tests/standin/standin_fixture.h"

namespace embedding_test {
namespace {

using standin::EventKind;

constexpr char kNoRegistrar[] =
    "Cannot get plugin registrar on an engine that isn't running; call Run first.\n";

template <typename T>
T ReadAt(const void* record, size_t offset) {
  T value;
  std::memcpy(&value, static_cast<const unsigned char*>(record) + offset, sizeof(T));
  return value;
}

std::wstring WideAt(const void* record, size_t offset) {
  const wchar_t* text = ReadAt<const wchar_t*>(record, offset);
  return text ? std::wstring(text) : std::wstring(L"<null>");
}

class EngineWrappersTest : public StandinTest {
 protected:
  // Lays the 64-byte record the engine saw out field by field, by offset, while it is alive.
  struct Record {
    std::wstring assets, icu, aot;
    bool entry_point_null = true;
    std::string entry_point;
    int32_t argc = -1;
    uint32_t gap = 0xFFFFFFFF;
    bool argv_null = false;
    std::vector<std::string> argv;
    int32_t options[4] = {-1, -1, -1, -1};
  };

  void CaptureRecords() {
    hooks_.on_event = [this](const standin::Event& event) {
      if (event.kind != EventKind::kEngineCreate || event.properties == nullptr) return;
      const void* p = event.properties;
      Record r;
      r.assets = WideAt(p, 0);
      r.icu = WideAt(p, 8);
      r.aot = WideAt(p, 16);
      const char* entry = ReadAt<const char*>(p, 24);
      r.entry_point_null = entry == nullptr;
      if (entry) r.entry_point = entry;
      r.argc = ReadAt<int32_t>(p, 32);
      r.gap = ReadAt<uint32_t>(p, 36);
      const char* const* argv = ReadAt<const char* const*>(p, 40);
      r.argv_null = argv == nullptr;
      for (int32_t i = 0; argv && i < r.argc; ++i) r.argv.emplace_back(argv[i]);
      for (int i = 0; i < 4; ++i) r.options[i] = ReadAt<int32_t>(p, 48 + 4 * i);
      records_.push_back(r);
    };
  }

  std::vector<Record> records_;
};

TEST_F(EngineWrappersTest, ThePropertiesRecordCarriesTheProjectByOffset) {
  CaptureRecords();
  struct Case {
    const char* name;
    std::vector<std::string> arguments;
  };
  for (const Case& c : {Case{"no arguments", {}}, Case{"three arguments", {"--a", "", "ü z"}}}) {
    SCOPED_TRACE(c.name);
    records_.clear();
    EngineProject project(L"data");
    project.set_entry_arguments(c.arguments);
    project.set_engine_option(0, -7);
    project.set_engine_option(3, 2);
    { flutter::FlutterEngine engine(project); }

    ASSERT_EQ(records_.size(), 1u);
    const Record& r = records_[0];
    EXPECT_EQ(r.assets, L"data\\flutter_assets");
    EXPECT_EQ(r.icu, L"data\\icudtl.dat");
    EXPECT_EQ(r.aot, L"data\\app.so");
    EXPECT_FALSE(r.entry_point_null);
    EXPECT_EQ(r.entry_point, "");
    EXPECT_EQ(r.argc, static_cast<int32_t>(c.arguments.size()));
    EXPECT_EQ(r.gap, 0u);
    EXPECT_EQ(r.argv_null, c.arguments.empty());
    EXPECT_EQ(r.argv, c.arguments);
    EXPECT_EQ(r.options[0], -7);
    EXPECT_EQ(r.options[1], 0);
    EXPECT_EQ(r.options[2], 0);
    EXPECT_EQ(r.options[3], 2);
  }
  // The engine library's copy: paths as UTF-8 in the stand-in's record of the call.
  const auto creates = Events(EventKind::kEngineCreate);
  ASSERT_EQ(creates.size(), 2u);
  ASSERT_TRUE(creates[1].info.has_value());
  EXPECT_EQ(creates[1].info->assets_path, "data\\flutter_assets");
  EXPECT_EQ(creates[1].info->arguments, (std::vector<std::string>{"--a", "", "ü z"}));
}

TEST_F(EngineWrappersTest, AnEngineThatOwnsItsHandleDestroysItAndAnswersRegistrars) {
  auto engine = std::make_unique<flutter::FlutterEngine>(EngineProject(L"data"));
  const FlutterDesktopPluginRegistrarRef first = engine->RegistrarForPlugin("PluginA");
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(engine->RegistrarForPlugin("PluginA"), first);
  EXPECT_NE(engine->RegistrarForPlugin("PluginB"), first);
  const auto requests = Events(EventKind::kRegistrarRequest);
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].channel, "PluginA");
  EXPECT_EQ(requests[2].channel, "PluginB");

  engine->ReloadSystemFonts();
  EXPECT_EQ(Events(EventKind::kReloadSystemFonts).size(), 1u);

  engine.reset();
  const auto destroys = Events(EventKind::kEngineDestroy);
  ASSERT_EQ(destroys.size(), 1u);
  EXPECT_EQ(destroys[0].detail, "api");
}

TEST_F(EngineWrappersTest, ARefusedEngineFailsTheControllerAndNoNullHandleReachesTheLibrary) {
  hooks_.allow_engine = [](const standin::EngineInfo&) { return false; };
  testing::internal::CaptureStderr();
  auto controller =
      std::make_unique<flutter::FlutterViewController>(640, 480, EngineProject(L"data"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
  EXPECT_EQ(controller->GetView(), nullptr);
  flutter::FlutterEngine* engine = controller->GetEngine();
  ASSERT_NE(engine, nullptr);

  // What the host window and its plug-ins may still do with the failed objects.
  testing::internal::CaptureStderr();
  EXPECT_EQ(engine->RegistrarForPlugin("PluginA"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kNoRegistrar);
  engine->ReloadSystemFonts();
  int calls = 0;
  engine->SetNextFrameCallback([&calls] { ++calls; });
  engine->GetMessenger().Send("out", nullptr, 0, [&calls](const uint8_t*, size_t) { ++calls; });
  engine->GetMessenger().Send("out", nullptr, 0, nullptr);
  engine->GetMessenger().SetHandler("in", [](const uint8_t*, size_t, flutter::ReplyCallback) {});
  engine->GetMessenger().SetHandler("in", nullptr);
  controller->ForceRedraw();
  EXPECT_EQ(controller->HandleTopLevelWindowProc(reinterpret_cast<HWND>(0x1234), 0x001D, 0, 0),
            std::nullopt);
  controller.reset();
  EXPECT_EQ(calls, 0);

  // The refused creation is the only call: any other would have carried a null engine,
  // controller or messenger.
  std::vector<std::string> seen;
  for (const auto& event : core().Events()) {
    seen.push_back(std::string(standin::EventKindName(event.kind)) + " " + event.detail);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"engine-create refused"}));
}

TEST_F(EngineWrappersTest, ANextFrameCallbackRunsOnceAndIsReleasedRightAfter) {
  flutter::FlutterEngine engine{EngineProject(L"data")};
  auto first_state = std::make_shared<int>(0);
  auto second_state = std::make_shared<int>(0);
  int first_runs = 0;
  int second_runs = 0;
  engine.SetNextFrameCallback([first_state, &first_runs] { ++first_runs; });
  engine.SetNextFrameCallback([second_state, &second_runs] { ++second_runs; });
  EXPECT_EQ(first_state.use_count(), 1) << "the replaced callable is still held";

  const auto registrations = Events(EventKind::kSetNextFrameCallback);
  ASSERT_EQ(registrations.size(), 2u);
  EXPECT_EQ(registrations[0].pointer, registrations[1].pointer);
  EXPECT_TRUE(registrations[1].ok) << "the second registration did not replace the first";

  ASSERT_TRUE(core().FireNextFrame());
  EXPECT_EQ(first_runs, 0);
  EXPECT_EQ(second_runs, 1);
  EXPECT_EQ(second_state.use_count(), 1) << "the callable outlived its single run";
  EXPECT_FALSE(core().FireNextFrame());
  EXPECT_EQ(second_runs, 1);
}

TEST_F(EngineWrappersTest, ANextFrameCallbackMayRegisterTheNextOne) {
  flutter::FlutterEngine engine{EngineProject(L"data")};
  std::vector<std::string> runs;
  engine.SetNextFrameCallback([&] {
    runs.push_back("first");
    engine.SetNextFrameCallback([&] { runs.push_back("second"); });
  });
  ASSERT_TRUE(core().FireNextFrame());
  ASSERT_TRUE(core().FireNextFrame()) << "the registration made during the run was lost";
  EXPECT_EQ(runs, (std::vector<std::string>{"first", "second"}));
}

TEST_F(EngineWrappersTest, AViewControllerTakesTheEngineAndTearsDownInOrder) {
  auto controller =
      std::make_unique<flutter::FlutterViewController>(1280, 720, EngineProject(L"data"));
  ASSERT_NE(controller->GetEngine(), nullptr);
  ASSERT_NE(controller->GetView(), nullptr);
  const auto creates = Events(EventKind::kViewControllerCreate);
  ASSERT_EQ(creates.size(), 1u);
  EXPECT_TRUE(creates[0].ok);
  EXPECT_EQ(creates[0].width, 1280);
  EXPECT_EQ(creates[0].height, 720);
  EXPECT_EQ(creates[0].engine, Events(EventKind::kEngineCreate).at(0).engine);
  EXPECT_TRUE(core().IsRunning());
  EXPECT_EQ(controller->GetView()->GetHWND(), core().ViewWindow().value());
  EXPECT_NE(controller->GetView()->GetHWND(), nullptr);

  controller->ForceRedraw();
  const auto redraws = Events(EventKind::kForceRedraw);
  ASSERT_EQ(redraws.size(), 1u);
  EXPECT_EQ(redraws[0].controller, creates[0].controller);

  // The engine wrapper keeps serving calls with the handed-over handle.
  EXPECT_NE(controller->GetEngine()->RegistrarForPlugin("PluginA"), nullptr);

  core().ClearEvents();
  controller.reset();
  std::vector<std::string> teardown;
  for (const auto& event : core().Events()) {
    if (event.kind == EventKind::kViewControllerDestroy ||
        event.kind == EventKind::kEngineDestroy) {
      teardown.push_back(std::string(standin::EventKindName(event.kind)) + " " + event.detail);
    }
  }
  EXPECT_EQ(teardown,
            (std::vector<std::string>{"view-controller-destroy ", "engine-destroy controller"}));
}

TEST_F(EngineWrappersTest, AFailedViewControllerHasNoViewAndDestroysNoHandle) {
  core().RefuseNextViewController();
  testing::internal::CaptureStderr();
  auto controller =
      std::make_unique<flutter::FlutterViewController>(640, 480, EngineProject(L"data"));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Failed to create view controller.\n");
  EXPECT_EQ(controller->GetView(), nullptr);
  ASSERT_NE(controller->GetEngine(), nullptr);
  // The library took the engine with the failed call and freed it then.
  const auto destroys = Events(EventKind::kEngineDestroy);
  ASSERT_EQ(destroys.size(), 1u);
  EXPECT_EQ(destroys[0].detail, "refused-controller");

  // The engine wrapper forgets the freed handle and answers as over a refused engine: no call
  // carries the handle again, destruction included.
  core().ClearEvents();
  flutter::FlutterEngine* engine = controller->GetEngine();
  testing::internal::CaptureStderr();
  EXPECT_EQ(engine->RegistrarForPlugin("PluginA"), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), kNoRegistrar);
  engine->ReloadSystemFonts();
  engine->SetNextFrameCallback([] {});
  // The messenger went with the engine: a send or a handler must not reach it.
  int replies = 0;
  engine->GetMessenger().Send("out", nullptr, 0, [&replies](const uint8_t*, size_t) { ++replies; });
  engine->GetMessenger().Send("out", nullptr, 0, nullptr);
  engine->GetMessenger().SetHandler("in", [](const uint8_t*, size_t, flutter::ReplyCallback) {});
  engine->GetMessenger().SetHandler("in", nullptr);
  controller.reset();
  EXPECT_EQ(replies, 0);
  for (const auto& event : core().Events()) {
    ADD_FAILURE() << "after the refusal: " << standin::EventKindName(event.kind) << " "
                  << event.detail;
  }
}

TEST_F(EngineWrappersTest, TopLevelMessagesAreHandledOnlyWhenTheEngineSaysSo) {
  flutter::FlutterViewController controller(800, 600, EngineProject(L"data"));
  struct Case {
    const char* name;
    bool consume;
    LRESULT written;
    std::optional<LRESULT> expected;
  };
  const Case cases[] = {
      {"consumed", true, 42, 42},
      {"consumed with zero", true, 0, 0},
      {"not consumed although a result was written", false, 7, std::nullopt},
  };
  HWND window = reinterpret_cast<HWND>(0x1234);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    hooks_.top_level = [&](HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result) {
      EXPECT_EQ(hwnd, window);
      EXPECT_EQ(message, 0x0111u);
      EXPECT_EQ(wparam, WPARAM{5});
      EXPECT_EQ(lparam, LPARAM{-6});
      *result = c.written;
      return c.consume;
    };
    EXPECT_EQ(controller.HandleTopLevelWindowProc(window, 0x0111, 5, -6), c.expected);
  }
  EXPECT_EQ(Events(EventKind::kTopLevelMessage).size(), 3u);
}

}  // namespace
}  // namespace embedding_test
