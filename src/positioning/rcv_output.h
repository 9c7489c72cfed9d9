// Output parameters of one antenna input for one epoch, and the conversions every output
// position goes through: WGS 84 to the output datum, Cartesian to geodetic with velocity, the
// grids (UTM, UPS, the national grid, a local stereographic grid, a user or received
// projection) and the geoid undulation and separation.
#pragma once

#include <cstdint>

#include "positioning/engine/nav_main.h"
#include "positioning/engine/nav_sol.h"
#include "positioning/geodesy/datum_conv.h"
#include "positioning/geodesy/datum_in_use.h"
#include "positioning/geodesy/ell_math.h"

// The board's RTK solution record; the raw-record decoder above this layer owns it.
struct BoardSolRtkType;

// Geodetic position with its velocity in north, east, up.
struct POS_GEO {
  double lat, lon;  // rad
  double h;         // m
  double vn, ve, vu;  // m/s
};
static_assert(sizeof(POS_GEO) == 48);

// Cartesian position and velocity to geodetic on `ell`.
void crt2geo(const EllMath::ELL_EXTPAR& ell, const POS_CRT& in, POS_GEO* out);

// Which grid computeGrid produced.
struct GRID_FLAGS {
  bool utm = false;
  bool ups = false;
  bool local = false;
  int zone = 0;        // UTM zone; UPS: 1 west of Greenwich, else 0
  int natZone = 0;     // national grid zone
  double resHeight = 0.0;
  bool resPresent = false;
};

struct RCV_OUTPUT {
  NavTask::NAV_EPOCH epoch;
  const NavTask::NAV_SOL* pNavSol = nullptr;
  const BoardSolRtkType* pRtkSol = nullptr;  // main input only
  std::uint8_t bSolPresent = 0;   // the solution record's status is good
  std::uint8_t bRtkAvail = 0;
  std::uint8_t bHeadingAvail = 0;
  std::uint8_t bOutPos = 0;       // a position goes out with this epoch

  // WGS 84 to the output datum; true when the datum position is valid. The residual height is
  // handed out apart (resPresent set) when the datum asks for it, else added to the height.
  static bool GlobPos2Loc(const NavTask::DATUM_IN_USE& dat, const POS_CRT& wgs, POS_CRT* locCrt, POS_GEO* locGeo,
                          double* resHeight, bool* resPresent);
  // Grid of the geodetic position by mapID and gridSys: grid[0..2] northing, easting, height.
  // false leaves northing and easting 0 and the geodetic height in grid[2].
  static bool computeGrid(bool locValid, const NavTask::DATUM_IN_USE& dat, const POS_GEO& geo, double grid[3],
                          GRID_FLAGS* flags);
  static bool BLH_UTM(const NavTask::DATUM_IN_USE& dat, const POS_GEO& geo, double grid[3], int* zone);
  static bool BLH_UPS(const NavTask::DATUM_IN_USE& dat, const POS_GEO& geo, double grid[3], int* west);
  static bool BLH_Proj(const NavTask::DATUM_IN_USE& dat, const POS_GEO& geo, double grid[3], double* resHeight,
                       bool* resPresent);
  // Undulation and separation (datum height - WGS 84 height + undulation); false with both 0
  // when no source gives one.
  static bool computeGeoid(const NavTask::DATUM_IN_USE& dat, const POS_GEO& wgs, const POS_GEO& loc, double recvValue,
                           bool recvPresent, double* undulation, double* separation);
};

// Grid and geoid selection (set by the datum and grid commands and by a received datum).
extern int mapID;      // 0 none, 1 transverse Mercator family, 2 polar family, other: projection
extern int gridSys;
extern int geoidSys;   // written by computeGeoid: 1 model, 2 fixed, 4 received
extern EllMath::ANY_PRJ_EXTPAR UserPrjExt;
extern EllMath::ANY_PRJ_EXTPAR GotPrjExt;   // type 0: no received projection
extern const DtmList::TRANSFORM_RESIDUALS* GotMapPrj;  // plane residuals of it, or null
extern EllMath::STER_EXTPAR LocExt;
extern EllMath::LOCAL_PARAMS Local;
