// Receiver, navigation and RTCM settings in the settings image: factory defaults, what a restart
// keeps, what a corrupted block loses, and the order of the after-load steps.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "unit/platform/temp_run_dir.h"
#include "settings/debug_selectors.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ports/in_port.h"
#include "platform/ram_nvm.h"

namespace {

class RcvSettings : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    serdefs_NvAlloc();
    nv_readSettings();
  }
  // What the next start sees: the image stored, read back and laid out again.
  static void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    std::memset(&RcvSet, 0x5A, sizeof RcvSet);
    std::memset(&NavSet, 0x5A, sizeof NavSet);
    std::memset(&RtcmSet, 0x5A, sizeof RtcmSet);
    std::memset(&bc, 0x5A, sizeof bc);
    std::memset(&PortSet, 0x5A, sizeof PortSet);
    FileNvmLoad();
    serdefs_NvAlloc();
    nv_readSettings();
  }
  // Flips one data byte of a block in the stored file.
  static void flipStoredByte(std::uint32_t fileOffset) {
    std::string img = readFile(kNvmFile);
    ASSERT_GT(img.size(), fileOffset);
    img[fileOffset] = static_cast<char>(img[fileOffset] ^ 0x10);
    writeFile(kNvmFile, img);
  }
};

// The RTK keys' factory defaults, as the settings table of the RTK subtree lists them.
TEST_F(RcvSettings, RtkFactoryDefaultsMatchTheTable) {
  const RcvRtkSettings& r = RcvSet.rtk;
  struct Row {
    const char* key;
    double got, want;
  } rows[] = {
      {"dblchk", double(r.dblchk), 1},     {"mrtk/0", double(r.mrtk[0]), 1},    {"mrtk/1", double(r.mrtk[1]), 1},
      {"maxs/0", double(r.maxs[0]), 20},   {"maxs/1", double(r.maxs[1]), 20},   {"scale", double(r.scale), 1},
      {"si/0", double(r.si[0]), 0},        {"si/1", double(r.si[1]), 0},        {"aflevel", double(r.aflevel), 2},
      {"mode", double(r.mode), 1},         {"resetfix", double(r.resetfix), 0}, {"se", double(r.se), 0},
      {"crpc", double(r.crpc), 1},         {"smr", double(r.smr), 0},           {"averr", double(r.averr), 0},
      {"usebasedop", double(r.usebasedop), 0}, {"qcheck", double(r.qcheck), 1}, {"vrs", double(r.vrs), 0},
      {"mac", double(r.mac), 0},           {"gpsfirst", double(r.gpsfirst), 0}, {"resmode", double(r.resmode), 1},
      {"fkp", double(r.fkp), 0},           {"wl", double(r.wl), 1},             {"l1only", double(r.l1only), 0},
      {"diffext", double(r.diffext), 1},   {"fixins", double(r.fixins), 0},     {"period", double(r.period), 1000},
      {"afperiod", double(r.afperiod), 1000}, {"experiod", double(r.experiod), 100},
      {"fixwait", double(r.fixwait), -1},  {"timegap", double(r.timegap), -1},  {"check", double(r.check), 7},
      {"env", double(r.env), 1},           {"catcher", double(r.catcher), 0},   {"delay", double(r.delay), 0},
      {"tgpsfirst", double(r.tgpsfirst), 30}, {"resvrs", double(r.resvrs), 0},  {"wlmult", double(r.wlmult), 0},
      {"ion", double(r.ion), 1},           {"ionr", double(r.ionr), 4000.0},    {"ionf", double(r.ionf), 2.0},
      {"iont", double(r.iont), 600.0},     {"mem", r.mem, 0.9997},              {"maxit", double(r.maxit), 1},
      {"maxitf", double(r.maxitf), 1},     {"minpot", double(r.minpot), 36},    {"minpotp", double(r.minpotp), 28},
      {"minsat", double(r.minsat), 6},     {"maxsat", double(r.maxsat), 20},    {"rmsc", double(r.rmsc), 5.0},
      {"rmsp", double(r.rmsp), 0.05},      {"tolthr", double(r.tolthr), 0.08},  {"range", double(r.range), 1000000.0},
      {"mbtimeout", double(r.mbtimeout), 1}, {"ref/keep", double(r.refKeep), 0},
      {"input/0/id", double(r.inputId), -1}, {"port", double(RcvSet.refPort), -2},
      {"dyn", r.dyn, 1.0},                 {"fixpos", double(r.fixpos), 0},     {"rtkplus", double(r.rtkplus), 0},
      {"pen", double(r.pen), 1.0},         {"offt", double(r.offt), 3.0},       {"tempc", double(r.tempc), 20.0},
      {"humid", double(r.humid), 50.0},    {"press", double(r.press), 1010.0},  {"textr", double(r.textr), 30.0},
      {"textrse", double(r.textrse), 3.0}, {"var/diff", double(r.varDiff), 0},
  };
  for (const Row& row : rows) EXPECT_NEAR(row.got, row.want, 1e-6) << row.key;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(r.meas[i], 1) << "meas " << i;
}

// The decoder and coder defaults as the RTCM 2, RTCM 3 and CMR settings tables give them.
TEST_F(RcvSettings, CorrectionFormatDefaults) {
  EXPECT_EQ(RtcmSet.rtcmDec.first, 2u);
  EXPECT_EQ(RtcmSet.rtcmDec.maxAge, 30);
  EXPECT_EQ(RtcmSet.rtcmDec.secondLimit, 300);
  EXPECT_EQ(RtcmSet.rtcmDec.third, 0);
  EXPECT_EQ(RtcmSet.rtcmDec.fourth, 1000);
  EXPECT_EQ(RtcmSet.rtcmDec.seqCheck, 1);
  EXPECT_EQ(RtcmSet.rtcmDec.invSign, 0);
  EXPECT_EQ(RtcmSet.rtcmDec.useNotMonitored, 1);
  EXPECT_EQ(RtcmSet.rtcmDec.refSource, 2u);
  EXPECT_EQ(RtcmSet.cmrDec.first, 0u);
  EXPECT_EQ(RtcmSet.cmrDec.gloType, 3u);
  EXPECT_EQ(RtcmSet.cmrDec.inUse, -1);
  EXPECT_EQ(RtcmSet.cmrDec.nrsMode, 0);
  EXPECT_EQ(RtcmSet.cmrDec.idxSet, 0);
  EXPECT_FLOAT_EQ(RtcmSet.cmrDec.nrsLim, 25.0f);
  EXPECT_EQ(RtcmSet.rtcmCod.stationId, -1);
  EXPECT_EQ(RtcmSet.rtcmCod.termOn, 0);
  EXPECT_EQ(RtcmSet.rtcmCod.term[0], '\r');
  EXPECT_EQ(RtcmSet.rtcmCod.term[1], '\n');
  EXPECT_EQ(RtcmSet.rtcm3Dec.decimation, 0);
  EXPECT_EQ(RtcmSet.rtcm3Dec.outPort, 43);
  EXPECT_EQ(RtcmSet.rtcm3Dec.wrapStream, 82);
  EXPECT_EQ(RtcmSet.rtcm3Dec.gloBias, 1);
  EXPECT_EQ(RtcmSet.cmrCod.stationId, -1);
  EXPECT_EQ(RtcmSet.cmrCod.l2, 1);
  EXPECT_EQ(rtcmMode, 0);
  EXPECT_LE(rtcmGetMaxSats(), 0);
  EXPECT_LE(rtcm3GetMaxSats(), 0);
  EXPECT_LE(cmrGetMaxSats(), 0);
  EXPECT_EQ(bc.valid, 0);
}

TEST_F(RcvSettings, EveryRecordSurvivesARestart) {
  RcvSet.lbandMode = 1;
  RcvSet.cpuNum = 3;
  RcvSet.rtk.period = 13;
  std::snprintf(RcvSet.geoidFile, sizeof RcvSet.geoidFile, "egm.gemo");
  RcvSet.posMode = 5;
  ASSERT_TRUE(nv_writeRcvSettings());
  NavSet.smi = 77;
  ASSERT_TRUE(nv_writeNavSettings());
  rtcm3SetMaxSats(12);
  rtcmMode = 1;
  ASSERT_TRUE(nv_writeRtcm3Settings());
  BASECOORD b{};
  b.xyz[0] = 4510023.9;
  b.stationId = 321;
  b.valid = 1;
  ASSERT_TRUE(nv_writeBaseSettings(&b));
  ASSERT_TRUE(nv_writeGloCalib(2));
  rtcmMode = 0;
  tPosMode = 0;
  restart();
  EXPECT_EQ(RcvSet.lbandMode, 1);
  EXPECT_EQ(RcvSet.cpuNum, 3);
  EXPECT_EQ(RcvSet.rtk.period, 13);
  EXPECT_STREQ(RcvSet.geoidFile, "egm.gemo");
  EXPECT_EQ(RcvSet.gloCalib, 2);
  EXPECT_EQ(tPosMode, 5);
  EXPECT_EQ(NavSet.smi, 77);
  EXPECT_EQ(rtcm3GetMaxSats(), 12);
  EXPECT_EQ(RcvSet.rtcm3MaxSats, 12);
  EXPECT_EQ(rtcmMode, 1);
  EXPECT_EQ(bc.xyz[0], 4510023.9);
  EXPECT_EQ(bc.stationId, 321);
  EXPECT_EQ(bc.valid, 1);
}

// One byte flipped in one block: that record returns to its factory defaults, the others keep
// what was stored.
TEST_F(RcvSettings, CorruptedBlockRestoresOnlyItsOwnDefaults) {
  const std::uint16_t ids[] = {kRcvSetBlockId, kNavSetBlockId, kRtcmSetBlockId, kBaseBlockId};
  for (std::uint16_t id : ids) {
    SCOPED_TRACE(id);
    RcvSet.rtk.check = 99;
    nv_writeRcvSettings();
    NavSet.smi = 55;
    nv_writeNavSettings();
    RtcmSet.cmrDec.gloType = 9;
    nv_writeRtcmSettings();
    bc.stationId = 77;
    nv_writeBaseSettings();
    ASSERT_TRUE(FileNvmSave(0, true));
    const NvBlock* blk = nvSettingsBlock(id);
    ASSERT_NE(blk, nullptr);
    flipStoredByte(blk->imageOffset() + NvBlock::kHeaderSize + 40);
    std::memset(&RcvSet, 0, sizeof RcvSet);
    FileNvmLoad();
    serdefs_NvAlloc();
    nv_readSettings();
    EXPECT_EQ(RcvSet.rtk.check, id == kRcvSetBlockId ? 7 : 99);
    EXPECT_EQ(NavSet.smi, id == kNavSetBlockId ? 100 : 55);
    EXPECT_EQ(RtcmSet.cmrDec.gloType, id == kRtcmSetBlockId ? 3u : 9u);
    EXPECT_EQ(bc.stationId, id == kBaseBlockId ? 0 : 77);
    // The defaults were stored again: the next start reads them without complaint.
    for (std::uint16_t other : ids) EXPECT_TRUE(nvSettingsBlock(other)->isValid());
  }
}

TEST_F(RcvSettings, LayoutIsTheSameOnEveryStart) {
  std::vector<std::uint32_t> before;
  for (std::uint16_t id : {kRcvSetBlockId, kNavSetBlockId, kRtcmSetBlockId, kBaseBlockId, kHistBlockId})
    before.push_back(nvSettingsBlock(id)->imageOffset());
  restart();
  std::vector<std::uint32_t> after;
  for (std::uint16_t id : {kRcvSetBlockId, kNavSetBlockId, kRtcmSetBlockId, kBaseBlockId, kHistBlockId})
    after.push_back(nvSettingsBlock(id)->imageOffset());
  EXPECT_EQ(before, after);
  EXPECT_EQ(nvHistBlock().size(), kHistBlockSize);
  EXPECT_TRUE(nvHistBlock().isValid());
}

std::vector<std::string> g_calls;

TEST_F(RcvSettings, AfterLoadStepsRunInOrderWithTheStoredValues) {
  RcvSet.msInt = 200;
  RcvSet.secInt = 1000;
  RcvSet.lbandMode = 7;  // any non-zero value is on
  RcvSet.cpuNum = 5;
  std::snprintf(RcvSet.antName[1], sizeof RcvSet.antName[1], "ANT-B");
  RcvSet.geoidFile[0] = 0;
  nv_writeRcvSettings();
  g_calls.clear();
  rcvSettingsHooks.cpdParams = [](const RCV_SETTINGS& s) { g_calls.push_back("cpd " + std::to_string(s.rtk.check)); };
  rcvSettingsHooks.msLogicInit = [](int ms, int sec) {
    g_calls.push_back("ms " + std::to_string(ms) + " " + std::to_string(sec));
  };
  rcvSettingsHooks.lbandSetMode = [](bool on) {
    g_calls.push_back(std::string("lband ") + (on ? "on" : "off"));
    return 0;
  };
  rcvSettingsHooks.cpuSetNum = [](int v) {
    g_calls.push_back("cpu " + std::to_string(v));
    return 0;
  };
  rcvSettingsHooks.antDbFind = [](int a, const char* n) {
    g_calls.push_back("ant " + std::to_string(a) + " " + n);
    return true;
  };
  rcvSettingsHooks.geoidBuiltIn = [] { g_calls.push_back("geoid"); };
  nvAfterLoadAdd([] { g_calls.push_back("later"); });
  restart();
  const std::vector<std::string> want = {"cpd 7", "ms 200 1000", "lband on", "cpu 5", "ant 1 ANT-B", "geoid", "later"};
  EXPECT_EQ(g_calls, want);
}

TEST_F(RcvSettings, ReferenceIdReachesEveryOutputFormat) {
  EXPECT_TRUE(nv_writeRefIdSettings(1234));
  EXPECT_FALSE(nv_writeRefIdSettings(4096));
  EXPECT_FALSE(nv_writeRefIdSettings(-2));
  restart();
  EXPECT_EQ(RtcmSet.refId, 1234);
  EXPECT_EQ(RtcmSet.rtcmCod.stationId, 1234);
  EXPECT_EQ(RtcmSet.rtcm3Cod.stationId, 1234);
  EXPECT_EQ(RtcmSet.cmrCod.stationId, 1234);
  static int applied = -9;
  rtcmSettingsSetApplyHook([](RTCM_SETTINGS& s) { applied = s.refId; });
  initRtcmSettingsRefId();
  EXPECT_EQ(applied, 1234);
  rtcmSettingsSetApplyHook(nullptr);
}

// The CMR writer stores the CMR decoder and coder parts only; the RTCM 3 writer the whole
// record with the output manager's RTCM 2 mode.
TEST_F(RcvSettings, CmrWriterStoresItsOwnPartsOnly) {
  RtcmSet.cmrDec.nrsMode = 1;
  RtcmSet.cmrCod.motion = 2;
  RtcmSet.rtcmDec.maxAge = 99;
  ASSERT_TRUE(nv_writeCmrSettings());
  restart();
  EXPECT_EQ(RtcmSet.cmrDec.nrsMode, 1);
  EXPECT_EQ(RtcmSet.cmrCod.motion, 2);
  EXPECT_EQ(RtcmSet.rtcmDec.maxAge, 30);
  static int gathered = 0;
  rtcmSettingsSetGatherHook([](RTCM_SETTINGS& s) {
    ++gathered;
    s.rtcm3Dec.decimation = 500;
  });
  rtcmMode = 1;
  ASSERT_TRUE(nv_writeRtcm3Settings());
  rtcmSettingsSetGatherHook(nullptr);
  restart();
  EXPECT_EQ(gathered, 1);
  EXPECT_EQ(RtcmSet.rtcm3Dec.decimation, 500);
  EXPECT_EQ(RtcmSet.rtcmMode, 1);
}

TEST_F(RcvSettings, Rtcm3SatelliteLimitIsBounded) {
  const struct {
    int in, out;
  } rows[] = {{0, 0}, {1, 1}, {127, 127}, {128, 127}, {-5, 0}, {40, 40}};
  for (auto r : rows) {
    rtcm3SetMaxSats(r.in);
    EXPECT_EQ(rtcm3GetMaxSats(), r.out) << r.in;
    EXPECT_EQ(RcvSet.rtcm3MaxSats, r.out) << r.in;
  }
}

TEST_F(RcvSettings, FactoryDefaultsComeBackWhole) {
  RcvSet.cpuNum = 1;
  RcvSet.rtk.check = 5;
  nv_writeRcvSettings();
  bc.valid = 1;
  nv_writeBaseSettings();
  nv_defaultSettings();
  restart();
  RCV_SETTINGS def;
  rcvSetDefaults(def);
  EXPECT_EQ(std::memcmp(&RcvSet, &def, sizeof def), 0);
  EXPECT_EQ(bc.valid, 0);
}

TEST_F(RcvSettings, StoredTextsAreAlwaysTerminated) {
  std::memset(RcvSet.geoidFile, 'x', sizeof RcvSet.geoidFile);
  std::memset(bc.name, 'y', sizeof bc.name);
  nv_writeRcvSettings();
  nv_writeBaseSettings();
  restart();
  EXPECT_EQ(std::strlen(RcvSet.geoidFile), sizeof RcvSet.geoidFile - 1);
  EXPECT_EQ(std::strlen(bc.name), sizeof bc.name - 1);
}

// Whatever bytes a valid block holds (another firmware's record, a damaged one with a matching
// checksum), the settings load, the texts end inside their arrays and the keyword fields hold
// values of their lists.
TEST_F(RcvSettings, RandomStoredRecordsLoadSafely) {
  std::mt19937 rng(20261206);
  for (int round = 0; round < 50; ++round) {
    RCV_SETTINGS r;
    auto* b = reinterpret_cast<std::uint8_t*>(&r);
    for (std::size_t i = 0; i < sizeof r; ++i) b[i] = static_cast<std::uint8_t>(rng());
    nv_writeRcvSettings(&r);
    RTCM_SETTINGS t;
    auto* c = reinterpret_cast<std::uint8_t*>(&t);
    for (std::size_t i = 0; i < sizeof t; ++i) c[i] = static_cast<std::uint8_t>(rng());
    RtcmSet = t;
    nv_writeRtcmSettings();
    restart();
    EXPECT_LT(std::strlen(RcvSet.geoidFile), sizeof RcvSet.geoidFile);
    EXPECT_LT(std::strlen(RcvSet.antName[0]), sizeof RcvSet.antName[0]);
    EXPECT_LT(std::strlen(RtcmSet.rtcm3Cod.text), sizeof RtcmSet.rtcm3Cod.text);
    EXPECT_LE(RcvSet.cpuNum, 5);
    EXPECT_LE(RcvSet.lbandMode, 1);
    EXPECT_LE(tPosMode, 6);
    EXPECT_LE(RcvSet.msmCompat, 6);
    EXPECT_GE(rtcm3GetMaxSats(), 0);
    EXPECT_LE(rtcm3GetMaxSats(), 127);
  }
}

TEST_F(RcvSettings, PortModesAndRatesPersist) {
  EXPECT_EQ(PortSet.imode[IOP_SER_A], InPort::M_CMD);
  EXPECT_EQ(PortSet.imode[IOP_SHM_A], InPort::M_ZRT);
  EXPECT_EQ(portSettingsRate(IOP_SER_B), 115200);
  portSettingsStoreMode(IOP_SER_B, InPort::M_RTCM3);
  EXPECT_TRUE(portSettingsSetRate(IOP_SER_C, 9600));
  EXPECT_FALSE(portSettingsSetRate(IOP_SER_C, 9601));
  EXPECT_FALSE(portSettingsSetRate(IOP_SHM_A, 9600));
  restart();
  EXPECT_EQ(PortSet.imode[IOP_SER_B], InPort::M_RTCM3);
  EXPECT_EQ(portSettingsRate(IOP_SER_C), 9600);
  portSettingsDefaults();
  restart();
  EXPECT_EQ(PortSet.imode[IOP_SER_B], InPort::M_CMD);
  EXPECT_EQ(portSettingsRate(IOP_SER_C), 115200);
}

// A port record with a mode or a speed code no port knows is not applied: the ports take their
// defaults.
TEST_F(RcvSettings, ImpossiblePortRecordGivesTheDefaults) {
  portSettingsStoreMode(IOP_SER_A, InPort::M_ECHO);
  PortSet.imode[IOP_SER_D] = 200;
  portSettingsStoreMode(IOP_SER_B, InPort::M_RTCM);  // stores the record with the bad byte
  restart();
  EXPECT_EQ(PortSet.imode[IOP_SER_A], InPort::M_CMD);
  EXPECT_EQ(PortSet.imode[IOP_SER_D], InPort::M_CMD);
  PortSet.rsState[1] = 0x7F;
  portSettingsStoreMode(IOP_SER_C, InPort::M_RTCM);
  restart();
  EXPECT_EQ(portSettingsRate(IOP_SER_B), 115200);
  EXPECT_EQ(PortSet.imode[IOP_SER_C], InPort::M_CMD);
}

TEST_F(RcvSettings, DebugSelectorsStartAtZero) {
  EXPECT_EQ(dbi, 0);
  EXPECT_EQ(temp_dbi, 0);
  EXPECT_EQ(rtk_cpd_dbi, 0);
}

}  // namespace
