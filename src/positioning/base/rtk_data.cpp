// The RTK base data of an epoch: every selected satellite's signals as measured, and, where the
// station position and the satellite's orbit are known, the computed range and range rate they
// are compared with.
#include <cmath>
#include <cstring>

#include "positioning/base/base_processing.h"
#include "positioning/chan_data.h"

namespace {

constexpr double kC = PosData::kSpeedOfLight;
constexpr std::int64_t kWeekMs = 604800000;
constexpr std::int64_t kDayMs = 86400000;
constexpr int kMoscowOffsetSec = 10800;  // GLONASS time is UTC + 3 h


void fillSignals(const ChanSatDataType& sat, const ChanData* ch, bool computed, double range, double rate,
                 double o, const BaseSettings& s, RTK_DATA_SV& out) {
  const int first = firstUsableSignal(ch);
  const float firstCn0 = ch == nullptr ? 0.0f : ch->sig(first >= 0 ? first : 0)->cn0;
  const std::uint8_t cnClass = static_cast<std::uint8_t>(cn0Class(firstCn0));
  for (int u = 0; u < kBaseSignals; ++u) {
    RTK_DATA_SLOT& slot = out.slot[u];
    slot = RTK_DATA_SLOT{};
    const ChanSigData* sig = ch != nullptr ? ch->sig(u) : nullptr;
    if (!isUsableSignal(sig) || (sig->flags & EpochSignal::kPhaseForBase) == 0 || !(sig->freq > 0.0)) continue;
    const double code = (s.smoothing ? sig->smCode : sig->codeRaw) * kC;
    const double wavelength = kC / sig->freq;
    slot.dCode2 = code;
    slot.dPhase2 = sig->phase;
    slot.dCode = code;
    slot.dPhase = sig->phase * wavelength;
    if (s.clockCorrected) {
      const double shift = (1.0 - sig->doppler / sig->freq) * o;
      slot.dCode -= shift;
      slot.dPhase -= shift;
    }
    slot.dRate = sig->doppler * wavelength;
    slot.ulLock = sig->lockValue;
    slot.uFifteen = 15;
    slot.uQuality = static_cast<std::uint8_t>(sat.uQuality[u] & 0xFF);
    slot.uPhaseQuality = static_cast<std::uint8_t>(phaseQualityIndex(sig->phaseSigma));
    slot.uCn0Class = cnClass;
    const double cn4 = sig->cn0 * 4.0 + 0.5;
    slot.uCn0 = static_cast<std::uint8_t>(cn4 < 0.0 ? 0.0 : cn4 > 255.0 ? 255.0 : cn4);
    slot.bPresent = 1;
    if (computed) {
      slot.fComputedMinusCode = toFloat(range - code);
      slot.fComputedMinusPhase = toFloat(range / wavelength - sig->phase);
      slot.fComputedMinusRate = toFloat(rate - wavelength * sig->doppler);
      slot.bComputed = 1;
    }
  }
}

}  // namespace

void buildRtkData(bool compute, bool useWgs, const double a[3], bool usePe9, const double b[3],
                  const PVTEngineEpochDataType& e, const PosData::ClockDataType& clock, NAVCOD_RTK_DATA& data,
                  const ChanData* chan, const BaseSettings& s, const RefClockLinks& links) {
  data.bReady = 0;
  const int base = epochChannelBase(e);
  if (base < 0) return;
  EpochSatCommonDataType& sats = *e.pEpochSatData;
  const int limit = rtkSelectionLimit(s);
  int selected[kBaseSats];
  int n = 0;
  for (int i = 0; i < sats.uListCount && n < limit; ++i) {
    const ChanSatDataType& sat = sats.chan[base + sats.uList[i]];
    if (satHasSlot(sat) && (sat.ulFlags & EpochSatFlags::kNotListed) == 0) selected[n++] = sats.uList[i];
  }

  double d = 0.0, o = 0.0;
  float sigma = 0.0f;
  if (!clock.get_FilteredDrift(d, sigma) || !clock.get_FilteredOffset(o, sigma)) return;
  o += static_cast<double>(static_cast<std::int32_t>(e.rcvTime.ulTimeTag - clock.ulFilteredTimeTag)) * 0.001 * d;

  // Counts per system in selection order (highest first), frozen where each coder's limit is
  // reached.
  std::memset(data.uCount, 0, sizeof data.uCount);
  bool frozenCmr = false, frozenRtcm2 = false, frozenRtcm3 = false;
  for (int i = 0; i < n; ++i) {
    ++data.uCount[sats.chan[base + selected[i]].sv.sys];
    const int total = i + 1;
    if (!frozenRtcm3 && total == s.rtcm3MaxSats) {
      std::memcpy(data.uCountRtcm3, data.uCount, sizeof data.uCount);
      frozenRtcm3 = true;
    }
    if (!frozenRtcm2 && total == s.rtcm2MaxSats) {
      std::memcpy(data.uCountRtcm2, data.uCount, sizeof data.uCount);
      frozenRtcm2 = true;
    }
    if (!frozenCmr && total == s.cmrMaxSats) {
      std::memcpy(data.uCountCmr, data.uCount, sizeof data.uCount);
      frozenCmr = true;
    }
  }
  if (!frozenRtcm3) std::memcpy(data.uCountRtcm3, data.uCount, sizeof data.uCount);
  if (!frozenRtcm2) std::memcpy(data.uCountRtcm2, data.uCount, sizeof data.uCount);
  if (!frozenCmr) std::memcpy(data.uCountCmr, data.uCount, sizeof data.uCount);

  // Entries grouped by system, as the coders read them; highest first within a system, so
  // that a coder taking its frozen count of a system takes the satellites counted.
  int m = 0;
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    for (int i = 0; i < n; ++i) {
      const int k = selected[i];
      ChanSatDataType& sat = sats.chan[base + k];
      if (sat.sv.sys != sys) continue;
      const ChanData* ch = chan != nullptr ? &chan[k] : nullptr;
      RTK_DATA_SV& out = data.sat[m++];
      out.uNumber = static_cast<std::uint8_t>(satNumber(sat));
      out.cGloFreq = static_cast<std::int8_t>(satGloFrequency(sat));
      out.uSystem = static_cast<std::uint8_t>(sys);
      const bool glo = sys == kSysGlonass;
      bool computed = compute && (glo ? usePe9 : useWgs);
      double range = 0.0, rate = 0.0;
      if (computed) {
        std::uint32_t ms = 0;
        const int u = firstUsableSignal(ch);
        if (sat.uIod == EpochSatFlags::kNoIssue && u >= 0 && epochSystemTime(e.rcvTime, sys, ms))
          orbitAtTransmission(links, sat.sv, ms, ch->sig(u)->code, o, sat);
        computed = sat.uIod != EpochSatFlags::kNoIssue;
      }
      if (computed) {
        const double* ref = glo ? b : a;
        const double r = rangeWithEarthRotation(sat.dPos, ref);
        double rr = 0.0;
        for (int x = 0; x < 3; ++x) rr += sat.dVel[x] * (sat.dPos[x] - ref[x]) / r;
        range = o - satClockBias(sat) * kC + r;
        rate = d - satClockDrift(sat) * kC + rr;
        computed = std::isfinite(range) && std::isfinite(rate);
      }
      out.uIssue = static_cast<std::uint8_t>(sat.uIod & 0xFF);
      fillSignals(sat, ch, computed, range, rate, o, s, out);
    }
  }
  data.uSatCount = static_cast<std::uint8_t>(m);

  // Header.
  data.bClockCorrected = s.clockCorrected ? 1 : 0;
  std::uint32_t gpsMs = 0, gloMs = 0;
  const bool gpsTime = epochSystemTime(e.rcvTime, kSysGps, gpsMs);
  data.uDayOfWeek = 7;
  if (gpsTime && epochSystemTime(e.rcvTime, kSysGlonass, gloMs)) {
    std::int64_t t = static_cast<std::int64_t>(kMoscowOffsetSec - s.gpsUtcSeconds) * 1000 + gpsMs;
    if (t > kWeekMs - 1) t -= kWeekMs;
    data.uDayOfWeek = static_cast<std::uint8_t>(t < 0 ? 7 : t / kDayMs);
  }
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    std::uint32_t ms = 0;
    const bool hasTime = epochSystemTime(e.rcvTime, sys == kSysSbas ? kSysGps : sys, ms);
    data.ulTime[sys] = hasTime ? ms : 0;
    double off = 0.0;
    const bool hasOffset = clock.get_FilteredTimeScaleOffset(sys, off, sigma);
    data.dClock[sys] = hasOffset && !s.clockSteering
                           ? off + static_cast<double>(static_cast<std::int32_t>(e.rcvTime.ulTimeTag -
                                                                                 clock.ulFilteredTimeTag)) *
                                       0.001 * d
                           : 0.0;
    data.bValid[sys] = hasOffset && hasTime && data.uCount[sys] > 0 ? 1 : 0;
  }

  // Smoothing classes; with smoothing off the data go out all the same.
  if (!s.smoothing) {
    data.uRtcm2Smoothing = 3;
    data.uRtcm3Smoothing = 0;
    data.bSetup = 0;
  } else {
    data.uRtcm2Smoothing = static_cast<std::uint8_t>(rtcm2SmoothingClass(s.smoothingInterval));
    data.uRtcm3Smoothing = static_cast<std::uint8_t>(rtcm3SmoothingClass(s.smoothingInterval));
    data.bSetup = s.setupFlag ? 1 : 0;
  }
  data.uConstOne = 1;
  data.bReady = 1;
}
