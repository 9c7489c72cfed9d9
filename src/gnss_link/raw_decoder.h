// The GNSS board's stream turned into the main board's data for each epoch: raw navigation
// words into the rings, measurements per channel and signal, satellite states, the board's
// solutions, time scales, power readings, PPS and event tags, task load, spectra, signal levels,
// I/Q samples and calibration values. It frames the epochs between the filter's start and end
// calls and hands a good epoch, once, to the per-epoch chain.
#pragma once

#include <cstdint>

#include "gnss_link/native_msg_filter.h"

class ZrtRawDecoder : public ZrtMsgClient {
 public:
  // What was refused or dropped; every count only grows (until reset of the statistics).
  struct Counters {
    std::uint32_t navDropped;     // navigation-word messages whose count does not fit
    std::uint32_t gloFreqRefused;  // "lD" with a frequency number outside -7..+6
    std::uint32_t miscDropped;    // "Rb", "Rm", "Ri", "Sp", "sj", "IQ", "gC".."gR" that do not fit
    std::uint32_t chanRefused;    // channel above 181 or signal slot above 5
    std::uint32_t recRefused;     // "@@" records refused (length, count, index)
    std::uint32_t containerCut;   // "@@" bodies cut short by a length beyond the rest
    std::uint32_t chainRuns;      // per-epoch chains started
    std::uint32_t badEpochs;      // epochs ended without a chain
  };

  ZrtRawDecoder();
  void reset() override;
  void startOfEpoch(long time) override;
  void endOfEpoch(long time) override;

  // Binds this decoder's messages in the filter.
  void setHandlers(ZrtMsgFilter& filter);

  // The per-epoch chain the decoder calls after a good epoch (null: none; start-up wires the driver's).
  using MeasReady = void (*)();
  void setMeasReady(MeasReady f);

  // One "@@" body (it carries no checksum).
  void s2m(const std::uint8_t* p, int len);

  long epochTime() const { return epochTime_; }
  bool timeOk() const { return timeOk_ != 0; }
  bool epochError() const { return epochError_ != 0; }
  const Counters& counters() const { return cnt_; }
  void clearCounters() { cnt_ = Counters{}; }

  static bool h_gd(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_lD(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_ED(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_WD(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_qd(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_cd(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_id(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_xd(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_Rb(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_S2M(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_DL(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_gC(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_g1(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_g2(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_g3(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_gR(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_Rm(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_Ri(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_Sp(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_sj(ZrtMsgClient* c, const ZRFMessage& m);
  static bool h_IQ(ZrtMsgClient* c, const ZRFMessage& m);

  // Bytes of a SatData entry the decoder reads, and the entry size the board sends.
  static constexpr int kSatDataFields = 13;
  static constexpr int kSatDataSize = 15;

 private:
  enum class WordSys { Gps, Qzss, Comp, Irnss };
  enum class ByteSys { Gal, Waas, Lex };
  bool navWords(const ZRFMessage& m, WordSys sys);
  bool navBytes(const ZRFMessage& m, ByteSys sys);
  bool calib(const ZRFMessage& m, int system);
  void clearPositions();
  void clearMeasurements();

  // "@@" records.
  void recPwr(const std::uint8_t* r, int len);
  void recSolAln(const std::uint8_t* r, int len);
  void recSolRtk(const std::uint8_t* r, int len);
  void recPps(const std::uint8_t* r, int len);
  void recSatData(const std::uint8_t* r, int len);
  void recTs(const std::uint8_t* r, int len);
  void recChanStates(const std::uint8_t* r, int len);
  void recSigMeas(const std::uint8_t* r, int len);
  void recTrst(const std::uint8_t* r, int len);
  void recEvent(const std::uint8_t* r, int len);
  void recTaskLoad(const std::uint8_t* r, int len);
  void recOnce(const std::uint8_t* r, int len);

  long epochTime_ = -1;
  std::uint8_t timeOk_ = 0;
  std::uint8_t epochError_ = 0;
  // A "~~" opened an epoch that no "::" or "||" has closed yet.
  std::uint8_t epochOpen_ = 0;
  std::uint8_t satDataWarned_ = 0;
  std::uint8_t tsBeyondSaid_ = 0;
  MeasReady measReady_;
  Counters cnt_{};
};

// The raw decoder of port 9 (the GNSS board's link).
extern ZrtRawDecoder zrtRawDecoder;
// Binds it to port 9's native reader; false when that port has none.
bool zrtRawDecoderInit();
