// Broadcast ionosphere models: the Klobuchar algorithm in its GPS form (with the RTCA DO-229 error
// bound) and in the BeiDou B1I form, and the BeiDou global model (BDGIM) with its spherical
// harmonics. Each gives the correction to add to a pseudorange (the negated slant delay) and its
// variance.
#pragma once

#include <cstdint>

#include "navigation_data/store/nav_records.h"

namespace IonoModel {

constexpr double kSpeedOfLight = 299792458.0;
constexpr double kL1Frequency = 1575.42e6;    // GPS, QZSS Klobuchar reference
constexpr double kB1IFrequency = 1561.098e6;  // BeiDou Klobuchar reference
constexpr double kL5Frequency = 1176.45e6;    // NavIC Klobuchar reference

// GPS form (IS-GPS-200 20.3.3.5.2.5). `t` the time of week (s), `lat`, `lon` of the receiver (rad),
// `elevDeg`, `azimDeg` of the satellite, `k` the frequency-ratio factor (f_ref/f)^2. With
// `fullBound` the DO-229 bound counts whole, else a fifth of it; the variance is never below that
// of a 20 % error of the delay.
void compute_KlobIonoModelCorrection(bool fullBound, double t, double lat, double lon, float elevDeg, float azimDeg,
                                     const ZRT_ION_GPS& model, float k, float& correction, float& variance);

// BeiDou B1I form (BDS-SIS-ICD-B1I 5.2.4.7): pierce point on a 375 km shell over a 6378 km sphere,
// amplitude and period taken at the geographic latitude of that point, cosine while
// |t - 50400| < A4/4, the period held to 72000..172800 s. Bound and arguments as above.
void compute_BdsKlobIonoModelCorrection(bool fullBound, double t, double lat, double lon, float elevDeg,
                                        float azimDeg, const ZRT_ION_GPS& model, float k, float& correction,
                                        float& variance);

// Vertical delay of the BeiDou form (s) at local time `localTime` (s of day) and pierce-point
// latitude `phiM` (semicircles).
double bdsKlobVerticalDelay(const ZRT_ION_GPS& model, double localTime, double phiM);

// ---- BDGIM -------------------------------------------------------------------------------------

// Degree and order of the 9 broadcast and 17 predicted terms, the predicted terms' constant and
// periodic coefficients (TECu) and the periods (days).
extern const int BDGIM_ni[9];
extern const int BDGIM_mi[9];
extern const int BDGIM_nj[17];
extern const int BDGIM_mj[17];
extern const double BDGIM_a0j[17];
extern const double BDGIM_akj[12][17];
extern const double BDGIM_bkj[12][17];
extern const double BDGIM_Tk[12];

// Associated Legendre function P_n^m(x) without the Condon-Shortley phase (recursion in n from
// P_m^m = (2m-1)!! (1-x^2)^(m/2)); and the fully normalised form sqrt((2 - delta_m0)(2n+1)(n-m)!/(n+m)!) P_n^m that BDGIM uses. n <= 15.
double getLegendre(int n, int m, double x);
double getNormalizedLegendre(int n, int m, double x);

// Geomagnetic pole of the model's frame (rad).
constexpr double kBdgimPoleLat = 80.27 * 3.14159265358979323846 / 180.0;
constexpr double kBdgimPoleLon = -72.58 * 3.14159265358979323846 / 180.0;

// A geographic pierce point (rad) at modified Julian date `mjd` into the sun-fixed geomagnetic
// frame: latitude and longitude (rad).
void bdgimSunFixed(double lat, double lon, double mjd, double& latSf, double& lonSf);
// Vertical TEC (TECu) at a sun-fixed point: the predicted part plus, with a model, the broadcast.
double bdgimVtec(const ZRT_ION_CMP* model, double latSf, double lonSf, double mjd);

// Receiver at `lat`, `lon` (rad), satellite at `elevDeg`, `azimDeg`, epoch `mjd`, signal frequency
// `freqHz`: correction = -40.28e16 F VTEC / f^2 (m), variance (0.2 correction)^2. The pierce point
// lies 400 km above a 6378 km sphere; a negative elevation counts as 0.
void compute_BDGlobalIonoModelCorrection(double lat, double lon, float elevDeg, float azimDeg, double mjd,
                                         const ZRT_ION_CMP* model, double freqHz, float& correction,
                                         float& variance);

}  // namespace IonoModel
