#include "tools/dbgcapture/debug_loop.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/dbgcapture/unique_handle.h"

namespace dbgcapture {

namespace {

// nDebugStringLength is only 16 bits wide, so longer strings arrive with a wrapped length. The
// string itself is still NUL-terminated in the suspended child, so it is read up to its NUL,
// bounded here against a runaway read.
constexpr std::size_t kMaxDebugStringBytes = 1 << 20;
constexpr std::uintptr_t kPage = 4096;

// Reads bytes from `address` until a NUL unit of `unit` bytes is found, a page cannot be read, or
// the bound is reached. Reads never cross a page boundary, so an unreadable page after the text
// does not lose the readable part.
std::vector<char> ReadUntilNul(HANDLE process, const void* address, std::size_t unit) {
  std::vector<char> bytes;
  std::uintptr_t at = reinterpret_cast<std::uintptr_t>(address);
  while (bytes.size() < kMaxDebugStringBytes) {
    std::size_t chunk = static_cast<std::size_t>(kPage - (at % kPage));
    std::size_t old = bytes.size();
    bytes.resize(old + chunk);
    SIZE_T got = 0;
    if (!ReadProcessMemory(process, reinterpret_cast<const void*>(at), bytes.data() + old, chunk,
                           &got) &&
        got == 0) {
      bytes.resize(old);
      break;
    }
    bytes.resize(old + got);
    // Look for the terminator on unit boundaries counted from the start of the string.
    for (std::size_t i = old - (old % unit); i + unit <= bytes.size(); i += unit) {
      bool zero = true;
      for (std::size_t k = 0; k < unit; ++k) zero = zero && bytes[i + k] == 0;
      if (zero) {
        bytes.resize(i);
        return bytes;
      }
    }
    if (got < chunk) break;
    at += chunk;
  }
  bytes.resize(bytes.size() - bytes.size() % unit);
  return bytes;
}

std::string ReadDebugString(HANDLE process, const OUTPUT_DEBUG_STRING_INFO& info) {
  if (!info.fUnicode) {
    std::vector<char> bytes = ReadUntilNul(process, info.lpDebugStringData, 1);
    return std::string(bytes.begin(), bytes.end());
  }
  std::vector<char> bytes = ReadUntilNul(process, info.lpDebugStringData, sizeof(wchar_t));
  int units = static_cast<int>(bytes.size() / sizeof(wchar_t));
  if (units == 0) return std::string();
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  std::memcpy(wide.data(), bytes.data(), bytes.size());
  int size = WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), units, utf8.data(), size, nullptr, nullptr);
  return utf8;
}

// The child gets our standard handles explicitly: a GUI child would otherwise start without any.
void MakeInheritable(HANDLE h) {
  if (h != nullptr && h != INVALID_HANDLE_VALUE)
    SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
}

}  // namespace

ChildOutcome RunUnderDebugger(const std::wstring& command_line, const DebugStringSink& sink) {
  ChildOutcome outcome;

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  MakeInheritable(startup.hStdInput);
  MakeInheritable(startup.hStdOutput);
  MakeInheritable(startup.hStdError);

  // CreateProcessW may write into the command line buffer.
  std::vector<wchar_t> buffer(command_line.begin(), command_line.end());
  buffer.push_back(L'\0');

  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, buffer.data(), nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS,
                      nullptr, nullptr, &startup, &info)) {
    outcome.start_error = GetLastError();
    return outcome;
  }
  outcome.started = true;
  UniqueHandle process(info.hProcess);
  UniqueHandle thread(info.hThread);

  bool initial_breakpoint_seen = false;
  for (;;) {
    DEBUG_EVENT event{};
    if (!WaitForDebugEvent(&event, INFINITE)) {
      std::fprintf(stderr, "orvalen-dbgcapture: WaitForDebugEvent failed: error %lu\n",
                   GetLastError());
      std::fflush(stderr);
      WaitForSingleObject(process.get(), INFINITE);
      GetExitCodeProcess(process.get(), &outcome.exit_code);
      return outcome;
    }

    DWORD status = DBG_CONTINUE;
    bool child_ended = false;
    switch (event.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        // The image file handle belongs to the debugger; the process and thread handles do not.
        if (event.u.CreateProcessInfo.hFile) CloseHandle(event.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (event.u.LoadDll.hFile) CloseHandle(event.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT:
        sink(ReadDebugString(process.get(), event.u.DebugString));
        break;
      case EXCEPTION_DEBUG_EVENT: {
        const EXCEPTION_RECORD& record = event.u.Exception.ExceptionRecord;
        if (!initial_breakpoint_seen && record.ExceptionCode == EXCEPTION_BREAKPOINT) {
          initial_breakpoint_seen = true;  // the loader's breakpoint, raised for every debuggee
          break;
        }
        status = DBG_EXCEPTION_NOT_HANDLED;
        if (!event.u.Exception.dwFirstChance) {
          std::fprintf(stderr, "orvalen-dbgcapture: child crashed: exception 0x%08lx at %p\n",
                       static_cast<unsigned long>(record.ExceptionCode), record.ExceptionAddress);
          std::fflush(stderr);
        }
        break;
      }
      case EXIT_PROCESS_DEBUG_EVENT:
        if (event.dwProcessId == info.dwProcessId) {
          outcome.exit_code = event.u.ExitProcess.dwExitCode;
          child_ended = true;
        }
        break;
      default: break;
    }
    ContinueDebugEvent(event.dwProcessId, event.dwThreadId, status);
    if (child_ended) break;
  }
  return outcome;
}

}  // namespace dbgcapture
