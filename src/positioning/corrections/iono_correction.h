// The ionosphere stage of the satellite correction processor: it keeps the broadcast models of
// every constellation (restored from the settings image at start, renewed from the navigation
// decoders) and gives each requested satellite an ionosphere correction, from the wide-area
// sources the setup enables when they correct it, else from the setup's broadcast model.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/corrections/wd_corr_request.h"
#include "positioning/data_servers/pos_setup_types.h"

class SatelliteCorrectionProcessor;

namespace IonoCorr {

// Fields of the correction-processor setup the stage reads (byte offsets).
inline constexpr std::size_t kWdModeOffset = 4;             // u32: 0 fixed source, 1 best, 2 first that has, 3+ blend
inline constexpr std::size_t kBoundCondition2Offset = 12;   // u32: 0 for the full Klobuchar bound
inline constexpr std::size_t kWdIonoOnOffset = 16;          // u32: 1 wide-area ionosphere on
inline constexpr std::size_t kWdMinElevOffset = 20;         // u16: degrees
inline constexpr std::size_t kProviderMaskOffset = 24;      // u32
inline constexpr std::size_t kSbasMaskOffset = 32;          // u64: SBAS indices below 28
inline constexpr std::size_t kQzssMaskOffset = 40;          // u64: QZSS wide-area sources
inline constexpr std::size_t kBdsMaskOffset = 72;           // u64
inline constexpr std::size_t kNavicMaskOffset = 80;         // u64
inline constexpr std::size_t kSbasHighMaskOffset = 88;      // u32: SBAS indices 28 and above
inline constexpr std::size_t kFixedSourceOffset = 92;       // u8: satellite number
inline constexpr std::size_t kSmoothingOffset = 100;        // u16: s, 0 off
inline constexpr std::size_t kBoundCondition3Offset = 104;  // u32: non-zero for the full bound
inline constexpr std::size_t kModelTypeOffset = 132;        // u32: PosSetup::IonoModelType
inline constexpr std::size_t kWdServiceOffset = 136;        // u32: WdCorr::Service
inline constexpr std::size_t kUserModelsOffset = 140;       // u8
inline constexpr std::size_t kKlobSourceOffset = 144;       // u32: 0 GPS, 1 QZSS, 2 BeiDou, 3 NavIC
inline constexpr std::size_t kUserKlobOffset = 148;         // ZRT_ION_GPS
inline constexpr std::size_t kUserBdgimOffset = 196;        // ZRT_ION_CMP
inline constexpr std::size_t kNeQuickOnOffset = 244;        // u8
inline constexpr std::size_t kUserNeQuickOffset = 252;      // NeQuick record
inline constexpr std::size_t kGlonassOnOffset = 276;        // u8
inline constexpr std::size_t kGloSolarSourceOffset = 280;   // u32
inline constexpr std::size_t kUserGlonassOffset = 284;      // ZRT_ION_GLN
// Satellite-processor setup: 1 here is the first condition of the full Klobuchar bound.
inline constexpr std::size_t kSatBoundCondition1Offset = 2352;

enum ModelType : std::uint32_t { kModelKlobuchar = 0, kModelNeQuick = 1, kModelGlonass = 2, kModelBdgim = 3 };

inline constexpr double kMaxCorrection = 100.0;  // m
inline constexpr double kMaxVariance = 10000.0;  // m^2
// A used-satellite list older than this does not limit the source rating.
inline constexpr std::uint32_t kUsedListMaxAgeMs = 60000;

// Weight of a new wide-area value against the previous one for smoothing time `t` (s).
double smoothingFactor(double t);

// One wide-area source as the stage saw it this epoch.
struct SourceRatingType {
  int slot;         // index in the request's source slots
  float quality;    // 1 / rating, 0 when not rated
  bool accepted;    // passes the masks and the elevation
  bool candidate;   // accepted and corrects at least one counted satellite
};

// The sources to blend, best first: with `mode` 0 the first candidate whose satellite number is
// `fixedNumber`, alone; otherwise every candidate of quality above 0 by falling quality (ties keep
// the earlier). Returns the count written to `order`.
int choose_Sources(const SourceRatingType* sources, int count, const SBASData::CorrectionRequestType& req,
                   std::uint32_t mode, int fixedNumber, int* order);

// Whether a source slot passes the setup's masks for `service` (0 SBAS, 1 BeiDou, 2 NavIC): the
// satellite's bit, for SBAS below index 28 also the provider (the answer's, else the assignment
// table's; none known passes), and the minimum elevation (not for SBAS indices 28 and above).
bool accept_Source(const SatelliteCorrectionProcessor& p, const PosSetup::CorrProcessorSetupType& setup,
                   std::uint32_t service, const SBASData::SourceSlotType& slot);

// The quality-weighted delay and variance of request satellite `k` over the chosen sources (only
// the first below mode 2). False when none gives a valid entry or the weights add up to 0 or less.
bool blend_WideArea(const SourceRatingType* sources, const int* order, int chosen, std::uint32_t mode,
                    const SBASData::CorrectionRequestType& req, int k, double& corr, double& var);

// Satellite number of a source: its index plus the first number of its system.
int sourceNumber(const SvIdType& sv);

}  // namespace IonoCorr
