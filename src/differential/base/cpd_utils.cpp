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

constexpr double kTwoPi = 6.283185307179586;

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

CpdGPosTrig CpdGPosTrig::of(const CpdGPos& g) {
  return CpdGPosTrig{std::sin(g.lat), std::cos(g.lat), std::sin(g.lon), std::cos(g.lon)};
}

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

int CpdUtilsImp::sys2sys(CpdSv::Sys, CpdSv::Sys, CpdCPos&, CpdCVel&) { return kOk; }

int CpdUtilsImp::getTimeCor(const CpdSv& sv, double t, int iod, double& corr) {
  SatData::PolynomEntryType e;
  double dt = 0.0;
  if (!takeEntry(sv, t, false, iod, e, dt)) return kNoData;
  corr = entryClock(e, dt);
  return kOk;
}

int CpdUtilsImp::getTimeCorDt(const CpdSv& sv, int iod, double& drift) {
  SvIdType id;
  if (!cpdutil::storeId(sv, id)) return kNoData;
  std::uint8_t status = 0;
  std::uint16_t want = iod < 0 ? kPolyNoIod : static_cast<std::uint16_t>(iod);
  int dataType = 0;
  const SatData::PolynomEntryType* p = SatPolynomStoreInstance.get_PolynomData(id, false, &status, &want, &dataType);
  if (p == nullptr) return kNoData;
  const SatData::PolynomEntryType e = *p;
  SatPolynomStoreInstance.free_PolynomData();
  if (iod >= 0 && e.iod != static_cast<std::uint16_t>(iod)) return kNoData;
  drift = e.clkDrift;
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

CpdElAz CpdUtilsImp::elevAzim(const CpdCPos& los, const CpdGPosTrig& g) {
  const double e = -g.sinLon * los.x + g.cosLon * los.y;
  const double n = -g.sinLat * g.cosLon * los.x - g.sinLat * g.sinLon * los.y + g.cosLat * los.z;
  const double u = g.cosLat * g.cosLon * los.x + g.cosLat * g.sinLon * los.y + g.sinLat * los.z;
  double az = std::atan2(e, n);
  if (az < 0.0) az += kTwoPi;
  CpdElAz r;
  r.elev = static_cast<float>(std::atan2(u, std::sqrt(e * e + n * n)));
  r.azim = static_cast<float>(az);
  // The float of a value just below 2 pi rounds up to it.
  if (r.azim >= static_cast<float>(kTwoPi)) r.azim = 0.0f;
  return r;
}

CpdGPos CpdUtilsImp::xyz2geo(const CpdCPos& p) {
  CpdGPos g;
  EllMath::XYZ_BLH(wgs84().ell, p.x, p.y, p.z, g.lat, g.lon, g.h);
  return g;
}

CpdCPos CpdUtilsImp::geo2xyz(const CpdGPos& g) {
  CpdCPos p;
  EllMath::BLH_XYZ(wgs84().ell, g.lat, g.lon, g.h, p.x, p.y, p.z);
  return p;
}

void CpdUtilsImp::enu2xyz(const CpdGPosTrig& g, const float* enu, float* xyz) {
  const double e = enu[0], n = enu[1], u = enu[2];
  xyz[0] = static_cast<float>(-g.sinLon * e - g.sinLat * g.cosLon * n + g.cosLat * g.cosLon * u);
  xyz[1] = static_cast<float>(g.cosLon * e - g.sinLat * g.sinLon * n + g.cosLat * g.sinLon * u);
  xyz[2] = static_cast<float>(g.cosLat * n + g.sinLat * u);
}

void CpdUtilsImp::xyz2enu(const CpdGPosTrig& g, float* enu, const float* xyz) {
  const double x = xyz[0], y = xyz[1], z = xyz[2];
  enu[0] = static_cast<float>(-g.sinLon * x + g.cosLon * y);
  enu[1] = static_cast<float>(-g.sinLat * g.cosLon * x - g.sinLat * g.sinLon * y + g.cosLat * z);
  enu[2] = static_cast<float>(g.cosLat * g.cosLon * x + g.cosLat * g.sinLon * y + g.sinLat * z);
}
