// The receiver settings record RcvSet: every persistent receiver setting that is not kept by a
// settings class of its own. It is stored whole in one block of the settings image, so its
// layout is fixed for good: fields are only ever added by taking bytes from the reserved tail
// (and raising kRcvSetLayoutRev so a stored record of an older layout gets the new fields'
// defaults), never by moving or resizing a field. Every member is fixed width; the offsets below
// are checked so the 32-bit target and the 64-bit host lay it out alike.
//
// Areas whose exact fields belong to the equipment layers (clock plan, lock masks, PPS and event
// settings, spectrum, GLONASS bias, hardware calibration, decoder routing) are fixed-size byte
// areas here; the owner defines its record over its area and checks that it fits.
#pragma once

#include <cstddef>
#include <cstdint>

// Relative: the end-to-end tests read this layout without the source include path.
#include "../platform/can_state.h"

inline constexpr std::uint16_t kRcvSetLayoutRev = 4;
// s: base-position averaging time of the factory settings, and of a stored setting of 0.
inline constexpr std::uint16_t kBaseAvgDefaultSec = 180;


// The RTK settings of the /par/pos/pd/ subtree as stored (meanings with the RTK settings keys).
struct RcvRtkSettings {
  double mem;           // memory factor 0.5..1.0
  double dyn;           // dynamics 0..1
  float rmsc;           // code rms, m
  float rmsp;           // phase rms, m
  float tolthr;
  float range;
  float tgpsfirst;      // s
  float ionr, ionf, iont;
  float pen, offt;
  float tempc, humid, press;
  float textr, textrse; // s
  std::int32_t period;   // ms
  std::int32_t afperiod; // ms, 50..5000
  std::int32_t experiod; // ms, 0..5000
  std::int32_t fixwait, timegap;
  std::int32_t check;
  std::int16_t inputId;  // input/0/id, -2..4095 (-1 any)
  std::uint8_t scale;
  std::uint8_t aflevel;  // 0 extralow .. 3 high
  std::uint8_t mode;     // 1 extrap, 0 delay
  std::uint8_t dblchk, resetfix;
  std::uint8_t mrtk[2];
  std::uint8_t maxs[2];
  std::uint8_t si[2];
  std::uint8_t meas[6];  // ca, p1, p2, c2, l5, l1c
  std::uint8_t se, crpc, smr, averr, usebasedop, qcheck, vrs, mac, gpsfirst, resmode, fkp, wl,
      l1only, diffext, fixins;
  std::uint8_t env, catcher, delay, resvrs, wlmult, ion;
  std::uint8_t maxit, maxitf, minpot, minpotp, minsat, maxsat, mbtimeout;
  std::uint8_t refKeep, fixpos, rtkplus, varDiff;
  std::uint8_t spare[9];
};
static_assert(sizeof(RcvRtkSettings) == 160);

// Heading (two-antenna baseline) settings and the fix statistics' reference point.
struct RcvHeadingSettings {
  double len;       // baseline length, m
  double memf;
  double histPr[3]; // reference point of the fix statistics
  float pen;
  float aoff[3];    // degrees
  std::int32_t naver;
  std::uint8_t mode, half, tune, uselen;
  std::uint8_t histMode;
  std::uint8_t spare[7];
};
static_assert(sizeof(RcvHeadingSettings) == 72);

// Button-started logging.
struct RcvFileButton {
  std::uint8_t autoMode;  // 0 off, 1 on, 2 always
  std::uint8_t action;
  std::uint8_t defDynamic;
  std::uint8_t rotation;
  char name[21];
  std::uint8_t periodMs[4];  // default output period, little-endian; 0 = the factory 1000 ms
  std::uint8_t spare[3];
};
static_assert(sizeof(RcvFileButton) == 32);
static_assert(offsetof(RcvFileButton, periodMs) == 25);

// The output position filter's settings beside its on/off switch (filtMode).
struct RcvPosFilt {
  std::int16_t num;     // count cap, 1..32767
  std::int16_t maxdel;  // gap that restarts the filter, s, 1..3600
  std::int16_t spdnum;  // velocity filter length, 1..32767
  std::uint8_t weight;  // adaptive weight on
  std::uint8_t spdmode; // static pass-through on
  float spdmax;         // speed threshold, m/s
  std::uint8_t spare[4];
};
static_assert(sizeof(RcvPosFilt) == 16);
static_assert(offsetof(RcvPosFilt, spdmax) == 8);

// Factory defaults of the filter settings.
void rcvPosFiltDefaults(RcvPosFilt& f);

// The output grid: map identifier and grid system (the pair the output conversion chooses by),
// the user projection and the local grid. Angles in radians unless named otherwise.
struct RcvGrid {
  std::int16_t mapId;    // 0 none, 1 transverse Mercator family, 2 polar family, 3 other projection
  std::int16_t gridSys;  // 1 UTM/UPS, 2 user projection (with mapId 1: the national grid), 3 local, 4 received
  std::int32_t prjType;  // user projection: its type 1..11, 0 none
  double prj[7];         // its parameters in the order of the type's record
  double locPrj[5];      // local grid's stereographic projection: lat0, lon0, k0, FN, FE
  double local[7];       // local grid: uO, vO, k, alpha (degrees), t1, t2, H0
};
static_assert(sizeof(RcvGrid) == 160);
static_assert(offsetof(RcvGrid, prj) == 8 && offsetof(RcvGrid, locPrj) == 64 && offsetof(RcvGrid, local) == 104);

// Factory defaults of the grid settings: no grid, no projection, unit scales.
void rcvGridDefaults(RcvGrid& g);

// Which stored reference position the base publishes (refPosFrom).
enum : std::uint8_t { kRefPosFromNone = 0, kRefPosFromMeasured = 1, kRefPosFromKnown = 2 };

struct RCV_SETTINGS {
  std::uint16_t layoutRev;   // kRcvSetLayoutRev of the layout the record was written with
  std::uint16_t changeCount; // counts changes of settings that followers re-read

  // ---- positioning
  std::uint16_t posSource;       // 6: the position server takes posSourceData
  std::uint16_t msmCompat;       // msm/compat 0..6; 5 ("hard") lets BeiDou MSM cells be skipped
  std::uint8_t baseNeedsValidPos;// base output only in epochs with a valid position
  std::uint8_t singleClock;      // 1: the navigation solution keeps a single clock field
  std::uint8_t posMode;          // tPosMode: 0 sp, 1 wd, 2 gb, 3 cd, 4 pf, 5 pd, 6 pp
  std::uint8_t filtMode;         // bFiltMode
  double posSourceData[6];
  std::int32_t msInt;            // measurement interval, ms (-1 any)
  std::int32_t posMsInt;         // position interval, ms
  std::int32_t posUpdateRate;
  std::int32_t rawUpdateRate;
  std::int32_t secInt;           // second interval of the measurement logic, ms
  std::int16_t refPosMode;       // 1, 2, 4
  std::uint8_t midPointOut;
  std::uint8_t codeSolAllowed;
  double refPos[4][3];           // measured XYZ, measured BLH, known XYZ, known BLH (all 0: none)
  float hdgOffset;               // baseline heading offset, degrees
  float pitchOffset;             // baseline pitch offset, degrees
  std::uint8_t bl1PhaseWeight;   // bit 0: heavier phase weighting of baseline 1
  std::uint8_t fixedUndOn;       // fixed geoid undulation in use
  std::uint16_t gridZone;        // national grid zone: 0 none, 1, 2, 3, 117
  float fixedUnd;                // m
  char geoidFile[64];            // empty: the built-in grid
  char antName[2][32];           // antenna type per antenna input (antenna database names)

  // ---- raw data and smoothing
  std::uint16_t smi;             // s
  std::uint16_t ionoSmi;         // s
  std::uint16_t tecSmi;          // s
  std::uint16_t baseAvg;         // base-position averaging
  std::uint16_t codeSmoothLen;   // samples, 0 off
  std::uint8_t codeCorrFromBase; // code corrections from base observations
  std::uint8_t rtcm2NoFullBand;  // admit RTCM 2 base epochs without a band of range and phase

  // ---- differential
  std::int32_t baseEpochInt;     // ms, never 0
  std::int16_t refPort;          // decoder port of the base data, -2 any
  std::uint16_t baseStationId;
  std::uint8_t refMsgChoice;     // 0 message 3 only, 1 message 32 only, 2 both
  std::uint8_t bUseBaseEntered, bUseBaseEnteredOffs, bUseBaseEnteredPar, bRtcmStatus;
  std::uint8_t cmrInvertPhase;
  std::int16_t rtcm3MaxSats;     // copy of the RTCM 3 satellite limit (0: none)
  RcvRtkSettings rtk;
  RcvHeadingSettings hd;

  // ---- services
  std::uint8_t lbandMode;        // 0 off, 1 on
  std::uint8_t cpuNum;           // cpu/num: 0..4, 5 auto
  std::uint8_t gloCalib;         // GLONASS calibration mode (nv_writeGloCalib)
  std::uint8_t spare0;
  std::uint32_t rtcRef;          // reference value of the RTC date hand-over (0 none)
  std::uint32_t serAState;       // state word of serial port A as the power controller sets it
  RcvFileButton fileButton;
  CanState can[2];
  std::uint8_t gpsPrn[32];       // GPS PRN table of the almanac intake

  // ---- areas of the equipment layers
  std::uint8_t clockArea[64];    // dividers, carrier centre, loop modes
  std::uint8_t lockArea[1024];   // lock masks and switches
  std::uint8_t ppsArea[256];     // PPS outputs and event inputs
  std::uint8_t spectrumArea[64];
  std::uint8_t gloBiasArea[64];  // mode, brands, run, opt, weight
  std::uint8_t calibArea[64];    // hardware calibration
  std::uint8_t azrtArea[264];    // stored routing: 22 decoder ports x 3 parameters
  // layout 2
  std::uint8_t lockExtArea[1152]; // lock masks, continued: three more tables of 48 x 64 bits
  // layout 3
  RcvPosFilt posFilt;
  // layout 4
  std::uint8_t sepAntSol;        // separate solutions per antenna input
  std::uint8_t rtkType1;         // RTK solutions of type 1 output outside position mode pf
  std::uint8_t rtkType3;         // RTK solutions of type 3 output
  std::uint8_t refPosFrom;       // kRefPosFrom...: the triple of refPos the base publishes
  std::uint16_t rtkDistLim;      // rover-base distance limit, units of 100 m (0: none)
  // Zero by default, as the spare bytes they were taken from: no layout change.
  std::uint8_t posLedRtkSparse;  // RTK modes: the position LED takes only epochs on the interval
  std::uint8_t gpsCnavDecOff;    // GPS and QZSS CNAV and CNAV-2 decoding switched off (pos/cnav/dec)
  std::uint16_t posLedRtkIntMs;  // that interval, ms (0: none)
  std::uint8_t spare1[2];
  RcvGrid grid;
  // Zero by default, as the reserved bytes they were taken from: no layout change.
  char antSerial[32];            // serial number of the antenna of input 0 (ant/serial), empty none
  std::uint8_t antSetupId;       // its setup id (ant/setup), 0..255
  std::uint8_t antSpare[3];
  float antHeight;               // the antenna reference point's height over the mark, m (ant/height)

  std::uint8_t reserved[184];
};
static_assert(sizeof(RCV_SETTINGS) == 4096, "RcvSet is stored whole: its size never changes");
static_assert(offsetof(RCV_SETTINGS, posSourceData) == 16);
static_assert(offsetof(RCV_SETTINGS, rtk) % 8 == 0 && offsetof(RCV_SETTINGS, hd) % 8 == 0);
static_assert(offsetof(RCV_SETTINGS, clockArea) == 732);
static_assert(offsetof(RCV_SETTINGS, lockExtArea) == 2532);
static_assert(offsetof(RCV_SETTINGS, posFilt) == 3684);
static_assert(offsetof(RCV_SETTINGS, sepAntSol) == 3700);
static_assert(offsetof(RCV_SETTINGS, rtkDistLim) == 3704 && offsetof(RCV_SETTINGS, grid) == 3712);
static_assert(offsetof(RCV_SETTINGS, posLedRtkSparse) == 3706 && offsetof(RCV_SETTINGS, posLedRtkIntMs) == 3708);
static_assert(offsetof(RCV_SETTINGS, gpsCnavDecOff) == 3707);
static_assert(offsetof(RCV_SETTINGS, antSerial) == 3872);
static_assert(offsetof(RCV_SETTINGS, antHeight) == 3908 && offsetof(RCV_SETTINGS, reserved) == 3912);

extern RCV_SETTINGS RcvSet;

// Factory defaults of the whole record.
void rcvSetDefaults(RCV_SETTINGS& s);

// Position mode and position filtering as the position layer reads them (mirrors of RcvSet).
extern int tPosMode;
extern std::uint8_t bFiltMode;
