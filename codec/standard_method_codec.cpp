#include "codec/standard_method_codec.h"

#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "codec/message_writer.h"

namespace flutter {

namespace {

// Written for an absent value, so that a present one is written where it is, never copied.
const EncodableValue kAbsent;

}  // namespace

const StandardMethodCodec& StandardMethodCodec::SharedInstance(
    const StandardCodecSerializer* serializer) {
  if (serializer == nullptr) serializer = &StandardCodecSerializer::SharedInstance();
  // Never destroyed: static objects' channels may still encode during static destruction.
  static std::mutex* const lock = new std::mutex();
  static auto* const registry =
      new std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>>();
  // Held for lookups too: it costs nothing here and makes the registry safe from any thread.
  std::lock_guard<std::mutex> guard(*lock);
  auto found = registry->find(serializer);
  if (found == registry->end()) {
    found = registry
                ->emplace(serializer,
                          std::unique_ptr<StandardMethodCodec>(new StandardMethodCodec(serializer)))
                .first;
  }
  return *found->second;
}

StandardMethodCodec::StandardMethodCodec(const StandardCodecSerializer* serializer)
    : serializer_(serializer), standard_serializer_(internal::IsStandardSerializer(*serializer)) {}

std::unique_ptr<MethodCall<EncodableValue>> StandardMethodCodec::DecodeCall(
    const uint8_t* message, size_t message_size) const {
  ByteBufferStreamReader stream(message, message_size);
  EncodableValue name = serializer_->ReadValue(&stream);
  if (!std::holds_alternative<std::string>(name)) {
    std::cerr << "Invalid method call; method name is not a string." << std::endl;
    return nullptr;
  }
  // Read even when the message ends after the name: null, with the reader's own line.
  auto arguments = std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
  return std::make_unique<MethodCall<EncodableValue>>(std::get<std::string>(name),
                                                      std::move(arguments));
}

void StandardMethodCodec::EncodeCallTo(const MethodCall<EncodableValue>& call,
                                       MessageBytes* buffer) const {
  const EncodableValue* arguments = call.arguments();
  internal::WriteMessage(*serializer_, standard_serializer_, std::nullopt, buffer,
                         call.method_name(), arguments ? *arguments : kAbsent);
}

void StandardMethodCodec::EncodeSuccessTo(const EncodableValue* result,
                                          MessageBytes* buffer) const {
  internal::WriteMessage(*serializer_, standard_serializer_, wire::kSuccessFlag, buffer,
                         result ? *result : kAbsent);
}

void StandardMethodCodec::EncodeErrorTo(const std::string& code, const std::string& message,
                                        const EncodableValue* details, MessageBytes* buffer) const {
  internal::WriteMessage(
      *serializer_, standard_serializer_, wire::kErrorFlag, buffer, code,
      message.empty() ? internal::MessagePart(kAbsent) : internal::MessagePart(message),
      details ? *details : kAbsent);
}

bool StandardMethodCodec::DecodeReply(const uint8_t* reply, size_t reply_size,
                                      MethodResult<EncodableValue>* result) const {
  ByteBufferStreamReader stream(reply, reply_size);
  const uint8_t flag = stream.ReadByte();
  if (flag == wire::kSuccessFlag) {
    EncodableValue value = serializer_->ReadValue(&stream);
    result->Success(value.IsNull() ? nullptr : &value);
    return true;
  }
  if (flag != wire::kErrorFlag) return false;

  // All three are read before any is examined.
  EncodableValue code = serializer_->ReadValue(&stream);
  EncodableValue message = serializer_->ReadValue(&stream);
  EncodableValue details = serializer_->ReadValue(&stream);
  // Not a bad_variant_access out of the channel's reply callback: an unrecognised envelope.
  if (!std::holds_alternative<std::string>(code)) return false;
  if (!message.IsNull() && !std::holds_alternative<std::string>(message)) return false;
  result->Error(std::get<std::string>(code),
                message.IsNull() ? std::string() : std::get<std::string>(message),
                details.IsNull() ? nullptr : &details);
  return true;
}

}  // namespace flutter
