// A small, strict JSON reader for the tool's command-line values. Numbers keep their source
// text so that 64-bit integers convert exactly.
#ifndef ORVALEN_TOOLS_CODEC_JSON_H_
#define ORVALEN_TOOLS_CODEC_JSON_H_

#include <string>
#include <vector>

namespace codec_tool {

struct Json {
  enum class Kind { kNull, kBool, kNumber, kString, kArray, kObject };
  Kind kind = Kind::kNull;
  bool boolean = false;
  std::string text;  // number source text, or string contents
  std::vector<Json> items;
  // Object members in source order, names and values side by side (a pair<string, Json> here
  // would need Json complete, which clang's library insists on).
  std::vector<std::string> member_names;
  std::vector<Json> member_values;
};

// Parses one JSON document (surrounding whitespace allowed). On failure returns false and sets
// `error` to a one-line description.
bool ParseJson(const std::string& source, Json* out, std::string* error);

}  // namespace codec_tool

#endif  // ORVALEN_TOOLS_CODEC_JSON_H_
