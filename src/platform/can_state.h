// The stored state of one CAN port: eight 32-bit words, kept per port in the receiver settings
// record. Words 0, 6 and 7 are stored and returned but not used by the CAN ports.
#pragma once

#include <cstddef>
#include <cstdint>

struct CanState {
  std::uint32_t w[8];
};
static_assert(sizeof(CanState) == 32);
static_assert(offsetof(CanState, w) == 0);

// Word indexes of CanState.
enum CanStateWord : int {
  CAN_W_MODE = 0,
  CAN_W_RATE = 1,       // kbit/s
  CAN_W_IN_CNT = 2,     // number of input identifiers
  CAN_W_IN_FIRST = 3,   // first input identifier
  CAN_W_OUT_CNT = 4,    // number of output identifiers
  CAN_W_OUT_FIRST = 5,  // first output identifier
  CAN_W_PAR7 = 6,
  CAN_W_PAR8 = 7,
};

inline constexpr std::uint32_t kCanIdCountMax = 8;
inline constexpr std::uint32_t kCanStdIdMax = 0x7FF;
