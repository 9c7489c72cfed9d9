#include "differential/rtcm3_base_params.h"

#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

RTC3_BASE_MSGOUT rtc3BaseMsgOut;
RTC3_BASE_MSGNUM rtc3BaseMsgNum;
RTC3_BASE_MODEM rtc3BaseModem;
RTC3_BASE_MOVING rtc3BaseMoving;

namespace {

// A number from a base's text reaches a field only when that field can hold it: a cast of a
// value out of its range (or of nan or inf) is undefined, so such a text is refused instead.
bool fitsLong(long v, long long lo, long long hi) { return v >= lo && v <= hi; }
bool fitsFloat(double v) { return std::isfinite(v) && std::fabs(v) <= FLT_MAX; }
// Truncated towards zero, as the cast does.
bool fitsInt32(double v) { return std::isfinite(v) && v > -2147483649.0 && v < 2147483648.0; }

// The 32-bit counter may come as the signed or the unsigned form of its bits, the 16-bit ones alike.
constexpr long long kU32Lo = INT32_MIN, kU32Hi = UINT32_MAX;
constexpr long long kU16Lo = INT16_MIN, kU16Hi = UINT16_MAX;

constexpr char kPrefix[] = "/par/base/";
constexpr int kPrefixLen = sizeof(kPrefix) - 1;

// Cursor over a NUL-terminated text.
struct Cursor {
  const char* p;

  bool take(const char* lit) {
    const std::size_t n = std::strlen(lit);
    if (std::strncmp(p, lit, n) != 0) return false;
    p += n;
    return true;
  }
  bool at(char c) const { return *p == c; }

  bool readLong(long& v) {
    if (*p == '\0' || *p == ' ') return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtol(p, &end, 10);
    if (end == p || errno != 0) return false;
    p = end;
    return true;
  }
  bool readDouble(double& v) {
    if (*p == '\0' || *p == ' ') return false;
    char* end = nullptr;
    errno = 0;
    v = std::strtod(p, &end);
    if (end == p || errno != 0) return false;
    p = end;
    return true;
  }
  // A decimal, or the word "unknown" (present = false).
  bool readLongOrUnknown(long& v, bool& present) {
    present = false;
    if (take("unknown")) return true;
    present = readLong(v);
    return present;
  }
  bool readDoubleOrUnknown(double& v, bool& present) {
    present = false;
    if (take("unknown")) return true;
    present = readDouble(v);
    return present;
  }
};

bool parseMsgNum(Cursor c, int goodFrames) {
  long a = 0, b = 0, d = 0;
  if (!c.take("={") || !c.readLong(a) || !c.take(",") || !c.readLong(b) || !c.take(",") ||
      !c.readLong(d) || !c.take("}"))
    return false;
  if (!fitsLong(a, kU32Lo, kU32Hi) || !fitsLong(b, kU16Lo, kU16Hi) || !fitsLong(d, kU16Lo, kU16Hi)) return false;
  RTC3_BASE_MSGNUM& r = rtc3BaseMsgNum;
  r.a = static_cast<std::uint32_t>(a);
  r.b = static_cast<std::uint16_t>(b);
  r.c = static_cast<std::uint16_t>(d);
  r.delta = static_cast<std::int32_t>(r.a - static_cast<std::uint32_t>(goodFrames) -
                                      static_cast<std::uint32_t>(r.offset));
  r.valid = 1;
  return true;
}

bool parseModem(Cursor c) {
  RTC3_BASE_MODEM m = rtc3BaseModem;
  std::memset(m.present, 0, sizeof m.present);
  if (c.take("=unknown")) {
    m.valid = 0;
    rtc3BaseModem = m;
    return true;
  }
  long power = 0, tempc = 0, id = 0, id2 = 0;
  double volt = 0;
  bool pr[5] = {};
  if (!c.take("={power=") || !c.readLongOrUnknown(power, pr[0]) || !c.take(",tempc=") ||
      !c.readLongOrUnknown(tempc, pr[1]) || !c.take(",volt=") || !c.readDoubleOrUnknown(volt, pr[2]) ||
      !c.take(",id=") || !c.readLongOrUnknown(id, pr[3]) || !c.take(",id2=") ||
      !c.readLongOrUnknown(id2, pr[4]) || !c.take("}"))
    return false;
  for (long v : {power, tempc, id, id2})
    if (!fitsLong(v, INT32_MIN, INT32_MAX)) return false;
  if (!fitsFloat(volt)) return false;
  m.power = static_cast<std::int32_t>(power);
  m.tempc = static_cast<std::int32_t>(tempc);
  m.volt = static_cast<float>(volt);
  m.id = static_cast<std::int32_t>(id);
  m.id2 = static_cast<std::int32_t>(id2);
  for (int i = 0; i < 5; ++i) m.present[i] = pr[i] ? 1 : 0;
  m.valid = 1;
  rtc3BaseModem = m;
  return true;
}

// "{v1,v2,v3,v4}" into four doubles; an absent group (a ',' or '}' right away) gives present false.
bool parseGroup(Cursor& c, double v[4], bool& present) {
  present = false;
  if (c.at(',') || c.at('}')) return true;
  if (!c.take("{")) return false;
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && !c.take(",")) return false;
    if (!c.readDouble(v[i])) return false;
  }
  if (!c.take("}")) return false;
  present = true;
  return true;
}

bool parseMoving(Cursor c) {
  double accel[4] = {}, pos[4] = {}, alert[4] = {};
  bool pa = false, pp = false, pl = false;
  if (!c.take("={accel=") || !parseGroup(c, accel, pa) || !c.take(",curpos=") ||
      !parseGroup(c, pos, pp) || !c.take(",alert=") || !parseGroup(c, alert, pl) || !c.take("}"))
    return false;
  // Absent groups stay zero and pass.
  for (int i = 0; i < 4; ++i) {
    if (!(i < 3 ? fitsFloat(accel[i]) : fitsInt32(accel[i]))) return false;
    if (!(i < 3 ? std::isfinite(pos[i]) : fitsFloat(pos[i]))) return false;
    if (!fitsFloat(alert[i])) return false;
  }
  RTC3_BASE_MOVING& m = rtc3BaseMoving;
  if (pa) {
    for (int i = 0; i < 3; ++i) m.accel[i] = static_cast<float>(accel[i]);
    m.accelFlag = static_cast<std::int32_t>(accel[3]);
  }
  if (pp) {
    m.lat = pos[0];
    m.lon = pos[1];
    m.hgt = pos[2];
    m.curposExtra = static_cast<float>(pos[3]);
  }
  if (pl)
    for (int i = 0; i < 4; ++i) m.alert[i] = static_cast<float>(alert[i]);
  m.accelPresent = pa ? 1 : 0;
  m.curposPresent = pp ? 1 : 0;
  m.alertPresent = pl ? 1 : 0;
  m.valid = 1;
  return true;
}

}  // namespace

bool rtc3ParseBaseParam(const char* text, int len, int goodFrames) {
  if (text == nullptr || len < kPrefixLen || std::strncmp(text, kPrefix, kPrefixLen) != 0)
    return true;
  // A terminated copy: the string in the frame carries no terminator of its own.
  char buf[256];
  const int n = len < static_cast<int>(sizeof buf) - 1 ? len : static_cast<int>(sizeof buf) - 1;
  std::memcpy(buf, text, n);
  buf[n] = '\0';
  Cursor c{buf + kPrefixLen};
  if (c.take("msgout")) {
    if (*c.p == '\0') return false;
    ++c.p;  // the separator after the key
    const int rest = static_cast<int>(std::strlen(c.p));
    const int keep = rest < RTC3_BASE_MSGOUT::kMaxText ? rest : RTC3_BASE_MSGOUT::kMaxText;
    std::memcpy(rtc3BaseMsgOut.text, c.p, keep);
    rtc3BaseMsgOut.text[keep] = '\0';
    rtc3BaseMsgOut.len = keep;
    rtc3BaseMsgOut.valid = 1;
    return true;
  }
  if (c.take("msgnum")) return parseMsgNum(c, goodFrames);
  if (c.take("modem")) return parseModem(c);
  if (c.take("moving")) return parseMoving(c);
  return true;
}
