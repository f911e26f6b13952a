// Writing: one encoding body for every value, a template over where its bytes go.
//
// The body (PutValue and the helpers before it) runs on two outputs:
//   - BufferOutput (buffer_output.h) appends to the vector of a plain ByteBufferStreamWriter,
//     used when neither the serializer nor the writer is a derived class. Nothing can observe the
//     separate calls then, so it may skip them: no virtual call per byte or per nested value, and
//     scalars and short strings inside lists and maps written on the spot (PutElement).
//   - StreamOutput makes the ByteStreamWriter calls one by one and hands each nested value to the
//     virtual WriteValue, so that a derived serializer or writer sees every call it always saw.
// Both therefore write the same bytes, and the size prefix is written in one place for both.
// Method messages of scalars and short strings skip both (flat_message.h).
#include "codec/standard_codec_serializer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iostream>
#include <limits>
#include <span>
#include <string>
#include <typeinfo>
#include <vector>

#include "codec/buffer_output.h"
#include "codec/message_writer.h"

namespace flutter {

// Numbers and typed arrays go out as raw host-layout bytes; the wire is little-endian.
static_assert(std::endian::native == std::endian::little,
              "the standard encoding is little-endian and is copied in host layout");
static_assert(sizeof(float) == 4 && sizeof(double) == 8);

namespace {

using Type = StandardCodecType;
using Value = EncodableValue;
using internal::BufferOutput;
using internal::SizePrefix;

constexpr uint64_t kMaxWireSize = std::numeric_limits<uint32_t>::max();

void ReportTooLong(size_t count) {
  std::cerr << "Value too long for StandardCodecSerializer::WriteValue: " << count << " elements"
            << std::endl;
}

void ReportCustomValue() {
  std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
            << "Custom types require codec extensions." << std::endl;
}

// A size beyond the 32-bit prefix cannot be described, so such a value goes out as null rather
// than as a prefix that lies about what follows.
template <typename Output>
bool Describable(Output& out, size_t size) {
  if (size <= kMaxWireSize) return true;
  out.Code(Type::kNull);
  ReportTooLong(size);
  return false;
}

// The code and size of a sized value; false when it went out as null instead.
template <typename Output>
bool PutHeader(Output& out, Type code, size_t size) {
  if (!Describable(out, size)) return false;
  out.Header(code, SizePrefix(static_cast<uint32_t>(size)));
  return true;
}

// A double is aligned to 8; integers are not aligned at all.
template <typename Output, typename T>
void PutNumber(Output& out, Type code, T number) {
  out.Number(code, std::is_same_v<T, double> ? 8 : 1, &number, sizeof number);
}

// Strings and byte arrays: never padded.
template <typename Output, typename Container>
void PutBytes(Output& out, Type code, const Container& body) {
  if (!Describable(out, body.size())) return;
  out.Sized(code, SizePrefix(static_cast<uint32_t>(body.size())), body.data(), body.size());
}

// The writer does not pad an empty typed array (the reader aligns anyway).
template <typename Output, typename T>
void PutArray(Output& out, Type code, const std::vector<T>& array) {
  if (!PutHeader(out, code, array.size()) || array.empty()) return;
  out.Pad(sizeof(T));
  out.Bytes(array.data(), array.size() * sizeof(T));
}

// A list element, map key or map value: most are scalars or short strings, which an output may
// write on the spot (inlined into the loop) before paying for a call and a jump table.
template <typename Output>
inline void PutElement(Output& out, const Value& value) {
  if (!out.Scalar(value)) out.Nested(value);
}

template <typename Output>
void PutValue(Output& out, const Value& value) {
  switch (value.alternative()) {
    case Value::kNullIndex: return out.Code(Type::kNull);
    case Value::kBoolIndex:
      return out.Code(std::get<Value::kBoolIndex>(value) ? Type::kTrue : Type::kFalse);
    case Value::kInt32Index:
      return PutNumber(out, Type::kInt32, std::get<Value::kInt32Index>(value));
    case Value::kInt64Index:
      return PutNumber(out, Type::kInt64, std::get<Value::kInt64Index>(value));
    case Value::kDoubleIndex:
      return PutNumber(out, Type::kFloat64, std::get<Value::kDoubleIndex>(value));
    case Value::kStringIndex:
      return PutBytes(out, Type::kString, std::get<Value::kStringIndex>(value));
    case Value::kUInt8ListIndex:
      return PutBytes(out, Type::kUInt8List, std::get<Value::kUInt8ListIndex>(value));
    case Value::kInt32ListIndex:
      return PutArray(out, Type::kInt32List, std::get<Value::kInt32ListIndex>(value));
    case Value::kInt64ListIndex:
      return PutArray(out, Type::kInt64List, std::get<Value::kInt64ListIndex>(value));
    case Value::kDoubleListIndex:
      return PutArray(out, Type::kFloat64List, std::get<Value::kDoubleListIndex>(value));
    case Value::kFloatListIndex:
      return PutArray(out, Type::kFloat32List, std::get<Value::kFloatListIndex>(value));
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
    case Value::kCustomIndex: out.Code(Type::kNull); return ReportCustomValue();
  }
  out.Code(Type::kNull);  // valueless after a failed assignment: nothing to say
}

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
  void Header(Type code, const SizePrefix& size) {
    Code(code);
    Size(size);
  }
  // A header and the body after it; an empty body is no call at all.
  void Sized(Type code, const SizePrefix& size, const void* body, size_t count) {
    Header(code, size);
    if (count != 0) Bytes(body, count);
  }
  void Number(Type code, uint8_t alignment, const void* number, size_t width) {
    Code(code);
    if (alignment > 1) Pad(alignment);
    Bytes(number, width);
  }
  void Bytes(const void* source, size_t count) {
    stream_->WriteBytes(static_cast<const uint8_t*>(source), count);
  }
  void Pad(uint8_t alignment) { stream_->PadToAlignment(alignment); }
  void Nested(const Value& value) { serializer_.WriteValue(value, stream_); }
  // Every nested value goes through the serializer's slot here.
  bool Scalar(const Value&) { return false; }

 private:
  const StandardCodecSerializer& serializer_;
  ByteStreamWriter* stream_;
};

// Code, longest size prefix and padding.
constexpr size_t kHeaderRoom = 1 + 5 + 7;

// Room to reserve before writing `value`: all it takes when it holds no nested values (code,
// longest size prefix, padding, body). For a list or map, a guess from its count that spares a
// typical one any growth of the buffer (each growth copies what was written); larger ones grow
// as they go.
size_t ExpectedSize(const Value& value) {
  // Small enough for glibc to serve from its per-thread cache (up to 1032 bytes), as fast as any.
  constexpr size_t kContainerRoom = 1024;
  const auto body = [&](const auto& container) {
    return kHeaderRoom + container.size() * sizeof(container[0]);
  };
  switch (value.alternative()) {
    case Value::kStringIndex: return body(std::get<Value::kStringIndex>(value));
    case Value::kUInt8ListIndex: return body(std::get<Value::kUInt8ListIndex>(value));
    case Value::kInt32ListIndex: return body(std::get<Value::kInt32ListIndex>(value));
    case Value::kInt64ListIndex: return body(std::get<Value::kInt64ListIndex>(value));
    case Value::kDoubleListIndex: return body(std::get<Value::kDoubleListIndex>(value));
    case Value::kFloatListIndex: return body(std::get<Value::kFloatListIndex>(value));
    case Value::kListIndex:
      return std::max(kContainerRoom, 8 * std::get<Value::kListIndex>(value).size());
    case Value::kMapIndex:
      return std::max(kContainerRoom, 24 * std::get<Value::kMapIndex>(value).size());
    case Value::kNullIndex:
    case Value::kBoolIndex:
    case Value::kInt32Index:
    case Value::kInt64Index:
    case Value::kDoubleIndex:
    case Value::kCustomIndex: break;
  }
  return kHeaderRoom + 8;
}

// A derived serializer sees every value through its WriteValue, string parts included; its
// writer counts alignment from the start of the vector it gets, so a message appended after other
// bytes is written on its own first.
void WriteThroughSlots(const StandardCodecSerializer& serializer, std::optional<uint8_t> flag,
                       std::span<const internal::MessagePart> parts, std::vector<uint8_t>* bytes) {
  if (!bytes->empty()) {
    std::vector<uint8_t> message;
    WriteThroughSlots(serializer, flag, parts, &message);
    bytes->insert(bytes->end(), message.begin(), message.end());
    return;
  }
  ByteBufferStreamWriter stream(bytes);
  if (flag) stream.WriteByte(*flag);
  for (const internal::MessagePart& part : parts) {
    serializer.WriteValue(part.string ? EncodableValue(*part.string) : *part.value, &stream);
  }
}

}  // namespace

template <typename Sink>
void internal::BufferOutput<Sink>::Nested(const EncodableValue& value) {
  PutValue(*this, value);
}

namespace {

template <typename Bytes>
void WriteStandardMessage(std::optional<uint8_t> flag, std::span<const internal::MessagePart> parts,
                          Bytes* bytes) {
  using internal::MessagePart;
  size_t expected = 1;
  for (const MessagePart& part : parts) {
    expected += part.string ? kHeaderRoom + part.string->size() : ExpectedSize(*part.value);
  }
  BufferOutput out(*bytes, expected, bytes->size());
  if (flag) out.Byte(*flag);
  for (const MessagePart& part : parts) {
    if (part.string) {
      if (!out.ShortString(*part.string)) PutBytes(out, Type::kString, *part.string);
    } else {
      PutElement(out, *part.value);
    }
  }
  out.Finish();
}

}  // namespace

void internal::WriteAnyMessage(const StandardCodecSerializer& serializer,
                               std::optional<uint8_t> flag, std::span<const MessagePart> parts,
                               std::vector<uint8_t>* bytes) {
  if (!IsStandardSerializer(serializer)) return WriteThroughSlots(serializer, flag, parts, bytes);
  WriteStandardMessage(flag, parts, bytes);
}

void internal::WriteAnyMessage(const StandardCodecSerializer& serializer,
                               std::optional<uint8_t> flag, std::span<const MessagePart> parts,
                               MessageBytes* bytes) {
  if (IsStandardSerializer(serializer)) return WriteStandardMessage(flag, parts, bytes);
  // A derived serializer writes through a stream writer, which writes to a vector.
  std::vector<uint8_t> message;
  WriteThroughSlots(serializer, flag, parts, &message);
  bytes->Append(message.data(), message.size());
}

const StandardCodecSerializer& StandardCodecSerializer::SharedInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  // Straight to the vector only for the serializer and writer of exactly these classes: a derived
  // one may watch or change every call.
  if (internal::IsStandardSerializer(*this) && typeid(*stream) == typeid(ByteBufferStreamWriter)) {
    BufferOutput out(*static_cast<ByteBufferStreamWriter*>(stream)->buffer(), ExpectedSize(value),
                     0);
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
