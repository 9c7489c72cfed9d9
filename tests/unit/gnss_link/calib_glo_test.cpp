#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "command/settings_commands.h"
#include "gnss_link/peripherals/calib_glo.h"
#include "gnss_link/peripherals/calib_keys.h"
#include "gnss_link/raw_records.h"
#include "platform/file_nvm.h"
#include "positioning/engine/apx_nav.h"
#include "settings/nv_settings.h"
#include "unit/command/capture_port.h"
#include "unit/gnss_link/native_test_util.h"
#include "unit/platform/temp_run_dir.h"

namespace {

constexpr int kL1 = 0, kL2 = 1;

CalibGlo withEntry(int letter, int signal, float bias, float weight) {
  CalibGlo c;
  c.reset();
  c.setLet(letter, signal, bias);
  c.weight[signal][letter + 7] = weight;
  return c;
}

TEST(CalibGloTable, AddMergesByWeightFormedInDouble) {
  const struct {
    const char* what;
    float b, w, bo, wo;
    float bias, weight;
  } rows[] = {
      {"weights 1 and 3: (3 bo + b) / 4", 0.2f, 1, 0.6f, 3, static_cast<float>((3.0 * 0.6f + 1.0 * 0.2f) / 4), 4},
      {"both weights 0 leave the bias", 0.2f, 0, 0.6f, 0, 0.2f, 0},
      {"own weight 0 takes the other's", 0.2f, 0, -0.4f, 2, -0.4f, 2},
      {"other's weight 0 keeps this one", 0.2f, 5, -0.4f, 0, 0.2f, 5},
      {"small weights", 1.0f, 1e-30f, -1.0f, 1e-30f, 0.0f, 2e-30f},
  };
  for (const auto& r : rows) {
    for (int sig : {kL1, kL2}) {
      for (int letter : {-7, 0, 24}) {
        CalibGlo a = withEntry(letter, sig, r.b, r.w);
        const CalibGlo o = withEntry(letter, sig, r.bo, r.wo);
        a.add(o);
        EXPECT_FLOAT_EQ(a.getLet(letter, sig), r.bias) << r.what << " " << letter;
        EXPECT_FLOAT_EQ(a.weight[sig][letter + 7], r.weight) << r.what;
        EXPECT_EQ(a.getLet(letter, 1 - sig), 0.0f) << r.what;
      }
    }
  }
}

TEST(CalibGloTable, SumResetCopyAndFlags) {
  CalibGlo a = withEntry(3, kL1, 0.25f, 2), o = withEntry(3, kL1, 0.5f, 7);
  a.flags[0] = 1;
  o.flags[0] = 4;
  o.flags[1] = 8;
  a.sum(o);
  EXPECT_FLOAT_EQ(a.getLet(3, kL1), 0.75f);
  EXPECT_EQ(a.weight[kL1][10], 7.0f);
  EXPECT_EQ(a.flags[0], 5u);
  EXPECT_EQ(a.flags[1], 8u);
  CalibGlo b;
  b.set_(a);
  EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0);
  b.reset();
  for (int n = 0; n < 2; ++n)
    for (int i = 0; i < CalibGlo::kLetters; ++i) EXPECT_EQ(b.bias[n][i] + b.weight[n][i], 0.0f);
}

TEST(CalibGloTable, LettersAndSignalsOutsideTheTable) {
  const struct {
    int letter, signal;
    bool inside;
  } rows[] = {{-7, 0, true},  {24, 1, true},  {-8, 0, false}, {25, 0, false},
              {0, 2, false},  {0, -1, false}, {100000, 0, false}, {-100000, 1, false}};
  for (const auto& r : rows) {
    CalibGlo c;
    c.reset();
    EXPECT_EQ(c.setLet(r.letter, r.signal, 0.5f), r.inside) << r.letter << "/" << r.signal;
    EXPECT_EQ(c.getLet(r.letter, r.signal), r.inside ? 0.5f : 0.0f) << r.letter << "/" << r.signal;
  }
}

TEST(BaseBrand, IdentifiedFromTheDescriptionsFirstWord) {
  const struct {
    const char* text;
    int brand;
  } rows[] = {
      {"Trimble NetR9", 4},
      {"TRIMBLE", 4},
      {"Trim", 4},  // only begins the name
      {"t", 3},     // the first name that begins so
      {"LEICA GR10", 5},
      {"Septentrio PolaRx5", 6},
      {"ashtech", 2},
      {"Topcon NET-G5", 3},
      {"vorla x", 1},
      {"trimble5700", 0},          // longer than the name
      {"abcdefghijklmnop x", 0},   // first word of 16 characters
      {"septentrioseptentrio", 0},
      {"", 0},
      {" Trimble", 0},  // blank-led: no first word
      {"unknown", 0},
      {"Javad", 0},
      {nullptr, 0},
  };
  for (const auto& r : rows) EXPECT_EQ(identifyBaseRcv(r.text), r.brand) << (r.text ? r.text : "(null)");
}

TEST(BaseBrand, ModeDecidesTheBrandInUse) {
  const struct {
    const char* what;
    int mode, fix, got;
    int cur;
  } rows[] = {
      {"off", kGloBiasOff, 3, 4, 0},       {"manual", kGloBiasManual, 3, 4, 0},
      {"got", kGloBiasGot, 3, 4, 4},       {"fix", kGloBiasFix, 3, 4, 3},
      {"got, brand beyond the list", kGloBiasGot, 3, 9, 0}, {"got, negative brand", kGloBiasGot, 3, -1, 0},
  };
  for (const auto& r : rows) {
    gloBiasSettingsDefaults();
    gloBiasSettings().fixBrand = static_cast<std::uint8_t>(r.fix);
    setGloBiasMode(r.mode);
    tryToSetBaseBrand(r.got);
    EXPECT_EQ(gloBiasSettings().curBrand, r.cur) << r.what;
    EXPECT_EQ(gloBiasSettings().mode, r.mode) << r.what;
  }
  // A mode outside the list is only stored.
  gloBiasSettings().curBrand = 5;
  setGloBiasMode(7);
  EXPECT_EQ(gloBiasSettings().curBrand, 5);
}

class CalibKeys : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    start();
    settingsCommandsInitOnce();
    registerCalibArea();
    Locker<Mutex> lock(hwCalibMutex);
    hwCalib = HwCalib{};  // nothing from the board yet
  }
  static void start() {
    FileNvmLoad();
    calib_NvAlloc();
    nv_readSettings();
    calibSettingsLoaded();
  }
  std::string run(const std::string& line) { return runLine(port_, line); }
  std::string value(const std::string& key) {
    const std::string got = run("print,/par/calib/" + key);
    return got.size() > 7 && got.rfind("RE", 0) == 0 ? got.substr(5, got.size() - 7) : got;
  }
  CapturePort port_{IOP_TCP_A};
};

TEST_F(CalibKeys, AnInvalidBlockAtStartGivesAZeroTableSavedAtOnce) {
  // A fresh image: nothing stored.
  FileNvmLoad();
  std::memset(&Calib, 0x5A, sizeof Calib);
  gloCalibChanged();
  calib_NvAlloc();
  EXPECT_TRUE(gloCalibChanged());
  for (int letter = -7; letter <= 24; ++letter) EXPECT_EQ(Calib.getLet(letter, 0) + Calib.getLet(letter, 1), 0.0f);
  ASSERT_TRUE(FileNvmSave(0, true));
  std::memset(&Calib, 0x5A, sizeof Calib);
  FileNvmLoad();
  calib_NvAlloc();
  EXPECT_FALSE(gloCalibChanged()) << "a valid block is read, not written";
  EXPECT_EQ(Calib.weight[1][31], 0.0f);
}

TEST_F(CalibKeys, SetsRefusalsPrintsAndRestart) {
  const struct {
    const char* line;
    const char* want;
  } steps[] = {
      {"soft/fcn/1/-8,0.1", "ER3"}, {"soft/fcn/3/0,0.1", "ER3"}, {"soft/fcn/0/0,0.1", "ER3"},
      {"soft/fcn/1/16,0.1", "ER3"}, {"soft/fcn/x/1,0.1", "ER3"}, {"soft/fcn/1,0.1", "ER3"},
      {"soft/fcn/2/15,1.5", "ER5"}, {"soft/fcn/2/15,-1.01", "ER5"}, {"soft/fcn/2/15,0.25", ""},
      {"soft/fcn/2/15", "0.250"},   {"soft/fcn/1/-7,-1", ""},   {"soft/fcn/1/-7", "-1.000"},
      {"soft/mode,fix", ""},        {"soft/brand/fix,topcon", ""}, {"soft/brand/cur", "topcon"},
      {"soft/brand/fix", "topcon"}, {"soft/mode,off", ""},     {"soft/brand/cur", "unknown"},
      {"soft/mode,got", ""},        {"soft/brand/got", "unknown"}, {"soft/mode,bogus", "ER7"},
      {"soft/brand/fix,acme", "ER7"}, {"soft/brand/cur,topcon", "ER3"},
      {"soft/weight,0", "ER5"},     {"soft/weight,1.1", "ER5"},  {"soft/weight,0.00001", ""},
      {"soft/weight", "0.000010"},  {"soft/opt,2", "ER5"},      {"soft/opt,1", ""},
      {"soft/run,on", ""},          {"soft/run", "on"},        {"soft/reset,maybe", "ER7"},
      {"hard/mode,alt", "ER3"},     {"hard/mode,glo2", ""},    {"hard/mode", "glo2"},
      {"hard/attval,128", "ER5"},   {"hard/attval,127", ""},   {"hard/attrval,20", "ER5"},
      {"hard/attrval,19", ""},      {"hard/fixlit,8", "ER5"},  {"hard/fixlit,-8", "ER5"},
      {"hard/fixlit,126", "ER5"},   {"hard/fixlit,127", ""},   {"hard/fixlit,-7", ""},
      {"hard/initdel,1001", "ER5"}, {"hard/initdel,1000", ""}, {"hard/smooth/code,3", "ER5"},
      {"hard/smooth/phase,0", "ER5"}, {"hard/smooth/phase,3", ""}, {"hard/smooth/phase", "3"},
      {"hard/inp,antext", ""},      {"hard/inp", "antext"},    {"hard/attmode,man", ""},
      {"hard/apply/code/l2c,on", ""}, {"hard/apply/code/l2c", "on"}, {"hard/apply/code/l5,on", "ER3"},
      {"hard/use,on", ""},          {"hard/hwout,on", ""},     {"hard/testmode,2", "ER5"},
      {"hard/bands", "all"},        {"hard/status", "ER21"},   {"hard/delay/ant0/c1delay/-7", "ER21"},
      {"hard/bands,glo", "ER3"},    {"other/x,1", "ER3"},
  };
  for (const auto& s : steps) {
    const std::string line = s.line, want = s.want;
    if (line.find(',') == std::string::npos) {
      const std::string got = value(line);
      if (want.rfind("ER", 0) == 0) EXPECT_NE(got.find("{" + want.substr(2) + ","), std::string::npos) << line << got;
      else EXPECT_EQ(got, want) << line;
      continue;
    }
    const std::string got = run("%s%set,/par/calib/" + line);
    if (want.empty()) EXPECT_EQ(got, replyFrame("%s%")) << line;
    else EXPECT_TRUE(got.rfind("ER", 0) == 0 && got.find("{" + want.substr(2) + ",") != std::string::npos)
        << line << " " << got;
  }
  // Every letter -7..15 of a signal.
  const std::string list = value("soft/fcn/1");
  EXPECT_EQ(list.rfind("{-7=-1.000,-6=0.000,", 0), 0u) << list;
  EXPECT_NE(list.find(",15=0.000}"), std::string::npos) << list;
  EXPECT_EQ(list.find("16="), std::string::npos) << list;
  run("set,/par/calib/hard/use,on");
  // A restart: the table from its block, the settings from the receiver settings.
  ASSERT_TRUE(FileNvmSave(0, true));
  std::memset(&RcvSet, 0, sizeof RcvSet);
  Calib.reset();
  start();
  EXPECT_EQ(value("soft/fcn/2/15") + " " + value("soft/fcn/1/-7") + " " + value("soft/mode") + " " +
                value("soft/brand/fix") + " " + value("hard/use") + " " + value("hard/fixlit"),
            "0.250 -1.000 got topcon on -7");
  const std::string all = run("print,/par/calib");
  EXPECT_EQ(all.rfind("RE", 0), 0u) << all;
}

// The board's table of one signal as "gC" carries it: letters -7..7 at bands 16 x signal +
// letter + 7, the code delay (ns) 10 + 3 signal + letter, the phase delay -2 - signal + letter / 2
// (letter 3 of signal 1 without one: NaN), the eight pairs, then the status word.
float codeNs(int sig, int k) { return static_cast<float>(10 + 3 * sig + k); }
float phaseNs(int sig, int k) { return static_cast<float>(-2 - sig + 0.5 * k); }
std::string gcTable(int sig, int status) {
  using namespace ntest;
  std::string b;
  for (int k = -7; k <= 7; ++k)
    b += le(std::uint8_t(16 * sig + k + 7), 1) + lef(codeNs(sig, k) * 1e-9f) +
         lef(sig == 1 && k == 3 ? NAN : phaseNs(sig, k) * 1e-9f);
  return ntest::frame("gC", b + std::string(32, '\0') + le(std::uint16_t(status), 2));
}
std::string metres(float ns) {
  char t[32];
  std::snprintf(t, sizeof t, "%.3f", -static_cast<double>(ns * 1e-9f) * 300000000.0);
  return t;
}

// The hardware readings from the board's calibration records, through the raw decoder: what a
// table carries prints, what it does not is "not available".
TEST_F(CalibKeys, HardReadingsComeFromTheBoardsCalibrationRecords) {
  for (const char* key : {"hard/status", "hard/valid", "hard/delay/ant0/c1delay/-7"})
    EXPECT_NE(value(key).find("{21,"), std::string::npos) << key << ": nothing from the board yet";
  ntest::RawFeed f;
  for (int sig = 0; sig < 4; ++sig) f.put(gcTable(sig, 0x1F));
  const struct {
    const char* key;
    std::string want;
  } rows[] = {
      {"hard/status", "0x1F"},
      {"hard/valid", "on"},
      {"hard/delay/ant0/c1delay/-7", metres(codeNs(0, -7))},
      {"hard/delay/ant0/c1phase/-7", metres(phaseNs(0, -7))},
      {"hard/delay/ant0/p1delay/0", metres(codeNs(1, 0))},
      {"hard/delay/ant0/p1phase/2", metres(phaseNs(1, 2))},
      {"hard/delay/ant0/p1phase/3", "ER21"},
      {"hard/delay/ant0/c2delay/6", metres(codeNs(2, 6))},
      {"hard/delay/ant0/c2phase/-1", metres(phaseNs(2, -1))},
      {"hard/delay/ant0/p2delay/5", metres(codeNs(3, 5))},
      {"hard/delay/ant0/p2phase/6", metres(phaseNs(3, 6))},
      {"hard/delay/ant0/p2phase/7", "ER3"},
      {"hard/delay/ant0/p2phase/-8", "ER3"},
      {"hard/delay/ant1/c1delay/0", "ER21"},
      {"hard/atten", "ER21"},
      {"hard/prnthwdel", "ER21"},
  };
  for (const auto& r : rows) {
    const std::string got = value(r.key);
    if (r.want.rfind("ER", 0) == 0) EXPECT_NE(got.find("{" + r.want.substr(2) + ","), std::string::npos) << r.key << got;
    else EXPECT_EQ(got, r.want) << r.key;
  }
  // Every letter of a kind, -7..6.
  const std::string list = value("hard/delay/ant0/c2delay");
  EXPECT_EQ(list.rfind("{-7=" + metres(codeNs(2, -7)) + ",-6=", 0), 0u) << list;
  EXPECT_NE(list.find(",6=" + metres(codeNs(2, 6)) + "}"), std::string::npos) << list;
  // The status word's low four bits say whether the calibration is complete: 15 only.
  const struct { int status; const char* word; const char* valid; } words[] = {
      {0x0E, "0xE", "off"}, {0x0F, "0xF", "on"}, {0x10, "0x10", "off"}, {0xFFFF, "0xFFFF", "on"}};
  for (const auto& w : words) {
    f.put(gcTable(0, w.status));
    EXPECT_EQ(value("hard/status") + " " + value("hard/valid"), std::string(w.word) + " " + w.valid) << w.status;
  }
  // A table cut short is dropped whole.
  const std::string cut = gcTable(0, 0x1F);
  f.put(ntest::frame("gC", cut.substr(5, 100)));
  EXPECT_EQ(value("hard/status"), "0xFFFF");
}

TEST_F(CalibKeys, SaveCurrentAddAndSumActOnTheTables) {
  Calib.reset();
  CalibCurrent.reset();
  Calib.setLet(1, 0, 0.5f);
  Calib.weight[0][8] = 1;
  CalibCurrent.setLet(1, 0, 0.1f);
  CalibCurrent.weight[0][8] = 3;
  EXPECT_EQ(run("%a%set,/par/calib/soft/add,off"), replyFrame("%a%"));
  EXPECT_FLOAT_EQ(CalibCurrent.getLet(1, 0), 0.1f);
  EXPECT_EQ(run("%a%set,/par/calib/soft/add,on"), replyFrame("%a%"));
  EXPECT_FLOAT_EQ(CalibCurrent.getLet(1, 0), static_cast<float>((1.0 * 0.5f + 3.0 * 0.1f) / 4));
  EXPECT_EQ(run("%a%set,/par/calib/soft/sum,on"), replyFrame("%a%"));
  EXPECT_FLOAT_EQ(CalibCurrent.getLet(1, 0), static_cast<float>((1.0 * 0.5f + 3.0 * 0.1f) / 4) + 0.5f);
  gloCalibChanged();
  EXPECT_EQ(run("%a%set,/par/calib/soft/savecurrent,on"), replyFrame("%a%"));
  EXPECT_TRUE(gloCalibChanged());
  EXPECT_EQ(std::memcmp(&Calib, &CalibCurrent, sizeof Calib), 0);
  EXPECT_EQ(run("%a%set,/par/calib/soft/reset,on"), replyFrame("%a%"));
  EXPECT_EQ(CalibCurrent.getLet(1, 0), 0.0f);
  // The stored table is the saved current one.
  const float saved = Calib.getLet(1, 0);
  Calib.reset();
  ASSERT_TRUE(FileNvmSave(0, true));
  FileNvmLoad();
  calib_NvAlloc();
  EXPECT_FLOAT_EQ(Calib.getLet(1, 0), saved);
}

TEST_F(CalibKeys, RandomAndTruncatedLinesAreAnsweredSafely) {
  const char* const parts[] = {"soft", "hard", "fcn", "1", "2", "3", "-7", "15", "16", "mode", "brand", "fix",
                               "cur", "weight", "apply", "code", "phase", "ca", "delay", "ant0", "c1delay",
                               "status", "fixlit", "", "//", "x"};
  const char* const values[] = {"0", "1", "-1", "on", "off", "fix", "alt", "{1,2}", "\"q\"", "topcon",
                                "1e40", "", "0.5", "127"};
  std::mt19937 rng(11);
  for (int n = 0; n < 600; ++n) {
    std::string path = "/par/calib";
    const int depth = static_cast<int>(rng() % 5);
    for (int d = 0; d < depth; ++d) path += std::string("/") + parts[rng() % (sizeof parts / sizeof parts[0])];
    std::string line = (rng() & 1) ? "print," + path : "set," + path + "," + values[rng() % 14];
    if (rng() % 4 == 0) line.resize(rng() % (line.size() + 1));
    const std::string got = run(line);
    EXPECT_TRUE(got.empty() || got.rfind("RE", 0) == 0 || got.rfind("ER", 0) == 0) << line;
    EXPECT_FALSE(gloBiasSettingsAfterLoad()) << line;
    EXPECT_FALSE(hwCalibSettingsAfterLoad()) << line;
    for (int k = -7; k <= 15; ++k) EXPECT_LE(std::abs(Calib.getLet(k, 0)), 1.0f) << line;
  }
}

}  // namespace
