// Magnetic declination for the magnetic course of the outputs: the World Magnetic Model
// (spherical harmonics of degree and order 12, NOAA/NCEI and BGS) evaluated with the standard WMM
// algorithm (Legendre recursion with the geographic-pole case, geodetic/geocentric rotation).
// Reproduces the published test values of WMM2020 and WMM2025 to their rounding (0.01 deg, 0.1 nT).
// Two models are carried; a date evaluates the one whose five-year span holds it, the first before
// its epoch and the last beyond its span. The background task computes the declination once a
// second from the slow position copy; the per-epoch outputs read it with a freshness verdict.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/rtos.h"
#include "positioning/engine/nav_sol.h"
#include "positioning/gregorian_epoch.h"
#include "positioning/rcv_time_scales.h"

class MagVar {
 public:
  static constexpr int maxord = 12;
  static constexpr int kRows = maxord * (maxord + 3) / 2;  // n = 1..12, m = 0..n
  static constexpr int kModels = 2;
  static constexpr int kSpanYears = 5;
  static constexpr double kRefRadiusKm = 6371.2;
  // A declination older than this is not fresh, s.
  static constexpr std::uint32_t kFreshSec = 5;

  // One row of a coefficient file: g, h in nT, their secular variations in nT per year.
  struct WMM_ROW {
    std::int32_t n;
    std::int32_t m;
    float g;
    float h;
    float gDot;
    float hDot;
  };
  // A model's rows, then the days before each month of a non-leap year (index 0 unused).
  struct WMM_DTA {
    WMM_ROW row[kRows];
    std::int32_t month[13];
  };
  struct WMM_MODEL {
    std::int32_t epoch;  // year
    const WMM_DTA* dta;
    const char* name;
  };
  // By rising epoch, each kSpanYears after the one before.
  static const WMM_MODEL Models[kModels];

  // Field in geodetic axes, nT.
  struct Field {
    double x;  // north
    double y;  // east
    double z;  // down
  };

  // Prepares the models once; later calls do nothing.
  void initOnce();
  bool started() const { return started_.load(std::memory_order_acquire); }

  // The model whose span holds the calendar year.
  static int modelFor(int year);
  // Day of the year from the month table; leap years use the same table (no leap day).
  static int dayOfYear(const GREGORIAN_EPOCH& g);
  // The calendar date of the scales: the first of GPS and GLONASS whose time is valid; false
  // when neither is.
  static bool dateOf(const RcvTimeScales::INT_SCALES& s, GREGORIAN_EPOCH& g);

  // Field of model `model` at geodetic latitude, longitude (rad) and ellipsoidal height (m), `dt`
  // years after the model's epoch. Needs initOnce. Any task: the working tables are locked.
  Field field(int model, double lat, double lon, double h, double dt);
  static double declinationDeg(const Field& f);

  // calcHelpMagVar: the declination at the position and the scales' date, stored with `monoSec`.
  // False, with nothing stored, before initOnce, without a date or with a position not finite.
  bool compute(const NavTask::NAV_POS& pos, const RcvTimeScales::INT_SCALES& scales,
               std::uint32_t monoSec);
  // calcMagVar at `nowSec`: the stored declination in rad, and whether it is fresh.
  bool get(float* result, std::uint32_t nowSec) const;

  // The stored result: degrees east, and the monotonic second of its computation (0: never).
  std::atomic<float> declination{0.0f};
  std::atomic<std::uint32_t> compTime{0};

 private:
  // Unnormalised coefficients: g of (n, m) in [m][n], h in [n][m - 1]; the same for the
  // secular variations.
  struct Prepared {
    double c[maxord + 1][maxord + 1];
    double cd[maxord + 1][maxord + 1];
    double epoch;
  };
  Prepared model_[kModels]{};
  double k_[maxord + 1][maxord + 1]{};  // recursion factors
  double fn_[maxord + 1]{};
  double fm_[maxord + 1]{};
  double a_ = 0, b_ = 0;                 // ellipsoid, km
  // Working tables of one evaluation: held here, not on the stack, for the background task's
  // small stack; the start-up evaluation may meet the background task's.
  struct Work {
    double p[maxord + 1][maxord + 1];   // Legendre functions of (m, n) in [m][n]
    double dp[maxord + 1][maxord + 1];  // their colatitude derivatives
    double pp[maxord + 1];              // order 1 at a geographic pole
    double sp[maxord + 1];              // sin and cos of m x longitude
    double cp[maxord + 1];
  };
  Work work_{};
  Mutex workLock_;
  std::atomic<bool> started_{false};
};
extern MagVar magVar;
// The coefficient tables (generated from the public coefficient files).
extern const MagVar::WMM_DTA wmmDta2020;
extern const MagVar::WMM_DTA wmmDta2025;

void magvarInitOnce();
void calcHelpMagVar(const NavTask::NAV_POS& pos, const RcvTimeScales::INT_SCALES& scales,
                    std::uint32_t monoSec);
// The stored declination (rad) into *result; true while it is fresh by the monotonic clock.
bool calcMagVar(float* result);
