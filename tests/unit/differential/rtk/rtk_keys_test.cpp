// The RTK settings keys under /par/pos/pd/: every key's edges, words and refusals, where each
// value lands (the stored receiver settings, the engine's live settings, the CMR settings, the
// correction setup), the print table and its order, and what a restart keeps. The expected
// values are the key table's ranges, formats and factory defaults, not the handler's.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
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

constexpr int kAny = -1000;  // any refusal (the reader's own code)

struct Row {
  const char* key;
  const char* value;
  int rc;
  const char* printed;             // after the set (null: not printed by this key)
  std::function<double()> landed;  // where the value goes (null: nothing to read)
  double want;
};

// The key table: lowest and highest value of each range and one step outside, the stored form
// and the printed form.
const std::vector<Row>& keyRows() {
  static const std::vector<Row> rows = {
      {"dblchk", "off", CMD_OK, "off", [] { return RcvSet.rtk.dblchk + 10 * cpdParams.dblchk; }, 0},
      {"dblchk", "on", CMD_OK, "on", [] { return RcvSet.rtk.dblchk + 10 * cpdParams.dblchk; }, 11},
      {"scale", "0", CMD_OK, "0", [] { return RcvSet.rtk.scale + 10 * cpdParams.scale; }, 0},
      {"scale", "2", CMD_OK, "2", [] { return RcvSet.rtk.scale + 10 * cpdParams.scale; }, 22},
      {"scale", "3", CMD_OUT_OF_RANGE, "1", nullptr, 0},
      {"scale", "-1", CMD_OUT_OF_RANGE, "1", nullptr, 0},
      {"aflevel", "extralow", CMD_OK, "extralow", [] { return RcvSet.rtk.aflevel; }, 0},
      {"aflevel", "high", CMD_OK, "high", [] { return 10 * RcvSet.rtk.aflevel + cpdParams.ambFixLevel; }, 33},
      {"aflevel", "ultra", CMD_WRONG_2ND, "medium", nullptr, 0},
      {"mode", "delay", CMD_OK, "delay", [] { return RcvSet.rtk.mode + 10 * cpdParams.mode; }, 0},
      {"mode", "extrap", CMD_OK, "extrap", [] { return RcvSet.rtk.mode + 10 * cpdParams.mode; }, 11},
      {"se", "on", CMD_OK, "on", [] { return RcvSet.rtk.se; }, 1},
      {"crpc", "off", CMD_OK, "off", [] { return RcvSet.rtk.crpc; }, 0},
      {"smr", "on", CMD_OK, "on", [] { return RcvSet.rtk.smr; }, 1},
      {"averr", "on", CMD_OK, "on", [] { return RcvSet.rtk.averr; }, 1},
      {"usebasedop", "on", CMD_OK, "on", [] { return RcvSet.rtk.usebasedop; }, 1},
      {"qcheck", "off", CMD_OK, "off", [] { return RcvSet.rtk.qcheck; }, 0},
      {"vrs", "on", CMD_OK, "on", [] { return RcvSet.rtk.vrs; }, 1},
      {"mac", "on", CMD_OK, "on", [] { return RcvSet.rtk.mac; }, 1},
      {"gpsfirst", "on", CMD_OK, "on", [] { return RcvSet.rtk.gpsfirst; }, 1},
      {"resmode", "off", CMD_OK, "off", [] { return RcvSet.rtk.resmode; }, 0},
      {"fkp", "on", CMD_OK, "on", [] { return RcvSet.rtk.fkp; }, 1},
      {"wl", "off", CMD_OK, "off", [] { return RcvSet.rtk.wl; }, 0},
      {"l1only", "on", CMD_OK, "on", [] { return RcvSet.rtk.l1only; }, 1},
      {"diffext", "off", CMD_OK, "off", [] { return RcvSet.rtk.diffext; }, 0},
      {"fixins", "on", CMD_OK, "on", [] { return RcvSet.rtk.fixins; }, 1},
      {"period", "0.005", CMD_OK, "0.005", [] { return RcvSet.rtk.period; }, 5},
      {"period", "100", CMD_OK, "100.000", [] { return RcvSet.rtk.period; }, 100000},
      {"period", "0.0049", CMD_OUT_OF_RANGE, "1.000", nullptr, 0},
      {"period", "100.001", CMD_OUT_OF_RANGE, "1.000", nullptr, 0},
      {"period", "0.0126", CMD_OK, "0.013", [] { return RcvSet.rtk.period; }, 13},
      {"afperiod", "0.05", CMD_OK, "0.050", [] { return RcvSet.rtk.afperiod; }, 50},
      {"afperiod", "5", CMD_OK, "5.000", [] { return RcvSet.rtk.afperiod; }, 5000},
      {"afperiod", "0.049", CMD_OUT_OF_RANGE, "1.000", nullptr, 0},
      {"afperiod", "5.001", CMD_OUT_OF_RANGE, "1.000", nullptr, 0},
      {"experiod", "0", CMD_OK, "0.000", [] { return RcvSet.rtk.experiod; }, 0},
      {"experiod", "5", CMD_OK, "5.000", [] { return RcvSet.rtk.experiod; }, 5000},
      {"experiod", "-0.001", CMD_OUT_OF_RANGE, "0.100", nullptr, 0},
      {"experiod", "5.001", CMD_OUT_OF_RANGE, "0.100", nullptr, 0},
      {"fixwait", "-1", CMD_OK, "-1", [] { return RcvSet.rtk.fixwait; }, -1},
      {"fixwait", "3600", CMD_OK, "3600", [] { return RcvSet.rtk.fixwait; }, 3600},
      {"fixwait", "-2", CMD_OUT_OF_RANGE, "-1", nullptr, 0},
      {"timegap", "3601", CMD_OUT_OF_RANGE, "-1", nullptr, 0},
      {"timegap", "3600", CMD_OK, "3600", [] { return RcvSet.rtk.timegap; }, 3600},
      {"check", "-1", CMD_OK, "-1", [] { return RcvSet.rtk.check + 0.5 * cpdParams.check; }, -1.5},
      {"check", "32767", CMD_OK, "32767", [] { return RcvSet.rtk.check; }, 32767},
      {"check", "32768", CMD_OUT_OF_RANGE, "7", nullptr, 0},
      {"check", "-2", CMD_OUT_OF_RANGE, "7", nullptr, 0},
      {"env", "forest", CMD_OK, "forest", [] { return RcvSet.rtk.env; }, 0},
      {"env", "open", CMD_OK, "open", [] { return RcvSet.rtk.env; }, 1},
      {"env", "town", CMD_WRONG_2ND, "open", nullptr, 0},
      {"catcher", "coarsest", CMD_OK, "coarsest", [] { return RcvSet.rtk.catcher; }, 3},
      {"catcher", "critical", CMD_OK, "critical", [] { return RcvSet.rtk.catcher; }, 1},
      {"delay", "every", CMD_OK, "every", [] { return RcvSet.rtk.delay; }, 1},
      {"tgpsfirst", "0", CMD_OK, "0", [] { return RcvSet.rtk.tgpsfirst; }, 0},
      {"tgpsfirst", "300", CMD_OK, "300", [] { return RcvSet.rtk.tgpsfirst; }, 300},
      {"tgpsfirst", "300.1", CMD_OUT_OF_RANGE, "30", nullptr, 0},
      {"resvrs", "virt", CMD_OK, "virt", [] { return RcvSet.rtk.resvrs; }, 1},
      {"wlmult", "2", CMD_OK, "2", [] { return RcvSet.rtk.wlmult; }, 2},
      {"wlmult", "3", CMD_OUT_OF_RANGE, "0", nullptr, 0},
      {"ion", "off", CMD_OK, "off", [] { return RcvSet.rtk.ion + 10 * cpdParams.ion; }, 0},
      {"ion", "on", CMD_OK, "on", [] { return RcvSet.rtk.ion + 10 * cpdParams.ion; }, 11},
      {"ionr", "0", CMD_OK, "0.0", [] { return RcvSet.rtk.ionr; }, 0},
      {"ionr", "999999.9", CMD_OK, "999999.9", [] { return RcvSet.rtk.ionr; }, 999999.9f},
      {"ionr", "1000000", CMD_OUT_OF_RANGE, "4000.0", nullptr, 0},
      {"ionf", "999999.9", CMD_OK, "999999.9", [] { return RcvSet.rtk.ionf; }, 999999.9f},
      {"ionf", "-0.1", CMD_OUT_OF_RANGE, "2.0", nullptr, 0},
      {"iont", "1800", CMD_OK, "1800.0", [] { return RcvSet.rtk.iont; }, 1800},
      {"iont", "1800.1", CMD_OUT_OF_RANGE, "600.0", nullptr, 0},
      {"mem", "0.5", CMD_OK, "0.50000", [] { return RcvSet.rtk.mem + 10 * cpdParams.mem; }, 5.5},
      {"mem", "1.0", CMD_OK, "1.00000", [] { return RcvSet.rtk.mem; }, 1.0},
      {"mem", "0.49", CMD_OUT_OF_RANGE, "0.99970", nullptr, 0},
      {"mem", "1.01", CMD_OUT_OF_RANGE, "0.99970", nullptr, 0},
      {"maxit", "1", CMD_OK, "1", [] { return RcvSet.rtk.maxit; }, 1},
      {"maxit", "10", CMD_OK, "10", [] { return RcvSet.rtk.maxit; }, 10},
      {"maxit", "11", CMD_OUT_OF_RANGE, "1", nullptr, 0},
      {"maxitf", "0", CMD_OUT_OF_RANGE, "1", nullptr, 0},
      {"maxitf", "10", CMD_OK, "10", [] { return RcvSet.rtk.maxitf; }, 10},
      {"minpot", "60", CMD_OK, "60", [] { return RcvSet.rtk.minpot; }, 60},
      {"minpot", "61", CMD_OUT_OF_RANGE, "36", nullptr, 0},
      {"minpotp", "1", CMD_OK, "1", [] { return RcvSet.rtk.minpotp; }, 1},
      {"minpotp", "0", CMD_OUT_OF_RANGE, "28", nullptr, 0},
      {"minsat", "4", CMD_OK, "4", [] { return RcvSet.rtk.minsat; }, 4},
      {"minsat", "3", CMD_OUT_OF_RANGE, "6", nullptr, 0},
      {"maxsat", "44", CMD_OK, "44", [] { return RcvSet.rtk.maxsat; }, 44},
      {"maxsat", "45", CMD_OUT_OF_RANGE, "20", nullptr, 0},
      {"rmsc", "0.001", CMD_OK, "0.00100", [] { return cpdParams.slot[5].codeRms; }, 0.001f},
      {"rmsc", "100", CMD_OK, "100.00000", [] { return RcvSet.rtk.rmsc + cpdParams.slot[3].codeRms; }, 200},
      {"rmsc", "0.0009", CMD_OUT_OF_RANGE, "5.00000", nullptr, 0},
      {"rmsc", "100.01", CMD_OUT_OF_RANGE, "5.00000", nullptr, 0},
      {"rmsp", "1", CMD_OK, "1.00000", [] { return RcvSet.rtk.rmsp + cpdParams.slot[4].phaseRms; }, 2},
      {"rmsp", "0.001", CMD_OK, "0.00100", [] { return cpdParams.slot[0].phaseRms; }, 0.001f},
      {"rmsp", "1.01", CMD_OUT_OF_RANGE, "0.05000", nullptr, 0},
      {"tolthr", "0.01", CMD_OK, "0.010", [] { return RcvSet.rtk.tolthr; }, 0.01f},
      {"tolthr", "3", CMD_OK, "3.000", [] { return RcvSet.rtk.tolthr; }, 3},
      {"tolthr", "0.009", CMD_OUT_OF_RANGE, "0.080", nullptr, 0},
      {"range", "0", CMD_OK, "0.0", [] { return RcvSet.rtk.range; }, 0},
      {"range", "10000000", CMD_OK, "10000000.0", [] { return RcvSet.rtk.range; }, 1e7},
      {"range", "10000001", CMD_OUT_OF_RANGE, "1000000.0", nullptr, 0},
      {"mbtimeout", "6", CMD_OK, "6", [] { return RcvSet.rtk.mbtimeout; }, 6},
      {"mbtimeout", "7", CMD_OUT_OF_RANGE, "1", nullptr, 0},
      {"ref/keep", "on", CMD_OK, "on", [] { return RcvSet.rtk.refKeep + 10 * bKeepRefPos; }, 11},
      {"dyn", "0", CMD_OK, "0.0000", [] { return cpdParams.dyn; }, 0},
      {"dyn", "1", CMD_OK, "1.0000", [] { return cpdParams.dyn; }, 2e7},
      {"dyn", "0.998", CMD_OK, "0.9980", [] { return cpdParams.dyn; }, 0.998f},
      {"dyn", "0.999", CMD_OK, "0.9990", [] { return cpdParams.dyn; }, 2e7},
      {"dyn", "1.01", CMD_OUT_OF_RANGE, "1.0000", nullptr, 0},
      {"fixpos", "on", CMD_OK, "on", [] { return RcvSet.rtk.fixpos + 10 * cpdParams.initKnown; }, 11},
      {"rtkplus", "start", CMD_OK, "start", [] { return RcvSet.rtk.rtkplus; }, 1},
      {"pen", "0", CMD_OK, "0.0000", [] { return RcvSet.rtk.pen; }, 0},
      {"pen", "1000", CMD_OK, "1000.0000", [] { return RcvSet.rtk.pen; }, 1000},
      {"pen", "1000.1", CMD_OUT_OF_RANGE, "1.0000", nullptr, 0},
      {"offt", "1000", CMD_OK, "1000.0000", [] { return RcvSet.rtk.offt; }, 1000},
      {"offt", "-0.1", CMD_OUT_OF_RANGE, "3.0000", nullptr, 0},
      {"tempc", "-100", CMD_OK, "-100.0", [] { return cpdParams.tempc; }, -100},
      {"tempc", "100", CMD_OK, "100.0", [] { return RcvSet.rtk.tempc; }, 100},
      {"tempc", "100.1", CMD_OUT_OF_RANGE, "20.0", nullptr, 0},
      {"humid", "0", CMD_OK, "0.0", [] { return cpdParams.humid; }, 0},
      {"humid", "100", CMD_OK, "100.0", [] { return RcvSet.rtk.humid; }, 100},
      {"humid", "100.1", CMD_OUT_OF_RANGE, "50.0", nullptr, 0},
      {"press", "1", CMD_OK, "1.0", [] { return cpdParams.press; }, 1},
      {"press", "2000", CMD_OK, "2000.0", [] { return RcvSet.rtk.press; }, 2000},
      {"press", "0.9", CMD_OUT_OF_RANGE, "1010.0", nullptr, 0},
      {"textr", "0", CMD_OK, "0.0", [] { return RcvSet.rtk.textr; }, 0},
      {"textr", "14400", CMD_OK, "14400.0", [] { return RcvSet.rtk.textr; }, 14400},
      {"textr", "14400.1", CMD_OUT_OF_RANGE, "30.0", nullptr, 0},
      {"textrse", "14400", CMD_OK, "14400.0", [] { return RcvSet.rtk.textrse; }, 14400},
      {"var/diff", "on", CMD_OK, "on", [] { return RcvSet.rtk.varDiff; }, 1},
      {"resetfix", "on", CMD_WRONG_1ST, "off", nullptr, 0},
      {"meas/ca", "off", CMD_OK, "off", [] { return RcvSet.rtk.meas[0] + 10 * cpdParams.useSlot[0]; }, 0},
      {"meas/p1", "off", CMD_OK, "off", [] { return cpdParams.useSlot[1] + 10 * cpdParams.useSlot[0]; }, 10},
      {"meas/p2", "off", CMD_OK, "off", [] { return RcvSet.rtk.meas[2] + 10 * cpdParams.useSlot[2]; }, 0},
      {"meas/c2", "off", CMD_OK, "off", [] { return RcvSet.rtk.meas[3] + 10 * cpdParams.useSlot[3]; }, 0},
      {"meas/l5", "off", CMD_OK, "off", [] { return RcvSet.rtk.meas[4] + 10 * cpdParams.useSlot[4]; }, 0},
      {"meas/l1c", "off", CMD_OK, "off", [] { return RcvSet.rtk.meas[5] + 10 * cpdParams.useSlot[5]; }, 0},
      {"meas/l2", "off", CMD_WRONG_1ST, "ER3", nullptr, 0},
      {"maxs/0", "4", CMD_OK, nullptr, [] { return RcvSet.rtk.maxs[0] + 100 * RcvSet.rtk.maxs[1]; }, 2004},
      {"maxs/1", "44", CMD_OK, nullptr, [] { return RcvSet.rtk.maxs[0] + 100 * RcvSet.rtk.maxs[1]; }, 4420},
      {"maxs/0", "3", CMD_OUT_OF_RANGE, nullptr, nullptr, 0},
      {"maxs/1", "45", CMD_OUT_OF_RANGE, nullptr, nullptr, 0},
      {"maxs/2", "10", CMD_WRONG_1ST, nullptr, nullptr, 0},
      {"maxs", "10", CMD_WRONG_1ST, nullptr, nullptr, 0},
      {"mrtk/1", "off", CMD_OK, "{0=on,1=off}", [] { return RcvSet.rtk.mrtk[0] + 10 * RcvSet.rtk.mrtk[1]; }, 1},
      {"mrtk/0", "off", CMD_OK, "{0=off,1=on}", [] { return RcvSet.rtk.mrtk[0] + 10 * RcvSet.rtk.mrtk[1]; }, 10},
      {"mrtk/2", "on", CMD_WRONG_1ST, "{0=on,1=on}", nullptr, 0},
      {"mrtk/x", "on", CMD_WRONG_1ST, "{0=on,1=on}", nullptr, 0},
      {"mrtk/", "on", CMD_WRONG_1ST, "{0=on,1=on}", nullptr, 0},
      {"mrtk", "off", CMD_OK, "{0=off,1=off}", [] { return RcvSet.rtk.mrtk[0] + 10 * RcvSet.rtk.mrtk[1]; }, 0},
      {"mrtk", "{off}", CMD_OK, "{0=off,1=on}", nullptr, 0},
      {"mrtk", "{on,off}", CMD_OK, "{0=on,1=off}", nullptr, 0},
      {"mrtk", "{off,off,off}", CMD_WRONG_2ND, "{0=on,1=on}", nullptr, 0},
      {"mrtk", "{}", CMD_2ND_MISSED, "{0=on,1=on}", nullptr, 0},
      {"mrtk", "{on,maybe}", CMD_WRONG_2ND, "{0=on,1=on}", nullptr, 0},
      {"si", "{on,off}", CMD_OK, "{on,off}", [] { return RcvSet.rtk.si[0] + 10 * RcvSet.rtk.si[1]; }, 1},
      {"si", "{off,on,on}", CMD_OK, "{off,on}", nullptr, 0},
      {"si", "on", CMD_2ND_MISSED, "{off,off}", nullptr, 0},
      {"si", "{on}", CMD_2ND_MISSED, "{off,off}", nullptr, 0},
      {"si", "{on,2}", CMD_WRONG_2ND, "{off,off}", nullptr, 0},
      {"input/0/id", "-2", CMD_OK, "-2", [] { return RcvSet.rtk.inputId; }, -2},
      {"input/0/id", "4095", CMD_OK, "4095", [] { return RcvSet.rtk.inputId; }, 4095},
      {"input/0/id", "-3", CMD_OUT_OF_RANGE, "-1", nullptr, 0},
      {"input/0/id", "4096", CMD_OUT_OF_RANGE, "-1", nullptr, 0},
      {"input/1/id", "5", CMD_WRONG_1ST, "ER3", nullptr, 0},
      {"input/0/idx", "5", CMD_WRONG_1ST, "ER3", nullptr, 0},
      {"inuse", "-1", CMD_OK, "-1", [] { return CmrDec.getSettings().inUse; }, -1},
      {"inuse", "4095", CMD_OK, "4095", [] { return RtcmSet.cmrDec.inUse + CmrDec.getSettings().inUse; }, 8190},
      {"inuse", "-2", CMD_OUT_OF_RANGE, "-1", nullptr, 0},
      {"inuse", "4096", CMD_OUT_OF_RANGE, "-1", nullptr, 0},
      {"nrs/mode", "on", CMD_OK, "on", [] { return CmrDec.getSettings().nrsMode; }, 1},
      {"nrs/lim", "1", CMD_OK, "1.0", [] { return CmrDec.getSettings().nrsLim; }, 1},
      {"nrs/lim", "10000", CMD_OK, "10000.0", [] { return RtcmSet.cmrDec.nrsLim; }, 10000},
      {"nrs/lim", "0.9", CMD_OUT_OF_RANGE, "25.0", nullptr, 0},
      {"nrs/cnt", "1", CMD_OK, "1", [] { return CmrDec.getSettings().nrsCnt; }, 1},
      {"nrs/cnt", "30000", CMD_OK, "30000", [] { return RtcmSet.cmrDec.nrsCnt; }, 30000},
      {"nrs/cnt", "30001", CMD_OUT_OF_RANGE, "10", nullptr, 0},
      {"nrs/max", "1", CMD_WRONG_1ST, "ER3", nullptr, 0},
      {"port", "any", CMD_OK, "any", [] { return RcvSet.refPort; }, -2},
      {"port", "/dev/ser/a", CMD_OK, "/dev/ser/a", [] { return RcvSet.refPort; }, 0},
      {"port", "dev/usb/a", CMD_OK, "/dev/usb/a", [] { return RcvSet.refPort; }, 19},
      {"port", "/dev/tcp/c", CMD_OK, "/dev/tcp/c", [] { return RcvSet.refPort; }, 14},
      {"port", "/dev/udp/a", CMD_WRONG_2ND, "any", nullptr, 0},
      {"port", "/dev/null", CMD_WRONG_2ND, "any", nullptr, 0},
      {"port", "/dev/nowhere", CMD_WRONG_2ND, "any", nullptr, 0},
      {"tropom/model", "gpsdef", CMD_OK, "gpsdef", tropoModel, 0},
      {"tropom/model", "goadgood", CMD_OK, "goadgood", tropoModel, 6},
      {"tropom/model", "niell", CMD_OK, "niell", tropoModel, 3},
      {"tropom/model", "saast", CMD_WRONG_2ND, "waasdef", nullptr, 0},
      {"tropom/meteo/user/mode", "on", CMD_OK, "on",
       [] { return setup().aBytes[TropoCorr::kUserMeteoOffset]; }, 1},
      {"tropom/meteo/mode", "on", CMD_WRONG_1ST, "ER3", nullptr, 0},
      {"reset", "off", CMD_OK, "off", [] { return Eng->resetReq[0] + Eng->resetReq[1]; }, 0},
      {"reset", "on", CMD_OK, "off", [] { return Eng->resetCode[0] + 100 * Eng->resetCode[1] + 1e4 * rtcm_reset; }, 11414},
      {"fullres", "on", CMD_OK, "off", [] { return Eng->resetCode[0] + 100 * Eng->resetCode[1] + 1e4 * rtcm_reset; }, 11414},
      {"fullres", "maybe", CMD_WRONG_2ND, "off", nullptr, 0},
      {"nokey", "1", CMD_WRONG_1ST, "ER3", nullptr, 0},
      {"ver", "3", CMD_WRONG_1ST, "2", nullptr, 0},
      {"numeng", "3", CMD_WRONG_1ST, "2", nullptr, 0},
  };
  return rows;
}

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

TEST_F(RtkKeys, EveryKeyEdgesWordsAndWhereItLands) {
  for (const Row& r : keyRows()) {
    resetWorld();
    const Snapshot before = Snapshot::take();
    const int rc = set(r.key, r.value);
    const std::string what = std::string(r.key) + "," + r.value;
    if (r.rc == kAny) {
      EXPECT_NE(rc, CMD_OK) << what;
    } else {
      EXPECT_EQ(rc, r.rc) << what;
    }
    if (rc != CMD_OK) {
      EXPECT_TRUE(Snapshot::take() == before) << what << ": a refused line changed something";
    }
    if (r.printed) {
      EXPECT_EQ(print(r.key[0] == 'm' && r.key[1] == 'r' ? "mrtk" : r.key), r.printed) << what;
    }
    if (r.landed) {
      EXPECT_DOUBLE_EQ(r.landed(), r.want) << what;
    }
  }
}

TEST_F(RtkKeys, BoolAndEnumWords) {
  const struct {
    const char* value;
    int rc;
    const char* printed;
  } rows[] = {{"no", CMD_OK, "off"},   {"n", CMD_OK, "off"},        {"off", CMD_OK, "off"},
              {"yes", CMD_OK, "on"},   {"y", CMD_OK, "on"},         {"on", CMD_OK, "on"},
              {"YES", CMD_OK, "on"},   {"1", CMD_WRONG_2ND, "off"}, {"", CMD_2ND_MISSED, "off"},
              {"onn", CMD_WRONG_2ND, "off"}};
  for (const auto& r : rows) {
    resetWorld();
    EXPECT_EQ(set("se", r.value), r.rc) << r.value;
    EXPECT_EQ(print("se"), r.printed) << r.value;
  }
  const struct {
    const char* key;
    const char* words;
  } enums[] = {{"aflevel", "extralow,low,medium,high"},
               {"mode", "delay,extrap"},
               {"env", "forest,open"},
               {"catcher", "normal,critical,coarse,coarsest"},
               {"delay", "last,every"},
               {"resvrs", "act,virt"},
               {"rtkplus", "stop,start"},
               {"tropom/model", "gpsdef,waasdef,gcat,niell,unb3,unb4,goadgood"}};
  for (const auto& e : enums) {
    std::string words = e.words;
    std::size_t at = 0;
    while (at <= words.size()) {
      const std::size_t end = words.find(',', at) == std::string::npos ? words.size() : words.find(',', at);
      const std::string w = words.substr(at, end - at);
      resetWorld();
      EXPECT_EQ(set(e.key, w), CMD_OK) << e.key << " " << w;
      EXPECT_EQ(print(e.key), w) << e.key;
      at = end + 1;
    }
  }
}

// Full listing: the print table's order, offt left out, every value at its factory default.
TEST_F(RtkKeys, ListingOrderAndDefaults) {
  resetWorld();
  const std::string all = print("");
  const char* const order[] = {"ver=2",         "reset=off",     "fullres=off",  "dblchk=on",      "numeng=2",
                               "mrtk={0=on,1=on}", "resetfix=off", "meas={ca=on,p1=on,p2=on,c2=on,l5=on,l1c=on}",
                               "aflevel=medium", "dyn=1.0000",   "fixpos=off",   "fixins=off",     "pen=1.0000",
                               "mode=extrap",   "se=off",        "crpc=on",      "smr=off",        "averr=off",
                               "period=1.000",  "afperiod=1.000", "experiod=0.100", "usebasedop=off", "fixwait=-1",
                               "timegap=-1",    "check=7",       "qcheck=on",    "env=open",       "rtkplus=stop",
                               "catcher=normal", "delay=last",   "scale=1",      "si={off,off}",   "mem=0.99970",
                               "tempc=20.0",    "humid=50.0",    "press=1010.0",
                               "tropom={model=waasdef,meteo={user={mode=off}}}",
                               "wl=on",         "wlmult=0",      "ion=on",       "vrs=off",        "mac=off",
                               "gpsfirst=off",  "tgpsfirst=30",  "resvrs=act",   "resmode=on",     "fkp=off",
                               "ionf=2.0",      "ionr=4000.0",   "iont=600.0",   "textr=30.0",     "textrse=3.0",
                               "diffext=on",    "maxit=1",       "maxitf=1",     "l1only=off",     "minpot=36",
                               "minpotp=28",    "rmsc=5.00000",  "rmsp=0.05000", "tolthr=0.080",   "range=1000000.0",
                               "mbtimeout=1",   "minsat=6",      "maxsat=20",    "input={0={id=-1}}",
                               "ref={keep=off,clean=off,id=0,pos={xyz={x=nan,y=nan,z=nan},geo={lat=nan,lon=nan,alt=nan}}",
                               "port=any",      "inuse=-1",      "nrs={mode=off,lim=25.0,cnt=10}",
                               "hd={mode=off,half=off,naver=1,uselen=off,pen=1.0000,memf=0.99900,len={0=0.000},"
                               "aoff={0=0.0000,1=0.0000,2=0.0000}}",
                               "hist={mode=off,pr={x=0.0000,y=0.0000,z=0.0000},reset=off,rtkreset=0,num=0,bad=0.000,"
                               "out={}}",
                               "var={diff=off}"};
  std::size_t at = 0;
  for (const char* item : order) {
    const std::size_t found = all.find(item, at);
    ASSERT_NE(found, std::string::npos) << item << " after " << at << " in " << all;
    at = found + std::strlen(item);
  }
  EXPECT_EQ(all.find("offt"), std::string::npos);
  EXPECT_EQ(print("offt"), "3.0000");
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
  } rows[] = {{"on", CMD_OK, false, 1, false},
              {"off", CMD_OK, false, 1, false},
              {"off", CMD_OK, true, 1, true},
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
  ASSERT_EQ(set("tempc", "-12.5"), CMD_OK);
  ASSERT_EQ(set("humid", "80"), CMD_OK);
  ASSERT_EQ(set("press", "950"), CMD_OK);
  EXPECT_FLOAT_EQ(cpdParams.tempc, -12.5f);
  EXPECT_FLOAT_EQ(cpdParams.humid, 80.0f);
  EXPECT_FLOAT_EQ(cpdParams.press, 950.0f);
  const PosSetup::MeteoDataType m = PosSetup::getMeteo(setup());
  EXPECT_NEAR(m.temperature, 273.15 - 12.5, 1e-9);
  EXPECT_NEAR(m.pressure, 950.0, 1e-9);
  double t = 0, h = 0, p = 0;
  PosSetup::convertMeteo(m, t, h, p);
  EXPECT_NEAR(t, -12.5, 1e-6);
  EXPECT_NEAR(h, 80.0, 1e-6);
  EXPECT_NEAR(p, 950.0, 1e-6);
}

TEST_F(RtkKeys, StoredKeysSurviveRestart) {
  resetWorld();
  const char* sets[][2] = {{"dblchk", "off"},     {"mrtk/1", "off"},   {"maxs/0", "30"},       {"scale", "2"},
                           {"si", "{on,off}"},    {"meas/l5", "off"},  {"aflevel", "high"},    {"mode", "delay"},
                           {"fkp", "on"},         {"period", "0.2"},   {"check", "100"},       {"ion", "off"},
                           {"mem", "0.75"},       {"rmsc", "2.5"},     {"rmsp", "0.01"},       {"dyn", "0.5"},
                           {"fixpos", "on"},      {"tempc", "5"},      {"ref/keep", "on"},     {"inuse", "12"},
                           {"input/0/id", "33"},  {"port", "/dev/ser/b"}, {"nrs/cnt", "99"},   {"tropom/model", "niell"},
                           {"hd/mode", "on"},     {"hd/len", "2.5"},   {"hd/memf", "0.5"},     {"hist/pr/y", "-7.25"},
                           {"var/diff", "on"}};
  for (const auto& s : sets) ASSERT_EQ(set(s[0], s[1]), CMD_OK) << s[0];
  const std::string listing = print("");
  restart();
  EXPECT_EQ(print(""), listing);
  EXPECT_EQ(RcvSet.rtk.maxs[0], 30);
  EXPECT_EQ(cpdParams.ambFixLevel, CpdParams::kHigh);
  EXPECT_FLOAT_EQ(cpdParams.dyn, 0.5f);
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
  for (const Row& r : keyRows()) keys.push_back(r.key);
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
