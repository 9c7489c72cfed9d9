#include "positioning/engine/ref_clock.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "positioning/chan_data.h"
#include "positioning/placeholders.h"

namespace {

constexpr double kC = PosData::kSpeedOfLight;
constexpr double kLowSignalVariance = 10.0;  // m^2, for a level below 1 dB-Hz
constexpr double kLowSignalRateWeight = 10.0;

}  // namespace

bool refClockStoreCorrection(const SvIdType& sv, double& correction, double& variance, double& rate) {
  SatData::CorrectionDataType r;
  if (PVTDataInstance.satCorrection.Take(&sv, &r) == 0) return false;
  correction = variance = rate = 0.0;
  if (r.iono.bValid != 0) {
    correction += r.iono.fCorrection;
    variance += r.iono.fVariance;
  }
  if (r.tropo.bValid != 0) {
    correction += r.tropo.fCorrection;
    variance += r.tropo.fVariance;
    rate += r.tropo.fRate;
  }
  return r.iono.bValid != 0 || r.tropo.bValid != 0;
}

namespace {
// The orbit at the transmission time from the measurement processor, health required.
bool measSatPosAndClock(const SvIdType& sv, double timeSec, ChanSatDataType& rec) {
  std::uint16_t iod = kPolyNoIod;
  int dataType = 255;
  return SatelliteMeasurementProcessorInstance.update_SatPosAndClockData(sv, timeSec, true, iod, dataType, rec) ==
         kPolyOk;
}

const RefClockLinks kEngineLinks{measSatPosAndClock, refClockStoreCorrection};

// Variance of a pseudorange from the signal level s (dB-Hz): 10 / s.
double levelVariance(double s) { return s < 1.0 ? kLowSignalVariance : 10.0 / s; }
double rateWeight(double s) { return s < 1.0 ? kLowSignalRateWeight : std::sqrt(100.0 * s); }

}  // namespace

RefClockProcessor RefClockProcessorInstance(&PVTDataInstance, kEngineLinks);

double rangeWithEarthRotation(const double sat[3], const double rcv[3]) {
  const double dx = sat[0] - rcv[0], dy = sat[1] - rcv[1], dz = sat[2] - rcv[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz) + (sat[0] * rcv[1] - rcv[0] * sat[1]) * kEarthRotationOverC;
}

bool orbitAtTransmission(const RefClockLinks& links, const SvIdType& sv, std::uint32_t ms, double code, double clock,
                         ChanSatDataType& rec) {
  if (links.satPosAndClock == nullptr) return false;
  const double t = ms * 0.001 - code + clock / kC;
  if (!links.satPosAndClock(sv, t, rec)) return false;
  const double bias = satClockBias(rec);
  return std::isfinite(bias) && links.satPosAndClock(sv, t - bias, rec);
}

bool epochSystemTime(const PosData::RcvTimeDataType& t, int sys, std::uint32_t& ms) {
  const PosData::RcvTimeDataType::SysTime* b = nullptr;
  switch (sys) {
    case kSysGps: b = &t.gps; break;
    case kSysGlonass: b = &t.glo; break;
    case kSysGalileo: b = &t.gal; break;
    case kSysSbas: b = &t.sbas; break;
    case kSysQzss: b = &t.qzss; break;
    case kSysBeidou: b = &t.bds; break;
    case kSysNavic: b = &t.irn; break;
    default: return false;
  }
  if (b->uStatus[0] == 0) return false;
  ms = b->ulMs;
  return true;
}

RefClockProcessor::RefClockProcessor(PVTDataType* store, const RefClockLinks& links)
    : pStore_(store),
      links_(links),
      A_(kMaxSats, SYS_NUM, false),
      At_(SYS_NUM, kMaxSats, false),
      N_(SYS_NUM, SYS_NUM, false),
      b_(kMaxSats, false),
      g_(SYS_NUM, false),
      dx_(SYS_NUM, false) {}

void RefClockProcessor::input_RefPosition(bool useWgs, const double wgs[3], bool usePe9, const double pe9[3]) {
  bool moved = false;
  for (int k = 0; k < 3; ++k) {
    if (bUseWgs_ && useWgs && std::fabs(dWgs_[k] - wgs[k]) > kRefPosTolerance) moved = true;
    if (bUsePe9_ && usePe9 && std::fabs(dPe9_[k] - pe9[k]) > kRefPosTolerance) moved = true;
  }
  if (useWgs) std::memcpy(dWgs_, wgs, sizeof dWgs_);
  if (usePe9) std::memcpy(dPe9_, pe9, sizeof dPe9_);
  const bool changed = (bUseWgs_ != 0) != useWgs || (bUsePe9_ != 0) != usePe9;
  bUseWgs_ = useWgs ? 1 : 0;
  bUsePe9_ = usePe9 ? 1 : 0;
  if (changed || moved) restartFilter();
}

bool RefClockProcessor::systemOffset(int sys, double& value) const {
  double sign = 0.0;
  const int k = PosData::get_DtIndex(iRefSystem_, sys, sign);
  if (iRefSystem_ < 0 || sys == iRefSystem_ || k < 0 || !pair_[k].data.is_Valid()) return false;
  value = pair_[k].data.dValue * sign;
  return true;
}

int RefClockProcessor::update() {
  if (pStore_ == nullptr || pStore_->lmsEngineSetup.Take(&setup_) == 0) return 0;
  PVTEngineEpochDataType* e = pStore_->epochData.GetPointer();
  if (e == nullptr) return 0;
  const int base = epochChannelBase(*e);
  if (base < 0) {
    update_FilteredRefClockData(*e, false);
    return 0;
  }
  EpochSatCommonDataType& sats = *e->pEpochSatData;
  init_EpochData(*e, sats, base);
  bool solved = update_OperationMode(sats, base) != 0;
  if (solved) {
    init_ClockData(*e);
    init_AprioryDeltaTime(*e);
    solved = update_MeasurementMatrix(*e, sats, base);
    for (int it = 0; solved && it < kMaxIterations; ++it) {
      if (it > 0) solved = update_MeasurementMatrix(*e, sats, base);
      if (solved) solved = update_Solution();
      if (!solved) break;
      double sum = 0.0;
      for (int j = 0; j < iUnknowns_; ++j) sum += dx_[j] * dx_[j];
      if (sum < kConvergence) break;
    }
  }
  if (solved) update_RefClockData(*e);
  update_FilteredRefClockData(*e, solved);
  return solved ? 1 : 0;
}

bool RefClockProcessor::usableForClock(const ChanSatDataType& s) const {
  return satHasSlot(s) && s.sv.sys != kSysSbas && (s.ulFlags & EpochSatFlags::kNotUsable) == 0;
}

void RefClockProcessor::init_EpochData(PVTEngineEpochDataType& e, EpochSatCommonDataType& sats, int base) {
  // The list: channels with a satellite that is not excluded and has a direction.
  int n = 0;
  for (int k = 0; k < kMaxSats; ++k) {
    ChanSatDataType& s = sats.chan[base + k];
    if (!satHasSlot(s) || (s.ulFlags & EpochSatFlags::kNotListed) != 0) continue;
    if (s.fElevation == 0.0f && s.fAzimuth == 0.0f) continue;
    s.uIod = EpochSatFlags::kNoIssue;
    if (s.fElevation >= kMinElevation) sats.uList[n++] = static_cast<std::uint8_t>(k);
  }
  sats.uListCount = static_cast<std::uint8_t>(n);
  // Highest first; an exchange sort bounded by n x n + 100 comparisons.
  long budget = static_cast<long>(n) * n + 100;
  for (bool swapped = true; swapped && budget > 0;) {
    swapped = false;
    for (int i = 0; i + 1 < n && budget > 0; ++i, --budget) {
      if (sats.chan[base + sats.uList[i]].fElevation < sats.chan[base + sats.uList[i + 1]].fElevation) {
        const std::uint8_t t = sats.uList[i];
        sats.uList[i] = sats.uList[i + 1];
        sats.uList[i + 1] = t;
        swapped = true;
      }
    }
  }
  if (e.dEpochInterval != dLastInterval_) restartFilter();
  dLastInterval_ = e.dEpochInterval;

  const double prior = expectedClock(e);
  for (int i = 0; i < n; ++i) {
    const int k = sats.uList[i];
    ChanSatDataType& s = sats.chan[base + k];
    if (s.sv.sys == kSysSbas) continue;
    const ChanData* ch = e.pChanData != nullptr ? &e.pChanData[k] : nullptr;
    s.ulFlags &= ~EpochSatFlags::kNoCodeSignal;
    const int u = firstUsableSignal(ch);
    if (u < 0) {
      s.ulFlags |= EpochSatFlags::kNoCodeSignal;
    } else {
      const ChanSigData* sig = ch->sig(u);
      if (sig->smCnt < ChanData::xMaxSmCnt || s.uExclude[u] != 0 || !refPositionInUse(s.sv.sys))
        s.ulFlags |= EpochSatFlags::kNoCodeSignal;
    }
    if (s.uIod == EpochSatFlags::kNoIssue) {
      s.ulFlags |= EpochSatFlags::kNoOrbit;
      std::uint32_t ms = 0;
      if (u >= 0 && epochSystemTime(e.rcvTime, s.sv.sys, ms) &&
          orbitAtTransmission(links_, s.sv, ms, ch->sig(u)->code, prior, s))
        s.ulFlags &= ~EpochSatFlags::kNoOrbit;
    }
  }
  for (int k = 0; k < SYS_NUM; ++k) sats.uSystemUse[k] = e.board.solAln.sys21[k].uByte[0];
}

int RefClockProcessor::update_OperationMode(const EpochSatCommonDataType& sats, int base) {
  std::memset(uSysUse_, 0, sizeof uSysUse_);
  std::memset(uSysCount_, 0, sizeof uSysCount_);
  for (auto& c : iSysColumn_) c = -1;
  iUnknowns_ = 0;
  int total = 0;
  for (int i = 0; i < sats.uListCount; ++i) {
    const ChanSatDataType& s = sats.chan[base + sats.uList[i]];
    if (!usableForClock(s)) continue;
    uSysUse_[s.sv.sys] = 1;
    ++uSysCount_[s.sv.sys];
    ++total;
  }
  const int wanted = setup_.aBytes[kSetupRefSystemByte];
  iRefSystem_ = -1;
  if (wanted == kAutoRefSystem) {
    for (int k = 0; k < SYS_NUM && iRefSystem_ < 0; ++k)
      if (uSysUse_[k]) iRefSystem_ = k;
  } else if (wanted < SYS_NUM && uSysUse_[wanted]) {
    iRefSystem_ = wanted;
  }
  if (total == 0 || iRefSystem_ < 0) return 0;
  iSysColumn_[iRefSystem_] = 0;
  iUnknowns_ = 1;
  for (int k = 0; k < SYS_NUM; ++k)
    if (uSysUse_[k] && k != iRefSystem_) iSysColumn_[k] = static_cast<std::int8_t>(iUnknowns_++);
  return iUnknowns_;
}

double RefClockProcessor::expectedClock(const PVTEngineEpochDataType& e) const {
  if (!bLastOffset_ || !bLastDrift_) return 0.0;
  const double dt = static_cast<double>(static_cast<std::int32_t>(e.rcvTime.ulTimeTag - ulLastTag_)) * 0.001;
  return dLastOffset_ + dt * dLastDrift_;
}

void RefClockProcessor::init_ClockData(const PVTEngineEpochDataType& e) {
  dX_[0] = expectedClock(e);
  for (int k = 0; k < SYS_NUM; ++k) {
    const int j = iSysColumn_[k];
    if (j <= 0) continue;
    double v = 0.0;
    dX_[j] = systemOffset(k, v) ? v : 0.0;
  }
}

void RefClockProcessor::init_AprioryDeltaTime(const PVTEngineEpochDataType& e) {
  PosData::SatdataDeltaTimeType dt;
  const bool have = pStore_->satdataDeltaTime.Take(&dt) != 0;
  const int ms = static_cast<int>(e.rcvTime.gps.ulMs);
  for (int k = 0; k < SYS_NUM; ++k) {
    double v = 0.0;
    // Receiver clock against system k less that against the reference: reference time minus
    // system time.
    dApriori_[k] = have && k != iRefSystem_ && dt.get_DeltaTime(k, iRefSystem_, ms, v) ? v : 0.0;
  }
}

bool RefClockProcessor::update_MeasurementMatrix(const PVTEngineEpochDataType& e, EpochSatCommonDataType& sats,
                                                 int base) {
  iRows_ = 0;
  double driftSum = 0.0, driftWeight = 0.0;
  for (int i = 0; i < sats.uListCount && iRows_ < kMaxSats; ++i) {
    const int k = sats.uList[i];
    ChanSatDataType& s = sats.chan[base + k];
    if (!usableForClock(s) || iSysColumn_[s.sv.sys] < 0 || e.pChanData == nullptr) continue;
    const ChanData& ch = e.pChanData[k];
    const int u = firstUsableSignal(&ch);
    if (u < 0) continue;
    const ChanSigData& sig = *ch.sig(u);
    const double* rp = refPosition(s.sv.sys);
    const double r = rangeWithEarthRotation(s.dPos, rp);
    if (!(r > 0.0)) continue;
    double los[3];
    for (int a = 0; a < 3; ++a) los[a] = (s.dPos[a] - rp[a]) / r;
    double corr = 0.0, corrVar = 0.0, corrRate = 0.0;
    if (links_.satCorrection == nullptr || !links_.satCorrection(s.sv, corr, corrVar, corrRate))
      corr = corrVar = corrRate = 0.0;
    const int col = iSysColumn_[s.sv.sys];
    const double model = r + dX_[0] + (col > 0 ? dX_[col] : 0.0) + dApriori_[s.sv.sys];
    const double v = (sig.code + satClockBias(s) - static_cast<double>(sig.tgd)) * kC - model + corr;
    const double level = sig.cn0;
    const double w = 1.0 / std::sqrt(static_cast<double>(s.fVariance) + corrVar + levelVariance(level));
    if (!std::isfinite(v) || !std::isfinite(w)) continue;
    for (int j = 0; j < iUnknowns_; ++j) A_[iRows_][j] = 0.0;
    A_[iRows_][0] = w;
    if (col > 0) A_[iRows_][col] = w;
    b_[iRows_] = w * v;
    uRowChannel_[iRows_] = static_cast<std::uint8_t>(k);
    ++iRows_;
    // Range rate: the Doppler against the satellite's motion along the line of sight; what is
    // left is the receiver clock's drift (the satellite clock's own drift taken out).
    if (sig.freq > 1.0) {
      const double wavelength = kC / sig.freq;
      const double rr = los[0] * s.dVel[0] + los[1] * s.dVel[1] + los[2] * s.dVel[2];
      const double d = wavelength * sig.doppler - rr + satClockDrift(s) * kC + corrRate;
      const double wd = rateWeight(level);
      if (std::isfinite(d)) {
        driftSum += wd * d;
        driftWeight += wd;
      }
    }
  }
  bDrift_ = driftWeight > 0.0 ? 1 : 0;
  dDrift_ = bDrift_ ? driftSum / driftWeight : 0.0;
  return iRows_ >= iUnknowns_ && iUnknowns_ > 0;
}

bool RefClockProcessor::update_Solution() {
  if (!A_.setSize(iRows_, iUnknowns_) || !b_.setSize(iRows_) || !At_.transpos(A_) || !N_.mulMxMx(At_, A_) ||
      !g_.mulMxVc(At_, b_))
    return false;
  if (invert_Chol(N_) == 0) return false;
  if (!dx_.mulMxVc(N_, g_)) return false;
  for (int j = 0; j < iUnknowns_; ++j) {
    if (!std::isfinite(dx_[j])) return false;
    dX_[j] += dx_[j];
  }
  return true;
}

void RefClockProcessor::update_RefClockData(const PVTEngineEpochDataType& e) {
  const double interval = e.dEpochInterval > 0.0 ? e.dEpochInterval : 1.0;
  for (int k = 0; k < SYS_NUM; ++k) {
    const int j = iSysColumn_[k];
    if (j <= 0) continue;
    double sign = 0.0;
    const int p = PosData::get_DtIndex(iRefSystem_, k, sign);
    if (p < 0) continue;
    PosData::OneFilteredDataType& st = pair_[p];
    const double measured = dX_[j] * sign;
    const double smoothed = st.ulFilterCount * 0.001;  // s
    if (st.data.is_Valid() && smoothed > 0.0) {
      const double tau = smoothed < kSmoothingLimit ? smoothed : kSmoothingLimit;
      double alpha = interval / tau;
      if (alpha > 1.0) alpha = 1.0;
      st.data.dValue = (1.0 - alpha) * st.data.dValue + alpha * measured;
    } else {
      st.data.dValue = measured;
    }
    st.add_FilterCount(static_cast<std::uint32_t>(std::llround(std::min(interval * 1000.0, 4.0e9))));
    st.data.set_Valid(true);
  }
  // A new reference system: the filter follows the offset between the old and the new one (as
  // last smoothed), so that the change does not read as a clock jump; without a known offset
  // between the two it starts afresh.
  if (iLastRefSystem_ >= 0 && iLastRefSystem_ != iRefSystem_) {
    double old = 0.0;
    if (systemOffset(iLastRefSystem_, old)) filter_.x[0] -= old + dApriori_[iLastRefSystem_];
    else restartFilter();
  }
  iLastRefSystem_ = iRefSystem_;

  dLastOffset_ = dX_[0];
  ulLastTag_ = e.rcvTime.ulTimeTag;
  bLastOffset_ = 1;
  if (bDrift_) {
    dLastDrift_ = dDrift_;
    bLastDrift_ = 1;
  }
  ulLastSolutionTag_ = e.rcvTime.ulTimeTag;

  clock_.uRefSystem = static_cast<std::uint8_t>(iRefSystem_);
  clock_.uRefSignal = static_cast<std::uint8_t>(iRefSystem_);
  for (int k = 0; k < PosData::ClockDataType::kSignals; ++k)
    clock_.uSignalSystem[k] = uSysUse_[k] ? static_cast<std::uint8_t>(k) : PosData::ClockDataType::kNone;
  clock_.dOffset = dX_[0];
  clock_.bOffsetValid = 1;
  clock_.fOffsetSigma = 0.0f;
  clock_.dDrift = dDrift_;
  clock_.bDriftValid = bDrift_;
  clock_.ulTimeTag = e.rcvTime.ulTimeTag;
  for (auto& d : clock_.systemDelta) d = PosData::ClockDataType::DeltaType{};
  for (int k = 0; k < SYS_NUM; ++k) {
    double sign = 0.0;
    const int p = PosData::get_DtIndex(iRefSystem_, k, sign);
    if (k == iRefSystem_ || p < 0) continue;
    double smoothed = 0.0;
    const bool have = systemOffset(k, smoothed);
    if (!have && dApriori_[k] == 0.0) continue;
    clock_.systemDelta[p].dDelta = (dApriori_[k] + smoothed) * sign;
    clock_.systemDelta[p].fSigma = 0.0f;
    clock_.systemDelta[p].bValid = 1;
  }
}

void RefClockProcessor::update_FilteredRefClockData(const PVTEngineEpochDataType& e, bool solved) {
  filter_.set(e.dEpochInterval > 0.0 ? e.dEpochInterval : 1.0, kProcessNoise);
  if (bFilterInit_) {
    filter_.predict();
    if (!solved) {
      // No measurement: the prediction stands, its covariance grows.
      filter_.r[0] = filter_.r[1] = HUGE_VAL;
      filter_.update();
      filter_.x[0] = filter_.xp[0];
      filter_.x[1] = filter_.xp[1];
      bResetPending_ = 1;
    } else if (bResetPending_) {
      filter_.reset(dX_[0], dDrift_, kOffsetVariance, kDriftVariance);
      bResetPending_ = 0;
    } else {
      const double diff = dX_[0] - filter_.xp[0];
      if (diff > kJumpLimit || diff < -kJumpLimit) dJump_ += diff;
      filter_.update(dX_[0], dDrift_, kOffsetVariance, kDriftVariance, e.rcvTime.ulTimeTag);
    }
  } else if (solved) {
    filter_.reset(dX_[0], dDrift_, kOffsetVariance, kDriftVariance);
    bFilterInit_ = 1;
    bResetPending_ = 0;
  }
  if (!bFilterInit_) {
    clock_.bFilteredOffsetValid = clock_.bFilteredDriftValid = 0;
    clock_.dFilteredOffset = clock_.dFilteredDrift = 0.0;
    return;
  }
  double x0 = 0.0, x1 = 0.0, p00 = 0.0, p11 = 0.0;
  filter_.get(x0, x1, p00, p11);
  const double since = static_cast<double>(static_cast<std::int32_t>(e.rcvTime.ulTimeTag - ulLastSolutionTag_)) * 0.001;
  clock_.dFilteredOffset = x0;
  clock_.fFilteredOffsetSigma[1] = static_cast<float>(std::sqrt(p00));
  clock_.fFilteredOffsetSigma[0] = static_cast<float>(std::sqrt(p00) + 0.5 * (since > 0.0 ? since : 0.0));
  clock_.bFilteredOffsetValid = 1;
  clock_.dFilteredDrift = x1;
  clock_.fFilteredDriftSigma = static_cast<float>(std::sqrt(p11));
  clock_.bFilteredDriftValid = 1;
  clock_.ulFilteredTimeTag = e.rcvTime.ulTimeTag;
}
