// The time and ionosphere pages of a real day through the running program: beside the ephemerides
// of the RINEX 4 file, the board simulator broadcasts the pages that carry the file's offsets to
// UTC and its Klobuchar terms (GPS and QZSS LNAV page 18 of subframe 4, BeiDou D1 page 10 of
// subframe 5, NavIC messages 9 and 11), and the BeiDou-3 midi almanacs of B2a message 40. The
// program's decoders hand them to the satellite data store and the ionosphere stage, which keep
// them in the settings image: after a SIGTERM the image holds the file's values, within half a
// unit of each field's last bit, and the leap second the simulator announces for the end of the
// quarter in place of the file's (GLONASS by KP), which the time scales take at the next start. The same stream carries the GPS and QZSS differential
// corrections and offsets to other GNSS times (CNAV types 13, 14, 34, 35 on L5, CNAV-2 pages 2
// and 5) and NavIC message 14, which the decoders read and the store keeps nothing of: the UTC
// records, and Galileo's own offset to GPS time (which GPS type 35 tells from the other side),
// stay as the file has them. With the leap second at the end of the file's day the board's time
// scales insert it: the program's UTC steps back a second with them, and a start after it seeds
// the scales, and tells the board, with the new offset.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <thread>
#include <vector>

#include "e2e/harness.h"
#include "e2e/nav_rinex.h"

namespace e2e {
namespace {

class SimTimePages : public Rx {};

const std::string kBrd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
constexpr long kWeek = 604800;

using rinex::firstIon;
using rinex::firstSto;
using rinex::Ion;
using rinex::Sto;

// A Klobuchar block (tow, week, alpha 0..3, beta 0..3 as floats) against the file's terms, each
// within half a unit of its broadcast field (alpha 2^-30, 2^-27, 2^-24, 2^-24; beta 2^11, 2^14,
// 2^16, 2^16).
void expectKlobuchar(const std::string& d, const Ion& ion, const char* what) {
  ASSERT_GE(d.size(), 40u) << what << ": no Klobuchar block";
  ASSERT_GE(ion.v.size(), 8u) << what;
  const int alphaPow[4] = {-30, -27, -24, -24}, betaPow[4] = {11, 14, 16, 16};
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_NEAR(fieldAt<float>(d, 8 + 4 * k), ion.v[k], std::ldexp(0.5, alphaPow[k])) << what << " alpha" << k;
    EXPECT_NEAR(fieldAt<float>(d, 24 + 4 * k), ion.v[4 + k], std::ldexp(0.5, betaPow[k])) << what << " beta" << k;
  }
}

TEST_F(SimTimePages, UtcIonosphereAndAlmanacPagesOfEverySystemAreKeptAsTheFileHasThem) {
  // 13:02:18 UTC (GPS second of week 46 956) lies two LNAV frames before the UTC page of the
  // 12.5-min page cycle (frame 17); 8 s before the BeiDou D1 frame 5 of the 12-min cycle, so that
  // after an ephemeris come the health pages 7 and 8 (frames 6 and 7) and the UTC page 10
  // (frame 9); 36 s before a NavIC frame of messages 9 and 11: all within 160 s.
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--start", "2023-03-12T13:02:18", "--site", "22.3,114.2,50", "--sky",
                                    "--leap-second", "2023-03-31"}));
  ASSERT_NO_FATAL_FAILURE(start());
  std::this_thread::sleep_for(std::chrono::seconds(170));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  const std::string img = dir_.read(".gnss.nvm");
  const std::vector<std::string> lines = rinex::linesOf(rinex::gunzip(kBrd4));
  // The time scales start from the stored announcement.
  ASSERT_NO_FATAL_FAILURE(start());
  stop();

  // GPS: A0 2^-30 s, A1 2^-50 s/s, tot and WNt of the GPS-UTC record; the leap seconds of the
  // file's header (18 s) and the announced one (19 s from the end of Friday 31 March 2023, week
  // 2255 day 6); weeks are kept in 10 bits, WNLSF as the 8 bits broadcast widened to the nearest
  // week.
  const Sto gput = firstSto(lines, 'G', "GPUT");
  ASSERT_GE(gput.epoch, 0);
  const std::string g = blockData(img, 910);
  EXPECT_GE(g.size(), 23u) << "GPS UTC";
  EXPECT_EQ(fieldAt<std::uint32_t>(g, 0), static_cast<std::uint32_t>(gput.epoch % kWeek));
  EXPECT_NEAR(fieldAt<float>(g, 4), gput.a1, std::ldexp(0.5, -50));
  EXPECT_NEAR(fieldAt<double>(g, 8), gput.a0, std::ldexp(0.5, -30));
  EXPECT_EQ(fieldAt<std::uint16_t>(g, 16), gput.epoch / kWeek % 1024);
  EXPECT_EQ(fieldAt<std::uint16_t>(g, 18) % 256, 2255 % 256);
  EXPECT_EQ(fieldAt<std::uint8_t>(g, 20), 6);
  EXPECT_EQ(fieldAt<std::int8_t>(g, 21), 18);
  EXPECT_EQ(fieldAt<std::int8_t>(g, 22), 19);
  // GLONASS: the notice (KP 01) of string 14 in the UTC block's notice byte.
  EXPECT_EQ(fieldAt<std::uint8_t>(blockData(img, 911), 32), 1) << "GLONASS leap-second notice";
  const std::string gk = blockData(img, 2446, 0);
  expectKlobuchar(gk, firstIon(lines, 'G', "LNAV"), "GPS");
  EXPECT_EQ(fieldAt<std::uint32_t>(gk, 0), static_cast<std::uint32_t>(gput.epoch % kWeek));

  // QZSS: its UTC page carries the QZSS-UTC record of the file, its reference time cut to the
  // page's 4096-s units.
  const Sto qzut = firstSto(lines, 'J', "QZUT");
  ASSERT_GE(qzut.epoch, 0);
  const std::string q = blockData(img, 914);
  EXPECT_GE(q.size(), 23u) << "QZSS UTC";
  EXPECT_EQ(fieldAt<std::uint32_t>(q, 0), static_cast<std::uint32_t>(qzut.epoch % kWeek / 4096 * 4096));
  EXPECT_NEAR(fieldAt<double>(q, 8), qzut.a0, std::ldexp(0.5, -30));
  EXPECT_NEAR(fieldAt<float>(q, 4), qzut.a1, std::ldexp(0.5, -50));
  EXPECT_EQ(fieldAt<std::uint16_t>(q, 16), qzut.epoch / kWeek % 1024);
  EXPECT_EQ(fieldAt<std::int8_t>(q, 21), 18);
  expectKlobuchar(blockData(img, 2446, 1), firstIon(lines, 'J', "LNAV"), "QZSS");

  // BeiDou: A0UTC 2^-30 s and A1UTC 2^-50 s/s of the BDT-UTC record, in the BDT week of the
  // subframes (GPS week - 1356); the leap second told in BDT: 4 s, 5 from week 899 (8 bits 131),
  // day 5 (BeiDou counts from 0).
  const Sto bdut = firstSto(lines, 'C', "BDUT");
  ASSERT_GE(bdut.epoch, 0);
  const std::string c = blockData(img, 915);
  EXPECT_GE(c.size(), 23u) << "BeiDou UTC";
  EXPECT_NEAR(fieldAt<double>(c, 8), bdut.a0, std::ldexp(0.5, -30));
  EXPECT_NEAR(fieldAt<float>(c, 4), bdut.a1, std::ldexp(0.5, -50));
  EXPECT_EQ(fieldAt<std::uint16_t>(c, 16), 2253 - 1356);
  EXPECT_EQ(fieldAt<std::uint16_t>(c, 18) % 256, (2255 - 1356) % 256);
  EXPECT_EQ(fieldAt<std::uint8_t>(c, 20), 5);
  EXPECT_EQ(fieldAt<std::int8_t>(c, 21), 4);
  EXPECT_EQ(fieldAt<std::int8_t>(c, 22), 5);
  // The almanac's week and health: C06 (subframe 4 page 6, frame 5) came before page 8 of its
  // cycle, so its week is guessed from the subframe's and its health unknown (flags 3); C09
  // (frame 8) came after page 8, whose WNa it takes, while its health waits for a page 7 that
  // follows a page 8 (flags 2: no health).
  for (const auto& [prn, flags] : {std::pair{6, 3}, std::pair{9, 2}}) {
    const std::string a = blockData(img, 654 + 133 + static_cast<unsigned>(prn) - 1);
    EXPECT_GE(a.size(), 53u) << "C" << prn << " almanac";
    EXPECT_EQ(fieldAt<std::uint8_t>(a, 0), prn);
    EXPECT_EQ(fieldAt<std::int16_t>(a, 8), 2253 - 1356) << "C" << prn;
    EXPECT_EQ(fieldAt<std::uint8_t>(a, 52), flags) << "C" << prn;
  }

  // B2a message 40: the midi almanac of BeiDou-3 satellites (signal byte 32), the only almanac of
  // PRN 31 on; its sqrtA (2^-4) and e (2^-16) those of the satellite's CNV2 record of the hour (the
  // almanac's sqrtA folds in the mean-motion correction dn, below 0.1 here), its type by its orbit.
  std::map<std::string, const rinex::Record*> cnv2;
  const std::vector<rinex::Record> eph = rinex::readRinex4Gz(kBrd4);
  const long hour = rinex::epochSeconds("2023 03 12 13 00 00");
  for (const rinex::Record& r : eph)
    if (r.type == "CNV2" && (!cnv2.contains(r.sat) || std::labs(rinex::epochSeconds(r.epoch) - hour) <
                                                          std::labs(rinex::epochSeconds(cnv2[r.sat]->epoch) - hour)))
      cnv2[r.sat] = &r;
  int midi = 0;
  for (int prn = 31; prn <= 63; ++prn) {
    const std::string a = blockData(img, 654 + 133 + static_cast<unsigned>(prn) - 1);
    if (a.size() < 57 || fieldAt<std::uint8_t>(a, 56) != 32) continue;
    char sat[8];
    std::snprintf(sat, sizeof sat, "C%02d", prn);
    ASSERT_TRUE(cnv2.contains(sat)) << sat << ": a midi almanac of a satellite without CNV2 records";
    const rinex::Record& r = *cnv2[sat];
    EXPECT_EQ(fieldAt<std::uint8_t>(a, 0), prn);
    EXPECT_EQ(fieldAt<std::int16_t>(a, 8), 2253 - 1356) << sat;
    EXPECT_EQ(fieldAt<std::uint8_t>(a, 12), r.v[10] * r.v[10] < 35.0e6 ? 3 : 2) << sat;
    EXPECT_NEAR(fieldAt<float>(a, 24), r.v[10], 0.1 + 0.0625) << sat << " sqrtA";
    EXPECT_NEAR(fieldAt<float>(a, 28), r.v[8], std::ldexp(1.0, -16)) << sat << " e";
    ++midi;
  }
  EXPECT_GE(midi, 3) << "midi almanacs of BeiDou-3 satellites";

  // NavIC message 9: NavIC-UTC (A0 2^-35 s, A1 2^-51 s/s, A2 2^-68 s/s^2, t0 in 16-s units,
  // 10-bit NavIC weeks, which count from GPS week 1024) and the offset to GPS; message 11 its
  // Klobuchar terms.
  const Sto irut = firstSto(lines, 'I', "IRUT"), irgp = firstSto(lines, 'I', "IRGP");
  ASSERT_GE(irut.epoch, 0);
  ASSERT_GE(irgp.epoch, 0);
  const std::string i = blockData(img, 916);
  EXPECT_GE(i.size(), 51u) << "NavIC UTC";
  EXPECT_EQ(fieldAt<std::uint32_t>(i, 0), static_cast<std::uint32_t>(irut.epoch % kWeek));
  EXPECT_NEAR(fieldAt<double>(i, 8), irut.a0, std::ldexp(0.5, -35));
  EXPECT_NEAR(fieldAt<float>(i, 4), irut.a1, std::ldexp(0.5, -51));
  EXPECT_NEAR(fieldAt<float>(i, 28), irut.a2, std::ldexp(0.5, -68));
  EXPECT_EQ(fieldAt<std::uint16_t>(i, 16), irut.epoch / kWeek % 1024);
  EXPECT_EQ(fieldAt<std::uint16_t>(i, 18), 2255 % 1024);
  EXPECT_EQ(fieldAt<std::int8_t>(i, 21), 18);
  EXPECT_NEAR(fieldAt<float>(i, 32), irgp.a0, std::ldexp(0.5, -35));
  EXPECT_NEAR(fieldAt<float>(i, 36), irgp.a1, std::ldexp(0.5, -51));
  EXPECT_EQ(fieldAt<std::uint32_t>(i, 44), static_cast<std::uint32_t>(irgp.epoch % kWeek));
  EXPECT_EQ(fieldAt<std::uint16_t>(i, 48), irgp.epoch / kWeek % 1024);
  EXPECT_EQ(fieldAt<std::uint8_t>(i, 50), 0) << "the offset is to GPS";
  expectKlobuchar(blockData(img, 2526), firstIon(lines, 'I', "LNAV"), "NavIC");

  // Galileo: the offset to GPS of I/NAV word 10 (A0G 2^-35 s, A1G 2^-51 s/s, t0G in hours).
  const Sto gagp = firstSto(lines, 'E', "GAGP");
  ASSERT_GE(gagp.epoch, 0);
  const std::string e = blockData(img, 912);
  EXPECT_GE(e.size(), 39u) << "Galileo UTC";
  EXPECT_EQ(fieldAt<std::uint8_t>(e, 38), 1) << "the offset to GPS";
  EXPECT_NEAR(fieldAt<float>(e, 24), gagp.a0, std::ldexp(0.5, -35));
  EXPECT_NEAR(fieldAt<float>(e, 28), gagp.a1, std::ldexp(0.5, -51));
  EXPECT_EQ(fieldAt<std::uint32_t>(e, 32), static_cast<std::uint32_t>(gagp.epoch % kWeek / 3600 * 3600));
}

// The program's clock steps (ms) as it prints them.
std::vector<long> stepsOf(const std::string& out) {
  std::vector<long> ms;
  const std::string mark = "program clock stepped by ";
  for (std::size_t p = out.find(mark); p != std::string::npos; p = out.find(mark, p + 1))
    ms.push_back(std::atol(out.c_str() + p + mark.size()));
  return ms;
}

TEST_F(SimTimePages, TheBoardLivesThroughTheLeapSecondAndARestartAfterItStartsOnTheNewOffset) {
  // The leap at the end of the file's day: 23:59:60 UTC of 12 March 2023 (Sunday, DN 1), GPS second
  // 1362700818 since 1980. Galileo's word 6 announces it at 23:59:48 (GPS second 6 of its 30).
  const char* const kRtc = "host/sys/class/rtc/rtc0/since_epoch";
  constexpr long long kMidnight = 1678665600, kSince2000 = 946684800;  // 13 March 2023 00:00 UTC
  ASSERT_TRUE(dir_.write(kRtc, std::to_string(kMidnight - 40) + "\n"));
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--start", "2023-03-12T23:59:20", "--site", "22.3,114.2,50",
                                    "--leap-second", "2023-03-12"}));
  ASSERT_NO_FATAL_FAILURE(start());
  // Nothing stored: the board is told UTC with the default 18 s.
  EXPECT_TRUE(boardGets("set,raw/utc,{" + std::to_string(kMidnight - 40 - kSince2000) + ",18}")) << transcript();
  // The board's UTC falls back by the inserted second: the program's clock follows it with one
  // step of a second (the first step sets it from the machine's time to the simulator's).
  const auto steps = [&] { return stepsOf(rx_->out()); };
  ASSERT_TRUE(waitUntil([&] { return steps().size() >= 2; }, 90000)) << rx_->out();
  // Each step is measured at the moment the program read its epoch, which a busy machine delays
  // by up to some hundred ms; a step of 0 or 2 s stays far outside.
  EXPECT_NEAR(static_cast<double>(steps()[1]), -1000.0, 400.0);
  // Past 00:00:30 by the clock, outside the 30 s in which a start cannot tell the side of the leap.
  ASSERT_TRUE(waitUntil([&] { return std::atoll(dir_.read(kRtc).c_str()) >= kMidnight + 35; }, 90000));
  EXPECT_EQ(steps().size(), 2u) << rx_->out();
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  const long long rtc = std::atoll(dir_.read(kRtc).c_str());
  // Galileo's UTC parameters are kept with the announcement (18 s, 19 s).
  EXPECT_EQ(blockData(dir_.read(".gnss.nvm"), 912).substr(21, 2), "\x12\x13");
  // Started again from the clock and the stored announcement, now past: 19 s.
  const std::size_t from = transcript().size();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_TRUE(boardGets("set,raw/utc,{" + std::to_string(rtc - kSince2000) + ",19}", from))
      << transcript().substr(from, 400);
}

}  // namespace
}  // namespace e2e
