// Tropospheric delay models: zenith delays from the season and the receiver's height, mapped to
// a satellite's elevation, with the height derivative of the slant delay and its variance.
//
// Seven selectable models combine four zenith-delay formulas (GPS default, Saastamoinen with the
// RTCA DO-229 wet delay, Niell's constant-profile zenith, Goad-Goodman) with four mapping
// functions (Black, Chao, Niell 1996, Goad-Goodman). The meteorological inputs come from the
// UNB3 (DO-229 Table A-2) or UNB4 tables of averages and seasonal variations, or from the user.
//
// Agreement with independent implementations: model 1 equals RTCA DO-229 A.4.2.4 to 1 mm from 4
// degrees up (below 4 degrees the Black mapping adds 0.015 per degree rather than scaling by
// 1 + 0.015 (4 - E)^2, within one sigma down to 2.5 degrees); Niell's mapping to 1e-9; the
// Goad-Goodman series equals the integral of the quartic refractivity profile along the ray to
// 1e-9 and Hopfield's closed form N H / 5 at the zenith.
//
// Every function here is pure: it reads its arguments only, so the satellite correction stage and
// the code-differential stage (zenith delays of reference stations) share them.
//
// Units: latitude in radians, elevation in degrees, heights in metres, delays in metres,
// pressures in hPa (mbar), temperatures in kelvin.
#pragma once

#include <cstdint>

namespace CorrData {

// Meteorological values at sea level of the receiver's latitude and season.
struct MeteoDataType {
  double dPressure;     // P, hPa
  double dTemperature;  // T, K
  double dVapour;       // e, water-vapour pressure, hPa
  double dBeta;         // temperature lapse rate, K/m
  double dLambda;       // water-vapour lapse rate, dimensionless
};

enum TropoModelType : std::uint32_t {
  TROPO_GPS_DEFAULT = 0,        // GPS default formula, Chao mapping
  TROPO_UNB3_BLACK = 1,         // Saastamoinen + DO-229 wet from UNB3, Black mapping
  TROPO_NEILL_ZENITH_BLACK = 2, // Niell zenith delays, Black mapping
  TROPO_NEILL = 3,              // Niell zenith delays, Niell mapping
  TROPO_UNB3_NEILL = 4,         // as type 1, Niell mapping
  TROPO_UNB4_NEILL = 5,         // as type 1 with UNB4 meteo, Niell mapping
  TROPO_GOAD_GOODMAN = 6,       // modified Hopfield, slant delay computed directly
  TROPO_MODEL_COUNT = 7
};

enum TropoMappingType : std::uint32_t {
  TROPO_MF_BLACK = 0,
  TROPO_MF_CHAO = 1,
  TROPO_MF_NEILL = 2,
  TROPO_MF_GOAD_GOODMAN = 3,
  TROPO_MF_COUNT = 4,
  TROPO_MF_NONE = 255  // zenith delays unmapped (factor 1)
};

struct TropoModelDataType {
  std::uint8_t bValid;
  std::uint32_t ulMappingType;  // TropoMappingType
  // Chao: a, b; Niell: a, b, c; Goad-Goodman: [0] refractivity (x 1e-6), [1] layer height (m).
  double dHydCoeff[3];
  double dWetCoeff[3];
  double dMinElevation;  // degrees; the mapping is never evaluated lower
  double dZHD;           // hydrostatic zenith delay, m
  double dZWD;           // wet zenith delay, m
  double dDeltaZHD;      // zenith delay at h + 0.5 m minus at h - 0.5 m
  double dDeltaZWD;
};

}  // namespace CorrData

namespace TropoModel {

// Highest receiver height a model serves, by model type (metres); above it the correction is 0.
inline constexpr double F64_MAX_TROPO_MODEL_ALTITUDE[CorrData::TROPO_MODEL_COUNT] = {
    25000.0, 25000.0, 25000.0, 25000.0, 25000.0, 25000.0, 18000.0};
// Lowest receiver height the models take: lower heights are evaluated there.
inline constexpr double kMinTropoModelAltitude = -1000.0;
// The altitude limit of a model type; types outside the table share the common 25 km.
double maxTropoModelAltitude(std::uint32_t modelType);

// Lowest elevation each mapping function is evaluated at, by mapping type (degrees).
inline constexpr double dTropoMFElevationLimit[CorrData::TROPO_MF_COUNT] = {2.0, 5.0, 3.0, 5.0};

// Tables by latitude 15, 30, 45, 60, 75 degrees; each row P, T, e, beta, lambda.
extern const double MeteoAverageData[5][5];
extern const double MeteoSeasonalVarData[5][5];
extern const double MeteoAverageUNB4Data[5][5];
extern const double MeteoSeasonalVarUNB4Data[5][5];
// Niell (1996) coefficients a, b, c by latitude 15, 30, 45, 60, 75 degrees.
extern const double NeillHydMFAverageCoeff[5][3];
extern const double NeillHydMFSeasonalVarCoeff[5][3];
extern const double NeillWetMFAverageCoeff[5][3];
// Chao's a, b.
extern const double ChaoHydMFCoeff[2];
extern const double ChaoWetMFCoeff[2];

// Sea-level meteo at a latitude (rad) on a day of the year: UNB4 for model type 5, else UNB3.
void compute_MeteoData(double lat, int dayOfYear, std::uint32_t modelType, CorrData::MeteoDataType& meteo);

// Zenith delays and their height differences of a model type at height h; sets the model's
// mapping type. Types outside 0..6 give zero delays and no mapping. Clears the valid byte.
void compute_TropoModelData(std::uint32_t modelType, double h, const CorrData::MeteoDataType& meteo,
                            CorrData::TropoModelDataType& data);

// Mapping coefficients and minimum elevation for the mapping type held in `data`.
void prepare_MappingFunctionData(double lat, int dayOfYear, const CorrData::MeteoDataType& meteo,
                                 CorrData::TropoModelDataType& data);

// Slant correction (the negated delay, m), the height derivative of the slant delay times s
// (negated likewise), the variance (m^2) and, when asked, the wet mapping value, for a receiver
// at height h seeing a satellite at elevation E (degrees).
void compute_TropoModelCorrection(const CorrData::TropoModelDataType& data, double h, double s, double elevation,
                                  double& correction, double& rate, double& variance, double* wetMapping = nullptr);

// Zenith formulas.
double get_GpsDefaultZenithTropoDelay(double h);
double get_SaastamoinenZenithTropoDelay(const CorrData::MeteoDataType& meteo, double h, bool wet);
double get_NeillZenithTropoDelay(double h, bool wet);
double get_GoadGoodmanZenithTropoDelay(const CorrData::MeteoDataType& meteo, bool wet);
// Goad-Goodman slant delay of one layer: refractivity (x 1e-6) and layer height above the
// receiver (m), receiver height h (m), elevation (degrees).
double get_GoadGoodmanTropoDelay(double refractivity, double layerHeight, double h, double elevation);
// Refractivity (x 1e-6) and layer height (m) of the dry or wet layer.
void get_GoadGoodmanLayer(const CorrData::MeteoDataType& meteo, bool wet, double& refractivity,
                          double& layerHeight);

// Mapping functions.
void prepare_NeillMapping(double lat, int dayOfYear, CorrData::TropoModelDataType& data);
void prepare_GoadGoodmanMapping(const CorrData::MeteoDataType& meteo, CorrData::TropoModelDataType& data);
double get_BlackMapping(double elevation, bool wet);
double get_ChaoMapping(double elevation, bool wet);
double get_NeillMapping(const CorrData::TropoModelDataType& data, double h, double elevation, bool wet);
double get_GoadGoodmanMapping(const CorrData::TropoModelDataType& data, double h, double elevation, bool wet);

}  // namespace TropoModel
