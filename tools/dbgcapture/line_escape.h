// One debug-output event as one text line.
//
// Every byte is kept except those that would break the one-event-per-line framing or make it
// ambiguous: backslash -> "\\", LF -> "\n", CR -> "\r", TAB -> "\t", any other byte below 0x20
// and 0x7F -> "\xHH" (two lower-case hex digits). Bytes from 0x80 up (UTF-8) pass unchanged.
#pragma once

#include <string>
#include <string_view>

namespace dbgcapture {

std::string EscapeLine(std::string_view text);

}  // namespace dbgcapture
