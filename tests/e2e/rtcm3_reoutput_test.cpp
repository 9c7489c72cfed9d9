// The RTCM 3 decoder's re-output: with rtcm3/rover/out/port naming a port, every frame a port in
// mode rtcm3 takes whole (its CRC-24Q right) goes out there byte for byte, whatever its message;
// bytes between frames and a frame with a broken CRC do not. A station's text (4091, written here
// field by field) is among them. Set to /dev/null, the re-output stops.
#include <string>

#include "e2e/harness.h"
#include "e2e/rtcm3_writer.h"

namespace e2e {
namespace {

using Rtcm3Reoutput = Rx;

// 4091 of station `id`: subtype 100, a zero byte, the text with its 8-bit count.
std::string msg4091(int id, int subtype, const std::string& text) {
  return rtcm3w::Message(4091).u(static_cast<std::uint64_t>(id), 12).u(static_cast<std::uint64_t>(subtype), 8).u(0, 8).text(text, 8).frame();
}

TEST_F(Rtcm3Reoutput, WholeFramesGoOutOnTheChosenPortByteForByte) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/rtcm3/rover/out/port,/dev/ser/c"), re("%1%"));
  ASSERT_EQ(ask("%2%set,/par/dev/ser/b/imode,rtcm3"), re("%2%"));
  Port b(dir_.file("dev/ser/b")), c(dir_.file("dev/ser/c"));
  ASSERT_TRUE(b.ok() && c.ok());
  std::string broken = rtcm3w::msg1005(7, 4000000.0, 700000.0, 4900000.0);
  broken.back() = static_cast<char>(broken.back() ^ 1);
  const struct {
    std::string bytes;
    bool out;
  } rows[] = {
      {rtcm3w::msg1005(100, -2420188.34, 5385163.28, 2405199.91), true},
      {"noise\r\n", false},
      {msg4091(100, 100, "BASE 100 ON THE ROOF"), true},
      {broken, false},
      {msg4091(100, 7, "ANOTHER MAKER'S TEXT"), true},
      {rtcm3w::msg1005(101, 4000000.0, 700000.0, 4900000.0), true},
  };
  std::string want;
  for (const auto& r : rows)
    if (r.out) want += r.bytes;
  // By default each frame goes out wrapped as stream 82 ("R"): ">>", the body's length in three
  // hexadecimal digits, the stream id, the frame, two checksum characters.
  for (const auto& r : rows) ASSERT_TRUE(b.sendRaw(r.bytes));
  ASSERT_TRUE(waitUntil([&] { return ask("print,/par/pos/pd/ref/id") == re("101"); }));
  c.fill([](const std::string&) { return false; }, 500);
  std::string unwrapped;
  for (std::size_t at = 0; at + 6 <= c.held.size();) {
    ASSERT_EQ(c.held.compare(at, 2, ">>"), 0) << at;
    const std::size_t len = std::stoul(c.held.substr(at + 2, 3), nullptr, 16);
    ASSERT_EQ(c.held[at + 5], 'R');
    ASSERT_LE(at + 5 + len, c.held.size());
    unwrapped += c.held.substr(at + 6, len - 3);
    at += 5 + len;
  }
  EXPECT_TRUE(unwrapped == want) << unwrapped.size() << " bytes of " << want.size();
  // Unwrapped (out/wrap -1): the frames themselves.
  ASSERT_EQ(ask("%w%set,/par/rtcm3/rover/out/wrap,-1"), re("%w%"));
  c.held.clear();
  for (const auto& r : rows) ASSERT_TRUE(b.sendRaw(r.bytes));
  EXPECT_TRUE(c.fillOnProgress([&](const std::string& h) { return h.size() >= want.size(); })) << c.held.size();
  c.fill([](const std::string&) { return false; }, 500);
  EXPECT_TRUE(c.held == want) << c.held.size() << " bytes of " << want.size();

  ASSERT_EQ(ask("%3%set,/par/rtcm3/rover/out/port,/dev/null"), re("%3%"));
  c.held.clear();
  ASSERT_TRUE(b.sendRaw(rtcm3w::msg1005(102, -2420188.34, 5385163.28, 2405199.91)));
  ASSERT_TRUE(waitUntil([&] { return ask("print,/par/pos/pd/ref/id") == re("102"); }));
  c.fill([](const std::string&) { return false; }, 1000);
  EXPECT_TRUE(c.held.empty()) << c.held.size() << " bytes after the re-output was turned off";
}

}  // namespace
}  // namespace e2e
