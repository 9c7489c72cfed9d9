#include "gnss_link/slave_tasks.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "output/zr_std_msg.h"

namespace {

TEST(SlaveTasks, MessageLeavesOutTasksWithoutANumber) {
  SlaveTasks::Entry* t = SlaveTasks::startUpdate();
  t[0] = {"MEAS", 1, {100, 200, 300}};
  t[1] = {"IDLE", 0, {5, 6, 7}};
  t[2] = {"NAV ", 12, {123456, 7, 8}};
  SlaveTasks::endUpdate(3);
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
