#include "platform/debug.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string g_out;

TEST(DebPrintfx, CategoryMaskDecides) {
  debSetSink([](const char* text, int len) { g_out.append(text, static_cast<std::size_t>(len)); });
  struct Case {
    std::uint32_t mask;
    int category;
    bool prints;
  };
  const Case cases[] = {
      {0, -1, true},           {0, 0, false},          {1u, 0, true},        {1u << 31, 31, true},
      {0xFFFFFFFFu, 32, false}, {0xFFFFFFFFu, -2, false}, {0x10, 4, true},     {0x10, 5, false},
  };
  for (const Case& c : cases) {
    g_out.clear();
    debMask = c.mask;
    debPrintfx(c.category, "x%d", 7);
    EXPECT_EQ(g_out, c.prints ? "x7" : "") << c.mask << " " << c.category;
  }
}

TEST(DebPrintfx, LongLinesAreCutNotOverrun) {
  debSetSink([](const char* text, int len) { g_out.assign(text, static_cast<std::size_t>(len)); });
  const std::string big(2000, 'a');
  debPrintfx(-1, "%s", big.c_str());
  EXPECT_EQ(g_out.size(), 511u);
}

}  // namespace
