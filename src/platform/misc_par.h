// Small shared values of the receiver.
#pragma once

#include <atomic>

// Shared table of receiver readings (voltages, temperatures, ...), each entry written by one
// task only and read by any without a lock.
inline constexpr int kMiscParCount = 128;
extern std::atomic<float> miscPar[kMiscParCount];

