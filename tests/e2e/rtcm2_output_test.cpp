// The base station's RTCM 2 output on a serial port: "em" puts one null frame a second on
// dev/ser/b, each with the Z-count of the simulator's GPS time and the stream's sequence, every
// word's parity right (checked here by the IS-GPS-200 equations); "dm" stops them. (gpsd's
// gpsdecode does not lock onto a stream made of header-only frames: the unit oracle tests let it
// read null frames within longer streams.) GLONASS's measurement times in type 18 follow its
// offset to GPS time as the satellites broadcast it again with a new value.
#include <cstdlib>
#include <map>

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
  b.fill([](const std::string& h) { int bad = 0; return frames(h, bad).size() >= 4; }, 30000);
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
  // The capture may begin inside a message: read at the alignment that finds the most frames.
  const auto aligned = [](const std::string& h) {
    std::vector<Frame> f;
    for (std::size_t at = 0; at < 5 && at < h.size(); ++at) {
      int bad = 0;
      std::vector<Frame> g = frames(h.substr(at), bad);
      if (g.size() > f.size()) f = g;
    }
    return f;
  };
  b.fill([&](const std::string& h) { return aligned(h).size() >= 9; }, 60000);
  const std::vector<Frame> f = aligned(b.held);
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

// The characters of a text message's data words, three a word, up to the first zero.
std::string textOf(const Frame& f) {
  std::string t;
  for (std::uint32_t w : f.data)
    for (int k = 2; k >= 0; --k) {
      const char c = static_cast<char>((w >> (8 * k)) & 0xFF);
      if (c == 0) return t;
      t += c;
    }
  return t;
}

// Types 16 and 36 carry the texts of their keys, three characters a data word (read back by the
// test's parity-checking reader); a text longer than 90 characters is refused, and with no text
// neither message goes out. The texts are stored.
TEST_F(Rtcm2Output, TextsOfTheirKeysGoOutAsTypes16And36) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--start", "2024-06-01T11:29:30"}));
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string t16 = "BASE 22, ON THE ROOF", t36 = std::string(90, 'G');
  EXPECT_EQ(ask("%1%set,/par/rtcm/base/text16,\"" + t16 + "\""), re("%1%"));
  EXPECT_EQ(ask("%2%set,/par/rtcm/base/text36," + t36), re("%2%"));
  EXPECT_EQ(ask("%3%set,/par/rtcm/base/text36," + std::string(91, 'x')).rfind("ER", 0), 0u);
  EXPECT_EQ(ask("print,/par/rtcm/base/text16"), re(t16));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/rtcm/base/text36"), re(t36));
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm/{16,36}:1"), re("%e%"));
  ASSERT_TRUE(b.fill([](const std::string& h) { return h.size() >= 400; }, 10000)) << b.held.size() << " bytes";
  int bad = 0;
  const std::vector<Frame> f = frames(b.held, bad);
  EXPECT_EQ(bad, 0);
  int n16 = 0, n36 = 0;
  for (const Frame& x : f) {
    EXPECT_TRUE(x.type == 16 || x.type == 36) << x.type;
    EXPECT_EQ(x.words, x.type == 16 ? 7 : 30) << x.type;
    EXPECT_EQ(textOf(x), x.type == 16 ? t16 : t36);
    (x.type == 16 ? n16 : n36)++;
  }
  EXPECT_GE(n16, 1);
  EXPECT_GE(n36, 1);
  // An empty text: type 16 no more.
  EXPECT_EQ(ask("%t%set,/par/rtcm/base/text16,"), re("%t%"));
  b.fill([](const std::string&) { return false; }, 1500);
  b.held.clear();
  b.fill([](const std::string&) { return false; }, 2500);
  bad = 0;
  for (const Frame& x : frames(b.held, bad)) EXPECT_EQ(x.type, 36);
}

// GLONASS's offset to GPS time broadcast again within its day with a value 20 us larger
// (--offset-change): the store takes it, and the base's clock solution, which starts
// every system's offset from the broadcast one and smooths what its measurements add over 10 s,
// shows it at once. Types 18 carry each system's measurement time less that system's receiver
// clock: GLONASS's moves from GPS's (18 s apart within the hour, GLONASS counting UTC) by most
// of the 20 us at the change, and by no more than a microsecond's rounding before it.
TEST_F(Rtcm2Output, GlonassTimesFollowATauGpsBroadcastAgainWithANewValue) {
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", nav, "--start", "2023-03-12T10:00:00", "--site", "22.3,114.2,50", "--sky",
                                    "--offset-change", "R:110:20000"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%k%set,/par/pos/ref/known/geo,{22.3,114.2,50}"), re("%k%"));
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm/18:1"), re("%e%"));
  // GLONASS joins the clock solution once the almanacs of the superframe that begins at 10:00:00
  // confirm its satellites (about 100 s); the new value comes in the first L3 string 1 or FDMA
  // string 5 after 110 s (within 30 s). Z-counts are of the GPS hour (0.6 s units).
  constexpr long kHourUs = 3600000000L, kChangeZ = (18 + 110) * 10 / 6;
  b.fill([](const std::string&) { return false; }, 155000);
  int bad = 0;
  std::map<int, long> gps, glo;  // L1 measurement time (us in the hour) by the GPS Z-count
  int lastGpsZ = -1;
  for (const Frame& f : frames(b.held, bad)) {
    if (f.type != 18 || f.data.size() < 2 || (f.first >> 20) != 0) continue;
    const long t = f.z * 600000L + (f.first & 0xFFFFF);
    if ((f.data[1] >> 21 & 1) == 0) lastGpsZ = f.z, gps[f.z] = t;
    else if (lastGpsZ >= 0) glo[lastGpsZ] = t;
  }
  // The largest step of GLONASS's time less GPS's (us) between epochs, before the change and after.
  long step[2] = {0, 0}, last = 0;
  std::string series;
  for (const auto& [z, t] : glo) {
    if (!gps.contains(z)) continue;
    const long d = ((gps[z] - t) % kHourUs + kHourUs) % kHourUs - 18000000L;
    if (!series.empty()) step[z >= kChangeZ] = std::max(step[z >= kChangeZ], std::labs(d - last));
    last = d;
    series += " " + std::to_string(z) + ":" + std::to_string(d);
  }
  ASSERT_GE(glo.size(), 30u) << series;
  EXPECT_LE(step[0], 2) << series;
  EXPECT_GE(step[1], 10) << series;
}

}  // namespace
}  // namespace e2e
