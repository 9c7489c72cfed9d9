// The RTCM 3 base decoder on real bases, against convbin (rtklib) as the truth of every epoch:
// testglo.rtcm3 (1004/1012 with 1005, 1019/1020) through the whole RTCM 3 road, the same
// epochs without their whole milliseconds completed from broadcast orbits, and
// uscl00chl0.rtcm3 (one MSM7 epoch of several systems with a 1033).
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "differential/base/code_diff_from_base.h"
#include "differential/base/rtcm3_cpd_decoder.h"
#include "differential/nav_decoder.h"
#include "differential/rtcm3_client.h"
#include "differential/rtcm3_observations.h"
#include "differential/rtk_base.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/antdb/ant_db.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/signal_tables.h"
#include "rtcm3_cpd_rinex.h"
#include "rtcm3_cpd_test_util.h"
#include "rtcm3_test_util.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

namespace {

using namespace rtcm3cpdtest;
using rtcm3test::Bytes;

constexpr int kPort = 1;

// The settings the RTCM 3 client's acceptance reads, with the base station 0 taken from any port.
struct Settings {
  RCV_SETTINGS rcv = RcvSet;
  RTCM_SETTINGS rtcm = RtcmSet;
  Settings() {
    RcvSet.refPort = -2;
    RcvSet.baseStationId = 0;
    RtcmSet.cmrDec.inUse = -1;
  }
  ~Settings() {
    RcvSet = rcv;
    RtcmSet = rtcm;
  }
};

// convbin's RINEX of a recording, in a directory of its own.
struct Convbin {
  std::string dir, obs, nav;
  Convbin(const std::string& file, const char* day) {
    EXPECT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
    char tmpl[] = "/tmp/rtcm3cpdXXXXXX";
    dir = mkdtemp(tmpl);
    obs = dir + "/o.obs";
    nav = dir + "/o.nav";
    rtcm3test::run(std::string("convbin -r rtcm3 -tr ") + day + " 00:00:00 -o " + obs + " -n " + nav + " '" + file +
                   "' > /dev/null 2>&1");
  }
  ~Convbin() { rtcm3test::run("rm -rf '" + dir + "'"); }
};

std::vector<Bytes> framesOf(const Bytes& d) {
  std::vector<Bytes> out;
  for (std::size_t i = 0; i + 6 <= d.size();) {
    if (d[i] != 0xD3) {
      ++i;
      continue;
    }
    const std::size_t n = (static_cast<std::size_t>(d[i + 1] & 3) << 8 | d[i + 2]) + 6;
    if (i + n > d.size()) break;
    out.emplace_back(d.begin() + static_cast<long>(i), d.begin() + static_cast<long>(i + n));
    i += n;
  }
  return out;
}
std::uint64_t bits(const Bytes& f, int pos, int n) {
  std::uint64_t v = 0;
  for (int k = 0; k < n; ++k) v = v << 1 | ((f[3 + (pos + k) / 8] >> (7 - (pos + k) % 8)) & 1u);
  return v;
}
int msgOf(const Bytes& f) { return static_cast<int>(bits(f, 0, 12)); }

// The whole RTCM 3 road of one port: frame decoder, the port's client, the base decoder.
struct Road {
  Base base;
  Rtcm3Client client;
  Rtcm3CpdDecoder cpd;
  Rtcm3CpdClient* table[1];
  NAV_Decoder nav{&Rtcm3Dec[kPort]};
  explicit Road(CpdUtils& u = CpdUtilsInstance) : cpd(&base.buf, u), table{&cpd} {
    client.setBaseDecoders(table);
    Rtcm3Dec[kPort].initDecoder(&client);
    // The stored base record hands received positions to this decoder.
    rtkBaseDecoders.rtcm3 = &cpd;
  }
  ~Road() {
    rtkBaseDecoders.rtcm3 = nullptr;
    Rtcm3Dec[kPort].initDecoder(&rtcm3Client[kPort]);
  }
  void put(const Bytes& f) { nav.putData(f.data(), static_cast<int>(f.size()), static_cast<InPorts::DecPortIndex>(kPort)); }
};

Bytes antennaFrame(int station) {
  return rtcm3test::frameOf(rtcm3test::payload(
      {rtcm3test::Field(1008, 12), rtcm3test::Field(static_cast<std::uint64_t>(station), 12),
       rtcm3test::Field(antDataBase.at(0).id()), rtcm3test::Field(0, 8), rtcm3test::Field("")}));
}

// What a first pass over a recording leaves: its ephemerides in the store (which also links each
// GLONASS slot to its frequency channel) and its records in order.
struct Records : rtcm3test::RecordingClient {
  struct Ev {
    bool isPos;
    RTC3_OBS obs;
    RTC3_REFPOS pos;
  };
  std::vector<Ev> ev;
  void updateRtkData(const RTC3_OBS& o, int) override { ev.push_back({false, o, {}}); }
  void updateRefPos(const RTC3_REFPOS& p, int) override {
    Ev e{true, {}, p};
    ev.push_back(e);
  }
};
void firstPass(const Bytes& data, Records& rec) {
  RTC3_Decoder& dec = Rtcm3Dec[kPort];
  dec.initDecoder(&rec);
  NAV_Decoder d(&dec);
  d.putData(data.data(), static_cast<int>(data.size()), static_cast<InPorts::DecPortIndex>(kPort));
  dec.initDecoder(&rtcm3Client[kPort]);
}

CpdSv svOf(const std::string& s, const RnxHeader& h) {
  const int n = std::atoi(s.c_str() + 1);
  switch (s[0]) {
    case 'G': return CpdSv::make(CpdSv::kGps, n);
    case 'R': return h.gloChannel.count(n) ? CpdSv::make(CpdSv::kGlonass, h.gloChannel.at(n)) : CpdSv{};
    case 'E': return CpdSv::make(CpdSv::kGalileo, n);
    case 'S': return CpdSv::make(CpdSv::kSbas, n + 100);
    case 'J': return CpdSv::make(CpdSv::kQzss, n + 192);
    case 'C': return CpdSv::make(CpdSv::kBeidou, n);
    default: return CpdSv{};
  }
}
std::vector<CpdSv> svsOf(const RnxEpoch& e, const RnxHeader& h, const std::string& systems) {
  std::vector<CpdSv> v;
  for (const auto& [sat, obs] : e.obs)
    if (systems.find(sat[0]) != std::string::npos) v.push_back(svOf(sat, h));
  return v;
}

// Phases agree up to whole 1500-cycle steps (convbin's rollover of the legacy phase).
double phaseDiff(double a, double b) {
  const double d = a - b;
  return d - 1500.0 * std::round(d / 1500.0);
}

const CpdSvMeas* findSv(const CpdMeas& m, const CpdSv& s) {
  const CpdSvMeas* e = m.find(s);
  return e == m.end() ? nullptr : e;
}

// ---- testglo.rtcm3: legacy observations ----------------------------------------------------------

TEST(Rtcm3CpdRecording, TestgloLegacyEpochsEqualConvbin) {
  Settings settings;
  SatPolynomStoreInstance.Init();
  SatDataProcessorInstance.init_Object();
  const std::string file = rtcm3test::recording("testglo.rtcm3");
  Convbin cb(file, "2009/12/18");
  RnxHeader hdr;
  std::vector<RnxEpoch> epochs;
  ASSERT_TRUE(readRinexObs(cb.obs, hdr, epochs));
  ASSERT_EQ(epochs.size(), 186u);
  std::map<long, const RnxEpoch*> byTow;
  for (const RnxEpoch& e : epochs) byTow[e.towMs] = &e;

  const Bytes data = rtcm3test::readFile(file);
  Records rec;
  firstPass(data, rec);

  Road road;
  road.put(antennaFrame(0));
  for (const Bytes& f : framesOf(data)) {
    if (msgOf(f) == 1004) {
      const long tow = static_cast<long>(bits(f, 24, 30));
      const auto it = byTow.find(tow);
      roverAt(tow, 15, it == byTow.end() ? std::vector<CpdSv>{} : svsOf(*it->second, hdr, "GR"));
    }
    road.put(f);
  }
  const std::vector<CpdMeas>& pub = road.base.pub.epochs;
  ASSERT_EQ(pub.size(), 186u);
  int sats = 0;
  for (const CpdMeas& m : pub) {
    const RnxEpoch* e = nullptr;
    for (const RnxEpoch& c : epochs)
      if (c.towMs % CpdEpochId::kHourMs == m.id.get()) e = &c;
    ASSERT_NE(e, nullptr) << "epoch id " << m.id.get();
    const std::string at = "epoch " + std::to_string(e->towMs);
    EXPECT_EQ(m.refPos.valid, 2) << at;
    EXPECT_NEAR(m.refPos.x, hdr.pos[0], 1e-4) << at;
    EXPECT_NEAR(m.refPos.y, hdr.pos[1], 1e-4) << at;
    EXPECT_NEAR(m.refPos.z, hdr.pos[2], 1e-4) << at;
    EXPECT_EQ(m.stationId, 0) << at;
    int want = 0;
    for (const auto& [sat, obs] : e->obs) {
      if (sat[0] != 'G' && sat[0] != 'R') continue;
      ++want;
      const CpdSvMeas* s = findSv(m, svOf(sat, hdr));
      ASSERT_NE(s, nullptr) << at << " " << sat;
      ++sats;
      const bool p2 = obs.count("C2W") != 0;
      const struct {
        int slot;
        std::string c, l;
      } sig[] = {{0, "C1C", "L1C"}, {p2 ? 2 : 3, p2 ? "C2W" : "C2C", p2 ? "L2W" : "L2C"}};
      for (const auto& g : sig) {
        const CpdMeasSlot& c = s->slot[g.slot];
        if (obs.count(g.c)) {
          ASSERT_TRUE(c.flags & CpdMeasSlot::kRange) << at << " " << sat << " " << g.c;
          EXPECT_NEAR(c.range, obs.at(g.c), 1e-3) << at << " " << sat << " " << g.c;
        }
        if (obs.count(g.l)) {
          ASSERT_TRUE(c.flags & CpdMeasSlot::kPhase) << at << " " << sat << " " << g.l;
          EXPECT_NEAR(phaseDiff(c.phase, obs.at(g.l)), 0.0, 0.002) << at << " " << sat << " " << g.l;
        }
      }
    }
    EXPECT_EQ(m.n, want) << at;
  }
  EXPECT_GT(sats, 186 * 8);
  SatDataProcessorInstance.init_Object();
}

// ---- the same epochs without their whole milliseconds ---------------------------------------------

TEST(Rtcm3CpdRecording, TestgloWithoutAmbiguityRestoredFromOrbits) {
  SatDataProcessorInstance.init_Object();
  const std::string file = rtcm3test::recording("testglo.rtcm3");
  Convbin cb(file, "2009/12/18");
  RnxHeader hdr;
  std::vector<RnxEpoch> epochs;
  ASSERT_TRUE(readRinexObs(cb.obs, hdr, epochs));
  RinexOrbits orbits;
  ASSERT_TRUE(orbits.read(cb.nav, hdr.gloChannel));
  std::map<long, const RnxEpoch*> byTow;
  for (const RnxEpoch& e : epochs) byTow[e.towMs] = &e;
  Records rec;
  firstPass(rtcm3test::readFile(file), rec);

  Base full, cut;
  Rtcm3CpdDecoder withAmb(&full.buf), without(&cut.buf, orbits);
  withAmb.updateAntDesc("A", 0);
  without.updateAntDesc("A", 0);
  for (const Records::Ev& e : rec.ev) {
    if (e.isPos) {
      const CpdCPos p{e.pos.x, e.pos.y, e.pos.z};
      withAmb.updateRefPos(p, e.pos.stationId);
      without.updateRefPos(p, e.pos.stationId);
      continue;
    }
    if (e.obs.system == 0) {
      const long tow = e.obs.time;
      const auto it = byTow.find(tow);
      roverAt(tow, 15, it == byTow.end() ? std::vector<CpdSv>{} : svsOf(*it->second, hdr, "GR"));
    }
    ASSERT_TRUE(e.obs.flags & 0x40);
    withAmb.update(e.obs);
    // As 1003/1011 send it: no whole milliseconds.
    RTC3_OBS o = e.obs;
    o.flags = static_cast<std::uint16_t>(o.flags & ~0x40);
    for (int k = 0; k < o.numSat; ++k) o.legacy[k].ambiguity = 0;
    without.update(o);
  }
  ASSERT_EQ(full.pub.epochs.size(), 186u);
  ASSERT_EQ(cut.pub.epochs.size(), full.pub.epochs.size());
  int sats = 0;
  for (std::size_t i = 0; i < full.pub.epochs.size(); ++i) {
    const CpdMeas& a = full.pub.epochs[i];
    const CpdMeas& b = cut.pub.epochs[i];
    ASSERT_EQ(a.id, b.id);
    ASSERT_EQ(b.n, a.n) << "epoch " << a.id.get();
    for (int k = 0; k < a.n; ++k) {
      const CpdSvMeas* s = findSv(b, a.sv[k].sv);
      ASSERT_NE(s, nullptr) << "epoch " << a.id.get() << " id " << int(a.sv[k].sv.id);
      ++sats;
      for (int slot = 0; slot < CpdSvMeas::kSlotNum; ++slot) {
        const CpdMeasSlot &x = a.sv[k].slot[slot], &y = s->slot[slot];
        ASSERT_EQ(x.flags, y.flags) << "epoch " << a.id.get() << " id " << int(a.sv[k].sv.id) << " slot " << slot;
        if (x.flags & CpdMeasSlot::kRange) {
          EXPECT_NEAR(y.range, x.range, 1e-6) << "id " << int(a.sv[k].sv.id);
        }
        if (x.flags & CpdMeasSlot::kPhase) {
          EXPECT_NEAR(y.phase, x.phase, 1e-6) << "id " << int(a.sv[k].sv.id);
        }
      }
    }
  }
  EXPECT_GT(sats, 186 * 8);
  SatDataProcessorInstance.init_Object();
}

// ---- code corrections whatever becomes of the epoch ----------------------------------------------

TEST(Rtcm3CpdRecording, CodeCorrectionsWithoutPublishing) {
  SatPolynomStoreInstance.Init();
  SatDataProcessorInstance.init_Object();
  CodeDiffFromBaseInstance.init();
  const RCV_SETTINGS saved = RcvSet;
  RcvSet.codeSmoothLen = 0;
  RcvSet.codeCorrFromBase = 1;
  Records rec;
  firstPass(rtcm3test::readFile(rtcm3test::recording("testglo.rtcm3")), rec);

  // The first GPS epoch after the station's position.
  const RTC3_REFPOS* pos = nullptr;
  const RTC3_OBS* obs = nullptr;
  for (const Records::Ev& e : rec.ev) {
    if (e.isPos && pos == nullptr) pos = &e.pos;
    if (!e.isPos && pos != nullptr && e.obs.system == 0) {
      obs = &e.obs;
      break;
    }
  }
  ASSERT_NE(obs, nullptr);
  const double T = obs->time / 1000.0;
  // The satellites' polynomials around the epoch, as the store publishes them.
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysGps] = T;
  ep.monoSec = T;
  SatDataProcessorInstance.update(ep);
  std::vector<int> withOrbit;
  for (int si = 0; si < 32; ++si) {
    const ExtEphRecord* r = SatDataProcessorInstance.get_EphLastData(kSysGps, si, 0);
    if (r == nullptr || !r->valid) continue;
    ZRT_EPH_GPS e;
    std::memcpy(&e, r->native, sizeof e);
    PolyNodeRing ring;
    bool computed = false;
    SatData::PolynomSetType set{};
    ASSERT_TRUE(update_SatellitePolynom(kSysGps, e, T - 30.0, ring, computed, set.entry[0]));
    set.entry[0].iod = e.iode;
    set.entry[1].iod = kPolyNoIod;
    const SvIdType id{static_cast<std::uint8_t>(si), kSysGps, 0, static_cast<std::uint8_t>(si)};
    ASSERT_TRUE(SatPolynomStoreInstance.Put(id, &set));
    withOrbit.push_back(si + 1);
  }
  PosData::RcvTimeDataType rt{};
  rt.ulTimeTag = obs->time;
  PVTDataInstance.rcvTime.Put(&rt);
  roverAt(obs->time, 15, {});

  Base b;
  Rtcm3CpdDecoder d(&b.buf);
  d.updateRefPos(CpdCPos{pos->x, pos->y, pos->z}, pos->stationId);
  d.update(*obs);
  d.reset();
  EXPECT_TRUE(b.pub.epochs.empty());
  const int src = get_RtcmSourceIndex(obs->time, 0);
  int found = 0;
  for (int k = 0; k < obs->numSat; ++k) {
    const int prn = obs->legacy[k].sat;
    bool orbit = false;
    for (int p : withOrbit) orbit |= p == prn;
    if (!orbit) continue;
    const SvIdType id{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
    RTCMData::SatCorrectionType c;
    ASSERT_NE(PVTDataInstance.rtcmSatCorrection[src].Take(&id, &c), 0) << "G" << prn;
    EXPECT_TRUE(c.uSlotReady[0] & RTCMData::SatCorrectionType::kRangeCode0) << "G" << prn;
    ++found;
  }
  EXPECT_GE(found, 5);
  RcvSet = saved;
  SatPolynomStoreInstance.Init();
  SatDataProcessorInstance.init_Object();
}

// ---- uscl00chl0.rtcm3: one MSM7 epoch --------------------------------------------------------------

// The receiver's slot and alignment (cycles) of a RINEX signal such as "1C".
bool slotOf(int sys, const std::string& sig, int& slot, float& shift) {
  for (int r = 0; r < SysRinexSignalNum[sys]; ++r) {
    const SysRinexSignalType& row = SysRinexSignal[sys][r];
    if (sig != row.code || row.msmId == 0) continue;
    slot = row.chanSlot != kNoSlot ? row.chanSlot : row.bandSlot;
    shift = row.phaseOffset;
    return slot >= 0 && slot < CpdSvMeas::kSlotNum;
  }
  return false;
}

TEST(Rtcm3CpdRecording, UsclMsm7EqualsConvbin) {
  Settings settings;
  SatDataProcessorInstance.init_Object();
  // The recording's multiple signal messages and its station messages, without the legacy ones beside
  // them, both for convbin and for the road.
  std::vector<Bytes> frames;
  Bytes msm;
  for (const Bytes& f : framesOf(rtcm3test::readFile(rtcm3test::recording("uscl00chl0.rtcm3")))) {
    const int n = msgOf(f);
    if (n != 1005 && n != 1006 && n != 1033 && (n < 1071 || n > 1137)) continue;
    frames.push_back(f);
    msm.insert(msm.end(), f.begin(), f.end());
  }
  char tmpl[] = "/tmp/rtcm3cpdmsmXXXXXX";
  const int fd = mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, msm.data(), msm.size()), static_cast<ssize_t>(msm.size()));
  close(fd);
  const std::string file = tmpl;
  Convbin cb(file, "2019/01/02");
  unlink(tmpl);
  RnxHeader hdr;
  std::vector<RnxEpoch> epochs;
  ASSERT_TRUE(readRinexObs(cb.obs, hdr, epochs));
  ASSERT_EQ(epochs.size(), 1u);
  const RnxEpoch& e = epochs[0];
  // The GLONASS slots' channels as a 1020 would give them to the store.
  for (const auto& [slot, ch] : hdr.gloChannel) {
    ZRT_EPH_GLN g{};
    g.slot = static_cast<std::uint8_t>(slot);
    g.freqNum = static_cast<std::int8_t>(ch);
    g.tauN = 1e-5;
    g.pos[0] = 25500.0;
    g.vel[1] = 3.0;
    SvIdType id;
    ASSERT_TRUE(svIdFromSiNumber(kSysGlonass, ch, id));
    id.sat = static_cast<std::uint8_t>(slot - 1);
    SatDataProcessorInstance.update_EphemerisData(id, 0, &g, 0, true, true, true);
  }
  roverAt(e.towMs, 18, svsOf(e, hdr, "GRESJC"));
  Road road;
  for (const Bytes& f : frames) road.put(f);

  ASSERT_EQ(road.base.pub.epochs.size(), 1u);
  const CpdMeas& m = road.base.pub.epochs[0];
  EXPECT_EQ(m.id.get(), e.towMs % CpdEpochId::kHourMs);
  EXPECT_EQ(road.cpd.times().time[CpdSv::kBeidou].get(), e.towMs % CpdEpochId::kHourMs);
  std::map<char, int> perSys;
  int want = 0;
  for (const auto& [sat, obs] : e.obs) {
    const CpdSv sv = svOf(sat, hdr);
    // A number outside the model's table (SBAS above PRN 147) has no place in an epoch.
    if (sv.id == 0) continue;
    ++want;
    const CpdSvMeas* s = findSv(m, sv);
    ASSERT_NE(s, nullptr) << sat;
    ++perSys[sat[0]];
    std::map<int, std::vector<std::string>> bySlot;
    for (const auto& [code, v] : obs) {
      int slot;
      float shift;
      if (code[0] == 'C' && slotOf(sv.sys, code.substr(1), slot, shift)) bySlot[slot].push_back(code.substr(1));
    }
    for (int k = 0; k < CpdSvMeas::kSlotNum; ++k) {
      const CpdMeasSlot& c = s->slot[k];
      EXPECT_EQ(c.flags != 0, bySlot.count(k) != 0) << sat << " slot " << k;
      if (!bySlot.count(k)) continue;
      // The slot holds one of the signals that share it.
      bool match = false;
      for (const std::string& sig : bySlot[k]) {
        int slot;
        float shift;
        slotOf(sv.sys, sig, slot, shift);
        const bool r = std::fabs(c.range - obs.at("C" + sig)) < 1e-3;
        const bool p = !obs.count("L" + sig) || std::fabs(c.phase - (obs.at("L" + sig) - shift)) < 0.002;
        match |= r && p;
      }
      EXPECT_TRUE(match) << sat << " slot " << k << " range " << c.range;
    }
  }
  for (char sys : std::string("GRESC")) EXPECT_GT(perSys[sys], 0) << sys;
  EXPECT_EQ(m.n, want);
  // The 1033: the receiver's strings and the antenna's record, as convbin's header of the whole
  // recording names them.
  Convbin whole(rtcm3test::recording("uscl00chl0.rtcm3"), "2019/01/02");
  RnxHeader wh;
  std::vector<RnxEpoch> we;
  ASSERT_TRUE(readRinexObs(whole.obs, wh, we));
  ASSERT_FALSE(wh.rcvType.empty());
  EXPECT_EQ(std::string(road.base.aux.rcvType), wh.rcvType);
  EXPECT_EQ(std::string(road.base.aux.rcvVersion), wh.rcvVersion);
  EXPECT_EQ(std::string(road.base.aux.rcvSerial), wh.rcvSerial);
  const AntDbDescr ant = antDataBase.find(wh.antType.c_str());
  EXPECT_EQ(road.base.aux.antenna.valid(), ant.valid());
  if (ant.valid()) {
    EXPECT_STREQ(road.base.aux.antenna.id(), ant.id());
  }
  SatDataProcessorInstance.init_Object();
}

// ---- random and cut input through the whole road -------------------------------------------------

TEST(Rtcm3CpdRecording, RandomAndCutFramesKeepEpochsSound) {
  Settings settings;
  SatDataProcessorInstance.init_Object();
  std::mt19937 rng(6969);
  const Bytes testglo = rtcm3test::readFile(rtcm3test::recording("testglo.rtcm3"));
  const Bytes uscl = rtcm3test::readFile(rtcm3test::recording("uscl00chl0.rtcm3"));
  const int kinds[] = {1001, 1002, 1003, 1004, 1009, 1010, 1011, 1012, 1074, 1077, 1084, 1087,
                       1094, 1097, 1124, 1127, 1005, 1006, 1008, 1033};
  std::vector<CpdSv> all;
  for (int prn = 1; prn <= 32; ++prn) all.push_back(CpdSv::make(CpdSv::kGps, prn));
  Road road;
  road.put(antennaFrame(0));
  for (int i = 0; i < 2000; ++i) {
    roverAt(static_cast<long>(rng() % 604800) * 1000, 18, all);
    Bytes p(static_cast<std::size_t>(rng() % 200 + 8));
    for (auto& c : p) c = static_cast<unsigned char>(rng());
    const int msg = kinds[rng() % std::size(kinds)];
    p[0] = static_cast<unsigned char>(msg >> 4);
    p[1] = static_cast<unsigned char>((msg & 15) << 4 | (p[1] & 15));
    // Station 0 so that the client passes it on.
    p[1] &= 0xF0;
    p[2] = 0;
    road.put(rtcm3test::frameOf(p));
  }
  // Recordings cut anywhere.
  for (const Bytes* d : {&testglo, &uscl}) {
    for (int i = 0; i < 20; ++i) {
      const std::size_t cut = rng() % d->size();
      road.put(Bytes(d->begin(), d->begin() + static_cast<long>(cut)));
    }
  }
  for (const CpdMeas& m : road.base.pub.epochs) {
    ASSERT_LE(m.n, CpdMeas::kMaxSv);
    for (int k = 0; k < m.n; ++k) ASSERT_GE(m.sv[k].sv.id, 1);
  }
  SatDataProcessorInstance.init_Object();
}

}  // namespace
