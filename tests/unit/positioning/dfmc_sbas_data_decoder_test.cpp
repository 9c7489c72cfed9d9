// DFMC SBAS decoder from hand-built L5 messages laid out after the message tables of EUROCAE
// ED-259 (field widths in order, positions summed here) and the QZSS L5S preamble and code
// tables: the satellite slots of MT31, MT32's fields and issues, MT34's DFREI changes, MT37's
// scaling, QZSS message kinds and test mode, ageing, change of source, the masks in the settings
// image, and random and truncated messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "navigation_data/bit_extract.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/sbas/dfmc_sbas_data_decoder.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/platform/image_block.h"

namespace {

using U = DFMC_SbasDecUtility;
using SatRec = SBASData::DFMC_SatCorrectionType;
using State = SBASData::DFMC_SourceStateDataType;
constexpr int kWeek = 2300;

// A message; fields are appended in broadcast order after the 10 header bits.
struct Msg {
  std::uint8_t b[32] = {};
  int at = 10;
  explicit Msg(int type) {
    put0(0, 4, 0x5);
    put0(4, 6, static_cast<std::uint32_t>(type));
  }
  static Msg qzss(int preamble, int code) {
    Msg m(0);
    m.put0(0, 8, static_cast<std::uint32_t>(preamble));
    m.put0(8, 2, static_cast<std::uint32_t>(code));
    return m;
  }
  void put0(int bit0, int n, std::uint32_t v) {
    for (int i = 0; i < n; ++i) {
      const int bit = bit0 + i;
      const std::uint8_t mk = static_cast<std::uint8_t>(0x80u >> (bit % 8));
      if ((v >> (n - 1 - i)) & 1u)
        b[bit / 8] |= mk;
      else
        b[bit / 8] &= static_cast<std::uint8_t>(~mk);
    }
  }
  Msg& add(int n, std::int64_t v) {
    put0(at, n, static_cast<std::uint32_t>(v) & ((1u << n) - 1));
    at += n;
    return *this;
  }
};

Msg mt31(int iodm, std::initializer_list<int> slots) {
  Msg m(31);
  for (int s : slots) m.put0(9 + s, 1, 1);
  m.at = 10 + 214;
  return m.add(2, iodm);
}

struct Mt32 {
  int slot = 1, iodn = 0, dx = 0, dy = 0, dz = 0, db = 0, ddx = 0, ddy = 0, ddz = 0, ddb = 0, t0 = 0, scale = 0;
  int e11 = 0, e22 = 0, e33 = 0, e44 = 0, e12 = 0, e13 = 0, e14 = 0, e23 = 0, e24 = 0, e34 = 0, dfrei = 0, rcorr = 0;
  Msg msg() const {
    Msg m(32);
    m.add(8, slot).add(10, iodn).add(11, dx).add(11, dy).add(11, dz).add(12, db);
    m.add(8, ddx).add(8, ddy).add(8, ddz).add(9, ddb).add(13, t0).add(3, scale);
    m.add(9, e11).add(9, e22).add(9, e33).add(9, e44);
    m.add(10, e12).add(10, e13).add(10, e14).add(10, e23).add(10, e24).add(10, e34);
    m.add(4, dfrei).add(4, rcorr);
    EXPECT_EQ(m.at, 226);
    return m;
  }
};

Msg mt34(int iodm, const std::vector<int>& dfreci, const std::vector<int>& dfrei) {
  Msg m(34);
  for (int i = 0; i < 92; ++i) m.add(2, i < static_cast<int>(dfreci.size()) ? dfreci[i] : 0);
  for (int i = 0; i < 7; ++i) m.add(4, i < static_cast<int>(dfrei.size()) ? dfrei[i] : 0);
  m.add(2, 3 - iodm);  // reserved: anything but the IODM, so that reading them as it shows
  return m.add(2, iodm);
}

PosData::RcvTimeDataType timeAt(double sec, int week = kWeek) {
  PosData::RcvTimeDataType t{};
  t.gps.ulMs = static_cast<std::uint32_t>(std::llround(sec * 1000.0));
  t.gps.uWeek = static_cast<std::uint16_t>(week);
  t.gps.uStatus[0] = 1;
  return t;
}

SvIdType geo(int prn) {
  return SvIdType{static_cast<std::uint8_t>(prn - 120), kSysSbas, 0, static_cast<std::uint8_t>(prn - 120)};
}
SvIdType qzs(int i) { return SvIdType{static_cast<std::uint8_t>(i), kSysQzss, 0, static_cast<std::uint8_t>(i)}; }
SvIdType sv(int sys, int sat) {
  return SvIdType{static_cast<std::uint8_t>(sys == kSysGlonass ? 255 : sat), static_cast<std::uint8_t>(sys), 0,
                  static_cast<std::uint8_t>(sat)};
}

class Dfmc : public ::testing::Test {
 protected:
  void SetUp() override {
    PosSetup::CorrProcessorSetupType s;
    PosSetup::setDefaults(s);
    const std::uint32_t mode = 2;
    std::memcpy(s.aBytes + SBASData::kSetupSbasModeOffset, &mode, 4);
    SatRec::set_DataTimeout(&s);
    SBASData::DFMC_DegradationDataType::set_DataTimeout(&s);
    for (DFMC_SbasDataDecoder& d : DFMC_SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, nullptr);
    for (auto& s2 : PVTDataInstance.dfmcSbasSatCorrection) s2.Init();
  }
  int feed(double sec, const Msg& m, const SvIdType& src = geo(131)) {
    const PosData::RcvTimeDataType t = timeAt(sec);
    return getDFMC_SbasDataDecoder(t, src)->update(t, src, m.b);
  }
  bool sat(const SvIdType& s, SatRec& r, int server = 0) {
    return PVTDataInstance.dfmcSbasSatCorrection[server].Take(&s, &r) != 0;
  }
  State state(int server = 0) {
    State s;
    PVTDataInstance.dfmcSbasSourceState.Take(server, &s);
    return s;
  }
};

// ---- bits and message kinds -----------------------------------------------------------------------

TEST(DfmcBits, OffsetTypeAndQzssCodeTables) {
  Msg m(37);
  m.add(4, 0xA).add(12, 0x800);
  EXPECT_EQ(U::extract_DFMCMessageType(m.b), 37);
  EXPECT_EQ(U::field(m.b, 1, 4), 10);
  EXPECT_EQ(U::field(m.b, 1, 4, true), -6);
  EXPECT_EQ(U::field(m.b, 5, 12, true), -2048);
  EXPECT_EQ(U::field(m.b, 0, 4), 13);  // message bits 10-13: the type's last bit, then 101
  m.put0(255, 1, 1);
  struct {
    int pos, n;
    std::int32_t v;
  } edges[] = {{-9, 4, 5}, {-10, 4, 0}, {246, 1, 1}, {246, 2, 0}, {245, 2, 1}, {1, 33, 0}, {1, 0, 0}};
  for (const auto& e : edges)
    EXPECT_EQ(SbasDecUtility::extract_DataField(m.b, e.pos, e.n, false, -4), e.v) << e.pos << "/" << e.n;
  EXPECT_EQ(SbasDecUtility::extract_DataField(nullptr, 1, 4, false, -4), 0);
  struct {
    int preamble, code, type;
  } rows[] = {{0x53, 0, 34}, {0x53, 1, 31}, {0x53, 2, 32}, {0x53, 3, 63}, {0x9A, 0, 34}, {0x9A, 1, 37},
              {0x9A, 2, 32}, {0x9A, 3, 63}, {0xC6, 0, 34}, {0xC6, 1, 47}, {0xC6, 2, 32}, {0xC6, 3, 63},
              {0x5A, 1, -1}, {0x00, 0, -1}, {0xFF, 3, -1}};
  for (const auto& r : rows) {
    const Msg q = Msg::qzss(r.preamble, r.code);
    EXPECT_EQ(U::extract_DFMCQzssPreamble(q.b), r.preamble);
    EXPECT_EQ(U::extract_DFMCQzssMessageType(q.b), r.code);
    EXPECT_EQ(U::qzssMessageType(q.b), r.type) << std::hex << r.preamble << " " << r.code;
  }
}

// ---- MT31 ------------------------------------------------------------------------------------------

TEST_F(Dfmc, MaskSlotsNameTheirSatellites) {
  constexpr int kNone = -1;
  struct {
    int bit, sys, sat;
  } rows[] = {{1, kSysGps, 0},        {32, kSysGps, 31},       {33, kNone, 0},          {37, kNone, 0},
              {38, kSysGlonass, 0},   {67, kSysGlonass, 29},   {68, kNone, 0},          {74, kNone, 0},
              {75, kSysGalileo, 0},   {110, kSysGalileo, 35},  {111, kNone, 0},         {112, kNone, 0},
              {119, kNone, 0},        {120, kSysSbas, 0},      {142, kSysSbas, 22},     {143, kNone, 0},
              {158, kNone, 0},        {159, kSysBeidou, 0},    {195, kSysBeidou, 36},   {196, kSysQzss, 0},
              {202, kSysQzss, 6},     {203, kNone, 0},         {214, kNone, 0}};
  for (const auto& r : rows) {
    ASSERT_EQ(feed(100, mt31(1, {r.bit})), 1);
    const auto& m = DFMC_SbasDataDecoderInstance[0].mask(1);
    ASSERT_EQ(m.uSlots, 1) << r.bit;
    if (r.sys == kNone) {
      EXPECT_EQ(m.slot[0].sys, 255) << r.bit;
    } else {
      EXPECT_EQ(m.slot[0], sv(r.sys, r.sat)) << r.bit;
      EXPECT_EQ(state().ullSatSet[r.sys], std::uint64_t{1} << r.sat) << r.bit;
    }
  }
  // Every bit set: the first 92 bits take the 92 slots.
  Msg all(31);
  for (int i = 0; i < 214; ++i) all.add(1, 1);
  all.add(2, 3);
  ASSERT_EQ(feed(101, all), 1);
  const auto& m = DFMC_SbasDataDecoderInstance[0].mask(3);
  EXPECT_EQ(m.uSlots, 92);
  EXPECT_EQ(m.slot[91], sv(kSysGalileo, 92 - 75));
  const State s = state();
  EXPECT_TRUE((s.uFlags & State::kMaskValid) != 0);
  EXPECT_EQ(s.ullSatSet[kSysGps], 0xFFFFFFFFull);
  EXPECT_EQ(s.ullSatSet[kSysGlonass], (std::uint64_t{1} << 30) - 1);
  EXPECT_EQ(s.ullSatSet[kSysGalileo], (std::uint64_t{1} << 18) - 1);
  EXPECT_EQ(s.ullSatSet[kSysBeidou], 0u);
}

// ---- MT32 ------------------------------------------------------------------------------------------

TEST_F(Dfmc, CorrectionsRoundTripEveryFieldAndScale) {
  struct Row {
    const char* name;
    int slot;
    SvIdType who;
    Mt32 m;
  };
  Mt32 a;  // the extremes of every field
  a.iodn = 1023, a.dx = -1024, a.dy = 1023, a.dz = -1, a.db = -2048, a.ddx = -128, a.ddy = 127, a.ddz = 1,
  a.ddb = -256, a.t0 = 8191, a.scale = 7, a.e11 = 511, a.e22 = 0, a.e33 = 256, a.e44 = 1, a.e12 = -512,
  a.e13 = 511, a.e14 = -1, a.e23 = 0, a.e24 = 300, a.e34 = -300, a.dfrei = 14, a.rcorr = 15;
  Mt32 b;
  b.iodn = 5, b.dx = 56, b.dy = -56, b.dz = 16, b.db = 32, b.ddx = 2, b.ddy = -2, b.ddz = 3, b.ddb = 4, b.t0 = 225,
  b.scale = 3, b.e11 = 10, b.e22 = 20, b.e33 = 30, b.e44 = 40, b.e12 = 1, b.e13 = 2, b.e14 = 3, b.e23 = 4,
  b.e24 = 5, b.e34 = 6, b.dfrei = 15, b.rcorr = 3;
  Row rows[] = {{"GPS 5", 5, sv(kSysGps, 4), a}, {"Galileo 12", 86, sv(kSysGalileo, 11), b},
                {"BeiDou 30", 188, sv(kSysBeidou, 29), a}};
  for (Row& r : rows) {
    r.m.slot = r.slot;
    ASSERT_EQ(feed(200, r.m.msg()), 1);
    SatRec c;
    ASSERT_TRUE(sat(r.who, c)) << r.name;
    const Mt32& m = r.m;
    EXPECT_TRUE(c.is_ReadyCorrData(199000, 0) && c.is_ReadyMtrxData(199000) && c.is_ReadyDFREData(199000)) << r.name;
    EXPECT_FALSE(c.is_ReadyCorrData(199000, 1)) << r.name;
    const SBASData::DFMC_CorrBlock& k = c.corr[0];
    EXPECT_EQ(k.uIodn, m.iodn);
    // Metres and metres per second at the broadcast scales.
    EXPECT_DOUBLE_EQ(k.iDx * 0.0625, m.dx / 16.0) << r.name;
    EXPECT_DOUBLE_EQ(k.iDy * 0.0625, m.dy / 16.0);
    EXPECT_DOUBLE_EQ(k.iDz * 0.0625, m.dz / 16.0);
    EXPECT_DOUBLE_EQ(k.iDb * 0.03125, m.db / 32.0);
    EXPECT_DOUBLE_EQ(k.iDdx * std::ldexp(1.0, -11), std::ldexp(m.ddx, -11));
    EXPECT_DOUBLE_EQ(k.iDdy * std::ldexp(1.0, -11), std::ldexp(m.ddy, -11));
    EXPECT_DOUBLE_EQ(k.iDdz * std::ldexp(1.0, -11), std::ldexp(m.ddz, -11));
    EXPECT_DOUBLE_EQ(k.iDdb * std::ldexp(1.0, -12), std::ldexp(m.ddb, -12));
    EXPECT_EQ(k.uT0 * 16, m.t0 * 16);
    EXPECT_EQ(c.mtrx.uScaleExp, m.scale);
    const std::vector<int> upper{m.e11, m.e12, m.e13, m.e14, m.e22, m.e23, m.e24, m.e33, m.e34, m.e44};
    EXPECT_EQ(std::vector<int>(c.mtrx.iE, c.mtrx.iE + 10), upper) << r.name;
    EXPECT_FLOAT_EQ(c.fRcorr, static_cast<float>(m.rcorr / 15.0));
    EXPECT_EQ(c.uDfrei, m.dfrei);
    EXPECT_EQ(c.uDfreFlags, SatRec::kDfreFromCorr | (m.dfrei == 15 ? SatRec::kDfreDoNotUse : 0)) << r.name;
    EXPECT_EQ(c.uSource, 11);
  }
  // Slots naming no satellite publish nothing.
  for (int slot : {0, 33, 68, 111, 143, 203, 214, 215, 255}) {
    for (auto& s2 : PVTDataInstance.dfmcSbasSatCorrection) s2.Init();
    Mt32 m = b;
    m.slot = slot;
    ASSERT_EQ(feed(201, m.msg()), 1);
    int any = 0;
    for (int k = 0; k < SYS_SAT_TOTAL; ++k) {
      SatRec c;
      any += PVTDataInstance.dfmcSbasSatCorrection[0].Take(k, &c);
    }
    EXPECT_EQ(any, 0) << slot;
  }
}

TEST_F(Dfmc, ANewIssueKeepsTheBlockInUseAsThePreviousOne) {
  Mt32 m;
  m.slot = 3, m.iodn = 7, m.dx = 100;
  ASSERT_EQ(feed(300, m.msg()), 1);
  m.dx = 101;  // the same issue: replaced, nothing kept
  ASSERT_EQ(feed(306, m.msg()), 1);
  SatRec c;
  ASSERT_TRUE(sat(sv(kSysGps, 2), c));
  EXPECT_EQ(c.corr[0].iDx, 101);
  EXPECT_FALSE(c.is_ReadyCorrData(306000, 1));
  m.iodn = 8, m.dx = 200;
  ASSERT_EQ(feed(312, m.msg()), 1);
  ASSERT_TRUE(sat(sv(kSysGps, 2), c));
  EXPECT_EQ(c.corr[0].uIodn, 8);
  EXPECT_EQ(c.corr[0].iDx, 200);
  EXPECT_TRUE(c.is_ReadyCorrData(312000, 1));
  EXPECT_EQ(c.corr[1].uIodn, 7);
  EXPECT_EQ(c.corr[1].iDx, 101);
  EXPECT_EQ(c.ulCorrTime[1] >> 1, 306000u - 1130u);
  // A block older than the time-out is not kept.
  m.iodn = 9;
  ASSERT_EQ(feed(312 + 400, m.msg()), 1);
  ASSERT_TRUE(sat(sv(kSysGps, 2), c));
  EXPECT_EQ(c.corr[1].uIodn, 7);
  EXPECT_FALSE(c.is_ReadyCorrData(712000, 1));
}

// ---- MT34 ------------------------------------------------------------------------------------------

// Slots 1..10 of mask IODM 2 are GPS 1..10; GPS 1..9 got corrections with DFREI 3, 14, 15, 3...
class DfmcChange : public Dfmc {
 protected:
  void SetUp() override {
    Dfmc::SetUp();
    ASSERT_EQ(feed(400, mt31(2, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10})), 1);
    const int dfrei[9] = {3, 14, 15, 3, 3, 3, 3, 3, 3};
    for (int i = 0; i < 9; ++i) {
      Mt32 m;
      m.slot = i + 1, m.dfrei = dfrei[i];
      ASSERT_EQ(feed(401, m.msg()), 1);
    }
  }
  SatRec gps(int prn) {
    SatRec c;
    EXPECT_TRUE(sat(sv(kSysGps, prn - 1), c));
    return c;
  }
};

TEST_F(DfmcChange, EachChangeIndicator) {
  ASSERT_EQ(feed(410, mt34(2, {0, 2, 2, 2, 1, 3, 1}, {9, 12})), 1);
  struct {
    int prn, dfrei, flags;
  } rows[] = {
      {1, 3, SatRec::kDfreFromCorr},   // 0: the time tag only
      {2, 15, SatRec::kDfreDoNotUse},  // 2: 14 becomes 15, do not use
      {3, 15, SatRec::kDfreDoNotUse},  // 2: 15 stays 15
      {4, 4, 0},                       // 2: 3 becomes 4
      {5, 9, 0},                       // 1: the first DFREI
      {7, 12, 0},                      // 1: the second
      {8, 3, SatRec::kDfreFromCorr},   // 0
  };
  for (const auto& r : rows) {
    const SatRec c = gps(r.prn);
    EXPECT_EQ(c.uDfrei, r.dfrei) << r.prn;
    EXPECT_EQ(c.uDfreFlags, r.flags) << r.prn;
    EXPECT_TRUE(c.is_ReadyDFREData(411000)) << r.prn;
    EXPECT_EQ(c.ulDfreTime >> 1, 410000u - 1130u) << r.prn;
  }
  // 3: the record is cleared.
  SatRec c6 = gps(6);
  EXPECT_FALSE(c6.is_ReadyDFREData(411000) || c6.is_ReadyCorrData(411000, 0) || c6.is_ReadyMtrxData(411000));
}

TEST_F(DfmcChange, ZeroRefreshesTheTagOnly) {
  ASSERT_EQ(feed(415, mt34(2, {0}, {})), 1);
  const SatRec c = gps(1);
  EXPECT_EQ(c.ulDfreTime >> 1, 415000u - 1130u);
  EXPECT_EQ(c.ulCorrTime[0] >> 1, 401000u - 1130u);
  EXPECT_EQ(c.uDfrei, 3);
  // Refreshed, the DFREI outlives the 18 s it had from the MT32.
  EXPECT_TRUE(c.is_ReadyDFREData(430000));
}

TEST_F(DfmcChange, MoreThanSevenAssignmentsNeverReadPastTheList) {
  ASSERT_EQ(feed(420, mt34(2, {1, 1, 1, 1, 1, 1, 1, 1, 1}, {0, 1, 2, 4, 5, 6, 7})), 1);
  const int want[7] = {0, 1, 2, 4, 5, 6, 7};
  for (int p = 1; p <= 7; ++p) EXPECT_EQ(gps(p).uDfrei, want[p - 1]) << p;
  for (int p : {8, 9}) {
    const SatRec c = gps(p);
    EXPECT_FALSE(c.is_ReadyDFREData(420000)) << p;
    EXPECT_TRUE(c.is_ReadyCorrData(420000, 0)) << p;  // the corrections stay, the DFREI waits for MT32
  }
}

TEST_F(DfmcChange, ClearingDropsPendingCorrectionsAndDfreis) {
  Msg m35(35);
  for (int i = 0; i < 53; ++i) m35.add(4, 5);
  m35.add(2, 1).add(2, 2);
  ASSERT_EQ(feed(405, m35), 1);
  const auto& d = DFMC_SbasDataDecoderInstance[0];
  EXPECT_EQ(d.dfre().uIodm, 2);
  EXPECT_EQ(d.dfre().uDfrei[52], 5);
  ASSERT_GE(d.corrCov().lTime, 0);
  ASSERT_EQ(feed(406, mt34(2, {3}, {})), 1);
  EXPECT_LT(d.corrCov().lTime, 0);
  EXPECT_LT(d.dfre().lTime, 0);
  EXPECT_EQ(d.dfre().bMessage[0], 0);
}

TEST_F(DfmcChange, AChangeOfAnotherMaskOrOfSatellitesWithoutDfreiChangesNothing) {
  ASSERT_EQ(feed(423, mt34(1, {2, 2, 2}, {})), 1);  // IODM 1: no such mask
  EXPECT_EQ(gps(1).uDfrei, 3);
  EXPECT_EQ(gps(2).uDfrei, 14);
  ASSERT_EQ(feed(424, mt34(2, {0, 0, 0, 0, 0, 0, 0, 0, 0, 2}, {})), 1);
  SatRec c;
  EXPECT_FALSE(sat(sv(kSysGps, 9), c));  // GPS 10 never had corrections: none made up
}

// ---- MT35/36, MT37 -----------------------------------------------------------------------------------

TEST_F(Dfmc, DfreisOfBothHalvesAreKept) {
  Msg m35(35), m36(36);
  for (int i = 0; i < 53; ++i) m35.add(4, i % 16);
  m35.add(2, 2).add(2, 1);
  for (int i = 0; i < 39; ++i) m36.add(4, (i + 53) % 16);
  m36.at = 10 + 212;  // spare
  m36.add(2, 2).add(2, 1);
  ASSERT_EQ(feed(500, m35), 1);
  ASSERT_EQ(feed(501, m36), 1);
  const auto& d = DFMC_SbasDataDecoderInstance[0].dfre();
  for (int i = 0; i < 92; ++i) EXPECT_EQ(d.uDfrei[i], i % 16) << i;
  EXPECT_TRUE(d.bMessage[0] == 1 && d.bMessage[1] == 1 && d.uIodm == 1);
}

TEST_F(Dfmc, DegradationParametersAtTheirScales) {
  Msg m(37);
  m.add(6, 63).add(6, 10).add(6, 7).add(7, 127);
  for (int k = 0; k < 6; ++k) m.add(5, 3 + k).add(8, 250 - k).add(8, 10 * k + 1);
  for (int i = 0; i < 15; ++i) m.add(4, i + 1);
  m.add(3, 5);
  ASSERT_EQ(feed(600, m), 1);
  SBASData::DFMC_DegradationDataType g;
  ASSERT_NE(PVTDataInstance.dfmcSbasDegradation[0].Take(&g), 0);
  EXPECT_TRUE(g.is_ReadyDegradData(600000));
  EXPECT_EQ(g.uIvalid32, 63);
  EXPECT_EQ(g.uIvalid3940, 10);
  EXPECT_FLOAT_EQ(g.fCer, 3.5f);
  EXPECT_FLOAT_EQ(g.fCcovariance, 12.7f);
  EXPECT_EQ(g.uBlockFlags, 0x1F);  // five blocks, the sixth not kept
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(g.uIcorr[k], 3 + k);
    EXPECT_FLOAT_EQ(g.fCcorr[k], static_cast<float>((250 - k) * 0.01));
    EXPECT_FLOAT_EQ(g.fRcorr[k], static_cast<float>((10 * k + 1) * 0.2));
  }
  const double scale[15] = {0.0625, 0.125, 0.125, 0.125, 0.125, 0.25, 0.25, 0.25, 0.25, 0.25, 0.5, 0.5, 1, 3, 6};
  for (int i = 0; i < 15; ++i) EXPECT_FLOAT_EQ(g.fSigmaDfre[i], static_cast<float>((i + 1) * scale[i])) << i;
}

// ---- QZSS and test mode ----------------------------------------------------------------------------

TEST_F(Dfmc, QzssPreamblesSelectTheKindAndUnknownOnesHoldTestMode) {
  Msg m = Msg::qzss(0x9A, 1);
  m.add(6, 2).add(6, 0).add(6, 4);
  ASSERT_EQ(feed(700, m, qzs(2)), 1);
  SBASData::DFMC_DegradationDataType g;
  ASSERT_NE(PVTDataInstance.dfmcSbasDegradation[0].Take(&g), 0);
  EXPECT_FLOAT_EQ(g.fCer, 2.0f);
  EXPECT_EQ(state().uPrn, 195);
  // Types 47 and 63 are not ours: nothing decoded, the source not stamped.
  const std::uint32_t stamped = state().ulTime;
  for (int code : {1, 3}) {
    Msg q = Msg::qzss(0xC6, code);
    for (int i = 0; i < 214; ++i) q.add(1, 1);
    ASSERT_EQ(feed(701, q, qzs(2)), 1);
    EXPECT_EQ(state().ulTime, stamped) << code;
    EXPECT_EQ(state().uFlags & State::kTestMode, 0) << code;
  }
  struct {
    double sec;
    int preamble;
    bool test;
  } rows[] = {{710, 0x5A, true}, {730, 0x53, true}, {769, 0x53, true}, {771, 0x53, false},
              {780, 0x00, true}, {841, 0x9A, false}};
  for (const auto& r : rows) {
    ASSERT_EQ(feed(r.sec, Msg::qzss(r.preamble, 3), qzs(2)), 1);
    EXPECT_EQ((state().uFlags & State::kTestMode) != 0, r.test) << r.sec;
  }
  // An SBAS source: type 0.
  ASSERT_EQ(feed(900, Msg(0), geo(131)), 1);
  EXPECT_TRUE(DFMC_SbasDataDecoderInstance[1].in_TestMode());
}

// ---- ageing, sources and the pool -------------------------------------------------------------------

TEST_F(Dfmc, MasksAgeOutAndWithThemTheSourcesSatellites) {
  ASSERT_EQ(feed(1000, mt31(0, {1, 2})), 1);
  ASSERT_EQ(feed(1300, mt31(3, {5})), 1);
  struct {
    double sec;
    bool valid;
    std::uint64_t gps;
  } rows[] = {{1599, true, 0x13}, {1601, true, 0x10}, {1899, true, 0x10}, {1901, false, 0}};
  for (const auto& r : rows) {
    ASSERT_EQ(feed(r.sec, Msg(63)), 1);
    const State s = state();
    EXPECT_EQ((s.uFlags & State::kMaskValid) != 0, r.valid) << r.sec;
    EXPECT_EQ(s.ullSatSet[kSysGps], r.gps) << r.sec;
  }
}

TEST_F(Dfmc, ANewSourceReadsNothingAgainstTheFormerSourcesMasks) {
  for (int i = 0; i < 11; ++i) ASSERT_EQ(feed(100 + i, mt31(1, {1, 2}), geo(120 + i)), 1);
  Mt32 m;
  m.slot = 2, m.dfrei = 4;
  ASSERT_EQ(feed(120, m.msg(), geo(125)), 1);
  // A twelfth source takes the decoder updated longest ago: PRN 120's.
  const PosData::RcvTimeDataType t = timeAt(130);
  DFMC_SbasDataDecoder* d = getDFMC_SbasDataDecoder(t, geo(140));
  EXPECT_EQ(d, &DFMC_SbasDataDecoderInstance[0]);
  ASSERT_EQ(d->update(t, geo(140), mt34(1, {2, 2}, {}).b), 1);
  EXPECT_EQ(d->source(), geo(140));
  EXPECT_LT(d->mask(1).lTime, 0);
  const State s = state(0);
  EXPECT_EQ(s.uPrn, 140);
  EXPECT_EQ(s.uFlags & State::kMaskValid, 0);
  EXPECT_EQ(s.ullSatSet[kSysGps], 0u);
  // The decoder of PRN 125 kept its data.
  SatRec c;
  ASSERT_TRUE(sat(sv(kSysGps, 1), c, 5));
  EXPECT_EQ(c.uDfrei, 4);
}

TEST_F(Dfmc, InvalidTimeDoesNothing) {
  PosData::RcvTimeDataType t = timeAt(10);
  t.gps.uStatus[0] = 0;
  auto& d = DFMC_SbasDataDecoderInstance[0];
  EXPECT_EQ(d.update(t, geo(131), mt31(0, {1}).b), 0);
  EXPECT_EQ(d.source().sys, 255);
  t = timeAt(10);
  t.gps.ulMs = 604800000;
  EXPECT_EQ(d.update(t, geo(131), mt31(0, {1}).b), 0);
  EXPECT_EQ(d.update(timeAt(10), geo(131), nullptr), 0);
}

// ---- random and truncated messages -------------------------------------------------------------------

TEST_F(Dfmc, RandomMessagesOfEveryTypeFromRandomSources) {
  PVTEngineInstance.init_Object(&PVTDataInstance, nullptr);
  std::mt19937 rng(51);
  for (int i = 0; i < 20000; ++i) {
    Msg m(static_cast<int>(30 + rng() % 9));
    for (int b = 2; b < 32; ++b) m.b[b] = static_cast<std::uint8_t>(rng());
    if (rng() % 4 == 0) m.b[0] = static_cast<std::uint8_t>(rng());
    const int sys = static_cast<int>(rng() % 8);
    const SvIdType src{static_cast<std::uint8_t>(rng() % 40), static_cast<std::uint8_t>(sys == 7 ? 255 : sys), 0,
                       static_cast<std::uint8_t>(rng() % 40)};
    const PosData::RcvTimeDataType t = timeAt(static_cast<double>(rng() % 604800000) / 1000.0);
    if (rng() % 8 == 0) {
      // Through the engine, cut short at any length.
      PVTDataInstance.rcvTime.Put(&t);
      const int n = static_cast<int>(rng() % 33);
      std::vector<std::uint8_t> cut(m.b, m.b + n);
      EXPECT_EQ(PVTEngineInstance.update_SbasDataTask(cut.data(), n, &src, 1, 0.0f) != 0, n == 32 ? true : false);
      continue;
    }
    getDFMC_SbasDataDecoder(t, src)->update(t, src, m.b);
  }
}

// ---- masks in the settings image -----------------------------------------------------------------------

class DfmcMaskNv : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    PosSetup::CorrProcessorSetupType s;
    PosSetup::setDefaults(s);
    SatRec::set_DataTimeout(&s);
    fresh(false);
  }
  void fresh(bool load) {
    NvBlock::resetLayout();
    RamNvm::blank();
    if (load) {
      ASSERT_TRUE(FileNvmLoad());
    }
    DFMC_SbasDataDecoder::allocate_NvRamData();
    for (DFMC_SbasDataDecoder& d : DFMC_SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, nullptr);
    for (auto& s : PVTDataInstance.dfmcSbasSatCorrection) s.Init();
  }
  void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    fresh(true);
  }
  int feedAt(double sec, int week, const Msg& m, const SvIdType& src) {
    const PosData::RcvTimeDataType t = timeAt(sec, week);
    return getDFMC_SbasDataDecoder(t, src)->update(t, src, m.b);
  }
};

TEST_F(DfmcMaskNv, AllFourMasksComeBackWithinTheTimeout) {
  struct {
    const char* name;
    int week;
    double sec;
    bool back;
  } rows[] = {
      {"100 s later", kWeek, 1100, true},
      {"599 s later", kWeek, 1599, true},
      {"700 s later", kWeek, 1700, false},
      {"a week later at the same time", kWeek + 1, 1100, false},
      {"a week earlier (clock went back)", kWeek - 1, 1100, false},
  };
  for (const auto& r : rows) {
    fresh(false);
    for (int iodm = 0; iodm < 4; ++iodm) ASSERT_EQ(feedAt(1000, kWeek, mt31(iodm, {iodm + 1, 160}), geo(133)), 1);
    restart();
    // The first message after the restart binds the source.
    Mt32 m;
    m.slot = 4, m.dfrei = 3;
    ASSERT_EQ(feedAt(r.sec - 1, r.week, m.msg(), geo(133)), 1);
    const auto& d = *getDFMC_SbasDataDecoder(timeAt(r.sec, r.week), geo(133));
    for (int iodm = 0; iodm < 4; ++iodm) {
      EXPECT_EQ(d.mask(iodm).lTime >= 0, r.back) << r.name << " " << iodm;
      if (!r.back) continue;
      EXPECT_EQ(d.mask(iodm).slot[0], sv(kSysGps, iodm)) << r.name;
      EXPECT_EQ(d.mask(iodm).slot[1], sv(kSysBeidou, 1)) << r.name;
    }
  }
}

// Block of PRN 137 (index 17): four 36-byte records in the place of their IODM, the IODM, the
// week in bytes 2-3, the time tag and the seven mask words little-endian.
TEST_F(DfmcMaskNv, MaskBlockLayout) {
  ASSERT_EQ(feedAt(1000, kWeek, mt31(2, {1, 32, 214}), geo(137)), 1);
  // Blocks 1280 to 1307, one per SBAS satellite index, of 144 bytes.
  for (std::uint16_t id : {1280, 1297, 1307}) EXPECT_EQ(imagetest::imageBlock(id).size, 144u) << id;
  EXPECT_FALSE(imagetest::imageBlock(1308).found);
  std::uint8_t bytes[144];
  ASSERT_TRUE(imagetest::readImageBlock(1297, bytes, sizeof bytes));
  auto le = [](const std::uint8_t* p, int n) {
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | p[i];
    return v;
  };
  const std::uint8_t* r = bytes + 72;
  EXPECT_EQ(r[0], 2);
  EXPECT_EQ(le(r + 2, 2), static_cast<std::uint32_t>(kWeek));
  EXPECT_EQ(le(r + 4, 4), 1000000u - 1130u);
  EXPECT_EQ(le(r + 8, 4), 0x80000001u);
  EXPECT_EQ(le(r + 32, 4), 0x00000400u);  // bit 214: the 22nd of the last word
  for (int i : {0, 1, 3}) EXPECT_EQ(bytes[36 * i], 255) << i;
  // A QZSS source has no block.
  ASSERT_EQ(feedAt(1001, kWeek, mt31(1, {1}), qzs(2)), 1);
  for (int i = 0; i < DFMC_SbasDataDecoder::kStoredMasks; ++i)
    EXPECT_EQ(imagetest::imageBlock(static_cast<std::uint16_t>(1280 + i)).valid, i == 17) << i;
}

}  // namespace
