// Working state of the satellite correction processor: what it last took from the data store,
// the values derived from the position, the correction request, the ionosphere models with their
// per-satellite caches, the source-rating matrix and the setups of the epoch. One area, taken from
// the slow data heap when the processor is built and kept for the life of the program; the
// correction stages read and write it between epochs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/store/nav_records.h"
#include "navigation_data/sv_id.h"
#include "positioning/corrections/cd_correction.h"
#include "positioning/corrections/corr_request.h"
#include "positioning/corrections/troposphere_correction.h"
#include "positioning/data_servers/pos_data_types.h"
#include "positioning/data_servers/pos_setup_types.h"
#include "positioning/data_servers/sat_data_types.h"

// NeQuick coefficients as the processor keeps them (valid byte at 16, like the user model of the
// correction setup).
struct NeQuickIonoModelRecord {
  float fAi[3];  // ai0, ai1, ai2
  std::uint16_t uWeek;
  std::uint8_t uDisturbanceFlags;
  std::uint8_t pad15;
  std::uint8_t valid;
  std::uint8_t satIdx;
  std::uint8_t pad18[5];
  std::uint8_t cs;
};
static_assert(sizeof(NeQuickIonoModelRecord) == 24);
static_assert(offsetof(NeQuickIonoModelRecord, valid) == 16);

// The seven kept ionosphere models, in the order they are refreshed and stored.
enum IonoModelIndex : int {
  kIonoModelGps = 0,
  kIonoModelQzss,
  kIonoModelComp,
  kIonoModelIrnss,
  kIonoModelBDGlobal,
  kIonoModelNeQuick,
  kIonoModelGlonass,
  kIonoModels
};

// A satellite's last slant delay from a model computed in the background (NeQuick, GLONASS model).
struct IonoCacheEntryType {
  float fCorrection;
  float fVariance;
  std::int32_t lTimeSec;  // receiver time of the computation, s (-86400: never)
  std::uint8_t bDone;     // computed in the current cycle
};

struct SatCorrWorkArea {
  // As last taken from the data store.
  PosData::RcvTimeDataType rcvTime;
  PosData::PositionDataType position;
  PosData::VelocityDataType velocity;
  SatData::SatelliteListType usedSatList;
  std::uint8_t bUsedSatList;  // usedSatList holds a list

  // Derived from the position and the time of the epoch.
  double dHeight;       // m above the ellipsoid
  double dOrthoHeight;  // m above the geoid
  double dSinLat, dCosLat;
  double dTanNorth;     // tan(pi/2 - latitude)
  double dTanSouth;     // tan(pi/2 + latitude)
  double dVelFactor;    // troposphere rate factor of the velocity record
  std::uint8_t bCalendarValid;
  std::uint16_t uDayOfYear;  // approximate; 152 without a calendar epoch
  PosData::CelestialPositionDataType sun, moon;

  // The request of this epoch and the candidates it was chosen from.
  CorrData::CorrectionRequestType request;
  CorrData::RequestSatDataType candidate[SYS_SI_TOTAL];
  std::uint16_t uCandidates;

  // Broadcast ionosphere models with their update counters, and the working Klobuchar copy.
  ZRT_ION_GPS klobModel[4];  // GPS, QZSS, BeiDou, NavIC
  ZRT_ION_CMP bdGlobalModel;
  NeQuickIonoModelRecord neQuickModel;
  ZRT_ION_GLN glonassModel;
  std::uint32_t ulModelUpdates[kIonoModels];
  ZRT_ION_GPS klobWork;
  std::uint8_t bNeQuickPending;
  IonoCacheEntryType neQuickCache[SYS_SI_TOTAL];
  IonoCacheEntryType glonassCache[SYS_SI_TOTAL];

  // The receiver's troposphere model data of the epoch.
  TropoCorr::TropoEpochType tropo;

  // Source rating: normal matrix of the lines of sight and the satellites fed.
  double dNormal[4][4];
  std::uint16_t uNormalCount;

  // Setups of the epoch.
  PosSetup::LMSEngineSetupType lmsSetup;
  PosSetup::SatProcessorSetupType satSetup;
  PosSetup::CorrProcessorSetupType corrSetup;

  // The code-differential stage: the stations' answers, their ratings and the best station.
  CdCorr::CdWorkType cd;

  // An ionosphere or troposphere correction was published this epoch.
  std::uint8_t bCorrPresent;
  // Remembered sources: station and source identifiers (65535 none), the best code-differential
  // station among them, and two further remembered words.
  std::uint16_t uRememberedId[3];
  std::uint32_t ulRememberedWord[2];

  // Early ends: monotonic time of the last complete epoch, and whether the published parts were
  // cleared since.
  std::uint32_t ulLastCompleteMs;
  std::uint8_t bHadComplete;
  std::uint8_t bStaleCleared;
};
