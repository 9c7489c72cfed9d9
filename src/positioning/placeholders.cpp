#include "positioning/placeholders.h"

#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/corrections/wd_corr_request.h"


// ==== Navigation main step and background task ==============================================
namespace placeholder {
bool engineClockData(PosData::ClockDataType&) { return false; }
bool gloCalibChanged() { return false; }
}  // namespace placeholder
// ==== end of navigation main step and background task =======================================




// ==== SBAS message decoder ====================================================================
namespace placeholder {
bool SlasDataDecoder_update(const PosData::RcvTimeDataType&, const SvIdType&, const std::uint8_t*) { return false; }
void SlasDataDecoder_reset(int) {}
}  // namespace placeholder
// ==== end of SBAS message decoder =============================================================

// ==== Satellite correction processor =========================================================
namespace placeholder {
using CS = PosSetup::CorrProcessorSetupType;
void SLASData_StationData_set_StationDataTimeout() {}
void SLASData_SatCorrection_set_DataTimeout() {}
void SlasCorrGenerator_update(RTCMData::CorrectionRequestType*) {}
}  // namespace placeholder
// Stages of the processor: not available, nothing published.
int SatelliteCorrectionProcessor::update_WdCorrection() { return 0; }
namespace placeholder {
bool SbasCorrGenerator_update(SBASData::CorrectionRequestType* r) {
  if (r != nullptr) r->uSourceCount = 0;
  return false;
}
}  // namespace placeholder
// ==== end of satellite correction processor ===================================================

// ==== Reference clock and base station =========================================================
namespace placeholder {
int rtcm2CodSmoothing() { return -1; }
}  // namespace placeholder
// ==== end of reference clock and base station ==================================================
