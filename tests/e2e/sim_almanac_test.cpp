// The almanacs of a real sky through the running program: the board simulator broadcasts, with
// the ephemerides of a RINEX 4 day, the almanacs it derives from them (GLONASS strings 6-15 among
// them). A GLONASS orbit is used only once an almanac has confirmed the satellite, so a base
// station's GLONASS code corrections (RTCM 2 type 31) exist only then: read by the test's own
// reader (gpsd's gpsdecode does not lock onto such a stream), they name every GLONASS satellite the
// antenna sees, each by its orbital slot, with a correction
// of the size of the simulator's own residuals (it has no atmosphere and a perfect clock), as do
// the GPS corrections (type 1) of the same epochs. Almanacs of two reference times, while both
// are broadcast, are each kept with their own.
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "e2e/harness.h"
#include "e2e/nav_rinex.h"
#include "e2e/rtcm2_words.h"
#include "e2e/sky_truth.h"

namespace e2e {
namespace {

class SimAlmanac : public Rx {};

const std::string kBrd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";

struct Corr {
  int type = 0, z = 0;
  std::map<int, double> prc;  // m, by satellite
};

// Code corrections of types 1 (GPS) and 31 (GLONASS) by RTCM 10402.3 4.3.1 and 4.3.26, read here:
// per satellite 40 bits across the 24-bit data words: scale factor (1), UDRE (2), satellite ID
// (5, 0 for 32), pseudorange correction (16, 0.02 m or with the scale factor 0.32 m), range-rate
// correction (8), then issue of data (8; type 31: change flag 1 and tb 7).
std::vector<Corr> corrections(const std::vector<rtcm2words::Frame>& frames) {
  std::vector<Corr> out;
  for (const rtcm2words::Frame& f : frames) {
    if (f.type != 1 && f.type != 31) continue;
    std::vector<int> bits;
    for (std::uint32_t d : f.data)
      for (int i = 23; i >= 0; --i) bits.push_back(static_cast<int>((d >> i) & 1));
    const auto field = [&](std::size_t at, int n) {
      long v = 0;
      for (int i = 0; i < n; ++i) v = v << 1 | bits[at + static_cast<std::size_t>(i)];
      return v;
    };
    Corr c;
    c.type = f.type, c.z = f.z;
    for (std::size_t at = 0; at + 40 <= bits.size(); at += 40) {
      const long scale = field(at, 1), id = field(at + 3, 5);
      long prc = field(at + 8, 16);
      if (prc >= 32768) prc -= 65536;
      if (prc == -32768) continue;  // a fill
      c.prc[id == 0 ? 32 : static_cast<int>(id)] = static_cast<double>(prc) * (scale ? 0.32 : 0.02);
    }
    out.push_back(c);
  }
  return out;
}

// The GLONASS slots the simulator measured in its last epoch (truth lines: second, satellite,
// signal slot, ...; GLONASS as "Rnn").
std::set<int> measuredGlonass(const std::string& text) {
  std::map<long, std::set<int>> bySecond;
  for (const auto& [key, s] : truth::bySignal(text))
    if (std::get<1>(key)[0] == 'R') bySecond[std::get<0>(key)].insert(std::stoi(std::get<1>(key).substr(1)));
  return bySecond.empty() ? std::set<int>{} : bySecond.rbegin()->second;
}

TEST_F(SimAlmanac, GlonassCorrectionsOfABaseOnceTheAlmanacConfirmsTheSatellites) {
  // 09:57:30 starts a GLONASS superframe (a multiple of 150 s) and lies in the last pages of the
  // GPS 12.5-min page cycle, so that the health (51) and configuration (63) pages come too.
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--sky", "--site", "22.3,114.2,50", "--start", "2023-03-12T09:57:30",
                                    "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%k%set,/par/pos/ref/known/geo,{22.3,114.2,50}"), re("%k%"));
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm/{1,31}:1"), re("%e%"));
  // An ephemeris takes a 30-s frame, the almanacs of all slots a 150-s superframe; then a few
  // epochs of corrections.
  std::vector<Corr> got;
  std::set<int> seen;
  // Until the last three type 31 messages each correct every GLONASS satellite measured but one
  // at most (a satellite that has just risen waits for its ephemeris).
  const auto settled = [&] {
    int n = 0;
    for (auto it = got.rbegin(); it != got.rend() && n < 3; ++it) {
      if (it->type != 31) continue;
      if (it->prc.size() + 1 < seen.size() || seen.size() < 4) return false;
      ++n;
    }
    return n == 3;
  };
  const bool enough = waitUntil(
      [&] {
        b.fill([](const std::string&) { return false; }, 2000);
        int junk = 0;
        got = corrections(rtcm2words::frames(b.held, junk));
        seen = measuredGlonass(dir_.read("sky.truth"));
        return settled();
      },
      300000);
  std::string last;
  for (const Corr& c : got)
    if (c.type == 31) {
      last.clear();
      for (const auto& [slot, prc] : c.prc) last += " R" + std::to_string(slot);
    }
  std::string measured;
  for (int s : seen) measured += " R" + std::to_string(s);
  ASSERT_TRUE(enough) << "last type 31 corrects" << last << "; measured" << measured;
  int bad = 0;
  rtcm2words::frames(b.held, bad);
  EXPECT_EQ(bad, 0) << "every word's parity right";
  // The last type 31 and type 1 messages: GLONASS satellites by their slots, and corrections of
  // the simulator's size: its GLONASS orbits are in the frame of its WGS 84 site, which the base
  // moves into its own PZ-90 (tens of metres at most); a satellite placed by a wrong orbit or
  // named by another slot would be kilometres off.
  const Corr* glo = nullptr;
  const Corr* gps = nullptr;
  for (const Corr& c : got) {
    if (c.type == 31) glo = &c;
    if (c.type == 1) gps = &c;
  }
  ASSERT_NE(glo, nullptr);
  ASSERT_NE(gps, nullptr);
  std::set<int> slots;
  for (const auto& [slot, prc] : glo->prc) {
    slots.insert(slot);
    EXPECT_LT(std::fabs(prc), 40.0) << "R" << slot;
  }
  for (int s : slots) EXPECT_TRUE(seen.contains(s)) << "R" << s << " corrected but not measured";
  // Among them the edges of the frequency numbers the board names a GLONASS channel by: R12 is
  // k = -1 (the byte 0xFF, which is no "none"), R14 k = -7 and R08 k = +6, all up for the run.
  for (int s : {8, 12, 14}) {
    EXPECT_TRUE(seen.contains(s)) << "R" << s << " not measured";
    EXPECT_TRUE(slots.contains(s)) << "R" << s << " not corrected";
  }
  EXPECT_GE(gps->prc.size(), 6u);
  for (const auto& [prn, prc] : gps->prc) EXPECT_LT(std::fabs(prc), 40.0) << "G" << prn;
}

// Two almanac reference times at once: 10:23:32 UTC (GPS second 37430) lies in the last frames of
// a GPS 12.5-min page cycle and of a BeiDou 12-min one whose almanacs have their toa at 32768 s;
// the next cycles (GPS 37500 s on, BeiDou 37440 s of its week on) bring those of toa 36864. GPS
// PRN 24's page comes from the first, PRN 1's from the second, and BeiDou C01's from the second:
// each keeps its own. With almanac positions on, a satellite known by its almanac alone gets them.
// Galileo broadcasts F/NAV only (the file's I/NAV records left out): its almanac pages 5 (37500 s)
// and 6 (37550 s) follow its first ephemeris, and the store, which takes Galileo almanacs of I/NAV
// only, keeps none.
TEST_F(SimAlmanac, AlmanacsOfTwoReferenceTimesEachKeptWithItsOwn) {
  std::string fnavOnly;
  bool inav = false;
  for (const std::string& line : rinex::linesOf(rinex::gunzip(kBrd4))) {
    if (line.rfind(">", 0) == 0) inav = line.rfind("> EPH E", 0) == 0 && line.find("INAV") != std::string::npos;
    if (!inav) fnavOnly += line + "\n";
  }
  ASSERT_TRUE(dir_.write("fnav.rnx", fnavOnly));
  ASSERT_NO_FATAL_FAILURE(
      startSim({"--nav", dir_.file("fnav.rnx"), "--sky", "--site", "22.3,114.2,50", "--start", "2023-03-12T10:23:32"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%a%set,/par/pos/almdata,on"), re("%a%"));
  std::this_thread::sleep_for(std::chrono::seconds(130));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  const std::string img = dir_.read(".gnss.nvm");
  for (const auto& [block, toa] : {std::pair{654u + 23, 32768}, std::pair{654u + 0, 36864}, std::pair{654u + 133, 36864}}) {
    const std::string a = blockData(img, block);
    ASSERT_GE(a.size(), 8u) << "almanac block " << block;
    EXPECT_EQ(fieldAt<std::int32_t>(a, 4), toa) << "almanac block " << block;
  }
  for (unsigned svid = 1; svid <= 36; ++svid) EXPECT_EQ(blockData(img, 654 + 62 + svid - 1), "") << "E" << svid;
}

// A satellite known by its almanac alone: the simulator withholds G14's ephemeris (LNAV subframes
// 1-3, CNAV, CNAV-2) while the almanac pages carry it and the antenna measures it. 10:05:42 UTC
// begins frame 13 of the 12.5-min page cycle: the other satellites' ephemerides come in its
// subframes 1-3, page 13 of subframe 4 brings the correction table, and the next frame's
// subframe 5 the almanac of PRN 14. The store keeps that almanac and no ephemeris of G14; with
// satellite positions from the almanac on, G14 is placed by it, and the correction processor,
// which corrects only what an ephemeris places, leaves G14 out while it corrects the others.
TEST_F(SimAlmanac, SatelliteKnownByItsAlmanacAloneIsPlacedButNeverCorrected) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--sky", "--site", "22.3,114.2,50", "--start", "2023-03-12T10:05:42",
                                    "--almanac-only", "14", "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%a%set,/par/pos/almdata,on"), re("%a%"));
  ASSERT_EQ(ask("%d%set,/par/rtk/dbi/temp,199"), re("%d%"));
  // The almanac page ends at GPS second 36420 (the first epoch is 36360); then some correction epochs.
  std::string truthText;
  ASSERT_TRUE(waitUntil(
      [&] {
        truthText = dir_.read("sky.truth");
        const std::size_t last = truthText.rfind('\n', truthText.size() >= 2 ? truthText.size() - 2 : 0);
        return !truthText.empty() && std::atof(truthText.c_str() + (last == std::string::npos ? 0 : last + 1)) >= 36435;
      },
      150000));
  std::set<std::string> measured, corrected;
  for (const auto& [key, sig] : truth::bySignal(truthText))
    if (std::get<1>(key)[0] == 'G') measured.insert(std::get<1>(key));
  std::istringstream out(rx_->out());
  for (std::string line; std::getline(out, line);)
    if (line.rfind("$$ corr G", 0) == 0) corrected.insert(line.substr(8, 3));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_TRUE(measured.contains("G14"));
  const std::string img = dir_.read(".gnss.nvm");
  EXPECT_EQ(blockData(img, 654 + 13).size(), 56u) << "G14's almanac";
  for (const std::string& g : measured) {
    const unsigned prn = static_cast<unsigned>(std::stoi(g.substr(1)));
    EXPECT_EQ(blockData(img, 398 + prn - 1).empty(), prn == 14) << g << "'s ephemeris";
    EXPECT_EQ(corrected.contains(g), prn != 14) << g << " corrected";
  }
}

}  // namespace
}  // namespace e2e
