#include <gtest/gtest.h>

#include <set>

#include "differential/base/cpd_meas_buf.h"
#include "differential/base/rover_intake.h"
#include "gnss_link/meas_proc.h"
#include "positioning/chan_data.h"
#include "positioning/rcv_time_scales.h"
#include "settings/rcv_settings.h"

namespace {

// 2024-06-01 (a Saturday), GPS week 2316; GPS is 18 s ahead of UTC.
constexpr std::int32_t kSaturdayMs = 6 * 86400000;

void setEpoch(long t) {
  RcvTimeScales::INT_SCALES& s = RcvTimeScales::Req;
  s = RcvTimeScales::INT_SCALES{};
  s.ms[0] = kSaturdayMs + static_cast<std::int32_t>(t);
  s.weekDay[0] = 268;
  s.cycle[0] = 2;
  s.sysUtc[0] = 18;
  s.flags[0] = 0x570;
  s.ms[1] = static_cast<std::int32_t>((t - 18000 + 3 * 3600000) % 86400000);
  RcvTimeScales::rcvRefTime = 0;
}

struct Chan {
  int ch, sysCode, svNum;
};

// Each epoch: its time (ms of the GPS day), the channels tracking, and the global ids of their
// satellites (from the id table: GPS n, GLONASS channel + 40, Galileo n + 47, SBAS PRN - 36,
// QZSS PRN - 81, BeiDou n + 118, NavIC n + 181).
const struct {
  long t;
  std::vector<Chan> chans;
  std::set<int> ids;
} kEpochs[] = {
    {43200000, {{0, 0, 5}, {1, 1, 253}, {2, 3, 11}, {91, 4, 30}, {92, 2, 184}}, {5, 37, 58, 148, 113}},
    {43200100, {{1, 1, 253}, {2, 3, 11}, {3, 2, 131}, {4, 6, 14}, {95, 5, 199}}, {37, 58, 95, 195, 118}},
    {43201000, {{5, 7, 3}, {6, 0, 0}, {7, 0, 32}, {8, 0, 32}}, {32}},
    {46799900, {}, {}},
    {46800000, {{90, 1, 7}, {181, 1, 249}}, {47, 33}},
};

TEST(RoverIntakeChain, EachEpochLeavesItsTimeAndItsSatellites) {
  measProcLinks.roverMeas = cpdRoverIntake;
  cpdBufsInit();
  RcvSet.msInt = RcvSet.posMsInt = RcvSet.posUpdateRate = RcvSet.rawUpdateRate = 100;
  measProcSettingsLoaded();
  for (const auto& e : kEpochs) {
    SCOPED_TRACE(e.t);
    for (ChanData& c : Cdat) c.bDataPresent = 0;
    for (const Chan& c : e.chans) {
      Cdat[c.ch].bDataPresent = 1;
      Cdat[c.ch].sysCode = static_cast<std::uint8_t>(c.sysCode);
      Cdat[c.ch].svNum = static_cast<std::int16_t>(c.svNum);
    }
    setEpoch(e.t);
    signalMeasReady();
    CpdMeasTimes times;
    CpdEpochId id;
    ASSERT_TRUE(cpdGetTimesAndId(times, &id));
    EXPECT_EQ(id.get(), (kSaturdayMs + e.t) % 3600000);
    EXPECT_EQ(times.time[0], kSaturdayMs + e.t);
    std::set<int> got;
    for (int i = 0; i <= 196; ++i)
      if (cpdRecentSvs_.has(i)) got.insert(i);
    EXPECT_EQ(got, e.ids);
    // The rover epoch of the main input carries the same id.
    const CpdMeas* m = pRovMeasBuf[0]->doFind(id);
    ASSERT_NE(m, nullptr);
    pRovMeasBuf[0]->doUnlock(m);
  }
}

}  // namespace
