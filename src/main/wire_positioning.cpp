// Hooks of the positioning layer: the signal tables ask the lock manager about BeiDou
// satellites; the channel data asks the measurement processor for the two-frequency carrier
// and the satellite-processor setup's switches, and takes its TEC from the correction
// processor's ionosphere record.
#include "gnss_link/lock_manager.h"
#include "main/hooks.h"
#include "positioning/chan_data.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/engine/sat_meas_processor.h"
#include "positioning/signal_tables.h"

void wirePositioning() {
  signalTableLinks.isBeiPhase3 = isBeiPhase3;
  signalTableLinks.isBeiDou37compat = isBeiDou37compat;
  signalTableLinks.isBeiDouMSMcompat = isBeiDouMSMcompat;
  signalTableLinks.ignoreCompat = ignoreCompat;
  chanDataLinks.computeIonoFreePhase = [](const ChanData& ch, int slot, double& phaseTime, bool& slip) {
    return SatelliteMeasurementProcessorInstance.compute_IonoFreePhase(ch, slot, phaseTime, slip);
  };
  chanDataLinks.tecCalibEnabled = [] { return SatelliteMeasurementProcessorInstance.tecCalibEnabled(); };
  chanDataLinks.smoothWaitFull = [] { return SatelliteMeasurementProcessorInstance.smoothWaitFull(); };
  chanDataLinks.ionoRecord = get_SatIonoCorrection;
}
