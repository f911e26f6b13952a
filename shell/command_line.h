// The process command line as the Dart entry arguments: UTF-8, in order, program name excluded.
#pragma once

#include <string>
#include <vector>

// The arguments of GetCommandLineW() after the program name. Every argument gives exactly one
// entry, the empty string when it is not valid UTF-16, so positions are kept. Empty when the
// command line cannot be split.
std::vector<std::string> ReadCommandLineArguments();

// The same for a given command line (as GetCommandLineW would return it).
std::vector<std::string> ArgumentsFromCommandLine(const wchar_t* command_line);

// UTF-16 to UTF-8. At most the first 32,767 code units are converted. Null, empty, or invalid input
// (an unpaired surrogate) gives the empty string; never fails outward.
std::string WideToUtf8(const wchar_t* text);
