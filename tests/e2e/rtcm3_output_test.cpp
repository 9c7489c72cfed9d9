// The base station's RTCM 3 output on a serial port, with the board simulator streaming its
// synthetic constellation (the GPS satellites of a broadcast file as a fixed site measures them):
// "em" takes the RTCM 3 messages by their pool names and refuses others; the program reads the
// board's satellite, channel and signal records without a complaint; and a base whose epoch has
// no base data sends no RTCM 3 at all, until "dm".
#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "e2e/harness.h"

namespace e2e {
namespace {

class Rtcm3Output : public Rx {};

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";

// Epochs of the simulator's truth file and the most satellites any of them held.
std::pair<int, int> truthEpochs(const std::string& text) {
  std::map<std::string, std::set<int>> sats;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::istringstream f(line);
    std::string sow;
    int prn = 0;
    if (f >> sow >> prn) sats[sow].insert(prn);
  }
  std::size_t most = 0;
  for (const auto& [t, s] : sats) most = std::max(most, s.size());
  return {static_cast<int>(sats.size()), static_cast<int>(most)};
}

TEST_F(Rtcm3Output, MessagesByPoolNameAndNoFramesWithoutBaseData) {
  const std::string truth = dir_.file("sky.truth");
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--sky-truth", truth}));
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  struct Row {
    const char* list;
    bool taken;
  };
  const Row rows[] = {
      {"rtcm3/{1005,1077,1087}:1", true}, {"rtcm3/4091t", true},  {"rtcm3/{1019,1020,1045,1046}", true},
      {"rtcm3/{1029,1230,1033}:1", true}, {"rtcm3/4091", false},  {"rtcm3/1013", false},
      {"rtcm3/1138", false},              {"rtcm3/{1001,1234}", false},
  };
  for (const Row& r : rows) {
    const std::string reply = ask(std::string("%m%em,/dev/ser/b,") + r.list);
    if (r.taken) {
      EXPECT_EQ(reply, re("%m%")) << r.list;
    } else {
      EXPECT_EQ(reply.substr(0, 2), "ER") << r.list << ": " << reply;
    }
  }
  // The board streams its sky every second; the program takes it in.
  ASSERT_TRUE(waitUntil([&] { return truthEpochs(dir_.read("sky.truth")).first >= 5; })) << dir_.read("sky.truth");
  EXPECT_GE(truthEpochs(dir_.read("sky.truth")).second, 6);
  b.fill([](const std::string&) { return false; }, 3000);
  EXPECT_TRUE(b.held.empty()) << b.held.size() << " bytes: a base without its epoch data sends nothing";
  ASSERT_EQ(ask("%d%dm,/dev/ser/b,rtcm3"), re("%d%"));
  stop();
  for (const char* complaint : {"$$ @@SatData: ERROR", "$$ @@SatData: WARNING", "ERROR: bad epoch"})
    EXPECT_EQ(out_.find(complaint), std::string::npos) << complaint << "\n" << out_;
}

}  // namespace
}  // namespace e2e
