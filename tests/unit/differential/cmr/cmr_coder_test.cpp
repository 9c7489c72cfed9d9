// The CMR coder against frames the test builds itself from the public CMR layout (cmr_test_util.h):
// observation blocks of GPS and GLONASS, station coordinates, description, CMR+ pages, the
// header's time, and the fields that cannot hold a value.
#include "differential/cmr/cmr_coder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "cmr_test_util.h"

namespace {

using namespace cmrtest;

constexpr double kC = 299792458.0;
constexpr double kLms = kC / 1000.0;

struct Source : NAV_Coder_Client {
  NAVCOD_RTK_DATA rtk{};
  NAVCOD_REF_COORD ref{};
  bool haveRtk = true, haveRef = true;
  long t = 480000;
  bool lastStatic = true;
  bool getRtkData(const NAVCOD_RTK_DATA** out) override {
    *out = &rtk;
    return haveRtk;
  }
  bool getRefCoord(bool, NAVCOD_REF_COORD** out, bool staticBase, bool& r, bool& a) override {
    *out = &ref;
    lastStatic = staticBase;
    r = a = haveRef;
    return true;
  }
  bool getIonoCorData(const NAVCOD_IONO_DATA**) override { return false; }
  bool getSysTime(bool, long& out) override { return out = t, true; }
  bool getDifCorData(const NAVCOD_DIF_DATA**) override { return false; }
};

double lambda1(int sys, int k) { return sys == kSysGlonass ? kC / (1602e6 + k * 562500.0) : kC / 1575.42e6; }
double lambda2(int sys, int k) { return sys == kSysGlonass ? kC / (1246e6 + k * 437500.0) : kC / 1227.6e6; }

// One satellite given by the fields it should produce: the code is built back from them.
struct Sat {
  int sys, num, k;
  long ms;          // whole light-milliseconds of the range
  long code;        // 1/8 L1 cycle
  long cmc;         // L1 carrier minus code, 1/256 cycle
  int cn0;          // dB-Hz
  bool l2;
  long l2range;     // cm
  long l2phase;     // 1/256 L2 cycle
  int cn0L2;
};

void addSat(NAVCOD_RTK_DATA& rtk, const Sat& s) {
  RTK_DATA_SV& sv = rtk.sat[rtk.uSatCount++];
  sv = RTK_DATA_SV{};
  sv.uNumber = static_cast<std::uint8_t>(s.num);
  sv.uSystem = static_cast<std::uint8_t>(s.sys);
  sv.cGloFreq = static_cast<std::int8_t>(s.k);
  const double l1 = lambda1(s.sys, s.k), l2 = lambda2(s.sys, s.k);
  const double code = s.ms * kLms + s.code * l1 / 8.0;
  for (int slot : {0, 1}) {
    sv.slot[slot].dCode = code;
    sv.slot[slot].dPhase = code + s.cmc * l1 / 256.0;
    sv.slot[slot].uCn0 = static_cast<std::uint8_t>(s.cn0 * 4);
    sv.slot[slot].bPresent = 1;
  }
  if (s.l2) {
    sv.slot[2].dCode = code + s.l2range * 0.01;
    sv.slot[2].dPhase = code + s.l2phase * l2 / 256.0;
    sv.slot[2].uCn0 = static_cast<std::uint8_t>(s.cn0L2 * 4);
    sv.slot[2].bPresent = 1;
  }
  ++rtk.uCount[s.sys];
  ++rtk.uCountCmr[s.sys];
  rtk.bValid[s.sys] = 1;
}

Bytes build(CMR_Coder& c, int kind) {
  std::uint8_t out[CMR_Coder::kMaxFrame] = {};
  const int n = c.buildMessage(kind, out, sizeof out);
  return Bytes(out, out + n);
}

CMR_Coder armed(Source& src, const CMR_COD_SETTINGS& set) {
  CMR_Coder c(&src);
  c.setSettings(set);
  const bool all[kCmrMsgCount] = {true, true, true, true, true};
  c.initCoding(all);
  c.makeCoding();
  return c;
}

CMR_COD_SETTINGS defaults(int station = 5) {
  CMR_COD_SETTINGS s{};
  s.stationId = static_cast<std::int16_t>(station);
  s.l2 = 1;
  return s;
}

// ---- observations --------------------------------------------------------------------------------

struct ObsRow {
  const char* name;
  Sat sat;
  int l1Code;  // signal slot of the L1 code
  int wantSnr, wantL2Snr;
};

TEST(CmrCoderObs, GpsBlocksAsTheyAreLaidOut) {
  const ObsRow rows[] = {
      {"PRN 32 sent as 0", {kSysGps, 32, 0, 70, 1234567, -1000, 45, false, 0, 0, 0}, 0, 8, 0},
      {"P-code satellite", {kSysGps, 7, 0, 68, 9876543, 2000, 45, false, 0, 0, 0}, 1, 8, 0},
      {"SNR 27 dB-Hz", {kSysGps, 1, 0, 67, 100, 0, 27, false, 0, 0, 0}, 0, 0, 0},
      {"SNR 28 dB-Hz", {kSysGps, 2, 0, 67, 100, 0, 28, false, 0, 0, 0}, 0, 0, 0},
      {"SNR 59 dB-Hz", {kSysGps, 3, 0, 67, 100, 0, 59, false, 0, 0, 0}, 0, 15, 0},
      {"SNR 60 dB-Hz held at 15", {kSysGps, 4, 0, 67, 100, 0, 60, false, 0, 0, 0}, 0, 15, 0},
      {"SNR 61 dB-Hz held at 15", {kSysGps, 5, 0, 67, 100, 0, 61, false, 0, 0, 0}, 0, 15, 0},
      {"with L2", {kSysGps, 9, 0, 72, 5555555, -524288, 50, true, -321, 524287, 44}, 0, 11, 11},
      {"L2 SNR above 60 held at 15", {kSysGps, 10, 0, 72, 5555555, 0, 50, true, 32767, -7, 63}, 0, 11, 15},
      {"L2 range at its low edge", {kSysGps, 11, 0, 72, 5555555, 0, 50, true, -32768, -7, 20}, 0, 11, 5},
  };
  for (const ObsRow& r : rows) {
    Source src;
    src.rtk.ulTime[kSysGps] = 604799000;  // 239,000 ms into its four-minute block
    addSat(src.rtk, r.sat);
    CMR_COD_SETTINGS set = defaults(31);
    set.l1Code = static_cast<std::uint8_t>(r.l1Code);
    CMR_Coder c = armed(src, set);
    SatObs s{};
    s.prn = r.sat.num;
    s.pcode = r.l1Code == 1;
    s.code = r.sat.code;
    s.phase = r.sat.cmc;
    s.snr = r.wantSnr;
    s.l2 = r.sat.l2;
    s.l2range = r.sat.l2range;
    s.l2phase = r.sat.l2phase;
    s.l2snr = r.wantL2Snr;
    EXPECT_EQ(build(c, kCmrMsgGps), frame(0x93, obsBody(3, 31, 0, 239000, {s}))) << r.name;
    EXPECT_TRUE(build(c, kCmrMsgGlonass).empty()) << r.name << ": no GLONASS satellite";
  }
}

TEST(CmrCoderObs, GlonassAsType3WithEachChannelsWavelengths) {
  Source src;
  src.rtk.ulTime[kSysGlonass] = 86399990;
  addSat(src.rtk, {kSysGlonass, 24, -7, 63, 11111111, 300000, 40, true, 150, -400000, 40});
  addSat(src.rtk, {kSysGlonass, 3, 6, 75, 222, -300000, 46, true, -150, 400000, 48});
  CMR_Coder c = armed(src, defaults(12));
  SatObs a{}, b{};
  a.prn = 24, a.code = 11111111, a.phase = 300000, a.snr = 6, a.l2 = true, a.l2range = 150, a.l2phase = -400000, a.l2snr = 10;
  b.prn = 3, b.code = 222, b.phase = -300000, b.snr = 9, b.l2 = true, b.l2range = -150, b.l2phase = 400000, b.l2snr = 12;
  EXPECT_EQ(build(c, kCmrMsgGlonass), frame(0x93, obsBody(3, 12, 3, 86399990 % 240000, {a, b})));
  EXPECT_TRUE(build(c, kCmrMsgGps).empty());
}

// Values the fields cannot hold are not sent wrapped: the matching valid bit goes instead.
TEST(CmrCoderObs, FieldsThatWouldWrapClearTheirValidBit) {
  struct Row {
    const char* name;
    double l1PhaseShift, l2CodeShift, l2PhaseShift;  // m added to the measurement
    bool l1Valid;
    int l2Flags;
  } rows[] = {
      {"in range", 0, 0, 0, true, 0x1F},
      {"L1 carrier 2 km off the code", 2000.0, 0, 0, false, 0x1F},
      {"L2 code 400 m off", 0, 400.0, 0, true, 0x1B},
      {"L2 code -400 m off", 0, -400.0, 0, true, 0x1B},
      {"L2 carrier 2 km off", 0, 0, 2000.0, true, 0x1D},
      {"both L2 fields", 0, 400.0, -2000.0, true, 0x19},
  };
  for (const Row& r : rows) {
    Source src;
    addSat(src.rtk, {kSysGps, 6, 0, 70, 4000, 10, 40, true, 20, 30, 40});
    RTK_DATA_SV& sv = src.rtk.sat[0];
    sv.slot[0].dPhase += r.l1PhaseShift;
    sv.slot[2].dCode += r.l2CodeShift;
    sv.slot[2].dPhase += r.l2PhaseShift;
    CMR_Coder c = armed(src, defaults());
    SatObs s{};
    s.prn = 6, s.code = 4000, s.snr = 6, s.l2 = true, s.l2snr = 10;
    s.phaseValid = r.l1Valid;
    s.phase = r.l1Valid ? 10 : 0;
    s.l2flags = r.l2Flags;
    s.l2range = (r.l2Flags & 0x04) ? 20 : 0;
    s.l2phase = (r.l2Flags & 0x02) ? 30 : 0;
    EXPECT_EQ(build(c, kCmrMsgGps), frame(0x93, obsBody(3, 5, 0, 0, {s}))) << r.name;
  }
}

TEST(CmrCoderObs, SatellitesBySystemWithinTheCmrCountAndAFrame) {
  struct Row {
    const char* name;
    int gps, glo, cmrLimit, l2Setting;
    int wantGps, wantGlo;
  } rows[] = {
      {"mixed order", 5, 4, -1, 1, 5, 4},
      {"count frozen at 3", 6, 0, 3, 1, 3, 0},
      {"20 satellites: 16 per frame", 20, 0, -1, 1, 16, 0},
      {"20 without L2: still 16", 20, 0, -1, 0, 16, 0},
  };
  for (const Row& r : rows) {
    Source src;
    for (int i = 0; i < std::max(r.gps, r.glo); ++i) {
      if (i < r.gps) addSat(src.rtk, {kSysGps, i + 1, 0, 70, 100 + i, 0, 40, true, 0, 0, 40});
      if (i < r.glo) addSat(src.rtk, {kSysGlonass, i + 1, 1, 70, 100 + i, 0, 40, true, 0, 0, 40});
    }
    if (r.cmrLimit >= 0) src.rtk.uCountCmr[kSysGps] = static_cast<std::uint8_t>(r.cmrLimit);
    CMR_COD_SETTINGS set = defaults();
    set.l2 = static_cast<std::uint8_t>(r.l2Setting);
    CMR_Coder c = armed(src, set);
    for (int sys : {kSysGps, kSysGlonass}) {
      const Bytes f = build(c, sys == kSysGps ? kCmrMsgGps : kCmrMsgGlonass);
      const int want = sys == kSysGps ? r.wantGps : r.wantGlo;
      if (want == 0) {
        EXPECT_TRUE(f.empty()) << r.name;
        continue;
      }
      ASSERT_GE(f.size(), 10u) << r.name;
      const cmr::Header h = cmr::unpackHeader(f.data() + 4);
      EXPECT_EQ(h.low5, want) << r.name << " sys " << sys;
      EXPECT_EQ(f[3], 6 + want * (r.l2Setting ? 15 : 8)) << r.name;
      // The satellites are the first of the system, in data order.
      EXPECT_EQ(f[4 + 6] >> 3, 1) << r.name;
    }
  }
}

TEST(CmrCoderObs, SlipCounterCountsEachLossOfLock) {
  Source src;
  addSat(src.rtk, {kSysGps, 4, 0, 70, 100, 0, 40, true, 0, 0, 40});
  CMR_Coder c(&src);
  c.setSettings(defaults());
  const bool all[kCmrMsgCount] = {true, false, false, false, false};
  struct Step {
    std::uint32_t lock1, lock2;
    int slip1, slip2;
  } steps[] = {{100, 100, 0, 0}, {200, 50, 0, 1}, {10, 60, 1, 1}, {20, 0, 1, 2}};
  for (const Step& s : steps) {
    src.rtk.sat[0].slot[0].ulLock = s.lock1;
    src.rtk.sat[0].slot[2].ulLock = s.lock2;
    c.initCoding(all);
    c.makeCoding();
    const Bytes f = build(c, kCmrMsgGps);
    ASSERT_EQ(f.size(), 27u);
    EXPECT_EQ(f[4 + 6 + 7], s.slip1) << s.lock1;
    EXPECT_EQ(f[4 + 6 + 8 + 6], s.slip2) << s.lock2;
  }
}

// ---- station --------------------------------------------------------------------------------------

TEST(CmrCoderStation, CoordinatesIn4mmAnd1mmWithClampedOffsets) {
  struct Row {
    const char* name;
    double xyz[3];
    float height, east, north;
    std::int64_t wantMm[3];
    int wantOff[3];
  } rows[] = {
      {"the RTCM standard's station", {1114104.5999, -4850729.7108, 3975521.4643}, 1.5f, 0.0f, 0.0f,
       {1114104600, -4850729711, 3975521464}, {1500, 0, 0}},
      {"antenna 9 m sent 8191 mm", {1.0, 2.0, 3.0}, 9.0f, 0.01f, -0.02f, {1000, 2000, 3000}, {8191, 10, -20}},
      {"antenna -9 m sent -8192 mm", {-0.001, -0.002, -0.003}, -9.0f, 9.0f, -9.0f, {-1, -2, -3}, {-8192, 8191, -8192}},
  };
  for (const Row& r : rows) {
    Source src;
    src.ref.dX = r.xyz[0], src.ref.dY = r.xyz[1], src.ref.dZ = r.xyz[2];
    src.ref.fAntHeight = r.height, src.ref.fEast = r.east, src.ref.fNorth = r.north;
    src.t = 604799999;  // 239,999 ms in the block
    CMR_COD_SETTINGS set = defaults(0);
    set.posAccuracy = 7;
    set.lowBattery = 1;
    set.motion = 1;
    CMR_Coder c = armed(src, set);
    Bits w;
    header(w, 3, 0, 1, 0x10 | 0x02, 239999, 1, 0);
    coordBody(w, r.wantMm, r.wantOff, 7);
    EXPECT_EQ(build(c, kCmrMsgRefCoord), frame(0x93, w.b)) << r.name;
    EXPECT_TRUE(src.lastStatic) << r.name;
  }
}

TEST(CmrCoderStation, DescriptionWithItsLengthByte) {
  struct Row {
    const char* name;
    std::string s, c, l;
  } rows[] = {
      {"empty long name", "BASE", "COGO1", ""},
      {"long name of 51", "ABCDEFGH", "C", std::string(51, 'L')},
      {"names beyond their fields cut", "ABCDEFGHIJ", "0123456789ABCDEFG", "x"},
  };
  for (const Row& r : rows) {
    Source src;
    src.haveRef = false;  // the description needs no station position
    CMR_COD_SETTINGS set = defaults(5);
    std::strncpy(set.shortName, r.s.c_str(), sizeof set.shortName - 1);
    std::strncpy(set.cogo, r.c.c_str(), sizeof set.cogo - 1);
    std::strncpy(set.longName, r.l.c_str(), sizeof set.longName - 1);
    CMR_Coder c = armed(src, set);
    const Bytes f = build(c, kCmrMsgDesc);
    const std::string s8 = r.s.substr(0, 8), c16 = r.c.substr(0, 16);
    Bytes want = descBody(5, s8, c16, r.l);
    want[1] |= 0x02;  // L2 on
    EXPECT_EQ(f, frame(0x93, want)) << r.name;
    EXPECT_EQ(static_cast<std::size_t>(f[3]), 32 + r.l.size()) << r.name;
  }
}

TEST(CmrCoderStation, CmrPlusPagesForBothCountForms) {
  struct Row {
    const char* name;
    bool countIsPages;
    std::string l;
    int wantPages;
  } rows[] = {
      {"highest index, short name", false, "Long station name", 11},
      {"page count, short name", true, "Long station name", 11},
      {"record of 56 bytes: 8 pages, none empty", false, "ab", 8},
      {"record of 56 bytes, count form", true, "ab", 8},
      {"51-character name fills 15 pages", false, std::string(51, 'x'), 15},
      {"51-character name, count form", true, std::string(51, 'x'), 15},
  };
  for (const Row& r : rows) {
    Source src;
    src.ref.dX = -3869297.514, src.ref.dY = 3436571.335, src.ref.dZ = 3717369.376;
    src.ref.fAntHeight = 1.5f, src.ref.fEast = -0.002f, src.ref.fNorth = 0.003f;
    src.ref.antSetupId = 12;
    CMR_COD_SETTINGS set = defaults(17);
    set.plusPageCount = r.countIsPages;
    std::strcpy(set.shortName, "TESTGLO");
    std::strncpy(set.longName, r.l.c_str(), sizeof set.longName - 1);
    const std::int64_t mm[3] = {-3869297514, 3436571335, 3717369376};
    const int off[3] = {1500, -2, 3};
    const std::vector<Bytes> want = plusPages(17, plusRecord(mm, off, 12, "TESTGLO", "", r.l), r.countIsPages);
    ASSERT_EQ(static_cast<int>(want.size()), r.wantPages) << r.name;
    CMR_Coder c = armed(src, set);
    // Two rounds: paging starts again after the last page.
    for (int round = 0; round < 2; ++round)
      for (int p = 0; p < r.wantPages; ++p) {
        EXPECT_EQ(build(c, kCmrMsgPlus), want[static_cast<std::size_t>(p)]) << r.name << " page " << p;
        EXPECT_EQ(c.paging(), p + 1 < r.wantPages) << r.name;
      }
  }
}

// ---- arming -----------------------------------------------------------------------------------------

TEST(CmrCoderArming, WhatIsMissingDisablesItsKinds) {
  struct Row {
    const char* name;
    bool rtk, ref, arm;
    int motion;
    bool want[kCmrMsgCount];
    bool wantStatic;
    int wantNeed;
  } rows[] = {
      {"all there", true, true, true, 0, {true, true, true, true, true}, true, 1},
      {"no RTK data", false, true, true, 0, {false, false, true, true, true}, true, 1},
      {"no station position", true, false, true, 0, {true, true, false, true, false}, true, 1},
      {"kinematic base", true, true, true, 2, {true, true, true, true, true}, false, 1},
      {"not armed", true, true, false, 0, {false, false, false, false, false}, true, 1},
  };
  for (const Row& r : rows) {
    Source src;
    src.haveRtk = r.rtk;
    src.haveRef = r.ref;
    addSat(src.rtk, {kSysGps, 1, 0, 70, 100, 0, 40, false, 0, 0, 0});
    addSat(src.rtk, {kSysGlonass, 1, 0, 70, 100, 0, 40, false, 0, 0, 0});
    CMR_Coder c(&src);
    CMR_COD_SETTINGS set = defaults();
    set.motion = static_cast<std::uint8_t>(r.motion);
    c.setSettings(set);
    const bool all[kCmrMsgCount] = {true, true, true, true, true};
    EXPECT_EQ(c.initCoding(all), r.wantNeed) << r.name;
    if (r.arm) c.makeCoding();
    for (int k = 0; k < kCmrMsgCount; ++k) EXPECT_EQ(!build(c, k).empty(), r.want[k]) << r.name << " kind " << k;
    if (r.arm) {
      EXPECT_EQ(src.lastStatic, r.wantStatic) << r.name;
    }
    EXPECT_TRUE(build(c, 5).empty()) << r.name << ": no kind 5";
  }
  CMR_Coder c(nullptr);
  const bool station[kCmrMsgCount] = {false, false, true, true, false};
  EXPECT_EQ(c.initCoding(station), 0) << "no observation message: no RTK data needed";
}

// The station id goes out as set, -1 as 0; an id the 5-bit field cannot hold sends no frame at
// all rather than a cut one. The frame's checksum and ETX close every kind.
TEST(CmrCoderArming, StationByteChecksumAndEtx) {
  const struct {
    int id;
    bool sent;
    int wantId;
  } rows[] = {{1, true, 1}, {31, true, 31}, {-1, true, 0}, {32, false, 0}, {1234, false, 0}, {4095, false, 0}};
  for (const auto& r : rows) {
    const int id = r.id;
    Source src;
    addSat(src.rtk, {kSysGps, 1, 0, 70, 100, 0, 40, false, 0, 0, 0});
    CMR_Coder c = armed(src, defaults(id));
    for (int k : {kCmrMsgGps, kCmrMsgRefCoord, kCmrMsgDesc, kCmrMsgPlus}) {
      const Bytes f = build(c, k);
      if (!r.sent) {
        EXPECT_TRUE(f.empty()) << id << " kind " << k;
        continue;
      }
      ASSERT_GE(f.size(), 10u) << id << " kind " << k;
      EXPECT_EQ(f[0], 0x02);
      EXPECT_EQ(f[f.size() - 1], 0x03);
      unsigned sum = 0;
      for (std::size_t i = 1; i + 2 < f.size(); ++i) sum += f[i];
      EXPECT_EQ(static_cast<unsigned>(f[f.size() - 2]), sum & 0xFF) << id << " kind " << k;
      EXPECT_EQ(f[4] & 31, r.wantId) << id << " kind " << k;
      if (k != kCmrMsgPlus) {
        EXPECT_EQ(f[4] >> 5, 3) << "version 3";
      }
    }
  }
}

}  // namespace
