// Navigation settings NavSet: smoothing intervals and the current output datum. Stored whole in
// its own block; fixed layout, fields added only from the reserved tail.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/hook.h"

namespace NavTask {

// Room for the output datum record; the position layer defines DATUM_IN_USE over it and checks
// that it fits.
inline constexpr std::size_t kDatumBytes = 480;

struct NAV_SETTINGS {
  std::uint16_t smi;          // raw-data smoothing interval, s
  std::uint16_t ionoMinSmi;   // minimum ionosphere smoothing time, s
  std::uint16_t ionoMinSmiCnt;// the same as a count of measurement intervals
  std::uint16_t spare;
  alignas(8) std::uint8_t datum[kDatumBytes];  // NavTask::DATUM_IN_USE, current output datum
  std::uint8_t reserved[24];
};
static_assert(sizeof(NAV_SETTINGS) == 512);
static_assert(offsetof(NAV_SETTINGS, datum) == 8);

}  // namespace NavTask

extern NavTask::NAV_SETTINGS NavSet;

// Factory defaults; the datum area through the datum-defaults hook (zero while unfilled).
void navSetDefaults(NavTask::NAV_SETTINGS& s);
// The position layer fills the factory-default datum (WGS-84) into the area.
extern Hook<void(std::uint8_t* datum, std::size_t size)> navDatumDefaultsHook;
// A smoothing time (s) as a count of measurement intervals (ms, -1 or 0: 1 s): whole intervals,
// at most 65,535 (the counts are 16-bit; long smoothing at short intervals would wrap).
int navSmoothCount(long seconds, int msInt);
// ionoMinSmiCnt from ionoMinSmi and the measurement interval, by navSmoothCount.
void navSetDeriveCounts(NavTask::NAV_SETTINGS& s, int msInt);
