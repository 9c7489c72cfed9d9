// The LMS engine takes an initial position into the position server only when it is new and
// within the setup's height bounds.
#include "positioning/engine/lms_engine.h"

#include <gtest/gtest.h>

#include <cstring>

#include "positioning/engine/pvt_engine.h"
#include "settings/rcv_settings.h"

namespace {

NavTask::NAV_POS position(double h, std::uint8_t isNew) {
  NavTask::NAV_POS p{};
  // 50 N 10 E on the WGS 84 ellipsoid, then raised by h along the normal.
  const double lat = 50.0 * 3.14159265358979323846 / 180.0, lon = 10.0 * 3.14159265358979323846 / 180.0;
  const double a = 6378137.0, e2 = 6.69437999014e-3;
  const double n = a / std::sqrt(1.0 - e2 * std::sin(lat) * std::sin(lat));
  p.dXyz[0] = (n + h) * std::cos(lat) * std::cos(lon);
  p.dXyz[1] = (n + h) * std::cos(lat) * std::sin(lon);
  p.dXyz[2] = (n * (1.0 - e2) + h) * std::sin(lat);
  p.dBlh[0] = lat;
  p.dBlh[1] = lon;
  p.dBlh[2] = h;
  p.bNewPos = isNew;
  return p;
}

// The engine's height bounds, and the receiver's own position source (not a fixed position that
// would replace every one put).
void setBounds(double hMin, double hMax) {
  rcvSetDefaults(RcvSet);
  PosSetup::LMSEngineSetupType s;
  PosSetup::setDefaults(s);
  std::memcpy(s.aBytes + LMSEngine::kHeightMinOffset, &hMin, sizeof hMin);
  std::memcpy(s.aBytes + LMSEngine::kHeightMaxOffset, &hMax, sizeof hMax);
  PVTDataInstance.lmsEngineSetup.Put(&s);
}

TEST(LmsEngine, InitialPositionGoesToThePositionServerWithinTheBounds) {
  const struct {
    double h;
    std::uint8_t isNew;
    bool put;
    const char* why;
  } rows[] = {
      {200.0, 1, true, "new and within the bounds"},
      {200.0, 0, false, "not new"},
      {-600.0, 1, false, "below the lowest height"},
      {-499.0, 1, true, "just above it"},
      {9001.0, 1, false, "above the highest height"},
  };
  for (const auto& row : rows) {
    setBounds(-500.0, 9000.0);
    LMSEngine lms(&PVTDataInstance);
    PosData::PositionDataType none{};
    PVTDataInstance.position.Put(&none);
    PosData::PositionDataType got{};
    PVTDataInstance.position.Get(&got);
    EXPECT_EQ(lms.input_PositionData(position(row.h, row.isNew)), row.put) << row.why;
    const int had = PVTDataInstance.position.Get(&got);
    EXPECT_EQ(had != 0, row.put) << row.why;
    if (row.put) {
      EXPECT_DOUBLE_EQ(got.dHeight, row.h);
      EXPECT_EQ(got.bValid, 1);
    }
  }
}

TEST(LmsEngine, TheEngineHandsItsPositionOnThroughThePvtEngine) {
  setBounds(-6378136.3, 50000000.0);  // the factory bounds
  PVTEngineInstance.init_Object(&PVTDataInstance, nullptr);
  PVTEngineInstance.input_PositionData(position(120.0, 1));
  PosData::PositionDataType got{};
  ASSERT_EQ(PVTDataInstance.position.Get(&got), 1);
  EXPECT_DOUBLE_EQ(got.dHeight, 120.0);
}

}  // namespace
