#include "gnss_link/allan_monitor.h"

#include <cmath>

#include "settings/debug_selectors.h"
#include "gnss_link/meas_proc.h"
#include "platform/debug.h"
#include "positioning/chan_data.h"
#include "positioning/chan_satellite.h"

AllanState allanState;

namespace {

constexpr long kDayMs = 86400000;
constexpr int kTrackChannels = kCdatPerInput;
constexpr int kSystems = SYS_NUM;
constexpr float kKeepSnr = 45.0f;

// The selected signal of channel i, when it is being tracked (carrier followed); else null.
const ChanSigData* tracked(int i, int slot) {
  const ChanData& c = Cdat[i];
  const ChanSigData* s = c.sig(slot);
  if (s == nullptr || s == &SdatEmpty) return nullptr;
  if (!(s->flags & ChanSigData::kPhase) || !(s->freq > 0.0)) return nullptr;
  return s;
}

// Range rate of the signal, m/s: Doppler over the carrier it is measured on.
double rangeRate(const ChanSigData& s) { return s.doppler / s.freq * 300000000.0; }

void forget() {
  allanState.valid = false;
  allanState.chan = -1;
}

// Picks the tracked channel of the selected system and signal with the highest level.
bool choose(int selector) {
  allanState.selector = selector;
  const int sig = selector % 10;
  const int sys = (selector / 10) % 10;
  allanState.sig = sig;
  allanState.sys = sys;
  if (selector < 0 || sig >= kCdatSlots || sys >= kSystems) return false;
  int best = -1;
  float bestSnr = 0.0f;
  for (int i = 0; i < kTrackChannels; ++i) {
    // The selector names the satellite system (0 GPS, 1 GLONASS, 2 Galileo, 3 SBAS, 4 QZSS,
    // 5 BeiDou, 6 NavIC), not the board's code for it.
    ChanSatellite sat;
    if (!chanSatellite(Cdat[i].sysCode, Cdat[i].svNum, sat) || sat.sys != sys) continue;
    const ChanSigData* s = tracked(i, sig);
    if (s == nullptr) continue;
    if (best < 0 || s->cn0 > bestSnr) {
      best = i;
      bestSnr = s->cn0;
    }
  }
  if (best < 0) return false;
  allanState.chan = best;
  allanState.bestSnr = bestSnr;
  allanState.accMs = 0;
  allanState.sumSq = 0.0;
  allanState.sum = 0.0;
  // The first difference of the block starts from this epoch's value, not from zero.
  allanState.prevY = rangeRate(*tracked(best, sig)) / 15.0;
  return true;
}

}  // namespace


void alanVariance() {
  long t = NavEpoch.rcvTime % kDayMs;
  if (t < 0) t += kDayMs;
  alanVarianceAt(t, dbi);
}

void alanVarianceAt(long t, int selector) {
  long m = 0;
  if (allanState.lastT >= 0) {
    m = t - allanState.lastT;
    if (m < 0) m += kDayMs;
  }
  allanState.lastT = t;

  if (allanState.chan < 0 && !choose(selector)) return;
  const ChanSigData* s = tracked(allanState.chan, allanState.sig);
  if (s == nullptr) {
    forget();
    return;
  }
  // Without a known interval nothing is accumulated.
  if (m <= 0) return;

  const double f = rangeRate(*s);
  const double y = f / 15.0;
  const double d = y - allanState.prevY - static_cast<double>(m) * allanState.drift / 900000.0;
  allanState.sumSq += d * d;
  allanState.sum += d;
  allanState.accMs += static_cast<std::int32_t>(m);
  allanState.prevY = y;
  if (allanState.accMs < kAllanBlockMs) return;

  const double n = static_cast<double>(allanState.accMs / m);
  double result = 1.0e12;  // kAllanNoFigure, printed whole
  if (n > 1.0) {
    const double var = (allanState.sumSq - allanState.sum * allanState.sum / n) / (2.0 * (n - 1.0));
    if (var > 0.0) result = 50.0 * std::sqrt(var);
  }
  allanState.result = static_cast<float>(result);
  if (selector >= 7000 && selector <= 7099) {
    debPrintfx(-1, "svE AL*e9=%5.2f T=%2.0f Fr=%8.2f dFr=%8.2f sv=%d msint=%d snr=%d sys=%d sig=%d\n",
               result, 0.0, f / 0.3, static_cast<double>(m) * allanState.drift / 18000.0,
               static_cast<int>(Cdat[allanState.chan].svNum), static_cast<int>(m), static_cast<int>(s->cn0), allanState.sys,
               allanState.sig);
  }
  allanState.drift = (f - allanState.lastF) / allanState.accMs * 60000.0;
  allanState.lastF = f;
  allanState.sumSq = 0.0;
  allanState.sum = 0.0;
  allanState.accMs = 0;
  allanState.valid = true;
  if (s->cn0 < kKeepSnr || selector != allanState.selector) forget();
}
