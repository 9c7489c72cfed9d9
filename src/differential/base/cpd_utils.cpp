#include "differential/base/cpd_utils.h"

#include <cmath>

#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/geodesy/datum_in_use.h"

CpdUtilsImp CpdUtilsInstance;

namespace cpdutil {
namespace {
// First number and count of each system in the model's numbering.
struct SysRange {
  int first;
  int count;
};
constexpr SysRange kSysRange[CpdSv::kSysNum] = {{1, 32}, {-7, 15}, {1, 36}, {120, 28}, {193, 7}, {1, 63}, {1, 14}};
}  // namespace

int svIndex(const CpdSv& sv) {
  if (sv.sys >= CpdSv::kSysNum) return -1;
  const int i = sv.num - kSysRange[sv.sys].first;
  return i >= 0 && i < kSysRange[sv.sys].count ? i : -1;
}

bool storeId(const CpdSv& sv, SvIdType& id) {
  const int i = svIndex(sv);
  if (i < 0) return false;
  id = SvIdType{static_cast<std::uint8_t>(i), sv.sys, 0, kSvUnknown};
  return id.isValidSi();
}

double polyTime(int sys, double t) {
  if (sys == CpdSv::kSbas) {
    const double d = std::fmod(t, kDaySec);
    return d < 0.0 ? d + kDaySec : d;
  }
  // The store folds differences over the cycle, so a time just after the GPS week start may
  // come out negative here.
  if (sys == CpdSv::kBeidou) return t - kBdsGpsOffset;
  return t;
}
}  // namespace cpdutil

namespace {

// The polynomial entry at t with its offset dt from the entry's reference; copied out so the
// store's lock is held only while reading. An entry whose record carries the alert flag is none.
bool takeEntry(const CpdSv& sv, double t, bool healthyOnly, int iod, SatData::PolynomEntryType& e, double& dt) {
  SvIdType id;
  if (!cpdutil::storeId(sv, id)) return false;
  std::uint8_t status = 0;
  std::uint16_t want = iod < 0 ? kPolyNoIod : static_cast<std::uint16_t>(iod);
  int dataType = 0;
  float acc = 0.0f;
  const SatData::PolynomEntryType* p = SatPolynomStoreInstance.get_PolynomData(
      id, cpdutil::polyTime(sv.sys, t), healthyOnly, false, &status, &want, &dataType, &acc, &dt);
  if (p == nullptr) return false;
  e = *p;
  SatPolynomStoreInstance.free_PolynomData();
  if (iod >= 0 && e.iod != static_cast<std::uint16_t>(iod)) return false;
  return !SatDataProcessorInstance.get_AlertFlag(id, dataType);
}

double entryClock(const SatData::PolynomEntryType& e, double dt) {
  return e.clkOffset + static_cast<double>(e.clkDrift) * dt + e.rel[0] +
         static_cast<double>(e.rel[1]) * (dt - 0.5 * e.span);
}

const NavTask::DATUM_IN_USE& wgs84() {
  static NavTask::DATUM_IN_USE d{};
  static const bool ok = assignDatum("W84", &d);
  (void)ok;
  return d;
}

}  // namespace

namespace cpdutil {
bool satState(const CpdSv& sv, double t, bool healthyOnly, int iod, double pos[3], double vel[3], double& clk,
              std::uint16_t& iodOut) {
  SatData::PolynomEntryType e;
  double dt = 0.0;
  if (!takeEntry(sv, t, healthyOnly, iod, e, dt)) return false;
  clk = entryClock(e, dt);
  // The polynomial runs on system time; t is the satellite's own time.
  eval_Polynom(e, dt - clk, pos, vel, nullptr);
  for (int k = 0; k < 3; ++k)
    if (SatDataProcessorInstance.bDebugInverseCoordinate(k)) {
      pos[k] = -pos[k];
      vel[k] = -vel[k];
    }
  iodOut = e.iod;
  return true;
}
}  // namespace cpdutil

int CpdUtilsImp::svPos(const CpdSv& sv, double t, bool healthyOnly, CpdCPos& pos, CpdCVel& vel, double& clk,
                       int iod) {
  double p[3], v[3], c = 0.0;
  std::uint16_t got = 0;
  if (!cpdutil::satState(sv, t, healthyOnly, iod, p, v, c, got)) return kNoData;
  pos = CpdCPos{p[0], p[1], p[2]};
  vel = CpdCVel{v[0], v[1], v[2]};
  clk = c;
  return kOk;
}

int CpdUtilsImp::getTimeCor(const CpdSv& sv, double t, int iod, double& corr) {
  SatData::PolynomEntryType e;
  double dt = 0.0;
  if (!takeEntry(sv, t, false, iod, e, dt)) return kNoData;
  corr = entryClock(e, dt);
  return kOk;
}

int CpdUtilsImp::getIssue(const CpdSv& sv, int& iode, int& iodc, double t) {
  SvIdType id;
  if (!cpdutil::storeId(sv, id)) return kNoData;
  std::uint16_t iod[2] = {kPolyNoIod, kPolyNoIod};
  if (SatPolynomStoreInstance.get_IssueOfData(id, cpdutil::polyTime(sv.sys, t), iod) != 0) return kNoData;
  const int e = iod[0] == kPolyNoIod ? -1 : iod[0];
  int c = iod[1] == kPolyNoIod ? -1 : iod[1];
  if (c < 0) c = e;
  if (e < 0 && c < 0) return kNoData;
  iode = e;
  iodc = c;
  return kOk;
}

CpdGPos CpdUtilsImp::xyz2geo(const CpdCPos& p) {
  CpdGPos g;
  EllMath::XYZ_BLH(wgs84().ell, p.x, p.y, p.z, g.lat, g.lon, g.h);
  return g;
}
