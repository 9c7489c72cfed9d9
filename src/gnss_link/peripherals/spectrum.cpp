#include "gnss_link/peripherals/spectrum.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "differential/lband/omnistar_params.h"
#include "gnss_link/freq_plan.h"
#include "gnss_link/placeholders.h"
#include "platform/nv_block.h"
#include "platform/rtos.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"

static_assert(sizeof(SpectrumSettings) <= sizeof(RCV_SETTINGS::spectrumArea), "spectrum settings exceed their area");
static_assert(offsetof(RCV_SETTINGS, spectrumArea) % alignof(SpectrumSettings) == 0);
static_assert(kSpChannels <= kSpecChannels);

int spectrumPoints[kSpChannels];
double spectrumStep[kSpChannels];
double spectrum_a[kSpChannels];
int useInMaster = 0;
std::int32_t spCalib[kSpCalibSlots];
std::int32_t spCalibExt[kSpCalibSlots];
int spState = 1;
int spOutSel = 0;
unsigned long spPlansMade = 0;

namespace {

constexpr const char* kOutWords = "off:n:no,on:y:yes,always";
constexpr const char* kLogPoints = "s0,s1,chan,s3,s4,s5,s6,s7,s8,s9,filt,sb,ajm,sd,se,sf";
constexpr const char* kAverWords = "min,max,mean";
constexpr const char* kStateWords = "ready,idle,err,start,start,stop,calc,calc,ready";
constexpr int kStartState = 3;
constexpr std::int32_t kCalibLimit = 1000000000;
constexpr int kLbandChannels = 4;  // three service positions and the beacon channel

Mutex& spDoMutex() {
  static Mutex m;
  return m;
}
NvBlock g_nb;

// RF path of a GNSS channel: its first frequency index (filter and name come from it).
int firstIndexOnPath(int path) {
  for (int x = 0; x < kFrqIdxNum; ++x) {
    const int first = freqEntryFirst(x);
    if (first >= 0 && first < kFreqEntries && freqEntries[first].path == path) return x;
  }
  return -1;
}

// Channel name: GNSS channels join the band names of the frequency indices planned on their RF
// path ("glo1+gps1+bei1+bei12"); L-band channels are lband0..lband3 in plan order.
void chanName(int c, char* out, std::size_t n) {
  out[0] = 0;
  if (c < 0 || c >= spChanCount()) return;
  if (!spIsGnssChan(c)) {
    std::snprintf(out, n, "lband%d", c - omniStarSpecChan);
    return;
  }
  std::size_t len = 0;
  for (int x = 0; x < kFrqIdxNum; ++x) {
    const int first = freqEntryFirst(x);
    if (first < 0 || first >= kFreqEntries || freqEntries[first].path != c) continue;
    bool seen = false;
    for (int y = 0; y < x; ++y) seen = seen || std::strcmp(ffNamesB[y], ffNamesB[x]) == 0;
    if (seen) continue;
    const int w = std::snprintf(out + len, n - len, "%s%s", len ? "+" : "", ffNamesB[x]);
    if (w < 0 || static_cast<std::size_t>(w) >= n - len) break;
    len += static_cast<std::size_t>(w);
  }
}

bool inRange(std::int32_t v, std::int32_t lo, std::int32_t hi) { return v >= lo && v <= hi; }

bool settingsSound(const SpectrumSettings& s) {
  for (std::uint8_t o : s.out)
    if (o > 2) return false;
  return inRange(s.nOutSlave, 1, 1000) && inRange(s.coherAver, 1, 20) && inRange(s.nAver, 1, 100) &&
         inRange(s.nOut, 1, 1000) && inRange(s.frqStep, 1, 10000) && inRange(s.lbandFrqStep, 1, 10000) &&
         s.logPoint == kSpLogPointFilt && s.ant <= 3 && s.mAver <= kSpMean && s.resampl >= 1 && s.resampl <= 10;
}

// "3" of "out/3": the index, or -1 when the text is not a plain number.
int indexOf(const char* t) {
  if (!t || *t < '0' || *t > '9') return -1;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(t, &end, 10);
  if (errno || *end || v > 1000) return -1;
  return static_cast<int>(v);
}

// Path after "name/": null when p is not below name.
const char* below(const char* p, const char* name) {
  const std::size_t n = std::strlen(name);
  return std::strncmp(p, name, n) == 0 && p[n] == '/' ? p + n + 1 : nullptr;
}

// Recomputes when an integer setting really changed.
template <class T>
int setReplan(const ZRNamedNode* v, T& dst, long long lo, long long hi) {
  const T old = dst;
  const int rc = setInt(v, dst, lo, hi);
  if (rc == CMD_OK && dst != old) spReComputeParams(-1);
  return rc;
}

int setCalib(std::int32_t* set, const char* idx, const ZRNamedNode* v) {
  const int i = indexOf(idx);
  if (i < 0) return CMD_WRONG_1ST;
  if (i >= kSpCalibs) return CMD_OUT_OF_RANGE;
  std::int32_t x = set[i];
  if (int rc = setInt(v, x, -kCalibLimit, kCalibLimit)) return rc;
  set[i] = x;
  spNvStore();
  return CMD_OK;
}

int setAnt(const ZRNamedNode* v, std::uint8_t& dst) {
  if (!v || v->isEmpty()) return CMD_2ND_MISSED;
  if (!v->isText()) return CMD_WRONG_2ND;
  std::uint8_t m = 0;
  const char* t = v->text();
  if (!*t) return CMD_WRONG_2ND;
  for (; *t; ++t) {
    if (*t == 'a' || *t == 'A') m |= 1;
    else if (*t == 'b' || *t == 'B') m |= 2;
    else return CMD_WRONG_2ND;
  }
  dst = m;
  return CMD_OK;
}

// ---- print of the per-channel and per-band arrays

enum Kind { kOut, kName, kFrq0, kMean, kCurStep, kCurSize, kCalib, kCalibExt, kAgcMean, kAgcRms };

int count(Kind k) {
  switch (k) {
    case kCalib:
    case kCalibExt:
    case kAgcMean:
    case kAgcRms: return kSpCalibs;
    default: return spChanCount();
  }
}

int printOne(Kind k, int i, Reply& re) {
  switch (k) {
    case kOut: return reEnum(re, spectrumSettings().out[i], kOutWords);
    case kName: {
      char n[64];
      chanName(i, n, sizeof n);
      return reString(re, n);
    }
    case kFrq0: return reDouble(re, spFrqZero[i], 3);
    case kMean: {
      Locker<Mutex> l(spDoMutex());
      return reDouble(re, spectrum_a[i], 1);
    }
    case kCurStep: {
      Locker<Mutex> l(spDoMutex());
      return reDouble(re, spectrumStep[i], 1);
    }
    case kCurSize: {
      Locker<Mutex> l(spDoMutex());
      return reLong(re, spectrumPoints[i]);
    }
    case kCalib: return reLong(re, spCalib[i]);
    case kCalibExt: return reLong(re, spCalibExt[i]);
    case kAgcMean:
    case kAgcRms: {
      double mean = 0, rms = 0;
      if (!placeholder::spAgcLevels(i, mean, rms)) return CMD_NOT_AVAILABLE;
      return reDouble(re, k == kAgcMean ? mean : rms, 1);
    }
  }
  return CMD_WRONG_1ST;
}

template <Kind K>
int arrayPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < count(K); ++i) {
    char n[16];
    std::snprintf(n, sizeof n, "%d", i);
    if (strcmpA(p, n)) rc = printOne(K, i, re);
  }
  return rc;
}

int agcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "mean")) rc = reSub(arrayPrint<kAgcMean>, r, re);
  if (const char* r = strncmpA(p, "rms")) rc = reSub(arrayPrint<kAgcRms>, r, re);
  return rc;
}

int startMeasurement(Reply& re) {
  if (spState >= kStartState) return CMD_WRONG_1ST;
  spOutSel = -2;
  spState = kStartState;
  return reEnum(re, spState, kStateWords);
}

}  // namespace

SpectrumSettings& spectrumSettings() { return *reinterpret_cast<SpectrumSettings*>(RcvSet.spectrumArea); }

void spectrumSettingsDefaults() {
  SpectrumSettings& s = spectrumSettings();
  std::memset(&s, 0, sizeof s);
  s.magic = kSpectrumSettingsMagic;
  s.nOutSlave = 1;
  s.coherAver = 1;
  s.nAver = 10;
  s.nOut = 1;
  s.frqStep = 1000;
  s.lbandFrqStep = 100;
  s.logPoint = kSpLogPointFilt;
  s.ant = 1;
  s.mAver = kSpMax;
  s.resampl = 1;
}

bool spectrumSettingsAfterLoad() {
  const SpectrumSettings& s = spectrumSettings();
  if (s.magic == kSpectrumSettingsMagic && settingsSound(s)) return false;
  spectrumSettingsDefaults();
  return true;
}

void spSettingsLoaded() {
  if (spectrumSettingsAfterLoad()) nv_writeRcvSettings();
  spReComputeParams(-1);
}

SpPlan spPlan(double r, int k, int s, int mAver, int resampl) {
  if (!(r > 0) || k < 1 || s < 1 || resampl < 1) return {0, 0.0};
  double ss = s;
  if (mAver == kSpMean) ss *= resampl;
  // Truncated and saturating; below 1 it stays 1, which has a power of two and a finite step.
  const double q = std::floor(r / (ss * k));
  long m = q >= 2147483647.0 ? 2147483647L : static_cast<long>(q);
  if (m < 1) m = 1;
  long lo = 1;
  while (lo * 2 <= m) lo *= 2;
  const long hi = lo * 2;
  m = (m - lo <= hi - m) ? lo : hi;
  if (m > kSpMaxPoints) m = kSpMaxPoints;
  const double step = r / (static_cast<double>(m) * k);
  if (mAver == kSpMean) return {static_cast<int>(m), step};
  return {static_cast<int>((m - 1) / resampl + 1), step * resampl};
}

int spChanCount() {
  const int n = omniStarSpecChan > 0 ? omniStarSpecChan + kLbandChannels : kWideSpecChannels;
  return n < kSpChannels ? n : kSpChannels;
}

bool spIsGnssChan(int channel) { return channel < (omniStarSpecChan > 0 ? omniStarSpecChan : kWideSpecChannels); }

void spDo(int c) {
  if (c < 0 || c >= kSpChannels) return;
  ++spPlansMade;
  SpPlan p{0, 0.0};
  const SpectrumSettings& set = spectrumSettings();
  if (spFrqZero[c] != 0.0 && c < spChanCount()) {
    double r = 0;
    int k = 1, s = 0;
    if (spIsGnssChan(c)) {
      s = set.frqStep;
      r = afrq_HzD;
      const int x = firstIndexOnPath(c);
      if (x >= 0) k = filtDecimation(frqFiltBand(x));
    } else {
      s = set.lbandFrqStep;
      const int pos = c - omniStarSpecChan;
      r = omniStarSmplFrq;
      if (pos < kOmniPositions) k = omniStarGetSkipSmpl(omniStarGetSmpl(strOmniCfg.rate[pos]));
      if (k < 1) k = 1;
    }
    p = spPlan(r, k, s, set.mAver, set.resampl);
  }
  Locker<Mutex> l(spDoMutex());
  spectrumPoints[c] = p.points;
  spectrumStep[c] = p.step;
}

void spReComputeParams(int channel) {
  if (channel >= kSpChannels) return;
  if (channel >= 0) {
    spDo(channel);
    return;
  }
  for (int c = 0; c < kSpChannels; ++c) spDo(c);
}

// ---- settings-image block: calib at 0, calibext at 32, zeros from 64

void spectrum_nv_NvAlloc() {
  g_nb.allocate(kSpectrumNvSize, kSpectrumNvId);
  spNvInitOnce();
}

void spNvInitOnce() {
  std::int32_t* sets[2] = {spCalib, spCalibExt};
  for (int k = 0; k < 2; ++k) {
    if (!g_nb.read(sets[k], sizeof spCalib, k * sizeof spCalib)) std::memset(sets[k], 0, sizeof spCalib);
    // An entry outside the key's range was not written through it.
    for (int i = 0; i < kSpCalibSlots; ++i)
      if (!inRange(sets[k][i], -kCalibLimit, kCalibLimit) || i >= kSpCalibs) sets[k][i] = 0;
  }
}

bool spNvStore() {
  return g_nb.makeInvalid() && g_nb.write(spCalib, sizeof spCalib, 0) &&
         g_nb.write(spCalibExt, sizeof spCalibExt, sizeof spCalib) &&
         g_nb.fill(0, kSpectrumNvSize - 2 * sizeof spCalib, 2 * sizeof spCalib) && g_nb.makeValid();
}

// ---- handlers

int spectrumcSet(const char* p, const ZRNamedNode* v) {
  SpectrumSettings& s = spectrumSettings();
  if (const char* r = below(p, "out")) {
    const int i = indexOf(r);
    if (i < 0) return CMD_WRONG_1ST;
    if (i >= spChanCount()) return CMD_OUT_OF_RANGE;
    int x = 0;
    if (int rc = setEnum(v, x, kOutWords)) return rc;
    s.out[i] = static_cast<std::uint8_t>(x);
    return CMD_OK;
  }
  if (std::strcmp(p, "useInMaster") == 0) return setInt(v, useInMaster, 0, 1);
  if (std::strcmp(p, "n_out_slave") == 0) return setInt(v, s.nOutSlave, 1, 1000);
  if (std::strcmp(p, "log_point") == 0) {
    int x = 0;
    if (int rc = setEnum(v, x, kLogPoints)) return rc;
    if (x != kSpLogPointFilt) return CMD_OUT_OF_RANGE;
    s.logPoint = kSpLogPointFilt;
    return CMD_OK;
  }
  if (std::strcmp(p, "ant") == 0) return setAnt(v, s.ant);
  if (std::strcmp(p, "coher_aver") == 0) return setInt(v, s.coherAver, 1, 20);
  if (std::strcmp(p, "n_aver") == 0) return setReplan(v, s.nAver, 1, 100);
  if (std::strcmp(p, "n_out") == 0) return setInt(v, s.nOut, 1, 1000);
  if (std::strcmp(p, "m_aver") == 0) {
    int x = 0;
    if (int rc = setEnum(v, x, kAverWords)) return rc;
    if (x != s.mAver) {
      s.mAver = static_cast<std::uint8_t>(x);
      spReComputeParams(-1);
    }
    return CMD_OK;
  }
  if (std::strcmp(p, "frq_step") == 0) return setReplan(v, s.frqStep, 1, 10000);
  if (std::strcmp(p, "lband_frq_step") == 0) return setReplan(v, s.lbandFrqStep, 1, 10000);
  if (std::strcmp(p, "resampl") == 0) return setReplan(v, s.resampl, 1, 10);
  if (const char* r = below(p, "calib")) return setCalib(spCalib, r, v);
  if (const char* r = below(p, "calibext")) return setCalib(spCalibExt, r, v);
  return CMD_WRONG_1ST;
}

int spectrumcPrint(const char* p, Reply& re) {
  const SpectrumSettings& s = spectrumSettings();
  // A measurement starts only when named.
  if (!parListing() && std::strcmp(p, "sp") == 0) return startMeasurement(re);
  if (!parListing() && std::strcmp(p, "sp&agc") == 0) return startMeasurement(re);
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "state")) rc = reEnum(re, spState, kStateWords);
  if (const char* r = strncmpA(p, "out")) rc = reSub(arrayPrint<kOut>, r, re);
  if (strcmpA(p, "useInMaster")) rc = reLong(re, useInMaster);
  if (strcmpA(p, "n_out_slave")) rc = reLong(re, s.nOutSlave);
  if (strcmpA(p, "log_point")) rc = reEnum(re, s.logPoint, kLogPoints);
  if (strcmpA(p, "ant")) rc = reString(re, s.ant == 3 ? "ab" : (s.ant == 2 ? "b" : (s.ant == 1 ? "a" : "")));
  if (strcmpA(p, "coher_aver")) rc = reLong(re, s.coherAver);
  if (strcmpA(p, "n_aver")) rc = reLong(re, s.nAver);
  if (strcmpA(p, "n_out")) rc = reLong(re, s.nOut);
  if (strcmpA(p, "m_aver")) rc = reEnum(re, s.mAver, kAverWords);
  if (strcmpA(p, "frq_step")) rc = reLong(re, s.frqStep);
  if (strcmpA(p, "lband_frq_step")) rc = reLong(re, s.lbandFrqStep);
  if (strcmpA(p, "resampl")) rc = reLong(re, s.resampl);
  if (const char* r = strncmpA(p, "calib")) rc = reSub(arrayPrint<kCalib>, r, re);
  if (const char* r = strncmpA(p, "calibext")) rc = reSub(arrayPrint<kCalibExt>, r, re);
  // The per-channel readings print when named: the print of every setting has room for the
  // settings only (and the AGC levels are not kept here yet).
  if (!parListing()) {
    if (const char* r = strncmpA(p, "name")) rc = reSub(arrayPrint<kName>, r, re);
    if (const char* r = strncmpA(p, "frq0")) rc = reSub(arrayPrint<kFrq0>, r, re);
    if (const char* r = strncmpA(p, "mean")) rc = reSub(arrayPrint<kMean>, r, re);
    if (const char* r = strncmpA(p, "curstep")) rc = reSub(arrayPrint<kCurStep>, r, re);
    if (const char* r = strncmpA(p, "cursize")) rc = reSub(arrayPrint<kCurSize>, r, re);
    if (const char* r = strncmpA(p, "agc")) rc = reSub(agcPrint, r, re);
  }
  return rc;
}

bool registerSpectrumArea() { return parRegisterArea("spectr", spectrumcSet, spectrumcPrint); }
