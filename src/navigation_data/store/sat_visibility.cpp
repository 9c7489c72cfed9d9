#include "navigation_data/store/sat_visibility.h"

#include <cmath>
#include <cstring>

Mutex SatVisibilityStore::mutex;
SatVisibilityStore SatVisibilityStoreInstance;

namespace {
constexpr double kPi = 3.141592653589793;
constexpr double kDeg = 180.0 / kPi;
constexpr double kEarthRadius = 6378136.3;     // m, for the dip of the horizon
constexpr double kMaxElevRad = 1.5707964;

// Elevation model of the weighted mode, per system (GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou,
// NavIC): sigma = a0 + a1 exp(-E / theta), E in degrees.
constexpr double kTableTeta[SYS_NUM] = {6.9, 5.7, 6.9, 6.9, 6.9, 6.9, 6.9};
constexpr double kTableA1[SYS_NUM] = {0.43, 0.9, 0.43, 0.43, 0.43, 0.43, 0.43};
constexpr double kTableA0[SYS_NUM] = {0.15, 0.39, 0.15, 0.15, 0.15, 0.15, 0.15};

bool weightedModel(const ElevVarSetup& s) {
  return s.weightMode == 4 || (s.weightMode == 1 && s.weightMode2 == 0 && s.accScreening != 0);
}
}  // namespace

bool compute_SatelliteVisibility(const RcvPositionType& rcv, const double sat[3], bool horizonDip,
                                 float* elevation, float* azimuth, double los[3]) {
  const double* p = rcv.xyz;
  const double rn = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
  const double d[3] = {sat[0] - p[0], sat[1] - p[1], sat[2] - p[2]};
  const double dn = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
  // Written so that a NaN position refuses too.
  if (!(rn > 0) || !(dn > 0)) return false;
  double u[3], dot = 0;
  for (int k = 0; k < 3; ++k) {
    u[k] = d[k] / dn;
    dot += u[k] * p[k] / rn;
  }
  double e = std::asin(dot > 1 ? 1 : dot < -1 ? -1 : dot);
  if (horizonDip && rcv.height > 0) e += std::acos(kEarthRadius / (rcv.height + kEarthRadius));
  if (e > kMaxElevRad) e = kMaxElevRad;
  const double sf = std::sin(rcv.lat), cf = std::cos(rcv.lat);
  const double sl = std::sin(rcv.lon), cl = std::cos(rcv.lon);
  const double east = -sl * d[0] + cl * d[1];
  const double north = -sf * cl * d[0] - sf * sl * d[1] + cf * d[2];
  double az = std::atan2(east, north) * kDeg;
  if (az < 0) az += 360;
  *elevation = static_cast<float>(e * kDeg);
  *azimuth = static_cast<float>(az);
  if (los != nullptr) std::memcpy(los, u, sizeof u);
  return true;
}

float compute_SignalThreshold(float elevDeg) {
  const double s = 20 * (std::sin(elevDeg / kDeg) - 1);
  if (s > -5) return 48;
  if (s < -25) return 28;
  return static_cast<float>(s + 53);
}

// Default model: sigma continuous at 2.5 and 22.5 deg (7.1 m and 0.5 m) falling as 1/E above.
void compute_ElevBasedVar(int sys, float elevDeg, const ElevVarSetup& setup, float* threshold,
                          float* variance) {
  const double e = elevDeg;
  *threshold = compute_SignalThreshold(elevDeg);
  if (weightedModel(setup) && sys >= 0 && sys < SYS_NUM) {
    const double s1 = kTableA0[sys] + kTableA1[sys] * std::exp(-e / kTableTeta[sys]);
    const double s2 = 0.13 + 0.53 * std::exp(-e / 10);
    *variance = static_cast<float>(s1 * s1 + s2 * s2);
    return;
  }
  double s;
  if (e < 2.5) s = 7.1 + 3.0 * (2.5 - e);
  else if (e < 22.5) s = 0.5 + 0.33 * (22.5 - e);
  else s = 12.605071 / e;
  *variance = static_cast<float>(s * s);
}

SatVisibilityStore::SatVisibilityStore() { Init(); }

void SatVisibilityStore::Init() {
  Locker<Mutex> l(mutex);
  for (auto& v : eph_) v = SatData::SatVisibilityType{};
  for (auto& v : alm_) v = SatData::SatVisibilityType{};
}

bool SatVisibilityStore::PutEph(SvIdType id, const SatData::SatVisibilityType* r) {
  if (!id.isValidSi()) return false;
  Locker<Mutex> l(mutex);
  SatData::SatVisibilityType& v = eph_[SYS_SI_BASE_NUM[id.sys] + id.si];
  if (r != nullptr) v = *r;
  else v.valid = 0;
  return true;
}

bool SatVisibilityStore::PutAlm(SvIdType id, const SatData::SatVisibilityType* r) {
  if (!id.isValidSat()) return false;
  Locker<Mutex> l(mutex);
  SatData::SatVisibilityType& v = alm_[SYS_SAT_BASE_NUM[id.sys] + id.sat];
  if (r != nullptr) v = *r;
  else v.valid = 0;
  return true;
}

bool SatVisibilityStore::TakeEph(SvIdType id, SatData::SatVisibilityType* out) {
  if (!id.isValidSi() || out == nullptr) return false;
  Locker<Mutex> l(mutex);
  *out = eph_[SYS_SI_BASE_NUM[id.sys] + id.si];
  return true;
}

bool SatVisibilityStore::TakeAlm(SvIdType id, SatData::SatVisibilityType* out) {
  if (!id.isValidSat() || out == nullptr) return false;
  Locker<Mutex> l(mutex);
  *out = alm_[SYS_SAT_BASE_NUM[id.sys] + id.sat];
  return true;
}

int SatVisibilityStore::get_SatelliteVisibilityData(SvIdType* id, float* elevation, float* azimuth,
                                                    float* threshold, float* variance, bool* newChecked) {
  if (id == nullptr || !id->isValidSi()) return 0;
  Locker<Mutex> l(mutex);
  const SatData::SatVisibilityType& v = eph_[SYS_SI_BASE_NUM[id->sys] + id->si];
  if (v.valid == 0) return 0;
  if (elevation != nullptr) *elevation = v.elevation;
  if (azimuth != nullptr) *azimuth = v.azimuth;
  if (threshold != nullptr) *threshold = v.threshold;
  if (variance != nullptr) *variance = v.variance;
  if (newChecked != nullptr) *newChecked = v.newChecked != 0;
  if (id->sat == kSvUnknown) id->sat = v.almId.sat;
  return v.valid;
}
