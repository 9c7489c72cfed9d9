#include "positioning/sbas/sbas_corr_generator.h"

#include "positioning/data_servers/pvt_data.h"

namespace {

// The DO-229D ionospheric grid (appendix A.4.4.9, figures ). Bands 0..8 run 40
// degrees of longitude each from 180 W, in eight 5-degree columns numbered west to east and,
// within a column, south to north. A column holds 55 S..55 N by 5 degrees; columns on
// whole 10 degrees add 65 and 75 on each side; the columns 180 W, 90 W, 0 and 90 E add 85 N and
// 140 W, 50 W, 40 E and 130 E add 85 S. Band 9 (north) and band 10 (south) hold the rows 60 (5
// degrees apart), 65, 70, 75 (10 degrees apart from 180 W) and 85 (30 degrees apart from 180 W in
// the north, from 170 W in the south), numbered row by row from 60 degrees poleward.
constexpr bool isMainPoint(int lat, int lon) {
  const int a = lat < 0 ? -lat : lat;
  if (a <= 55) return true;
  if (((lon % 10) + 10) % 10 != 0) return false;
  if (a == 65 || a == 75) return true;
  if (lat == 85) return lon == -180 || lon == -90 || lon == 0 || lon == 90;
  if (lat == -85) return lon == -140 || lon == -50 || lon == 40 || lon == 130;
  return false;
}

constexpr int extRowSpacing(int row) { return row == 0 ? 5 : row < 4 ? 10 : 30; }

struct GridTables {
  std::int16_t main[SbasCorrGenerator::kGridColumns * SbasCorrGenerator::kGridRows]{};
  std::int16_t ext[2][SbasCorrGenerator::kExtRows][SbasCorrGenerator::kGridColumns]{};
};

constexpr GridTables buildTables() {
  GridTables t{};
  for (int band = 0; band < 9; ++band) {
    int index = 0;
    for (int j = 0; j < 8; ++j) {
      const int lon = -180 + 40 * band + 5 * j;
      const int column = (lon + 180) / 5;
      for (int row = 0; row < SbasCorrGenerator::kGridRows; ++row) {
        const int lat = -85 + 5 * row;
        if (!isMainPoint(lat, lon)) continue;
        t.main[column * SbasCorrGenerator::kGridRows + row] = static_cast<std::int16_t>(band * 201 + index + 1);
        ++index;
      }
    }
  }
  for (int south = 0; south < 2; ++south) {
    const int band = 9 + south;
    int index = 0;
    for (int row = 0; row < SbasCorrGenerator::kExtRows; ++row) {
      const int step = extRowSpacing(row);
      const int first = (south != 0 && row == 4) ? -170 : -180;
      for (int lon = first; lon < 180; lon += step) {
        t.ext[south][row][(lon + 180) / 5] = static_cast<std::int16_t>(band * 201 + index + 1);
        ++index;
      }
    }
  }
  return t;
}

constexpr GridTables kTables = buildTables();

}  // namespace

const std::int16_t (&SbasCorrGenerator::lat_lon_to_ext_point_array)[kGridColumns * kGridRows] = kTables.main;
const std::int16_t (&SbasCorrGenerator::lat_lon_ext_band_to_point_array)[2][kExtRows][kGridColumns] = kTables.ext;

namespace {
// Whole-degree longitude into -180..179.
int wrapLon(int lon) {
  int l = (lon + 180) % 360;
  if (l < 0) l += 360;
  return l - 180;
}
}  // namespace

SbasCorrGenerator::SbasCorrGenerator(PVTDataType* store, SatelliteDataProcessor* satData)
    : store_(store), satData_(satData) {}

int SbasCorrGenerator::get_GridPointNumber(int lat, int lon, bool extraBand) {
  if (lat < -85 || lat > 85 || lat % 5 != 0) return 0;
  const int l = wrapLon(lon);
  if (l % 5 != 0) return 0;
  const int column = (l + 180) / 5;
  const int a = lat < 0 ? -lat : lat;
  if (extraBand && a >= 60) {
    for (int row = 0; row < kExtRows; ++row)
      if (kExtRowLat[row] == a) return lat_lon_ext_band_to_point_array[lat < 0 ? 1 : 0][row][column];
    return 0;
  }
  return lat_lon_to_ext_point_array[column * kGridRows + (lat + 85) / 5];
}

void SbasCorrGenerator::set_IonoSource(int serverSlot, const SvIdType& source, int nowMs, bool precision,
                                       const SBASData::DegradationDataType* mt10) {
  iSlot_ = (serverSlot >= 0 && serverSlot < SBASData::kSbasSources) ? serverSlot : -1;
  uSourceIndex_ = SBASData::sourceIndexOf(source);
  iNowMs_ = nowMs;
  bMaskKnown_ = false;
  bPrecision_ = precision;
  bMt10_ = precision && mt10 != nullptr;
  if (bMt10_) mt10_ = *mt10;
  // A source broadcasts an extra band when any point of it is in a live mask of this source.
  for (int south = 0; south < 2; ++south) {
    bExtBand_[south] = 0;
    if (store_ == nullptr || iSlot_ < 0) continue;
    for (int point = 0; point < 192 && bExtBand_[south] == 0; ++point) {
      SBASData::IonoCorrectionType c{};
      if (store_->sbasIonoCorrection[iSlot_].Take(point, 9 + south, &c, nullptr, nullptr) == 0) break;
      if (c.get_SourceIndex() == uSourceIndex_ && c.is_ReadyGridData(nowMs)) bExtBand_[south] = 1;
    }
  }
}
