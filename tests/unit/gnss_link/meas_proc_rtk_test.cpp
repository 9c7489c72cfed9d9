// The board simulator's RTK epoch through the decoder and the per-epoch chain: the main input
// outputs the RTK solution the simulator states, the other input its own solution, RcvOut the
// main one, each after the navigation step and before the coding and the scheduled output.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "../../../tools/gnss_board_sim/sim_native.h"
#include "unit/gnss_link/chain_calls.h"
#include "unit/gnss_link/native_test_util.h"
#include "gnss_link/lock_manager.h"
#include "gnss_link/meas_proc.h"
#include "platform/leds.h"
#include "navigation_data/sv_id.h"
#include "settings/rcv_settings.h"

namespace {

using namespace ntest;

std::ptrdiff_t at(const char* what) {
  const std::vector<std::string>& calls = chaincalls::notes();
  return std::find(calls.begin(), calls.end(), what) - calls.begin();
}

TEST(MeasProcRtk, SimulatorsRtkEpochFillsBothInputsAndRcvOut) {
  constexpr double kLat = 50.0, kLon = 10.0, kH = 300.0, kD = M_PI / 180.0;
  constexpr double kA = 6378137.0, kF = 1 / 298.257223563, kE2 = kF * (2 - kF);
  const double nRad = kA / std::sqrt(1 - kE2 * std::sin(kLat * kD) * std::sin(kLat * kD));
  const double site[3] = {(nRad + kH) * std::cos(kLat * kD) * std::cos(kLon * kD),
                          (nRad + kH) * std::cos(kLat * kD) * std::sin(kLon * kD),
                          (nRad * (1 - kE2) + kH) * std::sin(kLat * kD)};
  emptyMeasProcLinks();
  tPosMode = 4;
  RcvSet.midPointOut = 0;
  RcvSet.codeSolAllowed = 0;
  RcvSet.hdgOffset = RcvSet.pitchOffset = 0;
  LockMan::mainAntInputIdx = 0;
  msInt = posMsInt = posUpdateRate = rawUpdateRate = -1;
  measProcLinks.navMain = [] {
    chaincalls::note("navMain");
    NavSol.pos = NavTask::NAV_POS{};
    NavSol.pos.dXyz[0] = 4193000.0, NavSol.pos.dXyz[1] = 800000.0, NavSol.pos.dXyz[2] = 4724000.0;
    NavSol.pos.bValid = 1;
    return 0;
  };
  RawFeed f;
  f.raw->setMeasReady(signalMeasReady);
  chaincalls::open();
  const sim::TimeScales ts = sim::timeScales(1717243200, 0);
  const std::uint32_t t = sim::epochTime(ts);
  std::string marker;
  sim::putLe(marker, t, 4);
  // The position LED has no lines here: its pattern is kept out of the captured errors.
  PosLed::enable(false);
  testing::internal::CaptureStderr();
  f.put(sim::frame("~~", marker, true) + sim::rawRecord(8, sim::timeScaleRecord(ts, 100)) +
        sim::rawRecord(5, sim::rtkRecord(t, site, kLat, kLon)) + sim::frame("::", marker, true));
  // The program's clock takes the simulated date (a line of its own); no record is refused.
  EXPECT_EQ(testing::internal::GetCapturedStderr().find("ERROR"), std::string::npos);
  PosLed::enable(true);
  EXPECT_EQ(f.raw->counters().recRefused, 0u);
  chaincalls::close();
  measProcLinks.navMain = nullptr;
  tPosMode = 0;

  EXPECT_LT(at("navMain"), at("RCV_OUTPUT::computeParams"));
  EXPECT_LT(at("RCV_OUTPUT::computeParams"), at("baseMakeCoding"));
  EXPECT_LT(at("baseMakeCoding"), at("omOutput"));
  EXPECT_LT(at("omOutput"), std::ptrdiff_t(chaincalls::notes().size()));

  const SOL_OUTPUT& s = rcvOut_Ant[0].sol;
  ASSERT_EQ(rcvOut_Ant[0].bRtkAvail, 1);
  ASSERT_EQ(s.source, SOL_OUTPUT::kSrcRtk);
  EXPECT_TRUE(s.isPosValid());
  for (int i = 0; i < 3; ++i) EXPECT_NEAR((&s.PosWgsXYZ.x)[i], site[i], 1e-6) << i;
  EXPECT_NEAR(s.PosWgsLLA.lat / kD, kLat, 1e-9);
  EXPECT_NEAR(s.PosWgsLLA.lon / kD, kLon, 1e-9);
  EXPECT_NEAR(s.PosWgsLLA.h, kH, 1e-4);
  // Base 30 m south, 40 m west and 1 m lower: the Earth's curvature lowers it by 50^2 / 2R more.
  ASSERT_NE(s.pBase, nullptr);
  EXPECT_NEAR(s.BaseWgsLLA.h, kH - 1.0 + 2500.0 / (2 * 6.39e6), 1e-4);
  EXPECT_EQ(s.bBaseLocValid, 1);
  // Heading, pitch and sigma of the stated baseline.
  EXPECT_EQ(s.bHeadingValid, 1);
  EXPECT_NEAR(s.heading, std::atan2(40.0, 30.0) / kD, 1e-6);
  EXPECT_NEAR(s.pitch, std::atan2(1.0, 50.0) / kD, 1e-6);
  EXPECT_NEAR(s.headingSigma, std::sqrt(0.0004) / 50.0 / kD, 1e-6);
  // Rotations keep traces: PDOP, GDOP, TDOP and the 3D sigmas need no axes.
  EXPECT_NEAR(s.dop[0], std::sqrt(3.4), 1e-5);
  EXPECT_NEAR(s.dop[1], std::sqrt(2.9), 1e-5);
  EXPECT_NEAR(s.dop[4] * s.dop[4] + s.dop[5] * s.dop[5], 2.9, 1e-5);
  EXPECT_NEAR(s.dop[6], std::sqrt(0.5), 1e-6);
  EXPECT_NEAR(s.posSigma[4], std::sqrt(0.0029), 1e-6);
  EXPECT_NEAR(s.velSigma[2], std::sqrt(0.0006), 1e-6);
  EXPECT_EQ(s.bVelValid, 1);
  EXPECT_EQ(s.knots, 0.0);
  EXPECT_EQ(s.solType, 4);
  EXPECT_EQ(s.sysInUse, 1);
  EXPECT_EQ(s.satCount[0][kSysGps], 8);
  EXPECT_EQ(s.satCount[1][kSysGps], 10);
  EXPECT_EQ(s.refStationId, 17);
  EXPECT_EQ(s.sysWord[kSysGps], 0xFFu);
  EXPECT_EQ(s.sysWord[kSysGlonass], 0xFFu);
  EXPECT_EQ(s.sysWord[kSysGalileo], 0u);

  // The other input has no RTK solution: its own one.
  EXPECT_EQ(rcvOut_Ant[1].sol.source, SOL_OUTPUT::kSrcNavSol);
  EXPECT_TRUE(rcvOut_Ant[1].sol.isPosValid());
  EXPECT_NEAR(rcvOut_Ant[1].sol.PosWgsXYZ.x, 4193000.0, 1e-9);
  // RcvOut is the main input's record.
  EXPECT_EQ(RcvOut.sol.source, SOL_OUTPUT::kSrcRtk);
  EXPECT_EQ(RcvOut.sol.PosWgsXYZ.x, s.PosWgsXYZ.x);
  EXPECT_EQ(RcvOut.sol.heading, s.heading);
  EXPECT_TRUE(RcvOut.sol.isPosValid());
}

}  // namespace
