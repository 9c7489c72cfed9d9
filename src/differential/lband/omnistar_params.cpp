#include "differential/lband/omnistar_params.h"

#include <atomic>
#include <cmath>

#include "differential/lband/ts_decoder.h"
#include "settings/rcv_settings.h"

int specBand[kSpecChannels];
double spFrqZero[kSpecChannels];
int omniStarSpecChan = 0;
int omniStarSpecBand = 0;

OmniCfgType strOmniCfg;
int omniStarFs = 0;
double omniStarOscFrq = 0;
double omniStarSmplFrq = 0;
double omniStarKCodeNco = 0;
int omniStarFrqCur[kOmniPositions];
int omniStarDecChanCur = 0;
int omniStarChanEn[kOmniPositions];
int omniStarPllFrq = 0;
std::uint8_t omniStarFrqChanged = 0;
const std::uint32_t omniStarScramVec[kOmniServiceEntries] = {};
const std::uint16_t omniStarServiceId[kOmniServiceEntries] = {};

LbandLinks lbandLinks;

namespace {
constexpr int kSampleDivider = 128;
constexpr double kOsc10 = 10000000.0;
constexpr double kOsc20 = 20000000.0;
// Samples per bit: sample rate x 8064 / (rate x 16384).
constexpr double kSmplNum = 8064.0;
constexpr std::int64_t kSmplDen = 16384;
// Settings of "cpu/num" under which the L-band mode moves the processor count: "4" and "auto".
constexpr int kCpuFour = 4;
constexpr int kCpuAuto = 5;

std::atomic<int> g_mode{-1};  // -1 until the first lbandSetMode

// The spectrum channel of L-band channel k (0..3); -1 when the table has no room for it.
int specChannel(int k) {
  const int c = omniStarSpecChan + k;
  return c >= 0 && c < kSpecChannels ? c : -1;
}
}  // namespace

void omniStarInitOnXce() {
  omniStarSpecChan = 0;
  omniStarSpecBand = 0;
  omniStarFs = kSampleDivider;
  omniStarOscFrq = lbandLinks.isOsc10Mhz() ? kOsc10 : kOsc20;
  omniStarSmplFrq = omniStarOscFrq / omniStarFs;
  omniStarKCodeNco = 4294967296.0 / omniStarSmplFrq;
}

void omniStarInitParams() {
  for (int i = 0; i < kOmniPositions; ++i) {
    if (const int c = specChannel(i); c >= 0) {
      specBand[c] = omniStarSpecBand + i;
      spFrqZero[c] = 0.0;
    }
    omniStarChanEn[i] = 0;
    omniStarFrqCur[i] = -1;
  }
  if (const int c = specChannel(3); c >= 0) {
    specBand[c] = omniStarSpecBand + 7;
    spFrqZero[c] = 0.0;
  }
  omniStarDecChanCur = -1;
  omniStarFrqChanged = 0;
}

double omniStarGetSmpl(int rate) {
  // The product in 64 bits: the rate comes from the board, and 131072 bit/s x 16384 no longer
  // fits 32; a rate of 0 or less has no samples per bit.
  if (rate <= 0) return 0.0;
  return omniStarSmplFrq * kSmplNum / static_cast<double>(static_cast<std::int64_t>(rate) * kSmplDen);
}

int omniStarGetSkipSmpl(double samples) {
  const double tenth = samples / 10.0;
  if (!(tenth >= 1.0)) return 1;
  return tenth >= 2147483647.0 ? 2147483647 : static_cast<int>(tenth);
}

void omniStarSpecInit(int n) {
  const double half = omniStarSmplFrq * 5e-7;
  for (int i = 0; i < n && i < kOmniPositions; ++i) {
    // A position without a rate has no narrow channel (its channel stays off).
    if (strOmniCfg.rate[i] <= 0) continue;
    const int skip = omniStarGetSkipSmpl(omniStarGetSmpl(strOmniCfg.rate[i]));
    if (const int c = specChannel(i); c >= 0) spFrqZero[c] = strOmniCfg.frequency[i] * 1e-6 - half / skip;
  }
  if (omniStarPllFrq != 0) {
    if (const int c = specChannel(3); c >= 0) spFrqZero[c] = omniStarPllFrq * 1e-6 - half;
  }
  for (int k = 0; k < 4; ++k) {
    if (const int c = specChannel(k); c >= 0) lbandLinks.spReComputeParams(c);
  }
}

void omniStarComputeParams() {
  OmniCfgType& cfg = strOmniCfg;
  for (int i = 0; i < kOmniPositions; ++i) {
    cfg.frequency[i] = 0;
    cfg.rate[i] = 0;
    cfg.serviceWord[i] = 0;
    cfg.serviceId[i] = 0;
    TSBeam b{};
    if (!TSDecoder.getOrderedBeamInfo(i, true, &b)) continue;
    cfg.frequency[i] = b.frequency;
    cfg.rate[i] = b.rate;
    cfg.serviceWord[i] = omniStarScramVec[i];
    cfg.serviceId[i] = omniStarServiceId[i];
  }
  bool frqChanged = false;
  for (int i = 0; i < kOmniPositions; ++i) {
    if (cfg.frequency[i] == omniStarFrqCur[i]) continue;
    frqChanged = true;
    omniStarFrqCur[i] = cfg.frequency[i];
  }
  // The board's channel indexes the three positions: one outside them, or one on an empty
  // position (which would fit the PLL around frequency 0), is taken as position 0.
  int c = cfg.decoderChannel;
  if (c < 0 || c >= kOmniPositions || cfg.frequency[c] == 0) c = 0;
  const bool chanChanged = c != omniStarDecChanCur;
  if (chanChanged) omniStarDecChanCur = c;

  if (!frqChanged && !(chanChanged && omniStarChanEn[c] == 0)) {
    if (cfg.frequency[0] == 0)
      for (int& en : omniStarChanEn) en = 0;
    omniStarFrqChanged = 0;
    return;
  }
  omniStarFrqChanged = 1;
  for (int& en : omniStarChanEn) en = 0;
  int n = 0;
  if (cfg.frequency[0] == 0) {
    omniStarPllFrq = 0;
  } else {
    double lo = 0, hi = 0;
    for (n = kOmniPositions; n > 1; --n) {
      lo = cfg.frequency[c];
      hi = 0.0;
      for (int k = 0; k < n; ++k) {
        const double f = cfg.frequency[(c + k) % kOmniPositions];
        if (f < lo) lo = f;
        if (f > hi) hi = f;
      }
      if (hi + kOmniPllStepHz - lo < omniStarSmplFrq) break;
    }
    if (n == 1) lo = hi = cfg.frequency[c];
    // The PLL keeps clear of every fitted beam: moved up in steps until none lies within a step.
    double centre = (lo + hi) * 0.5;
    for (bool moved = true; moved;) {
      moved = false;
      for (int k = 0; k < n; ++k) {
        if (std::fabs(centre - cfg.frequency[(c + k) % kOmniPositions]) < kOmniPllStepHz) {
          centre += kOmniPllStepHz;
          moved = true;
        }
      }
    }
    if (centre < 2147483647.0) {
      for (int k = 0; k < n; ++k) omniStarChanEn[(c + k) % kOmniPositions] = 2;
      omniStarPllFrq = static_cast<int>(centre);
    } else {
      // Beams so high that the PLL would leave the 32-bit frequency: no PLL, as without a beam.
      omniStarPllFrq = 0;
      n = 0;
    }
  }
  for (int k = 0; k < 4; ++k) {
    if (const int ch = specChannel(k); ch >= 0) spFrqZero[ch] = 0.0;
  }
  omniStarSpecInit(n);
  omniStarFrqChanged = 0;
}

int lbandSetMode(bool on) {
  int expected = -1;
  g_mode.compare_exchange_strong(expected, RcvSet.lbandMode != 0 ? 1 : 0);
  const bool mode = g_mode.load() != 0;
  if (on != mode && (RcvSet.cpuNum == kCpuFour || RcvSet.cpuNum == kCpuAuto)) {
    const int cpus = lbandLinks.getCpuNum();
    if (on && cpus == 4) lbandLinks.setCpuNum(3);
    if (!on && cpus == 3) lbandLinks.setCpuNum(4);
  }
  g_mode.store(on ? 1 : 0);
  return 0;
}
