// Time keeping: the host's virtual clock under steering, the epoch and start-up hand-over to
// the time scales, the real-time clock stand-in and the time daemon's samples.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>

#include "platform/chrony.h"
#include "platform/rtc.h"
#include "platform/rtos_time.h"
#include "temp_run_dir.h"

namespace {

class ClockTest : public TempRunDir {};

SysTime machineNow() {
  timespec ts;
  clock_gettime(CLOCK_REALTIME, &ts);
  SysTime t;
  t.assign(ts.tv_sec, ts.tv_nsec);
  return t;
}

SysTime g_seen;
int g_seenMs = -1;
int g_epochCalls = 0;

TEST_F(ClockTest, EpochHandsClockReadingToTimeScales) {
  rtosSetGnssEpochHook([](const SysTime& t, int ms) {
    g_seen = t;
    g_seenMs = ms;
    ++g_epochCalls;
  });
  const SysTime before = machineNow();
  rtosGnssEpoch(123450);
  EXPECT_EQ(g_epochCalls, 1);
  EXPECT_EQ(g_seenMs, 123450);
  EXPECT_GE(g_seen.deltaMs(before), 0);
  EXPECT_GE(machineNow().deltaMs(g_seen), 0);
}

SysTime g_pulse;
TEST_F(ClockTest, PpsTimeUsedOnWholeSecondsWhenItAgrees) {
  rtosSetGnssEpochHook([](const SysTime& t, int) { g_seen = t; });
  rtosSetPpsSource([](SysTime& p) {
    p = g_pulse;
    return true;
  });
  struct Case {
    const char* what;
    int pulseOffsetMs;  // pulse relative to the clock
    int rcvMs;
    bool pulseUsed;
  };
  const Case cases[] = {
      {"agrees", -40, 5000, true},
      {"too far", -300, 5000, false},
      {"not a whole second", -40, 5100, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    SysTime now = machineNow();
    g_pulse.assign(now.sec, static_cast<std::int64_t>(now.nsec) + c.pulseOffsetMs * 1000000LL);
    rtosGnssEpoch(c.rcvMs);
    const bool same = g_seen.sec == g_pulse.sec && g_seen.nsec == g_pulse.nsec;
    EXPECT_EQ(same, c.pulseUsed);
  }
}

TEST_F(ClockTest, SteeringMovesOnlyTheVirtualClock) {
  // The clock reads 3 s (and its sub-second part) ahead of GNSS at this epoch: stepped back.
  rtosGnssEpoch(10000);
  SysTime epoch;
  rtosTimeGet(epoch);
  const SysTime machineBefore = machineNow();
  rtosAdjustTime(static_cast<std::uint32_t>(epoch.sec - 3), 10000);
  const double want = -(3e9 + epoch.nsec);
  EXPECT_NEAR(static_cast<double>(rtosVirtualOffsetNs()), want, 50e6);
  SysTime steered;
  rtosTimeGet(steered);
  EXPECT_NEAR(static_cast<double>(steered.deltaMs(machineNow())), want / 1e6, 50.0);
  // The machine's clock itself has not moved.
  EXPECT_LT(std::llabs(machineNow().deltaMs(machineBefore)), 1000);
  // A second step adds to the first.
  rtosGnssEpoch(11000);
  rtosTimeGet(epoch);
  rtosAdjustTime(static_cast<std::uint32_t>(epoch.sec + 10), 11000);
  EXPECT_NEAR(static_cast<double>(rtosVirtualOffsetNs()), want + 10e9 - epoch.nsec, 50e6);
}

TEST_F(ClockTest, SmallOffsetIsSlewedNotStepped) {
  // An offset below half a second: the kernel's way, a gradual correction of 500 us a second,
  // so nearly nothing of it shows at once.
  rtosGnssEpoch(20000);
  SysTime epoch;
  rtosTimeGet(epoch);
  const std::uint32_t utc = static_cast<std::uint32_t>(epoch.sec);  // offset = the clock's sub-second part
  rtosAdjustTime(utc, 20000);
  EXPECT_LT(std::llabs(rtosVirtualOffsetNs()), 5000000);
}

TEST_F(ClockTest, SteeringIgnoresUnknownUtcAndOtherEpochs) {
  rtosGnssEpoch(30000);
  rtosAdjustTime(0, 30000);
  EXPECT_EQ(rtosVirtualOffsetNs(), 0);
  SysTime t;
  rtosTimeGet(t);
  rtosAdjustTime(static_cast<std::uint32_t>(t.sec + 100), 31000);  // not the last epoch
  EXPECT_EQ(rtosVirtualOffsetNs(), 0);
  rtosAdjustTime(static_cast<std::uint32_t>(t.sec + 100), 30500);  // not a whole second
  EXPECT_EQ(rtosVirtualOffsetNs(), 0);
}

int g_initT = -1;
bool g_initValid = true;
TEST_F(ClockTest, TimesInitReadsRtcAsSecondsSince2000) {
  rtosSetTimesInitHook([](int t, bool valid) {
    g_initT = t;
    g_initValid = valid;
  });
  // No clock: not valid.
  EXPECT_EQ(timesInitOnce(), 0);
  EXPECT_FALSE(g_initValid);
  EXPECT_EQ(g_initT, 0);
  // 2024-01-01 00:00:00 UTC = 1704067200 (date -u -d 2024-01-01 +%s).
  writeFile("host/sys/class/rtc/rtc0/since_epoch", "1704067200\n");
  EXPECT_EQ(timesInitOnce(), 1704067200 - 946684800);
  EXPECT_TRUE(g_initValid);
  EXPECT_EQ(g_initT, 757382400);
  // A clock before 2000 is not a time.
  writeFile("host/sys/class/rtc/rtc0/since_epoch", "12345\n");
  EXPECT_EQ(timesInitOnce(), 0);
  EXPECT_FALSE(g_initValid);
}

TEST_F(ClockTest, RtcIsRewrittenWhenItStrays) {
  const char* path = "host/sys/class/rtc/rtc0/since_epoch";
  // Without an exact time the clock is left alone.
  writeFile(path, "1000000000\n");
  Rtc::update();
  EXPECT_EQ(readFile(path), "1000000000\n");
  Rtc::updateTime(0);
  Rtc::update();
  EXPECT_EQ(readFile(path), "1000000000\n");
  Rtc::updateTime(1700000000);
  Rtc::update();
  std::int64_t t = 0;
  ASSERT_TRUE(Rtc::read(t));
  EXPECT_GE(t, 1700000000);
  EXPECT_LE(t, 1700000010);
  // Within a second of the exact time: not rewritten.
  writeFile(path, std::to_string(t) + "\n");
  Rtc::update();
  EXPECT_EQ(readFile(path), std::to_string(t) + "\n");
  // Absent clock: nothing is created.
  unlink(path);
  Rtc::update();
  EXPECT_FALSE(exists(path));
}

struct SockSample {
  timeval tv;
  double offset;
  int pulse, leap, pad, magic;
};

TEST_F(ClockTest, DaemonGetsSamplesInsteadOfSteering) {
  // The daemon: a pid file naming a live process and its sample socket.
  writeFile("host/var/run/chrony/chronyd.pid", std::to_string(getpid()) + "\n");
  int s = socket(AF_UNIX, SOCK_DGRAM, 0);
  ASSERT_GE(s, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::snprintf(a.sun_path, sizeof a.sun_path, "%s/host/var/run/chrony.rxengine.sock", dir_.c_str());
  ASSERT_EQ(bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  chronyMonitor();
  ASSERT_TRUE(chronyActive());

  rtosGnssEpoch(40000);
  SysTime epoch;
  rtosTimeGet(epoch);
  // GNSS time is 2 s ahead of the system clock.
  rtosAdjustTime(static_cast<std::uint32_t>(epoch.sec + 2), 40000);
  EXPECT_EQ(rtosVirtualOffsetNs(), 0) << "the daemon steers, not we";
  SockSample got{};
  ASSERT_EQ(recv(s, &got, sizeof got, MSG_DONTWAIT), static_cast<ssize_t>(sizeof got));
  EXPECT_EQ(got.magic, 0x534f434b);
  EXPECT_NEAR(got.offset, 2.0, 0.6);  // true time minus system time
  EXPECT_NEAR(static_cast<double>(got.tv.tv_sec), static_cast<double>(epoch.sec), 1.0);
  EXPECT_GE(got.tv.tv_usec, 0);
  EXPECT_LT(got.tv.tv_usec, 1000000);

  // Daemon gone: back to steering.
  unlink("host/var/run/chrony/chronyd.pid");
  chronyMonitor();
  EXPECT_FALSE(chronyActive());
  close(s);
}

}  // namespace
