#include "value_json.h"

#include <charconv>
#include <cstring>
#include <type_traits>

namespace codec_tool {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

int Nibble(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

template <typename Int>
bool ParseInteger(const Json& json, const char* kind, Int* out, std::string* error) {
  if (json.kind != Json::Kind::kNumber) {
    *error = std::string(kind) + " needs an integer";
    return false;
  }
  const char* begin = json.text.data();
  const char* end = begin + json.text.size();
  const auto [ptr, ec] = std::from_chars(begin, end, *out);
  if (ec != std::errc() || ptr != end) {
    *error = std::string(kind) + " value " + json.text + " is not an integer in range";
    return false;
  }
  return true;
}

// "<digits>" of exactly sizeof(Bits) * 2 hex digits (whitespace ignored) -> the bit pattern.
template <typename Bits>
bool ParseBits(const Json& json, const char* kind, Bits* out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (json.kind != Json::Kind::kString || !ParseHex(json.text, &bytes, error) ||
      bytes.size() != sizeof(Bits)) {
    *error = std::string(kind) + " needs a string of " + std::to_string(sizeof(Bits) * 2) +
             " hex digits";
    return false;
  }
  Bits bits = 0;
  for (uint8_t byte : bytes) bits = static_cast<Bits>((bits << 8) | byte);
  *out = bits;
  return true;
}

template <typename T, typename Parse>
bool ParseArray(const Json& json, const char* kind, std::vector<T>* out, std::string* error,
                Parse parse) {
  if (json.kind != Json::Kind::kArray) {
    *error = std::string(kind) + " needs an array";
    return false;
  }
  out->reserve(json.items.size());
  for (const Json& item : json.items) {
    T element{};
    if (!parse(item, &element)) return false;
    out->push_back(element);
  }
  return true;
}

template <typename Bits>
std::string BitsHex(Bits bits) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(sizeof(Bits) * 2, '0');
  for (size_t i = 0; i < text.size(); ++i) {
    text[text.size() - 1 - i] = kDigits[bits & 0xF];
    bits = static_cast<Bits>(bits >> 4);
  }
  return text;
}

std::string DoubleHex(double value) {
  uint64_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return BitsHex(bits);
}

std::string FloatHex(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return BitsHex(bits);
}

template <typename T, typename Render>
void AppendArray(const std::vector<T>& array, std::string* out, Render render) {
  *out += '[';
  for (size_t i = 0; i < array.size(); ++i) {
    if (i) *out += ", ";
    render(array[i], out);
  }
  *out += ']';
}

void AppendValue(const EncodableValue& value, std::string* out) {
  switch (value.index()) {
    case EncodableValue::kNullIndex: *out += "null"; return;
    case EncodableValue::kBoolIndex: *out += std::get<bool>(value) ? "true" : "false"; return;
    case EncodableValue::kInt32Index:
      *out += "{\"int32\": " + std::to_string(std::get<int32_t>(value)) + "}";
      return;
    case EncodableValue::kInt64Index:
      *out += "{\"int64\": " + std::to_string(std::get<int64_t>(value)) + "}";
      return;
    case EncodableValue::kDoubleIndex:
      *out += "{\"float64\": \"" + DoubleHex(std::get<double>(value)) + "\"}";
      return;
    case EncodableValue::kStringIndex:
      *out += "{\"string\": \"" + HexOf(std::get<std::string>(value)) + "\"}";
      return;
    case EncodableValue::kUInt8ListIndex: {
      const auto& bytes = std::get<std::vector<uint8_t>>(value);
      *out += "{\"uint8s\": \"" + HexOf(bytes.data(), bytes.size()) + "\"}";
      return;
    }
    case EncodableValue::kInt32ListIndex:
      *out += "{\"int32s\": ";
      AppendArray(std::get<std::vector<int32_t>>(value), out,
                  [](int32_t v, std::string* o) { *o += std::to_string(v); });
      *out += '}';
      return;
    case EncodableValue::kInt64ListIndex:
      *out += "{\"int64s\": ";
      AppendArray(std::get<std::vector<int64_t>>(value), out,
                  [](int64_t v, std::string* o) { *o += std::to_string(v); });
      *out += '}';
      return;
    case EncodableValue::kDoubleListIndex:
      *out += "{\"float64s\": ";
      AppendArray(std::get<std::vector<double>>(value), out,
                  [](double v, std::string* o) { *o += '"' + DoubleHex(v) + '"'; });
      *out += '}';
      return;
    case EncodableValue::kListIndex:
      *out += "{\"list\": ";
      AppendArray(std::get<EncodableList>(value), out,
                  [](const EncodableValue& v, std::string* o) { AppendValue(v, o); });
      *out += '}';
      return;
    case EncodableValue::kMapIndex: {
      *out += "{\"map\": [";
      bool first = true;
      for (const auto& [key, entry] : std::get<EncodableMap>(value)) {
        if (!first) *out += ", ";
        first = false;
        *out += '[';
        AppendValue(key, out);
        *out += ", ";
        AppendValue(entry, out);
        *out += ']';
      }
      *out += "]}";
      return;
    }
    case EncodableValue::kFloatListIndex:
      *out += "{\"float32s\": ";
      AppendArray(std::get<std::vector<float>>(value), out,
                  [](float v, std::string* o) { *o += '"' + FloatHex(v) + '"'; });
      *out += '}';
      return;
    default:
      // A custom value has no wire form of its own; the serializer writes it as null too.
      *out += "null";
      return;
  }
}

}  // namespace

bool ParseHex(const std::string& text, std::vector<uint8_t>* out, std::string* error) {
  out->clear();
  out->reserve(text.size() / 2);
  int high = -1;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (IsSpace(c)) continue;
    const int nibble = Nibble(c);
    if (nibble < 0) {
      *error = "invalid hex digit '" + std::string(1, c) + "' at offset " + std::to_string(i);
      return false;
    }
    if (high < 0) {
      high = nibble;
    } else {
      out->push_back(static_cast<uint8_t>(high << 4 | nibble));
      high = -1;
    }
  }
  if (high >= 0) {
    *error = "odd number of hex digits";
    return false;
  }
  return true;
}

std::string HexOf(const uint8_t* data, size_t size) {
  static const char kDigits[] = "0123456789abcdef";
  std::string text(size * 2, '0');
  for (size_t i = 0; i < size; ++i) {
    text[2 * i] = kDigits[data[i] >> 4];
    text[2 * i + 1] = kDigits[data[i] & 0xF];
  }
  return text;
}

bool ValueFromJson(const Json& json, EncodableValue* out, std::string* error) {
  switch (json.kind) {
    case Json::Kind::kNull: *out = EncodableValue(); return true;
    case Json::Kind::kBool: *out = EncodableValue(json.boolean); return true;
    case Json::Kind::kObject: break;
    default:
      *error = "a value is null, true, false or a one-member object such as {\"int32\": 1}";
      return false;
  }
  if (json.member_values.size() != 1) {
    *error = "a value object needs exactly one member";
    return false;
  }
  const std::string& kind = json.member_names[0];
  const Json& body = json.member_values[0];
  if (kind == "int32") {
    int32_t number;
    if (!ParseInteger(body, "int32", &number, error)) return false;
    *out = EncodableValue(number);
  } else if (kind == "int64") {
    int64_t number;
    if (!ParseInteger(body, "int64", &number, error)) return false;
    *out = EncodableValue(number);
  } else if (kind == "float64") {
    uint64_t bits;
    if (!ParseBits(body, "float64", &bits, error)) return false;
    double number;
    std::memcpy(&number, &bits, sizeof number);
    *out = EncodableValue(number);
  } else if (kind == "string" || kind == "uint8s") {
    std::vector<uint8_t> bytes;
    if (body.kind != Json::Kind::kString) {
      *error = kind + " needs a hex string";
      return false;
    }
    if (!ParseHex(body.text, &bytes, error)) {
      *error = kind + ": " + *error;
      return false;
    }
    if (kind == "string") {
      *out = EncodableValue(std::string(bytes.begin(), bytes.end()));
    } else {
      *out = EncodableValue(std::move(bytes));
    }
  } else if (kind == "int32s") {
    std::vector<int32_t> array;
    if (!ParseArray(body, "int32s", &array, error, [&](const Json& j, int32_t* v) {
          return ParseInteger(j, "int32s element", v, error);
        }))
      return false;
    *out = EncodableValue(std::move(array));
  } else if (kind == "int64s") {
    std::vector<int64_t> array;
    if (!ParseArray(body, "int64s", &array, error, [&](const Json& j, int64_t* v) {
          return ParseInteger(j, "int64s element", v, error);
        }))
      return false;
    *out = EncodableValue(std::move(array));
  } else if (kind == "float64s") {
    std::vector<double> array;
    if (!ParseArray(body, "float64s", &array, error, [&](const Json& j, double* v) {
          uint64_t bits;
          if (!ParseBits(j, "float64s element", &bits, error)) return false;
          std::memcpy(v, &bits, sizeof bits);
          return true;
        }))
      return false;
    *out = EncodableValue(std::move(array));
  } else if (kind == "float32s") {
    std::vector<float> array;
    if (!ParseArray(body, "float32s", &array, error, [&](const Json& j, float* v) {
          uint32_t bits;
          if (!ParseBits(j, "float32s element", &bits, error)) return false;
          std::memcpy(v, &bits, sizeof bits);
          return true;
        }))
      return false;
    *out = EncodableValue(std::move(array));
  } else if (kind == "list") {
    if (body.kind != Json::Kind::kArray) {
      *error = "list needs an array";
      return false;
    }
    EncodableList list(body.items.size());
    for (size_t i = 0; i < body.items.size(); ++i) {
      if (!ValueFromJson(body.items[i], &list[i], error)) return false;
    }
    *out = EncodableValue(std::move(list));
  } else if (kind == "map") {
    if (body.kind != Json::Kind::kArray) {
      *error = "map needs an array of [key, value] pairs";
      return false;
    }
    EncodableMap map;
    for (const Json& entry : body.items) {
      if (entry.kind != Json::Kind::kArray || entry.items.size() != 2) {
        *error = "map entries are [key, value] pairs";
        return false;
      }
      EncodableValue key;
      EncodableValue value;
      if (!ValueFromJson(entry.items[0], &key, error) ||
          !ValueFromJson(entry.items[1], &value, error)) {
        return false;
      }
      map.emplace(std::move(key), std::move(value));  // the first of equal keys wins
    }
    *out = EncodableValue(std::move(map));
  } else {
    *error = "unknown value kind \"" + kind + "\"";
    return false;
  }
  return true;
}

std::string ValueToJson(const EncodableValue& value) {
  std::string out;
  AppendValue(value, &out);
  return out;
}

}  // namespace codec_tool
