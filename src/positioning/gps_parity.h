#pragma once
// Parity of 30-bit words in the GPS LNAV word format, as RTCM version 2 carries them.
// A word sits in 32 bits: bits 31-30 D29* and D30* of the previous word, bits 29-6 the data
// bits d1-d24 (d1 in bit 29), bits 5-0 the parity bits D25-D30.

#include <atomic>
#include <cstdint>

// Parity masks over that layout, D25 first (the IS-GPS-200 parity equations).
extern const std::uint32_t GPS_PAR[6];

// Words that failed the check, program-wide.
extern std::atomic<std::uint32_t> gpsParityErrCnt;

class GpsParity {
 public:
  // 1 when every word passes (also for count < 1), else 0 at the first failing word. A word
  // whose D30* is set has its data bits inverted in place before its check, so checked words
  // hold the true data on return.
  static int checkParity(std::uint32_t* words, int count);

  // Computes D25-D30 for each word from its data bits and the carried D29*D30* (bit 1 D29*,
  // bit 0 D30*), inverting the data when D30* is set; the new D29*D30* is carried to the next
  // word, left in d2930 and returned.
  static std::uint32_t addParity(std::uint32_t* words, int count, std::uint32_t& d2930);

  // D25-D30 of one word laid out as above (bits 5-0 of the result).
  static std::uint32_t parityBits(std::uint32_t word);
};
