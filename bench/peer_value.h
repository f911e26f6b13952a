// The logical data of the structured workloads, as one plain tree of std containers.
//
// Every implementation under test gets the same tree: ours as an EncodableValue, msgpack-cxx
// packs it and converts unpacked objects back into it, nlohmann::json holds it as a json value.
// Decoders are checked against it, so a benchmark never times a decoder that returns the wrong
// thing. Maps have string keys only, which is all the workloads use.
#ifndef ORVALEN_BENCH_PEER_VALUE_H_
#define ORVALEN_BENCH_PEER_VALUE_H_

#include <cstdint>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include <msgpack.hpp>
#include <nlohmann/json.hpp>

#include "codec/encodable_value.h"

namespace bench {

struct PeerValue;
using PeerList = std::vector<PeerValue>;
using PeerMap = std::map<std::string, PeerValue>;

struct PeerValue
    : std::variant<std::monostate, bool, int64_t, double, std::string, PeerList, PeerMap> {
  using variant::variant;
  // The alternatives by position, as index() returns them.
  enum Alternative : size_t {
    kNullIndex,
    kBoolIndex,
    kIntIndex,
    kDoubleIndex,
    kStringIndex,
    kListIndex,
    kMapIndex
  };
  Alternative alternative() const { return static_cast<Alternative>(index()); }
};

bool operator==(const PeerValue& a, const PeerValue& b);

// Integers that fit 32 bits become int32, the others int64: what a Dart int turns into.
flutter::EncodableValue ToEncodable(const PeerValue& value);
nlohmann::json ToJson(const PeerValue& value);

// msgpack-cxx's side: packing straight from the tree, and the conversion of an unpacked object
// back into it (false when the object holds a kind the tree has no place for).
void PackPeer(msgpack::packer<msgpack::sbuffer>& packer, const PeerValue& value);
bool FromMsgpack(const msgpack::object& object, PeerValue* value);

}  // namespace bench

#endif  // ORVALEN_BENCH_PEER_VALUE_H_
