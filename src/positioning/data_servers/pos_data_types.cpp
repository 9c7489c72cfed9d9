#include "positioning/data_servers/pos_data_types.h"

#include <cmath>
#include <numbers>

namespace PosData {

namespace {
constexpr double kEquatorRadius = 6378136.3;  // m
}  // namespace

bool PositionDataType::check_AvailableData(double hMin, double hMax) const {
  if (bValid == 0) return false;
  const double r = std::sqrt(dX * dX + dY * dY + dZ * dZ);
  // Written so that a NaN anywhere fails.
  return r <= kEquatorRadius + hMax && std::fabs(dLat) <= std::numbers::pi / 2 &&
         std::fabs(dLon) <= 2 * std::numbers::pi && dHeight >= hMin && dHeight <= hMax;
}

// ---- Receiver clock --------------------------------------------------------------------------

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

bool ClockDataType::timeScale(int system, double& value, float& sigma) const {
  double offset = 0.0;
  float offsetSigma = 0.0f;
  if (!get_FilteredOffset(offset, offsetSigma)) return false;
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

bool ClockDataType::systemOffset(int signal, double& value, float& sigma) const {
  if (signal < 0 || signal >= kSignals) return false;
  const int system = uSignalSystem[signal];
  if (system == kNone) return false;
  if (system != uRefSystem || signal == uRefSignal) return timeScale(system, value, sigma);
  double offset = 0.0;
  float offsetSigma = 0.0f;
  if (!get_FilteredOffset(offset, offsetSigma)) return false;
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

bool ClockDataType::get_FilteredTimeScaleOffset(int system, double& value, float& sigma) const {
  return timeScale(system, value, sigma);
}
bool ClockDataType::get_FilteredSystemOffset(int signal, double& value, float& sigma) const {
  return systemOffset(signal, value, sigma);
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

}  // namespace PosData
