// The reference station's epoch: checks the stored reference positions against the solution,
// runs the reference clock, and fills the base data the differential coders send (RTK data,
// RTCM 2 code corrections and ionosphere data).
#pragma once

#include <cstdint>

#include "positioning/base/base_data.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/ref_clock.h"

struct ChanData;

// Settings the base data depend on, gathered once per epoch (currentBaseSettings).
struct BaseSettings {
  int rtcm2MaxSats = 0;  // satellites per epoch, 0 or less: no limit
  int cmrMaxSats = 0;
  int rtcm3MaxSats = 0;
  bool smoothing = false;       // the RTCM 2 coder's base data take the smoothed code
  bool clockCorrected = false;  // code and phase corrected by the receiver clock
  int smoothingInterval = 0;    // code smoothing interval, s
  bool setupFlag = false;
  int gpsUtcSeconds = 18;       // GPS minus UTC, s
  bool clockSteering = false;   // the receiver clock is steered: offsets reported as 0
  int rtcm2Version = 0;         // RTCM 2 coder's version setting
  std::uint8_t rtcmSetCmn[4] = {};  // zero range-rate corrections: all but GLONASS, GLONASS,
                                    // all; byte 3: use the RefPosGPS/RefPosGLN pair
  bool needValidPosition = false;  // code corrections only in epochs with a valid position
  int rtcmOutput = 0, cmrOutput = 0, rtcm3Output = 0;  // the coders' needs (iRtcmOutput ...)
};
BaseSettings currentBaseSettings();

// Reference-position records in the order baseModeProcessing checks and uses them.
enum BaseRefPos { kRefPosWgs = 0, kRefPosPe9, kRefArpWgs, kRefArpPe9, kRefPosGPS, kRefPosGLN, kRefPosRecords };

// A reference position farther than this from the solution is not used (m).
extern float fGoodRefLimit;
// Base data with computed ranges (positions known) or measurements only.
extern std::uint8_t bComputeBas;
// The first four reference positions exist and agree with the solution.
extern std::uint8_t bUseBase[4];
// The ionosphere data were built this epoch.
extern std::uint8_t bIonSmoothing;
// Switches shared by the base outputs: zero the range-rate corrections of all systems but
// GLONASS (0), of GLONASS (1), of all (2); use RefPosGPS/RefPosGLN instead of RefPosWgs/RefPosPe9 (3).
extern std::uint8_t RtcmSetCmn[4];
// The receiver clock is steered: the base data report clock offsets of 0.
extern std::uint8_t bClockSteering;

// The satellites the RTK data may select: 91, or the largest limit among the coders that need
// RTK data (rtcmOutput bits 0-1, cmrOutput and rtcm3Output bit 0); one of them without a limit
// leaves the selection unlimited. With no coder named, every coder's limit counts.
int rtkSelectionLimit(const BaseSettings& s);

// Classes of the base data.
int cn0Class(float cn0);
// A double as a float, beyond the float range as an infinity.
float toFloat(double v);
int phaseQualityIndex(float phaseSigma);
int rtcm2SmoothingClass(int seconds);
int rtcm3SmoothingClass(int seconds);

// Flags of bUseBase from the four positions (null: not set) and the solution position (null:
// none). Without a valid solution the last verdict of a position that is still set stands.
void checkRefPositions(const double* const pos[4], const double* solution, float limit, std::uint8_t use[4]);

// The RTK base data of an epoch (see base_processing.cpp).
void buildRtkData(bool compute, bool useWgs, const double a[3], bool usePe9, const double b[3],
                  const PVTEngineEpochDataType& e, const PosData::ClockDataType& clock, NAVCOD_RTK_DATA& data,
                  const ChanData* chan, const BaseSettings& s, const RefClockLinks& links);
// RTCM 2 code corrections; `posValid`: the epoch has a valid position.
void buildDifData(bool useWgs, const double a[3], bool usePe9, const double b[3], const PVTEngineEpochDataType& e,
                  const PosData::ClockDataType& clock, NAVCOD_DIF_DATA& data, const ChanData* chan,
                  const BaseSettings& s, const RefClockLinks& links, bool posValid);
void buildIonData(const PVTEngineEpochDataType& e, NAVCOD_IONO_DATA& data, const ChanData* chan);

// The epoch's own clock (from its solution) as clock data, for when the reference clock has
// none.
PosData::ClockDataType epochClockData(const PVTEngineEpochDataType& e);
// The reference clock's data, with GPS time's offset taken from the epoch's own clock (of `e`)
// when the reference clock knows none: while no GPS satellite is fit for its solution (their
// first ephemerides unhealthy, say) and no broadcast offset links its reference system to GPS
// time, the receiver still keeps GPS time, and a base's GPS observations still have their epoch.
PosData::ClockDataType withGpsOffset(const PosData::ClockDataType& filtered, const PVTEngineEpochDataType& e);

// Per epoch, after the position solution.
void baseModeProcessing();
// The same with the reference positions, the solution and the settings given.
void baseModeProcessing(const double* const refPos[kRefPosRecords], const double* solution, const BaseSettings& s,
                        RefClockProcessor& clockProc, const RefClockLinks& links);
