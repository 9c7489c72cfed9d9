// The per-epoch output values of one antenna input: which solution goes out, its accuracy in
// local axes, its datum, grid and geoid values, course and speed.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "navigation_data/sv_id.h"
#include "platform/debug.h"
#include "platform/mono_clock.h"
#include "positioning/chan_data.h"
#include "positioning/chan_satellite.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/geodesy/magvar.h"
#include "positioning/output_grid.h"
#include "positioning/rcv_output.h"
#include "positioning/rcv_output_base_moving.h"
#include "positioning/reference/pos_filter.h"
#include "positioning/reference/reference_pos.h"
#include "settings/debug_selectors.h"
#include "settings/nav_settings.h"
#include "settings/rcv_settings.h"

std::uint32_t PosAge = 0;
POS_GEO PosRawLLA;

namespace {
constexpr double kRad2Deg = 180.0 / M_PI;
constexpr double kKnots = 1.9438444924406046;

// Rows north, east, up of the rotation from Earth-centred axes at (lat, lon).
void neuRows(double lat, double lon, double r[3][3]) {
  const double sp = std::sin(lat), cp = std::cos(lat), sl = std::sin(lon), cl = std::cos(lon);
  r[0][0] = -sp * cl, r[0][1] = -sp * sl, r[0][2] = cp;
  r[1][0] = -sl, r[1][1] = cl, r[1][2] = 0.0;
  r[2][0] = cp * cl, r[2][1] = cp * sl, r[2][2] = sp;
}

// A symmetric 3 x 3 from its upper triangle (XX XY XZ YY YZ ZZ) rotated into local axes.
void rotateSym(const double r[3][3], const double u[6], double out[3][3]) {
  const double c[3][3] = {{u[0], u[1], u[2]}, {u[1], u[3], u[4]}, {u[2], u[4], u[5]}};
  double t[3][3];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) t[i][j] = r[i][0] * c[0][j] + r[i][1] * c[1][j] + r[i][2] * c[2][j];
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) out[i][j] = t[i][0] * r[j][0] + t[i][1] * r[j][1] + t[i][2] * r[j][2];
}

// Square root of a variance sum; a slightly negative sum from rounding counts as 0.
float sq(double v) { return static_cast<float>(std::sqrt(v > 0.0 ? v : 0.0)); }

NavTask::DATUM_IN_USE outputDatum() {
  NavTask::DATUM_IN_USE d{};
  static_assert(sizeof d <= NavTask::kDatumBytes);
  std::memcpy(&d, NavSet.datum, sizeof d);
  if (d.name[0] == 0) assignDatum("W84", &d);  // settings never filled
  return d;
}

bool isW84(const NavTask::DATUM_IN_USE& d) { return std::strncmp(d.name, "W84", sizeof d.name) == 0; }

// System index of a number in the excluded list's numbering.
int excludedSystem(int n) {
  if (n < 193) return kSysGps;
  if (n < 300) return kSysGlonass;
  if (n < 400) return kSysGalileo;
  if (n < 500) return kSysSbas;
  if (n < 600) return kSysQzss;
  if (n < 700) return kSysBeidou;
  return kSysNavic;
}

float wordFloat(std::uint32_t w) {
  float f;
  std::memcpy(&f, &w, sizeof f);
  return std::isfinite(f) ? f : 0.0f;
}

// The own solution's position accuracy, as the navigation solution holds it: standard deviations
// north, east, horizontal, up and 3D and the north-east covariance, which give the ellipse.
void ownSigma(const NavTask::NAV_POS& p, SOL_OUTPUT& s) {
  const NavTask::SolAccuracy a = NavTask::solAccuracy(p);
  if (!a.sigmaValid) return;
  for (int i = 0; i < 5; ++i) s.posSigma[i] = a.sigma[i];
  getEllipsParams(double(s.posSigma[0]) * s.posSigma[0], double(s.posSigma[1]) * s.posSigma[1], a.covNE, &s.ellMajor,
                  &s.ellMinor, &s.ellOrient);
  s.bEllValid = 1;
}

// The own solution's values that the board's standalone solution carries beside its position, by
// their place in the board's record: the second accuracy block holds the velocity's horizontal,
// vertical and 3D standard deviations (m/s), a further value and a word; the four 16-bit words at
// offset 11 the reference station and, third as in the RTK record, the second value; each
// system's block (offset 21) its 32-bit value as the system's word.
void ownFromBoard(const BoardSolAlnType& b, SOL_OUTPUT& s) {
  const PosData::AccuracyBlock& vel = b.acc1224[1];
  if (vel.uFlag != 0) {
    for (int i = 0; i < 3; ++i) s.velSigma[i] = wordFloat(vel.ulWord[i]);
    s.fExtra = wordFloat(vel.ulWord[3]);
    s.ulExtra = vel.ulWord[4];
  }
  s.refStationId = b.u11[0];
  s.rtkValue2 = b.u11[2];
  for (int k = 0; k < 7; ++k) std::memcpy(&s.sysWord[k], &b.sys21[k].fValue, sizeof s.sysWord[k]);
}

int sysInUseCode(const std::uint16_t counts[7]) {
  int n = 0, only = 0;
  for (int k = 0; k < 7; ++k)
    if (counts[k] != 0) ++n, only = k + 1;
  return n == 1 ? only : n == 0 ? 0 : 8;
}
}  // namespace

int rtkSolType(int state) {
  static constexpr int kType[7] = {-1, 3, 4, 5, 7, 8, 9};
  return state >= 1 && state <= 6 ? kType[state] : -1;
}

int rtkSatIndex(int sys, int sv) {
  struct Range {
    int lo, hi, add;
  };
  static constexpr Range kRange[SYS_NUM] = {{1, 32, 0},    {-7, 7, 40},  {1, 36, 47}, {120, 147, -36},
                                            {193, 199, -81}, {1, 63, 118}, {1, 14, -75}};
  if (sys < 0 || sys >= SYS_NUM || sv < kRange[sys].lo || sv > kRange[sys].hi) return 0;
  return (sv + kRange[sys].add) & 0xFF;
}

void getEllipsParams(double varN, double varE, double covNE, float* major, float* minor, float* orient) {
  const double d = varN - varE;
  const double r = std::sqrt(d * d + 4.0 * covNE * covNE) / 2.0;
  const double m = (varN + varE) / 2.0;
  *major = std::sqrt(static_cast<float>(m + r));
  // Rounding leaves m - r slightly negative for a singular covariance: no NaN for that.
  const float m2 = static_cast<float>(m - r);
  *minor = std::sqrt(m2 > 0.0f ? m2 : 0.0f);
  double o = std::atan2(2.0 * covNE, d) * 28.64788975654116;
  if (o < 0.0) o += 360.0;
  if (o >= 180.0) o -= 180.0;
  *orient = static_cast<float>(o);
}

void RCV_OUTPUT::computeParams() {
  // A grid the commands changed takes effect here, between two records.
  outputGridPoll();
  SOL_OUTPUT& s = sol;
  // One copy, taken under the position locks, is what this epoch outputs: another task may write
  // the record's position meanwhile, and fields taken one by one could mix two positions. What
  // goes back into the record goes back under the locks too.
  const NavTask::NAV_SOL& rec = pNavSol ? *pNavSol : NavSol;
  const NavTask::NAV_SOL ns = navSolCopy(rec);
  const NavTask::NAV_POS& np = ns.pos;
  // Resets the command keys asked for since the last epoch.
  if (bMainInput) applyBaseMovingResets();
  s.bEllValid = s.bRotValid = s.bHeadingValid = 0;
  s.pBase = nullptr;
  s.pPosRaw = nullptr;
  s.bFilterApplied = 0;

  // Satellite counts of the input: used, tracked, excluded.
  // A channel counts under the system of its satellite (the board's code mapped to it).
  std::uint16_t counts[3][7] = {};
  const auto system = [](int ch) {
    ChanSatellite sat;
    return ch < kCdatChannels && chanSatellite(Cdat[ch].sysCode, Cdat[ch].svNum, sat) ? sat.sys : kSvUnknown;
  };
  for (int k = 0; k < ns.uNumUsed && k < NavTask::NAV_SOL::kMaxSats; ++k) {
    const std::uint8_t sys = system(ns.uUsedChan[k]);
    if (sys < SYS_NUM) ++counts[0][sys];
  }
  for (int ch = chanBase; ch >= 0 && ch < chanBase + kCdatPerInput && ch < kCdatChannels; ++ch) {
    const std::uint8_t sys = Cdat[ch].bDataPresent ? system(ch) : kSvUnknown;
    if (sys < SYS_NUM) ++counts[1][sys];
  }
  for (int k = 0; k < ns.uNumExcluded && k < NavTask::NAV_SOL::kMaxSats; ++k)
    ++counts[2][excludedSystem(ns.uExcluded[k])];
  std::memcpy(s.satCount, counts, sizeof counts);

  s.PosLocXYZ = {np.dXyz[0], np.dXyz[1], np.dXyz[2], np.dVel[0], np.dVel[1], np.dVel[2]};
  s.PosLocLLA = {np.dBlh[0], np.dBlh[1], np.dBlh[2], 0, 0, 0};
  s.bLocValid = 1;
  // The navigation solution's seven accuracy values are its dilutions of precision, in the
  // record's order G, P, N, E, H, V, T.
  const NavTask::SolAccuracy acc = NavTask::solAccuracy(np);
  for (int k = 0; k < 7; ++k) s.dop[k] = acc.dop[k];

  // Attitude of the baseline, at the rover's own position.
  if (bHeadingAvail && pRtkSol && pRtkSol->bPosKnown) {
    const POS_CRT rv{pRtkSol->rover[0], pRtkSol->rover[1], pRtkSol->rover[2], 0, 0, 0};
    POS_GEO g{};
    crt2geo(EllExt, rv, &g);
    baselineAttitude(*pRtkSol, g.lat, g.lon, RcvSet.hdgOffset, RcvSet.pitchOffset, &s);
  }

  // Choose the solution.
  const RTK_SOL* rtk = bRtkAvail && pRtkSol && pRtkSol->bPosKnown ? pRtkSol : nullptr;
  if (rtk_cpd_dbi == 4)
    debPrintfx(-1, "$RCV_OUTPUT::computeParams(): RtkAv= %d bHeadingAv %d\r\n", bRtkAvail, bHeadingAvail);
  const bool midPoint = RcvSet.midPointOut != 0;
  if (rtk && midPoint && !(bHeadingAvail && rtk->state == 2 && rtk->mode == 4)) rtk = nullptr;
  const bool own = !rtk && bSolPresent && (np.bValid || tPosMode <= 3 || RcvSet.codeSolAllowed);
  POS_CRT wgs{};
  if (rtk) {
    const double half = midPoint ? 0.5 : 0.0;
    wgs = {rtk->rover[0] + half * rtk->baseline[0], rtk->rover[1] + half * rtk->baseline[1],
           rtk->rover[2] + half * rtk->baseline[2], 0, 0, 0};
    s.source = SOL_OUTPUT::kSrcRtk;
    BaseMovingData.base = {rtk->base[0], rtk->base[1], rtk->base[2], 0, 0, 0};
    s.pBase = &BaseMovingData.base;
    if (rtk->bVelPresent) {
      wgs.vx = rtk->vel[0], wgs.vy = rtk->vel[1], wgs.vz = rtk->vel[2];
    } else if (np.bVelValid) {
      wgs.vx = np.dVel[0], wgs.vy = np.dVel[1], wgs.vz = np.dVel[2];
    }
  } else if (own) {
    wgs = {np.dXyz[0], np.dXyz[1], np.dXyz[2], 0, 0, 0};
    if (np.bVelValid) wgs.vx = np.dVel[0], wgs.vy = np.dVel[1], wgs.vz = np.dVel[2];
    s.source = SOL_OUTPUT::kSrcNavSol;
    for (std::uint32_t& w : s.sysWord) w = 0;  // no RTK use words from an earlier epoch
    s.refStationId = 0;
    s.rtkValue2 = 0;
    s.fExtra = 0;
    s.ulExtra = 0;
    s.solType = np.uNavMode == 2 ? 2 : 0;  // differential
    s.sysInUse = np.uSysUsed;
    s.ulFilterWord = np.ulExtra[0];
    s.bPosValid = 1;
    s.bVelValid = np.bVelValid ? 1 : 0;
    s.bOutPos = 1;
  } else {
    PosAge = MonoClock::sec();
    s.source = SOL_OUTPUT::kSrcEpoch;
    s.bPosValid = s.bVelValid = s.bOutPos = 0;
    if (bSolPresent && pNavSol) {
      PosLock lock;
      const_cast<NavTask::NAV_SOL*>(pNavSol)->status = 7;
    }
    std::memcpy(s.satCount, counts, sizeof counts);
    return;
  }

  // Local axes and accuracy.
  const EllMath::ELL_EXTPAR& wgsEll = EllExt;
  crt2geo(wgsEll, wgs, &s.PosWgsLLA);
  s.PosWgsXYZ = wgs;
  double r[3][3];
  neuRows(s.PosWgsLLA.lat, s.PosWgsLLA.lon, r);
  if (rtk) {
    for (int i = 0; i < 3; ++i)
      for (int k = 0; k < 7; ++k) s.satCount[i][k] = rtk->satCount[i][k];
    const double* q = rtk->cof;  // XX XY XZ XT YY YZ YT ZZ ZT TT
    const double q3[6] = {q[0], q[1], q[2], q[4], q[5], q[7]};
    double qn[3][3];
    rotateSym(r, q3, qn);
    const double t = q[9];
    s.dop[0] = sq(qn[0][0] + qn[1][1] + qn[2][2] + t);
    s.dop[1] = sq(qn[0][0] + qn[1][1] + qn[2][2]);
    s.dop[2] = sq(qn[0][0]);
    s.dop[3] = sq(qn[1][1]);
    s.dop[4] = sq(qn[0][0] + qn[1][1]);
    s.dop[5] = sq(qn[2][2]);
    s.dop[6] = sq(t);
    double c[3][3];
    rotateSym(r, rtk->posCov, c);
    getEllipsParams(c[0][0], c[1][1], c[0][1], &s.ellMajor, &s.ellMinor, &s.ellOrient);
    s.posSigma[0] = sq(c[0][0]);
    s.posSigma[1] = sq(c[1][1]);
    s.posSigma[2] = sq(c[0][0] + c[1][1]);
    s.posSigma[3] = sq(c[2][2]);
    s.posSigma[4] = sq(c[0][0] + c[1][1] + c[2][2]);
    s.bEllValid = 1;
    s.bPosValid = 1;
    s.bVelValid = 0;
    if (rtk->bVelPresent || np.bVelValid) {
      rotateSym(r, rtk->velCov, c);
      s.velSigma[0] = sq(c[0][0] + c[1][1]);
      s.velSigma[1] = sq(c[2][2]);
      s.velSigma[2] = sq(c[0][0] + c[1][1] + c[2][2]);
      s.bVelValid = 1;
    }

    // Per-system words, station, and the RTK satellites among the used ones.
    for (std::uint32_t& w : s.sysWord) w = 0;
    s.sysWord[kSysGps] = s.sysWord[kSysGlonass] = rtk->useWord;
    s.refStationId = rtk->stationId[0] != 65535 ? rtk->stationId[0] : rtk->stationId[1];
    s.rtkValue2 = rtk->value2;
    if (NavTask::NAV_SOL* out = pNavSol ? const_cast<NavTask::NAV_SOL*>(pNavSol) : nullptr) {
      PosLock lock;
      for (int ch = 0; pChans && ch < nChans && ch < kCdatPerInput; ++ch) {
        const RTK_MARK_CHAN& c0 = pChans[ch];
        if (!c0.bDataPresent || (c0.sigState >= 4 && c0.sigState <= 41)) continue;
        const int idx = rtkSatIndex(c0.sys, c0.sv);
        if (idx <= 0 || idx >= RTK_SOL::kUseEntries || rtk->use[idx] == 0) continue;
        if (out->uNumUsed >= NavTask::NAV_SOL::kMaxSats) break;  // the list is full
        out->uUsedChan[out->uNumUsed] = static_cast<std::uint8_t>(chanBase + ch);
        out->fUsedValue[out->uNumUsed] = 0.0f;
        ++out->uNumUsed;
      }
    }
    const int type = rtkSolType(rtk->state);
    if (type < 0) {
      s.bOutPos = 0;
      return;
    }
    s.solType = type;
    s.sysInUse = sysInUseCode(s.satCount[0]);
  } else {
    // The own solution's accuracy, station and system words come with the board's solution in
    // the epoch record, when that record is this solution's.
    for (float& v : s.posSigma) v = 0;
    for (float& v : s.velSigma) v = 0;
    ownSigma(np, s);
    const PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
    if (e != nullptr) {
      if (e->pNavSol == &rec && e->board.bSolAln != 0) ownFromBoard(e->board.solAln, s);
      PVTDataInstance.epochData.FreePointer(e);
    }
  }

  // Base-moving monitor, reference-position mode, position filter.
  // Both the monitor and the filter are one each: only the main input's solution goes in, the
  // other input's would be mixed into them.
  if (bMainInput && pRelPos)
    baseMovingStep(BaseMovingData, pRelPos, RcvTimeScales::rcvRefTime.load() == 1 ? 86400000 : 604800000);
  applyRefPosMode(RcvSet.refPosMode, RcvSet.refPos, RcvPosGPS, &wgs, &s.PosWgsLLA);
  const NavTask::DATUM_IN_USE dat = outputDatum();
  s.filterResult = 0;
  if (bFiltMode && bMainInput &&
      applyPosFilter(PosFilt, s.posSigma[4], MonoClock::sec(), wgsEll, &wgs, &s.PosWgsLLA, &PosRawLLA, &s.filterResult)) {
    s.pPosRaw = &PosRawLLA;
    s.bFilterApplied = 1;
  }
  s.PosWgsXYZ = wgs;

  // Datum.
  s.PosLocXYZ = wgs;
  s.PosLocLLA = s.PosWgsLLA;
  s.bLocValid = 1;
  s.bResPresent = 0;
  s.resHeight = 0;
  DtmList::getDatum("W84", &s.datumEll, &s.datumPrm, &s.datumIndex);
  if (!isW84(dat)) {
    bool resPresent = false;
    if (!RCV_OUTPUT::GlobPos2Loc(dat, wgs, &s.PosLocXYZ, &s.PosLocLLA, &s.resHeight, &resPresent)) {
      s.bLocValid = 0;
    } else {
      DtmList::getDatum(dat.name, &s.datumEll, &s.datumPrm, &s.datumIndex);
    }
    s.bResPresent = resPresent ? 1 : 0;
  }
  s.bBaseLocValid = 0;
  // The base's height value from the correction stream: the received transformation's height
  // residual at the base, when the datum hands it out apart.
  s.baseRecvHeight = 0;
  bool baseRecvPresent = false;
  if (s.pBase) {
    crt2geo(wgsEll, *s.pBase, &s.BaseWgsLLA);
    s.BaseLocLLA = s.BaseWgsLLA;
    s.bBaseLocValid = 1;
    if (!isW84(dat)) {
      POS_CRT lc{};
      s.bBaseLocValid =
          RCV_OUTPUT::GlobPos2Loc(dat, *s.pBase, &lc, &s.BaseLocLLA, &s.baseRecvHeight, &baseRecvPresent) ? 1 : 0;
      if (!s.bBaseLocValid || !baseRecvPresent) s.baseRecvHeight = 0, baseRecvPresent = false;
    }
  }

  // Course and speed.
  s.course = s.magCourse = s.magVar = s.knots = s.kmh = 0;
  s.bMagCourseValid = 0;
  if (s.bVelValid) {
    const double vn = s.PosWgsLLA.vn, ve = s.PosWgsLLA.ve;
    double c = std::atan2(ve, vn);
    if (c < 0) c += 2.0 * M_PI;
    s.course = c * kRad2Deg;
    if (s.course >= 360.0) s.course = 0.0;  // a tiny negative east velocity
    float dec = 0;
    if (calcMagVar(&dec)) {
      s.magVar = dec * kRad2Deg;
      s.magCourse = std::fmod(s.course - s.magVar, 360.0);
      if (s.magCourse < 0) s.magCourse += 360.0;
      s.bMagCourseValid = 1;
    }
    const double v = std::sqrt(vn * vn + ve * ve);
    s.knots = v * kKnots;
    s.kmh = v * 3.6;
    if (bFiltMode && bMainInput) PosFilt.putVelocity(v);
  }

  // Grid and geoid.
  s.mapId = mapID;
  s.gridFlags = GRID_FLAGS{};
  s.bGridComputed = 0;
  if (s.bPosValid) {
    s.bGridComputed = RCV_OUTPUT::computeGrid(s.bLocValid, dat, s.PosLocLLA, s.grid, &s.gridFlags) ? 1 : 0;
    s.bUps = s.gridFlags.ups, s.bLocalGrid = s.gridFlags.local, s.bNatGrid = s.gridFlags.natZone != 0;
    s.utmZone = static_cast<std::uint8_t>(s.gridFlags.utm ? s.gridFlags.zone : 0);
  }
  s.bBaseGridValid = 0;
  if (s.pBase) {
    GRID_FLAGS bf{};
    s.bBaseGridValid = RCV_OUTPUT::computeGrid(s.bBaseLocValid, dat, s.BaseLocLLA, s.baseGrid, &bf) ? 1 : 0;
  }
  s.bGeoidValid = RCV_OUTPUT::computeGeoid(dat, s.PosWgsLLA, s.PosLocLLA, 0.0, false, &s.undulation, &s.geoidSep);
  if (bMainInput) BaseMovingData.geoidSep = s.geoidSep;
  s.bBaseGeoidValid = 0;
  if (s.pBase)
    s.bBaseGeoidValid = RCV_OUTPUT::computeGeoid(dat, s.BaseWgsLLA, s.BaseLocLLA, s.baseRecvHeight, baseRecvPresent,
                                                 &s.baseUndulation, &s.baseSeparation);
  if (temp_dbi == 197)
    debPrintfx(-1,
               "%.2f  %.2f  %.2f    %.2f  %.2f  %.2f    %.9f  %.9f  %.2f    %.9f  %.9f  %.2f    %.2f  %.2f  %.2f\n",
               s.grid[0], s.grid[1], s.grid[2], s.baseGrid[0], s.baseGrid[1], s.baseGrid[2],
               s.PosLocLLA.lat * kRad2Deg, s.PosLocLLA.lon * kRad2Deg, s.PosLocLLA.h, s.PosWgsLLA.lat * kRad2Deg,
               s.PosWgsLLA.lon * kRad2Deg, s.PosWgsLLA.h, s.undulation, s.geoidSep, s.resHeight);
  if (temp_dbi == 198) {
    const float* d = s.dop;
    debPrintfx(-1, "$$ accuracy dop %.4f %.4f %.4f %.4f %.4f %.4f %.4f sigma %.4f %.4f %.4f %.4f %.4f ellipse %.4f %.4f %.2f\n",
               d[0], d[1], d[2], d[3], d[4], d[5], d[6], s.posSigma[0], s.posSigma[1], s.posSigma[2], s.posSigma[3],
               s.posSigma[4], s.ellMajor, s.ellMinor, s.ellOrient);
  }
  if (temp_dbi == 198 && bMainInput) {
    // The main input's solution type and satellite counts of each system (G R E S J C I): used,
    // tracked, excluded.
    char line[192];
    int n = std::snprintf(line, sizeof line, "$$ solution type %d", static_cast<int>(s.solType));
    static constexpr const char* kCountNames[3] = {"used", "tracked", "excluded"};
    for (int i = 0; i < 3; ++i) {
      n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %s", kCountNames[i]);
      for (int k = 0; k < 7; ++k)
        n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), " %u", unsigned{s.satCount[i][k]});
    }
    debPrintfx(-1, "%s\n", line);
  }
  s.bOutPos = 1;
}
