// Ionosphere of the SBAS generator: the user ionospheric vertical delay of RTCA DO-229D
// appendix A.4.4.10 at a pierce point, then the slant delay of the requested signal. The
// interpolation reproduces any field linear in latitude and longitude over a cell exactly.
#include <algorithm>
#include <cmath>

#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_corr_generator.h"
#include "positioning/signal_tables.h"

namespace {

// Longitude (deg) into -180..180 (180 excluded), whichever way it lies outside.
double wrapLon(double lon) {
  double l = std::fmod(lon + 180.0, 360.0);
  if (l < 0) l += 360.0;
  return l - 180.0;
}

// Eastward distance (deg) from `from` to `to`, 0..360.
double eastOf(double from, double to) {
  double d = std::fmod(to - from, 360.0);
  if (d < 0) d += 360.0;
  return d;
}

int floorTo(double v, int step) { return static_cast<int>(std::floor(v / step)) * step; }

// Signed rows of a cell whose equatorward row is `r` degrees and which spans `h` degrees.
void rowsOf(bool south, int r, int h, int& lat1, int& lat2) {
  lat1 = south ? -(r + h) : r;
  lat2 = south ? -r : r + h;
}

constexpr float kInsideSlack = 1e-6f;

}  // namespace

float SbasCorrGenerator::cornerVariance(int givei, float age) const {
  const float sigma = (bPrecision_ ? fTableSigmaGIVE : fTableSoftSigmaGIVE)[givei & 0xF];
  if (!bMt10_) return sigma * sigma;
  // eps_iono = C_iono_step floor(t / I_iono) + C_iono_ramp t (DO-229D A.4.5.2). An interval of
  // 0 s (possible in MT10) counts as its 1 s resolution instead of dividing by zero.
  const double interval = std::max(1.0, static_cast<double>(mt10_.fIiono));
  const double t = std::max(0.0, static_cast<double>(age));
  const double eps = mt10_.fCionoStep * std::floor(t / interval) + mt10_.fCionoRamp * t;
  if (mt10_.uRssIono != 0) return static_cast<float>(sigma * sigma + eps * eps);
  return static_cast<float>((sigma + eps) * (sigma + eps));
}

bool SbasCorrGenerator::load_Corner(IonoGridPointType& p, int lat, int lon) {
  p = IonoGridPointType{};
  p.fLat = static_cast<float>(lat);
  p.fLon = static_cast<float>(wrapLon(lon));
  const int n = get_GridPointNumber(lat, lon, bExtBand_[lat < 0 ? 1 : 0] != 0);
  p.iNumber = static_cast<std::int16_t>(n);
  if (n <= 0 || store_ == nullptr || iSlot_ < 0) return false;
  SBASData::IonoCorrectionType c{};
  if (store_->sbasIonoCorrection[iSlot_].Take((n - 1) % kBandPoints, (n - 1) / kBandPoints, &c, nullptr, nullptr) == 0)
    return false;
  if (c.get_SourceIndex() != uSourceIndex_ || !c.is_ReadyGridData(iNowMs_)) return false;
  p.bAvailable = 1;
  const int givei = c.get_GIVEI();
  const int delay = c.get_Delay();
  if (!c.is_ReadyIonoCorr(iNowMs_) || givei >= SBASData::IonoCorrectionType::kNotMonitored ||
      delay == SBASData::IonoCorrectionType::kDoNotUseDelay)
    return false;
  p.fAge = static_cast<float>(std::max(0.0, SBASData::get_TimeTagAge(iNowMs_, c.ulCorrTime, false)));
  p.fDelay = static_cast<float>(delay * 0.125);
  p.fVar = cornerVariance(givei, p.fAge);
  p.bUsable = 1;
  return true;
}

// A point of the 85-degree row at any 10-degree longitude, interpolated along the row between
// the two grid points around it (30 degrees apart with the extra band, else 90).
bool SbasCorrGenerator::load_VirtualCorner(IonoGridPointType& p, int lat, int lon) {
  const bool south = lat < 0;
  const bool ext = bExtBand_[south ? 1 : 0] != 0;
  const float* list = ext ? (south ? fSouthLonExtArray : fNorthLonExtArray) : (south ? fSouthLonArray : fNorthLonArray);
  const int count = ext ? 12 : 4;
  const double spacing = ext ? 30.0 : 90.0;
  int west = 0;
  double d = 0;
  for (int i = 0; i < count; ++i) {
    d = eastOf(list[i], lon);
    if (d < spacing) {
      west = static_cast<int>(list[i]);
      break;
    }
  }
  IonoGridPointType w, e;
  const bool wOk = load_Corner(w, lat, west);
  const bool eOk = d == 0 || load_Corner(e, lat, west + static_cast<int>(spacing));
  p = IonoGridPointType{};
  p.fLat = static_cast<float>(lat);
  p.fLon = static_cast<float>(wrapLon(lon));
  p.bAvailable = (w.bAvailable != 0 && (d == 0 || e.bAvailable != 0)) ? 1 : 0;
  if (!wOk || !eOk) return false;
  const double t = d / spacing;
  p.fDelay = static_cast<float>((1 - t) * w.fDelay + (d == 0 ? 0.0 : t * e.fDelay));
  p.fVar = static_cast<float>((1 - t) * w.fVar + (d == 0 ? 0.0 : t * e.fVar));
  p.fAge = d == 0 ? w.fAge : std::max(w.fAge, e.fAge);
  p.bUsable = 1;
  return true;
}

void SbasCorrGenerator::place_Cell(IonoCellType& cell, int lat1, int lat2, int lon1, int dLon, bool virtualTop) {
  const int lats[4] = {lat1, lat1, lat2, lat2};
  const int lons[4] = {lon1, lon1 + dLon, lon1 + dLon, lon1};
  for (int i = 0; i < 4; ++i) {
    const bool isVirtual = virtualTop && (lats[i] == 85 || lats[i] == -85);
    if (isVirtual)
      load_VirtualCorner(cell.point[i], lats[i], lons[i]);
    else
      load_Corner(cell.point[i], lats[i], lons[i]);
  }
}

bool SbasCorrGenerator::interpolate_Square(IonoCellType& cell, int lat1, int lat2, int lon1, int dLon) {
  for (const IonoGridPointType& p : cell.point)
    if (p.bUsable == 0) return false;
  const double x = std::clamp(eastOf(lon1, cell.fLon) / dLon, 0.0, 1.0);
  const double y = std::clamp((cell.fLat - lat1) / static_cast<double>(lat2 - lat1), 0.0, 1.0);
  const double w[4] = {(1 - x) * (1 - y), x * (1 - y), x * y, (1 - x) * y};
  double delay = 0, var = 0;
  float age = 0;
  for (int i = 0; i < 4; ++i) {
    delay += w[i] * cell.point[i].fDelay;
    var += w[i] * cell.point[i].fVar;
    age = std::max(age, cell.point[i].fAge);
  }
  cell.fDelay = static_cast<float>(delay);
  cell.fVar = static_cast<float>(var);
  cell.fAge = age;
  return true;
}

// Three usable corners: the corner opposite the missing one is the right-angle vertex; the
// weights are 1 - x - y there and x, y at its neighbours along the row and along the column.
bool SbasCorrGenerator::interpolate_Triangle(IonoCellType& cell, int lat1, int lat2, int lon1, int dLon) {
  int missing = -1;
  for (int i = 0; i < 4; ++i) {
    if (cell.point[i].bUsable != 0) continue;
    if (missing >= 0) return false;
    missing = i;
  }
  if (missing < 0) return false;
  const int v = (missing + 2) % 4;
  const double x = std::clamp(eastOf(lon1, cell.fLon) / dLon, 0.0, 1.0);
  const double y = std::clamp((cell.fLat - lat1) / static_cast<double>(lat2 - lat1), 0.0, 1.0);
  const double xv = (v == 0 || v == 3) ? x : 1 - x;
  const double yv = (v == 0 || v == 1) ? y : 1 - y;
  if (xv + yv > 1.0 + kInsideSlack) return false;
  const IonoGridPointType& pv = cell.point[v];
  const IonoGridPointType& px = cell.point[v ^ 1];
  const IonoGridPointType& py = cell.point[3 - v];
  const double wv = 1 - xv - yv;
  cell.fDelay = static_cast<float>(wv * pv.fDelay + xv * px.fDelay + yv * py.fDelay);
  cell.fVar = static_cast<float>(wv * pv.fVar + xv * px.fVar + yv * py.fVar);
  cell.fAge = std::max({pv.fAge, px.fAge, py.fAge});
  return true;
}

// Above 85 degrees: the four 85-degree points 90 degrees apart, from the one west of the pierce
// point eastwards; y = (|lat| - 85) / 10, x = (lon - lon3) / 90 (1 - 2y) + y (DO-229D A.4.4.10.3).
bool SbasCorrGenerator::interpolate_Polar(IonoCellType& cell) {
  const bool south = cell.fLat < 0;
  const float* list = south ? fSouthLonArray : fNorthLonArray;
  const int lat = south ? -85 : 85;
  int west = static_cast<int>(list[0]);
  double d = 0;
  for (int i = 0; i < 4; ++i) {
    d = eastOf(list[i], cell.fLon);
    if (d < 90.0) {
      west = static_cast<int>(list[i]);
      break;
    }
  }
  bool all = true;
  for (int i = 0; i < 4; ++i) all = load_Corner(cell.point[i], lat, west + 90 * i) && all;
  if (!all) return false;
  const double y = std::clamp((std::fabs(cell.fLat) - 85.0) / 10.0, 0.0, 0.5);
  const double x = d / 90.0 * (1 - 2 * y) + y;
  const double w[4] = {(1 - x) * (1 - y), x * (1 - y), x * y, (1 - x) * y};
  double delay = 0, var = 0;
  float age = 0;
  for (int i = 0; i < 4; ++i) {
    delay += w[i] * cell.point[i].fDelay;
    var += w[i] * cell.point[i].fVar;
    age = std::max(age, cell.point[i].fAge);
  }
  cell.fDelay = static_cast<float>(delay);
  cell.fVar = static_cast<float>(var);
  cell.fAge = age;
  return true;
}

// Every placement for four corners first, then every placement for three.
bool SbasCorrGenerator::try_Placements(IonoCellType& cell, const int (*lat1)[2], int count, const int* lon1,
                                       int lonCount, int dLon, bool virtualTop) {
  for (int pass = 0; pass < 2; ++pass)
    for (int i = 0; i < count; ++i)
      for (int j = 0; j < lonCount; ++j) {
        place_Cell(cell, lat1[i][0], lat1[i][1], lon1[j], dLon, virtualTop);
        const bool ok = pass == 0 ? interpolate_Square(cell, lat1[i][0], lat1[i][1], lon1[j], dLon)
                                  : interpolate_Triangle(cell, lat1[i][0], lat1[i][1], lon1[j], dLon);
        if (ok) return true;
      }
  return false;
}

// 10 x 10 cells where bands 9 and 10 hold rows 5 degrees apart: the two placements of the rows
// around the pierce point on the 10-degree columns.
bool SbasCorrGenerator::compute_DataForConjugateCellForExtraBands(IonoCellType& cell, int r) {
  const bool south = cell.fLat < 0;
  int rows[2][2];
  rowsOf(south, r - 5, 10, rows[0][0], rows[0][1]);
  rowsOf(south, r, 10, rows[1][0], rows[1][1]);
  const int lon1 = floorTo(cell.fLon, 10);
  return try_Placements(cell, rows, 2, &lon1, 1, 10, false);
}

bool SbasCorrGenerator::compute_IonoVertical(float lat, float lon, IonoCellType& cell) {
  cell = IonoCellType{};
  if (!std::isfinite(lat) || !std::isfinite(lon) || std::fabs(lat) > 90.0f) return false;
  cell.fLat = lat;
  cell.fLon = static_cast<float>(wrapLon(lon));
  const bool south = lat < 0;
  const bool ext = bExtBand_[south ? 1 : 0] != 0;
  const double a = std::fabs(static_cast<double>(lat));
  // Bounds belong to the rule of the lower latitude; a cell's equatorward row is r.
  const int r5 = static_cast<int>(std::ceil(a / 5.0)) * 5 - 5;
  int rows[2][2];
  if (a <= 55.0 || (a <= 60.0 && ext)) {
    rowsOf(south, r5, 5, rows[0][0], rows[0][1]);
    const int lon5 = floorTo(cell.fLon, 5);
    if (try_Placements(cell, rows, 1, &lon5, 1, 5, false)) return true;
    rowsOf(south, r5, 10, rows[0][0], rows[0][1]);
    rowsOf(south, r5 - 5, 10, rows[1][0], rows[1][1]);
    const int lons[2] = {lon5, lon5 - 5};
    return try_Placements(cell, rows, 2, lons, 2, 10, false);
  }
  const int lon10 = floorTo(cell.fLon, 10);
  if (a <= 75.0 && !ext) {
    rowsOf(south, a <= 65.0 ? 55 : 65, 10, rows[0][0], rows[0][1]);
    return try_Placements(cell, rows, 1, &lon10, 1, 10, false);
  }
  if (a <= 75.0) {
    rowsOf(south, r5, 5, rows[0][0], rows[0][1]);
    if (try_Placements(cell, rows, 1, &lon10, 1, 10, false)) return true;
    return compute_DataForConjugateCellForExtraBands(cell, r5);
  }
  if (a <= 85.0) {
    rowsOf(south, 75, 10, rows[0][0], rows[0][1]);
    return try_Placements(cell, rows, 1, &lon10, 1, 10, true);
  }
  return interpolate_Polar(cell);
}

bool SbasCorrGenerator::compute_IonoCorrection(const CorrData::RequestSatDataType& sat, IonoResultType& out) {
  out = IonoResultType{};
  IonoCellType cell;
  if (!compute_IonoVertical(sat.fIppLat, sat.fIppLon, cell)) return false;
  const double f = get_SvRatedFrequency(0, sat.svId.sys, sat.svId.si);
  const double obliquity = sat.fObliquity;
  if (!(f > 1.0) || !(obliquity > 0.0) || !std::isfinite(obliquity)) return false;
  // The grid holds L1 delays: scaled once here to the satellite's signal, delay and spread alike.
  const double k = (kL1Frequency / f) * (kL1Frequency / f);
  out.fDelay = static_cast<float>(-(cell.fDelay * obliquity) * k);
  out.fVar = static_cast<float>(cell.fVar * obliquity * obliquity * k * k);
  out.fAge = cell.fAge;
  out.bValid = 1;
  return true;
}
