#include "gnss_link/peripherals/board_settings_funcs.h"

#include "command/result_codes.h"
#include "gnss_link/freq_plan.h"
#include "platform/misc_par.h"
#include "settings/rcv_settings.h"

BoardProps boardProps;

namespace {
bool lbandOn() { return RcvSet.lbandMode != 0; }
}  // namespace

bool rcvSupportNtClk() { return true; }
bool rcvHasOnlyNtClk() { return false; }
std::uint8_t getUseNT() { return boardProps.useNt.load(); }
void setUseNT(std::uint8_t flag) { boardProps.useNt.store(flag); }

int checkDspFrq(int hz) {
  const int mhz = hz / 1000;
  for (int f : supportedFrq) {
    if (f == mhz) return 1;
  }
  return -1;
}

bool cpuSetFrq(int mhz) {
  const bool ok = checkCpuFrq(mhz);
  if (ok) {
    boardProps.cpuFrq.store(mhz);
    boardProps.cpuFrqId.store(1);
  }
  return ok;
}

bool isOsc10Mhz() { return false; }
int setVcc0v9Down(bool) { return CMD_OK; }
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
void setCpuNum(int n) { boardProps.nSlaveCpusInWork.store(n - 1); }
int getCpuNum() { return boardProps.nSlaveCpusInWork.load() + 1; }

int lpmGetDefault() { return 1; }
bool lpmGet() { return boardProps.lpm.load(); }
int lpmSet(bool on) {
  boardProps.lpm.store(on);
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
