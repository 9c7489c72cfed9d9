// Start-up clears the per-satellite navigation-data update counters: each function its systems only.
#include <gtest/gtest.h>

#include <functional>

#include "positioning/engine/apx_nav.h"
#include "positioning/nav_data_counters.h"

namespace {

void fill() {
  for (std::uint16_t& c : NavDataUpdates.gps) c = 7;
  for (std::uint16_t& c : NavDataUpdates.qzss) c = 8;
  for (std::uint16_t& c : NavDataUpdates.glonass) c = 9;
}

int sum(const std::uint16_t* a, int n) {
  int s = 0;
  for (int i = 0; i < n; ++i) s += a[i];
  return s;
}

TEST(NavDataCounters, EachInitClearsItsSystems) {
  static_assert(NAV_DATA_UPDATES::kGps == 32 && NAV_DATA_UPDATES::kQzss == 7 && NAV_DATA_UPDATES::kGlonass == 15);
  struct Row {
    const char* what;
    std::function<void()> run;
    int gps, qzss, glonass;
  } rows[] = {
      {"GPS", initGpsNavData, 0, 0, 9 * 15},
      {"GLONASS", initGlnNavData, 7 * 32, 8 * 7, 0},
      {"after-start step", navDataInitOnce, 0, 0, 0},
  };
  for (const Row& r : rows) {
    fill();
    r.run();
    EXPECT_EQ(sum(NavDataUpdates.gps, 32), r.gps) << r.what;
    EXPECT_EQ(sum(NavDataUpdates.qzss, 7), r.qzss) << r.what;
    EXPECT_EQ(sum(NavDataUpdates.glonass, 15), r.glonass) << r.what;
  }
}

}  // namespace
