#include "gnss_link/zrt_decoder.h"

#include "differential/decoder_status.h"
#include "platform/mono_clock.h"

ZrtDecoder::ZrtDecoder() : filter_(kBufSize), parser_(buf_, kBufSize, filter_), epoch_(this) {
  filter_.setNotify(this);
  filter_.addClient_(&epoch_);
}

void ZrtDecoder::EpochClient::endOfEpoch(long time) {
  if (time < 0) return;
  long lat = owner_->latency_;
  // Epoch times of the native stream are GPS milliseconds.
  decUtilsGetLatency(time, 0, lat);
  owner_->latency_ = static_cast<std::int32_t>(lat);
}

void ZrtDecoder::notify(bool ok, const ZRFMessage&) {
  std::uint32_t& c = ok ? good_ : bad_;
  c = c >= kCountWrap ? 1 : c + 1;
  if (n_ < kQualityWindow) ++n_;
  mean_ += ((ok ? kFull : 0) - mean_) / n_;
  if (slot_ >= 0) {
    if (ok) lastTime_ = static_cast<std::int32_t>(MonoClock::sec());
    DecoderStatus::DataStream s{};
    s.good = static_cast<std::int32_t>(good_);
    s.bad = static_cast<std::int32_t>(bad_);
    s.quality = static_cast<float>(quality());
    s.lastTime = lastTime_;
    s.latency = latency_;
    for (std::int32_t& p : s.period) p = -1;
    DecSt.putStatus(slot_, s, kStatusMode);
  }
}

void ZrtDecoder::notifyReset() {
  good_ = 0;
  bad_ = 0;
  mean_ = 0;
  n_ = 0;
  resetTime_ = MonoClock::sec();
}
