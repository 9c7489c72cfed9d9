// The command road without tasks: lines in, framed replies out.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "capture_port.h"
#include "command/command_line.h"
#include "command/param_engine.h"
#include "command/values.h"

namespace {

// Checksum written from the definition (XOR the byte in, then rotate left by two in 8 bits),
// kept apart from the product's code.
unsigned refChecksum(const std::string& s) {
  unsigned c = 0;
  for (unsigned char b : s) {
    c ^= b;
    c = ((c * 4) | (c / 64)) & 0xFF;
  }
  return c;
}

std::string withChecksum(const std::string& s) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "@%02X", refChecksum(s));
  return s + buf;
}

// A small area with one key of each kind.
long g_num = 7;
bool g_flag = false;
char g_text[16] = "hello";

int tstSet(const char* p, const ZRNamedNode* v) {
  if (strcmpA(p, "num")) return setInt(v, g_num, -100, 100);
  if (strcmpA(p, "flag")) return setBool(v, g_flag);
  if (strcmpA(p, "text")) return setString(v, g_text, sizeof g_text, 0, 15);
  return CMD_WRONG_1ST;
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
  if (strcmpA(p, "flag")) rc = reBool(re, g_flag);
  if (strcmpA(p, "text")) rc = reString(re, g_text);
  if (const char* r = strncmpA(p, "sub")) rc = reSub(subPrint, r, re);
  return rc;
}

int deepPrint(const char* p, Reply& re) {
  if (strcmpA(p, "k")) return reString(re, "deep");
  return CMD_WRONG_1ST;
}

class Grammar : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    parRegisterArea("tst", tstSet, tstPrint);
    parRegisterArea("tst/deep", nullptr, deepPrint);
  }
  void SetUp() override {
    g_num = 7;
    g_flag = false;
    std::strcpy(g_text, "hello");
  }
  CapturePort port{IOP_SER_A};
};

struct Case {
  const char* line;
  const char* reply;
};

TEST_F(Grammar, LinesAndTheirReplies) {
  const Case cases[] = {
      {"%abc%", "RE005%abc%\r\n"},
      {"foo", "ER014%%{1,,wrong command}\r\n"},
      {"%q%foo", "ER015%q%{1,,wrong command}\r\n"},
      {"%q%em,/msg/x", "ER01B%q%{3,,wrong 1st parameter}\r\n"},
      {"a;b", "ER014%%{1,,wrong command}\r\nER014%%{1,,wrong command}\r\n"},
      {"foo&&%x%", "ER014%%{1,,wrong command}\r\n"},
      {"foo||%x%", "ER014%%{1,,wrong command}\r\nRE003%x%\r\n"},
      {"%a%&&%b%", "RE003%a%\r\nRE003%b%\r\n"},
      {"%a%||%b%", "RE003%a%\r\n"},
      {"foo && %b% ; %c%", "ER014%%{1,,wrong command}\r\nRE003%c%\r\n"},
      {"foo && %b% && %c%", "ER014%%{1,,wrong command}\r\n"},
      {"%a%#;%b%", "RE003%a%\r\n"},
      {"  ;; ", ""},
      {"", ""},
      {"print,/par/tst/num", "RE0017\r\n"},
      {"%7%print,/par/tst/num", "RE004%7%7\r\n"},
      {"get,/par/tst/num", "RE0017\r\n"},
      {"print,/par/tst/sub/b", "RE003two\r\n"},
      {"print,/par/tst/sub", "RE00B{a=1,b=two}\r\n"},
      {"print,/par/tst/sub/", "RE00B{a=1,b=two}\r\n"},
      {"print,/par/tst/deep/k", "RE004deep\r\n"},
      {"print,/par/tst/nope", "ER01A%%{3,,wrong 1st parameter}\r\n"},
      {"print,/par/nope", "ER01A%%{3,,wrong 1st parameter}\r\n"},
      {"print,/msg/nope", "ER01A%%{3,,wrong 1st parameter}\r\n"},
      {"print", "ER01B%%{4,,1st parameter missed}\r\n"},
      {"set,/par/tst/num,5", ""},
      {"%s%set,/par/tst/num,6", "RE003%s%\r\n"},
      {"set,/par/tst/num,500", "ER019%%{5,,value out of range}\r\n"},
      {"set,/par/tst/num", "ER01B%%{6,,2nd parameter missed}\r\n"},
      {"set,/par/tst/num,x1", "ER01A%%{7,,wrong 2nd parameter}\r\n"},
      {"set,/par/tst/num,{1", "ER013%%{8,,syntax error}\r\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(runLine(port, c.line), c.reply) << "line: " << c.line;
  }
}

TEST_F(Grammar, ASetIsSeenByTheNextPrintAndAFailedSetChangesNothing) {
  EXPECT_EQ(runLine(port, "set,/par/tst/num,-42;print,/par/tst/num"), "RE003-42\r\n");
  EXPECT_EQ(runLine(port, "set,/par/tst/num,101"), "ER019%%{5,,value out of range}\r\n");
  EXPECT_EQ(runLine(port, "print,/par/tst/num"), "RE003-42\r\n");
}

TEST_F(Grammar, QuotedTextStaysWhole) {
  EXPECT_EQ(runLine(port, "set,/par/tst/text,\"a;b#c&&d\";print,/par/tst/text"),
            "RE008a;b#c&&d\r\n");
}

TEST_F(Grammar, ChecksumIsCheckedOverThePartBeforeIt) {
  const std::string good = withChecksum("%k%print,/par/tst/num");
  EXPECT_EQ(runLine(port, good), "RE004%k%7\r\n");
  std::string bad = good;
  bad[bad.size() - 1] = bad[bad.size() - 1] == '0' ? '1' : '0';
  EXPECT_EQ(runLine(port, bad), "ER016%k%{2,,wrong checksum}\r\n");
  EXPECT_EQ(runLine(port, "foo@00"), "ER015%%{2,,wrong checksum}\r\n");
  // Each part of a line carries its own checksum.
  EXPECT_EQ(runLine(port, withChecksum("%a%") + ";" + withChecksum("%b%")),
            "RE003%a%\r\nRE003%b%\r\n");
}

TEST_F(Grammar, ListingTheAreaGivesNamesAndValuesInBraces) {
  g_num = 3;
  g_flag = true;
  std::strcpy(g_text, "hi");
  EXPECT_EQ(runLine(port, "print,/par/tst"), "RE027{num=3,flag=on,text=hi,sub={a=1,b=two}}\r\n");
  std::string all = runLine(port, "print,/par/");
  EXPECT_NE(all.find("tst={num=3,flag=on,text=hi,sub={a=1,b=two}}"), std::string::npos) << all;
}

TEST(Checksum, MatchesHandWorkedValues) {
  struct {
    const char* text;
    unsigned sum;
  } const cases[] = {{"", 0x00}, {"A", 0x05}, {"AB", 0x1D}, {"\xFF", 0xFF}};
  for (const auto& c : cases) {
    EXPECT_EQ(cmdChecksum(c.text, static_cast<int>(std::strlen(c.text))), c.sum) << c.text;
  }
  std::mt19937 rng(5);
  for (int i = 0; i < 200; ++i) {
    std::string s(rng() % 64, ' ');
    for (char& ch : s) ch = static_cast<char>(rng());
    EXPECT_EQ(cmdChecksum(s.data(), static_cast<int>(s.size())), refChecksum(s));
  }
}

TEST(SplitLine, PartsAndTheirJoins) {
  CmdPart parts[8];
  const char* line = " a ; b&&c || \"d;e\" # f;g";
  int n = cmdSplitLine(line, static_cast<int>(std::strlen(line)), parts, 8);
  ASSERT_EQ(n, 4);
  EXPECT_EQ(std::string(parts[0].text, parts[0].len), "a");
  EXPECT_EQ(std::string(parts[1].text, parts[1].len), "b");
  EXPECT_EQ(parts[2].join, CmdJoin::OnSuccess);
  EXPECT_EQ(std::string(parts[3].text, parts[3].len), "\"d;e\"");
  EXPECT_EQ(parts[3].join, CmdJoin::OnFailure);
  // More parts than room: the rest are dropped, never overrun.
  std::string many(200, ';');
  for (int i = 0; i < 100; ++i) many[static_cast<std::size_t>(2 * i)] = 'x';
  EXPECT_EQ(cmdSplitLine(many.data(), static_cast<int>(many.size()), parts, 8), 8);
}

TEST_F(Grammar, RandomAndTruncatedLinesAreAnsweredWithoutHarm) {
  std::mt19937 rng(11);
  const char alphabet[] = "%@;#&|\",{}=/ parsetprint0123456789ABCDEFabcxyz\t";
  const std::string good = "%id%set,/par/tst/text,{a,\"b\",{c=1,,d}}@3F";
  for (int i = 0; i < 10000; ++i) {
    std::string line;
    if (i % 4 == 0) {
      line = good.substr(0, rng() % (good.size() + 1));
    } else {
      std::size_t len = rng() % 300;
      for (std::size_t k = 0; k < len; ++k) {
        line += (i % 3 == 0) ? static_cast<char>(rng() % 256)
                             : alphabet[rng() % (sizeof alphabet - 1)];
      }
    }
    std::string out = runLine(port, line);
    // Every answer is a whole native message.
    std::size_t pos = 0;
    while (pos < out.size()) {
      ASSERT_GE(out.size() - pos, 7u) << line;
      ASSERT_TRUE(out.compare(pos, 2, "RE") == 0 || out.compare(pos, 2, "ER") == 0) << line;
      unsigned len = static_cast<unsigned>(std::stoul(out.substr(pos + 2, 3), nullptr, 16));
      ASSERT_LE(pos + 5 + len + 2, out.size()) << line;
      ASSERT_EQ(out.compare(pos + 5 + len, 2, "\r\n"), 0) << line;
      pos += 7 + len;
    }
  }
}

}  // namespace
