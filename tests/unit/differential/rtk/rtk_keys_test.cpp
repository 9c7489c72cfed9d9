// The RTK settings keys under /par/pos/pd/: every key's edges, words and refusals, where each
// value lands (the stored receiver settings, the engine's live settings, the CMR settings, the
// correction setup), the print table and its order, and what a restart keeps. The expected
// values are the key table's ranges, formats and factory defaults, not the handler's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <sstream>
#include <algorithm>
#include <random>
#include <atomic>
#include <thread>
#include <string>
#include <vector>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/settings_commands.h"
#include "command/zr_list.h"
#include "differential/cmr/cmr_decoder.h"
#include "differential/coding_driver.h"
#include "differential/placeholders.h"
#include "differential/rtk/rtk_hd_hist_keys.h"
#include "differential/rtk/rtk_keys.h"
#include "differential/rtk/base_pro.h"
#include "differential/rtk/rtk_engine.h"
#include "differential/rtk/rtk_reset.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "positioning/corrections/troposphere_correction.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/reference/reference_pos.h"
#include "settings/nv_settings.h"
#include "settings/port_settings.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "unit/platform/temp_run_dir.h"

namespace {

class RtkKeys : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    static const bool registered = registerRtkAreas();
    ASSERT_TRUE(registered);
    rcvSettingsHooks.cpdParams = cpdParamsLoad;
    static const bool loaded = nvAfterLoadAdd(rtkKeysSettingsLoaded);
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
  static int set(const std::string& key, const std::string& value) {
    static ZRList l;
    const std::string line = "set,/par/x," + value;
    if (int rc = l.parse(line.c_str(), static_cast<int>(line.size()))) return rc;
    const int rc = parSet(("pos/pd/" + key).c_str(), l.at(2));
    // What the command does after a successful set.
    if (rc == CMD_OK) cmdStoreSettings();
    return rc;
  }
  static std::string print(const std::string& key) {
    static Reply re;
    re.clear();
    const int rc = parPrint(("pos/pd" + (key.empty() ? "" : "/" + key)).c_str(), re);
    if (rc != CMD_OK) return "ER" + std::to_string(rc);
    return std::string(re.text(), static_cast<std::size_t>(re.textLen()));
  }
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
    "ref/clean on=off", "nokey 1!3", "hd/nokey 1!3", "hist/nokey 1!3",
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
      {"meas/p1", "off", [] { return cpdParams.useSlot[1] + 10 * cpdParams.useSlot[0] + 100 * RcvSet.rtk.meas[1]; }, 10},
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
      {"inuse", "4095", [] { return RtcmSet.cmrDec.inUse + CmrDec.getSettings().inUse; }, 8190},
      {"nrs/mode", "on", [] { return CmrDec.getSettings().nrsMode; }, 1},
      {"nrs/lim", "10000", [] { return RtcmSet.cmrDec.nrsLim + CmrDec.getSettings().nrsLim; }, 20000},
      {"nrs/cnt", "30000", [] { return RtcmSet.cmrDec.nrsCnt + CmrDec.getSettings().nrsCnt; }, 60000},
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
  };
  for (const auto& r : rows) {
    resetWorld();
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
    const int calls = placeholder::invalidateRtkBaseCalls;
    EXPECT_EQ(set("ref/clean", r.value), r.rc) << r.value;
    EXPECT_FALSE(RcvPosGPS.valid()) << r.value;
    EXPECT_EQ(placeholder::invalidateRtkBaseCalls - calls, r.invalidations) << r.value;
    if (r.invalidations) {
      EXPECT_EQ(placeholder::invalidateRtkBaseLast, 0);
    }
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
  for (const char* kv : {"tempc,-12.5", "humid,80", "press,950"}) {
    const std::string s = kv;
    ASSERT_EQ(set(s.substr(0, s.find(',')), s.substr(s.find(',') + 1)), CMD_OK) << kv;
  }
  const PosSetup::MeteoDataType m = PosSetup::getMeteo(setup());
  EXPECT_NEAR(m.temperature, 273.15 - 12.5, 1e-9);  // kelvin
  EXPECT_NEAR(m.pressure, 950.0, 1e-9);
  double t = 0, h = 0, p = 0;
  PosSetup::convertMeteo(m, t, h, p);
  EXPECT_NEAR(h, 80.0, 1e-6);
}

TEST_F(RtkKeys, StoredKeysSurviveRestart) {
  resetWorld();
  for (const char* kv : {"aflevel,high", "mode,delay", "dyn,0.5", "ref/keep,on", "inuse,12", "tropom/model,niell",
                         "hd/len,2.5", "hd/memf,0.5", "var/diff,on"}) {
    const std::string s = kv;
    ASSERT_EQ(set(s.substr(0, s.find(',')), s.substr(s.find(',') + 1)), CMD_OK) << kv;
  }
  const std::string listing = print("");
  restart();
  EXPECT_EQ(print(""), listing);
  // The engine's record, the mirror and the CMR table are loaded again, not only the record.
  EXPECT_EQ(cpdParams.ambFixLevel, CpdParams::kHigh);
  EXPECT_EQ(cpdParams.mode, 0);
  EXPECT_FLOAT_EQ(cpdParams.dyn, 0.5f);
  EXPECT_EQ(cpdParams.hdLen, 2.5);
  EXPECT_TRUE(bKeepRefPos);
  EXPECT_EQ(CmrDec.getSettings().inUse, 12);
  EXPECT_EQ(tropoModel(), 3u);
}

// Random and cut-short values on every key: an answer, never a fault, and a refusal changes
// nothing.
TEST_F(RtkKeys, RandomAndTruncatedValues) {
  std::mt19937 rng(1234);
  const char kChars[] = "{},-.0123456789eanoy/\"x ";
  std::vector<std::string> keys;
  for (const char* row : kKeyRows) keys.push_back(std::string(row).substr(0, std::string(row).find(' ')));
  for (const char* k : {"hd/aoff", "hd/aoff/1", "hist/pr/x", "hist/mode", "hd/len/0", "ref/clean"}) keys.push_back(k);
  for (int i = 0; i < 3000; ++i) {
    resetWorld();
    std::string v;
    const int n = static_cast<int>(rng() % 12);
    for (int k = 0; k < n; ++k) v += kChars[rng() % (sizeof kChars - 1)];
    const std::string& key = keys[rng() % keys.size()];
    const std::string cut = key.substr(0, rng() % (key.size() + 1));
    const Snapshot before = Snapshot::take();
    const int rc = set(cut, v);
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

}  // namespace
