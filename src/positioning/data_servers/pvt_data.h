// The positioning layer's data store: every record one component of the layer hands to
// another crosses through one of these servers. One global instance, built before any task
// starts. The satellites' visibility (from ephemerides and from almanacs) is not kept here: the
// navigation-data store below this layer publishes it (SatVisibilityStoreInstance).
#pragma once

#include "positioning/data_servers/pvt_servers.h"
#include "positioning/data_servers/slow_pvt_data.h"

class PVTDataType {
 public:
  PVTDataType() = default;
  PVTDataType(const PVTDataType&) = delete;
  PVTDataType& operator=(const PVTDataType&) = delete;

  // The settings-image blocks of the five setups and the five RTCM station records.
  static constexpr std::uint16_t kSetupBlockId = 2191;  // 2191-2195 setups, 2196-2200 stations
  void allocate_NvRamData();
  // Every record from its block, in block order; a block that is invalid gets the defaults.
  void restore_NvRamData();
  // Every record back to its defaults, all ten blocks written (the settings reset).
  void init_SetupData();

  // Members in construction order; the epoch server comes first.
  PVTEngineEpochDataServerType epochData;
  SteadyInputDataServerType steadyInput;
  FilterGainDataServerType filterGain;
  KlobIonoModelDataServerType klobIonoModel[3];  // GPS, QZSS, BeiDou
  BDGlobalIonoModelDataServerType bdGlobalIonoModel;
  KlobIonoModelDataServerType irnssKlobIonoModel;
  NeQuickIonoModelDataServerType neQuickIonoModel;
  GlonassIonoModelDataServerType glonassIonoModel;
  NeModelDataServerType neModel;
  NeModelTECServerType neModelTec;
  RcvTimeDataServerType rcvTime;
  PositionDataServerType position;
  VelocityDataServerType velocity;
  PositionDataServerType refPosition;
  VelocityDataServerType refVelocity;
  SatProcessorSetupServerType satProcessorSetup;
  CorrProcessorSetupServerType corrProcessorSetup;
  LMSEngineSetupServerType lmsEngineSetup;
  KFKEngineSetupServerType kfkEngineSetup;
  KFKSteadyPartSetupServerType kfkSteadyPartSetup;
  SatelliteResetRequestDataServerType satelliteResetRequest;
  EphemerisResetRequestDataServerType ephemerisResetRequest;
  SatPolynomDataServerType satPolynom;
  SatCorrectionDataServerType satCorrection;
  SatGbasAccuracyDataServerType satGbasAccuracy;
  SbasSatCorrectionServerType sbasSatCorrection[SBASData::kSbasSources];
  SbasIonoCorrectionServerType sbasIonoCorrection[SBASData::kSbasSources];
  SbasRegionServiceDataServerType sbasRegionService[SBASData::kSbasSources];
  SbasDegradationDataServerType sbasDegradation[SBASData::kSbasSources];
  SbasSourceStateDataServerType sbasSourceState;
  DFMC_SbasSatCorrectionServerType dfmcSbasSatCorrection[SBASData::kDfmcSources];
  DFMC_SbasDegradationDataServerType dfmcSbasDegradation[SBASData::kDfmcSources];
  DFMC_SbasSourceStateDataServerType dfmcSbasSourceState;
  CompSatCorrectionServerType compSatCorrection[COMPData::kCompSources];
  CompIonoCorrectionServerType compIonoCorrection[COMPData::kCompSources];
  CompSourceStateDataServerType compSourceState;
  GbasDiffCorrectionServerType gbasDiffCorrection[GBASData::kGbasSources];
  GbasStationDataServerType gbasStationData[GBASData::kGbasSources];
  GbasStationAddBlockDataServerType gbasStationAddBlock[GBASData::kGbasSources];
  GbasFASDataServerType gbasFas[GBASData::kGbasSources];
  GbasSourceStateDataServerType gbasSourceState;
  GbasCommonDataServerType gbasCommon;
  GbasEphIntegrityDataServerType gbasEphIntegrity;
  RtcmSatCorrectionServerType rtcmSatCorrection[RTCMData::kRtcmSources];
  RtcmStationDataServerType rtcmStationData[RTCMData::kRtcmSources];
  RtcmSourceStateDataServerType rtcmSourceState;
  RtcmTSSatCorrectionServerType rtcmTsSatCorrection;
  RtcmTSSourceStateDataServerType rtcmTsSourceState;
  SlasSatCorrectionServerType slasSatCorrection[SLASData::kSlasSources];
  SlasStationDataServerType slasStationData[SLASData::kSlasSources];
  LockedSatelliteListServerType lockedSatelliteList;
  UsedSatelliteListServerType usedSatelliteList;
  SatdataDeltaTimeServerType satdataDeltaTime;
  SunPositionDataServerType sunPosition;
  MoonPositionDataServerType moonPosition;
  NmctDataServerType nmctData;
};

extern PVTDataType PVTDataInstance;
