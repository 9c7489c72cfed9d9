#include "positioning/geodesy/magvar.h"

#include <cmath>

#include "platform/mono_clock.h"
#include "positioning/geodesy/dtm_list.h"

MagVar magVar;

namespace {
constexpr double kPi = 3.14159265358979323846;
constexpr double kDeg = kPi / 180.0;
constexpr int N = MagVar::maxord + 1;
}  // namespace

// The initialisation of the WMM technical report's algorithm (NOAA/NCEI, "The US/UK World
// Magnetic Model", section 1.2): Schmidt semi-normalised coefficients to unnormalised ones, and the
// factors of the Legendre recursion. Runs before the tasks start.
void MagVar::initOnce() {
  if (started()) return;
  const DtmList::ELLIPS_ROW& wgs = DtmList::Ellips[DtmList::ELL_WE];
  a_ = wgs.a / 1000.0;
  b_ = a_ * (1.0 - 1.0 / wgs.rf);

  double snorm[N][N] = {};
  snorm[0][0] = 1.0;
  for (int n = 1; n <= maxord; ++n) {
    snorm[0][n] = snorm[0][n - 1] * (2 * n - 1) / n;
    int j = 2;
    for (int m = 1; m <= n; ++m) {
      snorm[m][n] = snorm[m - 1][n] * std::sqrt(static_cast<double>((n - m + 1) * j) / (n + m));
      j = 1;
    }
  }
  for (int i = 0; i < kModels; ++i) {
    Prepared& p = model_[i];
    p = Prepared{};
    p.epoch = Models[i].epoch;
    for (const WMM_ROW& r : Models[i].dta->row) {
      const int n = r.n, m = r.m;
      if (n < 1 || n > maxord || m < 0 || m > n) continue;  // the generator admits none
      p.c[m][n] = snorm[m][n] * r.g;
      p.cd[m][n] = snorm[m][n] * r.gDot;
      if (m != 0) {
        p.c[n][m - 1] = snorm[m][n] * r.h;
        p.cd[n][m - 1] = snorm[m][n] * r.hDot;
      }
    }
  }
  for (int n = 1; n <= maxord; ++n) {
    for (int m = 0; m <= n; ++m)
      k_[m][n] = static_cast<double>((n - 1) * (n - 1) - m * m) / ((2 * n - 1) * (2 * n - 3));
    fn_[n] = n + 1;
    fm_[n] = n;
  }
  k_[1][1] = 0.0;
  started_.store(true, std::memory_order_release);
}

int MagVar::modelFor(int year) {
  int i = 0;
  while (i + 1 < kModels && year >= Models[i + 1].epoch) ++i;
  return i;
}

int MagVar::dayOfYear(const GREGORIAN_EPOCH& g) {
  if (g.month < 1 || g.month > 12) return 0;
  return Models[0].dta->month[g.month] + g.day;
}

bool MagVar::dateOf(const RcvTimeScales::INT_SCALES& s, GREGORIAN_EPOCH& g) {
  // A day's accuracy is plenty: the scale's own time will do, but it must be a time, not the
  // zeros or the stale words of a scale that was never set.
  for (int k = 0; k < 2; ++k) {
    if ((s.flags[k] & RcvTimeScales::kTimeValid) == 0) continue;
    GREGORIAN_EPOCH d{};
    if (RcvTimeScales::times2data(k, s, false, 0, d) <= 0) continue;
    g = d;
    return true;
  }
  return false;
}

// Spherical-harmonic synthesis of the WMM technical report (equations 10 to 17): geodetic to
// geocentric, unnormalised Legendre functions by recursion with their colatitude derivatives,
// and at a geographic pole the east component from the order-1 limit. Working values are
// double: the result follows the published tables to their last digit.
MagVar::Field MagVar::field(int model, double lat, double lon, double h, double dt) {
  const Prepared& pm = model_[model < 0 ? 0 : model >= kModels ? kModels - 1 : model];
  const double alt = h / 1000.0;
  const double a2 = a_ * a_, b2 = b_ * b_, c2 = a2 - b2, a4 = a2 * a2, b4 = b2 * b2, c4 = a4 - b4;
  const double srlat = std::sin(lat), crlat = std::cos(lat);
  const double srlat2 = srlat * srlat, crlat2 = crlat * crlat;

  const double q = std::sqrt(a2 - c2 * srlat2);
  const double q1 = alt * q;
  const double q2 = ((q1 + a2) / (q1 + b2)) * ((q1 + a2) / (q1 + b2));
  const double ct = srlat / std::sqrt(q2 * crlat2 + srlat2);
  const double st = std::sqrt(std::fmax(0.0, 1.0 - ct * ct));
  const double r = std::sqrt(alt * alt + 2.0 * q1 + (a4 - c4 * srlat2) / (q * q));
  const double d = std::sqrt(a2 * crlat2 + b2 * srlat2);
  const double ca = (alt + d) / r;
  const double sa = c2 * crlat * srlat / (r * d);

  Locker<Mutex> lock(workLock_);
  Work& w = work_;
  w = Work{};
  double* sp = w.sp;
  double* cp = w.cp;
  cp[0] = 1.0;
  sp[1] = std::sin(lon);
  cp[1] = std::cos(lon);
  for (int m = 2; m <= maxord; ++m) {
    sp[m] = sp[1] * cp[m - 1] + cp[1] * sp[m - 1];
    cp[m] = cp[1] * cp[m - 1] - sp[1] * sp[m - 1];
  }

  double(&p)[N][N] = w.p;
  double(&dp)[N][N] = w.dp;
  double* pp = w.pp;
  p[0][0] = 1.0;
  pp[0] = 1.0;
  const double aor = kRefRadiusKm / r;
  double ar = aor * aor;
  double br = 0, bt = 0, bp = 0, bpp = 0;
  for (int n = 1; n <= maxord; ++n) {
    ar *= aor;
    for (int m = 0; m <= n; ++m) {
      if (n == m) {
        p[m][n] = st * p[m - 1][n - 1];
        dp[m][n] = st * dp[m - 1][n - 1] + ct * p[m - 1][n - 1];
      } else if (n == 1) {  // m == 0
        p[m][n] = ct * p[m][n - 1];
        dp[m][n] = ct * dp[m][n - 1] - st * p[m][n - 1];
      } else {
        // p and dp of (m, n - 2) are 0 where m > n - 2: the tables start cleared.
        p[m][n] = ct * p[m][n - 1] - k_[m][n] * p[m][n - 2];
        dp[m][n] = ct * dp[m][n - 1] - st * p[m][n - 1] - k_[m][n] * dp[m][n - 2];
      }
      const double g = pm.c[m][n] + dt * pm.cd[m][n];
      const double hh = m == 0 ? 0.0 : pm.c[n][m - 1] + dt * pm.cd[n][m - 1];
      const double par = ar * p[m][n];
      const double temp1 = g * cp[m] + hh * sp[m];
      const double temp2 = g * sp[m] - hh * cp[m];
      bt -= ar * temp1 * dp[m][n];
      bp += fm_[m] * temp2 * par;
      br += fn_[n] * temp1 * par;
      if (st == 0.0 && m == 1) {
        pp[n] = n == 1 ? pp[n - 1] : ct * pp[n - 1] - k_[m][n] * pp[n - 2];
        bpp += fm_[m] * temp2 * ar * pp[n];
      }
    }
  }
  bp = st == 0.0 ? bpp : bp / st;
  return Field{-bt * ca - br * sa, bp, bt * sa - br * ca};
}

double MagVar::declinationDeg(const Field& f) { return std::atan2(f.y, f.x) / kDeg; }

bool MagVar::compute(const NavTask::NAV_POS& pos, const RcvTimeScales::INT_SCALES& scales,
                     std::uint32_t monoSec) {
  if (!started()) return false;
  const double lat = pos.dBlh[0], lon = pos.dBlh[1], h = pos.dBlh[2];
  if (!std::isfinite(lat) || !std::isfinite(lon) || !std::isfinite(h)) return false;
  // Without a date the model would be evaluated decades from its epoch and stamped fresh.
  GREGORIAN_EPOCH g{};
  if (!dateOf(scales, g)) return false;
  const int model = modelFor(g.year);
  const double dt = (g.year - Models[model].epoch) + dayOfYear(g) / 365.0;
  const double dec = declinationDeg(field(model, lat, lon, h, dt));
  declination.store(static_cast<float>(dec), std::memory_order_relaxed);
  compTime.store(monoSec, std::memory_order_relaxed);
  return true;
}

bool MagVar::get(float* result, std::uint32_t nowSec) const {
  if (result != nullptr)
    *result = static_cast<float>(declination.load(std::memory_order_relaxed) * kDeg);
  return nowSec - compTime.load(std::memory_order_relaxed) < kFreshSec;
}

void magvarInitOnce() { magVar.initOnce(); }

void calcHelpMagVar(const NavTask::NAV_POS& pos, const RcvTimeScales::INT_SCALES& scales,
                    std::uint32_t monoSec) {
  magVar.compute(pos, scales, monoSec);
}

bool calcMagVar(float* result) { return magVar.get(result, MonoClock::sec()); }
