#include "differential/received_stores.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

std::vector<std::string> held(const TextMessage& t) {
  TextMessage::Entry e[2];
  const int n = t.getMessages(e);
  std::vector<std::string> v;
  for (int i = 0; i < n; ++i) v.emplace_back(e[i].text);
  return v;
}

// Texts keep 128 characters (a terminator inside ends them), the store the last two; its
// counter wraps after 31999.
TEST(TextMessage, KeepsTheLastTwoOf128CharactersAndCounts) {
  TextMessage t;
  const std::string a(128, 'a'), b(128, 'b');
  struct Step { std::string text; std::vector<std::string> held; };
  const Step steps[] = {
      {std::string(200, 'a'), {a}}, {b, {a, b}}, {std::string("abc\0def", 7), {b, "abc"}}, {"two", {"abc", "two"}}};
  for (const Step& s : steps) {
    t.putMessage(s.text.data(), static_cast<int>(s.text.size()), 3, 17, TextMessage::kRtcm3VendorText);
    EXPECT_EQ(held(t), s.held) << s.text.size();
  }
  TextMessage::Entry e[2];
  ASSERT_EQ(t.getMessages(e), 2);
  EXPECT_EQ(std::tuple(e[1].port, e[1].id, e[1].type), std::tuple(3, 17, TextMessage::kRtcm3VendorText));
  TextMessage::Contents c;
  t.get(c);
  EXPECT_EQ(std::tuple(c.count, c.counter), std::tuple(2, 4));
  t.reset();
  t.get(c);
  EXPECT_EQ(std::tuple(held(t).size(), c.counter), std::tuple(0u, 0));
  for (int i = 1; i <= 32001; ++i) {
    t.putMessage("x", 1, 0, 0, TextMessage::kRtcmText);
    t.get(c);
    ASSERT_EQ(c.counter, i % 32000) << i;
  }
}

ReferencePos::REFPOS_PAR pos(double x, const char* name) {
  ReferencePos::REFPOS_PAR p{};
  p.x = x, p.y = -x, p.z = 3;
  std::strncpy(p.name, name, sizeof p.name - 1);
  return p;
}

ReferencePos::ANT_PAR ant(float h) {
  ReferencePos::ANT_PAR a{};
  a.offsets[2] = h, a.offsets[5] = 9, a.flags[0] = 1;
  return a;
}

TEST(RefParMessage, ChangesOnlyOnARealChange) {
  RefParMessage r;
  RefParMessage::REFANT got;
  EXPECT_FALSE(r.getPar(got));
  struct Step { double x; const char* name; float height; int changes; };
  // First a change from nothing, the same again, then antenna height, position and name changed.
  const Step steps[] = {
      {1, "BASE", 1.5f, 1}, {1, "BASE", 1.5f, 1}, {1, "BASE", 1.6f, 2}, {2, "BASE", 1.6f, 3}, {2, "BAS2", 1.6f, 4}};
  for (const Step& s : steps) {
    r.putPar(pos(s.x, s.name), ant(s.height));
    EXPECT_EQ(r.getChanges(), s.changes) << s.x << s.name << s.height;
    ASSERT_TRUE(r.getPar(got));
    EXPECT_EQ(std::tuple(got.pos.x, got.ant.offsets[2]), std::tuple(s.x, s.height));
  }
  r.invalidate();
  EXPECT_FALSE(r.getPar(got));
  // Positions kept, antenna values forgotten.
  EXPECT_EQ(std::tuple(got.pos.x, got.ant.offsets[2], got.ant.offsets[5], got.ant.flags[0]), std::tuple(2.0, 0.0f, 0.0f, 0));
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
  for (int i = 1; i < 50000; ++i) r.putPar(pos(i, "S"), ant(static_cast<float>(i)));
  stop = true;
  reader.join();
  EXPECT_EQ(torn.load(), 0);
}

}  // namespace
