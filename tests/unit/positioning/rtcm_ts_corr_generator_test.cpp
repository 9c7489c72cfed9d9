#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "navigation_data/orbits/sat_polynom.h"
#include "positioning/corrections/rtcm_ts_corr_generator.h"
#include "positioning/data_servers/pvt_data.h"

namespace {

constexpr double kC = 299792458.0;

SvIdType sv(int sys, int number) {
  SvIdType s;
  EXPECT_TRUE(svIdFromSatNumber(sys, number, s));
  SvIdType si;
  EXPECT_TRUE(svIdFromSiNumber(sys, sys == kSysGlonass ? 1 : number, si));
  s.si = si.si;
  return s;
}

// The value among value_mm/1000 + j M nearest x, by search.
double nearest(double x, std::uint32_t mm, double M) {
  double best = 0, bestD = std::numeric_limits<double>::infinity();
  for (int j = -2000; j <= 2000; ++j) {
    const double y = mm * 0.001 + j * M;
    if (std::fabs(y - x) < bestD) bestD = std::fabs(y - x), best = y;
  }
  return best;
}

struct Ts {
  PVTDataType& D = PVTDataInstance;
  RtcmTSCorrGenerator gen{&PVTDataInstance};
  CorrData::CorrectionRequestType req{};
  SBASData::CorrectionRequestType R{};
  SvIdType g7 = sv(kSysGps, 7);

  explicit Ts(int nowMs = 400000) {
    req.rcvTime.gps.ulMs = req.rcvTime.glo.ulMs = req.rcvTime.gal.ulMs = static_cast<std::uint32_t>(nowMs);
    R.pRequest = &req;
    D.rtcmTsSatCorrection.Init();
    SatPolynomStoreInstance.Init();
  }
  void source(int id, int ageMs, int disabled = 0) {
    RTCMData::TSSourceStateDataType st;
    st.uId = static_cast<std::uint16_t>(id);
    st.bDisabled = static_cast<std::uint8_t>(disabled);
    RTCMData::set_TimeTag(st.ulTime, static_cast<int>(req.rcvTime.gps.ulMs) - ageMs);
    st.fSystemOffset[kSysGps] = 0.25f;
    D.rtcmTsSourceState.Put(&st);
  }
  void polynom(SvIdType s, int iod, double refTime, double offset, float drift) {
    SatData::PolynomSetType set{};
    set.entry[0].iod = static_cast<std::uint16_t>(iod);
    set.entry[1].iod = kPolyNoIod;
    set.entry[0].refTime = refTime;
    set.entry[0].clkOffset = offset;
    set.entry[0].clkDrift = drift;
    set.entry[0].span = 60.0f;
    set.entry[0].flags = kPolyFlagAlmChecked;
    ASSERT_TRUE(SatPolynomStoreInstance.Put(s, &set));
  }
  // Orbit set 0 of issue `iod` and clock buffer 0 of source `id`, both tagged at `tagMs`.
  void corr(SvIdType s, int id, int iod, int tagMs, std::uint32_t clockMm, float dx) {
    RTCMData::TSSatCorrectionType c;
    c.init();
    c.set_ReadyOrbitCorr(0);
    c.iIssue[0] = static_cast<std::int16_t>(iod);
    c.fOrbit[0][0] = dx;
    c.fOrbitRate[0][0] = 0.01f;
    RTCMData::set_TimeTag(c.ulOrbitTime[0], tagMs);
    c.set_ReadyClockCorr(id, 0);
    c.ulClock[0] = clockMm;
    RTCMData::set_TimeTag(c.ulClockTime[0], tagMs);
    c.fClockOffset = 0.125f;
    ASSERT_EQ(D.rtcmTsSatCorrection.Put(&s, &c), 1);
  }
  void sat(SvIdType s, int iod) {
    CorrData::RequestSatDataType& q = req.sat[req.uCount++];
    q = CorrData::RequestSatDataType{};
    q.svId = s;
    q.uIod = static_cast<std::uint16_t>(iod);
    q.dLos[0] = 0.6, q.dLos[1] = 0.0, q.dLos[2] = 0.8;
  }
};

}  // namespace

// For x at k M - 0.4 M .. k M + 0.4 M the rebuilt clock is the transmitted value nearest x.
TEST(RtcmTsClock, RebuiltClockIsTheTransmittedValueNearestTheBroadcastClock) {
  EXPECT_DOUBLE_EQ(RTCMData::get_TSClockModulus(kSysGps), 65.535);
  EXPECT_DOUBLE_EQ(RTCMData::get_TSClockModulus(kSysGlonass), 262.143);
  EXPECT_EQ(RTCMData::get_TSClockModulus(kSysGalileo), 0.0);
  int rows = 0;
  for (const double M : {65.535, 262.143}) {
    const std::uint32_t top = M == 65.535 ? RTCMData::kTSClockWrapGpsMm : RTCMData::kTSClockWrapGloMm;
    for (int k = -3; k <= 3; ++k)
      for (const double f : {-0.4, -0.1, 0.0, 0.1, 0.4})
        for (const std::uint32_t mm : {0u, 1u, 12345u, top / 2, top - 1}) {
          const double x = k * M + f * M + 0.0171;
          EXPECT_NEAR(RtcmTSCorrGenerator::rebuild_Clock(x, mm, M), nearest(x, mm, M), 1e-9)
              << "M " << M << " k " << k << " f " << f << " mm " << mm;
          ++rows;
        }
  }
  EXPECT_EQ(rows, 2 * 7 * 5 * 5);
}

// The source answers while its last message is at most 360 s old, it has an id and is enabled.
TEST(RtcmTsGenerator, SourceAgeIdAndDisabledFlag) {
  struct Row {
    const char* name;
    int id, ageMs, disabled, answers;
  } rows[] = {
      {"fresh", 3, 1000, 0, 1},       {"360 s", 3, 360000, 0, 1}, {"361 s", 3, 361000, 0, 0},
      {"disabled", 3, 1000, 1, 0},    {"no id", 65535, 1000, 0, 0},
  };
  for (const Row& r : rows) {
    Ts t;
    t.source(r.id, r.ageMs, r.disabled);
    t.gen.update(&t.R);
    EXPECT_EQ(t.R.uSourceCount, r.answers) << r.name;
    if (r.answers) {
      EXPECT_NEAR(t.R.source[0].fAge, r.ageMs * 0.001, 1e-6) << r.name;
    }
  }
}

// The broadcast clock is taken only within 180 s of its reference time; the published value is
// the orbit term minus the offsets, with the transmitted clock in place of the broadcast one; its
// rate is 0 and its variance (0.1 m)^2.
TEST(RtcmTsGenerator, ClockWindowValueRateAndVariance) {
  struct Row {
    double dt;
    int present;
  } rows[] = {{0.0, 1}, {179.0, 1}, {180.0, 1}, {-180.0, 1}, {181.0, 0}, {-181.0, 0}};
  for (const Row& r : rows) {
    Ts t;
    t.source(4, 2000);
    const int tagMs = 398000;
    const double ref = tagMs * 0.001 - r.dt;
    const double offset = 1.3e-4, drift = 2e-9;
    t.polynom(t.g7, 55, ref, offset, static_cast<float>(drift));
    t.corr(t.g7, 4, 55, tagMs, 40000, 1.5f);
    t.sat(t.g7, 55);
    t.gen.update(&t.R);
    ASSERT_EQ(t.R.uSourceCount, 1);
    const SBASData::BandCorrectionType& b = t.R.source[0].corr[0][0];
    EXPECT_EQ(b.bValid, r.present) << r.dt;
    EXPECT_EQ(t.R.source[0].corr[0][1].bValid, 0);
    if (!r.present) continue;
    const double x = (offset + static_cast<float>(drift) * r.dt) * kC;
    const double orbit = -(1.5 + 0.01f * 2.0) * 0.6;
    const double expect = orbit - 0.25 - 0.125 - x + nearest(x, 40000, 65.535);
    EXPECT_NEAR(b.fCorrection, expect, 2e-3) << r.dt;
    EXPECT_EQ(b.fRate, 0.0f);
    EXPECT_FLOAT_EQ(b.fVariance, 0.01f);
    EXPECT_NEAR(b.fAge, 2.0, 1e-6);
    EXPECT_EQ(b.uIssue, 55);
  }
}

// No answer without a polynomial of the same issue, for another source's clock, or for a
// system without a defined clock wrap; the entry to use follows the issue in use.
TEST(RtcmTsGenerator, MissingPiecesGiveNoCorrection) {
  struct Row {
    const char* name;
    int polyIod, clockSource, sys;
    int present;
  } rows[] = {
      {"complete", 9, 6, kSysGps, 1},
      {"other issue", 10, 6, kSysGps, 0},
      {"other source", 9, 5, kSysGps, 0},
      {"galileo", 9, 6, kSysGalileo, 0},
  };
  for (const Row& r : rows) {
    Ts t;
    t.source(6, 1000);
    const SvIdType s = sv(r.sys, 7);
    t.polynom(s, r.polyIod, 399.0, 0.0, 0.0f);
    t.corr(s, r.clockSource, 9, 399000, 100, 0.0f);
    t.sat(s, 9);
    t.gen.update(&t.R);
    EXPECT_EQ(t.R.source[0].corr[0][0].bValid, r.present) << r.name;
    EXPECT_EQ(t.R.source[0].uUseEntry[0], 0) << r.name;
  }
}
