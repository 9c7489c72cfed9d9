// SBAS PRN masks through the real program: the board simulator streams the MSAS messages of the
// Crescent recording (2008-05-26, PRN 129 and 137, turned into a message log by Debian's convbin)
// as WD records at their GPS seconds; after a restart the settings image holds, in the mask block
// of each GEO, the mask its last MT1 broadcast, its IODP, time tag and GPS week.
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

#include "e2e/harness.h"
#include "e2e/tools.h"

namespace e2e {
namespace {

using SbasMasks = Rx;

struct Mt1 {
  int tow = -1;
  std::uint32_t word[7] = {};
  int iodp = -1;
};

// The last MT1 of `prn` at or before `tow`, its mask words read from the message bits here.
Mt1 lastMask(const std::string& sbs, int prn, int tow) {
  Mt1 m;
  std::ifstream in(sbs);
  for (std::string line; std::getline(in, line);) {
    std::istringstream l(line);
    int week, t, p, type;
    std::string colon, hex;
    if (!(l >> week >> t >> p >> type >> colon >> hex) || p != prn || type != 1 || t > tow) continue;
    auto bit = [&](int b) {  // message bit, 0-based
      const int nib = std::stoi(hex.substr(static_cast<std::size_t>(b / 4), 1), nullptr, 16);
      return (nib >> (3 - b % 4)) & 1;
    };
    m = Mt1{};
    m.tow = t;
    for (int i = 0; i < 210; ++i)
      if (bit(14 + i)) m.word[i / 32] |= 1u << (31 - i % 32);
    m.iodp = bit(224) * 2 + bit(225);
  }
  return m;
}

TEST_F(SbasMasks, EachGeoMaskReachesTheImageWithItsWeek) {
  ASSERT_TRUE(crescentRecording(dir_)) << "convbin (Debian rtklib) is required: run scripts/setup";
  // 06:01:40 UTC is 06:01:58 GPS time for the simulator: second 108118 of GPS week 1481, just
  // before the MT1 of PRN 137 (108119) and of PRN 129 (108130).
  ASSERT_NO_FATAL_FAILURE(startSim({"--sbas", dir_.file("c.sbs"), "--start", "2008-05-26T06:01:40"}));
  ASSERT_NO_FATAL_FAILURE(start());
  std::this_thread::sleep_for(std::chrono::seconds(18));
  restart();
  const std::string img = dir_.read(".gnss.nvm");
  for (auto [prn, id] : {std::pair{129, 265u}, std::pair{137, 273u}}) {
    SCOPED_TRACE(prn);
    const Mt1 want = lastMask(dir_.file("c.sbs"), prn, 108136);
    ASSERT_GE(want.tow, 108118);
    const long off = blockOffset(img, id);
    ASSERT_GT(off, 0);
    const std::size_t at = static_cast<std::size_t>(off) + 6;
    bool found = false;
    for (std::size_t r = 0; r < 2; ++r) {
      const std::size_t rec = at + 36 * r;
      if (static_cast<unsigned char>(img[rec]) != want.iodp) continue;
      found = true;
      EXPECT_EQ(le32(img, rec) >> 16, 1481u);  // the week in bytes 2 and 3
      const std::uint32_t tag = le32(img, rec + 4);
      // The tag is the receiver time the housekeeping task holds when it decodes the message, less
      // the 1.13 s of reception: under load the message can be read before its own epoch is
      // published, with the epoch before it.
      EXPECT_GE(tag, static_cast<std::uint32_t>(want.tow) * 1000u - 2130u);
      EXPECT_LE(tag, static_cast<std::uint32_t>(want.tow + 2) * 1000u);
      for (int w = 0; w < 7; ++w) EXPECT_EQ(le32(img, rec + 8 + 4 * static_cast<std::size_t>(w)), want.word[w]) << w;
    }
    std::ostringstream dump;
    for (std::size_t i = 0; i < 72; ++i) dump << std::hex << (static_cast<unsigned>(static_cast<unsigned char>(img[at + i]))) << ' ';
    EXPECT_TRUE(found) << "no record of IODP " << want.iodp << ": " << dump.str();
  }
}

}  // namespace
}  // namespace e2e
