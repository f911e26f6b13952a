#include "shell/command_line.h"

#include <windows.h>

#include <shellapi.h>

#include <cwchar>

namespace {

constexpr size_t kMaxConvertedUnits = 32767;

}  // namespace

std::string WideToUtf8(const wchar_t* text) {
  if (text == nullptr) return std::string();
  const int length = static_cast<int>(wcsnlen(text, kMaxConvertedUnits));
  // WC_ERR_INVALID_CHARS turns an unpaired surrogate into a failure instead of U+FFFD.
  const int size = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, nullptr, 0,
                                       nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string utf8(static_cast<size_t>(size), '\0');
  if (WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, text, length, utf8.data(), size, nullptr,
                          nullptr) == 0) {
    return std::string();
  }
  return utf8;
}

std::vector<std::string> ArgumentsFromCommandLine(const wchar_t* command_line) {
  std::vector<std::string> arguments;
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(command_line, &argc);
  if (argv == nullptr) return arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(WideToUtf8(argv[i]));
  LocalFree(argv);
  return arguments;
}

std::vector<std::string> ReadCommandLineArguments() {
  return ArgumentsFromCommandLine(GetCommandLineW());
}
