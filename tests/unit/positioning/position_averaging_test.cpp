// Base-position averaging: the averager's restart, weighting and completion rules, the reference
// position record, the east-north-up rotation of an antenna offset, and the averaging step
// publishing its result.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "positioning/engine/ms_logic.h"
#include "settings/rcv_settings.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/file_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/nav_sol.h"
#include "positioning/engine/position_averaging.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/reference/base_filter.h"
#include "positioning/reference/reference_pos.h"
#include "settings/nv_settings.h"
#include "unit/platform/temp_run_dir.h"

namespace {

constexpr double kBase[3] = {4027894.0, 307046.0, 4919475.0};
const double kOne[3] = {1, 1, 1};

// ---- the averager ---------------------------------------------------------------------------

TEST(BaseFilter, RestartRules) {
  struct Row {
    const char* name;
    double dx;        // m from the first fix along X
    std::uint32_t dt; // s after the first fix
    double weight;    // the second argument
    int countAfter;   // samples held after the second fix
  };
  const Row rows[] = {
      {"4999 m away is added", 4999, 1, 1, 2},
      {"5001 m away restarts", 5001, 1, 1, 0},
      {"5 s later is added", 0, 5, 1, 2},
      {"6 s later restarts", 0, 6, 1, 0},
      {"weight 0 is not added", 0, 1, 0, 1},
  };
  for (const Row& r : rows) {
    BaseFilter f;
    ASSERT_FALSE(f.average(kBase, 1, kOne, 100));
    const double p[3] = {kBase[0] + r.dx, kBase[1], kBase[2]};
    EXPECT_FALSE(f.average(p, r.weight, kOne, 100 + r.dt)) << r.name;
    EXPECT_EQ(f.count(), r.countAfter) << r.name;
  }
}

TEST(BaseFilter, The180thFixCompletesAndLaterFixesChangeNothing) {
  BaseFilter f;
  double out[3];
  for (int i = 1; i < 180; ++i) ASSERT_FALSE(f.average(kBase, 1, kOne, 10 + i)) << i;
  EXPECT_FALSE(f.getAvrPos(out));
  EXPECT_TRUE(f.average(kBase, 1, kOne, 190));
  ASSERT_TRUE(f.getAvrPos(out));
  const double far[3] = {kBase[0] + 3, kBase[1], kBase[2]};
  EXPECT_TRUE(f.average(far, 1, kOne, 201));
  EXPECT_TRUE(f.average(far, 1, kOne, 900));  // neither a gap nor a jump restarts it now
  double again[3];
  ASSERT_TRUE(f.getAvrPos(again));
  for (int k = 0; k < 3; ++k) EXPECT_EQ(again[k], kBase[k]);
  EXPECT_EQ(f.count(), 180);
}

TEST(BaseFilter, NoisySamplesOfEqualAccuracyAverageToTheirMean) {
  std::mt19937 rng(7);
  std::normal_distribution<double> noise(0.0, 2.0);
  BaseFilter f;
  double sum[3] = {0, 0, 0};
  for (int i = 0; i < 180; ++i) {
    double p[3];
    for (int k = 0; k < 3; ++k) sum[k] += (p[k] = kBase[k] + noise(rng));
    const double acc[3] = {0.8, 0.8, 0.8};
    f.average(p, 1.2, acc, 1000 + i);
  }
  double out[3];
  ASSERT_TRUE(f.getAvrPos(out));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(out[k], sum[k] / 180, 1e-8);
}

TEST(BaseFilter, FixesAreWeightedByTheirAccuracy) {
  // 90 fixes at +1 m with accuracy 1 m, 90 at -2 m with accuracy 2 m: weights 1 and 1/2.
  BaseFilter f;
  for (int i = 0; i < 180; ++i) {
    const bool good = i % 2 == 0;
    const double p[3] = {kBase[0] + (good ? 1.0 : -2.0), kBase[1], kBase[2]};
    const double acc[3] = {good ? 1.0 : 2.0, 0.0, -1.0};  // not positive: weight 1
    f.average(p, 1, acc, 50 + i);
  }
  double out[3];
  ASSERT_TRUE(f.getAvrPos(out));
  EXPECT_NEAR(out[0] - kBase[0], (90 * 1.0 - 90 * 2.0 * 0.5) / (90 + 45), 1e-9);
  EXPECT_NEAR(out[1], kBase[1], 1e-9);
}

// The axes' standard deviations a fix is weighted by, from its north, east and up ones: at the
// equator and Greenwich X is up, Y east, Z north; at 60 N X takes sin^2 of north and cos^2 of up.
TEST(PositionAveraging, SigmaAlongTheEarthCentredAxes) {
  NavTask::SolAccuracy a;
  a.sigma[NavTask::SolAccuracy::kSigN] = 3.0f, a.sigma[NavTask::SolAccuracy::kSigE] = 2.0f;
  a.sigma[NavTask::SolAccuracy::kSigU] = 5.0f, a.covNE = 1.5f;
  const double s = std::sin(M_PI / 3), c = std::cos(M_PI / 3);
  const struct { double lat, lon, x, y, z; } rows[] = {
      {0, 0, 5.0, 2.0, 3.0},
      {M_PI / 3, 0, std::sqrt(s * s * 9 + c * c * 25), 2.0, std::sqrt(c * c * 9 + s * s * 25)},
      {0, M_PI / 2, 2.0, 5.0, 3.0}};
  for (const auto& r : rows) {
    double out[3];
    NavTask::solSigmaXyz(a, r.lat, r.lon, out);
    EXPECT_NEAR(out[0], r.x, 1e-9) << r.lat << " " << r.lon;
    EXPECT_NEAR(out[1], r.y, 1e-9) << r.lat << " " << r.lon;
    EXPECT_NEAR(out[2], r.z, 1e-9) << r.lat << " " << r.lon;
  }
  // Away from longitudes 0 and 90 degrees the north-east covariance reaches X and Y (at those
  // two it cancels): the diagonal of R C R^T, with C the east-north-up covariance and R's columns
  // the local east, north and up unit vectors in Earth-centred axes, multiplied out here.
  const struct { double latDeg, lonDeg, covNE; } away[] = {
      {50, 30, 1.5}, {50, 30, -1.5}, {-35, 135, 2.5}, {10, -60, -0.8}};
  for (const auto& r : away) {
    a.covNE = static_cast<float>(r.covNE);
    const double lat = r.latDeg * M_PI / 180, lon = r.lonDeg * M_PI / 180;
    const double R[3][3] = {{-std::sin(lon), -std::sin(lat) * std::cos(lon), std::cos(lat) * std::cos(lon)},
                            {std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat) * std::sin(lon)},
                            {0.0, std::cos(lat), std::sin(lat)}};
    const double C[3][3] = {{4.0, r.covNE, 0.0}, {r.covNE, 9.0, 0.0}, {0.0, 0.0, 25.0}};
    double out[3];
    NavTask::solSigmaXyz(a, lat, lon, out);
    for (int i = 0; i < 3; ++i) {
      double v = 0.0;
      for (int j = 0; j < 3; ++j)
        for (int k = 0; k < 3; ++k) v += R[i][j] * C[j][k] * R[i][k];
      EXPECT_NEAR(out[i], std::sqrt(v), 1e-6) << r.latDeg << " " << r.lonDeg << " " << r.covNE << " axis " << i;
    }
  }
}

// ---- reference position record ----------------------------------------------------------

EllMath::ELL_EXTPAR wgs84() {
  EllMath::ELL_EXTPAR e{};
  DtmList::ELL_PARAMS p{"W84", 6378137.0, 298.257223563};
  EllMath::setEllPar(p, &e);
  return e;
}

TEST(ReferencePos, NeedsAnEllipsoidAndKeepsBothForms) {
  ReferencePos r;
  bool unchanged = false;
  EXPECT_FALSE(r.setRefPos(ReferencePos::kCartesian, "BASE", kBase, unchanged, InPorts::DEC_SER_A));
  double out[3];
  EXPECT_FALSE(r.getRefPos(ReferencePos::kCartesian, out));
  r.setEllipsoid(wgs84());
  ASSERT_TRUE(r.setRefPos(ReferencePos::kCartesian, "BASE", kBase, unchanged, InPorts::DEC_TCP_A));
  EXPECT_FALSE(unchanged);
  EXPECT_TRUE(r.valid() && r.nonZero());
  EXPECT_EQ(r.port(), InPorts::DEC_TCP_A);
  ASSERT_TRUE(r.getRefPos(ReferencePos::kGeodetic, out));
  double back[3];
  EllMath::BLH_XYZ(wgs84(), out[0], out[1], out[2], back[0], back[1], back[2]);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], kBase[k], 1e-6);
  ASSERT_TRUE(r.setRefPos(ReferencePos::kCartesian, "BASE", kBase, unchanged, InPorts::DEC_TCP_A));
  EXPECT_TRUE(unchanged);
  ASSERT_TRUE(r.setRefPos(ReferencePos::kGeodetic, nullptr, out, unchanged, InPorts::DEC_TCP_A));
  EXPECT_TRUE(unchanged);
  EXPECT_FALSE(r.setRefPos(2, "X", kBase, unchanged, InPorts::DEC_TCP_A));
  EXPECT_FALSE(r.getRefPos(2, out));
  const double zero[3] = {0, 0, 0};
  ASSERT_TRUE(r.setRefPos(ReferencePos::kCartesian, "Z", zero, unchanged, InPorts::DEC_TCP_A));
  EXPECT_TRUE(r.valid());
  EXPECT_FALSE(r.nonZero());
  ReferencePos::REFPOS_PAR par;
  ASSERT_TRUE(r.getRefPos(&par));
  EXPECT_STREQ(par.name, "Z");
}

TEST(ReferencePos, HeightPlausibility) {
  const EllMath::ELL_EXTPAR e = wgs84();
  struct Row {
    double h;
    bool ok;
  };
  for (const Row& r : {Row{0, true}, Row{19999, true}, Row{-19999, true}, Row{20001, false}, Row{-20001, false}}) {
    double xyz[3];
    EllMath::BLH_XYZ(e, 0.8, 0.1, r.h, xyz[0], xyz[1], xyz[2]);
    EXPECT_EQ(ReferencePos::checkXYZ(e, xyz), r.ok) << r.h;
  }
}

TEST(ReferencePos, AntennaOffsetKinds) {
  struct Row {
    int kind;
    bool notValid, flag;
    int first;           // offsets index written, -1 none
    std::uint8_t flags;  // flags byte after
  };
  const Row rows[] = {
      {0, false, false, 0, ReferencePos::kL1Set | ReferencePos::kL1Valid},
      {0, true, false, 0, ReferencePos::kL1Set},
      {1, false, false, 0, ReferencePos::kL1Set | ReferencePos::kL1Valid | ReferencePos::kArp},
      {2, false, true, 3, ReferencePos::kL2Valid},
      {2, false, false, 3, 0},
      {3, false, false, 6, 0},
      {4, false, false, -1, 0},
      {-1, false, false, -1, 0},
  };
  const float o[3] = {0.1f, 0.2f, 0.3f};
  for (const Row& r : rows) {
    ReferencePos p;
    p.setAnt(o, r.kind, r.notValid, r.flag);
    EXPECT_EQ(p.ant().flags[0], r.flags) << r.kind;
    for (int i = 0; i < 9; ++i) {
      const bool written = r.first >= 0 && i >= r.first && i < r.first + 3;
      EXPECT_EQ(p.ant().offsets[i], written ? o[i - r.first] : 0.0f) << r.kind << " " << i;
    }
  }
}

// ---- the antenna offset's rotation ------------------------------------------------------

TEST(PositionAveraging, OneMetreUpMovesAlongTheEllipsoidNormal) {
  const double up[3] = {0, 0, 1};
  for (double lat : {-1.2, -0.3, 0.0, 0.7, 1.5}) {
    for (double lon : {-3.0, -1.0, 0.0, 0.2, 2.5}) {
      double d[3];
      enuToEcef(lat, lon, up, d);
      EXPECT_NEAR(d[0], std::cos(lat) * std::cos(lon), 1e-15) << lat << " " << lon;
      EXPECT_NEAR(d[1], std::cos(lat) * std::sin(lon), 1e-15) << lat << " " << lon;
      EXPECT_NEAR(d[2], std::sin(lat), 1e-15) << lat << " " << lon;
    }
  }
  // East and north are unit vectors square to up and to each other.
  const double e[3] = {1, 0, 0}, n[3] = {0, 1, 0};
  double de[3], dn[3], du[3];
  enuToEcef(0.9, 0.4, e, de);
  enuToEcef(0.9, 0.4, n, dn);
  enuToEcef(0.9, 0.4, up, du);
  auto dot = [](const double* a, const double* b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
  EXPECT_NEAR(dot(de, dn), 0, 1e-15);
  EXPECT_NEAR(dot(de, du), 0, 1e-15);
  EXPECT_NEAR(dot(de, de), 1, 1e-15);
  EXPECT_GT(dn[2], 0);  // north points towards the pole
  EXPECT_GT(de[1], 0);  // east at longitude 0.4 has a positive Y
}

// ---- the step --------------------------------------------------------------------------------

// The measurement interval logic as the settings loader sets it at start (through its hook, not
// filled here).
class Averaging : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    rcvSetDefaults(RcvSet);
    msLogicInit(RcvSet.msInt, RcvSet.secInt);
  }
};

TEST_F(Averaging, CompletionPublishesTheReferencePositions) {
  FileNvmLoad();
  nv_readSettings();
  navInitOnce();
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  BaseFlt.setTarget(180, 180);
  BaseFlt.init();
  bAvgPos = 1;
  for (int i = 0; i < 180 && bAvgPos.load(); ++i) {
    {
      PosLock lock;
      for (int k = 0; k < 3; ++k) NavSol.pos.dXyz[k] = kBase[k] + (i % 2 ? 0.5 : -0.5);
      NavSol.pos.bAccValid = 0;
    }
    averagePosLogic();
    EXPECT_EQ(posAvgPublishedFlag.load(), i == 179) << i;
  }
  EXPECT_EQ(bAvgPos.load(), 0);
  double out[3];
  for (ReferencePos* r : {&RefPosGPS, &RefPosGLN, &RefPosWgs, &RefArpGPS, &RefArpWgs}) {
    ASSERT_TRUE(r->getRefPos(ReferencePos::kCartesian, out));
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(out[k], kBase[k], 1e-6);
  }
  ReferencePos::REFPOS_PAR par;
  ASSERT_TRUE(RefPosWgs.getRefPos(&par));
  EXPECT_STREQ(par.name, "W84");
  ASSERT_TRUE(RefPosPe9.getRefPos(&par));
  EXPECT_STREQ(par.name, "P90");
  // The built-in "P90" (PZ-90.11) coincides with WGS 84.
  EXPECT_LT(std::hypot(par.x - kBase[0], par.y - kBase[1], par.z - kBase[2]), 1e-6);
  PosData::PositionDataType ref{};
  ASSERT_TRUE(PVTDataInstance.refPosition.Take(&ref));
  EXPECT_NEAR(ref.dX, kBase[0], 1e-6);
  EXPECT_EQ(RcvSet.refPos[0][0], ref.dX);
  // The receiver settings keep it across a restart, as the position the base publishes.
  EXPECT_EQ(RcvSet.refPosFrom, kRefPosFromMeasured);
  RcvSet.refPos[0][0] = 0;
  nv_readSettings();
  EXPECT_NEAR(RcvSet.refPos[0][0], kBase[0], 1e-6);
  EXPECT_EQ(RcvSet.refPosFrom, kRefPosFromMeasured);
}

// Requests of other tasks take effect at the next navigation step: averaging started anew (the
// average before it forgotten) or stopped, the stored position published or, with none stored,
// every reference position marked not valid.
TEST_F(Averaging, RequestsTakeEffectAtTheNextStep) {
  FileNvmLoad();
  nv_readSettings();
  navInitOnce();
  const struct {
    const char* name;
    int avg;             // 0 none, 1 start, 2 stop
    std::uint8_t from;   // RcvSet.refPosFrom before a publication request, 255: no request
    bool activeAfter;
    bool publishedAfter;
  } rows[] = {
      {"start", 1, 255, true, false},
      {"stop", 2, 255, false, false},
      {"known published", 0, kRefPosFromKnown, false, true},
      {"measured published", 0, kRefPosFromMeasured, false, true},
      {"none: unpublished", 0, kRefPosFromNone, false, false},
      {"start again", 1, kRefPosFromKnown, true, true},
  };
  unpublishRefPos();
  for (int k = 0; k < 3; ++k) RcvSet.refPos[0][k] = RcvSet.refPos[2][k] = kBase[k];
  RcvSet.refPos[2][0] += 10.0;
  BaseFlt.init();
  const double p[3] = {kBase[0], kBase[1], kBase[2]};
  BaseFlt.average(p, 1, kOne, 5);
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    if (r.avg != 0) posAvgRequest(r.avg == 1);
    if (r.from != 255) {
      RcvSet.refPosFrom = r.from;
      refPosPublishRequest();
    }
    if (r.avg == 1) {
      EXPECT_TRUE(posAvgActive()) << "on from the request";
    }
    posAvgPoll();
    EXPECT_EQ(posAvgActive(), r.activeAfter);
    if (r.avg == 1) {
      EXPECT_EQ(BaseFlt.count(), 0);
    }
    double xyz[3];
    EXPECT_EQ(RefPosWgs.getRefPos(ReferencePos::kCartesian, xyz), r.publishedAfter);
    EXPECT_EQ(RefArpGLN.valid(), r.publishedAfter);
    if (r.publishedAfter) {
      EXPECT_NEAR(xyz[0], kBase[0] + (r.from == kRefPosFromKnown ? 10.0 : 0.0), 1e-6);
    }
  }
  bAvgPos = 0;
}

// The averaged point is the L1 phase centre; the antenna reference point lies the L1 offset of the
// antenna the settings name below it (the offset runs from the reference point to the phase
// centre): TRM41249.00 with radome TZGD, G01 north 0.90, east 0.14, up 52.74 mm in igs05.atx. A
// name the database does not hold moves nothing.
TEST_F(Averaging, ReferencePointMovesByTheNamedAntennasOffset) {
  const struct {
    const char* name;
    double east, north, up;  // m
  } rows[] = {{"TRM41249.00     TZGD", 0.00014, 0.00090, 0.05274}, {"NOSUCHANT", 0, 0, 0}};
  for (const auto& r : rows) {
    FileNvmLoad();
    nv_readSettings();
    std::snprintf(RcvSet.antName[0], sizeof RcvSet.antName[0], "%s", r.name);
    navInitOnce();
    PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
    BaseFlt.init();
    bAvgPos = 1;
    for (int i = 0; i < 180 && bAvgPos.load(); ++i) {
      {
        PosLock lock;
        for (int k = 0; k < 3; ++k) NavSol.pos.dXyz[k] = kBase[k] + (i % 2 ? 0.5 : -0.5);
        NavSol.pos.bAccValid = 0;
      }
      averagePosLogic();
    }
    double pos[3], arp[3];
    ASSERT_TRUE(RefPosGPS.getRefPos(ReferencePos::kCartesian, pos)) << r.name;
    ASSERT_TRUE(RefArpGPS.getRefPos(ReferencePos::kCartesian, arp)) << r.name;
    const double d[3] = {arp[0] - pos[0], arp[1] - pos[1], arp[2] - pos[2]};
    // The offset's length (0.05 mm rounding), and its up part along the radius (the geocentric
    // and geodetic verticals differ by under 0.2 degrees here: a few micrometres).
    const double r0 = std::hypot(pos[0], pos[1], pos[2]);
    EXPECT_NEAR(std::hypot(d[0], d[1], d[2]), std::hypot(r.east, r.north, r.up), 0.06e-3) << r.name;
    EXPECT_NEAR((d[0] * pos[0] + d[1] * pos[1] + d[2] * pos[2]) / r0, -r.up, 0.06e-3) << r.name;
  }
}

}  // namespace
