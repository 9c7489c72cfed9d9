// Network RTK messages built from chosen field values with the data-field table of RTCM 10403.3
// (widths and resolutions), at the edges of each field.
#include "differential/rtcm3_decoder.h"
#include "rtcm3_test_util.h"

namespace {

using namespace rtcm3test;

// A signed field of n bits in two's complement.
Field sgn(std::int64_t v, int n) { return Field(static_cast<std::uint64_t>(v) & ((1ull << n) - 1), n); }

struct NrtkClient : RecordingClient {
  std::vector<RTC3_NRTK_STATION> stations;
  std::vector<RTC3_NRTK_IONO> ionos;
  std::vector<RTC3_NRTK_GEO> geos;
  std::vector<RTC3_NRTK_RES> res;
  std::vector<RTC3_NRTK_PHYS_REFPOS> phys;
  std::vector<RTC3_NRTK_FKP> fkps;
  std::string order;
  void updateNRTK_Station(const RTC3_NRTK_STATION& s, int) override { stations.push_back(s), order += "S"; }
  void updateNRTK_Iono(const RTC3_NRTK_IONO& i, int) override { ionos.push_back(i), order += "I"; }
  void updateNRTK_Geo(const RTC3_NRTK_GEO& g, int) override { geos.push_back(g), order += "G"; }
  void updateNRTK_Res(const RTC3_NRTK_RES& r, int) override { res.push_back(r), order += "R"; }
  void updateNRTK_PhysRefPos(const RTC3_NRTK_PHYS_REFPOS& p, int) override { phys.push_back(p), order += "P"; }
  void updateNRTK_FKP(const RTC3_NRTK_FKP& f, int) override { fkps.push_back(f), order += "F"; }
  std::size_t nrtk() const { return order.size(); }
};

struct Nrtk : ::testing::Test {
  NrtkClient client;
  RTC3_Decoder* dec = &Rtcm3Dec[0];
  NAV_Decoder drv{&Rtcm3Dec[0]};
  void SetUp() override { dec->initDecoder(&client); }
  void restart() { client = NrtkClient{}, dec->initDecoder(&client); }
  void feed(const Bytes& payloadBytes, int port = 2) {
    const Bytes f = frameOf(payloadBytes);
    drv.putData(f.data(), static_cast<int>(f.size()), static_cast<InPorts::DecPortIndex>(port));
  }
  const RTC3_DEC_STATUS& last() const { return client.statuses.back(); }
};

TEST_F(Nrtk, AuxiliaryStationAtTheFieldEdges) {
  struct Row { int net, sub, aux, master, auxId; std::int64_t lat, lon, hgt; };
  const Row rows[] = {
      {255, 15, 31, 4095, 0, -524288, -1048576, -4194304},
      {0, 0, 0, 0, 4095, 524287, 1048575, 4194303},
      {17, 3, 2, 100, 101, -1, 1, 0},
  };
  for (const Row& r : rows) {
    restart();
    feed(payload({{1014, 12}, {static_cast<std::uint64_t>(r.net), 8}, {static_cast<std::uint64_t>(r.sub), 4},
                  {static_cast<std::uint64_t>(r.aux), 5}, {static_cast<std::uint64_t>(r.master), 12},
                  {static_cast<std::uint64_t>(r.auxId), 12}, sgn(r.lat, 20), sgn(r.lon, 21), sgn(r.hgt, 23)}));
    ASSERT_EQ(client.stations.size(), 1u) << r.lat;
    const RTC3_NRTK_STATION& s = client.stations[0];
    EXPECT_EQ(std::tuple(int(s.networkId), int(s.subnetId), int(s.auxCount), s.masterId, s.auxId),
              std::tuple(r.net, r.sub, r.aux, r.master, r.auxId));
    EXPECT_FLOAT_EQ(s.dLat, static_cast<float>(r.lat * 0.000025));
    EXPECT_FLOAT_EQ(s.dLon, static_cast<float>(r.lon * 0.000025));
    EXPECT_FLOAT_EQ(s.dHgt, static_cast<float>(r.hgt * 0.001));
    // The decoder's station is the master's.
    EXPECT_EQ(std::tuple(last().stationId, last().quality), std::tuple(r.master, 100.0f));
  }
}

// One correction-difference message: 15 (or n) satellites with field values at the edges.
struct DiffSat { int id, amb, sync, iod; std::int64_t geo, iono; };
DiffSat diffSat(int i) {
  const std::int64_t edge[] = {-65536, 65535, 0, -1, 1};
  return {i == 0 ? 63 : i, i % 4, i % 8, 255 - i, edge[i % 5], edge[(i + 2) % 5]};
}
Bytes diffMessage(int msg, int n, std::uint64_t epoch, int master, int aux) {
  const bool glo = msg >= 1037;
  const int kind = msg - (glo ? 1037 : 1015);
  std::vector<Field> f = {{static_cast<std::uint64_t>(msg), 12}, {200, 8}, {9, 4}, {epoch, glo ? 20 : 23}, {1, 1},
                          {static_cast<std::uint64_t>(master), 12}, {static_cast<std::uint64_t>(aux), 12},
                          {static_cast<std::uint64_t>(n), 4}};
  for (int i = 0; i < n; ++i) {
    const DiffSat s = diffSat(i);
    f.insert(f.end(), {{static_cast<std::uint64_t>(s.id), 6}, {static_cast<std::uint64_t>(s.amb), 2},
                       {static_cast<std::uint64_t>(s.sync), 3}});
    if (kind != 0) f.insert(f.end(), {sgn(s.geo, 17), {static_cast<std::uint64_t>(s.iod), 8}});
    if (kind != 1) f.push_back(sgn(s.iono, 17));
  }
  return payload(f);
}

void expectHeader(const RTC3_NRTK_HEADER& h, bool glo, int n, std::uint64_t epoch, int master, int aux) {
  EXPECT_EQ(std::tuple(int(h.system), int(h.networkId), int(h.subnetId), int(h.satCount), int(h.multiMsg)),
            std::tuple(glo ? 1 : 0, 200, 9, n, 1));
  EXPECT_EQ(std::tuple(std::int64_t(h.epochMs), h.masterId, h.auxId, h.spare[0], h.spare[1]),
            std::tuple(std::int64_t(epoch) * 100, master, aux, 0, 0));
}

TEST_F(Nrtk, CorrectionDifferencesOf15Satellites) {
  struct Row { int msg; std::uint64_t epoch; int master, aux; const char* order; };
  const Row rows[] = {
      {1015, 8388607, 4095, 0, "I"}, {1016, 0, 0, 4095, "G"},  // GPS epoch: 23 bits of 0.1 s
      {1037, 1048575, 1, 2, "I"},    {1038, 12345, 77, 78, "G"},  // GLONASS: 20 bits
  };
  for (const Row& r : rows) {
    restart();
    feed(diffMessage(r.msg, 15, r.epoch, r.master, r.aux));
    ASSERT_EQ(client.order, r.order) << r.msg;
    const bool glo = r.msg >= 1037;
    const RTC3_NRTK_HEADER& h = client.ionos.empty() ? client.geos[0].hdr : client.ionos[0].hdr;
    expectHeader(h, glo, 15, r.epoch, r.master, r.aux);
    for (int i = 0; i < 15; ++i) {
      const DiffSat s = diffSat(i);
      if (!client.ionos.empty()) {
        const RTC3_NRTK_IONO::Sat& a = client.ionos[0].sat[i];
        EXPECT_EQ(std::tuple(int(a.satId), int(a.ambStatus), int(a.nonSync)), std::tuple(s.id, s.amb, s.sync)) << i;
        EXPECT_FLOAT_EQ(a.iono, static_cast<float>(s.iono * 0.0005)) << r.msg << " " << i;
      } else {
        const RTC3_NRTK_GEO::Sat& g = client.geos[0].sat[i];
        EXPECT_EQ(std::tuple(int(g.satId), int(g.ambStatus), int(g.nonSync), int(g.iod)),
                  std::tuple(s.id, s.amb, s.sync, s.iod)) << i;
        EXPECT_FLOAT_EQ(g.geo, static_cast<float>(s.geo * 0.0005)) << r.msg << " " << i;
      }
    }
    EXPECT_EQ(std::tuple(last().stationId, last().quality), std::tuple(r.master, 100.0f));
  }
}

TEST_F(Nrtk, CombinedDifferencesSplitIntoTwoRecords) {
  for (int msg : {1017, 1039}) {
    restart();
    feed(diffMessage(msg, 3, 600, 300, 301));
    ASSERT_EQ(client.order, "IG") << msg;
    expectHeader(client.ionos[0].hdr, msg == 1039, 3, 600, 300, 301);
    expectHeader(client.geos[0].hdr, msg == 1039, 3, 600, 300, 301);
    for (int i = 0; i < 3; ++i) {
      const DiffSat s = diffSat(i);
      const RTC3_NRTK_IONO::Sat& a = client.ionos[0].sat[i];
      const RTC3_NRTK_GEO::Sat& g = client.geos[0].sat[i];
      EXPECT_EQ(std::tuple(int(a.satId), int(a.ambStatus), int(a.nonSync)), std::tuple(s.id, s.amb, s.sync));
      EXPECT_EQ(std::tuple(int(g.satId), int(g.ambStatus), int(g.nonSync), int(g.iod)), std::tuple(s.id, s.amb, s.sync, s.iod));
      EXPECT_FLOAT_EQ(a.iono, static_cast<float>(s.iono * 0.0005));
      EXPECT_FLOAT_EQ(g.geo, static_cast<float>(s.geo * 0.0005));
    }
    // Entries past the count stay empty.
    EXPECT_EQ(std::tuple(int(client.ionos[0].sat[3].satId), int(client.geos[0].sat[3].satId)), std::tuple(0, 0));
  }
}

struct ResSat { int id, soc, sod, soh, sic, sid; };
ResSat resSat(int i) {
  return i % 2 ? ResSat{63, 255, 511, 63, 1023, 1023} : ResSat{i, i, 2 * i, i % 64, 3 * i, 4 * i};
}
Bytes resMessage(bool glo, int n, std::uint64_t epoch, int station, int refs) {
  std::vector<Field> f = {{glo ? 1031u : 1030u, 12}, {epoch, glo ? 17 : 20}, {static_cast<std::uint64_t>(station), 12},
                          {static_cast<std::uint64_t>(refs), 7}, {static_cast<std::uint64_t>(n), 5}};
  for (int i = 0; i < n; ++i) {
    const ResSat s = resSat(i);
    f.insert(f.end(), {{static_cast<std::uint64_t>(s.id), 6}, {static_cast<std::uint64_t>(s.soc), 8},
                       {static_cast<std::uint64_t>(s.sod), 9}, {static_cast<std::uint64_t>(s.soh), 6},
                       {static_cast<std::uint64_t>(s.sic), 10}, {static_cast<std::uint64_t>(s.sid), 10}});
  }
  return payload(f);
}

TEST_F(Nrtk, NetworkResiduals) {
  struct Row { bool glo; int n; std::uint64_t epoch; int station, refs; int kept; std::uint8_t flags; };
  const Row rows[] = {
      {false, 25, 1048575, 4095, 127, 20, 0},  // GPS epoch 20 bits; more than 20 satellites: 20 kept
      {false, 20, 0, 0, 0, 20, 0},
      {false, 31, 5, 1, 1, 20, 0},
      {true, 0, 131071, 17, 3, 0, RTC3_NRTK_RES::kGlonass},  // GLONASS epoch 17 bits; none: still delivered
      {true, 1, 9, 18, 4, 1, RTC3_NRTK_RES::kGlonass},
  };
  for (const Row& r : rows) {
    restart();
    feed(resMessage(r.glo, r.n, r.epoch, r.station, r.refs));
    ASSERT_EQ(client.order, "R") << r.n;
    const RTC3_NRTK_RES& x = client.res[0];
    EXPECT_EQ(std::tuple(std::int64_t(x.epoch), int(x.stationId), int(x.refCount), int(x.satCount), x.flags),
              std::tuple(std::int64_t(r.epoch), r.station, r.refs, r.kept, r.flags));
    for (int i = 0; i < r.kept; ++i) {
      const ResSat s = resSat(i);
      const RTC3_NRTK_RES::Sat& g = x.sat[i];
      EXPECT_EQ(int(g.satId), s.id);
      EXPECT_FLOAT_EQ(g.soc, static_cast<float>(s.soc * 0.0005)) << i;
      EXPECT_FLOAT_EQ(g.sod, static_cast<float>(s.sod * 0.01e-6)) << i;
      EXPECT_FLOAT_EQ(g.soh, static_cast<float>(s.soh * 0.1e-6)) << i;
      EXPECT_FLOAT_EQ(g.sic, static_cast<float>(s.sic * 0.0005)) << i;
      EXPECT_FLOAT_EQ(g.sid, static_cast<float>(s.sid * 0.01e-6)) << i;
    }
    EXPECT_EQ(last().quality, 100.0f);
  }
}

// The physical station at the point of the standard's 1005 example (0.1 mm units), and the field's ends.
TEST_F(Nrtk, PhysicalReferenceStation) {
  struct Row { int nonPhys, phys, itrf; std::int64_t x, y, z; };
  const Row rows[] = {
      {2003, 4095, 63, 11141045999, -48507297108, 39755214643},
      {4095, 0, 0, (1ll << 37) - 1, -(1ll << 37), 0},
  };
  for (const Row& r : rows) {
    restart();
    feed(payload({{1032, 12}, {static_cast<std::uint64_t>(r.nonPhys), 12}, {static_cast<std::uint64_t>(r.phys), 12},
                  {static_cast<std::uint64_t>(r.itrf), 6}, sgn(r.x, 38), sgn(r.y, 38), sgn(r.z, 38)}));
    ASSERT_EQ(client.order, "P");
    const RTC3_NRTK_PHYS_REFPOS& p = client.phys[0];
    EXPECT_EQ(std::tuple(int(p.nonPhysId), int(p.physId), int(p.itrf)), std::tuple(r.nonPhys, r.phys, r.itrf));
    for (const auto& [got, want] : {std::pair(p.x, r.x), {p.y, r.y}, {p.z, r.z}}) EXPECT_NEAR(got, want * 0.0001, 1e-6);
    EXPECT_EQ(last().stationId, r.nonPhys);
  }
}

TEST_F(Nrtk, FkpCountedAsSuccessHeaderOnly) {
  struct Row { int msg; std::uint64_t epoch; int station, n; int extraBits; };
  const Row rows[] = {{1034, 1048575, 4095, 31, 400}, {1035, 131071, 0, 0, 0}, {1034, 0, 7, 5, 13}};
  for (const Row& r : rows) {
    restart();
    feed(payload({{static_cast<std::uint64_t>(r.msg), 12}, {static_cast<std::uint64_t>(r.station), 12},
                  {r.epoch, r.msg == 1035 ? 17 : 20}, {static_cast<std::uint64_t>(r.n), 5},
                  {0x5A5A5A5Aull, r.extraBits > 32 ? 32 : r.extraBits}, {0, r.extraBits > 32 ? r.extraBits - 32 : 0}}));
    ASSERT_EQ(client.order, "F") << r.msg;
    const RTC3_NRTK_FKP& f = client.fkps[0];
    EXPECT_EQ(std::tuple(std::int64_t(f.epoch), int(f.stationId), int(f.satCount), int(f.system)),
              std::tuple(std::int64_t(r.epoch), r.station, r.n, r.msg == 1035 ? 1 : 0));
    EXPECT_EQ(std::tuple(last().quality, last().goodFrames), std::tuple(100.0f, 1));
  }
}

// Every message cut anywhere short of its last field delivers nothing and counts a failed message.
TEST_F(Nrtk, EveryTruncationDeliversNothing) {
  const Bytes messages[] = {
      payload({{1014, 12}, {1, 8}, {1, 4}, {1, 5}, {1, 12}, {2, 12}, sgn(-5, 20), sgn(5, 21), sgn(-7, 23)}),
      diffMessage(1015, 15, 1, 2, 3), diffMessage(1016, 4, 1, 2, 3), diffMessage(1017, 3, 1, 2, 3),
      diffMessage(1037, 2, 1, 2, 3),  diffMessage(1038, 1, 1, 2, 3), diffMessage(1039, 15, 1, 2, 3),
      resMessage(false, 25, 3, 4, 5),  resMessage(true, 2, 3, 4, 5),
      payload({{1032, 12}, {1, 12}, {2, 12}, {3, 6}, sgn(1, 38), sgn(-1, 38), sgn(7, 38)}),
      payload({{1034, 12}, {1, 12}, {2, 20}, {3, 5}}), payload({{1035, 12}, {1, 12}, {2, 17}, {3, 5}}),
  };
  for (const Bytes& m : messages) {
    restart();
    feed(m);
    const int msg = m[0] << 4 | m[1] >> 4;
    ASSERT_EQ(client.nrtk(), msg == 1017 || msg == 1039 ? 2u : 1u) << msg;
    for (std::size_t len = 2; len < m.size(); ++len) {
      restart();
      feed(Bytes(m.begin(), m.begin() + static_cast<long>(len)));
      EXPECT_EQ(client.nrtk(), 0u) << len << " of " << m.size();
      ASSERT_EQ(client.statuses.size(), 1u);
      EXPECT_LT(last().quality, 100.0f) << len;
    }
  }
}

// Random field contents under every network message number, and random frame lengths: the records
// never hold more entries than they have room for (the sanitizers watch the rest).
TEST_F(Nrtk, RandomPayloads) {
  std::mt19937 rng(53);
  const int msgs[] = {1014, 1015, 1016, 1017, 1030, 1031, 1032, 1034, 1035, 1037, 1038, 1039};
  for (int k = 0; k < 3000; ++k) {
    Bytes p(1 + rng() % 200);
    for (unsigned char& b : p) b = static_cast<unsigned char>(rng());
    const int msg = msgs[k % 12];
    p[0] = static_cast<unsigned char>(msg >> 4);
    if (p.size() > 1) p[1] = static_cast<unsigned char>((msg & 15) << 4 | (p[1] & 15));
    feed(p);
  }
  for (const RTC3_NRTK_IONO& i : client.ionos) EXPECT_LE(i.hdr.satCount, 15);
  for (const RTC3_NRTK_RES& r : client.res) EXPECT_LE(r.satCount, 20);
  EXPECT_GT(client.nrtk(), 100u);
  EXPECT_EQ(last().goodFrames, 3000);
}

}  // namespace
