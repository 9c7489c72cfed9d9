#include "navigation_data/orbits/galileo_eph.h"

#include <cmath>
#include <cstring>

#include <cstddef>

double get_GalEphemerisAccuracy(int sisa) {
  if (sisa < 0 || sisa > 125) return 20000.0;
  if (sisa < 50) return sisa * 0.01;
  if (sisa < 75) return 0.5 + (sisa - 50) * 0.02;
  if (sisa < 100) return 1.0 + (sisa - 75) * 0.04;
  return 2.0 + (sisa - 100) * 0.16;
}

bool is_GalEphemerisPlausible(const ZRT_EPH_GAL& e) {
  // Written so that NaN fields fail.
  return std::fabs(e.i0 - kGalInclination) <= kGalInclinationTol &&
         std::fabs(e.sqrtA - kGalNominalSqrtA) <= kGalSqrtATol;
}

bool is_GalEphemerisHealthy(const ZRT_EPH_GAL& e, int dataType) {
  if (dataType == kGalNavE5a) return (e.health & 0x07) == 0;  // E5a DVS, E5a HS
  bool e1b = (e.navTypes & (1u << kGalNavE1B)) != 0;
  bool e5b = (e.navTypes & (1u << kGalNavE5b)) != 0;
  if (!e1b && !e5b) e1b = e5b = true;  // an external record names no signal: both count
  if (e1b && (e.health & 0x0D) != 0) return false;  // E1-B DVS bit 0, HS bits 2-3
  if (e5b && (e.health & 0x32) != 0) return false;  // E5b DVS bit 1, HS bits 4-5
  return true;
}

ZRT_EPH_GPS to_GpsTypeEphemeris(const ZRT_EPH_GAL& e) {
  static_assert(offsetof(ZRT_EPH_GAL, cis) == offsetof(ZRT_EPH_GPS, cis) &&
                offsetof(ZRT_EPH_GAL, sqrtA) == offsetof(ZRT_EPH_GPS, sqrtA) &&
                offsetof(ZRT_EPH_GAL, toe) == offsetof(ZRT_EPH_GPS, toe) &&
                offsetof(ZRT_EPH_GAL, af0) == offsetof(ZRT_EPH_GPS, af0));
  ZRT_EPH_GPS g{};
  std::memcpy(&g, &e, offsetof(ZRT_EPH_GPS, cis) + sizeof g.cis);
  g.flags = 0;  // no CNAV terms
  g.ura = 0;    // the accuracy is the SISA's, set by the caller
  return g;
}

void update_GalTgd(const ZRT_EPH_GAL& e, int dataType, bool preferE5a, float delay[6], std::uint8_t source[6]) {
  auto put = [&](int field, double v, std::uint8_t src) {
    if (src == 1 && source[field] == 2) return;
    delay[field] = static_cast<float>(v);
    source[field] = src;
  };
  const double a = e.bgdE1E5a, b = e.bgdE1E5b;
  if (dataType == kGalNavE5a || preferE5a) {
    put(kGalTgdRef, a, 2);
    put(kGalTgdE5a, kGammaE5a * a, 2);
    if (dataType != kGalNavE5a) put(kGalTgdE5b, a + (kGammaE5b - 1) * b, 1);
  } else {
    put(kGalTgdRef, b, 2);
    put(kGalTgdE5b, kGammaE5b * b, 2);
    put(kGalTgdE5a, b + (kGammaE5a - 1) * a, 1);
  }
}

bool is_GalAlmanacUsable(const ZRT_ALM_GAL& a) {
  if (a.health == kGalAlmDummy || a.marker == kGalAlmDummy || (a.config & kGalAlmNoConfig) != 0) return false;
  if (!(std::fabs(a.sqrtA - kGalNominalSqrtA) <= kGalSqrtATol)) return false;
  return a.health == 0;
}

double get_GalAlmanacTimeDiff(const ZRT_ALM_GAL& incoming, const ZRT_ALM_GAL& stored) {
  int dw = (incoming.week - stored.week) % 1024;
  double dt = dw * 604800.0 + (incoming.toa - stored.toa);
  if (dw > 512) dt -= 619315200.0;
  if (dw < -512) dt += 619315200.0;
  return dt;
}

bool merge_GalAlmanac(const ZRT_ALM_GAL& incoming, int dataType, const ZRT_ALM_GAL* storedUsable,
                      ZRT_ALM_GAL& out) {
  out = incoming;
  if (storedUsable == nullptr) return true;
  if (get_GalAlmanacTimeDiff(incoming, *storedUsable) <= 0) return false;
  // Each message type carries the health of its own signals only.
  const std::uint8_t keep = dataType == kGalNavE5a ? 0x0F : 0x30;
  out.health = static_cast<std::uint8_t>((incoming.health & ~keep) | (storedUsable->health & keep));
  return true;
}

ZRT_ALM_GPS to_GpsTypeAlmanac(const ZRT_ALM_GAL& a) {
  ZRT_ALM_GPS g{};
  g.prn = a.svid;
  g.toa = a.toa;
  g.week = a.week;
  g.health = a.health;
  g.af1 = a.af1;
  g.af0 = a.af0;
  g.sqrtA = a.sqrtA;
  g.e = a.e;
  g.M0 = a.M0;
  g.Omega0 = a.Omega0;
  g.omega = a.omega;
  g.deltaI = a.deltaI;
  g.OmegaDot = a.OmegaDot;
  return g;
}

bool get_GalGpsDifference(const ZRT_UTC_GAL& u, int week, double tow, double* delta) {
  if (u.ggtoValid == 0 || delta == nullptr) return false;
  // WN0G has 6 bits: the week difference is taken modulo 64, nearest to zero.
  int dw = (week - u.WN0G) % 64;
  if (dw < 0) dw += 64;
  if (dw >= 32) dw -= 64;
  *delta = u.A0G + u.A1G * (tow - u.t0G + 604800.0 * dw);
  return true;
}

GalNeQuickParams get_GalNeQuickParams(const ZRT_EPH_GAL& e) {
  GalNeQuickParams p{};
  p.ai[0] = e.ai0;
  p.ai[1] = e.ai1;
  p.ai[2] = e.ai2;
  p.disturbanceFlags = e.ionoFlags;
  p.towMs = e.tow * 1000u;
  p.week10 = static_cast<std::uint16_t>(e.week & 1023);
  return p;
}
