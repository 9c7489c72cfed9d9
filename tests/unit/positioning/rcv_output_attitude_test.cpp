// Baseline attitude against baselines built from a known azimuth and elevation in a local frame
// made from the ellipsoid normal; base-moving monitor against hand-integrated motion; reference
// position modes and the output filter through computeParams.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "geodesy_oracle.h"
#include "platform/mono_clock.h"
#include "positioning/geodesy/ell_math.h"
#include "positioning/rcv_output.h"
#include "positioning/rcv_output_base_moving.h"
#include "positioning/reference/pos_filter.h"
#include "positioning/reference/reference_pos.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"

namespace {
constexpr double kA = 6378137.0, kF = 1 / 298.257223563, kE2 = kF * (2 - kF), kD = M_PI / 180.0;

// Earth-centred point and local unit vectors at (lat, lon): up is the ellipsoid normal, east
// the cross product of the pole with it, north up x east.
struct Frame {
  double x[3], n[3], e[3], u[3];
  void vec(double north, double east, double up, double out[3]) const {
    for (int i = 0; i < 3; ++i) out[i] = north * n[i] + east * e[i] + up * u[i];
  }
};
Frame frameAt(double latDeg, double lonDeg) {
  const double la = latDeg * kD, lo = lonDeg * kD, N = kA / std::sqrt(1 - kE2 * std::sin(la) * std::sin(la));
  Frame f{};
  f.u[0] = std::cos(la) * std::cos(lo), f.u[1] = std::cos(la) * std::sin(lo), f.u[2] = std::sin(la);
  for (int i = 0; i < 3; ++i) f.x[i] = N * f.u[i];
  f.x[2] = N * (1 - kE2) * std::sin(la);
  const double m = std::hypot(f.u[0], f.u[1]);
  f.e[0] = -f.u[1] / m, f.e[1] = f.u[0] / m, f.e[2] = 0;
  f.n[0] = f.u[1] * f.e[2] - f.u[2] * f.e[1];
  f.n[1] = f.u[2] * f.e[0] - f.u[0] * f.e[2];
  f.n[2] = f.u[0] * f.e[1] - f.u[1] * f.e[0];
  return f;
}
// Baseline of length len at azimuth az and elevation el (degrees) and its rate turning at w deg/s.
RTK_SOL baseline(const Frame& f, double len, double az, double el, double w) {
  RTK_SOL r{};
  const double h = len * std::cos(el * kD), a = az * kD, wr = w * kD;
  f.vec(h * std::cos(a), h * std::sin(a), len * std::sin(el * kD), r.baseline);
  double rate[3];
  f.vec(-h * std::sin(a) * wr, h * std::cos(a) * wr, 0, rate);
  for (int i = 0; i < 3; ++i) r.blRate[i] = static_cast<float>(rate[i]), r.rover[i] = f.x[i];
  r.headingVar = 4e-4;
  return r;
}
double angDiff(double a, double b) { return std::remainder(a - b, 360.0); }

struct Offsets {
  double hdg, pitch;
};
constexpr Offsets kOffsets[] = {{0, 0}, {90, 0}, {-10, 0}, {0, 10}, {90, 10}, {-10, 10}};
}  // namespace

TEST(BaselineAttitude, HeadingPitchSigmaForOffsets) {
  const double places[][2] = {{45, 10}, {-33.9, 151.2}, {80, -120}};
  const double azs[] = {0, 45, 135, 200, 359.5}, els[] = {0, 20, -30};
  for (const auto& p : places)
    for (double az : azs)
      for (double el : els)
        for (const Offsets& o : kOffsets) {
          const Frame f = frameAt(p[0], p[1]);
          const RTK_SOL r = baseline(f, 12.5, az, el, 0);
          SOL_OUTPUT s{};
          baselineAttitude(r, p[0] * kD, p[1] * kD, o.hdg, o.pitch, &s);
          ASSERT_EQ(s.bHeadingValid, 1);
          EXPECT_NEAR(angDiff(s.heading, az + o.hdg), 0, 1e-9) << az << " " << el << " " << o.hdg;
          EXPECT_GE(s.heading, 0);
          EXPECT_LT(s.heading, 360);
          EXPECT_NEAR(s.pitch, el + o.pitch, 1e-9) << az << " " << el << " " << o.pitch;
          EXPECT_NEAR(s.headingSigma, 0.02 * 57.29577951308232 / (12.5 * std::cos(el * kD)), 1e-5);
        }
  SOL_OUTPUT s{};
  baselineAttitude(baseline(frameAt(45, 10), 3, 0, 0, 0), 45 * kD, 10 * kD, -10, 0, &s);
  EXPECT_NEAR(s.heading, 350, 1e-9);
}

TEST(BaselineAttitude, RateOfTurnIndependentOfOffsets) {
  const Frame f = frameAt(52, 4);
  for (const Offsets& o : kOffsets)
    for (double az : {30.0, 300.0})
      for (double el : {0.0, 25.0}) {
        SOL_OUTPUT s{};
        baselineAttitude(baseline(f, 1.0, az, el, 3.0), 52 * kD, 4 * kD, o.hdg, o.pitch, &s);
        EXPECT_EQ(s.bRotValid, 1);
        EXPECT_NEAR(s.rateOfTurn, 180.0, 1e-4) << o.hdg << " " << o.pitch << " " << az << " " << el;
      }
}

TEST(BaselineAttitude, NoHorizontalLengthNoHeadingNoRate) {
  const Frame f = frameAt(0, 0);  // local axes along the Earth-centred ones: lengths stay exact
  struct Row {
    double len, el, pitchOff, pitch;
  } rows[] = {{2, 90, 0, 90}, {2, -90, 10, -80}, {1e-12, 0, 0, 0}, {5e-13, 0, 0, 0}};
  for (const Row& r : rows) {
    SOL_OUTPUT s{};
    s.heading = 77, s.rateOfTurn = 5;
    baselineAttitude(baseline(f, r.len, 0, r.el, 3), 0, 0, 0, r.pitchOff, &s);
    EXPECT_EQ(s.bHeadingValid, 0) << r.len;
    EXPECT_EQ(s.bRotValid, 0);
    EXPECT_EQ(s.heading, 0);
    EXPECT_EQ(s.rateOfTurn, 0);
    EXPECT_FALSE(std::isnan(s.headingSigma) || std::isinf(s.headingSigma));
    if (r.len > 1) {
      EXPECT_NEAR(s.pitch, r.pitch, 1e-6);
    }
  }
}

// numpy as the oracle: local axes from cross products with the ellipsoid normal, the heading
// from the projections, the rate of turn as the central difference of the azimuth in time.
TEST(BaselineAttitude, AgreesWithNumpy) {
  const std::string py =
      "/usr/bin/python3 -c \"\nimport sys, numpy as np\nfor l in sys.stdin:\n"
      " v = np.array(l.split(), float); b = v[0:3]; r = v[3:6]; la, lo, a, p = np.radians(v[6:10])\n"
      " u = np.array([np.cos(la) * np.cos(lo), np.cos(la) * np.sin(lo), np.sin(la)])\n"
      " e = np.cross([0, 0, 1], u); e /= np.linalg.norm(e); n = np.cross(u, e)\n"
      " az = lambda q: np.arctan2(q @ e, q @ n); d = 1e-3\n"
      " rot = np.diff(np.unwrap([az(b - d * r), az(b + d * r)]))[0] / (2 * d)\n"
      " print(np.degrees(az(b) + a) % 360, np.degrees(np.arctan2(b @ u, np.hypot(b @ n, b @ e)) + p),"
      " np.degrees(rot) * 60)\n\"";
  struct Row {
    double b[3];
    float r[3];
    double lat, lon;
  } rows[] = {{{0.8, -0.3, 0.45}, {0.01f, 0.03125f, -0.0625f}, 45, 10},
              {{-12.5, 7.25, 3.5}, {0.25f, -0.5f, 0.125f}, -33.9, 151.2},
              {{3, 4, -1}, {-0.125f, 0.0625f, 0.5f}, 78, -120},
              {{-0.02, -1.5, 0.9}, {1.0f, 0.25f, -0.75f}, 1, 179}};
  std::vector<std::string> lines;
  for (const Row& r : rows)
    for (const Offsets& o : kOffsets) {
      std::string l;
      for (double v : {r.b[0], r.b[1], r.b[2], double(r.r[0]), double(r.r[1]), double(r.r[2]), r.lat, r.lon, o.hdg,
                       o.pitch})
        l += geodesy_test::num(v) + " ";
      lines.push_back(l);
    }
  const auto want = geodesy_test::runTool(py, lines);
  ASSERT_EQ(want.size(), lines.size());
  std::size_t k = 0;
  for (const Row& r : rows)
    for (const Offsets& o : kOffsets) {
      RTK_SOL rtk{};
      for (int i = 0; i < 3; ++i) rtk.baseline[i] = r.b[i], rtk.blRate[i] = r.r[i];
      SOL_OUTPUT s{};
      baselineAttitude(rtk, r.lat * kD, r.lon * kD, o.hdg, o.pitch, &s);
      ASSERT_EQ(want[k].size(), 3u);
      EXPECT_NEAR(angDiff(s.heading, want[k][0]), 0, 1e-9) << k;
      EXPECT_NEAR(s.pitch, want[k][1], 1e-9) << k;
      EXPECT_NEAR(s.rateOfTurn, want[k][2], 1e-6 * (1 + std::fabs(want[k][2]))) << k;
      ++k;
    }
}

namespace {
REL_POS_BLOCK goodBlock(std::int32_t t) {
  REL_POS_BLOCK b{};
  b.bValid[0] = b.bValid[1] = 1;
  b.uNumSats = 6;
  b.bTimeValid = 1;
  b.err[0] = 4.99f, b.err[1] = 0.049f;
  b.pdop = 1.99f;
  b.timeMs = t;
  b.vel[0] = 0.1, b.vel[1] = -0.2, b.vel[2] = 0.05;
  return b;
}
constexpr std::int32_t kWeek = 604800000, kDay = 86400000;
}  // namespace

TEST(BaseMoving, InactiveWhenAnyThresholdFails) {
  struct Row {
    void (*spoil)(REL_POS_BLOCK&);
  } rows[] = {{[](REL_POS_BLOCK& b) { b.bValid[0] = 0; }}, {[](REL_POS_BLOCK& b) { b.bValid[1] = 0; }},
              {[](REL_POS_BLOCK& b) { b.err[0] = 5.0f; }}, {[](REL_POS_BLOCK& b) { b.err[1] = 0.05f; }},
              {[](REL_POS_BLOCK& b) { b.pdop = 2.0f; }},   {[](REL_POS_BLOCK& b) { b.uNumSats = 5; }},
              {[](REL_POS_BLOCK& b) { b.bErrFlag[0] = 1; }}, {[](REL_POS_BLOCK& b) { b.bErrFlag[1] = 1; }},
              {[](REL_POS_BLOCK& b) { b.err[0] = NAN; }}};
  for (const Row& r : rows) {
    BASE_MOVING_DATA d{};
    REL_POS_BLOCK b = goodBlock(1000);
    baseMovingStep(d, &b, kWeek);
    ASSERT_EQ(d.bActive, 1);
    b = goodBlock(1100);
    r.spoil(b);
    baseMovingStep(d, &b, kWeek);
    EXPECT_EQ(d.bActive, 0);
    EXPECT_EQ(d.bStarted, 0);
    EXPECT_EQ(d.count, 0);  // nothing summed
  }
}

TEST(BaseMoving, IntegratesVelocityAlertAndMaximumOnWholeSeconds) {
  struct Row {
    std::int32_t t0, period, step;
  } rows[] = {{10000, kWeek, 100}, {kWeek - 1000, kWeek, 200}, {kDay - 1000, kDay, 250}};
  for (const Row& r : rows) {
    BASE_MOVING_DATA d{};
    d.resetMode = 1;
    REL_POS_BLOCK b = goodBlock(r.t0);
    b.pos[0] = 3, b.pos[1] = 4, b.pos[2] = 5;
    baseMovingStep(d, &b, r.period);
    EXPECT_EQ(d.integ[0], 3);
    EXPECT_EQ(d.bAvgValid, 1);  // the start was a whole second
    EXPECT_EQ(d.avg[1], 4);
    EXPECT_EQ(d.bAlert, 0);
    double sumX = 0;
    for (int k = 1; k <= 1000 / r.step; ++k) {
      b = goodBlock((r.t0 + k * r.step) % r.period);
      b.pos[0] = k;
      sumX += k;
      baseMovingStep(d, &b, r.period);
      EXPECT_EQ(d.bAlert, k * r.step == 1000) << k;
    }
    EXPECT_NEAR(d.integ[0], 3.1, 1e-9);
    EXPECT_NEAR(d.accTime, 1.0, 1e-9);
    EXPECT_NEAR(d.motion[1], -0.2, 1e-6);
    EXPECT_NEAR(d.maxMotion, std::sqrt(0.01 + 0.04 + 0.0025), 1e-6);
    EXPECT_NEAR(d.avg[0], sumX / (1000 / r.step), 1e-9);
    EXPECT_NEAR(d.avgErr, 4.99, 1e-5);
    // A slower second keeps the larger maximum.
    b = goodBlock((r.t0 + 2000) % r.period);
    b.vel[0] = b.vel[1] = b.vel[2] = 0.01;
    baseMovingStep(d, &b, r.period);
    EXPECT_NEAR(d.motion[2], 0.01, 1e-6);
    EXPECT_NEAR(d.maxMotion, std::sqrt(0.0525), 1e-6);
  }
}

TEST(BaseMoving, ResetModesAndAlertReset) {
  BaseMovingData = BASE_MOVING_DATA{};  // as built, whatever an output test before stepped into it
  EXPECT_FALSE(resetBaseMovingRelPosData(2));
  EXPECT_FALSE(resetBaseMovingRelPosData(-1));
  EXPECT_EQ(BaseMovingData.resetMode, 0);
  REL_POS_BLOCK b = goodBlock(5000);
  b.pos[0] = 7;
  ASSERT_TRUE(resetBaseMovingRelPosData(1));
  baseMovingStep(BaseMovingData, &b, kWeek);
  EXPECT_EQ(BaseMovingData.ref[0], 7.0f);
  b.timeMs = 6000;
  baseMovingStep(BaseMovingData, &b, kWeek);
  EXPECT_EQ(BaseMovingData.bAlert, 1);
  EXPECT_FALSE(resetBaseMovingRelPosData(3));
  EXPECT_EQ(BaseMovingData.resetMode, 2);
  resetBaseMovingAlert();
  EXPECT_EQ(BaseMovingData.bAlert, 0);
  EXPECT_EQ(BaseMovingData.maxMotion, 0);
  for (float m : BaseMovingData.motion) EXPECT_EQ(m, 0);
  ASSERT_TRUE(resetBaseMovingRelPosData(0));
  b.timeMs = 7000;
  baseMovingStep(BaseMovingData, &b, kWeek);
  EXPECT_EQ(BaseMovingData.integ[0], 0);
  EXPECT_EQ(BaseMovingData.ref[0], 0.0f);
  EXPECT_EQ(BaseMovingData.resetMode, 2);
}

TEST(RefPosMode, ModesAndUnsetTriples) {
  const double full[4][3] = {{4e6, 3e5, 4.9e6}, {0.8, 0.07, 100}, {4e6 + 1, 3e5 + 2, 4.9e6 + 3}, {0.8001, 0.0701, 105}};
  ReferencePos rec;
  rec.setEllipsoid(EllExt);
  bool same = false;
  const double recXyz[3] = {4.1e6, 3.1e5, 4.8e6};
  ASSERT_TRUE(rec.setRefPos(ReferencePos::kCartesian, "W84", recXyz, same, InPorts::DEC_SER_A));
  ReferencePos unset;
  struct Row {
    int mode, zeroTriple;  // -1 none
    bool useUnset;
    double x, h;           // expected; NAN: kept
  } rows[] = {{1, -1, false, 4e6 + 1, 105},  {1, 2, false, NAN, NAN},       {1, 3, false, NAN, NAN},
              {1, 0, false, 4e6 + 1, 105},   {2, -1, false, 1001, 15},       {2, 0, false, NAN, NAN},
              {2, 1, false, NAN, NAN},       {2, 2, false, NAN, NAN},        {2, 3, false, NAN, NAN},
              {4, -1, false, 4.1e6, NAN}, {4, -1, true, NAN, NAN},        {0, -1, false, NAN, NAN},
              {3, -1, false, NAN, NAN},      {5, -1, false, NAN, NAN},       {-1, -1, false, NAN, NAN}};
  for (const Row& r : rows) {
    double t[4][3];
    std::memcpy(t, full, sizeof t);
    if (r.zeroTriple >= 0) t[r.zeroTriple][0] = t[r.zeroTriple][1] = t[r.zeroTriple][2] = 0;
    POS_CRT c{1000, 2000, 3000, 1, 2, 3};
    POS_GEO g{0.5, 0.6, 10, 0, 0, 0};
    const bool moved = applyRefPosMode(r.mode, t, r.useUnset ? unset : rec, &c, &g);
    const bool expectMoved = !std::isnan(r.x);
    EXPECT_EQ(moved, expectMoved) << r.mode << " " << r.zeroTriple;
    EXPECT_EQ(c.vx, 1);
    if (!expectMoved) {
      EXPECT_EQ(c.x, 1000);
      EXPECT_EQ(g.h, 10);
      continue;
    }
    EXPECT_NEAR(c.x, r.x, 1e-6) << r.mode;
    if (r.mode == 2) {
      EXPECT_NEAR(c.z, 3003, 1e-6);
      EXPECT_NEAR(g.lat, 0.5001, 1e-12);
    }
    if (r.mode == 4) {
      double b, l, h;
      EllMath::XYZ_BLH(EllExt, recXyz[0], recXyz[1], recXyz[2], b, l, h);
      EXPECT_NEAR(g.lat, b, 1e-12);
      EXPECT_NEAR(g.h, h, 1e-4);
    } else {
      EXPECT_NEAR(g.h, r.h, 1e-9);
    }
  }
}

namespace {
class RcvOutputFlow : public ::testing::Test {
 protected:
  void SetUp() override {
    NavTask::DATUM_IN_USE w{};
    ASSERT_TRUE(assignDatum("W84", &w));
    std::memcpy(NavSet.datum, &w, sizeof w);
    RcvSet.refPosMode = 0;
    RcvSet.hdgOffset = RcvSet.pitchOffset = 0;
    bFiltMode = 0;
    out.pNavSol = &sol;
    out.pRtkSol = &rtk;
  }
  void TearDown() override {
    SetUp();
    std::memset(RcvSet.refPos, 0, sizeof RcvSet.refPos);
  }
  void ownAt(const double x[3], double vEast) {
    for (int i = 0; i < 3; ++i) sol.pos.dXyz[i] = x[i], sol.pos.dVel[i] = vEast * f.e[i];
    sol.pos.bValid = sol.pos.bVelValid = 1;
    sol.status = 0;
    out.bSolPresent = 1;
  }
  Frame f = frameAt(40, 20);
  NavTask::NAV_SOL sol;
  RTK_SOL rtk;
  RCV_OUTPUT out;
};
}  // namespace

TEST_F(RcvOutputFlow, HeadingOnlyWhenAvailableWithOffsetsFromSettings) {
  for (int avail = 0; avail < 2; ++avail) {
    rtk = baseline(f, 10, 100, 5, 0);
    rtk.bPosKnown = 1;
    rtk.status = 0x5A;
    RcvSet.hdgOffset = 20, RcvSet.pitchOffset = -3;
    out.bHeadingAvail = static_cast<std::uint8_t>(avail);
    out.computeParams();
    EXPECT_EQ(out.sol.bHeadingValid, avail);
    if (avail) {
      EXPECT_NEAR(out.sol.heading, 120, 1e-9);
      EXPECT_NEAR(out.sol.pitch, 2, 1e-9);
      EXPECT_EQ(out.sol.rtkStatus, 0x5A);
    }
  }
}

TEST_F(RcvOutputFlow, KnownReferencePositionReplacesOutput) {
  ownAt(f.x, 0);
  double k[3];
  f.vec(30, -40, 2, k);
  for (int i = 0; i < 3; ++i) RcvSet.refPos[2][i] = f.x[i] + k[i];
  double b, l, h;
  EllMath::XYZ_BLH(EllExt, RcvSet.refPos[2][0], RcvSet.refPos[2][1], RcvSet.refPos[2][2], b, l, h);
  RcvSet.refPos[3][0] = b, RcvSet.refPos[3][1] = l, RcvSet.refPos[3][2] = h;
  RcvSet.refPosMode = 1;
  out.computeParams();
  EXPECT_NEAR(out.sol.PosWgsXYZ.x, f.x[0] + k[0], 1e-6);
  EXPECT_NEAR(out.sol.PosWgsLLA.h, h, 1e-9);
  EXPECT_NEAR(out.sol.PosLocLLA.lat, b, 1e-12);
}

TEST_F(RcvOutputFlow, FilteredPositionRawKeptSpeedReachesFilter) {
  PosFilt.init();
  PosFilt.setSpdMode(true);
  PosFilt.setSpdNum(1);
  bFiltMode = 1;
  struct Row {
    double east, speed;
    bool filtered;  // this epoch's output is the filtered one
  } rows[] = {{0, 5, true}, {2, 5, true}, {4, 0.5, true}, {6, 0.5, false}};
  double sumE = 0;
  for (int k = 0; k < 4; ++k) {
    double x[3];
    f.vec(0, rows[k].east, 0, x);
    for (int i = 0; i < 3; ++i) x[i] += f.x[i];
    ownAt(x, rows[k].speed);
    out.computeParams();
    sumE += rows[k].east;
    EXPECT_EQ(out.sol.bFilterApplied, rows[k].filtered) << k;
    double d[3];
    const double* p = &out.sol.PosWgsXYZ.x;
    for (int i = 0; i < 3; ++i) d[i] = p[i] - f.x[i];
    const double east = d[0] * f.e[0] + d[1] * f.e[1] + d[2] * f.e[2];
    if (rows[k].filtered) {
      EXPECT_NEAR(east, sumE / (k + 1), 1e-6) << k;
      ASSERT_EQ(out.sol.pPosRaw, &PosRawLLA);
      POS_GEO raw{};
      crt2geo(EllExt, POS_CRT{x[0], x[1], x[2], 0, 0, 0}, &raw);
      EXPECT_NEAR(PosRawLLA.lon, raw.lon, 1e-12);
    } else {
      EXPECT_NEAR(east, rows[k].east, 1e-6);  // standing still: the raw fix passes
      EXPECT_EQ(out.sol.pPosRaw, nullptr);
    }
  }
  // The other antenna input's solution stays out of the one filter: its fix 1 km east would
  // move the mean of the next filtered fix by far more than the 6 m the main fixes span.
  double far[3];
  f.vec(0, 1000, 0, far);
  for (int i = 0; i < 3; ++i) far[i] += f.x[i];
  ownAt(far, 5);
  out.bMainInput = 0;
  out.computeParams();
  EXPECT_EQ(out.sol.bFilterApplied, 0);
  out.bMainInput = 1;
  ownAt(f.x, 5);
  out.computeParams();  // the speed reaches the filter after the epoch's fix
  out.computeParams();
  ASSERT_EQ(out.sol.bFilterApplied, 1);
  const double* p = &out.sol.PosWgsXYZ.x;
  double east = 0;
  for (int i = 0; i < 3; ++i) east += (p[i] - f.x[i]) * f.e[i];
  EXPECT_LT(std::fabs(east), 6.0);
}
