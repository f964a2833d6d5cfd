// The protocol session over a scripted channel, and the WebSocket channel against a scripted
// server: replies found by id among events and stale replies, refusals and garbage reported,
// every wait bounded; frames joined into messages.
#include "snapshot/DevToolsSession.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <thread>

#include "snapshot/WebSocketChannel.h"
#include "support/TestHttpServer.h"

namespace lorvex::snapshot {
namespace {

using std::chrono::milliseconds;

// Answers each command sent with the messages scripted for it, in order; "ID" in a scripted
// message becomes the command's id.
class ScriptedChannel : public platform::MessageChannel {
 public:
  std::deque<std::vector<std::string>> answers;
  std::vector<std::string> sent;

  void Send(std::string_view message) override {
    sent.emplace_back(message);
    const std::string id = std::to_string(int(ParseJson(message).NumberAt("id", 0)));
    if (answers.empty()) return;
    for (std::string text : answers.front()) {
      for (size_t at; (at = text.find("ID")) != std::string::npos;) text.replace(at, 2, id);
      pending_.push_back(text);
    }
    answers.pop_front();
  }
  std::optional<std::string> Receive(int timeoutMs) override {
    if (pending_.empty()) {
      std::this_thread::sleep_for(milliseconds(std::min(timeoutMs, 10)));
      return std::nullopt;
    }
    std::string message = pending_.front();
    pending_.pop_front();
    if (message == "CLOSE") throw platform::ChannelClosed("closed");
    return message;
  }

 private:
  std::deque<std::string> pending_;
};

Clock::time_point Soon() { return Clock::now() + milliseconds(300); }

TEST(DevToolsSession, FindsTheReplyAmongOtherMessages) {
  ScriptedChannel channel;
  channel.answers.push_back({
      R"({"method":"Page.loadEventFired","params":{},"sessionId":"S"})",
      R"({"id":999,"result":{"stale":true}})",
      R"({"id":ID,"result":{"frameId":"F"}})",
  });
  DevToolsSession session(channel, nullptr);
  std::vector<std::string> events;
  session.OnEvent([&](const JsonValue& event) { events.push_back(event.StringAt("method")); });
  JsonValue result =
      session.Call("Page.navigate", JsonValue::MakeObject({{"url", "u"}}), "S", Soon());
  EXPECT_EQ(result.StringAt("frameId"), "F");
  EXPECT_EQ(events, std::vector<std::string>{"Page.loadEventFired"});
  EXPECT_EQ(channel.sent[0],
            R"({"id":1,"method":"Page.navigate","params":{"url":"u"},"sessionId":"S"})");
}

TEST(DevToolsSession, ReportsWhatGoesWrong) {
  const struct {
    std::vector<std::string> answer;
    const char* error;  // the start of the message thrown
  } cases[] = {
      {{R"({"id":ID,"error":{"code":-32000,"message":"No target"}})"},
       "the browser refused a command: No target"},
      {{"{\"id\":ID,"}, "the browser sent what is not a protocol message"},
      {{"[1]"}, "the browser sent what is not a protocol message"},
      {{}, "the browser did not answer Page.enable in time"},
      {{R"({"id":1000,"result":{}})"}, "the browser did not answer Page.enable in time"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    ScriptedChannel channel;
    channel.answers.push_back(c.answer);
    DevToolsSession session(channel, nullptr);
    try {
      session.Call("Page.enable", {}, "", Soon());
      ADD_FAILURE() << "no error";
    } catch (const SnapshotError& e) {
      EXPECT_EQ(std::string(e.what()).rfind(c.error, 0), 0u) << e.what();
    }
  }
  ScriptedChannel closing;
  closing.answers.push_back({"CLOSE"});
  DevToolsSession session(closing, nullptr);
  EXPECT_THROW(session.Call("Page.enable", {}, "", Soon()), platform::ChannelClosed);
}

TEST(DevToolsSession, StopEndsEveryWait) {
  ScriptedChannel channel;
  bool stop = false;
  DevToolsSession session(channel, [&] { return stop; });
  EXPECT_FALSE(session.RunUntil(Soon(), [] { return false; }));
  stop = true;
  const auto start = Clock::now();
  EXPECT_THROW(session.RunUntil(Clock::now() + std::chrono::hours(1), [] { return false; }),
               SnapshotStopped);
  EXPECT_THROW(session.Call("Page.enable", {}, "", Clock::now() + std::chrono::hours(1)),
               SnapshotStopped);
  EXPECT_LT(Clock::now() - start, milliseconds(1000));
}

// A server's frames: unmasked or masked, a message in fragments, a binary one, then a close.
TEST(WebSocketChannel, JoinsFramesIntoMessages) {
  const std::string frames = std::string("\x81\x05hello", 7) +  // text, final
                             std::string(
                                 "\x01\x03"
                                 "abc",
                                 5) +  // text, to be continued
                             std::string(
                                 "\x80\x02"
                                 "de",
                                 4) +  // continuation, final
                             std::string("\x82\x84\x01\x02\x03\x04", 6) +
                             "c`bm" +  // binary, masked "bbai"
                             std::string("\x81\x7e\x01\x00", 4) +
                             std::string(256, 'x') +      // 16-bit length
                             std::string("\x88\x00", 2);  // close
  test::TestHttpServer server;
  server.Canned("/devtools/browser/x",
                "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\n"
                "Connection: Upgrade\r\n\r\n" +
                    frames);
  auto channel =
      ConnectWebSocket(server.Port(), "/devtools/browser/x", Clock::now() + milliseconds(5000));
  for (const std::string& expected :
       {std::string("hello"), std::string("abcde"), std::string("bbai"), std::string(256, 'x')})
    EXPECT_EQ(channel->Receive(5000), expected);
  EXPECT_THROW(channel->Receive(5000), platform::ChannelClosed);
  const std::string request = server.Requests().at(0).raw;
  EXPECT_NE(request.find("Upgrade: websocket\r\n"), std::string::npos);
  EXPECT_NE(request.find("Sec-WebSocket-Version: 13\r\n"), std::string::npos);

  server.Canned("/refused", "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\n\r\n");
  EXPECT_THROW(ConnectWebSocket(server.Port(), "/refused", Clock::now() + milliseconds(5000)),
               SnapshotError);
}

}  // namespace
}  // namespace lorvex::snapshot
