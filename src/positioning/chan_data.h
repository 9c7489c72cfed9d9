// Channel data of one epoch: 182 tracking channels (91 per antenna input), each with six signal
// slots. The raw-record decoder fills the signal records; after the epoch `processAfter`
// validates every signal, smooths its code with its carrier phase, follows the dual-frequency
// ionospheric delay, and the navigation step reads the result. The TEC value and the
// per-system TEC calibration (kept in the settings image) hang off the same records.
//
// Units: code and phase times in seconds, carrier phase in cycles, frequencies in Hz, delays and
// accuracies in metres, epoch times in milliseconds.
#pragma once

#include <cstdint>

#include "platform/hook.h"

#include "navigation_data/sv_id.h"
#include "positioning/leaky_filter.h"

// Measurement time of an epoch: the GPS and GLONASS epoch times with their validity.
struct ChanMeasTime {
  std::int32_t gpsMs = 0;   // ms of GPS week
  std::int32_t gloMs = 0;   // ms of GLONASS day
  std::uint8_t valid = 0;   // bit 0 GPS time valid, bit 1 GLONASS time valid
  std::uint8_t flags = 0;
  std::uint8_t spare[2] = {0, 0};
};
static_assert(sizeof(ChanMeasTime) == 12);

// One signal of one channel in one epoch.
struct ChanSigData {
  // Status flag bits.
  static constexpr std::uint16_t kValidA = 0x01;
  static constexpr std::uint16_t kPhase = 0x10;       // carrier phase present
  static constexpr std::uint16_t kPhaseReset = 0x20;  // carrier phase restarted this epoch
  static constexpr std::uint16_t kValidB = 0x40;
  static constexpr std::uint16_t kValid = kValidA | kValidB;  // both: valid this epoch

  double code;        // measured code time, s (the smoothed one when bPutSmoothed)
  double phase;       // carrier phase, cycles
  double doppler;     // Hz
  double freq;        // rated carrier frequency, Hz
  double smCode;      // smoothed code time, s
  double codeRaw;     // code time as measured this epoch, s
  double phTime;      // phase time the smoothing used, s
  LeakyFilter smFilt;   // code minus phase time, s
  LeakyFilter accFilt;  // smoothed minus measured code, m
  float cn0;          // signal level, dB-Hz
  float accuracy;     // m
  float phaseSigma;   // cycles
  float tgd;          // group delay, s
  std::int32_t accPhaseTime;  // time the carrier phase has been followed, ms
  std::uint16_t flags;
  std::uint16_t smCnt;        // smoothing counter (at most smMax)
  std::uint16_t smMax;        // smoothing limit taken over from ChanData::xMaxSmCnt
  std::int16_t smSteps;       // signed count of fSmCorrLimit steps, smoothed vs measured
  std::int16_t phSrc;         // identity of the phase source the smoothing used (0: none)
  std::uint16_t lockValue;
  std::uint8_t bNew;          // new this epoch (read by the output)
  std::uint8_t bInUse;        // in use this epoch (read by the output)
  std::uint8_t bRestart;      // smoothing restarts at the next valid epoch
  std::uint8_t bTgdIsc;       // tgd comes from a broadcast inter-signal correction
  std::uint8_t spare[20];
};
static_assert(sizeof(ChanSigData) == 160);

constexpr int kCdatChannels = 182;
constexpr int kCdatPerInput = 91;
constexpr int kCdatSlots = 6;
constexpr int kCdatRecords = kCdatChannels * kCdatSlots;  // 1092

extern ChanSigData Sdat[kCdatRecords];
extern ChanSigData SdatD[kCdatRecords];
extern ChanSigData SdatP1[kCdatRecords];
extern ChanSigData SdatEmpty;

// The TEC calibration as kept in the settings image (block 8334, with checksum): the seconds the
// calibration has run, then per system (navigation system number 0..6) the mean and the
// standard deviation of the samples (measured minus modelled delay on the first frequency, m).
struct TecCalibBlock {
  std::int32_t seconds;
  std::int32_t spare;
  double mean[SYS_NUM];
  double dev[SYS_NUM];
};
static_assert(sizeof(TecCalibBlock) == 120);
static_assert(sizeof(double) == 8);

struct ChanData {
  enum tNavStatus : std::uint8_t {
    nsUsed = 0,
    nsNotProcessed = 4,
  };

  ChanData();

  // ---- class-wide settings ----
  static int iSmMaxWrnCount;   // 12
  static double fSmCorrLimit;  // 10.0 m
  static std::uint16_t xMaxSmCnt;     // 100
  static std::uint16_t xTecMaxSmCnt;  // 300
  static int nDoppMode;        // 2
  static int iUpdateRate;      // 1000 ms
  static int xMaxIonAge;       // 5 s
  static bool bPutSmoothed;    // smoothed code replaces the measured one

  // ---- slot mapping ----
  static void mapSlot(int channel, int slot, int index);

  // ---- per epoch ----
  void initSlots();
  void processBefore();
  void resetSlot(int slot);
  void setNavStatus(int status);
  void processAfter();
  void processIonoDel();
  void invalidateIon(bool full);
  // The channel now tracks another satellite: nothing of the last one's carrier smoothing,
  // ionospheric delay or group delays carries over.
  void resetSatellite();
  // TEC of the channel's satellite `sv` seen at `elevDeg`; `timeMs` is the epoch time the
  // calibration counts from.
  void evaluateTEC(const SvIdType& sv, double elevDeg, std::int64_t timeMs);

  static void setMeasTime(const ChanMeasTime& epoch);
  static void getMeasTime(ChanMeasTime& epoch);

  // ---- TEC calibration ----
  static bool allocate_NvRamTecCalibData();
  static void restore_NvRamTecCalibData();
  static void clearTecCalibData();
  static void updateTecCalibData(int system, std::int64_t timeMs, double x);
  static void processTecCalibData(std::int64_t nowMs);

  // ---- read access ----
  ChanSigData* sig(int slot) const { return cur_[slot]; }
  ChanSigData* sigPrimary(int slot) const { return pri_[slot]; }
  ChanSigData* sigSecondary(int slot) const { return sec_[slot]; }
  int bestSlot() const { return bestSlot_; }
  int inUse() const { return inUse_; }
  int navStatus() const { return navStatus_; }
  std::uint32_t navStatusChanges() const { return navStatusChanges_; }
  bool delayValid() const { return delayValid_; }
  double delay() const { return delay_; }          // m, first frequency
  bool delayRateValid() const { return rateValid_; }
  double delayRate() const { return delayRate_; }  // m/s
  double ifSmCode() const { return ifSmCode_; }    // s
  int ifSmCount() const { return ifFilt_.count; }
  float ifAccuracy() const { return ifAccuracy_; }
  std::uint16_t ionInvalidations() const { return ionInvalid_; }
  bool ionChanged() const { return ionChanged_ != 0; }
  double tec() const { return tec_; }  // TECU, NaN when none
  std::uint16_t maxSmCnt() const { return curMaxSmCnt_; }
  std::uint16_t tecMaxSmCnt() const { return curTecMaxSmCnt_; }
  int smoothLength(int i) const { return smLen_[i]; }
  void setSmoothLength(int i, int n) { smLen_[i] = n; }

  // Channel identity, filled by the raw-record decoder: the board's system code and the
  // satellite's number as read by chanSatNumber (a GLONASS frequency number signed); read
  // through chan_satellite.h.
  std::uint8_t bDataPresent = 0;
  std::uint8_t trackCode = 0;
  std::uint8_t sysCode = 0;
  std::int16_t svNum = 0;

 private:
  bool slotGood(int slot) const;
  void restartSmoothing(ChanSigData& s, double phTime);
  void smoothSlot(int slot, ChanSigData& s);
  void restartIon(double ifCode, double ifPhase);

  ChanSigData* cur_[kCdatSlots];
  ChanSigData* pri_[kCdatSlots];
  ChanSigData* sec_[kCdatSlots];
  std::uint8_t navStatus_ = nsNotProcessed;
  std::uint8_t inUse_ = 0;
  std::uint8_t bestSlot_ = 255;
  std::uint32_t navStatusChanges_ = 0;

  // ionosphere state
  LeakyFilter ifFilt_;     // ionosphere-free code minus phase, s
  LeakyFilter ifAccFilt_;  // smoothed minus raw ionosphere-free code, m
  LeakyFilter delayFilt_;  // delay on the first frequency, m
  LeakyFilter rateFilt_;   // its rate, m/s
  double ifSmCode_ = 0.0;
  double delay_ = 0.0;
  double delayRate_ = 0.0;
  double tec_;
  float ifAccuracy_ = 50.0f;
  std::uint32_t delayTime_ = 0;  // MonoClock::sec of the last good estimate
  std::uint16_t ionSteps_ = 0;   // epochs (iUpdateRate ms each) since the last good estimate
  std::uint16_t ionInvalid_ = 0;
  std::uint8_t ionChanged_ = 0;
  bool delayValid_ = false;
  bool rateValid_ = false;

  // smoothing parameters
  int ionAgeLimit_ = 5;
  int smLen_[2] = {60, 60};
  std::uint16_t curMaxSmCnt_ = 100;
  std::uint16_t curTecMaxSmCnt_ = 300;
};

extern ChanData Cdat[kCdatChannels];

// Carrier-smoothing length: with perChannel false the common maximum count xMaxSmCnt takes the
// low 16 bits of n; with true both smoothing lengths of every channel of the first antenna input
// take n. A count of 0 is stored as 1.
void setSmoothInt(bool perChannel, int n);

// Links to the code of neighbours this record asks. Empty, each answers "not available";
// start-up points them at the real code.
struct ChanDataLinks {
  // Ionosphere-free carrier phase time (s) of a signal of the channel and whether its partner
  // slipped; false when not available.
  Hook<bool(const ChanData& ch, int slot, double& phaseTime, bool& slip)> computeIonoFreePhase{
      "positioning", "chanDataLinks.computeIonoFreePhase"};
  // The correction processor's ionosphere record of a satellite: the correction (m, the negated
  // modelled delay) and the obliquity factor; false when none is valid.
  Hook<bool(const SvIdType& sv, float& correction, float& obliquity)> ionoRecord{"positioning",
                                                                               "chanDataLinks.ionoRecord"};
  // Satellite-processor setup: TEC calibration switched on (1), off (0), not available (-1).
  Hook<int()> tecCalibEnabled{"positioning", "chanDataLinks.tecCalibEnabled", -1};
  // Satellite-processor setup: smoothed code only once the counter reached its limit (1), at
  // once (0), not available (-1).
  Hook<int()> smoothWaitFull{"positioning", "chanDataLinks.smoothWaitFull", -1};
};
extern ChanDataLinks chanDataLinks;
