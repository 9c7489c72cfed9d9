// The board's standalone solution feeds the correction chain of the running program, seen from
// outside:
// - the receiver's position, from the board's "@@" solution record, chooses the nearest CMR
//   reference station, whose coordinates then become the RTK base printed under pos/pd/ref/;
// - with the simulator's sky the ionosphere stage corrects the satellites each second, and the
//   channels' TEC calibration (measured minus modelled first-frequency delay of the satellites
//   at 45 degrees or more) lands in the settings image, where a restart keeps it. The simulator
//   has no atmosphere, so the measured delay is the satellite's group delay, known from its two
//   codes in the truth file, and the model is the broadcast Klobuchar model at night: 5 ns of
//   delay times the obliquity factor of IS-GPS-200 20.3.3.5.2.5.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "e2e/harness.h"
#include "e2e/nav_rinex.h"
#include "e2e/sky_truth.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

class CorrectionChain : public Rx {};

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
constexpr double kPi = 3.14159265358979323846;
constexpr double kC = 299792458.0;

// ---- CMR frames, written here from the frame format ------------------------------------------

std::string cmrFrame(const std::string& data) {
  std::string f = std::string("\x02\x00\x93", 3) + static_cast<char>(data.size()) + data;
  unsigned sum = 0x93 + static_cast<unsigned>(data.size());
  for (unsigned char c : data) sum += c;
  return f + static_cast<char>(sum & 0xFF) + '\x03';
}
// Header: version 3 and the station id, the message type in bits 7-5, the epoch time (18 bits of
// ms modulo 240000), a clock byte.
std::string cmrHeader(int id, int type, int ms) {
  const int t = ms % 240000;
  return {static_cast<char>(0x60 | (id & 31)), static_cast<char>(type << 5), static_cast<char>(t >> 10),
          static_cast<char>(t >> 2), static_cast<char>((t & 3) << 6), '\0'};
}
// Type 1: per axis the coordinate in mm as 34 bits (32 in units of 4 mm, then 2 in mm) and a
// 14-bit antenna offset (0 here), then the accuracy byte.
std::string cmrLocation(int id, const double xyz[3], int ms) {
  std::string d = cmrHeader(id, 1, ms);
  for (int k = 0; k < 3; ++k) {
    const std::int64_t mm = std::llround(xyz[k] * 1000.0);
    const std::int64_t high = mm >> 2;  // floor: the low two bits carry the rest
    for (int s = 24; s >= 0; s -= 8) d += static_cast<char>((high >> s) & 0xFF);
    d += static_cast<char>((mm & 3) << 6);
    d += '\0';
  }
  return cmrFrame(d + '\0');
}
// Type 0 with no satellite: an observation epoch, which runs the nearest-station choice.
std::string cmrEmptyObs(int id, int ms) { return cmrFrame(cmrHeader(id, 0, ms)); }

// Two stations 500 m east of the default site and 40 km north of it; the board's solution at
// the site chooses the first, at the second station's place the second.
TEST_F(CorrectionChain, TheBoardsPositionChoosesTheNearestCmrStation) {
  struct Row {
    const char* site;
    double lat, lon;
    int wantId;
  };
  constexpr double kH = 300;
  double east[3], north[3];
  {
    double s[3];
    ecefOf(50.0, 10.0, kH, s);
    const double l = 10.0 * kPi / 180;
    for (int k = 0; k < 3; ++k) east[k] = s[k] + 500.0 * (k == 0 ? -std::sin(l) : k == 1 ? std::cos(l) : 0.0);
    ecefOf(50.36, 10.0, kH, north);
  }
  const Row rows[] = {{"50,10,300", 50.0, 10.0, 3}, {"50.36,10,300", 50.36, 10.0, 7}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.site);
    fresh();
    ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--site", r.site}));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(ask("%1%set,/par/pos/pd/nrs/mode,on"), re("%1%"));
    ASSERT_EQ(ask("%2%set,/par/pos/pd/nrs/cnt,2"), re("%2%"));
    ASSERT_EQ(ask("%3%set,/par/dev/ser/b/imode,cmr"), re("%3%"));
    Port b(dir_.file("dev/ser/b"));
    ASSERT_TRUE(b.ok());
    std::string id;
    const bool chosen = waitUntil(
        [&] {
          static int ms = 0;
          ms += 1000;
          b.sendRaw(cmrLocation(3, east, ms) + cmrLocation(7, north, ms) + cmrEmptyObs(3, ms) + cmrEmptyObs(7, ms));
          std::this_thread::sleep_for(std::chrono::milliseconds(300));
          id = printed(ask("print,/par/pos/pd/ref/id"));
          return id != "0";
        },
        40000);
    ASSERT_TRUE(chosen) << "no station chosen: the receiver has no position";
    EXPECT_EQ(id, std::to_string(r.wantId));
    const double* want = r.wantId == 3 ? east : north;
    EXPECT_TRUE(xyzNear(ask("print,/par/pos/pd/ref/pos/xyz"), want, 0.0015));
  }
}

// ---- a lost fix -------------------------------------------------------------------------------

// Corrections outlive a lost fix by 10 s at most. Each early end of the correction epoch prints
// (debug selector 199) the ms since the last complete epoch, the satellites whose published record
// holds a valid part, and "cleared" on the end that cleared them; as letters: k, all kept within
// 10 s; C, cleared by the first end past 10 s; e, none valid after. A 5-s loss keeps every record,
// a 16-s loss clears them once; after either, corrections are printed again.
TEST_F(CorrectionChain, CorrectionsOutliveALostFixByTenSecondsAtMost) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--lose-fix-file", dir_.file("lose")}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%k%set,/par/rtk/dbi/temp,199"), re("%k%"));
  const auto served = [&](std::size_t from) {  // a satellite's ionosphere correction printed
    std::istringstream in(rx_->out().substr(from));
    double v = 0;
    for (std::string l; std::getline(in, l);)
      if (std::sscanf(l.c_str(), "$$ corr %*s iod %*u iono %lf", &v) == 1) return true;
    return false;
  };
  ASSERT_TRUE(waitUntil([&] { return served(0); }, 120000)) << "no correction before the loss";
  for (const auto& [lost, want] : {std::pair{5, "k+"}, std::pair{16, "k+Ce+"}}) {
    const int seconds = lost;  // a lambda takes no binding
    SCOPED_TRACE(seconds);
    const std::size_t from = rx_->out().size();
    ASSERT_TRUE(dir_.write("lose", std::to_string(seconds)));
    std::string ends;
    std::size_t after = from;  // past the last early end
    const auto back = [&] {    // true once corrections follow the early ends
      ends.clear();
      const std::string out = rx_->out();
      for (std::size_t at = out.find("$$ early", from); at != std::string::npos; at = out.find("$$ early", at + 1)) {
        unsigned ms = 0;
        int valid = 0;
        char word[10] = {};
        std::sscanf(out.c_str() + at, "$$ early %u %d%9[^\n]", &ms, &valid, word);
        const bool late = ms > 10000, cleared = std::strcmp(word, " cleared") == 0;
        ends += !late && valid > 0 && !cleared ? 'k' : late && valid == 0 ? (cleared ? 'C' : 'e') : 'x';
        after = std::min(out.find('\n', at), out.size());
      }
      return ends.size() > static_cast<std::size_t>(seconds + 30) || (!ends.empty() && served(after));
    };
    ASSERT_TRUE(waitOnProgress(back, [&] { return rx_->out().size(); }, 30000)) << "no early end";
    EXPECT_TRUE(!ends.empty() && served(after)) << "no correction after the loss";
    EXPECT_TRUE(std::regex_match(ends, std::regex(want))) << ends;
  }
}

// ---- the TEC calibration ------------------------------------------------------------------------

struct Block {
  long off = -1;
  unsigned len = 0;
  unsigned char flags = 0;
};
Block block(const std::string& img, unsigned id) {
  Block b;
  b.off = blockOffset(img, id);
  if (b.off < 0) return b;
  b.len = le32(img, static_cast<std::size_t>(b.off) + 2) & 0xFFFFFF;
  b.flags = static_cast<unsigned char>(img[static_cast<std::size_t>(b.off) + 5]);
  return b;
}
struct Calib {
  bool present = false, valid = false;
  std::int32_t seconds = 0;
  double mean[7] = {}, dev[7] = {};
};
Calib calibOf(const std::string& img) {
  Calib c;
  const Block b = block(img, 8334);
  if (b.off < 0 || b.len != 120) return c;
  c.present = true;
  c.valid = (b.flags & 0x80) != 0;
  const char* p = img.data() + b.off + 6;
  std::memcpy(&c.seconds, p, 4);
  std::memcpy(c.mean, p + 8, sizeof c.mean);
  std::memcpy(c.dev, p + 64, sizeof c.dev);
  return c;
}

// Per system (the navigation layer's order: 0 GPS, 1 GLONASS, 2 Galileo, 5 BeiDou), per satellite
// at 45 degrees or more in some epoch of a multi-system truth file: the smallest and largest
// sample, measured minus modelled first-frequency delay (m). A channel's delay is that of its
// first and second frequency (signal slots 0 and 2): the simulator measures GPS on L1/L2 and
// GLONASS on G1/G2 of its frequency number, but Galileo on E1/E5a (slots 0 and 4) and BeiDou on
// B1I/B3I (0 and 3), which give none. Every signal's phase is its code over its wavelength, which
// gives each signal's frequency. The model is the broadcast GPS Klobuchar at night, scaled from L1
// to the first frequency; without `klobuchar`, none (the measured delays themselves).
std::map<int, std::pair<double, double>> sampleRangeBySystem(const std::string& text, bool klobuchar = true) {
  std::map<std::pair<long, std::string>, std::map<int, truth::Signal>> sig;  // (epoch, satellite) -> slot
  for (const auto& [key, s] : truth::bySignal(text)) sig[{std::get<0>(key), std::get<1>(key)}][std::get<2>(key)] = s;
  std::map<int, std::pair<double, double>> out;
  for (const auto& [key, s] : sig) {
    const char letter = key.second[0];
    const int sys = letter == 'G' ? 0 : letter == 'R' ? 1 : letter == 'E' ? 2 : letter == 'C' ? 5 : -1;
    if (sys < 0 || !s.contains(0) || !s.contains(2)) continue;
    const truth::Signal& a = s.at(0);
    const truth::Signal& b = s.at(2);
    const double el = std::asin(std::min(1.0, (a.cn0 - 30.0) / 20.0));
    // The receiver's elevation is geocentric: allow for the 0.2 degree it differs by.
    if (el < (45.0 - 0.2) * kPi / 180) continue;
    const double f1 = a.phase * kC / a.code, f2 = b.phase * kC / b.code;
    const double gamma = (f1 / f2) * (f1 / f2);
    const double measured = (b.code - a.code) / (gamma - 1);
    const double e = el / kPi;
    const double model =
        klobuchar ? 5e-9 * kC * (1 + 16 * std::pow(0.53 - e, 3)) * (1575.42e6 / f1) * (1575.42e6 / f1) : 0.0;
    auto [it, fresh] = out.try_emplace(sys, 1e9, -1e9);
    it->second.first = std::min(it->second.first, measured - model);
    it->second.second = std::max(it->second.second, measured - model);
  }
  return out;
}

// GPS's smallest and largest sample, with the Klobuchar model or without (the measured delays).
// The simulator's C/N0 is 30 + 20 sin of the elevation; its L1 and L2 codes differ only by the
// group delay (c TGD (gamma - 1)).
std::pair<double, double> gpsRange(const std::string& truth, bool klobuchar) {
  const auto bySystem = sampleRangeBySystem(truth, klobuchar);
  return bySystem.contains(0) ? bySystem.at(0) : std::pair{1e9, -1e9};
}

TEST_F(CorrectionChain, TecCalibrationOfTheCorrectedSkyIsStoredAndSurvivesARestart) {
  // A first start lays the block out empty; the calibration is switched on by its key, which the
  // next start keeps.
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%c%set,/par/pos/tec/calib,on"), re("%c%"));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  ASSERT_EQ(end(), 0);
  const Calib empty = calibOf(dir_.read(".gnss.nvm"));
  ASSERT_TRUE(empty.present) << "no TEC calibration block in the settings image";
  EXPECT_TRUE(empty.valid);
  for (int k = 0; k < 7; ++k) EXPECT_EQ(empty.mean[k], 0.0) << k;

  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("print,/par/pos/tec/calib"), re("on"));
  // Satellites join once their ephemerides are decoded; the block is written at once, then at
  // most every 10 s, and the image saved as often: a calibration that has run 10 s.
  const bool calibrated = waitUntil(
      [&] {
        const Calib c = calibOf(dir_.read(".gnss.nvm"));
        return c.mean[0] != 0.0 && c.seconds >= 10;
      },
      120000);
  ASSERT_TRUE(rx_->signal(SIGTERM));
  ASSERT_EQ(end(), 0);
  ASSERT_TRUE(calibrated) << "no calibration: the ionosphere stage never corrected a satellite";
  const Calib got = calibOf(dir_.read(".gnss.nvm"));
  ASSERT_TRUE(got.valid);
  const auto [lo, hi] = gpsRange(dir_.read("sky.truth"), true);
  ASSERT_LE(lo, hi) << "no satellite at 45 degrees in the sky";
  EXPECT_GE(got.mean[0], lo - 0.02);
  EXPECT_LE(got.mean[0], hi + 0.02);
  EXPECT_GE(got.dev[0], 0.0);
  EXPECT_LE(got.dev[0], hi - lo + 0.02);
  EXPECT_GE(got.seconds, 10);
  for (int k = 1; k < 7; ++k) EXPECT_TRUE(got.mean[k] == 0.0 && got.dev[k] == 0.0) << "system " << k << ": none in the sky";

  // A start without measurements restores the block and keeps it.
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(rx_->signal(SIGTERM));
  ASSERT_EQ(end(), 0);
  const Calib kept = calibOf(dir_.read(".gnss.nvm"));
  ASSERT_TRUE(kept.valid);
  EXPECT_EQ(kept.seconds, got.seconds);
  for (int k = 0; k < 7; ++k) EXPECT_TRUE(kept.mean[k] == got.mean[k] && kept.dev[k] == got.dev[k]) << "system " << k;
}

// The measurement processor names each channel's satellite in the system it belongs to: with a
// sky of GPS, GLONASS, Galileo and BeiDou, the GPS, GLONASS and BeiDou (B1I and B2) calibrations
// are each the mean of their own satellites' delays; Galileo (no second frequency in slot 2) and
// the systems the sky lacks (SBAS, QZSS, NavIC) keep none. GLONASS satellites take part only with an elevation
// and a correction, which the orbits the store accepted once their almanacs came make possible.
TEST_F(CorrectionChain, TecCalibrationOfEverySystemInTheSky) {
  // 02:00 local time in Hong Kong: the Klobuchar model is at its night-time constant.
  const std::string brd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", brd4, "--sky", "--site", "22.3,114.2,50", "--start", "2023-03-12T18:25:00",
                                    "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%k%set,/par/pos/tec/calib,on"), re("%k%"));
  std::map<int, std::pair<double, double>> want;
  Calib got;
  const bool calibrated = waitUntil(
      [&] {
        want = sampleRangeBySystem(dir_.read("sky.truth"));
        got = calibOf(dir_.read(".gnss.nvm"));
        if (got.seconds < 10 || !want.contains(0) || !want.contains(1)) return false;
        for (const auto& [sys, range] : want)
          if (got.mean[sys] == 0.0) return false;
        return true;
      },
      240000);
  ASSERT_TRUE(rx_->signal(SIGTERM));
  ASSERT_EQ(end(), 0);
  got = calibOf(dir_.read(".gnss.nvm"));
  want = sampleRangeBySystem(dir_.read("sky.truth"));
  ASSERT_TRUE(calibrated) << "GPS " << got.mean[0] << ", GLONASS " << got.mean[1]
                          << "; GPS and GLONASS at 45 degrees: " << want.contains(0) << want.contains(1);
  ASSERT_TRUE(got.valid);
  for (const auto& [sys, range] : want) {
    EXPECT_GE(got.mean[sys], range.first - 0.02) << "system " << sys;
    EXPECT_LE(got.mean[sys], range.second + 0.02) << "system " << sys;
    std::printf("system %d: calibration %.3f m, samples %.3f..%.3f m\n", sys, got.mean[sys], range.first,
                range.second);
  }
  EXPECT_EQ(want.size(), 3u) << "only GPS, GLONASS and BeiDou have a delay";
  for (int sys : {2, 3, 4, 6})
    EXPECT_TRUE(got.mean[sys] == 0.0 && got.dev[sys] == 0.0) << "system " << sys << ": no delay in the sky";
}

// ---- the GLONASS ionosphere model, computed here ------------------------------------------------

// The model the GLONASS CDMA interface's ionosphere parameters (c_A, c_F10.7, c_Ap) drive: the
// F2 layer of GOST 25645.146-89, its peak height hmax (km), peak density Nmax (1e11 m^-3) and the
// scale heights below and above the peak (km), from geographic latitude and longitude (rad), UT
// (hours), the calendar month, the solar flux F10.7, the daily Ap index and the density factor.
// Written from the standard's formulas as published (the open Navi project's GLOIonosphere sets
// them out), apart from the receiver's code.
struct GostLayer {
  double hmax = 0, nmax = 0, bbot = 0, btop = 0;
};
GostLayer gostLayer(double lat, double lon, double ut, int month, double f107, double ap, double factor) {
  const double M = month, pi = kPi;
  const auto sq = [](double x) { return x * x; };
  const double slt = (ut + lon * 180 / pi / 15.0) * pi / 12.0;  // local time as an angle
  const double w = std::sqrt(167273.0 + 1123.6 * (f107 - 63.7)) - 408.99;  // sunspot number
  const double r = std::max(0.01 * w, 0.0);
  const double dec = std::asin(0.39795 * std::sin(pi * (M - 3.167) / 6.0));
  const double mlat = std::asin(0.98 * std::sin(lat) + 0.2 * std::cos(lat) * std::cos(lon + 1.2));
  const double mlon = std::atan2(0.2 * std::cos(lat) * std::sin(lon + 1.2), 0.98 * std::sin(mlat) - std::sin(lat));
  const double dip = std::atan(2.0 * std::tan(mlat));
  const double sm = std::sin(mlat), cm = std::cos(mlat), am = std::fabs(mlat);
  GostLayer g;
  g.hmax = 240.0 + 10.0 * cm * std::cos(pi * (M / 3.0 - 1.5)) + r * (75.0 + 83.0 * cm * sm * std::sin(dec)) +
           30.0 * std::cos(slt - 4.5 * am - pi);
  const double m3000 = 1490.0 / (g.hmax + 176.0);
  const double season = 0.5 - std::cos(2.0 * M * pi / 6.0) + std::cos(M * pi / 6.0);
  const double D = (0.9 + 0.32 * std::sin(dec) * sm) * (1.0 + sm * sq(std::cos(slt + pi / 4)) * std::sin(dec)) *
                   std::exp(-1.1 * (std::cos(slt - 0.873) + 1.0));
  const double E = (1.0 - 0.4 * std::pow(cm, 10)) * (1.0 + 0.6 * std::pow(cm, 10) * sq(std::cos(slt + pi / 4))) *
                   (1.0 + std::pow(cm, 8) * std::pow(std::cos(am - 0.2618), 12) * (1.0 - 0.2 * r + 0.6 * std::sqrt(r)) *
                              std::exp(0.25 * (1.0 - std::cos(slt - 0.873)))) *
                   (1.0 + 0.05 * season);
  const double F = (1.2 - 0.5 * sq(cm)) * (1.0 + 0.05 * r * std::cos(M * pi / 6.0) * std::pow(sm, 3)) *
                   (1.0 - 0.15 * std::exp(-std::sqrt(sq(12.0 * mlat + 4.0 * pi / 3.0) + sq(M / 2.0 - 3.0)))) *
                   std::exp(3.0 * std::cos(mlat * (std::sin(slt) - 1.0) / 2.0));
  const double g0 = 1.0 + r + (0.204 + 0.03 * r) * sq(r);
  const double G = r < 1.1 ? g0 : 2.39 + 1.53 * sq(sm) * (g0 - 2.39);
  const double H = 1.0 + 0.1 * std::pow(cm, 3) * std::cos(2.0 * (mlon - 7.0 * pi / 18.0));
  const double I = (1.0 + (0.15 - 0.5 * (1.0 + r) * (1.0 - cm) * std::exp(-0.33 * sq(M - 6.0))) *
                              std::exp(-18.0 * sq(std::fabs(dip) - 4.0 * pi / 18.0))) *
                   (1.0 + 0.03 * season);
  const double S = 0.2 * (1.0 - std::sin(am - 0.5236)) * (1.0 + 0.6 * std::cos(pi / 3.0 * (M - 4.0))) *
                   std::cos(pi / 6.0 * (M - 1.0));
  const double V = 1.0 - std::cos(slt) <= 1e-4
                       ? 0.0
                       : std::pow(std::cos(mlat + dec), 3) * (0.15 + 0.3 * std::sin(am)) * std::pow(1.0 - std::cos(slt), 0.25);
  const double T = (0.13 - 0.06 * std::sin(std::fabs(am - pi / 9.0))) * std::cos(pi / 3.0 * (M - 4.5)) - V;
  const double X = 1.0 + 0.085 * (std::pow(std::cos(pi / 6.0 * (0.5 * M - 1.0)), 3) * std::cos(mlat - pi / 6.0) +
                                  std::cos(mlat + pi / 4.0) * sq(std::cos(pi / 6.0 * (0.5 * M - 4.0))));
  const double Y = 1.3 + (0.139 * (1.0 + std::cos(mlat - pi / 4.0)) + 0.0517 * r) * sq(r);
  const double Z = std::cos(mlat + dec * std::cos(slt)) - cm;
  const double U = 0.7 * (X + 0.1778 * sq(r) / G * std::cos(pi / 3.0 * (M - 4.3))) * std::exp(-Y * Z);
  g.nmax = 0.66 * D * E * F * G * H * I * ((S + T) / G + U);
  g.bbot = 0.385 * g.nmax / (0.01 * std::exp(-3.467 + 0.857 * std::log(g.nmax / 0.124) + 2.02 * std::log(m3000)));
  const double k = std::clamp(month >= 4 && month <= 9 ? 6.705 - 0.01 * w - 0.008 * g.hmax
                                                       : -7.77 + 0.097 * sq(g.hmax / g.bbot) + 0.153 * g.nmax,
                              2.0, 8.0);
  const double x = (g.bbot * k - 150.0) / 100.0;
  g.btop = g.bbot * k / ((0.041163 * x - 0.183981) * x + 1.424472);
  if (ap > 27.0) {  // a magnetic storm
    double lt = std::fmod(ut + lon * 180 / pi / 15.0, 24.0);
    if (lt < 0) lt += 24.0;
    const double cslt = std::cos(15.0 * (lt - 15.0) * pi / 180.0);
    const double tns = (3.3 * w + 705.0) *
                       (1.0 + 0.2 * std::sin(2.0 * pi * (M * 30.5 - 96.0) / 365.0) * std::sin(lat) + 0.12 * std::cos(lat) * cslt) *
                       0.001;
    const double tnd = tns + (4.5 * ap - 100.0) * sq(sm) * 0.001;
    const double lnc = 1.3 * (std::log((2.0 - 1.8 * tns + 0.8 * sq(tns)) / (2.0 - 1.8 * tnd + 0.8 * sq(tnd))) -
                              0.0022 * (1.0 - 0.3 * cslt) * (4.5 * ap - 100.0) * sq(sm) +
                              0.0007 * (1.0 - 0.3 * cslt) * ap * std::pow(cm, 4));
    g.hmax += 0.2 * ap * (1.0 - 0.001 * ap) * (1.0 + 0.01 * mlat);
    g.nmax *= std::exp(lnc);
    g.btop *= 1.0 - lnc;
    g.bbot *= 1.0 - lnc / 2.0;
  }
  g.nmax *= factor;
  return g;
}

// The electron density (m^-3) of the layer at height h (km): an Epstein layer below the peak, and
// above it the same shape of a height scaled down as it rises.
double gostDensity(const GostLayer& g, double h) {
  double y = (h - g.hmax) / (h <= g.hmax ? g.bbot : g.btop);
  if (h > g.hmax) y /= 1.0 + 12.5 * y / (100.0 + 0.1 * y);
  y = std::clamp(y, -80.0, 80.0);
  return 4.0 * g.nmax * 1e11 * std::exp(y) / ((1.0 + std::exp(y)) * (1.0 + std::exp(y)));
}

// The delay (m) at frequency `f` (Hz) of the straight path from the site to a satellite (both given
// by geodetic latitude, longitude in degrees and height in km, placed on a sphere of 6371.2 km as
// the ionosphere models' ray geometry places them), through the layer of each point it passes:
// 40.3 TEC / f^2, the TEC by Simpson's rule, finely to 2000 km of height and coarsely beyond.
double gostSlantDelay(const double site[3], const double sat[3], double ut, int month, double f107, double ap,
                      double factor, double f) {
  constexpr double kRe = 6371.2;
  const auto point = [&](const double p[3], double out[3]) {
    const double b = p[0] * kPi / 180, l = p[1] * kPi / 180, r = kRe + p[2];
    out[0] = r * std::cos(b) * std::cos(l), out[1] = r * std::cos(b) * std::sin(l), out[2] = r * std::sin(b);
  };
  double a[3], z[3];
  point(site, a);
  point(sat, z);
  const double len = std::hypot(z[0] - a[0], z[1] - a[1], z[2] - a[2]);
  const auto density = [&](double s) {
    double q[3];
    for (int k = 0; k < 3; ++k) q[k] = a[k] + (z[k] - a[k]) * s / len;
    const double r = std::hypot(q[0], q[1], q[2]);
    const GostLayer g = gostLayer(std::asin(q[2] / r), std::atan2(q[1], q[0]), ut, month, f107, ap, factor);
    return gostDensity(g, r - kRe);
  };
  const auto heightAt = [&](double s) {
    double q[3];
    for (int k = 0; k < 3; ++k) q[k] = a[k] + (z[k] - a[k]) * s / len;
    return std::hypot(q[0], q[1], q[2]) - kRe;
  };
  double lo = 0, hi = len;  // the path length at 2000 km of height
  for (int i = 0; i < 60; ++i) (heightAt(0.5 * (lo + hi)) < 2000.0 ? lo : hi) = 0.5 * (lo + hi);
  const auto simpson = [&](double s0, double s1, int n) {
    const double step = (s1 - s0) / n;
    double sum = density(s0) + density(s1);
    for (int i = 1; i < n; ++i) sum += (i % 2 != 0 ? 4.0 : 2.0) * density(s0 + i * step);
    return sum * step / 3.0 * 1000.0;  // km of path to m
  };
  const double tec = simpson(0, lo, 4000) + simpson(lo, len, 2000);
  return 40.3 * tec / (f * f);
}

// The GLONASS ionosphere model of the L3 strings (a scale of 1, Ap 7, the day's solar flux) is kept
// in its block of the settings image, corrects the GLONASS satellites once chosen and switched on
// (their calibration, measured less modelled delay, runs; the model's delay is positive and below
// 30 m), and is still there after a restart without any broadcast. Chosen as the model, it
// corrects the satellites in view by the delay the model gives along their paths (computed here
// from the truth's elevation and azimuth at the site, 02:25 local time, 12 March: a month of 3,
// within 5 %: the correction comes from the model task's last pass over the satellite, up to a
// minute before).
TEST_F(CorrectionChain, GlonassModelOfTheL3StringsIsKeptAndCorrectsTheGlonassSatellites) {
  const std::string brd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", brd4, "--sky", "--site", "22.3,114.2,50", "--start", "2023-03-12T18:25:00",
                                    "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  for (const char* k : {"iono/model,glo", "iono/glo,on"}) ASSERT_EQ(ask(std::string("%k%set,/par/pos/") + k), re("%k%")) << k;
  const auto model = [&] { return blockData(dir_.read(".gnss.nvm"), 2446, 5); };
  // Before it comes, the setup's user model corrects: the calibration starts once it is kept.
  ASSERT_TRUE(waitUntil([&] { return fieldAt<float>(model(), 4) == 7.0f; }, 90000)) << "no model from the L3 strings";
  ASSERT_EQ(ask("%k%set,/par/pos/tec/calib,on"), re("%k%"));
  ASSERT_TRUE(waitUntil([&] { return calibOf(dir_.read(".gnss.nvm")).mean[1] != 0.0; }, 120000)) << "no correction";
  {
    // Each satellite's correction as printed (debug selector 199), against the model's delay for
    // the truth's last second. A correction is kept for minutes and renewed a satellite an epoch:
    // those computed before the L3 model came (from the setup's user model) are dropped by
    // switching the model off for an epoch (the print shows no correction), and each is compared
    // once the model, on again, has computed it anew.
    const std::string lines = rinex::gunzip(brd4);
    const double f107 = std::round(rinex::firstIon(rinex::linesOf(lines), 'E', "IFNV").v.at(0));
    for (const char* k : {"rtk/dbi/temp,199", "pos/iono/glo,off"}) ASSERT_EQ(ask(std::string("%k%set,/par/") + k), re("%k%"));
    std::size_t from = rx_->out().size();
    // A whole print of the epoch (from one meteo line to the next) whose satellites have no
    // ionosphere correction ("iono -", where a value would stand).
    const auto noneIn = [](const std::string& out, std::size_t at) {
      for (std::size_t b = out.find("$$ meteo", at), e; b != std::string::npos; b = e) {
        e = out.find("$$ meteo", b + 1);
        if (e == std::string::npos) return false;
        std::istringstream block(out.substr(b, e - b));
        int corr = 0, none = 0;
        for (std::string l; std::getline(block, l);) {
          if (l.rfind("$$ corr", 0) != 0) continue;
          ++corr;
          none += l.find(" iono - ") != std::string::npos ? 1 : 0;
        }
        if (corr > 0 && none == corr) return true;
      }
      return false;
    };
    ASSERT_TRUE(waitUntil([&] { return noneIn(rx_->out(), from); })) << "the model off";
    from = rx_->out().size();
    ASSERT_EQ(ask("%k%set,/par/pos/iono/glo,on"), re("%k%"));
    std::map<std::string, double> printed;
    std::map<std::string, truth::Signal> sky;
    const auto above = [](const truth::Signal& sg) { return sg.el >= 15.0; };
    ASSERT_TRUE(waitUntil(
        [&] {
          printed.clear();
          std::istringstream in(rx_->out().substr(from));
          for (std::string l; std::getline(in, l);) {
            char sat[8] = {};
            unsigned iod = 0;
            double v = 0;
            if (std::sscanf(l.c_str(), "$$ corr %7s iod %u iono %lf", sat, &iod, &v) == 3) printed[sat] = v;
          }
          sky = truth::lastSecond(dir_.read("sky.truth"));
          int both = 0;
          for (const auto& [sat, sg] : sky) {
            const std::string name = truth::rinexName(sat);
            both += name[0] != 'R' && above(sg) && printed.contains(name) ? 1 : 0;
          }
          return both >= 8;
        },
        120000))
        << printed.size() << " printed";
    double sow = 0;
    for (const auto& [sat, sg] : sky) sow = sg.sow;
    const double ut = std::fmod(sow - 18.0, 86400.0) / 3600.0;  // UTC: GPS time less 18 leap seconds
    double site[3];
    ecefOf(22.3, 114.2, 50, site);
    int compared = 0;
    for (const auto& [sat, sg] : sky) {
      // GLONASS satellites print under their frequency number: the others are compared.
      const std::string name = truth::rinexName(sat);
      if (name[0] == 'R' || !above(sg) || !printed.contains(name)) continue;
      const std::array<double, 3> los = truth::lineOfSight(sg, 22.3, 114.2);
      double sv[3], geo[3];
      for (int k = 0; k < 3; ++k) sv[k] = site[k] + los[k] * sg.code;
      // WGS 84 geodetic coordinates of the satellite (Bowring's iteration).
      const double a = 6378137.0, e2 = (1 / 298.257223563) * (2 - 1 / 298.257223563), p = std::hypot(sv[0], sv[1]);
      double b = std::atan2(sv[2], p * (1 - e2)), h = 0;
      for (int i = 0; i < 10; ++i) {
        const double n = a / std::sqrt(1 - e2 * std::sin(b) * std::sin(b));
        h = p / std::cos(b) - n;
        b = std::atan2(sv[2], p * (1 - e2 * n / (n + h)));
      }
      geo[0] = b * 180 / kPi, geo[1] = std::atan2(sv[1], sv[0]) * 180 / kPi, geo[2] = h / 1000.0;
      const double at[3] = {22.3, 114.2, 0.05};
      const double f = sg.phase * kC / sg.code;
      const double want = gostSlantDelay(at, geo, ut, 3, f107, 7.0, 1.0, f);
      EXPECT_NEAR(-printed.at(name), want, 0.05 * want + 0.02) << name << " at " << sg.el << " degrees";
      ++compared;
    }
    EXPECT_GE(compared, 8);
    ASSERT_EQ(ask("%k%set,/par/rtk/dbi/temp,0"), re("%k%"));
  }
  ASSERT_TRUE(rx_->signal(SIGTERM));
  ASSERT_EQ(end(), 0);
  const std::string kept = model();
  const double mean = calibOf(dir_.read(".gnss.nvm")).mean[1];
  const auto measured = sampleRangeBySystem(dir_.read("sky.truth"), false);
  ASSERT_TRUE(measured.contains(1)) << "no GLONASS satellite at 45 degrees";
  EXPECT_LT(mean, measured.at(1).second);
  EXPECT_GT(mean, measured.at(1).first - 30.0);
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(rx_->signal(SIGTERM));
  ASSERT_EQ(end(), 0);
  EXPECT_EQ(model(), kept);
}

// Each ionosphere model is switched on by its keys in the running program, and the TEC calibration
// shows which one corrects: the calibration takes a sample of a satellite only while its
// ionosphere correction is published. With the Klobuchar source off, or a background model chosen
// but not switched on, the calibration of a sky that calibrated a moment before stands still; with
// NeQuick or the GLONASS model switched on, task NEQK's delays are published and a new calibration
// runs. Each model's delay is positive and below 30 m, so the calibrated mean (measured minus
// modelled) lies below the largest measured delay of the truth file and above the smallest less
// 30 m.
TEST_F(CorrectionChain, EachIonosphereModelIsSwitchedOnByItsKeysAndCorrectsTheSky) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  const auto setKey = [&](const char* key, const char* value) {
    EXPECT_EQ(ask(std::string("%k%set,/par/pos/") + key + "," + value), re("%k%")) << key;
  };
  const auto calib = [&] { return calibOf(dir_.read(".gnss.nvm")); };
  // A calibration starts afresh once it was off in an epoch that had a correction to sample; the
  // correction epochs (one a second) take a change of the setup at their next run.
  const auto settle = [] { std::this_thread::sleep_for(std::chrono::seconds(3)); };
  // The Klobuchar model corrects the sky first: it is established.
  setKey("tec/calib", "on");
  ASSERT_TRUE(waitUntil([&] { return calib().mean[0] != 0.0; }, 120000)) << "no calibration with Klobuchar";
  // Each row: its keys, then whether a new calibration runs.
  const struct {
    const char* name;
    std::vector<std::pair<const char*, const char*>> keys;
    bool corrects;
  } rows[] = {
      {"Klobuchar source off", {{"iono/klob", "off"}}, false},
      {"NeQuick chosen, not switched on", {{"iono/klob", "gps"}, {"iono/model", "nequick"}}, false},
      {"NeQuick switched on", {{"iono/nequick", "on"}}, true},
      {"the GLONASS model chosen, not switched on", {{"iono/model", "glo"}}, false},
      {"the GLONASS model switched on", {{"iono/glo", "on"}}, true},
      {"the GLONASS model on the NeQuick coefficients", {{"iono/glosrc", "nequick"}}, true},
      {"Klobuchar again", {{"iono/model", "klob"}}, true},
  };
  const auto [lo, hi] = gpsRange(dir_.read("sky.truth"), false);
  ASSERT_LE(lo, hi) << "no satellite at 45 degrees in the sky";
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    setKey("tec/calib", "off");
    settle();
    for (const auto& [k, v] : r.keys) setKey(k, v);
    settle();
    const Calib before = calib();
    setKey("tec/calib", "on");
    if (r.corrects) {
      // The block is written at most every 10 s: a new mean shows within a few writes.
      ASSERT_TRUE(waitUntil([&] { return calib().mean[0] != before.mean[0]; }, 60000)) << "no new calibration";
      // Long enough for several satellites of the background models, one per epoch.
      std::this_thread::sleep_for(std::chrono::seconds(5));
      const Calib c = calib();
      EXPECT_LT(c.mean[0], hi);
      EXPECT_GT(c.mean[0], lo - 30.0);
    } else {
      // The established sky would have given a sample each second.
      std::this_thread::sleep_for(std::chrono::seconds(10));
      const Calib c = calib();
      EXPECT_EQ(c.mean[0], before.mean[0]) << "samples without a published correction";
      EXPECT_EQ(c.seconds, before.seconds);
    }
    EXPECT_TRUE(rx_->running());
  }
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
}
// BDGIM corrects once a BeiDou B-CNAV message has brought its coefficients: over a day of every
// system's broadcasts (the RINEX 4 file of 2023-03-12) at a site that sees them all, the model
// chosen by its key gives the calibration its samples, within the measured delays as above.
TEST_F(CorrectionChain, BdgimFromTheBroadcastCorrectsTheSky) {
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", nav, "--sky", "--site", "22.3,114.2,50", "--start", "2023-03-12T10:00:00",
                                    "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%k%set,/par/pos/iono/model,bdgim"), re("%k%"));
  ASSERT_EQ(ask("%k%set,/par/pos/tec/calib,on"), re("%k%"));
  ASSERT_TRUE(waitUntil([&] { return calibOf(dir_.read(".gnss.nvm")).mean[0] != 0.0; }, 120000))
      << "no calibration: no BDGIM correction published";
  ASSERT_TRUE(rx_->signal(SIGTERM));
  ASSERT_EQ(end(), 0);
  const Calib c = calibOf(dir_.read(".gnss.nvm"));
  const auto [lo, hi] = gpsRange(dir_.read("sky.truth"), false);
  ASSERT_LE(lo, hi) << "no GPS satellite at 45 degrees in the sky";
  EXPECT_LT(c.mean[0], hi);
  EXPECT_GT(c.mean[0], lo - 30.0);
}

}  // namespace
}  // namespace e2e
