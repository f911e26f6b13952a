// ReadValue over arbitrary bytes at any address: must not crash, hang or take unbounded memory.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "codec/byte_streams.h"
#include "codec/standard_codec_serializer.h"
#include "fuzz/address_offset.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz_support::SilenceDiagnostics();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto& serializer = flutter::StandardCodecSerializer::SharedInstance();
  const fuzz_support::MessageAt message = fuzz_support::MessageOf(data, size);
  flutter::ByteBufferStreamReader reader(message.data(), message.size());
  // Read values until the message is used up, as a message of several values would be.
  for (int i = 0; i < 4 && reader.position() < message.size(); ++i) {
    const flutter::EncodableValue value = serializer.ReadValue(&reader);
    fuzz_support::Walk(value);
    std::vector<uint8_t> bytes;
    flutter::ByteBufferStreamWriter writer(&bytes);
    serializer.WriteValue(value, &writer);
  }
  return 0;
}
