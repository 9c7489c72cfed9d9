// The clear-all keys of the satellite data store seen from outside: the ephemerides the program
// decoded from the simulator's broadcast come back after a restart (its RTCM 3 1019 output goes
// on although the new broadcast cannot be decoded: every subframe 2 carries a broken word), until
// set,/par/pos/clean/eph,yes drops them: the 1019 output stops within seconds and stays silent
// after the next restart.
#include <string>

#include "e2e/harness.h"

namespace e2e {
namespace {

class NavClean : public Rx {
 protected:
  // The program on a simulator whose broadcast can (or cannot) be decoded, with 1019 every
  // second on serial port B.
  void run(bool decodable) {
    std::vector<std::string> args{"--nav", kNav, "--sky"};
    if (!decodable) args.insert(args.end(), {"--flip-nav-after", "0"});
    ASSERT_NO_FATAL_FAILURE(startSim(args));
    ASSERT_NO_FATAL_FAILURE(start());
    b_ = std::make_unique<Port>(dir_.file("dev/ser/b"));
    ASSERT_TRUE(b_->ok());
    ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1019:1"), re("%e%"));
  }
  // 1019 frames among the bytes port B sends for `ms`.
  int count1019(int ms) {
    b_->held.clear();
    b_->fill([](const std::string&) { return false; }, ms);
    return frames(b_->held);
  }
  static int frames(const std::string& s) {
    int n = 0;
    const auto* b = reinterpret_cast<const unsigned char*>(s.data());
    for (std::size_t i = 0; i + 6 <= s.size();) {
      const std::size_t len = (b[i + 1] & 3u) << 8 | b[i + 2];
      if (b[i] != 0xD3 || len < 2 || i + len + 6 > s.size()) {
        ++i;
        continue;
      }
      n += (b[i + 3] << 4 | b[i + 4] >> 4) == 1019 ? 1 : 0;
      i += len + 6;
    }
    return n;
  }
  void restartProgram() {
    b_.reset();
    restart();
  }

  const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
  std::unique_ptr<Port> b_;
};

TEST_F(NavClean, ClearedEphemeridesStayGoneOverARestart) {
  ASSERT_NO_FATAL_FAILURE(run(true));
  // The first frame of subframes 1-3 takes up to 30 s of GPS time.
  ASSERT_TRUE(b_->fill([](const std::string& held) { return frames(held) >= 20; }, 60000)) << b_->held.size();

  restartProgram();
  ASSERT_NO_FATAL_FAILURE(run(false));
  EXPECT_GE(count1019(8000), 10) << "the kept ephemerides are restored";

  EXPECT_EQ(ask("%c%set,/par/pos/clean/eph,yes"), re("%c%"));
  EXPECT_EQ(ask("%p%print,/par/pos/clean/eph"), re("%p%off"));
  count1019(2500);  // the store's next step, and what was in the port's ring
  EXPECT_EQ(count1019(6000), 0) << "dropped from the store";

  restartProgram();
  ASSERT_NO_FATAL_FAILURE(run(false));
  EXPECT_EQ(count1019(10000), 0) << "nothing restored";
  EXPECT_EQ(ask("%a%set,/par/pos/clean/alm,on"), re("%a%"));
  EXPECT_EQ(ask("%x%set,/par/pos/clean/eph,soon").rfind("ER", 0), 0u);
}

}  // namespace
}  // namespace e2e
