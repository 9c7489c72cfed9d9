// BeiDou D2 wide-area corrections (BDS-SIS-ICD-B1I 3.0 5.3.3.8-5.3.3.9): the writes of the D2
// decoders into the per-source correction servers, and the generator that turns what the
// servers hold into per-satellite clock corrections and ionosphere delays for the wide-area
// correction request, one source slot per usable source.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/corrections/wd_corr_request.h"
#include "positioning/data_servers/pvt_data.h"

// ---- the D2 decoders' writes (take, modify, put under the servers' locks) ----------------------

// The UDRE index of `sat` heard by decoder `source` (0-4) from GEO `geo` in the frame at BDT ms
// of week `timeMs`.
void put_CompUdreData(int source, SvIdType geo, SvIdType sat, std::uint8_t udrei, std::uint32_t timeMs);
// The equivalent clock correction of `sat` (raw, 0.1 m) with its accuracy index.
void put_CompCorrData(int source, SvIdType geo, SvIdType sat, std::int16_t dt, std::uint8_t index,
                      std::uint32_t timeMs);
// One ionosphere grid block (0-25) of 13 points.
void put_CompIonoBlock(int source, SvIdType geo, int block, const std::uint16_t* points, std::uint32_t timeMs);
// Decoder `source` took a subframe of `geo` at receiver time tag `timeTag` (ms).
void put_CompSourceState(int source, SvIdType geo, std::uint32_t timeTag);

// ---- the generator ----------------------------------------------------------------------------

class CompCorrGenerator {
 public:
  // 1-sigma of the UDRE indices (14: not monitored, 15: not available) and of the GIVE indices, m.
  static const float fTableSigmaUDRE[16];
  static const float fTableSigmaGIVE[16];
  // Grid limits, degrees.
  static constexpr double kGridLatMin = 7.5, kGridLatMax = 55.0;
  static constexpr double kGridLonMin = 70.0, kGridLonMax = 145.0;

  explicit CompCorrGenerator(PVTDataType* store);

  // Fills one source slot per usable source (the count is reset first).
  void update(SBASData::CorrectionRequestType* request);
  // The source-state time-out: 60 s beyond the longest of the other time-outs.
  static void process_DataTimeout();

  struct SatResultType {
    bool udreValid = false;
    bool corrValid = false;
    float correction = 0.0f;  // m
    float variance = 0.0f;    // m^2
    float age = 0.0f;         // s
  };
  struct IonoResultType {
    bool valid = false;
    float delay = 0.0f;     // m, negated slant delay at `frequency`
    float variance = 0.0f;  // m^2
    float age = 0.0f;       // s
    float vertical = 0.0f;  // m, the interpolated vertical delay
  };

  // The current source (decoder number 0-4, its GEO) and evaluation time, set by update; public
  // so that the two computations can be driven alone.
  void select_Source(int number, SvIdType geo, std::uint32_t nowMs);
  SatResultType compute_SatCorrection(const SvIdType& sat) const;
  // For a requested satellite with its pierce point and obliquity; the delay is scaled to
  // `frequency` (Hz; 0 takes B1I).
  IonoResultType compute_IonoCorrection(const CorrData::RequestSatDataType& sat, double frequency) const;

  // The grid point of a cell corner (degrees): its number (1-320), block (0-25) and point within
  // the block (0-12). False for a position that is not a grid point.
  static bool get_IonoCorrPointAndBlock(double lat, double lon, int& point, int& block, int& pointInBlock);

 private:
  struct CornerType {
    bool usable;
    float delay;     // m
    float variance;  // m^2
    float age;       // s
  };
  struct CellType {
    double latS, lonW, height;  // degrees
    CornerType corner[4];       // lower-west, lower-east, upper-east, upper-west
    int usable;
  };
  void place_Cell(CellType& cell, double latS, double lonW, double height) const;
  int get_UsableIGPsForCell(CellType& cell) const;
  CornerType get_Corner(double lat, double lon) const;

  PVTDataType* store_;
  int number_ = -1;
  std::uint8_t sourceIndex_ = 0;
  std::uint32_t nowMs_ = 0;
};

extern CompCorrGenerator CompCorrGeneratorInstance;
