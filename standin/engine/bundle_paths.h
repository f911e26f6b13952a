// Where the stand-in engine looks for things: the bundle's relative paths are resolved against
// the folder of the running executable (not the working directory), as a desktop engine does,
// so the kiosk can be started from anywhere.
#pragma once

#include <string>

namespace standin {

// Folder of the process's executable, without a trailing backslash.
std::wstring ExeDirectory();
// A relative path is taken from the executable's folder; an absolute one is kept.
std::wstring ResolveBundlePath(const std::wstring& path);
std::string ToUtf8(const std::wstring& text);
std::wstring FromUtf8(const std::string& text);

}  // namespace standin
