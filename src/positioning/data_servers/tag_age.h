// Age of a time tag of week or day time: one folding for every correction record, so that a tag
// just across the week (or day) boundary from the current time reads as the few seconds it is.
#pragma once

#include <cstdint>

namespace TagAge {

// `deltaMs` (current time minus tag time) in seconds folded into -cycle/2..cycle/2.
inline double foldedSeconds(std::int64_t deltaMs, double cycleSec) {
  const std::int64_t cycleMs = static_cast<std::int64_t>(cycleSec * 1000.0);
  if (cycleMs <= 0) return static_cast<double>(deltaMs) * 0.001;
  std::int64_t d = deltaMs % cycleMs;
  if (d > cycleMs / 2) d -= cycleMs;
  if (d < -cycleMs / 2) d += cycleMs;
  return static_cast<double>(d) * 0.001;
}

}  // namespace TagAge
