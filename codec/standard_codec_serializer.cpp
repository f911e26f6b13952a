#include "codec/standard_codec_serializer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iostream>
#include <limits>
#include <string>
#include <typeinfo>
#include <vector>

namespace flutter {

// Typed arrays and numbers move as raw host-layout bytes; the wire is little-endian.
static_assert(std::endian::native == std::endian::little,
              "the standard encoding is little-endian and is copied in host layout");
static_assert(sizeof(float) == 4 && sizeof(double) == 8);

namespace {

enum TypeCode : uint8_t {
  kNull = 0,
  kTrue = 1,
  kFalse = 2,
  kInt32 = 3,
  kInt64 = 4,
  kLargeInt = 5,  // read as a string, never written
  kFloat64 = 6,
  kString = 7,
  kUInt8List = 8,
  kInt32List = 9,
  kInt64List = 10,
  kFloat64List = 11,
  kList = 12,
  kMap = 13,
  kFloat32List = 14,
};

constexpr uint64_t kMaxWireSize = std::numeric_limits<uint32_t>::max();

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
  if (count <= ReadLimits::kTrustedAnnouncement ||
      remaining == ByteStreamReader::kUnknownRemaining || needed_bytes <= remaining) {
    return false;
  }
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

template <typename T>
void WriteTypedArray(const std::vector<T>& array, const StandardCodecSerializer& serializer,
                     ByteStreamWriter* stream) {
  serializer.WriteSize(static_cast<uint32_t>(array.size()), stream);
  if (array.empty()) return;
  stream->PadToAlignment(sizeof(T));
  stream->WriteBytes(reinterpret_cast<const uint8_t*>(array.data()), array.size() * sizeof(T));
}

size_t WireCount(const EncodableValue& value) {
  switch (value.index()) {
    case 5: return std::get<5>(value).size();
    case 6: return std::get<6>(value).size();
    case 7: return std::get<7>(value).size();
    case 8: return std::get<8>(value).size();
    case 9: return std::get<9>(value).size();
    case 10: return std::get<10>(value).size();
    case 11: return std::get<11>(value).size();
    case 13: return std::get<13>(value).size();
    default: return 0;
  }
}

void ReportTooLong(size_t count) {
  std::cerr << "Value too long for StandardCodecSerializer::WriteValue: " << count << " elements"
            << std::endl;
}

void ReportCustomValue() {
  std::cerr << "Unhandled custom type in StandardCodecSerializer::WriteValue. "
            << "Custom types require codec extensions." << std::endl;
}

// Writes a whole value straight into the vector of a plain ByteBufferStreamWriter, without a
// virtual call per byte and per nested value. Used only when neither the serializer nor the
// writer is a derived class: then nothing can observe the individual calls, and the bytes are
// exactly those that the virtual path in WriteValue produces.
//
// While it works, the vector's size covers its whole capacity and `used_` marks the end of the
// message, so appending is a bounds check and a copy. The destructor trims the vector back to
// what was written.
class DirectWriter {
 public:
  explicit DirectWriter(std::vector<uint8_t>& bytes) : bytes_(bytes), used_(bytes.size()) {
    // A fresh vector grown byte by byte reallocates at 1, 2, 4, ... bytes; a short message (a
    // method call with its arguments, a reply) fits in the first allocation.
    Expose(std::max(used_, kFirstRoom));
  }
  ~DirectWriter() { bytes_.resize(used_); }
  DirectWriter(const DirectWriter&) = delete;
  DirectWriter& operator=(const DirectWriter&) = delete;

  void Value(const EncodableValue& value) {
    switch (value.index()) {
      case 0: Code(kNull); return;
      case 1: Code(std::get<1>(value) ? kTrue : kFalse); return;
      case 2: Scalar(kInt32, std::get<2>(value), 0); return;
      case 3: Scalar(kInt64, std::get<3>(value), 0); return;
      case 4: Scalar(kFloat64, std::get<4>(value), (8 - (used_ + 1) % 8) % 8); return;
      case 5: Body(kString, std::get<5>(value)); return;
      case 6: Body(kUInt8List, std::get<6>(value)); return;
      case 7: Array(kInt32List, std::get<7>(value)); return;
      case 8: Array(kInt64List, std::get<8>(value)); return;
      case 9: Array(kFloat64List, std::get<9>(value)); return;
      case 10: {
        const EncodableList& list = std::get<10>(value);
        if (!Header(kList, list.size())) return;
        for (const EncodableValue& element : list) Value(element);
        return;
      }
      case 11: {
        const EncodableMap& map = std::get<11>(value);
        if (!Header(kMap, map.size())) return;
        for (const auto& [key, entry] : map) {
          Value(key);
          Value(entry);
        }
        return;
      }
      case 12:
        Code(kNull);
        ReportCustomValue();
        return;
      case 13: Array(kFloat32List, std::get<13>(value)); return;
    }
    Code(kNull);  // valueless: nothing to say, as on the virtual path
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

  void Code(uint8_t code) {
    Room(1);
    data_[used_++] = code;
  }

  // A code byte, `padding` zero bytes and a number's bytes.
  template <typename T>
  void Scalar(uint8_t code, T number, size_t padding) {
    Room(1 + padding + sizeof(T));
    uint8_t* out = data_ + used_;
    out[0] = code;
    if (padding != 0) std::memset(out + 1, 0, padding);
    std::memcpy(out + 1 + padding, &number, sizeof(T));
    used_ += 1 + padding + sizeof(T);
  }

  void Put(const void* source, size_t count) {
    if (count >= kBulkBody) {
      bytes_.resize(used_);
      const auto* first = static_cast<const uint8_t*>(source);
      bytes_.insert(bytes_.end(), first, first + count);
      used_ = bytes_.size();
      Expose(bytes_.capacity());
      return;
    }
    Room(count);
    std::memcpy(data_ + used_, source, count);
    used_ += count;
  }

  // The type code and size prefix of a sized value, and the padding before the first element
  // (`alignment` 1: none); false, after writing null and the line, when the size does not fit
  // the prefix.
  bool Header(uint8_t type, size_t size, size_t alignment = 1) {
    if (size > kMaxWireSize) {
      Code(kNull);
      ReportTooLong(size);
      return false;
    }
    // Code, prefix of at most 5 bytes, padding of at most 7.
    Room(13);
    uint8_t* out = data_ + used_;
    out[0] = type;
    size_t length = 2;
    if (size < 254) {
      out[1] = static_cast<uint8_t>(size);
    } else if (size <= 0xFFFF) {
      out[1] = 254;
      const uint16_t value = static_cast<uint16_t>(size);
      std::memcpy(out + 2, &value, 2);
      length = 4;
    } else {
      out[1] = 255;
      const uint32_t value = static_cast<uint32_t>(size);
      std::memcpy(out + 2, &value, 4);
      length = 6;
    }
    // Empty arrays are written without padding.
    const size_t remainder = (used_ + length) % alignment;
    if (size != 0 && remainder != 0) {
      std::memset(out + length, 0, alignment - remainder);
      length += alignment - remainder;
    }
    used_ += length;
    return true;
  }

  template <typename Container>
  void Body(uint8_t type, const Container& body) {
    const size_t size = body.size();
    if (size < 254) {
      // The common short string: code, one-byte size and body under a single bounds check.
      Room(2 + size);
      uint8_t* out = data_ + used_;
      out[0] = type;
      out[1] = static_cast<uint8_t>(size);
      if (size != 0) std::memcpy(out + 2, body.data(), size);
      used_ += 2 + size;
      return;
    }
    if (!Header(type, size)) return;
    Put(body.data(), size);
  }

  template <typename T>
  void Array(uint8_t type, const std::vector<T>& array) {
    if (!Header(type, array.size(), sizeof(T)) || array.empty()) return;
    Put(array.data(), array.size() * sizeof(T));
  }

  std::vector<uint8_t>& bytes_;
  size_t used_;
  uint8_t* data_ = nullptr;
  size_t end_ = 0;
};

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

const StandardCodecSerializer& StandardCodecSerializer::SharedInstance() {
  static const StandardCodecSerializer instance;
  return instance;
}

void StandardCodecSerializer::WriteSize(uint32_t size, ByteStreamWriter* stream) const {
  if (size < 254) {
    stream->WriteByte(static_cast<uint8_t>(size));
  } else if (size <= 0xFFFF) {
    stream->WriteByte(254);
    const uint16_t value = static_cast<uint16_t>(size);
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(&value), 2);
  } else {
    stream->WriteByte(255);
    stream->WriteBytes(reinterpret_cast<const uint8_t*>(&size), 4);
  }
}

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

void StandardCodecSerializer::WriteValue(const EncodableValue& value,
                                         ByteStreamWriter* stream) const {
  if (typeid(*this) == typeid(StandardCodecSerializer) &&
      typeid(*stream) == typeid(ByteBufferStreamWriter)) {
    DirectWriter(*static_cast<ByteBufferStreamWriter*>(stream)->buffer()).Value(value);
    return;
  }
  // The size prefix has 32 bits; a longer value cannot be described, so it goes out as null
  // rather than as a prefix that lies about the bytes after it.
  if (WireCount(value) > kMaxWireSize) {
    stream->WriteByte(kNull);
    ReportTooLong(WireCount(value));
    return;
  }
  switch (value.index()) {
    case 0: stream->WriteByte(kNull); return;
    case 1: stream->WriteByte(std::get<1>(value) ? kTrue : kFalse); return;
    case 2: {
      stream->WriteByte(kInt32);
      const int32_t number = std::get<2>(value);
      stream->WriteBytes(reinterpret_cast<const uint8_t*>(&number), 4);
      return;
    }
    case 3: {
      stream->WriteByte(kInt64);
      const int64_t number = std::get<3>(value);
      stream->WriteBytes(reinterpret_cast<const uint8_t*>(&number), 8);
      return;
    }
    case 4: {
      stream->WriteByte(kFloat64);
      stream->PadToAlignment(8);
      const double number = std::get<4>(value);
      stream->WriteBytes(reinterpret_cast<const uint8_t*>(&number), 8);
      return;
    }
    case 5: {
      stream->WriteByte(kString);
      const std::string& string = std::get<5>(value);
      WriteSize(static_cast<uint32_t>(string.size()), stream);
      if (!string.empty()) {
        stream->WriteBytes(reinterpret_cast<const uint8_t*>(string.data()), string.size());
      }
      return;
    }
    case 6: {
      stream->WriteByte(kUInt8List);
      const std::vector<uint8_t>& bytes = std::get<6>(value);
      WriteSize(static_cast<uint32_t>(bytes.size()), stream);
      if (!bytes.empty()) stream->WriteBytes(bytes.data(), bytes.size());
      return;
    }
    case 7:
      stream->WriteByte(kInt32List);
      WriteTypedArray(std::get<7>(value), *this, stream);
      return;
    case 8:
      stream->WriteByte(kInt64List);
      WriteTypedArray(std::get<8>(value), *this, stream);
      return;
    case 9:
      stream->WriteByte(kFloat64List);
      WriteTypedArray(std::get<9>(value), *this, stream);
      return;
    case 10: {
      stream->WriteByte(kList);
      const EncodableList& list = std::get<10>(value);
      WriteSize(static_cast<uint32_t>(list.size()), stream);
      for (const EncodableValue& element : list) WriteValue(element, stream);
      return;
    }
    case 11: {
      stream->WriteByte(kMap);
      const EncodableMap& map = std::get<11>(value);
      WriteSize(static_cast<uint32_t>(map.size()), stream);
      for (const auto& [key, entry] : map) {
        WriteValue(key, stream);
        WriteValue(entry, stream);
      }
      return;
    }
    case 12:
      stream->WriteByte(kNull);
      ReportCustomValue();
      return;
    case 13:
      stream->WriteByte(kFloat32List);
      WriteTypedArray(std::get<13>(value), *this, stream);
      return;
  }
  // Only a valueless variant (a failed assignment) gets here; it has nothing to say.
  stream->WriteByte(kNull);
}

EncodableValue StandardCodecSerializer::ReadValueOfType(uint8_t type,
                                                        ByteStreamReader* stream) const {
  switch (type) {
    case kNull: return EncodableValue();
    case kTrue: return EncodableValue(true);
    case kFalse: return EncodableValue(false);
    case kInt32: {
      int32_t number = 0;
      stream->ReadBytes(reinterpret_cast<uint8_t*>(&number), 4);
      return EncodableValue(number);
    }
    case kInt64: {
      int64_t number = 0;
      stream->ReadBytes(reinterpret_cast<uint8_t*>(&number), 8);
      return EncodableValue(number);
    }
    case kFloat64: {
      stream->SkipToAlignment(8);
      double number = 0;
      stream->ReadBytes(reinterpret_cast<uint8_t*>(&number), 8);
      return EncodableValue(number);
    }
    case kLargeInt:
    case kString: {
      const uint32_t size = ReadSize(stream);
      if (!AdmitBody(size, 1, stream)) return EncodableValue();
      return EncodableValue(ReadBody<std::string>(size, stream));
    }
    case kUInt8List: {
      const uint32_t size = ReadSize(stream);
      if (!AdmitBody(size, 1, stream)) return EncodableValue();
      return EncodableValue(ReadBody<std::vector<uint8_t>>(size, stream));
    }
    case kInt32List: return ReadTypedArray<int32_t>(*this, stream);
    case kInt64List: return ReadTypedArray<int64_t>(*this, stream);
    case kFloat64List: return ReadTypedArray<double>(*this, stream);
    case kFloat32List: return ReadTypedArray<float>(*this, stream);
    case kList: {
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
    case kMap: {
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
