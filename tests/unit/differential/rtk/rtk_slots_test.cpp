// Satellite slots of the RTK engine, the carrier frequencies of their signals against the ICDs,
// the usable-signal masks and the engine's system list.
#include "differential/rtk/rtk_slots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

#include <cstring>
#include <string>

#include "differential/rtk/cpd_params.h"
#include "positioning/data_servers/pos_setup_types.h"
#include "positioning/data_servers/pvt_data.h"
#include "unit/own_process.h"

namespace {

// The slot layout: per system its first slot, its satellite count and the number of its first
// satellite (GLONASS: frequency channel -7 first, so slot 39 is channel 0).
struct Layout {
  int sys, first, count, firstNum;
};
constexpr Layout kLayout[] = {
    {0, 0, 32, 1}, {1, 32, 15, -7}, {2, 47, 36, 1}, {3, 83, 28, 120}, {4, 111, 7, 193}, {5, 118, 63, 1}, {6, 181, 14, 1},
};

TEST(RtkSlots, EverySlotRoundTripsThroughItsSatellite) {
  int seen = 0;
  for (const Layout& l : kLayout) {
    for (int k = 0; k < l.count; ++k) {
      const int slot = l.first + k;
      CpdSv sv;
      ASSERT_TRUE(cpdSlotSv(slot, sv)) << slot;
      EXPECT_EQ(sv.sys, l.sys) << slot;
      EXPECT_EQ(sv.num, l.firstNum + k) << slot;
      ++seen;
    }
  }
  EXPECT_EQ(seen, kRtkSlots);
}

TEST(RtkSlots, OutsideTheTableIsNone) {
  for (int slot : {-1, 195, 196, 255, -1000, 1 << 30}) {
    CpdSv sv;
    sv.num = 77;
    EXPECT_FALSE(cpdSlotSv(slot, sv)) << slot;
    EXPECT_EQ(sv.num, 77);
  }
  CpdSv sv;
  ASSERT_TRUE(cpdSlotSv(kRtkGloChannel0Slot, sv));
  EXPECT_TRUE(sv.sys == CpdSv::kGlonass && sv.num == 0);  // slot 39 is channel 0
}

TEST(RtkSlots, TimeScaleOfEachSystem) {
  const int want[] = {-1, 0, 1, 0, 0, 0, 0, 0, -1};  // systems -1..7
  for (int sys = -1; sys <= 7; ++sys) EXPECT_EQ(systime(sys), want[sys + 1]) << sys;
}

// Nominal carriers from IS-GPS-200/705/800, GLONASS ICD (L1 1602 + 0.5625k, L2 1246 + 0.4375k MHz,
// L3 1202.025 MHz), Galileo OS SIS ICD (E1, E5a, E5b, E6), BeiDou B1I/B3I/B1C/B2a ICDs, IS-QZSS
// and the IRNSS SPS ICD (L5). Signal slots: 0 ca, 1 p1, 2 p2, 3 c2, 4 l5, 5 l1c.
TEST(RtkSlots, CarrierFrequencyOfEverySystemAndSignalIsTheIcds) {
  const struct { const char* what; int slot, sig; double hz; } rows[] = {
      {"GPS L1 C/A", 0, 0, 1575.42e6},    {"GPS L1 P", 5, 1, 1575.42e6},    {"GPS L2 P", 31, 2, 1227.60e6},
      {"GPS L2C", 12, 3, 1227.60e6},      {"GPS L5", 20, 4, 1176.45e6},     {"GPS L1C", 3, 5, 1575.42e6},
      {"GAL E1", 47, 0, 1575.42e6},       {"GAL E5b", 60, 2, 1207.14e6},    {"GAL E6", 70, 3, 1278.75e6},
      {"GAL E5a", 82, 4, 1176.45e6},      {"SBAS L1", 83, 0, 1575.42e6},    {"SBAS L5", 110, 4, 1176.45e6},
      {"QZSS L1 C/A", 111, 0, 1575.42e6}, {"QZSS L6", 112, 2, 1278.75e6},   {"QZSS L2C", 113, 3, 1227.60e6},
      {"QZSS L5", 114, 4, 1176.45e6},     {"QZSS L1C", 117, 5, 1575.42e6},  {"BDS B1I", 118, 0, 1561.098e6},
      {"BDS B2I", 130, 2, 1207.14e6},     {"BDS B3I", 150, 3, 1268.52e6},   {"BDS B2a", 170, 4, 1176.45e6},
      {"BDS B1C", 180, 5, 1575.42e6},     {"NavIC L5", 181, 4, 1176.45e6},  {"NavIC L5 last", 194, 4, 1176.45e6},
  };
  for (const auto& r : rows) EXPECT_NEAR(calcSvFreq(r.slot, r.sig), r.hz, 1e-3) << r.what;
}

TEST(RtkSlots, GlonassCarrierOfEveryChannelOnBothBands) {
  for (int k = -7; k <= 6; ++k) {
    const int slot = kRtkGloChannel0Slot + k;
    const double g1 = 1602.0e6 + 0.5625e6 * k;
    const double g2 = 1246.0e6 + 0.4375e6 * k;
    EXPECT_NEAR(calcSvFreq(slot, 0), g1, 1e-3) << k;
    EXPECT_NEAR(calcSvFreq(slot, 1), g1, 1e-3) << k;
    EXPECT_NEAR(calcSvFreq(slot, 2), g2, 1e-3) << k;
    EXPECT_NEAR(calcSvFreq(slot, 3), g2, 1e-3) << k;
  }
  EXPECT_NEAR(calcSvFreq(kRtkGloChannel0Slot, 4), 1202.025e6, 1e-3);
}

TEST(RtkSlots, NoMappingGivesOne) {
  const int rows[][2] = {{195, 0}, {-1, 0}, {0, 6}, {0, -1}, {0, 255}, {40, 7}, {196, 2}};
  for (const auto& r : rows) EXPECT_EQ(calcSvFreq(r[0], r[1]), 1.0) << r[0] << "/" << r[1];
}

// ---- usable signals ----------------------------------------------------------------------------

// The L1 and L2 groups of each system as signal-slot lists.
int tableBits(std::initializer_list<int> slots) {
  int m = 0;
  for (int s : slots) m |= 1 << s;
  return m;
}
const int kTable[7] = {
    tableBits({0, 1, 5, 3, 2, 4}), tableBits({0, 1, 3, 2}), tableBits({0, 2, 3, 4}), tableBits({0, 4}),
    tableBits({0, 5, 3, 4}),       tableBits({0, 5, 3, 2, 4}), tableBits({0, 4, 1}),
};

PosSetup::SatProcessorSetupType setupWithMasks(const std::uint32_t* masks) {
  PosSetup::SatProcessorSetupType s{};
  for (int sys = 0; sys < 7; ++sys)
    std::memcpy(s.aBytes + PosSetup::kSatSignalMaskOffset + 4 * sys, &masks[sys], 4);
  return s;
}

TEST(RtkChanUsable, MasksFollowTheTableTheFlagsAndTheSetup) {
  const std::uint32_t all[7] = {63, 63, 63, 63, 63, 63, 63};
  const std::uint32_t some[7] = {0x01, 0x0C, 0x3F, 0x10, 0x20, 0x09, 0x02};
  const struct {
    const char* name;
    bool sys[7];
    bool slot[6];
    const std::uint32_t* masks;
    int want[7];
  } rows[] = {
      {"everything on", {1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, all,
       {kTable[0], kTable[1], kTable[2], kTable[3], kTable[4], kTable[5], kTable[6]}},
      {"GLONASS and NavIC off", {1, 0, 1, 1, 1, 1, 0}, {1, 1, 1, 1, 1, 1}, all,
       {kTable[0], 0, kTable[2], kTable[3], kTable[4], kTable[5], 0}},
      {"ca only", {1, 1, 1, 1, 1, 1, 1}, {1, 0, 0, 0, 0, 0}, all, {1, 1, 1, 1, 1, 1, 1}},
      {"l5 and l1c only", {1, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 1, 1}, all, {0x30, 0, 0x10, 0x10, 0x30, 0x30, 0x10}},
      {"no slot", {1, 1, 1, 1, 1, 1, 1}, {0, 0, 0, 0, 0, 0}, all, {0, 0, 0, 0, 0, 0, 0}},
      // setup masks: GPS ca; GLONASS p2+c2; Galileo all; SBAS l5; QZSS l1c; BeiDou ca+c2; NavIC p1
      {"setup masks", {1, 1, 1, 1, 1, 1, 1}, {1, 1, 1, 1, 1, 1}, some, {0x01, 0x0C, 0x1D, 0x10, 0x20, 0x09, 0x02}},
      {"setup masks, p2 off", {1, 1, 1, 1, 1, 1, 1}, {1, 1, 0, 1, 1, 1}, some, {0x01, 0x08, 0x19, 0x10, 0x20, 0x09, 0x02}},
      {"no system", {0, 0, 0, 0, 0, 0, 0}, {1, 1, 1, 1, 1, 1}, all, {0, 0, 0, 0, 0, 0, 0}},
  };
  for (const auto& r : rows) {
    std::copy(std::begin(r.sys), std::end(r.sys), cpdParams.useSys);
    cpdParams.setUseSlot(r.slot);
    const PosSetup::SatProcessorSetupType setup = setupWithMasks(r.masks);
    int out[7];
    for (int& o : out) o = -1;
    RtkChan::getUsableSlots(out, &setup);
    for (int sys = 0; sys < 7; ++sys) EXPECT_EQ(out[sys], r.want[sys]) << r.name << " system " << sys;
  }
}

// Through the position engine's server: nothing before it has a setup, its factory setup after.
// The server as the process starts it: in a process of its own.
TEST(RtkChanUsable, FromTheServer) {
  testproc::inOwnProcess([] {
    int out[7];
    RtkChan::getUsableSlots(out);
    for (int o : out) EXPECT_EQ(o, 0);
    PosSetup::SatProcessorSetupType setup;
    PosSetup::setDefaults(setup);
    PVTDataInstance.satProcessorSetup.Put(&setup);
    RtkChan::getUsableSlots(out);
    for (int sys = 0; sys < 7; ++sys) EXPECT_EQ(out[sys] & ~kTable[sys], 0) << sys;
    EXPECT_EQ(out[0] & 1, 1);  // GPS C/A
  });
}

TEST(RtkChanSystems, DefaultListTakesSystemsInPriorityOrderAtMostFour) {
  // priority GPS, GLONASS, Galileo, BeiDou, NavIC, QZSS, SBAS
  const struct {
    const char* name;
    bool sys[7];
    int list[4];
    int n;
  } rows[] = {
      {"all", {1, 1, 1, 1, 1, 1, 1}, {0, 1, 2, 5}, 4},
      {"no GLONASS", {1, 0, 1, 1, 1, 1, 1}, {0, 2, 5, 6}, 4},
      {"no GPS GLONASS Galileo", {0, 0, 0, 1, 1, 1, 1}, {5, 6, 4, 3}, 4},
      {"QZSS and SBAS", {0, 0, 0, 1, 1, 0, 0}, {4, 3}, 2},
      {"SBAS only", {0, 0, 0, 1, 0, 0, 0}, {3}, 1},
      {"GPS only", {1, 0, 0, 0, 0, 0, 0}, {0}, 1},
      {"none", {0, 0, 0, 0, 0, 0, 0}, {}, 0},
  };
  for (const auto& r : rows) {
    std::copy(std::begin(r.sys), std::end(r.sys), cpdParams.useSys);
    RtkChan::defaultUsableSys();
    EXPECT_EQ(RtkChan::curSysNum, r.n) << r.name;
    EXPECT_EQ(RtkChan::curSigNum, 2 * r.n) << r.name;
    EXPECT_EQ(RtkChan::curStateNum, 2 * r.n + 3) << r.name;
    for (int i = 0; i < r.n; ++i) EXPECT_EQ(RtkChan::curSys[i], r.list[i]) << r.name << " " << i;
    RtkChan::assignUsableSys_z(1);
    EXPECT_TRUE(RtkChan::curSysNum_z[1] == r.n && RtkChan::curSigNum_z[1] == 2 * r.n &&
                RtkChan::curStateNum_z[1] == 2 * r.n + 3 && RtkChan::curSys_z[1][r.n > 0 ? r.n - 1 : 0] == r.list[r.n > 0 ? r.n - 1 : 0]);
  }
  RtkChan::assignUsableSys_z(2);  // no baseline 2: nothing written
}

TEST(RtkChanSystems, InterSystemTablesWeightGlonassDown) {
  const bool sys[7] = {1, 1, 1, 0, 0, 1, 0};
  std::copy(std::begin(sys), std::end(sys), cpdParams.useSys);
  RtkChan::defaultUsableSys();  // GPS, GLONASS, Galileo, BeiDou
  initRtkSysTables();
  const struct { double a, b; } rows[] = {{1.0, 1.0}, {0.005, 0.01}, {1.0, 1.0}, {1.0, 1.0}};
  for (int i = 0; i < 4; ++i) {
    EXPECT_DOUBLE_EQ(ALPHAT[i][0], rows[i].a) << i;
    EXPECT_DOUBLE_EQ(ALPHAT[i][1], rows[i].a) << i;
    EXPECT_DOUBLE_EQ(_ALPHAT[i][0], rows[i].b) << i;
    EXPECT_DOUBLE_EQ(_ALPHAT[i][1], rows[i].b) << i;
  }
}

}  // namespace
