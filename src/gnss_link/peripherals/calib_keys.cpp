#include "gnss_link/peripherals/calib_keys.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "gnss_link/peripherals/calib_glo.h"
#include "gnss_link/placeholders.h"
#include "gnss_link/raw_records.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"

static_assert(sizeof(HwCalibSettings) <= sizeof(RCV_SETTINGS::calibArea), "calibration settings exceed their area");
static_assert(offsetof(RCV_SETTINGS, calibArea) % alignof(HwCalibSettings) == 0);

int HwCalib::attMax = 127;
int HwCalib::attMin = 0;
int HwCalib::attrMax = 19;
int HwCalib::attrMin = 0;


namespace {

constexpr const char* kModeWords = "off,got,fix,manual";
constexpr const char* kHwModeWords = "off,alt,on,ext,glo1,glo2,glo3,gps1,gps2,gps3";
constexpr int kHwModeAlt = 1;
constexpr const char* kAttModeWords = "off,auto,man";
constexpr const char* kInpWords = "rf,antint,antext";
constexpr const char* kBandsWords = "glo,all";
constexpr int kFcnLetterMin = -7, kFcnLetterMax = 15;
constexpr int kDelayLetterMin = -7, kDelayLetterMax = 6;
constexpr double kLight = 300000000.0;
const char* const kApplyNames[8] = {"code/ca", "code/p1", "code/l2c", "code/p2",
                                    "phase/ca", "phase/p1", "phase/l2c", "phase/p2"};
const char* const kDelayKinds[8] = {"c1delay", "c1phase", "p1delay", "p1phase",
                                    "c2delay", "c2phase", "p2delay", "p2phase"};

const char* below(const char* p, const char* name) {
  const std::size_t n = std::strlen(name);
  return std::strncmp(p, name, n) == 0 && p[n] == '/' ? p + n + 1 : nullptr;
}

// A whole signed decimal number; false for anything else.
bool number(const char* t, std::size_t len, int& out) {
  if (len == 0 || len > 6) return false;
  char buf[8];
  std::memcpy(buf, t, len);
  buf[len] = 0;
  if (buf[0] != '-' && (buf[0] < '0' || buf[0] > '9')) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(buf, &end, 10);
  if (errno || *end || end == buf) return false;
  out = static_cast<int>(v);
  return true;
}

template <class T>
int setU8Enum(const ZRNamedNode* v, T& dst, const char* words) {
  int x = 0;
  if (int rc = setEnum(v, x, words)) return rc;
  dst = static_cast<T>(x);
  return CMD_OK;
}

// Actions: on does it, off does nothing.
int action(const ZRNamedNode* v, void (*fn)()) {
  bool on = false;
  if (int rc = setBool(v, on)) return rc;
  if (on) fn();
  return CMD_OK;
}

int setFcn(const char* p, const ZRNamedNode* v) {
  const char* slash = std::strchr(p, '/');
  int n = 0, k = 0;
  if (!slash || !number(p, static_cast<std::size_t>(slash - p), n) || !number(slash + 1, std::strlen(slash + 1), k))
    return CMD_WRONG_1ST;
  if (n < 1 || n > 2 || k < kFcnLetterMin || k > kFcnLetterMax) return CMD_WRONG_1ST;
  float x = 0;
  if (int rc = setFloat(v, x, -1.0, 1.0)) return rc;
  Calib.setLet(k, n - 1, x);
  Calib.save();
  return CMD_OK;
}

int setSoft(const char* p, const ZRNamedNode* v) {
  GloBiasSettings& s = gloBiasSettings();
  if (const char* r = below(p, "fcn")) return setFcn(r, v);
  if (std::strcmp(p, "brand/fix") == 0) {
    if (int rc = setU8Enum(v, s.fixBrand, kBaseRcvBrandWords)) return rc;
    if (s.mode == kGloBiasFix) s.curBrand = s.fixBrand;
    return CMD_OK;
  }
  if (std::strcmp(p, "mode") == 0) {
    int x = 0;
    if (int rc = setEnum(v, x, kModeWords)) return rc;
    setGloBiasMode(x);
    return CMD_OK;
  }
  if (std::strcmp(p, "run") == 0) return setBool(v, s.run);
  if (std::strcmp(p, "opt") == 0) return setInt(v, s.opt, 0, 1);
  if (std::strcmp(p, "weight") == 0) return setFloat(v, s.weight, 0.00001, 1.0);
  if (std::strcmp(p, "reset") == 0) return action(v, [] { CalibCurrent.reset(); });
  if (std::strcmp(p, "savecurrent") == 0) return action(v, [] {
      CalibCurrent.save();
      Calib.set_(CalibCurrent);
    });
  if (std::strcmp(p, "add") == 0) return action(v, [] { CalibCurrent.add(Calib); });
  if (std::strcmp(p, "sum") == 0) return action(v, [] { CalibCurrent.sum(Calib); });
  return CMD_WRONG_1ST;
}

int setHard(const char* p, const ZRNamedNode* v) {
  HwCalibSettings& h = hwCalibSettings();
  if (std::strcmp(p, "use") == 0) return setBool(v, h.use);
  if (std::strcmp(p, "hwout") == 0) return setBool(v, h.hwout);
  if (std::strcmp(p, "mode") == 0) {
    int x = 0;
    if (int rc = setEnum(v, x, kHwModeWords)) return rc;
    if (x == kHwModeAlt) return CMD_WRONG_1ST;
    h.mode = static_cast<std::uint8_t>(x);
    return CMD_OK;
  }
  if (std::strcmp(p, "attval") == 0) return setInt(v, h.attval, HwCalib::attMin, HwCalib::attMax);
  if (std::strcmp(p, "attmode") == 0) return setU8Enum(v, h.attmode, kAttModeWords);
  if (std::strcmp(p, "attrval") == 0) return setInt(v, h.attrval, HwCalib::attrMin, HwCalib::attrMax);
  if (std::strcmp(p, "attrmode") == 0) return setU8Enum(v, h.attrmode, kAttModeWords);
  if (std::strcmp(p, "initdel") == 0) return setInt(v, h.initdel, 0, 1000);
  if (std::strcmp(p, "fixlit") == 0) {
    std::int8_t x = 0;
    if (int rc = setInt(v, x, -7, kFixLitNone)) return rc;
    if (x > 7 && x != kFixLitNone) return CMD_OUT_OF_RANGE;
    h.fixlit = x;
    return CMD_OK;
  }
  if (std::strcmp(p, "testmode") == 0) return setInt(v, h.testmode, 0, 1);
  if (std::strcmp(p, "inp") == 0) return setU8Enum(v, h.inp, kInpWords);
  if (std::strcmp(p, "smooth/code") == 0) return setInt(v, h.smoothCode, 0, 2);
  if (std::strcmp(p, "smooth/phase") == 0) return setInt(v, h.smoothPhase, 1, 3);
  if (const char* r = below(p, "apply")) {
    for (int i = 0; i < 8; ++i)
      if (std::strcmp(r, kApplyNames[i]) == 0) return setBool(v, h.apply[i]);
  }
  return CMD_WRONG_1ST;
}

// ---- the board's calibration readings

// Delay in seconds of antenna `ant`, kind 0..7 (the code and phase delay of C/A on L1, P on L1,
// C/A on L2, P on L2) and letter: the main input's from the board's table, false while the board
// sent none for it.
bool boardDelay(int ant, int kind, int letter, double& sec) {
  if (ant != 0) return placeholder::hwClbrDelayAnt1(kind, letter, sec);
  const int band = HwCalib::kLettersPerSignal * (kind / 2) + letter - HwCalib::kLetterMin;
  if (band < 0 || band >= HwCalib::kBands) return false;
  Locker<Mutex> lock(hwCalibMutex);
  const HwCalib::Entry& e = hwCalib.common[band];
  const bool phase = kind % 2 != 0;
  if (!(phase ? e.bSetB : e.bSetA)) return false;
  sec = phase ? e.fB : e.fA;
  return true;
}

// The calibration status word, as the board's last "gC" gave it.
bool boardStatus(std::uint32_t& status) {
  Locker<Mutex> lock(hwCalibMutex);
  if (!hwCalib.bFinalSet) return false;
  status = static_cast<std::uint16_t>(hwCalib.iFinal);
  return true;
}

// ---- print

int g_sig = 0;
int g_ant = 0;
int g_kind = 0;

int letterPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int k = kFcnLetterMin; k <= kFcnLetterMax; ++k) {
    char n[16];
    std::snprintf(n, sizeof n, "%d", k);
    if (strcmpA(p, n)) rc = reDouble(re, Calib.getLet(k, g_sig), 3);
  }
  return rc;
}

int fcnPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int n = 1; n <= 2; ++n) {
    char name[16];
    std::snprintf(name, sizeof name, "%d", n);
    if (const char* r = strncmpA(p, name)) {
      g_sig = n - 1;
      rc = reSub(letterPrint, r, re);
    }
  }
  return rc;
}

int brandPrint(const char* p, Reply& re) {
  const GloBiasSettings& s = gloBiasSettings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "cur")) rc = reEnum(re, s.curBrand, kBaseRcvBrandWords);
  if (strcmpA(p, "got")) rc = reEnum(re, getGottenRcvBrand(), kBaseRcvBrandWords);
  if (strcmpA(p, "fix")) rc = reEnum(re, s.fixBrand, kBaseRcvBrandWords);
  return rc;
}

int softPrint(const char* p, Reply& re) {
  const GloBiasSettings& s = gloBiasSettings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reEnum(re, s.mode, kModeWords);
  if (const char* r = strncmpA(p, "brand")) rc = reSub(brandPrint, r, re);
  if (strcmpA(p, "run")) rc = reBool(re, s.run != 0);
  if (strcmpA(p, "opt")) rc = reLong(re, s.opt);
  if (strcmpA(p, "weight")) rc = reDouble(re, s.weight, 6);
  // The bias table prints when named: the print of every setting has no room for it.
  if (!parListing())
    if (const char* r = strncmpA(p, "fcn")) rc = reSub(fcnPrint, r, re);
  return rc;
}

int delayLetterPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int k = kDelayLetterMin; k <= kDelayLetterMax; ++k) {
    char n[16];
    std::snprintf(n, sizeof n, "%d", k);
    if (strcmpA(p, n)) {
      double delay = 0;
      rc = boardDelay(g_ant, g_kind, k, delay) ? reDouble(re, -delay * kLight, 3) : CMD_NOT_AVAILABLE;
    }
  }
  return rc;
}

int delayKindPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < 8; ++i) {
    if (const char* r = strncmpA(p, kDelayKinds[i])) {
      g_kind = i;
      rc = reSub(delayLetterPrint, r, re);
    }
  }
  return rc;
}

int delayPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int a = 0; a < 2; ++a) {
    const char* name = a == 0 ? "ant0" : "ant1";
    if (const char* r = strncmpA(p, name)) {
      g_ant = a;
      rc = reSub(delayKindPrint, r, re);
    }
  }
  return rc;
}

int smoothPrint(const char* p, Reply& re) {
  const HwCalibSettings& h = hwCalibSettings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "code")) rc = reLong(re, h.smoothCode);
  if (strcmpA(p, "phase")) rc = reLong(re, h.smoothPhase);
  return rc;
}

int applyGroupPrint(const char* p, Reply& re);

int hardPrint(const char* p, Reply& re) {
  const HwCalibSettings& h = hwCalibSettings();
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "use")) rc = reBool(re, h.use != 0);
  if (strcmpA(p, "hwout")) rc = reBool(re, h.hwout != 0);
  if (strcmpA(p, "mode")) rc = reEnum(re, h.mode, kHwModeWords);
  if (strcmpA(p, "attval")) rc = reLong(re, h.attval);
  if (strcmpA(p, "attmode")) rc = reEnum(re, h.attmode, kAttModeWords);
  if (strcmpA(p, "attrval")) rc = reLong(re, h.attrval);
  if (strcmpA(p, "attrmode")) rc = reEnum(re, h.attrmode, kAttModeWords);
  if (strcmpA(p, "initdel")) rc = reLong(re, h.initdel);
  if (strcmpA(p, "fixlit")) rc = reLong(re, h.fixlit);
  if (strcmpA(p, "testmode")) rc = reLong(re, h.testmode);
  if (strcmpA(p, "inp")) rc = reEnum(re, h.inp, kInpWords);
  if (const char* r = strncmpA(p, "smooth")) rc = reSub(smoothPrint, r, re);
  if (const char* r = strncmpA(p, "apply")) rc = reSub(applyGroupPrint, r, re);
  if (strcmpA(p, "bands")) rc = reEnum(re, 1, kBandsWords);
  // The board's calibration readings print when named: a print of the whole area stands without
  // them while the board sent none.
  if (!parListing()) {
    std::uint32_t status = 0;
    int atten = 0, del = 0;
    if (std::strcmp(p, "status") == 0) rc = boardStatus(status) ? reLongHex(re, status) : CMD_NOT_AVAILABLE;
    if (std::strcmp(p, "valid") == 0)
      rc = boardStatus(status) ? reBool(re, (status & 0xF) > 14) : CMD_NOT_AVAILABLE;
    if (std::strcmp(p, "atten") == 0) rc = placeholder::hwClbrAtten(atten) ? reLong(re, atten) : CMD_NOT_AVAILABLE;
    if (std::strcmp(p, "prnthwdel") == 0)
      rc = placeholder::hwClbrPrintDelay(del) ? reLong(re, del) : CMD_NOT_AVAILABLE;
    if (const char* r = strncmpA(p, "delay")) rc = reSub(delayPrint, r, re);
  }
  return rc;
}

int g_applyGroup = 0;

int applySwitchPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int i = 4 * g_applyGroup; i < 4 * g_applyGroup + 4; ++i)
    if (strcmpA(p, std::strchr(kApplyNames[i], '/') + 1)) rc = reBool(re, hwCalibSettings().apply[i] != 0);
  return rc;
}

int applyGroupPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  for (int g = 0; g < 2; ++g) {
    if (const char* r = strncmpA(p, g == 0 ? "code" : "phase")) {
      g_applyGroup = g;
      rc = reSub(applySwitchPrint, r, re);
    }
  }
  return rc;
}

}  // namespace

HwCalibSettings& hwCalibSettings() { return *reinterpret_cast<HwCalibSettings*>(RcvSet.calibArea); }

void hwCalibSettingsDefaults() {
  HwCalibSettings& h = hwCalibSettings();
  std::memset(&h, 0, sizeof h);
  h.fixlit = kFixLitNone;
  h.smoothPhase = 1;
  h.magic = kHwCalibSettingsMagic;
}

bool hwCalibSettingsAfterLoad() {
  const HwCalibSettings& h = hwCalibSettings();
  bool sound = h.magic == kHwCalibSettingsMagic && h.use <= 1 && h.hwout <= 1 && h.mode <= 9 && h.mode != kHwModeAlt &&
               h.attmode <= 2 && h.attrmode <= 2 && h.testmode <= 1 && h.attval <= HwCalib::attMax &&
               h.attrval <= HwCalib::attrMax && h.initdel <= 1000 &&
               ((h.fixlit >= -7 && h.fixlit <= 7) || h.fixlit == kFixLitNone) && h.inp <= 2 && h.smoothCode <= 2 &&
               h.smoothPhase >= 1 && h.smoothPhase <= 3;
  for (std::uint8_t a : h.apply) sound = sound && a <= 1;
  if (sound) return false;
  hwCalibSettingsDefaults();
  return true;
}

void calibSettingsLoaded() {
  const bool bias = gloBiasSettingsAfterLoad();
  const bool hard = hwCalibSettingsAfterLoad();
  setGloBiasMode(gloBiasSettings().mode);
  if (bias || hard) nv_writeRcvSettings();
}

int calibcSet(const char* p, const ZRNamedNode* v) {
  if (const char* r = below(p, "soft")) return setSoft(r, v);
  if (const char* r = below(p, "hard")) return setHard(r, v);
  return CMD_WRONG_1ST;
}

int calibcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (const char* r = strncmpA(p, "soft")) rc = reSub(softPrint, r, re);
  if (const char* r = strncmpA(p, "hard")) rc = reSub(hardPrint, r, re);
  return rc;
}

bool registerCalibArea() { return parRegisterArea("calib", calibcSet, calibcPrint); }
