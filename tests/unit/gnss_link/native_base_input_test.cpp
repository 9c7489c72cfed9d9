// The native base input's rules, one row each, every row in a process of its own: a base's
// messages through a port in "zrt" mode, written by the simulator's writer, and what reaches the
// base buffer's client.
#include <cmath>
#include <cstring>
#include <functional>

#include "differential/received_stores.h"
#include "differential/rtk_base.h"
#include "positioning/reference/reference_pos.h"
#include "settings/base_coord.h"
#include "unit/gnss_link/native_base_test_util.h"

namespace {

using nbtest::BaseRig;
using I = std::vector<std::int64_t>;

constexpr double kC = 299792458.0;
constexpr double k2m40 = 1.0 / 1099511627776.0;
constexpr long kHour = 3600000;
constexpr long kTow = 3 * 86400000L + 45296000L;  // Wednesday 12:34:56 GPS
constexpr long kDayMs = kTow % 86400000L;          // the epoch time of "~~" and "::"
constexpr long kGlo = (45296000L - 18000L + 10800000L) % 86400000L;
constexpr double kL1 = 1575.42e6, kL2 = 1227.6e6, kL5 = 1176.45e6;

// The satellites of the rows.
const CpdSv G1 = CpdSv::make(CpdSv::kGps, 1), G2 = CpdSv::make(CpdSv::kGps, 2), G5 = CpdSv::make(CpdSv::kGps, 5);
const CpdSv E1 = CpdSv::make(CpdSv::kGalileo, 1);
const CpdSv S147 = CpdSv::make(CpdSv::kSbas, 147), J199 = CpdSv::make(CpdSv::kQzss, 199);
const CpdSv C40 = CpdSv::make(CpdSv::kBeidou, 40);

std::string gt(long t = kTow) { return sim::timeMsg("GT", t); }
std::string nt(long t = kGlo) { return sim::timeMsg("NT", t); }
// One epoch at `t` with both times and `body`.
std::string epoch(const std::string& body, std::uint32_t t = kDayMs) {
  return sim::epochStart(t) + gt() + nt() + body + sim::epochEnd(t);
}
std::string si(std::vector<int> v) { return sim::siMsg(v); }
std::string m4(const char* id, I v) { return sim::elemMsg(id, v, 4); }
std::string m2(const char* id, I v) { return sim::elemMsg(id, v, 2); }
std::string m1(const char* id, I v) { return sim::elemMsg(id, v, 1); }
double gpsRange(std::int64_t v) { return v / 1e11 + 0.075; }  // s

CpdMeas* g_held = nullptr;  // the base buffer's slot a row holds

struct Row {
  const char* name;
  std::function<void(BaseRig&)> before;  // may be empty
  std::function<std::string()> stream;
  std::function<void(BaseRig&)> check;
};

const CpdMeas& only(BaseRig& r) {
  static const CpdMeas none;
  EXPECT_EQ(r.released.epochs.size(), 1u);
  return r.released.epochs.empty() ? none : r.released.epochs.back();
}
const CpdSvMeas* sat(const CpdMeas& m, const CpdSv& s) {
  const CpdSvMeas* e = m.find(s);
  return e == m.end() ? nullptr : e;
}
void nothing(BaseRig& r) { EXPECT_TRUE(r.released.epochs.empty()); }

const Row kRows[] = {
    {"GpsCodePhaseDopplerEnergyInMetresAndCycles", {},
     [] { return epoch(si({1}) + m4("rc", {123456789}) + m4("cp", {-5000000}) + m4("DC", {-123456}) + m1("EC", {45})); },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       ASSERT_EQ(m.n, 1);
       const CpdMeasSlot& s = m.sv[0].slot[0];
       EXPECT_EQ(s.flags, 0x0F);
       EXPECT_DOUBLE_EQ(s.range, gpsRange(123456789) * kC);
       EXPECT_NEAR(s.phase, (gpsRange(123456789) - 5000000 * k2m40) * kL1, 1e-6);
       EXPECT_NEAR(s.doppler, -12.3456, 1e-4);
       EXPECT_EQ(s.snr, 45);
       EXPECT_EQ(std::tuple(m.id.get(), m.stationId, m.status, m.type), std::tuple(int(kTow % kHour), 0, 0, 1));
     }},
    {"RelativeRangesAndPhasesOfEverySlot", {},
     [] {
       return epoch(si({1}) + m4("rc", {0}) + m2("2r", {1000}) + m2("3r", {-1000}) + m2("5r", {0}) + m2("lr", {32766}) +
                    m4("2p", {100}) + m4("5p", {-100}) + m4("lp", {0}));
     },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       ASSERT_EQ(m.n, 1);
       const double r0 = gpsRange(0);
       const double want[6] = {r0, 0, r0 + 2e-7 + 1e-8, r0 + 2e-7 - 1e-8, r0 + 2e-7, r0 + 2e-7 + 32766e-11};
       for (int slot : {2, 3, 4, 5}) EXPECT_NEAR(m.sv[0].slot[slot].range, want[slot] * kC, 1e-6) << slot;
       EXPECT_NEAR(m.sv[0].slot[2].phase, (r0 + 100 * k2m40) * kL2, 1e-6);
       EXPECT_NEAR(m.sv[0].slot[4].phase, (r0 - 100 * k2m40) * kL5, 1e-6);
       EXPECT_NEAR(m.sv[0].slot[5].phase, r0 * kL1, 1e-6);
       EXPECT_EQ(m.sv[0].slot[3].flags, CpdMeasSlot::kRange);
     }},
    {"NoneValuesLeaveTheirSlotsUnset", {},
     [] {
       return epoch(si({1, 2}) + m4("rc", {2147483647, 5}) + m2("2r", {32767, 7}) + m4("cp", {2147483647, 1}) +
                    m4("DC", {2147483647, 1}) + m1("EC", {255, 1}) + m4("D2", {2147483647, 2147483647}) +
                    m1("E2", {255, 255}));
     },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       ASSERT_EQ(m.n, 2);
       for (int slot = 0; slot < 6; ++slot) EXPECT_EQ(m.sv[0].slot[slot].flags, 0) << slot;
       EXPECT_EQ(m.sv[1].slot[0].flags, 0x0F);
       EXPECT_EQ(m.sv[1].slot[2].flags, CpdMeasSlot::kRange);
     }},
    {"RelativeRangeAndPhaseWithoutSlot0RangeIgnored", {},
     [] { return epoch(si({1}) + m2("2r", {5}) + m4("2p", {5}) + m4("cp", {5}) + m4("D2", {5}) + m1("E2", {5})); },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       ASSERT_EQ(m.n, 1);
       EXPECT_EQ(m.sv[0].slot[0].flags, 0);
       EXPECT_EQ(m.sv[0].slot[2].flags, CpdMeasSlot::kDoppler | CpdMeasSlot::kSnr);
     }},
    {"CountDiffersFromListReclaimsAndLaterDataIgnored", {},
     [] { return epoch(si({1, 2}) + m4("rc", {1, 2, 3}) + m4("cp", {1, 2}) + m4("DC", {1, 2})); },
     [](BaseRig& r) {
       nothing(r);
       EXPECT_EQ(r.decoder().current(), nullptr);
     }},
    {"EpochOffTheIntervalReclaimed", {}, [] { return epoch(si({1}) + m4("rc", {1}), 1500); }, nothing},
    {"EpochEndAtAnotherTimeReclaimed", {},
     [] { return sim::epochStart(kDayMs) + gt() + si({1}) + m4("rc", {1}) + sim::epochEnd(kDayMs + 1000); }, nothing},
    {"AbandonedEpochStillReleased", {},
     [] { return sim::epochStart(kDayMs) + gt() + si({1}) + m4("rc", {1}) + sim::frame("||", "x", true); },
     [](BaseRig& r) { EXPECT_EQ(only(r).n, 1); }},
    {"NegativeEpochStartOpensNothing", {},
     [] { return sim::epochStart(0xFFFFFFFFu) + gt() + si({1}) + m4("rc", {1}) + sim::epochEnd(0xFFFFFFFFu); },
     nothing},
    {"Index33GivesNoSatellite", {}, [] { return epoch(si({33, 1}) + m4("rc", {7, 9})); },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       ASSERT_EQ(m.n, 1);
       EXPECT_EQ(m.sv[0].sv.id, G1.id);
       EXPECT_DOUBLE_EQ(m.sv[0].slot[0].range, gpsRange(9) * kC);
     }},
    {"Sbas147Qzss199BeiDouC40DecodedSbas150Not", {},
     [] { return epoch(si({147, 199, 250, 150}) + m4("rc", {10, 20, 30, 40})); },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       EXPECT_EQ(m.n, 3);
       const CpdSvMeas* s = sat(m, S147);
       const CpdSvMeas* j = sat(m, J199);
       const CpdSvMeas* c = sat(m, C40);
       ASSERT_TRUE(s && j && c);
       EXPECT_DOUBLE_EQ(s->slot[0].range, (10 / 1e11 + 0.125) * kC);
       EXPECT_DOUBLE_EQ(j->slot[0].range, (20 / 5e10 + 0.125) * kC);
       EXPECT_DOUBLE_EQ(c->slot[0].range, (30 / 5e10 + 0.105) * kC);
     }},
    {"ListOf200WithSatellitesPast128StaysInBounds", {},
     [] {
       std::vector<int> list(200, 0);
       list[3] = 1;
       list[127] = 2;
       list[128] = 5;
       list[199] = 71;
       I rc(200, 0);
       rc[3] = 3;
       rc[127] = 127;
       rc[128] = 128;
       return epoch(si(list) + m4("rc", rc) + m2("2r", I(200, 1)) + m1("EC", I(200, 9)));
     },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       EXPECT_EQ(m.n, 2);
       ASSERT_TRUE(sat(m, G1) && sat(m, G2));
       EXPECT_FALSE(sat(m, G5) || sat(m, E1));
       EXPECT_DOUBLE_EQ(sat(m, G2)->slot[0].range, gpsRange(127) * kC);
     }},
    {"IndexTwiceOrSecondListKeepsElementsOnTheirSatellites", {},
     [] {
       return epoch(si({1, 1, 2}) + m4("rc", {11, 12, 13}) + si({2, 5}) + m4("cp", {100, 200}) + m1("EC", {21, 22}));
     },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       ASSERT_EQ(m.n, 3);
       EXPECT_DOUBLE_EQ(sat(m, G1)->slot[0].range, gpsRange(12) * kC);
       EXPECT_DOUBLE_EQ(sat(m, G2)->slot[0].range, gpsRange(13) * kC);
       EXPECT_EQ(std::tuple(sat(m, G2)->slot[0].snr, sat(m, G5)->slot[0].snr, sat(m, G1)->slot[0].flags & 8),
                 std::tuple(21, 22, 0));
       EXPECT_EQ(sat(m, G5)->slot[0].flags & CpdMeasSlot::kPhase, 0);  // no range of its own
     }},
    {"SatelliteTheRoverDoesNotTrackLeftOut", [](BaseRig&) { BaseRig::tracks({G2}); },
     [] { return epoch(si({1, 2}) + m4("rc", {1, 2})); },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       ASSERT_EQ(m.n, 1);
       EXPECT_EQ(m.sv[0].sv.id, G2.id);
     }},
    {"PositionAfterType5BaseInfoIgnored", {},
     [] {
       const double a[3] = {4027894.0, 307045.0, 4919474.0}, b[3] = {1.0, 2.0, 3.0};
       return epoch(sim::baseInfoMsg(a, 5) + sim::posMsg("PO", b, 3) + si({1}) + m4("rc", {1}));
     },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       EXPECT_EQ(std::tuple(m.status, m.refPos.valid, m.refPos.x, m.refPos.z), std::tuple(1, 1, 4027894.0, 4919474.0));
       // The receiver's reference position and the stored base record take it; it is saved.
       double xyz[3];
       ASSERT_TRUE(RcvPosGPS.getRefPos(ReferencePos::kCartesian, xyz));
       EXPECT_NEAR(xyz[1], 307045.0, 1e-6);
       BASECOORD b{};
       EXPECT_TRUE(getRtkBase(b));
       EXPECT_EQ(std::tuple(b.xyz[0], b.xyz[2], int(b.srcPort)), std::tuple(4027894.0, 4919474.0, r.decPort()));
       RefParMessage::REFANT saved;
       EXPECT_TRUE(RpMsg.getPar(saved));
     }},
    {"Type5BaseInfoWithTheUsersBaseTakesTheStoredRecord",
     [](BaseRig&) {
       RcvSet.bUseBaseEntered = 1;
       bc.valid = 1;
       bc.xyz[0] = 10.0, bc.xyz[1] = 20.0, bc.xyz[2] = 30.0;
     },
     [] {
       const double a[3] = {4027894.0, 307045.0, 4919474.0};
       return epoch(sim::baseInfoMsg(a, 5) + si({1}) + m4("rc", {1}));
     },
     [](BaseRig& r) {
       EXPECT_EQ(std::tuple(only(r).status, only(r).refPos.x, only(r).refPos.z), std::tuple(1, 10.0, 30.0));
       BASECOORD b{};
       EXPECT_FALSE(getRtkBase(b));
       EXPECT_EQ(b.xyz[1], 20.0);
     }},
    {"Type5BaseInfoAtTheEarthsCentreStoresNothing", {},
     [] {
       const double z[3] = {0, 0, 0};
       return epoch(sim::baseInfoMsg(z, 5) + si({1}) + m4("rc", {1}));
     },
     [](BaseRig& r) {
       EXPECT_EQ(std::tuple(only(r).status, only(r).refPos.valid), std::tuple(1, 0));
       EXPECT_FALSE(RcvPosGPS.valid());
       BASECOORD b{};
       EXPECT_FALSE(getRtkBase(b));
       EXPECT_EQ(b.valid, 0);
     }},
    {"OtherBaseInfoAndPositionsGiveState2WithTheirType", {},
     [] {
       const double a[3] = {1e6, 2e6, 3e6}, b[3] = {4e6, 5e6, 6e6};
       return epoch(sim::baseInfoMsg(a, 2) + si({1}) + m4("rc", {1})) +
              epoch(sim::posMsg("PV", b, 4) + si({1}) + m4("rc", {1}), kDayMs + 1000);
     },
     [](BaseRig& r) {
       ASSERT_EQ(r.released.epochs.size(), 2u);
       EXPECT_EQ(std::tuple(r.released.epochs[0].status, r.released.epochs[0].refPos.y), std::tuple(2, 2e6));
       EXPECT_EQ(std::tuple(r.released.epochs[1].status, r.released.epochs[1].refPos.y), std::tuple(2, 5e6));
       EXPECT_EQ(r.decoder().refPos().posType, 4);
     }},
    {"PositionTypeAbove5Becomes0AndShortBodiesIgnored", {},
     [] {
       const double a[3] = {1e6, 2e6, 3e6}, b[3] = {7e6, 8e6, 9e6};
       std::string shortBi = sim::baseInfoMsg(b, 2), shortPo = sim::posMsg("PO", b, 1);
       shortBi = sim::frame("BI", shortBi.substr(5, 26), true);  // 27 bytes with the checksum
       shortPo = sim::frame("PO", shortPo.substr(5, 28), true);  // 29
       return epoch(sim::posMsg("PO", a, 9) + shortBi + shortPo + si({1}) + m4("rc", {1}));
     },
     [](BaseRig& r) {
       EXPECT_EQ(std::tuple(only(r).status, only(r).refPos.x), std::tuple(2, 1e6));
       EXPECT_EQ(r.decoder().refPos().posType, 0);
     }},
    {"TimeOfGtTakenForTheEpochId", {},
     [] { return sim::epochStart(kDayMs) + gt(kTow + 2000) + si({1}) + m4("rc", {1}) + sim::epochEnd(kDayMs); },
     [](BaseRig& r) { EXPECT_EQ(only(r).id.get(), (kTow + 2000) % kHour); }},
    {"GtShorterThanFourBytesIgnored", {},
     [] {
       return sim::epochStart(kDayMs) + sim::frame("GT", std::string("\xD0\x07\x00", 3), true) + si({1}) + m4("rc", {1}) +
              sim::epochEnd(kDayMs);
     },
     [](BaseRig& r) { EXPECT_EQ(only(r).id.get(), kTow % kHour); }},  // the epoch's own time instead
    {"GlonassTimeDisagreeingWithGpsReclaims", {},
     [] { return sim::epochStart(kDayMs) + gt() + nt(kGlo + 1000) + si({1}) + m4("rc", {1}) + sim::epochEnd(kDayMs); },
     nothing},
    {"WithoutRoverEpochReclaimed", [](BaseRig&) { cpdSetTimesAndId(CpdMeasTimes{}, CpdEpochId()); },
     [] { return epoch(si({1}) + m4("rc", {1})); }, nothing},
    {"RoverOnGlonassTimeGivesTheGlonassId", [](BaseRig&) { BaseRig::rover(-1, kGlo); },
     [] { return epoch(si({1}) + m4("rc", {1})); },
     [](BaseRig& r) { EXPECT_EQ(only(r).id.get(), kGlo % kHour); }},
    {"BaseInputSetToAnotherPortDecodesNothing", [](BaseRig& r) { RcvSet.refPort = static_cast<std::int16_t>(r.decPort() + 1); },
     [] { return epoch(si({1}) + m4("rc", {1})); }, nothing},
    {"BaseInputSetToThisPortDecodes", [](BaseRig& r) { RcvSet.refPort = static_cast<std::int16_t>(r.decPort()); },
     [] { return epoch(si({1}) + m4("rc", {1})); }, [](BaseRig& r) { EXPECT_EQ(only(r).n, 1); }},
    {"PhaseOfASignalTheSystemLacksIgnored", [](BaseRig&) { BaseRig::tracks({E1}); },
     [] { return epoch(si({71}) + m4("rc", {0}) + m2("lr", {0}) + m4("lp", {5}) + m4("cp", {5})); },
     [](BaseRig& r) {
       const CpdMeas& m = only(r);
       ASSERT_EQ(m.n, 1);
       EXPECT_EQ(std::tuple(int(m.sv[0].slot[5].flags), int(m.sv[0].slot[0].flags)), std::tuple(1, 3));
       // The one phase is counted under Galileo's channel-data row (3).
       std::uint8_t last[kCpdCountSys][CpdSvMeas::kSlotNum];
       std::memcpy(last, uDecodedSysSlotLastNum, sizeof last);
       EXPECT_EQ(std::tuple(int(last[3][0]), int(last[3][5]), int(last[2][0])), std::tuple(1, 0, 0));
     }},
    {"BufferHeldElsewhereOpensNoEpoch", [](BaseRig&) { ASSERT_NE(g_held = pBaseMeasBuf->doObtain(), nullptr); },
     [] { return epoch(si({1}) + m4("rc", {1})); },
     [](BaseRig& r) {
       nothing(r);
       EXPECT_EQ(r.decoder().current(), nullptr);
       pBaseMeasBuf->doReclaim(g_held);  // let go for the tests after this one
     }},
};

class NativeBaseRule : public ::testing::TestWithParam<Row> {};

TEST_P(NativeBaseRule, Holds) {
  const Row& row = GetParam();
  BaseRig rig;
  BaseRig::rover(kTow, kGlo);
  BaseRig::tracks({G1, G2, G5, E1, S147, J199, C40, CpdSv::make(CpdSv::kSbas, 150)});
  if (row.before) row.before(rig);
  rig.feed(row.stream(), 7);
  row.check(rig);
}

INSTANTIATE_TEST_SUITE_P(Rows, NativeBaseRule, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& i) { return std::string(i.param.name); });

// Every index of the satellite list against the table written out here.
TEST(NativeBaseInput, SatelliteListIndexes) {
  struct Want {
    int first, last, sys, base;
  };
  const Want usable[] = {{1, 32, 0, 0}, {38, 52, 1, 45}, {71, 106, 2, 70}, {120, 147, 3, 0}, {193, 199, 4, 0}, {211, 254, 5, 210}};
  for (int index = 0; index < 256; ++index) {
    const CpdSv got = ZrtCpdDecoder::mapIndex(index);
    CpdSv want{};
    for (const Want& w : usable)
      if (index >= w.first && index <= w.last) want = CpdSv::make(w.sys, index - w.base);
    EXPECT_EQ(std::tuple(int(got.sys), int(got.num), int(got.id)), std::tuple(int(want.sys), int(want.num), int(want.id)))
        << "index " << index;
    if (want.id != 0) { EXPECT_NE(got.id, 0) << "index " << index; }
  }
  EXPECT_EQ(ZrtCpdDecoder::mapIndex(38).num, -7);
  EXPECT_EQ(ZrtCpdDecoder::mapIndex(52).id, 47);
}

// Code scalings and carriers of every system, one satellite each in one epoch.
TEST(NativeBaseInput, CodeScalingsAndCarriersOfEverySystem) {
  struct Case {
    const char* name;
    int index;
    CpdSv sv;
    double d, k;
    int slot;  // a second signal with a phase
    double f0, f;
  };
  const double g1 = 1602e6 - 7 * 562.5e3, g2 = 1246e6 - 7 * 437.5e3;
  const Case cases[] = {
      {"GPS L2", 32, CpdSv::make(0, 32), 1e11, 0.075, 2, kL1, kL2},
      {"GLONASS -7 L2", 38, CpdSv::make(1, -7), 1e11, 0.075, 3, g1, g2},
      {"Galileo E5b", 106, CpdSv::make(2, 36), 5e10, 0.085, 2, kL1, 1207.14e6},
      {"SBAS L5", 120, CpdSv::make(3, 120), 1e11, 0.125, 4, kL1, kL5},
      {"QZSS L1C", 193, CpdSv::make(4, 193), 5e10, 0.125, 5, kL1, kL1},
      {"BeiDou B3", 211, CpdSv::make(5, 1), 5e10, 0.105, 3, 1561.098e6, 1268.52e6},
  };
  BaseRig rig;
  BaseRig::rover(kTow, kGlo);
  std::vector<CpdSv> svs;
  std::vector<int> list;
  for (const Case& c : cases) svs.push_back(c.sv), list.push_back(c.index);
  BaseRig::tracks(svs);
  const std::int64_t v = -987654321, p = 77777;
  const char* rel[] = {"", "", "2r", "3r", "5r", "lr"};
  const char* ph[] = {"", "", "2p", "3p", "5p", "lp"};
  std::string body = si(list) + m4("rc", I(6, v)) + m4("cp", I(6, p));
  for (int slot = 2; slot < 6; ++slot) {
    I rv(6, 32767), pv(6, 2147483647);
    for (int i = 0; i < 6; ++i)
      if (cases[i].slot == slot) rv[i] = 0, pv[i] = p;
    body += m2(rel[slot], rv) + m4(ph[slot], pv);
  }
  rig.feed(epoch(body));
  const CpdMeas& m = only(rig);
  for (const Case& c : cases) {
    const CpdSvMeas* s = sat(m, c.sv);
    ASSERT_NE(s, nullptr) << c.name;
    const double r0 = v / c.d + c.k;
    EXPECT_NEAR(s->slot[0].range, r0 * kC, 1e-6) << c.name;
    EXPECT_NEAR(s->slot[0].phase, (r0 + p * k2m40) * c.f0, 1e-5) << c.name;
    EXPECT_NEAR(s->slot[c.slot].range, (r0 + 2e-7) * kC, 1e-6) << c.name;
    EXPECT_NEAR(s->slot[c.slot].phase, (r0 + p * k2m40) * c.f, 1e-5) << c.name;
  }
}

// The base buffer belongs to the port the base input names: leaving an epoch open there while
// the setting moves away, or another port entering the native mode, takes nothing from it.
TEST(NativeBaseInput, OtherPortsLeaveTheBaseBufferAlone) {
  BaseRig rig;
  BaseRig::rover(kTow, kGlo);
  BaseRig::tracks({G1});
  RcvSet.refPort = static_cast<std::int16_t>(rig.decPort());
  rig.feed(epoch(si({1}) + m4("rc", {1})));
  ASSERT_EQ(rig.released.epochs.size(), 1u);
  rig.feed(sim::epochStart(kDayMs + 1000) + gt(kTow + 1000) + si({1}));
  ASSERT_NE(rig.decoder().current(), nullptr);
  RcvSet.refPort = static_cast<std::int16_t>(rig.decPort() + 1);
  rig.feed(sim::epochEnd(kDayMs + 1000));
  EXPECT_EQ(rig.decoder().current(), nullptr);
  CpdMeas* m = pBaseMeasBuf->doObtain();  // free for the base that now feeds it
  ASSERT_NE(m, nullptr);
  pBaseMeasBuf->doReclaim(m);

  testports::ScriptPort other(IOP_SER_B);
  ASSERT_TRUE(zrtPortInputAttach(IOP_SER_B));
  RcvSet.refPort = static_cast<std::int16_t>(rig.decPort());
  ASSERT_TRUE(other.setMode(InPort::M_ZRT));  // not the base's port: the epochs stay
  const CpdMeas* kept = pBaseMeasBuf->doGet();
  ASSERT_NE(kept, nullptr);
  pBaseMeasBuf->doUnlock(kept);
  const int resets = rig.released.resets;
  RcvSet.refPort = -2;
  ASSERT_TRUE(other.setMode(InPort::M_CMD));
  ASSERT_TRUE(other.setMode(InPort::M_ZRT));  // any port may feed it now: emptied
  EXPECT_EQ(pBaseMeasBuf->doGet(), nullptr);
  EXPECT_EQ(rig.released.resets, resets + 1);
}

// With the base input on any port (-2) every decoder port's base feeds the buffer.
TEST(NativeBaseInput, AnyPortSettingDecodesEveryPort) {
  BaseRig rig;
  BaseRig::rover(kTow, kGlo);
  BaseRig::tracks({G1});
  testports::ScriptPort other(IOP_SER_B);
  ASSERT_TRUE(zrtPortInputAttach(IOP_SER_B));
  ASSERT_TRUE(other.setMode(InPort::M_ZRT));
  rig.feed(epoch(si({1}) + m4("rc", {1})));
  other.chunks.push_back(epoch(si({1}) + m4("rc", {2}), kDayMs + 1000));
  other.task(20);
  ASSERT_EQ(rig.released.epochs.size(), 2u);
  EXPECT_DOUBLE_EQ(rig.released.epochs[1].sv[0].slot[0].range, gpsRange(2) * kC);
}

// The GNSS board's port has no base decoder; every other decoder port has one on its input.
TEST(NativeBaseInput, OneDecoderPerDecoderPortButTheBoards) {
  BaseRig rig;
  for (int dec = 0; dec < InPorts::DEC_NUM; ++dec) {
    if (InPorts::dec2io_[dec] == kBoardPort) {
      EXPECT_EQ(zrtCpdDecoder(dec), nullptr);
      continue;
    }
    ASSERT_NE(zrtCpdDecoder(dec), nullptr) << dec;
    EXPECT_EQ(zrtCpdDecoder(dec)->port(), dec);
  }
  EXPECT_EQ(zrtCpdDecoder(-1), nullptr);
  EXPECT_EQ(zrtCpdDecoder(InPorts::DEC_NUM), nullptr);
}

}  // namespace
