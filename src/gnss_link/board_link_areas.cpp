// The /par/ areas whose settings live on the GNSS board as well: a successful set below one of
// them is forwarded to the board and kept for replay. Later work adds its areas here.
#include <cstring>

#include "gnss_link/board_link.h"

namespace {
const char* const kBoardSharedAreas[] = {
    "lock",       // satellite lock masks and per-signal switches
    "spectr",     // spectrum settings
    "calib",      // GLONASS bias calibration: software table and hardware delays
    "dev/pps",    // timing pulses, produced by the board
    "dev/event",  // event inputs, time-tagged by the board
    "pos/navdata/source",  // where the board takes navigation data and almanacs from (also
    "pos/almdata/source",  // sent from the satellite-processor setup at every start)
};
}  // namespace

bool m2sIsBoardShared(const char* path) {
  if (path == nullptr) return false;
  if (std::strncmp(path, "/par/", 5) == 0)
    path += 5;
  else if (*path == '/')
    ++path;
  for (const char* area : kBoardSharedAreas) {
    const std::size_t n = std::strlen(area);
    if (std::strncmp(path, area, n) == 0 && (path[n] == 0 || path[n] == '/')) return true;
  }
  return false;
}
