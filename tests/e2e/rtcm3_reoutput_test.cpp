// A port in input mode rtcm3 re-sends every frame that passed its check to the output port the
// rover settings name, raw or wrapped for a stream: the bytes on that port are the frames as
// received (a frame with a broken check left out), and wrapped as the board simulator's own
// writer wraps them.
#include "e2e/harness.h"
#include "e2e/rtcm3_writer.h"
#include "unit/gnss_link/wrapped/wrapped_frames.h"

namespace e2e {
namespace {

using Rtcm3Reoutput = Rx;

TEST_F(Rtcm3Reoutput, CheckedFramesGoOutRawOrWrappedOnTheNamedPort) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm3"), re("%1%"));
  ASSERT_EQ(ask("%2%set,/par/rtcm3/rover/out/port,/dev/ser/c"), re("%2%"));
  ASSERT_EQ(ask("%3%set,/par/rtcm3/rover/out/wrap,-1"), re("%3%"));
  Port serB(dir_.file("dev/ser/b")), serC(dir_.file("dev/ser/c"));
  ASSERT_TRUE(serB.ok() && serC.ok());

  const std::string a = rtcm3w::msg1005(1234, 4045646.312, 713356.599, 4863018.851);
  const std::string b = rtcm3w::msg1005(77, 1.0, 2.0, 3.0);
  std::string broken = a;
  broken[broken.size() - 1] = static_cast<char>(broken.back() ^ 0x5A);  // its CRC no longer fits
  ASSERT_TRUE(serB.sendRaw(a + broken + b));
  EXPECT_TRUE(serC.fill([&](const std::string& h) { return h.size() >= a.size() + b.size(); }));
  EXPECT_EQ(serC.held, a + b);

  // Wrapped for stream 82 ('R'): one native message per frame.
  ASSERT_EQ(ask("%4%set,/par/rtcm3/rover/out/wrap,82"), re("%4%"));
  serC.held.clear();
  ASSERT_TRUE(serB.sendRaw(b));
  const std::string want = wraptest::wrap('R', b);
  EXPECT_TRUE(serC.fill([&](const std::string& h) { return h.size() >= want.size(); }));
  EXPECT_EQ(serC.held, want);

  // dev/null: nothing more goes out.
  ASSERT_EQ(ask("%5%set,/par/rtcm3/rover/out/port,/dev/null"), re("%5%"));
  serC.held.clear();
  ASSERT_TRUE(serB.sendRaw(a));
  EXPECT_EQ(ask("%6%print,/par/rtcm3/rover/out/port"), re("%6%/dev/null"));
  EXPECT_FALSE(serC.fill([](const std::string& h) { return !h.empty(); }, 1500));
}

}  // namespace
}  // namespace e2e
