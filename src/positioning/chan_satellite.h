// How the GNSS board names the satellite of a tracking channel, read in one place.
//
// The board's satellite record gives each channel a system code and a number. The code counts the
// systems in the board's own order, which is not the navigation layer's system order:
//
//   code   0    1        2     3        4       5     6      7
//   board  GPS  GLONASS  SBAS  Galileo  BeiDou  QZSS  NavIC  L-band beam
//
// The number is the satellite's PRN, except that a GLONASS satellite is named by its frequency
// number, a signed byte (k = -7..+6; 0xFF is k = -1, not "none"), and an L-band channel by its
// beam's frequency step. A QZSS satellite tracked on its SBAS signal (L1S) comes as SBAS PRN
// 183..189 and is the QZSS satellite 193..199. Every reader of a channel's satellite (carrier
// frequency, measurement processor, used list, output counts, RTK marking, rover data, monitors)
// goes through these functions, so that no two of them read the bytes differently.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"

// Channel system codes of the GNSS board; above 7 no satellite.
enum ChanSysCode : std::uint8_t {
  kChanGps = 0,
  kChanGlonass = 1,
  kChanSbas = 2,
  kChanGalileo = 3,
  kChanBeidou = 4,
  kChanQzss = 5,
  kChanNavic = 6,
  kChanLband = 7,
};
// The navigation system of each satellite system code (0..6).
constexpr std::uint8_t kChanCodeSystem[7] = {kSysGps,    kSysGlonass, kSysSbas, kSysGalileo,
                                             kSysBeidou, kSysQzss,    kSysNavic};

// QZSS satellites that broadcast SBAS messages (L1S) are tracked as SBAS PRN 183..189.
constexpr int kQzssL1sFirstPrn = 183;
constexpr int kQzssL1sLastPrn = 189;

// The channel's satellite number from the board's number byte: signed for a GLONASS channel,
// unsigned for every other code.
int chanSatNumber(std::uint8_t code, std::uint8_t numberByte);

// The navigation system whose signal the channel tracks (the code mapped; the L1S signal of a
// QZSS satellite is an SBAS signal); kSvUnknown for L-band and unknown codes. This is what a
// signal's carrier depends on.
std::uint8_t chanSignalSystem(std::uint8_t code);

// The satellite a channel tracks, in the navigation layer's terms.
struct ChanSatellite {
  std::uint8_t sys = kSvUnknown;  // SvSystem
  std::int16_t number = 0;        // PRN (QZSS 193..199); GLONASS frequency number
  bool ownOrbit = true;           // false: an L1S channel, whose orbit is not of that signal
};

// `number` as chanSatNumber gives it (a GLONASS number may also be the board's byte: its low 8
// bits are read signed). False for L-band, unknown codes and numbers outside the system's range
// (a GLONASS channel without a frequency number among them).
bool chanSatellite(std::uint8_t code, int number, ChanSatellite& out);

// The same as a satellite identity in the signal numbering (SAT set where it follows from the
// number: every system but GLONASS).
bool chanSvId(std::uint8_t code, int number, SvIdType& sv, bool& ownOrbit);
