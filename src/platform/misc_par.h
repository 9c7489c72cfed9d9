// Small shared values of the receiver.
#pragma once

#include <atomic>

// Shared table of receiver readings (voltages, temperatures, ...), each entry written by one
// task only and read by any without a lock.
inline constexpr int kMiscParCount = 128;
extern std::atomic<float> miscPar[kMiscParCount];


// True when the CPU clock can run at `mhz`: the frequency is one of those the CPU's frequency
// driver offers (/sys/devices/system/cpu/cpu0/cpufreq/scaling_available_frequencies). Without
// that interface no frequency is accepted.
bool checkCpuFrq(int mhz);
