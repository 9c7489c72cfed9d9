// The GBAS stage of the satellite correction processor: one ground station chosen by the
// configured rule, its corrections published per satellite, every other satellite's GBAS part
// cleared.
#include <cmath>
#include <cstring>

#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/gbas/gbas_corr_generator.h"

namespace {

template <typename T>
T field(const PosSetup::CorrProcessorSetupType& s, std::size_t offset) {
  T v{};
  std::memcpy(&v, s.aBytes + offset, sizeof v);
  return v;
}

// The request lives here rather than on the stack: two station blocks of 91 entries each.
GbasCorr::RequestType gRequest;

void fill_Request(const SatCorrWorkArea& w, GbasCorr::RequestType& r) {
  const CorrData::CorrectionRequestType& q = w.request;
  r.dX = q.position.dX;
  r.dY = q.position.dY;
  r.dZ = q.position.dZ;
  r.dHeight = q.position.dHeight;
  r.fVelEast = 0.0f;
  r.fVelNorth = 0.0f;
  // The velocity of the epoch whose position the request carries, as the processor took both from
  // their servers. NavSol is no place to read it: this stage runs in the background task while
  // the epoch's task writes the solution.
  const PosData::VelocityDataType& v = w.velocity;
  if (v.bValid != 0) {
    const double* d = v.dFirstVector;
    const double sb = std::sin(q.position.dLat), cb = std::cos(q.position.dLat);
    const double sl = std::sin(q.position.dLon), cl = std::cos(q.position.dLon);
    r.fVelEast = static_cast<float>(-sl * d[0] + cl * d[1]);
    r.fVelNorth = static_cast<float>(-sb * cl * d[0] - sb * sl * d[1] + cb * d[2]);
  }
  r.rcvTime = q.rcvTime;
  r.uCount = q.uCount < CorrData::kMaxRequestSats ? q.uCount : CorrData::kMaxRequestSats;
  for (int i = 0; i < r.uCount; ++i) {
    r.sat[i].fElevation = q.sat[i].fElevation;
    r.sat[i].uIod = q.sat[i].uIod;
    r.sat[i].svId = q.sat[i].svId;
  }
  r.uMode = field<std::uint8_t>(w.corrSetup, GbasCorr::kSelectionModeOffset);
  r.uStationSelector = field<std::uint8_t>(w.corrSetup, GbasCorr::kStationSelectorOffset);
  r.uPathSelector = field<std::uint8_t>(w.corrSetup, GbasCorr::kPathSelectorOffset);
  r.bWaiveCrc = field<std::uint8_t>(w.corrSetup, GbasCorr::kWaiveCrcOffset);
  r.ulGbasId = field<std::uint32_t>(w.corrSetup, GbasCorr::kGbasIdOffset);
}

bool qualifies(const GbasCorr::RequestType& r, const GbasCorr::StationBlockType& b) {
  if (b.bValid == 0) return false;
  switch (r.uMode) {
    case 0:
      return b.bAddValid == 0 ? b.ulGbasId == r.ulGbasId : b.uSelector == r.uStationSelector;
    case 1:
      return b.uPathSelector == r.uPathSelector;
    default:
      return b.uSelector == r.uStationSelector;
  }
}

}  // namespace

int SatelliteCorrectionProcessor::update_GbasCorrection() {
  SatCorrWorkArea& w = work();
  GbasCorr::RequestType& r = gRequest;
  for (GbasCorr::StationBlockType& b : r.block) b.bValid = 0;
  r.uBlockCount = 0;
  fill_Request(w, r);
  GbasCorrGenerator* gen = gbasGenerator();
  if (gen != nullptr && w.request.rcvTime.gps.uStatus[0] != 0) gen->update(r);

  int chosen = -1;
  for (int i = 0; i < r.uBlockCount; ++i)
    if (qualifies(r, r.block[i])) chosen = i;
  w.request.uGbasSelector = chosen < 0 ? GbasCorr::kNoChosenSelector : r.block[chosen].uSelector;

  bool corrected[SYS_SI_TOTAL] = {};
  int published = 0;
  SatCorrectionDataServerType& server = store()->satCorrection;
  if (chosen >= 0) {
    const GbasCorr::StationBlockType& b = r.block[chosen];
    GBASData::CommonDataType common{};
    common.bValid = 1;
    common.bAddValid = b.bAddValid;
    common.bFasValid = b.bFasValid;
    common.add = b.add;
    common.station = b.station;
    common.fas = b.fas;
    store()->gbasCommon.Put(&common);
    for (int i = 0; i < r.uCount; ++i) {
      const GbasCorr::SatOutputType& e = b.sat[i];
      const SvIdType& sv = r.sat[i].svId;
      int slot = 0;
      if (e.bReady == 0 || !sv.find_SiSlot(slot)) continue;
      SatData::CorrectionDataType rec{};
      if (server.Take(&sv, &rec) == 0) rec.init();
      rec.gbas.uSelector = b.uSelector;
      rec.gbas.bValid = 1;
      rec.gbas.uIod = e.uIod;
      rec.gbas.fCorrection = e.fCorrection;
      rec.gbas.fVariance = e.fVariance;
      rec.gbas.fAge = e.fAge;
      rec.gbas.svId = sv;
      server.Put(&sv, &rec);
      SatData::GbasAccuracyDataType acc{};
      acc.init();
      acc.uSelector = b.uSelector;
      acc.fSigmaPrGnd = e.fSigmaPrGnd;
      acc.uEphDecorr = e.uEphDecorr;
      acc.uBFlags = e.uBFlags;
      for (int k = 0; k < 4; ++k) acc.fB[k] = e.fB[k];
      store()->satGbasAccuracy.Put(&sv, &acc);
      corrected[slot] = true;
      ++published;
    }
  } else {
    // No station chosen: the common data of an earlier one no longer describes the corrections.
    GBASData::CommonDataType none{};
    GBASData::CommonDataType held{};
    if (store()->gbasCommon.Take(&held) != 0 && held.bValid != 0) store()->gbasCommon.Put(&none);
  }
  // Only records that exist and hold a GBAS part are rewritten: putting a cleared record for
  // every satellite would take pool records from satellites that have other corrections.
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    for (int si = 0; si < SYS_SI_NUM[sys]; ++si) {
      const int slot = SYS_SI_BASE_NUM[sys] + si;
      SvIdType sv;
      if (corrected[slot] || !svIdFromSiSlot(slot, sv)) continue;
      SatData::CorrectionDataType rec;
      if (server.Take(&sv, &rec) == 0 || (rec.gbas.bValid == 0 && rec.gbas.uSelector == 65535)) continue;
      rec.InitGbasCorr();
      server.Put(&sv, &rec);
    }
  }
  return published;
}
