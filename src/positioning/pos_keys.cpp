#include "positioning/pos_keys.h"

#include <cmath>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "positioning/engine/ms_logic.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/engine/position_averaging.h"
#include "positioning/output_grid.h"
#include "positioning/output_grid_keys.h"
#include "positioning/corr_setup_keys.h"
#include "positioning/pos_setup_keys.h"
#include "positioning/reference/reference_pos.h"
#include "positioning/triple_values.h"
#include "settings/rcv_settings.h"

namespace {

constexpr const char* kPosModes = "sp,wd,gb,cd,pf,pd,pp";
// Reference-position modes by keyword and the stored values they stand for.
constexpr const char* kRefModes = "known,shift,base";
constexpr std::int16_t kRefModeValues[] = {1, 2, 4};
// Position sources: the engine's own, or the six stored doubles.
constexpr const char* kSrcModes = "own,fixed";
constexpr std::uint16_t kSrcFixed = 6;
// The distance limit is stored in units of 100 m.
constexpr double kDistMaxKm = 6553.5;
constexpr std::uint16_t kAvgTimeMax = 65535;
// Carrier smoothing of the code corrections taken from a base's observations: an hour of 1-s
// samples at most.
constexpr std::uint16_t kCdSmoothMax = 3600;

// Indexes of the stored reference triples.
enum { kMeasXyz = 0, kMeasBlh = 1, kKnownXyz = 2, kKnownBlh = 3 };

bool isSet(const double t[3]) { return t[0] != 0.0 || t[1] != 0.0 || t[2] != 0.0; }

int refModeIndex(int value) {
  for (int i = 0; i < 3; ++i)
    if (kRefModeValues[i] == value) return i;
  return -1;
}

int setBoolField(const ZRNamedNode* v, std::uint8_t& field) {
  bool on = field != 0;
  if (int rc = setBool(v, on)) return rc;
  field = on ? 1 : 0;
  return CMD_OK;
}

// A reference triple pair (Cartesian at `xyz`, geodetic at `xyz + 1`) entered in one form.
int setRefPair(int xyzIndex, bool geodetic, const ZRNamedNode* v) {
  double xyz[3], blh[3];
  if (int rc = geodetic ? readGeo(v, xyz, blh) : readXyz(v, xyz, blh)) return rc;
  for (int i = 0; i < 3; ++i) {
    RcvSet.refPos[xyzIndex][i] = xyz[i];
    RcvSet.refPos[xyzIndex + 1][i] = blh[i];
  }
  // The pair just entered is the base's position; a pair cleared hands over to the other one.
  const std::uint8_t self = xyzIndex == kKnownXyz ? kRefPosFromKnown : kRefPosFromMeasured;
  const std::uint8_t other = self == kRefPosFromKnown ? kRefPosFromMeasured : kRefPosFromKnown;
  const int otherXyz = xyzIndex == kKnownXyz ? kMeasXyz : kKnownXyz;
  if (isSet(xyz)) {
    RcvSet.refPosFrom = self;
  } else if (RcvSet.refPosFrom == self) {
    RcvSet.refPosFrom = isSet(RcvSet.refPos[otherXyz]) ? other : std::uint8_t{kRefPosFromNone};
  }
  refPosPublishRequest();
  return CMD_OK;
}

bool srcPosSet() { return isSet(RcvSet.posSourceData); }

int setSrcPos(bool geodetic, const ZRNamedNode* v) {
  double xyz[3], blh[3];
  if (int rc = geodetic ? readGeo(v, xyz, blh) : readXyz(v, xyz, blh)) return rc;
  // The fixed source would put the Earth's centre in place of every position.
  if (!isSet(xyz) && RcvSet.posSource == kSrcFixed) return CMD_NOT_ALLOWED_NOW;
  for (int i = 0; i < 3; ++i) {
    RcvSet.posSourceData[i] = xyz[i];
    RcvSet.posSourceData[3 + i] = blh[i];
  }
  return CMD_OK;
}

int solSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "sep") == 0) return setBoolField(v, RcvSet.sepAntSol);
  if (std::strcmp(p, "rtk1") == 0) return setBoolField(v, RcvSet.rtkType1);
  if (std::strcmp(p, "rtk3") == 0) return setBoolField(v, RcvSet.rtkType3);
  if (std::strcmp(p, "midpt") == 0) return setBoolField(v, RcvSet.midPointOut);
  if (std::strcmp(p, "code") == 0) return setBoolField(v, RcvSet.codeSolAllowed);
  if (std::strcmp(p, "dist") == 0) {
    double km = 0;
    if (int rc = setDouble(v, km, 0.0, kDistMaxKm)) return rc;
    RcvSet.rtkDistLim = static_cast<std::uint16_t>(std::lround(km * 10.0));
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

int avgSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "start") == 0) {
    bool on = false;
    if (int rc = setBool(v, on)) return rc;
    posAvgRequest(on);
    return CMD_OK;
  }
  if (std::strcmp(p, "time") == 0) {
    std::uint16_t s = 0;
    if (int rc = setInt(v, s, 1, kAvgTimeMax)) return rc;
    RcvSet.baseAvg = s;
    msLogicBaseAvg();
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

int refSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "mode") == 0) {
    int i = refModeIndex(RcvSet.refPosMode);
    if (int rc = setEnum(v, i, kRefModes)) return rc;
    RcvSet.refPosMode = kRefModeValues[i];
    return CMD_OK;
  }
  if (std::strcmp(p, "known/xyz") == 0) return setRefPair(kKnownXyz, false, v);
  if (std::strcmp(p, "known/geo") == 0) return setRefPair(kKnownXyz, true, v);
  if (std::strcmp(p, "meas/xyz") == 0) return setRefPair(kMeasXyz, false, v);
  if (std::strcmp(p, "meas/geo") == 0) return setRefPair(kMeasXyz, true, v);
  return CMD_WRONG_1ST;
}

int srcSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "mode") == 0) {
    int i = RcvSet.posSource == kSrcFixed ? 1 : 0;
    if (int rc = setEnum(v, i, kSrcModes)) return rc;
    if (i == 1 && !srcPosSet()) return CMD_NO_DATA;
    RcvSet.posSource = i == 1 ? kSrcFixed : 0;
    return CMD_OK;
  }
  if (std::strcmp(p, "xyz") == 0) return setSrcPos(false, v);
  if (std::strcmp(p, "geo") == 0) return setSrcPos(true, v);
  return CMD_WRONG_1ST;
}

// Code corrections formed from a base's RTCM 3 or CMR observations.
int cdSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "obs") == 0) return setBoolField(v, RcvSet.codeCorrFromBase);
  if (std::strcmp(p, "smooth") == 0) return setInt(v, RcvSet.codeSmoothLen, 0, kCdSmoothMax);
  return CMD_WRONG_1ST;
}

// GPS and QZSS CNAV and CNAV-2 decoding: the engine's switch and its stored choice.
int cnavSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "dec") != 0) return CMD_WRONG_1ST;
  bool on = RcvSet.gpsCnavDecOff == 0;
  if (int rc = setBool(v, on)) return rc;
  RcvSet.gpsCnavDecOff = on ? 0 : 1;
  posApplyCnavDecoding();
  return CMD_OK;
}

int attSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "hdg") == 0) return setFloat(v, RcvSet.hdgOffset, -180.0, 180.0);
  if (std::strcmp(p, "pitch") == 0) return setFloat(v, RcvSet.pitchOffset, -90.0, 90.0);
  return CMD_WRONG_1ST;
}

// The rest of `p` after `prefix` and its slash; null when p does not lie below it.
const char* after(const char* p, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return std::strncmp(p, prefix, n) == 0 && p[n] == '/' ? p + n + 1 : nullptr;
}

int poscSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "mode") == 0) {
    int m = RcvSet.posMode;
    if (int rc = setEnum(v, m, kPosModes)) return rc;
    RcvSet.posMode = static_cast<std::uint8_t>(m);
    tPosMode = m;
    return CMD_OK;
  }
  if (const char* r = after(p, "sol")) return solSet(r, v);
  if (const char* r = after(p, "avg")) return avgSet(r, v);
  if (const char* r = after(p, "ref")) return refSet(r, v);
  if (const char* r = after(p, "src")) return srcSet(r, v);
  if (std::strcmp(p, "base/needpos") == 0) return setBoolField(v, RcvSet.baseNeedsValidPos);
  if (const char* r = after(p, "cd"))
    if (int rc = cdSet(r, v); rc != CMD_WRONG_1ST) return rc;
  if (const char* r = after(p, "att")) return attSet(r, v);
  if (const char* r = after(p, "cnav")) return cnavSet(r, v);
  if (int rc = posSetupKeysSet(p, v); rc != CMD_WRONG_1ST) return rc;
  return outputGridKeysSet(p, v);
}

// ---- print ----------------------------------------------------------------------------------

int pairPrint(const char* p, Reply& re, int xyzIndex) {
  int rc = CMD_WRONG_1ST;
  const double* x = RcvSet.refPos[xyzIndex];
  const double* g = RcvSet.refPos[xyzIndex + 1];
  if (const char* r = strncmpA(p, "xyz")) rc = reXYZ(re, r, x[0], x[1], x[2]);
  if (const char* r = strncmpA(p, "geo")) rc = reBLH(re, r, g[0], g[1], g[2]);
  return rc;
}
int knownPrint(const char* p, Reply& re) { return pairPrint(p, re, kKnownXyz); }
int measPrint(const char* p, Reply& re) { return pairPrint(p, re, kMeasXyz); }

int solPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "sep")) rc = reBool(re, RcvSet.sepAntSol != 0);
  if (strcmpA(p, "rtk1")) rc = reBool(re, RcvSet.rtkType1 != 0);
  if (strcmpA(p, "rtk3")) rc = reBool(re, RcvSet.rtkType3 != 0);
  if (strcmpA(p, "dist")) rc = reDouble(re, RcvSet.rtkDistLim / 10.0, 1);
  if (strcmpA(p, "midpt")) rc = reBool(re, RcvSet.midPointOut != 0);
  if (strcmpA(p, "code")) rc = reBool(re, RcvSet.codeSolAllowed != 0);
  return rc;
}

int avgPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "start")) rc = reBool(re, posAvgActive());
  if (strcmpA(p, "time")) rc = reLong(re, RcvSet.baseAvg);
  return rc;
}

int refPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reEnum(re, refModeIndex(RcvSet.refPosMode), kRefModes);
  if (const char* r = strncmpA(p, "known")) rc = reSub(knownPrint, r, re);
  if (const char* r = strncmpA(p, "meas")) rc = reSub(measPrint, r, re);
  return rc;
}

int srcPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  const double* d = RcvSet.posSourceData;
  if (strcmpA(p, "mode")) rc = reEnum(re, RcvSet.posSource == kSrcFixed ? 1 : 0, kSrcModes);
  if (const char* r = strncmpA(p, "xyz")) rc = reXYZ(re, r, d[0], d[1], d[2]);
  if (const char* r = strncmpA(p, "geo")) rc = reBLH(re, r, d[3], d[4], d[5]);
  return rc;
}

int basePrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "needpos")) rc = reBool(re, RcvSet.baseNeedsValidPos != 0);
  return rc;
}

int cdPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "obs")) rc = reBool(re, RcvSet.codeCorrFromBase != 0);
  if (strcmpA(p, "smooth")) rc = reLong(re, RcvSet.codeSmoothLen);
  // The correction stage's cd/ keys: printed one by one through the setup keys, listed here.
  if (*p == 0) SetupKeys::listLevelOf(corrSetupKeys(), "cd", re);
  return rc;
}

int attPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "hdg")) rc = reDouble(re, RcvSet.hdgOffset, 3);
  if (strcmpA(p, "pitch")) rc = reDouble(re, RcvSet.pitchOffset, 3);
  return rc;
}

int cnavPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "dec")) rc = reBool(re, RcvSet.gpsCnavDecOff == 0);
  return rc;
}

int poscPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "mode")) rc = reEnum(re, RcvSet.posMode, kPosModes);
  if (const char* r = strncmpA(p, "sol")) rc = reSub(solPrint, r, re);
  if (const char* r = strncmpA(p, "avg")) rc = reSub(avgPrint, r, re);
  if (const char* r = strncmpA(p, "ref")) rc = reSub(refPrint, r, re);
  if (const char* r = strncmpA(p, "src")) rc = reSub(srcPrint, r, re);
  if (const char* r = strncmpA(p, "base")) rc = reSub(basePrint, r, re);
  if (const char* r = strncmpA(p, "cd")) rc = reSub(cdPrint, r, re);
  if (const char* r = strncmpA(p, "att")) rc = reSub(attPrint, r, re);
  if (const char* r = strncmpA(p, "cnav")) rc = reSub(cnavPrint, r, re);
  if (int r = outputGridKeysPrint(p, re); r != CMD_WRONG_1ST) rc = r;
  if (int r = posSetupKeysPrint(p, re); r != CMD_WRONG_1ST) rc = r;
  return rc;
}

}  // namespace

bool registerPosArea() { return parRegisterArea("pos", poscSet, poscPrint); }

void posApplyCnavDecoding() { bDebugGpsCnavDatdec.store(RcvSet.gpsCnavDecOff == 0 ? 1 : 0); }

void posSettingsLoaded() {
  RCV_SETTINGS& s = RcvSet;
  if (s.gpsCnavDecOff > 1) s.gpsCnavDecOff = 1;
  posApplyCnavDecoding();
  if (refModeIndex(s.refPosMode) < 0) s.refPosMode = kRefModeValues[0];
  if (s.posSource != kSrcFixed || !srcPosSet()) s.posSource = 0;
  if (s.refPosFrom > kRefPosFromKnown) s.refPosFrom = kRefPosFromNone;
  if (s.codeCorrFromBase > 1) s.codeCorrFromBase = 1;
  if (s.codeSmoothLen > kCdSmoothMax) s.codeSmoothLen = kCdSmoothMax;
  outputGridBound(s);
  outputGridKeysSettingsLoaded();
  // Averaging does not outlive the settings it started under; the base publishes the stored
  // position, or none.
  posAvgRequest(false);
  refPosPublishRequest();
}
