#include "output/zr_std_msg.h"

#include <algorithm>
#include <cstring>

#include "platform/ports/out_port.h"

namespace {
constexpr char kHex[] = "0123456789ABCDEF";
}

std::uint8_t zrCs8(const void* data, int len, std::uint8_t c) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  for (int i = 0; i < len; ++i) {
    std::uint8_t x = static_cast<std::uint8_t>(c ^ p[i]);
    c = static_cast<std::uint8_t>((x << 2) | (x >> 6));
  }
  return c;
}

ZRStdMsg::ZRStdMsg(char* buf, int size, const char* id, ZrCheck check, const char* term)
    : buf_(buf), size_(size > 0 && buf ? size : 0) {
  reset(id, check, term);
}

void ZRStdMsg::reset(const char* id, ZrCheck check, const char* term) {
  if (id && id[0] && id[1]) {
    id_[0] = id[0];
    id_[1] = id[1];
  }
  check_ = check;
  termLen_ = 0;
  if (term) {
    while (termLen_ < 2 && term[termLen_]) {
      term_[termLen_] = term[termLen_];
      ++termLen_;
    }
  }
  reset();
}

void ZRStdMsg::reset() {
  foreign_ = false;
  // finish() writes the checksum and terminator behind the body: a buffer without room for
  // them can hold no frame at all.
  overflow_ = size_ < kHeader + checkLen() + termLen_;
  pos_ = size_ < kHeader ? 0 : kHeader;
  end_ = 0;
}

void ZRStdMsg::foreign() {
  foreign_ = true;
  overflow_ = false;
  pos_ = 0;
  end_ = 0;
}

int ZRStdMsg::checkLen() const {
  switch (check_) {
    case ZrCheck::kNone: return 0;
    case ZrCheck::kCs8: return 1;
    case ZrCheck::kCs8Hex: return 2;
  }
  return 0;
}

int ZRStdMsg::room() const {
  if (foreign_) return size_ - pos_;
  int bySize = size_ - termLen_ - checkLen() - pos_;
  int byLength = kHeader + kMaxBody - checkLen() - pos_;
  return std::max(0, std::min(bySize, byLength));
}

bool ZRStdMsg::put(const void* data, int n) {
  if (overflow_ || n < 0 || n > room()) {
    overflow_ = true;
    return false;
  }
  if (n > 0) std::memcpy(buf_ + pos_, data, static_cast<std::size_t>(n));
  pos_ += n;
  end_ = 0;
  return true;
}

bool ZRStdMsg::put(std::uint32_t v) {
  std::uint8_t b[4] = {static_cast<std::uint8_t>(v), static_cast<std::uint8_t>(v >> 8),
                       static_cast<std::uint8_t>(v >> 16), static_cast<std::uint8_t>(v >> 24)};
  return put(b, 4);
}

bool ZRStdMsg::seekRel(int n) {
  if (overflow_) return false;
  int target = pos_ + n;
  if (target < start() || target > pos_ + room()) return false;
  pos_ = target;
  end_ = 0;
  return true;
}

int ZRStdMsg::finish() {
  if (overflow_) return -1;
  if (end_ > 0) return end_;
  if (foreign_) {
    end_ = pos_;
    return end_;
  }
  int body = pos_ - kHeader + checkLen();
  buf_[0] = id_[0];
  buf_[1] = id_[1];
  buf_[2] = kHex[(body >> 8) & 0xF];
  buf_[3] = kHex[(body >> 4) & 0xF];
  buf_[4] = kHex[body & 0xF];
  int p = pos_;
  switch (check_) {
    case ZrCheck::kNone:
      break;
    case ZrCheck::kCs8:
      buf_[p++] = static_cast<char>(zrCs8(buf_, pos_));
      break;
    case ZrCheck::kCs8Hex: {
      std::uint8_t c = zrCs8(buf_, pos_);
      buf_[p++] = kHex[c >> 4];
      buf_[p++] = kHex[c & 0xF];
      break;
    }
  }
  for (int i = 0; i < termLen_; ++i) buf_[p++] = term_[i];
  end_ = p;
  return end_;
}

int ZRStdMsg::write(OStream& os) {
  int n = finish();
  if (n < 0) return -1;
  if (n == 0) return 0;
  return os.write(buf_, n, 0);
}
