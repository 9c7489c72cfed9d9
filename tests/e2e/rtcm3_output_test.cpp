// The base station's RTCM 3 output on a serial port, with the board simulator streaming its
// synthetic constellation (the GPS satellites of a broadcast file as a fixed site measures them):
// "em" takes the RTCM 3 messages by their pool names and refuses others; the program reads the
// board's satellite, channel and signal records without a complaint; a base whose epoch has no
// base data sends no RTCM 3 at all; with the board's solution it sends its station, receiver and
// text messages every second as gpsd's gpsdecode reads them, until "dm".
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <vector>

#include "e2e/harness.h"
#include "e2e/nav_rinex.h"
#include "e2e/rtcm2_words.h"
#include "e2e/rtcm3_writer.h"
#include "e2e/sky_truth.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

using rinex::readRinexObs;
using rinex::rtcm3Frames;
using rinex::rtcm3Type;

class Rtcm3Output : public Rx {};

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";

// Epochs of the simulator's truth file and the most satellites any of them held.
std::pair<int, int> truthEpochs(const std::string& text) {
  std::map<long, std::set<std::string>> sats;
  for (const auto& [key, s] : truth::bySignal(text)) sats[std::get<0>(key)].insert(std::get<1>(key));
  std::size_t most = 0;
  for (const auto& [t, s] : sats) most = std::max(most, s.size());
  return {static_cast<int>(sats.size()), static_cast<int>(most)};
}

TEST_F(Rtcm3Output, MessagesByPoolNameAndNoFramesWithoutBaseData) {
  // The broadcast alone: no solution of the board, so the base has no epoch data.
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  struct Row {
    const char* list;
    bool taken;
  };
  const Row rows[] = {
      {"rtcm3/{1005,1077,1087}:1", true}, {"rtcm3/4091t", true},  {"rtcm3/{1019,1020,1045,1046}", true},
      {"rtcm3/{1029,1230,1033}:1", true}, {"rtcm3/4091", false},  {"rtcm3/1013", false},
      {"rtcm3/1138", false},              {"rtcm3/{1001,1234}", false},
  };
  for (const Row& r : rows) {
    const std::string reply = ask(std::string("%m%em,/dev/ser/b,") + r.list);
    if (r.taken) {
      EXPECT_EQ(reply, re("%m%")) << r.list;
    } else {
      EXPECT_EQ(reply.substr(0, 2), "ER") << r.list << ": " << reply;
    }
  }
  ASSERT_TRUE(boardGets("gd"));
  b.fill([](const std::string&) { return false; }, 3000);
  EXPECT_TRUE(b.held.empty()) << b.held.size() << " bytes: a base without its epoch data sends nothing";
  ASSERT_EQ(ask("%d%dm,/dev/ser/b,rtcm3"), re("%d%"));
}

TEST_F(Rtcm3Output, StationReceiverAndTextMessagesEverySecondUntilDm) {
  // The board's own solution (a perfect clock) makes the base's epoch data; its satellites are
  // not needed by these messages.
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  const std::string text127(127, 'x');
  ASSERT_EQ(ask("%s%set,/par/rtcm3/base/stid,1234"), re("%s%"));
  ASSERT_EQ(ask("%t%set,/par/rtcm3/base/text," + text127), re("%t%"));
  ASSERT_EQ(ask("%p%set,/par/rtcm3/base/textparam/msgout,on"), re("%p%"));
  const std::string model = unwrapped(printed(ask("print,/par/rcv/model"))),
                    ver = unwrapped(printed(ask("print,/par/rcv/ver")));
  ASSERT_FALSE(model.empty());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/{1033,4091t,1029,1230}:1"), re("%e%"));
  b.fill([](const std::string&) { return false; }, 5500);
  int junk = 0;
  std::vector<std::string> frames = rtcm3Frames(b.held, &junk);
  EXPECT_EQ(junk, 0) << "RTCM 3 frames only";
  // One set a second, in the order of the pool: 1033, 4091, 1029, 1230.
  ASSERT_GE(frames.size(), 12u) << b.held.size() << " bytes\n" << dir_.read("sim1.log").substr(0, 2000);
  EXPECT_LE(frames.size(), 28u);
  std::size_t first = 0;
  while (first < frames.size() && rtcm3Type(frames[first]) != 1033) ++first;
  const int order[4] = {1033, 4091, 1029, 1230};
  for (std::size_t k = first; k < frames.size(); ++k) EXPECT_EQ(rtcm3Type(frames[k]), order[(k - first) % 4]) << k;
  int decoded = 0, texts = 0, receivers = 0;
  std::string bytes;
  for (const std::string& f : frames) bytes += f;
  for (const std::string& line : gpsdecode(dir_, bytes, "out.rtcm3")) {
    const double type = jsonNumber(line, "type");
    if (line.find("\"station_id\"") != std::string::npos) {
      EXPECT_EQ(jsonNumber(line, "station_id"), 1234) << line;
      ++decoded;
    }
    if (type == 1033) {
      EXPECT_EQ(jsonText(line, "receiver"), model) << line;
      EXPECT_EQ(jsonText(line, "firmware"), ver) << line;
      ++receivers;
    }
    if (type == 1029) {
      EXPECT_EQ(jsonText(line, "msg"), "/par/base/msgout=rtcm3/{1033,4091,1029,1230}") << line;
      ++texts;
    }
  }
  EXPECT_GE(receivers, 3);
  EXPECT_GE(texts, 3);
  EXPECT_GE(decoded, receivers + texts);
  // The base's own text, as set.
  for (const std::string& f : frames)
    if (rtcm3Type(f) == 4091) {
      ASSERT_EQ(f.size(), 6u + 6u + 127u);
      EXPECT_EQ(f.substr(3 + 6, 127), text127);
    }

  // A rover reads a base's "/par/base/" texts: the frames of this base on its port C in mode
  // rtcm3, with texts of every parameter (values, "unknown" ones, absent groups) and a malformed
  // one, then a station (1005) of the base station id of a fresh rover (0); the station becomes
  // the base record, the texts before it having left the stream in step.
  std::string rover;
  for (const std::string& f : frames) rover += f;
  for (const std::string t : {"/par/base/modem=unknown", "/par/base/modem={power=12,tempc=unknown,volt=12.5,id=7,id2=unknown}",
                              "/par/base/msgnum={41,3,4}", "/par/base/msgnum={x,3,4}",
                              "/par/base/moving={accel={0.1,0.2,0.3,1},curpos=,alert={0.10,0.1,0.1,0.1}}", "plain text"})
    rover += rtcm3w::Message(1029).u(1234, 12).u(0, 16).u(0, 17).u(t.size(), 7).text(t, 8).frame();
  rover += rtcm3w::msg1005(0, 4045646.31, 713356.6, 4863018.85);
  ASSERT_EQ(ask("%c%set,/par/dev/ser/c/imode,rtcm3"), re("%c%"));
  Port c(dir_.file("dev/ser/c"));
  ASSERT_TRUE(c.sendRaw(rover));
  EXPECT_TRUE(waitUntil([&] {
    return ask("print,/par/pos/pd/ref/pos/xyz") == re("{x=4045646.3100,y=713356.6000,z=4863018.8500}");
  }));

  ASSERT_EQ(ask("%d%dm,/dev/ser/b,rtcm3"), re("%d%"));
  b.fill([](const std::string&) { return false; }, 1500);
  b.held.clear();
  b.fill([](const std::string&) { return false; }, 2500);
  EXPECT_TRUE(b.held.empty()) << b.held.size() << " bytes after dm";

  // Without the msgout text no 1029 comes.
  ASSERT_EQ(ask("%p%set,/par/rtcm3/base/textparam/msgout,off"), re("%p%"));
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/{1033,4091t,1029,1230}:1"), re("%e%"));
  b.fill([](const std::string&) { return false; }, 3500);
  junk = 0;
  frames = rtcm3Frames(b.held, &junk);
  EXPECT_EQ(junk, 0);
  std::set<int> types;
  for (const std::string& f : frames) types.insert(rtcm3Type(f));
  EXPECT_EQ(types, (std::set<int>{1033, 4091, 1230}));

  // The board streamed its sky every second, and the program took its records without a word.
  const auto [epochs, most] = truthEpochs(dir_.read("sky.truth"));
  EXPECT_GE(epochs, 10);
  EXPECT_GE(most, 6);
  stop();
  for (const char* complaint : {"$$ @@SatData: ERROR", "$$ @@SatData: WARNING", "$$ @@SolAln: ERROR", "ERROR: bad epoch"})
    EXPECT_EQ(out_.find(complaint), std::string::npos) << complaint << "\n" << out_;
}

// The acceptance of a base on the synthetic sky: MSM7 of every satellite the board measures,
// convbin reading the port's bytes back to the simulator's values.
// The smoothing interval field of an MSM frame (header bits 70-72 of its message).
int msmSmoothing(const std::string& f) {
  const auto bit = [&](int i) { return (static_cast<unsigned char>(f[3 + i / 8]) >> (7 - i % 8)) & 1; };
  return bit(70) << 2 | bit(71) << 1 | bit(72);
}

// The base's observations from the carrier-smoothed code (rtcm/base/smooth): its MSM header
// states the class of the 100-s smoothing interval (RTCM 10403 table: 3 is 1 to 2 minutes), and 0
// ("no smoothing") while it is off; its RTCM 2 type 19 (first data word: the frequency, then the
// interval, two bits each) says 1 (1 to 5 minutes), and 3 (indefinite) while off. The switch is stored
// and returns to off with init.
TEST_F(Rtcm3Output, SmoothedCodeSwitchSetsTheMsmSmoothingInterval) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky"}));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%p%print,/par/rtcm/base/smooth"), re("%p%off"));
  EXPECT_EQ(ask("%s%set,/par/rtcm/base/smooth,maybe").rfind("ER", 0), 0u);
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1077:1"), re("%e%"));
  Port c(dir_.file("dev/ser/c"));
  ASSERT_TRUE(c.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/c,rtcm/19:1"), re("%e%"));
  // The smoothing field of the newest type 19 after at least two more have come.
  const auto next19 = [&] {
    const std::size_t from = c.held.size() / 5 * 5;
    int last = -1;
    c.fill(
        [&](const std::string& held) {
          int bad = 0, seen = 0;
          for (const rtcm2words::Frame& f : rtcm2words::frames(held.substr(from), bad))
            if (f.type == 19 && f.words > 0) ++seen, last = static_cast<int>(f.first >> 20 & 3);
          return seen >= 2;
        },
        60000);
    return last;
  };
  // The class of the newest MSM frame after at least `n` more have come.
  const auto nextClass = [&](int n) {
    const std::size_t from = b.held.size();
    int last = -1;
    b.fill(
        [&](const std::string& held) {
          int seen = 0;
          for (const std::string& f : rtcm3Frames(held.substr(from)))
            if (rtcm3Type(f) == 1077) ++seen, last = msmSmoothing(f);
          return seen >= n;
        },
        60000);
    return last;
  };
  EXPECT_EQ(nextClass(1), 0);
  EXPECT_EQ(next19(), 3);
  ASSERT_EQ(ask("%1%set,/par/rtcm/base/smooth,on"), re("%1%"));
  EXPECT_EQ(ask("%p%print,/par/rtcm/base/smooth"), re("%p%on"));
  EXPECT_EQ(nextClass(2), 3);
  EXPECT_EQ(next19(), 1);

  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%p%print,/par/rtcm/base/smooth"), re("%p%on"));
  ASSERT_EQ(ask("%2%init,/par/"), re("%2%"));
  EXPECT_EQ(ask("%p%print,/par/rtcm/base/smooth"), re("%p%off"));
}

TEST_F(Rtcm3Output, Msm7OfTheSimulatedSkyReadBackByConvbinToTheSimulatorsTruth) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/{1005,1077,1087}:1"), re("%e%"));
  // The satellites join the base's epoch once their broadcast ephemerides are decoded (the first
  // three subframes take 18 s of GPS time); then five more epochs.
  int junk = 0;
  const auto msm7 = [](const std::string& held) { return rinex::rtcm3Count(held, 1077); };
  ASSERT_TRUE(b.fill([&](const std::string& held) { return msm7(held) >= 1; }, 60000)) << b.held.size() << " bytes";
  b.fill([&](const std::string& held) { return msm7(held) >= 6; }, 15000);
  const std::vector<std::string> frames = rtcm3Frames(b.held, &junk);
  EXPECT_EQ(junk, 0) << "RTCM 3 frames only";
  std::set<int> types;
  for (const std::string& f : frames) types.insert(rtcm3Type(f));
  EXPECT_EQ(types, std::set<int>{1077}) << "no GLONASS in the sky; no entered reference station for 1005";
  std::string bytes;
  for (const std::string& f : frames) bytes += f;
  ASSERT_TRUE(dir_.write("b.rtcm3", bytes));
  ASSERT_TRUE(runIn(dir_, "convbin -r rtcm3 -tr 2010/07/01 12:00:00 -v 3.04 -od -os -o b.obs b.rtcm3"));
  const auto obs = readRinexObs(dir_.read("b.obs"));
  const auto truth = e2e::truth::bySignal(dir_.read("sky.truth"));
  ASSERT_GE(obs.size(), 5u);
  int compared = 0;
  for (const auto& [epoch, sats] : obs) {
    // Every satellite the simulator measured in that epoch, and no other.
    std::set<std::string> want, got;
    for (const auto& [key, v] : truth)
      if (std::get<0>(key) == epoch) want.insert(std::get<1>(key));
    for (const auto& [sat, v] : sats) {
      EXPECT_EQ(sat[0], 'G') << sat;
      got.insert(sat);
    }
    EXPECT_EQ(got, want) << "epoch " << epoch;
    for (const auto& [sat, v] : sats) {
      struct Sig {
        int slot;
        const char *code, *phase;
      };
      for (const Sig& g : {Sig{0, "C1C", "L1C"}, Sig{2, "C2W", "L2W"}}) {
        const auto t = truth.find({epoch, sat, g.slot});
        ASSERT_NE(t, truth.end()) << sat << " " << epoch;
        ASSERT_TRUE(v.contains(g.code) && v.contains(g.phase)) << sat << " " << g.code;
        EXPECT_NEAR(v.at(g.code), t->second.code, 0.001) << sat << " " << g.code << " epoch " << epoch;
        EXPECT_NEAR(v.at(g.phase), t->second.phase, 0.002) << sat << " " << g.phase << " epoch " << epoch;
        ++compared;
      }
    }
  }
  EXPECT_GE(compared, 5 * 6 * 2);
}

}  // namespace
}  // namespace e2e
