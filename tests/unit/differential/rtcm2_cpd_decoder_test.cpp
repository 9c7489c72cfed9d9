// The RTCM 2 base decoder on records made by hand: slots, epoch grouping and closing, the phase
// sign and its 2^23-cycle continuity, time rounding within the hour, the range copied to a phase
// without one, the station data carried into each epoch and the GPS-GLONASS offset of type 37.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "differential/base/rtcm2_cpd_decoder.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/antdb/ant_db.h"
#include "rtcm3_cpd_test_util.h"
#include "settings/rcv_settings.h"

namespace {

using rtcm3cpdtest::Base;
using rtcm3cpdtest::roverAt;

constexpr long kTow = 5 * 86400000L + 3723000;  // Friday 01:02:03 GPS
constexpr std::uint32_t kUs = static_cast<std::uint32_t>(kTow % 3600000) * 1000u;
constexpr std::uint8_t kGlo = RTCM_RTK_HEAD::kGlonass, kP = RTCM_RTK_HEAD::kPCode, kMore = RTCM_RTK_HEAD::kMultiple;

struct Sat {
  int id;
  double value;
  std::uint8_t flags = 0;
};

// One message of type 18 or 19: F (0 L1, 2 L2) in bits 3-2 of the head.
template <class Msg>
Msg msg(std::uint32_t us, int f, const std::vector<Sat>& sats) {
  Msg m{};
  m.head.freqBits = static_cast<std::uint8_t>(f << 2);
  m.head.time = us;
  m.head.count = static_cast<std::uint8_t>(sats.size());
  for (std::size_t i = 0; i < sats.size(); ++i) {
    m.sat[i].flags = sats[i].flags;
    m.sat[i].satId = static_cast<std::uint8_t>(sats[i].id);
    m.sat[i].value = sats[i].value;
  }
  return m;
}

// One step of a feed: a message kind (18 phase, 19 range), seconds after kTow, F and flags.
struct Step {
  int type;
  int sec;
  int f = 0;
  std::uint8_t flags = 0;
  double value = 1000.0;
  int sat = 5;
};

struct Rig {
  Base base;
  RtcmCpdDecoder d{&base.buf};
  explicit Rig(std::vector<int> prns = {1, 2, 3, 4, 5}) {
    SatDataProcessorInstance.init_Object();
    std::vector<CpdSv> v;
    for (int p : prns) v.push_back(CpdSv::make(CpdSv::kGps, p));
    roverAt(kTow, 15, v);
  }
  void put(const Step& s) {
    const std::uint32_t us = kUs + static_cast<std::uint32_t>(s.sec) * 1000000u;
    if (s.type == 18) d.updatePhase(msg<RTCM_RTK_PHASE>(us, s.f, {{s.sat, s.value, s.flags}}));
    if (s.type == 19) d.updateRange(msg<RTCM_RTK_RANGE>(us, s.f, {{s.sat, s.value, s.flags}}));
  }
  const std::vector<CpdMeas>& pub() const { return base.pub.epochs; }
};

const CpdSvMeas* sat(const CpdMeas& m, int prn) {
  const CpdSvMeas* e = m.find(CpdSv::make(CpdSv::kGps, prn));
  return e == m.end() ? nullptr : e;
}

TEST(Rtcm2CpdSlots, FlagsToSlot) {
  // index = P-code indicator + 2 x F
  const int want[8] = {0, 1, 6, 6, 2, 2, 6, 6};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(RtcmCpdDecoder::flags2slot(i), want[i]) << i;
  EXPECT_EQ(RtcmCpdDecoder::flags2slot(-1), 6);
  EXPECT_EQ(RtcmCpdDecoder::flags2slot(8), 6);
}

TEST(Rtcm2CpdPhase, ContinuityInWholeWraps) {
  struct Row {
    const char* name;
    double phase, prev, want;
  } rows[] = {
      {"across the wrap downwards", -8388000.0, 8388000.0, 8389216.0},
      {"across the wrap upwards", 8388000.0, -8388000.0, -8389216.0},
      {"small change kept", 1100.0, 1000.0, 1100.0},
      {"0.6 of a wrap is not a wrap", 0.6 * 8388608.0, 0.0, 0.6 * 8388608.0 - 8388608.0},
      {"0.59 of a wrap is kept", 0.59 * 8388608.0, 0.0, 0.59 * 8388608.0},
      {"two wraps and a bit", 2.1 * 8388608.0, 0.0, 0.1 * 8388608.0},
  };
  for (const Row& r : rows) EXPECT_NEAR(RtcmCpdDecoder::continuePhase(r.phase, r.prev), r.want, 1e-6) << r.name;
}

// Phases are stored with the sign turned and continued from the previous epoch of the same slot.
TEST(Rtcm2CpdPhase, SignAndContinuityThroughEpochs) {
  struct Row {
    const char* name;
    double first, second;  // message phases, cycles
    int secondF;
    double want;  // stored phase of the second epoch
  } rows[] = {
      {"sign turned", -1000.0, -1100.0, 0, 1100.0},
      {"across the 2^23 wrap", -8388000.0, 8388000.0, 0, 8389216.0},
      {"another slot starts afresh", -8388000.0, 8388000.0, 2, -8388000.0},
  };
  for (const Row& r : rows) {
    Rig g;
    const int f2 = r.secondF;
    for (const Step& s : {Step{19, 0}, Step{18, 0, 0, 0, r.first}, Step{19, 1, f2}, Step{18, 1, f2, 0, r.second},
                          Step{19, 2}})
      g.put(s);
    ASSERT_GE(g.pub().size(), 2u) << r.name;
    const CpdSvMeas* e = sat(g.pub()[1], 5);
    ASSERT_NE(e, nullptr) << r.name;
    EXPECT_DOUBLE_EQ(e->slot[f2 == 0 ? 0 : 2].phase, r.want) << r.name;
  }
}

// When an epoch closes: time rule, end-of-epoch bit, the previous epoch's kinds.
TEST(Rtcm2CpdEpochs, ClosingRules) {
  struct Row {
    const char* name;
    bool eoe, full, noFullBand;
    std::vector<Step> steps;
    std::size_t published;
    bool open;
  };
  const Row rows[] = {
      {"F = 1 opens nothing", false, true, false, {{18, 0, 1}, {19, 0, 1}}, 0, false},
      {"first epoch waits for the next", false, true, false, {{19, 0}, {18, 0}}, 0, true},
      {"first closes when the next starts", false, true, false, {{19, 0}, {18, 0}, {19, 1}}, 1, true},
      {"second closes on its own last message", false, true, false, {{19, 0}, {18, 0}, {19, 1}, {18, 1}}, 2, false},
      {"third as well", false, true, false, {{19, 0}, {18, 0}, {19, 1}, {18, 1}, {19, 2}, {18, 2}}, 3, false},
      {"more to follow keeps it open", false, true, false, {{19, 0}, {18, 0}, {19, 1}, {18, 1, 0, kMore}}, 1, true},
      {"a kind the previous lacked keeps it open", false, true, false,
       {{19, 0}, {18, 0}, {19, 1, 2}, {19, 1}, {18, 1}}, 1, true},
      {"a kind still missing keeps it open", false, true, false, {{19, 0}, {18, 0}, {19, 1}}, 1, true},
      {"time rule alone", false, false, false, {{19, 0}, {18, 0}, {19, 1}, {18, 1}}, 1, true},
      {"end of epoch closes at once", true, false, false, {{19, 0, 0, kMore}, {18, 0}}, 1, false},
      {"end of epoch with more to follow", true, false, false, {{19, 0, 0, kMore}, {18, 0, 0, kMore}}, 0, true},
      {"phase only: no band, given back", false, true, false, {{18, 0}, {18, 1}}, 0, true},
      {"phase only admitted by the setting", false, true, true, {{18, 0}, {18, 1}}, 2, false},
      {"satellite not tracked: no band", false, true, false, {{19, 0, 0, 0, 1, 9}, {18, 0, 0, 0, 1, 9}, {19, 1}}, 0, true},
  };
  for (const Row& r : rows) {
    RcvSet.rtcm2NoFullBand = r.noFullBand;
    Rig g;
    g.d.setEoe(r.eoe);
    g.d.setFull(r.full);
    for (const Step& s : r.steps) g.put(s);
    EXPECT_EQ(g.pub().size(), r.published) << r.name;
    EXPECT_EQ(g.d.epochOpen(), r.open) << r.name;
    for (std::size_t i = 0; i < g.pub().size(); ++i)
      EXPECT_EQ(g.pub()[i].id.get(), static_cast<std::int32_t>((kTow + 1000 * static_cast<long>(i)) % 3600000)) << r.name;
  }
  RcvSet.rtcm2NoFullBand = 0;
}

TEST(Rtcm2CpdEpochs, ModeBitsAndMask) {
  Rig g;
  EXPECT_EQ(g.d.mode(), RtcmCpdDecoder::kModeGlo | RtcmCpdDecoder::kModeFull);
  // A mode set to what it is already stays so: off stays off, on stays on.
  g.d.setEoe(false);
  g.d.setGlo(true);
  g.d.setFull(true);
  EXPECT_EQ(g.d.mode(), RtcmCpdDecoder::kModeGlo | RtcmCpdDecoder::kModeFull);
  g.put({19, 0, 2});
  g.put({18, 0, 0});
  // GPS seen, L2 range (band 1, kind 0), L1 phase (band 0, kind 1)
  EXPECT_EQ(g.d.mask(), (std::uint64_t{1} << 42) | (std::uint64_t{1} << 2) | (std::uint64_t{1} << 1));
  g.d.setGlo(false);
  g.d.setEoe(true);
  g.d.setFull(false);
  EXPECT_EQ(g.d.mode(), RtcmCpdDecoder::kModeEoe);
}

// Microseconds within the hour run to 3.6e9: rounding to 10 ms and the residual.
TEST(Rtcm2CpdEpochs, TimeRoundingWithinTheHour) {
  struct Row {
    std::uint32_t us;
    std::int32_t id, residual;
  } rows[] = {
      {1234567u, 1230, 4567},
      {1235000u, 1240, -5000},
      {3599994999u, 3599990, 4999},
      {3599996000u, 0, -4000},
      {3599999999u, 0, -1},
  };
  for (const Row& r : rows) {
    Rig g;
    g.d.setFull(false);
    g.d.updateRange(msg<RTCM_RTK_RANGE>(r.us, 0, {{5, 2e7}}));
    g.d.updatePhase(msg<RTCM_RTK_PHASE>(r.us, 0, {{5, 1e3}}));
    g.d.updateRange(msg<RTCM_RTK_RANGE>(r.us - 500000u, 0, {{5, 2e7}}));
    ASSERT_EQ(g.pub().size(), 1u) << r.us;
    EXPECT_EQ(g.pub()[0].id.get(), r.id) << r.us;
    EXPECT_EQ(g.pub()[0].timeResidual[CpdSv::kGps], r.residual) << r.us;
  }
}

// A phase without a range of its own borrows the first range of the satellite in slot order.
TEST(Rtcm2CpdEpochs, PhaseWithoutRangeBorrowsOne) {
  struct Row {
    const char* name;
    std::vector<Step> steps;
    int slot;
    bool has;
    double range;
  } rows[] = {
      {"L2 phase takes the C/A range", {{19, 0, 0, 0, 2.1e7}, {18, 0, 2, 0, 5.0}}, 2, true, 2.1e7},
      {"C/A before P1", {{19, 0, 0, kP, 2.2e7}, {19, 0, 0, 0, 2.1e7}, {18, 0, 2, 0, 5.0}}, 2, true, 2.1e7},
      {"own range kept", {{19, 0, 0, 0, 2.1e7}, {19, 0, 2, 0, 2.3e7}, {18, 0, 2, 0, 5.0}}, 2, true, 2.3e7},
      {"no range to take", {{19, 0, 0, 0, 2.1e7, 4}, {18, 0, 0, 0, 5.0, 4}, {18, 0, 2, 0, 5.0}}, 2, false, 0.0},
  };
  for (const Row& r : rows) {
    Rig g;
    g.d.setFull(false);
    for (const Step& s : r.steps) g.put(s);
    g.put({19, 1});
    ASSERT_EQ(g.pub().size(), 1u) << r.name;
    const CpdSvMeas* e = sat(g.pub()[0], 5);
    ASSERT_NE(e, nullptr) << r.name;
    EXPECT_EQ((e->slot[r.slot].flags & CpdMeasSlot::kRange) != 0, r.has) << r.name;
    if (r.has) { EXPECT_DOUBLE_EQ(e->slot[r.slot].range, r.range) << r.name; }
  }
}

TEST(Rtcm2CpdEpochs, CorrectionsFillTheCorrectionEpoch) {
  Rig g;
  g.d.setFull(false);
  RTCM_RTK_DEL_RANGE dr{};
  dr.head.time = kUs;
  dr.head.count = 1;
  dr.sat[0] = RTCM_RTK_DEL_SAT{0, 5, 77, 0, 1.25f, 0.0f};
  RTCM_RTK_DEL_PHASE dp{};
  dp.head = dr.head;
  dp.sat[0] = RTCM_RTK_DEL_SAT{0, 5, 77, 0, -0.5f, 0.0f};
  g.d.updateDelRange(dr);
  g.d.updateDelPhase(dp);
  g.put({19, 1});
  ASSERT_EQ(g.pub().size(), 1u);
  const CpdMeas& m = g.pub()[0];
  EXPECT_EQ(m.type, CpdMeas::kCorrections);
  const CpdSvMeas* e = sat(m, 5);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(std::tuple(e->iod, e->slot[0].range, e->slot[0].phase), std::tuple(std::uint16_t{77}, 1.25, -0.5));
}

TEST(Rtcm2CpdEpochs, GlonassIndicatorOnlyWithGloMode) {
  for (bool glo : {true, false}) {
    Rig g;
    g.d.setGlo(glo);
    g.d.setFull(false);
    g.put({19, 0, 0, kGlo});
    // Without GLONASS mode the record is a GPS satellite's; with it, no GLONASS satellite is
    // known to the store here and nothing is kept.
    g.put({18, 0, 0, kGlo});
    g.put({19, 1});
    EXPECT_EQ(g.pub().size(), glo ? 0u : 1u) << glo;
  }
}

// The station data travel with each finished epoch.
TEST(Rtcm2CpdStation, CopiedIntoEveryEpoch) {
  struct Row {
    const char* name;
    bool arp, invalidate;
    int valid, station;
  } rows[] = {
      {"L1 phase centre", false, false, 1, 12},
      {"antenna reference point", true, false, 2, 12},
      {"invalidated", true, true, 0, -1},
  };
  for (const Row& r : rows) {
    Rig g;
    g.d.setFull(false);
    g.d.updateRefPos(CpdCPos{1.0, 2.0, 3.0}, 12, r.arp);
    MSG_TS_COR v{};
    v.x = 4.0, v.y = 5.0, v.z = 6.0;
    g.d.updateVirtCor(v);
    CpdAntOffs o;
    const float off[3] = {0.1f, 0.2f, 0.3f};
    o.set(2, off);
    g.d.updateL2L1(o);
    MSG_GNSS_OFFSET t{};
    t.system = 1 << 3 | 0;
    t.offset = 0.25;
    g.d.updateGnssOffset(t);
    if (r.invalidate) g.d.invalidateRefPos();
    for (const Step& s : {Step{19, 0}, Step{18, 0}, Step{19, 1}}) g.put(s);
    ASSERT_EQ(g.pub().size(), 1u) << r.name;
    const CpdMeas& m = g.pub()[0];
    EXPECT_EQ(std::tuple(int(m.refPos.valid), m.stationId, m.status), std::tuple(r.valid, r.station, 1)) << r.name;
    EXPECT_EQ(m.sysTimeOffset[CpdSv::kGlonass], 0.25) << r.name;
    if (!r.invalidate) {
      EXPECT_EQ(std::tuple(m.refPos.x, m.virtRefPos.z, m.l2l1.type, m.l2l1.v[2]), std::tuple(1.0, 6.0, 2, 0.3f)) << r.name;
    } else {
      EXPECT_EQ(std::tuple(int(m.virtRefPos.valid), m.l2l1.type), std::tuple(0, 0)) << r.name;
    }
  }
}

// Type 37: codes a (bits 5-3) and b (bits 2-0); only the GPS-GLONASS pair is kept.
TEST(Rtcm2CpdStation, GnssOffsetPairs) {
  struct Row {
    int a, b;
    double want;
  } rows[] = {{0, 1, -0.5}, {1, 0, 0.5}, {0, 2, 0.0}, {2, 0, 0.0}, {1, 1, 0.0}, {0, 0, 0.0}};
  for (const Row& r : rows) {
    RtcmCpdDecoder d(nullptr);
    MSG_GNSS_OFFSET m{};
    m.system = static_cast<std::uint8_t>(r.a << 3 | r.b);
    m.offset = 0.5;
    d.updateGnssOffset(m);
    EXPECT_EQ(d.gnssOffset(), r.want) << r.a << "," << r.b;
  }
}

TEST(Rtcm2CpdStation, AntennaTypeFromTheDatabase) {
  const std::string known = antDataBase.at(0).id();
  struct Row {
    const char* name;
    std::string desc;
    const char* lookup;
  } rows[] = {
      {"known", known, known.c_str()},
      {"empty name", "", "NULL_REL"},
      {"unknown", "NO SUCH ANTENNA", "NO SUCH ANTENNA"},
  };
  for (const Row& r : rows) {
    Base b;
    RtcmCpdDecoder d(&b.buf);
    MSG_ANT_TYPE m{};
    std::snprintf(m.desc, sizeof m.desc, "%s", r.desc.c_str());
    d.updateAntDef(m);
    const AntDbDescr want = antDataBase.find(r.lookup);
    EXPECT_EQ(b.aux.antenna.valid(), want.valid()) << r.name;
    if (want.valid()) { EXPECT_STREQ(b.aux.antenna.id(), want.id()) << r.name; }
    d.invalidateOtherInfo();
    EXPECT_FALSE(b.aux.antenna.valid()) << r.name;
  }
}

TEST(Rtcm2CpdReset, ForgetsTheEpochsAndThePreviousPhases) {
  Rig g;
  for (const Step& s : {Step{19, 0}, Step{18, 0, 0, 0, -8388000.0}, Step{19, 1}}) g.put(s);
  ASSERT_EQ(g.pub().size(), 1u);
  EXPECT_TRUE(g.d.epochOpen());
  g.d.reset();
  EXPECT_FALSE(g.d.epochOpen());
  EXPECT_EQ(std::tuple(g.d.resets(), g.base.pub.resets, g.d.mask()), std::tuple(1, 1, std::uint64_t{0}));
  // Without a previous epoch the phase is taken as it comes.
  for (const Step& s : {Step{19, 5}, Step{18, 5, 0, 0, 8388000.0}, Step{19, 6}}) g.put(s);
  ASSERT_EQ(g.pub().size(), 2u);
  EXPECT_DOUBLE_EQ(sat(g.pub()[1], 5)->slot[0].phase, -8388000.0);
}

// Records of any content, in any order, never break the decoder.
TEST(Rtcm2CpdRandom, AnyRecords) {
  Rig g;
  std::uint32_t x = 12345;
  auto next = [&x] { return x = x * 1664525u + 1013904223u; };
  for (int i = 0; i < 3000; ++i) {
    RTCM_RTK_PHASE p{};
    p.head.freqBits = static_cast<std::uint8_t>(next() & 15);
    p.head.time = next();
    p.head.count = static_cast<std::uint8_t>(next() % 40);
    for (auto& s : p.sat) {
      s.flags = static_cast<std::uint8_t>(next());
      s.satId = static_cast<std::uint8_t>(next());
      s.value = static_cast<double>(static_cast<std::int32_t>(next())) / 256.0;
    }
    switch (next() % 4) {
      case 0: g.d.updatePhase(p); break;
      case 1: {
        RTCM_RTK_RANGE r{};
        std::memcpy(&r, &p, sizeof r);
        g.d.updateRange(r);
        break;
      }
      case 2: {
        RTCM_RTK_DEL_PHASE d{};
        d.head = p.head;
        g.d.updateDelPhase(d);
        break;
      }
      default: {
        RTCM_RTK_DEL_RANGE d{};
        d.head = p.head;
        g.d.updateDelRange(d);
        break;
      }
    }
  }
  SUCCEED();
}

}  // namespace
