// MethodCall: a method name and its optional, owned arguments.
#ifndef ORVALEN_CODEC_METHOD_CALL_H_
#define ORVALEN_CODEC_METHOD_CALL_H_

#include <memory>
#include <string>
#include <utility>

namespace flutter {

class EncodableValue;

template <typename T = EncodableValue>
class MethodCall {
 public:
  MethodCall(const std::string& method_name, std::unique_ptr<T> arguments)
      : method_name_(method_name), arguments_(std::move(arguments)) {}
  virtual ~MethodCall() = default;

  MethodCall(const MethodCall&) = delete;
  MethodCall& operator=(const MethodCall&) = delete;

  const std::string& method_name() const { return method_name_; }
  // Null when the call carries no arguments.
  const T* arguments() const { return arguments_.get(); }

 private:
  std::string method_name_;
  std::unique_ptr<T> arguments_;
};

}  // namespace flutter

#endif  // ORVALEN_CODEC_METHOD_CALL_H_
