#include "bench/workload_data.h"

#include <cstdio>
#include <limits>
#include <random>
#include <utility>

namespace bench {

namespace {

template <typename T, typename Make>
std::vector<T> MakeBulk(Make make) {
  std::mt19937_64 random(0x0a1b2c3d);
  std::vector<T> values(kBulkBytes / sizeof(T));
  for (T& value : values) value = make(random);
  return values;
}

PeerValue NestedLevel(int level, int depth) {
  PeerMap map;
  map.emplace("level", int64_t{level});
  map.emplace("name", std::string("node-") + std::to_string(level));
  map.emplace("weight", 0.25 * level + 0.125);
  map.emplace("active", level % 2 == 0);
  map.emplace("tags", PeerList{std::string("kiosk"), std::string("display"), int64_t{level}});
  if (level + 1 < depth) map.emplace("child", NestedLevel(level + 1, depth));
  return PeerValue(std::move(map));
}

}  // namespace

const std::vector<uint8_t>& BulkUint8s() {
  static const auto values =
      MakeBulk<uint8_t>([](std::mt19937_64& random) { return static_cast<uint8_t>(random()); });
  return values;
}

const std::vector<int32_t>& BulkInt32s() {
  static const auto values =
      MakeBulk<int32_t>([](std::mt19937_64& random) { return static_cast<int32_t>(random()); });
  return values;
}

const std::vector<float>& BulkFloat32s() {
  static const auto values = MakeBulk<float>([](std::mt19937_64& random) {
    return std::uniform_real_distribution<float>(-1000.0f, 1000.0f)(random);
  });
  return values;
}

const std::vector<double>& BulkFloat64s() {
  static const auto values = MakeBulk<double>([](std::mt19937_64& random) {
    return std::uniform_real_distribution<double>(-1e6, 1e6)(random);
  });
  return values;
}

const std::string& DisplayEventLine() {
  static const std::string line = "applied (fit) 1920x1080 @0,0 monitor=2/3";
  static_assert(sizeof("applied (fit) 1920x1080 @0,0 monitor=2/3") == 41);
  return line;
}

const PeerValue& StringKeyMap() {
  static const PeerValue map = [] {
    PeerMap entries;
    for (int i = 0; i < 1000; ++i) {
      char key[32];
      std::snprintf(key, sizeof key, "sensor.%04d", i);
      entries.emplace(key, int64_t{i * 7919 - 3000000});
    }
    return PeerValue(std::move(entries));
  }();
  return map;
}

const PeerValue& MixedScalarList() {
  static const PeerValue list = [] {
    PeerList elements;
    elements.reserve(10000);
    for (int i = 0; i < 10000; ++i) {
      switch (i % 7) {
        case 0: elements.emplace_back(std::monostate()); break;
        case 1: elements.emplace_back(i % 2 == 0); break;
        case 2: elements.emplace_back(int64_t{i}); break;
        case 3: elements.emplace_back(int64_t{-i * 1000}); break;
        case 4: elements.emplace_back(int64_t{i} * 10000000000); break;
        case 5: elements.emplace_back(i * 0.5 + 0.1); break;
        case 6: elements.emplace_back("item-" + std::to_string(i)); break;
      }
    }
    return PeerValue(std::move(elements));
  }();
  return list;
}

const PeerValue& NestedMaps() {
  static const PeerValue map = NestedLevel(0, 8);
  return map;
}

PeerValue RecordList(size_t bytes) {
  // One record takes 55 to 62 bytes in the standard encoding, depending on the double's padding.
  const size_t count = bytes / 58 + 1;
  PeerList records;
  records.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    char label[16];
    std::snprintf(label, sizeof label, "rec-%06zu", i % 1000000);
    PeerMap record;
    record.emplace("id", static_cast<int64_t>(i));
    record.emplace("label", std::string(label));
    record.emplace("value", static_cast<double>(i) * 0.75);
    record.emplace("ok", i % 3 != 0);
    records.emplace_back(std::move(record));
  }
  return PeerValue(std::move(records));
}

}  // namespace bench
