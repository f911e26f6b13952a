// The tool's machine forms: hex byte strings and the JSON form of an EncodableValue.
//
//   null | true | false | {"int32": N} | {"int64": N} | {"float64": "<16 hex digits>"}
//   {"string": "<hex>"} | {"uint8s": "<hex>"} | {"int32s": [N, ...]} | {"int64s": [N, ...]}
//   {"float64s": ["<16 hex digits>", ...]} | {"float32s": ["<8 hex digits>", ...]}
//   {"list": [V, ...]} | {"map": [[K, V], ...]}
// Floating-point numbers travel as their IEEE-754 bit patterns, most significant digit first,
// so every NaN payload and -0.0 survive. Output hex is lowercase; input hex may be either case
// and may contain whitespace. Input is read with nlohmann-json; output is written here, because
// nlohmann's dump has no `{"int32": 1}` spacing (one space after each ':' and ',').
#ifndef ORVALEN_TOOLS_CODEC_VALUE_JSON_H_
#define ORVALEN_TOOLS_CODEC_VALUE_JSON_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "codec/encodable_value.h"

namespace codec_tool {

// A JSON document as nlohmann-json holds it. A number without fraction or exponent stays an
// exact integer (number_unsigned without a sign, number_integer with one), so 64-bit values
// convert exactly; every other number is a double, which no value form accepts.
using Json = nlohmann::json;

// Parses one JSON document (surrounding whitespace allowed), nested at most 512 levels deep so
// that hostile input cannot exhaust the stack of the conversion or the serializer. A repeated
// member name counts as another member. On failure returns false and sets `error` to a one-line
// description.
bool ParseJson(const std::string& source, Json* out, std::string* error);

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
