#include "positioning/nav_tools.h"

#include <cmath>

void Geometry::XYZ_NEU(double lat, double lon, const double in[3], double out[3], bool inverse) {
  const double sp = std::sin(lat), cp = std::cos(lat);
  const double sl = std::sin(lon), cl = std::cos(lon);
  const double a = in[0], b = in[1], c = in[2];
  if (!inverse) {
    out[0] = -sp * cl * a - sp * sl * b + cp * c;
    out[1] = -sl * a + cl * b;
    out[2] = cp * cl * a + cp * sl * b + sp * c;
  } else {
    // a = N, b = E, c = U: the transposed rotation.
    out[0] = -sp * cl * a - sl * b + cp * cl * c;
    out[1] = -sp * sl * a + cl * b + cp * sl * c;
    out[2] = cp * a + sp * c;
  }
}
