#include "differential/rtcm2/rtcm2_client.h"

#include <cstdio>

#include "differential/decoder_status.h"
#include "differential/received_stores.h"
#include "differential/rtk_base.h"
#include "platform/debug.h"
#include "positioning/reference/reference_pos.h"
#include "settings/debug_selectors.h"
#include "settings/rcv_settings.h"

RTCM_Client RtcmCl[InPorts::DEC_NUM];

namespace {
constexpr int kDebugAntenna = 3;
constexpr int kDebugNetwork = 59;
// Reference-station message choice: 3 only, 32 only, both.
constexpr int kChoice3 = 0, kChoice32 = 1;

// PZ-90 (GLONASS ICD 5.1, 3.3.2.1): the ellipsoid of message 32's coordinates.
const EllMath::ELL_EXTPAR& pz90() {
  static const EllMath::ELL_EXTPAR e = [] {
    EllMath::ELL_EXTPAR x{};
    EllMath::setEllPar(DtmList::ELL_PARAMS{"PZ90", 6378136.0, 298.25784}, &x);
    return x;
  }();
  return e;
}

void storeRef(ReferencePos& target, const EllMath::ELL_EXTPAR& ell, const char* name, const double xyz[3], int port,
              int kind, int stationId) {
  if (!target.ellipsoidSet()) target.setEllipsoid(ell);
  bool unchanged = false;
  target.setRefPos(ReferencePos::kCartesian, name, xyz, unchanged, static_cast<InPorts::DecPortIndex>(port));
  target.setSource(kind, stationId);
}
}  // namespace

void rtcm2ClientsInit() {
  for (int p = 0; p < InPorts::DEC_NUM; ++p) RtcmDec[p].initDecoder(&RtcmCl[p]);
}

RtcmCpdClient* RTCM_Client::accepted(int stationId, int port) const {
  if (base_ == nullptr || !rtkBasePortGate(port) || !rtkBaseStationGate(stationId)) return nullptr;
  return base_;
}

void RTCM_Client::reset() {
  if (base_ != nullptr) base_->reset();
}

void RTCM_Client::updatePhase(const RTCM_RTK_PHASE& r, int port) {
  if (RtcmCpdClient* b = accepted(r.head.header.stationId, port)) b->updatePhase(r);
}

void RTCM_Client::updateRange(const RTCM_RTK_RANGE& r, int port) {
  if (RtcmCpdClient* b = accepted(r.head.header.stationId, port)) b->updateRange(r);
}

void RTCM_Client::updateDelPhase(const RTCM_RTK_DEL_PHASE& r, int port) {
  if (RtcmCpdClient* b = accepted(r.head.header.stationId, port)) b->updateDelPhase(r);
}

void RTCM_Client::updateDelRange(const RTCM_RTK_DEL_RANGE& r, int port) {
  if (RtcmCpdClient* b = accepted(r.head.header.stationId, port)) b->updateDelRange(r);
}

void RTCM_Client::updateExtRefCoord(const MSG_EXTREF_PARAMS& r, int port) {
  if (!rtkBasePortGate(port)) return;
  ext_ = r;
  std::atomic_ref<std::uint8_t>(extValid_).store(1);
}

void RTCM_Client::updateTextMessage(const MSG_SPEC_MESSAGE& r, int port) {
  TxtMsg.putMessage(r.text, r.length, port, static_cast<short>(r.header.stationId), TextMessage::kRtcmText);
}

void RTCM_Client::updateRefCoord(const MSG_REF_PARAMS& r, int port) {
  const bool glo = r.header.type == 32;
  const int choice = RcvSet.refMsgChoice;
  if ((choice == kChoice3 && glo) || (choice == kChoice32 && !glo)) {
    if (rtcm_dbi > 0) debPrintfx(-1, " !1 updateRefCoord p %d b\n", port);
    return;
  }
  ReferencePos& target = glo ? RcvPosGLN : RcvPosGPS;
  const EllMath::ELL_EXTPAR& ell = glo ? pz90() : EllMath::wgs84();
  double xyz[3] = {r.x, r.y, r.z};
  const bool ext = std::atomic_ref<std::uint8_t>(extValid_).load() != 0;
  if (ext)
    for (int i = 0; i < 3; ++i) xyz[i] += ext_.dL1[i];
  if (!rtkBasePortGate(port)) return;
  // A station without a position yet sends zeros: nothing that far off the Earth's surface may
  // become a reference position or the RTK base.
  if (!ReferencePos::checkXYZ(ell, xyz)) return;
  const int id = r.header.stationId;
  storeRef(target, ell, glo ? "P90" : "W84", xyz, port, RtkBase::kRtcmRef, id);
  const bool station = rtkBaseStationGate(id);
  if (ext) {
    if (ext_.hasHeight) {
      const float h[3] = {0.0f, 0.0f, ext_.antHeight};
      target.setAnt(h, ReferencePos::kAntL1Arp, false, false);
      if (!RcvSet.bUseBaseEnteredOffs && station) updateAnt(h, RtkBase::kL1, true, false, 0);
    }
    if (ext_.hasL2) {
      // The third word is the L2 phase centre's offset from the L1 phase centre, in Earth-fixed
      // axes (1/16 cm, within 8 cm). The first word's corrections only bring the message 3
      // coordinates to the L1 phase centre to 1/256 cm: they are no part of it.
      const float* d = ext_.dL2;
      target.setAnt(d, ReferencePos::kAntL2, false, true);
      if (!RcvSet.bUseBaseEnteredPar && station) updateAnt(d, RtkBase::kL2Xyz, false, false, 0);
    }
  }
  if (RcvSet.bUseBaseEntered) return;
  ReferencePos::REFPOS_PAR pos{};
  if (!target.getRefPos(&pos)) return;
  updateRtkBase(rtkBaseFromRef(pos, RtkBase::kRtcmRef, port, id), false);
  saveRtkData();
}

void RTCM_Client::updateAntDef(const MSG_ANT_TYPE& r, int port) {
  if (!rtkBasePortGate(port)) return;
  const int id = r.header.stationId;
  const bool station = rtkBaseStationGate(id);
  if (station && base_ != nullptr) base_->updateAntDef(r);
  char text[TextMessage::kMaxText + 1];
  const int n = std::snprintf(text, sizeof text, "ANT:%s,SET:%i,SER:%s", r.desc, r.setupId,
                              r.serialLen > 0 ? r.serial : "");
  if (n > 0) TxtMsg.putMessage(text, n, port, static_cast<short>(id), TextMessage::kRtcmAntDef);
  if (rtcm_dbi == kDebugAntenna) debPrintfx(-1, " base antenna info %s\n", text);
  // Another station's antenna is not the base's.
  if (station) updateAntType(r.desc, r.serialLen > 0 ? r.serial : "", r.setupId);
}

void RTCM_Client::updateArpPar(const MSG_ARP_PAR& r, int port) {
  if (!rtkBasePortGate(port)) return;
  const double xyz[3] = {r.x, r.y, r.z};
  if (!ReferencePos::checkXYZ(r.glonass ? pz90() : EllMath::wgs84(), xyz)) return;
  const int id = r.header.stationId;
  storeRef(RcvPosGPS, EllMath::wgs84(), "W84", xyz, port, RtkBase::kRtcmArp, id);
  if (r.hasHeight) {
    const float h[3] = {0.0f, 0.0f, static_cast<float>(r.antHeight)};
    RcvPosGPS.setAnt(h, ReferencePos::kAntL1Arp, false, false);
    if (!RcvSet.bUseBaseEnteredOffs && rtkBaseStationGate(id)) updateAnt(h, RtkBase::kL1Arp, false, true, 0);
  }
  if (RcvSet.bUseBaseEntered) return;
  ReferencePos::REFPOS_PAR pos{};
  if (!RcvPosGPS.getRefPos(&pos)) return;
  updateRtkBase(rtkBaseFromRef(pos, RtkBase::kRtcmArp, port, id), false);
  saveRtkData();
}

void RTCM_Client::updateVirtCor(const MSG_TS_COR& r, int port) {
  if (rtcm_dbi == kDebugNetwork) debPrintfx(-1, " got RTCM 59 %d\n", port);
  if (RtcmCpdClient* b = accepted(r.header.stationId, port)) b->updateVirtCor(r);
}

void RTCM_Client::updateFKPCor(const MSG_FKP_COR& r, int port) {
  if (RtcmCpdClient* b = accepted(r.header.stationId, port)) b->updateFKPCor(r);
}

// The GPS-GLONASS time offset of the base goes with its epochs, as its RTK messages do.
void RTCM_Client::updateGnssOffset(const MSG_GNSS_OFFSET& r, int port) {
  if (RtcmCpdClient* b = accepted(r.header.stationId, port)) b->updateGnssOffset(r);
}

void RTCM_Client::setEpochModes(std::uint8_t mode) {
  if (base_ == nullptr) return;
  base_->setGlo((mode & kEpochGlo) != 0);
  base_->setEoe((mode & kEpochEoe) != 0);
  base_->setFull((mode & kEpochFull) != 0);
}

void rtcm2SetEpochModes(std::uint8_t mode) {
  for (RTCM_Client& c : RtcmCl) c.setEpochModes(mode);
}

void RTCM_Client::updateStatus(RTCM_DEC_STATUS& st, int port) {
  DecSt.putStatus(port, st);
  if (!RcvSet.bRtcmStatus) return;
  const RTCM_MSG_HEADER& h = st.header;
  std::printf("$PZRT,MSGM,%02i,%02i,%06.1f,%04i,%1i,%1i\r\n", h.type, h.length, h.zCount * 0.6, h.stationId, h.health,
              h.seqNum);
}
