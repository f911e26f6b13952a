// StandardMethodCodec: method calls and reply envelopes in the standard channel encoding, laid
// out as codec/wire_format.h says. Alignment inside each message counts from its first byte, also
// when the *To functions append it to a buffer that already holds other bytes.
//
// Made only through SharedInstance and never destroyed, so a reference to one never dangles.
#ifndef ORVALEN_CODEC_STANDARD_METHOD_CODEC_H_
#define ORVALEN_CODEC_STANDARD_METHOD_CODEC_H_

#include <memory>

#include "codec/encodable_value.h"
#include "codec/method_codec.h"
#include "codec/standard_codec_serializer.h"

namespace flutter {

class StandardMethodCodec final : public MethodCodec<EncodableValue> {
 public:
  // The codec bound to `serializer` (null: the shared one), made by the first request for it and
  // returned by later ones. The caller keeps a custom serializer alive while the codec is used.
  static const StandardMethodCodec& SharedInstance(
      const StandardCodecSerializer* serializer = nullptr);

  ~StandardMethodCodec() override = default;

  const StandardCodecSerializer& serializer() const { return *serializer_; }

  std::unique_ptr<MethodCall<EncodableValue>> DecodeCall(const uint8_t* message,
                                                         size_t message_size) const override;
  void EncodeCallTo(const MethodCall<EncodableValue>& call, MessageBytes* buffer) const override;
  void EncodeSuccessTo(const EncodableValue* result, MessageBytes* buffer) const override;
  void EncodeErrorTo(const std::string& code, const std::string& message,
                     const EncodableValue* details, MessageBytes* buffer) const override;
  // An error envelope with a code that is not a string, or a message neither string nor null:
  // false.
  bool DecodeReply(const uint8_t* reply, size_t reply_size,
                   MethodResult<EncodableValue>* result) const override;

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer);

  const StandardCodecSerializer* serializer_;
  const bool standard_serializer_;
};

}  // namespace flutter

#endif  // ORVALEN_CODEC_STANDARD_METHOD_CODEC_H_
