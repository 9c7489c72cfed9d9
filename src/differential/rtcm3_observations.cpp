#include "differential/rtcm3_observations.h"

#include <cstring>

#include "navigation_data/store/sat_delta_time.h"
#include "navigation_data/sv_id.h"
#include "positioning/signal_tables.h"

namespace {

constexpr double kLightMs = 299792.458;  // m per millisecond
constexpr int kMaxMsmSat = 64;
constexpr int kMaxCells = 64;

struct LastMsm {
  std::uint8_t type;
  std::uint64_t satMask;
  std::uint32_t sigMask;
};
LastMsm lastMsm[kRtc3MsmSystems];

}  // namespace

bool getLastMsmInfo(int system, int& type, std::uint64_t& satMask, std::uint32_t& sigMask) {
  if (system < 0 || system >= kRtc3MsmSystems) return false;
  type = lastMsm[system].type;
  satMask = lastMsm[system].satMask;
  sigMask = lastMsm[system].sigMask;
  return true;
}

void clearLastMsmInfo() { std::memset(lastMsm, 0, sizeof lastMsm); }

bool rtcm3_ReadLegacyObs(int msgNum, BitReader& br, RTC3_OBS& obs) {
  const bool glonass = msgNum >= 1009;
  const int kind = (msgNum - (glonass ? 1009 : 1001));
  const bool extended = kind == 1 || kind == 3;
  const bool dual = kind >= 2;
  const int sys = glonass ? 1 : 0;
  const unsigned sync = br.read_(1);
  const int count = static_cast<int>(br.read_(5));
  const unsigned smooth = br.read_(1);
  const unsigned interval = br.read_(3);
  obs.system = static_cast<std::uint8_t>(sys);
  obs.flags = static_cast<std::uint16_t>(sync | (glonass ? 2u : 0u) | interval << 2 | smooth << 5 |
                                         (extended ? 64u : 0u) | (dual ? 0u : 128u));
  obs.numSat = 0;
  const int maxId = SYS_SAT_NUM[sys] < 32 ? SYS_SAT_NUM[sys] : 32;
  // Satellites past the 20th are read to the end so that a message cut short is still seen.
  for (int i = 0; i < count; ++i) {
    RTC3_LEGACY_SAT s{};
    s.sat = static_cast<std::uint8_t>(br.read_(6));
    s.flags = static_cast<std::uint8_t>(br.read_(1));
    if (glonass) s.channel = static_cast<std::uint8_t>(br.read_(5));
    s.pr1 = br.read_(glonass ? 25 : 24) * 0.02;
    const std::int32_t ph1 = br.readI(20);
    if (ph1 == -524288) s.flags |= kRtc3LegNoL1Phase;
    else s.phase1 = ph1 * 0.0005;
    s.lock1 = static_cast<std::uint8_t>(br.read_(7));
    if (extended) {
      s.ambiguity = static_cast<std::uint8_t>(br.read_(glonass ? 7 : 8));
      s.cnr1 = static_cast<std::uint8_t>(br.read_(8));
    }
    if (dual) {
      s.flags |= static_cast<std::uint8_t>(br.read_(2) << kRtc3LegL2CodeShift);
      const std::int32_t pr2 = br.readI(14);
      if (pr2 == -8192) s.flags |= kRtc3LegNoL2Range;
      else s.pr2 = pr2 * 0.02;
      const std::int32_t ph2 = br.readI(20);
      if (ph2 == -524288) s.flags |= kRtc3LegNoL2Phase;
      else s.phase2 = ph2 * 0.0005;
      s.lock2 = static_cast<std::uint8_t>(br.read_(7));
      if (extended) s.cnr2 = static_cast<std::uint8_t>(br.read_(8));
    } else {
      s.flags |= kRtc3LegNoL2Range | kRtc3LegNoL2Phase;
    }
    // ID 0 is "slot unknown" for GLONASS and names no satellite for GPS: nothing to keep.
    if (i < kRtc3ObsMaxSat && s.sat >= 1 && s.sat <= maxId) obs.legacy[obs.numSat++] = s;
  }
  return br.isOk();
}

namespace {

struct MsmLayout {
  int rangeBits;    // fine pseudorange width, 0 none
  double rangeUnit; // ms
  int phaseBits;
  double phaseUnit;
  int lockBits;
  int cnrBits;
};

const MsmLayout kLayouts[8] = {
    {0, 0, 0, 0, 0, 0},
    {15, 0x1p-24, 0, 0, 0, 0},
    {0, 0, 22, 0x1p-29, 4, 0},
    {15, 0x1p-24, 22, 0x1p-29, 4, 0},
    {15, 0x1p-24, 22, 0x1p-29, 4, 6},
    {15, 0x1p-24, 22, 0x1p-29, 4, 6},
    {20, 0x1p-29, 24, 0x1p-31, 10, 10},
    {20, 0x1p-29, 24, 0x1p-31, 10, 10},
};

constexpr int kMsmB2I = 14, kMsmB2b = 27;  // BeiDou MSM signal ids of the B2 carrier

// The compatibility half cycle taken off a cell's carrier. A BeiDou B2 cell names its satellite's
// generation by its signal (B2I from BeiDou-2, B2b from BeiDou-3), as the base knew it from its
// almanacs: this receiver's almanacs may not know the satellite yet, so the half cycle that a base
// puts on a BeiDou-2 satellite's B2I (the MSM compatibility kinds) follows the signal.
double msmCompatShift(int id, int slot, int sat, int sys, int kind) {
  if (sys != kSysBeidou || (id != kMsmB2I && id != kMsmB2b) || (kind >= 0 && kind < 3))
    return getMsmCompatPhaseOffset(slot, sat, sys, kind);
  // B2I is shifted where B1I is, B2b never.
  if (id == kMsmB2b || getMsmCompatPhaseOffset(0, sat, sys, kind) == 0.0) return 0.0;
  const double f = get_SvRatedFrequency(slot, sys, sat);
  return f > 1.0 ? PosData::kSpeedOfLight / 2.0 / f : 0.0;  // half the B2 wavelength
}
}  // namespace

bool rtcm3_ReadMsmObs(int msgNum, BitReader& br, int compatVendor, RTC3_OBS& obs) {
  const int sys = (msgNum - 1071) / 10;
  const int type = (msgNum - 1071) % 10 + 1;
  if (sys < 0 || sys >= kRtc3MsmSystems || type < 1 || type > 7) return false;
  const MsmLayout& lay = kLayouts[type];
  const bool withRate = type == 5 || type == 7;
  const bool full = type >= 4;

  const unsigned multi = br.read_(1);
  br.read_(3);  // IODS
  br.read_(7);  // reserved
  br.read_(2);  // clock steering
  br.read_(2);  // external clock
  const unsigned smooth = br.read_(1);
  const unsigned interval = br.read_(3);
  const std::uint64_t satMask = br.readUL(64);
  const std::uint32_t sigMask = br.read_(32);
  if (!br.isOk()) return false;

  int satPos[kMaxMsmSat];
  int nsat = 0;
  for (int i = 0; i < 64; ++i)
    if (satMask >> (63 - i) & 1u) satPos[nsat++] = i;
  int sigPos[32];
  int nsig = 0;
  for (int i = 0; i < 32; ++i)
    if (sigMask >> (31 - i) & 1u) sigPos[nsig++] = i;
  if (nsat * nsig > kMaxCells) return false;

  // Cells in satellite order, each with its satellite index and signal position.
  int cellSat[kMaxCells];
  int cellSig[kMaxCells];
  int ncell = 0;
  for (int i = 0; i < nsat; ++i)
    for (int j = 0; j < nsig; ++j)
      if (br.read_(1)) {
        cellSat[ncell] = i;
        cellSig[ncell++] = sigPos[j];
      }

  obs.system = static_cast<std::uint8_t>(sys);
  obs.flags = static_cast<std::uint16_t>(multi | (sys == 1 ? 2u : 0u) | interval << 2 | smooth << 5 |
                                         (full ? 64u : 0u));
  obs.numSat = static_cast<std::uint8_t>(nsat < kRtc3ObsMaxSat ? nsat : kRtc3ObsMaxSat);
  for (int i = 0; i < obs.numSat; ++i) {
    RTC3_MSM_SAT& s = obs.msm[i];
    std::memset(&s, 0, sizeof s);
    s.sat = static_cast<std::uint8_t>(satPos[i] + 1);
  }

  // Satellite data, field by field over all satellites.
  unsigned intMs[kMaxMsmSat] = {};
  double rough[kMaxMsmSat];
  int roughRate[kMaxMsmSat] = {};
  if (full)
    for (int i = 0; i < nsat; ++i) intMs[i] = br.read_(8);
  if (withRate)
    for (int i = 0; i < nsat; ++i) br.read_(4);  // extended satellite information
  for (int i = 0; i < nsat; ++i) rough[i] = br.read_(10) * (kLightMs / 1024.0);
  if (withRate)
    for (int i = 0; i < nsat; ++i) roughRate[i] = br.readI(14);

  // Signal data, field by field over all cells.
  std::int32_t fineRange[kMaxCells] = {}, finePhase[kMaxCells] = {}, fineRate[kMaxCells] = {};
  unsigned lock[kMaxCells] = {}, half[kMaxCells] = {}, cnr[kMaxCells] = {};
  if (lay.rangeBits)
    for (int c = 0; c < ncell; ++c) fineRange[c] = br.readI(lay.rangeBits);
  if (lay.phaseBits)
    for (int c = 0; c < ncell; ++c) finePhase[c] = br.readI(lay.phaseBits);
  if (lay.lockBits)
    for (int c = 0; c < ncell; ++c) lock[c] = br.read_(lay.lockBits);
  if (type >= 2)
    for (int c = 0; c < ncell; ++c) half[c] = br.read_(1);
  if (lay.cnrBits)
    for (int c = 0; c < ncell; ++c) cnr[c] = br.read_(lay.cnrBits);
  if (withRate)
    for (int c = 0; c < ncell; ++c) fineRate[c] = br.readI(15);
  if (!br.isOk()) return false;

  for (int i = 0; i < obs.numSat; ++i) obs.msm[i].intMs = static_cast<std::uint8_t>(intMs[i]);
  const std::int32_t rangeNa = lay.rangeBits ? -(1 << (lay.rangeBits - 1)) : 0;
  const std::int32_t phaseNa = lay.phaseBits ? -(1 << (lay.phaseBits - 1)) : 0;
  for (int c = 0; c < ncell; ++c) {
    const int i = cellSat[c];
    if (i >= kRtc3ObsMaxSat) continue;
    RTC3_MSM_SAT& s = obs.msm[i];
    float phaseOffset = 0.0f;
    const int slot = getMsmSlotIdx(cellSig[c] + 1, sys, true, phaseOffset);
    if (slot < 0 || slot >= kRtc3MsmSlots || ignoreMsmCell(slot, s.sat, sys) != 0) continue;
    const double offset = phaseOffset + msmCompatShift(cellSig[c] + 1, slot, s.sat, sys, compatVendor);
    RTC3_MSM_SIG& g = s.sig[slot];
    g = RTC3_MSM_SIG{};
    // 255 whole milliseconds means the base has no range for this satellite at all.
    const bool roughOk = !(full && intMs[i] == 255);
    if (lay.rangeBits && roughOk && fineRange[c] != rangeNa) {
      g.pr = rough[i] + fineRange[c] * lay.rangeUnit * kLightMs;
      g.flags |= kRtc3MsmRangeValid;
    }
    if (lay.phaseBits && roughOk && finePhase[c] != phaseNa) {
      g.phase = rough[i] - offset + finePhase[c] * lay.phaseUnit * kLightMs;
      g.flags |= kRtc3MsmPhaseValid;
    }
    g.lock = static_cast<std::uint16_t>(lock[c]);
    if (half[c]) g.flags |= kRtc3MsmHalfCycle;
    if (lay.cnrBits) {
      g.cnr = static_cast<std::uint8_t>(lay.cnrBits == 10 ? (cnr[c] + 8) >> 4 : cnr[c]);
      g.flags |= kRtc3MsmCnr;
    }
    if (withRate && roughOk && roughRate[i] != -8192 && fineRate[c] != -16384) {
      g.rate = static_cast<float>(roughRate[i] + fineRate[c] * 0.0001);
      g.flags |= kRtc3MsmRate;
    }
  }
  lastMsm[sys] = LastMsm{static_cast<std::uint8_t>(type), satMask, sigMask};
  return true;
}
