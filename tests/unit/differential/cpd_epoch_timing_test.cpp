#include <gtest/gtest.h>

#include "differential/base/cpd_epoch_timing.h"
#include "positioning/time_scales.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/base/rover_intake.h"
#include "positioning/chan_data.h"
#include "unit/own_process.h"

namespace {

constexpr int kGps = 0, kGlo = 1, kGal = 2, kSbas = 3, kBds = 5;

TEST(ClientTimesPairs, StoredAtTheirPositionWithTheirSign) {
  const struct {
    int a, b, d;
  } rows[] = {{0, 1, 15000}, {1, 0, -15000}, {5, 2, 7}, {2, 5, 7}, {6, 5, -3}, {0, 6, 100}};
  for (const auto& r : rows) {
    ClientTimes ct;
    ct.setDeltaT(r.a, r.b, r.d);
    const int lo = r.a < r.b ? r.a : r.b, hi = r.a < r.b ? r.b : r.a;
    // Position lo + hi(hi-1)/2 holds time[hi] - time[lo].
    EXPECT_EQ(ct.deltaT[lo + hi * (hi - 1) / 2], r.a == hi ? r.d : -r.d) << r.a << " " << r.b;
    int n = 0;
    for (std::int32_t v : ct.deltaT) n += v != ClientTimes::kUnknown;
    EXPECT_EQ(n, 1);
    std::int32_t d = 0;
    ASSERT_TRUE(ct.expected(r.a, r.b, d));
    EXPECT_EQ(d, r.d);
    ASSERT_TRUE(ct.expected(r.b, r.a, d));
    EXPECT_EQ(d, -r.d);
  }
  ClientTimes ct;
  for (const auto& [a, b] : {std::pair{3, 3}, {-1, 2}, {2, 7}}) ct.setDeltaT(a, b, 1);
  for (std::int32_t v : ct.deltaT) EXPECT_EQ(v, ClientTimes::kUnknown);
}

TEST(ClientTimesUpdate, AGivenTimeIsComparedAndKept) {
  ClientTimes ct;
  EXPECT_TRUE(ct.update(kGps, 1000));
  EXPECT_TRUE(ct.update(kGps, 1000));
  EXPECT_FALSE(ct.update(kGps, 2000));
  EXPECT_EQ(ct.time[kGps].get(), 1000);
  EXPECT_TRUE(ct.update(kGps, 3600000L * 7 + 1000));  // the same ms within the hour
  EXPECT_FALSE(ct.update(7, 1000));
  EXPECT_FALSE(ct.update(-1, 1000));
}

TEST(ClientTimesUpdate, AMismatchIsStoredAllTheSame) {
  const struct {
    long gal;
    bool fits;
  } rows[] = {{1010, false}, {1000, true}, {3601000, true}, {999, false}};
  for (const auto& r : rows) {
    ClientTimes ct;
    ct.setDeltaT(kGps, kGal, 0);
    ASSERT_TRUE(ct.update(kGps, 1000));
    EXPECT_EQ(ct.update(kGal, r.gal), r.fits) << r.gal;
    EXPECT_EQ(ct.time[kGal].get(), r.gal % 3600000);
  }
}

TEST(ClientTimesUpdate, UnknownDifferencesNeverMismatch) {
  ClientTimes ct;
  ASSERT_TRUE(ct.resetAndUpdate(kGps, 1000));
  EXPECT_TRUE(ct.update(kGlo, 2345678));
  EXPECT_TRUE(ct.update(kSbas, 17));
  EXPECT_TRUE(ct.ok());
  // A negative time is no time.
  EXPECT_FALSE(ct.update(kBds, -5));
  EXPECT_FALSE(ct.isSet(kBds));
  // resetAndUpdate forgets the rest.
  ct.setDeltaT(kGps, kGal, 0);
  ASSERT_TRUE(ct.resetAndUpdate(kGal, 50));
  EXPECT_FALSE(ct.isSet(kGps));
  std::int32_t d;
  EXPECT_FALSE(ct.expected(kGps, kGal, d));
}

TEST(ClientTimesOk, Rows) {
  const struct {
    long gps, glo, gal;  // -1: not set
    bool ok;
  } rows[] = {{-1, -1, -1, false}, {1000, -1, -1, true},  {1000, 16000, -1, false}, {16000, 1000, -1, true},
              {16000, 1000, 16000, true}, {16000, 1000, 16001, false}, {5000, 3590000, -1, true},
              {-1, 1000, 16000, true}};
  for (const auto& r : rows) {
    ClientTimes ct;
    ct.setDeltaT(kGps, kGlo, 15000);
    ct.setDeltaT(kGal, kGps, 0);
    if (r.gps >= 0) ct.time[kGps] = static_cast<std::int32_t>(r.gps);
    if (r.glo >= 0) ct.time[kGlo] = static_cast<std::int32_t>(r.glo);
    if (r.gal >= 0) ct.time[kGal] = static_cast<std::int32_t>(r.gal);
    EXPECT_EQ(ct.ok(), r.ok) << r.gps << " " << r.glo << " " << r.gal;
  }
}

TEST(ClientTimesCalc, UnknownTimesFollowKnownDifferences) {
  ClientTimes ct;
  ct.setDeltaT(kGps, kGlo, 15000);
  ct.setDeltaT(kGal, kGps, 0);  // Galileo only through GPS
  ct.time[kGlo] = 3599000;
  CpdEpochId out[7];
  CpdEpochId in[7];
  for (int s = 0; s < 7; ++s) out[s] = in[s] = ct.time[s];
  ASSERT_TRUE(ct.calcUnknownTimesOnce(out, in));
  EXPECT_EQ(out[kGps].get(), 14000);  // wraps into the hour
  EXPECT_FALSE(out[kGal].isSet());     // needs a second pass
  ct.calcUnknownTimes();
  EXPECT_EQ(ct.time[kGps].get(), 14000);
  EXPECT_EQ(ct.time[kGal].get(), 14000);
  EXPECT_FALSE(ct.isSet(kBds));
  for (int s = 0; s < 7; ++s) in[s] = out[s] = ct.time[s];
  EXPECT_FALSE(ct.calcUnknownTimesOnce(out, in));
}

// GPS ms of week and GLONASS (UTC + 3 h) ms of day of a UTC instant, from the calendar.
struct Instant {
  int y, mo, d, h, mi, s, ms;
  int leap;  // GPS - UTC, s
};
long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}
void scalesOf(const Instant& t, std::int32_t& gpsMsOfWeek, std::int32_t& gloMsOfDay) {
  const long long utcMs = (daysFromCivil(t.y, t.mo, t.d) * 86400LL + t.h * 3600 + t.mi * 60 + t.s) * 1000 + t.ms;
  const long long gpsEpochMs = daysFromCivil(1980, 1, 6) * 86400000LL;
  const long long gps = utcMs + t.leap * 1000LL - gpsEpochMs;
  gpsMsOfWeek = static_cast<std::int32_t>(gps % 604800000LL);
  gloMsOfDay = static_cast<std::int32_t>((utcMs + 3 * 3600000LL) % 86400000LL);
}

void roverEpoch(std::int32_t gps, std::int32_t glo, std::uint8_t valid) {
  ChanMeasTime mt;
  mt.gpsMs = gps;
  mt.gloMs = glo;
  mt.valid = valid;
  ChanData::setMeasTime(mt);
  cpdRoverIntake();
}

// From the program's start (a process of its own): no time scale published.
TEST_OWN(EtTimeDeltas, RealTimeScalesGiveTheLeapSecondsWithinTheHour) {
  const struct {
    Instant t;
    int want;
  } rows[] = {
      {{2009, 3, 15, 12, 34, 56, 789, 15}, 15000}, {{2009, 12, 31, 20, 59, 50, 0, 15}, 15000},
      {{2009, 6, 7, 0, 0, 0, 0, 15}, 15000},       {{2018, 2, 3, 10, 0, 0, 100, 18}, 18000},
      {{2024, 6, 1, 23, 59, 59, 999, 18}, 18000},
  };
  for (const auto& r : rows) {
    std::int32_t gps, glo;
    scalesOf(r.t, gps, glo);
    roverEpoch(gps, glo, 3);
    ClientTimes ct;
    etSetTimeDeltas(ct);
    std::int32_t d;
    ASSERT_TRUE(ct.expected(kGps, kGlo, d));
    EXPECT_EQ(d, r.want) << r.t.y << "-" << r.t.mo << "-" << r.t.d;
    ASSERT_TRUE(ct.expected(kBds, kGlo, d));
    EXPECT_EQ(d, r.want);
    for (int a = 0; a < 7; ++a)
      for (int b = 0; b < 7; ++b)
        if (a != b && a != kGlo && b != kGlo) {
          EXPECT_TRUE(ct.expected(a, b, d) && d == 0) << a << " " << b;
        }
    // A base epoch in GLONASS time alone gets its id in GPS time.
    CpdMeas m;
    ct.update(kGlo, glo);
    ASSERT_TRUE(etSetEpochId(ct, m));
    EXPECT_EQ(m.id.get(), gps % 3600000);
    EXPECT_EQ(m.rcvTime, -1);  // no time scale published in this test
  }
}

TEST(EtTimeDeltas, WithoutGlonassOnlyTheZeroPairs) {
  roverEpoch(1000, 0, 1);
  ClientTimes ct;
  etSetTimeDeltas(ct);
  std::int32_t d;
  EXPECT_FALSE(ct.expected(kGps, kGlo, d));
  EXPECT_TRUE(ct.expected(kGps, kSbas, d));
}

TEST(EtEpochId, NoRoverRecordFails) {
  cpdSetTimesAndId(CpdMeasTimes{}, CpdEpochId{});  // as before the first rover epoch
  ClientTimes ct;
  ct.update(kGps, 1000);
  CpdMeas m;
  EXPECT_FALSE(etSetEpochId(ct, m));
  EXPECT_EQ(m.id.get(), -1);
  EXPECT_EQ(etGuessTimeSys(1000), -1);
}

TEST(EtEpochId, Rows) {
  const struct {
    std::uint8_t roverValid;  // bit 0 GPS, bit 1 GLONASS
    long gps, glo;            // the base epoch's times, -1 none
    bool deltas, ok;
    int id;
  } rows[] = {
      {1, 2000, -1, false, true, 2000},       // GPS reference, given
      {1, -1, 900, false, false, -1},         // GLONASS only and no difference known
      {3, -1, 1000, true, true, 16000},       // computed from GLONASS
      {2, -1, 1000, true, true, 1000},        // the rover has GLONASS only: GLONASS reference
      {2, 16000, -1, true, false, -1},       // ... and GPS cannot be turned into it
      {3, 2000, 1000, true, false, -1},       // the two disagree
      {1, -1, -1, false, false, -1},          // nothing set
  };
  for (const auto& r : rows) {
    // Rover: GPS 3,616,000 ms of week (16,000 within the hour), GLONASS 1,000 ms of day.
    roverEpoch(3616000, 1000, r.roverValid);
    ClientTimes ct;
    if (r.deltas) etSetTimeDeltas(ct);
    if (r.gps >= 0) ct.update(kGps, r.gps);
    if (r.glo >= 0) ct.update(kGlo, r.glo);
    CpdMeas m;
    EXPECT_EQ(etSetEpochId(ct, m), r.ok) << int(r.roverValid) << " " << r.gps << " " << r.glo;
    EXPECT_EQ(m.id.get(), r.id) << int(r.roverValid) << " " << r.gps << " " << r.glo;
  }
}

TEST(EtGuess, NearestRoverTimeWithinFiveSeconds) {
  roverEpoch(3616000, 1000, 3);  // GPS 16,000 within the hour, GLONASS 1,000
  const struct {
    long t;
    int sys;
  } rows[] = {{16000, kGps},   {20999, kGps},  {21000, -1},   {11001, kGps}, {11000, -1},  {8500, -1},
              {8499, -1},    {1000, kGlo},   {5999, kGlo},  {6000, -1},    {3596001, kGlo}, {3596000, -1},
              {3616000, kGps}, {-3584000, kGps}};
  for (const auto& r : rows) EXPECT_EQ(etGuessTimeSys(r.t), r.sys) << r.t;
}

}  // namespace
