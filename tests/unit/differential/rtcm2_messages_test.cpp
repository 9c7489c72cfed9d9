// RTCM 2 message contents: code corrections into the correction servers, the RTK observables,
// text, time offset, network messages, the reference-source rule and messages too short for
// their fields. Values are written with the test's own field packer from RTCM 10402.3 layouts.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "differential/rtcm2/rtcm2_decoder.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "rtcm2_client_recorder.h"
#include "rtcm2_test_util.h"
#include "unit/fixed_scales.h"

namespace {

using namespace rtcm2test;
using Sat = RTCMData::SatCorrectionType;
using Words = std::vector<std::uint32_t>;

struct Rtcm2Messages : ::testing::Test {
  Recorder client;
  RTCM_Decoder& dec = RtcmDec[2];
  NAV_Decoder drv{&RtcmDec[2]};
  void SetUp() override {
    freshDecoder(dec, drv, client);
  }
  void send(int type, const Words& data, int length = -1, int zCount = 100, int station = 77) {
    Writer w;
    Header h{type, station, zCount, 0, 0, length};
    w.message(h, data);
    const auto b = w.bytes();
    drv.putData(b.data(), static_cast<int>(b.size()), static_cast<InPorts::DecPortIndex>(2));
  }
  bool entry(int sys, int number, Sat& out, int station = 77) {
    SvIdType id;
    if (!svIdFromSatNumber(sys, number, id)) return false;
    for (int i = 0; i < kRtcmSourceEntries; ++i)
      if (RtcmSourceIdData[i].uId == station && PVTDataInstance.rtcmSatCorrection[i].Take(&id, &out) != 0)
        return out.uStationId == station;
    return false;
  }
};

// One satellite of types 1, 2, 9, 31, 34.
void sat40(Fields& f, int coarse, int udre, int id, int prc, int rrc, int iod) {
  f.put(static_cast<unsigned>(coarse), 1), f.put(static_cast<unsigned>(udre), 2), f.put(static_cast<unsigned>(id), 5);
  f.putSigned(prc, 16), f.putSigned(rrc, 8), f.put(static_cast<unsigned>(iod), 8);
}

TEST_F(Rtcm2Messages, CodeCorrectionRows) {
  struct Row {
    const char* name;
    int type;
    int coarse, udre, id, prc, rrc, iod;
    int sys, number;  // where the entry must land (number 0: nowhere)
    int slot, code;
    std::uint16_t flags;
  };
  const Row rows[] = {
      {"type 1 fine", 1, 0, 2, 5, -1234, 12, 77, kSysGps, 5, 0, 0, 0},
      {"type 9 coarse", 9, 1, 3, 17, 2000, -5, 3, kSysGps, 17, 0, 0, Sat::kCoarseScale},
      {"satellite 0 is PRN 32", 1, 0, 0, 0, 10, 1, 9, kSysGps, 32, 0, 0, 0},
      {"PRC -32768: do not use", 1, 0, 0, 6, -32768, 0, 1, kSysGps, 6, 0, 0, Sat::kUnusable},
      {"RRC -128: do not use", 1, 0, 0, 7, 5, -128, 1, kSysGps, 7, 0, 0, Sat::kUnusable},
      {"type 31 GLONASS slot 5", 31, 0, 1, 5, 300, 2, 40, kSysGlonass, 5, 0, 0, 0},
      {"type 34 GLONASS slot 24", 34, 1, 1, 24, 300, 2, 40, kSysGlonass, 24, 0, 0, Sat::kCoarseScale},
      {"GLONASS id 0 skipped", 31, 0, 1, 0, 300, 2, 40, kSysGlonass, 0, 0, 0, 0},
      {"GLONASS id 31 skipped", 31, 0, 1, 31, 300, 2, 40, kSysGlonass, 0, 0, 0, 0},
  };
  for (const Row& r : rows) {
    SetUp();
    Fields f;
    sat40(f, r.coarse, r.udre, r.id, r.prc, r.rrc, r.iod);
    send(r.type, f.words());
    ASSERT_EQ(client.statuses.size(), 1u) << r.name;
    bool any = false;
    for (int number = 1; number <= 32; ++number) {
      Sat c{};
      if (entry(r.sys, number, c)) {
        any = true;
        EXPECT_EQ(number, r.number) << r.name;
        const Sat::RangeCorrType& e = c.range[r.slot][r.code];
        EXPECT_EQ(std::tuple(e.fPrc, e.fRrc, e.uUdre, e.uIod), std::tuple(float(r.prc), float(r.rrc), r.udre, r.iod))
            << r.name;
        EXPECT_EQ(c.uSlotFlags[r.slot], r.flags) << r.name;
      }
    }
    EXPECT_EQ(any, r.number != 0) << r.name;
  }
}

TEST_F(Rtcm2Messages, CorrectionLengthMustHoldWholeSatellites) {
  // N for s satellites: 2, 4, 5, 7, 9, 10 ... 30 (40 bits each); other lengths are dropped.
  struct Row { int sats, length; bool kept; };
  const Row rows[] = {{1, 2, true}, {2, 4, true}, {3, 5, true}, {4, 7, true}, {5, 9, true}, {18, 30, true},
                      {1, 1, false}, {1, 3, false}, {2, 3, false}, {3, 6, false}, {18, 31, false}};
  for (const Row& r : rows) {
    SetUp();
    Fields f;
    for (int s = 0; s < r.sats; ++s) sat40(f, 0, 0, 1 + s, 10 * s, 0, s);
    Words w = f.words();
    w.resize(static_cast<std::size_t>(r.length), 0xFFFFFFu);
    send(1, w);
    Sat c{};
    EXPECT_EQ(entry(kSysGps, 1, c), r.kept) << r.sats << " satellites in " << r.length << " words";
  }
}

TEST_F(Rtcm2Messages, ANewIssueOfDataKeepsTheOldCorrectionAsPrevious) {
  Fields a, b, d;
  sat40(a, 0, 1, 9, 500, 3, 20);
  sat40(b, 0, 2, 9, 600, 4, 21);
  send(1, a.words());
  send(1, b.words());
  Sat c{};
  ASSERT_TRUE(entry(kSysGps, 9, c));
  EXPECT_EQ(std::tuple(c.range[0][0].fPrc, c.range[0][0].uIod), std::tuple(600.0f, 21));
  EXPECT_EQ(std::tuple(c.previous[0][0].fPrc, c.previous[0][0].uIod), std::tuple(500.0f, 20));
  // Type 2: the delta correction for the issue before.
  sat40(d, 0, 1, 9, -7, 1, 20);
  send(2, d.words());
  ASSERT_TRUE(entry(kSysGps, 9, c));
  EXPECT_EQ(std::tuple(c.delta.fPrc, c.delta.fRrc, c.delta.uIod), std::tuple(-7.0f, 1.0f, 20));
  EXPECT_NE(c.uFlags & Sat::kDeltaRangeReady, 0);
  EXPECT_EQ(c.range[0][0].fPrc, 600.0f);
}

// Types 41 and 42: system, signal, 36 bits a satellite, 6-bit UDRE.
TEST_F(Rtcm2Messages, MultiSystemCorrectionRows) {
  struct Row {
    const char* name;
    int system, signal, id, udre;
    int sys, number, slot, code;  // number 0: nowhere
  };
  const Row rows[] = {
      {"GPS L1 C/A", 1, 0, 3, 10, kSysGps, 3, 0, 0},
      {"GPS L2 P", 1, 3, 3, 10, kSysGps, 3, 1, 1},
      {"GLONASS L1 P", 2, 1, 7, 10, kSysGlonass, 7, 0, 1},
      {"Galileo E5a", 3, 1, 11, 10, kSysGalileo, 11, 2, 0},
      {"SBAS 20 is PRN 120", 4, 0, 20, 10, kSysSbas, 120, 0, 0},
      {"SBAS 19 skipped", 4, 0, 19, 10, kSysSbas, 0, 0, 0},
      {"GLONASS 0 skipped", 2, 0, 0, 10, kSysGlonass, 0, 0, 0},
      {"UDRE 62 skipped", 1, 0, 3, 62, kSysGps, 0, 0, 0},
      {"UDRE 63 skipped", 1, 0, 3, 63, kSysGps, 0, 0, 0},
      {"system 0 dropped", 0, 0, 3, 10, kSysGps, 0, 0, 0},
      {"system 5 dropped", 5, 0, 3, 10, kSysGps, 0, 0, 0},
      {"unsupported signal dropped", 1, 9, 3, 10, kSysGps, 0, 0, 0},
  };
  for (const Row& r : rows) {
    SetUp();
    Fields f;
    f.put(static_cast<unsigned>(r.system), 4), f.put(static_cast<unsigned>(r.signal), 4);
    f.put(static_cast<unsigned>(r.id), 6), f.put(static_cast<unsigned>(r.udre), 6), f.put(33, 8), f.putSigned(-400, 16);
    send(41, f.words());
    bool any = false;
    for (int sys : {kSysGps, kSysGlonass, kSysGalileo, kSysSbas})
      for (int number = 0; number < 160; ++number) {
        Sat c{};
        if (!entry(sys, number, c)) continue;
        any = true;
        EXPECT_EQ(std::tuple(sys, number), std::tuple(r.sys, r.number)) << r.name;
        const Sat::RangeCorrType& e = c.range[r.slot][r.code];
        EXPECT_EQ(std::tuple(e.fPrc, e.fRrc, e.uUdre, e.uIod), std::tuple(-400.0f, 0.0f, r.udre, 33)) << r.name;
        EXPECT_NE(c.uSlotFlags[r.slot] & Sat::kGnssUdre, 0) << r.name;
      }
    EXPECT_EQ(any, r.number != 0) << r.name;
  }
}

TEST_F(Rtcm2Messages, HealthMessagesMarkUnhealthySatellites) {
  Fields f;  // type 5, PRN 9 healthy, PRN 10 health 3, PRN 11 loss warning
  for (auto [id, health, loss] : {std::tuple(9, 0, 0), {10, 3, 0}, {11, 0, 1}}) {
    f.put(0, 1), f.put(static_cast<unsigned>(id), 5), f.put(0, 1), f.put(static_cast<unsigned>(health), 3);
    f.put(20, 5), f.put(0, 1), f.put(0, 1), f.put(static_cast<unsigned>(loss), 1), f.put(0, 4), f.put(0, 2);
  }
  send(5, f.words());
  for (auto [id, unusable] : {std::pair(9, false), {10, true}, {11, true}}) {
    Sat c{};
    ASSERT_TRUE(entry(kSysGps, id, c)) << id;
    EXPECT_NE(c.uSlotReady[0] & Sat::kHealth, 0) << id;
    EXPECT_EQ((c.uSlotFlags[0] & Sat::kUnusable) != 0, unusable) << id;
  }
}

// Every field of a satellite's health as types 5 and 43 lay it out (RTCM 10402.3 message 5; 43:
// id 6 bits, signal 4, validity 1, health 2, C/N0 5, new data 1, loss warning 1, time to
// unhealthy 4), each row with a pattern of its own so that a field read a bit aside shows; the
// health keeps the time of its own message, not that of the satellite's corrections.
TEST_F(Rtcm2Messages, HealthFieldsAndTheirOwnTimeTag) {
  using H = Sat::HealthType;
  struct Row {
    int type, system;  // system field of 43 (1 GPS, 3 Galileo), 0 for 5
    int id, signal, health, cn0, newData, loss, ttu;
    int sys, number, slot;
  };
  const Row rows[] = {
      {5, 0, 9, 0, 2, 21, 1, 0, 9, kSysGps, 9, 0},        {5, 0, 10, 0, 5, 6, 0, 1, 6, kSysGps, 10, 0},
      {5, 0, 11, 0, 0, 31, 1, 1, 15, kSysGps, 11, 0},     {5, 0, 0, 0, 0, 1, 0, 0, 1, kSysGps, 32, 0},
      {43, 1, 9, 3, 2, 21, 1, 0, 9, kSysGps, 9, 1},       {43, 1, 10, 0, 1, 6, 0, 1, 6, kSysGps, 10, 0},
      {43, 1, 11, 4, 3, 31, 1, 1, 15, kSysGps, 11, 2},    {43, 1, 12, 0, 0, 10, 0, 0, 1, kSysGps, 12, 0},
      {43, 3, 19, 1, 1, 17, 0, 1, 12, kSysGalileo, 19, 2}, {43, 3, 20, 0, 0, 3, 1, 0, 3, kSysGalileo, 20, 0},
  };
  constexpr int kRangeZ = 100, kHealthZ = 250;
  // GPS hour 100 of the week and 31 s, the day's hour 10 for GLONASS: the Z-counts' hour.
  const auto scales = [](bool valid) {
    RcvTimeScales::INT_SCALES s{};
    s.ms[0] = 360031000, s.ms[1] = 36031000;
    s.flags[0] = s.flags[1] = valid ? RcvTimeScales::kTimeValid : 0;
    testscales::publishFixed(s, 5);
  };
  scales(true);
  for (const Row& r : rows) {
    SCOPED_TRACE(std::to_string(r.type) + " satellite " + std::to_string(r.number));
    SetUp();
    if (r.type == 5) {
      // A correction of the satellite first, at an earlier Z-count.
      Fields c;
      sat40(c, 0, 0, r.id, 10, 1, 7);
      send(1, c.words(), -1, kRangeZ);
    }
    Fields f;
    if (r.type == 5) {
      f.put(0, 1), f.put(static_cast<unsigned>(r.id), 5), f.put(1, 1), f.put(static_cast<unsigned>(r.health), 3);
      f.put(static_cast<unsigned>(r.cn0), 5), f.put(1, 1);
    } else {
      f.put(0, 1), f.put(static_cast<unsigned>(r.system), 4), f.put(0, 19);
      f.put(static_cast<unsigned>(r.id), 6), f.put(static_cast<unsigned>(r.signal), 4), f.put(1, 1);
      f.put(static_cast<unsigned>(r.health), 2), f.put(static_cast<unsigned>(r.cn0), 5);
    }
    f.put(static_cast<unsigned>(r.newData), 1), f.put(static_cast<unsigned>(r.loss), 1), f.put(static_cast<unsigned>(r.ttu), 4);
    if (r.type == 5) f.put(0, 2);
    send(r.type, f.words(), -1, kHealthZ);
    Sat c{};
    ASSERT_TRUE(entry(r.sys, r.number, c));
    ASSERT_NE(c.uSlotReady[r.slot] & Sat::kHealth, 0);
    const H& h = c.health[r.slot];
    EXPECT_EQ(h.uHealth, r.health);
    EXPECT_EQ(h.uCn0, r.cn0);
    EXPECT_EQ(h.uTimeToUnhealthy, r.ttu);
    EXPECT_EQ((h.uFlags & H::kNewNavData) != 0, r.newData != 0);
    EXPECT_EQ((h.uFlags & H::kLossWarning) != 0, r.loss != 0);
    EXPECT_EQ((h.uFlags & H::kIodLink) != 0, r.type == 5);
    EXPECT_EQ((h.uFlags & H::kEnable) != 0, r.type == 5);
    EXPECT_EQ((c.uSlotFlags[r.slot] & Sat::kUnusable) != 0, r.health != 0 || r.loss != 0);
    // The tags hold ms << 1 | 1: the health's is its own message's, 150 Z-counts (90 s) after the
    // correction's.
    ASSERT_EQ(c.ulHealthTime[r.slot] & 1u, 1u);
    if (r.type == 5) {
      ASSERT_EQ(c.ulRangeTime[0][0] & 1u, 1u);
      EXPECT_EQ(static_cast<long>(c.ulHealthTime[0] >> 1) - static_cast<long>(c.ulRangeTime[0][0] >> 1),
                (kHealthZ - kRangeZ) * 600L);
    }
    EXPECT_EQ(c.ulHealthTime[r.slot] >> 1, 360000000u + kHealthZ * 600u);
  }
  scales(false);
}

TEST_F(Rtcm2Messages, ZCountOfAnHourOrMoreIsDropped) {
  Fields f;
  sat40(f, 0, 0, 5, 1, 1, 1);
  send(1, f.words(), -1, 6000);
  Sat c{};
  EXPECT_FALSE(entry(kSysGps, 5, c));
  send(1, f.words(), -1, 5999);
  EXPECT_TRUE(entry(kSysGps, 5, c));
}

// The hour of a Z-count against the receiver time: rollover both ways, the week's and the day's ends.
TEST(Rtcm2Time, RefMsTimeRows) {
  constexpr std::int64_t H = 3600000;
  struct Row { const char* name; std::int64_t now; int sys, z; std::int64_t want; };
  const Row rows[] = {
      {"same hour", 10 * H + 100000, kSysGps, 200, 10 * H + 120000},
      {"message of the next hour", 10 * H + 3590000, kSysGps, 50, 11 * H + 30000},
      {"message of the previous hour", 10 * H + 10000, kSysGps, 5950, 9 * H + 3570000},
      {"exactly half an hour behind stays", 10 * H + 1800000, kSysGps, 0, 10 * H},
      {"week end to week start", 167 * H + 3590000, kSysGps, 50, 30000},
      {"week start to week end", 5000, kSysGps, 5990, 167 * H + 3594000},
      {"GLONASS day end to start", 23 * H + 3590000, kSysGlonass, 50, 30000},
      {"GLONASS day start to end", 5000, kSysGlonass, 5990, 23 * H + 3594000},
      {"Z-count 6000 refused", 10 * H, kSysGps, 6000, -1},
      {"Z-count 8191 refused", 10 * H, kSysGps, 8191, -1},
      {"no receiver time", -1, kSysGps, 100, -1},
  };
  for (const Row& r : rows) EXPECT_EQ(RTCM_Decoder::refMsTime(r.now, r.sys, r.z), r.want) << r.name;
}

// Two-word satellite records of 18 to 21.
Words rtk(int type, int zUs, std::vector<std::array<std::int64_t, 8>> sats) {
  Fields f;
  f.put(0, 2), f.put(0, 2), f.put(static_cast<unsigned>(zUs), 20);
  for (const auto& s : sats) {
    // multiple, pcode, glonass, id, quality, loss/multipath, value1, value2
    f.put(static_cast<std::uint64_t>(s[0]), 1), f.put(static_cast<std::uint64_t>(s[1]), 1), f.put(static_cast<std::uint64_t>(s[2]), 1);
    f.put(static_cast<std::uint64_t>(s[3]), 5);
    const int q = type == 19 ? 4 : type == 21 ? 5 : 3;
    f.put(static_cast<std::uint64_t>(s[4]), q), f.put(static_cast<std::uint64_t>(s[5]), 8 - q);
    if (type == 18) f.putSigned(s[6], 32);
    if (type == 19) f.put(static_cast<std::uint64_t>(s[6]), 32);
    if (type == 20) f.put(static_cast<std::uint64_t>(s[6]), 8), f.putSigned(s[7], 24);
    if (type == 21) f.put(static_cast<std::uint64_t>(s[6]), 8), f.putSigned(s[7] >> 8, 16), f.putSigned(s[7] & 0xFF, 8);
  }
  return f.words();
}

TEST_F(Rtcm2Messages, RtkObservableRows) {
  // Type 18: phase of -1000.5 cycles (and negated with "invsign"); type 19: 21,000,000.02 m.
  send(18, rtk(18, 123456, {{1, 0, 1, 0, 5, 17, -256128, 0}}), -1, 5999);
  ASSERT_EQ(client.phases.size(), 1u);
  const RTCM_RTK_PHASE& p = client.phases[0];
  // Z-count 5999 x 600,000 us + 123,456 us lies beyond 2^31: kept exactly in the unsigned time.
  EXPECT_EQ(p.head.time, 5999u * 600000u + 123456u);
  EXPECT_EQ(std::tuple(p.head.count, p.sat[0].satId, p.sat[0].loss, p.sat[0].value), std::tuple(1, 32, 17, -1000.5));
  EXPECT_EQ(p.sat[0].flags, RTCM_RTK_HEAD::kGlonass | RTCM_RTK_HEAD::kMultiple | 5 << RTCM_RTK_HEAD::kQualityShift);
  RtcmSet.rtcmDec.invSign = 1;
  send(18, rtk(18, 0, {{0, 1, 0, 4, 0, 0, -256128, 0}}));
  EXPECT_EQ(client.phases.at(1).sat[0].value, 1000.5);
  EXPECT_EQ(client.phases.at(1).sat[0].flags, RTCM_RTK_HEAD::kPCode);
  send(19, rtk(19, 0, {{0, 0, 0, 3, 2, 1, 1050000001, 0}, {0, 0, 0, 4, 2, 1, 1, 0}}));
  ASSERT_EQ(client.ranges.size(), 1u);
  EXPECT_NEAR(client.ranges[0].sat[0].value, 21000000.02, 1e-6);
  EXPECT_EQ(std::tuple(client.ranges[0].head.count, client.ranges[0].sat[1].satId), std::tuple(2, 4));
  send(20, rtk(20, 0, {{0, 0, 0, 3, 2, 1, 44, -512}}));
  ASSERT_EQ(client.delPhases.size(), 1u);
  EXPECT_EQ(std::tuple(client.delPhases[0].sat[0].iod, client.delPhases[0].sat[0].value), std::tuple(44, -2.0f));
  // An even length (a lone half record) is dropped; so is N = 0.
  Words odd = rtk(19, 0, {{0, 0, 0, 3, 2, 1, 5, 0}});
  odd.pop_back();
  send(19, odd);
  send(19, {}, 0);
  EXPECT_EQ(client.ranges.size(), 1u);
}

// Type 21 scale bits: version 2.1 reads the correction scale from the quality field's first bit
// and the rate scale from the first flag bit; later versions the correction's from the last bit
// and the rate's from the first bit of the quality field.
TEST_F(Rtcm2Messages, Type21ScaleRows) {
  struct Row { std::uint32_t version; int multiple, quality; double prc, rrc; };
  const Row rows[] = {
      {0, 0, 0b00000, 0.02 * 100, 0.002 * -3}, {0, 0, 0b10000, 0.32 * 100, 0.002 * -3},
      {0, 1, 0b00000, 0.02 * 100, 0.032 * -3}, {2, 0, 0b00001, 0.32 * 100, 0.002 * -3},
      {2, 0, 0b10000, 0.02 * 100, 0.032 * -3}, {3, 1, 0b00000, 0.02 * 100, 0.002 * -3},
  };
  for (const Row& r : rows) {
    SetUp();
    RtcmSet.rtcmDec.version = r.version;
    send(21, rtk(21, 0, {{r.multiple, 0, 0, 9, r.quality, 2, 7, (100 << 8) | 0xFD}}));
    ASSERT_EQ(client.delRanges.size(), 1u);
    const RTCM_RTK_DEL_SAT& s = client.delRanges[0].sat[0];
    EXPECT_NEAR(s.value, r.prc, 1e-5) << r.version << " " << r.quality;
    EXPECT_NEAR(s.rate, r.rrc, 1e-6) << r.version << " " << r.quality;
  }
}

TEST_F(Rtcm2Messages, TextTimeOffsetAndNetworkMessages) {
  Fields t;
  for (char c : std::string(100, 'w')) t.put(static_cast<unsigned char>(c), 8);
  Words w = t.words();
  w.resize(31);
  send(16, w);
  ASSERT_EQ(client.texts.size(), 1u);
  EXPECT_EQ(client.texts[0].length, 90);  // at most 90 characters

  Fields o;  // system codes GPS 0 / GLONASS 1, 14 s and a quarter
  o.put(0b000001, 6), o.putSigned(14, 7), o.putSigned(1 << 30, 32);
  send(37, o.words(), -1, 333);
  ASSERT_EQ(client.offsets.size(), 1u);
  EXPECT_EQ(std::tuple(client.offsets[0].system, client.offsets[0].seconds, client.offsets[0].offset, client.offsets[0].zCount),
            std::tuple(1, 14, 14.25, 333));

  Fields v;  // network message, GLONASS subtype 2: X, Y, Z 0.01 m and 1/256 of that
  v.put(0x5350, 16), v.put(2, 8), v.putSigned(123456789, 32), v.putSigned(-5, 32), v.putSigned(700, 32);
  v.putSigned(128 - 256, 8), v.putSigned(64, 8), v.putSigned(0, 8);
  send(59, v.words());
  ASSERT_EQ(client.virts.size(), 1u);
  const MSG_TS_COR& m = client.virts[0];
  EXPECT_EQ(m.glonass, 1);
  EXPECT_NEAR(m.x, 1234567.89 - 0.005, 1e-9);
  EXPECT_NEAR(m.y, -0.05 + 0.0025, 1e-9);
  EXPECT_NEAR(m.z, 7.0, 1e-9);

  Fields k;  // area-correction form: subtype 5, data set 2, PRN 1 and 3
  k.put(0x416456, 24), k.put(5, 5), k.put(0, 1), k.put(2, 2), k.put(0xA0000000u, 32);
  for (int s = 0; s < 2; ++s) k.put(static_cast<unsigned>(10 + s), 8), k.put(0, 4), k.put(2, 2), k.putSigned(-3, 10), k.putSigned(400, 11), k.putSigned(5, 10), k.putSigned(-1000, 11);
  send(59, k.words());
  ASSERT_EQ(client.fkps.size(), 1u);
  const MSG_FKP_COR& fk = client.fkps[0];
  EXPECT_EQ(std::tuple(fk.count, fk.subType, fk.satMask, fk.sat[1].iod, fk.sat[1].quality),
            std::tuple(2, 5 | 2 << 5, 0xA0000000u, 11, 2));
  EXPECT_EQ(std::tuple(fk.sat[0].n0, fk.sat[0].n1, fk.sat[0].e0, fk.sat[0].e1), std::tuple(-3, 400, 5, -1000));
}

// Messages too short for the fields they name are dropped, not read from old words.
TEST_F(Rtcm2Messages, ShortMessagesAreDropped) {
  Fields xyz;
  xyz.putSigned(100, 32), xyz.putSigned(200, 32), xyz.putSigned(300, 32);
  Fields ant;  // 23: AR 1, serial follows, "AB", set-up 0, serial "XYZ"
  ant.put(0, 1), ant.put(1, 1), ant.put(1, 1), ant.put(2, 5), ant.put('A', 8), ant.put('B', 8), ant.put(0, 8);
  ant.put(0, 3), ant.put(3, 5), ant.put('X', 8), ant.put('Y', 8), ant.put('Z', 8);
  Fields arp;  // 24 with the antenna height
  arp.putSigned(10000, 38), arp.put(0, 2), arp.putSigned(20000, 38), arp.put(0, 2), arp.putSigned(-30000, 38);
  arp.put(0, 1), arp.put(1, 1), arp.put(15000, 18), arp.put(0, 6);
  Fields vrs;
  vrs.put(0x5350, 16), vrs.put(1, 8), vrs.putSigned(1, 32), vrs.putSigned(2, 32), vrs.putSigned(3, 32), vrs.put(0, 24);
  Fields fkp;  // mask of 3 satellites
  fkp.put(0x416456, 24), fkp.put(5, 5), fkp.put(0, 3), fkp.put(0xE0000000u, 32);
  for (int s = 0; s < 3; ++s) fkp.put(0, 56);
  Fields off;
  off.put(1, 6), off.putSigned(1, 7), off.putSigned(0, 32);
  struct Case { const char* name; int type; Words words; std::size_t (*count)(const Recorder&); };
  const Case cases[] = {
      {"3", 3, xyz.words(), [](const Recorder& c) { return c.refs.size(); }},
      {"32", 32, xyz.words(), [](const Recorder& c) { return c.refs.size(); }},
      {"23", 23, ant.words(), [](const Recorder& c) { return c.ants.size(); }},
      {"24 with height", 24, arp.words(), [](const Recorder& c) { return c.arps.size(); }},
      {"37", 37, off.words(), [](const Recorder& c) { return c.offsets.size(); }},
      {"59 network", 59, vrs.words(), [](const Recorder& c) { return c.virts.size(); }},
      {"59 area corrections", 59, fkp.words(), [](const Recorder& c) { return c.fkps.size(); }},
  };
  for (const Case& c : cases) {
    // Whole: delivered; one word short: dropped (the decoder ran over the same words before).
    SetUp();
    send(c.type, c.words);
    EXPECT_EQ(c.count(client), 1u) << c.name << " whole";
    Words shorter = c.words;
    shorter.pop_back();
    send(c.type, shorter);
    EXPECT_EQ(c.count(client), 1u) << c.name << " one word short";
    EXPECT_EQ(client.statuses.size(), 2u) << c.name;  // still counted as a message
  }
  SetUp();
  send(23, ant.words());
  ASSERT_EQ(client.ants.size(), 1u);
  EXPECT_EQ(std::string(client.ants[0].desc) + "/" + client.ants[0].serial, "AB/XYZ");
  send(24, arp.words());
  ASSERT_EQ(client.arps.size(), 1u);
  EXPECT_EQ(std::tuple(client.arps[0].x, client.arps[0].y, client.arps[0].z, client.arps[0].antHeight),
            std::tuple(1.0, 2.0, -3.0, 1.5));
}

// Which reference messages reach the client under "l1pc", "arp" and "auto".
TEST_F(Rtcm2Messages, ReferenceSourceRows) {
  Fields xyz;
  xyz.putSigned(1, 32), xyz.putSigned(2, 32), xyz.putSigned(3, 32);
  Fields ant;
  ant.put(0, 3), ant.put(0, 5), ant.put(0, 8), ant.put(0, 8);
  Fields arp;
  arp.put(0, 120);
  auto ext = [](int flags) {
    Fields f;
    f.putSigned(1, 8), f.putSigned(2, 8), f.putSigned(3, 8), f.put(static_cast<unsigned>(flags), 6), f.put(0, 18);
    return f.words();
  };
  struct Row {
    const char* name;
    std::uint32_t setting;
    std::vector<int> sequence;  // 3, 22 (flags 0), 226 (22 with both ARP bits), 23, 24
    std::string delivered;      // one letter per message: y / n
  };
  const Row rows[] = {
      {"l1pc: 3 and 22 always", RTCM_Decoder::kL1pc, {3, 22, 3, 22}, "yyyy"},
      {"l1pc: 23 and 24 until refined, the completing one never", RTCM_Decoder::kL1pc, {23, 24, 23, 3}, "ynny"},
      {"l1pc: after a 22, 23 and 24 no more", RTCM_Decoder::kL1pc, {22, 23, 24}, "ynn"},
      {"arp: 22 never, 23 and 24 always", RTCM_Decoder::kArp, {22, 23, 24, 23}, "nyyy"},
      {"arp: 3 until refined", RTCM_Decoder::kArp, {3, 22, 3}, "ynn"},
      {"arp: 3 after the pair no more", RTCM_Decoder::kArp, {23, 24, 3}, "yyn"},
      {"auto: 22 and 3 before the pair", RTCM_Decoder::kAuto, {3, 22, 3}, "yyy"},
      {"auto: 22 with both ARP bits not", RTCM_Decoder::kAuto, {226, 3}, "nn"},
      {"auto: after the pair 23/24 yes, 3 and 22 no", RTCM_Decoder::kAuto, {23, 24, 3, 22, 23}, "yynny"},
      {"auto: a 22 refines, then a lone 23 not", RTCM_Decoder::kAuto, {22, 23}, "yn"},
  };
  for (const Row& r : rows) {
    SetUp();
    RtcmSet.rtcmDec.refSource = r.setting;
    std::string got;
    for (int m : r.sequence) {
      const int before = client.delivered();
      if (m == 3) send(3, xyz.words());
      if (m == 22) send(22, ext(0));
      if (m == 226) send(22, ext(6));
      if (m == 23) send(23, ant.words());
      if (m == 24) send(24, arp.words());
      got += client.delivered() > before ? 'y' : 'n';
    }
    EXPECT_EQ(got, r.delivered) << r.name;
  }
}

TEST_F(Rtcm2Messages, StationPositionGoesToTheStationServer) {
  Fields xyz;
  xyz.putSigned(-386929751, 32), xyz.putSigned(343657133, 32), xyz.putSigned(371736938, 32);
  send(3, xyz.words(), -1, 100, 55);
  int src = -1;
  for (int i = 0; i < kRtcmSourceEntries; ++i)
    if (RtcmSourceIdData[i].uId == 55) src = i;
  ASSERT_GE(src, 0);
  RTCMData::StationDataType s{};
  ASSERT_NE(PVTDataInstance.rtcmStationData[src].Take(&s), 0);
  EXPECT_EQ(s.uStationId, 55);
  EXPECT_NE(s.uFlags & RTCMData::StationDataType::kCoordinateReady, 0);
  EXPECT_NEAR(s.dPos[0], -3869297.51, 1e-6);
  EXPECT_NEAR(s.dPos[2], 3717369.38, 1e-6);
}

}  // namespace
