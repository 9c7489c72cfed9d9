// The receiver clock of a reference station whose position is known. Each satellite's measured
// pseudorange, set against the range from the known position, is one observation of the
// receiver clock; a weighted least-squares solution gives the clock offset to a reference
// system's time and the offsets of the other systems against it, and a two-state filter
// (offset and drift) smooths the result. The base station takes the filtered clock as the
// clock of its corrections.
//
// Units: offsets in metres (clock times the speed of light), drift in m/s, time tags in ms.
#pragma once

#include <cstdint>

#include "positioning/engine/epoch_sat_list.h"
#include "positioning/data_servers/pos_value_types.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/clock_filter.h"
#include "positioning/engine/matrix.h"

// Earth's rotation rate over the speed of light, s/m x rad/s (WGS 84: 7.2921151467e-5 rad/s).
inline constexpr double kEarthRotationOverC = 7.2921151467e-5 / 299792458.0;

// Range from a receiver to a satellite with the Earth's rotation during the signal's flight, to
// first order (the Sagnac term w/c (xs yr - xr ys)); within 1 mm of the exact rotated range for
// satellites at GNSS distances.
double rangeWithEarthRotation(const double sat[3], const double rcv[3]);

// What the processor asks of others: the satellite's orbit and clock at a transmission time,
// and its ionospheric and tropospheric correction.
struct RefClockLinks {
  bool (*satPosAndClock)(const SvIdType& sv, double timeSec, ChanSatDataType& rec);
  bool (*satCorrection)(const SvIdType& sv, double& correction, double& variance, double& rate);
};

// The valid ionospheric and tropospheric parts of a satellite's record in the correction
// server: their sum (m, the negated delay), summed variance (m^2) and rate (m/s); false when
// neither part is valid.
bool refClockStoreCorrection(const SvIdType& sv, double& correction, double& variance, double& rate);

// The satellite's orbit and clock into `rec` at the transmission time of a signal received at
// `ms` (ms of the system's cycle) with code time `code` (s), by a receiver whose clock runs
// `clock` (m) ahead of system time. The code time holds both clocks, which are no part of the
// signal's flight: the receiver's is taken out first, then the satellite's, read from a first
// evaluation (the satellite clock's offset is up to a millisecond, a few metres of orbit).
bool orbitAtTransmission(const RefClockLinks& links, const SvIdType& sv, std::uint32_t ms, double code, double clock,
                         ChanSatDataType& rec);

// The receiver time of system `sys` in an epoch (ms of its week; of the day for GLONASS and
// SBAS) and whether the epoch has it.
bool epochSystemTime(const PosData::RcvTimeDataType& t, int sys, std::uint32_t& ms);

class RefClockProcessor {
 public:
  static constexpr int kMaxSats = SatelliteMeasurementProcessor::kSlots;
  static constexpr int kMaxIterations = 7;
  static constexpr double kConvergence = 0.001;    // m^2, sum of squared corrections
  static constexpr double kJumpLimit = 149896.229;  // m: half a millisecond of light travel
  static constexpr double kProcessNoise = 0.02;
  static constexpr double kOffsetVariance = 1.0;   // m^2
  static constexpr double kDriftVariance = 0.001;  // (m/s)^2
  static constexpr double kRefPosTolerance = 0.01;  // m
  static constexpr float kMinElevation = -2.0f;     // degrees
  static constexpr double kSmoothingLimit = 10.0;   // s, time constant of the system offsets
  static constexpr std::uint8_t kAutoRefSystem = 127;
  static constexpr int kSetupRefSystemByte = 137;   // in the LMS engine setup

  RefClockProcessor(PVTDataType* store, const RefClockLinks& links);
  RefClockProcessor(const RefClockProcessor&) = delete;
  RefClockProcessor& operator=(const RefClockProcessor&) = delete;

  // The station's position in WGS 84 and in PE-90 (for GLONASS), each with whether it is in
  // use. A position that moved by more than 1 cm, or a change of use, restarts the filter.
  void input_RefPosition(bool useWgs, const double wgs[3], bool usePe9, const double pe9[3]);
  // One epoch of the store's epoch record; 0 when no clock solution was made.
  int update();

  const PosData::ClockDataType& clockData() const { return clock_; }
  const RefClockLinks& links() const { return links_; }
  bool refPositionInUse(int sys) const { return sys == kSysGlonass ? bUsePe9_ : bUseWgs_; }
  const double* refPosition(int sys) const { return sys == kSysGlonass ? dPe9_ : dWgs_; }
  // Offset differences beyond the jump limit, summed (m).
  double jumpAccumulator() const { return dJump_; }
  bool filterRunning() const { return bFilterInit_ != 0; }
  int referenceSystem() const { return iRefSystem_; }
  // The smoothed offset of a system against the reference (m), beyond the broadcast one.
  bool systemOffset(int sys, double& value) const;

 private:
  void init_EpochData(PVTEngineEpochDataType& e, EpochSatCommonDataType& sats, int base);
  int update_OperationMode(const EpochSatCommonDataType& sats, int base);
  void init_ClockData(const PVTEngineEpochDataType& e);
  void init_AprioryDeltaTime(const PVTEngineEpochDataType& e);
  bool update_MeasurementMatrix(const PVTEngineEpochDataType& e, EpochSatCommonDataType& sats, int base);
  bool update_Solution();
  void update_RefClockData(const PVTEngineEpochDataType& e);
  void update_FilteredRefClockData(const PVTEngineEpochDataType& e, bool solved);
  void restartFilter() { bFilterInit_ = bResetPending_ = 0; }
  // The receiver clock expected at the epoch from the last solution (m), 0 when none.
  double expectedClock(const PVTEngineEpochDataType& e) const;
  bool usableForClock(const ChanSatDataType& s) const;

  PVTDataType* pStore_;
  RefClockLinks links_;
  PosSetup::LMSEngineSetupType setup_{};

  double dWgs_[3] = {}, dPe9_[3] = {};
  std::uint8_t bUseWgs_ = 0, bUsePe9_ = 0;

  // Per system: in use, satellites, column of its clock unknown (0: the reference clock).
  std::uint8_t uSysUse_[SYS_NUM] = {};
  std::uint8_t uSysCount_[SYS_NUM] = {};
  std::int8_t iSysColumn_[SYS_NUM] = {};
  int iUnknowns_ = 0;
  int iRefSystem_ = -1;
  int iLastRefSystem_ = -1;

  // Smoothed offset of each system pair: time of b minus time of a (pair order), m; its filter
  // count is the accumulated smoothing time in ms.
  PosData::OneFilteredDataType pair_[PosData::kDtPairs] = {};
  double dApriori_[SYS_NUM] = {};  // broadcast offset of each system against the reference, m
  double dX_[SYS_NUM] = {};        // unknowns: reference clock, then the other systems
  double dDrift_ = 0.0;
  std::uint8_t bDrift_ = 0;

  // Least squares: weighted design matrix, its transpose, the normal matrix, residuals.
  MatrixDbl A_, At_, N_;
  VectorDbl b_, g_, dx_;
  int iRows_ = 0;
  std::uint8_t uRowChannel_[kMaxSats] = {};

  // Last unfiltered clock.
  double dLastOffset_ = 0.0, dLastDrift_ = 0.0;
  std::uint32_t ulLastTag_ = 0;
  std::uint8_t bLastOffset_ = 0, bLastDrift_ = 0;
  std::uint32_t ulLastSolutionTag_ = 0;
  double dLastInterval_ = -1.0;

  ClockFilter22Type filter_;
  std::uint8_t bFilterInit_ = 0;
  std::uint8_t bResetPending_ = 0;
  double dJump_ = 0.0;

  PosData::ClockDataType clock_{};
};

extern RefClockProcessor RefClockProcessorInstance;
