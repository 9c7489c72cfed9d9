#include "differential/decoder_status.h"

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "rtcm3_test_util.h"

#include "differential/rtcm3_decoder.h"
#include "positioning/time_scales.h"
#include "unit/fixed_scales.h"
#include "unit/own_process.h"

namespace {

using PortRecord = DecoderStatus::PortRecord;


// Each filed epoch period stays visible in every later publication, whichever half it lands in.
TEST(DecoderStatus, FiledPeriodsStayVisibleAcrossWrites) {
  DecSt.setDecMode(1, DecoderStatus::kRtcm3);
  RTC3_DEC_STATUS st{};
  st.latency = 250;
  st.stationId = 0xFFFF;
  st.epochPeriod.init();
  for (const auto& [period, sys] : {std::pair(1000, 0), std::pair(5000, 1)}) {
    st.epochPeriod.period = period, st.epochPeriod.sys = sys;
    DecSt.putStatus(1, st);
    EXPECT_EQ(st.epochPeriod.period, -1);  // filed once
  }
  for (int i = 0; i < 3; ++i) {
    st.goodFrames = 10 + i;
    DecSt.putStatus(1, st);
    PortRecord r{};
    ASSERT_TRUE(DecSt.get(1, r));
    const DecoderStatus::DataStream& s = r.streams[0];
    EXPECT_EQ(std::tuple(s.period[0], s.period[1], s.good, s.station, s.latency), std::tuple(1000, 5000, 10 + i, -1, 250));  // station sign-extended
  }
}

TEST(DecoderStatus, ReadersNeverSeeATornRecord) {
  DecSt.putStatus(0, DecoderStatus::DataStream{}, DecoderStatus::kZrt);  // empty before the writers
  std::atomic<bool> stop{false};
  std::atomic<long> reads{0}, torn{0};
  auto writer = [](int base) {
    for (int v = base; v < base + 20000; ++v) {
      DecoderStatus::DataStream s{};
      s.good = s.bad = s.lastTime = s.station = s.latency = v;
      s.quality = static_cast<float>(v);
      for (int& p : s.period) p = v;
      DecSt.putStatus(0, s, DecoderStatus::kZrt);
    }
  };
  auto reader = [&] {
    for (PortRecord r; !stop.load(); ++reads) {
      DecSt.get(0, r);
      const DecoderStatus::DataStream& s = r.streams[0];
      bool same = s.bad == s.good && s.lastTime == s.good && s.station == s.good && s.latency == s.good &&
                  s.quality == static_cast<float>(s.good);
      for (int p : s.period) same = same && p == s.good;
      torn += s.good != 0 && !same;
    }
  };
  std::thread r1(reader), r2(reader), w1(writer, 1000000), w2(writer, 5000000);
  w1.join(), w2.join();
  while (reads.load() < 1000) std::this_thread::yield();
  stop = true;
  r1.join(), r2.join();
  EXPECT_EQ(std::tuple(torn.load(), DecSt.sequence(0) % 2), std::tuple(0, 0u));
}

TEST(EpochPeriod, OneHertzHourRolloverRepeatedEpochsAndSystemsOutOfRange) {
  struct Step { long time; int sys, period, sysAfter; };  // period and system after the call
  struct Case { const char* what; std::vector<Step> steps; };
  const Case cases[] = {
      {"hour rollover", {{3599000, 0, -1, 0}, {3600000, 0, 1000, 0}}},
      {"rollover given modulo the hour", {{7199000, 2, -1, 2}, {0, 2, 1000, 2}}},
      {"epoch at time 0 counts", {{0, 1, -1, 1}, {1000, 1, 1000, 1}}},
      {"5 Hz", {{100, 5, -1, 5}, {300, 5, 200, 5}}},
      {"systems out of range", {{100, 7, -1, -1}, {1100, 7, -1, -1}, {100, -1, -1, -1}}},
      {"a further message of the same epoch files the last period again; systems keep their own",
       {{1000, 0, -1, 0}, {2000, 0, 1000, 0}, {2000, 0, 1000, 0}, {500, 1, -1, 1}, {1500, 1, 1000, 1}, {4000, 0, 2000, 0}}},
  };
  for (const Case& c : cases) {
    NAV_Decoder_Kernel::EPOCH_PERIOD p;
    p.init();
    for (const Step& s : c.steps) {
      p.period = -1;  // filed
      decUtilsGetEpochPeriod(s.time, s.sys, p);
      EXPECT_EQ(std::tuple(p.period, p.sys), std::tuple(s.period, s.sysAfter)) << c.what << " at " << s.time;
    }
  }
}

// From the program's start (a process of its own): no time scales published yet.
TEST_OWN(Latency, AgainstThePublishedTimeScales) {
  long lat = -1;
  decUtilsGetLatency(1000, 0, lat);
  EXPECT_EQ(lat, -1);  // no time yet
  RcvTimeScales::INT_SCALES s{};
  s.ms[0] = 100, s.ms[1] = 3 * 3600000 + 500;  // 100 ms into the GPS week, GLONASS day
  s.flags[0] = s.flags[1] = 0x40;
  testscales::publishFixed(s, 1234);
  struct Case { long time; int sys; long latency; };
  // Tag in the previous minute; Galileo at the previous week's end; GLONASS day; BeiDou 14 s behind; no tag.
  const Case cases[] = {{59900, 0, 200}, {50, 0, 50}, {604799900, 2, 200}, {3 * 3600000 + 100, 1, 400},
                        {604800000 - 14000 + 50, 5, 50}, {-1, 0, -7}};
  for (const Case& c : cases) {
    lat = -7;
    decUtilsGetLatency(c.time, c.sys, lat);
    EXPECT_EQ(lat, c.latency) << c.time << " sys " << c.sys;
  }
}

}  // namespace
