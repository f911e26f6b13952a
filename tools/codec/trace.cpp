#include "trace.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "codec/byte_streams.h"
#include "codec/standard_codec_serializer.h"

namespace codec_tool {

using flutter::ByteBufferStreamReader;
using flutter::ByteStreamReader;
using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::StandardCodecType;

namespace {

constexpr size_t kBytesShown = 10;
constexpr size_t kElementsShown = 8;
constexpr int kIndentLevels = 12;

std::string Number(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

template <typename T>
std::string Elements(const std::vector<T>& array) {
  std::ostringstream out;
  out << "[";
  for (size_t i = 0; i < array.size() && i < kElementsShown; ++i) {
    if (i) out << ", ";
    if constexpr (std::is_floating_point_v<T>) {
      out << Number(array[i]);
    } else {
      out << +array[i];
    }
  }
  if (array.size() > kElementsShown) out << ", ...";
  out << "]";
  return out.str();
}

std::string Count(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

template <typename T>
std::string ArraySummary(const char* kind, const EncodableValue& value) {
  const auto& array = std::get<std::vector<T>>(value);
  return std::string(kind) + ", " + Count(array.size(), "element", "elements") + " " +
         Elements(array);
}

// Reads like ByteBufferStreamReader and remembers whether the last code byte existed.
class TracingReader : public ByteBufferStreamReader {
 public:
  using ByteBufferStreamReader::ByteBufferStreamReader;
  uint8_t ReadByte() override {
    last_byte_missing_ = position() >= size();
    return ByteBufferStreamReader::ReadByte();
  }
  bool last_byte_missing() const { return last_byte_missing_; }

 private:
  bool last_byte_missing_ = false;
};

struct Node {
  size_t start = 0;
  size_t end = 0;
  int depth = 0;
  uint8_t code = 0;
  bool missing = false;
  std::string text;
};

// Sees every value, nested ones included, through the serializer's virtual slot.
class TracingSerializer : public flutter::StandardCodecSerializer {
 public:
  TracingSerializer(TracingReader* reader, std::vector<Node>* nodes)
      : reader_(reader), nodes_(nodes) {}

  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    Node node;
    node.missing = reader_->last_byte_missing();
    node.start = node.missing ? reader_->position() : reader_->position() - 1;
    node.depth = depth_;
    node.code = type;
    const size_t index = nodes_->size();
    nodes_->push_back(node);
    ++depth_;
    EncodableValue value = StandardCodecSerializer::ReadValueOfType(type, stream);
    --depth_;
    Node& done = (*nodes_)[index];
    done.end = reader_->position();
    done.text = Describe(type, value, done.missing);
    return value;
  }

 private:
  static std::string Describe(uint8_t type, const EncodableValue& value, bool missing) {
    if (missing) return "null (the message ended: no type code)";
    const auto code = static_cast<StandardCodecType>(type);
    if (code > StandardCodecType::kFloat32List) {
      return "unknown type code " + std::to_string(type) + ", read as null";
    }
    // Only sized values can be refused; the others are never read as null unless they are null.
    if (code > StandardCodecType::kInt64 && code != StandardCodecType::kFloat64 && value.IsNull()) {
      return "refused (see the diagnostic), read as null";
    }
    std::string text = Summary(value);
    if (code == StandardCodecType::kLargeInt) text += " (type code 5)";
    return text;
  }

  TracingReader* reader_;
  std::vector<Node>* nodes_;
  mutable int depth_ = 0;
};

std::string BytesColumn(const std::vector<uint8_t>& bytes, size_t start, size_t end) {
  std::string text;
  const size_t available_end = std::min(end, bytes.size());
  char piece[4];
  for (size_t i = start; i < available_end && i < start + kBytesShown; ++i) {
    std::snprintf(piece, sizeof piece, "%02x ", bytes[i]);
    text += piece;
  }
  if (available_end > start + kBytesShown) text += "... ";
  if (end > bytes.size() && start < end) text += "(past the end) ";
  return text;
}

void Render(const std::vector<uint8_t>& bytes, const std::vector<Node>& nodes, std::ostream& out) {
  for (size_t i = 0; i < nodes.size(); ++i) {
    const Node& node = nodes[i];
    // A container's own bytes are its header: up to where its first element starts.
    size_t end = node.end;
    if (i + 1 < nodes.size() && nodes[i + 1].depth > node.depth) end = nodes[i + 1].start;
    // Indentation stops growing after a while so that deep values stay readable.
    const size_t indent = static_cast<size_t>(2 * std::min(node.depth, kIndentLevels));
    std::string column(indent, ' ');
    if (node.depth > kIndentLevels) column += "[depth " + std::to_string(node.depth) + "] ";
    column += node.missing ? "-- " : BytesColumn(bytes, node.start, end);
    char offset[24];
    std::snprintf(offset, sizeof offset, "%6zu  ", node.start);
    out << offset << column;
    for (size_t pad = column.size(); pad < 40; ++pad) out << ' ';
    out << ' ' << std::string(indent, ' ') << node.text << "\n";
  }
}

void Tail(const TracingReader& reader, std::ostream& out) {
  out << "read " << std::min(reader.position(), reader.size()) << " of " << reader.size()
      << " bytes";
  if (reader.position() < reader.size()) {
    out << "; " << reader.size() - reader.position() << " not read";
  } else if (reader.position() > reader.size()) {
    out << "; alignment ran past the end";
  }
  out << "\n";
}

}  // namespace

std::string Quoted(const std::string& bytes, size_t limit) {
  std::string text = "\"";
  char piece[8];
  for (size_t i = 0; i < bytes.size() && i < limit; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '"' || c == '\\') {
      text += '\\';
      text += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      std::snprintf(piece, sizeof piece, "\\x%02x", c);
      text += piece;
    }
  }
  text += bytes.size() > limit ? "\"..." : "\"";
  return text;
}

std::string Summary(const EncodableValue& value) {
  using Value = EncodableValue;
  switch (value.alternative()) {
    case Value::kNullIndex: return "null";
    case Value::kBoolIndex: return std::get<bool>(value) ? "true" : "false";
    case Value::kInt32Index: return "int32 " + std::to_string(std::get<int32_t>(value));
    case Value::kInt64Index: return "int64 " + std::to_string(std::get<int64_t>(value));
    case Value::kDoubleIndex: return "float64 " + Number(std::get<double>(value));
    case Value::kStringIndex: {
      const auto& text = std::get<std::string>(value);
      return "string " + Quoted(text) + " (" + Count(text.size(), "byte", "bytes") + ")";
    }
    case Value::kUInt8ListIndex: {
      const auto& bytes = std::get<std::vector<uint8_t>>(value);
      return "uint8s, " + Count(bytes.size(), "byte", "bytes") + " " + Elements(bytes);
    }
    case Value::kInt32ListIndex: return ArraySummary<int32_t>("int32s", value);
    case Value::kInt64ListIndex: return ArraySummary<int64_t>("int64s", value);
    case Value::kDoubleListIndex: return ArraySummary<double>("float64s", value);
    case Value::kFloatListIndex: return ArraySummary<float>("float32s", value);
    case Value::kListIndex:
      return "list, " + Count(std::get<EncodableList>(value).size(), "element", "elements");
    case Value::kMapIndex:
      return "map, " + Count(std::get<EncodableMap>(value).size(), "entry", "entries");
    case Value::kCustomIndex: return "custom value";
  }
  return "?";
}

std::string TraceMessage(const std::vector<uint8_t>& bytes, MessageKind kind) {
  // The caller has already decoded for real, diagnostics included; this second pass only
  // renders, so its diagnostics would be repeats.
  std::streambuf* saved = std::cerr.rdbuf(nullptr);
  std::ostringstream out;
  TracingReader reader(bytes.data(), bytes.size());
  std::vector<Node> nodes;
  TracingSerializer serializer(&reader, &nodes);
  out << "offset  bytes                                    value\n";
  size_t values = 1;
  if (kind == MessageKind::kCall) {
    values = 2;
  } else if (kind == MessageKind::kReply) {
    const bool missing = bytes.empty();
    const uint8_t flag = reader.ReadByte();
    const std::string meaning = flag == 0   ? "success envelope"
                                : flag == 1 ? "error envelope: code, message, details"
                                            : "unknown envelope flag: not a reply";
    char line[128];
    std::snprintf(line, sizeof line, "%6d  %-40s %s%s\n", 0,
                  missing ? "--" : BytesColumn(bytes, 0, 1).c_str(), meaning.c_str(),
                  missing ? " (the message is empty; reads as 00)" : "");
    out << line;
    values = flag == 0 ? 1 : flag == 1 ? 3 : 0;
  }
  for (size_t i = 0; i < values; ++i) {
    const size_t first = nodes.size();
    const EncodableValue value = serializer.ReadValue(&reader);
    // A call whose name is not a string ends there: nothing more is read.
    if (kind == MessageKind::kCall && i == 0 && !std::holds_alternative<std::string>(value)) {
      nodes[first].text += "  <- not a method name";
      break;
    }
  }
  Render(bytes, nodes, out);
  Tail(reader, out);
  std::cerr.rdbuf(saved);
  return out.str();
}

}  // namespace codec_tool
