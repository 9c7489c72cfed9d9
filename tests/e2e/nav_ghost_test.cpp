// A ghost satellite through the board's stream: the simulator's PRN 28 broadcasts the subframes
// of PRN 19 (a channel locked to 19's signal under 28's number) while both are in view, 19
// measured at about 50 dB-Hz and 28 at about 35 dB-Hz. The program weighs the two by their
// channels' signal levels and keeps only the stronger one's ephemeris: its RTCM 3 1019 output
// carries PRN 19 every second and never PRN 28. Either order: the ghost's copy heard after its
// twin's is never stored; heard first, it is stored, and the twin's copy that follows asks the
// store to drop it again, which the store does at its next step.
#include <map>
#include <string>
#include <vector>

#include "e2e/harness.h"

namespace e2e {
namespace {

class NavGhost : public Rx {};

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
constexpr int kTrue = 19, kGhost = 28;

// Satellite numbers of the 1019 messages among the port's bytes, in order; bytes that are no
// whole frame are skipped.
std::vector<int> gps1019Sats(const std::string& s) {
  std::vector<int> out;
  const auto* b = reinterpret_cast<const unsigned char*>(s.data());
  for (std::size_t i = 0; i + 6 <= s.size();) {
    const std::size_t len = (b[i + 1] & 3u) << 8 | b[i + 2];
    if (b[i] != 0xD3 || len < 3 || i + len + 6 > s.size()) {
      ++i;
      continue;
    }
    const int type = b[i + 3] << 4 | b[i + 4] >> 4;
    if (type == 1019) out.push_back((b[i + 4] & 0x0F) << 2 | b[i + 5] >> 6);
    i += len + 6;
  }
  return out;
}

TEST_F(NavGhost, OnlyTheStrongerOfTwoSatellitesWithOneEphemerisIsKept) {
  const struct {
    const char* name;
    std::vector<std::string> simArgs;
  } rows[] = {
      {"the ghost heard after its twin", {}},
      {"the ghost heard first", {"--ghost-first"}},
  };
  const auto count = [](const std::string& held, int prn) {
    int n = 0;
    for (int s : gps1019Sats(held)) n += s == prn ? 1 : 0;
    return n;
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    fresh();
    std::vector<std::string> args = {"--nav", kNav, "--sky", "--ghost", std::to_string(kTrue) + ":" + std::to_string(kGhost)};
    args.insert(args.end(), row.simArgs.begin(), row.simArgs.end());
    ASSERT_NO_FATAL_FAILURE(startSim(args));
    ASSERT_NO_FATAL_FAILURE(start());
    Port b(dir_.file("dev/ser/b"));
    ASSERT_TRUE(b.ok());
    ASSERT_EQ(ask("%e%em,/dev/ser/b,rtcm3/1019:1"), re("%e%"));
    // The first frame of subframes 1-3 takes up to 30 s of GPS time.
    ASSERT_TRUE(b.fill([&](const std::string& held) { return count(held, kTrue) >= 1; }, 60000)) << b.held.size();
    // A ghost stored first is dropped at the store's next step, within a second or two.
    b.fill([&](const std::string& held) { return count(held, kTrue) >= 4; }, 10000);
    b.held.clear();
    // Across the next frame (both satellites' subframes again).
    b.fill([&](const std::string& held) { return count(held, kTrue) >= 35; }, 60000);
    EXPECT_GE(count(b.held, kTrue), 30) << "the true satellite's ephemeris stays";
    EXPECT_EQ(count(b.held, kGhost), 0) << "the ghost's ephemeris is never kept";
    std::map<int, int> others;
    for (int s : gps1019Sats(b.held)) ++others[s];
    EXPECT_GE(others.size(), 5u) << "the other satellites in view are untouched";
    stop();
  }
}

}  // namespace
}  // namespace e2e
