// Stand-ins for operations of parts not built yet. Each answers "not available"; the real
// implementation replaces them. Keep each user's stand-ins in its own block.
#pragma once

#include "navigation_data/sv_id.h"

// ==== GPS LNAV decoder: store operations of the ghost check ===================================
namespace placeholder {
// SatelliteDataProcessor::clear_EphemerisData (satellite data store): drops every stored
// ephemeris of the satellite. Stand-in: false, nothing cleared.
bool clear_EphemerisData(SvIdType sv);
// SatelliteDataProcessor::clear_EphemerisDependentData (satellite visibility): drops the
// satellite's polynomial, position and visibility. Stand-in: false, nothing cleared.
bool clear_EphemerisDependentData(SvIdType sv);
}  // namespace placeholder
// ==== end of the GPS LNAV decoder's stand-ins =================================================
