// Large, rarely touched storage of the store's servers, kept apart from the servers
// themselves. Multi-instance servers take one slice per instance, in construction order.
#pragma once

#include "navigation_data/sv_id.h"
#include "positioning/data_servers/sat_data_types.h"
#include "positioning/data_servers/sbas_data_types.h"

struct SlowPVTDataType {
  static constexpr int kSbasSatRecords = 51;
  static constexpr int kSbasIonoRecords = 8;

  SBASData::SatCorrectionType sbasSatCorrection[SBASData::kSbasSources][kSbasSatRecords];
  SBASData::IonoBandDataType sbasIonoBand[SBASData::kSbasSources][kSbasIonoRecords];
  SBASData::RegionServiceDataType sbasRegionService[SBASData::kSbasSources][SBASData::kRegionServiceEntries];
};

extern SlowPVTDataType SlowPVTDataInstance;
