// Clients of the decoders and base decoders that ignore everything they are handed: a test's
// spy overrides only what it looks at.
#pragma once

#include <cstdint>

#include "differential/cmr/cmr_client.h"
#include "differential/cmr/cmr_decoder.h"
#include "differential/rtcm2/rtcm2_client.h"
#include "differential/rtcm2/rtcm2_decoder.h"
#include "differential/rtcm3_client.h"
#include "differential/rtcm3_decoder.h"

struct NullRtcm2Client : RTCM_Decoder_Client {
  void reset() override {}
  void updatePhase(const RTCM_RTK_PHASE&, int) override {}
  void updateRange(const RTCM_RTK_RANGE&, int) override {}
  void updateDelPhase(const RTCM_RTK_DEL_PHASE&, int) override {}
  void updateDelRange(const RTCM_RTK_DEL_RANGE&, int) override {}
  void updateExtRefCoord(const MSG_EXTREF_PARAMS&, int) override {}
  void updateTextMessage(const MSG_SPEC_MESSAGE&, int) override {}
  void updateRefCoord(const MSG_REF_PARAMS&, int) override {}
  void updateAntDef(const MSG_ANT_TYPE&, int) override {}
  void updateArpPar(const MSG_ARP_PAR&, int) override {}
  void updateVirtCor(const MSG_TS_COR&, int) override {}
  void updateFKPCor(const MSG_FKP_COR&, int) override {}
  void updateGnssOffset(const MSG_GNSS_OFFSET&, int) override {}
  void updateStatus(RTCM_DEC_STATUS&, int) override {}
};

struct NullRtcmCpdClient : RtcmCpdClient {
  void updatePhase(const RTCM_RTK_PHASE&) override {}
  void updateRange(const RTCM_RTK_RANGE&) override {}
  void updateDelPhase(const RTCM_RTK_DEL_PHASE&) override {}
  void updateDelRange(const RTCM_RTK_DEL_RANGE&) override {}
  void updateRefPos(const CpdCPos&, int, bool) override {}
  void updateAntDef(const MSG_ANT_TYPE&) override {}
  void updateL2L1(const CpdAntOffs&) override {}
  void updateVirtCor(const MSG_TS_COR&) override {}
  void updateFKPCor(const MSG_FKP_COR&) override {}
  void updateGnssOffset(const MSG_GNSS_OFFSET&) override {}
  void reset() override {}
  void invalidateRefPos() override {}
  void invalidateOtherInfo() override {}
  void setGlo(bool) override {}
  void setEoe(bool) override {}
  void setFull(bool) override {}
};

struct NullCmrClient : CMR_Decoder_Client {
  void reset() override {}
  void updateRtkData(const CMR_MEAS&, int) override {}
  void updateRefCoord(const CMR_REF_COORD&, int) override {}
  void updateRefDesc(const CMR_HEADER&, const CMR_REF_DESC&, int) override {}
  void updateStatus(CMR_DEC_STATUS&, int) override {}
  void resetRTK() override {}
};

struct NullCmrCpdClient : CmrCpdClient {
  void update(const CMR_MEAS&) override {}
  void updateRefPos(const CpdCPos&, int) override {}
  void updateAntDesc(unsigned char, int) override {}
  void updateL2L1(const CpdAntOffs&) override {}
  void reset() override {}
  void invalidateRefPos() override {}
  void invalidateOtherInfo() override {}
};

struct NullRtcm3Client : RTC3_Decoder_Client {
  void reset() override {}
  void updateRtkData(const RTC3_OBS&, int) override {}
  void updateMsmData(const RTC3_OBS&, int) override {}
  void updateRefPos(const RTC3_REFPOS&, int) override {}
  void updateAntDesc(const RTC3_ANT_DESC&, int) override {}
  void updateRcvDesc(const RTC3_RCV_DESC&, int) override {}
  void updateGloBias(const RTC3_GLO_BIAS&, int) override {}
  void updateSysPar(const RTC3_SYS_PAR&, int) override {}
  void updateNRTK_Station(const RTC3_NRTK_STATION&, int) override {}
  void updateNRTK_Iono(const RTC3_NRTK_IONO&, int) override {}
  void updateNRTK_Geo(const RTC3_NRTK_GEO&, int) override {}
  void updateNRTK_Res(const RTC3_NRTK_RES&, int) override {}
  void updateNRTK_PhysRefPos(const RTC3_NRTK_PHYS_REFPOS&, int) override {}
  void updateNRTK_FKP(const RTC3_NRTK_FKP&, int) override {}
  void updateVendorText(const RTC3_TEXT_MSG&, int) override {}
  void updateStatus(RTC3_DEC_STATUS&, int) override {}
};

struct NullRtcm3CpdClient : Rtcm3CpdClient {
  void update(const RTC3_OBS&) override {}
  void updateMSM(const RTC3_OBS&) override {}
  void updateFlags(std::uint8_t) override {}
  void updateRefPos(const CpdCPos&, int) override {}
  void updateAntDesc(const char*, int) override {}
  void updateRcvDesc(const char*, const char*, const char*, int) override {}
  void updateGloBias(const RTC3_GLO_BIAS&, int) override {}
  void reset() override {}
  void invalidateRefPos() override {}
  void invalidateOtherInfo() override {}
  void updateNrtkAux(const RTC3_NRTK_STATION&) override {}
  void updateNrtkIono(const RTC3_NRTK_IONO&) override {}
  void updateNrtkGeom(const RTC3_NRTK_GEO&) override {}
  void updateNrtkRes(const RTC3_NRTK_RES&) override {}
  void updateNrtkPhysRefPos(const RTC3_NRTK_PHYS_REFPOS&) override {}
};
