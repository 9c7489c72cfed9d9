// The engine setups' keys below /par/pos/ through the parameter engine: the factory value each
// prints (the defaults tables of the setup records), each key's edges, keywords and bad values
// with what prints afterwards, the byte of the setup block a set lands in (the offsets the
// stages read), a refused value changing nothing, the keys surviving a reload of the settings
// image and going back to the factory values on the reset.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "command/result_codes.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/data_servers/sbas_data_types.h"
#include "positioning/corr_setup_keys.h"
#include "positioning/pos_keys.h"
#include "positioning/pos_setup_keys.h"
#include "settings/rcv_settings.h"
#include "unit/param_calls.h"
#include "unit/platform/temp_run_dir.h"

namespace {

using partest::print;
using partest::set;

PVTDataType& D = PVTDataInstance;

class PosSetupKeys : public TempRunDir {
 protected:
  static void SetUpTestSuite() { registerPosArea(); }
  void SetUp() override {
    TempRunDir::SetUp();
    rcvSetDefaults(RcvSet);  // the receiver's keys printed beside the setups' (cd/obs, cd/smooth...)
    startUp(false);
    D.init_SetupData();
  }
  // What the start-up does with the image: load the file, lay out the blocks, restore.
  static void startUp(bool fileSaved) {
    NvBlock::resetLayout();
    RamNvm::blank();
    ASSERT_EQ(FileNvmLoad(), fileSaved);
    D.allocate_NvRamData();
    D.restore_NvRamData();
  }
};

// Every key's factory value, from the defaults of the setup records.
struct Default {
  const char* key;
  const char* printed;
} const kDefaults[] = {
    {"elmode", "astrohor"}, {"elm", "5.00"}, {"minsnr", "30.0"}, {"sys/gps", "on"}, {"sys/glo", "on"},
    {"sys/gal", "on"}, {"sys/sbas", "off"}, {"sys/qzss", "off"}, {"sys/comp", "on"}, {"sys/irnss", "off"},
    {"meas", "any"}, {"systime/gps", "gps"}, {"systime/glo", "glo"}, {"systime/gal", "gal"},
    {"systime/sbas", "gps"}, {"systime/qzss", "gps"}, {"systime/comp", "comp"}, {"systime/irnss", "irnss"},
    {"almdata", "off"}, {"almdata/source", "sat"}, {"navdata/gps", "any"}, {"navdata/irnss", "any"},
    {"navdata/source", "sat"}, {"datum/gps", "W84"}, {"datum/glo", "P90"}, {"datum/irnss", "W84"},
    {"eph/dblchk", "off"}, {"alm/maxage/gps", "30"}, {"alm/maxage/comp", "30"}, {"ura/mask/gal", "10.0"},
    {"ura/check/gps", "0xFFFFFFFF"}, {"ura/check/glo", "0x3FFFFFFF"}, {"ura/check/comp", "0x7FFFFFFFFFFFFFFF"},
    {"dvs/check/qzss", "0x7F"}, {"dvs/check/irnss", "0x3FFF"}, {"bei/cnav3/dec", "I"},
    {"health/check/gps", "0xFFFFFFFF"}, {"health/check/sbas", "0xFFFFFFF"}, {"alm/wait/glo", "0x3FFFFFFF"},
    {"alm/wait/comp", "0x7FFFFFFFFFFFFFFF"}, {"wgt/mode", "off"}, {"wgt/mode2", "0"}, {"ura/screen", "off"},
    {"dbg/inv", "0"},
    {"hold/alt", "on"}, {"hold/clkdft", "on"}, {"hold/priority", "clkdft"}, {"hold/maxnum", "1"},
    {"gpsglo", "0.000"}, {"gpsirnss", "0.000"}, {"fix/gpsglo", "off"}, {"fix/gpsirnss", "off"},
    {"alt", "0.000"}, {"fix/alt", "off"}, {"clkdft", "0.000"}, {"fix/clkdft", "off"}, {"clkref", "auto"},
    {"pdop", "30.0"}, {"hrms", "100.00"}, {"vrms", "150.00"}, {"trms", "150.00"}, {"vhrms", "1.00"},
    {"vvrms", "1.50"}, {"vtrms", "1.50"},
    {"iono/model", "klob"}, {"iono/klob", "gps"}, {"iono/nequick", "off"}, {"iono/glo", "off"},
    {"iono/glosrc", "glo"}, {"iono/user", "off"}, {"iono/wd", "off"}, {"tec/calib", "off"}, {"smooth/comb", "off"},
    {"tropo/map/user", "off"}, {"tropo/map/type", "black"},
    {"wd/sel", "sbas"}, {"wd/rule", "best"}, {"wd/prn", "120"}, {"wd/elm", "5"}, {"wd/smooth/range", "6"},
    {"wd/smooth/iono", "60"}, {"wd/sbas/mode", "user"}, {"wd/timeout/data", "360"},
    {"wd/timeout/iono", "1200"}, {"wd/mask/sbas", "0xFFFFFFF"}, {"wd/mask/prov", "0xFFFF"},
    {"wd/mask/qzss", "0x7F"}, {"wd/mask/comp", "0x1F"}, {"wd/mask/irnss", "0x3FFF"}, {"wd/dfmc/dnu", "off"},
    {"cd/src", "rtcm"}, {"cd/mode", "near"}, {"cd/id", "0"}, {"cd/timeout/range", "30"},
    {"cd/timeout/iono", "300"}, {"cd/slas/src", "0x7F"}, {"cd/slas/health", "off"},
    {"cd/slas/stations", "0xFFFFFFFF"}, {"cd/base/sys", "0"}, {"cd/base/x", "0"}, {"cd/base/z", "0"},
};

TEST_F(PosSetupKeys, EveryKeyPrintsItsFactoryValue) {
  for (const Default& d : kDefaults) EXPECT_EQ(print(std::string("pos/") + d.key), d.printed) << d.key;
}

// A set, what prints afterwards, and where the value lands: block (0 satellite processor,
// 1 correction processor, 2 LMS, 3 KFK), byte offset, width in bytes and the stored value
// (width 0: nothing checked).
struct Row {
  const char* key;
  const char* value;
  int rc;
  const char* after;
  int block;
  unsigned off;
  int width;
  long long stored;
};

long long storedAt(int b, unsigned off, int width) {
  const NvBlock* blocks[] = {&D.satProcessorSetup.nvBlock(), &D.corrProcessorSetup.nvBlock(),
                             &D.lmsEngineSetup.nvBlock(), &D.kfkEngineSetup.nvBlock()};
  std::uint8_t bytes[8] = {};
  EXPECT_TRUE(blocks[b]->read(bytes, static_cast<std::uint32_t>(width), off));
  long long v = 0;
  std::memcpy(&v, bytes, static_cast<std::size_t>(width));
  if (width == 2 && (v & 0x8000)) v -= 0x10000;  // the 16-bit fields read back signed
  return v;
}

void runRows(const Row* rows, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const Row& r = rows[i];
    SCOPED_TRACE(std::string(r.key) + " <- " + r.value);
    EXPECT_EQ(set(std::string("pos/") + r.key, r.value), r.rc);
    EXPECT_EQ(print(std::string("pos/") + r.key), r.after);
    if (r.width > 0) {
      EXPECT_EQ(storedAt(r.block, r.off, r.width), r.stored);
    }
  }
}

TEST_F(PosSetupKeys, SatelliteProcessorKeys) {
  const Row rows[] = {
      {"elmode", "truehor", CMD_OK, "truehor", 0, 4, 4, 1},
      {"elmode", "1", CMD_WRONG_2ND, "truehor", 0, 4, 4, 1},
      {"elmode", "ASTROHOR", CMD_OK, "astrohor", 0, 4, 4, 0},
      {"elm", "-90", CMD_OK, "-90.00", 0, 0, 0, 0},
      {"elm", "90", CMD_OK, "90.00", 0, 0, 0, 0},
      {"elm", "90.01", CMD_OUT_OF_RANGE, "90.00", 0, 0, 0, 0},
      {"elm", "-90.5", CMD_OUT_OF_RANGE, "90.00", 0, 0, 0, 0},
      {"elm", "ten", CMD_WRONG_2ND, "90.00", 0, 0, 0, 0},
      {"elm", "", CMD_2ND_MISSED, "90.00", 0, 0, 0, 0},
      {"elm", "12.5", CMD_OK, "12.50", 0, 8, 4, 0x41480000},  // 12.5f
      {"minsnr", "0", CMD_OK, "0.0", 0, 108, 4, 0},
      {"minsnr", "99", CMD_OK, "99.0", 0, 0, 0, 0},
      {"minsnr", "99.1", CMD_OUT_OF_RANGE, "99.0", 0, 0, 0, 0},
      {"minsnr", "-1", CMD_OUT_OF_RANGE, "99.0", 0, 0, 0, 0},
      {"sys/sbas", "on", CMD_OK, "on", 0, 112, 4, 39 | 8},
      {"sys/gps", "off", CMD_OK, "off", 0, 112, 4, 38 | 8},
      {"sys/irnss", "yes", CMD_OK, "on", 0, 112, 4, 38 | 8 | 64},
      {"sys/glo", "2", CMD_WRONG_2ND, "on", 0, 112, 4, 38 | 8 | 64},
      {"sys/beidou", "on", CMD_WRONG_1ST, "ER3", 0, 112, 4, 38 | 8 | 64},
      {"meas", "ca", CMD_OK, "ca", 0, 116, 2, 0},
      {"meas", "single", CMD_OK, "any", 0, 116, 2, 6},
      {"meas", "dual", CMD_OK, "ionofree", 0, 116, 2, 7},
      {"meas", "all", CMD_OK, "all", 0, 116, 2, 8},
      {"meas", "l2p", CMD_WRONG_2ND, "all", 0, 116, 2, 8},
      {"systime/gal", "gps", CMD_OK, "gps", 0, 370, 1, 0},
      {"systime/qzss", "bei", CMD_OK, "comp", 0, 372, 1, 5},
      {"systime/irnss", "utc", CMD_WRONG_2ND, "irnss", 0, 374, 1, 6},
      {"almdata", "yes", CMD_OK, "on", 0, 375, 1, 1},
      {"almdata/source", "off", CMD_OK, "off", 0, 2588, 4, 0},
      {"almdata/source", "ext", CMD_OK, "ext", 0, 2588, 4, 2},
      {"almdata/source", "both", CMD_WRONG_2ND, "ext", 0, 2588, 4, 2},
      {"navdata/source", "any", CMD_OK, "any", 0, 2584, 4, 3},
      {"navdata/gps", "2", CMD_OK, "2", 0, 376, 1, 2},       // GPS: three data types
      {"navdata/gps", "3", CMD_OUT_OF_RANGE, "2", 0, 376, 1, 2},
      {"navdata/sbas", "0", CMD_OK, "0", 0, 379, 1, 0},      // SBAS: one
      {"navdata/sbas", "1", CMD_OUT_OF_RANGE, "0", 0, 379, 1, 0},
      {"navdata/sbas", "ANY", CMD_OK, "any", 0, 379, 1, 255},
      {"navdata/comp", "-1", CMD_OUT_OF_RANGE, "any", 0, 381, 1, 255},
      {"navdata/comp", "lnav", CMD_WRONG_2ND, "any", 0, 381, 1, 255},
      {"datum/glo", "P90-R", CMD_OK, "P90-R", 0, 0, 0, 0},
      {"datum/glo", "W85", CMD_WRONG_2ND, "P90-R", 0, 0, 0, 0},
      {"datum/glo", "", CMD_2ND_MISSED, "P90-R", 0, 0, 0, 0},
      {"datum/glo", "ABCDEFGHIJKLMNOPQ", CMD_WRONG_2ND, "P90-R", 0, 0, 0, 0},
      {"datum/gps", "EUR_F", CMD_OK, "EUR_F", 0, 0, 0, 0},
      {"eph/dblchk", "on", CMD_OK, "on", 0, 2350, 1, 1},
      {"alm/maxage/gps", "1", CMD_OK, "1", 0, 2400, 2, 1},
      {"alm/maxage/irnss", "3650", CMD_OK, "3650", 0, 2412, 2, 3650},
      {"alm/maxage/irnss", "0", CMD_OUT_OF_RANGE, "3650", 0, 2412, 2, 3650},
      {"alm/maxage/irnss", "3651", CMD_OUT_OF_RANGE, "3650", 0, 2412, 2, 3650},
      {"ura/mask/glo", "0", CMD_OK, "0.0", 0, 2420, 4, 0},
      {"ura/mask/glo", "10000", CMD_OK, "10000.0", 0, 0, 0, 0},
      {"ura/mask/glo", "10000.1", CMD_OUT_OF_RANGE, "10000.0", 0, 0, 0, 0},
      {"ura/check/glo", "0x3FFFFFFF", CMD_OK, "0x3FFFFFFF", 0, 2456, 4, 0x3FFFFFFF},
      {"ura/check/glo", "0x40000000", CMD_OUT_OF_RANGE, "0x3FFFFFFF", 0, 2456, 4, 0x3FFFFFFF},  // 30 slots
      {"ura/check/glo", "5", CMD_OK, "0x5", 0, 2456, 4, 5},
      {"ura/check/glo", "-5", CMD_WRONG_2ND, "0x5", 0, 2456, 4, 5},
      {"ura/check/glo", "0x5z", CMD_WRONG_2ND, "0x5", 0, 2456, 4, 5},
      {"ura/check/glo", "0x", CMD_WRONG_2ND, "0x5", 0, 2456, 4, 5},
      {"ura/check/glo", "0x-1", CMD_WRONG_2ND, "0x5", 0, 2456, 4, 5},
      {"ura/check/glo", "010", CMD_OK, "0xA", 0, 2456, 4, 10},  // decimal, not octal
      {"ura/check/glo", "0X1f", CMD_OK, "0x1F", 0, 2456, 4, 31},
      {"ura/check/comp", "0x7FFFFFFFFFFFFFFF", CMD_OK, "0x7FFFFFFFFFFFFFFF", 0, 0, 0, 0},
      {"ura/check/comp", "0x8000000000000000", CMD_OUT_OF_RANGE, "0x7FFFFFFFFFFFFFFF", 0, 0, 0, 0},
      {"dvs/check/qzss", "0", CMD_OK, "0x0", 0, 2504 + 32, 4, 0},
      {"dvs/check/qzss", "0x80", CMD_OUT_OF_RANGE, "0x0", 0, 2504 + 32, 4, 0},
      {"bei/cnav3/dec", "pilot", CMD_OK, "Q", 0, 2592, 4, 2},
      {"bei/cnav3/dec", "all", CMD_OK, "all", 0, 2592, 4, 3},
      {"bei/cnav3/dec", "off", CMD_OK, "off", 0, 2592, 4, 0},
      {"bei/cnav3/dec", "iq", CMD_WRONG_2ND, "off", 0, 2592, 4, 0},
      {"health/check/gps", "0", CMD_OK, "0x0", 0, 256, 4, 0},
      {"health/check/irnss", "0x4000", CMD_OUT_OF_RANGE, "0x3FFF", 0, 256 + 48, 4, 0x3FFF},
      {"health/check/irnss", "0x2001", CMD_OK, "0x2001", 0, 256 + 48, 4, 0x2001},
      {"alm/wait/gal", "0xFFFFFFFFF", CMD_OK, "0xFFFFFFFFF", 0, 312 + 16, 4, -1 & 0xFFFFFFFFLL},
      {"alm/wait/gal", "0x1000000000", CMD_OUT_OF_RANGE, "0xFFFFFFFFF", 0, 0, 0, 0},  // 36 satellites
      {"alm/wait/sbas", "7", CMD_OK, "0x7", 0, 312 + 24, 4, 7},
      {"wgt/mode", "acc", CMD_OK, "acc", 0, 2360, 1, 1},
      {"wgt/mode", "elev", CMD_OK, "elev", 0, 2360, 1, 4},
      {"wgt/mode", "4", CMD_WRONG_2ND, "elev", 0, 2360, 1, 4},
      {"wgt/mode", "OFF", CMD_OK, "off", 0, 2360, 1, 0},
      {"wgt/mode2", "255", CMD_OK, "255", 0, 2361, 1, 255},
      {"wgt/mode2", "256", CMD_OUT_OF_RANGE, "255", 0, 2361, 1, 255},
      {"wgt/mode2", "-1", CMD_OUT_OF_RANGE, "255", 0, 2361, 1, 255},
      {"wgt/mode2", "0", CMD_OK, "0", 0, 2361, 1, 0},
      {"ura/screen", "on", CMD_OK, "on", 0, 2362, 1, 1},
      {"ura/screen", "2", CMD_WRONG_2ND, "on", 0, 2362, 1, 1},
      {"dbg/inv", "7", CMD_OK, "7", 0, 2357, 1, 7},
      {"dbg/inv", "8", CMD_OUT_OF_RANGE, "7", 0, 2357, 1, 7},
      {"dbg/inv", "1", CMD_OK, "1", 0, 2357, 1, 1},
      {"dbg/inv", "x", CMD_WRONG_2ND, "1", 0, 2357, 1, 1},
  };
  runRows(rows, std::size(rows));
}

TEST_F(PosSetupKeys, EngineHeadKeysLandInBothEnginesAndTheLimitsInTheLms) {
  const Row rows[] = {
      {"hold/alt", "off", CMD_OK, "off", 2, 0, 1, 0},
      {"hold/clkdft", "off", CMD_OK, "off", 3, 1, 1, 0},
      {"hold/priority", "alt", CMD_OK, "alt", 3, 4, 4, 0},
      {"hold/priority", "both", CMD_WRONG_2ND, "alt", 2, 4, 4, 0},
      {"hold/maxnum", "255", CMD_OK, "255", 3, 8, 1, 255},
      {"hold/maxnum", "256", CMD_OUT_OF_RANGE, "255", 2, 8, 1, 255},
      {"hold/maxnum", "-1", CMD_OUT_OF_RANGE, "255", 2, 8, 1, 255},
      {"gpsglo", "-1000000", CMD_OK, "-1000000.000", 0, 0, 0, 0},
      {"gpsglo", "1000000.001", CMD_OUT_OF_RANGE, "-1000000.000", 0, 0, 0, 0},
      {"gpsirnss", "12.5", CMD_OK, "12.500", 3, 88, 8, 0x4029000000000000},  // 12.5
      {"fix/gpsglo", "on", CMD_OK, "on", 3, 97, 1, 1},
      {"fix/gpsirnss", "on", CMD_OK, "on", 2, 102, 1, 1},
      {"alt", "-20000", CMD_OK, "-20000.000", 0, 0, 0, 0},
      {"alt", "100000.001", CMD_OUT_OF_RANGE, "-20000.000", 0, 0, 0, 0},
      {"alt", "250", CMD_OK, "250.000", 3, 112, 8, 0x406F400000000000},  // 250.0
      {"fix/alt", "on", CMD_OK, "on", 3, 120, 1, 1},
      {"clkdft", "-100000", CMD_OK, "-100000.000", 0, 0, 0, 0},
      {"clkdft", "100001", CMD_OUT_OF_RANGE, "-100000.000", 0, 0, 0, 0},
      {"fix/clkdft", "on", CMD_OK, "on", 3, 136, 1, 1},
      {"clkref", "glo", CMD_OK, "glo", 3, 137, 1, 1},
      {"clkref", "bei", CMD_OK, "comp", 2, 137, 1, 5},
      {"clkref", "7", CMD_WRONG_2ND, "comp", 2, 137, 1, 5},
      {"clkref", "auto", CMD_OK, "auto", 2, 137, 1, 127},
      {"pdop", "0.1", CMD_OK, "0.1", 0, 0, 0, 0},
      {"pdop", "0.09", CMD_OUT_OF_RANGE, "0.1", 0, 0, 0, 0},
      {"pdop", "1000", CMD_OK, "1000.0", 2, 176, 4, 0x447A0000},  // 1000.0f
      {"hrms", "0.01", CMD_OK, "0.01", 0, 0, 0, 0},
      {"hrms", "100000.01", CMD_OUT_OF_RANGE, "0.01", 0, 0, 0, 0},
      {"vrms", "2", CMD_OK, "2.00", 2, 184, 4, 0x40000000},
      {"trms", "3", CMD_OK, "3.00", 2, 188, 4, 0x40400000},
      {"vhrms", "4", CMD_OK, "4.00", 2, 192, 4, 0x40800000},
      {"vvrms", "0", CMD_OUT_OF_RANGE, "1.50", 2, 196, 4, 0x3FC00000},
      {"vtrms", "8", CMD_OK, "8.00", 2, 200, 4, 0x41000000},
  };
  runRows(rows, std::size(rows));
  // The head keys are the same in both engines' records.
  for (unsigned off : {0u, 1u, 4u, 8u, 48u, 88u, 97u, 102u, 112u, 120u, 128u, 136u, 137u})
    EXPECT_EQ(storedAt(2, off, 1), storedAt(3, off, 1)) << off;
}

TEST_F(PosSetupKeys, CorrectionStageKeys) {
  const Row rows[] = {
      {"iono/model", "nequick", CMD_OK, "nequick", 1, 132, 4, 1},
      {"iono/model", "glo", CMD_OK, "glo", 1, 132, 4, 2},
      {"iono/model", "bdgim", CMD_OK, "bdgim", 1, 132, 4, 3},
      {"iono/model", "iri", CMD_WRONG_2ND, "bdgim", 1, 132, 4, 3},
      {"iono/klob", "bei", CMD_OK, "comp", 1, 144, 4, 2},
      {"iono/klob", "irnss", CMD_OK, "irnss", 1, 144, 4, 3},
      {"iono/klob", "off", CMD_OK, "off", 1, 144, 4, 255},
      {"iono/klob", "4", CMD_WRONG_2ND, "off", 1, 144, 4, 255},
      {"iono/nequick", "on", CMD_OK, "on", 1, 244, 1, 1},
      {"iono/glo", "on", CMD_OK, "on", 1, 276, 1, 1},
      {"iono/glosrc", "nequick", CMD_OK, "nequick", 1, 280, 4, 1},
      {"iono/user", "on", CMD_OK, "on", 1, 140, 1, 1},
      {"iono/wd", "on", CMD_OK, "on", 1, 16, 4, 1},
      {"tec/calib", "on", CMD_OK, "on", 0, 2366, 1, 1},
      {"tec/calib", "always", CMD_WRONG_2ND, "on", 0, 2366, 1, 1},
      {"smooth/comb", "on", CMD_OK, "on", 0, 2346, 1, 1},
      {"smooth/comb", "both", CMD_WRONG_2ND, "on", 0, 2346, 1, 1},
      {"smooth/comb", "off", CMD_OK, "off", 0, 2346, 1, 0},
      {"tropo/map/user", "on", CMD_OK, "on", 1, 305, 1, 1},
      {"tropo/map/type", "niell", CMD_OK, "niell", 1, 312, 4, 2},
      {"tropo/map/type", "goadgood", CMD_OK, "goadgood", 1, 312, 4, 3},
      {"tropo/map/type", "none", CMD_WRONG_2ND, "goadgood", 1, 312, 4, 3},
      {"tropo/map/type", "chao", CMD_OK, "chao", 1, 312, 4, 1},
      {"wd/sel", "qzss", CMD_OK, "qzss", 1, 136, 4, 1},
      {"wd/sel", "dfmc", CMD_OK, "dfmc", 1, 136, 4, 2},
      {"wd/sel", "bei", CMD_OK, "comp", 1, 136, 4, 4},
      {"wd/sel", "irnss", CMD_OK, "irnss", 1, 136, 4, 6},
      {"wd/sel", "ssr", CMD_OK, "ssr", 1, 136, 4, 7},
      {"wd/sel", "off", CMD_OK, "off", 1, 136, 4, 255},
      {"wd/sel", "3", CMD_WRONG_2ND, "off", 1, 136, 4, 255},
      {"wd/rule", "fixed", CMD_OK, "fixed", 1, 4, 4, 0},
      {"wd/rule", "blend", CMD_OK, "blend", 1, 4, 4, 3},
      {"wd/prn", "1", CMD_OK, "1", 1, 92, 1, 1},
      {"wd/prn", "255", CMD_OK, "255", 1, 92, 1, 255},
      {"wd/prn", "0", CMD_OUT_OF_RANGE, "255", 1, 92, 1, 255},
      {"wd/prn", "256", CMD_OUT_OF_RANGE, "255", 1, 92, 1, 255},
      {"wd/elm", "90", CMD_OK, "90", 1, 20, 2, 90},
      {"wd/elm", "91", CMD_OUT_OF_RANGE, "90", 1, 20, 2, 90},
      {"wd/smooth/range", "3600", CMD_OK, "3600", 1, 368, 2, 3600},
      {"wd/smooth/range", "3601", CMD_OUT_OF_RANGE, "3600", 1, 368, 2, 3600},
      {"wd/smooth/iono", "0", CMD_OK, "0", 1, 100, 2, 0},
      {"wd/sbas/mode", "pa", CMD_OK, "pa", 1, SBASData::kSetupSbasModeOffset, 4, 1},
      {"wd/sbas/mode", "route", CMD_OK, "route", 1, SBASData::kSetupSbasModeOffset, 4, 4},
      {"wd/sbas/mode", "5", CMD_WRONG_2ND, "route", 1, SBASData::kSetupSbasModeOffset, 4, 4},
      {"wd/timeout/data", "1", CMD_OK, "1", 1, 94, 2, 1},
      {"wd/timeout/data", "0", CMD_OUT_OF_RANGE, "1", 1, 94, 2, 1},
      {"wd/timeout/iono", "65535", CMD_OK, "65535", 1, 96, 2, -1},
      {"wd/timeout/iono", "65536", CMD_OUT_OF_RANGE, "65535", 1, 96, 2, -1},
      {"wd/mask/sbas", "0x1", CMD_OK, "0x1", 1, 32, 4, 1},
      {"wd/mask/sbas", "0x10000000", CMD_OUT_OF_RANGE, "0x1", 1, 32, 4, 1},  // 28 SBAS satellites
      {"wd/mask/prov", "0xFFFFFFFF", CMD_OK, "0xFFFFFFFF", 1, 24, 4, -1 & 0xFFFFFFFFLL},
      {"wd/mask/prov", "0x100000000", CMD_OUT_OF_RANGE, "0xFFFFFFFF", 1, 0, 0, 0},
      {"wd/mask/qzss", "0x40", CMD_OK, "0x40", 1, 40, 4, 0x40},
      {"wd/mask/comp", "0x7FFFFFFFFFFFFFFF", CMD_OK, "0x7FFFFFFFFFFFFFFF", 1, 0, 0, 0},
      {"wd/mask/irnss", "0x4000", CMD_OUT_OF_RANGE, "0x3FFF", 1, 80, 4, 0x3FFF},
      {"wd/dfmc/dnu", "on", CMD_OK, "on", 1, 370, 1, 1},
      {"cd/src", "slas", CMD_OK, "slas", 1, 8, 4, 1},
      {"cd/src", "off", CMD_OK, "off", 1, 8, 4, 255},
      {"cd/src", "rtcm3", CMD_WRONG_2ND, "off", 1, 8, 4, 255},
      {"cd/mode", "fixed", CMD_OK, "fixed", 1, 0, 4, 0},
      {"cd/mode", "first", CMD_OK, "first", 1, 0, 4, 3},
      {"cd/mode", "blend", CMD_OK, "blend", 1, 0, 4, 4},
      {"cd/id", "65534", CMD_OK, "65534", 1, 114, 2, -2},
      {"cd/id", "65535", CMD_OUT_OF_RANGE, "65534", 1, 114, 2, -2},
      {"cd/timeout/range", "1", CMD_OK, "1", 1, 110, 2, 1},
      {"cd/timeout/iono", "0", CMD_OUT_OF_RANGE, "300", 1, 112, 2, 300},
      {"cd/slas/src", "0x1", CMD_OK, "0x1", 1, 64, 4, 1},
      {"cd/slas/src", "0x80", CMD_OUT_OF_RANGE, "0x1", 1, 64, 4, 1},
      {"cd/slas/health", "on", CMD_OK, "on", 1, 60, 1, 1},
      {"cd/slas/stations", "0x80000001", CMD_OK, "0x80000001", 1, 56, 4, 0x80000001LL},
      {"cd/base/sys", "127", CMD_OK, "127", 1, 344, 1, 127},
      {"cd/base/sys", "128", CMD_OUT_OF_RANGE, "127", 1, 344, 1, 127},
      {"cd/base/sys", "1", CMD_OK, "1", 1, 344, 1, 1},
      {"cd/base/x", "-32768", CMD_OK, "-32768", 1, 346, 2, -32768},
      {"cd/base/x", "-32769", CMD_OUT_OF_RANGE, "-32768", 1, 346, 2, -32768},
      {"cd/base/y", "32767", CMD_OK, "32767", 1, 348, 2, 32767},
      {"cd/base/y", "32768", CMD_OUT_OF_RANGE, "32767", 1, 348, 2, 32767},
      {"cd/base/z", "1.5", CMD_WRONG_2ND, "0", 1, 350, 2, 0},
      {"cd/base/z", "-250", CMD_OK, "-250", 1, 350, 2, -250},
      {"cd/base/sys", "0", CMD_OK, "0", 1, 344, 1, 0},  // the byte after the systems is the offset's
      {"cd/base/x", "", CMD_2ND_MISSED, "-32768", 1, 346, 2, -32768},
  };
  runRows(rows, std::size(rows));
}

// The station mode of the code-differential stage and the SBAS operating mode are two settings:
// a set of either leaves the other as it was.
TEST_F(PosSetupKeys, StationModeAndSbasModeAreApart) {
  const struct {
    const char* key;
    const char* value;
    const char* cdMode;
    const char* sbasMode;
    int sbasModeRead;
  } rows[] = {
      {"cd/mode", "fixed", "fixed", "user", 0},   {"wd/sbas/mode", "pa", "fixed", "pa", 1},
      {"cd/mode", "blend", "blend", "pa", 1},     {"wd/sbas/mode", "route", "blend", "route", 4},
      {"cd/mode", "best", "best", "route", 4},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.key) + " <- " + r.value);
    ASSERT_EQ(set(std::string("pos/") + r.key, r.value), CMD_OK);
    EXPECT_EQ(print("pos/cd/mode"), r.cdMode);
    EXPECT_EQ(print("pos/wd/sbas/mode"), r.sbasMode);
    PosSetup::CorrProcessorSetupType s{};
    ASSERT_NE(D.corrProcessorSetup.Take(&s), 0);
    EXPECT_EQ(SBASData::get_SbasMode(s), r.sbasModeRead);
  }
}

// No two keys of a record share a byte (the systems of one bit word apart): a set of one never
// changes another. The fields other settings keep in the correction setup are counted too.
TEST_F(PosSetupKeys, NoTwoKeysShareAByte) {
  using SetupKeys::Kind;
  using SetupKeys::Rec;
  const auto width = [](Kind k) -> unsigned {
    switch (k) {
      case Kind::kBool8: case Kind::kEnum8: case Kind::kU8: case Kind::kNavType: return 1;
      case Kind::kEnum16: case Kind::kU16: case Kind::kI16: return 2;
      case Kind::kBool32: case Kind::kEnum32: case Kind::kF32: case Kind::kHex32: case Kind::kSysBit: return 4;
      case Kind::kF64: case Kind::kHex64: return 8;
      case Kind::kDatum: return sizeof(PosSetup::DatumBlockType);
    }
    return 0;
  };
  struct Span {
    std::string name;
    int rec;  // 0 satellite, 1 correction, 2 LMS (the head lies in both engines)
    unsigned from, to;
  };
  std::vector<Span> spans = {{"corr: the GBAS settings (gbas/ keys)", 1, 352, 360}};
  for (const SetupKeys::Table* t : {&posSetupKeyTable, &corrSetupKeys()})
    for (std::size_t i = 0; i < t->count; ++i) {
      const SetupKeys::Row& r = t->rows[i];
      const int rec = r.rec == Rec::kSat ? 0 : r.rec == Rec::kCorr ? 1 : 2;
      const int systems = r.perSystem && r.kind != Kind::kSysBit ? 7 : 1;
      for (int k = 0; k < systems; ++k) {
        const unsigned from = r.off + static_cast<unsigned>(k) * r.stride;
        spans.push_back({r.name, rec, from, from + width(r.kind)});
      }
    }
  for (std::size_t i = 0; i < spans.size(); ++i)
    for (std::size_t j = i + 1; j < spans.size(); ++j) {
      const Span &a = spans[i], &b = spans[j];
      EXPECT_FALSE(a.rec == b.rec && a.from < b.to && b.from < a.to)
          << a.name << " [" << a.from << "," << a.to << ") and " << b.name << " [" << b.from << "," << b.to << ")";
    }
}

// The SBAS operating mode and the base offset of the code corrections are apart.
TEST_F(PosSetupKeys, SbasModeLeavesTheBaseOffsetAlone) {
  ASSERT_EQ(set("pos/cd/base/sys", "33"), CMD_OK);
  ASSERT_EQ(set("pos/cd/base/x", "-1200"), CMD_OK);
  ASSERT_EQ(set("pos/wd/sbas/mode", "route"), CMD_OK);
  EXPECT_EQ(print("pos/cd/base"), "{sys=33,x=-1200,y=0,z=0}");
  ASSERT_EQ(set("pos/cd/base/y", "-1"), CMD_OK);
  EXPECT_EQ(print("pos/wd/sbas/mode"), "route");
}

TEST_F(PosSetupKeys, LevelsPrintNestedAndAKeyOfItsOwnBesideItsLongerNames) {
  EXPECT_EQ(print("pos/alm"), "{maxage={gps=30,glo=30,gal=30,sbas=30,qzss=30,comp=30,irnss=30},"
                              "wait={gps=0xFFFFFFFF,glo=0x3FFFFFFF,gal=0xFFFFFFFFF,sbas=0xFFFFFFF,qzss=0x7F,"
                              "comp=0x7FFFFFFFFFFFFFFF,irnss=0x3FFF}}");
  EXPECT_EQ(print("pos/sys"), "{gps=on,glo=on,gal=on,sbas=off,qzss=off,comp=on,irnss=off}");
  EXPECT_EQ(print("pos/navdata"), "{gps=any,glo=any,gal=any,sbas=any,qzss=any,comp=any,irnss=any,source=sat}");
  EXPECT_EQ(print("pos/almdata"), "off");
  EXPECT_EQ(print("pos/bei"), "{cnav3={dec=I}}");
  EXPECT_EQ(print("pos/cd/slas"), "{src=0x7F,health=off,stations=0xFFFFFFFF}");
  EXPECT_EQ(print("pos/wd/mask"), "{sbas=0xFFFFFFF,prov=0xFFFF,qzss=0x7F,comp=0x1F,irnss=0x3FFF}");
  EXPECT_EQ(print("pos/datum"), "W84");  // the output datum's key
  EXPECT_EQ(print("pos/nothing"), "ER3");
  EXPECT_EQ(print("pos/alm/maxage/beidou"), "ER3");
  const std::string all = print("pos");
  for (const char* part : {"almdata=off,almdata/source=sat", "datum/gps=W84,datum/glo=P90",
                           "sys={gps=on,", "hold={alt=on,clkdft=on,priority=clkdft,maxnum=1}",
                           "iono={model=klob,klob=gps,", "tec={calib=off}", "cd={obs=off,smooth=0,src=rtcm,mode=near,"})
    EXPECT_NE(all.find(part), std::string::npos) << part << " in " << all;
  EXPECT_EQ(all.find("datum=W84"), all.rfind("datum=W84")) << "the output datum listed once";
  EXPECT_EQ(all.find("cd={"), all.rfind("cd={")) << "one cd/ level";
  EXPECT_EQ(print("pos/cd"), "{obs=off,smooth=0,src=rtcm,mode=near,id=0,timeout={range=30,iono=300},"
                             "slas={src=0x7F,health=off,stations=0xFFFFFFFF},base={sys=0,x=0,y=0,z=0}}");
}

TEST_F(PosSetupKeys, KeysSurviveAReloadAndTheResetBringsTheFactoryValuesBack) {
  const struct {
    const char* key;
    const char* value;
  } sets[] = {{"elm", "15"},         {"sys/sbas", "on"},     {"datum/gal", "EUR_F"}, {"alm/maxage/glo", "7"},
              {"hold/alt", "off"},   {"pdop", "6"},         {"iono/model", "nequick"}, {"wd/sel", "dfmc"},
              {"cd/src", "slas"},    {"cd/mode", "first"},     {"tec/calib", "on"},    {"navdata/source", "ext"}};
  for (const auto& s : sets) ASSERT_EQ(set(std::string("pos/") + s.key, s.value), CMD_OK) << s.key;
  std::string printed[std::size(sets)];
  for (std::size_t i = 0; i < std::size(sets); ++i) printed[i] = print(std::string("pos/") + sets[i].key);
  ASSERT_TRUE(FileNvmSave(0, true));
  startUp(true);
  for (std::size_t i = 0; i < std::size(sets); ++i) EXPECT_EQ(print(std::string("pos/") + sets[i].key), printed[i]);
  D.init_SetupData();
  for (const Default& d : kDefaults) EXPECT_EQ(print(std::string("pos/") + d.key), d.printed) << d.key;
}

// Every key takes random and cut values without harm: a value refused leaves every key of the
// setups printing as before, one taken prints afterwards as the key prints it.
std::vector<std::string> allKeys() {
  std::vector<std::string> keys;
  for (const SetupKeys::Table* t : {&posSetupKeyTable, &corrSetupKeys()}) {
    for (std::size_t i = 0; i < t->count; ++i) {
      const SetupKeys::Row& r = t->rows[i];
      if (!r.perSystem) {
        keys.emplace_back(r.name);
        continue;
      }
      for (const char* sys : SetupKeys::kSystemNames) keys.push_back(std::string(r.name) + "/" + sys);
    }
  }
  return keys;
}

TEST_F(PosSetupKeys, RandomAndCutValuesChangeNothingWhenRefused) {
  const std::vector<std::string> keys = allKeys();
  ASSERT_GT(keys.size(), 100u);
  std::mt19937 rng(20261207);
  const char* const kSeeds[] = {"on", "0x7F", "12.5", "-90", "any", "none", "BELL", "W84", "P90-R", "auto", "65535",
                                "1e308", "nan", "0x", "{1,2}", "\"\"", "comp", "glo", "blend", "246"};
  const auto snapshot = [&] {
    std::string all;
    for (const std::string& k : keys) all += print("pos/" + k) + ";";
    return all;
  };
  for (int n = 0; n < 1000; ++n) {
    const std::string& key = keys[rng() % keys.size()];
    std::string value = kSeeds[rng() % std::size(kSeeds)];
    switch (rng() % 3) {
      case 0: value = value.substr(0, rng() % (value.size() + 1)); break;  // cut
      case 1:
        for (int k = rng() % 6; k > 0; --k) value += static_cast<char>(' ' + rng() % 95);
        break;
      default: break;
    }
    if (value.find_first_of(",;#@%") != std::string::npos) continue;  // the command line's own marks
    const std::string before = snapshot();
    const int rc = set("pos/" + key, value);
    const std::string after = snapshot();
    SCOPED_TRACE(key + " <- " + value);
    if (rc != CMD_OK) {
      EXPECT_EQ(after, before);
    } else {
      // Taken: the key prints something, and printing it again as a value is taken too.
      const std::string printed = print("pos/" + key);
      EXPECT_NE(printed.substr(0, 2), "ER");
      if (!printed.empty()) {
        EXPECT_EQ(set("pos/" + key, printed), CMD_OK) << printed;
        EXPECT_EQ(print("pos/" + key), printed);
      }
    }
  }
}

}  // namespace
