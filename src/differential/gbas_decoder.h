// GBAS stream decoder: frames the VHF data broadcast messages (DO-246, or the older DO-217) that
// arrive as bytes on a port in GBAS mode, checks length, type and CRC, keeps the raw message in the
// GBAS ring and hands it to the GBAS message decoder of its ground station. One instance for every
// port; a change of port starts the framing afresh.
#pragma once

#include <cstdint>

#include "differential/input_decoders.h"
#include "positioning/gbas/gbas_corr_generator.h"

class GbasDecoder {
 public:
  static constexpr int kRingSize = 400;
  static constexpr int kMaxSteps = 250;
  static constexpr int kMinLength = 10;   // header and CRC
  static constexpr int kMaxLength = 222;
  static constexpr std::uint16_t kFormatDo217 = 217;
  static constexpr std::uint16_t kFormatDo246 = 246;
  // Where the correction-processor setup keeps the format (u16: 217 or 246).
  static constexpr int kSetupFormatOffset = static_cast<int>(GbasCorr::kFormatOffset);

  struct Status {
    std::int32_t errors = 0;
    std::int32_t messages = 0;
    std::uint32_t lastTime = 0;  // MonoClock::sec of the last decoding attempt
    float quality = 100.0f;      // percent
    std::uint32_t gbasId = 0;    // of the last good message
    std::int32_t state = 0;      // 0 waiting, 1 synchronising, 2 decoding
  };

  // Appends the bytes of decoder port `port` and decodes what they complete; files the status
  // for that port.
  void process(const std::uint8_t* bytes, int count, int port);
  // Empties the ring and drops the synchronisation; the statistics stay.
  void reset();

  const Status& status() const { return status_; }
  bool synchronised() const { return bSync_; }
  int waiting() const { return (write_ - read_ + kRingSize) % kRingSize; }
  std::uint8_t expectedBlockId() const { return uExpected_; }
  std::uint8_t lastBlockId() const { return uLastBlockId_; }

 private:
  void selectFormat();
  void runSteps();
  void sync();
  void decode();
  void skip(int n);
  void countError();
  std::uint8_t at(int i) const { return ring_[(read_ + i) % kRingSize]; }

  std::uint8_t ring_[kRingSize] = {};
  int read_ = 0;
  int write_ = 0;
  int port_ = -1;
  std::uint16_t uFormat_ = 0;
  std::uint8_t uExpected_ = 0;
  std::uint8_t uLastBlockId_ = 0;
  bool bSync_ = false;
  Status status_;
  std::uint8_t msg_[kMaxLength] = {};
};

extern GbasDecoder GbasDecoderInstance;

// Input decoder of one decoder port in GBAS mode.
class GbasInDec : public InDec {
 public:
  GbasInDec() = default;
  GbasInDec(GbasDecoder* dec, int port) : dec_(dec), port_(port) {}
  void reset() override;
  void process(const void* data, int len) override;

 private:
  GbasDecoder* dec_ = nullptr;
  int port_ = -1;
};
