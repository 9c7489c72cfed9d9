// The board's task load as a reply and as a native message; the profiler reset to the board.
#include "gnss_link/slave_tasks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "board_fake_link.h"
#include "command/reply.h"
#include "output/zr_std_msg.h"

namespace {

void fill() {
  SlaveTasks::Entry* t = SlaveTasks::startUpdate();
  const SlaveTasks::Entry e[3] = {
      {"MEAS", 1, {100, 200, 300}}, {"IDLE", 0, {5, 6, 7}}, {"NAV ", 12, {123456, 7, 8}}};
  for (int i = 0; i < 3; ++i) t[i] = e[i];
  SlaveTasks::endUpdate(3);
}

TEST(SlaveTasks, ReplyFormatAndReset) {
  FakeBoard link;
  fill();
  Reply re;
  re.begin(nullptr, 0);
  printLoad(false, "load", &re, nullptr);
  EXPECT_EQ(std::string(re.text(), static_cast<std::size_t>(re.textLen())),
            "{{MEAS, 1,   100,   200,   300}, {IDLE, 0,     5,     6,     7}, {NAV ,12,123456,     7,     8}}");
  EXPECT_EQ(link.out.written, "");
  re.begin(nullptr, 0);
  printLoad(true, "load", &re, nullptr);
  EXPECT_EQ(link.out.written, "set,load,0\n");
  profilerReset();
  EXPECT_EQ(link.out.written, "set,load,0\nset,load,0\n");
}

TEST(SlaveTasks, EmptyTableRepliesNothing) {
  SlaveTasks::startUpdate();
  SlaveTasks::endUpdate(0);
  Reply re;
  re.begin(nullptr, 0);
  printLoad(false, "load", &re, nullptr);
  EXPECT_EQ(re.textLen(), 0);
}

TEST(SlaveTasks, MessagePacksTasksWithANumber) {
  fill();
  char buf[256];
  ZRStdMsg msg(buf, sizeof buf, "TL");
  printLoad(false, "load", nullptr, &msg);
  ASSERT_EQ(msg.bodyLen(), 2 * 13);  // IDLE (number 0) is left out
  const char* b = buf + ZRStdMsg::kHeader;
  EXPECT_EQ(std::string(b, 4), "MEAS");
  EXPECT_EQ(b[4], 1);
  EXPECT_EQ(std::string(b + 13, 4), "NAV ");
  std::uint32_t c0;
  std::memcpy(&c0, b + 18, 4);
  EXPECT_EQ(c0, 123456u);
}

}  // namespace
