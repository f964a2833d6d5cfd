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
  Pipe,  // the process's own channel (Channel() below); POSIX only
  Port,  // a loopback port the browser picks and writes into DevToolsActivePort in its profile
};
#ifdef _WIN32
constexpr ProtocolWay kNativeProtocolWay = ProtocolWay::Port;
#else
constexpr ProtocolWay kNativeProtocolWay = ProtocolWay::Pipe;
#endif

struct BrowserCommand {
  std::string program;  // a path, or a name looked for on PATH
  // Without the profile and the one that chooses the protocol's way.
  std::vector<std::string> arguments;
  std::string scratchFolder;  // the browser's temporary files go below it
  std::string profileFolder;  // its profile (--user-data-dir), in the form this process uses
  ProtocolWay way = kNativeProtocolWay;
};

class BrowserProcess {
 public:
  // Ends the browser and what it started, and waits (bounded) until they are gone, where the
  // process is within reach (EndsWithObject).
  virtual ~BrowserProcess() = default;
  // The protocol's channel when started with ProtocolWay::Pipe; null otherwise.
  virtual MessageChannel* Channel() = 0;
  // How the browser ended ("exit status 1", "killed by signal 11"); empty while it runs or
  // when it cannot be told.
  virtual std::string Ended() = 0;
  // False when the process is out of this process's reach (a program of the host system
  // started from under Wine: no handle to wait on or end it): it must be asked to close.
  virtual bool EndsWithObject() const = 0;
};

// Starts the browser; throws std::runtime_error when it cannot be started.
std::unique_ptr<BrowserProcess> StartBrowser(const BrowserCommand& command);

// A new folder that only this user may enter, in the system's folder for temporary files,
// named prefix + something unique; empty with error set when none can be made.
std::string MakePrivateTempFolder(std::string_view prefix, std::string& error);

// True when the browser program would run with the system's highest rights (root), under
// which its own sandbox refuses to start.
bool BrowserRunsWithHighestRights(std::string_view program);

// The file: URL under which the browser program opens the file at path (absolute, as this
// process names it): a browser of the host under Wine is given the host's path.
std::string FileUrlForBrowser(std::string_view program, std::string_view path);
// The file: URL of an absolute path ("/home/u/a b.htm" or "C:\\u\\a.htm"): "\\" as "/", every
// byte but letters, digits and "/-._~:" percent-encoded.
std::string FileUrlOfPath(std::string_view path);

// The full path of program: as given when it names a folder, else the first executable file of
// that name in the folders of PATH; empty when there is none.
std::string FindProgram(std::string_view program);

}  // namespace lorvex::platform
