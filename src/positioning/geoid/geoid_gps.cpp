#include "positioning/geoid/geoid_gps.h"

#include <cmath>
#include <cstring>

#include "platform/rtos.h"
#include "positioning/geoid/geoid_builtin.h"

namespace {

constexpr double kRad2Deg = 57.29577951308232;
// Slack, in grid steps, for points that sit on an edge but miss it by rounding.
constexpr double kEdgeEps = 1e-9;

constexpr GeoidGPS::Descr kBuiltIn = {2, 1, 0.01, 0.0, 0.0, 90.0, 0.5, 0.5, 720, 361};
static_assert(std::size_t(kBuiltIn.cols) * std::size_t(kBuiltIn.rows) * kBuiltIn.size == kGeoidBuiltInBytes);
static_assert(kGeoidBuiltInBytes <= GeoidGPS::kGridBytes);

// One lock for the grid in use, its descriptor and the last height. getHeight holds it for the
// whole interpolation, so the grid cannot be swapped under a reader.
Mutex& geoidLock() {
  static Mutex m;
  return m;
}

inline std::int32_t rawElem(const std::uint8_t* p, unsigned size) {
  if (size == 2) return std::int16_t(std::uint16_t(p[0] | (p[1] << 8)));
  std::uint32_t v = 0;
  for (unsigned i = 0; i < size; ++i) v |= std::uint32_t(p[i]) << (8 * i);
  const unsigned shift = 32 - 8 * size;
  return std::int32_t(v << shift) >> shift;
}

// A grid with its geometry, as the interpolation sees it.
struct GridView {
  const GeoidGPS::Descr& d;
  const std::uint8_t* g;
  bool wrapLon;    // columns close the circle: the column after the last is the first
  bool northPole;  // first row lies on 90 N
  bool southPole;  // last row lies on 90 S

  GridView(const GeoidGPS::Descr& descr, const std::uint8_t* grid)
      : d(descr),
        g(grid),
        wrapLon(std::fabs(descr.cols * descr.dLon - 360.0) < 1e-6),
        northPole(std::fabs(descr.lat0 - 90.0) < 1e-9),
        southPole(std::fabs(descr.lat0 - (descr.rows - 1) * descr.dLat + 90.0) < 1e-6) {}

  double elem(std::int32_t idx) const { return d.offset + d.scale * rawElem(g + std::size_t(idx) * d.size, d.size); }

  // Node (r, c) with indices outside the grid brought back in: across the seam by wrapping,
  // across a pole to the opposite meridian, else onto the nearest edge.
  double node(std::int32_t r, std::int32_t c) const {
    const std::int32_t rows = d.rows, cols = d.cols;
    const bool flip = wrapLon && (cols % 2) == 0;
    if (r < 0) {
      if (northPole && flip) {
        r = -r;
        c += cols / 2;
      } else {
        r = 0;
      }
    } else if (r > rows - 1) {
      if (southPole && flip) {
        r = 2 * (rows - 1) - r;
        c += cols / 2;
      } else {
        r = rows - 1;
      }
    }
    if (r < 0) r = 0;
    if (r > rows - 1) r = rows - 1;
    if (wrapLon) {
      c %= cols;
      if (c < 0) c += cols;
    } else {
      if (c < 0) c = 0;
      if (c > cols - 1) c = cols - 1;
    }
    return elem(r * cols + c);
  }
};

bool descrAcceptable(const GeoidGPS::Descr& d, std::uint32_t* bytes) {
  // Written so that NaN fails every range test.
  if (d.interp > 1) return false;
  if (d.size < 1 || d.size > 4) return false;
  if (!(d.lat0 >= -90.0 && d.lat0 <= 90.0)) return false;
  if (!(d.lon0 >= 0.0 && d.lon0 <= 360.0)) return false;
  if (!(d.dLat > 0.0 && d.dLat <= 180.0)) return false;
  if (!(d.dLon > 0.0 && d.dLon <= 360.0)) return false;
  if (!std::isfinite(d.scale) || !std::isfinite(d.offset)) return false;
  // Interpolation needs two nodes each way; sizes are signed on the wire.
  if (d.rows < 2 || d.cols < 2) return false;
  const std::uint64_t n = std::uint64_t(d.rows) * std::uint64_t(d.cols) * d.size;
  if (n > GeoidGPS::kGridBytes) return false;
  *bytes = std::uint32_t(n);
  return true;
}

void copyName(char* dst, const char* src) {
  std::strncpy(dst, src, GeoidGPS::kNameLen - 1);
  dst[GeoidGPS::kNameLen - 1] = '\0';
}

}  // namespace

GeoidGPS::Descr GeoidGPS::descr = kBuiltIn;
const std::uint8_t* GeoidGPS::grid = kGeoidBuiltInGrid;
char GeoidGPS::name[kNameLen] = "Default EGM2008";
bool GeoidGPS::valid = false;
bool GeoidGPS::changeCur = false;
double GeoidGPS::curHeight = 0.0;
GeoidGPS::Descr GeoidGPS::curDescr = {};
char GeoidGPS::curName[kNameLen] = "";
bool GeoidGPS::haveCur = false;
GeoidGPS::Descr GeoidGPS::pendingDescr = {};
bool GeoidGPS::havePending = false;
alignas(4) std::uint8_t GeoidGPS::loadGrid[kGridBytes];

std::uint8_t* GeoidGPS::setDescr(const Descr& d, std::uint32_t* bytes) {
  std::uint32_t n = 0;
  if (!descrAcceptable(d, &n)) return nullptr;
  Locker<Mutex> l(geoidLock());
  if (grid == loadGrid) {
    // The load buffer is about to be overwritten: serve the built-in grid meanwhile.
    descr = kBuiltIn;
    grid = kGeoidBuiltInGrid;
    copyName(name, kBuiltInName);
    changeCur = true;
  }
  pendingDescr = d;
  havePending = true;
  *bytes = n;
  return loadGrid;
}

bool GeoidGPS::install(const char* newName) {
  Locker<Mutex> l(geoidLock());
  if (!havePending) return false;
  descr = pendingDescr;
  grid = loadGrid;
  copyName(name, newName ? newName : "");
  havePending = false;
  changeCur = true;
  valid = true;
  return true;
}

void GeoidGPS::cancelLoad() {
  Locker<Mutex> l(geoidLock());
  havePending = false;
}

void GeoidGPS::useBuiltIn() {
  Locker<Mutex> l(geoidLock());
  descr = kBuiltIn;
  grid = kGeoidBuiltInGrid;
  copyName(name, kBuiltInName);
  changeCur = true;
  valid = true;
}

void GeoidGPS::keepBuiltInIfNone() {
  Locker<Mutex> l(geoidLock());
  havePending = false;
  if (valid) return;
  descr = kBuiltIn;
  grid = kGeoidBuiltInGrid;
  copyName(name, kBuiltInName);
  changeCur = true;
  valid = true;
}

bool GeoidGPS::heightLocked(double lat, double lon, double* height) {
  if (!valid) return false;
  if (changeCur) {
    changeCur = false;
    curDescr = descr;
    std::memcpy(curName, name, kNameLen);
    haveCur = true;
  }
  if (!std::isfinite(lat) || !std::isfinite(lon)) return false;
  const GridView v(descr, grid);
  const Descr& d = descr;

  double latDeg = lat * kRad2Deg;
  if (latDeg > 90.0 + 1e-6 || latDeg < -90.0 - 1e-6) return false;
  if (latDeg > 90.0) latDeg = 90.0;
  if (latDeg < -90.0) latDeg = -90.0;
  double lonDeg = std::fmod(lon * kRad2Deg, 360.0);
  if (lonDeg < 0.0) lonDeg += 360.0;
  if (lonDeg >= 360.0) lonDeg = 0.0;

  double dx = lonDeg - d.lon0;
  if (dx < 0.0) dx += 360.0;
  double x = dx / d.dLon;
  double y = (d.lat0 - latDeg) / d.dLat;
  const double lastCol = d.cols - 1, lastRow = d.rows - 1;

  if (v.wrapLon) {
    if (x >= d.cols) x -= d.cols;
    if (x < 0.0) x = 0.0;
  } else if (x > lastCol) {
    if (x <= lastCol + kEdgeEps) {
      x = lastCol;
    } else if (x >= 360.0 / d.dLon - kEdgeEps) {
      x = 0.0;  // just west of the first column by rounding
    } else {
      return false;  // outside a regional grid
    }
  }
  if (y < 0.0) {
    if (y < -kEdgeEps) return false;
    y = 0.0;
  } else if (y > lastRow) {
    if (y > lastRow + kEdgeEps) return false;
    y = lastRow;
  }

  double h;
  if (y == 0.0 && v.northPole) {
    h = v.elem(0);
  } else if (y == lastRow && v.southPole) {
    h = v.elem(d.rows * d.cols - 1);
  } else {
    std::int32_t ix = std::int32_t(std::floor(x));
    std::int32_t iy = std::int32_t(std::floor(y));
    double fx = x - ix, fy = y - iy;
    if (ix >= d.cols - 1 && !v.wrapLon) {
      ix = d.cols - 2;
      fx = 1.0;
    }
    if (iy >= d.rows - 1) {
      iy = d.rows - 2;
      fy = 1.0;
    }
    if (d.interp == 0) {
      h = ((1 - fx) * v.node(iy, ix) + fx * v.node(iy, ix + 1)) * (1 - fy) +
          ((1 - fx) * v.node(iy + 1, ix) + fx * v.node(iy + 1, ix + 1)) * fy;
    } else {
      // Four-point Lagrange weights, h = Y'.A.F.A'.X; all work values live on this stack.
      static constexpr double A[4][4] = {{0.0, 1.0, 0.0, 0.0},
                                         {-1.0 / 3.0, -0.5, 1.0, -1.0 / 6.0},
                                         {0.5, -1.0, 0.5, 0.0},
                                         {-1.0 / 6.0, 0.5, -0.5, 1.0 / 6.0}};
      const double X[4] = {1.0, fx, fx * fx, fx * fx * fx};
      const double Y[4] = {1.0, fy, fy * fy, fy * fy * fy};
      double wx[4], wy[4];
      for (int j = 0; j < 4; ++j) {
        wx[j] = X[0] * A[0][j] + X[1] * A[1][j] + X[2] * A[2][j] + X[3] * A[3][j];
        wy[j] = Y[0] * A[0][j] + Y[1] * A[1][j] + Y[2] * A[2][j] + Y[3] * A[3][j];
      }
      h = 0.0;
      for (int i = 0; i < 4; ++i) {
        double row = 0.0;
        for (int j = 0; j < 4; ++j) row += v.node(iy - 1 + i, ix - 1 + j) * wx[j];
        h += wy[i] * row;
      }
    }
  }
  curHeight = h;
  *height = h;
  return true;
}

bool GeoidGPS::getHeight(double lat, double lon, double* height) {
  Locker<Mutex> l(geoidLock());
  return heightLocked(lat, lon, height);
}

double GeoidGPS::getHeight(double lat, double lon) {
  Locker<Mutex> l(geoidLock());
  double h;
  return heightLocked(lat, lon, &h) ? h : curHeight;
}

bool GeoidGPS::getCurrent(Descr* d, char* outName, std::size_t nameLen) {
  Locker<Mutex> l(geoidLock());
  if (!haveCur) return false;
  if (d) *d = curDescr;
  if (outName && nameLen > 0) {
    std::strncpy(outName, curName, nameLen - 1);
    outName[nameLen - 1] = '\0';
  }
  return true;
}
