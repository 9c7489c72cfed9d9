// SBAS wide-area correction generator: turns the SBAS message data of one source, held in the
// data servers, into per-satellite corrections. This part holds the ionosphere: the grid of
// MT18/MT26 interpolated at a satellite's pierce point after RTCA DO-229D appendix A.4.4.10
// (cell selection, square, triangle and polar interpolation, GIVE variances with the MT10
// degradation).
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/corrections/corr_request.h"
#include "positioning/corrections/wd_corr_request.h"
#include "positioning/data_servers/sbas_data_types.h"

class PVTDataType;
class SatelliteDataProcessor;

// t0 of a long-term block (a time of day in 16-s units) placed within +/-12 h of the time the
// tag holds on entry (GPS ms of week), days wrapped 0..6; the tag holds t0 on return.
void GetExtendedWaas_t0(const SBASData::LongCorrBlock* block, SBASData::TimeTag& t);

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

  // sigma_UDRE (m) by UDRE indicator: precision mode, and the other modes.
  static constexpr float fTableSigmaUDRE[16] = {0.228f,  0.304f,  0.38f,    0.532f,   0.684f, 0.9119f,
                                                1.1398f, 1.3678f, 1.5958f,  1.8237f,  2.2796f, 4.5593f,
                                                15.1976f, 45.5927f, 0.0f,   0.0f};
  static constexpr float fTableSoftSigmaUDRE[16] = {0.1612f, 0.172f,  0.1822f, 0.1918f, 0.201f,  0.2516f,
                                                    0.2987f, 0.3419f, 0.3924f, 0.4648f, 0.5244f, 0.7155f,
                                                    0.7746f, 2.3238f, 0.0f,    0.0f};
  // Fast-correction degradation factor a_i (m/s^2) by MT7 index.
  static constexpr float fTableAi[16] = {0.0f,    0.00005f, 0.00009f, 0.00012f, 0.00015f, 0.0002f,
                                         0.0003f, 0.00045f, 0.0006f,  0.0009f,  0.0015f,  0.0021f,
                                         0.0027f, 0.0033f,  0.0046f,  0.0058f};
  // MT27 delta-UDRE by indicator.
  static constexpr float fTableDeltaUDRE[16] = {1, 1.1f, 1.25f, 1.5f, 2, 3, 4, 5, 6, 8, 10, 20, 30, 40, 50, 100};
  static constexpr double kC = 299792448.0;  // m/s, the single-precision speed of light the clock terms use
  static constexpr float kIncompleteVariance = 3600.0f;  // m^2, a band without its inputs in precision mode
  static constexpr int kUdreNotMonitored = 14;
  static constexpr int kUdreDoNotUse = 15;

  // One satellite from one source: the long-term parts and the result of each band (band 0 the
  // current long-term block, band 1 the previous one, each with its ephemeris issue).
  struct SatWorkType {
    enum Status : std::uint8_t { kOk, kNoRecord, kLacksData, kNotInMask, kNotMonitored, kDoNotUse };
    Status status;
    std::uint8_t bFast, bRate, bMt10;
    double dPrc;     // m, fast correction, propagated with the rate when that is used
    double dRrc;     // m/s
    double dEpsFc, dEpsRrc;
    struct Band {
      std::uint8_t bValid;   // the long-term block is present
      std::uint16_t uIssue;  // 65535 none
      double dPos[3];        // m, position correction at the current time
      double dClock;         // m, c x clock correction
      double dLong;          // m, c x dclock - e . dpos
      double dEpsLtc;
      double dCorrection;    // m, fast + long-term
      double dVariance;      // m^2
    } band[2];
  };

  SbasCorrGenerator(PVTDataType* store, SatelliteDataProcessor* satData);
  explicit SbasCorrGenerator(PVTDataType* store) : SbasCorrGenerator(store, nullptr) {}

  // Fills the request's source slots, one per usable source.
  void update(SBASData::CorrectionRequestType* req);
  // Source-state time-out: 60 s more than the largest SBAS data time-out.
  void process_DataTimeout();

  // Degradation terms (m).
  static double get_FastCorrDegrad(int ai, double age, double latency);
  // iodfPrev < 0: not known, never taken as consecutive.
  static double get_RateCorrDegrad(int ai, int iodf, int iodfPrev, double dt, double ifc, double brrc, double age);
  // tFromT0: now - t0 (s) of a velocity-code-1 block or of the GEO's navigation message (MT9);
  // ageLong: since the long-term message (velocity code 0).
  static double get_LongCorrDegrad(int velocityCode, bool geo, double tFromT0, double ageLong,
                                   const SBASData::DegradationDataType& d);
  // MT28 delta-UDRE at a line of sight (receiver to satellite); ccov: the MT10 covariance term, 0 without.
  static double get_DeltaUDRE(const SBASData::CovMatrixBlock* cov, const double* lineOfSight, double ccov);
  // MT27 delta-UDRE of the current source at the receiver position (1 without service regions).
  double get_DeltaUDRE();
  // The same over a list of region records (two sets of 40).
  static double select_RegionDeltaUDRE(const SBASData::RegionServiceDataType* recs, int count, std::uint8_t source,
                                       int nowMs, double lat, double lon);
  static bool check_PositionInsideRegion(const SBASData::RegionServiceDataType& r, double lat, double lon);

  // Mode of the next compute_SatCorrection calls (tests and update): precision, the MT10 record
  // (null without), whether the source wants covariance data, the MT27 factor (< 0 none).
  void set_SatMode(bool precision, const SBASData::DegradationDataType* mt10, bool covRequired, double mt27Delta,
                   bool useRate = true);
  // The current source's PRN masks as its state names them (null: no mask known), which tell a
  // satellite without UDRE data that the source monitors from one it does not name.
  void set_SourceMask(const SBASData::SourceStateDataType* state);
  // The satellite's corrections from one record of the current source at nowMs. A GEO's own
  // long-term block comes with its navigation message (MT9) and carries that message's t0.
  void compute_SatCorrection(const SBASData::SatCorrectionType& rec, const CorrData::RequestSatDataType& sat,
                             int nowMs, SatWorkType& out) const;

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
  SatelliteDataProcessor* satData_ = nullptr;
  double dCovRequired_ = 0;
  bool bUseRate_ = true;
  double dMt27Delta_ = -1;
  double dPosLat_ = 0, dPosLon_ = 0;  // deg, receiver
  bool bMaskKnown_ = false;
  std::uint32_t ulMaskSet_[SYS_NUM] = {};  // satellites the source's live masks name, by system
  int iSlot_ = 0;
  std::uint8_t uSourceIndex_ = SBASData::kNoSource;
  int iNowMs_ = 0;
  bool bPrecision_ = false;
  bool bMt10_ = false;
  SBASData::DegradationDataType mt10_{};
  std::uint8_t bExtBand_[2] = {0, 0};
};

extern SbasCorrGenerator SbasCorrGeneratorInstance;

// The almanac and health screening of an SBAS GEO source (satellite index `si`) by the setup's
// masks, shared by the L1 and DFMC generators: false when the source must be passed over. The
// provider its almanac names goes to `provider` (-1 without one). Without a setup no mask holds.
bool sbasGeoPassesAlmanac(SatelliteDataProcessor* satData, const PosSetup::CorrProcessorSetupType* setup, int si,
                          const SBASData::CorrectionRequestType& req, int& provider);

// Screens one source state of the L1 or DFMC servers against the request (empty, system, test
// mode, satellite range, GEO almanac and health, age) and, when it serves, fills the request's
// next source slot with its identity, provider and age: that slot, or null when it is passed
// over. The caller counts the slot in once it has filled the corrections.
template <class SourceState>
SBASData::SourceSlotType* openSourceSlot(const SourceState& st, SBASData::CorrectionRequestType& req,
                                         SatelliteDataProcessor* satData,
                                         const PosSetup::CorrProcessorSetupType* setup, int nowMs) {
  if (st.uPrn == 255 || st.uSystem >= SYS_NUM) return nullptr;
  if (req.uSourceSystem != kSvUnknown && st.uSystem != req.uSourceSystem) return nullptr;
  if ((st.uFlags & SourceState::kTestMode) != 0) return nullptr;
  const int si = st.uPrn - SYS_SI_MIN[st.uSystem];
  if (si < 0 || si >= SYS_SI_NUM[st.uSystem]) return nullptr;
  int provider = -1;
  if (st.uSystem == kSysSbas && !sbasGeoPassesAlmanac(satData, setup, si, req, provider)) return nullptr;
  if (!st.is_Ready(nowMs)) return nullptr;
  SBASData::SourceSlotType& slot = req.source[req.uSourceCount];
  slot.source = SvIdType{static_cast<std::uint8_t>(si), st.uSystem, 0, static_cast<std::uint8_t>(si)};
  slot.uPrn = st.uPrn;
  slot.uProvider = provider < 0 ? 255 : static_cast<std::uint8_t>(provider);
  slot.fAge = static_cast<float>(SBASData::get_TimeTagAge(nowMs, st.ulTime, false));
  return &slot;
}
