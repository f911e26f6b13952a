#include "value_json.h"

#include <cstring>
#include <utility>

namespace codec_tool {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

namespace {

// Deep enough for any value a person types; shallow enough that hostile input cannot exhaust
// the stack of the recursive conversion (or of the serializer writing the result).
constexpr size_t kMaxDepth = 512;

// Builds the document as nlohmann's own parser would, but stops at kMaxDepth (its parsing loop
// does not recurse; everything after it does) and keeps a repeated member name as a member.
class DocumentBuilder : public nlohmann::json_sax<Json> {
 public:
  explicit DocumentBuilder(Json* root) : root_(root) {}

  bool null() override { return Put(nullptr); }
  bool boolean(bool value) override { return Put(value); }
  bool number_integer(number_integer_t value) override { return Put(value); }
  bool number_unsigned(number_unsigned_t value) override { return Put(value); }
  bool number_float(number_float_t value, const string_t& /*text*/) override { return Put(value); }
  bool string(string_t& value) override { return Put(std::move(value)); }
  bool binary(binary_t& /*value*/) override { return false; }  // JSON text has none
  bool start_object(std::size_t /*size*/) override { return Open(Json::object()); }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t /*size*/) override { return Open(Json::array()); }
  bool end_array() override { return Close(); }

  bool key(string_t& name) override {
    Json& object = *open_.back();
    // A repeated name would overwrite its member and leave one: the value form's one-member
    // rule must still see two. Past two members the object is refused whatever they are.
    if (object.size() == 1 && object.contains(name)) name += '\'';
    member_ = &object[name];
    return true;
  }

  bool parse_error(std::size_t /*position*/, const std::string& /*token*/,
                   const nlohmann::detail::exception& failure) override {
    // The message's leading id, such as [json.exception.parse_error.101], tells a person nothing.
    const std::string text = failure.what();
    const size_t id_end = text.find("] ");
    error_ = id_end == std::string::npos ? text : text.substr(id_end + 2);
    return false;
  }

  const std::string& error() const { return error_; }

 private:
  // Containers in open_ never move: their parents take no new element until they close.
  Json* Slot() {
    if (open_.empty()) return root_;
    Json& container = *open_.back();
    if (!container.is_array()) return member_;
    container.push_back(nullptr);
    return &container.back();
  }

  template <typename T>
  bool Put(T&& value) {
    if (open_.size() > kMaxDepth) return TooDeep();
    *Slot() = Json(std::forward<T>(value));
    return true;
  }

  bool Open(Json container) {
    if (open_.size() > kMaxDepth) return TooDeep();
    Json* slot = Slot();
    *slot = std::move(container);
    open_.push_back(slot);
    return true;
  }

  bool Close() {
    open_.pop_back();
    return true;
  }

  bool TooDeep() {
    error_ = "JSON nested too deeply (more than " + std::to_string(kMaxDepth) + " levels)";
    return false;
  }

  Json* root_;
  std::vector<Json*> open_;
  Json* member_ = nullptr;
  std::string error_;
};

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
  if (!json.is_number()) {
    *error = std::string(kind) + " needs an integer";
    return false;
  }
  // Unsigned first: is_number_integer() holds for both kinds of integer.
  const bool in_range = json.is_number_unsigned()  ? std::in_range<Int>(json.get<uint64_t>())
                        : json.is_number_integer() ? std::in_range<Int>(json.get<int64_t>())
                                                   : false;
  if (!in_range) {
    *error = std::string(kind) + " value " + json.dump() + " is not an integer in range";
    return false;
  }
  *out = json.get<Int>();
  return true;
}

// "<digits>" of exactly sizeof(Bits) * 2 hex digits (whitespace ignored) -> the bit pattern.
template <typename Bits>
bool ParseBits(const Json& json, const char* kind, Bits* out, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!json.is_string() || !ParseHex(json.get_ref<const std::string&>(), &bytes, error) ||
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
  if (!json.is_array()) {
    *error = std::string(kind) + " needs an array";
    return false;
  }
  out->reserve(json.size());
  for (const Json& item : json) {
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
  switch (value.alternative()) {
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
    case EncodableValue::kCustomIndex:
      // A custom value has no wire form of its own; the serializer writes it as null too.
      break;
  }
  *out += "null";
}

}  // namespace

bool ParseJson(const std::string& source, Json* out, std::string* error) {
  *out = Json();
  // nlohmann's reader takes a NUL byte for the end of the text, and skips a leading byte order
  // mark: both would let through text that is not one JSON document.
  const size_t nul = source.find('\0');
  if (nul != std::string::npos) {
    *error = "NUL byte in JSON at offset " + std::to_string(nul);
    return false;
  }
  if (source.starts_with("\xEF\xBB\xBF")) {
    *error = "byte order mark before the JSON value at offset 0";
    return false;
  }
  DocumentBuilder builder(out);
  if (!Json::sax_parse(source, &builder)) {
    *out = Json();
    *error = builder.error();
    return false;
  }
  return true;
}

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
  if (json.is_null()) {
    *out = EncodableValue();
    return true;
  }
  if (json.is_boolean()) {
    *out = EncodableValue(json.get<bool>());
    return true;
  }
  if (!json.is_object()) {
    *error = "a value is null, true, false or a one-member object such as {\"int32\": 1}";
    return false;
  }
  if (json.size() != 1) {
    *error = "a value object needs exactly one member";
    return false;
  }
  const std::string& kind = json.begin().key();
  const Json& body = json.begin().value();
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
    if (!body.is_string()) {
      *error = kind + " needs a hex string";
      return false;
    }
    if (!ParseHex(body.get_ref<const std::string&>(), &bytes, error)) {
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
    if (!body.is_array()) {
      *error = "list needs an array";
      return false;
    }
    EncodableList list(body.size());
    for (size_t i = 0; i < body.size(); ++i) {
      if (!ValueFromJson(body[i], &list[i], error)) return false;
    }
    *out = EncodableValue(std::move(list));
  } else if (kind == "map") {
    if (!body.is_array()) {
      *error = "map needs an array of [key, value] pairs";
      return false;
    }
    EncodableMap map;
    for (const Json& entry : body) {
      if (!entry.is_array() || entry.size() != 2) {
        *error = "map entries are [key, value] pairs";
        return false;
      }
      EncodableValue key;
      EncodableValue value;
      if (!ValueFromJson(entry[0], &key, error) || !ValueFromJson(entry[1], &value, error)) {
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
