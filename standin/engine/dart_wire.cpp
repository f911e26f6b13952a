#include "standin/engine/dart_wire.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace standin {

void AppendSize(std::vector<uint8_t>& out, size_t size) {
  if (size < 254) {
    out.push_back(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    out.push_back(254);
    out.push_back(static_cast<uint8_t>(size & 0xFF));
    out.push_back(static_cast<uint8_t>(size >> 8));
  } else {
    out.push_back(255);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>((size >> (8 * i)) & 0xFF));
  }
}

void AppendString(std::vector<uint8_t>& out, uint8_t code, std::string_view text) {
  out.push_back(code);
  AppendSize(out, text.size());
  out.insert(out.end(), text.begin(), text.end());
}

std::vector<uint8_t> EncodeCall(std::string_view method, const std::vector<uint8_t>& argument) {
  std::vector<uint8_t> out;
  AppendString(out, 7, method);
  if (argument.empty()) {
    out.push_back(0);
  } else {
    out.insert(out.end(), argument.begin(), argument.end());
  }
  return out;
}

namespace {

template <typename T>
void AppendLittleEndian(std::vector<uint8_t>& out, T value) {
  uint8_t bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));  // the stand-in only runs on little-endian x86-64
  out.insert(out.end(), bytes, bytes + sizeof(T));
}

bool ParseInteger(std::string_view text, long long* value) {
  std::string s(text);
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  *value = std::strtoll(s.c_str(), &end, 0);
  return errno == 0 && end && *end == '\0';
}

}  // namespace

std::optional<std::vector<uint8_t>> EncodeArgument(std::string_view type, std::string_view text,
                                                   size_t value_offset) {
  std::vector<uint8_t> out;
  if (type == "null") {
    out.push_back(0);
  } else if (type == "true") {
    out.push_back(1);
  } else if (type == "false") {
    out.push_back(2);
  } else if (type == "int32") {
    long long v;
    if (!ParseInteger(text, &v) || v < INT32_MIN || v > INT32_MAX) return std::nullopt;
    out.push_back(3);
    AppendLittleEndian<int32_t>(out, static_cast<int32_t>(v));
  } else if (type == "int64") {
    long long v;
    if (!ParseInteger(text, &v)) return std::nullopt;
    out.push_back(4);
    AppendLittleEndian<int64_t>(out, static_cast<int64_t>(v));
  } else if (type == "double") {
    std::string s(text);
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (s.empty() || !end || *end != '\0') return std::nullopt;
    out.push_back(6);
    while ((value_offset + out.size()) % 8 != 0) out.push_back(0);
    AppendLittleEndian<double>(out, v);
  } else if (type == "string") {
    AppendString(out, 7, text);
  } else if (type == "hex") {
    auto bytes = ParseHex(text);
    if (!bytes || bytes->empty()) return std::nullopt;
    out = std::move(*bytes);
  } else {
    return std::nullopt;
  }
  return out;
}

std::optional<std::vector<uint8_t>> ParseHex(std::string_view text) {
  std::vector<uint8_t> out;
  int high = -1;
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') {
      digit = c - '0';
    } else if (c >= 'a' && c <= 'f') {
      digit = c - 'a' + 10;
    } else if (c >= 'A' && c <= 'F') {
      digit = c - 'A' + 10;
    } else if (c == ' ' || c == '\t') {
      if (high >= 0) return std::nullopt;  // a lone nibble
      continue;
    } else {
      return std::nullopt;
    }
    if (high < 0) {
      high = digit;
    } else {
      out.push_back(static_cast<uint8_t>(high * 16 + digit));
      high = -1;
    }
  }
  if (high >= 0) return std::nullopt;
  return out;
}

namespace {

// Reads a string value (codes 5 or 7 carry the same layout) at *pos.
bool ReadString(const uint8_t* data, size_t size, size_t* pos, std::string* out) {
  if (*pos >= size || (data[*pos] != 7 && data[*pos] != 5)) return false;
  ++*pos;
  if (*pos >= size) return false;
  size_t n = data[(*pos)++];
  if (n == 254) {
    if (*pos + 2 > size) return false;
    n = data[*pos] | (data[*pos + 1] << 8);
    *pos += 2;
  } else if (n == 255) {
    if (*pos + 4 > size) return false;
    n = static_cast<size_t>(data[*pos]) | (static_cast<size_t>(data[*pos + 1]) << 8) |
        (static_cast<size_t>(data[*pos + 2]) << 16) | (static_cast<size_t>(data[*pos + 3]) << 24);
    *pos += 4;
  }
  if (n > size - *pos) return false;
  out->assign(reinterpret_cast<const char*>(data + *pos), n);
  *pos += n;
  return true;
}

}  // namespace

std::optional<StringCall> DecodeStringCall(const uint8_t* data, size_t size) {
  if (!data) return std::nullopt;
  size_t pos = 0;
  StringCall call;
  if (!ReadString(data, size, &pos, &call.method)) return std::nullopt;
  std::string argument;
  if (ReadString(data, size, &pos, &argument)) call.argument = std::move(argument);
  return call;
}

}  // namespace standin
