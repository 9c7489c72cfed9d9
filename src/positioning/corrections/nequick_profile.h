// NeQuick G electron density: MODIP, the solar zenith angle, the CCIR maps of foF2 and M(3000)F2,
// the E, F1 and F2 layers and the density at a point. After the European GNSS (Galileo) Open
// Service "Ionospheric correction algorithm for Galileo single frequency users", issue 1.2
// (2016), sections 2.5.4 to 2.5.7; the slant TEC it gives agrees with the reference
// implementation's validation tables within 0.01 TECU (tests/unit/positioning).
#pragma once

#include "positioning/data_servers/corr_data_types.h"

inline constexpr double kNeQuickDefaultAz = 63.7;  // sfu, taken when no coefficient is broadcast

// The effective ionisation level at the receiver.
struct NeQuickIonisationLevelType {
  double dAz;     // sfu, 0 .. 400
  double dAzr;    // effective sunspot number
  double dModip;  // degrees
};

// The CCIR series of one month, one universal time and one sunspot number: the spatial
// coefficients left once the time harmonics are summed.
struct F2IntermediateDataType {
  int iMonth;    // 1 .. 12
  double dUt;    // hours
  double dAzr;
  double dCF2[76];
  double dCm3[49];
};

// Everything a density evaluation needs besides the point.
struct NeQuickContextType {
  int iMonth;  // 1 .. 12
  double dUt;  // decimal hours
  double dAz;
  double dAzr;
  F2IntermediateDataType f2;
};

// The layers at one point.
struct NeQuickLayersType {
  double foE, foF1, foF2, M3000;  // MHz, MHz, MHz, transmission factor
  double NmE, NmF1, NmF2;         // peak densities, 1e11 m^-3
  double hmE, hmF1, hmF2;         // km
  double B2bot, B1top, B1bot, BEtop, BEbot;  // thicknesses, km
  double H0;                      // topside thickness, km
  double A1, A2, A3;              // Epstein amplitudes of F2, F1, E, 1e11 m^-3
  double NmF2Peak;                // density at hmF2 with all layers, m^-3
};

// Third-order interpolation through z[0..3] at -1, 0, 1, 2, at x in [0, 1].
double get_3thOrderInterp(const double z[4], double x);

// MODIP (degrees) at a latitude and longitude (degrees) from the built-in grid; latitudes at or
// beyond +-90 give +-90.
double get_NeQuickModip(double latDeg, double lonDeg);

// Az, Azr and MODIP at the receiver (radians). All three coefficients 0 set a0 to 63.7 in `ai`
// (the kept model). Az is held to 0 .. 400.
NeQuickIonisationLevelType compute_NeQuickIonisationLevel(float ai[3], double latRad, double lonRad);

// Effective sunspot number of an ionisation level (or solar flux) in sfu.
double get_NeQuickSunspotNumber(double az);

// Effective solar zenith angle (degrees) at a point, for a month and universal time (hours).
double compute_NeQuickSolarZenithAngle(int month, double ut, double latRad, double lonDeg);

// The CCIR series of `month` at `ut` interpolated to `azr`.
void compute_F2IntermediateData(int month, double ut, double azr, F2IntermediateDataType& out);

// foF2 (MHz) and M(3000)F2 at a point (MODIP in degrees, latitude and longitude in radians).
void get_foF2_M3000(const F2IntermediateDataType& f2, double modipDeg, double latRad, double lonRad,
                    double& foF2, double& m3000);

// foE from the effective zenith angle, foF1 from foE and foF2, and the three peak densities.
void compute_NeQuickCriticalFrequency(const NeQuickContextType& c, double latRad, double chiEffDeg,
                                      NeQuickLayersType& l);

// Peak heights, thicknesses, Epstein amplitudes and the topside thickness, from the critical
// frequencies already in `l`.
void compute_NeQuickLayersProfile(int month, double azr, NeQuickLayersType& l);

// The Epstein amplitudes A1 (F2), A2 (F1), A3 (E) from NmF2, NmF1, NmE, foF1, the peak heights and
// the thicknesses B2bot, B1bot, BEtop already in `l`.
void compute_NeQuickAmplitudes(NeQuickLayersType& l);

// Density (m^-3) below and above the F2 peak.
double get_NeQuickBottomSideNe(const NeQuickLayersType& l, double hKm);
double get_NeQuickTopSideNe(const NeQuickLayersType& l, double hKm);

// The whole profile at a point and the density (m^-3) at its height.
double get_NeQuickIonoModelNe(const NeQuickContextType& c, double latRad, double lonRad, double hKm);

// The month (1 .. 12) and decimal universal time of a request's calendar epoch; false when the
// calendar is not usable.
bool get_NeQuickTime(const CorrData::NeModelDataType& r, int& month, double& ut);
