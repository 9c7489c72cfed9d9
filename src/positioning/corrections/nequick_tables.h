// The NeQuick G tables built into the program, generated at build time from the public data
// (tools/gen/nequick.py).
#pragma once

inline constexpr int kNeQuickMonths = 12;
inline constexpr int kNeQuickF2Rows = 76;   // foF2 spatial terms
inline constexpr int kNeQuickF2Cols = 13;   // their time harmonics
inline constexpr int kNeQuickFm3Rows = 49;  // M(3000)F2 spatial terms
inline constexpr int kNeQuickFm3Cols = 9;
inline constexpr int kNeQuickFm3Offset = 2 * kNeQuickF2Rows * kNeQuickF2Cols;
inline constexpr int kNeQuickCcirPerMonth = kNeQuickFm3Offset + 2 * kNeQuickFm3Rows * kNeQuickFm3Cols;
static_assert(kNeQuickCcirPerMonth == 2858);
inline constexpr int kNeQuickModipRows = 39;  // -95 .. 95 degrees of latitude, 5 degree steps
inline constexpr int kNeQuickModipCols = 39;  // -190 .. 190 degrees of longitude, 10 degree steps

// Per month (January first): foF2 coefficients [low, high solar activity][76][13], then
// M(3000)F2 coefficients [low, high][49][9].
extern const double NeQuickCCIRFile[kNeQuickMonths][kNeQuickCcirPerMonth];
// MODIP in degrees, [latitude row][longitude column].
extern const double NeQuickModipFile[kNeQuickModipRows][kNeQuickModipCols];
