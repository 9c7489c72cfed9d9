// RTCM 2 on a port: testglo.rtcm2 reaches the board's relay link byte for byte while the program
// keeps answering commands, its station becomes the RTK base as convbin reads it, and the rover
// keys keep what was set across a restart.
#include <algorithm>
#include <array>
#include <cmath>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

#include "e2e/harness.h"
#include "e2e/sky_truth.h"
#include "unit/differential/rtcm2_test_util.h"

namespace e2e {
namespace {

using Rtcm2Stream = Rx;

std::string testglo() {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm2/testglo.rtcm2", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

bool refused(const std::string& reply) { return reply.rfind("ER", 0) == 0; }

// A recording sent at full speed reaches the board whole, though the board takes its relay link
// slower than the bytes come (more than the link holds waits for room, none is dropped), and the
// commands of another port are answered meanwhile.
TEST_F(Rtcm2Stream, RecordingRelayedByteForByteWhileCommandsAreAnswered) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay."), "--relay-rate", "30000"}));
  ASSERT_NO_FATAL_FAILURE(start());
  const std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm"), re("%1%"));
  EXPECT_TRUE(boardGets("set,dev/shm/d/imode,rtcm\n", mark));
  ASSERT_TRUE(waitUntil([&] { return dir_.exists("relay.d.up"); }));
  const std::string all = testglo();
  ASSERT_EQ(all.size(), 153397u);
  Port serB(dir_.file("dev/ser/b"));
  for (std::size_t at = 0; at < all.size(); at += 4096) {
    ASSERT_TRUE(serB.sendRaw(all.substr(at, 4096)));
    EXPECT_EQ(ask("%q%print,/par/rtcm/rover/ver"), re("%q%v2.3"));
  }
  EXPECT_TRUE(fileReaches("relay.d", all.size()));
  EXPECT_TRUE(dir_.read("relay.d") == all) << dir_.read("relay.d").size() << " of " << all.size();
  EXPECT_TRUE(rx_->running());
}

TEST_F(Rtcm2Stream, RoverKeysSetPrintRefuseAndSurviveARestart) {
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string kDefaults =
      "{maxage=30,seqnum=on,invsign=off,ver=v2.3,usenm=on,refsrc=auto,epoch={glo=on,eoe=off,full=on}}";
  EXPECT_EQ(ask("print,/par/rtcm/rover"), re(kDefaults));
  EXPECT_EQ(ask("%1%set,/par/rtcm/rover/seqnum,off"), re("%1%"));
  EXPECT_EQ(ask("print,/par/rtcm/rover/seqnum"), re("off"));
  EXPECT_EQ(ask("%2%set,/par/rtcm/rover/refsrc,arp"), re("%2%"));
  EXPECT_EQ(ask("%3%set,/par/rtcm/rover/ver,v2.1"), re("%3%"));
  EXPECT_TRUE(refused(ask("%4%set,/par/rtcm/rover/ver,v3.0")));
  EXPECT_TRUE(refused(ask("%4%set,/par/rtcm/rover/maxage,0")));
  EXPECT_TRUE(refused(ask("%4%set,/par/rtcm/rover/usenm,maybe")));
  EXPECT_EQ(ask("%5%set,/par/rtcm/rover/epoch/eoe,on"), re("%5%"));
  EXPECT_EQ(ask("%5%set,/par/rtcm/rover/epoch/glo,off"), re("%5%"));
  EXPECT_TRUE(refused(ask("%6%set,/par/rtcm/rover/epoch/full,maybe")));
  EXPECT_TRUE(refused(ask("%6%set,/par/rtcm/rover/epoch/last,on")));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/rtcm/rover"),
            re("{maxage=30,seqnum=off,invsign=off,ver=v2.1,usenm=on,refsrc=arp,epoch={glo=off,eoe=on,full=on}}"));
  EXPECT_EQ(ask("%7%set,/par/rtcm/rover/epoch/full,off"), re("%7%"));
  // Set to what they are, off stays off and on stays on.
  EXPECT_EQ(ask("%7%set,/par/rtcm/rover/epoch/glo,off"), re("%7%"));
  EXPECT_EQ(ask("%7%set,/par/rtcm/rover/epoch/eoe,on"), re("%7%"));
  EXPECT_EQ(ask("print,/par/rtcm/rover/epoch"), re("{glo=off,eoe=on,full=off}"));
  std::this_thread::sleep_for(std::chrono::seconds(11));
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/rtcm/rover/epoch"), re("{glo=off,eoe=on,full=off}"));
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/rtcm/rover"), re(kDefaults));
}

// The station of the recording (messages 3 with message 22, station 0) becomes the RTK base: its
// position is convbin's (message 3 plus the sub-centimetre corrections of message 22, each below
// 5 mm), and the L2-L1 offset of message 22's third word, all zeros here, shows as zeros in
// east/north/up (not message 22's L1 corrections, turned round and left in Earth-fixed axes).
TEST_F(Rtcm2Stream, RecordingsStationBecomesTheBaseWithItsL2L1Offset) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  // convbin's reading of the message 3 position.
  const std::string path = std::string(RX_SHARED_DIR) + "/testdata/rtcm2/testglo.rtcm2";
  const std::string cmd = "convbin -r rtcm2 -tr 2010/07/01 00:00:00 '" + path + "' -o '" + dir_.file("testglo.obs") +
                          "' >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  double approx[3] = {};
  {
    std::istringstream in(dir_.read("testglo.obs"));
    for (std::string line; std::getline(in, line);)
      if (line.find("APPROX POSITION XYZ") != std::string::npos)
        std::sscanf(line.c_str(), "%lf %lf %lf", &approx[0], &approx[1], &approx[2]);
  }
  ASSERT_NE(approx[0], 0.0);
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm"), re("%1%"));
  Port serB(dir_.file("dev/ser/b"));
  const std::string all = testglo();
  for (std::size_t at = 0; at < all.size(); at += 4096) ASSERT_TRUE(serB.sendRaw(all.substr(at, 4096)));
  ASSERT_TRUE(waitUntil([&] { return ask("print,/par/pos/pd/ref/id").find("nan") == std::string::npos &&
                                     ask("print,/par/pos/pd/ref/pos/xyz/x").find("nan") == std::string::npos; }));
  for (int k = 0; k < 3; ++k) {
    const std::string axis(1, static_cast<char>('x' + k));
    const std::string v = ask("print,/par/pos/pd/ref/pos/xyz/" + axis);
    ASSERT_GE(v.size(), 7u) << v;
    EXPECT_NEAR(std::atof(v.substr(5).c_str()), approx[k], 0.005) << axis << ": " << v;
  }
  EXPECT_EQ(ask("print,/par/pos/pd/ref/ant/l2_l1"), re("{e=0.0000,n=0.0000,u=0.0000}"));
}

// The coder's GLONASS switch for the RTK messages: on by default, refused values change nothing,
// stored across a restart and back to on with init.
TEST_F(Rtcm2Stream, BaseGlonassSwitchSetPrintRefuseAndSurviveARestart) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/rtcm/base"), re("{glo=on}"));
  EXPECT_EQ(ask("%1%set,/par/rtcm/base/glo,off"), re("%1%"));
  EXPECT_EQ(ask("print,/par/rtcm/base/glo"), re("off"));
  EXPECT_TRUE(refused(ask("%2%set,/par/rtcm/base/glo,maybe")));
  EXPECT_TRUE(refused(ask("%3%set,/par/rtcm/base/gal,on")));
  EXPECT_EQ(ask("print,/par/rtcm/base/glo"), re("off"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/rtcm/base/glo"), re("off"));
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/rtcm/base"), re("{glo=on}"));
}

// The GPS orbit (50) and clock (51) messages of the non-standard state-space set for the two GPS
// satellites of index gps[] (PRN - 1): per satellite its issue of data, orbit correction (X, Y, Z
// in 1/128 m with scale 0, or 1/32 m with scale 1, 11 bits each), its rate (1/8192 m/s, 6 bits
// each) and its clock (mm modulo 65.535 m, 16 bits), under Z-count z.
struct GpsOrbitClock {
  int issue[2];
  int scale;
  long pos[2][3], rate[2][3], clockMm[2];
};
void gpsOrbitClock(rtcm2test::Writer& w, int& seq, int z, const int gps[2], const GpsOrbitClock& oc) {
  using rtcm2test::Fields;
  const auto send = [&](int type, const Fields& f) { w.message(rtcm2test::Header{type, 55, z, seq++ & 7, 0, -1}, f.words()); };
  const auto gpsMask = [&](Fields& f) { f.put((1ull << (31 - gps[0])) | (1ull << (31 - gps[1])), 32); };
  Fields orbit, clock;
  orbit.put(0, 2), orbit.put(1, 2), orbit.put(0, 12), gpsMask(orbit);
  for (int k = 0; k < 2; ++k) {
    orbit.put(static_cast<std::uint64_t>(oc.issue[k]), 8), orbit.put(static_cast<std::uint64_t>(oc.scale), 1);
    for (long v : oc.pos[k]) orbit.putSigned(v, 11);
    for (long v : oc.rate[k]) orbit.putSigned(v, 6);
  }
  send(50, orbit);
  clock.put(0, 2), clock.put(1, 2), clock.put(0, 4), gpsMask(clock);
  for (long v : oc.clockMm) clock.put(static_cast<std::uint64_t>(v), 16);
  send(51, clock);
}

// One round of the non-standard state-space messages, written field by field: GPS orbit (50),
// clock (51), clock partial (52), code and phase biases (53, 54), orbit refinement (55) of the two
// GPS satellites of index gps[] (PRN - 1), GLONASS orbit and clock (38, 39) of the two slots of
// index glo[] (slot - 1), under Z-count z (zGlo for GLONASS, whose hour is its own).
void stateSpaceRound(rtcm2test::Writer& w, int& seq, int z, int zGlo, const int gps[2], const int glo[2]) {
  using rtcm2test::Fields;
  const auto send = [&](int type, const Fields& f, int zc) {
    w.message(rtcm2test::Header{type, 55, zc, seq++ & 7, 0, -1}, f.words());
  };
  gpsOrbitClock(w, seq, z, gps,
                GpsOrbitClock{{55, 56}, 1, {{48, -20, 7}, {48, -20, 7}}, {{31, -3, 0}, {31, -3, 0}}, {40000L + z, 65500L - z}});
  Fields partial, code, phase, refine, gOrbit, gClock;
  partial.put(0, 3), partial.put(51, 6), partial.put(2, 6);
  for (long v : {5L, -256L}) partial.putSigned(v, 9);
  send(52, partial, z + 3);
  for (Fields* f : {&code, &phase}) {
    f->put(1, 2), f->put(0, 3), f->put(0, 3);
    f->put((1ull << gps[0]) | (1ull << gps[1]), 35);
  }
  phase.put(0x7FFFFFFFFull, 35);
  for (long v : {-40L, 41L}) code.putSigned(v, 12);
  for (long v : {-300L, 301L}) phase.putSigned(v, 11), phase.put(static_cast<std::uint64_t>(z & 15), 4);
  send(53, code, z);
  send(54, phase, z);
  for (int k = 0; k < 2; ++k)
    for (long v : {-4L, 3L, 0L, 1L, -1L, 2L}) refine.putSigned(v, 3);
  send(55, refine, z);
  gOrbit.put(0, 2), gOrbit.put(1, 2), gOrbit.put(0, 4);
  gOrbit.put((1ull << (23 - glo[0])) | (1ull << (23 - glo[1])), 24);
  for (int k = 0; k < 2; ++k) {
    gOrbit.put(20 + k, 7);
    for (long v : {100L, -100L, 5L}) gOrbit.putSigned(v, 13);
    for (long v : {1L, 2L, -2L}) gOrbit.putSigned(v, 6);
    gOrbit.put(0, 1);
  }
  send(38, gOrbit, zGlo);
  gClock.put(0, 2), gClock.put(1, 2), gClock.put(0, 20);
  gClock.put((1ull << (23 - glo[0])) | (1ull << (23 - glo[1])), 24);
  for (long v : {262000L, 12L}) gClock.put(static_cast<std::uint64_t>(v), 18);
  send(39, gClock, zGlo);
}

// The writer's bytes not yet on the port (whole 6-bit groups: every message is whole words).
bool sendNew(Port& port, const rtcm2test::Writer& w, std::size_t& sent) {
  const std::vector<std::uint8_t> bytes = w.bytes();
  const bool ok = port.sendRaw(std::string(bytes.begin() + static_cast<long>(sent), bytes.end()));
  sent = bytes.size();
  return ok;
}

// The station message 3 at -2420188.34, 5385163.28, 2405199.91 m.
void station3(rtcm2test::Writer& w, int& seq, int z) {
  rtcm2test::Fields station;
  for (long long v : {-242018834LL, 538516328LL, 240519991LL}) station.putSigned(v, 32);
  w.message(rtcm2test::Header{3, 55, z, seq++ & 7, 0, -1}, station.words());
}

// The state-space messages, five rounds a second apart on a port in mode rtcm (the rounds after
// the board's first epochs meet a receiver time), then a station (3). The decoder takes each and
// keeps its word framing and parity chain across them: the station after them becomes the base,
// and the commands are answered throughout.
TEST_F(Rtcm2Stream, StateSpaceMessagesKeepTheStreamInStep) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm"), re("%1%"));
  Port serB(dir_.file("dev/ser/b"));
  rtcm2test::Writer w;
  int seq = 0;
  std::size_t sent = 0;
  const int gps[] = {6, 9}, glo[] = {2, 4};  // G07, G10, R03, R05
  for (int round = 0; round < 5; ++round) {
    stateSpaceRound(w, seq, 100 + 10 * round, 100 + 10 * round, gps, glo);
    ASSERT_TRUE(sendNew(serB, w, sent));
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  station3(w, seq, 150);
  ASSERT_TRUE(sendNew(serB, w, sent));
  EXPECT_EQ(ask("%q%print,/par/rtcm/rover/ver"), re("%q%v2.3"));
  ASSERT_TRUE(waitUntil([&] { return ask("print,/par/pos/pd/ref/id") == re("55"); }))
      << ask("print,/par/pos/pd/ref/id");
  EXPECT_EQ(ask("print,/par/pos/pd/ref/pos/xyz"), re("{x=-2420188.3400,y=5385163.2800,z=2405199.9100}"));
  EXPECT_TRUE(rx_->running());
}

// G03's wide-area range corrections of entry 0 under issue `iod` as the correction epochs print
// them (debug selector 199), in order.
std::vector<double> g03Corrections(const std::string& out, unsigned iod) {
  std::vector<double> v;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    unsigned use = 0, got = 0;
    double wd = 0;
    char iono[16] = {};
    if (std::sscanf(line.c_str(), "$$ corr G03 iod %u iono %15s wd %lf/%u", &use, iono, &wd, &got) == 4 && got == iod)
      v.push_back(wd);
  }
  return v;
}

// The wide-area stage on the state-space service (pos/wd/sel ssr) over a sky of every system:
// state-space orbits, clocks and biases of two GPS satellites of that sky (G03, G06) and two
// GLONASS slots come each second for forty seconds; the stage's generator reads them for the
// satellites of the correction request while the stream stays in step and the commands are
// answered. Then orbits and clocks of G03 and G06 under the issues of data of the ephemerides
// the receiver uses (as the correction epoch prints them) are applied: G03's clock sent 0.150 m
// later moves its correction by +0.150 m, an orbit correction of (2, -1, 0.5) m by minus its
// projection on the line of sight, each in one step.
TEST_F(Rtcm2Stream, StateSpaceServiceTakesTheMessagesOfTheSky) {
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", nav, "--sky", "--site", "22.3,114.2,50", "--start", "2023-03-12T10:00:00",
                                    "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  for (const char* c : {"set,/par/pos/wd/sel,ssr", "set,/par/pos/tec/calib,on", "set,/par/dev/ser/b/imode,rtcm",
                        "set,/par/rtk/dbi/temp,199"})
    ASSERT_EQ(ask(std::string("%k%") + c), re("%k%")) << c;
  EXPECT_EQ(ask("print,/par/pos/wd/sel"), re("ssr"));
  Port serB(dir_.file("dev/ser/b"));
  rtcm2test::Writer w;
  int seq = 0;
  std::size_t sent = 0;
  const int gps[] = {2, 5}, glo[] = {0, 6};
  // Forty seconds: the sky's ephemerides come within the first thirty.
  // The stream began at 10:00:00 UTC, 10:00:18 GPS time, about when the program was up; each
  // round is dated a second behind the receiver (the Z-count counts 0.6 s within the hour).
  const auto started = std::chrono::steady_clock::now();
  const auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count(); };
  for (int round = 0; round < 40; ++round) {
    // GLONASS time is UTC(SU), three hours ahead of UTC: the same minute of its hour.
    stateSpaceRound(w, seq, static_cast<int>((18.0 + elapsed() - 1.0) / 0.6),
                    static_cast<int>(std::max(0.0, elapsed() - 1.0) / 0.6), gps, glo);
    ASSERT_TRUE(sendNew(serB, w, sent));
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  unsigned issue[2] = {};
  for (int k = 0; k < 2; ++k) {
    const std::string out = rx_->out(), name = k == 0 ? "$$ corr G03 iod " : "$$ corr G06 iod ";
    const std::size_t at = out.rfind(name);
    ASSERT_NE(at, std::string::npos) << name;
    issue[k] = static_cast<unsigned>(std::atoi(out.c_str() + at + name.size()));
  }
  const std::size_t from = rx_->out().size();
  const GpsOrbitClock phases[3] = {
      {{int(issue[0]), int(issue[1])}, 0, {{0, 0, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 0, 0}}, {40000, 50000}},
      {{int(issue[0]), int(issue[1])}, 0, {{0, 0, 0}, {0, 0, 0}}, {{0, 0, 0}, {0, 0, 0}}, {40150, 50000}},
      {{int(issue[0]), int(issue[1])}, 0, {{256, -128, 64}, {0, 0, 0}}, {{0, 0, 0}, {0, 0, 0}}, {40150, 50000}}};
  for (const GpsOrbitClock& p : phases)
    for (int round = 0; round < 6; ++round) {
      gpsOrbitClock(w, seq, static_cast<int>((18.0 + elapsed() - 1.0) / 0.6), gps, p);
      ASSERT_TRUE(sendNew(serB, w, sent));
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
  const std::vector<double> v = g03Corrections(rx_->out().substr(from), issue[0]);
  ASSERT_GE(v.size(), 12u) << "G03 corrected under issue " << issue[0];
  const std::array<double, 3> los = truth::lineOfSight(truth::lastSecond(dir_.read("sky.truth"))["3"], 22.3, 114.2);
  const double orbit = -(2.0 * los[0] - 1.0 * los[1] + 0.5 * los[2]);
  int clockSteps = 0, orbitSteps = 0;
  for (std::size_t k = 1; k < v.size(); ++k) {
    const double d = v[k] - v[k - 1];
    if (std::fabs(d - 0.150) < 0.01) ++clockSteps;
    else if (std::fabs(d - orbit) < 0.01) ++orbitSteps;
    else EXPECT_LT(std::fabs(d), 0.01) << k << ": " << d;
  }
  EXPECT_EQ(clockSteps, 1);
  EXPECT_EQ(orbitSteps, 1) << orbit;
  station3(w, seq, 100);
  ASSERT_TRUE(sendNew(serB, w, sent));
  ASSERT_TRUE(waitUntil([&] { return ask("print,/par/pos/pd/ref/id") == re("55"); }))
      << ask("print,/par/pos/pd/ref/id");
  EXPECT_EQ(ask("print,/par/pos/wd/sel"), re("ssr"));
  EXPECT_TRUE(rx_->running());
}

}  // namespace
}  // namespace e2e
