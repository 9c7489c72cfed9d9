// Satellite position and clock of the carrier-phase services for BeiDou, Galileo and QZSS
// against the broadcast orbit evaluated here from the published interface documents (each
// system's own gravitational constant, earth rotation rate and relativistic constant; BeiDou
// GEOs through the 5-degree inclined reference frame), records of BRD400DLR 2023-071.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "differential/base/cpd_utils.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "unit/navigation_data/beidou_test_util.h"
#include "unit/navigation_data/gal_test_util.h"
#include "unit/navigation_data/lnav_test_util.h"
#include "unit/own_process.h"

namespace {

constexpr double kPi = 3.1415926535898;
const std::string kFile = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";

struct Consts {
  double mu, we, F;
};
Consts constsOf(int sys) {
  if (sys == CpdSv::kBeidou) return {3.986004418e14, 7.2921150e-5, -4.44280730904e-10};
  if (sys == CpdSv::kGalileo) return {3.986004418e14, 7.2921151467e-5, -4.442807309e-10};
  return {3.986005e14, 7.2921151467e-5, -4.442807633e-10};
}

double wrapWeek(double d) { return d > 302400 ? d - 604800 : d < -302400 ? d + 604800 : d; }

// Position at system time t (s of week) and the clock (relativistic term included) there.
void broadcast(int sys, const ZRT_EPH_GPS& e, double t, double pos[3], double& clock) {
  const Consts c = constsOf(sys);
  const double A = e.sqrtA * e.sqrtA, tk = wrapWeek(t - e.toe);
  const double M = e.M0 * kPi + (std::sqrt(c.mu / (A * A * A)) + e.deltaN * kPi) * tk;
  double E = M;
  for (int k = 0; k < 60; ++k) E = M + e.e * std::sin(E);
  const double nu = std::atan2(std::sqrt(1 - e.e * e.e) * std::sin(E), std::cos(E) - e.e);
  const double phi = nu + e.omega * kPi;
  const double u = phi + e.cus * std::sin(2 * phi) + e.cuc * std::cos(2 * phi);
  const double r = A * (1 - e.e * std::cos(E)) + e.crs * std::sin(2 * phi) + e.crc * std::cos(2 * phi);
  const double i = e.i0 * kPi + e.idot * kPi * tk + e.cis * std::sin(2 * phi) + e.cic * std::cos(2 * phi);
  const double x = r * std::cos(u), y = r * std::sin(u);
  const bool geo = sys == CpdSv::kBeidou && (e.prn <= 5 || e.prn >= 59);
  const double Om = e.Omega0 * kPi + (e.OmegaDot * kPi - (geo ? 0.0 : c.we)) * tk - c.we * e.toe;
  const double X = x * std::cos(Om) - y * std::cos(i) * std::sin(Om);
  const double Y = x * std::sin(Om) + y * std::cos(i) * std::cos(Om);
  const double Z = y * std::sin(i);
  if (geo) {
    const double f = -5.0 * kPi / 180.0, z = c.we * tk;
    const double y1 = std::cos(f) * Y + std::sin(f) * Z, z1 = -std::sin(f) * Y + std::cos(f) * Z;
    pos[0] = std::cos(z) * X + std::sin(z) * y1;
    pos[1] = -std::sin(z) * X + std::cos(z) * y1;
    pos[2] = z1;
  } else {
    pos[0] = X;
    pos[1] = Y;
    pos[2] = Z;
  }
  const double dt = wrapWeek(t - e.toc);
  clock = e.af0 + e.af1 * dt + e.af2 * dt * dt + c.F * e.e * e.sqrtA * std::sin(E);
}

// The GPS-layout record (angles in semicircles) from a RINEX line set; v in RINEX order.
ZRT_EPH_GPS fromRinex(int prn, int toc, const double* v) {
  ZRT_EPH_GPS e{};
  e.prn = static_cast<std::uint8_t>(prn);
  e.toc = toc;
  e.af0 = v[0];
  e.af1 = static_cast<float>(v[1]);
  e.af2 = static_cast<float>(v[2]);
  e.iode = static_cast<std::uint16_t>(v[3]);
  e.crs = static_cast<float>(v[4]);
  e.deltaN = static_cast<float>(v[5] / kPi);
  e.M0 = v[6] / kPi;
  e.cuc = static_cast<float>(v[7]);
  e.e = v[8];
  e.cus = static_cast<float>(v[9]);
  e.sqrtA = v[10];
  e.toe = static_cast<std::uint32_t>(v[11]);
  e.cic = static_cast<float>(v[12]);
  e.Omega0 = v[13] / kPi;
  e.cis = static_cast<float>(v[14]);
  e.i0 = v[15] / kPi;
  e.crc = static_cast<float>(v[16]);
  e.omega = v[17] / kPi;
  e.OmegaDot = static_cast<float>(v[18] / kPi);
  e.idot = static_cast<float>(v[19] / kPi);
  return e;
}

struct SysRow {
  const char* name;
  int sys;        // CpdSv
  int storeSys;   // kSys*
  int prns[4];    // system numbers (QZSS 193..)
  double shift;   // GPS-based time minus the system's time
};
const SysRow kRows[] = {
    {"BeiDou GEO, IGSO, MEO", CpdSv::kBeidou, kSysBeidou, {2, 8, 12, 25}, 14.0},
    {"Galileo", CpdSv::kGalileo, kSysGalileo, {1, 7, 19, 33}, 0.0},
    {"QZSS", CpdSv::kQzss, kSysQzss, {194, 195, 196, 199}, 0.0},
};

// The first healthy record of the satellite with toe at least 2 h into the week; false if none.
bool firstRecord(int sys, int prn, ZRT_EPH_GPS& out) {
  if (sys == CpdSv::kBeidou) {
    static const auto recs = bdstest::readRinexBds(kFile);
    for (const auto& r : recs)
      if (r.prn == prn && r.v[bdstest::kSatH1] == 0 && r.v[bdstest::kToe] >= 7200) {
        out = fromRinex(prn, r.tocSow, r.v);
        out.iode = static_cast<std::uint16_t>(r.v[bdstest::kAode]);
        return true;
      }
  } else if (sys == CpdSv::kGalileo) {
    static const auto recs = galtest::readRinexGal(kFile);
    for (const auto& r : recs)
      if (r.svid == prn && !r.fnav && r.v[galtest::kHealth] == 0 && r.v[galtest::kToe] >= 7200) {
        out = fromRinex(prn, r.tocSow, r.v);
        return true;
      }
  } else {
    static const auto recs = lnavtest::readRinexNav(kFile, 'J');
    for (const auto& r : recs)
      if (r.prn == prn && r.v[24] == 0 && r.v[11] >= 7200) {
        out = fromRinex(prn, r.tocSow, r.v);
        return true;
      }
  }
  return false;
}

class CpdUtilsBrd400 : public testing::Test {
 protected:
  void SetUp() override { SatPolynomStoreInstance.Init(); }
  void TearDown() override { SatPolynomStoreInstance.Init(); }
};

// Polynomials built at the record's start, middle and end of fit, each checked over its span:
// the caller's GPS-based time t is the satellite's own time plus the system offset, the orbit
// taken at system time minus the clock.
TEST_F(CpdUtilsBrd400, PositionAndClockMatchTheBroadcastOrbit) {
  testproc::inOwnProcess([&] {
    for (const SysRow& row : kRows) {
      int checked = 0;
      for (int prn : row.prns) {
        SCOPED_TRACE(testing::Message() << row.name << " " << prn);
        ZRT_EPH_GPS eph{};
        ASSERT_TRUE(firstRecord(row.sys, prn, eph));
        const CpdSv sv = CpdSv::make(row.sys, prn);
        ASSERT_NE(sv.id, 0);
        const int si = row.sys == CpdSv::kQzss ? prn - 193 : prn - 1;
        const SvIdType id{static_cast<std::uint8_t>(si), static_cast<std::uint8_t>(row.storeSys), 0,
                          static_cast<std::uint8_t>(si)};
        for (double off : {-3600.0, 0.0, 3540.0}) {
          PolyNodeRing ring;
          bool computed = false;
          SatData::PolynomSetType set{};
          ASSERT_TRUE(update_SatellitePolynom(row.storeSys, eph, eph.toe + off, ring, computed, set.entry[0]));
          set.entry[0].iod = eph.iode;
          set.entry[1].iod = kPolyNoIod;
          ASSERT_TRUE(SatPolynomStoreInstance.Put(id, &set));
          const SatData::PolynomEntryType& e = set.entry[0];
          for (double f : {0.0, 0.3, 0.5, 0.8, 1.0}) {
            const double ts = e.refTime + f * e.span;  // the system's time
            const double t = ts + row.shift;
            CpdCPos pos;
            CpdCVel vel;
            double clk = 0.0;
            ASSERT_EQ(CpdUtilsInstance.svPos(sv, t, false, pos, vel, clk, CpdUtils::kAnyIod), CpdUtils::kOk)
                << off << " " << f;
            double p[3], clock = 0.0, c1 = 0.0;
            broadcast(row.sys, eph, ts, p, c1);
            broadcast(row.sys, eph, ts - c1, p, clock);
            broadcast(row.sys, eph, ts - clock, p, c1);
            EXPECT_NEAR(clk, clock, 1e-11) << off << " " << f;
            EXPECT_NEAR(pos.x, p[0], 5e-3) << off << " " << f;
            EXPECT_NEAR(pos.y, p[1], 5e-3) << off << " " << f;
            EXPECT_NEAR(pos.z, p[2], 5e-3) << off << " " << f;
            double corr = 0.0;
            ASSERT_EQ(CpdUtilsInstance.getTimeCor(sv, t, eph.iode, corr), CpdUtils::kOk);
            EXPECT_NEAR(corr, clock, 1e-11);
            ++checked;
          }
        }
      }
      EXPECT_EQ(checked, 4 * 3 * 5) << row.name;
    }
  });
}

}  // namespace
