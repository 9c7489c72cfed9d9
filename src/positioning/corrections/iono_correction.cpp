#include "positioning/corrections/iono_correction.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "positioning/corrections/comp_corr_generator.h"
#include "positioning/corrections/iono_model.h"
#include "positioning/corrections/nequick_task.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/corrections/wd_correction.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/placeholders.h"
#include "positioning/sbas/sbas_corr_generator.h"
#include "positioning/signal_tables.h"

namespace IonoCorr {

namespace {

template <typename T>
T field(const std::uint8_t* bytes, std::size_t offset) {
  T v{};
  std::memcpy(&v, bytes + offset, sizeof v);
  return v;
}

constexpr std::uint32_t kNoProvider = 0xFFFFFFFFu;

}  // namespace

double smoothingFactor(double t) { return t > 0.0 ? std::min(0.5 / t, 1.0) : 1.0; }

int sourceNumber(const SvIdType& sv) { return sv.sys < SYS_NUM ? SYS_SI_MIN[sv.sys] + sv.si : -1; }

int choose_Sources(const SourceRatingType* s, int count, const SBASData::CorrectionRequestType& req,
                   std::uint32_t mode, int fixedNumber, int* order) {
  int n = 0;
  if (mode == 0) {
    for (int i = 0; i < count; ++i)
      if (s[i].candidate && sourceNumber(req.source[s[i].slot].source) == fixedNumber) {
        order[n++] = i;
        break;
      }
    return n;
  }
  for (int i = 0; i < count; ++i)
    if (s[i].candidate && s[i].quality > 0.0f) order[n++] = i;
  std::stable_sort(order, order + n, [s](int a, int b) { return s[a].quality > s[b].quality; });
  return n;
}

}  // namespace IonoCorr

// ---- the models --------------------------------------------------------------------------------

namespace {

using namespace IonoCorr;

// A waiting model from the server of model `m` into the work area: true when there was one.
bool takeWaitingModel(PVTDataType& store, SatCorrWorkArea& w, int m) {
  switch (m) {
    case kIonoModelGps:
    case kIonoModelQzss:
    case kIonoModelComp:
    case kIonoModelIrnss: {
      NavData::KlobIonoModelDataType r;
      KlobIonoModelDataServerType& s = m == kIonoModelIrnss ? store.irnssKlobIonoModel : store.klobIonoModel[m];
      if (s.Get(&r) == 0) return false;
      w.klobModel[m] = r.model;
      w.klobModel[m].valid = r.bValid;
      return true;
    }
    case kIonoModelBDGlobal: {
      NavData::BDGlobalIonoModelDataType r;
      if (store.bdGlobalIonoModel.Get(&r) == 0) return false;
      w.bdGlobalModel = r.model;
      w.bdGlobalModel.valid = r.bValid;
      return true;
    }
    case kIonoModelNeQuick: {
      NavData::NeQuickIonoModelDataType r;
      if (store.neQuickIonoModel.Get(&r) == 0) return false;
      NeQuickIonoModelRecord& q = w.neQuickModel;
      q = NeQuickIonoModelRecord{};
      for (int k = 0; k < 3; ++k) q.fAi[k] = r.fAi[k];
      q.uWeek = r.uWeek;
      q.uDisturbanceFlags = r.uDisturbanceFlags;
      q.valid = r.bValid;
      return true;
    }
    default: {
      NavData::GlonassIonoModelDataType r;
      if (store.glonassIonoModel.Get(&r) == 0) return false;
      ZRT_ION_GLN& g = w.glonassModel;
      g = ZRT_ION_GLN{};
      g.term[0] = r.fC0;
      g.term[1] = r.uC1;
      g.term[2] = r.uC2;
      g.valid = r.bValid;
      g.satIdx = r.uSatIndex;
      return true;
    }
  }
}

// The setup's user model of model `m`.
void loadUserModel(SatCorrWorkArea& w, int m) {
  const std::uint8_t* b = w.corrSetup.aBytes;
  switch (m) {
    case kIonoModelGps:
    case kIonoModelQzss:
    case kIonoModelComp:
    case kIonoModelIrnss: std::memcpy(&w.klobModel[m], b + kUserKlobOffset, sizeof(ZRT_ION_GPS)); break;
    case kIonoModelBDGlobal: std::memcpy(&w.bdGlobalModel, b + kUserBdgimOffset, sizeof(ZRT_ION_CMP)); break;
    case kIonoModelNeQuick: std::memcpy(&w.neQuickModel, b + kUserNeQuickOffset, sizeof(NeQuickIonoModelRecord)); break;
    default: std::memcpy(&w.glonassModel, b + kUserGlonassOffset, sizeof(ZRT_ION_GLN)); break;
  }
}

}  // namespace

namespace {

// Each kept model goes to and comes from its own block through its own pair.
bool nvModel(SatelliteCorrectionProcessor& p, int model, bool store) {
  switch (model) {
    case kIonoModelGps: return store ? p.store_NvRamGpsIonoModelData() : p.restore_NvRamGpsIonoModelData();
    case kIonoModelQzss: return store ? p.store_NvRamQzssIonoModelData() : p.restore_NvRamQzssIonoModelData();
    case kIonoModelComp: return store ? p.store_NvRamCompIonoModelData() : p.restore_NvRamCompIonoModelData();
    case kIonoModelIrnss: return store ? p.store_NvRamIrnssIonoModelData() : p.restore_NvRamIrnssIonoModelData();
    case kIonoModelBDGlobal:
      return store ? p.store_NvRamBDGlobalIonoModelData() : p.restore_NvRamBDGlobalIonoModelData();
    case kIonoModelNeQuick:
      return store ? p.store_NvRamNeQuickIonoModelData() : p.restore_NvRamNeQuickIonoModelData();
    case kIonoModelGlonass:
      return store ? p.store_NvRamGlonassIonoModelData() : p.restore_NvRamGlonassIonoModelData();
    default: return false;
  }
}

}  // namespace

int SatelliteCorrectionProcessor::update_IonoModelData() {
  SatCorrWorkArea& w = work();
  int taken = 0;
  for (int m = 0; m < kIonoModels; ++m) {
    bool store = false;
    if (firstUpdate() != 0) {
      const bool restored = nvModel(*this, m, false);
      if (!restored) loadUserModel(w, m);
      const bool waiting = takeWaitingModel(*store_, w, m);
      // A restored model is written back even without a newer one: the block then holds what
      // the stage works with from this start on.
      store = restored || waiting;
      if (store) ++w.ulModelUpdates[m];
      taken += waiting ? 1 : 0;
    } else if (takeWaitingModel(*store_, w, m)) {
      ++w.ulModelUpdates[m];
      store = true;
      ++taken;
    }
    if (store) nvModel(*this, m, true);
  }
  clear_FirstUpdate();
  return taken;
}

// ---- the corrections ---------------------------------------------------------------------------

namespace {

// The wide-area request of the ionosphere stage: large, and used by one epoch at a time (the
// processor's epoch lock).
SBASData::CorrectionRequestType wdIonoRequest;

struct EpochChoice {
  SourceRatingType sources[SBASData::kMaxCorrSources];
  int order[SBASData::kMaxCorrSources];
  int chosen = 0;
  std::uint32_t mode = 0;
};

bool isUsed(const SatCorrWorkArea& w, bool listCounts, const SvIdType& sv) {
  if (!listCounts) return true;
  return sv.sys < 7 && sv.si < 64 && (w.usedSatList.ullMask[sv.sys] >> sv.si & 1u) != 0;
}

}  // namespace

bool IonoCorr::accept_Source(const SatelliteCorrectionProcessor& p, const PosSetup::CorrProcessorSetupType& setup,
                             std::uint32_t service, const SBASData::SourceSlotType& slot) {
  const std::uint8_t* s = setup.aBytes;
  const SvIdType& sv = slot.source;
  const float minElev = field<std::uint16_t>(s, kWdMinElevOffset);
  const int idx = sv.si;
  if (service == WdCorr::kServiceBeidou || service == WdCorr::kServiceNavic || service == WdCorr::kServiceQzss) {
    const std::size_t mask = service == WdCorr::kServiceBeidou  ? kBdsMaskOffset
                             : service == WdCorr::kServiceNavic ? kNavicMaskOffset
                                                                : kQzssMaskOffset;
    return idx < 64 && (field<std::uint64_t>(s, mask) >> idx & 1u) != 0 && p.check_SourceElevation(sv, minElev);
  }
  if (idx >= kSbasProviderEntries) {
    const int bit = idx - kSbasProviderEntries;
    return bit < 32 && (field<std::uint32_t>(s, kSbasHighMaskOffset) >> bit & 1u) != 0;
  }
  if ((field<std::uint64_t>(s, kSbasMaskOffset) >> idx & 1u) == 0) return false;
  std::uint32_t provider = slot.uProvider != 255 ? slot.uProvider : uSbasProviderAssignment[idx];
  if (provider != kNoProvider &&
      (provider >= 32 || (field<std::uint32_t>(s, kProviderMaskOffset) >> provider & 1u) == 0))
    return false;
  return p.check_SourceElevation(sv, minElev);
}

namespace {

// Steps of the wide-area part: run the service's generator, screen and rate its sources, choose.
void prepare_WideArea(SatelliteCorrectionProcessor& p, EpochChoice& c) {
  SatCorrWorkArea& w = p.work();
  const std::uint8_t* s = w.corrSetup.aBytes;
  c.mode = field<std::uint32_t>(s, kWdModeOffset);
  c.chosen = 0;
  if (field<std::uint32_t>(s, kWdIonoOnOffset) != 1) return;
  SBASData::CorrectionRequestType& req = wdIonoRequest;
  req.pRequest = &w.request;
  req.bRangeWanted = 0;
  req.bIonoWanted = 1;
  req.bPrecision = 0;
  req.bStrictHealth = 0;
  req.bAlmanacRequired = 0;
  req.uSourceCount = 0;
  const std::uint32_t service = field<std::uint32_t>(s, kWdServiceOffset);
  if (service == WdCorr::kServiceBeidou) {
    req.uSourceSystem = kSysBeidou;
    req.dRefFrequency = IonoModel::kB1IFrequency;
    if (p.compGenerator() != nullptr) p.compGenerator()->update(&req);
  } else if (service == WdCorr::kServiceSbas || service == WdCorr::kServiceQzss || service == WdCorr::kServiceNavic) {
    req.uSourceSystem = WdCorr::sourceSystemOf(service);
    req.dRefFrequency = service == WdCorr::kServiceNavic ? IonoModel::kL5Frequency : IonoModel::kL1Frequency;
    if (p.sbasGenerator() != nullptr) p.sbasGenerator()->update(&req);
  } else {
    return;
  }
  const bool listCounts = w.bUsedSatList != 0 && w.rcvTime.ulTimeTag - w.usedSatList.ulTimeTag < kUsedListMaxAgeMs;
  const int sources = std::min<int>(req.uSourceCount, SBASData::kMaxCorrSources);
  const int sats = std::min<int>(w.request.uCount, CorrData::kMaxRequestSats);
  for (int i = 0; i < sources; ++i) {
    const SBASData::SourceSlotType& slot = req.source[i];
    SourceRatingType& r = c.sources[i];
    r = SourceRatingType{i, 0.0f, accept_Source(p, w.corrSetup, service, slot), false};
    if (!r.accepted) continue;
    p.init_SourceVarEstimation();
    int fed = 0;
    for (int k = 0; k < sats; ++k) {
      if (slot.iono[k].bValid == 0 || !isUsed(w, listCounts, w.request.sat[k].svId)) continue;
      p.update_SourceVarEstimation(w.request.sat[k], slot.iono[k].fVariance);
      ++fed;
    }
    if (fed == 0) continue;
    r.candidate = true;
    const float v = p.get_SourceVarEstimation();
    r.quality = v != 0.0f ? 1.0f / v : 0.0f;
  }
  c.chosen = choose_Sources(c.sources, sources, req, c.mode, field<std::uint8_t>(s, kFixedSourceOffset), c.order);
}

}  // namespace

bool IonoCorr::blend_WideArea(const SourceRatingType* sources, const int* order, int chosen, std::uint32_t mode,
                              const SBASData::CorrectionRequestType& req, int k, double& corr, double& var) {
  // The same rule codes as the wide-area range stage: 0 fixed, 1 the best alone, 2 the first in
  // order that has the satellite, 3 and more a blend.
  if (mode == 2) {
    for (int j = 0; j < chosen; ++j) {
      const SBASData::IonoCorrectionEntryType& e = req.source[sources[order[j]].slot].iono[k];
      if (e.bValid == 0) continue;
      corr = e.fDelay;
      var = e.fVariance;
      return true;
    }
    return false;
  }
  double sq = 0.0, sd = 0.0, sv = 0.0;
  bool any = false;
  const int use = mode < 2 ? std::min(chosen, 1) : chosen;
  for (int j = 0; j < use; ++j) {
    const SourceRatingType& r = sources[order[j]];
    const SBASData::IonoCorrectionEntryType& e = req.source[r.slot].iono[k];
    if (e.bValid == 0) continue;
    any = true;
    sq += r.quality;
    sd += r.quality * e.fDelay;
    sv += r.quality * e.fVariance;
  }
  if (!any || !(sq > 0.0)) return false;
  corr = sd / sq;
  var = sv / sq;
  return true;
}

namespace {

struct ModelEpoch {
  double klobRef = 0.0;
  bool bdsForm = false;
  bool fullBound = false;
  bool neUsable = false;
  bool gloUsable = false;
  std::uint32_t modelType = 0;
  std::int32_t nowS = 0;
  // Working copies: the broadcast models, or the setup's valid user models in their place.
  ZRT_ION_CMP bdgim{};
  NeQuickIonoModelRecord neQuick{};
  ZRT_ION_GLN glonass{};
};

// The satellite's band-0 frequency; a system without a band-0 signal (NavIC: L5 only) takes its
// first band that has one, so that its delays are scaled to a signal it sends. 0 when none.
double ratedFrequency(const SvIdType& sv) {
  for (int band = 0; band < kChanSlots; ++band) {
    // GLONASS signal indices are frequency numbers + 7, as the table takes them.
    const double f = get_SvRatedFrequency(band, sv.sys, sv.si);
    if (f > 1.0) return f;
  }
  return 0.0;
}

void setNeEpoch(SatelliteCorrectionProcessor& p, const ModelEpoch& m, SvIdType* svs) {
  SatCorrWorkArea& w = p.work();
  NeModelEpochDataType e{};
  e.calendar = w.rcvTime.calendar;
  e.uDayOfYear = w.uDayOfYear;
  e.lTimeS = m.nowS;
  e.dLat = w.request.position.dLat;
  e.dLon = w.request.position.dLon;
  e.dHeight = w.request.position.dHeight;
  std::memcpy(&e.neQuick, &m.neQuick, sizeof e.neQuick);
  for (int i = 0; i < 3; ++i) e.fGlonass[i] = m.glonass.term[i];
  e.iGloSolarSource = field<std::int32_t>(w.corrSetup.aBytes, kGloSolarSourceOffset);
  if (m.neUsable) {
    float ai[3] = {m.neQuick.fAi[0], m.neQuick.fAi[1], m.neQuick.fAi[2]};
    e.level = compute_NeQuickIonisationLevel(ai, e.dLat, e.dLon);
  }
  const int n = std::min<int>(w.request.uCount, CorrData::kMaxRequestSats);
  for (int i = 0; i < n; ++i) svs[i] = w.request.sat[i].svId;
  e.pRequestSv = svs;
  e.iRequestCount = n;
  NeModelProcessorInstance.set_EpochData(e);
}

// One background model for one satellite: a computation is started or collected only while no
// other satellite's is under way this epoch.
void stepNeModel(const CorrData::RequestSatDataType& q, int model, bool usable, bool& busy) {
  if (!usable) {
    NeModelProcessorInstance.reset_CacheEntry(model, q.svId);
    return;
  }
  const IonoCacheEntryType* e = NeModelProcessorInstance.get_CacheEntry(model, q.svId);
  if (busy || (e != nullptr && e->bDone != 0)) return;
  const double ref = model == kNeModelNeQuick ? kNeQuickRefFreqHz : kGlonassModelRefFreqHz;
  NeModelProcessorInstance.set_RequestSatellite(q.svId);
  float c = 0.0f, v = 0.0f;
  const bool got =
      NeModelProcessorInstance.compute_NeBasedIonoModelCorrection(ref, ratedFrequency(q.svId), q.dSatPos, model, c, v);
  if (got || NeModelProcessorInstance.is_Pending()) busy = true;
}

}  // namespace

int SatelliteCorrectionProcessor::update_IonoCorrection() {
  SatCorrWorkArea& w = work();
  const std::uint8_t* s = w.corrSetup.aBytes;
  SatCorrectionDataServerType& server = store()->satCorrection;
  bool updated[SYS_SI_TOTAL] = {};
  int published = 0;
  EpochChoice choice;
  prepare_WideArea(*this, choice);

  ModelEpoch m;
  const std::uint32_t source = field<std::uint32_t>(s, kKlobSourceOffset);
  // A source outside the table publishes nothing; what earlier epochs published is still cleared
  // below, or it would stay valid for ever.
  const bool run = source <= 3;
  if (run) {
    static constexpr double kRef[4] = {IonoModel::kL1Frequency, IonoModel::kL1Frequency, IonoModel::kB1IFrequency,
                                       IonoModel::kL5Frequency};
    m.klobRef = kRef[source];
    m.bdsForm = source == 2;
    w.klobWork = w.klobModel[source];
    m.bdgim = w.bdGlobalModel;
    m.neQuick = w.neQuickModel;
    m.glonass = w.glonassModel;
    if (field<std::uint8_t>(s, kUserModelsOffset) != 0) {
      // The stored broadcast models stay as they are, for when the user models are switched off.
      ZRT_ION_GPS uk;
      ZRT_ION_CMP ub;
      NeQuickIonoModelRecord un;
      ZRT_ION_GLN ug;
      std::memcpy(&uk, s + kUserKlobOffset, sizeof uk);
      std::memcpy(&ub, s + kUserBdgimOffset, sizeof ub);
      std::memcpy(&un, s + kUserNeQuickOffset, sizeof un);
      std::memcpy(&ug, s + kUserGlonassOffset, sizeof ug);
      if (uk.valid != 0) w.klobWork = uk;
      if (ub.valid != 0) m.bdgim = ub;
      if (un.valid != 0) m.neQuick = un;
      if (ug.valid != 0) m.glonass = ug;
    }
    m.neUsable = field<std::uint8_t>(s, kNeQuickOnOffset) != 0 && m.neQuick.valid != 0;
    m.gloUsable = field<std::uint8_t>(s, kGlonassOnOffset) != 0 && m.glonass.valid != 0;
    m.fullBound = field<std::uint32_t>(w.satSetup.aBytes, kSatBoundCondition1Offset) == 1 &&
                  field<std::uint32_t>(s, kBoundCondition2Offset) == 0 &&
                  field<std::uint32_t>(s, kBoundCondition3Offset) != 0;
    m.modelType = field<std::uint32_t>(s, kModelTypeOffset);
    m.nowS = static_cast<std::int32_t>(w.rcvTime.ulTimeTag / 1000);
  }
  SvIdType requestSvs[CorrData::kMaxRequestSats];
  if (run && w.bCalendarValid != 0 && (m.neUsable || m.gloUsable)) setNeEpoch(*this, m, requestSvs);

  bool neBusy = false, gloBusy = false;
  const double smoothing = field<std::uint16_t>(s, kSmoothingOffset);
  const int count = run ? std::min<int>(w.request.uCount, CorrData::kMaxRequestSats) : 0;
  for (int i = 0; i < count; ++i) {
    const CorrData::RequestSatDataType& q = w.request.sat[i];
    int slot = 0;
    if (!q.svId.find_SiSlot(slot)) continue;
    SatData::CorrectionDataType r{};
    if (server.Take(&q.svId, &r) == 0) r.init();
    const bool hadIono = r.iono.bValid != 0;
    const double oldCorr = r.iono.fCorrection, oldVar = r.iono.fVariance;
    r.iono.bValid = 0;
    const double f = ratedFrequency(q.svId);
    if (w.bCalendarValid != 0) {
      stepNeModel(q, kNeModelNeQuick, m.neUsable, neBusy);
      stepNeModel(q, kNeModelGlonass, m.gloUsable, gloBusy);
    }
    double corr = 0.0, var = 0.0;
    bool have = false;
    if (choice.chosen > 0 &&
        blend_WideArea(choice.sources, choice.order, choice.chosen, choice.mode, wdIonoRequest, i, corr, var)) {
      // Wide-area values come scaled to the signal by their generators.
      if (smoothing != 0.0 && hadIono) {
        const double a = smoothingFactor(smoothing);
        corr = oldCorr + a * (corr - oldCorr);
        var = oldVar + a * (var - oldVar);
      }
      have = true;
    } else {
      float c = 0.0f, v = 0.0f;
      switch (m.modelType) {
        case kModelKlobuchar:
          if (w.klobWork.valid != 0 && f > 0.0) {
            const float k = static_cast<float>((m.klobRef / f) * (m.klobRef / f));
            const double t = w.rcvTime.gps.ulMs * 0.001;
            const double lat = w.request.position.dLat, lon = w.request.position.dLon;
            if (m.bdsForm)
              IonoModel::compute_BdsKlobIonoModelCorrection(m.fullBound, t, lat, lon, q.fElevation, q.fAzimuth,
                                                            w.klobWork, k, c, v);
            else
              IonoModel::compute_KlobIonoModelCorrection(m.fullBound, t, lat, lon, q.fElevation, q.fAzimuth,
                                                         w.klobWork, k, c, v);
            have = true;
          }
          break;
        case kModelNeQuick:
        case kModelGlonass:
          have = NeModelProcessorInstance.get_CachedCorrection(static_cast<int>(m.modelType), q.svId, m.nowS, c, v);
          break;
        case kModelBdgim:
          if (m.bdgim.valid != 0 && w.bCalendarValid != 0 && f > 0.0) {
            const double mjd = celestial().julianDate() - 2400000.5;
            IonoModel::compute_BDGlobalIonoModelCorrection(w.request.position.dLat, w.request.position.dLon,
                                                           q.fElevation, q.fAzimuth, mjd, &m.bdgim, f, c, v);
            have = true;
          }
          break;
        default: break;
      }
      corr = c;
      var = v;
    }
    // Judged as published, in float; a value that is not a number never passes.
    const float fc = static_cast<float>(corr), fv = static_cast<float>(var);
    if (!have || !(std::fabs(fc) <= kMaxCorrection && fv <= kMaxVariance)) continue;
    r.iono = SatData::IonoCorrectionType{fc, fv, q.fObliquity, 1};
    w.bCorrPresent = 1;
    server.Put(&q.svId, &r);
    updated[slot] = true;
    ++published;
  }
  if (run && !neBusy) NeModelProcessorInstance.clear_DoneMarks(kNeModelNeQuick);
  if (run && !gloBusy) NeModelProcessorInstance.clear_DoneMarks(kNeModelGlonass);

  for (int slot = 0; slot < SYS_SI_TOTAL; ++slot) {
    SvIdType sv;
    if (updated[slot] || !svIdFromSiSlot(slot, sv)) continue;
    SatData::CorrectionDataType r;
    if (server.Take(&sv, &r) == 0 || r.iono.bValid == 0) continue;
    r.InitIonoCorr();
    server.Put(&sv, &r);
  }
  return published;
}
