#include "gnss_link/native_stream_parser.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

#include "unit/gnss_link/native_test_util.h"

using ntest::Log;
using ntest::show;

namespace {

// Records announce, message and foreign calls; answers as configured.
class RecParserClient : public ZRFPClient {
 public:
  explicit RecParserClient(Log& log) : log_(log) {}
  std::set<std::string> reject, skip, refuse;
  bool refuseForeign = false;

  int announce(const ZRFMessage& m) override {
    const std::string id = ntest::idText(m.id);
    log_.push_back("ann:" + id + ":" + std::to_string(m.len));
    if (reject.count(id)) return A_REJECT;
    if (skip.count(id)) return A_SKIP;
    return A_EXTRACT;
  }
  bool message(const ZRFMessage& m) override {
    const std::string id = ntest::idText(m.id);
    log_.push_back("msg:" + id + ":" + show(m.body(), m.len));
    return !refuse.count(id);
  }
  bool foreign(const char* d, int n, int term) override {
    log_.push_back("for:" + show(d, n) + ":" + std::to_string(term));
    return !refuseForeign;
  }
  void reset() override { log_.push_back("reset"); }

 private:
  Log& log_;
};

struct Rig {
  Log log;
  RecParserClient client{log};
  ZRFParser parser;
  explicit Rig(int size = 1536) : parser(nullptr, size, &client) {}
  void feed(const std::string& s, int maxChunk = 0, unsigned seed = 1) {
    ntest::feedChunked([this](const char* p, int n) { parser.process(p, n); }, s, maxChunk, seed);
  }
};

// The same input gives the same calls however it is cut.
Log runAllChunkings(int size, const std::string& s, void (*setup)(RecParserClient&)) {
  Rig whole(size);
  if (setup) setup(whole.client);
  whole.feed(s);
  for (int chunk : {1, 2, 3, 7, 64}) {
    for (unsigned seed : {1u, 2u, 3u}) {
      Rig r(size);
      if (setup) setup(r.client);
      r.feed(s, chunk, seed);
      EXPECT_EQ(r.log, whole.log) << "chunk " << chunk << " seed " << seed;
      if (chunk == 1) break;
    }
  }
  return whole.log;
}

TEST(NativeStreamParser, BoundsFollowTheBufferSize) {
  struct Case {
    int size, maxBody, fmin, fmax;
  };
  for (const Case& c : {Case{1536, 1531, 7, 512}, Case{100, 95, 7, 94}, Case{13, 8, 7, 7}, Case{12, 7, 6, 6},
                        Case{8, 3, 2, 2}}) {
    Log log;
    RecParserClient cl(log);
    ZRFParser p(nullptr, c.size, &cl);
    EXPECT_EQ(p.maxBody(), c.maxBody) << c.size;
    EXPECT_EQ(p.foreignMin(), c.fmin) << c.size;
    EXPECT_EQ(p.foreignMax(), c.fmax) << c.size;
    EXPECT_EQ(p.state(), ZRFParser::S_RESYNC);
  }
  Log log;
  RecParserClient cl(log);
  ZRFParser p(nullptr, 1536, &cl);
  p.setForeignBounds(3, 1536);
  EXPECT_EQ(p.foreignMin(), 3);
  EXPECT_EQ(p.foreignMax(), 1531);
  p.setForeignBounds(600, 100);
  EXPECT_EQ(p.foreignMin(), 100);
  EXPECT_EQ(p.foreignMax(), 100);
}

TEST(NativeStreamParser, FramingCases) {
  struct Case {
    const char* what;
    std::string in;
    Log want;
  };
  const Case cases[] = {
      {"CR LF before a message", "\r\n\r\nAB003xyz\r\n", {"ann:AB:3", "msg:AB:xyz"}},
      {"zero-length body", "AB000CD001q", {"ann:AB:0", "msg:AB:", "ann:CD:1", "msg:CD:q"}},
      {"lower-case hex is no header", "RE00a\r\n", {}},
      {"lower-case hex, then a real one", "RE00aGT002ok", {"ann:GT:2", "msg:GT:ok"}},
      {"garbage skipped", std::string("\x01\x80 \x7f\xff", 5) + "AB001z", {"ann:AB:1", "msg:AB:z"}},
      {"header found inside garbage letters", "xyzGT001z", {"ann:GT:1", "msg:GT:z"}},
      {"a letter before the id", "qGT001z", {"ann:GT:1", "msg:GT:z"}},
      {"foreign line", "$GPGGA,1,2\r\nAB001z", {"for:$GPGGA,1,2<0D>:13", "ann:AB:1", "msg:AB:z"}},
      {"foreign line ended by LF", "%abcdefg\n", {"for:%abcdefg<0A>:10"}},
      // Too short for a foreign run: its bytes are searched and hold a header.
      {"3-character line", "$ab\n", {}},
      {"short line holding a header", "!SI000\n", {"ann:SI:0", "msg:SI:"}},
      {"foreign run breaks a header", "AB0$abcdefgh\r", {"for:$abcdefgh<0D>:13"}},
      {"id restarts from the last header character", "1GT002ok", {"ann:GT:2", "msg:GT:ok"}},
  };
  for (const Case& c : cases) {
    Log got = runAllChunkings(1536, c.in, nullptr);
    EXPECT_EQ(got, c.want) << c.what;
  }
}

TEST(NativeStreamParser, RejectedHeaderSlidesByOneCharacter) {
  // "AA000" is rejected; "A0000" is the next candidate.
  Log got = runAllChunkings(1536, "AA0000", [](RecParserClient& c) { c.reject = {"AA"}; });
  EXPECT_EQ(got, (Log{"ann:AA:0", "ann:A0:0", "msg:A0:"}));
}

TEST(NativeStreamParser, SkippedAndOverLongBodiesAreNotExtracted) {
  // The skipped body holds a whole message that must not be seen.
  std::string hidden = "CD003abc";
  std::string in = "SK008" + hidden + "EF001z";
  EXPECT_EQ(runAllChunkings(64, in, [](RecParserClient& c) { c.skip = {"SK"}; }),
            (Log{"ann:SK:8", "ann:EF:1", "msg:EF:z"}));
  // Buffer 64: bodies up to 59 are extracted, 60 is skipped although the client wants it.
  std::string b59(59, 'x'), b60(60, 'y');
  EXPECT_EQ(runAllChunkings(64, "AB03B" + b59 + "AB03C" + b60 + "EF001z", nullptr),
            (Log{"ann:AB:59", "msg:AB:" + b59, "ann:AB:60", "ann:EF:1", "msg:EF:z"}));
  // The board's buffer: 1531 extracted, 1532 skipped.
  std::string big(1531, 'q');
  EXPECT_EQ(runAllChunkings(1536, "AB5FB" + big + "AB5FC" + big + "q" + "EF001z", nullptr),
            (Log{"ann:AB:1531", "msg:AB:" + big, "ann:AB:1532", "ann:EF:1", "msg:EF:z"}));
}

TEST(NativeStreamParser, RejectedMessageHidesAGoodOne) {
  // The outer message's bytes are searched again from its second byte.
  const std::string inner = "GT002ok";
  const std::string in = "SI00A" + inner + "zzz" + "\r\n";
  Log got = runAllChunkings(1536, in, [](RecParserClient& c) { c.refuse = {"SI"}; });
  EXPECT_EQ(got, (Log{"ann:SI:10", "msg:SI:GT002okzzz", "ann:GT:2", "msg:GT:ok"}));
}

TEST(NativeStreamParser, ForeignBoundsAndPieces) {
  // 600 bytes without an end of line: a piece of 512 (cut, terminator -1), then the rest.
  std::string run(600, '#');
  Log got = runAllChunkings(1536, run + "\n", nullptr);
  EXPECT_EQ(got, (Log{"for:" + std::string(512, '#') + ":-1", "for:" + std::string(88, '#') + "<0A>:10"}));
  // A cut run ends where a header can start.
  got = runAllChunkings(1536, std::string(512, '#') + "AB001z", nullptr);
  EXPECT_EQ(got, (Log{"for:" + std::string(512, '#') + ":-1", "ann:AB:1", "msg:AB:z"}));
  // Exactly the maximum with its terminator is one run.
  got = runAllChunkings(1536, std::string(512, '#') + "\r", nullptr);
  EXPECT_EQ(got, (Log{"for:" + std::string(512, '#') + "<0D>:13"}));
}

TEST(NativeStreamParser, RefusedForeignIsSearchedAgain) {
  Log got = runAllChunkings(1536, "$xxxxGT001z\r\n", [](RecParserClient& c) { c.refuseForeign = true; });
  EXPECT_EQ(got, (Log{"for:$xxxxGT001z<0D>:13", "ann:GT:1", "msg:GT:z"}));
}

TEST(NativeStreamParser, ResetForgetsTheItemInHand) {
  Rig r;
  r.feed("AB005ab");
  r.parser.reset();
  r.feed("CD001z");
  EXPECT_EQ(r.log, (Log{"ann:AB:5", "reset", "ann:CD:1", "msg:CD:z"}));
}

TEST(NativeStreamParser, NullClientSwallowsEverything) {
  ZRFParser p(nullptr, 64, nullptr);
  const std::string s = "AB001z$abcdefgh\r\n";
  p.process(s.data(), static_cast<int>(s.size()));
  p.process(nullptr, 5);
  EXPECT_EQ(p.count(), 0);
}

TEST(NativeStreamParser, CallersBufferIsUsed) {
  char buf[32];
  Log log;
  RecParserClient cl(log);
  ZRFParser p(buf, sizeof buf, &cl);
  const std::string s = "AB003xyz";
  p.process(s.data(), static_cast<int>(s.size()));
  EXPECT_EQ(log, (Log{"ann:AB:3", "msg:AB:xyz"}));
  EXPECT_EQ(std::string(buf, 8), s);
}

// Messages nested in messages, each refused: every level re-examines inside the one before.
std::string nested(int depth) {
  std::string m = "GT002ok";
  for (int i = 0; i < depth; ++i) {
    char hdr[6];
    std::snprintf(hdr, sizeof hdr, "SI%03X", static_cast<unsigned>(m.size() + 1));
    m = hdr + m + "\x01";
  }
  return m;
}

TEST(NativeStreamParser, DeepReexaminationIsBoundedAndChunkIndependent) {
  auto setup = [](RecParserClient& c) { c.refuse = {"SI"}; };
  // Shallow nesting: the good message at the core is found.
  Log got = runAllChunkings(1536, nested(10) + "EF001z", setup);
  ASSERT_GE(got.size(), 4u);
  EXPECT_EQ(got[got.size() - 3], "msg:GT:ok");
  EXPECT_EQ(got.back(), "msg:EF:z");
  // Nesting beyond the pending limit: what is dropped does not depend on the cut.
  got = runAllChunkings(1536, nested(40) + "EF001z", setup);
  EXPECT_EQ(got.back(), "msg:EF:z");
}

TEST(NativeStreamParser, TinyBufferSurvivesEverything) {
  for (int size : {1, 8, 9, 13}) {
    Log log;
    RecParserClient cl(log);
    ZRFParser p(nullptr, size, &cl);
    std::mt19937 rng(size);
    std::string s(100000, '\0');
    for (auto& c : s) c = static_cast<char>(rng() % 5 == 0 ? "AB0\r$"[rng() % 5] : rng());
    ntest::feedChunked([&](const char* d, int n) { p.process(d, n); }, s, 37, size);
    log.clear();
  }
}

}  // namespace
