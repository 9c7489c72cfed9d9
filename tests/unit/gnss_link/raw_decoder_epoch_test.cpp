// Epoch framing and time scales of the raw decoder: bytes of the board's stream in, the time
// scales and the per-epoch chain out.
#include <gtest/gtest.h>

#include <string>

#include "gnss_link/meas_proc.h"
#include "positioning/rcv_time_scales.h"
#include "raw_test_util.h"

namespace {

using namespace rtest;
using ntest::epochEnd;
using ntest::epochStart;

// A SatData record putting one entry on channel 5 and a measurement on its slot 0.
std::string measRecords() {
  // recSize 15, one entry: channel 5, GPS satellite 7, state 1, number 9, then the 2 unread bytes.
  std::string sat = le(15, 1) + le(1, 1) + le(5, 1) + le(0, 1) + le(7, 1) + le(0, 2) + le(1, 1) + le(0, 1) +
                    le(9, 2) + lef(1.5f) + le(0, 2);
  // One signal on channel 5, slot 0.
  std::string sig = le(0, 1) + le(1, 1) + le(0, 1) + le(5, 1) + le(0, 4) + std::string(40, '\0');
  return s2m(rec(8, tsRecord()) + rec(7, sat)) + s2m(rec(11, sig));
}

TEST(RawDecoderEpoch, TimeScalesOfTheSimulatedEpoch) {
  RawFeed f;
  f.epoch(kEpochTime, s2m(rec(8, tsRecord())));
  const RcvTimeScales::INT_SCALES& s = RcvTimeScales::Req;
  EXPECT_EQ(s.weekDay[0], 268);
  EXPECT_EQ(s.cycle[0], 2);
  EXPECT_EQ(s.ms[0], 561618000);
  EXPECT_EQ(s.ms[0] % 86400000, 43218000);
  EXPECT_EQ(s.upTime, 3600);
  EXPECT_EQ(RcvTimeScales::rcvRefTime.load(), 0);
  GREGORIAN_EPOCH g{};
  EXPECT_EQ(RcvTimeScales::times2data(0, s, true, 1, g), 770558400);
  EXPECT_EQ(g.year, 2024);
  EXPECT_EQ(g.month, 6);
  EXPECT_EQ(g.day, 1);
  EXPECT_EQ(g.hour, 12);
  EXPECT_EQ(g.minute, 0);
  EXPECT_EQ(g.second, 0);
  EXPECT_EQ(Chain::runs, 1);
}

TEST(RawDecoderEpoch, TimeRecordFaultsLeaveTheEpochWithoutChain) {
  const struct {
    const char* name;
    std::string body;
    const char* text;
  } cases[] = {
      {"reference time one second late", s2m(rec(8, tsRecord(kGpsMsOfWeek + 1000))),
       "$$ @@ts: ERROR: time mismatch ts=43219000 epoch=43218000\n"},
      {"reference system 2", s2m(rec(8, tsRecord(kGpsMsOfWeek, 2))),
       "$$ @@ts: ERROR: bad reference system for time: 2\n"},
      {"one byte short", s2m(rec(8, tsRecord().substr(0, 96))), "$$ @@ts: ERROR: len=96 != 97\n"},
      {"no time record", s2m(rec(1, std::string(50, '\0'))), "$$ZrtRawDecoder: ERROR: bad epoch 43218000\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Chain::runs = 0;
    RawFeed f;
    testing::internal::CaptureStderr();
    f.epoch(kEpochTime, c.body);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find(c.text), std::string::npos) << err;
    EXPECT_NE(err.find("$$ZrtRawDecoder: ERROR: bad epoch 43218000\n"), std::string::npos);
    EXPECT_EQ(Chain::runs, 0);
    EXPECT_FALSE(f.raw->timeOk());
  }
}

TEST(RawDecoderEpoch, EndTimeDifferentRunsOnClearedMeasurements) {
  RawFeed f;
  testing::internal::CaptureStderr();
  f.put(epochStart(kEpochTime) + measRecords() + epochEnd(kEpochTime + 1));
  const std::string err = testing::internal::GetCapturedStderr();
  EXPECT_NE(err.find("$$ZrtRawDecoder: ERROR: epoch start/end times mismatch: 43218000/43218001\n"),
            std::string::npos);
  EXPECT_EQ(Chain::runs, 1);
  EXPECT_EQ(Chain::measAtRun, 0);
  EXPECT_EQ(Chain::satStateAtRun, 4);
  const BoardEpochPart& b = PVTDataInstance.epochData.GetPointer()->board;
  EXPECT_EQ(b.chan[5].uNumber, 65535);
}

TEST(RawDecoderEpoch, EpochStartClearsTheOutputRecordsValidity) {
  RcvOut.bSolPresent = RcvOut.bRtkAvail = RcvOut.bHeadingAvail = RcvOut.bOutPos = 1;
  RawFeed f;
  f.put(epochStart(kEpochTime));
  EXPECT_EQ(RcvOut.bSolPresent + RcvOut.bRtkAvail + RcvOut.bHeadingAvail + RcvOut.bOutPos, 0);
}

TEST(RawDecoderEpoch, GoodEpochKeepsItsMeasurements) {
  RawFeed f;
  f.epoch(kEpochTime, measRecords());
  EXPECT_EQ(Chain::runs, 1);
  EXPECT_EQ(Chain::measAtRun, 1);
  EXPECT_EQ(Chain::satStateAtRun, 1);
}

TEST(RawDecoderEpoch, ChainAtMostOncePerStart) {
  const struct {
    const char* name;
    std::string stream;
    int runs;
  } cases[] = {
      {"repeated end", epochStart(kEpochTime) + s2m(rec(8, tsRecord())) + epochEnd(kEpochTime) + epochEnd(kEpochTime),
       1},
      {"end after a lost start",
       epochStart(kEpochTime) + s2m(rec(8, tsRecord())) + epochEnd(kEpochTime) + s2m(rec(8, tsRecord())) +
           epochEnd(kEpochTime),
       1},
      {"abandoned then repeated", epochStart(kEpochTime) + s2m(rec(8, tsRecord())) + ntest::frame("||", "") +
                                      epochEnd(kEpochTime),
       1},
      {"two good epochs", epochStart(kEpochTime) + s2m(rec(8, tsRecord())) + epochEnd(kEpochTime) +
                              epochStart(kEpochTime + 1000) + s2m(rec(8, tsRecord(kGpsMsOfWeek + 1000))) +
                              epochEnd(kEpochTime + 1000),
       2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Chain::runs = 0;
    RawFeed f;
    testing::internal::CaptureStderr();
    f.put(c.stream);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(Chain::runs, c.runs);
    EXPECT_EQ(f.raw->epochTime(), -1);
  }
}

}  // namespace
