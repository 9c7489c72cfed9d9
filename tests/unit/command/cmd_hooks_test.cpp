// Verbs served outside the parser's own grammar.
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

bool run(const char* body, int& rc, std::string& text) {
  Reply re;
  re.begin(nullptr, 0);
  bool taken = cmdRunHooked(body, static_cast<int>(std::strlen(body)), 7, re, rc);
  text.assign(re.text(), static_cast<std::size_t>(re.textLen()));
  return taken;
}

TEST(CmdHooks, VerbsAreServedByTheirOwners) {
  ASSERT_TRUE(cmdRegisterVerb("init", verbA));
  ASSERT_TRUE(cmdRegisterVerb("out", verbFail));
  EXPECT_FALSE(cmdRegisterVerb("init", verbFail));
  EXPECT_FALSE(cmdRegisterVerb(nullptr, verbFail));
  int rc = -1;
  std::string text;
  ASSERT_TRUE(run("init,/par/,{a,b}", rc, text));
  EXPECT_EQ(rc, CMD_OK);
  EXPECT_EQ(text, "done");
  EXPECT_EQ(g_seen, "init,/par/,{a,b}");
  EXPECT_EQ(g_term, 7);
  ASSERT_TRUE(run("init", rc, text));
  ASSERT_TRUE(run("out,,x", rc, text));
  EXPECT_EQ(rc, CMD_WRONG_2ND);
  EXPECT_FALSE(run("initx,,x", rc, text));
  EXPECT_FALSE(run("set,/par/x,1", rc, text));
  EXPECT_FALSE(run("print,/par/rcv/id", rc, text));
}

}  // namespace
