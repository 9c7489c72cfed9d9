// The test's own side of a serial port: opens a port's link in the run directory in raw mode,
// writes command lines and cuts what comes back into whole native messages ("RE"/"ER", three
// hex digits of length, body, CR LF). Written apart from the product's code on purpose.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace e2e {

class PortReader {
 public:
  // `path`: the port's link (absolute) or a terminal device.
  explicit PortReader(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ >= 0) {
      termios t;
      if (tcgetattr(fd_, &t) == 0) {
        cfmakeraw(&t);
        tcsetattr(fd_, TCSANOW, &t);
      }
    }
  }
  ~PortReader() {
    if (fd_ >= 0) ::close(fd_);
  }
  PortReader(const PortReader&) = delete;
  PortReader& operator=(const PortReader&) = delete;

  bool ok() const { return fd_ >= 0; }
  int fd() const { return fd_; }

  // Writes all of `bytes` (waits while the port's input is full).
  bool sendRaw(const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
      ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  bool send(const std::string& line) { return sendRaw(line + "\r\n"); }

  // Next whole message (with its CR LF); empty when none came within the guard. Bytes that
  // are not a message make it fail with the text "BAD:" and what was seen.
  std::string next(int guardMs = kGuardMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(guardMs);
    for (;;) {
      std::string m;
      int st = cut(m);
      if (st != 0) return m;
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      end - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0) return "";
      pollfd pf{fd_, POLLIN, 0};
      if (::poll(&pf, 1, static_cast<int>(left)) <= 0) continue;
      char buf[4096];
      ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n > 0) buf_.append(buf, static_cast<std::size_t>(n));
    }
  }

  // Sends a line and returns the first message that answers it.
  std::string ask(const std::string& line) {
    if (!send(line)) return "";
    return next();
  }

  // Whatever bytes wait unread, without cutting (for checks of silence).
  std::string pending(int waitMs) {
    pollfd pf{fd_, POLLIN, 0};
    while (::poll(&pf, 1, waitMs) > 0) {
      char buf[4096];
      ssize_t n = ::read(fd_, buf, sizeof buf);
      if (n <= 0) break;
      buf_.append(buf, static_cast<std::size_t>(n));
    }
    std::string s;
    s.swap(buf_);
    return s;
  }

 private:
  static int hex(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }
  // 1: a message was cut into m; -1: bad bytes (m says what); 0: need more.
  int cut(std::string& m) {
    if (buf_.size() < 5) return 0;
    if (buf_.compare(0, 2, "RE") != 0 && buf_.compare(0, 2, "ER") != 0) {
      m = "BAD:" + buf_;
      buf_.clear();
      return -1;
    }
    int len = 0;
    for (int i = 2; i < 5; ++i) {
      int h = hex(buf_[static_cast<std::size_t>(i)]);
      if (h < 0) {
        m = "BAD:" + buf_;
        buf_.clear();
        return -1;
      }
      len = len * 16 + h;
    }
    std::size_t total = 5 + static_cast<std::size_t>(len) + 2;
    if (buf_.size() < total) return 0;
    if (buf_.compare(total - 2, 2, "\r\n") != 0) {
      m = "BAD:" + buf_;
      buf_.clear();
      return -1;
    }
    m = buf_.substr(0, total);
    buf_.erase(0, total);
    return 1;
  }

  int fd_ = -1;
  std::string buf_;
};

}  // namespace e2e
