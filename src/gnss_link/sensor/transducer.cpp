#include "gnss_link/sensor/transducer.h"

SensorDataBuf meteoDataBuf;
SensorDataBuf tiltDataBuf;

Transducer& Transducer::data() {
  static Transducer t;
  return t;
}

namespace {
constexpr char kNonStandardTalker[2] = {'W', 'I'};

std::uint32_t byteAt(const char* a, int na, const char* b, int i) {
  return static_cast<unsigned char>(i < na ? a[i] : b[i - na]);
}
}  // namespace

bool Transducer::storeData(const char* text, int len, bool standard) {
  if (text == nullptr || len < 0) return false;
  const char* head = standard ? "" : kNonStandardTalker;
  const int nh = standard ? 0 : 2;
  const int n = nh + len;
  if (n > kMaxLen) return false;
  Locker<Mutex> l(writer_);
  // Sequentially consistent throughout: a reader that saw any byte of this update sees the odd
  // issue, or a later one, when it looks again.
  const std::int32_t was = issue_.load();
  // The next odd issue; past the last one the count starts again at 1 (and settles on 2).
  const std::int32_t odd = was < 0 || was >= kLastIssue - 1 ? 1 : was + 1 + (was & 1);
  issue_.store(odd);
  for (int w = 0; w * 4 < n; ++w) {
    std::uint32_t v = 0;
    for (int k = 0; k < 4 && w * 4 + k < n; ++k) v |= byteAt(head, nh, text, w * 4 + k) << (8 * k);
    words_[w].store(v);
  }
  len_.store(n);
  issue_.store(odd + 1);
  return true;
}

std::int32_t Transducer::getNewData(std::int32_t lastIssue, char* buf, int size, int& len) const {
  len = 0;
  const std::int32_t s = issue_.load();
  if (s == lastIssue) return lastIssue;
  if ((s & 1) != 0) return 0;
  const int n = len_.load();
  if (n < 0 || n > kMaxLen || n > size || (buf == nullptr && n > 0)) return 0;
  for (int i = 0; i < n; ++i) {
    const std::uint32_t v = words_[i / 4].load();
    buf[i] = static_cast<char>((v >> (8 * (i % 4))) & 0xFFu);
  }
  if (issue_.load() != s) return 0;
  len = n;
  return s;
}

void SensorDataBuf::put(const float (&v)[3], std::uint32_t flags) {
  Locker<Mutex> l(m_);
  for (int i = 0; i < 3; ++i) d_.v[i] = v[i];
  d_.flags = flags;
  ++d_.issue;
}

SensorData SensorDataBuf::get() {
  Locker<Mutex> l(m_);
  return d_;
}
