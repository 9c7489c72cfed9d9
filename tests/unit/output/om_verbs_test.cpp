// "em", "dm" and the printed set as the command engine hands them over.
#include "output/om_verbs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "output/output_manager.h"

namespace {

constexpr int kTerm = 5;  // dev/ser/a

int run(int (*fn)(const char*, int, int, char*, int), const char* body, int term = kTerm) {
  char text[64];
  return fn(body, static_cast<int>(std::strlen(body)), term, text, sizeof text);
}

std::string printed(const char* path, int term = kTerm, int* rc = nullptr) {
  char text[256] = "";
  int r = omPrintMsgTree(path, term, text, sizeof text);
  if (rc) *rc = r;
  return text;
}

TEST(OmVerbs, EnableAndDisableOnPorts) {
  omInitOnce();
  struct Case {
    int (*fn)(const char*, int, int, char*, int);
    const char* body;
    int rc;
    const char* serA;  // set of dev/ser/a afterwards
    const char* serB;
  };
  const std::vector<Case> cases = {
      {omVerbEm, "em,,zrt/{RT,ET}:1", 0, "{zrt={RT=1,ET=1}}", "{}"},
      {omVerbEm, "em,/dev/ser/b,zrt/RT:0", 0, "{zrt={RT=1,ET=1}}", "{zrt={RT=0}}"},
      {omVerbEm, "em, dev/ser/b ,zrt/{ET:2}", 0, "{zrt={RT=1,ET=1}}", "{zrt={RT=0,ET=2}}"},
      {omVerbDm, "dm,/dev/ser/b,zrt/RT", 0, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {omVerbEm, "em,/dev/ser/x,zrt/RT", 3, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {omVerbEm, "em,/dev/null,zrt/RT", 3, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {omVerbEm, "em,,zrt/XX", 7, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {omVerbEm, "em,,", 6, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {omVerbEm, "em", 6, "{zrt={RT=1,ET=1}}", "{zrt={ET=2}}"},
      {omVerbDm, "dm,,zrt/{RT}", 0, "{zrt={ET=1}}", "{zrt={ET=2}}"},
      {omVerbDm, "dm,/cur/term", 0, "{}", "{zrt={ET=2}}"},
      {omVerbDm, "dm,/dev/ser/b", 0, "{}", "{}"},
      {omVerbEm, "em,,/msg/zrt/ET", 0, "{zrt={ET=1}}", "{}"},
      {omVerbDm, "dm", 0, "{}", "{}"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(run(c.fn, c.body), c.rc) << c.body;
    EXPECT_EQ(printed("/msg/dev/ser/a"), c.serA) << c.body;
    EXPECT_EQ(printed("/msg/dev/ser/b"), c.serB) << c.body;
  }
  // No current terminal: only named ports can be meant.
  EXPECT_EQ(run(omVerbEm, "em,,zrt/RT", 43), 3);
}

TEST(OmVerbs, PrintedTree) {
  omInitOnce();
  ASSERT_EQ(run(omVerbEm, "em,/dev/usb/a,zrt/{RT,ET}:0.5"), 0);
  int rc = -1;
  EXPECT_EQ(printed("/msg", 40, &rc), "{zrt={RT=0.5,ET=0.5}}");
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(printed("/msg/cur/term", 40), "{zrt={RT=0.5,ET=0.5}}");
  EXPECT_EQ(printed("/msg/dev/usb/a"), "{zrt={RT=0.5,ET=0.5}}");
  printed("/msg/dev/none", kTerm, &rc);
  EXPECT_EQ(rc, 3);
  printed("/msgs", kTerm, &rc);
  EXPECT_EQ(rc, 3);
}

}  // namespace
