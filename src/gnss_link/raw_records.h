// Records the raw record decoder fills besides the channel data, the epoch record and the
// navigation rings: the board's RTK solution, the L-band decoder's state record, PPS and event
// time tags, spectrum, signal levels, I/Q samples, hardware calibration and the L-band service's
// RTCM messages. Each is written by task MEAT; those read by other tasks carry their own lock.
#pragma once

#include <cstdint>

#include "gnss_link/board_sol_rtk.h"
#include "navigation_data/sv_id.h"
#include "platform/rtos.h"

// ---- The board's RTK solution (870 bytes on the wire; layout in board_sol_rtk.h) ------------
extern BoardSolRtkType solution;

// ---- The L-band decoder's state record (862 bytes on the wire) -------------------------------
struct TrstDataType {
  static constexpr int kWireSize = 862;
  static constexpr int kBeams = 16;
  struct Beam {
    std::uint32_t ulWord[3];
    std::uint8_t uByte;
    std::uint8_t uA[8];
    std::uint8_t uB[8];
    float fValue[4];
    double dConverted;  // the last word, a signed count of 1e-3 units
  };
  Beam beam[kBeams];
  std::uint8_t uOrder[32];  // the ordered list
  std::uint8_t uTail[46];   // counts, status and the current decoder channel
};

// ---- PPS and event time tags -----------------------------------------------------------------
struct PpsTagType {
  float fA, fB;
  std::uint32_t ulTime;
  std::uint8_t uByte;
};
struct EventTagType {
  std::uint32_t ulA, ulB;
  std::uint8_t uByte;
  std::uint8_t bLocked;
};

template <class T>
class TagRing {
 public:
  static constexpr int kEntries = 128;
  void append(const T& e) {
    Locker<Mutex> l(mutex_);
    data_[write_] = e;
    write_ = write_ + 1 == kEntries ? 0 : write_ + 1;
    ++count_;
  }
  // The entry `back` places before the newest (0: newest); false when there is none.
  bool latest(int back, T& out) {
    Locker<Mutex> l(mutex_);
    if (back < 0 || back >= kEntries || static_cast<std::uint32_t>(back) >= count_) return false;
    out = data_[(write_ - 1 - back + 2 * kEntries) % kEntries];
    return true;
  }
  std::uint32_t count() {
    Locker<Mutex> l(mutex_);
    return count_;
  }
  int writeIndex() {
    Locker<Mutex> l(mutex_);
    return write_;
  }

 private:
  Mutex mutex_;
  T data_[kEntries] = {};
  int write_ = 0;
  std::uint32_t count_ = 0;
};
extern TagRing<PpsTagType> ppsRing[2];
extern TagRing<EventTagType> eventRing[2];

// ---- Spectrum --------------------------------------------------------------------------------
inline constexpr int kSpectrumPoints = 32768;
struct SpectrumHeaderType {
  std::uint32_t ulStartFrq, ulStep, ulPoints, ulA, ulB, ulTimeTag;
  std::uint8_t uBytes[8];
  std::uint8_t uAntenna;
  std::uint8_t uNameId;
};
struct SpectrumOut {
  std::uint16_t uSample[kSpectrumPoints];
  SpectrumHeaderType header;
  std::uint8_t bTakenByMaster;
  std::uint32_t ulHeaders;  // headers stored
};
extern SpectrumOut spectrumOut;

// ---- Signal levels ---------------------------------------------------------------------------
inline constexpr int kSigLevelBands = 8;
inline constexpr int kSigLevelRoundsKept = 12;
struct SignalLevelTables {
  std::uint16_t uLevel[SYS_NUM][kSigLevelBands][63];  // widest system: BeiDou, 63 satellites
  std::uint32_t ulTag[SYS_NUM][kSigLevelBands];
  std::uint32_t ulLastRound[SYS_NUM];
  std::uint32_t ulRound;
};
extern SignalLevelTables sigLevels;

// ---- I/Q samples -----------------------------------------------------------------------------
inline constexpr int kIqBuffers = 4;
inline constexpr int kIqSamples = 2048;
struct IqBuffer {
  std::int16_t iSample[kIqSamples];
  int write;
  std::uint8_t uSystem, uSlot, uBand, bPairs;
};
extern IqBuffer iqBuffers[kIqBuffers];

// ---- Hardware calibration --------------------------------------------------------------------
// The board's delay tables as this program reads them: band 16 x signal + letter + 7 (signal 0
// C/A on L1, 1 P on L1, 2 C/A on L2, 3 P on L2; GLONASS letters -7..8), value A the code delay
// and value B the phase delay, in seconds; the final word of "gC" is the calibration's status
// word. Written by the raw decoder and the native input of the ports, read by the calib/hard/
// keys: all under hwCalibMutex.
struct HwCalib {
  static constexpr int kBands = 64;
  static constexpr int kSystems = 4;  // 0: common ("gC"), 1..3: "g1", "g2", "g3"
  static constexpr int kLettersPerSignal = 16;
  static constexpr int kLetterMin = -7;
  struct Entry {
    float fA, fB;
    std::uint8_t bSetA, bSetB;
  };
  Entry common[kBands];
  Entry bySystem[kSystems][kBands];
  std::int16_t iPair[2][4][2];
  std::uint8_t bPairSet[2][4];
  std::int16_t iFinal;
  std::uint8_t bFinalSet;  // a "gC" brought the final word
  float fR[2][kBands];  // "gR": kind 0 first half, other kinds second half; stored negated
  std::uint8_t bRSet[2][kBands];
  long lTime;  // epoch time of the last calibration message

  // The attenuators' limits of the hardware calibration's settings (calib/hard/).
  static int attMax, attMin, attrMax, attrMin;
};
extern HwCalib hwCalib;
extern Mutex hwCalibMutex;

// ---- RTCM messages of the L-band service ("Rb") ----------------------------------------------
struct TSRtcmMessageType {
  static constexpr int kData = 200;
  std::uint16_t uLength;
  std::uint16_t uNumber;
  std::uint8_t uData[kData];
};
static_assert(sizeof(TSRtcmMessageType) == 204);
inline constexpr int kTSRtcmMessages = 5;
extern TSRtcmMessageType TSRtcmMessageData[kTSRtcmMessages];
extern std::uint32_t uTSRtcmMessageWriteIndex;
extern Mutex mutexTSRtcmMessage;
