#include "standin/engine/bundle_check.h"

#include <windows.h>

#include "standin/engine/bundle_paths.h"

namespace standin {

std::string MissingBundleFile(const EngineInfo& info) {
  const std::wstring assets = ResolveBundlePath(FromUtf8(info.assets_path));
  const DWORD assets_attributes = GetFileAttributesW(assets.c_str());
  if (assets_attributes == INVALID_FILE_ATTRIBUTES ||
      !(assets_attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return ToUtf8(assets);
  }
  const std::wstring icu = ResolveBundlePath(FromUtf8(info.icu_data_path));
  const DWORD icu_attributes = GetFileAttributesW(icu.c_str());
  if (icu_attributes == INVALID_FILE_ATTRIBUTES || (icu_attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return ToUtf8(icu);
  }
  return std::string();
}

}  // namespace standin
