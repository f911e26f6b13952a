// MethodResult: the one-shot outcome of a method call. At most one of the three operations may
// take effect per result; what a second call does is the implementation's business.
//
// Lives beside the codec because MethodCodec::DecodeReply delivers decoded replies to it.
#ifndef ORVALEN_CODEC_METHOD_RESULT_H_
#define ORVALEN_CODEC_METHOD_RESULT_H_

#include <string>

namespace flutter {

class EncodableValue;

template <typename T = EncodableValue>
class MethodResult {
 public:
  MethodResult() = default;
  virtual ~MethodResult() = default;
  MethodResult(const MethodResult&) = delete;
  MethodResult& operator=(const MethodResult&) = delete;

  // The call succeeded; `result` null means no value.
  virtual void Success(const T* result) = 0;
  // The call failed; `details` null means no details.
  virtual void Error(const std::string& code, const std::string& message, const T* details) = 0;
  // The method is not implemented on this side.
  virtual void NotImplemented() = 0;
};

}  // namespace flutter

#endif  // ORVALEN_CODEC_METHOD_RESULT_H_
