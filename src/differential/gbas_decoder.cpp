#include "differential/gbas_decoder.h"

#include <cstring>

#include "differential/decoder_status.h"
#include "platform/mono_clock.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/gbas/gbas_data_decoder.h"
#include "positioning/gbas/gbas_dec_utility.h"
#include "positioning/raw_nav_rings.h"

using GbasDecUtility::reverseByte;

GbasDecoder GbasDecoderInstance;

namespace {

constexpr int kHeaderBytes = 6;
constexpr int kCrcBytes = 4;
constexpr float kQualityStep = 0.05f;

bool acceptedType(int type) { return type == 1 || type == 2 || type == 4 || type == 5 || type == 6 || type == 101; }

void countUp(std::int32_t& c) { c = c >= 999999 ? 1 : c + 1; }

std::uint16_t setupFormat() {
  const PosSetup::CorrProcessorSetupType* s = PVTDataInstance.corrProcessorSetup.GetPointer();
  std::uint16_t v = 0;
  if (s != nullptr) std::memcpy(&v, s->aBytes + GbasDecoder::kSetupFormatOffset, sizeof v);
  return v;
}

}  // namespace

void GbasDecoder::reset() {
  read_ = write_ = 0;
  status_.state = 0;
  bSync_ = false;
}

void GbasDecoder::selectFormat() {
  const std::uint16_t f = setupFormat();
  if (f == kFormatDo217 || f == kFormatDo246) {
    if (f != uFormat_) reset();
    uFormat_ = f;
    uExpected_ = f == kFormatDo217 ? GbasDataDecoder::kDo217BlockId : GbasDataDecoder::kDo246BlockId;
    return;
  }
  // No format chosen: nothing is kept between calls.
  uFormat_ = f;
  uExpected_ = 0;
  reset();
}

void GbasDecoder::process(const std::uint8_t* bytes, int count, int port) {
  if (port != port_) {
    reset();
    port_ = port;
  }
  selectFormat();
  // The ring takes the chunk as it drains: a chunk longer than the ring is decoded piece by piece.
  int off = 0;
  while (bytes != nullptr && off < count) {
    const int room = kRingSize - 1 - waiting();
    if (room == 0) {
      reset();  // cannot happen while decoding drains the ring; kept as the overflow rule
      continue;
    }
    const int n = count - off < room ? count - off : room;
    for (int i = 0; i < n; ++i) {
      ring_[write_] = bytes[off + i];
      write_ = (write_ + 1) % kRingSize;
    }
    off += n;
    runSteps();
  }
  DecoderStatus::DataStream s{};
  s.good = status_.messages;
  s.bad = status_.errors;
  s.quality = status_.quality;
  s.lastTime = static_cast<std::int32_t>(status_.lastTime);
  s.station = static_cast<std::int32_t>(status_.gbasId);
  s.latency = -1;
  for (std::int32_t& p : s.period) p = -1;
  DecSt.putStatus(port, s, DecoderStatus::kGbas);
}

void GbasDecoder::runSteps() {
  status_.state = waiting() >= kHeaderBytes ? 1 : 0;
  // Rounds of steps until the ring waits for more bytes: a message behind a long run of noise is
  // decoded now, not when the next chunk comes. Every step but one into decoding takes a byte or
  // ends the run, so the ring bounds the work.
  while (status_.state != 0) {
    for (int step = 0; step < kMaxSteps && status_.state != 0; ++step) {
      if (status_.state == 1)
        sync();
      else
        decode();
    }
  }
}

void GbasDecoder::skip(int n) {
  read_ = (read_ + n) % kRingSize;
  status_.state = waiting() > 0 ? 1 : 0;
}

void GbasDecoder::countError() {
  status_.quality *= 1.0f - kQualityStep;
  countUp(status_.errors);
  status_.lastTime = MonoClock::sec();
}

void GbasDecoder::sync() {
  if (waiting() == 0) {
    status_.state = 0;
    return;
  }
  if (reverseByte(at(0)) == uExpected_) {
    status_.state = 2;
    return;
  }
  skip(1);
}

void GbasDecoder::decode() {
  const int have = waiting();
  if (have < kHeaderBytes) {
    status_.state = 0;
    return;
  }
  const int type = reverseByte(at(4));
  const int len = reverseByte(at(5));
  if (!acceptedType(type) || len > kMaxLength) {
    skip(1);
    if (bSync_) countError();
    return;
  }
  if (len < kMinLength) {
    skip(1);
    return;
  }
  if (have < len) {
    status_.state = 0;
    return;
  }
  bSync_ = true;
  for (int i = 0; i < len; ++i) msg_[i] = at(i);
  const std::uint32_t sent = static_cast<std::uint32_t>(msg_[len - 4]) << 24 |
                             static_cast<std::uint32_t>(msg_[len - 3]) << 16 |
                             static_cast<std::uint32_t>(msg_[len - 2]) << 8 | msg_[len - 1];
  if (GbasDecUtility::crc32q(msg_, len - kCrcBytes) != sent) {
    skip(1);
    countError();
    return;
  }
  const std::uint8_t blockId = reverseByte(msg_[0]);
  const std::uint32_t gbasId = GbasDecUtility::extract(msg_, 8, 24);
  uLastBlockId_ = blockId;
  if (blockId == uExpected_) {
    status_.quality += (100.0f - status_.quality) * kQualityStep;
    countUp(status_.messages);
    status_.lastTime = MonoClock::sec();
    status_.gbasId = gbasId;
    PosData::RcvTimeDataType t;
    if (PVTDataInstance.rcvTime.Take(&t)) {
      CorrData::GbasRawMessageType raw{};
      raw.uSv = blockId;
      raw.ulTime = t.gps.uStatus[0] != 0 ? t.gps.ulMs / 1000 : 0;
      raw.uKind = 0;
      raw.uCount = static_cast<std::uint8_t>(len);
      std::memcpy(raw.uData, msg_, static_cast<std::size_t>(len));
      raw.iValid = 1;
      updateGbasRawData(raw);
      if (GbasDataDecoder* d = get_GbasDataDecoder(t, blockId, gbasId)) d->update(t, gbasId, blockId, msg_, len);
    }
  }
  // A good message of another format is passed over whole.
  skip(len);
}

void GbasInDec::reset() {
  if (dec_ != nullptr) dec_->reset();
}

void GbasInDec::process(const void* data, int len) {
  if (dec_ != nullptr) dec_->process(static_cast<const std::uint8_t*>(data), len, port_);
}
