// Correction streams relayed to the GNSS board: a port in a correction mode gets a relay link,
// announced to the board with the port's mode, and every byte written to the port reaches the
// board on that link as it was written.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "board_link_fixture.h"

namespace {

using boardlink::re;

std::string recording(const std::string& name) {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/" + name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(f), {});
}

class DecoderRelay : public boardlink::BoardLink {
 protected:
  std::string relayed(char link) const {
    const std::string f = std::string("relay.") + link;
    return dir_.exists(f) ? dir_.read(f) : std::string();
  }
  // The program connects its links by itself, a little after start.
  bool linksUp() {
    return e2e::waitUntil([&] {
      for (char l = 'd'; l <= 'h'; ++l)
        if (!dir_.exists(std::string("relay.") + l + ".up")) return false;
      return true;
    });
  }
  bool relayHolds(char link, const std::string& want) {
    return e2e::waitUntil([&] { return relayed(link).size() >= want.size(); }) && relayed(link) == want;
  }
};

TEST_F(DecoderRelay, PortsInCorrectionModesAreRelayedOnTheirLinks) {
  startSim({"--relay", dir_.file("relay.")});
  start();
  ASSERT_TRUE(linksUp());
  e2e::PortReader serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());

  std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm3"), re("%1%"));
  ASSERT_TRUE(boardGets("set,dev/shm/d/imode,rtcm3\n", mark));

  const std::string rtcm3 = recording("testglo.rtcm3");
  ASSERT_FALSE(rtcm3.empty());
  ASSERT_TRUE(serB.sendRaw(rtcm3));
  EXPECT_TRUE(relayHolds('d', rtcm3)) << relayed('d').size() << " of " << rtcm3.size();

  // Another correction mode keeps the link and tells the board.
  mark = transcript().size();
  EXPECT_EQ(ask("%2%set,/par/dev/ser/b/imode,cmr"), re("%2%"));
  ASSERT_TRUE(boardGets("set,dev/shm/d/imode,cmr\n", mark));
  const std::string cmr("\x02\x00\x93\x05more bytes\x03", 15);
  ASSERT_TRUE(serB.sendRaw(cmr));
  EXPECT_TRUE(relayHolds('d', rtcm3 + cmr));

  // Command mode frees the link: the next port to want one gets it.
  mark = transcript().size();
  EXPECT_EQ(ask("%3%set,/par/dev/ser/b/imode,cmd"), re("%3%"));
  ASSERT_TRUE(boardGets("set,dev/shm/d/imode,cmd\n", mark));
  EXPECT_EQ(ask("%4%set,/par/dev/ser/c/imode,auto"), re("%4%"));
  ASSERT_TRUE(boardGets("set,dev/shm/d/imode,auto\n", mark));

  // Five links: the sixth port in a correction mode is not relayed, and says so.
  const char* more[] = {"dev/ser/d", "dev/usb/a", "dev/tcp/a", "dev/tcp/b"};
  const char* links[] = {"e", "f", "g", "h"};
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(ask(std::string("%5%set,/par/") + more[i] + "/imode,rtcm3"), re("%5%")) << more[i];
    EXPECT_TRUE(boardGets(std::string("set,dev/shm/") + links[i] + "/imode,rtcm3\n", mark)) << more[i];
  }
  EXPECT_EQ(ask("%6%set,/par/dev/tcp/c/imode,rtcm"), re("%6%"));
  EXPECT_TRUE(rx_->waitStderr("$$DEC: dev/tcp/c: no free relay link"));
  EXPECT_EQ(transcript().find("/imode,rtcm\n", mark), std::string::npos);
}

// A port stored in a correction mode is relayed again after a restart.
TEST_F(DecoderRelay, StoredCorrectionModeGetsItsLinkAtStart) {
  startSim({"--relay", dir_.file("relay.")});
  start();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/d/imode,rtcm3"), re("%1%"));
  ASSERT_TRUE(boardGets("set,dev/shm/d/imode,rtcm3\n"));
  restartViaCommand();
  for (char l = 'd'; l <= 'h'; ++l) std::remove(dir_.file(std::string("relay.") + l + ".up").c_str());
  const std::size_t mark = transcript().size();
  start();
  EXPECT_TRUE(boardGets("set,dev/shm/d/imode,rtcm3\n", mark));
  ASSERT_TRUE(linksUp());  // connected again by the restarted program
  e2e::PortReader serD(dir_.file("dev/ser/d"));
  ASSERT_TRUE(serD.ok());
  const std::string rtcm3 = recording("msm3.rtcm3");
  ASSERT_TRUE(serD.sendRaw(rtcm3));
  EXPECT_TRUE(relayHolds('d', rtcm3));
}

}  // namespace
