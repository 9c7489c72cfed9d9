#include "gnss_link/native_msg_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <set>
#include <string>
#include <utility>

#include "gnss_link/native_msg_notify.h"
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

// What a recording client logs for a framed message.
std::string msgEntry(const std::string& client, const std::string& f) {
  return "msg:" + client + ":" + f.substr(0, 2) + ":" + show(f.data() + 5, static_cast<int>(f.size()) - 5);
}

// The known identifiers as listed for the board's protocol (four stand twice).
const char* const kKnown =
    "~~ || :: SI SX NN BI BL si fi we dc MR mr AR qr SO __ RC rc rx CC cc C1 c1 C2 c2 C3 c3 C5 c5 Cl cl R1 r1 1R "
    "1r R2 r2 2R 2r R3 r3 3R 3r R5 r5 5R 5r Rl rl lR lr PC pc CP cp P1 p1 1P 1p P2 p2 2P 2p P3 p3 3P 3p P5 p5 5P "
    "5p Pl pl lP lp DC D1 D2 D3 D5 Dl EC E1 E2 E3 E5 El CE 1E 2E 3E 5E lE FC F1 F2 F3 F5 Fl cm 1m 2m 3m 5m lm cf "
    "1f 2f 3f 5f lf SC S2 EL AZ SD rr TC gd lD ED WD qd cd id xd Rb IP GE GA UO IO NE NA NU WE WA WU EN EA EU QE "
    "QA QU QI CN CA CU CI IE IA IU II XA XB YA YB ZA ZB == >> PO Po VE PV PG Pg VG mp TO DO DP SG PS SP SV GT NT "
    "GO NO EO WO QO CO Io RD IO SS SE ST MF ZR RE ER PM PM CD AI EI PI HI SR HM @@ DL XA XB gC g1 g3 g2 gR Rm Ri "
    "Sp sj IQ";

TEST(NativeMsgFilter, IdentifiersChecksumAndTheKnownTable) {
  EXPECT_EQ(ZRFMessage::makeId('G', 'T'), 0x4754);
  // Worked out by hand: 7C F1 | 8D 36 | 06 18 | 28 A0 | 91 46.
  EXPECT_EQ(ck8("||001"), 0x46u);
  std::set<std::uint16_t> known;
  const std::string list = kKnown;
  for (std::size_t i = 0; i < list.size(); i += 3) known.insert(ZRFMessage::makeId(list[i], list[i + 1]));
  EXPECT_EQ((list.size() + 1) / 3, std::size_t(ZrtMsgFilter::kKnownMsgs));
  EXPECT_EQ(known.size(), 215u);
  for (unsigned id = 0; id < 65536; ++id) {
    const int i = ZrtMsgFilter::lookup(static_cast<std::uint16_t>(id));
    if (i >= 0) {
      EXPECT_EQ(ZrtMsgFilter::knownMsgs[i].id, id);
    }
    EXPECT_EQ(i >= 0, known.count(static_cast<std::uint16_t>(id)) == 1) << idText(static_cast<std::uint16_t>(id));
  }
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
      {"unbound known ids taken and ignored", 1536, false,
       [](Rig& r) { r.bind("SI", r.a); r.filter.setHandler("SI", nullptr, &Rec::handler); },
       frame("NN", "x") + frame("SI", "y"), {"notify:1:NN", "notify:1:SI"}},
      {"foreign runs go to the unknown client", 1536, false, [](Rig&) {}, "$GPGGA,x\r\n",
       {"foreign:$GPGGA,x<0D>:13"}},
      {"without an unknown client foreign runs are refused", 1536, false,
       [](Rig& r) { r.filter.setUnknownClient(nullptr); }, "$GPGGA,x\r\n", {}},
      // The markers still reach the filter's own clients with a default handler set.
      {"default handler serves unbound ids", 1536, false,
       [](Rig& r) { r.bind("SI", r.a); r.filter.setDefHandler(&r.b, &Rec::refuse); },
       frame("NN", "z") + "\r\n" + frame("SI", "2") + epochStart(7),
       {"refused:B:NN", "notify:0:NN", msgEntry("A", frame("SI", "2")), "notify:1:SI", "start:B:7", "start:A:7",
        "notify:1:~~"}},
      {"default handler removed", 1536, false,
       [](Rig& r) { r.filter.setDefHandler(&r.b, &Rec::refuse); r.filter.setDefHandler(nullptr, nullptr); },
       frame("NN", "1"), {"notify:1:NN"}},
      {"epoch markers reach every client in index order, then the reset", 1536, false,
       [](Rig& r) { r.bind("GT", r.b); r.bind("SI", r.a); r.bind("NN", r.c); },
       epochStart(604799999) + epochEnd(604799999) + epochStart(-5) + frame("||", "") + frame("~~", "abc") +
           frame("::", "abc") + frame("::", "abcd"),
       {"start:B:604799999", "start:A:604799999", "start:C:604799999", "notify:1:~~", "end:B:604799999",
        "end:A:604799999", "end:C:604799999", "notify:1:::", "start:B:-5", "start:A:-5", "start:C:-5",
        "notify:1:~~", "end:B:-1", "end:A:-1", "end:C:-1", "notify:1:||",
        // 4-byte "~~" and "::" bodies: taken, but no epoch call
        "notify:1:~~", "notify:1:::", "end:B:1684234849", "end:A:1684234849", "end:C:1684234849", "notify:1:::",
        "reset:B", "reset:A", "reset:C", "notifyReset", "unknownReset"},
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

template <int N>
bool numbered(ZrtMsgClient*, const ZRFMessage&) {
  return N >= 0;
}
template <int... N>
int bindMany(ZrtMsgFilter& f, ZrtMsgClient* c, std::integer_sequence<int, N...>) {
  return ((f.setHandler("SI", c, &numbered<N>) ? 1 : 0) + ...);
}

TEST(NativeMsgFilter, TablesHoldTwelveClientsAnd121Handlers) {
  Rig r;
  std::vector<std::unique_ptr<Rec>> cs;
  const char* ids[] = {"SI", "SX", "NN", "BI", "BL", "si", "fi", "we", "dc", "MR", "mr"};
  for (const char* id : ids) {
    cs.push_back(std::make_unique<Rec>(r.log, "c" + std::to_string(cs.size())));
    EXPECT_TRUE(r.filter.setHandler(id, cs.back().get(), &Rec::handler)) << id;
  }
  EXPECT_EQ(r.filter.nClients(), 12);  // with the filter's own
  EXPECT_EQ(r.filter.addClient_(&r.c), ZrtMsgFilter::kMaxClients);
  EXPECT_FALSE(r.filter.setHandler("AR", &r.c, &Rec::handler));
  EXPECT_FALSE(r.filter.setHandler("AB", cs[0].get(), &Rec::handler));  // not a known id
  EXPECT_TRUE(r.filter.setHandler("qr", cs[0].get(), &Rec::handler));
  r.feed(frame("AR", "1") + frame("qr", "2"));
  EXPECT_EQ(r.log, (Log{"notify:1:AR", msgEntry("c0", frame("qr", "2")), "notify:1:qr"}));

  Rig h;
  EXPECT_EQ(h.filter.nHandlers(), 4);  // h_foo and the three epoch handlers
  EXPECT_EQ(bindMany(h.filter, &h.a, std::make_integer_sequence<int, 118>{}), 117);
  EXPECT_EQ(h.filter.nHandlers(), ZrtMsgFilter::kMaxHandlers);
  EXPECT_TRUE(h.filter.setHandler("SI", &h.a, &numbered<3>));  // already there
}

TEST(NativeMsgFilter, CommonNotifyPassesToBothSlots) {
  Log log;
  Rec n1(log, ""), n2(log, "");
  ZrtMsgCommonNotify common;
  common.init();
  common.setNotify(&n2, 1);
  common.setNotify(&n1, 0);
  common.setNotify(&n1, 2);   // ignored
  common.setNotify(&n1, -1);  // ignored
  ZrtMsgFilter f(1536);
  ZRFParser p(nullptr, 1536, &f);
  f.setNotify(&common);
  const std::string s = frame("NN", "x") + "AB001z";
  p.process(s.data(), static_cast<int>(s.size()));
  p.reset();
  common.init();
  p.process(s.data(), static_cast<int>(s.size()));
  EXPECT_EQ(log, (Log{"notify:1:NN", "notify:1:NN", "notify:0:AB", "notify:0:AB", "notifyReset", "notifyReset"}));
}

// ---- the golden stream -------------------------------------------------------------------

struct Golden {
  std::string stream;
  Log want;
  void add(const std::string& bytes, Log calls = {}) {
    stream += bytes;
    want.insert(want.end(), calls.begin(), calls.end());
  }
};

Golden makeGolden() {
  Golden g;
  g.add(std::string("\x00\x01\xff\x80 \t\x7f", 7) + "\r\n\r\n");
  const std::string si = frame("SI", "abc");
  g.add(si, {msgEntry("A", si), "notify:1:SI"});
  g.add("$PXXX,1,2*3F\r\n", {"foreign:$PXXX,1,2*3F<0D>:13"});
  g.add("#ab\n");  // too short for a foreign run
  g.add(epochStart(123456), {"start:A:123456", "start:B:123456", "notify:1:~~"});
  // A bad checksum hides a good message that starts inside it.
  const std::string inner = frame("GT", "hello");
  g.add(frameBad("SI", inner), {"notify:0:SI", msgEntry("B", inner), "notify:1:GT"});
  g.add(frameBad("BI", "zzzz"), {"notify:0:BI"});
  g.add("Q9003xyz", {"notify:0:Q9"});
  // Longer than the filter takes: the header is rejected and the body searched.
  g.add("SI700" + std::string(0x700, 'x') + "\r\n", {"notify:0:SI"});
  // Taken but longer than the buffer holds: skipped whole, the messages inside unseen.
  std::string body;
  while (body.size() + si.size() <= 0x600) body += si;
  body.resize(0x600, 'p');
  g.add("SX600" + body);
  g.add(frame("~~", "\x01\x02\x03"), {"notify:1:~~"});
  g.add(epochEnd(123456), {"end:A:123456", "end:B:123456", "notify:1:::"});
  g.add("||001F", {"end:A:-1", "end:B:-1", "notify:1:||"});
  const std::string rec = frame("@@", "rec\x7f", Ck::None), dl = frame("DL", "dl-data", Ck::Hex);
  g.add(rec, {msgEntry("A", rec), "notify:1:@@"});
  g.add(dl, {msgEntry("B", dl), "notify:1:DL"});
  g.add(frame("NN", "nn"), {"notify:1:NN"});
  g.add(std::string(600, '#') + "\n",
        {"foreign:" + std::string(512, '#') + ":-1", "foreign:" + std::string(88, '#') + "<0A>:10"});
  g.add("PM003abc", {"notify:1:PM"});
  const std::string last = frame("SI", "end");
  g.add(last, {msgEntry("A", last), "notify:1:SI"});
  return g;
}

void bindGolden(Rig& r) {
  r.bind("SI", r.a);
  r.bind("@@", r.a);
  r.bind("GT", r.b);
  r.bind("DL", r.b);
}

TEST(NativeMsgFilter, GoldenStreamGivesTheExpectedCallsHoweverCutAndPrefixesWhenTruncated) {
  const Golden g = makeGolden();
  for (const auto& [maxChunk, seed] : {std::pair{0, 0u}, {1, 0u}, {5, 1u}, {17, 2u}, {100, 3u}, {700, 4u}, {4096, 5u}}) {
    Rig r;
    bindGolden(r);
    r.feed(g.stream, maxChunk, seed);
    EXPECT_EQ(r.log, g.want) << "max chunk " << maxChunk << " seed " << seed;
  }
  for (std::size_t n = 0; n < g.stream.size(); n += 7) {
    Rig r;
    bindGolden(r);
    r.feed(g.stream.substr(0, n));
    ASSERT_LE(r.log.size(), g.want.size()) << n;
    EXPECT_TRUE(std::equal(r.log.begin(), r.log.end(), g.want.begin())) << "cut at " << n;
  }
}

// Random mixes of good, bad, nested and foreign items: the calls do not depend on the cut.
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
    bindGolden(whole);
    whole.feed(s);
    for (int maxChunk : {1, 9, 333}) {
      Rig r;
      bindGolden(r);
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
