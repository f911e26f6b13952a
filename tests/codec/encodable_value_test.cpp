// The value model: alternative positions, the total order used by maps, deep copies.
#include "codec/encodable_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "codec_test_support.h"

namespace flutter {
namespace {

using codec_test::Describe;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(EncodableValueTest, AlternativesSitAtTheirWirePositions) {
  struct Case {
    EncodableValue value;
    size_t index;
  };
  const std::vector<Case> cases = {
      {EncodableValue(), 0},
      {EncodableValue(true), 1},
      {EncodableValue(int32_t{1}), 2},
      {EncodableValue(int64_t{1}), 3},
      {EncodableValue(1.0), 4},
      {EncodableValue("text"), 5},
      {EncodableValue(std::vector<uint8_t>{1}), 6},
      {EncodableValue(std::vector<int32_t>{1}), 7},
      {EncodableValue(std::vector<int64_t>{1}), 8},
      {EncodableValue(std::vector<double>{1}), 9},
      {EncodableValue(EncodableList{}), 10},
      {EncodableValue(EncodableMap{}), 11},
      {EncodableValue(CustomEncodableValue(42)), 12},
      {EncodableValue(std::vector<float>{1}), 13},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Describe(c.value));
    EXPECT_EQ(c.value.index(), c.index);
  }
  // A string literal must not decay to bool.
  EXPECT_TRUE(std::holds_alternative<std::string>(EncodableValue("x")));
}

TEST(EncodableValueTest, WrongTypedAccessThrowsBadVariantAccess) {
  EncodableValue value(int32_t{5});
  EXPECT_THROW(std::get<int64_t>(value), std::bad_variant_access);
  EXPECT_THROW(std::get<std::string>(value), std::bad_variant_access);
  EXPECT_EQ(std::get<int32_t>(value), 5);
}

// Each row must sort strictly before the next one, and never after any earlier one.
TEST(EncodableValueTest, OrderIsStrictAlongSortedSequences) {
  const std::vector<std::vector<EncodableValue>> sequences = {
      // kinds by position, whatever the contents
      {EncodableValue(), EncodableValue(false), EncodableValue(true), EncodableValue(int32_t{0}),
       EncodableValue(int64_t{0}), EncodableValue(0.5), EncodableValue("a")},
      {EncodableValue(int32_t{5}), EncodableValue(int64_t{3})},
      {EncodableValue(int32_t{-7}), EncodableValue(int32_t{-1}), EncodableValue(int32_t{0}),
       EncodableValue(int32_t{9})},
      {EncodableValue(int64_t{std::numeric_limits<int64_t>::min()}), EncodableValue(int64_t{-1}),
       EncodableValue(int64_t{std::numeric_limits<int64_t>::max()})},
      {EncodableValue(-kInf), EncodableValue(-1.5), EncodableValue(0.0), EncodableValue(2.0),
       EncodableValue(kInf), EncodableValue(kNaN)},
      {EncodableValue(""), EncodableValue("ab"), EncodableValue("abc"), EncodableValue("b"),
       EncodableValue(std::string("\x7f")), EncodableValue(std::string("\x80"))},
      {EncodableValue(std::vector<uint8_t>{}), EncodableValue(std::vector<uint8_t>{0x7f}),
       EncodableValue(std::vector<uint8_t>{0x80})},
      {EncodableValue(std::vector<int32_t>{-1}), EncodableValue(std::vector<int32_t>{0}),
       EncodableValue(std::vector<int32_t>{1, 2}), EncodableValue(std::vector<int32_t>{1, 2, 0})},
      {EncodableValue(std::vector<int64_t>{}), EncodableValue(std::vector<int64_t>{-5}),
       EncodableValue(std::vector<int64_t>{-5, 0})},
      {EncodableValue(std::vector<double>{}), EncodableValue(std::vector<double>{1.0}),
       EncodableValue(std::vector<double>{1.0, kNaN}), EncodableValue(std::vector<double>{kNaN})},
      {EncodableValue(std::vector<float>{}), EncodableValue(std::vector<float>{-1.0f}),
       EncodableValue(std::vector<float>{std::nanf("")})},
      {EncodableValue(EncodableList{}), EncodableValue(EncodableList{EncodableValue()}),
       EncodableValue(EncodableList{EncodableValue(int32_t{1}), EncodableValue("b")}),
       EncodableValue(EncodableList{EncodableValue(int32_t{2}), EncodableValue("a")})},
      {EncodableValue(EncodableMap{}),
       EncodableValue(EncodableMap{{EncodableValue(int32_t{1}), EncodableValue("a")}}),
       EncodableValue(EncodableMap{{EncodableValue(int32_t{1}), EncodableValue("b")}}),
       EncodableValue(EncodableMap{{EncodableValue(int32_t{2}), EncodableValue("a")}})},
  };
  for (const auto& sequence : sequences) {
    for (size_t i = 0; i < sequence.size(); ++i) {
      for (size_t j = 0; j < sequence.size(); ++j) {
        SCOPED_TRACE(Describe(sequence[i]) + " vs " + Describe(sequence[j]));
        EXPECT_EQ(sequence[i] < sequence[j], i < j);
      }
    }
  }
}

TEST(EncodableValueTest, SameKeyPairs) {
  const std::vector<std::pair<EncodableValue, EncodableValue>> same = {
      {EncodableValue(), EncodableValue()},
      {EncodableValue(0.0), EncodableValue(-0.0)},
      {EncodableValue(kNaN), EncodableValue(-kNaN)},
      {EncodableValue(std::vector<int32_t>{}), EncodableValue(std::vector<int32_t>{})},
      {EncodableValue(std::vector<double>{0.0, kNaN}),
       EncodableValue(std::vector<double>{-0.0, kNaN})},
      {EncodableValue(EncodableList{EncodableValue(kNaN)}),
       EncodableValue(EncodableList{EncodableValue(kNaN)})},
  };
  for (const auto& [a, b] : same) {
    SCOPED_TRACE(Describe(a) + " vs " + Describe(b));
    EXPECT_FALSE(a < b);
    EXPECT_FALSE(b < a);
    EXPECT_TRUE(a == b);
  }
  // Same number, different widths: two keys.
  EXPECT_TRUE(EncodableValue(int32_t{1}) < EncodableValue(int64_t{1}));
  EXPECT_FALSE(EncodableValue(int32_t{1}) == EncodableValue(int64_t{1}));
}

TEST(EncodableValueTest, ZeroAndNegativeZeroAreOneMapKey) {
  EncodableMap map;
  map.emplace(EncodableValue(0.0), EncodableValue("first"));
  map.emplace(EncodableValue(-0.0), EncodableValue("second"));
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(std::get<std::string>(map.begin()->second), "first");
}

TEST(EncodableValueTest, NaNKeysFormOneKeyAfterAllOtherDoubles) {
  EncodableMap map;
  const std::vector<double> keys = {kNaN, 3.0, -kNaN, kInf, -1.0, std::nan("7"), 0.0, -kInf};
  for (double key : keys) map.emplace(EncodableValue(key), EncodableValue(key));
  ASSERT_EQ(map.size(), 6u);  // five ordinary doubles and one NaN
  std::vector<double> order;
  for (const auto& entry : map) order.push_back(std::get<double>(entry.first));
  EXPECT_EQ(order[0], -kInf);
  EXPECT_EQ(order[1], -1.0);
  EXPECT_EQ(order[2], 0.0);
  EXPECT_EQ(order[3], 3.0);
  EXPECT_EQ(order[4], kInf);
  EXPECT_TRUE(std::isnan(order[5]));
  // Every inserted key can be found again: the tree is consistent.
  for (double key : keys) {
    SCOPED_TRACE(key);
    EXPECT_NE(map.find(EncodableValue(key)), map.end());
  }
}

TEST(EncodableValueTest, ArraysHoldingNaNAreConsistentKeys) {
  EncodableMap map;
  for (int round = 0; round < 2; ++round) {
    map.emplace(EncodableValue(std::vector<double>{kNaN, 1.0}), EncodableValue(1));
    map.emplace(EncodableValue(std::vector<double>{kNaN, 2.0}), EncodableValue(2));
    map.emplace(EncodableValue(std::vector<double>{1.0, kNaN}), EncodableValue(3));
    map.emplace(EncodableValue(EncodableList{EncodableValue(kNaN)}), EncodableValue(4));
    map.emplace(EncodableValue(std::vector<float>{std::nanf(""), 1.0f}), EncodableValue(5));
  }
  EXPECT_EQ(map.size(), 5u);
  for (auto a = map.begin(); a != map.end(); ++a) {
    auto b = std::next(a);
    if (b != map.end()) {
      EXPECT_TRUE(a->first < b->first);
      EXPECT_FALSE(b->first < a->first);
    }
  }
}

TEST(EncodableValueTest, CustomValuesAreTheSameKeyOnlyAsThemselves) {
  EncodableValue a(CustomEncodableValue(std::string("payload")));
  EncodableValue b(CustomEncodableValue(std::string("payload")));
  EXPECT_FALSE(a < a);
  EXPECT_NE(a < b, b < a);
  const auto& custom = std::get<CustomEncodableValue>(a);
  EXPECT_EQ(custom.type(), typeid(std::string));
  EXPECT_EQ(std::any_cast<std::string>(custom.value()), "payload");
  // A custom value sorts after a map and before a float array.
  EXPECT_TRUE(EncodableValue(EncodableMap{}) < a);
  EXPECT_TRUE(a < EncodableValue(std::vector<float>{}));
}

// Comparing must take time linear in the values, also for deeply nested keys: a comparison
// that asked "a < b" and then "b < a" at every level would double per level.
TEST(EncodableValueTest, ComparingDeeplyNestedValuesIsLinear) {
  auto nest = [](int depth, bool as_map) {
    EncodableValue value(int32_t{1});
    for (int i = 0; i < depth; ++i) {
      if (as_map) {
        value = EncodableValue(EncodableMap{{value, EncodableValue()}});
      } else {
        value = EncodableValue(EncodableList{value});
      }
    }
    return value;
  };
  for (bool as_map : {false, true}) {
    SCOPED_TRACE(as_map ? "maps" : "lists");
    const EncodableValue a = nest(200, as_map);
    const EncodableValue b = nest(200, as_map);
    EXPECT_FALSE(a < b);
    EXPECT_TRUE(a == b);
    EncodableMap keys;
    keys.emplace(a, EncodableValue(1));
    keys.emplace(b, EncodableValue(2));
    EXPECT_EQ(keys.size(), 1u);
  }
}

TEST(EncodableValueTest, CopiesAreDeep) {
  EncodableMap source;
  source[EncodableValue("list")] = EncodableValue(EncodableList{EncodableValue(int32_t{1})});
  EncodableValue original(source);
  EncodableValue copy = original;
  std::get<EncodableList>(std::get<EncodableMap>(copy)[EncodableValue("list")])
      .push_back(EncodableValue("added"));
  const auto& original_list =
      std::get<EncodableList>(std::get<EncodableMap>(original).at(EncodableValue("list")));
  EXPECT_EQ(original_list.size(), 1u);
  EXPECT_TRUE(original < copy);

  EncodableValue custom(CustomEncodableValue(std::vector<int>{1, 2}));
  EncodableValue custom_copy = custom;
  EXPECT_NE(&std::get<CustomEncodableValue>(custom).value(),
            &std::get<CustomEncodableValue>(custom_copy).value());
  EXPECT_EQ(
      std::any_cast<const std::vector<int>&>(std::get<CustomEncodableValue>(custom_copy).value()),
      (std::vector<int>{1, 2}));
}

}  // namespace
}  // namespace flutter
