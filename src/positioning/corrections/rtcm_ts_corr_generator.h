// State-space ("TS") orbit and clock corrections of one RTCM 2 source, turned into range
// corrections for the wide-area correction request: the orbit correction projected on the line
// of sight, and the precise clock rebuilt from its millimetre count (modulo 65.535 m for GPS,
// 262.143 m for GLONASS) around the satellite's broadcast clock of the same issue of data.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/corrections/wd_corr_request.h"
#include "positioning/data_servers/rtcm_data_types.h"

class PVTDataType;

class RtcmTSCorrGenerator {
 public:
  static constexpr double kSourceTimeout = 360.0;  // s
  // The broadcast clock is taken within this much of its reference time.
  static constexpr double kClockWindow = 180.0;  // s
  // The accuracy published with every correction: 0.1 m, rate 0 (the service sends none).
  static constexpr float kVariance = 0.01f;  // m^2

  struct SetResultType {
    std::uint8_t bPresent;
    std::int16_t iIod;    // -1 none
    float fCorrection;    // m
    float fAge;           // s, of the clock correction
  };

  explicit RtcmTSCorrGenerator(const PVTDataType* store);

  // Fills source slot 0 with the answer of the current source (none when it is missing,
  // disabled or older than 360 s).
  void update(SBASData::CorrectionRequestType* request);
  // One satellite at `rcvMs` (ms of its system's cycle), into result(); update() sets the source.
  void compute_SatCorrection(unsigned long rcvMs, SvIdType* sv, CorrData::RequestSatDataType* sat);
  const SetResultType& result(int set) const { return set_[set & 1]; }

  // The source whose corrections are read (as update() takes it from the source state).
  void select_Source(const RTCMData::TSSourceStateDataType& source);

  // The clock value nearest `x` (m) among value·0.001 + k·modulus.
  static double rebuild_Clock(double x, std::uint32_t valueMm, double modulus);

 private:
  PVTDataType* store_;
  RTCMData::TSSourceStateDataType source_;
  SetResultType set_[2];
};

extern RtcmTSCorrGenerator RtcmTSCorrGeneratorInstance;
