// The standard value encoding: byte layouts, size prefixes, alignment, short input and the
// diagnostic lines, on the shared serializer; each table both through the plain buffer streams and
// call by call through derived ones, and the reading tables with the message at every address
// offset.
#include "codec/standard_codec_serializer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "codec_test_support.h"

namespace flutter {
namespace {

using codec_test::CallByCallReader;
using codec_test::CallByCallWriter;
using codec_test::CerrCapture;
using codec_test::Describe;
using codec_test::Hex;
using codec_test::kAddressOffsets;
using codec_test::kPaths;
using codec_test::MessageAt;
using codec_test::Name;
using codec_test::Path;
using codec_test::ToHex;

using codec_test::kInvalidRead;

const StandardCodecSerializer& Serializer() { return StandardCodecSerializer::SharedInstance(); }

std::vector<uint8_t> Encode(const EncodableValue& value, std::vector<uint8_t> buffer = {},
                            Path path = Path::kPlainBuffer) {
  ByteBufferStreamWriter plain(&buffer);
  CallByCallWriter call_by_call(&buffer);
  Serializer().WriteValue(value, path == Path::kPlainBuffer
                                     ? &plain
                                     : static_cast<ByteBufferStreamWriter*>(&call_by_call));
  return buffer;
}

struct Decoded {
  EncodableValue value;
  size_t position;
  std::vector<std::string> lines;
};

Decoded Decode(const std::vector<uint8_t>& bytes, size_t start = 0, Path path = Path::kPlainBuffer,
               size_t address_offset = 0) {
  CerrCapture capture;
  const MessageAt message(bytes, address_offset);
  ByteBufferStreamReader plain(message.data(), message.size());
  CallByCallReader call_by_call(message.data(), message.size());
  ByteBufferStreamReader& reader = path == Path::kPlainBuffer ? plain : call_by_call;
  if (start) {
    std::vector<uint8_t> skip(start);
    reader.ReadBytes(skip.data(), start);
  }
  Decoded result{Serializer().ReadValue(&reader), reader.position(), {}};
  result.lines = capture.lines();
  return result;
}

std::string Repeat(char c, size_t n) { return std::string(n, c); }

// Values that write and read back unchanged, as the first value of a buffer.
struct Layout {
  const char* name;
  EncodableValue value;
  std::string hex;
};

std::vector<Layout> Layouts() {
  EncodableMap map;
  map[EncodableValue("b")] = EncodableValue(int32_t{1});
  map[EncodableValue("a")] = EncodableValue(int32_t{2});
  return {
      {"null", EncodableValue(), "00"},
      {"true", EncodableValue(true), "01"},
      {"false", EncodableValue(false), "02"},
      {"int32 1", EncodableValue(int32_t{1}), "03 01000000"},
      {"int32 -1", EncodableValue(int32_t{-1}), "03 ffffffff"},
      {"int32 min", EncodableValue(std::numeric_limits<int32_t>::min()), "03 00000080"},
      {"int64 1", EncodableValue(int64_t{1}), "04 0100000000000000"},
      {"int64 small stays int64", EncodableValue(int64_t{-2}), "04 feffffffffffffff"},
      {"double 1.0", EncodableValue(1.0), "06 00000000000000 000000000000f03f"},
      {"double -0.0", EncodableValue(-0.0), "06 00000000000000 0000000000000080"},
      {"string abc", EncodableValue("abc"), "07 03 616263"},
      {"empty string", EncodableValue(""), "07 00"},
      {"utf-8 kept as bytes", EncodableValue(std::string("\xc3\xa9\xff")), "07 03 c3a9ff"},
      {"bytes", EncodableValue(std::vector<uint8_t>{1, 2}), "08 02 0102"},
      {"empty bytes", EncodableValue(std::vector<uint8_t>{}), "08 00"},
      {"int32s [1]", EncodableValue(std::vector<int32_t>{1}), "09 01 0000 01000000"},
      {"int32s [-1, 2]", EncodableValue(std::vector<int32_t>{-1, 2}),
       "09 02 0000 ffffffff 02000000"},
      {"int64s [1]", EncodableValue(std::vector<int64_t>{1}),
       "0a 01 000000000000 0100000000000000"},
      {"int64s [1, -1, 2]", EncodableValue(std::vector<int64_t>{1, -1, 2}),
       "0a 03 000000000000 0100000000000000 ffffffffffffffff 0200000000000000"},
      {"doubles [1.0]", EncodableValue(std::vector<double>{1.0}),
       "0b 01 000000000000 000000000000f03f"},
      {"doubles [0.5, -2.0]", EncodableValue(std::vector<double>{0.5, -2.0}),
       "0b 02 000000000000 000000000000e03f 00000000000000c0"},
      {"floats [1.0]", EncodableValue(std::vector<float>{1.0f}), "0e 01 0000 0000803f"},
      {"floats [1.0, -2.0, 0.5]", EncodableValue(std::vector<float>{1.0f, -2.0f, 0.5f}),
       "0e 03 0000 0000803f 000000c0 0000003f"},
      {"list [1, a]",
       EncodableValue(EncodableList{EncodableValue(int32_t{1}), EncodableValue("a")}),
       "0c 02 03 01000000 07 01 61"},
      {"empty list", EncodableValue(EncodableList{}), "0c 00"},
      {"map in key order", EncodableValue(map), "0d 02 07 01 61 03 02000000 07 01 62 03 01000000"},
      {"empty map", EncodableValue(EncodableMap{}), "0d 00"},
      // Alignment counts from the buffer start, so a nested double's padding depends on what
      // came before it: list header (2) + int32 (5) + code = offset 8, no padding.
      {"double after int32 in list",
       EncodableValue(EncodableList{EncodableValue(int32_t{7}), EncodableValue(2.0)}),
       "0c 02 03 07000000 06 0000000000000040"},
      {"double after bool in list",
       EncodableValue(EncodableList{EncodableValue(true), EncodableValue(2.0)}),
       "0c 02 01 06 00000000 0000000000000040"},
  };
}

TEST(StandardCodecSerializerTest, WritesExactLayouts) {
  for (Path path : kPaths) {
    SCOPED_TRACE(Name(path));
    for (const Layout& layout : Layouts()) {
      SCOPED_TRACE(layout.name);
      EXPECT_EQ(ToHex(Encode(layout.value, {}, path)), ToHex(Hex(layout.hex)));
    }
  }
}

// What a message decodes to must not depend on where in memory it lies.
template <typename Case, typename Check>
void AtEveryAddressOffset(const std::vector<Case>& cases, Check check) {
  for (Path path : kPaths) {
    SCOPED_TRACE(Name(path));
    for (size_t offset = 0; offset < kAddressOffsets; ++offset) {
      SCOPED_TRACE("address offset " + std::to_string(offset));
      for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        check(c, Decode(Hex(c.hex), 0, path, offset));
      }
    }
  }
}

TEST(StandardCodecSerializerTest, ReadsLayoutsBackToEndWithoutDiagnostics) {
  AtEveryAddressOffset(Layouts(), [](const Layout& layout, const Decoded& decoded) {
    EXPECT_EQ(decoded.value.index(), layout.value.index());
    EXPECT_TRUE(decoded.value == layout.value) << Describe(decoded.value);
    EXPECT_EQ(decoded.position, Hex(layout.hex).size());
    EXPECT_TRUE(decoded.lines.empty()) << decoded.lines.front();
  });
}

TEST(StandardCodecSerializerTest, DoublesKeepTheirExactBits) {
  const std::vector<double> values = {std::numeric_limits<double>::denorm_min(), -0.0,
                                      std::numeric_limits<double>::quiet_NaN(),
                                      std::numeric_limits<double>::infinity(), 1e308};
  for (double value : values) {
    SCOPED_TRACE(value);
    const Decoded decoded = Decode(Encode(EncodableValue(value)));
    const double back = std::get<double>(decoded.value);
    EXPECT_EQ(std::memcmp(&back, &value, sizeof value), 0);
  }
}

TEST(StandardCodecSerializerTest, PaddingCountsFromTheBufferStart) {
  struct Case {
    EncodableValue value;
    size_t header;  // code + size prefix before the padding
    size_t width;
  };
  const std::vector<Case> cases = {
      {EncodableValue(1.5), 1, 8},
      {EncodableValue(std::vector<int32_t>{3}), 2, 4},
      {EncodableValue(std::vector<float>{3.0f}), 2, 4},
      {EncodableValue(std::vector<int64_t>{3}), 2, 8},
      {EncodableValue(std::vector<double>{3.0}), 2, 8},
  };
  for (Path path : kPaths) {
    SCOPED_TRACE(Name(path));
    for (size_t prefix = 0; prefix < 16; ++prefix) {
      SCOPED_TRACE(prefix);
      const std::vector<uint8_t> head(prefix, 0xAA);
      for (const Case& c : cases) {
        SCOPED_TRACE(Describe(c.value));
        const std::vector<uint8_t> bytes = Encode(c.value, head, path);
        const size_t data_start = bytes.size() - c.width;
        EXPECT_EQ(data_start % c.width, 0u);
        EXPECT_LT(data_start - (prefix + c.header), c.width);
        for (size_t i = prefix + c.header; i < data_start; ++i) EXPECT_EQ(bytes[i], 0) << i;
        const Decoded decoded = Decode(bytes, prefix, path);
        EXPECT_TRUE(decoded.value == c.value) << Describe(decoded.value);
        EXPECT_EQ(decoded.position, bytes.size());
      }
    }
  }
  // Doubles among strings, past the few kilobytes that the plain writer buffers at a time: the
  // plain path pads each double exactly as the call-by-call path does.
  EncodableList list;
  for (int i = 0; i < 20000; ++i) {
    list.push_back(i % 2 == 0 ? EncodableValue(i + 0.5) : EncodableValue(std::string(i % 7, 'x')));
  }
  for (size_t prefix = 0; prefix < 8; ++prefix) {
    const std::vector<uint8_t> head(prefix, 0xAA);
    EXPECT_TRUE(Encode(EncodableValue(list), head, Path::kPlainBuffer) ==
                Encode(EncodableValue(list), head, Path::kCallByCall))
        << "after " << prefix << " bytes";
  }
}

TEST(StandardCodecSerializerTest, SizePrefixesAtTheirBoundaries) {
  struct Case {
    size_t size;
    std::string prefix;
  };
  const std::vector<Case> cases = {
      {0, "00"},
      {1, "01"},
      {253, "fd"},
      {254, "fe fe00"},
      {255, "fe ff00"},
      {65535, "fe ffff"},
      {65536, "ff 00000100"},
      {70000, "ff 70110100"},
  };
  for (Path path : kPaths) {
    SCOPED_TRACE(Name(path));
    for (const Case& c : cases) {
      SCOPED_TRACE(c.size);
      const std::string text = Repeat('q', c.size);
      const std::vector<uint8_t> bytes = Encode(EncodableValue(text), {}, path);
      const std::vector<uint8_t> prefix = Hex(c.prefix);
      ASSERT_EQ(bytes.size(), 1 + prefix.size() + c.size);
      EXPECT_EQ(bytes[0], static_cast<uint8_t>(StandardCodecType::kString));
      EXPECT_EQ(ToHex({bytes.begin() + 1, bytes.begin() + 1 + prefix.size()}), ToHex(prefix));
      const Decoded decoded = Decode(bytes, 0, path);
      EXPECT_EQ(std::get<std::string>(decoded.value), text);

      // Lists and typed arrays use the same prefix for their counts; an array's elements then
      // start at the next multiple of their width.
      const std::vector<uint8_t> list = Encode(EncodableValue(EncodableList(c.size)), {}, path);
      EXPECT_EQ(ToHex({list.begin() + 1, list.begin() + 1 + prefix.size()}), ToHex(prefix));
      EXPECT_EQ(std::get<EncodableList>(Decode(list, 0, path).value).size(), c.size);
      std::vector<double> numbers(c.size);
      for (size_t i = 0; i < numbers.size(); ++i) numbers[i] = 0.5 * static_cast<double>(i);
      const std::vector<uint8_t> array = Encode(EncodableValue(numbers), {}, path);
      const size_t header = 1 + prefix.size();
      ASSERT_EQ(array.size(), (c.size == 0 ? header : (header + 7) / 8 * 8) + 8 * c.size);
      EXPECT_EQ(ToHex({array.begin() + 1, array.begin() + header}), ToHex(prefix));
      EXPECT_EQ(std::get<std::vector<double>>(Decode(array, 0, path).value), numbers);
    }
  }
}

TEST(StandardCodecSerializerTest, ReaderAcceptsLongerSizeFormsThanNeeded) {
  EXPECT_EQ(std::get<std::string>(Decode(Hex("07 fe 0300 616263")).value), "abc");
  EXPECT_EQ(std::get<std::string>(Decode(Hex("07 ff 03000000 616263")).value), "abc");
  EXPECT_EQ(std::get<std::vector<uint8_t>>(Decode(Hex("08 fe 0100 09")).value),
            std::vector<uint8_t>{9});
}

TEST(StandardCodecSerializerTest, ReaderOnlyForms) {
  struct Case {
    const char* name;
    std::string hex;
    EncodableValue value;
    size_t position;
  };
  const std::vector<Case> cases = {
      {"code 5 reads as a string", "05 03 616263", EncodableValue("abc"), 5},
      // The reader aligns even for an empty array; the writer does not pad one.
      {"empty int32s aligned", "09 00 0000", EncodableValue(std::vector<int32_t>{}), 4},
      {"empty floats aligned", "0e 00 0000", EncodableValue(std::vector<float>{}), 4},
      {"empty int64s aligned", "0a 00 000000000000", EncodableValue(std::vector<int64_t>{}), 8},
      {"empty doubles aligned", "0b 00 000000000000", EncodableValue(std::vector<double>{}), 8},
      {"duplicate map key: first wins", "0d 02 03 01000000 07 01 61 03 01000000 07 01 62",
       EncodableValue(EncodableMap{{EncodableValue(int32_t{1}), EncodableValue("a")}}), 18},
      {"two null entries make one", "0d 02 00 00 00 00",
       EncodableValue(EncodableMap{{EncodableValue(), EncodableValue()}}), 6},
      {"0.0 and -0.0 keys make one",
       "0d 02 06 0000000000 0000000000000000 01 06 000000000000 0000000000000080 02",
       EncodableValue(EncodableMap{{EncodableValue(0.0), EncodableValue(true)}}), 33},
      {"code 3 stays int32 and code 4 int64", "0c 02 03 01000000 04 0100000000000000",
       EncodableValue(EncodableList{EncodableValue(int32_t{1}), EncodableValue(int64_t{1})}), 16},
  };
  AtEveryAddressOffset(cases, [](const Case& c, const Decoded& decoded) {
    EXPECT_EQ(decoded.value.index(), c.value.index());
    EXPECT_TRUE(decoded.value == c.value) << Describe(decoded.value);
    EXPECT_EQ(decoded.position, c.position);
    EXPECT_TRUE(decoded.lines.empty());
  });
}

TEST(StandardCodecSerializerTest, ShortAndUnknownInput) {
  struct Case {
    const char* name;
    std::string hex;
    EncodableValue value;
    size_t position;
    std::vector<std::string> lines;
  };
  const std::string unknown = "Unknown type in StandardCodecSerializer::ReadValueOfType: ";
  const std::vector<Case> cases = {
      {"empty input", "", EncodableValue(), 0, {kInvalidRead}},
      {"short int32", "03 01", EncodableValue(int32_t{0}), 1, {kInvalidRead}},
      {"short int64", "04 01020304050607", EncodableValue(int64_t{0}), 1, {kInvalidRead}},
      {"short double", "06 00000000000000 0000", EncodableValue(0.0), 8, {kInvalidRead}},
      {"double past the end", "06", EncodableValue(0.0), 8, {kInvalidRead}},
      {"short string keeps its length",
       "07 05 6162",
       EncodableValue(Repeat('\0', 5)),
       2,
       {kInvalidRead}},
      {"missing size", "07", EncodableValue(""), 1, {kInvalidRead}},
      {"16-bit size marker without its bytes", "07 fe 01", EncodableValue(""), 2, {kInvalidRead}},
      {"32-bit size marker without its bytes",
       "08 ff 010203",
       EncodableValue(std::vector<uint8_t>{}),
       2,
       {kInvalidRead}},
      {"short bytes", "08 03 01", EncodableValue(std::vector<uint8_t>(3)), 2, {kInvalidRead}},
      {"empty int32s at the very end",
       "09 00",
       EncodableValue(std::vector<int32_t>{}),
       4,
       {kInvalidRead}},
      {"short int32s",
       "09 02 0000 01000000",
       EncodableValue(std::vector<int32_t>(2)),
       4,
       {kInvalidRead}},
      {"short doubles", "0b 01 000000", EncodableValue(std::vector<double>(1)), 8, {kInvalidRead}},
      {"short list reads nulls",
       "0c 03 03",
       EncodableValue(
           EncodableList{EncodableValue(int32_t{0}), EncodableValue(), EncodableValue()}),
       3,
       {kInvalidRead, kInvalidRead, kInvalidRead}},
      {"short map keeps one null key", "0d 03 01",
       EncodableValue(EncodableMap{{EncodableValue(true), EncodableValue()},
                                   {EncodableValue(), EncodableValue()}}),
       3, std::vector<std::string>(5, kInvalidRead)},
      {"unknown code 20", "14 03 01000000", EncodableValue(), 1, {unknown + "20"}},
      {"unknown code 15", "0f", EncodableValue(), 1, {unknown + "15"}},
      {"unknown code 255", "ff", EncodableValue(), 1, {unknown + "255"}},
      {"unknown code inside a list",
       "0c 02 14 03 05000000",
       EncodableValue(EncodableList{EncodableValue(), EncodableValue(int32_t{5})}),
       8,
       {unknown + "20"}},
  };
  AtEveryAddressOffset(cases, [](const Case& c, const Decoded& decoded) {
    EXPECT_EQ(decoded.value.index(), c.value.index()) << Describe(decoded.value);
    EXPECT_TRUE(decoded.value == c.value) << Describe(decoded.value);
    EXPECT_EQ(decoded.position, c.position);
    EXPECT_EQ(decoded.lines, c.lines);
  });
}

TEST(StandardCodecSerializerTest, UnknownCodeLeavesTheNextByteForTheNextValue) {
  const std::vector<uint8_t> bytes = Hex("14 01");
  CerrCapture capture;
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  EXPECT_TRUE(Serializer().ReadValue(&reader).IsNull());
  EXPECT_TRUE(std::get<bool>(Serializer().ReadValue(&reader)));
  EXPECT_EQ(capture.line_count(), 1u);
}

TEST(StandardCodecSerializerTest, CustomValueIsWrittenAsNullWithItsLine) {
  for (Path path : kPaths) {
    SCOPED_TRACE(Name(path));
    CerrCapture capture;
    const std::vector<uint8_t> bytes =
        Encode(EncodableValue(EncodableList{EncodableValue(CustomEncodableValue(3)),
                                            EncodableValue(int32_t{1})}),
               {}, path);
    EXPECT_EQ(ToHex(bytes), ToHex(Hex("0c 02 00 03 01000000")));
    EXPECT_EQ(capture.lines(), std::vector<std::string>{
                                   "Unhandled custom type in StandardCodecSerializer::WriteValue. "
                                   "Custom types require codec extensions."});
    EXPECT_TRUE(capture.complete());
  }
}

TEST(StandardCodecSerializerTest, ReadSizeAndWriteSizeAreInverse) {
  for (uint32_t size : {0u, 253u, 254u, 65535u, 65536u, 0xFFFFFFFFu}) {
    SCOPED_TRACE(size);
    std::vector<uint8_t> bytes;
    ByteBufferStreamWriter writer(&bytes);
    Serializer().WriteSize(size, &writer);
    EXPECT_EQ(bytes.size(), size < 254 ? 1u : size <= 65535 ? 3u : 5u);
    ByteBufferStreamReader reader(bytes.data(), bytes.size());
    EXPECT_EQ(Serializer().ReadSize(&reader), size);
    EXPECT_EQ(reader.position(), bytes.size());
  }
}

// A derived serializer sees every nested value through the virtual slots.
class TaggingSerializer : public StandardCodecSerializer {
 public:
  // A type code of its own, beyond the standard ones.
  static constexpr uint8_t kTagged = 128;

  void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const override {
    if (std::holds_alternative<CustomEncodableValue>(value)) {
      stream->WriteByte(kTagged);
      const int number = std::any_cast<int>(std::get<CustomEncodableValue>(value).value());
      stream->WriteByte(static_cast<uint8_t>(number));
      return;
    }
    StandardCodecSerializer::WriteValue(value, stream);
  }
  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    if (type == kTagged) return EncodableValue(CustomEncodableValue(int{stream->ReadByte()}));
    return StandardCodecSerializer::ReadValueOfType(type, stream);
  }
};

TEST(StandardCodecSerializerTest, DerivedSerializerHandlesNestedCustomValues) {
  TaggingSerializer serializer;
  EncodableMap map;
  map[EncodableValue("k")] = EncodableValue(CustomEncodableValue(9));
  const EncodableValue value(
      EncodableList{EncodableValue(CustomEncodableValue(7)), EncodableValue(map)});
  std::vector<uint8_t> bytes;
  ByteBufferStreamWriter writer(&bytes);
  serializer.WriteValue(value, &writer);
  EXPECT_EQ(ToHex(bytes), ToHex(Hex("0c 02 80 07 0d 01 07 01 6b 80 09")));
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  const EncodableValue back = serializer.ReadValue(&reader);
  const auto& list = std::get<EncodableList>(back);
  EXPECT_EQ(std::any_cast<int>(std::get<CustomEncodableValue>(list[0]).value()), 7);
  const auto& inner = std::get<EncodableMap>(list[1]);
  EXPECT_EQ(
      std::any_cast<int>(std::get<CustomEncodableValue>(inner.at(EncodableValue("k"))).value()), 9);
}

TEST(ByteStreamsTest, ReaderPrimitives) {
  const std::vector<uint8_t> bytes = Hex("01 02 03");
  CerrCapture capture;
  ByteBufferStreamReader reader(bytes.data(), bytes.size());
  EXPECT_EQ(reader.ReadByte(), 1);
  uint8_t two[2] = {0xEE, 0xEE};
  reader.ReadBytes(two, 3);  // too long: nothing copied, position kept
  EXPECT_EQ(two[0], 0xEE);
  EXPECT_EQ(reader.position(), 1u);
  reader.ReadBytes(two, 2);
  EXPECT_EQ(two[1], 3);
  EXPECT_EQ(reader.ReadByte(), 0);  // at the end
  EXPECT_EQ(reader.position(), 3u);
  reader.ReadBytes(two, 0);  // zero bytes at the end: fine
  reader.SkipToAlignment(8);
  EXPECT_EQ(reader.position(), 8u);
  reader.ReadBytes(two, 0);  // zero bytes beyond the end: fails
  reader.ReadBytes(two, std::numeric_limits<size_t>::max());
  EXPECT_EQ(capture.lines(), std::vector<std::string>(4, kInvalidRead));
  EXPECT_TRUE(capture.complete());
}

TEST(ByteStreamsTest, WriterAppendsAndPadsFromTheVectorLength) {
  std::vector<uint8_t> buffer = {0xAA, 0xBB, 0xCC};
  ByteBufferStreamWriter writer(&buffer);
  writer.PadToAlignment(4);
  writer.WriteByte(1);
  writer.PadToAlignment(4);
  writer.PadToAlignment(8);
  const uint8_t data[2] = {7, 8};
  writer.WriteBytes(data, 2);
  EXPECT_EQ(ToHex(buffer), ToHex(Hex("aabbcc 00 01 000000 07 08")));
}

}  // namespace
}  // namespace flutter
