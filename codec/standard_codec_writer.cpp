// Writing: one encoding body for every value (PutValue) over two outputs. Writer appends to a
// MessageBytes when neither the serializer nor the stream writer is a derived class, skipping the
// separate calls nobody can observe, and writes flat list elements and map entries on the spot.
// StreamOutput makes the ByteStreamWriter calls one by one, nested values through WriteValue.
#include <algorithm>
#include <bit>
#include <cstring>
#include <iostream>
#include <limits>
#include <span>
#include <string>
#include <typeinfo>
#include <vector>

#include "codec/message_writer.h"
#include "codec/standard_codec_serializer.h"

namespace flutter {

// Numbers and typed arrays go out as raw host-layout bytes; the wire is little-endian.
static_assert(std::endian::native == std::endian::little,
              "the standard encoding is little-endian and is copied in host layout");
static_assert(sizeof(float) == 4 && sizeof(double) == 8);

namespace {

using Type = StandardCodecType;
using Value = EncodableValue;
using internal::MessagePart;
using wire::SizePrefix;

class Writer {
 public:
  // Appends to `bytes`, or with a `drain` through `bytes` as a window emptied into the drain when
  // full and at Finish. Alignment counts from where the message (or the drain) starts.
  Writer(MessageBytes& bytes, size_t expected, std::vector<uint8_t>* drain)
      : bytes_(bytes), drain_(drain) {
    if (drain != nullptr) bytes.reserve(kWindow);
    drain != nullptr ? Reserve(*drain, expected) : Reserve(bytes, expected);
    Refresh(drain != nullptr ? drain->size() : 0);
  }

  // Not left to a destructor: appending to the drain may throw, which a destructor must not.
  void Finish() {
    Commit();
    if (drain_ != nullptr) Drain();
  }

  void Code(Type code) { Bytes(&code, 1); }
  void Size(const SizePrefix& size) {
    std::memcpy(Room(sizeof size.word), &size.word, sizeof size.word);
    at_ += size.length;
  }
  void Bytes(const void* source, size_t count) {
    if (drain_ != nullptr && count >= kBulkBody) {
      const size_t offset = Offset() + count;
      Commit();
      Drain(static_cast<const uint8_t*>(source), count);
      return Refresh(offset);
    }
    std::memcpy(Room(count), source, count);
    at_ += count;
  }
  void Pad(uint8_t alignment) {
    const size_t padding = wire::Padding(Offset(), alignment);
    std::memset(Room(wire::kLongestPadding), 0, wire::kLongestPadding);
    at_ += padding;
  }
  // Writes the part when it is flat (internal::PutFlat); false, having written nothing, if not.
  template <typename Part>
  ORVALEN_INLINE bool Flat(const Part& part) {
    uint8_t* const out = Room(internal::kFlatRoom);  // before origin_ is read: it may move it
    uint8_t* const end = internal::PutFlat(out, origin_, part);
    if (end == nullptr) return false;
    at_ = end;
    return true;
  }
  void Nested(const Value& value);

 private:
  // Bodies from kBulkBody bytes on go to the drain directly, not copied twice.
  static constexpr size_t kWindow = 4096;
  static constexpr size_t kBulkBody = 256;

  template <typename Buffer>
  static void Reserve(Buffer& buffer, size_t expected) {
    if (expected > buffer.capacity() - buffer.size()) {
      buffer.reserve(std::max(buffer.size() + expected, 2 * buffer.capacity()));
    }
  }

  // Where alignment counts the next byte from.
  size_t Offset() const { return reinterpret_cast<uintptr_t>(at_) - origin_; }

  // Where the next `count` bytes go; bytes_ counts them on Commit, not in the loop.
  uint8_t* Room(size_t count) {
    if (count > static_cast<size_t>(end_ - at_)) Grow(count);
    return at_;
  }
  ORVALEN_NOINLINE void Grow(size_t count) {
    const size_t offset = Offset();
    Commit();
    if (drain_ != nullptr) Drain();
    Reserve(bytes_, count);
    Refresh(offset);
  }
  void Commit() { bytes_.Extend(static_cast<size_t>(at_ - bytes_.Extend(0))); }
  // After the buffer moved or emptied: the next byte goes `offset` bytes into the message.
  void Refresh(size_t offset) {
    at_ = bytes_.Extend(0);
    end_ = at_ + bytes_.room();
    origin_ = reinterpret_cast<uintptr_t>(at_) - offset;
  }

  // Empties the window into the drain, then appends `count` bytes from `more` to it.
  void Drain(const uint8_t* more = nullptr, size_t count = 0) {
    drain_->insert(drain_->end(), bytes_.data(), bytes_.data() + bytes_.size());
    drain_->insert(drain_->end(), more, more + count);
    bytes_.clear();
  }

  MessageBytes& bytes_;
  std::vector<uint8_t>* drain_;
  // at_ minus origin_ (modulo 2^64) is the offset from where alignment counts.
  uintptr_t origin_ = 0;
  uint8_t* at_ = nullptr;
  uint8_t* end_ = nullptr;
};

// The stream calls one by one, nested values through the serializer's virtual slot.
class StreamOutput {
 public:
  StreamOutput(const StandardCodecSerializer& serializer, ByteStreamWriter* stream)
      : serializer_(serializer), stream_(stream) {}

  void Code(Type code) { stream_->WriteByte(static_cast<uint8_t>(code)); }
  void Size(const SizePrefix& size) {
    uint8_t bytes[sizeof size.word];
    std::memcpy(bytes, &size.word, sizeof bytes);
    stream_->WriteByte(bytes[0]);
    if (size.length > 1) stream_->WriteBytes(bytes + 1, size.length - 1);
  }
  void Bytes(const void* source, size_t count) {
    stream_->WriteBytes(static_cast<const uint8_t*>(source), count);
  }
  void Pad(uint8_t alignment) { stream_->PadToAlignment(alignment); }
  bool Flat(const Value&) { return false; }  // every nested value goes through the slot
  void Nested(const Value& value) { serializer_.WriteValue(value, stream_); }

 private:
  const StandardCodecSerializer& serializer_;
  ByteStreamWriter* stream_;
};

// The code and size of a sized value. A size beyond the 32-bit prefix cannot be described, so
// such a value goes out as null rather than as a prefix that lies about what follows: false.
template <typename Output>
bool PutHeader(Output& out, Type code, size_t size) {
  if (size > std::numeric_limits<uint32_t>::max()) {
    out.Code(Type::kNull);
    std::cerr << "Value too long for StandardCodecSerializer::WriteValue: " << size << " elements"
              << std::endl;
    return false;
  }
  out.Code(code);
  out.Size(SizePrefix(static_cast<uint32_t>(size)));
  return true;
}

// Strings and arrays: an empty body is no call at all, and so is not padded.
template <typename Output, typename Container>
void PutSized(Output& out, Type code, const Container& body) {
  using Element = typename Container::value_type;
  if (!PutHeader(out, code, body.size()) || body.empty()) return;
  constexpr uint8_t kAlignment = wire::kArrayAlignment<Element>;
  if (kAlignment > 1) out.Pad(kAlignment);
  out.Bytes(body.data(), body.size() * sizeof(Element));
}

// A list element, map key or map value: most are flat, written on the spot inside the loop.
template <typename Output>
ORVALEN_INLINE void PutElement(Output& out, const Value& value) {
  if (!out.Flat(value)) out.Nested(value);
}

template <typename Output>
void PutValue(Output& out, const Value& value) {
  switch (value.alternative()) {
    case Value::kNullIndex: return out.Code(Type::kNull);
    case Value::kBoolIndex:
      return out.Code(std::get<Value::kBoolIndex>(value) ? Type::kTrue : Type::kFalse);
    case Value::kInt32Index:
      out.Code(Type::kInt32);
      return out.Bytes(&std::get<Value::kInt32Index>(value), sizeof(int32_t));
    case Value::kInt64Index:
      out.Code(Type::kInt64);
      return out.Bytes(&std::get<Value::kInt64Index>(value), sizeof(int64_t));
    case Value::kDoubleIndex:
      out.Code(Type::kFloat64);
      out.Pad(wire::kFloat64Alignment);
      return out.Bytes(&std::get<Value::kDoubleIndex>(value), sizeof(double));
    case Value::kStringIndex:
      return PutSized(out, Type::kString, std::get<Value::kStringIndex>(value));
    case Value::kUInt8ListIndex:
      return PutSized(out, Type::kUInt8List, std::get<Value::kUInt8ListIndex>(value));
    case Value::kInt32ListIndex:
      return PutSized(out, Type::kInt32List, std::get<Value::kInt32ListIndex>(value));
    case Value::kInt64ListIndex:
      return PutSized(out, Type::kInt64List, std::get<Value::kInt64ListIndex>(value));
    case Value::kDoubleListIndex:
      return PutSized(out, Type::kFloat64List, std::get<Value::kDoubleListIndex>(value));
    case Value::kFloatListIndex:
      return PutSized(out, Type::kFloat32List, std::get<Value::kFloatListIndex>(value));
    case Value::kListIndex: {
      const EncodableList& list = std::get<Value::kListIndex>(value);
      if (!PutHeader(out, Type::kList, list.size())) return;
      for (const Value& element : list) PutElement(out, element);
      return;
    }
    case Value::kMapIndex: {
      const EncodableMap& map = std::get<Value::kMapIndex>(value);
      if (!PutHeader(out, Type::kMap, map.size())) return;
      for (const auto& [key, entry] : map) {
        PutElement(out, key);
        PutElement(out, entry);
      }
      return;
    }
    case Value::kCustomIndex:
      out.Code(Type::kNull);
      std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                << "Custom types require codec extensions." << std::endl;
      return;
  }
  out.Code(Type::kNull);  // valueless after a failed assignment: nothing to say
}

void Writer::Nested(const Value& value) { PutValue(*this, value); }

// Room to reserve (at least doubling) before writing `value`: for a list or map, a guess from its
// count that spares a typical one any growth of the buffer; anything else grows it when written.
size_t ExpectedSize(const Value& value) {
  const auto* list = std::get_if<EncodableList>(&value);
  const auto* map = std::get_if<EncodableMap>(&value);
  if (list == nullptr && map == nullptr) return 0;
  return std::max<size_t>(1024, list ? 8 * list->size() : 24 * map->size());
}

}  // namespace

void internal::WriteAnyMessage(const StandardCodecSerializer& serializer,
                               std::optional<uint8_t> flag, std::span<const MessagePart> parts,
                               MessageBytes* bytes) {
  if (!IsStandardSerializer(serializer)) {
    // On a vector of its own: the stream writer counts alignment from the vector's first byte.
    std::vector<uint8_t> message;
    ByteBufferStreamWriter stream(&message);
    if (flag) stream.WriteByte(*flag);
    for (const MessagePart& part : parts) {
      serializer.WriteValue(part.string ? EncodableValue(*part.string) : *part.value, &stream);
    }
    return bytes->Append(message.data(), message.size());
  }
  // Room for any flat message after this one, which is then written in place.
  size_t expected = internal::kFlatMessageRoom;
  for (const MessagePart& part : parts) {
    expected += part.string ? part.string->size() : ExpectedSize(*part.value);
  }
  Writer out(*bytes, expected, nullptr);
  if (flag) out.Bytes(&*flag, 1);
  for (const MessagePart& part : parts) {
    if (out.Flat(part)) continue;
    part.string ? PutSized(out, Type::kString, *part.string) : PutValue(out, *part.value);
  }
  out.Finish();
}

const StandardCodecSerializer& StandardCodecSerializer::SharedInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  // Only the serializer and writer of exactly these classes: a derived one may watch every call.
  if (internal::IsStandardSerializer(*this) && typeid(*stream) == typeid(ByteBufferStreamWriter)) {
    ScratchBytes window;
    Writer out(*window, ExpectedSize(value),
               static_cast<ByteBufferStreamWriter*>(stream)->buffer());
    PutValue(out, value);
    return out.Finish();
  }
  StreamOutput out(*this, stream);
  PutValue(out, value);
}

void StandardCodecSerializer::WriteSize(uint32_t size, ByteStreamWriter* stream) const {
  StreamOutput(*this, stream).Size(SizePrefix(size));
}

}  // namespace flutter
