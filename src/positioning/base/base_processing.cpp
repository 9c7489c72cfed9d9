#include "positioning/base/base_processing.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "positioning/chan_data.h"
#include "positioning/engine/nav_sol.h"
#include "positioning/geodesy/datum_conv.h"
#include "positioning/geodesy/dtm_list.h"
#include "positioning/engine/position_averaging.h"
#include "positioning/rcv_time_scales.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

NAVCOD_RTK_DATA RtkDat;
NAVCOD_DIF_DATA DifDat;
NAVCOD_IONO_DATA IonDat;
int iRtcmOutput = 0;
int iCmrOutput = 0;
int iRtcm3Output = 0;
float fGoodRefLimit = 1000.0f;
std::uint8_t bComputeBas = 1;
std::uint8_t bUseBase[4] = {};
std::uint8_t bIonSmoothing = 0;
std::uint8_t RtcmSetCmn[4] = {};
std::uint8_t bClockSteering = 0;

namespace {

constexpr double kC = PosData::kSpeedOfLight;
constexpr int kSetupFlagOffset = 2564;  // satellite-processor setup word: divergence-free smoothing

// Datum of each system's RTCM 2 corrections, as last looked up.
struct BaseDatum {
  char name[6] = {};
  std::uint8_t bReady = 0;
  DtmList::DATUM_PARAMS_COMPUTE prm{};
  double dCorrection[3] = {};  // position A in the datum less A, m
};
BaseDatum g_datum[SYS_NUM];

void updateDatums(const BaseSettings& s, const double a[3]) {
  const int row = s.rtcm2Version > 2 ? 1 : 0;
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    BaseDatum& d = g_datum[sys];
    const char* want = cRtcmBaseDatumName[row][sys];
    if (std::strncmp(d.name, want, sizeof d.name) != 0) {
      std::strncpy(d.name, want, sizeof d.name - 1);
      d.name[sizeof d.name - 1] = '\0';
      DtmList::ELL_PARAMS ell;
      DtmList::DATUM_PARAMS_STORE store;
      int index = 0;
      d.bReady = DtmList::getDatum(d.name, &ell, &store, &index) ? 1 : 0;
      if (d.bReady) DtmList::transform(store, &d.prm);
    }
    if (!d.bReady) continue;
    double out[3];
    DatumConv::transDirect(false, d.prm, a, out);
    for (int k = 0; k < 3; ++k) d.dCorrection[k] = out[k] - a[k];
  }
}

double distance(const double a[3], const double b[3]) {
  const double dx = a[0] - b[0], dy = a[1] - b[1], dz = a[2] - b[2];
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// The satellite's orbit at its transmission time when the epoch has none yet.
bool ensureOrbit(ChanSatDataType& s, const ChanData* ch, const PVTEngineEpochDataType& e, double clock,
                 const RefClockLinks& links) {
  if (s.uIod != EpochSatFlags::kNoIssue) return true;
  const int u = firstUsableSignal(ch);
  std::uint32_t ms = 0;
  if (u < 0 || !epochSystemTime(e.rcvTime, s.sv.sys, ms)) return false;
  return orbitAtTransmission(links, s.sv, ms, ch->sig(u)->code, clock, s) && s.uIod != EpochSatFlags::kNoIssue;
}


}  // namespace

BaseSettings currentBaseSettings() {
  BaseSettings s;
  s.rtcm2MaxSats = rtcmGetMaxSats();
  s.cmrMaxSats = cmrGetMaxSats();
  s.rtcm3MaxSats = rtcm3GetMaxSats();
  s.smoothing = RtcmSet.rtcmCod.smooth == 1;
  s.clockCorrected = RtcmSet.rtcm3Cod.clkSteering != 0;
  s.smoothingInterval = NavSet.smi;
  const PosSetup::SatProcessorSetupType* setup = PVTDataInstance.satProcessorSetup.GetPointer();
  std::uint32_t word = 0;
  if (setup != nullptr) std::memcpy(&word, setup->aBytes + kSetupFlagOffset, sizeof word);
  PVTDataInstance.satProcessorSetup.FreePointer(nullptr);
  s.setupFlag = word == 1;
  s.gpsUtcSeconds = RcvTimeScales::Req.sysUtc[0];
  s.clockSteering = bClockSteering != 0;
  s.rtcm2Version = static_cast<int>(RtcmSet.rtcmDec.version);
  std::memcpy(s.rtcmSetCmn, RtcmSetCmn, sizeof s.rtcmSetCmn);
  s.needValidPosition = RcvSet.baseNeedsValidPos != 0;
  s.rtcmOutput = iRtcmOutput;
  s.cmrOutput = iCmrOutput;
  s.rtcm3Output = iRtcm3Output;
  return s;
}

int rtkSelectionLimit(const BaseSettings& s) {
  const bool anyNamed = (s.rtcmOutput & (BaseOutput::kRtk | BaseOutput::kRtk2)) != 0 ||
                        (s.cmrOutput & BaseOutput::kRtk) != 0 || (s.rtcm3Output & BaseOutput::kRtk) != 0;
  const struct {
    bool needs;
    int limit;
  } coders[3] = {{!anyNamed || (s.rtcmOutput & (BaseOutput::kRtk | BaseOutput::kRtk2)) != 0, s.rtcm2MaxSats},
                 {!anyNamed || (s.cmrOutput & BaseOutput::kRtk) != 0, s.cmrMaxSats},
                 {!anyNamed || (s.rtcm3Output & BaseOutput::kRtk) != 0, s.rtcm3MaxSats}};
  int limit = 0;
  for (const auto& c : coders) {
    if (!c.needs) continue;
    if (c.limit <= 0 || c.limit >= kBaseSats) return kBaseSats;
    if (c.limit > limit) limit = c.limit;
  }
  return limit > 0 ? limit : kBaseSats;
}

int cn0Class(float cn0) {
  if (cn0 >= 34.0f) return 1;
  if (!(cn0 > 22.0f)) return 7;  // also a level not known
  return 18 - static_cast<int>(cn0) / 2;
}

float toFloat(double v) {
  constexpr double kMax = std::numeric_limits<float>::max();
  return v > kMax ? std::numeric_limits<float>::infinity()
                  : v < -kMax ? -std::numeric_limits<float>::infinity() : static_cast<float>(v);
}

int phaseQualityIndex(float phaseSigma) {
  const double s = phaseSigma;
  // Also a NaN or negative sigma (its logarithm is no number): nothing known of the phase is claimed.
  if (!(s > 0.0) || !(s * s > 0.0004)) return 0;
  if (s * s > 29.25728) return 15;
  const double q = 1.0 + 1.25 * (2.0 * std::log(s) + 7.824046);
  return q < 0.0 ? 0 : q > 15.0 ? 15 : static_cast<int>(q);
}

int rtcm2SmoothingClass(int t) {
  if (t <= 60) return 0;
  if (t <= 300) return 1;
  if (t <= 900) return 2;
  return 3;
}

int rtcm3SmoothingClass(int t) {
  if (t <= 0) return 0;
  if (t < 30) return 1;
  if (t < 60) return 2;
  if (t < 120) return 3;
  if (t < 240) return 4;
  if (t < 480) return 5;
  return 6;
}

void checkRefPositions(const double* const pos[4], const double* solution, float limit, std::uint8_t use[4]) {
  for (int k = 0; k < 4; ++k) {
    if (pos[k] == nullptr) {
      use[k] = 0;
      continue;
    }
    // Without a solution to compare with, the position keeps the verdict it last had.
    if (solution == nullptr) continue;
    const double d = distance(pos[k], solution);
    use[k] = d <= static_cast<double>(limit) ? 1 : 0;
  }
}

PosData::ClockDataType epochClockData(const PVTEngineEpochDataType& e) {
  PosData::ClockDataType c{};
  // One clock, GPS time's: the table's only entry.
  c.uRefSystem = 0;
  c.uRefSignal = 0;
  c.uSignalSystem[0] = 0;
  for (int k = 1; k < PosData::ClockDataType::kSignals; ++k) c.uSignalSystem[k] = PosData::ClockDataType::kNone;
  const NavTask::NAV_SOL* sol = e.pNavSol;
  if (sol == nullptr) return c;
  // The board's clock block in seconds and its drift in s/s, as metres and m/s.
  c.bFilteredOffsetValid = sol->bClockValid;
  c.dFilteredOffset = sol->dClock * kC;
  c.bFilteredDriftValid = sol->bDriftValid;
  c.dFilteredDrift = sol->dDrift * kC;
  c.ulFilteredTimeTag = e.rcvTime.ulTimeTag;
  return c;
}

PosData::ClockDataType withGpsOffset(const PosData::ClockDataType& filtered, const PVTEngineEpochDataType& e) {
  PosData::ClockDataType c = filtered;
  double o = 0.0, ref = 0.0;
  float sigma = 0.0f;
  if (c.get_FilteredTimeScaleOffset(kSysGps, o, sigma) || !c.get_FilteredOffset(ref, sigma)) return c;
  const PosData::ClockDataType own = epochClockData(e);
  if (!own.get_FilteredTimeScaleOffset(kSysGps, o, sigma)) return c;
  double sign = 0.0;
  const int p = PosData::get_DtIndex(c.uRefSystem, kSysGps, sign);
  if (p < 0 || sign == 0.0) return c;
  // The board's offset is of its own epoch; the filtered one of the clock's time tag.
  double d = 0.0;
  if (c.get_FilteredDrift(d, sigma))
    o -= static_cast<double>(static_cast<std::int32_t>(own.ulFilteredTimeTag - c.ulFilteredTimeTag)) * 0.001 * d;
  c.systemDelta[p].dDelta = (o - ref) * sign;
  c.systemDelta[p].fSigma = 0.0f;
  c.systemDelta[p].bValid = 1;
  return c;
}

void buildDifData(bool useWgs, const double a[3], bool usePe9, const double b[3], const PVTEngineEpochDataType& e,
                  const PosData::ClockDataType& clock, NAVCOD_DIF_DATA& data, const ChanData* chan,
                  const BaseSettings& s, const RefClockLinks& links, bool posValid) {
  double d = 0.0, o[SYS_NUM] = {};
  float sigma = 0.0f;
  bool haveDrift = clock.get_FilteredDrift(d, sigma);
  bool haveOffset[SYS_NUM] = {};
  const double dt = static_cast<double>(static_cast<std::int32_t>(e.rcvTime.ulTimeTag - clock.ulFilteredTimeTag)) * 0.001;
  for (int k = 0; k < SYS_NUM; ++k) {
    haveOffset[k] = clock.get_FilteredTimeScaleOffset(k, o[k], sigma);
    if (haveOffset[k] && haveDrift) o[k] += dt * d;
  }
  updateDatums(s, a);

  std::memset(data.uCount, 0, sizeof data.uCount);
  std::memset(data.uSigCount, 0, sizeof data.uSigCount);
  std::memset(data.bValid, 0, sizeof data.bValid);
  data.uSatCount = 0;
  int n = 0;
  const int base = epochChannelBase(e);
  if (base >= 0 && !(s.needValidPosition && !posValid)) {
    EpochSatCommonDataType& sats = *e.pEpochSatData;
    for (int i = 0; i < sats.uListCount && n < kBaseSats; ++i) {
      const int k = sats.uList[i];
      ChanSatDataType& sat = sats.chan[base + k];
      if (!satHasSlot(sat) || (sat.ulFlags & EpochSatFlags::kNotUsable) != 0) continue;
      const int sys = sat.sv.sys;
      const bool glo = sys == kSysGlonass;
      if (!haveDrift || !haveOffset[sys] || !(glo ? usePe9 : useWgs)) continue;
      const ChanData* ch = chan != nullptr ? &chan[k] : nullptr;
      if (ch == nullptr || !ensureOrbit(sat, ch, e, o[sys], links)) continue;
      const double* ref = glo ? b : a;
      const double r = rangeWithEarthRotation(sat.dPos, ref);
      if (!(r > 0.0)) continue;
      double datumTerm = 0.0, rate = 0.0;
      for (int x = 0; x < 3; ++x) {
        const double los = (sat.dPos[x] - ref[x]) / r;
        if (g_datum[sys].bReady) datumTerm += los * g_datum[sys].dCorrection[x];
        rate += sat.dVel[x] * los;
      }
      const bool zeroRate = s.rtcmSetCmn[2] != 0 || (glo ? s.rtcmSetCmn[1] != 0 : s.rtcmSetCmn[0] != 0);
      NAVCOD_DIF_SV& out = data.sat[n];
      out = NAVCOD_DIF_SV{};
      int first = -1;
      for (int u = 0; u < kBaseSignals; ++u) {
        const ChanSigData* sig = ch->sig(u);
        if (!isUsableSignal(sig)) continue;
        if (first < 0) first = u;
        out.uMask |= static_cast<std::uint8_t>(1u << u);
        ++data.uSigCount[sys][u];
        out.sig[u].fPrc = toFloat(o[sys] - (sig->code + satClockBias(sat)) * kC + r + datumTerm);
        // The rate of the correction above: the satellite clock's drift belongs to it as its
        // bias belongs to the correction.
        out.sig[u].fRrc = zeroRate || !(sig->freq > 0.0)
                              ? 0.0f
                              : toFloat(d - sig->doppler * kC / sig->freq + rate - satClockDrift(sat) * kC);
        out.sig[u].fSigma = std::sqrt(sat.fVariance > 0.0f ? sat.fVariance : 0.0f);
      }
      if (first < 0) continue;
      out.fDelay = toFloat(ch->sig(first)->tgd * kC);
      out.uIssue = static_cast<std::uint8_t>(sat.uIod & 0xFF);
      out.uNumber = static_cast<std::uint8_t>(satNumber(sat));
      out.uSystem = static_cast<std::uint8_t>(sys);
      out.cGloFreq = static_cast<std::int8_t>(satGloFrequency(sat));
      ++data.uCount[sys];
      ++n;
    }
  }
  data.uSatCount = static_cast<std::uint8_t>(n);
  for (int k = 0; k < SYS_NUM; ++k) {
    std::uint32_t ms = 0;
    const bool hasTime = epochSystemTime(e.rcvTime, k, ms);
    data.ulTime[k] = hasTime ? ms : 0;
    data.bValid[k] = hasTime && data.uCount[k] > 0 ? 1 : 0;
  }
  data.bReady = n > 0 ? 1 : 0;
}

void buildIonData(const PVTEngineEpochDataType& e, NAVCOD_IONO_DATA& data, const ChanData* chan) {
  std::memset(data.uCount, 0, sizeof data.uCount);
  int n = 0;
  const int base = epochChannelBase(e);
  const int count = base >= 0 && chan != nullptr ? e.pEpochSatData->uListCount : 0;
  for (int i = 0; i < count && n < kBaseSats; ++i) {
    const EpochSatCommonDataType& sats = *e.pEpochSatData;
    const int k = sats.uList[i];
    const ChanSatDataType& sat = sats.chan[base + k];
    if (!satHasSlot(sat) || !chan[k].delayValid()) continue;
    NAVCOD_IONO_SV& out = data.sat[n++];
    out.uNumber = static_cast<std::uint8_t>(satNumber(sat));
    out.uSystem = sat.sv.sys;
    // The channel keeps the delay in metres already.
    out.fDelay = toFloat(chan[k].delay());
    out.fRate = chan[k].delayRateValid() ? toFloat(chan[k].delayRate()) : 0.0f;
    out.fZero = 0.0f;
    ++data.uCount[sat.sv.sys];
  }
  data.uSatCount = static_cast<std::uint8_t>(n);
  for (int k = 0; k < SYS_NUM; ++k) {
    std::uint32_t ms = 0;
    const bool hasTime = epochSystemTime(e.rcvTime, k, ms);
    data.ulTime[k] = hasTime ? ms : 0;
    data.bValid[k] = hasTime && data.uCount[k] > 0 ? 1 : 0;
  }
  data.bReady = n > 0 ? 1 : 0;
}

void baseModeProcessing(const double* const refPos[kRefPosRecords], const double* solution, const BaseSettings& s,
                        RefClockProcessor& clockProc, const RefClockLinks& links) {
  checkRefPositions(refPos, solution, fGoodRefLimit, bUseBase);
  static const double kNone[3] = {0.0, 0.0, 0.0};
  const double* wgs = refPos[kRefPosWgs] != nullptr ? refPos[kRefPosWgs] : kNone;
  const double* pe9 = refPos[kRefPosPe9] != nullptr ? refPos[kRefPosPe9] : kNone;
  clockProc.input_RefPosition(bUseBase[0] != 0, wgs, bUseBase[1] != 0, pe9);
  clockProc.update();

  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  if (e == nullptr) return;
  const PosData::ClockDataType& filtered = clockProc.clockData();
  double v = 0.0;
  float sg = 0.0f;
  const PosData::ClockDataType clock =
      filtered.get_FilteredDrift(v, sg) && filtered.get_FilteredOffset(v, sg)
          ? withGpsOffset(filtered, *e)
          : epochClockData(*e);

  const bool altPair = s.rtcmSetCmn[3] != 0;
  const double* a = altPair ? refPos[kRefPosGPS] : refPos[kRefPosWgs];
  const double* b = altPair ? refPos[kRefPosGLN] : refPos[kRefPosPe9];
  const bool useA = a != nullptr && bUseBase[0] != 0;
  const bool useB = b != nullptr && bUseBase[1] != 0;
  if (a == nullptr) a = kNone;
  if (b == nullptr) b = kNone;
  const ChanData* chan = e->pChanData;
  const bool rtk = (s.cmrOutput & BaseOutput::kRtk) != 0 || (s.rtcm3Output & BaseOutput::kRtk) != 0 ||
                   (s.rtcmOutput & BaseOutput::kRtk) != 0;
  if (bComputeBas == 0) {
    if (rtk) buildRtkData(false, false, a, false, b, *e, clock, RtkDat, chan, s, links);
    return;
  }
  if (rtk || (s.rtcmOutput & BaseOutput::kRtk2) != 0)
    buildRtkData(true, useA, a, useB, b, *e, clock, RtkDat, chan, s, links);
  if ((s.rtcmOutput & BaseOutput::kCodeCorr) != 0)
    buildDifData(useA, a, useB, b, *e, clock, DifDat, chan, s, links, solution != nullptr);
  if ((s.rtcmOutput & BaseOutput::kIono) == 0) {
    bIonSmoothing = 0;
    return;
  }
  buildIonData(*e, IonDat, chan);
  bIonSmoothing = 1;
}

void baseModeProcessing() {
  // In the order the base step indexes them.
  const ReferencePos* const records[kRefPosRecords] = {&RefPosWgs, &RefPosPe9, &RefArpWgs,
                                                       &RefArpPe9, &RefPosGPS, &RefPosGLN};
  double store[kRefPosRecords][3];
  const double* pos[kRefPosRecords];
  for (int k = 0; k < kRefPosRecords; ++k)
    pos[k] = records[k]->getRefPos(ReferencePos::kCartesian, store[k]) ? store[k] : nullptr;
  const PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  const double* solution = nullptr;
  if (e != nullptr && e->pNavSol != nullptr && e->pNavSol->pos.bValid != 0) solution = e->pNavSol->pos.dXyz;
  baseModeProcessing(pos, solution, currentBaseSettings(), RefClockProcessorInstance,
                     RefClockProcessorInstance.links());
}
