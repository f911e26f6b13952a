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
  if (a.index() != b.index()) return CompareScalar(a.index(), b.index());
  switch (a.index()) {
    case 0: return 0;
    case 1: return CompareScalar(std::get<1>(a), std::get<1>(b));
    case 2: return CompareScalar(std::get<2>(a), std::get<2>(b));
    case 3: return CompareScalar(std::get<3>(a), std::get<3>(b));
    case 4: return CompareDouble(std::get<4>(a), std::get<4>(b));
    case 5: {
      // char_traits<char> compares as unsigned char, so 0x80 sorts after 0x7F.
      const int result = std::get<5>(a).compare(std::get<5>(b));
      return result < 0 ? -1 : (result > 0 ? 1 : 0);
    }
    case 6: return CompareSequence(std::get<6>(a), std::get<6>(b), CompareScalar<uint8_t>);
    case 7: return CompareSequence(std::get<7>(a), std::get<7>(b), CompareScalar<int32_t>);
    case 8: return CompareSequence(std::get<8>(a), std::get<8>(b), CompareScalar<int64_t>);
    case 9: return CompareSequence(std::get<9>(a), std::get<9>(b), CompareDouble);
    case 10:
      return CompareSequence(
          std::get<10>(a), std::get<10>(b),
          [](const EncodableValue& x, const EncodableValue& y) { return Compare(x, y); });
    case 11: return CompareMap(std::get<11>(a), std::get<11>(b));
    case 12: {
      const auto& x = std::get<12>(a);
      const auto& y = std::get<12>(b);
      return x < y ? -1 : (y < x ? 1 : 0);
    }
    case 13:
      return CompareSequence(std::get<13>(a), std::get<13>(b),
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
