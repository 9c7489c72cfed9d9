#include "gnss_link/zrt_decoder.h"

#include "gnss_link/placeholders.h"
#include "platform/mono_clock.h"

ZrtDecoder::ZrtDecoder() : filter_(kBufSize), parser_(buf_, kBufSize, &filter_), epoch_(this) {
  filter_.setNotify(this);
  filter_.addClient_(&epoch_);
}

void ZrtDecoder::EpochClient::endOfEpoch(long time) {
  if (time < 0) return;
  std::int32_t lat = 0;
  // Epoch times of the native stream are GPS milliseconds.
  if (decUtilsGetLatency(time, 0, &lat)) owner_->latency_ = lat;
}

void ZrtDecoder::notify(bool ok, const ZRFMessage&) {
  std::uint32_t& c = ok ? good_ : bad_;
  c = c >= kCountWrap ? 1 : c + 1;
  if (n_ < kQualityWindow) ++n_;
  mean_ += ((ok ? kFull : 0) - mean_) / n_;
  if (slot_ >= 0) {
    const DecoderStatus::Record r{good_, bad_, quality(), latency_};
    DecoderStatus::putStatus(slot_, r, kStatusMode);
  }
}

void ZrtDecoder::notifyReset() {
  good_ = 0;
  bad_ = 0;
  mean_ = 0;
  n_ = 0;
  resetTime_ = MonoClock::sec();
}
