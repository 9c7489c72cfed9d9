// Orbit and clock of a satellite from a GPS-type broadcast ephemeris or almanac (the Keplerian
// elements shared by GPS, Galileo, QZSS, BeiDou and NavIC), and the accuracy (URA) tables.
//
// Source: IS-GPS-200 20.3.3.4.3 (LNAV) and 30.3.3.1.3 (CNAV: Adot, delta-n-dot), BDS-SIS-ICD
// 5.2.4.12 (GEO satellites). Against an independent evaluation of the same formulas the
// position agrees to well under 1 mm and the relativistic term to 1e-15 s.
#pragma once

#include <cstdint>

#include "navigation_data/store/nav_records.h"
#include "navigation_data/sv_id.h"

// Per-system orbit constants (GPS, GLONASS, Galileo, SBAS, QZSS, BeiDou, NavIC); 0 where the
// system has no Keplerian elements.
// sqrt(mu): GPS 3.986005e14 (IS-GPS-200); Galileo and BeiDou 3.986004418e14 (OS-SIS-ICD,
// BDS-SIS-ICD). NavIC and QZSS take the GPS value.
constexpr double WGS84SQRTMIU[SYS_NUM] = {19964981.843217388, 0, 19964980.385665298, 0,
                                          19964981.843217388, 19964980.385665298,
                                          19964981.843217388};
// Relativistic constant F = -2 sqrt(mu) / c^2 of each system's mu. IS-QZSS-PNT takes the GPS value.
constexpr double F64_ICD_RELATIVISTIC[SYS_NUM] = {-4.442807633e-10, 0, -4.442807309e-10, 0,
                                                  -4.442807633e-10, -4.442807633e-10,
                                                  -4.442807633e-10};
constexpr double WGS84OMEGADOTE[SYS_NUM] = {7.2921151467e-5, 0, 7.2921151467e-5, 0,
                                            7.2921151467e-5, 7.292115e-5, 7.2921151467e-5};
constexpr double kOrbitPi = 3.141592653589793;

// Kepler's equation is solved by Newton steps until the correction falls below this (rad), at
// most kKeplerMaxIter steps; e < 0.1 converges in four.
constexpr double kKeplerTol = 1e-15;
constexpr int kKeplerMaxIter = 30;

// Terms derived once per evaluation from a GPS-type native record.
struct GPSEphInternalDataType {
  std::int32_t toe;
  double tk;  // s since toe, folded into the half cycle
  double A;   // m, at tk for CNAV-type records
  double Adot;
  double e, i0, n, Omega0, omega, M0, IDOT, OmegaDot;
  double Cuc, Cus, Cic, Cis, Crc, Crs;
  double relFactor;  // F e sqrt(A), s
};

// True for a system with Keplerian broadcast elements.
bool has_KeplerOrbit(int sys);
// BeiDou GEO satellites (PRN 1-5 and 59-63) keep the inclined-frame rotation.
bool is_BeidouGeo(int sys, int prn);

// Eccentric anomaly of mean anomaly M, eccentricity e (rad).
double solve_Kepler(double M, double e);

// Satellite position (m, ECEF), velocity (m/s) and relativistic clock term (s, to add to the
// clock) at time t (s of the system's cycle). The record holds the GPS-type fields
// (ZRT_ORIG_EPH_GPS); bit 0x1000 of its flags adds the CNAV terms. False for a system without
// Keplerian elements.
bool compute_SatPositionByEphemeris(double t, int sys, const ZRT_ORIG_EPH_GPS& eph, double pos[3],
                                    double vel[3], double* rel);


// The clock and Kepler terms every GPS-type record names alike, copied into the GPS layout the
// orbit and polynomial code reads.
template <class Rec>
void copy_KeplerTerms(const Rec& e, ZRT_EPH_GPS& o) {
  o.af2 = e.af2;
  o.af1 = e.af1;
  o.af0 = e.af0;
  o.toe = e.toe;
  o.sqrtA = e.sqrtA;
  o.e = e.e;
  o.M0 = e.M0;
  o.Omega0 = e.Omega0;
  o.i0 = e.i0;
  o.omega = e.omega;
  o.deltaN = e.deltaN;
  o.OmegaDot = e.OmegaDot;
  o.idot = e.idot;
  o.crc = e.crc;
  o.crs = e.crs;
  o.cuc = e.cuc;
  o.cus = e.cus;
  o.cic = e.cic;
  o.cis = e.cis;
}

// Position, velocity, clock and drift from a GPS-layout almanac; `t` is the time since toa (s).
// The inclination is the system's reference plus delta-i (all of it for NavIC and BeiDou GEO).
// False for a system without Keplerian elements.
bool compute_SatPosByGPSAlmData(double t, int sys, const ZRT_ALM_GPS& alm, double pos[3], float vel[3],
                                double* clock, double* drift);

// URA tables (m). ura_Table: accuracy by LNAV URA index 0..14 as the store uses it;
// dTableGpsNavURA: the upper bounds of IS-GPS-200 20.3.3.3.1.3, which the navigation outputs report.
extern const double ura_Table[15];
extern const double dTableGpsNavURA[15];
constexpr double kUraNoAccuracy = 20000.0;  // index 15: no accuracy prediction

// Accuracy (m) of a signed LNAV-type URA index: 15 and any negative index (outside the
// broadcast range, so no prediction) give 20000 m, above 15 gives 0.
double get_GpsNavUraAccuracy(int index);
// Accuracy (m) of a signed CNAV URA index: -16 and below give 20000 m (no prediction), above 15 0.
double get_GpsCNavEphemerisAccuracy(int index);
// Ephemeris accuracy (m) of a GPS-type record at time t (s of week, for the CNAV
// non-elevation-dependent growth since top).
double get_EphemerisAccuracy(const ZRT_EPH_GPS& eph, double t);
// The CNAV growth of URA_NED with the time since top (IS-GPS-200 30.3.3.2.4): linear to
// 93600 s, then the quadratic term; dt across a week rollover is folded.
double get_GpsCNavNedAccuracy(int ned0, int n1, int n2, double dtSinceTop);

// Folds a time difference into +-cycle/2.
double fold_CycleTime(double dt, int sys);
