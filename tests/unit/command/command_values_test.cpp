// Value readers and printers: what each accepts, what it refuses with which code, and that a
// refused value leaves the target as it was.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "command/input_parser.h"
#include "command/values.h"
#include "command/zr_list.h"
#include "platform/ports/io_port_index.h"

namespace {

// Parses "set,path,<value>" and gives the value node (null when absent).
struct Cmd {
  ZRList list;
  const ZRNamedNode* value(const std::string& v) {
    std::string line = "set,/par/x," + v;
    EXPECT_EQ(list.parse(line.data(), static_cast<int>(line.size())), 0) << line;
    return list.at(2);
  }
};

TEST(Readers, IntegersWithinRange) {
  struct {
    const char* text;
    int rc;
    int result;
  } const cases[] = {
      {"5", 0, 5},    {"-10", 0, -10}, {"0xA", 0, 10}, {"11", 5, 1},  {"-11", 5, 1},
      {"", 6, 1},     {"abc", 7, 1},   {"5x", 7, 1},    {"{1}", 7, 1}, {"\"5\"", 7, 1},
      {" 7 ", 0, 7},  {"99999999999999999999", 7, 1},
  };
  for (const auto& c : cases) {
    Cmd cmd;
    int dst = 1;
    EXPECT_EQ(setInt(cmd.value(c.text), dst, -10, 10), c.rc) << c.text;
    EXPECT_EQ(dst, c.result) << c.text;
  }
  // The target's own width is a range too.
  Cmd cmd;
  std::uint8_t small = 3;
  EXPECT_EQ(setInt(cmd.value("300"), small, 0, 1000), CMD_OUT_OF_RANGE);
  EXPECT_EQ(small, 3);
  EXPECT_EQ(setInt(static_cast<const ZRNamedNode*>(nullptr), small, 0, 10), CMD_2ND_MISSED);
}

TEST(Readers, BooleansAndKeywords) {
  struct {
    const char* text;
    int rc;
    bool result;
  } const cases[] = {{"yes", 0, true}, {"Y", 0, true},  {"on", 0, true},   {"no", 0, false},
                     {"n", 0, false},  {"OFF", 0, false}, {"maybe", 7, true}, {"", 6, true}};
  for (const auto& c : cases) {
    Cmd cmd;
    bool b = true;
    EXPECT_EQ(setBool(cmd.value(c.text), b), c.rc) << c.text;
    EXPECT_EQ(b, c.result) << c.text;
  }
  Cmd cmd;
  int e = -1;
  EXPECT_EQ(setEnum(cmd.value("gamma"), e, "alpha,beta:b,gamma"), 0);
  EXPECT_EQ(e, 2);
  EXPECT_EQ(setEnum(cmd.value("b"), e, "alpha,beta:b,gamma"), 0);
  EXPECT_EQ(e, 1);
  EXPECT_EQ(setEnum(cmd.value("bet"), e, "alpha,beta:b,gamma"), CMD_WRONG_2ND);
  EXPECT_EQ(e, 1);
}

TEST(Readers, StringsReals64BitSetsAndPorts) {
  Cmd cmd;
  char buf[8] = "old";
  EXPECT_EQ(setString(cmd.value("\"a b,c\""), buf, sizeof buf, 1, 7), 0);
  EXPECT_STREQ(buf, "a b,c");
  EXPECT_EQ(setString(cmd.value("toolongtext"), buf, sizeof buf, 1, 7), CMD_OUT_OF_RANGE);
  EXPECT_EQ(setString(cmd.value(""), buf, sizeof buf, 1, 7), CMD_2ND_MISSED);
  EXPECT_STREQ(buf, "a b,c");

  double d = 1.5;
  EXPECT_EQ(setDouble(cmd.value("-2.25e1"), d, -100, 100), 0);
  EXPECT_EQ(d, -22.5);
  EXPECT_EQ(setDouble(cmd.value("nan"), d, -100, 100), CMD_WRONG_2ND);
  EXPECT_EQ(setDouble(cmd.value("1e300"), d, -100, 100), CMD_OUT_OF_RANGE);
  float f = 0;
  EXPECT_EQ(setFloat(cmd.value("0.5"), f, 0, 1), 0);
  EXPECT_EQ(f, 0.5f);

  std::uint64_t bits = 9;
  EXPECT_EQ(setBits64(cmd.value("{0,5,63}"), bits, ~std::uint64_t{0}), 0);
  EXPECT_EQ(bits, (std::uint64_t{1} << 63) | 33u);
  EXPECT_EQ(setBits64(cmd.value("{64}"), bits, ~std::uint64_t{0}), CMD_OUT_OF_RANGE);
  EXPECT_EQ(setBits64(cmd.value("{1}"), bits, 1), CMD_OUT_OF_RANGE);
  EXPECT_EQ(bits, (std::uint64_t{1} << 63) | 33u);

  int port = -1;
  EXPECT_EQ(setPort(cmd.value("/dev/ser/b"), port), 0);
  EXPECT_EQ(port, IOP_SER_B);
  EXPECT_EQ(setPort(cmd.value("dev/usb/a"), port), 0);
  EXPECT_EQ(port, IOP_USB_A);
  setCurTerm(IOP_SER_D);
  EXPECT_EQ(setPort(cmd.value("cur/term"), port), 0);
  EXPECT_EQ(port, IOP_SER_D);
  EXPECT_EQ(setPort(cmd.value("dev/ser/z"), port), CMD_WRONG_2ND);
  EXPECT_EQ(port, IOP_SER_D);
}

std::string printed(int (*fn)(Reply&)) {
  Reply re;
  re.begin(nullptr, 0);
  EXPECT_EQ(fn(re), 0);
  return std::string(re.text(), static_cast<std::size_t>(re.textLen()));
}

TEST(Printers, ReplyFormats) {
  EXPECT_EQ(printed([](Reply& r) { return reLong(r, -5); }), "-5");
  EXPECT_EQ(printed([](Reply& r) { return reShort(r, 300); }), "300");
  EXPECT_EQ(printed([](Reply& r) { return reBool(r, false); }), "off");
  EXPECT_EQ(printed([](Reply& r) { return reEnum(r, 1, "alpha,beta:b,gamma"); }), "beta");
  EXPECT_EQ(printed([](Reply& r) { return reDouble(r, 2.5, 3); }), "2.500");
  EXPECT_EQ(printed([](Reply& r) { return reBits64(r, 0x8000000000000021ull); }), "{0,5,63}");
  EXPECT_EQ(printed([](Reply& r) { return reLongHex(r, 0xBEEFul); }), "0xBEEF");
  EXPECT_EQ(printed([](Reply& r) { return reXYZ(r, "", 1, 2, 3); }),
            "{x=1.0000,y=2.0000,z=3.0000}");
  EXPECT_EQ(printed([](Reply& r) { return reENU(r, "u", 1, 2, 3); }), "3.0000");
  EXPECT_EQ(printed([](Reply& r) { return reBLH(r, "lat", 3.14159265358979323846 / 4, 0, 0); }),
            "45.000000000");
  Reply re;
  EXPECT_EQ(reEnum(re, 3, "a,b,c"), CMD_OUT_OF_RANGE);
  EXPECT_EQ(reXYZ(re, "w", 1, 2, 3), CMD_WRONG_1ST);
}

TEST(Replies, TooMuchPrintedTextIsRefusedNotCut) {
  Reply re;
  re.begin("i", 1);
  for (int i = 0; i < 5000; ++i) re.put('x');
  EXPECT_TRUE(re.overflow());
  EXPECT_EQ(re.size(), kReplyMaxBody);
  char frame[kReplyMaxBody + 8];
  EXPECT_EQ(replyFrameER(frame, sizeof frame, re, CMD_REPLY_TOO_LONG), 7 + 0x17);
  EXPECT_EQ(std::string(frame), "ER017%i%{14,,reply too long}\r\n");
}

TEST(ZRListParse, NestedListsNamesAndFaults) {
  ZRList l;
  const std::string line = "set , /par/a/b , { 1 , \"two, 2\" , , n = {x} , {} }";
  ASSERT_EQ(l.parse(line.data(), static_cast<int>(line.size())), 0);
  ASSERT_EQ(l.size(), 3);
  EXPECT_STREQ(l.textAt(0), "set");
  EXPECT_STREQ(l.textAt(1), "/par/a/b");
  const ZRNamedNode* v = l.at(2);
  ASSERT_TRUE(v->isList());
  ASSERT_EQ(v->size(), 5);
  EXPECT_EQ(v->at(0)->kind(), ZRNamedNode::LEAF);
  EXPECT_EQ(v->at(1)->kind(), ZRNamedNode::STR);
  EXPECT_STREQ(v->at(1)->text(), "two, 2");
  EXPECT_TRUE(v->at(2)->isEmpty());
  EXPECT_STREQ(v->at(3)->name(), "n");
  EXPECT_STREQ(v->at(3)->at(0)->text(), "x");
  EXPECT_EQ(v->at(4)->size(), 0);

  const char* const bad[] = {"set,{", "set,}", "set,\"abc", "set,a\"b\"", "set,{1}x",
                             "set,{{{{{{{{{1}}}}}}}}}"};
  for (const char* b : bad) {
    EXPECT_NE(l.parse(b, static_cast<int>(std::strlen(b))), 0) << b;
  }
  std::string many = "set,{";
  for (int i = 0; i < 400; ++i) many += "1,";
  many += "1}";
  EXPECT_EQ(l.parse(many.data(), static_cast<int>(many.size())), CMD_TOO_LONG);
}

}  // namespace
