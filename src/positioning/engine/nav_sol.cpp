#include "positioning/engine/nav_sol.h"

#include <cmath>
#include <cstring>

#include "platform/rtos_time.h"

namespace NavTask {
namespace {

constexpr long kDayMs = 86400000;
constexpr std::int64_t kUnix2000 = 946684800;

std::uint32_t validBits(std::int32_t flags) {
  std::uint32_t v = 0;
  if (flags & RcvTimeScales::kTimeValid) v |= NAV_EPOCH::kTimeValid;
  if (flags & RcvTimeScales::kUtcKnown) v |= NAV_EPOCH::kUtcKnown;
  return v;
}

}  // namespace

void fill_NavEpoch(const RcvTimeScales::INT_SCALES& s, NAV_EPOCH& e) {
  e.gpsMs = s.ms[0];
  e.gloMs = s.ms[1];
  // The words come unchecked from the board: the sum is formed wide and kept modulo 2^32.
  e.gpsWeek = static_cast<std::int32_t>(
      static_cast<std::uint32_t>(static_cast<std::int64_t>(s.weekDay[0]) + std::int64_t{1024} * s.cycle[0]));
  e.gloDay = s.weekDay[1];
  e.gpsValid = validBits(s.flags[0]);
  e.gloValid = validBits(s.flags[1]);
  e.gpsStatus = s.flags[0];
  e.gloStatus = s.flags[1];
  e.timeTag = static_cast<std::uint32_t>(s.rcvTime);
  long d = (static_cast<long>(s.ms[0]) % kDayMs) - static_cast<long>(s.ms[1]) % kDayMs;
  if (d > kDayMs / 2) d -= kDayMs;
  if (d < -kDayMs / 2) d += kDayMs;
  e.gpsGloMs = static_cast<std::int32_t>(d);
  // The date from the best qualified scale that gives one: level 3 down to 1, GPS before
  // GLONASS at each level.
  e.dateSource = -1;
  e.utcSec = 0;
  e.utcMs = -1;
  int rank = 0;
  for (int level = 3; level >= 1 && e.dateSource < 0; --level) {
    for (int k = 0; k < 2; ++k, ++rank) {
      GREGORIAN_EPOCH g{};
      const std::int64_t t = RcvTimeScales::times2data(k, s, true, level, g);
      // Only a date the steered clock can hold is a date (the time record is refused before
      // it gets here; these words may come from elsewhere).
      if (t <= 0 || t > rtosClockMaxSec() - kUnix2000) continue;
      e.date = g;
      e.dateSource = rank;
      e.utcSec = t + kUnix2000;
      e.utcMs = static_cast<std::int32_t>((t % 86400) * 1000 + (s.ms[k] % 1000));
      break;
    }
  }
  e.rcvTime = RcvTimeScales::rcvRefTime.load() == 1 ? e.gloMs : e.gpsMs;
}

namespace {
float wordFloat(std::uint32_t w) {
  float f;
  std::memcpy(&f, &w, sizeof f);
  return std::isfinite(f) ? f : 0.0f;
}
}  // namespace

SolAccuracy solAccuracy(const NAV_POS& p) {
  SolAccuracy a;
  a.dopValid = p.bAccValid != 0;
  if (a.dopValid)
    for (int k = 0; k < 7; ++k) a.dop[k] = wordFloat(p.ulAcc[k]);
  a.sigmaValid = p.bSigmaValid != 0;
  if (a.sigmaValid) {
    for (int k = 0; k < 5; ++k) a.sigma[k] = wordFloat(p.ulSigma[k]);
    a.covNE = wordFloat(p.ulSigma[5]);
  }
  return a;
}

void solSigmaXyz(const SolAccuracy& a, double lat, double lon, double out[3]) {
  const double sp = std::sin(lat), cp = std::cos(lat), sl = std::sin(lon), cl = std::cos(lon);
  // Columns of the rotation from north, east, up to X, Y, Z.
  const double n[3] = {-sp * cl, -sp * sl, cp}, e[3] = {-sl, cl, 0.0}, u[3] = {cp * cl, cp * sl, sp};
  const double vn = double(a.sigma[SolAccuracy::kSigN]) * a.sigma[SolAccuracy::kSigN];
  const double ve = double(a.sigma[SolAccuracy::kSigE]) * a.sigma[SolAccuracy::kSigE];
  const double vu = double(a.sigma[SolAccuracy::kSigU]) * a.sigma[SolAccuracy::kSigU];
  for (int i = 0; i < 3; ++i) {
    const double v = n[i] * n[i] * vn + e[i] * e[i] * ve + u[i] * u[i] * vu + 2.0 * n[i] * e[i] * a.covNE;
    out[i] = std::sqrt(v > 0.0 ? v : 0.0);
  }
}

}  // namespace NavTask
