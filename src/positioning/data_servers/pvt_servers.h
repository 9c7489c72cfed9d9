// The server classes of the positioning layer's data store, one per kind of record.
#pragma once

#include <cstdint>

#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/sv_id.h"
#include "platform/rtos.h"
#include "positioning/data_servers/comp_data_types.h"
#include "positioning/data_servers/corr_data_types.h"
#include "positioning/data_servers/gbas_data_types.h"
#include "positioning/data_servers/nav_data_types.h"
#include "positioning/data_servers/pos_data_types.h"
#include "positioning/data_servers/pos_setup_types.h"
#include "positioning/data_servers/rtcm_data_types.h"
#include "positioning/data_servers/sat_data_types.h"
#include "positioning/data_servers/sbas_data_types.h"
#include "positioning/data_servers/server_shapes.h"
#include "positioning/data_servers/slas_data_types.h"

#define RX_DATA_SERVER(Name, Shape, ...)                 \
  class Name : public Shape<Name, __VA_ARGS__> {         \
   public:                                               \
    static Mutex mutex;                                  \
  }

// ---- Epoch record ------------------------------------------------------------------------

// The epoch record is written by the raw record decoder and read later in the same epoch by
// the navigation step, one after the other in task MEAT, so access is in place and unlocked.
class PVTEngineEpochDataServerType {
 public:
  PVTEngineEpochDataServerType() : pData_(&data_) {}
  PVTEngineEpochDataType* GetPointer() { return pData_; }
  void FreePointer(const PVTEngineEpochDataType* p) {
    if (p != nullptr) bHasData_ = 1;
  }
  bool hasData() const { return bHasData_ != 0; }
  static Mutex mutex;

 private:
  std::uint8_t bHasData_ = 0;
  PVTEngineEpochDataType data_{};
  PVTEngineEpochDataType* pData_;
};

// ---- Flagged single records ------------------------------------------------------------------

// Steady-part input of the KFK engine and its filter gains: built with the store, filled by
// the engine's own code.
struct SteadyInputDataType {
  std::uint32_t ulCount[2];
};
class SteadyInputDataServerType : public FlaggedDataServer<SteadyInputDataServerType, SteadyInputDataType> {
 public:
  static Mutex mutex;
};

struct FilterGainDataType {
  std::uint8_t uSlot[SYS_SI_TOTAL];  // 255: no satellite
};
class FilterGainDataServerType : public FlaggedDataServer<FilterGainDataServerType, FilterGainDataType> {
 public:
  FilterGainDataServerType();
  static Mutex mutex;
};

RX_DATA_SERVER(KlobIonoModelDataServerType, FlaggedDataServer, NavData::KlobIonoModelDataType);
RX_DATA_SERVER(BDGlobalIonoModelDataServerType, FlaggedDataServer, NavData::BDGlobalIonoModelDataType);
RX_DATA_SERVER(NeQuickIonoModelDataServerType, FlaggedDataServer, NavData::NeQuickIonoModelDataType);
RX_DATA_SERVER(GlonassIonoModelDataServerType, FlaggedDataServer, NavData::GlonassIonoModelDataType);

// NeQuick requests: a stored request wakes the NeQuick task.
class NeModelDataServerType : public FlaggedDataServer<NeModelDataServerType, CorrData::NeModelDataType> {
 public:
  int Put(const CorrData::NeModelDataType* r);
  int Get(CorrData::NeModelDataType* r);
  std::uint32_t putCount() const { return ulPutCount_; }
  std::uint32_t getCount() const { return ulGetCount_; }
  static Mutex mutex;

 private:
  std::uint32_t ulPutCount_ = 0;
  std::uint32_t ulGetCount_ = 0;
};

// TEC along the ray (electrons per m^2), the NeQuick task's answer.
class NeModelTECServerType : public FlaggedDataServer<NeModelTECServerType, double> {
 public:
  int Put(const double* tec);
  int Get(double* tec);
  std::uint32_t putCount() const { return ulPutCount_; }
  std::uint32_t getCount() const { return ulGetCount_; }
  static Mutex mutex;

 private:
  std::uint32_t ulPutCount_ = 0;
  std::uint32_t ulGetCount_ = 0;
};

// Receiver time of the epoch; every record also advances the pools' time base.
class RcvTimeDataServerType : public FlaggedDataServer<RcvTimeDataServerType, PosData::RcvTimeDataType> {
 public:
  int Put(const PosData::RcvTimeDataType* r);
  static Mutex mutex;
};

// The receiver's position (and, as a second instance, the reference-station position). With
// the receiver settings' fixed position chosen, the six coordinates come from the settings.
class PositionDataServerType : public FlaggedDataServer<PositionDataServerType, PosData::PositionDataType> {
 public:
  int Put(const PosData::PositionDataType* r);
  static Mutex mutex;
};

RX_DATA_SERVER(VelocityDataServerType, FlaggedDataServer, PosData::VelocityDataType);

// ---- Setup records ---------------------------------------------------------------------------

RX_DATA_SERVER(SatProcessorSetupServerType, SetupDataServer, PosSetup::SatProcessorSetupType);
RX_DATA_SERVER(CorrProcessorSetupServerType, SetupDataServer, PosSetup::CorrProcessorSetupType);
RX_DATA_SERVER(LMSEngineSetupServerType, SetupDataServer, PosSetup::LMSEngineSetupType);
RX_DATA_SERVER(KFKEngineSetupServerType, SetupDataServer, PosSetup::KFKEngineSetupType);
RX_DATA_SERVER(KFKSteadyPartSetupServerType, SetupDataServer, PosSetup::KFKSteadyPartSetupType);

// ---- Request bits ----------------------------------------------------------------------------

class SatelliteResetRequestDataServerType {
 public:
  // ORs `bits` into the satellite's request byte and stores `argument`; 0 for an identity out
  // of range.
  int Put(const SvIdType* sv, std::uint8_t bits, std::uint8_t argument);
  static Mutex mutex;

 private:
  std::uint8_t bPending_ = 0;
  std::uint8_t uRequest_[SYS_SI_TOTAL] = {};
  std::uint8_t uArgument_[SYS_SI_TOTAL] = {};
};

class EphemerisResetRequestDataServerType {
 public:
  int Put(const SvIdType* sv, std::uint8_t bits);
  // 0 until a request was ever put; then the satellite's request byte, which is cleared (the
  // pending byte stays set).
  int Get(const SvIdType* sv);
  static Mutex mutex;

 private:
  std::uint8_t bPending_ = 0;
  std::uint8_t uRequest_[SYS_SI_TOTAL] = {};
};

// ---- Per-satellite pools ---------------------------------------------------------------------

#define RX_POOL_SERVER(Name, Record, Key, Records, Slots)                       \
  class Name : public PoolDataServer<Name, Record, Key> {                     \
   public:                                                                     \
    static constexpr std::uint16_t kRecords = Records;                         \
    static constexpr std::uint16_t kSlots = Slots;                             \
    Name();                                                                    \
    static Mutex mutex;                                                        \
  }

RX_POOL_SERVER(SatCorrectionDataServerType, SatData::CorrectionDataType, PoolKey::kSi, 91, SYS_SI_TOTAL);
RX_POOL_SERVER(SatGbasAccuracyDataServerType, SatData::GbasAccuracyDataType, PoolKey::kSi, 91, SYS_SI_TOTAL);
RX_POOL_SERVER(SbasSatCorrectionServerType, SBASData::SatCorrectionType, PoolKey::kSat, 51, SYS_SAT_TOTAL);
RX_POOL_SERVER(DFMC_SbasSatCorrectionServerType, SBASData::DFMC_SatCorrectionType, PoolKey::kSat, 92, SYS_SAT_TOTAL);
RX_POOL_SERVER(CompSatCorrectionServerType, COMPData::SatCorrectionType, PoolKey::kSatByte, 18, 63);
RX_POOL_SERVER(CompIonoCorrectionServerType, COMPData::IonoCorrBlockType, PoolKey::kIndex, 26, 26);
RX_POOL_SERVER(GbasDiffCorrectionServerType, GBASData::DiffCorrectionType, PoolKey::kSat, 91, SYS_SAT_TOTAL);
RX_POOL_SERVER(GbasEphIntegrityDataServerType, NavData::GbasEphIntegrityDataType, PoolKey::kSi, 91, SYS_SI_TOTAL);
RX_POOL_SERVER(RtcmSatCorrectionServerType, RTCMData::SatCorrectionType, PoolKey::kSat, 91, SYS_SAT_TOTAL);
RX_POOL_SERVER(RtcmTSSatCorrectionServerType, RTCMData::TSSatCorrectionType, PoolKey::kSat, 62, SYS_SAT_TOTAL);
RX_POOL_SERVER(SlasSatCorrectionServerType, SLASData::SatCorrectionType, PoolKey::kSat, 23, SYS_SAT_TOTAL);

// The published polynomial and group-delay sets live with the satellite data store, which sits
// below this layer and builds them; this member of the data store is a view onto them, so that
// there is one copy and one lock.
class SatPolynomDataServerType {
 public:
  // Publishes (or, with null, withdraws) a satellite's set; 0 for an identity out of range.
  int Put(const SvIdType* sv, const SatData::PolynomSetType* set) {
    return sv != nullptr && SatPolynomStoreInstance.Put(*sv, set) ? 1 : 0;
  }
  // The satellite's set; 0 when it has none or the identity is out of range.
  int Take(const SvIdType* sv, SatData::PolynomSetType* out) {
    return sv != nullptr && SatPolynomStoreInstance.Take(*sv, out) ? 1 : 0;
  }
  static Mutex& mutex;
};

// SBAS ionosphere grid: one pool record per band (8 records for the 11 bands), written one
// grid point at a time.
class SbasIonoCorrectionServerType {
 public:
  static constexpr std::uint16_t kRecords = 8;
  static constexpr std::uint16_t kSlots = SBASData::kIonoBands;

  SbasIonoCorrectionServerType();
  ~SbasIonoCorrectionServerType();
  SbasIonoCorrectionServerType(const SbasIonoCorrectionServerType&) = delete;
  SbasIonoCorrectionServerType& operator=(const SbasIonoCorrectionServerType&) = delete;

  // Stores one grid point's correction (bits 0..19); the block word and the issue are kept
  // unless given as -1. A null correction detaches the band from its record. 0 when the grid
  // point (0..200) or band slot (0..10) is out of range, or no record could be lent.
  int Put(int point, int band, const SBASData::IonoCorrectionType* correction, int issue, int block);
  // Copies the grid point's correction out with its block word and the band's issue; 0 when
  // out of range or the band has no record.
  int Take(int point, int band, SBASData::IonoCorrectionType* correction, int* blockWord, int* issue);
  // Clears the ready bits of grid points past their time-outs; the number of points changed.
  int clear_ExpiredData(int nowMs);
  void Init();

  DataBufferServerType& buffer() { return pool_; }
  static Mutex mutex;

 private:
  DataBufferServerType pool_;
  SBASData::IonoBandDataType* pRecords_ = nullptr;
  bool bOwnStorage_ = false;
};

// ---- Plain records and keyed arrays ------------------------------------------------------------

class SbasRegionServiceDataServerType
    : public KeyedDataServer<SbasRegionServiceDataServerType, SBASData::RegionServiceDataType,
                             SBASData::kRegionServiceEntries> {
 public:
  SbasRegionServiceDataServerType();
  static Mutex mutex;
};

RX_DATA_SERVER(SbasDegradationDataServerType, PlainDataServer, SBASData::DegradationDataType);
RX_DATA_SERVER(SbasSourceStateDataServerType, KeyedDataServer, SBASData::SourceStateDataType, SBASData::kSbasSources);
RX_DATA_SERVER(DFMC_SbasDegradationDataServerType, PlainDataServer, SBASData::DFMC_DegradationDataType);
RX_DATA_SERVER(DFMC_SbasSourceStateDataServerType, KeyedDataServer, SBASData::DFMC_SourceStateDataType, SBASData::kDfmcSources);
RX_DATA_SERVER(CompSourceStateDataServerType, KeyedDataServer, COMPData::SourceStateDataType, COMPData::kCompSources);
RX_DATA_SERVER(GbasStationDataServerType, PlainDataServer, GBASData::StationDataType);
RX_DATA_SERVER(GbasStationAddBlockDataServerType, PlainDataServer, GBASData::StationAddBlockDataType);
RX_DATA_SERVER(GbasFASDataServerType, KeyedDataServer, GBASData::FASDataType, GBASData::kFasEntries);
RX_DATA_SERVER(GbasSourceStateDataServerType, KeyedDataServer, GBASData::SourceStateDataType, GBASData::kGbasSources);
RX_DATA_SERVER(GbasCommonDataServerType, PlainDataServer, GBASData::CommonDataType);

// RTCM station of one correction source; every put is mirrored into the source's own
// settings-image block.
class RtcmStationDataServerType : public PlainDataServer<RtcmStationDataServerType, RTCMData::StationDataType> {
 public:
  RtcmStationDataServerType();
  int Put(const RTCMData::StationDataType* r);
  std::uint8_t sourceIndex() const { return uSourceIndex_; }
  bool allocate_NvRam(std::uint16_t id);
  // The stored record; the empty record, stored at once, when the block is invalid or unreadable.
  void read_NvRam();
  // The empty record, stored.
  void Init();
  const NvBlock& nvBlock() const { return nv_; }
  static Mutex mutex;

 private:
  std::uint8_t uSourceIndex_;
  NvBlock nv_;
};

RX_DATA_SERVER(RtcmSourceStateDataServerType, KeyedDataServer, RTCMData::SourceStateDataType, RTCMData::kRtcmSources);
RX_DATA_SERVER(RtcmTSSourceStateDataServerType, PlainDataServer, RTCMData::TSSourceStateDataType);
RX_DATA_SERVER(SlasStationDataServerType, PlainDataServer, SLASData::StationDataType);

RX_DATA_SERVER(LockedSatelliteListServerType, PlainDataServer, SatData::SatelliteListType);
RX_DATA_SERVER(UsedSatelliteListServerType, PlainDataServer, SatData::SatelliteListType);
RX_DATA_SERVER(SatdataDeltaTimeServerType, PlainDataServer, PosData::SatdataDeltaTimeType);
RX_DATA_SERVER(SunPositionDataServerType, PlainDataServer, PosData::CelestialPositionDataType);
RX_DATA_SERVER(MoonPositionDataServerType, PlainDataServer, PosData::CelestialPositionDataType);
RX_DATA_SERVER(NmctDataServerType, PlainDataServer, CorrData::NmctType);

#undef RX_DATA_SERVER
#undef RX_POOL_SERVER
