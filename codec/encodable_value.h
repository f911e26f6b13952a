// EncodableValue: the one value type carried by platform channels.
//
// A tagged union of fourteen alternatives. The order below compares their indices first, so they
// stay in exactly this order (the float array is last, after the custom value).
//
// Order (operator<): lower alternative index first; within an alternative:
//   - bool: false < true; integers: signed; strings and byte arrays: bytewise, unsigned, then
//     shorter first; typed arrays, lists: element by element, then shorter first;
//   - maps: entries pairwise in each map's own order (key, then value), then fewer entries first;
//   - custom values: by the address of the CustomEncodableValue object.
//   - doubles (alone or inside double/float arrays): IEEE less-than, except that every NaN is one
//     key that sorts after every other double. Plain IEEE less-than leaves NaN unordered, which
//     breaks std::map's strict weak order and lets a hostile message corrupt a map; 0.0 and -0.0
//     remain one key.
// Two values are "the same key" when neither is less than the other; operator== is exactly that
// equivalence (so NaN == NaN here, and 0.0 == -0.0).
//
// Typed access: std::get / std::holds_alternative / index() of the std::variant base, by type or
// by EncodableValue::Alternative; asking for one not held throws std::bad_variant_access.
#ifndef ORVALEN_CODEC_ENCODABLE_VALUE_H_
#define ORVALEN_CODEC_ENCODABLE_VALUE_H_

#include <any>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

namespace flutter {

class EncodableValue;

using EncodableList = std::vector<EncodableValue>;
using EncodableMap = std::map<EncodableValue, EncodableValue>;

// An object of any copyable type, type-erased. The standard serializer writes it as null (with a
// line); a derived serializer can recognise its own types through type() and std::any_cast.
class CustomEncodableValue {
 public:
  template <typename T>
  explicit CustomEncodableValue(T value) : value_(std::move(value)) {}

  CustomEncodableValue(const CustomEncodableValue&) = default;
  CustomEncodableValue(CustomEncodableValue&&) = default;
  CustomEncodableValue& operator=(const CustomEncodableValue&) = default;
  CustomEncodableValue& operator=(CustomEncodableValue&&) = default;
  ~CustomEncodableValue() = default;

  const std::any& value() const { return value_; }
  const std::type_info& type() const { return value_.type(); }

  // Identity order: a custom value is the same key only as itself.
  friend bool operator<(const CustomEncodableValue& a, const CustomEncodableValue& b) {
    return std::less<const CustomEncodableValue*>()(&a, &b);
  }
  friend bool operator==(const CustomEncodableValue& a, const CustomEncodableValue& b) {
    return &a == &b;
  }

 private:
  std::any value_;
};

namespace internal {
using EncodableValueVariant = std::variant<std::monostate,        // 0  null
                                           bool,                  // 1
                                           int32_t,               // 2
                                           int64_t,               // 3
                                           double,                // 4
                                           std::string,           // 5
                                           std::vector<uint8_t>,  // 6
                                           std::vector<int32_t>,  // 7
                                           std::vector<int64_t>,  // 8
                                           std::vector<double>,   // 9
                                           EncodableList,         // 10
                                           EncodableMap,          // 11
                                           CustomEncodableValue,  // 12
                                           std::vector<float>>;   // 13
}  // namespace internal

class EncodableValue : public internal::EncodableValueVariant {
 public:
  using super = internal::EncodableValueVariant;
  using super::super;
  using super::operator=;

  // The alternatives by position: what index() returns and std::get<> takes. The order is part
  // of the wire contract and of the value order (see above), so it never changes.
  enum Alternative : size_t {
    kNullIndex = 0,
    kBoolIndex = 1,
    kInt32Index = 2,
    kInt64Index = 3,
    kDoubleIndex = 4,
    kStringIndex = 5,
    kUInt8ListIndex = 6,
    kInt32ListIndex = 7,
    kInt64ListIndex = 8,
    kDoubleListIndex = 9,
    kListIndex = 10,
    kMapIndex = 11,
    kCustomIndex = 12,
    kFloatListIndex = 13,
  };

  // The alternative held, for switches: switching over this rather than index() lets the
  // compiler name every switch that misses an alternative (-Wswitch, an error in this build; cl's
  // C4062). Such a switch has no default; what a valueless variant does follows it.
  Alternative alternative() const { return static_cast<Alternative>(index()); }

  EncodableValue() = default;
  // Without this a string literal would convert to bool.
  explicit EncodableValue(const char* string) : super(std::string(string)) {}
  EncodableValue& operator=(const char* string) {
    super::operator=(std::string(string));
    return *this;
  }

  EncodableValue(const EncodableValue&) = default;
  EncodableValue(EncodableValue&&) = default;
  EncodableValue& operator=(const EncodableValue&) = default;
  EncodableValue& operator=(EncodableValue&&) = default;
  ~EncodableValue() = default;

  bool IsNull() const { return std::holds_alternative<std::monostate>(*this); }

  friend bool operator<(const EncodableValue& a, const EncodableValue& b);
  // The same order as a three-way comparison. Declaring it also matters to C++20 overload
  // resolution: without a non-template <=> of our own, GCC checks std::variant's constrained
  // <=> for every `a < b`, whose constraint recurses through std::vector<EncodableValue> into
  // itself and fails to compile.
  friend std::weak_ordering operator<=>(const EncodableValue& a, const EncodableValue& b);
  friend bool operator==(const EncodableValue& a, const EncodableValue& b) {
    return (a <=> b) == 0;
  }
};

namespace internal {
template <size_t index, typename T>
constexpr bool kHeldAt =
    std::is_same_v<std::variant_alternative_t<index, EncodableValueVariant>, T>;
}  // namespace internal

static_assert(internal::kHeldAt<EncodableValue::kNullIndex, std::monostate> &&
                  internal::kHeldAt<EncodableValue::kBoolIndex, bool> &&
                  internal::kHeldAt<EncodableValue::kInt32Index, int32_t> &&
                  internal::kHeldAt<EncodableValue::kInt64Index, int64_t> &&
                  internal::kHeldAt<EncodableValue::kDoubleIndex, double> &&
                  internal::kHeldAt<EncodableValue::kStringIndex, std::string> &&
                  internal::kHeldAt<EncodableValue::kUInt8ListIndex, std::vector<uint8_t>> &&
                  internal::kHeldAt<EncodableValue::kInt32ListIndex, std::vector<int32_t>> &&
                  internal::kHeldAt<EncodableValue::kInt64ListIndex, std::vector<int64_t>> &&
                  internal::kHeldAt<EncodableValue::kDoubleListIndex, std::vector<double>> &&
                  internal::kHeldAt<EncodableValue::kListIndex, EncodableList> &&
                  internal::kHeldAt<EncodableValue::kMapIndex, EncodableMap> &&
                  internal::kHeldAt<EncodableValue::kCustomIndex, CustomEncodableValue> &&
                  internal::kHeldAt<EncodableValue::kFloatListIndex, std::vector<float>> &&
                  std::variant_size_v<internal::EncodableValueVariant> == 14,
              "EncodableValue's alternative positions are fixed by the wire format");

// The order used for doubles wherever they appear in a key (see the header comment).
bool EncodableDoubleLess(double a, double b);

}  // namespace flutter

#endif  // ORVALEN_CODEC_ENCODABLE_VALUE_H_
