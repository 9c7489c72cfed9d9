// Verbs and print trees that other layers serve through the command engine's hooks.
#include "command/cmd_hooks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "command/reply.h"
#include "command/result_codes.h"

namespace {

std::string g_seen;
int g_term = -1;

int verbA(const char* body, int len, int term, char* text, int size) {
  g_seen.assign(body, static_cast<std::size_t>(len));
  g_term = term;
  std::snprintf(text, static_cast<std::size_t>(size), "done");
  return CMD_OK;
}
int verbFail(const char*, int, int, char*, int) { return CMD_WRONG_2ND; }
int tree(const char* path, int term, char* text, int size) {
  g_term = term;
  std::snprintf(text, static_cast<std::size_t>(size), "[%s]", path);
  return std::strcmp(path, "/msg/bad") == 0 ? CMD_WRONG_1ST : CMD_OK;
}

bool run(const char* body, int& rc, std::string& text) {
  Reply re;
  re.begin(nullptr, 0);
  bool taken = cmdRunHooked(body, static_cast<int>(std::strlen(body)), 7, re, rc);
  text.assign(re.text(), static_cast<std::size_t>(re.textLen()));
  return taken;
}

TEST(CmdHooks, VerbsAndTreesAreServedByTheirOwners) {
  ASSERT_TRUE(cmdRegisterVerb("em", verbA));
  ASSERT_TRUE(cmdRegisterVerb("dm", verbFail));
  EXPECT_FALSE(cmdRegisterVerb("em", verbFail));
  EXPECT_FALSE(cmdRegisterVerb(nullptr, verbFail));
  ASSERT_TRUE(cmdRegisterPrintTree("/msg", tree));
  int rc = -1;
  std::string text;
  ASSERT_TRUE(run("em,,zrt/{RT,ET}:1", rc, text));
  EXPECT_EQ(rc, CMD_OK);
  EXPECT_EQ(text, "done");
  EXPECT_EQ(g_seen, "em,,zrt/{RT,ET}:1");
  EXPECT_EQ(g_term, 7);
  ASSERT_TRUE(run("em", rc, text));
  ASSERT_TRUE(run("dm,,x", rc, text));
  EXPECT_EQ(rc, CMD_WRONG_2ND);
  EXPECT_FALSE(run("emx,,x", rc, text));
  EXPECT_FALSE(run("set,/par/x,1", rc, text));
  ASSERT_TRUE(run("print,/msg/dev/ser/a", rc, text));
  EXPECT_EQ(text, "[/msg/dev/ser/a]");
  ASSERT_TRUE(run("get, /msg ", rc, text));
  EXPECT_EQ(text, "[/msg]");
  ASSERT_TRUE(run("print,/msg/bad", rc, text));
  EXPECT_EQ(rc, CMD_WRONG_1ST);
  EXPECT_EQ(text, "");
  EXPECT_FALSE(run("print,/msgs", rc, text));
  EXPECT_FALSE(run("print,/par/rcv/id", rc, text));
  EXPECT_FALSE(run("print", rc, text));
}

}  // namespace
