// Splitting the capture tool's own command line from the child's.
//
// The child command line is handed on exactly as it was written (quotes, empty arguments and all),
// so it is cut out of the raw text instead of being re-quoted from parsed arguments.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dbgcapture {

// One argument as the Windows argument rules read it: its decoded text and where it ends in the
// raw command line (the index just past its last character).
struct RawArgument {
  std::wstring value;
  std::size_t end = 0;
};

// Reads the argument that starts at or after `pos` (leading blanks skipped). The program name
// (the first token) follows its own rule: quotes delimit it and backslashes are literal.
// Returns false when only blanks are left.
bool ReadArgument(std::wstring_view line, std::size_t pos, bool program_name, RawArgument* out);

// Index of the first non-blank character at or after `pos` (line.size() when there is none).
std::size_t SkipBlanks(std::wstring_view line, std::size_t pos);

}  // namespace dbgcapture
