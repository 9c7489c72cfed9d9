// Synthetic dual-frequency measurements of one satellite for the channel-data tests.
//
// Physics (public literature, e.g. Klobuchar; Misra & Enge, "Global Positioning System"):
// the first-order ionospheric group delay on frequency f is 40.3 * TEC / f^2 metres (TEC in
// electrons per m^2; 1 TECU = 1e16 el/m^2); code is delayed by it, carrier phase advanced by it:
//   code  = range + I / f^2 (+ noise),   phase = range - I / f^2 (+ noise, + whole cycles)
// with I = 40.3 * TEC. GPS L1 = 1575.42 MHz, L2 = 1227.60 MHz, c = 299792458 m/s.
#pragma once

#include <random>

#include "positioning/chan_data.h"

namespace synth {

constexpr double kC = 299792458.0;
constexpr double kL1 = 1575.42e6;
constexpr double kL2 = 1227.60e6;
constexpr double kTecu = 1e16;

inline double delayOf(double tecElPerM2, double f) { return 40.3 * tecElPerM2 / (f * f); }

// One satellite seen on channel `ch`, L1 in slot 0 and L2 in slot 2.
struct Sat {
  int ch = 0;
  double range0 = 21.0e6;     // m
  double rangeRate = -350.0;  // m/s
  double slantTec = 20.0 * kTecu;
  double codeSigma = 0.05;    // m
  double phaseSigma = 0.001;  // m
  double amb1 = 123456.0;     // whole cycles of the phase on L1
  double amb2 = -98765.0;
  bool dual = true;
  std::mt19937 rng{12345};

  double range(int epoch) const { return range0 + rangeRate * epoch; }
  double delay1() const { return delayOf(slantTec, kL1); }
  SvIdType sv() const {
    SvIdType v;
    v.sys = kSysGps;
    v.si = v.sat = static_cast<std::uint8_t>(ch);
    return v;
  }

  void map() const {
    ChanData::mapSlot(ch, 0, ch * kCdatSlots + 0);
    ChanData::mapSlot(ch, 2, ch * kCdatSlots + 2);
  }

  // Fills the slots of `epoch` (1 s apart). Extra code offsets (m) model faults.
  void fill(int epoch, double codeJump1 = 0.0, double codeJump2 = 0.0,
            std::uint16_t extraFlags = 0) {
    std::normal_distribution<double> n(0.0, 1.0);
    const double r = range(epoch);
    const double I = 40.3 * slantTec;
    fillOne(0, kL1, r, I, amb1, codeSigma * n(rng) + codeJump1, phaseSigma * n(rng), extraFlags);
    if (dual) {
      fillOne(2, kL2, r, I, amb2, codeSigma * n(rng) + codeJump2, phaseSigma * n(rng),
              extraFlags);
    }
  }

  void fillOne(int slot, double f, double r, double I, double amb, double codeErr, double phErr,
               std::uint16_t extraFlags) {
    ChanSigData* s = Cdat[ch].sig(slot);
    s->code = (r + I / (f * f) + codeErr) / kC;
    s->phase = (r - I / (f * f) + phErr) * f / kC + amb;
    s->freq = f;
    s->cn0 = slot == 0 ? 45.0f : 40.0f;
    s->flags = ChanSigData::kValid | ChanSigData::kPhase | extraFlags;
  }

  // One whole epoch of the channel as the decoder and the driver run it.
  void epoch(int e, double codeJump1 = 0.0, double codeJump2 = 0.0, std::uint16_t extra = 0) {
    Cdat[ch].initSlots();
    fill(e, codeJump1, codeJump2, extra);
    Cdat[ch].processAfter();
  }

  // A satellite on channel `channel`, mapped and followed for `epochs` epochs.
  static Sat tracked(int channel, int epochs, bool dualFrequency = true, double sigma = 0.05) {
    Sat s;
    s.ch = channel;
    s.dual = dualFrequency;
    s.codeSigma = sigma;
    s.map();
    for (int e = 0; e < epochs; ++e) s.epoch(e);
    return s;
  }
};

}  // namespace synth
