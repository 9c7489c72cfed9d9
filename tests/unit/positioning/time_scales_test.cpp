#include "positioning/time_scales.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

// Every calendar truth below comes from the standard library's civil calendar, never from the
// constants of the code under test.
namespace {

using namespace std::chrono;
using INT_SCALES = RcvTimeScales::INT_SCALES;
using RT = RcvTimeScales;

constexpr sys_days kY2k = sys_days{year{2000} / 1 / 1};
constexpr sys_days kGpsEpoch = sys_days{year{1980} / 1 / 6};
constexpr sys_days kY2100 = sys_days{year{2100} / 1 / 1};

std::int64_t since2000(year_month_day ymd, int h = 0, int m = 0, int s = 0) {
  return (sys_days{ymd} - kY2k).count() * std::int64_t{86400} + h * 3600 + m * 60 + s;
}

struct Civil {
  int y, mo, d, dow, doy, h, mi, s;
  bool operator==(const Civil&) const = default;
};

std::string show(const Civil& c) {
  char b[96];
  std::snprintf(b, sizeof b, "%04d-%02d-%02d %02d:%02d:%02d dow %d doy %d", c.y, c.mo, c.d, c.h,
                c.mi, c.s, c.dow, c.doy);
  return b;
}

Civil civilOf(std::int64_t t) {
  const sys_days sd = kY2k + days{t / 86400};
  const year_month_day ymd{sd};
  const int rem = static_cast<int>(t % 86400);
  return {int(ymd.year()),
          int(unsigned(ymd.month())),
          int(unsigned(ymd.day())),
          int(weekday{sd}.iso_encoding()),
          int((sd - sys_days{ymd.year() / 1 / 1}).count()) + 1,
          rem / 3600,
          rem / 60 % 60,
          rem % 60};
}

Civil civilOf(const GREGORIAN_EPOCH& g) {
  return {g.year, g.month, g.day, g.dayOfWeek, g.dayOfYear, g.hour, g.minute, g.second};
}

// GPS weeks and seconds of week of UTC t (seconds since 2000) with `leap` leap seconds.
std::int64_t gpsSeconds(std::int64_t t, int leap) {
  return (kY2k - kGpsEpoch).count() * std::int64_t{86400} + t + leap;
}

void resetScales() {
  RT::Int = INT_SCALES{};
  RT::Int.sysUtc[0] = 18;
  RT::Int.sysUtc[1] = 10800;
  RT::leapWarning = 0;
}

// A controllable real-time clock.
SysTime g_fakeNow{};
void fakeClock(SysTime& t) { t = g_fakeNow; }
SysTime at(std::int64_t ms) {
  SysTime t;
  t.assign(1700000000 + ms / 1000, (ms % 1000) * 1000000);
  return t;
}

class TimeScalesNow : public ::testing::Test {
 protected:
  void SetUp() override { TimeScales::setRealClock(fakeClock); }
  void TearDown() override { TimeScales::setRealClock(nullptr); }
  void publish(const INT_SCALES& s, std::int64_t atMs, int rcvMs = 1234) {
    TimeScales::epoch(at(atMs), rcvMs);
    TimeScales::endUpdate(s, rcvMs);
  }
};

// ---- Calendar ----

TEST(Calendar, FullT2dataMatchesCivilCalendarForRandomTimes) {
  std::mt19937_64 rng(20240601);
  const std::int64_t end = (kY2100 - kY2k).count() * std::int64_t{86400};
  std::uniform_int_distribution<std::int64_t> dist(0, end - 1);
  int bad = 0;
  std::string first;
  for (int i = 0; i < 100000; ++i) {
    const std::int64_t t = dist(rng);
    GREGORIAN_EPOCH g{};
    RT::fullT2data(static_cast<std::uint32_t>(t), g);
    if (!(civilOf(g) == civilOf(t))) {
      if (bad++ == 0)
        first = std::to_string(t) + ": " + show(civilOf(g)) + " != " + show(civilOf(t));
    }
  }
  EXPECT_EQ(bad, 0) << first;
}

TEST(Calendar, EveryYearEndAndNewYear) {
  for (int y = 2000; y <= 2099; ++y) {
    const year_month_day dec31{year{y} / 12 / 31};
    for (std::int64_t t : {since2000(dec31), since2000(dec31, 12), since2000(dec31, 23, 59, 59),
                           since2000(dec31, 23, 59, 59) + 1}) {
      if (t >= (kY2100 - kY2k).count() * std::int64_t{86400}) continue;
      GREGORIAN_EPOCH g{};
      RT::fullT2data(static_cast<std::uint32_t>(t), g);
      EXPECT_EQ(civilOf(g), civilOf(t)) << show(civilOf(t));
    }
    GREGORIAN_EPOCH g{};
    RT::fullT2data(static_cast<std::uint32_t>(since2000(dec31)), g);
    EXPECT_EQ(g.dayOfYear, y % 4 == 0 ? 366 : 365);
  }
}

TEST(Calendar, LeapDayOf2000) {
  const std::int64_t t = since2000(year{2000} / 2 / 29, 12);
  GREGORIAN_EPOCH g{};
  g.fraction = 0.25;
  RT::fullT2data(static_cast<std::uint32_t>(t), g);
  EXPECT_EQ(civilOf(g), (Civil{2000, 2, 29, 2, 60, 12, 0, 0}));
  EXPECT_EQ(civilOf(g), civilOf(t));
  EXPECT_EQ(g.fraction, 0.25);  // left alone
}

// ---- Setting the scales from UTC and reading them back ----

// UTC t to both scales and back, with the weeks, days and periods checked against the calendar.
void checkRoundTrip(std::int64_t t, int& bad, std::string& first) {
  resetScales();
  RT::setGpsPrim(static_cast<long>(t));
  RT::setGloPrim(static_cast<long>(t));
  const std::int64_t gs = gpsSeconds(t, 18);
  const std::int64_t gpsWeeks = gs / 604800;
  // Moscow date: N4 counts four-year periods from 1996, day 0 is 1 January of the period's
  // first (leap) year.
  const std::int64_t msk = t + 10800;
  const sys_days mskDay = kY2k + days{msk / 86400};
  const int y = int(year_month_day{mskDay}.year());
  const int n4 = (y - 1996) / 4 + 1;
  const sys_days periodStart = sys_days{year{1996 + 4 * (n4 - 1)} / 1 / 1};
  bool ok = RT::Int.weekDay[0] + 1024 * std::int64_t{RT::Int.cycle[0]} == gpsWeeks &&
            RT::Int.weekDay[0] >= 0 && RT::Int.weekDay[0] < 1024 &&
            RT::Int.ms[0] == (gs % 604800) * 1000 && RT::Int.cycle[1] == n4 &&
            RT::Int.weekDay[1] == (mskDay - periodStart).count() &&
            RT::Int.ms[1] == (msk % 86400) * 1000;
  for (int k = 0; k < 2; ++k) {
    GREGORIAN_EPOCH g{};
    ok = ok && RT::times2data(k, RT::Int, true, 0, g) == t && civilOf(g) == civilOf(t);
  }
  if (!ok && bad++ == 0) first = show(civilOf(t));
}

TEST(Scales, UtcToBothScalesAndBackForRandomTimes) {
  std::mt19937_64 rng(7);
  const std::int64_t end = (kY2100 - kY2k).count() * std::int64_t{86400} - 86400;
  std::uniform_int_distribution<std::int64_t> dist(0, end);
  int bad = 0;
  std::string first;
  for (int i = 0; i < 100000; ++i) checkRoundTrip(dist(rng), bad, first);
  for (int y = 2000; y < 2099; ++y) {
    checkRoundTrip(since2000(year{y} / 12 / 31, 23, 59, 59), bad, first);
    checkRoundTrip(since2000(year{y} / 12 / 31, 20, 59, 59), bad, first);
  }
  checkRoundTrip(since2000(year{2000} / 2 / 29, 12), bad, first);
  EXPECT_EQ(bad, 0) << first;
}

TEST(Scales, GpsWeekRolloverOf2019) {
  struct Case {
    int h, m, s;
    std::int32_t week, cycle, ms;
  };
  // 2019-04-06 23:59:42 UTC is GPS 2019-04-07 00:00:00, the start of week 2048.
  const Case cases[] = {
      {23, 59, 41, 1023, 1, 604799000}, {23, 59, 42, 0, 2, 0}, {23, 59, 59, 0, 2, 17000}};
  for (const Case& c : cases) {
    const std::int64_t t = since2000(year{2019} / 4 / 6, c.h, c.m, c.s);
    resetScales();
    RT::setGpsPrim(static_cast<long>(t));
    EXPECT_EQ(RT::Int.weekDay[0], c.week);
    EXPECT_EQ(RT::Int.cycle[0], c.cycle);
    EXPECT_EQ(RT::Int.ms[0], c.ms);
    EXPECT_EQ(RT::Int.weekDay[0] + 1024 * RT::Int.cycle[0], gpsSeconds(t, 18) / 604800);
    GREGORIAN_EPOCH g{};
    EXPECT_EQ(RT::times2data(0, RT::Int, true, 0, g), t);
    EXPECT_EQ(civilOf(g), civilOf(t));
  }
  const std::int64_t midnight = since2000(year{2019} / 4 / 7);
  resetScales();
  RT::setGpsPrim(static_cast<long>(midnight));
  EXPECT_EQ(RT::Int.weekDay[0], 0);
  EXPECT_EQ(RT::Int.ms[0], 18000);
}

TEST(Scales, CorrectionCarriesAcrossTheEndOfWeek1023AndBack) {
  const std::int64_t t = since2000(year{2019} / 4 / 6, 23, 59, 41);
  resetScales();
  RT::setGpsPrim(static_cast<long>(t));
  ASSERT_EQ(RT::Int.weekDay[0], 1023);
  RT::Int.corrPhase[0] = 0;
  const int apply[2] = {1, 0};
  const int flags[2] = {0x40, 0};
  const long fwd[2] = {1500, 0};
  RT::makeTimeCor(apply, fwd, flags, 7);
  EXPECT_EQ(RT::Int.weekDay[0], 0);
  EXPECT_EQ(RT::Int.cycle[0], 2);
  EXPECT_EQ(RT::Int.ms[0], 500);
  EXPECT_EQ(RT::Int.gpsMs, -604800000);
  EXPECT_EQ(RT::Int.flags[0] & 0x40, 0x40);
  EXPECT_EQ(RT::Int.corrSum, 7);
  EXPECT_EQ(RT::Int.corrPhase[0], 1500 - 123000);
  GREGORIAN_EPOCH g{};
  EXPECT_EQ(RT::times2data(0, RT::Int, true, 0, g), t + 1);
  EXPECT_DOUBLE_EQ(g.fraction, 0.5);
  EXPECT_EQ(civilOf(g), civilOf(t + 1));

  const long back[2] = {-1000, 0};
  RT::makeTimeCor(apply, back, flags, -7);
  EXPECT_EQ(RT::Int.weekDay[0], 1023);
  EXPECT_EQ(RT::Int.cycle[0], 1);
  EXPECT_EQ(RT::Int.ms[0], 604799500);
  EXPECT_EQ(RT::Int.gpsMs, 0);
  EXPECT_EQ(RT::Int.corrSum, 0);
  EXPECT_EQ(RT::Int.corrPhase[0], 500 - 123000);
}

TEST(Scales, GlonassFourYearBoundaries) {
  for (int y = 2004; y <= 2096; y += 4) {
    // 21:00 UTC on 31 December is midnight in Moscow.
    const std::int64_t before = since2000(year{y - 1} / 12 / 31, 20, 59, 59);
    resetScales();
    RT::setGloPrim(static_cast<long>(before));
    EXPECT_EQ(RT::Int.weekDay[1], 1460) << y;
    EXPECT_EQ(RT::Int.cycle[1], (y - 1996) / 4);
    EXPECT_EQ(RT::Int.ms[1], 86399000);
    RT::setGloPrim(static_cast<long>(before + 1));
    EXPECT_EQ(RT::Int.weekDay[1], 0) << y;
    EXPECT_EQ(RT::Int.cycle[1], (y - 1996) / 4 + 1);
    EXPECT_EQ(RT::Int.ms[1], 0);
    GREGORIAN_EPOCH g{};
    EXPECT_EQ(RT::times2data(1, RT::Int, true, 0, g), before + 1);
    EXPECT_EQ(civilOf(g), civilOf(before + 1));
    EXPECT_EQ(RT::times2data(1, RT::Int, false, 0, g), before + 1 + 10800);
    EXPECT_EQ(civilOf(g), civilOf(since2000(year{y} / 1 / 1)));
  }
}

TEST(Scales, SetTimeMovesByEvenMilliseconds) {
  struct Case {
    std::int32_t from;
    long target, expect;
  };
  const Case cases[] = {{1000, 1501, 1500}, {1000, 1500, 1500}, {1500, 999, 998}, {0, 7, 6}};
  for (const Case& c : cases) {
    resetScales();
    RT::Int.ms[0] = c.from;
    RT::setTime(c.target, svGps);
    EXPECT_EQ(RT::Int.ms[0], c.expect) << c.from << " -> " << c.target;
    EXPECT_EQ(RT::Int.ms[1], 0);
  }
}

TEST(Scales, Times2dataQualityLevels) {
  struct Case {
    std::int32_t flags;
    bool utc;
    int level;
    bool answers;
  };
  const Case cases[] = {
      {0, true, 0, true},       {0x540, true, 1, false}, {0x540, false, 1, true},
      {0x550, true, 1, true},   {0xAA0, true, 2, true},  {0xA80, true, 2, false},
      {0xA80, false, 2, true},  {0x12A0, true, 3, true}, {0x1280, false, 3, true},
      {0x1280, true, 3, false}, {0x550, true, 4, false}, {0x550, true, -1, false},
  };
  for (const Case& c : cases) {
    resetScales();
    RT::setGpsPrim(700000000);
    RT::Int.flags[0] = c.flags;
    GREGORIAN_EPOCH g{};
    g.year = -5;
    const std::int64_t t = RT::times2data(0, RT::Int, c.utc, c.level, g);
    EXPECT_EQ(t != 0, c.answers) << std::hex << c.flags << " level " << c.level;
    if (!c.answers) {
      EXPECT_EQ(g.year, -5);
    }
  }
  GREGORIAN_EPOCH g{};
  EXPECT_EQ(RT::times2data(2, RT::Int, false, 0, g), 0);
}

// ---- Leap seconds ----

struct LeapEvent {
  year_month_day lastDay;
  int dtLS, dtLSF, wnLsf, dn;
};
// IS-GPS-200 announcements of the last two insertions.
const LeapEvent kLeaps[] = {{year{2016} / 12 / 31, 17, 18, 1929, 7},
                            {year{2015} / 6 / 30, 16, 17, 1851, 3}};

ZRT_UTC_GPS utcOf(const LeapEvent& e) {
  ZRT_UTC_GPS u{};
  u.dtLS = static_cast<std::int8_t>(e.dtLS);
  u.dtLSF = static_cast<std::int8_t>(e.dtLSF);
  u.WN_LSF = static_cast<std::int16_t>(e.wnLsf);
  u.DN = static_cast<std::int8_t>(e.dn);
  return u;
}

TEST(LeapSecond, AnnouncementsMatchTheCalendar) {
  for (const LeapEvent& e : kLeaps) {
    const sys_days d{e.lastDay};
    EXPECT_EQ((d - kGpsEpoch).count() / 7, e.wnLsf);
    EXPECT_EQ(int(weekday{d}.c_encoding()) + 1, e.dn);  // DN 1 is Sunday
  }
}

TEST(LeapSecond, WarningOffsetAndMomentAroundTheInsertion) {
  for (const LeapEvent& e : kLeaps) {
    const ZRT_UTC_GPS u = utcOf(e);
    // GPS seconds at which UTC 23:59:60 of the last day begins.
    const std::int64_t endOfDay = (sys_days{e.lastDay} + days{1} - kGpsEpoch).count() * 86400LL;
    const std::int64_t inserted = endOfDay + e.dtLS;
    const std::int64_t lastDayStartUtc = (sys_days{e.lastDay} - kGpsEpoch).count() * 86400LL;
    for (std::int64_t d : {-90000LL, -86401LL, -86400LL, -86399LL, -43200LL, -21600LL, -21599LL,
                           -31LL, -30LL, -1LL, 0LL, 1LL, 29LL, 30LL, 21599LL, 21600LL}) {
      const std::int64_t gps = inserted + d;
      // The instant's UTC label, from the leap rule alone.
      bool onLastDay;
      if (gps < inserted) {
        const std::int64_t utc = gps - e.dtLS;
        onLastDay = utc >= lastDayStartUtc && utc < endOfDay;
      } else {
        onLastDay = gps == inserted;  // 23:59:60
      }
      resetScales();
      RT::Int.sysUtc[0] = e.dtLS;
      RT::Int.weekDay[0] = static_cast<std::int32_t>(gps / 604800 % 1024);
      RT::Int.ms[0] = static_cast<std::int32_t>(gps % 604800 * 1000 + 500);
      const int r = RT::set_SYS_UTC_compute(0, u, 1);
      const std::string where = std::to_string(int(e.lastDay.year())) + " d=" + std::to_string(d);
      EXPECT_EQ(RT::leapWarning.load(), onLastDay ? 1 : 0) << where;
      const int expectOffset = d < -30 ? e.dtLS : d > 29 ? e.dtLSF : e.dtLS;
      EXPECT_EQ(RT::Int.sysUtc[0], expectOffset) << where;
      EXPECT_EQ(r, d > 29 ? 1 : 0) << where;
      const std::int32_t moment = (d >= -21599 && d <= 21599)
                                      ? static_cast<std::int32_t>(inserted % 604800 * 1000)
                                      : RT::kNoLeap;
      EXPECT_EQ(RT::Int.leapMoment[0], moment) << where;
    }
  }
}

TEST(LeapSecond, StartUpTimeFollowsTheAnnouncement) {
  for (const LeapEvent& e : kLeaps) {
    const ZRT_UTC_GPS u = utcOf(e);
    const std::int64_t midnight = since2000(year_month_day{sys_days{e.lastDay} + days{1}});
    struct Case {
      std::int64_t t;
      int offset;
      bool warn;
    };
    const Case cases[] = {{midnight - 86401, e.dtLS, false}, {midnight - 86400, e.dtLS, true},
                          {midnight - 60, e.dtLS, true},     {midnight - 1, e.dtLS, true},
                          {midnight + 10, e.dtLS, false},    {midnight + 40, e.dtLSF, false},
                          {midnight + 3600, e.dtLSF, false}};
    for (const Case& c : cases) {
      resetScales();
      RT::Int.sysUtc[0] = e.dtLS;
      RT::setGpsFromRtc(true, static_cast<long>(c.t), &u);
      EXPECT_EQ(RT::Int.sysUtc[0], c.offset) << c.t - midnight;
      EXPECT_EQ(RT::leapWarning.load(), c.warn ? 1 : 0) << c.t - midnight;
      EXPECT_EQ(RT::Int.weekDay[0] + 1024 * RT::Int.cycle[0], gpsSeconds(c.t, c.offset) / 604800);
      EXPECT_EQ(RT::Int.ms[0], gpsSeconds(c.t, c.offset) % 604800 * 1000);
      EXPECT_EQ(RT::Int.flags[0] & RT::kRtcValid, RT::kRtcValid);
      GREGORIAN_EPOCH g{};
      EXPECT_EQ(RT::times2data(0, RT::Int, true, 0, g), c.t);
    }
  }
}

TEST(LeapSecond, NoAnnouncementKeepsTheOffset) {
  resetScales();
  ZRT_UTC_GPS u{};
  u.dtLS = u.dtLSF = 18;
  RT::leapWarning = 1;
  RT::Int.leapMoment[0] = 5;
  EXPECT_EQ(RT::set_SYS_UTC_compute(0, u, 0), 0);
  EXPECT_EQ(RT::Int.sysUtc[0], 18);
  EXPECT_EQ(RT::Int.leapMoment[0], RT::kNoLeap);
  EXPECT_EQ(RT::leapWarning.load(), 0);
}

TEST(LeapSecond, GlonassNoticeOnTheFirstDayOfEveryQuarter) {
  const sys_days start{year{2024} / 1 / 1};
  ZRT_UTC_GLN notice{};
  notice.leapNotice = 1;
  for (int day = 0; day <= 1460; ++day) {
    const year_month_day ymd{start + days{day}};
    const unsigned m = unsigned(ymd.month());
    const bool quarter = unsigned(ymd.day()) == 1 && (m == 1 || m == 4 || m == 7 || m == 10);
    resetScales();
    RT::Int.weekDay[1] = day;
    EXPECT_EQ(RT::set_SYS_UTC_compute(1, notice, 0), 0);
    EXPECT_EQ(RT::leapWarning.load(), 1);
    EXPECT_EQ(RT::Int.leapMoment[1], quarter ? 10800000 : RT::kNoLeap) << day;
  }
  resetScales();
  RT::Int.weekDay[1] = 182;  // 1 July of the leap year
  RT::set_SYS_UTC_compute(1, notice, 0);
  EXPECT_EQ(RT::Int.leapMoment[1], 10800000);
  ZRT_UTC_GLN quiet{};
  RT::set_SYS_UTC_compute(1, quiet, 0);
  EXPECT_EQ(RT::Int.leapMoment[1], RT::kNoLeap);
  EXPECT_EQ(RT::leapWarning.load(), 0);
  // A day count outside the period is no quarter start.
  RT::Int.weekDay[1] = 5000;
  RT::set_SYS_UTC_compute(1, notice, 0);
  EXPECT_EQ(RT::Int.leapMoment[1], RT::kNoLeap);
}

// ---- Start-up ----

TEST(StartUp, SeedsBothScalesFromAValidClock) {
  const std::int64_t t = since2000(year{2024} / 6 / 1, 12);
  RT::initOnce(static_cast<int>(t), true);
  EXPECT_EQ(RT::Int.weekDay[0], 268);
  EXPECT_EQ(RT::Int.cycle[0], 2);
  EXPECT_EQ(RT::Int.ms[0], 561618000);
  EXPECT_EQ(RT::Int.weekDay[1], 152);
  EXPECT_EQ(RT::Int.cycle[1], 8);
  EXPECT_EQ(RT::Int.ms[1], 54000000);
  EXPECT_EQ(RT::Int.flags[0], 0x540);  // no stored UTC parameters
  EXPECT_EQ(RT::Int.flags[1], 0x570);
  EXPECT_EQ(RT::Int.leapMoment[0], RT::kNoLeap);
  EXPECT_EQ(RT::Int.leapMoment[1], RT::kNoLeap);
  INT_SCALES req;
  RT::getReq(req);
  EXPECT_EQ(std::memcmp(&req, &RT::Int, sizeof req), 0);
  // GPS lacks a known UTC offset, so UTC comes from GLONASS.
  EXPECT_EQ(RT::getUtc(), t);
}

TEST(StartUp, WithoutAClockStartsAtTheBuildDate) {
  RT::initOnce(123456, false);
  EXPECT_EQ(RT::Int.flags[0] & RT::kRtcValid, 0);
  GREGORIAN_EPOCH g{};
  const std::int64_t build = 86400LL * (RT::daysSince1Jan1980Build - 7305);
  EXPECT_EQ(RT::times2data(0, RT::Int, true, 0, g), build);
  EXPECT_EQ(RT::times2data(1, RT::Int, true, 0, g), build);
  EXPECT_EQ(RT::getUtc(), 0);
}

TEST(StartUp, BuildAnchorsAgreeWithTheCalendar) {
  // The anchor lies in the week of this file's compile date.
  const char* d = __DATE__;
  const char* names = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const unsigned mon =
      static_cast<unsigned>((std::strstr(names, std::string(d, 3).c_str()) - names) / 3 + 1);
  const year_month_day built{year{std::atoi(d + 7)}, month{mon},
                             day{static_cast<unsigned>(std::atoi(d + 4))}};
  const sys_days anchor = sys_days{year{1980} / 1 / 1} + days{RT::daysSince1Jan1980Build};
  EXPECT_LE((sys_days{built} - anchor).count(), 8);
  EXPECT_GE((sys_days{built} - anchor).count(), -1);
  EXPECT_EQ(year_month_day{anchor}.year(), built.year());
  const auto gpsWeeks = (anchor - kGpsEpoch).count() / 7;
  EXPECT_EQ(RT::weekDayBuild[0], gpsWeeks % 1024);
  EXPECT_EQ(RT::weekDayCycleBuild[0], gpsWeeks / 1024);
  const int y = int(year_month_day{anchor}.year());
  const int n4 = (y - 1996) / 4 + 1;
  EXPECT_EQ(RT::weekDayCycleBuild[1], n4);
  EXPECT_EQ(RT::weekDayBuild[1], (anchor - sys_days{year{1996 + 4 * (n4 - 1)} / 1 / 1}).count());
}

TEST(StartUp, StoredUtcParametersGiveTheGpsOffset) {
  const std::int64_t t = since2000(year{2016} / 6 / 1);
  ZRT_UTC_GPS gps{};
  gps.dtLS = gps.dtLSF = 17;
  RT::initFromStored(static_cast<int>(t), true, &gps, svGps, nullptr);
  EXPECT_EQ(RT::Int.sysUtc[0], 17);
  EXPECT_EQ(RT::Int.flags[0], 0x550);
  EXPECT_EQ(RT::Int.ms[0], gpsSeconds(t, 17) % 604800 * 1000);
  EXPECT_EQ(RT::getUtc(), t);

  // BeiDou counts 14 leap seconds fewer than GPS.
  RT::Int = INT_SCALES{};
  ZRT_UTC_GPS bds{};
  bds.dtLS = bds.dtLSF = 4;
  bds.WN_LSF = 500;
  bds.DN = 3;
  RT::initFromStored(static_cast<int>(t), true, &bds, svBeidou, nullptr);
  EXPECT_EQ(RT::Int.sysUtc[0], 18);
  EXPECT_EQ(RT::Int.ms[0], gpsSeconds(t, 18) % 604800 * 1000);
}

TEST(StartUp, NothingStoredAndNoSolutionMeansNoPreciseOffset) {
  for (int sys = -1; sys <= 9; ++sys) {
    double offs = 99;
    int leap = 99;
    EXPECT_EQ(RT::computeSYS2UTC_Prec(sys, offs, leap), 0) << sys;
    EXPECT_EQ(offs, 99);
  }
}

TEST(PreciseOffset, GpsLikeOffsetAcrossRolloverAndForBeidou) {
  // 2024-06-01 12:00:00 UTC: GPS week 2316, 561618 s; BeiDou week 960, 561604 s.
  const std::int64_t gs = gpsSeconds(since2000(year{2024} / 6 / 1, 12), 18);
  const int fullWeek = static_cast<int>(gs / 604800);
  const int sow = static_cast<int>(gs % 604800);
  const int bdtWeek = static_cast<int>(
      (gs - 14 - (sys_days{year{2006} / 1 / 1} - kGpsEpoch).count() * 86400LL) / 604800);
  ASSERT_EQ(bdtWeek, 960);
  struct Case {
    int sys, wnt, tot, leapIn, leapOut;
    double dt;  // seconds from tot to the instant
  };
  const Case cases[] = {
      {0, fullWeek % 1024, sow - 1000, 18, 18, 1000},
      {0, (fullWeek - 3) % 1024, sow, 18, 18, 3 * 604800},  // tot three weeks back
      {5, bdtWeek % 8192, sow - 14 - 1000, 4, 18, 1000},
      {4, fullWeek, sow + 500, 18, 18, -500},
  };
  for (const Case& c : cases) {
    ZRT_UTC_GPS u{};
    u.A0 = 2e-9;
    u.A1 = 1e-14;
    u.tot = c.tot;
    u.WNt = static_cast<std::int16_t>(c.wnt);
    u.dtLS = static_cast<std::int8_t>(c.leapIn);
    double offs = 0;
    int leap = 0;
    RT::gpsLikeUtcOffset(c.sys, u, fullWeek % 1024, sow * 1000, offs, leap);
    EXPECT_EQ(leap, c.leapOut);
    EXPECT_NEAR(offs, 2e-9 + 1e-14 * c.dt, 1e-18) << c.sys << " " << c.wnt;
  }
}

// ---- Publication and now ----

// Fills `r` from a 97-byte little-endian time-scale record body as the board's decoder does.
void fillFromRecord(const std::uint8_t* b, INT_SCALES& r) {
  auto i32 = [&](int off) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | b[off + i];
    return static_cast<std::int32_t>(v);
  };
  std::uint64_t t = 0;
  for (int i = 7; i >= 0; --i) t = t << 8 | b[i];
  r.rcvTime = static_cast<std::int64_t>(t);
  r.upTime = i32(8);
  r.board[0] = i32(12);
  r.board[1] = i32(16);
  r.corrSum = i32(20);
  for (int k = 0; k < 2; ++k) {
    const int o = 24 + 36 * k;
    r.corrPhase[k] = i32(o);
    r.ms[k] = i32(o + 4);
    r.weekDay[k] = i32(o + 8);
    r.cycle[k] = i32(o + 12);
    r.sysUtc[k] = i32(o + 16);
    r.leapMoment[k] = i32(o + 20);
    r.labelA[k] = i32(o + 24);
    r.labelB[k] = i32(o + 28);
    r.flags[k] = i32(o + 32);
  }
  RT::rcvRefTime = b[96];
}

void put32(std::uint8_t* b, int off, std::int32_t v) {
  for (int i = 0; i < 4; ++i)
    b[off + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
}

TEST_F(TimeScalesNow, RecordOf1June2024GivesTheSameUtcFromBothScales) {
  std::uint8_t body[97] = {};
  const std::int64_t rcv = 86400000LL * 3 + 43218000;
  for (int i = 0; i < 8; ++i)
    body[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(rcv) >> (8 * i));
  const std::int32_t gps[9] = {-5, 561618000, 268, 2, 18, -100000, 11, 12, 0x550};
  const std::int32_t glo[9] = {-6, 54000000, 152, 8, 10800, -100000, 21, 22, 0x570};
  for (int i = 0; i < 9; ++i) {
    put32(body, 24 + 4 * i, gps[i]);
    put32(body, 60 + 4 * i, glo[i]);
  }
  body[96] = 0;
  const std::int64_t t = since2000(year{2024} / 6 / 1, 12);
  ASSERT_EQ(t, 770558400);
  // The record's week, cycle and days per the calendar.
  ASSERT_EQ(gpsSeconds(t, 18) / 604800, 268 + 1024 * 2);
  ASSERT_EQ(gpsSeconds(t, 18) % 604800 * 1000, 561618000);
  ASSERT_EQ((sys_days{year{2024} / 6 / 1} - sys_days{year{2024} / 1 / 1}).count(), 152);

  const int epochMs = 561618000 % 86400000;
  g_fakeNow = at(0);
  TimeScales::epoch(at(0), epochMs);
  INT_SCALES& fill = TimeScales::startUpdate();
  fillFromRecord(body, fill);
  ASSERT_EQ(fill.ms[0] % 86400000, epochMs);
  TimeScales::endUpdate(fill, epochMs);

  INT_SCALES now{};
  ASSERT_TRUE(TimeScales::now(now));
  INT_SCALES req{};
  RT::getReq(req);
  for (const INT_SCALES* s : {&now, &req, &RT::Req}) {
    for (int k = 0; k < 2; ++k) {
      GREGORIAN_EPOCH g{};
      EXPECT_EQ(RT::times2data(k, *s, true, 1, g), 770558400) << k;
      EXPECT_EQ(civilOf(g), civilOf(t));
      EXPECT_EQ(civilOf(g), (Civil{2024, 6, 1, 6, 153, 12, 0, 0}));
    }
  }
  EXPECT_EQ(RT::getUtc(), 770558400);
  EXPECT_EQ(TimeScales::now(tsGps), 561618000);
  EXPECT_EQ(TimeScales::now(), epochMs);
}

TEST_F(TimeScalesNow, UnknownBeforeTheFirstPublication) {
  g_fakeNow = at(0);
  EXPECT_EQ(TimeScales::now(tsGps), -1);
  EXPECT_EQ(TimeScales::now(tsGlonass), -1);
  EXPECT_EQ(TimeScales::now(), -1);
  INT_SCALES s{};
  s.flags[0] = 0x40;
  EXPECT_FALSE(TimeScales::now(s));
  EXPECT_EQ(s.flags[0], 0);
}

TEST_F(TimeScalesNow, ExtrapolatesUpToTwoSecondsWithoutWrapping) {
  INT_SCALES s{};
  s.ms[0] = 604799500;
  s.ms[1] = 86399000;
  s.flags[0] = s.flags[1] = 0x40;
  publish(s, 0);
  struct Case {
    std::int64_t clockMs;
    long gps, glo;
  };
  const Case cases[] = {{0, 604799500, 86399000},
                        {1500, 604801000, 86400500},
                        {2000, 604801500, 86401000},
                        {2001, -1, -1},
                        {-1, -1, -1},
                        {3600000, -1, -1}};
  for (const Case& c : cases) {
    g_fakeNow = at(c.clockMs);
    EXPECT_EQ(TimeScales::now(tsGps), c.gps) << c.clockMs;
    EXPECT_EQ(TimeScales::now(tsGlonass), c.glo) << c.clockMs;
  }
}

TEST_F(TimeScalesNow, MillisecondOfDayOfTheReferenceScale) {
  INT_SCALES s{};
  s.ms[0] = 604799500;
  s.ms[1] = 86399000;
  s.flags[0] = s.flags[1] = 0x40;
  publish(s, 0);
  g_fakeNow = at(1500);
  RT::rcvRefTime = 0;
  EXPECT_EQ(TimeScales::now(), 604801000 % 86400000);
  RT::rcvRefTime = 1;
  EXPECT_EQ(TimeScales::now(), 500);
  // An invalid reference scale answers -1, not the last millisecond of a day.
  s.flags[1] = 0;
  s.ms[1] = 86399999;
  publish(s, 0, 77);
  g_fakeNow = at(0);
  EXPECT_EQ(TimeScales::now(), -1);
}

TEST_F(TimeScalesNow, RecordIsAdvancedAsAWhole) {
  INT_SCALES s{};
  s.rcvTime = 0xFFFFFFFFLL - 100;
  s.ms[0] = 100;
  s.ms[1] = 200;
  s.weekDay[0] = 5;
  s.upTime = 77;
  s.labelB[1] = 9;
  s.flags[0] = s.flags[1] = 0x40;
  publish(s, 0);
  g_fakeNow = at(1500);
  INT_SCALES r{};
  ASSERT_TRUE(TimeScales::now(r));
  EXPECT_EQ(r.rcvTime, 0xFFFFFFFFLL + 1400);
  EXPECT_EQ(r.ms[0], 1600);
  EXPECT_EQ(r.ms[1], 1700);
  EXPECT_EQ(r.weekDay[0], 5);
  EXPECT_EQ(r.upTime, 77);
  EXPECT_EQ(r.labelB[1], 9);
  EXPECT_EQ(r.flags[0], 0x40);

  g_fakeNow = at(2500);
  ASSERT_FALSE(TimeScales::now(r));
  EXPECT_EQ(r.ms[0], 100);
  EXPECT_EQ(r.flags[0] & 0x40, 0);
  EXPECT_EQ(r.flags[1] & 0x40, 0);
}

TEST_F(TimeScalesNow, MismatchedEndUpdatePublishesNothing) {
  INT_SCALES s{};
  s.ms[0] = 1000;
  s.flags[0] = 0x40;
  g_fakeNow = at(0);
  TimeScales::epoch(at(0), 5000);
  TimeScales::endUpdate(s, 4999);
  EXPECT_EQ(TimeScales::now(tsGps), -1);
  TimeScales::endUpdate(s, 5000);  // the epoch is used up
  EXPECT_EQ(TimeScales::now(tsGps), -1);
  // Req still shows the last record handed in.
  EXPECT_EQ(RT::Req.ms[0], 1000);

  publish(s, 0, 6000);
  EXPECT_EQ(TimeScales::now(tsGps), 1000);
  INT_SCALES later = s;
  later.ms[0] = 2000;
  TimeScales::epoch(at(1000), 7000);
  TimeScales::endUpdate(later, 7001);
  EXPECT_EQ(TimeScales::now(tsGps), 1000);  // the previous epoch stays in force
}

TEST_F(TimeScalesNow, DecoderFillsACopyOfReq) {
  INT_SCALES s{};
  s.gpsMs = 42;
  s.ms[0] = 10;
  publish(s, 0);
  INT_SCALES& fill = TimeScales::startUpdate();
  EXPECT_NE(&fill, &RT::Req);
  EXPECT_EQ(fill.gpsMs, 42);
  fill.ms[0] = 20;
  EXPECT_EQ(RT::Req.ms[0], 10);  // untouched until published
}

// Readers in other threads never see a record from two epochs.
TEST(TimeScalesStress, NowAndReqAreNeverTorn) {
  TimeScales::setRealClock(nullptr);
  constexpr int kEpochs = 20000;
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::atomic<long> seen{0};
  auto consistent = [](const INT_SCALES& r, std::int64_t advance) {
    const std::int32_t n = r.weekDay[0];
    const std::int32_t words[] = {r.gpsMs,      r.upTime,        r.board[0],      r.board[1],
                                  r.corrSum,    r.corrPhase[0],  r.corrPhase[1],  r.unused,
                                  r.weekDay[1], r.cycle[0],      r.cycle[1],      r.sysUtc[0],
                                  r.sysUtc[1],  r.leapMoment[0], r.leapMoment[1], r.labelA[0],
                                  r.labelA[1],  r.labelB[0],     r.labelB[1]};
    for (std::int32_t w : words) {
      if (w != n) return false;
    }
    return r.rcvTime == n + advance && r.ms[0] == n + advance && r.ms[1] == n + advance &&
           r.flags[0] == (n << 8 | 0x40) && r.flags[1] == (n << 8 | 0x40);
  };
  auto reader = [&] {
    while (!done.load()) {
      INT_SCALES r;
      if (TimeScales::now(r)) {
        if (!consistent(r, r.ms[0] - r.weekDay[0])) ++torn;
        ++seen;
      }
      RT::getReq(r);
      if (!consistent(r, 0)) ++torn;
      if (TimeScales::now(tsGps) < -1) ++torn;
    }
  };
  auto publishEpoch = [](int i) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    SysTime t;
    t.assign(ts.tv_sec, ts.tv_nsec);
    TimeScales::epoch(t, i);
    INT_SCALES& f = TimeScales::startUpdate();
    f = INT_SCALES{i,      i,      i,      {i, i}, i,
                   {i, i}, i,      {i, i}, {i, i}, {i, i},
                   {i, i}, {i, i}, {i, i}, {i, i}, {i << 8 | 0x40, i << 8 | 0x40}};
    TimeScales::endUpdate(f, i);
  };
  publishEpoch(0);
  std::thread r1(reader), r2(reader);
  // Keep publishing until both readers have really raced the writer, however the threads are
  // scheduled on a loaded machine.
  for (int i = 1; i <= kEpochs || (seen.load() < 1000 && i < 50 * kEpochs); ++i) publishEpoch(i);
  done = true;
  r1.join();
  r2.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(seen.load(), 0);
}

}  // namespace
