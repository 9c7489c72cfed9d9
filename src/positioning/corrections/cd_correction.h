// The code-differential stage of the satellite correction processor: it asks the reference
// stations' generator (RTCM 2 or SLAS) for their corrections, rates the stations by geometry
// and distance, picks one or blends several, moves each correction from the station's
// troposphere to the receiver's, and publishes the result in every requested satellite's record.
//
// Convention with the position engine: a published code-differential entry is the whole
// correction of the receiver's pseudorange for that signal. It already holds the receiver's
// troposphere (the station's is taken out, the receiver's put in), so the engine adds the entry
// alone and not the record's troposphere part beside it:
//   corrected pseudorange = measured pseudorange + entry.
#pragma once

#include <cstddef>
#include <cstdint>

#include "positioning/corrections/rtcm_corr_generator.h"
#include "positioning/corrections/troposphere_correction.h"

namespace CdCorr {

// Fields of the correction-processor setup (byte offsets).
inline constexpr std::size_t kStationModeOffset = 0;  // u32
inline constexpr std::size_t kSourceOffset = 8;       // u32: 0 RTCM, 1 SLAS, other none
inline constexpr std::size_t kSlasMaskOffset = 56;    // u32: bit per SLAS station id 0..31
inline constexpr std::size_t kFixedIdOffset = 114;    // u16: the station of mode 0
inline constexpr std::size_t kPermitOffset = 116;     // two u8: the generator's permission bytes
inline constexpr std::size_t kRangeTimeoutOffset = 110;  // u16, s: RTCM 2 range corrections
inline constexpr std::size_t kIonoTimeoutOffset = 112;   // u16, s: RTCM 2 ionosphere corrections
// Of the satellite-processor setup: the signal slot (1..5, else 0) the stations are rated by.
inline constexpr std::size_t kRatingSlotOffset = 116;  // i16

inline constexpr std::uint32_t kSourceRtcm = 0;
inline constexpr std::uint32_t kSourceSlas = 1;
inline constexpr std::uint16_t kNoStation = 65535;
// The engine's used-satellite list counts for rating while younger than this.
inline constexpr std::uint32_t kUsedListMaxAgeMs = 60000;
// Shorter baselines count as this long (a float millimetre): a station 0 m away weighs
// 1/0.001f = 999.999952502551.
inline constexpr double kMinBaseline = static_cast<double>(0.001f);

enum StationMode : std::uint32_t {
  kModeFixed = 0,      // the station of the fixed id
  kModeBest = 1,       // the best station, geometry first
  kModeNearest = 2,    // the best station, distance first
  kModeFirstValid = 3, // per entry, the first station in rank order that has it
  kModeBlend = 4,      // and above: every ranked station, weighted
};

struct StationType {
  std::uint16_t uId;
  std::uint8_t bRated;
  std::uint8_t bTropoValid;
  TropoCorr::TropoEpochType tropo;
  double dWeight;
};

struct CdWorkType {
  RTCMData::CorrectionRequestType request;
  StationType station[RTCMData::CorrectionRequestType::kMaxStations];
  std::uint8_t uChosen[RTCMData::CorrectionRequestType::kMaxStations];  // answer indexes, in rank order
  std::uint8_t uChosenCount;
  std::uint16_t uBestStationId = kNoStation;
};

// Distance weight of a station by mode (0 without coordinates).
double distanceWeight(bool valid, double baseline, std::uint32_t mode);
// Geometric weight of a rated trace by mode (0 when nothing was fed or the trace is 0).
double geometricWeight(bool fed, double trace, std::uint32_t mode);

}  // namespace CdCorr
