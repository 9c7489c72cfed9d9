// The epoch markers as a port delivers them, read with the test's own cutter of native
// messages: "~~" and "::" with a 4-byte little-endian epoch time and a checksum byte; replies
// ("RE"/"ER") end in CR LF and are skipped.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace epochs {

struct Marker {
  char kind;  // '~' opens, ':' closes
  std::uint32_t t;
  std::chrono::steady_clock::time_point seen;
};

inline int hexv(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads `fd` and cuts what arrived into markers.
class Reader {
 public:
  explicit Reader(int fd) : fd_(fd) {}

  // Reads for up to `ms`; returns false when the bytes held are not native messages.
  bool poll(int ms) {
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) > 0) {
      char tmp[4096];
      ssize_t n = ::read(fd_, tmp, sizeof tmp);
      if (n > 0) buf_.append(tmp, static_cast<std::size_t>(n));
    }
    const auto now = std::chrono::steady_clock::now();
    for (;;) {
      if (buf_.size() < 5) return true;
      int len = 0;
      for (int i = 2; i < 5; ++i) {
        const int h = hexv(buf_[static_cast<std::size_t>(i)]);
        if (h < 0) return false;
        len = len * 16 + h;
      }
      const std::string id = buf_.substr(0, 2);
      const bool reply = id == "RE" || id == "ER";
      const std::size_t total = 5 + static_cast<std::size_t>(len) + (reply ? 2 : 0);
      if (buf_.size() < total) return true;
      if (id == "~~" || id == "::") {
        if (len != 5) return false;
        std::uint32_t t = 0;
        for (int i = 3; i >= 0; --i) t = t << 8 | static_cast<unsigned char>(buf_[5 + static_cast<std::size_t>(i)]);
        markers.push_back({id[0], t, now});
      } else if (!reply) {
        return false;
      }
      buf_.erase(0, total);
    }
  }

  std::vector<Marker> markers;

 private:
  int fd_;
  std::string buf_;
};

}  // namespace epochs
