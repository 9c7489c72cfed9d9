#include "positioning/rcv_output_base_moving.h"

#include <atomic>
#include <cmath>
#include <cstring>

#include "positioning/data_servers/board_epoch_types.h"
#include "positioning/engine/nav_sol.h"

BASE_MOVING_DATA BaseMovingData;
// Built after BaseMovingData, in the same unit, so that it starts as its copy.
BASE_MOVING_DATA GotBaseMovingData = BaseMovingData;

namespace {
constexpr float kMaxErr0 = 5.0f;
constexpr float kMaxErr1 = 0.05f;
constexpr float kMaxPdop = 2.0f;
constexpr int kMinSats = 6;

bool usable(const REL_POS_BLOCK& b) {
  return b.bValid[0] && b.bValid[1] && b.err[0] < kMaxErr0 && b.err[1] < kMaxErr1 && b.pdop < kMaxPdop &&
         b.uNumSats >= kMinSats && !b.bErrFlag[0] && !b.bErrFlag[1];
}

// The time step in s, folded into half a cycle either side: the scale's millisecond count starts
// again at the end of the week (or day), which must not read as a jump back by a whole cycle.
double stepSeconds(std::int32_t now, std::int32_t last, std::int32_t periodMs) {
  std::int64_t d = static_cast<std::int64_t>(now) - last;
  if (periodMs > 0) {
    d %= periodMs;
    if (d > periodMs / 2) d -= periodMs;
    if (d < -(periodMs / 2)) d += periodMs;
  }
  return static_cast<double>(d) * 0.001;
}
}  // namespace

namespace {
template <class T>
T wordsAs(const std::uint32_t* w) {
  T v;
  std::memcpy(&v, w, sizeof v);
  return v;
}
}  // namespace

bool relPosFromBoard(bool received, const BoardSolAlnType& rec, const NavTask::NAV_SOL& sol, REL_POS_BLOCK& out) {
  if (!received) return false;
  out = REL_POS_BLOCK{};
  out.uNumSats = static_cast<std::uint8_t>(rec.u1372 > 255 ? 255 : rec.u1372);
  out.bErrFlag[0] = rec.u1374 & 1;
  out.bErrFlag[1] = (rec.u1374 >> 1) & 1;
  out.bValid[0] = rec.uFlag1375;
  out.bValid[1] = rec.uFlag1410;
  for (int i = 0; i < 3; ++i) {
    out.pos[i] = wordsAs<double>(&rec.ul1376[2 * i]);
    out.vel[i] = wordsAs<double>(&rec.ul1411[2 * i]);
  }
  out.err[0] = wordsAs<float>(&rec.ul1376[6]);
  out.err[1] = wordsAs<float>(&rec.ul1376[7]);
  // Values that are no number hold the monitor off, as values too large do.
  for (int i = 0; i < 2; ++i)
    if (!std::isfinite(out.err[i])) out.err[i] = INFINITY;
  for (int i = 0; i < 3; ++i)
    if (!std::isfinite(out.pos[i]) || !std::isfinite(out.vel[i])) out.bValid[0] = out.bValid[1] = 0;
  out.timeMs = static_cast<std::int32_t>(rec.ul1411[6]);
  out.bTimeValid = rec.u1451;
  const NavTask::SolAccuracy a = NavTask::solAccuracy(sol.pos);
  out.pdop = a.dopValid ? a.dop[NavTask::SolAccuracy::kPdop] : INFINITY;
  return true;
}

void baseMovingStep(BASE_MOVING_DATA& d, const REL_POS_BLOCK* block, std::int32_t periodMs) {
  if (block == nullptr || !usable(*block)) {
    d.bActive = 0;
    d.bStarted = 0;
    return;
  }
  const REL_POS_BLOCK& b = *block;
  const bool whole = b.bTimeValid && b.timeMs % 1000 == 0;
  if (d.bStarted && d.resetMode == 2) {
    const double dt = stepSeconds(b.timeMs, d.lastTime, periodMs);
    for (int i = 0; i < 3; ++i) d.integ[i] += b.vel[i] * dt;
    d.accTime += dt;
    if (whole) {
      double len2 = 0;
      for (int i = 0; i < 3; ++i) {
        d.motion[i] = static_cast<float>(d.integ[i] - d.ref[i]);
        d.ref[i] = static_cast<float>(d.integ[i]);
        len2 += static_cast<double>(d.motion[i]) * d.motion[i];
      }
      d.bAlert = 1;
      const float len = static_cast<float>(std::sqrt(len2));
      if (len > d.maxMotion) d.maxMotion = len;
    }
  } else {
    for (int i = 0; i < 3; ++i) {
      const double v = d.resetMode == 1 ? b.pos[i] : d.resetMode == 0 ? 0.0 : d.integ[i];
      d.integ[i] = v;
      if (d.resetMode <= 1) d.ref[i] = static_cast<float>(v);
    }
    if (!d.bInit) {
      d.bAlert = 0;
      d.maxMotion = 0;
      for (float& m : d.motion) m = 0;
      d.bInit = 1;
    }
    d.resetMode = 2;
    d.bStarted = 1;
    d.accTime = 0;
  }
  d.lastTime = b.timeMs;
  d.bActive = 1;
  for (int i = 0; i < 3; ++i) d.sum[i] += b.pos[i];
  d.errSum += b.err[0];
  ++d.count;
  if (whole) {
    if (d.count == 0) {
      d.bAvgValid = 0;
    } else {
      for (int i = 0; i < 3; ++i) d.avg[i] = d.sum[i] / d.count, d.sum[i] = 0;
      d.avgErr = d.errSum / d.count;
      d.errSum = 0;
      d.count = 0;
      d.bAvgValid = 1;
    }
  }
}

void resetBaseMovingAlert() {
  BaseMovingData.bAlert = 0;
  BaseMovingData.maxMotion = 0;
  for (float& m : BaseMovingData.motion) m = 0;
}

bool resetBaseMovingRelPosData(int mode) {
  if (mode != 0 && mode != 1) return false;
  BaseMovingData.resetMode = static_cast<std::uint8_t>(mode);
  return true;
}

namespace {
std::atomic<bool> g_alertResetAsked{false};
std::atomic<int> g_relPosModeAsked{-1};  // -1: none
// What other tasks may read of the record, as the last epoch left it.
std::atomic<std::uint8_t> g_alertShown{0};
std::atomic<std::uint8_t> g_modeShown{0};
}  // namespace

void requestBaseMovingAlertReset() { g_alertResetAsked.store(true); }

bool requestBaseMovingRelPosReset(int mode) {
  if (mode != 0 && mode != 1) return false;
  g_relPosModeAsked.store(mode);
  return true;
}

void applyBaseMovingResets() {
  if (g_alertResetAsked.exchange(false)) resetBaseMovingAlert();
  const int mode = g_relPosModeAsked.exchange(-1);
  if (mode >= 0) resetBaseMovingRelPosData(mode);
  g_alertShown.store(BaseMovingData.bAlert);
  g_modeShown.store(BaseMovingData.resetMode);
}

bool baseMovingAlertShown() { return g_alertShown.load() != 0; }
int baseMovingResetModeShown() { return g_modeShown.load(); }
