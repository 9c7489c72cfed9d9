#include "gnss_link/board_settings_funcs.h"

#include <atomic>

#include "command/result_codes.h"
#include "settings/rcv_settings.h"

namespace {
std::atomic<std::uint8_t> useNt{0};
// Processors in work besides the first.
std::atomic<int> nSlaveCpusInWork{2};

bool lbandOn() { return RcvSet.lbandMode != 0; }
}  // namespace

void setUseNT(std::uint8_t flag) { useNt.store(flag); }

bool isOsc10Mhz() { return false; }

int cpuSetNum(int n) {
  switch (n) {
    case 1:
    case 2:
      return CMD_WRONG_1ST;
    case 4:
      if (lbandOn()) return CMD_OUT_OF_RANGE;
      setCpuNum(4);
      return CMD_OK;
    case 5:  // auto: the L-band service takes a processor of its own
      setCpuNum(lbandOn() ? 3 : 4);
      return CMD_OK;
    default:
      setCpuNum(n);
      return CMD_OK;
  }
}
void setCpuNum(int n) { nSlaveCpusInWork.store(n - 1); }
int getCpuNum() { return nSlaveCpusInWork.load() + 1; }
