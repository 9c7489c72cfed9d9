#include "differential/rtk/rtk_reset.h"

#include "differential/rtk/base_pro.h"
#include "differential/rtk/rtk_engine.h"

int rtcm_reset = 0;

void rtkRequestReset(int eng, std::uint8_t code) {
  if (eng < 0 || eng >= Engine::kEngines) return;
  Eng->resetCode[eng] = code;
  Eng->resetReq[eng] = 1;
}

void rtkResetEngine(int eng, std::uint8_t code) {
  if (eng < 0 || eng >= Engine::kEngines) return;
  rtkRequestReset(eng, code);
  waitForProj(eng);
  waitForAmb(eng);
  // Engine e works on baseline e, and the container serves baseline 0 only: engine 1 has no
  // projectors to empty.
  BPC.Reset(eng);
  ambRelease(eng);
  projRelease(eng);
}
