#include <gtest/gtest.h>

#include "../../../tools/gnss_board_sim/sim_native.h"
#include "unit/gnss_link/native_test_util.h"
#include "command/reply.h"
#include "gnss_link/meas_proc.h"
#include "gnss_link/slave_tasks.h"
#include "platform/misc_par.h"
#include "platform/perif_readings.h"
#include "positioning/raw_nav_rings.h"
#include "positioning/rcv_time_scales.h"

namespace {

using namespace ntest;

// The simulator's own bytes for 2024-06-01 12:00:00 UTC, its LNAV subframe checked against GNSSTk.
TEST(RawDecoderEpoch, SimulatorsEpochOfTheFirstOfJune2024) {
  FakeBoard link;
  RawFeed f;
  Chain::runs = 0;
  RawNavReader r;
  r.ullNext = GpsRawMessageData.appended();  // what this epoch adds
  const sim::TimeScales ts = sim::timeScales(1717243200, 0);
  const std::uint32_t t = sim::epochTime(ts);
  std::string marker;
  sim::putLe(marker, t, 4);
  testing::internal::CaptureStderr();
  f.put(sim::frame("~~", marker, true) + sim::rawRecord(8, sim::timeScaleRecord(ts, 100)) +
        sim::rawRecord(1, sim::powerRecord()) + sim::rawRecord(15, sim::taskLoadRecord(100)) +
        sim::rawRecord(16, sim::onceRecord()) + sim::gdMessage(4, t, sim::kLnavSf1Prn4, 10) +
        sim::frame("::", marker, true));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(t, 43218000u);
  const RcvTimeScales::INT_SCALES& s = RcvTimeScales::Req;
  EXPECT_EQ(s.weekDay[0], 268);
  EXPECT_EQ(s.cycle[0], 2);
  EXPECT_EQ(s.ms[0], 561618000);
  EXPECT_EQ(s.upTime, 100);
  GREGORIAN_EPOCH g{};
  EXPECT_EQ(RcvTimeScales::times2data(0, s, true, 1, g), 770558400);
  EXPECT_EQ((std::vector{g.year, g.month, g.day, g.hour, g.minute, g.second}), (std::vector{2024, 6, 1, 12, 0, 0}));
  EXPECT_EQ(Chain::runs, 1);

  EXPECT_FLOAT_EQ(miscPar[23].load(), 12.0f);
  EXPECT_FLOAT_EQ(miscPar[32].load(), 12.6f);
  EXPECT_FLOAT_EQ(miscPar[102].load(), 14.4f);
  Reply re;
  re.begin(nullptr, 0);
  printLoad(true, "load", &re, nullptr);
  EXPECT_EQ(std::string(re.text(), static_cast<std::size_t>(re.textLen())),
            "{{MEAS, 1,   250,  1200,   100}, {TRCK, 2,   610,  2400,   100}, {IDLE, 0,   140,     0,     0}}");
  EXPECT_EQ(link.out.written, "dm,,zrt/@@once\nset,load,0\n");

  CorrData::GpsRawMessageType e{};
  ASSERT_TRUE(GpsRawMessageData.read(r, e));
  EXPECT_EQ(e.uSv, 4);
  EXPECT_EQ(std::vector<std::uint32_t>(e.ulWords, e.ulWords + e.uCount), gnsstkWords("ephLNAVGPSSF1"));
}

TEST(RawDecoderEpoch, ChainRunsOnceForAGoodEpochOnly) {
  const std::string meas = s2m(rec(8, tsRecord()) + rec(7, le(15, 1) + le(1, 1) + le(5, 1) + le(0, 1) + le(7, 1) +
                                                           le(0, 2) + le(1, 1) + le(0, 1) + le(9, 2) + lef(1.5f) +
                                                           le(0, 2))) +
                           s2m(rec(11, le(0, 1) + le(1, 1) + le(0, 1) + le(5, 1) + std::string(44, '\0')));
  const std::string start = epochStart(kEpochTime), end = epochEnd(kEpochTime), ts = s2m(rec(8, tsRecord()));
  const std::string bad = "$$ZrtRawDecoder: ERROR: bad epoch 43218000\n";
  std::string year4000 = tsRecord();  // GPS cycle 100: a date no clock holds
  year4000.replace(36, 4, le(100, 4));
  const struct { const char* what; std::string in; int runs, meas, satState; std::string err; } cases[] = {
      {"good epoch", start + meas + end, 1, 1, 1, ""},
      {"end time different", start + meas + epochEnd(kEpochTime + 1), 1, 0, 4,
       "$$ZrtRawDecoder: ERROR: epoch start/end times mismatch: 43218000/43218001\n"},
      {"reference time one second late", start + s2m(rec(8, tsRecord(kGpsMsOfWeek + 1000))) + end, 0, -1, -1,
       "$$ @@ts: ERROR: time mismatch ts=43219000 epoch=43218000\n" + bad},
      {"time record one byte short", start + s2m(rec(8, tsRecord().substr(0, 96))) + end, 0, -1, -1,
       "$$ @@ts: ERROR: len=96 != 97\n" + bad},
      {"repeated end", start + ts + end + end, 1, 0, 4, bad},
      {"date beyond the system clock, said once", start + s2m(rec(8, year4000)) + end + start + s2m(rec(8, year4000)) + end,
       0, -1, -1, "$$ @@ts: ERROR: GPS date 61463448000 s after 2000 is beyond the system clock\n" + bad + bad},
      {"end after a lost start", start + ts + end + ts + end, 1, 0, 4,
       "$$ @@ts: ERROR: time mismatch ts=43218000 epoch=-1\n" + bad},
      {"two good epochs",
       start + ts + end + epochStart(kEpochTime + 1000) + s2m(rec(8, tsRecord(kGpsMsOfWeek + 1000))) +
           epochEnd(kEpochTime + 1000),
       2, 0, 4, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Chain::runs = 0;
    Chain::measAtRun = Chain::satStateAtRun = -1;
    RcvOut.bSolPresent = RcvOut.bRtkAvail = RcvOut.bHeadingAvail = RcvOut.sol.bOutPos = 1;
    RawFeed f;
    testing::internal::CaptureStderr();
    f.put(c.in);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    EXPECT_EQ((std::vector{Chain::runs, Chain::measAtRun, Chain::satStateAtRun}),
              (std::vector{c.runs, c.meas, c.satState}));
    EXPECT_EQ(f.raw->epochTime(), -1);
    EXPECT_FALSE(f.raw->timeOk());
    EXPECT_EQ(RcvOut.bSolPresent + RcvOut.bRtkAvail + RcvOut.bHeadingAvail + RcvOut.sol.bOutPos, 0);
  }
}

// The reference scale a time-scale record names is taken whether or not its time matches the
// epoch; a record naming no scale leaves it.
TEST(RawDecoderEpoch, ReferenceScaleIsTakenBeforeTheTimeMatch) {
  const struct { const char* what; std::string ts; int before, after; bool published; } rows[] = {
      {"GPS, matching", tsRecord(), 1, 0, true},
      {"GPS, one second late", tsRecord(kGpsMsOfWeek + 1000), 1, 0, false},
      {"GLONASS, Moscow time is not the epoch's", tsRecord(kGpsMsOfWeek, 1), 0, 1, false},
      {"scale 2 is none", tsRecord(kGpsMsOfWeek, 2), 1, 1, false},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    Chain::runs = 0;
    RcvTimeScales::rcvRefTime = r.before;
    RawFeed f;
    testing::internal::CaptureStderr();
    f.put(epochStart(kEpochTime) + s2m(rec(8, r.ts)) + epochEnd(kEpochTime));
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(RcvTimeScales::rcvRefTime.load(), r.after);
    EXPECT_EQ(Chain::runs, r.published ? 1 : 0);
  }
}

}  // namespace
