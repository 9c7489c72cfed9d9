#include "gnss_link/freq_plan.h"
#include "gnss_link/peripherals/spectrum.h"

#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"

static_assert(sizeof(ClockSettings) <= sizeof(RCV_SETTINGS::clockArea), "clock settings exceed their area");

// ---- tables

const std::int64_t frqIdx[kFrqIdxNum] = {1602000000, 1575420000, 1561098000, 1278750000, 1268520000,
                                         1246000000, 1227600000, 1207140000, 1202025000, 1191795000,
                                         1191795000, 1176450000, 1589742000, 2492028000};
const char* const ffNamesB[kFrqIdxNum] = {"glo1", "gps1", "bei1", "gal6", "bei3", "glo2", "gps2",
                                          "gal5b", "glo3", "gal5", "gal5", "gps5", "bei12", "ind1"};
const int ffNameIds[kFrqIdxNum] = {3, 0, 8, 9, 10, 4, 1, 6, 5, 7, 7, 2, 11, 12};

const FiltType Filt[kFiltNum + 1] = {{1, 0}, {1, 0}, {2, 20000}, {4, 10000}, {8, 4000}};
const std::uint8_t filtBandsDef[kFiltBands] = {2, 3, 3, 2, 2, 3, 2, 1};

namespace {

struct BandPlan {
  std::int8_t path;
  std::int8_t filtBand;
  std::int64_t chipRate;  // Hz
};
// Per frequency index: RF path, filter band, chip rate of the main code.
constexpr BandPlan kBands[kFrqIdxNum] = {
    {0, 0, 511000},   {0, 1, 1023000},  {0, 2, 2046000},  {3, 3, 5115000},  {3, 3, 10230000},
    {1, 4, 511000},   {1, 5, 1023000},  {2, 6, 10230000}, {2, 6, 10230000}, {2, 7, 10230000},
    {2, 7, 10230000}, {2, 7, 10230000}, {0, 1, 2046000},  {4, 7, 1023000},
};
// Local oscillators of paths 1..4 (path 0 follows l1CentFrq).
constexpr std::int64_t kPathLo[5] = {1580000000, 1237000000, 1191795000, 1273635000, 2492028000};

constexpr int kGlo1 = 0, kGlo2 = 5;

constexpr bool hasLetters(int index) { return index == kGlo1 || index == kGlo2; }

constexpr int entryFirst(int index) {
  int n = 0;
  for (int i = 0; i < index; ++i) n += hasLetters(i) ? kGloLetters : 1;
  return n;
}
static_assert(entryFirst(kFrqIdxNum) == kFreqEntries, "the letter table holds every letter");

[[noreturn]] void haltForGood() {
  for (;;) ::sleep(3600);
}

// Last good dividers.
int g_vco = 60;
int g_ref = 1;

bool dividersValid(long long vco, long long ref) {
  if (vco <= 0 || ref <= 0) return false;
  const double hz = static_cast<double>(vco) / static_cast<double>(ref) * 1e6;
  return hz >= 1e6 && hz <= 5e8;
}

using i128 = __int128;

using u128 = unsigned __int128;

u128 mag128(i128 x) { return x < 0 ? u128{0} - static_cast<u128>(x) : static_cast<u128>(x); }

i128 gcd128(i128 x, i128 y) {
  u128 a = mag128(x), b = mag128(y);
  if (a == 0) return 1;
  while (b != 0) {
    u128 t = a % b;
    a = b;
    b = t;
  }
  // Only the magnitude 2^127 itself does not fit back.
  return a > static_cast<u128>(INT64_MAX) * static_cast<u128>(INT64_MAX) ? 1 : static_cast<i128>(a);
}

// num/den (den > 0) reduced in place.
void reduce128(i128& num, i128& den) {
  i128 g = gcd128(num, den);
  if (g > 1) {
    num /= g;
    den /= g;
  }
}

bool fits64(i128 x) { return x >= INT64_MIN && x <= INT64_MAX; }

// a * b * c; true when it overflowed.
bool mul3(std::int64_t a, std::int64_t b, std::int64_t c, i128& out) {
  i128 ab = 0;
  return __builtin_mul_overflow(static_cast<i128>(a), static_cast<i128>(b), &ab) ||
         __builtin_mul_overflow(ab, static_cast<i128>(c), &out);
}

void printSimpError(int tagA, int tagB, std::int64_t num, std::int64_t den, std::int64_t g, std::int64_t ip,
                    std::int64_t rem) {
  auto hi = [](std::int64_t v) { return static_cast<int>(static_cast<std::uint64_t>(v) >> 32); };
  auto lo = [](std::int64_t v) { return static_cast<unsigned>(static_cast<std::uint64_t>(v) & 0xFFFFFFFFu); };
  std::printf(" ERROR SIMP. NUMBER > 32 BITS %d  %d      %d %u       %d %u      %d %u      %d %u      %d %u    \n",
              tagA, tagB, hi(num), lo(num), hi(den), lo(den), hi(g), lo(g), hi(ip), lo(ip), hi(rem), lo(rem));
}

// Reduced 128-bit fraction to a triple through simp.
bool split128(i128 num, i128 den, NcoTriple& out, int tagA, int tagB) {
  if (den < 0 && (__builtin_mul_overflow(num, -1, &num) || __builtin_mul_overflow(den, -1, &den))) den = 0;
  reduce128(num, den);
  if (den == 0 || !fits64(num) || !fits64(den)) {
    printSimpError(tagA, tagB, static_cast<std::int64_t>(num), static_cast<std::int64_t>(den), 1, 0, 0);
    return false;
  }
  return simp(static_cast<std::int64_t>(num), static_cast<std::int64_t>(den), out, tagA, tagB);
}

}  // namespace

// ---- clock settings

ClockSettings& clockSettings() { return *reinterpret_cast<ClockSettings*>(RcvSet.clockArea); }

void clockSettingsDefaults() {
  ClockSettings& c = clockSettings();
  std::memset(&c, 0, sizeof c);
  c.magic = kClockSettingsMagic;
  c.vcoDiv_FSX = 60;
  c.refDiv_FS = 1;
  c.l1CentFrq = 1580.0f;
  c.msecLoopMode = 1;
  c.msecLoopModeP = 1;
  for (int b = 0; b < kFiltBands; ++b) setFiltBandDef(b, true);
}

bool clockSettingsAfterLoad() {
  if (clockSettings().magic == kClockSettingsMagic) return false;
  clockSettingsDefaults();
  return true;
}

std::int64_t frqLetterStep(int index) {
  if (index == kGlo1) return 562500;
  if (index == kGlo2) return 437500;
  return 0;
}

// ---- derived constants, with their start values

double afrq_HzD = 60000000.0;
int afrq_Hz = 60000000;
int CyclesInTickPow = 15;
double subTicksToTicks = 1.0 / 32768;
int ppsPow = 16;
double Tdiscr = 500.0 / 60;
int TICK1E9 = 32768, TICK1E9m = 32768;
int TICK1E9D = 60000, TICK1E9Dm = 60000;
double TICK = 32768.0 / 60000000.0;
double TICKMS = 32768.0 / 60000.0;
double __TICKMS = 60000.0 / 32768.0;
double __TICK1E9Dm100 = 1.0 / 60000.0;
int TICKuS = 546;
int msecMode = 1, msecModeP = 1;
int loopsPer4 = 4, loopsPer = 5, loopsPer4P = 4, loopsPerP = 5;
int iDDdd = 3;
double loopsModd = 5.0 / (32768.0 / 60000.0);
int loopsMod = 9;
int dtLim = 13;
int loopsModP = 9;
int _1000_div_loopsPer = 200;
int _1000_div_loopsPerP = 200;
int _1000_div_loopsPer_div_SUM_NUM = 20;
int LogicChan::waitInLoop5Ms = 500 / 5;
int LogicChan::msInt = 1000;
int LogicChanP::wait12InLoop5Ms = 500 / 5;

double CNCO_FRQ_CONVX = 4294.967296 / 60, CD_RATE_CONVX = 4294.967296 / 60;
double CNCO_FRQ_KX = 256 * 4294.967296 / 60, CD_RATE_KX = 256 * 4294.967296 / 60;
int SEARCH_SCX = 18325;
int OnePhCyclePowX = 17, OneCdCyclePowX = 17;
int NcoPhDiffPowX = 1, NcoCdDiffPowX = 1;
int ths[8] = {2100, 2100, 2100, 2100, 2100, 2100, 2100, 2100};
int ths00 = 2100;

int MEM_BEG = 0, MEM_END = 287, TOT_MEM = 288;
int CAP_BEG = 288, CAP_END = 863, TOT_CAP = 576;
int PLC_BEG = 1, PLC_END = 0, TOT_PLC = 0;
int chanTypeFirst[3] = {288, 0, 864};
int chanTypeLast[3] = {863, 287, 873};

FreqEntry freqEntries[kFreqEntries];
std::int64_t commonDen = 1;
std::int64_t workDen = 1;
int phDiscrShift = 0;


// ---- fractions

std::int64_t ssimp(std::int64_t& num, std::int64_t& den) {
  if (den == 0) return 0;
  i128 n = num, d = den;
  i128 g = gcd128(n, d);
  num = static_cast<std::int64_t>(n / g);
  den = static_cast<std::int64_t>(d / g);
  return static_cast<std::int64_t>(g);
}

bool simp(std::int64_t num, std::int64_t den, NcoTriple& out, int tagA, int tagB) {
  if (den == 0) {
    printSimpError(tagA, tagB, num, den, 0, 0, 0);
    return false;
  }
  if (den < 0) {
    if (num == INT64_MIN || den == INT64_MIN) {
      printSimpError(tagA, tagB, num, den, 0, 0, 0);
      return false;
    }
    num = -num;
    den = -den;
  }
  const std::int64_t g = ssimp(num, den);
  // Floor division: the remainder is never negative.
  std::int64_t ip = num / den;
  std::int64_t rem = num % den;
  if (rem < 0) {
    rem += den;
    ip -= 1;
  }
  if (ip < INT32_MIN || ip > INT32_MAX || rem > UINT32_MAX || den > UINT32_MAX) {
    printSimpError(tagA, tagB, num, den, g, ip, rem);
    return false;
  }
  out.i = static_cast<std::int32_t>(ip);
  out.rem = static_cast<std::uint32_t>(rem);
  out.den = static_cast<std::uint32_t>(den);
  return true;
}

int codesCalc(const CodesCalcArgs& x, NcoTriple& rate, NcoTriple* frqKHz, bool& ok) {
  ok = false;
  if (x.b == 0 || x.e == 0 || x.h == 0 || x.clkDiv == 0 || x.divisor <= 0 || x.shift < 0 || x.shift > 40) {
    return 0;
  }
  std::int64_t base = x.base;
  int wraps = 0;
  if (x.wrap) {
    const std::int64_t m = afrq_Hz / x.divisor;
    if (m <= 0) return 0;
    const double sum = static_cast<double>(x.base) + static_cast<double>(x.a) / static_cast<double>(x.b) * x.c +
                       static_cast<double>(x.d) / static_cast<double>(x.e) * x.f +
                       static_cast<double>(x.g) / static_cast<double>(x.h) * x.i;
    const double w = std::floor((sum + m / 2.0) / static_cast<double>(m));
    if (!(w > -1e9 && w < 1e9)) return 0;
    wraps = static_cast<int>(w);
    if (__builtin_sub_overflow(base, static_cast<std::int64_t>(wraps) * m, &base)) return 0;
  }
  // (a c e + d f b) / (b e), then + g i / h, then + base: exact, every step checked.
  i128 t1 = 0, t2 = 0, num = 0, den = 0, rnum = 0, rden = 0;
  bool over = mul3(x.a, x.c, x.e, t1) || mul3(x.d, x.f, x.b, t2) || __builtin_add_overflow(t1, t2, &num) ||
              __builtin_mul_overflow(static_cast<i128>(x.b), static_cast<i128>(x.e), &den);
  if (!over) {
    if (den < 0) over = __builtin_mul_overflow(num, -1, &num) || __builtin_mul_overflow(den, -1, &den);
    reduce128(num, den);
    const i128 hden = x.h < 0 ? -static_cast<i128>(x.h) : static_cast<i128>(x.h);
    i128 gi = 0, a1 = 0, a2 = 0, bd = 0;
    over = over || mul3(x.g, x.i, x.h < 0 ? -1 : 1, gi) || __builtin_mul_overflow(num, hden, &a1) ||
           __builtin_mul_overflow(gi, den, &a2) || __builtin_add_overflow(a1, a2, &num) ||
           __builtin_mul_overflow(den, hden, &den);
    if (!over) {
      reduce128(num, den);
      over = __builtin_mul_overflow(static_cast<i128>(base), den, &bd) || __builtin_add_overflow(num, bd, &num) ||
             __builtin_mul_overflow(num, static_cast<i128>(x.multiplier) << x.shift, &rnum) ||
             mul3(1000000, 1, x.clkDiv, rden) || __builtin_mul_overflow(rden, den, &rden);
    }
  }
  if (over) {
    printSimpError(x.tagA, x.tagB, x.base, x.b, 0, 0, 0);
    return wraps;
  }
  ok = split128(rnum, rden, rate, x.tagA, x.tagB);
  if (frqKHz) {
    NcoTriple f{};
    i128 kden = 0;
    if (__builtin_mul_overflow(den, 1000, &kden) || !split128(num, kden, f, x.tagA, x.tagB)) {
      ok = false;
    } else if (static_cast<std::uint64_t>(f.rem) * f.den > UINT32_MAX) {
      std::printf("per error\n");
      ok = false;
    } else {
      *frqKHz = f;
    }
  }
  return wraps;
}

// ---- filters

int frqFiltBand(int index) { return index >= 0 && index < kFrqIdxNum ? kBands[index].filtBand : 0; }

int filtDecimation(int filtBand) {
  if (filtBand < 0 || filtBand >= kFiltBands) return 1;
  const int f = clockSettings().filtBand[filtBand];
  return f >= 1 && f <= kFiltNum ? Filt[f].decimation : 1;
}

void setFiltBandDef(int band, bool force) {
  if (band < 0 || band >= kFiltBands) return;
  std::uint8_t& sel = clockSettings().filtBand[band];
  if (sel == 0 || sel > kFiltNum || force) sel = filtBandsDef[band];
}

// ---- entries

int freqEntryFirst(int index) { return index >= 0 && index <= kFrqIdxNum ? entryFirst(index) : -1; }
int freqEntryCount(int index) {
  if (index < 0 || index >= kFrqIdxNum) return 0;
  return hasLetters(index) ? kGloLetters : 1;
}

std::int64_t freqPathLo(int path) {
  if (path < 0 || path > 4) return 0;
  if (path == 0) {
    // A damaged value must not move the path off the upper L band.
    const double mhz = clockSettings().l1CentFrq;
    if (!(mhz >= 1500.0 && mhz <= 1700.0)) return kPathLo[0];
    return std::llround(mhz * 1e6);
  }
  return kPathLo[path];
}

// ---- steps

bool chanParamInitOnXXce0() {
  const ClockSettings& c = clockSettings();
  if (dividersValid(c.vcoDiv_FSX, c.refDiv_FS)) {
    g_vco = c.vcoDiv_FSX;
    g_ref = c.refDiv_FS;
  } else {
    std::printf("Wrong clock dividers %d/%d: %d/%d kept\n", static_cast<int>(c.vcoDiv_FSX),
                static_cast<int>(c.refDiv_FS), g_vco, g_ref);
  }
  const int vco = g_vco, ref = g_ref;
  afrq_HzD = static_cast<double>(vco) / ref * 1000000.0;
  afrq_Hz = static_cast<int>(std::lround(afrq_HzD));
  int n = 1;
  while ((1LL << n) < afrq_Hz / 2000) ++n;
  CyclesInTickPow = n;
  subTicksToTicks = 1.0 / static_cast<double>(1LL << n);
  ppsPow = n + 1;
  Tdiscr = 500.0 / vco * ref;
  TICK1E9 = TICK1E9m = ref << n;
  TICK1E9D = TICK1E9Dm = 1000 * vco;
  TICKMS = static_cast<double>(TICK1E9) / TICK1E9D;
  TICK = TICKMS / 1000.0;
  __TICKMS = 1.0 / TICKMS;
  __TICK1E9Dm100 = 1.0 / (1000.0 * vco);
  TICKuS = static_cast<int>(static_cast<long long>(TICK1E9) * 1000 / TICK1E9D);

  msecMode = c.msecLoopMode >= 1 ? 1 : 0;
  msecModeP = c.msecLoopModeP >= 1 ? 1 : 0;
  if (c.msecLoopMode != 2) {
    loopsPer4 = 4;
    loopsPer = 5;
  } else {
    loopsPer4 = loopsPer = 1;
  }
  if (c.msecLoopModeP != 2) {
    loopsPer4P = 4;
    loopsPerP = 5;
  } else {
    loopsPer4P = loopsPerP = 1;
  }
  iDDdd = loopsPer / 2 + (loopsPer == 1 ? 0 : 1);
  loopsModd = loopsPer / TICKMS;
  loopsMod = static_cast<int>(std::lround(loopsModd));
  dtLim = static_cast<int>(loopsModd * 1.5);
  loopsModP = static_cast<int>(std::lround((c.msecLoopModeP == 2 ? 1 : 5) / TICKMS));
  _1000_div_loopsPer = 1000 / loopsPer;
  _1000_div_loopsPerP = c.msecLoopModeP == 2 ? 1000 : 200;
  _1000_div_loopsPer_div_SUM_NUM = c.msecLoopModeP == 2 ? 100 : 20;
  return c.msecLoopMode >= 1;
}

void chanParamInitFS() {
  const int n = CyclesInTickPow;
  CNCO_FRQ_CONVX = CD_RATE_CONVX = 4294.967296 / g_vco * g_ref;
  CNCO_FRQ_KX = CD_RATE_KX = 256 * CNCO_FRQ_CONVX;
  SEARCH_SCX = static_cast<int>(CNCO_FRQ_KX);
  OnePhCyclePowX = OneCdCyclePowX = 32 - n;
  NcoPhDiffPowX = NcoCdDiffPowX = 16 - n;
  for (int& t : ths) t = static_cast<int>(1400 * afrq_HzD * 0.000000025);
  ths00 = ths[0];
  MEM_BEG = 0;
  MEM_END = 287;
  TOT_MEM = 288;
  CAP_BEG = 288;
  CAP_END = 863;
  TOT_CAP = 576;
  PLC_BEG = 1;
  PLC_END = 0;
  TOT_PLC = 0;
  chanTypeFirst[0] = CAP_BEG;
  chanTypeLast[0] = CAP_END;
  chanTypeFirst[1] = MEM_BEG;
  chanTypeLast[1] = MEM_END;
  chanTypeFirst[2] = 864;
  chanTypeLast[2] = 873;
}

namespace {

// Carrier and code rates of one entry; false when one is not representable.
bool computeEntry(int index, int letter, FreqEntry& e) {
  const BandPlan& p = kBands[index];
  e.frqIdx = static_cast<std::int8_t>(index);
  e.letter = static_cast<std::int8_t>(letter);
  e.path = p.path;
  e.filtBand = p.filtBand;
  e.loHz = freqPathLo(p.path);
  CodesCalcArgs carr{};
  carr.base = frqIdx[index];
  carr.a = letter;
  carr.b = 1;
  carr.c = frqLetterStep(index);
  carr.d = -e.loHz;
  carr.e = 1;
  carr.f = 1;
  carr.g = 0;
  carr.h = 1;
  carr.i = 0;
  carr.wrap = true;
  carr.divisor = 1;
  carr.multiplier = g_ref;
  carr.shift = 32;
  carr.clkDiv = g_vco;
  carr.tagA = index;
  carr.tagB = letter;
  bool ok = false;
  e.wraps = codesCalc(carr, e.carr, &e.ifKHz, ok);
  if (!ok) {
    fatalErrInitOnce(0, index);
    return false;
  }
  CodesCalcArgs code = carr;
  code.base = p.chipRate;
  code.a = 0;
  code.d = 0;
  code.wrap = false;
  codesCalc(code, e.code, nullptr, ok);
  if (!ok) {
    fatalErrInitOnce(1, index);
    return false;
  }
  return true;
}

void planCommonDen() {
  i128 l = 1;
  std::uint32_t maxDen = 1;
  for (const FreqEntry& e : freqEntries) {
    if (e.carr.den == 0) continue;
    l = l / gcd128(l, e.carr.den) * e.carr.den;
    if (l > INT64_MAX) break;
    if (e.carr.den > maxDen) maxDen = e.carr.den;
  }
  if (l > INT32_MAX) {
    std::printf("commonDen > 32 bits %d %u\n", static_cast<int>(static_cast<std::uint64_t>(l) >> 32),
                static_cast<unsigned>(static_cast<std::uint64_t>(l) & 0xFFFFFFFFu));
    fatalErrInitOnce(3, 0);
    return;
  }
  commonDen = static_cast<std::int64_t>(l);
  const std::int64_t k = 268435456 / commonDen;
  workDen = commonDen * (k > 1 ? k : 1);
  int lg = 0;
  while ((std::uint64_t{1} << (lg + 1)) <= maxDen) ++lg;
  phDiscrShift = lg - 16;
}

void planSpectrum() {
  for (int c = 0; c < kWideSpecChannels; ++c) {
    specBand[c] = c;
    spFrqZero[c] = (static_cast<double>(freqPathLo(c)) - afrq_HzD / 2) * 1e-6;
  }
  omniStarSpecChan = kWideSpecChannels;
  omniStarSpecBand = 18;
  // the spectrum channels' points and steps follow the plan
  spReComputeParams(-1);
}

}  // namespace

void chanParamInitOnXce(int index) {
  if (index < -1 || index >= kFrqIdxNum) return;
  const int from = index < 0 ? 0 : index, to = index < 0 ? kFrqIdxNum : index + 1;
  for (int x = from; x < to; ++x) {
    const int fb = kBands[x].filtBand;
    const std::uint8_t sel = clockSettings().filtBand[fb];
    if (sel == 0 || sel > kFiltNum) {
      std::printf("Error: Filter for freqIdx=%d not selected! Set to default.\n", x);
      setFiltBandDef(fb, true);
    }
    const int first = entryFirst(x);
    for (int k = 0; k < freqEntryCount(x); ++k) {
      const int letter = hasLetters(x) ? k - 7 : 0;
      if (!computeEntry(x, letter, freqEntries[first + k])) return;
    }
  }
  planCommonDen();
  planSpectrum();
}

void chanInitOnce() {
  chanParamInitOnXXce0();
  chanParamInitFS();
  chanParamInitOnXce(-1);
}

void fatalErrInitOnce(int a, int b) {
  std::printf("Wrong %d PLL data %d.\n", a, b);
  std::fflush(stdout);
  haltForGood();
}

