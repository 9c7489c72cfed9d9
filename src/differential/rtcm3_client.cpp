#include "differential/rtcm3_client.h"

#include <cstdio>

#include "platform/debug.h"
#include "settings/debug_selectors.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "differential/decoder_status.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/received_stores.h"
#include "differential/rtk_base.h"
#include "positioning/reference/reference_pos.h"

Rtcm3Client rtcm3Client[InPorts::DEC_NUM];

namespace {
constexpr int kAnyPort = -2;

bool portAdmitted(int port) {
  const int ref = RcvSet.refPort;
  return ref == kAnyPort || ref == port;
}

// The observation records carry their station; the decoder of the port holds it as well.
int stationOf(int port) { return port >= 0 && port < InPorts::DEC_NUM ? Rtcm3Dec[port].stationId : -1; }

constexpr int kSourceRtcm3 = 3;
constexpr int kDebugUpdates = 53;  // rtk_cpd_dbi: print each acceptance question
constexpr int kDebugNetwork = 59;  // rtcm_dbi: print the network records

bool printNetwork() { return rtcm_dbi == kDebugNetwork; }

void printHeader(const char* what, const RTC3_NRTK_HEADER& h) {
  debPrintfx(-1, "RTCM3 %s %s net %u sub %u master %d aux %d t %d multi %u sats %u\n", h.system == 0 ? "GPS" : "GLONASS",
             what, h.networkId, h.subnetId, h.masterId, h.auxId, h.epochMs, h.multiMsg, h.satCount);
}

}  // namespace

void rtcm3ClientsInit() {
  for (int p = 0; p < InPorts::DEC_NUM; ++p) Rtcm3Dec[p].initDecoder(&rtcm3Client[p]);
}

int Rtcm3Client::getInput(int kind, int stationId, int) const {
  if (rtk_cpd_dbi == kDebugUpdates) debPrintfx(-1, "Update %d %d\n", kind, stationId);
  if (base_ == nullptr) return -1;
  // The station selection is kept with the CMR decoder settings.
  const int sel = RtcmSet.cmrDec.inUse;
  if (sel != -1) return stationId == sel ? 0 : -1;
  if (stationId == RcvSet.baseStationId) return 0;
  return cpdBufsMatchBasePort(0) ? 0 : -1;
}

Rtcm3CpdClient* Rtcm3Client::accepted(int kind, int stationId, int port) const {
  if (!portAdmitted(port) || getInput(kind, stationId, port) != 0) return nullptr;
  return base_[0];
}

void Rtcm3Client::reset() {
  if (base_ != nullptr && base_[0] != nullptr) base_[0]->reset();
}

void Rtcm3Client::updateRtkData(const RTC3_OBS& obs, int port) {
  if (Rtcm3CpdClient* b = accepted(1, stationOf(port), port)) b->update(obs);
}

void Rtcm3Client::updateMsmData(const RTC3_OBS& obs, int port) {
  if (Rtcm3CpdClient* b = accepted(2, stationOf(port), port)) b->updateMSM(obs);
}

void Rtcm3Client::updateRefPos(const RTC3_REFPOS& pos, int port) {
  Rtcm3CpdClient* b = accepted(3, pos.stationId, port);
  if (b == nullptr) return;
  // A base without a position yet sends zeros; nothing that far off the Earth's surface may
  // become the RTK base.
  const double xyz[3] = {pos.x, pos.y, pos.z};
  if (!ReferencePos::checkXYZ(EllMath::wgs84(), xyz)) return;
  const auto decPort = static_cast<InPorts::DecPortIndex>(port);
  if (!RcvPosGPS.ellipsoidSet()) RcvPosGPS.setEllipsoid(EllMath::wgs84());
  bool unchanged = false;
  RcvPosGPS.setRefPos(ReferencePos::kCartesian, "W84", xyz, unchanged, decPort);
  RcvPosGPS.setSource(kSourceRtcm3, pos.stationId);
  b->updateFlags(pos.indicators);
  if (pos.flags & 8) {
    const float offsets[3] = {0.0f, 0.0f, static_cast<float>(pos.height)};
    RcvPosGPS.setAnt(offsets, ReferencePos::kAntL1Arp, false, false);
    if (!RcvSet.bUseBaseEnteredOffs) updateAnt(offsets, RtkBase::kL1Arp, false, true, 0);
  }
  if (RcvSet.bUseBaseEntered) return;
  // The stored base record hands the position on to the base decoders.
  ReferencePos::REFPOS_PAR ref{};
  if (!RcvPosGPS.getRefPos(&ref)) return;
  updateRtkBase(rtkBaseFromRef(ref, kSourceRtcm3, port, pos.stationId), false);
  saveRtkData();
}

void Rtcm3Client::updateAntDesc(const RTC3_ANT_DESC& a, int port) {
  Rtcm3CpdClient* b = accepted(4, a.stationId, port);
  if (b == nullptr) return;
  b->updateAntDesc(a.desc, a.stationId);
  updateAntType(a.desc, a.serialPresent ? a.serial : "", a.setupId);
  char text[TextMessage::kMaxText + 1];
  const int n = std::snprintf(text, sizeof text, "ANT:%s,SET:%i,SER:%s", a.desc, a.setupId,
                              a.serialPresent ? a.serial : "");
  if (n > 0) TxtMsg.putMessage(text, n, port, static_cast<short>(a.stationId), TextMessage::kRtcm3AntDescr);
}

void Rtcm3Client::updateRcvDesc(const RTC3_RCV_DESC& r, int port) {
  if (Rtcm3CpdClient* b = accepted(5, r.stationId, port)) b->updateRcvDesc(r.type, r.firmware, r.serial, r.stationId);
}

void Rtcm3Client::updateGloBias(const RTC3_GLO_BIAS& g, int port) {
  if (Rtcm3CpdClient* b = accepted(6, g.stationId, port)) b->updateGloBias(g, g.stationId);
}

// Under the network debug selector each record's contents are printed as they arrive, one line
// for the record and one for each of its satellites.
void Rtcm3Client::updateNRTK_Station(const RTC3_NRTK_STATION& s, int port) {
  if (printNetwork())
    debPrintfx(-1, "RTCM3 aux station net %u sub %u stations %u master %d aux %d dlat %.6f dlon %.6f dh %.3f\n",
               s.networkId, s.subnetId, s.auxCount, s.masterId, s.auxId, s.dLat, s.dLon, s.dHgt);
  if (Rtcm3CpdClient* b = accepted(7, s.masterId, port)) b->updateNrtkAux(s);
}

void Rtcm3Client::updateNRTK_Iono(const RTC3_NRTK_IONO& i, int port) {
  if (printNetwork()) {
    printHeader("iono", i.hdr);
    for (int k = 0; k < i.hdr.satCount && k < kNrtkMaxDiffSats; ++k)
      debPrintfx(-1, "RTCM3 iono sat %u amb %u nsync %u %.4f\n", i.sat[k].satId, i.sat[k].ambStatus, i.sat[k].nonSync,
                 i.sat[k].iono);
  }
  if (Rtcm3CpdClient* b = accepted(8, i.hdr.masterId, port)) b->updateNrtkIono(i);
}

void Rtcm3Client::updateNRTK_Geo(const RTC3_NRTK_GEO& g, int port) {
  if (printNetwork()) {
    printHeader("geometric", g.hdr);
    for (int k = 0; k < g.hdr.satCount && k < kNrtkMaxDiffSats; ++k)
      debPrintfx(-1, "RTCM3 geometric sat %u amb %u nsync %u iod %u %.4f\n", g.sat[k].satId, g.sat[k].ambStatus,
                 g.sat[k].nonSync, g.sat[k].iod, g.sat[k].geo);
  }
  if (Rtcm3CpdClient* b = accepted(9, g.hdr.masterId, port)) b->updateNrtkGeom(g);
}

void Rtcm3Client::updateNRTK_Res(const RTC3_NRTK_RES& r, int port) {
  if (printNetwork()) {
    debPrintfx(-1, "RTCM3 %s residuals station %u t %d stations %u sats %u\n",
               (r.flags & RTC3_NRTK_RES::kGlonass) != 0 ? "GLONASS" : "GPS", r.stationId, r.epoch, r.refCount,
               r.satCount);
    for (int k = 0; k < r.satCount && k < kNrtkMaxResSats; ++k) {
      const RTC3_NRTK_RES::Sat& s = r.sat[k];
      debPrintfx(-1, "RTCM3 residual sat %u %.4f %.2e %.1e %.4f %.2e\n", s.satId, s.soc, s.sod, s.soh, s.sic, s.sid);
    }
  }
  if (Rtcm3CpdClient* b = accepted(10, r.stationId, port)) b->updateNrtkRes(r);
}

void Rtcm3Client::updateNRTK_PhysRefPos(const RTC3_NRTK_PHYS_REFPOS& p, int port) {
  if (printNetwork())
    debPrintfx(-1, "RTCM3 physical station %u of %u itrf %u %.4f %.4f %.4f\n", p.physId, p.nonPhysId, p.itrf, p.x, p.y,
               p.z);
  if (Rtcm3CpdClient* b = accepted(11, p.nonPhysId, port)) b->updateNrtkPhysRefPos(p);
}

// The gradients have no user: the message is only weighed for acceptance.
void Rtcm3Client::updateNRTK_FKP(const RTC3_NRTK_FKP& f, int port) {
  if (printNetwork())
    debPrintfx(-1, "RTCM3 %s FKP station %u t %d sats %u\n", f.system == 0 ? "GPS" : "GLONASS", f.stationId, f.epoch,
               f.satCount);
  (void)accepted(12, f.stationId, port);
}

void Rtcm3Client::updateVendorText(const RTC3_TEXT_MSG& t, int port) {
  TxtMsg.putMessage(t.text, t.length, port, static_cast<short>(t.stationId), TextMessage::kRtcm3VendorText);
}

void Rtcm3Client::updateStatus(RTC3_DEC_STATUS& st, int port) { DecSt.putStatus(port, st); }
