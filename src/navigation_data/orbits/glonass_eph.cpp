#include "navigation_data/orbits/glonass_eph.h"

#include <cmath>

#include "navigation_data/orbits/gps_orbit.h"

namespace {
constexpr double kMu = 3.9860044e14;               // m^3/s^2, PZ-90
constexpr double kJ2Term = 66062825163.19413;      // 1.5 J2 ae^2, m^2
constexpr double kOmega2 = 5.3174941173225e-9;     // earth rate squared, 1/s^2
constexpr double kTwoOmega = 0.0001458423;         // twice the earth rate, 1/s
constexpr double kEarthRate = 7.292115e-5;         // rad/s
constexpr double kAe = 6378136.0;                  // m
constexpr double kPi = 3.14159265358979323846;
constexpr double kHalfDay = 43200;
constexpr double kDefaultStep = kPolyNodeStep;

constexpr double kFtTable[15] = {1, 2, 2.5, 4, 5, 7, 10, 12, 14, 16, 32, 64, 128, 256, 512};
constexpr double kL3Table[30] = {0.01, 0.02, 0.03, 0.04, 0.06, 0.08, 0.1, 0.15, 0.2, 0.3,
                                 0.4,  0.6,  0.7,  0.8,  0.9,  1,    2,   2.5,  4,   5,
                                 7,    10,   12,   14,   16,   32,   64,  128,  256, 512};

double foldDay(double dt) {
  if (dt > kHalfDay) return dt - 2 * kHalfDay;
  if (dt < -kHalfDay) return dt + 2 * kHalfDay;
  return dt;
}

bool finite3(const double* v) { return std::isfinite(v[0]) && std::isfinite(v[1]) && std::isfinite(v[2]); }
}  // namespace

double get_GloL3NavEphemerisAccuracy(int index) {
  if (index >= -15 && index <= 14) return kL3Table[index + 15];
  if (index == 15) return 20000.0;
  return 0.0;
}

float get_GloEphemerisAccuracy(const ZRT_EPH_GLN& eph) {
  if (eph.signals & kGloSignalL3) {
    const double a1 = get_GloL3NavEphemerisAccuracy(eph.accIdx[0]) + 3.0 * eph.En;
    const double a2 = get_GloL3NavEphemerisAccuracy(eph.accIdx[1]) + 3.0 * eph.age2;
    return static_cast<float>(std::sqrt(a1 * a1 + a2 * a2));
  }
  // FT 15 is "not used" by the ICD; read as 7.5 m, and so is any larger index an outside record
  // may carry, which would otherwise read past the table.
  const double ft = eph.FT >= 15 ? 7.5 : kFtTable[eph.FT];
  return static_cast<float>(ft + 3.0 * eph.En);
}

bool is_GloEphemerisValid(const ZRT_EPH_GLN& eph) {
  if (eph.tauN == 0 && eph.gammaN == 0) return false;
  const double r = std::sqrt(eph.pos[0] * eph.pos[0] + eph.pos[1] * eph.pos[1] + eph.pos[2] * eph.pos[2]);
  const double v = std::sqrt(eph.vel[0] * eph.vel[0] + eph.vel[1] * eph.vel[1] + eph.vel[2] * eph.vel[2]);
  // Written so that NaN fails.
  return std::fabs(r - 25500.0) <= 6500.0 && std::fabs(v - 3.0) <= 1.0;
}

void glo_MotionEquation(const double x[6], const double acc[3], double dx[6]) {
  const double r2 = x[0] * x[0] + x[1] * x[1] + x[2] * x[2];
  const double r = std::sqrt(r2);
  const double g = kMu / (r2 * r);
  const double k = kJ2Term / r2;
  const double s = 5.0 * x[2] * x[2] / r2;
  const double c = -1.0 + (s - 1.0) * k;
  dx[0] = x[3];
  dx[1] = x[4];
  dx[2] = x[5];
  dx[3] = (kOmega2 + c * g) * x[0] + kTwoOmega * x[4] + acc[0];
  dx[4] = (kOmega2 + c * g) * x[1] - kTwoOmega * x[3] + acc[1];
  dx[5] = (-1.0 + (s - 3.0) * k) * g * x[2] + acc[2];
}

// The stages live on the caller's stack, so integrations of different records never share them.
void compute_SolutionEquationSet_RKM(GloIntegState& s, double h) {
  double k1[6], k2[6], k3[6], k4[6], y[6];
  glo_MotionEquation(s.x, s.acc, k1);
  for (int i = 0; i < 6; ++i) y[i] = s.x[i] + 0.5 * h * k1[i];
  glo_MotionEquation(y, s.acc, k2);
  for (int i = 0; i < 6; ++i) y[i] = s.x[i] + 0.5 * h * k2[i];
  glo_MotionEquation(y, s.acc, k3);
  for (int i = 0; i < 6; ++i) y[i] = s.x[i] + h * k3[i];
  glo_MotionEquation(y, s.acc, k4);
  for (int i = 0; i < 6; ++i) s.x[i] += h * ((k2[i] + k3[i]) / 3.0 + (k1[i] + k4[i]) / 6.0);
  s.t += h;
}

GloIntegState glo_InitialState(const ZRT_EPH_GLN& eph) {
  GloIntegState s{};
  for (int k = 0; k < 3; ++k) {
    s.x[k] = eph.pos[k] * 1000.0;
    s.x[k + 3] = eph.vel[k] * 1000.0;
    s.acc[k] = static_cast<double>(eph.acc[k]) * 1000.0;
  }
  s.t = eph.tb;
  return s;
}

namespace {
void toNode(const GloIntegState& s, PolyNode& n) {
  for (int k = 0; k < 3; ++k) {
    n.pos[k] = s.x[k];
    n.vel[k] = s.x[k + 3];
  }
  n.rel = 0;  // the broadcast clock already holds the relativistic part
  n.t = foldDay(s.t) < 0 ? foldDay(s.t) + 2 * kHalfDay : foldDay(s.t);
}

GloIntegState fromNode(const PolyNode& n, const ZRT_EPH_GLN& eph, double t) {
  GloIntegState s = glo_InitialState(eph);
  for (int k = 0; k < 3; ++k) {
    s.x[k] = n.pos[k];
    s.x[k + 3] = n.vel[k];
  }
  s.t = t;
  return s;
}

// A new node one step after the newest, written over the oldest.
void addNode(const ZRT_EPH_GLN& eph, PolyNodeRing& ring) {
  GloIntegState s = fromNode(ring.newest(), eph, ring.newest().t);
  compute_SolutionEquationSet_RKM(s, ring.step);
  toNode(s, ring.node[ring.first]);
  ring.first = static_cast<std::uint8_t>((ring.first + 1) % 3);
}

void buildEntry(const ZRT_EPH_GLN& eph, const PolyNodeRing& ring, SatData::PolynomEntryType& entry) {
  // The nodes are full states: Newton divided differences over them with each node taken twice
  // for its velocity (a Hermite table) give exactly this quartic through the three positions
  // with the end velocities, so the shared builder is the interpolation.
  build_PolynomOrbit(kSysGlonass, ring, entry);
  set_GloPolynomClock(eph, entry);
  const double acc = get_GloEphemerisAccuracy(eph);
  entry.accuracy = static_cast<float>(acc * acc);
}

// The first window: the node at or before t on the step grid from tb, and the two after it.
bool startWindow(const ZRT_EPH_GLN& eph, double t, PolyNodeRing& ring, const GloIntegState* start) {
  const double h = ring.step > 0 ? ring.step : kDefaultStep;
  double dt = foldDay(t - eph.tb);
  // GLONASS time from the system time the board keeps: tauC, and on L3 its drift too.
  dt += eph.tauC + ((eph.signals & kGloSignalL3) != 0 ? static_cast<double>(eph.tauCRate) * dt : 0.0);
  if (!std::isfinite(dt) || std::fabs(dt) > kHalfDay + 1) return false;
  const int n = static_cast<int>(std::floor(dt / h));
  GloIntegState s = start != nullptr ? *start : glo_InitialState(eph);
  for (int i = 0; i < std::abs(n); ++i) compute_SolutionEquationSet_RKM(s, n < 0 ? -h : h);
  PolyNodeRing r;
  r.step = h;
  for (int k = 0; k < 3; ++k) {
    if (k > 0) compute_SolutionEquationSet_RKM(s, h);
    if (!finite3(s.x) || !finite3(s.x + 3)) return false;
    toNode(s, r.node[k]);
  }
  r.first = 0;
  r.entryNewest = r.newest().t;
  ring = r;
  return true;
}
}  // namespace

void set_GloPolynomClock(const ZRT_EPH_GLN& eph, SatData::PolynomEntryType& entry) {
  const double dt = foldDay(entry.refTime - eph.tb);
  double offset = -eph.tauN + eph.gammaN * dt;
  double rate = eph.gammaN;
  if (eph.signals & kGloSignalL3) {
    offset += static_cast<double>(eph.beta) * dt * dt;
    rate += 2.0 * static_cast<double>(eph.beta) * dt;
  }
  entry.clkOffset = offset;
  entry.clkDrift = static_cast<float>(rate);
}

bool update_GloSatellitePolynom(const ZRT_EPH_GLN& eph, double t, PolyNodeRing& ring, bool& computed,
                                SatData::PolynomEntryType& entry, const GloIntegState* start) {
  if (!computed || foldDay(t - ring.oldest().t) < -0.1 * ring.step) {
    // First call, or time went back before the window: start again from tb.
    if (!startWindow(eph, t, ring, start)) return false;
    computed = true;
    buildEntry(eph, ring, entry);
    return true;
  }
  const double h = ring.step;
  // Far ahead (the store was not called for a while): start again rather than step node by node.
  if (foldDay(t - ring.newest().t) > 20 * h) {
    computed = false;
    return update_GloSatellitePolynom(eph, t, ring, computed, entry, start);
  }
  const double N = ring.entryNewest;
  const bool nodeAdded = foldDay(ring.newest().t - N) > 0.01;
  if (foldDay(N - t) > 0.1 * h) {
    // The window still covers t: prepare the next node now, so that the slide costs no step.
    if (!nodeAdded) addNode(eph, ring);
    return true;
  }
  // t is within a tenth of a step of the newest node the entry was built from (1.9 steps after
  // its reference time) or past it: slide by one node, more when t ran further ahead.
  if (!nodeAdded) addNode(eph, ring);
  while (foldDay(ring.newest().t - t) < 0.1 * h) addNode(eph, ring);
  ring.entryNewest = ring.newest().t;
  buildEntry(eph, ring, entry);
  return true;
}

void update_GloTgd(int dataType, SatData::TgdSetType& set) {
  if (dataType == 0) {
    set = SatData::TgdSetType{};
    return;
  }
  set.delay[kGloL3TgdField] = 0;
  set.source[kGloL3TgdField] = 0;
}

bool compute_GloSatPosByAlmanac(const ZRT_ALM_GLN& alm, double t, double pos[3], float vel[3], double* clock,
                                double* drift) {
  const double e = alm.ecc;
  if (!(e >= 0.0 && e < 1.0) || !std::isfinite(t)) return false;
  const double T = 43200.0 + alm.dT;
  if (!(T > 0)) return false;
  const double n = 2 * kPi / T;
  const double a = std::cbrt(kMu / (n * n));
  const double inc = (0.35 + alm.dI) * kPi;
  const double k = std::pow(kAe / a, 3.5);
  const double nodeRate = -2.02005700462963e-6 * std::cos(inc) * k;
  const double perigeeRate = 1.010028502314815e-6 * (5 * std::cos(inc) * std::cos(inc) - 1) * k;
  const double w = alm.omega * kPi + perigeeRate * t;
  const double E0 = 2 * std::atan(std::sqrt((1 - e) / (1 + e)) * std::tan(w / 2));
  double M = n * t - (E0 - e * std::sin(E0));
  if (w > 3.1415926536) M -= n * T;
  double E = M;
  for (int i = 0; i < 50; ++i) {
    const double next = M + e * std::sin(E);
    const bool done = std::fabs(next - E) <= 3e-8;
    E = next;
    if (done) break;
  }
  const double lam = alm.lambda * kPi + (nodeRate - kEarthRate) * t;
  const double nu = 2 * std::atan2(std::sqrt(1 + e) * std::sin(E / 2), std::sqrt(1 - e) * std::cos(E / 2));
  const double u = nu + w;
  const double r = a * (1 - e * std::cos(E));
  const double p = a * (1 - e * e);
  const double vr = std::sqrt(kMu / p) * e * std::sin(nu);
  const double vu = std::sqrt(kMu / p) * (1 + e * std::cos(nu));
  const double cu = std::cos(u), su = std::sin(u), cl = std::cos(lam), sl = std::sin(lam);
  const double ci = std::cos(inc), si = std::sin(inc);
  // Unit vectors along the radius and across it in the orbit plane, in the earth-fixed frame.
  const double rx = cu * cl - su * sl * ci, ry = cu * sl + su * cl * ci, rz = su * si;
  const double ux = -su * cl - cu * sl * ci, uy = -su * sl + cu * cl * ci, uz = cu * si;
  pos[0] = r * rx;
  pos[1] = r * ry;
  pos[2] = r * rz;
  // Velocity in the frame turning with the earth (less the node's own slow drift).
  const double wz = kEarthRate - nodeRate;
  vel[0] = static_cast<float>(vr * rx + vu * ux + wz * pos[1]);
  vel[1] = static_cast<float>(vr * ry + vu * uy - wz * pos[0]);
  vel[2] = static_cast<float>(vr * rz + vu * uz);
  if (clock != nullptr) *clock = -static_cast<double>(alm.tauN);
  if (drift != nullptr) *drift = 0;
  return finite3(pos);
}

void ExtendedGLOEphemerisServerType::Init() {
  Locker<Mutex> lock(mutex_);
  for (Entry& e : e_) e = Entry{};
  clock_ = 0;
}

void ExtendedGLOEphemerisServerType::Put(const void* owner, const ZRT_EPH_GLN& eph) {
  if (owner == nullptr) return;
  Locker<Mutex> lock(mutex_);
  Entry* pick = &e_[0];
  for (Entry& e : e_) {
    if (e.owner == owner) {
      pick = &e;
      break;
    }
    if (e.stamp < pick->stamp) pick = &e;  // a free entry has stamp 0
  }
  pick->owner = owner;
  pick->state = glo_InitialState(eph);
  pick->stamp = ++clock_;
}

bool ExtendedGLOEphemerisServerType::Take(const void* owner, GloIntegState& out) {
  Locker<Mutex> lock(mutex_);
  for (Entry& e : e_)
    if (owner != nullptr && e.owner == owner) {
      out = e.state;
      e.stamp = ++clock_;
      return true;
    }
  return false;
}

int glo_CarryDayNumber(int prevNT, std::uint32_t prevTb, std::uint32_t tb) {
  const double d = static_cast<double>(tb) - static_cast<double>(prevTb);
  int nt = prevNT;
  if (d <= -kHalfDay) nt = nt >= 1461 ? 1 : nt + 1;
  else if (d >= kHalfDay) nt = nt <= 1 ? 1461 : nt - 1;
  return nt;
}

std::uint16_t glo_EphemerisIod(const ZRT_EPH_GLN& eph) { return static_cast<std::uint16_t>((eph.tb / 900) & 0x7F); }

bool glo_NoTimeShift(const ZRT_EPH_GLN& eph, bool marked) { return marked && eph.En * 86400.0 > kGloNoShiftAge; }

bool glo_AcceptAlmanac(const ZRT_ALM_GLN& stored, bool storedValid, const ZRT_ALM_GLN& fresh) {
  if (!storedValid) return true;
  const bool sameTime = stored.tLambda == fresh.tLambda && stored.NA == fresh.NA;
  const bool sameCn = (stored.health & 1) == (fresh.health & 1);
  return !(sameTime && sameCn && stored.M >= fresh.M);
}

bool glo_AlmanacUsable(const ZRT_ALM_GLN& alm) {
  return (alm.health & kGloAlmUnusable) == 0 && alm.freqNum >= -7 && alm.freqNum <= 7;
}
