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

// Averaging weighs each fix by its standard deviations along each Earth-centred axis (weight 1/sigma),
// in WGS 84 as in a user datum (the European datum 1950, whose transformation the average goes
// through and back). The simulator's fixes lie 8 m north of the site in even seconds and 8 m south
// in odd ones: with the standard deviations of the geometry, three times them in odd seconds, four
// fixes (two of each) average to 8 x (1 - 1/3) / (1 + 1/3) = 4 m north on every axis. With given
// standard deviations whose shape changes between the two (north 1 m, east 3 m, covariance
// +1.5 m^2 in even seconds; north 3 m, east 1 m, covariance -1.5 m^2 in odd ones; up 2 m), each
// axis has weights of its own, which the north-east covariance reaches at the site's longitude of
// 10 degrees: the axis's standard deviation is the square root of the diagonal of R C R^T (C the
// east-north-up covariance, R's columns the local east, north and up), multiplied out here.
TEST_F(BasePosition, AveragingWeighsEachFixByItsStandardDeviationsInAnyDatum) {
  const std::vector<double> site = siteXyz();
  ASSERT_EQ(site.size(), 3u) << "CartConvert (GeographicLib) is required";
  const double lat = 50.0 * M_PI / 180, lon = 10.0 * M_PI / 180;
  const double R[3][3] = {{-std::sin(lon), -std::sin(lat) * std::cos(lon), std::cos(lat) * std::cos(lon)},
                          {std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat) * std::sin(lon)},
                          {0.0, std::cos(lat), std::sin(lat)}};
  // Per axis the standard deviation of north, east, up sigmas and covariance `g`.
  const auto axisSigma = [&](const double g[4], int i) {
    const double C[3][3] = {{g[1] * g[1], g[3], 0.0}, {g[3], g[0] * g[0], 0.0}, {0.0, 0.0, g[2] * g[2]}};
    double v = 0.0;
    for (int j = 0; j < 3; ++j)
      for (int k = 0; k < 3; ++k) v += R[i][j] * C[j][k] * R[i][k];
    return std::sqrt(v);
  };
  const struct {
    const char* datum;
    const char* sigma;  // --sol-sigma, nullptr: the geometry's
    double even[4], odd[4];
  } rows[] = {{"W84", nullptr, {}, {}},
              {"EUR_F", nullptr, {}, {}},
              {"W84", "1,3,2,1.5:3,1,2,-1.5", {1, 3, 2, 1.5}, {3, 1, 2, -1.5}},
              {"EUR_F", "1,3,2,1.5:3,1,2,-1.5", {1, 3, 2, 1.5}, {3, 1, 2, -1.5}}};
  for (const auto& r : rows) {
    SCOPED_TRACE(std::string(r.datum) + " " + (r.sigma != nullptr ? r.sigma : "geometry"));
    fresh();
    std::vector<std::string> args = {"--nav", kNav, "--sky", "--sol-scatter", "8"};
    if (r.sigma != nullptr) args.insert(args.end(), {"--sol-sigma", r.sigma});
    ASSERT_NO_FATAL_FAILURE(startSim(args));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(ask(std::string("%u%set,/par/pos/datum,") + r.datum), re("%u%"));
    ASSERT_EQ(ask("%t%set,/par/pos/avg/time,4"), re("%t%"));
    ASSERT_EQ(ask("%a%set,/par/pos/avg/start,on"), re("%a%"));
    ASSERT_TRUE(waitUntil([&] { return ask("print,/par/pos/avg/start") == re("off"); }, 20000)) << "averaging ends";
    double want[3];
    for (int i = 0; i < 3; ++i) {
      const double wEven = r.sigma != nullptr ? 1.0 / axisSigma(r.even, i) : 1.0;
      const double wOdd = r.sigma != nullptr ? 1.0 / axisSigma(r.odd, i) : 1.0 / 3.0;
      want[i] = site[i] + 8.0 * R[i][1] * (wEven - wOdd) / (wEven + wOdd);
    }
    EXPECT_TRUE(xyzNear(ask("print,/par/pos/ref/meas/xyz"), want, 0.005));
  }
}

}  // namespace
}  // namespace e2e
