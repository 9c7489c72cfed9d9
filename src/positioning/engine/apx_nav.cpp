#include "positioning/engine/apx_nav.h"

#include <atomic>

#include "platform/mono_clock.h"
#include "positioning/engine/last_position.h"
#include "positioning/geodesy/magvar.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/nav_data_counters.h"
#include "positioning/time_scales.h"
#include "settings/nv_settings.h"

ApxNav apxNav;

namespace {
std::atomic<bool> g_gloCalibChanged{false};
}  // namespace

void gloCalibSetChanged() { g_gloCalibChanged.store(true); }
bool gloCalibChanged() { return g_gloCalibChanged.exchange(false); }
ApxNavLinks apxNavLinks;

namespace {
constexpr std::int64_t kMsPerSec = 1000;
}

void ApxNav::slowCopy() {
  PosLock lock;
  validSlow = NavSol.pos.bValid;
  if (!validSlow) return;
  PosSlow = NavSol.pos;
  RcvTimeScales::INT_SCALES s{};
  if (TimeScales::now(s)) timeSlow = s;
  frqTime = posTime = MonoClock::sec();
}

void ApxNav::storePosition() {
  // Seconds of the 64-bit receiver-time count: they never step back at a week or day rollover.
  PosLock lock;
  const std::int64_t sec = timeSlow.rcvTime / kMsPerSec;
  if (sec - lastStoredSec <= kSaveEverySec) return;
  if (!PosSlow.bValid) return;
  if (nv_writePosition(&PosSlow)) ++storedCount;
  lastStoredSec = sec;
}

void ApxNav::cycle(std::uint32_t now) {
  if (!started) {
    started = true;
    satRunTime = magRunTime = now;
  }
  // Unsigned differences: right across the wrap of the microsecond count.
  if (static_cast<std::uint32_t>(now - satRunTime) > satPer) {
    slowCopy();
    satRunTime = now;
    apxNavLinks.satSearch();
    storePosition();
    if (gloCalibChanged()) nv_writeGloCalib(0);
  }
  PVTEngineInstance.update_RawNavDataFromZrtDec();
  if (static_cast<std::uint32_t>(now - magRunTime) > kMagPerUs) {
    magRunTime = now;
    if (validSlow) calcHelpMagVar(PosSlow, timeSlow, posTime);
    PVTEngineInstance.update_SatDataTask();
    PVTEngineInstance.update_SatCorrTask();
  }
}

void apxNavDuty(std::uint32_t nowUs) { apxNav.cycle(nowUs); }

void navDataInitOnce() {
  initGpsNavData();
  initGlnNavData();
  NavTask::NAV_POS pos{};
  if (!nv_readPosition(&pos) || !pos.bValid) return;
  {
    PosLock lock;
    apxNav.PosSlow = pos;
    apxNav.posTime = apxNav.frqTime = MonoClock::sec();
  }
  PVTEngineInstance.input_PositionData(pos);
}

void magvarStartOnce() {
  NavTask::NAV_POS pos{};
  if (!nv_readPosition(&pos) || !pos.bValid) return;
  // No epoch has been published yet: the scales as the real-time clock seeded them.
  RcvTimeScales::INT_SCALES s{};
  if (!TimeScales::now(s)) RcvTimeScales::getReq(s);
  calcHelpMagVar(pos, s, MonoClock::sec());
}

bool apxSlowPosition(double xyz[3], double& posTimeSec) {
  PosLock lock;
  if (!apxNav.PosSlow.bValid) return false;
  for (int i = 0; i < 3; ++i) xyz[i] = apxNav.PosSlow.dXyz[i];
  posTimeSec = apxNav.posTime;
  return true;
}
