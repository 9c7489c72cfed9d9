// The antenna settings keys under /par/ant/: each set printed back, refusals with their codes
// leaving the stored value as it was, and the coders' reference record taking the values.
#include "differential/antenna_keys.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "differential/coder_client.h"
#include "positioning/rcv_output.h"
#include "settings/rcv_settings.h"
#include "unit/param_calls.h"

namespace {

using partest::print;
using partest::set;

class AntennaKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    static const bool registered = registerAntennaArea();
    ASSERT_TRUE(registered);
    RcvSet.antSerial[0] = 0;
    RcvSet.antSetupId = 0;
  }
  void TearDown() override { SetUp(); }
};

TEST_F(AntennaKeys, SetPrintAndRefuse) {
  const std::string k31(31, 's'), k32(32, 's');
  const struct {
    const char* key;
    std::string value;
    int rc;
    std::string printed;
  } rows[] = {
      {"serial", "ABC 12345", CMD_OK, "ABC 12345"},
      {"serial", k31, CMD_OK, k31},
      {"serial", "", CMD_OK, ""},
      {"serial", k32, CMD_OUT_OF_RANGE, "before"},
      {"setup", "0", CMD_OK, "0"},
      {"setup", "255", CMD_OK, "255"},
      {"setup", "256", CMD_OUT_OF_RANGE, "9"},
      {"setup", "-1", CMD_OUT_OF_RANGE, "9"},
      {"setup", "two", CMD_WRONG_2ND, "9"},
      {"setup", "", CMD_2ND_MISSED, "9"},
      {"radome", "NONE", CMD_WRONG_1ST, "ER3"},
  };
  for (const auto& r : rows) {
    std::strcpy(RcvSet.antSerial, "before");
    RcvSet.antSetupId = 9;
    EXPECT_EQ(set(std::string("ant/") + r.key, r.value), r.rc) << r.key << "=" << r.value;
    EXPECT_EQ(print(std::string("ant/") + r.key), r.printed) << r.key << "=" << r.value;
  }
  std::strcpy(RcvSet.antSerial, "X1");
  RcvSet.antSetupId = 3;
  EXPECT_EQ(print("ant"), "{serial=X1,setup=3,name=,height=0.0000}");
}

// What the keys set goes out with the reference station: the record the coders are handed.
TEST_F(AntennaKeys, TheCodersRecordCarriesThem) {
  ASSERT_EQ(set("ant/serial", "GEO 77"), CMD_OK);
  ASSERT_EQ(set("ant/setup", "12"), CMD_OK);
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(nullptr); };
  NAVCOD_REF_COORD* rec = nullptr;
  bool ref = false, arp = false;
  NavClc.getRefCoord(false, &rec, false, ref, arp);
  ASSERT_NE(rec, nullptr);
  EXPECT_EQ(std::string(rec->antSerial), "GEO 77");
  EXPECT_EQ(rec->antSetupId, 12);
}

}  // namespace
