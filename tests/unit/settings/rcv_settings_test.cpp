// Receiver, navigation, RTCM and port settings in the settings image: what a restart keeps, what
// a corrupted or foreign record gives, and the order of the after-load steps.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ports/in_port.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "unit/platform/image_block.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class RcvSettings : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    load();
  }
  static void load() {
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
    load();
  }
};

constexpr std::uint16_t kBlocks[] = {kRcvSetBlockId, kNavSetBlockId, kRtcmSetBlockId, kBaseBlockId, kHistBlockId};

// Header offset of block `id` in the image in memory; -1 when there is none.
long blockAt(std::uint16_t id) {
  const imagetest::ImageBlock b = imagetest::imageBlock(id);
  return b.found ? static_cast<long>(b.dataAt - NvBlock::kHeaderSize) : -1;
}

// What a restart keeps, in the same places of the image; then what restoring the defaults leaves.
TEST_F(RcvSettings, EveryRecordAndItsPlaceSurviveARestartUntilTheDefaultsReturn) {
  std::vector<long> offsets;
  for (std::uint16_t id : kBlocks) offsets.push_back(blockAt(id));
  for (long off : offsets) ASSERT_GT(off, 0);
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
  std::memset(b.name, 'y', sizeof b.name);  // stored without a terminator
  ASSERT_TRUE(nv_writeBaseSettings(&b));
  ASSERT_TRUE(nv_writeGloCalib(2));
  portSettingsStoreMode(IOP_SER_B, InPort::M_RTCM3);
  EXPECT_TRUE(portSettingsSetRate(IOP_SER_C, 9600));
  EXPECT_FALSE(portSettingsSetRate(IOP_SER_C, 9601));
  EXPECT_FALSE(portSettingsSetRate(IOP_SHM_A, 9600));
  rtcmMode = tPosMode = 0;
  restart();
  for (std::size_t i = 0; i < offsets.size(); ++i) EXPECT_EQ(blockAt(kBlocks[i]), offsets[i]);
  EXPECT_TRUE(nvHistBlock().isValid());
  EXPECT_EQ(RcvSet.cpuNum, 3);
  EXPECT_EQ(RcvSet.rtk.period, 13);
  EXPECT_STREQ(RcvSet.geoidFile, "egm.gemo");
  EXPECT_EQ(RcvSet.gloCalib, 2);
  EXPECT_EQ(tPosMode, 5);
  EXPECT_EQ(NavSet.smi, 77);
  EXPECT_EQ(rtcm3GetMaxSats(), 12);
  EXPECT_EQ(rtcmMode, 1);
  EXPECT_EQ(bc.xyz[0], 4510023.9);
  EXPECT_EQ(std::strlen(bc.name), sizeof bc.name - 1);
  EXPECT_EQ(PortSet.imode[IOP_SER_B], InPort::M_RTCM3);
  EXPECT_EQ(portSettingsRate(IOP_SER_C), 9600);
  nv_defaultSettings();
  portSettingsDefaults();
  restart();
  RCV_SETTINGS def;
  rcvSetDefaults(def);
  EXPECT_EQ(std::memcmp(&RcvSet, &def, sizeof def), 0);
  EXPECT_EQ(bc.xyz[0], 0);
  EXPECT_EQ(PortSet.imode[IOP_SER_B], InPort::M_CMD);
  EXPECT_EQ(portSettingsRate(IOP_SER_C), 115200);
}

// One byte flipped in one block: that record returns to its factory defaults, the others keep
// what was stored, and the defaults are stored again.
TEST_F(RcvSettings, CorruptedBlockRestoresOnlyItsOwnDefaults) {
  for (std::uint16_t id : {kRcvSetBlockId, kNavSetBlockId, kRtcmSetBlockId, kBaseBlockId}) {
    SCOPED_TRACE(id);
    RcvSet.rtk.check = 99;
    NavSet.smi = 55;
    RtcmSet.cmrDec.gloType = 9;
    bc.stationId = 77;
    nv_writeRcvSettings();
    nv_writeNavSettings();
    nv_writeRtcmSettings();
    nv_writeBaseSettings();
    ASSERT_TRUE(FileNvmSave(0, true));
    std::string img = readFile(kNvmFile);
    img[static_cast<std::size_t>(blockAt(id)) + NvBlock::kHeaderSize + 40] ^= 0x10;
    writeFile(kNvmFile, img);
    std::memset(&RcvSet, 0, sizeof RcvSet);
    load();
    EXPECT_EQ(RcvSet.rtk.check, id == kRcvSetBlockId ? 7 : 99);
    EXPECT_EQ(NavSet.smi, id == kNavSetBlockId ? 100 : 55);
    EXPECT_EQ(RtcmSet.cmrDec.gloType, id == kRtcmSetBlockId ? 3u : 9u);
    EXPECT_EQ(bc.stationId, id == kBaseBlockId ? 0 : 77);
    for (std::uint16_t other : kBlocks) EXPECT_TRUE(imagetest::imageBlock(other).valid) << other;
  }
}

// A record stored by the previous layout holds zeros where the filter settings now lie: it takes
// their defaults and keeps every older field; a record of the current layout keeps what it holds.
TEST_F(RcvSettings, OlderLayoutGetsTheFilterDefaultsAndKeepsTheRest) {
  const struct {
    std::uint16_t rev;
    std::int16_t num;  // what the next start sees
  } rows[] = {{2, 30}, {kRcvSetLayoutRev, 0}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.rev);
    RcvSet.rtk.check = 99;
    std::memset(&RcvSet.posFilt, 0, sizeof RcvSet.posFilt);
    RcvSet.layoutRev = r.rev;
    nv_writeRcvSettings();
    restart();
    EXPECT_EQ(RcvSet.layoutRev, kRcvSetLayoutRev);
    EXPECT_EQ(RcvSet.rtk.check, 99);
    EXPECT_EQ(RcvSet.posFilt.num, r.num);
    EXPECT_EQ(RcvSet.posFilt.maxdel, r.num ? 10 : 0);
    EXPECT_EQ(RcvSet.posFilt.spdnum, r.num ? 5 : 0);
    EXPECT_EQ(RcvSet.posFilt.spdmax, r.num ? 2.0f : 0.0f);
  }
}

// Layout 4 took the grid, the solution switches and the reference-position source from the
// reserved tail: a record of an older layout holds zeros there and takes the grid's defaults (unit
// scales) and publishes its averaged position; a record of the current layout keeps its values.
TEST_F(RcvSettings, OlderLayoutGetsTheGridDefaultsAndPublishesItsAveragedPosition) {
  const struct {
    std::uint16_t rev;
    double k;             // the local grid's scale the next start sees
    std::uint8_t from;    // and the reference position the base publishes
  } rows[] = {{2, 1.0, kRefPosFromMeasured}, {3, 1.0, kRefPosFromMeasured}, {kRcvSetLayoutRev, 0.0, kRefPosFromNone}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.rev);
    RcvSet.rtk.check = 99;
    std::memset(&RcvSet.grid, 0, sizeof RcvSet.grid);
    RcvSet.refPosFrom = kRefPosFromNone;
    RcvSet.layoutRev = r.rev;
    nv_writeRcvSettings();
    restart();
    EXPECT_EQ(RcvSet.layoutRev, kRcvSetLayoutRev);
    EXPECT_EQ(RcvSet.rtk.check, 99);
    EXPECT_EQ(RcvSet.grid.local[2], r.k);
    EXPECT_EQ(RcvSet.grid.locPrj[2], r.k);
    EXPECT_EQ(RcvSet.grid.mapId, 0);
    EXPECT_EQ(RcvSet.refPosFrom, r.from);
  }
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
  auto& h = rcvSettingsHooks;
  h.cpdParams = [](const RCV_SETTINGS& s) { g_calls.push_back("cpd " + std::to_string(s.rtk.check)); };
  h.msLogicInit = [](int ms, int sec) { g_calls.push_back("ms " + std::to_string(ms) + " " + std::to_string(sec)); };
  h.lbandSetMode = [](bool on) { return g_calls.push_back(on ? "lband on" : "lband off"), 0; };
  h.cpuSetNum = [](int v) { return g_calls.push_back("cpu " + std::to_string(v)), 0; };
  h.antDbFind = [](int a, const char* n) { return g_calls.push_back("ant " + std::to_string(a) + " " + n), true; };
  h.geoidBuiltIn = [] { g_calls.push_back("geoid"); };
  nvAfterLoadHooks.add([] { g_calls.push_back("later"); });
  restart();
  EXPECT_EQ(g_calls, (std::vector<std::string>{"cpd 7", "ms 200 1000", "lband on", "cpu 5", "ant 1 ANT-B", "geoid",
                                                "later"}));
}

TEST_F(RcvSettings, ReferenceIdReachesEveryOutputFormat) {
  static int applied = -9;
  rtcmSettingsSetApplyHook([](RTCM_SETTINGS& s) { applied = s.refId; });
  for (auto [id, stored] : {std::pair{1234, 1234}, {4096, 1234}, {-2, 1234}, {4095, 4095}, {-1, -1}}) {
    SCOPED_TRACE(id);
    EXPECT_EQ(nv_writeRefIdSettings(id), id == stored);
    restart();
    for (int v : {RtcmSet.refId, RtcmSet.rtcmCod.stationId, RtcmSet.rtcm3Cod.stationId, RtcmSet.cmrCod.stationId})
      EXPECT_EQ(v, stored);
    applied = -9;
    initRtcmSettingsRefId();
    EXPECT_EQ(applied, stored);
  }
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
  rtcmSettingsSetGatherHook([](RTCM_SETTINGS& s) { s.rtcm3Dec.decimation = 500; });
  rtcmMode = 1;
  ASSERT_TRUE(nv_writeRtcm3Settings());
  rtcmSettingsSetGatherHook(nullptr);
  restart();
  EXPECT_EQ(RtcmSet.rtcm3Dec.decimation, 500);
  EXPECT_EQ(RtcmSet.rtcmMode, 1);
}

TEST_F(RcvSettings, Rtcm3SatelliteLimitIsBounded) {
  for (auto [in, out] : {std::pair{0, 0}, {1, 1}, {127, 127}, {128, 127}, {-5, 0}, {40, 40}}) {
    rtcm3SetMaxSats(in);
    EXPECT_EQ(rtcm3GetMaxSats(), out) << in;
    EXPECT_EQ(RcvSet.rtcm3MaxSats, out) << in;
  }
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

// The last mode there is is kept at load; the mode count itself, one past it, is no mode and the
// record falls back to its defaults.
TEST_F(RcvSettings, StoredPortModeMustBeBelowTheModeCount) {
  const struct { int mode; bool kept; } rows[] = {
      {InPort::M_CMD, true}, {InPort::MODE_NUM - 1, true}, {InPort::MODE_NUM, false}, {InPort::MODE_NUM + 1, false}, {255, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.mode);
    portSettingsStoreMode(IOP_SER_A, InPort::M_ECHO);
    PortSet.imode[IOP_SER_D] = static_cast<std::uint8_t>(r.mode);
    portSettingsStoreMode(IOP_SER_B, InPort::M_RTCM);  // stores the record with that byte
    restart();
    EXPECT_EQ(PortSet.imode[IOP_SER_D], r.kept ? r.mode : int(InPort::M_CMD));
    EXPECT_EQ(PortSet.imode[IOP_SER_A], r.kept ? int(InPort::M_ECHO) : int(InPort::M_CMD));
    portSettingsDefaults();
  }
}

}  // namespace
