// A self-contained reader of one native stream: a parser over its own buffer feeding a message
// filter, with the stream's statistics (good and bad messages, quality, latency). One per
// decoder port; decoders of that port register their handlers with filter().
#pragma once

#include <cstdint>

#include "gnss_link/native_msg_filter.h"
#include "gnss_link/native_stream_parser.h"

class ZrtDecoder : public ZrtMsgNotify {
 public:
  static constexpr int kBufSize = 1536;
  // Quality is the mean over this many of the last messages.
  static constexpr int kQualityWindow = 40;
  static constexpr std::uint32_t kCountWrap = 999999;
  // Input mode under which the statistics are published.
  static constexpr int kStatusMode = 2;

  ZrtDecoder();
  ZrtDecoder(const ZrtDecoder&) = delete;
  ZrtDecoder& operator=(const ZrtDecoder&) = delete;

  void process(const void* data, int len) { parser_.process(data, len); }
  // Resets the parser, and through it the filter, its clients and the statistics.
  void reset() { parser_.reset(); }

  ZrtMsgFilter& filter() { return filter_; }
  ZRFParser& parser() { return parser_; }

  // Decoder-status slot the statistics go to on every message; negative for none.
  void setStatusSlot(int slot) { slot_ = slot; }

  std::uint32_t good() const { return good_; }
  std::uint32_t bad() const { return bad_; }
  // Percent, rounded, over the last kQualityWindow messages.
  int quality() const { return (100 * mean_ + kFull / 2) / kFull; }
  std::int32_t latency() const { return latency_; }
  // MonoClock::sec() of the last reset of the statistics.
  std::uint32_t resetTime() const { return resetTime_; }

  void notify(bool ok, const ZRFMessage& msg) override;
  void notifyReset() override;

 private:
  static constexpr std::int32_t kFull = 40000;  // mean value of a good message

  class EpochClient : public ZrtMsgClient {
   public:
    explicit EpochClient(ZrtDecoder* owner) : owner_(owner) {}
    void reset() override { owner_->latency_ = 0; }
    void endOfEpoch(long time) override;

   private:
    ZrtDecoder* owner_;
  };

  char buf_[kBufSize];
  ZrtMsgFilter filter_;
  ZRFParser parser_;
  EpochClient epoch_;
  std::uint32_t good_ = 0;
  std::uint32_t bad_ = 0;
  std::int32_t mean_ = 0;
  int n_ = 0;  // divisor of the running mean, held at kQualityWindow
  std::int32_t latency_ = 0;
  std::uint32_t resetTime_ = 0;
  int slot_ = -1;
};
