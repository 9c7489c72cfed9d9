// Frames of the native writer against vectors computed outside this code base (Python's
// binascii.crc_hqx for the CRC-16, the rotate-and-XOR by hand) and against the texts the
// GNSS board link fixes.
#include "output/zr_std_msg.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fake_port.h"

namespace {

std::string bytesOf(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}

struct Vector {
  const char* name;
  ZrCheck check;
  const char* term;
  std::string expected;
};

TEST(ZRStdMsg, EveryChecksumVariant) {
  const std::string body = bytesOf({0x01, 0x02, 0x03}) + "hello";
  const std::vector<Vector> vectors = {
      {"none", ZrCheck::kNone, nullptr,
       bytesOf({0x41, 0x42, 0x30, 0x30, 0x38, 0x01, 0x02, 0x03, 0x68, 0x65, 0x6c, 0x6c, 0x6f})},
      {"cs8", ZrCheck::kCs8, nullptr,
       bytesOf({0x41, 0x42, 0x30, 0x30, 0x39, 0x01, 0x02, 0x03, 0x68, 0x65, 0x6c, 0x6c, 0x6f, 0xb9})},
      {"cs8 hex", ZrCheck::kCs8Hex, nullptr,
       bytesOf({0x41, 0x42, 0x30, 0x30, 0x41, 0x01, 0x02, 0x03, 0x68, 0x65, 0x6c, 0x6c, 0x6f, 0x35,
                0x38})},
      {"crc16", ZrCheck::kCrc16, nullptr,
       bytesOf({0x41, 0x42, 0x30, 0x30, 0x41, 0x01, 0x02, 0x03, 0x68, 0x65, 0x6c, 0x6c, 0x6f, 0x08,
                0x8d})},
      {"crc16 hex", ZrCheck::kCrc16Hex, nullptr,
       bytesOf({0x41, 0x42, 0x30, 0x30, 0x43, 0x01, 0x02, 0x03, 0x68, 0x65, 0x6c, 0x6c, 0x6f, 0x43,
                0x45, 0x45, 0x41})},
      {"cs8 hex, CR LF", ZrCheck::kCs8Hex, "\r\n",
       bytesOf({0x41, 0x42, 0x30, 0x30, 0x41, 0x01, 0x02, 0x03, 0x68, 0x65, 0x6c, 0x6c, 0x6f, 0x35,
                0x38, 0x0d, 0x0a})},
  };
  for (const auto& v : vectors) {
    char buf[64];
    ZRStdMsg m(buf, sizeof buf, "AB", v.check, v.term);
    ASSERT_TRUE(m.put(body.data(), static_cast<int>(body.size()))) << v.name;
    int n = m.finish();
    ASSERT_EQ(n, static_cast<int>(v.expected.size())) << v.name;
    EXPECT_EQ(std::string(m.data(), n), v.expected) << v.name;
    FakePort port;
    EXPECT_EQ(m.write(port), n) << v.name;
    EXPECT_EQ(port.bytes, v.expected) << v.name;
    EXPECT_EQ(port.maxTimeout, 0) << v.name;
  }
}

TEST(ZRStdMsg, EpochMarkerVectors) {
  struct {
    const char* id;
    std::string expected;
  } cases[] = {
      {"~~", bytesOf({0x7e, 0x7e, 0x30, 0x30, 0x35, 0x00, 0x2e, 0x93, 0x02, 0xe6})},
      {"::", bytesOf({0x3a, 0x3a, 0x30, 0x30, 0x35, 0x00, 0x2e, 0x93, 0x02, 0xb3})},
  };
  for (const auto& c : cases) {
    char buf[16];
    ZRStdMsg m(buf, sizeof buf, c.id);
    ASSERT_TRUE(m.put(static_cast<std::uint32_t>(43200000)));
    ASSERT_EQ(m.finish(), 10);
    EXPECT_EQ(std::string(m.data(), 10), c.expected) << c.id;
  }
}

TEST(ZRStdMsg, ReplyTextsOfTheBoardLink) {
  // Replies carry no checksum and end with CR LF outside the length.
  const char* bodies[] = {"%CON%", "%SYN%", "%CMD%"};
  const char* expected[] = {"RE005%CON%\r\n", "RE005%SYN%\r\n", "RE005%CMD%\r\n"};
  for (int i = 0; i < 3; ++i) {
    char buf[32];
    ZRStdMsg m(buf, sizeof buf, "RE", ZrCheck::kNone, "\r\n");
    m.putStr(bodies[i]);
    int n = m.finish();
    EXPECT_EQ(std::string(m.data(), n), expected[i]);
  }
}

TEST(ZRStdMsg, CrcCheckValueAndWholeFrameResidue) {
  EXPECT_EQ(zrCrc16("123456789", 9), 0x31C3);  // published check value of this CRC
  char buf[32];
  ZRStdMsg m(buf, sizeof buf, "XY", ZrCheck::kCrc16);
  m.putStr("residue");
  int n = m.finish();
  EXPECT_EQ(zrCrc16(m.data(), n), 0);
}

TEST(ZRStdMsg, LengthLimitsAreNeverExceeded) {
  static char big[5000];
  ZRStdMsg m(big, sizeof big, "LL", ZrCheck::kCs8);
  std::string body(0xFFE, 'x');
  ASSERT_TRUE(m.put(body.data(), static_cast<int>(body.size())));
  int n = m.finish();
  ASSERT_EQ(n, 5 + 0xFFF);
  EXPECT_EQ(std::string(big + 2, 3), "FFF");
  // One more byte would need a length of four digits: refused, and nothing is written.
  EXPECT_FALSE(m.put8('y'));
  EXPECT_TRUE(m.overflow());
  FakePort port;
  EXPECT_EQ(m.write(port), -1);
  EXPECT_EQ(port.calls, 0);

  char small[12];
  ZRStdMsg s(small, sizeof small, "SS", ZrCheck::kCs8Hex, "\r\n");
  // 12 bytes hold the header, 3 body bytes, two checksum characters and CR LF.
  EXPECT_EQ(s.room(), 3);
  EXPECT_TRUE(s.putStr("abc"));
  EXPECT_FALSE(s.put8('d'));
  EXPECT_EQ(s.finish(), -1);
  s.reset();
  EXPECT_TRUE(s.putStr("abc"));
  EXPECT_EQ(s.finish(), 12);

  char tiny[3];
  ZRStdMsg t(tiny, sizeof tiny, "TT");
  EXPECT_FALSE(t.put8(1));
  EXPECT_EQ(t.finish(), -1);
}

// A buffer that holds the header but not the checksum and terminator behind it: the frame
// cannot be formed, and not one byte past the buffer may be written.
TEST(ZRStdMsg, BufferTooSmallForTheTrailerIsNeverOverrun) {
  struct Case {
    ZrCheck check;
    const char* term;
    int size;  // one byte short of an empty frame
  };
  const Case cases[] = {
      {ZrCheck::kCs8, nullptr, 5},      {ZrCheck::kCs8Hex, nullptr, 6},
      {ZrCheck::kCrc16, nullptr, 6},    {ZrCheck::kCrc16Hex, nullptr, 8},
      {ZrCheck::kNone, "\r\n", 6},      {ZrCheck::kCs8Hex, "\r\n", 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    char area[16];
    std::memset(area, '#', sizeof area);
    ZRStdMsg m(area, c.size, "SZ", c.check, c.term);
    EXPECT_EQ(m.room(), 0);
    EXPECT_EQ(m.finish(), -1);
    FakePort port;
    EXPECT_EQ(m.write(port), -1);
    EXPECT_EQ(port.calls, 0);
    for (int i = c.size; i < static_cast<int>(sizeof area); ++i) EXPECT_EQ(area[i], '#') << i;
    // One byte more is exactly an empty frame.
    ZRStdMsg fits(area, c.size + 1, "SZ", c.check, c.term);
    EXPECT_EQ(fits.finish(), c.size + 1);
  }
}

TEST(ZRStdMsg, SeekAndForeignMode) {
  char buf[32];
  ZRStdMsg m(buf, sizeof buf, "AB", ZrCheck::kNone);
  // A coder builds in place at ptr() and the writer advances over its bytes.
  std::memcpy(m.ptr(), "xyz", 3);
  ASSERT_TRUE(m.seekRel(3));
  EXPECT_FALSE(m.seekRel(-4));  // not into the header
  EXPECT_FALSE(m.seekRel(m.room() + 1));
  int n = m.finish();
  EXPECT_EQ(std::string(m.data(), n), "AB003xyz");

  m.foreign();
  std::memcpy(m.ptr(), "\xd3\x00\x01Q", 4);
  ASSERT_TRUE(m.seekRel(4));
  n = m.finish();
  EXPECT_EQ(std::string(m.data(), n), std::string("\xd3\x00\x01Q", 4));
  EXPECT_EQ(m.room(), 28);

  // reset() returns to framed mode with the same id.
  m.reset();
  m.putStr("k");
  n = m.finish();
  EXPECT_EQ(std::string(m.data(), n), "AB001k");
}

TEST(ZRStdMsg, PutsLittleEndianWords) {
  char buf[32];
  ZRStdMsg m(buf, sizeof buf, "W4", ZrCheck::kNone);
  m.put(static_cast<std::uint32_t>(0x11223344));
  m.put16(0xA1B2);
  int n = m.finish();
  EXPECT_EQ(std::string(m.data(), n), bytesOf({'W', '4', '0', '0', '6', 0x44, 0x33, 0x22, 0x11, 0xB2, 0xA1}));
}

}  // namespace
