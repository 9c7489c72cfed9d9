#include "positioning/corrections/sat_corr_processor.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <numbers>

#include "navigation_data/store/sat_data_store.h"
#include "positioning/corrections/cd_correction.h"
#include "positioning/corrections/comp_corr_generator.h"
#include "positioning/gbas/gbas_corr_generator.h"
#include "positioning/corrections/rtcm_corr_generator.h"
#include "positioning/corrections/rtcm_ts_corr_generator.h"
#include "platform/debug.h"
#include "platform/mono_clock.h"
#include "positioning/data_servers/data_malloc.h"
#include "positioning/data_servers/rtcm_data_types.h"
#include "positioning/data_servers/sbas_data_types.h"
#include "positioning/geoid/geoid_gps.h"
#include "positioning/placeholders.h"
#include "positioning/sbas/dfmc_sbas_corr_generator.h"
#include "positioning/sbas/sbas_corr_generator.h"
#include "positioning/slas/slas_corr_generator.h"
#include "settings/debug_selectors.h"

// Built with the store before any task runs; the generators that exist join here.
SatelliteCorrectionProcessor SatCorrProcessorInstance(&PVTDataInstance, &SatDataProcessorInstance, &SbasCorrGeneratorInstance, &DFMC_SbasCorrGeneratorInstance,
                                                      &SlasCorrGeneratorInstance, &RtcmTSCorrGeneratorInstance, &CompCorrGeneratorInstance,
                                                      &GbasCorrGeneratorInstance, &RtcmCorrGeneratorInstance);

namespace {

// Fields of the setups read here, by byte offset of the stored records.
constexpr std::size_t kLmsMinHeightOffset = 224;     // f64, m
constexpr std::size_t kLmsMaxHeightOffset = 232;     // f64, m

// Day of year taken when no calendar epoch is known: the first of June, mid-season for both
// hemispheres' troposphere tables.
constexpr std::uint16_t kDefaultDayOfYear = 152;
constexpr std::int32_t kNeverSec = -86400;
constexpr std::uint16_t kNoId = 65535;

template <class T>
T readField(const std::uint8_t* bytes, std::size_t offset) {
  T v;
  std::memcpy(&v, bytes + offset, sizeof v);
  return v;
}

}  // namespace

SatelliteCorrectionProcessor::SatelliteCorrectionProcessor(PVTDataType* store, SatelliteDataProcessor* satData,
                                                           SbasCorrGenerator* sbas, DFMC_SbasCorrGenerator* dfmc,
                                                           SlasCorrGenerator* slas, RtcmTSCorrGenerator* rtcmTs,
                                                           CompCorrGenerator* comp, GbasCorrGenerator* gbas,
                                                           RtcmCorrGenerator* rtcm)
    : store_(store),
      satData_(satData),
      sbas_(sbas),
      dfmc_(dfmc),
      slas_(slas),
      rtcmTs_(rtcmTs),
      comp_(comp),
      gbas_(gbas),
      rtcm_(rtcm),
      normalInv_(4, 4, true),
      work_(new (SlowDataMalloc(sizeof(SatCorrWorkArea))) SatCorrWorkArea{}) {
  init_Object();
}

SatelliteCorrectionProcessor::~SatelliteCorrectionProcessor() {
  work_->~SatCorrWorkArea();
  SlowDataFree(work_, sizeof(SatCorrWorkArea));
}

void SatelliteCorrectionProcessor::init_Object() {
  SatCorrWorkArea& w = *work_;
  for (ZRT_ION_GPS& m : w.klobModel) m.valid = 0;
  w.bdGlobalModel.valid = 0;
  w.neQuickModel.valid = 0;
  w.glonassModel.valid = 0;
  w.klobWork.valid = 0;
  for (std::uint32_t& c : w.ulModelUpdates) c = 0;
  w.bNeQuickPending = 0;
  w.bCorrPresent = 0;
  for (int i = 0; i < SYS_SI_TOTAL; ++i) {
    w.neQuickCache[i] = IonoCacheEntryType{0.0f, 0.0f, kNeverSec, 0};
    w.glonassCache[i] = IonoCacheEntryType{0.0f, 0.0f, kNeverSec, 0};
  }
  init_SourceVarEstimation();
  for (std::uint16_t& id : w.uRememberedId) id = kNoId;
  w.ulRememberedWord[0] = 2;
  w.ulRememberedWord[1] = 9;
  w.bHadComplete = 0;
  w.bStaleCleared = 0;
  w.ulLastCompleteMs = 0;
  w.uDayOfYear = kDefaultDayOfYear;
  // With the models cleared, the next refresh must start over from the stored blocks and the
  // user models, as at start-up: a refresh that took only what waits would run without a model
  // until the next broadcast.
  bFirstUpdate_ = 1;
}

// ---- the epoch -------------------------------------------------------------------------------

int SatelliteCorrectionProcessor::update() { return update(MonoClock::ms()); }

int SatelliteCorrectionProcessor::update(std::uint32_t nowMs) {
  if (store_ == nullptr || !epochMutex_.tryLock()) return 0;
  const int r = run_Epoch(nowMs);
  epochMutex_.unlock();
  return r;
}

int SatelliteCorrectionProcessor::run_Epoch(std::uint32_t nowMs) {
  SatCorrWorkArea& w = *work_;
  if (store_->lmsEngineSetup.Take(&w.lmsSetup) == 0 || store_->satProcessorSetup.Take(&w.satSetup) == 0 ||
      store_->corrProcessorSetup.Take(&w.corrSetup) == 0) {
    end_Early(nowMs);
    return 0;
  }
  apply_DataTimeouts();
  update_IonoModelData();
  if (update_PositionData() == 0) {
    end_Early(nowMs);
    return 0;
  }
  prepare_CorrectionRequest();
  update_IonoCorrection();
  update_TropoCorrection();
  update_WdCorrection();
  update_GbasCorrection();
  if (temp_dbi == 199) print_Corrections();
  w.ulLastCompleteMs = nowMs;
  w.bHadComplete = 1;
  w.bStaleCleared = 0;
  const int published = update_CdCorrection();
  if (temp_dbi == 199) print_CdCorrections();
  return published;
}

// The user's meteorological values the troposphere stage holds, in the units they were entered
// in (degrees Celsius, per cent, hectopascal); then one line per requested satellite: the issue of
// data of its ephemeris in use, its ionosphere correction and the wide-area range correction of
// each band with its issue of data ("-" where none is valid).
void SatelliteCorrectionProcessor::print_Corrections() {
  const SatCorrWorkArea& w = *work_;
  double tempC = 0, humidity = 0, pressure = 0;
  PosSetup::convertMeteo(PosSetup::getMeteo(w.corrSetup), tempC, humidity, pressure);
  debPrintfx(-1, "$$ meteo %.2f %.2f %.2f\n", tempC, humidity, pressure);
  static constexpr char kLetter[SYS_NUM + 1] = "GRESJCI";
  for (int k = 0; k < w.request.uCount && k < CorrData::kMaxRequestSats; ++k) {
    const SvIdType sv = w.request.sat[k].svId;
    SatData::CorrectionDataType r;
    if (sv.sys >= SYS_NUM || store_->satCorrection.Take(&sv, &r) == 0) continue;
    char line[160];
    int n = std::snprintf(line, sizeof line, "$$ corr %c%02d iod %u", kLetter[sv.sys],
                          sv.sys == kSysGlonass ? sv.si - 7 : sv.si + 1, w.request.sat[k].uIod);
    const auto add = [&](bool valid, const char* name, float v) {
      n += valid ? std::snprintf(line + n, sizeof line - n, " %s %.3f", name, v) : std::snprintf(line + n, sizeof line - n, " %s -", name);
    };
    add(r.iono.bValid != 0, "iono", r.iono.fCorrection);
    for (int b = 0; b < 2; ++b) {
      add(r.wd.band[b].bValid != 0, "wd", r.wd.band[b].fCorrection);
      if (r.wd.band[b].bValid != 0) n += std::snprintf(line + n, sizeof line - n, "/%u", r.wd.band[b].uIod);
    }
    debPrintfx(-1, "%s\n", line);
  }
}

// One line per requested satellite with a code-differential correction of its first signal slot:
// the current entry and its issue of data.
void SatelliteCorrectionProcessor::print_CdCorrections() {
  const SatCorrWorkArea& w = *work_;
  static constexpr char kLetter[SYS_NUM + 1] = "GRESJCI";
  for (int k = 0; k < w.request.uCount && k < CorrData::kMaxRequestSats; ++k) {
    const SvIdType sv = w.request.sat[k].svId;
    SatData::CorrectionDataType r;
    if (sv.sys >= SYS_NUM || store_->satCorrection.Take(&sv, &r) == 0) continue;
    const SatData::CdSlotCorrectionType& c = r.cd.slot[0];
    if (c.uIod[0] == SatData::CdCorrectionType::kNoIod) continue;
    debPrintfx(-1, "$$ cd %c%02d %.3f/%u\n", kLetter[sv.sys], sv.sys == kSysGlonass ? sv.si - 7 : sv.si + 1,
               c.fCorrection[0], c.uIod[0]);
  }
}

void SatelliteCorrectionProcessor::apply_DataTimeouts() {
  const PosSetup::CorrProcessorSetupType& s = work_->corrSetup;
  SBASData::SatCorrectionType::set_DataTimeout(&s);
  SBASData::IonoCorrectionType::set_DataTimeout(&s);
  SBASData::DegradationDataType::set_DataTimeout(&s);
  SBASData::RegionServiceDataType::set_DataTimeout(&s);
  SBASData::DFMC_SatCorrectionType::set_DataTimeout(&s);
  SBASData::DFMC_DegradationDataType::set_DataTimeout(&s);
  // SBAS tags are GPS time of week: parts past their time-out lose their ready bits now, before
  // their tags could come round again; without a valid GPS time no age can be told.
  PosData::RcvTimeDataType t;
  const bool haveTime = store_->rcvTime.Take(&t) != 0;
  if (haveTime && t.gps.uStatus[0] != 0) SBASData::clear_ExpiredServers(store_, static_cast<int>(t.gps.ulMs));
  COMPData::SatCorrectionType::set_DataTimeout(&s);
  COMPData::IonoCorrBlockType::set_DataTimeout(&s);
  GBASData::DiffCorrectionType::set_DataTimeout(&s);
  GBASData::StationDataType::set_DataTimeout(&s);
  GBASData::StationAddBlockDataType::set_DataTimeout(&s);
  GBASData::FASDataType::set_DataTimeout(&s);
  // The RTCM code corrections age by the setup's time-outs, the station and state-space records
  // by fixed time-outs of their own; all three are swept now, each system by its own time, as
  // the SBAS records are.
  RTCMData::SatCorrectionType::set_DataTimeout(readField<std::uint16_t>(s.aBytes, CdCorr::kRangeTimeoutOffset),
                                               readField<std::uint16_t>(s.aBytes, CdCorr::kIonoTimeoutOffset));
  if (haveTime) RTCMData::clear_ExpiredServers(store_, t);
  SLASData::StationDataType::set_StationDataTimeout();
  SLASData::SatCorrectionType::set_DataTimeout();
}

// The time-outs of the inputs age out only the inputs; what the stages published stays valid
// until a stage renews or clears it, and the stages do not run without a position, a time or
// the setups. A short gap keeps the parts; a longer one clears them once, so that no reader
// takes a correction older than the inputs it came from could be. Debug selector 199 prints each
// such end: the ms since the last complete epoch, the satellites whose record still holds a valid
// part, and "cleared" on the end that cleared them.
void SatelliteCorrectionProcessor::end_Early(std::uint32_t nowMs) {
  SatCorrWorkArea& w = *work_;
  if (w.bHadComplete == 0) return;
  const std::uint32_t since = nowMs - w.ulLastCompleteMs;
  const bool clear = w.bStaleCleared == 0 && since > stalePartsMs();
  if (clear) {
    sweep_PublishedParts(true);
    w.bStaleCleared = 1;
    w.bCorrPresent = 0;
  }
  if (temp_dbi == 199)
    debPrintfx(-1, "$$ early %u %d%s\n", since, sweep_PublishedParts(false), clear ? " cleared" : "");
}

std::uint32_t SatelliteCorrectionProcessor::stalePartsMs() const {
  std::uint32_t limit = kStalePartsMs;
  for (double t : {RTCMData::SatCorrectionType::get_RangeCorrTimeout(), RTCMData::SatCorrectionType::get_IonoCorrTimeout()})
    if (t > 0 && t * 1000.0 < limit) limit = static_cast<std::uint32_t>(t * 1000.0);
  return limit;
}

int SatelliteCorrectionProcessor::sweep_PublishedParts(bool clear) {
  if (store_ == nullptr) return 0;
  SatCorrectionDataServerType& server = store_->satCorrection;
  int valid = 0;
  for (int slot = 0; slot < SYS_SI_TOTAL; ++slot) {
    SvIdType sv;
    if (!svIdFromSiSlot(slot, sv)) continue;
    SatData::CorrectionDataType r;
    if (server.Take(&sv, &r) == 0 || !r.has_ValidPart()) continue;
    ++valid;
    if (!clear) continue;
    r.InitIonoCorr();
    r.InitTropoCorr();
    r.InitWdCorr();
    r.InitGbasCorr();
    r.InitCdCorr();
    server.Put(&sv, &r);
  }
  return valid;
}

int SatelliteCorrectionProcessor::update_PositionData() {
  SatCorrWorkArea& w = *work_;
  if (store_->rcvTime.Take(&w.rcvTime) == 0) return 0;
  w.bCalendarValid = 0;
  w.sun.bValid = 0;
  w.moon.bValid = 0;
  w.uDayOfYear = kDefaultDayOfYear;
  if (w.rcvTime.bCalendarValid != 0) {
    const GREGORIAN_EPOCH& cal = w.rcvTime.calendar;
    w.bCalendarValid = 1;
    w.uDayOfYear = static_cast<std::uint16_t>(std::trunc(cal.day + (cal.month - 1) * 30.5));
    celestial_.update(cal);
    celestial_.update_SunPos(&w.sun);
    store_->sunPosition.Put(&w.sun);
    celestial_.update_MoonPos(&w.moon);
    store_->moonPosition.Put(&w.moon);
  }
  if (store_->position.Take(&w.position) == 0) {
    w.bCorrPresent = 0;
    return 0;
  }
  if (store_->velocity.Take(&w.velocity) != 0) {
    const double hMin = readField<double>(w.lmsSetup.aBytes, kLmsMinHeightOffset);
    const double hMax = readField<double>(w.lmsSetup.aBytes, kLmsMaxHeightOffset);
    const bool usable = w.position.check_AvailableData(hMin, hMax);
    if (usable && w.velocity.bValid != 0) {
      const PosData::PositionDataType& p = w.position;
      w.dHeight = p.dHeight;
      w.dVelFactor = w.velocity.dSecondVector[2];
      // Where the model has no height (none valid yet, a point outside a regional grid) the last
      // height it gave, near this receiver, is closer than none for the troposphere's height.
      w.dOrthoHeight = p.dHeight - GeoidGPS::getHeight(p.dLat, p.dLon);
      w.dSinLat = std::sin(p.dLat);
      w.dCosLat = std::cos(p.dLat);
      w.dTanNorth = std::tan(std::numbers::pi / 2 - p.dLat);
      w.dTanSouth = std::tan(std::numbers::pi / 2 + p.dLat);
      w.bUsedSatList = static_cast<std::uint8_t>(store_->usedSatelliteList.Take(&w.usedSatList));
      return 1;
    }
  }
  w.bCorrPresent = 0;
  return 0;
}

// ---- source rating ---------------------------------------------------------------------------

void SatelliteCorrectionProcessor::init_SourceVarEstimation() {
  SatCorrWorkArea& w = *work_;
  for (auto& row : w.dNormal)
    for (double& v : row) v = 0.0;
  w.uNormalCount = 0;
}

void SatelliteCorrectionProcessor::update_SourceVarEstimation(const CorrData::RequestSatDataType& sat,
                                                              float variance) {
  SatCorrWorkArea& w = *work_;
  const double g[4] = {-sat.dLos[0], -sat.dLos[1], -sat.dLos[2], 1.0};
  const double weight = 1.0 / (static_cast<double>(variance) + sat.fRangeVar);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) w.dNormal[i][j] += weight * g[i] * g[j];
  ++w.uNormalCount;
}

float SatelliteCorrectionProcessor::get_SourceVarEstimation() {
  const SatCorrWorkArea& w = *work_;
  if (w.uNormalCount == 0) return 1e7f;
  if (w.uNormalCount > 3 && normalInv_.setSize(4, 4)) {
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) normalInv_[i][j] = w.dNormal[i][j];
    if (invert_Chol(normalInv_) != 0)
      return static_cast<float>(normalInv_[0][0] + normalInv_[1][1] + normalInv_[2][2]);
  }
  return 1000.0f / static_cast<float>(w.uNormalCount);
}

// ---- the channel data's view -----------------------------------------------------------------

bool get_SatIonoCorrection(const SvIdType& sv, float& correction, float& obliquity) {
  PVTDataType* store = SatCorrProcessorInstance.store();
  if (store == nullptr || !sv.isValidSi()) return false;
  SatData::CorrectionDataType r;
  if (store->satCorrection.Take(&sv, &r) == 0 || r.iono.bValid == 0) return false;
  correction = r.iono.fCorrection;
  obliquity = r.iono.fObliquity;
  return true;
}
