#include "navigation_data/store/sat_delta_time.h"

namespace PosData {

namespace {
bool validSystem(int s) { return s >= 0 && s < kDtSystems; }
}  // namespace

int get_DtIndex(int a, int b, double& sign) {
  sign = 0.0;
  if (!validSystem(a) || !validSystem(b)) return -1;
  if (a == b) return 0;
  sign = a < b ? 1.0 : -1.0;
  if (a > b) {
    const int t = a;
    a = b;
    b = t;
  }
  return a * (kDtSystems - 1) - a * (a - 1) / 2 + (b - a - 1);
}

// ---- Inter-system time offsets ---------------------------------------------------------------

void SatdataDeltaTimeType::update_SystemToGpsDeltaTime(int issue, int system, int ms, double delta,
                                                       double rate) {
  if (system <= 0 || system >= kDtSystems || issue < cIssue[system]) return;
  cIssue[system] = static_cast<std::int8_t>(issue);
  double sign = 0.0;
  PairType& own = pair[get_DtIndex(0, system, sign)];
  own = {delta, rate, ms, 1, 1};
  for (int k = 1; k < kDtSystems; ++k) {
    if (k == system) continue;
    const PairType& other = pair[get_DtIndex(0, k, sign)];
    if (other.bValid == 0) continue;
    const int idx = get_DtIndex(system, k, sign);
    // Both offsets at the same instant: their difference is the pair's offset, and the
    // difference of their rates its rate.
    const double otherNow = other.dDelta + other.dRate * (ms - other.lTime) * 0.001;
    pair[idx] = {(otherNow - delta) * sign, (other.dRate - rate) * sign, ms, 0, 1};
  }
}

void SatdataDeltaTimeType::update_SystemToUtcDeltaTime(int system, int ms, double delta, double rate) {
  if (!validSystem(system)) return;
  utc[system] = {delta, rate, ms, 1};
}

bool SatdataDeltaTimeType::get_DeltaTime(int a, int b, int ms, double& out) const {
  if (!validSystem(a) || !validSystem(b)) return false;
  if (a == b) {
    out = 0.0;
    return true;
  }
  double sign = 0.0;
  const PairType& p = pair[get_DtIndex(a, b, sign)];
  if (p.bValid != 0) {
    out = (p.dDelta + (ms - p.lTime) * p.dRate * 0.001) * sign * kSpeedOfLight;
    return true;
  }
  const UtcType& ua = utc[a];
  const UtcType& ub = utc[b];
  if (ua.bValid == 0 || ub.bValid == 0) return false;
  const double offA = ua.dOffset + (ms - ua.lTime) * ua.dRate * 0.001;
  const double offB = ub.dOffset + (ms - ub.lTime) * ub.dRate * 0.001;
  out = (offB - offA) * kSpeedOfLight;
  return true;
}

}  // namespace PosData
