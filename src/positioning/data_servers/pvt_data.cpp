#include "positioning/data_servers/pvt_data.h"

#include "navigation_data/store/nav_nv_blocks.h"

// The class locks are defined here, ahead of the store, so that they exist before the store's
// constructors use them (objects of one file are built in the order they are defined).
Mutex PVTEngineEpochDataServerType::mutex;
Mutex SteadyInputDataServerType::mutex;
Mutex FilterGainDataServerType::mutex;
Mutex KlobIonoModelDataServerType::mutex;
Mutex BDGlobalIonoModelDataServerType::mutex;
Mutex NeQuickIonoModelDataServerType::mutex;
Mutex GlonassIonoModelDataServerType::mutex;
Mutex NeModelDataServerType::mutex;
Mutex NeModelTECServerType::mutex;
Mutex RcvTimeDataServerType::mutex;
Mutex PositionDataServerType::mutex;
Mutex VelocityDataServerType::mutex;
Mutex SatProcessorSetupServerType::mutex;
Mutex CorrProcessorSetupServerType::mutex;
Mutex LMSEngineSetupServerType::mutex;
Mutex KFKEngineSetupServerType::mutex;
Mutex KFKSteadyPartSetupServerType::mutex;
Mutex SatelliteResetRequestDataServerType::mutex;
Mutex EphemerisResetRequestDataServerType::mutex;
Mutex& SatPolynomDataServerType::mutex = SatPolynomStore::mutex;
Mutex SatCorrectionDataServerType::mutex;
Mutex SatGbasAccuracyDataServerType::mutex;
Mutex SbasSatCorrectionServerType::mutex;
Mutex SbasIonoCorrectionServerType::mutex;
Mutex SbasRegionServiceDataServerType::mutex;
Mutex SbasDegradationDataServerType::mutex;
Mutex SbasSourceStateDataServerType::mutex;
Mutex DFMC_SbasSatCorrectionServerType::mutex;
Mutex DFMC_SbasDegradationDataServerType::mutex;
Mutex DFMC_SbasSourceStateDataServerType::mutex;
Mutex CompSatCorrectionServerType::mutex;
Mutex CompIonoCorrectionServerType::mutex;
Mutex CompSourceStateDataServerType::mutex;
Mutex GbasDiffCorrectionServerType::mutex;
Mutex GbasStationDataServerType::mutex;
Mutex GbasStationAddBlockDataServerType::mutex;
Mutex GbasFASDataServerType::mutex;
Mutex GbasSourceStateDataServerType::mutex;
Mutex GbasCommonDataServerType::mutex;
Mutex GbasEphIntegrityDataServerType::mutex;
Mutex RtcmSatCorrectionServerType::mutex;
Mutex RtcmStationDataServerType::mutex;
Mutex RtcmSourceStateDataServerType::mutex;
Mutex RtcmTSSatCorrectionServerType::mutex;
Mutex RtcmTSSourceStateDataServerType::mutex;
Mutex SlasSatCorrectionServerType::mutex;
Mutex SlasStationDataServerType::mutex;
Mutex LockedSatelliteListServerType::mutex;
Mutex UsedSatelliteListServerType::mutex;
Mutex SatdataDeltaTimeServerType::mutex;
Mutex SunPositionDataServerType::mutex;
Mutex MoonPositionDataServerType::mutex;
Mutex NmctDataServerType::mutex;

SlowPVTDataType SlowPVTDataInstance;
PVTDataType PVTDataInstance;

void PVTDataType::allocate_NvRamData() {
  std::uint16_t id = kSetupBlockId;
  satProcessorSetup.allocate_NvRam(id++);
  corrProcessorSetup.allocate_NvRam(id++);
  lmsEngineSetup.allocate_NvRam(id++);
  kfkEngineSetup.allocate_NvRam(id++);
  kfkSteadyPartSetup.allocate_NvRam(id++);
  for (auto& s : rtcmStationData) s.allocate_NvRam(static_cast<std::uint16_t>(id + s.sourceIndex()));
  // The satellite data store's blocks come after every block laid out before them, so an image
  // stored before they existed keeps its layout.
  nav_nv::allocate_NvRamData();
}

void PVTDataType::restore_NvRamData() {
  satProcessorSetup.read_NvRam();
  corrProcessorSetup.read_NvRam();
  lmsEngineSetup.read_NvRam();
  kfkEngineSetup.read_NvRam();
  kfkSteadyPartSetup.read_NvRam();
  for (auto& s : rtcmStationData) s.read_NvRam();
}

void PVTDataType::init_SetupData() {
  satProcessorSetup.Init();
  corrProcessorSetup.Init();
  lmsEngineSetup.Init();
  kfkEngineSetup.Init();
  kfkSteadyPartSetup.Init();
  for (auto& s : rtcmStationData) s.Init();
}
