// Frequency plan of the tracking hardware: the sampling clock and its tick, the NCO scale
// factors, the channel-memory layout and, per frequency band (and GLONASS letter), the exact
// carrier and code NCO rates. Computed once at start and again when the clock settings change;
// everything else reads the results as constants.
//
// Front end as planned here: five RF paths, each mixed down by a local oscillator at the path's
// centre and sampled at the sample rate. A band's carrier NCO runs at its intermediate frequency
// (centre + letter offset - path centre), folded into [-m/2, m/2) with m the sample rate when it
// lies outside the sampled band. Paths 0..3 are also the four wideband spectrum channels.
#pragma once

#include <cstdint>

#include "differential/lband/spectrum_channels.h"

// ---- clock settings (over RcvSet.clockArea)

inline constexpr int kFiltBands = 8;  // front-end filter bands

struct ClockSettings {
  std::uint32_t magic;           // kClockSettingsMagic once the defaults were applied
  std::int32_t vcoDiv_FSX;       // sample rate numerator, MHz
  std::int32_t refDiv_FS;        // sample rate denominator
  float l1CentFrq;               // centre of the upper L-band path, MHz
  std::int32_t msecLoopMode;
  std::int32_t msecLoopModeP;
  std::uint8_t filtBand[kFiltBands];  // filter of each filter band: 0 none, else 1..kFiltNum
  std::uint8_t spare[32];
};
static_assert(sizeof(ClockSettings) == 64);
inline constexpr std::uint32_t kClockSettingsMagic = 0x434C4B31;  // "CLK1"

// The record inside the receiver settings.
ClockSettings& clockSettings();
// Factory defaults: 60/1 (60 MHz), upper path at 1580 MHz, loop modes 1, default filters.
void clockSettingsDefaults();
// After the settings were loaded: a record that never took its defaults takes them now; true
// when it did (the caller stores the settings).
bool clockSettingsAfterLoad();

// ---- frequency indices

inline constexpr int kFrqIdxNum = 14;
inline constexpr int kGloLetters = 15;  // -7..+7
extern const std::int64_t frqIdx[kFrqIdxNum];     // centre frequency, Hz
extern const char* const ffNamesB[kFrqIdxNum];    // band name
extern const int ffNameIds[kFrqIdxNum];           // band-name index
// Letter spacing of a GLONASS FDMA band in Hz (0 for the bands without letters).
std::int64_t frqLetterStep(int index);

// ---- derived clock constants

extern double afrq_HzD;
extern int afrq_Hz;
extern int CyclesInTickPow;
extern double subTicksToTicks;
extern int ppsPow;
extern double Tdiscr;
extern int TICK1E9, TICK1E9m;
extern int TICK1E9D, TICK1E9Dm;
extern double TICK;
extern double TICKMS;
extern double __TICKMS;
extern double __TICK1E9Dm100;
extern int TICKuS;
extern int msecMode, msecModeP;
extern int loopsPer4, loopsPer, loopsPer4P, loopsPerP;
extern int iDDdd;
extern double loopsModd;
extern int loopsMod;
extern int dtLim;
extern int loopsModP;
extern int _1000_div_loopsPer;
extern int _1000_div_loopsPerP;
extern int _1000_div_loopsPer_div_SUM_NUM;

struct LogicChan {
  static int waitInLoop5Ms;
  static int msInt;  // measurement interval, ms, as the measurement-interval logic applied it
  static int getTrackingTime();  // the GNSS board keeps the tracking time: 0 here
};
struct LogicChanP {
  static int wait12InLoop5Ms;
};

// ---- NCO scale constants and channel-memory layout

extern double CNCO_FRQ_CONVX, CD_RATE_CONVX;
extern double CNCO_FRQ_KX, CD_RATE_KX;
extern int SEARCH_SCX;
extern int OnePhCyclePowX, OneCdCyclePowX;
extern int NcoPhDiffPowX, NcoCdDiffPowX;
extern int ths[8];
extern int ths00;

extern int MEM_BEG, MEM_END, TOT_MEM;
extern int CAP_BEG, CAP_END, TOT_CAP;
extern int PLC_BEG, PLC_END, TOT_PLC;
// First and last channel per channel type (0 capture, 1 memory, 2 spare).
extern int chanTypeFirst[3], chanTypeLast[3];

// ---- exact fractions

// value = i + rem / den, 0 <= rem < den.
struct NcoTriple {
  std::int32_t i;
  std::uint32_t rem;
  std::uint32_t den;
};

// Reduces num/den by their greatest common divisor; returns it (1 for a zero numerator, 0 for
// a zero denominator, which is left alone).
std::int64_t ssimp(std::int64_t& num, std::int64_t& den);
// Reduces and splits num/den into a triple; prints the SIMP error line and returns false when a
// part does not fit 32 bits (or den is 0). tagA and tagB name the caller in that line.
bool simp(std::int64_t num, std::int64_t den, NcoTriple& out, int tagA = 0, int tagB = 0);

// Exact NCO rate of base + a/b*c + d/e*f + g/h*i Hz: folded into [-m/2, m/2) first when `wrap`
// (m = afrq_Hz / divisor), then rate = f * (multiplier << shift) / (1e6 * clkDiv). `frqKHz`,
// when given, receives the (folded) frequency in kHz. Returns the number of whole m removed
// (the frequency before folding = folded + wraps * m); ok is false when a triple did not fit.
struct CodesCalcArgs {
  std::int64_t base;
  std::int64_t a, b, c;
  std::int64_t d, e, f;
  std::int64_t g, h, i;
  bool wrap;
  int divisor;
  std::int64_t multiplier;
  int shift;
  std::int64_t clkDiv;
  int tagA, tagB;
};
int codesCalc(const CodesCalcArgs& args, NcoTriple& rate, NcoTriple* frqKHz, bool& ok);

// ---- per band results

inline constexpr int kFreqEntries = kFrqIdxNum - 2 + 2 * kGloLetters;  // 42: every letter fits

struct FreqEntry {
  std::int8_t frqIdx;
  std::int8_t letter;      // -7..+7 on GLONASS FDMA bands, else 0
  std::int8_t path;        // RF path 0..4
  std::int8_t filtBand;    // 0..7
  std::int64_t loHz;       // the path's local oscillator
  std::int32_t wraps;      // whole sample rates folded out of the intermediate frequency
  NcoTriple carr;          // carrier NCO rate, NCO units per sample (2^32 a cycle)
  NcoTriple code;          // code NCO rate, likewise (2^32 a chip)
  NcoTriple ifKHz;         // intermediate frequency, kHz
};
extern FreqEntry freqEntries[kFreqEntries];
// First entry of a frequency index and its number of entries.
int freqEntryFirst(int index);
int freqEntryCount(int index);
// Local oscillator of an RF path, Hz (path 0 from l1CentFrq).
std::int64_t freqPathLo(int path);

// Common denominator of all carrier fractions, the working denominator and the
// phase-discriminator shift.
extern std::int64_t commonDen;
extern std::int64_t workDen;
extern int phDiscrShift;

// ---- filters

inline constexpr int kFiltNum = 4;
struct FiltType {
  int decimation;
  int bandwidthKHz;
};
extern const FiltType Filt[kFiltNum + 1];  // [0] is "none"
extern const std::uint8_t filtBandsDef[kFiltBands];
// Filter band of a frequency index.
int frqFiltBand(int index);
// Decimation of the filter selected for a filter band (1 when none).
int filtDecimation(int filtBand);
// When the band's filter selection is 0, or force, set it to the band's default filter.
void setFiltBandDef(int band, bool force);

// ---- spectrum channels planned here

// (the table itself: differential/lband/spectrum_channels.h)
inline constexpr int kWideSpecChannels = 4;

// ---- the steps

// Clock constants from the settings; true when msecLoopMode is 1 or more. A stored divider of 0
// is refused: the last good dividers (60/1 at first) stay.
bool chanParamInitOnXXce0();
// NCO scale constants and channel-memory layout.
void chanParamInitFS();
// Per-band parameters of one frequency index, or of all with -1.
void chanParamInitOnXce(int index);
// The whole plan, in order (start-up and a change of the clock settings).
void chanInitOnce();

// Prints "Wrong %d PLL data %d.\n" and halts start-up for good.
void fatalErrInitOnce(int a, int b);
