#include "positioning/engine/epoch_solution.h"

#include <cstring>

#include "positioning/chan_data.h"
#include "positioning/engine/sat_meas_processor.h"
#include "settings/rcv_settings.h"

namespace {

// Satellite states of the epoch's channel entries.
constexpr std::uint8_t kSatUsed = 0;
constexpr std::uint8_t kSatExcluded = 22;
// Base of the excluded-satellite numbers of each system.
constexpr std::uint16_t kExcludedBase[7] = {1, 193, 300, 400, 500, 600, 700};

double wordsAsDouble(const std::uint32_t* w) {
  double d;
  std::memcpy(&d, w, sizeof d);
  return d;
}

bool bothSet(const std::uint8_t f[2]) { return f[0] != 0 && f[1] != 0; }

}  // namespace

std::int32_t solTypeFromStatus(std::uint32_t s) {
  if (s & (1u << 12)) return SolType::kStatusBit12;
  if (s & (7u << 8)) return SolType::kStatusBits8to10;
  if (s & (3u << 6)) return SolType::kStatusBits67;
  if (s & (3u << 4)) return SolType::kStatusBits45;
  return SolType::kNone;  // bits 0-1 or nothing: the same code
}

std::uint8_t navModeCode(std::uint8_t mode) {
  switch (mode) {
    case 0: return 0;
    case 1: return 2;
    case 2: return 4;
    case 5: return 3;
    default: return 1;
  }
}

std::uint8_t sysUsedCode(const std::uint8_t used[7]) {
  int n = 0, only = 0;
  for (int k = 0; k < 7; ++k)
    if (used[k] != 0) {
      ++n;
      only = k;
    }
  if (n == 0) return 0;
  return static_cast<std::uint8_t>(n == 1 ? only + 1 : 8);
}

// The board record's fields by meaning: uFlag2 position valid, u0 navigation mode, u1 further
// status, ul3 status word, sys21[k].uByte[0] system k used, ulPos88 the six position doubles
// (X, Y, Z, latitude, longitude, height), vel136 the two velocity blocks, tv271 the clock,
// ov297 the drift, uFlag1195/ul1196 the seven accuracy values, ov345 the extra block.
void clear_SolutionFlags(BoardEpochPart& b) {
  b.bSolAln = 0;
  BoardSolAlnType& s = b.solAln;
  s.uFlag2 = 0;
  std::memset(s.uFlag77, 0, sizeof s.uFlag77);
  std::memset(s.tv271.uFlag, 0, sizeof s.tv271.uFlag);
  std::memset(s.ov297.uFlag, 0, sizeof s.ov297.uFlag);
  s.uFlag1195 = 0;
  std::memset(s.ov345.uFlag, 0, sizeof s.ov345.uFlag);
}

void collect_Satellites(const PVTEngineEpochDataType& e, bool full, SatData::SatelliteListType& list,
                        NavTask::NAV_SOL& sol) {
  sol.uNumUsed = 0;
  sol.uNumExcluded = 0;
  const ChanData* chan = e.pChanData;
  if (chan == nullptr) return;
  // The entries of the antenna input whose channel records were given.
  int base = 0;
  if (chan >= Cdat && chan < Cdat + kCdatChannels) base = static_cast<int>(chan - Cdat);
  if (base + kCdatPerInput > kBoardChannels) return;
  // The satellites are those the measurement processor resolved for the channels this epoch
  // (identity in the navigation layer's numbering); the board's record adds whether its
  // solution used or excluded each.
  const EpochSatCommonDataType* sats = e.pEpochSatData;
  if (sats == nullptr || sats->uFilled != EpochSatCommonDataType::kFilled) return;
  for (int i = 0; i < kCdatPerInput; ++i) {
    if (chan[i].bDataPresent == 0) continue;
    const SvIdType& sv = sats->chan[base + i].sv;
    if (!sv.isValidSat()) continue;
    const EpochChanEntryType& c = e.board.chan[base + i];
    if (c.uState == kSatUsed) {
      // The mask is by tracking index, as the locked list and the correction stages read it.
      if (full && sv.isValidSi() && sv.si < 64) list.ullMask[sv.sys] |= std::uint64_t{1} << sv.si;
      if (sol.uNumUsed < NavTask::NAV_SOL::kMaxSats) {
        sol.uUsedChan[sol.uNumUsed] = static_cast<std::uint8_t>(i);
        sol.fUsedValue[sol.uNumUsed] = c.fSatValue;
        ++sol.uNumUsed;
      }
    } else if (c.uState == kSatExcluded && sol.uNumExcluded < NavTask::NAV_SOL::kMaxSats) {
      sol.uExcluded[sol.uNumExcluded++] = static_cast<std::uint16_t>(kExcludedBase[sv.sys] + sv.sat);
    }
  }
}

PosData::PositionDataType solutionPosition(const BoardSolAlnType& s) {
  PosData::PositionDataType p{};
  const std::uint32_t* w = &s.ulPos88[0][0];
  p.dX = wordsAsDouble(w);
  p.dY = wordsAsDouble(w + 2);
  p.dZ = wordsAsDouble(w + 4);
  p.dLat = wordsAsDouble(w + 6);
  p.dLon = wordsAsDouble(w + 8);
  p.dHeight = wordsAsDouble(w + 10);
  p.bValid = s.uFlag2 != 0 ? 1 : 0;
  return p;
}

PosData::VelocityDataType solutionVelocity(const BoardSolAlnType& s) {
  PosData::VelocityDataType v{};
  v.bValid = s.vel136[0].uFlag[0] != 0 ? 1 : 0;
  for (int k = 0; k < 3; ++k) {
    v.dFirstVector[k] = s.vel136[0].dValue[k][0];
    v.dSecondVector[k] = s.vel136[1].dValue[k][0];
  }
  return v;
}

void copy_Solution(const BoardEpochPart& b, bool singleClock, NavTask::NAV_SOL& sol) {
  const BoardSolAlnType& s = b.solAln;
  NavTask::NAV_POS& p = sol.pos;
  sol.solType = SolType::kNone;
  p.bValid = p.bVelValid = p.bAccValid = p.bExtraValid = p.bSigmaValid = 0;
  sol.bClockValid = sol.bDriftValid = 0;
  const bool posValid = b.bSolAln != 0 && s.uFlag2 != 0;
  if (!posValid) {
    sol.solType = solTypeFromStatus(s.ul3);
  } else {
    sol.solType = SolType::kPosition;
    p.bValid = 1;
    p.uStatus = s.u1;
    std::uint8_t used[7];
    for (int k = 0; k < 7; ++k) used[k] = s.sys21[k].uByte[0];
    p.uSysUsed = sysUsedCode(used);
    const std::uint32_t* w = &s.ulPos88[0][0];
    for (int k = 0; k < 3; ++k) {
      p.dXyz[k] = wordsAsDouble(w + 2 * k);
      p.dBlh[k] = wordsAsDouble(w + 6 + 2 * k);
      p.dVel[k] = s.vel136[0].dValue[k][0];
      p.dVel2[k] = s.vel136[1].dValue[k][0];
    }
    // The velocity counts as the velocity server takes it: by its first block's flag. Left
    // invalid, no standalone solution would ever report its course and speed.
    p.bVelValid = s.vel136[0].uFlag[0] != 0 ? 1 : 0;
    sol.status = NavTask::NAV_SOL::kGood;
  }
  p.iSolType = sol.solType;

  if (bothSet(s.tv271.uFlag)) {
    sol.bClockValid = 1;
    sol.dClock = s.tv271.dValue[0];
    if (!singleClock) sol.dClock2 = s.tv271.dValue[0];
    sol.dClockB = s.tv271.dValue[1];
    sol.bClockFromRef = (s.tv271.ulWord[0] & 0xFF) == 0 ? 1 : 0;
  }
  if (bothSet(s.ov297.uFlag)) {
    sol.bDriftValid = 1;
    sol.dDrift = s.ov297.dValue * 1.0;
    sol.dDrift2 = 0;
  }
  // The dilutions of precision come in the order E, H, V, T, G, P, N; the record keeps them G, P,
  // N, E, H, V, T. The first accuracy block holds the position's standard deviations.
  if (s.uFlag1195 != 0) {
    static constexpr int kOrder[7] = {4, 5, 6, 0, 1, 2, 3};
    for (int k = 0; k < 7; ++k) p.ulAcc[k] = s.ul1196[kOrder[k]];
    p.bAccValid = 1;
  }
  if (s.acc1224[0].uFlag != 0) {
    for (int k = 0; k < 6; ++k) p.ulSigma[k] = s.acc1224[0].ulWord[k];
    p.bSigmaValid = 1;
  }
  if (bothSet(s.ov345.uFlag)) {
    p.ulExtra[0] = s.ov345.ulWord[0];
    p.ulExtra[1] = s.ov345.ulWord[1];
    p.bExtraValid = 1;
  }
  p.uNavMode = navModeCode(s.u0);
}
