// The satellite data store's clear-all keys, /par/pos/clean/{eph,alm}: each value and each
// refusal, and what the settings image keeps afterwards (the store's own records go at its next
// step: the end-to-end test shows that).
#include <gtest/gtest.h>

#include <string>

#include "navigation_data/store/nav_nv_blocks.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/file_nvm.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/sat_data_keys.h"
#include "unit/param_calls.h"
#include "unit/platform/temp_run_dir.h"

namespace {

const SvIdType kG05{4, kSysGps, 0, 4};

class SatDataKeys : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    static const bool registered = registerSatDataKeys();
    ASSERT_TRUE(registered);
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
    ZRT_EPH_GPS e{};
    e.prn = 5;
    ZRT_ALM_GPS a{};
    a.prn = 5;
    ASSERT_TRUE(nav_nv::store_NvRamEphemerisData(kG05, 0, &e));
    ASSERT_TRUE(nav_nv::store_NvRamAlmanacData(kG05, &a));
  }
  static bool ephKept() {
    ZRT_EPH_GPS e{};
    return nav_nv::restore_NvRamEphemerisData(kG05, 0, &e);
  }
  static bool almKept() {
    ZRT_ALM_GPS a{};
    return nav_nv::restore_NvRamAlmanacData(kG05, &a);
  }
};

TEST_F(SatDataKeys, SetsClearTheKeptCopiesAndRefusalsChangeNothing) {
  const struct {
    const char* key;
    const char* value;
    int rc;
    bool eph, alm;  // still kept afterwards
  } rows[] = {
      {"pos/clean/eph", "yes", CMD_OK, false, true},
      {"pos/clean/eph", "on", CMD_OK, false, true},
      {"pos/clean/eph", "no", CMD_OK, true, true},
      {"pos/clean/eph", "off", CMD_OK, true, true},
      {"pos/clean/eph", "maybe", CMD_WRONG_2ND, true, true},
      {"pos/clean/eph", "1", CMD_WRONG_2ND, true, true},
      {"pos/clean/alm", "yes", CMD_OK, true, false},
      {"pos/clean/alm", "no", CMD_OK, true, true},
      {"pos/clean/alm", "", CMD_2ND_MISSED, true, true},
      {"pos/clean/utc", "yes", CMD_WRONG_1ST, true, true},
      {"pos/clean", "yes", CMD_WRONG_1ST, true, true},
  };
  for (const auto& r : rows) {
    SetUp();
    EXPECT_EQ(partest::set(r.key, r.value), r.rc) << r.key << "," << r.value;
    EXPECT_EQ(ephKept(), r.eph) << r.key << "," << r.value;
    EXPECT_EQ(almKept(), r.alm) << r.key << "," << r.value;
  }
}

TEST_F(SatDataKeys, PrintsOffAlways) {
  const struct {
    const char* path;
    std::string printed;
  } rows[] = {
      {"pos/clean/eph", "off"},
      {"pos/clean/alm", "off"},
      {"pos/clean", "{eph=off,alm=off}"},
      {"pos/clean/utc", "ER" + std::to_string(CMD_WRONG_1ST)},
  };
  ASSERT_EQ(partest::set("pos/clean/eph", "yes"), CMD_OK);
  for (const auto& r : rows) EXPECT_EQ(partest::print(r.path), r.printed) << r.path;
}

}  // namespace
