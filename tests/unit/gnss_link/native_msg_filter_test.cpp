#include "gnss_link/native_msg_filter.h"

#include <gtest/gtest.h>

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
  RecNotify notify{log};
  RecUnknown unknown;
  RecClient a{log, "A"}, b{log, "B"};
  explicit Rig(int size = 1536, int maxLen = 1536, bool takeUnknown = false)
      : filter(maxLen), parser(nullptr, size, &filter), unknown(log, takeUnknown) {
    filter.setNotify(&notify);
    filter.setUnknownClient(&unknown);
  }
  void feed(const std::string& s, int maxChunk = 0, unsigned seed = 1) {
    feedChunked([this](const char* p, int n) { parser.process(p, n); }, s, maxChunk, seed);
  }
};

// What a recording client logs for a framed message.
std::string msgEntry(const std::string& client, const std::string& f) {
  return "msg:" + client + ":" + f.substr(0, 2) + ":" + show(f.data() + 5, static_cast<int>(f.size()) - 5);
}

TEST(NativeMsgFilter, IdHasFirstCharacterHigh) {
  EXPECT_EQ(ZRFMessage::makeId('G', 'T'), 0x4754);
  Rig r;
  ASSERT_TRUE(r.filter.setHandler(0x4754, &r.a, &RecClient::handler));
  r.feed(frame("GT", "x"));
  EXPECT_EQ(r.log, (Log{msgEntry("A", frame("GT", "x")), "notify:1:GT"}));
}

TEST(NativeMsgFilter, ChecksumVector) {
  // "||001" sums to 0x46 ('F'), worked out by hand: 7C F1 | 8D 36 | 06 18 | 28 A0 | 91 46.
  EXPECT_EQ(ck8("||001"), 0x46u);
  Rig r;
  r.filter.setHandler("SI", &r.a, &RecClient::handler);  // registers A
  r.feed("||001F");
  EXPECT_EQ(r.log, (Log{"end:A:-1", "notify:1:||"}));
}

// The known identifiers, each with its checksum form.
const char* const kKnown =
    "~~ || :: SI SX NN BI BL si fi we dc MR mr AR qr SO __ RC rc rx CC cc C1 c1 C2 c2 C3 c3 C5 c5 Cl cl R1 r1 1R "
    "1r R2 r2 2R 2r R3 r3 3R 3r R5 r5 5R 5r Rl rl lR lr PC pc CP cp P1 p1 1P 1p P2 p2 2P 2p P3 p3 3P 3p P5 p5 5P "
    "5p Pl pl lP lp DC D1 D2 D3 D5 Dl EC E1 E2 E3 E5 El CE 1E 2E 3E 5E lE FC F1 F2 F3 F5 Fl cm 1m 2m 3m 5m lm cf "
    "1f 2f 3f 5f lf SC S2 EL AZ SD rr TC gd lD ED WD qd cd id xd Rb IP GE GA UO IO NE NA NU WE WA WU EN EA EU QE "
    "QA QU QI CN CA CU CI IE IA IU II XA XB YA YB ZA ZB == >> PO Po VE PV PG Pg VG mp TO DO DP SG PS SP SV GT NT "
    "GO NO EO WO QO CO Io RD IO SS SE ST MF ZR RE ER PM PM CD AI EI PI HI SR HM @@ DL XA XB gC g1 g3 g2 gR Rm Ri "
    "Sp sj IQ";

TEST(NativeMsgFilter, KnownTableAndLookup) {
  std::set<std::uint16_t> known;
  int entries = 0;
  for (const char* p = kKnown; *p; p += p[2] ? 3 : 2) {
    known.insert(ZRFMessage::makeId(p[0], p[1]));
    ++entries;
    if (!p[2]) break;
  }
  EXPECT_EQ(entries, ZrtMsgFilter::kKnownMsgs);
  EXPECT_EQ(known.size(), 215u);  // four identifiers stand twice
  int found = 0;
  for (unsigned id = 0; id < 65536; ++id) {
    const int i = ZrtMsgFilter::lookup(static_cast<std::uint16_t>(id));
    if (i >= 0) {
      ++found;
      EXPECT_EQ(ZrtMsgFilter::knownMsgs[i].id, id);
    }
    EXPECT_EQ(i >= 0, known.count(static_cast<std::uint16_t>(id)) == 1) << idText(static_cast<std::uint16_t>(id));
  }
  EXPECT_EQ(found, 215);
  // Short chains: at most four entries share a hash value.
  int longest = 0;
  for (unsigned h = 0; h < 256; ++h) {
    int n = 0;
    for (const auto& k : ZrtMsgFilter::knownMsgs) n += ZrtMsgFilter::hash(k.id) == h;
    longest = std::max(longest, n);
  }
  EXPECT_LE(longest, 4);
}

TEST(NativeMsgFilter, ChecksumFormPerIdentifier) {
  enum Kind { BIN, HEX, NONE };
  const std::pair<const char*, Kind> cases[] = {
      {"SI", BIN},  {"GT", BIN},  {"IQ", BIN},  {"IO", BIN},  {"XA", BIN},  {"UO", BIN}, {"__", NONE},
      {"ZR", NONE}, {"RE", NONE}, {"ER", NONE}, {"PM", NONE}, {"PI", NONE}, {"HI", NONE}, {"@@", NONE},
      {">>", HEX},  {"MF", HEX},  {"DL", HEX},
  };
  for (const auto& [id, kind] : cases) {
    const std::string payload = "payload-1234";
    const std::string bin = frame(id, payload, Ck::Bin);
    const std::string hex = frame(id, payload, Ck::Hex);
    const std::string bad = frameBad(id, payload);
    // Guard the test itself: neither good form may pass for the other by chance.
    ASSERT_NE(static_cast<unsigned>(static_cast<unsigned char>(hex.back())), ck8(hex.substr(0, hex.size() - 1)));
    for (const auto& [f, accept] : {std::pair{bin, kind != HEX}, std::pair{hex, kind != BIN},
                                    std::pair{bad, kind == NONE}}) {
      Rig r;
      r.filter.setHandler(id, &r.a, &RecClient::handler);
      r.feed(f + "\r\n");
      ASSERT_FALSE(r.log.empty()) << id;
      if (accept) {
        EXPECT_EQ(r.log.front(), msgEntry("A", f)) << id;
        EXPECT_EQ(r.log.back(), std::string("notify:1:") + id);
      } else {
        EXPECT_EQ(r.log.front(), std::string("notify:0:") + id) << id << " " << show(f.data(), int(f.size()));
      }
    }
  }
}

TEST(NativeMsgFilter, UnknownAndOverLongAreRejectedUnlessTaken) {
  Rig r(1536, 10);
  r.feed("AB003xyz\r\n" + frame("SI", "abcdefghij"));
  EXPECT_EQ(r.log, (Log{"notify:0:AB", "notify:0:SI"}));

  Rig t(1536, 1536, true);
  t.feed("AB003xyz\r\n");
  EXPECT_EQ(t.log, (Log{"unknown:AB:xyz", "notify:1:AB"}));
}

TEST(NativeMsgFilter, EpochMarkersReachEveryClientInIndexOrder) {
  Rig r;
  RecClient c(r.log, "C");
  r.filter.setHandler("GT", &r.b, &RecClient::handler);  // B is client 1
  r.filter.setHandler("SI", &r.a, &RecClient::handler);  // A is client 2
  r.filter.setHandler("NN", &c, &RecClient::handler);    // C is client 3
  r.feed(epochStart(604799999) + epochEnd(604799999) + epochStart(-5) + frame("||", "") + frame("~~", "abc") +
         frame("::", "abc") + frame("::", "abcd"));
  EXPECT_EQ(r.log, (Log{"start:B:604799999", "start:A:604799999", "start:C:604799999", "notify:1:~~",
                        "end:B:604799999", "end:A:604799999", "end:C:604799999", "notify:1:::",
                        "start:B:-5", "start:A:-5", "start:C:-5", "notify:1:~~",
                        "end:B:-1", "end:A:-1", "end:C:-1", "notify:1:||",
                        // 4-byte "~~" and "::" bodies: taken, but no epoch call
                        "notify:1:~~", "notify:1:::", "end:B:1684234849", "end:A:1684234849",
                        "end:C:1684234849", "notify:1:::"}));
  r.log.clear();
  r.parser.reset();
  EXPECT_EQ(r.log, (Log{"reset:B", "reset:A", "reset:C", "notifyReset", "unknownReset"}));
}

TEST(NativeMsgFilter, UnboundKnownMessageIsTakenAndIgnored) {
  Rig r;
  r.filter.setHandler("SI", &r.a, &RecClient::handler);
  r.filter.setHandler("SI", nullptr, &RecClient::handler);  // unbinds
  r.feed(frame("NN", "x") + frame("SI", "y"));
  EXPECT_EQ(r.log, (Log{"notify:1:NN", "notify:1:SI"}));
  EXPECT_FALSE(r.filter.setHandler("AB", &r.a, &RecClient::handler));
}

TEST(NativeMsgFilter, ClientTableHoldsTwelve) {
  Rig r;
  std::vector<std::unique_ptr<RecClient>> cs;
  const char* ids[] = {"SI", "SX", "NN", "BI", "BL", "si", "fi", "we", "dc", "MR", "mr", "AR"};
  for (int i = 0; i < 11; ++i) {
    cs.push_back(std::make_unique<RecClient>(r.log, "c" + std::to_string(i)));
    EXPECT_TRUE(r.filter.setHandler(ids[i], cs.back().get(), &RecClient::handler)) << i;
  }
  EXPECT_EQ(r.filter.nClients(), 12);
  RecClient thirteenth(r.log, "x");
  EXPECT_EQ(r.filter.addClient_(&thirteenth), ZrtMsgFilter::kMaxClients);
  EXPECT_FALSE(r.filter.setHandler("AR", &thirteenth, &RecClient::handler));
  // A registered client still binds more ids.
  EXPECT_TRUE(r.filter.setHandler("qr", cs[0].get(), &RecClient::handler));
  r.feed(frame("AR", "1") + frame("qr", "2"));
  EXPECT_EQ(r.log, (Log{"notify:1:AR", msgEntry("c0", frame("qr", "2")), "notify:1:qr"}));
}

template <int N>
bool numbered(ZrtMsgClient*, const ZRFMessage&) {
  return N >= 0;
}
template <int... N>
int bindMany(ZrtMsgFilter& f, ZrtMsgClient* c, std::integer_sequence<int, N...>) {
  int ok = 0;
  ((ok += f.setHandler("SI", c, &numbered<N>) ? 1 : 0), ...);
  return ok;
}

TEST(NativeMsgFilter, HandlerTableHoldsOneHundredTwentyOne) {
  Rig r;
  // h_foo and the three epoch handlers are there from the start.
  EXPECT_EQ(r.filter.nHandlers(), 4);
  EXPECT_EQ(bindMany(r.filter, &r.a, std::make_integer_sequence<int, 118>{}), 117);
  EXPECT_EQ(r.filter.nHandlers(), ZrtMsgFilter::kMaxHandlers);
  EXPECT_TRUE(r.filter.setHandler("SI", &r.a, &numbered<3>));  // already there
}

TEST(NativeMsgFilter, DefaultHandlerServesUnboundIds) {
  Rig r;
  RecClient x(r.log, "X");
  r.filter.setHandler("SI", &r.a, &RecClient::handler);
  r.filter.setDefHandler(&x, &RecClient::refuse);
  r.feed(frame("NN", "z") + "\r\n" + frame("SI", "2") + epochStart(7));
  EXPECT_EQ(r.log, (Log{"refused:X:NN", "notify:0:NN", msgEntry("A", frame("SI", "2")), "notify:1:SI", "start:X:7",
                        "start:A:7", "notify:1:~~"}));
  r.log.clear();
  r.filter.setDefHandler(nullptr, nullptr);
  r.feed(frame("NN", "1"));
  EXPECT_EQ(r.log, (Log{"notify:1:NN"}));
}

TEST(NativeMsgFilter, ForeignGoesToTheUnknownClient) {
  Rig r;
  r.feed("$GPGGA,x\r\n");
  EXPECT_EQ(r.log, (Log{"foreign:$GPGGA,x<0D>:13"}));
  // Without an unknown client foreign runs are refused and searched again.
  Rig n;
  n.filter.setUnknownClient(nullptr);
  n.feed("$GPGGA,x\r\n");
  EXPECT_TRUE(n.log.empty());
}

TEST(NativeMsgFilter, CommonNotifyPassesToBothSlots) {
  Log log;
  RecNotify n1(log), n2(log);
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
  EXPECT_EQ(log, (Log{"notify:1:NN", "notify:1:NN", "notify:0:AB", "notify:0:AB", "notifyReset", "notifyReset"}));
  log.clear();
  common.init();
  p.process(s.data(), static_cast<int>(s.size()));
  EXPECT_TRUE(log.empty());
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
  g.add(std::string("\x00\x01\xff\x80 \t\x7f", 7));
  g.add("\r\n\r\n");
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
  const std::string rec = frame("@@", "rec\x7f", Ck::None);
  g.add(rec, {msgEntry("A", rec), "notify:1:@@"});
  const std::string dl = frame("DL", "dl-data", Ck::Hex);
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
  r.filter.setHandler("SI", &r.a, &RecClient::handler);
  r.filter.setHandler("@@", &r.a, &RecClient::handler);
  r.filter.setHandler("GT", &r.b, &RecClient::handler);
  r.filter.setHandler("DL", &r.b, &RecClient::handler);
}

TEST(NativeMsgFilter, GoldenStreamGivesTheExpectedCallsHoweverCut) {
  const Golden g = makeGolden();
  struct Cut {
    int maxChunk;
    unsigned seed;
  };
  for (const Cut& c : {Cut{0, 0}, Cut{1, 0}, Cut{5, 1}, Cut{17, 2}, Cut{100, 3}, Cut{700, 4}, Cut{4096, 5}}) {
    Rig r;
    bindGolden(r);
    r.feed(g.stream, c.maxChunk, c.seed);
    EXPECT_EQ(r.log, g.want) << "max chunk " << c.maxChunk << " seed " << c.seed;
  }
}

TEST(NativeMsgFilter, TruncatedGoldenStreamGivesAPrefixOfTheCalls) {
  const Golden g = makeGolden();
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

}  // namespace

namespace {

std::string readFile(const std::string& path) {
  std::string s;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char b[4096];
    std::size_t n;
    while ((n = std::fread(b, 1, sizeof b, f)) > 0) s.append(b, n);
    std::fclose(f);
  }
  return s;
}

// NMEA sentences of a recording whose own checksum (XOR between '$' and '*') holds.
std::vector<std::string> nmeaSentences(const std::string& s) {
  std::vector<std::string> out;
  for (std::size_t i = s.find('$'); i != std::string::npos; i = s.find('$', i + 1)) {
    const std::size_t star = s.find('*', i);
    if (star == std::string::npos || star + 4 >= s.size() || s.compare(star + 3, 2, "\r\n") != 0) continue;
    unsigned x = 0;
    bool text = true;
    for (std::size_t k = i + 1; k < star; ++k) {
      const unsigned char c = static_cast<unsigned char>(s[k]);
      text = text && c >= 32 && c < 127 && c != '$';
      x ^= c;
    }
    char want[3];
    std::snprintf(want, sizeof want, "%02X", x);
    if (text && s.compare(star + 1, 2, want) == 0) out.push_back(s.substr(i, star + 4 - i));  // with its CR
  }
  return out;
}

// A real recording of correction frames mixed with NMEA and another receiver's binary protocol:
// every valid NMEA sentence comes out at the end of a foreign run, ended by its CR (a run may
// start earlier, at a byte of the binary frame before it).
TEST(NativeMsgFilter, RecordedMixedStreamGivesItsNmeaSentencesAsForeignRuns) {
  const std::string rec = readFile(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/mixed-with-nmea-ubx.bin");
  ASSERT_EQ(rec.size(), 1227u);
  const std::vector<std::string> nmea = nmeaSentences(rec);
  ASSERT_GE(nmea.size(), 2u);
  for (int maxChunk : {0, 1, 13}) {
    Rig r;
    r.feed(rec, maxChunk, 3);
    for (const auto& s : nmea) {
      const std::string tail = show(s.data(), static_cast<int>(s.size())) + ":13";
      const bool found = std::any_of(r.log.begin(), r.log.end(), [&tail](const std::string& e) {
        return e.rfind("foreign:", 0) == 0 && e.size() >= tail.size() &&
               e.compare(e.size() - tail.size(), tail.size(), tail) == 0;
      });
      EXPECT_TRUE(found) << tail << " chunk " << maxChunk;
    }
  }
}

}  // namespace
