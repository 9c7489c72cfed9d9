#include "positioning/engine/pvt_engine.h"

#include <cstring>

#include "navigation_data/decoders/beidou_b2b_decoder.h"
#include "navigation_data/decoders/beidou_cnav1_decoder.h"
#include "navigation_data/decoders/beidou_cnav2_decoder.h"
#include "navigation_data/decoders/beidou_d1_decoder.h"
#include "navigation_data/decoders/beidou_d2_decoder.h"
#include "navigation_data/decoders/gal_nav_decoder.h"
#include "navigation_data/decoders/glonass_l3_decoder.h"
#include "navigation_data/decoders/glonass_nav_decoder.h"
#include "navigation_data/decoders/gps_cnav2_decoder.h"
#include "navigation_data/decoders/gps_cnav_decoder.h"
#include "navigation_data/decoders/gps_lnav_decoder.h"
#include "navigation_data/decoders/navic_l5_decoder.h"
#include "navigation_data/store/nav_nv_blocks.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/chan_data.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/engine/epoch_solution.h"
#include "positioning/engine/kfk_engine.h"
#include "positioning/engine/lms_engine.h"
#include "positioning/engine/sat_meas_processor.h"
#include "positioning/gbas/gbas_data_decoder.h"
#include "positioning/rcv_time_scales.h"
#include "positioning/sat_data_task.h"
#include "positioning/sbas/dfmc_sbas_data_decoder.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "positioning/slas/slas_data_decoder.h"
#include "positioning/signal_tables.h"
#include "settings/rcv_settings.h"

// Ready before any other static object is built: start-up points it at the store, the satellite
// data store and the decoder pools once they all exist (init_Object), before any task runs.
constinit PVTEngine PVTEngineInstance;

namespace {

// SBAS satellites (index = PRN - 120) of each service provider; every other entry is 0.
struct ProviderRow {
  std::uint32_t provider;
  int index[3];
};
constexpr ProviderRow kSbasProviders[] = {
    {1, {3, 6, 16}}, {2, {9, 17, -1}}, {3, {7, 8, 12}}, {4, {5, 20, 22}}, {5, {10, 23, 24}},
};

// The KFK steady part runs in step with the epochs above this interval, or when the KFK engine
// setup's byte kKfkSetupSyncAt holds kKfkSetupSyncForced.
constexpr double kKfkSyncIntervalSec = 0.25;
constexpr std::size_t kKfkSetupSyncAt = 144;
constexpr std::uint8_t kKfkSetupSyncForced = 2;

}  // namespace

void PVTEngine::init_Object(PVTDataType* store, SatelliteDataProcessor* satData) {
  pStore = store;
  pSatData = satData;
  pCorr = &SatCorrProcessorInstance;
  pRcvTime = store != nullptr ? &store->rcvTime : nullptr;
  pUsedSatList = store != nullptr ? &store->usedSatelliteList : nullptr;
  pSatSetup = store != nullptr ? &store->satProcessorSetup : nullptr;
  pLms = &LMSEngineInstance;
  pMeas = &SatelliteMeasurementProcessorInstance;
  pKfk = &KFKEngineInstance;
  // The KFK objects take their servers now that the store surely stands.
  if (store != nullptr) {
    KFKEngineSteadyPartInstance.init_Object();
    KFKEngineInstance.init_Object();
  }

  bDebugGpsCnavDatdec.store(1);
  signalDataInitOnce();
  // The decoder pools, in the order they are built; the pools of the other decoders join here.
  for (GpsNavDataDecoderType& d : GpsNavDataDecoderPool) d.init_Object(satData);
  for (GpsCNavDataDecoderType& d : GpsCNavDataDecoderPool) d.init_Object(satData);
  for (GpsCNav2DataDecoderType& d : GpsCNav2DataDecoderPool) d.init_Object(satData);
  for (GloNavDataDecoderType& d : GloNavDataDecoderPool) d.init_Object(satData);
  for (GloL3NavDataDecoderType& d : GloL3NavDataDecoderPool) d.init_Object(satData);
  for (GalDataDecoder& d : GalDataDecoderInstance) d.init_Object(satData);
  for (CompD1NavDataDecoderType& d : CompD1NavDataDecoderInstance) d.init_Object(satData);
  for (CompD2NavDataDecoderType& d : CompD2NavDataDecoderInstance) d.init_Object(satData);
  for (CompCNav1DataDecoderType& d : CompCNav1DataDecoderInstance) d.init_Object(satData);
  for (CompCNav2DataDecoderType& d : CompCNav2DataDecoderInstance) d.init_Object(satData);
  for (CompCNav2bDataDecoderType& d : CompCNav2bDataDecoderInstance) d.init_Object(satData);
  for (IrnssL5NavDataDecoderType& d : IrnssL5NavDataDecoderInstance) d.init_Object(satData);
  for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(store, satData);
  for (DFMC_SbasDataDecoder& d : DFMC_SbasDataDecoderInstance) d.init_Object(store, satData);
  // The GBAS decoders bind their servers by their own number.
  for (GbasDataDecoder& d : GbasDataDecoderInstance) d.init_Object(store);
  for (SlasDataDecoder& d : SlasDataDecoderInstance) d.init_Object(store);

  for (auto& e : RtcmSourceIdData) e = SourceIdEntry{0, kFreeSourceId};
  for (auto& e : SlasSourceIdData) e = SourceIdEntry{0, kFreeSourceId};
  for (auto& e : RtcmTSSourceIdData) e = SourceIdEntry{0, kFreeSourceId};
  for (auto& p : uSbasProviderAssignment) p = 0;
  for (const ProviderRow& r : kSbasProviders)
    for (int i : r.index)
      if (i >= 0) uSbasProviderAssignment[i] = r.provider;

  if (store != nullptr) clear_SolutionFlags(store->epochData.GetPointer()->board);
  for (auto& r : readers) r = RawNavReader{};
  bInEpochCorrections.store(0);
}

// ---- per-epoch road ---------------------------------------------------------------------------

int PVTEngine::update(long intervalMs, bool full, NavTask::NAV_SOL* sol, ChanData* chan) {
  if (pStore == nullptr) return sol != nullptr ? sol->status : NavTask::NAV_SOL::kNotComputed;
  PVTEngineEpochDataServerType& server = pStore->epochData;
  PVTEngineEpochDataType* e = server.GetPointer();
  if (e != nullptr) {
    input_EpochData(chan, sol, e, intervalMs);
    server.FreePointer(e);
  }
  if (pMeas != nullptr) pMeas->update_ChanNavData();
  if (pCorr != nullptr && bInEpochCorrections.load() != 0) pCorr->update();
  e = server.GetPointer();
  if (e != nullptr) {
    output_SolutionData(e, full);
    server.FreePointer(e);
  }
  return sol != nullptr ? sol->status : NavTask::NAV_SOL::kNotComputed;
}

void PVTEngine::input_EpochData(ChanData* chan, NavTask::NAV_SOL* sol, PVTEngineEpochDataType* e, long intervalMs) {
  e->dEpochInterval = static_cast<double>(intervalMs) * 0.001;
  if (pKfk != nullptr && pKfk->pSteady != nullptr) {
    // Long epochs, or the setup's demand, put the steady part in step with the epochs.
    static PosSetup::KFKEngineSetupType kfkSetup;
    const bool forced = pStore != nullptr && pStore->kfkEngineSetup.Take(&kfkSetup) != 0 &&
                        kfkSetup.aBytes[kKfkSetupSyncAt] == kKfkSetupSyncForced;
    pKfk->pSteady->bSyncMode = e->dEpochInterval > kKfkSyncIntervalSec || forced;
  }
  if (sol != nullptr) set_RcvTimeData(sol->epoch, e->rcvTime);
  e->rcvTime2 = e->rcvTime;
  e->pChanData = chan;
  e->pNavSol = sol;
}

void PVTEngine::set_RcvTimeData(const NavTask::NAV_EPOCH& ep, PosData::RcvTimeDataType& r) {
  fill_RcvTimeData(ep, r);
  if (pRcvTime != nullptr) pRcvTime->Put(&r);
}

void PVTEngine::output_SolutionData(PVTEngineEpochDataType* e, bool full) {
  if (e == nullptr || e->pNavSol == nullptr) return;
  NavTask::NAV_SOL& sol = *e->pNavSol;
  SatData::SatelliteListType used{};
  used.ulTimeTag = e->rcvTime.ulTimeTag;
  used.bFlag = 1;
  collect_Satellites(*e, full, used, sol);
  if (full && pUsedSatList != nullptr) pUsedSatList->Put(&used);
  copy_Solution(e->board, RcvSet.singleClock == 1, sol);
}

// ---- housekeeping road ------------------------------------------------------------------------

void PVTEngine::update_SatDataTask() {
  if (pSatData != nullptr) satDataStoreStep();
}

void PVTEngine::update_SatCorrTask() {
  if (pCorr != nullptr && bInEpochCorrections.load() == 0) pCorr->update();
  bInEpochCorrections.store(0);
}

// ---- settings image and start-up --------------------------------------------------------------

void PVTEngine::allocate_NvRamData() {
  // The setups, the station records and the satellite data store's blocks, in that order; the
  // correction processor's ionosphere models after them, so that an image stored before they
  // existed keeps its layout.
  if (pStore != nullptr) pStore->allocate_NvRamData();
  if (pCorr != nullptr) pCorr->allocate_NvRamData();
  // The SBAS decoders' PRN masks last, for the same reason.
  SbasDataDecoder::allocate_NvRamData();
}

// The kept copies go at once, so that a restart right after the command restores none; the
// store drops what it holds at its next step, in its own task.
void PVTEngine::clear_NvRamEphemerisData() {
  if (pSatData == nullptr) return;
  nav_nv::clear_NvRamEphemerisData();
  request_ClearAllEphemerides();
}

void PVTEngine::clear_NvRamAlmanacData() {
  if (pSatData == nullptr) return;
  nav_nv::clear_NvRamAlmanacData();
  request_ClearAllAlmanacs();
}

void PVTEngine::input_PositionData(const NavTask::NAV_POS& pos) {
  if (pLms != nullptr) pLms->input_PositionData(pos);
}

void PVTEngine::pvtTasksInitOnce() {
  NavTask::NAV_EPOCH ep;
  NavTask::fill_NavEpoch(RcvTimeScales::Req, ep);
  PosData::RcvTimeDataType r{};
  set_RcvTimeData(ep, r);
  update_SatDataTask();
  if (pCorr != nullptr && bInEpochCorrections.load() == 0) pCorr->update();
  bInEpochCorrections.store(0);
}
