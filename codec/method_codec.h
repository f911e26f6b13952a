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
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeCall(const MethodCall<T>& call) const = 0;
  // `result` null: a success without a value.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccess(const T* result) const = 0;
  // `details` null: an error without details.
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeError(const std::string& code,
                                                            const std::string& message,
                                                            const T* details) const = 0;
  // Decodes a reply envelope and delivers it to `result` (Success or Error). Returns false, and
  // delivers nothing, when no envelope is recognised. Never throws.
  virtual bool DecodeReply(const uint8_t* reply, size_t reply_size,
                           MethodResult<T>* result) const = 0;

  // The bytes of EncodeCall, EncodeSuccess and EncodeError, appended to `buffer` (not owned,
  // never null). A sender that keeps one buffer and empties it before each message pays for its
  // memory once, not twice a message (the vector and the pointer owning it). These defaults go
  // through the owned-vector functions, so a codec that overrides only those still works.
  virtual void EncodeCallTo(const MethodCall<T>& call, MessageBytes* buffer) const {
    Append(EncodeCall(call), buffer);
  }
  virtual void EncodeSuccessTo(const T* result, MessageBytes* buffer) const {
    Append(EncodeSuccess(result), buffer);
  }
  virtual void EncodeErrorTo(const std::string& code, const std::string& message, const T* details,
                             MessageBytes* buffer) const {
    Append(EncodeError(code, message, details), buffer);
  }

 private:
  static void Append(const std::unique_ptr<std::vector<uint8_t>>& bytes, MessageBytes* buffer) {
    if (bytes) buffer->Append(bytes->data(), bytes->size());
  }
};

}  // namespace flutter

#endif  // ORVALEN_CODEC_METHOD_CODEC_H_
