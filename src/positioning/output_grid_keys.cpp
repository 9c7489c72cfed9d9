#include "positioning/output_grid_keys.h"

#include <strings.h>

#include <cmath>
#include <cstring>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "command/values.h"
#include "files/file_store.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/geodesy/got_datum.h"
#include "positioning/geoid/geoid_file.h"
#include "positioning/geoid/geoid_gps.h"
#include "positioning/output_grid.h"
#include "positioning/triple_values.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"

namespace {

constexpr double kDeg = M_PI / 180.0;
constexpr double kMaxUndulation = 200.0;  // m; the Earth's geoid stays within about 110 m
constexpr double kMaxGrid = 1e8;          // m: false coordinates and shifts
constexpr double kMaxScale = 10.0;

// ---- projection parameters ------------------------------------------------------------------

// The limits of parameter `i` of a projection type (angles in degrees).
void prjLimits(int type, int i, double& lo, double& hi) {
  const bool om = type == EllMath::PRJ_OM;
  const bool scale = om ? i == 4 : i == 2;
  if (scale) {
    lo = 1e-6, hi = kMaxScale;
  } else if (outPrjParamIsAngle(type, i)) {
    // Latitudes to the poles; longitudes and the oblique Mercator's azimuth and skew angle
    // around the circle.
    const bool lat = om ? i == 0 : i == 0 || i >= 5;
    lo = lat ? -90.0 : -360.0, hi = -lo;
  } else {
    lo = -kMaxGrid, hi = kMaxGrid;
  }
}

int prjTypeOf(const char* name) {
  for (int t = 1; t < 12; ++t)
    if (strcasecmp(name, EllMath::PrjTypeName[t]) == 0) return t;
  return 0;
}

// "none", or {TYPE,p1,...}: the type's name and its record's parameters in order.
int setUserPrj(const ZRNamedNode* v) {
  if (v == nullptr || v->isEmpty()) return CMD_2ND_MISSED;
  RcvGrid& g = RcvSet.grid;
  if (v->isText()) {
    if (strcasecmp(v->text(), "none") != 0) return CMD_WRONG_2ND;
    g.prjType = 0;
    for (double& x : g.prj) x = 0.0;
    return CMD_OK;
  }
  if (!v->isList() || v->size() < 1 || v->at(0) == nullptr || !v->at(0)->isText()) return CMD_WRONG_2ND;
  const int type = prjTypeOf(v->at(0)->text());
  if (type == 0) return CMD_WRONG_2ND;
  const int n = outPrjParamCount(type);
  if (v->size() != 1 + n) return CMD_WRONG_2ND;
  double p[7] = {};
  for (int i = 0; i < n; ++i) {
    const ZRNamedNode* item = v->at(1 + i);
    if (item == nullptr || !item->isText() || !item->getDouble(p[i]) || !std::isfinite(p[i])) return CMD_WRONG_2ND;
    double lo = 0, hi = 0;
    prjLimits(type, i, lo, hi);
    if (p[i] < lo || p[i] > hi) return CMD_OUT_OF_RANGE;
  }
  g.prjType = type;
  for (int i = 0; i < 7; ++i) g.prj[i] = outPrjParamIsAngle(type, i) ? p[i] * kDeg : p[i];
  return CMD_OK;
}

// {lat0,lon0,k0,fn,fe} of the local grid's stereographic projection.
int setLocalPrj(const ZRNamedNode* v) {
  double p[5];
  if (int rc = readNumbers(v, 5, nullptr, p)) return rc;
  if (std::fabs(p[0]) > 90.0 || std::fabs(p[1]) > 360.0 || p[2] < 1e-6 || p[2] > kMaxScale ||
      std::fabs(p[3]) > kMaxGrid || std::fabs(p[4]) > kMaxGrid)
    return CMD_OUT_OF_RANGE;
  RcvGrid& g = RcvSet.grid;
  g.locPrj[0] = p[0] * kDeg, g.locPrj[1] = p[1] * kDeg;
  for (int i = 2; i < 5; ++i) g.locPrj[i] = p[i];
  return CMD_OK;
}

// {uo,vo,k,alpha,t1,t2,h0} of the local grid.
int setLocalPar(const ZRNamedNode* v) {
  double p[7];
  if (int rc = readNumbers(v, 7, nullptr, p)) return rc;
  if (std::fabs(p[0]) > kMaxGrid || std::fabs(p[1]) > kMaxGrid || p[2] < 1e-6 || p[2] > kMaxScale ||
      std::fabs(p[3]) > 360.0 || std::fabs(p[4]) > 1.0 || std::fabs(p[5]) > 1.0 || std::fabs(p[6]) > kMaxGrid)
    return CMD_OUT_OF_RANGE;
  for (int i = 0; i < 7; ++i) RcvSet.grid.local[i] = p[i];
  return CMD_OK;
}

int setDatum(const ZRNamedNode* v) {
  char name[sizeof NavTask::DATUM_IN_USE::name] = {};
  if (int rc = setString(v, name, sizeof name, 1, sizeof name - 1)) return rc == CMD_OUT_OF_RANGE ? CMD_WRONG_2ND : rc;
  NavTask::DATUM_IN_USE d{};
  if (!assignDatum(name, &d)) return CMD_WRONG_2ND;
  // The received datum's record is named by what its decoder last made of it: the choice is "GOT".
  std::memcpy(d.name, name, sizeof d.name);
  static_assert(sizeof d <= NavTask::kDatumBytes);
  std::memcpy(NavSet.datum, &d, sizeof d);
  ++datumChangeCnt;
  ++RcvSet.changeCount;
  return CMD_OK;
}

struct GeoidLoadCall {
  const char* name;
  GeoidFileReader::Load result;
};

int setGeoidFile(const ZRNamedNode* v) {
  char name[sizeof RcvSet.geoidFile] = {};
  if (int rc = setString(v, name, sizeof name, 0, sizeof name - 1)) return rc;
  if (int rc = geoidLoadNamed(name)) {
    // A file that failed half-way left the built-in grid in use: the one named before comes back.
    if (rc == CMD_FILE_ERROR) geoidLoadNamed(RcvSet.geoidFile);
    return rc;
  }
  std::memcpy(RcvSet.geoidFile, name, sizeof name);
  return CMD_OK;
}

int gridSet(const char* p, const ZRNamedNode* v) {
  RcvGrid& g = RcvSet.grid;
  if (std::strcmp(p, "type") == 0) {
    int t = static_cast<int>(outGridOf(g.mapId, g.gridSys));
    if (int rc = setEnum(v, t, kOutGridWords)) return rc;
    outGridPair(static_cast<OutGrid>(t), g.mapId, g.gridSys);
    return CMD_OK;
  }
  if (std::strcmp(p, "prj") == 0) return setUserPrj(v);
  if (std::strcmp(p, "loc/prj") == 0) return setLocalPrj(v);
  if (std::strcmp(p, "loc/par") == 0) return setLocalPar(v);
  if (std::strcmp(p, "zone") == 0) {
    int z = 0;
    if (int rc = setInt(v, z, 0, 117)) return rc;
    if (!outGridZoneKnown(z)) return CMD_OUT_OF_RANGE;
    RcvSet.gridZone = static_cast<std::uint16_t>(z);
    return CMD_OK;
  }
  return CMD_WRONG_1ST;
}

int geoidSet(const char* p, const ZRNamedNode* v) {
  if (std::strcmp(p, "fixed") == 0) return setBool(v, RcvSet.fixedUndOn);
  if (std::strcmp(p, "und") == 0) return setFloat(v, RcvSet.fixedUnd, -kMaxUndulation, kMaxUndulation);
  if (std::strcmp(p, "file") == 0) return setGeoidFile(v);
  return CMD_WRONG_1ST;
}

// ---- print ----------------------------------------------------------------------------------

void putNumber(Reply& re, double x, int decimals) { re.printf("%.*f", decimals, x); }

int prjPrint(Reply& re) {
  const RcvGrid& g = RcvSet.grid;
  const int n = outPrjParamCount(g.prjType);
  if (n == 0) return reString(re, "none");
  re.put('{');
  re.put(EllMath::PrjTypeName[g.prjType]);
  for (int i = 0; i < n; ++i) {
    re.put(',');
    const bool angle = outPrjParamIsAngle(g.prjType, i);
    const bool scale = g.prjType == EllMath::PRJ_OM ? i == 4 : i == 2;
    putNumber(re, angle ? g.prj[i] / kDeg : g.prj[i], angle || scale ? 9 : 4);
  }
  re.put('}');
  return CMD_OK;
}

int locPrint(const char* p, Reply& re) {
  const RcvGrid& g = RcvSet.grid;
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "prj")) {
    re.printf("{%.9f,%.9f,%.9f,%.4f,%.4f}", g.locPrj[0] / kDeg, g.locPrj[1] / kDeg, g.locPrj[2], g.locPrj[3],
              g.locPrj[4]);
    rc = CMD_OK;
  }
  if (strcmpA(p, "par")) {
    const double* l = g.local;
    re.printf("{%.4f,%.4f,%.9f,%.9f,%.9f,%.9f,%.4f}", l[0], l[1], l[2], l[3], l[4], l[5], l[6]);
    rc = CMD_OK;
  }
  return rc;
}

int gridPrint(const char* p, Reply& re) {
  const RcvGrid& g = RcvSet.grid;
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "type")) rc = reEnum(re, static_cast<int>(outGridOf(g.mapId, g.gridSys)), kOutGridWords);
  if (strcmpA(p, "prj")) rc = prjPrint(re);
  if (const char* r = strncmpA(p, "loc")) rc = reSub(locPrint, r, re);
  if (strcmpA(p, "zone")) rc = reLong(re, RcvSet.gridZone);
  return rc;
}

int geoidPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "fixed")) rc = reBool(re, RcvSet.fixedUndOn != 0);
  if (strcmpA(p, "und")) rc = reDouble(re, RcvSet.fixedUnd, 3);
  if (strcmpA(p, "file")) rc = reString(re, RcvSet.geoidFile);
  if (std::strcmp(p, "model") == 0) {
    // The model the heights come from, as the last height request found it: a file that failed
    // to load leaves the one before (or the built-in grid) here, whatever "file" names. A state,
    // not a setting: printed when asked by name, never in a listing of the settings.
    char name[GeoidGPS::kNameLen] = "";
    GeoidGPS::getCurrent(nullptr, name, sizeof name);
    rc = reString(re, name);
  }
  return rc;
}

// The rest of `p` after `prefix` and its slash; null when p does not lie below it.
const char* below(const char* p, const char* prefix) {
  const std::size_t n = std::strlen(prefix);
  return std::strncmp(p, prefix, n) == 0 && p[n] == '/' ? p + n + 1 : nullptr;
}

}  // namespace

int outputGridKeysSet(const char* p, const ZRNamedNode* v) {
  int rc = CMD_WRONG_1ST;
  if (std::strcmp(p, "datum") == 0) {
    rc = setDatum(v);
  } else if (const char* r = below(p, "grid")) {
    rc = gridSet(r, v);
  } else if (const char* r2 = below(p, "geoid")) {
    return geoidSet(r2, v);
  } else {
    return CMD_WRONG_1ST;
  }
  // The projections are prepared on the datum's ellipsoid: a new datum prepares them anew too.
  if (rc == CMD_OK) outputGridRequest();
  return rc;
}

int outputGridKeysPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "datum")) rc = reString(re, outputDatumSetting().name);
  if (const char* r = strncmpA(p, "grid")) rc = reSub(gridPrint, r, re);
  if (const char* r = strncmpA(p, "geoid")) rc = reSub(geoidPrint, r, re);
  return rc;
}

void outputGridKeysSettingsLoaded() { outputGridRequest(); }

int geoidLoadNamed(const char* name) {
  if (name == nullptr || name[0] == 0) {
    GeoidGPS::useBuiltIn();
    return CMD_OK;
  }
  if (!pcfCheckName(name)) return CMD_WRONG_NAME;
  GeoidLoadCall call{name, GeoidFileReader::Load::kNoFile};
  const bool ran = pcfCallSafely(
      [](void* a) {
        auto* c = static_cast<GeoidLoadCall*>(a);
        c->result = GeoidFileReader().load(c->name);
      },
      &call);
  if (!ran || call.result == GeoidFileReader::Load::kNoFile) return CMD_FILE_NOT_FOUND;
  return call.result == GeoidFileReader::Load::kLoaded ? CMD_OK : CMD_FILE_ERROR;
}
