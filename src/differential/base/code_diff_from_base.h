// Code corrections from a base station's observations: one code (and carrier) measurement of a
// CMR or RTCM 3 base becomes a pseudorange correction in the position engine's RTCM correction
// store, as if the base had sent code corrections, so a rover can run code-differential on
// those bases. The code is carrier-smoothed (Hatch filter) per satellite and signal slot.
#pragma once

#include <cstddef>
#include <cstdint>

#include "differential/base/cpd_meas.h"
#include "positioning/data_servers/rtcm_data_types.h"

class CodeDiffFromBase {
 public:
  static constexpr int kSats = 210;  // satellite-numbering slots of all systems
  static constexpr int kSlots = 6;
  static constexpr std::uint8_t kNoSlot = 255;
  static constexpr std::int32_t kStaleMs = 10001;  // a gap this long restarts the filter
  static constexpr double kJumpM = 10.0;            // code-phase disagreement counted as a jump
  static constexpr int kSlipLimit = 12;             // score beyond which the filter restarts
  static constexpr int kMinCount = 6;               // samples before a smoothed value is used
  static constexpr int kFreeCount = 11;             // below this every sample updates the filter

  // One satellite and signal of the smoothing table.
  struct SmFilterRec {
    double offset;           // s: smoothed code minus phase
    std::int32_t lastTime;   // receiver ms of the last update
    std::uint16_t count;     // samples in the filter
    std::int8_t slip;        // jump score
    std::uint8_t slot;       // signal slot last used, kNoSlot none
  };
  static_assert(sizeof(SmFilterRec) == 16);
  static_assert(offsetof(SmFilterRec, lastTime) == 8 && offsetof(SmFilterRec, count) == 12);
  static_assert(offsetof(SmFilterRec, slip) == 14 && offsetof(SmFilterRec, slot) == 15);

  CodeDiffFromBase();
  // Every record zero with no slot; the working records empty.
  void init();

  // One sample through the filter of record r: `len` the smoothing length (0 off), range and
  // phase in m (phase 0 absent), `now` the receiver ms. True when a value may be stored; S is
  // then the smoothed range in seconds.
  static bool smooth(SmFilterRec& r, int len, int slot, double range, double phase, std::int32_t now, double& S);
  // (len - count) x 255 / len within 0..255; 0 without smoothing (nothing left to smooth).
  static std::uint8_t quality(int len, int count);

  bool convert(std::uint16_t stationId, int slot, double range, double phase, const CpdSv& sv, long time,
               const CpdCPos* stationPos);

  SmFilterRec RtkDataSmFilter[kSats][kSlots];
  RTCMData::SatCorrectionType SatCorr;
  RTCMData::StationDataType StationData;
  RTCMData::SourceStateDataType SourceStateData;
};

extern CodeDiffFromBase CodeDiffFromBaseInstance;

// Range and phase in m (phase 0 when absent); time in ms of the satellite's system on GPS time
// (BeiDou included); station position null when unknown. True when a correction was stored.
bool convertCpdMeasToCodeDiffCorr(unsigned short stationId, int slot, double range, double phase, const CpdSv& sv,
                                  long time, const CpdCPos* stationPos);
