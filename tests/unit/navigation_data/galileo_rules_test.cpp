// Galileo store rules (accuracy, plausibility, signal health, group delays, almanac order and
// usability, GST-GPS) and the decoder's assembly rules, a row per rule and edge.
#include <gtest/gtest.h>

#include <random>

#include "gal_test_util.h"

using namespace galtest;

namespace {

TEST(GalileoRules, SisaAccuracy) {
  const struct {
    int sisa;
    double m;
  } rows[] = {{0, 0.0},    {1, 0.01},   {49, 0.49},  {50, 0.50},  {51, 0.52},   {74, 0.98},   {75, 1.0},
              {99, 1.96},  {100, 2.0},  {107, 3.12}, {125, 6.0},  {126, 20000}, {254, 20000}, {255, 20000}};
  for (const auto& r : rows) EXPECT_NEAR(get_GalEphemerisAccuracy(r.sisa), r.m, 1e-9) << r.sisa;
}

ZRT_EPH_GAL goodEph() {
  ZRT_EPH_GAL e{};
  e.sqrtA = 5440.6;
  e.i0 = 0.31;
  e.navTypes = 1u << kGalNavE1B;
  return e;
}

TEST(GalileoRules, Plausibility) {
  const struct {
    double sqrtA, i0;
    bool ok;
  } rows[] = {{5440.6, 0.31, true},           {kGalNominalSqrtA + 1499.9, 0.31, true},
              {kGalNominalSqrtA + 1500.1, 0.31, false}, {kGalNominalSqrtA - 1500.1, 0.31, false},
              {5440.6, 0.4099, true},         {5440.6, 0.4101, false},
              {5440.6, 0.2101, true},         {5440.6, 0.2099, false},
              {5289.4, 0.35, true},           {NAN, 0.31, false}};
  for (const auto& r : rows) {
    ZRT_EPH_GAL e = goodEph();
    e.sqrtA = r.sqrtA, e.i0 = r.i0;
    EXPECT_EQ(is_GalEphemerisPlausible(e), r.ok) << r.sqrtA << " " << r.i0;
  }
}

// Each contributing signal needs its DVS and its HS field clear; a signal that did not
// contribute does not count.
TEST(GalileoRules, SignalHealthOfContributingSignals) {
  const int e1 = 1 << kGalNavE1B, e5b = 1 << kGalNavE5b;
  const struct {
    int dataType, types, health;
    bool healthy;
  } rows[] = {
      {0, e1, 0x00, true},        {0, e1, 0x01, false},       {0, e1, 0x04, false},      {0, e1, 0x08, false},
      {0, e1, 0x0C, false},       {0, e1, 0x02, true},        {0, e1, 0x10, true},       {0, e1, 0x20, true},
      {0, e5b, 0x00, true},       {0, e5b, 0x02, false},      {0, e5b, 0x10, false},     {0, e5b, 0x20, false},
      {0, e5b, 0x01, true},       {0, e5b, 0x04, true},       {0, e1 | e5b, 0x10, false}, {0, e1 | e5b, 0x04, false},
      {0, 0, 0x20, false},        {0, 0, 0x08, false},        {0, 0, 0x00, true},        {1, 2, 0x00, true},
      {1, 2, 0x01, false},        {1, 2, 0x02, false},        {1, 2, 0x04, false},       {1, 2, 0x06, false},
  };
  for (const auto& r : rows) {
    ZRT_EPH_GAL e = goodEph();
    e.navTypes = static_cast<std::uint8_t>(r.types);
    e.health = static_cast<std::uint8_t>(r.health);
    EXPECT_EQ(is_GalEphemerisHealthy(e, r.dataType), r.healthy) << r.dataType << " " << r.types << " " << r.health;
  }
}

TEST(GalileoRules, GroupDelays) {
  ZRT_EPH_GAL e = goodEph();
  e.bgdE1E5a = 2e-9f, e.bgdE1E5b = 3e-9f;
  const double a = e.bgdE1E5a, b = e.bgdE1E5b;
  const struct {
    int dataType;
    bool preferE5a;
    bool e5aBroadcastBefore;
    double ref, e5a, e5b;
    int srcE5a, srcE5b;
  } rows[] = {
      {1, false, false, a, 1.7932702 * a, 0, 2, 0},
      {0, false, false, b, b + 0.7932702 * a, 1.7032461 * b, 1, 2},
      {0, true, false, a, 1.7932702 * a, a + 0.7032461 * b, 2, 1},
      {0, false, true, b, 7e-9, 1.7032461 * b, 2, 2},
  };
  for (const auto& r : rows) {
    float delay[6] = {};
    std::uint8_t src[6] = {};
    if (r.e5aBroadcastBefore) delay[kGalTgdE5a] = 7e-9f, src[kGalTgdE5a] = 2;
    update_GalTgd(e, r.dataType, r.preferE5a, delay, src);
    EXPECT_NEAR(delay[kGalTgdRef], r.ref, 1e-15);
    EXPECT_NEAR(delay[kGalTgdE5a], r.e5a, 1e-15);
    EXPECT_NEAR(delay[kGalTgdE5b], r.e5b, 1e-15);
    EXPECT_EQ(src[kGalTgdRef], 2);
    EXPECT_EQ(src[kGalTgdE5a], r.srcE5a);
    EXPECT_EQ(src[kGalTgdE5b], r.srcE5b);
  }
}

ZRT_ALM_GAL goodAlm(int week = 1200, int toa = 6000) {
  ZRT_ALM_GAL a{};
  a.svid = 5;
  a.week = static_cast<std::int16_t>(week);
  a.toa = toa;
  a.sqrtA = 5440.6f;
  return a;
}

TEST(GalileoRules, AlmanacUsability) {
  const struct {
    std::uint8_t health, marker, config;
    float sqrtA;
    bool usable;
  } rows[] = {{0, 0, 0, 5440.6f, true},    {63, 63, 0x80, 5440.6f, false}, {0, 0, 0x80, 5440.6f, false},
              {1, 0, 0, 5440.6f, false},   {0x10, 0, 0, 5440.6f, false},   {0, 0, 0, 3900.0f, false},
              {0, 0, 0, 6940.0f, true},    {0, 0, 0, 6941.0f, false}};
  for (const auto& r : rows) {
    ZRT_ALM_GAL a = goodAlm();
    a.health = r.health, a.marker = r.marker, a.config = r.config, a.sqrtA = r.sqrtA;
    EXPECT_EQ(is_GalAlmanacUsable(a), r.usable) << int(r.health) << " " << r.sqrtA;
  }
}

TEST(GalileoRules, AlmanacOrderAndKeptHealth) {
  const struct {
    int storedWeek, storedToa, week, toa, dataType;
    std::uint8_t storedHealth, health;
    bool taken;
    std::uint8_t health2;
  } rows[] = {
      {1200, 6000, 1200, 6000, 0, 0x00, 0x00, false, 0},     // not newer
      {1200, 6000, 1200, 5400, 0, 0x00, 0x00, false, 0},     // older
      {1200, 6000, 1200, 6600, 0, 0x30, 0x05, true, 0x35},   // I/NAV keeps E5a's bits 4-5
      {1200, 6000, 1200, 6600, 1, 0x05, 0x30, true, 0x35},   // F/NAV keeps bits 0-3
      {1200, 6000, 1201, 0, 0, 0x00, 0x00, true, 0},
      {1023, 6000, 1024, 0, 0, 0x00, 0x00, true, 0},         // 1024 is week 0 again: newer
      {2047, 6000, 0, 0, 0, 0x00, 0x00, true, 0},            // across the 1024-week cycle
      {0, 6000, 2047, 0, 0, 0x00, 0x00, false, 0},
  };
  for (const auto& r : rows) {
    ZRT_ALM_GAL stored = goodAlm(r.storedWeek, r.storedToa), in = goodAlm(r.week, r.toa), out{};
    stored.health = r.storedHealth, in.health = r.health;
    EXPECT_EQ(merge_GalAlmanac(in, r.dataType, &stored, out), r.taken) << r.week << " " << r.toa;
    if (r.taken) {
      EXPECT_EQ(out.health, r.health2);
    }
    EXPECT_TRUE(merge_GalAlmanac(in, r.dataType, nullptr, out));
  }
}

TEST(GalileoRules, AlmanacWeekFromTwoBits) {
  const struct {
    int wna, week, want;
  } rows[] = {{3, 1024, 1023}, {0, 1024, 1024}, {1, 1024, 1025}, {2, 1024, 1026}, {3, 1023, 1023},
              {0, 1023, 1024}, {1, 1023, 1021}, {2, 1023, 1022}, {3, 0, 4095},    {0, 4095, 0},
              {2, 1014, 1014}, {1, 1014, 1013}};
  for (const auto& r : rows) EXPECT_EQ(GalDataDecoder::almanacWeek(r.wna, r.week), r.want) << r.wna << " " << r.week;
}

TEST(GalileoRules, GstGpsOffset) {
  ZRT_UTC_GAL u{};
  u.A0G = 2e-9f, u.A1G = 1e-14f, u.t0G = 86400, u.WN0G = 10, u.ggtoValid = 1;
  const struct {
    int week;
    double tow, dtWeeks;
  } rows[] = {{10, 86400, 0}, {10, 90000, 0}, {11, 0, 1}, {9, 604000, -1}, {64 + 10, 86400, 0}, {63 + 64, 0, -11}};
  for (const auto& r : rows) {
    double d = 0;
    ASSERT_TRUE(get_GalGpsDifference(u, r.week, r.tow, &d));
    EXPECT_NEAR(d, double(u.A0G) + double(u.A1G) * (r.tow - 86400 + 604800 * r.dtWeeks), 1e-20) << r.week;
  }
  u.ggtoValid = 0;
  double d = 0;
  EXPECT_FALSE(get_GalGpsDifference(u, 10, 0, &d));
}

// A UTC record with a GST-GPS part gives the Galileo-GPS pair of the time-offset table.
TEST(GalileoRules, GstGpsOffsetReachesTheTimeOffsetTable) {
  auto store = std::make_unique<SatelliteDataProcessor>();
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.cycleKnown[kSysGalileo] = ep.time.cycleKnown[kSysGps] = true;
  ep.time.cycle[kSysGalileo] = ep.time.cycle[kSysGps] = 2038;
  ep.time.sec[kSysGalileo] = ep.time.sec[kSysGps] = 522000;
  store->update(ep);
  ZRT_UTC_GAL u{};
  u.dtLS = 18, u.A0G = 1e-8f, u.A1G = 1e-13f, u.t0G = 518400, u.WN0G = 54, u.ggtoValid = 1;
  ASSERT_EQ(store->update_UtcData(kSysGalileo, 0, &u), 1);
  SatDataEpochResult res;
  store->update(ep, &res);
  double m = 0;
  ASSERT_TRUE(res.deltaTime.get_DeltaTime(kSysGps, kSysGalileo, 522000000, m));
  EXPECT_NEAR(m, (double(u.A0G) + double(u.A1G) * 3600) * PosData::kSpeedOfLight, 1e-6);
}

// ---- the decoder ------------------------------------------------------------------------------

// An E01 ephemeris of the vectors' day as a RINEX record would list it.
RinexGal sample(int iod = 94, double sqrtA = 5440.62261390686, int health = 0) {
  RinexGal r;
  r.svid = 1;
  r.tocSow = 517200;
  r.v[kAf0] = -5.335176247172e-04, r.v[kAf1] = -8.08597633e-12;
  r.v[kIod] = iod, r.v[kCrs] = 98.28125, r.v[kDn] = 2.529748231311e-09, r.v[kM0] = -3.0165642165792534;
  r.v[kCuc] = 4.610046744347e-06, r.v[kE] = 1.100952504203e-04, r.v[kCus] = 1.211278140545e-05;
  r.v[kSqrtA] = sqrtA, r.v[kToe] = 517200, r.v[kCic] = -1.49e-08, r.v[kOmega0] = 2.963176816276882;
  r.v[kCis] = -3.7e-09, r.v[kI0] = 0.9898251596081055, r.v[kCrc] = 96.34375, r.v[kOmega] = 0.14027684908239377;
  r.v[kOmegaDot] = -5.110570018612e-09, r.v[kIdot] = -1.832219176426e-10, r.v[kWeek] = 1014 + 1024;
  r.v[kSisa] = 3.12, r.v[kHealth] = health, r.v[kBgdA] = -4.656613e-09, r.v[kBgdB] = -5.1e-09;
  return r;
}

struct GalDecoder : ::testing::Test {
  Harness h;
  double t = 518400;
  void sendINav(const RinexGal& r, std::initializer_list<int> order = {1, 2, 3, 4, 5}, int navType = kGalNavE1B) {
    const auto w = encodeINav(r, static_cast<std::uint32_t>(t));
    for (int k : order) h.feed(gal(r.svid), pagePair(w[static_cast<std::size_t>(k - 1)]), navType, t += 2);
  }
  void sendWord(const Bytes& w, int navType = kGalNavE1B, int svid = 1) {
    h.feed(gal(svid), pagePair(w), navType, t += 2);
  }
  const ZRT_EPH_GAL* eph(int dataType = 0) { return h.eph(gal(1), dataType, 517200); }
};

TEST_F(GalDecoder, ImplausibleSetIsReleasedAndTheNextIsTaken) {
  sendINav(sample(94, 3900.0));  // 1540.6 below the nominal sqrt(A)
  EXPECT_EQ(eph(), nullptr);
  sendINav(sample(95));
  const ZRT_EPH_GAL* e = eph();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->iodNav, 95);
}

TEST_F(GalDecoder, MixedIssueIsDiscardedWhole) {
  sendINav(sample(94), {1});
  // Word 5 takes word 1's IODnav (94); words 2-4 and 1 of a new issue make the set mixed.
  sendINav(sample(95), {5, 2, 3, 4, 1});
  EXPECT_EQ(eph(), nullptr);
  sendINav(sample(95));
  ASSERT_NE(eph(), nullptr);
  EXPECT_EQ(eph()->iodNav, 95);
}

TEST_F(GalDecoder, FirstCopyOfAWordWins) {
  const auto w = encodeINav(sample(94), 518400);
  auto other = encodeINav(sample(94, 5440.7), 518400);
  sendWord(w[0]);
  sendWord(other[0]);  // same IODnav, another sqrt(A): not taken
  for (int k = 1; k < 5; ++k) sendWord(w[static_cast<std::size_t>(k)]);
  ASSERT_NE(eph(), nullptr);
  EXPECT_NEAR(eph()->sqrtA, 5440.62261390686, 1e-6);
}

TEST_F(GalDecoder, AlertPagesAreNotDecoded) {
  const auto w = encodeINav(sample(), 518400);
  for (const Bytes& x : w) h.feed(gal(1), pagePair(x, true), kGalNavE1B, t += 2);
  EXPECT_EQ(eph(), nullptr);
  EXPECT_TRUE(h.store->get_AlertFlag(gal(1), 0));
  sendINav(sample());
  EXPECT_NE(eph(), nullptr);
  EXPECT_FALSE(h.store->get_AlertFlag(gal(1), 0));
}

TEST_F(GalDecoder, PagesOfOtherSystemsTypesOrLengthsAreDropped) {
  const auto w = encodeINav(sample(), 518400);
  const NavDecoderTime tm{0, 1000};
  const SvIdType gps{0, kSysGps, 0, 0};
  for (const Bytes& x : w) {
    const Bytes p = pagePair(x);
    GalDataDecoderInstance[0].update_Galileo(tm, p.data(), 30, gps, 0);
    GalDataDecoderInstance[0].update_Galileo(tm, p.data(), 30, gal(1), 3);
    GalDataDecoderInstance[0].update_Galileo(tm, p.data(), 29, gal(1), 0);
    GalDataDecoderInstance[0].update_Galileo(tm, nullptr, 30, gal(1), 0);
  }
  EXPECT_EQ(eph(), nullptr);
  EXPECT_EQ(h.store->get_EphUpdateCounter(kSysGalileo), 0);
}

TEST_F(GalDecoder, UsableEphemerisFeedsNeQuickAndUnhealthyDoesNot) {
  sendINav(sample());
  ASSERT_EQ(gNeQuick.size(), 1u);
  EXPECT_FLOAT_EQ(gNeQuick[0].ai[0], 0.0f);
  EXPECT_EQ(gNeQuick[0].week10, 1014);
  EXPECT_EQ(gNeQuick[0].towMs % 1000, 0u);
  sendINav(sample(96, 5440.62261390686, 2));  // E1-B HS 1: out of service
  EXPECT_EQ(gNeQuick.size(), 1u);
  ASSERT_NE(eph(), nullptr);
  EXPECT_FALSE(h.store->is_EphemerisHealthy(kSysGalileo, 0, 0, SatelliteDataProcessor::kLastStored));
}

TEST_F(GalDecoder, FitSpanIsFourHoursAndAQuarterMinute) {
  sendINav(sample());
  for (const auto& [dt, ready] : std::initializer_list<std::pair<double, bool>>{
           {0, true}, {14460, true}, {14461, false}, {-14460, true}, {-14461, false}}) {
    ASSERT_NE(h.eph(gal(1), 0, 517200), nullptr);
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysGalileo] = 517200 + dt;
    h.store->update(ep);
    EXPECT_EQ(h.store->is_EphemerisReady(kSysGalileo, 0, 0, SatelliteDataProcessor::kLastStored), ready) << dt;
  }
}

// Almanac words 7-10: IODa 5, WNa 2, t0a 862 (x600 s), the SVIDs given.
std::array<Bytes, 4> almWords(int sv1, int sv2, int sv3, int ioda = 5, bool noGgto = false) {
  std::array<Bytes, 4> w;
  for (int k = 0; k < 4; ++k) {
    w[k] = Bytes(16, 0);
    put(w[k], 0, 6, static_cast<std::uint64_t>(7 + k));
    put(w[k], 6, 4, static_cast<std::uint64_t>(ioda));
  }
  put(w[0], 10, 2, 2), put(w[0], 12, 10, 862), put(w[0], 22, 6, static_cast<std::uint64_t>(sv1));
  put(w[0], 28, 13, 12), put(w[0], 106, 16, 1000);
  put(w[1], 43, 6, static_cast<std::uint64_t>(sv2)), put(w[1], 49, 13, 20);
  put(w[2], 10, 2, 2), put(w[2], 12, 10, 862), put(w[2], 22, 16, 2000);
  put(w[2], 71, 6, static_cast<std::uint64_t>(sv3)), put(w[2], 77, 13, 30);
  put(w[3], 37, 16, 3000);
  if (noGgto) put(w[3], 86, 42, ~0ull);
  return w;
}

TEST_F(GalDecoder, AlmanacWaitsForAValidEphemeris) {
  for (const Bytes& w : almWords(2, 3, 4)) sendWord(w);
  EXPECT_EQ(h.store->get_AlmUpdateCounter(kSysGalileo), 0);
  sendINav(sample(94, 5440.62261390686, 1));  // E1-B DVS set: data not valid
  for (const Bytes& w : almWords(2, 3, 4)) sendWord(w);
  EXPECT_EQ(h.store->get_AlmUpdateCounter(kSysGalileo), 0);
  sendINav(sample(95));
  for (const Bytes& w : almWords(2, 3, 4)) sendWord(w);
  for (int sv : {2, 3, 4}) {
    const auto* a = static_cast<const ZRT_ALM_GAL*>(h.store->get_AlmLastData(kSysGalileo, sv - 1));
    ASSERT_NE(a, nullptr) << sv;
    EXPECT_EQ(a->week, 1014);
    EXPECT_EQ(a->toa, 862 * 600);
    EXPECT_EQ(a->iodA, 5);
  }
  const auto* a2 = static_cast<const ZRT_ALM_GAL*>(h.store->get_AlmLastData(kSysGalileo, 1));
  EXPECT_FLOAT_EQ(a2->sqrtA, static_cast<float>(std::sqrt(29600000.0) + 12 / 512.0));
  EXPECT_FLOAT_EQ(a2->M0, static_cast<float>(1000 / 32768.0));
}

TEST_F(GalDecoder, StalePartSpoilsOnlyItsEntryAndCollectionGoesOn) {
  sendINav(sample());
  const auto w = almWords(2, 3, 4);
  sendWord(w[0]);
  t += 101;  // word 7 is now older than 100 s
  sendWord(w[1]);
  sendWord(w[2]);
  sendWord(w[3]);
  EXPECT_EQ(h.store->get_AlmLastData(kSysGalileo, 1), nullptr);
  EXPECT_NE(h.store->get_AlmLastData(kSysGalileo, 2), nullptr);
  EXPECT_NE(h.store->get_AlmLastData(kSysGalileo, 3), nullptr);
  for (const Bytes& x : w) sendWord(x);
  EXPECT_NE(h.store->get_AlmLastData(kSysGalileo, 1), nullptr);
}

TEST_F(GalDecoder, DummyAlmanacWithExpectedSvid) {
  sendINav(sample());
  // Sub-frame 0 of the E1-B cycle: words 7, 8, 9 stand for E19, E20, E21.
  t = 1440 * 100 + 10;
  for (const Bytes& x : almWords(0, 0, 0)) sendWord(x);
  for (int sv : {19, 20, 21}) {
    const auto* a = static_cast<const ZRT_ALM_GAL*>(h.store->get_AlmLastData(kSysGalileo, sv - 1));
    ASSERT_NE(a, nullptr) << sv;
    EXPECT_EQ(a->svid, sv);
    EXPECT_EQ(a->health, 63);
    EXPECT_EQ(a->config, 0x80);
    EXPECT_EQ(a->sqrtA, 0.0f);
  }
  // E5b's cycle starts with E1 (a fresh store and decoder pool).
  Harness h2;
  for (const Bytes& x : encodeINav(sample(), 518400)) h2.feed(gal(1), pagePair(x), kGalNavE5b, t += 2);
  t = 1440 * 100 + 10;
  for (const Bytes& x : almWords(0, 0, 0)) h2.feed(gal(1), pagePair(x), kGalNavE5b, t += 2);
  for (int sv : {1, 2, 3}) {
    const auto* a = static_cast<const ZRT_ALM_GAL*>(h2.store->get_AlmLastData(kSysGalileo, sv - 1));
    ASSERT_NE(a, nullptr) << sv;
    EXPECT_EQ(a->health, 63);
  }
}

TEST_F(GalDecoder, ZeroSvidWithoutGalileoTimeWritesNothing) {
  sendINav(sample());
  for (const Bytes& x : almWords(0, 0, 0)) h.feed(gal(1), pagePair(x), kGalNavE1B, t += 2, false);
  EXPECT_EQ(h.store->get_AlmUpdateCounter(kSysGalileo), 0);
}

TEST_F(GalDecoder, ExpectedSvidTable) {
  const auto* e = GalDataDecoder::uExpectedSVID;
  EXPECT_EQ(e[0], 19);
  EXPECT_EQ(e[17], 36);
  EXPECT_EQ(e[18], 1);
  EXPECT_EQ(e[35], 18);
  for (int k = 0; k < 36; ++k) EXPECT_EQ(e[36 + k], k + 1);
}

Bytes word6(int dtLS = 18) {
  Bytes w(16, 0);
  put(w, 0, 6, 6);
  put(w, 6, 32, 1000), put(w, 62, 8, static_cast<std::uint64_t>(dtLS)), put(w, 70, 8, 120);
  put(w, 78, 8, 1014 & 255), put(w, 86, 8, 905 & 255), put(w, 94, 3, 7), put(w, 97, 8, 18);
  return w;
}

TEST_F(GalDecoder, GstGpsAllOnesDoesNotReplaceAValidOne) {
  sendINav(sample());
  sendWord(almWords(2, 3, 4)[3]);
  sendWord(word6());
  const auto* u = static_cast<const ZRT_UTC_GAL*>(h.store->get_UtcLastData(kSysGalileo));
  ASSERT_NE(u, nullptr);
  EXPECT_EQ(u->ggtoValid, 1);
  EXPECT_EQ(u->WNt, 1014);
  EXPECT_EQ(u->WN_LSF, 905);
  const std::uint16_t n = h.store->get_UtcUpdateCounter(kSysGalileo);
  sendWord(almWords(2, 3, 4, 5, true)[3]);
  sendWord(word6(19));
  EXPECT_EQ(h.store->get_UtcUpdateCounter(kSysGalileo), n);
  EXPECT_EQ(static_cast<const ZRT_UTC_GAL*>(h.store->get_UtcLastData(kSysGalileo))->dtLS, 18);
  // Without a valid one stored, a record without GST-GPS is kept with its valid byte 0.
  Harness h2;
  for (const Bytes& x : encodeINav(sample(), 518400)) h2.feed(gal(1), pagePair(x), kGalNavE1B, t += 2);
  h2.feed(gal(1), pagePair(almWords(2, 3, 4, 5, true)[3]), kGalNavE1B, t += 2);
  h2.feed(gal(1), pagePair(word6()), kGalNavE1B, t += 2);
  const auto* u2 = static_cast<const ZRT_UTC_GAL*>(h2.store->get_UtcLastData(kSysGalileo));
  ASSERT_NE(u2, nullptr);
  EXPECT_EQ(u2->ggtoValid, 0);
  EXPECT_EQ(u2->A0G, 0.0f);
}

TEST_F(GalDecoder, FNavEphemerisAndE5aHealth) {
  RinexGal r = sample();
  r.v[kHealth] = 0x10;  // E5a HS 1
  for (const Bytes& p : encodeFNav(r, 518400)) h.feed(gal(1), p, kGalNavE5a, t += 10);
  const ZRT_EPH_GAL* e = eph(1);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->health, 0x02);
  EXPECT_FALSE(h.store->is_EphemerisHealthy(kSysGalileo, 0, 1, SatelliteDataProcessor::kLastStored));
  EXPECT_FLOAT_EQ(e->bgd, e->bgdE1E5a);
}

TEST_F(GalDecoder, PoolEvictsTheOldest) {
  for (int k = 0; k < GalDataDecoder::kPoolSize; ++k) h.feed(gal(k + 1), Bytes(30, 0), kGalNavE1B, t += 1);
  GalDataDecoder* first = h.feed(gal(1), Bytes(30, 0), kGalNavE1B, t += 1);
  GalDataDecoder* taken = h.feed(gal(30), Bytes(30, 0), kGalNavE1B, t += 1);
  EXPECT_EQ(taken->get_SvId().si, 29);
  EXPECT_NE(taken, first);  // E02, the oldest, made way
  const NavDecoderTime tm{0, static_cast<std::uint32_t>(t * 1000)};
  const SvIdType e2 = gal(2);
  EXPECT_EQ(get_GalDataDecoder(&tm, &e2)->get_SvId().si, 2);  // E03 is now the oldest
}

TEST_F(GalDecoder, RandomAndTruncatedInputNeverCrashes) {
  std::mt19937 rng(26);
  sendINav(sample());
  for (int i = 0; i < 20000; ++i) {
    Bytes p(31);
    for (auto& b : p) b = static_cast<std::uint8_t>(rng());
    const int navType = static_cast<int>(rng() % 4);
    const int len = static_cast<int>(rng() % 32);
    const NavDecoderTime tm{0, static_cast<std::uint32_t>(i * 500)};
    const SvIdType sv = gal(1 + static_cast<int>(rng() % 36));
    get_GalDataDecoder(&tm, &sv)->update_Galileo(tm, p.data(), len, sv, navType, rng() % 2 ? i * 500 : -1);
  }
  SUCCEED();
}

}  // namespace
