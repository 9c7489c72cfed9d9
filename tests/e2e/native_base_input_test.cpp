// Base observations in the receiver's own native format on a rover's port in native mode: the
// test plays a base at the rover's own site (a zero baseline), writing each epoch of the board
// simulator's sky truth as the base would send it ("~~", "GT", "BI", "SI", "rc", "cp", "2r",
// "2p", "DC", "D2", "EC", "E2", "::"), with the element scalings of the format. Seen from outside:
//   - the rover's base projection (its debug print rtk/dbi/cpd 11) adds every satellite's code
//     and carrier of each published base epoch, equal to the simulator's truth within the
//     format's resolution;
//   - an epoch whose code message has one element fewer than its satellite list is given back:
//     none of its measurements is added; one without its time message is published on GPS time;
//   - the base information of type 5 becomes the rover's base record (pos/pd/ref/pos/xyz), the
//     site as GeographicLib's CartConvert gives it;
//   - once the satellites have their orbits the projection refers every carrier to a reference
//     satellite, and to another one when that one leaves the base epochs.
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

#include "e2e/harness.h"
#include "e2e/sky_truth.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";

// A rover at the simulator's site, taking the base's native epochs on serial port B.
class NativeBaseInput : public Rx {
 protected:
  std::vector<double> site;  // the site's Earth-centred coordinates as CartConvert gives them

  void startRover() {
    site = cartConvert("50 10 300");
    ASSERT_EQ(site.size(), 3u) << "CartConvert (GeographicLib) is required";
    ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--sky-truth", dir_.file("sky.truth"), "--start",
                                      "2010-07-01T02:00:00"}));
    ASSERT_NO_FATAL_FAILURE(start());
    for (const char* c : {"set,/par/pos/mode,pd", "set,/par/rtk/dbi/cpd,11", "set,/par/dev/ser/b/imode,zrt"})
      ASSERT_EQ(ask(std::string("%c%") + c), re("%c%")) << c;
  }
};
constexpr double kC = 299792458.0;
constexpr double kL1 = 1575.42e6, kL2 = 1227.60e6;
// Code range (GPS): seconds = value / 1e11 + 0.075; relative range: slot 0 + 2e-7 + value x 1e-11;
// phase: (slot-0 range in seconds + value x 2^-40) x the carrier.
constexpr double kCodeD = 1e11, kCodeK = 0.075, kRelOffset = 2e-7, kRelStep = 1e-11;
const double kPhaseStep = std::ldexp(1.0, -40);

std::string le(std::uint64_t v, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
  return s;
}
std::string f64(double v) {
  std::uint64_t w;
  std::memcpy(&w, &v, 8);
  return le(w, 8);
}

using Sig = SkySignal;
using Truth = SkyTruth;

// The slot-0 range in seconds as the format carries it.
double rangeSec(double code) { return std::nearbyint((code / kC - kCodeK) * kCodeD) / kCodeD + kCodeK; }

// One base epoch of second `sow` in native messages; `shortCode` leaves the last element out of
// the code message, `noTime` the time message ("GT").
std::string baseEpoch(long sow, const std::map<int, std::map<int, Sig>>& sats, const double site[3], bool shortCode,
                      bool noTime) {
  const std::uint32_t msOfDay = static_cast<std::uint32_t>((sow % 86400) * 1000);
  std::string si, rc, cp, r2, p2, dc, d2, ec, e2;
  for (const auto& [prn, sigs] : sats) {
    const auto l1 = sigs.find(0), l2 = sigs.find(2);
    if (l1 == sigs.end() || l2 == sigs.end()) continue;
    const Sig& a = l1->second;
    const Sig& b = l2->second;
    const double r0 = rangeSec(a.code);
    si += static_cast<char>(prn);
    rc += le(static_cast<std::uint32_t>(static_cast<std::int32_t>(std::nearbyint((a.code / kC - kCodeK) * kCodeD))), 4);
    cp += le(static_cast<std::uint32_t>(static_cast<std::int32_t>(std::nearbyint((a.phase / kL1 - r0) / kPhaseStep))), 4);
    r2 += le(static_cast<std::uint16_t>(static_cast<std::int16_t>(std::nearbyint((b.code / kC - r0 - kRelOffset) / kRelStep))), 2);
    p2 += le(static_cast<std::uint32_t>(static_cast<std::int32_t>(std::nearbyint((b.phase / kL2 - r0) / kPhaseStep))), 4);
    dc += le(static_cast<std::uint32_t>(static_cast<std::int32_t>(std::nearbyint(a.doppler * 1e4))), 4);
    d2 += le(static_cast<std::uint32_t>(static_cast<std::int32_t>(std::nearbyint(b.doppler * 1e4))), 4);
    ec += static_cast<char>(std::lround(a.cn0));
    e2 += static_cast<char>(std::lround(b.cn0));
  }
  if (shortCode && rc.size() >= 4) rc.resize(rc.size() - 4);
  std::string bi;
  for (int k = 0; k < 3; ++k) bi += f64(site[k]);
  bi += std::string(2, '\0') + '\x05';  // base information of type 5: the station's own position
  // A position record before it (type 1), which a base of type 5 outranks.
  std::string po;
  for (int k = 0; k < 3; ++k) po += f64(site[k] + 100.0);
  po += std::string(4, '\0') + '\x01';
  std::string m = withCk("~~", le(msOfDay, 4)) + (noTime ? "" : withCk("GT", le(static_cast<std::uint32_t>(sow * 1000), 4))) +
                  withCk("PO", po) + withCk("BI", bi) + withCk("SI", si);
  for (const auto& [id, body] : std::vector<std::pair<const char*, std::string>>{
           {"rc", rc}, {"cp", cp}, {"2r", r2}, {"2p", p2}, {"DC", dc}, {"D2", d2}, {"EC", ec}, {"E2", e2}})
    m += withCk(id, body);
  return m + withCk("::", le(msOfDay, 4));
}

// One " Add:" line of the base projection: a published base epoch's measurement of one signal.
struct Add {
  int id;
  double phi, code, dSat, tc;
};
std::vector<Add> adds(const std::string& out) {
  std::vector<Add> v;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    Add a{};
    if (std::sscanf(line.c_str(), " Add: %d phi %lf Roc %lf dSat %lf Tc %lf", &a.id, &a.phi, &a.code, &a.dSat, &a.tc) == 5)
      v.push_back(a);
  }
  return v;
}


TEST_F(NativeBaseInput, BaseEpochsReachTheProjectionAndTheBaseRecord) {
  ASSERT_NO_FATAL_FAILURE(startRover());
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());

  // Each second of the truth once the next one has begun (so that it is whole): the base's
  // epochs reach the rover a second after its own.
  std::set<long> sent;
  long cut = -1, untimed = -1;
  Truth truth;
  ASSERT_TRUE(waitUntil(
      [&] {
        truth = readSkyTruth(dir_.read("sky.truth"));
        for (auto it = truth.begin(); it != truth.end() && std::next(it) != truth.end(); ++it) {
          if (sent.count(it->first)) continue;
          sent.insert(it->first);
          // The third epoch's code message lacks an element: the epoch is given back.
          const bool shortCode = sent.size() == 3;
          if (shortCode) cut = it->first;
          // The fifth comes without its time message: the epoch's start, within the hour, is
          // taken on the time of the rover's system nearest to it (GPS, GLONASS being 18 s off).
          const bool noTime = sent.size() == 5;
          if (noTime) untimed = it->first;
          EXPECT_TRUE(serB.sendRaw(baseEpoch(it->first, it->second, site.data(), shortCode, noTime)));
        }
        return sent.size() >= 10;
      },
      40000));
  // The last epochs' lines: the projection prints once an epoch is published.
  std::this_thread::sleep_for(std::chrono::seconds(2));
  const std::vector<Add> added = adds(rx_->out());

  int checked = 0;
  std::set<long> epochs;
  for (const Add& a : added) {
    const long sow = std::lround(a.tc);
    ASSERT_EQ(std::fabs(a.tc - sow) < 1e-6, true) << a.tc;
    EXPECT_NE(sow, cut) << "an epoch whose code message is short is given back";
    const auto e = truth.find(sow);
    ASSERT_NE(e, truth.end()) << "no truth at " << a.tc;
    const auto s = e->second.find(a.id);
    ASSERT_NE(s, e->second.end()) << "satellite " << a.id << " at " << sow << " is not in the sky";
    // The signal whose code the line carries: L1 or L2.
    const Sig* best = nullptr;
    double f = 0;
    for (const auto& [slot, sig] : s->second)
      if (best == nullptr || std::fabs(sig.code - a.code) < std::fabs(best->code - a.code)) {
        best = &sig;
        f = slot == 0 ? kL1 : kL2;
      }
    ASSERT_NE(best, nullptr);
    // Codes in steps of 1e-11 s (3 mm), carriers in steps of 2^-40 s of the carrier.
    EXPECT_NEAR(a.code, best->code, 0.004) << a.id << " at " << sow;
    EXPECT_NEAR(a.phi, best->phase, f * kPhaseStep + 1e-5) << a.id << " at " << sow;
    epochs.insert(sow);
    ++checked;
  }
  EXPECT_GE(epochs.size(), 5u) << "published base epochs";
  EXPECT_EQ(epochs.count(untimed), 1u) << "the epoch without its time message";
  EXPECT_GE(checked, 5 * 4 * 2) << "measurements added";

  // The base record: the station's own position of the base information.
  double xyz[3] = {};
  const std::string pos = ask("print,/par/pos/pd/ref/pos/xyz");
  ASSERT_EQ(std::sscanf(pos.c_str() + 5, "{x=%lf,y=%lf,z=%lf}", &xyz[0], &xyz[1], &xyz[2]), 3) << pos;
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(xyz[k], site[static_cast<std::size_t>(k)], 0.001) << k;
}

// The satellite of each published base epoch (GPS second of week) that the projection refers the
// others of signal L1 to: the one whose carrier it adds as it came while the others' carriers are
// added less it (each within the format's resolution); none while every carrier comes as it came.
std::map<long, int> references(const std::vector<Add>& added, const Truth& truth) {
  std::map<long, std::map<int, double>> phi;  // epoch -> satellite -> L1 carrier added
  for (const Add& a : added) {
    const auto e = truth.find(std::lround(a.tc));
    if (e == truth.end() || !e->second.count(a.id) || !e->second.at(a.id).count(0)) continue;
    // The L1 line of a satellite is the first of its two.
    if (!phi[e->first].count(a.id)) phi[e->first][a.id] = a.phi;
  }
  std::map<long, int> refs;
  for (const auto& [sow, sats] : phi) {
    const auto& t = truth.at(sow);
    for (const auto& [ref, refPhi] : sats) {
      if (std::fabs(refPhi - t.at(ref).at(0).phase) > 1e-3) continue;
      int differenced = 0;
      for (const auto& [id, p] : sats)
        if (id != ref && std::fabs(p - (t.at(id).at(0).phase - t.at(ref).at(0).phase)) < 2e-3) ++differenced;
      if (differenced > 0 && differenced + 1 == static_cast<int>(sats.size())) refs[sow] = ref;
    }
  }
  return refs;
}

// Once the base's satellites have their orbits at the rover (about half a minute), the projection
// takes a reference satellite per signal and refers the others' carriers and codes to it; when
// that satellite leaves the base epochs another becomes the reference and every model is moved
// to it.
TEST_F(NativeBaseInput, TheReferenceSatelliteChangesWhenItLeavesTheBaseEpochs) {
  ASSERT_NO_FATAL_FAILURE(startRover());
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());
  std::set<long> sent;
  int first = -1, second = -1;
  long dropFrom = -1;
  ASSERT_TRUE(waitUntil(
      [&] {
        Truth truth = readSkyTruth(dir_.read("sky.truth"));
        for (auto it = truth.begin(); it != truth.end() && std::next(it) != truth.end(); ++it) {
          if (sent.count(it->first)) continue;
          sent.insert(it->first);
          auto sats = it->second;
          if (first >= 0) sats.erase(first);
          EXPECT_TRUE(serB.sendRaw(baseEpoch(it->first, sats, site.data(), false, false)));
        }
        for (const auto& [sow, ref] : references(adds(rx_->out()), truth)) {
          if (first < 0) first = ref, dropFrom = sow;
          if (sow > dropFrom && ref != first) second = ref;
        }
        return second >= 0;
      },
      100000))
      << "first reference " << first;
  EXPECT_NE(first, second);
  stop();
  EXPECT_EQ(out_.find("runtime error"), std::string::npos);
}

}  // namespace
}  // namespace e2e
