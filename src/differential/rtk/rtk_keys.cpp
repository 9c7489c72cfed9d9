#include "differential/rtk/rtk_keys.h"

#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "differential/cmr/cmr_client.h"
#include "differential/cmr/cmr_decoder.h"
#include "differential/placeholders.h"
#include "differential/rtk_base.h"
#include "differential/rtcm3_transform.h"
#include "differential/rtk/rtk_engine.h"
#include "differential/rtk/rtk_hd_hist_keys.h"
#include "differential/rtk/rtk_legacy_keys.h"
#include "differential/rtk/rtk_reset.h"
#include "platform/ports/in_port.h"
#include "positioning/corrections/troposphere_correction.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/reference/reference_pos.h"
#include "settings/base_coord.h"
#include "settings/nav_settings.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

bool bKeepRefPos = false;

namespace {

using R = RcvRtkSettings;
R& rtk() { return RcvSet.rtk; }

constexpr const char* kAfLevels = "extralow,low,medium,high";
constexpr const char* kModes = "delay,extrap";
constexpr const char* kEnv = "forest,open";
constexpr const char* kCatcher = "normal,critical,coarse,coarsest";
constexpr const char* kDelay = "last,every";
constexpr const char* kResVrs = "act,virt";
constexpr const char* kRtkPlus = "stop,start";
constexpr const char* kTropoModels = "gpsdef,waasdef,gcat,niell,unb3,unb4,goadgood";
constexpr int kTropoModelLast = 6;
constexpr const char* kOffsType = "l1pc,arp";
// The signal slots of the RTK engine, in slot order.
constexpr const char* kSlotNames[6] = {"ca", "p1", "p2", "c2", "l5", "l1c"};
constexpr int kAnyPort = -2;

// ---- keys stored in RcvSet.rtk, one row each ----------------------------------------------

enum class Kind {
  kBool,    // u8 0/1, words no:n:off,yes:y:on
  kU8,      // u8 integer
  kI32,     // i32 integer
  kFloat,   // float
  kF2D,     // float reader, stored as a double
  kDouble,  // double
  kEnum,    // u8 index of `words`
  kMs,      // i32 milliseconds, read and printed in seconds
};

struct Row {
  const char* name;
  Kind kind;
  std::size_t off;  // in RcvRtkSettings
  double min, max;  // kMs: seconds
  const char* words;
  int decimals;     // print of real values
  void (*apply)();  // after the store: the live copies
  int (*print)(Reply& re);  // null: printed from RcvSet
};

#define AT(field) offsetof(RcvRtkSettings, field)
#define BOOL(name, field) {name, Kind::kBool, AT(field), 0, 1, nullptr, 0, nullptr, nullptr}
#define ENUM(name, field, words) {name, Kind::kEnum, AT(field), 0, 0, words, 0, nullptr, nullptr}
#define INT8(name, field, lo, hi) {name, Kind::kU8, AT(field), lo, hi, nullptr, 0, nullptr, nullptr}
#define INT32(name, field, lo, hi) {name, Kind::kI32, AT(field), lo, hi, nullptr, 0, nullptr, nullptr}
#define REAL(name, field, lo, hi, dec) {name, Kind::kFloat, AT(field), lo, hi, nullptr, dec, nullptr, nullptr}
#define MS(name, field, lo, hi) {name, Kind::kMs, AT(field), lo, hi, nullptr, 3, nullptr, nullptr}

void applyMeteo();

const Row kRows[] = {
    {"dblchk", Kind::kBool, AT(dblchk), 0, 1, nullptr, 0, [] { cpdParams.dblchk = rtk().dblchk != 0; }, nullptr},
    {"scale", Kind::kU8, AT(scale), 0, 2, nullptr, 0, [] { cpdParams.scale = rtk().scale; },
     [](Reply& re) { return reLong(re, cpdParams.scale); }},
    {"aflevel", Kind::kEnum, AT(aflevel), 0, 0, kAfLevels, 0,
     [] { cpdParams.setAmbFixLevel(static_cast<int>(rtk().aflevel)); },
     [](Reply& re) { return reEnum(re, static_cast<int>(cpdParams.ambFixLevel), kAfLevels); }},
    {"mode", Kind::kEnum, AT(mode), 0, 0, kModes, 0, [] { cpdParams.mode = rtk().mode; },
     [](Reply& re) { return reEnum(re, cpdParams.mode, kModes); }},
    BOOL("se", se), BOOL("crpc", crpc), BOOL("smr", smr), BOOL("averr", averr), BOOL("usebasedop", usebasedop),
    BOOL("qcheck", qcheck), BOOL("vrs", vrs), BOOL("mac", mac), BOOL("gpsfirst", gpsfirst),
    BOOL("resmode", resmode), BOOL("fkp", fkp), BOOL("wl", wl), BOOL("l1only", l1only), BOOL("diffext", diffext),
    BOOL("fixins", fixins),
    MS("period", period, 0.005, 100), MS("afperiod", afperiod, 0.05, 5), MS("experiod", experiod, 0, 5),
    INT32("fixwait", fixwait, -1, 3600), INT32("timegap", timegap, -1, 3600),
    {"check", Kind::kI32, AT(check), -1, 32767, nullptr, 0, [] { cpdParams.check = rtk().check; }, nullptr},
    ENUM("env", env, kEnv), ENUM("catcher", catcher, kCatcher), ENUM("delay", delay, kDelay),
    REAL("tgpsfirst", tgpsfirst, 0, 300, 0), ENUM("resvrs", resvrs, kResVrs), INT8("wlmult", wlmult, 0, 2),
    {"ion", Kind::kBool, AT(ion), 0, 1, nullptr, 0, [] { cpdParams.ion = rtk().ion != 0 ? 1 : 0; },
     [](Reply& re) { return reBool(re, cpdParams.ion != 0); }},
    REAL("ionr", ionr, 0, 999999.9, 1), REAL("ionf", ionf, 0, 999999.9, 1), REAL("iont", iont, 0, 1800, 1),
    {"mem", Kind::kF2D, AT(mem), 0.5, 1.0, nullptr, 5, [] { cpdParams.mem = static_cast<float>(rtk().mem); },
     [](Reply& re) { return reDouble(re, cpdParams.mem, 5); }},
    INT8("maxit", maxit, 1, 10), INT8("maxitf", maxitf, 1, 10), INT8("minpot", minpot, 1, 60),
    INT8("minpotp", minpotp, 1, 60), INT8("minsat", minsat, 4, 44), INT8("maxsat", maxsat, 4, 44),
    {"rmsc", Kind::kFloat, AT(rmsc), 0.001, 100, nullptr, 5, [] { cpdParams.SetCodeRMS(rtk().rmsc); },
     [](Reply& re) { return reDouble(re, cpdParams.slot[0].codeRms, 5); }},
    {"rmsp", Kind::kFloat, AT(rmsp), 0.001, 1.0, nullptr, 5, [] { cpdParams.SetPhaseRMS(rtk().rmsp); },
     [](Reply& re) { return reDouble(re, cpdParams.slot[0].phaseRms, 5); }},
    REAL("tolthr", tolthr, 0.01, 3.0, 3), REAL("range", range, 0, 10000000, 1), INT8("mbtimeout", mbtimeout, 1, 6),
    {"ref/keep", Kind::kBool, AT(refKeep), 0, 1, nullptr, 0, [] { bKeepRefPos = rtk().refKeep != 0; }, nullptr},
    {"dyn", Kind::kDouble, AT(dyn), 0, 1, nullptr, 4, [] { cpdParams.SetDyn(static_cast<float>(rtk().dyn)); },
     nullptr},
    {"fixpos", Kind::kBool, AT(fixpos), 0, 1, nullptr, 0, [] { cpdParams.SetInitKnown(rtk().fixpos != 0); },
     nullptr},
    ENUM("rtkplus", rtkplus, kRtkPlus), REAL("pen", pen, 0, 1000, 4), REAL("offt", offt, 0, 1000, 4),
    {"tempc", Kind::kFloat, AT(tempc), -100, 100, nullptr, 1, applyMeteo,
     [](Reply& re) { return reDouble(re, cpdParams.tempc, 1); }},
    {"humid", Kind::kFloat, AT(humid), 0, 100, nullptr, 1, applyMeteo,
     [](Reply& re) { return reDouble(re, cpdParams.humid, 1); }},
    {"press", Kind::kFloat, AT(press), 1, 2000, nullptr, 1, applyMeteo,
     [](Reply& re) { return reDouble(re, cpdParams.press, 1); }},
    REAL("textr", textr, 0, 14400, 1), REAL("textrse", textrse, 0, 14400, 1),
    BOOL("var/diff", varDiff),
    // Printed only, set elsewhere.
    BOOL("resetfix", resetfix),
};
#undef AT
#undef BOOL
#undef ENUM
#undef INT8
#undef INT32
#undef REAL
#undef MS

// Keys that only print (set by another road).
bool printOnly(const Row& r) { return std::strcmp(r.name, "resetfix") == 0; }

const Row* findRow(const char* name) {
  for (const Row& r : kRows)
    if (std::strcmp(r.name, name) == 0) return &r;
  return nullptr;
}

template <class T>
T& field(const Row& r) {
  return *reinterpret_cast<T*>(reinterpret_cast<unsigned char*>(&rtk()) + r.off);
}

// Seconds into whole milliseconds, the nearest.
std::int32_t toMs(double seconds) { return static_cast<std::int32_t>(std::lround(seconds * 1000.0)); }

int setRow(const Row& r, const ZRNamedNode* v) {
  int rc = CMD_OK;
  switch (r.kind) {
    case Kind::kBool: rc = setBool(v, field<std::uint8_t>(r)); break;
    case Kind::kU8:
      rc = setInt(v, field<std::uint8_t>(r), static_cast<long long>(r.min), static_cast<long long>(r.max));
      break;
    case Kind::kI32:
      rc = setInt(v, field<std::int32_t>(r), static_cast<long long>(r.min), static_cast<long long>(r.max));
      break;
    case Kind::kFloat: rc = setFloat(v, field<float>(r), r.min, r.max); break;
    case Kind::kF2D: {
      float f = 0.0f;
      rc = setFloat(v, f, r.min, r.max);
      if (rc == CMD_OK) field<double>(r) = f;
      break;
    }
    case Kind::kDouble: rc = setDouble(v, field<double>(r), r.min, r.max); break;
    case Kind::kEnum: {
      int k = 0;
      rc = setEnum(v, k, r.words);
      if (rc == CMD_OK) field<std::uint8_t>(r) = static_cast<std::uint8_t>(k);
      break;
    }
    case Kind::kMs: {
      double s = 0.0;
      rc = setDouble(v, s, r.min, r.max);
      if (rc == CMD_OK) field<std::int32_t>(r) = toMs(s);
      break;
    }
  }
  if (rc == CMD_OK && r.apply) r.apply();
  return rc;
}

int printRow(const Row& r, Reply& re) {
  if (r.print) return r.print(re);
  switch (r.kind) {
    case Kind::kBool: return reBool(re, field<std::uint8_t>(r) != 0);
    case Kind::kU8: return reLong(re, field<std::uint8_t>(r));
    case Kind::kI32: return reLong(re, field<std::int32_t>(r));
    case Kind::kFloat: return reDouble(re, field<float>(r), r.decimals);
    case Kind::kF2D:
    case Kind::kDouble: return reDouble(re, field<double>(r), r.decimals);
    case Kind::kEnum: return reEnum(re, field<std::uint8_t>(r), r.words);
    case Kind::kMs: return reDouble(re, field<std::int32_t>(r) / 1000.0, 3);
  }
  return CMD_WRONG_1ST;
}

// Prints the row `name` when the path names it (or a listing runs); rc keeps the last result.
void pr(const char* p, Reply& re, const char* name, int& rc) {
  if (strcmpA(p, name)) {
    if (const Row* r = findRow(name)) rc = printRow(*r, re);
  }
}
// A row living in a subtree: printed under its short name.
void prIn(const char* p, Reply& re, const char* shortName, const char* rowName, int& rc) {
  if (strcmpA(p, shortName)) {
    if (const Row* r = findRow(rowName)) rc = printRow(*r, re);
  }
}

// ---- the correction-processor setup --------------------------------------------------------

template <class T>
T setupField(const PosSetup::CorrProcessorSetupType& s, std::size_t off) {
  T v{};
  std::memcpy(&v, s.aBytes + off, sizeof v);
  return v;
}
template <class T>
void putSetupField(PosSetup::CorrProcessorSetupType& s, std::size_t off, T v) {
  std::memcpy(s.aBytes + off, &v, sizeof v);
}

// A copy of the setup record taken under the server's lock (its defaults while none is held),
// so that the correction tasks reading it meanwhile never see half a change.
PosSetup::CorrProcessorSetupType setupCopy() {
  PosSetup::CorrProcessorSetupType s{};
  if (PVTDataInstance.corrProcessorSetup.Take(&s) == 0) PosSetup::setDefaults(s);
  return s;
}

// The setup record changed on a copy and stored again.
template <class F>
void changeSetup(F change) {
  PosSetup::CorrProcessorSetupType s = setupCopy();
  change(s);
  PVTDataInstance.corrProcessorSetup.Put(&s);
}

void applyMeteo() {
  cpdParams.tempc = rtk().tempc;
  cpdParams.humid = rtk().humid;
  cpdParams.press = rtk().press;
  PosSetup::MeteoDataType m{};
  PosSetup::convertMeteo(rtk().tempc, rtk().humid, rtk().press, m);
  changeSetup([&](PosSetup::CorrProcessorSetupType& s) { PosSetup::setMeteo(s, m); });
}

int setTropo(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "model") == 0) {
    int k = 0;
    if (int rc = setEnum(v, k, kTropoModels)) return rc;
    if (k > kTropoModelLast) return CMD_OUT_OF_RANGE;
    changeSetup([&](PosSetup::CorrProcessorSetupType& s) {
      putSetupField<std::uint32_t>(s, TropoCorr::kModelTypeOffset, static_cast<std::uint32_t>(k));
    });
    return CMD_OK;
  }
  if (std::strcmp(p, "meteo/user/mode") == 0) {
    bool on = false;
    if (int rc = setBool(v, on)) return rc;
    changeSetup([&](PosSetup::CorrProcessorSetupType& s) {
      putSetupField<std::uint8_t>(s, TropoCorr::kUserMeteoOffset, on ? 1 : 0);
    });
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

// ---- special keys --------------------------------------------------------------------------

// "0" or "1" (decimal digits, at least one) as an index of the two-element arrays.
int pairIndex(const char* s) {
  if (s == nullptr || *s == 0) return -1;
  int v = 0;
  for (; *s; ++s) {
    if (*s < '0' || *s > '9') return -1;
    v = v * 10 + (*s - '0');
    if (v > 1) return -1;
  }
  return v;
}

int setMrtkList(const ZRNamedNode* v) {
  std::uint8_t m[2] = {rtk().mrtk[0], rtk().mrtk[1]};
  if (v != nullptr && v->isList()) {
    const int n = v->size();
    if (n == 0) return CMD_2ND_MISSED;
    // Two engines, two flags: a third item has no element to go to.
    if (n > 2) return CMD_WRONG_2ND;
    for (int k = 0; k < n; ++k) {
      if (int rc = setBool(v->at(k), m[k])) return rc;
    }
  } else {
    if (int rc = setBool(v, m[0])) return rc;
    m[1] = m[0];
  }
  rtk().mrtk[0] = m[0];
  rtk().mrtk[1] = m[1];
  return CMD_OK;
}

int setSi(const ZRNamedNode* v) {
  if (v == nullptr || !v->isList() || v->size() < 2) return CMD_2ND_MISSED;
  std::uint8_t s[2] = {rtk().si[0], rtk().si[1]};
  for (int k = 0; k < 2; ++k) {
    if (int rc = setBool(v->at(k), s[k])) return rc;
  }
  rtk().si[0] = s[0];
  rtk().si[1] = s[1];
  return CMD_OK;
}

int setMeas(const char* name, const ZRNamedNode* v) {
  for (int k = 0; k < 6; ++k) {
    if (std::strcmp(name, kSlotNames[k]) != 0) continue;
    if (int rc = setBool(v, rtk().meas[k])) return rc;
    bool use[CpdParams::kSlotNum];
    for (int i = 0; i < CpdParams::kSlotNum; ++i) use[i] = cpdParams.useSlot[i];
    use[k] = rtk().meas[k] != 0;
    cpdParams.setUseSlot(use);
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

// A new station or base id asks the CMR side to restart its RTK: a real change to a station,
// or -2 every time.
bool idAsksReset(int now, int stored) { return (now != stored && now != -1) || now == -2; }

int setInputId(const ZRNamedNode* v) {
  std::int16_t id = rtk().inputId;
  if (int rc = setInt(v, id, -2, 4095)) return rc;
  if (idAsksReset(id, rtk().inputId)) cmrClient.resetRTK();
  rtk().inputId = id;
  return CMD_OK;
}

int setInUse(const ZRNamedNode* v) {
  CMR_DEC_SETTINGS s = RtcmSet.cmrDec;
  if (int rc = setInt(v, s.inUse, -1, 4095)) return rc;
  if (s.inUse != RtcmSet.cmrDec.inUse && s.inUse != -1) cmrClient.resetRTK();
  RtcmSet.cmrDec = s;
  CmrDec.setSettings(s);
  nv_writeCmrSettings();
  return CMD_OK;
}

int setNrs(const char* p, const ZRNamedNode* v) {
  CMR_DEC_SETTINGS s = RtcmSet.cmrDec;
  if (std::strcmp(p, "mode") == 0) {
    if (int rc = setBool(v, s.nrsMode)) return rc;
  } else if (std::strcmp(p, "lim") == 0) {
    if (int rc = setFloat(v, s.nrsLim, 1, 10000)) return rc;
  } else if (std::strcmp(p, "cnt") == 0) {
    if (int rc = setInt(v, s.nrsCnt, 1, 30000)) return rc;
  } else {
    return CMD_WRONG_1ST;
  }
  RtcmSet.cmrDec = s;
  CmrDec.setSettings(s);
  nv_writeCmrSettings();
  return CMD_OK;
}

int setRefPort(const ZRNamedNode* v) {
  if (v == nullptr || v->isEmpty()) return CMD_2ND_MISSED;
  if (!v->isText()) return CMD_WRONG_2ND;
  const char* t = v->text();
  if (std::strcmp(t, "any") == 0) {
    RcvSet.refPort = kAnyPort;
    return CMD_OK;
  }
  if (*t == '/') ++t;
  const int port = InPorts::find(t);
  if (port < 0 || port >= IOP_NULL || InPorts::io2dec_[port] < 0) return CMD_WRONG_2ND;
  RcvSet.refPort = static_cast<std::int16_t>(InPorts::io2dec_[port]);
  return CMD_OK;
}

bool currentDatumIsGot() {
  static_assert(sizeof(NavTask::DATUM_IN_USE) <= NavTask::kDatumBytes);
  const auto* d = reinterpret_cast<const NavTask::DATUM_IN_USE*>(NavSet.datum);
  return std::strncmp(d->name, "GOT", sizeof d->name) == 0;
}

// Forgets the stored base and what came with it. The stored reference position loses its
// valid bit whatever the value was: the next base position message refills it.
int cleanRef(const ZRNamedNode* v) {
  bool on = false;
  const int rc = setBool(v, on);
  if (rc == CMD_OK) {
    invalidateRtkBase(0);
    RTC3_CoordTransf::clearGotTransData();
    if (currentDatumIsGot()) {
      navDatumDefaultsHook(NavSet.datum, sizeof NavSet.datum);
      ++RcvSet.changeCount;
      nv_writeNavSettings();
    }
  }
  RcvPosGPS.clearValid();
  return rc;
}

// ---- print ---------------------------------------------------------------------------------

int mrtkPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "0")) rc = reBool(re, rtk().mrtk[0] != 0);
  if (strcmpA(p, "1")) rc = reBool(re, rtk().mrtk[1] != 0);
  return rc;
}

int measPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int k = 0; k < 6; ++k) {
    if (strcmpA(p, kSlotNames[k])) rc = reBool(re, cpdParams.useSlot[k]);
  }
  return rc;
}

int userPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reBool(re, setupField<std::uint8_t>(setupCopy(), TropoCorr::kUserMeteoOffset) != 0);
  return rc;
}
int meteoPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "user")) rc = reSub(userPrint, r, re);
  return rc;
}
int tropomPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "model")) {
    const std::uint32_t m = setupField<std::uint32_t>(setupCopy(), TropoCorr::kModelTypeOffset);
    rc = reEnum(re, m > static_cast<std::uint32_t>(kTropoModelLast) ? -1 : static_cast<int>(m), kTropoModels);
  }
  if (const char* r = strncmpA(p, "meteo")) rc = reSub(meteoPrint, r, re);
  return rc;
}

// A copy of the base record taken under its lock: a base decoder's task may be writing it.
BASECOORD baseCopy() {
  BASECOORD b{};
  getRtkBase(b);
  return b;
}
bool baseValid(const BASECOORD& b) { return (b.valid & 1) != 0; }
double orNan(const BASECOORD& b, double v) { return baseValid(b) ? v : std::numeric_limits<double>::quiet_NaN(); }

int posPrint(const char* p, Reply& re) {
  const BASECOORD b = baseCopy();
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "xyz")) rc = reXYZ(re, r, orNan(b, b.xyz[0]), orNan(b, b.xyz[1]), orNan(b, b.xyz[2]));
  if (const char* r = strncmpA(p, "geo")) rc = reBLH(re, r, orNan(b, b.blh[0]), orNan(b, b.blh[1]), orNan(b, b.blh[2]));
  return rc;
}
int offsPrint(const char* p, Reply& re) {
  const BASECOORD b = baseCopy();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "type")) rc = reEnum(re, (b.offFlags & 4) ? 1 : 0, kOffsType);
  if (const char* r = strncmpA(p, "val")) rc = reENU(re, r, b.offL1[0], b.offL1[1], b.offL1[2]);
  return rc;
}
int antPrint(const char* p, Reply& re) {
  const BASECOORD b = baseCopy();
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "m_offs")) rc = reSub(offsPrint, r, re);
  if (const char* r = strncmpA(p, "l2_l1")) {
    double enu[3];
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (!rtkBaseL2L1Enu(b, enu)) enu[0] = enu[1] = enu[2] = nan;
    rc = reENU(re, r, enu[0], enu[1], enu[2]);
  }
  if (const char* r = strncmpA(p, "l1_arp")) rc = reENU(re, r, b.offArp[0], b.offArp[1], b.offArp[2]);
  return rc;
}
int refPrint(const char* p, Reply& re) {
  const BASECOORD b = baseCopy();
  int rc = CMD_WRONG_1ST;
  prIn(p, re, "keep", "ref/keep", rc);
  if (strcmpA(p, "clean")) rc = reBool(re, false);
  if (strcmpA(p, "id")) rc = reLong(re, baseValid(b) ? b.stationId : 0);
  if (const char* r = strncmpA(p, "pos")) rc = reSub(posPrint, r, re);
  if (const char* r = strncmpA(p, "ant")) rc = reSub(antPrint, r, re);
  return rc;
}

int idPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "id")) rc = reLong(re, rtk().inputId);
  return rc;
}
int inputPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "0")) rc = reSub(idPrint, r, re);
  return rc;
}

int portPrint(Reply& re) {
  const int d = RcvSet.refPort;
  if (d == kAnyPort) return reString(re, "any");
  const int port = d >= 0 && d < InPorts::DEC_NUM ? InPorts::dec2io_[d] : IOP_NULL;
  re.put('/');
  return reString(re, iopGetName(port));
}

// The settings the CMR decoders work with (the stored record's copy in force).
int nrsPrint(const char* p, Reply& re) {
  const CMR_DEC_SETTINGS s = CmrDec.getSettings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reBool(re, s.nrsMode != 0);
  if (strcmpA(p, "lim")) rc = reDouble(re, s.nrsLim, 1);
  if (strcmpA(p, "cnt")) rc = reLong(re, s.nrsCnt);
  return rc;
}

int varPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  prIn(p, re, "diff", "var/diff", rc);
  return rc;
}

// ---- engine reset ----------------------------------------------------------------------------

void requestResets() {
  for (int e = 0; e < Engine::kEngines; ++e) rtkRequestReset(e, kRtkResetSettings);
  rtcm_reset = 1;
}

// Every projector of the container idle, engine by engine under its locks.
void fullReset() {
  rtcm_reset = 1;
  for (int e = 0; e < Engine::kEngines; ++e) rtkResetEngine(e, kRtkResetSettings);
}

int setResetKey(const ZRNamedNode* v, void (*action)()) {
  bool on = false;
  if (int rc = setBool(v, on)) return rc;
  if (on) action();
  return CMD_OK;
}

const char* after(const char* p, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return std::strncmp(p, prefix, n) == 0 ? p + n : nullptr;
}

}  // namespace

int rtkcSet(const char* p, const ZRNamedNode* v) {
  if (p == nullptr) return CMD_WRONG_1ST;
  if (std::strcmp(p, "reset") == 0) return setResetKey(v, requestResets);
  if (std::strcmp(p, "fullres") == 0) return setResetKey(v, fullReset);
  if (const char* n = after(p, "mrtk/")) {
    const int k = pairIndex(n);
    if (k < 0) return CMD_WRONG_1ST;
    return setBool(v, rtk().mrtk[k]);
  }
  if (std::strcmp(p, "mrtk") == 0) return setMrtkList(v);
  if (const char* n = after(p, "maxs/")) {
    const int k = pairIndex(n);
    if (k < 0) return CMD_WRONG_1ST;
    return setInt(v, rtk().maxs[k], 4, 44);
  }
  if (std::strcmp(p, "si") == 0) return setSi(v);
  if (const char* n = after(p, "meas/")) return setMeas(n, v);
  if (std::strcmp(p, "ref/clean") == 0) return cleanRef(v);
  if (const char* n = after(p, "input/")) {
    if (std::strcmp(n, "0/id") != 0) return CMD_WRONG_1ST;
    return setInputId(v);
  }
  if (std::strcmp(p, "inuse") == 0) return setInUse(v);
  if (std::strcmp(p, "port") == 0) return setRefPort(v);
  if (const char* n = after(p, "tropom/")) return setTropo(n, v);
  if (const char* n = after(p, "nrs/")) return setNrs(n, v);
  if (const char* n = after(p, "hist/")) return histcSet(n, v);
  if (const char* n = after(p, "hd/")) return hdcSet(n, v);
  const Row* r = findRow(p);
  if (r == nullptr || printOnly(*r)) return CMD_WRONG_1ST;
  return setRow(*r, v);
}

int rtkcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "ver")) rc = reString(re, "2");
  if (strcmpA(p, "reset")) rc = reBool(re, false);
  if (strcmpA(p, "fullres")) rc = reBool(re, false);
  pr(p, re, "dblchk", rc);
  if (strcmpA(p, "numeng")) rc = reLong(re, 2);
  if (const char* r = strncmpA(p, "mrtk")) rc = reSub(mrtkPrint, r, re);
  pr(p, re, "resetfix", rc);
  if (const char* r = strncmpA(p, "meas")) rc = reSub(measPrint, r, re);
  for (const char* k : {"aflevel", "dyn", "fixpos", "fixins", "pen"}) pr(p, re, k, rc);
  // Printed only when named: a listing of the subtree leaves it out.
  if (*p && std::strcmp(p, "offt") == 0) rc = printRow(*findRow("offt"), re);
  for (const char* k : {"mode", "se", "crpc", "smr", "averr", "period", "afperiod", "experiod", "usebasedop",
                        "fixwait", "timegap", "check", "qcheck", "env", "rtkplus", "catcher", "delay", "scale"})
    pr(p, re, k, rc);
  if (strcmpA(p, "si")) {
    re.printf("{%s,%s}", rtk().si[0] ? "on" : "off", rtk().si[1] ? "on" : "off");
    rc = CMD_OK;
  }
  for (const char* k : {"mem", "tempc", "humid", "press"}) pr(p, re, k, rc);
  if (const char* r = strncmpA(p, "tropom")) rc = reSub(tropomPrint, r, re);
  for (const char* k : {"wl", "wlmult", "ion", "vrs", "mac", "gpsfirst", "tgpsfirst", "resvrs", "resmode", "fkp",
                        "ionf", "ionr", "iont", "textr", "textrse", "diffext", "maxit", "maxitf", "l1only", "minpot",
                        "minpotp", "rmsc", "rmsp", "tolthr", "range", "mbtimeout", "minsat", "maxsat"})
    pr(p, re, k, rc);
  if (const char* r = strncmpA(p, "input")) rc = reSub(inputPrint, r, re);
  if (const char* r = strncmpA(p, "ref")) rc = reSub(refPrint, r, re);
  if (strcmpA(p, "port")) rc = portPrint(re);
  if (strcmpA(p, "inuse")) rc = reLong(re, CmrDec.getSettings().inUse);
  if (const char* r = strncmpA(p, "nrs")) rc = reSub(nrsPrint, r, re);
  if (const char* r = strncmpA(p, "hd")) rc = reSub(hdcPrint, r, re);
  if (const char* r = strncmpA(p, "hist")) rc = reSub(histcPrint, r, re);
  if (const char* r = strncmpA(p, "var")) rc = reSub(varPrint, r, re);
  return rc;
}

void rtkKeysSettingsLoaded() { bKeepRefPos = RcvSet.rtk.refKeep != 0; }

bool registerRtkAreas() {
  const bool pd = parRegisterArea("pos/pd", rtkcSet, rtkcPrint);
  // Set only: the branch has no print handler, so a print of it answers an error.
  const bool old = parRegisterArea(
      "rtk",
      [](const char* rest, const ZRNamedNode* v) {
        // The area's rest comes without the slash the legacy handler expects.
        char path[64];
        if (*rest == 0) return rtkcOldSet("", v);
        const int n = std::snprintf(path, sizeof path, "/%s", rest);
        if (n <= 0 || n >= static_cast<int>(sizeof path)) return static_cast<int>(CMD_WRONG_1ST);
        return rtkcOldSet(path, v);
      },
      nullptr, false);
  return pd && old;
}
