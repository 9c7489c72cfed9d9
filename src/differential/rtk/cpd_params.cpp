#include "differential/rtk/cpd_params.h"

#include <cmath>
#include <limits>

#include "settings/rcv_settings.h"

constinit CpdParams cpdParams;

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

void CpdParams::setUseSlot(const bool (&v)[kSlotNum]) {
  for (int i = 0; i < kSlotNum; ++i) useSlot[i] = v[i];
}

namespace {
// A stored real as the record's float; false for one that is no number or beyond a float.
bool asFloat(double v, float& out) {
  if (!std::isfinite(v) || std::fabs(v) > std::numeric_limits<float>::max()) return false;
  out = static_cast<float>(v);
  return true;
}
}  // namespace

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
  // Stored reals that are not numbers (or too large for the record) leave the record's values:
  // the engine's noise terms and dynamics must stay finite.
  float v;
  if (asFloat(r.mem, v)) p.mem = v;
  // A zero rms neither: the weights are one over its square.
  if (std::isfinite(r.rmsc) && r.rmsc != 0.0f) p.SetCodeRMS(r.rmsc);
  if (std::isfinite(r.rmsp) && r.rmsp != 0.0f) p.SetPhaseRMS(r.rmsp);
  if (asFloat(r.dyn, v)) p.SetDyn(v);
  p.SetInitKnown(r.fixpos != 0);
  if (std::isfinite(r.tempc)) p.tempc = r.tempc;
  if (std::isfinite(r.humid)) p.humid = r.humid;
  if (std::isfinite(r.press)) p.press = r.press;
  const RcvHeadingSettings& h = s.hd;
  p.hdMode = h.mode != 0;
  p.hdUseLen = h.uselen != 0;
  if (asFloat(h.len, v)) p.hdLen = v;
  if (std::isfinite(h.pen)) p.hdPen = h.pen;
  if (asFloat(h.memf, v)) p.hdMemf = v;
}
