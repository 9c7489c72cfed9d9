// RTCM 2 state-space messages 38, 39, 50 to 55: messages written field by field with the test's
// own packer and parity, sent as bytes through the decoder, checked in the state-space records.
// The expected values are worked by hand from the message layouts and the clock rules.
#include "differential/rtcm2/rtcm2_ssr.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "differential/rtcm2/rtcm2_decoder.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "positioning/corrections/rtcm_ts_corr_generator.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/time_scales.h"
#include "rtcm2_test_util.h"
#include "unit/fixed_scales.h"

namespace {

using namespace rtcm2test;
using TS = RTCMData::TSSatCorrectionType;
using Src = RTCMData::TSSourceStateDataType;

constexpr int kZ = 50;               // 30 s into the hour
constexpr long kGpsNow = 360031000;  // hour 100 of the week, 31 s
constexpr long kGloNow = 36031000;   // hour 10 of the day, 31 s
constexpr double kPos = 3.5 / 1024;

void setTime(long gps, long glo, bool valid = true) {
  RcvTimeScales::INT_SCALES s{};
  s.ms[0] = static_cast<std::int32_t>(gps), s.ms[1] = static_cast<std::int32_t>(glo);
  s.flags[0] = s.flags[1] = valid ? RcvTimeScales::kTimeValid : 0;
  testscales::publishFixed(s, 5);
}

struct Sat {
  int index;
  long v[8];  // the satellite's fields in message order
};

struct Ssr : ::testing::Test {
  RTCM_Decoder& dec = RtcmDec[3];
  NAV_Decoder drv{&RtcmDec[3]};
  void SetUp() override {
    rtcmSetDefaults(RtcmSet);
    dec.initDecoder(nullptr);
    dec.TSSourceState.init();
    drv.state = 0;
    PVTDataInstance.rtcmTsSatCorrection.Init();
    const Src empty;
    PVTDataInstance.rtcmTsSourceState.Put(&empty);
    setTime(kGpsNow, kGloNow);
  }
  void send(int type, const Fields& f, int z = kZ, int length = -1, int station = 77) {
    Writer w;
    std::vector<std::uint32_t> words = f.words();
    if (length >= 0) words.resize(static_cast<std::size_t>(length), 0xFFFFFFu);
    w.message(Header{type, station, z, 0, 0, length}, words);
    const auto b = w.bytes();
    drv.putData(b.data(), static_cast<int>(b.size()), static_cast<InPorts::DecPortIndex>(3));
  }
  bool rec(int sys, int index, TS& out) {
    SvIdType id;
    return svIdFromSatNumber(sys, SYS_SAT_MIN[sys] + index, id) &&
           PVTDataInstance.rtcmTsSatCorrection.Take(&id, &out) != 0;
  }
  void put(int sys, int index, const TS& c) {
    SvIdType id;
    ASSERT_TRUE(svIdFromSatNumber(sys, SYS_SAT_MIN[sys] + index, id));
    ASSERT_EQ(PVTDataInstance.rtcmTsSatCorrection.Put(&id, &c), 1);
  }
  Src src() {
    Src s;
    PVTDataInstance.rtcmTsSourceState.Take(&s);
    return s;
  }
};

std::uint64_t maskOf(const std::vector<Sat>& sats, int width, bool lastIsZero = false) {
  std::uint64_t m = 0;
  for (const Sat& s : sats) m |= 1ull << (lastIsZero ? s.index : width - 1 - s.index);
  return m;
}

// Field widths of one satellite per message type 50, 38, 51, 39, 52, 53, 54, 55 (negative: signed).
const std::vector<int>& widths(int type) {
  static const std::vector<int> w[8] = {
      {8, 1, -11, -11, -11, -6, -6, -6}, {7, -13, -13, -13, -6, -6, -6, 1}, {16}, {18}, {-9}, {-12}, {-11, 4},
      {-3, -3, -3, -3, -3, -3}};
  return w[type == 50 ? 0 : type == 38 ? 1 : type == 51 ? 2 : type == 39 ? 3 : type - 48];
}

// A whole message: head fields of its type, then the satellites in the order given.
Fields message(int type, const std::vector<Sat>& sats, int source = 1, int sysField = 0, int signal = 0) {
  Fields f;
  if (type == 50) f.put(0, 2), f.put(source, 2), f.put(0, 12), f.put(maskOf(sats, 32), 32);
  if (type == 38) f.put(0, 2), f.put(source, 2), f.put(0, 4), f.put(maskOf(sats, 24), 24);
  if (type == 51) f.put(0, 2), f.put(source, 2), f.put(0, 4), f.put(maskOf(sats, 32), 32);
  if (type == 39) f.put(0, 2), f.put(source, 2), f.put(0, 20), f.put(maskOf(sats, 24), 24);
  if (type == 53 || type == 54)
    f.put(source, 2), f.put(sysField, 3), f.put(signal, 3), f.put(maskOf(sats, 35, true), 35);
  if (type == 54) f.put(0x7FFFFFFFFull, 35);
  for (const Sat& s : sats)
    for (std::size_t k = 0; k < widths(type).size(); ++k) f.putSigned(s.v[k], std::abs(widths(type)[k]));
  return f;
}

Fields partial(int sysField, int base, int since, const std::vector<long>& diffs) {
  Fields f;
  f.put(sysField, 3), f.put(base, 6), f.put(since, 6);
  for (long d : diffs) f.putSigned(d, 9);
  return f;
}

}  // namespace

TEST(Rtcm2SsrRules, SnapZCountFoldAndClockDiff) {
  struct {
    long ms;
    int sys;
    long want;
  } snaps[] = {{12000, 0, 10000}, {12001, 0, 15000}, {15000, 0, 15000},      {-1, 0, -1},
               {604799000, 0, 0}, {86398000, 1, 0},  {86397000, 1, 86395000}};
  for (const auto& r : snaps) EXPECT_EQ(Rtcm2Ssr::snapTo5s(r.ms, r.sys), r.want) << r.ms;
  struct {
    int zp, since, zb;
    bool ok;
  } partials[] = {{60, 10, 50, true},   {59, 10, 50, false}, {70, 10, 50, true}, {10, 20, 5990, true},
                  {9, 20, 5990, false}, {49, 0, 50, false},  {50, 0, 50, true}};
  for (const auto& r : partials) EXPECT_EQ(Rtcm2Ssr::partialInTime(r.zp, r.since, r.zb), r.ok) << r.zp << " " << r.zb;
  EXPECT_NEAR(Rtcm2Ssr::foldClockDiff((30 - 65500) * 0.001, 65.535), 0.065, 1e-9);
  EXPECT_NEAR(Rtcm2Ssr::foldClockDiff((50 - 262100) * 0.001, 262.143), 0.093, 1e-9);
  EXPECT_NEAR(Rtcm2Ssr::foldClockDiff((65500 - 30) * 0.001, 65.535), -0.065, 1e-9);
}

// Three satellites alike by 0.5 m: step 0; one by 0.6 m alone: 0.2 m. Marker rules per row.
TEST(Rtcm2SsrRules, ClockSteps) {
  struct {
    const char* name;
    std::vector<double> d;
    std::uint16_t marker;
    double step, add0;  // common step, addition of satellite 0
  } rows[] = {
      {"alike, unset", {0.5, 0.5, 0.5}, 65535, 0.0, 0.0},
      {"one alone, unset", {0.6, 0.0, 0.0}, 65535, 0.2, 0.6},
      {"one alone down, unset", {-0.6, 0.0, 0.0}, 65535, -0.2, -0.6},
      {"one alone, marker is source", {0.6, 0.0, 0.0}, 1, 0.2, 0.6},
      {"small jump, marker is source", {0.3, 0.0, 0.0, 0.0, 0.0, 0.0}, 1, 0.05, 0.0},
      {"own jump 0.5 m, marker is source", {0.5, 0.0, 0.0, 0.0, 0.0, 0.0}, 1, 0.5 / 6, 0.5},
      {"own jump over common motion", {0.55, 0.05, 0.05, 0.05, 0.05, 0.05}, 1, 0.5 / 6, 0.5},
      {"small jump, other marker", {0.3, 0.0, 0.0, 0.0, 0.0, 0.0}, 2, 0.05, 0.3},
  };
  for (const auto& r : rows) {
    double smallest = 0.0;
    const double step = Rtcm2Ssr::commonClockStep(r.d.data(), static_cast<int>(r.d.size()), smallest);
    EXPECT_NEAR(step, r.step, 1e-12) << r.name;
    EXPECT_NEAR(Rtcm2Ssr::clockStepAddition(r.d[0], r.d[0] - smallest, step, r.marker, 1), r.add0, 1e-12) << r.name;
  }
}

TEST_F(Ssr, OrbitScalingAndPrevious) {
  struct {
    const char* name;
    int type, sys;
    Sat s;
    double pos[3], rate[3];
    int issue;
  } rows[] = {
      {"GPS scale 1",
       50,
       kSysGps,
       {4, {33, 1, 100, -1, 1023, 1, -32, 31}},
       {3.125, -1 / 32.0, 1023 / 32.0},
       {1 / 8192.0, -32 / 8192.0, 31 / 8192.0},
       33},
      {"GPS scale 0",
       50,
       kSysGps,
       {31, {200, 0, 100, -1024, 0, 0, 0, -1}},
       {0.78125, -8.0, 0},
       {0, 0, -1 / 8192.0},
       200},
      {"GLONASS scale 1",
       38,
       kSysGlonass,
       {0, {5, 100, -4096, 4095, 2, -2, 0, 1}},
       {3.125, -128.0, 4095 / 32.0},
       {2 / 8192.0, -2 / 8192.0, 0},
       5},
      {"GLONASS scale 0", 38, kSysGlonass, {23, {127, 100, 0, 0, 0, 0, 0, 0}}, {0.78125, 0, 0}, {0, 0, 0}, 127},
  };
  for (const auto& r : rows) {
    SetUp();
    send(r.type, message(r.type, {r.s}));
    TS c;
    ASSERT_TRUE(rec(r.sys, r.s.index, c)) << r.name;
    EXPECT_TRUE(c.is_ReadyOrbitCorr(r.sys, r.sys == kSysGps ? kGpsNow : kGloNow, 0)) << r.name;
    EXPECT_EQ(c.iIssue[0], r.issue) << r.name;
    EXPECT_EQ(c.ulOrbitTime[0] >> 1, (r.sys == kSysGps ? 360030000u : 36030000u)) << r.name;
    for (int j = 0; j < 3; ++j) {
      EXPECT_DOUBLE_EQ(c.fOrbit[0][j], r.pos[j]) << r.name << j;
      EXPECT_DOUBLE_EQ(c.fOrbitRate[0][j], r.rate[j]) << r.name << j;
    }
    EXPECT_EQ(c.uReady & TS::kOrbitReady0 << 1, 0) << r.name;
    // The same issue again leaves no previous set; another issue moves the current one there.
    send(r.type, message(r.type, {r.s}), kZ + 1);
    ASSERT_TRUE(rec(r.sys, r.s.index, c));
    EXPECT_EQ(c.uReady & TS::kOrbitReady0 << 1, 0) << r.name;
    Sat next = r.s;
    next.v[0] = (r.issue + 1) % (r.type == 50 ? 256 : 128), next.v[r.type == 50 ? 2 : 1] = 7;
    send(r.type, message(r.type, {next}), kZ + 2);
    ASSERT_TRUE(rec(r.sys, r.s.index, c));
    EXPECT_NE(c.uReady & TS::kOrbitReady0 << 1, 0) << r.name;
    EXPECT_EQ(c.iIssue[1], r.issue) << r.name;
    EXPECT_DOUBLE_EQ(c.fOrbit[1][0], r.pos[0]) << r.name;
    const long scale = r.type == 50 ? r.s.v[1] : r.s.v[7];
    EXPECT_DOUBLE_EQ(c.fOrbit[0][0], 7 * (scale != 0 ? 1 / 32.0 : 1 / 128.0)) << r.name;
  }
}

// The satellite count comes from the mask; a mask asking for more than the N words hold drops
// the message (nothing stored, not even its head). GLONASS satellites follow without gaps.
TEST_F(Ssr, MaskLongerThanMessageDrops) {
  struct {
    const char* name;
    int type, sats, length;
    bool stored;
  } rows[] = {
      {"32 GPS orbits need 82 words", 50, 32, 31, false},  {"24 GLONASS orbits need 67 words", 38, 24, 31, false},
      {"10 GLONASS orbits in 29 words", 38, 10, 29, true}, {"10 GLONASS orbits, 28 words", 38, 10, 28, false},
      {"3 GPS orbits in 10 words", 50, 3, 10, true},       {"3 GPS orbits, 9 words", 50, 3, 9, false},
      {"32 GPS clocks in 23 words", 51, 32, 23, true},     {"32 GPS clocks, 22 words", 51, 32, 22, false},
      {"32 code biases in 18 words", 53, 32, 18, true},    {"32 code biases, 17 words", 53, 32, 17, false},
      {"orbit without its mask", 50, 0, 1, false}};
  for (const auto& r : rows) {
    SetUp();
    std::vector<Sat> sats;
    for (int i = 0; i < r.sats; ++i)
      sats.push_back(Sat{r.type == 53 ? r.sats - 1 - i : i, {i % 100, 1, 10 + i, 2, 3, 1, 1, 1}});
    send(r.type, message(r.type, sats), kZ, r.length);
    const int sys = r.type == 38 ? kSysGlonass : kSysGps;
    TS c;
    EXPECT_EQ(rec(sys, r.sats > 0 ? r.sats - 1 : 0, c), r.stored) << r.name;
    EXPECT_EQ(src().ulTime & 1u, r.stored ? 1u : 0u) << r.name;
    if (r.stored && r.type == 38) {
      EXPECT_DOUBLE_EQ(c.fOrbit[0][1], (10 + r.sats - 1) / 32.0) << r.name;
    }
  }
}

// Precise clocks: changes folded into half the wrap, the accumulated clock by the step rules,
// satellites missing from the mask emptied, the buffers swapped after each message.
TEST_F(Ssr, PreciseClockSteps) {
  struct {
    const char* name;
    int type;
    std::vector<long> before, after;
    std::uint16_t marker;  // put on every record between the two messages
    std::vector<double> offset;
  } rows[] = {
      {"GPS wrap", 51, {65500}, {30}, 3, {0.065}},
      {"GLONASS wrap", 39, {262100}, {50}, 3, {0.093}},
      {"alike by 0.5 m", 51, {1000, 2000, 3000}, {1500, 2500, 3500}, 65535, {0, 0, 0}},
      {"one by 0.6 m", 51, {1000, 2000, 3000}, {1600, 2000, 3000}, 65535, {0.6, 0, 0}},
      {"one by 0.6 m across the wrap", 39, {262000, 2000, 3000}, {457, 2000, 3000}, 65535, {0.6, 0, 0}},
      {"own jump, marker the source", 51, {1, 2, 3, 4, 5, 6}, {501, 2, 3, 4, 5, 6}, 1, {0.5, 0, 0, 0, 0, 0}},
      {"small jump, marker the source", 51, {1, 2, 3, 4, 5, 6}, {301, 2, 3, 4, 5, 6}, 1, {0, 0, 0, 0, 0, 0}},
  };
  for (const auto& r : rows) {
    SetUp();
    const int sys = r.type == 51 ? kSysGps : kSysGlonass;
    std::vector<Sat> a, b;
    for (std::size_t i = 0; i < r.before.size(); ++i)
      a.push_back({static_cast<int>(i), {r.before[i]}}), b.push_back({static_cast<int>(i), {r.after[i]}});
    send(r.type, message(r.type, a));
    EXPECT_EQ(src().aState[sys], 1) << r.name;
    for (std::size_t i = 0; i < a.size(); ++i) {
      TS c;
      ASSERT_TRUE(rec(sys, static_cast<int>(i), c));
      c.uStepId = r.marker;
      put(sys, static_cast<int>(i), c);
    }
    send(r.type, message(r.type, b), kZ + 50);
    EXPECT_EQ(src().aState[sys], 0) << r.name;
    for (std::size_t i = 0; i < b.size(); ++i) {
      TS c;
      ASSERT_TRUE(rec(sys, static_cast<int>(i), c));
      EXPECT_NEAR(c.fClockOffset, r.offset[i], 1e-6) << r.name << " " << i;
      EXPECT_EQ(c.ulClock[0], static_cast<std::uint32_t>(r.after[i])) << r.name;
      EXPECT_TRUE(c.is_ReadyClockCorr(sys, sys == kSysGps ? kGpsNow + 30000 : kGloNow + 30000, 0)) << r.name;
      EXPECT_EQ(c.uClockId[0], 1) << r.name;
    }
  }
}

TEST_F(Ssr, SatellitesMissingFromAClockLoseTheirClock) {
  send(50, message(50, {{2, {9, 1, 1, 1, 1, 0, 0, 0}}}));
  send(51, message(51, {{0, {10}}, {2, {20}}}));
  send(51, message(51, {{0, {11}}}), kZ + 10);
  TS c;
  ASSERT_TRUE(rec(kSysGps, 2, c));
  EXPECT_EQ(c.uClockId[0], 65535);
  EXPECT_FALSE(c.is_ReadyClockCorr(kSysGps, kGpsNow, 0));
  EXPECT_TRUE(c.is_ReadyOrbitCorr(kSysGps, kGpsNow, 0));
  ASSERT_TRUE(rec(kSysGps, 0, c));
  EXPECT_EQ(c.ulClock[0], 11u);
  // Another source's message: what the first left is cleared.
  send(51, message(51, {{5, {30}}}, 2), kZ + 20);
  EXPECT_EQ(src().uId, 2);
  ASSERT_TRUE(rec(kSysGps, 2, c));
  EXPECT_EQ(c.uReady, 0);
}

// Partials against the precise clock of Z-count 50: base message, Z-count and wraps.
TEST_F(Ssr, ClockPartial) {
  struct {
    const char* name;
    int sysField, base, since, z;
    std::vector<long> diffs;
    std::vector<long> want;  // clock of satellites 0..2 afterwards, -1 emptied; none: refused
  } rows[] = {
      {"consistent", 0, 51, 10, 60, {10, -200, -256}, {5, 65435, -1}},
      {"just after the base", 0, 51, 0, 50, {0, 0, 0}, {65530, 100, 5000}},
      {"later than needed", 0, 51, 10, 65, {1, 1, 1}, {65531, 101, 5001}},
      {"earlier than base + since", 0, 51, 10, 59, {1, 1, 1}, {}},
      {"other base message", 0, 39, 10, 60, {1, 1, 1}, {}},
      {"GLONASS has no clock yet", 1, 51, 10, 60, {1, 1, 1}, {}},
      {"system 6", 6, 51, 10, 60, {1, 1, 1}, {}},
      {"mask longer than the message", 0, 51, 10, 60, {1}, {}},
  };
  for (const auto& r : rows) {
    SetUp();
    send(51, message(51, {{0, {65530}}, {1, {100}}, {2, {5000}}}));
    send(52, partial(r.sysField, r.base, r.since, r.diffs), r.z, r.diffs.size() == 1 ? 1 : -1);
    EXPECT_EQ(src().aState[kSysGps], r.want.empty() ? 1 : 0) << r.name;
    for (std::size_t i = 0; i < r.want.size(); ++i) {
      TS c;
      ASSERT_TRUE(rec(kSysGps, static_cast<int>(i), c));
      if (r.want[i] < 0) {
        EXPECT_EQ(c.uClockId[0], 65535) << r.name;
        continue;
      }
      EXPECT_EQ(c.ulClock[0], static_cast<std::uint32_t>(r.want[i])) << r.name << " " << i;
      EXPECT_EQ(c.ulClockTime[0] >> 1, 360000000u + r.z * 600u) << r.name;
    }
  }
  SetUp();
  send(39, message(39, {{4, {262140}}}));
  send(52, partial(1, 39, 0, {10}), kZ);
  TS c;
  ASSERT_TRUE(rec(kSysGlonass, 4, c));
  EXPECT_EQ(c.ulClock[0], 7u);
}

// A precise clock or orbit message decoded without receiver time is no base: partials and
// refinements that refer to it are refused, though its head was stored.
TEST_F(Ssr, BaseWithoutReceiverTimeIsNoBase) {
  send(51, message(51, {{0, {100}}}));
  send(50, message(50, {{0, {1, 1, 32, 0, 0, 0, 0, 0}}}));
  setTime(kGpsNow, kGloNow, false);
  send(51, message(51, {{0, {200}}}), kZ + 10);
  send(50, message(50, {{0, {1, 1, 64, 0, 0, 0, 0, 0}}}), kZ + 10);
  EXPECT_EQ(src().aClockZCount[kSysGps], kZ + 10);
  setTime(kGpsNow + 6000, kGloNow + 6000);
  send(52, partial(0, 51, 0, {5}), kZ + 10);
  send(55, message(55, {{0, {3, 3, 3, 3, 3, 3}}}), kZ + 10);
  TS c;
  ASSERT_TRUE(rec(kSysGps, 0, c));
  EXPECT_EQ(src().aState[kSysGps], 1);
  EXPECT_EQ(c.ulClock[1], 100u);
  EXPECT_FLOAT_EQ(c.fOrbit[0][0], 1.0f);
}

TEST_F(Ssr, OrbitRefinement) {
  struct {
    const char* name;
    int station, z;
    bool applied;
  } rows[] = {{"same station and Z-count", 77, kZ, true},
              {"other station", 78, kZ, false},
              {"other Z-count", 77, kZ + 1, false}};
  for (const auto& r : rows) {
    SetUp();
    send(50, message(50, {{3, {1, 1, 32, 0, 0, 0, 0, 0}}, {7, {2, 0, 0, 0, 0, 0, 0, 0}}}));
    send(55, message(55, {{3, {-4, 3, 0, -1, 2, -4}}, {7, {3, 3, 3, 3, 3, 3}}}), r.z, -1, r.station);
    TS c;
    ASSERT_TRUE(rec(kSysGps, 3, c));
    const double want[6] = {1.0 - kPos, kPos, 0.5 / 1024, -0.5 / 65536, 2.5 / 65536, -3.5 / 65536};
    for (int j = 0; j < 3; ++j) {
      EXPECT_NEAR(c.fOrbit[0][j], r.applied ? want[j] : j == 0 ? 1.0 : 0.0, 1e-7) << r.name << j;
      EXPECT_NEAR(c.fOrbitRate[0][j], r.applied ? want[3 + j] : 0.0, 1e-9) << r.name << j;
    }
    ASSERT_TRUE(rec(kSysGps, 7, c));
    EXPECT_NEAR(c.fOrbit[0][0], r.applied ? kPos : 0.0, 1e-7) << r.name;
  }
}

TEST_F(Ssr, CodeAndPhaseBiases) {
  struct {
    const char* name;
    int type, sysField, signal;
    std::vector<Sat> sats;  // in mask order: highest index first
    int sys, slot, index;
    double value;  // of satellite `index`; slot -1: the message is dropped
  } rows[] = {
      {"GPS code signal 3", 53, 0, 3, {{3, {-40}}, {0, {5}}}, kSysGps, 3, 3, -1.0},
      {"last mask bit is index 0", 53, 0, 3, {{3, {-40}}, {0, {5}}}, kSysGps, 3, 0, 0.125},
      {"GLONASS code signal 2", 53, 1, 2, {{31, {1}}, {30, {2}}, {0, {3}}}, kSysGlonass, 3, 0, 0.075},
      {"system 2 code signal 1", 53, 2, 1, {{20, {8}}}, kSysBeidou, 0, 20, 0.2},
      {"GPS phase signal 1", 54, 0, 1, {{9, {123, 15}}}, kSysGps, 2, 9, 0.123},
      {"system 2 phase signal 2", 54, 2, 2, {{1, {-1024, 0}}}, kSysBeidou, 3, 1, -1.024},
      {"GLONASS phase signal 2", 54, 1, 2, {{6, {-7, 0}}}, kSysGlonass, 4, 6, -0.007},
      {"GPS phase signal 3", 54, 0, 3, {{3, {1, 0}}}, kSysGps, -1, 3, 0},
      {"unsupported signal", 53, 0, 5, {{3, {1}}}, kSysGps, -1, 3, 0},
      {"system field 3", 53, 3, 0, {{3, {1}}}, kSysGalileo, -1, 3, 0},
      {"system field 5", 53, 5, 0, {{3, {1}}}, kSysGps, -1, 3, 0},
      {"system field 7", 54, 7, 0, {{3, {1, 0}}}, kSysGps, -1, 3, 0},
  };
  for (const auto& r : rows) {
    SetUp();
    send(r.type, message(r.type, r.sats, 1, r.sysField, r.signal));
    TS c;
    ASSERT_EQ(rec(r.sys, r.index, c), r.slot >= 0) << r.name;
    if (r.slot < 0) continue;
    const float* v = r.type == 53 ? c.fCodeBias : c.fPhaseBias;
    EXPECT_NEAR(v[r.slot], r.value, 1e-6) << r.name;
    EXPECT_EQ(r.type == 53 ? c.uCodeBiasMask : c.uPhaseBiasMask, 1 << r.slot) << r.name;
  }
}

// The head: Z-count made absolute across the hour, the week and the GLONASS day, snapped to
// 5 s; without receiver time the head is stored with an invalid tag and nothing else.
TEST_F(Ssr, HeadTime) {
  struct {
    const char* name;
    int type;
    long gps, glo;
    int z;
    bool valid;
    long tag;  // orbit tag of the message's system; -1 none
    long gpsTag;
  } rows[] = {
      {"GPS across the hour", 50, 17990000, kGloNow, 20, true, 18010000, 18010000},
      {"GPS across the week", 50, 604790000, kGloNow, 20, true, 10000, 10000},
      {"GPS snap forward", 50, kGpsNow, kGloNow, 55, true, 360035000, 360035000},
      {"GLONASS across the day", 38, kGpsNow, 86390000, 20, true, 10000, kGpsNow + 20000},
      {"GLONASS source time in GPS", 38, kGpsNow, kGloNow, kZ, true, 36030000, 360030000},
      {"no receiver time", 50, kGpsNow, kGloNow, kZ, false, -1, -1},
  };
  for (const auto& r : rows) {
    SetUp();
    setTime(r.gps, r.glo, r.valid);
    send(r.type, message(r.type, {{1, {3, 1, 1, 1, 1, 1, 1, 1}}}), r.z);
    const int sys = r.type == 50 ? kSysGps : kSysGlonass;
    TS c;
    EXPECT_EQ(rec(sys, 1, c), r.tag >= 0) << r.name;
    if (r.tag >= 0) {
      EXPECT_EQ(c.ulOrbitTime[0] >> 1, static_cast<std::uint32_t>(r.tag)) << r.name;
    }
    const Src s = src();
    EXPECT_EQ(s.uOrbitSystem, sys) << r.name;
    EXPECT_EQ(s.ulTime & 1u, r.valid ? 1u : 0u) << r.name;
    if (r.valid) {
      EXPECT_EQ(s.ulTime >> 1, static_cast<std::uint32_t>(r.gpsTag)) << r.name;
    }
  }
}

// Random and truncated messages of these types: every read stays in the message (the
// sanitizers watch) and no identity outside its system reaches the server (it would end the
// process).
TEST_F(Ssr, RandomAndTruncatedMessages) {
  std::mt19937 rng(59);
  const int types[] = {38, 39, 50, 51, 52, 53, 54, 55};
  for (int round = 0; round < 400; ++round) {
    Fields f;
    const int n = static_cast<int>(rng() % 32);
    for (int i = 0; i < n; ++i) f.put(rng() & 0xFFFFFFu, 24);
    send(types[rng() % 8], f, static_cast<int>(rng() % 6000), n, static_cast<int>(rng() % 4));
  }
  Writer w;
  w.message(Header{51, 77, kZ, 0, 0, -1}, message(51, {{0, {1}}, {31, {2}}}).words());
  const auto b = w.bytes();
  for (std::size_t cut = 0; cut <= b.size(); ++cut) {
    SetUp();
    drv.putData(b.data(), static_cast<int>(cut), static_cast<InPorts::DecPortIndex>(3));
    TS c;
    EXPECT_EQ(rec(kSysGps, 31, c), cut == b.size()) << cut;
  }
}

// The records as the position engine's state-space generator reads them: the current orbit set,
// the current clock buffer of the source, the time tags. Clock value 40,000 mm is rebuilt around
// a broadcast clock of 0 as 40 - 65.535 m; the orbit term is -(dX + rate * age) * e.
TEST_F(Ssr, GeneratorReadsTheDecodedRecords) {
  SvIdType g7, si;
  ASSERT_TRUE(svIdFromSatNumber(kSysGps, 7, g7) && svIdFromSiNumber(kSysGps, 7, si));
  g7.si = si.si;
  SatPolynomStoreInstance.Init();
  SatData::PolynomSetType set{};
  set.entry[0].iod = 55, set.entry[1].iod = kPolyNoIod;
  set.entry[0].refTime = 360030.0, set.entry[0].span = 60.0f, set.entry[0].flags = kPolyFlagAlmChecked;
  ASSERT_TRUE(SatPolynomStoreInstance.Put(g7, &set));
  send(50, message(50, {{6, {55, 1, 48, 0, 0, 31, 0, 0}}}));  // dX 1.5 m, rate 31/8192 m/s
  send(51, message(51, {{6, {40000}}}));
  CorrData::CorrectionRequestType req{};
  req.rcvTime.gps.ulMs = kGpsNow + 1000;
  req.uCount = 1;
  req.sat[0].svId = g7, req.sat[0].uIod = 55, req.sat[0].dLos[0] = 1.0;
  SBASData::CorrectionRequestType answer{};
  answer.pRequest = &req;
  RtcmTSCorrGenerator gen(&PVTDataInstance);
  gen.update(&answer);
  ASSERT_EQ(answer.uSourceCount, 1);
  EXPECT_EQ(answer.source[0].uPrn, 1);
  const SBASData::BandCorrectionType& b = answer.source[0].corr[0][0];
  ASSERT_EQ(b.bValid, 1);
  EXPECT_EQ(b.uIssue, 55);
  EXPECT_NEAR(b.fCorrection, -(1.5 + 31 / 8192.0 * 2.0) + 40.0 - 65.535, 1e-4);
  EXPECT_NEAR(b.fAge, 2.0, 1e-6);
}
