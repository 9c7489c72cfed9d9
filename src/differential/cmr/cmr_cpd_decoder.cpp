#include "differential/cmr/cmr_cpd_decoder.h"

#include <cmath>

#include "differential/base/code_diff_from_base.h"
#include "differential/base/cpd_utils.h"
#include "positioning/antdb/ant_db.h"
#include "positioning/chan_data.h"
#include "settings/rcv_settings.h"

CmrCpdDecoder cmrCpdClient;

namespace {
constexpr long kWeekMs = 7L * 86400000L;
constexpr long kDayMs = 86400000L;
constexpr double kOmegaE = 7.2921151467e-5;  // rad/s, the Earth's rotation (IS-GPS-200)
// Below 7 % and above 93 % of a light-millisecond: the range and its prediction straddle a
// millisecond edge.
constexpr double kLowEdge = 0.07 * CmrCpdDecoder::kLightMs;
constexpr double kHighEdge = 0.93 * CmrCpdDecoder::kLightMs;
}  // namespace

bool CmrCpdDecoder::fullTime(int sys, long msgMs, long& t) {
  if (sys != CpdSv::kGps && sys != CpdSv::kGlonass) return false;
  ChanMeasTime mt;
  ChanData::getMeasTime(mt);
  const bool glo = sys == CpdSv::kGlonass;
  if (!(mt.valid & (glo ? 2 : 1))) return false;
  const long period = glo ? kDayMs : kWeekMs;
  t = cmrFullTime(glo ? mt.gloMs : mt.gpsMs, msgMs) % period;
  if (t < 0) t += period;
  return true;
}

double CmrCpdDecoder::l1Freq(int sys, int k) {
  return sys == CpdSv::kGlonass ? 1602000000.0 + k * 562500.0 : kGpsL1;
}

long CmrCpdDecoder::restoreN(double V, double g) {
  long N = static_cast<long>(std::floor(g / kLightMs));
  const double R = g - static_cast<double>(N) * kLightMs;
  if (R < kLowEdge && V > kHighEdge) --N;
  else if (V < kLowEdge && R > kHighEdge) ++N;
  return N;
}

void CmrCpdDecoder::update(const CMR_MEAS& m) {
  const int sys = m.sys;
  long t = 0;
  if (!fullTime(sys, m.timeMs, t)) return;
  nextEpochByTime(sys, t);
  if (cur == nullptr) return;
  fillBuffer(m, sys, t);
  if (sys == CpdSv::kGps) releaseEpoch();
}

void CmrCpdDecoder::nextEpochByTime(int sys, long t) {
  if (cur != nullptr && !times.update(sys, t)) releaseEpoch();
  if (cur != nullptr) return;
  cur = obtainMeas(pBaseMeasBuf, this, kCpdCmr);
  if (cur == nullptr) return;
  times.resetAndUpdate(sys, t);
  etSetTimeDeltas(times);
}

bool CmrCpdDecoder::expectedRange(const CpdSv& sv, long t, double clockOffset, double& g) const {
  const double ts = static_cast<double>(t) / 1000.0;
  CpdCPos p;
  CpdCVel v;
  double clk = 0.0;
  if (CpdUtilsInstance.svPos(sv, ts, false, p, v, clk, CpdUtils::kAnyIod) != CpdUtils::kOk) return false;
  double corr = 0.0;
  if (CpdUtilsInstance.getTimeCor(sv, ts, CpdUtils::kAnyIod, corr) != CpdUtils::kOk) corr = clk;
  double dx = p.x - refPos.x, dy = p.y - refPos.y, dz = p.z - refPos.z;
  const double r0 = std::sqrt(dx * dx + dy * dy + dz * dz);
  // Once for the light time: the satellite where it sent, in the frame of reception.
  const double tau = r0 / kC;
  const double a = kOmegaE * tau;
  const double sx = p.x - v.x * tau, sy = p.y - v.y * tau, sz = p.z - v.z * tau;
  dx = std::cos(a) * sx + std::sin(a) * sy - refPos.x;
  dy = -std::sin(a) * sx + std::cos(a) * sy - refPos.y;
  dz = sz - refPos.z;
  g = std::sqrt(dx * dx + dy * dy + dz * dz) + (clockOffset - corr) * kC;
  return true;
}

void CmrCpdDecoder::fillBuffer(const CMR_MEAS& m, int sys, long t) {
  CpdMeas& e = *cur;
  e.type = CpdMeas::kObservations;
  e.timeResidual[sys] = static_cast<std::int32_t>(m.clockOffset * 1e6);
  const double s = RcvSet.cmrInvertPhase ? -1.0 : 1.0;
  for (int i = 0; i < m.count && i < CMR_MEAS::kMaxSv; ++i) {
    const CMR_MEAS::Sv& o = m.sv[i];
    const int num = cpdSvId(sys, o.num);
    if (num == -100) continue;
    const CpdSv sv = CpdSv::make(sys, num);
    CpdSvMeas* me = e.addSv(sv);
    if (me == nullptr) continue;
    const double f1 = l1Freq(sys, num);
    const double f2 = sys == CpdSv::kGlonass ? f1 * 7.0 / 9.0 : kGpsL2;
    const double lam1 = kC / f1;
    const int s1 = (o.l1Flags & CMR_MEAS::kL1PCode) ? CpdSvMeas::kP1 : CpdSvMeas::kCA;
    // Without the station's position or the satellite's orbit the range cannot be restored
    // past its light-millisecond: such a satellite carries nothing usable and is dropped.
    double g = 0.0;
    if (!refPos.valid || !expectedRange(sv, t, m.clockOffset, g)) {
      e.reclaimSv(me);
      continue;
    }
    const double V = o.l1Code * lam1;
    const double range1 = V + static_cast<double>(restoreN(V, g)) * kLightMs;
    cpdCountDecoded(sys, s1);
    CpdMeasSlot& a = me->slot[s1];
    a.range = range1;
    a.flags = CpdMeasSlot::kRange;
    if (o.l1Flags & CMR_MEAS::kL1PhaseValid) {
      a.phase = range1 / lam1 + s * o.l1Phase;
      a.flags |= CpdMeasSlot::kPhase;
    }
    if (m.energies) {
      a.snr = static_cast<std::uint8_t>(std::lround(o.l1Energy));
      a.flags |= CpdMeasSlot::kSnr;
    }
    if (o.l1Flags & CMR_MEAS::kL2Present) {
      cpdCountDecoded(sys, CpdSvMeas::kP2);
      CpdMeasSlot& b = me->slot[CpdSvMeas::kP2];
      constexpr std::uint8_t kRangeBits = CMR_MEAS::kL2CodeAvail | CMR_MEAS::kL2CodeValid;
      if ((o.l2Flags & kRangeBits) == kRangeBits) {
        b.range = o.l2Range + range1;
        b.flags |= CpdMeasSlot::kRange;
      }
      if (o.l2Flags & CMR_MEAS::kL2PhaseValid) {
        b.phase = f2 / kC * range1 + s * o.l2Phase;
        b.flags |= CpdMeasSlot::kPhase;
      }
      if (m.energies) {
        b.snr = static_cast<std::uint8_t>(std::lround(o.l2Energy));
        b.flags |= CpdMeasSlot::kSnr;
      }
    }
    const CpdCPos station{refPos.x, refPos.y, refPos.z};
    for (int slot : {s1, static_cast<int>(CpdSvMeas::kP2)}) {
      const CpdMeasSlot& x = me->slot[slot];
      if (!(x.flags & CpdMeasSlot::kRange)) continue;
      const double f = slot == CpdSvMeas::kP2 ? f2 : f1;
      const double ph = (x.flags & CpdMeasSlot::kPhase) ? x.phase * kC / f : 0.0;
      convertCpdMeasToCodeDiffCorr(0, slot, x.range, ph, sv, t, &station);
    }
    if (!cpdRecentSvs_.has(sv.id)) e.reclaimSv(me);
  }
}

void CmrCpdDecoder::releaseEpoch() {
  if (cur == nullptr) return;
  cpdCountsEpochClosed();
  if (etSetEpochId(times, *cur)) {
    if (refPos.valid) {
      cur->refPos = refPos;
      cur->refPos.valid = 1;
    }
    cur->l2l1 = l2l1;
    cur->stationId = stationId;
    cur->status = 1;
    releaseMeas(pBaseMeasBuf, cur);
  } else {
    reclaimMeas(pBaseMeasBuf, cur);
  }
}

void CmrCpdDecoder::updateRefPos(const CpdCPos& pos, int id) {
  refPos.set(pos);
  stationId = id;
}

void CmrCpdDecoder::updateAntDesc(unsigned char antennaId, int id) {
  if (pBaseMeasBuf != nullptr) {
    if (CpdAux* a = pBaseMeasBuf->doObtainAux()) {
      a->antenna = antDataBase.find(static_cast<int>(antennaId));
      pBaseMeasBuf->doReleaseAux(a);
    }
  }
  stationId = id & 0xFF;
}

void CmrCpdDecoder::updateL2L1(const CpdAntOffs& offs) { l2l1 = offs; }

void CmrCpdDecoder::reset() {
  if (cur != nullptr) reclaimMeas(pBaseMeasBuf, cur);
  if (pBaseMeasBuf != nullptr) {
    if (CpdMeasBuf::Client* c = pBaseMeasBuf->client()) c->reset();
    pBaseMeasBuf->doClear();
  }
  times.reset();
  ++resets;
}

void CmrCpdDecoder::invalidateRefPos() {
  refPos.reset();
  l2l1.type = CpdAntOffs::kNone;
  stationId = -1;
}

void CmrCpdDecoder::invalidateOtherInfo() {
  if (pBaseMeasBuf == nullptr) return;
  if (CpdAux* a = pBaseMeasBuf->doObtainAux()) {
    a->antenna = AntDbDescr{};
    pBaseMeasBuf->doReleaseAux(a);
  }
}
