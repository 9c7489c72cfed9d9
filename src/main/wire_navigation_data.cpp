// Hooks of the navigation-data layer: the store hands the GLONASS satellite types it restores
// and the GPS signal generations of the almanacs it takes to the signal-type registry of the
// lock manager.
#include "gnss_link/lock_manager.h"
#include "main/hooks.h"
#include "navigation_data/store/sat_data_store.h"

void wireNavigationData() {
  satDataLinks.setGloSatType = setGloSatType;
  satDataLinks.setGpsSatType = setGpsSatType;
}
