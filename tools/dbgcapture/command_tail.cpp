#include "tools/dbgcapture/command_tail.h"

namespace dbgcapture {

namespace {
bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }
}  // namespace

std::size_t SkipBlanks(std::wstring_view line, std::size_t pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  return pos;
}

bool ReadArgument(std::wstring_view line, std::size_t pos, bool program_name, RawArgument* out) {
  pos = SkipBlanks(line, pos);
  if (pos >= line.size()) return false;
  out->value.clear();

  if (program_name) {
    if (line[pos] == L'"') {
      std::size_t close = line.find(L'"', pos + 1);
      if (close == std::wstring_view::npos) close = line.size();
      out->value.assign(line.substr(pos + 1, close - pos - 1));
      out->end = close < line.size() ? close + 1 : close;
    } else {
      std::size_t end = pos;
      while (end < line.size() && !IsBlank(line[end])) ++end;
      out->value.assign(line.substr(pos, end - pos));
      out->end = end;
    }
    return true;
  }

  // 2n backslashes before a quote give n backslashes and a quote toggle, 2n+1 give n backslashes
  // and a literal quote; inside quotes a doubled quote is a literal quote.
  bool quoted = false;
  while (pos < line.size()) {
    wchar_t c = line[pos];
    if (!quoted && IsBlank(c)) break;
    if (c == L'\\') {
      std::size_t run = 0;
      while (pos < line.size() && line[pos] == L'\\') {
        ++run;
        ++pos;
      }
      if (pos < line.size() && line[pos] == L'"') {
        out->value.append(run / 2, L'\\');
        if (run % 2 == 1) {
          out->value.push_back(L'"');
          ++pos;
        }
      } else {
        out->value.append(run, L'\\');
      }
      continue;
    }
    if (c == L'"') {
      if (quoted && pos + 1 < line.size() && line[pos + 1] == L'"') {
        out->value.push_back(L'"');
        pos += 2;
        continue;
      }
      quoted = !quoted;
      ++pos;
      continue;
    }
    out->value.push_back(c);
    ++pos;
  }
  out->end = pos;
  return true;
}

}  // namespace dbgcapture
