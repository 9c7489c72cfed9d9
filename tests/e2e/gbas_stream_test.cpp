// A port in GBAS mode: the broadcast bytes reach the board's relay link unchanged, and noise with
// the block identifiers of both formats leaves the program up. The messages are ICAO Annex 10
// Volume I Attachment D Table D-8's Type 1 message (its published fields; see the unit tests for
// its CRC) and a Type 2 message of the same station.
#include <random>

#include "e2e/harness.h"
#include "unit/gbas_messages.h"

namespace e2e {
namespace {

using GbasStream = Rx;

std::string tableD8Burst() {
  using gbastest::type1Body;
  using gbastest::type2Body;
  const std::vector<std::uint8_t> t1 =
      gbastest::frame(170, "BELL", 1, type1Body(1000, 3, 1, 0, 0, 0, 255, {{122, 2, 100, -200, 98, 2, 3, -5, -128}}));
  const std::vector<std::uint8_t> t2 =
      gbastest::frame(170, "BELL", 2, type2Body({1, 1, 1, 232, 0, -7, 1, 20, 328864000, -672626000, 12345}, {5, 25, 34, 35, 36, 37}));
  std::string s(t1.begin(), t1.end());
  s.append(t2.begin(), t2.end());
  return s;
}

TEST_F(GbasStream, TableD8BytesRelayedUnchangedAndNoiseHarmless) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay.")}));
  ASSERT_NO_FATAL_FAILURE(start());
  const std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,gbas"), re("%1%"));
  EXPECT_TRUE(boardGets("set,dev/shm/d/imode,gbas\n", mark));
  ASSERT_TRUE(waitUntil([&] { return dir_.exists("relay.d.up"); }));
  const std::string burst = tableD8Burst();
  ASSERT_EQ(burst.size(), 28u + 34u);
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.sendRaw(burst));
  EXPECT_TRUE(waitUntil([&] { return dir_.read("relay.d") == burst; })) << dir_.read("relay.d").size();
  std::string noise(64 * 1024, '\0');
  std::mt19937 rng(54);
  for (char& c : noise) {
    const std::uint32_t r = rng();
    c = static_cast<char>((r & 0x700) == 0 ? ((r & 0x800) ? 0x55 : 0x99) : r);
  }
  ASSERT_TRUE(serB.sendRaw(noise));
  ASSERT_TRUE(serB.sendRaw(burst));
  const std::string all = burst + noise + burst;
  EXPECT_TRUE(waitUntil([&] { return dir_.read("relay.d").size() >= all.size(); }));
  EXPECT_TRUE(dir_.read("relay.d") == all) << dir_.read("relay.d").size() << " of " << all.size();
  EXPECT_EQ(ask("%2%print,/par/dev/ser/b/imode"), re("%2%gbas"));
  EXPECT_TRUE(rx_->running());
}

std::string bytesOf(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Once the receiver has its GPS time the messages are decoded as well as relayed: a type 1 of
// GPS, GLONASS and SBAS ranging sources (one not valid, one of no known system), a type 2 with
// additional data block 1, a type 4 with one good and one spoilt FAS block, a type 5, the same
// station in the DO-217 format (passed over whole) and the type 1 messages of two more ground
// stations, the third taking a decoder from one of the first two. Everything still reaches the
// relay link unchanged, and the program goes on.
TEST_F(GbasStream, MessagesOfThreeStationsDecodedOnceTheTimeIsKnown) {
  using namespace gbastest;
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay.")}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(rx_->waitOut("$$TIME: program clock stepped by")) << rx_->out();
  const std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,gbas"), re("%1%"));
  EXPECT_TRUE(boardGets("set,dev/shm/d/imode,gbas\n", mark));
  ASSERT_TRUE(waitUntil([&] { return dir_.exists("relay.d.up"); }));

  const std::vector<Meas> blocks = {{5, 12, 100, -200, 98, 2, 3, -5, -128},
                                    {40, 33, -300, 50, 255, -128, -128, -128, -128},
                                    {122, 7, 20, 0, 40, 1, 1, 1, 1},
                                    {200, 1, 1, 1, 1, 1, 1, 1, 1}};
  const Fas fas{0, 15, "KBEL", 27, 3, 1, 0, 5, "G27L", 183600000, -673200000, 6000, 1000, -2000, 1000, 1, 300, 100, 10, 100, 200};
  std::vector<std::uint8_t> t4 = dataSet(fas);
  const std::vector<std::uint8_t> spoilt = dataSet(fas, 1);
  t4.insert(t4.end(), spoilt.begin(), spoilt.end());
  const std::string msgs[] = {
      bytesOf(gbastest::frame(170, "BELL", 1, type1Body(1000, 0, 4, 1, 20, 0xBEEF, 30, blocks))),
      bytesOf(gbastest::frame(170, "BELL", 2, type2Body({1, 1, 1, 232, 0, -7, 1, 20, 328864000, -672626000, 12345}, {5, 25, 34, 35, 36, 37}))),
      bytesOf(gbastest::frame(170, "BELL", 4, t4)),
      bytesOf(gbastest::frame(170, "BELL", 5, std::vector<std::uint8_t>(8, 0))),
      bytesOf(gbastest::frame(153, "BELL", 1, type1Body(1000, 0, 1, 1, 20, 0, 255, {blocks[0]}))),
      bytesOf(gbastest::frame(170, "AAAA", 1, type1Body(1010, 0, 1, 1, 20, 0, 255, {blocks[2]}))),
      bytesOf(gbastest::frame(170, "CCCC", 1, type1Body(1020, 0, 1, 1, 20, 0, 255, {blocks[0]}))),
  };
  Port serB(dir_.file("dev/ser/b"));
  std::string all;
  for (const std::string& m : msgs) {
    ASSERT_TRUE(serB.sendRaw(m));
    all += m;
    EXPECT_TRUE(waitUntil([&] { return dir_.read("relay.d").size() >= all.size(); }));
  }
  EXPECT_TRUE(dir_.read("relay.d") == all) << dir_.read("relay.d").size() << " of " << all.size();
  EXPECT_EQ(ask("%2%print,/par/dev/ser/b/imode"), re("%2%gbas"));
  EXPECT_TRUE(rx_->running());
}

}  // namespace
}  // namespace e2e
