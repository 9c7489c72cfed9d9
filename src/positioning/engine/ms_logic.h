// The measurement-interval logic: the receiver's measurement interval turned into what depends
// on it, the channel update interval, the code, ionosphere and TEC smoothing counts and the
// count of fixes the base averager needs. The settings loader records a change (msLogicInit),
// which is applied at once; the background task calls msLogic every cycle, which applies a change
// only while one is pending.
#pragma once

#include <cstdint>

#include "platform/hook.h"

struct MsLogicPendedType {
  std::uint8_t pended;
  std::uint8_t pad[3];
  std::int32_t msInt;   // requested measurement interval, ms (-1: any)
  std::int32_t secInt;  // second requested interval, ms
  std::int32_t div100;  // 100-ms step divisor, ms
  std::int32_t msIntApplied;
  std::int32_t div1000; // 1000-ms step divisor, ms
};
static_assert(sizeof(MsLogicPendedType) == 24);

// The pending record: written under the logic's own lock by msLogicInit and msLogic.
extern MsLogicPendedType msLogicPended;

// Records the intervals (ms) and applies them at once. An interval of 0 is refused (false) and
// changes nothing; -1 ("any") is taken as 1000 ms.
bool msLogicInit(int msInt, int secInt);
// Applies a recorded change while one is pending.
void msLogic();
// The base averager's count again from the stored averaging time at the applied step (after a
// change of that time).
void msLogicBaseAvg();

// The measurement interval of the channel layer, which lies above this one.
struct MsLogicLinks {
  Hook<void(int msInt)> chanMsInt{"positioning", "msLogicLinks.chanMsInt"};
};
extern MsLogicLinks msLogicLinks;
