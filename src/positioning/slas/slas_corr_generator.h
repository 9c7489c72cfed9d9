// QZSS L1S sub-metre augmentation turned into code-differential corrections: one station block
// of the code-differential request per station slot the SLAS decoder published, each requested
// satellite's current and previous correction moved for the datum difference between the
// station's frame and the satellite system's along the line of sight, with a variance that grows
// at low elevation and with the distance to the monitoring station.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/corrections/rtcm_corr_generator.h"
#include "positioning/data_servers/pos_data_types.h"
#include "positioning/data_servers/slas_data_types.h"
#include "positioning/geodesy/dtm_list.h"
#include "positioning/geodesy/ell_math.h"

class PVTDataType;

class SlasCorrGenerator {
 public:
  static constexpr int kSystems = 7;

  // Correction k (0 current, 1 previous) of the satellite last loaded.
  struct CorrEntryType {
    std::uint8_t bReady;
    std::uint8_t uIod;
    float fCorrection;  // m
    float fRate;        // m/s, always 0
    float fVarTerm;     // m^2, always 0
    float fAge;         // s
  };

  explicit SlasCorrGenerator(const PVTDataType* store);

  // Clears the request's station count and fills one station block per station slot holding a
  // station younger than the station time-out.
  void update(RTCMData::CorrectionRequestType* request);
  // The current station slot's corrections of `sv` at the QZSS time of `t` into entry(0), entry(1).
  void compute_RangeCorrection(const SvIdType& sv, const PosData::RcvTimeDataType& t);
  // Chooses the station slot (0..2) and its station code for compute_RangeCorrection.
  void select_Slot(int slot, std::uint16_t stationCode);
  const CorrEntryType& entry(int k) const { return corr_[k & 1]; }

  // 1-sigma terms of the correction error (m): elevation (deg) a and b, distance (m) s.
  static double sigmaA(double elevationDeg);
  static double sigmaB(double elevationDeg);
  static double sigmaS(double distanceM);
  // a^2 + b^2 + 0.0185 + varTerm + factor * s^2.
  static double variance(double elevationDeg, double distanceM, double factor, double varTerm);

  // The datum offset (m, ECEF) of the current station and system, false when the system's datum
  // is not known.
  bool datumOffset(int system, double offset[3]) const;

 private:
  using DatumCacheType = DatumShift;

  PVTDataType* store_;
  int slot_ = 0;
  std::uint16_t uStationCode_ = SLASData::kNoStation;
  SLASData::SatCorrectionType satCorr_;
  CorrEntryType corr_[2];
  DatumCacheType stationDatum_;
  DatumCacheType sysDatum_[kSystems];
};

extern SlasCorrGenerator SlasCorrGeneratorInstance;
