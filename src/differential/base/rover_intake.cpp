#include "differential/base/rover_intake.h"

#include <cmath>

#include "differential/base/cpd_meas_buf.h"
#include "navigation_data/store/sat_delta_time.h"
#include "positioning/chan_data.h"
#include "positioning/chan_satellite.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/sat_meas_processor.h"

namespace {
constexpr int kGpsTimeSystems[] = {CpdSv::kGps,  CpdSv::kGalileo, CpdSv::kSbas,
                                   CpdSv::kQzss, CpdSv::kBeidou,  CpdSv::kNavic};

// The satellite a channel tracks; id 0 when none.
CpdSv channelSv(const ChanData& ch) {
  ChanSatellite s;
  if (ch.bDataPresent == 0 || !chanSatellite(ch.sysCode, ch.svNum, s)) return CpdSv{};
  return CpdSv::make(s.sys, s.number);
}

void fillSlot(CpdMeasSlot& out, const ChanSigData& s) {
  out.flags = 0;
  out.range = s.code * PosData::kSpeedOfLight;
  out.doppler = static_cast<float>(s.doppler);
  const double cn0 = std::isfinite(s.cn0) ? std::round(s.cn0) : 0.0;
  out.snr = static_cast<std::uint8_t>(cn0 < 0.0 ? 0.0 : cn0 > 255.0 ? 255.0 : cn0);
  out.flags = CpdMeasSlot::kRange | CpdMeasSlot::kDoppler | CpdMeasSlot::kSnr;
  if (s.flags & ChanSigData::kPhase) {
    out.phase = s.phase;
    out.flags |= CpdMeasSlot::kPhase;
  }
}

// The elevation the position engine found this epoch for channel c's satellite (degrees);
// kElevUnknown while the engine has not looked at the satellite.
float channelElevation(const EpochSatCommonDataType* sats, int c) {
  if (sats == nullptr || sats->uFilled != EpochSatCommonDataType::kFilled) return CpdSvMeas::kElevUnknown;
  if (c < 0 || c >= static_cast<int>(sizeof sats->chan / sizeof sats->chan[0])) return CpdSvMeas::kElevUnknown;
  const ChanSatDataType& s = sats->chan[c];
  return s.bVisible != 0 && std::isfinite(s.fElevation) ? s.fElevation : CpdSvMeas::kElevUnknown;
}

// One antenna input's epoch.
void fillEpoch(CpdMeas& m, int input) {
  m.type = CpdMeas::kObservations;
  const PVTEngineEpochDataType* epoch = PVTDataInstance.epochData.GetPointer();
  const EpochSatCommonDataType* sats = epoch != nullptr ? epoch->pEpochSatData : nullptr;
  for (int c = input * kCdatPerInput; c < (input + 1) * kCdatPerInput; ++c) {
    const ChanData& ch = Cdat[c];
    const CpdSv sv = channelSv(ch);
    if (sv.id == 0) continue;
    CpdSvMeas* e = m.addSv(sv);
    if (e == nullptr) continue;
    // Two channels on one satellite: the first that has an elevation gives it.
    if (e->elev == CpdSvMeas::kElevUnknown) e->elev = channelElevation(sats, c);
    for (int k = 0; k < kCdatSlots; ++k) {
      const ChanSigData* s = ch.sig(k);
      const int slot = slotCdat2Cpd(k);
      if (s == nullptr || s == &SdatEmpty || slot >= CpdSvMeas::kSlotNum) continue;
      if ((s->flags & ChanSigData::kValid) != ChanSigData::kValid) continue;
      // Two channels on one satellite: the first to bring a signal keeps it.
      if (e->slot[slot].flags != 0) continue;
      fillSlot(e->slot[slot], *s);
    }
  }
  if (const NavTask::NAV_SOL* rec = pNavSol_Ant[input]) {
    const NavTask::NAV_SOL sol = navSolCopy(*rec);  // the position may be written meanwhile
    if (sol.status == NavTask::NAV_SOL::kGood && sol.pos.bValid)
      m.refPos.set(CpdCPos{sol.pos.dXyz[0], sol.pos.dXyz[1], sol.pos.dXyz[2]});
  }
}
}  // namespace

void cpdRoverTimes(CpdMeasTimes& times, CpdEpochId& id) {
  ChanMeasTime mt;
  ChanData::getMeasTime(mt);
  times.reset();
  id = CpdEpochId();
  const bool glo = (mt.valid & 2) != 0 && mt.gloMs >= 0;
  const bool gps = (mt.valid & 1) != 0 && mt.gpsMs >= 0;
  if (glo) {
    times.time[CpdSv::kGlonass] = mt.gloMs;
    id = CpdEpochId(mt.gloMs % CpdEpochId::kHourMs);
  }
  if (gps) {
    for (int s : kGpsTimeSystems) times.time[s] = mt.gpsMs;
    id = CpdEpochId(mt.gpsMs % CpdEpochId::kHourMs);
  }
}

void cpdRoverIntake() {
  CpdMeasTimes times;
  CpdEpochId id;
  cpdRoverTimes(times, id);
  for (int a = 0; a < kCpdRovBufs; ++a) {
    CpdMeasBuf* buf = pRovMeasBuf[a];
    // No buffer, or every item held by readers: this input's epoch is lost to the engine.
    CpdMeas* m = buf != nullptr ? buf->doObtain() : nullptr;
    if (m == nullptr) continue;
    m->clear();
    fillEpoch(*m, a);
    m->id = id;
    m->rcvTime = id.get();
    m->times = times;
    if (id.isSet())
      buf->doRelease(m);
    else
      buf->doReclaim(m);
  }
  // Every channel's satellite, whichever input tracks it.
  CpdSvSet recent;
  for (const ChanData& ch : Cdat) recent.add(channelSv(ch));
  cpdRecentSvs_.set(recent);
  cpdSetTimesAndId(times, id);
}
