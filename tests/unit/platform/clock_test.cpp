// Time keeping: the epoch's hand-over to the time scales, the host's virtual clock under steering,
// the real-time clock stand-in and the time daemon's samples.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>

#include "platform/chrony.h"
#include "platform/rtc.h"
#include "platform/rtos_time.h"
#include "temp_run_dir.h"

namespace {

using ClockTest = TempRunDir;

SysTime machineNow() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  SysTime t;
  t.assign(ts.tv_sec, ts.tv_nsec);
  return t;
}

SysTime g_seen, g_pulse;
int g_seenMs = -1;

TEST_F(ClockTest, EpochHandsOnTheClockReadingOrOnWholeSecondsThePulseWhenItAgrees) {
  rtosSetGnssEpochHook([](const SysTime& t, int ms) { g_seen = t, g_seenMs = ms; });
  rtosSetPpsSource([](SysTime& p) { return p = g_pulse, true; });
  const struct { const char* what; int pulseOffsetMs, rcvMs; bool pulseUsed; } cases[] = {
      {"agrees", -40, 5000, true}, {"too far", -300, 5000, false}, {"not a whole second", -40, 5100, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const SysTime before = machineNow();
    g_pulse.assign(before.sec, before.nsec + c.pulseOffsetMs * 1000000LL);
    rtosGnssEpoch(c.rcvMs);
    EXPECT_EQ(g_seenMs, c.rcvMs);
    EXPECT_EQ(g_seen.sec == g_pulse.sec && g_seen.nsec == g_pulse.nsec, c.pulseUsed);
    EXPECT_TRUE(c.pulseUsed || (g_seen.deltaMs(before) >= 0 && machineNow().deltaMs(g_seen) >= 0));
  }
}

// The system clock off GNSS time by over half a second is stepped, by less slewed (500 us a
// second, so nearly nothing shows at once); on the host only the virtual clock moves.
TEST_F(ClockTest, SteeringMovesOnlyTheVirtualClock) {
  const struct { const char* what; int epochMs, adjustMs, utcAhead; bool known, steps; } cases[] = {
      {"3 s behind: stepped", 10000, 10000, -3, true, true},
      {"a second step adds to the first", 11000, 11000, 10, true, true},
      {"unknown UTC", 30000, 30000, 100, false, false},
      {"not the last epoch", 30000, 31000, 100, true, false},
      {"not a whole second", 30000, 30500, 100, true, false},
      {"within half a second: slewed", 20000, 20000, 0, true, false}};
  const SysTime machineBefore = machineNow();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    rtosGnssEpoch(c.epochMs);
    SysTime epoch, steered;
    rtosTimeGet(epoch);
    const std::int64_t before = rtosVirtualOffsetNs();
    rtosAdjustTime(c.known ? static_cast<std::uint32_t>(epoch.sec + c.utcAhead) : 0, c.adjustMs);
    const double want = c.steps ? c.utcAhead * 1e9 - epoch.nsec : 0;
    EXPECT_NEAR(static_cast<double>(rtosVirtualOffsetNs() - before), want, c.steps ? 50e6 : 5e6);
    rtosTimeGet(steered);
    EXPECT_NEAR(static_cast<double>(steered.deltaMs(machineNow())), rtosVirtualOffsetNs() / 1e6, 50.0);
  }
  EXPECT_LT(std::llabs(machineNow().deltaMs(machineBefore)), 1000);
}

TEST_F(ClockTest, StartTimeComesFromTheRtcWhichIsRewrittenOnlyWhenItStrays) {
  static std::pair<int, bool> seen;
  rtosSetTimesInitHook([](int t, bool valid) { seen = {t, valid}; });
  const char* rtc = "host/sys/class/rtc/rtc0/since_epoch";
  // 2024-01-01 00:00:00 UTC is 1704067200 (date -u -d 2024-01-01 +%s); a clock before 2000 is no time.
  const struct { const char* content; int want; } cases[] = {{nullptr, 0}, {"1704067200\n", 757382400}, {"12345\n", 0}};
  for (const auto& c : cases) {
    if (c.content) writeFile(rtc, c.content);
    EXPECT_EQ(timesInitOnce(), c.want);
    EXPECT_EQ(seen, std::pair(c.want, c.want != 0));
  }
  writeFile(rtc, "1000000000\n");
  Rtc::update();  // no exact time yet: left alone
  Rtc::updateTime(0);
  Rtc::update();
  EXPECT_EQ(readFile(rtc), "1000000000\n");
  Rtc::updateTime(1700000000);
  Rtc::update();
  std::int64_t t = 0;
  ASSERT_TRUE(Rtc::read(t));
  EXPECT_TRUE(t >= 1700000000 && t <= 1700000010) << t;
  writeFile(rtc, " " + std::to_string(t + 1) + "\n");  // within a second: kept as it is
  Rtc::update();
  EXPECT_EQ(readFile(rtc), " " + std::to_string(t + 1) + "\n");
  unlink(rtc);
  Rtc::update();
  EXPECT_FALSE(exists(rtc)) << "an absent clock is not created";
}

TEST_F(ClockTest, ARunningTimeDaemonGetsSamplesInsteadOfSteering) {
  writeFile("host/var/run/chrony/chronyd.pid", std::to_string(getpid()) + "\n");
  const int s = socket(AF_UNIX, SOCK_DGRAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s/host/var/run/chrony.rxengine.sock", dir_.c_str());
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  chronyMonitor();
  ASSERT_TRUE(chronyActive());
  rtosGnssEpoch(40000);
  SysTime epoch;
  rtosTimeGet(epoch);
  rtosAdjustTime(static_cast<std::uint32_t>(epoch.sec + 2), 40000);  // GNSS time 2 s ahead
  EXPECT_EQ(rtosVirtualOffsetNs(), 0) << "the daemon steers, not we";
  struct { timeval tv; double offset; int pulse, leap, pad, magic; } got{};  // the daemon's SOCK sample
  ASSERT_EQ(recv(s, &got, sizeof got, MSG_DONTWAIT), static_cast<ssize_t>(sizeof got));
  EXPECT_EQ(got.magic, 0x534f434b);
  EXPECT_NEAR(got.offset, 2.0, 0.6);  // true time minus system time
  EXPECT_NEAR(static_cast<double>(got.tv.tv_sec), static_cast<double>(epoch.sec), 1.0);
  EXPECT_TRUE(got.tv.tv_usec >= 0 && got.tv.tv_usec < 1000000);
  unlink("host/var/run/chrony/chronyd.pid");
  chronyMonitor();
  EXPECT_FALSE(chronyActive()) << "daemon gone: back to steering";
  close(s);
}

}  // namespace
