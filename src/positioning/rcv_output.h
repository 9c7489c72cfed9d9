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

struct REL_POS_BLOCK;
class ReferencePos;
class PosFilter;

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

// The RTK solution as the output reads it; the link layer fills it from the board's record.
struct RTK_SOL {
  static constexpr int kUseEntries = 196;  // use entry per RTK satellite index 1..195
  std::int32_t state = 0;                  // 1..6 a solution
  std::uint8_t mode = 0;
  std::uint8_t bHeadingAvail = 0;
  std::uint8_t status = 0;
  std::uint8_t bVelPresent = 0;
  std::uint8_t bPosKnown = 0;              // rover, base and baseline were filled
  double rover[3] = {};                    // ECEF, m
  double base[3] = {};
  double baseline[3] = {};                 // rover minus base, m
  double vel[3] = {};                      // m/s
  double posCov[6] = {};                   // XX XY XZ YY YZ ZZ, m^2
  double velCov[6] = {};                   // (m/s)^2
  double cof[10] = {};                     // X Y Z T cofactors, upper triangle row by row
  std::uint8_t satCount[3][7] = {};
  std::uint32_t useWord = 0;
  std::uint16_t stationId[2] = {65535, 65535};
  std::uint16_t value2 = 0;
  std::uint8_t use[kUseEntries] = {};      // 1..255: the satellite is in the solution
  double headingVar = 0;                   // the board's heading variance; filled with the baseline
  float blRate[3] = {};                    // baseline rate, Earth-centred, m/s
};

// One channel of an antenna input as the RTK satellite marking sees it.
struct RTK_MARK_CHAN {
  std::uint8_t bDataPresent;
  std::uint8_t sys;        // SvSystem
  std::int16_t sv;         // satellite number (GLONASS: frequency number)
  std::uint32_t sigState;  // 4..41: not marked
};

// Values of one solution as output.
struct SOL_OUTPUT {
  enum Source : std::uint8_t { kSrcEpoch = 0, kSrcNavSol = 1, kSrcRtk = 2 };
  // 1
  Source source = kSrcEpoch;
  // 2..5
  POS_CRT PosWgsXYZ{};
  POS_GEO PosWgsLLA{};
  POS_CRT PosLocXYZ{};
  POS_GEO PosLocLLA{};
  // 6
  const POS_CRT* pBase = nullptr;
  const POS_GEO* pPosRaw = nullptr;
  // 7..9
  double grid[3] = {};
  double baseGrid[3] = {};
  std::uint8_t bBaseGridValid = 0;
  double baseUndulation = 0, baseSeparation = 0;
  std::uint8_t bBaseGeoidValid = 0;
  double baseRecvHeight = 0;
  POS_GEO BaseWgsLLA{};
  POS_GEO BaseLocLLA{};
  // 10
  std::uint8_t bBaseLocValid = 0;
  GRID_FLAGS gridFlags{};
  std::uint8_t bGridComputed = 0;
  std::uint8_t utmZone = 0;
  std::uint8_t bLocValid = 0;
  std::int32_t mapId = 0;
  std::uint8_t bUps = 0, bLocalGrid = 0, bNatGrid = 0;
  // 11
  DtmList::ELL_PARAMS datumEll{};
  DtmList::DATUM_PARAMS_STORE datumPrm{};
  std::int32_t datumIndex = 0;
  // 12..14
  std::uint16_t satCount[3][7] = {};
  std::uint32_t sysWord[7] = {};
  std::uint16_t refStationId = 0;
  std::uint16_t rtkValue2 = 0;
  // 15: N, E, horizontal, up, 3D; velocity horizontal, vertical, 3D
  float posSigma[5] = {};
  float velSigma[3] = {};
  float fExtra = 0;
  std::uint32_t ulExtra = 0;
  // 16: G, P, N, E, H, V, T
  float dop[7] = {};
  // 17..18
  double course = 0, magCourse = 0, magVar = 0;
  std::uint8_t bMagCourseValid = 0;
  double knots = 0, kmh = 0;
  // 19..20
  double geoidSep = 0, undulation = 0;
  std::uint8_t bGeoidValid = 0;
  double resHeight = 0;
  std::uint8_t bResPresent = 0;
  // 21
  double heading = 0, pitch = 0;
  std::uint8_t bHeadingValid = 0;
  double rateOfTurn = 0;
  std::uint8_t bRotValid = 0;
  float headingSigma = 0;
  // 22
  std::int32_t solType = 0;
  std::int32_t sysInUse = 0;
  std::uint32_t ulFilterWord = 0;
  // 23
  std::uint8_t rtkStatus = 0, bPosValid = 0, bVelValid = 0, bFilterApplied = 0;
  std::uint16_t filterResult = 0;
  // 24
  float ellMajor = 0, ellMinor = 0, ellOrient = 0;
  std::uint8_t bEllValid = 0;
  // 25
  std::uint8_t bOutPos = 0;       // a position goes out with this epoch

  bool isPosValid() const { return bOutPos != 0 && bPosValid != 0; }
};

struct RCV_OUTPUT {
  std::uint8_t bSolPresent = 0;   // the solution record's status is good
  const NavTask::NAV_SOL* pNavSol = nullptr;
  std::uint8_t bRtkAvail = 0;
  std::uint8_t bHeadingAvail = 0;
  const RTK_SOL* pRtkSol = nullptr;  // main input only
  NavTask::NAV_EPOCH epoch;
  int chanBase = 0;                       // first Cdat channel of the input
  const RTK_MARK_CHAN* pChans = nullptr;  // the input's channels for the RTK marking, or null
  int nChans = 0;
  const REL_POS_BLOCK* pRelPos = nullptr;  // the epoch's relative-position block, or null
  std::uint8_t bMainInput = 1;            // feeds the position filter and the base-moving monitor
  SOL_OUTPUT sol;

  // The output values of this epoch from the chosen solution.
  void computeParams();

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

// Semi-axes (m) and orientation of the major axis (degrees 0..180 from north) of the error
// ellipse of a horizontal covariance.
void getEllipsParams(double varN, double varE, double covNE, float* major, float* minor, float* orient);
// Solution type of an RTK state, -1 for a state that gives no output.
int rtkSolType(int state);
// RTK satellite index (1..195) of a satellite, 0 when it is out of its system's range.
int rtkSatIndex(int sys, int sv);
// Heading, pitch (offsets in degrees), heading sigma, rate of turn and status byte of the RTK
// baseline at (lat, lon).
void baselineAttitude(const RTK_SOL& rtk, double lat, double lon, double hdgOffsetDeg, double pitchOffsetDeg,
                      SOL_OUTPUT* s);
// The working position by the reference-position mode (1 known, 2 shifted by known minus
// measured, 4 the record `rec`) from the stored triples (measured XYZ, BLH, known XYZ, BLH);
// false keeps the position.
bool applyRefPosMode(int mode, const double refPos[4][3], const ReferencePos& rec, POS_CRT* crt, POS_GEO* geo);
// One fix through the output position filter: true when the working position became the filtered
// one, with the unfiltered one in `raw` and the filter's count in `result`.
bool applyPosFilter(PosFilter& f, double rms, std::uint32_t nowSec, const EllMath::ELL_EXTPAR& ell, POS_CRT* crt,
                    POS_GEO* geo, POS_GEO* raw, std::uint16_t* result);
// Monotonic second of the last epoch without an output solution.
extern std::uint32_t PosAge;
// The unfiltered output position of an epoch whose output the position filter replaced.
extern POS_GEO PosRawLLA;
