#include "positioning/corrections/troposphere_correction.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "positioning/corrections/sat_corr_processor.h"

namespace TropoCorr {

namespace {

template <typename T>
T field(const PosSetup::CorrProcessorSetupType& s, std::size_t offset) {
  T v{};
  std::memcpy(&v, s.aBytes + offset, sizeof v);
  return v;
}

bool userMeteoOn(const PosSetup::CorrProcessorSetupType& s) {
  if (field<std::uint8_t>(s, kUserMeteoOffset) == 0) return false;
  for (std::size_t off : kUserMeteoEnableOffsets)
    if (field<std::uint8_t>(s, off) == 0) return false;
  return true;
}

}  // namespace

void prepare_TropoEpoch(const PosSetup::CorrProcessorSetupType& setup, double lat, double orthoHeight,
                        bool calendarValid, int dayOfYear, TropoEpochType& e) {
  e.model.bValid = 0;
  e.ulModelType = field<std::uint32_t>(setup, kModelTypeOffset);
  const double hMax = TropoModel::maxTropoModelAltitude(e.ulModelType);
  // A height that is not a number counts as out of range, like one above the limit.
  e.bAboveMax = !(orthoHeight <= hMax);
  e.dHeight = e.bAboveMax ? hMax + 1.0 : std::max(orthoHeight, TropoModel::kMinTropoModelAltitude);
  const int day = calendarValid ? dayOfYear : kNoCalendarDayOfYear;

  TropoModel::compute_MeteoData(lat, day, e.ulModelType, e.meteo);
  if (userMeteoOn(setup)) {
    // The user's values hold at the receiver: no lapse to carry them anywhere.
    const PosSetup::MeteoDataType user = PosSetup::getMeteo(setup);
    e.meteo.dPressure = user.pressure;
    e.meteo.dTemperature = user.temperature;
    e.meteo.dVapour = user.vapour;
    e.meteo.dBeta = 0.0;
    e.meteo.dLambda = 0.0;
  }
  TropoModel::compute_TropoModelData(e.ulModelType, e.dHeight, e.meteo, e.model);
  if (field<std::uint8_t>(setup, kUserMappingOffset) != 0)
    e.model.ulMappingType = field<std::uint32_t>(setup, kUserMappingTypeOffset);
  TropoModel::prepare_MappingFunctionData(lat, day, e.meteo, e.model);
  e.model.bValid = 1;
}

bool compute_SatTropo(const TropoEpochType& e, double s, double elevation, float& correction, float& rate,
                      float& variance) {
  double c = 0.0;
  double r = 0.0;
  double v = 0.0;
  TropoModel::compute_TropoModelCorrection(e.model, e.dHeight, s, elevation > 0.0 ? elevation : 0.0, c, r, v);
  if (e.bAboveMax != 0) {
    c = 0.0;
    r = 0.0;
  }
  correction = static_cast<float>(c);
  rate = static_cast<float>(r);
  variance = static_cast<float>(v);
  // Judged as published, in float, and written so that a value that is not a number never passes.
  return std::fabs(correction) <= kMaxCorrection && variance <= kMaxVariance && std::isfinite(rate);
}

}  // namespace TropoCorr

// The stage: the receiver's model data once, then every requested satellite. A satellite whose
// troposphere part was not renewed this epoch (out of the request, or nothing publishable) loses it.
int SatelliteCorrectionProcessor::update_TropoCorrection() {
  SatCorrWorkArea& w = work();
  TropoCorr::TropoEpochType& e = w.tropo;
  TropoCorr::prepare_TropoEpoch(w.corrSetup, w.request.position.dLat, w.dOrthoHeight, w.bCalendarValid != 0,
                                w.uDayOfYear, e);
  SatCorrectionDataServerType& server = store()->satCorrection;
  bool updated[SYS_SI_TOTAL] = {};
  int published = 0;
  const int count = std::min<int>(w.request.uCount, CorrData::kMaxRequestSats);
  for (int i = 0; i < count; ++i) {
    const CorrData::RequestSatDataType& q = w.request.sat[i];
    int slot = 0;
    if (!q.svId.find_SiSlot(slot)) continue;
    SatData::CorrectionDataType r{};
    if (server.Take(&q.svId, &r) == 0) r.init();
    r.tropo.bValid = 0;
    float correction = 0.0f;
    float rate = 0.0f;
    float variance = 0.0f;
    if (!TropoCorr::compute_SatTropo(e, w.dVelFactor, q.fElevation, correction, rate, variance)) continue;
    r.tropo.fCorrection = correction;
    r.tropo.fVariance = variance;
    r.tropo.fRate = rate;
    r.tropo.bValid = 1;
    w.bCorrPresent = 1;
    server.Put(&q.svId, &r);
    updated[slot] = true;
    ++published;
  }
  for (int slot = 0; slot < SYS_SI_TOTAL; ++slot) {
    SvIdType sv;
    if (updated[slot] || !svIdFromSiSlot(slot, sv)) continue;
    SatData::CorrectionDataType r;
    if (server.Take(&sv, &r) == 0 || r.tropo.bValid == 0) continue;
    r.InitTropoCorr();
    server.Put(&sv, &r);
  }
  return published;
}
