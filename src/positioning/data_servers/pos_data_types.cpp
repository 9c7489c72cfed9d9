#include "positioning/data_servers/pos_data_types.h"

#include <cmath>
#include <numbers>

namespace PosData {

namespace {
constexpr double kEquatorRadius = 6378136.3;  // m

bool validSystem(int s) { return s >= 0 && s < kDtSystems; }
}  // namespace

bool PositionDataType::check_AvailableData(double hMin, double hMax) const {
  if (bValid == 0) return false;
  const double r = std::sqrt(dX * dX + dY * dY + dZ * dZ);
  // Written so that a NaN anywhere fails.
  return r <= kEquatorRadius + hMax && std::fabs(dLat) <= std::numbers::pi / 2 &&
         std::fabs(dLon) <= 2 * std::numbers::pi && dHeight >= hMin && dHeight <= hMax;
}

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

// ---- Receiver clock --------------------------------------------------------------------------

bool ClockDataType::get_Offset(double& value, float& sigma) const {
  if (bOffsetValid == 0) return false;
  value = dOffset;
  sigma = fOffsetSigma;
  return true;
}

bool ClockDataType::get_Drift(double& value, float& sigma) const {
  if (bDriftValid == 0) return false;
  value = dDrift;
  sigma = fDriftSigma;
  return true;
}

bool ClockDataType::get_FilteredOffset(double& value, float& sigma) const {
  if (bFilteredOffsetValid == 0) return false;
  value = dFilteredOffset;
  sigma = fFilteredOffsetSigma[0];
  return true;
}

bool ClockDataType::get_FilteredDrift(double& value, float& sigma) const {
  if (bFilteredDriftValid == 0) return false;
  value = dFilteredDrift;
  sigma = fFilteredDriftSigma;
  return true;
}

bool ClockDataType::timeScale(bool filtered, int system, double& value, float& sigma) const {
  double offset = 0.0;
  float offsetSigma = 0.0f;
  if (!(filtered ? get_FilteredOffset(offset, offsetSigma) : get_Offset(offset, offsetSigma))) return false;
  if (system == uRefSystem) {
    value = offset;
    sigma = offsetSigma;
    return true;
  }
  double sign = 0.0;
  const int k = get_DtIndex(uRefSystem, system, sign);
  if (k < 0 || systemDelta[k].bValid == 0) return false;
  value = offset + systemDelta[k].dDelta * sign;
  sigma = std::hypot(offsetSigma, systemDelta[k].fSigma);
  return true;
}

bool ClockDataType::systemOffset(bool filtered, int signal, double& value, float& sigma) const {
  if (signal < 0 || signal >= kSignals) return false;
  const int system = uSignalSystem[signal];
  if (system == kNone) return false;
  if (system != uRefSystem || signal == uRefSignal) return timeScale(filtered, system, value, sigma);
  double offset = 0.0;
  float offsetSigma = 0.0f;
  if (!(filtered ? get_FilteredOffset(offset, offsetSigma) : get_Offset(offset, offsetSigma))) return false;
  double sign = 0.0;
  const int k = get_DtIndex(uRefSignal, signal, sign);
  value = offset;
  sigma = offsetSigma;
  if (k >= 0 && signalDelta[k].bValid != 0) {
    value += signalDelta[k].dDelta * sign;
    sigma = std::hypot(offsetSigma, signalDelta[k].fSigma);
  }
  return true;
}

bool ClockDataType::get_TimeScaleOffset(int system, double& value, float& sigma) const {
  return timeScale(false, system, value, sigma);
}
bool ClockDataType::get_FilteredTimeScaleOffset(int system, double& value, float& sigma) const {
  return timeScale(true, system, value, sigma);
}
bool ClockDataType::get_SystemOffset(int signal, double& value, float& sigma) const {
  return systemOffset(false, signal, value, sigma);
}
bool ClockDataType::get_FilteredSystemOffset(int signal, double& value, float& sigma) const {
  return systemOffset(true, signal, value, sigma);
}

bool ClockDataType::get_DeltaTime(int system, double& value, float& sigma) const {
  if (system == 0) {
    value = 0.0;
    sigma = 0.0f;
    return true;
  }
  double sign = 0.0;
  const int k = get_DtIndex(0, system, sign);
  if (k < 0 || systemDelta[k].bValid == 0) return false;
  value = systemDelta[k].dDelta * sign;
  sigma = systemDelta[k].fSigma;
  return true;
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
