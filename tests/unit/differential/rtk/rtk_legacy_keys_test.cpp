// The legacy /par/rtk branch: each selector's range edges and its variable, whole-name matching,
// the bare branch, and alp beside (not inside) the engine's inter-system weight table.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/zr_list.h"
#include "differential/rtk/base_pro.h"
#include "differential/rtk/rtk_engine.h"
#include "differential/rtk/rtk_keys.h"
#include "differential/rtk/rtk_legacy_keys.h"
#include "differential/rtk/rtk_slots.h"
#include "settings/debug_selectors.h"

namespace {

int set(const std::string& path, const std::string& value) {
  static const bool registered = registerRtkAreas();
  EXPECT_TRUE(registered);
  static ZRList l;
  const std::string line = "set,/par/x," + value;
  if (int rc = l.parse(line.c_str(), static_cast<int>(line.size()))) return rc;
  return parSet(path.c_str(), l.at(2));
}

// The branch's table: key, variable, lowest and highest value, a value just outside each end.
struct Row {
  const char* key;
  double (*var)();
  const char *lo, *hi, *below, *above;
  double loV, hiV;
};
#define V(x) [] { return static_cast<double>(x); }
const Row kRows[] = {
    {"dbi/psc", V(rtk_psc), "0", "1000", "-0.01", "1000.01", 0, 1000},
    {"dbi/soc", V(soc_dbi), "0", "10", "-0.01", "10.01", 0, 10},
    {"dbi/tcor", V(Tcorr), "0", "3600", "-0.001", "3600.001", 0, 3600},
    {"dbi/cmr", V(cmr_dbi), "-4", "20", "-5", "21", -4, 20},
    {"dbi/rest", V(rest_opt), "0", "20", "-1", "21", 0, 20},
    {"dbi/opt", V(t_opt), "-1", "20", "-2", "21", -1, 20},
    {"dbi/ion", V(out_ion), "0", "20", "-1", "21", 0, 20},
    {"dbi/out", V(out_out), "0", "20", "-1", "21", 0, 20},
    {"dbi/fr", V(deb_fr), "0", "30", "-1", "31", 0, 30},
    {"dbi/fast", V(fast_rtk_dbi), "0", "1000000", "-1", "1000001", 0, 1000000},
    {"dbi/rtkp", V(rtkp_dbi), "0", "60", "-1", "61", 0, 60},
    {"dbi/imu", V(rtk_imu), "0", "1000", "-1", "1001", 0, 1000},
    {"dbi/laser", V(laser_dbi), "0", "1000", "-1", "1001", 0, 1000},
    {"dbi/q", V(rtk_q), "0", "1", "-1", "2", 0, 1},
    {"dbi/c", V(rtk_c), "0", "25", "-1", "26", 0, 25},
    {"dbi/dt", V(rtk_dt), "0", "25", "-1", "26", 0, 25},
    {"dbi/mult", V(mult_dbi), "0", "25", "-1", "26", 0, 25},
    {"dbi/sync", V(sync_dbi), "0", "25", "-1", "26", 0, 25},
    {"dbi/tropo", V(tropo_dbi), "0", "25", "-1", "26", 0, 25},
    {"dbi/fkp", V(fkp_dbi), "0", "25", "-1", "26", 0, 25},
    {"dbi/cpd", V(rtk_cpd_dbi), "0", "100", "-1", "101", 0, 100},
    {"dbi/res", V(rtk_res_dbi), "0", "20", "-1", "21", 0, 20},
    {"dbi/rtcm", V(rtcm_dbi), "0", "59", "-1", "60", 0, 59},
    {"dbi/rtcm3", V(rtcm3_dbi), "0", "160", "-1", "161", 0, 160},
    {"dbi/rcv3", V(rcv3_dbi), "0", "10", "-1", "11", 0, 10},
    {"dbi/temp", V(temp_dbi), "0", "2000", "-1", "2001", 0, 2000},
    {"dbi/slip", V(rtk_slip), "0", "50000", "-1", "50001", 0, 50000},
    {"dbi/dw", V(MIN_GLN_W_d), "0.01", "1.0", "0.009", "1.001", 0.01f, 1.0},
    {"dbi/dwm", V(MIN_GLN_W_MARGINAL_d), "0.01", "1.0", "0.009", "1.001", 0.01f, 1.0},
    {"dbi/sin", V(si_N), "2", "256", "1", "257", 2, 256},
    {"alp", V(rtkAlp[0] + rtkAlp[1] / 1000), "0", "100", "-0.001", "100.001", 0, 100.1},
};
#undef V

TEST(RtkLegacyKeys, EverySelectorsEdgesAndVariable) {
  for (const Row& r : kRows) {
    const std::string path = std::string("rtk/") + r.key;
    EXPECT_EQ(set(path, r.lo), CMD_OK) << r.key;
    EXPECT_DOUBLE_EQ(r.var(), r.loV) << r.key;
    EXPECT_EQ(set(path, r.below), CMD_OUT_OF_RANGE) << r.key;
    EXPECT_DOUBLE_EQ(r.var(), r.loV) << r.key << ": a refused value changed it";
    EXPECT_EQ(set(path, r.hi), CMD_OK) << r.key;
    EXPECT_DOUBLE_EQ(r.var(), r.hiV) << r.key;
    EXPECT_EQ(set(path, r.above), CMD_OUT_OF_RANGE) << r.key;
    EXPECT_EQ(set(path, "x"), CMD_WRONG_2ND) << r.key;
    EXPECT_EQ(set(path, ""), CMD_2ND_MISSED) << r.key;
    EXPECT_DOUBLE_EQ(r.var(), r.hiV) << r.key << ": a refused value changed it";
  }
}

TEST(RtkLegacyKeys, PathsAndWholeNames) {
  const struct {
    const char* path;
    int rc;
  } rows[] = {
      {"rtk", CMD_OK},                  // the bare branch: nothing set
      {"rtkx/dbi/cpd", CMD_WRONG_1ST},  // another name, not the branch
      {"rtk/dbi/cp", CMD_WRONG_1ST},    {"rtk/dbi/cpdx", CMD_WRONG_1ST}, {"rtk/dbi", CMD_WRONG_1ST},
      {"rtk/alpha", CMD_WRONG_1ST},     {"rtk/dbi/cpd", CMD_OK},
  };
  for (const auto& r : rows) EXPECT_EQ(set(r.path, "1"), r.rc) << r.path;
  // The handler as the parser calls it: the rest of the path after "rtk", slash included.
  EXPECT_EQ(rtkcOldSet("", nullptr), CMD_OK);
  EXPECT_EQ(rtkcOldSet("dbi/cpd", nullptr), CMD_WRONG_1ST);
  EXPECT_EQ(rtkcOldSet("/dbi/nothing", nullptr), CMD_WRONG_1ST);
  Reply re;
  EXPECT_NE(parPrint("rtk", re), CMD_OK);
  EXPECT_NE(parPrint("rtk/dbi/cpd", re), CMD_OK);
}

// alp is the legacy smoothing constant: both its copies follow, the engine's per-system weight
// table keeps what its system tables put there.
TEST(RtkLegacyKeys, AlpLeavesTheWeightTableIntact) {
  initRtkSysTables();
  double before[RtkChan::kMaxSys][2];
  std::memcpy(before, ALPHAT, sizeof before);
  ASSERT_EQ(set("rtk/alp", "50"), CMD_OK);
  EXPECT_EQ(rtkAlp[0], 50.0);
  EXPECT_EQ(rtkAlp[1], 50.0);
  EXPECT_EQ(std::memcmp(before, ALPHAT, sizeof before), 0);
  EXPECT_EQ(set("rtk/alp", "101"), CMD_OUT_OF_RANGE);
  EXPECT_EQ(rtkAlp[0], 50.0);
  EXPECT_EQ(rtkAlp[1], 50.0);
}

TEST(RtkLegacyKeys, RandomPathsAndValues) {
  std::mt19937 rng(77);
  const char kChars[] = "/dbiacmprt0123456789.-x";
  for (int i = 0; i < 5000; ++i) {
    std::string path = "rtk", value;
    for (int k = static_cast<int>(rng() % 12); k > 0; --k) path += kChars[rng() % (sizeof kChars - 1)];
    for (int k = static_cast<int>(rng() % 8); k > 0; --k) value += kChars[rng() % (sizeof kChars - 1)];
    const int rc = set(path, value);
    EXPECT_GE(rc, 0) << path << "," << value;
  }
}

}  // namespace
