#include "differential/rtk/base_pro_client.h"

#include <algorithm>
#include <cmath>

#include "differential/rtk/base_pro.h"
#include "differential/rtk/rtk_engine.h"
#include "differential/rtk/rtk_reset.h"
#include "differential/rtk/rtk_slots.h"
#include "differential/rtk/rtk_sync.h"
#include "settings/rcv_settings.h"

CpdMeasBufClientImp baseMeasBufClientImp;
CpdMeasBuf::Client* baseMeasBufClient = &baseMeasBufClientImp;

namespace {

using bpro::kNoSlot;
using bpro::kRefs;
using bpro::kSignals;
using bpro::kSystems;

constexpr int kFirstPhaseMode = 4;      // tPosMode: pf, pd and pp carry phase
constexpr int kDefaultExPeriodMs = 5000;  // experiod 0
constexpr std::uint8_t kCodeAndPhase = CpdMeasSlot::kRange | CpdMeasSlot::kPhase;
constexpr double kKeepRef = 0.9;    // of the system's highest elevation, for the reference in use
constexpr double kTakeRef = 0.99;   // for a new reference
constexpr double kRefMinUpdates = 4.0;
constexpr double kScreenMinUpdates = 6.0;
constexpr float kNoSpread = 9.0f;
constexpr float kMaxThreshold = 9.0f;

double settled(const BasePro& p, int s) { return std::min(p.age[s], static_cast<double>(p.cnt[s])); }

bool usable(const int masks[kSystems], int sys, int s) { return sys >= 0 && sys < kSystems && ((masks[sys] >> s) & 1) != 0; }

// The rover's elevation of a satellite (degrees): as the rover epoch carries it; 0 when the
// rover does not have the satellite or no elevation for it (it is then nobody's reference).
double roverElevation(const CpdMeas& rov, const CpdSv& sv) {
  const CpdSvMeas* r = rov.find(sv);
  if (r == rov.end() || r->elev == CpdSvMeas::kElevUnknown) return 0.0;
  return std::max(0.0, static_cast<double>(r->elev));
}

int slotOf(const CpdSvMeas& m) {
  const int slot = static_cast<int>(m.sv.id) - 1;
  return slot >= 0 && slot < bpro::kSlots ? slot : -1;
}

}  // namespace

// ---- client ------------------------------------------------------------------------------------

void CpdMeasBufClientImp::process(const CpdMeas& m) {
  // Carrier phases of another base carry other ambiguities (RTCM 2's even wrap where CMR's do
  // not): fed into the old models they read as a jump of the base's clock, and the screening
  // then throws out the healthy satellites over and over.
  if (newBase(m)) rtkResetEngine(b_, kRtkResetBase);
  if (tPosMode < kFirstPhaseMode) return;
  UpdateExtrapolator(m, b_);
  const int af = RcvSet.rtk.afperiod;
  if (af > 0 && m.id.isSet() && m.id.get() % af == 0) {
    bRtkFromRover = false;
    SlowRelease(0);
  }
}

void CpdMeasBufClientImp::reset() {}

bool CpdMeasBufClientImp::newBase(const CpdMeas& m) {
  Locker<Mutex> l(baseMutex_);
  bool changed = false;
  if (m.decoder >= 0 && m.decoder != lastDecoder_) {
    changed = lastDecoder_ >= 0;
    lastDecoder_ = m.decoder;
    // The new decoder's station is its own, even when it names none yet.
    lastStation_ = m.stationId;
    return changed;
  }
  // An epoch that names no station (its position message not decoded yet) is the last one's.
  if (m.stationId >= 0) {
    changed = lastStation_ >= 0 && m.stationId != lastStation_;
    lastStation_ = m.stationId;
  }
  return changed;
}

// ---- screening ---------------------------------------------------------------------------------

double dExcl(int slot, int s, int b, int sys) {
  const BasePro* p = BPC.at(b, slot);
  if (p == nullptr || s < 0 || s >= kSignals) return 0.0;
  double d = p->resFi[s];
  const int r = BPC.refOf(b, sys, s);
  if (r != kNoSlot && r != slot)
    if (const BasePro* ref = BPC.at(b, r)) d += ref->resFi[s];
  // GLONASS cycles to GPS L1 cycles; GLONASS only (Galileo follows in the slot table).
  if (bpro::isGloSlot(slot)) d *= 1.57542e9 / (1.602e9 + (slot - bpro::kGloZero) * 562500.0);
  return d;
}

void baseProScreen(int b) {
  for (int sys = 0; sys < kSystems; ++sys) {
    const int first = bpro::sysFirstSlot(sys), last = bpro::sysLastSlot(sys);
    bool excluded = true, members = true;
    while (excluded && members) {
      excluded = members = false;
      for (int s = 0; s < kSignals; ++s) {
        int n = 0;
        double sum = 0.0, sum2 = 0.0;
        auto member = [&](int q) -> BasePro* {
          BasePro* p = BPC.at(b, q);
          if (p == nullptr || p->st[s] == 0 || !(p->dtp[s] > 0.0) || settled(*p, s) < kScreenMinUpdates) return nullptr;
          return p;
        };
        for (int q = first; q <= last; ++q) {
          BasePro* p = member(q);
          if (p == nullptr) continue;
          if (std::isnan(p->resFi[s])) {
            p->Reset(s);
            continue;
          }
          const double d = dExcl(q, s, b, sys);
          ++n;
          sum += d;
          sum2 += d * d;
        }
        if (n == 0) continue;
        members = true;
        double mean = 0.0, spread = kNoSpread;
        if (n >= 2) {
          mean = sum / n;
          const double v = sum2 / n - mean * mean;
          spread = v > 0.0 ? std::sqrt(v) : kNoSpread;
        }
        int w = -1;
        double dev = -1.0;
        for (int q = first; q <= last; ++q) {
          if (member(q) == nullptr) continue;
          const double d = std::fabs(dExcl(q, s, b, sys) - mean);
          if (d > dev) {
            dev = d;
            w = q;
          }
        }
        BasePro* pw = BPC.at(b, w);
        // Deviations that are no number (a reference's residual that is none) pick no model.
        if (pw == nullptr) continue;
        const float m = static_cast<float>(settled(*pw, s));
        float k = m < 30.0f ? (30.0f - m) / 6.0f + 5.0f : 7.0f;
        if (bpro::isGloSlot(w)) k *= 1.5f;
        const int r = BPC.refOf(b, sys, s);
        float thr = (r == kNoSlot || r == w) ? kMaxThreshold : std::min(k * static_cast<float>(spread), kMaxThreshold);
        if (BPC.mode == CpdMeas::kCorrections) thr *= 3.0f;
        if (dev > thr) {
          const int e = sys * kSignals + s;
          if (r == w) {
            BPC.ChangeRef(b, e, w, +1.0);
            BPC.ref[e] = kNoSlot;
          }
          pw->Reset(s);
          excluded = true;
        }
      }
    }
  }
}

void baseProUpdateAll(int b) {
  for (int q = 0; q < bpro::kSlots; ++q) {
    BasePro* p = BPC.at(b, q);
    if (p == nullptr) continue;
    for (int s = 0; s < kSignals; ++s) {
      if (p->st[s] == 0 || !(p->dtp[s] > 0.0)) continue;
      if (std::isnan(p->resFi[s])) {
        p->Reset(s);
        continue;
      }
      p->Update(s);
    }
  }
}

// ---- one base epoch ----------------------------------------------------------------------------

void UpdateExtrapolator(const CpdMeas& E, int b) {
  if (tPosMode < kFirstPhaseMode) return;
  int masks[kSystems] = {};
  RtkChan::getUsableSlots(masks);

  const int ex = RcvSet.rtk.experiod;
  if (ex < 0 || !E.id.isSet()) return;
  const int period = ex == 0 ? kDefaultExPeriodMs : ex;
  if (E.id.get() % period != 0) return;

  CpdMeasBuf* rovBuf = pRovMeasBuf[0];
  const CpdMeas* rov = rovBuf != nullptr ? rovBuf->doFind(E.id) : nullptr;
  if (rov == nullptr) return;

  const int tms = E.id.get();
  const int n = std::clamp(E.n, 0, CpdMeas::kMaxSv);
  // The lock is held through the screening as well: a full reset from the settings must not
  // find the models half screened.
  waitForProj(b);
  // The base position is looked up afresh each run (the cache is only read under the lock).
  if (b == 0) BPC.basePos.known = false;
  BPC.SetNum(b, tms);
  BPC.mode = E.type;

  // Elevations and the highest per system.
  double elev[CpdMeas::kMaxSv];
  double elevMax[kSystems];
  std::fill(elevMax, elevMax + kSystems, -1.0);
  for (int i = 0; i < n; ++i) {
    elev[i] = 0.0;
    const CpdSvMeas& m = E.sv[i];
    const int slot = slotOf(m);
    if (slot < 0 || m.sv.sys >= kSystems) continue;
    if (BPC.at(b, slot) == nullptr && BPC.FindSlot(b, slot, tms) == 0) continue;
    elev[i] = roverElevation(*rov, m.sv);
    elevMax[m.sv.sys] = std::max(elevMax[m.sv.sys], elev[i]);
  }

  // Reference choice.
  int choice[kRefs];
  double chPhi[kRefs] = {}, chCode[kRefs] = {};
  std::fill(choice, choice + kRefs, kNoSlot);
  for (int i = 0; i < n; ++i) {
    const CpdSvMeas& m = E.sv[i];
    const int slot = slotOf(m);
    const int sys = m.sv.sys;
    BasePro* p = slot >= 0 ? BPC.at(b, slot) : nullptr;
    if (p == nullptr || sys >= kSystems) continue;
    for (int s = 0; s < kSignals; ++s) {
      if ((m.slot[s].flags & kCodeAndPhase) != kCodeAndPhase || !usable(masks, sys, s)) continue;
      const int k = sys * kSignals + s;
      bool take = false;
      if (BPC.ref[k] == slot && elev[i] >= kKeepRef * elevMax[sys])
        take = true;
      else if (choice[k] == kNoSlot && settled(*p, s) >= kRefMinUpdates && elev[i] >= kTakeRef * elevMax[sys])
        take = true;
      if (take) {
        choice[k] = slot;
        chPhi[k] = m.slot[s].phase;
        chCode[k] = m.slot[s].range;
      }
    }
  }

  // Epoch time per system, s: the base epoch's, else the rover epoch's of the same id.
  double tsys[kSystems];
  for (int sys = 0; sys < kSystems; ++sys) {
    const int scale = systime(sys);
    std::int32_t t = scale >= 0 ? E.times.time[scale] : -1;
    if (t < 0 && scale >= 0) t = rov->times.time[scale];
    tsys[sys] = t >= 0 ? t * 0.001 : -1.0;
  }
  rovBuf->doUnlock(rov);

  // Geometric terms, and the issue steps of references.
  double out[kRefs] = {};
  for (int i = 0; i < n; ++i) {
    const CpdSvMeas& m = E.sv[i];
    const int slot = slotOf(m);
    BasePro* p = slot >= 0 ? BPC.at(b, slot) : nullptr;
    if (p == nullptr || m.sv.sys >= kSystems) continue;
    const int issue = m.iod == CpdSvMeas::kIodUnknown ? -1 : m.iod;
    for (int s = 0; s < kSignals; ++s) {
      if ((m.slot[s].flags & CpdMeasSlot::kRange) == 0 || !usable(masks, m.sv.sys, s)) continue;
      p->CalcdS(m.sv, tms, tsys[m.sv.sys], 0, m.slot[s].range, s, b, issue, out);
    }
  }
  for (int q = 0; q < bpro::kSlots; ++q) {
    BasePro* p = BPC.at(b, q);
    const int sys = bpro::slotSys(q);
    if (p == nullptr || sys < 0) continue;
    for (int s = 0; s < kSignals; ++s)
      if (BPC.ref[sys * kSignals + s] != q) p->Fi[s] += out[sys * kSignals + s];
  }

  BPC.SetNum(b, tms);

  // References.
  const bool diffext = RcvSet.rtk.diffext != 0;
  for (int k = 0; k < kRefs; ++k) {
    int c = diffext ? choice[k] : kNoSlot;
    if (BPC.refHold[k] != 0) {
      --BPC.refHold[k];
      c = kNoSlot;
    }
    if (BPC.ref[k] != c) {
      if (BPC.ref[k] != kNoSlot) BPC.ChangeRef(b, k, BPC.ref[k], +1.0);
      if (c != kNoSlot) BPC.ChangeRef(b, k, c, -1.0);
      BPC.ref[k] = static_cast<std::uint16_t>(c);
    }
  }

  // Measurements.
  for (int i = 0; i < n; ++i) {
    const CpdSvMeas& m = E.sv[i];
    const int slot = slotOf(m);
    const int sys = m.sv.sys;
    BasePro* p = slot >= 0 ? BPC.at(b, slot) : nullptr;
    if (p == nullptr || sys >= kSystems) continue;
    const int issue = m.iod == CpdSvMeas::kIodUnknown ? -1 : m.iod;
    for (int s = 0; s < kSignals; ++s) {
      if ((m.slot[s].flags & kCodeAndPhase) != kCodeAndPhase || !usable(masks, sys, s)) continue;
      const int k = sys * kSignals + s;
      double phi = m.slot[s].phase, code = m.slot[s].range;
      if (BPC.ref[k] != kNoSlot && BPC.ref[k] != slot) {
        phi -= chPhi[k];
        code -= chCode[k];
      }
      p->Add(m.sv, tms, tsys[sys], phi, code, s, slot, issue);
    }
  }

  baseProScreen(b);
  baseProUpdateAll(b);
  projRelease(b);
}
