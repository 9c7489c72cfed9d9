// Short-term frequency stability of the signal on one tracking channel, as an Allan-deviation
// figure over 60-second blocks, printed on the debug output. The channel is chosen by the debug
// selector: its last decimal digit is the signal slot, the digit before it the system.
#pragma once

#include <cstdint>

struct AllanState {
  int selector = 0;       // selector the channel was chosen under
  int sig = 0;            // signal slot 0..5
  int sys = 0;            // satellite system 0..6 (SvSystem)
  float bestSnr = 0.0f;   // level of the chosen channel when chosen, dB-Hz
  std::int32_t accMs = 0;  // time accumulated in the current block
  double sumSq = 0.0;
  double sum = 0.0;
  double drift = 0.0;
  double lastF = 0.0;
  double prevY = 0.0;
  bool valid = false;     // `result` holds a figure of a whole block
  float result = 0.0f;
  int chan = -1;          // chosen channel, -1 none
  long lastT = -1;        // receiver ms of day of the previous epoch, -1 none
};

// Value of the figure when the variance is not positive (or not defined).
inline constexpr float kAllanNoFigure = 1.0e12f;
// Length of one block.
inline constexpr std::int32_t kAllanBlockMs = 60000;

// One epoch: reads the channel data and the epoch's receiver time (NavEpoch).
void alanVariance();
// The same with the epoch's receiver time t (ms of day) and the selector given.
void alanVarianceAt(long t, int selector);
