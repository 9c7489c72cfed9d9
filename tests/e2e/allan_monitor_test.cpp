// The Allan variance monitor with the board simulator's GPS sky: with the debug selector `dbi` at
// 7000 (system 0, signal 0: GPS L1 C/A) it keeps a tracked satellite's L1 and prints its figure
// every 60 s of epochs, naming the satellite ("svE AL*e9=... sv=N ... sys=0 sig=0"). When that
// satellite's L1 is lost (the simulator's --drop-file) the monitor forgets it and takes another
// one: its next figure names another satellite.
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace e2e {
namespace {

using AllanMonitor = Rx;

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";

// The satellites the monitor's lines name, in order.
std::vector<int> figures(const std::string& out) {
  std::vector<int> sv;
  for (std::size_t at = out.find("svE AL*e9="); at != std::string::npos; at = out.find("svE AL*e9=", at + 1)) {
    const std::size_t end = out.find('\n', at);
    const std::string line = out.substr(at, end == std::string::npos ? std::string::npos : end - at);
    int n = -1, sys = -1, sig = -1;
    const std::size_t s = line.find(" sv=");
    if (s != std::string::npos && std::sscanf(line.c_str() + s, " sv=%d msint=%*d snr=%*d sys=%d sig=%d", &n, &sys, &sig) == 3 &&
        sys == 0 && sig == 0)
      sv.push_back(n);
  }
  return sv;
}

TEST_F(AllanMonitor, ASatelliteWhoseSignalIsLostIsForgottenAndAnotherTaken) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--drop-file", dir_.file("drop")}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%d%set,/par/dbi,7000"), re("%d%"));
  // A block is 60 s of epochs.
  std::vector<int> sv;
  ASSERT_TRUE(waitUntil([&] { return !(sv = figures(rx_->out())).empty(); }, 90000)) << rx_->out().substr(0, 3000);
  const int first = sv.back();
  ASSERT_TRUE(dir_.write("drop", std::to_string(first) + "\n"));
  ASSERT_TRUE(waitUntil([&] { return !dir_.exists("drop"); }));
  const std::size_t before = sv.size();
  ASSERT_TRUE(waitUntil([&] { return (sv = figures(rx_->out())).size() > before; }, 150000)) << rx_->out().substr(0, 3000);
  for (std::size_t i = before; i < sv.size(); ++i) EXPECT_NE(sv[i], first) << "a satellite without its L1";
}

}  // namespace
}  // namespace e2e
