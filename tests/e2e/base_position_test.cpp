// The base's own reference position from outside, with the board simulator streaming its sky
// at its site (50 N, 10 E, 300 m): a position entered as geodetic coordinates goes out in RTCM 3
// 1005 and 1006 as gpsd's gpsdecode and rtklib's convbin read them, within 1 mm of the Earth-fixed
// coordinates GeographicLib's CartConvert gives, and again after a restart without being entered
// again; averaging started by key ends in a measured reference position at the site that prints
// and becomes the station position of 1005.
#include <unistd.h>

#include <cmath>
#include <vector>

#include "e2e/harness.h"
#include "e2e/nav_rinex.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

using rinex::rtcm3Count;
using rinex::rtcm3Frames;
using rinex::rtcm3Type;

class BasePosition : public Rx {};

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";

// gpsdecode's x, y, z of every 1005 and 1006 frame.
std::vector<std::array<double, 3>> stationPositions(const RunDir& dir, const std::string& held) {
  std::string all;
  for (const std::string& f : rtcm3Frames(held))
    if (rtcm3Type(f) == 1005 || rtcm3Type(f) == 1006) all += f;
  std::vector<std::array<double, 3>> out;
  for (const std::string& line : gpsdecode(dir, all)) {
    const std::array<double, 3> xyz{jsonNumber(line, "x", NAN), jsonNumber(line, "y", NAN), jsonNumber(line, "z", NAN)};
    if (!std::isnan(xyz[0] + xyz[1] + xyz[2])) out.push_back(xyz);
  }
  return out;
}

// The site's Earth-fixed coordinates by GeographicLib.
std::vector<double> siteXyz() { return cartConvert("50 10 300"); }

TEST_F(BasePosition, EnteredPositionGoesOutIn1005And1006AndAfterARestart) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  const std::vector<double> want = siteXyz();
  ASSERT_EQ(want.size(), 3u) << "CartConvert (GeographicLib) is required";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%k%set,/par/pos/ref/known/geo,{50,10,300}"), re("%k%"));
  {
    Port b(dir_.file("dev/ser/b"));
    ASSERT_TRUE(b.ok());
    ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/{1005,1006,1077}:1"), re("%e%"));
    // The satellites join the base's epoch once their ephemerides are decoded (18 s of GPS time).
    ASSERT_TRUE(b.fill([](const std::string& h) { return rtcm3Count(h, 1077) >= 3; }, 60000)) << b.held.size();
    const auto pos = stationPositions(dir_, b.held);
    ASSERT_GE(pos.size(), 6u);
    for (const auto& p : pos) EXPECT_TRUE(xyzNear(p.data(), want.data(), 0.001));
    // convbin's RINEX header holds the station position it read.
    std::string rtcm;
    for (const std::string& f : rtcm3Frames(b.held)) rtcm += f;
    dir_.write("b.rtcm3", rtcm);
    ASSERT_TRUE(runIn(dir_, "convbin -r rtcm3 -tr 2010/07/01 12:00:00 -v 3.04 -od -os -o b.obs b.rtcm3"));
    const std::string obs = dir_.read("b.obs");
    double xyz[3];
    ASSERT_TRUE(rinex::rinexStation(obs, xyz)) << obs.substr(0, 2000);
    EXPECT_TRUE(xyzNear(xyz, want.data(), 0.001));
  }
  // The stored position is published again at the next start.
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1005:1"), re("%e%"));
  ASSERT_TRUE(b.fill([](const std::string& h) { return rtcm3Count(h, 1005) >= 2; }, 15000)) << b.held.size();
  const auto pos = stationPositions(dir_, b.held);
  ASSERT_FALSE(pos.empty());
  EXPECT_TRUE(xyzNear(pos.back().data(), want.data(), 0.001));
  // Cleared, the base has no position of its own: no 1005 comes any more.
  ASSERT_EQ(ask("%c%set,/par/pos/ref/known/xyz,{0,0,0}"), re("%c%"));
  b.fill([](const std::string&) { return false; }, 1500);
  b.held.clear();
  b.fill([](const std::string&) { return false; }, 3000);
  EXPECT_EQ(rtcm3Count(b.held, 1005), 0) << b.held.size() << " bytes";
}

TEST_F(BasePosition, AveragingStartedByKeyEndsInTheMeasuredReferencePosition) {
  const std::vector<double> want = siteXyz();
  ASSERT_EQ(want.size(), 3u) << "CartConvert (GeographicLib) is required";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%t%set,/par/pos/avg/time,3"), re("%t%"));
  ASSERT_EQ(ask("%a%set,/par/pos/avg/start,on"), re("%a%"));
  EXPECT_EQ(ask("print,/par/pos/avg/start"), re("on"));
  ASSERT_TRUE(waitUntil([&] { return ask("print,/par/pos/avg/start") == re("off"); }, 20000)) << "averaging ends";
  // The board's solution is the site: so is the average, Cartesian and geodetic.
  EXPECT_TRUE(xyzNear(ask("print,/par/pos/ref/meas/xyz"), want.data(), 0.001));
  EXPECT_EQ(ask("print,/par/pos/ref/meas/geo"), re("{lat=50.000000000,lon=10.000000000,alt=300.0000}"));
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1005:1"), re("%e%"));
  ASSERT_TRUE(b.fill([](const std::string& h) { return rtcm3Count(h, 1005) >= 2; }, 15000)) << b.held.size();
  const auto pos = stationPositions(dir_, b.held);
  ASSERT_FALSE(pos.empty());
  EXPECT_TRUE(xyzNear(pos.back().data(), want.data(), 0.001));
}

// Averaging weighs each fix by its standard deviations: the simulator's fixes lie 8 m north of the
// site in even seconds and 8 m south with three times the standard deviations in odd ones, so
// four of them (two of each) average to 8 x (1 - 1/3) / (1 + 1/3) = 4 m north, in WGS 84 as in a
// user datum (the European datum 1950, whose transformation the average goes through and back).
TEST_F(BasePosition, AveragingWeighsEachFixByItsStandardDeviationsInAnyDatum) {
  const std::vector<double> site = siteXyz();
  ASSERT_EQ(site.size(), 3u) << "CartConvert (GeographicLib) is required";
  const double lat = 50.0 * M_PI / 180, lon = 10.0 * M_PI / 180;
  const double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)};
  for (const char* datum : {"W84", "EUR_F"}) {
    SCOPED_TRACE(datum);
    fresh();
    ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--sol-scatter", "8"}));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(ask(std::string("%u%set,/par/pos/datum,") + datum), re("%u%"));
    ASSERT_EQ(ask("%t%set,/par/pos/avg/time,4"), re("%t%"));
    ASSERT_EQ(ask("%a%set,/par/pos/avg/start,on"), re("%a%"));
    ASSERT_TRUE(waitUntil([&] { return ask("print,/par/pos/avg/start") == re("off"); }, 20000)) << "averaging ends";
    const double want[3] = {site[0] + 4.0 * north[0], site[1] + 4.0 * north[1], site[2] + 4.0 * north[2]};
    EXPECT_TRUE(xyzNear(ask("print,/par/pos/ref/meas/xyz"), want, 0.005));
  }
}

}  // namespace
}  // namespace e2e
