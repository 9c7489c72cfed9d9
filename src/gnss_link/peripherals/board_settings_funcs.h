// Small board-level properties the command interpreter, the L-band service, the raw decoder and
// start-up ask about or change: the clock source, the DSP and CPU clocks, the number of
// GNSS-board processors, supply reductions, the low-power mode, and tracking-loop setters whose
// work the GNSS board does (here they only accept the call: the loop parameters reach the board
// as forwarded settings).
#pragma once

#include <atomic>
#include <cstdint>

// DSP clock frequencies the board supports, MHz.
inline constexpr int supportedFrq[] = {120, 100, 80};

// The state these functions keep; what a reset of the process starts from.
struct BoardProps {
  std::atomic<std::uint8_t> useNt{0};  // the GNSS board's alternative clock source in use
  std::atomic<int> cpuFrq{800};        // MHz
  std::atomic<int> cpuFrqId{2};        // 1 once a frequency was set
  std::atomic<int> nSlaveCpusInWork{2};  // GNSS-board processors in work besides the first
  std::atomic<bool> lpm{false};        // low-power mode
};
extern BoardProps boardProps;

bool rcvSupportNtClk();
bool rcvHasOnlyNtClk();
// From the board's start-up record.
std::uint8_t getUseNT();
void setUseNT(std::uint8_t flag);

// 1 when hz / 1000 is one of the supported DSP frequencies, else -1.
int checkDspFrq(int hz);
// Stores the CPU frequency (and marks it changed) when the CPU can run at it; returns that check.
bool cpuSetFrq(int mhz);
bool isOsc10Mhz();
int setVcc0v9Down(bool on);
// 5 (not possible) when asked to reduce, else 0.
int setVcc1v8Down(bool on);

// Applies the "cpu/num" value (0..4, 5 = auto); 0 when accepted, else the command error code.
int cpuSetNum(int n);
void setCpuNum(int n);
int getCpuNum();

int lpmGetDefault();
bool lpmGet();
int lpmSet(bool on);

void setPllOrder(int a, int b);
void setPllBand(int a, float b);
void setPllAlp(int a, float b);
void setPllnn4(int a, int b);
void setCllBand(int a, float b);
void setCllOrder(int a, int b);
void setCllGuid(int a, int b);
void setPllCllBand(int a, float b);
void setCllfromItsPllGuid(int a, int b);
void setPllCllGuid(int a, int b);
void setPllCllOrder(int a, int b);
void setDatDat_DP(int a, int b);
