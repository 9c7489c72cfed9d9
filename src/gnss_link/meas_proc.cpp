#include "gnss_link/meas_proc.h"

#include <bit>
#include <cstdio>

#include "settings/debug_selectors.h"
#include "settings/rcv_settings.h"
#include "differential/coding_driver.h"
#include "files/log_files.h"
#include "files/session.h"
#include "gnss_link/allan_monitor.h"
#include "gnss_link/lock_manager.h"
#include "gnss_link/peripherals/buttons.h"
#include "gnss_link/placeholders.h"
#include "output/output_manager.h"
#include "platform/debug.h"
#include "platform/leds.h"
#include "platform/mono_clock.h"
#include "platform/ports/in_port.h"
#include "platform/rtc.h"
#include "platform/rtos.h"
#include "platform/rtos_time.h"
#include "platform/shutdown.h"
#include "positioning/chan_data.h"
#include "positioning/chan_satellite.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/sat_meas_processor.h"
#include "positioning/rcv_output_base_moving.h"

RCV_OUTPUT RcvOut;
RCV_OUTPUT rcvOut_Ant[2];
RTK_SOL rtkSolOut;
static REL_POS_BLOCK relPosOut;  // the main input's block of this epoch
static RTK_MARK_CHAN markChans[2][kCdatPerInput];  // each input's channels for the RTK marking

int msInt = -1;
int posMsInt = -1;
int posUpdateRate = -1;
int rawUpdateRate = -1;
bool bDebugPosTime = false;

MeasProcLinks measProcLinks;

namespace {

constexpr long kDayMs = 86400000;
// The board is given a minute to start streaming; after it, this much silence ends the run.
constexpr std::uint32_t kGraceMs = 60000;
constexpr int kSilenceMs = 10000;
constexpr int kRetryTicks = 100;

ChanMeasTime measTime(const NavTask::NAV_EPOCH& e) {
  ChanMeasTime m;
  m.gpsMs = e.gpsMs;
  m.gloMs = e.gloMs;
  m.valid = static_cast<std::uint8_t>(((e.gpsValid & NavTask::NAV_EPOCH::kTimeValid) ? 1 : 0) |
                                      ((e.gloValid & NavTask::NAV_EPOCH::kTimeValid) ? 2 : 0));
  return m;
}

}  // namespace

namespace {

// The record index of the main antenna input; anything but 0 or 1 has no record of its own.
int mainRecord(int idx) { return idx == 1 ? 1 : 0; }

// RTK availability of the main input's record (step 12).
void rtkAvailability(int mainIdx) {
  // Only the main input's record carries the RTK solution: the other one, the main input before
  // a switch, must not go on giving it out as its own.
  for (RCV_OUTPUT& r : rcvOut_Ant) {
    r.pRtkSol = nullptr;
    r.bRtkAvail = 0;
    r.bHeadingAvail = 0;
  }
  if (mainIdx != 0 && mainIdx != 1) return;
  RCV_OUTPUT& r = rcvOut_Ant[mainIdx];
  mapRtkSolution(solution, rtkSolOut);
  r.pRtkSol = &rtkSolOut;
  const int type = solution.lSolType;
  bool avail = tPosMode > 3 && type > 0;
  if (avail && type == 1 && tPosMode != 4) avail = measProcLinks.rtkAllowType1();
  if (avail && type == 3) avail = measProcLinks.rtkAllowType3();
  if (avail) {
    double dist = 0.0;
    int limit = 0;
    if (measProcLinks.rtkBaseDistance(dist) && measProcLinks.rtkDistLimit(limit) && limit > 0 &&
        dist > limit * 100.0) {
      avail = false;
      measProcLinks.event("OPT,DIST,RANGE");
    }
  }
  r.bRtkAvail = avail ? 1 : 0;
  r.bHeadingAvail = solution.bHeadingAvailable;
  // The per-satellite use entries come in a record of their own, not in the 870 bytes.
  placeholder::RtkSol_useEntries(rtkSolOut);
  if (rtk_cpd_dbi == 4) debPrintfx(-1, " measProc bHeadingAvail %d\n", r.bHeadingAvail);
}


void setStatusAll(std::int32_t status) {
  PosLock lock;
  NavSol.status = status;
  navSol_Ant[0].status = status;
  navSol_Ant[1].status = status;
}

}  // namespace

bool measOnGrid(long t, int n) { return n == -1 || (n > 0 && t % n == 0); }

void measProcSettingsLoaded() {
  msInt = RcvSet.msInt;
  posMsInt = RcvSet.posMsInt;
  posUpdateRate = RcvSet.posUpdateRate;
  rawUpdateRate = RcvSet.rawUpdateRate;
}

void debPrintSlaveBuffers() {}

// Identity and signal state of an input's channels, as the board gave them this epoch.
void measProcMarkChans(int first, RTK_MARK_CHAN* out) {
  const BoardEpochPart& b = PVTDataInstance.epochData.GetPointer()->board;
  for (int k = 0; k < kCdatPerInput; ++k) {
    const int ch = first + k;
    const ChanData& c = Cdat[ch];
    ChanSatellite sat;
    if (c.bDataPresent == 0 || !chanSatellite(c.sysCode, c.svNum, sat)) sat = ChanSatellite{};
    out[k] = {c.bDataPresent, sat.sys, sat.number, ch < kBoardChannels ? b.chan[ch].ulCs6 : 0};
  }
}

void signalMeasReady() {
  debPrintSlaveBuffers();

  NavTask::fill_NavEpoch(RcvTimeScales::Req, NavEpoch);
  long t = NavEpoch.rcvTime % kDayMs;
  if (t < 0) t += kDayMs;
  const bool onMs = measOnGrid(t, msInt);

  if (t % 1000 == 0) {
    const bool utcOk = (NavEpoch.gpsValid & NavTask::NAV_EPOCH::kUtcKnown) != 0;
    rtosAdjustTime(utcOk ? NavEpoch.utcSec : 0, static_cast<std::int32_t>(t));
    const bool dateOk = NavEpoch.dateSource == 0 &&
                        (RcvSet.rtcRef == 0 || RcvSet.rtcRef == static_cast<std::uint32_t>(NavEpoch.date.year));
    Rtc::updateTime(dateOk ? NavEpoch.utcSec : 0);
  }

  ChanData::setMeasTime(measTime(NavEpoch));

  if (onMs) {
    for (ChanData& c : Cdat) c.processAfter();
  }

  RcvOut.epoch = NavEpoch;
  if (bDebugPosTime) debPrintfx(-1, "measProc(): rcvTimeModDay= %ld\r\n", t);

  if (onMs) {
    // Satellites with a measurement and their systems: each system costs one receiver clock.
    int measured = 0;
    unsigned systems = 0;
    for (int i = 0; i < kCdatChannels; ++i) {
      const std::uint8_t sys = chanSignalSystem(Cdat[i].sysCode);
      if (Cdat[i].bDataPresent == 0 || sys == kSvUnknown) continue;
      ++measured;
      systems |= 1u << sys;
    }
    SatLed::set(measured, std::popcount(systems));
  }
  if (t % 100 == 0) {
    SatLed::process(t);
    PosLed::process(t);
  }
  if (onMs) {
    omPrepare(t);
  }

  diffInitCoding();
  spCheckOut();

  // Main antenna input (0 or 1; other values are kept off the two-record tables).
  const int mainIdx = LockMan::getMainAntInputIdx();
  if (measProcLinks.sepAntSolutions()) {
    pNavSol_Ant[0] = &navSol_Ant[0];
    pNavSol_Ant[1] = &navSol_Ant[1];
  } else {
    pNavSol_Ant[0] = pNavSol_Ant[1] = &NavSol;
  }

  std::int32_t status = NavTask::NAV_SOL::kNotComputed;
  if (onMs && measOnGrid(t, posMsInt)) {
    status = measProcLinks.navMain();
  }
  setStatusAll(status);

  measProcLinks.roverMeas();
  for (int a = 0; a < 2; ++a) {
    RCV_OUTPUT& r = rcvOut_Ant[a];
    r.pNavSol = pNavSol_Ant[a];
    r.bSolPresent = pNavSol_Ant[a]->status == NavTask::NAV_SOL::kGood ? 1 : 0;
    r.epoch = NavEpoch;
  }

  rtkAvailability(mainIdx);

  rcvOut_Ant[0].chanBase = 0;
  rcvOut_Ant[1].chanBase = kCdatPerInput;
  for (int a = 0; a < 2; ++a) {
    RCV_OUTPUT& r = rcvOut_Ant[a];
    r.bMainInput = a == mainRecord(mainIdx) ? 1 : 0;
    r.pRelPos = nullptr;
    if (r.bMainInput) {
      const PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
      if (e != nullptr && relPosFromBoard(e->board.bSolAln != 0, e->board.solAln, navSolCopy(*r.pNavSol), relPosOut))
        r.pRelPos = &relPosOut;
      PVTDataInstance.epochData.FreePointer(e);
    }
    measProcMarkChans(r.chanBase, markChans[a]);
    r.pChans = markChans[a];
    r.nChans = kCdatPerInput;
  }
  rcvOut_Ant[0].computeParams();
  rcvOut_Ant[1].computeParams();
  RcvOut = rcvOut_Ant[mainRecord(mainIdx)];

  if (!onMs) RcvOut.sol.bOutPos = 0;

  if (posUpdateRate == 0 || !measOnGrid(t, posUpdateRate)) {
    setStatusAll(NavTask::NAV_SOL::kNotForOutput);
    RcvOut.sol.bOutPos = 0;
  }

  if (rawUpdateRate == 0 || !measOnGrid(t, rawUpdateRate) || !onMs) {
    for (ChanData& c : Cdat) {
      for (int s = 0; s < kCdatSlots; ++s) {
        ChanSigData* sig = c.sig(s);
        if (sig != &SdatEmpty) sig->flags = static_cast<std::uint16_t>(sig->flags & ~ChanSigData::kValidA);
      }
      c.bDataPresent = 0;
    }
  }

  baseMakeCoding();
  placeholder::NMEA_Output::makeStdOutput();

  if (t % 1000 == 0) {
    Session::run();
  }

  lrRotate(static_cast<std::uint32_t>(t), false);
  FileButton::handlePended();
  PowerButton::handlePended();

  if (onMs) {
    if (NavSol.status != NavTask::NAV_SOL::kNotForOutput) {
      bool skip = false;
      bool flag = true;
      int every = 0;
      if (tPosMode > 3 && measProcLinks.posLedRtkSettings(flag, every)) {
        skip = !flag && !(every > 0 && t % every == 0);
      }
      if (!skip) {
        PosLed::set(RcvOut.sol.bOutPos != 0, NavSol.solType, tPosMode);
      }
    }
    omOutput(t);
  }

  if (t % 1000 == 0) {
    pcfSecond();
  }

  alanVariance();
}

void* measProc(void*) {
  InPort* in = InPorts::ports_[kBoardPort];
  if (in != nullptr) in->setMode(InPort::M_ZRT);
  const std::uint32_t start = MonoClock::ms();
  do {
    if (in != nullptr) in->task(kSilenceMs);
    else Task::sleep(kSilenceMs / 10);
    Task::sleep(kRetryTicks);
  } while (MonoClock::ms() - start <= kGraceMs);
  std::fputs("$$ ERROR: no data from SLAVE: restart\n", stderr);
  std::fflush(stderr);
  rcvShutdown(kShutRestart, nullptr, 0, false);
}

bool measProcInit(int priority) {
  static Task* task = nullptr;
  if (task != nullptr) return task->started();
  task = new Task(priority, measProc, nullptr, "MEAT", 13168);
  task->resume();
  return task->started();
}
