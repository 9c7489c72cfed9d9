#include "differential/rtcm3_client.h"

#include <cstdio>

#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "differential/decoder_status.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/received_stores.h"

Rtcm3Client rtcm3Client[InPorts::DEC_NUM];

namespace {
constexpr int kAnyPort = -2;

bool portAdmitted(int port) {
  const int ref = RcvSet.refPort;
  return ref == kAnyPort || ref == port;
}

// The observation records carry their station; the decoder of the port holds it as well.
int stationOf(int port) { return port >= 0 && port < InPorts::DEC_NUM ? Rtcm3Dec[port].stationId : -1; }
}  // namespace

void rtcm3ClientsInit() {
  for (int p = 0; p < InPorts::DEC_NUM; ++p) Rtcm3Dec[p].initDecoder(&rtcm3Client[p]);
}

int Rtcm3Client::getInput(int, int stationId, int) const {
  if (base_ == nullptr) return -1;
  // The station selection is kept with the CMR decoder settings.
  const int sel = RtcmSet.cmrDec.inUse;
  if (sel != -1) return stationId == sel ? 0 : -1;
  if (stationId == RcvSet.baseStationId) return 0;
  return cpdBufsMatchBasePort(0) ? 0 : -1;
}

Rtcm3CpdDecoder* Rtcm3Client::accepted(int kind, int stationId, int port) const {
  if (!portAdmitted(port) || getInput(kind, stationId, port) != 0) return nullptr;
  return base_[0];
}

void Rtcm3Client::reset() {
  if (base_ != nullptr && base_[0] != nullptr) base_[0]->reset();
}

void Rtcm3Client::updateRtkData(const RTC3_OBS& obs, int port) {
  if (Rtcm3CpdDecoder* b = accepted(1, stationOf(port), port)) b->update(obs);
}

void Rtcm3Client::updateMsmData(const RTC3_OBS& obs, int port) {
  if (Rtcm3CpdDecoder* b = accepted(2, stationOf(port), port)) b->updateMSM(obs);
}

void Rtcm3Client::updateRefPos(const RTC3_REFPOS& pos, int port) {
  // The reference-position record and the RTK base record follow with their own work.
  if (Rtcm3CpdDecoder* b = accepted(3, pos.stationId, port)) b->updateFlags(pos.indicators);
}

void Rtcm3Client::updateAntDesc(const RTC3_ANT_DESC& a, int port) {
  Rtcm3CpdDecoder* b = accepted(4, a.stationId, port);
  if (b == nullptr) return;
  b->updateAntDesc(a.desc, a.stationId);
  char text[TextMessage::kMaxText + 1];
  const int n = std::snprintf(text, sizeof text, "ANT:%s,SET:%i,SER:%s", a.desc, a.setupId,
                              a.serialPresent ? a.serial : "");
  if (n > 0) TxtMsg.putMessage(text, n, port, static_cast<short>(a.stationId), TextMessage::kRtcm3AntDescr);
}

void Rtcm3Client::updateRcvDesc(const RTC3_RCV_DESC& r, int port) {
  if (Rtcm3CpdDecoder* b = accepted(5, r.stationId, port)) b->updateRcvDesc(r.type, r.firmware, r.serial, r.stationId);
}

void Rtcm3Client::updateGloBias(const RTC3_GLO_BIAS& g, int port) {
  if (Rtcm3CpdDecoder* b = accepted(6, g.stationId, port)) b->updateGloBias(g, g.stationId);
}

void Rtcm3Client::updateVendorText(const RTC3_TEXT_MSG& t, int port) {
  TxtMsg.putMessage(t.text, t.length, port, static_cast<short>(t.stationId), TextMessage::kRtcm3VendorText);
}

void Rtcm3Client::updateStatus(RTC3_DEC_STATUS& st, int port) { DecSt.putStatus(port, st); }
