#include "output/msg_pool.h"

#include <gtest/gtest.h>

#include <string>

#include "output/msg_set.h"
#include "test_msgs.h"

namespace {

TEST(MsgPool, RefusesThe451stMessage) {
  static TestMsg msg;
  MsgPool pool;
  for (int i = 0; i < MsgPool::kMaxMsgs; ++i) {
    std::string name = "m" + std::to_string(i);
    ASSERT_TRUE(MsgPool::add(pool, i % MsgPool::kGroups, name.c_str(), &msg, nullptr)) << i;
  }
  EXPECT_EQ(pool.size(), 450);
  EXPECT_FALSE(MsgPool::add(pool, 0, "extra", &msg, nullptr));
  EXPECT_EQ(pool.size(), 450);
  EXPECT_EQ(pool.find(0, "extra"), -1);
}

TEST(MsgPool, RefusesWhatCannotBeNamedOrFound) {
  static TestMsg msg;
  MsgPool pool;
  struct {
    int group;
    const char* name;
    OutMsg* m;
  } bad[] = {
      {7, "x", &msg},         {-1, "x", &msg},        {0, "", &msg},
      {0, nullptr, &msg},     {0, "toolong99", &msg}, {0, "a:b", &msg},
      {0, "a,b", &msg},       {0, "{a}", &msg},       {0, "a/b", &msg},
      {0, "x", nullptr},
  };
  for (const auto& b : bad) EXPECT_FALSE(MsgPool::add(pool, b.group, b.name, b.m, nullptr));
  EXPECT_TRUE(MsgPool::add(pool, 0, "RT", &msg, nullptr));
  EXPECT_FALSE(MsgPool::add(pool, 0, "RT", &msg, nullptr));  // taken in its group
  EXPECT_TRUE(MsgPool::add(pool, 1, "RT", &msg, nullptr));   // free in another
  EXPECT_TRUE(MsgPool::add(pool, 0, "12345678", &msg, nullptr));
}

TEST(MsgPool, GroupsKeepTheirFirstIndexAndOrder) {
  static TestMsg msg;
  MsgPool pool;
  EXPECT_STREQ(MsgPool::groupName(kGroupRtcm3), "rtcm3");
  EXPECT_EQ(MsgPool::findGroup("rtcm3"), 6);
  EXPECT_EQ(MsgPool::findGroup("zrt"), 0);
  EXPECT_EQ(MsgPool::findGroup("rtcm"), 2);
  EXPECT_EQ(MsgPool::findGroup("rtc"), -1);
  ASSERT_TRUE(MsgPool::add(pool, 0, "a", &msg, nullptr));
  ASSERT_TRUE(MsgPool::add(pool, 6, "1001", &msg, &msgPeriod10));
  ASSERT_TRUE(MsgPool::add(pool, 0, "b", &msg, nullptr));
  ASSERT_TRUE(MsgPool::add(pool, 6, "1019", &msg, &defChange));
  EXPECT_EQ(pool.first(6), 1);
  EXPECT_EQ(pool.next(1), 3);
  EXPECT_EQ(pool.next(3), -1);
  EXPECT_EQ(pool.first(0), 0);
  EXPECT_EQ(pool.next(0), 2);
  EXPECT_EQ(pool.first(3), -1);
  EXPECT_EQ(pool.defParams(1).period, 10000);
  EXPECT_EQ(pool.defParams(3).period, 0);
  EXPECT_EQ(pool.defParams(3).flags, 2);
  EXPECT_EQ(pool.defParams(0).period, 0);
}

TEST(MsgSchedParams, DefaultSchedulesReadAndWritten) {
  EXPECT_EQ(dsGetParams(msgPeriod10)[0], 10000);
  EXPECT_EQ(dsGetParams(defChange)[0], 0);
  EXPECT_EQ(dsGetParams(defChange)[3], 2);
  MsgSchedParams s{};
  const std::int32_t words[4] = {5000, 250, 3, 2};
  dsSetParams(s, words);
  EXPECT_EQ(s.period, 5000);
  EXPECT_EQ(s.phase, 250);
  EXPECT_EQ(s.count, 3);
  EXPECT_EQ(s.flags, 2);
}

TEST(MsgSet, GroupIteratorShowsEnableStateAndPoolIndex) {
  static TestMsg msg;
  msgPool.clear();
  ASSERT_TRUE(MsgPool::add(msgPool, 6, "1001", &msg, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, 0, "x", &msg, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, 6, "1002", &msg, nullptr));
  MsgSet set;
  EXPECT_TRUE(set.empty());
  set.enable(2, MsgSchedParams{1000, 0, 0, 0});
  EXPECT_FALSE(set.enable(MsgPool::kMaxMsgs, MsgSchedParams{}));
  MsgSet::GroupIter it = set.group(6);
  ASSERT_TRUE(it.next());
  EXPECT_EQ(it.poolIndex(), 0);
  EXPECT_FALSE(it.enabled());
  ASSERT_TRUE(it.next());
  EXPECT_EQ(it.poolIndex(), 2);
  EXPECT_TRUE(it.enabled());
  EXPECT_FALSE(it.next());
  EXPECT_EQ(set.count(), 1);
  EXPECT_TRUE(set.disable(2));
  EXPECT_FALSE(set.disable(2));
  EXPECT_TRUE(set.empty());
}

}  // namespace
