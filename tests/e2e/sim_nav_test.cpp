// The board simulator's LNAV broadcast as the program receives it: every 6 s of GPS time one
// "gd" message per satellite in view with the subframe that has just ended, its TLM preamble, a
// HOW naming that subframe and the count of the next, every word's parity right (checked here by
// the IS-GPS-200 equations), and one broken word in subframe 2 once the flip knob asks for it.
#include <map>
#include <set>

#include "e2e/harness.h"

namespace e2e {
namespace {

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";

// D25..D30 of data bits d (d1 in bit 23) after D29*, D30* (IS-GPS-200 Table 20-XIV).
std::uint32_t parity(std::uint32_t d, int d29, int d30) {
  static const char* const kEq[6] = {"1,2,3,5,6,10,11,12,13,14,17,18,20,23,", "2,3,4,6,7,11,12,13,14,15,18,19,21,24,",
                                     "1,3,4,5,7,8,12,13,14,15,16,19,20,22,", "2,4,5,6,8,9,13,14,15,16,17,20,21,23,",
                                     "1,3,5,6,7,9,10,14,15,16,17,18,21,22,24,", "3,5,6,8,9,10,11,13,15,19,22,23,24,"};
  std::uint32_t p = 0;
  for (int k = 0; k < 6; ++k) {
    int x = (k == 0 || k == 2 || k == 5) ? d29 : d30;
    for (const char* s = kEq[k]; *s;) {
      const int bit = std::atoi(s);
      x ^= static_cast<int>((d >> (24 - bit)) & 1u);
      while (*s && *s != ',') ++s;
      if (*s) ++s;
    }
    p = p << 1 | static_cast<std::uint32_t>(x);
  }
  return p;
}

// The words (1..10) whose parity fails; words are upright, parity in bits 5-0.
std::vector<int> badWords(const std::uint32_t w[10]) {
  std::vector<int> bad;
  int d29 = 0, d30 = 0;
  for (int i = 0; i < 10; ++i) {
    if (parity((w[i] >> 6) & 0xFFFFFF, d29, d30) != (w[i] & 0x3F)) bad.push_back(i + 1);
    d29 = static_cast<int>((w[i] >> 1) & 1);
    d30 = static_cast<int>(w[i] & 1);
  }
  return bad;
}

struct Gd {
  int prn;
  std::uint32_t time;
  std::uint32_t w[10];
};

// The "gd" messages of the stream held; the rest is skipped by its length.
std::vector<Gd> takeGd(std::string& held) {
  std::vector<Gd> out;
  while (held.size() >= 5) {
    const std::size_t len = std::stoul(held.substr(2, 3), nullptr, 16);
    if (held.size() < 5 + len) break;
    if (held.compare(0, 2, "gd") == 0 && len == 49) {  // body and checksum
      Gd g{};
      g.prn = static_cast<unsigned char>(held[5]);
      g.time = le32(held, 6);
      for (int i = 0; i < 10; ++i) g.w[i] = le32(held, 12 + 4 * i);
      out.push_back(g);
    }
    held.erase(0, 5 + len);
  }
  return out;
}

TEST(SimNav, SubframesOfTheSatellitesInViewWithTheirParity) {
  RunDir dir;
  // GPS 00:59:54 on 1 July 2010 (UTC + 18 s as the simulator counts): subframes 4 and 5 of the
  // 00:59:30 frame end before, subframes 1, 2, 3 of the 01:00:00 frame 12, 18 and 24 s after the
  // first epoch; subframe 2 carries a flipped bit.
  Proc sim(dir.path, {kSim, "--dir", dir.path, "--nav", kNav, "--start", "2010-07-01T00:59:36", "--rate", "10",
                      "--flip-nav-after", "15"});
  Port link(dir.file("dev/shm/a"));
  ASSERT_TRUE(link.ok());
  ASSERT_TRUE(link.send("em,,zrt/{RT,gd}:0"));
  std::map<int, std::set<int>> prnsBySubframe;
  std::string held;
  const bool seen = waitUntil(
      [&] {
        link.fill([](const std::string& h) { return h.size() > 64; }, 200);
        held += link.held;
        link.held.clear();
        for (const Gd& g : takeGd(held)) {
          const int id = static_cast<int>((g.w[1] >> 8) & 7);
          const std::uint32_t tow = g.w[1] >> 13;
          const std::uint32_t sow = 345600 + g.time / 1000;  // Thursday of GPS week 1590
          EXPECT_EQ(g.w[0] >> 22, 0x8Bu) << "G" << g.prn;
          EXPECT_EQ(g.time % 6000, 0u) << "G" << g.prn;
          EXPECT_EQ(tow, sow / 6) << "G" << g.prn << " subframe " << id;
          EXPECT_EQ(static_cast<int>(((sow - 6) / 6) % 5) + 1, id) << "G" << g.prn;
          EXPECT_EQ(badWords(g.w), id == 2 ? std::vector<int>{9} : std::vector<int>{}) << "G" << g.prn << " " << id;
          if (id >= 4) {
            // Subframes 4 and 5 carry page (frame mod 25) + 1 of the 12.5-min cycle that starts
            // with the week, data ID 1 and the SV ID of IS-GPS-200 Table 20-V.
            static const int kSf4[25] = {57, 25, 26, 27, 28, 57, 29, 30, 31, 32, 57, 62, 52,
                                         53, 54, 57, 55, 56, 58, 59, 57, 60, 61, 62, 63};
            const int page = static_cast<int>(((sow - 6) / 30) % 25);
            EXPECT_EQ((g.w[2] >> 28) & 3, 1u) << "G" << g.prn;
            EXPECT_EQ(static_cast<int>((g.w[2] >> 22) & 0x3F), id == 5 ? (page < 24 ? page + 1 : 51) : kSf4[page])
                << "G" << g.prn << " subframe " << id << " page " << page + 1;
          }
          prnsBySubframe[id].insert(g.prn);
        }
        return prnsBySubframe.count(3) != 0;
      },
      40000);
  ASSERT_TRUE(seen);
  // The same satellites in view for each subframe of the frame, as a board with a view tracks.
  ASSERT_EQ(prnsBySubframe.count(1), 1u);
  EXPECT_GE(prnsBySubframe[1].size(), 6u);
  EXPECT_LE(prnsBySubframe[1].size(), 16u);
  EXPECT_EQ(prnsBySubframe[1], prnsBySubframe[2]);
  EXPECT_EQ(prnsBySubframe[2], prnsBySubframe[3]);
  // The almanac pages of the frame before came too, from the satellites then in view.
  EXPECT_EQ(prnsBySubframe.count(4) + prnsBySubframe.count(5), 2u);
  EXPECT_GE(prnsBySubframe[5].size(), 6u);
}

TEST(SimNav, BadNavigationOptionsAreRefused) {
  struct Row {
    std::vector<std::string> args;
    const char* says;
  };
  const Row rows[] = {
      {{"--nav", "/nonexistent.10n"}, "no GPS ephemerides"},
      {{"--nav", kNav, "--site", "91,0,0"}, "usage"},
      {{"--nav", kNav, "--site", "50,10"}, "usage"},
      {{"--flip-nav-after", "-1"}, "usage"},
  };
  for (const Row& r : rows) {
    RunDir dir;
    std::vector<std::string> args = {kSim, "--dir", dir.path};
    args.insert(args.end(), r.args.begin(), r.args.end());
    Proc sim(dir.path, args);
    EXPECT_EQ(sim.wait(), 2) << r.args.back();
    EXPECT_NE(sim.out().find(r.says), std::string::npos) << sim.out();
  }
}

}  // namespace
}  // namespace e2e
