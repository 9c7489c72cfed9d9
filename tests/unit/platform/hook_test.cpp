#include "platform/hook.h"

#include <gtest/gtest.h>

namespace {
int twice(int v) { return 2 * v; }
int calls = 0;
void bump(int v) { calls += v; }
void bumpMore(int v) { calls += 10 * v; }
void bumpLots(int v) { calls += 100 * v; }

Hook<int(int)> valueHook("test", "value", -1);
Hook<void(int)> voidHook("test", "void");
HookList<void(int), 2> listHook("test", "list");

TEST(Hook, EmptyGivesItsDeclaredValueFilledCallsAndTheRegistrySeesBoth) {
  EXPECT_EQ(valueHook(5), -1);
  voidHook(5);
  EXPECT_EQ(calls, 0);
  const HookInfo* v = hookFind("test", "value");
  ASSERT_NE(v, nullptr);
  EXPECT_FALSE(v->filled(v->self));
  valueHook = twice;
  voidHook = bump;
  EXPECT_EQ(valueHook(5), 10);
  voidHook(3);
  EXPECT_EQ(calls, 3);
  EXPECT_TRUE(v->filled(v->self));
  EXPECT_EQ(hookFind("test", "nothing"), nullptr);
}

TEST(Hook, ListRunsInOrderAndRefusesDuplicatesAndOverflow) {
  calls = 0;
  const HookInfo* l = hookFind("test", "list");
  ASSERT_NE(l, nullptr);
  EXPECT_FALSE(l->filled(l->self));
  EXPECT_TRUE(listHook.add(bump));
  EXPECT_FALSE(listHook.add(bump));
  EXPECT_TRUE(listHook.add(bumpMore));
  EXPECT_FALSE(listHook.add(bumpLots));
  EXPECT_EQ(listHook.size(), 2);
  listHook(1);
  EXPECT_EQ(calls, 11);
  EXPECT_TRUE(l->filled(l->self));
}
}  // namespace
