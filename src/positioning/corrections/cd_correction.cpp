#include "positioning/corrections/cd_correction.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/geodesy/ell_math.h"
#include "positioning/geoid/geoid_gps.h"
#include "positioning/slas/slas_corr_generator.h"

namespace CdCorr {

namespace {

template <typename T, typename Setup>
T field(const Setup& s, std::size_t offset) {
  T v{};
  std::memcpy(&v, s.aBytes + offset, sizeof v);
  return v;
}

// Weighted sums of one entry over the chosen stations; the plain sums stand in when every
// weight is 0 (mode 0 takes its station whatever it weighs).
struct Blend {
  double w = 0, corr = 0, var = 0, age = 0;
  int n = 0;
  double pc = 0, pv = 0, pa = 0;
  void add(double weight, double c, double v, double a) {
    w += weight;
    corr += weight * c;
    var += weight * v;
    age += weight * a;
    ++n;
    pc += c;
    pv += v;
    pa += a;
  }
  bool mean(double& c, double& v, double& a) const {
    if (n == 0) return false;
    if (w > 0.0 && std::isfinite(w)) {
      c = corr / w;
      v = var / w;
      a = age / w;
    } else {
      c = pc / n;
      v = pv / n;
      a = pa / n;
    }
    return true;
  }
};

}  // namespace

double distanceWeight(bool valid, double baseline, std::uint32_t mode) {
  if (!valid) return 0.0;
  const double inv = 1.0 / std::max(baseline, kMinBaseline);
  return mode == kModeNearest ? 1e6 * inv : inv;
}

double geometricWeight(bool fed, double trace, std::uint32_t mode) {
  if (!fed || trace == 0.0 || !std::isfinite(trace)) return 0.0;
  return mode == kModeNearest ? 1.0 / trace : 1e6 / trace;
}

}  // namespace CdCorr

int SatelliteCorrectionProcessor::update_CdCorrection() {
  using namespace CdCorr;
  SatCorrWorkArea& w = work();
  CdWorkType& cd = w.cd;
  RTCMData::CorrectionRequestType& R = cd.request;
  const std::uint32_t mode = field<std::uint32_t>(w.corrSetup, kStationModeOffset);
  const std::uint32_t source = field<std::uint32_t>(w.corrSetup, kSourceOffset);

  R.pRequest = &w.request;
  R.bPermit[0] = field<std::uint8_t>(w.corrSetup, kPermitOffset);
  R.bPermit[1] = field<std::uint8_t>(w.corrSetup, kPermitOffset + 1);
  R.uStationCount = 0;
  if (source == kSourceRtcm && rtcmGenerator() != nullptr) rtcmGenerator()->update(&R);
  else if (source == kSourceSlas && slasGenerator() != nullptr) slasGenerator()->update(&R);
  const int stations = std::min<int>(R.uStationCount, RTCMData::CorrectionRequestType::kMaxStations);
  const int count = std::min<int>(w.request.uCount, CorrData::kMaxRequestSats);

  const std::int16_t ratingWord = field<std::int16_t>(w.satSetup, kRatingSlotOffset);
  const int ratingSlot = ratingWord >= 1 && ratingWord <= 5 ? ratingWord : 0;
  const bool listCounts = w.bUsedSatList != 0 && w.rcvTime.ulTimeTag - w.usedSatList.ulTimeTag < kUsedListMaxAgeMs;
  const std::uint32_t slasMask = field<std::uint32_t>(w.corrSetup, kSlasMaskOffset);

  // Rate the answering stations.
  for (int k = 0; k < stations; ++k) {
    const RTCMData::StationAnswerType& a = R.station[k];
    StationType& s = cd.station[k];
    s.uId = a.uStationId;
    s.bRated = 1;
    s.bTropoValid = 0;
    s.dWeight = 0.0;
    if (source == kSourceSlas && a.uStationId != kNoStation)
      s.bRated = a.uStationId < 32 && ((slasMask >> a.uStationId) & 1u) != 0 ? 1 : 0;
    if (s.bRated == 0) continue;
    if (a.bRefPosValid != 0) {
      double lat = 0, lon = 0, h = 0;
      EllMath::XYZ_BLH(EllExt, a.dRefPos[0], a.dRefPos[1], a.dRefPos[2], lat, lon, h);
      // As the rover's own height: the model's last height where it has none for the station.
      TropoCorr::prepare_TropoEpoch(w.corrSetup, lat, h - GeoidGPS::getHeight(lat, lon), w.bCalendarValid != 0, w.uDayOfYear, s.tropo);
      s.bTropoValid = 1;
    }
    const double dist = distanceWeight(a.bRefPosValid != 0, a.dBaseline, mode);
    init_SourceVarEstimation();
    bool fed = false;
    for (int i = 0; i < count; ++i) {
      const CorrData::RequestSatDataType& q = w.request.sat[i];
      if (listCounts && (q.svId.sys >= 7 || ((w.usedSatList.ullMask[q.svId.sys] >> q.svId.si) & 1u) == 0)) continue;
      const RTCMData::SlotAnswerType& e = a.sat[i].slot[ratingSlot];
      const int use = e.uUseEntry & 1;
      if (e.bValid[use] == 0) continue;
      update_SourceVarEstimation(q, e.fVariance[use]);
      fed = true;
    }
    const double geo = geometricWeight(fed, fed ? get_SourceVarEstimation() : 0.0, mode);
    s.dWeight = geo + dist;
  }

  // Choose.
  cd.uChosenCount = 0;
  if (mode == kModeFixed) {
    const std::uint16_t fixedId = field<std::uint16_t>(w.corrSetup, kFixedIdOffset);
    for (int k = 0; k < stations; ++k)
      if (cd.station[k].bRated != 0 && cd.station[k].uId == fixedId) {
        cd.uChosen[cd.uChosenCount++] = static_cast<std::uint8_t>(k);
        break;
      }
  } else {
    for (int k = 0; k < stations; ++k)
      if (cd.station[k].bRated != 0 && cd.station[k].dWeight > 0.0) cd.uChosen[cd.uChosenCount++] = static_cast<std::uint8_t>(k);
    std::stable_sort(cd.uChosen, cd.uChosen + cd.uChosenCount,
                     [&](std::uint8_t x, std::uint8_t y) { return cd.station[x].dWeight > cd.station[y].dWeight; });
    if (mode <= kModeNearest) cd.uChosenCount = std::min<std::uint8_t>(cd.uChosenCount, 1);
  }
  cd.uBestStationId = cd.uChosenCount > 0 ? cd.station[cd.uChosen[0]].uId : kNoStation;

  // Publish.
  SatCorrectionDataServerType& server = store()->satCorrection;
  bool updated[SYS_SI_TOTAL] = {};
  int published = 0;
  for (int i = 0; i < count && cd.uChosenCount > 0; ++i) {
    const CorrData::RequestSatDataType& q = w.request.sat[i];
    int siSlot = 0;
    if (!q.svId.find_SiSlot(siSlot)) continue;
    SatData::CorrectionDataType r{};
    if (server.Take(&q.svId, &r) == 0) r.init();
    const double elev = q.fElevation > 0.0f ? q.fElevation : 0.0;
    // Station minus receiver troposphere, per station, for this satellite.
    double dT[RTCMData::CorrectionRequestType::kMaxStations] = {};
    for (int c = 0; c < cd.uChosenCount; ++c) {
      const StationType& s = cd.station[cd.uChosen[c]];
      float ts = 0, rate = 0, var = 0;
      if (s.bTropoValid != 0 && r.tropo.bValid != 0 && TropoCorr::compute_SatTropo(s.tropo, 0.0, elev, ts, rate, var))
        dT[c] = static_cast<double>(r.tropo.fCorrection) - ts;
    }
    bool any = false;
    const RTCMData::StationAnswerType& first = R.station[cd.uChosen[0]];
    for (int sl = 0; sl < SatData::CdCorrectionType::kSlots; ++sl) {
      SatData::CdSlotCorrectionType& out = r.cd.slot[sl];
      for (int e = 0; e < 2; ++e) {
        Blend b;
        // The issue of data comes from the first station that gave the entry: with 65535 a
        // reader (and the clean-up) would take a published entry for none.
        std::uint16_t iod = SatData::CdCorrectionType::kNoIod;
        for (int c = 0; c < cd.uChosenCount; ++c) {
          const RTCMData::SlotAnswerType& a = R.station[cd.uChosen[c]].sat[i].slot[sl];
          if (a.bValid[e] == 0) continue;
          if (b.n == 0) iod = a.uIod[e];
          b.add(cd.station[cd.uChosen[c]].dWeight, a.fCorrection[e] + dT[c], a.fVariance[e], a.fAge[e]);
          if (mode == kModeFirstValid) break;
        }
        double c = 0, v = 0, a = 0;
        const bool valid = b.mean(c, v, a);
        out.fCorrection[e] = static_cast<float>(c);
        out.fVariance[e] = static_cast<float>(v);
        out.fAge[e] = static_cast<float>(a);
        out.uIod[e] = iod;
        any = any || valid;
      }
      const RTCMData::SlotAnswerType& f = first.sat[i].slot[sl];
      const bool firstValid = f.bValid[0] != 0 || f.bValid[1] != 0;
      out.uFlags[0] = firstValid ? f.uSignal : 0;
      out.uFlags[1] = firstValid ? f.uFlag : 0;
    }
    if (!any) continue;
    Blend ib;
    for (int c = 0; c < cd.uChosenCount; ++c) {
      const RTCMData::SatAnswerType& a = R.station[cd.uChosen[c]].sat[i];
      if (a.bIonoValid == 0) continue;
      ib.add(cd.station[cd.uChosen[c]].dWeight, a.fIono, a.fIonoVariance, 0.0);
      if (mode == kModeFirstValid) break;
    }
    double ic = 0, iv = 0, ia = 0;
    if (ib.mean(ic, iv, ia)) {
      r.iono.fCorrection = static_cast<float>(ic);
      r.iono.fVariance = static_cast<float>(iv);
      r.iono.bValid = 1;
    } else {
      r.InitIonoCorr();
    }
    server.Put(&q.svId, &r);
    updated[siSlot] = true;
    ++published;
  }

  for (int slot = 0; slot < SYS_SI_TOTAL; ++slot) {
    SvIdType sv;
    if (updated[slot] || !svIdFromSiSlot(slot, sv)) continue;
    SatData::CorrectionDataType r;
    if (server.Take(&sv, &r) == 0 || !r.has_CdCorr()) continue;
    r.InitCdCorr();
    server.Put(&sv, &r);
  }
  return published;
}
