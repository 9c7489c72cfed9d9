// Small board-level properties the command interpreter and start-up ask about or change: the
// clock source, DSP and CPU clocks, the number of GNSS-board processors, supply reductions, the
// low-power mode, and tracking-loop setters whose work the GNSS board does (here they only
// accept the call; the values reach the board as forwarded settings).
#pragma once

#include <cstdint>

// DSP clock frequencies the board supports, MHz.
inline constexpr int kSupportedDspFrq[] = {120, 100, 80};

bool rcvSupportNtClk();
bool rcvHasOnlyNtClk();
// The GNSS board's alternative clock source in use (from the board's start-up record).
std::uint8_t getUseNT();
void setUseNT(std::uint8_t flag);

// 1 when hz / 1000 is one of the supported DSP frequencies, else -1.
int checkDspFrq(int hz);
// Stores the CPU frequency when the CPU accepts it (marker 1: changed); returns that check.
bool cpuSetFrq(int mhz);
int cpuFrq();
int cpuFrqId();
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

// Loop parameters travel to the GNSS board as forwarded settings; here they are only accepted.
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

namespace LogicChan {
int getTrackingTime();
}
