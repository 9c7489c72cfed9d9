#include "differential/rtcm3/rtcm3_keys.h"

#include <cmath>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "differential/coding_driver.h"
#include "differential/rtcm3/rtcm3_coder.h"
#include "differential/rtcm3/rtcm3_transform_print.h"
#include "differential/rtcm3_decoder.h"
#include "differential/rtcm3_observations.h"
#include "platform/ports/io_port_index.h"
#include "positioning/signal_tables.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

namespace {

constexpr const char* kVersions = "v3.3,exp";
// Signal slots 0..5 of the MSM switches.
constexpr int kMsmSlotCount = static_cast<int>(sizeof(RTC3_COD_SETTINGS::msm));
constexpr const char* kMsmSignals[kMsmSlotCount] = {"ca", "p1", "p2", "l2c", "l5", "l1c"};
// "other" names the convention of a further receiver maker's MSM phases.
constexpr const char* kCompat = "v37,v400,vorla,other,def,hard,auto";
constexpr int kCompatAuto = 6;
constexpr int kCompatDefault = 4;
// Satellite system names of msm/info/, by system index.
constexpr const char* kSysNames[kRtc3MsmSystems] = {"gps", "glo", "gal", "sbas", "qzss", "comp", "irnss"};

constexpr int kStidMin = -1, kStidMax = 4095;
constexpr int kTextMax = static_cast<int>(sizeof(RTC3_COD_SETTINGS::text)) - 1;
constexpr int kSvmMax = 127;
constexpr int kPhaseSysMax = 4, kPhaseSignalMax = 32;
constexpr double kPhaseShiftMax = 0.75;  // cycles
constexpr double kPeriodMax = 86400.0;   // s
constexpr int kWrapMin = -1, kWrapMax = 255;
// The re-output period is kept in steps of 5 ms.
constexpr double kPeriodStepsPerSecond = 200.0;
constexpr int kPeriodStepMs = 5;

// ---- base/

// The coder's settings with one field changed from `p`; 3 for a key that is not one of them.
int baseField(const char* p, const ZRNamedNode* v, RTC3_COD_SETTINGS& s) {
  if (strcmpA(p, "stid")) return setInt(v, s.stationId, kStidMin, kStidMax);
  if (strcmpA(p, "l2c")) return setBool(v, s.l2c);
  if (strcmpA(p, "ver")) {
    int k = static_cast<int>(s.ver);
    if (int rc = setEnum(v, k, kVersions)) return rc;
    s.ver = static_cast<std::uint32_t>(k);
    return CMD_OK;
  }
  if (strcmpA(p, "text")) return setString(v, s.text, sizeof s.text, 0, kTextMax);
  if (strcmpA(p, "clk/steering")) return setBool(v, s.clkSteering);
  if (const char* m = strncmpA(p, "msm")) {
    for (int i = 0; i < kMsmSlotCount; ++i)
      if (strcmpA(m, kMsmSignals[i])) return setBool(v, s.msm[i]);
    return CMD_WRONG_1ST;
  }
  if (const char* t = strncmpA(p, "textparam")) {
    for (int i = 0; i < kTextParams; ++i)
      if (strcmpA(t, RTC3_Coder::cRtc3TextParamNames[i])) return setBool(v, s.textParam[i]);
    // A name that is none of the texts changes nothing, and says so.
    return CMD_WRONG_1ST;
  }
  return CMD_WRONG_1ST;
}

int rtcm3BaseSet(const char* p, const ZRNamedNode* v) {
  if (strcmpA(p, "svm")) {
    int n = 0;
    if (int rc = setInt(v, n, 0, kSvmMax)) return rc;
    // Takes effect at once; the coder's settings stay as they are.
    rtcm3SetMaxSats(n);
    nv_writeRtcm3Settings();
    nv_writeRcvSettings();
    return CMD_OK;
  }
  RTC3_COD_SETTINGS s = Rtcm3Cod.settings();
  if (int rc = baseField(p, v, s)) return rc;
  // One id for every format: one that would silence an RTCM 2 or CMR stream already on is refused.
  if (strcmpA(p, "stid") && !diffStationIdFitsStreams(s.stationId)) return CMD_WRONG_ID;
  Rtcm3Cod.setSettings(s);
  nv_writeRtcm3Settings();
  // The other formats send the same station id.
  nv_writeRefIdSettings(s.stationId);
  initRtcmSettingsRefId();
  return CMD_OK;
}

const RTC3_COD_SETTINGS* g_cod = nullptr;  // the settings being printed

int msmBasePrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < kMsmSlotCount; ++i)
    if (strcmpA(p, kMsmSignals[i])) rc = reBool(re, g_cod->msm[i] != 0);
  return rc;
}

int textParamPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < kTextParams; ++i)
    if (strcmpA(p, RTC3_Coder::cRtc3TextParamNames[i])) rc = reBool(re, g_cod->textParam[i] != 0);
  return rc;
}

int clkPrint(const char* p, Reply& re) {
  if (strcmpA(p, "steering")) return reBool(re, g_cod->clkSteering != 0);
  return CMD_WRONG_1ST;
}

int rtcm3BasePrint(const char* p, Reply& re) {
  static RTC3_COD_SETTINGS s;
  s = Rtcm3Cod.settings();
  g_cod = &s;
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "stid")) rc = reLong(re, s.stationId);
  if (strcmpA(p, "l2c")) rc = reBool(re, s.l2c != 0);
  if (strcmpA(p, "ver")) rc = reEnum(re, static_cast<int>(s.ver), kVersions);
  if (const char* m = strncmpA(p, "msm")) rc = reSub(msmBasePrint, m, re);
  if (strcmpA(p, "text")) rc = reString(re, s.text);
  if (const char* t = strncmpA(p, "textparam")) rc = reSub(textParamPrint, t, re);
  if (strcmpA(p, "svm")) rc = reLong(re, rtcm3GetMaxSats());
  if (const char* c = strncmpA(p, "clk")) rc = reSub(clkPrint, c, re);
  return rc;
}

// ---- rover/

void applyPhaseDiag(const RTCM_SETTINGS& r) {
  if (r.phaseDiagSet == 0) {
    DebugPhaseOffsetSys = -1;
    DebugPhaseOffsetSignal = 0;
    DebugPhaseOffset = 0.0f;
    return;
  }
  DebugPhaseOffsetSys = r.phaseDiagSys;
  DebugPhaseOffsetSignal = r.phaseDiagSignal;
  DebugPhaseOffset = r.phaseDiagShift;
}

int phaseSet(const char* p, const ZRNamedNode* v) {
  // The live values mirror the stored ones (or none before the first set).
  auto sys = static_cast<std::int16_t>(DebugPhaseOffsetSys);
  auto signal = static_cast<std::int16_t>(DebugPhaseOffsetSignal);
  float shift = DebugPhaseOffset;
  if (strcmpA(p, "sys")) {
    if (int rc = setInt(v, sys, 0, kPhaseSysMax)) return rc;
  } else if (strcmpA(p, "signal")) {
    if (int rc = setInt(v, signal, 0, kPhaseSignalMax)) return rc;
  } else if (strcmpA(p, "shift")) {
    if (int rc = setFloat(v, shift, -kPhaseShiftMax, kPhaseShiftMax)) return rc;
  } else {
    return CMD_WRONG_1ST;
  }
  RtcmSet.phaseDiagSys = sys;
  RtcmSet.phaseDiagSignal = signal;
  RtcmSet.phaseDiagShift = shift;
  RtcmSet.phaseDiagSet = 1;
  applyPhaseDiag(RtcmSet);
  nv_writeRtcm3Settings();
  return CMD_OK;
}

int compatSet(const ZRNamedNode* v) {
  int k = RcvSet.msmCompat;
  if (int rc = setEnum(v, k, kCompat)) return rc;
  RcvSet.msmCompat = static_cast<std::uint16_t>(k);
  // "auto" leaves the current mode to the next receiver description received.
  if (k != kCompatAuto) RTC3_Decoder::compatibleVendor = k;
  nv_writeRcvSettings();
  return CMD_OK;
}

// The decoder settings with one field changed from `p`; 3 for a key that is not one of them.
int roverField(const char* p, const ZRNamedNode* v, RTC3_DEC_SETTINGS& s) {
  if (strcmpA(p, "globias")) return setBool(v, s.gloBias);
  if (strcmpA(p, "out/port")) {
    const char* t = v != nullptr && v->isText() ? v->text() : "";
    if (*t == '/') ++t;
    // dev/null is no port, and turns the re-output off again.
    if (std::strcmp(t, iopGetName(IOP_NULL)) == 0) {
      s.outPort = IOP_NULL;
      return CMD_OK;
    }
    int port = IOP_NULL;
    if (int rc = setPort(v, port)) return rc;
    if (port < 0) return CMD_WRONG_2ND;
    s.outPort = port;
    return CMD_OK;
  }
  if (strcmpA(p, "out/period")) {
    double sec = 0.0;
    if (int rc = setDouble(v, sec, 0.0, kPeriodMax)) return rc;
    s.decimation = static_cast<std::int32_t>(std::lround(sec * kPeriodStepsPerSecond)) * kPeriodStepMs;
    return CMD_OK;
  }
  if (strcmpA(p, "out/wrap")) return setInt(v, s.wrapStream, kWrapMin, kWrapMax);
  return CMD_WRONG_1ST;
}

int rtcm3RoverSet(const char* p, const ZRNamedNode* v) {
  if (strcmpA(p, "msm/compat")) return compatSet(v);
  if (const char* ph = strncmpA(p, "msm/phase")) return phaseSet(ph, v);
  if (strcmpA(p, "msm/info/reset")) {
    bool yes = false;
    if (int rc = setBool(v, yes)) return rc;
    if (yes) clearLastMsmInfo();
    return CMD_OK;
  }
  RTC3_DEC_SETTINGS s = RtcmSet.rtcm3Dec;
  if (int rc = roverField(p, v, s)) return rc;
  RtcmSet.rtcm3Dec = s;
  RTC3_Decoder::setSettings(s);
  nv_writeRtcm3Settings();
  return CMD_OK;
}

int sysInfoPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int sys = 0; sys < kRtc3MsmSystems; ++sys) {
    if (!strcmpA(p, kSysNames[sys])) continue;
    int type = 0;
    std::uint64_t sat = 0;
    std::uint32_t sgn = 0;
    getLastMsmInfo(sys, type, sat, sgn);
    // All 64 satellites of the mask: Galileo and BeiDou number theirs beyond 32.
    re.printf("{msg=%i,sat=0x%.16llX,sgn=0x%.8lX}", type, static_cast<unsigned long long>(sat),
              static_cast<unsigned long>(sgn));
    rc = CMD_OK;
  }
  return rc;
}

int phasePrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "sys")) rc = reShort(re, static_cast<short>(DebugPhaseOffsetSys));
  if (strcmpA(p, "signal")) rc = reShort(re, static_cast<short>(DebugPhaseOffsetSignal));
  if (strcmpA(p, "shift")) rc = reDouble(re, DebugPhaseOffset, 2);
  return rc;
}

int msmRoverPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "compat")) rc = reEnum(re, RcvSet.msmCompat, kCompat);
  if (strcmpA(p, "curcompat")) rc = reEnum(re, RTC3_Decoder::compatibleVendor, kCompat);
  if (const char* ph = strncmpA(p, "phase")) rc = reSub(phasePrint, ph, re);
  // What the decoders received prints when named; a listing shows the settings (and keeps the
  // print of the whole tree within one reply).
  if (*p != 0)
    if (const char* in = strncmpA(p, "info")) rc = reSub(sysInfoPrint, in, re);
  return rc;
}

int outPrint(const char* p, Reply& re) {
  const RTC3_DEC_SETTINGS s = RTC3_Decoder::getSettings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "port")) {
    re.put('/');
    rc = reString(re, iopGetName(s.outPort));
  }
  if (strcmpA(p, "period")) rc = reDouble(re, s.decimation / 1000.0, 3);
  if (strcmpA(p, "wrap")) rc = reLong(re, s.wrapStream);
  return rc;
}

int rtcm3RoverPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "globias")) rc = reBool(re, RTC3_Decoder::getSettings().gloBias != 0);
  if (const char* m = strncmpA(p, "msm")) rc = reSub(msmRoverPrint, m, re);
  if (const char* o = strncmpA(p, "out")) rc = reSub(outPrint, o, re);
  if (*p != 0)
    if (const char* t = strncmpA(p, "transform")) rc = reSub(rtcm3TransformPrint, t, re);
  return rc;
}

// ---- the area

int rtcm3cSet(const char* p, const ZRNamedNode* v) {
  if (const char* b = strncmpA(p, "base")) return rtcm3BaseSet(b, v);
  if (const char* r = strncmpA(p, "rover")) return rtcm3RoverSet(r, v);
  return CMD_WRONG_1ST;
}

int rtcm3cPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* b = strncmpA(p, "base")) rc = reSub(rtcm3BasePrint, b, re);
  if (const char* r = strncmpA(p, "rover")) rc = reSub(rtcm3RoverPrint, r, re);
  return rc;
}

}  // namespace

bool registerRtcm3Area() { return parRegisterArea("rtcm3", rtcm3cSet, rtcm3cPrint); }

void rtcm3SettingsLoaded() {
  RTC3_DEC_SETTINGS& s = RtcmSet.rtcm3Dec;
  // Values an image from elsewhere may hold are brought back to what a set could give.
  if (s.outPort < 0 || s.outPort > IOP_NULL) s.outPort = IOP_NULL;
  if (s.decimation < 0 || s.decimation > kPeriodMax * 1000.0) s.decimation = 0;
  s.decimation -= s.decimation % kPeriodStepMs;
  if (s.wrapStream < kWrapMin || s.wrapStream > kWrapMax) {
    RTCM_SETTINGS def;
    rtcmSetDefaults(def);
    s.wrapStream = def.rtcm3Dec.wrapStream;
  }
  s.gloBias = s.gloBias != 0 ? 1 : 0;
  RTC3_Decoder::setSettings(s);
  RTCM_SETTINGS& r = RtcmSet;
  const bool phaseOk = r.phaseDiagSys >= -1 && r.phaseDiagSys <= kPhaseSysMax && r.phaseDiagSignal >= 0 &&
                       r.phaseDiagSignal <= kPhaseSignalMax && std::isfinite(r.phaseDiagShift) &&
                       std::fabs(r.phaseDiagShift) <= kPhaseShiftMax;
  if (!phaseOk) r.phaseDiagSet = 0;
  applyPhaseDiag(r);
  const int compat = RcvSet.msmCompat;
  RTC3_Decoder::compatibleVendor = compat >= 0 && compat < kCompatAuto ? compat : kCompatDefault;
}
