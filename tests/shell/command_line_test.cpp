// The Dart entry arguments from the Windows command line. One test starts this executable again
// with a command line of its own making and reads back what the child's ReadCommandLineArguments
// gave, so the process's real command line is covered, empty and invalid arguments included.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "shell/command_line.h"

namespace {

using Arguments = std::vector<std::string>;

TEST(CommandLine, KeepsEveryArgumentInItsPosition) {
  struct Case {
    const wchar_t* command_line;
    Arguments expected;
  };
  const Case cases[] = {
      {L"orvalen.exe", {}},
      {L"\"C:\\Program Files\\orvalen\\orvalen.exe\"", {}},
      {L"orvalen.exe a \"b c\" \"\"", {"a", "b c", ""}},
      // An unpaired surrogate empties its own entry only.
      {L"orvalen.exe a \xD800 c", {"a", "", "c"}},
      {L"orvalen.exe \xDC00z \"\xD83D\xDE00\"", {"", "\xF0\x9F\x98\x80"}},
      {L"orvalen.exe caf\u00e9 --route=/home", {"caf\xC3\xA9", "--route=/home"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.expected.size() << " arguments");
    EXPECT_EQ(ArgumentsFromCommandLine(c.command_line), c.expected);
  }
}

constexpr char kChildFlag[] = "--print-entry-arguments";

std::string Hex(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", c);
    out += hex;
  }
  return out;
}

// Child mode: every entry argument on its own line, as hex, so empty ones stay visible.
int PrintEntryArguments() {
  for (const std::string& argument : ReadCommandLineArguments())
    std::printf("arg:%s\n", Hex(argument).c_str());
  std::fflush(stdout);
  return 0;
}

// Runs this executable with `tail` after its own path and returns the child's standard output.
std::string RunSelf(const std::wstring& tail) {
  wchar_t self[MAX_PATH];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  std::wstring command_line = L"\"" + std::wstring(self) + L"\" " + tail;

  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &inherit, 0)) return "CreatePipe failed";
  SetHandleInformation(read_end, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write_end;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION child{};
  const BOOL started = CreateProcessW(nullptr, command_line.data(), nullptr, nullptr, TRUE, 0,
                                      nullptr, nullptr, &startup, &child);
  CloseHandle(write_end);
  std::string output;
  if (started) {
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(read_end, buffer, sizeof buffer, &got, nullptr) && got > 0)
      output.append(buffer, got);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
  } else {
    output = "CreateProcessW failed";
  }
  CloseHandle(read_end);
  return output;
}

TEST(CommandLine, ThePassedCommandLineBecomesTheEntryArgumentsInOrder) {
  std::string expected = "arg:" + Hex(kChildFlag) + "\n";
  for (const char* argument : {"a", "b c", "", "", "z\xC3\xA9"})
    expected += "arg:" + Hex(argument) + "\n";
  std::string output = RunSelf(L"--print-entry-arguments a \"b c\" \"\" \xD800 z\u00e9");
  // The console layer may turn line ends into CR LF.
  std::string normalised;
  for (char c : output) {
    if (c != '\r') normalised += c;
  }
  EXPECT_EQ(normalised, expected);
}

TEST(WideToUtf8, ConvertsValidTextAndEmptiesEverythingElse) {
  EXPECT_EQ(WideToUtf8(nullptr), "");
  EXPECT_EQ(WideToUtf8(L""), "");
  EXPECT_EQ(WideToUtf8(L"kiosk"), "kiosk");
  EXPECT_EQ(WideToUtf8(L"\u00e9\u20ac\U0001F600"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(WideToUtf8(L"ok\xD800"), "");
  EXPECT_EQ(WideToUtf8(L"\xDFFFok"), "");
}

TEST(WideToUtf8, ConvertsAtMost32767CodeUnits) {
  const std::wstring long_text(40000, L'x');
  const std::string converted = WideToUtf8(long_text.c_str());
  EXPECT_EQ(converted, std::string(32767, 'x'));

  // The bound can cut a surrogate pair in half; the lone half makes the conversion fail.
  std::wstring split(32766, L'y');
  split += L"\xD83D\xDE00";
  EXPECT_EQ(WideToUtf8(split.c_str()), "");
  std::wstring whole(32765, L'y');
  whole += L"\xD83D\xDE00";
  EXPECT_EQ(WideToUtf8(whole.c_str()), std::string(32765, 'y') + "\xF0\x9F\x98\x80");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], kChildFlag) == 0) return PrintEntryArguments();
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
