// The command road: lines typed on a port and the framed replies to them, the verbs served
// outside the grammar, the message sets of "em"/"dm" and the parser task.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "capture_port.h"
#include "command/cmd_hooks.h"
#include "command/command_line.h"
#include "command/param_engine.h"
#include "command/values.h"
#include "output/output_manager.h"
#include "platform/mono_clock.h"

namespace {

// The program's start-up task becomes the parser; the tests give it a task of its own, once.
bool parserTask() {
  static Task* task = [] {
    auto* t = new Task(20, parseProc, nullptr, "PARS", 10240);
    t->resume();
    return t;
  }();
  return task->started();
}

// Written from the definition (XOR the byte in, then rotate left by two in 8 bits), apart from
// the product's code.
unsigned refChecksum(const std::string& s) {
  unsigned c = 0;
  for (unsigned char b : s) c = (((c ^ b) * 4) | ((c ^ b) / 64)) & 0xFF;
  return c;
}
std::string withChecksum(const std::string& s, unsigned error = 0) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "@%02X", (refChecksum(s) + error) & 0xFF);
  return s + buf;
}

// A small area with one key of each kind, a sub-list and a deeper area of its own.
long g_num = 7;
char g_text[16] = "hello";
int tstSet(const char* p, const ZRNamedNode* v) {
  if (strcmpA(p, "num")) return setInt(v, g_num, -100, 100);
  return strcmpA(p, "text") ? setString(v, g_text, sizeof g_text, 0, 15) : CMD_WRONG_1ST;
}
int subPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "a")) rc = reLong(re, 1);
  if (strcmpA(p, "b")) rc = reString(re, "two");
  return rc;
}
int tstPrint(const char* p, Reply& re) {
  int rc = CMD_WRONG_1ST;
  if (strcmpA(p, "num")) rc = reLong(re, g_num);
  if (strcmpA(p, "text")) rc = reString(re, g_text);
  if (const char* r = strncmpA(p, "sub")) rc = reSub(subPrint, r, re);
  return rc;
}
int deepPrint(const char* p, Reply& re) { return strcmpA(p, "k") ? reString(re, "deep") : CMD_WRONG_1ST; }

// Verbs served by their owners: one shows the terminal and the body it was handed.
int verbShow(const char* body, int len, int term, char* text, int size) {
  std::snprintf(text, static_cast<std::size_t>(size), "%d:%.*s", term, len, body);
  return CMD_OK;
}
int verbFail(const char*, int, int, char*, int) { return CMD_WRONG_2ND; }

class Road : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    parRegisterArea("tst", tstSet, tstPrint);
    parRegisterArea("tst/deep", nullptr, deepPrint);
    cmdRegisterVerb("vb", verbShow);
    cmdRegisterVerb("vf", verbFail);
    omInitOnce();
  }
  std::string msgSets() { return runLine(serA, "print,/msg/dev/ser/a;print,/msg/dev/ser/b"); }
  CapturePort serA{IOP_SER_A};
};

// Rows run in order; the area's values carry over from row to row.
TEST_F(Road, LinesAndTheirReplies) {
  EXPECT_FALSE(cmdRegisterVerb("vb", verbFail));
  EXPECT_FALSE(cmdRegisterVerb(nullptr, verbFail));
  const std::string id64(64, 'i'), wrongCmd = "ER014%%{1,,wrong command}\r\n", syntax = er("%%{8,,syntax error}");
  const std::string wrong1st = "ER01A%%{3,,wrong 1st parameter}\r\n";
  const struct {
    std::string line, reply;
  } rows[] = {
      {"%abc%", "RE005%abc%\r\n"}, {"foo", wrongCmd}, {"%q%foo", "ER015%q%{1,,wrong command}\r\n"},
      {"%q%em,/msg/x", "ER01B%q%{3,,wrong 1st parameter}\r\n"}, {"a;b", wrongCmd + wrongCmd},
      {"foo&&%x%", wrongCmd}, {"foo||%x%", wrongCmd + "RE003%x%\r\n"}, {"%a%&&%b%", "RE003%a%\r\nRE003%b%\r\n"},
      {"%a%||%b%", "RE003%a%\r\n"}, {"foo && %b% ; %c%", wrongCmd + "RE003%c%\r\n"},
      {"foo && %b% && %c%", wrongCmd}, {"%a%#;%b%", "RE003%a%\r\n"}, {"  ;; ", ""}, {"", ""},
      {"%" + id64 + "%", re("%" + id64 + "%")}, {"%" + id64 + "i%", wrongCmd},
      {times("%x%;", 40), times("RE003%x%\r\n", 32)},  // parts beyond room are dropped
      {"%q%vb,/par/,{a,b}", re("%q%5:vb,/par/,{a,b}")}, {"vb", re("5:vb")},
      {"vf,,x", er("%%{7,,wrong 2nd parameter}")}, {"vbx,,x", wrongCmd},
      {"print,/par/tst/num", "RE0017\r\n"}, {"%7%print,/par/tst/num", "RE004%7%7\r\n"},
      {"get,/par/tst/num", "RE0017\r\n"}, {withChecksum("%k%print,/par/tst/num"), "RE004%k%7\r\n"},
      {withChecksum("%k%print,/par/tst/num", 1), "ER016%k%{2,,wrong checksum}\r\n"},
      {"foo@00", "ER015%%{2,,wrong checksum}\r\n"}, {"@00", wrongCmd}, {"A@05", wrongCmd}, {"AB@1D", wrongCmd},
      {"\xFF@FF", wrongCmd}, {"AB@1C", "ER015%%{2,,wrong checksum}\r\n"},  // checksums worked by hand
      {withChecksum("%a%") + ";" + withChecksum("%b%"), "RE003%a%\r\nRE003%b%\r\n"},
      {"set,/par/tst/text,\"a@00", syntax},  // no checksum inside quotes
      {std::string("set,/par/tst/text,a\0b", 21), syntax},
      {"print,/par/tst/sub/b", "RE003two\r\n"}, {"print,/par/tst/sub", "RE00B{a=1,b=two}\r\n"},
      {"print,/par/tst/sub/", "RE00B{a=1,b=two}\r\n"}, {"print,/par/tst/deep/k", "RE004deep\r\n"},
      {"print,/par/tst/nope", wrong1st}, {"print,/par/nope", wrong1st}, {"print,/msg/nope", wrong1st},
      {"print", "ER01B%%{4,,1st parameter missed}\r\n"}, {"set,/par/tst/num,5", ""},
      {"%s%set,/par/tst/num,6", "RE003%s%\r\n"}, {"set,/par/tst/num,500", "ER019%%{5,,value out of range}\r\n"},
      {"set,/par/tst/num", "ER01B%%{6,,2nd parameter missed}\r\n"},
      {"set,/par/tst/num,x1", "ER01A%%{7,,wrong 2nd parameter}\r\n"}, {"set,/par/tst/num,{1", syntax},
      {"print,/par/tst/num", "RE0016\r\n"}, {"set,/par/tst/num,-42;print,/par/tst/num", "RE003-42\r\n"},
      {"set,/par/tst/text,\"a;b#c&&d\";print,/par/tst/text", "RE008a;b#c&&d\r\n"},
      // The area as a whole lists the area below it as well.
      {"set,/par/tst/num,3;set,/par/tst/text,hi;print,/par/tst",
       "RE02D{num=3,text=hi,sub={a=1,b=two},deep={k=deep}}\r\n"},
  };
  for (const auto& r : rows) EXPECT_EQ(runLine(serA, r.line), r.reply) << "line: " << r.line;
  const std::string all = runLine(serA, "print,/par/");
  EXPECT_NE(all.find("tst={num=3,text=hi,sub={a=1,b=two},deep={k=deep}}"), std::string::npos) << all;
}

TEST(Checksum, MatchesTheDefinition) {
  std::mt19937 rng(5);
  for (int i = 0; i < 200; ++i) {
    std::string s(rng() % 64, ' ');
    for (char& ch : s) ch = static_cast<char>(rng());
    EXPECT_EQ(cmdChecksum(s.data(), static_cast<int>(s.size())), refChecksum(s));
  }
}

// Rows run in order on dev/ser/a; each gives the sets of dev/ser/a and dev/ser/b afterwards.
TEST_F(Road, MessageSetsOfEmAndDm) {
  const std::string wrong1st = er("%%{3,,wrong 1st parameter}"), missed2nd = er("%%{6,,2nd parameter missed}");
  const char *a = "{zrt={RT=1,ET=1}}", *b = "{zrt={ET=2}}";
  const struct {
    const char* line;
    std::string reply;
    const char *serA, *serB;
  } rows[] = {
      {"em,,zrt/{RT,ET}:1", "", a, "{}"}, {"em,/dev/ser/b,zrt/RT:0", "", a, "{zrt={RT=0}}"},
      {"em, dev/ser/b ,zrt/{ET:2}", "", a, "{zrt={RT=0,ET=2}}"}, {"dm,/dev/ser/b,zrt/RT", "", a, b},
      {"em,/dev/ser/x,zrt/RT", wrong1st, a, b}, {"em,/dev/null,zrt/RT", wrong1st, a, b},
      {"em,{/dev/ser/b},zrt/RT", wrong1st, a, b}, {"em,,zrt/XX", er("%%{7,,wrong 2nd parameter}"), a, b},
      {"em,,", missed2nd, a, b}, {"em", missed2nd, a, b},
      {"%p%print,/msg/cur/term", re(std::string("%p%") + a), a, b},
      {"print,/msg;get, /msg/dev/ser/b ", re(a) + re(b), a, b},
      {"print,/msg/dev/none;print,/msgs", wrong1st + wrong1st, a, b},
      {"%i%em,,zrt/RT;dm,,zrt/{RT}", re("%i%"), "{zrt={ET=1}}", b}, {"dm,/cur/term", "", "{}", b},
      {"dm,/dev/ser/b", "", "{}", "{}"}, {"em,,/msg/zrt/ET:0.5", "", "{zrt={ET=0.5}}", "{}"}, {"dm", "", "{}", "{}"},
  };
  for (const auto& r : rows) {
    EXPECT_EQ(runLine(serA, r.line), r.reply) << r.line;
    EXPECT_EQ(msgSets(), re(r.serA) + re(r.serB)) << r.line;
  }
  // A command run at start-up has no terminal: it can only name ports.
  Locker<Mutex> l(printMutex);
  setCurTerm(IOP_NULL);
  EXPECT_EQ(newParse("em,,zrt/RT", 10), CMD_WRONG_1ST);
}

// Random and truncated lines, for the grammar and for the lists of em/dm: every answer is a
// whole native message, and the road still works afterwards.
TEST_F(Road, RandomAndTruncatedLinesAreAnsweredWithWholeMessages) {
  const struct {
    unsigned seed;
    int count, cutEvery, maxLen, rawEvery;  // rawEvery: lines of any bytes (0: none)
    const char *alphabet, *good, *heads;    // heads: two starts taken in turn ("": none)
  } rows[] = {
      {11, 10000, 4, 300, 3, "%@;#&|\",{}=/ parsetprint0123456789ABCDEFabcxyz\t",
       "%id%set,/par/tst/text,{a,\"b\",{c=1,,d}}@3F", ""},
      {23, 4000, 3, 60, 0, "emd,{}:/ \"zrtRTE@s0123.-;&|%\t", "em, /dev/ser/b ,/msg/zrt/{RT:1,ET,@@ts:0.5}:2",
       "dm,em,"},
  };
  for (const auto& r : rows) {
    std::mt19937 rng(r.seed);
    const std::string good = r.good;
    const std::size_t nAlpha = std::strlen(r.alphabet);
    for (int i = 0; i < r.count; ++i) {
      std::string line;
      if (i % r.cutEvery == 0) {
        line = good.substr(0, rng() % (good.size() + 1));
      } else {
        if (*r.heads) line.assign(r.heads + 3 * (i % 2), 3);
        for (std::size_t k = rng() % r.maxLen; k > 0; --k)
          line += (r.rawEvery && i % r.rawEvery == 0) ? static_cast<char>(rng() % 256) : r.alphabet[rng() % nAlpha];
      }
      const std::string out = runLine(serA, line);
      for (std::size_t pos = 0; pos < out.size();) {
        ASSERT_GE(out.size() - pos, 7u) << line;
        ASSERT_TRUE(out.compare(pos, 2, "RE") == 0 || out.compare(pos, 2, "ER") == 0) << line;
        const std::size_t len = std::stoul(out.substr(pos + 2, 3), nullptr, 16);
        ASSERT_LE(pos + 7 + len, out.size()) << line;
        ASSERT_EQ(out.compare(pos + 5 + len, 2, "\r\n"), 0) << line;
        pos += 7 + len;
      }
    }
  }
  EXPECT_EQ(runLine(serA, "dm,/dev/ser/b;dm;%e%"), re("%e%"));
  EXPECT_EQ(msgSets(), re("{}") + re("{}"));
}

// The parser task takes one line at a time from several ports and answers each on its own port
// before the sender is let go.
TEST(ParserTask, EachSenderHasItsAnswerWhenItIsLetGo) {
  InputParser::initOnce();
  ASSERT_TRUE(parserTask());
  const int ports[] = {IOP_SER_A, IOP_SER_B, IOP_SER_C, IOP_USB_A};
  std::vector<CapturePort*> caps;  // never deleted: the parser may still hold one at exit
  for (int p : ports) caps.push_back(new CapturePort(p));
  std::vector<std::string> failures(4);
  std::vector<std::thread> senders;
  for (std::size_t k = 0; k < 4; ++k) {
    senders.emplace_back([&, k] {
      for (int i = 0; i < 100 && failures[k].empty(); ++i) {
        const std::string line = "%" + std::to_string(k) + "-" + std::to_string(i) + "%";
        InputParser::put(line.data(), static_cast<int>(line.size()), ports[k], false);
        Locker<Mutex> l(printMutex);
        const std::string got = caps[k]->take();
        if (got != re(line)) failures[k] = line + " -> " + got;
      }
    });
  }
  for (auto& t : senders) t.join();
  for (const auto& f : failures) EXPECT_EQ(f, "");
  InputParser::put("", 0, IOP_SER_A, true);  // a line dropped for its length
  Locker<Mutex> l(printMutex);
  EXPECT_EQ(caps[0]->take(), "ER018%%{34,,command too long}\r\n");
}

// Three ports through the parser task at once: B is never read, but its tiny answers still
// fit while its big ones never do; C is read slowly (room for an answer comes 50 ms after it
// waits); A is read at once. A's answers never wait for B's or C's ring; C gets every answer in
// order; B's big answers are dropped and counted, each costing B's own task one bounded wait.
struct SlowPort : CapturePort {
  SlowPort(int index, bool never) : CapturePort(index), never_(never) {}
  int devWrite(const void* d, int len, int timeout) override {
    if (!(never_ && len <= 16)) {
      if (timeout == 0) return 0;
      Task::sleep(never_ ? timeout : 5);
      if (never_) return 0;
    }
    Locker<Mutex> l(m);
    return CapturePort::devWrite(d, len, timeout);
  }
  std::string got() {
    Locker<Mutex> l(m);
    return data;
  }
  bool never_;
  Mutex m;
};

TEST(ParserTask, APortReadSlowlyOrNeverHoldsUpNoOtherPort) {
  InputParser::initOnce();
  ASSERT_TRUE(parserTask());
  auto* a = new CapturePort(IOP_SER_A);  // never deleted: the parser may still hold one at exit
  auto* b = new SlowPort(IOP_SER_B, true);
  auto* c = new SlowPort(IOP_SER_C, false);
  std::atomic<bool> done{false};
  int rounds = 0;
  std::string wantC;
  std::thread others([&] {
    for (int i = 0; !done; ++i, ++rounds) {
      const std::string tiny = "%" + std::to_string(i) + "%", big = "%" + std::to_string(i) + "%print,/par/rcv";
      for (const auto& [port, line] : {std::pair{IOP_SER_B, tiny}, {IOP_SER_B, big}, {IOP_SER_C, big}}) {
        InputParser::put(line.data(), static_cast<int>(line.size()), port, false);
      }
    }
  });
  while (b->got().find("%0%") == std::string::npos) Task::sleep(1);
  std::uint32_t longest = 0;
  for (int i = 0; i < 20; ++i, Task::sleep(5)) {
    const std::string line = "%a" + std::to_string(i) + "%";
    const std::uint32_t start = MonoClock::ms();
    InputParser::put(line.data(), static_cast<int>(line.size()), IOP_SER_A, false);
    longest = std::max(longest, MonoClock::ms() - start);
    Locker<Mutex> l(printMutex);
    EXPECT_EQ(a->take(), re(line));
  }
  done = true;
  others.join();
  // A generous bound: before, every big answer of B held the parser (and A) for 2 s.
  EXPECT_LT(longest, 1000u);
  const std::string gotC = c->got();
  std::size_t at = 0;
  for (int i = 0; at < gotC.size(); ++i) {
    const std::string id = "RE0";
    ASSERT_EQ(gotC.compare(at, 3, id), 0) << gotC.substr(at, 40);
    const std::size_t len = std::stoul(gotC.substr(at + 2, 3), nullptr, 16) + 7;
    EXPECT_EQ(gotC.compare(at + 5, 2 + std::to_string(i).size(), "%" + std::to_string(i) + "%"), 0) << i;
    at += len;
  }
  // B got the tiny answer of every round, in order, and none of the big ones: those were dropped.
  std::string wantB;
  for (int i = 0; i < rounds; ++i) wantB += re("%" + std::to_string(i) + "%");
  EXPECT_EQ(b->got(), wantB);
}
}  // namespace
