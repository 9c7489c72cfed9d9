// The road of broadcast data from the raw rings to the store as the program starts it: empty
// rings, a store with no record, no polynomial published, a blank settings image (so that no
// record a test before kept there comes back). A test that sends messages through the rings and
// reads what the store keeps starts from here.
#pragma once

#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/raw_nav_rings.h"
#include "unit/navigation_data/blank_image.h"
#include "unit/positioning/fresh_raw_rings.h"

namespace postest {

inline void freshNavRoad() {
  navtest::blankImage();
  rawNavRingsClear();
  SatDataProcessorInstance.init_Object();
  SatPolynomStoreInstance.Init();
}

}  // namespace postest
