// The correction request of an epoch: the satellites in view chosen highest first, with their
// ionospheric pierce points.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "navigation_data/store/sat_visibility.h"
#include "positioning/corrections/sat_corr_processor.h"

namespace {

constexpr double kDegToRad = 0.017453292;  // as the stages convert the visibility angles
constexpr double kRadToDeg = 180.0 / std::numbers::pi;

double clampUnit(double x) { return std::clamp(x, -1.0, 1.0); }

// Degrees into -180 <= lon < 180, also after the rounding into a float.
float wrapLongitude(double deg) {
  double d = std::fmod(deg + 180.0, 360.0);
  if (d < 0) d += 360.0;
  const float f = static_cast<float>(d - 180.0);
  return f >= 180.0f ? -180.0f : f;
}

}  // namespace

void compute_PiercePoint(double lat, double lon, float elev, float azim, double shellHeight, float* ippLat,
                         float* ippLon, float* obliquity) {
  const double e = elev;
  const double a = azim;
  const double rp = kIppEarthRadius / (kIppEarthRadius + shellHeight) * std::cos(e);
  // Earth central angle between the receiver and the pierce point.
  const double psi = std::numbers::pi / 2 - e - std::asin(clampUnit(rp));
  const double sinLat = std::sin(lat), cosLat = std::cos(lat);
  const double sinPsi = std::sin(psi), cosPsi = std::cos(psi);
  const double sinPp = clampUnit(sinLat * cosPsi + cosLat * sinPsi * std::cos(a));
  const double latPp = std::asin(sinPp);
  // sin and cos of the longitude offset, both times cos(latPp): no division, so neither a pierce
  // point at the pole nor an argument past 1 needs a case of its own, and the quadrant follows
  // from the signs (the published form's across-the-pole branch). From the pole itself the
  // azimuth counts from the meridian of the receiver's longitude.
  const double dLon = std::atan2(sinPsi * std::sin(a), cosPsi * cosLat - sinLat * sinPsi * std::cos(a));
  if (ippLat != nullptr) *ippLat = static_cast<float>(latPp * kRadToDeg);
  if (ippLon != nullptr) *ippLon = wrapLongitude((lon + dLon) * kRadToDeg);
  if (obliquity != nullptr) *obliquity = static_cast<float>(1.0 / std::sqrt(1.0 - rp * rp));
}

void SatelliteCorrectionProcessor::compute_IPP(float elev, float azim, double shellHeight, float* ippLat,
                                               float* ippLon, float* obliquity) const {
  compute_PiercePoint(work_->position.dLat, work_->position.dLon, elev, azim, shellHeight, ippLat, ippLon, obliquity);
}

bool SatelliteCorrectionProcessor::check_SourceElevation(const SvIdType& sv, float minElevDeg) const {
  SatData::SatVisibilityType v;
  if (!SatVisibilityStoreInstance.TakeEph(sv, &v) || v.valid == 0) return true;
  return !(v.elevation < minElevDeg);
}

void SatelliteCorrectionProcessor::prepare_CorrectionRequest() {
  SatCorrWorkArea& w = *work_;
  CorrData::CorrectionRequestType& req = w.request;
  req.rcvTime = w.rcvTime;
  req.position = w.position;

  // Candidates in system-then-index order.
  int n = 0;
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    for (int si = 0; si < SYS_SI_NUM[sys]; ++si) {
      SvIdType id;
      id.sys = static_cast<std::uint8_t>(sys);
      id.si = static_cast<std::uint8_t>(si);
      SatData::SatVisibilityType v;
      if (!SatVisibilityStoreInstance.TakeEph(id, &v) || v.valid == 0) continue;
      // A satellite placed by its almanac alone has no ephemeris to correct.
      if (v.status == SatData::SatVisibilityType::kStatusNoEphemeris) continue;
      CorrData::RequestSatDataType& c = w.candidate[n++];
      for (int k = 0; k < 3; ++k) {
        c.dLos[k] = v.los[k];
        c.dSatPos[k] = v.satPos[k];
        c.fSatVel[k] = v.satVel[k];
      }
      c.fRangeVar = v.variance;
      c.fElevation = v.elevation;
      c.fAzimuth = v.azimuth;
      c.svId = id;
      c.svId.sat = v.almId.sat;
      c.uIod = v.iod;
      compute_IPP(static_cast<float>(v.elevation * kDegToRad), static_cast<float>(v.azimuth * kDegToRad),
                  kIppShellHeight, &c.fIppLat, &c.fIppLon, &c.fObliquity);
    }
  }
  w.uCandidates = static_cast<std::uint16_t>(n);

  // Highest first; of equal elevations the earlier candidate, that is system-then-index order. An
  // elevation not above -90 deg (or not a number) is never taken.
  std::uint8_t order[SYS_SI_TOTAL];
  int m = 0;
  for (int i = 0; i < n; ++i)
    if (w.candidate[i].fElevation > -90.0f) order[m++] = static_cast<std::uint8_t>(i);
  std::sort(order, order + m, [&w](std::uint8_t a, std::uint8_t b) {
    const float ea = w.candidate[a].fElevation, eb = w.candidate[b].fElevation;
    return ea > eb || (ea == eb && a < b);
  });
  req.uCount = static_cast<std::uint16_t>(std::min(m, CorrData::kMaxRequestSats));
  for (int i = 0; i < req.uCount; ++i) req.sat[i] = w.candidate[order[i]];
}
