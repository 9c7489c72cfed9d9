// The request road between the ionosphere stage and the NeQuick task, seen from outside: what is
// posted, what is filed where, and what the stage gets back. The task's side runs in the test's
// thread when the test says so.
#include <gtest/gtest.h>

#include <cmath>

#include "positioning/corrections/nequick_task.h"
#include "positioning/data_servers/pvt_servers.h"

namespace {

constexpr double kDeg = 3.14159265358979323846 / 180.0;
constexpr double kL1 = 1575.42e6, kL5 = 1176.45e6, kG1 = 1602.0e6;

// Earth-fixed position of a geodetic point on WGS 84 (the textbook closed form).
void toXyz(double latDeg, double lonDeg, double h, double xyz[3]) {
  const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
  const double lat = latDeg * kDeg, lon = lonDeg * kDeg;
  const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
  xyz[0] = (n + h) * std::cos(lat) * std::cos(lon);
  xyz[1] = (n + h) * std::cos(lat) * std::sin(lon);
  xyz[2] = (n * (1 - e2) + h) * std::sin(lat);
}

struct Sat {
  SvIdType sv;
  double xyz[3];
};

class NeRoad : public ::testing::Test {
 protected:
  NeModelDataServerType requests;
  NeModelTECServerType answers;
  NeModelProcessorType p{&requests, &answers};
  NeModelEpochDataType e;
  Sat A{{3, 0, 0, 3}, {}}, B{{7, 0, 0, 7}, {}}, C{{4, 2, 0, 4}, {}};
  SvIdType inRequest[3] = {A.sv, B.sv, C.sv};

  void SetUp() override {
    e.calendar = GREGORIAN_EPOCH{2024, 4, 15, 1, 106, 13, 20, 30, 0.0};
    e.uDayOfYear = 106;
    e.lTimeS = 5000;
    e.dLat = 40.0 * kDeg, e.dLon = 0.5 * kDeg, e.dHeight = 60.0;
    e.neQuick.fAi[0] = 120.0f, e.neQuick.bValid = 1;
    e.fGlonass[0] = 1.0f, e.fGlonass[1] = 10.0f, e.fGlonass[2] = 120.0f;
    e.level = compute_NeQuickIonisationLevel(e.neQuick.fAi, e.dLat, e.dLon);
    e.pRequestSv = inRequest;
    e.iRequestCount = 3;
    p.set_EpochData(e);
    toXyz(45.0, 5.0, 20200e3, A.xyz);
    toXyz(30.0, -10.0, 20200e3, B.xyz);
    toXyz(50.0, 20.0, 19100e3, C.xyz);
  }
  // Asked on the model's reference frequency unless said otherwise.
  bool ask(const Sat& s, int model, float& c, float& v, double f = 0) {
    if (f == 0) f = model == kNeModelGlonass ? kG1 : kL1;
    p.set_RequestSatellite(s.sv);
    return p.compute_NeBasedIonoModelCorrection(model == kNeModelNeQuick ? kL1 : kG1, f, s.xyz, model, c, v);
  }
  // The TEC the task gives for a satellite's request, computed apart.
  double tecOf(const Sat& s, int model) {
    CorrData::NeModelDataType r{};
    r.dAz = e.level.dAz, r.dAzr = e.level.dAzr, r.calendar = e.calendar, r.iModelType = model;
    r.uDayOfYear = e.uDayOfYear, r.neQuick = e.neQuick;
    for (int i = 0; i < 3; ++i) r.fGlonass[i] = e.fGlonass[i];
    r.dRcvLat = e.dLat, r.dRcvLon = e.dLon, r.dRcvHeight = e.dHeight;
    const double x = s.xyz[0], y = s.xyz[1], z = s.xyz[2];
    // Satellite latitude by Bowring's iteration, written here apart from the product's.
    const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f), pr = std::hypot(x, y);
    double lat = std::atan2(z, pr * (1 - e2)), h = 0;
    for (int i = 0; i < 10; ++i) {
      const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
      h = pr / std::cos(lat) - n;
      lat = std::atan2(z, pr * (1 - e2 * n / (n + h)));
    }
    r.dSatLat = lat, r.dSatLon = std::atan2(y, x), r.dSatHeight = h;
    return compute_NeModelSlantTEC(r);
  }
  static float corrOf(double tec, double fRef, double f) {
    return static_cast<float>(-40.364 * tec / (fRef * fRef) * (fRef / f) * (fRef / f));
  }
  const IonoCacheEntryType& cache(int model, const Sat& s) { return *p.get_CacheEntry(model, s.sv); }
};

// The request carries the epoch, both models, the receiver and the satellite's geodetic position.
TEST_F(NeRoad, RequestCarriesTheEpochModelsAndBothEnds) {
  float c, v;
  EXPECT_FALSE(ask(A, kNeModelNeQuick, c, v));
  CorrData::NeModelDataType r{};
  ASSERT_EQ(requests.Get(&r), 1);
  EXPECT_EQ(r.iModelType, kNeModelNeQuick);
  EXPECT_EQ(r.uUtHour, 13);
  EXPECT_EQ(r.calendar.minute, 20);
  EXPECT_EQ(r.uDayOfYear, 106);
  EXPECT_DOUBLE_EQ(r.dAz, e.level.dAz);
  EXPECT_DOUBLE_EQ(r.dAzr, e.level.dAzr);
  EXPECT_FLOAT_EQ(r.neQuick.fAi[0], 120.0f);
  EXPECT_FLOAT_EQ(r.fGlonass[2], 120.0f);
  EXPECT_DOUBLE_EQ(r.dRcvLat, e.dLat);
  EXPECT_NEAR(r.dSatLat, 45.0 * kDeg, 1e-7);
  EXPECT_NEAR(r.dSatLon, 5.0 * kDeg, 1e-12);
  EXPECT_NEAR(r.dSatHeight, 20200e3, 1e-3);
  EXPECT_EQ(r.uGloSolarSource, 0);
  // The setup word's value reaches the task whole: only 0 and 1 name a source.
  const struct {
    std::int32_t word;
    std::uint8_t sent;
  } rows[] = {{1, 1}, {2, 255}, {256, 255}, {257, 255}, {-1, 255}, {0, 0}};
  for (const auto& w : rows) {
    p.set_EpochData([&] { auto n = e; n.iGloSolarSource = w.word; return n; }());
    const double answer = 1e17;  // frees the road: the earlier request (taken here) is answered
    answers.Put(&answer);
    ask(A, kNeModelGlonass, c, v);
    ask(A, kNeModelGlonass, c, v);
    ASSERT_EQ(requests.Get(&r), 1) << w.word;
    EXPECT_EQ(r.uGloSolarSource, w.sent) << w.word;
  }
}

// Requests for A then B while A's answer is pending end in A's cache only, under A's time; B is
// asked for next and gets its own value.
TEST_F(NeRoad, AnAnswerIsFiledUnderTheSatelliteThatAskedForIt) {
  float c = 0, v = 0;
  EXPECT_FALSE(ask(A, kNeModelNeQuick, c, v));
  p.set_EpochData([&] { auto n = e; n.lTimeS = 5001; return n; }());
  EXPECT_FALSE(ask(B, kNeModelNeQuick, c, v));
  EXPECT_EQ(requests.putCount(), 1u) << "one request in flight at a time";
  p.compute_NeModelTEC();
  EXPECT_FALSE(ask(B, kNeModelNeQuick, c, v)) << "A's answer is not B's";
  const float wantA = corrOf(tecOf(A, kNeModelNeQuick), kL1, kL1);
  EXPECT_NEAR(cache(kNeModelNeQuick, A).fCorrection, wantA, 1e-5 * std::fabs(wantA));
  EXPECT_EQ(cache(kNeModelNeQuick, A).lTimeSec, 5000);
  EXPECT_EQ(cache(kNeModelNeQuick, A).bDone, 1);
  EXPECT_EQ(cache(kNeModelNeQuick, B).lTimeSec, kNeCacheEmptyTimeS);
  EXPECT_FALSE(ask(B, kNeModelNeQuick, c, v));
  EXPECT_EQ(requests.putCount(), 2u);
  p.compute_NeModelTEC();
  ASSERT_TRUE(ask(B, kNeModelNeQuick, c, v));
  const float wantB = corrOf(tecOf(B, kNeModelNeQuick), kL1, kL1);
  EXPECT_NEAR(c, wantB, 1e-5 * std::fabs(wantB));
  EXPECT_FLOAT_EQ(v, static_cast<float>(0.04 * double(c) * c));
  EXPECT_EQ(cache(kNeModelNeQuick, B).lTimeSec, 5001);
  EXPECT_NE(wantA, wantB);
}

// NeQuick and the GLONASS model share the road: alternating, neither files into the other's cache.
TEST_F(NeRoad, TheTwoModelsNeverCross) {
  float c, v;
  EXPECT_FALSE(ask(A, kNeModelNeQuick, c, v));
  p.compute_NeModelTEC();
  EXPECT_FALSE(ask(A, kNeModelGlonass, c, v));
  EXPECT_EQ(cache(kNeModelGlonass, A).lTimeSec, kNeCacheEmptyTimeS);
  const float wantNe = corrOf(tecOf(A, kNeModelNeQuick), kL1, kL1);
  EXPECT_NEAR(cache(kNeModelNeQuick, A).fCorrection, wantNe, 1e-5 * std::fabs(wantNe));
  EXPECT_FALSE(ask(A, kNeModelGlonass, c, v));
  p.compute_NeModelTEC();
  EXPECT_FALSE(ask(A, kNeModelNeQuick, c, v));
  const float wantGlo = corrOf(tecOf(A, kNeModelGlonass), kG1, kG1);
  EXPECT_NEAR(cache(kNeModelGlonass, A).fCorrection, wantGlo, 1e-5 * std::fabs(wantGlo));
  EXPECT_NEAR(cache(kNeModelNeQuick, A).fCorrection, wantNe, 1e-5 * std::fabs(wantNe));
  EXPECT_NE(wantNe, wantGlo);
}

// An answer whose satellite left the correction request is dropped; the road is free again.
TEST_F(NeRoad, AnAnswerForASatelliteGoneIsDropped) {
  float c, v;
  EXPECT_FALSE(ask(A, kNeModelNeQuick, c, v));
  p.compute_NeModelTEC();
  p.set_EpochData([&] { auto n = e; n.pRequestSv = inRequest + 1; n.iRequestCount = 2; return n; }());
  EXPECT_FALSE(ask(B, kNeModelNeQuick, c, v));
  EXPECT_EQ(cache(kNeModelNeQuick, A).lTimeSec, kNeCacheEmptyTimeS);
  EXPECT_FALSE(p.is_Pending());
  EXPECT_FALSE(ask(B, kNeModelNeQuick, c, v));
  EXPECT_TRUE(p.is_Pending());
  EXPECT_EQ(requests.putCount(), 2u);
}

// Delay I = 40.364 TEC / fRef^2, correction -I (fRef/f)^2, variance (0.2 I (fRef/f)^2)^2.
TEST_F(NeRoad, CorrectionAndVarianceScaleWithTheSignalFrequency) {
  const struct {
    int model;
    double f;
  } rows[] = {{kNeModelNeQuick, kL1}, {kNeModelNeQuick, kL5}, {kNeModelGlonass, kG1}, {kNeModelGlonass, 1246.0e6}};
  for (const auto& r : rows) {
    float c = 0, v = 0;
    EXPECT_FALSE(ask(C, r.model, c, v, r.f));
    p.compute_NeModelTEC();
    ASSERT_TRUE(ask(C, r.model, c, v, r.f)) << r.f;
    const double fRef = r.model == kNeModelNeQuick ? kL1 : kG1;
    const double iono = 40.364 * tecOf(C, r.model) / (fRef * fRef), k = fRef * fRef / (r.f * r.f);
    EXPECT_NEAR(c, -iono * k, 1e-5 * iono * k);
    EXPECT_NEAR(v, 0.04 * iono * iono * k * k, 1e-4 * 0.04 * iono * iono * k * k);
  }
}

// A cached value serves 599 s after its request, not 600, not before it was asked (a wrapped
// time tag); emptied entries and done marks.
TEST_F(NeRoad, CacheAgeEmptyingAndDoneMarks) {
  float c, v;
  ask(A, kNeModelNeQuick, c, v);
  p.compute_NeModelTEC();
  ASSERT_TRUE(ask(A, kNeModelNeQuick, c, v));
  const struct {
    std::int32_t now;
    bool ok;
  } rows[] = {{5000, true}, {5599, true}, {5600, false}, {4999, false}, {-86400, false}};
  for (const auto& r : rows) {
    float cc = 0, vv = 0;
    EXPECT_EQ(p.get_CachedCorrection(kNeModelNeQuick, A.sv, r.now, cc, vv), r.ok) << r.now;
    if (r.ok) { EXPECT_EQ(cc, c); }
  }
  EXPECT_FALSE(p.get_CachedCorrection(kNeModelGlonass, A.sv, 5000, c, v));
  p.clear_DoneMarks(kNeModelNeQuick);
  EXPECT_EQ(cache(kNeModelNeQuick, A).bDone, 0);
  EXPECT_TRUE(p.get_CachedCorrection(kNeModelNeQuick, A.sv, 5000, c, v)) << "clearing marks keeps values";
  p.reset_CacheEntry(kNeModelNeQuick, A.sv);
  EXPECT_EQ(cache(kNeModelNeQuick, A).lTimeSec, kNeCacheEmptyTimeS);
  EXPECT_EQ(cache(kNeModelNeQuick, A).fCorrection, 0.0f);
  EXPECT_EQ(p.get_CacheEntry(kNeModelNeQuick, SvIdType{40, 0, 0, 40}), nullptr) << "identity out of range";
  EXPECT_EQ(p.get_CacheEntry(3, A.sv), nullptr) << "not a density model";
}

// Nothing is posted for what cannot be integrated, and an answer that cannot be used (a ray
// through the Earth) frees the road without filing anything; a left-over answer with nothing
// pending is not taken for the next request's.
TEST_F(NeRoad, UnusableRequestsAndAnswers) {
  float c, v;
  const double zero[3] = {0, 0, 0};
  p.set_RequestSatellite(A.sv);
  EXPECT_FALSE(p.compute_NeBasedIonoModelCorrection(kL1, kL1, zero, kNeModelNeQuick, c, v));
  EXPECT_FALSE(p.compute_NeBasedIonoModelCorrection(kL1, kL1, A.xyz, 3, c, v));
  EXPECT_FALSE(p.compute_NeBasedIonoModelCorrection(kL1, 0.0, A.xyz, kNeModelNeQuick, c, v));
  p.set_RequestSatellite(SvIdType{});
  EXPECT_FALSE(p.compute_NeBasedIonoModelCorrection(kL1, kL1, A.xyz, kNeModelNeQuick, c, v));
  p.set_EpochData([&] { auto n = e; n.calendar.month = 0; return n; }());
  EXPECT_FALSE(ask(A, kNeModelNeQuick, c, v));
  EXPECT_EQ(requests.putCount(), 0u);
  EXPECT_FALSE(p.is_Pending());

  p.set_EpochData(e);
  Sat below{A.sv, {}};
  toXyz(-40.0, 180.0, 20200e3, below.xyz);
  EXPECT_FALSE(ask(below, kNeModelNeQuick, c, v));
  p.compute_NeModelTEC();
  EXPECT_FALSE(ask(below, kNeModelNeQuick, c, v));
  EXPECT_FALSE(p.is_Pending());
  EXPECT_EQ(cache(kNeModelNeQuick, A).lTimeSec, kNeCacheEmptyTimeS);

  const double stale = 1e17;
  answers.Put(&stale);
  EXPECT_FALSE(ask(B, kNeModelNeQuick, c, v));
  EXPECT_EQ(cache(kNeModelNeQuick, B).lTimeSec, kNeCacheEmptyTimeS);
  p.compute_NeModelTEC();
  ASSERT_TRUE(ask(B, kNeModelNeQuick, c, v));
  EXPECT_NEAR(c, corrOf(tecOf(B, kNeModelNeQuick), kL1, kL1), 1e-5 * std::fabs(c));
}

}  // namespace
