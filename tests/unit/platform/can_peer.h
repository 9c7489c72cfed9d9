// The far end of a CAN port's host socket: a Unix seqpacket connection carrying one frame, laid
// out as the kernel's struct can_frame, per packet. Waits are bounded by a guard that only turns a
// hang into a failure.
#pragma once

#include <linux/can.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace canpeer {

inline constexpr int kGuardMs = 10000;

inline can_frame makeFrame(std::uint32_t id, const std::string& data) {
  can_frame f{};
  f.can_id = id;
  f.len = static_cast<std::uint8_t>(data.size() > 8 ? 8 : data.size());
  std::memcpy(f.data, data.data(), f.len);
  return f;
}

class Peer {
 public:
  explicit Peer(const std::string& path) {
    fd_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::snprintf(a.sun_path, sizeof a.sun_path, "%s", path.c_str());
    if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
      ::close(fd_);
      fd_ = -1;
    }
  }
  ~Peer() {
    if (fd_ >= 0) ::close(fd_);
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  bool ok() const { return fd_ >= 0; }
  bool send(const can_frame& f) { return ::send(fd_, &f, sizeof f, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof f); }
  bool sendRaw(const void* p, std::size_t n) { return ::send(fd_, p, n, MSG_NOSIGNAL) == static_cast<ssize_t>(n); }
  // A line cut into frames of 8 bytes with identifiers first, first + 1, ... (wrapping at count).
  bool sendText(const std::string& text, std::uint32_t first, std::uint32_t count) {
    std::uint32_t k = 0;
    for (std::size_t at = 0; at < text.size(); at += 8, ++k) {
      if (!send(makeFrame(first + k % count, text.substr(at, 8)))) return false;
    }
    return true;
  }
  // 1: a frame, 0: the program closed the connection, -1: nothing within the guard.
  int next(can_frame& f, int guardMs = kGuardMs) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, guardMs) <= 0) return -1;
    const ssize_t n = ::recv(fd_, &f, sizeof f, 0);
    if (n == 0) return 0;
    return n == static_cast<ssize_t>(sizeof f) ? 1 : -1;
  }
  // Frames until the connection closes; false when it did not within the guard.
  bool drainToClose(int guardMs = kGuardMs) {
    can_frame f{};
    for (;;) {
      const int r = next(f, guardMs);
      if (r <= 0) return r == 0;
    }
  }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
};

}  // namespace canpeer
