// The output record of each epoch from outside, through the debug line the temporary debug
// selector 197 prints (grid, base grid, output-datum position, WGS 84 position, undulation,
// separation, residual height), with the board simulator at its site (50 N, 10 E, 300 m):
//   - the output datum and grid chosen by key give GeographicLib's CartConvert and PROJ's proj
//     values of the site;
//   - a geoid file of the log store named by key, and read again at the next start, gives the
//     undulation of its grid node at the site instead of the built-in grid's;
//   - a fixed undulation replaces both;
//   - the reference-position mode "known" outputs the known position entered;
//   - the polar grid near either pole gives PROJ's ups values of the site;
//   - the own solution's dilutions of precision are those of the sky's geometry, and a satellite
//     the board's solution excludes is counted excluded (selector 198's lines).
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <sstream>
#include <vector>

#include "e2e/harness.h"
#include "e2e/sky_truth.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

class OutputRecord : public Rx {
 public:
  // What the running program has printed so far.
  std::string outNow() { return rx_ ? rx_->out() : std::string(); }
};

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
const std::string kGeoidFixture = std::string(RX_SHARED_DIR) + "/testdata/geoid/egm96_05deg_fixture.gemo";

using Line = OutputLine;

// The node of the geoid fixture at 50 N, 10 E (its grid starts at 90 N, 0 E in steps of 0.5
// degrees), read by the file's published layout apart from the product's loader.
double fixtureNode() {
  const std::string d = readFile(kGeoidFixture);
  const auto le32 = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<unsigned char>(d[at + i]);
    return static_cast<std::int32_t>(v);
  };
  const std::size_t headerLen = static_cast<std::size_t>(le32(8));
  const std::size_t k = d.find('\0', 16) - 16 + 1;  // the name and its NUL
  const std::size_t p = 16 + k;
  const int size = static_cast<unsigned char>(d[p]);
  const double offset = le32(p + 1) * 1e-5, scale = le32(p + 5) * (size == 2 ? 1e-11 : size == 3 ? 1e-13 : 1e-15);
  const double lat0 = le32(p + 9) / 3600000.0, lon0 = le32(p + 13) / 3600000.0;
  const int cols = le32(p + 21);
  const double dLat = le32(p + 25) / 3600000.0, dLon = le32(p + 29) / 3600000.0;
  const long row = std::lround((lat0 - 50.0) / dLat), col = std::lround((10.0 - lon0) / dLon);
  const std::size_t at = headerLen + static_cast<std::size_t>(row * cols + col) * static_cast<std::size_t>(size);
  const auto e = static_cast<std::int16_t>(static_cast<unsigned char>(d[at]) | static_cast<unsigned char>(d[at + 1]) << 8);
  return offset + scale * e;
}

}  // namespace

TEST_F(OutputRecord, DatumGridGeoidAndKnownPositionChangeWhatTheRecordHolds) {
  const std::vector<double> site = cartConvert("50 10 300", 6);
  ASSERT_EQ(site.size(), 3u) << "CartConvert (GeographicLib) is required";
  dir_.write(".gnss.log/egm96.gemo", readFile(kGeoidFixture));
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%d%set,/par/rtk/dbi/temp,197"), re("%d%"));

  // WGS 84, no grid, the built-in geoid grid (EGM2008: 47.99 m here).
  Line l = nextOutputLine();
  EXPECT_NEAR(l.wlat, 50.0, 1e-9);
  EXPECT_NEAR(l.wlon, 10.0, 1e-9);
  EXPECT_NEAR(l.walt, 300.0, 0.006);
  EXPECT_EQ(l.lat, l.wlat);
  EXPECT_EQ(l.alt, l.walt);
  EXPECT_EQ(l.n, 0.0);
  EXPECT_EQ(l.e, 0.0);
  const double builtIn = l.und;
  EXPECT_NEAR(l.sep, builtIn, 0.006);
  EXPECT_EQ(ask("print,/par/pos/geoid/model"), re("Default EGM2008"));

  // The European datum 1950 (international ellipsoid, shift -130, -117, -151 m to WGS 84): the
  // site's Earth-fixed position shifted back, made geodetic on that ellipsoid by CartConvert.
  ASSERT_EQ(ask("%1%set,/par/pos/datum,EUR_F"), re("%1%"));
  ASSERT_EQ(ask("%1%set,/par/pos/grid/prj,{TM,0,9,0.9996,0,500000}"), re("%1%"));
  ASSERT_EQ(ask("%1%set,/par/pos/grid/type,prj"), re("%1%"));
  char shifted[128];
  std::snprintf(shifted, sizeof shifted, "echo %.6f %.6f %.6f | CartConvert -r -e 6378388 1/297 -p 9", site[0] + 130,
                site[1] + 117, site[2] + 151);
  const std::vector<double> local = toolNumbers(shifted);
  ASSERT_EQ(local.size(), 3u);
  char projCmd[192];
  std::snprintf(projCmd, sizeof projCmd,
                "echo %.11f %.11f | proj -f %%.4f +proj=tmerc +lat_0=0 +lon_0=9 +k=0.9996 +x_0=500000 +ellps=intl",
                local[1], local[0]);
  const std::vector<double> grid = toolNumbers(projCmd);
  ASSERT_EQ(grid.size(), 2u);
  l = nextOutputLine();
  EXPECT_NEAR(l.lat, local[0], 2e-9);
  EXPECT_NEAR(l.lon, local[1], 2e-9);
  EXPECT_NEAR(l.alt, local[2], 0.006);
  EXPECT_NEAR(l.e, grid[0], 0.006);
  EXPECT_NEAR(l.n, grid[1], 0.006);
  EXPECT_NEAR(l.h, local[2], 0.006);
  EXPECT_NEAR(l.sep, local[2] - 300.0 + builtIn, 0.011) << "separation from the output datum";

  // UTM in the same datum: zone 32 is the same projection.
  ASSERT_EQ(ask("%2%set,/par/pos/grid/type,utm"), re("%2%"));
  l = nextOutputLine();
  EXPECT_NEAR(l.e, grid[0], 0.006);
  EXPECT_NEAR(l.n, grid[1], 0.006);

  // A geoid file: the undulation of its node at the site.
  const double node = fixtureNode();
  ASSERT_GT(std::fabs(node - builtIn), 0.02) << "the two grids must differ here";
  ASSERT_EQ(ask("%3%set,/par/pos/geoid/file,egm96.gemo"), re("%3%"));
  l = nextOutputLine();
  EXPECT_NEAR(l.und, node, 0.006);
  EXPECT_EQ(ask("print,/par/pos/geoid/model"), re("EGM96 0.5deg test fixture"));
  EXPECT_EQ(ask("print,/par/pos/geoid"), re("{fixed=off,und=0.000,file=egm96.gemo}")) << "a state, not a setting";

  // Read again at the next start, before any set (the debug selector is not a setting).
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%d%set,/par/rtk/dbi/temp,197"), re("%d%"));
  l = nextOutputLine();
  EXPECT_NEAR(l.und, node, 0.006);
  EXPECT_NEAR(l.lat, local[0], 2e-9) << "the datum is stored";

  // A fixed undulation replaces every grid.
  ASSERT_EQ(ask("%4%set,/par/pos/geoid/und,12.5"), re("%4%"));
  ASSERT_EQ(ask("%4%set,/par/pos/geoid/fixed,on"), re("%4%"));
  l = nextOutputLine();
  EXPECT_NEAR(l.und, 12.5, 1e-9);

  // Back to WGS 84 with the known position output in place of the computed one.
  ASSERT_EQ(ask("%5%set,/par/pos/datum,W84"), re("%5%"));
  ASSERT_EQ(ask("%5%set,/par/pos/ref/known/geo,{50.001,10.002,345.6}"), re("%5%"));
  l = nextOutputLine();
  EXPECT_NEAR(l.wlat, 50.001, 1e-9);
  EXPECT_NEAR(l.wlon, 10.002, 1e-9);
  EXPECT_NEAR(l.walt, 345.6, 0.006);
}

// Universal Polar Stereographic near either pole, against PROJ's ups: the site at 85 N, then at
// 85 S on the far side of the date line (UPS South's grid north runs along Greenwich's meridian
// too). Separate solutions per antenna input, and the code smoothed on the two-frequency carrier,
// leave the output on the main input's solution.
TEST_F(OutputRecord, UpsGridAtBothPolesWithSeparateSolutionsAndTwoFrequencySmoothing) {
  const struct {
    double lat, lon;
    const char* south;
  } sites[] = {{85.0, 10.0, ""}, {-85.0, -170.0, " +south"}};
  for (const auto& site : sites) {
    SCOPED_TRACE(site.lat);
    fresh();
    char where[64];
    std::snprintf(where, sizeof where, "%.1f,%.1f,300", site.lat, site.lon);
    ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--site", where}));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(ask("%d%set,/par/rtk/dbi/temp,197"), re("%d%"));
    ASSERT_EQ(ask("%1%set,/par/pos/grid/type,ups"), re("%1%"));
    char projCmd[160];
    std::snprintf(projCmd, sizeof projCmd, "echo %.1f %.1f | proj -f %%.4f +proj=ups%s +ellps=WGS84", site.lon,
                  site.lat, site.south);
    const std::vector<double> grid = toolNumbers(projCmd);
    ASSERT_EQ(grid.size(), 2u) << "proj (PROJ) is required";
    Line l = nextOutputLine();
    EXPECT_NEAR(l.wlat, site.lat, 1e-9);
    EXPECT_NEAR(l.wlon, site.lon, 1e-9);
    EXPECT_NEAR(l.e, grid[0], 0.006);
    EXPECT_NEAR(l.n, grid[1], 0.006);
    EXPECT_NEAR(l.h, 300.0, 0.006);

    // The channels' code smoothed on the two-frequency carrier (L1 C/A and L2 P of this sky)
    // beside the separate solutions: the output stays on the board's solution.
    ASSERT_EQ(ask("%2%set,/par/pos/sol/sep,on"), re("%2%"));
    ASSERT_EQ(ask("%3%set,/par/pos/smooth/comb,on"), re("%3%"));
    l = nextOutputLine();
    EXPECT_NEAR(l.wlat, site.lat, 1e-9);
    EXPECT_NEAR(l.wlon, site.lon, 1e-9);
    EXPECT_NEAR(l.walt, 300.0, 0.006);
    EXPECT_NEAR(l.e, grid[0], 0.006);
    EXPECT_NEAR(l.n, grid[1], 0.006);
    EXPECT_EQ(ask("print,/par/pos/smooth/comb"), re("on"));
  }
}

// The dilutions of precision G, P, N, E, H, V, T of the satellites the truth file gives in its
// last second but `left` (as the file writes it), by least squares over east, north, up and one
// clock; empty when they are fewer than four.
std::vector<double> truthDops(const std::string& text, const std::string& left) {
  auto sats = truth::lastSecond(text);
  sats.erase(left);
  if (sats.size() < 4) return {};
  double a[4][8] = {};
  for (const auto& [sat, sig] : sats) {
    const double el = sig.el * M_PI / 180, az = sig.az * M_PI / 180;
    const double row[4] = {-std::cos(el) * std::sin(az), -std::cos(el) * std::cos(az), -std::sin(el), 1.0};
    for (int i = 0; i < 4; ++i)
      for (int j = 0; j < 4; ++j) a[i][j] += row[i] * row[j];
  }
  for (int i = 0; i < 4; ++i) a[i][4 + i] = 1.0;
  for (int c = 0; c < 4; ++c) {  // the normal matrix is positive definite: no pivoting needed
    const double d = a[c][c];
    for (double& x : a[c]) x /= d;
    for (int r = 0; r < 4; ++r)
      if (r != c)
        for (int k = 7; k >= 0; --k) a[r][k] -= a[r][c] * a[c][k];
  }
  const double e = a[0][4], n = a[1][5], u = a[2][6], t = a[3][7];
  return {std::sqrt(e + n + u + t), std::sqrt(e + n + u), std::sqrt(n), std::sqrt(e), std::sqrt(e + n), std::sqrt(u),
          std::sqrt(t)};
}

// The output record's solution line at debug selector 198: its solution type and satellite counts
// (used, tracked, excluded) of each system G R E S J C I.
struct SolutionLine {
  int type = -1;
  int count[3][7] = {};
};
std::vector<SolutionLine> solutionLines(const std::string& text, std::size_t from) {
  std::vector<SolutionLine> out;
  std::istringstream in(text.substr(std::min(from, text.size())));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("$$ solution type ", 0) != 0 || in.eof()) continue;
    std::istringstream f(line.substr(17));
    SolutionLine s;
    f >> s.type;
    for (auto& row : s.count) {
      std::string name;
      f >> name;
      for (int& c : row) f >> c;
    }
    if (!f.fail()) out.push_back(s);
  }
  return out;
}

// The own solution's accuracy in the output record (its lines at debug selector 198): the seven
// dilutions of precision are those of the geometry of the simulator's sky, the standard deviations
// its 2 m range error times them (north, east, horizontal, up: N, E, H, V; 3D: P), and the error
// ellipse's axes hold the north and east variances between them. The board's solution leaves G19
// out (state 22 in its satellite record, not in its geometry): the record counts it excluded, and
// every other satellite of the sky used.
TEST_F(OutputRecord, OwnSolutionsAccuracyIsThatOfTheSkysGeometry) {
  ASSERT_NO_FATAL_FAILURE(
      startSim({"--nav", kNav, "--sky", "--sky-truth", dir_.file("sky.truth"), "--exclude", "19"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%d%set,/par/rtk/dbi/temp,198"), re("%d%"));
  std::vector<double> v;
  ASSERT_TRUE(waitUntil(
      [&] {
        const std::string out = outNow();
        const std::size_t at = out.rfind("$$ accuracy dop ");
        if (at == std::string::npos || out.find('\n', at) == std::string::npos) return false;
        std::istringstream f(out.substr(at + 16, out.find('\n', at) - at - 16));
        v.clear();
        for (std::string w; f >> w;)
          if (w != "sigma" && w != "ellipse") v.push_back(std::atof(w.c_str()));
        return v.size() == 15;
      },
      30000))
      << outNow();
  const std::string sky = dir_.read("sky.truth");
  const std::vector<double> want = truthDops(sky, "19");
  ASSERT_EQ(want.size(), 7u);
  const char* names[7] = {"G", "P", "N", "E", "H", "V", "T"};
  // The sky moves on by a second or two between the line and the truth's last second.
  for (int k = 0; k < 7; ++k) EXPECT_NEAR(v[k], want[k], 2e-3) << names[k] << "DOP";
  const int sigmaOf[5] = {2, 3, 4, 5, 1};  // north, east, horizontal, up, 3D
  for (int k = 0; k < 5; ++k) EXPECT_NEAR(v[7 + k], 2.0 * v[sigmaOf[k]], 1e-3) << "sigma " << k;
  EXPECT_NEAR(v[12] * v[12] + v[13] * v[13], v[7] * v[7] + v[8] * v[8], 2e-3) << "ellipse";
  EXPECT_GE(v[12], v[13]);
  // The counts of each system G R E S J C I: used, tracked, excluded.
  std::vector<SolutionLine> l;
  ASSERT_TRUE(waitUntil([&] { return !(l = solutionLines(outNow(), 0)).empty(); })) << outNow();
  const int type = l.back().type;
  const auto& count = l.back().count;
  EXPECT_EQ(type, 0) << "the board's own solution";
  const int inView = static_cast<int>(truth::lastSecond(sky).size());
  ASSERT_TRUE(truth::lastSecond(sky).count("19")) << "G19 is in view";
  EXPECT_EQ(count[0][0], inView - 1) << "used";
  EXPECT_EQ(count[1][0], inView) << "tracked";
  EXPECT_EQ(count[2][0], 1) << "excluded";
  for (int k = 1; k < 7; ++k) EXPECT_EQ(count[0][k] + count[1][k] + count[2][k], 0) << "system " << k;
}

// The board's RTK solution (its record "@@sr", 8 GPS satellites used of 10) takes the place of its
// own solution in the output record only in an RTK position mode (pf, pd, pp), with a solution
// type by its state (1 to 6: 3, 4, 5, 7, 8, 9); a state-1 solution outside pf and a state-3 one
// only while pos/sol/rtk1 and pos/sol/rtk3 let them through.
TEST_F(OutputRecord, RtkSolutionsOfStatesOneAndThreeOnlyWhileTheirKeysLetThemThrough) {
  constexpr int kOwn = 0;
  const struct Step {
    const char* what;
    std::vector<const char*> sets;
    int type;  // the record's solution type
  } state1[] = {
      {"sp", {}, kOwn},
      {"pd", {"pos/mode,pd"}, kOwn},
      {"pd, rtk1 on", {"pos/sol/rtk1,on"}, 3},
      {"pf, rtk1 off", {"pos/sol/rtk1,off", "pos/mode,pf"}, 3},
      {"pf, rtk3 off", {"pos/sol/rtk3,off"}, 3},
  }, state3[] = {
      {"pd", {"pos/mode,pd"}, kOwn},
      {"pd, rtk1 on", {"pos/sol/rtk1,on"}, kOwn},
      {"pd, rtk3 on", {"pos/sol/rtk3,on"}, 5},
      {"pf, rtk3 off", {"pos/sol/rtk3,off", "pos/mode,pf"}, kOwn},
      {"pp, rtk3 on", {"pos/sol/rtk3,on", "pos/mode,pp"}, 5},
  }, state2[] = {
      {"pd", {"pos/mode,pd"}, 4},
      {"sp", {"pos/mode,sp"}, kOwn},
  };
  const struct {
    const char* state;
    const Step* steps;
    std::size_t n;
  } runs[] = {{"1", state1, std::size(state1)}, {"3", state3, std::size(state3)}, {"2", state2, std::size(state2)}};
  for (const auto& run : runs) {
    SCOPED_TRACE(std::string("state ") + run.state);
    fresh();
    ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--rtk-state", run.state}));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(ask("%d%set,/par/rtk/dbi/temp,198"), re("%d%"));
    for (std::size_t i = 0; i < run.n; ++i) {
      const Step& step = run.steps[i];
      SCOPED_TRACE(step.what);
      for (const char* set : step.sets) ASSERT_EQ(ask(std::string("%s%set,/par/") + set), re("%s%")) << set;
      // The third line after the sets: every set holds there.
      const std::size_t from = outNow().size();
      std::vector<SolutionLine> l;
      ASSERT_TRUE(waitUntil([&] { return (l = solutionLines(outNow(), from)).size() >= 3; }, 30000)) << outNow();
      EXPECT_EQ(l.back().type, step.type);
      if (step.type != kOwn) {
        EXPECT_EQ(l.back().count[0][0], 8) << "GPS used in the RTK solution";
        EXPECT_EQ(l.back().count[1][0], 10) << "GPS tracked in the RTK solution";
      } else {
        EXPECT_EQ(l.back().count[0][0], l.back().count[1][0]) << "every satellite of the sky used";
      }
    }
    stop();
  }
}

}  // namespace e2e

namespace e2e {
namespace {

// The geoid fixture cut off inside its grid: its header is sound, its values are not all there.
std::string cutGeoidFixture() {
  const std::string d = readFile(kGeoidFixture);
  std::uint32_t headerLen = 0;
  for (int i = 3; i >= 0; --i) headerLen = headerLen << 8 | static_cast<unsigned char>(d[8 + i]);
  return d.substr(0, headerLen + 1000);
}

}  // namespace

// A geoid file that cannot be read whole never takes the place of the grid in use: named by key
// it is refused ("file error") and the name stays; gone bad between two runs, the stored name is
// kept and the built-in grid serves from the start.
TEST_F(OutputRecord, AGeoidFileCutShortLeavesTheGridInUse) {
  dir_.write(".gnss.log/egm96.gemo", readFile(kGeoidFixture));
  dir_.write(".gnss.log/cut.gemo", cutGeoidFixture());
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%d%set,/par/rtk/dbi/temp,197"), re("%d%"));
  const double builtIn = nextOutputLine().und;
  const double node = fixtureNode();
  ASSERT_GT(std::fabs(node - builtIn), 0.02) << "the two grids must differ here";

  EXPECT_EQ(ask("%1%set,/par/pos/geoid/file,cut.gemo"), frame("ER", "%1%{16,,file error}"));
  EXPECT_EQ(ask("%p%print,/par/pos/geoid/file"), re("%p%"));
  EXPECT_NEAR(nextOutputLine().und, builtIn, 1e-9) << "the built-in grid stays";

  ASSERT_EQ(ask("%2%set,/par/pos/geoid/file,egm96.gemo"), re("%2%"));
  EXPECT_NEAR(nextOutputLine().und, node, 0.006);
  EXPECT_EQ(ask("%3%set,/par/pos/geoid/file,cut.gemo"), frame("ER", "%3%{16,,file error}"));
  EXPECT_EQ(ask("print,/par/pos/geoid/file"), re("egm96.gemo"));
  EXPECT_NEAR(nextOutputLine().und, node, 1e-9) << "the file's grid stays";
  EXPECT_EQ(ask("print,/par/pos/geoid/model"), re("EGM96 0.5deg test fixture"));

  // The stored file goes bad while the program is down.
  restart();
  dir_.write(".gnss.log/egm96.gemo", cutGeoidFixture());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%d%set,/par/rtk/dbi/temp,197"), re("%d%"));
  EXPECT_NEAR(nextOutputLine().und, builtIn, 1e-9);
  EXPECT_EQ(ask("print,/par/pos/geoid/file"), re("egm96.gemo"));
  EXPECT_EQ(ask("print,/par/pos/geoid/model"), re("Default EGM2008")) << "the file names a model not in use";
}

// The output position filter on the simulator's fixed site: the running mean over the last
// `num` fixes of the main antenna input (the other input's record stays unfiltered), so that a
// jump of the position (here the known position switched in) comes out in steps of 1/num of what
// is left; with the static pass-through on, a receiver standing still outputs its fixes as they
// are.
TEST_F(OutputRecord, PositionFilterMeansTheFixesAndPassesThemWhenStill) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%d%set,/par/rtk/dbi/temp,197"), re("%d%"));
  ASSERT_EQ(ask("%1%set,/par/pos/filt/num,4"), re("%1%"));
  ASSERT_EQ(ask("%1%set,/par/pos/filt/mode,on"), re("%1%"));
  for (int i = 0; i < 3; ++i) {  // the count reaches its cap
    const Line l = nextOutputLine();
    EXPECT_NEAR(l.wlat, 50.0, 1e-9);
    EXPECT_NEAR(l.walt, 300.0, 0.006);
  }

  // From the site to a known position 0.001 degrees (111 m) north: after the k-th fix the mean
  // has come 1 - (3/4)^k of the way.
  std::size_t from = outNow().size();
  ASSERT_EQ(ask("%2%set,/par/pos/ref/known/geo,{50.001,10,300}"), re("%2%"));
  const auto way = [&](std::size_t since, double base) {
    std::vector<double> f;
    for (const Line& s : outputLines(outNow(), since)) f.push_back((s.wlat - base) / 0.001);
    return f;
  };
  std::vector<double> between;
  ASSERT_TRUE(waitUntil(
      [&] {
        between.clear();
        for (double f : way(from, 50.0))
          if (f > 1e-3 && f < 0.999) between.push_back(f);
        return between.size() >= 4;
      },
      30000));
  for (std::size_t k = 0; k < 4; ++k) EXPECT_NEAR(between[k], 1.0 - std::pow(0.75, double(k + 1)), 2e-4) << k;

  // Standing still (the simulator's speed is 0, below the 2 m/s limit) with the pass-through
  // on: the fixes come out as they are, and a jump comes out whole.
  ASSERT_EQ(ask("%3%set,/par/pos/filt/spdmode,on"), re("%3%"));
  nextOutputLine();
  from = outNow().size();
  ASSERT_EQ(ask("%4%set,/par/pos/ref/known/geo,{50.002,10,300}"), re("%4%"));
  std::vector<double> after;
  ASSERT_TRUE(waitUntil([&] { return (after = way(from, 50.001)).size() >= 6; }, 30000));
  int whole = 0;
  for (double f : after) {
    EXPECT_TRUE(std::fabs(f) < 1e-6 || std::fabs(f - 1.0) < 1e-6) << f;
    whole += std::fabs(f - 1.0) < 1e-6;
  }
  EXPECT_GE(whole, 2);
}

}  // namespace e2e
