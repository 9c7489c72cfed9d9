#include "positioning/nav_data_counters.h"

NAV_DATA_UPDATES NavDataUpdates{};

void initGpsNavData() {
  for (std::uint16_t& c : NavDataUpdates.gps) c = 0;
  for (std::uint16_t& c : NavDataUpdates.qzss) c = 0;
}

void initGlnNavData() {
  for (std::uint16_t& c : NavDataUpdates.glonass) c = 0;
}
