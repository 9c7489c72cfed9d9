// Runs the GNSS board simulator in a run directory and talks to it over its socket, with the
// test's own reader of the native format. Every wait is bounded by a guard that only turns a
// hang into a failure.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace simtest {

constexpr int kGuardMs = 10000;

inline std::string simPath() { return std::string(RX_TOOLS_DIR) + "/gnss_board_sim/gnss_board_sim"; }

class SimProcess {
 public:
  SimProcess(const std::string& dir, std::vector<std::string> args) : dir_(dir) {
    args.insert(args.begin(), {simPath(), "--dir", dir});
    pid_ = fork();
    if (pid_ == 0) {
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      int devnull = open("/dev/null", O_WRONLY);
      if (devnull >= 0) dup2(devnull, 2);
      execv(argv[0], argv.data());
      _exit(127);
    }
  }
  ~SimProcess() { stop(); }
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Ends the simulator with SIGTERM; returns its exit status (-1 when it had to be killed).
  int stop() {
    if (pid_ <= 0) return -1;
    kill(pid_, SIGTERM);
    int st = 0;
    for (int waited = 0; waited < kGuardMs; waited += 10) {
      if (waitpid(pid_, &st, WNOHANG) == pid_) {
        pid_ = -1;
        return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid_, SIGKILL);
    waitpid(pid_, &st, 0);
    pid_ = -1;
    return -1;
  }

 private:
  std::string dir_;
  pid_t pid_ = -1;
};

// The program's side of the link.
class Link {
 public:
  explicit Link(const std::string& socketPath) {
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, socketPath.c_str(), sizeof a.sun_path - 1);
    for (int waited = 0; waited < kGuardMs; waited += 10) {
      fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
      if (connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return;
      close(fd_);
      fd_ = -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  ~Link() {
    if (fd_ >= 0) close(fd_);
  }
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  bool ok() const { return fd_ >= 0; }
  void send(const std::string& s) const {
    if (fd_ >= 0) (void)::send(fd_, s.data(), s.size(), MSG_NOSIGNAL);
  }
  // Reads until `n` bytes are held (or the guard passes); returns them and keeps the rest.
  std::string read(std::size_t n) {
    fill([&] { return buf_.size() >= n; });
    std::string out = buf_.substr(0, std::min(n, buf_.size()));
    buf_.erase(0, out.size());
    return out;
  }
  // Reads until `pred(held bytes)` holds or the guard passes.
  template <class P>
  bool readUntil(P pred, int guardMs = kGuardMs) {
    return fill([&] { return pred(buf_); }, guardMs);
  }
  std::string& held() { return buf_; }

 private:
  template <class F>
  bool fill(F done, int guardMs = kGuardMs) {
    char tmp[4096];
    for (int waited = 0; !done(); waited += 20) {
      if (waited >= guardMs || fd_ < 0) return false;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, 20) > 0) {
        ssize_t r = ::read(fd_, tmp, sizeof tmp);
        if (r <= 0) return done();
        buf_.append(tmp, static_cast<std::size_t>(r));
      }
    }
    return true;
  }

  int fd_ = -1;
  std::string buf_;
};

// One native frame as the test reads it.
struct Frame {
  std::string id;
  std::string body;  // whole body, checksum included when the id carries one
};

inline std::uint8_t cs8(const std::string& s) {
  std::uint8_t c = 0;
  for (unsigned char b : s) {
    std::uint8_t x = static_cast<std::uint8_t>(c ^ b);
    c = static_cast<std::uint8_t>((x << 2) | (x >> 6));
  }
  return c;
}

inline std::uint32_t le32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + static_cast<std::size_t>(i)]);
  return v;
}

// Takes whole frames off the front of `held` while it starts with a valid header.
inline std::vector<Frame> takeFrames(std::string& held) {
  std::vector<Frame> out;
  for (;;) {
    if (held.size() < 5) break;
    unsigned len = 0;
    bool hex = true;
    for (int i = 2; i < 5; ++i) {
      char c = held[static_cast<std::size_t>(i)];
      int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
      hex = hex && v >= 0;
      len = len * 16 + static_cast<unsigned>(v < 0 ? 0 : v);
    }
    if (!hex || held.size() < 5 + len) break;
    out.push_back(Frame{held.substr(0, 2), held.substr(5, len)});
    held.erase(0, 5 + len);
  }
  return out;
}

}  // namespace simtest
