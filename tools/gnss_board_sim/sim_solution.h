// The board's own solution (record 4, 1453 bytes) over the simulator's sky: its position, velocity
// and clock, its dilutions of precision from the geometry of the satellites it measures, the
// standard deviations they give with a fixed range error, and, when asked, the relative position
// of a moving base. Written from the record's offsets, apart from the program's reader.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "sim_lnav.h"
#include "sim_native.h"
#include "sim_sky.h"

namespace sim {

// Range error (m) and range-rate error (m/s) the solution's standard deviations are scaled from.
constexpr double kSolUere = 2.0;
constexpr double kSolUereRate = 0.05;

// The cofactors of a least-squares position from the directions of `sats` (east, north, up and one
// receiver clock per system in view): q[i][j] for i, j in east, north, up, the first system's clock.
struct SkyCofactors {
  bool ok = false;
  double q[4][4] = {};
};

inline SkyCofactors skyCofactors(const std::vector<SkySat>& sats) {
  std::string systems;
  for (const SkySat& s : sats)
    if (systems.find(s.sys) == std::string::npos) systems += s.sys;
  const int n = 3 + static_cast<int>(systems.size());
  SkyCofactors c;
  if (n > 10 || static_cast<int>(sats.size()) < n) return c;
  // Normal matrix beside the identity, then Gauss-Jordan with partial pivoting.
  double a[10][20] = {};
  for (const SkySat& s : sats) {
    double row[10] = {};
    row[0] = -std::cos(s.elevation) * std::sin(s.azimuth);
    row[1] = -std::cos(s.elevation) * std::cos(s.azimuth);
    row[2] = -std::sin(s.elevation);
    row[3 + systems.find(s.sys)] = 1.0;
    for (int i = 0; i < n; ++i)
      for (int j = 0; j < n; ++j) a[i][j] += row[i] * row[j];
  }
  for (int i = 0; i < n; ++i) a[i][n + i] = 1.0;
  for (int col = 0; col < n; ++col) {
    int piv = col;
    for (int r = col + 1; r < n; ++r)
      if (std::fabs(a[r][col]) > std::fabs(a[piv][col])) piv = r;
    if (std::fabs(a[piv][col]) < 1e-12) return c;
    for (int k = 0; k < 2 * n; ++k) std::swap(a[col][k], a[piv][k]);
    const double d = a[col][col];
    for (int k = 0; k < 2 * n; ++k) a[col][k] /= d;
    for (int r = 0; r < n; ++r) {
      if (r == col) continue;
      const double f = a[r][col];
      for (int k = 0; k < 2 * n; ++k) a[r][k] -= f * a[col][k];
    }
  }
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j) c.q[i][j] = a[i][n + j];
  c.ok = true;
  return c;
}

// WGS 84 latitude, longitude (rad) and height (m) of an Earth-centred point (Bowring's iteration,
// converged to well below a millimetre at the surface).
inline void skyGeodetic(const double p[3], double blh[3]) {
  const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
  const double r = std::hypot(p[0], p[1]);
  double lat = std::atan2(p[2], r * (1 - e2)), h = 0;
  for (int i = 0; i < 10; ++i) {
    const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
    h = r / std::cos(lat) - n;
    lat = std::atan2(p[2], r * (1 - e2 * n / (n + h)));
  }
  blh[0] = lat, blh[1] = std::atan2(p[1], p[0]), blh[2] = h;
}

// What the solution of one epoch carries beyond the site itself.
struct SolOptions {
  // The fix scattered about the site (--sol-scatter): in even GPS seconds `scatter` m north of it
  // with the standard deviations of its geometry, in odd ones as far south with three times them.
  double scatter = 0;
  std::int64_t gpsSec = 0;
  // The position's standard deviations north, east, up (m) and its north-east covariance (m^2)
  // as given (--sol-sigma), in even GPS seconds the first set and in odd ones the second, in
  // place of those of the geometry (scaled by the scatter).
  bool sigmaGiven = false;
  double sigma[2][4] = {};
  // The relative position of a moving base (--rel-pos): present when `relPos`, moving at `relVel`
  // (m/s, Earth-centred) from kRelPos0 at the first epoch, `relSeconds` ago; stamped with the
  // epoch's GPS millisecond of the week.
  bool relPos = false;
  bool relRateValid = true;  // the rate block's valid byte (1410)
  double relVel[3] = {};
  double relSeconds = 0;
  std::uint32_t gpsMsOfWeek = 0;
  bool lost = false;  // the fix lost (--lose-fix-file): position and velocity not valid
};
constexpr double kRelPos0[3] = {12.0, -5.0, 2.5};
constexpr float kRelErr[2] = {0.02f, 0.004f};

// Record 4: status and position valid (offsets 1, 2), each system's block at 21 with its use byte
// set, the position record at 88 (X, Y, Z, then latitude and longitude in rad and height, 8-byte
// floats), the two velocity blocks at 136 and 194 (both flags, every value 0: the site stands
// still), the clock block at 271 and its drift at 297 (both flags, 0: a perfect clock); the seven
// dilutions of precision from 1196 (flag 1195) in the order E, H, V, T, G, P, N; the position's
// standard deviations north, east, horizontal, up, 3D and the north-east covariance in the first
// accuracy block (1224), the velocity's horizontal, vertical and 3D ones in the second (1249). The
// relative position block: satellites used (u16, 1372), error flags (1374), first valid byte
// (1375), relative position X, Y, Z (8-byte floats, 1376) and its two error values (floats, 1400),
// second valid byte (1410), its rate X, Y, Z (1411), the time (u32 ms, 1435) and its validity (1451).
inline std::string solAlnRecord(const Site& site, const std::vector<SkySat>& sats, const SolOptions& o = {}) {
  std::string b(1453, '\0');
  b[1] = 1;  // status
  b[2] = 1;  // position valid
  for (const SkySat& s : sats) {
    const int sys = s.sys == 'R' ? 1 : s.sys == 'E' ? 2 : s.sys == 'J' ? 4 : s.sys == 'C' ? 5 : 0;
    b[21 + 8 * sys] = 1;
  }
  if (sats.empty()) b[21] = 1;  // GPS used
  double xyz[3];
  site.ecef(xyz);
  const double lat = site.lat * 3.14159265358979 / 180, lon = site.lon * 3.14159265358979 / 180;
  const double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)};
  const bool odd = o.gpsSec % 2 != 0;
  double scale = 1.0;
  if (o.scatter != 0) {
    for (int k = 0; k < 3; ++k) xyz[k] += (odd ? -o.scatter : o.scatter) * north[k];
    scale = odd ? 3.0 : 1.0;
  }
  double blh[3];
  skyGeodetic(xyz, blh);
  for (int k = 0; k < 3; ++k) {
    putF64(b, 88 + 8 * k, xyz[k]);
    putF64(b, 112 + 8 * k, blh[k]);
  }
  b[136] = b[137] = 1;
  b[194] = b[195] = 1;
  b[271] = b[272] = 1;
  b[297] = b[298] = 1;
  const SkyCofactors c = skyCofactors(sats);
  if (c.ok) {
    const double e = c.q[0][0], n = c.q[1][1], u = c.q[2][2], t = c.q[3][3];
    const double g = std::sqrt(e + n + u + t), p = std::sqrt(e + n + u), h = std::sqrt(e + n);
    const double dops[7] = {std::sqrt(e), h, std::sqrt(u), std::sqrt(t), g, p, std::sqrt(n)};
    b[1195] = 1;
    for (int k = 0; k < 7; ++k) putF32(b, 1196 + 4 * k, static_cast<float>(dops[k]));
    const double s0 = kSolUere * scale, v0 = kSolUereRate * scale;
    double pos[6] = {s0 * std::sqrt(n), s0 * std::sqrt(e), s0 * h, s0 * std::sqrt(u), s0 * p, s0 * s0 * c.q[1][0]};
    if (o.sigmaGiven) {
      const double* g = o.sigma[odd ? 1 : 0];
      const double sh = std::hypot(g[0], g[1]);
      const double given[6] = {g[0], g[1], sh, g[2], std::hypot(sh, g[2]), g[3]};
      for (int k = 0; k < 6; ++k) pos[k] = given[k];
    }
    b[1224] = 1;
    for (int k = 0; k < 6; ++k) putF32(b, 1225 + 4 * k, static_cast<float>(pos[k]));
    b[1249] = 1;
    for (int k = 0; k < 3; ++k) putF32(b, 1250 + 4 * k, static_cast<float>(v0 * (k == 0 ? h : k == 1 ? std::sqrt(u) : p)));
  }
  if (o.relPos) {
    putAt(b, 1372, sats.size(), 2);
    b[1375] = 1;
    for (int k = 0; k < 3; ++k) {
      putF64(b, 1376 + 8 * k, kRelPos0[k] + o.relVel[k] * o.relSeconds);
      putF64(b, 1411 + 8 * k, o.relVel[k]);
    }
    putF32(b, 1400, kRelErr[0]);
    putF32(b, 1404, kRelErr[1]);
    b[1410] = o.relRateValid ? 1 : 0;
    putAt(b, 1435, o.gpsMsOfWeek, 4);
    b[1451] = 1;
  }
  if (o.lost) b[2] = b[136] = b[137] = b[194] = b[195] = 0;
  return rawRecord(4, b);
}

}  // namespace sim
