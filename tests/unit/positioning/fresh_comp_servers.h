// The BeiDou wide-area records as at start: no source heard, no satellite correction, no grid
// block, the time-outs of the default setup. They live in process-wide servers; a test that reads
// them starts from here.
#pragma once

#include "positioning/data_servers/pvt_data.h"

namespace postest {

inline void freshCompServers() {
  PosSetup::CorrProcessorSetupType setup;
  PosSetup::setDefaults(setup);
  COMPData::SatCorrectionType::set_DataTimeout(&setup);
  COMPData::IonoCorrBlockType::set_DataTimeout(&setup);
  for (int s = 0; s < COMPData::kCompSources; ++s) {
    PVTDataInstance.compSatCorrection[s].Init();
    PVTDataInstance.compIonoCorrection[s].Init();
    const COMPData::SourceStateDataType none{};
    PVTDataInstance.compSourceState.Put(s, &none);
  }
}

}  // namespace postest
