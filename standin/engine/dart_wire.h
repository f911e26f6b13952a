// The few pieces of the standard channel encoding that the stand-in's "Dart side" needs to
// speak for itself: building a method call from a name and one simple value, and reading back
// an outgoing call whose only argument is a string ("onDisplayEvent" lines).
//
// Kept separate from the product's codec on purpose: the end-to-end tests compare the bytes the
// product sends with what this side expects, and a shared encoder would hide a shared mistake.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

// Appends a size prefix: one byte below 254, 254 + two bytes up to 0xFFFF, 255 + four bytes.
void AppendSize(std::vector<uint8_t>& out, size_t size);
void AppendString(std::vector<uint8_t>& out, uint8_t code, std::string_view text);

// A method call message: the name as a string value, then `argument` (already encoded as one
// value; the single null byte 00 when there is none).
std::vector<uint8_t> EncodeCall(std::string_view method, const std::vector<uint8_t>& argument);

// Encodes one argument value of the scenario's `call` step. `type` is one of null, true, false,
// int32, int64, double, string, hex (raw value bytes). `name_size` is the encoded size of the
// method name, which fixes where the value starts (a double is aligned to 8 from the message
// start). Returns nothing when the type or the text is not understood.
std::optional<std::vector<uint8_t>> EncodeArgument(std::string_view type, std::string_view text,
                                                   size_t value_offset);

// Parses "07 0a FF" (blanks optional between pairs). Nothing on a stray character.
std::optional<std::vector<uint8_t>> ParseHex(std::string_view text);

struct StringCall {
  std::string method;
  std::optional<std::string> argument;  // present when the argument is a string value
};
// Reads a method call whose name is a string value and whose argument, if a string, is kept.
std::optional<StringCall> DecodeStringCall(const uint8_t* data, size_t size);

}  // namespace standin
