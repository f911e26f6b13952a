#include "codec_test_support.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sstream>
#include <stdexcept>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORVALEN_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define ORVALEN_TEST_ASAN 1
#endif

#ifdef ORVALEN_TEST_ASAN
// Declared here: GCC's libasan exports these but does not install clang's header for them.
extern "C" {
int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                              void (*free_hook)(const volatile void*));
size_t __sanitizer_get_allocated_size(const volatile void* p);
}
#endif

namespace codec_test {

std::vector<uint8_t> Hex(const std::string& text) {
  std::vector<uint8_t> bytes;
  int high = -1;
  for (char c : text) {
    int nibble;
    if (c >= '0' && c <= '9')
      nibble = c - '0';
    else if (c >= 'a' && c <= 'f')
      nibble = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
      nibble = c - 'A' + 10;
    else if (c == ' ')
      continue;
    else
      throw std::invalid_argument("bad hex in test: " + text);
    if (high < 0) {
      high = nibble;
    } else {
      bytes.push_back(static_cast<uint8_t>(high * 16 + nibble));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd hex in test: " + text);
  return bytes;
}

std::string ToHex(const std::vector<uint8_t>& bytes) {
  std::string text;
  char piece[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(piece, sizeof piece, i ? " %02x" : "%02x", bytes[i]);
    text += piece;
  }
  return text;
}

MessageAt::MessageAt(const std::vector<uint8_t>& bytes, size_t offset)
    : arena_(offset + bytes.size()), offset_(offset) {
  // Offsets mean nothing unless the allocation itself starts on the boundary.
  if (reinterpret_cast<uintptr_t>(arena_.data()) % kAddressOffsets != 0) {
    throw std::logic_error("test arena not aligned to 8 bytes");
  }
  std::copy(bytes.begin(), bytes.end(), arena_.begin() + static_cast<ptrdiff_t>(offset));
}

namespace {
template <typename T>
size_t ArraySize(const flutter::EncodableValue& value) {
  return std::get<std::vector<T>>(value).size();
}
}  // namespace

std::string Describe(const flutter::EncodableValue& value) {
  using namespace flutter;
  using Value = EncodableValue;
  std::ostringstream out;
  switch (value.alternative()) {
    case Value::kNullIndex: out << "null"; break;
    case Value::kBoolIndex: out << (std::get<bool>(value) ? "true" : "false"); break;
    case Value::kInt32Index: out << "int32 " << std::get<int32_t>(value); break;
    case Value::kInt64Index: out << "int64 " << std::get<int64_t>(value); break;
    case Value::kDoubleIndex: out << "double " << std::get<double>(value); break;
    case Value::kStringIndex:
      out << "string[" << std::get<std::string>(value).size() << "] \""
          << std::get<std::string>(value).substr(0, 32) << "\"";
      break;
    case Value::kUInt8ListIndex: out << "bytes[" << ArraySize<uint8_t>(value) << "]"; break;
    case Value::kInt32ListIndex: out << "int32s[" << ArraySize<int32_t>(value) << "]"; break;
    case Value::kInt64ListIndex: out << "int64s[" << ArraySize<int64_t>(value) << "]"; break;
    case Value::kDoubleListIndex: out << "doubles[" << ArraySize<double>(value) << "]"; break;
    case Value::kListIndex: {
      const auto& list = std::get<EncodableList>(value);
      out << "[";
      for (size_t i = 0; i < list.size() && i < 8; ++i) out << (i ? ", " : "") << Describe(list[i]);
      if (list.size() > 8) out << ", ... (" << list.size() << ")";
      out << "]";
      break;
    }
    case Value::kMapIndex: {
      out << "{";
      bool first = true;
      for (const auto& [k, v] : std::get<EncodableMap>(value)) {
        out << (first ? "" : ", ") << Describe(k) << ": " << Describe(v);
        first = false;
      }
      out << "}";
      break;
    }
    case Value::kCustomIndex: out << "custom"; break;
    case Value::kFloatListIndex: out << "floats[" << ArraySize<float>(value) << "]"; break;
  }
  return out.str();
}

CerrCapture::CerrCapture(size_t kept_lines) {
  buffer_.kept = kept_lines;
  previous_ = std::cerr.rdbuf(&buffer_);
}

CerrCapture::~CerrCapture() { std::cerr.rdbuf(previous_); }

CerrCapture::LineBuffer::int_type CerrCapture::LineBuffer::overflow(int_type ch) {
  if (ch == traits_type::eof()) return traits_type::not_eof(ch);
  const char c = traits_type::to_char_type(ch);
  xsputn(&c, 1);
  return ch;
}

std::streamsize CerrCapture::LineBuffer::xsputn(const char* s, std::streamsize n) {
  for (std::streamsize i = 0; i < n; ++i) {
    if (s[i] == '\n') {
      if (lines.size() < kept) lines.push_back(current);
      ++count;
      current.clear();
    } else if (lines.size() < kept) {
      current += s[i];
    } else {
      current = "x";  // only whether a line is pending matters past the kept ones
    }
  }
  return n;
}

#ifdef ORVALEN_TEST_ASAN
namespace {
std::atomic<bool> g_metering{false};
std::atomic<long long> g_current{0};
std::atomic<long long> g_peak{0};

void OnMalloc(const volatile void*, size_t size) {
  if (!g_metering.load(std::memory_order_relaxed)) return;
  const long long now =
      g_current.fetch_add(static_cast<long long>(size)) + static_cast<long long>(size);
  long long peak = g_peak.load();
  while (now > peak && !g_peak.compare_exchange_weak(peak, now)) {
  }
}

void OnFree(const volatile void* ptr) {
  if (!g_metering.load(std::memory_order_relaxed) || ptr == nullptr) return;
  g_current.fetch_sub(static_cast<long long>(__sanitizer_get_allocated_size(ptr)));
}

struct HookInstaller {
  HookInstaller() { __sanitizer_install_malloc_and_free_hooks(OnMalloc, OnFree); }
};
HookInstaller g_installer;
}  // namespace

AllocationMeter::AllocationMeter() {
  g_current = 0;
  g_peak = 0;
  g_metering = true;
}
AllocationMeter::~AllocationMeter() { g_metering = false; }
bool AllocationMeter::available() { return true; }
size_t AllocationMeter::peak_bytes() const { return static_cast<size_t>(g_peak.load()); }
#else
AllocationMeter::AllocationMeter() = default;
AllocationMeter::~AllocationMeter() = default;
bool AllocationMeter::available() { return false; }
size_t AllocationMeter::peak_bytes() const { return 0; }
#endif

}  // namespace codec_test
