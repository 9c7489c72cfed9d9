#include "positioning/engine/ms_logic.h"

#include <algorithm>

#include "platform/rtos.h"
#include "positioning/chan_data.h"
#include "positioning/reference/base_filter.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"

MsLogicLinks msLogicLinks;
MsLogicPendedType msLogicPended{};

namespace {

Mutex g_mu;

constexpr int kAnyMs = 1000;  // the interval "any" (-1) stands for

// The largest multiple of 5 from min(x, cap) down that divides both x and cap; 5 when none does.
int stepDivisor(int x, int cap) {
  for (int d = std::min(x, cap) / 5 * 5; d >= 5; d -= 5)
    if (x % d == 0 && cap % d == 0) return d;
  return 5;
}

// The base averager spans the averaging time at the 1000-ms step (a setting of 0, never given,
// averages for the factory time).
void baseAvgTarget(const MsLogicPendedType& r) {
  const int avg = RcvSet.baseAvg ? RcvSet.baseAvg : kBaseAvgDefaultSec;
  BaseFlt.setTarget(avg, static_cast<int>(static_cast<long>(avg) * 1000 / (r.div1000 > 0 ? r.div1000 : 1000)));
}

void update() {
  MsLogicPendedType& r = msLogicPended;
  r.pended = 0;
  // The interval in 5-ms steps.
  int I = r.msInt < 0 ? kAnyMs : r.msInt;
  I = I < 5 ? 5 : I / 5 * 5;
  // The second interval as a multiple of I.
  int J = r.secInt;
  if (J >= I)
    J = J / I * I;
  else if (J > 0)
    J = I;
  // The step divisors of 100 ms and (D) of 1000 ms.
  r.div100 = stepDivisor(I, 100);
  r.div1000 = J < 1 ? 5 : stepDivisor(J, 1000);
  r.msIntApplied = I;
  msLogicLinks.chanMsInt(I);
  ChanData::iUpdateRate = I;
  // Smoothing counts, each kept within 16 bits.
  setSmoothInt(false, navSmoothCount(RcvSet.smi, I));
  setSmoothInt(true, navSmoothCount(RcvSet.ionoSmi, I));
  navSetDeriveCounts(NavSet, I);
  const int tec = navSmoothCount(RcvSet.tecSmi, I);
  ChanData::xTecMaxSmCnt = static_cast<std::uint16_t>(tec ? tec : 1);
  baseAvgTarget(r);
}

}  // namespace

void msLogicBaseAvg() {
  Locker<Mutex> l(g_mu);
  baseAvgTarget(msLogicPended);
}

bool msLogicInit(int msInt, int secInt) {
  if (msInt == 0) return false;
  Locker<Mutex> l(g_mu);
  msLogicPended.msInt = msInt;
  msLogicPended.secInt = secInt;
  msLogicPended.pended = 1;
  update();
  return true;
}

void msLogic() {
  Locker<Mutex> l(g_mu);
  if (msLogicPended.pended) update();
}
