#include "differential/rtcm2/rtcm2_decoder.h"

#include <atomic>
#include <cstdio>

#include "navigation_data/sv_id.h"
#include "platform/mono_clock.h"
#include "positioning/gps_parity.h"
#include "positioning/time_scales.h"

RTCM_MESSAGE_DATA RtcmMessageData[kRtcmMessageRing];
std::uint32_t uRtcmMessageWriteIndex = 0;
Mutex mutexRtcmMessageData;
std::uint8_t bDispRtcmDec = 0;
std::uint8_t bDispVirtCor = 0;

RTCM_DEC_SETTINGS& RTCM_Decoder::Set = RtcmSet.rtcmDec;

RTCM_Decoder RtcmDec[InPorts::DEC_NUM];

namespace {
constexpr std::uint8_t kComplementedPreamble = 0x99;
constexpr int kRateLength = 20;
constexpr std::uint32_t kCounterWrap = 999999;
constexpr int kHourMs = 3600000;
constexpr int kHalfHourMs = 1800000;
constexpr int kZCountLimit = 6000;  // one hour of 0.6 s steps

// The six data bits of a 6-of-8 byte arrive least significant first.
constexpr unsigned char reverse6(unsigned char b) {
  unsigned char r = 0;
  for (int i = 0; i < 6; ++i) r = static_cast<unsigned char>(r | ((b >> i) & 1u) << (5 - i));
  return r;
}
struct Reverse6Table {
  unsigned char v[64];
  constexpr Reverse6Table() : v() {
    for (int i = 0; i < 64; ++i) v[i] = reverse6(static_cast<unsigned char>(i));
  }
};
constexpr Reverse6Table kReverse6;

void countUp(std::uint32_t& c) { c = c >= kCounterWrap ? 1 : c + 1; }

template <class T>
T load(T& f) {
  return std::atomic_ref<T>(f).load(std::memory_order_relaxed);
}
template <class T>
void store(T& f, T v) {
  std::atomic_ref<T>(f).store(v, std::memory_order_relaxed);
}
}  // namespace

RTCM_Decoder::RTCM_Decoder() : cb(kRingSize) { init(); }

void RTCM_Decoder::initDecoder(RTCM_Decoder_Client* c) {
  client = c;
  // The shared settings keep what the settings image loaded; their defaults are the image's.
  init();
}

void RTCM_Decoder::init() {
  cb.clean();
  header = RTCM_MSG_HEADER{};
  status = RTCM_DEC_STATUS{};
  status.latency = -1;
  status.epochPeriod.init();
  rate = LeakyFilter{};
  rate.setLength(kRateLength);
  int n = 0;
  rate.update(1.0, n);
  SatCorr.init();
  StationData.init();
  SourceStateData = RTCMData::SourceStateDataType{};
  for (std::uint32_t& w : words) w = 0;
  lastParity = 0;
  bitShift = 0;
  lastSeq = kNoSeq;
  bytesWanted = 3;
  refSeen = 0;
  arpKnown = 0;
  refRefined = 0;
}

void RTCM_Decoder::setSettings(const RTCM_DEC_SETTINGS& s) {
  if (&s == &Set) return;
  store(Set.first, s.first);
  store(Set.maxAge, s.maxAge);
  store(Set.secondLimit, s.secondLimit);
  store(Set.third, s.third);
  store(Set.fourth, s.fourth);
  store(Set.seqCheck, s.seqCheck);
  store(Set.invSign, s.invSign);
  store(Set.useNotMonitored, s.useNotMonitored);
  store(Set.version, s.version);
  store(Set.refSource, s.refSource);
}

void RTCM_Decoder::reset() {
  init();
  if (client != nullptr) client->reset();
}

int RTCM_Decoder::getDataSize() { return cb.getFree(); }

void RTCM_Decoder::putData(const unsigned char* bytes, int len, InPorts::DecPortIndex p) {
  port = p;
  if (bytes == nullptr) return;
  // Filtered in small batches so that the ring takes them in one copy each.
  unsigned char kept[64];
  int n = 0;
  for (int i = 0; i < len; ++i) {
    if ((bytes[i] & 0xC0) != 0x40) continue;
    kept[n++] = kReverse6.v[bytes[i] & 0x3F];
    if (n == static_cast<int>(sizeof kept)) {
      cb.put(kept, n);
      n = 0;
    }
  }
  if (n > 0) cb.put(kept, n);
}

std::uint32_t RTCM_Decoder::glue(int at, int shift) const {
  std::uint64_t acc = 0;
  for (int k = 0; k < 6; ++k) {
    const int b = cb.see(at + k);
    acc = acc << 6 | static_cast<std::uint64_t>(b < 0 ? 0 : b);
  }
  return static_cast<std::uint32_t>(acc >> (6 - shift)) & 0x3FFFFFFFu;
}

bool RTCM_Decoder::lock(int shift, std::uint8_t d30) {
  const std::uint32_t w1 = glue(0, shift);
  std::uint8_t d29 = static_cast<std::uint8_t>(lastParity >> 1 & 1u);
  std::uint32_t first = w1 | static_cast<std::uint32_t>(d29) << 31 | static_cast<std::uint32_t>(d30) << 30;
  std::uint32_t try1 = first;
  if (GpsParity::checkParity(&try1, 1) == 0) {
    first ^= 0x80000000u;  // the carried D29* may be the one that was lost
    try1 = first;
    if (GpsParity::checkParity(&try1, 1) == 0) return false;
  }
  std::uint32_t second = glue(5, shift) | (w1 & 3u) << 30;
  if (GpsParity::checkParity(&second, 1) == 0) return false;
  words[0] = try1;
  words[1] = second;
  lastParity = static_cast<std::uint8_t>(second & 3u);
  bitShift = static_cast<std::uint8_t>(shift);
  cb.erase(10);
  return true;
}

int RTCM_Decoder::stateSynchro() {
  for (;;) {
    if (cb.count < kMinBytes) {
      bytesWanted = kMinBytes - cb.count;
      return kWaitData;
    }
    const std::uint32_t window = static_cast<std::uint32_t>(cb.see(0)) << 12 |
                                 static_cast<std::uint32_t>(cb.see(1)) << 6 | static_cast<std::uint32_t>(cb.see(2));
    bool locked = false;
    for (int s = 0; s < 6 && !locked; ++s) {
      const std::uint32_t b = window >> (10 - s) & 0xFFu;
      if (b == kPreamble) locked = lock(s, 0);
      else if (b == kComplementedPreamble) locked = lock(s, 1);
    }
    if (locked) break;
    cb.erase(1);
  }
  const std::uint32_t w1 = words[0] >> 6 & 0xFFFFFFu;
  const std::uint32_t w2 = words[1] >> 6 & 0xFFFFFFu;
  header.type = static_cast<std::uint16_t>(w1 >> 10 & 0x3Fu);
  header.stationId = static_cast<std::uint16_t>(w1 & 0x3FFu);
  header.zCount = static_cast<std::uint16_t>(w2 >> 11 & 0x1FFFu);
  header.seqNum = static_cast<std::uint8_t>(w2 >> 8 & 7u);
  header.length = static_cast<std::uint8_t>(w2 >> 3 & 0x1Fu);
  header.health = static_cast<std::uint8_t>(w2 & 7u);
  status.lastTime = static_cast<std::int32_t>(MonoClock::sec());
  if (load(Set.seqCheck) != 0 && lastSeq != kNoSeq) {
    const std::uint8_t expected = static_cast<std::uint8_t>(lastSeq == 7 ? 0 : lastSeq + 1);
    if (header.seqNum != expected) {
      countUp(status.seqGaps);
      feedRate(0.0);
    }
  }
  lastSeq = header.seqNum;
  return kCollecting;
}

int RTCM_Decoder::stateCollecting() {
  const int n = header.length;
  const int need = 5 * n + (n > 0 && bitShift != 0 ? 1 : 0);
  if (cb.count < need) {
    bytesWanted = need - cb.count;
    return kWaitData;
  }
  std::uint8_t carry = lastParity;
  for (int i = 0; i < n; ++i) {
    std::uint32_t w = glue(5 * i, bitShift) | static_cast<std::uint32_t>(carry) << 30;
    const std::uint8_t received = static_cast<std::uint8_t>(w & 3u);
    if (GpsParity::checkParity(&w, 1) == 0) {
      feedRate(0.0);
      return kSynchro;
    }
    words[2 + i] = w;
    carry = received;
  }
  lastParity = carry;
  countUp(status.messages);
  cb.erase(5 * n);
  return kDecoding;
}

int RTCM_Decoder::stateDecoding() {
  const int h = header.health;
  const bool accepted = h < 6 || (h == 6 && load(Set.useNotMonitored) != 0);
  toRing();
  if (header.type == 34 && header.length == 0) header.type = 65;
  if (accepted || header.type == 16 || header.type == 36) {
    status.header = header;
    dispatch();
  }
  if (bDispRtcmDec != 0)
    std::printf("HRTCM: %02i %04i %i %02i %04i %i L: %i %i %i %i\r\n", header.type, header.stationId, header.health,
                header.length, header.zCount, header.seqNum, static_cast<int>(load(Set.refSource)), refSeen,
                arpKnown, refRefined);
  feedRate(1.0);
  if (client != nullptr) client->updateStatus(status, port);
  return kSynchro;
}

void RTCM_Decoder::feedRate(double sample) {
  int n = 0;
  status.quality = static_cast<float>(100.0 * rate.update(sample, n));
}

void RTCM_Decoder::toRing() {
  Locker<Mutex> hold(mutexRtcmMessageData);
  const std::uint32_t at = uRtcmMessageWriteIndex < kRtcmMessageRing ? uRtcmMessageWriteIndex : 0;
  RTCM_MESSAGE_DATA& e = RtcmMessageData[at];
  const int count = 2 + header.length;
  e.wordCount = static_cast<std::uint16_t>(count);
  e.stationId = header.stationId;
  for (int i = 0; i < RTCM_MESSAGE_DATA::kWords; ++i) e.words[i] = i < count ? words[i] : 0;
  uRtcmMessageWriteIndex = at + 1 >= kRtcmMessageRing ? 0 : at + 1;
}

void RTCM_Decoder::dispatch() {
  switch (header.type) {
    case 1:
    case 2:
    case 9:
    case 31:
    case 34:
    case 41:
    case 42:
      decodeCorrections();
      break;
    case 3:
    case 32:
      decodeRefCoord();
      break;
    case 5:
    case 33:
    case 43:
      decodeHealth();
      break;
    case 16:
    case 36:
      decodeText();
      break;
    case 18:
    case 19:
    case 20:
    case 21:
      decodeRtk();
      break;
    case 22:
      decodeExtRef();
      break;
    case 23:
      decodeAntDef();
      break;
    case 24:
      decodeArpPar();
      break;
    case 37:
      decodeGnssOffset();
      break;
    case 59:
      decodeNetwork();
      break;
    case 38:
    case 39:
    case 50:
    case 51:
    case 52:
    case 53:
    case 54:
    case 55:
      decodeStateSpace();
      break;
    default:
      // All others are counted only.
      break;
  }
}

std::uint32_t RTCM_Decoder::bits(int pos, int len) const {
  if (pos < 0 || len < 1 || len > 32 || pos + len > dataBits()) return 0;
  std::uint64_t v = 0;
  for (int i = 0; i < len; ++i) {
    const int p = pos + i;
    const std::uint32_t w = words[2 + p / 24];
    v = v << 1 | (w >> (29 - p % 24) & 1u);
  }
  return static_cast<std::uint32_t>(v);
}

std::int32_t RTCM_Decoder::sbits(int pos, int len) const {
  const std::uint32_t u = bits(pos, len);
  if (len >= 32) return static_cast<std::int32_t>(u);
  const std::uint32_t sign = 1u << (len - 1);
  return static_cast<std::int32_t>((u ^ sign) - sign);
}

std::int64_t RTCM_Decoder::refMsTime(std::int64_t nowMs, int sys, int zCount) {
  if (nowMs < 0 || zCount < 0 || zCount >= kZCountLimit) return -1;
  const std::int64_t cycleHours = SYS_CYCLE_SEC[sys >= 0 && sys < SYS_NUM ? sys : 0] / 3600;
  const std::int64_t z = static_cast<std::int64_t>(zCount) * 600;
  std::int64_t hour = nowMs / kHourMs;
  const std::int64_t r = nowMs % kHourMs - z;
  if (r > kHalfHourMs) ++hour;
  if (r < -kHalfHourMs) --hour;
  hour = ((hour % cycleHours) + cycleHours) % cycleHours;
  return hour * kHourMs + z;
}

std::int64_t RTCM_Decoder::get_RefMsTime(int sys, int zCount) {
  long now = -1;
  if (sys == kSysGlonass) {
    now = TimeScales::now(tsGlonass);
  } else {
    now = TimeScales::now(tsGps);
    if (now >= 0) now %= 604800000L;
    // SBAS tags run over the day.
    if (now >= 0 && sys == kSysSbas) now %= 86400000L;
  }
  if (now < 0) return -1;
  if (sys == kSysGlonass) now %= 86400000L;
  return refMsTime(now, sys, zCount);
}
