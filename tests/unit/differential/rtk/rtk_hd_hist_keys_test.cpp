// The heading (hd/) and fix-statistics (hist/) keys below /par/pos/pd/: ranges and indexes,
// where the values land, the statistics block's invalid, zeroed and filled states, and what a
// restart keeps.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/zr_list.h"
#include "differential/rtk/rtk_engine.h"
#include "differential/rtk/rtk_hd_hist_keys.h"
#include "differential/rtk/rtk_keys.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "settings/rcv_settings.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class RtkHdHist : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    static const bool registered = registerRtkAreas();
    ASSERT_TRUE(registered);
    rcvSettingsHooks.cpdParams = cpdParamsLoad;
    load();
  }
  static void load() {
    FileNvmLoad();
    serdefs_NvAlloc();
    nv_readSettings();
  }
  static void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    std::memset(&RcvSet, 0x5A, sizeof RcvSet);
    cpdParams = CpdParams();
    load();
  }
  static int set(const std::string& key, const std::string& value) {
    static ZRList l;
    const std::string line = "set,/par/x," + value;
    if (int rc = l.parse(line.c_str(), static_cast<int>(line.size()))) return rc;
    return parSet(("pos/pd/" + key).c_str(), l.at(2));
  }
  static std::string print(const std::string& key) {
    static Reply re;
    re.clear();
    const int rc = parPrint(("pos/pd/" + key).c_str(), re);
    if (rc != CMD_OK) return "ER" + std::to_string(rc);
    return std::string(re.text(), static_cast<std::size_t>(re.textLen()));
  }
  static void fresh() {
    rcvSetDefaults(RcvSet);
    cpdParamsLoad(RcvSet);
  }
  // The statistics block as stored.
  static HistRecord stored() {
    HistRecord h{};
    nvHistBlock().read(&h, sizeof h);
    return h;
  }
  static void store(const HistRecord& h) {
    NvBlock& b = nvHistBlock();
    b.update(&h, sizeof h);
    b.makeValid();
  }
};

TEST_F(RtkHdHist, HeadingKeys) {
  const struct {
    const char* key;
    const char* value;
    int rc;
    const char* print;    // key printed afterwards
    const char* printed;  // its text
  } rows[] = {
      {"hd/aoff/2", "170", CMD_OK, "hd/aoff/2", "170.0000"},
      {"hd/aoff/2", "-180", CMD_OK, "hd/aoff/2", "-180.0000"},
      {"hd/aoff/2", "180.01", CMD_OUT_OF_RANGE, "hd/aoff/2", "0.0000"},
      {"hd/aoff/1", "170", CMD_OUT_OF_RANGE, "hd/aoff/1", "0.0000"},
      {"hd/aoff/1", "90", CMD_OK, "hd/aoff/1", "90.0000"},
      {"hd/aoff/0", "-90", CMD_OK, "hd/aoff/0", "-90.0000"},
      {"hd/aoff/0", "-90.01", CMD_OUT_OF_RANGE, "hd/aoff/0", "0.0000"},
      {"hd/aoff/3", "0", CMD_WRONG_1ST, "hd/aoff", "{0=0.0000,1=0.0000,2=0.0000}"},
      {"hd/aoff/x", "0", CMD_WRONG_1ST, "hd/aoff", "{0=0.0000,1=0.0000,2=0.0000}"},
      {"hd/aoff/", "0", CMD_WRONG_1ST, "hd/aoff", "{0=0.0000,1=0.0000,2=0.0000}"},
      {"hd/aoff/01", "5", CMD_OK, "hd/aoff/1", "5.0000"},
      {"hd/aoff", "{10,20}", CMD_OK, "hd/aoff", "{0=10.0000,1=20.0000,2=0.0000}"},
      {"hd/aoff", "{10,20,-170}", CMD_OK, "hd/aoff", "{0=10.0000,1=20.0000,2=-170.0000}"},
      {"hd/aoff", "{}", CMD_OK, "hd/aoff", "{0=0.0000,1=0.0000,2=0.0000}"},
      {"hd/aoff", "{10,,30}", CMD_OK, "hd/aoff", "{0=10.0000,1=0.0000,2=0.0000}"},
      {"hd/aoff", "{10,95}", CMD_OUT_OF_RANGE, "hd/aoff", "{0=0.0000,1=0.0000,2=0.0000}"},
      {"hd/aoff", "{1,2,3,4}", CMD_WRONG_2ND, "hd/aoff", "{0=0.0000,1=0.0000,2=0.0000}"},
      {"hd/mode", "on", CMD_OK, "hd/mode", "on"},
      {"hd/half", "on", CMD_OK, "hd/half", "on"},
      {"hd/tune", "on", CMD_OK, "hd/half", "off"},
      {"hd/naver", "1", CMD_OK, "hd/naver", "1"},
      {"hd/naver", "2000000", CMD_OK, "hd/naver", "2000000"},
      {"hd/naver", "0", CMD_OUT_OF_RANGE, "hd/naver", "1"},
      {"hd/naver", "2000001", CMD_OUT_OF_RANGE, "hd/naver", "1"},
      {"hd/uselen", "on", CMD_OK, "hd/uselen", "on"},
      {"hd/len/0", "10000", CMD_OK, "hd/len/0", "10000.000"},
      {"hd/len", "2.5", CMD_OK, "hd/len", "{0=2.500}"},
      {"hd/len/1", "2.5", CMD_WRONG_1ST, "hd/len/0", "0.000"},
      {"hd/len/0", "10000.1", CMD_OUT_OF_RANGE, "hd/len/0", "0.000"},
      {"hd/pen", "10", CMD_OK, "hd/pen", "10.0000"},
      {"hd/pen", "10.01", CMD_OUT_OF_RANGE, "hd/pen", "1.0000"},
      {"hd/memf", "0", CMD_OK, "hd/memf", "0.00000"},
      {"hd/memf", "1", CMD_OK, "hd/memf", "1.00000"},
      {"hd/memf", "1.01", CMD_OUT_OF_RANGE, "hd/memf", "0.99900"},
      {"hd/nothing", "1", CMD_WRONG_1ST, "hd/tune", "ER3"},
  };
  for (const auto& r : rows) {
    fresh();
    const RCV_SETTINGS before = RcvSet;
    EXPECT_EQ(set(r.key, r.value), r.rc) << r.key << "," << r.value;
    if (r.rc != CMD_OK) {
      EXPECT_EQ(std::memcmp(&before, &RcvSet, sizeof before), 0) << r.key << "," << r.value;
    }
    EXPECT_EQ(print(r.print), r.printed) << r.key << "," << r.value;
  }
  // Where the values land: the stored record and the engine's copies.
  fresh();
  Eng->tune[0] = Eng->tune[1] = 9;
  for (const char* kv : {"mode,on", "uselen,on", "len/0,12.5", "pen,2.25", "memf,0.75", "tune,on", "naver,7"}) {
    const std::string s = kv;
    ASSERT_EQ(set("hd/" + s.substr(0, s.find(',')), s.substr(s.find(',') + 1)), CMD_OK) << kv;
  }
  EXPECT_TRUE(cpdParams.hdMode && RcvSet.hd.mode);
  EXPECT_TRUE(cpdParams.hdUseLen && RcvSet.hd.uselen);
  EXPECT_EQ(cpdParams.hdLen, 12.5);
  EXPECT_EQ(RcvSet.hd.len, 12.5);
  EXPECT_EQ(cpdParams.hdPen, 2.25f);
  EXPECT_EQ(RcvSet.hd.pen, 2.25f);
  EXPECT_EQ(cpdParams.hdMemf, 0.75f);
  EXPECT_EQ(RcvSet.hd.memf, 0.75);
  EXPECT_EQ(RcvSet.hd.naver, 7);
  EXPECT_EQ(Eng->tune[0], 0);
  EXPECT_EQ(Eng->tune[1], 0);
  EXPECT_EQ(print("hd"),
            "{mode=on,half=off,naver=7,uselen=on,pen=2.2500,memf=0.75000,len={0=12.500},"
            "aoff={0=0.0000,1=0.0000,2=0.0000}}");
}

TEST_F(RtkHdHist, InvalidBlockReadsAsZeroAndIsLeftValid) {
  nvHistBlock().makeInvalid();
  ASSERT_FALSE(nvHistBlock().isValid());
  EXPECT_EQ(print("hist/num"), "0");
  EXPECT_TRUE(nvHistBlock().isValid());
  const HistRecord h = stored();
  EXPECT_EQ(h.khist, 0);
  EXPECT_EQ(h.kbad, 0);
  for (int b = 0; b < kHistBins; ++b) EXPECT_EQ(h.hist[b], 0) << b;
  nvHistBlock().makeInvalid();
  EXPECT_EQ(print("hist/bad"), "0.000");
  EXPECT_TRUE(nvHistBlock().isValid());
  EXPECT_EQ(print("hist/out"), "{}");
}

TEST_F(RtkHdHist, FilledStatisticsPrintPerEpoch) {
  HistRecord h{};
  h.khist = 4;
  h.kbad = 1;
  for (int b = 0; b < kHistBins; ++b) h.hist[b] = b % 7;
  store(h);
  EXPECT_EQ(print("hist/num"), "4");
  // 1 x 100 / (4 + 0.0001)
  EXPECT_EQ(print("hist/bad"), "24.999");
  for (int b = 0; b < kHistBins; ++b) {
    char want[32];
    std::snprintf(want, sizeof want, "%f", (b % 7) / 4.0);
    EXPECT_EQ(print("hist/out/" + std::to_string(b)), want) << b;
  }
  EXPECT_EQ(print("hist/out/180"), "ER3");
  const std::string all = print("hist/out");
  EXPECT_EQ(all.substr(0, 40), "{0=0.000000,1=0.250000,2=0.500000,3=0.75");
  EXPECT_NE(all.find(",179=1.000000}"), std::string::npos);  // 179 = 25 x 7 + 4
  // reset,off leaves them; reset,on zeroes them in the block.
  EXPECT_EQ(set("hist/reset", "off"), CMD_OK);
  EXPECT_EQ(stored().khist, 4);
  EXPECT_EQ(set("hist/reset", "on"), CMD_OK);
  const HistRecord z = stored();
  EXPECT_TRUE(nvHistBlock().isValid());
  EXPECT_EQ(z.khist, 0);
  EXPECT_EQ(z.kbad, 0);
  for (int b = 0; b < kHistBins; ++b) EXPECT_EQ(z.hist[b], 0) << b;
  EXPECT_EQ(print("hist/reset"), "off");
  EXPECT_EQ(print("hist/num"), "0");
}

TEST_F(RtkHdHist, HistoryKeys) {
  const struct {
    const char* key;
    const char* value;
    int rc;
    const char* print;
    const char* printed;
  } rows[] = {
      {"hist/mode", "on", CMD_OK, "hist/mode", "on"},
      {"hist/mode", "2", CMD_WRONG_2ND, "hist/mode", "off"},
      {"hist/rtkreset", "0", CMD_OK, "hist/rtkreset", "0"},
      {"hist/rtkreset", "2", CMD_OK, "hist/rtkreset", "2"},
      {"hist/rtkreset", "3", CMD_OUT_OF_RANGE, "hist/rtkreset", "0"},
      {"hist/rtkreset", "-1", CMD_OUT_OF_RANGE, "hist/rtkreset", "0"},
      {"hist/pr/x", "-6378137.125", CMD_OK, "hist/pr/x", "-6378137.1250"},
      {"hist/pr/z", "1e12", CMD_OK, "hist/pr/z", "1000000000000.0000"},
      {"hist/pr/w", "1", CMD_WRONG_1ST, "hist/pr", "{x=1.0000,y=2.0000,z=3.0000}"},
      {"hist/pr/x", "abc", CMD_WRONG_2ND, "hist/pr", "{x=1.0000,y=2.0000,z=3.0000}"},
      {"hist/pr/y", "", CMD_2ND_MISSED, "hist/pr", "{x=1.0000,y=2.0000,z=3.0000}"},
      {"hist/num", "1", CMD_WRONG_1ST, "hist/num", "0"},
      {"hist/other", "1", CMD_WRONG_1ST, "hist/other", "ER3"},
  };
  for (const auto& r : rows) {
    fresh();
    rest_opt = 0;
    RcvSet.hd.histPr[0] = 1.0, RcvSet.hd.histPr[1] = 2.0, RcvSet.hd.histPr[2] = 3.0;
    EXPECT_EQ(set(r.key, r.value), r.rc) << r.key << "," << r.value;
    EXPECT_EQ(print(r.print), r.printed) << r.key << "," << r.value;
  }
  // rtkreset is the same word as the legacy branch's dbi/rest.
  ASSERT_EQ(set("hist/rtkreset", "1"), CMD_OK);
  EXPECT_EQ(rest_opt, 1);
}

// Every successful set stores the receiver settings itself: a restart that finds only the
// settings block keeps them.
TEST_F(RtkHdHist, SetsAreStoredAtOnce) {
  fresh();
  nv_writeRcvSettings();
  for (const char* kv : {"hd/mode,on", "hd/aoff/2,-45.5", "hd/naver,12", "hist/mode,on", "hist/pr/x,100.25"}) {
    const std::string s = kv;
    ASSERT_EQ(set(s.substr(0, s.find(',')), s.substr(s.find(',') + 1)), CMD_OK) << kv;
  }
  restart();
  EXPECT_EQ(print("hd/mode"), "on");
  EXPECT_EQ(print("hd/aoff/2"), "-45.5000");
  EXPECT_EQ(print("hd/naver"), "12");
  EXPECT_EQ(print("hist/mode"), "on");
  EXPECT_EQ(print("hist/pr/x"), "100.2500");
}

}  // namespace
