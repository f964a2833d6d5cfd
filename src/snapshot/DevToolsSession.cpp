#include "snapshot/DevToolsSession.h"

#include <algorithm>

namespace lorvex::snapshot {

namespace {

// Waits are cut into slices of at most this, so that Stop is seen soon.
constexpr int kWaitSliceMs = 100;

int MillisecondsUntil(Clock::time_point until) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
  return int(std::clamp<long long>(left.count(), 0, kWaitSliceMs));
}

}  // namespace

int DevToolsSession::Send(std::string_view method, JsonValue params, std::string_view sessionId) {
  const int id = nextId_++;
  JsonValue message = JsonValue::MakeObject({{"id", id}, {"method", method}});
  message.Add("params", params.IsNull() ? JsonValue(JsonValue::Object()) : std::move(params));
  if (!sessionId.empty()) message.Add("sessionId", sessionId);
  channel_.Send(WriteJson(message));
  return id;
}

void DevToolsSession::Post(std::string_view method, JsonValue params, std::string_view sessionId) {
  Send(method, std::move(params), sessionId);
}

std::optional<JsonValue> DevToolsSession::ReadOne(Clock::time_point until, int awaited) {
  if (stopped_ && stopped_()) throw SnapshotStopped();
  std::optional<std::string> text = channel_.Receive(MillisecondsUntil(until));
  if (!text) return std::nullopt;
  JsonValue message;
  try {
    message = ParseJson(*text);
  } catch (const JsonError& e) {
    throw SnapshotError(std::string("the browser sent what is not a protocol message: ") +
                        e.what());
  }
  if (!message.IsObject()) throw SnapshotError("the browser sent what is not a protocol message");
  if (const JsonValue* id = message.Find("id")) {
    if (!id->AsNumber() || *id->AsNumber() != awaited) return std::nullopt;
    if (const JsonValue* error = message.Find("error"))
      throw SnapshotError(std::string("the browser refused a command: ") +
                          error->StringAt("message", "no reason given"));
    const JsonValue* result = message.Find("result");
    return result ? *result : JsonValue(JsonValue::Object());
  }
  if (message.Find("method") && onEvent_) onEvent_(message);
  return std::nullopt;
}

JsonValue DevToolsSession::Call(std::string_view method, JsonValue params,
                                std::string_view sessionId, Clock::time_point until) {
  const int id = Send(method, std::move(params), sessionId);
  for (;;) {
    if (std::optional<JsonValue> reply = ReadOne(until, id)) return *reply;
    if (Clock::now() >= until)
      throw SnapshotTimeout("the browser did not answer " + std::string(method) + " in time");
  }
}

bool DevToolsSession::RunUntil(Clock::time_point until, const std::function<bool()>& done) {
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= until) return false;
    ReadOne(until, 0);  // no command has id 0: only events
  }
}

}  // namespace lorvex::snapshot
