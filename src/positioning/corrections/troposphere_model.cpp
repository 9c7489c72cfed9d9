#include "positioning/corrections/troposphere_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace TropoModel {

using CorrData::MeteoDataType;
using CorrData::TropoModelDataType;

// UNB3: RTCA DO-229, Table A-2 (average and seasonal variation of P, T, e, beta, lambda).
const double MeteoAverageData[5][5] = {
    {1013.25, 299.65, 26.31, 6.30e-3, 2.77},
    {1017.25, 294.15, 21.79, 6.05e-3, 3.15},
    {1015.75, 283.15, 11.66, 5.58e-3, 2.57},
    {1011.75, 272.15, 6.78, 5.39e-3, 1.81},
    {1013.00, 263.65, 4.11, 4.53e-3, 1.55},
};
const double MeteoSeasonalVarData[5][5] = {
    {0.00, 0.00, 0.00, 0.00e-3, 0.00},
    {-3.75, 7.00, 8.85, 0.25e-3, 0.33},
    {-2.25, 11.00, 7.24, 0.32e-3, 0.46},
    {-1.75, 15.00, 5.36, 0.81e-3, 0.74},
    {-0.50, 14.50, 3.39, 0.62e-3, 0.30},
};
// UNB4: UNB3 with warmer averages, smaller seasonal temperature swings and a fixed lapse rate.
const double MeteoAverageUNB4Data[5][5] = {
    {1013.25, 301.7, 26.31, 0.0065, 2.77},
    {1017.25, 298.65, 21.79, 0.0065, 3.15},
    {1015.75, 292.4, 11.66, 0.0065, 2.57},
    {1011.75, 281.35, 6.78, 0.0065, 1.81},
    {1013.0, 278.9, 4.11, 0.0065, 1.55},
};
const double MeteoSeasonalVarUNB4Data[5][5] = {
    {0.0, 0.0, 0.0, 0.0, 0.0},
    {-3.75, 4.5, 8.85, 0.0, 0.33},
    {-2.25, 7.75, 7.24, 0.0, 0.46},
    {-1.75, 8.8, 5.36, 0.0, 0.74},
    {-0.5, 9.0, 3.39, 0.0, 0.3},
};

// Niell, A. E. (1996), Global mapping functions for the atmosphere delay at radio wavelengths,
// J. Geophys. Res. 101(B2), Table 3.
const double NeillHydMFAverageCoeff[5][3] = {
    {1.2769934e-3, 2.9153695e-3, 62.610505e-3},
    {1.2683230e-3, 2.9152299e-3, 62.837393e-3},
    {1.2465397e-3, 2.9288445e-3, 63.721774e-3},
    {1.2196049e-3, 2.9022565e-3, 63.824265e-3},
    {1.2045996e-3, 2.9024912e-3, 64.258455e-3},
};
const double NeillHydMFSeasonalVarCoeff[5][3] = {
    {0.0, 0.0, 0.0},
    {1.2709626e-5, 2.1414979e-5, 9.0128400e-5},
    {2.6523662e-5, 3.0160779e-5, 4.3497037e-5},
    {3.4000452e-5, 7.2562722e-5, 84.795348e-5},
    {4.1202191e-5, 11.723375e-5, 170.37206e-5},
};
const double NeillWetMFAverageCoeff[5][3] = {
    {5.8021897e-4, 1.4275268e-3, 4.3472961e-2},
    {5.6794847e-4, 1.5138625e-3, 4.6729510e-2},
    {5.8118019e-4, 1.4572752e-3, 4.3908931e-2},
    {5.9727542e-4, 1.5007428e-3, 4.4626982e-2},
    {6.1641693e-4, 1.7599082e-3, 5.4736038e-2},
};

// Chao (1972). The hydrostatic b is 0.0455 rather than Chao's 0.0445: the receiver has always
// used it, and the difference stays below 2 cm at the 5 degree limit.
const double ChaoHydMFCoeff[2] = {0.00143, 0.0455};
const double ChaoWetMFCoeff[2] = {0.00035, 0.017};

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kDeg = kPi / 180.0;
constexpr double kYearDays = 365.25;
constexpr double kHalfStep = 0.5;  // height differences span h - 0.5 m .. h + 0.5 m
constexpr double kEarthRadius = 6378137.0;
constexpr double kSigmaFactor = 0.12;  // sigma of the slant delay per unit of hydrostatic mapping

// Every exponential of the models: its exponent held within +-80 so that no input overflows.
double limitedExp(double x) { return std::exp(std::clamp(x, -80.0, 80.0)); }

// base^x for base > 0 through the limited exponential; 0 for a base that is not positive.
double limitedPow(double base, double x) { return base > 0.0 ? limitedExp(x * std::log(base)) : 0.0; }

// Latitude row and weight: |lat| <= 15 deg the first row, >= 75 deg the last, else linear
// between the rows at the multiples of 15 deg below and above.
void latitudeRow(double lat, int& row, double& weight) {
  const double deg = std::fabs(lat) / kDeg;
  if (!(deg > 15.0)) {
    row = 0;
    weight = 0.0;
  } else if (deg >= 75.0) {
    row = 3;
    weight = 1.0;
  } else {
    row = static_cast<int>(deg / 15.0) - 1;
    weight = (deg - 15.0 * (row + 1)) / 15.0;
  }
}

// cos of the season: 1 on day 28 in the north, on day 211 in the south.
double seasonCos(double lat, int dayOfYear) {
  const double dMin = lat > 0.0 ? 28.0 : 211.0;
  return std::cos((dayOfYear - dMin) * 2.0 * kPi / kYearDays);
}

// Continued fraction of the Niell and height-correction mappings.
double continuedFraction(double sinE, double a, double b, double c) {
  return (1.0 + a / (1.0 + b / (1.0 + c))) / (sinE + a / (sinE + b / (sinE + c)));
}

// Goad-Goodman series for unit refractivity: the integral of (1 + a r + b r^2)^4 along the ray
// to the top of a layer, a = -sin E / H, b = -cos^2 E / (2 H rho), with rho the receiver's
// distance from the Earth's centre. At E = 90 deg it equals H / 5.
double goadGoodmanSeries(double layerHeight, double h, double elevation) {
  if (!(layerHeight > 0.0)) return 0.0;
  const double sinE = std::sin(elevation * kDeg);
  const double cosE = std::cos(elevation * kDeg);
  const double rho = kEarthRadius + h;
  const double top = rho + layerHeight;
  const double r = std::sqrt(top * top - rho * rho * cosE * cosE) - rho * sinE;
  const double a = -sinE / layerHeight;
  const double b = -cosE * cosE / (2.0 * layerHeight * rho);
  const double a2 = a * a;
  const double b2 = b * b;
  const double alpha[9] = {1.0,
                           4.0 * a,
                           6.0 * a2 + 4.0 * b,
                           4.0 * a * (a2 + 3.0 * b),
                           a2 * a2 + 12.0 * a2 * b + 6.0 * b2,
                           4.0 * a * b * (a2 + 3.0 * b),
                           b2 * (6.0 * a2 + 4.0 * b),
                           4.0 * a * b * b2,
                           b2 * b2};
  double sum = 0.0;
  for (int k = 9; k >= 1; --k) sum = (sum + alpha[k - 1] / k) * r;
  return sum;
}

}  // namespace

double maxTropoModelAltitude(std::uint32_t modelType) {
  return modelType < CorrData::TROPO_MODEL_COUNT ? F64_MAX_TROPO_MODEL_ALTITUDE[modelType] : 25000.0;
}

void compute_MeteoData(double lat, int dayOfYear, std::uint32_t modelType, MeteoDataType& meteo) {
  const bool unb4 = modelType == CorrData::TROPO_UNB4_NEILL;
  const double(*avg)[5] = unb4 ? MeteoAverageUNB4Data : MeteoAverageData;
  const double(*var)[5] = unb4 ? MeteoSeasonalVarUNB4Data : MeteoSeasonalVarData;
  int row = 0;
  double w = 0.0;
  latitudeRow(lat, row, w);
  const double c = seasonCos(lat, dayOfYear);
  double v[5];
  for (int i = 0; i < 5; ++i) {
    const double a = (1.0 - w) * avg[row][i] + w * avg[row + 1][i];
    const double s = (1.0 - w) * var[row][i] + w * var[row + 1][i];
    v[i] = a - s * c;
  }
  meteo = {v[0], v[1], v[2], v[3], v[4]};
}

// ICD-GPS-200's reference profile of the total zenith delay by height (k in km).
double get_GpsDefaultZenithTropoDelay(double h) {
  const double k = h / 1000.0;
  if (k <= 1.0) return 2.162 + 0.3248 * (1.0 - k) - 0.0223958 * (1.0 - k * k);
  if (k <= 9.0) return 0.732 + 2.28378 * (limitedExp(0.122607 * (1.0 - k)) - 0.374989);
  return 0.73736 * limitedExp(0.1424 * (9.0 - k));
}

// Saastamoinen's hydrostatic delay and the DO-229 (A.4.2.4) wet delay, both carried from sea
// level to h with the lapse rates; with beta = 0 the sea-level values stand.
double get_SaastamoinenZenithTropoDelay(const MeteoDataType& m, double h, bool wet) {
  const double beta = m.dBeta;
  if (!wet) {
    double z = 0.0022768334644317247 * m.dPressure;
    if (beta != 0.0) z *= limitedPow(1.0 - beta * h / m.dTemperature, 0.03416308429772796 / beta);
    return z;
  }
  double z = 109.65462799999999 / ((m.dLambda + 1.0) * 9.784 - 287.054 * beta) * m.dVapour / m.dTemperature;
  if (beta != 0.0)
    z *= limitedPow(1.0 - beta * h / m.dTemperature, (m.dLambda + 1.0) * 9.80665 / (287.054 * beta) - 1.0);
  return z;
}

double get_NeillZenithTropoDelay(double h, bool wet) { return wet ? 0.1 : 2.306601 * limitedExp(-0.000116 * h); }

// Goad and Goodman (1974), modified Hopfield profile: dry refractivity 77.624 P/T (x 1e-6) over a
// layer scaled to Saastamoinen's zenith delay, wet refractivity (-12.92 + 371900/T) e/T.
void get_GoadGoodmanLayer(const MeteoDataType& m, bool wet, double& refractivity, double& layerHeight) {
  const double t = m.dTemperature;
  if (!wet) {
    refractivity = 7.7624e-5 * m.dPressure / t;
    layerHeight = 146.66855611666496 * t;
    return;
  }
  const double k = (-1.292e-5 + 0.3719 / t) / t;
  refractivity = m.dVapour * k;
  layerHeight = (0.05 + 1255.0 / t) * 1.1385e-2 / k;
}

double get_GoadGoodmanTropoDelay(double refractivity, double layerHeight, double h, double elevation) {
  return refractivity * goadGoodmanSeries(layerHeight, h, elevation);
}

double get_GoadGoodmanZenithTropoDelay(const MeteoDataType& m, bool wet) {
  double n = 0.0;
  double layer = 0.0;
  get_GoadGoodmanLayer(m, wet, n, layer);
  return get_GoadGoodmanTropoDelay(n, layer, 0.0, 90.0);
}

void compute_TropoModelData(std::uint32_t modelType, double h, const MeteoDataType& meteo, TropoModelDataType& d) {
  d = TropoModelDataType{};
  const double lo = h - kHalfStep;
  const double hi = h + kHalfStep;
  switch (modelType) {
    case CorrData::TROPO_GPS_DEFAULT:
      d.ulMappingType = CorrData::TROPO_MF_CHAO;
      d.dZHD = get_GpsDefaultZenithTropoDelay(h);
      d.dDeltaZHD = get_GpsDefaultZenithTropoDelay(hi) - get_GpsDefaultZenithTropoDelay(lo);
      break;
    case CorrData::TROPO_NEILL_ZENITH_BLACK:
    case CorrData::TROPO_NEILL:
      d.ulMappingType =
          modelType == CorrData::TROPO_NEILL ? CorrData::TROPO_MF_NEILL : CorrData::TROPO_MF_BLACK;
      d.dZHD = get_NeillZenithTropoDelay(h, false);
      d.dZWD = get_NeillZenithTropoDelay(h, true);
      d.dDeltaZHD = get_NeillZenithTropoDelay(hi, false) - get_NeillZenithTropoDelay(lo, false);
      break;
    case CorrData::TROPO_UNB3_BLACK:
    case CorrData::TROPO_UNB3_NEILL:
    case CorrData::TROPO_UNB4_NEILL:
      d.ulMappingType =
          modelType == CorrData::TROPO_UNB3_BLACK ? CorrData::TROPO_MF_BLACK : CorrData::TROPO_MF_NEILL;
      d.dZHD = get_SaastamoinenZenithTropoDelay(meteo, h, false);
      d.dZWD = get_SaastamoinenZenithTropoDelay(meteo, h, true);
      d.dDeltaZHD = get_SaastamoinenZenithTropoDelay(meteo, hi, false) -
                    get_SaastamoinenZenithTropoDelay(meteo, lo, false);
      d.dDeltaZWD =
          get_SaastamoinenZenithTropoDelay(meteo, hi, true) - get_SaastamoinenZenithTropoDelay(meteo, lo, true);
      break;
    case CorrData::TROPO_GOAD_GOODMAN:
      d.ulMappingType = CorrData::TROPO_MF_GOAD_GOODMAN;
      d.dZHD = get_GoadGoodmanZenithTropoDelay(meteo, false);
      d.dZWD = get_GoadGoodmanZenithTropoDelay(meteo, true);
      break;
    default:
      d.ulMappingType = CorrData::TROPO_MF_NONE;
      break;
  }
}

void prepare_NeillMapping(double lat, int dayOfYear, TropoModelDataType& d) {
  int row = 0;
  double w = 0.0;
  latitudeRow(lat, row, w);
  const double c = seasonCos(lat, dayOfYear);
  for (int i = 0; i < 3; ++i) {
    const double avg = (1.0 - w) * NeillHydMFAverageCoeff[row][i] + w * NeillHydMFAverageCoeff[row + 1][i];
    const double amp = (1.0 - w) * NeillHydMFSeasonalVarCoeff[row][i] + w * NeillHydMFSeasonalVarCoeff[row + 1][i];
    d.dHydCoeff[i] = avg - amp * c;
    d.dWetCoeff[i] = (1.0 - w) * NeillWetMFAverageCoeff[row][i] + w * NeillWetMFAverageCoeff[row + 1][i];
  }
}

void prepare_GoadGoodmanMapping(const MeteoDataType& meteo, TropoModelDataType& d) {
  get_GoadGoodmanLayer(meteo, false, d.dHydCoeff[0], d.dHydCoeff[1]);
  get_GoadGoodmanLayer(meteo, true, d.dWetCoeff[0], d.dWetCoeff[1]);
  d.dHydCoeff[2] = 0.0;
  d.dWetCoeff[2] = 0.0;
}

void prepare_MappingFunctionData(double lat, int dayOfYear, const MeteoDataType& meteo, TropoModelDataType& d) {
  for (int i = 0; i < 3; ++i) d.dHydCoeff[i] = d.dWetCoeff[i] = 0.0;
  d.dMinElevation = d.ulMappingType < CorrData::TROPO_MF_COUNT ? dTropoMFElevationLimit[d.ulMappingType] : 0.0;
  switch (d.ulMappingType) {
    case CorrData::TROPO_MF_CHAO:
      d.dHydCoeff[0] = ChaoHydMFCoeff[0];
      d.dHydCoeff[1] = ChaoHydMFCoeff[1];
      d.dWetCoeff[0] = ChaoWetMFCoeff[0];
      d.dWetCoeff[1] = ChaoWetMFCoeff[1];
      break;
    case CorrData::TROPO_MF_NEILL:
      prepare_NeillMapping(lat, dayOfYear, d);
      break;
    case CorrData::TROPO_MF_GOAD_GOODMAN:
      prepare_GoadGoodmanMapping(meteo, d);
      break;
    default:
      break;
  }
}

// RTCA DO-229 A.4.2.4 mapping, one value for both parts; below 4 deg it grows by 0.015 per degree
// (added to, not multiplying, the mapping value).
double get_BlackMapping(double elevation, bool /*wet*/) {
  const double e = std::max(elevation, dTropoMFElevationLimit[CorrData::TROPO_MF_BLACK]);
  const double sinE = std::sin(e * kDeg);
  double m = 1.001 / std::sqrt(0.002001 + sinE * sinE);
  if (e < 4.0) m += 0.015 * (4.0 - e);
  return m;
}

double get_ChaoMapping(double elevation, bool wet) {
  if (std::fabs(elevation) >= 90.0) return 1.0;
  const double e = std::max(elevation, dTropoMFElevationLimit[CorrData::TROPO_MF_CHAO]);
  const double* c = wet ? ChaoWetMFCoeff : ChaoHydMFCoeff;
  return 1.0 / (std::sin(e * kDeg) + c[0] / (std::tan(e * kDeg) + c[1]));
}

double get_NeillMapping(const TropoModelDataType& d, double h, double elevation, bool wet) {
  const double e = std::max(elevation, dTropoMFElevationLimit[CorrData::TROPO_MF_NEILL]);
  const double sinE = std::sin(e * kDeg);
  const double* c = wet ? d.dWetCoeff : d.dHydCoeff;
  double m = continuedFraction(sinE, c[0], c[1], c[2]);
  if (!wet) m += (1.0 / sinE - continuedFraction(sinE, 2.53e-5, 5.49e-3, 1.14e-3)) * h / 1000.0;
  return m;
}

// Slant over zenith delay of one layer; the refractivity cancels.
double get_GoadGoodmanMapping(const TropoModelDataType& d, double h, double elevation, bool wet) {
  const double layer = wet ? d.dWetCoeff[1] : d.dHydCoeff[1];
  if (!(layer > 0.0)) return 1.0;
  const double e = std::max(elevation, dTropoMFElevationLimit[CorrData::TROPO_MF_GOAD_GOODMAN]);
  return goadGoodmanSeries(layer, h, e) / (layer / 5.0);
}

void compute_TropoModelCorrection(const TropoModelDataType& d, double h, double s, double elevation,
                                  double& correction, double& rate, double& variance, double* wetMapping) {
  const double e = std::max(elevation, d.dMinElevation);
  double mh = 1.0;
  double mw = 1.0;
  double dmh = 0.0;
  double dmw = 0.0;
  switch (d.ulMappingType) {
    case CorrData::TROPO_MF_BLACK:
      mh = get_BlackMapping(e, false);
      mw = get_BlackMapping(e, true);
      break;
    case CorrData::TROPO_MF_CHAO:
      mh = get_ChaoMapping(e, false);
      mw = get_ChaoMapping(e, true);
      break;
    case CorrData::TROPO_MF_NEILL:
      mh = get_NeillMapping(d, h, e, false);
      mw = get_NeillMapping(d, h, e, true);
      dmh = get_NeillMapping(d, h + kHalfStep, e, false) - get_NeillMapping(d, h - kHalfStep, e, false);
      dmw = get_NeillMapping(d, h + kHalfStep, e, true) - get_NeillMapping(d, h - kHalfStep, e, true);
      break;
    case CorrData::TROPO_MF_GOAD_GOODMAN:
      mh = get_GoadGoodmanMapping(d, h, e, false);
      mw = get_GoadGoodmanMapping(d, h, e, true);
      dmh = get_GoadGoodmanMapping(d, h + kHalfStep, e, false) - get_GoadGoodmanMapping(d, h - kHalfStep, e, false);
      dmw = get_GoadGoodmanMapping(d, h + kHalfStep, e, true) - get_GoadGoodmanMapping(d, h - kHalfStep, e, true);
      break;
    default:
      break;
  }
  correction = -(mh * d.dZHD + mw * d.dZWD);
  rate = -(dmh * d.dZHD + mh * d.dDeltaZHD + mw * d.dDeltaZWD + dmw * d.dZWD) * s;
  variance = (kSigmaFactor * mh) * (kSigmaFactor * mh);
  if (wetMapping != nullptr) *wetMapping = mw;
}

}  // namespace TropoModel
