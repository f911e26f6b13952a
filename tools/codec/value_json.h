// The tool's machine forms: hex byte strings and the JSON form of an EncodableValue.
//
//   null | true | false | {"int32": N} | {"int64": N} | {"float64": "<16 hex digits>"}
//   {"string": "<hex>"} | {"uint8s": "<hex>"} | {"int32s": [N, ...]} | {"int64s": [N, ...]}
//   {"float64s": ["<16 hex digits>", ...]} | {"float32s": ["<8 hex digits>", ...]}
//   {"list": [V, ...]} | {"map": [[K, V], ...]}
// Floating-point numbers travel as their IEEE-754 bit patterns, most significant digit first,
// so every NaN payload and -0.0 survive. Output hex is lowercase; input hex may be either case
// and may contain whitespace.
#ifndef ORVALEN_TOOLS_CODEC_VALUE_JSON_H_
#define ORVALEN_TOOLS_CODEC_VALUE_JSON_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/encodable_value.h"
#include "json.h"

namespace codec_tool {

bool ParseHex(const std::string& text, std::vector<uint8_t>* out, std::string* error);
std::string HexOf(const uint8_t* data, size_t size);
inline std::string HexOf(const std::string& bytes) {
  return HexOf(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// Builds the value a JSON form describes; maps take their entries in the listed order, the
// first of equal keys winning.
bool ValueFromJson(const Json& json, flutter::EncodableValue* out, std::string* error);

// The JSON form of a value, in the style `{"list": [{"int32": 1}, null]}`; map entries in the
// map's own key order.
std::string ValueToJson(const flutter::EncodableValue& value);

}  // namespace codec_tool

#endif  // ORVALEN_TOOLS_CODEC_VALUE_JSON_H_
