#include "differential/received_stores.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

namespace {

TEST(TextMessage, KeepsTheFirst128Characters) {
  TextMessage t;
  const std::string longText(200, 'a');
  t.putMessage(longText.c_str(), 200, 3, 17, TextMessage::kRtcm3VendorText);
  TextMessage::Entry e[2];
  ASSERT_EQ(t.getMessages(e), 1);
  EXPECT_EQ(std::string(e[0].text), std::string(128, 'a'));
  EXPECT_EQ(e[0].port, 3);
  EXPECT_EQ(e[0].id, 17);
  EXPECT_EQ(e[0].type, TextMessage::kRtcm3VendorText);
  // Exactly 128 is kept whole with its terminator.
  t.putMessage(std::string(128, 'b').c_str(), 128, 3, 17, TextMessage::kRtcmText);
  ASSERT_EQ(t.getMessages(e), 2);
  EXPECT_EQ(std::strlen(e[1].text), 128u);
  // A terminator inside the length ends the text.
  t.putMessage("abc\0def", 7, 0, 0, TextMessage::kRtcmText);
  ASSERT_EQ(t.getMessages(e), 2);
  EXPECT_STREQ(e[1].text, "abc");
}

TEST(TextMessage, HoldsTheLastTwoAndCounts) {
  TextMessage t;
  const char* texts[] = {"one", "two", "three"};
  for (const char* s : texts) t.putMessage(s, static_cast<int>(std::strlen(s)), 1, 2, TextMessage::kRtcmText);
  TextMessage::Contents c;
  t.get(c);
  EXPECT_EQ(c.count, 2);
  EXPECT_EQ(c.counter, 3);
  TextMessage::Entry e[2];
  ASSERT_EQ(t.getMessages(e), 2);
  EXPECT_STREQ(e[0].text, "two");
  EXPECT_STREQ(e[1].text, "three");
  t.reset();
  EXPECT_EQ(t.getMessages(e), 0);
  t.get(c);
  EXPECT_EQ(c.counter, 0);
}

TEST(TextMessage, CounterWrapsAfter31999) {
  TextMessage t;
  for (int i = 0; i < 32000; ++i) t.putMessage("x", 1, 0, 0, TextMessage::kRtcmText);
  TextMessage::Contents c;
  t.get(c);
  EXPECT_EQ(c.counter, 0);
  t.putMessage("x", 1, 0, 0, TextMessage::kRtcmText);
  t.get(c);
  EXPECT_EQ(c.counter, 1);
}

ReferencePos::REFPOS_PAR pos(double x, const char* name) {
  ReferencePos::REFPOS_PAR p{};
  p.x = x;
  p.y = -2;
  p.z = 3;
  std::strncpy(p.name, name, sizeof p.name - 1);
  return p;
}

ReferencePos::ANT_PAR ant(float h) {
  ReferencePos::ANT_PAR a{};
  a.offsets[2] = h;
  a.offsets[5] = 9;
  a.flags[0] = 1;
  return a;
}

TEST(RefParMessage, ChangesOnlyOnARealChange) {
  RefParMessage r;
  RefParMessage::REFANT got;
  EXPECT_FALSE(r.getPar(got));
  struct Step {
    double x;
    const char* name;
    float height;
    int changes;
  };
  const Step steps[] = {
      {1, "BASE", 1.5f, 1},  // first: a change from nothing
      {1, "BASE", 1.5f, 1},  // the same position again
      {1, "BASE", 1.6f, 2},  // antenna height changed
      {2, "BASE", 1.6f, 3},  // position changed
      {2, "BAS2", 1.6f, 4},  // name changed
  };
  for (const Step& s : steps) {
    r.putPar(pos(s.x, s.name), ant(s.height));
    EXPECT_EQ(r.getChanges(), s.changes) << s.x << s.name << s.height;
    ASSERT_TRUE(r.getPar(got));
    EXPECT_EQ(got.pos.x, s.x);
    EXPECT_FLOAT_EQ(got.ant.offsets[2], s.height);
  }
  r.invalidate();
  EXPECT_FALSE(r.getPar(got));
  EXPECT_EQ(got.pos.x, 2);  // positions kept
  EXPECT_EQ(got.ant.offsets[2], 0.0f);
  EXPECT_EQ(got.ant.offsets[5], 0.0f);
  EXPECT_EQ(got.ant.flags[0], 0);
  // After invalidation the same values count as a change again.
  r.putPar(pos(2, "BAS2"), ant(1.6f));
  EXPECT_EQ(r.getChanges(), 5);
}

TEST(RefParMessage, ReadersSeeWholeRecords) {
  RefParMessage r;
  std::atomic<bool> stop{false};
  std::atomic<long> torn{0};
  std::thread reader([&] {
    while (!stop.load()) {
      RefParMessage::REFANT g;
      if (r.getPar(g) && (g.pos.y != -g.pos.x || g.ant.offsets[2] != static_cast<float>(g.pos.x))) ++torn;
    }
  });
  for (int i = 1; i < 50000; ++i) {
    ReferencePos::REFPOS_PAR p = pos(i, "S");
    p.y = -i;
    r.putPar(p, ant(static_cast<float>(i)));
  }
  stop = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
