// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.

#pragma once

#include <cstdint>



// ==== Navigation main step and background task ==============================================
namespace PosData {
struct ClockDataType;
}
namespace placeholder {
// The engine's clock data (LMS engine). Stand-in: false, not available (no clock quality is
// stored).
bool engineClockData(PosData::ClockDataType& out);
// The GLONASS calibration's changed flag, taken and cleared (GLONASS bias calibration).
// Stand-in: false, nothing changed.
bool gloCalibChanged();
}  // namespace placeholder
// ==== end of navigation main step and background task =======================================



// ==== Channel data ===========================================================================
struct SvIdType;
// ==== end of channel data ====================================================================

// ==== PVT engine: navigation-message decoders =================================================
namespace PosData {
struct RcvTimeDataType;
}
// ==== end of PVT engine ======================================================================

// ==== SBAS message decoder ====================================================================
// The SLAS decoder that takes the QZSS L1S messages of types 43, 44 and 47 to 51 a source sends
// (get_SlasDataDecoder, SlasDataDecoder::update), and its full reset when the SBAS decoder that
// last used it takes another source. Stand-in: not available, the message goes on as SBAS only.
namespace placeholder {
bool SlasDataDecoder_update(const PosData::RcvTimeDataType& t, const SvIdType& source, const std::uint8_t* msg);
void SlasDataDecoder_reset(int sbasDecoder);
}  // namespace placeholder
// ==== end of SBAS message decoder =============================================================

// ==== Satellite correction processor =========================================================
// Data time-outs of correction records whose types are not built yet: each type ages out its
// own records by the correction-processor setup. Stand-in: nothing to age out.
namespace PosSetup {
struct CorrProcessorSetupType;
}
namespace placeholder {
void SLASData_StationData_set_StationDataTimeout();
void SLASData_SatCorrection_set_DataTimeout();
}  // namespace placeholder
// The SBAS and NavIC wide-area generator (SbasCorrGenerator::update): fills the request's source
// slots. Stand-in: no source heard (count 0), false.
namespace SBASData {
struct CorrectionRequestType;
}
namespace placeholder {
bool SbasCorrGenerator_update(SBASData::CorrectionRequestType* r);
}  // namespace placeholder
// SlasCorrGenerator::update: the SLAS stations' code corrections, answered in the layout of the
// RTCM stations. Stand-in: no station answers (the station count stays 0).
namespace RTCMData {
struct CorrectionRequestType;
}
namespace placeholder {
void SlasCorrGenerator_update(RTCMData::CorrectionRequestType* request);
}  // namespace placeholder
// The processor's stages not built yet are defined in placeholders.cpp, one each, as members of
// SatelliteCorrectionProcessor (positioning/corrections/sat_corr_processor.h): each publishes
// nothing and returns 0. The stage that gets built removes its definition there.
// ==== end of satellite correction processor ===================================================

// ==== Reference clock and base station =========================================================
namespace placeholder {
// RTCM 2 coder setting: base data from the smoothed code (1) or the raw code (0). Stand-in:
// -1, not available (raw code).
int rtcm2CodSmoothing();
}  // namespace placeholder
// ==== end of reference clock and base station ==================================================
