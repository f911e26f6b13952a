#include "codec/encodable_value.h"

#include <algorithm>
#include <cmath>

namespace flutter {

namespace {

// Every comparison is three-way and recurses once per element: asking "a < b" and then "b < a"
// at each level would double the work per nesting level, and a key nested a hundred levels
// deep (which a message may carry) would never finish comparing.
int Compare(const EncodableValue& a, const EncodableValue& b);

template <typename T>
int CompareScalar(const T& a, const T& b) {
  return a < b ? -1 : (b < a ? 1 : 0);
}

int CompareDouble(double a, double b) {
  const bool a_nan = std::isnan(a);
  const bool b_nan = std::isnan(b);
  if (a_nan || b_nan) return a_nan == b_nan ? 0 : (a_nan ? 1 : -1);
  return CompareScalar(a, b);
}

// Element by element; when one side runs out, the shorter is less.
template <typename T, typename ElementCompare>
int CompareSequence(const std::vector<T>& a, const std::vector<T>& b, ElementCompare compare) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    const int result = compare(a[i], b[i]);
    if (result != 0) return result;
  }
  return CompareScalar(a.size(), b.size());
}

int CompareMap(const EncodableMap& a, const EncodableMap& b) {
  auto ia = a.begin();
  auto ib = b.begin();
  for (; ia != a.end() && ib != b.end(); ++ia, ++ib) {
    int result = Compare(ia->first, ib->first);
    if (result == 0) result = Compare(ia->second, ib->second);
    if (result != 0) return result;
  }
  return CompareScalar(a.size(), b.size());
}

int Compare(const EncodableValue& a, const EncodableValue& b) {
  using Value = EncodableValue;
  if (a.index() != b.index()) return CompareScalar(a.index(), b.index());
  switch (a.alternative()) {
    case Value::kNullIndex: return 0;
    case Value::kBoolIndex:
      return CompareScalar(std::get<Value::kBoolIndex>(a), std::get<Value::kBoolIndex>(b));
    case Value::kInt32Index:
      return CompareScalar(std::get<Value::kInt32Index>(a), std::get<Value::kInt32Index>(b));
    case Value::kInt64Index:
      return CompareScalar(std::get<Value::kInt64Index>(a), std::get<Value::kInt64Index>(b));
    case Value::kDoubleIndex:
      return CompareDouble(std::get<Value::kDoubleIndex>(a), std::get<Value::kDoubleIndex>(b));
    case Value::kStringIndex: {
      // char_traits<char> compares as unsigned char, so 0x80 sorts after 0x7F.
      const int result = std::get<Value::kStringIndex>(a).compare(std::get<Value::kStringIndex>(b));
      return result < 0 ? -1 : (result > 0 ? 1 : 0);
    }
    case Value::kUInt8ListIndex:
      return CompareSequence(std::get<Value::kUInt8ListIndex>(a),
                             std::get<Value::kUInt8ListIndex>(b), CompareScalar<uint8_t>);
    case Value::kInt32ListIndex:
      return CompareSequence(std::get<Value::kInt32ListIndex>(a),
                             std::get<Value::kInt32ListIndex>(b), CompareScalar<int32_t>);
    case Value::kInt64ListIndex:
      return CompareSequence(std::get<Value::kInt64ListIndex>(a),
                             std::get<Value::kInt64ListIndex>(b), CompareScalar<int64_t>);
    case Value::kDoubleListIndex:
      return CompareSequence(std::get<Value::kDoubleListIndex>(a),
                             std::get<Value::kDoubleListIndex>(b), CompareDouble);
    case Value::kListIndex:
      return CompareSequence(std::get<Value::kListIndex>(a), std::get<Value::kListIndex>(b),
                             [](const Value& x, const Value& y) { return Compare(x, y); });
    case Value::kMapIndex:
      return CompareMap(std::get<Value::kMapIndex>(a), std::get<Value::kMapIndex>(b));
    case Value::kCustomIndex: {
      const auto& x = std::get<Value::kCustomIndex>(a);
      const auto& y = std::get<Value::kCustomIndex>(b);
      return x < y ? -1 : (y < x ? 1 : 0);
    }
    case Value::kFloatListIndex:
      return CompareSequence(std::get<Value::kFloatListIndex>(a),
                             std::get<Value::kFloatListIndex>(b),
                             [](float x, float y) { return CompareDouble(x, y); });
  }
  return 0;  // valueless_by_exception on both sides: the same key
}

}  // namespace

bool EncodableDoubleLess(double a, double b) { return CompareDouble(a, b) < 0; }

bool operator<(const EncodableValue& a, const EncodableValue& b) { return Compare(a, b) < 0; }

std::weak_ordering operator<=>(const EncodableValue& a, const EncodableValue& b) {
  const int result = Compare(a, b);
  return result < 0 ? std::weak_ordering::less
                    : (result > 0 ? std::weak_ordering::greater : std::weak_ordering::equivalent);
}

}  // namespace flutter
