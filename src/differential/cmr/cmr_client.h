// The client of the CMR station table: decides whether a station's data are the receiver's base
// data, keeps received coordinates as the reference position and RTK base, files descriptions
// as received texts and the four stations' status, and hands observations to the CMR base-epoch
// decoder.
#pragma once

#include "differential/base/cpd_meas.h"
#include "differential/cmr/cmr_decoder.h"

// What the CMR base-epoch decoder takes from the client.
class CmrCpdClient {
 public:
  virtual ~CmrCpdClient() = default;
  virtual void update(const CMR_MEAS&) = 0;
  virtual void updateRefPos(const CpdCPos&, int) = 0;
  virtual void updateAntDesc(unsigned char, int) = 0;
  virtual void updateL2L1(const CpdAntOffs&) = 0;
  virtual void reset() = 0;
  virtual void invalidateRefPos() = 0;
  virtual void invalidateOtherInfo() = 0;
};

class CmrClient : public CMR_Decoder_Client {
 public:
  // Null rejects all base data.
  void setBaseDecoder(CmrCpdClient* b) { base_ = b; }

  void reset() override;
  void updateRtkData(const CMR_MEAS& m, int port) override;
  void updateRefCoord(const CMR_REF_COORD& c, int port) override;
  void updateRefDesc(const CMR_HEADER& h, const CMR_REF_DESC& d, int port) override;
  void updateStatus(CMR_DEC_STATUS& st, int port) override;
  void resetRTK() override;

  // The station's data may feed the base decoder: the selected station, or with any station the
  // configured base station or the current base port.
  static bool stationAccepted(int stationId);
  // The receiver takes base data from this port.
  static bool portAccepted(int port);

 private:
  CmrCpdClient* base_ = nullptr;
};

extern CmrClient cmrClient;
// Binds the station table to the client.
void cmrClientsInit();
