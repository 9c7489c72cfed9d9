// The real-time clock kept to GNSS time: the host's clock is the seconds file under host/ (the
// stand-in of the system's RTC, which does not tick by itself). Once the board's time scale meets
// the best quality level, the program's background task (every 5 s) finds the clock more than a
// second off the epoch's UTC and rewrites it; a clock that is not there is not made.
#include <cstdlib>

#include "e2e/harness.h"

namespace e2e {
namespace {

using RtcUpdate = Rx;

const char* const kRtc = "host/sys/class/rtc/rtc0/since_epoch";
// The simulator's start, 2023-03-12T10:00:00 UTC, in seconds since 1970.
constexpr long long kStart = 1678615200;

long long rtcValue(const std::string& text) { return text.empty() ? -1 : std::atoll(text.c_str()); }

TEST_F(RtcUpdate, AClockOffByMoreThanASecondIsSetToTheEpochsUtc) {
  // Valid at start (the program's first guess of the date) but eleven years off.
  ASSERT_TRUE(dir_.write(kRtc, "1330000000\n"));
  ASSERT_NO_FATAL_FAILURE(startSim({"--start", "2023-03-12T10:00:00"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(waitUntil([&] { return rtcValue(dir_.read(kRtc)) >= kStart; }, 20000)) << dir_.read(kRtc);
  const long long set = rtcValue(dir_.read(kRtc));
  // Written at a whole second the program counted on from an epoch: within the seconds since.
  EXPECT_LE(set, kStart + 30) << set - kStart;

  EXPECT_GE(set, kStart);

  // Put back by a hundred seconds, it is set forward again.
  ASSERT_TRUE(dir_.write(kRtc, std::to_string(set - 100) + "\n"));
  ASSERT_TRUE(waitUntil([&] { return rtcValue(dir_.read(kRtc)) > set; }, 12000)) << dir_.read(kRtc);
}

TEST_F(RtcUpdate, NoClockFileIsMade) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--start", "2023-03-12T10:00:00"}));
  ASSERT_NO_FATAL_FAILURE(start());
  waitUntil([] { return false; }, 7000);  // past a check of the background task
  EXPECT_EQ(dir_.read(kRtc), "");
  EXPECT_TRUE(rx_->running());
}

}  // namespace
}  // namespace e2e
