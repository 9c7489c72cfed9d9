// The RTCM 2 message decoders of corrections, health, text, RTK observables, time offsets and
// network corrections (layouts of RTCM 10402.3 unless noted).
#include <atomic>
#include <cstdio>

#include "differential/decoder_status.h"
#include "differential/rtcm2/rtcm2_decoder.h"
#include "differential/rtcm2/rtcm2_signals.h"
#include "navigation_data/sv_id.h"
#include "platform/mono_clock.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"

namespace {
using Sat = RTCMData::SatCorrectionType;

// UDRE scale of the station health (RTCM 10402.3 table 4.2); 1.0 for not monitored / not working.
constexpr float kHealthScale[8] = {1.0f, 0.75f, 0.5f, 0.3f, 0.2f, 0.1f, 1.0f, 1.0f};

constexpr std::int32_t kNoPrc = -32768;
constexpr std::int32_t kNoRrc = -128;

// The smallest whole number of words holding `bits`.
int wordsFor(int bits) { return (bits + 23) / 24; }

// The satellites a correction message of `n` words and `headBits` leading bits carries at
// `satBits` each, or 0 when the length fits no whole satellite count.
int satCount(int n, int headBits, int satBits) {
  const int s = (24 * n - headBits) / satBits;
  return s >= 1 && wordsFor(headBits + s * satBits) == n ? s : 0;
}

// Identity of a broadcast satellite number in a system (index 0..3: GPS, GLONASS, Galileo,
// SBAS); false for a number outside the system's satellites.
bool satId(int sys, int number, SvIdType& id) {
  if (sys == kSysSbas) number += 100;  // SBAS numbers 20..47 stand for PRN 120..147
  return svIdFromSatNumber(sys, number, id);
}

// The shared settings are written by the command interpreter while the decoders read them.
template <class T>
T load(T& f) {
  return std::atomic_ref<T>(f).load(std::memory_order_relaxed);
}

std::uint32_t sourceTime(std::int64_t ms) {
  return ms >= 0 ? static_cast<std::uint32_t>(ms) : MonoClock::sec() * 1000u;
}
}  // namespace

void RTCM_Decoder::putSourceState(int system, std::int64_t timeMs) {
  const int src = get_RtcmSourceIndex(sourceTime(timeMs), header.stationId);
  if (src < 0 || src >= RTCMData::kRtcmSources) return;
  SourceStateData = RTCMData::SourceStateDataType{};
  SourceStateData.bValid = 1;
  SourceStateData.uStationId = header.stationId;
  SourceStateData.uZCount = header.zCount;
  SourceStateData.uHealth = header.health;
  SourceStateData.uVersion = static_cast<std::uint8_t>(load(Set.version) & 3u);
  if (header.health == 6) SourceStateData.uFlags |= RTCMData::SourceStateDataType::kNotMonitored;
  if (header.health == 7) SourceStateData.uFlags |= RTCMData::SourceStateDataType::kNotWorking;
  SourceStateData.fScale = kHealthScale[header.health & 7];
  // Without receiver time the message still names its station, but not when it was heard.
  SourceStateData.set_Time(system, timeMs);
  PVTDataInstance.rtcmSourceState.Put(src, &SourceStateData);
}

void RTCM_Decoder::decodeCorrections() {
  const int type = header.type;
  const int n = header.length;
  const bool gnss = type == 41 || type == 42;
  int sys = type == 31 || type == 34 ? kSysGlonass : kSysGps;
  int count = 0;
  Rtcm2Signal sig{0, 0, 0};
  if (gnss) {
    const int sysField = static_cast<int>(bits(0, 4));
    if (sysField < 1 || sysField > 4) return;
    sys = sysField - 1;
    if (!rtcm2SignalOf(sys, static_cast<int>(bits(4, 4)), sig)) return;
    count = satCount(n, 8, 36);
  } else {
    count = satCount(n, 0, 40);
  }
  if (count == 0) return;
  // Without receiver time the corrections still count, tagged as not timed.
  const std::int64_t t = get_RefMsTime(sys, header.zCount);
  if (header.zCount >= 6000) return;
  const int src = get_RtcmSourceIndex(sourceTime(t), header.stationId);
  if (src < 0 || src >= RTCMData::kRtcmSources) return;
  RtcmSatCorrectionServerType& server = PVTDataInstance.rtcmSatCorrection[src];
  for (int k = 0; k < count; ++k) {
    int number = 0, udre = 0, iod = 0, prc = 0, rrc = 0, coarse = 0;
    if (gnss) {
      const int p = 8 + 36 * k;
      number = static_cast<int>(bits(p, 6));
      udre = static_cast<int>(bits(p + 6, 6));
      iod = static_cast<int>(bits(p + 12, 8));
      prc = sbits(p + 20, 16);
      if (udre >= 62) continue;  // the station says: no correction for this satellite
    } else {
      const int p = 40 * k;
      coarse = static_cast<int>(bits(p, 1));
      udre = static_cast<int>(bits(p + 1, 2));
      number = static_cast<int>(bits(p + 3, 5));
      prc = sbits(p + 8, 16);
      rrc = sbits(p + 24, 8);
      iod = static_cast<int>(bits(p + 32, 8));
      if (number == 0 && sys == kSysGps) number = 32;
    }
    SvIdType id;
    if (!satId(sys, number, id)) continue;
    if (server.Take(&id, &SatCorr) == 0) SatCorr.init();
    const bool unusable = prc == kNoPrc || rrc == kNoRrc;
    const Sat::RangeCorrType now{static_cast<float>(prc), static_cast<float>(rrc), static_cast<std::uint8_t>(udre),
                                 static_cast<std::uint8_t>(iod)};
    if (type == 2) {
      SatCorr.set_ReadyDeltaRangeCorr(header.stationId);
      SatCorr.delta = now;
      RTCMData::set_TimeTag(SatCorr.ulDeltaRangeTime, static_cast<int>(t));
    } else {
      const int slot = sig.slot, code = sig.code;
      const bool had = (SatCorr.uSlotReady[slot] & (code == 0 ? Sat::kRangeCode0 : Sat::kRangeCode1)) != 0 &&
                       SatCorr.uStationId == header.stationId;
      SatCorr.set_ReadyRangeCorr(header.stationId, slot, code);
      if (had && SatCorr.range[slot][code].uIod != now.uIod) SatCorr.previous[slot][code] = SatCorr.range[slot][code];
      SatCorr.range[slot][code] = now;
      RTCMData::set_TimeTag(SatCorr.ulRangeTime[slot][code], static_cast<int>(t));
      std::uint16_t f = static_cast<std::uint16_t>(SatCorr.uSlotFlags[slot] & Sat::kSlotFlag);
      if (coarse != 0) f |= Sat::kCoarseScale;
      if (gnss) f |= Sat::kGnssUdre;
      if (unusable) f |= Sat::kUnusable;
      f |= static_cast<std::uint16_t>((sig.signal << Sat::kSignalShift) & Sat::kSignalMask);
      SatCorr.uSlotFlags[slot] = f;
    }
    server.Put(&id, &SatCorr);
  }
  putSourceState(sys, t);
}

void RTCM_Decoder::decodeHealth() {
  const int type = header.type;
  const int n = header.length;
  int sys = type == 33 ? kSysGlonass : kSysGps;
  int first = 0;  // data word of the first satellite
  if (type == 43) {
    if (n < 1) return;
    const int sysField = static_cast<int>(bits(1, 4));
    if (sysField < 1 || sysField > 4) return;
    sys = sysField - 1;
    first = 1;
  }
  if (header.zCount >= 6000) return;
  const std::int64_t t = get_RefMsTime(sys, header.zCount);
  const int src = get_RtcmSourceIndex(sourceTime(t), header.stationId);
  if (src < 0 || src >= RTCMData::kRtcmSources) return;
  RtcmSatCorrectionServerType& server = PVTDataInstance.rtcmSatCorrection[src];
  using Health = Sat::HealthType;
  for (int w = first; w < n; ++w) {
    const int p = 24 * w;
    int number = 0, slot = 0;
    Health h{};
    // Type 43: id, signal, validity (read past), health (2 bits), then as 5 from C/N0 on without
    // health enable; 5 and 33: reserved, id, issue-of-data link, health (3 bits), C/N0, health
    // enable, new navigation data, loss warning, time to unhealthy.
    int at = 0;
    if (type == 43) {
      number = static_cast<int>(bits(p, 6));
      Rtcm2Signal sig{0, 0, 0};
      if (!rtcm2SignalOf(sys, static_cast<int>(bits(p + 6, 4)), sig)) continue;
      slot = sig.slot;
      h.uHealth = static_cast<std::uint8_t>(bits(p + 11, 2));
      at = p + 13;
    } else {
      number = static_cast<int>(bits(p + 1, 5));
      if (number == 0 && sys == kSysGps) number = 32;
      if (bits(p + 6, 1) != 0) h.uFlags |= Health::kIodLink;
      h.uHealth = static_cast<std::uint8_t>(bits(p + 7, 3));
      at = p + 10;
    }
    h.uCn0 = static_cast<std::uint8_t>(bits(at, 5));
    if (type != 43 && bits(at + 5, 1) != 0) h.uFlags |= Health::kEnable;
    at += type == 43 ? 5 : 6;
    if (bits(at, 1) != 0) h.uFlags |= Health::kNewNavData;
    if (bits(at + 1, 1) != 0) h.uFlags |= Health::kLossWarning;
    h.uTimeToUnhealthy = static_cast<std::uint8_t>(bits(at + 2, 4));
    SvIdType id;
    if (!satId(sys, number, id)) continue;
    if (server.Take(&id, &SatCorr) == 0) SatCorr.init();
    SatCorr.set_ReadyHealthStatus(header.stationId, slot);
    SatCorr.health[slot] = h;
    RTCMData::set_TimeTag(SatCorr.ulHealthTime[slot], static_cast<int>(t));
    // An unhealthy satellite's corrections are not used until a correction message says again.
    if (h.uHealth != 0 || (h.uFlags & Health::kLossWarning) != 0) SatCorr.uSlotFlags[slot] |= Sat::kUnusable;
    server.Put(&id, &SatCorr);
  }
  putSourceState(sys, t);
}

void RTCM_Decoder::decodeText() {
  MSG_SPEC_MESSAGE m{};
  m.header = header;
  int len = 3 * header.length;
  if (len > MSG_SPEC_MESSAGE::kMaxChars) len = MSG_SPEC_MESSAGE::kMaxChars;
  int k = 0;
  for (; k < len; ++k) {
    const char c = static_cast<char>(bits(8 * k, 8));
    if (c == '\0') break;
    m.text[k] = c;
  }
  m.text[k] = '\0';
  m.length = static_cast<std::uint8_t>(k);
  if (client != nullptr) client->updateTextMessage(m, port);
}

void RTCM_Decoder::decodeRtk() {
  const int type = header.type;
  const int n = header.length;
  if (n < 1 || (n - 1) % 2 != 0 || header.zCount >= 6000) return;
  RTCM_RTK_HEAD head{};
  head.header = header;
  head.freqBits = static_cast<std::uint8_t>(bits(0, 4));
  // Within the hour: 5,999 x 600,000 us plus a 20-bit microsecond count stays below 2^32.
  const std::uint64_t us = static_cast<std::uint64_t>(header.zCount) * 600000u + bits(4, 20);
  head.time = static_cast<std::uint32_t>(us);
  head.count = static_cast<std::uint8_t>((n - 1) / 2);
  const bool v21 = (load(Set.version) & 3u) == 0;
  const bool negate = load(Set.invSign) != 0;
  int lastSys = 0;
  RTCM_RTK_PHASE ph{};
  RTCM_RTK_DEL_PHASE dp{};
  for (int k = 0; k < head.count; ++k) {
    const int p = 24 + 48 * k;
    const int multiple = static_cast<int>(bits(p, 1));
    const int pcode = static_cast<int>(bits(p + 1, 1));
    const int glo = static_cast<int>(bits(p + 2, 1));
    int id = static_cast<int>(bits(p + 3, 5));
    if (id == 0) id = 32;
    lastSys = glo;
    const int qBits = type == 19 ? 4 : type == 21 ? 5 : 3;
    const int quality = static_cast<int>(bits(p + 8, qBits));
    const int loss = static_cast<int>(bits(p + 8 + qBits, 8 - qBits));
    const std::uint8_t flags = static_cast<std::uint8_t>(glo | pcode << 1 | multiple << 2 |
                                                         quality << RTCM_RTK_HEAD::kQualityShift);
    if (type == 18 || type == 19) {
      RTCM_RTK_SAT& s = ph.sat[k];
      s.flags = flags;
      s.satId = static_cast<std::uint8_t>(id);
      s.loss = static_cast<std::uint8_t>(loss);
      if (type == 18) {
        const double cycles = static_cast<double>(sbits(p + 16, 32)) / 256.0;
        s.value = negate ? -cycles : cycles;
      } else {
        s.value = static_cast<double>(bits(p + 16, 32)) * 0.02;
      }
    } else {
      RTCM_RTK_DEL_SAT& s = dp.sat[k];
      s.flags = flags;
      s.satId = static_cast<std::uint8_t>(id);
      s.loss = static_cast<std::uint8_t>(loss);
      s.iod = static_cast<std::uint8_t>(bits(p + 16, 8));
      if (type == 20) {
        s.value = static_cast<float>(sbits(p + 24, 24) / 256.0);
      } else {
        // Scale bits: 2.1 puts the correction's first in the quality field and the rate's
        // in the first flag bit; later versions put the correction's last, the rate's first.
        const bool prcCoarse = v21 ? (quality >> 4 & 1) != 0 : (quality & 1) != 0;
        const bool rrcCoarse = v21 ? multiple != 0 : (quality >> 4 & 1) != 0;
        s.value = static_cast<float>(sbits(p + 24, 16) * (prcCoarse ? 0.32 : 0.02));
        s.rate = static_cast<float>(sbits(p + 40, 8) * (rrcCoarse ? 0.032 : 0.002));
      }
    }
  }
  const long ms = static_cast<long>(us / 1000u);
  long latency = status.latency;
  decUtilsGetLatency(ms, lastSys, latency);
  status.latency = static_cast<std::int32_t>(latency);
  decUtilsGetEpochPeriod(ms, lastSys, status.epochPeriod);
  if (client == nullptr) return;
  switch (type) {
    case 18:
      ph.head = head;
      client->updatePhase(ph, port);
      break;
    case 19: {
      RTCM_RTK_RANGE r{};
      r.head = head;
      for (int k = 0; k < head.count; ++k) r.sat[k] = ph.sat[k];
      client->updateRange(r, port);
      break;
    }
    case 20:
      dp.head = head;
      client->updateDelPhase(dp, port);
      break;
    default: {
      RTCM_RTK_DEL_RANGE r{};
      r.head = head;
      for (int k = 0; k < head.count; ++k) r.sat[k] = dp.sat[k];
      client->updateDelRange(r, port);
      break;
    }
  }
}

void RTCM_Decoder::decodeGnssOffset() {
  if (header.length < wordsFor(6 + 7 + 32)) return;
  MSG_GNSS_OFFSET m{};
  m.header = header;
  m.zCount = header.zCount;
  m.system = static_cast<std::uint8_t>(bits(0, 6));
  m.seconds = static_cast<std::int8_t>(sbits(6, 7));
  m.fraction = sbits(13, 32);
  m.offset = m.seconds + m.fraction / 4294967296.0;
  if (client != nullptr) client->updateGnssOffset(m, port);
}

void RTCM_Decoder::decodeNetwork() {
  const int n = header.length;
  if (n < 1) return;
  if (bits(0, 16) == 0x5350u) {
    const int sub = static_cast<int>(bits(16, 8));
    if (sub < 1 || sub > 4 || n < 6) return;  // X, Y, Z and their refinements fill six words
    MSG_TS_COR m{};
    m.header = header;
    m.subType = static_cast<std::uint8_t>(sub);
    m.glonass = sub == 2 || sub == 4 ? 1 : 0;
    m.x = sbits(24, 32) * 0.01 + sbits(120, 8) * (0.01 / 256.0);
    m.y = sbits(56, 32) * 0.01 + sbits(128, 8) * (0.01 / 256.0);
    m.z = sbits(88, 32) * 0.01 + sbits(136, 8) * (0.01 / 256.0);
    if (bDispVirtCor != 0)
      std::printf("%c X: %.4f, Y: %.4f Z: %.4f\r\n", m.glonass != 0 ? 'L' : 'G', m.x, m.y, m.z);
    if (client != nullptr) client->updateVirtCor(m, port);
    return;
  }
  if (bits(0, 24) != 0x416456u || n < 3) return;
  const int sub = static_cast<int>(bits(24, 5));
  if (sub != 5) return;
  MSG_FKP_COR m{};
  m.header = header;
  m.zCount = header.zCount;
  m.subType = static_cast<std::uint8_t>(sub | bits(30, 2) << 5);
  m.satMask = bits(32, 32);
  const int sats = __builtin_popcount(m.satMask);
  // Every satellite of the mask must lie within the words received.
  if (sats > kRtcmFkpMaxSats || 64 + 56 * sats > dataBits()) return;
  for (int k = 0; k < sats; ++k) {
    const int p = 64 + 56 * k;
    MSG_FKP_SAT& s = m.sat[k];
    s.iod = static_cast<std::uint8_t>(bits(p, 8));
    s.quality = static_cast<std::uint8_t>(bits(p + 12, 2));
    s.n0 = static_cast<std::int16_t>(sbits(p + 14, 10));
    s.n1 = static_cast<std::int16_t>(sbits(p + 24, 11));
    s.e0 = static_cast<std::int16_t>(sbits(p + 35, 10));
    s.e1 = static_cast<std::int16_t>(sbits(p + 45, 11));
  }
  m.count = static_cast<std::uint8_t>(sats);
  if (client != nullptr) client->updateFKPCor(m, port);
}
