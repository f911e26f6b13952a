// Writing: one encoding body for every value, a template over where its bytes go.
//
// The body (PutValue and the helpers before it) runs on two outputs:
//   - BufferOutput appends straight to the vector of a plain ByteBufferStreamWriter, used when
//     neither the serializer nor the writer is a derived class. Nothing can observe the separate
//     calls then, so it may skip them: no virtual call per byte or per nested value.
//   - StreamOutput makes the ByteStreamWriter calls one by one and hands each nested value to the
//     virtual WriteValue, so that a derived serializer or writer sees every call it always saw.
// Both therefore write the same bytes, and the size prefix is written in one place for both.
#include "codec/standard_codec_serializer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>
#include <typeinfo>
#include <vector>

#include "codec/message_writer.h"

namespace flutter {

// Numbers and typed arrays go out as raw host-layout bytes; the wire is little-endian.
static_assert(std::endian::native == std::endian::little,
              "the standard encoding is little-endian and is copied in host layout");
static_assert(sizeof(float) == 4 && sizeof(double) == 8);

namespace {

using Type = StandardCodecType;
using Value = EncodableValue;

constexpr uint64_t kMaxWireSize = std::numeric_limits<uint32_t>::max();

void ReportTooLong(size_t count) {
  std::cerr << "Value too long for StandardCodecSerializer::WriteValue: " << count << " elements"
            << std::endl;
}

void ReportCustomValue() {
  std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
            << "Custom types require codec extensions." << std::endl;
}

// The size prefix as it goes on the wire: the first byte, then 0, 2 or 4 more, held as the low
// bytes of one little-endian word. A word rather than a byte array, so that it is built and
// copied in registers: a byte store read back as a wider load stalls the copy.
struct SizePrefix {
  explicit SizePrefix(uint32_t size) {
    if (size < 254) {
      word = size;
      length = 1;
    } else if (size <= 0xFFFF) {
      word = 254 | uint64_t{size} << 8;
      length = 3;
    } else {
      word = 255 | uint64_t{size} << 8;
      length = 5;
    }
  }
  uint64_t word;
  size_t length;
};

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

template <typename Output>
void PutValue(Output& out, const Value& value) {
  switch (value.index()) {
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
      for (const Value& element : list) out.Nested(element);
      return;
    }
    case Value::kMapIndex: {
      const EncodableMap& map = std::get<Value::kMapIndex>(value);
      if (!PutHeader(out, Type::kMap, map.size())) return;
      for (const auto& [key, entry] : map) {
        out.Nested(key);
        out.Nested(entry);
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

 private:
  const StandardCodecSerializer& serializer_;
  ByteStreamWriter* stream_;
};

// Appends to the vector itself. While it works, the vector's size covers its whole capacity and
// `used_` marks the end of the message, so appending is a bounds check and a copy, and each
// piece of the wire (a code with its size prefix, a number with its padding) is one such append;
// the destructor trims the vector back to what was written.
class BufferOutput {
 public:
  // Reserves room for `expected` more bytes, and for a short message (a method call with its
  // arguments, a reply) in the first allocation: a fresh vector grown byte by byte would
  // reallocate at 1, 2, 4, ... bytes.
  BufferOutput(std::vector<uint8_t>& bytes, size_t expected) : bytes_(bytes), used_(bytes.size()) {
    const size_t wanted = std::max(used_ + expected, kFirstRoom);
    if (bytes_.capacity() == 0 && wanted <= kChunk) {
      bytes_.resize(wanted);  // a fresh vector for a short message: room and zeros in one call
      data_ = bytes_.data();
      end_ = bytes_.size();
      return;
    }
    if (wanted > bytes_.capacity()) bytes_.reserve(wanted);
    Expose(used_);
  }
  ~BufferOutput() { bytes_.resize(used_); }
  BufferOutput(const BufferOutput&) = delete;
  BufferOutput& operator=(const BufferOutput&) = delete;

  void Byte(uint8_t byte) {
    Room(1);
    data_[used_++] = byte;
  }
  void Code(Type code) { Byte(static_cast<uint8_t>(code)); }

  void Header(Type code, const SizePrefix& size) {
    Room(1 + sizeof size.word);
    data_[used_] = static_cast<uint8_t>(code);
    std::memcpy(data_ + used_ + 1, &size.word, sizeof size.word);
    used_ += 1 + size.length;
  }

  void Sized(Type code, const SizePrefix& size, const void* body, size_t count) {
    if (count >= kBulkBody) {
      Header(code, size);
      return Append(static_cast<const uint8_t*>(body), count);
    }
    // The common short string: code, size and body under a single bounds check.
    Room(1 + sizeof size.word + count);
    uint8_t* out = data_ + used_;
    out[0] = static_cast<uint8_t>(code);
    std::memcpy(out + 1, &size.word, sizeof size.word);
    if (count != 0) std::memcpy(out + 1 + size.length, body, count);  // an empty vector's is null
    used_ += 1 + size.length + count;
  }

  void Number(Type code, uint8_t alignment, const void* number, size_t width) {
    const size_t padding = (alignment - (used_ + 1) % alignment) % alignment;
    Room(1 + padding + width);
    uint8_t* out = data_ + used_;
    out[0] = static_cast<uint8_t>(code);
    std::memset(out + 1, 0, padding);
    std::memcpy(out + 1 + padding, number, width);
    used_ += 1 + padding + width;
  }

  void Bytes(const void* source, size_t count) {
    if (count >= kBulkBody) return Append(static_cast<const uint8_t*>(source), count);
    Room(count);
    std::memcpy(data_ + used_, source, count);
    used_ += count;
  }

  void Pad(uint8_t alignment) {
    const size_t padding = (alignment - used_ % alignment) % alignment;
    Room(padding);
    std::memset(data_ + used_, 0, padding);
    used_ += padding;
  }

  // Strings first, by a plain test: most nested values are map keys, nearly always strings, and a
  // well-predicted branch costs less than the jump table that PutValue dispatches through.
  void Nested(const Value& value) {
    if (const auto* string = std::get_if<std::string>(&value)) {
      return PutBytes(*this, Type::kString, *string);
    }
    PutValue(*this, value);
  }

 private:
  static constexpr size_t kFirstRoom = 128;
  // Room made addressable at a time; zeroed first, so kept small enough to stay in cache.
  static constexpr size_t kChunk = 4096;
  // Bodies from this size on are appended by the vector itself: exposing room for them first
  // would write every byte twice (zeros, then the body).
  static constexpr size_t kBulkBody = 256;

  // Makes at least `wanted` bytes addressable (beyond that, up to kChunk more when the capacity
  // allows). The capacity grows fourfold when short: each growth copies the message so far into
  // memory that is not in cache yet, which costs more than the spare room.
  void Expose(size_t wanted) {
    bytes_.resize(used_);
    if (wanted > bytes_.capacity()) bytes_.reserve(std::max(wanted, bytes_.capacity() * 4));
    bytes_.resize(std::min(bytes_.capacity(), std::max(wanted, used_ + kChunk)));
    data_ = bytes_.data();
    end_ = bytes_.size();
  }

  void Room(size_t count) {
    if (count > end_ - used_) Expose(used_ + count);
  }

  void Append(const uint8_t* source, size_t count) {
    bytes_.resize(used_);
    bytes_.insert(bytes_.end(), source, source + count);
    used_ = bytes_.size();
    Expose(used_);
  }

  std::vector<uint8_t>& bytes_;
  size_t used_;
  uint8_t* data_ = nullptr;
  size_t end_ = 0;
};

// Room to reserve before writing `value`: all it takes when it holds no nested values (code,
// longest size prefix, padding, body). For a list or map, a guess from its count that spares a
// typical one any growth of the buffer (each growth copies what was written); larger ones grow
// as they go.
size_t ExpectedSize(const Value& value) {
  constexpr size_t kHeader = 1 + 5 + 7;
  // Small enough for glibc to serve from its per-thread cache (up to 1032 bytes), as fast as any.
  constexpr size_t kContainerRoom = 1024;
  const auto body = [&](const auto& container) {
    return kHeader + container.size() * sizeof(container[0]);
  };
  switch (value.index()) {
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
    default: return kHeader + 8;
  }
}

// WriteValue appends straight to the vector only for the serializer and writer of exactly these
// classes: a derived one may watch or change every call.
bool WritesDirectly(const StandardCodecSerializer& serializer) {
  return typeid(serializer) == typeid(StandardCodecSerializer);
}

}  // namespace

std::unique_ptr<std::vector<uint8_t>> internal::WriteMessage(
    const StandardCodecSerializer& serializer, std::optional<uint8_t> flag,
    std::initializer_list<const EncodableValue*> values) {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  if (!WritesDirectly(serializer)) {
    ByteBufferStreamWriter stream(bytes.get());
    if (flag) stream.WriteByte(*flag);
    for (const EncodableValue* value : values) serializer.WriteValue(*value, &stream);
    return bytes;
  }
  size_t expected = 1;
  for (const EncodableValue* value : values) expected += ExpectedSize(*value);
  {
    BufferOutput out(*bytes, expected);  // trims the vector when it goes
    if (flag) out.Byte(*flag);
    for (const EncodableValue* value : values) out.Nested(*value);
  }
  return bytes;
}

const StandardCodecSerializer& StandardCodecSerializer::SharedInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  if (WritesDirectly(*this) && typeid(*stream) == typeid(ByteBufferStreamWriter)) {
    BufferOutput out(*static_cast<ByteBufferStreamWriter*>(stream)->buffer(), ExpectedSize(value));
    return PutValue(out, value);
  }
  StreamOutput out(*this, stream);
  PutValue(out, value);
}

void StandardCodecSerializer::WriteSize(uint32_t size, ByteStreamWriter* stream) const {
  StreamOutput(*this, stream).Size(SizePrefix(size));
}

}  // namespace flutter
