// The RTK settings keys under /par/pos/pd/ (with hd/ and hist/) and the legacy /par/rtk branch:
// every key's edges, words and refusals, where each value lands (the stored receiver settings,
// the engine's live settings, the CMR settings, the correction setup, the statistics block, the
// debug globals), and what a restart keeps. The expected values are the key tables' ranges,
// formats and defaults, not the handlers'.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/settings_commands.h"
#include "command/zr_list.h"
#include "differential/cmr/cmr_decoder.h"
#include "differential/coding_driver.h"
#include "differential/placeholders.h"
#include "differential/rtk_base.h"
#include "differential/rtk/rtk_hd_hist_keys.h"
#include "differential/rtk/base_pro.h"
#include "differential/rtk/rtk_engine.h"
#include "differential/rtk/rtk_keys.h"
#include "differential/rtk/rtk_legacy_keys.h"
#include "differential/rtk/rtk_reset.h"
#include "differential/rtk/rtk_slots.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "positioning/corrections/troposphere_correction.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/reference/reference_pos.h"
#include "settings/nv_settings.h"
#include "settings/debug_selectors.h"
#include "settings/port_settings.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/param_calls.h"

namespace {

class RtkKeys : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    static const bool registered = registerRtkAreas();
    ASSERT_TRUE(registered);
    rcvSettingsHooks.cpdParams = cpdParamsLoad;
    static const bool loaded = nvAfterLoadHooks.add(rtkKeysSettingsLoaded);
    (void)loaded;
    navDatumDefaultsHook = navDatumDefaults;
    rtcmSettingsApplyHook = diffRtcmSettingsApply;
    load();
  }
  static void load() {
    FileNvmLoad();
    serdefs_NvAlloc();
    nv_readSettings();
    PVTDataInstance.allocate_NvRamData();
    PVTDataInstance.restore_NvRamData();
  }
  static void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    std::memset(&RcvSet, 0x5A, sizeof RcvSet);
    std::memset(&RtcmSet, 0x5A, sizeof RtcmSet);
    cpdParams = CpdParams();
    load();
  }

 public:
  // A set of a /par/ path, as the parser runs it: with `store`, what the command does after a
  // successful set.
  static int setPath(const std::string& path, const std::string& value, bool store = true) {
    const int rc = partest::set(path, value);
    if (rc == CMD_OK && store) cmdStoreSettings();
    return rc;
  }
  static int set(const std::string& key, const std::string& value) { return setPath("pos/pd/" + key, value); }
  // "key,value" pairs, each to be taken.
  static void setAll(std::initializer_list<const char*> kvs) {
    for (const char* kv : kvs) {
      const std::string s = kv;
      ASSERT_EQ(set(s.substr(0, s.find(',')), s.substr(s.find(',') + 1)), CMD_OK) << kv;
    }
  }
  static std::string print(const std::string& key) { return partest::print(partest::under("pos/pd", key)); }
};

const PosSetup::CorrProcessorSetupType& setup() { return *PVTDataInstance.corrProcessorSetup.GetPointer(); }
std::uint32_t tropoModel() {
  std::uint32_t m = 0;
  std::memcpy(&m, setup().aBytes + TropoCorr::kModelTypeOffset, sizeof m);
  return m;
}

// Everything a refused line must leave as it was, byte for byte.
struct Snapshot {
  std::string bytes;
  template <class T>
  void add(const T& v) {
    bytes.append(reinterpret_cast<const char*>(&v), sizeof v);
  }
  static Snapshot take() {
    Snapshot s;
    s.add(RcvSet);
    s.add(RtcmSet);
    s.add(NavSet);
    s.add(setup());
    s.add(cpdParams);
    s.add(Eng->resetReq);
    s.add(Eng->resetCode);
    s.add(rtcm_reset);
    s.add(rest_opt);
    return s;
  }
  bool operator==(const Snapshot& o) const { return bytes == o.bytes; }
};

// The key table: per key its lowest and highest value and one step outside each end.
// "v=p": v is taken and the key then prints p; "v!c": v is refused with code c.
const char* const kKeyRows[] = {
    "dblchk off=off on=on maybe!7",  "scale 0=0 2=2 3!5 -1!5",  "aflevel extralow=extralow low=low medium=medium high=high ultra!7",
    "mode delay=delay extrap=extrap", "se no=off n=off off=off yes=on y=on on=on YES=on 1!7 !6 onn!7",
    "crpc off=off", "smr on=on", "averr on=on", "usebasedop on=on", "qcheck off=off", "vrs on=on", "mac on=on",
    "gpsfirst on=on", "resmode off=off", "fkp on=on", "wl off=off", "l1only on=on", "diffext off=off",
    "fixins on=on", "period 0.005=0.005 100=100.000 0.0049!5 100.001!5 0.0126=0.013",
    "afperiod 0.05=0.050 5=5.000 0.049!5 5.001!5", "experiod 0=0.000 5=5.000 -0.001!5 5.001!5",
    "fixwait -1=-1 3600=3600 -2!5 3601!5", "timegap -1=-1 3600=3600 -2!5 3601!5",
    "check -1=-1 32767=32767 -2!5 32768!5", "env forest=forest open=open town!7",
    "catcher normal=normal critical=critical coarse=coarse coarsest=coarsest x!7", "delay last=last every=every", "resvrs act=act virt=virt",
    "rtkplus stop=stop start=start", "tgpsfirst 0=0 300=300 -0.1!5 300.1!5", "wlmult 0=0 2=2 3!5 -1!5",
    "ion off=off on=on", "ionr 0=0.0 999999.9=999999.9 -0.1!5 1000000!5", "ionf 0=0.0 999999.9=999999.9 -0.1!5",
    "iont 0=0.0 1800=1800.0 1800.1!5", "mem 0.5=0.50000 1.0=1.00000 0.49!5 1.01!5",
    "maxit 1=1 10=10 0!5 11!5", "maxitf 1=1 10=10 0!5 11!5", "minpot 1=1 60=60 0!5 61!5",
    "minpotp 1=1 60=60 0!5 61!5", "minsat 4=4 44=44 3!5 45!5", "maxsat 4=4 44=44 3!5 45!5",
    "rmsc 0.001=0.00100 100=100.00000 0.0009!5 100.01!5", "rmsp 0.001=0.00100 1=1.00000 0.0009!5 1.01!5",
    "tolthr 0.01=0.010 3=3.000 0.009!5 3.01!5", "range 0=0.0 10000000=10000000.0 -1!5 10000001!5",
    "mbtimeout 1=1 6=6 0!5 7!5", "ref/keep on=on", "dyn 0=0.0000 1=1.0000 -0.1!5 1.01!5", "fixpos on=on",
    "pen 0=0.0000 1000=1000.0000 -0.1!5 1000.1!5", "offt 0=0.0000 1000=1000.0000 -0.1!5 1000.1!5",
    "tempc -100=-100.0 100=100.0 -100.1!5 100.1!5", "humid 0=0.0 100=100.0 -0.1!5 100.1!5",
    "press 1=1.0 2000=2000.0 0.9!5 2000.1!5", "textr 0=0.0 14400=14400.0 -0.1!5 14400.1!5",
    "textrse 0=0.0 14400=14400.0 14400.1!5", "var/diff on=on", "resetfix on!3", "ver 3!3", "numeng 3!3",
    "meas/ca off=off", "meas/p1 off=off", "meas/p2 off=off", "meas/c2 off=off", "meas/l5 off=off",
    "meas/l1c off=off", "meas/l2 off!3", "maxs 10!3", "maxs/2 10!3", "maxs/0 4 44 3!5", "maxs/1 4 44 45!5",
    "mrtk/2 on!3", "mrtk/x on!3", "mrtk/ on!3", "mrtk/1 off", "mrtk {}!6 {off,off,off}!7 {on,maybe}!7",
    "si {on,off}={on,off} {off,on,on}={off,on} on!6 {on}!6 {on,2}!7", "input/0/id -2=-2 4095=4095 -3!5 4096!5",
    "input/1/id 5!3", "input/0/idx 5!3", "inuse -1=-1 4095=4095 -2!5 4096!5", "nrs/mode on=on",
    "nrs/lim 1=1.0 10000=10000.0 0.9!5 10000.1!5", "nrs/cnt 1=1 30000=30000 0!5 30001!5", "nrs/max 1!3",
    "port any=any /dev/ser/a=/dev/ser/a dev/usb/a=/dev/usb/a /dev/tcp/c=/dev/tcp/c /dev/udp/a!7 /dev/null!7",
    "tropom/model gpsdef=gpsdef waasdef=waasdef gcat=gcat niell=niell unb3=unb3 unb4=unb4 goadgood=goadgood x!7",
    "tropom/meteo/user/mode on=on", "tropom/meteo/mode on!3", "reset off=off on=off", "fullres on=off maybe!7",
    "ref/clean on=off", "nokey 1!3",
    // hd/
    "hd/aoff/2 170=170.0000 -180=-180.0000 180.01!5", "hd/aoff/1 90=90.0000 -90=-90.0000 170!5 -90.01!5",
    "hd/aoff/0 -90=-90.0000 90.01!5", "hd/aoff/3 0!3", "hd/aoff/x 0!3", "hd/aoff/ 0!3", "hd/aoff/01 5",
    ("hd/aoff {10,20}={0=10.0000,1=20.0000,2=0.0000} {10,20,-170}={0=10.0000,1=20.0000,2=-170.0000} "
     "{}={0=0.0000,1=0.0000,2=0.0000} {10,,30}={0=10.0000,1=0.0000,2=0.0000} {10,95}!5 {1,2,3,4}!7"),
    "hd/mode on=on x!7", "hd/half on=on", "hd/tune on", "hd/naver 1=1 2000000=2000000 0!5 2000001!5",
    "hd/uselen on=on", "hd/len/0 0=0.000 10000=10000.000 10000.1!5", "hd/len 2.5={0=2.500}", "hd/len/1 2.5!3",
    "hd/pen 0=0.0000 10=10.0000 10.01!5", "hd/memf 0=0.00000 1=1.00000 1.01!5", "hd/nokey 1!3",
    // hist/
    "hist/mode on=on 2!7", "hist/rtkreset 0=0 2=2 3!5 -1!5", "hist/pr/x -6378137.125=-6378137.1250 abc!7 !6",
    "hist/pr/z 1e12=1000000000000.0000", "hist/pr/w 1!3", "hist/num 1!3", "hist/reset off=off on=off x!7",
    "hist/nokey 1!3",
};

void resetWorld() {
  rcvSetDefaults(RcvSet);
  rtcmSetDefaults(RtcmSet);
  CmrDec.setSettings(RtcmSet.cmrDec);
  PVTDataInstance.corrProcessorSetup.Init();
  cpdParamsLoad(RcvSet);
  rtkKeysSettingsLoaded();
  for (int e = 0; e < 2; ++e) Eng->resetCode[e] = Eng->resetReq[e] = 0;
  rtcm_reset = 0;
  rest_opt = 0;
}

TEST_F(RtkKeys, EveryKeyEdgesAndWords) {
  for (const char* row : kKeyRows) {
    std::istringstream in(row);
    std::string key, token;
    in >> key;
    // A token without a value ("!6") is the empty value.
    while (in >> token) {
      resetWorld();
      const std::size_t bang = token.find('!'), eq = token.find('=');
      const std::string value = token.substr(0, std::min(bang, eq));
      const Snapshot before = Snapshot::take();
      const int rc = set(key, value);
      const std::string what = key + "," + value;
      if (bang != std::string::npos) {
        EXPECT_EQ(rc, std::stoi(token.substr(bang + 1))) << what;
        EXPECT_TRUE(Snapshot::take() == before || key == "ref/clean") << what << ": a refused line changed something";
      } else {
        EXPECT_EQ(rc, CMD_OK) << what;
        if (eq != std::string::npos) {
          EXPECT_EQ(print(key), token.substr(eq + 1)) << what;
        }
      }
    }
  }
}

// Where a taken value lands beyond the stored record: the engine's settings, the CMR settings,
// the correction setup, the mirrors and the engines' reset requests.
TEST_F(RtkKeys, WhereValuesLand) {
  const struct {
    const char *key, *value;
    std::function<double()> got;
    double want;
  } rows[] = {
      {"dblchk", "on", [] { return cpdParams.dblchk + 10 * RcvSet.rtk.dblchk; }, 11},
      {"scale", "2", [] { return cpdParams.scale; }, 2},
      {"aflevel", "high", [] { return cpdParams.ambFixLevel + 10 * cpdParams.nft; }, 63},
      {"aflevel", "extralow", [] { return cpdParams.ambFixLevel + 10 * cpdParams.nft; }, 0},
      {"mode", "delay", [] { return cpdParams.mode + 10 * RcvSet.rtk.mode; }, 0},
      {"ion", "off", [] { return cpdParams.ion + 10 * RcvSet.rtk.ion; }, 0},
      {"check", "-1", [] { return cpdParams.check; }, -1},
      {"mem", "0.5", [] { return cpdParams.mem + 10 * RcvSet.rtk.mem; }, 5.5},
      {"rmsc", "0.001", [] { return cpdParams.slot[5].codeRms; }, 0.001f},
      {"rmsp", "1", [] { return cpdParams.slot[3].phaseRms + RcvSet.rtk.rmsp; }, 2},
      {"dyn", "1", [] { return cpdParams.dyn; }, 2e7},
      {"dyn", "0.998", [] { return cpdParams.dyn; }, 0.998f},
      {"dyn", "0.999", [] { return cpdParams.dyn + RcvSet.rtk.dyn; }, 2e7 + 0.999},
      {"fixpos", "on", [] { return cpdParams.initKnown + 10 * RcvSet.rtk.fixpos; }, 11},
      {"tempc", "-100", [] { return cpdParams.tempc; }, -100},
      {"humid", "0", [] { return cpdParams.humid; }, 0},
      {"press", "1", [] { return cpdParams.press; }, 1},
      {"meas/p1", "off", [] { return cpdParams.useSlot[1] + 10 * cpdParams.useSlot[0] + 100 * RcvSet.rtk.meas[1]; },
       10},
      {"meas/l1c", "off", [] { return cpdParams.useSlot[5] + 10 * cpdParams.useSlot[4]; }, 10},
      {"ref/keep", "on", [] { return bKeepRefPos + 10 * RcvSet.rtk.refKeep; }, 11},
      {"period", "0.0126", [] { return RcvSet.rtk.period; }, 13},
      {"maxs/0", "4", [] { return RcvSet.rtk.maxs[0] + 100 * RcvSet.rtk.maxs[1]; }, 2004},
      {"maxs/1", "44", [] { return RcvSet.rtk.maxs[0] + 100 * RcvSet.rtk.maxs[1]; }, 4420},
      {"mrtk/1", "off", [] { return RcvSet.rtk.mrtk[0] + 10 * RcvSet.rtk.mrtk[1]; }, 1},
      {"mrtk", "off", [] { return RcvSet.rtk.mrtk[0] + 10 * RcvSet.rtk.mrtk[1]; }, 0},
      {"mrtk", "{off}", [] { return RcvSet.rtk.mrtk[0] + 10 * RcvSet.rtk.mrtk[1]; }, 10},
      {"mrtk", "{on,off}", [] { return RcvSet.rtk.mrtk[0] + 10 * RcvSet.rtk.mrtk[1]; }, 1},
      {"si", "{on,off}", [] { return RcvSet.rtk.si[0] + 10 * RcvSet.rtk.si[1]; }, 1},
      {"input/0/id", "-2", [] { return RcvSet.rtk.inputId; }, -2},
      // The stored record and the decoders' copy in force, which the keys print.
      {"inuse", "4095", [] { return RtcmSet.cmrDec.inUse + std::stod(print("inuse")); }, 8190},
      {"nrs/mode", "on", [] { return RtcmSet.cmrDec.nrsMode + (print("nrs/mode") == "on" ? 1.0 : 0.0); }, 2},
      {"nrs/lim", "10000", [] { return RtcmSet.cmrDec.nrsLim + std::stod(print("nrs/lim")); }, 20000},
      {"nrs/cnt", "30000", [] { return RtcmSet.cmrDec.nrsCnt + std::stod(print("nrs/cnt")); }, 60000},
      {"port", "/dev/ser/a", [] { return RcvSet.refPort; }, 0},
      {"port", "dev/usb/a", [] { return RcvSet.refPort; }, 19},
      {"port", "any", [] { return RcvSet.refPort; }, -2},
      {"tropom/model", "niell", tropoModel, 3},
      {"tropom/model", "goadgood", tropoModel, 6},
      {"tropom/meteo/user/mode", "on", [] { return setup().aBytes[TropoCorr::kUserMeteoOffset]; }, 1},
      {"reset", "off", [] { return Eng->resetReq[0] + Eng->resetReq[1] + rtcm_reset; }, 0},
      {"reset", "on", [] { return Eng->resetCode[0] + 100 * Eng->resetCode[1] + 1e4 * rtcm_reset; }, 11414},
      {"reset", "on", [] { return Eng->resetReq[0] + 10 * Eng->resetReq[1]; }, 11},
      {"fullres", "on", [] { return Eng->resetCode[0] + 100 * Eng->resetCode[1] + 1e4 * rtcm_reset; }, 11414},
      {"hd/mode", "on", [] { return cpdParams.hdMode + 10 * RcvSet.hd.mode; }, 11},
      {"hd/uselen", "on", [] { return cpdParams.hdUseLen + 10 * RcvSet.hd.uselen; }, 11},
      {"hd/len/0", "12.5", [] { return cpdParams.hdLen + RcvSet.hd.len; }, 25},
      {"hd/pen", "2.25", [] { return cpdParams.hdPen + RcvSet.hd.pen; }, 4.5},
      {"hd/memf", "0.75", [] { return cpdParams.hdMemf + RcvSet.hd.memf; }, 1.5},
      {"hd/tune", "on", [] { return Eng->tune[0] + Eng->tune[1] + 10 * RcvSet.hd.tune; }, 10},
      {"hist/rtkreset", "2", [] { return rest_opt; }, 2},
  };
  for (const auto& r : rows) {
    resetWorld();
    Eng->tune[0] = Eng->tune[1] = 9;
    EXPECT_EQ(set(r.key, r.value), CMD_OK) << r.key << "," << r.value;
    EXPECT_DOUBLE_EQ(r.got(), r.want) << r.key << "," << r.value;
  }
}

TEST_F(RtkKeys, OfftOnlyByItsName) {
  resetWorld();
  EXPECT_EQ(print("").find("offt"), std::string::npos);
  EXPECT_EQ(print("offt"), "3.0000");
  EXPECT_EQ(print("nothing"), "ER3");
}

// A ref/clean value, accepted or not, drops the reference position's valid bit; an accepted one
// (off as well as on) forgets the base and a received datum in use.
TEST_F(RtkKeys, RefCleanCleansForOnAndOff) {
  const struct {
    const char* value;
    int rc;
    bool datumGot;
    int invalidations;
    bool datumReplaced;
  } rows[] = {{"on", CMD_OK, false, 1, false}, {"off", CMD_OK, false, 1, false}, {"off", CMD_OK, true, 1, true},
              {"maybe", CMD_WRONG_2ND, true, 0, false}};
  for (const auto& r : rows) {
    resetWorld();
    navSetDefaults(NavSet);
    auto* d = reinterpret_cast<NavTask::DATUM_IN_USE*>(NavSet.datum);
    if (r.datumGot) std::memcpy(d->name, "GOT", 4);
    const std::uint16_t changes = RcvSet.changeCount;
    RcvPosGPS.setEllipsoid(EllMath::wgs84());
    const double xyz[3] = {3512345.0, 780000.0, 5248000.0};
    bool unchanged = false;
    ASSERT_TRUE(RcvPosGPS.setRefPos(ReferencePos::kCartesian, "B", xyz, unchanged, InPorts::DEC_SER_A));
    ASSERT_TRUE(RcvPosGPS.valid());
    bc.recvFlags |= RtkBase::kReceived;
    EXPECT_EQ(set("ref/clean", r.value), r.rc) << r.value;
    EXPECT_FALSE(RcvPosGPS.valid()) << r.value;
    BASECOORD base{};
    EXPECT_EQ(getRtkBase(base), r.invalidations == 0) << r.value;
    EXPECT_EQ(std::string(d->name), r.datumReplaced ? "W84" : (r.datumGot ? "GOT" : "W84")) << r.value;
    EXPECT_EQ(RcvSet.changeCount - changes, r.datumReplaced ? 1 : 0) << r.value;
    EXPECT_EQ(print("ref/clean"), "off");
  }
}

// The CMR side restarts its RTK for a new station: a real change to a station, or -2 always.
TEST_F(RtkKeys, StationIdsAskTheCmrSideForAReset) {
  const struct {
    const char* key;
    const char* first;
    const char* second;
    int resets;  // asked by the second value
  } rows[] = {{"input/0/id", "5", "6", 1},  {"input/0/id", "5", "5", 0},  {"input/0/id", "5", "-1", 0},
              {"input/0/id", "-2", "-2", 1}, {"inuse", "5", "7", 1},        {"inuse", "5", "5", 0},
              {"inuse", "5", "-1", 0}};
  for (const auto& r : rows) {
    resetWorld();
    ASSERT_EQ(set(r.key, r.first), CMD_OK);
    Eng->resetReq[0] = Eng->resetCode[0] = 0;
    ASSERT_EQ(set(r.key, r.second), CMD_OK);
    const bool asked = Eng->resetReq[0] == 1 && Eng->resetCode[0] == kRtkResetCmr;
    EXPECT_EQ(asked, r.resets == 1) << r.key << " " << r.first << "->" << r.second;
  }
}

// The meteorological keys reach the engine and the correction setup's record; the stored triple
// reads back as the values typed.
TEST_F(RtkKeys, MeteoReachesEngineAndSetup) {
  resetWorld();
  setAll({"tempc,-12.5", "humid,80", "press,950"});
  const PosSetup::MeteoDataType m = PosSetup::getMeteo(setup());
  EXPECT_NEAR(m.temperature, 273.15 - 12.5, 1e-9);  // kelvin
  EXPECT_NEAR(m.pressure, 950.0, 1e-9);
  double t = 0, h = 0, p = 0;
  PosSetup::convertMeteo(m, t, h, p);
  EXPECT_NEAR(h, 80.0, 1e-6);
}

TEST_F(RtkKeys, StoredKeysSurviveRestart) {
  resetWorld();
  setAll({"aflevel,high", "mode,delay", "dyn,0.5", "ref/keep,on", "inuse,12", "tropom/model,niell", "hd/len,2.5",
          "hd/memf,0.5", "var/diff,on"});
  const std::string listing = print("");
  restart();
  EXPECT_EQ(print(""), listing);
  // The engine's record, the mirror and the CMR table are loaded again, not only the record.
  EXPECT_EQ(cpdParams.ambFixLevel, CpdParams::kHigh);
  EXPECT_EQ(cpdParams.mode, 0);
  EXPECT_FLOAT_EQ(cpdParams.dyn, 0.5f);
  EXPECT_EQ(cpdParams.hdLen, 2.5);
  EXPECT_TRUE(bKeepRefPos);
  EXPECT_EQ(print("inuse"), "12");
  EXPECT_EQ(tropoModel(), 3u);
}

// The heading and statistics keys store the receiver settings themselves: a restart keeps them
// though the command's own store did not run.
TEST_F(RtkKeys, HdAndHistStoreThemselves) {
  resetWorld();
  for (const char* kv : {"hd/mode,on", "hd/aoff/2,-45.5", "hist/mode,on", "hist/pr/x,100.25"}) {
    const std::string s = kv;
    ASSERT_EQ(setPath("pos/pd/" + s.substr(0, s.find(',')), s.substr(s.find(',') + 1), false), CMD_OK) << kv;
  }
  restart();
  EXPECT_EQ(print("hd/mode") + print("hd/aoff/2") + print("hist/mode") + print("hist/pr/x"), "on-45.5000on100.2500");
}

// The statistics block: invalid reads as zero and is left valid and zeroed; filled, every bin is
// shown per epoch; reset,on zeroes the block.
TEST_F(RtkKeys, HistBlockStates) {
  auto stored = [] {
    HistRecord h{};
    nvHistBlock().read(&h, sizeof h);
    return h;
  };
  auto zero = [](const HistRecord& h) {
    bool z = h.khist == 0 && h.kbad == 0;
    for (int b = 0; b < kHistBins; ++b) z = z && h.hist[b] == 0;
    return z;
  };
  nvHistBlock().makeInvalid();
  EXPECT_EQ(print("hist/num"), "0");
  EXPECT_TRUE(nvHistBlock().isValid() && zero(stored()));
  nvHistBlock().makeInvalid();
  EXPECT_EQ(print("hist/bad") + print("hist/out"), "0.000{}");
  EXPECT_TRUE(nvHistBlock().isValid());

  HistRecord h{};
  h.khist = 4;
  h.kbad = 1;
  for (int b = 0; b < kHistBins; ++b) h.hist[b] = b % 7;
  nvHistBlock().update(&h, sizeof h);
  EXPECT_EQ(print("hist/num") + "," + print("hist/bad"), "4,24.999");  // 1 x 100 / (4 + 0.0001)
  for (int b = 0; b < kHistBins; ++b) {
    char want[32];
    std::snprintf(want, sizeof want, "%f", (b % 7) / 4.0);
    EXPECT_EQ(print("hist/out/" + std::to_string(b)), want) << b;
  }
  EXPECT_EQ(print("hist/out/180"), "ER3");
  const std::string all = print("hist/out");
  EXPECT_EQ(all.substr(0, 22) + all.substr(all.size() - 14), "{0=0.000000,1=0.250000,179=1.000000}");
  ASSERT_EQ(set("hist/reset", "off"), CMD_OK);
  EXPECT_EQ(stored().khist, 4);
  ASSERT_EQ(set("hist/reset", "on"), CMD_OK);
  EXPECT_TRUE(nvHistBlock().isValid() && zero(stored()));
  EXPECT_EQ(print("hist/num"), "0");
}

// The legacy branch: each selector's edges and variable; whole names only; set only.
TEST_F(RtkKeys, LegacyBranch) {
#define V(x) [] { return static_cast<double>(x); }
  const struct {
    const char* key;
    double (*var)();
    const char *lo, *hi, *below, *above;
    double loV, hiV;
  } rows[] = {
      {"dbi/psc", V(rtk_psc), "0", "1000", "-0.01", "1000.01", 0, 1000},
      {"dbi/soc", V(soc_dbi), "0", "10", "-0.01", "10.01", 0, 10},
      {"dbi/tcor", V(Tcorr), "0", "3600", "-0.001", "3600.001", 0, 3600},
      {"dbi/cmr", V(cmr_dbi), "-4", "20", "-5", "21", -4, 20}, {"dbi/rest", V(rest_opt), "0", "20", "-1", "21", 0, 20},
      {"dbi/opt", V(t_opt), "-1", "20", "-2", "21", -1, 20}, {"dbi/ion", V(out_ion), "0", "20", "-1", "21", 0, 20},
      {"dbi/out", V(out_out), "0", "20", "-1", "21", 0, 20}, {"dbi/fr", V(deb_fr), "0", "30", "-1", "31", 0, 30},
      {"dbi/fast", V(fast_rtk_dbi), "0", "1000000", "-1", "1000001", 0, 1000000},
      {"dbi/rtkp", V(rtkp_dbi), "0", "60", "-1", "61", 0, 60},
      {"dbi/imu", V(rtk_imu), "0", "1000", "-1", "1001", 0, 1000},
      {"dbi/laser", V(laser_dbi), "0", "1000", "-1", "1001", 0, 1000},
      {"dbi/q", V(rtk_q), "0", "1", "-1", "2", 0, 1}, {"dbi/c", V(rtk_c), "0", "25", "-1", "26", 0, 25},
      {"dbi/dt", V(rtk_dt), "0", "25", "-1", "26", 0, 25}, {"dbi/mult", V(mult_dbi), "0", "25", "-1", "26", 0, 25},
      {"dbi/sync", V(sync_dbi), "0", "25", "-1", "26", 0, 25},
      {"dbi/tropo", V(tropo_dbi), "0", "25", "-1", "26", 0, 25},
      {"dbi/fkp", V(fkp_dbi), "0", "25", "-1", "26", 0, 25}, {"dbi/cpd", V(rtk_cpd_dbi), "0", "100", "-1", "101", 0, 100},
      {"dbi/res", V(rtk_res_dbi), "0", "20", "-1", "21", 0, 20}, {"dbi/rtcm", V(rtcm_dbi), "0", "59", "-1", "60", 0, 59},
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
  for (const auto& r : rows) {
    const std::string path = std::string("rtk/") + r.key;
    EXPECT_EQ(setPath(path, r.lo), CMD_OK) << r.key;
    EXPECT_EQ(setPath(path, r.below), CMD_OUT_OF_RANGE) << r.key;
    EXPECT_DOUBLE_EQ(r.var(), r.loV) << r.key;
    EXPECT_EQ(setPath(path, r.hi), CMD_OK) << r.key;
    EXPECT_EQ(setPath(path, r.above), CMD_OUT_OF_RANGE) << r.key;
    EXPECT_EQ(setPath(path, "x"), CMD_WRONG_2ND) << r.key;
    EXPECT_EQ(setPath(path, ""), CMD_2ND_MISSED) << r.key;
    EXPECT_DOUBLE_EQ(r.var(), r.hiV) << r.key;
  }
  const struct {
    const char* path;
    int rc;
  } paths[] = {{"rtk", CMD_OK}, {"rtkx/dbi/cpd", CMD_WRONG_1ST}, {"rtk/dbi/cp", CMD_WRONG_1ST},
               {"rtk/dbi/cpdx", CMD_WRONG_1ST}, {"rtk/dbi", CMD_WRONG_1ST}, {"rtk/alpha", CMD_WRONG_1ST}};
  for (const auto& r : paths) EXPECT_EQ(setPath(r.path, "1"), r.rc) << r.path;
  // The handler as the parser calls it: the rest of the path after "rtk", slash included.
  EXPECT_EQ(rtkcOldSet("", nullptr), CMD_OK);
  EXPECT_EQ(rtkcOldSet("dbi/cpd", nullptr), CMD_WRONG_1ST);
  Reply re;
  EXPECT_NE(parPrint("rtk", re), CMD_OK);
  // alp has copies of its own: the engine's per-system weight table keeps its values.
  initRtkSysTables();
  double before[RtkChan::kMaxSys][2];
  std::memcpy(before, ALPHAT, sizeof before);
  ASSERT_EQ(setPath("rtk/alp", "50"), CMD_OK);
  EXPECT_EQ(rtkAlp[0] + rtkAlp[1], 100.0);
  EXPECT_EQ(std::memcmp(before, ALPHAT, sizeof before), 0);
}

// Random and cut-short values on every key: an answer, never a fault, and a refusal changes
// nothing.
TEST_F(RtkKeys, RandomAndTruncatedValues) {
  std::mt19937 rng(1234);
  const char kChars[] = "{},-.0123456789eanoy/\"x ";
  std::vector<std::string> keys;
  for (const char* row : kKeyRows) keys.push_back(std::string(row).substr(0, std::string(row).find(' ')));
  for (const char* k : {"../rtk/dbi/cmr", "../rtk/alp", "../rtk/dbi/dw"}) keys.push_back(k);
  for (int i = 0; i < 3000; ++i) {
    resetWorld();
    std::string v;
    const int n = static_cast<int>(rng() % 12);
    for (int k = 0; k < n; ++k) v += kChars[rng() % (sizeof kChars - 1)];
    const std::string& key = keys[rng() % keys.size()];
    const std::string cut = key.substr(0, rng() % (key.size() + 1));
    const Snapshot before = Snapshot::take();
    const int rc = cut.rfind("../", 0) == 0 ? setPath(cut.substr(3), v) : set(cut, v);
    if (rc != CMD_OK && cut != "ref/clean") {
      EXPECT_TRUE(Snapshot::take() == before) << cut << "," << v;
    }
    print(cut);
  }
}

// fullres while another task projects base epochs and the engine holds its ambiguity lock in
// turn: every set is answered, the projector finds its models emptied between its runs, and at
// the end every model is idle and both engines carry the settings' reset code. Under
// ThreadSanitizer (scripts/test-tsan) the models are only ever touched under the projection lock
// and the locks are taken in one order.
TEST_F(RtkKeys, FullResetRaceWithProjection) {
  resetWorld();
  std::atomic<bool> stop{false};
  std::atomic<int> runs{0}, foundEmpty{0};
  std::thread projector([&] {
    for (int tms = 0; !stop.load(); tms += 100) {
      waitForProj(0);
      bool empty = true;
      for (const BasePro& p : BPC.bp) empty = empty && p.slot == bpro::kNoSlot;
      if (empty) ++foundEmpty;
      BPC.SetNum(0, tms);
      for (int slot = 0; slot < bpro::kModels; ++slot) BPC.FindSlot(0, slot, tms);
      ++runs;
      projRelease(0);
    }
  });
  std::thread engine([&] {
    while (!stop.load()) {
      for (int e = 0; e < Engine::kEngines; ++e) {
        waitForAmb(e);
        ambRelease(e);
      }
    }
  });
  int resets = 0;
  for (int i = 0; i < 200; ++i) {
    // Let the projector fill the models again before the next reset.
    const int seen = runs.load();
    while (runs.load() == seen) std::this_thread::yield();
    ASSERT_EQ(set("fullres", "on"), CMD_OK);
    ++resets;
  }
  stop = true;
  projector.join();
  engine.join();
  EXPECT_EQ(resets, 200);
  // A run follows each reset but the last, and finds the models the reset emptied.
  EXPECT_GE(foundEmpty.load(), 199);
  ASSERT_EQ(set("fullres", "on"), CMD_OK);
  for (const BasePro& p : BPC.bp) {
    EXPECT_EQ(p.slot, bpro::kNoSlot);
    for (int s = 0; s < bpro::kSignals; ++s) EXPECT_EQ(p.st[s], 0);
  }
  for (const BasePro* t : BPC.tab) EXPECT_EQ(t, nullptr);
  for (int e = 0; e < Engine::kEngines; ++e) {
    EXPECT_EQ(Eng->resetReq[e], 1) << e;
    EXPECT_EQ(Eng->resetCode[e], kRtkResetSettings) << e;
  }
  EXPECT_EQ(rtcm_reset, 1);
}

// The base record printed while a base decoder's task writes it: every print shows one whole
// record, never half of each (under ThreadSanitizer, scripts/test-tsan, the prints take the
// record's lock as its writers do).
TEST_F(RtkKeys, BasePrintRaceWithBaseUpdate) {
  const float a[3] = {1.5f, 1.5f, 1.5f}, b[3] = {2.5f, 2.5f, 2.5f};
  updateAnt(a, RtkBase::kL1, false, false, 0);
  std::atomic<bool> stop{false};
  std::thread writer([&] {
    for (int i = 0; !stop.load(); ++i) updateAnt(i % 2 ? a : b, RtkBase::kL1, false, false, 0);
  });
  int mixed = 0;
  for (int i = 0; i < 2000; ++i) {
    const std::string val = print("ref/ant/m_offs/val");
    const std::string type = print("ref/ant/m_offs/type");
    mixed += val.find("1.5") != std::string::npos && val.find("2.5") != std::string::npos;
    EXPECT_EQ(type, "l1pc");
  }
  stop = true;
  writer.join();
  EXPECT_EQ(mixed, 0);
}

}  // namespace
