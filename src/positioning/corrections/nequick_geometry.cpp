#include "positioning/corrections/nequick_geometry.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kHalfPi = 1.57079632679489661923;

double slantDistance(double rp, double heightKm) {
  const double r = kNeQuickEarthRadiusKm + heightKm;
  return std::sqrt(std::fabs(r * r - rp * rp));
}

void setPoint(const GeometryOfRayType& g, double s, NeRayPointType& p) {
  p.dS = s;
  compute_NePointCoord(g, s, p.dLat, p.dLon, p.dH);
}

}  // namespace

bool compute_GeometryOfRay(double rcvLat, double rcvLon, double rcvH, double satLat, double satLon,
                           double satH, GeometryOfRayType& g) {
  g = GeometryOfRayType{};
  const double r1 = kNeQuickEarthRadiusKm + rcvH, r2 = kNeQuickEarthRadiusKm + satH;
  if (!(r1 > 0.0) || !(r2 > r1)) return false;
  const double h0 = std::max(rcvH, 0.0);
  const double dLonDeg = std::remainder((satLon - rcvLon) * 180.0 / 3.14159265358979323846, 360.0);
  if (std::fabs(satLat - rcvLat) * 180.0 / 3.14159265358979323846 < 1e-5 && std::fabs(dLonDeg) < 1e-5) {
    g.bVertical = true;
  } else {
    const double sl1 = std::sin(rcvLat), cl1 = std::cos(rcvLat);
    const double sl2 = std::sin(satLat), cl2 = std::cos(satLat);
    const double dl = satLon - rcvLon;
    const double cd = std::clamp(sl1 * sl2 + cl1 * cl2 * std::cos(dl), -1.0, 1.0);
    const double sd = std::sqrt(1.0 - cd * cd);
    const double zeta = std::atan2(sd, cd - r1 / r2);  // zenith angle at the receiver
    g.dRp = r1 * std::sin(zeta);
    if (zeta > kHalfPi && g.dRp < kNeQuickEarthRadiusKm) return false;
    g.bVertical = g.dRp < 0.1;
    if (!g.bVertical) {
      // Azimuth at the receiver, then the perigee one (90 deg - zenith) away along it.
      const double ss = std::sin(dl) * cl2 / sd;
      const double cs = (sl2 - cd * sl1) / sd / cl1;
      const double dp = kHalfPi - zeta;
      const double sdp = std::sin(dp), cdp = std::cos(dp);
      g.dSinLatP = std::clamp(sl1 * cdp - cl1 * sdp * cs, -1.0, 1.0);
      g.dCosLatP = std::sqrt(1.0 - g.dSinLatP * g.dSinLatP);
      g.dLatP = std::asin(g.dSinLatP);
      const double sLam = -ss * sdp / g.dCosLatP;
      const double cLam = (cdp - sl1 * g.dSinLatP) / cl1 / g.dCosLatP;
      g.dLonP = std::atan2(sLam, cLam) + rcvLon;
      if (std::fabs(std::fabs(g.dLatP) - kHalfPi) < 1e-10 * 3.14159265358979323846 / 180.0) {
        // The perigee at a pole: every direction is south (north).
        g.dSinAzP = 0.0;
        g.dCosAzP = g.dLatP > 0 ? -1.0 : 1.0;
      } else {
        const double dlp = satLon - g.dLonP;
        const double cpsi = std::clamp(g.dSinLatP * sl2 + g.dCosLatP * cl2 * std::cos(dlp), -1.0, 1.0);
        const double spsi = std::sqrt(1.0 - cpsi * cpsi);
        g.dSinAzP = cl2 * std::sin(dlp) / spsi;
        g.dCosAzP = (sl2 - g.dSinLatP * cpsi) / (spsi * g.dCosLatP);
      }
    }
  }
  if (g.bVertical) {
    g.dRp = 0.0;
    g.dLatP = rcvLat;
    g.dLonP = rcvLon;
    g.dSinLatP = std::sin(rcvLat);
    g.dCosLatP = std::cos(rcvLat);
    setPoint(g, h0, g.rcv);
    setPoint(g, kNeQuickFirstPointKm, g.p1000);
    setPoint(g, kNeQuickSecondPointKm, g.p2000);
    setPoint(g, satH, g.sat);
    return true;
  }
  setPoint(g, slantDistance(g.dRp, h0), g.rcv);
  setPoint(g, slantDistance(g.dRp, kNeQuickFirstPointKm), g.p1000);
  setPoint(g, slantDistance(g.dRp, kNeQuickSecondPointKm), g.p2000);
  setPoint(g, slantDistance(g.dRp, satH), g.sat);
  return true;
}

void compute_NePointCoord(const GeometryOfRayType& g, double s, double& lat, double& lon, double& h) {
  if (g.bVertical) {
    lat = g.dLatP;
    lon = g.dLonP;
    h = s;
    return;
  }
  const double r = std::sqrt(s * s + g.dRp * g.dRp);
  h = std::max(r - kNeQuickEarthRadiusKm, 0.0);
  const double t = s / g.dRp;
  const double cd = 1.0 / std::sqrt(1.0 + t * t), sd = t * cd;
  const double sLat = std::clamp(g.dSinLatP * cd + g.dCosLatP * sd * g.dCosAzP, -1.0, 1.0);
  lat = std::asin(sLat);
  lon = std::atan2(sd * g.dSinAzP * g.dCosLatP, cd - g.dSinLatP * sLat) + g.dLonP;
}
