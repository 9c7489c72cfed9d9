// Test doubles of an output port and a small reader of native frames, written for the tests
// (independent of the writer under test).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ports/out_port.h"

class FakePort : public OStream {
 public:
  // `capacity` < 0: takes everything; otherwise takes whole writes while they fit.
  explicit FakePort(int capacity = -1) : capacity_(capacity) {}
  int write(const void* data, int len, int timeout) override {
    ++calls;
    maxTimeout = timeout > maxTimeout ? timeout : maxTimeout;
    if (capacity_ >= 0 && static_cast<int>(bytes.size()) + len > capacity_) return 0;
    bytes.append(static_cast<const char*>(data), static_cast<std::size_t>(len));
    return len;
  }
  std::string bytes;
  int calls = 0;
  int maxTimeout = 0;

 private:
  int capacity_;
};

struct Frame {
  std::string id;
  std::string body;  // without the checksum byte
  bool checksumOk;
};

inline std::uint8_t testCs8(const std::string& s) {
  std::uint8_t c = 0;
  for (unsigned char b : s) {
    std::uint8_t x = static_cast<std::uint8_t>(c ^ b);
    c = static_cast<std::uint8_t>((x << 2) | (x >> 6));
  }
  return c;
}

// Cuts a byte stream into frames whose last body byte is a binary 8-bit checksum.
inline std::vector<Frame> readFrames(const std::string& s, bool* clean = nullptr) {
  std::vector<Frame> out;
  std::size_t i = 0;
  bool ok = true;
  while (i + 5 <= s.size()) {
    std::string hex = s.substr(i + 2, 3);
    unsigned len = 0;
    for (char ch : hex) {
      int v = (ch >= '0' && ch <= '9') ? ch - '0' : (ch >= 'A' && ch <= 'F') ? ch - 'A' + 10 : -1;
      if (v < 0) {
        ok = false;
        break;
      }
      len = len * 16 + static_cast<unsigned>(v);
    }
    if (!ok || len == 0 || i + 5 + len > s.size()) {
      ok = false;
      break;
    }
    std::string head = s.substr(i, 5 + len - 1);
    Frame f{s.substr(i, 2), s.substr(i + 5, len - 1),
            testCs8(head) == static_cast<std::uint8_t>(s[i + 5 + len - 1])};
    out.push_back(f);
    i += 5 + len;
  }
  if (i != s.size()) ok = false;
  if (clean) *clean = ok;
  return out;
}

inline std::uint32_t le32(const std::string& body) {
  if (body.size() < 4) return 0xFFFFFFFFu;
  return static_cast<std::uint32_t>(static_cast<unsigned char>(body[0])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(body[1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(body[2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(body[3])) << 24;
}
