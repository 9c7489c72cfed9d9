// The inputs coverage-guided fuzzing found, fed to the real program on its own roads: a board
// stream dated GPS week 3340 (2044) from the simulator, and an RTCM 3 text with a value out of
// every integer's range on a port in RTCM 3 mode. The program stays up, its clock right, and
// (the sanitizer build is what runs here) does nothing undefined.
#include <cstdlib>
#include <ctime>

#include "e2e/harness.h"

namespace e2e {
namespace {

using FoundInputs = Rx;

const std::string kFound = std::string(RX_SHARED_DIR) + "/testdata/fuzz/";
// The recording's first epoch: GPS week 3340 = 268 + 3 x 1024, Saturday 12:00:18 GPS time, which
// is 2044-01-16 12:00:00 UTC (date -u -d 2044-01-16T12:00:00 +%s).
constexpr long long kFirstEpochUtc = 2336558400;
const std::string kStepped = "$$TIME: program clock stepped by ";

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

TEST_F(FoundInputs, BoardStreamOfGpsWeek3340StepsTheClockOnceToItsDate) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--replay", kFound + "native-epochs-gps-week-3340.bin"}));
  const long long before = std::time(nullptr);
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(waitUntil([&] { return dir_.read("sim1.log").find("* replay done") != std::string::npos; }, 30000));
  // The six epochs went out one a second; the last one is worked before the next reply.
  EXPECT_EQ(ask("%v%print,/par/rcv/ver").substr(0, 2), "RE");
  const long long after = std::time(nullptr);
  const std::string out = rx_->out();
  ASSERT_EQ(count(out, kStepped), 1) << out;
  // Stepped from the machine's time at the first whole second to the recording's.
  const long long ms = std::atoll(out.c_str() + out.find(kStepped) + kStepped.size());
  EXPECT_GE(ms, (kFirstEpochUtc - after - 1) * 1000) << ms;
  EXPECT_LE(ms, (kFirstEpochUtc - before + 1) * 1000) << ms;
  EXPECT_TRUE(rx_->running());
}

TEST_F(FoundInputs, RtcmTextWithAHugeValueOnAnRtcm3PortLeavesTheProgramRunning) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay.")}));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm3"), re("%1%"));
  ASSERT_TRUE(waitUntil([&] { return dir_.exists("relay.d.up"); }));
  const std::string frame = readFile(kFound + "rtcm3-1029-moving-huge-value.rtcm3");
  ASSERT_EQ(frame.size(), 67u);
  Port serB(dir_.file("dev/ser/b"));
  // Each chunk is relayed, then decoded, one after another: the second relayed means the first
  // was decoded (its text refused, its value never converted).
  ASSERT_TRUE(serB.sendRaw(frame));
  EXPECT_TRUE(fileReaches("relay.d", frame.size()));
  EXPECT_EQ(dir_.read("relay.d"), frame);
  ASSERT_TRUE(serB.sendRaw(frame));
  EXPECT_TRUE(fileReaches("relay.d", 2 * frame.size()));
  EXPECT_EQ(dir_.read("relay.d"), frame + frame);
  EXPECT_EQ(ask("%2%print,/par/dev/ser/b/imode"), re("%2%rtcm3"));
  EXPECT_TRUE(rx_->running());
}

}  // namespace
}  // namespace e2e
