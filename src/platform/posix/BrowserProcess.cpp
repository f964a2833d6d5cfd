// POSIX side of the browser seam. The browser runs in a process group of its own, so that one
// signal ends it with every process it started. Its debugging protocol runs on descriptors 3
// (what it reads) and 4 (what it writes), messages ended by a NUL byte; both are one end of a
// socket pair here, whose other end never raises SIGPIPE when the browser is gone.
#include "platform/BrowserProcess.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "util/Ascii.h"

extern char** environ;

namespace lorvex::platform {

namespace {

// A message longer than this is refused: a whole document fits many times over.
constexpr size_t kMaxMessageBytes = size_t(512) << 20;
constexpr size_t kReadPiece = 256 * 1024;
// How long a browser's processes may take to go after the kill.
constexpr int kExitWaitMs = 3000;
constexpr int kExitPollMs = 10;
// The descriptors the browser's pipe mode reads and writes.
constexpr int kBrowserReads = 3;
constexpr int kBrowserWrites = 4;
// Our descriptors are moved above these, so that putting the browser's ends in place never
// lands on one of them.
constexpr int kFirstOwnDescriptor = 10;

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) noexcept : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  Descriptor& operator=(Descriptor&&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

// A close-on-exec copy of fd at kFirstOwnDescriptor or above; fd itself is closed.
Descriptor HighCopy(int fd) {
  int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, kFirstOwnDescriptor);
  ::close(fd);
  if (copy < 0) throw std::runtime_error(std::string("descriptor: ") + std::strerror(errno));
  return Descriptor(copy);
}

std::string Describe(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
  return "status " + std::to_string(status);
}

class SocketChannel final : public MessageChannel {
 public:
  explicit SocketChannel(Descriptor fd) : fd_(std::move(fd)) {}

  void Send(std::string_view message) override {
    std::string bytes(message);
    bytes += '\0';
    size_t sent = 0;
    while (sent < bytes.size()) {
      ssize_t n = ::send(fd_.get(), bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
      if (n > 0) {
        sent += size_t(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        pollfd p{fd_.get(), POLLOUT, 0};
        ::poll(&p, 1, -1);
      } else {
        throw ChannelClosed("the browser closed its channel");
      }
    }
  }

  std::optional<std::string> Receive(int timeoutMs) override {
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      if (std::optional<std::string> message = TakeMessage()) return message;
      if (closed_) throw ChannelClosed("the browser closed its channel");
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          until - std::chrono::steady_clock::now());
      pollfd p{fd_.get(), POLLIN, 0};
      int ready = ::poll(&p, 1, int(std::max<long long>(0, left.count())));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return std::nullopt;
      ReadSome();
    }
  }

 private:
  std::optional<std::string> TakeMessage() {
    const size_t end = buffer_.find('\0', scanned_);
    if (end == std::string::npos) {
      scanned_ = buffer_.size();
      if (buffer_.size() > kMaxMessageBytes)
        throw std::runtime_error("the browser sent a message beyond the size limit");
      return std::nullopt;
    }
    std::string message = buffer_.substr(0, end);
    buffer_.erase(0, end + 1);
    scanned_ = 0;
    return message;
  }

  void ReadSome() {
    const size_t old = buffer_.size();
    buffer_.resize(old + kReadPiece);
    ssize_t n = ::recv(fd_.get(), buffer_.data() + old, kReadPiece, 0);
    buffer_.resize(old + size_t(std::max<ssize_t>(n, 0)));
    if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
      closed_ = true;
  }

  Descriptor fd_;
  std::string buffer_;
  size_t scanned_ = 0;  // the bytes of buffer_ known to hold no NUL
  bool closed_ = false;
};

// True while a process of the group runs. A killed process stays until its new parent reaps
// it, which the system's first process may do only seconds later; by then it holds no file,
// so one that has ended (a zombie) no longer counts. Where there is no /proc to tell, every
// process of the group counts until it is reaped.
bool GroupRuns(pid_t group) {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), ::closedir);
  if (!proc) return ::kill(-group, 0) == 0;
  while (dirent* entry = ::readdir(proc.get())) {
    if (!IsAsciiDigit(entry->d_name[0])) continue;
    const std::string path = std::string("/proc/") + entry->d_name + "/stat";
    std::FILE* file = std::fopen(path.c_str(), "re");
    if (!file) continue;
    char stat[512];
    const size_t n = std::fread(stat, 1, sizeof stat - 1, file);
    std::fclose(file);
    stat[n] = '\0';
    // "pid (name) state ppid pgrp ...": the name may hold anything, the last ")" ends it.
    const char* end = std::strrchr(stat, ')');
    char state = 0;
    long parent = 0, pgrp = 0;
    if (end && std::sscanf(end + 1, " %c %ld %ld", &state, &parent, &pgrp) == 3 && pgrp == group &&
        state != 'Z' && state != 'X')
      return true;
  }
  return false;
}

class PosixBrowser final : public BrowserProcess {
 public:
  PosixBrowser(pid_t pid, std::unique_ptr<SocketChannel> channel)
      : pid_(pid), channel_(std::move(channel)) {}

  ~PosixBrowser() override {
    channel_.reset();
    // The group goes at once: the profile is thrown away, nothing in it needs saving.
    ::kill(-pid_, SIGKILL);
    if (!reaped_) ::waitpid(pid_, &status_, 0);
    // Its other processes were killed with it; wait (bounded) until none runs any more.
    for (int waited = 0; waited < kExitWaitMs && GroupRuns(pid_); waited += kExitPollMs)
      std::this_thread::sleep_for(std::chrono::milliseconds(kExitPollMs));
  }

  MessageChannel* Channel() override { return channel_.get(); }
  bool EndsWithObject() const override { return true; }

  std::string Ended() override {
    if (!reaped_) {
      pid_t done = ::waitpid(pid_, &status_, WNOHANG);
      if (done != pid_) return {};
      reaped_ = true;
    }
    return Describe(status_);
  }

 private:
  pid_t pid_;
  std::unique_ptr<SocketChannel> channel_;
  int status_ = 0;
  bool reaped_ = false;
};

// The environment of this process with the variables that say where temporary files, settings
// and caches go pointed into the scratch folder.
std::vector<std::string> BrowserEnvironment(const std::string& scratch) {
  const std::pair<const char*, std::string> moved[] = {
      {"TMPDIR", scratch + "/tmp"},
      {"XDG_CONFIG_HOME", scratch + "/config"},
      {"XDG_CACHE_HOME", scratch + "/cache"},
  };
  std::vector<std::string> env;
  for (char** e = environ; e && *e; ++e) {
    std::string_view entry(*e);
    bool replaced = false;
    for (const auto& [name, value] : moved)
      if (entry.substr(0, std::strlen(name) + 1) == std::string(name) + "=") replaced = true;
    if (!replaced) env.emplace_back(entry);
  }
  for (const auto& [name, value] : moved) {
    ::mkdir(value.c_str(), 0700);
    env.push_back(std::string(name) + "=" + value);
  }
  return env;
}

std::vector<char*> Pointers(std::vector<std::string>& texts) {
  std::vector<char*> pointers;
  for (std::string& text : texts) pointers.push_back(text.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

std::unique_ptr<BrowserProcess> StartBrowser(const BrowserCommand& command) {
  const std::string program = FindProgram(command.program);
  if (program.empty()) throw std::runtime_error("no browser at " + command.program);

  std::vector<std::string> args{program, "--user-data-dir=" + command.profileFolder};
  args.insert(args.end(), command.arguments.begin(), command.arguments.end());
  args.push_back(command.way == ProtocolWay::Pipe ? "--remote-debugging-pipe"
                                                  : "--remote-debugging-port=0");
  std::vector<std::string> env = BrowserEnvironment(command.scratchFolder);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  struct Cleanup {
    posix_spawn_file_actions_t* actions;
    posix_spawnattr_t* attributes;
    ~Cleanup() {
      posix_spawn_file_actions_destroy(actions);
      posix_spawnattr_destroy(attributes);
    }
  } cleanup{&actions, &attributes};

  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);

  std::unique_ptr<SocketChannel> channel;
  std::optional<Descriptor> browserEnd;
  if (command.way == ProtocolWay::Pipe) {
    int pair[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
      throw std::runtime_error(std::string("socket pair: ") + std::strerror(errno));
    Descriptor ours = HighCopy(pair[0]);
    browserEnd.emplace(HighCopy(pair[1]));
    ::fcntl(ours.get(), F_SETFL, ::fcntl(ours.get(), F_GETFL) | O_NONBLOCK);
    channel = std::make_unique<SocketChannel>(std::move(ours));
    // dup2 leaves the copies open across exec; the originals close there.
    posix_spawn_file_actions_adddup2(&actions, browserEnd->get(), kBrowserReads);
    posix_spawn_file_actions_adddup2(&actions, browserEnd->get(), kBrowserWrites);
  }
  posix_spawnattr_setpgroup(&attributes, 0);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGINT);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(env);
  pid_t pid = 0;
  int rc = ::posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), envp.data());
  if (rc != 0) throw std::runtime_error("cannot start " + program + ": " + std::strerror(rc));
  return std::make_unique<PosixBrowser>(pid, std::move(channel));
}

std::string MakePrivateTempFolder(std::string_view prefix, std::string& error) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = (tmp && *tmp) ? tmp : "/tmp";
  if (pattern.back() != '/') pattern += '/';
  pattern.append(prefix).append("XXXXXX");
  if (!::mkdtemp(pattern.data())) {  // mkdtemp makes it 0700
    error = std::strerror(errno);
    return {};
  }
  return pattern;
}

std::string FileUrlForBrowser(std::string_view, std::string_view path) {
  return FileUrlOfPath(path);
}

bool BrowserRunsWithHighestRights(std::string_view) { return ::geteuid() == 0; }

std::string FindProgram(std::string_view program) {
  const auto runnable = [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           ::access(path.c_str(), X_OK) == 0;
  };
  if (program.empty()) return {};
  if (program.find('/') != std::string_view::npos)
    return runnable(std::string(program)) ? std::string(program) : std::string();
  const char* path = std::getenv("PATH");
  std::string_view folders = path ? path : "";
  while (!folders.empty()) {
    const size_t colon = folders.find(':');
    std::string_view folder = folders.substr(0, colon);
    folders = colon == std::string_view::npos ? std::string_view() : folders.substr(colon + 1);
    if (folder.empty()) continue;
    std::string candidate = std::string(folder) + "/" + std::string(program);
    if (runnable(candidate)) return candidate;
  }
  return {};
}

}  // namespace lorvex::platform
