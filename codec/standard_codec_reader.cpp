// Reading: one decoding body for every value (ReadBody) over two inputs, and the limits that keep
// a hostile message from costing unbounded memory, time or stack. BufferInput reads a plain
// ByteBufferStreamReader's bytes in place when neither the serializer nor the reader is a derived
// class; StreamInput makes the reader's calls one by one, nested values through ReadValueOfType.
// A failed read reports the reader's own line on both, and yields the same zeros.
#include "codec/standard_codec_serializer.h"

#include <cstring>
#include <iostream>
#include <limits>
#include <string>
#include <typeinfo>
#include <vector>

namespace flutter {

namespace {

using Type = StandardCodecType;

// The plain buffer reader itself, not a class derived from it: only then may bytes be taken in
// place, because nobody can be watching for the ReadBytes call that this skips.
ByteBufferStreamReader* PlainBufferReader(ByteStreamReader* stream) {
  const bool plain = typeid(*stream) == typeid(ByteBufferStreamReader);
  return plain ? static_cast<ByteBufferStreamReader*>(stream) : nullptr;
}

// The reader's calls one by one, nested values through the serializer's virtual slot.
class StreamInput {
 public:
  StreamInput(const StandardCodecSerializer& serializer, ByteStreamReader* stream)
      : serializer_(serializer), stream_(stream), plain_(PlainBufferReader(stream)) {}

  uint8_t Byte() { return stream_->ReadByte(); }
  void Bytes(void* destination, size_t count) {
    stream_->ReadBytes(static_cast<uint8_t*>(destination), count);
  }
  void Align(uint8_t alignment) { stream_->SkipToAlignment(alignment); }
  const uint8_t* Take(size_t count) { return plain_ ? plain_->TakeBytes(count) : nullptr; }
  size_t Remaining() const { return stream_->RemainingBytes(); }
  ReadLimits& limits() { return stream_->limits(); }
  EncodableValue Nested() {
    const uint8_t type = stream_->ReadByte();
    return serializer_.ReadValueOfType(type, stream_);
  }

 private:
  const StandardCodecSerializer& serializer_;
  ByteStreamReader* stream_;
  ByteBufferStreamReader* plain_;
};

// The plain buffer reader's bytes in place; a read that fails goes to the reader's own
// implementation, which reports it exactly as a call through the stream would.
class BufferInput {
 public:
  explicit BufferInput(ByteBufferStreamReader& reader) : reader_(reader) {}

  uint8_t Byte() {
    const uint8_t* byte = reader_.TakeBytes(1);
    return byte ? *byte : reader_.ByteBufferStreamReader::ReadByte();
  }
  void Bytes(void* destination, size_t count) {
    if (const uint8_t* bytes = reader_.TakeBytes(count)) {
      if (count != 0) std::memcpy(destination, bytes, count);
      return;
    }
    reader_.ByteBufferStreamReader::ReadBytes(static_cast<uint8_t*>(destination), count);
  }
  void Align(uint8_t alignment) { reader_.ByteBufferStreamReader::SkipToAlignment(alignment); }
  const uint8_t* Take(size_t count) { return reader_.TakeBytes(count); }
  size_t Remaining() const { return reader_.ByteBufferStreamReader::RemainingBytes(); }
  ReadLimits& limits() { return reader_.limits(); }
  EncodableValue Nested();

 private:
  ByteBufferStreamReader& reader_;
};

// Sets the message's budgets the first time they are needed. Everything a well-formed message
// announces lies after that point, so its own remaining bytes always cover it.
template <typename Input>
ReadLimits& LimitsFor(Input& in) {
  ReadLimits& limits = in.limits();
  if (!limits.started) {
    limits.started = true;
    const size_t remaining = in.Remaining();
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

// An announcement past kTrustedAnnouncement that the rest of the input cannot hold: refused.
template <typename Input>
bool RefuseUnbacked(uint32_t count, uint64_t needed_bytes, Input& in) {
  if (count <= ReadLimits::kTrustedAnnouncement) return false;
  const size_t remaining = in.Remaining();
  if (remaining == ByteStreamReader::kUnknownRemaining || needed_bytes <= remaining) return false;
  std::cerr << "Size " << count << " exceeds the remaining " << remaining
            << " bytes in StandardCodecSerializer::ReadValueOfType" << std::endl;
  return true;
}

bool Charge(uint32_t count, uint64_t amount, uint64_t& budget) {
  if (amount > budget) {
    std::cerr
        << "Size " << count
        << " exceeds the message's decoding budget in StandardCodecSerializer::ReadValueOfType"
        << std::endl;
    return false;
  }
  budget -= amount;
  return true;
}

// A string or typed-array body of `count` elements of `width` bytes.
template <typename Input>
bool AdmitBody(uint32_t count, uint64_t width, Input& in) {
  ReadLimits& limits = LimitsFor(in);
  const uint64_t bytes = uint64_t{count} * width;
  if (RefuseUnbacked(count, bytes, in)) return false;
  return Charge(count, bytes, limits.byte_budget);
}

// `count` list elements or map entries, each at least `min_bytes_each` on the wire.
template <typename Input>
bool AdmitElements(uint32_t count, uint64_t min_bytes_each, Input& in) {
  ReadLimits& limits = LimitsFor(in);
  if (RefuseUnbacked(count, uint64_t{count} * min_bytes_each, in)) return false;
  return Charge(count, count, limits.element_budget);
}

// Reads a list or map body one level deeper, refusing it past the depth limit.
struct DepthScope {
  explicit DepthScope(ReadLimits& limits)
      : limits(limits), admitted(limits.depth < ReadLimits::kMaxDepth) {
    if (admitted) {
      ++limits.depth;
    } else {
      std::cerr << "Value nested deeper than " << ReadLimits::kMaxDepth
                << " levels in StandardCodecSerializer::ReadValueOfType" << std::endl;
    }
  }
  ~DepthScope() {
    if (admitted) --limits.depth;
  }
  ReadLimits& limits;
  const bool admitted;
};

// The size prefix; longer forms than needed are accepted, a failed read gives 0.
template <typename Input>
uint32_t ReadSizePrefix(Input& in) {
  const uint8_t first = in.Byte();
  if (first < wire::kTwoByteSize) return first;
  if (first == wire::kTwoByteSize) {
    uint16_t size = 0;
    in.Bytes(&size, sizeof size);
    return size;
  }
  uint32_t size = 0;
  in.Bytes(&size, sizeof size);
  return size;
}

template <typename T, typename Input>
EncodableValue ReadNumber(Input& in) {
  T number = 0;
  in.Bytes(&number, sizeof number);
  return EncodableValue(number);
}

// A string or array body of `count` elements, built with one copy of its bytes when they are all
// there; otherwise zero-filled and read through Bytes, which reports the short read.
template <typename Container, typename Input>
EncodableValue ReadContents(uint32_t count, Input& in) {
  using Element = typename Container::value_type;
  const size_t bytes = size_t{count} * sizeof(Element);
  if (const uint8_t* body = in.Take(bytes)) {
    // Alignment counts from the start of the message, so a message whose own first byte is not
    // aligned can leave the body misaligned in memory; that case copies over zeros.
    if (reinterpret_cast<uintptr_t>(body) % alignof(Element) == 0) {
      const auto* first = reinterpret_cast<const Element*>(body);
      return EncodableValue(Container(first, first + count));
    }
    Container container(count, Element());
    // An empty container's data() is null, and memcpy takes no null even for zero bytes.
    if (bytes != 0) std::memcpy(container.data(), body, bytes);
    return EncodableValue(std::move(container));
  }
  Container container(count, Element());
  in.Bytes(container.data(), bytes);
  return EncodableValue(std::move(container));
}

// The reader aligns a typed array even when it is empty, unlike the writer.
template <typename Container, typename Input>
EncodableValue ReadSized(Input& in) {
  using Element = typename Container::value_type;
  const uint32_t count = ReadSizePrefix(in);
  constexpr uint8_t kAlignment = wire::kArrayAlignment<Element>;
  if (kAlignment > 1) in.Align(kAlignment);
  if (!AdmitBody(count, sizeof(Element), in)) return EncodableValue();
  return ReadContents<Container>(count, in);
}

// A list or map one level deeper, unless refused; `read_entries` builds it from the count.
template <typename Input, typename ReadEntries>
EncodableValue ReadContainer(Input& in, uint64_t min_bytes_each, ReadEntries read_entries) {
  DepthScope depth(in.limits());
  if (!depth.admitted) return EncodableValue();
  const uint32_t count = ReadSizePrefix(in);
  if (!AdmitElements(count, min_bytes_each, in)) return EncodableValue();
  return read_entries(count);
}

template <typename Input>
EncodableValue ReadList(Input& in) {
  return ReadContainer(in, 1, [&in](uint32_t count) {
    EncodableList list;
    list.reserve(count);
    for (uint32_t i = 0; i < count; ++i) list.push_back(in.Nested());
    return EncodableValue(std::move(list));
  });
}

template <typename Input>
EncodableValue ReadMap(Input& in) {
  return ReadContainer(in, 2, [&in](uint32_t count) {
    EncodableMap map;
    for (uint32_t i = 0; i < count; ++i) {
      EncodableValue key = in.Nested();
      EncodableValue entry = in.Nested();
      // The first occurrence of a key wins. Writers send keys in ascending order, so the end is
      // nearly always the place: one comparison per entry instead of a search from the root.
      map.emplace_hint(map.end(), std::move(key), std::move(entry));
    }
    return EncodableValue(std::move(map));
  });
}

template <typename Input>
EncodableValue ReadBody(uint8_t type, Input& in) {
  switch (static_cast<Type>(type)) {
    case Type::kNull: return EncodableValue();
    case Type::kTrue: return EncodableValue(true);
    case Type::kFalse: return EncodableValue(false);
    case Type::kInt32: return ReadNumber<int32_t>(in);
    case Type::kInt64: return ReadNumber<int64_t>(in);
    case Type::kFloat64: in.Align(wire::kFloat64Alignment); return ReadNumber<double>(in);
    case Type::kLargeInt:
    case Type::kString: return ReadSized<std::string>(in);
    case Type::kUInt8List: return ReadSized<std::vector<uint8_t>>(in);
    case Type::kInt32List: return ReadSized<std::vector<int32_t>>(in);
    case Type::kInt64List: return ReadSized<std::vector<int64_t>>(in);
    case Type::kFloat64List: return ReadSized<std::vector<double>>(in);
    case Type::kFloat32List: return ReadSized<std::vector<float>>(in);
    case Type::kList: return ReadList(in);
    case Type::kMap: return ReadMap(in);
  }
  std::cerr << "Unknown type in StandardCodecSerializer::ReadValueOfType: "
            << static_cast<int>(type) << std::endl;
  return EncodableValue();
}

EncodableValue BufferInput::Nested() {
  const uint8_t type = Byte();
  return ReadBody(type, *this);
}

}  // namespace

uint32_t StandardCodecSerializer::ReadSize(ByteStreamReader* stream) const {
  StreamInput in(*this, stream);
  return ReadSizePrefix(in);
}

EncodableValue StandardCodecSerializer::ReadValue(ByteStreamReader* stream) const {
  const uint8_t type = stream->ReadByte();
  return ReadValueOfType(type, stream);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  ByteBufferStreamReader* plain = PlainBufferReader(stream);
  if (plain != nullptr && typeid(*this) == typeid(StandardCodecSerializer)) {
    BufferInput in(*plain);
    return ReadBody(type, in);
  }
  StreamInput in(*this, stream);
  return ReadBody(type, in);
}

}  // namespace flutter
