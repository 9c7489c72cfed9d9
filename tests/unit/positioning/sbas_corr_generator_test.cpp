// The SBAS L1 generator's satellite part against RTCA DO-229D: its tables (A-6 sigma^2_UDRE,
// A-7 a_i, A-8 I_fc, A-16 delta-UDRE), the degradation terms of A.4.5 computed here from their
// published definitions, MT27/MT28 delta-UDRE and the variance rules of each mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_corr_generator.h"

namespace {

using G = SbasCorrGenerator;

TEST(SbasCorrTables, SigmaUdreSquaredIsDo229TableA6) {
  // sigma^2_UDRE (m^2) by UDREI 0..13.
  const double kDo229[14] = {0.0520, 0.0924, 0.1444, 0.2830, 0.4678, 0.8315, 1.2992,
                             1.8709, 2.5465, 3.3260, 5.1968, 20.7870, 230.9661, 2078.695};
  for (int i = 0; i < 14; ++i) {
    const double v = double(G::fTableSigmaUDRE[i]) * G::fTableSigmaUDRE[i];
    EXPECT_NEAR(v / kDo229[i], 1.0, 5e-4) << "UDREI " << i;
  }
}

TEST(SbasCorrTables, AiAndDeltaUdreAreDo229) {
  const double kAiMm[16] = {0, 0.05, 0.09, 0.12, 0.15, 0.20, 0.30, 0.45, 0.60, 0.90, 1.50, 2.10, 2.70, 3.30, 4.60, 5.80};
  const double kDelta[16] = {1, 1.1, 1.25, 1.5, 2, 3, 4, 5, 6, 8, 10, 20, 30, 40, 50, 100};
  for (int i = 0; i < 16; ++i) {
    EXPECT_NEAR(G::fTableAi[i] * 1000.0, kAiMm[i], 1e-6) << i;
    EXPECT_NEAR(G::fTableDeltaUDRE[i], kDelta[i], 1e-6) << i;
  }
}

TEST(SbasCorrTables, FastCorrectionTimeoutIntervalsAreDo229TableA8) {
  const double kEnRoute[16] = {180, 180, 153, 135, 135, 117, 99, 81, 63, 45, 45, 27, 27, 27, 18, 18};
  const double kPrecision[16] = {120, 120, 102, 90, 90, 78, 66, 54, 42, 30, 30, 18, 18, 18, 12, 12};
  for (std::uint32_t mode : {2u, 1u}) {
    PosSetup::CorrProcessorSetupType s;
    PosSetup::setDefaults(s);
    std::memcpy(s.aBytes + SBASData::kSetupSbasModeOffset, &mode, 4);
    SBASData::SatCorrectionType::set_DataTimeout(&s);
    for (int i = 0; i < 16; ++i)
      EXPECT_EQ(SBASData::SatCorrectionType::get_FastCorrTimeout(i), mode == 1 ? kPrecision[i] : kEnRoute[i])
          << "mode " << mode << " a_i " << i;
  }
  PosSetup::CorrProcessorSetupType s;
  PosSetup::setDefaults(s);
  SBASData::SatCorrectionType::set_DataTimeout(&s);
}

TEST(SbasCorrDegradation, FastCorrectionWithLatency) {
  struct Row {
    int ai;
    double age, lat, want;
  } rows[] = {{0, 10, 2, 0}, {5, 0, 0, 0}, {5, 10, 0, 0.0002 / 2 * 100}, {5, 10, 2, 0.0002 / 2 * 144},
              {15, 6, 4, 0.0058 / 2 * 100}, {16, 6, 4, 0}};
  for (const Row& r : rows) EXPECT_NEAR(G::get_FastCorrDegrad(r.ai, r.age, r.lat), r.want, 1e-7 * (1 + r.want)) << r.ai << " " << r.age;
}

TEST(SbasCorrDegradation, RangeRateByIssueOfData) {
  const double a = 0.0009, brrc = 0.04, ifc = 45, age = 6;
  struct Row {
    int iodf, prev;
    double dt, want;
  } rows[] = {
      {1, 0, 12, 0},                                   // consecutive
      {2, 1, 12, 0},                                   // consecutive
      {0, 2, 12, 0},                                   // consecutive across the wrap
      {2, 0, 12, (a * ifc / 4 + brrc / 12) * age},     // one skipped
      {1, 1, 12, (a * ifc / 4 + brrc / 12) * age},     // repeated issue
      {1, -1, 12, (a * ifc / 4 + brrc / 12) * age},   // previous issue unknown
      {3, 1, 12, (a * std::fabs(12 - ifc / 2) / 2 + brrc / 12) * age},  // alarm issue
      {1, 3, 30, (a * std::fabs(30 - ifc / 2) / 2 + brrc / 30) * age},
      {3, 3, 22.5, 0},                                 // dt = I_fc / 2
      {2, 0, 0, 0},                                    // same-second pair: no rate, no term
  };
  for (const Row& r : rows)
    EXPECT_NEAR(G::get_RateCorrDegrad(9, r.iodf, r.prev, r.dt, ifc, brrc, age), r.want, 1e-7 * (1 + r.want))
        << r.iodf << "/" << r.prev << " dt " << r.dt;
}

SBASData::DegradationDataType mt10() {
  SBASData::DegradationDataType d{};
  d.fBrrc = 0.04f;
  d.fCltcLsb = 0.2f;
  d.fCltcV1 = 0.003f;
  d.fIltcV1 = 120;
  d.fCltcV0 = 0.1f;
  d.fIltcV0 = 60;
  d.fCgeoLsb = 0.5f;
  d.fCgeoV = 0.002f;
  d.fIgeo = 240;
  d.fCer = 5;
  d.fCcovariance = 0.3f;
  return d;
}

TEST(SbasCorrDegradation, LongTermByVelocityCodeAndGeo) {
  const SBASData::DegradationDataType d = mt10();
  struct Row {
    int code;
    bool geo;
    double t, ageLong, want;
  } rows[] = {
      {1, false, 0, 0, 0},       {1, false, 60, 0, 0},      {1, false, 120, 0, 0},
      {1, false, 150, 0, 0.2f + 0.003f * 30}, {1, false, -20, 0, 0.2f + 0.003f * 20},
      {0, false, 0, 59.9, 0},    {0, false, 0, 60, 0.1f},   {0, false, 0, 185, 0.1f * 3},
      {0, true, 100, 0, 0},      {0, true, 300, 0, 0.5f + 0.002f * 60}, {1, true, -10, 0, 0.5f + 0.002f * 10},
  };
  for (const Row& r : rows)
    EXPECT_NEAR(G::get_LongCorrDegrad(r.code, r.geo, r.t, r.ageLong, d), r.want, 1e-6)
        << r.code << " geo " << r.geo << " t " << r.t << " age " << r.ageLong;
}

TEST(SbasCorrDeltaUdre, Mt28FromTheCovarianceMatrix) {
  SBASData::CovMatrixBlock c{};
  for (int e : {0, 4, 7, 9}) c.iE[e] = 1;
  const double los[3] = {0.6, 0.0, 0.8};
  for (int exp = 0; exp < 8; ++exp) {
    c.uScaleExp = static_cast<std::uint8_t>(exp);
    const double sf = std::ldexp(1.0, exp - 5);
    EXPECT_NEAR(G::get_DeltaUDRE(&c, los, 0.0), sf * std::sqrt(2.0), 1e-12) << exp;
    EXPECT_NEAR(G::get_DeltaUDRE(&c, los, 0.3), sf * std::sqrt(2.0) + 0.3 * sf, 1e-12) << exp;
  }
  // A full factor: C = R^T R formed explicitly, I^T C I with I = (-e, 1).
  const std::int16_t e[10] = {40, -3, 7, 12, 35, 5, -9, 30, 4, 50};
  std::memcpy(c.iE, e, sizeof e);
  c.uScaleExp = 3;
  double r[4][4] = {};
  for (int i = 0, k = 0; i < 4; ++i)
    for (int j = i; j < 4; ++j) r[i][j] = e[k++] * 0.25;
  double cov[4][4] = {};
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      for (int k = 0; k < 4; ++k) cov[i][j] += r[k][i] * r[k][j];
  const double v[4] = {-los[0], -los[1], -los[2], 1};
  double q = 0;
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) q += v[i] * cov[i][j] * v[j];
  EXPECT_NEAR(G::get_DeltaUDRE(&c, los, 0.0), std::sqrt(q), 1e-9);
  EXPECT_EQ(G::get_DeltaUDRE(nullptr, los, 0.0), 1.0);
}

SBASData::RegionServiceDataType region(int lat1, int lon1, int lat2, int lon2, int shape, int prio, int in, int out) {
  SBASData::RegionServiceDataType r{};
  r.init();
  r.bReady = static_cast<std::uint8_t>(1 | (3 << 1));  // source index 3
  SBASData::set_TimeTag(r.ulTime, 1000000);
  r.iLat1 = static_cast<std::int8_t>(lat1);
  r.iLat2 = static_cast<std::int8_t>(lat2);
  r.iLon1 = static_cast<std::int16_t>(lon1);
  r.iLon2 = static_cast<std::int16_t>(lon2);
  r.uShape = static_cast<std::uint8_t>(shape);
  r.uPriority = static_cast<std::uint8_t>(prio);
  r.uDeltaUdreIn = static_cast<std::uint8_t>(in);
  r.uDeltaUdreOut = static_cast<std::uint8_t>(out);
  return r;
}

TEST(SbasCorrDeltaUdre, PositionInsideRegion) {
  struct Row {
    SBASData::RegionServiceDataType r;
    double lat, lon;
    bool in;
  } rows[] = {
      {region(30, -10, 50, 20, 1, 0, 0, 0), 40, 0, true},
      {region(30, -10, 50, 20, 1, 0, 0, 0), 40, 25, false},
      {region(30, -10, 50, 20, 1, 0, 0, 0), 55, 0, false},
      {region(50, 20, 30, -10, 1, 0, 0, 0), 40, 0, true},      // corners in either order
      {region(10, 170, 20, -170, 1, 0, 0, 0), 15, 179, true},  // across 180
      {region(10, 170, 20, -170, 1, 0, 0, 0), 15, -175, true},
      {region(10, 170, 20, -170, 1, 0, 0, 0), 15, 0, false},
      // Triangle (0,0) (40,40) (0,40): below the diagonal.
      {region(0, 0, 40, 40, 0, 0, 0, 0), 10, 30, true},
      {region(0, 0, 40, 40, 0, 0, 0, 0), 30, 10, false},
      {region(0, 0, 40, 40, 0, 0, 0, 0), 20, 20, true},  // on an edge
      {region(0, 0, 40, 40, 0, 0, 0, 0), -1, 20, false},
  };
  for (const Row& r : rows)
    EXPECT_EQ(G::check_PositionInsideRegion(r.r, r.lat, r.lon), r.in) << r.lat << " " << r.lon;
}

TEST(SbasCorrDeltaUdre, Mt27NestedRegionsAndSets) {
  const int now = 1000500;
  SBASData::RegionServiceDataType recs[80];
  for (auto& r : recs) r.init();
  auto run = [&](double lat, double lon) { return G::select_RegionDeltaUDRE(recs, 80, 3, now, lat, lon); };
  EXPECT_EQ(run(40, 0), 1.0);  // no set
  recs[0] = region(0, -40, 60, 40, 1, 0, 4, 10);   // large, priority 0, 2.0 inside
  recs[1] = region(30, -10, 50, 20, 1, 1, 6, 10);  // nested, priority 1, 4.0
  recs[2] = region(35, -5, 45, 5, 1, 1, 3, 10);    // nested deeper, priority 1, 1.5
  recs[3] = region(35, -5, 45, 5, 1, 0, 0, 10);    // same place, priority 0, 1.0
  struct Row {
    double lat, lon, want;
  } rows[] = {{10, 30, 2.0}, {32, 15, 4.0}, {40, 0, 1.5}, {70, 0, 10.0}};
  for (const Row& r : rows) EXPECT_FLOAT_EQ(run(r.lat, r.lon), r.want) << r.lat << " " << r.lon;
  // Another source's record and a stale one do not count.
  recs[4] = region(-80, -90, 80, 90, 1, 3, 15, 10);
  recs[4].bReady = static_cast<std::uint8_t>(1 | (4 << 1));
  EXPECT_FLOAT_EQ(run(40, 0), 1.5);
  // The second set, newer, is used; unless it is incomplete and the first is complete.
  recs[40] = region(-80, -90, 80, 90, 1, 0, 9, 12);
  SBASData::set_TimeTag(recs[40].ulTime, 1000400);
  EXPECT_FLOAT_EQ(run(40, 0), 8.0);
  recs[40].uMessages = 1;
  EXPECT_FLOAT_EQ(run(40, 0), 1.5);
  recs[0].uMessages = 1;  // both incomplete: the newer
  EXPECT_FLOAT_EQ(run(40, 0), 8.0);
}

TEST(SbasCorrT0, PlacedWithinHalfADayOfNow) {
  struct Row {
    double now;
    int t0Units;
    double want;
  } rows[] = {
      {86400 + 3600, 225, 86400 + 3600},        // same time
      {86400 + 100, 5395, 86400 - 80},           // t0 late yesterday
      {2 * 86400 - 100, 10, 2 * 86400 + 160},    // t0 early tomorrow
      {100, 5395, 604800 - 80},                  // across the week
      {604800 - 100, 10, 160},
  };
  for (const Row& r : rows) {
    SBASData::LongCorrBlock b{};
    b.uT0 = static_cast<std::uint16_t>(r.t0Units);
    SBASData::TimeTag t = 0;
    SBASData::set_TimeTag(t, static_cast<int>(r.now * 1000));
    GetExtendedWaas_t0(&b, t);
    EXPECT_EQ(t >> 1, static_cast<std::uint32_t>(r.want * 1000)) << r.now << " " << r.t0Units;
  }
}

// A record of source 3 at 10 s of week, the parts named ready.
SBASData::SatCorrectionType record(int udrei, bool fast, bool rate, bool lt, float interval = 12) {
  SBASData::SatCorrectionType r{};
  r.init();
  const SvIdType src{3, kSysSbas, 0, 3};
  const int tag = 10000;
  r.set_ReadyUDREData(src);
  SBASData::set_TimeTag(r.ulUdreTime, tag);
  r.uUdrei = static_cast<std::uint8_t>(udrei);
  r.set_ReadyDegrData(src);
  SBASData::set_TimeTag(r.ulDegrTime, tag);
  r.uMt7Byte = 0x29;  // latency 2 s, a_i index 9
  if (fast) {
    r.set_ReadyFastCorr(src);
    SBASData::set_TimeTag(r.ulFastTime[0], tag);
    r.fPrc = 2.5f;
    r.uIodf = 1;
  }
  if (rate) {
    r.set_ReadyRateCorr(src);
    SBASData::set_TimeTag(r.ulRateTime, tag);
    r.fRrc = 0.01f;
    r.fPrcInterval = interval;
  }
  if (lt) {
    r.set_ReadyLongCorr(src);
    SBASData::set_TimeTag(r.ulLongTime, tag);
    r.longCorr[0].iDx = 8;    // 1 m
    r.longCorr[0].iDz = -16;  // -2 m
    r.longCorr[0].iDaf0 = 7;  // 7 x 2^-31 s
    r.longCorr[0].uIod = 77;
  }
  return r;
}

struct VarRow {
  const char* name;
  bool precision, withMt10;
  int rss;
  int udrei;
  bool fast, rate, lt;
  double mt27;
  SbasCorrGenerator::SatWorkType::Status status;
  double (*want)(double sigma);
};

TEST(SbasCorrSatellite, VarianceAndRefusalsByMode) {
  // 7.5 s after the tag less the reception offset: age 6.37 s.
  const int now = 17500;
  const double age = 7.5 - SBASData::kReceptionDelay;
  const SBASData::DegradationDataType d = mt10();
  const double efc = 0.0009 / 2 * (age + 2) * (age + 2);
  const double ifc = SBASData::SatCorrectionType::get_FastCorrTimeout(9);
  const double errc = (0.0009 * ifc / 4 + 0.04 / 12) * age;
  static double sEfc, sErrc;
  sEfc = efc;
  sErrc = errc;
  using S = SbasCorrGenerator::SatWorkType;
  const VarRow rows[] = {
      {"soft", false, false, 0, 5, true, true, true, -1, S::kOk, [](double s) { return s * s; }},
      {"soft without parts", false, false, 0, 5, false, false, false, -1, S::kOk, [](double s) { return s * s; }},
      {"precision no MT10", true, false, 0, 5, true, true, true, -1, S::kOk,
       [](double s) { return (s + 8) * (s + 8); }},
      {"precision no rate", true, false, 0, 5, true, false, true, -1, S::kOk, [](double) { return 3600.0; }},
      {"precision no fast", true, true, 0, 5, false, false, true, -1, S::kOk, [](double) { return 3600.0; }},
      {"precision no long-term", true, true, 0, 5, true, true, false, -1, S::kOk, [](double) { return 3600.0; }},
      {"precision MT10 RSS 0", true, true, 0, 5, true, true, true, -1, S::kOk,
       [](double s) { return (s + sEfc + sErrc) * (s + sEfc + sErrc); }},
      {"precision MT10 RSS 1", true, true, 1, 5, true, true, true, -1, S::kOk,
       [](double s) { return s * s + sEfc * sEfc + sErrc * sErrc; }},
      {"precision MT27 factor", true, false, 0, 5, true, true, true, 3.0, S::kOk,
       [](double s) { return (3 * s + 8) * (3 * s + 8); }},
      {"precision UDREI 11", true, false, 0, 11, true, true, true, -1, S::kOk,
       [](double s) { return (s + 8) * (s + 8); }},
      {"precision UDREI 12", true, false, 0, 12, true, true, true, -1, S::kDoNotUse, nullptr},
      {"soft UDREI 13", false, false, 0, 13, true, true, true, -1, S::kOk, [](double s) { return s * s; }},
      {"UDREI 14", false, false, 0, 14, true, true, true, -1, S::kNotMonitored, nullptr},
      {"UDREI 15", false, false, 0, 15, true, true, true, -1, S::kDoNotUse, nullptr},
  };
  CorrData::RequestSatDataType sat{};
  sat.dLos[0] = 0.6;
  sat.dLos[2] = 0.8;
  sat.svId = SvIdType{4, kSysGps, 0, 4};
  for (const VarRow& r : rows) {
    SbasCorrGenerator g(nullptr);
    g.set_IonoSource(0, SvIdType{3, kSysSbas, 0, 3}, now, r.precision, nullptr);
    SBASData::DegradationDataType dd = d;
    dd.uRssUdre = static_cast<std::uint8_t>(r.rss);
    g.set_SatMode(r.precision, r.withMt10 ? &dd : nullptr, false, r.mt27);
    S w;
    g.compute_SatCorrection(record(r.udrei, r.fast, r.rate, r.lt), sat, now, w);
    ASSERT_EQ(w.status, r.status) << r.name;
    if (r.want == nullptr) continue;
    const double sigma = (r.precision ? G::fTableSigmaUDRE : G::fTableSoftSigmaUDRE)[r.udrei];
    EXPECT_NEAR(w.band[0].dVariance, r.want(sigma), 1e-6 * r.want(sigma)) << r.name;
  }
}

TEST(SbasCorrSatellite, RangeCorrectionFastPlusLongTerm) {
  const int now = 17500;
  const double age = 7.5 - SBASData::kReceptionDelay;
  CorrData::RequestSatDataType sat{};
  sat.dLos[0] = 0.6;
  sat.dLos[2] = 0.8;
  sat.svId = SvIdType{4, kSysGps, 0, 4};
  // Interval 0 is the rate the decoder gives for a_i index 0: 0 m/s, present.
  struct Row {
    float interval;
    bool useRate;
    double prc;
  } rows[] = {{12, true, 2.5 + 0.01 * age}, {12, false, 2.5}, {0, true, 2.5}};
  for (const Row& r : rows) {
    SbasCorrGenerator g(nullptr);
    g.set_IonoSource(0, SvIdType{3, kSysSbas, 0, 3}, now, false, nullptr);
    g.set_SatMode(false, nullptr, false, -1, r.useRate);
    SbasCorrGenerator::SatWorkType w;
    SBASData::SatCorrectionType rec = record(5, true, true, true, r.interval);
    if (r.interval == 0) rec.fRrc = 0;
    g.compute_SatCorrection(rec, sat, now, w);
    ASSERT_EQ(w.status, SbasCorrGenerator::SatWorkType::kOk);
    EXPECT_NEAR(w.dPrc, r.prc, 1e-6) << r.interval << " " << r.useRate;
    EXPECT_EQ(w.bRate, r.useRate);
    const double clock = 299792448.0 * 7 * std::ldexp(1.0, -31);
    EXPECT_NEAR(w.band[0].dClock, clock, 1e-9);
    EXPECT_NEAR(w.band[0].dCorrection, r.prc + clock - (0.6 * 1 + 0.8 * -2), 1e-6);
    EXPECT_EQ(w.band[0].uIssue, 77);
    EXPECT_EQ(w.band[1].bValid, 0);
  }
  // Another source's record gives nothing.
  SbasCorrGenerator g(nullptr);
  g.set_IonoSource(0, SvIdType{5, kSysSbas, 0, 5}, now, false, nullptr);
  SbasCorrGenerator::SatWorkType w;
  g.compute_SatCorrection(record(5, true, true, true), sat, now, w);
  EXPECT_EQ(w.status, SbasCorrGenerator::SatWorkType::kNoRecord);
}

TEST(SbasCorrSatellite, GeoBlockWithVelocityCodeIsNotApplied) {
  const int now = 17500;
  CorrData::RequestSatDataType sat{};
  sat.svId = SvIdType{9, kSysSbas, 0, 9};
  SBASData::SatCorrectionType rec = record(5, true, false, true);
  rec.longCorr[0].uVelocityCode = 1;
  SbasCorrGenerator g(nullptr);
  g.set_IonoSource(0, SvIdType{3, kSysSbas, 0, 3}, now, false, nullptr);
  SbasCorrGenerator::SatWorkType w;
  g.compute_SatCorrection(rec, sat, now, w);
  EXPECT_EQ(w.band[0].bValid, 0);
  sat.svId = SvIdType{4, kSysGps, 0, 4};
  g.compute_SatCorrection(rec, sat, now, w);
  EXPECT_EQ(w.band[0].bValid, 1);
}

// eps_rrc from the IODFs of the two corrections the rate was formed from (the decoder keeps them
// with the rate): 0 for consecutive issues, DO-229's A.4.5.1.2 terms otherwise.
TEST(SbasCorrSatellite, RateDegradationFromTheIodfsOfItsPair) {
  const int now = 17500;
  const double age = 7.5 - SBASData::kReceptionDelay;
  const double a = 0.0009, brrc = 0.04, dt = 12, ifc = SBASData::SatCorrectionType::get_FastCorrTimeout(9);
  const double skipped = (a * ifc / 4 + brrc / dt) * age;
  struct Row {
    const char* name;
    int newer, older;
    double want;
  } rows[] = {
      {"consecutive", 1, 0, 0},
      {"consecutive across the wrap", 0, 2, 0},
      {"one skipped", 2, 0, skipped},
      {"repeated issue", 1, 1, skipped},
      {"pair unknown: the record's issue, no previous", 255, 255, skipped},
      {"alarm issue", 3, 1, (a * std::fabs(dt - ifc / 2) / 2 + brrc / dt) * age},
  };
  CorrData::RequestSatDataType sat{};
  sat.dLos[2] = 1.0;
  sat.svId = SvIdType{4, kSysGps, 0, 4};
  const SBASData::DegradationDataType d = mt10();
  for (const Row& r : rows) {
    SbasCorrGenerator g(nullptr);
    g.set_IonoSource(0, SvIdType{3, kSysSbas, 0, 3}, now, true, nullptr);
    g.set_SatMode(true, &d, false, -1);
    SBASData::SatCorrectionType rec = record(5, true, true, true);
    rec.uRateIodf[0] = static_cast<std::uint8_t>(r.newer);
    rec.uRateIodf[1] = static_cast<std::uint8_t>(r.older);
    SbasCorrGenerator::SatWorkType w;
    g.compute_SatCorrection(rec, sat, now, w);
    ASSERT_EQ(w.status, SbasCorrGenerator::SatWorkType::kOk) << r.name;
    EXPECT_NEAR(w.dEpsRrc, r.want, 1e-7 * (1 + r.want)) << r.name;
    const double s = G::fTableSigmaUDRE[5] + w.dEpsFc + r.want + w.band[0].dEpsLtc;
    EXPECT_NEAR(w.band[0].dVariance, s * s, 1e-6 * s * s) << r.name;
  }
}

// a_i index 0: the decoder gives the rate 0 with interval 0. It is a rate that is present, so a
// precision-mode band with it is complete; it adds no degradation.
TEST(SbasCorrSatellite, ZeroRateOfAiZeroCompletesAPrecisionBand) {
  const int now = 17500;
  CorrData::RequestSatDataType sat{};
  sat.dLos[2] = 1.0;
  sat.svId = SvIdType{4, kSysGps, 0, 4};
  const SBASData::DegradationDataType d = mt10();
  const double s = G::fTableSigmaUDRE[5];
  struct Row {
    const char* name;
    bool rateReady, mt10;
    double want;
  } rows[] = {
      {"rate 0 without MT10", true, false, (s + 8) * (s + 8)},
      {"rate 0 with MT10", true, true, s * s},
      {"no rate", false, false, 3600.0},
  };
  for (const Row& r : rows) {
    SbasCorrGenerator g(nullptr);
    g.set_IonoSource(0, SvIdType{3, kSysSbas, 0, 3}, now, true, nullptr);
    g.set_SatMode(true, r.mt10 ? &d : nullptr, false, -1);
    SBASData::SatCorrectionType rec = record(5, true, r.rateReady, true, 0);
    rec.uMt7Byte = 0x00;  // a_i index 0, no latency
    rec.fRrc = 0;
    SbasCorrGenerator::SatWorkType w;
    g.compute_SatCorrection(rec, sat, now, w);
    ASSERT_EQ(w.status, SbasCorrGenerator::SatWorkType::kOk) << r.name;
    EXPECT_EQ(w.bRate, r.rateReady ? 1 : 0) << r.name;
    EXPECT_EQ(w.dEpsRrc, 0.0) << r.name;
    EXPECT_NEAR(w.band[0].dVariance, r.want, 1e-6 * r.want) << r.name;
  }
}

// The broadcasting GEO's long-term degradation runs from the t0 of its navigation message (MT9,
// carried in its own block): 0 within [t0, t0 + I_geo], else C_geo_lsb + C_geo_v x the distance
// outside. Another GEO, or a GPS satellite, follows its block's velocity code (code 0 here, aged
// 6.37 s against I_ltc_v0 = 60 s: 0).
TEST(SbasCorrSatellite, GeoLongTermDegradationRunsFromItsNavigationT0) {
  const int now = 17500;  // 17.5 s into the week
  const SBASData::DegradationDataType d = mt10();  // C_geo_lsb 0.5, C_geo_v 0.002, I_geo 240
  const SvIdType source{3, kSysSbas, 0, 3};
  struct Row {
    const char* name;
    SvIdType sat;
    int t0Units;  // 16 s
    double want;
  } rows[] = {
      {"own, inside", source, 0, 0.0},
      {"own, 14.5 s before t0", source, 2, 0.5 + 0.002 * 14.5},
      {"own, t0 of the day before, 65.5 s past I_geo", source, 5382, 0.5 + 0.002 * 65.5},
      {"own, 33.5 s after t0 of the day before", source, 5399, 0.0},
      {"another GEO", SvIdType{4, kSysSbas, 0, 4}, 5382, 0.0},
      {"GPS satellite", SvIdType{3, kSysGps, 0, 3}, 5382, 0.0},
  };
  for (const Row& r : rows) {
    CorrData::RequestSatDataType sat{};
    sat.dLos[2] = 1.0;
    sat.svId = r.sat;
    SBASData::SatCorrectionType rec = record(5, true, true, true);
    rec.longCorr[0].uT0 = static_cast<std::uint16_t>(r.t0Units);
    SbasCorrGenerator g(nullptr);
    g.set_IonoSource(0, source, now, true, nullptr);
    g.set_SatMode(true, &d, false, -1);
    SbasCorrGenerator::SatWorkType w;
    g.compute_SatCorrection(rec, sat, now, w);
    ASSERT_EQ(w.status, SbasCorrGenerator::SatWorkType::kOk) << r.name;
    ASSERT_EQ(w.band[0].bValid, 1) << r.name;
    EXPECT_NEAR(w.band[0].dEpsLtc, r.want, 1e-6) << r.name;
  }
}

// A satellite whose UDRE data is not ready: the source lacks its data when its live masks name
// the satellite (or no mask is known), else the satellite is not in its mask.
TEST(SbasCorrSatellite, NotInTheMaskToldFromLackingData) {
  const int now = 17500;
  SBASData::SourceStateDataType masked;
  masked.uPrn = 123;
  masked.uSystem = kSysSbas;
  masked.uFlags = SBASData::SourceStateDataType::kMaskValid;
  masked.ulSatSet[kSysGps] = 1u << 4;
  masked.ulSatSet[kSysGlonass] = 1u << 20;  // orbital slot 21
  SBASData::SourceStateDataType stale = masked;
  stale.uFlags = 0;
  using S = SbasCorrGenerator::SatWorkType;
  struct Row {
    const char* name;
    const SBASData::SourceStateDataType* state;
    SvIdType sat;
    S::Status want;
  } rows[] = {
      {"named by the mask", &masked, SvIdType{4, kSysGps, 0, 4}, S::kLacksData},
      {"not named", &masked, SvIdType{5, kSysGps, 0, 5}, S::kNotInMask},
      {"GLONASS by its orbital slot", &masked, SvIdType{2, kSysGlonass, 0, 20}, S::kLacksData},
      {"GLONASS slot not named", &masked, SvIdType{20, kSysGlonass, 0, 2}, S::kNotInMask},
      {"BeiDou beyond any mask", &masked, SvIdType{40, kSysBeidou, 0, 40}, S::kNotInMask},
      {"mask no longer valid", &stale, SvIdType{5, kSysGps, 0, 5}, S::kLacksData},
      {"no source state", nullptr, SvIdType{5, kSysGps, 0, 5}, S::kLacksData},
  };
  for (const Row& r : rows) {
    SBASData::SatCorrectionType rec{};
    rec.init();
    rec.set_ReadyFastCorr(SvIdType{3, kSysSbas, 0, 3});
    SBASData::set_TimeTag(rec.ulFastTime[0], 10000);
    CorrData::RequestSatDataType sat{};
    sat.svId = r.sat;
    SbasCorrGenerator g(nullptr);
    g.set_IonoSource(0, SvIdType{3, kSysSbas, 0, 3}, now, false, nullptr);
    g.set_SourceMask(r.state);
    S w;
    g.compute_SatCorrection(rec, sat, now, w);
    EXPECT_EQ(w.status, r.want) << r.name;
  }
  // A new source forgets the mask of the last one.
  SBASData::SatCorrectionType rec{};
  rec.init();
  rec.set_ReadyFastCorr(SvIdType{3, kSysSbas, 0, 3});
  CorrData::RequestSatDataType sat{};
  sat.svId = SvIdType{5, kSysGps, 0, 5};
  SbasCorrGenerator g(nullptr);
  g.set_IonoSource(0, SvIdType{3, kSysSbas, 0, 3}, now, false, nullptr);
  g.set_SourceMask(&masked);
  g.set_IonoSource(0, SvIdType{3, kSysSbas, 0, 3}, now, false, nullptr);
  S w;
  g.compute_SatCorrection(rec, sat, now, w);
  EXPECT_EQ(w.status, S::kLacksData);
}

}  // namespace

// Each update first stretches the source-state time-out past the longest data time-out, so a
// source never ages out before the records it vouches for.
TEST(SbasCorrTimeout, UpdateStretchesTheSourceStatePastEveryDataTimeout) {
  using S = SBASData::SatCorrectionType;
  SBASData::SourceStateDataType::set_SourceStateDataTimeout(1.0f);
  SBASData::CorrectionRequestType req{};
  SbasCorrGeneratorInstance.update(&req);
  double most = std::max({S::get_PrnMaskTimeout(), S::get_UDREDataTimeout(), S::get_LongCorrTimeout(),
                          S::get_MtrxDataTimeout(), S::get_DegrDataTimeout(),
                          SBASData::IonoCorrectionType::get_GridDataTimeout(),
                          SBASData::IonoCorrectionType::get_IonoCorrTimeout(),
                          SBASData::DegradationDataType::get_DegradDataTimeout(),
                          SBASData::RegionServiceDataType::get_RegionDataTimeout()});
  for (int i = 0; i < SBASData::kFastCorrTimeouts; ++i) most = std::max(most, S::get_FastCorrTimeout(i));
  EXPECT_DOUBLE_EQ(SBASData::SourceStateDataType::get_SourceStateDataTimeout(), static_cast<float>(most + 60.0));
}
