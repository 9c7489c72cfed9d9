#include "differential/rtcm3_transform.h"

#include <cmath>
#include <cstring>

#include "positioning/geodesy/datum_conv.h"
#include "positioning/geodesy/got_datum.h"
#include "positioning/rcv_output.h"
#include "settings/nav_settings.h"

RTC3_COORD_TRANSF_PAR RTC3_CoordTransf::Rtc3CoordTransData{0, 255, -1, 0, 0, 0, {}, {}, {}, {}, {}};

// RTCM types: 1 TM, 2 TM south-orientated, 3 LCC one parallel, 4 LCC two parallels, 5 LCC
// west-orientated, 6 Cassini-Soldner, 7 oblique Mercator, 8 oblique stereographic, 9 Mercator,
// 10 polar stereographic, 11 double stereographic.
const std::int32_t Rtcm3PrjTypeToMapID[12] = {
    0,
    EllMath::PRJ_TM,
    EllMath::PRJ_TMS,
    EllMath::PRJ_LCC1SP,
    EllMath::PRJ_LCC2SP,
    EllMath::PRJ_LCCW,
    EllMath::PRJ_CS,
    EllMath::PRJ_OM,
    EllMath::PRJ_OS,
    EllMath::PRJ_MC,
    EllMath::PRJ_STER,
    EllMath::PRJ_DS,
};

namespace {
constexpr double kArcsec = 4.84813681109536e-6;  // rad per arc-second
constexpr double kDeg = M_PI / 180.0;
constexpr double kPrjAngle = 0.000000011;         // degrees per unit of a projection angle
// Source ellipsoid accepted as GRS80 / WGS 84.
constexpr double kSrcA = 6378137.0, kSrcB = 6356752.314, kSrcTol = 0.2;

bool readName(BitReader& br, char (&out)[32]) {
  const int n = static_cast<int>(br.read_(5));
  std::memset(out, 0, sizeof out);
  for (int i = 0; i < n; ++i) out[i] = static_cast<char>(br.read_(8));
  return br.isOk();
}

// A projection angle in degrees, as the grid code takes it: radians.
double prjAngle(std::int64_t field) { return static_cast<double>(field) * kPrjAngle * kDeg; }
// Longitudes of origin into 0..360 degrees; the projections fold L - lon0 themselves.
double prjLon(std::int64_t field) {
  double d = static_cast<double>(field) * kPrjAngle;
  d = std::fmod(d, 360.0);
  if (d < 0.0) d += 360.0;
  return d * kDeg;
}
// "add SNO" / "add SIL": 1e-5 ppm above 993000 ppm.
double prjScale(std::uint32_t field) { return (993000.0 + field * 1e-5) * 1e-6; }

NavTask::DATUM_IN_USE* currentDatum() {
  static_assert(sizeof(NavTask::DATUM_IN_USE) <= NavTask::kDatumBytes);
  return reinterpret_cast<NavTask::DATUM_IN_USE*>(NavSet.datum);
}
bool isGot(const NavTask::DATUM_IN_USE& d) { return std::strncmp(d.name, "GOT", sizeof d.name) == 0; }
void setGotName(NavTask::DATUM_IN_USE& d) {
  std::memset(d.name, 0, sizeof d.name);
  std::memcpy(d.name, "GOT", 3);
}

// Further-message bit of a message number.
std::uint16_t bitOf(int msgNum) { return static_cast<std::uint16_t>(1u << (msgNum - 1023)); }

// DF148: bit 1 (the most significant of ten) stands for 1023 ... bit 5 for 1027; 6-10 reserved.
std::uint16_t announcedOf(std::uint16_t df148) {
  std::uint16_t a = 0;
  for (int k = 0; k < 5; ++k)
    if ((df148 >> (9 - k)) & 1u) a = static_cast<std::uint16_t>(a | (1u << k));
  return a;
}

// Latitude and longitude of a point of the received grid, by Newton's method on the forward
// projection; false when it does not settle.
bool gridToGeo(const EllMath::ANY_PRJ_EXTPAR& prj, double N, double E, double& B, double& L, double& dNdB,
               double& dEdL) {
  B = 0.0;
  L = 0.0;
  for (int it = 0; it < 40; ++it) {
    double e0, n0, e1, n1, e2, n2;
    const double h = 1e-7;
    if (!EllMath::BLH_Proj(prj, B, L, e0, n0) || !EllMath::BLH_Proj(prj, B + h, L, e1, n1) ||
        !EllMath::BLH_Proj(prj, B, L + h, e2, n2))
      return false;
    const double a11 = (n1 - n0) / h, a12 = (n2 - n0) / h, a21 = (e1 - e0) / h, a22 = (e2 - e0) / h;
    const double det = a11 * a22 - a12 * a21;
    if (!std::isfinite(det) || std::fabs(det) < 1e-6) return false;
    const double rN = N - n0, rE = E - e0;
    const double dB = (a22 * rN - a12 * rE) / det, dL = (a11 * rE - a21 * rN) / det;
    B += dB;
    L = EllMath::wrapPi(L + dL);
    if (std::fabs(B) > M_PI / 2) return false;
    dNdB = a11;
    dEdL = a22;
    if (std::fabs(dB) < 1e-13 && std::fabs(dL) < 1e-13) return true;
  }
  return false;
}
}  // namespace

bool RTC3_CoordTransf::readParams(int msgNum, BitReader& br, RTC3_TRANSF_PARAMS& o) {
  o = RTC3_TRANSF_PARAMS{};
  if (!readName(br, o.sourceName) || !readName(br, o.targetName)) return false;
  o.sysId = static_cast<std::uint8_t>(br.read_(8));
  o.indicator = static_cast<std::uint16_t>(br.read_(10));
  o.plate = static_cast<std::uint8_t>(br.read_(5));
  o.computation = static_cast<std::uint8_t>(br.read_(4));
  o.height = static_cast<std::uint8_t>(br.read_(2));
  o.latV = br.readI(19) * 2.0;
  o.lonV = br.readI(20) * 2.0;
  o.extLatV = br.read_(14) * 2.0;
  o.extLonV = br.read_(14) * 2.0;
  o.dx = br.readI(23) * 0.001;
  o.dy = br.readI(23) * 0.001;
  o.dz = br.readI(23) * 0.001;
  o.r1 = br.readI(32) * 0.00002;
  o.r2 = br.readI(32) * 0.00002;
  o.r3 = br.readI(32) * 0.00002;
  o.ds = br.readI(25) * 0.00001;
  if (msgNum == 1022) {
    o.xp = static_cast<double>(br.readIL(35)) * 0.001;
    o.yp = static_cast<double>(br.readIL(35)) * 0.001;
    o.zp = static_cast<double>(br.readIL(35)) * 0.001;
  }
  o.aS = 6370000.0 + br.read_(24) * 0.001;
  o.bS = 6350000.0 + br.read_(25) * 0.001;
  o.aT = 6370000.0 + br.read_(24) * 0.001;
  o.bT = 6350000.0 + br.read_(25) * 0.001;
  o.horQuality = static_cast<std::uint8_t>(br.read_(3));
  o.vertQuality = static_cast<std::uint8_t>(br.read_(3));
  return br.isOk();
}

bool RTC3_CoordTransf::readResiduals(int msgNum, BitReader& br, RTC3_RESIDUALS& o) {
  o = RTC3_RESIDUALS{};
  o.sysId = static_cast<std::uint8_t>(br.read_(8));
  o.horPresent = static_cast<std::uint8_t>(br.read_(1));
  o.heightPresent = static_cast<std::uint8_t>(br.read_(1));
  const bool plane = msgNum == 1024;
  if (!plane) {
    o.lat0 = br.readI(21) * 0.5;
    o.lon0 = br.readI(22) * 0.5;
    o.dLat = br.read_(12) * 0.5;
    o.dLon = br.read_(12) * 0.5;
    o.mean[0] = br.readI(8) * 0.001;
    o.mean[1] = br.readI(8) * 0.001;
  } else {
    o.lat0 = br.readI(25) * 10.0;
    o.lon0 = br.read_(26) * 10.0;
    o.dLat = br.read_(12) * 10.0;
    o.dLon = br.read_(12) * 10.0;
    o.mean[0] = br.readI(10) * 0.01;
    o.mean[1] = br.readI(10) * 0.01;
  }
  o.mean[2] = br.readI(15) * 0.01;
  const double horRes = plane ? 0.001 : 0.00003;
  for (auto& p : o.res) {
    p[0] = br.readI(9) * horRes;
    p[1] = br.readI(9) * horRes;
    p[2] = br.readI(9) * 0.001;
  }
  o.horInterp = static_cast<std::uint8_t>(br.read_(2));
  o.vertInterp = static_cast<std::uint8_t>(br.read_(2));
  o.horQuality = static_cast<std::uint8_t>(br.read_(3));
  o.vertQuality = static_cast<std::uint8_t>(br.read_(3));
  br.read_(16);  // MJD
  o.held = 1;
  return br.isOk();
}

bool RTC3_CoordTransf::readProjection(int msgNum, BitReader& br, RTC3_PROJECTION& o) {
  o = RTC3_PROJECTION{};
  o.sysId = static_cast<std::uint8_t>(br.read_(8));
  o.rtcmType = static_cast<std::uint8_t>(br.read_(6));
  EllMath::ANY_PRJ_PARAMS& p = o.prm;
  if (msgNum == 1025) {
    p.prj.lat0 = prjAngle(br.readIL(34));
    p.prj.lon0 = prjLon(br.readIL(35));
    p.prj.k0 = prjScale(br.read_(30));
    p.prj.FE = static_cast<double>(br.readUL(36)) * 0.001;
    p.prj.FN = static_cast<double>(br.readIL(35)) * 0.001;
  } else if (msgNum == 1026) {
    p.lcc.lat0 = prjAngle(br.readIL(34));
    p.lcc.lon0 = prjLon(br.readIL(35));
    p.lcc.lat1 = prjAngle(br.readIL(34));
    p.lcc.lat2 = prjAngle(br.readIL(34));
    p.lcc.FE = static_cast<double>(br.readUL(36)) * 0.001;
    p.lcc.FN = static_cast<double>(br.readIL(35)) * 0.001;
    p.lcc.k0 = 1.0;
  } else {
    o.rectified = static_cast<std::uint8_t>(br.read_(1));
    p.om.latc = prjAngle(br.readIL(34));
    p.om.lonc = prjLon(br.readIL(35));
    p.om.alphac = static_cast<double>(br.readUL(35)) * kPrjAngle * kDeg;
    p.om.gammac = p.om.alphac + br.readI(26) * kPrjAngle * kDeg;
    p.om.kc = prjScale(br.read_(30));
    p.om.FE = static_cast<double>(br.readUL(36)) * 0.001;
    p.om.FN = static_cast<double>(br.readIL(35)) * 0.001;
  }
  if (!br.isOk()) return false;
  // A type outside the table names no projection the receiver has: the message is refused.
  if (o.rtcmType >= sizeof Rtcm3PrjTypeToMapID / sizeof Rtcm3PrjTypeToMapID[0]) return false;
  p.type = Rtcm3PrjTypeToMapID[o.rtcmType];
  if (p.type == 0) return false;
  // The two-parallel conic and the oblique Mercator have messages of their own; their
  // parameters do not fit any other.
  const bool own = p.type == EllMath::PRJ_LCC2SP || p.type == EllMath::PRJ_OM;
  if (own != (msgNum != 1025)) return false;
  if (msgNum == 1026 && p.type != EllMath::PRJ_LCC2SP) return false;
  if (msgNum == 1027 && p.type != EllMath::PRJ_OM) return false;
  p.prj.type = p.type;
  return true;
}

bool RTC3_CoordTransf::apply(int msgNum, BitReader& br, int stationId) {
  RTC3_COORD_TRANSF_PAR& d = Rtc3CoordTransData;
  std::uint16_t bit = 0;
  if (msgNum == 1021 || msgNum == 1022) {
    RTC3_TRANSF_PARAMS t;
    if (!readParams(msgNum, br, t)) return false;
    if (t.sysId != d.sysId) d.received = 0;
    d.transf = t;
    d.sysId = t.sysId;
    d.announced = announcedOf(t.indicator);
    d.badekas = msgNum == 1022 ? 1 : 0;
  } else if (msgNum == 1023 || msgNum == 1024) {
    RTC3_RESIDUALS r;
    if (!readResiduals(msgNum, br, r)) return false;
    if (r.sysId != d.sysId) return true;
    (msgNum == 1023 ? d.ellGrid : d.planeGrid) = r;
    bit = bitOf(msgNum);
  } else if (msgNum >= 1025 && msgNum <= 1027) {
    RTC3_PROJECTION p;
    if (!readProjection(msgNum, br, p)) return false;
    if (p.sysId != d.sysId) return true;
    d.prj = p;
    bit = bitOf(msgNum);
    // One projection per set: another projection message replaces the one kept.
    d.received = static_cast<std::uint16_t>(d.received & ~(kRtc3Prj1025 | kRtc3Prj1026 | kRtc3Prj1027));
    d.prjMsg = static_cast<std::uint8_t>(bit);
  } else {
    return false;
  }
  d.stationId = static_cast<std::int16_t>(stationId);
  d.received = static_cast<std::uint16_t>(d.received | bit);
  // A set announcing nothing further is whole with its parameters alone.
  if ((d.received & d.announced) == d.announced) {
    storeGotTransData();
    d.received = static_cast<std::uint16_t>(d.received & ~bit);
  }
  return true;
}

void RTC3_CoordTransf::storeGotResidual(const RTC3_RESIDUALS& in, bool plane, DtmList::TRANSFORM_RESIDUALS* out) {
  *out = DtmList::TRANSFORM_RESIDUALS{};
  const double hs = plane ? 1.0 : kArcsec;  // horizontal values: metres stay, arc-seconds to rad
  if (plane) {
    // The output looks the plane grid up by latitude and longitude: its origin and spacing are
    // taken there through the received projection.
    double B, L, dNdB, dEdL;
    if (!gridToGeo(GotPrjExt, in.lat0, in.lon0, B, L, dNdB, dEdL)) return;
    out->area.lat = B;
    out->area.lon = L;
    out->area.extLat = static_cast<float>(in.dLat / std::fabs(dNdB));
    out->area.extLon = static_cast<float>(in.dLon / std::fabs(dEdL));
  } else {
    out->area.lat = in.lat0 * kArcsec;
    out->area.lon = in.lon0 * kArcsec;
    out->area.extLat = static_cast<float>(in.dLat * kArcsec);
    out->area.extLon = static_cast<float>(in.dLon * kArcsec);
  }
  out->base[0] = static_cast<float>(in.mean[0] * hs);
  out->base[1] = static_cast<float>(in.mean[1] * hs);
  out->base[2] = static_cast<float>(in.mean[2]);
  for (int i = 0; i < 16; ++i) {
    out->grid[i][0] = static_cast<float>(in.res[i][0] * hs);
    out->grid[i][1] = static_cast<float>(in.res[i][1] * hs);
    out->grid[i][2] = static_cast<float>(in.res[i][2]);
  }
  out->horPresent = in.horPresent;
  out->heightPresent = in.heightPresent;
}

bool RTC3_CoordTransf::storeGotTransData() {
  const RTC3_COORD_TRANSF_PAR& d = Rtc3CoordTransData;
  const RTC3_TRANSF_PARAMS& t = d.transf;
  if (std::fabs(t.aS - kSrcA) > kSrcTol || std::fabs(t.bS - kSrcB) > kSrcTol) return false;
  if (!(t.aT > t.bT)) return false;

  DtmList::ELL_PARAMS ell{};
  std::memcpy(ell.name, "G-", 2);
  ell.a = t.aT;
  ell.rf = t.aT / (t.aT - t.bT);
  DtmList::DATUM_PARAMS_STORE store{};
  std::memcpy(store.name, "GOT", 3);
  store.dx = t.dx;
  store.dy = t.dy;
  store.dz = t.dz;
  store.rx = t.r1;
  store.ry = t.r2;
  store.rz = t.r3;
  store.scale = t.ds;
  // The parameters take the source (WGS 84 / ETRS89) to the target.
  DtmList::DATUM_PARAMS_COMPUTE prm;
  DtmList::transform(store, &prm, false);
  if (d.badekas) {
    // About the rotation point: X' = T + P + k R (X - P), so the shift from the origin is
    // T + P - k R P.
    const double p[3] = {t.xp, t.yp, t.zp};
    double rp[3];
    DatumConv::multDirect(true, 1.0 + t.ds * 1e-6, prm, p, rp);
    store.dx += p[0] - rp[0];
    store.dy += p[1] - rp[1];
    store.dz += p[2] - rp[2];
    DtmList::transform(store, &prm, false);
  }

  GOT_DATUM& g = GotDatum;
  NavTask::DATUM_IN_USE& dat = g.datum;
  setGotName(dat);
  EllMath::setEllPar(ell, &dat.ell);
  dat.prm = prm;
  g.area.lat = t.latV * kArcsec;
  g.area.lon = t.lonV * kArcsec;
  g.area.extLat = static_cast<float>(t.extLatV * kArcsec);
  g.area.extLon = static_cast<float>(t.extLonV * kArcsec);
  dat.area = &g.area;
  dat.heightType = t.height;
  dat.separateResidualHeight = 0;

  const std::uint16_t have = static_cast<std::uint16_t>(d.received & d.announced);
  const std::uint16_t prjBit = static_cast<std::uint16_t>(have & d.prjMsg);
  if (prjBit != 0) {
    EllMath::initProj(dat.ell, d.prj.prm, GotPrjExt);
    if (gridSys == 4) {
      mapID = d.prj.prm.type;
      ++prjChangeCnt;
    }
  } else {
    GotPrjExt = EllMath::ANY_PRJ_EXTPAR{};
  }
  dat.res = nullptr;
  GotMapPrj = nullptr;
  if (have & kRtc3EllGrid) {
    storeGotResidual(d.ellGrid, false, &g.ellRes);
    dat.res = &g.ellRes;
  } else if ((have & kRtc3PlaneGrid) && prjBit != 0) {
    storeGotResidual(d.planeGrid, true, &g.planeRes);
    GotMapPrj = &g.planeRes;
  }

  // The received datum replaces the output datum only when the user chose it.
  NavTask::DATUM_IN_USE* cur = currentDatum();
  if (isGot(*cur)) {
    *cur = dat;
    ++datumChangeCnt;
  }
  return true;
}

void RTC3_CoordTransf::clearGotTransData() {
  RTC3_COORD_TRANSF_PAR& d = Rtc3CoordTransData;
  d.sysId = 255;
  d.stationId = -1;
  d.received = 0;
  d.announced = 0;
  d.prjMsg = 0;
  d.ellGrid.held = 0;
  d.planeGrid.held = 0;
  GOT_DATUM& g = GotDatum;
  NavTask::DATUM_IN_USE* cur = currentDatum();
  const bool curGot = isGot(*cur);
  g.datum = *cur;
  setGotName(g.datum);
  g.datum.res = nullptr;
  g.area = DtmList::DATA_USING_AREA{};  // no limits
  // A current datum that is itself "GOT" holds a dropped (or, after a restart, a stale) set:
  // its area is unknown, so "GOT" gives no position until a new set arrives.
  g.datum.area = curGot ? nullptr : &g.area;
  g.datum.heightType = curGot ? 0 : g.datum.heightType;
  GotPrjExt = EllMath::ANY_PRJ_EXTPAR{};
  GotMapPrj = nullptr;
  if (curGot) *cur = g.datum;
}
