// The client of every RTCM 2 decoder, one per decoder port: decides which received RTCM 2 data
// may serve as the RTK base and passes it on. RTK observables and network corrections go to the
// RTCM 2 base-epoch decoder, station coordinates and antenna data into the receiver's reference
// positions and the RTK base record, texts into the received-text store, and the decoder status
// into the status table.
#pragma once

#include <atomic>
#include <cstdint>

#include "differential/base/cpd_meas.h"
#include "differential/rtcm2/rtcm2_decoder.h"

// What the RTCM 2 base-epoch decoder takes from the clients and the base record.
class RtcmCpdClient {
 public:
  virtual ~RtcmCpdClient() = default;
  virtual void updatePhase(const RTCM_RTK_PHASE&) = 0;
  virtual void updateRange(const RTCM_RTK_RANGE&) = 0;
  virtual void updateDelPhase(const RTCM_RTK_DEL_PHASE&) = 0;
  virtual void updateDelRange(const RTCM_RTK_DEL_RANGE&) = 0;
  // `arp`: the position is of the antenna reference point.
  virtual void updateRefPos(const CpdCPos&, int, bool) = 0;
  virtual void updateAntDef(const MSG_ANT_TYPE&) = 0;
  virtual void updateL2L1(const CpdAntOffs&) = 0;
  virtual void updateVirtCor(const MSG_TS_COR&) = 0;
  virtual void updateFKPCor(const MSG_FKP_COR&) = 0;
  virtual void updateGnssOffset(const MSG_GNSS_OFFSET&) = 0;
  virtual void reset() = 0;
  virtual void invalidateRefPos() = 0;
  virtual void invalidateOtherInfo() = 0;
  virtual void setGlo(bool) = 0;
  virtual void setEoe(bool) = 0;
  virtual void setFull(bool) = 0;
};

class RTCM_Client : public RTCM_Decoder_Client {
 public:
  // Null rejects all base data.
  void setBaseDecoder(RtcmCpdClient* b) { base_ = b; }

  void reset() override;
  void updatePhase(const RTCM_RTK_PHASE& r, int port) override;
  void updateRange(const RTCM_RTK_RANGE& r, int port) override;
  void updateDelPhase(const RTCM_RTK_DEL_PHASE& r, int port) override;
  void updateDelRange(const RTCM_RTK_DEL_RANGE& r, int port) override;
  void updateExtRefCoord(const MSG_EXTREF_PARAMS& r, int port) override;
  void updateTextMessage(const MSG_SPEC_MESSAGE& r, int port) override;
  void updateRefCoord(const MSG_REF_PARAMS& r, int port) override;
  void updateAntDef(const MSG_ANT_TYPE& r, int port) override;
  void updateArpPar(const MSG_ARP_PAR& r, int port) override;
  void updateVirtCor(const MSG_TS_COR& r, int port) override;
  void updateFKPCor(const MSG_FKP_COR& r, int port) override;
  void updateGnssOffset(const MSG_GNSS_OFFSET& r, int port) override;
  void updateStatus(RTCM_DEC_STATUS& st, int port) override;

  // How the base decoder closes the epochs of its RTK messages (rtcm/rover/epoch/...): a
  // record's GLONASS bit makes it GLONASS data; the multiple-message bit clear ends the epoch; a
  // complete epoch ends at its last message.
  static constexpr std::uint8_t kEpochGlo = 1, kEpochEoe = 2, kEpochFull = 4;
  void setEpochModes(std::uint8_t mode);

  // Called from the task that invalidates the base record while the decoder task reads the flag.
  void invalidateExtRef() { std::atomic_ref<std::uint8_t>(extValid_).store(0); }

 private:
  // Port and station gates passed: the base decoder, else null.
  RtcmCpdClient* accepted(int stationId, int port) const;

  RtcmCpdClient* base_ = nullptr;
  MSG_EXTREF_PARAMS ext_{};
  mutable std::uint8_t extValid_ = 0;  // read and written through atomic_ref
};

extern RTCM_Client RtcmCl[InPorts::DEC_NUM];
// Binds each port's RTCM 2 decoder to its client.
void rtcm2ClientsInit();
// The epoch modes (RTCM_Client::kEpoch...) of the RTCM 2 decoder settings, through every client.
void rtcm2SetEpochModes(std::uint8_t mode);
