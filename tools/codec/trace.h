// The tool's readable output: every value of a message on its own line with its offset, its
// bytes (code, size prefix, padding and body) and what it means, indented by nesting.
#ifndef ORVALEN_TOOLS_CODEC_TRACE_H_
#define ORVALEN_TOOLS_CODEC_TRACE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codec/encodable_value.h"

namespace codec_tool {

enum class MessageKind { kValue, kCall, kReply };

// Renders `bytes` read as one value, as a method call (name and arguments) or as a reply
// envelope (flag byte and values). Decoding diagnostics are not repeated here.
std::string TraceMessage(const std::vector<uint8_t>& bytes, MessageKind kind);

// A short readable form of a value, e.g. `string "abc"` or `list, 2 elements`.
std::string Summary(const flutter::EncodableValue& value);

// `"text"` with C-style escapes for non-printable bytes, cut after `limit` bytes.
std::string Quoted(const std::string& bytes, size_t limit = 64);

}  // namespace codec_tool

#endif  // ORVALEN_TOOLS_CODEC_TRACE_H_
