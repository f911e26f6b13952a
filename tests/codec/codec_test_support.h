// Helpers shared by the codec tests: hex literals, streams that take the call-by-call path,
// messages placed at an address offset, capture of the diagnostic lines written to std::cerr, and
// a meter of heap bytes allocated while decoding.
#ifndef ORVALEN_TESTS_CODEC_CODEC_TEST_SUPPORT_H_
#define ORVALEN_TESTS_CODEC_CODEC_TEST_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <streambuf>
#include <string>
#include <vector>

#include "codec/byte_streams.h"
#include "codec/encodable_value.h"

namespace codec_test {

// Streams of a class of their own: the serializer cannot use the plain buffer streams' bytes
// directly and makes the stream calls one by one, the way it serves any derived stream.
class CallByCallWriter : public flutter::ByteBufferStreamWriter {
 public:
  using ByteBufferStreamWriter::ByteBufferStreamWriter;
};

class CallByCallReader : public flutter::ByteBufferStreamReader {
 public:
  using ByteBufferStreamReader::ByteBufferStreamReader;
};

// The two ways a value gets written and read; the exact-layout tables run through both.
enum class Path { kPlainBuffer, kCallByCall };
inline constexpr Path kPaths[] = {Path::kPlainBuffer, Path::kCallByCall};

inline const char* Name(Path path) {
  return path == Path::kPlainBuffer ? "plain buffer streams" : "call by call";
}

// The engine may hand a message at any address, while alignment inside a message counts from its
// first byte; the reading tables run at every offset from an 8-byte boundary, the widest
// alignment of the wire.
inline constexpr size_t kAddressOffsets = 8;

// A copy of a message starting `offset` bytes past an 8-byte boundary, in an allocation that ends
// where the message ends, so that AddressSanitizer still sees a read past it.
class MessageAt {
 public:
  MessageAt(const std::vector<uint8_t>& bytes, size_t offset);
  const uint8_t* data() const { return arena_.data() + offset_; }
  size_t size() const { return arena_.size() - offset_; }

 private:
  std::vector<uint8_t> arena_;
  size_t offset_;
};

// The reader's line for every failed read.
inline constexpr char kInvalidRead[] = "Invalid read in StandardCodecByteStreamReader";

// "07 03 61 62 63" -> bytes; spaces ignored.
std::vector<uint8_t> Hex(const std::string& text);
std::string ToHex(const std::vector<uint8_t>& bytes);

// A readable rendering of a value for failure messages.
std::string Describe(const flutter::EncodableValue& value);

// Replaces std::cerr's buffer while alive. Keeps the first `kept_lines` lines and counts all.
class CerrCapture {
 public:
  explicit CerrCapture(size_t kept_lines = 64);
  ~CerrCapture();
  CerrCapture(const CerrCapture&) = delete;
  CerrCapture& operator=(const CerrCapture&) = delete;

  const std::vector<std::string>& lines() const { return buffer_.lines; }
  size_t line_count() const { return buffer_.count; }
  // True when every line ended with a newline (nothing left pending).
  bool complete() const { return buffer_.current.empty(); }

 private:
  struct LineBuffer : std::streambuf {
    size_t kept = 0;
    size_t count = 0;
    std::vector<std::string> lines;
    std::string current;
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
  };
  LineBuffer buffer_;
  std::streambuf* previous_;
};

// Peak heap bytes allocated (above the level at construction) while alive. Needs the
// AddressSanitizer allocator hooks; available() is false without them.
class AllocationMeter {
 public:
  AllocationMeter();
  ~AllocationMeter();
  AllocationMeter(const AllocationMeter&) = delete;
  AllocationMeter& operator=(const AllocationMeter&) = delete;
  static bool available();
  size_t peak_bytes() const;
};

}  // namespace codec_test

#endif  // ORVALEN_TESTS_CODEC_CODEC_TEST_SUPPORT_H_
