// Hooks of the positioning layer: the signal tables ask the lock manager about BeiDou
// satellites; the channel data asks the measurement processor for the two-frequency carrier
// and the satellite-processor setup's switches, and takes its TEC from the correction
// processor's ionosphere record; the background task's satellite search is the lock
// manager's. The per-epoch driver's navigation step is the positioning layer's navMain, told
// the antenna inputs by the lock manager.
#include "differential/lband/ts_decoder.h"
#include "gnss_link/freq_plan.h"
#include "gnss_link/lock_manager.h"
#include "gnss_link/meas_proc.h"
#include "main/hooks.h"
#include "positioning/chan_data.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/engine/apx_nav.h"
#include "positioning/engine/ms_logic.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/sat_meas_processor.h"
#include "positioning/signal_tables.h"

namespace {
int navStep() {
  NavMainInputs in;
  in.mainInput = LockMan::getMainAntInputIdx();
  in.twoInputs = (LockMan::getAntInpMask() & 3) == 3;
  in.separate = measProcLinks.sepAntSolutions();
  in.intervalMs = posMsInt;
  return navMain(in);
}
}  // namespace

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
  // an L-band channel's beam, elevation and azimuth come from the L-band service's beams
  satMeasLinks.lbandBeam = [](std::int64_t f, int& beam, float& el, float& az) {
    return TSDecoder.getBeamVisibleData(f, beam, el, az);
  };
  apxNavLinks.satSearch = LockMan::satSearch;
  measProcLinks.navMain = navStep;
  msLogicLinks.chanMsInt = [](int ms) { LogicChan::msInt = ms; };
}
