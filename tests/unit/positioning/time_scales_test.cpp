#include "positioning/time_scales.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "unit/navigation_data/blank_image.h"
#include "unit/own_process.h"
#include "unit/own_process.h"
#include "unit/positioning/fake_clock.h"

namespace {

using namespace std::chrono;
using INT_SCALES = RcvTimeScales::INT_SCALES;
using RT = RcvTimeScales;

constexpr sys_days kY2k = sys_days{year{2000} / 1 / 1};
constexpr sys_days kGpsEpoch = sys_days{year{1980} / 1 / 6};
constexpr std::int64_t kEnd2099 = (sys_days{year{2100} / 1 / 1} - kY2k).count() * 86400LL;

std::int64_t since2000(year_month_day ymd, int h = 0, int m = 0, int s = 0) {
  return (sys_days{ymd} - kY2k).count() * 86400LL + h * 3600 + m * 60 + s;
}
std::int64_t gpsSeconds(std::int64_t utc, int leap) { return (kY2k - kGpsEpoch).count() * 86400LL + utc + leap; }

using Civil = std::array<int, 8>;
Civil civilOf(std::int64_t t) {
  const sys_days sd = kY2k + days{t / 86400};
  const year_month_day ymd{sd};
  const int rem = static_cast<int>(t % 86400);
  return {int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day())), int(weekday{sd}.iso_encoding()),
          int((sd - sys_days{ymd.year() / 1 / 1}).count()) + 1, rem / 3600, rem / 60 % 60, rem % 60};
}
Civil civilOf(const GREGORIAN_EPOCH& g) {
  return {g.year, g.month, g.day, g.dayOfWeek, g.dayOfYear, g.hour, g.minute, g.second};
}

void resetScales() {
  RT::Int = INT_SCALES{};
  RT::Int.sysUtc[0] = 18, RT::Int.sysUtc[1] = 10800, RT::leapWarning = 0;
}

// N4 counts four-year periods from 1996; GLONASS day 0 is 1 January of the period's first year.
bool calendarAndScalesAgree(std::int64_t t) {
  GREGORIAN_EPOCH g{};
  RT::fullT2data(static_cast<std::uint32_t>(t), g);
  if (civilOf(g) != civilOf(t)) return false;
  if (t >= kEnd2099 - 86400) return true;  // the GLONASS four-year rule ends with 2099
  resetScales();
  RT::setGpsPrim(static_cast<long>(t));
  RT::setGloPrim(static_cast<long>(t));
  const std::int64_t gs = gpsSeconds(t, 18), msk = t + 10800;
  const sys_days mskDay = kY2k + days{msk / 86400};
  const int n4 = (int(year_month_day{mskDay}.year()) - 1996) / 4 + 1;
  bool ok = RT::Int.weekDay[0] + 1024LL * RT::Int.cycle[0] == gs / 604800 && RT::Int.weekDay[0] >= 0 &&
            RT::Int.weekDay[0] < 1024 && RT::Int.ms[0] == gs % 604800 * 1000 && RT::Int.cycle[1] == n4 &&
            RT::Int.weekDay[1] == (mskDay - sys_days{year{1992 + 4 * n4} / 1 / 1}).count() &&
            RT::Int.ms[1] == msk % 86400 * 1000;
  for (int k = 0; k < 2; ++k) ok = ok && RT::times2data(k, RT::Int, true, 0, g) == t && civilOf(g) == civilOf(t);
  return ok && RT::times2data(1, RT::Int, false, 0, g) == msk && civilOf(g) == civilOf(msk);
}

TEST(Scales, CalendarAndBothScalesMatchTheCivilCalendar) {
  std::vector<std::int64_t> times;
  std::mt19937_64 rng(7);
  std::uniform_int_distribution<std::int64_t> dist(0, kEnd2099 - 1);
  for (int i = 0; i < 100000; ++i) times.push_back(dist(rng));
  // Year ends; 21:00 UTC is midnight in Moscow, every fourth one a GLONASS four-year boundary.
  for (int y = 2000; y <= 2099; ++y)
    for (int s : {0, 43200, 75599, 75600, 86399, 86400})
      times.push_back(std::min(since2000(year{y} / 12 / 31) + s, kEnd2099 - 1));
  // 2000-02-29 and the GPS week rollover: 2019-04-06 23:59:42 UTC starts week 2048.
  times.push_back(since2000(year{2000} / 2 / 29, 12));
  for (int s : {41, 42, 59, 60}) times.push_back(since2000(year{2019} / 4 / 6, 23, 59, s));
  int bad = 0;
  std::int64_t first = -1;
  for (std::int64_t t : times)
    if (!calendarAndScalesAgree(t) && bad++ == 0) first = t;
  EXPECT_EQ(bad, 0) << "first at " << first << " s after 2000";
}

TEST(Scales, CorrectionCarriesAcrossTheEndOfWeek1023AndBack) {
  const std::int64_t t = since2000(year{2019} / 4 / 6, 23, 59, 41);
  resetScales();
  RT::setGpsPrim(static_cast<long>(t));
  ASSERT_EQ(RT::Int.weekDay[0], 1023);
  RT::Int.corrPhase[0] = 0;
  const int apply[2] = {1, 0}, flags[2] = {0x40, 0};
  const struct { long delta, corr; std::int32_t week, cycle, ms, gpsMs, sum, phase; } steps[] = {
      {1500, 7, 0, 2, 500, -604800000, 7, 1500 - 123000}, {-1000, -7, 1023, 1, 604799500, 0, 0, 500 - 123000}};
  for (const auto& c : steps) {
    SCOPED_TRACE(c.delta);
    const long delta[2] = {c.delta, 0};
    RT::makeTimeCor(apply, delta, flags, c.corr);
    const INT_SCALES& s = RT::Int;
    EXPECT_TRUE(s.weekDay[0] == c.week && s.cycle[0] == c.cycle && s.ms[0] == c.ms && s.gpsMs == c.gpsMs);
    EXPECT_TRUE((s.flags[0] & 0x40) && s.corrSum == c.sum && s.corrPhase[0] == c.phase);
    GREGORIAN_EPOCH g{};
    EXPECT_EQ(RT::times2data(0, RT::Int, true, 0, g), t + (c.delta > 0 ? 1 : 0));
    EXPECT_DOUBLE_EQ(g.fraction, 0.5);
  }
}

// IS-GPS-200 announcements of the last two insertions: last day, dtLS, dtLSF, WN_LSF, DN.
struct LeapEvent {
  year_month_day lastDay;
  int dtLS, dtLSF, wnLsf, dn;
  ZRT_UTC_GPS utc() const {
    ZRT_UTC_GPS u{};
    u.dtLS = std::int8_t(dtLS), u.dtLSF = std::int8_t(dtLSF), u.WN_LSF = std::int16_t(wnLsf), u.DN = std::int8_t(dn);
    return u;
  }
};
const LeapEvent kLeaps[] = {{year{2016} / 12 / 31, 17, 18, 1929, 7}, {year{2015} / 6 / 30, 16, 17, 1851, 3}};

// The warning runs from the second after 00:00:00 of the UTC last day through 23:59:60; the
// offset changes 30 s after. Rows: seconds from the start of 23:59:60, the warning.
TEST(LeapSecond, WarningOffsetAndMomentAroundTheInsertion) {
  const struct { std::int64_t d; int warn; } rows[] = {
      {-90000, 0}, {-86401, 0}, {-86400, 0}, {-86399, 1}, {-43200, 1}, {-21600, 1}, {-21599, 1}, {-31, 1},
      {-30, 1},    {-1, 1},     {0, 1},      {1, 0},      {29, 0},     {30, 0},     {21599, 0},  {21600, 0}};
  for (const LeapEvent& e : kLeaps) {
    const std::int64_t endOfDay = (sys_days{e.lastDay} + days{1} - kGpsEpoch).count() * 86400LL;
    const std::int64_t inserted = endOfDay + e.dtLS;  // GPS seconds at which 23:59:60 begins
    for (const auto& row : rows) {
      const std::int64_t d = row.d;
      SCOPED_TRACE(std::to_string(int(e.lastDay.year())) + " d=" + std::to_string(d));
      const std::int64_t gps = inserted + d;
      resetScales();
      RT::Int.sysUtc[0] = e.dtLS;
      RT::Int.weekDay[0] = static_cast<std::int32_t>(gps / 604800 % 1024);
      RT::Int.ms[0] = static_cast<std::int32_t>(gps % 604800 * 1000 + 500);
      EXPECT_EQ(RT::set_SYS_UTC_compute(0, e.utc(), 1), d > 29 ? 1 : 0);
      EXPECT_EQ(RT::leapWarning.load(), row.warn);
      EXPECT_EQ(RT::Int.sysUtc[0], d > 29 ? e.dtLSF : e.dtLS);
      EXPECT_EQ(RT::Int.leapMoment[0],
                d >= -21599 && d <= 21599 ? static_cast<std::int32_t>(inserted % 604800 * 1000) : RT::kNoLeap);
    }
  }
  resetScales();
  ZRT_UTC_GPS u{};
  u.dtLS = u.dtLSF = 18;
  RT::leapWarning = 1;
  RT::Int.leapMoment[0] = 5;
  EXPECT_EQ(RT::set_SYS_UTC_compute(0, u, 0), 0);
  EXPECT_TRUE(RT::Int.sysUtc[0] == 18 && RT::Int.leapMoment[0] == RT::kNoLeap && RT::leapWarning.load() == 0);
}

TEST(LeapSecond, GlonassNoticeOnTheFirstDayOfEveryQuarter) {
  ZRT_UTC_GLN notice{};
  notice.leapNotice = 1;
  for (int i = 0; i <= 1461; ++i) {
    const int day = i <= 1460 ? i : 5000;  // 5000 lies outside any four-year period
    const year_month_day ymd{sys_days{year{2024} / 1 / 1} + days{day}};
    const bool quarter = day <= 1460 && unsigned(ymd.day()) == 1 && (unsigned(ymd.month()) - 1) % 3 == 0;
    resetScales();
    RT::Int.weekDay[1] = day;
    EXPECT_EQ(RT::set_SYS_UTC_compute(1, notice, 0), 0);
    EXPECT_EQ(RT::leapWarning.load(), 1);
    EXPECT_EQ(RT::Int.leapMoment[1], quarter ? 10800000 : RT::kNoLeap) << day;
  }
  RT::Int.weekDay[1] = 182;  // 1 July of the leap year
  RT::set_SYS_UTC_compute(1, ZRT_UTC_GLN{}, 0);
  EXPECT_TRUE(RT::Int.leapMoment[1] == RT::kNoLeap && RT::leapWarning.load() == 0);
}

// Without a clock: the build date's anchor, in the compile week. BeiDou counts 14 leap seconds fewer than GPS.
TEST_OWN(StartUp, FromTheBuildDateOrTheStoredParameters) {
  // As at start (a process of its own): no scales published, no UTC parameters stored by a test
  // before.
  resetScales();
  navtest::blankImage();
  RT::initOnce(123456, false);
  GREGORIAN_EPOCH g{};
  const std::int64_t build = 86400LL * (RT::daysSince1Jan1980Build - 7305);
  EXPECT_TRUE(RT::times2data(0, RT::Int, true, 0, g) == build && RT::times2data(1, RT::Int, true, 0, g) == build);
  EXPECT_TRUE(RT::getUtc() == 0 && (RT::Int.flags[0] & RT::kRtcValid) == 0);
  const char* d = __DATE__;
  const char* names = "JanFebMarAprMayJunJulAugSepOctNovDec";
  const auto mon = unsigned((std::strstr(names, std::string(d, 3).c_str()) - names) / 3 + 1);
  const sys_days built{year{std::atoi(d + 7)} / month{mon} / std::atoi(d + 4)};
  const sys_days anchor = sys_days{year{1980} / 1 / 1} + days{RT::daysSince1Jan1980Build};
  EXPECT_TRUE((built - anchor).count() <= 8 && (built - anchor).count() >= -1);
  EXPECT_EQ(RT::weekDayBuild[0] + 1024 * RT::weekDayCycleBuild[0], (anchor - kGpsEpoch).count() / 7);
  const int cases[][3] = {{svGps, 17, 17}, {svBeidou, 4, 18}};  // system, dtLS, GPS offset
  const std::int64_t t = since2000(year{2016} / 6 / 1);
  for (const auto& c : cases) {
    RT::Int = INT_SCALES{};
    ZRT_UTC_GPS u{};
    u.dtLS = u.dtLSF = static_cast<std::int8_t>(c[1]), u.WN_LSF = 500, u.DN = 3;
    RT::initFromStored(static_cast<int>(t), true, &u, c[0], nullptr);
    EXPECT_TRUE(RT::Int.sysUtc[0] == c[2] && RT::Int.ms[0] == gpsSeconds(t, c[2]) % 604800 * 1000) << c[0];
    EXPECT_EQ(RT::getUtc(), t);
  }
}

SysTime g_fakeNow{};
SysTime at(std::int64_t ms) {
  SysTime t;
  t.assign(1700000000 + ms / 1000, (ms % 1000) * 1000000);
  return t;
}

class TimeScalesNow : public ::testing::Test {
 protected:
  // The clock reads the test's time (tests/unit/positioning/fake_clock.h).
  void SetUp() override { fakeclock::set(&g_fakeNow); }
  void TearDown() override { fakeclock::set(nullptr); }
  static void publish(const INT_SCALES& s, std::int64_t atMs, int rcvMs, int endMs) {
    TimeScales::epoch(at(atMs), rcvMs);
    TimeScales::endUpdate(s, endMs);
  }
};

// Beyond 2 s after its epoch (or before it: a clock stepped back) the time stands at the epoch's
// own: the scales stay valid, the time is not advanced.
TEST_F(TimeScalesNow, RecordIsExtrapolatedAsAWholeUpToTwoSecondsWithoutWrapping) {
  // Before the first publication nothing answers: seen in a process of its own, where no other
  // test has published yet.
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(
      {
        INT_SCALES r{};
        r.flags[0] = 0x40;
        const bool none =
            TimeScales::now(tsGps) == -1 && !TimeScales::now(r) && r.flags[0] == 0;
        std::exit(none ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
  g_fakeNow = at(0);
  INT_SCALES r{};
  INT_SCALES s{};
  s.rcvTime = 0xFFFFFFFFLL - 100;
  s.ms[0] = 604799500, s.ms[1] = 86399000, s.labelB[1] = 9, s.flags[0] = s.flags[1] = 0x40;
  RT::rcvRefTime = 0;
  publish(s, 0, 1234, 1234);
  const struct { std::int64_t clockMs; long gps, glo; } cases[] = {
      {0, 604799500, 86399000},    {1500, 604801000, 86400500},  {2000, 604801500, 86401000},
      {2001, 604799500, 86399000}, {-1, 604799500, 86399000},    {3600000, 604799500, 86399000}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.clockMs);
    g_fakeNow = at(c.clockMs);
    EXPECT_EQ(TimeScales::now(tsGps), c.gps);
    EXPECT_EQ(TimeScales::now(tsGlonass), c.glo);
    EXPECT_TRUE(TimeScales::now(r));
    EXPECT_EQ(r.rcvTime, s.rcvTime + (c.gps - s.ms[0]));
    EXPECT_TRUE(r.ms[0] == c.gps && r.ms[1] == c.glo && r.labelB[1] == 9);
    EXPECT_TRUE((r.flags[0] & 0x40) == 0x40 && (r.flags[1] & 0x40) == 0x40);
  }
  s.flags[1] = 0, s.ms[1] = 86399999;  // a scale not valid answers -1, not the day's last millisecond
  publish(s, 0, 77, 77);
  g_fakeNow = at(0);
  EXPECT_EQ(TimeScales::now(tsGlonass), -1);
}

// A mismatched end publishes nothing; the decoder fills a copy, and Req changes only when it is handed in.
TEST_F(TimeScalesNow, MismatchedEndUpdatePublishesNothingAndReqIsFilledAsACopy) {
  INT_SCALES s{};
  s.ms[0] = 1000, s.flags[0] = 0x40;
  g_fakeNow = at(0);
  publish(INT_SCALES{}, 0, 1, 1);  // what is in force before: no valid scale
  publish(s, 0, 5000, 4999);
  EXPECT_TRUE(TimeScales::now(tsGps) == -1 && RT::Req.ms[0] == 1000);
  INT_SCALES& fill = TimeScales::startUpdate();
  fill.ms[0] = 20;
  EXPECT_TRUE(&fill != &RT::Req && RT::Req.ms[0] == 1000);
}

// Epoch i fills every word with i; now() adds one advance to the three time words.
TEST(TimeScalesStress, NowAndReqAreNeverTorn) {
  std::atomic<bool> done{false};
  std::atomic<int> torn{0};
  std::atomic<long> seen{0};
  auto consistent = [](const INT_SCALES& r, std::int64_t advance) {
    std::int32_t w[26];
    std::memcpy(w, &r, sizeof w);
    const std::int32_t n = r.weekDay[0];
    for (int i = 2; i < 24; ++i)
      if (i != 10 && i != 11 && w[i] != n) return false;
    return r.rcvTime == n + advance && r.ms[0] == n + advance && r.ms[1] == n + advance &&
           r.flags[0] == (n << 8 | 0x40) && r.flags[1] == (n << 8 | 0x40);
  };
  auto reader = [&] {
    for (INT_SCALES r; !done.load(); RT::getReq(r), torn += !consistent(r, 0) + (TimeScales::now(tsGps) < -1))
      if (TimeScales::now(r)) torn += !consistent(r, r.ms[0] - r.weekDay[0]), ++seen;
  };
  auto publishEpoch = [](int i) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    SysTime t;
    t.assign(ts.tv_sec, ts.tv_nsec);
    TimeScales::epoch(t, i);
    INT_SCALES& f = TimeScales::startUpdate();
    f = INT_SCALES{i,      i,      i,      {i, i}, i,      {i, i}, i,      {i, i},
                   {i, i}, {i, i}, {i, i}, {i, i}, {i, i}, {i, i}, {i << 8 | 0x40, i << 8 | 0x40}};
    TimeScales::endUpdate(f, i);
  };
  publishEpoch(0);
  std::thread r1(reader), r2(reader);
  for (int i = 1; i <= 20000 || (seen.load() < 1000 && i < 1000000); ++i) publishEpoch(i);
  done = true;
  r1.join(), r2.join();
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(seen.load(), 0);
}

}  // namespace

TEST(Scales, SetTimeMovesByEvenMillisecondsAndTimes2dataHonoursItsLevel) {
  const std::int32_t moves[][3] = {{1000, 1501, 1500}, {1000, 1500, 1500}, {1500, 999, 998}, {0, 7, 6}};
  for (const auto& c : moves) {
    resetScales();
    RT::Int.ms[0] = c[0];
    RT::setTime(c[1], svGps);
    EXPECT_TRUE(RT::Int.ms[0] == c[2] && RT::Int.ms[1] == 0) << c[0] << " -> " << c[1];
  }
  const struct { int k; std::int32_t flags; bool utc; int level; bool answers; } levels[] = {
      {0, 0, true, 0, true},      {0, 0x540, true, 1, false}, {0, 0x540, false, 1, true}, {0, 0x550, true, 1, true},
      {0, 0xAA0, true, 2, true},  {0, 0xA80, true, 2, false}, {0, 0xA80, false, 2, true}, {0, 0x12A0, true, 3, true},
      {0, 0x1280, false, 3, true}, {0, 0x1280, true, 3, false}, {0, 0x550, true, 4, false}, {0, 0x550, true, -1, false},
      {2, 0x550, false, 0, false}, {-1, 0x550, false, 0, false},
  };
  for (const auto& c : levels) {
    resetScales();
    RT::setGpsPrim(700000000);
    RT::Int.flags[0] = c.flags;
    GREGORIAN_EPOCH g{};
    g.year = -5;
    EXPECT_EQ(RT::times2data(c.k, RT::Int, c.utc, c.level, g) != 0, c.answers)
        << "k " << c.k << " flags " << c.flags << " level " << c.level;
    EXPECT_EQ(g.year == -5, !c.answers);  // refused: the calendar is left alone
  }
}

// The store's UTC and the time scales the tests before leave have no way back: in a process of its own.
TEST(PreciseOffset, GpsLikeOffsetAcrossRolloverAndForBeidou) {
  testproc::inOwnProcess([] {
    for (int sys = -1; sys <= 9; ++sys) {  // nothing stored and no solution: no offset
      double offs = 99;
      int leap = 99;
      EXPECT_TRUE(RT::computeSYS2UTC_Prec(sys, offs, leap) == 0 && offs == 99) << sys;
    }
    // 2024-06-01 12:00:00 UTC: GPS week 2316, 561618 s; BeiDou week 960, 561604 s.
    const std::int64_t gs = gpsSeconds(since2000(year{2024} / 6 / 1, 12), 18);
    const int week = int(gs / 604800), sow = int(gs % 604800);
    const int bdtWeek = int((gs - 14 - (sys_days{year{2006} / 1 / 1} - kGpsEpoch).count() * 86400LL) / 604800);
    ASSERT_EQ(bdtWeek, 960);
    const struct { int sys, wnt, tot, leapIn, leapOut; double dt; } cases[] = {
        {0, week % 1024, sow - 1000, 18, 18, 1000}, {0, (week - 3) % 1024, sow, 18, 18, 3 * 604800},
        {5, bdtWeek % 8192, sow - 14 - 1000, 4, 18, 1000}, {4, week, sow + 500, 18, 18, -500}};
    for (const auto& c : cases) {
      ZRT_UTC_GPS u{};
      u.A0 = 2e-9, u.A1 = 1e-14, u.tot = c.tot, u.WNt = std::int16_t(c.wnt), u.dtLS = std::int8_t(c.leapIn);
      double offs = 0;
      int leap = 0;
      RT::gpsLikeUtcOffset(c.sys, u, week % 1024, sow * 1000, offs, leap);
      EXPECT_EQ(leap, c.leapOut);
      EXPECT_NEAR(offs, 2e-9 + double(1e-14f) * c.dt, 1e-18) << c.sys << " " << c.wnt;  // dt from tot
    }
  });
}
