#include "gnss_link/native_stream_parser.h"

#include <gtest/gtest.h>

#include <set>

#include "unit/gnss_link/native_test_util.h"

using namespace ntest;

namespace {

struct Case {
  const char* what;
  std::string in;
  Log want;
  int size = 1536;
  std::set<std::string> reject = {}, skip = {}, refuse = {};
  bool refuseForeign = false;
  bool tailOnly = false;  // `want` is the end of the calls
};

class RecParserClient : public ZRFPClient {
 public:
  RecParserClient(Log& log, const Case& c) : log_(log), c_(c) {}
  int announce(const ZRFMessage& m) override {
    log_.push_back("ann:" + idText(m.id) + ":" + std::to_string(m.len));
    return c_.reject.count(idText(m.id)) ? A_REJECT : c_.skip.count(idText(m.id)) ? A_SKIP : A_EXTRACT;
  }
  bool message(const ZRFMessage& m) override {
    log_.push_back("msg:" + idText(m.id) + ":" + show(m.body(), m.len));
    return !c_.refuse.count(idText(m.id));
  }
  bool foreign(const char* d, int n, int term) override {
    log_.push_back("for:" + show(d, n) + ":" + std::to_string(term));
    return !c_.refuseForeign;
  }
  void reset() override { log_.push_back("reset"); }

 private:
  Log& log_;
  const Case& c_;
};

// Messages nested in messages, each refused: every level re-examines inside the one before.
std::string nested(int depth) {
  std::string m = "GT002ok";
  for (int i = 0; i < depth; ++i) m = frame("SI", m + "\x01", Ck::None);
  return m;
}

TEST(NativeStreamParser, FramingGivesTheSameCallsHoweverCut) {
  const std::string b59(59, 'x'), b60(60, 'y'), big(1531, 'q'), run512(512, '#');
  const Case cases[] = {
      {"CR LF before a message", "\r\n\r\nAB003xyz\r\n", {"ann:AB:3", "msg:AB:xyz"}},
      {"lower-case hex, then a real one", "RE00aGT002ok", {"ann:GT:2", "msg:GT:ok"}},
      {"foreign line", "$GPGGA,1,2\r\nAB001z", {"for:$GPGGA,1,2<0D>:13", "ann:AB:1", "msg:AB:z"}},
      {"short line holding a header", "!SI000\n", {"ann:SI:0", "msg:SI:"}},
      {"foreign run breaks a header", "AB0$abcdefgh\r", {"for:$abcdefgh<0D>:13"}},
      {"rejected header slides by one character", "AA0000", {"ann:AA:0", "ann:A0:0", "msg:A0:"}, 1536, {"AA"}},
      {"a skipped body hides its message", "SK008CD003abcEF001z", {"ann:SK:8", "ann:EF:1", "msg:EF:z"}, 64, {},
       {"SK"}},
      {"buffer 64: 59 extracted, 60 skipped", "AB03B" + b59 + "AB03C" + b60 + "EF001z",
       {"ann:AB:59", "msg:AB:" + b59, "ann:AB:60", "ann:EF:1", "msg:EF:z"}, 64},
      {"buffer 1536: 1531 extracted, 1532 skipped", "AB5FB" + big + "AB5FC" + big + "q" + "EF001z",
       {"ann:AB:1531", "msg:AB:" + big, "ann:AB:1532", "ann:EF:1", "msg:EF:z"}},
      {"a refused message hides a good one", "SI00AGT002okzzz\r\n",
       {"ann:SI:10", "msg:SI:GT002okzzz", "ann:GT:2", "msg:GT:ok"}, 1536, {}, {}, {"SI"}},
      {"600 bytes without an end of line: 512, then the rest", std::string(600, '#') + "\n",
       {"for:" + run512 + ":-1", "for:" + std::string(88, '#') + "<0A>:10"}},
      {"a cut foreign run ends where a header starts", run512 + "AB001z",
       {"for:" + run512 + ":-1", "ann:AB:1", "msg:AB:z"}},
      {"a refused foreign run is searched again", "$xxxxGT001z\r\n",
       {"for:$xxxxGT001z<0D>:13", "ann:GT:1", "msg:GT:z"}, 1536, {}, {}, {}, true},
      {"shallow nesting finds the core", nested(10) + "EF001z", {"msg:GT:ok", "ann:EF:1", "msg:EF:z"}, 1536, {},
       {}, {"SI"}, false, true},
      {"nesting past the pending limit", nested(40) + "EF001z", {"msg:EF:z"}, 1536, {}, {}, {"SI"}, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Log whole;
    for (int chunk : {0, 1, 2, 3, 7, 64}) {
      for (unsigned seed : {1u, 2u, 3u}) {
        Log log;
        RecParserClient cl(log, c);
        ZRFParser p(nullptr, c.size, cl);
        feedChunked([&p](const char* d, int n) { p.process(d, n); }, c.in, chunk, seed);
        if (chunk == 0) whole = log;
        EXPECT_EQ(log, whole) << "chunk " << chunk << " seed " << seed;
        if (chunk < 2) break;
      }
    }
    ASSERT_GE(whole.size(), c.want.size());
    EXPECT_EQ(Log(whole.end() - std::ptrdiff_t(c.tailOnly ? c.want.size() : whole.size()), whole.end()), c.want);
  }
}

TEST(NativeStreamParser, TinyBufferSurvivesEverything) {
  for (int size : {1, 8, 9, 13}) {
    Log log;
    const Case c{"", "", {}};
    RecParserClient cl(log, c);
    ZRFParser p(nullptr, size, cl);
    std::mt19937 rng(size);
    std::string s(100000, '\0');
    for (auto& ch : s) ch = static_cast<char>(rng() % 5 == 0 ? "AB0\r$"[rng() % 5] : rng());
    feedChunked([&p](const char* d, int n) { p.process(d, n); }, s, 37, size);
  }
}

}  // namespace
