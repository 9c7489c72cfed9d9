// RTCM 2 code-differential corrections (RTCM 10402.3 messages 1, 2, 9, 31, 34, 41, 42) from up
// to five reference stations, turned into per-satellite answers for the correction request of
// the code-differential stage: each entry aged by its range rate, with its variance from the
// UDRE and the baseline length, and moved for the difference between the datum the station's
// corrections refer to and WGS 84.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "positioning/corrections/corr_request.h"
#include "positioning/corrections/datum_shift.h"
#include "positioning/data_servers/rtcm_data_types.h"
#include "positioning/geodesy/dtm_list.h"
#include "positioning/geodesy/ell_math.h"

class PVTDataType;

namespace RTCMData {

// One signal slot of one satellite as one station answers it.
struct SlotAnswerType {
  float fCorrection[2];  // m, per entry (code 0, code 1)
  float fVariance[2];    // m^2
  float fAge[2];         // s
  std::uint8_t uIod[2];
  std::uint8_t bValid[2];
  std::uint8_t uSignal;    // the slot's 3-bit signal field
  std::uint8_t uUseEntry;  // 1 when entry 1 matches the issue of data in use, else 0
  std::uint8_t uFlag;      // the slot's pass-through flag
  std::uint8_t bUnusable;  // the station marked the slot do-not-use
};

struct SatAnswerType {
  SlotAnswerType slot[kCorrSlots];
  std::uint8_t bIonoValid;
  float fIono;          // m
  float fIonoVariance;  // m^2
};

struct StationAnswerType {
  std::uint16_t uStationId;
  std::uint8_t bRefPosValid;
  double dRefPos[3];  // m, ECEF
  double dBaseline;   // m, station to receiver
  SatAnswerType sat[CorrData::kMaxRequestSats];
};

// The code-differential request: the stage fills the head, a generator the stations.
struct CorrectionRequestType {
  static constexpr int kMaxStations = 5;
  const CorrData::CorrectionRequestType* pRequest;
  std::uint8_t bPermit[2];  // a source with property flag k answers only when bPermit[k] is set
  std::uint16_t uStationCount;
  StationAnswerType station[kMaxStations];
};

}  // namespace RTCMData

// 1-sigma of an RTCM 2 UDRE code 0..3 (m), before the station-health scale.
extern const float fUdreTable[4];
// 1-sigma of a 6-bit GNSS-message UDRE code (m); 62 and above grow by 10 m a step.
float get_GNSSMessageUdre(int code);

class RtcmCorrGenerator {
 public:
  static constexpr int kSystems = 7;

  explicit RtcmCorrGenerator(const PVTDataType* store);

  // Clears the station count and answers for every usable source slot 0..4 in turn.
  void update(RTCMData::CorrectionRequestType* request);

  // The current station's entries of one signal slot (0..5) of `sv` at receiver time `t`, into
  // the slot scratch (slotAnswer(), ionoAnswer()); update() sets the current station and source.
  void compute_RangeCorrection(SvIdType* sv, int slot, PosData::RcvTimeDataType* t);

  // The current source and station as update() sets them (for driving the computation alone).
  void select_Source(int source, std::uint16_t stationId, float udreScale);
  const RTCMData::SlotAnswerType& slotAnswer() const { return slot_; }
  const RTCMData::SatAnswerType& ionoAnswer() const { return iono_; }
  // The shift (m, ECEF) the current station's corrections move by for a system, and whether the
  // system's datum is known.
  bool datumShift(int system, double shift[3]) const;

 private:
  using DatumSlotType = DatumShift;
  void answer_Satellite(const CorrData::RequestSatDataType& q, PosData::RcvTimeDataType& t,
                        RTCMData::SatAnswerType& a, double var1, double var2, bool shifted);

  PVTDataType* store_;
  RTCMData::SatCorrectionType satCorr_;
  RTCMData::StationDataType station_;
  SvIdType loadedSv_ = EmptySvId;
  std::uint8_t bLoaded_ = 0;
  int source_ = 0;
  std::uint16_t uStationId_ = 65535;
  float fUdreScale_ = 1.0f;
  DatumSlotType sysDatum_[kSystems];
  DatumSlotType stationDatum_;
  RTCMData::SlotAnswerType slot_;
  RTCMData::SatAnswerType iono_;
};

extern RtcmCorrGenerator RtcmCorrGeneratorInstance;
