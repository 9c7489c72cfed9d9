// From a port in GBAS mode to the satellites' correction records: a Type 2 and a Type 1 message
// of one ground station written to the port, then one GBAS correction stage, give that station's
// correction. Messages from the independent encoder of unit/gbas_messages.h; the expected values
// are RTCA DO-253's airborne equations evaluated by hand (station N_R 379, sigma_N 20, h0 100 m
// as ICAO Annex 10 Table D-8's; elevation 30 deg, user 300 m above the station).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "differential/decoder_status.h"
#include "differential/decoder_task.h"
#include "differential/gbas_decoder.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_corr_generator.h"
#include "positioning/gbas/gbas_data_decoder.h"
#include "unit/gbas_messages.h"
#include "unit/differential/relay_links.h"

namespace {

using namespace gbastest;

constexpr std::uint32_t kNow = 349200000;
constexpr std::uint32_t kTag = 2000;

TEST(GbasCorrectionsRoad, PortBytesToSatelliteCorrection) {
  std::uint16_t format = 246;
  PosSetup::CorrProcessorSetupType s;
  if (PVTDataInstance.corrProcessorSetup.Take(&s) == 0) PosSetup::setDefaults(s);
  std::memcpy(s.aBytes + GbasDecoder::kSetupFormatOffset, &format, sizeof format);
  PVTDataInstance.corrProcessorSetup.Put(&s);
  for (GbasDataDecoder& d : GbasDataDecoderInstance) {
    d.init_Object(&PVTDataInstance);
    d.update(PosData::RcvTimeDataType{}, 0, 0, nullptr, 0);
  }
  for (int i = 0; i < GBASData::kGbasSources; ++i) PVTDataInstance.gbasDiffCorrection[i].Init();
  PVTDataInstance.satCorrection.Init();
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = kTag;
  t.gps.ulMs = kNow;
  t.gps.uStatus[0] = 1;
  PVTDataInstance.rcvTime.Put(&t);

  static std::string board;
  board.clear();
  difftest::freeRelayLinks();
  decBoardSendHook = [](const void* p, int n) { board.append(static_cast<const char*>(p), static_cast<std::size_t>(n)); };
  InDecs::init();
  decRedirsModeChange(IOP_SER_C, InPort::M_GBAS);
  const int port = InPorts::io2dec_[IOP_SER_C];
  // Station PORT at latitude 0, longitude 0, 100 m; block 1 selector 9, 50 km. GPS 5: PRC 2.5 m,
  // RRC -0.1 m/s, sigma_pr_gnd 1.0 m, IOD 7, ephemeris CRC 0x1234, 1 s before the epoch.
  const Station st{1, 1, 1, 0, 40, -7, 1, 20, 0, 0, 10000};
  const int zCount = static_cast<int>((kNow - 1000) % 1200000 / 100);
  std::vector<std::uint8_t> bytes = frame(170, "PORT", 2, type2Body(st, {9, 25, 1, 1, 1, 1}));
  const std::vector<std::uint8_t> t1 =
      frame(170, "PORT", 1, type1Body(zCount, 0, 1, 0, 12, 0x1234, 255, {{5, 7, 250, -100, 50, 3, -128, -128, -128}}));
  bytes.insert(bytes.end(), t1.begin(), t1.end());
  decProcess(InDecs::kGbas, static_cast<InPorts::DecPortIndex>(port), bytes.data(), static_cast<int>(bytes.size()));

  SvIdType sv;
  ASSERT_TRUE(svIdFromSiNumber(kSysGps, 5, sv));
  NavData::GbasEphIntegrityDataType e{};
  e.uIod = 7;
  e.uCrc = 0x1234;
  PVTDataInstance.gbasEphIntegrity.Put(&sv, &e);

  SatCorrWorkArea& w = SatCorrProcessorInstance.work();
  w.request.rcvTime = t;
  w.request.position.dX = 6378137.0 + 400.0;
  w.request.position.dY = 0.0;
  w.request.position.dZ = 0.0;
  w.request.position.dHeight = 400.0;
  w.request.uCount = 1;
  w.request.sat[0] = CorrData::RequestSatDataType{};
  w.request.sat[0].svId = sv;
  w.request.sat[0].fElevation = 30.0f;
  std::memset(w.corrSetup.aBytes, 0, sizeof w.corrSetup.aBytes);
  w.corrSetup.aBytes[GbasCorr::kSelectionModeOffset] = 2;
  w.corrSetup.aBytes[GbasCorr::kStationSelectorOffset] = 9;
  w.corrSetup.aBytes[GbasCorr::kPathSelectorOffset] = 255;
  EXPECT_EQ(SatCorrProcessorInstance.update_GbasCorrection(), 1);

  SatData::CorrectionDataType r;
  ASSERT_NE(PVTDataInstance.satCorrection.Take(&sv, &r), 0);
  ASSERT_EQ(r.gbas.bValid, 1);
  EXPECT_EQ(r.gbas.uSelector, 9);
  EXPECT_NEAR(r.gbas.fAge, 1.0, 1e-6);
  EXPECT_NEAR(r.gbas.fCorrection, 0.071739752840 + 2.5 - 0.1, 2e-6);
  // x_air 300 m, no velocity solution.
  const double si = 1.751421095157 * 4e-6 * 300.0, stp = 0.003785738936;
  EXPECT_NEAR(r.gbas.fVariance, si * si + stp * stp + 1.0, 1e-5);
  EXPECT_EQ(SatCorrProcessorInstance.work().request.uGbasSelector, 9);
}

}  // namespace
