// Orbits for the base-data targets: a range that lacks its whole milliseconds is completed from
// the satellite's place at the station, which only a satellite with an orbit in the store has.
// Every GPS satellite gets a polynomial about one time, built from a made-up broadcast orbit of
// its own (a GPS orbit's size and inclination, each satellite on its own plane and place): what
// counts here is that the store holds one, as the navigation data's task leaves it.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/nav_records.h"
#include "navigation_data/sv_id.h"

namespace fuzz {

inline void publishGpsOrbits(double towSec) {
  for (int si = 0; si < 32; ++si) {
    ZRT_EPH_GPS e{};
    e.prn = static_cast<std::uint8_t>(si + 1);
    e.week = 2300;
    e.toe = static_cast<std::uint32_t>(towSec);
    e.toc = static_cast<std::int32_t>(towSec);
    e.iode = static_cast<std::uint16_t>(si + 1);
    e.iodc = static_cast<std::int16_t>(si + 1);
    e.sqrtA = 5153.7;
    e.e = 0.005 + 0.0005 * si;
    e.i0 = 0.96;
    e.Omega0 = 0.4 * si;
    e.M0 = 1.3 * si;
    e.omega = 0.3;
    e.OmegaDot = -8e-9f;
    e.af0 = 1e-5 * (si % 5);
    PolyNodeRing ring;
    bool computed = false;
    SatData::PolynomSetType set{};
    if (!update_SatellitePolynom(kSysGps, e, towSec - 30.0, ring, computed, set.entry[0])) std::abort();
    set.entry[0].iod = e.iode;
    set.entry[1].iod = kPolyNoIod;
    const SvIdType id{static_cast<std::uint8_t>(si), kSysGps, 0, static_cast<std::uint8_t>(si)};
    if (!SatPolynomStoreInstance.Put(id, &set)) std::abort();
  }
}

}  // namespace fuzz
