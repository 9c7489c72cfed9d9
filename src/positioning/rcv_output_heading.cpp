// Attitude of the RTK baseline: heading and pitch with the mounting offsets, the heading's
// standard deviation and the rate of turn.
#include <cmath>

#include "platform/debug.h"
#include "positioning/rcv_output.h"
#include "settings/debug_selectors.h"

namespace {
constexpr double kRad2Deg = 180.0 / M_PI;
constexpr double kSigmaScale = 57.29577951308232;
constexpr double kPerMinute = 180.0 * 60.0 / M_PI;
constexpr double kMinHorizontal = 1e-12;  // m

// North, east, up of an Earth-centred vector at (lat, lon).
void toNeu(double lat, double lon, const double v[3], double neu[3]) {
  const double sp = std::sin(lat), cp = std::cos(lat), sl = std::sin(lon), cl = std::cos(lon);
  neu[0] = -sp * cl * v[0] - sp * sl * v[1] + cp * v[2];
  neu[1] = -sl * v[0] + cl * v[1];
  neu[2] = cp * cl * v[0] + cp * sl * v[1] + sp * v[2];
}
}  // namespace

void baselineAttitude(const RTK_SOL& rtk, double lat, double lon, double hdgOffsetDeg, double pitchOffsetDeg,
                      SOL_OUTPUT* s) {
  double neu[3];
  toNeu(lat, lon, rtk.baseline, neu);
  const double a = hdgOffsetDeg / kRad2Deg, b = pitchOffsetDeg / kRad2Deg;
  const double n = neu[0] * std::cos(a) - neu[1] * std::sin(a);
  const double e = neu[1] * std::cos(a) + neu[0] * std::sin(a);
  // The heading offset turns the baseline about the vertical: its horizontal length stays.
  const double h = std::hypot(neu[0], neu[1]);
  const double u2 = neu[2] * std::cos(b) + h * std::sin(b);
  const double h2 = h * std::cos(b) - neu[2] * std::sin(b);
  s->pitch = std::atan2(u2, h2) * kRad2Deg;
  s->heading = 0;
  s->headingSigma = 0;
  s->rateOfTurn = 0;
  s->bHeadingValid = s->bRotValid = 0;
  // A baseline without horizontal length points nowhere: no heading, no sigma, no rate.
  if (h > kMinHorizontal) {
    double hd = std::atan2(e, n);
    if (hd < 0) hd += 2.0 * M_PI;
    s->heading = hd * kRad2Deg;
    if (s->heading >= 360.0) s->heading = 0.0;
    const double var = rtk.headingVar > 0 ? rtk.headingVar : 0.0;
    s->headingSigma = static_cast<float>(std::sqrt(var) * kSigmaScale / h);
    s->bHeadingValid = 1;
    // The azimuth's rate from the unrotated baseline: offsets shift the azimuth by a constant.
    const double rate[3] = {rtk.blRate[0], rtk.blRate[1], rtk.blRate[2]};
    double vneu[3];
    toNeu(lat, lon, rate, vneu);
    s->rateOfTurn = (neu[0] * vneu[1] - neu[1] * vneu[0]) / (h * h) * kPerMinute;
    s->bRotValid = 1;
  }
  s->rtkStatus = rtk.status;
  if (temp_dbi == 100) {
    debPrintfx(-1, "neu %f %f %f LL %f %f\n", neu[0], neu[1], neu[2], lat * kRad2Deg, lon * kRad2Deg);
    debPrintfx(-1, "xyz %f %f %f neu %f %f %f head %f\n", rtk.baseline[0], rtk.baseline[1], rtk.baseline[2], n, e,
               u2, s->heading);
    debPrintfx(-1, "ROT %d %f\n", s->bRotValid, s->rateOfTurn);
  }
}
