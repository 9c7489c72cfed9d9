// Edges of the observation messages, built field by field from the RTCM 3 layouts, and short or
// random frames.
#include <bit>
#include <cmath>
#include <cstring>

#include "differential/rtcm3_observations.h"
#include "positioning/signal_tables.h"
#include "rtcm3_test_util.h"

namespace {

using namespace rtcm3test;

constexpr double kLightMs = 299792.458;

struct ObsClient : RecordingClient {
  std::vector<RTC3_OBS> legacy, msm;
  void updateRtkData(const RTC3_OBS& o, int) override { legacy.push_back(o); }
  void updateMsmData(const RTC3_OBS& o, int) override { msm.push_back(o); }
};

void decodeBytes(const Bytes& data, ObsClient& c) {
  RTC3_Decoder& dec = Rtcm3Dec[1];
  dec.initDecoder(&c);
  NAV_Decoder d(&dec);
  d.putData(data.data(), static_cast<int>(data.size()), static_cast<InPorts::DecPortIndex>(1));
}

// One MSM cell's fields and one satellite's.
struct MsmSat {
  int id;
  std::uint64_t intMs = 70, rough = 500;
  std::int64_t roughRate = -300;
};
struct MsmCell {
  std::int64_t pr = 1000, ph = -2000;
  std::uint64_t lock = 9, half = 0, cnr = 45;
  std::int64_t rate = 1234;
};

// An MSM of type t (1-7) with every cell of the given satellites and signals set.
Bytes msm(int msgNum, std::uint32_t time, const std::vector<MsmSat>& sats, const std::vector<int>& sigs,
          const std::vector<MsmCell>& cells = {}, std::uint64_t multi = 0) {
  const int t = (msgNum - 1071) % 10 + 1;
  const bool full = t >= 4, rate = t == 5 || t == 7, hi = t >= 6;
  std::vector<Field> f = {{static_cast<std::uint64_t>(msgNum), 12}, {1234, 12}};
  if ((msgNum - 1071) / 10 == 1) f.push_back({0, 3}), f.push_back({time, 27});
  else f.push_back({time, 30});
  for (const Field& x : {Field(multi, 1), Field(0, 3), Field(0, 7), Field(0, 2), Field(0, 2), Field(0, 1), Field(0, 3)}) f.push_back(x);
  std::uint64_t satMask = 0, sigMask = 0;
  for (const MsmSat& s : sats) satMask |= 1ull << (64 - s.id);
  for (int g : sigs) sigMask |= 1ull << (32 - g);
  f.push_back({satMask, 64});
  f.push_back({sigMask, 32});
  const std::size_t ncell = sats.size() * sigs.size();
  for (std::size_t i = 0; i < ncell; ++i) f.push_back({1, 1});
  const auto cell = [&](std::size_t i) { return i < cells.size() ? cells[i] : MsmCell{}; };
  const auto mask = [](std::int64_t v, int n) { return Field(static_cast<std::uint64_t>(v) & ((1ull << n) - 1), n); };
  if (full) for (const MsmSat& s : sats) f.push_back({s.intMs, 8});
  if (rate) for (std::size_t i = 0; i < sats.size(); ++i) f.push_back({0, 4});
  for (const MsmSat& s : sats) f.push_back({s.rough, 10});
  if (rate) for (const MsmSat& s : sats) f.push_back(mask(s.roughRate, 14));
  if (t != 2) for (std::size_t i = 0; i < ncell; ++i) f.push_back(mask(cell(i).pr, hi ? 20 : 15));
  if (t >= 2) for (std::size_t i = 0; i < ncell; ++i) f.push_back(mask(cell(i).ph, hi ? 24 : 22));
  if (t >= 2) for (std::size_t i = 0; i < ncell; ++i) f.push_back({cell(i).lock, hi ? 10 : 4});
  if (t >= 2) for (std::size_t i = 0; i < ncell; ++i) f.push_back({cell(i).half, 1});
  if (full) for (std::size_t i = 0; i < ncell; ++i) f.push_back({cell(i).cnr, hi ? 10 : 6});
  if (rate) for (std::size_t i = 0; i < ncell; ++i) f.push_back(mask(cell(i).rate, 15));
  return frameOf(payload(f));
}

// A GPS 1004 with the given satellite IDs.
Bytes legacy1004(const std::vector<int>& ids) {
  std::vector<Field> f = {{1004, 12}, {1234, 12}, {100000, 30}, {0, 1}, {ids.size(), 5}, {0, 1}, {0, 3}};
  for (int id : ids)
    for (const Field& x : {Field(id, 6), Field(0, 1), Field(1000000, 24), Field(100, 20), Field(5, 7), Field(70, 8),
                           Field(180, 8), Field(0, 2), Field(50, 14), Field(200, 20), Field(6, 7), Field(170, 8)})
      f.push_back(x);
  return frameOf(payload(f));
}

int slotOf(int id, int sys, float& off) { return getMsmSlotIdx(id, sys, true, off); }

// The signal id with a receiver slot and one without, for GPS.
std::pair<int, int> mappedAndUnmapped(int sys) {
  int mapped = 0, unmapped = 0;
  for (int id = 1; id <= 32; ++id) {
    float off = 0;
    const int s = slotOf(id, sys, off);
    if (s >= 0 && s < kRtc3MsmSlots) { if (!mapped) mapped = id; }
    else if (!unmapped) unmapped = id;
  }
  return {mapped, unmapped};
}

TEST(Rtcm3ObservationEdges, MsmRecordRules) {
  const auto [sig, noSlot] = mappedAndUnmapped(0);
  ASSERT_NE(sig, 0);
  ASSERT_NE(noSlot, 0);
  float off = 0;
  const int slot = slotOf(sig, 0, off);
  struct Row {
    const char* name;
    Bytes frame;
    int delivered;
    int numSat;
  };
  std::vector<MsmSat> nine;
  for (int i = 1; i <= 9; ++i) nine.push_back({i});
  const Row rows[] = {
      {"MSM4 without satellites", msm(1074, 1000, {}, {}), 1, 0},
      {"9 x 8 cells", msm(1074, 1000, nine, {2, 3, 4, 8, 9, 10, 15, 16}), 0, 0},
      {"8 x 8 cells", msm(1074, 1000, {nine.begin(), nine.end() - 1}, {2, 3, 4, 8, 9, 10, 15, 16}), 1, 8},
      {"unmapped signal only", msm(1077, 1000, {{5}}, {noSlot}), 1, 1},
      {"MSM1", msm(1071, 1000, {{5}}, {sig}), 1, 1},
      {"MSM2", msm(1072, 1000, {{5}}, {sig}), 1, 1},
      {"MSM3", msm(1073, 1000, {{5}}, {sig}), 1, 1},
      {"MSM5", msm(1075, 1000, {{5}}, {sig}), 1, 1},
      {"MSM6", msm(1076, 1000, {{5}}, {sig}), 1, 1},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ObsClient c;
    decodeBytes(r.frame, c);
    ASSERT_EQ(static_cast<int>(c.msm.size()), r.delivered);
    if (r.delivered) { EXPECT_EQ(c.msm[0].numSat, r.numSat); }
  }
  ObsClient c;
  decodeBytes(msm(1077, 1000, {{5}}, {noSlot}), c);
  for (const RTC3_MSM_SIG& g : c.msm.at(0).msm[0].sig) EXPECT_EQ(g.flags, 0);
  EXPECT_EQ(c.msm[0].msm[0].sat, 5);
  // The mapped signal beside it fills only its own slot.
  ObsClient both;
  decodeBytes(msm(1077, 1000, {{5}}, {sig, noSlot}), both);
  for (int k = 0; k < kRtc3MsmSlots; ++k) EXPECT_EQ(both.msm.at(0).msm[0].sig[k].flags != 0, k == slot) << k;
}

// msm3.rtcm3: every satellite of the masks is listed, the masks are kept.
TEST(Rtcm3ObservationEdges, Msm3RecordingCounts) {
  const Bytes d = readFile(recording("msm3.rtcm3"));
  ObsClient c;
  decodeBytes(d, c);
  ASSERT_EQ(c.msm.size(), 3u);
  std::size_t i = 0;
  for (const RTC3_OBS& o : c.msm) {
    // The satellite mask starts 73 bits into the payload.
    while (d[i] != 0xD3) ++i;
    std::uint64_t mask = 0;
    for (int b = 73; b < 73 + 64; ++b) mask = mask << 1 | ((d[i + 3 + b / 8] >> (7 - b % 8)) & 1u);
    EXPECT_EQ(o.numSat, std::min(std::popcount(mask), 20));
    EXPECT_EQ(o.flags & 64, 0);
    i += ((d[i + 1] & 3u) << 8 | d[i + 2]) + 6;
  }
}

// Each MSM type fills what it carries, with the units of its fields; the "not available" values
// and the 10-bit lock indicator.
TEST(Rtcm3ObservationEdges, MsmValuesAndInvalidMarkers) {
  const int sig = mappedAndUnmapped(0).first;
  float off = 0;
  const int slot = slotOf(sig, 0, off);
  struct Row {
    int msgNum;
    MsmSat sat;
    MsmCell cell;
    int flags;  // expected flags
    std::uint16_t lock;
  };
  const MsmSat ok{7, 70, 500, -300};
  const MsmSat noMs{7, 255, 500, -300};
  const MsmSat noRate{7, 70, 500, -8192};
  const MsmCell cell{};
  const MsmCell lock517{1000, -2000, 517, 1, 45, 1234};
  const Row rows[] = {
      {1071, ok, cell, kRtc3MsmRangeValid, 0},
      {1072, ok, cell, kRtc3MsmPhaseValid, 9},
      {1073, ok, cell, kRtc3MsmRangeValid | kRtc3MsmPhaseValid, 9},
      {1074, ok, cell, kRtc3MsmRangeValid | kRtc3MsmPhaseValid | kRtc3MsmCnr, 9},
      {1075, ok, cell, kRtc3MsmRangeValid | kRtc3MsmPhaseValid | kRtc3MsmCnr | kRtc3MsmRate, 9},
      {1076, ok, cell, kRtc3MsmRangeValid | kRtc3MsmPhaseValid | kRtc3MsmCnr, 9},
      {1077, ok, lock517, kRtc3MsmRangeValid | kRtc3MsmPhaseValid | kRtc3MsmCnr | kRtc3MsmRate | kRtc3MsmHalfCycle, 517},
      {1077, noMs, cell, kRtc3MsmCnr, 9},
      {1074, noMs, cell, kRtc3MsmCnr, 9},
      {1077, noRate, cell, kRtc3MsmRangeValid | kRtc3MsmPhaseValid | kRtc3MsmCnr, 9},
      {1074, ok, {-16384, -2000, 9, 0, 45, 0}, kRtc3MsmPhaseValid | kRtc3MsmCnr, 9},
      {1074, ok, {1000, -2097152, 9, 0, 45, 0}, kRtc3MsmRangeValid | kRtc3MsmCnr, 9},
      {1077, ok, {-524288, -8388608, 9, 0, 45, 1234}, kRtc3MsmCnr | kRtc3MsmRate, 9},
      {1077, ok, {1000, -2000, 9, 0, 45, -16384}, kRtc3MsmRangeValid | kRtc3MsmPhaseValid | kRtc3MsmCnr, 9},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(testing::Message() << r.msgNum << " intMs " << r.sat.intMs << " fine " << r.cell.pr << "/" << r.cell.ph);
    ObsClient c;
    decodeBytes(msm(r.msgNum, 5000, {r.sat}, {sig}, {r.cell}), c);
    ASSERT_EQ(c.msm.size(), 1u);
    const RTC3_MSM_SIG& g = c.msm[0].msm[0].sig[slot];
    EXPECT_EQ(g.flags, r.flags);
    EXPECT_EQ(g.lock, r.lock);
    const int t = r.msgNum - 1070;
    const double rough = r.sat.rough / 1024.0 * kLightMs;
    const double prUnit = t >= 6 ? std::ldexp(1.0, -29) : std::ldexp(1.0, -24);
    const double phUnit = t >= 6 ? std::ldexp(1.0, -31) : std::ldexp(1.0, -29);
    if (g.flags & kRtc3MsmRangeValid) { EXPECT_NEAR(g.pr, rough + r.cell.pr * prUnit * kLightMs, 1e-9); }
    if (g.flags & kRtc3MsmPhaseValid) { EXPECT_NEAR(g.phase, rough - off + r.cell.ph * phUnit * kLightMs, 1e-9); }
    if (g.flags & kRtc3MsmRate) { EXPECT_NEAR(g.rate, r.sat.roughRate + r.cell.rate * 0.0001, 1e-4); }
    if (g.flags & kRtc3MsmCnr) { EXPECT_EQ(g.cnr, t >= 6 ? (45 + 8) / 16 : 45); }
    EXPECT_EQ(c.msm[0].msm[0].intMs, t >= 4 ? r.sat.intMs : 0u);
    EXPECT_EQ(c.msm[0].flags & 64, t >= 4 ? 64 : 0);
  }
}

// An MSM listing 24 satellites decodes its first 20 exactly as the same message cut to 20.
TEST(Rtcm3ObservationEdges, MsmBeyondTwentySatellites) {
  const int sig = mappedAndUnmapped(0).first;
  std::vector<MsmSat> sats;
  std::vector<MsmCell> cells;
  for (int i = 1; i <= 24; ++i) {
    sats.push_back({i, static_cast<std::uint64_t>(60 + i), static_cast<std::uint64_t>(10 * i), -100 + i});
    cells.push_back({100 * i, -50 * i, static_cast<std::uint64_t>(i), 0, static_cast<std::uint64_t>(300 + i), 7 * i});
  }
  ObsClient all, cut;
  decodeBytes(msm(1077, 1000, sats, {sig}, cells), all);
  decodeBytes(msm(1077, 1000, {sats.begin(), sats.begin() + 20}, {sig}, {cells.begin(), cells.begin() + 20}), cut);
  ASSERT_EQ(all.msm.size(), 1u);
  ASSERT_EQ(cut.msm.size(), 1u);
  EXPECT_EQ(all.msm[0].numSat, 20);
  EXPECT_EQ(cut.msm[0].numSat, 20);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(std::memcmp(&all.msm[0].msm[i], &cut.msm[0].msm[i], sizeof(RTC3_MSM_SAT)), 0) << i;
}

TEST(Rtcm3ObservationEdges, LegacySatelliteRules) {
  struct Row {
    const char* name;
    std::vector<int> ids;
    std::vector<int> kept;
  };
  std::vector<int> many;
  for (int i = 1; i <= 22; ++i) many.push_back(i);
  const Row rows[] = {
      {"22 satellites give the first 20", many, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}},
      {"ID 0 and SBAS IDs dropped", {0, 3, 40, 32, 33, 63}, {3, 32}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    ObsClient c;
    decodeBytes(legacy1004(r.ids), c);
    ASSERT_EQ(c.legacy.size(), 1u);
    std::vector<int> kept;
    for (int i = 0; i < c.legacy[0].numSat; ++i) kept.push_back(c.legacy[0].legacy[i].sat);
    EXPECT_EQ(kept, r.kept);
    const RTC3_LEGACY_SAT& s = c.legacy[0].legacy[0];
    EXPECT_EQ(std::tuple(s.ambiguity, s.cnr1, s.lock1, s.cnr2, s.lock2), std::tuple(70, 180, 5, 170, 6));
    EXPECT_NEAR(s.pr1, 20000.0, 1e-9);
    EXPECT_NEAR(s.phase1, 0.05, 1e-12);
    EXPECT_NEAR(s.pr2, 1.0, 1e-12);
    EXPECT_NEAR(s.phase2, 0.1, 1e-12);
    EXPECT_EQ(c.legacy[0].flags, 64);
  }
}

// BeiDou epochs are decimated on GPS time: 986000 + 14000 ms is kept, 986500 + 14000 is not.
TEST(Rtcm3ObservationEdges, BeiDouDecimationOnGpsTime) {
  Reoutput out(RTC3_DEC_SETTINGS{1000, 5, -1, 1, 0});
  ObsClient c;
  Bytes both = msm(1124, 986000, {{3}}, {2});
  const Bytes late = msm(1124, 986500, {{3}}, {2});
  both.insert(both.end(), late.begin(), late.end());
  decodeBytes(both, c);
  EXPECT_EQ(c.msm.size(), 2u);
  ASSERT_EQ(Reoutput::frames.size(), 1u);
  EXPECT_EQ(Reoutput::frames[0], msm(1124, 986000, {{3}}, {2}));
}

std::vector<Bytes> observationFrames() {
  std::vector<Bytes> out;
  for (const char* f : {"testglo.rtcm3", "uscl00chl0.rtcm3", "msm3.rtcm3"}) {
    const Bytes d = readFile(recording(f));
    for (std::size_t i = 0; i + 6 <= d.size();) {
      if (d[i] != 0xD3) { ++i; continue; }
      const std::size_t len = (d[i + 1] & 3u) << 8 | d[i + 2];
      const int m = d[i + 3] << 4 | d[i + 4] >> 4;
      if ((m >= 1001 && m <= 1004) || (m >= 1009 && m <= 1012) || (m >= 1071 && m <= 1137 && (m - 1071) % 10 < 7))
        out.emplace_back(d.begin() + i + 3, d.begin() + i + 3 + len);
      i += len + 6;
    }
  }
  return out;
}

// Every truncation of every observation frame of the recordings (a new CRC over the shorter
// payload) delivers nothing; the whole frame delivers one record.
TEST(Rtcm3ObservationEdges, TruncatedFramesDeliverNothing) {
  const std::vector<Bytes> frames = observationFrames();
  ASSERT_GT(frames.size(), 390u);
  std::size_t cuts = 0;
  for (const Bytes& pl : frames) {
    ObsClient whole;
    decodeBytes(frameOf(pl), whole);
    ASSERT_EQ(whole.legacy.size() + whole.msm.size(), 1u);
    for (std::size_t n = 2; n < pl.size(); ++n, ++cuts) {
      ObsClient c;
      decodeBytes(frameOf(Bytes(pl.begin(), pl.begin() + static_cast<long>(n))), c);
      ASSERT_EQ(c.legacy.size() + c.msm.size(), 0u) << "message " << (pl[0] << 4 | pl[1] >> 4) << " cut to " << n;
    }
  }
  EXPECT_GT(cuts, 10000u);
}

// Random payloads in valid frames for every observation message number.
TEST(Rtcm3ObservationEdges, RandomPayloads) {
  std::mt19937 rng(52);
  std::vector<int> numbers = {1001, 1002, 1003, 1004, 1009, 1010, 1011, 1012};
  for (int m = 1071; m <= 1137; ++m)
    if ((m - 1071) % 10 < 7) numbers.push_back(m);
  int delivered = 0;
  for (int m : numbers) {
    for (int k = 0; k < 60; ++k) {
      Bytes pl(2 + rng() % (k < 30 ? 60 : 1000));
      for (unsigned char& b : pl) b = static_cast<unsigned char>(rng());
      pl[0] = static_cast<unsigned char>(m >> 4);
      pl[1] = static_cast<unsigned char>((m & 15) << 4 | (pl[1] & 15));
      ObsClient c;
      decodeBytes(frameOf(pl), c);
      for (const RTC3_OBS& o : c.legacy) EXPECT_LE(o.numSat, kRtc3ObsMaxSat);
      for (const RTC3_OBS& o : c.msm) EXPECT_LE(o.numSat, kRtc3ObsMaxSat);
      delivered += static_cast<int>(c.legacy.size() + c.msm.size());
    }
  }
  EXPECT_GT(delivered, 0);
}

// The last-MSM tables keep the type and masks per system and are cleared by a decoder's init.
TEST(Rtcm3ObservationEdges, LastMsmTables) {
  ObsClient c;
  RTC3_Decoder& dec = Rtcm3Dec[1];
  dec.initDecoder(&c);
  NAV_Decoder d(&dec);
  const Bytes f = msm(1095, 1000, {{2}, {36}}, {2, 22});
  d.putData(f.data(), static_cast<int>(f.size()), static_cast<InPorts::DecPortIndex>(1));
  int type = 0;
  std::uint64_t sats = 0;
  std::uint32_t sigs = 0;
  ASSERT_TRUE(getLastMsmInfo(2, type, sats, sigs));
  // E36 lies in the mask's low half and is kept with E02.
  EXPECT_EQ(std::tuple(type, sats, sigs), std::tuple(5, 0x4000000010000000ull, 0x40000400u));
  ASSERT_TRUE(getLastMsmInfo(0, type, sats, sigs));
  EXPECT_EQ(type, 0);
  EXPECT_FALSE(getLastMsmInfo(7, type, sats, sigs));
  dec.init();
  ASSERT_TRUE(getLastMsmInfo(2, type, sats, sigs));
  EXPECT_EQ(std::tuple(type, sats, sigs), std::tuple(0, 0ull, 0u));
}

}  // namespace
