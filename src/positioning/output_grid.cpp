#include "positioning/output_grid.h"

#include <atomic>
#include <cstring>

#include "positioning/geodesy/got_datum.h"
#include "positioning/rcv_output.h"
#include "settings/nav_settings.h"

namespace {

struct Pair {
  std::int16_t mapId, gridSys;
};
// By OutGrid. The user projection takes map identifier 3: with 1 (its own family's) and grid
// system 2 the output would take the national grid instead. The received projection's map
// identifier follows the projection received (outputGridApply).
constexpr Pair kPairs[] = {{0, 0}, {1, 1}, {2, 1}, {1, 2}, {2, 3}, {3, 2}, {3, 4}};
static_assert(sizeof kPairs / sizeof kPairs[0] == static_cast<int>(OutGrid::kCount));

std::atomic<bool> g_request{false};

}  // namespace

void outGridPair(OutGrid g, std::int16_t& mapId, std::int16_t& gridSys) {
  const int i = static_cast<int>(g);
  const Pair p = i >= 0 && i < static_cast<int>(OutGrid::kCount) ? kPairs[i] : kPairs[0];
  mapId = p.mapId;
  gridSys = p.gridSys;
}

OutGrid outGridOf(std::int16_t mapId, std::int16_t gridSys) {
  for (int i = 0; i < static_cast<int>(OutGrid::kCount); ++i)
    if (kPairs[i].mapId == mapId && kPairs[i].gridSys == gridSys) return static_cast<OutGrid>(i);
  return OutGrid::kCount;
}

bool outGridZoneKnown(int zone) { return zone == 0 || zone == 1 || zone == 2 || zone == 3 || zone == 117; }

int outPrjParamCount(int type) {
  switch (type) {
    case EllMath::PRJ_TM:
    case EllMath::PRJ_STER:
    case EllMath::PRJ_TMS:
    case EllMath::PRJ_MC:
    case EllMath::PRJ_CS:
    case EllMath::PRJ_OS:
    case EllMath::PRJ_DS: return 5;
    case EllMath::PRJ_LCC1SP:
    case EllMath::PRJ_LCC2SP:
    case EllMath::PRJ_LCCW:
    case EllMath::PRJ_OM: return 7;
    default: return 0;
  }
}

bool outPrjParamIsAngle(int type, int index) {
  switch (outPrjParamCount(type)) {
    case 5: return index <= 1;  // lat0, lon0, k0, FN, FE
    case 7:
      // latc, lonc, alphac, gammac, kc, FN, FE; or lat0, lon0, k0, FN, FE, lat1, lat2
      return type == EllMath::PRJ_OM ? index <= 3 : index <= 1 || index >= 5;
    default: return false;
  }
}

EllMath::ANY_PRJ_PARAMS outUserPrjParams(const RcvGrid& g) {
  EllMath::ANY_PRJ_PARAMS p{};
  const int n = outPrjParamCount(g.prjType);
  if (n == 0) return p;
  p.type = g.prjType;
  // Every record starts with its type and a spare word; the doubles follow in the stored order.
  if (g.prjType == EllMath::PRJ_OM) {
    p.om = EllMath::OM_PRJ_PARAMS{g.prjType, 0, g.prj[0], g.prj[1], g.prj[2], g.prj[3], g.prj[4], g.prj[5], g.prj[6]};
  } else if (n == 7) {
    p.lcc = EllMath::LCC_PRJ_PARAMS{g.prjType, 0, g.prj[0], g.prj[1], g.prj[2], g.prj[3], g.prj[4], g.prj[5], g.prj[6]};
  } else {
    p.prj = EllMath::PRJ_PARAMS{g.prjType, 0, g.prj[0], g.prj[1], g.prj[2], g.prj[3], g.prj[4]};
  }
  return p;
}

EllMath::PRJ_PARAMS outLocalPrjParams(const RcvGrid& g) {
  return EllMath::PRJ_PARAMS{EllMath::PRJ_STER, 0, g.locPrj[0], g.locPrj[1], g.locPrj[2], g.locPrj[3], g.locPrj[4]};
}

EllMath::LOCAL_PARAMS outLocalParams(const RcvGrid& g) {
  EllMath::LOCAL_PARAMS l{};
  l.uO = g.local[0], l.vO = g.local[1], l.k = g.local[2], l.alpha = g.local[3];
  l.t1 = g.local[4], l.t2 = g.local[5], l.H0 = g.local[6];
  return l;
}

NavTask::DATUM_IN_USE outputDatumSetting() {
  NavTask::DATUM_IN_USE d{};
  static_assert(sizeof d <= NavTask::kDatumBytes);
  std::memcpy(&d, NavSet.datum, sizeof d);
  if (d.name[0] == 0) assignDatum("W84", &d);
  return d;
}

void outputGridApply() {
  const RcvGrid& g = RcvSet.grid;
  const NavTask::DATUM_IN_USE dat = outputDatumSetting();
  gridSys = g.gridSys;
  mapID = g.mapId;
  // The received grid keeps the map identifier of the projection received, as its decoder sets it.
  if (g.gridSys == 4 && GotPrjExt.type != 0) mapID = GotPrjExt.type;
  const EllMath::ANY_PRJ_PARAMS prj = outUserPrjParams(g);
  EllMath::ANY_PRJ_EXTPAR user{};
  if (prj.type != 0) EllMath::initProj(dat.ell, prj, user);
  UserPrjExt = user;
  EllMath::STER_EXTPAR loc{};
  EllMath::initSTER(dat.ell, outLocalPrjParams(g), loc);
  LocExt = loc;
  Local = outLocalParams(g);
  ++prjChangeCnt;
}

void outputGridRequest() { g_request.store(true); }

void outputGridPoll() {
  if (g_request.exchange(false)) outputGridApply();
}

void outputGridBound(RCV_SETTINGS& s) {
  RcvGrid& g = s.grid;
  if (outGridOf(g.mapId, g.gridSys) == OutGrid::kCount) outGridPair(OutGrid::kNone, g.mapId, g.gridSys);
  if (outPrjParamCount(g.prjType) == 0) g.prjType = 0;
  if (!outGridZoneKnown(s.gridZone)) s.gridZone = 0;
}
