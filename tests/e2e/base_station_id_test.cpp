// The base's one station id (rtcm3/base/stid, -1..4095) on the air of all three formats: RTCM 3
// carries it whole; RTCM 2 (10 bits) and CMR (5 bits) carry it only when it fits their field: an
// "em" of a format that cannot carry the id, and an id that a stream already on cannot carry,
// answer an error and change nothing, so a stream never goes silent without a word. RTCM 3 is read back by gpsd's gpsdecode, RTCM 2 and CMR
// by the test's own readers (gpsdecode loses its way in a stream of RTCM 2 types 18 and 19).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "e2e/cmr_frames.h"
#include "e2e/harness.h"
#include "e2e/rtcm2_words.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

class BaseStationId : public Rx {};

// Every "station_id" gpsdecode reads from the bytes, in order.
std::vector<long> gpsdecodeStations(const RunDir& dir, const std::string& bytes) {
  std::vector<long> out;
  for (const std::string& line : gpsdecode(dir, bytes, "air.bin"))
    if (line.find("\"station_id\":") != std::string::npos) out.push_back(std::lround(jsonNumber(line, "station_id")));
  return out;
}

// Station ids of the RTCM 2 frames, read at the byte alignment that finds the most frames (a
// capture may begin within a word).
std::vector<long> rtcm2Stations(const std::string& s) {
  std::vector<rtcm2words::Frame> best;
  for (std::size_t at = 0; at < 5 && at < s.size(); ++at) {
    int bad = 0;
    std::vector<rtcm2words::Frame> f = rtcm2words::frames(s.substr(at), bad);
    if (f.size() > best.size()) best = f;
  }
  std::vector<long> out;
  for (const rtcm2words::Frame& f : best) out.push_back(f.station);
  return out;
}

// What the ports send in 3.5 s from about a second after now, when what was under way has gone.
std::vector<std::string> next(std::initializer_list<Port*> ports) {
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  for (Port* p : ports) {
    p->fill([](const std::string&) { return false; }, 50);
    p->held.clear();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(3500));
  std::vector<std::string> out;
  for (Port* p : ports) {
    p->fill([](const std::string&) { return false; }, 300);
    out.push_back(p->held);
  }
  return out;
}

TEST_F(BaseStationId, EachFormatCarriesTheIdAndRefusesOneItCannotCarry) {
  // The board's solution over the simulated sky gives the base its epoch data and position.
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", nav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b")), c(dir_.file("dev/ser/c")), d(dir_.file("dev/ser/d"));
  ASSERT_TRUE(b.ok() && c.ok() && d.ok());
  // Messages that need no station position: null frames and the RTK observables, observations
  // and the description, RTCM 3's descriptors. Each row: a command, its error ("" for RE), and
  // when `air` the station id on the air of RTCM 2, CMR and RTCM 3 after it (-2 nothing at all).
  constexpr int kNone = -2;
  const struct {
    const char* cmd;
    const char* error;
    int stid;  // rtcm3/base/stid after the command
    bool air;
    int rtcm2 = kNone, cmr = kNone, rtcm3 = kNone;
  } rows[] = {
      {"set,/par/rtcm3/base/stid,1234", "", 1234, false},
      {"em,/dev/ser/b,rtcm/{6,18,19}:1", "{30,,wrong id}", 1234, false},
      {"em,/dev/ser/c,cmr/{0,2}:1", "{30,,wrong id}", 1234, false},
      {"em,/dev/ser/d,rtcm3/1033:1", "", 1234, true, kNone, kNone, 1234},
      {"set,/par/rtcm3/base/stid,31", "", 31, false},
      {"em,/dev/ser/b,rtcm/{6,18,19}:1", "", 31, false},
      {"em,/dev/ser/c,cmr/{0,2}:1", "", 31, true, 31, 31, 31},
      {"set,/par/rtcm3/base/stid,32", "{30,,wrong id}", 31, false},
      {"set,/par/rtcm3/base/stid,-1", "", -1, true, 0, 0, 0},
      {"dm,/dev/ser/c,cmr", "", -1, false},
      {"set,/par/rtcm3/base/stid,1023", "", 1023, true, 1023, kNone, 1023},
      {"em,/dev/ser/c,cmr/0:1", "{30,,wrong id}", 1023, false},
      // Disabling is never refused, whatever the id.
      {"dm,/dev/ser/c,cmr/0", "", 1023, false},
      {"dm,/dev/ser/c,cmr/{0,2}", "", 1023, false},
      {"set,/par/rtcm3/base/stid,1024", "{30,,wrong id}", 1023, false},
      {"dm,/dev/ser/b", "", 1023, false},
      {"set,/par/rtcm3/base/stid,4095", "", 4095, true, kNone, kNone, 4095},
      {"dm,/dev/ser/b,rtcm/{18,19}", "", 4095, false},
      {"dm,/dev/ser/c,cmr/0", "", 4095, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.cmd);
    const std::string want = *r.error ? frame("ER", std::string("%c%") + r.error) : re("%c%");
    ASSERT_EQ(ask(std::string("%c%") + r.cmd), want);
    ASSERT_EQ(ask("print,/par/rtcm3/base/stid"), re(std::to_string(r.stid)));
    if (!r.air) continue;
    const std::vector<std::string> air = next({&b, &c, &d});
    const std::vector<long> r2 = rtcm2Stations(air[0]), r3 = gpsdecodeStations(dir_, air[2]);
    std::vector<int> rc;
    for (const std::string& f : cmrFrames(air[1])) rc.push_back(cmrStation(f));
    ASSERT_GE(r3.size(), 2u);
    EXPECT_EQ(std::set<long>(r3.begin(), r3.end()), std::set<long>{r.rtcm3});
    if (r.rtcm2 != kNone) {
      ASSERT_GE(r2.size(), 2u) << air[0].size() << " bytes";
      EXPECT_EQ(std::set<long>(r2.begin(), r2.end()), std::set<long>{r.rtcm2});
    } else {
      EXPECT_TRUE(air[0].empty()) << air[0].size() << " bytes of RTCM 2";
    }
    if (r.cmr != kNone) {
      ASSERT_GE(rc.size(), 2u) << air[1].size() << " bytes";
      EXPECT_EQ(std::set<int>(rc.begin(), rc.end()), std::set<int>{r.cmr});
    } else {
      EXPECT_TRUE(air[1].empty()) << air[1].size() << " bytes of CMR";
    }
  }
  // What an error refused stays off: the port's set holds what the rows enabled.
  EXPECT_EQ(ask("print,/msg/dev/ser/c"), re("{}"));
}

// At ten epochs a second, from its first epoch with a clock on, the base sends every epoch's GPS
// observations in RTCM 2 (18) and CMR (0). Over the RINEX 4 day's sky its GPS satellites' first
// ephemerides (CNAV, the L5 health bit set) keep them out of the clock solution for a minute,
// while BeiDou, Galileo and GLONASS, smoothed for 10 s, make its reference: GPS time's offset
// then comes from the board's own clock. The epochs are read up to 80 s into the GPS hour (the
// run starts 18 s into it), past the GPS satellites joining the clock solution: a base without
// the board's clock lost 27.9-40.1 s and 66.0-72.1 s of the hour.
TEST_F(BaseStationId, AtTenEpochsASecondEveryEpochCarriesGps) {
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
  ASSERT_NO_FATAL_FAILURE(startSim(
      {"--nav", nav, "--sky", "--site", "22.3,114.2,50", "--start", "2023-03-12T10:00:00", "--rate", "10"}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b")), c(dir_.file("dev/ser/c")), d(dir_.file("dev/ser/d"));
  ASSERT_TRUE(b.ok() && c.ok() && d.ok());
  // MSM beside them, as the base that first lost GPS sent.
  for (const char* cmd : {"set,/par/pos/ref/known/geo,{22.3,114.2,50}", "em,/dev/ser/c,rtcm/{18,19}:0.1",
                          "em,/dev/ser/d,cmr/0:0.1", "em,/dev/ser/b,rtcm3/{1077,1087}:0.1"})
    ASSERT_EQ(ask(std::string("%e%") + cmd), re("%e%")) << cmd;
  // Per type 18 epoch (tenths of a second into the hour: modified Z-count and time of
  // measurement), its satellites of each system (the third flag bit of a satellite's first word).
  std::map<long, std::map<char, int>> rtcm2;
  const auto decode = [&](const std::string& h) {
    rtcm2.clear();
    for (std::size_t at = 0; at < 5 && at < h.size() && rtcm2.empty(); ++at) {
      int bad = 0;
      for (const rtcm2words::Frame& m : rtcm2words::frames(h.substr(at), bad)) {
        if (m.type != 18 || m.data.empty()) continue;
        std::map<char, int>& e = rtcm2[(m.z * 600000L + (m.data[0] & 0xFFFFF) + 50000) / 100000];
        for (std::size_t k = 1; k + 1 < m.data.size(); k += 2) ++e[(m.data[k] >> 21 & 1) != 0 ? 'R' : 'G'];
      }
    }
  };
  // The epochs until 80 s into the GPS hour, both ports read as they come, for as long as the
  // base's stream goes on.
  constexpr long kLast = 800;
  for (int still = 0; still < 30 && (rtcm2.empty() || rtcm2.rbegin()->first < kLast);) {
    const std::size_t before = c.held.size();
    c.fill([](const std::string&) { return false; }, 500);
    d.fill([](const std::string&) { return false; }, 20);
    b.fill([](const std::string&) { return false; }, 20);
    b.held.clear();
    decode(c.held);
    still = c.held.size() == before ? still + 1 : 0;
  }
  ASSERT_FALSE(rtcm2.empty());
  ASSERT_LT(rtcm2.begin()->first, 280);
  ASSERT_GE(rtcm2.rbegin()->first, kLast) << "the stream stopped";
  for (auto it = rtcm2.begin(); std::next(it) != rtcm2.end(); ++it)
    EXPECT_EQ(std::next(it)->first, it->first + 1) << "RTCM 2 epochs after " << it->first;
  for (const auto& [t, sats] : rtcm2) EXPECT_GT(sats.count('G') != 0 ? sats.at('G') : 0, 0) << "RTCM 2 epoch " << t;
  std::vector<int> cmr;
  for (const std::string& f : cmrFrames(d.held))
    if (cmrType(f) == 0) cmr.push_back(cmrMs(f));
  ASSERT_GE(cmr.size(), 500u);
  for (std::size_t i = 1; i < cmr.size(); ++i) EXPECT_EQ((cmr[i] - cmr[i - 1] + 240000) % 240000, 100) << i;
}

}  // namespace
}  // namespace e2e
