// Hooks of the navigation-data layer: the store hands the GLONASS satellite types it restores
// and the GPS signal generations of the almanacs it takes to the signal-type registry of the
// lock manager; the polynomials and almanac positions it publishes go into the receiver's frame
// of the positioning setup.
#include "gnss_link/lock_manager.h"
#include "main/hooks.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/sat_polynom_frame.h"

void wireNavigationData() {
  satDataLinks.setGloSatType = setGloSatType;
  satDataLinks.setGpsSatType = setGpsSatType;
  satDataLinks.polynomToRcvFrame = transform_SatPolynomToRcvFrame;
  satDataLinks.positionToRcvFrame = transform_SatPositionToRcvFrame;
}
