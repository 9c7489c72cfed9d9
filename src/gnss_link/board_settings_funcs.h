// Small board-level properties the command interpreter, the L-band service and the raw decoder
// ask about or change: the clock source, the oscillator and the number of GNSS-board processors.
#pragma once

#include <cstdint>

// The GNSS board's alternative clock source in use (from the board's start-up record).
void setUseNT(std::uint8_t flag);

bool isOsc10Mhz();

// Applies the "cpu/num" value (0..4, 5 = auto); 0 when accepted, else the command error code.
int cpuSetNum(int n);
void setCpuNum(int n);
int getCpuNum();
