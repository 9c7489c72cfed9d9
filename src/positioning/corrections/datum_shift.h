// A datum named by a correction source, with the shift it makes at one position (WGS-84 to the
// datum, Earth-centred, m): what the code-differential generators add for a station's datum and
// for each system's broadcast datum.
#pragma once

#include <cstdint>

#include "positioning/geodesy/dtm_list.h"
#include "positioning/geodesy/ell_math.h"

struct DatumShift {
  char cName[8];
  std::uint8_t bKnown;
  DtmList::ELL_PARAMS ell;
  DtmList::DATUM_PARAMS_COMPUTE params;
  EllMath::ELL_EXTPAR ellExt;
  double dShift[3];

  // Looks the datum up by name (up to six characters, not always terminated); unknown names
  // leave it unknown.
  void take(const char* name);
  // The shift at `pos`; zero for an unknown datum.
  void shiftAt(const double pos[3]);
};
