// The satellite measurement processor: once per epoch and antenna input it attaches navigation
// data to the channels' measurements. For each of the 91 channels it resolves the satellite,
// evaluates the satellite's orbit and clock polynomial at the epoch, copies its group delays
// into the channel's signals, keeps the locked-satellite list and lets the channel data
// evaluate its TEC. It also gives the channel data's carrier smoothing its two-frequency phase.
#pragma once

#include <cstdint>

#include "navigation_data/sv_id.h"
#include "platform/hook.h"
#include "platform/rtos.h"
#include "positioning/data_servers/pos_setup_types.h"
#include "positioning/data_servers/pvt_data.h"

struct ChanData;
class SatelliteDataProcessor;
class KFKEngine;
class LMSEngine;

// Channel system codes of the GNSS board; above 7 no satellite.
enum ChanSysCode : std::uint8_t {
  kChanGps = 0,
  kChanGlonass = 1,
  kChanSbas = 2,
  kChanGalileo = 3,
  kChanBeidou = 4,
  kChanQzss = 5,
  kChanNavic = 6,
  kChanLband = 7,
};
// The navigation system of each satellite system code (0..6).
constexpr std::uint8_t kChanCodeSystem[7] = {kSysGps, kSysGlonass, kSysSbas, kSysGalileo,
                                             kSysBeidou, kSysQzss, kSysNavic};

// QZSS satellites that broadcast SBAS messages (L1S) are tracked as SBAS PRN 183..189.
constexpr int kQzssL1sFirstPrn = 183;
constexpr int kQzssL1sLastPrn = 189;

// L-band beams are told apart by frequency: kLbandBaseHz + kLbandStepHz x the channel's number.
constexpr std::int64_t kLbandBaseHz = 1545825000;
constexpr std::int64_t kLbandStepHz = 500;

// One channel's satellite as the measurement processor leaves it for the epoch.
struct ChanSatDataType {
  static constexpr std::uint8_t kStateReset = 4;  // the satellite changed this epoch
  static constexpr std::uint8_t kNoSatellite = 7;
  static constexpr std::uint8_t kNoBeam = 255;

  SvIdType sv = EmptySvId;  // all 255 but the system byte when no satellite
  std::uint8_t uState = kStateReset;        // 0, or kStateReset the epoch the satellite changed
  std::uint8_t uSatState = kNoSatellite;    // polynomial status (0: orbit below); kNoSatellite
  std::uint8_t bVisible = 0;                // the visibility fields below are set
  std::uint8_t bNewChecked = 0;             // ephemeris new and checked against the almanac
  std::uint8_t uBeam = kNoBeam;             // L-band beam number
  std::uint8_t uDataType = 255;             // data type of the polynomial
  std::uint16_t uIod = 65535;               // issue of data of the polynomial
  float fElevation = 0, fAzimuth = 0;       // deg
  float fThreshold = 0;                     // dB-Hz
  float fVariance = 0;                      // m^2, elevation-based
  float fVariance2 = 0;                     // the same x 0.01
  float fAccuracy = 0;                      // m^2, of the polynomial
  // Orbit at the epoch (valid while uSatState is 0), ECEF in the receiver's frame.
  double dTime = 0;      // s of the system's cycle at which it was evaluated
  double dPos[3] = {};   // m
  double dVel[3] = {};   // m/s
  double dAcc[3] = {};   // m/s^2
  double dClock = 0;     // s, offset without the relativistic term
  double dRel = 0;       // s, relativistic term: the satellite clock is dClock + dRel
  float fDrift = 0;      // s/s
  float fRelDrift = 0;   // s/s, rate of the relativistic term
  // The reference station's share (epoch_sat_list.h): flag word, and per signal an exclusion
  // byte and a quality word.
  std::uint32_t ulFlags = 0;
  std::uint8_t uExclude[6] = {};
  std::uint16_t uQuality[6] = {};
};

// The per-satellite part of the epoch record: one entry per channel (both antenna inputs).
struct EpochSatCommonDataType {
  static constexpr std::uint32_t kFilled = 3919;  // uFilled once the processor ran
  std::uint32_t uFilled = 0;
  ChanSatDataType chan[182];
  // The satellite list of the input being processed (channels 0..90 of it), highest first, and
  // the epoch's per-system use bytes; rebuilt by the reference clock.
  std::uint8_t uListCount = 0;
  std::uint8_t uList[91] = {};
  std::uint8_t uSystemUse[SYS_NUM] = {};
};

// What the processor asks of layers above it.
struct SatMeasLinks {
  // The L-band service's visible beam on `freqHz` with the highest elevation: its number,
  // elevation and azimuth (deg); false when none.
  Hook<bool(std::int64_t freqHz, int& beam, float& elevation, float& azimuth)> lbandBeam{
      "positioning", "satMeasLinks.lbandBeam"};
};
extern SatMeasLinks satMeasLinks;

class SatelliteMeasurementProcessor {
 public:
  static constexpr int kSlots = 91;
  static constexpr int kChannels = 182;
  static constexpr int kSignals = 6;

  SatelliteMeasurementProcessor(PVTDataType* store, LMSEngine* lms, KFKEngine* kfk, SatelliteDataProcessor* satData);
  SatelliteMeasurementProcessor(const SatelliteMeasurementProcessor&) = delete;
  SatelliteMeasurementProcessor& operator=(const SatelliteMeasurementProcessor&) = delete;

  // The per-epoch step over the channels of the epoch record's antenna input.
  void update_ChanNavData();
  // The setup of this epoch.
  void update_SetupData();
  // One channel (index 0..181 in Cdat) at the epoch's time.
  void update_ChanNavDataCycle(int channel);
  // Forgets the channel's satellite: state reset, identity 255, no satellite, partners none.
  void reset_ChannelData(int channel);
  // Polynomial of `sv` at t (s of the system's cycle) into `rec`; the polynomial status (0: the
  // orbit and clock are in `rec`).
  int update_SatPosAndClockData(SvIdType sv, double t, bool healthyOnly, std::uint16_t& iod, int& dataType,
                                ChanSatDataType& rec);

  // The divergence-free, code-like two-frequency carrier of a signal (the name is the one its
  // callers know). With phase times p = phase / f (s), p_i = rho - I / f_i^2 for a range rho
  // and an ionospheric term I, the result is rho + I / f1^2 with f1 the signal's own frequency:
  // the carrier follows the code of that signal, ionosphere included, so code minus carrier
  // stays constant and the smoothing does not diverge. The partner is the first other signal
  // of the channel tracked this epoch with carrier on another frequency; false (nothing
  // written) when the combination is off in the setup or there is no partner. `slip`: the
  // partner changed since the last call, or its carrier restarted.
  bool compute_IonoFreePhase(const ChanData& ch, int slot, double& phaseTime, bool& slip);

  // Setup switches for the channel data: 1 on, 0 off, -1 before the first setup.
  int tecCalibEnabled() const;
  int smoothWaitFull() const;

  // What the last epoch left.
  const EpochSatCommonDataType& epochSatData() const { return sat_; }
  const SatData::SatelliteListType& lockedList() const { return locked_; }
  // Signal level (dB-Hz) of a satellite in the last epoch: the strongest signal valid in that
  // epoch on any channel tracking it; 0 when no channel tracked it. Read by other tasks (the
  // navigation decoders' ghost check).
  float get_SatSignalLevel(SvIdType sv) const;

  PVTDataType* pStore;
  LMSEngine* pLms;
  KFKEngine* pKfk;
  SatelliteDataProcessor* pSatData;

 private:
  struct SlotState {
    std::uint8_t lastSys = 255;
    std::uint8_t lastSi = 255;
    std::uint8_t partner[kSignals] = {255, 255, 255, 255, 255, 255};
  };
  // Resolves the channel's satellite; false leaves the channel empty.
  bool resolve(const ChanData& ch, ChanSatDataType& rec, bool& evalOrbit);
  void markEmpty(int channel, std::uint8_t sys);
  void copyGroupDelays(SvIdType sv, ChanData& ch);
  bool healthyOnly(SvIdType sv) const;

  PosSetup::SatProcessorSetupType setup_;
  bool setupValid_ = false;
  PosData::RcvTimeDataType time_{};
  SatData::SatelliteListType locked_{};
  EpochSatCommonDataType sat_;
  SlotState slot_[kChannels];
  // Levels by global tracking index: built over the epoch, then published whole under the lock.
  float levelNext_[SYS_SI_TOTAL] = {};
  float level_[SYS_SI_TOTAL] = {};
  mutable Mutex levelMutex_;
};

extern SatelliteMeasurementProcessor SatelliteMeasurementProcessorInstance;
