#include "positioning/rcv_output.h"

#include <cmath>
#include <cstring>

#include "positioning/geodesy/dk_national_grid.h"
#include "positioning/geoid/geoid_gps.h"
#include "positioning/nav_tools.h"
#include "settings/rcv_settings.h"

int mapID = 0;
int gridSys = 0;
int geoidSys = 0;
EllMath::ANY_PRJ_EXTPAR UserPrjExt{};
EllMath::ANY_PRJ_EXTPAR GotPrjExt{};
const DtmList::TRANSFORM_RESIDUALS* GotMapPrj = nullptr;
EllMath::STER_EXTPAR LocExt{};
EllMath::LOCAL_PARAMS Local{};

namespace {
constexpr double kDeg = M_PI / 180.0;
// The national grid serves positions within this of the user projection's central meridian.
constexpr double kNatLonWindow = 0.10471975511965978;

bool isGot(const NavTask::DATUM_IN_USE& d) { return std::strncmp(d.name, "GOT", sizeof d.name) == 0; }

// A position a grid may be asked for: finite, latitude within the poles, longitude as atan2 gives it.
bool usable(const POS_GEO& g) {
  return std::isfinite(g.lat) && std::isfinite(g.lon) && std::isfinite(g.h) && std::fabs(g.lat) <= M_PI / 2 &&
         std::fabs(g.lon) <= M_PI;
}

bool finite2(double a, double b) { return std::isfinite(a) && std::isfinite(b); }

// Residual height: apart when both the datum and the residual set ask for it, else into h.
void applyResidualHeight(const NavTask::DATUM_IN_USE& dat, const DtmList::TRANSFORM_RESIDUALS& res, double dH,
                         double* h, double* resHeight, bool* resPresent) {
  if (dat.separateResidualHeight && res.heightPresent) {
    if (resHeight) *resHeight = dH;
    if (resPresent) *resPresent = true;
  } else {
    *h += dH;
  }
}
}  // namespace

void crt2geo(const EllMath::ELL_EXTPAR& ell, const POS_CRT& in, POS_GEO* out) {
  EllMath::XYZ_BLH(ell, in.x, in.y, in.z, out->lat, out->lon, out->h);
  const double v[3] = {in.vx, in.vy, in.vz};
  double neu[3];
  Geometry::XYZ_NEU(out->lat, out->lon, v, neu, false);
  out->vn = neu[0];
  out->ve = neu[1];
  out->vu = neu[2];
}

bool RCV_OUTPUT::GlobPos2Loc(const NavTask::DATUM_IN_USE& dat, const POS_CRT& wgs, POS_CRT* locCrt, POS_GEO* locGeo,
                             double* resHeight, bool* resPresent) {
  if (resPresent) *resPresent = false;
  if (resHeight) *resHeight = 0.0;
  if (!std::isfinite(wgs.x) || !std::isfinite(wgs.y) || !std::isfinite(wgs.z)) return false;
  const bool got = isGot(dat);
  if (got) {
    if (dat.area == nullptr) return false;
    double B, L, H;
    EllMath::XYZ_BLH(EllExt, wgs.x, wgs.y, wgs.z, B, L, H);
    const double latLon[2] = {B, L};
    if (!DatumConv::checkDatArea(dat.area, latLon, 0)) return false;
  }
  DatumConv::transDirect(true, dat.prm, wgs, locCrt);
  crt2geo(dat.ell, *locCrt, locGeo);
  if (!std::isfinite(locGeo->lat) || !std::isfinite(locGeo->lon) || !std::isfinite(locGeo->h)) return false;
  if (!got || dat.res == nullptr) return true;
  const double latLon[2] = {locGeo->lat, locGeo->lon};
  double c[3];
  if (!DatumConv::correctTransformation(dat.res, latLon, c)) return false;
  locGeo->lat += c[0];
  locGeo->lon += c[1];
  applyResidualHeight(dat, *dat.res, c[2], &locGeo->h, resHeight, resPresent);
  EllMath::BLH_XYZ(dat.ell, locGeo->lat, locGeo->lon, locGeo->h, locCrt->x, locCrt->y, locCrt->z);
  return true;
}

bool RCV_OUTPUT::BLH_UTM(const NavTask::DATUM_IN_USE& dat, const POS_GEO& geo, double grid[3], int* zone) {
  if (!usable(geo) || geo.lat <= -80.5 * kDeg || geo.lat >= 84.5 * kDeg) return false;
  // atan2 gives +180 degrees, which the zone formula would put in a zone 61.
  int z = static_cast<int>(1.0 + (geo.lon / kDeg + 180.0) / 6.0);
  if (z > 60) z = 1;
  if (z < 1) z = 1;
  EllMath::PRJ_PARAMS p{EllMath::PRJ_TM, 0, 0.0, (6.0 * (z - 1) - 177.0) * kDeg, 0.9996, 0.0, 500000.0};
  EllMath::UTM_EXTPAR x;
  EllMath::initUTM(dat.ell, p, x);
  double N, E;
  EllMath::BLH_UTM(x, geo.lat, geo.lon, N, E);
  if (!finite2(N, E)) return false;
  grid[0] = N;
  grid[1] = E;
  grid[2] = geo.h;
  if (zone) *zone = z;
  return true;
}

bool RCV_OUTPUT::BLH_UPS(const NavTask::DATUM_IN_USE& dat, const POS_GEO& geo, double grid[3], int* west) {
  if (!usable(geo) || (geo.lat >= -79.5 * kDeg && geo.lat <= 83.5 * kDeg)) return false;
  // Central meridian 0 at both poles: grid north runs along Greenwich's meridian in the south
  // as well, which is how UPS South is defined.
  const double lat0 = geo.lat > 0 ? M_PI / 2 : -M_PI / 2;
  EllMath::PRJ_PARAMS p{EllMath::PRJ_STER, 0, lat0, 0.0, 0.994, 2000000.0, 2000000.0};
  EllMath::STER_EXTPAR x;
  EllMath::initSTER(dat.ell, p, x);
  double E, N;
  if (!EllMath::BLH_Stereo(x, geo.lat, geo.lon, E, N) || !finite2(N, E)) return false;
  grid[0] = N;
  grid[1] = E;
  grid[2] = geo.h;
  if (west) *west = geo.lon < 0 ? 1 : 0;
  return true;
}

bool RCV_OUTPUT::BLH_Proj(const NavTask::DATUM_IN_USE& dat, const POS_GEO& geo, double grid[3], double* resHeight,
                          bool* resPresent) {
  if (!usable(geo)) return false;
  double E, N;
  if (gridSys == 2) {
    if (!EllMath::BLH_Proj(UserPrjExt, geo.lat, geo.lon, E, N) || !finite2(N, E)) return false;
    grid[0] = N;
    grid[1] = E;
    grid[2] = geo.h;
    return true;
  }
  if (gridSys != 4 || GotPrjExt.type == 0 || !isGot(dat)) return false;
  if (!EllMath::BLH_Proj(GotPrjExt, geo.lat, geo.lon, E, N) || !finite2(N, E)) return false;
  double h = geo.h;
  const double latLon[2] = {geo.lat, geo.lon};
  double c[3];
  if (GotMapPrj != nullptr && DatumConv::correctTransformation(GotMapPrj, latLon, c)) {
    N += c[0];
    E += c[1];
    applyResidualHeight(dat, *GotMapPrj, c[2], &h, resHeight, resPresent);
  }
  grid[0] = N;
  grid[1] = E;
  grid[2] = h;
  return true;
}

bool RCV_OUTPUT::computeGrid(bool locValid, const NavTask::DATUM_IN_USE& dat, const POS_GEO& geo, double grid[3],
                             GRID_FLAGS* flags) {
  GRID_FLAGS f;
  double g[3] = {0.0, 0.0, geo.h};
  bool ok = false;
  if (mapID == 1 && gridSys == 1) {
    ok = f.utm = BLH_UTM(dat, geo, g, &f.zone);
  } else if (mapID == 2 && gridSys == 1) {
    ok = f.ups = BLH_UPS(dat, geo, g, &f.zone);
  } else if (mapID != 0 && locValid) {
    if (mapID == 1 && gridSys == 2) {
      const int zone = RcvSet.gridZone;
      // The grid's input is the output-datum position already; it takes no other datum.
      if (zone != 0 && usable(geo) && std::fabs(geo.lon - UserPrjExt.utm.p.lon0) <= kNatLonWindow) {
        double N = geo.lat, E = geo.lon;
        if (DkGrid::_Forward(&N, &E, zone) && finite2(N, E)) {
          g[0] = N;
          g[1] = E;
          f.natZone = zone;
          ok = true;
        }
      }
    } else if (mapID == 2 && gridSys == 3) {
      double E, N;
      if (usable(geo) && EllMath::BLH_Stereo(LocExt, geo.lat, geo.lon, E, N)) {
        double u, v, H;
        EllMath::Grid_Local(Local, N, E, geo.h, u, v, H);
        if (finite2(u, v) && std::isfinite(H)) {
          g[0] = u;
          g[1] = v;
          g[2] = H;
          ok = f.local = true;
        }
      }
    } else {
      ok = BLH_Proj(dat, geo, g, &f.resHeight, &f.resPresent);
    }
  }
  if (!ok) {
    g[0] = g[1] = 0.0;
    g[2] = geo.h;
  }
  grid[0] = g[0];
  grid[1] = g[1];
  grid[2] = g[2];
  if (flags) *flags = f;
  return ok;
}

bool RCV_OUTPUT::computeGeoid(const NavTask::DATUM_IN_USE& dat, const POS_GEO& wgs, const POS_GEO& loc,
                              double recvValue, bool recvPresent, double* undulation, double* separation) {
  *undulation = *separation = 0.0;
  const double dh = loc.h - wgs.h;
  if (RcvSet.fixedUndOn) {
    geoidSys = 2;
    *undulation = RcvSet.fixedUnd;
    *separation = dh + *undulation;
    return true;
  }
  if (recvPresent && dat.heightType == 2) {
    geoidSys = 4;
    *undulation = recvValue;
    *separation = dh + recvValue;
    return true;
  }
  if (recvPresent && dat.heightType == 1) {
    geoidSys = 4;
    *separation = recvValue;
    *undulation = recvValue - dh;
    return true;
  }
  // Only a valid model answers; an invalid one would repeat its last height.
  double u;
  if (!GeoidGPS::getHeight(wgs.lat, wgs.lon, &u)) return false;
  geoidSys = 1;
  *undulation = u;
  *separation = dh + u;
  return true;
}
