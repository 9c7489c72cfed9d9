// The client of every RTCM 3 decoder, one per decoder port: decides whether a port's and
// station's data are the receiver's base data and passes them on to the base decoder; files the
// decoder status and the received antenna and vendor texts.
#pragma once

#include <cstdint>

#include "differential/rtcm3_decoder.h"

// What the RTCM 3 base decoder takes from the client (the base-epoch decoder implements it).
class Rtcm3CpdDecoder {
 public:
  virtual ~Rtcm3CpdDecoder() = default;
  virtual void update(const RTC3_OBS&) {}
  virtual void updateMSM(const RTC3_OBS&) {}
  virtual void updateFlags(std::uint8_t) {}
  virtual void updateRefPos() {}
  virtual void updateAntDesc(const char*, int) {}
  virtual void updateRcvDesc(const char*, const char*, const char*, int) {}
  virtual void updateGloBias(const RTC3_GLO_BIAS&, int) {}
  virtual void reset() {}
};

class Rtcm3Client : public RTC3_Decoder_Client {
 public:
  // Entry 0 of `table` is the base decoder; null rejects all base data.
  void setBaseDecoders(Rtcm3CpdDecoder** table) { base_ = table; }

  void reset() override;
  void updateRtkData(const RTC3_OBS& obs, int port) override;
  void updateMsmData(const RTC3_OBS& obs, int port) override;
  void updateRefPos(const RTC3_REFPOS& pos, int port) override;
  void updateAntDesc(const RTC3_ANT_DESC& desc, int port) override;
  void updateRcvDesc(const RTC3_RCV_DESC& rcv, int port) override;
  void updateGloBias(const RTC3_GLO_BIAS& bias, int port) override;
  void updateVendorText(const RTC3_TEXT_MSG& text, int port) override;
  void updateStatus(RTC3_DEC_STATUS& status, int port) override;

  // 0: accept (base decoder 0), -1: reject.
  int getInput(int kind, int stationId, int port) const;

 private:
  Rtcm3CpdDecoder* accepted(int kind, int stationId, int port) const;
  Rtcm3CpdDecoder** base_ = nullptr;
};

extern Rtcm3Client rtcm3Client[InPorts::DEC_NUM];
// Binds each port's RTCM 3 decoder to its client.
void rtcm3ClientsInit();
