#include "gnss_link/native_stream_parser.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Byte classes of the framing.
enum : std::uint8_t { C_ID = 1, C_HEX = 2, C_FOREIGN = 4, C_EOL = 8 };

constexpr std::array<std::uint8_t, 256> makeClasses() {
  std::array<std::uint8_t, 256> t{};
  for (int c = '0'; c <= '~'; ++c) t[c] |= C_ID;
  for (int c = '0'; c <= '9'; ++c) t[c] |= C_HEX;
  for (int c = 'A'; c <= 'F'; ++c) t[c] |= C_HEX;
  for (int c = '!'; c <= '/'; ++c) t[c] |= C_FOREIGN;
  t['\r'] |= C_EOL;
  t['\n'] |= C_EOL;
  return t;
}
constexpr std::array<std::uint8_t, 256> kClass = makeClasses();

inline std::uint8_t cls(char c) { return kClass[static_cast<unsigned char>(c)]; }

inline int hexValue(char c) { return c <= '9' ? c - '0' : c - 'A' + 10; }

}  // namespace

ZRFParser::ZRFParser(char* buffer, int size, ZRFPClient& client)
    : buf_(buffer), own_(false), size_(size), client_(&client) {
  if (!buf_ || size_ < kMinSize) {
    // A caller's buffer too small for a header and a terminated byte is not used.
    size_ = std::max(size_, kMinSize);
    buf_ = new char[static_cast<unsigned>(size_)];
    own_ = true;
  }
  maxBody_ = size_ - 5;
  if (maxBody_ < 8) {
    foreignMin_ = foreignMax_ = size_ - 6;
  } else {
    foreignMin_ = 7;
    foreignMax_ = std::min(size_ - 6, 512);
  }
  if (foreignMin_ > foreignMax_) foreignMax_ = foreignMin_;
  msg_.data = buf_;
  setState(S_RESYNC);
}

ZRFParser::~ZRFParser() {
  if (own_) delete[] buf_;
}

void ZRFParser::setForeignBounds(int min, int max) {
  // A run must hold at least one byte; its terminator still fits since maxBody is size - 5.
  foreignMax_ = std::max(1, std::min(max, maxBody_));
  foreignMin_ = std::min(min, foreignMax_);
}

void ZRFParser::setState(int s) {
  static constexpr Handler kStates[] = {&ZRFParser::sfResync_, &ZRFParser::sfExtract_, &ZRFParser::sfSkip_,
                                        &ZRFParser::sfNext_, &ZRFParser::sfForeign_};
  state_ = s;
  handler_ = kStates[s];
}

void ZRFParser::reset() {
  count_ = 0;
  reexam_ = false;
  setState(S_RESYNC);
  client_->reset();
}

void ZRFParser::startForeign(char c) {
  buf_[0] = c;
  count_ = 1;
  setState(S_FOREIGN);
}

void ZRFParser::startHeader(char c) {
  buf_[0] = c;
  count_ = 1;
  setState(S_RESYNC);
}

void ZRFParser::process(const void* data, int len) {
  if (!data || len <= 0) return;
  // Spans pushed by this call lie above `base`; a client that feeds the parser from inside a
  // callback only ever sees its own spans resumed.
  const int base = nPending_;
  int bufSpans = 0;
  const char* p = static_cast<const char*>(data);
  int n = len;
  bool inBuf = false;
  for (;;) {
    while (n > 0) {
      reexam_ = false;
      const int used = (this->*handler_)(p, n);
      p += used;
      n -= used;
      if (!reexam_) continue;
      reexam_ = false;
      const int held = count_;
      count_ = 0;
      if (held <= 1) continue;
      if (n > 0) {
        // The caller's block always has its place at the bottom; only nested re-examinations
        // count against the limit, so the outcome never depends on how the input was cut.
        const bool room = nPending_ <= kMaxPending && (!inBuf || bufSpans < kMaxPending);
        if (!room) continue;  // the held bytes are dropped, the input goes on
        pending_[nPending_++] = Span{p, n, inBuf};
        if (inBuf) ++bufSpans;
      }
      // Reading from buf_[1..] while writing from buf_[0]: the reader stays ahead.
      p = buf_ + 1;
      n = held - 1;
      inBuf = true;
    }
    if (nPending_ == base) break;
    const Span& s = pending_[--nPending_];
    p = s.p;
    n = s.n;
    inBuf = s.inBuf;
    if (inBuf) --bufSpans;
  }
}

int ZRFParser::sfNext_(const char* p, int n) {
  for (int i = 0; i < n; ++i) {
    const std::uint8_t k = cls(p[i]);
    if (k & C_EOL) continue;
    if (k & C_FOREIGN) {
      startForeign(p[i]);
      return i + 1;
    }
    if (k & C_ID) {
      startHeader(p[i]);
      return i + 1;
    }
    count_ = 0;
    setState(S_RESYNC);
    return i;
  }
  return n;
}

int ZRFParser::sfResync_(const char* p, int n) {
  int i = 0;
  while (i < n) {
    const char c = p[i++];
    const std::uint8_t k = cls(c);
    if (count_ == 0) {
      if (k & C_ID) {
        buf_[0] = c;
        count_ = 1;
      } else if (k & C_FOREIGN) {
        startForeign(c);
        return i;
      }
      continue;
    }
    if (k & (count_ < 2 ? C_ID : C_HEX)) {
      buf_[count_++] = c;
      if (count_ == 5) {
        headerDone();
        if (state_ != S_RESYNC || reexam_) return i;
      }
      continue;
    }
    if (k & C_ID) {
      // Every collected character after the first two is a hex digit, so the only header that
      // can still hold this byte starts at the last collected character.
      buf_[0] = buf_[count_ - 1];
      buf_[1] = c;
      count_ = 2;
    } else if (k & C_FOREIGN) {
      startForeign(c);
      return i;
    } else {
      count_ = 0;
    }
  }
  return n;
}

void ZRFParser::headerDone() {
  msg_.data = buf_;
  msg_.id = ZRFMessage::makeId(buf_[0], buf_[1]);
  msg_.len = hexValue(buf_[2]) * 256 + hexValue(buf_[3]) * 16 + hexValue(buf_[4]);
  const int a = client_->announce(msg_);
  if (a == ZRFPClient::A_EXTRACT) {
    setState(msg_.len > maxBody_ ? S_SKIP : S_EXTRACT);
  } else if (a == ZRFPClient::A_SKIP) {
    setState(S_SKIP);
  } else {
    // Rejected: a header may still start at the next character.
    std::memmove(buf_, buf_ + 1, 4);
    count_ = 4;
    return;
  }
  if (msg_.len == 0) {
    if (state_ == S_EXTRACT) {
      messageDone();
    } else {
      count_ = 0;
      setState(S_NEXT);
    }
  }
}

void ZRFParser::messageDone() {
  msg_.data = buf_;
  if (client_->message(msg_)) {
    count_ = 0;
    setState(S_NEXT);
  } else {
    setState(S_RESYNC);
    reexam_ = true;
  }
}

int ZRFParser::sfExtract_(const char* p, int n) {
  const int k = std::min(5 + msg_.len - count_, n);
  // The source may be the re-examined part of the same buffer, always at or after the target.
  std::memmove(buf_ + count_, p, static_cast<std::size_t>(k));
  count_ += k;
  if (count_ == 5 + msg_.len) messageDone();
  return k;
}

int ZRFParser::sfSkip_(const char*, int n) {
  const int k = std::min(5 + msg_.len - count_, n);
  count_ += k;
  if (count_ == 5 + msg_.len) {
    count_ = 0;
    setState(S_NEXT);
  }
  return k;
}

int ZRFParser::sfForeign_(const char* p, int n) {
  for (int i = 0; i < n; ++i) {
    const char c = p[i];
    if (cls(c) & C_EOL) {
      const int held = count_;
      buf_[count_++] = c;
      if (held >= foreignMin_ && client_->foreign(buf_, held + 1, static_cast<unsigned char>(c))) {
        count_ = 0;
        setState(S_NEXT);
      } else {
        setState(S_RESYNC);
        reexam_ = true;
      }
      return i + 1;
    }
    if (count_ >= foreignMax_) {
      if (count_ >= foreignMin_ && client_->foreign(buf_, count_, -1)) {
        count_ = 0;
        setState(S_RESYNC);
        return i;  // the byte after the run is looked at again
      }
      buf_[count_++] = c;
      setState(S_RESYNC);
      reexam_ = true;
      return i + 1;
    }
    buf_[count_++] = c;
  }
  return n;
}
