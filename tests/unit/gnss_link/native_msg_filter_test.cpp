#include "gnss_link/native_msg_filter.h"

#include <gtest/gtest.h>

#include <numeric>

#include "unit/gnss_link/native_test_util.h"

using namespace ntest;

namespace {

struct Rig {
  Log log;
  ZrtMsgFilter filter{1536};
  ZRFParser parser{nullptr, 1536, &filter};
  Rec hub{log, ""}, a{log, "A"}, b{log, "B"};
  explicit Rig(bool bindFour = false) {
    filter.setNotify(&hub);
    filter.setUnknownClient(&hub);
    if (!bindFour) return;
    for (auto [id, cl] : {std::pair{"SI", &a}, {"@@", &a}, {"GT", &b}, {"DL", &b}})
      filter.setHandler(id, cl, &Rec::handler);
  }
  void feed(const std::string& s, int maxChunk = 0, unsigned seed = 1) {
    feedChunked([this](const char* p, int n) { parser.process(p, n); }, s, maxChunk, seed);
  }
};

TEST(NativeMsgFilter, RandomStreamsAreChunkIndependent) {
  const char* ids[] = {"SI", "GT", "@@", "DL", "NN", "AB", "~~", "::", "||"};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    std::mt19937 rng(seed);
    std::string s;
    for (int i = 0; i < 150; ++i) {
      const std::string id = ids[rng() % 9];
      std::string payload(rng() % 40, '\0');
      for (auto& c : payload) c = static_cast<char>(rng() % 3 ? 'a' + rng() % 26 : rng());
      switch (rng() % 7) {
        case 0: s += frameBad(id, payload); break;
        case 1: s += frameBad(id, frame(id, payload)); break;
        case 2: s += "$TEXT," + std::to_string(rng()) + (rng() % 2 ? "\r\n" : "\n"); break;
        case 3: s += payload; break;
        case 4: s += frame(id, payload, Ck::Hex); break;
        default: s += frame(id, payload); break;
      }
    }
    Rig whole(true);
    whole.feed(s);
    for (int maxChunk : {1, 9, 333}) {
      Rig r(true);
      r.feed(s, maxChunk, seed);
      ASSERT_EQ(r.log, whole.log) << "seed " << seed << " chunk " << maxChunk;
    }
  }
}

// Every NMEA sentence of a real mixed recording whose own checksum holds ends some foreign run.
TEST(NativeMsgFilter, RecordedMixedStreamGivesItsNmeaSentencesAsForeignRuns) {
  const std::string s = readFile(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/mixed-with-nmea-ubx.bin");
  ASSERT_EQ(s.size(), 1227u);
  std::vector<std::string> nmea;
  for (std::size_t i = s.find('$'), star; i != std::string::npos; i = s.find('$', i + 1)) {
    if ((star = s.find('*', i)) == std::string::npos || star + 4 >= s.size() || s.compare(star + 3, 2, "\r\n")) continue;
    const auto b = s.begin() + std::ptrdiff_t(i) + 1, e = s.begin() + std::ptrdiff_t(star);
    const bool text = std::all_of(b, e, [](char c) { return c >= 32 && c < 127 && c != '$'; });
    char want[3];
    std::snprintf(want, sizeof want, "%02X", std::accumulate(b, e, 0u, [](unsigned a, char c) { return a ^ std::uint8_t(c); }));
    if (text && s.compare(star + 1, 2, want) == 0) nmea.push_back(show(s.data() + i, int(star + 4 - i)) + ":13");
  }
  ASSERT_GE(nmea.size(), 2u);
  for (int maxChunk : {0, 1, 13}) {
    Rig r;
    r.feed(s, maxChunk, 3);
    for (const auto& tail : nmea) {
      EXPECT_TRUE(std::any_of(r.log.begin(), r.log.end(), [&tail](const std::string& e) {
        return e.starts_with("foreign:") && e.ends_with(tail);
      })) << tail << " chunk " << maxChunk;
    }
  }
}

}  // namespace
