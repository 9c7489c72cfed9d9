// Clock steering from the board's time scales, for dates past the ends of 32-bit seconds: the
// clock is stepped once to the epoch's date and then only follows it. Epochs come one second
// apart on a hand-driven machine clock, so the steered clock and GNSS time advance together
// exactly and the test does not depend on how busy the machine is.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "unit/gnss_link/native_test_util.h"
#include "gnss_link/meas_proc.h"
#include "platform/rtos_time.h"
#include "unit/platform/hand_clock.h"
#include "positioning/rcv_time_scales.h"

namespace {

using namespace std::chrono;
using namespace ntest;

constexpr std::int64_t kGpsEpochUnix = 315964800;  // 1980-01-06 00:00:00 UTC
constexpr int kLeap = 18;
const std::string kStepped = "$$TIME: program clock stepped by";

SysTime clockNow() {
  SysTime t;
  rtosTimeGet(t);
  return t;
}
// Seconds the steered clock stands after the UTC second `utc`.
double secondsAfter(std::int64_t utc) {
  const SysTime t = clockNow();
  return static_cast<double>(t.sec - utc) + t.nsec / 1e9;
}
int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

// Runs `epochs` one second apart on the held machine clock; `each(k)` delivers epoch k. Returns
// what was said. The clock stays held so the caller can read it where the last epoch left it.
template <class F>
std::string paced(int epochs, F each) {
  testing::internal::CaptureStderr();
  handclock::manual(true);
  for (int k = 0; k < epochs; ++k) {
    if (k > 0) handclock::advance(1000000000);
    each(k);
  }
  return testing::internal::GetCapturedStderr();
}

class ClockSteering : public testing::Test {
 protected:
  void TearDown() override { handclock::manual(false); }
};

// The scales of a whole UTC second, as the board gives them (GPS scale, UTC known).
void setScales(std::int64_t utc) {
  const std::int64_t gps = utc - kGpsEpochUnix + kLeap;
  RcvTimeScales::INT_SCALES& s = RcvTimeScales::Req;
  s = RcvTimeScales::INT_SCALES{};
  s.ms[0] = static_cast<std::int32_t>(gps % 604800 * 1000);
  s.weekDay[0] = static_cast<std::int32_t>(gps / 604800 % 1024);
  s.cycle[0] = static_cast<std::int32_t>(gps / 604800 / 1024);
  s.sysUtc[0] = kLeap;
  s.flags[0] = 0x570;
  RcvTimeScales::rcvRefTime = 0;
}

// The recording the fuzzer found: six 1 Hz epochs of GPS week 3340 = 268 + 3 x 1024, Saturday
// 12:00:18 GPS time onwards, which is 2044-01-16 12:00:00 UTC (the calendar from std::chrono).
TEST_F(ClockSteering, RecordingOfGpsWeek3340StepsTheClockOnce) {
  const std::string bytes = readFile(std::string(RX_SHARED_DIR) + "/testdata/fuzz/native-epochs-gps-week-3340.bin");
  std::vector<std::string> epochs;
  for (std::size_t p = bytes.find("~~"), next; p != std::string::npos; p = next) {
    next = bytes.find("~~", p + 2);
    epochs.push_back(bytes.substr(p, next == std::string::npos ? std::string::npos : next - p));
  }
  ASSERT_EQ(epochs.size(), 6u);
  const std::int64_t first = duration_cast<seconds>((sys_days{year{2044} / 1 / 16} + hours{12}).time_since_epoch()).count();
  ZrtDecoder dec;
  ZrtRawDecoder raw;
  raw.setHandlers(dec.filter());
  raw.setMeasReady(signalMeasReady);
  msInt = 1000;
  std::int64_t offsetAfterFirst = 0;
  const std::string said = paced(6, [&](int k) {
    dec.process(epochs[k].data(), static_cast<int>(epochs[k].size()));
    if (k == 0) offsetAfterFirst = rtosVirtualOffsetNs();
  });
  EXPECT_EQ(raw.counters().chainRuns, 6u);
  EXPECT_EQ(count(said, kStepped), 1) << said;
  EXPECT_EQ(RcvTimeScales::Req.cycle[0], 3);
  // Five seconds after the first epoch the clock reads the sixth epoch's time.
  EXPECT_NEAR(secondsAfter(first + 5), 0.0, 1e-6);
  EXPECT_NEAR(static_cast<double>(rtosVirtualOffsetNs() - offsetAfterFirst), 0.0, 5e6) << "only slewed after the step";
}

// Runs of epochs across each end of a seconds count and the Gregorian rule of 2100: stepped
// once to the first epoch, then nothing.
TEST_F(ClockSteering, RunsAcrossTheEndsOfSecondCountsStepOnce) {
  const struct { const char* what; std::int64_t firstUtc; } cases[] = {
      {"2037 to 2038: 32-bit seconds end at 2038-01-19 03:14:07", 2147483645},
      {"2038 to 2039 across the new year", 2177452798},
      {"2100-02-28 to 2100-03-01, no leap day", 4107542398},
      {"2106: 32-bit unsigned seconds end at 2106-02-07 06:28:15", 4294967293},
      {"the last seconds of GPS week 8191 (2137)", kGpsEpochUnix + 8192LL * 604800 - kLeap - 3}};
  msInt = 1000;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<int> years;
    const std::string said = paced(4, [&](int k) {
      setScales(c.firstUtc + k);
      const long t = RcvTimeScales::Req.ms[0] % 86400000;
      rtosGnssEpoch(static_cast<int>(t));
      signalMeasReady();
      years.push_back(NavEpoch.date.year);
    });
    EXPECT_EQ(count(said, kStepped), 1) << said;
    EXPECT_NEAR(secondsAfter(c.firstUtc + 3), 0.0, 1e-6);
    const sys_seconds last{seconds{c.firstUtc + 3}};
    EXPECT_EQ(years.back(), int(year_month_day{floor<days>(last)}.year()));
    EXPECT_EQ(NavEpoch.date.day, int(unsigned(year_month_day{floor<days>(last)}.day())));
  }
}

// A date the clock cannot hold steers nothing and is said once until a time is taken again.
TEST_F(ClockSteering, DatesBeyondTheClockAreRefusedWhole) {
  testing::internal::CaptureStderr();
  const std::int64_t before = rtosVirtualOffsetNs();
  for (std::int64_t utc : {rtosClockMaxSec() + 1, std::int64_t{-5}, INT64_MAX}) {
    rtosGnssEpoch(40000);
    rtosAdjustTime(utc, 40000);
  }
  EXPECT_EQ(rtosVirtualOffsetNs(), before);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "$$TIME: UTC " + std::to_string(rtosClockMaxSec() + 1) + " s is beyond the system clock: not steered\n");
  // Scale words of the year 4000 (a damaged record) give the chain no date at all.
  msInt = 1000;
  setScales(1717243200);
  RcvTimeScales::Req.cycle[0] = 100;
  rtosGnssEpoch(static_cast<int>(RcvTimeScales::Req.ms[0] % 86400000));
  signalMeasReady();
  EXPECT_EQ(std::tuple(NavEpoch.utcSec, NavEpoch.dateSource), std::tuple(std::int64_t{0}, -1));
  EXPECT_EQ(rtosVirtualOffsetNs(), before);
}

}  // namespace
