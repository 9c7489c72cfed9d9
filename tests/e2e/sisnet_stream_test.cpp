// A port in SISNeT mode: the lines reach the board's relay link unchanged and their SBAS mask
// (MT1 of GPS PRNs 1, 2, 3, 17 and 32, IODP 2, parity from the published CRC-24Q, packed as a
// server sends it) is decoded under the SISNeT source: after a restart the settings image holds
// it in block 284 with its IODP and the message's own week.
#include <cstring>
#include <thread>

#include "e2e/harness.h"
#include "unit/differential/sisnet_lines.h"

namespace e2e {
namespace {

using SisnetStream = Rx;

TEST_F(SisnetStream, LinesRelayedUnchangedAndMaskStored) {
  using namespace sisnettest;
  std::uint8_t m[32] = {0x53};
  setBit(m, 13, 1);  // type 1
  for (int prn : {1, 2, 3, 17, 32}) setBit(m, 13 + prn, 1);
  setBit(m, 224, 1);  // IODP 2
  appendCrc(m);
  // 06:01:40 UTC is second 108118 of GPS week 1481 for the simulator; the lines carry week 1475.
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay."), "--start", "2008-05-26T06:01:40"}));
  ASSERT_NO_FATAL_FAILURE(start());
  const std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,sisnet"), re("%1%"));
  EXPECT_TRUE(boardGets("set,dev/shm/d/imode,sisnet\n", mark));
  ASSERT_TRUE(waitUntil([&] { return dir_.exists("relay.d.up"); }));
  Port serB(dir_.file("dev/ser/b"));
  std::string all;
  // A line is passed over until the receiver has a time: a few seconds of lines, one a second.
  // Lines the decoder refuses come between them: a time of week of seven digits, a checksum that
  // is not the message's, a packing marker without its character, and a message with one bit
  // spoilt after its parity was made. They cost the decoder's statistics, never the next line.
  std::uint8_t spoilt[32];
  std::memcpy(spoilt, m, sizeof spoilt);
  spoilt[5] ^= 0x10;
  const std::string badText = "|F" + pack(hex63(m));
  const std::string refused = "*MSG,1475,1108118," + pack(hex63(m)) + "*" + checksum(m) + "\n" +
                              "*MSG,1475,108118," + pack(hex63(m)) + (checksum(m) == "00" ? "*01\n" : "*00\n") + line(1475, 108118, m, "*MSG", &badText) +
                              line(1475, 108118, spoilt);
  for (int i = 0; i < 6; ++i) {
    const std::string l = "noise\n" + refused + line(1475, 108118 + i, m, i % 2 == 0 ? "*MSG" : "*GETMSG");
    ASSERT_TRUE(serB.sendRaw(l));
    all += l;
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  EXPECT_TRUE(fileReaches("relay.d", all.size()));
  EXPECT_TRUE(dir_.read("relay.d") == all) << dir_.read("relay.d").size() << " of " << all.size();
  EXPECT_EQ(ask("%2%print,/par/dev/ser/b/imode"), re("%2%sisnet"));
  restart();
  const std::string img = dir_.read(".gnss.nvm");
  const long off = blockOffset(img, 284);
  ASSERT_GT(off, 0);
  const std::size_t at = static_cast<std::size_t>(off) + 6;
  bool found = false;
  for (std::size_t r = 0; r < 2; ++r) {
    const std::size_t rec = at + 36 * r;
    if (static_cast<unsigned char>(img[rec]) != 2) continue;
    found = true;
    EXPECT_EQ(le32(img, rec) >> 16, 1475u);
    const std::uint32_t tag = le32(img, rec + 4);
    EXPECT_GE(tag, 108118u * 1000u - 1130u);
    EXPECT_LE(tag, 108123u * 1000u - 1130u);
    EXPECT_EQ(le32(img, rec + 8), 0xE0008001u);  // PRNs 1, 2, 3, 17, 32
    for (int w = 1; w < 7; ++w) EXPECT_EQ(le32(img, rec + 8 + 4 * static_cast<std::size_t>(w)), 0u) << w;
  }
  EXPECT_TRUE(found);
}

}  // namespace
}  // namespace e2e
