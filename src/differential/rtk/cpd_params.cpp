#include "differential/rtk/cpd_params.h"

#include <cmath>

#include "settings/rcv_settings.h"

constinit CpdParams cpdParams;

void CpdParams::setElm(int deg) {
  elm = deg;
  sinElm = static_cast<float>(std::sin(deg * 0.017453292519943295));
}

bool CpdParams::setAmbFixLevel(AmbFixLevel l) {
  // The level indexes the fix-test table: one outside it must not reach the record.
  const int i = static_cast<int>(l);
  if (i < 0 || i >= kAmbFixLevels) return false;
  ambFixLevel = l;
  nft = afl2nft[i];
  return true;
}

void CpdParams::SetCodeRMS(float v) {
  for (SlotRms& s : slot) s.codeRms = v;
}

void CpdParams::SetPhaseRMS(float v) {
  for (SlotRms& s : slot) s.phaseRms = v;
}

void CpdParams::SetDyn(float v) { dyn = v >= kDynUnlimitedFrom ? kDynUnlimited : v; }

void CpdParams::setUseSys(const bool (&v)[kSysNum]) {
  for (int i = 0; i < kSysNum; ++i) useSys[i] = v[i];
}

void CpdParams::setUseSlot(const bool (&v)[kSlotNum]) {
  for (int i = 0; i < kSlotNum; ++i) useSlot[i] = v[i];
}

void cpdParamsLoad(const RCV_SETTINGS& s) {
  const RcvRtkSettings& r = s.rtk;
  CpdParams& p = cpdParams;
  p.dblchk = r.dblchk != 0;
  p.scale = r.scale;
  bool use[CpdParams::kSlotNum];
  for (int i = 0; i < CpdParams::kSlotNum; ++i) use[i] = r.meas[i] != 0;
  p.setUseSlot(use);
  p.setAmbFixLevel(static_cast<int>(r.aflevel));
  p.mode = r.mode != 0 ? 1 : 0;
  p.ion = r.ion != 0 ? 1 : 0;
  p.check = r.check;
  // Stored reals that are not numbers leave the record's values: the engine's noise terms and
  // dynamics must stay finite.
  if (std::isfinite(r.mem)) p.mem = static_cast<float>(r.mem);
  if (std::isfinite(r.rmsc)) p.SetCodeRMS(r.rmsc);
  if (std::isfinite(r.rmsp)) p.SetPhaseRMS(r.rmsp);
  if (std::isfinite(r.dyn)) p.SetDyn(static_cast<float>(r.dyn));
  p.SetInitKnown(r.fixpos != 0);
  if (std::isfinite(r.tempc)) p.tempc = r.tempc;
  if (std::isfinite(r.humid)) p.humid = r.humid;
  if (std::isfinite(r.press)) p.press = r.press;
}
