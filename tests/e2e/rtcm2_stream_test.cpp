// RTCM 2 on a port: testglo.rtcm2 reaches the board's relay link byte for byte while the program
// keeps answering commands, and the rover keys keep what was set across a restart.
#include <fstream>
#include <iterator>

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

}  // namespace
}  // namespace e2e
