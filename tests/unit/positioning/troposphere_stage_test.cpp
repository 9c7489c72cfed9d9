#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>

#include "navigation_data/store/sat_visibility.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/geoid/geoid_gps.h"
#include "positioning/corrections/troposphere_correction.h"

namespace {

constexpr double kDeg = M_PI / 180.0;

SvIdType si(int system, int index) {
  SvIdType sv;
  EXPECT_TRUE(svIdFromSiSlot(std::array<int, 7>{0, 32, 47, 83, 111, 118, 181}[system] + index, sv));
  return sv;
}

// The processor's work area as the earlier stages leave it: setups, position values, request.
struct Stage {
  SatelliteCorrectionProcessor& p = SatCorrProcessorInstance;
  SatCorrWorkArea& w = p.work();
  SatCorrectionDataServerType& server = PVTDataInstance.satCorrection;

  Stage() {
    PosSetup::setDefaults(w.corrSetup);
    w.request.position.dLat = 45.0 * kDeg;
    w.dOrthoHeight = 300.0;
    w.bCalendarValid = 1;
    w.uDayOfYear = 100;
    w.dVelFactor = 1.0;
    w.bCorrPresent = 0;
    w.request.uCount = 0;
  }
  void request(std::initializer_list<std::pair<SvIdType, float>> sats) {
    w.request.uCount = 0;
    for (const auto& [sv, elev] : sats) {
      CorrData::RequestSatDataType& q = w.request.sat[w.request.uCount++];
      q = CorrData::RequestSatDataType{};
      q.svId = sv;
      q.fElevation = elev;
    }
  }
  SatData::CorrectionDataType record(const SvIdType& sv) {
    SatData::CorrectionDataType r{};
    EXPECT_EQ(server.Take(&sv, &r), 1);
    return r;
  }
  bool has(const SvIdType& sv) {
    SatData::CorrectionDataType r{};
    return server.Take(&sv, &r) != 0;
  }
};

// Every requested satellite gets the model's values; other parts of its record stay.
TEST(TropoStage, PublishesEveryRequestedSatelliteAndKeepsOtherParts) {
  Stage st;
  const SvIdType gps3 = si(0, 3), glo5 = si(1, 5), gal10 = si(2, 10);
  SatData::CorrectionDataType withIono{};
  withIono.init();
  withIono.iono = {-2.5f, 0.3f, 1.2f, 1};
  st.server.Put(&gps3, &withIono);
  st.request({{gps3, 60.0f}, {glo5, 10.0f}, {gal10, -3.0f}});
  EXPECT_EQ(st.p.update_TropoCorrection(), 3);
  EXPECT_EQ(st.w.bCorrPresent, 1);
  for (const auto& [sv, elev] : {std::pair{gps3, 60.0}, {glo5, 10.0}, {gal10, 0.0}}) {
    float c, r, v;
    ASSERT_TRUE(TropoCorr::compute_SatTropo(st.w.tropo, 1.0, elev, c, r, v));
    const SatData::CorrectionDataType rec = st.record(sv);
    EXPECT_EQ(rec.tropo.bValid, 1);
    EXPECT_EQ(rec.tropo.fCorrection, c);
    EXPECT_EQ(rec.tropo.fRate, r);
    EXPECT_EQ(rec.tropo.fVariance, v);
    EXPECT_LT(c, -2.0f);
  }
  EXPECT_EQ(st.record(gps3).iono.bValid, 1);
  EXPECT_EQ(st.record(gps3).iono.fCorrection, -2.5f);
}

// A satellite that leaves the request loses its troposphere part, and only that.
TEST(TropoStage, SatelliteLeavingTheRequestLosesItsTroposphere) {
  Stage st;
  const SvIdType gps3 = si(0, 3), bds20 = si(5, 20);
  st.request({{gps3, 40.0f}, {bds20, 20.0f}});
  st.p.update_TropoCorrection();
  SatData::CorrectionDataType r = st.record(bds20);
  r.iono = {-1.0f, 0.1f, 1.1f, 1};
  st.server.Put(&bds20, &r);
  st.request({{gps3, 41.0f}});
  EXPECT_EQ(st.p.update_TropoCorrection(), 1);
  EXPECT_EQ(st.record(gps3).tropo.bValid, 1);
  EXPECT_EQ(st.record(bds20).tropo.bValid, 0);
  EXPECT_EQ(st.record(bds20).iono.bValid, 1);
}

// Nothing publishable (a 100 m delay): the satellite's earlier part goes, no record is created,
// and the epoch counts no troposphere correction.
TEST(TropoStage, UnpublishableCorrectionClearsTheOldPart) {
  Stage st;
  const SvIdType gps7 = si(0, 7), qzs2 = si(4, 2);
  st.request({{gps7, 30.0f}});
  st.p.update_TropoCorrection();
  ASSERT_EQ(st.record(gps7).tropo.bValid, 1);
  std::uint8_t on = 1;
  std::memcpy(st.w.corrSetup.aBytes + 304, &on, 1);
  PosSetup::MeteoDataType m = PosSetup::getMeteo(st.w.corrSetup);
  m.pressure = 43000.0;
  PosSetup::setMeteo(st.w.corrSetup, m);
  st.w.bCorrPresent = 0;
  st.request({{gps7, 30.0f}, {qzs2, 50.0f}});
  EXPECT_EQ(st.p.update_TropoCorrection(), 0);
  EXPECT_EQ(st.w.bCorrPresent, 0);
  EXPECT_EQ(st.record(gps7).tropo.bValid, 0);
  EXPECT_FALSE(st.has(qzs2));
}

// Above the model's altitude a zero correction is published with the variance kept; the rate
// term follows the velocity factor of the epoch.
TEST(TropoStage, HeightLimitsAndRateFactor) {
  Stage st;
  const SvIdType gal4 = si(2, 4);
  st.request({{gal4, 25.0f}});
  st.w.dOrthoHeight = 30000.0;
  st.p.update_TropoCorrection();
  SatData::CorrectionDataType r = st.record(gal4);
  EXPECT_EQ(r.tropo.bValid, 1);
  EXPECT_EQ(r.tropo.fCorrection, 0.0f);
  EXPECT_EQ(r.tropo.fRate, 0.0f);
  const double m = 1.001 / std::sqrt(0.002001 + std::pow(std::sin(25.0 * kDeg), 2));
  EXPECT_NEAR(r.tropo.fVariance, 0.0144 * m * m, 1e-6);
  st.w.dOrthoHeight = 500.0;
  st.w.dVelFactor = 2.0;
  st.p.update_TropoCorrection();
  const float rate2 = st.record(gal4).tropo.fRate;
  st.w.dVelFactor = 1.0;
  st.p.update_TropoCorrection();
  EXPECT_FLOAT_EQ(rate2, 2.0f * st.record(gal4).tropo.fRate);
  EXPECT_GT(st.record(gal4).tropo.fRate, 0.0f);  // the delay shrinks with height
}

// A whole epoch of the processor: the stage takes the orthometric height, the approximate day
// of the calendar epoch (152 without one) and the velocity record's factor.
TEST(TropoStage, RunsInTheProcessorsEpoch) {
  GeoidGPS::useBuiltIn();
  for (bool calendar : {true, false}) {
    SCOPED_TRACE(calendar);
    PVTDataType& d = PVTDataInstance;
    d.lmsEngineSetup.Init();
    d.satProcessorSetup.Init();
    d.corrProcessorSetup.Init();
    PosData::RcvTimeDataType t{};
    t.ulTimeTag = 1000;
    t.bCalendarValid = calendar ? 1 : 0;
    if (calendar) t.calendar = GREGORIAN_EPOCH{2010, 7, 1, 4, 182, 12, 0, 0, 0.0};
    d.rcvTime.Put(&t);
    PosData::PositionDataType p{};
    p.dLat = -35.0 * kDeg, p.dLon = 150.0 * kDeg, p.dHeight = 700.0;
    const double r = 6378137.0 + p.dHeight;
    p.dX = r * std::cos(p.dLat) * std::cos(p.dLon), p.dY = r * std::cos(p.dLat) * std::sin(p.dLon);
    p.dZ = r * std::sin(p.dLat);
    p.bValid = 1;
    d.position.Put(&p);
    PosData::VelocityDataType v{};
    v.bValid = 1;
    v.dSecondVector[2] = 0.5;
    d.velocity.Put(&v);
    const SvIdType gps9 = si(0, 9);
    SatData::SatVisibilityType vis{};
    vis.valid = 1;
    vis.elevation = 12.0f;
    vis.azimuth = 80.0f;
    vis.los[2] = 1.0;
    vis.almId = gps9;
    SatVisibilityStoreInstance.PutEph(gps9, &vis);

    SatCorrProcessorInstance.update(0);
    double geoid = 0.0;
    ASSERT_TRUE(GeoidGPS::getHeight(p.dLat, p.dLon, &geoid));
    EXPECT_GT(geoid, 15.0);  // the orthometric height differs from the ellipsoidal one
    PosSetup::CorrProcessorSetupType setup{};
    PosSetup::setDefaults(setup);
    TropoCorr::TropoEpochType e{};
    TropoCorr::prepare_TropoEpoch(setup, p.dLat, 700.0 - geoid, true, calendar ? 184 : 152, e);
    float c, rate, var;
    ASSERT_TRUE(TropoCorr::compute_SatTropo(e, 0.5, 12.0, c, rate, var));
    SatData::CorrectionDataType rec{};
    ASSERT_EQ(d.satCorrection.Take(&gps9, &rec), 1);
    EXPECT_EQ(rec.tropo.bValid, 1);
    EXPECT_EQ(rec.tropo.fCorrection, c);
    EXPECT_EQ(rec.tropo.fRate, rate);
    EXPECT_EQ(rec.tropo.fVariance, var);
    EXPECT_EQ(SatCorrProcessorInstance.work().bCorrPresent, 1);
  }
}

}  // namespace
