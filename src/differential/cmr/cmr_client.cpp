#include "differential/cmr/cmr_client.h"

#include <cstdio>

#include "differential/base/cpd_meas_buf.h"
#include "differential/decoder_status.h"
#include "differential/placeholders.h"
#include "differential/rtk_base.h"
#include "differential/received_stores.h"
#include "differential/rtk/rtk_engine.h"
#include "differential/rtk/rtk_reset.h"
#include "positioning/reference/reference_pos.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"

CmrClient cmrClient;

namespace {
constexpr int kAnyPort = -2;
constexpr int kSourceCmr = 2;

// The name fields carry blanks or zeros as padding; zeros would end the text early.
void appendField(char* out, int& at, int room, const char* f, int n) {
  for (int i = 0; i < n && at < room - 1; ++i) out[at++] = f[i] == 0 ? '_' : f[i];
  out[at] = 0;
}
}  // namespace

void cmrClientsInit() {
  CmrDec.init(&cmrClient);
  CmrDec.loadSettings(RtcmSet.cmrDec);
}

bool CmrClient::portAccepted(int port) {
  const int ref = RcvSet.refPort;
  return ref == kAnyPort || ref == port;
}

bool CmrClient::stationAccepted(int stationId) {
  const int sel = RtcmSet.cmrDec.inUse;
  if (sel != -1) return stationId == sel;
  if (stationId == RcvSet.baseStationId) return true;
  return cpdBufsMatchBasePort(0);
}

void CmrClient::reset() {
  if (base_ != nullptr) base_->reset();
}

void CmrClient::updateRtkData(const CMR_MEAS& m, int port) {
  if (base_ == nullptr || !portAccepted(port) || !stationAccepted(cmrStationId(m.stationId))) return;
  base_->update(m);
}

void CmrClient::updateRefCoord(const CMR_REF_COORD& c, int port) {
  if (!portAccepted(port)) return;
  // A base without a position yet sends zeros; nothing that far off the Earth's surface may
  // become the reference position or the RTK base.
  const double xyz[3] = {c.x, c.y, c.z};
  if (!ReferencePos::checkXYZ(EllMath::wgs84(), xyz)) return;
  const int id = cmrStationId(c.stationId);
  if (!RcvPosGPS.ellipsoidSet()) RcvPosGPS.setEllipsoid(EllMath::wgs84());
  bool unchanged = false;
  RcvPosGPS.setRefPos(ReferencePos::kCartesian, "W84", xyz, unchanged, static_cast<InPorts::DecPortIndex>(port));
  RcvPosGPS.setSource(kSourceCmr, id);
  const bool station = stationAccepted(id);
  if (!RcvSet.bUseBaseEntered) {
    // The stored base record hands the position on to the base decoders.
    ReferencePos::REFPOS_PAR ref{};
    if (RcvPosGPS.getRefPos(&ref)) updateRtkBase(rtkBaseFromRef(ref, kSourceCmr, port, id), false);
    if (!RcvSet.bUseBaseEnteredOffs) {
      const float offsets[3] = {c.east, c.north, c.antHeight};
      updateAnt(offsets, RtkBase::kL1, false, false, 0);
    }
    saveRtkData();
  }
  if (station && c.antNum >= 0) {
    if (base_ != nullptr) base_->updateAntDesc(static_cast<unsigned char>(c.antNum), id);
    char text[8];
    std::snprintf(text, sizeof text, "%03i", c.antNum);
    updateAntType(text, "", 0);
  }
}

void CmrClient::updateRefDesc(const CMR_HEADER& h, const CMR_REF_DESC& d, int port) {
  char text[TextMessage::kMaxText + 1];
  int at = 0;
  const int room = static_cast<int>(sizeof text);
  appendField(text, at, room, "S:", 2);
  appendField(text, at, room, d.shortName, 8);
  appendField(text, at, room, ",C:", 3);
  appendField(text, at, room, d.cogo, 16);
  const int n = std::snprintf(text + at, static_cast<std::size_t>(room - at), ",L:%s", d.longName);
  if (n > 0) at = at + n < room ? at + n : room - 1;
  TxtMsg.putMessage(text, at, port, static_cast<short>(cmrStationId(h.stationId)), TextMessage::kCmrRefDescr);
}

void CmrClient::updateStatus(CMR_DEC_STATUS& st, int port) { DecSt.putStatus(port, st); }

void CmrClient::resetRTK() { rtkResetEngine(0, kRtkResetCmr); }
