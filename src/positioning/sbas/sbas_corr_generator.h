// SBAS wide-area correction generator: turns the SBAS message data of one source, held in the
// data servers, into per-satellite corrections. This part holds the ionosphere: the grid of
// MT18/MT26 interpolated at a satellite's pierce point after RTCA DO-229D appendix A.4.4.10
// (cell selection, square, triangle and polar interpolation, GIVE variances with the MT10
// degradation).
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/corrections/corr_request.h"
#include "positioning/data_servers/sbas_data_types.h"

class PVTDataType;

class SbasCorrGenerator {
 public:
  // The grid of bands 0..8 by 5-degree column (longitude -180..175) and row (latitude -85..85).
  static constexpr int kGridColumns = 72;
  static constexpr int kGridRows = 35;
  // Rows of bands 9 (north) and 10 (south): 60, 65, 70, 75 and 85 degrees.
  static constexpr int kExtRows = 5;
  static constexpr int kExtRowLat[kExtRows] = {60, 65, 70, 75, 85};
  static constexpr int kBandPoints = SBASData::kIonoBandPoints;

  // Grid-point numbers (band x 201 + index in band + 1; 0 none).
  static const std::int16_t (&lat_lon_to_ext_point_array)[kGridColumns * kGridRows];  // column x 35 + row
  static const std::int16_t (&lat_lon_ext_band_to_point_array)[2][kExtRows][kGridColumns];  // [south][row][column]
  // Longitudes of the 85-degree grid points: bands 0..8, and bands 9 and 10.
  static constexpr float fNorthLonArray[4] = {-180, -90, 0, 90};
  static constexpr float fSouthLonArray[4] = {-140, -50, 40, 130};
  static constexpr float fNorthLonExtArray[12] = {-180, -150, -120, -90, -60, -30, 0, 30, 60, 90, 120, 150};
  static constexpr float fSouthLonExtArray[12] = {-170, -140, -110, -80, -50, -20, 10, 40, 70, 100, 130, 160};

  // sigma_GIVE (m) by GIVE indicator (DO-229D table A-17): precision mode, and the other modes.
  static constexpr float fTableSigmaGIVE[16] = {0.0917f, 0.1825f, 0.2737f, 0.3648f, 0.456f,  0.5472f,
                                                0.6384f, 0.7295f, 0.8207f, 0.9119f, 1.0943f, 1.3678f,
                                                1.8237f, 4.5593f, 13.6778f, 0.0f};
  static constexpr float fTableSoftSigmaGIVE[16] = {0.0916f, 0.1166f, 0.1367f, 0.1449f, 0.1517f, 0.1597f,
                                                    0.1649f, 0.17f,   0.1749f, 0.1797f, 0.2078f, 0.2598f,
                                                    0.3317f, 0.5514f, 0.9752f, 0.0f};

  static constexpr double kL1Frequency = 1575.42e6;  // Hz, the frequency the grid delays refer to

  // One cell corner.
  struct IonoGridPointType {
    std::uint8_t bUsable;
    std::uint8_t bAvailable;
    std::int16_t iNumber;  // grid-point number, 0 none (a virtual point keeps 0)
    float fLat, fLon;      // deg
    float fAge;            // s, of the delay
    float fDelay;          // m, vertical
    float fVar;            // m^2
  };

  // A cell around the pierce point: corners south-west, south-east, north-east, north-west
  // (polar cells: the four 85-degree points from the one west of the pierce point eastwards).
  struct IonoCellType {
    float fLat, fLon;  // pierce point, deg
    IonoGridPointType point[4];
    float fAge;    // s, largest of the corners used
    float fDelay;  // m, vertical
    float fVar;    // m^2, vertical
  };

  // Slant ionosphere of one satellite for the requested signal: delay as the negated path delay.
  struct IonoResultType {
    std::uint8_t bValid;
    float fDelay;  // m
    float fVar;    // m^2
    float fAge;    // s
  };

  explicit SbasCorrGenerator(PVTDataType* store);

  // The source whose grid the next calls read: its server slot (0..11) and identity, the GPS
  // time (ms of week), precision mode (precise GIVE table, MT10 terms) and its MT10 record when
  // valid for it (null otherwise). Finds whether the source broadcasts bands 9 and 10.
  void set_IonoSource(int serverSlot, const SvIdType& source, int nowMs, bool precision,
                      const SBASData::DegradationDataType* mt10);

  // Slant delay and variance at the satellite's pierce point; false (and bValid 0) when the grid
  // gives none there.
  bool compute_IonoCorrection(const CorrData::RequestSatDataType& sat, IonoResultType& out);
  // Vertical delay and variance at a pierce point (deg); false when no cell gives one.
  bool compute_IonoVertical(float lat, float lon, IonoCellType& cell);

  bool has_ExtraBand(bool south) const { return bExtBand_[south ? 1 : 0] != 0; }
  // Grid-point number at a whole-degree point (0 none); longitude any, latitude -90..90.
  static int get_GridPointNumber(int lat, int lon, bool extraBand);

 private:
  bool load_Corner(IonoGridPointType& p, int lat, int lon);
  bool load_VirtualCorner(IonoGridPointType& p, int lat, int lon);
  void place_Cell(IonoCellType& cell, int lat1, int lat2, int lon1, int dLon, bool virtualTop);
  bool interpolate_Square(IonoCellType& cell, int lat1, int lat2, int lon1, int dLon);
  bool interpolate_Triangle(IonoCellType& cell, int lat1, int lat2, int lon1, int dLon);
  bool interpolate_Polar(IonoCellType& cell);
  bool try_Placements(IonoCellType& cell, const int (*lat1)[2], int count, const int* lon1, int lonCount,
                      int dLon, bool virtualTop);
  bool compute_DataForConjugateCellForExtraBands(IonoCellType& cell, int lat1);
  float cornerVariance(int givei, float age) const;

  PVTDataType* store_;
  int iSlot_ = 0;
  std::uint8_t uSourceIndex_ = SBASData::kNoSource;
  int iNowMs_ = 0;
  bool bPrecision_ = false;
  bool bMt10_ = false;
  SBASData::DegradationDataType mt10_{};
  std::uint8_t bExtBand_[2] = {0, 0};
};
