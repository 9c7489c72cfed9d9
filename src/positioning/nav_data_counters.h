// Per-satellite counters of navigation-data updates: GPS (32) with QZSS (7), and GLONASS by
// frequency number (-7..7). They count from 0 after every start, once the receiver settings are
// complete, so that no update seen before the start is taken for a new one.
#pragma once

#include <cstdint>

struct NAV_DATA_UPDATES {
  static constexpr int kGps = 32;
  static constexpr int kQzss = 7;
  static constexpr int kGlonass = 15;  // frequency numbers -7..7
  std::uint16_t gps[kGps];
  std::uint16_t qzss[kQzss];
  std::uint16_t glonass[kGlonass];
};
extern NAV_DATA_UPDATES NavDataUpdates;

// Clears the GPS and QZSS counters.
void initGpsNavData();
// Clears the GLONASS counters.
void initGlnNavData();
