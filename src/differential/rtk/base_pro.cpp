#include "differential/rtk/base_pro.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "differential/base/cpd_meas_buf.h"
#include "differential/base/cpd_utils.h"
#include "differential/rtk/rtk_engine.h"
#include "differential/rtk/rtk_slots.h"
#include "settings/debug_selectors.h"
#include "settings/rcv_settings.h"

double Tcorr = 5.0;
BaseProContainer BPC;

namespace bpro {
namespace {
struct SlotRange {
  int first, last;
};
constexpr SlotRange kSysSlots[kSystems] = {{0, 31}, {32, 46}, {47, 82}, {83, 110}, {111, 117}, {118, 180}, {181, 194}};

// Debug selector values of these prints.
constexpr int kDbgTrace = 11;  // CalcdS and Add traces
constexpr int kDbgReset = 5;   // idling on a large clock jump
}  // namespace

int slotSys(int slot) {
  for (int s = 0; s < kSystems; ++s)
    if (slot >= kSysSlots[s].first && slot <= kSysSlots[s].last) return s;
  return -1;
}

int sysFirstSlot(int sys) { return sys >= 0 && sys < kSystems ? kSysSlots[sys].first : 0; }
int sysLastSlot(int sys) { return sys >= 0 && sys < kSystems ? kSysSlots[sys].last : -1; }
}  // namespace bpro

using namespace bpro;

namespace {
// The L1 phase-centre offset of the baseline's base receiver (m, ECEF).
void baseAntennaOffset(int b, float off[3]) {
  off[0] = off[1] = off[2] = 0.0f;
  const int r = b + 1;  // receiver 0 is the rover, 1 and 2 the bases of baselines 0 and 1
  if (Eng == nullptr || r < 1 || r >= Engine::kReceivers || !Eng->rcv[r]) return;
  for (int k = 0; k < 3; ++k) off[k] = Eng->rcv[r]->antOffs[k];
}
}  // namespace

// ---- gains ---------------------------------------------------------------------------------------

namespace {
// {interval s, value, rate, acceleration, 0}: the start-up table and the settled one.
constexpr float gain1[17][5] = {
    {0.3f, 0.29241f, 0.16771f, 0.01062f, 0.0f}, {0.4f, 0.36435f, 0.20468f, 0.01695f, 0.0f},
    {0.5f, 0.42883f, 0.23736f, 0.0238f, 0.0f},  {0.6f, 0.48663f, 0.26611f, 0.0308f, 0.0f},
    {0.7f, 0.53844f, 0.29127f, 0.03769f, 0.0f}, {0.8f, 0.58486f, 0.31315f, 0.04428f, 0.0f},
    {0.9f, 0.62647f, 0.33207f, 0.05043f, 0.0f}, {1.0f, 0.66375f, 0.34828f, 0.05604f, 0.0f},
    {2.0f, 0.87861f, 0.40897f, 0.08093f, 0.0f}, {3.0f, 0.95268f, 0.3803f, 0.07098f, 0.0f},
    {4.0f, 0.97981f, 0.33025f, 0.05385f, 0.0f}, {5.0f, 0.99052f, 0.28243f, 0.0395f, 0.0f},
    {6.0f, 0.99512f, 0.24289f, 0.02927f, 0.0f}, {7.0f, 0.99728f, 0.21151f, 0.02222f, 0.0f},
    {8.0f, 0.99838f, 0.18664f, 0.01732f, 0.0f}, {9.0f, 0.99898f, 0.16672f, 0.01383f, 0.0f},
    {10.0f, 0.99932f, 0.1505f, 0.01127f, 0.0f},
};
constexpr float gain0[17][5] = {
    {0.3f, 0.39f, 0.0648f, 0.0005f, 0.0f}, {0.4f, 0.437f, 0.0652f, 0.0006f, 0.0f},
    {0.5f, 0.487f, 0.0656f, 0.0007f, 0.0f}, {0.6f, 0.536f, 0.075f, 0.001f, 0.0f},
    {0.7f, 0.56f, 0.075f, 0.0012f, 0.0f},   {0.8f, 0.59f, 0.075f, 0.0014f, 0.0f},
    {0.9f, 0.634f, 0.075f, 0.0014f, 0.0f},  {1.0f, 0.64f, 0.075f, 0.0015f, 0.0f},
    {2.0f, 0.81f, 0.082f, 0.0005f, 0.0f},   {3.0f, 0.88f, 0.089f, 0.0002f, 0.0f},
    {4.0f, 0.95f, 0.064f, 0.0f, 0.0f},      {5.0f, 0.95f, 0.066f, 0.0f, 0.0f},
    {6.0f, 1.0f, 0.057f, 0.0f, 0.0f},       {7.0f, 1.0f, 0.057f, 0.0f, 0.0f},
    {8.0f, 1.0f, 0.05f, 0.0f, 0.0f},        {9.0f, 1.0f, 0.05f, 0.0f, 0.0f},
    {10.0f, 1.0f, 0.05f, 0.0f, 0.0f},
};
constexpr int kLastRow = 16;

inline void zeroTiny(double& x) {
  if (std::fabs(x) < 1e-30) x = 0.0;
}

// The decay terms of an interval: e = exp(-dt/T), f = 1 - e. A correlation time of 0 (or a
// projection far beyond it) turns the acceleration off rather than dividing by it.
void decay(double dt, double T, double& e, double& f) {
  if (T <= 0.0 || dt / T >= 20.0) {
    e = 0.0;
    f = 1.0;
    return;
  }
  e = std::exp(-dt / T);
  f = 1.0 - e;
}
}  // namespace

float K(int i, double dt, int n) {
  if (i < 0 || i > 2) return 0.0f;
  const float(*g)[5] = n < kGainSwitch ? gain1 : gain0;
  dt = std::fabs(dt);
  if (!(dt >= 0.3)) return g[0][i + 1];  // NaN included
  if (dt >= 10.0) return g[kLastRow][i + 1];
  int r;
  float step;
  if (dt < 1.0) {
    r = std::max(static_cast<int>((dt - 0.299) * 10.0), 0);
    step = 0.1f;
  } else {
    r = static_cast<int>(dt + 6.001);
    step = 1.0f;
  }
  if (r >= kLastRow) return g[kLastRow][i + 1];
  const double w = (dt - g[r][0]) / step;
  return static_cast<float>(g[r][i + 1] + w * (g[r + 1][i + 1] - g[r][i + 1]));
}

double calcfr(int slot, int s) { return calcSvFreq(slot, s); }

// ---- one satellite's models ---------------------------------------------------------------------

BasePro::BasePro() { Reset(); }

void BasePro::start(int s, double t) {
  T[s] = t;
  Fi[s] = dFi[s] = ddFi[s] = FiAux[s] = 0.0;
  Ro[s] = dRo[s] = ddRo[s] = 0.0;
  resFi[s] = resRo[s] = 0.0;
  dtp[s] = 0.0;
  age[s] = 0.0;
  cnt[s] = 0;
  st[s] = 1;
}

void BasePro::Reset(int s) {
  if (s >= 0 && s < kSignals) st[s] = 0;
}

void BasePro::Reset() {
  for (int s = 0; s < kSignals; ++s) {
    start(s, 0.0);
    st[s] = 0;
  }
  dSat = 0.0;
  tdSat = -1.0;
  issue = -1;
  slot = bpro::kNoSlot;
  bl = 0;
  pDt_ = rDt_ = kNoInterval;
}

int BasePro::Status(double t, int s) {
  if (s < 0 || s >= kSignals || st[s] == 0) return 0;
  double d = t - T[s];
  if (d < -3600.0) {
    Reset(s);
    return 0;
  }
  if (d < 0.0) d += 3600.0;
  if (d <= static_cast<double>(RcvSet.rtk.textr) + 1.0) return 1;
  Reset(s);
  return 0;
}

double BasePro::interval(double t, double modelTime) {
  double dt = t - modelTime;
  if (dt < 0.0) dt += 3600.0;
  return dt;
}

void BasePro::Proj(double t, int s) {
  if (s < 0 || s >= kSignals) return;
  zeroTiny(Fi[s]);
  zeroTiny(dFi[s]);
  zeroTiny(ddFi[s]);
  const double dt = interval(t, T[s]);
  dtp[s] = dt;
  const double Tc = Tcorr;
  if (dt != pDt_ || Tc != pTc_) {
    double e, f;
    decay(dt, Tc, e, f);
    pT_ = Tc * dt;
    pTT_ = Tc * Tc * f;
    pTf_ = Tc * f;
    pE_ = e;
    pDt_ = dt;
    pTc_ = Tc;
  }
  const double g = pT_ - pTT_;
  Fi[s] += dFi[s] * dt + ddFi[s] * g;
  dFi[s] += ddFi[s] * pTf_;
  ddFi[s] *= pE_;
  Ro[s] += dRo[s] * dt + ddRo[s] * g;
  dRo[s] += ddRo[s] * pTf_;
  ddRo[s] *= pE_;
  T[s] = t;
}

double BasePro::ProjRRo(double t, int s) {
  if (s < 0 || s >= kSignals) return 0.0;
  const double dt = interval(t, T[s]);
  if (dt > 3600.0 || dt < 0.0) return 0.0;
  zeroTiny(Ro[s]);
  zeroTiny(dRo[s]);
  zeroTiny(ddRo[s]);
  const double Tc = Tcorr;
  if (dt != rDt_ || Tc != rTc_) {
    double e, f;
    decay(dt, Tc, e, f);
    rT_ = Tc * dt;
    rTT_ = Tc * Tc * f;
    rDt_ = dt;
    rTc_ = Tc;
  }
  double rv = 0.0, rr = 0.0, ra = 0.0;
  const int sys = slotSys(slot);
  const int r = BPC.refOf(bl, sys, s);
  if (r != bpro::kNoSlot && r != slot) {
    if (const BasePro* ref = BPC.at(bl, r)) {
      rv = ref->Ro[s];
      rr = ref->dRo[s];
      ra = ref->ddRo[s];
    }
  }
  double v = (rv + Ro[s]) + (rr + dRo[s]) * dt;
  const double c = (rT_ - rTT_) * (ra + ddRo[s]);
  if (std::fabs(c) < 5.0) v += c;
  return v;
}

void BasePro::Add(const CpdSv& sat, int tms, double tc, double phi, double code, int s, int slotIn,
                  int /*issue*/) {
  if (rtk_cpd_dbi == kDbgTrace)
    std::printf(" Add: %d phi %f Roc %f dSat %f Tc %f\n", sat.id, phi, code, dSat, tc);
  // A phase or code that is no finite number is no measurement (it would poison the models).
  if (!(tc >= 0.0) || dSat == 0.0 || s < 0 || s >= kSignals || !std::isfinite(phi) || !std::isfinite(code)) return;
  if (slotIn < 0 || slotIn >= kSlots) return;
  const double t = tms / 1000.0;
  if (slot == bpro::kNoSlot || Status(t, s) == 0) {
    start(s, t);
    slot = static_cast<std::uint8_t>(slotIn);
  }
  Proj(t, s);
  if (std::isnan(Fi[s])) {
    Reset(s);
    return;
  }
  const double f = calcfr(slot, s);
  const bool corrections = BPC.mode == CpdMeas::kCorrections;
  resRo[s] = code - Ro[s];
  resFi[s] = (std::fabs(phi) < 1e-10 ? 0.0 : phi) - (corrections ? 0.0 : f * dSat * kInvC) - Fi[s];
  const int r = BPC.refOf(bl, slotSys(slot), s);
  if (r != bpro::kNoSlot && r != slot && !corrections) {
    const BasePro* ref = BPC.at(bl, r);
    if (ref != nullptr && ref->dSat != 0.0) resFi[s] += ref->dSat * calcfr(r, s) * kInvC;
  }
}

void BasePro::Update(int s) {
  if (s < 0 || s >= kSignals) return;
  const int n = cnt[s];
  double w;
  if (n < 1) {
    w = 1.0;
  } else {
    if (dtp[s] <= 0.001) return;
    w = 1.0 / dtp[s];
  }
  cnt[s] = n + 1;
  age[s] += std::min(dtp[s], 10.0);
  if (cnt[s] <= 3) {
    Fi[s] += resFi[s];
    Ro[s] += resRo[s];
    if (cnt[s] == 2) {
      dFi[s] += w * resFi[s];
      dRo[s] += w * resRo[s];
    } else if (cnt[s] == 3) {
      dFi[s] += 1.5 * w * resFi[s];
      dRo[s] += 1.5 * w * resRo[s];
      ddFi[s] += w * w * resFi[s];
      ddRo[s] += w * w * resRo[s];
    }
  } else {
    const double f = calcfr(slot, s);
    const int sys = slotSys(slot);
    const int r = BPC.refOf(bl, sys, s);
    const bool refOther = r != bpro::kNoSlot && r != slot;
    const BasePro* ref = refOther ? BPC.at(bl, r) : nullptr;
    const double rAbs = resFi[s] + (ref != nullptr ? ref->resFi[s] : 0.0);
    // Whole milliseconds of base clock jump; a signal without a frequency has none.
    int N = 0;
    if (f > 1.0) {
      const double ms = std::trunc(std::fabs(rAbs * 1000.0 / f) + 0.1);
      N = !(ms <= 1e6) ? 1000000 : static_cast<int>(ms);  // no number: as a huge jump (idled)
      if (rAbs < 0.0) N = -N;
    }
    const double j = N / 1000.0;
    const double drift = (dFi[s] + ddFi[s] * j / 2.0) * j;
    const double J = f * j - drift;
    if (N != 0 && rtk_cpd_dbi > 0) std::printf("%d base corr %d %d %d %f ", bl, slot, s, N, f * j);
    double res = resFi[s];
    if (!refOther) {
      Fi[s] += J;
      res -= J;
      Ro[s] += J * kC / f;
      resRo[s] -= J * kC / f;
    } else if (isGloSlot(slot)) {
      // FDMA: the jump does not cancel between the two carriers.
      double fr = 0.0;
      if (isGloSlot(r)) {
        fr = 1.602e9 + (r - kGloZero) * 562500.0;
        if (s == 2 || s == 3) fr *= 7.0 / 9.0;
      }
      const double d = (f - fr) * j - drift;
      Fi[s] += d;
      res -= d;
    }
    if (N != 0 && rtk_cpd_dbi > 0)
      std::printf(" res %.4f resRo %.3f rFi %.4f rRo %.3f df_ %.5f\n", res, resRo[s], rAbs, resRo[s], drift);
    const double kd = dtp[s];
    Ro[s] += resRo[s] * K(0, kd, -1);
    dRo[s] += resRo[s] * K(1, kd, -1);
    ddRo[s] += resRo[s] * K(2, kd, -1);
    if (std::abs(N) > kJumpIdleMs) {
      if (rtk_cpd_dbi == kDbgReset) std::printf("Reset\n");
      Reset(s);
    } else {
      // The stored residual is what the models referred to this one read as its share.
      if (RcvSet.rtk.diffext != 0)
        resFi[s] = r != slot ? resFi[s] + drift : resFi[s];
      else
        resFi[s] -= J;
      const int gn = refOther ? cnt[s] : -1;
      Fi[s] += res * K(0, kd, gn);
      dFi[s] += res * K(1, kd, gn);
      ddFi[s] += res * K(2, kd, gn);
    }
  }
  dtp[s] = 0.0;
  zeroTiny(Fi[s]);
  zeroTiny(dFi[s]);
  zeroTiny(ddFi[s]);
  zeroTiny(Ro[s]);
  zeroTiny(dRo[s]);
  zeroTiny(ddRo[s]);
}

bool BasePro::geometry(const CpdSv& sat, double Tsys, double code, int iss, const double base[3], double& ds) {
  const double tt = Tsys - code * kInvC;
  CpdCPos p;
  CpdCVel v;
  double clk = 0.0;
  const int ret = CpdUtilsInstance.svPos(sat, tt, false, p, v, clk, iss);
  if (ret != CpdUtils::kOk) {
    if (rtk_cpd_dbi == kDbgTrace) std::printf("calcds sv %d ch %d T %f issue %d ret %d\n", sat.id, 0, Tsys, iss, ret);
    return false;
  }
  double corr = clk;
  if (CpdUtilsInstance.getTimeCor(sat, tt, iss, corr) != CpdUtils::kOk) corr = clk;
  if (rtk_cpd_dbi == kDbgTrace) {
    std::printf(" Tc %f tSAT %f\n", Tsys, tt);
    std::printf(" svpos %f %f %f\n", p.x, p.y, p.z);
  }
  // Range to the satellite at transmit time, its clock, and the Earth's rotation during the
  // signal's flight to first order (omega_e (xs yb - ys xb) / c, within a few mm of the rotated
  // position); against an IS-GPS-200 evaluation the term agrees within 1 mm.
  const double dx = p.x - base[0], dy = p.y - base[1], dz = p.z - base[2];
  const double w = sat.sys == CpdSv::kGlonass ? kOmegaCGlo : kOmegaC;
  ds = std::sqrt(dx * dx + dy * dy + dz * dz) - kC * corr + (p.x * base[1] - p.y * base[0]) * w;
  return true;
}

void BasePro::CalcdS(const CpdSv& sat, int tms, double Tsys, int /*flag*/, double code, int s, int b, int iss,
                     double* out) {
  if (rtk_cpd_dbi == kDbgTrace) std::printf(" CalcdS: %d %d T %f\n", sat.id, s, Tsys);
  if (s < 0 || s >= kSignals || st[s] == 0 || !std::isfinite(code) || !std::isfinite(Tsys)) return;
  const double pr = ProjRRo(tms / 1000.0, s);
  if (std::fabs(pr - code) <= 10.0) code = pr;
  if (rtk_cpd_dbi == kDbgTrace) std::printf(" roc_ %f\n", code);
  double dtc = Tsys - tdSat;
  if (sat.sys == CpdSv::kGlonass) {
    if (dtc < -43200.0) dtc += 86400.0;
  } else if (dtc < -302400.0) {
    dtc += 604800.0;
  }
  if (rtk_cpd_dbi == kDbgTrace) std::printf(" dtc %f\n", dtc);
  if (!(dtc > 0.0)) return;
  if (iss == -1) {
    int iode = -1, iodc = -1;
    if (CpdUtilsInstance.getIssue(sat, iode, iodc, Tsys) == CpdUtils::kOk) iss = iode;
  }
  double base[3];
  if (!BPC.basePosition(b, base)) return;
  float off[3] = {0.0f, 0.0f, 0.0f};
  baseAntennaOffset(b, off);
  for (int k = 0; k < 3; ++k) base[k] += off[k];
  const double oldDs = dSat;
  double ds = 0.0;
  if (!geometry(sat, Tsys, code, iss, base, ds)) {
    dSat = 0.0;
    return;
  }
  dSat = ds;
  tdSat = Tsys;
  if (iss == issue) return;
  // A new ephemeris issue moves the geometric term; the models keep tracking the measured
  // phase less that term, so they move by the opposite step.
  double dsOld = 0.0;
  if (issue != -1 && geometry(sat, Tsys, code, issue, base, dsOld)) {
    const double step = ds - dsOld;
    if (rtk_cpd_dbi > 0)
      std::printf("%d ! changed sv %d issue old %d new %d ds %f dt %f\n", b, sat.id, issue, iss, step, dtc);
    const bool corrections = BPC.mode == CpdMeas::kCorrections;
    const int sys = slotSys(slot);
    for (int k = 0; k < kSignals; ++k) {
      const double f = calcfr(slot, k);
      Fi[k] -= step * f * kInvC;
      if (!corrections && oldDs != 0.0 && out != nullptr && sys >= 0 && BPC.refOf(b, sys, k) == slot)
        out[sys * kSignals + k] = step * kInvC * f;
    }
  }
  issue = iss;
}

// ---- the container -----------------------------------------------------------------------------

BaseProContainer::BaseProContainer() {
  for (BasePro*& p : tab) p = nullptr;
  for (auto& r : ref) r = bpro::kNoSlot;
  for (auto& c : refHold) c = 0;
}

BasePro* BaseProContainer::at(int b, int slot) {
  if (b != 0 || slot < 0 || slot >= kSlots) return nullptr;
  return tab[slot];
}

int BaseProContainer::refOf(int b, int sys, int s) const {
  if (b != 0 || sys < 0 || sys >= kSystems || s < 0 || s >= kSignals) return bpro::kNoSlot;
  return ref[sys * kSignals + s];
}

bool BaseProContainer::basePosition(int b, double out[3]) {
  if (b != 0) return false;
  if (!basePos.known) {
    CpdMeasBuf* buf = pBaseMeasBuf;
    const CpdMeas* m = buf != nullptr ? buf->doGet() : nullptr;
    if (m == nullptr) return false;
    if (m->refPos.valid != 0) {
      basePos.x = m->refPos.x;
      basePos.y = m->refPos.y;
      basePos.z = m->refPos.z;
      basePos.known = true;
    }
    buf->doUnlock(m);
    if (!basePos.known) return false;
  }
  out[0] = basePos.x;
  out[1] = basePos.y;
  out[2] = basePos.z;
  return true;
}

void BaseProContainer::Reset(int b) {
  if (b != 0) return;
  for (BasePro& p : bp) p.Reset();
  for (BasePro*& p : tab) p = nullptr;
}

void BaseProContainer::SetNum(int b, int tms) {
  if (b != 0) return;
  for (BasePro*& p : tab) p = nullptr;
  const double t = tms / 1000.0;
  for (BasePro& p : bp) {
    bool any = false;
    for (int s = 0; s < kSignals; ++s) any = p.Status(t, s) != 0 || any;
    if (!any) p.Reset();
    if (p.slot < kSlots) tab[p.slot] = &p;
  }
}

int BaseProContainer::FindSlot(int b, int slot, int tms) {
  if (b != 0 || slot < 0 || slot >= kSlots) return 0;
  if (tab[slot] != nullptr) return 1;
  for (BasePro& p : bp) {
    if (p.slot != bpro::kNoSlot) continue;
    const double t = tms / 1000.0;
    p.Reset();
    for (int s = 0; s < kSignals; ++s) {
      p.T[s] = t;
      p.st[s] = 1;
    }
    p.slot = static_cast<std::uint8_t>(slot);
    p.bl = static_cast<std::uint8_t>(b);
    tab[slot] = &p;
    return 1;
  }
  return 0;
}

void BaseProContainer::ChangeRef(int b, int k, int slot, double factor) {
  if (b != 0 || k < 0 || k >= kRefs || slot < 0 || slot >= kSlots) return;
  const int sys = k / kSignals, s = k % kSignals;
  if (slotSys(slot) != sys) return;
  const BasePro* p = tab[slot];
  if (p == nullptr || p->st[s] == 0) return;
  for (int q = sysFirstSlot(sys); q <= sysLastSlot(sys); ++q) {
    BasePro* o = tab[q];
    if (q == slot || o == nullptr || o->st[s] == 0) continue;
    o->Fi[s] += factor * p->Fi[s];
    o->dFi[s] += factor * p->dFi[s];
    o->ddFi[s] += factor * p->ddFi[s];
    o->FiAux[s] += factor * p->FiAux[s];
    o->resFi[s] += factor * p->resFi[s];
    o->Ro[s] += factor * p->Ro[s];
    o->dRo[s] += factor * p->dRo[s];
    o->ddRo[s] += factor * p->ddRo[s];
    o->resRo[s] += factor * p->resRo[s];
  }
}
