// The RTCM 3 output messages under the real output manager: messages enabled with "em" on a
// stream that a capture port stands for, due by the scheduler, armed by the coding driver over
// the epoch's base data, their frames read back by rtklib's convbin and gpsd's gpsdecode or
// compared with a recording's own frames.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "differential/coder_client.h"
#include "differential/coding_driver.h"
#include "differential/rtcm3/rtcm3_out_msgs.h"
#include "differential/rtcm3_ephemeris.h"
#include "navigation_data/store/sat_data_store.h"
#include "output/msg_pool.h"
#include "output/output_manager.h"
#include "platform/ports/out_port.h"
#include "positioning/base/base_data.h"
#include "positioning/base/base_processing.h"
#include "positioning/engine/position_averaging.h"
#include "positioning/rcv_output.h"
#include "positioning/rcv_output_base_moving.h"
#include "rinex_obs_util.h"
#include "rtcm3_coder_test_util.h"
#include "fixtures/nav_files.h"
#include "unit/port_fakes.h"

namespace {

using coder3test::Bytes;
using coder3test::TempDir;
using rtcm3test::run;

constexpr int kStream = 6;  // dev/ser/b
constexpr double kC = 299792458.0;

class Capture : public OutPort {
 public:
  Capture() : OutPort(kStream) {}
  std::string bytes;

 protected:
  int devWrite(const void* data, int len, int) override {
    bytes.append(static_cast<const char*>(data), static_cast<std::size_t>(len));
    return len;
  }
};

// Whole RTCM 3 frames (CRC-24Q checked by its definition, apart from the product's); `junk`
// counts bytes outside them.
std::vector<Bytes> framesOf(const std::string& s, int* junk = nullptr) {
  const auto crc = [](const std::uint8_t* p, std::size_t n) {
    std::uint32_t c = 0;
    for (std::size_t i = 0; i < n; ++i) {
      c ^= static_cast<std::uint32_t>(p[i]) << 16;
      for (int b = 0; b < 8; ++b) c = (c << 1) ^ ((c & 0x800000) ? 0x1864CFBu : 0u);
    }
    return c & 0xFFFFFF;
  };
  std::vector<Bytes> out;
  const auto* b = reinterpret_cast<const std::uint8_t*>(s.data());
  int bad = 0;
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t len = i + 3 <= s.size() ? ((b[i + 1] & 3u) << 8 | b[i + 2]) : 0;
    if (b[i] != 0xD3 || i + len + 6 > s.size() ||
        crc(b + i, len + 3) != (static_cast<std::uint32_t>(b[i + len + 3]) << 16 | b[i + len + 4] << 8 | b[i + len + 5])) {
      ++bad, ++i;
      continue;
    }
    out.emplace_back(b + i, b + i + len + 6);
    i += len + 6;
  }
  if (junk != nullptr) *junk = bad;
  return out;
}
int typeOf(const Bytes& f) { return f[3] << 4 | f[4] >> 4; }

class Rtcm3OutMsgs : public ::testing::Test {
 protected:
  void SetUp() override {
    rtcm3mInit();
    omSetStreamFunc(prepareCoding);
    testports::attachOut(kStream, &port_);
    RtkDat = NAVCOD_RTK_DATA{};
    SatDataProcessorInstance.init_Object();
    Rtcm3Cod.setSettings(coder3test::defaultSettings(1234));
  }
  void TearDown() override {
    omDisableMsgs(kStream, nullptr);
    testports::attachOut(kStream, nullptr);
  }
  // One epoch of the output manager at `t` (ms of day); the bytes it wrote.
  std::string epoch(long t) {
    port_.bytes.clear();
    omPrepare(t);
    omOutput(t);
    return port_.bytes;
  }
  Capture port_;
};

// ---- Registration -----------------------------------------------------------------------------

struct RegRow {
  const char* name;
  int index;
  int period;  // default schedule: ms, -1 on change, 0 every epoch
};
const RegRow kRegRows[] = {
    {"1001", 0, 0},      {"1004", 3, 0},      {"1009", 4, 0},       {"1012", 7, 0},    {"1071", 8, 0},
    {"1077", 14, 0},     {"1081", 15, 0},     {"1097", 28, 0},      {"1101", 29, 0},   {"1117", 42, 0},
    {"1127", 49, 0},     {"1131", 50, 0},     {"1137", 56, 0},      {"1005", 57, 10000}, {"1006", 58, 10000},
    {"1007", 59, 10000}, {"1008", 60, 10000}, {"1019", 61, -1},     {"1020", 62, -1},  {"1042", 63, -1},
    {"1044", 64, -1},    {"1045", 65, -1},    {"1046", 66, -1},     {"1041", 67, -1},  {"1033", 68, 10000},
    {"4091t", 69, 10000}, {"1029", 70, 0},    {"1230", 71, 0},
};

TEST_F(Rtcm3OutMsgs, The72MessagesJoinGroupRtcm3InCoderOrderWithTheirDefaultSchedules) {
  rtcm3mInit();  // again: nothing changes
  const int first = msgPool.first(kGroupRtcm3);
  ASSERT_GE(first, 0);
  EXPECT_STREQ(MsgPool::groupName(kGroupRtcm3), "rtcm3");
  int n = 0;
  for (int i = first; i >= 0; i = msgPool.next(i)) ++n;
  EXPECT_EQ(n, kRtc3MsgCount);
  for (const RegRow& r : kRegRows) {
    SCOPED_TRACE(r.name);
    const int at = msgPool.find(kGroupRtcm3, r.name);
    ASSERT_GE(at, 0);
    EXPECT_EQ(at - first, r.index) << "pool order";
    EXPECT_EQ(msgPool.msg(at)->planIndex(), r.index);
    const MsgSchedParams d = msgPool.defParams(at);
    if (r.period < 0) {
      EXPECT_EQ(d.period, 0);
      EXPECT_EQ(d.flags & kSchedOnChange, kSchedOnChange);
    } else {
      EXPECT_EQ(d.period, r.period);
      EXPECT_EQ(d.flags & kSchedOnChange, 0);
    }
    EXPECT_EQ(msgPool.msg(at)->parts() > 0, (r.index >= 61 && r.index <= 67) || r.index == 70);
  }
  EXPECT_LT(msgPool.find(kGroupRtcm3, "4091"), 0) << "the text message is named 4091t";
}

// ---- The plan of a stream ---------------------------------------------------------------------

struct PlanRow {
  const char* what;
  int stream;
  const char* enable;  // "em" list on that stream, null: none
  std::vector<int> want;
};

TEST_F(Rtcm3OutMsgs, MakeOutGivesTheCoderFlagsOfTheStreamsEnabledMessages) {
  const PlanRow rows[] = {
      {"nothing enabled", kStream, nullptr, {}},
      {"one", kStream, "rtcm3/1077", {14}},
      {"several", kStream, "rtcm3/{1005,1087,1230,4091t,1029}", {15 + 6, 57, 69, 70, 71}},
      {"ephemerides", kStream, "rtcm3/{1019,1046}", {61, 66}},
      {"another group only", kStream, "rtcm/1", {}},
      {"another stream's messages", 7, "rtcm3/1001", {}},
      {"no such stream", 43, nullptr, {}},
  };
  for (const PlanRow& r : rows) {
    SCOPED_TRACE(r.what);
    omDisableMsgs(kStream, nullptr);
    omDisableMsgs(7, nullptr);
    if (r.enable != nullptr) {
      const OmListResult res = omEnableMsgs(r.stream == 43 ? kStream : r.stream, r.enable);
      if (std::string(r.enable).starts_with("rtcm3")) {
        ASSERT_EQ(res, OmListResult::kOk);
      }
    }
    bool flags[kRtc3MsgCount];
    for (bool& f : flags) f = true;  // cleared whatever they held
    const int stream = r.stream == 7 ? kStream : r.stream;
    EXPECT_EQ(rtcm3mMakeOut(stream, flags, kRtc3MsgCount), !r.want.empty());
    std::vector<int> got;
    for (int k = 0; k < kRtc3MsgCount; ++k)
      if (flags[k]) got.push_back(k);
    EXPECT_EQ(got, r.want);
  }
  omDisableMsgs(7, nullptr);
}

// ---- Observations: 30 GPS satellites on 3 signals ------------------------------------------

// One epoch of the recording as convbin writes it, made into the base's epoch for 30 GPS
// satellites: each PRN 1..30 carries the C1C, C1W and C2W observations of the recorded
// satellite it is given (the recording's own for the PRNs it has), the phases less the
// alignment the coder adds back (a quarter cycle for 1W).
struct GpsSky {
  std::map<int, rinexobs::SatObs> sats;  // PRN -> what convbin must read back
  std::string tr;                        // convbin's approximate time
};

GpsSky fillFromRecording(const TempDir& d) {
  GpsSky sky;
  run("cd '" + d.path + "' && convbin -r rtcm3 -v 3.04 -od -os -o rec.obs '" +
      rtcm3test::recording("uscl00chl0.rtcm3") + "' >/dev/null 2>&1");
  const rinexobs::Rinex rec = rinexobs::parseRinex(d.file("rec.obs"));
  if (rec.epochs.empty()) return sky;
  const rinexobs::Epoch& e = rec.epochs.front();
  std::vector<rinexobs::SatObs> usable;
  std::map<int, rinexobs::SatObs> own;
  for (const auto& [name, o] : e.sats) {
    if (name[0] != 'G') continue;
    bool all = true;
    for (const char* t : {"C1C", "L1C", "D1C", "C1W", "L1W", "D1W", "C2W", "L2W", "D2W"})
      all = all && o.contains(t) && o.at(t).value != 0;
    if (!all) continue;
    usable.push_back(o);
    own[std::stoi(name.substr(1))] = o;
  }
  if (usable.empty()) return sky;
  const long days = rinexobs::daysFromCivil(e.y, e.mo, e.d) - rinexobs::daysFromCivil(1980, 1, 6);
  const double tow = static_cast<double>(days % 7) * 86400.0 + e.h * 3600.0 + e.mi * 60.0 + e.s;
  RtkDat = NAVCOD_RTK_DATA{};
  RtkDat.ulTime[0] = static_cast<std::uint32_t>(std::llround(tow * 1000.0));
  RtkDat.uConstOne = 1;
  RtkDat.bReady = 1;
  struct Sig {
    const char* band;
    int slot;
    double mhz, shift;
  };
  const Sig sigs[] = {{"1C", 0, 1575.42, 0.0}, {"1W", 1, 1575.42, -0.25}, {"2W", 2, 1227.60, 0.0}};
  for (int prn = 1; prn <= 30; ++prn) {
    const rinexobs::SatObs& o = own.contains(prn) ? own.at(prn) : usable[static_cast<std::size_t>(prn) % usable.size()];
    RTK_DATA_SV& sv = RtkDat.sat[RtkDat.uSatCount++];
    sv.uNumber = static_cast<std::uint8_t>(prn);
    sv.uSystem = 0;
    for (const Sig& s : sigs) {
      const double lambda = kC / (s.mhz * 1e6);
      RTK_DATA_SLOT& d = sv.slot[s.slot];
      d.dCode = o.at(std::string("C") + s.band).value;
      d.dPhase = (o.at(std::string("L") + s.band).value - s.shift) * lambda;
      d.dRate = -o.at(std::string("D") + s.band).value * lambda;
      d.ulLock = 600000;
      d.uCn0 = 180;
      d.bPresent = 1;
    }
    sky.sats[prn] = o;
  }
  RtkDat.uCount[0] = RtkDat.uCountRtcm3[0] = RtkDat.uSatCount;
  char tr[64];
  std::snprintf(tr, sizeof tr, "%04d/%02d/%02d %02d:%02d:00", e.y, e.mo, e.d, e.h, e.mi);
  sky.tr = tr;
  return sky;
}

TEST_F(Rtcm3OutMsgs, Msm7ForThirtyGpsSatellitesOnThreeSignalsIsTwoFramesThatConvbinReadsWhole) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  TempDir d;
  const GpsSky sky = fillFromRecording(d);
  ASSERT_EQ(sky.sats.size(), 30u);
  ASSERT_EQ(omEnableMsgs(kStream, "rtcm3/1077"), OmListResult::kOk);
  const long t = static_cast<long>(RtkDat.ulTime[0] % 86400000u);
  int junk = 0;
  const std::vector<Bytes> frames = framesOf(epoch(t), &junk);
  EXPECT_EQ(junk, 0);
  ASSERT_EQ(frames.size(), 2u) << "90 cells: one frame of 21 satellites, one of 9";
  const OmStreamInfo* si = omGetStreamInfo(kStream);
  EXPECT_EQ(si->rtcm3Tried, 1);
  EXPECT_EQ(si->rtcm3Built, 1) << "the last part was built";
  for (std::size_t k = 0; k < frames.size(); ++k) {
    EXPECT_EQ(typeOf(frames[k]), 1077);
    // Multiple-message bit: set on the first part only.
    EXPECT_EQ(coder3test::bits(frames[k], 24 + 54, 1), k == 0 ? 1u : 0u) << k;
  }
  coder3test::writeFrames(d.file("out.rtcm3"), frames);
  run("cd '" + d.path + "' && convbin -r rtcm3 -tr " + sky.tr + " -v 3.04 -od -os -o out.obs out.rtcm3 >/dev/null 2>&1");
  const rinexobs::Rinex got = rinexobs::parseRinex(d.file("out.obs"));
  ASSERT_EQ(got.epochs.size(), 1u);
  std::set<int> prns;
  for (const auto& [name, o] : got.epochs[0].sats) {
    ASSERT_EQ(name[0], 'G');
    const int prn = std::stoi(name.substr(1));
    prns.insert(prn);
    const rinexobs::SatObs& want = sky.sats.at(prn);
    struct Tol {
      const char* type;
      double tol;
    };
    for (const Tol& x : {Tol{"C1C", 0.001}, Tol{"L1C", 0.002}, Tol{"D1C", 0.002}, Tol{"C1W", 0.001}, Tol{"L1W", 0.002},
                         Tol{"C2W", 0.001}, Tol{"L2W", 0.002}, Tol{"D2W", 0.002}}) {
      ASSERT_TRUE(o.contains(x.type)) << name << " " << x.type;
      EXPECT_NEAR(o.at(x.type).value, want.at(x.type).value, x.tol + 1e-9) << name << " " << x.type;
    }
  }
  EXPECT_EQ(prns.size(), 30u);
}

// Without the epoch's base data the coder builds nothing and nothing reaches the port.
TEST_F(Rtcm3OutMsgs, WithoutBaseDataNothingIsWritten) {
  ASSERT_EQ(omEnableMsgs(kStream, "rtcm3/{1077,1033,1230,4091t}"), OmListResult::kOk);
  RtkDat.bReady = 0;
  EXPECT_TRUE(epoch(3000).empty());
  EXPECT_EQ(omGetStreamInfo(kStream)->rtcm3Tried, 1);
  EXPECT_EQ(omGetStreamInfo(kStream)->rtcm3Built, 0);
}

// ---- Ephemerides --------------------------------------------------------------------------------

// The store, told the time of a record of `sys` (its own reference time), hands it out.
void storeTime(int sys, double sec) {
  SatDataEpoch ep;
  ep.time.valid = true;
  for (int s = 0; s < SYS_NUM; ++s) ep.time.sec[s] = sec;
  (void)sys;
  SatDataProcessorInstance.update(ep);
}

ZRT_EPH_GPS storeGps(const ZRT_EPH_GPS& e) {
  const SvIdType id{static_cast<std::uint8_t>(e.prn - 1), kSysGps, 0, kSvUnknown};
  EXPECT_NE(SatDataProcessorInstance.update_EphemerisData(id, 0, &e, 0, true, true, true), 0) << int(e.prn);
  return e;
}

TEST_F(Rtcm3OutMsgs, Msg1019OnChangeWritesTheOneSatelliteWhoseRecordMoved) {
  const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
  // The day's first record of six satellites, and for one of them its next.
  std::map<int, std::vector<ZRT_EPH_GPS>> byPrn;
  for (const auto& r : recs) byPrn[r.eph.prn].push_back(r.eph);
  std::vector<int> prns;
  for (const auto& [prn, v] : byPrn)
    if (v.size() >= 2 && prns.size() < 6) prns.push_back(prn);
  ASSERT_EQ(prns.size(), 6u);
  for (int prn : prns) storeGps(byPrn[prn][0]);
  storeTime(kSysGps, byPrn[prns[0]][0].toe);
  ASSERT_EQ(omEnableMsgs(kStream, "rtcm3/1019"), OmListResult::kOk);
  RtkDat.bReady = 1;  // a base without its epoch data sends nothing at all
  struct Step {
    const char* what;
    int change;  // index into prns whose next record is stored first, -1 none
    std::vector<int> want;
  };
  const Step steps[] = {
      {"first epoch: every stored satellite", -1, prns},
      {"nothing moved", -1, {}},
      {"one record moved", 2, {prns[2]}},
      {"the same record again", -1, {}},
  };
  long t = 10000;
  for (const Step& s : steps) {
    SCOPED_TRACE(s.what);
    if (s.change >= 0) {
      storeGps(byPrn[prns[static_cast<std::size_t>(s.change)]][1]);
      storeTime(kSysGps, byPrn[prns[static_cast<std::size_t>(s.change)]][1].toe);
    }
    std::vector<int> got;
    const std::vector<Bytes> frames = framesOf(epoch(t += 1000));
    for (const Bytes& f : frames) {
      EXPECT_EQ(typeOf(f), 1019);
      got.push_back(static_cast<int>(coder3test::bits(f, 36, 6)));
    }
    EXPECT_EQ(got, s.want);
    // gpsdecode takes each as a whole 1019 of the standard's 61 bytes.
    if (!frames.empty()) {
      const auto lines = coder3test::gpsdecodeFrames(frames);
      ASSERT_EQ(lines.size(), frames.size());
      for (const std::string& l : lines) {
        EXPECT_EQ(rtcm3test::jsonInt(l, "type"), 1019) << l;
        EXPECT_EQ(rtcm3test::jsonInt(l, "length"), 61) << l;
      }
    }
  }
}

// 1045 is Galileo F/NAV and 1046 I/NAV: each sends its own kind's record, and a satellite that
// has only the other kind sends nothing. What is sent is the recording's own frame, bit for bit.
TEST_F(Rtcm3OutMsgs, GalileoFnavAndInavMessagesSendTheirOwnKindOnly) {
  std::map<int, Bytes> orig;  // 1045, 1046 of the recording
  std::map<int, Rtcm3Ephemeris> rec;
  const Bytes data = rtcm3test::readFile(rtcm3test::recording("uscl00chl0.rtcm3"));
  for (std::size_t i = 0; i + 6 <= data.size();) {
    const std::size_t len = (data[i + 1] & 3u) << 8 | data[i + 2];
    if (data[i] != 0xD3 || i + len + 6 > data.size()) {
      ++i;
      continue;
    }
    const Bytes f(data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + len + 6));
    const int type = typeOf(f);
    if (type == 1045 || type == 1046) {
      BitReader br(f.data() + 3, static_cast<int>(len) * 8);
      br.reset(static_cast<int>(len) * 8, 12);
      Rtcm3Ephemeris e;
      ASSERT_TRUE(rtcm3_ReadEphemeris(type, br, e));
      orig[type] = f;
      rec[type] = e;
    }
    i += len + 6;
  }
  ASSERT_EQ(orig.size(), 2u);
  ASSERT_EQ(rec[1045].dataType, Rtc3EphMsg::kGalFnav);
  ASSERT_EQ(rec[1046].dataType, Rtc3EphMsg::kGalInav);
  struct Row {
    const char* what;
    std::vector<int> stored;  // recording messages whose record the store holds
    const char* enable;
    std::vector<int> want;  // frames, each the recording's own
  };
  const Row rows[] = {
      {"F/NAV only: 1046 sends nothing", {1045}, "rtcm3/{1045,1046}", {1045}},
      {"I/NAV only: 1045 sends nothing", {1046}, "rtcm3/{1045,1046}", {1046}},
      {"both kinds, both messages", {1045, 1046}, "rtcm3/{1045,1046}", {1045, 1046}},
      {"both kinds, I/NAV message", {1045, 1046}, "rtcm3/1046", {1046}},
      {"nothing stored", {}, "rtcm3/{1045,1046}", {}},
  };
  RtkDat.bReady = 1;
  long t = 20000;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    SatDataProcessorInstance.init_Object();
    omDisableMsgs(kStream, nullptr);
    double toe = 0;
    for (int m : r.stored) {
      ASSERT_NE(SatDataProcessorInstance.update_EphemerisData(rec[m].id, rec[m].dataType, &rec[m].gal, 0, true, true, true), 0);
      toe = rec[m].gal.toe;
    }
    storeTime(kSysGalileo, toe);
    ASSERT_EQ(omEnableMsgs(kStream, r.enable), OmListResult::kOk);
    std::vector<int> got;
    for (const Bytes& f : framesOf(epoch(t += 1000))) {
      got.push_back(typeOf(f));
      EXPECT_EQ(f, orig[typeOf(f)]) << typeOf(f);
    }
    EXPECT_EQ(got, r.want);
  }
  // On change each follows its own kind's counters: a new I/NAV record makes 1046 go, not 1045.
  SatDataProcessorInstance.init_Object();
  omDisableMsgs(kStream, nullptr);
  for (int m : {1045, 1046})
    ASSERT_NE(SatDataProcessorInstance.update_EphemerisData(rec[m].id, rec[m].dataType, &rec[m].gal, 0, true, true, true), 0);
  storeTime(kSysGalileo, rec[1046].gal.toe);
  ASSERT_EQ(omEnableMsgs(kStream, "rtcm3/{1045,1046}"), OmListResult::kOk);
  EXPECT_EQ(framesOf(epoch(t += 1000)).size(), 2u);
  EXPECT_EQ(framesOf(epoch(t += 1000)).size(), 0u);
  ZRT_EPH_GAL inav = rec[1046].gal;
  inav.af0 += 1e-9;
  ASSERT_NE(SatDataProcessorInstance.update_EphemerisData(rec[1046].id, 0, &inav, 0, true, true, true), 0);
  std::vector<int> got;
  for (const Bytes& f : framesOf(epoch(t += 1000))) got.push_back(typeOf(f));
  EXPECT_EQ(got, std::vector<int>{1046});
}

// ---- Texts ------------------------------------------------------------------------------------

TEST_F(Rtcm3OutMsgs, Msg1029WritesOnlyTheEnabledTexts) {
  RtkDat.bReady = 1;
  struct Row {
    std::uint8_t params[4];
    std::vector<std::string> prefixes;  // texts in part order
  };
  const Row rows[] = {
      {{1, 1, 1, 1}, {"/par/base/modem=", "/par/base/moving=", "/par/base/msgout=", "/par/base/msgnum="}},
      {{0, 0, 1, 0}, {"/par/base/msgout=rtcm3/1029"}},
      {{1, 0, 0, 1}, {"/par/base/modem=unknown", "/par/base/msgnum={"}},
      {{0, 0, 0, 0}, {}},
  };
  ASSERT_EQ(omEnableMsgs(kStream, "rtcm3/1029"), OmListResult::kOk);
  long t = 30000;
  for (const Row& r : rows) {
    RTC3_COD_SETTINGS s = coder3test::defaultSettings(1234);
    std::memcpy(s.textParam, r.params, sizeof r.params);
    Rtcm3Cod.setSettings(s);
    const std::vector<Bytes> frames = framesOf(epoch(t += 1000));
    ASSERT_EQ(frames.size(), r.prefixes.size());
    if (frames.empty()) continue;
    const auto lines = coder3test::gpsdecodeFrames(frames);
    ASSERT_EQ(lines.size(), frames.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
      EXPECT_EQ(rtcm3test::jsonInt(lines[k], "station_id"), 1234);
      EXPECT_TRUE(rtcm3test::jsonString(lines[k], "msg").starts_with(r.prefixes[k])) << lines[k];
    }
  }
}

// A text's identifier moves with the text and only with it, so that a schedule "on change" sends
// it again exactly when it changed: the base-moving text before and after the monitor's alert; a
// text that is off has none.
TEST_F(Rtcm3OutMsgs, Msg1029IdentifiersFollowTheirTexts) {
  RTC3_COD_SETTINGS s = coder3test::defaultSettings(1234);
  const std::uint8_t moving[4] = {0, 1, 0, 0};
  std::memcpy(s.textParam, moving, sizeof moving);
  Rtcm3Cod.setSettings(s);
  Msg1029 m;
  BaseMovingData = BASE_MOVING_DATA{};
  const long quiet = m.getId(1), all = m.getOveralId();
  EXPECT_NE(quiet, 0);
  EXPECT_EQ(m.getId(0), 0) << "modem text off";
  EXPECT_EQ(m.getId(1), quiet) << "nothing changed";
  BaseMovingData.bAlert = 1;
  BaseMovingData.maxMotion = 1.3f;
  const long alert = m.getId(1);
  EXPECT_NE(alert, quiet);
  EXPECT_NE(m.getOveralId(), all);
  BaseMovingData.motion[0] = 0.3f;
  EXPECT_NE(m.getId(1), alert);
  BaseMovingData = BASE_MOVING_DATA{};
  EXPECT_EQ(m.getId(1), quiet);
  EXPECT_EQ(m.getOveralId(), all);
  // The last text alone (the message counts) changing moves the overall identifier too.
  const std::uint8_t counts[4] = {0, 0, 0, 1};
  std::memcpy(s.textParam, counts, sizeof counts);
  Rtcm3Cod.setSettings(s);
  bool flags[kRtc3MsgCount] = {};
  Rtcm3Cod.initCoding(flags, 0);
  const long before = m.getId(3), overall = m.getOveralId();
  EXPECT_NE(before, 0);
  flags[kRtc3Msg1005] = true;
  Rtcm3Cod.initCoding(flags, 0);
  EXPECT_NE(m.getId(3), before) << "one message more enabled";
  EXPECT_NE(m.getOveralId(), overall);
  flags[kRtc3Msg1005] = false;
  Rtcm3Cod.initCoding(flags, 0);
  EXPECT_EQ(m.getOveralId(), overall);
}

// ---- The reference station ----------------------------------------------------------------------

// The station as the receiver holds it: the reference-position objects that the coders' data
// source reads. The antenna reference point is the station of testglo.rtcm3's own 1005; the
// reference position lies a few centimetres above it; the GPS-frame pair is a point of its own
// whose coordinates end in fractions of 0.1 mm (rounded, negative ones too).
const double kArpWgs[3] = {-3869297.5138, 3436571.3345, 3717369.3757};
const double kPosWgs[3] = {-3869297.4812, 3436571.3056, 3717369.4069};
const double kArpGps[3] = {1114104.59994, -4850729.71076, 3975521.46426};
const double kPosGps[3] = {1114104.61, -4850729.75, 3975521.49};

void placeWgs84(ReferencePos& r, const double xyz[3]) {
  EllMath::ELL_EXTPAR e{};
  DtmList::ELL_PARAMS p{"W84", 6378137.0, 298.257223563};
  EllMath::setEllPar(p, &e);
  r.setEllipsoid(e);
  bool unchanged = false;
  ASSERT_TRUE(r.setRefPos(ReferencePos::kCartesian, "W84", xyz, unchanged, InPorts::DEC_SER_A));
}

RCV_OUTPUT g_ownFix;

struct StationRow {
  const char* what;
  bool pos, arp;        // the WGS 84 reference position and antenna reference point
  bool gpsPair, pe9;    // the GPS-frame pair, the PE-90 pair
  bool framePair;       // the RTCM settings choose the GPS-frame pair
  bool ownFix;          // the receiver has a computed position
  float offsets[3];     // north, east, up of the reference position
  const double* want;   // the station sent in 1005/1006; null: neither is sent
  double wantHeight;
};
const StationRow kStationRows[] = {
    {"nothing entered, no fix", false, false, false, false, false, false, {0, 0, 0}, nullptr, 0},
    {"own fix only: no antenna reference point", false, false, false, false, false, true, {0, 0, 0}, nullptr, 0},
    {"reference position without its antenna reference point", true, false, false, false, false, true, {0, 0, 0},
     nullptr, 0},
    {"antenna reference point without a reference position", false, true, false, false, false, false, {0, 0, 0},
     nullptr, 0},
    {"only the PE-90 pair", false, false, false, true, false, false, {0, 0, 0}, nullptr, 0},
    {"both: the antenna reference point", true, true, false, true, false, true, {0, 0, 0}, kArpWgs, 0},
    {"GPS-frame pair chosen", true, true, true, false, true, false, {0, 0, 0}, kArpGps, 0},
    {"GPS-frame pair chosen but only the WGS 84 pair", true, true, false, false, true, false, {0, 0, 0}, nullptr, 0},
    {"WGS 84 pair chosen beside a GPS-frame pair", true, true, true, false, false, false, {0, 0, 0}, kArpWgs, 0},
    {"antenna offsets: the point stays, the height is the up one", true, true, false, false, false, false,
     {0.125f, -0.25f, 1.5678f}, kArpWgs, 1.5678},
};

// Every row over three epochs with 1004 beside the station messages (convbin takes a station
// only once it knows the time): gpsdecode reads each 1005/1006, convbin puts the station and
// the antenna height into its RINEX header.
TEST_F(Rtcm3OutMsgs, StationMessagesCarryTheReferenceObjectsAntennaReferencePoint) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  ASSERT_EQ(omEnableMsgs(kStream, "rtcm3/{1004,1005,1006}:1"), OmListResult::kOk);
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(&g_ownFix); };
  constexpr double kTol = 0.00005 + 1e-9;  // the message's resolution, rounded
  for (const StationRow& r : kStationRows) {
    SCOPED_TRACE(r.what);
    RefPosWgs = RefArpWgs = RefPosGPS = RefArpGPS = RefPosPe9 = RefArpPe9 = ReferencePos{};
    if (r.pos) placeWgs84(RefPosWgs, kPosWgs);
    if (r.arp) placeWgs84(RefArpWgs, kArpWgs);
    if (r.gpsPair) placeWgs84(RefPosGPS, kPosGps), placeWgs84(RefArpGPS, kArpGps);
    if (r.pe9) placeWgs84(RefPosPe9, kPosGps), placeWgs84(RefArpPe9, kArpGps);
    RefPosWgs.setAnt(r.offsets, ReferencePos::kAntL1, false, false);
    RefPosGPS.setAnt(r.offsets, ReferencePos::kAntL1, false, false);
    RtcmSetCmn[3] = r.framePair ? 1 : 0;
    g_ownFix = RCV_OUTPUT{};
    g_ownFix.sol.bOutPos = g_ownFix.sol.bPosValid = r.ownFix ? 1 : 0;
    g_ownFix.sol.PosWgsXYZ.x = kPosGps[0], g_ownFix.sol.PosWgsXYZ.y = kPosGps[1], g_ownFix.sol.PosWgsXYZ.z = kPosGps[2];
    RtkDat = NAVCOD_RTK_DATA{};
    RtkDat.ulTime[0] = 318945000;  // 2024/03/13 16:35:45 GPS time
    RTK_DATA_SV& sv = RtkDat.sat[RtkDat.uSatCount++];
    sv.uNumber = 5;
    for (int slot : {0, 2}) {
      sv.slot[slot].dCode = 21000000.02 + slot;
      sv.slot[slot].dPhase = 21000000.02 + 1.5 * slot;
      sv.slot[slot].ulLock = 60000;
      sv.slot[slot].uCn0 = 180;
      sv.slot[slot].bPresent = 1;
    }
    RtkDat.uCount[0] = RtkDat.uCountRtcm3[0] = 1;
    RtkDat.uConstOne = RtkDat.bReady = 1;
    std::vector<Bytes> all, station;
    for (int k = 0; k < 3; ++k, RtkDat.ulTime[0] += 1000) {
      for (const Bytes& f : framesOf(epoch(static_cast<long>(RtkDat.ulTime[0] % 86400000u)))) {
        all.push_back(f);
        if (typeOf(f) != 1004) station.push_back(f);
      }
    }
    ASSERT_EQ(all.size() - station.size(), 3u) << "1004 every epoch";
    if (r.want == nullptr) {
      EXPECT_TRUE(station.empty()) << station.size() << " station frames";
      continue;
    }
    ASSERT_EQ(station.size(), 6u);
    const auto lines = coder3test::gpsdecodeFrames(station);
    ASSERT_EQ(lines.size(), station.size());
    for (std::size_t k = 0; k < lines.size(); ++k) {
      const std::string& l = lines[k];
      SCOPED_TRACE(l);
      EXPECT_EQ(rtcm3test::jsonInt(l, "type"), k % 2 ? 1006 : 1005);
      EXPECT_EQ(rtcm3test::jsonInt(l, "station_id"), 1234);
      EXPECT_NEAR(rtcm3test::jsonDouble(l, "x"), r.want[0], kTol);
      EXPECT_NEAR(rtcm3test::jsonDouble(l, "y"), r.want[1], kTol);
      EXPECT_NEAR(rtcm3test::jsonDouble(l, "z"), r.want[2], kTol);
      if (k % 2) { EXPECT_NEAR(rtcm3test::jsonDouble(l, "h"), r.wantHeight, kTol); }
    }
    TempDir d;
    coder3test::writeFrames(d.file("s.rtcm3"), all);
    const std::string h = run("cd '" + d.path + "' && convbin -r rtcm3 -tr 2024/03/13 16:30:00 -v 3.04 -o s.obs " +
                              "s.rtcm3 >/dev/null 2>&1; cat s.obs");
    const std::size_t pos = h.find("APPROX POSITION XYZ"), ant = h.find("ANTENNA: DELTA H/E/N");
    ASSERT_NE(pos, std::string::npos) << h;
    ASSERT_NE(ant, std::string::npos) << h;
    double x = 0, y = 0, z = 0, height = -1;
    std::sscanf(h.c_str() + h.rfind('\n', pos) + 1, "%lf %lf %lf", &x, &y, &z);
    std::sscanf(h.c_str() + h.rfind('\n', ant) + 1, "%lf", &height);
    EXPECT_NEAR(x, r.want[0], kTol);
    EXPECT_NEAR(y, r.want[1], kTol);
    EXPECT_NEAR(z, r.want[2], kTol);
    EXPECT_NEAR(height, r.wantHeight, kTol);
  }
  RefPosWgs = RefArpWgs = RefPosGPS = RefArpGPS = RefPosPe9 = RefArpPe9 = ReferencePos{};
  RtcmSetCmn[3] = 0;
  navClcRcvOutHook = nullptr;
}

}  // namespace
