// The troposphere stage of the satellite correction processor: once an epoch it turns the
// correction setup, the receiver's latitude, orthometric height and season into the model data
// (zenith delays and mapping coefficients), then gives every requested satellite a troposphere
// correction, its variance and its height-rate term.
#pragma once

#include <cstddef>
#include <cstdint>

#include "positioning/corrections/troposphere_model.h"
#include "positioning/data_servers/pos_setup_types.h"

namespace TropoCorr {

// Fields of the correction-processor setup the stage reads (byte offsets).
inline constexpr std::size_t kUserMeteoOffset = 304;        // u8: user meteo values in use
inline constexpr std::size_t kUserMappingOffset = 305;      // u8: user mapping function in use
inline constexpr std::size_t kModelTypeOffset = 308;        // u32: CorrData::TropoModelType
inline constexpr std::size_t kUserMappingTypeOffset = 312;  // u32: CorrData::TropoMappingType
// Each must be set beside kUserMeteoOffset for the user's pressure, temperature and vapour.
inline constexpr std::size_t kUserMeteoEnableOffsets[3] = {360, 361, 362};

// Day of the year taken when the receiver has no calendar date.
inline constexpr int kNoCalendarDayOfYear = 152;
// Larger corrections and variances are not published.
inline constexpr double kMaxCorrection = 100.0;   // m
inline constexpr double kMaxVariance = 10000.0;   // m^2

// The receiver's model data of an epoch.
struct TropoEpochType {
  std::uint32_t ulModelType;
  double dHeight;          // m, orthometric, limited to the model's range
  std::uint8_t bAboveMax;  // above the model's altitude limit: corrections are 0
  CorrData::MeteoDataType meteo;
  CorrData::TropoModelDataType model;
};

// Model data for a receiver at latitude `lat` (rad) and orthometric height `orthoHeight` (m).
// The day of the year counts only with a calendar date; without one day 152 is taken.
void prepare_TropoEpoch(const PosSetup::CorrProcessorSetupType& setup, double lat, double orthoHeight,
                        bool calendarValid, int dayOfYear, TropoEpochType& epoch);

// One satellite at `elevation` (degrees; 0 taken for lower values), `s` the rate factor of the
// velocity record. False when the result is not to be published (correction above 100 m, variance
// above 10000 m^2, or either not a number); the outputs are filled in any case.
bool compute_SatTropo(const TropoEpochType& epoch, double s, double elevation, float& correction, float& rate,
                      float& variance);

}  // namespace TropoCorr
