#include "codec/encodable_value.h"

#include <algorithm>
#include <cmath>

namespace flutter {

namespace {

// Element-by-element comparison; when one side runs out, the shorter is less.
template <typename T, typename Less>
bool SequenceLess(const std::vector<T>& a, const std::vector<T>& b, Less less) {
  const size_t common = std::min(a.size(), b.size());
  for (size_t i = 0; i < common; ++i) {
    if (less(a[i], b[i])) return true;
    if (less(b[i], a[i])) return false;
  }
  return a.size() < b.size();
}

bool EntryLess(const EncodableMap::value_type& a, const EncodableMap::value_type& b) {
  if (a.first < b.first) return true;
  if (b.first < a.first) return false;
  return a.second < b.second;
}

bool MapLess(const EncodableMap& a, const EncodableMap& b) {
  auto ia = a.begin();
  auto ib = b.begin();
  for (; ia != a.end() && ib != b.end(); ++ia, ++ib) {
    if (EntryLess(*ia, *ib)) return true;
    if (EntryLess(*ib, *ia)) return false;
  }
  return a.size() < b.size();
}

}  // namespace

bool EncodableDoubleLess(double a, double b) {
  if (std::isnan(b)) return !std::isnan(a);
  if (std::isnan(a)) return false;
  return a < b;
}

bool operator<(const EncodableValue& a, const EncodableValue& b) {
  if (a.index() != b.index()) return a.index() < b.index();
  switch (a.index()) {
    case 0:
      return false;
    case 1:
      return !std::get<1>(a) && std::get<1>(b);
    case 2:
      return std::get<2>(a) < std::get<2>(b);
    case 3:
      return std::get<3>(a) < std::get<3>(b);
    case 4:
      return EncodableDoubleLess(std::get<4>(a), std::get<4>(b));
    case 5:
      // char_traits<char> compares as unsigned char, so 0x80 sorts after 0x7F.
      return std::get<5>(a).compare(std::get<5>(b)) < 0;
    case 6:
      return SequenceLess(std::get<6>(a), std::get<6>(b), std::less<uint8_t>());
    case 7:
      return SequenceLess(std::get<7>(a), std::get<7>(b), std::less<int32_t>());
    case 8:
      return SequenceLess(std::get<8>(a), std::get<8>(b), std::less<int64_t>());
    case 9:
      return SequenceLess(std::get<9>(a), std::get<9>(b), EncodableDoubleLess);
    case 10:
      return SequenceLess(std::get<10>(a), std::get<10>(b),
                          [](const EncodableValue& x, const EncodableValue& y) { return x < y; });
    case 11:
      return MapLess(std::get<11>(a), std::get<11>(b));
    case 12:
      return std::get<12>(a) < std::get<12>(b);
    case 13:
      return SequenceLess(std::get<13>(a), std::get<13>(b),
                          [](float x, float y) { return EncodableDoubleLess(x, y); });
  }
  return false;  // valueless_by_exception on both sides: the same key
}

}  // namespace flutter
