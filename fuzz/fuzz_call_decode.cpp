// DecodeCall over arbitrary bytes at any address.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "codec/standard_method_codec.h"
#include "fuzz/address_offset.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::SilenceDiagnostics();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMethodCodec::SharedInstance();
  const fuzz_support::MessageAt message = fuzz_support::MessageOf(data, size);
  auto call = codec.DecodeCall(message.data(), message.size());
  if (!call) return 0;
  // A decoded call always carries arguments (null when the message had none).
  if (call->arguments() == nullptr) std::abort();
  fuzz_support::Walk(*call->arguments());
  auto bytes = codec.EncodeCall(*call);
  auto again = codec.DecodeCall(bytes->data(), bytes->size());
  if (!again || again->method_name() != call->method_name()) std::abort();
  return 0;
}
