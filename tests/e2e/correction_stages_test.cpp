// Every choice of the correction stages, made by its key in the running program over a real
// pass: the Crescent recording of 2008-05-26 (RTKLIB's test data), turned by Debian's convbin into
// its GPS ephemerides and its MSAS message log, which the board simulator broadcasts at the
// recording's antenna with the sky it measures. The log also carries, from QZSS PRN 183, a SLAS
// monitoring station beside the antenna with its PRN mask, issues of data and corrections
// (IS-QZSS-L1S message types 47 to 50). Port C in input mode rtcm takes an RTCM 2 reference
// station's position (type 3), code corrections (type 1), delta corrections (type 2) and health
// (type 5) each second, and port D in input mode
// gbas a ground station's corrections of the pass's satellites, its position and an approach
// (Types 1, 2 and 4). Each row switches a stage or its model by key and
// lets the correction epochs run a few seconds under the sanitizers, the program answering
// throughout. These stages publish into records no output reads (the position comes from the
// board), so what runs is shown by scripts/reach; the ionosphere models are shown through the TEC
// calibration in correction_chain_test.cpp. The SLAS station's corrections are read from the
// correction epochs' debug lines (selector 199) in a row of their own: from four sources, and
// cleared when an SBAS decoder is taken over by another source.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>
#include <utility>
#include <vector>

#include "e2e/harness.h"
#include "e2e/tools.h"
#include "e2e/rtcm2_words.h"
#include "unit/gbas_messages.h"
#include "unit/positioning/slas_messages.h"

namespace e2e {
namespace {

using CorrectionStages = Rx;

constexpr double kLat = 35.8729, kLon = 138.3900, kHeight = 944.5;  // the recording's antenna

// The issue of data of each satellite's ephemeris in a RINEX 2 navigation file: the first value of
// each record's second line.
std::vector<std::pair<int, int>> issues(const std::string& nav) {
  std::vector<std::pair<int, int>> out;
  const std::size_t end = nav.find("END OF HEADER");
  if (end == std::string::npos) return out;
  std::istringstream in(nav.substr(nav.find('\n', end) + 1));
  std::string first, second;
  while (std::getline(in, first) && std::getline(in, second)) {
    for (char& ch : second) ch = ch == 'D' ? 'E' : ch;
    out.emplace_back(std::atoi(first.substr(0, 2).c_str()), static_cast<int>(std::lround(std::atof(second.c_str()))));
    for (int i = 0; i < 6 && std::getline(in, first); ++i) {
    }
  }
  return out;
}

// A second of a GBAS ground station "JGBS" 1 km north of the antenna (RTCA DO-246 as ICAO Annex 10
// Attachment D lays it out): Type 1 with a correction of each satellite of the pass under its
// issue of data, dated by modified Z-count `z` (0.1 s within 20 minutes); Type 2 with the
// station's position (0.0005 arc seconds, 0.01 m) and additional block 1 (reference station
// data selector 5, no use distance limit); Type 4 with an approach of path selector 7.
std::string gbasSecond(int z, const std::vector<std::pair<int, int>>& sats) {
  using namespace gbastest;
  std::vector<Meas> blocks;
  for (const auto& [prn, iod] : sats) blocks.push_back({prn, iod & 0xFF, 150 - 10 * prn, 5, 40, 1, -1, 2, -2});
  const std::int64_t lat = std::llround((kLat + 0.009) * 3600.0 / 0.0005);
  const std::int64_t lon = std::llround(kLon * 3600.0 / 0.0005);
  const Fas fas{0, 15, "RJAF", 18, 0, 1, 0, 7, "G18A", lat - 20000, lon, 6000, 1000, -2000, 1000, 1, 300, 100, 10, 100, 200};
  const std::vector<std::vector<std::uint8_t>> msgs = {
      gbastest::frame(170, "JGBS", 1, type1Body(z, 0, static_cast<int>(blocks.size()), 0, 0, 0, 255, blocks)),
      gbastest::frame(170, "JGBS", 2, type2Body({1, 1, 1, 0, 0, -7, 1, 20, lat, lon, std::llround(kHeight * 100.0)}, {5, 0, 34, 35, 36, 37})),
      gbastest::frame(170, "JGBS", 4, dataSet(fas))};
  std::string out;
  for (const auto& m : msgs) out.append(m.begin(), m.end());
  return out;
}

// A second of an RTCM 2 reference station 2 km east of the antenna (station 100): its position
// (type 3, 0.01 m), a code correction of every GPS satellite (type 1, two messages of 16:
// scale 0, UDRE 0, the satellite, PRC 0.02 m, RRC 0.002 m/s, IOD), the delta corrections of the
// first 16 for the issue before (type 2, as type 1) and their health (type 5: the satellite,
// issue-of-data link, health 0, C/N0 code, health enable, new data, loss warning, time to
// unhealthy).
std::string rtcm2Second(rtcm2words::Writer& w, int z, int& seq) {
  using rtcm2words::bitsOf;
  double p[3];
  ecefOf(kLat, kLon + 0.022, kHeight, p);
  std::string pos;
  for (double c : p) pos += bitsOf(std::llround(c * 100.0), 32);
  w.bytes.clear();
  w.frame(3, 100, z, seq++, pos);
  for (int half = 0; half < 2; ++half) {
    std::string d;
    for (int prn = 1 + 16 * half; prn <= 16 + 16 * half; ++prn)
      d += "0" + bitsOf(0, 2) + bitsOf(prn & 31, 5) + bitsOf(50 * prn - 800, 16) + bitsOf(prn % 5 - 2, 8) + bitsOf(0, 8);
    w.frame(1, 100, z, seq++, d);
  }
  std::string delta, health;
  for (int prn = 1; prn <= 16; ++prn) {
    delta += "0" + bitsOf(0, 2) + bitsOf(prn & 31, 5) + bitsOf(prn - 8, 16) + bitsOf(0, 8) + bitsOf(255, 8);
    health += "0" + bitsOf(prn, 5) + "1" + bitsOf(0, 3) + bitsOf(20 + prn % 8, 5) + "1" + "0" + "0" + bitsOf(0, 4) + "00";
  }
  w.frame(2, 100, z, seq++, delta);
  w.frame(5, 100, z, seq++, health);
  return w.bytes;
}

// The SBAS message log of the pass with a SLAS station beside the antenna (code 0, 0.005 degree
// units, longitude east of 115 degrees, height in 50 m above -100 m) for `seconds` from the log's
// first second: mask 0 of GPS 1 to 23, their issues of data and fourteen corrections, GPS 1 to
// 14 in turn -70, -60, ... 60 (0.04 m units). Message types 47, 48, 49 and 50 each come from the
// QZSS PRN of `prns` in that order.
constexpr int kSlasTypes[4] = {47, 48, 49, 50};
int slasCorrectionCode(int prn) { return 10 * (prn - 1) - 70; }
std::string slasLines(const std::string& sbsLog, const std::array<int, 4>& prns, int seconds) {
  using namespace slastest;
  int week = 0, tow = 0;
  if (std::sscanf(sbsLog.c_str(), "%d %d", &week, &tow) != 2) return "";
  std::vector<int> gps, slots, iods, corr;
  for (int n = 1; n <= 23; ++n) gps.push_back(n), slots.push_back(n - 1), iods.push_back(0);
  for (int k = 0; k < 14; ++k) corr.push_back(slasCorrectionCode(k + 1));
  const Msg msgs[] = {
      mt47({{0, static_cast<int>(std::lround(kLat / 0.005)), static_cast<int>(std::lround((kLon - 115.0) / 0.005)),
             static_cast<int>(std::lround((kHeight + 100.0) / 50.0))}}),
      mt48(0, MaskBits{gps, {}, {}, {}, {}}), mt49(0, 0, slots, iods), mt50(0, 0, 0, 0, slots, corr)};
  std::string out;
  for (int t = tow; t < tow + seconds; ++t) {
    for (int i = 0; i < 4; ++i) {
      char line[128];
      int n = std::snprintf(line, sizeof line, "%d %d %d %d : ", week, t, prns[i], kSlasTypes[i]);
      for (std::uint8_t byte : msgs[i]) n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "%02X", byte);
      out += std::string(line) + "\n";
    }
  }
  return out;
}

TEST_F(CorrectionStages, EveryStageChoiceRunsOverAPass) {
  ASSERT_TRUE(crescentRecording(dir_)) << "convbin (Debian rtklib) is required: run scripts/setup";
  const std::string sbs = dir_.read("c.sbs");
  const std::string slas = slasLines(sbs, {183, 183, 183, 183}, 600);
  ASSERT_FALSE(slas.empty());
  ASSERT_TRUE(dir_.write("cs.sbs", sbs + slas));
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", dir_.file("c.nav"), "--sky", "--site", "35.8729,138.3900,944.5", "--sbas",
                                    dir_.file("cs.sbs"), "--start", "2008-05-26T06:01:40"}));
  ASSERT_NO_FATAL_FAILURE(start());
  // The stream began at 06:01:40 UTC, 06:01:54 GPS time, about when the program was up.
  const auto started = std::chrono::steady_clock::now();
  // An RTCM 2 station on C (its corrections kept an hour, so the Z-count need only be near), a
  // GBAS receiver on D.
  ASSERT_EQ(ask("%1%set,/par/pos/cd/timeout/range,3600"), re("%1%"));
  ASSERT_EQ(ask("%3%set,/par/dev/ser/c/imode,rtcm"), re("%3%"));
  ASSERT_EQ(ask("%4%set,/par/dev/ser/d/imode,gbas"), re("%4%"));
  Port c(dir_.file("dev/ser/c")), d(dir_.file("dev/ser/d"));
  ASSERT_TRUE(c.ok() && d.ok());
  const std::vector<std::pair<int, int>> sats = issues(dir_.read("c.nav"));
  ASSERT_GE(sats.size(), 4u) << "the pass's ephemerides";
  // The sky is established once the ionosphere stage corrects it: the TEC calibration (block
  // 8334 of the settings image, its first system's mean at byte 8) takes its first sample.
  ASSERT_EQ(ask("%2%set,/par/pos/tec/calib,on"), re("%2%"));
  ASSERT_TRUE(waitUntil(
      [&] {
        const std::string img = dir_.read(".gnss.nvm");
        const long at = blockOffset(img, 8334);
        double mean = 0.0;
        if (at >= 0 && static_cast<std::size_t>(at) + 6 + 16 <= img.size()) std::memcpy(&mean, img.data() + at + 6 + 8, 8);
        return mean != 0.0;
      },
      120000))
      << "the pass's satellites never entered the correction request";
  rtcm2words::Writer rtcm;
  int seq = 0;
  {
    // The writer's frames read back by the reader of rtcm2_words.h.
    rtcm2words::Writer probe;
    int probeSeq = 0, bad = 0;
    const std::vector<rtcm2words::Frame> f = rtcm2words::frames(rtcm2Second(probe, 190, probeSeq), bad);
    EXPECT_EQ(bad, 0);
    ASSERT_EQ(f.size(), 5u);
    EXPECT_TRUE(f[0].type == 3 && f[0].words == 4 && f[1].type == 1 && f[1].words == 27 && f[2].type == 1);
    EXPECT_TRUE(f[0].station == 100 && f[2].z == 190 && f[2].seq == 2);
    EXPECT_TRUE(f[3].type == 2 && f[3].words == 27 && f[4].type == 5 && f[4].words == 16);
  }

  using Keys = std::vector<std::pair<const char*, const char*>>;
  const Keys rows[] = {
      // The SBAS service of the MSAS GEOs with their ionosphere grid, first: the grid's masks and
      // delays come every few minutes, and the rows below leave the service as it is.
      {{"pos/wd/sel", "sbas"}, {"pos/iono/wd", "on"}, {"pos/wd/sbas/mode", "route"}},
      // The code-differential stage: the RTCM 2 station by each choice, then SLAS.
      {{"pos/cd/src", "rtcm"}, {"pos/cd/mode", "near"}},
      {{"pos/cd/mode", "fixed"}, {"pos/cd/id", "100"}},
      {{"pos/cd/mode", "best"}},
      {{"pos/cd/mode", "first"}},
      {{"pos/cd/mode", "blend"}},
      {{"pos/cd/src", "slas"}, {"pos/cd/slas/health", "on"}},
      {{"pos/cd/src", "off"}},
      // The GBAS stage by each choice of the ground station, with and without the CRC check.
      {{"gbas/mode", "id"}, {"gbas/id", "JGBS"}, {"gbas/ephcrc", "waive"}},
      {{"gbas/mode", "path"}, {"gbas/rpds", "7"}},
      {{"gbas/mode", "rsds"}, {"gbas/rsds", "5"}},
      {{"gbas/ephcrc", "check"}},
      // The troposphere models (their key is the RTK settings').
      {{"pos/pd/tropom/model", "gpsdef"}},
      {{"pos/pd/tropom/model", "gcat"}},
      {{"pos/pd/tropom/model", "niell"}},
      {{"pos/pd/tropom/model", "unb4"}},
      {{"pos/pd/tropom/model", "goadgood"}, {"pos/pd/tropom/meteo/user/mode", "on"}},
      {{"pos/tropo/map/user", "on"}, {"pos/tropo/map/type", "chao"}},
      {{"pos/tropo/map/type", "niell"}},
      {{"pos/tropo/map/type", "goadgood"}},
      {{"pos/tropo/map/type", "black"}, {"pos/tropo/map/user", "off"}},
      {{"pos/pd/tropom/model", "unb3"}},
      // The Klobuchar model of each system (BeiDou's in its own form), from the user's model while
      // none is broadcast.
      {{"pos/iono/klob", "comp"}},
      {{"pos/iono/klob", "qzss"}},
      {{"pos/iono/klob", "irnss"}},
      {{"pos/iono/klob", "gps"}},
      // BDGIM corrects once a BeiDou B-CNAV model has been broadcast (the pass has none).
      {{"pos/iono/model", "bdgim"}},
      {{"pos/iono/model", "klob"}},
      // The wide-area stage: each source rule and operating mode, then every other service.
      {{"pos/wd/rule", "fixed"}, {"pos/wd/prn", "129"}},
      {{"pos/wd/rule", "first"}},
      {{"pos/wd/rule", "blend"}, {"pos/wd/smooth/iono", "10"}},
      {{"pos/wd/sbas/mode", "pa"}},
      {{"pos/wd/sbas/mode", "user"}, {"pos/wd/rule", "best"}},
      {{"pos/wd/sel", "qzss"}},
      {{"pos/wd/sel", "irnss"}},
      {{"pos/wd/sel", "dfmc"}, {"pos/wd/dfmc/dnu", "on"}},
      {{"pos/wd/sel", "comp"}},
      {{"pos/wd/sel", "ssr"}},
      {{"pos/wd/sel", "off"}, {"pos/iono/wd", "off"}},
  };
  int row = 0;
  for (const Keys& keys : rows) {
    ++row;
    for (const auto& [k, v] : keys) {
      ASSERT_EQ(ask(std::string("%k%set,/par/") + k + "," + v), re("%k%")) << "row " << row << ": " << k;
    }
    // A few correction epochs, the stations' messages once a second: the pass's GPS time is
    // 114 s into the hour at the start, the RTCM 2 Z-count in 0.6 s.
    for (int s = 0; s < 3; ++s) {
      const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
      // A second behind rather than ahead: the GBAS corrections are taken 2 s early at most.
      const double hourSec = 114.0 + elapsed - 1.0;
      ASSERT_TRUE(c.sendRaw(rtcm2Second(rtcm, static_cast<int>(hourSec / 0.6), seq)));
      ASSERT_TRUE(d.sendRaw(gbasSecond(static_cast<int>(std::fmod(hourSec, 1200.0) * 10.0), sats)));
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    ASSERT_TRUE(rx_->running()) << "row " << row << "\n" << rx_->out();
    EXPECT_EQ(ask("%v%print,/par/rcv/ver").substr(0, 2), "RE") << "row " << row;
  }
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
}

// The pass's own SBAS log with a SLAS station's messages from four QZSS satellites for three
// minutes, each message type from another (PRN 183 the station, 184 the mask, 185 the issues of
// data, 186 the corrections), then none, and eight SBAS satellites more (PRN 120 to 127, null
// messages) than the twelve SBAS decoders hold beside the pass's two GEOs and the four QZSS ones.
// The SLAS decoders, three, give the fourth source the one used least, and the code-differential
// stage (SLAS source) publishes the station's corrections (0.04 m units, within the troposphere
// between the station's rounded place and the antenna). An SBAS decoder taken over by another
// source clears what its SLAS decoder published: the corrections go at once, not once they are a
// minute old.
TEST_F(CorrectionStages, SlasFromFourSourcesAndAStoreClearedByASourceChange) {
  ASSERT_TRUE(crescentRecording(dir_)) << "convbin (Debian rtklib) is required: run scripts/setup";
  const std::string sbs = dir_.read("c.sbs");
  int week = 0, tow = 0;
  ASSERT_EQ(std::sscanf(sbs.c_str(), "%d %d", &week, &tow), 2);
  constexpr int kSlasSeconds = 180;
  std::string log = sbs + slasLines(sbs, {183, 184, 185, 186}, kSlasSeconds);
  const std::size_t null = sbs.find(" 63 : ");
  ASSERT_NE(null, std::string::npos) << "a null message in the log";
  const std::string nullHex = sbs.substr(null + 6, sbs.find('\n', null) - null - 6);
  for (int t = tow + kSlasSeconds; t < tow + kSlasSeconds + 120; ++t)
    for (int prn = 120; prn <= 127; ++prn)
      log += std::to_string(week) + " " + std::to_string(t) + " " + std::to_string(prn) + " 63 : " + nullHex + "\n";
  ASSERT_TRUE(dir_.write("cs.sbs", log));
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", dir_.file("c.nav"), "--sky", "--site", "35.8729,138.3900,944.5", "--sbas",
                                    dir_.file("cs.sbs"), "--start", "2008-05-26T06:01:40", "--sky-truth",
                                    dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  for (const char* c : {"set,/par/pos/cd/src,slas", "set,/par/rtk/dbi/temp,199"})
    ASSERT_EQ(ask(std::string("%k%") + c), re("%k%")) << c;
  // The correction epochs printed from `from` on: each its "$$ cd" lines, satellite to value.
  const auto epochs = [&](std::size_t from) {
    std::vector<std::map<std::string, double>> e;
    std::istringstream in(rx_->out().substr(from));
    for (std::string line; std::getline(in, line) && !in.eof();) {
      char sat[8] = {};
      double v = 0;
      unsigned iod = 0;
      if (line.rfind("$$ meteo ", 0) == 0) e.emplace_back();
      else if (!e.empty() && std::sscanf(line.c_str(), "$$ cd %7s %lf/%u", sat, &v, &iod) == 3) e.back()[sat] = v;
    }
    return e;
  };
  std::vector<std::map<std::string, double>> e;
  ASSERT_TRUE(waitUntil(
      [&] {
        e = epochs(0);
        return e.size() >= 2 && e[e.size() - 2].size() >= 3;
      },
      150000))
      << rx_->out().substr(rx_->out().size() > 3000 ? rx_->out().size() - 3000 : 0);
  for (const auto& [sat, v] : e[e.size() - 2]) {
    ASSERT_EQ(sat[0], 'G') << sat;
    const int prn = std::atoi(sat.c_str() + 1);
    ASSERT_LE(prn, 14) << sat << " has no correction in the station's messages";
    EXPECT_NEAR(v, slasCorrectionCode(prn) * 0.04, 0.02) << sat;
  }
  // Once the simulator streams the seconds after the SLAS messages, the first epochs after it
  // have none.
  const auto streamed = [&] {
    const std::string t = dir_.read("sky.truth");
    const std::size_t last = t.rfind('\n', t.size() > 1 ? t.size() - 2 : 0);
    return std::atof(t.c_str() + (last == std::string::npos ? 0 : last + 1));
  };
  ASSERT_TRUE(waitUntil([&] { return streamed() >= tow + kSlasSeconds - 3; }, 300000)) << streamed();
  e = epochs(0);
  ASSERT_GE(e.size(), 2u);
  EXPECT_FALSE(e[e.size() - 2].empty()) << "the corrections stand while the SLAS messages come";
  ASSERT_TRUE(waitUntil([&] { return streamed() >= tow + kSlasSeconds + 1; }, 30000)) << streamed();
  const std::size_t from = rx_->out().size();
  ASSERT_TRUE(waitUntil([&] {
    e = epochs(from);
    return e.size() >= 12 || (e.size() >= 2 && e[e.size() - 2].empty());
  }, 60000));
  std::size_t gone = 0;
  while (gone + 1 < e.size() && !e[gone].empty()) ++gone;
  EXPECT_LE(gone, 8u) << "correction epochs with SLAS corrections after the source change";
}

}  // namespace
}  // namespace e2e
