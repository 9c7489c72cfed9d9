// The signals of the multi-system correction and health messages (types 41 to 43): per system
// (0 GPS, 1 GLONASS, 2 Galileo, 3 SBAS) 16 signal ids, each a correction slot (0 L1/E1,
// 1 L2, 2 L5/E5a, 3 E5b) and code (0 civil, 1 precise) of the correction store, or none.
#pragma once

struct Rtcm2Signal {
  int slot;
  int code;
  int signal;  // the slot's 3-bit signal field
};

// False for a system or signal id the receiver has no slot for.
bool rtcm2SignalOf(int sys, int signalId, Rtcm2Signal& out);
