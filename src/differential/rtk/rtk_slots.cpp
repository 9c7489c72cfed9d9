#include "differential/rtk/rtk_slots.h"

#include <cstring>

#include "differential/rtk/cpd_params.h"
#include "positioning/data_servers/pos_setup_types.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/signal_tables.h"

namespace {
// Per current system the inter-system weight pair: GLONASS is weighted down, the more so in
// the table of the double-check weighting.
constexpr double kAlphaGlo = 0.005;
constexpr double kAlphaGloDbl = 0.01;
}  // namespace

int systime(int sys) {
  if (sys < 0 || sys >= kRtkSysNum) return -1;
  return sys == CpdSv::kGlonass ? 1 : 0;
}

bool cpdSlotSv(int slot, CpdSv& out) {
  if (slot < 0 || slot >= kRtkSlots) return false;
  return CpdSv::fromId(slot + 1, out);
}

double calcSvFreq(int slot, int sig) {
  CpdSv sv;
  if (!cpdSlotSv(slot, sv)) return 1.0;
  const int navSys = sysCpd2Nav(sv.sys);
  const int band = slotCpd2Cdat(sig);
  if (navSys == 255 || band == 255) return 1.0;
  // GLONASS signals are looked up by frequency channel + 7, the others by their number.
  return get_SvRatedFrequency(band, navSys, sv.sys == CpdSv::kGlonass ? sv.num + 7 : sv.num);
}

// ---- RtkChan ----------------------------------------------------------------------------------
int RtkChan::curSys[kMaxSys] = {};
int RtkChan::curSysNum = 0;
int RtkChan::curSigNum = 0;
int RtkChan::curStateNum = 3;
int RtkChan::curSys_z[kBaselines][kMaxSys] = {};
int RtkChan::curSysNum_z[kBaselines] = {};
int RtkChan::curSigNum_z[kBaselines] = {};
int RtkChan::curStateNum_z[kBaselines] = {3, 3};

void RtkChan::defaultUsableSys() {
  int n = 0;
  for (std::int8_t sys : sysPriority) {
    if (n >= kMaxSys) break;
    if (cpdParams.useSys[sys]) curSys[n++] = sys;
  }
  for (int i = n; i < kMaxSys; ++i) curSys[i] = 0;
  curSysNum = n;
  curSigNum = 2 * n;
  curStateNum = 2 * n + 3;
}

void RtkChan::assignUsableSys_z(int bl) {
  if (bl < 0 || bl >= kBaselines) return;
  for (int i = 0; i < kMaxSys; ++i) curSys_z[bl][i] = curSys[i];
  curSysNum_z[bl] = curSysNum;
  curSigNum_z[bl] = curSigNum;
  curStateNum_z[bl] = curStateNum;
}

int RtkChan::tableMask(int sys) {
  if (sys < 0 || sys >= kRtkSysNum) return 0;
  int m = 0;
  for (int k = 0; k < kGroupLen; ++k) {
    if (l1Sig[sys][k] != kNoSig) m |= 1 << l1Sig[sys][k];
    if (l2Sig[sys][k] != kNoSig) m |= 1 << l2Sig[sys][k];
  }
  return m;
}

void RtkChan::getUsableSlots(int out[kRtkSysNum], const PosSetup::SatProcessorSetupType* setup) {
  int useMask = 0;
  for (int s = 0; s < kRtkSigNum; ++s)
    if (cpdParams.useSlot[s]) useMask |= 1 << s;
  for (int sys = 0; sys < kRtkSysNum; ++sys) {
    out[sys] = 0;
    if (!cpdParams.useSys[sys] || setup == nullptr) continue;
    std::uint32_t sigMask;
    std::memcpy(&sigMask, setup->aBytes + PosSetup::kSatSignalMaskOffset + 4 * sys, sizeof sigMask);
    out[sys] = tableMask(sys) & useMask & static_cast<int>(sigMask);
  }
}

void RtkChan::getUsableSlots(int out[kRtkSysNum]) {
  PosSetup::SatProcessorSetupType setup;
  const bool have = PVTDataInstance.satProcessorSetup.Take(&setup);
  getUsableSlots(out, have ? &setup : nullptr);
}

// ---- inter-system tables ------------------------------------------------------------------------
double ALPHAT[RtkChan::kMaxSys][2] = {};
double _ALPHAT[RtkChan::kMaxSys][2] = {};

void initRtkSysTables() {
  for (int i = 0; i < RtkChan::kMaxSys && i < RtkChan::curSysNum; ++i) {
    const int sys = RtkChan::curSys[i];
    const bool glo = sys == CpdSv::kGlonass;
    ALPHAT[i][0] = ALPHAT[i][1] = glo ? kAlphaGlo : 1.0;
    _ALPHAT[i][0] = _ALPHAT[i][1] = glo ? kAlphaGloDbl : 1.0;
  }
}
