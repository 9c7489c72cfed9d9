// Value readers and printers, the bounded reply and the argument lists.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "capture_port.h"
#include "command/values.h"
#include "command/zr_list.h"
#include "platform/ports/io_port_index.h"

namespace {

// Each reader writes into a target that starts at a known value and shows what it holds after,
// so a refused value must leave the start value.
using std::to_string;
using Node = const ZRNamedNode*;
using Reader = int (*)(Node, std::string&);
int intR(Node v, std::string& s) { int d = 1; int rc = setInt(v, d, -10, 10); s = to_string(d); return rc; }
int byteR(Node v, std::string& s) { std::uint8_t d = 3; int rc = setInt(v, d, 0, 1000); s = to_string(d); return rc; }
int boolR(Node v, std::string& s) { bool b = true; int rc = setBool(v, b); s = to_string(b); return rc; }
int enumR(Node v, std::string& s) { int e = -1, rc = setEnum(v, e, "alpha,beta:b,gamma"); s = to_string(e); return rc; }
int textR(Node v, std::string& s) { char b[8] = "old"; int rc = setString(v, b, sizeof b, 1, 7); s = b; return rc; }
int dblR(Node v, std::string& s) { double d = 1.5; int rc = setDouble(v, d, -100, 100); s = to_string(d); return rc; }
int fltR(Node v, std::string& s) { float f = 0; int rc = setFloat(v, f, 0, 1); s = to_string(f); return rc; }
int bitsR(Node v, std::string& s) { std::uint64_t b = 9; int rc = setBits64(v, b, ~0ull); s = to_string(b); return rc; }
int bit0R(Node v, std::string& s) { std::uint64_t b = 9; int rc = setBits64(v, b, 1); s = to_string(b); return rc; }
int portR(Node v, std::string& s) { int p = -1; int rc = setPort(v, p); s = to_string(p); return rc; }

TEST(Readers, WhatEachAcceptsAndRefuses) {
  const struct {
    Reader read;
    const char* value;  // null: the argument is absent
    int rc;
    std::string after;
  } rows[] = {
      {intR, "5", 0, "5"}, {intR, "-10", 0, "-10"}, {intR, "0xA", 0, "10"}, {intR, " 7 ", 0, "7"}, {intR, "11", 5, "1"},
      {intR, "-11", 5, "1"}, {intR, "", 6, "1"}, {intR, "abc", 7, "1"}, {intR, "5x", 7, "1"}, {intR, "{1}", 7, "1"},
      {intR, "\"5\"", 7, "1"}, {intR, "99999999999999999999", 7, "1"}, {byteR, "300", 5, "3"}, {byteR, nullptr, 6, "3"},
      {boolR, "yes", 0, "1"}, {boolR, "Y", 0, "1"}, {boolR, "on", 0, "1"}, {boolR, "no", 0, "0"}, {boolR, "n", 0, "0"},
      {boolR, "OFF", 0, "0"}, {boolR, "maybe", 7, "1"}, {boolR, "", 6, "1"}, {enumR, "gamma", 0, "2"},
      {enumR, "b", 0, "1"}, {enumR, "bet", 7, "-1"}, {textR, "\"a b,c\"", 0, "a b,c"}, {textR, "", 6, "old"},
      {textR, "toolongtext", 5, "old"}, {dblR, "-2.25e1", 0, "-22.500000"}, {dblR, "nan", 7, "1.500000"},
      {dblR, "1e300", 5, "1.500000"}, {fltR, "0.5", 0, "0.500000"}, {bitsR, "{64}", 5, "9"}, {bit0R, "{1}", 5, "9"},
      {bitsR, "{0,5,63}", 0, "9223372036854775841"}, {portR, "dev/ser/z", 7, "-1"},
      {portR, "/dev/ser/b", 0, to_string(IOP_SER_B)}, {portR, "dev/usb/a", 0, to_string(IOP_USB_A)},
      {portR, "cur/term", 0, to_string(IOP_SER_D)},
  };
  setCurTerm(IOP_SER_D);
  for (const auto& r : rows) {
    const std::string line = r.value ? std::string("set,/par/x,") + r.value : "set,/par/x";
    ZRList list;
    ASSERT_EQ(list.parse(line.data(), static_cast<int>(line.size())), 0) << line;
    std::string after;
    EXPECT_EQ(r.read(list.at(2), after), r.rc) << line;
    EXPECT_EQ(after, r.after) << line;
  }
}

TEST(Replies, TooMuchPrintedTextIsRefusedNotCut) {
  Reply reply;
  reply.begin("i", 1);
  for (int i = 0; i < 5000; ++i) reply.put('x');
  EXPECT_TRUE(reply.overflow());
  EXPECT_EQ(reply.size(), kReplyMaxBody);
  char frame[kReplyMaxBody + 8];
  EXPECT_EQ(replyFrameER(frame, sizeof frame, reply, CMD_REPLY_TOO_LONG), 7 + 0x17);
  EXPECT_EQ(std::string(frame), "ER017%i%{14,,reply too long}\r\n");
}

// A parsed list written back in its own grammar: names, quoted and empty items, nesting.
std::string dump(Node n) {
  std::string s = *n->name() ? std::string(n->name()) + "=" : "";
  if (n->kind() == ZRNamedNode::STR) return s + "\"" + n->text() + "\"";
  if (!n->isList()) return s + n->text();
  for (int i = 0; i < n->size(); ++i) s += (i ? "," : "{") + dump(n->at(i));
  return s + (n->size() ? "}" : "{}");
}

TEST(ZRListParse, NestedListsNamesAndFaults) {
  const struct {
    std::string line;
    int rc;
    const char* items;
  } rows[] = {
      {"set , /par/a/b , { 1 , \"two, 2\" , , n = {x} , {} }", 0, "set|/par/a/b|{1,\"two, 2\",,n={x},{}}"},
      {"set,{", CMD_SYNTAX, ""},     {"set,}", CMD_SYNTAX, ""},    {"set,\"abc", CMD_SYNTAX, ""},
      {"set,a\"b\"", CMD_SYNTAX, ""}, {"set,{1}x", CMD_SYNTAX, ""}, {"set,{{{{{{{{{1}}}}}}}}}", CMD_SYNTAX, ""},
      {std::string("set,a\0b", 7), CMD_SYNTAX, ""}, {"set,{" + times("1,", 400) + "1}", CMD_TOO_LONG, ""},
      {"set," + std::string(2045, 'x'), CMD_TOO_LONG, ""},
  };
  for (const auto& r : rows) {
    ZRList l;
    EXPECT_EQ(l.parse(r.line.data(), static_cast<int>(r.line.size())), r.rc) << r.line;
    std::string items;
    for (int i = 0; r.rc == 0 && i < l.size(); ++i) items += (i ? "|" : "") + dump(l.at(i));
    EXPECT_EQ(items, r.items) << r.line;
  }
}

}  // namespace
