// RTCM 2 on a port: testglo.rtcm2 reaches the board's relay link byte for byte while the program
// keeps answering commands, its station becomes the RTK base as convbin reads it, and the rover
// keys keep what was set across a restart.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "e2e/harness.h"

namespace e2e {
namespace {

using Rtcm2Stream = Rx;

std::string testglo() {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm2/testglo.rtcm2", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

bool refused(const std::string& reply) { return reply.rfind("ER", 0) == 0; }

TEST_F(Rtcm2Stream, RecordingRelayedByteForByteWhileCommandsAreAnswered) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay.")}));
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
  EXPECT_TRUE(waitUntil([&] { return dir_.read("relay.d").size() >= all.size(); }));
  EXPECT_TRUE(dir_.read("relay.d") == all) << dir_.read("relay.d").size() << " of " << all.size();
  EXPECT_TRUE(rx_->running());
}

TEST_F(Rtcm2Stream, RoverKeysSetPrintRefuseAndSurviveARestart) {
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string kDefaults = "{maxage=30,seqnum=on,invsign=off,ver=v2.3,usenm=on,refsrc=auto}";
  EXPECT_EQ(ask("print,/par/rtcm/rover"), re(kDefaults));
  EXPECT_EQ(ask("%1%set,/par/rtcm/rover/seqnum,off"), re("%1%"));
  EXPECT_EQ(ask("print,/par/rtcm/rover/seqnum"), re("off"));
  EXPECT_EQ(ask("%2%set,/par/rtcm/rover/refsrc,arp"), re("%2%"));
  EXPECT_EQ(ask("%3%set,/par/rtcm/rover/ver,v2.1"), re("%3%"));
  EXPECT_TRUE(refused(ask("%4%set,/par/rtcm/rover/ver,v3.0")));
  EXPECT_TRUE(refused(ask("%4%set,/par/rtcm/rover/maxage,0")));
  EXPECT_TRUE(refused(ask("%4%set,/par/rtcm/rover/usenm,maybe")));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/rtcm/rover"), re("{maxage=30,seqnum=off,invsign=off,ver=v2.1,usenm=on,refsrc=arp}"));
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

}  // namespace
}  // namespace e2e
