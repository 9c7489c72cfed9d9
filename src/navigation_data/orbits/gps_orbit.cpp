#include "navigation_data/orbits/gps_orbit.h"

#include <cmath>

const double ura_Table[15] = {2.0,   2.8,   4.0,   5.7,    8.0,    11.3,   16.0,  32.0,
                              64.0,  128.0, 256.0, 512.0,  1024.0, 2048.0, 4096.0};
const double dTableGpsNavURA[15] = {2.4,   3.4,   4.85,  6.85,   9.65,   13.65,  24.0,  48.0,
                                    96.0,  192.0, 384.0, 768.0,  1536.0, 3072.0, 6144.0};

namespace {
// CNAV URA by signed index -15..15 (IS-GPS-200 30.3.3.1.1.4, upper bounds).
const double kCnavUra[31] = {0.01,   0.014,  0.024,  0.035,  0.049,   0.069,   0.094,   0.128,
                             0.177,  0.251,  0.359,  0.508,  0.71,    1.01,    1.43,    2.02,
                             2.86,   4.06,   5.76,   8.13,   11.48,   18.1,    33.94,   67.88,
                             135.76, 271.53, 543.06, 1086.12, 2172.23, 4344.46, 8600.0};

// sin and cos of the 5-degree tilt of the BeiDou GEO reference plane.
constexpr double kCos5 = 0.9961946980917455;
constexpr double kSin5 = 0.08715574274765817;

GPSEphInternalDataType internalData(double t, int sys, const ZRT_ORIG_EPH_GPS& e) {
  GPSEphInternalDataType d{};
  d.toe = static_cast<std::int32_t>(e.toe);
  d.tk = fold_CycleTime(t - d.toe, sys);
  const double A0 = e.sqrtA * e.sqrtA;
  d.n = WGS84SQRTMIU[sys] / (A0 * e.sqrtA) + e.deltaN * kOrbitPi;
  d.A = A0;
  if (e.flags & kEphFlagCnavParams) {
    d.Adot = e.Adot;
    d.A += e.Adot * d.tk;
    d.n += e.deltaNdot * (d.tk * kOrbitPi / 2);
  }
  d.e = e.e;
  d.i0 = e.i0 * kOrbitPi;
  d.Omega0 = e.Omega0 * kOrbitPi;
  d.omega = e.omega * kOrbitPi;
  d.M0 = e.M0 * kOrbitPi;
  d.IDOT = e.idot * kOrbitPi;
  d.OmegaDot = e.OmegaDot * kOrbitPi;
  d.Cuc = e.cuc, d.Cus = e.cus, d.Cic = e.cic, d.Cis = e.cis, d.Crc = e.crc, d.Crs = e.crs;
  d.relFactor = F64_ICD_RELATIVISTIC[sys] * d.e * std::sqrt(d.A);
  return d;
}
}  // namespace

double fold_CycleTime(double dt, int sys) {
  const double whole = SYS_CYCLE_SEC[sys];
  const double half = whole / 2;
  if (dt > half || dt < -half) dt = std::fmod(dt, whole);
  if (dt > half) dt -= whole;
  if (dt < -half) dt += whole;
  return dt;
}

bool has_KeplerOrbit(int sys) { return sys >= 0 && sys < SYS_NUM && WGS84SQRTMIU[sys] != 0; }

bool is_BeidouGeo(int sys, int prn) { return sys == kSysBeidou && (prn < 6 || prn > 58); }

double solve_Kepler(double M, double e) {
  double E = M;
  for (int i = 0; i < kKeplerMaxIter; ++i) {
    const double dE = (E - e * std::sin(E) - M) / (1 - e * std::cos(E));
    E -= dE;
    if (std::fabs(dE) < kKeplerTol) break;
  }
  return E;
}

bool compute_SatPositionByEphemeris(double t, int sys, const ZRT_ORIG_EPH_GPS& eph, double pos[3],
                                    double vel[3], double* rel) {
  if (!has_KeplerOrbit(sys)) return false;
  const GPSEphInternalDataType d = internalData(t, sys, eph);
  const double we = WGS84OMEGADOTE[sys];
  const double M = d.M0 + d.n * d.tk;
  const double E = solve_Kepler(M, d.e);
  const double sE = std::sin(E), cE = std::cos(E);
  const double den = 1 - d.e * cE;
  const double sq = std::sqrt(1 - d.e * d.e);
  const double nu = std::atan2(sq * sE, cE - d.e);
  const double phi = nu + d.omega;
  const double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
  const double du = d.Cus * s2 + d.Cuc * c2;
  const double dr = d.Crs * s2 + d.Crc * c2;
  const double di = d.Cis * s2 + d.Cic * c2;
  const double u = phi + du;
  const double r = d.A * den + dr;
  const double inc = d.i0 + d.IDOT * d.tk + di;

  // Rates: dE/dt, d(phi)/dt and the harmonic corrections' rates.
  const double Edot = d.n / den;
  const double phiDot = sq * Edot / den;
  const double uDot = phiDot * (1 + 2 * (d.Cus * c2 - d.Cuc * s2));
  const double rDot = d.A * d.e * sE * Edot + d.Adot * den + 2 * phiDot * (d.Crs * c2 - d.Crc * s2);
  const double iDot = d.IDOT + 2 * phiDot * (d.Cis * c2 - d.Cic * s2);

  const double su = std::sin(u), cu = std::cos(u);
  const double xp = r * cu, yp = r * su;
  const double xpDot = rDot * cu - r * uDot * su;
  const double ypDot = rDot * su + r * uDot * cu;
  const double si = std::sin(inc), ci = std::cos(inc);

  const bool geo = is_BeidouGeo(sys, eph.prn);
  const double Om = geo ? d.Omega0 - we * d.toe + d.OmegaDot * d.tk
                        : d.Omega0 - we * d.toe + (d.OmegaDot - we) * d.tk;
  const double OmDot = geo ? d.OmegaDot : d.OmegaDot - we;
  const double sO = std::sin(Om), cO = std::cos(Om);

  double p[3] = {xp * cO - yp * ci * sO, xp * sO + yp * ci * cO, yp * si};
  double v[3] = {xpDot * cO - ypDot * ci * sO + yp * si * sO * iDot - p[1] * OmDot,
                 xpDot * sO + ypDot * ci * cO - yp * si * cO * iDot + p[0] * OmDot,
                 ypDot * si + yp * ci * iDot};
  if (geo) {
    // Inclined frame to Earth-fixed: Rz(we tk) Rx(-5 deg); the rotation rate of Rz adds to v.
    const double y1 = kCos5 * p[1] - kSin5 * p[2];
    const double z1 = kSin5 * p[1] + kCos5 * p[2];
    const double vy1 = kCos5 * v[1] - kSin5 * v[2];
    const double vz1 = kSin5 * v[1] + kCos5 * v[2];
    const double a = we * d.tk, sa = std::sin(a), ca = std::cos(a);
    const double x1 = p[0], vx1 = v[0];
    p[0] = ca * x1 + sa * y1;
    p[1] = -sa * x1 + ca * y1;
    p[2] = z1;
    v[0] = ca * vx1 + sa * vy1 + we * (-sa * x1 + ca * y1);
    v[1] = -sa * vx1 + ca * vy1 + we * (-ca * x1 - sa * y1);
    v[2] = vz1;
  }
  for (int k = 0; k < 3; ++k) {
    pos[k] = p[k];
    if (vel != nullptr) vel[k] = v[k];
  }
  if (rel != nullptr) *rel = d.relFactor * sE;
  return true;
}

bool compute_SatPosByGPSAlmData(double t, int sys, const ZRT_ALM_GPS& alm, double pos[3], float vel[3],
                                double* clock, double* drift) {
  if (!has_KeplerOrbit(sys)) return false;
  const double we = WGS84OMEGADOTE[sys];
  const double sqrtA = alm.sqrtA;
  const double A = sqrtA * sqrtA;
  const double n = WGS84SQRTMIU[sys] / (A * sqrtA);
  const double dt = t - alm.af0;
  const double e = alm.e;
  const double M = n * dt + alm.M0 * kOrbitPi;
  // An almanac is good to kilometres: ten fixed-point steps are plenty.
  double E = M;
  for (int i = 0; i < 10; ++i) {
    const double En = M + e * std::sin(E);
    const bool done = std::fabs(En - E) <= 1e-8;
    E = En;
    if (done) break;
  }
  double iRef = 0.3;
  if (sys == kSysQzss) iRef = 0.25;
  else if (sys == kSysGalileo) iRef = 56.0 / 180.0;
  else if (sys == kSysNavic || is_BeidouGeo(sys, alm.prn)) iRef = 0;
  const double inc = (iRef + alm.deltaI) * kOrbitPi;
  const double sE = std::sin(E), cE = std::cos(E);
  const double den = 1 - e * cE;
  const double sq = std::sqrt(1 - e * e);
  const double u = std::atan2(sq * sE, cE - e) + alm.omega * kOrbitPi;
  const double r = A * den;
  const double Edot = n / den;
  const double uDot = sq * Edot / den;
  const double rDot = A * e * sE * Edot;
  const double OmDot = alm.OmegaDot * kOrbitPi - we;
  const double Om = alm.Omega0 * kOrbitPi - we * alm.toa + OmDot * dt;
  const double su = std::sin(u), cu = std::cos(u), si = std::sin(inc), ci = std::cos(inc);
  const double sO = std::sin(Om), cO = std::cos(Om);
  const double xp = r * cu, yp = r * su;
  const double xpDot = rDot * cu - r * uDot * su, ypDot = rDot * su + r * uDot * cu;
  pos[0] = xp * cO - yp * ci * sO;
  pos[1] = xp * sO + yp * ci * cO;
  pos[2] = yp * si;
  if (vel != nullptr) {
    vel[0] = static_cast<float>(xpDot * cO - ypDot * ci * sO - pos[1] * OmDot);
    vel[1] = static_cast<float>(xpDot * sO + ypDot * ci * cO + pos[0] * OmDot);
    vel[2] = static_cast<float>(ypDot * si);
  }
  if (clock != nullptr) *clock = alm.af0 + static_cast<double>(alm.af1) * dt;
  if (drift != nullptr) *drift = alm.af1;
  return true;
}

double get_GpsNavUraAccuracy(int index) {
  if (index > 15) return 0;
  if (index == 15 || index < 0) return kUraNoAccuracy;
  return ura_Table[index];
}

double get_GpsCNavEphemerisAccuracy(int index) {
  if (index > 15) return 0;
  if (index <= -16) return kUraNoAccuracy;
  return kCnavUra[index + 15];
}

double get_GpsCNavNedAccuracy(int ned0, int n1, int n2, double dtSinceTop) {
  // A record read before its own prediction time grows from NED0, never below it.
  double dt = fold_CycleTime(dtSinceTop, kSysGps);
  if (dt < 0) dt = 0;
  double ned = get_GpsCNavEphemerisAccuracy(ned0);
  if (ned == kUraNoAccuracy || ned == 0) return ned;
  // IS-GPS-200 30.3.3.2.4: URA_NED1 = 2^-(14 + N1) m/s, URA_NED2 = 2^-(28 + N2) m/s^2. (The
  // 4 + N1 and 25 + N2 of an early CNAV-2 text would grow the accuracy by kilometres a day.)
  ned += std::ldexp(1.0, -(n1 + 14)) * dt;
  if (dt > 93600) {
    const double beyond = dt - 93600;
    ned += std::ldexp(1.0, -(n2 + 28)) * beyond * beyond;
  }
  return ned;
}

double get_EphemerisAccuracy(const ZRT_EPH_GPS& eph, double t) {
  if (!(eph.flags & kEphFlagCnavParams)) return get_GpsNavUraAccuracy(eph.ura);
  const double ed = get_GpsCNavEphemerisAccuracy(eph.uraEd);
  const double ned = get_GpsCNavNedAccuracy(eph.uraNed0, eph.uraNed1, eph.uraNed2, t - eph.top);
  if (ed == kUraNoAccuracy || ned == kUraNoAccuracy) return kUraNoAccuracy;
  return std::sqrt(ed * ed + ned * ned);
}
