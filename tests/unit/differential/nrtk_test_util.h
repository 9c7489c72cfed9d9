// Network RTK tests: a store of their own on a base buffer of their own, the decoded records the
// network decoder takes, RTCM 3 network frames built field by field from RTCM 10403.3's data-field
// table (widths, resolutions), and GLONASS slots linked to frequency channels through 1020 frames.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "differential/base/cpd_meas.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/nrtk/nrtk_store.h"
#include "differential/rtcm3/rtcm3_nrtk.h"
#include "rtcm3_test_util.h"

namespace nrtktest {

using rtcm3test::Bytes;
using rtcm3test::Field;

// A store with its 18 rings, attached to a base buffer's auxiliary record.
struct TestStore {
  CpdNrtkCorrBufImp iono[6], geom[6], res[6];
  CpdNrtk n;
  CpdAux aux;
  CpdMeasBufImp buf{3, nullptr, &aux};
  TestStore() {
    for (int i = 0; i < 6; ++i) n.iono.set(i, &iono[i]), n.geom.set(i, &geom[i]), n.res.set(i, &res[i]);
    aux.nrtk = &n;
  }
  CpdNrtkCorrBufImp& ring(char kind, int pos) { return (kind == 'i' ? iono : kind == 'g' ? geom : res)[pos]; }
  // Epochs published in the ring of `kind` ('i', 'g', 'r') at best position `pos`.
  int count(char kind, int pos) { return ring(kind, pos).count(); }
  int total(char kind) {
    int k = 0;
    for (int p = 0; p < 6; ++p) k += count(kind, p);
    return k;
  }
  // A copy of the newest published epoch of station `aux` (-1 any) at `time` (-1 any).
  std::optional<CpdNrtkCorr> find(char kind, int pos, int aux = -1, std::int32_t time = -1) {
    const CpdNrtkCorr* c = ring(kind, pos).doFind(CpdNrtkMnsId{}, aux, CpdNrtkTimeTag{time});
    if (c == nullptr) return std::nullopt;
    CpdNrtkCorr copy = *c;
    ring(kind, pos).doUnlock(c);
    return copy;
  }
};

// A base buffer that counts how its auxiliary record is taken and given back.
struct CountingBuf final : CpdMeasBuf {
  CpdMeasBufImp& in;
  int obtains = 0, releases = 0;
  explicit CountingBuf(CpdMeasBufImp& b) : CpdMeasBuf(nullptr), in(b) {}
  CpdMeas* doObtain() override { return in.doObtain(); }
  void doRelease(CpdMeas* m) override { in.doRelease(m); }
  void doReclaim(CpdMeas* m) override { in.doReclaim(m); }
  const CpdMeas* doGet() override { return in.doGet(); }
  const CpdMeas* doFind(const CpdEpochId& id) override { return in.doFind(id); }
  void doUnlock(const CpdMeas* m) override { in.doUnlock(m); }
  void doClear() override { in.doClear(); }
  CpdAux* doObtainAux() override { return ++obtains, in.doObtainAux(); }
  void doReleaseAux(CpdAux* a) override { ++releases, in.doReleaseAux(a); }
};

// ---- decoded records ------------------------------------------------------------------------------

struct Sat {
  int id, amb, sync, iod;
  double value;  // m
};

inline RTC3_NRTK_STATION station(int master, int net, int sub, int aux, double dLat = 0, double dLon = 0,
                                 double dHgt = 0) {
  RTC3_NRTK_STATION s{};
  s.networkId = static_cast<std::uint8_t>(net);
  s.subnetId = static_cast<std::uint8_t>(sub);
  s.masterId = master;
  s.auxId = aux;
  s.dLat = static_cast<float>(dLat);
  s.dLon = static_cast<float>(dLon);
  s.dHgt = static_cast<float>(dHgt);
  return s;
}

inline RTC3_NRTK_HEADER header(int master, int net, int sub, int aux, std::int32_t epochMs, bool multi, int sys,
                               int n) {
  RTC3_NRTK_HEADER h{};
  h.system = static_cast<std::uint8_t>(sys);
  h.networkId = static_cast<std::uint8_t>(net);
  h.subnetId = static_cast<std::uint8_t>(sub);
  h.satCount = static_cast<std::uint8_t>(n);
  h.multiMsg = multi ? 1 : 0;
  h.epochMs = epochMs;
  h.masterId = master;
  h.auxId = aux;
  return h;
}

inline RTC3_NRTK_IONO iono(const RTC3_NRTK_HEADER& h, const std::vector<Sat>& sats) {
  RTC3_NRTK_IONO r{};
  r.hdr = h;
  r.hdr.satCount = static_cast<std::uint8_t>(sats.size());
  for (std::size_t i = 0; i < sats.size(); ++i)
    r.sat[i] = {static_cast<std::uint8_t>(sats[i].id), static_cast<std::uint8_t>(sats[i].amb),
                static_cast<std::uint8_t>(sats[i].sync), 0, static_cast<float>(sats[i].value)};
  return r;
}

inline RTC3_NRTK_GEO geom(const RTC3_NRTK_HEADER& h, const std::vector<Sat>& sats) {
  RTC3_NRTK_GEO r{};
  r.hdr = h;
  r.hdr.satCount = static_cast<std::uint8_t>(sats.size());
  for (std::size_t i = 0; i < sats.size(); ++i)
    r.sat[i] = {static_cast<std::uint8_t>(sats[i].id), static_cast<std::uint8_t>(sats[i].amb),
                static_cast<std::uint8_t>(sats[i].sync), static_cast<std::uint8_t>(sats[i].iod),
                static_cast<float>(sats[i].value)};
  return r;
}

struct ResSat {
  int id;
  int par[5];  // s_oc, s_od, s_oh, s_ic, s_id in the message's units
};
constexpr double kResUnit[5] = {0.0005, 1e-8, 1e-7, 0.0005, 1e-8};

inline RTC3_NRTK_RES residuals(bool glonass, std::int32_t epochS, int stationId, const std::vector<ResSat>& sats) {
  RTC3_NRTK_RES r{};
  r.epoch = epochS;
  r.stationId = static_cast<std::uint16_t>(stationId);
  r.refCount = 3;
  r.satCount = static_cast<std::uint8_t>(sats.size());
  r.flags = glonass ? RTC3_NRTK_RES::kGlonass : 0;
  for (std::size_t i = 0; i < sats.size(); ++i) {
    RTC3_NRTK_RES::Sat& s = r.sat[i];
    s.satId = static_cast<std::uint8_t>(sats[i].id);
    float* v[5] = {&s.soc, &s.sod, &s.soh, &s.sic, &s.sid};
    for (int k = 0; k < 5; ++k) *v[k] = static_cast<float>(sats[i].par[k] * kResUnit[k]);
  }
  return r;
}

inline RTC3_NRTK_PHYS_REFPOS physRefPos(int nonPhys, int phys, double x, double y, double z) {
  RTC3_NRTK_PHYS_REFPOS p{};
  p.nonPhysId = static_cast<std::uint16_t>(nonPhys);
  p.physId = static_cast<std::uint16_t>(phys);
  p.x = x, p.y = y, p.z = z;
  return p;
}

// ---- frames ---------------------------------------------------------------------------------------

inline Field uns(std::int64_t v, int n) { return Field(static_cast<std::uint64_t>(v), n); }
inline Field sgn(std::int64_t v, int n) { return Field(static_cast<std::uint64_t>(v) & ((1ull << n) - 1), n); }
inline Bytes frame(const std::vector<Field>& f) { return rtcm3test::frameOf(rtcm3test::payload(f)); }

// 1005: station id, ITRF year, GPS / GLONASS / Galileo / reference-station bits, X, oscillator and
// reserved bits, Y, quarter-cycle bits, Z; coordinates in 0.1 mm, 38 bits signed.
inline Bytes msg1005(int station, std::int64_t x, std::int64_t y, std::int64_t z) {
  return frame({uns(1005, 12), uns(station, 12), uns(0, 6), uns(1, 1), uns(1, 1), uns(0, 1), uns(0, 1), sgn(x, 38),
                uns(0, 1), uns(0, 1), sgn(y, 38), uns(0, 2), sgn(z, 38)});
}
// 1014: network, subnetwork, auxiliary station count, master, auxiliary, latitude and longitude
// differences (25e-6 degrees, 20 and 21 bits), height difference (1 mm, 23 bits).
inline Bytes msg1014(int net, int sub, int master, int aux, std::int64_t dLat = 0, std::int64_t dLon = 0,
                     std::int64_t dHgt = 0) {
  return frame({uns(1014, 12), uns(net, 8), uns(sub, 4), uns(31, 5), uns(master, 12), uns(aux, 12), sgn(dLat, 20),
                sgn(dLon, 21), sgn(dHgt, 23)});
}
// 1015-1017 and 1037-1039: network, subnetwork, epoch (0.1 s; GPS 23 bits, GLONASS 20), multiple
// message bit, master, auxiliary, satellite count; per satellite id, ambiguity status,
// non-synchronous count, then geometric difference (0.5 mm, 17 bits) and issue of data,
// ionospheric difference (0.5 mm, 17 bits) as the message carries them.
struct FrameSat {
  int id, amb, sync, iod;
  std::int64_t geo, iono;  // 0.5 mm steps
};
inline Bytes msgDiff(int msg, int net, int sub, std::int64_t epoch01s, bool multi, int master, int aux,
                     const std::vector<FrameSat>& sats) {
  const bool glo = msg >= 1037;
  const int kind = msg - (glo ? 1037 : 1015);
  std::vector<Field> f = {uns(msg, 12), uns(net, 8), uns(sub, 4), uns(epoch01s, glo ? 20 : 23), uns(multi ? 1 : 0, 1),
                          uns(master, 12), uns(aux, 12), uns(static_cast<std::int64_t>(sats.size()), 4)};
  for (const FrameSat& s : sats) {
    f.insert(f.end(), {uns(s.id, 6), uns(s.amb, 2), uns(s.sync, 3)});
    if (kind != 0) f.insert(f.end(), {sgn(s.geo, 17), uns(s.iod, 8)});
    if (kind != 1) f.push_back(sgn(s.iono, 17));
  }
  return frame(f);
}
// 1030 / 1031: epoch (s; GPS 20 bits, GLONASS 17), station, reference stations used, satellite
// count; per satellite id, s_oc, s_od, s_oh, s_ic, s_id.
inline Bytes msgRes(bool glo, std::int64_t epochS, int station, const std::vector<ResSat>& sats) {
  std::vector<Field> f = {uns(glo ? 1031 : 1030, 12), uns(epochS, glo ? 17 : 20), uns(station, 12), uns(5, 7),
                          uns(static_cast<std::int64_t>(sats.size()), 5)};
  const int widths[5] = {8, 9, 6, 10, 10};
  for (const ResSat& s : sats) {
    f.push_back(uns(s.id, 6));
    for (int k = 0; k < 5; ++k) f.push_back(uns(s.par[k], widths[k]));
  }
  return frame(f);
}
// 1032: non-physical and physical station ids, ITRF year, X, Y, Z (0.1 mm, 38 bits signed).
inline Bytes msg1032(int nonPhys, int phys, std::int64_t x, std::int64_t y, std::int64_t z) {
  return frame({uns(1032, 12), uns(nonPhys, 12), uns(phys, 12), uns(0, 6), sgn(x, 38), sgn(y, 38), sgn(z, 38)});
}

// ---- GLONASS slots and channels -------------------------------------------------------------------

// Links GLONASS slot `slot` to frequency channel `channel` in the satellite data store with the
// first 1020 frame of testglo.rtcm3, its slot (6 bits at 12) and channel (5 bits at 18, +7)
// rewritten.
inline void linkGlonass(const std::vector<std::pair<int, int>>& slotChannel) {
  const Bytes d = rtcm3test::readFile(rtcm3test::recording("testglo.rtcm3"));
  Bytes payload;
  for (std::size_t i = 0; i + 6 <= d.size() && payload.empty(); ++i) {
    if (d[i] != 0xD3) continue;
    const std::size_t len = (d[i + 1] & 3u) << 8 | d[i + 2];
    if (i + len + 6 > d.size() || len < 2) continue;
    if ((d[i + 3] << 4 | d[i + 4] >> 4) == 1020) payload.assign(d.begin() + long(i + 3), d.begin() + long(i + 3 + len));
  }
  ASSERT_FALSE(payload.empty());
  const auto setBits = [&](int pos, int n, std::uint32_t v) {
    for (int k = 0; k < n; ++k) {
      const int b = pos + k;
      const auto mask = static_cast<unsigned char>(0x80u >> (b % 8));
      if ((v >> (n - 1 - k)) & 1u) payload[static_cast<std::size_t>(b / 8)] |= mask;
      else payload[static_cast<std::size_t>(b / 8)] &= static_cast<unsigned char>(~mask);
    }
  };
  rtcm3test::RecordingClient client;
  Rtcm3Dec[3].initDecoder(&client);
  NAV_Decoder drv(&Rtcm3Dec[3]);
  for (const auto& [slot, channel] : slotChannel) {
    setBits(12, 6, static_cast<std::uint32_t>(slot));
    setBits(18, 5, static_cast<std::uint32_t>(channel + 7));
    const Bytes f = rtcm3test::frameOf(payload);
    drv.putData(f.data(), static_cast<int>(f.size()), static_cast<InPorts::DecPortIndex>(3));
    ASSERT_EQ(cpdSvId(CpdSv::kGlonass, slot), channel) << "slot " << slot;
  }
}

}  // namespace nrtktest
