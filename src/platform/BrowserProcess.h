// A browser started for one rendering: the process (with every process it starts), the folder
// it may write in, and the channel its debugging protocol runs on.
//
// The browser is told where to write (a profile and a temporary folder inside the scratch
// folder the caller made) and keeps to it; the process ends when its object goes, however the
// rendering ended, so the caller can then remove the folder. Failures to start are thrown as
// std::runtime_error with the reason.
#pragma once

#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace lorvex::platform {

// The other end of a channel is gone: the browser ended or closed it.
class ChannelClosed : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Whole messages both ways, in order.
class MessageChannel {
 public:
  virtual ~MessageChannel() = default;
  // Throws ChannelClosed when the other end is gone.
  virtual void Send(std::string_view message) = 0;
  // The next whole message, or nothing when none arrived within timeoutMs (0: only what has
  // arrived). Throws ChannelClosed when the other end is gone, std::runtime_error when a
  // message passes the channel's size limit.
  virtual std::optional<std::string> Receive(int timeoutMs) = 0;
};

// How the caller reaches the browser's debugging protocol.
enum class ProtocolWay {
  Pipe,  // the process's own channel (Channel() below)
  Port,  // a loopback port the browser picks and writes into DevToolsActivePort in its profile
};

struct BrowserCommand {
  std::string program;                 // a path, or a name looked for on PATH
  std::vector<std::string> arguments;  // without the one that chooses the protocol's way
  std::string scratchFolder;           // the browser's temporary files go below it
  ProtocolWay way = ProtocolWay::Pipe;
};

class BrowserProcess {
 public:
  // Ends the browser and what it started, and waits (bounded) until they are gone.
  virtual ~BrowserProcess() = default;
  // The protocol's channel when started with ProtocolWay::Pipe; null otherwise.
  virtual MessageChannel* Channel() = 0;
  // How the browser ended ("exit status 1", "killed by signal 11"); empty while it runs.
  virtual std::string Ended() = 0;
};

// Starts the browser; throws std::runtime_error when it cannot be started.
std::unique_ptr<BrowserProcess> StartBrowser(const BrowserCommand& command);

// A new folder that only this user may enter, in the system's folder for temporary files,
// named prefix + something unique; empty with error set when none can be made.
std::string MakePrivateTempFolder(std::string_view prefix, std::string& error);

// True when the process has the system's highest rights (root), under which a browser's own
// sandbox refuses to start.
bool RunningWithHighestRights();

// The full path of program: as given when it names a folder, else the first executable file of
// that name in the folders of PATH; empty when there is none.
std::string FindProgram(std::string_view program);

}  // namespace lorvex::platform
