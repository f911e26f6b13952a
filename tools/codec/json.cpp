#include "json.h"

#include <cstdint>

namespace codec_tool {

namespace {

// Deep enough for any value a person types; shallow enough that hostile input cannot exhaust
// the stack of the recursive reader (or of the serializer writing the result).
constexpr int kMaxDepth = 512;

class Parser {
 public:
  explicit Parser(const std::string& source) : s_(source) {}

  bool Document(Json* out, std::string* error) {
    SkipSpace();
    if (!Value(out, 0)) {
      *error = error_ + " at offset " + std::to_string(i_);
      return false;
    }
    SkipSpace();
    if (i_ != s_.size()) {
      *error = "unexpected text after the JSON value at offset " + std::to_string(i_);
      return false;
    }
    return true;
  }

 private:
  bool Fail(const std::string& message) {
    if (error_.empty()) error_ = message;
    return false;
  }

  void SkipSpace() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
      ++i_;
  }

  bool Literal(const char* word) {
    size_t n = 0;
    while (word[n]) ++n;
    if (s_.compare(i_, n, word) != 0) return Fail("invalid JSON literal");
    i_ += n;
    return true;
  }

  bool Value(Json* out, int depth) {
    if (depth > kMaxDepth) return Fail("JSON nested too deeply");
    if (i_ >= s_.size()) return Fail("unexpected end of JSON");
    const char c = s_[i_];
    if (c == 'n') {
      out->kind = Json::Kind::kNull;
      return Literal("null");
    }
    if (c == 't') {
      out->kind = Json::Kind::kBool;
      out->boolean = true;
      return Literal("true");
    }
    if (c == 'f') {
      out->kind = Json::Kind::kBool;
      out->boolean = false;
      return Literal("false");
    }
    if (c == '"') {
      out->kind = Json::Kind::kString;
      return String(&out->text);
    }
    if (c == '[') return Array(out, depth);
    if (c == '{') return Object(out, depth);
    if (c == '-' || (c >= '0' && c <= '9')) return Number(out);
    return Fail(std::string("unexpected character '") + c + "' in JSON");
  }

  bool Digits() {
    const size_t start = i_;
    while (i_ < s_.size() && s_[i_] >= '0' && s_[i_] <= '9') ++i_;
    return i_ > start;
  }

  bool Number(Json* out) {
    const size_t start = i_;
    if (s_[i_] == '-') ++i_;
    if (i_ < s_.size() && s_[i_] == '0') {
      ++i_;
    } else if (!Digits()) {
      return Fail("invalid JSON number");
    }
    if (i_ < s_.size() && s_[i_] == '.') {
      ++i_;
      if (!Digits()) return Fail("invalid JSON number");
    }
    if (i_ < s_.size() && (s_[i_] == 'e' || s_[i_] == 'E')) {
      ++i_;
      if (i_ < s_.size() && (s_[i_] == '+' || s_[i_] == '-')) ++i_;
      if (!Digits()) return Fail("invalid JSON number");
    }
    out->kind = Json::Kind::kNumber;
    out->text = s_.substr(start, i_ - start);
    return true;
  }

  static void AppendUtf8(uint32_t code, std::string* out) {
    if (code < 0x80) {
      *out += static_cast<char>(code);
    } else if (code < 0x800) {
      *out += static_cast<char>(0xC0 | (code >> 6));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      *out += static_cast<char>(0xE0 | (code >> 12));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      *out += static_cast<char>(0xF0 | (code >> 18));
      *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
      *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
      *out += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  bool Hex4(uint32_t* code) {
    if (i_ + 4 > s_.size()) return Fail("invalid \\u escape in JSON string");
    uint32_t value = 0;
    for (int k = 0; k < 4; ++k) {
      const char h = s_[i_++];
      value <<= 4;
      if (h >= '0' && h <= '9')
        value |= h - '0';
      else if (h >= 'a' && h <= 'f')
        value |= h - 'a' + 10;
      else if (h >= 'A' && h <= 'F')
        value |= h - 'A' + 10;
      else
        return Fail("invalid \\u escape in JSON string");
    }
    *code = value;
    return true;
  }

  bool String(std::string* out) {
    ++i_;  // opening quote
    while (true) {
      if (i_ >= s_.size()) return Fail("unterminated JSON string");
      const unsigned char c = static_cast<unsigned char>(s_[i_++]);
      if (c == '"') return true;
      if (c < 0x20) return Fail("control character in JSON string");
      if (c != '\\') {
        *out += static_cast<char>(c);
        continue;
      }
      if (i_ >= s_.size()) return Fail("unterminated JSON string");
      const char e = s_[i_++];
      switch (e) {
        case '"': *out += '"'; break;
        case '\\': *out += '\\'; break;
        case '/': *out += '/'; break;
        case 'b': *out += '\b'; break;
        case 'f': *out += '\f'; break;
        case 'n': *out += '\n'; break;
        case 'r': *out += '\r'; break;
        case 't': *out += '\t'; break;
        case 'u': {
          uint32_t code = 0;
          if (!Hex4(&code)) return false;
          if (code >= 0xD800 && code <= 0xDBFF && i_ + 1 < s_.size() && s_[i_] == '\\' &&
              s_[i_ + 1] == 'u') {
            i_ += 2;
            uint32_t low = 0;
            if (!Hex4(&low)) return false;
            if (low < 0xDC00 || low > 0xDFFF) return Fail("invalid surrogate pair in JSON string");
            code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
          }
          AppendUtf8(code, out);
          break;
        }
        default: return Fail("invalid escape in JSON string");
      }
    }
  }

  bool Array(Json* out, int depth) {
    out->kind = Json::Kind::kArray;
    ++i_;
    SkipSpace();
    if (i_ < s_.size() && s_[i_] == ']') {
      ++i_;
      return true;
    }
    while (true) {
      SkipSpace();
      out->items.emplace_back();
      if (!Value(&out->items.back(), depth + 1)) return false;
      SkipSpace();
      if (i_ >= s_.size()) return Fail("unterminated JSON array");
      if (s_[i_] == ',') {
        ++i_;
        continue;
      }
      if (s_[i_] == ']') {
        ++i_;
        return true;
      }
      return Fail("expected ',' or ']' in JSON array");
    }
  }

  bool Object(Json* out, int depth) {
    out->kind = Json::Kind::kObject;
    ++i_;
    SkipSpace();
    if (i_ < s_.size() && s_[i_] == '}') {
      ++i_;
      return true;
    }
    while (true) {
      SkipSpace();
      if (i_ >= s_.size() || s_[i_] != '"') return Fail("expected a string key in JSON object");
      std::string key;
      if (!String(&key)) return false;
      SkipSpace();
      if (i_ >= s_.size() || s_[i_] != ':') return Fail("expected ':' in JSON object");
      ++i_;
      SkipSpace();
      out->member_names.push_back(std::move(key));
      out->member_values.emplace_back();
      if (!Value(&out->member_values.back(), depth + 1)) return false;
      SkipSpace();
      if (i_ >= s_.size()) return Fail("unterminated JSON object");
      if (s_[i_] == ',') {
        ++i_;
        continue;
      }
      if (s_[i_] == '}') {
        ++i_;
        return true;
      }
      return Fail("expected ',' or '}' in JSON object");
    }
  }

  const std::string& s_;
  size_t i_ = 0;
  std::string error_;
};

}  // namespace

bool ParseJson(const std::string& source, Json* out, std::string* error) {
  *out = Json();
  return Parser(source).Document(out, error);
}

}  // namespace codec_tool
