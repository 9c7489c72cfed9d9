// The BeiDou GEOs' wide-area corrections through the running program: with a RINEX 4 day the
// board simulator broadcasts, beside the D2 ephemeris pages, the rest of each 3-s frame:
// subframes 2 and 3 with the UDRE indices and equivalent clock corrections of the satellites of
// the BDID mask, and subframe 5's ionosphere grid pages (1-13 and 61-73 of its 6-min cycle). Its
// orbits and clocks are those broadcast, so every correction it sends is 0; its sky has an
// ionosphere (--iono) whose vertical delay the grid gives at every grid point. With the wide-area
// service set to BeiDou and its ionosphere switched on, the D2 generator answers for the BeiDou
// satellites alone (whose B1I/B3I channels give no TEC calibration, and whose position the board
// computes): their ionosphere corrections take out the delay the sky put in their codes, which the
// broadcast model does not; the GPS satellites keep the broadcast Klobuchar model, so their
// calibration (measured minus modelled delay at 45 degrees or more) stays the sky's delay and
// group delay less the model of the night, 5 ns times the obliquity factor (IS-GPS-200
// 20.3.3.5.2.5).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <map>
#include <sstream>
#include <thread>

#include "e2e/harness.h"
#include "e2e/sky_truth.h"

namespace e2e {
namespace {

class SimD2Corrections : public Rx {};

const std::string kBrd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
constexpr double kPi = 3.14159265358979323846;
constexpr double kC = 299792458.0;

// The mean and spread of the GPS calibration (block 8334: seconds, then 7 means and 7 deviations
// as doubles from byte 8).
struct Calib {
  std::int32_t seconds = 0;
  double gps = 0;
};
Calib calibOf(const std::string& img) {
  Calib c;
  const std::string d = blockData(img, 8334);
  if (d.size() < 120) return c;
  c.seconds = fieldAt<std::int32_t>(d, 0);
  c.gps = fieldAt<double>(d, 8);
  return c;
}

// The mean of measured minus modelled first-frequency delay (m) of the GPS samples the truth file
// gives at 45 degrees or more in its seconds after `from`: the measured delay the group delay
// (L1 and L2 codes differ only by it), the model the night-time Klobuchar delay at the elevation
// (C/N0 is 30 + 20 sin of it); NaN when there is none.
double meanCalibration(const std::string& truth, double from) {
  constexpr double kGamma = (1575.42 / 1227.60) * (1575.42 / 1227.60);
  std::map<std::pair<double, std::string>, std::map<int, std::pair<double, double>>> sig;
  std::istringstream in(truth);
  for (std::string line; std::getline(in, line);) {
    std::istringstream f(line);
    std::string sat;
    double sow = 0, code = 0, phase = 0, dopp = 0, cn0 = 0;
    int slot = 0;
    if (f >> sow >> sat >> slot >> code >> phase >> dopp >> cn0) sig[{sow, sat}][slot] = {code, cn0};
  }
  double sum = 0;
  int n = 0;
  for (const auto& [key, s] : sig) {
    if (key.first <= from || (!std::isdigit(static_cast<unsigned char>(key.second[0])) && key.second[0] != 'G')) continue;
    if (!s.contains(0) || !s.contains(2)) continue;
    const double el = std::asin(std::min(1.0, (s.at(0).second - 30.0) / 20.0));
    if (el < 45.0 * kPi / 180) continue;
    const double e = el / kPi;
    sum += (s.at(2).first - s.at(0).first) / (kGamma - 1) - 5e-9 * kC * (1 + 16 * std::pow(0.53 - e, 3));
    ++n;
  }
  return n > 0 ? sum / n : NAN;
}

// The ionosphere correction of each satellite in the last print of the correction epoch (debug
// selector 199) after `from`, by its name.
std::map<std::string, double> printedIono(const std::string& out, std::size_t from) {
  std::map<std::string, double> got;
  std::istringstream in(out.substr(std::min(from, out.size())));
  for (std::string line; std::getline(in, line);) {
    char sat[8] = {};
    unsigned iod = 0;
    double v = 0;
    if (std::sscanf(line.c_str(), "$$ corr %7s iod %u iono %lf", sat, &iod, &v) == 3) got[sat] = v;
  }
  return got;
}

// The largest and the mean difference between printed corrections and the sky's delays (a
// correction is the negated delay), over the satellites in both; their count.
struct Fit {
  double worst = 0, mean = 0;
  int n = 0;
};
Fit fitOf(const std::map<std::string, double>& printed, const std::string& truthText) {
  Fit f;
  for (const auto& [sat, sig] : truth::lastSecond(truthText)) {
    const auto it = printed.find(sat);
    if (sat[0] != 'C' || it == printed.end()) continue;
    const double d = std::fabs(it->second + sig.iono);
    f.worst = std::max(f.worst, d);
    f.mean += d;
    ++f.n;
  }
  if (f.n > 0) f.mean /= f.n;
  return f;
}

// The last second of the truth file.
double lastSecond(const std::string& truth) {
  double last = -1;
  std::istringstream in(truth);
  for (std::string line; std::getline(in, line);) {
    double sow = 0;
    if (std::istringstream(line) >> sow) last = std::max(last, sow);
  }
  return last;
}

TEST_F(SimD2Corrections, GeoCorrectionsRunAndLeaveTheGpsSatellitesToKlobuchar) {
  // 02:29:30 in Hong Kong (the Klobuchar model at its night-time constant); BDT second 66 574,
  // D2 frame 110 of its 120-frame cycle: the GEOs' ephemerides (pages 1-10) by frame 120, grid
  // pages 1-13 (the points of the whole-degree rows, the corners of the 5-degree cells) in
  // frames 120-132, within 70 s.
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--sky", "--iono", "--site", "22.3,114.2,50", "--start",
                                    "2023-03-12T18:29:26", "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  for (const auto& [k, v] : {std::pair{"pos/wd/sel", "comp"}, std::pair{"pos/iono/wd", "on"},
                             std::pair{"pos/wd/smooth/iono", "0"}, std::pair{"rtk/dbi/temp", "199"}})
    ASSERT_EQ(ask(std::string("%k%set,/par/") + k + "," + v), re("%k%")) << k;
  // Once the grid is there the BeiDou satellites' corrections take out the sky's delays, within
  // 0.1 m (the program finds its pierce points from the broadcast orbits, a second apart).
  // Waits while the program prints, up to 150 s of the simulated sky (a busy machine runs it
  // slower than the clock; the grid is complete after 70).
  Fit grid;
  double skySeconds = 0;
  ASSERT_TRUE(waitOnProgress(
      [&] {
        const std::string out = rx_->out();
        const std::string truth = dir_.read("sky.truth");
        grid = fitOf(printedIono(out, out.size() > 20000 ? out.size() - 20000 : 0), truth);
        double first = 0;
        std::istringstream(truth) >> first;
        skySeconds = truth.empty() ? 0 : lastSecond(truth) - first;
        return (grid.n >= 8 && grid.worst < 0.1) || skySeconds > 150;
      },
      [&] { return rx_->out().size(); }));
  ASSERT_TRUE(grid.n >= 8 && grid.worst < 0.1)
      << grid.n << " satellites, worst " << grid.worst << " after " << skySeconds << " s of sky";
  // Without the grid the broadcast model answers: metres away.
  std::size_t from = rx_->out().size();
  ASSERT_EQ(ask("%k%set,/par/pos/iono/wd,off"), re("%k%"));
  Fit model;
  EXPECT_TRUE(waitUntil([&] {
    model = fitOf(printedIono(rx_->out(), from), dir_.read("sky.truth"));
    return model.n >= 8 && model.mean > 0.5;
  })) << "the broadcast model is not the sky's: " << model.mean;
  ASSERT_EQ(ask("%k%set,/par/pos/iono/wd,on"), re("%k%"));
  // The meteorological values entered by key reach the troposphere stage's record and come back
  // from it as they were entered, the defaults first.
  EXPECT_NE(rx_->out().find("$$ meteo 20.00 50.00 1010.00\n"), std::string::npos);
  for (const auto& [k, v] : {std::pair{"tempc", "-5"}, std::pair{"humid", "70"}, std::pair{"press", "990.5"}})
    ASSERT_EQ(ask(std::string("%k%set,/par/pos/pd/") + k + "," + v), re("%k%")) << k;
  from = rx_->out().size();
  EXPECT_TRUE(waitUntil([&] { return rx_->out().find("$$ meteo -5.00 70.00 990.50\n", from) != std::string::npos; }));
  // A calibration begun with the grid there: its mean is that of the samples of the GPS
  // satellites at 45 degrees or more over its seconds (the satellites are the same throughout;
  // one near 45 degrees may count or not, hence 0.3 m).
  ASSERT_EQ(ask("%k%set,/par/pos/tec/calib,on"), re("%k%"));
  ASSERT_TRUE(waitUntil([&] { return calibOf(dir_.read(".gnss.nvm")).seconds >= 20; }, 60000)) << "no calibration";
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  const Calib got = calibOf(dir_.read(".gnss.nvm"));
  const std::string truth = dir_.read("sky.truth");
  const double want = meanCalibration(truth, lastSecond(truth) - got.seconds - 1);
  ASSERT_FALSE(std::isnan(want)) << "no GPS satellite at 45 degrees";
  std::printf("GPS calibration %.3f m over %d s, of the samples %.3f m\n", got.gps, got.seconds, want);
  EXPECT_NEAR(got.gps, want, 0.3);
}

}  // namespace
}  // namespace e2e
