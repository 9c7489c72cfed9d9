// The board's task load as a reply and as a native message; the profiler reset to the board.
#include "gnss_link/slave_tasks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "unit/gnss_link/native_test_util.h"
#include "command/reply.h"
#include "output/zr_std_msg.h"

namespace {

std::string replyOf(bool reset) {
  Reply re;
  re.begin(nullptr, 0);
  printLoad(reset, "load", &re, nullptr);
  return std::string(re.text(), static_cast<std::size_t>(re.textLen()));
}

TEST(SlaveTasks, ReplyMessageAndReset) {
  FakeBoard link;
  SlaveTasks::startUpdate();
  SlaveTasks::endUpdate(0);
  EXPECT_EQ(replyOf(false), "");
  SlaveTasks::Entry* t = SlaveTasks::startUpdate();
  t[0] = {"MEAS", 1, {100, 200, 300}};
  t[1] = {"IDLE", 0, {5, 6, 7}};
  t[2] = {"NAV ", 12, {123456, 7, 8}};
  SlaveTasks::endUpdate(3);
  EXPECT_EQ(replyOf(false),
            "{{MEAS, 1,   100,   200,   300}, {IDLE, 0,     5,     6,     7}, {NAV ,12,123456,     7,     8}}");
  EXPECT_EQ(link.out.written, "");
  replyOf(true);
  profilerReset();
  EXPECT_EQ(link.out.written, "set,load,0\nset,load,0\n");
  // The message leaves out tasks without a number (IDLE): 13 bytes a task.
  char buf[256];
  ZRStdMsg msg(buf, sizeof buf, "TL");
  printLoad(false, "load", nullptr, &msg);
  ASSERT_EQ(msg.bodyLen(), 2 * 13);
  const char* b = buf + ZRStdMsg::kHeader;
  std::uint32_t c0 = 0;
  std::memcpy(&c0, b + 18, 4);
  EXPECT_EQ(std::string(b, 5) + std::string(b + 13, 4) + std::to_string(c0), "MEAS\x01NAV 123456");
}

}  // namespace
