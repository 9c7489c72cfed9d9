// The CMR rover keys: each value and each refusal, what the station table then reads, and what
// a restart keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/zr_list.h"
#include "differential/cmr/cmr_decoder.h"
#include "differential/cmr/cmr_keys.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "settings/rtcm_settings.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/param_calls.h"

namespace {

class CmrKeys : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    static const bool registered = registerCmrRoverArea();
    ASSERT_TRUE(registered);
    load();
  }
  static void load() {
    FileNvmLoad();
    serdefs_NvAlloc();
    nv_readSettings();
  }
  static void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    std::memset(&RtcmSet, 0x5A, sizeof RtcmSet);
    load();
  }
  static int set(const std::string& key, const std::string& value) { return partest::set("cmr/rover/" + key, value); }
  static std::string print(const std::string& key) { return partest::print(partest::under("cmr/rover", key)); }
};

TEST_F(CmrKeys, ValuesAndRefusals) {
  struct Row {
    const char* key;
    const char* value;
    int rc;
    const char* printed;  // after the set
    int gloType;
    int idxSet;
  } rows[] = {
      {"glo/type", "5", CMD_OK, "5", 5, 0},
      {"glo/type", "0", CMD_OK, "0", 0, 0},
      {"glo/type", "7", CMD_OK, "7", 7, 0},
      {"glo/type", "8", CMD_OUT_OF_RANGE, "3", 3, 0},
      {"glo/type", "-1", CMD_OUT_OF_RANGE, "3", 3, 0},
      {"idxset", "on", CMD_OK, "on", 3, 1},
      {"idxset", "maybe", -1, "off", 3, 0},
      {"nothing", "1", CMD_WRONG_1ST, "ER3", 3, 0},
  };
  for (const Row& r : rows) {
    rtcmSetDefaults(RtcmSet);
    CmrDec.setSettings(RtcmSet.cmrDec);
    const int rc = set(r.key, r.value);
    if (r.rc >= 0) {
      EXPECT_EQ(rc, r.rc) << r.key << "=" << r.value;
    } else {
      EXPECT_NE(rc, CMD_OK) << r.key << "=" << r.value;
    }
    EXPECT_EQ(print(r.key), r.printed) << r.key << "=" << r.value;
    EXPECT_EQ(static_cast<int>(RtcmSet.cmrDec.gloType), r.gloType) << r.key;
    // The decoders' copy in force, which the keys print.
    EXPECT_EQ(print("glo/type"), std::to_string(r.gloType)) << r.key;
    EXPECT_EQ(print("idxset"), r.idxSet ? "on" : "off") << r.key;
  }
}

TEST_F(CmrKeys, SetSurvivesRestart) {
  ASSERT_EQ(set("glo/type", "6"), CMD_OK);
  ASSERT_EQ(set("idxset", "on"), CMD_OK);
  restart();
  EXPECT_EQ(RtcmSet.cmrDec.gloType, 6u);
  EXPECT_EQ(RtcmSet.cmrDec.idxSet, 1);
  EXPECT_EQ(RtcmSet.cmrDec.nrsCnt, 10);
  EXPECT_EQ(print(""), "{glo={type=6},idxset=on}");
}

}  // namespace
