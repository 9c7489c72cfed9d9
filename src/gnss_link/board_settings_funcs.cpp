#include "gnss_link/board_settings_funcs.h"

#include <atomic>

#include "command/result_codes.h"
#include "settings/rcv_settings.h"
#include "platform/misc_par.h"

namespace {
std::atomic<std::uint8_t> useNt{0};
std::atomic<int> cpuFrqMhz{800};
std::atomic<int> cpuFrqChanged{2};
// Processors in work besides the first.
std::atomic<int> nSlaveCpusInWork{2};
std::atomic<bool> lpm{false};

bool lbandOn() { return RcvSet.lbandMode != 0; }
}  // namespace

bool rcvSupportNtClk() { return true; }
bool rcvHasOnlyNtClk() { return false; }
std::uint8_t getUseNT() { return useNt.load(); }
void setUseNT(std::uint8_t flag) { useNt.store(flag); }

int checkDspFrq(int hz) {
  const int mhz = hz / 1000;
  for (int f : kSupportedDspFrq) {
    if (f == mhz) return 1;
  }
  return -1;
}

bool cpuSetFrq(int mhz) {
  const bool ok = checkCpuFrq(mhz);
  if (ok) {
    cpuFrqMhz.store(mhz);
    cpuFrqChanged.store(1);
  }
  return ok;
}
int cpuFrq() { return cpuFrqMhz.load(); }
int cpuFrqId() { return cpuFrqChanged.load(); }
bool isOsc10Mhz() { return false; }
int setVcc0v9Down(bool) { return 0; }
int setVcc1v8Down(bool on) { return on ? CMD_OUT_OF_RANGE : CMD_OK; }

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

int lpmGetDefault() { return 1; }
bool lpmGet() { return lpm.load(); }
int lpmSet(bool on) {
  lpm.store(on);
  return 1;
}

void setPllOrder(int, int) {}
void setPllBand(int, float) {}
void setPllAlp(int, float) {}
void setPllnn4(int, int) {}
void setCllBand(int, float) {}
void setCllOrder(int, int) {}
void setCllGuid(int, int) {}
void setPllCllBand(int, float) {}
void setCllfromItsPllGuid(int, int) {}
void setPllCllGuid(int, int) {}
void setPllCllOrder(int, int) {}
void setDatDat_DP(int, int) {}

int LogicChan::getTrackingTime() { return 0; }
