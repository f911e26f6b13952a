// Structure-aware fuzzing of the channel machinery: the input is read as a program of operations
// on the real engine wrappers, messenger and method call channel, running against the stand-in
// engine's core. Incoming messages (well-formed calls and raw bytes), handler replacements and
// removals from outside and from inside a running handler, results answered zero, one or two
// times, results kept and answered after the engine is gone, outgoing calls with replies that
// are answered, answered twice or abandoned, next-frame callbacks, and engine destruction at any
// point, including from inside a handler. The messages it hands to the codec itself (the calls it
// checks, the replies it answers with) lie at address offsets 0 to 7 in turn.
//
// Besides the sanitizers (use after free, leaks, undefined behaviour), each run aborts when:
//  * a delivered message is answered more than once, or answered after its engine went away;
//  * the product passes a used response handle to the engine a second time;
//  * an undecodable message on the method channel is not answered with exactly an empty reply, or
//    reaches the call handler;
//  * a call answered with Success(null) does not produce exactly 00 00;
//  * an outgoing call's result runs twice, or an accepted one has not run once its engine is gone;
//  * an engine or messenger reference is left once everything is torn down.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "codec/encodable_value.h"
#include "codec/standard_method_codec.h"
#include "embedding/flutter_engine.h"
#include "embedding/flutter_view_controller.h"
#include "embedding/method_call_channel.h"
#include "fuzz/address_offset.h"
#include "shell/engine_project.h"
#include "standin/core/core.h"
#include "standin/core/engine_hooks.h"

namespace {

using flutter::EncodableValue;
using Channel = flutter::MethodCallChannel<EncodableValue>;
using Result = flutter::MethodResult<EncodableValue>;

constexpr char kMethodChannel[] = "com.example/method";
constexpr char kRawChannel[] = "com.example/raw";
constexpr char kSilentChannel[] = "com.example/nobody";
const char* const kChannels[] = {kMethodChannel, kRawChannel, kSilentChannel};

[[noreturn]] void Fail(const char* what) {
  std::fputs("channel fuzz invariant broken: ", stderr);
  std::fputs(what, stderr);
  std::fputc('\n', stderr);
  std::abort();
}

const flutter::StandardMethodCodec& Codec() {
  return flutter::StandardMethodCodec::SharedInstance();
}

// Remembers what the stand-in saw of each outgoing message, so the program knows whether a send
// was accepted (only then must its result run).
class RecordingHooks : public standin::EngineHooks {
 public:
  void OnEvent(const standin::Event& event) override {
    if (event.kind == standin::EventKind::kMessengerSend) {
      last_send_ok = event.ok;
      ++sends;
    }
    // The messenger keeps a handle's one-shot state itself; the engine never sees a used one.
    if (event.kind == standin::EventKind::kResponse && !event.ok &&
        event.detail == "unknown-handle") {
      Fail("a response handle was used twice");
    }
  }
  bool AllowEngineCreate(const standin::EngineInfo&) override { return !refuse_engine; }

  bool refuse_engine = false;
  bool last_send_ok = false;
  uint64_t sends = 0;
};

// One delivered message, as the engine side sees its answer.
struct Delivery {
  uint64_t engine_generation = 0;
  int responses = 0;
  bool expect_empty = false;         // undecodable on the method channel
  bool expect_success_null = false;  // the handler answered Success(null) first, engine alive
  bool handler_ran = false;
  std::vector<uint8_t> first;
  bool first_null = false;
};

// Result of an outgoing call.
struct OutgoingState {
  int runs = 0;
  bool accepted = false;
  uint64_t engine_generation = 0;
};

RecordingHooks& GlobalHooks() {
  static RecordingHooks hooks;
  return hooks;
}

class CountingResult : public Result {
 public:
  explicit CountingResult(std::shared_ptr<OutgoingState> state) : state_(std::move(state)) {}
  void Success(const EncodableValue*) override { Ran(); }
  void Error(const std::string&, const std::string&, const EncodableValue*) override { Ran(); }
  void NotImplemented() override { Ran(); }

 private:
  void Ran() {
    if (++state_->runs > 1) Fail("an outgoing call's result ran twice");
  }
  std::shared_ptr<OutgoingState> state_;
};

class Program {
 public:
  explicit Program(FuzzedDataProvider& data) : data_(data) {}

  ~Program() {
    // Tear-down order is part of the input too: results may outlive the engine.
    if (data_.ConsumeBool()) DestroyEngine();
    kept_results_.clear();
    kept_replies_.clear();
    DestroyEngine();
    CheckOutgoingAfterShutdown();
    if (standin::Core::Get().LiveEngineCount() != 0) Fail("an engine outlived its wrapper");
    if (standin::Core::Get().LiveMessengerCount() != 0) Fail("a messenger reference was leaked");
  }

  void Run() {
    int steps = 0;
    while (data_.remaining_bytes() > 0 && ++steps < 256) Step();
  }

 private:
  flutter::BinaryMessenger* Messenger() {
    if (controller_) return &controller_->GetEngine()->GetMessenger();
    if (bare_engine_) return &bare_engine_->GetMessenger();
    return nullptr;
  }
  bool HasEngine() const { return controller_ || bare_engine_; }

  void Step() {
    switch (data_.ConsumeIntegralInRange<int>(0, 14)) {
      case 0: CreateEngine(); break;
      case 1: InstallMethodHandler(); break;
      case 2: InstallRawHandler(); break;
      case 3: RemoveHandler(); break;
      case 4: DeliverRaw(); break;
      case 5: DeliverCall(); break;
      case 6: AnswerKeptResult(); break;
      case 7: InvokeOutgoing(); break;
      case 8: AnswerPendingReply(); break;
      case 9: DestroyEngine(); break;
      case 10: NextFrame(); break;
      case 11: kept_results_.clear(); break;  // destroyed unanswered: a warning, nothing sent
      case 12: AnswerKeptReply(); break;
      case 13: kept_replies_.clear(); break;
      case 14: DeliverCall(); break;  // well-formed calls reach the handlers more often
    }
  }

  void CreateEngine() {
    if (HasEngine()) return;
    auto& hooks = Hooks();
    hooks.refuse_engine = data_.ConsumeIntegralInRange<int>(0, 15) == 0;
    ++generation_;
    if (data_.ConsumeBool()) {
      if (data_.ConsumeIntegralInRange<int>(0, 7) == 0) {
        standin::Core::Get().RefuseNextViewController();
      }
      controller_ = std::make_unique<flutter::FlutterViewController>(
          data_.ConsumeIntegralInRange<int>(0, 4000), data_.ConsumeIntegralInRange<int>(0, 4000),
          EngineProject(L"data"));
      // A refused controller took the engine (and its messenger) with it; the window gives up
      // on the controller at once, as done here.
      if (!controller_->GetView()) controller_.reset();
    } else {
      bare_engine_ = std::make_unique<flutter::FlutterEngine>(EngineProject(L"data"));
      bare_engine_refused_ = hooks.refuse_engine;
    }
    hooks.refuse_engine = false;
  }

  void DestroyEngine() {
    if (!HasEngine()) return;
    controller_.reset();
    bare_engine_.reset();
    bare_engine_refused_ = false;
    CheckOutgoingAfterShutdown();
  }

  // Every accepted outgoing call of a gone engine has had its result run exactly once: answered,
  // or abandoned (an empty reply, so NotImplemented) when the engine went.
  void CheckOutgoingAfterShutdown() {
    for (const auto& state : outgoing_) {
      if (state->engine_generation == generation_ && HasEngine()) continue;
      if (state->accepted && state->runs != 1) Fail("an accepted call's result never ran");
      if (!state->accepted && state->runs != 0) Fail("a refused call's result ran");
    }
    std::erase_if(outgoing_, [this](const std::shared_ptr<OutgoingState>& s) {
      return !(s->engine_generation == generation_ && HasEngine());
    });
  }

  void InstallMethodHandler() {
    flutter::BinaryMessenger* messenger = Messenger();
    if (!messenger) return;
    // The channel object may go at once: the installed handler carries its own copies.
    auto channel = std::make_unique<Channel>(messenger, kMethodChannel, &Codec());
    channel->SetCallHandler(
        [this](const flutter::MethodCall<EncodableValue>& call, std::unique_ptr<Result> result) {
          OnCall(call, std::move(result));
        });
  }

  void InstallRawHandler() {
    flutter::BinaryMessenger* messenger = Messenger();
    if (!messenger) return;
    messenger->SetHandler(
        kRawChannel, [this](const uint8_t* message, size_t size, flutter::ReplyCallback reply) {
          OnRaw(message, size, std::move(reply));
        });
  }

  void RemoveHandler() {
    flutter::BinaryMessenger* messenger = Messenger();
    if (!messenger) return;
    messenger->SetHandler(data_.ConsumeBool() ? kMethodChannel : kRawChannel, nullptr);
  }

  void OnCall(const flutter::MethodCall<EncodableValue>& call, std::unique_ptr<Result> result) {
    if (current_) current_->handler_ran = true;
    // The call is only lent: read it fully before anything below may tear the engine down.
    volatile size_t touched = call.method_name().size() + (call.arguments() ? 1 : 0);
    (void)touched;
    switch (data_.ConsumeIntegralInRange<int>(0, 10)) {
      case 0:
        if (current_ && current_->responses == 0) current_->expect_success_null = true;
        result->Success(nullptr);
        break;
      case 1: {
        EncodableValue details(data_.ConsumeRandomLengthString(16));
        result->Error(data_.ConsumeRandomLengthString(8), data_.ConsumeRandomLengthString(8),
                      &details);
        break;
      }
      case 2: result->NotImplemented(); break;
      case 3: kept_results_.push_back(std::move(result)); break;
      case 4:
        if (current_ && current_->responses == 0) current_->expect_success_null = true;
        result->Success(nullptr);
        result->NotImplemented();  // the duplicate: printed and dropped
        break;
      case 5: result.reset(); break;  // never answered
      case 6:
        DestroyEngine();  // the "destroy" method's path: the handler outlives its engine
        result->Success(nullptr);
        break;
      case 7:
        InstallMethodHandler();
        result->Success(nullptr);
        break;
      case 8:
        if (Messenger()) Messenger()->SetHandler(kMethodChannel, nullptr);
        result->NotImplemented();
        break;
      case 9:
        InvokeOutgoing();
        kept_results_.push_back(std::move(result));
        break;
      case 10:
        // A nested delivery from inside the handler, as a re-entrant engine could do.
        if (depth_ < 3) {
          ++depth_;
          Delivery* outer = current_;
          DeliverCall();
          current_ = outer;
          --depth_;
        }
        result->Success(nullptr);
        break;
    }
  }

  void OnRaw(const uint8_t* message, size_t size, flutter::ReplyCallback reply) {
    if (current_) current_->handler_ran = true;
    volatile uint8_t touched = size ? message[size - 1] : 0;  // bytes only valid during the call
    (void)touched;
    const std::string answer = data_.ConsumeRandomLengthString(24);
    const auto* bytes = reinterpret_cast<const uint8_t*>(answer.data());
    switch (data_.ConsumeIntegralInRange<int>(0, 5)) {
      case 0: reply(bytes, answer.size()); break;
      case 1:
        reply(bytes, answer.size());
        reply(bytes, answer.size());  // the duplicate response
        break;
      case 2: break;  // never answered
      case 3: kept_replies_.push_back(std::move(reply)); break;
      case 4: {
        flutter::ReplyCallback copy = reply;  // copies share the one-shot state
        reply(nullptr, 0);
        copy(bytes, answer.size());
        break;
      }
      case 5:
        DestroyEngine();
        reply(bytes, answer.size());
        break;
    }
  }

  void DeliverRaw() {
    const char* channel = kChannels[data_.ConsumeIntegralInRange<int>(0, 2)];
    std::string raw = data_.ConsumeRandomLengthString(64);
    Deliver(channel, std::vector<uint8_t>(raw.begin(), raw.end()));
  }

  void DeliverCall() {
    // A well-formed method call with a random argument value.
    std::string name = data_.ConsumeRandomLengthString(12);
    std::unique_ptr<EncodableValue> argument;
    switch (data_.ConsumeIntegralInRange<int>(0, 3)) {
      case 0: break;
      case 1: argument = std::make_unique<EncodableValue>(data_.ConsumeIntegral<int32_t>()); break;
      case 2:
        argument = std::make_unique<EncodableValue>(data_.ConsumeRandomLengthString(16));
        break;
      case 3: {
        flutter::EncodableList list;
        for (int n = data_.ConsumeIntegralInRange<int>(0, 4); n > 0; --n) {
          list.emplace_back(data_.ConsumeFloatingPoint<double>());
        }
        argument = std::make_unique<EncodableValue>(std::move(list));
        break;
      }
    }
    flutter::MethodCall<EncodableValue> call(name, std::move(argument));
    std::vector<uint8_t> bytes = *Codec().EncodeCall(call);
    // Sometimes cut short or with trailing bytes: the boundary of what decodes.
    if (data_.ConsumeIntegralInRange<int>(0, 5) == 0 && !bytes.empty()) {
      bytes.resize(data_.ConsumeIntegralInRange<size_t>(0, bytes.size() - 1));
    } else if (data_.ConsumeIntegralInRange<int>(0, 7) == 0) {
      bytes.push_back(data_.ConsumeIntegral<uint8_t>());
    }
    Deliver(kMethodChannel, bytes);
  }

  void Deliver(const char* channel, const std::vector<uint8_t>& bytes) {
    auto delivery = std::make_shared<Delivery>();
    delivery->engine_generation = generation_;
    const bool method_channel = std::string(channel) == kMethodChannel;
    if (method_channel) {
      const fuzz_support::MessageAt message(bytes.data(), bytes.size(), NextAddressOffset());
      delivery->expect_empty = !Codec().DecodeCall(message.data(), message.size());
    }
    std::weak_ptr<Delivery> weak = delivery;
    const uint64_t generation = generation_;
    auto on_response = [this, delivery, generation](const uint8_t* data, size_t size) {
      if (++delivery->responses > 1) Fail("a delivered message was answered twice");
      if (generation != generation_ || !HasEngine()) Fail("a response arrived after shutdown");
      delivery->first_null = data == nullptr;
      if (data) delivery->first.assign(data, data + size);
    };
    Delivery* outer = current_;
    current_ = delivery.get();
    const bool live = HasEngine();
    const bool has_callback = live && standin::Core::Get().HasCallback(channel);
    const standin::DeliverOutcome outcome =
        standin::Core::Get().Deliver(channel, bytes, on_response);
    current_ = outer;

    if (!live && outcome != standin::DeliverOutcome::kNoEngine) Fail("delivered without engine");
    if (live && has_callback != (outcome == standin::DeliverOutcome::kDelivered)) {
      Fail("delivery outcome does not match the registered callback");
    }
    if (outcome != standin::DeliverOutcome::kDelivered || !method_channel) return;
    if (delivery->expect_empty) {
      if (delivery->handler_ran) Fail("an undecodable call reached the call handler");
      if (delivery->responses != 1 || delivery->first.size() != 0) {
        Fail("an undecodable call was not answered with an empty reply");
      }
    }
    if (delivery->expect_success_null && delivery->responses == 1) {
      if (delivery->first != std::vector<uint8_t>{0x00, 0x00}) Fail("Success(null) is not 00 00");
    }
  }

  void AnswerKeptResult() {
    if (kept_results_.empty()) return;
    size_t index = data_.ConsumeIntegralInRange<size_t>(0, kept_results_.size() - 1);
    std::unique_ptr<Result>& result = kept_results_[index];
    if (!result) return;
    switch (data_.ConsumeIntegralInRange<int>(0, 2)) {
      case 0: result->Success(nullptr); break;
      case 1: result->Error("E", "", nullptr); break;
      case 2: result->NotImplemented(); break;
    }
    if (data_.ConsumeBool()) result.reset();
  }

  void AnswerKeptReply() {
    if (kept_replies_.empty()) return;
    size_t index = data_.ConsumeIntegralInRange<size_t>(0, kept_replies_.size() - 1);
    const uint8_t bytes[] = {0x00, 0x00};
    kept_replies_[index](bytes, sizeof bytes);
  }

  void InvokeOutgoing() {
    flutter::BinaryMessenger* messenger = Messenger();
    if (!messenger) return;
    if (data_.ConsumeIntegralInRange<int>(0, 7) == 0) standin::Core::Get().RefuseNextSends(1);
    Channel channel(messenger, kMethodChannel, &Codec());
    auto state = std::make_shared<OutgoingState>();
    state->engine_generation = generation_;
    const uint64_t before = Hooks().sends;
    if (data_.ConsumeBool()) {
      channel.Invoke("ping", nullptr, std::make_unique<CountingResult>(state));
      // A refused engine has no messenger: nothing may reach the library, and the result is
      // dropped as for a refused send.
      if (bare_engine_refused_) {
        if (Hooks().sends != before) Fail("a send reached the library without a messenger");
      } else if (Hooks().sends != before + 1) {
        Fail("Invoke did not send exactly once");
      }
      state->accepted = !bare_engine_refused_ && Hooks().last_send_ok;
      outgoing_.push_back(state);
    } else {
      channel.Invoke("ping", std::make_unique<EncodableValue>(1), nullptr);
    }
  }

  void AnswerPendingReply() {
    if (!HasEngine()) return;
    auto pending = standin::Core::Get().PendingReplies();
    if (pending.empty()) return;
    const auto& target = pending[data_.ConsumeIntegralInRange<size_t>(0, pending.size() - 1)];
    const std::string reply = data_.ConsumeRandomLengthString(32);
    // Handed to the product's reply callback as given, so its codec decodes it at this address.
    const fuzz_support::MessageAt bytes(reinterpret_cast<const uint8_t*>(reply.data()),
                                        reply.size(), NextAddressOffset());
    if (!standin::Core::Get().AnswerReply(target.id, bytes.data(), bytes.size())) {
      Fail("a pending reply could not be answered");
    }
    if (standin::Core::Get().AnswerReply(target.id, bytes.data(), bytes.size())) {
      Fail("a pending reply was answered twice");
    }
  }

  void NextFrame() {
    if (!HasEngine()) return;
    flutter::FlutterEngine* engine = controller_ ? controller_->GetEngine() : bare_engine_.get();
    const bool destroy_inside = data_.ConsumeBool();
    auto fired = std::make_shared<int>(0);
    engine->SetNextFrameCallback([this, fired, destroy_inside] {
      ++*fired;
      if (destroy_inside) DestroyEngine();
    });
    if (data_.ConsumeBool()) {
      standin::Core::Get().FireNextFrame();
      if (*fired > 1) Fail("next-frame callback ran twice");
      if (HasEngine() && standin::Core::Get().FireNextFrame() && *fired > 1) {
        Fail("next-frame callback ran again after its frame");
      }
    }
  }

  static RecordingHooks& Hooks() { return GlobalHooks(); }

  // From a count rather than from the input: the program's bytes keep their meaning (and the
  // committed seeds theirs), and a program of several messages meets several offsets.
  size_t NextAddressOffset() { return messages_placed_++ % fuzz_support::kAddressOffsets; }

  FuzzedDataProvider& data_;
  uint64_t generation_ = 0;
  std::unique_ptr<flutter::FlutterViewController> controller_;
  std::unique_ptr<flutter::FlutterEngine> bare_engine_;
  bool bare_engine_refused_ = false;
  std::vector<std::unique_ptr<Result>> kept_results_;
  std::vector<flutter::ReplyCallback> kept_replies_;
  std::vector<std::shared_ptr<OutgoingState>> outgoing_;
  Delivery* current_ = nullptr;
  int depth_ = 0;
  size_t messages_placed_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The duplicate-answer and undecodable-message lines are the expected output here.
  std::cerr.rdbuf(nullptr);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  standin::Core::Get().Reset();  // also forgets the hooks
  standin::SetEngineHooks(&GlobalHooks());
  FuzzedDataProvider provider(data, size);
  {
    Program program(provider);
    program.Run();
  }
  standin::Core::Get().ClearEvents();
  return 0;
}
