// The start-up of the program leaves every hook as the wiring table says: filled where the
// component that fills it is built, empty where it is not.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

#include "differential/base/rtcm3_cpd_decoder.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/peripherals/calib_glo.h"
#include "main/hook_table.h"
#include "main/hooks.h"
#include "main/init_once.h"
#include "navigation_data/decoders/nav_decoder_family.h"
#include "positioning/data_servers/pvt_data.h"
#include "platform/exit.h"
#include "settings/rcv_settings.h"
#include "unit/differential/rtcm3_cpd_test_util.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class HookWiring : public TempRunDir {};

// The start-up runs in a child of its own (its tasks never stop); the child reports each
// mismatch on its error output and exits with their count.
TEST_F(HookWiring, StartUpFillsEveryHookTheTableWires) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  auto startUp = [] {
    wireHooks();
    initOnce();
    const int faults = hookWiringCheck([](const char* line) { std::fprintf(stderr, "$$HOOK: %s\n", line); });
    rxExit(faults);
  };
  EXPECT_EXIT(startUp(), ::testing::ExitedWithCode(0), "");
}

}  // namespace

// The GLONASS L3 ionosphere model reaches the positioning layer's server with its sender.
TEST(NavigationDataWiring, GlonassIonoModelGoesToItsServer) {
  wireNavigationData();
  navDecoderLinks.glonassIono(SvIdType{9, kSysGlonass, 0, kSvUnknown}, 2.5f, 300, 7);
  NavData::GlonassIonoModelDataType got{};
  ASSERT_NE(PVTDataInstance.glonassIonoModel.Get(&got), 0);
  EXPECT_EQ(got.bValid, 1);
  EXPECT_EQ(got.uSatIndex, 9);
  EXPECT_FLOAT_EQ(got.fC0, 2.5f);
  EXPECT_EQ(got.uC1, 300);
  EXPECT_EQ(got.uC2, 7);
}

// The decoders' Klobuchar models land in their system's slot of the positioning layer's servers:
// GPS 0, QZSS 1, BeiDou 2, NavIC its own server (3 here); another system's is dropped.

TEST(NavigationDataWiring, KlobucharModelsGoToTheirSystemsSlot) {
  wireNavigationData();
  const struct { int sys; int slot; } rows[] = {{kSysGps, 0}, {kSysQzss, 1}, {kSysBeidou, 2}, {kSysNavic, 3},
                                              {kSysGalileo, -1}};
  for (const auto& r : rows) {
    ZRT_ION_GPS ion{};
    ion.alpha[0] = static_cast<float>(r.sys + 1);
    ion.valid = 1;
    navDecoderLinks.klobuchar(r.sys, &ion);
    for (int slot = 0; slot < 4; ++slot) {
      NavData::KlobIonoModelDataType got{};
      KlobIonoModelDataServerType& server =
          slot == 3 ? PVTDataInstance.irnssKlobIonoModel : PVTDataInstance.klobIonoModel[slot];
      const bool has = server.Get(&got) != 0;
      EXPECT_EQ(has, slot == r.slot) << "system " << r.sys << " slot " << slot;
      if (has) {
        EXPECT_EQ(got.model.alpha[0], static_cast<float>(r.sys + 1));
      }
    }
  }
}

namespace {

// The B-CNAV decoders' outlets: their BDGIM model reaches the BDGIM server with its valid byte;
// the health-check mask ("dvs/check") and the B2b choice ("bei/cnav3/dec") are read from the
// satellite-processor setup.
TEST(NavigationDataWiring, BeidouCnavOutletsAndSetupWords) {
  wireNavigationData();
  ZRT_ION_CMP ion{};
  ion.alpha[0] = 12.5f;
  ion.signal = 64;
  ion.valid = 1;
  ion.satIdx = 20;
  navDecoderLinks.bdGlobalIono(&ion);
  NavData::BDGlobalIonoModelDataType got{};
  ASSERT_NE(PVTDataInstance.bdGlobalIonoModel.Get(&got), 0);
  EXPECT_EQ(got.bValid, 1);
  EXPECT_FLOAT_EQ(got.model.alpha[0], 12.5f);
  EXPECT_EQ(got.model.signal, 64);
  EXPECT_EQ(got.model.satIdx, 20);

  PosSetup::SatProcessorSetupType s;
  PosSetup::setDefaults(s);
  const std::uint64_t mask = 0x123456789ull;
  std::memcpy(s.aBytes + 2504 + 8 * kSysBeidou, &mask, sizeof mask);
  const struct { std::uint32_t word; int source; } rows[] = {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {9, 3}};
  for (const auto& r : rows) {
    std::memcpy(s.aBytes + 2592, &r.word, sizeof r.word);
    PVTDataInstance.satProcessorSetup.Put(&s);
    EXPECT_EQ(navDecoderLinks.b2bSource(), r.source) << r.word;
  }
  EXPECT_EQ(navDecoderLinks.healthCheckSats(kSysBeidou), mask);
  EXPECT_EQ(navDecoderLinks.healthCheckSats(kSysGps), 0xFFFFFFFFull) << "the default: every satellite";
  PosSetup::setDefaults(s);
  PVTDataInstance.satProcessorSetup.Put(&s);
  EXPECT_EQ(navDecoderLinks.b2bSource(), 1) << "the default: the data component";
}

}  // namespace

// An RTCM 3 base's receiver description names the make that the GLONASS bias handling takes
// in its "got" mode; a description naming no known make leaves it unknown.
TEST(DifferentialWiring, BaseReceiversMakeReachesTheGlonassBiasHandling) {
  wireDifferential();
  const struct {
    const char* rcvType;
    int brand;
  } rows[] = {{"TRIMBLE NETR9", 4}, {"SEPTENTRIO POLARX5", 6}, {"SOME RECEIVER", 0}, {"", 0}};
  for (const auto& r : rows) {
    gloBiasSettingsDefaults();
    setGloBiasMode(kGloBiasGot);
    rtcm3cpdtest::Base b;
    Rtcm3CpdDecoder d(&b.buf);
    d.updateRcvDesc(r.rcvType, "1.0", "123", 7);
    EXPECT_EQ(getGottenRcvBrand(), r.brand) << r.rcvType;
    EXPECT_EQ(gloBiasSettings().curBrand, r.brand) << r.rcvType;
  }
}

// The per-epoch driver's solution settings are the receiver settings the position keys set, and
// the rover-base distance is the length of the RTK record's baseline (3-4-12: 13 m) while the
// record holds a position.
TEST(GnssLinkWiring, SolutionSettingsAndTheBaselineLength) {
  wireGnssLink();
  const struct {
    std::uint8_t sep, type1, type3;
    std::uint16_t lim;
    bool known;
  } rows[] = {{0, 0, 0, 0, false}, {1, 0, 1, 5, true}, {0, 1, 0, 65535, true}};
  for (const auto& r : rows) {
    RcvSet.sepAntSol = r.sep, RcvSet.rtkType1 = r.type1, RcvSet.rtkType3 = r.type3, RcvSet.rtkDistLim = r.lim;
    rtkSolOut = RTK_SOL{};
    rtkSolOut.bPosKnown = r.known ? 1 : 0;
    rtkSolOut.baseline[0] = 3, rtkSolOut.baseline[1] = -4, rtkSolOut.baseline[2] = 12;
    EXPECT_EQ(measProcLinks.sepAntSolutions(), r.sep != 0);
    EXPECT_EQ(measProcLinks.rtkAllowType1(), r.type1 != 0);
    EXPECT_EQ(measProcLinks.rtkAllowType3(), r.type3 != 0);
    int lim = -1;
    EXPECT_EQ(measProcLinks.rtkDistLimit(lim), r.lim != 0);
    EXPECT_EQ(lim, r.lim);
    double d = -1;
    EXPECT_EQ(measProcLinks.rtkBaseDistance(d), r.known);
    if (r.known) {
      EXPECT_DOUBLE_EQ(d, 13.0);
    }
  }
  rcvSetDefaults(RcvSet);
}
