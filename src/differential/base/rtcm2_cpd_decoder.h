// The RTCM 2 base-epoch decoder: carrier phase and pseudorange (types 18 and 19) and their
// corrections (20 and 21) of the base port become base epochs in the base buffer. It also keeps
// the station's reference and virtual reference positions, its L2-L1 antenna offsets and
// antenna type and the GPS-GLONASS time offset, and copies them into each finished epoch.
//
// An epoch collects messages while their times agree; it closes on a message of another time,
// on the end-of-epoch bit (mode `eoe`), or (mode `full`) as soon as it holds the same kinds of
// data as the previous finished epoch and the last record says no further message follows.
#pragma once

#include <cstdint>

#include "differential/base/cpd_epoch_timing.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/rtcm2/rtcm2_client.h"

class RtcmCpdDecoder final : public RtcmCpdClient, public CpdBaseDecoder {
 public:
  static constexpr double kPhaseWrap = 8388608.0;  // 2^23 cycles: the span of the phase field
  static constexpr std::uint8_t kModeGlo = 1, kModeEoe = 2, kModeFull = 4;
  static constexpr int kGpsSeenBit = 42;
  static constexpr int kNoSlot = 6;

  // Null: the program's base buffer (pBaseMeasBuf), looked up at each use.
  explicit RtcmCpdDecoder(CpdMeasBuf* buf = nullptr);

  void updatePhase(const RTCM_RTK_PHASE& m) override;
  void updateRange(const RTCM_RTK_RANGE& m) override;
  void updateDelPhase(const RTCM_RTK_DEL_PHASE& m) override;
  void updateDelRange(const RTCM_RTK_DEL_RANGE& m) override;
  void updateRefPos(const CpdCPos& pos, int stationId, bool arp) override;
  void updateAntDef(const MSG_ANT_TYPE& m) override;
  void updateL2L1(const CpdAntOffs& offs) override { l2l1 = offs; }
  void updateVirtCor(const MSG_TS_COR& m) override;
  void updateFKPCor(const MSG_FKP_COR&) override {}
  void updateGnssOffset(const MSG_GNSS_OFFSET& m) override;
  void reset() override;
  void invalidateRefPos() override;
  void invalidateOtherInfo() override;
  void setGlo(bool on) override { setMode(kModeGlo, on); }
  void setEoe(bool on) override { setMode(kModeEoe, on); }
  void setFull(bool on) override { setMode(kModeFull, on); }

  // The slot of a record: index = P-code indicator (bit 0) + frequency indicator F (bits 2-1).
  static int flags2slot(int index);
  // The mask bit of a signal: kind 0 range, 1 phase.
  static int maskBit(int sys, int slot, int kind) { return (sys * 3 + slot / 2) * 2 + kind; }
  // The message time (us within the hour) rounded to 10 ms, in ms before the hour is taken off.
  static std::int64_t roundedMs(std::uint32_t us) { return (static_cast<std::int64_t>(us) + 5000) / 10000 * 10; }
  // A phase brought within half a wrap of the previous one, in whole 2^23-cycle steps.
  static double continuePhase(double phase, double previous);

  bool epochOpen() const { return cur_ != nullptr; }
  std::uint64_t mask() const { return mask_; }
  std::uint8_t mode() const { return mode_; }
  int resets() const { return resets_; }
  double gnssOffset() const { return gnssOffset_; }

  CpdRefPos refPos;
  CpdRefPos virtRefPos;
  CpdAntOffs l2l1;
  ClientTimes times;
  int stationId = -1;

 private:
  enum Kind : int { kPhase18, kRange19, kDelPhase20, kDelRange21 };
  template <class Msg>
  void take(const Msg& m, Kind kind);
  // The common start of every data message; false when the message is dropped.
  bool prepare(const RTCM_RTK_HEAD& head, std::uint8_t lastFlags, int kind, int& sys);
  void stopEpochByFlags(std::uint8_t lastFlags);
  void stopEpoch();
  bool finishEpoch(CpdMeas& meas);
  CpdMeasBuf* buf() const { return buf_ != nullptr ? buf_ : pBaseMeasBuf; }
  void setMode(std::uint8_t bit, bool on) {
    mode_ = static_cast<std::uint8_t>(on ? (mode_ | bit) : (mode_ & ~bit));
  }

  CpdMeasBuf* buf_;
  CpdMeas* cur_ = nullptr;
  CpdMeas prev_;
  bool hasPrev_ = false;
  std::uint64_t mask_ = 0;
  // The mask of the previous finished epoch as its messages filled it; 0 none.
  std::uint64_t prevMask_ = 0;
  std::uint8_t mode_ = kModeGlo | kModeFull;
  std::uint8_t posFlag_ = 0;
  int resets_ = 0;
  double gnssOffset_ = 0.0;  // s
};

// The program's RTCM 2 base decoder on the base buffer.
extern RtcmCpdDecoder rtcmCpdClient;
