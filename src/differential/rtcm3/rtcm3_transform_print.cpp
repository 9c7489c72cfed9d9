#include "differential/rtcm3/rtcm3_transform_print.h"

#include <cstdio>

#include "command/param_engine.h"
#include "command/result_codes.h"
#include "differential/rtcm3_transform.h"
#include "positioning/geodesy/ell_math.h"

namespace {

constexpr double kDegPerRad = 57.295779513082320876798;
constexpr int kGridPoints = 16;
constexpr std::uint8_t kNoSet = 255;

const RTC3_COORD_TRANSF_PAR& data() { return RTC3_CoordTransf::Rtc3CoordTransData; }
bool haveSet() { return data().sysId != kNoSet; }

// The residual grid kept for the current set (the ellipsoidal one first); null when none.
const RTC3_RESIDUALS* grid(bool& plane) {
  const RTC3_COORD_TRANSF_PAR& d = data();
  if (!haveSet()) return nullptr;
  plane = false;
  if (d.ellGrid.held && d.ellGrid.sysId == d.sysId) return &d.ellGrid;
  plane = true;
  if (d.planeGrid.held && d.planeGrid.sysId == d.sysId) return &d.planeGrid;
  return nullptr;
}

int empty(Reply& re) {
  re.put("{}");
  return CMD_OK;
}

int ellipsoidPrint(Reply& re, const char* name, double a, double b) {
  if (!haveSet()) return empty(re);
  re.printf("{\"%.31s\",%.3f,%.3f}", name, a, b);
  return CMD_OK;
}

int datumPrint(const char* p, Reply& re) {
  const RTC3_TRANSF_PARAMS& t = data().transf;
  int rc = CMD_WRONG_1ST;
  // Each name is matched on its own: while the whole subtree prints, every one must be named.
  if (strcmpA(p, "src")) rc = ellipsoidPrint(re, t.sourceName, t.aS, t.bS);
  if (strcmpA(p, "trg")) rc = ellipsoidPrint(re, t.targetName, t.aT, t.bT);
  if (strcmpA(p, "cond")) {
    if (!haveSet()) {
      rc = empty(re);
    } else {
      re.printf("{%i,%i,%i,%i,%i,%.0f,%.0f,%.0f,%.0f}", data().sysId, t.indicator, t.plate, t.computation, t.height,
                t.latV, t.lonV, t.extLatV, t.extLonV);
      rc = CMD_OK;
    }
  }
  if (strcmpA(p, "par")) {
    if (!haveSet()) {
      rc = empty(re);
    } else {
      re.printf("{%.3f,%.3f,%.3f,%.5f,%.5f,%.5f,%.5f", t.dx, t.dy, t.dz, t.r1, t.r2, t.r3, t.ds);
      if (data().badekas)
        re.printf(",%.3f,%.3f,%.3f}", t.xp, t.yp, t.zp);
      else
        re.put(",,,}");
      rc = CMD_OK;
    }
  }
  return rc;
}

int gridPointPrint(const char* p, Reply& re) {
  bool plane = false;
  const RTC3_RESIDUALS* g = grid(plane);
  int rc = CMD_WRONG_1ST;
  for (int i = 0; i < kGridPoints; ++i) {
    char name[4];
    std::snprintf(name, sizeof name, "%d", i);
    if (!strcmpA(p, name)) continue;
    if (g == nullptr) {
      rc = empty(re);
    } else {
      re.printf("{%.5f,%.5f,%.3f}", g->res[i][0], g->res[i][1], g->res[i][2]);
      rc = CMD_OK;
    }
  }
  return rc;
}

int residPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "cond")) {
    bool plane = false;
    const RTC3_RESIDUALS* g = grid(plane);
    if (g == nullptr) {
      rc = empty(re);
    } else {
      re.printf("{%s,%.1f,%.1f,%.1f,%.1f,%.3f,%.3f,%.2f,%i,%i,%i,%i,%i,%i,%i}", plane ? "PLANE" : "ELLIPS", g->lat0,
                g->lon0, g->dLat, g->dLon, g->mean[0], g->mean[1], g->mean[2], g->sysId, g->horPresent,
                g->heightPresent, g->horInterp, g->vertInterp, g->horQuality, g->vertQuality);
      rc = CMD_OK;
    }
  }
  if (const char* gp = strncmpA(p, "GP")) rc = reSub(gridPointPrint, gp, re);
  return rc;
}

int projPrint(Reply& re) {
  const RTC3_COORD_TRANSF_PAR& d = data();
  if (!haveSet() || d.prjMsg == 0 || d.prj.sysId != d.sysId) return empty(re);
  const EllMath::ANY_PRJ_PARAMS& a = d.prj.prm;
  const int type = a.type > 0 && a.type < 12 ? a.type : 0;
  const char* name = EllMath::PrjTypeName[type];
  if (type == EllMath::PRJ_LCC2SP) {
    const EllMath::LCC_PRJ_PARAMS& l = a.lcc;
    re.printf("{%s,%.9f,%.9f,%.9f,%.9f,%.3f,%.3f}", name, l.lat0 * kDegPerRad, l.lon0 * kDegPerRad,
              l.lat1 * kDegPerRad, l.lat2 * kDegPerRad, l.FE, l.FN);
  } else if (type == EllMath::PRJ_OM) {
    const EllMath::OM_PRJ_PARAMS& o = a.om;
    re.printf("{%s,%i,%.9f,%.9f,%.9f,%.9f,%.5f,%.3f,%.3f}", name, d.prj.rectified, o.latc * kDegPerRad,
              o.lonc * kDegPerRad, o.alphac * kDegPerRad, o.gammac * kDegPerRad, o.kc, o.FE, o.FN);
  } else {
    const EllMath::PRJ_PARAMS& q = a.prj;
    re.printf("{%s,%.9f,%.9f,%.5f,%.3f,%.3f}", name, q.lat0 * kDegPerRad, q.lon0 * kDegPerRad, q.k0, q.FE, q.FN);
  }
  return CMD_OK;
}

}  // namespace

int rtcm3TransformPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "aux")) {
    if (!haveSet()) {
      rc = empty(re);
    } else {
      re.printf("{%i,%i}", data().sysId, data().stationId);
      rc = CMD_OK;
    }
  }
  if (const char* d = strncmpA(p, "datum")) rc = reSub(datumPrint, d, re);
  if (const char* r = strncmpA(p, "resid")) rc = reSub(residPrint, r, re);
  if (strcmpA(p, "proj")) rc = projPrint(re);
  return rc;
}
