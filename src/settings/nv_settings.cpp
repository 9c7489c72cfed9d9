#include "settings/nv_settings.h"

#include <cstddef>

#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "platform/rtos.h"

RcvSettingsHooks rcvSettingsHooks;
HookList<void()> nvAfterLoadHooks("settings", "nvAfterLoadHooks");
Hook<void(RTCM_SETTINGS& s)> rtcmSettingsGatherHook("settings", "rtcmSettingsGatherHook");
Hook<void(RTCM_SETTINGS& s)> rtcmSettingsApplyHook("settings", "rtcmSettingsApplyHook");

namespace {
NvBlock g_rcvBlock;
NvBlock g_navBlock;
NvBlock g_rtcmBlock;
NvBlock g_baseBlock;
NvBlock g_histBlock;

// Reads a record from its block; on an invalid block the record takes its defaults, which are
// stored at once so the image holds a valid block again.
template <class T>
bool loadRecord(NvBlock& b, T& rec, void (*defaults)(T&), const char* what) {
  if (b.isValid() && b.read(&rec, sizeof rec)) return false;
  b.sayDefaultsRestored(what);
  defaults(rec);
  b.update(&rec, sizeof rec);
  return true;
}
bool g_rcvRestored = false;

// A record written by an older layout gets the defaults of the fields added since.
void upgradeRcvSet(RCV_SETTINGS& s) {
  if (s.layoutRev == kRcvSetLayoutRev) return;
  if (s.layoutRev < 3) rcvPosFiltDefaults(s.posFilt);
  if (s.layoutRev < 4) {
    // Fields of layout 4 lay in the reserved tail, which older layouts left zero: only the grid
    // has defaults other than 0. The base publishes the averaged position, the one older
    // layouts stored.
    rcvGridDefaults(s.grid);
    s.refPosFrom = kRefPosFromMeasured;
  }
  s.layoutRev = kRcvSetLayoutRev;
  g_rcvBlock.update(&s, sizeof s);
}

void gatherRtcm() { rtcmSettingsGatherHook(RtcmSet); }

void histDefaults(std::uint8_t (&h)[kHistBlockSize]) {
  for (auto& c : h) c = 0;
}

// Globals that mirror stored fields.
void mirror() {
  tPosMode = RcvSet.posMode;
  bFiltMode = RcvSet.filtMode;
  rtcmMode = RtcmSet.rtcmMode;
}

void runAfterLoad() {
  const RcvSettingsHooks& h = rcvSettingsHooks;
  mirror();
  h.cpdParams(RcvSet);
  h.msLogicInit(RcvSet.msInt, RcvSet.secInt);
  h.lbandSetMode(RcvSet.lbandMode != 0);
  h.cpuSetNum(RcvSet.cpuNum);
  for (int a = 0; a < 2; ++a) {
    if (RcvSet.antName[a][0]) h.antDbFind(a, RcvSet.antName[a]);
  }
  if (RcvSet.geoidFile[0] == 0) h.geoidBuiltIn();
  nvAfterLoadHooks();
}

// Fields this layer serves by keyword get a value of their keyword list whatever was stored.
void boundFields() {
  RCV_SETTINGS def;
  rcvSetDefaults(def);
  if (RcvSet.cpuNum > 5) RcvSet.cpuNum = def.cpuNum;
  if (RcvSet.lbandMode > 1) RcvSet.lbandMode = 1;
  if (RcvSet.posMode > 6) RcvSet.posMode = def.posMode;
  if (RcvSet.msmCompat > 6) RcvSet.msmCompat = def.msmCompat;
  if (RcvSet.refPort < -2 || RcvSet.refPort > 21) RcvSet.refPort = def.refPort;
  if (RtcmSet.rtcm3MaxSats < 0 || RtcmSet.rtcm3MaxSats > 127) RtcmSet.rtcm3MaxSats = 0;
}

// Text fields end inside their arrays whatever the stored bytes were.
void terminateTexts() {
  RcvSet.geoidFile[sizeof RcvSet.geoidFile - 1] = 0;
  for (auto& n : RcvSet.antName) n[sizeof n - 1] = 0;
  RcvSet.antSerial[sizeof RcvSet.antSerial - 1] = 0;
  RcvSet.fileButton.name[sizeof RcvSet.fileButton.name - 1] = 0;
  RtcmSet.rtcmCod.text16[sizeof RtcmSet.rtcmCod.text16 - 1] = 0;
  RtcmSet.rtcmCod.text36[sizeof RtcmSet.rtcmCod.text36 - 1] = 0;
  RtcmSet.rtcm3Cod.text[sizeof RtcmSet.rtcm3Cod.text - 1] = 0;
  RtcmSet.cmrCod.shortName[sizeof RtcmSet.cmrCod.shortName - 1] = 0;
  RtcmSet.cmrCod.cogo[sizeof RtcmSet.cmrCod.cogo - 1] = 0;
  RtcmSet.cmrCod.longName[sizeof RtcmSet.cmrCod.longName - 1] = 0;
  bc.name[sizeof bc.name - 1] = 0;
  bc.antDescr[sizeof bc.antDescr - 1] = 0;
  bc.antSerial[sizeof bc.antSerial - 1] = 0;
}
}  // namespace

bool nv_rcvSettingsRestored() { return g_rcvRestored; }

void nv_readSettings() {
  {
    RamNvmLock lock;
    if (!g_rcvBlock.isAllocated()) {
      g_rcvBlock.allocate(sizeof(RCV_SETTINGS), kRcvSetBlockId, true, true);
      g_navBlock.allocate(sizeof(NavTask::NAV_SETTINGS), kNavSetBlockId, true, true);
      g_rtcmBlock.allocate(sizeof(RTCM_SETTINGS), kRtcmSetBlockId, true, true);
      g_baseBlock.allocate(sizeof(BASECOORD), kBaseBlockId, true, true);
      g_histBlock.allocate(kHistBlockSize, kHistBlockId, true, true);
    }
    g_rcvRestored = loadRecord(g_rcvBlock, RcvSet, rcvSetDefaults, "receiver settings");
    upgradeRcvSet(RcvSet);
    loadRecord(g_navBlock, NavSet, navSetDefaults, "navigation settings");
    loadRecord(g_rtcmBlock, RtcmSet, rtcmSetDefaults, "RTCM settings");
    Locker<Mutex> base(baseCoordLock());
    loadRecord(g_baseBlock, bc, baseCoordDefaults, "base coordinates");
    if (!g_histBlock.isValid()) {
      g_histBlock.sayDefaultsRestored("history");
      std::uint8_t h[kHistBlockSize];
      histDefaults(h);
      g_histBlock.update(h, sizeof h);
    }
    terminateTexts();
    boundFields();
    navSetDeriveCounts(NavSet, RcvSet.msInt);
  }
  rtcmSettingsApplyHook(RtcmSet);
  runAfterLoad();
}

void nv_defaultSettings() {
  {
    RamNvmLock lock;
    rcvSetDefaults(RcvSet);
    navSetDefaults(NavSet);
    rtcmSetDefaults(RtcmSet);
    g_rcvBlock.update(&RcvSet, sizeof RcvSet);
    g_navBlock.update(&NavSet, sizeof NavSet);
    g_rtcmBlock.update(&RtcmSet, sizeof RtcmSet);
    // The correction decoders' task writes the record and the rover copies it while this runs.
    Locker<Mutex> base(baseCoordLock());
    baseCoordDefaults(bc);
    g_baseBlock.update(&bc, sizeof bc);
  }
  rtcmSettingsApplyHook(RtcmSet);
  runAfterLoad();
}

bool nv_writeRcvSettings(const RCV_SETTINGS* s) {
  if (s && s != &RcvSet) RcvSet = *s;
  mirror();
  return g_rcvBlock.update(&RcvSet, sizeof RcvSet);
}

bool nv_writeNavSettings(const NavTask::NAV_SETTINGS* s) {
  if (s && s != &NavSet) NavSet = *s;
  return g_navBlock.update(&NavSet, sizeof NavSet);
}

bool nv_writeRtcmSettings() {
  gatherRtcm();
  return g_rtcmBlock.update(&RtcmSet, sizeof RtcmSet);
}

bool nv_writeCmrSettings() {
  gatherRtcm();
  // The CMR decoder part and the CMR coder part, each as one update of its own bytes.
  bool ok = g_rtcmBlock.update(&RtcmSet.cmrDec, sizeof RtcmSet.cmrDec, offsetof(RTCM_SETTINGS, cmrDec));
  return g_rtcmBlock.update(&RtcmSet.cmrCod, sizeof RtcmSet.cmrCod, offsetof(RTCM_SETTINGS, cmrCod)) && ok;
}

bool nv_writeRtcm3Settings() {
  gatherRtcm();
  RtcmSet.rtcmMode = rtcmMode;
  return g_rtcmBlock.update(&RtcmSet, sizeof RtcmSet);
}

bool nv_writeBaseSettings(const BASECOORD* b) {
  if (b && b != &bc) bc = *b;
  return g_baseBlock.update(&bc, sizeof bc);
}

bool nv_writeGloCalib(int mode) {
  RcvSet.gloCalib = static_cast<std::uint8_t>(mode < 0 ? 0 : (mode > 255 ? 255 : mode));
  return nv_writeRcvSettings();
}

bool nv_writeRefIdSettings(int refId) {
  if (refId < -1 || refId > 4095) return false;
  gatherRtcm();
  auto id = static_cast<std::int16_t>(refId);
  RtcmSet.refId = id;
  RtcmSet.rtcmCod.stationId = id;
  RtcmSet.rtcm3Cod.stationId = id;
  RtcmSet.cmrCod.stationId = id;
  // The coders send the new id from their next message on.
  rtcmSettingsApplyHook(RtcmSet);
  return g_rtcmBlock.update(&RtcmSet, sizeof RtcmSet);
}

void initRtcmSettingsRefId() { rtcmSettingsApplyHook(RtcmSet); }

void rtcmSettingsSetGatherHook(RtcmSettingsSyncFn fn) { rtcmSettingsGatherHook = fn; }
void rtcmSettingsSetApplyHook(RtcmSettingsSyncFn fn) { rtcmSettingsApplyHook = fn; }

NvBlock& nvHistBlock() { return g_histBlock; }

