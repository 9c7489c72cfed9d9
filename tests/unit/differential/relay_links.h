// The relay links as a run starts: no decoder port holds one and no data-link report is kept.
#pragma once

#include "differential/redirect.h"
#include "platform/ports/in_port.h"

namespace difftest {

inline void freeRelayLinks() {
  for (int p = 0; p < InPorts::DEC_NUM; ++p) RedirMap::release(p);
  RedirMap::updateDl("", 0);
}

}  // namespace difftest
