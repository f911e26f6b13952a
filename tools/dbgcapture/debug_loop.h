// Runs a child process under a minimal debugger and hands every debug-output string it writes
// (OutputDebugStringA/W) to a sink, in the order the child wrote them. The sink runs while the
// child is stopped in that call, so whatever the sink writes is there before the call returns.
//
// The child is started with DEBUG_ONLY_THIS_PROCESS, so its own children run undebugged. It
// inherits this process's standard handles (its stderr and stdout reach ours) and this process's
// console, if it still has one, so a child that calls AttachConsole(ATTACH_PARENT_PROCESS) finds
// one and does not open a console window of its own even though IsDebuggerPresent() is true for it.
//
// Exceptions other than the loader's initial breakpoint are passed back unhandled, so the child's
// own handlers (C++ exceptions included) behave as without a debugger.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <string_view>

namespace dbgcapture {

struct ChildOutcome {
  bool started = false;
  DWORD start_error = 0;  // GetLastError() of CreateProcessW when !started
  DWORD exit_code = 0;    // the child's exit code when started
};

using DebugStringSink = std::function<void(std::string_view utf8_text)>;

// `command_line` is passed to CreateProcessW unchanged (no application name).
ChildOutcome RunUnderDebugger(const std::wstring& command_line, const DebugStringSink& sink);

}  // namespace dbgcapture
