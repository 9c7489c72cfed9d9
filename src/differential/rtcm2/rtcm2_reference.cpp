// The RTCM 2 reference-station messages (3, 32, 22, 23, 24) and the rule that picks which of
// them describe the point the base's observations refer to: the L1 phase centre (3 or 32 with
// 22) or the antenna reference point (23 with 24).
#include <atomic>

#include "differential/rtcm2/rtcm2_decoder.h"
#include "navigation_data/sv_id.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "platform/mono_clock.h"

namespace {
constexpr std::uint8_t kBothSeen = RTCM_Decoder::kSeen23 | RTCM_Decoder::kSeen24;

std::uint32_t refSource() {
  return std::atomic_ref<std::uint32_t>(RTCM_Decoder::Set.refSource).load(std::memory_order_relaxed);
}
}  // namespace

bool RTCM_Decoder::refSourceAllows(int type, bool completesPair, bool arpBits) const {
  const std::uint32_t s = refSource();
  switch (type) {
    case 22:
      if (s == kL1pc) return true;
      return s == kAuto && !arpBits && (refSeen & kBothSeen) != kBothSeen;
    case 23:
    case 24:
      if (completesPair) return s == kArp || s == kAuto;
      return s == kArp || refRefined == 0 || (s == kAuto && arpKnown != 0);
    default:  // 3, 32
      return s == kL1pc || refRefined == 0 || (s == kAuto && arpKnown == 0);
  }
}

void RTCM_Decoder::decodeRefCoord() {
  if (header.length < 4) return;  // X, Y and Z take 96 bits
  MSG_REF_PARAMS m{};
  m.header = header;
  m.glonass = header.type == 32 ? 1 : 0;
  m.x = sbits(0, 32) * 0.01;
  m.y = sbits(32, 32) * 0.01;
  m.z = sbits(64, 32) * 0.01;
  const int sys = m.glonass != 0 ? kSysGlonass : kSysGps;
  const std::int64_t t = get_RefMsTime(sys, header.zCount);
  const std::uint32_t when = t >= 0 ? static_cast<std::uint32_t>(t) : MonoClock::sec() * 1000u;
  const int src = get_RtcmSourceIndex(when, header.stationId);
  if (src >= 0 && src < RTCMData::kRtcmSources) {
    RtcmStationDataServerType& server = PVTDataInstance.rtcmStationData[src];
    if (server.Take(&StationData) == 0) StationData.init();
    StationData.set_ReadyCoordinate(header.stationId);
    StationData.dPos[0] = m.x;
    StationData.dPos[1] = m.y;
    StationData.dPos[2] = m.z;
    StationData.uSystem = static_cast<std::uint8_t>(sys);
    RTCMData::set_TimeTag(StationData.ulCoordinateTime, static_cast<int>(t));
    server.Put(&StationData);
  }
  if (client != nullptr && refSourceAllows(header.type, false, false)) client->updateRefCoord(m, port);
}

void RTCM_Decoder::decodeExtRef() {
  const int n = header.length;
  if (n < 1 || n > 3) return;
  MSG_EXTREF_PARAMS m{};
  m.header = header;
  m.words = static_cast<std::uint8_t>(n);
  // 1/256 cm (L1); the L2 corrections in 1/16 cm.
  for (int k = 0; k < 3; ++k) m.dL1[k] = static_cast<float>(sbits(8 * k, 8) / 25600.0);
  if (n >= 2) {
    m.flags = static_cast<std::uint8_t>(bits(24, 6));
    m.hasHeight = (m.flags & MSG_EXTREF_PARAMS::kNoHeight) == 0 ? 1 : 0;
    if (m.hasHeight != 0) m.antHeight = static_cast<float>(bits(30, 18) / 25600.0);
  }
  if (n == 3) {
    m.hasL2 = 1;
    for (int k = 0; k < 3; ++k) m.dL2[k] = static_cast<float>(sbits(48 + 8 * k, 8) / 1600.0);
  }
  const bool arpBits = (m.flags & MSG_EXTREF_PARAMS::kArpBits) == MSG_EXTREF_PARAMS::kArpBits;
  const bool deliver = refSourceAllows(22, false, arpBits);
  refRefined = 1;
  if (arpBits) arpKnown = 1;
  if (client != nullptr && deliver) client->updateExtRefCoord(m, port);
}

void RTCM_Decoder::decodeAntDef() {
  const int limit = dataBits();
  if (limit < 8) return;
  MSG_ANT_TYPE m{};
  m.header = header;
  m.arp = static_cast<std::uint8_t>(bits(1, 1));
  const bool serial = bits(2, 1) != 0;
  const int nad = static_cast<int>(bits(3, 5));
  int p = 8;
  // Descriptor, set-up id, then (when flagged) the serial number: all within the words sent.
  if (p + 8 * nad + 8 > limit) return;
  for (int k = 0; k < nad; ++k, p += 8) m.desc[k] = static_cast<char>(bits(p, 8));
  m.descLen = static_cast<std::uint8_t>(nad);
  m.setupId = static_cast<std::uint8_t>(bits(p, 8));
  p += 8;
  if (serial) {
    if (p + 8 > limit) return;
    const int nas = static_cast<int>(bits(p + 3, 5));
    p += 8;
    if (p + 8 * nas > limit) return;
    for (int k = 0; k < nas; ++k, p += 8) m.serial[k] = static_cast<char>(bits(p, 8));
    m.serialLen = static_cast<std::uint8_t>(nas);
  }
  const bool completes = (refSeen & kBothSeen) == kSeen24;
  refSeen |= kSeen23;
  if (completes) arpKnown = refRefined = 1;
  if (client != nullptr && refSourceAllows(23, completes, false)) client->updateAntDef(m, port);
}

void RTCM_Decoder::decodeArpPar() {
  if (header.length < 5) return;
  MSG_ARP_PAR m{};
  m.header = header;
  auto coord = [&](int p) {
    const std::int64_t hi = sbits(p, 6);
    const std::int64_t v = static_cast<std::int64_t>(static_cast<std::uint64_t>(hi) << 32 | bits(p + 6, 32));
    return static_cast<double>(v) * 0.0001;
  };
  m.x = coord(0);
  m.y = coord(40);
  m.z = coord(80);
  m.glonass = static_cast<std::uint8_t>(bits(118, 1));
  m.hasHeight = static_cast<std::uint8_t>(bits(119, 1));
  if (m.hasHeight != 0) {
    if (header.length < 6) return;  // the height is the sixth word
    m.antHeight = bits(120, 18) * 0.0001;
  }
  const bool completes = (refSeen & kBothSeen) == kSeen23;
  refSeen |= kSeen24;
  if (completes) arpKnown = refRefined = 1;
  if (client != nullptr && refSourceAllows(24, completes, false)) client->updateArpPar(m, port);
}
