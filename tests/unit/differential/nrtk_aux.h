// The tests' look into the network RTK store's auxiliary stations.
#pragma once

#include "differential/nrtk/nrtk_store.h"

namespace nrtktest {

// The entry of station `auxId`, null when the set does not hold it.
inline const CpdNrtkAuxEntry* auxOf(const CpdNrtkAuxSet& s, int auxId) {
  if (auxId < 0) return nullptr;
  for (const CpdNrtkAuxEntry& e : s.aux)
    if (e.id == auxId) return &e;
  return nullptr;
}

// The number of stations held.
inline int auxCount(const CpdNrtkAuxSet& s) {
  int n = 0;
  for (const CpdNrtkAuxEntry& e : s.aux) n += e.id >= 0 ? 1 : 0;
  return n;
}

}  // namespace nrtktest
