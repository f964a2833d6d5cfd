// The browser's debugging protocol over one message channel: commands numbered by id and
// answered by a reply of the same id, events in between, every wait bounded by a time and by
// the caller's Stop.
//
// A message is one JSON object. A command is {"id", "method", "params"} and, for a page the
// browser attached us to, "sessionId"; its reply carries "result" or "error". Anything else
// with a "method" is an event, handed to the event handler in the order it came. A reply to
// a command no longer awaited (its wait ran out) is dropped.
#pragma once

#include <chrono>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "platform/BrowserProcess.h"
#include "util/Json.h"

namespace lorvex::snapshot {

using Clock = std::chrono::steady_clock;

// Something the rendering cannot go on from: the browser refused a command, sent what is not
// the protocol, or the page did not come.
class SnapshotError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};
// A wait ran to its time.
class SnapshotTimeout : public SnapshotError {
 public:
  using SnapshotError::SnapshotError;
};
// The caller asked to stop.
class SnapshotStopped : public SnapshotError {
 public:
  SnapshotStopped() : SnapshotError("stopped") {}
};

class DevToolsSession {
 public:
  using EventHandler = std::function<void(const JsonValue& event)>;
  using StopCheck = std::function<bool()>;

  DevToolsSession(platform::MessageChannel& channel, StopCheck stopped)
      : channel_(channel), stopped_(std::move(stopped)) {}

  void OnEvent(EventHandler handler) { onEvent_ = std::move(handler); }

  // Sends the command (to the attached page sessionId names, else to the browser) and waits
  // until its reply arrives or until passes; the reply's result. Throws SnapshotError with the
  // browser's message for an error reply, SnapshotTimeout, SnapshotStopped, or
  // platform::ChannelClosed.
  JsonValue Call(std::string_view method, JsonValue params, std::string_view sessionId,
                 Clock::time_point until);
  // Sends the command without waiting for its reply (which is dropped when it comes).
  void Post(std::string_view method, JsonValue params, std::string_view sessionId);
  // Hands events to the handler until done() is true (asked after every message and at least
  // every slice of the wait) or until passes; true when done() was.
  bool RunUntil(Clock::time_point until, const std::function<bool()>& done);

 private:
  int Send(std::string_view method, JsonValue params, std::string_view sessionId);
  // Reads one message (waiting at most until `until`) and dispatches it; the reply to
  // awaited when that was it.
  std::optional<JsonValue> ReadOne(Clock::time_point until, int awaited);

  platform::MessageChannel& channel_;
  StopCheck stopped_;
  EventHandler onEvent_;
  int nextId_ = 1;
};

}  // namespace lorvex::snapshot
