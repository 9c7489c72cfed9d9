// The base station's RTCM 3 coder, message by message, read back by gpsdecode and by the
// receiver's own RTCM 3 decoder.
#include "differential/rtcm3/rtcm3_coder.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "platform/identity.h"
#include "positioning/rcv_output_base_moving.h"
#include "rtcm3_coder_test_util.h"

namespace {

using namespace coder3test;
using rtcm3test::jsonDouble;
using rtcm3test::jsonInt;
using rtcm3test::jsonString;

constexpr double kC = 299792458.0;
const double kL1 = kC / 1575.42e6;

// A coder over a source with one GPS satellite whose L1 and L2 are valid.
struct OneSat {
  FakeSource src;
  RTC3_Coder coder{&src};
  RTK_DATA_SV* sv;
  explicit OneSat(long lockMs = 60000) {
    coder.setSettings(defaultSettings());
    src.rtk.ulTime[0] = 318945000;
    sv = &src.addSat(0, 5);
    FakeSource::setSlot(*sv, 0, 21000000.02, 21000000.02 + 1.5, lockMs, 180);
    FakeSource::setSlot(*sv, 2, 21000000.02 + 3.0, 21000000.02 + 5.0, lockMs, 150);
  }
};

// DF013 at every boundary of the standard's lock-time table (seconds -> indicator); the lock
// time in ms carries a fraction of a second that the indicator drops.
const std::pair<long, int> kLockRows[] = {{0, 0},     {1, 1},     {23, 23},   {24, 24},   {71, 47},
                                          {72, 48},   {167, 71},  {168, 72},  {359, 95},  {360, 96},
                                          {743, 119}, {744, 120}, {936, 126}, {937, 127}, {100000, 127}};

TEST(Rtcm3Coder, LockTimeIndicatorAtEveryBoundaryOfTheStandardsTable) {
  std::vector<Bytes> frames;
  for (const auto& [sec, ind] : kLockRows) {
    OneSat t(sec * 1000 + 999);
    arm(t.coder, {kRtc3Msg1004});
    frames.push_back(build(t.coder, kRtc3Msg1004));
    ASSERT_FALSE(frames.back().empty());
  }
  const std::vector<std::string> lines = gpsdecodeFrames(frames);
  ASSERT_EQ(lines.size(), std::size(kLockRows));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string l1 = lines[i].substr(lines[i].find("\"L1\""));
    const std::string l2 = lines[i].substr(lines[i].find("\"L2\""));
    // gpsdecode sign-extends the 7-bit field into a byte: its low 7 bits are the indicator.
    EXPECT_EQ(std::tuple(jsonInt(l1, "lockt") & 0x7F, jsonInt(l2, "lockt") & 0x7F),
              std::tuple(kLockRows[i].second, kLockRows[i].second))
        << kLockRows[i].first << " s";
  }
}

// L2 pseudorange less L1 (DF017, 0.02 m in 14 bits) and the phase ranges (DF012/DF018, 0.0005 m
// in 20 bits). Beyond +-163.82 m the L2 difference is the invalid 0x2000; a phase difference
// beyond +-262.1435 m rolls back by 1500 cycles.
struct RangeRow {
  const char* name;
  double l2MinusL1;   // m
  double l1PhaseOff;  // phase - pseudorange, m
  std::uint64_t df017, df012;
};
const RangeRow kRangeRows[] = {
    {"in range", 3.0, 1.5, 150, 3000},
    {"L2 at +163.82", 163.82, 0.0, 8191, 0},
    {"L2 at -163.82", -163.82, 0.0, 0x4000 - 8191, 0},
    {"L2 at +163.84: invalid", 163.84, 0.0, 0x2000, 0},
    {"L2 at -170: invalid, not wrapped", -170.0, 0.0, 0x2000, 0},
    {"phase at +262.1435", 0.0, 262.1435, 0, 524287},
    {"phase at -262.1435", 0.0, -262.1435, 0, 0x100000 - 524287},
};

TEST(Rtcm3Coder, RangeDifferencesAreMarkedInvalidOrRolledNeverWrapped) {
  for (const RangeRow& r : kRangeRows) {
    SCOPED_TRACE(r.name);
    OneSat t;
    const double pr = 21000000.02;
    t.sv->slot[0].dPhase = pr + r.l1PhaseOff;
    t.sv->slot[2].dCode = pr + r.l2MinusL1;
    arm(t.coder, {kRtc3Msg1004});
    const Bytes f = build(t.coder, kRtc3Msg1004);
    ASSERT_FALSE(f.empty());
    // Satellite block from bit 88: id 6, indicator 1, range 24, phase 20, lock 7, ambiguity 8,
    // CNR 8, L2 indicator 2, L2 range 14.
    EXPECT_EQ(bits(f, 88 + 31, 20), r.df012);
    EXPECT_EQ(bits(f, 88 + 76, 14), r.df017);
  }
  // Beyond the field the phase difference rolls by whole 1500-cycle steps: 300 m on L1.
  for (double off : {300.0, -300.0, 400.0}) {
    OneSat t;
    t.sv->slot[0].dPhase = 21000000.02 + off;
    arm(t.coder, {kRtc3Msg1004});
    const Bytes f = build(t.coder, kRtc3Msg1004);
    const double cycles = off / kL1;
    const double want = (cycles - 1500.0 * std::round(cycles / 1500.0)) * kL1 * 2000.0;
    const auto got = static_cast<std::int64_t>(bits(f, 88 + 31, 20) << 44) >> 44;
    EXPECT_NEAR(static_cast<double>(got), want, 0.5) << off;
  }
}

// Without a valid L2 the L1/L2 messages carry the invalid markers; the l2c setting chooses L2C
// (indicator 0) only while the satellite has it.
struct L2Row {
  const char* name;
  bool l2cSetting, l2cValid, p2Valid;
  std::uint64_t ind, df017, df018;
};
const L2Row kL2Rows[] = {
    {"P2 only", false, false, true, 2, 150, 10000},
    {"l2c on, L2C valid", true, true, true, 0, 100, 6000},
    {"l2c on, no L2C: P2", true, false, true, 2, 150, 10000},
    {"l2c off, L2C valid: P2", false, true, true, 2, 150, 10000},
    {"no L2 at all", false, false, false, 2, 0x2000, 0x80000},
    {"l2c on, only L2C invalid, no P2", true, false, false, 2, 0x2000, 0x80000},
};

TEST(Rtcm3Coder, L2SignalChoiceAndInvalidMarkers) {
  for (const L2Row& r : kL2Rows) {
    SCOPED_TRACE(r.name);
    OneSat t;
    RTC3_COD_SETTINGS s = defaultSettings();
    s.l2c = r.l2cSetting ? 1 : 0;
    t.coder.setSettings(s);
    t.sv->slot[2].bPresent = r.p2Valid ? 1 : 0;
    if (r.l2cValid) FakeSource::setSlot(*t.sv, 3, 21000000.02 + 2.0, 21000000.02 + 3.0, 5000, 100);
    arm(t.coder, {kRtc3Msg1004});
    const Bytes f = build(t.coder, kRtc3Msg1004);
    ASSERT_FALSE(f.empty());
    EXPECT_EQ(std::tuple(bits(f, 88 + 74, 2), bits(f, 88 + 76, 14), bits(f, 88 + 90, 20)),
              std::tuple(r.ind, r.df017, r.df018));
  }
}

// The synchronous flag says another observation message of the epoch follows; only messages
// that will carry a satellite are counted.
struct SyncRow {
  const char* name;
  std::vector<int> enabled;
  bool gps, glo, gloL1;
  std::vector<std::pair<int, int>> want;  // message index -> sync flag, -1 not built
};
const SyncRow kSyncRows[] = {
    {"GPS then GLONASS", {kRtc3Msg1004, kRtc3Msg1012}, true, true, true, {{kRtc3Msg1004, 1}, {kRtc3Msg1012, 0}}},
    {"GLONASS without L1: the GPS one is last",
     {kRtc3Msg1004, kRtc3Msg1012},
     true,
     true,
     false,
     {{kRtc3Msg1004, 0}, {kRtc3Msg1012, -1}}},
    {"no GLONASS satellite", {kRtc3Msg1004, kRtc3Msg1012}, true, false, false, {{kRtc3Msg1004, 0}, {kRtc3Msg1012, -1}}},
    {"two GPS messages", {kRtc3Msg1002, kRtc3Msg1004}, true, false, false, {{kRtc3Msg1002, 1}, {kRtc3Msg1004, 0}}},
    {"four messages",
     {kRtc3Msg1001, kRtc3Msg1003, kRtc3Msg1009, kRtc3Msg1011},
     true,
     true,
     true,
     {{kRtc3Msg1001, 1}, {kRtc3Msg1003, 1}, {kRtc3Msg1009, 1}, {kRtc3Msg1011, 0}}},
    {"only GLONASS", {kRtc3Msg1004, kRtc3Msg1010}, false, true, true, {{kRtc3Msg1004, -1}, {kRtc3Msg1010, 0}}},
};

TEST(Rtcm3Coder, SynchronousFlagCountsOnlyMessagesThatCarrySatellites) {
  for (const SyncRow& r : kSyncRows) {
    SCOPED_TRACE(r.name);
    FakeSource src;
    RTC3_Coder c(&src);
    c.setSettings(defaultSettings());
    if (r.gps) FakeSource::setSlot(src.addSat(0, 3), 0, 2.2e7, 2.2e7, 30000, 160);
    if (r.glo) {
      RTK_DATA_SV& g = src.addSat(1, 7, -3);
      FakeSource::setSlot(g, r.gloL1 ? 0 : 2, 2.3e7, 2.3e7, 30000, 160);
    }
    bool flags[kRtc3MsgCount] = {};
    for (int i : r.enabled) flags[i] = true;
    c.initCoding(flags, 1);
    c.makeCoding();
    for (const auto& [index, sync] : r.want) {
      const Bytes f = build(c, index);
      if (sync < 0) {
        EXPECT_TRUE(f.empty()) << msgNumbers[index];
        continue;
      }
      ASSERT_FALSE(f.empty()) << msgNumbers[index];
      EXPECT_EQ(static_cast<int>(bits(f, index >= kRtc3Msg1009 ? 75 : 78, 1)), sync) << msgNumbers[index];
    }
  }
}

// Entries are taken by their own system byte up to the system's RTCM 3 count, at most 31 (the
// header's 5-bit count), and never beyond the array whatever the counts claim.
TEST(Rtcm3Coder, SatellitesAreSelectedBySystemByteWithinTheArray) {
  FakeSource src;
  RTC3_Coder c(&src);
  c.setSettings(defaultSettings());
  for (int k = 0; k < 6; ++k) {
    FakeSource::setSlot(src.addSat(1, 10 + k, 1), 0, 2.3e7, 2.3e7, 1000, 100);
    FakeSource::setSlot(src.addSat(0, 1 + k), 0, 2.2e7, 2.2e7, 1000, 100);
  }
  src.rtk.uCountRtcm3[0] = 4;  // frozen at the RTCM 3 limit
  arm(c, {kRtc3Msg1001, kRtc3Msg1009});
  Bytes f = build(c, kRtc3Msg1001);
  ASSERT_FALSE(f.empty());
  EXPECT_EQ(bits(f, 79, 5), 4u);
  for (int k = 0; k < 4; ++k) EXPECT_EQ(bits(f, 88 + 58 * k, 6), static_cast<std::uint64_t>(1 + k));
  f = build(c, kRtc3Msg1009);
  EXPECT_EQ(bits(f, 76, 5), 6u);

  // Forty GPS entries, counts and entry total past the array: 31 carried, nothing read beyond.
  FakeSource many;
  RTC3_Coder c2(&many);
  c2.setSettings(defaultSettings());
  for (int k = 0; k < 40; ++k) FakeSource::setSlot(many.addSat(0, 1 + k % 32), 0, 2.2e7, 2.2e7, 1000, 100);
  many.rtk.uSatCount = 255;
  many.rtk.uCountRtcm3[0] = 255;
  arm(c2, {kRtc3Msg1004});
  f = build(c2, kRtc3Msg1004);
  ASSERT_FALSE(f.empty());
  EXPECT_EQ(bits(f, 79, 5), 31u);
  EXPECT_EQ(gpsdecodeFrames({f}).size(), 1u);
}

// The station (1005/1006) as gpsdecode reads it: the standard's example station and a real one,
// to 0.1 mm; antenna heights beyond the 16-bit field are clamped, negative ones sent as 0.
struct StationRow {
  const char* name;
  double x, y, z;
  float height;
  double wantHeight;
};
const StationRow kStations[] = {
    {"standard's example", 1114104.5999, -4850729.7108, 3975521.4643, 0.0f, 0.0},
    {"caster recording", 1762489.6191, -5027633.8438, -3496008.8438, 0.0343f, 0.0343},
    {"7 m antenna", 1114104.5999, -4850729.7108, 3975521.4643, 7.0f, 6.5535},
    {"negative height", 1762489.6191, -5027633.8438, -3496008.8438, -1.0f, 0.0},
};

TEST(Rtcm3Coder, StationCoordinatesAndHeightAsGpsdecodeReadsThem) {
  std::vector<Bytes> frames;
  for (const StationRow& r : kStations) {
    FakeSource src;
    src.ref.dX = r.x, src.ref.dY = r.y, src.ref.dZ = r.z;
    src.ref.fAntHeight = r.height;
    RTC3_Coder c(&src);
    c.setSettings(defaultSettings());
    arm(c, {kRtc3Msg1005, kRtc3Msg1006});
    frames.push_back(build(c, kRtc3Msg1005));
    frames.push_back(build(c, kRtc3Msg1006));
  }
  const std::vector<std::string> lines = gpsdecodeFrames(frames);
  ASSERT_EQ(lines.size(), 2 * std::size(kStations));
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const StationRow& r = kStations[i / 2];
    const std::string& l = lines[i];
    SCOPED_TRACE(std::string(r.name) + " " + l);
    EXPECT_EQ(jsonInt(l, "type"), i % 2 ? 1006 : 1005);
    EXPECT_EQ(jsonInt(l, "station_id"), 2003);
    EXPECT_NEAR(jsonDouble(l, "x"), r.x, 0.0001);
    EXPECT_NEAR(jsonDouble(l, "y"), r.y, 0.0001);
    EXPECT_NEAR(jsonDouble(l, "z"), r.z, 0.0001);
    if (i % 2) { EXPECT_NEAR(jsonDouble(l, "h"), r.wantHeight, 0.00005); }
    EXPECT_EQ(std::tuple(jsonString(l, "refstation"), jsonString(l, "sro")), std::tuple("false", "true"));
  }
}

// The same stations as convbin writes them into a RINEX header (amid a few observation epochs:
// convbin takes a station only once it knows the time).
TEST(Rtcm3Coder, StationCoordinatesAndHeightAsConvbinReadsThem) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  for (const StationRow& r : kStations) {
    SCOPED_TRACE(r.name);
    OneSat t;
    t.src.ref.dX = r.x, t.src.ref.dY = r.y, t.src.ref.dZ = r.z;
    t.src.ref.fAntHeight = r.height;
    arm(t.coder, {kRtc3Msg1006, kRtc3Msg1004});
    std::vector<Bytes> frames = {build(t.coder, kRtc3Msg1004), build(t.coder, kRtc3Msg1006)};
    for (int k = 0; k < 2; ++k) {
      t.src.rtk.ulTime[0] += 1000;
      arm(t.coder, {kRtc3Msg1004});
      frames.push_back(build(t.coder, kRtc3Msg1004));
    }
    TempDir d;
    writeFrames(d.file("s.rtcm3"), frames);
    const std::string h = rtcm3test::run("cd '" + d.path + "' && convbin -r rtcm3 -tr 2024/03/13 16:00:00 -v 3.04 -o s.obs " +
                                         "s.rtcm3 >/dev/null 2>&1; cat s.obs");
    const std::size_t pos = h.find("APPROX POSITION XYZ"), ant = h.find("ANTENNA: DELTA H/E/N");
    ASSERT_NE(pos, std::string::npos) << h;
    ASSERT_NE(ant, std::string::npos) << h;
    double x = 0, y = 0, z = 0, height = -1;
    std::sscanf(h.c_str() + h.rfind('\n', pos) + 1, "%lf %lf %lf", &x, &y, &z);
    std::sscanf(h.c_str() + h.rfind('\n', ant) + 1, "%lf", &height);
    EXPECT_NEAR(x, r.x, 0.0001);
    EXPECT_NEAR(y, r.y, 0.0001);
    EXPECT_NEAR(z, r.z, 0.0001);
    EXPECT_NEAR(height, r.wantHeight, 0.00005);
  }
}

// The station messages go out only in an arming where the source produced both the reference
// position and the antenna reference point; 1033 goes out regardless.
TEST(Rtcm3Coder, StationMessagesNeedBothReferenceRecords) {
  const std::tuple<bool, bool, bool> rows[] = {{true, true, true}, {true, false, false}, {false, true, false}, {false, false, false}};
  for (const auto& [refPos, arp, sent] : rows) {
    FakeSource src;
    src.refPos = refPos, src.arp = arp;
    RTC3_Coder c(&src);
    c.setSettings(defaultSettings());
    arm(c, {kRtc3Msg1005, kRtc3Msg1006, kRtc3Msg1007, kRtc3Msg1008, kRtc3Msg1033});
    for (int i = kRtc3Msg1005; i <= kRtc3Msg1008; ++i)
      EXPECT_EQ(!build(c, i).empty(), sent) << msgNumbers[i] << " refPos " << refPos << " arp " << arp;
    EXPECT_FALSE(build(c, kRtc3Msg1033).empty());
  }
}

// Antenna and receiver descriptions, each text cut to 31 characters.
TEST(Rtcm3Coder, DescriptorTextsAreCutAt31Characters) {
  FakeSource src;
  const std::string longDescr = "ANTENNA-DESCRIPTOR-LONGER-THAN-THIRTY-ONE";
  std::strcpy(src.ref.antDescr, longDescr.substr(0, 31).c_str());
  std::memcpy(src.ref.antSerial, "SERIAL-0123456789-0123456789-0123", 32);  // no terminator
  src.ref.antSetupId = 7;
  RTC3_Coder c(&src);
  c.setSettings(defaultSettings());
  arm(c, {kRtc3Msg1007, kRtc3Msg1008, kRtc3Msg1033});
  const std::vector<std::string> lines =
      gpsdecodeFrames({build(c, kRtc3Msg1007), build(c, kRtc3Msg1008), build(c, kRtc3Msg1033)});
  ASSERT_EQ(lines.size(), 3u);
  const std::string serial = "SERIAL-0123456789-0123456789-01";
  for (const std::string& l : lines) {
    SCOPED_TRACE(l);
    EXPECT_EQ(jsonString(l, "desc"), longDescr.substr(0, 31));
    EXPECT_EQ(jsonInt(l, "setup_id"), 7);
    if (jsonInt(l, "type") != 1007) { EXPECT_EQ(jsonString(l, "serial"), serial); }
  }
  EXPECT_EQ(jsonString(lines[2], "receiver"), std::string(igsRcvName).substr(0, 31));
  EXPECT_EQ(jsonString(lines[2], "firmware"), std::string(vernum).substr(0, 31));
}

// convbin takes the antenna and the receiver into its RINEX header (amid observation epochs).
TEST(Rtcm3Coder, DescriptorsReachConvbinsHeader) {
  OneSat t;
  std::strcpy(t.src.ref.antDescr, "ANT-DESCR");
  std::strcpy(t.src.ref.antSerial, "ANT-SERIAL");
  std::strcpy(sernum, "RCV-SERIAL-42");
  arm(t.coder, {kRtc3Msg1004, kRtc3Msg1008, kRtc3Msg1033});
  std::vector<Bytes> frames = {build(t.coder, kRtc3Msg1004), build(t.coder, kRtc3Msg1008), build(t.coder, kRtc3Msg1033)};
  for (int k = 0; k < 2; ++k) {
    t.src.rtk.ulTime[0] += 1000;
    arm(t.coder, {kRtc3Msg1004});
    frames.push_back(build(t.coder, kRtc3Msg1004));
  }
  TempDir d;
  writeFrames(d.file("a.rtcm3"), frames);
  const std::string h = rtcm3test::run("cd '" + d.path + "' && convbin -r rtcm3 -tr 2024/03/13 16:00:00 -v 3.04 -o a.obs " +
                                       "a.rtcm3 >/dev/null 2>&1; cat a.obs");
  const auto line = [&](const char* label) {
    const std::size_t p = h.find(label);
    return p == std::string::npos ? std::string() : h.substr(h.rfind('\n', p) + 1, 60);
  };
  const std::string ant = line("ANT # / TYPE"), rec = line("REC # / TYPE / VERS");
  EXPECT_EQ(std::tuple(ant.substr(0, 20).find("ANT-SERIAL"), ant.substr(20, 20).find("ANT-DESCR")), std::tuple(0u, 0u)) << ant;
  EXPECT_EQ(std::tuple(rec.substr(0, 20).find("RCV-SERIAL-42"), rec.substr(20, 20).find(std::string(igsRcvName).substr(0, 20)),
                       rec.substr(40, 20).find(std::string(vernum).substr(0, 20))),
            std::tuple(0u, 0u, 0u))
      << rec;
  sernum[0] = 0;
}

// 1029's parameter texts: each within 127 characters, its character and code-unit counts what
// is sent, a long message list cut after a whole number; never built while its text is off.
TEST(Rtcm3Coder, ParameterTextsFitTheirCounts) {
  FakeSource src;
  RTC3_Coder c(&src);
  c.setSettings(defaultSettings());
  bool all[kRtc3MsgCount];
  for (bool& b : all) b = true;
  c.initCoding(all, 1);
  c.makeCoding();
  std::vector<Bytes> frames;
  for (int p = 0; p < kTextParams; ++p) {
    c.setTextParam(p);
    frames.push_back(build(c, kRtc3Msg1029));
    ASSERT_FALSE(frames.back().empty()) << p;
  }
  const std::vector<std::string> lines = gpsdecodeFrames(frames);
  ASSERT_EQ(lines.size(), 4u);
  for (const std::string& l : lines) {
    SCOPED_TRACE(l);
    const std::string msg = jsonString(l, "msg");
    EXPECT_EQ(jsonInt(l, "len"), static_cast<long long>(msg.size()));
    EXPECT_EQ(jsonInt(l, "units"), static_cast<long long>(msg.size()));
    EXPECT_LE(msg.size(), 127u);
  }
  EXPECT_EQ(jsonString(lines[0], "msg"), "/par/base/modem=unknown");
  EXPECT_EQ(jsonString(lines[1], "msg"), "/par/base/moving={accel=,curpos=,alert=}");
  // The list: a prefix of the message numbers in index order, closed by its brace.
  const std::string out = jsonString(lines[2], "msg");
  std::string want = "/par/base/msgout=rtcm3/{";
  for (int i = 0; i < kRtc3MsgCount; ++i) {
    const std::string next = (i ? "," : "") + std::to_string(msgNumbers[i]);
    if (want.size() + next.size() + 1 > 127) break;
    want += next;
  }
  EXPECT_EQ(out, want + "}");
  EXPECT_GT(out.size(), 120u);
  EXPECT_EQ(jsonString(lines[3], "msg"), "/par/base/msgnum={4,4,72}");  // three built before it this arming

  // One message enabled: its number alone. A text switched off: no message.
  bool one[kRtc3MsgCount] = {};
  one[kRtc3Msg1029] = true;
  c.initCoding(one, 1);
  c.makeCoding();
  c.setTextParam(kTextMsgout);
  EXPECT_EQ(jsonString(gpsdecodeFrames({build(c, kRtc3Msg1029)}).at(0), "msg"), "/par/base/msgout=rtcm3/1029");
  RTC3_COD_SETTINGS s = defaultSettings();
  s.textParam[kTextMsgout] = 0;
  c.setSettings(s);
  EXPECT_TRUE(build(c, kRtc3Msg1029).empty());
  c.setTextParam(kTextParams);
  EXPECT_TRUE(build(c, kRtc3Msg1029).empty());
}

// The moving-base text carries the base-moving monitor's values while they are valid.
TEST(Rtcm3Coder, MovingTextCarriesTheMonitorsValues) {
  FakeSource src;
  RTC3_Coder c(&src);
  c.setSettings(defaultSettings());
  arm(c, {kRtc3Msg1029});
  c.setTextParam(kTextMoving);
  BaseMovingData = BASE_MOVING_DATA{};
  BaseMovingData.bAvgValid = 1;
  BaseMovingData.avg[0] = 1.26, BaseMovingData.avg[1] = -2.54, BaseMovingData.avg[2] = 0.04;
  BaseMovingData.avgErr = 0.36;
  const Bytes curpos = build(c, kRtc3Msg1029);
  BaseMovingData.bAlert = 1;
  BaseMovingData.maxMotion = 0.123f;
  BaseMovingData.motion[0] = 0.1f, BaseMovingData.motion[1] = -0.06f, BaseMovingData.motion[2] = 0.02f;
  const Bytes both = build(c, kRtc3Msg1029);
  BaseMovingData = BASE_MOVING_DATA{};
  const std::vector<std::string> lines = gpsdecodeFrames({curpos, both});
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(jsonString(lines[0], "msg"), "/par/base/moving={accel=,curpos={1.3,-2.5,0.0,0.4},alert=}");
  EXPECT_EQ(jsonString(lines[1], "msg"), "/par/base/moving={accel=,curpos={1.3,-2.5,0.0,0.4},alert={0.12,0.1,-0.1,0.0}}");
  EXPECT_EQ(jsonInt(lines[1], "len"), static_cast<long long>(jsonString(lines[1], "msg").size()));
}

// 4091 and 1230 through the receiver's own decoder.
TEST(Rtcm3Coder, VendorTextAndBiasesThroughTheDecoder) {
  FakeSource src;
  RTC3_Coder c(&src);
  RTC3_COD_SETTINGS s = defaultSettings(1234);
  std::string text;
  for (int i = 0; i < 127; ++i) text += static_cast<char>('A' + i % 26);
  std::strcpy(s.text, text.c_str());
  c.setSettings(s);
  arm(c, {kRtc3Msg4091t, kRtc3Msg1230});
  TempDir d;
  writeFrames(d.file("t.rtcm3"), {build(c, kRtc3Msg4091t), build(c, kRtc3Msg1230)});
  const Bytes data = rtcm3test::readFile(d.file("t.rtcm3"));
  rtcm3test::RecordingClient client;
  RTC3_Decoder& dec = Rtcm3Dec[1];
  dec.initDecoder(&client);
  NAV_Decoder nd(&dec);
  nd.putData(data.data(), static_cast<int>(data.size()), static_cast<InPorts::DecPortIndex>(1));
  ASSERT_EQ(client.texts.size(), 1u);
  EXPECT_EQ(std::string(client.texts[0].text), text);
  ASSERT_EQ(client.gloBias.size(), 1u);
  EXPECT_EQ(std::tuple(client.gloBias[0].stationId, client.gloBias[0].indicator, client.gloBias[0].mask),
            std::tuple(1234, 0, 0xF));
  const std::vector<std::string> lines = rtcm3test::gpsdecodeRtcm3(d.file("t.rtcm3"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(jsonInt(lines[1], "type"), 1230);
  EXPECT_EQ(jsonInt(lines[1], "station_id"), 1234);
}

// What makes buildMessage build nothing.
TEST(Rtcm3Coder, NothingIsBuiltOutsideAnArmingOrItsEnables) {
  OneSat t;
  std::uint8_t buf[RTC3_Coder::kFrameBytes];
  bool flags[kRtc3MsgCount] = {};
  flags[kRtc3Msg1004] = flags[kRtc3Msg1033] = true;
  EXPECT_TRUE(t.coder.initCoding(flags, 1));
  EXPECT_EQ(t.coder.buildMessage(kRtc3Msg1004, buf), 0) << "not armed";
  t.coder.makeCoding();
  EXPECT_GT(t.coder.buildMessage(kRtc3Msg1004, buf), 0);
  EXPECT_EQ(t.coder.buildMessage(kRtc3Msg1001, buf), 0) << "not enabled";
  EXPECT_EQ(t.coder.buildMessage(kRtc3MsgCount, buf), 0);
  EXPECT_EQ(t.coder.buildMessage(-1, buf), 0);
  EXPECT_EQ(t.coder.messagesArming(), 1u);
  // The epoch's data not built: no RTCM 3 at all this arming, the station texts included.
  t.src.ready = false;
  t.coder.makeCoding();
  EXPECT_EQ(t.coder.buildMessage(kRtc3Msg1004, buf), 0);
  EXPECT_EQ(t.coder.buildMessage(kRtc3Msg1033, buf), 0);
  // With data but no observations: the receiver description goes, the observations do not.
  t.src.ready = true;
  t.src.rtk.uConstOne = 0;
  t.coder.initCoding(flags, 1);
  t.coder.makeCoding();
  EXPECT_EQ(t.coder.buildMessage(kRtc3Msg1004, buf), 0);
  EXPECT_GT(t.coder.buildMessage(kRtc3Msg1033, buf), 0);
  EXPECT_FALSE(t.coder.initCoding(std::array<bool, kRtc3MsgCount>{}.data(), 1));
}

// Random epoch data: every frame that comes out is whole (gpsdecode takes each one).
TEST(Rtcm3Coder, RandomEpochDataGivesOnlyWholeFrames) {
  std::mt19937 rng(75);
  std::vector<Bytes> frames;
  auto src = std::make_unique<FakeSource>();
  RTC3_Coder c(src.get());
  for (int round = 0; round < 60; ++round) {
    auto* raw = reinterpret_cast<unsigned char*>(&src->rtk);
    for (std::size_t i = 0; i < sizeof src->rtk; ++i) raw[i] = static_cast<unsigned char>(rng());
    src->rtk.bReady = 1;
    for (int i = 0; i < kBaseSats; ++i)
      for (RTK_DATA_SLOT& sl : src->rtk.sat[i].slot) {
        // Plausible, absurd and non-finite values side by side.
        const int pick = static_cast<int>(rng() % 4);
        sl.dCode = pick == 0 ? 2e7 + rng() % 100000 : pick == 1 ? -1e30 : pick == 2 ? NAN : 1e300;
        sl.dPhase = pick == 0 ? sl.dCode + static_cast<double>(rng() % 2000) - 1000.0 : INFINITY;
      }
    src->ref.fAntHeight = static_cast<float>(rng() % 100000) / 1000.0f;
    bool all[kRtc3MsgCount];
    for (bool& b : all) b = true;
    c.initCoding(all, 1);
    c.makeCoding();
    for (int i = 0; i < kRtc3MsgCount; ++i) {
      c.setTextParam(static_cast<int>(rng() % 6) - 1);
      const Bytes f = build(c, i);
      if (!f.empty()) frames.push_back(f);
    }
  }
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(gpsdecodeFrames(frames).size(), frames.size());
}

}  // namespace
