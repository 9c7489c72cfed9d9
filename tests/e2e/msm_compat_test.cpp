// The BeiDou MSM compatibility setting (rtcm3/rover/msm/compat) on what a base sends: with "hard"
// the coder leaves out the cells of the satellites below 6 and above 58 (the GEO satellites among
// them), whose carriers receivers of other makes align differently; every other setting keeps
// them. The board simulator's sky over Hong Kong holds BeiDou GEO (C01-C05) and MEO/IGSO
// satellites; the satellites of each BeiDou MSM7 (1127) are read from its satellite mask (RTCM
// 10403.3 DF394).
#include <vector>

#include "e2e/harness.h"
#include "e2e/nav_rinex.h"

namespace e2e {
namespace {

using MsmCompat = Rx;

const std::string kBrd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";

// The satellites (1..64) of an MSM frame's mask: 73 bits of header fields after the message
// number, then 64 bits, satellite 1 first.
std::vector<int> msmSatellites(const std::string& f) {
  std::vector<int> v;
  const auto bit = [&](int i) { return (static_cast<unsigned char>(f[3 + i / 8]) >> (7 - i % 8)) & 1; };
  for (int k = 1; k <= 64; ++k)
    if (bit(73 + k - 1)) v.push_back(k);
  return v;
}

bool outside(int sat) { return sat < 6 || sat > 58; }

TEST_F(MsmCompat, HardLeavesOutTheBeiDouSatellitesOutsideSixToFiftyEight) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--start", "2023-03-12T10:10:00", "--site", "22.3,114.2,50", "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%k%set,/par/pos/ref/known/geo,{22.3,114.2,50}"), re("%k%"));
  ASSERT_EQ(ask("%c%set,/par/rtcm3/rover/msm/compat,def"), re("%c%"));
  Port out(dir_.file("dev/ser/b"));
  ASSERT_TRUE(out.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1127:1"), re("%e%"));

  // The 1127 frames in `held` from `from` on: how many, and how many hold a satellite outside 6..58.
  const auto count = [](const std::string& held, std::size_t from, int& frames, int& withOutside) {
    frames = withOutside = 0;
    for (const std::string& f : rinex::rtcm3Frames(held.substr(from))) {
      if (rinex::rtcm3Type(f) != 1127) continue;
      bool o = false, in = false;
      for (int s : msmSatellites(f)) (outside(s) ? o : in) = true;
      frames += in ? 1 : 0;
      withOutside += o ? 1 : 0;
    }
  };
  // BeiDou joins the MSM once its ephemerides are decoded: GEO and MEO satellites both.
  int frames = 0, withOutside = 0;
  ASSERT_TRUE(out.fill(
      [&](const std::string& h) {
        count(h, 0, frames, withOutside);
        return withOutside >= 3;
      },
      150000))
      << frames << " frames";

  struct Row {
    const char* compat;
    bool keepsOutside;
  };
  for (const Row& r : {Row{"hard", false}, Row{"v37", true}, Row{"hard", false}, Row{"def", true}}) {
    SCOPED_TRACE(r.compat);
    ASSERT_EQ(ask(std::string("%m%set,/par/rtcm3/rover/msm/compat,") + r.compat), re("%m%"));
    out.held.clear();
    ASSERT_TRUE(out.fill([](const std::string& h) { return h.size() > 0; }, 3000));
    waitUntil([] { return false; }, 1500);  // the frame coded under the old setting passes
    out.fill([](const std::string&) { return false; }, 100);
    const std::size_t from = out.held.size();
    out.fill([](const std::string&) { return false; }, 4000);
    count(out.held, from, frames, withOutside);
    EXPECT_GE(frames, 3);
    if (r.keepsOutside) EXPECT_EQ(withOutside, frames);
    else EXPECT_EQ(withOutside, 0);
  }
}

}  // namespace
}  // namespace e2e
