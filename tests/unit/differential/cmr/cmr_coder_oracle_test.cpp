// The CMR coder's frames read back by the receiver's own CMR reader: convbin's RINEX of
// testglo.rtcm3 (GPS and GLONASS code and carrier on L1 and L2) put into the base data, coded as
// types 0 and 3, comes back equal to convbin's values within CMR resolution (1/8 L1 cycle for the
// code, 1/256 cycle for the carriers, 1 cm for the L2 code) with the slip counters kept; random
// base data, station records and CMR+ pages make the same round trip.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "../rtcm3_test_util.h"
#include "cmr_convbin.h"
#include "cmr_test_util.h"
#include "differential/cmr/cmr_coder.h"
#include "differential/cmr/cmr_decoder.h"
#include "differential/nav_decoder.h"

namespace {

constexpr double kC = 299792458.0;
constexpr double kLms = kC / 1000.0;

struct Source : NAV_Coder_Client {
  NAVCOD_RTK_DATA rtk{};
  NAVCOD_REF_COORD ref{};
  bool getRtkData(const NAVCOD_RTK_DATA** out) override { return *out = &rtk, true; }
  bool getRefCoord(bool, NAVCOD_REF_COORD** out, bool, bool& r, bool& a) override {
    *out = &ref;
    return r = a = true;
  }
  bool getIonoCorData(const NAVCOD_IONO_DATA**) override { return false; }
  bool getSysTime(bool, long& t) override { return t = 7, true; }
  bool getDifCorData(const NAVCOD_DIF_DATA**) override { return false; }
};

struct Reader {
  cmrtest::Recorder rec;
  CmrStationTable table;
  CMR_Decoder kernel{&table};
  NAV_Decoder drv{&kernel};
  Reader() {
    table.init(&rec);
    table.roverSource = nullptr;
  }
  void feed(const std::uint8_t* b, int n) { drv.putData(b, n, InPorts::DEC_SER_A); }
};

// Codes every kind once and hands the frames to the reader.
void codeAndRead(CMR_Coder& c, Reader& r, const bool kinds[kCmrMsgCount], int plusCalls = 0) {
  c.initCoding(kinds);
  c.makeCoding();
  std::uint8_t out[CMR_Coder::kMaxFrame];
  for (int k = 0; k < kCmrMsgCount; ++k) {
    const int calls = k == kCmrMsgPlus ? plusCalls : 1;
    for (int i = 0; i < calls; ++i) {
      const int n = c.buildMessage(k, out, sizeof out);
      if (n > 0) r.feed(out, n);
    }
  }
}

double lam(int sys, int freq, int k) {
  if (sys == kSysGlonass) return kC / (freq == 0 ? 1602e6 + k * 562500.0 : 1246e6 + k * 437500.0);
  return kC / (freq == 0 ? 1575.42e6 : 1227.6e6);
}

// What the reader's fields give back as whole measurements, with the light-milliseconds the
// coder dropped.
struct Back {
  double code, phase, code2, phase2;
};
Back restore(const CMR_MEAS::Sv& s, double ms, int sys, int k) {
  const double l1 = lam(sys, 0, k), l2 = lam(sys, 1, k);
  Back b{};
  b.code = ms * kLms + s.l1Code * l1;
  b.phase = b.code + s.l1Phase * l1;
  b.code2 = b.code + s.l2Range;
  b.phase2 = b.code + s.l2Phase * l2;
  return b;
}

// ---- convbin's RINEX of a real base ----------------------------------------------------------------

using cmrtest::Rinex;
using Obs = cmrtest::RinexObs;

TEST(CmrCoderOracle, TestgloThroughTheReader) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  const Rinex rx = cmrtest::convbinTestglo();
  ASSERT_GE(rx.epochs.size(), 100u);
  Source src;
  CMR_Coder coder(&src);
  CMR_COD_SETTINGS set{};
  set.stationId = 17;
  set.l2 = 1;
  coder.setSettings(set);
  Reader rd;
  const bool obsKinds[kCmrMsgCount] = {true, true, false, false, false};
  int sats = 0, l2s = 0, epochNo = 0;
  std::map<int, int> slipsSent;  // (L2 10000 +) sys x 100 + prn -> lock losses made
  for (const auto& [tow, obs] : rx.epochs) {
    NAVCOD_RTK_DATA& rtk = src.rtk;
    rtk = NAVCOD_RTK_DATA{};
    rtk.ulTime[kSysGps] = static_cast<std::uint32_t>(tow);
    rtk.ulTime[kSysGlonass] = static_cast<std::uint32_t>(((tow % 86400000) - 15000 + 10800000) % 86400000);
    // GLONASS entries first, as the reader takes GPS last.
    for (char want : {'R', 'G'})
      for (const Obs& o : obs) {
        if (o.sys != want || o.v[0] == 0.0 || o.v[1] == 0.0 || rtk.uSatCount >= kBaseSats) continue;
        const int sys = o.sys == 'G' ? kSysGps : kSysGlonass;
        const int k = sys == kSysGlonass ? rx.gloChannel.at(o.prn) : 0;
        RTK_DATA_SV& sv = rtk.sat[rtk.uSatCount++];
        sv.uNumber = static_cast<std::uint8_t>(o.prn);
        sv.uSystem = static_cast<std::uint8_t>(sys);
        sv.cGloFreq = static_cast<std::int8_t>(k);
        // Every 40th epoch satellite 5 of each system loses lock on both frequencies.
        const bool loss = o.prn == 5 && epochNo % 40 == 39;
        const std::uint32_t lock = loss ? 0u : static_cast<std::uint32_t>(1000 + epochNo);
        RTK_DATA_SLOT& s1 = sv.slot[0];
        s1.dCode = o.v[0];
        s1.dPhase = o.v[1] * lam(sys, 0, k);
        s1.uCn0 = 45 * 4;
        s1.ulLock = lock;
        s1.bPresent = 1;
        if (loss) ++slipsSent[sys * 100 + o.prn];
        if (o.v[2] != 0.0 && o.v[3] != 0.0) {
          if (loss) ++slipsSent[10000 + sys * 100 + o.prn];
          RTK_DATA_SLOT& s2 = sv.slot[2];
          s2.dCode = o.v[2];
          s2.dPhase = o.v[3] * lam(sys, 1, k);
          s2.uCn0 = 40 * 4;
          s2.ulLock = lock;
          s2.bPresent = 1;
        }
        rtk.bValid[sys] = 1;
        ++rtk.uCount[sys];
        ++rtk.uCountCmr[sys];
      }
    const std::size_t before = rd.rec.meas.size();
    codeAndRead(coder, rd, obsKinds);
    ++epochNo;
    // One record per system that has satellites.
    for (std::size_t m = before; m < rd.rec.meas.size(); ++m) {
      const CMR_MEAS& got = rd.rec.meas[m];
      const int sys = got.sys == 1 ? kSysGlonass : kSysGps;
      EXPECT_EQ(static_cast<std::uint32_t>(got.timeMs), rtk.ulTime[sys] % 240000);
      int want = 0;
      for (int i = 0; i < rtk.uSatCount; ++i) want += rtk.sat[i].uSystem == sys;
      ASSERT_EQ(got.count, std::min(want, 16)) << tow;
      int seen = 0;
      for (int i = 0; i < rtk.uSatCount && seen < got.count; ++i) {
        const RTK_DATA_SV& sv = rtk.sat[i];
        if (sv.uSystem != sys) continue;
        const CMR_MEAS::Sv& s = got.sv[seen++];
        ASSERT_EQ(s.num, sv.uNumber) << tow;
        const double l1 = lam(sys, 0, sv.cGloFreq), l2 = lam(sys, 1, sv.cGloFreq);
        const Back b = restore(s, std::floor(sv.slot[0].dCode / kLms), sys, sv.cGloFreq);
        EXPECT_NEAR(b.code, sv.slot[0].dCode, l1 / 16 + 1e-6) << tow << " " << int(sv.uNumber);
        ASSERT_TRUE(s.l1Flags & CMR_MEAS::kL1PhaseValid) << tow << " " << int(sv.uNumber);
        EXPECT_NEAR(b.phase, sv.slot[0].dPhase, l1 / 512 + 1e-6) << tow << " " << int(sv.uNumber);
        EXPECT_EQ(s.l1Slip, slipsSent[sys * 100 + sv.uNumber]) << tow;
        ++sats;
        if (!sv.slot[2].bPresent) {
          EXPECT_FALSE(s.l1Flags & CMR_MEAS::kL2Present);
          continue;
        }
        ASSERT_TRUE(s.l1Flags & CMR_MEAS::kL2Present);
        ASSERT_TRUE(s.l2Flags & CMR_MEAS::kL2CodeValid) << tow;
        ASSERT_TRUE(s.l2Flags & CMR_MEAS::kL2PhaseValid) << tow;
        EXPECT_NEAR(b.code2, sv.slot[2].dCode, 0.005 + l1 / 16 + 1e-6) << tow;
        EXPECT_NEAR(b.phase2, sv.slot[2].dPhase, l2 / 512 + 1e-6) << tow;
        EXPECT_EQ(s.l2Slip, slipsSent[10000 + sys * 100 + sv.uNumber]) << tow;
        ++l2s;
      }
    }
  }
  EXPECT_GT(sats, 1000);
  EXPECT_GT(l2s, 1000);
  EXPECT_GE(slipsSent.size(), 2u) << "lock losses made";
}

// ---- random base data ------------------------------------------------------------------------------

TEST(CmrCoderRoundTrip, RandomObservationsComeBackWithinResolution) {
  std::mt19937 rng(64);
  std::uniform_real_distribution<double> range(1.9e7, 2.6e7), small(-300.0, 300.0), l2off(-300.0, 300.0);
  std::uniform_int_distribution<int> ch(-7, 6), cn(20, 63), prn(1, 32), coin(0, 1);
  for (int trial = 0; trial < 200; ++trial) {
    Source src;
    CMR_Coder coder(&src);
    CMR_COD_SETTINGS set{};
    set.stationId = 3;
    set.l2 = 1;
    set.phaseSign = static_cast<std::uint8_t>(trial % 7 == 0);
    coder.setSettings(set);
    NAVCOD_RTK_DATA& rtk = src.rtk;
    for (int i = 0; i < 14; ++i) {
      const int sys = i < 7 ? kSysGlonass : kSysGps;
      RTK_DATA_SV& sv = rtk.sat[rtk.uSatCount++];
      sv.uNumber = static_cast<std::uint8_t>(sys == kSysGps ? prn(rng) : i + 1);
      sv.uSystem = static_cast<std::uint8_t>(sys);
      sv.cGloFreq = static_cast<std::int8_t>(sys == kSysGlonass ? ch(rng) : 0);
      const double code = range(rng);
      sv.slot[0] = RTK_DATA_SLOT{};
      sv.slot[0].dCode = code;
      sv.slot[0].dPhase = code + small(rng);
      sv.slot[0].uCn0 = static_cast<std::uint8_t>(cn(rng) * 4);
      sv.slot[0].bPresent = 1;
      if (coin(rng)) {
        sv.slot[2].dCode = code + l2off(rng);
        sv.slot[2].dPhase = code + small(rng);
        sv.slot[2].uCn0 = static_cast<std::uint8_t>(cn(rng) * 4);
        sv.slot[2].bPresent = 1;
      }
      rtk.bValid[sys] = 1;
      ++rtk.uCountCmr[sys];
    }
    rtk.ulTime[kSysGps] = static_cast<std::uint32_t>(trial * 1000003L % 604800000);
    rtk.ulTime[kSysGlonass] = static_cast<std::uint32_t>(trial * 7919L % 86400000);
    Reader rd;
    const bool obsKinds[kCmrMsgCount] = {true, true, false, false, false};
    codeAndRead(coder, rd, obsKinds);
    ASSERT_EQ(rd.rec.meas.size(), 2u) << trial;
    for (const CMR_MEAS& m : rd.rec.meas) {
      const int sys = m.sys == 1 ? kSysGlonass : kSysGps;
      ASSERT_EQ(m.count, 7) << trial;
      EXPECT_EQ(static_cast<std::uint32_t>(m.timeMs), rtk.ulTime[sys] % 240000);
      for (int j = 0; j < 7; ++j) {
        const RTK_DATA_SV& sv = rtk.sat[(sys == kSysGlonass ? 0 : 7) + j];
        const CMR_MEAS::Sv& s = m.sv[j];
        EXPECT_EQ(s.num, sv.uNumber);
        const double sign = set.phaseSign ? -1.0 : 1.0;
        const Back b = restore(s, std::floor(sv.slot[0].dCode / kLms), sys, sv.cGloFreq);
        const double l1 = lam(sys, 0, sv.cGloFreq), l2 = lam(sys, 1, sv.cGloFreq);
        EXPECT_NEAR(b.code, sv.slot[0].dCode, l1 / 16 + 1e-6) << trial;
        EXPECT_NEAR(sign * (b.phase - b.code), sv.slot[0].dPhase - b.code, l1 / 512 + 1e-6) << trial;
        const int cnr = sv.slot[0].uCn0 / 4;
        EXPECT_EQ(s.l1Energy, static_cast<float>(cnr < 28 ? 28 : std::min(28 + 2 * ((cnr - 28) / 2), 58))) << cnr;
        EXPECT_EQ((s.l1Flags & CMR_MEAS::kL2Present) != 0, sv.slot[2].bPresent != 0);
        if (!sv.slot[2].bPresent) continue;
        EXPECT_NEAR(b.code2, sv.slot[2].dCode, 0.005 + l1 / 16 + 1e-6) << trial;
        EXPECT_NEAR(sign * (b.phase2 - b.code), sv.slot[2].dPhase - b.code, l2 / 512 + 1e-6) << trial;
        EXPECT_EQ(s.l2Energy, static_cast<float>(std::min(sv.slot[2].uCn0 / 4, 60) / 4 * 4));
      }
    }
  }
}

TEST(CmrCoderRoundTrip, StationAndDescriptionAsType1Type2AndCmrPlus) {
  struct Row {
    const char* name;
    double xyz[3];
    float h, e, n;
    std::string s, c, l;
    bool countIsPages;
  } rows[] = {
      {"short names", {-3869297.514, 3436571.335, 3717369.376}, 1.5f, -0.002f, 0.003f, "TESTGLO", "", "x", false},
      {"51-character name", {1114104.5999, -4850729.7108, 3975521.4643}, 8.191f, 0.0f, -8.192f, "ABCDEFGH",
       "0123456789ABCDEF", std::string(51, 'n'), true},
      {"record a multiple of 7", {6378137.0, -0.001, 0.0}, 0.0f, 1.0f, 2.0f, "B", "C", "ab", false},
  };
  for (const Row& r : rows) {
    Source src;
    src.ref.dX = r.xyz[0], src.ref.dY = r.xyz[1], src.ref.dZ = r.xyz[2];
    src.ref.fAntHeight = r.h, src.ref.fEast = r.e, src.ref.fNorth = r.n;
    src.ref.antSetupId = 44;
    CMR_Coder coder(&src);
    CMR_COD_SETTINGS set{};
    set.stationId = 9;
    set.l2 = 1;
    set.posAccuracy = 5;
    set.plusPageCount = r.countIsPages;
    std::strncpy(set.shortName, r.s.c_str(), 8);
    std::strncpy(set.cogo, r.c.c_str(), 16);
    std::strncpy(set.longName, r.l.c_str(), 51);
    coder.setSettings(set);
    Reader rd;
    CMR_DEC_SETTINGS ds = rd.table.getSettings();
    ds.idxSet = r.countIsPages;
    rd.table.setSettings(ds);
    const bool kinds[kCmrMsgCount] = {false, false, true, true, true};
    codeAndRead(coder, rd, kinds, 15);
    ASSERT_EQ(rd.rec.coords.size(), 2u) << r.name << ": type 1 and the CMR+ record";
    ASSERT_EQ(rd.rec.descs.size(), 2u) << r.name << ": type 2 and the CMR+ record";
    for (const CMR_REF_COORD& c : rd.rec.coords) {
      EXPECT_NEAR(c.x, r.xyz[0], 0.0005) << r.name;
      EXPECT_NEAR(c.y, r.xyz[1], 0.0005) << r.name;
      EXPECT_NEAR(c.z, r.xyz[2], 0.0005) << r.name;
      EXPECT_NEAR(c.antHeight, r.h, 0.0005) << r.name;
      EXPECT_NEAR(c.east, r.e, 0.0005) << r.name;
      EXPECT_NEAR(c.north, r.n, 0.0005) << r.name;
      EXPECT_EQ(c.accuracy, 5) << r.name;
      EXPECT_EQ(c.stationId, 9) << r.name;
    }
    EXPECT_EQ(rd.rec.coords[1].antNum, 44) << r.name;
    for (const CMR_REF_DESC& d : rd.rec.descs) {
      EXPECT_EQ(std::string(d.shortName), std::string(8 - r.s.size(), ' ') + r.s) << r.name;
      EXPECT_EQ(std::string(d.cogo + 16 - r.c.size()), r.c) << r.name;
      EXPECT_EQ(std::string(d.longName), r.l) << r.name;
    }
  }
}

}  // namespace
