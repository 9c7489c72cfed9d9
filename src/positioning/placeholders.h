// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.

#pragma once

#include <cstdint>



// ---------------------------------------------------------------------------------------------
// Navigation solution (NavSol of the per-epoch driver): its GPS week (modulo 1024) and
// millisecond of week. Answers "no solution" (false).
// ---------------------------------------------------------------------------------------------
namespace placeholder {
bool navSolGpsTime(int& week, int& msOfWeek);
}



// ==== Channel data ===========================================================================
struct SvIdType;
// ==== end of channel data ====================================================================

// ==== Satellite data store step ===============================================================
namespace placeholder {
// The background task's slow copy of the last valid position (PosSlow) with its monotonic
// time (posTime, s). Stand-in: false, no position (the store sees none fresh).
bool apxSlowPosition(double xyz[3], double& posTimeSec);
}  // namespace placeholder
// ==== end of satellite data store step ========================================================

// ==== PVT engine: navigation-message decoders =================================================
// Each stands for the decoder family's lookup of the satellite's decoder (get_...Decoder) and
// its update with one message. Stand-in: false, not available (no decoder; the message is
// dropped).
namespace PosData {
struct RcvTimeDataType;
}
namespace placeholder {
bool DFMC_SbasDataDecoder_update(const PosData::RcvTimeDataType& t, const SvIdType& sv, const std::uint8_t* bytes,
                                 int count);
}  // namespace placeholder
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
void GBASData_DiffCorrection_set_DataTimeout(const PosSetup::CorrProcessorSetupType& s);
void GBASData_StationData_set_DataTimeout(const PosSetup::CorrProcessorSetupType& s);
void GBASData_StationAddBlock_set_DataTimeout(const PosSetup::CorrProcessorSetupType& s);
void GBASData_FAS_set_DataTimeout(const PosSetup::CorrProcessorSetupType& s);
void SLASData_StationData_set_StationDataTimeout();
void SLASData_SatCorrection_set_DataTimeout();
}  // namespace placeholder
// The processor's stages not built yet are defined in placeholders.cpp, one each, as members of
// SatelliteCorrectionProcessor (positioning/corrections/sat_corr_processor.h): each publishes
// nothing and returns 0. The stage that gets built removes its definition there.
// ==== end of satellite correction processor ===================================================
