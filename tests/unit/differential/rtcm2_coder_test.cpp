// The RTCM 2 coder seen from outside: records in, bytes out, read back by the independent reader
// of rtcm2_coder_test_util.h (six-of-eight bytes, IS-GPS-200 parity written out in the test).
#include "differential/rtcm2/rtcm2_coder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "rtcm2_coder_test_util.h"

namespace {

using namespace coder2test;

struct Fixture {
  FakeSource src;
  NAVCOD_DIF_DATA dif{};
  NAVCOD_RTK_DATA rtk{};
  NAVCOD_IONO_DATA ion{};
  RTCM_Coder coder{&src};
  std::uint8_t out[RTCM_Coder::kMaxOut];
  int seq = 0;
  std::uint32_t parity = 0;
  Reader reader;
  Fixture() {
    src.dif = &dif, src.rtk = &rtk, src.ion = &ion;
    dif.bReady = rtk.bReady = ion.bReady = 1;
    src.gps = 3 * 3600000L + 249600;  // Z-count 416
    src.glo = src.gps;
    RTCM_COD_SETTINGS s = coder.settings();
    s.stationId = 268;
    coder.setSettings(s);
  }
  void addCorr(int sys, int number, float prc, float rrc, float sigma = 0.5f, int iod = 7) {
    NAVCOD_DIF_SV& v = dif.sat[dif.uSatCount++];
    v.uSystem = static_cast<std::uint8_t>(sys), v.uNumber = static_cast<std::uint8_t>(number);
    v.uIssue = static_cast<std::uint8_t>(iod), v.uMask = 1;
    v.sig[0] = {prc, rrc, sigma};
  }
  std::vector<Msg> build(int kind, int port = 1, bool combined = false, int* bytes = nullptr) {
    const int n = coder.buildMessage(kind, out, seq, parity, port, combined);
    if (bytes) *bytes = n;
    return reader.read(out, n);
  }
  std::vector<Msg> code(std::initializer_list<int> enable, int kind, bool combined = false) {
    enableOnly(coder, enable);
    coder.makeCoding();
    return build(kind, 1, combined);
  }
};

// ---- Words, header, sequence, parity -------------------------------------------------------

TEST(Rtcm2Coder, HeaderCarriesTypeStationZCountSequenceAndHealth) {
  constexpr int kNothing = -2;  // no message goes out
  struct Row {
    const char* name;
    int kind, type;
    long gpsMs, gloMs;
    int station, health, wantStation, wantZ;
  };
  const Row rows[] = {
      {"null frame, GPS time", kRtcmMsg6, 6, 249600, 0, 268, 5, 268, 416},
      {"null frame in the GLONASS form takes GLONASS time", kRtcmMsgNull34, 34, 0, 10800000L + 600, 1, 0, 1, 1},
      {"z-count is the time in the hour", kRtcmMsg6, 6, 7 * 3600000L + 3599999, 0, 1023, 7, 1023, 5999},
      {"no station id set goes out as 0", kRtcmMsg6, 6, 0, 0, -1, 0, 0, 0},
      // An id the 10-bit field cannot hold sends nothing rather than a cut id.
      {"station id 1024 sends nothing", kRtcmMsg6, 6, 0, 0, 1024, 0, kNothing, 0},
      {"station id 1234 sends nothing", kRtcmMsg6, 6, 0, 0, 1234, 0, kNothing, 0},
      {"station id 4095 sends nothing", kRtcmMsgNull34, 34, 0, 10800000L, 4095, 0, kNothing, 0},
  };
  for (const Row& r : rows) {
    Fixture f;
    RTCM_COD_SETTINGS s = f.coder.settings();
    s.stationId = static_cast<std::int16_t>(r.station);
    s.health = static_cast<std::uint8_t>(r.health);
    f.coder.setSettings(s);
    f.src.gps = r.gpsMs, f.src.glo = r.gloMs;
    const auto m = f.code({r.kind}, r.kind);
    if (r.wantStation == kNothing) {
      EXPECT_TRUE(m.empty()) << r.name;
      EXPECT_FALSE(f.coder.enabled(r.kind)) << r.name;
      continue;
    }
    ASSERT_EQ(m.size(), 1u) << r.name;
    EXPECT_EQ(m[0].type, r.type) << r.name;
    EXPECT_EQ(m[0].station, r.wantStation) << r.name;
    EXPECT_EQ(m[0].z, r.wantZ) << r.name;
    EXPECT_EQ(m[0].health, r.health & 7) << r.name;
    EXPECT_EQ(m[0].n, 0) << r.name;
    EXPECT_EQ(f.reader.bad, 0) << r.name;
  }
}

TEST(Rtcm2Coder, SequenceWrapsFromSevenToZeroAndParityChainsAcrossCalls) {
  Fixture f;
  enableOnly(f.coder, {kRtcmMsg6, kRtcmMsg16});
  RTCM_COD_SETTINGS s = f.coder.settings();
  std::strcpy(s.text16, "ABCDE");
  s.len16 = 5;
  f.coder.setSettings(s);
  f.coder.makeCoding();
  f.seq = 5;
  std::vector<int> seqs;
  for (int i = 0; i < 12; ++i) {
    // Alternating kinds: one stream's chain runs through both.
    for (const Msg& m : f.build(i % 2 ? kRtcmMsg16 : kRtcmMsg6)) seqs.push_back(m.seq);
  }
  const std::vector<int> want = {5, 6, 7, 0, 1, 2, 3, 4, 5, 6, 7, 0};
  EXPECT_EQ(seqs, want);
  EXPECT_EQ(f.seq, 1);
  EXPECT_EQ(f.reader.bad, 0) << "every word of every call checks against the previous call's D29*, D30*";
}

TEST(Rtcm2Coder, ABrokenParityChainIsSeen) {
  // The reader is a real check: a stream state that is not handed back breaks the next word.
  Fixture f;
  f.code({kRtcmMsg6}, kRtcmMsg6);
  int bad = 0;
  for (int i = 0; i < 8 && bad == 0; ++i) {
    std::uint32_t fresh = f.parity ^ 1u;
    int seq = 0;
    const int n = f.coder.buildMessage(kRtcmMsg6, f.out, seq, fresh, 1, false);
    f.reader.read(f.out, n);
    bad = f.reader.bad;
    f.parity = fresh;
  }
  EXPECT_GT(bad, 0);
}

TEST(Rtcm2Coder, TerminatorFollowsEachMessageWhenSwitchedOn) {
  struct Row {
    const char* name;
    std::uint8_t on, t0, t1;
    int extra;
  };
  const Row rows[] = {{"off", 0, '\r', '\n', 0}, {"on, CR LF", 1, '\r', '\n', 2}, {"255 is skipped", 1, 255, '\n', 1},
                      {"both skipped", 1, 255, 255, 0}};
  for (const Row& r : rows) {
    Fixture f;
    RTCM_COD_SETTINGS s = f.coder.settings();
    s.termOn = r.on, s.term[0] = r.t0, s.term[1] = r.t1;
    f.coder.setSettings(s);
    enableOnly(f.coder, {kRtcmMsg6});
    f.coder.makeCoding();
    const int n = f.coder.buildMessage(kRtcmMsg6, f.out, f.seq, f.parity, 1, false);
    EXPECT_EQ(n, 10 + r.extra) << r.name;
    if (r.extra > 0) { EXPECT_EQ(f.out[n - 1], r.t1 == 255 ? r.t0 : r.t1) << r.name; }
  }
}

TEST(Rtcm2Coder, NothingIsBuiltUnarmedDisabledOutOfRangeOrWithoutTime) {
  struct Row {
    const char* name;
    int kind;
    bool arm, enable, time;
  };
  const Row rows[] = {{"not armed", kRtcmMsg6, false, true, true},   {"not enabled", kRtcmMsg6, true, false, true},
                      {"unused kind 1", 1, true, true, true},         {"unused kind 3", 3, true, true, true},
                      {"kind beyond 22", 23, true, true, true},       {"kind below 0", -1, true, true, true},
                      {"no valid time", kRtcmMsg6, true, true, false}};
  for (const Row& r : rows) {
    Fixture f;
    f.src.gpsOk = r.time;
    bool flags[kRtcmMsgCount] = {};
    if (r.enable && r.kind >= 0 && r.kind < kRtcmMsgCount) flags[r.kind] = true;
    f.coder.initCoding(flags);
    if (r.arm) f.coder.makeCoding();
    EXPECT_EQ(f.coder.buildMessage(r.kind, f.out, f.seq, f.parity, 1, false), 0) << r.name;
    EXPECT_EQ(f.seq, 0) << r.name << ": the sequence stays";
  }
}

TEST(Rtcm2Coder, DataNeedMaskFollowsTheEnabledKinds) {
  struct Row {
    int kind, need;
  };
  const Row rows[] = {{kRtcmMsg18, 1}, {kRtcmMsg19, 1},  {kRtcmMsg20, 2},  {kRtcmMsg21, 2},  {kRtcmMsg1, 4},
                      {kRtcmMsg9, 4},  {kRtcmMsg31, 4},  {kRtcmMsg34, 4},  {kRtcmMsg41, 4},  {kRtcmMsg42, 4},
                      {kRtcmMsg15, 16}, {kRtcmMsg3, 0},  {kRtcmMsg6, 0},   {kRtcmMsg16, 0},  {kRtcmMsg22, 0},
                      {kRtcmMsg44, 0}, {kRtcmMsgNull34, 0}};
  for (const Row& r : rows) {
    Fixture f;
    bool flags[kRtcmMsgCount] = {};
    flags[r.kind] = true;
    EXPECT_EQ(f.coder.initCoding(flags), r.need) << "kind " << r.kind;
  }
  Fixture f;
  bool all[kRtcmMsgCount];
  for (bool& b : all) b = true;
  EXPECT_EQ(f.coder.initCoding(all), 1 | 2 | 4 | 16);
}

TEST(Rtcm2Coder, MissingDataDisablesItsKindsForTheEpoch) {
  struct Row {
    const char* name;
    int kind;
    int missing;  // 0 rtk, 1 dif, 2 ref GPS, 3 ref GLONASS, 4 iono
  };
  const Row rows[] = {{"18 without RTK data", kRtcmMsg18, 0}, {"21 without RTK data", kRtcmMsg21, 0},
                      {"1 without corrections", kRtcmMsg1, 1}, {"42 without corrections", kRtcmMsg42, 1},
                      {"3 without reference", kRtcmMsg3, 2},   {"24 without reference", kRtcmMsg24, 2},
                      {"32 without GLONASS reference", kRtcmMsg32, 3}, {"15 without ionosphere", kRtcmMsg15, 4}};
  for (const Row& r : rows) {
    Fixture f;
    f.addCorr(kSysGps, 5, 1.0f, 0.01f);
    f.rtk.bValid[0] = 1;
    f.rtk.uCountRtcm2[0] = 1;
    f.rtk.uSatCount = 1;
    f.rtk.sat[0].uNumber = 3;
    f.rtk.sat[0].slot[0].bPresent = 1;
    f.rtk.sat[0].slot[0].bComputed = 1;
    f.ion.bValid[0] = 1;
    f.ion.uSatCount = 1;
    f.ion.sat[0].uNumber = 3;
    if (r.missing == 0) f.rtk.bReady = 0;
    if (r.missing == 1) f.dif.bReady = 0;
    if (r.missing == 2) f.src.refOk[0] = false;
    if (r.missing == 3) f.src.refOk[1] = false;
    if (r.missing == 4) f.ion.bReady = 0;
    f.src.ref[0].dX = f.src.ref[1].dX = 1e6;
    enableOnly(f.coder, {r.kind});
    f.coder.makeCoding();
    EXPECT_FALSE(f.coder.enabled(r.kind)) << r.name;
    EXPECT_EQ(f.coder.buildMessage(r.kind, f.out, f.seq, f.parity, 1, false), 0) << r.name;
    // With the data the same kind is built.
    Fixture g;
    g.addCorr(kSysGps, 5, 1.0f, 0.01f);
    g.rtk = f.rtk, g.rtk.bReady = 1;
    g.ion = f.ion, g.ion.bReady = 1;
    g.src.ref[0].dX = g.src.ref[1].dX = 1e6;
    EXPECT_FALSE(g.code({r.kind}, r.kind).empty()) << r.name;
  }
}

// ---- Code corrections ------------------------------------------------------------------------

TEST(Rtcm2Coder, CorrectionScaleUdreAndDoNotUse) {
  struct Row {
    const char* name;
    float prc, rrc, sigma;
    int scale, udre;
    long wantPrc, wantRrc;
  };
  const Row rows[] = {
      {"small scale near its limit", 655.33f, 0.2539f, 0.5f, 0, 0, 32767, 127},
      {"PRC beyond 655.34 takes the large scale", 655.36f, 0.0f, 0.5f, 1, 0, 2048, 0},
      {"RRC beyond 0.254 takes the large scale", 0.0f, 0.256f, 0.5f, 1, 0, 0, 8},
      {"negative small, half away from zero", -1.23f, -0.013f, 0.5f, 0, 0, -62, -7},
      {"large near its limit", -10485.0f, 4.0f, 0.5f, 1, 0, -32766, 125},
      {"PRC beyond the large scale: do not use", 10485.8f, 0.0f, 0.5f, 1, 0, -32768, -128},
      {"RRC beyond the large scale: do not use", 1.0f, -4.2f, 0.5f, 1, 0, -32768, -128},
      {"UDRE 0 up to 1 m", 0.0f, 0.0f, 1.0f, 0, 0, 0, 0},
      {"UDRE 1 above 1 m", 0.0f, 0.0f, 1.01f, 0, 1, 0, 0},
      {"UDRE 1 up to 4 m", 0.0f, 0.0f, 4.0f, 0, 1, 0, 0},
      {"UDRE 2 up to 8 m", 0.0f, 0.0f, 8.0f, 0, 2, 0, 0},
      {"UDRE 3 above 8 m", 0.0f, 0.0f, 8.01f, 0, 3, 0, 0},
  };
  for (const Row& r : rows) {
    Fixture f;
    f.dif.ulTime[0] = static_cast<std::uint32_t>(f.src.gps / 600 * 600);
    f.addCorr(kSysGps, 32, r.prc, r.rrc, r.sigma, 201);
    const auto m = f.code({kRtcmMsg1}, kRtcmMsg1);
    ASSERT_EQ(m.size(), 1u) << r.name;
    ASSERT_EQ(m[0].n, 2) << r.name;
    EXPECT_EQ(m[0].bits(0, 1), static_cast<std::uint64_t>(r.scale)) << r.name;
    EXPECT_EQ(m[0].bits(1, 2), static_cast<std::uint64_t>(r.udre)) << r.name;
    EXPECT_EQ(m[0].bits(3, 5), 0u) << r.name << ": PRN 32 goes as 0";
    EXPECT_EQ(m[0].sbits(8, 16), r.wantPrc) << r.name;
    EXPECT_EQ(m[0].sbits(24, 8), r.wantRrc) << r.name;
    EXPECT_EQ(m[0].bits(32, 8), 201u) << r.name;
    EXPECT_EQ(m[0].bits(40, 8), 0xAAu) << r.name << ": one-satellite filler";
    EXPECT_EQ(f.reader.bad, 0);
  }
}

TEST(Rtcm2Coder, FullSetsCarryEighteenSatellitesPerMessageAndFillTheLastGroup) {
  struct Row {
    int sats;
    std::vector<int> words;  // data words per message
    std::uint32_t filler;    // of the last message, 0 none
  };
  const Row rows[] = {{1, {2}, 0xAA}, {2, {4}, 0xAAAA}, {3, {5}, 0}, {4, {7}, 0xAA}, {18, {30}, 0},
                      {19, {30, 2}, 0xAA}, {20, {30, 4}, 0xAAAA}, {32, {30, 24}, 0xAAAA}};
  for (int kind : {kRtcmMsg1, kRtcmMsg31}) {
    for (const Row& r : rows) {
      Fixture f;
      const int sys = kind == kRtcmMsg1 ? kSysGps : kSysGlonass;
      f.dif.ulTime[sys] = static_cast<std::uint32_t>(f.src.gps / 600 * 600);
      for (int i = 0; i < r.sats; ++i) f.addCorr(sys, i + 1, 0.02f * i, 0.0f);
      const auto m = f.code({kind}, kind);
      ASSERT_EQ(m.size(), r.words.size()) << r.sats;
      std::vector<int> got;
      int seen = 0;
      for (const Msg& x : m) {
        got.push_back(x.n);
        for (int s = 0; s < x.n * 24 / 40; ++s, ++seen) {
          EXPECT_EQ(x.bits(s * 40 + 3, 5), static_cast<std::uint64_t>((seen + 1) & 31)) << r.sats;
          EXPECT_EQ(x.sbits(s * 40 + 8, 16), seen) << r.sats;
        }
      }
      EXPECT_EQ(seen, r.sats) << "every satellite, none twice";
      EXPECT_EQ(got, r.words) << r.sats;
      const Msg& last = m.back();
      const int used = (r.sats - 18 * (static_cast<int>(m.size()) - 1)) * 40;
      if (r.filler == 0xAA) { EXPECT_EQ(last.bits(used, 8), 0xAAu) << r.sats; }
      if (r.filler == 0xAAAA) { EXPECT_EQ(last.bits(used, 16), 0xAAAAu) << r.sats; }
      EXPECT_EQ(m[0].type, kind == kRtcmMsg1 ? 1 : 31);
      EXPECT_EQ(f.reader.bad, 0);
    }
  }
}

TEST(Rtcm2Coder, CorrectionIsCarriedToTheZCountTimeWithinHalfAnHour) {
  struct Row {
    const char* name;
    long dataMs;  // time of the correction data
    long zMs;     // receiver time
    double wantPrc;
  };
  // PRC 1.00 m, RRC 0.1 m/s.
  const Row rows[] = {{"same time", 600000, 600000, 1.0},
                      {"data 10 s older", 590000, 600000, 2.0},
                      {"receiver time off the 0.6 s grid uses the Z-count time", 590000, 600500, 2.0},
                      {"across the hour", 3598800, 3600000 + 600, 1.18},
                      {"across the week in ms of week", 604800000 - 1000, 1000, 1.16},
                      {"data 1 s younger", 601000, 600000, 0.9}};
  for (const Row& r : rows) {
    Fixture f;
    f.src.gps = r.zMs;
    f.dif.ulTime[0] = static_cast<std::uint32_t>(r.dataMs);
    f.addCorr(kSysGps, 1, 1.0f, 0.1f);
    const auto m = f.code({kRtcmMsg1}, kRtcmMsg1);
    ASSERT_EQ(m.size(), 1u) << r.name;
    EXPECT_NEAR(m[0].sbits(8, 16) * 0.02, r.wantPrc, 0.011) << r.name;
  }
}

TEST(Rtcm2Coder, PartialSetsSendTheWorstPredictedSatellitesFirst) {
  Fixture f;
  f.dif.ulTime[0] = static_cast<std::uint32_t>(f.src.gps);
  for (int s = 1; s <= 5; ++s) f.addCorr(kSysGps, s, 1.0f * s, 0.0f);
  enableOnly(f.coder, {kRtcmMsg9});
  f.coder.makeCoding();
  auto ids = [](const Msg& m) {
    std::vector<int> v;
    for (int s = 0; s < m.n * 24 / 40; ++s) v.push_back(static_cast<int>(m.bits(s * 40 + 3, 5)));
    return v;
  };
  struct Step {
    const char* name;
    int moveSat;
    float newPrc;
    std::vector<int> want;
  };
  // Never-sent satellites come first in their order; then the largest change since last sent.
  const Step steps[] = {{"three never sent", 0, 0, {1, 2, 3}},
                        {"the two never sent, then the worst predicted", 2, 4.0f, {4, 5, 2}},
                        {"the biggest change leads", 1, -9.0f, {1, 2, 3}}};
  for (const Step& s : steps) {
    if (s.moveSat > 0) f.dif.sat[s.moveSat - 1].sig[0].fPrc = s.newPrc;
    const auto m = f.build(kRtcmMsg9);
    ASSERT_EQ(m.size(), 1u) << s.name;
    EXPECT_EQ(m[0].type, 9);
    EXPECT_EQ(ids(m[0]), s.want) << s.name;
  }
  // Three candidates or fewer keep their order.
  Fixture g;
  g.dif.ulTime[0] = static_cast<std::uint32_t>(g.src.gps);
  for (int s : {7, 3, 9}) g.addCorr(kSysGps, s, 1.0f, 0.0f);
  const auto m = g.code({kRtcmMsg9}, kRtcmMsg9);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(ids(m[0]), (std::vector<int>{7, 3, 9}));
}

TEST(Rtcm2Coder, PartialSetPredictionUsesTheSentRateOverTheElapsedTime) {
  // Satellite 1 sent with PRC 1 m and RRC 0.1 m/s; 10 s later its PRC is 2 m, exactly as
  // predicted; satellite 2 was sent with 1 m and no rate and is still 1.5 m: it comes first.
  Fixture f;
  f.dif.ulTime[0] = static_cast<std::uint32_t>(f.src.gps);
  f.addCorr(kSysGps, 1, 1.0f, 0.1f);
  f.addCorr(kSysGps, 2, 1.0f, 0.0f);
  f.addCorr(kSysGps, 3, 1.0f, 0.0f);
  f.code({kRtcmMsg9}, kRtcmMsg9);
  f.addCorr(kSysGps, 4, 1.0f, 0.0f);
  f.src.gps += 10000;
  f.dif.ulTime[0] += 10000;
  f.dif.sat[0].sig[0].fPrc = 2.0f;
  f.dif.sat[1].sig[0].fPrc = 1.5f;
  f.dif.sat[2].sig[0].fPrc = 1.2f;
  f.coder.makeCoding();
  const auto m = f.build(kRtcmMsg9);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].bits(3, 5), 4u) << "never sent";
  EXPECT_EQ(m[0].bits(43, 5), 2u);
  EXPECT_EQ(m[0].bits(83, 5), 3u);
}

TEST(Rtcm2Coder, GnssCorrectionsNumberSatellitesBySystem) {
  struct Row {
    int sys, number, wantId;
  };
  const Row rows[] = {{kSysGps, 5, 5},          {kSysGalileo, 36, 36}, {kSysSbas, 120, 20},
                      {kSysSbas, 147, 47},      {kSysQzss, 193, 1},    {kSysBeidou, 63, 63},
                      {kSysNavic, 14, 14}};
  for (const Row& r : rows) {
    Fixture f;
    f.dif.ulTime[r.sys] = static_cast<std::uint32_t>(f.src.gps);
    f.addCorr(r.sys, r.number, -1.0f, 0.016f, 5.0f, 77);
    const auto m = f.code({kRtcmMsg41}, kRtcmMsg41);
    ASSERT_EQ(m.size(), 1u) << r.number;
    EXPECT_EQ(m[0].type, 41);
    EXPECT_EQ(m[0].bits(0, 4), static_cast<std::uint64_t>(r.sys));
    EXPECT_EQ(m[0].bits(24, 8), static_cast<std::uint64_t>(r.wantId)) << r.number;
    EXPECT_EQ(m[0].bits(32, 2), 2u) << "UDRE of 5 m";
    EXPECT_EQ(m[0].bits(34, 8), 77u);
    EXPECT_EQ(m[0].sbits(42, 16), -50);
    EXPECT_EQ(m[0].sbits(58, 6), 2);
  }
  // Beyond 655.34 m the correction is "do not use".
  Fixture f;
  f.dif.ulTime[0] = static_cast<std::uint32_t>(f.src.gps);
  f.addCorr(kSysGps, 5, 700.0f, 0.0f);
  const auto m = f.code({kRtcmMsg42}, kRtcmMsg42);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].type, 42);
  EXPECT_EQ(m[0].sbits(42, 16), -32768);
}

// ---- Reference station -------------------------------------------------------------------------

TEST(Rtcm2Coder, ReferencePositionInCentimetresAndResiduesInSubCentimetre) {
  struct Row {
    const char* name;
    double x, y, z;
    float height;
    long cx, cy, cz;
    long rx, ry, rz;
    bool heightSent;
    std::uint32_t height256;
  };
  const Row rows[] = {
      {"residues", -3869297.5078, 3436571.3291, 3717369.3731, 1.5f, -386929751, 343657133, 371736937, 56, -23, 79, true, 38400},
      {"half a centimetre does not wrap", 0.125, -0.125, 0.0, 0.0f, 13, -13, 0, -128, 127, 0, true, 0},
      {"height at the field's end", 1, 1, 1, 10.2399f, 100, 100, 100, 0, 0, 0, true, 262141},
      {"height beyond 10.24 m is left out", 1, 1, 1, 10.25f, 100, 100, 100, 0, 0, 0, false, 0},
      {"negative height is left out", 1, 1, 1, -0.5f, 100, 100, 100, 0, 0, 0, false, 0},
  };
  for (const Row& r : rows) {
    Fixture f;
    f.src.ref[0].dX = r.x, f.src.ref[0].dY = r.y, f.src.ref[0].dZ = r.z;
    f.src.ref[0].fAntHeight = r.height;
    enableOnly(f.coder, {kRtcmMsg3, kRtcmMsg22});
    f.coder.makeCoding();
    const auto m3 = f.build(kRtcmMsg3);
    ASSERT_EQ(m3.size(), 1u) << r.name;
    EXPECT_EQ(m3[0].n, 4);
    EXPECT_EQ(m3[0].sbits(0, 32), r.cx) << r.name;
    EXPECT_EQ(m3[0].sbits(32, 32), r.cy) << r.name;
    EXPECT_EQ(m3[0].sbits(64, 32), r.cz) << r.name;
    const auto m22 = f.build(kRtcmMsg22);
    ASSERT_EQ(m22.size(), 1u) << r.name;
    EXPECT_EQ(m22[0].n, 2);
    EXPECT_NEAR(m22[0].sbits(0, 8), r.rx, 1) << r.name;
    EXPECT_NEAR(m22[0].sbits(8, 8), r.ry, 1) << r.name;
    EXPECT_NEAR(m22[0].sbits(16, 8), r.rz, 1) << r.name;
    EXPECT_EQ(m22[0].bits(29, 1), r.heightSent ? 0u : 1u) << r.name << ": no-height flag";
    if (r.heightSent) { EXPECT_NEAR(static_cast<double>(m22[0].bits(30, 18)), r.height256, 1) << r.name; }
  }
}

TEST(Rtcm2Coder, AntennaReferencePointInTenthsOfMillimetres) {
  struct Row {
    const char* name;
    double x;
    float height;
    bool heightSent;
  };
  const Row rows[] = {{"with height", -3869297.5078, 1.2345f, true},
                      {"height at the end of 18 bits", 6378137.0001, 26.2143f, true},
                      {"height beyond 26.2143 m not announced", 1.0, 26.2145f, false}};
  for (const Row& r : rows) {
    Fixture f;
    f.src.ref[0].dX = r.x, f.src.ref[0].dY = -r.x / 2, f.src.ref[0].dZ = 12.3456;
    f.src.ref[0].fAntHeight = r.height;
    const auto m = f.code({kRtcmMsg24}, kRtcmMsg24);
    ASSERT_EQ(m.size(), 1u) << r.name;
    EXPECT_EQ(m[0].n, r.heightSent ? 6 : 5) << r.name;
    EXPECT_EQ(m[0].sbits(0, 38), std::llround(r.x * 1e4)) << r.name;
    EXPECT_EQ(m[0].sbits(40, 38), std::llround(-r.x / 2 * 1e4)) << r.name;
    EXPECT_EQ(m[0].sbits(80, 38), 123456) << r.name;
    EXPECT_EQ(m[0].bits(119, 1), r.heightSent ? 1u : 0u) << r.name;
    if (r.heightSent) { EXPECT_EQ(static_cast<long>(m[0].bits(120, 18)), std::lround(r.height * 1e4)) << r.name; }
  }
}

TEST(Rtcm2Coder, AntennaDescriptorSetupAndSerial) {
  Fixture f;
  std::strcpy(f.src.ref[0].antDescr, "ANT-ONE");
  std::strcpy(f.src.ref[0].antSerial, "12345");
  f.src.ref[0].antSetupId = 3;
  const auto m = f.code({kRtcmMsg23}, kRtcmMsg23);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].bits(1, 1), 1u);
  EXPECT_EQ(m[0].bits(2, 5), 7u);
  std::string d;
  for (int i = 0; i < 7; ++i) d += static_cast<char>(m[0].bits(7 + 8 * i, 8));
  EXPECT_EQ(d, "ANT-ONE");
  EXPECT_EQ(m[0].bits(63, 8), 3u);
  EXPECT_EQ(m[0].bits(74, 5), 5u);
  std::string s;
  for (int i = 0; i < 5; ++i) s += static_cast<char>(m[0].bits(79 + 8 * i, 8));
  EXPECT_EQ(s, "12345");
  EXPECT_EQ(m[0].n, (79 + 40 + 23) / 24);
}

TEST(Rtcm2Coder, GlonassReferenceFromTheGlonassDatumRecord) {
  Fixture f;
  f.src.ref[0].dX = 1.0;
  f.src.ref[1].dX = 2.0;
  const auto m = f.code({kRtcmMsg32}, kRtcmMsg32);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].type, 32);
  EXPECT_EQ(m[0].sbits(0, 32), 200);
}

// ---- Text and ionosphere ---------------------------------------------------------------------

TEST(Rtcm2Coder, TextThreeCharactersPerWord) {
  struct Row {
    const char* name;
    int len;
    int words;
  };
  const Row rows[] = {{"one character", 1, 1}, {"three", 3, 1}, {"four", 4, 2}, {"ninety", 90, 30},
                      {"length beyond 90 is held at 90", 91, 30}, {"empty sends nothing", 0, 0}};
  for (int kind : {kRtcmMsg16, kRtcmMsg36}) {
    for (const Row& r : rows) {
      Fixture f;
      RTCM_COD_SETTINGS s = f.coder.settings();
      char* text = kind == kRtcmMsg16 ? s.text16 : s.text36;
      for (int i = 0; i < 91; ++i) text[i] = static_cast<char>('A' + i % 26);
      text[91] = 0;
      (kind == kRtcmMsg16 ? s.len16 : s.len36) = static_cast<std::uint8_t>(r.len);
      f.coder.setSettings(s);
      const auto m = f.code({kind}, kind);
      if (r.words == 0) {
        EXPECT_TRUE(m.empty()) << r.name;
        continue;
      }
      ASSERT_EQ(m.size(), 1u) << r.name;
      EXPECT_EQ(m[0].type, kind == kRtcmMsg16 ? 16 : 36);
      EXPECT_EQ(m[0].n, r.words) << r.name;
      const int chars = std::min(r.len, 90);
      for (int i = 0; i < chars; ++i) EXPECT_EQ(m[0].bits(8 * i, 8), static_cast<std::uint64_t>('A' + i % 26));
      for (int i = chars; i < 3 * r.words; ++i) EXPECT_EQ(m[0].bits(8 * i, 8), 0u) << r.name << ": unused bytes zero";
    }
  }
}

TEST(Rtcm2Coder, IonosphereDelayAndRateInTheirUnits) {
  struct Row {
    const char* name;
    float delay, rate;  // m, m/s
    std::uint32_t wantDelay, wantRate;
  };
  const double cmPerMin = 0.01 / 60.0;
  const Row rows[] = {
      {"1 cm/min sends 20", 2.5f, static_cast<float>(cmPerMin), 250, 20},
      {"negative rate", 0.01f, static_cast<float>(-cmPerMin), 1, 0x3FFF & static_cast<std::uint32_t>(-20)},
      {"rate at the 8191 limit", 163.8f, static_cast<float>(8191 * 0.0005 / 60.0), 16380, 8191},
      {"rate beyond 8191 after conversion", 1.0f, static_cast<float>(8192.6 * 0.0005 / 60.0), 0, 8192},
      {"delay beyond 163.83 m", 163.9f, 0.0f, 0, 8192},
      {"negative delay", -0.5f, 0.0f, 0, 8192},
  };
  for (const Row& r : rows) {
    Fixture f;
    f.ion.bValid[0] = 1;
    f.ion.ulTime[0] = 1200;
    f.ion.uSatCount = 1;
    f.ion.sat[0] = {32, 0, r.delay, r.rate, 0.0f};
    const auto m = f.code({kRtcmMsg15}, kRtcmMsg15);
    ASSERT_EQ(m.size(), 1u) << r.name;
    EXPECT_EQ(m[0].z, 2) << "Z-count of the record's epoch";
    EXPECT_EQ(m[0].n, 2) << r.name;
    EXPECT_EQ(m[0].bits(0, 1), 0u);
    EXPECT_EQ(m[0].bits(1, 5), 0u) << "PRN 32 as 0";
    EXPECT_EQ(m[0].bits(6, 14), r.wantDelay) << r.name;
    EXPECT_EQ(m[0].bits(20, 14), r.wantRate) << r.name;
    EXPECT_EQ(m[0].bits(36, 12), 0xAAu) << r.name << ": odd count filler";
  }
}

TEST(Rtcm2Coder, IonospherePacksTwoSatellitesInThreeWordsPerSystem) {
  struct Row {
    int gps, glo;
    std::vector<int> words;
  };
  const Row rows[] = {{1, 0, {2}}, {2, 0, {3}}, {3, 2, {5, 3}}, {20, 1, {30, 2}}, {21, 1, {2}}, {0, 0, {}}};
  for (const Row& r : rows) {
    Fixture f;
    f.ion.bValid[0] = f.ion.bValid[1] = 1;
    for (int i = 0; i < r.gps; ++i) f.ion.sat[f.ion.uSatCount++] = {static_cast<std::uint8_t>(i + 1), 0, 1.0f, 0.0f, 0.0f};
    for (int i = 0; i < r.glo; ++i) f.ion.sat[f.ion.uSatCount++] = {static_cast<std::uint8_t>(i + 1), 1, 1.0f, 0.0f, 0.0f};
    enableOnly(f.coder, {kRtcmMsg15});
    f.coder.makeCoding();
    const auto m = f.build(kRtcmMsg15);
    std::vector<int> got;
    for (const Msg& x : m) got.push_back(x.n);
    EXPECT_EQ(got, r.words) << r.gps << "+" << r.glo;
    if (r.glo > 0 && !m.empty()) { EXPECT_EQ(m.back().bits(0, 1), 1u) << "GLONASS flag"; }
  }
}

// ---- RTK observables and corrections ---------------------------------------------------------

void addRtkSat(NAVCOD_RTK_DATA& d, int sys, int number, double code, double phase) {
  RTK_DATA_SV& s = d.sat[d.uSatCount++];
  s.uSystem = static_cast<std::uint8_t>(sys), s.uNumber = static_cast<std::uint8_t>(number);
  s.uIssue = 9;
  for (int k : {0, 2}) {
    s.slot[k].bPresent = 1;
    s.slot[k].dCode2 = code + k;
    s.slot[k].dPhase2 = phase + k;
    s.slot[k].uFifteen = 15;
    s.slot[k].uQuality = 3;
    s.slot[k].uPhaseQuality = 2;
    s.slot[k].ulLock = 100;
  }
  ++d.uCountRtcm2[sys];
  d.bValid[sys] = 1;
}

TEST(Rtcm2Coder, TimeOfMeasurementReplacesTheZCount) {
  struct Row {
    const char* name;
    std::uint32_t timeMs;
    double clockM;
    int wantZ, wantUs;
  };
  const Row rows[] = {
      {"on the grid", 600 * 416, 0.0, 416, 0},
      {"between Z-counts", 600 * 416 + 250, 0.0, 416, 250000},
      {"clock subtracts", 600 * 416 + 250, 299.792458 * 1000.5, 416, 249000},
      {"negative takes Z - 1", 600 * 416, 299.792458 * 10.5, 415, 599990},
      {"Z 0 becomes 5999", 3600000 * 5, 299.792458 * 1.5, 5999, 599999},
      {"clock truncates toward zero", 600, -299.792458 * 1.5, 1, 1},
      {"a whole Z-count or more moves to Z + 1", 600 * 416 + 599, -299.792458 * 1000.5, 417, 0},
      {"Z 5999 moves to 0", 3600000 * 5 - 1, -299.792458 * 1000.5, 0, 0},
  };
  for (const Row& r : rows) {
    Fixture f;
    f.rtk.ulTime[0] = r.timeMs;
    f.rtk.dClock[0] = r.clockM;
    addRtkSat(f.rtk, kSysGps, 5, 2.2e7, 1000.0);
    const auto m = f.code({kRtcmMsg18}, kRtcmMsg18);
    ASSERT_EQ(m.size(), 2u) << r.name << ": L1 and L2";
    EXPECT_EQ(m[0].z, r.wantZ) << r.name;
    EXPECT_EQ(static_cast<int>(m[0].bits(4, 20)), r.wantUs) << r.name;
    EXPECT_EQ(m[0].bits(0, 4), 0u);
    EXPECT_EQ(m[1].bits(0, 4), 8u) << "L2";
  }
}

TEST(Rtcm2Coder, PseudorangeAndPhaseFields) {
  struct Row {
    const char* name;
    double code, phase;
    std::uint32_t wantQuality;
    std::uint64_t wantPr;
    long wantCp;
  };
  const Row rows[] = {
      {"ordinary", 21007865.62, 1120.156, 3, 1050393281, std::lround(-1120.156 * 256)},
      {"largest pseudorange", 85899345.9, -0.5, 3, 4294967295u, 128},
      {"beyond 85899345.9 m sends quality 15", 85899346.0, 0.0, 15, 0, 0},
      {"negative phase half away from zero", 20e6, 0.001953125, 3, 1000000000, -1},
      {"phase beyond 2^23 cycles wraps", 20e6, 8388608.5, 3, 1000000000, std::lround((8388608.0 - 0.5) * 256)},
  };
  for (const Row& r : rows) {
    Fixture f;
    addRtkSat(f.rtk, kSysGps, 12, r.code, r.phase);
    enableOnly(f.coder, {kRtcmMsg18, kRtcmMsg19});
    f.coder.makeCoding();
    const auto m18 = f.build(kRtcmMsg18);
    const auto m19 = f.build(kRtcmMsg19);
    ASSERT_EQ(m18.size(), 2u) << r.name;
    ASSERT_EQ(m19.size(), 2u) << r.name;
    EXPECT_EQ(m18[0].n, 3);
    EXPECT_EQ(m18[0].bits(24, 3), 4u) << "C/A on L1, the L2 message follows";
    EXPECT_EQ(m18[0].bits(27, 5), 12u);
    EXPECT_EQ(m18[0].bits(32, 3), 2u) << "phase quality";
    EXPECT_EQ(m18[0].sbits(40, 32), r.wantCp) << r.name;
    EXPECT_EQ(m19[0].bits(32, 4), r.wantQuality) << r.name;
    EXPECT_EQ(m19[0].bits(36, 4), 15u) << "multipath indicator";
    EXPECT_EQ(m19[0].bits(40, 32), r.wantPr) << r.name;
    EXPECT_EQ(m19[1].bits(24, 3), 2u) << "P code on L2";
  }
}

TEST(Rtcm2Coder, RtkMessagesCarryFifteenSatellitesAndFlagTheFollowingOnes) {
  struct Row {
    int gps, glo;
    bool glonassOn;
    std::vector<int> words;  // per message: L1 GPS..., L2 GPS..., L1 GLO..., L2 GLO...
  };
  const Row rows[] = {{1, 0, true, {3, 3}},
                      {15, 0, true, {31, 31}},
                      {16, 0, true, {31, 3, 31, 3}},
                      {2, 3, true, {5, 5, 7, 7}},
                      {2, 3, false, {5, 5}}};
  for (const Row& r : rows) {
    Fixture f;
    RTCM_COD_SETTINGS s = f.coder.settings();
    s.glo = r.glonassOn;
    f.coder.setSettings(s);
    for (int i = 0; i < r.gps; ++i) addRtkSat(f.rtk, kSysGps, i + 1, 2e7, 0);
    for (int i = 0; i < r.glo; ++i) addRtkSat(f.rtk, kSysGlonass, i + 1, 2e7, 0);
    const auto m = f.code({kRtcmMsg19}, kRtcmMsg19);
    std::vector<int> got;
    for (const Msg& x : m) got.push_back(x.n);
    EXPECT_EQ(got, r.words) << r.gps << "+" << r.glo;
    for (std::size_t i = 0; i < m.size(); ++i)
      EXPECT_EQ(m[i].bits(24, 1), i + 1 < m.size() ? 1u : 0u) << "multiple-message flag, message " << i;
    EXPECT_EQ(f.coder.rtkMessages(0, 0), (r.gps + 14) / 15);
    EXPECT_EQ(f.reader.bad, 0);
  }
}

TEST(Rtcm2Coder, RtkGroupGoesOncePerPortAndEpochAndCombinedSendsBothHalves) {
  Fixture f;
  addRtkSat(f.rtk, kSysGps, 1, 2e7, 0);
  enableOnly(f.coder, {kRtcmMsg18, kRtcmMsg19});
  f.coder.makeCoding();
  const auto both = f.build(kRtcmMsg18, 3, true);
  ASSERT_EQ(both.size(), 4u);
  const int types[] = {18, 19, 18, 19};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(both[static_cast<std::size_t>(i)].type, types[i]) << i;
  EXPECT_TRUE(f.build(kRtcmMsg19, 3).empty()) << "the combined run marked 19 as sent on port 3";
  EXPECT_TRUE(f.build(kRtcmMsg18, 3).empty());
  EXPECT_EQ(f.build(kRtcmMsg19, 4).size(), 2u) << "another port has its own group";
  // The next epoch sends again.
  enableOnly(f.coder, {kRtcmMsg18, kRtcmMsg19});
  f.coder.makeCoding();
  EXPECT_EQ(f.build(kRtcmMsg18, 3).size(), 2u);
}

TEST(Rtcm2Coder, RtkCorrectionsLeaveOutWhatTheirFieldsCannotHold) {
  struct Row {
    const char* name;
    float phaseCorr, codeCorr, rateCorr;
    bool in20;
    int scale;
    long wantPrc, wantRrc;
  };
  const Row rows[] = {
      {"ordinary", 1.5f, 0.5f, 0.01f, true, 0, 25, 5},
      {"phase correction beyond 32768 cycles left out", 32768.5f, 0.5f, 0.01f, false, 0, 25, 5},
      {"large scale", -2.0f, 700.0f, 0.0f, true, 1, 2188, 0},
      {"beyond the large scale: do not use", 0.0f, 20000.0f, 0.0f, true, 1, -32768, -128},
  };
  for (const Row& r : rows) {
    Fixture f;
    addRtkSat(f.rtk, kSysGps, 7, 2e7, 0);
    for (int k : {0, 2}) {
      RTK_DATA_SLOT& s = f.rtk.sat[0].slot[k];
      s.bComputed = 1;
      s.fComputedMinusPhase = r.phaseCorr;
      s.fComputedMinusCode = r.codeCorr;
      s.fComputedMinusRate = r.rateCorr;
    }
    enableOnly(f.coder, {kRtcmMsg20, kRtcmMsg21});
    f.coder.makeCoding();
    const auto m20 = f.build(kRtcmMsg20);
    EXPECT_EQ(m20.size(), r.in20 ? 2u : 0u) << r.name;
    if (r.in20) {
      EXPECT_EQ(m20[0].bits(32, 8), 9u) << "issue of data";
      EXPECT_EQ(m20[0].sbits(48, 24), std::lround(r.phaseCorr * 256)) << r.name;
    }
    const auto m21 = f.build(kRtcmMsg21);
    ASSERT_EQ(m21.size(), 2u) << r.name;
    EXPECT_EQ(m21[0].bits(32, 1), static_cast<std::uint64_t>(r.scale)) << r.name;
    EXPECT_EQ(m21[0].bits(37, 3), 7u) << "multipath halved";
    EXPECT_EQ(m21[0].sbits(48, 16), r.wantPrc) << r.name;
    EXPECT_EQ(m21[0].sbits(64, 8), r.wantRrc) << r.name;
    EXPECT_EQ(f.seq, r.in20 ? 4 : 2) << r.name << ": an empty message takes no sequence number";
  }
}

TEST(Rtcm2Coder, LossOfContinuityCountsLockRestarts) {
  Fixture f;
  addRtkSat(f.rtk, kSysGps, 3, 2e7, 0);
  const std::uint32_t locks[] = {100, 200, 50, 60, 0, 10};
  const int want[] = {0, 0, 1, 1, 2, 2};
  for (int i = 0; i < 6; ++i) {
    f.rtk.sat[0].slot[0].ulLock = locks[i];
    const auto m = f.code({kRtcmMsg18}, kRtcmMsg18);
    ASSERT_FALSE(m.empty());
    EXPECT_EQ(static_cast<int>(m[0].bits(35, 5)), want[i]) << i;
  }
}

// ---- Random records: every byte and word well formed --------------------------------------------

TEST(Rtcm2Coder, RandomRecordsGiveWellFormedWordsForEveryKind) {
  std::mt19937 rng(78);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  Fixture f;
  RTCM_COD_SETTINGS s = f.coder.settings();
  std::strcpy(s.text16, "RANDOM");
  s.len16 = 200;  // beyond the text: held at the text's own length
  std::strcpy(s.text36, "X");
  s.len36 = 1;
  s.termOn = 1;
  f.coder.setSettings(s);
  for (int round = 0; round < 60; ++round) {
    f.rtk = NAVCOD_RTK_DATA{};
    f.dif = NAVCOD_DIF_DATA{};
    f.ion = NAVCOD_IONO_DATA{};
    f.rtk.bReady = f.dif.bReady = f.ion.bReady = 1;
    const double scale = std::pow(10.0, round % 10);
    for (int i = 0; i < kBaseSats; ++i) {
      const int sys = static_cast<int>(rng() % SYS_NUM);
      addRtkSat(f.rtk, sys, static_cast<int>(rng() % 64), 1e8 * std::fabs(u(rng)), 1e9 * u(rng));
      f.rtk.uCountRtcm2[sys] = static_cast<std::uint8_t>(rng() % 60);
      f.rtk.sat[i].slot[0].fComputedMinusPhase = static_cast<float>(1e5 * u(rng));
      f.rtk.sat[i].slot[0].fComputedMinusCode = static_cast<float>(scale * u(rng));
      f.rtk.sat[i].slot[0].bComputed = 1;
      f.addCorr(sys, static_cast<int>(rng() % 256), static_cast<float>(scale * u(rng)), static_cast<float>(u(rng) * scale / 100),
                static_cast<float>(10 * std::fabs(u(rng))));
      f.ion.sat[f.ion.uSatCount++] = {static_cast<std::uint8_t>(rng() % 256), static_cast<std::uint8_t>(sys),
                                      static_cast<float>(200 * u(rng)), static_cast<float>(0.1 * u(rng)), 0.0f};
      f.ion.bValid[sys] = 1;
      f.dif.ulTime[sys] = static_cast<std::uint32_t>(rng());
      f.rtk.ulTime[sys] = static_cast<std::uint32_t>(rng());
      f.rtk.dClock[sys] = 1e6 * u(rng);
    }
    f.src.gps = static_cast<long>(rng() % 604800000), f.src.glo = static_cast<long>(rng() % 86400000);
    f.src.ref[0].dX = 7e6 * u(rng), f.src.ref[0].fAntHeight = static_cast<float>(40 * u(rng));
    bool all[kRtcmMsgCount];
    for (bool& b : all) b = true;
    f.coder.initCoding(all);
    f.coder.makeCoding();
    for (int kind = 0; kind < kRtcmMsgCount; ++kind) {
      const int n = f.coder.buildMessage(kind, f.out, f.seq, f.parity, round % 4, round % 3 == 0);
      ASSERT_LE(n, RTCM_Coder::kMaxOut);
      const auto m = f.reader.read(f.out, n, 2);
      const bool pair = round % 3 == 0 && kind >= kRtcmMsg18 && kind <= kRtcmMsg21;
      for (const Msg& x : m)
        EXPECT_TRUE(x.type == rtcmTypeOfKind[kind] || (pair && x.type == rtcmTypeOfKind[kind ^ 1])) << kind;
    }
  }
  EXPECT_EQ(f.reader.bad, 0);
}

}  // namespace


namespace {

TEST(Rtcm2Coder, ARunBeyondTheOutputBufferStopsAtAWholeMessage) {
  Fixture f;
  for (int i = 0; i < kBaseSats; ++i) addRtkSat(f.rtk, kSysGps, i % 32 + 1, 2e7, 0);
  int bytes = 0;
  enableOnly(f.coder, {kRtcmMsg18, kRtcmMsg19});
  f.coder.makeCoding();
  const auto m = f.build(kRtcmMsg18, 1, true, &bytes);
  EXPECT_LE(bytes, RTCM_Coder::kMaxOut);
  EXPECT_LT(m.size(), 28u) << "7 messages per type and frequency do not fit";
  EXPECT_GT(m.size(), 20u);
  EXPECT_EQ(f.reader.bad, 0);
  EXPECT_EQ(f.seq, static_cast<int>(m.size() % 8)) << "only the messages sent took sequence numbers";
}

}  // namespace
