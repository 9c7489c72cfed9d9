#include "positioning/engine/position_averaging.h"

#include <cmath>
#include <cstring>

#include "platform/mono_clock.h"
#include "positioning/antdb/ant_db.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/nav_main.h"
#include "positioning/geodesy/datum_conv.h"
#include "positioning/output_grid.h"
#include "positioning/placeholders.h"
#include "positioning/reference/base_filter.h"
#include "settings/nv_settings.h"

std::atomic<std::uint8_t> bAvgPos{0};
ReferencePos RefPosGPS, RefPosGLN, RefPosWgs, RefPosPe9;
ReferencePos RefArpGPS, RefArpGLN, RefArpWgs, RefArpPe9;

std::atomic<bool> posAvgPublishedFlag{false};

namespace {

// Requests of other tasks: 1 start averaging, 2 stop it; a publication of the stored position.
std::atomic<int> g_avgRequest{0};
std::atomic<bool> g_publishRequest{false};

bool nonZero(const double t[3]) { return t[0] != 0.0 || t[1] != 0.0 || t[2] != 0.0; }

// The user's datum is the one the receiver outputs in (pos/datum): the base's position is averaged
// in it.
bool isWgs84(const NavTask::DATUM_IN_USE& d) { return std::strncmp(d.name, "W84", sizeof d.name) == 0; }

void setXyz(ReferencePos& r, const EllMath::ELL_EXTPAR& ell, const char* name, const double xyz[3]) {
  bool unchanged = false;
  r.setEllipsoid(ell);
  r.setRefPos(ReferencePos::kCartesian, name, xyz, unchanged, InPorts::DEC_SER_A);
}

}  // namespace

void posAvgFlagsClear() { posAvgPublishedFlag.store(false); }

void enuToEcef(double lat, double lon, const double enu[3], double out[3]) {
  const double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
  out[0] = -so * enu[0] - sl * co * enu[1] + cl * co * enu[2];
  out[1] = co * enu[0] - sl * so * enu[1] + cl * so * enu[2];
  out[2] = cl * enu[1] + sl * enu[2];
}

int set_Nav3RefPos(double x, double y, double z) {
  PosData::PositionDataType p{};
  p.dX = x, p.dY = y, p.dZ = z;
  EllMath::XYZ_BLH(navGlobals.wgs84.ell, x, y, z, p.dLat, p.dLon, p.dHeight);
  p.bValid = 1;
  return PVTDataInstance.refPosition.Put(&p);
}

void averagePosLogic() {
  // 1.
  posAvgPublishedFlag.store(false);
  // 2. The solution in the user datum.
  // The fix is weighted by its standard deviations (m): per axis X, Y, Z, and switched on by the
  // 3D one; a solution without them weighs 1 on every axis.
  double pos[3];
  double rms = 1.0;
  double acc[3] = {1.0, 1.0, 1.0};
  {
    PosLock lock;
    const NavTask::NAV_POS& p = NavSol.pos;
    for (int i = 0; i < 3; ++i) pos[i] = p.dXyz[i];
    const NavTask::SolAccuracy a = NavTask::solAccuracy(p);
    if (a.sigmaValid) {
      NavTask::solSigmaXyz(a, p.dBlh[0], p.dBlh[1], acc);
      rms = a.sigma[NavTask::SolAccuracy::kSig3d];
    }
  }
  const NavTask::DATUM_IN_USE user = outputDatumSetting();
  const bool transform = !isWgs84(user);
  if (transform) {
    double out[3];
    DatumConv::transDirect(false, user.prm, pos, out);
    for (int i = 0; i < 3; ++i) pos[i] = out[i];
  }
  // 3.
  if (!BaseFlt.average(pos, rms, acc, MonoClock::sec())) return;
  // 4.
  bAvgPos.store(0);
  double avg[3];
  if (!BaseFlt.getAvrPos(avg)) return;
  posAvgPublishedFlag.store(true);
  double xyz[3] = {avg[0], avg[1], avg[2]};
  if (transform) DatumConv::transInverse(false, user.prm, avg, xyz);
  publishRefPos(xyz);
  // Into the receiver settings: the measured reference point, Cartesian and geodetic, which the
  // base publishes from now on (and after a restart).
  double lat = 0, lon = 0, h = 0;
  EllMath::XYZ_BLH(navGlobals.ell, xyz[0], xyz[1], xyz[2], lat, lon, h);
  for (int i = 0; i < 3; ++i) RcvSet.refPos[0][i] = xyz[i];
  RcvSet.refPos[1][0] = lat, RcvSet.refPos[1][1] = lon, RcvSet.refPos[1][2] = h;
  RcvSet.refPosFrom = kRefPosFromMeasured;
  nv_writeRcvSettings();
}

void publishRefPos(const double xyz[3]) {
  const EllMath::ELL_EXTPAR& ell = navGlobals.ell;
  setXyz(RefPosGPS, ell, "", xyz);
  setXyz(RefPosGLN, ell, "", xyz);
  // The antenna reference point. The solution, and so the average, is the antenna's L1 phase
  // centre; the database's offset runs from the reference point to that centre (east, north,
  // up), so the reference point lies the offset, rotated into Earth-fixed axes, below it.
  double lat = 0, lon = 0, h = 0;
  EllMath::XYZ_BLH(ell, xyz[0], xyz[1], xyz[2], lat, lon, h);
  float off[3] = {0, 0, 0};
  antDataBase.find(RcvSet.antName[0]).offset(0, off);
  const double enu[3] = {off[0], off[1], off[2]};
  double d[3];
  enuToEcef(lat, lon, enu, d);
  const double arp[3] = {xyz[0] - d[0], xyz[1] - d[1], xyz[2] - d[2]};
  setXyz(RefArpGPS, ell, "", arp);
  setXyz(RefArpGLN, ell, "", arp);
  setXyz(RefPosWgs, ell, "W84", xyz);
  setXyz(RefArpWgs, ell, "W84", arp);
  set_Nav3RefPos(xyz[0], xyz[1], xyz[2]);
  NavTask::DATUM_IN_USE pe90{};
  if (assignDatum("P90", &pe90)) {
    double p9[3], a9[3];
    DatumConv::transDirect(false, pe90.prm, xyz, p9);
    DatumConv::transDirect(false, pe90.prm, arp, a9);
    setXyz(RefPosPe9, pe90.ell, "P90", p9);
    setXyz(RefArpPe9, pe90.ell, "P90", a9);
  }
}

void unpublishRefPos() {
  for (ReferencePos* r : {&RefPosGPS, &RefPosGLN, &RefPosWgs, &RefPosPe9, &RefArpGPS, &RefArpGLN, &RefArpWgs,
                          &RefArpPe9})
    r->clearValid();
}

bool storedRefPos(double xyz[3]) {
  const int k = RcvSet.refPosFrom == kRefPosFromKnown ? 2 : RcvSet.refPosFrom == kRefPosFromMeasured ? 0 : -1;
  if (k < 0 || !nonZero(RcvSet.refPos[k])) return false;
  for (int i = 0; i < 3; ++i) xyz[i] = RcvSet.refPos[k][i];
  return true;
}

void posAvgRequest(bool start) { g_avgRequest.store(start ? 1 : 2); }
void refPosPublishRequest() { g_publishRequest.store(true); }
bool posAvgActive() { return bAvgPos.load() != 0 || g_avgRequest.load() == 1; }

void posAvgPoll() {
  if (const int r = g_avgRequest.exchange(0)) {
    if (r == 1) BaseFlt.init();
    bAvgPos.store(r == 1 ? 1 : 0);
  }
  if (g_publishRequest.exchange(false)) {
    double xyz[3];
    if (storedRefPos(xyz)) {
      publishRefPos(xyz);
    } else {
      unpublishRefPos();
    }
  }
}
