// An SBAS GEO of the board simulator's own (PRN 133 over the site's meridian) through the real
// program: each second one L1 message (DO-229D: mask, fast corrections, integrity MT6,
// degradation, GEO navigation MT9, long-term corrections MT25 with GLONASS slots, network time
// MT12, GEO almanacs MT17, service MT27) and one L5 DFMC message (ED-259: mask MT31,
// corrections MT32, DFRE changes MT34, DFREIs MT35/36, degradation MT37), as "WD" records of kind
// 0 and 1. What the decoders keep shows in the settings image after a restart, against the
// geometry of a geostationary orbit and the values the simulator writes:
//   - the L1 mask block of the GEO (IODP 1: GPS 1-32, GLONASS slots 1-8, PRN 133) and its L5 mask
//     block (IODM 2: GPS 1-32, PRN 133);
//   - the GEO's ephemeris (MT9: the state at 42164169 m on the meridian, to the 0.08 m and 0.4 m
//     of its fields), both GEOs' almanacs (MT17: to the 2600 m of its fields) and the SBAS UTC
//     parameters (MT12);
//   - in test mode (an empty MT0 from some second on) the L1 decoder drops the masks and the
//     GEO navigation from then on, but still takes network time and almanacs.
// With each wide-area service chosen by its key and the simulator's GPS sky, the correction
// stage asks the SBAS or DFMC generator for the GEO's corrections every correction epoch; QZSS
// PRN 184 sends the same DFMC content as L5S messages.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "e2e/harness.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

using SbasGeo = Rx;

constexpr double kLat = 35.8729, kLon = 138.3900, kHeight = 944.5;
constexpr int kPrn = 133, kSi = kPrn - 120;
constexpr unsigned kL1MaskBlock = 256 + kSi, kL5MaskBlock = 1280 + kSi;
constexpr unsigned kEphBlock = 398 + 83 + kSi, kAlmBlock = 654 + 98, kUtcBlock = 910 + 3;
// 06:01:40 UTC on 2008-05-26, 06:01:58 GPS time for the simulator: second 108118 of week 1481.
constexpr int kWeek = 1481, kStartTow = 108118;

double f64(const std::string& s, std::size_t at) {
  double v;
  std::memcpy(&v, s.data() + at, sizeof v);
  return v;
}
float f32(const std::string& s, std::size_t at) {
  float v;
  std::memcpy(&v, s.data() + at, sizeof v);
  return v;
}

// The data of block `id` of the image, empty when the block is absent or not valid.
std::string blockData(const std::string& img, unsigned id, std::size_t size) {
  const long off = blockOffset(img, id);
  if (off < 0 || (static_cast<unsigned char>(img[static_cast<std::size_t>(off) + 5]) & 0x80) == 0) return "";
  return img.substr(static_cast<std::size_t>(off) + 6, size);
}

// A GEO on the equator at `lonDeg`.
void geo(double lonDeg, double p[3]) {
  const double r = 42164169.0, l = lonDeg * M_PI / 180;
  p[0] = r * std::cos(l), p[1] = r * std::sin(l), p[2] = 0;
}

void expectMask(const std::string& rec, const std::uint32_t (&words)[7], const char* what) {
  for (int w = 0; w < 7; ++w) EXPECT_EQ(le32(rec, 8 + 4 * static_cast<std::size_t>(w)), words[w]) << what << " word " << w;
}

struct Row {
  const char* name;
  int testAfter;  // s after the first epoch, -1 never
  int runS;
};

TEST_F(SbasGeo, OwnGeoMessagesReachTheStoreAndTheImage) {
  const Row rows[] = {{"service", -1, 28}, {"test mode after 14 s", 14, 40}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    fresh();
    char site[64];
    std::snprintf(site, sizeof site, "%.4f,%.4f,%.1f", kLat, kLon, kHeight);
    std::vector<std::string> args = {"--sbas-geo", std::to_string(kPrn), "--site", site, "--start", "2008-05-26T06:01:40"};
    if (row.testAfter >= 0) args.insert(args.end(), {"--sbas-test-after", std::to_string(row.testAfter)});
    ASSERT_NO_FATAL_FAILURE(startSim(args));
    ASSERT_NO_FATAL_FAILURE(start());
    std::this_thread::sleep_for(std::chrono::seconds(row.runS));
    ASSERT_TRUE(rx_->running()) << rx_->out();
    // The receiver's SBAS time hints: the day since the GPS epoch and the ms of day at which the
    // last state was received.
    long day = 0, ms = 0;
    const std::string hint = ask("print,/par/pos/hint/sbas");
    ASSERT_EQ(std::sscanf(hint.c_str() + std::min<std::size_t>(5, hint.size()), "{%ld,%ld}", &day, &ms), 2) << hint;
    EXPECT_EQ(day, kWeek * 7L + kStartTow / 86400);
    EXPECT_GE(ms, (kStartTow % 86400) * 1000L);
    EXPECT_LE(ms, ((kStartTow + row.runS + 30) % 86400) * 1000L);
    restart();
    const std::string img = dir_.read(".gnss.nvm");
    const int endTow = kStartTow + row.runS + 30;  // the streamed epochs cannot outrun the wall clock much

    // L1 mask: GPS 1-32 (word 0), GLONASS slots 1-8 (bits 38-45), PRN 133 (bit 133).
    std::uint32_t l1[7] = {0xFFFFFFFFu, 0, 0, 0, 0, 0, 0};
    for (int b = 38; b <= 45; ++b) l1[(b - 1) / 32] |= 1u << (31 - (b - 1) % 32);
    l1[(kPrn - 1) / 32] |= 1u << (31 - (kPrn - 1) % 32);
    const std::string mask = blockData(img, kL1MaskBlock, 72);
    ASSERT_EQ(mask.size(), 72u) << "no L1 mask of PRN 133";
    bool found = false;
    for (std::size_t r = 0; r < 2; ++r) {
      const std::string rec = mask.substr(36 * r, 36);
      if (static_cast<unsigned char>(rec[0]) != 1) continue;
      found = true;
      expectMask(rec, l1, "L1");
      EXPECT_EQ(le32(rec, 0) >> 16, static_cast<unsigned>(kWeek));
      const std::uint32_t tag = le32(rec, 4) / 1000;
      // A mask each 12 s; in test mode every one is dropped, the last kept is from before it.
      if (row.testAfter < 0) {
        EXPECT_GE(tag, static_cast<std::uint32_t>(kStartTow + row.runS - 13));
      } else {
        EXPECT_LE(tag, static_cast<std::uint32_t>(kStartTow + row.testAfter)) << "a mask taken in test mode";
      }
    }
    EXPECT_TRUE(found) << "no L1 mask record of IODP 1";

    // L5 mask in the place of IODM 2: GPS 1-32 and PRN 133.
    std::uint32_t l5[7] = {0xFFFFFFFFu, 0, 0, 0, 0, 0, 0};
    l5[(kPrn - 1) / 32] |= 1u << (31 - (kPrn - 1) % 32);
    const std::string dfmc = blockData(img, kL5MaskBlock, 144);
    ASSERT_EQ(dfmc.size(), 144u) << "no L5 mask of PRN 133";
    const std::string rec5 = dfmc.substr(36 * 2, 36);
    EXPECT_EQ(static_cast<unsigned char>(rec5[0]), 2);
    expectMask(rec5, l5, "L5");

    // GEO navigation: the state of a GEO over the site's meridian.
    double p[3];
    geo(kLon, p);
    const std::string eph = blockData(img, kEphBlock, 72);
    ASSERT_EQ(eph.size(), 72u) << "no ephemeris of PRN 133";
    EXPECT_EQ(static_cast<unsigned char>(eph[0]), kPrn);
    EXPECT_NEAR(f64(eph, 8), p[0], 0.04);
    EXPECT_NEAR(f64(eph, 16), p[1], 0.04);
    EXPECT_NEAR(f64(eph, 24), p[2], 0.2);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(f32(eph, 32 + 4 * static_cast<std::size_t>(i)), 0.0f) << "velocity " << i;
    EXPECT_NEAR(f32(eph, 56), 5 * std::ldexp(1.0, -31), 1e-15);
    EXPECT_NEAR(f32(eph, 60), -2 * std::ldexp(1.0, -40), 1e-18);
    const std::uint32_t t0 = le32(eph, 4);
    EXPECT_EQ(t0 % 16, 0u);
    // A state each 12 s with t0 on the 16 s before it; none taken in test mode.
    if (row.testAfter < 0) {
      EXPECT_GE(t0, static_cast<std::uint32_t>((kStartTow + row.runS - 13 - 16) % 86400));
    } else {
      EXPECT_LE(t0, static_cast<std::uint32_t>((kStartTow + row.testAfter) % 86400)) << "a state taken in test mode";
    }
    EXPECT_LE(t0, static_cast<std::uint32_t>(endTow % 86400));

    // Almanacs of PRN 133 and of the GEO 60 degrees east, PRN 134, healthy.
    for (int k = 0; k < 2; ++k) {
      SCOPED_TRACE(kPrn + k);
      const std::string alm = blockData(img, kAlmBlock + static_cast<unsigned>(kSi + k), 56);
      ASSERT_EQ(alm.size(), 56u) << "no almanac";
      EXPECT_EQ(static_cast<unsigned char>(alm[0]), kPrn + k);
      EXPECT_EQ(static_cast<unsigned char>(alm[1]), 0);
      geo(kLon + 60.0 * k, p);
      for (int i = 0; i < 3; ++i) EXPECT_NEAR(f64(alm, 8 + 8 * static_cast<std::size_t>(i)), p[i], i < 2 ? 1300.0 : 13000.0) << i;
      EXPECT_EQ(le32(alm, 48) & 0xFFFF, static_cast<unsigned>(kWeek));
    }

    // Network time: A0, A1, the leap seconds, both 8-bit weeks widened to the 10-bit week of the
    // receiver's time (as the LNAV UTC parameters are kept).
    const std::string utc = blockData(img, kUtcBlock, 40);
    ASSERT_EQ(utc.size(), 40u) << "no SBAS UTC parameters";
    EXPECT_DOUBLE_EQ(f64(utc, 8), -12 * std::ldexp(1.0, -30));
    EXPECT_FLOAT_EQ(f32(utc, 4), static_cast<float>(3 * std::ldexp(1.0, -50)));
    EXPECT_EQ(le32(utc, 16) & 0xFFFF, static_cast<unsigned>(kWeek % 1024));
    EXPECT_EQ(le32(utc, 18) & 0xFFFF, static_cast<unsigned>(kWeek % 1024));
    EXPECT_EQ(static_cast<unsigned char>(utc[20]), 7);
    EXPECT_EQ(static_cast<signed char>(utc[21]), 18);
    EXPECT_EQ(static_cast<signed char>(utc[22]), 18);
  }
}

TEST_F(SbasGeo, EachWideAreaServiceRunsWithTheGeoAsItsSource) {
  ASSERT_TRUE(crescentRecording(dir_)) << "convbin (Debian rtklib) is required: run scripts/setup";
  char site[64];
  std::snprintf(site, sizeof site, "%.4f,%.4f,%.1f", kLat, kLon, kHeight);
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", dir_.file("c.nav"), "--sky", "--site", site, "--sbas-geo",
                                    std::to_string(kPrn), "--qzss-l5s", "184", "--start", "2008-05-26T06:01:40"}));
  ASSERT_NO_FATAL_FAILURE(start());
  // A cycle of each service first, then each choice for a few correction epochs: the SBAS
  // service in precision approach (its MT27 region chosen by the position), the dual-frequency
  // one en route and in precision approach (with the MT37 degradation).
  std::this_thread::sleep_for(std::chrono::seconds(14));
  const std::pair<const char*, const char*> rows[] = {{"sbas", "pa"}, {"dfmc", "route"}, {"dfmc", "pa"}};
  for (const auto& [sel, mode] : rows) {
    SCOPED_TRACE(std::string(sel) + " " + mode);
    ASSERT_EQ(ask(std::string("%s%set,/par/pos/wd/sel,") + sel), re("%s%"));
    ASSERT_EQ(ask(std::string("%m%set,/par/pos/wd/sbas/mode,") + mode), re("%m%"));
    std::this_thread::sleep_for(std::chrono::seconds(8));
    ASSERT_TRUE(rx_->running()) << rx_->out();
    EXPECT_EQ(ask("%p%print,/par/pos/wd/sel"), re(std::string("%p%") + sel));
  }
  restart();
}

// At 80.5 degrees north, under the sky of a whole constellation, the GEO over the meridian stands
// 0.8 degrees high, and every other second carries the ionosphere grid of the polar band 9 (its
// mask and 13 blocks of delays). With that GEO allowed as a source down to the horizon and the
// wide-area ionosphere on, each correction epoch interpolates the delays at the pierce points of
// the sky north of 75 degrees and across the pole, where the cells reach the 85-degree row and
// the points around the pole.
TEST_F(SbasGeo, PolarBandGridServesASiteFarNorth) {
  // The broadcast of every GPS satellite of 2023-03-12: some are always across the pole.
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", nav, "--sky", "--site", "80.5000,15.6267,40.0", "--sbas-geo",
                                    std::to_string(kPrn), "--start", "2023-03-12T10:00:00"}));
  ASSERT_NO_FATAL_FAILURE(start());
  for (const auto& [key, value] : {std::pair{"pos/wd/sel", "sbas"}, std::pair{"pos/iono/wd", "on"},
                                   std::pair{"pos/wd/elm", "0"}, std::pair{"pos/wd/sbas/mode", "route"}})
    ASSERT_EQ(ask(std::string("%k%set,/par/") + key + "," + value), re("%k%")) << key;
  for (int s = 0; s < 36; s += 6) {
    std::this_thread::sleep_for(std::chrono::seconds(6));
    ASSERT_TRUE(rx_->running()) << rx_->out();
    EXPECT_EQ(ask("%v%print,/par/rcv/ver").substr(0, 2), "RE") << "after " << s + 6 << " s";
  }
  restart();
}

}  // namespace
}  // namespace e2e
