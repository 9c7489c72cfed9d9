#include "gnss_link/native_msg_filter.h"

#include <gtest/gtest.h>

#include <numeric>

#include "unit/gnss_link/native_test_util.h"

using namespace ntest;

namespace {

struct Rig {
  Log log;
  ZrtMsgFilter filter;
  ZRFParser parser;
  Rec hub, a{log, "A"}, b{log, "B"}, c{log, "C"};
  explicit Rig(int maxLen = 1536, bool takeUnknown = false)
      : filter(maxLen), parser(nullptr, 1536, &filter), hub(log, "", takeUnknown) {
    filter.setNotify(&hub);
    filter.setUnknownClient(&hub);
  }
  void feed(const std::string& s, int maxChunk = 0, unsigned seed = 1) {
    feedChunked([this](const char* p, int n) { parser.process(p, n); }, s, maxChunk, seed);
  }
  void bind(const char* id, Rec& cl) { filter.setHandler(id, &cl, &Rec::handler); }
};

std::string msgEntry(const std::string& client, const std::string& f) {
  return "msg:" + client + ":" + f.substr(0, 2) + ":" + show(f.data() + 5, static_cast<int>(f.size()) - 5);
}

TEST(NativeMsgFilter, ChecksumFormPerIdentifier) {
  enum Kind { BIN, HEX, NONE };
  const std::pair<const char*, Kind> cases[] = {
      {"SI", BIN},  {"GT", BIN},  {"IQ", BIN},  {"IO", BIN},  {"XA", BIN},  {"UO", BIN}, {"__", NONE},
      {"ZR", NONE}, {"RE", NONE}, {"ER", NONE}, {"PM", NONE}, {"PI", NONE}, {"HI", NONE}, {"@@", NONE},
      {">>", HEX},  {"MF", HEX},  {"DL", HEX},
  };
  for (const auto& [id, kind] : cases) {
    const std::string bin = frame(id, "payload-1234", Ck::Bin), hex = frame(id, "payload-1234", Ck::Hex);
    // Neither good form may pass for the other by chance.
    ASSERT_NE(unsigned(static_cast<unsigned char>(hex.back())), ck8(hex.substr(0, hex.size() - 1)));
    for (const auto& [f, accept] : {std::pair{bin, kind != HEX}, std::pair{hex, kind != BIN},
                                    std::pair{frameBad(id, "payload-1234"), kind == NONE}}) {
      SCOPED_TRACE(show(f.data(), int(f.size())));
      Rig r;
      r.bind(id, r.a);
      r.feed(f + "\r\n");
      ASSERT_FALSE(r.log.empty());
      if (accept) {
        EXPECT_EQ(r.log, (Log{msgEntry("A", f), std::string("notify:1:") + id}));
      } else {
        EXPECT_EQ(r.log.front(), std::string("notify:0:") + id);  // the rest of its bytes is searched again
      }
    }
  }
}

TEST(NativeMsgFilter, ClientsHandlersAndEpochMarkers) {
  const struct {
    const char* what;
    int maxLen;
    bool takeUnknown;
    void (*setup)(Rig&);
    std::string in;
    Log want;
    bool reset = false;
  } cases[] = {
      {"unknown id and over-long body rejected", 10, false, [](Rig&) {}, "AB003xyz\r\n" + frame("SI", "abcdefghij"),
       {"notify:0:AB", "notify:0:SI"}},
      {"unknown id taken by the unknown client", 1536, true, [](Rig&) {}, "AB003xyz\r\n",
       {"unknown:AB:xyz", "notify:1:AB"}},
      {"foreign runs go to the unknown client", 1536, false, [](Rig&) {}, "$GPGGA,x\r\n",
       {"foreign:$GPGGA,x<0D>:13"}},
      {"without an unknown client foreign runs are refused", 1536, false,
       [](Rig& r) { r.filter.setUnknownClient(nullptr); }, "$GPGGA,x\r\n", {}},
      {"epoch markers reach every client in index order, then the reset", 1536, false,
       [](Rig& r) { r.bind("GT", r.b); r.bind("SI", r.a); },
       epochStart(604799999) + epochEnd(604799999) + epochStart(-5) + frame("||", "") + frame("~~", "abc") +
           frame("::", "abc") + frame("::", "abcd"),
       {"start:B:604799999", "start:A:604799999", "notify:1:~~", "end:B:604799999", "end:A:604799999", "notify:1:::",
        "start:B:-5", "start:A:-5", "notify:1:~~", "end:B:-1", "end:A:-1", "notify:1:||",
        // 4-byte "~~" and "::" bodies: taken, but no epoch call
        "notify:1:~~", "notify:1:::", "end:B:1684234849", "end:A:1684234849", "notify:1:::", "reset:B", "reset:A",
        "notifyReset", "unknownReset"},
       true},
  };
  for (const auto& c : cases) {
    Rig r(c.maxLen, c.takeUnknown);
    c.setup(r);
    r.feed(c.in);
    if (c.reset) r.parser.reset();
    EXPECT_EQ(r.log, c.want) << c.what;
  }
}

void bindFour(Rig& r) {
  r.bind("SI", r.a);
  r.bind("@@", r.a);
  r.bind("GT", r.b);
  r.bind("DL", r.b);
}

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
    Rig whole;
    bindFour(whole);
    whole.feed(s);
    for (int maxChunk : {1, 9, 333}) {
      Rig r;
      bindFour(r);
      r.feed(s, maxChunk, seed);
      ASSERT_EQ(r.log, whole.log) << "seed " << seed << " chunk " << maxChunk;
    }
  }
}

// A real recording of correction frames mixed with NMEA and another receiver's binary protocol:
// every NMEA sentence whose own checksum holds comes out at the end of a foreign run, ended by
// its CR (a run may start earlier, at a byte of the binary frame before it).
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
