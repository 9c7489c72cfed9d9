#include "differential/coder_client.h"

#include <cstring>

#include "positioning/base/base_processing.h"
#include "positioning/engine/position_averaging.h"
#include "positioning/rcv_output.h"
#include "settings/rcv_settings.h"

NAV_ClientCod NavClc;
Hook<const RCV_OUTPUT*()> navClcRcvOutHook("differential", "navClcRcvOutHook");

namespace {

// One record per source, so a record handed out earlier keeps its contents while another is
// filled: the moving base, the reference position per datum, the antenna reference point per
// datum.
struct RefRecords {
  NAVCOD_REF_COORD moving;
  NAVCOD_REF_COORD pos[2];
  NAVCOD_REF_COORD arp[2];
};
RefRecords g_ref;

// The receiver's antenna settings into a record: descriptor, serial number, setup id and height.
void antennaInto(NAVCOD_REF_COORD& r) {
  const std::size_t n = strnlen(RcvSet.antName[0], sizeof r.antDescr - 1);
  std::memcpy(r.antDescr, RcvSet.antName[0], n);
  r.antDescr[n] = 0;
  const std::size_t k = strnlen(RcvSet.antSerial, sizeof r.antSerial - 1);
  std::memcpy(r.antSerial, RcvSet.antSerial, k);
  r.antSerial[k] = 0;
  r.antSetupId = RcvSet.antSetupId;
  // The height of the reference point over the mark, as the user entered it.
  if (RcvSet.antHeight > 0.0f) r.fAntHeight = RcvSet.antHeight;
}

// The north, east, up antenna offsets of a reference position, applied so that the record holds
// the antenna reference point: like the averaged position, the reference position is the
// antenna's phase centre, which lies the offsets above the reference point.
void applyOffsets(NAVCOD_REF_COORD& r, const ReferencePos& p) {
  const float* neu = p.ant().offsets;
  r.fNorth = neu[0], r.fEast = neu[1], r.fUp = neu[2];
  r.fAntHeight = neu[2];
  r.bOffsetsApplied = 0;
  double blh[3];
  if ((neu[0] == 0 && neu[1] == 0 && neu[2] == 0) || !p.getRefPos(ReferencePos::kGeodetic, blh)) return;
  const double lat = blh[0], lon = blh[1];
  const double enu[3] = {neu[1], neu[0], neu[2]};
  double d[3];
  enuToEcef(lat, lon, enu, d);
  r.dX -= d[0], r.dY -= d[1], r.dZ -= d[2];
  r.bOffsetsApplied = 1;
}

// The reference point's record carries the offsets that lead to it, as the position's record
// does: the CMR station message sends the height, east and north of whichever it is handed.
void keepOffsets(const NAVCOD_REF_COORD& from, NAVCOD_REF_COORD& to) {
  to.fNorth = from.fNorth, to.fEast = from.fEast, to.fUp = from.fUp;
  to.fAntHeight = from.fAntHeight;
  to.bOffsetsApplied = from.bOffsetsApplied;
}

bool fromReference(const ReferencePos& p, NAVCOD_REF_COORD& r) {
  double xyz[3];
  if (!p.valid() || !p.getRefPos(ReferencePos::kCartesian, xyz)) return false;
  r = NAVCOD_REF_COORD{};
  r.dX = xyz[0], r.dY = xyz[1], r.dZ = xyz[2];
  return true;
}

}  // namespace

bool NAV_ClientCod::getRtkData(const NAVCOD_RTK_DATA** out) {
  *out = &RtkDat;
  return RtkDat.bReady != 0;
}

bool NAV_ClientCod::getIonoCorData(const NAVCOD_IONO_DATA** out) {
  *out = &IonDat;
  return IonDat.bReady != 0;
}

bool NAV_ClientCod::getDifCorData(const NAVCOD_DIF_DATA** out) {
  *out = &DifDat;
  return DifDat.bReady != 0;
}

bool NAV_ClientCod::getSysTime(bool glonass, long& t) {
  const RCV_OUTPUT* o = navClcRcvOutHook();
  if (o == nullptr) return false;
  const NavTask::NAV_EPOCH& e = o->epoch;
  if (((glonass ? e.gloValid : e.gpsValid) & NavTask::NAV_EPOCH::kTimeValid) == 0) return false;
  t = glonass ? e.gloMs : e.gpsMs;
  return true;
}

bool NAV_ClientCod::getRefCoord(bool glonass, NAVCOD_REF_COORD** out, bool staticBase, bool& refPos, bool& arp) {
  refPos = false;
  arp = false;
  const int d = glonass ? 1 : 0;
  NAVCOD_REF_COORD* rec = &g_ref.moving;
  if (staticBase) {
    // The GPS/GLONASS-frame pair or the WGS 84/PE-90 pair, as the RTCM settings choose.
    const bool framePair = RtcmSetCmn[3] != 0;
    const ReferencePos& pos = framePair ? (glonass ? RefPosGLN : RefPosGPS) : (glonass ? RefPosPe9 : RefPosWgs);
    const ReferencePos& ant = framePair ? (glonass ? RefArpGLN : RefArpGPS) : (glonass ? RefArpPe9 : RefArpWgs);
    if (fromReference(pos, g_ref.pos[d])) {
      refPos = true;
      rec = &g_ref.pos[d];
      applyOffsets(*rec, pos);
      if (fromReference(ant, g_ref.arp[d])) {
        arp = true;
        keepOffsets(*rec, g_ref.arp[d]);
        rec = &g_ref.arp[d];
      }
    }
  }
  if (!refPos) {
    // A moving base, or no entered reference: the receiver's own computed position.
    const RCV_OUTPUT* o = navClcRcvOutHook();
    rec = &g_ref.moving;
    if (o != nullptr && o->sol.isPosValid()) {
      *rec = NAVCOD_REF_COORD{};
      rec->dX = o->sol.PosWgsXYZ.x, rec->dY = o->sol.PosWgsXYZ.y, rec->dZ = o->sol.PosWgsXYZ.z;
      refPos = true;
    }
  }
  antennaInto(*rec);
  *out = rec;
  return true;
}
