// The client of every RTCM 3 decoder, one per decoder port: decides whether a port's and
// station's data are the receiver's base data and passes them on to the base decoder; files the
// decoder status and the received antenna and vendor texts.
#pragma once

#include <cstdint>

#include "differential/base/cpd_meas.h"
#include "differential/rtcm3_decoder.h"

// What the RTCM 3 base decoder takes from the client (the base-epoch decoder implements it).
class Rtcm3CpdClient {
 public:
  virtual ~Rtcm3CpdClient() = default;
  virtual void update(const RTC3_OBS&) = 0;
  virtual void updateMSM(const RTC3_OBS&) = 0;
  virtual void updateFlags(std::uint8_t) = 0;
  virtual void updateRefPos(const CpdCPos&, int) = 0;
  virtual void updateAntDesc(const char*, int) = 0;
  virtual void updateRcvDesc(const char*, const char*, const char*, int) = 0;
  virtual void updateGloBias(const RTC3_GLO_BIAS&, int) = 0;
  virtual void reset() = 0;
  virtual void invalidateRefPos() = 0;
  virtual void invalidateOtherInfo() = 0;
  virtual void updateNrtkAux(const RTC3_NRTK_STATION&) = 0;
  virtual void updateNrtkIono(const RTC3_NRTK_IONO&) = 0;
  virtual void updateNrtkGeom(const RTC3_NRTK_GEO&) = 0;
  virtual void updateNrtkRes(const RTC3_NRTK_RES&) = 0;
  virtual void updateNrtkPhysRefPos(const RTC3_NRTK_PHYS_REFPOS&) = 0;
};

class Rtcm3Client : public RTC3_Decoder_Client {
 public:
  // Entry 0 of `table` is the base decoder; null rejects all base data.
  void setBaseDecoders(Rtcm3CpdClient** table) { base_ = table; }

  void reset() override;
  void updateRtkData(const RTC3_OBS& obs, int port) override;
  void updateMsmData(const RTC3_OBS& obs, int port) override;
  void updateRefPos(const RTC3_REFPOS& pos, int port) override;
  void updateAntDesc(const RTC3_ANT_DESC& desc, int port) override;
  void updateRcvDesc(const RTC3_RCV_DESC& rcv, int port) override;
  void updateGloBias(const RTC3_GLO_BIAS& bias, int port) override;
  // The system parameters (1013) serve nothing on the receiver.
  void updateSysPar(const RTC3_SYS_PAR&, int) override {}
  void updateNRTK_Station(const RTC3_NRTK_STATION& s, int port) override;
  void updateNRTK_Iono(const RTC3_NRTK_IONO& i, int port) override;
  void updateNRTK_Geo(const RTC3_NRTK_GEO& g, int port) override;
  void updateNRTK_Res(const RTC3_NRTK_RES& r, int port) override;
  void updateNRTK_PhysRefPos(const RTC3_NRTK_PHYS_REFPOS& p, int port) override;
  void updateNRTK_FKP(const RTC3_NRTK_FKP& f, int port) override;
  void updateVendorText(const RTC3_TEXT_MSG& text, int port) override;
  void updateStatus(RTC3_DEC_STATUS& status, int port) override;

  // 0: accept (base decoder 0), -1: reject. `kind`: 1 observations, 2 MSM, 3 reference point,
  // 4 antenna, 5 receiver, 6 GLONASS biases, 7-12 the network records (station, ionospheric,
  // geometric, residuals, physical station, FKP).
  int getInput(int kind, int stationId, int port) const;

 private:
  Rtcm3CpdClient* accepted(int kind, int stationId, int port) const;
  Rtcm3CpdClient** base_ = nullptr;
};

extern Rtcm3Client rtcm3Client[InPorts::DEC_NUM];
// Binds each port's RTCM 3 decoder to its client.
void rtcm3ClientsInit();
