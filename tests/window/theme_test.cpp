// The dark-mode attribute follows the user's AppsUseLightTheme value: at creation, and again on
// WM_DWMCOLORIZATIONCOLORCHANGED. The desk sets the value; the argument --expect-dark=<1|0|none>
// says what creation must do. DwmSetWindowAttribute is observed through the import table (and still
// called), since Wine does not report the attribute back.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "tests/window/desk_support.h"

namespace {

std::string expected_dark;

struct AttributeCall {
  HWND window;
  DWORD attribute;
  BOOL value;
  DWORD size;
};
std::vector<AttributeCall> calls;
void* real_set_attribute = nullptr;

HRESULT WINAPI RecordAttribute(HWND window, DWORD attribute, LPCVOID value, DWORD size) {
  calls.push_back(AttributeCall{
      window, attribute, size == sizeof(BOOL) ? *static_cast<const BOOL*>(value) : -1, size});
  return reinterpret_cast<HRESULT(WINAPI*)(HWND, DWORD, LPCVOID, DWORD)>(real_set_attribute)(
      window, attribute, value, size);
}

constexpr wchar_t kPersonalize[] =
    L"Software\\Microsoft\\Windows\\CurrentVersion\\Themes\\Personalize";

void SetLightTheme(DWORD value) {
  RegSetKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme", REG_DWORD, &value,
                  sizeof(value));
}

TEST(ThemePreference, CreationFollowsTheThemeAndAColourChangeRereadsIt) {
  ASSERT_TRUE(expected_dark == "1" || expected_dark == "0" || expected_dark == "none")
      << "run with --expect-dark=<1|0|none>";
  desk::ImportPatch patch("dwmapi.dll", "DwmSetWindowAttribute",
                          reinterpret_cast<void*>(RecordAttribute));
  ASSERT_TRUE(patch.applied());
  real_set_attribute = patch.original();

  auto window = std::make_unique<desk::RecordingWindow>();
  ASSERT_TRUE(window->Create(L"themed", Win32Window::Point{10, 10}, Win32Window::Size{1280, 720}));
  const HWND hwnd = window->GetWindowHandle();

  if (expected_dark == "none") {
    EXPECT_TRUE(calls.empty()) << "the attribute was set without a theme value";
  } else {
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].window, hwnd);
    EXPECT_EQ(calls[0].attribute, 20u);
    EXPECT_EQ(calls[0].size, 4u);
    EXPECT_EQ(calls[0].value, expected_dark == "1" ? TRUE : FALSE);
  }

  // Flip the theme (or create it) and announce a colour change: the window re-reads it.
  DWORD original = 0;
  DWORD size = sizeof(original);
  const bool had_value = RegGetValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme",
                                      RRF_RT_REG_DWORD, nullptr, &original, &size) == ERROR_SUCCESS;
  const DWORD flipped = had_value && original == 0 ? 1 : 0;
  calls.clear();
  SetLightTheme(flipped);
  SendMessageW(hwnd, WM_DWMCOLORIZATIONCOLORCHANGED, 0, 0);
  if (had_value) {
    SetLightTheme(original);
  } else {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, kPersonalize, L"AppsUseLightTheme");
  }
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].attribute, 20u);
  EXPECT_EQ(calls[0].value, flipped == 0 ? TRUE : FALSE);
  window.reset();
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--expect-dark=", 14) == 0) expected_dark = argv[i] + 14;
  }
  return RUN_ALL_TESTS();
}
