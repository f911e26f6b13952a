// Wide characters of the properties record to UTF-8: UTF-16 where wchar_t has 16 bits (Windows),
// UTF-32 elsewhere. Unpaired surrogates and out-of-range values become U+FFFD, so a transcript
// never carries invalid UTF-8.
#include <cstdint>
#include <string>

#include "standin/core/state.h"

namespace standin::internal {
namespace {

void AppendUtf8(std::string& out, uint32_t code_point) {
  if (code_point > 0x10FFFF || (code_point >= 0xD800 && code_point <= 0xDFFF)) code_point = 0xFFFD;
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

}  // namespace

std::string WideToUtf8(const wchar_t* text) {
  std::string out;
  if (text == nullptr) return out;
  for (const wchar_t* p = text; *p != 0; ++p) {
    uint32_t unit = static_cast<uint32_t>(*p);
    if constexpr (sizeof(wchar_t) == 2) {
      unit &= 0xFFFF;
      if (unit >= 0xD800 && unit <= 0xDBFF) {
        const uint32_t next = static_cast<uint32_t>(p[1]) & 0xFFFF;
        if (next >= 0xDC00 && next <= 0xDFFF) {
          AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (next - 0xDC00));
          ++p;
          continue;
        }
      }
    }
    AppendUtf8(out, unit);
  }
  return out;
}

}  // namespace standin::internal
