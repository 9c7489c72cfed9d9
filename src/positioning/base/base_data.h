// What a reference station hands its differential coders every epoch: the RTK base data (the
// measurements of every satellite and signal with their computed counterparts) for the RTCM 2,
// RTCM 3 and CMR coders, and the code corrections and ionosphere data of RTCM 2. The records
// are written and read in the per-epoch task, the writer first; each ends with a ready byte the
// coders test. In-memory records: they do not travel as they are.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"

inline constexpr int kBaseSats = 91;
inline constexpr int kBaseSignals = 6;

// One signal of one satellite.
struct RTK_DATA_SLOT {
  double dCode2;    // code, m (RTCM 2)
  double dPhase2;   // carrier phase, cycles (RTCM 2)
  double dCode;     // code, m, clock-corrected when enabled
  double dPhase;    // carrier phase, m, clock-corrected when enabled
  double dRate;     // range rate from the Doppler, m/s
  float fComputedMinusPhase;  // computed range less the phase, cycles
  float fComputedMinusCode;   // computed range less the code, m
  float fComputedMinusRate;   // computed less measured range rate, m/s
  std::uint32_t ulLock;       // lock value of the signal
  std::uint8_t uFifteen;      // always 15
  std::uint8_t uQuality;      // low byte of the signal's quality word
  std::uint8_t uPhaseQuality;  // index 0..15 from the phase sigma
  std::uint8_t uCn0Class;     // of the satellite's first signal
  std::uint8_t uCn0;          // dB-Hz x 4
  std::uint8_t bPresent;
  std::uint8_t bComputed;     // the computed fields hold values
};

struct RTK_DATA_SV {
  std::uint8_t uNumber;   // PRN; GLONASS orbital slot
  std::int8_t cGloFreq;   // GLONASS frequency number, 0 for other systems
  std::uint8_t uSystem;
  std::uint8_t uIssue;    // low byte of the issue of data
  RTK_DATA_SLOT slot[kBaseSignals];
};

struct NAVCOD_RTK_DATA {
  std::uint32_t ulTime[SYS_NUM];  // epoch time of each system, ms (SBAS: the GPS time)
  std::uint8_t bValid[SYS_NUM];   // system has a clock, a time and satellites
  double dClock[SYS_NUM];         // receiver clock offset of each system, m (0 when steered)
  std::uint8_t uRtcm2Smoothing;   // class 0..3
  std::uint8_t uRtcm3Smoothing;   // class 0..6
  std::uint8_t uDayOfWeek;        // GLONASS day of week 0..6, 7 unknown
  std::uint8_t bClockCorrected;
  std::uint8_t bSetup;
  std::uint8_t uConstOne;         // always 1 once built
  std::uint8_t uCount[SYS_NUM];       // satellites per system
  std::uint8_t uCountCmr[SYS_NUM];    // the counts frozen at each coder's limit
  std::uint8_t uCountRtcm2[SYS_NUM];
  std::uint8_t uCountRtcm3[SYS_NUM];
  std::uint8_t uSatCount;             // entries in sat, grouped by system in system order
  RTK_DATA_SV sat[kBaseSats];
  std::uint8_t bReady;
};

struct NAVCOD_DIF_SIGNAL {
  float fPrc;    // pseudorange correction, m
  float fRrc;    // range-rate correction, m/s
  float fSigma;  // m
};

struct NAVCOD_DIF_SV {
  float fDelay;         // group delay of the first signal, m
  std::uint8_t uMask;   // bit u: signal u present
  std::uint8_t uIssue;
  std::uint8_t uNumber;
  std::uint8_t uSystem;
  std::int8_t cGloFreq;
  NAVCOD_DIF_SIGNAL sig[kBaseSignals];
};

struct NAVCOD_DIF_DATA {
  std::uint32_t ulTime[SYS_NUM];
  std::uint8_t bValid[SYS_NUM];
  std::uint8_t uCount[SYS_NUM];
  std::uint8_t uSigCount[SYS_NUM][kBaseSignals];
  std::uint8_t uSatCount;
  NAVCOD_DIF_SV sat[kBaseSats];
  std::uint8_t bReady;
};

struct NAVCOD_IONO_SV {
  std::uint8_t uNumber;
  std::uint8_t uSystem;
  float fDelay;  // m
  float fRate;   // m/s
  float fZero;
};

struct NAVCOD_IONO_DATA {
  std::uint32_t ulTime[SYS_NUM];
  std::uint8_t bValid[SYS_NUM];
  std::uint8_t uCount[SYS_NUM];
  std::uint8_t uSatCount;
  NAVCOD_IONO_SV sat[kBaseSats];
  std::uint8_t bReady;
};

extern NAVCOD_RTK_DATA RtkDat;
extern NAVCOD_DIF_DATA DifDat;
extern NAVCOD_IONO_DATA IonDat;

// What the coders need this epoch, as the coding driver last set it.
// iRtcmOutput: bits 0 and 1 RTK data, bit 2 code corrections, bit 4 ionosphere data;
// iCmrOutput and iRtcm3Output: bit 0 RTK data.
extern int iRtcmOutput;
extern int iCmrOutput;
extern int iRtcm3Output;
namespace BaseOutput {
constexpr int kRtk = 0x1, kRtk2 = 0x2, kCodeCorr = 0x4, kIono = 0x10;
}

// The reference station as the coders send it: the antenna reference point (or, without one,
// the reference position) with the antenna it stands for. In-memory only.
struct NAVCOD_REF_COORD {
  double dX, dY, dZ;         // ECEF, m
  float fAntHeight;          // m
  float fNorth, fEast, fUp;  // antenna offsets, m
  std::uint8_t bOffsetsApplied;
  char antDescr[32];         // up to 31 characters used
  char antSerial[32];
  std::uint8_t antSetupId;
};
