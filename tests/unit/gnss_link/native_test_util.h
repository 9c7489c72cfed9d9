// The tests' own writer of native messages and recording clients. The writer is kept apart
// from the product's: a framing fault must not hide on both sides.
#pragma once

#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "gnss_link/native_msg_filter.h"
#include "gnss_link/native_stream_parser.h"

namespace ntest {

enum class Ck { None, Bin, Hex };

// 8-bit checksum: each byte is XORed in, then the sum is rotated left by two.
inline unsigned ck8(const std::string& s) {
  unsigned c = 0;
  for (unsigned char b : s) {
    c = (c ^ b) & 0xFFu;
    c = ((c * 4u) | (c / 64u)) & 0xFFu;
  }
  return c;
}

// "<id><3 upper-case hex digits of body length><payload><checksum>"; the length counts the
// checksum too.
inline std::string frame(const std::string& id, const std::string& payload, Ck ck = Ck::Bin) {
  const int ckLen = ck == Ck::None ? 0 : ck == Ck::Bin ? 1 : 2;
  char hdr[8];
  std::snprintf(hdr, sizeof hdr, "%.2s%03X", id.c_str(), static_cast<unsigned>(payload.size() + ckLen));
  std::string m = std::string(hdr) + payload;
  const unsigned c = ck8(m);
  if (ck == Ck::Bin) m += static_cast<char>(c);
  if (ck == Ck::Hex) {
    char h[3];
    std::snprintf(h, sizeof h, "%02X", c);
    m += h;
  }
  return m;
}

// Same framing with a checksum that is certainly wrong (and not a header or foreign character).
inline std::string frameBad(const std::string& id, const std::string& payload) {
  std::string m = frame(id, payload, Ck::Bin);
  m.back() = static_cast<char>(static_cast<unsigned char>(m.back()) == 0 ? 1 : 0);
  return m;
}

inline std::string le32(std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  return std::string{static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                     static_cast<char>((u >> 16) & 0xFF), static_cast<char>((u >> 24) & 0xFF)};
}

inline std::string epochStart(std::int32_t t) { return frame("~~", le32(t)); }
inline std::string epochEnd(std::int32_t t) { return frame("::", le32(t) + "\x01\x02\x03\x04"); }

inline std::string show(const char* p, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) {
    const unsigned char c = static_cast<unsigned char>(p[i]);
    if (c >= 32 && c < 127) {
      s += static_cast<char>(c);
    } else {
      char h[5];
      std::snprintf(h, sizeof h, "<%02X>", c);
      s += h;
    }
  }
  return s;
}

inline std::string idText(std::uint16_t id) {
  return std::string{static_cast<char>(id >> 8), static_cast<char>(id & 0xFF)};
}

using Log = std::vector<std::string>;

// A decoder that writes every call it receives into a shared log.
class RecClient : public ZrtMsgClient {
 public:
  RecClient(Log& log, std::string name) : log_(log), name_(std::move(name)) {}
  void reset() override { log_.push_back("reset:" + name_); }
  void startOfEpoch(long t) override { log_.push_back("start:" + name_ + ":" + std::to_string(t)); }
  void endOfEpoch(long t) override { log_.push_back("end:" + name_ + ":" + std::to_string(t)); }
  static bool handler(ZrtMsgClient* c, const ZRFMessage& m) {
    auto* r = static_cast<RecClient*>(c);
    r->log_.push_back("msg:" + r->name_ + ":" + idText(m.id) + ":" + show(m.body(), m.len));
    return true;
  }
  static bool refuse(ZrtMsgClient* c, const ZRFMessage& m) {
    auto* r = static_cast<RecClient*>(c);
    r->log_.push_back("refused:" + r->name_ + ":" + idText(m.id));
    return false;
  }

 private:
  Log& log_;
  std::string name_;
};

class RecNotify : public ZrtMsgNotify {
 public:
  explicit RecNotify(Log& log) : log_(log) {}
  void notify(bool ok, const ZRFMessage& m) override {
    log_.push_back(std::string("notify:") + (ok ? "1:" : "0:") + idText(m.id));
  }
  void notifyReset() override { log_.push_back("notifyReset"); }

 private:
  Log& log_;
};

// Takes foreign runs; takes unknown messages only when asked to.
class RecUnknown : public ZrtUnknownMsgClient {
 public:
  explicit RecUnknown(Log& log, bool takeMessages = false) : log_(log), take_(takeMessages) {}
  void unknownReset() override { log_.push_back("unknownReset"); }
  bool foreign(const char* d, int n, int term) override {
    log_.push_back("foreign:" + show(d, n) + ":" + std::to_string(term));
    return true;
  }
  bool announce(const ZRFMessage&) override { return take_; }
  bool message(const ZRFMessage& m) override {
    log_.push_back("unknown:" + idText(m.id) + ":" + show(m.body(), m.len));
    return true;
  }

 private:
  Log& log_;
  bool take_;
};

// Feeds `s` in pieces: size 0 means all at once, 1 byte by byte, otherwise random sizes in
// 1..maxChunk drawn from `seed`.
template <class Sink>
void feedChunked(Sink&& sink, const std::string& s, int maxChunk, unsigned seed = 1) {
  if (maxChunk <= 0) {
    sink(s.data(), static_cast<int>(s.size()));
    return;
  }
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> d(1, maxChunk);
  std::size_t i = 0;
  while (i < s.size()) {
    const std::size_t k = std::min<std::size_t>(maxChunk == 1 ? 1 : static_cast<std::size_t>(d(rng)), s.size() - i);
    sink(s.data() + i, static_cast<int>(k));
    i += k;
  }
}

}  // namespace ntest
