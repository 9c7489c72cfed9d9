#include "navigation_data/orbits/sbas_qzss_eph.h"

#include <cmath>

#include "navigation_data/store/sat_data_store.h"

namespace {

constexpr int kDaySec = 86400;
constexpr double kSbasHalfSpan = 180.0;
constexpr int kUraNoPrediction = 15;  // URA index: no accuracy prediction
// URA by index (m): the LNAV values, which SBAS keeps a copy of.
constexpr double kSbasUraTable[15] = {2.0, 2.8, 4.0, 5.7, 8.0, 11.3, 16.0, 32.0, 64.0, 128.0,
                                      256.0, 512.0, 1024.0, 2048.0, 4096.0};
constexpr double kUraNoAccuracy = 20000.0;

bool geoRadius(const double p[3]) {
  const double r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
  return std::fabs(r - kSbasGeoRadius) <= kSbasGeoRadiusTol;
}

// A derived value (source 1) never replaces a broadcast one (source 2).
void setDelay(float delay[6], std::uint8_t source[6], int field, double value, std::uint8_t src) {
  if (src == 1 && source[field] == 2) return;
  delay[field] = static_cast<float>(value);
  source[field] = src;
}

}  // namespace

bool is_SbasEphemerisPlausible(const ZRT_EPH_SBA& e) { return geoRadius(e.pos); }

bool is_SbasAlmanacUsable(const ZRT_ALM_SBA& a) { return geoRadius(a.pos); }

bool is_SbasAlmanacHealthy(const ZRT_ALM_SBA& a) { return (a.health & 1) == 0; }

bool is_QzssEphemerisPlausible(const ZRT_EPH_QZS& e) {
  if (std::fabs(e.sqrtA - kQzssPlausibleSqrtA) > kQzssPlausibleSqrtATol) return false;
  if (std::fabs(e.i0) > kQzssGeoInclination && std::fabs(e.i0 - kQzssInclination) > kQzssInclinationTol) {
    return false;
  }
  return (e.health & kQzssHealthBadData) == 0;
}

bool is_QzssEphemerisHealthy(const ZRT_EPH_QZS& e) { return (e.health & kQzssHealthSignals) == 0; }

bool is_QzssAlmanacUsable(const ZRT_ALM_GPS& a) {
  return a.marker != '?' && a.config >= 0 && std::fabs(a.sqrtA - kQzssPlausibleSqrtA) <= kQzssPlausibleSqrtATol;
}

bool compute_SbasSatPosByAlmanac(const ZRT_ALM_SBA& a, double pos[3], float vel[3], double* clock, double* drift) {
  for (int k = 0; k < 3; ++k)
    if (!std::isfinite(a.pos[k]) || !std::isfinite(a.vel[k])) return false;
  for (int k = 0; k < 3; ++k) {
    pos[k] = a.pos[k];
    vel[k] = a.vel[k];
  }
  if (clock != nullptr) *clock = 0;
  if (drift != nullptr) *drift = 0;
  return true;
}

SbasRecordTime get_SbasRecordTime(const ZRT_EPH_SBA& e) {
  SbasRecordTime t;
  t.day = static_cast<std::int32_t>(e.week) * 7 + static_cast<std::int32_t>(e.tow / kDaySec);
  t.secOfDay = static_cast<std::int32_t>(e.tow % kDaySec);
  t.cycle = SatelliteDataProcessor::get_ToeCycleNum(kSysSbas, static_cast<std::int32_t>(e.t0), t.secOfDay, t.day);
  return t;
}

double get_SbasEphemerisAccuracy(int uraIndex) {
  if (uraIndex > kUraNoPrediction) return 0.0;
  return uraIndex == kUraNoPrediction || uraIndex < 0 ? kUraNoAccuracy : kSbasUraTable[uraIndex];
}

// The broadcast state is position, velocity and acceleration at t0 (RTCA DO-229 A.4.4.11): a
// second-order series in t - t0, and t0 is the middle of the span.
void build_SbasPolynomEntry(const ZRT_EPH_SBA& e, SatData::PolynomEntryType& entry) {
  entry = SatData::PolynomEntryType{};
  for (int ax = 0; ax < 3; ++ax) {
    entry.coef[0][ax] = e.pos[ax];
    entry.coef[1][ax] = e.vel[ax];
    entry.coef[2][ax] = 0.5 * e.acc[ax];
  }
  entry.refTime = static_cast<double>(e.t0) - kSbasHalfSpan;
  entry.span = static_cast<float>(kSbasPolySpan);
  // aGf0 is the clock at t0; the entry's offset is that at its reference time, 180 s earlier.
  entry.clkOffset = e.aGf0 - static_cast<double>(e.aGf1) * kSbasHalfSpan;
  entry.clkDrift = e.aGf1;
  const double acc = get_SbasEphemerisAccuracy(e.ura);
  entry.accuracy = static_cast<float>(acc * acc);
}

void update_SbasTgd(int dataType, float delay[6], std::uint8_t source[6]) {
  if (dataType != 0) return;
  setDelay(delay, source, 0, 0.0, 2);
  setDelay(delay, source, 4, 0.0, 2);
}

void update_QzssTgd(const ZRT_EPH_QZS& e, int dataType, float delay[6], std::uint8_t source[6]) {
  const double tgd = e.tgd;
  if (e.iscFlags & kIscFlagNoTgd) {
    // No broadcast TGD: nothing derived from it; the L2 field of CNAV is no TGD term.
    if (dataType == 1) setDelay(delay, source, 1, 0.0, 1);
    return;
  }
  setDelay(delay, source, 0, tgd, 2);
  setDelay(delay, source, 2, kGamma6 * tgd, 1);
  if (dataType == 1) {
    setDelay(delay, source, 1, 0.0, 1);
    if (e.iscFlags & kIscFlagIsc2) {
      setDelay(delay, source, 3, tgd - e.isc2, 2);
    } else {
      setDelay(delay, source, 3, kGamma1 * tgd, 1);
    }
    if (e.iscFlags & kIscFlagIsc3) {
      setDelay(delay, source, 4, tgd - e.isc3, 2);
    } else {
      setDelay(delay, source, 4, kGamma5 * tgd, 1);
    }
  } else {
    setDelay(delay, source, 3, kGamma1 * tgd, 1);
    setDelay(delay, source, 4, kGamma5 * tgd, 1);
    if (dataType == 2 && (e.iscFlags & kIscFlagCnav2Isc2)) setDelay(delay, source, 5, tgd - e.isc2, 2);
  }
  setDelay(delay, source, 5, tgd, 1);
}
