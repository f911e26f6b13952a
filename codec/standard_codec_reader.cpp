// Reading: one value from a ByteStreamReader, and the limits that keep a hostile message from
// costing unbounded memory, time or stack.
#include <algorithm>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>
#include <typeinfo>
#include <vector>

#include "codec/standard_codec_serializer.h"

namespace flutter {

namespace {

using Type = StandardCodecType;

// Sets the message's budgets the first time they are needed. Everything a well-formed message
// announces lies after that point, so its own remaining bytes always cover it.
ReadLimits& LimitsFor(ByteStreamReader* stream) {
  ReadLimits& limits = stream->limits();
  if (!limits.started) {
    limits.started = true;
    const size_t remaining = stream->RemainingBytes();
    if (remaining == ByteStreamReader::kUnknownRemaining) {
      limits.element_budget = std::numeric_limits<uint64_t>::max();
      limits.byte_budget = std::numeric_limits<uint64_t>::max();
    } else {
      limits.element_budget = remaining + ReadLimits::kElementAllowance;
      limits.byte_budget = remaining + ReadLimits::kByteAllowance;
    }
  }
  return limits;
}

// An announcement beyond what the format lets a short message get away with, that the rest of
// the input cannot hold: refused instead of being built from nothing.
bool RefuseUnbacked(uint32_t count, uint64_t needed_bytes, ByteStreamReader* stream) {
  const size_t remaining = stream->RemainingBytes();
  if (count <= ReadLimits::kTrustedAnnouncement || remaining == ByteStreamReader::kUnknownRemaining ||
      needed_bytes <= remaining) {
    return false;
  }
  std::cerr << "Size " << count << " exceeds the remaining " << remaining
            << " bytes in StandardCodecSerializer::ReadValueOfType" << std::endl;
  return true;
}

bool Charge(uint32_t count, uint64_t amount, uint64_t& budget) {
  if (amount > budget) {
    std::cerr << "Size " << count
              << " exceeds the message's decoding budget in StandardCodecSerializer::ReadValueOfType"
              << std::endl;
    return false;
  }
  budget -= amount;
  return true;
}

// A string or typed-array body of `count` elements of `width` bytes.
bool AdmitBody(uint32_t count, uint64_t width, ByteStreamReader* stream) {
  ReadLimits& limits = LimitsFor(stream);
  const uint64_t bytes = uint64_t{count} * width;
  if (RefuseUnbacked(count, bytes, stream)) return false;
  return Charge(count, bytes, limits.byte_budget);
}

// `count` list elements or map entries, each at least `min_bytes_each` on the wire.
bool AdmitElements(uint32_t count, uint64_t min_bytes_each, ByteStreamReader* stream) {
  ReadLimits& limits = LimitsFor(stream);
  if (RefuseUnbacked(count, uint64_t{count} * min_bytes_each, stream)) return false;
  return Charge(count, count, limits.element_budget);
}

// The plain buffer reader itself, not a class derived from it: only then may a body be taken in
// place, because nobody can be watching for the ReadBytes call that this skips.
ByteBufferStreamReader* PlainBufferReader(ByteStreamReader* stream) {
  return typeid(*stream) == typeid(ByteBufferStreamReader)
             ? static_cast<ByteBufferStreamReader*>(stream)
             : nullptr;
}

// A string or array body of `count` elements, built with a single copy of its bytes when the
// whole body is there; otherwise zero-filled and read through ReadBytes, which reports the short
// read and leaves the zeros.
template <typename Container>
Container ReadBody(uint32_t count, ByteStreamReader* stream) {
  using Element = typename Container::value_type;
  const size_t bytes = size_t{count} * sizeof(Element);
  if (ByteBufferStreamReader* reader = PlainBufferReader(stream)) {
    const uint8_t* body = reader->TakeBytes(bytes);
    if (body != nullptr) {
      // Alignment counts from the start of the message, so a message whose own first byte is
      // not aligned can leave the body misaligned in memory; that case copies over zeros.
      if (reinterpret_cast<uintptr_t>(body) % alignof(Element) == 0) {
        const auto* first = reinterpret_cast<const Element*>(body);
        return Container(first, first + count);
      }
      Container container(count, Element());
      std::memcpy(container.data(), body, bytes);
      return container;
    }
  }
  Container container(count, Element());
  stream->ReadBytes(reinterpret_cast<uint8_t*>(container.data()), bytes);
  return container;
}

template <typename T>
EncodableValue ReadTypedArray(const StandardCodecSerializer& serializer, ByteStreamReader* stream) {
  const uint32_t count = serializer.ReadSize(stream);
  // The reader aligns even for an empty array, unlike the writer.
  stream->SkipToAlignment(sizeof(T));
  if (!AdmitBody(count, sizeof(T), stream)) return EncodableValue();
  return EncodableValue(ReadBody<std::vector<T>>(count, stream));
}

// Reads a list or map body one level deeper, refusing it past the depth limit.
class DepthScope {
 public:
  explicit DepthScope(ByteStreamReader* stream) : limits_(stream->limits()) {
    admitted_ = limits_.depth < ReadLimits::kMaxDepth;
    if (admitted_) {
      ++limits_.depth;
    } else {
      std::cerr << "Value nested deeper than " << ReadLimits::kMaxDepth
                << " levels in StandardCodecSerializer::ReadValueOfType" << std::endl;
    }
  }
  ~DepthScope() {
    if (admitted_) --limits_.depth;
  }
  DepthScope(const DepthScope&) = delete;
  DepthScope& operator=(const DepthScope&) = delete;
  bool admitted() const { return admitted_; }

 private:
  ReadLimits& limits_;
  bool admitted_;
};

}  // namespace

uint32_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  const uint8_t first = stream->ReadByte();
  if (first < 254) return first;
  if (first == 254) {
    uint16_t value = 0;
    stream->ReadBytes(reinterpret_cast<uint8_t*>(&value), 2);
    return value;
  }
  uint32_t value = 0;
  stream->ReadBytes(reinterpret_cast<uint8_t*>(&value), 4);
  return value;
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  const uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}
EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (static_cast<Type>(type)) {
    case Type::kNull:
      return EncodableValue();
    case Type::kTrue:
      return EncodableValue(true);
    case Type::kFalse:
      return EncodableValue(false);
    case Type::kInt32: {
      int32_t number = 0;
      stream->ReadBytes(reinterpret_cast<uint8_t*>(&number), 4);
      return EncodableValue(number);
    }
    case Type::kInt64: {
      int64_t number = 0;
      stream->ReadBytes(reinterpret_cast<uint8_t*>(&number), 8);
      return EncodableValue(number);
    }
    case Type::kFloat64: {
      stream->SkipToAlignment(8);
      double number = 0;
      stream->ReadBytes(reinterpret_cast<uint8_t*>(&number), 8);
      return EncodableValue(number);
    }
    case Type::kLargeInt:
    case Type::kString: {
      const uint32_t size = ReadSize(stream);
      if (!AdmitBody(size, 1, stream)) return EncodableValue();
      return EncodableValue(ReadBody<std::string>(size, stream));
    }
    case Type::kUInt8List: {
      const uint32_t size = ReadSize(stream);
      if (!AdmitBody(size, 1, stream)) return EncodableValue();
      return EncodableValue(ReadBody<std::vector<uint8_t>>(size, stream));
    }
    case Type::kInt32List:
      return ReadTypedArray<int32_t>(*this, stream);
    case Type::kInt64List:
      return ReadTypedArray<int64_t>(*this, stream);
    case Type::kFloat64List:
      return ReadTypedArray<double>(*this, stream);
    case Type::kFloat32List:
      return ReadTypedArray<float>(*this, stream);
    case Type::kList: {
      DepthScope depth(stream);
      if (!depth.admitted()) return EncodableValue();
      const uint32_t count = ReadSize(stream);
      if (!AdmitElements(count, 1, stream)) return EncodableValue();
      EncodableList list;
      list.reserve(count);
      for (uint32_t i = 0; i < count; ++i) {
        const uint8_t element_type = stream->ReadByte();
        list.push_back(ReadValueOfType(element_type, stream));
      }
      return EncodableValue(std::move(list));
    }
    case Type::kMap: {
      DepthScope depth(stream);
      if (!depth.admitted()) return EncodableValue();
      const uint32_t count = ReadSize(stream);
      if (!AdmitElements(count, 2, stream)) return EncodableValue();
      EncodableMap map;
      for (uint32_t i = 0; i < count; ++i) {
        EncodableValue key = ReadValue(stream);
        EncodableValue entry = ReadValue(stream);
        // The first occurrence of a key wins; a later duplicate is dropped with its value. Writers
        // send keys in ascending order, so the end is nearly always the place: one comparison
        // per entry instead of a search from the root.
        map.emplace_hint(map.end(), std::move(key), std::move(entry));
      }
      return EncodableValue(std::move(map));
    }
    default:
      std::cerr << "Unknown type in StandardCodecSerializer::ReadValueOfType: "
                << static_cast<int>(type) << std::endl;
      return EncodableValue();
  }
}

}  // namespace flutter
