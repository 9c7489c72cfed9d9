#include "differential/rtk_base.h"

#include <cstring>

#include "differential/base/cpd_meas_buf.h"
#include "differential/cmr/cmr_client.h"
#include "differential/decoder_task.h"
#include "differential/received_stores.h"
#include "differential/rtcm2/rtcm2_client.h"
#include "differential/rtcm3_client.h"
#include "differential/rtcm3_decoder.h"
#include "platform/ram_nvm.h"
#include "platform/rtos.h"
#include "positioning/geodesy/datum_conv.h"
#include "positioning/nav_tools.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

RtkBaseDecoders rtkBaseDecoders;

namespace {
constexpr int kAnyPort = -2;
constexpr int kRtcm3VendorUnknown = 4;


template <std::size_t N>
void copyText(char (&dst)[N], const char* src) {
  std::memset(dst, 0, N);
  if (src != nullptr) std::strncpy(dst, src, N - 1);
}

// The position of a base record in WGS 84, the frame of the base decoders' orbits: a record in
// another datum of the datum list is taken back from it; an unknown datum is taken as it is.
CpdCPos inWgs84(const BASECOORD& b) {
  CpdCPos p{b.xyz[0], b.xyz[1], b.xyz[2]};
  if (b.name[0] == 0 || std::strncmp(b.name, "W84", sizeof b.name) == 0) return p;
  DtmList::ELL_PARAMS ell{};
  DtmList::DATUM_PARAMS_STORE store{};
  int index = 0;
  char name[sizeof b.name + 1] = {};
  std::memcpy(name, b.name, sizeof b.name);
  if (!DtmList::getDatum(name, &ell, &store, &index)) return p;
  DtmList::DATUM_PARAMS_COMPUTE prm{};
  DtmList::transform(store, &prm);
  double out[3];
  DatumConv::transInverse(false, prm, b.xyz, out);
  return CpdCPos{out[0], out[1], out[2]};
}

// The L1 (kind 0, 1), L2 (kind 2) or third (kind 3) offsets into `b`; callers hold the lock.
void setOffsets(BASECOORD& b, const float off[3], int kind, bool notValid) {
  using namespace RtkBase;
  switch (kind) {
    case kL1:
    case kL1Arp:
      for (int i = 0; i < 3; ++i) b.offL1[i] = off[i];
      b.offFlags = static_cast<std::uint8_t>(b.offFlags | kOffSet);
      if (notValid) b.offFlags = static_cast<std::uint8_t>(b.offFlags & ~kOffValid);
      else b.offFlags = static_cast<std::uint8_t>(b.offFlags | kOffValid);
      if (kind == kL1Arp) b.offFlags = static_cast<std::uint8_t>(b.offFlags | kOffArp);
      else b.offFlags = static_cast<std::uint8_t>(b.offFlags & ~kOffArp);
      break;
    case kL2:
    case kL2Xyz:
      for (int i = 0; i < 3; ++i) b.offL2[i] = off[i];
      if (kind == kL2Xyz) b.offFlags = static_cast<std::uint8_t>(b.offFlags | kOffL2Xyz);
      else b.offFlags = static_cast<std::uint8_t>(b.offFlags & ~kOffL2Xyz);
      break;
    case kThird:
      for (int i = 0; i < 3; ++i) b.offArp[i] = off[i];
      break;
    default:
      break;
  }
}

void passL2L1(const float off[3], bool toArp) {
  CpdAntOffs o;
  o.set(toArp ? RtkBase::kOffsToArp : RtkBase::kOffsToL1, off);
  DecWorkHold hold;
  if (rtkBaseDecoders.rtcm2 != nullptr) rtkBaseDecoders.rtcm2->updateL2L1(o);
  if (rtkBaseDecoders.cmr != nullptr) rtkBaseDecoders.cmr->updateL2L1(o);
}
}  // namespace

bool rtkBasePortGate(int port) {
  const int ref = RcvSet.refPort;
  return ref == kAnyPort || ref == port;
}

bool rtkBaseStationGate(int stationId) {
  // The station selection is kept with the CMR decoder settings.
  const int sel = RtcmSet.cmrDec.inUse;
  if (sel != -1) return stationId == sel;
  if (stationId == RcvSet.baseStationId) return true;
  return cpdBufsMatchBasePort(0);
}

BASECOORD rtkBaseFromRef(const ReferencePos::REFPOS_PAR& pos, int srcKind, int port, int stationId) {
  BASECOORD b{};
  b.xyz[0] = pos.x;
  b.xyz[1] = pos.y;
  b.xyz[2] = pos.z;
  b.blh[0] = pos.lat;
  b.blh[1] = pos.lon;
  b.blh[2] = pos.hgt;
  std::memcpy(b.name, pos.name, sizeof b.name - 1);
  b.name[sizeof b.name - 1] = 0;
  b.srcKind = static_cast<std::uint8_t>(srcKind);
  b.srcPort = static_cast<std::int8_t>(port);
  b.stationId = static_cast<std::uint16_t>(stationId);
  b.valid = RtkBase::kPosValid;
  b.recvFlags = RtkBase::kReceived;
  return b;
}

bool updateRtkBase(const BASECOORD& rec, bool withAntenna) {
  using namespace RtkBase;
  if (!(rec.valid & kPosValid)) return false;
  const bool station = rtkBaseStationGate(rec.stationId);
  {
    Locker<Mutex> hold(baseCoordLock());
    std::memcpy(bc.xyz, rec.xyz, sizeof bc.xyz);
    std::memcpy(bc.blh, rec.blh, sizeof bc.blh);
    std::memcpy(bc.name, rec.name, sizeof bc.name);
    bc.name[sizeof bc.name - 1] = 0;
    bc.stationId = rec.stationId;
    bc.srcKind = rec.srcKind;
    bc.srcPort = rec.srcPort;
    bc.valid = rec.valid;
    bc.recvFlags = rec.recvFlags;
    if (withAntenna) {
      std::memcpy(bc.antDescr, rec.antDescr, sizeof bc.antDescr);
      std::memcpy(bc.antSerial, rec.antSerial, sizeof bc.antSerial);
      bc.antDescr[sizeof bc.antDescr - 1] = 0;
      bc.antSerial[sizeof bc.antSerial - 1] = 0;
      bc.antSetupId = rec.antSetupId;
      if (station && (rec.offFlags & kOffSet)) {
        setOffsets(bc, rec.offL1, (rec.offFlags & kOffArp) ? kL1Arp : kL1, !(rec.offFlags & kOffValid));
        setOffsets(bc, rec.offL2, kL2, false);
        setOffsets(bc, rec.offArp, kThird, false);
      }
    }
  }
  if (!station) return true;
  const CpdCPos p = inWgs84(rec);
  const int id = rec.stationId;
  // The RTCM 2 decoder marks a position of the antenna reference point apart.
  const bool arp = rec.srcKind == kRtcmArp || rec.srcKind == kRtcm3;
  DecWorkHold hold;
  if (rtkBaseDecoders.rtcm2 != nullptr) rtkBaseDecoders.rtcm2->updateRefPos(p, id, arp);
  if (rtkBaseDecoders.cmr != nullptr) rtkBaseDecoders.cmr->updateRefPos(p, id);
  if (rtkBaseDecoders.rtcm3 != nullptr) rtkBaseDecoders.rtcm3->updateRefPos(p, id);
  return true;
}

void invalidateRtkBase(int base) {
  for (int p = 0; p < InPorts::DEC_NUM; ++p)
    if (cpdBufsBaseIdxForPort(static_cast<InPorts::DecPortIndex>(p)) == base) RtcmCl[p].invalidateExtRef();
  {
    Locker<Mutex> hold(baseCoordLock());
    bc.offFlags = 0;
    bc.valid = 0;
    bc.recvFlags = 0;
    std::memset(bc.offL1, 0, sizeof bc.offL1);
    std::memset(bc.offL2, 0, sizeof bc.offL2);
    std::memset(bc.offArp, 0, sizeof bc.offArp);
  }
  RpMsg.invalidate();
  {
    // The base decoders read their station's position and id as they close epochs in DECT: a
    // clean-up from another task waits for the chunk under way.
    DecWorkHold hold;
    if (RtcmCpdClient* d = rtkBaseDecoders.rtcm2) d->invalidateRefPos(), d->invalidateOtherInfo();
    if (CmrCpdClient* d = rtkBaseDecoders.cmr) d->invalidateRefPos(), d->invalidateOtherInfo();
    if (Rtcm3CpdClient* d = rtkBaseDecoders.rtcm3) d->invalidateRefPos(), d->invalidateOtherInfo();
  }
  RTC3_Decoder::compatibleVendor = kRtcm3VendorUnknown;
  RamNvmLock image;
  Locker<Mutex> hold(baseCoordLock());
  nv_writeBaseSettings(&bc);
}

bool saveRtkData() {
  using namespace RtkBase;
  ReferencePos::REFPOS_PAR pos{};
  ReferencePos::ANT_PAR ant{};
  bool saved = false;
  {
    RamNvmLock image;
    Locker<Mutex> hold(baseCoordLock());
    pos.x = bc.xyz[0];
    pos.y = bc.xyz[1];
    pos.z = bc.xyz[2];
    pos.lat = bc.blh[0];
    pos.lon = bc.blh[1];
    pos.hgt = bc.blh[2];
    std::memcpy(pos.name, bc.name, sizeof bc.name);
    pos.name[sizeof bc.name - 1] = 0;
    std::memcpy(ant.offsets, bc.offL1, sizeof bc.offL1);
    std::memcpy(ant.offsets + 3, bc.offL2, sizeof bc.offL2);
    std::memcpy(ant.offsets + 6, bc.offArp, sizeof bc.offArp);
    std::uint8_t f = 0;
    if (bc.offFlags & kOffSet) f |= ReferencePos::kL1Set;
    if (bc.offFlags & kOffValid) f |= ReferencePos::kL1Valid;
    if (bc.offFlags & kOffArp) f |= ReferencePos::kArp;
    ant.flags[0] = f;
    saved = nv_writeBaseSettings(&bc);
  }
  RpMsg.putPar(pos, ant);
  return saved;
}

void updateAntType(const char* desc, const char* serial, int setupId) {
  Locker<Mutex> hold(baseCoordLock());
  copyText(bc.antDescr, desc);
  copyText(bc.antSerial, serial);
  bc.antSetupId = static_cast<std::uint8_t>(setupId);
  bc.recvFlags = static_cast<std::uint8_t>(bc.recvFlags | RtkBase::kAntIncluded);
}

void updateAnt(const float offsets[3], int kind, bool notValid, bool toArp, int base) {
  {
    Locker<Mutex> hold(baseCoordLock());
    setOffsets(bc, offsets, kind, notValid);
  }
  if ((kind == RtkBase::kL2 || kind == RtkBase::kL2Xyz) && base == 0) passL2L1(offsets, toArp);
}

bool rtkBaseL2L1Enu(const BASECOORD& b, double enu[3]) {
  for (int i = 0; i < 3; ++i) enu[i] = b.offL2[i];
  if ((b.offFlags & RtkBase::kOffL2Xyz) == 0) return true;
  if ((b.valid & RtkBase::kPosValid) == 0) return false;
  const double xyz[3] = {b.offL2[0], b.offL2[1], b.offL2[2]};
  double neu[3];
  Geometry::XYZ_NEU(b.blh[0], b.blh[1], xyz, neu, false);
  // + 0.0: a zero offset turned stays a plain zero, never -0.
  enu[0] = neu[1] + 0.0, enu[1] = neu[0] + 0.0, enu[2] = neu[2] + 0.0;
  return true;
}

bool getRtkBase(BASECOORD& out) {
  Locker<Mutex> hold(baseCoordLock());
  out = bc;
  return (out.recvFlags & RtkBase::kReceived) != 0;
}
