// DecodeReply over arbitrary bytes at any address: returns false or delivers exactly one outcome,
// never throws.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "codec/standard_method_codec.h"
#include "fuzz/address_offset.h"
#include "fuzz_support.h"

namespace {

class CountingResult : public flutter::MethodResult<flutter::EncodableValue> {
 public:
  void Success(const flutter::EncodableValue* result) override {
    ++calls;
    if (result) {
      if (result->IsNull()) std::abort();  // null travels as "no value"
      fuzz_support::Walk(*result);
    }
  }
  void Error(const std::string& code, const std::string& message,
             const flutter::EncodableValue* details) override {
    ++calls;
    length += code.size() + message.size();
    if (details) {
      if (details->IsNull()) std::abort();
      fuzz_support::Walk(*details);
    }
  }
  void NotImplemented() override { std::abort(); }  // the codec never says this
  int calls = 0;
  size_t length = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::SilenceDiagnostics();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CountingResult result;
  const fuzz_support::MessageAt message = fuzz_support::MessageOf(data, size);
  const bool recognised = flutter::StandardMethodCodec::SharedInstance().DecodeReply(
      message.data(), message.size(), &result);
  if (result.calls != (recognised ? 1 : 0)) std::abort();
  return 0;
}
