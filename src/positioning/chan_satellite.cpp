#include "positioning/chan_satellite.h"

int chanSatNumber(std::uint8_t code, std::uint8_t numberByte) {
  return code == kChanGlonass ? static_cast<int>(static_cast<std::int8_t>(numberByte)) : static_cast<int>(numberByte);
}

std::uint8_t chanSignalSystem(std::uint8_t code) { return code <= kChanNavic ? kChanCodeSystem[code] : kSvUnknown; }

bool chanSatellite(std::uint8_t code, int number, ChanSatellite& out) {
  const std::uint8_t sys = chanSignalSystem(code);
  if (sys == kSvUnknown) return false;
  ChanSatellite s;
  s.sys = sys;
  // A GLONASS number reads the same as the board's byte or already signed.
  s.number = static_cast<std::int16_t>(code == kChanGlonass ? chanSatNumber(code, static_cast<std::uint8_t>(number & 0xFF)) : number);
  if (sys == kSysSbas && number >= kQzssL1sFirstPrn && number <= kQzssL1sLastPrn) {
    s.sys = kSysQzss;
    s.number = static_cast<std::int16_t>(SYS_SI_MIN[kSysQzss] + (number - kQzssL1sFirstPrn));
    s.ownOrbit = false;
  }
  if (s.number < SYS_SI_MIN[s.sys] || s.number > SYS_SI_MAX[s.sys]) return false;
  out = s;
  return true;
}

bool chanSvId(std::uint8_t code, int number, SvIdType& sv, bool& ownOrbit) {
  ChanSatellite s;
  if (!chanSatellite(code, number, s) || !svIdFromSiNumber(s.sys, s.number, sv)) return false;
  ownOrbit = s.ownOrbit;
  return true;
}
