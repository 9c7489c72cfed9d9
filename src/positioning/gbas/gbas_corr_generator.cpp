#include "positioning/gbas/gbas_corr_generator.h"

#include <cmath>

#include "positioning/data_servers/pvt_data.h"

GbasCorrGenerator GbasCorrGeneratorInstance(&PVTDataInstance);

namespace GbasCorr {

namespace {

constexpr double kDegToRad = 3.14159265358979323846 / 180.0;
constexpr std::int64_t kHalfWeekMs = 302400000;
constexpr std::int64_t kWeekMs = 604800000;

// GPS time `nowMs` minus `thenMs`, both ms of week, folded into +-half a week, s.
double foldedAge(std::uint32_t nowMs, std::uint32_t thenMs) {
  std::int64_t d = static_cast<std::int64_t>(nowMs) - static_cast<std::int64_t>(thenMs);
  while (d > kHalfWeekMs) d -= kWeekMs;
  while (d < -kHalfWeekMs) d += kWeekMs;
  return static_cast<double>(d) / 1000.0;
}

// Receiver time tags are monotonic milliseconds that wrap at 2^32.
double tagAge(std::uint32_t nowTag, std::uint32_t thenTag) {
  return static_cast<double>(static_cast<std::int32_t>(nowTag - thenTag)) / 1000.0;
}

bool stationReady(const GBASData::StationDataType& s, std::uint32_t gpsMs) {
  return s.bReady != 0 && GBASData::get_TimeTagAge(s.ulTimeTag, gpsMs) <= GBASData::StationDataType::fDataTimeout;
}

}  // namespace

void compute_TropoTerms(double elevDeg, double dh, double nr, double sigmaN, double h0, double& tc,
                        double& sigmaTropo) {
  // A scale height coded 0 leaves no troposphere to model; the exponential would divide by it.
  if (!(h0 > 0.0)) {
    tc = 0.0;
    sigmaTropo = 0.0;
    return;
  }
  const double s = std::sin(elevDeg * kDegToRad);
  const double k = h0 * 1e-6 / std::sqrt(0.002 + s * s) * (1.0 - std::exp(-dh / h0));
  tc = nr * k;
  sigmaTropo = sigmaN * k;
}

double compute_Obliquity(double elevDeg) {
  const double c = kEarthRadius / (kEarthRadius + kIonoShellHeight) * std::cos(elevDeg * kDegToRad);
  return 1.0 / std::sqrt(1.0 - c * c);
}

double compute_SigmaIono(double elevDeg, double sigmaVertIonoGradient, double xAir, double vAir) {
  return compute_Obliquity(elevDeg) * sigmaVertIonoGradient * (xAir + 2.0 * kIonoTau * vAir);
}

}  // namespace GbasCorr

void GbasCorrGenerator::compute_TropoData(const GBASData::StationDataType& s, double elevDeg, double& tc,
                                          double& sigma) const {
  GbasCorr::compute_TropoTerms(elevDeg, dUserHeight_ - s.dHeight, s.iRefractivity, s.uSigmaN, s.uScaleHeight, tc,
                               sigma);
}

double GbasCorrGenerator::compute_IonoData(const GBASData::StationDataType& s, double elevDeg) const {
  return GbasCorr::compute_SigmaIono(elevDeg, s.fSigmaVertIono, dXAir_, dVAir_);
}

bool GbasCorrGenerator::compute_RangeCorrection(const GbasCorr::RequestType& r, int source,
                                                GbasCorr::StationBlockType& b, int index) {
  using GBASData::DiffCorrectionType;
  GbasCorr::SatOutputType& out = b.sat[index];
  out = GbasCorr::SatOutputType{};
  const GbasCorr::RequestSatType& q = r.sat[index];
  const std::uint32_t gpsMs = r.rcvTime.gps.ulMs;

  diff_.init();
  if (store_->gbasDiffCorrection[source].Take(&q.svId, &diff_) == 0) return false;
  if (diff_.uBlockId != b.uBlockId || diff_.ulGbasId != b.ulGbasId) return false;
  if (!diff_.is_ReadyDiffCorr(gpsMs) || (diff_.uFlags & DiffCorrectionType::kCorrValid) == 0) return false;

  eph_.init();
  if (store_->gbasEphIntegrity.Take(&q.svId, &eph_) == 0) return false;
  if (GbasCorr::tagAge(r.rcvTime.ulTimeTag, eph_.header.ulTime) > GbasCorr::kMaxEphIntegrityAge) return false;
  if (eph_.uIod != diff_.uIod) return false;
  if (r.bWaiveCrc == 0 && eph_.uCrc != diff_.uEphCrc) return false;

  // A correction dated a little later than the epoch is the latest one decoded while the epoch
  // ran; one far ahead, or one whose epoch the clock stepped back across, is not extrapolated.
  const double t = GbasCorr::foldedAge(gpsMs, diff_.ulCorrTime);
  if (!(t <= GbasCorr::kMaxCorrAge && t >= GbasCorr::kMinCorrAge)) return false;
  if ((diff_.uFlags & DiffCorrectionType::kFirstSource) == 0) return false;
  if (GbasCorr::foldedAge(gpsMs, diff_.ulFirstTime) > GbasCorr::kMaxFirstSourceAge) return false;

  double tc = 0.0;
  double sigmaTropo = 0.0;
  compute_TropoData(b.station, q.fElevation, tc, sigmaTropo);
  const double sigmaIono = compute_IonoData(b.station, q.fElevation);
  const double sigmaGnd = diff_.uSigmaPrGnd * 0.02;
  const double correction = tc + diff_.iPrc * 0.01 + diff_.iRrc * 0.001 * t;
  const double variance = sigmaIono * sigmaIono + sigmaTropo * sigmaTropo + sigmaGnd * sigmaGnd;
  if (!std::isfinite(correction) || !std::isfinite(variance)) return false;

  out.fCorrection = static_cast<float>(correction);
  out.fVariance = static_cast<float>(variance);
  out.fAge = static_cast<float>(t);
  out.uIod = diff_.uIod;
  out.fSigmaPrGnd = static_cast<float>(sigmaGnd);
  out.uEphDecorr = diff_.uEphDecorr;
  for (int k = 0; k < 4; ++k) {
    if ((diff_.uFlags & (DiffCorrectionType::kB1Present << k)) == 0) continue;
    out.uBFlags |= static_cast<std::uint8_t>(1u << k);
    out.fB[k] = static_cast<float>(diff_.iB[k] * 0.05);
  }
  out.bReady = 1;
  if (t >= GbasCorr::kFreshCorrAge) bFresh_ = 0;
  return true;
}

int GbasCorrGenerator::update(GbasCorr::RequestType& r) {
  r.uBlockCount = 0;
  const std::uint32_t gpsMs = r.rcvTime.gps.ulMs;
  dUserHeight_ = r.dHeight;
  for (int source = 0; source < GBASData::kGbasSources; ++source) {
    GBASData::SourceStateDataType src{};
    if (store_->gbasSourceState.Take(source, &src) == 0 || src.bHasId == 0 || src.bType1 == 0) continue;
    const double type1Age = GbasCorr::tagAge(r.rcvTime.ulTimeTag, src.ulType1Time);
    if (!(type1Age < GbasCorr::kMaxType1Age)) continue;

    GbasCorr::StationBlockType& b = r.block[r.uBlockCount];
    b.bValid = 0;
    b.bAddValid = 0;
    b.bFasValid = 0;
    b.uBlockId = src.uBlockId;
    b.ulGbasId = src.ulGbasId;
    b.uSelector = GbasCorr::kNoSelector;
    b.uPathSelector = GbasCorr::kNoSelector;
    if (store_->gbasStationData[source].Take(&b.station) == 0 || !GbasCorr::stationReady(b.station, gpsMs) ||
        b.station.ulGbasId != src.ulGbasId)
      continue;

    dVAir_ = std::hypot(static_cast<double>(r.fVelEast), static_cast<double>(r.fVelNorth));
    dXAir_ = std::sqrt((r.dX - b.station.dX) * (r.dX - b.station.dX) + (r.dY - b.station.dY) * (r.dY - b.station.dY) +
                       (r.dZ - b.station.dZ) * (r.dZ - b.station.dZ));
    b.dDistance = dXAir_;

    if (store_->gbasStationAddBlock[source].Take(&b.add) != 0 && b.add.bReady != 0 &&
        GBASData::get_TimeTagAge(b.add.ulTimeTag, gpsMs) <= GBASData::StationAddBlockDataType::fDataTimeout) {
      b.bAddValid = 1;
      b.uSelector = b.add.uSelector;
      // A maximum use distance coded 0 sets no limit.
      if (b.add.uMaxUseDistance != 0 && dXAir_ > b.add.uMaxUseDistance * 1000.0) continue;
    }

    if (r.uPathSelector < GbasCorr::kNoSelector && r.uPathSelector < GBASData::kFasEntries &&
        store_->gbasFas[source].Take(r.uPathSelector, &b.fas) != 0 && b.fas.bReady != 0 &&
        GBASData::get_TimeTagAge(b.fas.ulTimeTag, gpsMs) <= GBASData::FASDataType::fDataTimeout) {
      b.bFasValid = 1;
      b.uPathSelector = r.uPathSelector;
    }

    bFresh_ = type1Age < GbasCorr::kFreshType1Age ? 1 : 0;
    const int count = r.uCount < CorrData::kMaxRequestSats ? r.uCount : CorrData::kMaxRequestSats;
    for (int i = 0; i < count; ++i) compute_RangeCorrection(r, source, b, i);
    for (int i = count; i < CorrData::kMaxRequestSats; ++i) b.sat[i].bReady = 0;
    b.bValid = 1;
    ++r.uBlockCount;
  }
  return r.uBlockCount;
}
