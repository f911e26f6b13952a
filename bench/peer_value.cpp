#include "bench/peer_value.h"

#include <limits>
#include <utility>

namespace bench {

bool operator==(const PeerValue& a, const PeerValue& b) {
  if (a.index() != b.index()) return false;
  return std::visit(
      [&b](const auto& held) {
        using T = std::decay_t<decltype(held)>;
        return held == std::get<T>(b);
      },
      static_cast<const PeerValue::variant&>(a));
}

flutter::EncodableValue ToEncodable(const PeerValue& value) {
  switch (value.alternative()) {
    case PeerValue::kBoolIndex: return flutter::EncodableValue(std::get<bool>(value));
    case PeerValue::kIntIndex: {
      const int64_t number = std::get<int64_t>(value);
      if (number >= std::numeric_limits<int32_t>::min() &&
          number <= std::numeric_limits<int32_t>::max()) {
        return flutter::EncodableValue(static_cast<int32_t>(number));
      }
      return flutter::EncodableValue(number);
    }
    case PeerValue::kDoubleIndex: return flutter::EncodableValue(std::get<double>(value));
    case PeerValue::kStringIndex: return flutter::EncodableValue(std::get<std::string>(value));
    case PeerValue::kListIndex: {
      flutter::EncodableList list;
      list.reserve(std::get<PeerList>(value).size());
      for (const PeerValue& element : std::get<PeerList>(value)) {
        list.push_back(ToEncodable(element));
      }
      return flutter::EncodableValue(std::move(list));
    }
    case PeerValue::kMapIndex: {
      flutter::EncodableMap map;
      for (const auto& [key, entry] : std::get<PeerMap>(value)) {
        map.emplace(flutter::EncodableValue(key), ToEncodable(entry));
      }
      return flutter::EncodableValue(std::move(map));
    }
    case PeerValue::kNullIndex: break;
  }
  return flutter::EncodableValue();
}

nlohmann::json ToJson(const PeerValue& value) {
  switch (value.alternative()) {
    case PeerValue::kBoolIndex: return std::get<bool>(value);
    case PeerValue::kIntIndex: return std::get<int64_t>(value);
    case PeerValue::kDoubleIndex: return std::get<double>(value);
    case PeerValue::kStringIndex: return std::get<std::string>(value);
    case PeerValue::kListIndex: {
      nlohmann::json list = nlohmann::json::array();
      for (const PeerValue& element : std::get<PeerList>(value)) list.push_back(ToJson(element));
      return list;
    }
    case PeerValue::kMapIndex: {
      nlohmann::json map = nlohmann::json::object();
      for (const auto& [key, entry] : std::get<PeerMap>(value)) map[key] = ToJson(entry);
      return map;
    }
    case PeerValue::kNullIndex: break;
  }
  return nullptr;
}

void PackPeer(msgpack::packer<msgpack::sbuffer>& packer, const PeerValue& value) {
  switch (value.alternative()) {
    case PeerValue::kBoolIndex: packer.pack(std::get<bool>(value)); return;
    case PeerValue::kIntIndex: packer.pack(std::get<int64_t>(value)); return;
    case PeerValue::kDoubleIndex: packer.pack(std::get<double>(value)); return;
    case PeerValue::kStringIndex: packer.pack(std::get<std::string>(value)); return;
    case PeerValue::kListIndex: {
      const PeerList& list = std::get<PeerList>(value);
      packer.pack_array(static_cast<uint32_t>(list.size()));
      for (const PeerValue& element : list) PackPeer(packer, element);
      return;
    }
    case PeerValue::kMapIndex: {
      const PeerMap& map = std::get<PeerMap>(value);
      packer.pack_map(static_cast<uint32_t>(map.size()));
      for (const auto& [key, entry] : map) {
        packer.pack(key);
        PackPeer(packer, entry);
      }
      return;
    }
    case PeerValue::kNullIndex: break;
  }
  packer.pack_nil();
}

bool FromMsgpack(const msgpack::object& object, PeerValue* value) {
  switch (object.type) {
    case msgpack::type::NIL: *value = std::monostate(); return true;
    case msgpack::type::BOOLEAN: *value = object.via.boolean; return true;
    case msgpack::type::POSITIVE_INTEGER:
      if (object.via.u64 > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
      *value = static_cast<int64_t>(object.via.u64);
      return true;
    case msgpack::type::NEGATIVE_INTEGER: *value = object.via.i64; return true;
    case msgpack::type::FLOAT32:
    case msgpack::type::FLOAT64: *value = object.via.f64; return true;
    case msgpack::type::STR:
      *value = std::string(object.via.str.ptr, object.via.str.size);
      return true;
    case msgpack::type::ARRAY: {
      PeerList list(object.via.array.size);
      for (uint32_t i = 0; i < object.via.array.size; ++i) {
        if (!FromMsgpack(object.via.array.ptr[i], &list[i])) return false;
      }
      *value = std::move(list);
      return true;
    }
    case msgpack::type::MAP: {
      PeerMap map;
      for (uint32_t i = 0; i < object.via.map.size; ++i) {
        const msgpack::object_kv& entry = object.via.map.ptr[i];
        if (entry.key.type != msgpack::type::STR) return false;
        PeerValue element;
        if (!FromMsgpack(entry.val, &element)) return false;
        map.emplace_hint(map.end(), std::string(entry.key.via.str.ptr, entry.key.via.str.size),
                         std::move(element));
      }
      *value = std::move(map);
      return true;
    }
    default: return false;
  }
}

}  // namespace bench
