// MethodCodec: turns method calls and reply envelopes into bytes and back.
#ifndef ORVALEN_CODEC_METHOD_CODEC_H_
#define ORVALEN_CODEC_METHOD_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codec/message_bytes.h"
#include "codec/method_call.h"
#include "codec/method_result.h"

namespace flutter {

template <typename T = EncodableValue>
class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec() = default;
  MethodCodec(const MethodCodec&) = delete;
  MethodCodec& operator=(const MethodCodec&) = delete;

  // The call in `message`, or null when the bytes do not hold one. Never throws.
  virtual std::unique_ptr<MethodCall<T>> DecodeCall(const uint8_t* message,
                                                    size_t message_size) const = 0;
  // The owned-vector forms of the *To functions below, which they default to.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeCall(const MethodCall<T>& call) const {
    return Owned([&](MessageBytes* bytes) { EncodeCallTo(call, bytes); });
  }
  // `result` null: a success without a value.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccess(const T* result) const {
    return Owned([&](MessageBytes* bytes) { EncodeSuccessTo(result, bytes); });
  }
  // `details` null: an error without details.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeError(const std::string& code,
                                                            const std::string& message,
                                                            const T* details) const {
    return Owned([&](MessageBytes* bytes) { EncodeErrorTo(code, message, details, bytes); });
  }
  // Delivers a reply envelope to `result`; false, delivering nothing, when none is recognised.
  virtual bool DecodeReply(const uint8_t* reply, size_t reply_size,
                           MethodResult<T>* result) const = 0;

  // The message's bytes, appended to `buffer` (not owned, never null): a sender that reuses one
  // buffer allocates nothing per message.
  virtual void EncodeCallTo(const MethodCall<T>& call, MessageBytes* buffer) const = 0;
  virtual void EncodeSuccessTo(const T* result, MessageBytes* buffer) const = 0;
  virtual void EncodeErrorTo(const std::string& code, const std::string& message, const T* details,
                             MessageBytes* buffer) const = 0;

 private:
  // Through a scratch buffer, so that the vector is allocated once, at its size, and not zeroed.
  template <typename Encode>
  static std::unique_ptr<std::vector<uint8_t>> Owned(Encode encode) {
    ScratchBytes scratch;
    MessageBytes& bytes = *scratch;
    encode(&bytes);
    return std::make_unique<std::vector<uint8_t>>(bytes.data(), bytes.data() + bytes.size());
  }
};

}  // namespace flutter

#endif  // ORVALEN_CODEC_METHOD_CODEC_H_
