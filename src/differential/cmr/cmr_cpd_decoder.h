// The CMR base-epoch decoder: CMR observation records become base epochs of the carrier-phase
// model. A CMR range is carried within one light-millisecond and its time within four minutes:
// both are restored here from the receiver's time and the geometry between the station and the
// satellite. The GPS record closes an epoch; GLONASS records of the same epoch come before it.
#pragma once

#include "differential/base/cpd_epoch_timing.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/cmr/cmr_client.h"

class CmrCpdDecoder final : public CmrCpdClient, public CpdBaseDecoder {
 public:
  static constexpr double kC = 299792458.0;           // m/s
  static constexpr double kLightMs = kC / 1000.0;     // m
  static constexpr double kGpsL1 = 1575420000.0, kGpsL2 = 1227600000.0;  // Hz

  void update(const CMR_MEAS& m) override;
  void updateRefPos(const CpdCPos& pos, int stationId) override;
  void updateAntDesc(unsigned char antennaId, int stationId) override;
  void updateL2L1(const CpdAntOffs& offs) override;
  void reset() override;
  void invalidateRefPos() override;
  void invalidateOtherInfo() override;

  // The message's full time (ms of the GPS week or GLONASS day) from the receiver's; false when
  // the system is neither or the receiver's time of it is not valid.
  static bool fullTime(int sys, long msgMs, long& t);
  // L1 carrier frequency (Hz) of a system and GLONASS channel.
  static double l1Freq(int sys, int k);
  // The whole light-milliseconds N of a range whose part within one light-millisecond is V (m),
  // around the expected range `g` (geometry plus clock terms, m).
  static long restoreN(double V, double g);

  CpdRefPos refPos;
  CpdAntOffs l2l1;
  ClientTimes times;
  CpdMeas* cur = nullptr;
  int resets = 0;
  int stationId = -1;

 private:
  void nextEpochByTime(int sys, long t);
  void releaseEpoch();
  void fillBuffer(const CMR_MEAS& m, int sys, long t);
  // The expected range (m) of satellite `sv` at the station at time t (ms) with the base clock
  // offset (s); false without the satellite's orbit.
  bool expectedRange(const CpdSv& sv, long t, double clockOffset, double& g) const;
};

extern CmrCpdDecoder cmrCpdClient;
