#include "gnss_link/allan_monitor.h"

#include <cmath>

#include "settings/debug_selectors.h"
#include "gnss_link/meas_proc.h"
#include "platform/debug.h"
#include "positioning/chan_data.h"
#include "positioning/chan_satellite.h"

namespace {

AllanState g;

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
  g.valid = false;
  g.chan = -1;
}

// Picks the tracked channel of the selected system and signal with the highest level.
bool choose(int selector) {
  g.selector = selector;
  const int sig = selector % 10;
  const int sys = (selector / 10) % 10;
  g.sig = sig;
  g.sys = sys;
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
  g.chan = best;
  g.bestSnr = bestSnr;
  g.accMs = 0;
  g.sumSq = 0.0;
  g.sum = 0.0;
  // The first difference of the block starts from this epoch's value, not from zero.
  g.prevY = rangeRate(*tracked(best, sig)) / 15.0;
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
  if (g.lastT >= 0) {
    m = t - g.lastT;
    if (m < 0) m += kDayMs;
  }
  g.lastT = t;

  if (g.chan < 0 && !choose(selector)) return;
  const ChanSigData* s = tracked(g.chan, g.sig);
  if (s == nullptr) {
    forget();
    return;
  }
  // Without a known interval nothing is accumulated.
  if (m <= 0) return;

  const double f = rangeRate(*s);
  const double y = f / 15.0;
  const double d = y - g.prevY - static_cast<double>(m) * g.drift / 900000.0;
  g.sumSq += d * d;
  g.sum += d;
  g.accMs += static_cast<std::int32_t>(m);
  g.prevY = y;
  if (g.accMs < kAllanBlockMs) return;

  const double n = static_cast<double>(g.accMs / m);
  double result = 1.0e12;  // kAllanNoFigure, printed whole
  if (n > 1.0) {
    const double var = (g.sumSq - g.sum * g.sum / n) / (2.0 * (n - 1.0));
    if (var > 0.0) result = 50.0 * std::sqrt(var);
  }
  g.result = static_cast<float>(result);
  if (selector >= 7000 && selector <= 7099) {
    debPrintfx(-1, "svE AL*e9=%5.2f T=%2.0f Fr=%8.2f dFr=%8.2f sv=%d msint=%d snr=%d sys=%d sig=%d\n",
               result, 0.0, f / 0.3, static_cast<double>(m) * g.drift / 18000.0,
               static_cast<int>(Cdat[g.chan].svNum), static_cast<int>(m), static_cast<int>(s->cn0), g.sys,
               g.sig);
  }
  g.drift = (f - g.lastF) / g.accMs * 60000.0;
  g.lastF = f;
  g.sumSq = 0.0;
  g.sum = 0.0;
  g.accMs = 0;
  g.valid = true;
  if (s->cn0 < kKeepSnr || selector != g.selector) forget();
}
