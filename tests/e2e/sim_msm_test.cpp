// A base on the simulator's multi-system sky: the board measures GPS (L1 C/A, L2 P), GLONASS
// (G1, G2 P), Galileo (E1, E5a) and BeiDou (B1I, B3I) satellites of a RINEX 4 day, and the
// program's MSM4, MSM5, MSM6 and MSM7 of the four systems, each level on its own port, read by
// Debian's convbin, give back the simulator's truth: every satellite it decoded, its codes and
// phases to the message's resolution, and, where the message carries one, a Doppler whose sign
// says which way the range went (RINEX Doppler = - range rate / wavelength, the range rate taken
// from the truth's own codes one second apart).
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <tuple>
#include <vector>

#include "e2e/harness.h"
#include "e2e/sky_truth.h"
#include "e2e/tools.h"
#include "e2e/nav_rinex.h"

namespace e2e {
namespace {

using rinex::readRinexObs;
using truth::bySignal;

class SimMsm : public Rx {};

const std::string kBrd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";


// The signals of each system: slot, carrier (Hz; GLONASS at channel 0, its step per channel),
// and the RINEX 3 code and phase names of the signal.
struct Signal {
  int slot;
  const char *code, *phase, *doppler;
};
std::vector<Signal> signalsOf(char sys) {
  switch (sys) {
    case 'R': return {{0, "C1C", "L1C", "D1C"}, {2, "C2P", "L2P", "D2P"}};
    case 'E': return {{0, "C1X", "L1X", "D1X"}, {4, "C5X", "L5X", "D5X"}};
    case 'C': return {{0, "C2I", "L2I", "D2I"}, {3, "C6I", "L6I", "D6I"}};
    default: return {{0, "C1C", "L1C", "D1C"}, {2, "C2W", "L2W", "D2W"}};
  }
}

// What the coder adds to a measured phase (cycles): the receiver's carrier-phase alignment of the
// signal (its signal table: Galileo E1 X half a cycle, E5a X a quarter; GPS C/A and P2, GLONASS
// C/A and P2, BeiDou B1I and B3I none), and the half cycle of its MSM compatibility on the B1I
// and B3I phases of the BeiDou satellites 6 to 58.
double compatShift(const std::string& sat, int slot) {
  if (sat[0] == 'E') return slot == 0 ? 0.5 : slot == 4 ? 0.25 : 0.0;
  if (sat[0] != 'C' || (slot != 0 && slot != 3)) return 0.0;
  const int prn = std::atoi(sat.c_str() + 1);
  return prn >= 6 && prn <= 58 ? 0.5 : 0.0;
}

// One MSM level: its messages, its port, and the resolution of what it carries.
struct Level {
  int msm;
  const char* port;
  double codeTol, phaseTol;  // m, cycles
  bool rate;
};

TEST_F(SimMsm, Msm4To7OfEverySystemReadBackByConvbinToTheSimulatorsTruth) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kBrd4, "--start", "2023-03-12T10:00:00", "--site", "22.3,114.2,50", "--sky",
                                    "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  // The base stands at the site, its position entered: its clock solution then gives every
  // system's time offset, which the MSM of that system needs.
  ASSERT_EQ(ask("%k%set,/par/pos/ref/known/geo,{22.3,114.2,50}"), re("%k%"));
  const Level levels[] = {{7, "dev/ser/b", 0.001, 0.002, true},
                          {6, "dev/ser/c", 0.001, 0.002, false},
                          {5, "dev/ser/d", 0.02, 0.005, true},
                          {4, "dev/usb/a", 0.02, 0.005, false}};
  std::vector<std::unique_ptr<Port>> ports;
  for (const Level& l : levels) {
    ports.push_back(std::make_unique<Port>(dir_.file(l.port)));
    ASSERT_TRUE(ports.back()->ok()) << l.port;
    char list[96];
    std::snprintf(list, sizeof list, "rtcm3/{107%d,108%d,109%d,112%d}:1", l.msm, l.msm, l.msm, l.msm);
    ASSERT_EQ(ask(std::string("%e%em,/") + l.port + "," + list), re("%e%")) << list;
    // MSM4 and MSM6 carry no GLONASS frequency channel: the GLONASS ephemerides tell convbin.
    if (!l.rate) {
      ASSERT_EQ(ask(std::string("%g%em,/") + l.port + ",rtcm3/1020"), re("%g%"));
    }
  }
  // Every system's satellites join once their ephemerides are decoded (Galileo's F/NAV takes a
  // 50-s subframe, a GLONASS frame 30 s); then eight epochs of each system at each level.
  const auto epochsOf = [](const std::string& held, int msm) {
    std::map<int, int> n;
    for (const std::string& f : rinex::rtcm3Frames(held)) ++n[rinex::rtcm3Type(f)];
    return std::min({n[1070 + msm], n[1080 + msm], n[1090 + msm], n[1120 + msm]});
  };
  // Every port read in turn, so that none waits unread long enough to overflow.
  const auto enough = [&](std::size_t k) { return epochsOf(ports[k]->held, levels[k].msm) >= 8; };
  ASSERT_TRUE(waitUntil(
      [&] {
        bool all = true;
        for (std::size_t k = 0; k < ports.size(); ++k) {
          ports[k]->fill([&](const std::string&) { return enough(k); }, 50);
          all = all && enough(k);
        }
        return all;
      },
      150000));
  const auto truth = bySignal(dir_.read("sky.truth"));
  for (std::size_t k = 0; k < ports.size(); ++k) {
    const Level& l = levels[k];
    SCOPED_TRACE("MSM" + std::to_string(l.msm));
    int junk = 0;
    const std::vector<std::string> frames = rinex::rtcm3Frames(ports[k]->held, &junk);
    EXPECT_EQ(junk, 0) << "RTCM 3 frames only";
    std::set<int> types;
    for (const std::string& f : frames) types.insert(rinex::rtcm3Type(f));
    std::set<int> want = {1070 + l.msm, 1080 + l.msm, 1090 + l.msm, 1120 + l.msm};
    if (!l.rate) want.insert(1020);
    EXPECT_EQ(types, want);
    const std::string name = "msm" + std::to_string(l.msm);
    std::string bytes;
    for (const std::string& x : frames) bytes += x;
    ASSERT_TRUE(dir_.write(name + ".rtcm3", bytes));
    ASSERT_TRUE(runIn(dir_, "convbin -r rtcm3 -tr 2023/03/12 10:00:00 -v 3.04 -od -os -o " + name + ".obs " + name +
                                ".rtcm3"));
    const auto obs = readRinexObs(dir_.read(name + ".obs"));
    ASSERT_GE(obs.size(), 6u);
    std::map<char, std::set<std::string>> seen;
    int rates = 0;
    for (const auto& [epoch, sats] : obs) {
      for (const auto& [sat, v] : sats) {
        seen[sat[0]].insert(sat);
        for (const Signal& g : signalsOf(sat[0])) {
          const auto t = truth.find({epoch, sat, g.slot});
          ASSERT_NE(t, truth.end()) << sat << " slot " << g.slot << " epoch " << epoch << ": not measured";
          ASSERT_TRUE(v.contains(g.code) && v.contains(g.phase)) << sat << " " << g.code << " epoch " << epoch;
          EXPECT_NEAR(v.at(g.code), t->second.code, l.codeTol) << sat << " " << g.code << " epoch " << epoch;
          EXPECT_NEAR(v.at(g.phase), t->second.phase + compatShift(sat, g.slot), l.phaseTol)
              << sat << " " << g.phase << " epoch " << epoch;
          if (!l.rate) {
            EXPECT_FALSE(v.contains(g.doppler)) << sat << " " << g.doppler;
            continue;
          }
          // The range rate from the truth's codes a second before and after; RINEX gives the
          // Doppler the opposite sign (positive while the satellite comes nearer).
          const auto before = truth.find({epoch - 1000, sat, g.slot}), after = truth.find({epoch + 1000, sat, g.slot});
          if (before == truth.end() || after == truth.end() || !v.contains(g.doppler)) continue;
          const double rate = (after->second.code - before->second.code) / 2.0;
          const double wavelength = t->second.code / t->second.phase;
          EXPECT_NEAR(v.at(g.doppler), -rate / wavelength, 0.05) << sat << " " << g.doppler << " epoch " << epoch
                                                                   << " range rate " << rate << " m/s";
          ++rates;
        }
      }
    }
    for (char sys : {'G', 'R', 'E', 'C'}) EXPECT_GE(seen[sys].size(), 4u) << sys;
    if (l.rate) {
      EXPECT_GE(rates, 100);
    }
  }
}

}  // namespace
}  // namespace e2e
