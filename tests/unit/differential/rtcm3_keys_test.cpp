// The RTCM 3 keys: every base/ and rover/ key set and printed, each refusal, what a refused set
// leaves (coder, decoders, records, settings image), what a restart keeps, and the prints of
// what the decoders received (last MSM, coordinate transformation).
#include "differential/rtcm3/rtcm3_keys.h"

#include <bit>
#include <cstring>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/zr_list.h"
#include "differential/cmr/cmr_coder.h"
#include "differential/coding_driver.h"
#include "differential/rtcm2/rtcm2_coder.h"
#include "differential/rtcm3/rtcm3_coder.h"
#include "differential/rtcm3_decoder.h"
#include "differential/rtcm3_observations.h"
#include "differential/rtcm3_transform.h"
#include "platform/file_nvm.h"
#include "platform/ram_nvm.h"
#include "positioning/signal_tables.h"
#include "rtcm3_test_util.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "settings/rtcm_settings.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/param_calls.h"

namespace {

using rtcm3test::Bytes;
using rtcm3test::Field;

const std::string k127(127, 'x');
const std::string k128(128, 'x');

class Rtcm3Keys : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    // What src/main wires at start: the coders' settings travel with the stored record, the
    // decoders' stored settings go live after a load.
    static const bool wired = [] {
      rtcmSettingsSetGatherHook(diffRtcmSettingsGather);
      rtcmSettingsSetApplyHook(diffRtcmSettingsApply);
      nvAfterLoadHooks.add(rtcm3SettingsLoaded);
      return registerRtcm3Area();
    }();
    ASSERT_TRUE(wired);
    clearLastMsmInfo();  // no MSM received yet
    load();
  }
  static void load() {
    FileNvmLoad();
    serdefs_NvAlloc();
    nv_readSettings();
  }
  // The stored image to file, everything live scribbled over, then loaded again.
  static void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    std::memset(&RtcmSet, 0x5A, sizeof RtcmSet);
    RcvSet.msmCompat = 0;
    RcvSet.rtcm3MaxSats = 0;
    RTC3_COD_SETTINGS junk;
    std::memset(&junk, 0x5A, sizeof junk);
    Rtcm3Cod.setSettings(junk);
    RTC3_Decoder::setSettings(RTC3_DEC_SETTINGS{12345, 7, 9, 0, 0});
    DebugPhaseOffsetSys = 3;
    DebugPhaseOffset = 0.5f;
    RTC3_Decoder::compatibleVendor = 2;
    load();
  }
  static int set(const std::string& path, const std::string& value) { return partest::set("rtcm3/" + path, value); }
  static std::string print(const std::string& path) { return partest::print(partest::under("rtcm3", path)); }
};

// Everything a set may touch: the settings image, the coder, the decoders, the records and the
// globals the decoders read.
struct Snapshot {
  std::vector<std::uint8_t> image = std::vector<std::uint8_t>(RamNvm::kSize);
  RTC3_COD_SETTINGS cod = Rtcm3Cod.settings();
  RTC3_DEC_SETTINGS dec = RTC3_Decoder::getSettings();
  RTCM_SETTINGS rtcm = RtcmSet;
  RCV_SETTINGS rcv = RcvSet;
  int phaseSys = DebugPhaseOffsetSys, phaseSignal = DebugPhaseOffsetSignal, vendor = RTC3_Decoder::compatibleVendor;
  float phaseShift = DebugPhaseOffset;
  Snapshot() {
    RamNvmLock lock;
    std::memcpy(image.data(), RamNvm::image(), image.size());
  }
  // What differs from `o`, "" for nothing.
  std::string changedFrom(const Snapshot& o) const {
    std::string d;
    if (image != o.image) d += " image";
    if (std::memcmp(&cod, &o.cod, sizeof cod) != 0) d += " coder";
    if (std::memcmp(&dec, &o.dec, sizeof dec) != 0) d += " decoders";
    if (std::memcmp(&rtcm, &o.rtcm, sizeof rtcm) != 0) d += " RTCM record";
    if (std::memcmp(&rcv, &o.rcv, sizeof rcv) != 0) d += " receiver record";
    if (std::tie(phaseSys, phaseSignal, vendor, phaseShift) != std::tie(o.phaseSys, o.phaseSignal, o.vendor, o.phaseShift))
      d += " globals";
    return d;
  }
};

const char* kBaseDefaults =
    "{stid=-1,l2c=off,ver=exp,msm={ca=on,p1=on,p2=on,l2c=on,l5=on,l1c=on},text=,"
    "textparam={modem=off,moving=off,msgout=off,msgnum=off},svm=0,clk={steering=off}}";

// Each base key: the answer, its print afterwards (refusals print the default), that the coder
// and the stored record hold the same, and that a refusal changed nothing anywhere.
TEST_F(Rtcm3Keys, BaseKeysSetAndPrint) {
  struct Row {
    const char* key;
    std::string value;
    int rc;
    std::string printed;
  } rows[] = {
      {"stid", "1234", CMD_OK, "1234"},
      {"stid", "0", CMD_OK, "0"},
      {"stid", "4095", CMD_OK, "4095"},
      {"stid", "-1", CMD_OK, "-1"},
      {"stid", "4096", CMD_OUT_OF_RANGE, "-1"},
      {"stid", "-2", CMD_OUT_OF_RANGE, "-1"},
      {"stid", "12a", CMD_WRONG_2ND, "-1"},
      {"l2c", "on", CMD_OK, "on"},
      {"l2c", "maybe", CMD_WRONG_2ND, "off"},
      {"ver", "exp", CMD_OK, "exp"},
      {"ver", "v3.3", CMD_OK, "v3.3"},
      {"ver", "v3.4", CMD_WRONG_2ND, "exp"},
      {"msm/ca", "off", CMD_OK, "off"},
      {"msm/p1", "off", CMD_OK, "off"},
      {"msm/p2", "off", CMD_OK, "off"},
      {"msm/l2c", "off", CMD_OK, "off"},
      {"msm/l5", "off", CMD_OK, "off"},
      {"msm/l1c", "off", CMD_OK, "off"},
      {"msm/l1c", "2", CMD_WRONG_2ND, "on"},
      {"msm/e5", "off", CMD_WRONG_1ST, "ER3"},
      {"text", "hello base", CMD_OK, "hello base"},
      {"text", k127, CMD_OK, k127},
      {"text", k128, CMD_OUT_OF_RANGE, ""},
      {"textparam/modem", "on", CMD_OK, "on"},
      {"textparam/moving", "on", CMD_OK, "on"},
      {"textparam/msgout", "on", CMD_OK, "on"},
      {"textparam/msgnum", "on", CMD_OK, "on"},
      {"textparam/msgnum", "7", CMD_WRONG_2ND, "off"},
      {"textparam/weather", "on", CMD_WRONG_1ST, "ER3"},
      {"svm", "127", CMD_OK, "127"},
      {"svm", "0", CMD_OK, "0"},
      {"svm", "128", CMD_OUT_OF_RANGE, "0"},
      {"svm", "-1", CMD_OUT_OF_RANGE, "0"},
      {"clk/steering", "on", CMD_OK, "on"},
      {"clk/steering", "", CMD_2ND_MISSED, "off"},
      {"clk", "on", CMD_WRONG_1ST, "{steering=off}"},
      {"nokey", "1", CMD_WRONG_1ST, "ER3"},
  };
  for (const Row& r : rows) {
    nv_defaultSettings();
    const std::string key = std::string("base/") + r.key;
    const Snapshot before;
    EXPECT_EQ(set(key, r.value), r.rc) << key << "=" << r.value;
    if (r.rc != CMD_OK) {
      EXPECT_EQ(Snapshot().changedFrom(before), "") << key << "=" << r.value;
    }
    EXPECT_EQ(print(key), r.printed) << key << "=" << r.value;
    const RTC3_COD_SETTINGS live = Rtcm3Cod.settings();
    EXPECT_EQ(std::memcmp(&live, &RtcmSet.rtcm3Cod, sizeof live), 0) << key << ": stored record differs from the coder";
  }
  nv_defaultSettings();
  ASSERT_EQ(set("base/svm", "17"), CMD_OK);
  EXPECT_EQ(std::tuple(rtcm3GetMaxSats(), RcvSet.rtcm3MaxSats, RtcmSet.rtcm3MaxSats), std::tuple(17, 17, 17));
}

// The RTCM 3 station id is the id of every output format.
TEST_F(Rtcm3Keys, StationIdReachesEveryCoder) {
  ASSERT_EQ(set("base/stid", "1234"), CMD_OK);
  EXPECT_EQ(std::tuple(RtcmSet.refId, RtcmCod.settings().stationId, CmrCod.settings().stationId,
                       Rtcm3Cod.settings().stationId),
            std::tuple(1234, 1234, 1234, 1234));
  // Another key keeps the id the formats share.
  ASSERT_EQ(set("base/l2c", "on"), CMD_OK);
  EXPECT_EQ(std::tuple(RtcmSet.refId, RtcmCod.settings().stationId), std::tuple(1234, 1234));
}

const char* kRoverDefaults =
    "{globias=on,msm={compat=def,curcompat=def,phase={sys=-1,signal=0,shift=0.00}},out={port=/dev/null,"
    "period=0.000,wrap=82}}";

// Received data prints when named; a listing shows the settings only.
TEST_F(Rtcm3Keys, ReceivedDataPrintsWhenNamed) {
  clearLastMsmInfo();  // no MSM received yet, whatever ran before
  const std::string none = "{msg=0,sat=0x0000000000000000,sgn=0x00000000}";
  EXPECT_EQ(print("rover/msm/info"), "{gps=" + none + ",glo=" + none + ",gal=" + none + ",sbas=" + none +
                                         ",qzss=" + none + ",comp=" + none + ",irnss=" + none + "}");
  EXPECT_EQ(print("rover/transform"),
            "{aux={},datum={src={},trg={},cond={},par={}},resid={cond={},GP={0={},1={},2={},3={},4={},5={},6={},"
            "7={},8={},9={},10={},11={},12={},13={},14={},15={}}},proj={}}");
  EXPECT_EQ(print("rover/transform/datum"), "{src={},trg={},cond={},par={}}");
  EXPECT_EQ(print("rover/msm").find("info"), std::string::npos);
}

TEST_F(Rtcm3Keys, DefaultsPrintWhole) {
  EXPECT_EQ(print("base"), kBaseDefaults);
  EXPECT_EQ(print("rover"), kRoverDefaults);
}

// The factory settings of the coder are the coder's construction values: station id -1, "exp",
// every MSM signal slot allowed.
TEST_F(Rtcm3Keys, FactorySettingsAreTheCodersConstructionValues) {
  RTCM_SETTINGS factory{};
  rtcmSetDefaults(factory);
  const RTC3_Coder built(nullptr);
  const RTC3_COD_SETTINGS& c = built.settings();
  const struct {
    const char* field;
    long factory, built;
  } rows[] = {
      {"station id", factory.rtcm3Cod.stationId, c.stationId},
      {"ver", static_cast<long>(factory.rtcm3Cod.ver), static_cast<long>(c.ver)},
      {"msm/ca", factory.rtcm3Cod.msm[0], c.msm[0]},
      {"msm/l1c", factory.rtcm3Cod.msm[5], c.msm[5]},
      {"text", factory.rtcm3Cod.text[0], c.text[0]},
  };
  for (const auto& r : rows) EXPECT_EQ(r.factory, r.built) << r.field;
  EXPECT_EQ(c.stationId, -1);
  EXPECT_EQ(c.ver, 1u);
  EXPECT_EQ(factory.refId, factory.rtcm3Cod.stationId) << "one station id for every format";
}

TEST_F(Rtcm3Keys, RoverKeysSetAndPrint) {
  struct Row {
    const char* key;
    const char* value;
    int rc;
    const char* printed;
    int decimationMs;  // the decoders' period afterwards
  } rows[] = {
      {"globias", "off", CMD_OK, "off", 0},
      {"globias", "perhaps", CMD_WRONG_2ND, "on", 0},
      {"msm/compat", "v37", CMD_OK, "v37", 0},
      {"msm/compat", "hard", CMD_OK, "hard", 0},
      {"msm/compat", "v3.7", CMD_WRONG_2ND, "def", 0},
      {"msm/curcompat", "v37", CMD_WRONG_1ST, "def", 0},
      {"msm/phase/sys", "0", CMD_OK, "0", 0},
      {"msm/phase/sys", "4", CMD_OK, "4", 0},
      {"msm/phase/sys", "5", CMD_OUT_OF_RANGE, "-1", 0},
      {"msm/phase/sys", "-1", CMD_OUT_OF_RANGE, "-1", 0},
      {"msm/phase/signal", "32", CMD_OK, "32", 0},
      {"msm/phase/signal", "33", CMD_OUT_OF_RANGE, "0", 0},
      {"msm/phase/shift", "0.75", CMD_OK, "0.75", 0},
      {"msm/phase/shift", "-0.75", CMD_OK, "-0.75", 0},
      {"msm/phase/shift", "0.123", CMD_OK, "0.12", 0},
      {"msm/phase/shift", "0.8", CMD_OUT_OF_RANGE, "0.00", 0},
      {"msm/phase/shift", "nan", CMD_WRONG_2ND, "0.00", 0},
      {"msm/phase/tilt", "1", CMD_WRONG_1ST, "ER3", 0},
      {"msm/info/reset", "yes", CMD_OK, "ER3", 0},
      {"msm/info/reset", "sure", CMD_WRONG_2ND, "ER3", 0},
      {"msm/info/gps", "1", CMD_WRONG_1ST, "{msg=0,sat=0x0000000000000000,sgn=0x00000000}", 0},
      {"out/port", "/dev/ser/b", CMD_OK, "/dev/ser/b", 0},
      {"out/port", "dev/usb/a", CMD_OK, "/dev/usb/a", 0},
      {"out/port", "/dev/null", CMD_OK, "/dev/null", 0},
      {"out/port", "/dev/ser", CMD_WRONG_2ND, "/dev/null", 0},
      {"out/port", "/dev/ser/q", CMD_WRONG_2ND, "/dev/null", 0},
      {"out/port", "", CMD_2ND_MISSED, "/dev/null", 0},
      {"out/period", "0.0126", CMD_OK, "0.015", 15},
      {"out/period", "0.0026", CMD_OK, "0.005", 5},
      {"out/period", "0.0024", CMD_OK, "0.000", 0},
      {"out/period", "0.123", CMD_OK, "0.125", 125},
      {"out/period", "1", CMD_OK, "1.000", 1000},
      {"out/period", "86400", CMD_OK, "86400.000", 86400000},
      {"out/period", "86400.01", CMD_OUT_OF_RANGE, "0.000", 0},
      {"out/period", "-0.001", CMD_OUT_OF_RANGE, "0.000", 0},
      {"out/period", "soon", CMD_WRONG_2ND, "0.000", 0},
      {"out/wrap", "-1", CMD_OK, "-1", 0},
      {"out/wrap", "255", CMD_OK, "255", 0},
      {"out/wrap", "256", CMD_OUT_OF_RANGE, "82", 0},
      {"out/wrap", "-2", CMD_OUT_OF_RANGE, "82", 0},
      {"transform/aux", "1", CMD_WRONG_1ST, "{}", 0},
      {"nokey", "1", CMD_WRONG_1ST, "ER3", 0},
  };
  for (const Row& r : rows) {
    nv_defaultSettings();
    const std::string key = std::string("rover/") + r.key;
    const Snapshot before;
    EXPECT_EQ(set(key, r.value), r.rc) << key << "=" << r.value;
    if (r.rc != CMD_OK) {
      EXPECT_EQ(Snapshot().changedFrom(before), "") << key << "=" << r.value;
    }
    EXPECT_EQ(print(key), r.printed) << key << "=" << r.value;
    const RTC3_DEC_SETTINGS live = RTC3_Decoder::getSettings();
    EXPECT_EQ(live.decimation, r.decimationMs) << key << "=" << r.value;
    EXPECT_EQ(std::tuple(live.decimation, live.outPort, live.wrapStream, live.gloBias),
              std::tuple(RtcmSet.rtcm3Dec.decimation, RtcmSet.rtcm3Dec.outPort, RtcmSet.rtcm3Dec.wrapStream,
                         RtcmSet.rtcm3Dec.gloBias))
        << key << ": stored record differs from the decoders";
  }
}

// msm/compat: every mode but "auto" becomes the decoders' current one; "auto" leaves it to the
// next receiver description; only "hard" lets BeiDou cells be skipped.
TEST_F(Rtcm3Keys, CompatSetsTheCurrentModeExceptAuto) {
  struct Row {
    const char* value;
    const char* compat;
    const char* curcompat;
    int stored;
  } rows[] = {
      {"v37", "v37", "v37", 0},       {"v400", "v400", "v400", 1}, {"vorla", "vorla", "vorla", 2},
      {"other", "other", "other", 3}, {"def", "def", "def", 4},    {"hard", "hard", "hard", 5},
      {"auto", "auto", "hard", 6},    {"v400", "v400", "v400", 1}, {"auto", "auto", "v400", 6},
  };
  for (const Row& r : rows) {
    ASSERT_EQ(set("rover/msm/compat", r.value), CMD_OK) << r.value;
    EXPECT_EQ(print("rover/msm/compat"), r.compat) << r.value;
    EXPECT_EQ(print("rover/msm/curcompat"), r.curcompat) << r.value;
    EXPECT_EQ(RcvSet.msmCompat, r.stored) << r.value;
  }
}

// The diagnostic offset reaches the MSM signal mapping: added for its system and signal only.
TEST_F(Rtcm3Keys, PhaseShiftReachesTheSignalMapping) {
  float base = 0, shifted = 0, other = 0;
  ASSERT_GE(getMsmSlotIdx(2, 0, true, base), 0);
  ASSERT_EQ(set("rover/msm/phase/sys", "0"), CMD_OK);
  ASSERT_EQ(set("rover/msm/phase/signal", "2"), CMD_OK);
  ASSERT_EQ(set("rover/msm/phase/shift", "0.5"), CMD_OK);
  getMsmSlotIdx(2, 0, true, shifted);
  getMsmSlotIdx(2, 1, true, other);
  float otherBase = 0;
  ASSERT_EQ(set("rover/msm/phase/shift", "0"), CMD_OK);
  getMsmSlotIdx(2, 1, true, otherBase);
  // GPS L1 C/A: half a cycle is half of 299792458 / 1575.42e6 m.
  EXPECT_NEAR(shifted - base, 0.5 * 299792458.0 / 1575.42e6, 1e-6);
  EXPECT_EQ(other, otherBase);
}

// Every key set away from its default is what a restart brings back, and it is live again.
TEST_F(Rtcm3Keys, SettingsSurviveRestart) {
  const char* sets[][2] = {
      {"base/stid", "1234"},           {"base/l2c", "on"},           {"base/ver", "v3.3"},
      {"base/msm/ca", "off"},          {"base/msm/p1", "off"},       {"base/msm/p2", "off"},
      {"base/msm/l2c", "off"},         {"base/msm/l5", "off"},       {"base/msm/l1c", "off"},
      {"base/text", "\"a text, with a comma\""},                     {"base/textparam/modem", "on"},
      {"base/textparam/moving", "on"}, {"base/textparam/msgout", "on"}, {"base/textparam/msgnum", "on"},
      {"base/svm", "31"},              {"base/clk/steering", "on"},  {"rover/globias", "off"},
      {"rover/msm/compat", "vorla"},   {"rover/msm/phase/sys", "3"}, {"rover/msm/phase/signal", "9"},
      {"rover/msm/phase/shift", "-0.3"}, {"rover/out/port", "/dev/ser/c"}, {"rover/out/period", "0.0126"},
      {"rover/out/wrap", "-1"},
  };
  for (const auto& s : sets) ASSERT_EQ(set(s[0], s[1]), CMD_OK) << s[0];
  const std::string base = print("base"), rover = print("rover");
  EXPECT_EQ(base,
            "{stid=1234,l2c=on,ver=v3.3,msm={ca=off,p1=off,p2=off,l2c=off,l5=off,l1c=off},text=a text, with a comma,"
            "textparam={modem=on,moving=on,msgout=on,msgnum=on},svm=31,clk={steering=on}}");
  EXPECT_NE(rover.find("msm={compat=vorla,curcompat=vorla,phase={sys=3,signal=9,shift=-0.30}"), std::string::npos)
      << rover;
  EXPECT_NE(rover.find("out={port=/dev/ser/c,period=0.015,wrap=-1}"), std::string::npos) << rover;
  const RTC3_COD_SETTINGS cod = Rtcm3Cod.settings();
  restart();
  EXPECT_EQ(print("base"), base);
  EXPECT_EQ(print("rover"), rover);
  const RTC3_COD_SETTINGS cod2 = Rtcm3Cod.settings();
  EXPECT_EQ(std::memcmp(&cod, &cod2, sizeof cod), 0);
  const RTC3_DEC_SETTINGS dec = RTC3_Decoder::getSettings();
  EXPECT_EQ(std::tuple(dec.decimation, dec.outPort, dec.wrapStream, dec.gloBias), std::tuple(15, 7, -1, 0));
  EXPECT_EQ(std::tuple(DebugPhaseOffsetSys, DebugPhaseOffsetSignal, RTC3_Decoder::compatibleVendor),
            std::tuple(3, 9, 2));
  EXPECT_FLOAT_EQ(DebugPhaseOffset, -0.3f);
}

// Stored values no set could give (an image from elsewhere) come back as values a set can give;
// a record written before the diagnostic offset was stored reads as none.
TEST_F(Rtcm3Keys, ImpossibleStoredValuesAreBounded) {
  struct Row {
    const char* what;
    RTC3_DEC_SETTINGS stored;
    std::int16_t phaseSet, phaseSys, phaseSignal;
    float shift;
    const char* out;
    const char* phase;
  } rows[] = {
      {"all possible", {1000, 6, 5, 1, 0}, 1, 2, 3, 0.25f, "{port=/dev/ser/b,period=1.000,wrap=5}",
       "{sys=2,signal=3,shift=0.25}"},
      {"older record", {0, 43, 82, 1, 0}, 0, 0, 0, 0.0f, "{port=/dev/null,period=0.000,wrap=82}",
       "{sys=-1,signal=0,shift=0.00}"},
      {"port past the table", {0, 99, 82, 1, 0}, 0, 0, 0, 0.0f, "{port=/dev/null,period=0.000,wrap=82}",
       "{sys=-1,signal=0,shift=0.00}"},
      {"negative port", {0, -4, 82, 1, 0}, 0, 0, 0, 0.0f, "{port=/dev/null,period=0.000,wrap=82}",
       "{sys=-1,signal=0,shift=0.00}"},
      {"period negative", {-5, 43, 82, 1, 0}, 0, 0, 0, 0.0f, "{port=/dev/null,period=0.000,wrap=82}",
       "{sys=-1,signal=0,shift=0.00}"},
      {"period off the 5 ms steps", {1003, 43, 82, 1, 0}, 0, 0, 0, 0.0f, "{port=/dev/null,period=1.000,wrap=82}",
       "{sys=-1,signal=0,shift=0.00}"},
      {"wrap too large", {0, 43, 999, 1, 0}, 0, 0, 0, 0.0f, "{port=/dev/null,period=0.000,wrap=82}",
       "{sys=-1,signal=0,shift=0.00}"},
      {"phase system out of range", {0, 43, 82, 1, 0}, 1, 9, 3, 0.25f, "{port=/dev/null,period=0.000,wrap=82}",
       "{sys=-1,signal=0,shift=0.00}"},
      {"phase shift out of range", {0, 43, 82, 1, 0}, 1, 2, 3, 3.0f, "{port=/dev/null,period=0.000,wrap=82}",
       "{sys=-1,signal=0,shift=0.00}"},
  };
  for (const Row& r : rows) {
    RtcmSet.rtcm3Dec = r.stored;
    RtcmSet.phaseDiagSet = r.phaseSet;
    RtcmSet.phaseDiagSys = r.phaseSys;
    RtcmSet.phaseDiagSignal = r.phaseSignal;
    RtcmSet.phaseDiagShift = r.shift;
    rtcm3SettingsLoaded();
    EXPECT_EQ(print("rover/out"), r.out) << r.what;
    EXPECT_EQ(print("rover/msm/phase"), r.phase) << r.what;
  }
}

// The last MSM of each system, read here from the frames' own headers, and its reset.
TEST_F(Rtcm3Keys, MsmInfoShowsTheLastMsmOfEachSystem) {
  const Bytes d = rtcm3test::readFile(rtcm3test::recording("msm3.rtcm3"));
  rtcm3test::RecordingClient client;
  Rtcm3Dec[1].initDecoder(&client);
  NAV_Decoder drv(&Rtcm3Dec[1]);
  drv.putData(d.data(), static_cast<int>(d.size()), static_cast<InPorts::DecPortIndex>(1));
  const char* names[] = {"gps", "glo", "gal", "sbas", "qzss", "comp", "irnss"};
  // The MSM number's first digits name the system: 107x GPS, 108x GLONASS, 109x Galileo, 110x
  // SBAS, 111x QZSS, 112x BeiDou, 113x NavIC.
  const int systemOf[] = {0, 1, 2, 3, 4, 5, 6};
  std::string expect[7];
  for (auto& e : expect) e = "{msg=0,sat=0x0000000000000000,sgn=0x00000000}";
  auto bits = [&](std::size_t at, int from, int n) {
    std::uint64_t v = 0;
    for (int b = from; b < from + n; ++b) v = v << 1 | ((d[at + 3 + b / 8] >> (7 - b % 8)) & 1u);
    return v;
  };
  int seen = 0;
  for (std::size_t i = 0; i + 6 < d.size();) {
    if (d[i] != 0xD3) {
      ++i;
      continue;
    }
    const int msg = static_cast<int>(bits(i, 0, 12));
    if (msg >= 1071 && msg <= 1137) {
      char text[64];
      std::snprintf(text, sizeof text, "{msg=%d,sat=0x%.16llX,sgn=0x%.8llX}", msg % 10,
                    static_cast<unsigned long long>(bits(i, 73, 64)), static_cast<unsigned long long>(bits(i, 137, 32)));
      expect[systemOf[(msg - 1071) / 10]] = text;
      ++seen;
    }
    i += ((d[i + 1] & 3u) << 8 | d[i + 2]) + 6;
  }
  ASSERT_GT(seen, 0);
  for (int s = 0; s < 7; ++s) EXPECT_EQ(print(std::string("rover/msm/info/") + names[s]), expect[s]) << names[s];
  ASSERT_EQ(set("rover/msm/info/reset", "no"), CMD_OK);
  EXPECT_EQ(print("rover/msm/info/gps") + print("rover/msm/info/glo"), expect[0] + expect[1]);
  ASSERT_EQ(set("rover/msm/info/reset", "yes"), CMD_OK);
  for (int s = 0; s < 7; ++s)
    EXPECT_EQ(print(std::string("rover/msm/info/") + names[s]), "{msg=0,sat=0x0000000000000000,sgn=0x00000000}") << names[s];
}

// ---- the received coordinate transformation

std::uint64_t q(double v, double res) { return static_cast<std::uint64_t>(std::llround(v / res)); }

// 1021 / 1022 with the fields of RTCM 10403.3 in their order.
Bytes params(int msg, int sysId, unsigned indicator) {
  std::vector<Field> f{{static_cast<std::uint64_t>(msg), 12}, {6, 5}};
  for (char c : std::string("ETRS89")) f.emplace_back(static_cast<std::uint64_t>(c), 8);
  f.emplace_back(3, 5);
  for (char c : std::string("MGI")) f.emplace_back(static_cast<std::uint64_t>(c), 8);
  f.insert(f.end(), {{static_cast<std::uint64_t>(sysId), 8}, {indicator, 10}, {11, 5}, {2, 4}, {1, 2},
                     {q(172800, 2), 19}, {q(-57600, 2), 20}, {q(14400, 2), 14}, {q(21600, 2), 14},
                     {q(-577.326, 0.001), 23}, {q(-90.129, 0.001), 23}, {q(-463.919, 0.001), 23},
                     {q(5.137, 0.00002), 32}, {q(1.474, 0.00002), 32}, {q(-5.297, 0.00002), 32},
                     {q(-2.4232, 0.00001), 25}});
  if (msg == 1022) f.insert(f.end(), {{q(4000000.125, 0.001), 35}, {q(-1200000.5, 0.001), 35}, {q(4700000.0, 0.001), 35}});
  f.insert(f.end(), {{q(8137.0, 0.001), 24}, {q(6752.314, 0.001), 25}, {q(7397.155, 0.001), 24},
                     {q(6078.963, 0.001), 25}, {1, 3}, {2, 3}});
  return rtcm3test::payload(f);
}
// 1023 (ellipsoidal) or 1024 (plane) with a residual per point of (point, -point, 2 x point) units.
Bytes grid(int msg, int sysId) {
  const bool plane = msg == 1024;
  std::vector<Field> f{{static_cast<std::uint64_t>(msg), 12}, {static_cast<std::uint64_t>(sysId), 8}, {1, 1}, {0, 1},
                       {static_cast<std::uint64_t>(plane ? 500000 : 345600), plane ? 25 : 21},
                       {static_cast<std::uint64_t>(plane ? 60000 : 115200), plane ? 26 : 22},
                       {plane ? 100u : 1200u, 12},
                       {plane ? 200u : 1800u, 12},
                       {static_cast<std::uint64_t>(plane ? 12 : 7), plane ? 10 : 8},
                       {static_cast<std::uint64_t>(plane ? -3 : -5) & (plane ? 0x3FFu : 0xFFu), plane ? 10 : 8},
                       {static_cast<std::uint64_t>(-250) & 0x7FFFu, 15}};
  for (int i = 0; i < 16; ++i)
    f.insert(f.end(), {{static_cast<std::uint64_t>(i), 9}, {static_cast<std::uint64_t>(-i) & 0x1FFu, 9},
                       {static_cast<std::uint64_t>(2 * i), 9}});
  f.insert(f.end(), {{2, 2}, {1, 2}, {5, 3}, {3, 3}, {60000, 16}});
  return rtcm3test::payload(f);
}
Bytes msg1025(int sysId) {
  // Transverse Mercator (type 1), origin 11 N 15.4 E, scale 0.9996, FE 500000, FN 0.
  return rtcm3test::payload({{1025, 12}, {static_cast<std::uint64_t>(sysId), 8}, {1, 6}, {q(11.0, 0.000000011), 34},
                             {q(15.4, 0.000000011), 35}, {660000000, 30}, {q(500000.0, 0.001), 36}, {0, 35}});
}
Bytes msg1026(int sysId) {
  return rtcm3test::payload({{1026, 12}, {static_cast<std::uint64_t>(sysId), 8}, {4, 6}, {q(44.0, 0.000000011), 34},
                             {q(3.3, 0.000000011), 35}, {q(55.0, 0.000000011), 34}, {q(44.0, 0.000000011), 34},
                             {q(700000.0, 0.001), 36}, {q(6600000.0, 0.001), 35}});
}
Bytes msg1027(int sysId) {
  return rtcm3test::payload({{1027, 12}, {static_cast<std::uint64_t>(sysId), 8}, {7, 6}, {1, 1},
                             {q(44.0, 0.000000011), 34}, {q(8.8, 0.000000011), 35}, {q(88.0, 0.000000011), 35},
                             {q(-0.011, 0.000000011) & 0x3FFFFFFu, 26}, {q(0.0, 1), 30}, {q(600000.0, 0.001), 36},
                             {q(200000.0, 0.001), 35}});
}

void feed(const Bytes& p) {
  BitReader br(p.data(), 8 * static_cast<int>(p.size()));
  br.reset(8 * static_cast<int>(p.size()), 12);
  ASSERT_TRUE(RTC3_CoordTransf::apply(p[0] << 4 | p[1] >> 4, br, 321));
}

struct TransformRow {
  const char* what;
  std::vector<Bytes> messages;
  std::vector<std::pair<const char*, std::string>> prints;  // key below rover/transform/, answer
};

TEST_F(Rtcm3Keys, TransformPrints) {
  // Indicator bits (most significant of ten first): 1023, 1024, 1025, 1026, 1027.
  const unsigned kPlaneAndOm = 1u << 8 | 1u << 5;
  const std::string kDatumSrc = "{\"ETRS89\",6378137.000,6356752.314}";
  const std::string kDatumTrg = "{\"MGI\",6377397.155,6356078.963}";
  const std::string kPar = "{-577.326,-90.129,-463.919,5.13700,1.47400,-5.29700,-2.42320";
  const TransformRow rows[] = {
      {"nothing received",
       {},
       {{"aux", "{}"}, {"datum/src", "{}"}, {"datum/trg", "{}"}, {"datum/cond", "{}"}, {"datum/par", "{}"},
        {"resid/cond", "{}"}, {"resid/GP/0", "{}"}, {"resid/GP/15", "{}"}, {"resid/GP/16", "ER3"}, {"proj", "{}"},
        {"datum/none", "ER3"}}},
      {"Helmert alone",
       {params(1021, 7, 0)},
       {{"aux", "{7,321}"},
        {"datum/src", kDatumSrc},
        {"datum/trg", kDatumTrg},
        {"datum/cond", "{7,0,11,2,1,172800,-57600,14400,21600}"},
        {"datum/par", kPar + ",,,}"},
        {"resid/cond", "{}"},
        {"resid/GP/3", "{}"},
        {"proj", "{}"}}},
      {"Molodenski-Badekas with a plane grid and an oblique Mercator",
       {params(1022, 9, kPlaneAndOm), grid(1024, 9), msg1027(9)},
       {{"aux", "{9,321}"},
        {"datum/cond", "{9,288,11,2,1,172800,-57600,14400,21600}"},
        {"datum/par", kPar + ",4000000.125,-1200000.500,4700000.000}"},
        {"resid/cond", "{PLANE,5000000.0,600000.0,1000.0,2000.0,0.120,-0.030,-2.50,9,1,0,2,1,5,3}"},
        {"resid/GP/0", "{0.00000,0.00000,0.000}"},
        {"resid/GP/15", "{0.01500,-0.01500,0.030}"},
        {"proj", "{OM,1,44.000000000,8.800000000,88.000000000,87.989000000,0.99300,600000.000,200000.000}"}}},
      {"ellipsoidal grid and a transverse Mercator",
       {params(1021, 4, 1u << 9 | 1u << 7), grid(1023, 4), msg1025(4)},
       {{"resid/cond", "{ELLIPS,172800.0,57600.0,600.0,900.0,0.007,-0.005,-2.50,4,1,0,2,1,5,3}"},
        {"resid/GP/2", "{0.00006,-0.00006,0.004}"},
        {"proj", "{TM,11.000000000,15.400000000,0.99960,500000.000,0.000}"}}},
      {"two-parallel conic",
       {params(1021, 5, 1u << 6), msg1026(5)},
       {{"proj", "{LCC2SP,44.000000000,3.300000000,55.000000000,44.000000000,700000.000,6600000.000}"}}},
      {"a new set of another system forgets the last one's grid and projection",
       {params(1021, 4, 1u << 9 | 1u << 7), grid(1023, 4), msg1025(4), params(1021, 6, 0)},
       {{"aux", "{6,321}"}, {"resid/cond", "{}"}, {"proj", "{}"}}},
      {"a grid of another system is not the set's",
       {params(1021, 3, 1u << 9), grid(1023, 8)},
       {{"resid/cond", "{}"}, {"resid/GP/1", "{}"}}},
  };
  for (const TransformRow& r : rows) {
    RTC3_CoordTransf::clearGotTransData();
    for (const Bytes& m : r.messages) feed(m);
    for (const auto& [key, answer] : r.prints)
      EXPECT_EQ(print(std::string("rover/transform/") + key), answer) << r.what << ": " << key;
  }
  RTC3_CoordTransf::clearGotTransData();
  EXPECT_EQ(print("rover/transform/aux"), "{}");
}

// Random and cut command values never crash a key and leave a refused set without effect.
TEST_F(Rtcm3Keys, RandomValuesAreAnsweredAndBounded) {
  const char* keys[] = {"base/stid", "base/text", "base/ver", "base/svm", "base/textparam/msgout",
                        "rover/out/period", "rover/out/port", "rover/out/wrap", "rover/msm/phase/shift",
                        "rover/msm/compat"};
  std::mt19937 rng(62);
  for (int k = 0; k < 2000; ++k) {
    std::string v;
    const int n = static_cast<int>(rng() % 140);
    for (int i = 0; i < n; ++i) v.push_back(static_cast<char>(' ' + rng() % 95));
    const char* key = keys[rng() % std::size(keys)];
    const int rc = set(key, v);
    EXPECT_TRUE(rc >= CMD_OK && rc <= CMD_LAST) << key << "=" << v;
    EXPECT_NE(print(key).rfind("ER", 0), 0u) << key;
  }
  const RTC3_DEC_SETTINGS s = RTC3_Decoder::getSettings();
  EXPECT_TRUE(s.decimation >= 0 && s.decimation <= 86400000 && s.decimation % 5 == 0);
  EXPECT_TRUE(s.outPort >= 0 && s.outPort <= 43);
  EXPECT_TRUE(s.wrapStream >= -1 && s.wrapStream <= 255);
  EXPECT_TRUE(std::strlen(Rtcm3Cod.settings().text) <= 127);
}

}  // namespace
