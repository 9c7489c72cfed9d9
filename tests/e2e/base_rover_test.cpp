// A base and a rover, each the real rxengine against its own board simulator, both simulators
// starting at the same simulated time (the rover's a little ahead, as a rover is of the base data
// that reaches it). The test relays the bytes itself: it reads the base's ports and writes the
// rover's, so it sees every byte.
//
// The base stands at its simulator's site with its position entered (or averaged) and sends RTCM 3
// (MSM7 of every system of the simulator's sky, 1005, 1006, 1033 and the ephemerides), RTCM 2
// (1, 3, 9, 15, 18, 19, 22, 32, 41, 42, 44) and CMR (0, 1, 2) on three ports. Checked against
// independent truth:
// - rtklib's convbin reads the RTCM 3 and RTCM 2 streams back to the entered position within
//   1 mm, and the RTCM 3 observations of every system to the simulator's truth; rtklib's rnx2rtkp
//   places the base from convbin's RINEX within 5 m of the site; the RTCM 2 code corrections (1 and
//   the partial sets of 9), read by gpsd's gpsdecode, differ between satellites only by each one's
//   broadcast group delay (the simulator's clock is perfect and its sky has no atmosphere) and have
//   no rate; the CMR station record, read here from the frame format, is the entered position.
// - The rover takes each stream in turn on one port in its input mode, in position mode pd. Its
//   base record prints the station and the base's position, its RTCM 3 decoder the MSM7 of every
//   system; the base projection's own debug print (rtk/dbi/cpd 11) shows every published base
//   epoch's code and carrier of each satellite equal to the base simulator's truth, and for GPS
//   its geometric term equal to the code less the satellite's broadcast group delay; the station
//   record of the code corrections formed from the base's observations lands in the rover's
//   settings image; the rover's MSM compatibility choice "v37" moves the BeiDou carriers of the
//   satellites outside 6..58 by half a cycle from convbin's reading of the same frames.
#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

#include "e2e/cmr_frames.h"
#include "e2e/harness.h"
#include "e2e/nav_rinex.h"
#include "e2e/rtcm3_writer.h"
#include "e2e/sky_truth.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

using rinex::rinexStation;
using rinex::rinexTgd;
using rinex::rtcm3Count;
using rinex::bdsOutsideSixToFiftyEight;
using rinex::msmSatellites;
using rinex::rtcm3Frames;
using rinex::rtcm3Type;
using truth::bySignal;
using truth::Signal;
using truth::systemsOf;
// (GPS ms of week, satellite, slot) -> the signal the base's simulator streamed.
using Truth = truth::BySignal;

// A day of every system's broadcast (RINEX 4), at a site that sees GPS, GLONASS, Galileo and BeiDou.
const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
constexpr const char* kStart = "2023-03-12T10:00:00";
constexpr const char* kConvbinTime = "2023/03/12 10:00:00";
constexpr const char* kBaseSite = "22.3,114.2,50";
constexpr const char* kRoverSite = "22.31,114.21,60";  // 1.5 km north-east, 10 m higher
constexpr double kC = 299792458.0;
constexpr double kGpsL1 = 1575.42e6, kGpsL2 = 1227.60e6;

// ---- the two receivers -----------------------------------------------------------------------

// One receiver: a run directory with its own simulator and the program, commands on dev/ser/a.
struct Station {
  RunDir dir;
  std::unique_ptr<Proc> sim, rx;
  std::unique_ptr<Port> cmd;
  std::string out;  // the program's output, once it has stopped

  void start(const char* site) {
    const std::string log = dir.file("sim.log");
    sim = std::make_unique<Proc>(dir.path, std::vector<std::string>{kSim, "--dir", dir.path, "--log", log, "--nav", kNav,
                                                                     "--sky", "--site", site, "--start", kStart,
                                                                     "--sky-truth", dir.file("sky.truth")});
    ASSERT_TRUE(waitUntil([&] { return std::filesystem::exists(log); }, kStartGuardMs));
    rx = std::make_unique<Proc>(dir.path, std::vector<std::string>{RXENGINE_PATH});
    ASSERT_TRUE(rx->waitOut(kReady, kStartGuardMs)) << rx->out();
    cmd = std::make_unique<Port>(dir.file("dev/ser/a"));
    ASSERT_TRUE(cmd->ok());
  }
  std::string ask(const std::string& line) { return cmd->ask(line); }
  // Sends a command that must be acknowledged.
  void must(const std::string& line) { ASSERT_EQ(ask("%c%" + line), re("%c%")) << line; }
  // SIGTERM: the settings image is stored; the program's output is kept.
  void stop() {
    cmd.reset();
    if (!rx) return;
    if (rx->signal(SIGTERM)) {
      EXPECT_EQ(rx->wait(), 0);
    }
    out = rx->out();
    EXPECT_EQ(out.find("AddressSanitizer"), std::string::npos) << out.substr(0, 4000);
    EXPECT_EQ(out.find("runtime error"), std::string::npos) << out.substr(0, 4000);
    rx.reset();
  }
};

// RTCM 3 MSM7 and ephemeris messages of each system, and the system's name in the decoder's
// MSM print keys.
struct SysMessages {
  char sys;
  const char* msm7;
  const char* eph;
  const char* key;
};
constexpr SysMessages kSysMessages[] = {
    {'G', "1077", "1019", "gps"}, {'R', "1087", "1020", "glo"},  {'E', "1097", "1045,1046", "gal"},
    {'S', "1107", nullptr, "sbas"}, {'J', "1117", "1044", "qzss"}, {'C', "1127", "1042", "comp"},
    {'I', "1137", "1041", "irnss"},
};

// ---- byte streams ----------------------------------------------------------------------------

// The GPS satellites of the 1019 ephemeris frames (6 bits after the message number).
std::set<int> gpsEphemerisSats(const std::string& held) {
  std::set<int> sats;
  for (const std::string& f : rtcm3Frames(held))
    if (rtcm3Type(f) == 1019 && f.size() > 6)
      sats.insert((static_cast<unsigned char>(f[4]) & 0x0F) << 2 | static_cast<unsigned char>(f[5]) >> 6);
  return sats;
}

// ---- convbin's RINEX ---------------------------------------------------------------------------

// Per epoch (GPS ms of week) and satellite, the codes (observation types C..).
std::map<long, std::map<std::string, std::vector<double>>> rinexCodes(const std::string& text) {
  std::map<long, std::map<std::string, std::vector<double>>> out;
  for (const auto& [ms, sats] : rinex::readRinexObs(text))
    for (const auto& [sat, values] : sats)
      for (const auto& [type, v] : values)
        if (type[0] == 'C') out[ms][sat].push_back(v);
  return out;
}

// Every code of convbin's RINEX against the truth of its epoch (a signal of its satellite within
// `tol` m); the systems seen are added to `seen`. How many were compared.
int checkCodes(const std::string& obs, const Truth& truth, double tol, std::set<char>& seen) {
  int compared = 0;
  for (const auto& [ms, sats] : rinexCodes(obs))
    for (const auto& [sat, codes] : sats) {
      seen.insert(sat[0]);
      for (double c : codes) {
        bool match = false;
        for (int slot = 0; slot < 6; ++slot) {
          const auto t = truth.find({ms, sat, slot});
          match = match || (t != truth.end() && std::fabs(t->second.code - c) < tol);
        }
        EXPECT_TRUE(match) << sat << " code " << c << " at " << ms;
        ++compared;
      }
    }
  return compared;
}

// ---- the rover's projection print --------------------------------------------------------------

// One " Add:" line of the base projection: a published base epoch's measurement of one signal.
struct Add {
  int id;
  double phi, code, dSat, tc;
  int slot = -1;     // the signal's order within its satellite: 0 first (L1), 1 second
  double gps = -1;   // the epoch's GPS second of week
};

bool isGps(int id) { return id >= 1 && id <= 32; }

// The lines in order. Each system's time is its own (GLONASS's a day of UTC(SU)): every line takes
// the GPS time of its epoch from the GPS satellites, whose lines come first (the GPS message leads
// each base epoch), and an epoch of GLONASS alone from its own time and the GPS-GLONASS difference
// of the last epoch with both; lines before the first GPS line are left without.
std::vector<Add> adds(const std::string& out) {
  std::vector<Add> v;
  std::istringstream in(out);
  double gps = -1, gloToGps = 0;
  bool gloKnown = false;
  for (std::string line; std::getline(in, line);) {
    Add a{};
    if (!line.starts_with(" Add: ") ||
        std::sscanf(line.c_str(), " Add: %d phi %lf Roc %lf dSat %lf Tc %lf", &a.id, &a.phi, &a.code, &a.dSat, &a.tc) != 5)
      continue;
    a.slot = !v.empty() && v.back().id == a.id && v.back().tc == a.tc ? v.back().slot + 1 : 0;
    if (isGps(a.id)) gps = a.tc;
    if (a.id >= 33 && a.id <= 47 && gps >= 0) {
      if (gloKnown && std::fabs(a.tc + gloToGps - gps) >= 0.5)
        gps = a.tc + gloToGps;
      else
        gloToGps = gps - a.tc, gloKnown = true;
    }
    a.gps = gps;
    if (gps >= 0) v.push_back(a);
  }
  return v;
}

// The lines of each stream: runs of epochs without a gap of `gap` s or more between them.
std::vector<std::vector<Add>> runs(const std::vector<Add>& all, double gap) {
  std::vector<std::vector<Add>> r;
  for (const Add& a : all) {
    if (r.empty() || std::fabs(a.gps - r.back().back().gps) >= gap) r.emplace_back();
    r.back().push_back(a);
  }
  return r;
}

// The satellite a global id names (the carrier-phase model's numbering), "" for GLONASS, whose
// id is its frequency channel.
std::string satOfId(int id) {
  char b[8] = "";
  if (id >= 1 && id <= 32) std::snprintf(b, sizeof b, "G%02d", id);
  if (id >= 48 && id <= 83) std::snprintf(b, sizeof b, "E%02d", id - 47);
  if (id >= 112 && id <= 118) std::snprintf(b, sizeof b, "J%02d", id + 81 - 192);
  if (id >= 119 && id <= 181) std::snprintf(b, sizeof b, "C%02d", id - 118);
  return b;
}

struct Format {
  const char* name;
  double codeTol, phaseTol;  // m, cycles: the format's resolution
  double phaseWrap;          // cycles the carrier is given modulo (0: whole)
};

// Every measurement of a stream's run against the base's truth at its epoch: the code of the
// satellite's signal, the carrier (modulo what the format carries), and for GPS the geometric term
// the projection removes: the code less the group delay scaled to the signal.
void checkRun(const std::vector<Add>& run, const Truth& truth, const std::map<std::string, double>& tgd,
              const Format& f, const std::set<char>& systems) {
  SCOPED_TRACE(f.name);
  std::set<long> epochs;
  std::set<char> seen;
  int checked = 0, geometric = 0;
  for (const Add& a : run) {
    const long ms = std::lround(a.gps * 1000);
    const std::string sat = satOfId(a.id);
    // The signal of the truth that is the measured one: of the id's satellite (for GLONASS any
    // GLONASS satellite), the code nearest, and among codes equally near (a satellite without
    // group delays) the carrier nearest.
    const Signal* best = nullptr;
    int bestSlot = -1;
    double bestCode = 0, bestPhase = 0;
    for (auto it = truth.lower_bound({ms, "", -1}); it != truth.end() && std::get<0>(it->first) == ms; ++it) {
      const std::string& s = std::get<1>(it->first);
      if (sat.empty() ? s[0] != 'R' : s != sat) continue;
      const double dc = std::fabs(it->second.code - a.code);
      double dp = a.phi - it->second.phase;
      if (f.phaseWrap > 0) dp = std::remainder(dp, f.phaseWrap);
      dp = std::fabs(dp);
      if (best == nullptr || dc < bestCode - f.codeTol || (dc <= bestCode + f.codeTol && dp < bestPhase)) {
        best = &it->second;
        bestSlot = std::get<2>(it->first);
        bestCode = dc;
        bestPhase = dp;
      }
    }
    ASSERT_NE(best, nullptr) << "satellite id " << a.id << " at " << a.gps << " is not in the base's sky";
    EXPECT_LE(bestCode, f.codeTol) << "id " << a.id << " code " << a.code << " at " << a.gps;
    EXPECT_LE(bestPhase, f.phaseTol) << "id " << a.id << " carrier " << a.phi << " at " << a.gps;
    seen.insert(sat.empty() ? 'R' : sat[0]);
    const auto t = tgd.find(sat);
    // A satellite's first epoch has no geometric term yet (the projection takes nothing from it).
    if (t != tgd.end() && a.dSat != 0.0 && (bestSlot == 0 || bestSlot == 2)) {
      const double gamma = bestSlot == 0 ? 1.0 : (kGpsL1 / kGpsL2) * (kGpsL1 / kGpsL2);
      EXPECT_NEAR(a.code - a.dSat, gamma * kC * t->second, f.codeTol + 0.005) << sat << " slot " << bestSlot << " at " << a.gps;
      ++geometric;
    }
    epochs.insert(ms);
    ++checked;
  }
  EXPECT_GE(epochs.size(), 5u) << "published base epochs";
  EXPECT_EQ(seen, systems) << "the systems of the base epochs";
  EXPECT_GE(checked, 5 * 4 * 2);
  if (systems.count('G') != 0) {  // the group delays are GPS's
    EXPECT_GE(geometric, 5 * 4 * 2);
  }
}

// ---- the rover's settings image ------------------------------------------------------------

// The RTCM station records of the code-correction sources (blocks 2196-2200): id, system (of the
// satellite whose correction was formed last), the time of its coordinates (ms of that system's
// week), position.
struct StationRecord {
  int id;
  int system;
  long ms;
  double pos[3];
};
std::vector<StationRecord> stationRecords(const std::string& img) {
  std::vector<StationRecord> v;
  for (unsigned b = 2196; b <= 2200; ++b) {
    const long off = blockOffset(img, b);
    if (off < 0) continue;
    const char* d = img.data() + off + 6;
    StationRecord r{};
    std::uint16_t id = 0;
    std::memcpy(&id, d, 2);
    r.id = id;
    r.system = static_cast<unsigned char>(d[12]);
    std::uint32_t tag = 0;
    std::memcpy(&tag, d + 4, 4);
    r.ms = static_cast<long>(tag >> 1);
    std::memcpy(r.pos, d + 16, sizeof r.pos);
    if (id != 65535) v.push_back(r);
  }
  return v;
}

// ---- the run -------------------------------------------------------------------------------

// The base's three streams, each a row, in the order the rover takes them: the base's port (b, c
// or d), the rover's input mode, the base's station id, how long the rover takes it, the
// resolution of the measurements it carries, their systems ("" every system of the sky), and the
// station record its code corrections leave in the rover's settings image. RTCM 3 carries every
// system of the sky, CMR type 0 GPS, and RTCM 2 types 18 and 19 GPS and GLONASS: the base's
// GLONASS satellites have orbits once the broadcast almanacs have confirmed them (the whole
// constellation's within the first 2.5 minutes), before the RTCM 2 stream's turn.
struct StreamRow {
  int out;
  const char* mode;
  int stid;
  bool awaitsCorrections;  // taken until three type 1 messages have gone out, then for `ms`
  int ms;
  Format format;
  const char* systems;
  int recordId;  // CMR's corrections come under 0
  double recordTol;
};
constexpr StreamRow kStreams[] = {
    {0, "rtcm3", 21, false, 12000, {"RTCM 3", 0.002, 0.01, 0}, "", 21, 0.001},
    {2, "cmr", 23, false, 12000, {"CMR", 0.02, 0.01, 0}, "G", 0, 0.001},
    // RTCM 2 last: its code corrections come once the base's codes are smoothed over the 100 s the
    // clock solution asks of a satellite.
    {1, "rtcm", 22, true, 3000, {"RTCM 2", 0.011, 0.01, 16777216.0}, "GR", 22, 0.006},
};

class BaseRover : public ::testing::Test {
 protected:
  // The base's output ports and what each sent.
  struct Out {
    std::unique_ptr<Port> port;
    std::string bytes;
  };

  // Reads the base's ports until `done` or `ms` pass; the bytes of `live` (-1: none) go on to the
  // rover's port as they come.
  template <class P>
  bool pump(int live, int ms, P done) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
      if (std::chrono::steady_clock::now() >= end) return false;
      pollfd pf[3];
      for (int k = 0; k < 3; ++k) pf[k] = {outs_[k].port->fd(), POLLIN, 0};
      if (poll(pf, 3, 50) <= 0) continue;
      for (int k = 0; k < 3; ++k) {
        if ((pf[k].revents & POLLIN) == 0) continue;
        char b[8192];
        const ssize_t n = ::read(pf[k].fd, b, sizeof b);
        if (n <= 0) continue;
        outs_[k].bytes.append(b, static_cast<std::size_t>(n));
        if (k == live) {
          EXPECT_TRUE(roverIn_->sendRaw(relayed(std::string(b, static_cast<std::size_t>(n)))));
        }
      }
    }
    return true;
  }
  // What goes on to the rover: the bytes as they came, or, with `edit_`, each whole RTCM 3 frame
  // as it makes it (a frame a read cut waits for its rest).
  std::string relayed(const std::string& bytes) {
    if (!edit_) return bytes;
    held_ += bytes;
    std::string out;
    while (!held_.empty()) {
      if (static_cast<unsigned char>(held_[0]) != 0xD3) {
        out += held_[0];
        held_.erase(0, 1);
        continue;
      }
      if (held_.size() < 3) break;
      const std::size_t len = 6 + ((static_cast<unsigned char>(held_[1]) & 3u) << 8 | static_cast<unsigned char>(held_[2]));
      if (held_.size() < len) break;
      out += edit_(held_.substr(0, len));
      held_.erase(0, len);
    }
    return out;
  }
  void pumpFor(int live, int ms) {
    pump(live, ms, [] { return false; });
  }

  // The rover, then the base a moment later; the base's position entered (or averaged), its three
  // streams on ports b, c and d.
  void startBoth(bool averaged) {
    site_ = cartConvert(kBaseSite);
    ASSERT_EQ(site_.size(), 3u) << "CartConvert (GeographicLib) is required";
    ASSERT_NO_FATAL_FAILURE(rover_.start(kRoverSite));
    // The projection's models absolute (no reference satellite), so that its print shows each
    // satellite's own code and carrier; code corrections from the base's observations, smoothed
    // over 10 samples.
    for (const char* c : {"set,/par/pos/mode,pd", "set,/par/rtk/dbi/cpd,11", "set,/par/pos/cd/obs,on",
                          "set,/par/pos/cd/smooth,10", "set,/par/pos/pd/diffext,off"})
      ASSERT_NO_FATAL_FAILURE(rover_.must(c));
    roverIn_ = std::make_unique<Port>(rover_.dir.file("dev/ser/b"));
    ASSERT_TRUE(roverIn_->ok());

    ASSERT_NO_FATAL_FAILURE(base_.start(kBaseSite));
    if (averaged) {
      ASSERT_NO_FATAL_FAILURE(base_.must("set,/par/pos/avg/time,3"));
      ASSERT_NO_FATAL_FAILURE(base_.must("set,/par/pos/avg/start,on"));
      ASSERT_TRUE(waitUntil([&] { return base_.ask("print,/par/pos/avg/start") == re("off"); }, 30000));
    } else {
      ASSERT_NO_FATAL_FAILURE(base_.must(std::string("set,/par/pos/ref/known/geo,{") + kBaseSite + "}"));
    }
    // Every system of the sky, from the simulator's truth once it streams.
    ASSERT_TRUE(waitUntil([&] { return !bySignal(base_.dir.read("sky.truth")).empty(); }, 20000));
    std::string msm, eph;
    for (char s : systemsOf(bySignal(base_.dir.read("sky.truth"))))
      for (const SysMessages& m : kSysMessages)
        if (m.sys == s) {
          msm += std::string(",") + m.msm7;
          if (m.eph != nullptr) eph += std::string(",") + m.eph;
          msm7_.push_back(std::atoi(m.msm7));
          msmKeys_.push_back(m.key);
        }
    ASSERT_FALSE(msm.empty());
    ASSERT_NO_FATAL_FAILURE(base_.must("em,/dev/ser/b,rtcm3/{1005,1006,1033" + msm + eph + "}:1"));
    ASSERT_NO_FATAL_FAILURE(base_.must("em,/dev/ser/c,rtcm/{1,3,9,15,18,19,22,32,41,42,44}:1"));
    ASSERT_NO_FATAL_FAILURE(base_.must("em,/dev/ser/d,cmr/{0,1,2}:1"));
    for (const char* p : {"dev/ser/b", "dev/ser/c", "dev/ser/d"}) {
      outs_.push_back({std::make_unique<Port>(base_.dir.file(p)), ""});
      ASSERT_TRUE(outs_.back().port->ok()) << p;
    }
    // The satellites join the base's epochs once their ephemerides are decoded; rnx2rtkp places
    // the base once five GPS satellites have theirs.
    ASSERT_TRUE(pump(-1, 90000, [&] {
      for (int t : msm7_)
        if (rtcm3Count(outs_[0].bytes, t) < 2) return false;
      return gpsEphemerisSats(outs_[0].bytes).size() >= 5;
    }))
        << outs_[0].bytes.size() << " bytes of RTCM 3";
  }

  // The rover's base record: the station id and, where `want` is given, its position within `tol` m.
  void expectBase(int stid, const double* want = nullptr, double tol = 0) {
    EXPECT_EQ(printed(rover_.ask("print,/par/pos/pd/ref/id")), std::to_string(stid));
    if (want != nullptr) {
      EXPECT_TRUE(xyzNear(rover_.ask("print,/par/pos/pd/ref/pos/xyz"), want, tol));
    }
  }

  // convbin on the base's files, at the simulated day (RINEX 3.04).
  bool convbin(const std::string& args) {
    return runIn(base_.dir, std::string("convbin -tr ") + kConvbinTime + " -v 3.04 " + args);
  }

  // gpsdecode's reading of the RTCM 2 stream.
  std::vector<std::string> rtcm2Lines() { return gpsdecode(base_.dir, outs_[1].bytes, "c.rtcm2"); }

  // One stream in turn: the base under the row's station id, the rover's base record cleaned
  // first, its port in the row's mode; the rover then prints the station and the base's position.
  void stream(const StreamRow& row) {
    SCOPED_TRACE(row.mode);
    ASSERT_NO_FATAL_FAILURE(base_.must("set,/par/rtcm3/base/stid," + std::to_string(row.stid)));
    // A new base: its record starts afresh (the projection's models restart by themselves).
    ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/pos/pd/ref/clean,on"));
    EXPECT_EQ(printed(rover_.ask("print,/par/pos/pd/ref/id")), "0") << "the base record cleaned";
    ASSERT_NO_FATAL_FAILURE(rover_.must(std::string("set,/par/dev/ser/b/imode,") + row.mode));
    for (int s = 0; s < 150 && row.awaitsCorrections && gpsdecodeTypes(rtcm2Lines())[1] < 3; ++s) pumpFor(row.out, 1000);
    pumpFor(row.out, row.ms);
    // The last MSM of each system of the sky, kept while the port decodes: MSM7 with its
    // satellites.
    if (std::string(row.mode) == "rtcm3")
      for (const char* key : msmKeys_) {
        const std::string info = printed(rover_.ask(std::string("print,/par/rtcm3/rover/msm/info/") + key));
        EXPECT_TRUE(info.starts_with("{msg=7,sat=0x") && !info.starts_with("{msg=7,sat=0x0000000000000000")) << key << ": " << info;
      }
    ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,cmd"));
    expectBase(row.stid, site_.data(), 0.001);
  }

  // convbin's RINEX of the RTCM 3 stream: the station within 1 mm of `want`, every system of the
  // sky with the simulator's codes; rnx2rtkp's single-point position within 5 m of the site.
  void checkRtcm3(const double want[3]) {
    const std::vector<std::string> frames = rtcm3Frames(outs_[0].bytes);
    std::set<int> types;
    std::string all;
    for (const std::string& f : frames) types.insert(rtcm3Type(f)), all += f;
    for (int t : {1005, 1006, 1033}) EXPECT_TRUE(types.contains(t)) << t;
    for (int t : msm7_) EXPECT_TRUE(types.contains(t)) << "MSM7 " << t;
    ASSERT_TRUE(base_.dir.write("b.rtcm3", all));
    ASSERT_TRUE(convbin("-r rtcm3 -od -os -o b.obs -n b.nav b.rtcm3"));
    const std::string obs = base_.dir.read("b.obs");
    double xyz[3];
    ASSERT_TRUE(rinexStation(obs, xyz)) << obs.substr(0, 2000);
    EXPECT_TRUE(xyzNear(xyz, want, 0.001)) << "RTCM 3 station";

    const Truth truth = bySignal(base_.dir.read("sky.truth"));
    std::set<char> seen;
    EXPECT_GE(checkCodes(obs, truth, 0.001, seen), 20);
    EXPECT_EQ(seen, systemsOf(truth)) << "every system of the sky in the MSM7";

    base_.dir.write("spp.conf", "pos1-posmode =single\npos1-ionoopt =off\npos1-tropopt =off\nout-solformat =xyz\n");
    ASSERT_TRUE(runIn(base_.dir, "rnx2rtkp -k spp.conf -o spp.pos b.obs b.nav"));
    int fixes = 0;
    std::istringstream in(base_.dir.read("spp.pos"));
    for (std::string line; std::getline(in, line);) {
      if (line.empty() || line[0] == '%') continue;
      char date[16], time[16];
      double p[3];
      if (std::sscanf(line.c_str(), "%15s %15s %lf %lf %lf", date, time, &p[0], &p[1], &p[2]) != 5) continue;
      const double d = std::sqrt((p[0] - site_[0]) * (p[0] - site_[0]) + (p[1] - site_[1]) * (p[1] - site_[1]) +
                                 (p[2] - site_[2]) * (p[2] - site_[2]));
      EXPECT_LT(d, 5.0) << line;
      ++fixes;
    }
    EXPECT_GE(fixes, 5) << "rnx2rtkp's single-point positions";
  }

  Station base_, rover_;
  std::unique_ptr<Port> roverIn_;
  std::vector<Out> outs_;
  std::function<std::string(const std::string&)> edit_;  // applied to the relayed frames
  std::string held_;
  std::vector<int> msm7_;
  std::vector<const char*> msmKeys_;
  std::vector<double> site_;
};

TEST_F(BaseRover, EnteredPositionThreeStreamsOneRover) {
  ASSERT_NO_FATAL_FAILURE(startBoth(false));
  for (const StreamRow& row : kStreams) {
    // A gap in the base's epochs between two streams.
    if (&row != kStreams) pumpFor(-1, 3000);
    ASSERT_NO_FATAL_FAILURE(stream(row));
  }
  rover_.stop();
  base_.stop();

  // The base's streams.
  ASSERT_NO_FATAL_FAILURE(checkRtcm3(site_.data()));
  {
    SCOPED_TRACE("RTCM 2");
    const std::vector<std::string> lines = rtcm2Lines();
    const std::map<int, int> types = gpsdecodeTypes(lines);
    for (int t : {1, 3, 9, 15, 18, 19, 22, 32, 44}) EXPECT_GE(types.contains(t) ? types.at(t) : 0, 3) << "type " << t;
    for (int t : {41, 42}) EXPECT_GE(types.contains(t) ? types.at(t) : 0, 1) << "type " << t;
    ASSERT_TRUE(convbin("-r rtcm2 -od -os -o c.obs c.rtcm2"));
    double xyz[3];
    ASSERT_TRUE(rinexStation(base_.dir.read("c.obs"), xyz));
    EXPECT_TRUE(xyzNear(xyz, site_.data(), 0.001)) << "RTCM 2 station (3 and 22)";
    // Types 1 and 9: with a perfect clock and no atmosphere each correction is the common clock term less
    // the satellite's group delay, which the corrections leave to the user.
    const std::map<std::string, double> tgd = rinexTgd(base_.dir.read("b.nav"));
    int corrections = 0;
    for (const std::string& l : lines) {
      if (l.find("\"type\":1,") == std::string::npos && l.find("\"type\":9,") == std::string::npos) continue;
      double common = NAN;
      for (std::size_t at = l.find("\"ident\":"); at != std::string::npos; at = l.find("\"ident\":", at + 1)) {
        int ident = 0;
        double prc = 0, rrc = 0;
        char udre[8];
        const int got = std::sscanf(l.c_str() + at, "\"ident\":%d,\"udre\":%7[^,],\"iod\":%*d,\"prc\":%lf,\"rrc\":%lf", &ident,
                                    udre, &prc, &rrc);
        ASSERT_EQ(got, 4) << l;
        char sat[8];
        std::snprintf(sat, sizeof sat, "G%02d", ident == 0 ? 32 : ident);
        ASSERT_TRUE(tgd.contains(sat)) << sat;
        const double c = prc + kC * tgd.at(sat);
        if (std::isnan(common)) common = c;
        EXPECT_NEAR(c, common, 0.03) << sat << ": " << l;
        EXPECT_NEAR(rrc, 0.0, 0.005) << sat << ": " << l;
        ++corrections;
      }
    }
    EXPECT_GE(corrections, 3 * 4);
  }
  {
    SCOPED_TRACE("CMR");
    std::map<int, int> types;
    for (const std::string& d : cmrFrames(outs_[2].bytes)) {
      ++types[cmrType(d)];
      double xyz[3];
      if (cmrType(d) == 1 && cmrCoordinates(d, xyz)) {
        EXPECT_TRUE(xyzNear(xyz, site_.data(), 0.0006)) << "CMR station";
      }
    }
    for (int t : {0, 1, 2}) EXPECT_GE(types[t], 3) << "type " << t;
  }

  // The rover: each stream's published base epochs against the base's truth, in the order taken.
  const Truth truth = bySignal(base_.dir.read("sky.truth"));
  const std::map<std::string, double> tgd = rinexTgd(base_.dir.read("b.nav"));
  const std::vector<std::vector<Add>> r = runs(adds(rover_.out), 2.5);
  ASSERT_EQ(r.size(), std::size(kStreams)) << "one run of base epochs per stream";
  for (std::size_t k = 0; k < r.size(); ++k) {
    const std::string sys = kStreams[k].systems;
    const std::set<char> systems = sys.empty() ? systemsOf(truth) : std::set<char>(sys.begin(), sys.end());
    ASSERT_NO_FATAL_FAILURE(checkRun(r[k], truth, tgd, kStreams[k].format, systems));
  }
  EXPECT_NE(rover_.out.find(" CalcdS: "), std::string::npos) << "the projection's geometric terms";
  // The simulated base's clock never jumps: each new stream restarts the projection's models, and
  // none reads another base's carriers (RTCM 2's wrap every 2^24 cycles) as a jump.
  const std::size_t jump = rover_.out.find(" base corr ");
  EXPECT_EQ(jump, std::string::npos) << "a base clock jump: " << rover_.out.substr(jump == std::string::npos ? 0 : jump, 160);

  // The station record each stream's code corrections leave in the rover's settings image.
  const std::vector<StationRecord> st = stationRecords(rover_.dir.read(".gnss.nvm"));
  for (const StreamRow& row : kStreams) {
    bool found = false;
    for (const StationRecord& s : st) {
      if (s.id != row.recordId) continue;
      found = true;
      EXPECT_LT(s.system, 7) << "station " << s.id;
      if (s.id == 21) {
        // BeiDou's MSM comes last in each RTCM 3 epoch: the station's last corrections are
        // BeiDou's, on BeiDou time, 14 s behind GPS time, at the end of that stream's run.
        EXPECT_EQ(s.system, 5);
        const double gps = (s.ms + 14000) / 1000.0;
        EXPECT_GE(gps, r[0].front().gps) << s.ms;
        EXPECT_LE(gps, r[0].back().gps + 1.0) << s.ms;
      }
      EXPECT_TRUE(xyzNear(s.pos, site_.data(), row.recordTol)) << "station " << s.id;
    }
    EXPECT_TRUE(found) << "no station record of id " << row.recordId;
  }
}

// The base's RTCM 2 station messages and RTK corrections (3, 20, 21, 22, 23, 24) with its antenna's
// serial number and setup id set. gpsdecode reads the setup id and serial number of 23 back; the
// rover, in mode rtcm, takes the station into its base record (the antenna reference point of 24,
// the site), prints the antenna record of 23 (rtk/dbi/rtcm 3), and its projection takes the
// correction epochs of 20 and 21 without reading a jump into them.
TEST_F(BaseRover, RtcmTwoStationMessagesAndCorrectionsReachTheRover) {
  ASSERT_NO_FATAL_FAILURE(startBoth(false));
  for (const char* c : {"set,/par/ant/serial,SN4711", "set,/par/ant/setup,7", "set,/par/rtcm3/base/stid,22",
                        "dm,/dev/ser/c,rtcm", "em,/dev/ser/c,rtcm/{3,20,21,22,23,24}:1"})
    ASSERT_NO_FATAL_FAILURE(base_.must(c));
  ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/rtk/dbi/rtcm,3"));
  ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,rtcm"));
  pumpFor(1, 15000);
  ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,cmd"));
  expectBase(22, site_.data(), 0.001);
  rover_.stop();
  base_.stop();

  const std::vector<std::string> lines = rtcm2Lines();
  const std::map<int, int> types = gpsdecodeTypes(lines);
  for (int t : {3, 20, 21, 22, 23, 24}) EXPECT_GE(types.contains(t) ? types.at(t) : 0, 3) << "type " << t;
  int antennas = 0;
  for (const std::string& l : lines) {
    if (l.find("\"type\":23,") == std::string::npos) continue;
    EXPECT_NE(l.find("\"sid\":\"7\""), std::string::npos) << l;
    EXPECT_NE(l.find("\"as\":\"SN4711\""), std::string::npos) << l;
    ++antennas;
  }
  EXPECT_GE(antennas, 3);
  EXPECT_NE(rover_.out.find(" base antenna info ANT:"), std::string::npos);
  EXPECT_NE(rover_.out.find(",SET:7,SER:SN4711"), std::string::npos) << "the rover's antenna record of 23";

  const std::vector<std::vector<Add>> r = runs(adds(rover_.out), 2.5);
  ASSERT_EQ(r.size(), 1u) << "the correction epochs in the projection";
  std::set<long> epochs;
  for (const Add& a : r[0]) epochs.insert(std::lround(a.gps * 1000));
  EXPECT_GE(epochs.size(), 5u);
  EXPECT_EQ(rover_.out.find(" base corr "), std::string::npos);
}

// The legacy RTCM 3 observations: the base sends GPS 1004 with its station (1005) and antenna
// (1008, serial number). convbin reads the station and each code back to the simulator's truth; the
// rover, in mode rtcm3, publishes the base epochs, each code (with the whole milliseconds 1004
// carries) and carrier against the truth, and records the make a 1033 names.
TEST_F(BaseRover, LegacyRtcm3ObservationsReachTheRover) {
  ASSERT_NO_FATAL_FAILURE(startBoth(false));
  // CMR (station ids 0..31) off first: a larger id is refused while it is on.
  for (const char* c : {"dm,/dev/ser/d,cmr", "set,/par/ant/serial,SN4711", "set,/par/rtcm3/base/stid,33", "dm,/dev/ser/b,rtcm3",
                        "em,/dev/ser/b,rtcm3/{1004,1005,1008}:1"})
    ASSERT_NO_FATAL_FAILURE(base_.must(c));
  pumpFor(-1, 2000);
  // The ephemerides sent before give convbin's navigation file (the group delays).
  ASSERT_TRUE(base_.dir.write("b.rtcm3", outs_[0].bytes));
  outs_[0].bytes.clear();
  ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,rtcm3"));
  // The base's receiver named as a make the rover knows (a 1033 of the test's own) and its 1005
  // with the quarter-cycle indicator "unspecified": the rover asks the make's table whether the
  // base's phases are aligned, and records the make.
  ASSERT_TRUE(roverIn_->sendRaw(rtcm3w::msg1033(33, "", 0, "", "TRIMBLE NETR9", "", "")));
  edit_ = [](const std::string& f) { return rtcm3w::withQuarterCycle(f, 0); };
  pumpFor(0, 12000);
  EXPECT_EQ(rover_.ask("print,/par/calib/soft/brand/got"), re("trimble"));
  ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,cmd"));
  expectBase(33);
  rover_.stop();
  base_.stop();

  std::set<int> types;
  for (const std::string& f : rtcm3Frames(outs_[0].bytes)) types.insert(rtcm3Type(f));
  EXPECT_EQ(types, (std::set<int>{1004, 1005, 1008}));
  ASSERT_TRUE(base_.dir.write("l.rtcm3", outs_[0].bytes));
  ASSERT_TRUE(convbin("-r rtcm3 -od -os -o l.obs l.rtcm3"));
  ASSERT_TRUE(convbin("-r rtcm3 -o b.obs -n b.nav b.rtcm3"));
  const std::string obs = base_.dir.read("l.obs");
  double xyz[3];
  ASSERT_TRUE(rinexStation(obs, xyz)) << obs.substr(0, 2000);
  EXPECT_TRUE(xyzNear(xyz, site_.data(), 0.001));
  EXPECT_NE(obs.find("SN4711"), std::string::npos) << "1008's serial number in the RINEX header";
  const Truth truth = bySignal(base_.dir.read("sky.truth"));
  std::set<char> seen;
  EXPECT_GE(checkCodes(obs, truth, 0.021, seen), 20);

  const std::vector<std::vector<Add>> r = runs(adds(rover_.out), 2.5);
  ASSERT_EQ(r.size(), 1u);
  ASSERT_NO_FATAL_FAILURE(
      checkRun(r[0], truth, rinexTgd(base_.dir.read("b.nav")), {"RTCM 3 legacy", 0.021, 0.01, 0}, {'G'}));
}

// Ranges sent without their whole light-milliseconds: the base sends GPS 1003 and GLONASS 1011
// (the latter modulo two light-milliseconds), then MSM3 of every system, each with its station
// and antenna (1005, 1008), then GLONASS MSM3 alone. The rover completes each satellite's ranges from its orbit at the
// station, and publishes every code and carrier whole, as the base's simulator has them; the GLONASS epochs on GPS time,
// through the difference of the two times at the rover. A base epoch is published only once the station's antenna is
// described: GLONASS MSM3 with the station alone publishes nothing, with 1007 (the descriptor without a serial number)
// it does.
TEST_F(BaseRover, RangesWithoutWholeMillisecondsAreCompletedAtTheRover) {
  ASSERT_NO_FATAL_FAILURE(startBoth(false));
  ASSERT_TRUE(base_.dir.write("b.rtcm3", outs_[0].bytes));
  std::string msm3 = "1005,1008";
  for (int t : msm7_) msm3 += "," + std::to_string(t - 4);
  const struct {
    const char* messages;
    int stid;
  } legs[] = {{"1003,1005,1008,1011", 44}, {msm3.c_str(), 45}, {"1005,1008,1083", 46}, {"1005,1083", 47},
              {"1005,1007,1083", 48}};
  ASSERT_NO_FATAL_FAILURE(base_.must("dm,/dev/ser/d,cmr"));
  for (const auto& leg : legs) {
    SCOPED_TRACE(leg.messages);
    for (const std::string& c : {"set,/par/rtcm3/base/stid," + std::to_string(leg.stid), std::string("dm,/dev/ser/b,rtcm3"),
                                "em,/dev/ser/b,rtcm3/{" + std::string(leg.messages) + "}:1"})
      ASSERT_NO_FATAL_FAILURE(base_.must(c));
    ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/pos/pd/ref/clean,on"));
    // A gap in the base's epochs between the two legs.
    pumpFor(-1, 3000);
    ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,rtcm3"));
    pumpFor(0, 12000);
    ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,cmd"));
    expectBase(leg.stid);
  }
  rover_.stop();
  base_.stop();
  ASSERT_TRUE(convbin("-r rtcm3 -o b.obs -n b.nav b.rtcm3"));
  const Truth truth = bySignal(base_.dir.read("sky.truth"));
  const std::map<std::string, double> tgd = rinexTgd(base_.dir.read("b.nav"));
  const std::vector<std::vector<Add>> r = runs(adds(rover_.out), 2.5);
  ASSERT_EQ(r.size(), 4u) << "the base epochs of each leg with an antenna descriptor";
  ASSERT_NO_FATAL_FAILURE(checkRun(r[0], truth, tgd, {"RTCM 3 without whole ms", 0.021, 0.01, 0}, {'G', 'R'}));
  ASSERT_NO_FATAL_FAILURE(checkRun(r[1], truth, tgd, {"MSM3", 0.021, 0.01, 0}, systemsOf(truth)));
  ASSERT_NO_FATAL_FAILURE(checkRun(r[2], truth, tgd, {"GLONASS MSM3", 0.021, 0.01, 0}, {'R'}));
  ASSERT_NO_FATAL_FAILURE(checkRun(r[3], truth, tgd, {"GLONASS MSM3 with 1007", 0.021, 0.01, 0}, {'R'}));
}

// CMR+ alone for the station: the base sends GPS observations (type 0) and its station record a
// 7-byte page a message (type 9), no type 1; the rover, in mode cmr, gathers the pages into the
// station's coordinates, its base record the site within CMR's resolution, and publishes the base
// epochs.
TEST_F(BaseRover, CmrPlusStationRecordReachesTheRover) {
  ASSERT_NO_FATAL_FAILURE(startBoth(false));
  for (const char* c : {"set,/par/rtcm3/base/stid,24", "dm,/dev/ser/d,cmr", "em,/dev/ser/d,cmr/{0,9}:1"})
    ASSERT_NO_FATAL_FAILURE(base_.must(c));
  pumpFor(-1, 2000);
  outs_[2].bytes.clear();
  ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,cmr"));
  pumpFor(2, 20000);
  ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,cmd"));
  expectBase(24, site_.data(), 0.0006);
  rover_.stop();
  base_.stop();
  std::map<int, int> types;
  for (const std::string& d : cmrFrames(outs_[2].bytes)) ++types[cmrType(d)];
  EXPECT_EQ(types.count(1), 0u) << "no type 1";
  EXPECT_GT(types[0], 10);
  EXPECT_GE(cmrFrames(outs_[2].bytes, 0x94).size(), 10u) << "CMR+ pages";
  const std::vector<std::vector<Add>> r = runs(adds(rover_.out), 2.5);
  ASSERT_EQ(r.size(), 1u) << "the CMR base epochs in the projection";
}

TEST_F(BaseRover, AveragedPositionReachesTheRoverOverRtcm3) {
  ASSERT_NO_FATAL_FAILURE(startBoth(true));
  double meas[3];
  const std::string m = base_.ask("print,/par/pos/ref/meas/xyz");
  ASSERT_TRUE(printedXyz(m, meas)) << m;
  EXPECT_TRUE(xyzNear(meas, site_.data(), 0.001)) << "the board's solution is the site";
  // An id RTCM 3 alone carries: the RTCM 2 and CMR streams off first.
  for (const char* c : {"dm,/dev/ser/c,rtcm", "dm,/dev/ser/d,cmr", "set,/par/rtcm3/base/stid,1234"})
    ASSERT_NO_FATAL_FAILURE(base_.must(c));
  ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,rtcm3"));
  pumpFor(0, 12000);
  expectBase(1234, meas, 0.001);
  rover_.stop();
  base_.stop();
  ASSERT_NO_FATAL_FAILURE(checkRtcm3(meas));
  const std::vector<std::vector<Add>> r = runs(adds(rover_.out), 2.5);
  ASSERT_EQ(r.size(), 1u);
  const Truth truth = bySignal(base_.dir.read("sky.truth"));
  ASSERT_NO_FATAL_FAILURE(
      checkRun(r[0], truth, rinexTgd(base_.dir.read("b.nav")), {"RTCM 3", 0.002, 0.01, 0}, systemsOf(truth)));
  bool found = false;
  for (const StationRecord& s : stationRecords(rover_.dir.read(".gnss.nvm")))
    if (s.id == 1234) {
      found = true;
      EXPECT_TRUE(xyzNear(s.pos, meas, 0.001));
    }
  EXPECT_TRUE(found) << "the code corrections' station record";
}

// The debug switch of the satellite setup negates the axes of the satellite positions the rover's
// base processing computes from its store: its trace prints each satellite's position ("svpos").
// The satellites of the base's epochs are above the site, so each lies on the site's side of the
// Earth (a positive product with the site's coordinates); all three axes negated, on the other.
// The base offset of the code corrections from base observations is set beside it: it has no
// outside view of its own (the corrections are not printed), and runs in the same stream.
TEST_F(BaseRover, DebugSwitchNegatesTheAxesOfTheBaseSatellites) {
  ASSERT_NO_FATAL_FAILURE(startBoth(false));
  for (const char* c : {"set,/par/pos/cd/base/sys,33", "set,/par/pos/cd/base/x,120", "set,/par/pos/cd/base/z,-80",
                        "set,/par/dev/ser/b/imode,rtcm3"})
    ASSERT_NO_FATAL_FAILURE(rover_.must(c));
  const struct {
    const char* inv;
    int side;  // +1 the site's side, -1 the other
  } rows[] = {{"0", +1}, {"7", -1}, {"0", +1}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string("dbg/inv ") + r.inv);
    ASSERT_NO_FATAL_FAILURE(rover_.must(std::string("set,/par/pos/dbg/inv,") + r.inv));
    pumpFor(0, 2000);  // the store takes the setup at its next epoch
    const std::size_t from = rover_.rx->out().size();
    pumpFor(0, 5000);
    std::istringstream in(rover_.rx->out().substr(from));
    int seen = 0;
    for (std::string line; std::getline(in, line);) {
      double p[3];
      if (std::sscanf(line.c_str(), " svpos %lf %lf %lf", &p[0], &p[1], &p[2]) != 3) continue;
      const double dot = p[0] * site_[0] + p[1] * site_[1] + p[2] * site_[2];
      EXPECT_GT(r.side * dot, 0.0) << line;
      ++seen;
    }
    EXPECT_GE(seen, 4) << "the base satellites' positions";
  }
  rover_.stop();
  base_.stop();
}

// The rover's MSM compatibility choice on a base's BeiDou carriers (rtcm3/rover/msm/compat): with
// "v37" its decoder moves every carrier of the satellites below 6 and above 58 by half a cycle,
// the alignment of an older firmware of the base's make, and no other; with "v400" it takes every
// carrier as the frames hold it. convbin reads the base's BeiDou MSM7 (1127) as the frames hold
// them; the rover's projection print (rtk/dbi/cpd 11) shows what its decoder took.
TEST_F(BaseRover, MsmCompatibilityV37MovesTheCarriersOfTheBeiDouSatellitesOutsideSixToFiftyEight) {
  ASSERT_NO_FATAL_FAILURE(startBoth(false));
  ASSERT_NO_FATAL_FAILURE(base_.must("set,/par/rtcm3/base/stid,21"));
  // The geostationary satellites (1..5) join the base's epochs last: their ephemeris takes ten
  // frames of the slower data. Both runs need them from their start.
  const auto geoSent = [&] {
    for (const std::string& f : rtcm3Frames(outs_[0].bytes))
      if (rtcm3Type(f) == 1127)
        for (int s : msmSatellites(f))
          if (bdsOutsideSixToFiftyEight(s)) return true;
    return false;
  };
  ASSERT_TRUE(pump(-1, 90000, geoSent)) << "no BeiDou satellite outside 6..58 in the base's 1127";
  const struct {
    const char* compat;
    bool outsideMoved;
  } rows[] = {{"v37", true}, {"v400", false}};
  for (const auto& r : rows) {
    pumpFor(-1, 3000);  // a gap between the runs
    // A clean-up of the base puts the decoder's choice back to the default: the choice after it.
    ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/pos/pd/ref/clean,on"));
    ASSERT_NO_FATAL_FAILURE(rover_.must(std::string("set,/par/rtcm3/rover/msm/compat,") + r.compat));
    ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,rtcm3"));
    pumpFor(0, 10000);
    ASSERT_NO_FATAL_FAILURE(rover_.must("set,/par/dev/ser/b/imode,cmd"));
  }
  rover_.stop();
  base_.stop();

  std::string bds;
  for (const std::string& f : rtcm3Frames(outs_[0].bytes))
    if (rtcm3Type(f) == 1127) bds += f;
  ASSERT_TRUE(base_.dir.write("c.rtcm3", bds));
  ASSERT_TRUE(convbin("-r rtcm3 -od -os -o c.obs c.rtcm3"));
  const auto obs = rinex::readRinexObs(base_.dir.read("c.obs"));
  const std::vector<std::vector<Add>> runList = runs(adds(rover_.out), 2.5);
  ASSERT_EQ(runList.size(), std::size(rows));
  for (std::size_t k = 0; k < runList.size(); ++k) {
    SCOPED_TRACE(rows[k].compat);
    int inside = 0, outside = 0;
    for (const Add& a : runList[k]) {
      const std::string sat = satOfId(a.id);
      if (sat.empty() || sat[0] != 'C') continue;
      const auto e = obs.find(std::lround(a.gps * 1000));
      if (e == obs.end() || !e->second.contains(sat)) continue;
      // The carrier of the same signal: the nearest (another band's differs by thousands of cycles).
      double d = 1e9;
      for (const auto& [type, v] : e->second.at(sat))
        if (type[0] == 'L' && std::fabs(a.phi - v) < std::fabs(d)) d = a.phi - v;
      if (std::fabs(d) > 10.0) continue;  // a signal convbin does not read (B2b)
      const bool out = bdsOutsideSixToFiftyEight(std::atoi(sat.c_str() + 1));
      (out ? outside : inside) += 1;
      EXPECT_NEAR(std::fabs(d), out && rows[k].outsideMoved ? 0.5 : 0.0, 0.002) << sat << " slot " << a.slot << " at " << a.gps;
    }
    EXPECT_GE(inside, 10) << "carriers of satellites 6..58";
    EXPECT_GE(outside, 10) << "carriers of satellites outside 6..58";
  }
}

}  // namespace
}  // namespace e2e
