#include "positioning/rcv_time_scales.h"

#include "settings/debug_selectors.h"
#include "positioning/engine/nav_main.h"
#include "platform/debug.h"


RcvTimeScales::INT_SCALES RcvTimeScales::Int{};
RcvTimeScales::INT_SCALES RcvTimeScales::Req{};
std::atomic<int> RcvTimeScales::rcvRefTime{0};
std::atomic<std::uint8_t> RcvTimeScales::leapWarning{0};
Mutex RcvTimeScales::m_;

namespace {

// ---- Build-date anchors, from the compiler's "Mmm dd yyyy" ----
constexpr int buildYear() {
  const char* d = __DATE__;
  return (d[7] - '0') * 1000 + (d[8] - '0') * 100 + (d[9] - '0') * 10 + (d[10] - '0');
}

constexpr int buildDayOfYear() {
  const char* d = __DATE__;
  const char* names = "JanFebMarAprMayJunJulAugSepOctNovDec";
  int month = 0;
  for (int m = 0; m < 12; ++m) {
    if (names[3 * m] == d[0] && names[3 * m + 1] == d[1] && names[3 * m + 2] == d[2]) month = m;
  }
  const int day = (d[4] == ' ' ? 0 : d[4] - '0') * 10 + (d[5] - '0');
  const int y = buildYear();
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  constexpr int cum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  return cum[month] + (leap && month > 1 ? 1 : 0) + day;
}

constexpr int buildWeek() { return (buildDayOfYear() - 1) / 7; }

constexpr int daysTo1JanOfYear(int year) {
  const int years = year - 1980;
  const int r = years % 4;
  return 1461 * (years / 4) + (r ? 366 + 365 * (r - 1) : 0);
}

constexpr int kDaysBuild = daysTo1JanOfYear(buildYear()) + 7 * buildWeek();

// Bits a conversion request needs, by quality level.
constexpr std::int32_t kLevelMask[4] = {0, 0x550, 0xAA0, 0x12A0};
constexpr std::int32_t kUtcBits = 0x30;

// Start day of every quarter of a GLONASS four-year period, by day / 91: the required day % 91.
constexpr int kQuarterStart[17] = {0, 0, 0, 1, 2, 1, 1, 2, 3, 2, 2, 3, 4, 3, 3, 4, -1};

bool firstDayOfQuarter(std::int32_t day) {
  if (day < 0 || day > 1460) return false;
  return day % 91 == kQuarterStart[day / 91];
}

// Week difference in a 1024-week count, taken the short way round.
std::int64_t foldWeeks(std::int64_t dw) {
  dw %= 1024;
  if (dw < 0) dw += 1024;
  return dw >= 512 ? dw - 1024 : dw;
}

constexpr int kBeidouWeekShift = 332;  // BeiDou week 0 is GPS week 1356 = 332 mod 1024
constexpr int kBeidouLeapShift = 14;

}  // namespace

const int RcvTimeScales::daysSince1Jan1980Build = kDaysBuild;
const int RcvTimeScales::weekDayBuild[2] = {((kDaysBuild - 5) / 7) & 1023, kDaysBuild % 1461};
const int RcvTimeScales::weekDayCycleBuild[2] = {(kDaysBuild - 5) / 7168,
                                                 (buildYear() - 1996) / 4 + 1};

void RcvTimeScales::getReq(INT_SCALES& out) {
  Locker<Mutex> l(m_);
  out = Req;
}

void RcvTimeScales::fullT2data(std::int64_t t, GREGORIAN_EPOCH& g) {
  // Days and seconds of the day, floored so that times before 2000 fall on their own day.
  std::int64_t days = t / 86400;
  std::int64_t rem = t % 86400;
  if (rem < 0) {
    rem += 86400;
    --days;
  }
  g.hour = static_cast<std::int32_t>(rem / 3600);
  g.minute = static_cast<std::int32_t>(rem / 60 % 60);
  g.second = static_cast<std::int32_t>(rem % 60);
  g.dayOfWeek = static_cast<std::int32_t>(((days + 5) % 7 + 7) % 7 + 1);  // 2000-01-01 was a Saturday

  // Civil date from a day count in 400-year eras starting 1 March (H. Hinnant, "chrono-compatible
  // low-level date algorithms", civil_from_days): exact for every Gregorian date.
  const std::int64_t z = days + 10957 + 719468;  // days since 0000-03-01
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const std::int64_t doe = z - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);  // from 1 March
  const std::int64_t mp = (5 * doy + 2) / 153;
  const std::int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const std::int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const std::int64_t y = yoe + era * 400 + (m <= 2 ? 1 : 0);
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  static constexpr std::int32_t kCum[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
  g.year = static_cast<std::int32_t>(y);
  g.month = static_cast<std::int32_t>(m);
  g.day = static_cast<std::int32_t>(d);
  g.dayOfYear = kCum[m - 1] + (leap && m > 2 ? 1 : 0) + static_cast<std::int32_t>(d);
}

std::int64_t RcvTimeScales::times2data(int k, const INT_SCALES& s, bool utc, int level,
                                       GREGORIAN_EPOCH& g) {
  if (k < 0 || k > 1 || level < 0 || level > 3) return 0;
  std::int32_t mask = kLevelMask[level];
  if (!utc) mask &= ~kUtcBits;
  if ((mask | s.flags[k]) != s.flags[k]) return 0;
  const std::int64_t sec = s.ms[k] / 1000;
  const std::int64_t t = sec + l_WEEK_DAY_SEC[k] * s.weekDay[k] +
                         l_WEEK_DAY_CYCLE_SEC[k] * s.cycle[k] - (utc ? s.sysUtc[k] : 0) +
                         to1_1_2000[k];
  fullT2data(t, g);
  g.fraction = static_cast<double>(s.ms[k] - sec * 1000) * 0.001;
  return t;
}

std::int64_t RcvTimeScales::getUtc() {
  INT_SCALES r;
  getReq(r);
  GREGORIAN_EPOCH g;
  for (int k = 0; k < 2; ++k) {
    if ((r.flags[k] & kLevelMask[1]) == kLevelMask[1]) return times2data(k, r, true, 1, g);
  }
  return 0;
}

void RcvTimeScales::gpsLikeUtcOffset(int sys, const ZRT_UTC_GPS& u, int week, int msOfWeek,
                                     double& offs, int& leap) {
  std::int64_t w = week;
  double t = msOfWeek;
  const bool beidou = sys == 5;
  if (beidou) {
    w -= kBeidouWeekShift;
    t -= 14000.0;
  }
  const std::int64_t dW = foldWeeks(w - u.WNt);
  leap = u.dtLS + (beidou ? kBeidouLeapShift : 0);
  offs = u.A0 + u.A1 * (t / 1000.0 - u.tot + 604800.0 * static_cast<double>(dW));
  if (dbi == 5822) {
    debPrintfx(-1, "%d %d %f %f\n", static_cast<int>(dW), leap, u.A0 * 1e9, offs * 1e9);
  }
}

int RcvTimeScales::computeSYS2UTC_Prec(int sys, double& offs, int& leap) {
  // Receiver system index to the navigation-data store's system.
  static constexpr int kStoreSys[9] = {svGps,    svGlonass, svSbas,  svGlonass, svGalileo,
                                       svBeidou, svQzss,    svNavic, -1};
  if (sys < 0 || sys > 8 || kStoreSys[sys] < 0) return 0;
  const int s = kStoreSys[sys];
  if (SatDataProcessorInstance.get_UtcUpdateCounter(s) == 0) return 0;
  const void* last = SatDataProcessorInstance.get_UtcLastData(s);
  if (last == nullptr) return 0;
  if (s == svGlonass) {
    offs = static_cast<const ZRT_UTC_GLN*>(last)->tauC;
    leap = 0;
    return 1;
  }
  int week = 0;
  int ms = 0;
  if (!navSolGpsTime(week, ms)) return 0;
  gpsLikeUtcOffset(sys, *static_cast<const ZRT_UTC_GPS*>(last), week, ms, offs, leap);
  return 1;
}

void RcvTimeScales::makeTimeCor(const int apply[2], const long delta[2], const int flags[2],
                                long corr) {
  for (int k = 0; k < 2; ++k) {
    if (!apply[k]) continue;
    std::int64_t ms = static_cast<std::int64_t>(Int.ms[k]) + delta[k];
    if (ms >= l_WEEK_DAY_MS[k]) {
      ms -= l_WEEK_DAY_MS[k];
      std::int64_t wd = static_cast<std::int64_t>(Int.weekDay[k]) + 1;
      if (wd >= l_WEEK_DAY_CYCLE[k]) {
        wd -= l_WEEK_DAY_CYCLE[k];
        Int.cycle[k] += 1;
      }
      Int.weekDay[k] = static_cast<std::int32_t>(wd);
      if (k == 0) Int.gpsMs = static_cast<std::int32_t>(Int.gpsMs - l_WEEK_DAY_MS[0]);
    }
    if (ms < 0) {
      ms += l_WEEK_DAY_MS[k];
      std::int64_t wd = static_cast<std::int64_t>(Int.weekDay[k]) - 1;
      if (wd < 0) {
        wd += l_WEEK_DAY_CYCLE[k];
        Int.cycle[k] -= 1;
      }
      Int.weekDay[k] = static_cast<std::int32_t>(wd);
      if (k == 0) Int.gpsMs = static_cast<std::int32_t>(Int.gpsMs + l_WEEK_DAY_MS[0]);
    }
    Int.ms[k] = static_cast<std::int32_t>(ms);
    Int.flags[k] |= flags[k];
    std::int64_t phase = (static_cast<std::int64_t>(Int.corrPhase[k]) + delta[k]) % 123000;
    if (phase > 0) phase -= 123000;
    Int.corrPhase[k] = static_cast<std::int32_t>(phase);
  }
  Int.corrSum = static_cast<std::int32_t>(Int.corrSum + static_cast<std::int64_t>(corr));
}

void RcvTimeScales::setTime(long ms, tSvType k) {
  if (k != svGps && k != svGlonass) return;
  // Corrections move the scale by whole pairs of milliseconds.
  const std::int64_t d = (static_cast<std::int64_t>(ms) - Int.ms[k]) & ~std::int64_t{1};
  const int apply[2] = {k == svGps, k == svGlonass};
  const long delta[2] = {static_cast<long>(d), static_cast<long>(d)};
  const int flags[2] = {0, 0};
  makeTimeCor(apply, delta, flags, 0);
}

void RcvTimeScales::setGpsPrim(long t) {
  // GPS seconds less one 1024-week cycle: 630,720,000 mod 619,315,200 from 2000.
  const std::int64_t g = static_cast<std::int64_t>(t) + Int.sysUtc[0] + 11404800;
  const std::int64_t c = g / l_WEEK_DAY_CYCLE_SEC[0];
  const std::int64_t week = g / l_WEEK_DAY_SEC[0] - 1024 * c;
  setTime(static_cast<long>(1000 * (g - l_WEEK_DAY_SEC[0] * week - l_WEEK_DAY_CYCLE_SEC[0] * c)),
          svGps);
  Int.weekDay[0] = static_cast<std::int32_t>(week);
  Int.cycle[0] = static_cast<std::int32_t>(c + 1);
}

void RcvTimeScales::setGloPrim(long t) {
  const std::int64_t m = static_cast<std::int64_t>(t) + Int.sysUtc[1];
  const std::int64_t p = m / l_WEEK_DAY_CYCLE_SEC[1];
  const std::int64_t day = m / l_WEEK_DAY_SEC[1] - 1461 * p;
  setTime(static_cast<long>(1000 * (m - l_WEEK_DAY_SEC[1] * day - l_WEEK_DAY_CYCLE_SEC[1] * p)),
          svGlonass);
  Int.weekDay[1] = static_cast<std::int32_t>(day);
  Int.cycle[1] = static_cast<std::int32_t>(p + 2);
}

int RcvTimeScales::set_SYS_UTC_compute(int k, const ZRT_UTC_GPS& u, int tag) {
  if (k != svGps) return 0;
  if (dbi == 6355) {
    debPrintfx(-1, "%d %3d    %d %d %d %d \n", k, tag, u.dtLS, u.dtLSF, u.DN, u.WN_LSF);
  }
  if (u.dtLS == u.dtLSF) {
    Int.sysUtc[0] = u.dtLS;
    Int.leapMoment[0] = kNoLeap;
    leapWarning = 0;
    return 0;
  }
  // Seconds from the inserted second (d = 0) to now, in GPS time.
  const std::int64_t dw = foldWeeks(static_cast<std::int64_t>(Int.weekDay[0]) - u.WN_LSF);
  const std::int64_t d =
      l_WEEK_DAY_SEC[0] * dw + Int.ms[0] / 1000 - (std::int64_t{86400} * u.DN + u.dtLS);
  // Announced from the second after the last UTC day's 00:00:00 (d = -86,400) through the
  // inserted 23:59:60.
  leapWarning = (d >= -86399 && d <= 0) ? 1 : 0;
  int changed = 0;
  // Near the leap the start-up time is too rough to choose; keep what was set.
  if (d < -30) {
    Int.sysUtc[0] = u.dtLS;
  } else if (d > 29) {
    Int.sysUtc[0] = u.dtLSF;
    changed = 1;
  }
  if (d >= -21599 && d <= 21599) {
    std::int64_t lm = std::int64_t{1000} * u.dtLS + std::int64_t{86400000} * u.DN;
    if (lm > l_WEEK_DAY_MS[0] - 1) lm -= l_WEEK_DAY_MS[0];
    Int.leapMoment[0] = static_cast<std::int32_t>(lm);
  } else {
    Int.leapMoment[0] = kNoLeap;
  }
  return changed;
}

int RcvTimeScales::set_SYS_UTC_compute(int k, const ZRT_UTC_GLN& u, int) {
  if (k != svGlonass) return 0;
  if (u.leapNotice == 1) {
    leapWarning = 1;
    // 03:00 Moscow time is 00:00 UTC.
    Int.leapMoment[1] = firstDayOfQuarter(Int.weekDay[1]) ? 10800000 : kNoLeap;
  } else {
    leapWarning = 0;
    Int.leapMoment[1] = kNoLeap;
  }
  return 0;
}

void RcvTimeScales::setGpsFromRtc(bool valid, long t, const ZRT_UTC_GPS* utc) {
  setGpsPrim(t);
  if (utc != nullptr && set_SYS_UTC_compute(svGps, *utc, 0)) setGpsPrim(t);
  if (valid) Int.flags[0] |= kRtcValid;
}

void RcvTimeScales::setGloFromRtc(bool valid, long t, const ZRT_UTC_GLN* utc) {
  setGloPrim(t);
  if (utc != nullptr) set_SYS_UTC_compute(svGlonass, *utc, 0);
  if (valid) Int.flags[1] |= kRtcValid;
}

void RcvTimeScales::initOnce(int t, bool valid) {
  ZRT_UTC_GPS gpsLike{};
  const ZRT_UTC_GPS* found = nullptr;
  int foundSys = -1;
  for (int sys = 0; sys <= 6 && found == nullptr; ++sys) {
    if (SatDataProcessorInstance.restore_NvRamUtcDataGpsAlike(sys, &gpsLike) != nullptr) {
      found = &gpsLike;
      foundSys = sys;
    }
  }
  ZRT_UTC_GLN gln{};
  const bool haveGln = SatDataProcessorInstance.restore_NvRamUtcData(svGlonass, 0, &gln);
  initFromStored(t, valid, found, foundSys, haveGln ? &gln : nullptr);
}

void RcvTimeScales::initFromStored(int t, bool valid, const ZRT_UTC_GPS* gpsLike, int gpsLikeSys,
                                   const ZRT_UTC_GLN* gln) {
  Int.flags[1] |= kUtcBits;
  Int.sysUtc[0] = sysUtcDefault[0];
  Int.sysUtc[1] = sysUtcDefault[1];
  Int.leapMoment[0] = kNoLeap;
  Int.leapMoment[1] = kNoLeap;

  const ZRT_UTC_GPS* leapSource = nullptr;
  if (gpsLike != nullptr) {
    const bool beidou = gpsLikeSys == svBeidou;
    Int.sysUtc[0] = gpsLike->dtLS + (beidou ? kBeidouLeapShift : 0);
    Int.flags[0] |= kUtcKnown;
    // BeiDou counts its leap seconds and weeks from its own epoch: its announcement cannot be
    // read in GPS terms, so it only gives the offset.
    if (!beidou) leapSource = gpsLike;
  }

  long start = t;
  if (!valid) start = 86400L * (daysSince1Jan1980Build - 7305);
  setGpsFromRtc(valid, start, leapSource);
  setGloFromRtc(valid, start, gln);

  Locker<Mutex> l(m_);
  Req = Int;
}
