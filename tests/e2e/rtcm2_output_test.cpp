// The base station's RTCM 2 output on a serial port: "em" puts one null frame a second on
// dev/ser/b, each with the Z-count of the simulator's GPS time and the stream's sequence, every
// word's parity right (checked here by the IS-GPS-200 equations); "dm" stops them. (gpsd's
// gpsdecode does not lock onto a stream made of header-only frames: the unit oracle tests let it
// read null frames within longer streams.)
#include "e2e/harness.h"
#include "e2e/rtcm2_words.h"

namespace e2e {
namespace {

class Rtcm2Output : public Rx {};

using namespace rtcm2words;

TEST_F(Rtcm2Output, NullFrameEverySecondWithTheSimulatorsZCountUntilDisabled) {
  // 2024-06-01 11:29:30 UTC is 11:29:48 GPS: Z-count 2980 (1788 s into the hour).
  ASSERT_NO_FATAL_FAILURE(startSim({"--start", "2024-06-01T11:29:30"}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm/6:1"), re("%e%"));
  b.fill([](const std::string&) { return false; }, 5500);
  int bad = 0;
  const std::vector<Frame> f = frames(b.held, bad);
  EXPECT_EQ(bad, 0);
  ASSERT_GE(f.size(), 3u) << b.held.size() << " bytes";
  for (std::size_t i = 0; i < f.size(); ++i) {
    EXPECT_EQ(f[i].type, 6) << i;
    EXPECT_EQ(f[i].words, 0) << i;
    EXPECT_GE(f[i].z, 2980) << i;
    EXPECT_LT(f[i].z, 2980 + 200) << i;
    EXPECT_EQ(f[i].seq, static_cast<int>(i % 8)) << i;
  }
  // One frame a whole second: the first second is the one multiple of 1000 ms in its Z-count.
  const long first = (f[0].z * 600L + 999) / 1000 * 1000;
  EXPECT_LT(first, f[0].z * 600L + 600);
  for (std::size_t i = 0; i < f.size(); ++i) EXPECT_EQ(f[i].z, (first + 1000L * static_cast<long>(i)) / 600) << i;
  ASSERT_EQ(ask("%d%dm,/dev/ser/b,rtcm"), re("%d%"));
  b.fill([](const std::string&) { return false; }, 1500);
  b.held.clear();
  b.fill([](const std::string&) { return false; }, 2500);
  EXPECT_TRUE(b.held.empty()) << b.held.size() << " bytes after dm";
}

// Type 15 asked every second comes every second once the channels hold their ionospheric delays:
// one message a second with the Z-count of that second, each with two data words for every two
// satellites (an odd one filled), read by the test's own parity-checking reader. (gpsd's
// gpsdecode reads such a stream only now and then: its packet sniffer takes six-of-eight bytes
// for the leaders of other protocols.)
TEST_F(Rtcm2Output, IonosphereAskedEverySecondComesEverySecond) {
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", nav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm/15:1"), re("%e%"));
  // The delays need a few epochs of both signals first.
  ASSERT_TRUE(b.fill([](const std::string& h) { return h.size() >= 5; }, 60000)) << "no type 15 in a minute";
  b.fill([](const std::string&) { return false; }, 8500);
  // The capture may begin inside a message: read at the alignment that finds the most frames.
  std::vector<Frame> f;
  for (std::size_t at = 0; at < 5; ++at) {
    int bad = 0;
    std::vector<Frame> g = frames(b.held.substr(at), bad);
    if (g.size() > f.size()) f = g;
  }
  ASSERT_GE(f.size(), 8u) << b.held.size() << " bytes";
  for (std::size_t i = 0; i < f.size(); ++i) {
    EXPECT_EQ(f[i].type, 15) << i;
    EXPECT_GT(f[i].words, 0) << i;
    if (i > 0) {
      // One second later: a Z-count step of 1 or 2 (0.6 s units), never more.
      const int step = (f[i].z - f[i - 1].z + 6000) % 6000;
      EXPECT_TRUE(step == 1 || step == 2) << i << ": " << f[i - 1].z << " to " << f[i].z;
    }
  }
}

}  // namespace
}  // namespace e2e
