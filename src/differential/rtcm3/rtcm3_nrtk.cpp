// The RTCM 3 network RTK messages. Each decoder reads its whole message before it hands anything
// to the client, so a frame cut short delivers nothing.
#include "differential/rtcm3_decoder.h"

namespace {
constexpr double kDegStep = 0.000025;  // aux-master latitude / longitude difference
constexpr double kPhaseStep = 0.0005;  // m, correction differences and residual constants
constexpr double kPpm001 = 1e-8;       // 0.01 ppm as a ratio
constexpr double kPpm01 = 1e-7;        // 0.1 ppm

// 38-bit two's complement in 0.1 mm, as the station reference point carries it.
double readCoord(BitReader& br) {
  const std::int32_t hi = static_cast<std::int32_t>(br.read_(32));
  const std::uint32_t lo = br.read_(6);
  return hi * 0.0064 + lo * 0.0001;
}
}  // namespace

bool RTC3_Decoder::decodeNrtkStation() {
  RTC3_NRTK_STATION s{};
  s.networkId = static_cast<std::uint8_t>(br.read_(8));
  s.subnetId = static_cast<std::uint8_t>(br.read_(4));
  s.auxCount = static_cast<std::uint8_t>(br.read_(5));
  s.masterId = static_cast<std::int32_t>(br.read_(12));
  s.auxId = static_cast<std::int32_t>(br.read_(12));
  s.dLat = static_cast<float>(br.readI(20) * kDegStep);
  s.dLon = static_cast<float>(br.readI(21) * kDegStep);
  s.dHgt = static_cast<float>(br.readI(23) * 0.001);
  if (!br.isOk()) return false;
  stationId = static_cast<std::uint16_t>(s.masterId);
  if (client != nullptr) client->updateNRTK_Station(s, port);
  return true;
}

bool RTC3_Decoder::decodeNrtkDiff(bool glonass, int kind) {
  RTC3_NRTK_HEADER h{};
  h.system = glonass ? 1 : 0;
  h.networkId = static_cast<std::uint8_t>(br.read_(8));
  h.subnetId = static_cast<std::uint8_t>(br.read_(4));
  h.epochMs = static_cast<std::int32_t>(br.read_(glonass ? 20 : 23)) * 100;
  h.multiMsg = static_cast<std::uint8_t>(br.read_(1));
  h.masterId = static_cast<std::int32_t>(br.read_(12));
  h.auxId = static_cast<std::int32_t>(br.read_(12));
  h.satCount = static_cast<std::uint8_t>(br.read_(4));
  RTC3_NRTK_IONO iono{};
  RTC3_NRTK_GEO geo{};
  iono.hdr = h;
  geo.hdr = h;
  for (int i = 0; i < h.satCount; ++i) {
    RTC3_NRTK_IONO::Sat& a = iono.sat[i];
    RTC3_NRTK_GEO::Sat& g = geo.sat[i];
    a.satId = g.satId = static_cast<std::uint8_t>(br.read_(6));
    a.ambStatus = g.ambStatus = static_cast<std::uint8_t>(br.read_(2));
    a.nonSync = g.nonSync = static_cast<std::uint8_t>(br.read_(3));
    if (kind != 0) {
      g.geo = static_cast<float>(br.readI(17) * kPhaseStep);
      g.iod = static_cast<std::uint8_t>(br.read_(8));
    }
    if (kind != 1) a.iono = static_cast<float>(br.readI(17) * kPhaseStep);
  }
  if (!br.isOk()) return false;
  stationId = static_cast<std::uint16_t>(h.masterId);
  if (client == nullptr) return true;
  if (kind != 1) client->updateNRTK_Iono(iono, port);
  if (kind != 0) client->updateNRTK_Geo(geo, port);
  return true;
}

bool RTC3_Decoder::decodeNrtkRes(bool glonass) {
  RTC3_NRTK_RES r{};
  r.epoch = static_cast<std::int32_t>(br.read_(glonass ? 17 : 20));
  r.stationId = static_cast<std::uint16_t>(br.read_(12));
  r.refCount = static_cast<std::uint8_t>(br.read_(7));
  const int n = static_cast<int>(br.read_(5));
  r.flags = glonass ? RTC3_NRTK_RES::kGlonass : 0;
  // Every entry is read so that a frame cut short is seen; the entries past the record's room
  // are dropped.
  for (int i = 0; i < n; ++i) {
    RTC3_NRTK_RES::Sat s{};
    s.satId = static_cast<std::uint8_t>(br.read_(6));
    s.soc = static_cast<float>(br.read_(8) * kPhaseStep);
    s.sod = static_cast<float>(br.read_(9) * kPpm001);
    s.soh = static_cast<float>(br.read_(6) * kPpm01);
    s.sic = static_cast<float>(br.read_(10) * kPhaseStep);
    s.sid = static_cast<float>(br.read_(10) * kPpm001);
    if (i < kNrtkMaxResSats) r.sat[i] = s;
  }
  if (!br.isOk()) return false;
  r.satCount = static_cast<std::uint8_t>(n < kNrtkMaxResSats ? n : kNrtkMaxResSats);
  stationId = r.stationId;
  if (client != nullptr) client->updateNRTK_Res(r, port);
  return true;
}

bool RTC3_Decoder::decodeNrtkPhysRefPos() {
  RTC3_NRTK_PHYS_REFPOS p{};
  p.nonPhysId = static_cast<std::uint16_t>(br.read_(12));
  p.physId = static_cast<std::uint16_t>(br.read_(12));
  p.itrf = static_cast<std::uint8_t>(br.read_(6));
  p.x = readCoord(br);
  p.y = readCoord(br);
  p.z = readCoord(br);
  if (!br.isOk()) return false;
  stationId = p.nonPhysId;
  if (client != nullptr) client->updateNRTK_PhysRefPos(p, port);
  return true;
}

bool RTC3_Decoder::decodeNrtkFkp(bool glonass) {
  RTC3_NRTK_FKP f{};
  f.stationId = static_cast<std::uint16_t>(br.read_(12));
  f.epoch = static_cast<std::int32_t>(br.read_(glonass ? 17 : 20));
  f.satCount = static_cast<std::uint8_t>(br.read_(5));
  f.system = glonass ? 1 : 0;
  // The gradients are not read: nothing uses them. A header cut short still delivers nothing.
  if (br.isOk()) {
    stationId = f.stationId;
    if (client != nullptr) client->updateNRTK_FKP(f, port);
  }
  return true;
}
