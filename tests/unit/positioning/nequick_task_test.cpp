// Task NEQK for real: the ionosphere stage's thread asks for satellites one after the other
// while the task integrates; every satellite ends with its own value. Run once under
// ThreadSanitizer as well (a separate build) for the request and answer exchange.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "positioning/corrections/nequick_task.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/data_servers/pvt_data.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;

TEST(NeqkTask, EachSatelliteGetsItsOwnValueFromTheTask) {
  ASSERT_TRUE(neqkProcInit(30));
  ASSERT_TRUE(neqkProcInit(30)) << "a second start keeps the one task";
  NeModelEpochDataType e;
  e.calendar = GREGORIAN_EPOCH{2024, 7, 1, 1, 183, 10, 0, 0, 0.0};
  e.uDayOfYear = 183;
  e.lTimeS = 100;
  e.dLat = -30 * kDeg, e.dLon = 140 * kDeg, e.dHeight = 10;
  e.neQuick.fAi[0] = 80.0f;
  e.level = compute_NeQuickIonisationLevel(e.neQuick.fAi, e.dLat, e.dLon);
  NeModelProcessorType& p = NeModelProcessorInstance;
  p.set_EpochData(e);
  double tec[4];
  float got[4];
  for (int i = 0; i < 4; ++i) {
    const SvIdType sv{static_cast<std::uint8_t>(i), 0, 0, static_cast<std::uint8_t>(i)};
    const double lat = (-20.0 + 10 * i) * kDeg, lon = (130.0 + 7 * i) * kDeg, r = 26571e3;
    const double xyz[3] = {r * std::cos(lat) * std::cos(lon), r * std::cos(lat) * std::sin(lon), r * std::sin(lat)};
    p.set_RequestSatellite(sv);
    float c = 0, v = 0;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!p.compute_NeBasedIonoModelCorrection(kNeQuickRefFreqHz, kNeQuickRefFreqHz, xyz, kNeModelNeQuick, c, v)) {
      ASSERT_LT(std::chrono::steady_clock::now(), until) << "no answer from NEQK";
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    got[i] = c;
    tec[i] = -c * kNeQuickRefFreqHz * kNeQuickRefFreqHz / 40.364;
  }
  for (int i = 0; i < 4; ++i) {
    EXPECT_GT(tec[i], 1e16) << i;
    // Filed where the correction processor's ionosphere stage reads it.
    const IonoCacheEntryType& c = SatCorrProcessorInstance.work().neQuickCache[i];
    EXPECT_EQ(c.fCorrection, got[i]);
    EXPECT_EQ(c.lTimeSec, 100);
    EXPECT_EQ(SatCorrProcessorInstance.work().glonassCache[i].lTimeSec, -86400);
    for (int j = 0; j < i; ++j) EXPECT_NE(got[i], got[j]) << i << " " << j;
  }
  EXPECT_EQ(PVTDataInstance.neModel.putCount(), 4u);
  EXPECT_EQ(PVTDataInstance.neModelTec.putCount(), 4u);
}

}  // namespace
