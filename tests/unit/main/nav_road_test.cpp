// The navigation road through the program's own start-up and tasks, in one process, against the
// board simulator broadcasting the GPS ephemerides of a real RINEX day as LNAV subframes: within
// two 30-s frame cycles the store holds every satellite's ephemeris with the file's values, the
// satellite positions computed from it agree under 1 mm with the IS-GPS-200 orbit computed here
// from the file, and subframes whose parity fails leave the stored ephemeris as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "main/hook_table.h"
#include "main/hooks.h"
#include "main/init_once.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/rtos.h"
#include "positioning/engine/nav_main.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/platform/temp_run_dir.h"

namespace {

const std::string kNavFile = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
const std::string kSim = std::string(RX_TOOLS_DIR) + "/gnss_board_sim/gnss_board_sim";
// GPS 2010-07-01 01:00:00 (week 1590, second 349200); the simulator counts GPS as UTC + 18 s.
constexpr const char* kStartUtc = "2010-07-01T00:59:42";
constexpr double kStartSow = 349200;
constexpr int kWeek = 1590;
constexpr long kFlipAfter = 62;
// The board's antenna; the simulator broadcasts the satellites above its horizon.
constexpr double kSiteLat = 50.0, kSiteLon = 10.0, kSiteH = 300.0;
constexpr const char* kSite = "50,10,300";  // s: the third frame's subframe 2 on carry a flipped bit

// ---- the file, read here ------------------------------------------------------------------

struct Rinex {
  int prn;
  double toc, af0, af1, af2, iode, crs, dn, m0, cuc, e, cus, sqrtA, toe, cic, omega0, cis, i0, crc, omega,
      omegaDot, idot, codes, week, l2p, ura, health, tgd, iodc, ttx, fit;
};

double field(const std::string& l, std::size_t at) {
  std::string f = l.size() > at ? l.substr(at, 19) : "0";
  for (char& c : f)
    if (c == 'D') c = 'E';
  return std::atof(f.c_str());
}

std::vector<Rinex> readNav() {
  std::ifstream in(kNavFile);
  std::string l[8];
  while (std::getline(in, l[0]) && l[0].find("END OF HEADER") == std::string::npos) {
  }
  std::vector<Rinex> out;
  while (std::getline(in, l[0])) {
    for (int k = 1; k < 8; ++k) std::getline(in, l[k]);
    Rinex r{};
    r.prn = std::atoi(l[0].substr(0, 2).c_str());
    const int day = std::atoi(l[0].substr(9, 2).c_str());  // July 2010: day 1 is a Thursday
    r.toc = (day - 1 + 4) * 86400.0 + std::atoi(l[0].substr(12, 2).c_str()) * 3600.0 +
            std::atoi(l[0].substr(15, 2).c_str()) * 60.0 + std::atof(l[0].substr(17, 5).c_str());
    r.af0 = field(l[0], 22), r.af1 = field(l[0], 41), r.af2 = field(l[0], 60);
    double* f[] = {&r.iode,  &r.crs,      &r.dn,   &r.m0,    &r.cuc,  &r.e,      &r.cus,   &r.sqrtA, &r.toe,
                   &r.cic,   &r.omega0,   &r.cis,  &r.i0,    &r.crc,  &r.omega,  &r.omegaDot, &r.idot, &r.codes,
                   &r.week,  &r.l2p,      &r.ura,  &r.health, &r.tgd, &r.iodc,   &r.ttx,   &r.fit};
    for (int k = 0; k < 26; ++k) *f[k] = field(l[1 + k / 4], 3 + 19 * (k % 4));
    out.push_back(r);
  }
  return out;
}

void orbit(const Rinex& r, double t, double out[3]);

// Sine of the elevation of a satellite seen from the simulated board's antenna.
double sinElevation(const double sat[3]) {
  const double a = 6378137.0, f = 1 / 298.257223563, e2 = f * (2 - f);
  const double b = kSiteLat * M_PI / 180, l = kSiteLon * M_PI / 180;
  const double n = a / std::sqrt(1 - e2 * std::sin(b) * std::sin(b));
  const double p[3] = {(n + kSiteH) * std::cos(b) * std::cos(l), (n + kSiteH) * std::cos(b) * std::sin(l),
                       (n * (1 - e2) + kSiteH) * std::sin(b)};
  const double up[3] = {std::cos(b) * std::cos(l), std::cos(b) * std::sin(l), std::sin(b)};
  const double d[3] = {sat[0] - p[0], sat[1] - p[1], sat[2] - p[2]};
  return (d[0] * up[0] + d[1] * up[1] + d[2] * up[2]) / std::hypot(d[0], d[1], d[2]);
}

// Per satellite well above the antenna's horizon for the whole run, the record transmitted last
// before the start.
std::map<int, Rinex> expected() {
  std::map<int, Rinex> m;
  for (const Rinex& r : readNav())
    if (r.ttx <= kStartSow && (!m.count(r.prn) || r.ttx >= m[r.prn].ttx)) m[r.prn] = r;
  for (auto it = m.begin(); it != m.end();) {
    bool up = true;
    for (double dt : {0.0, 60.0, 120.0}) {
      double p[3];
      orbit(it->second, kStartSow + dt, p);
      up = up && sinElevation(p) > std::sin(5 * M_PI / 180);
    }
    it = up ? std::next(it) : m.erase(it);
  }
  return m;
}

// IS-GPS-200 Table 20-IV: satellite position (ECEF, m) at second of week t.
void orbit(const Rinex& r, double t, double out[3]) {
  const double mu = 3.986005e14, we = 7.2921151467e-5;
  const double a = r.sqrtA * r.sqrtA;
  double tk = t - r.toe;
  if (tk > 302400) tk -= 604800;
  if (tk < -302400) tk += 604800;
  const double n = std::sqrt(mu / (a * a * a)) + r.dn;
  const double m = r.m0 + n * tk;
  double ecc = m;
  for (int i = 0; i < 30; ++i) ecc = m + r.e * std::sin(ecc);
  const double v = std::atan2(std::sqrt(1 - r.e * r.e) * std::sin(ecc), std::cos(ecc) - r.e);
  const double phi = v + r.omega;
  const double s2 = std::sin(2 * phi), c2 = std::cos(2 * phi);
  const double u = phi + r.cus * s2 + r.cuc * c2;
  const double rad = a * (1 - r.e * std::cos(ecc)) + r.crs * s2 + r.crc * c2;
  const double inc = r.i0 + r.cis * s2 + r.cic * c2 + r.idot * tk;
  const double x = rad * std::cos(u), y = rad * std::sin(u);
  const double om = r.omega0 + (r.omegaDot - we) * tk - we * r.toe;
  out[0] = x * std::cos(om) - y * std::cos(inc) * std::sin(om);
  out[1] = x * std::sin(om) + y * std::cos(inc) * std::cos(om);
  out[2] = y * std::sin(inc);
}

// ---- what the store holds -----------------------------------------------------------------

constexpr double kPi = 3.1415926535898;

bool same(double stored, double file, int pow2) {
  return std::llround(std::ldexp(stored, pow2)) == std::llround(std::ldexp(file, pow2));
}

// Empty when the stored record carries the file's values; else the first field that differs.
std::string compare(const ZRT_EPH_GPS& s, const Rinex& r) {
  struct Row {
    const char* name;
    double stored, file;
    int pow2;
  };
  const Row rows[] = {
      {"toe", double(s.toe), r.toe, 0},         {"toc", double(s.toc), r.toc, 0},
      {"iode", double(s.iode), r.iode, 0},      {"iodc", double(s.iodc), r.iodc, 0},
      {"health", double(s.health), r.health, 0}, {"af0", s.af0, r.af0, 31},
      {"af1", s.af1, r.af1, 43},                {"af2", s.af2, r.af2, 55},
      {"tgd", s.tgd, r.tgd, 31},                {"crs", s.crs, r.crs, 5},
      {"crc", s.crc, r.crc, 5},                 {"cuc", s.cuc, r.cuc, 29},
      {"cus", s.cus, r.cus, 29},                {"cic", s.cic, r.cic, 29},
      {"cis", s.cis, r.cis, 29},                {"e", s.e, r.e, 33},
      {"sqrtA", s.sqrtA, r.sqrtA, 19},          {"deltaN", s.deltaN, r.dn / kPi, 43},
      {"M0", s.M0, r.m0 / kPi, 31},             {"Omega0", s.Omega0, r.omega0 / kPi, 31},
      {"i0", s.i0, r.i0 / kPi, 31},             {"omega", s.omega, r.omega / kPi, 31},
      {"OmegaDot", s.OmegaDot, r.omegaDot / kPi, 43}, {"idot", s.idot, r.idot / kPi, 43},
  };
  for (const Row& row : rows)
    if (!same(row.stored, row.file, row.pow2)) return row.name;
  if (s.week % 1024 != kWeek % 1024) return "week";
  return {};
}

bool storedEph(int prn, ZRT_EPH_GPS& out) {
  const ExtEphRecord* r = SatDataProcessorInstance.get_EphLastData(kSysGps, prn - 1, 0);
  if (r == nullptr || !r->valid) return false;
  std::memcpy(&out, r->native, sizeof out);
  return true;
}

// Satellites whose stored ephemeris is not yet (or no longer) the file's, with the reason.
std::string mismatches(const std::map<int, Rinex>& want) {
  std::string bad;
  for (const auto& [prn, r] : want) {
    ZRT_EPH_GPS s{};
    if (!storedEph(prn, s)) {
      bad += " G" + std::to_string(prn) + ":none";
      continue;
    }
    const std::string why = compare(s, r);
    if (!why.empty()) bad += " G" + std::to_string(prn) + ":" + why;
  }
  return bad;
}

double largestOrbitError(const std::map<int, Rinex>& want) {
  double worst = 0;
  for (const auto& [prn, r] : want) {
    ZRT_EPH_GPS s{};
    if (!storedEph(prn, s)) return 1e9;
    for (double dt : {-7200.0, -3600.0, 0.0, 1800.0, 3600.0, 7200.0}) {
      double mine[3], theirs[3];
      orbit(r, r.toe + dt, mine);
      if (!compute_SatPositionByEphemeris(r.toe + dt, kSysGps, s, theirs, nullptr, nullptr)) return 1e9;
      worst = std::max(worst, std::hypot(mine[0] - theirs[0], mine[1] - theirs[1], mine[2] - theirs[2]));
    }
  }
  return worst;
}

// Seconds of GPS time the running program has reached since the start (its NavEpoch).
double elapsed() {
  PosLock lock;
  return NavSol.epoch.gpsMs / 1000.0 - kStartSow;
}

bool waitUntil(double sec, int guardSec) {
  for (int i = 0; i < guardSec * 10; ++i) {
    if (elapsed() >= sec) return true;
    usleep(100000);
  }
  return false;
}

pid_t startSim(const std::string& dir) {
  const pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    const std::string flip = std::to_string(kFlipAfter);
    execl(kSim.c_str(), kSim.c_str(), "--dir", dir.c_str(), "--start", kStartUtc, "--nav", kNavFile.c_str(),
          "--flip-nav-after", flip.c_str(), "--site", kSite, static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 100 && !exists(dir + "/dev/shm/a"); ++i) usleep(50000);
  return pid;
}

class NavRoad : public TempRunDir {};

[[noreturn]] void finish(pid_t sim, const std::string& report, int code) {
  kill(sim, SIGTERM);
  waitpid(sim, nullptr, 0);
  writeFile("nav_road.txt", report);
  std::fprintf(stderr, "%s\n", report.c_str());
  std::fflush(stderr);
  std::_Exit(code);
}

// Runs in a child of its own (the program's tasks never end); the child says what it found.
[[noreturn]] void roadChild(const std::string& dir) {
  const std::map<int, Rinex> want = expected();
  const pid_t sim = startSim(dir);
  wireHooks();
  initOnce();
  hookWiringCheck(nullptr);
  initAfterOnce();
  std::string report;
  auto done = [&](int code) { finish(sim, report, code); };
  if (want.size() < 6) report = "only " + std::to_string(want.size()) + " satellites in view", done(1);
  // Two frame cycles of GPS time (and a second for the last subframe's road).
  if (!waitUntil(61, 240)) report = "no epochs from the simulator", done(1);
  const std::string early = mismatches(want);
  if (!early.empty()) report = "after two frames:" + early, done(1);
  const double err = largestOrbitError(want);
  if (!(err < 0.001)) report = "orbit differs by " + std::to_string(err) + " m", done(1);
  // The third frame's subframe 2, with a flipped bit, has gone by (72 s) for every satellite.
  if (!waitUntil(80, 120)) report = "the stream stopped", done(1);
  const std::string late = mismatches(want);
  if (!late.empty()) report = "after flipped subframes:" + late, done(1);
  const std::uint32_t drops = lnavParityDrops.load();
  if (drops < want.size()) report = "only " + std::to_string(drops) + " subframes dropped", done(1);
  report = "road ok: " + std::to_string(want.size()) + " ephemerides, orbit within " + std::to_string(err * 1000) + " mm, " +
           std::to_string(drops) + " failed subframes dropped";
  finish(sim, report, 0);
}

TEST_F(NavRoad, BroadcastEphemeridesReachTheStoreAndBadParityChangesNothing) {
  ::testing::FLAGS_gtest_death_test_style = "threadsafe";
  EXPECT_EXIT(roadChild(dir_), ::testing::ExitedWithCode(0), "road ok");
  std::printf("%s\n", readFile(dir_ + "/nav_road.txt").c_str());
}

}  // namespace
