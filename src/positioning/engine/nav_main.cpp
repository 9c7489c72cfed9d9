#include "positioning/engine/nav_main.h"

#include <cstring>

#include "positioning/base/base_processing.h"
#include "positioning/chan_data.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/position_averaging.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/reference/pos_filter.h"
#include "positioning/rcv_time_scales.h"
#include "positioning/sys_clock.h"
#include "settings/rcv_settings.h"

NavTask::NAV_EPOCH NavEpoch;
NavTask::NAV_SOL NavSol;
NavTask::NAV_SOL navSol_Ant[2];
NavTask::NAV_SOL* pNavSol_Ant[2] = {&NavSol, &NavSol};
Mutex posMutex;
Mutex posFaMutex;
NavGlobals navGlobals;

namespace {

constexpr int kInputs = 2;
constexpr int kNotProcessed = 4;  // navigation status of a channel whose input is not solved
constexpr int kClockTableEntries = 8;

// The engine's epoch-data record of each input, kept while separate solutions are on.
PVTEngineEpochDataType g_epochAnt[kInputs];

void saveEpochData(int input) {
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  if (e == nullptr) return;
  g_epochAnt[input] = *e;
  PVTDataInstance.epochData.FreePointer(e);
}

void restoreEpochData(int input) {
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  if (e == nullptr) return;
  *e = g_epochAnt[input];
  PVTDataInstance.epochData.FreePointer(e);
}

// Clock quality into the system-clock store: the filtered drift and the best (smallest RMS)
// filtered system offset of the clock table, from the board's clock block of the epoch as the
// base processing reads it. That block carries no RMS: a clock without one leaves the store's
// RMS as it was (1000 at start, unknown) rather than claiming a perfect clock.
void storeClockQuality() {
  PosData::ClockDataType clk{};
  clk.uSignalSystem[0] = PosData::ClockDataType::kNone;
  if (PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer()) {
    clk = epochClockData(*e);
    PVTDataInstance.epochData.FreePointer(e);
  }
  double drift = 0;
  float driftSigma = 0;
  const bool driftOk = clk.get_FilteredDrift(drift, driftSigma);
  bool any = false;
  float bestRms = 0;
  double bestOffs = 0;
  int bestSys = 0;
  for (int i = 0; i < kClockTableEntries && i < PosData::ClockDataType::kSignals; ++i) {
    const int sys = clk.uSignalSystem[i];
    if (sys == PosData::ClockDataType::kNone) break;
    double offs = 0;
    float rms = 0;
    // The entry's own offset: a second signal of the reference system carries its signal delta.
    if (!clk.get_FilteredSystemOffset(i, offs, rms)) continue;
    if (!any || rms < bestRms) {
      any = true;
      bestRms = rms;
      bestOffs = offs;
      bestSys = sys;
    }
  }
  if (!any || !driftOk) {
    sysClockStoreOffs(0, 0, 0.0, 0.0, 0.0f, 0.0f, false);
    return;
  }
  double utcOffs = 0;
  int leap = 0;
  RcvTimeScales::computeSYS2UTC_Prec(bestSys, utcOffs, leap);
  const float rms = bestRms > 0.0f ? bestRms : sysClockGetRms();
  sysClockStoreOffs(bestSys, leap, bestOffs + utcOffs, drift, rms, 0.0f, true);
}

}  // namespace

int navMain(const NavMainInputs& in) {
  // 1. (NavSol's status is set with the locks held below: a reader may be looking at it.)
  posAvgFlagsClear();
  // What the commands asked of the averaging and the base's reference position, done here in
  // the task whose base processing and coders read them.
  posAvgPoll();
  // 2. The main input first, then the other one when both are tracked.
  const int mainIdx = in.mainInput == 1 ? 1 : 0;
  int inputs[kInputs] = {mainIdx, 1 - mainIdx};
  const int count = in.twoInputs ? kInputs : 1;
  {
    // 3.-6. Readers see the previous or the complete new solution, never a mix.
    PosLock lock;
    NavSol.status = NavTask::NAV_SOL::kNotComputed;
    for (int k = 0; k < count; ++k) {
      const int a = inputs[k];
      const bool isMain = a == mainIdx;
      if (isMain || in.separate) {
        // Only an input that is processed starts NavSol afresh: the input left out after the
        // main one would otherwise turn the main input's solution into "not computed".
        NavSol.status = NavTask::NAV_SOL::kNotComputed;
        NavSol.epoch = NavEpoch;
        ChanData* chan = &Cdat[a * PVTEngine::kChannels];
        const int status = PVTEngineInstance.update(in.intervalMs, isMain, &NavSol, chan);
        NavSol.status = status;
        if (in.separate) {
          navSol_Ant[a] = NavSol;
          saveEpochData(a);
        }
        if (isMain) baseModeProcessing();
      } else {
        for (int c = 0; c < PVTEngine::kChannels; ++c) Cdat[a * PVTEngine::kChannels + c].setNavStatus(kNotProcessed);
      }
    }
    if (in.separate) {
      NavSol = navSol_Ant[mainIdx];
      restoreEpochData(mainIdx);
    }
  }
  // 7.
  storeClockQuality();
  // 8.
  const int status = NavSol.status;
  if (status == NavTask::NAV_SOL::kGood && bAvgPos.load() != 0) averagePosLogic();
  return status;
}

void navInitOnce() {
  if (navGlobals.ready) return;
  assignDatum("W84", &navGlobals.wgs84);
  DtmList::ELL_PARAMS ell{};
  DtmList::DATUM_PARAMS_STORE store{};
  int index = 0;
  if (DtmList::getDatum("W84", &ell, &store, &index)) EllMath::setEllPar(ell, &navGlobals.ell);
  navGlobals.userDatum = navGlobals.wgs84;
  initAnyPrjParams(navGlobals.userProj);
  for (double& v : navGlobals.fixedPos) v = 0;
  navGlobals.fixedPosValid = 0;
  PosFilt.apply(RcvSet.posFilt);
  navGlobals.ready = true;
}

namespace NavTask {
void convertNavClk2Out(const NAV_CLOCK& clock, NAV_CLOCK_OUT& out) {
  const auto first = static_cast<std::uint8_t>(clock.flags & 0xFF);
  const auto second = static_cast<std::uint8_t>((clock.flags >> 8) & 0xFF);
  const auto valid = static_cast<std::uint8_t>((clock.flags >> 16) & 0xFF);
  if (valid == 0) {
    out.flags[0] = out.flags[1] = 0;
    return;
  }
  if (first == 0) {
    out.offset[1] = clock.offset;
    out.drift[1] = clock.drift;
    out.flags[0] = first;
    out.flags[1] = valid;
    return;
  }
  out.offset[0] = clock.offset;
  out.drift[0] = clock.drift;
  if (second != 0) {
    out.offset[1] = clock.offset + clock.offset2;
    out.drift[1] = clock.drift + clock.drift2;
  }
  out.flags[0] = 1;
  out.flags[1] = second;
}
}  // namespace NavTask

void initAnyPrjParams(EllMath::ANY_PRJ_PARAMS& p) {
  std::memset(&p, 0, sizeof p);
  p.type = 1;
  p.prj.type = 1;
  p.prj.k0 = 1.0;
}

NavTask::NAV_SOL navSolCopy(const NavTask::NAV_SOL& rec) {
  PosLock lock;
  return rec;
}

bool navSolGpsTime(int& week, int& msOfWeek) {
  PosLock lock;
  const NavTask::NAV_EPOCH& e = NavSol.epoch;
  if ((e.gpsValid & NavTask::NAV_EPOCH::kTimeValid) == 0) return false;
  week = e.gpsWeek % 1024;
  msOfWeek = e.gpsMs;
  return true;
}

bool navSolCalendar(std::uint8_t out[5]) {
  PosLock lock;
  const NavTask::NAV_EPOCH& e = NavSol.epoch;
  if (e.dateSource < 0) return false;
  out[0] = static_cast<std::uint8_t>(e.date.month);
  out[1] = static_cast<std::uint8_t>(e.date.day);
  out[2] = static_cast<std::uint8_t>(e.date.hour);
  out[3] = static_cast<std::uint8_t>(e.date.minute);
  out[4] = static_cast<std::uint8_t>(e.date.second);
  return true;
}
