// orvalen-codec: an inspector for channel traffic in the standard encoding.
//
// Each command takes --json for the machine contract (one line on stdout, lowercase hex,
// exit 0; the codec's own diagnostic lines on stderr). Without it the output is for people:
// each value on its own line with offset, bytes and meaning. Bad input to the tool itself
// (invalid hex or JSON, wrong arguments) is one line on stderr and exit code 2.
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec/byte_streams.h"
#include "codec/standard_codec_serializer.h"
#include "codec/standard_method_codec.h"
#include "trace.h"
#include "value_json.h"

namespace codec_tool {
namespace {

using flutter::ByteBufferStreamReader;
using flutter::ByteBufferStreamWriter;
using flutter::EncodableValue;
using flutter::MethodCall;
using flutter::MethodResult;
using flutter::StandardCodecSerializer;
using flutter::StandardMethodCodec;

constexpr int kUsageError = 2;

constexpr char kUsage[] =
    "usage: orvalen-codec COMMAND [--json] ARGUMENTS\n"
    "  encode VALUE                          the bytes of one value\n"
    "  decode HEX                            one value read from the bytes\n"
    "  encode-call NAMEHEX [ARGS]            a method call (no ARGS: no arguments)\n"
    "  encode-success [VALUE]                a success envelope (no VALUE: no result)\n"
    "  encode-error CODEHEX MESSAGEHEX [DETAILS]  an error envelope\n"
    "  decode-call HEX                       a method call read from the bytes\n"
    "  decode-reply HEX                      a reply envelope read from the bytes\n"
    "HEX: bytes as hex digits, either case, whitespace ignored; names, codes and messages are\n"
    "given as the hex of their bytes. Any one argument may be - to read it from standard input.\n"
    "VALUE, ARGS, DETAILS: a value in JSON form:\n"
    "  null | true | false | {\"int32\": N} | {\"int64\": N} | {\"float64\": \"<16 hex digits>\"}\n"
    "  {\"string\": \"<hex>\"} | {\"uint8s\": \"<hex>\"} | {\"int32s\": [N, ...]} | {\"int64s\": "
    "[N, ...]}\n"
    "  {\"float64s\": [\"<16 hex digits>\", ...]} | {\"float32s\": [\"<8 hex digits>\", ...]}\n"
    "  {\"list\": [V, ...]} | {\"map\": [[K, V], ...]}\n"
    "Floating-point numbers are their IEEE-754 bit patterns, most significant digit first.\n";

struct ToolError {
  std::string message;
};

// "-" stands for standard input, for messages longer than a command line may be.
std::string ArgumentText(const std::string& text) {
  if (text != "-") return text;
  std::string input;
  char buffer[1 << 16];
  while (std::cin.read(buffer, sizeof buffer) || std::cin.gcount() > 0) {
    input.append(buffer, static_cast<size_t>(std::cin.gcount()));
  }
  return input;
}

std::vector<uint8_t> HexArgument(const std::string& argument, const char* what) {
  const std::string text = ArgumentText(argument);
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ParseHex(text, &bytes, &error)) throw ToolError{std::string(what) + ": " + error};
  return bytes;
}

EncodableValue ValueArgument(const std::string& argument, const char* what) {
  const std::string text = ArgumentText(argument);
  Json json;
  std::string error;
  if (!ParseJson(text, &json, &error))
    throw ToolError{std::string(what) + ": invalid JSON: " + error};
  EncodableValue value;
  if (!ValueFromJson(json, &value, &error)) throw ToolError{std::string(what) + ": " + error};
  return value;
}

void RequireArguments(const std::vector<std::string>& args, size_t least, size_t most,
                      const std::string& command) {
  if (args.size() < least || args.size() > most) {
    throw ToolError{command + ": expected " +
                    (least == most ? std::to_string(least)
                                   : std::to_string(least) + " to " + std::to_string(most)) +
                    " argument(s), got " + std::to_string(args.size())};
  }
}

void PrintLine(const std::string& line) {
  std::cout << line << "\n";
  std::cout.flush();
}

void PrintBytes(const std::vector<uint8_t>& bytes, MessageKind kind, bool json) {
  if (json) {
    PrintLine(HexOf(bytes.data(), bytes.size()));
    return;
  }
  std::cout << bytes.size() << (bytes.size() == 1 ? " byte: " : " bytes: ")
            << HexOf(bytes.data(), bytes.size()) << "\n\n"
            << TraceMessage(bytes, kind);
  std::cout.flush();
}

// What DecodeReply delivered.
class CapturedReply : public MethodResult<EncodableValue> {
 public:
  void Success(const EncodableValue* result) override {
    kind = Kind::kSuccess;
    if (result) value = *result;
  }
  void Error(const std::string& error_code, const std::string& error_message,
             const EncodableValue* details) override {
    kind = Kind::kError;
    code = error_code;
    message = error_message;
    if (details) value = *details;
  }
  void NotImplemented() override { kind = Kind::kNotImplemented; }

  enum class Kind { kNone, kSuccess, kError, kNotImplemented };
  Kind kind = Kind::kNone;
  std::string code;
  std::string message;
  std::optional<EncodableValue> value;
};

int Run(const std::string& command, const std::vector<std::string>& args, bool json) {
  const StandardMethodCodec& codec = StandardMethodCodec::SharedInstance();
  const StandardCodecSerializer& serializer = StandardCodecSerializer::SharedInstance();

  if (command == "encode") {
    RequireArguments(args, 1, 1, command);
    const EncodableValue value = ValueArgument(args[0], "VALUE");
    std::vector<uint8_t> bytes;
    ByteBufferStreamWriter writer(&bytes);
    serializer.WriteValue(value, &writer);
    PrintBytes(bytes, MessageKind::kValue, json);
    return 0;
  }
  if (command == "encode-call") {
    RequireArguments(args, 1, 2, command);
    const std::vector<uint8_t> name = HexArgument(args[0], "NAMEHEX");
    std::unique_ptr<EncodableValue> arguments;
    if (args.size() == 2)
      arguments = std::make_unique<EncodableValue>(ValueArgument(args[1], "ARGS"));
    const MethodCall<EncodableValue> call(std::string(name.begin(), name.end()),
                                          std::move(arguments));
    PrintBytes(*codec.EncodeCall(call), MessageKind::kCall, json);
    return 0;
  }
  if (command == "encode-success") {
    RequireArguments(args, 0, 1, command);
    std::optional<EncodableValue> result;
    if (args.size() == 1) result = ValueArgument(args[0], "VALUE");
    PrintBytes(*codec.EncodeSuccess(result ? &*result : nullptr), MessageKind::kReply, json);
    return 0;
  }
  if (command == "encode-error") {
    RequireArguments(args, 2, 3, command);
    const std::vector<uint8_t> code = HexArgument(args[0], "CODEHEX");
    const std::vector<uint8_t> message = HexArgument(args[1], "MESSAGEHEX");
    std::optional<EncodableValue> details;
    if (args.size() == 3) details = ValueArgument(args[2], "DETAILS");
    PrintBytes(*codec.EncodeError(std::string(code.begin(), code.end()),
                                  std::string(message.begin(), message.end()),
                                  details ? &*details : nullptr),
               MessageKind::kReply, json);
    return 0;
  }
  if (command == "decode") {
    RequireArguments(args, 1, 1, command);
    const std::vector<uint8_t> bytes = HexArgument(args[0], "HEX");
    ByteBufferStreamReader reader(bytes.data(), bytes.size());
    const EncodableValue value = serializer.ReadValue(&reader);
    if (json) {
      PrintLine("{\"value\": " + ValueToJson(value) +
                ", \"position\": " + std::to_string(reader.position()) + "}");
    } else {
      std::cout << TraceMessage(bytes, MessageKind::kValue);
    }
    return 0;
  }
  if (command == "decode-call") {
    RequireArguments(args, 1, 1, command);
    const std::vector<uint8_t> bytes = HexArgument(args[0], "HEX");
    const auto call = codec.DecodeCall(bytes.data(), bytes.size());
    if (json) {
      PrintLine(call ? "{\"method\": \"" + HexOf(call->method_name()) +
                           "\", \"arguments\": " + ValueToJson(*call->arguments()) + "}"
                     : "null");
    } else {
      if (call) {
        std::cout << "method call " << Quoted(call->method_name(), 200) << " with arguments "
                  << Summary(*call->arguments()) << "\n\n";
      } else {
        std::cout << "not a method call: the first value is not a string\n\n";
      }
      std::cout << TraceMessage(bytes, MessageKind::kCall);
    }
    return 0;
  }
  if (command == "decode-reply") {
    RequireArguments(args, 1, 1, command);
    const std::vector<uint8_t> bytes = HexArgument(args[0], "HEX");
    CapturedReply reply;
    const bool recognised = codec.DecodeReply(bytes.data(), bytes.size(), &reply);
    const std::string value = reply.value ? ValueToJson(*reply.value) : "null";
    if (json) {
      if (!recognised) {
        PrintLine("null");
      } else if (reply.kind == CapturedReply::Kind::kSuccess) {
        PrintLine("{\"success\": " + value + "}");
      } else {
        PrintLine("{\"error\": {\"code\": \"" + HexOf(reply.code) + "\", \"message\": \"" +
                  HexOf(reply.message) + "\", \"details\": " + value + "}}");
      }
    } else {
      if (!recognised) {
        std::cout << "not a reply envelope\n\n";
      } else if (reply.kind == CapturedReply::Kind::kSuccess) {
        std::cout << "success, result " << (reply.value ? Summary(*reply.value) : "none") << "\n\n";
      } else {
        std::cout << "error, code " << Quoted(reply.code, 200) << ", message "
                  << Quoted(reply.message, 200) << ", details "
                  << (reply.value ? Summary(*reply.value) : "none") << "\n\n";
      }
      std::cout << TraceMessage(bytes, MessageKind::kReply);
    }
    return 0;
  }
  throw ToolError{"unknown command \"" + command + "\""};
}

}  // namespace
}  // namespace codec_tool

int main(int argc, char** argv) {
  std::vector<std::string> args;
  bool json = false;
  std::string command;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << codec_tool::kUsage;
      return 0;
    } else if (command.empty()) {
      command = arg;
    } else {
      args.push_back(arg);
    }
  }
  if (command.empty()) {
    std::cerr << codec_tool::kUsage;
    return codec_tool::kUsageError;
  }
  try {
    return codec_tool::Run(command, args, json);
  } catch (const codec_tool::ToolError& error) {
    std::cerr << "orvalen-codec: " << error.message << " (see orvalen-codec --help)" << std::endl;
    return codec_tool::kUsageError;
  }
}
