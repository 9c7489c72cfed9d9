// Frames of the native writer against vectors computed outside this code base (the
// rotate-and-XOR by hand) and the texts the board link fixes.
#include "output/zr_std_msg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "output_fakes.h"

namespace {

TEST(ZRStdMsg, FramesOfEveryChecksumVariant) {
  const std::string body("\x01\x02\x03hello", 8);
  const std::string t("\x00\x2e\x93\x02", 4);  // 43200000 ms
  const struct { const char* id; ZrCheck check; const char* term; std::string body, expected; } rows[] = {
      {"AB", ZrCheck::kNone, nullptr, body, "AB008" + body},
      {"AB", ZrCheck::kCs8, nullptr, body, "AB009" + body + "\xb9"},
      {"AB", ZrCheck::kCs8Hex, nullptr, body, "AB00A" + body + "58"},
      {"AB", ZrCheck::kCs8Hex, "\r\n", body, "AB00A" + body + "58\r\n"},
      {"~~", ZrCheck::kCs8, nullptr, t, "~~005" + t + "\xe6"},
      {"::", ZrCheck::kCs8, nullptr, t, "::005" + t + "\xb3"},
      {"RE", ZrCheck::kNone, "\r\n", "%CON%", "RE005%CON%\r\n"},  // a reply: CR LF outside the length
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.expected);
    char buf[64];
    ZRStdMsg m(buf, sizeof buf, r.id, r.check, r.term);
    ASSERT_TRUE(m.put(r.body.data(), static_cast<int>(r.body.size())));
    FakePort port;
    EXPECT_EQ(m.write(port), static_cast<int>(r.expected.size()));
    EXPECT_EQ(port.bytes, r.expected);
    EXPECT_EQ(port.maxTimeout, 0);
  }
}

TEST(ZRStdMsg, LengthLimitsAreNeverExceeded) {
  static char big[5000];
  ZRStdMsg m(big, sizeof big, "LL", ZrCheck::kCs8);
  const std::string body(0xFFE, 'x');
  ASSERT_TRUE(m.put(body.data(), static_cast<int>(body.size())));
  ASSERT_EQ(m.finish(), 5 + 0xFFF);
  EXPECT_EQ(std::string(big + 2, 3), "FFF");
  // One more byte would need a length of four digits: refused, and nothing is written.
  EXPECT_FALSE(m.put8('y'));
  FakePort port;
  EXPECT_EQ(m.write(port), -1);
  EXPECT_EQ(port.calls, 0);
}

// Buffers around the size of an empty frame: the body never takes the room of the checksum and
// terminator, a buffer one byte short forms no frame, and nothing is written past the buffer.
TEST(ZRStdMsg, SmallBuffersAreNeverOverrun) {
  const struct { ZrCheck check; const char* term; int trailer; } rows[] = {
      {ZrCheck::kNone, nullptr, 0},     {ZrCheck::kCs8, nullptr, 1},  {ZrCheck::kCs8Hex, nullptr, 2},
      {ZrCheck::kNone, "\r\n", 2},
      {ZrCheck::kCs8Hex, "\r\n", 4}};
  const char fill[24] = "bbbbbbbbbbbbbbbbbbbbbbb";
  for (const auto& r : rows) {
    const int empty = ZRStdMsg::kHeader + r.trailer;
    for (int size : {3, empty - 1, empty, empty + 3}) {
      SCOPED_TRACE(std::to_string(static_cast<int>(r.check)) + " size " + std::to_string(size));
      char area[24];
      std::memset(area, '#', sizeof area);
      ZRStdMsg m(area, size, "SZ", r.check, r.term);
      const int room = std::max(0, size - empty);
      if (size >= ZRStdMsg::kHeader) {
        EXPECT_EQ(m.room(), room);
      }
      EXPECT_FALSE(m.put(fill, room + 1));
      EXPECT_EQ(m.finish(), -1);
      FakePort port;
      EXPECT_EQ(m.write(port), -1);
      EXPECT_EQ(port.calls, 0);
      m.reset();
      EXPECT_EQ(m.put(fill, room), size >= empty);
      EXPECT_EQ(m.finish(), size >= empty ? size : -1);
      for (int i = size; i < static_cast<int>(sizeof area); ++i) EXPECT_EQ(area[i], '#') << i;
    }
  }
}

}  // namespace
