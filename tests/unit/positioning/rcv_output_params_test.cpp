// Output values of an epoch: solution choice, accuracy in local axes against an independent
// rotation and eigen-decomposition, course, speed and magnetic course, RTK satellite marking.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

#include "navigation_data/sv_id.h"
#include "platform/mono_clock.h"
#include "geodesy_oracle.h"
#include "positioning/chan_data.h"
#include "positioning/geodesy/magvar.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/nav_main.h"
#include "positioning/geoid/geoid_gps.h"
#include "unit/positioning/geoid_test_access.h"
#include "positioning/rcv_output.h"
#include "positioning/rcv_output_base_moving.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"

namespace {
constexpr double kA = 6378137.0, kF = 1 / 298.257223563, kE2 = kF * (2 - kF);
constexpr double kD = M_PI / 180.0;

// Earth-centred position of (lat, lon, h) and the local unit vectors, built from the ellipsoid
// normal and cross products (not from the closed-form rows the code uses).
struct Frame {
  double x[3], n[3], e[3], u[3];
};
Frame frameAt(double latDeg, double lonDeg, double h) {
  const double la = latDeg * kD, lo = lonDeg * kD;
  const double N = kA / std::sqrt(1 - kE2 * std::sin(la) * std::sin(la));
  Frame f{};
  f.x[0] = (N + h) * std::cos(la) * std::cos(lo);
  f.x[1] = (N + h) * std::cos(la) * std::sin(lo);
  f.x[2] = (N * (1 - kE2) + h) * std::sin(la);
  f.u[0] = std::cos(la) * std::cos(lo), f.u[1] = std::cos(la) * std::sin(lo), f.u[2] = std::sin(la);
  const double z[3] = {0, 0, 1};
  double ex[3] = {z[1] * f.u[2] - z[2] * f.u[1], z[2] * f.u[0] - z[0] * f.u[2], z[0] * f.u[1] - z[1] * f.u[0]};
  const double m = std::hypot(ex[0], ex[1], ex[2]);
  for (int i = 0; i < 3; ++i) f.e[i] = ex[i] / m;
  f.n[0] = f.u[1] * f.e[2] - f.u[2] * f.e[1];
  f.n[1] = f.u[2] * f.e[0] - f.u[0] * f.e[2];
  f.n[2] = f.u[0] * f.e[1] - f.u[1] * f.e[0];
  return f;
}
// A covariance built in local axes (N, E, U variances, NE covariance), taken to Earth-centred.
void localToEcef(const Frame& f, double vn, double ve, double vu, double cne, double out[6]) {
  const double L[3][3] = {{vn, cne, 0}, {cne, ve, 0}, {0, 0, vu}};
  const double* ax[3] = {f.n, f.e, f.u};
  double c[3][3] = {};
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      for (int a = 0; a < 3; ++a)
        for (int b = 0; b < 3; ++b) c[i][j] += ax[a][i] * L[a][b] * ax[b][j];
  const double u[6] = {c[0][0], c[0][1], c[0][2], c[1][1], c[1][2], c[2][2]};
  std::memcpy(out, u, sizeof u);
}
// Major eigenvalue and its direction from north by power iteration; minor = trace - major.
void eig2(double a, double b, double c, double* major, double* minor, double* orientDeg) {
  double v[2] = {1.0, 0.37};
  for (int k = 0; k < 2000; ++k) {
    const double w[2] = {a * v[0] + b * v[1], b * v[0] + c * v[1]};
    const double m = std::hypot(w[0], w[1]);
    if (m == 0) break;
    v[0] = w[0] / m, v[1] = w[1] / m;
  }
  *major = a * v[0] * v[0] + 2 * b * v[0] * v[1] + c * v[1] * v[1];
  *minor = a + c - *major;
  double o = std::atan2(v[1], v[0]) / kD;
  if (o < 0) o += 180;
  if (o >= 180) o -= 180;
  *orientDeg = o;
}

class RcvOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    NavTask::DATUM_IN_USE w{};
    ASSERT_TRUE(assignDatum("W84", &w));
    std::memcpy(NavSet.datum, &w, sizeof w);
    RcvSet.midPointOut = 0;
    RcvSet.codeSolAllowed = 0;
    tPosMode = 0;
    sol = NavTask::NAV_SOL{};
    rtk = RTK_SOL{};
    out = RCV_OUTPUT{};
    out.pNavSol = &sol;
    out.pRtkSol = &rtk;
    for (ChanData& c : Cdat) c.bDataPresent = 0;
    magVar.compTime = MonoClock::sec() - 100;  // stale
    PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
    e->pNavSol = nullptr;  // no board solution of this test's
    e->board.bSolAln = 0;
    e->board.solAln = BoardSolAlnType{};
    PVTDataInstance.epochData.FreePointer(e);
  }
  // The board's standalone solution in the epoch record, as the one of `sol`.
  BoardSolAlnType& board() {
    PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
    e->pNavSol = &sol;
    e->board.bSolAln = 1;
    PVTDataInstance.epochData.FreePointer(e);
    return e->board.solAln;
  }
  void ownAt(const Frame& f) {
    for (int i = 0; i < 3; ++i) sol.pos.dXyz[i] = f.x[i];
    sol.pos.bValid = 1;
    sol.status = 0;
    out.bSolPresent = 1;
  }
  void rtkAt(const Frame& f, int state) {
    for (int i = 0; i < 3; ++i) rtk.rover[i] = f.x[i], rtk.base[i] = f.x[i] - 100.0 * f.n[i];
    for (int i = 0; i < 3; ++i) rtk.baseline[i] = 100.0 * f.n[i];
    rtk.state = state;
    rtk.bPosKnown = 1;
    rtk.posCov[0] = rtk.posCov[3] = rtk.posCov[5] = 1e-4;
    rtk.cof[0] = rtk.cof[4] = rtk.cof[7] = rtk.cof[9] = 1.0;
    out.bRtkAvail = 1;
  }
  NavTask::NAV_SOL sol;
  RTK_SOL rtk;
  RCV_OUTPUT out;
};

TEST(RcvOutputTable, SolutionTypeOfRtkState) {
  const int want[8] = {-1, 3, 4, 5, 7, 8, 9, -1};
  for (int s = 0; s < 8; ++s) EXPECT_EQ(rtkSolType(s), want[s]) << s;
  EXPECT_EQ(rtkSolType(-1), -1);
}

TEST(RcvOutputTable, RtkSatelliteIndexAndRanges) {
  struct Row {
    int sys, sv, idx;
  } rows[] = {{kSysGps, 1, 1},      {kSysGps, 32, 32},      {kSysGps, 0, 0},        {kSysGps, 33, 0},
              {kSysGlonass, -7, 33}, {kSysGlonass, 7, 47},   {kSysGlonass, -8, 0},   {kSysGlonass, 8, 0},
              {kSysGalileo, 1, 48},  {kSysGalileo, 36, 83},  {kSysGalileo, 37, 0},   {kSysSbas, 120, 84},
              {kSysSbas, 147, 111},  {kSysSbas, 119, 0},     {kSysSbas, 148, 0},     {kSysQzss, 193, 112},
              {kSysQzss, 199, 118},  {kSysQzss, 200, 0},     {kSysBeidou, 1, 119},   {kSysBeidou, 63, 181},
              {kSysBeidou, 64, 0},   {kSysNavic, 1, 182},    {kSysNavic, 14, 195},   {kSysNavic, 15, 0},
              {7, 1, 0},             {-1, 1, 0}};
  for (const Row& r : rows) EXPECT_EQ(rtkSatIndex(r.sys, r.sv), r.idx) << r.sys << " " << r.sv;
}

TEST(RcvOutputTable, EllipseAgainstEigenDecomposition) {
  struct Row {
    double vn, ve, cne;
  } rows[] = {{4, 1, 0}, {1, 4, 0}, {2, 2, 1}, {2, 2, -1}, {3, 1, 0.5}, {1, 3, -0.7}, {1e-6, 2e-6, 1e-7}};
  for (const Row& r : rows) {
    float a, b, o;
    getEllipsParams(r.vn, r.ve, r.cne, &a, &b, &o);
    double M, m, od;
    eig2(r.vn, r.cne, r.ve, &M, &m, &od);
    EXPECT_NEAR(a, std::sqrt(M), 1e-5 * std::sqrt(M)) << r.vn;
    EXPECT_NEAR(b, std::sqrt(m), 1e-4 * std::sqrt(M)) << r.vn;
    EXPECT_NEAR(o, od, 1e-3) << r.vn << " " << r.ve << " " << r.cne;
    EXPECT_GE(o, 0.0f);
    EXPECT_LT(o, 180.0f);
  }
}

TEST(RcvOutputTable, EllipseOfSingularCovarianceHasNoNaN) {
  struct Row {
    double vn, ve, cne;
  } rows[] = {{1, 1, 1}, {0.3, 0.7, std::sqrt(0.21)}, {2.5, 2.5, 0}, {0, 0, 0}, {1e-9, 1e-9, 1e-9}};
  for (const Row& r : rows) {
    float a, b, o;
    getEllipsParams(r.vn, r.ve, r.cne, &a, &b, &o);
    EXPECT_FALSE(std::isnan(a) || std::isnan(b) || std::isnan(o)) << r.vn;
    EXPECT_NEAR(b, r.cne == 0 ? std::sqrt(r.vn) : 0.0, 1e-3 * (std::sqrt(r.vn + r.ve) + 1e-9)) << r.vn;
  }
}

TEST_F(RcvOutputTest, RtkStatesGiveTypesOrNoOutput) {
  const Frame f = frameAt(45, 10, 100);
  const int want[8] = {-1, 3, 4, 5, 7, 8, 9, -1};
  for (int s = 0; s < 8; ++s) {
    SetUp();
    rtkAt(f, s);
    out.computeParams();
    EXPECT_EQ(out.sol.bOutPos, want[s] > 0) << s;
    EXPECT_EQ(out.sol.source, SOL_OUTPUT::kSrcRtk);
    if (want[s] > 0) {
      EXPECT_EQ(out.sol.solType, want[s]);
      EXPECT_TRUE(out.sol.isPosValid());
      EXPECT_NEAR(out.sol.PosWgsXYZ.x, f.x[0], 1e-6);
      EXPECT_NEAR(out.sol.PosWgsLLA.lat / kD, 45, 1e-9);
      EXPECT_NEAR(out.sol.PosWgsLLA.h, 100, 1e-4);
      ASSERT_NE(out.sol.pBase, nullptr);
    }
  }
}

TEST_F(RcvOutputTest, MidPointOnlyForHeadingSolution) {
  const Frame f = frameAt(30, -60, 0);
  struct Row {
    int state, mode, heading;
    bool rtkOut;
  } rows[] = {{2, 4, 1, true}, {1, 4, 1, false}, {2, 3, 1, false}, {2, 4, 0, false}};
  for (const Row& r : rows) {
    SetUp();
    RcvSet.midPointOut = 1;
    rtkAt(f, r.state);
    rtk.mode = static_cast<std::uint8_t>(r.mode);
    out.bHeadingAvail = static_cast<std::uint8_t>(r.heading);
    out.computeParams();
    EXPECT_EQ(out.sol.source == SOL_OUTPUT::kSrcRtk, r.rtkOut) << r.state << r.mode << r.heading;
    if (r.rtkOut) {
      for (int i = 0; i < 3; ++i) EXPECT_NEAR((&out.sol.PosWgsXYZ.x)[i], f.x[i] + 50.0 * f.n[i], 1e-6);
    } else {
      EXPECT_EQ(out.sol.bOutPos, 0);  // no own solution present either
    }
  }
}

TEST_F(RcvOutputTest, OwnSolutionOrNone) {
  const Frame f = frameAt(0, 0, 0);
  struct Row {
    int present, usable, posMode;
    bool allowCode, out;
  } rows[] = {{1, 1, 0, false, true},  {1, 0, 0, false, true},  {1, 0, 4, false, false},
              {1, 0, 4, true, true},   {1, 1, 5, false, true},  {0, 1, 0, false, false}};
  for (const Row& r : rows) {
    SetUp();
    ownAt(f);
    sol.pos.bValid = static_cast<std::uint8_t>(r.usable);
    out.bSolPresent = static_cast<std::uint8_t>(r.present);
    tPosMode = r.posMode;
    RcvSet.codeSolAllowed = r.allowCode;
    sol.pos.uNavMode = 2;
    out.computeParams();
    EXPECT_EQ(out.sol.isPosValid(), r.out) << r.present << r.usable << r.posMode;
    if (r.out) {
      EXPECT_EQ(out.sol.source, SOL_OUTPUT::kSrcNavSol);
      EXPECT_EQ(out.sol.solType, 2);
      EXPECT_EQ(sol.status, 0);
    } else {
      EXPECT_EQ(out.sol.source, SOL_OUTPUT::kSrcEpoch);
      EXPECT_EQ(out.sol.bOutPos, 0);
      EXPECT_EQ(out.sol.bPosValid, 0);
      EXPECT_EQ(out.sol.bVelValid, 0);
      EXPECT_EQ(PosAge, MonoClock::sec());
      EXPECT_EQ(sol.status, r.present ? 7 : 0);
    }
  }
}

TEST_F(RcvOutputTest, DopsSigmasEllipseInLocalAxes) {
  for (double lat : {0.0, 45.0, 89.0}) {
    SetUp();
    const Frame f = frameAt(lat, 25, 50);
    rtkAt(f, 4);
    const double vn = 0.09, ve = 0.04, vu = 0.25, cne = 0.03;
    localToEcef(f, vn, ve, vu, cne, rtk.posCov);
    localToEcef(f, 0.01, 0.02, 0.05, 0.0, rtk.velCov);
    rtk.bVelPresent = 1;
    double q[6];
    localToEcef(f, 1.5, 0.8, 2.2, 0.1, q);
    const double cof[10] = {q[0], q[1], q[2], 0, q[3], q[4], 0, q[5], 0, 0.6};
    std::memcpy(rtk.cof, cof, sizeof cof);
    out.computeParams();
    const SOL_OUTPUT& s = out.sol;
    const float wantDop[7] = {std::sqrt(5.1f), std::sqrt(4.5f), std::sqrt(1.5f), std::sqrt(0.8f),
                              std::sqrt(2.3f), std::sqrt(2.2f), std::sqrt(0.6f)};
    for (int k = 0; k < 7; ++k) EXPECT_NEAR(s.dop[k], wantDop[k], 1e-5) << lat << " dop " << k;
    const double wantSig[5] = {std::sqrt(vn), std::sqrt(ve), std::sqrt(vn + ve), std::sqrt(vu), std::sqrt(vn + ve + vu)};
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(s.posSigma[k], wantSig[k], 1e-5) << lat << " sigma " << k;
    EXPECT_NEAR(s.velSigma[0], std::sqrt(0.03), 1e-5);
    EXPECT_NEAR(s.velSigma[1], std::sqrt(0.05), 1e-5);
    EXPECT_NEAR(s.velSigma[2], std::sqrt(0.08), 1e-5);
    double M, m, o;
    eig2(vn, cne, ve, &M, &m, &o);
    EXPECT_TRUE(s.bEllValid);
    EXPECT_NEAR(s.ellMajor, std::sqrt(M), 1e-5) << lat;
    EXPECT_NEAR(s.ellMinor, std::sqrt(m), 1e-5) << lat;
    EXPECT_NEAR(s.ellOrient, o, 1e-3) << lat;
  }
}

std::uint32_t floatWord(float f) {
  std::uint32_t w;
  std::memcpy(&w, &f, sizeof w);
  return w;
}

// The own solution's standard deviations and error ellipse come with the navigation solution
// (north, east, horizontal, up, 3D, then the north-east covariance), its velocity's from the
// board's second accuracy block (horizontal, vertical, 3D, a further value and a word); the
// ellipse against an eigen-decomposition. Sigmas without their flag, or a board record that is
// not this solution's, give none of their values.
TEST_F(RcvOutputTest, OwnSolutionAccuracyFromTheBoardsAccuracyBlocks) {
  const struct { double sn, se, cne; bool flag, mine; } rows[] = {
      {1.0, 2.0, 0.5, true, true}, {2.0, 1.0, -0.8, true, true}, {1.5, 1.5, 0.0, true, true},
      {0.3, 0.4, 0.1, false, true}, {0.3, 0.4, 0.1, true, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(&r - rows);
    SetUp();
    ownAt(frameAt(45, -120, 10));
    BoardSolAlnType& b = board();
    const float pos[6] = {float(r.sn), float(r.se), float(std::hypot(r.sn, r.se)), 3.0f, 4.0f, float(r.cne)};
    for (int i = 0; i < 6; ++i) sol.pos.ulSigma[i] = floatWord(pos[i]);
    sol.pos.bSigmaValid = r.flag;
    const float vel[4] = {0.05f, 0.08f, 0.09f, 7.5f};
    for (int i = 0; i < 4; ++i) b.acc1224[1].ulWord[i] = floatWord(vel[i]);
    b.acc1224[1].ulWord[4] = 0xC0FFEE;
    b.acc1224[1].uFlag = 1;
    if (!r.mine) {
      NavTask::NAV_SOL other;
      PVTDataInstance.epochData.GetPointer()->pNavSol = &other;
      out.computeParams();
      PVTDataInstance.epochData.GetPointer()->pNavSol = nullptr;
    } else {
      out.computeParams();
    }
    const SOL_OUTPUT& o = out.sol;
    ASSERT_TRUE(o.isPosValid());
    const bool have = r.flag;
    EXPECT_EQ(o.bEllValid, have ? 1 : 0);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(o.posSigma[i], have ? pos[i] : 0.0f) << "position sigma " << i;
    for (int i = 0; i < 3; ++i) EXPECT_EQ(o.velSigma[i], r.mine ? vel[i] : 0.0f) << "velocity sigma " << i;
    EXPECT_EQ(o.fExtra, r.mine ? 7.5f : 0.0f);
    EXPECT_EQ(o.ulExtra, r.mine ? 0xC0FFEEu : 0u);
    if (!have) continue;
    double M, m, orient;
    eig2(double(pos[0]) * pos[0], pos[5], double(pos[1]) * pos[1], &M, &m, &orient);
    EXPECT_NEAR(o.ellMajor, std::sqrt(M), 1e-5);
    EXPECT_NEAR(o.ellMinor, std::sqrt(m), 1e-4);
    if (M - m > 1e-6) {
      EXPECT_NEAR(o.ellOrient, orient, 1e-3);
    }
  }
  SetUp();
  ownAt(frameAt(10, 10, 0));
  out.sol.sysWord[0] = 0xABCD;  // an RTK epoch before
  out.computeParams();
  EXPECT_TRUE(out.sol.isPosValid());
  EXPECT_FALSE(out.sol.bEllValid);
  EXPECT_EQ(out.sol.sysWord[0], 0u);
}

// The navigation solution's seven accuracy values are the record's dilutions G, P, N, E, H, V, T,
// copied whether or not a solution goes out; without them, or for a value that is no number, 0.
TEST_F(RcvOutputTest, OwnDopsAreTheNavigationSolutionsSevenValues) {
  const float dops[7] = {2.1f, 1.8f, 0.9f, 0.8f, 1.2f, 1.4f, 1.0f};
  const struct { bool acc, present; int nanAt; } rows[] = {
      {true, true, -1}, {true, false, -1}, {false, true, -1}, {true, true, 4}};
  for (const auto& r : rows) {
    SCOPED_TRACE(&r - rows);
    SetUp();
    ownAt(frameAt(30, 20, 0));
    out.bSolPresent = r.present;
    for (int k = 0; k < 7; ++k) sol.pos.ulAcc[k] = floatWord(k == r.nanAt ? NAN : dops[k]);
    sol.pos.bAccValid = r.acc;
    out.computeParams();
    EXPECT_EQ(out.sol.isPosValid(), r.present);
    for (int k = 0; k < 7; ++k) EXPECT_EQ(out.sol.dop[k], r.acc && k != r.nanAt ? dops[k] : 0.0f) << "dop " << k;
  }
}

// The own solution's reference station and second value (the board's 16-bit words 0 and 2 at
// offset 11) and its per-system words (each system block's 32-bit value); none from a record
// that is not the solution's.
TEST_F(RcvOutputTest, OwnStationAndSystemWordsFromTheBoardsSolution) {
  for (bool mine : {true, false}) {
    SCOPED_TRACE(mine);
    SetUp();
    ownAt(frameAt(-33, 151, 40));
    BoardSolAlnType& b = board();
    b.u11[0] = 1234, b.u11[1] = 99, b.u11[2] = 4321, b.u11[3] = 7;
    for (int k = 0; k < 7; ++k) {
      const std::uint32_t w = 0x01010101u * static_cast<std::uint32_t>(k + 1);
      std::memcpy(&b.sys21[k].fValue, &w, sizeof w);
    }
    if (!mine) PVTDataInstance.epochData.GetPointer()->pNavSol = nullptr;
    out.computeParams();
    EXPECT_EQ(out.sol.refStationId, mine ? 1234 : 0);
    EXPECT_EQ(out.sol.rtkValue2, mine ? 4321 : 0);
    for (int k = 0; k < 7; ++k) EXPECT_EQ(out.sol.sysWord[k], mine ? 0x01010101u * (k + 1) : 0u) << k;
  }
}

// A base in a received datum whose height residual is handed out apart: that residual is the
// base's received height, and with the datum's height type 2 it is the base's undulation; the
// datum adding the residual to the height gives none, and the base has no undulation without a
// geoid model.
TEST_F(RcvOutputTest, BaseHeightFromTheReceivedTransformation) {
  const double B = 0.5, L = 1.0;  // rad
  DtmList::DATA_USING_AREA area{B, L, 0.01f, 0.01f};
  DtmList::TRANSFORM_RESIDUALS res{};
  res.area = {B, L, 0.002f, 0.002f};
  res.base[2] = 0.25f;
  res.horPresent = res.heightPresent = 1;
  for (int separate : {1, 0}) {
    SCOPED_TRACE(separate);
    SetUp();
    NavTask::DATUM_IN_USE d{};
    ASSERT_TRUE(assignDatum("W84", &d));
    std::strcpy(d.name, "GOT");
    d.area = &area, d.res = &res, d.separateResidualHeight = static_cast<std::uint8_t>(separate), d.heightType = 2;
    std::memcpy(NavSet.datum, &d, sizeof d);
    GeoidTestAccess::reset();
    RcvSet.fixedUndOn = 0;
    rtkAt(frameAt(B / kD, L / kD, 50), 5);
    out.computeParams();
    const SOL_OUTPUT& o = out.sol;
    ASSERT_TRUE(o.pBase != nullptr && o.bBaseLocValid);
    EXPECT_NEAR(o.baseRecvHeight, separate ? 0.25 : 0.0, 1e-6);
    EXPECT_EQ(o.bBaseGeoidValid, separate ? 1 : 0);
    if (separate) {
      EXPECT_NEAR(o.baseUndulation, 0.25, 1e-6);
      EXPECT_EQ(geoidSys, 4);
    }
  }
  GeoidGPS::useBuiltIn();
}

// The monitor's resets asked from the command keys are made by the main input's next epoch, not
// before; the second input's epoch leaves them; a mode other than 0 or 1 is refused.
TEST_F(RcvOutputTest, BaseMovingResetsAskedAreMadeAtTheMainInputsEpoch) {
  const struct { int mode; bool taken; } rows[] = {{0, true}, {1, true}, {2, false}, {-1, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.mode);
    SetUp();
    BaseMovingData.bAlert = 1, BaseMovingData.maxMotion = 3.0f, BaseMovingData.motion[1] = 2.0f;
    BaseMovingData.resetMode = 2;
    requestBaseMovingAlertReset();
    EXPECT_EQ(requestBaseMovingRelPosReset(r.mode), r.taken);
    EXPECT_TRUE(BaseMovingData.bAlert == 1 && BaseMovingData.resetMode == 2) << "not before the epoch";
    out.bMainInput = 0;
    out.computeParams();
    EXPECT_TRUE(BaseMovingData.bAlert == 1 && BaseMovingData.resetMode == 2) << "not by the second input";
    out.bMainInput = 1;
    out.computeParams();
    EXPECT_TRUE(BaseMovingData.bAlert == 0 && BaseMovingData.maxMotion == 0.0f && BaseMovingData.motion[1] == 0.0f);
    EXPECT_EQ(BaseMovingData.resetMode, r.taken ? r.mode : 2);
    EXPECT_TRUE(!baseMovingAlertShown() && baseMovingResetModeShown() == (r.taken ? r.mode : 2)) << "shown to others";
    BaseMovingData.resetMode = 2;
    out.computeParams();
    EXPECT_EQ(BaseMovingData.resetMode, 2) << "made once";
  }
}

TEST_F(RcvOutputTest, CourseSpeedAndMagneticCourse) {
  struct Row {
    double courseDeg, speed, decDeg;
    bool mag;
    double wantCourse, wantMag;
  } rows[] = {{-10, 2, 0, false, 350, 0},  {90, 1, 0, false, 90, 0},    {0, 3, -5, true, 0, 5},
              {10, 1, 13, true, 10, 357}, {355, 1, -10, true, 355, 5}, {180, 5, 0, true, 180, 180}};
  const Frame f = frameAt(45, 10, 0);
  for (const Row& r : rows) {
    SetUp();
    rtkAt(f, 1);
    rtk.bVelPresent = 1;
    const double vn = r.speed * std::cos(r.courseDeg * kD), ve = r.speed * std::sin(r.courseDeg * kD);
    for (int i = 0; i < 3; ++i) rtk.vel[i] = vn * f.n[i] + ve * f.e[i];
    if (r.mag) {
      magVar.declination = static_cast<float>(r.decDeg);
      magVar.compTime = MonoClock::sec();
    }
    out.computeParams();
    const SOL_OUTPUT& s = out.sol;
    EXPECT_NEAR(s.course, r.wantCourse, 1e-6) << r.courseDeg;
    EXPECT_NEAR(s.knots, r.speed * 1.9438444924406046, 1e-9);
    EXPECT_NEAR(s.kmh, r.speed * 3.6, 1e-9);
    EXPECT_EQ(s.bMagCourseValid, r.mag);
    if (r.mag) {
      EXPECT_NEAR(s.magCourse, r.wantMag, 1e-4) << r.courseDeg;
      EXPECT_NEAR(s.magVar, r.decDeg, 1e-4);
    }
  }
}

TEST_F(RcvOutputTest, NoVelocityGivesZeroCourse) {
  const Frame f = frameAt(45, 10, 0);
  rtkAt(f, 1);
  magVar.compTime = MonoClock::sec();
  out.computeParams();
  EXPECT_EQ(out.sol.bVelValid, 0);
  EXPECT_EQ(out.sol.course + out.sol.knots + out.sol.kmh + out.sol.magCourse, 0.0);
  EXPECT_EQ(out.sol.bMagCourseValid, 0);
}

TEST_F(RcvOutputTest, W84OutputEqualsWgs84) {
  const Frame f = frameAt(52, 13, 80);
  rtkAt(f, 2);
  out.computeParams();
  EXPECT_EQ(out.sol.bLocValid, 1);
  EXPECT_EQ(out.sol.PosLocLLA.lat, out.sol.PosWgsLLA.lat);
  EXPECT_EQ(out.sol.PosLocLLA.h, out.sol.PosWgsLLA.h);
  EXPECT_EQ(out.sol.PosLocXYZ.z, out.sol.PosWgsXYZ.z);
  EXPECT_EQ(out.sol.bBaseLocValid, 1);
}

TEST_F(RcvOutputTest, RtkMarkingSkipsAndNeverOverruns) {
  const Frame f = frameAt(45, 10, 0);
  RTK_MARK_CHAN ch[8] = {{1, kSysGlonass, -7, 0}, {1, kSysNavic, 14, 42}, {1, kSysGps, 5, 4},
                         {1, kSysGps, 6, 41},     {0, kSysGps, 7, 0},     {1, kSysGps, 33, 0},
                         {1, kSysGps, 8, 3},      {1, kSysGps, 9, 0}};
  rtk.use[33] = rtk.use[195] = rtk.use[5] = rtk.use[6] = rtk.use[7] = rtk.use[8] = 1;  // 9 unused
  rtkAt(f, 3);
  out.pChans = ch;
  out.nChans = 8;
  out.chanBase = 91;
  sol.uNumUsed = 2;
  out.computeParams();
  ASSERT_EQ(sol.uNumUsed, 5);
  EXPECT_EQ(sol.uUsedChan[2], 91);
  EXPECT_EQ(sol.uUsedChan[3], 92);
  EXPECT_EQ(sol.uUsedChan[4], 97);
  EXPECT_EQ(sol.fUsedValue[4], 0.0f);

  SetUp();
  rtk.use[33] = 1;
  rtkAt(f, 3);
  out.pChans = ch;
  out.nChans = 8;
  sol.uNumUsed = NavTask::NAV_SOL::kMaxSats;
  out.computeParams();
  EXPECT_EQ(sol.uNumUsed, NavTask::NAV_SOL::kMaxSats);
}

// The per-system satellite counts (used, tracked, excluded) count each channel under the
// satellite system of its satellite, in the order GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou,
// NavIC: the board's channel codes (2 SBAS, 3 Galileo, 4 BeiDou, 5 QZSS) are not that order,
// a QZSS satellite on its SBAS signal is QZSS, and an L-band beam or a GLONASS channel without
// frequency number is no satellite.
TEST_F(RcvOutputTest, SatelliteCountsBySatelliteSystem) {
  const Frame f = frameAt(22.3, 114.2, 50);
  struct Chan {
    int code, number;
    bool used;
  };
  const Chan chans[] = {{0, 5, true},   {1, -1, true},  {1, 3, false}, {2, 127, true}, {2, 184, true},
                        {3, 11, true},  {3, 12, false}, {4, 23, true}, {5, 194, false}, {6, 5, true},
                        {7, 2, false},  {1, 9, false}};
  ownAt(f);
  out.chanBase = 0;
  sol.uNumUsed = 0;
  for (std::size_t k = 0; k < std::size(chans); ++k) {
    Cdat[k].bDataPresent = 1;
    Cdat[k].sysCode = static_cast<std::uint8_t>(chans[k].code);
    Cdat[k].svNum = static_cast<std::int16_t>(chans[k].number);
    if (chans[k].used) sol.uUsedChan[sol.uNumUsed++] = static_cast<std::uint8_t>(k);
  }
  // Excluded satellites by their numbers: GPS 7, GLONASS slot 5, Galileo E04, BeiDou C02.
  const std::uint16_t excluded[] = {7, 197, 303, 601};
  for (std::uint16_t n : excluded) sol.uExcluded[sol.uNumExcluded++] = n;
  out.computeParams();
  const std::uint16_t used[7] = {1, 1, 1, 1, 1, 1, 1};
  const std::uint16_t tracked[7] = {1, 2, 2, 1, 2, 1, 1};
  const std::uint16_t excl[7] = {1, 1, 1, 0, 0, 1, 0};
  for (int k = 0; k < 7; ++k) {
    EXPECT_EQ(out.sol.satCount[0][k], used[k]) << "used, system " << k;
    EXPECT_EQ(out.sol.satCount[1][k], tracked[k]) << "tracked, system " << k;
    EXPECT_EQ(out.sol.satCount[2][k], excl[k]) << "excluded, system " << k;
  }
  for (std::size_t k = 0; k < std::size(chans); ++k) Cdat[k].bDataPresent = 0;
}

TEST_F(RcvOutputTest, StationIdAndSystemCode) {
  const Frame f = frameAt(45, 10, 0);
  struct Row {
    std::uint16_t a, b, want;
    int gps, glo, code;
  } rows[] = {{65535, 12, 12, 5, 0, 1}, {7, 12, 7, 0, 4, 2}, {65535, 65535, 65535, 5, 4, 8}};
  for (const Row& r : rows) {
    SetUp();
    rtkAt(f, 5);
    rtk.stationId[0] = r.a, rtk.stationId[1] = r.b;
    rtk.satCount[0][0] = static_cast<std::uint8_t>(r.gps);
    rtk.satCount[0][1] = static_cast<std::uint8_t>(r.glo);
    rtk.useWord = 0xABCD;
    out.computeParams();
    EXPECT_EQ(out.sol.refStationId, r.want);
    EXPECT_EQ(out.sol.sysInUse, r.code);
    EXPECT_EQ(out.sol.sysWord[0], 0xABCDu);
    EXPECT_EQ(out.sol.sysWord[1], 0xABCDu);
    EXPECT_EQ(out.sol.sysWord[2], 0u);
  }
}
}  // namespace

namespace {
// Another output datum: the position in it equals PROJ's inverse Helmert and geodetic on its
// ellipsoid; the record carries the datum's ellipsoid and list index.
TEST_F(RcvOutputTest, OtherDatumEqualsProj) {
  NavTask::DATUM_IN_USE d{};
  ASSERT_TRUE(assignDatum("TOY-M", &d));
  std::memcpy(NavSet.datum, &d, sizeof d);
  DtmList::ELL_PARAMS ell{};
  DtmList::DATUM_PARAMS_STORE st{};
  int idx = -1;
  ASSERT_TRUE(DtmList::getDatum("TOY-M", &ell, &st, &idx));
  const Frame f = frameAt(47.5, 8.25, 420);
  rtkAt(f, 4);
  out.computeParams();
  ASSERT_EQ(out.sol.bLocValid, 1);
  EXPECT_EQ(out.sol.datumIndex, idx);
  EXPECT_EQ(out.sol.datumEll.a, ell.a);
  auto n = [](double v) { return geodesy_test::num(v); };
  const std::string helm = "+proj=helmert +x=" + n(st.dx) + " +y=" + n(st.dy) + " +z=" + n(st.dz) + " +rx=" + n(st.rx) +
                           " +ry=" + n(st.ry) + " +rz=" + n(st.rz) + " +s=" + n(st.scale) +
                           " +convention=coordinate_frame";
  const std::string line = n(f.x[0]) + " " + n(f.x[1]) + " " + n(f.x[2]);
  const auto xyz = geodesy_test::runTool("cct -d 6 -I " + helm, {line});
  const auto geo = geodesy_test::runTool("cct -d 10 +proj=pipeline +step +inv " + helm + " +step +inv +proj=cart +a=" +
                                             n(d.ell.a) + " +rf=" + n(d.ell.rf),
                                         {line});
  ASSERT_EQ(xyz.size(), 1u);
  ASSERT_EQ(geo.size(), 1u);
  EXPECT_NEAR(out.sol.PosLocXYZ.x, xyz[0][0], 1e-3);
  EXPECT_NEAR(out.sol.PosLocXYZ.y, xyz[0][1], 1e-3);
  EXPECT_NEAR(out.sol.PosLocXYZ.z, xyz[0][2], 1e-3);
  EXPECT_NEAR(out.sol.PosLocLLA.lon / kD, geo[0][0], 1e-8);
  EXPECT_NEAR(out.sol.PosLocLLA.lat / kD, geo[0][1], 1e-8);
  EXPECT_NEAR(out.sol.PosLocLLA.h, geo[0][2], 1e-3);
  EXPECT_EQ(out.sol.bBaseLocValid, 1);
  EXPECT_NE(out.sol.BaseLocLLA.lat, out.sol.BaseWgsLLA.lat);
  // The referenced base goes through the same transformation.
  const std::string baseLine = n(rtk.base[0]) + " " + n(rtk.base[1]) + " " + n(rtk.base[2]);
  const auto bgeo = geodesy_test::runTool("cct -d 10 +proj=pipeline +step +inv " + helm + " +step +inv +proj=cart +a=" +
                                              n(d.ell.a) + " +rf=" + n(d.ell.rf),
                                          {baseLine});
  ASSERT_EQ(bgeo.size(), 1u);
  EXPECT_NEAR(out.sol.BaseLocLLA.lon / kD, bgeo[0][0], 1e-8);
  EXPECT_NEAR(out.sol.BaseLocLLA.lat / kD, bgeo[0][1], 1e-8);
  EXPECT_NEAR(out.sol.BaseLocLLA.h, bgeo[0][2], 1e-3);
}
}  // namespace

namespace {
// numpy as the oracle for full Earth-centred covariances (not built in local axes): local axes
// from cross products with the ellipsoid normal, the rotated matrices, the eigen-decomposition
// of the horizontal block. Isotropic and rank-one rows have no NaN on either side.
TEST_F(RcvOutputTest, AccuracyOfFullCovariancesAgreesWithNumpy) {
  const std::string py =
      "/usr/bin/python3 -c \"\nimport sys, numpy as np\nfor l in sys.stdin:\n"
      " v = np.array(l.split(), float); la, lo = np.radians(v[0:2])\n"
      " sym = lambda t: np.array([[t[0], t[1], t[2]], [t[1], t[3], t[4]], [t[2], t[4], t[5]]])\n"
      " P = sym(v[2:8]); V = sym(v[8:14]); q = v[14:24]\n"
      " Q = np.array([[q[0], q[1], q[2], q[3]], [q[1], q[4], q[5], q[6]], [q[2], q[5], q[7], q[8]],"
      " [q[3], q[6], q[8], q[9]]])\n"
      " u = np.array([np.cos(la) * np.cos(lo), np.cos(la) * np.sin(lo), np.sin(la)])\n"
      " e = np.cross([0, 0, 1], u); e /= np.linalg.norm(e); n = np.cross(u, e); R = np.array([n, e, u])\n"
      " p = R @ P @ R.T; w = R @ V @ R.T; c = R @ Q[0:3, 0:3] @ R.T; t = Q[3, 3]\n"
      " r = lambda x: np.sqrt(max(x, 0.0))\n"
      " dop = [r(np.trace(c) + t), r(np.trace(c)), r(c[0, 0]), r(c[1, 1]), r(c[0, 0] + c[1, 1]), r(c[2, 2]), r(t)]\n"
      " sig = [r(p[0, 0]), r(p[1, 1]), r(p[0, 0] + p[1, 1]), r(p[2, 2]), r(np.trace(p)),"
      " r(w[0, 0] + w[1, 1]), r(w[2, 2]), r(np.trace(w))]\n"
      " ev, vec = np.linalg.eigh(p[0:2, 0:2]); m = vec[:, 1]\n"
      " o = np.degrees(np.arctan2(m[1], m[0])) % 180\n"
      " print(*dop, *sig, r(ev[1]), r(ev[0]), o, ev[1] - ev[0])\n\"";
  struct Row {
    double lat, lon;
    double pos[6], vel[6], cof[10];
  } rows[] = {
      {0, 25, {0.09, 0.01, -0.02, 0.04, 0.005, 0.16}, {0.01, 0.002, 0, 0.02, -0.001, 0.03},
       {1.2, 0.1, -0.2, 0.05, 0.9, 0.3, -0.1, 2.0, 0.2, 0.7}},
      {45, -70, {0.5, -0.1, 0.2, 0.3, -0.05, 0.8}, {0.04, 0, 0.01, 0.05, 0, 0.09},
       {2.0, -0.4, 0.3, 0.1, 1.1, -0.2, 0.0, 3.0, -0.3, 1.4}},
      {89, 130, {0.02, 0.003, 0.001, 0.05, -0.002, 0.07}, {0.001, 0, 0, 0.002, 0, 0.004},
       {0.6, 0.05, 0.02, 0, 0.8, 0.01, 0, 1.5, 0, 0.3}},
      // isotropic
      {45, 10, {0.25, 0, 0, 0.25, 0, 0.25}, {0.01, 0, 0, 0.01, 0, 0.01}, {1, 0, 0, 0, 1, 0, 0, 1, 0, 1}},
      // rank one: all the error along one Earth-centred direction (1, 2, 3)
      {45, 10, {0.01, 0.02, 0.03, 0.04, 0.06, 0.09}, {0.01, 0.02, 0.03, 0.04, 0.06, 0.09},
       {0.01, 0.02, 0.03, 0, 0.04, 0.06, 0, 0.09, 0, 0}},
  };
  std::vector<std::string> lines;
  for (const Row& r : rows) {
    std::string l = geodesy_test::num(r.lat) + " " + geodesy_test::num(r.lon);
    for (double v : r.pos) l += " " + geodesy_test::num(v);
    for (double v : r.vel) l += " " + geodesy_test::num(v);
    for (double v : r.cof) l += " " + geodesy_test::num(v);
    lines.push_back(l);
  }
  const auto want = geodesy_test::runTool(py, lines);
  ASSERT_EQ(want.size(), lines.size());
  for (std::size_t k = 0; k < std::size(rows); ++k) {
    SetUp();
    const Row& r = rows[k];
    rtkAt(frameAt(r.lat, r.lon, 100), 4);
    std::memcpy(rtk.posCov, r.pos, sizeof r.pos);
    std::memcpy(rtk.velCov, r.vel, sizeof r.vel);
    std::memcpy(rtk.cof, r.cof, sizeof r.cof);
    rtk.bVelPresent = 1;
    out.computeParams();
    const SOL_OUTPUT& s = out.sol;
    ASSERT_EQ(want[k].size(), 19u);
    const auto& w = want[k];
    auto near = [&](float got, double exp, const char* what) {
      EXPECT_FALSE(std::isnan(got)) << k << " " << what;
      EXPECT_NEAR(got, exp, 2e-6 + 2e-6 * exp) << k << " " << what;
    };
    for (int i = 0; i < 7; ++i) near(s.dop[i], w[i], "dop");
    for (int i = 0; i < 5; ++i) near(s.posSigma[i], w[7 + i], "position sigma");
    for (int i = 0; i < 3; ++i) near(s.velSigma[i], w[12 + i], "velocity sigma");
    near(s.ellMajor, w[15], "major");
    // The minor axis of a rank-one covariance is the root of rounding noise on both sides.
    EXPECT_NEAR(s.ellMinor, w[16], k == 4 ? 1e-3 : 2e-6 + 2e-6 * w[16]) << k;
    EXPECT_FALSE(std::isnan(s.ellMinor) || std::isnan(s.ellOrient)) << k;
    const double d = std::fmod(std::fabs(s.ellOrient - w[17]), 180.0);
    if (w[18] > 1e-9) {
      EXPECT_LT(std::min(d, 180.0 - d), 1e-3) << k;
    }
    EXPECT_GE(s.ellOrient, 0.0f);
    EXPECT_LT(s.ellOrient, 180.0f);
  }
}

// A position message on a native port writes the solution record's position, whole and under
// both position locks, from that port's task while the epoch's task computes the output. Write k
// is the position (b + k, b + k, b + k) moving at (k, k, k) m/s: the output must carry one write
// whole, never coordinates or a velocity of two.
TEST_F(RcvOutputTest, APositionWrittenMeanwhileByAnotherTaskNeverMixesIntoTheOutput) {
  constexpr double b = 4000000.0;
  ownAt(frameAt(0, 0, 0));
  RcvSet.refPosMode = 0;
  bFiltMode = 0;
  const auto write = [&](int k) {
    NavTask::NAV_POS p{};
    for (int i = 0; i < 3; ++i) p.dXyz[i] = b + k, p.dVel[i] = k;
    p.bValid = p.bVelValid = 1;
    PosLock lock;
    sol.pos = p;
  };
  write(0);  // the record starts as one of the writes
  std::atomic<bool> stop{false};
  std::atomic<int> writes{0};
  std::thread writer([&] {
    for (int k = 1; !stop.load(); ++k) {
      write(k);
      ++writes;
    }
  });
  int mixed = 0;
  for (int n = 0; n < 20000 || writes.load() < 1000; ++n) {
    out.computeParams();
    const POS_CRT& w = out.sol.PosWgsXYZ;
    if (w.y != w.x || w.z != w.x || w.vx != w.x - b || w.vy != w.vx || w.vz != w.vx) ++mixed;
  }
  stop = true;
  writer.join();
  EXPECT_EQ(mixed, 0);
}
}  // namespace
