// RTCM 2 and state-space correction records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "navigation_data/sv_id.h"  // SYS_CYCLE_SEC

#include "positioning/data_servers/data_buffer_server.h"

class PVTDataType;
namespace PosData {
struct RcvTimeDataType;
}

namespace RTCMData {

constexpr int kRtcmSources = 5;
constexpr int kCorrSlots = 6;     // signal slots of a satellite
constexpr int kTSClockSources = 2;
constexpr int kTSOrbitSets = 2;

// Bit 0 valid, bits 1..31 milliseconds of the system's cycle.
using TimeTag = std::uint32_t;

constexpr double kInvalidTagAge = 86400.0;  // s
// A tag can run ahead of the current time by the reception offset and clock skew; further
// ahead it is old data whose age wrapped past half a cycle.
constexpr double kMaxTagLead = 3.0;  // s

// The state-space precise clock values are whole millimetres modulo these counts (16 bits for
// GPS, 18 for GLONASS): the decoder folds its differences and wraps its partial updates by them,
// and the generator moves the rebuilt clock by whole multiples of them.
constexpr std::uint32_t kTSClockWrapGpsMm = 65535;
constexpr std::uint32_t kTSClockWrapGloMm = 262143;
// The same in metres for a system (0 where no state-space clock is defined).
double get_TSClockModulus(int system);

// ms -1 clears the valid bit.
void set_TimeTag(TimeTag& tag, int ms);
inline void clear_TimeTag(TimeTag& tag) { tag &= ~1u; }
// (now - tag) in seconds folded into plus or minus half the system's cycle; 86400 for an
// invalid tag.
double get_TimeTagAge(int system, int now, TimeTag tag);
// The tag's age lies within -kMaxTagLead..timeout (an invalid tag's age 86400 is compared
// with the time-out alone).
bool is_FreshTimeTag(int system, int now, TimeTag tag, double timeout);

// RTCM 2 code corrections of one satellite from one reference station.
struct SatCorrectionType {
  static constexpr std::uint8_t kRangeCode0 = 1u << 0;
  static constexpr std::uint8_t kRangeCode1 = 1u << 1;
  static constexpr std::uint8_t kHealth = 1u << 2;
  static constexpr std::uint8_t kDeltaRangeReady = 1u << 0;
  static constexpr std::uint8_t kIonoReady = 1u << 1;
  static constexpr double kHealthTimeout = 1800.0;  // s
  // Bits of a slot's flag word.
  static constexpr std::uint16_t kCoarseScale = 1u << 0;   // PRC 0.32 m, RRC 0.032 m/s units
  static constexpr std::uint16_t kGnssUdre = 1u << 1;      // UDRE is a 6-bit GNSS-message code
  static constexpr std::uint16_t kUnusable = 1u << 2;      // the station says do not use
  static constexpr std::uint16_t kSlotFlag = 1u << 6;      // passed through to the user
  static constexpr int kSignalShift = 7;                   // bits 7..9: the signal field
  static constexpr std::uint16_t kSignalMask = 7u << kSignalShift;

  // One range correction as broadcast: counts of the slot's scale.
  struct RangeCorrType {
    float fPrc;          // pseudorange correction, counts
    float fRrc;          // range-rate correction, counts
    std::uint8_t uUdre;  // 0..3, or 0..63 with kGnssUdre
    std::uint8_t uIod;
  };

  DataBufferHeaderType header;
  std::uint16_t uStationId;  // 65535 none
  std::uint8_t uFlags;       // kDeltaRangeReady, kIonoReady
  std::uint8_t uSlotReady[kCorrSlots];  // kRangeCode0, kRangeCode1, kHealth
  TimeTag ulRangeTime[kCorrSlots][2];   // per code
  TimeTag ulDeltaRangeTime;
  TimeTag ulIonoTime;
  std::uint16_t uSlotFlags[kCorrSlots];
  RangeCorrType range[kCorrSlots][2];  // per slot and code
  RangeCorrType previous[kCorrSlots][2];  // the corrections of the issue before
  RangeCorrType delta;  // for the previous issue of data (type 2), of the slot's scale
  float fIono;          // m
  float fIonoRate;      // m/s
  std::uint8_t uIonoUdre;
  std::uint8_t bIonoGnssUdre;  // uIonoUdre is a GNSS-message code
  // A satellite's health as its station broadcasts it (types 5, 33 and 43), per slot, with the
  // time of the message: it ages out apart from the corrections.
  struct HealthType {
    static constexpr std::uint8_t kIodLink = 1u << 0;     // issue of data link (5, 33)
    static constexpr std::uint8_t kEnable = 1u << 1;      // health enable (5, 33)
    static constexpr std::uint8_t kNewNavData = 1u << 2;
    static constexpr std::uint8_t kLossWarning = 1u << 3;
    std::uint8_t uHealth;           // 3 bits (5, 33), 2 bits (43)
    std::uint8_t uCn0;              // carrier-to-noise code, 5 bits: 0 not tracked, else 24 + code dB-Hz
    std::uint8_t uTimeToUnhealthy;  // 4 bits of 5 minutes
    std::uint8_t uFlags;
  };
  HealthType health[kCorrSlots];
  TimeTag ulHealthTime[kCorrSlots];

  void init();

  bool is_ReadyRangeCorr(int system, int now, int slot, int code) const;
  bool is_ReadyDeltaRangeCorr(int system, int now) const;
  bool is_ReadyIonoCorr(int system, int now) const;
  // A station other than the stored one first clears everything the old one set.
  void set_ReadyRangeCorr(int station, int slot, int code);
  void set_ReadyDeltaRangeCorr(int station);
  void set_ReadyHealthStatus(int station, int slot);
  // Clears the ready bits of parts past their time-out; true when one was cleared. Run every
  // epoch (clear_ExpiredServers): a tag cannot tell data a whole cycle old from fresh data.
  bool clear_ExpiredData(int system, int now);

  // Class-wide time-outs from the correction-processor setup (s).
  static void set_DataTimeout(std::uint16_t rangeTimeout, std::uint16_t ionoTimeout);
  static double get_RangeCorrTimeout() { return dRangeTimeout; }
  static double get_IonoCorrTimeout() { return dIonoTimeout; }

 private:
  void takeStation(int station);
  static inline double dRangeTimeout = 0.0;
  static inline double dIonoTimeout = 0.0;
};

// Stored byte for byte in its settings-image block.
struct StationDataType {
  static constexpr std::uint16_t kCoordinateReady = 1u << 0;
  static constexpr std::uint16_t kDatumReady = 1u << 1;
  static constexpr double kCoordinateTimeout = 86400.0;  // s
  static constexpr double kDatumTimeout = 86400.0;       // s

  std::uint16_t uStationId = 65535;  // 65535: no station
  std::uint16_t uFlags = 0;
  TimeTag ulCoordinateTime = 0;
  TimeTag ulDatumTime = 0;
  std::uint8_t uSystem = 0;  // system whose message carried the coordinates
  std::uint8_t aSpare0[3] = {};
  double dPos[3] = {};       // m, Earth-centred, in the station's datum
  char cDatum[8] = {};       // datum name of the coordinates ("" unknown)
  std::uint8_t aSpare1[16] = {};

  void init() { *this = StationDataType{}; }
  bool is_ReadyCoordinate(int system, int now) const;
  // A station other than the stored one first clears the old one's data.
  void set_ReadyCoordinate(int station);
  // Ages the coordinates and the datum out by the system `uSystem` of the message that carried
  // them; true when a ready bit was cleared.
  bool clear_ExpiredData(int system, int now);

 private:
  void takeStation(int station);
};
static_assert(sizeof(StationDataType) == 64);
static_assert(offsetof(StationDataType, ulCoordinateTime) == 4 && offsetof(StationDataType, uSystem) == 12);
static_assert(offsetof(StationDataType, dPos) == 16 && offsetof(StationDataType, cDatum) == 40);

// The header of a station's last correction message.
struct SourceStateDataType {
  static constexpr std::uint8_t kNotMonitored = 1u << 0;  // health 6
  static constexpr std::uint8_t kNotWorking = 1u << 1;    // health 7
  std::uint8_t bValid = 0;
  std::uint8_t uFlags = 0;
  std::uint8_t uVersion = 0;         // RTCM 2 version 0..3 (2.1..2.4): the reference-data kind
  std::uint8_t uHealth = 0;
  std::uint16_t uStationId = 65535;  // 65535: no station
  std::uint16_t uZCount = 0;         // 0.6 s
  float fScale = 1.0f;               // UDRE scale factor of the station health
  // The station's last message: its time in the scale of system uTimeSystem.
  std::uint8_t uTimeSystem = 0;
  TimeTag ulTime = 0;
  void set_Time(int system, std::int64_t ms);
  // The last message is no older than the longest time-out of the corrections a station sends
  // (SatCorrectionType's range and ionosphere time-outs) at `now` (ms of uTimeSystem's cycle):
  // a station silent for longer has nothing left to use.
  bool is_Heard(int now) const;
  // Forgets when the station was heard once that is past; true when it did.
  bool clear_ExpiredData(int now);
};

// State-space (orbit and clock) corrections of one satellite.
struct TSSatCorrectionType {
  static constexpr std::uint8_t kClockReady = 1u << 0;
  static constexpr std::uint8_t kOrbitReady0 = 1u << 1;  // set 1 is the next bit
  static constexpr double kClockTimeout = 360.0;   // s
  static constexpr double kOrbitTimeout = 1080.0;  // s

  DataBufferHeaderType header;
  std::uint8_t uReady;
  std::uint8_t uReserved;
  std::uint16_t uClockId[kTSClockSources];  // 65535 none
  TimeTag ulClockTime[kTSClockSources];
  TimeTag ulOrbitTime[kTSOrbitSets];
  std::int16_t iIssue[kTSOrbitSets];  // -1 none
  float fOrbit[kTSOrbitSets][3];      // m, ECEF position correction
  float fOrbitRate[kTSOrbitSets][3];  // m/s
  std::uint32_t ulClock[kTSClockSources];  // mm modulo the system's clock wrap, per buffer
  float fClockOffset;                 // m, accumulated clock steps of the satellite
  // The source whose clock steps the engine has taken up (65535 none): the decoder then adds
  // only what that source's clock jumps beyond the common motion.
  std::uint16_t uStepId;
  std::uint8_t uCodeBiasMask;   // bit per signal slot holding a code bias
  std::uint8_t uPhaseBiasMask;  // bit per signal slot holding a phase bias
  float fCodeBias[kCorrSlots];   // m
  float fPhaseBias[kCorrSlots];  // m

  void init();
  bool is_ReadyClockCorr(int system, int now, int source) const;
  bool is_ReadyOrbitCorr(int system, int now, int set) const;
  void set_ReadyClockCorr(int id, int source);
  void set_ReadyOrbitCorr(int set);
  // True when a ready bit was cleared.
  bool clear_ExpiredData(int system, int now);
};

struct TSSourceStateDataType {
  std::uint16_t uId = 65535;
  std::uint8_t aState[7] = {};  // per system: the current clock buffer (0 or 1)
  std::uint8_t bDisabled = 0;
  TimeTag ulTime = 0;           // last message of the source, GPS time
  float fSystemOffset[7] = {};  // m, per system: clock offset common to the source's satellites
  // Per system, the last precise-clock message (its number, 0 none; mask, bit i for satellite
  // index i; header Z-count): the base that clock partials refer to.
  std::uint8_t aClockMsg[7] = {};
  std::uint16_t aClockZCount[7] = {};
  std::uint32_t aClockMask[7] = {};
  // The last orbit message, which orbit refinements refer to (system 255 none).
  std::uint8_t uOrbitSystem = 255;
  std::uint16_t uOrbitZCount = 0;
  std::uint16_t uOrbitStation = 65535;
  std::uint32_t ulOrbitMask = 0;
  // Bit per system: its last precise clock was decoded (had receiver time); kOrbitDecoded: the
  // last orbit message was. Only a decoded message is a base for partials and refinements.
  static constexpr std::uint8_t kOrbitDecoded = 1u << 7;
  std::uint8_t uBaseDecoded = 0;
  void init() { *this = TSSourceStateDataType{}; }
};

// Ages every RTCM code-correction, station and state-space record of the store out by the
// receiver time of the epoch, each system by its own time scale (a system whose time is not
// known is left as it is). Run once an epoch, as the SBAS records are swept: a record is then
// cleared within an epoch of its time-out, long before its tag's age could fold round half a
// day (GLONASS) or half a week and make it look new. Returns the records changed.
int clear_ExpiredServers(PVTDataType* store, const PosData::RcvTimeDataType& t);

}  // namespace RTCMData
