// The simulator's scenario fed to the raw decoder: the bytes the GNSS board simulator writes
// for its epoch at 2024-06-01 12:00:00 UTC (its own writer, not the product's) decode into the
// time scales, power readings, task load, the once-record answer and a GPS LNAV subframe that
// matches the public GNSSTk vector.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../../../tools/gnss_board_sim/sim_native.h"
#include "board_fake_link.h"
#include "command/reply.h"
#include "gnss_link/slave_tasks.h"
#include "platform/misc_par.h"
#include "positioning/raw_nav_rings.h"
#include "positioning/rcv_time_scales.h"
#include "raw_test_util.h"

namespace {

std::vector<std::uint32_t> gnsstkLnavSf1() {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_nav_messages.csv");
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("ephLNAVGPSSF1,", 0) != 0) continue;
    const std::size_t end = line.rfind(',');
    const std::size_t start = line.rfind(',', end - 1);
    std::istringstream ws(line.substr(start + 1, end - start - 1));
    std::vector<std::uint32_t> words;
    std::string w;
    while (ws >> w) words.push_back(static_cast<std::uint32_t>(std::stoul(w.substr(0, w.find('/')), nullptr, 16)));
    return words;
  }
  return {};
}

TEST(RawDecoderSimStream, EpochOfTheFirstOfJune2024) {
  FakeBoard link;
  rtest::RawFeed f;
  const sim::TimeScales ts = sim::timeScales(1717243200, 0);  // 2024-06-01 12:00:00 UTC
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
  GREGORIAN_EPOCH g{};
  EXPECT_EQ(RcvTimeScales::times2data(0, s, true, 1, g), 770558400);
  EXPECT_EQ(rtest::Chain::runs, 1);

  EXPECT_FLOAT_EQ(miscPar[23].load(), 12.0f);
  EXPECT_FLOAT_EQ(miscPar[32].load(), 12.6f);
  EXPECT_FLOAT_EQ(miscPar[102].load(), 14.4f);

  Reply re;
  re.begin(nullptr, 0);
  printLoad(true, "load", &re, nullptr);
  EXPECT_EQ(std::string(re.text(), static_cast<std::size_t>(re.textLen())),
            "{{MEAS, 1,   250,  1200,   100}, {TRCK, 2,   610,  2400,   100}, {IDLE, 0,   140,     0,     0}}");
  EXPECT_EQ(link.out.written, "dm,,zrt/@@once\nset,load,0\n");

  const std::vector<std::uint32_t> want = gnsstkLnavSf1();
  ASSERT_EQ(want.size(), 10u);
  RawNavReader r;
  CorrData::GpsRawMessageType e{};
  ASSERT_TRUE(GpsRawMessageData.read(r, e));
  EXPECT_EQ(e.uSv, 4);
  EXPECT_EQ(e.uCount, 10);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(e.ulWords[i], want[static_cast<std::size_t>(i)]) << i;
}

}  // namespace
