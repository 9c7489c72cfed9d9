#include "differential/decoder_status.h"

#include "differential/cmr/cmr_decoder.h"
#include "differential/rtcm2/rtcm2_records.h"
#include "differential/rtcm3_decoder.h"
#include "positioning/time_scales.h"

DecoderStatus DecSt;

namespace {
bool validPort(int port) { return port >= 0 && port < InPorts::DEC_NUM; }

void clearStream(DecoderStatus::DataStream& s) {
  s.good = 0;
  s.bad = 0;
  s.quality = 100.0f;
  s.lastTime = 0;
  s.station = 0;
  s.latency = -1;
  for (std::int32_t& p : s.period) p = -1;
}
}  // namespace

DecoderStatus::DecoderStatus() {
  for (int p = 0; p < InPorts::DEC_NUM; ++p) delStatus(p, kNone);
}

template <class F>
void DecoderStatus::update(int port, F&& change) {
  if (!validPort(port)) return;
  Locker<Mutex> hold(writers_);
  PortRecord& r = master_[port];
  change(r);
  pub_[port].publish(r);
}

void DecoderStatus::delStatus(int port, int mode) {
  update(port, [&](PortRecord& r) {
    r = PortRecord{};
    for (DataStream& s : r.streams) clearStream(s);
    r.mode = mode;
    r.port = port;
    r.multi = 0;
    r.selStream = 0;
  });
}

void DecoderStatus::putStatus(int port, RTC3_DEC_STATUS& st) {
  update(port, [&](PortRecord& r) {
    DataStream& s = r.streams[0];
    s.good = st.goodFrames;
    s.bad = st.badFrames;
    s.quality = st.quality;
    s.lastTime = st.lastTime;
    s.station = static_cast<std::int16_t>(st.stationId);
    s.latency = st.latency;
    NAV_Decoder_Kernel::EPOCH_PERIOD& ep = st.epochPeriod;
    if (ep.period > 0 && ep.sys >= 0 && ep.sys < 7) {
      s.period[ep.sys] = ep.period;
      ep.period = -1;
    }
    r.mode = kRtcm3;
    r.port = port;
    r.multi = 0;
    r.selStream = 0;
  });
}

void DecoderStatus::putStatus(int port, RTCM_DEC_STATUS& st) {
  update(port, [&](PortRecord& r) {
    DataStream& s = r.streams[0];
    s.good = static_cast<std::int32_t>(st.messages);
    s.bad = static_cast<std::int32_t>(st.seqGaps);
    s.quality = st.quality;
    s.lastTime = st.lastTime;
    s.station = st.header.stationId;
    s.latency = st.latency;
    NAV_Decoder_Kernel::EPOCH_PERIOD& ep = st.epochPeriod;
    if (ep.period > 0 && ep.sys >= 0 && ep.sys < 7) {
      s.period[ep.sys] = ep.period;
      ep.period = -1;
    }
    r.mode = kRtcm;
    r.port = port;
    r.multi = 0;
    r.selStream = 0;
  });
}

void DecoderStatus::putStatus(int port, CMR_DEC_STATUS& st) {
  update(port, [&](PortRecord& r) {
    for (int i = 0; i < 4; ++i) {
      CMR_DEC_STATUS::Slot& in = st.slots[i];
      DataStream& s = r.streams[i];
      s.good = in.goodFrames;
      s.bad = in.badFrames;
      s.quality = in.quality;
      s.lastTime = in.lastTime;
      s.station = in.stationId;
      s.latency = in.latency;
      NAV_Decoder_Kernel::EPOCH_PERIOD& ep = in.epochPeriod;
      if (ep.period > 0 && ep.sys >= 0 && ep.sys < 7) {
        s.period[ep.sys] = ep.period;
        ep.period = -1;
      }
    }
    r.mode = kCmr;
    r.port = port;
    r.multi = 1;
    r.selStream = st.slot;
  });
}

void DecoderStatus::putStatus(int port, const DataStream& s, int mode) {
  update(port, [&](PortRecord& r) {
    r.streams[0] = s;
    r.mode = mode;
    r.port = port;
    r.multi = 0;
    r.selStream = 0;
  });
}

bool DecoderStatus::get(int port, PortRecord& out) const {
  if (!validPort(port)) return false;
  pub_[port].read(out);
  return true;
}

std::uint32_t DecoderStatus::sequence(int port) const {
  return validPort(port) ? pub_[port].sequence() : 0;
}

// ---- latency and epoch period --------------------------------------------------------------

void decUtilsGetLatency(long time, int sys, long& latency) {
  if (time < 0) return;
  long now = TimeScales::now(sys == 1 ? tsGlonass : tsGps);
  if (now < 0) return;
  if (sys == 5) now -= 14000;  // BeiDou time runs 14 s behind GPS time
  // Keep the BeiDou shift inside the minute arithmetic even right after the week starts.
  const long nowMin = ((now % 60000) + 60000) % 60000;
  long d = nowMin - time % 60000;
  if (d < 0) d += 60000;
  latency = d;
}

void decUtilsGetEpochPeriod(long time, int sys, NAV_Decoder_Kernel::EPOCH_PERIOD& p) {
  if (sys < 0 || sys >= 7 || time < 0) return;
  const std::int32_t t = static_cast<std::int32_t>(time % 3600000);
  const std::uint32_t bit = 1u << sys;
  if (p.validMask & bit) {
    if (t != p.lastTime[sys]) {
      std::int32_t d = t - p.lastTime[sys];
      if (d < 0) d += 3600000;
      p.period = d;
      p.lastPeriod = d;
    } else if (p.lastPeriod > 0) {
      p.period = p.lastPeriod;  // a further message of the same epoch
    }
  }
  p.lastTime[sys] = t;
  p.validMask |= bit;
  p.sys = sys;
}
