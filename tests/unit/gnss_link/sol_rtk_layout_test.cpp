// The board's RTK record: every field read from its byte offset into `solution` and into the
// output's view of it; wrong lengths refused, random records never read outside the bytes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "unit/gnss_link/native_test_util.h"
#include "gnss_link/raw_records.h"
#include "positioning/rcv_output.h"

namespace {

using namespace ntest;

std::string put64(std::string r, int off, double v) {
  std::uint64_t w;
  std::memcpy(&w, &v, 8);
  return r.replace(std::size_t(off), 8, le(w, 8));
}
std::string put32f(std::string r, int off, float v) { return r.replace(std::size_t(off), 4, lef(v)); }
std::string putN(std::string r, int off, std::uint64_t v, int n) { return r.replace(std::size_t(off), std::size_t(n), le(v, n)); }

RTK_SOL feed(const std::string& data) {
  RawFeed f;
  solution = BoardSolRtkType{};
  f.put(epochStart(kEpochTime) + s2m(rec(5, data)));
  RTK_SOL out;
  mapRtkSolution(solution, out);
  return out;
}

// Offsets as the board documents them, written here apart from the reader's constants.
TEST(SolRtkLayout, EachFieldFromItsOffset) {
  const std::string zero(870, '\0');
  struct Row {
    const char* what;
    std::string bytes;
    std::function<bool(const RTK_SOL&)> check;
  } rows[] = {
      {"state", putN(zero, 4, 5, 4), [](const RTK_SOL& s) { return s.state == 5 && solution.lSolType == 5; }},
      {"negative state", putN(zero, 4, 0xFFFFFFFF, 4), [](const RTK_SOL& s) { return s.state == -1; }},
      {"rover x", put64(zero, 8, 4193000.5), [](const RTK_SOL& s) { return s.rover[0] == 4193000.5; }},
      {"rover z", put64(zero, 24, -12.25), [](const RTK_SOL& s) { return s.rover[2] == -12.25; }},
      {"base x", put64(zero, 32, 7.5), [](const RTK_SOL& s) { return s.base[0] == 7.5 && s.rover[2] == 0; }},
      {"base z", put64(zero, 48, 8.5), [](const RTK_SOL& s) { return s.base[2] == 8.5; }},
      {"baseline x", put64(zero, 56, 30.0), [](const RTK_SOL& s) { return s.baseline[0] == 30.0; }},
      {"baseline z", put64(zero, 72, -1.0), [](const RTK_SOL& s) { return s.baseline[2] == -1.0; }},
      {"velocity x", put64(zero, 80, 0.5), [](const RTK_SOL& s) { return s.vel[0] == 0.5; }},
      {"velocity z", put64(zero, 96, -0.25), [](const RTK_SOL& s) { return s.vel[2] == -0.25 && !s.bVelPresent; }},
      {"velocity present", putN(zero, 128, 1, 1), [](const RTK_SOL& s) { return s.bVelPresent == 1; }},
      {"velocity present 7", putN(zero, 128, 7, 1), [](const RTK_SOL& s) { return s.bVelPresent == 1; }},
      {"baseline rate x", put32f(zero, 129, 0.125f), [](const RTK_SOL& s) { return s.blRate[0] == 0.125f; }},
      {"baseline rate z", put32f(zero, 137, -2.0f), [](const RTK_SOL& s) { return s.blRate[2] == -2.0f; }},
      {"heading variance", put32f(zero, 141, 0.0004f), [](const RTK_SOL& s) { return s.headingVar == double(0.0004f); }},
      {"use word", putN(zero, 300, 0xA5C3, 4), [](const RTK_SOL& s) { return s.useWord == 0xA5C3; }},
      {"heading available", putN(zero, 304, 1, 1),
       [](const RTK_SOL& s) { return s.bHeadingAvail == 1 && solution.bHeadingAvailable == 1; }},
      {"mode", putN(zero, 305, 4, 1), [](const RTK_SOL& s) { return s.mode == 4 && s.bHeadingAvail == 0; }},
      {"status", putN(zero, 306, 9, 1), [](const RTK_SOL& s) { return s.status == 9 && s.mode == 0; }},
      {"GPS used", put32f(zero, 323, 8.0f), [](const RTK_SOL& s) { return s.satCount[0][0] == 8; }},
      {"GPS tracked", put32f(zero, 327, 10.0f), [](const RTK_SOL& s) { return s.satCount[1][0] == 10; }},
      {"GPS excluded", put32f(zero, 331, 2.0f), [](const RTK_SOL& s) { return s.satCount[2][0] == 2; }},
      {"GLONASS used", put32f(zero, 339, 6.0f), [](const RTK_SOL& s) { return s.satCount[0][1] == 6; }},
      {"NavIC tracked", put32f(zero, 323 + 6 * 16 + 4, 3.0f), [](const RTK_SOL& s) { return s.satCount[1][6] == 3; }},
      {"count NaN", put32f(zero, 323, NAN), [](const RTK_SOL& s) { return s.satCount[0][0] == 0; }},
      {"count -1", put32f(zero, 323, -1.0f), [](const RTK_SOL& s) { return s.satCount[0][0] == 0; }},
      {"count 256", put32f(zero, 323, 256.0f), [](const RTK_SOL& s) { return s.satCount[0][0] == 0; }},
      {"pos XX", put64(zero, 435, 0.01), [](const RTK_SOL& s) { return s.posCov[0] == 0.01 && s.velCov[0] == 0; }},
      {"vel XX", put64(zero, 443, 0.02), [](const RTK_SOL& s) { return s.velCov[0] == 0.02 && s.posCov[0] == 0; }},
      {"pos XY", put64(zero, 451, 0.03), [](const RTK_SOL& s) { return s.posCov[1] == 0.03; }},
      {"pos YX ignored", put64(zero, 483, 0.03), [](const RTK_SOL& s) { return s.posCov[1] == 0; }},
      {"pos YY", put64(zero, 435 + 4 * 16, 0.04), [](const RTK_SOL& s) { return s.posCov[3] == 0.04; }},
      {"vel YZ", put64(zero, 435 + 5 * 16 + 8, 0.05), [](const RTK_SOL& s) { return s.velCov[4] == 0.05; }},
      {"pos ZZ", put64(zero, 435 + 8 * 16, 0.06), [](const RTK_SOL& s) { return s.posCov[5] == 0.06; }},
      {"vel ZZ", put64(zero, 435 + 8 * 16 + 8, 0.07), [](const RTK_SOL& s) { return s.velCov[5] == 0.07; }},
      {"cof XX", put64(zero, 583, 1.5), [](const RTK_SOL& s) { return s.cof[0] == 1.5; }},
      {"cof XT", put64(zero, 583 + 24, 0.1), [](const RTK_SOL& s) { return s.cof[3] == 0.1; }},
      {"cof YY", put64(zero, 579 + 36 + 4 + 8, 0.8), [](const RTK_SOL& s) { return s.cof[4] == 0.8; }},
      {"cof ZZ", put64(zero, 579 + 72 + 4 + 16, 2.2), [](const RTK_SOL& s) { return s.cof[7] == 2.2; }},
      {"cof TT", put64(zero, 579 + 108 + 4 + 24, 0.6), [](const RTK_SOL& s) { return s.cof[9] == 0.6; }},
      {"cof TX ignored", put64(zero, 579 + 108 + 4, 0.6), [](const RTK_SOL& s) { return s.cof[3] == 0; }},
      {"cof row value not a cofactor", put32f(zero, 579, 9.0f), [](const RTK_SOL& s) { return s.cof[0] == 0; }},
      {"station", putN(zero, 723, 17, 2), [](const RTK_SOL& s) { return s.stationId[0] == 17 && s.stationId[1] == 0; }},
      {"second station", putN(zero, 725, 65535, 2), [](const RTK_SOL& s) { return s.stationId[1] == 65535; }},
      {"second value", putN(zero, 727, 0x1234, 2), [](const RTK_SOL& s) { return s.value2 == 0x1234; }},
      {"spare after stations", putN(zero, 729, 0xFFFF, 2), [](const RTK_SOL& s) { return s.value2 == 0; }},
      {"last byte", putN(zero, 869, 0xFF, 1),
       [](const RTK_SOL& s) { return s.state == 0 && solution.g772[1].ulWord[6] == 0xFF000000u; }},
  };
  for (const Row& r : rows) {
    ASSERT_EQ(r.bytes.size(), 870u) << r.what;
    const RTK_SOL s = feed(r.bytes);
    EXPECT_TRUE(r.check(s)) << r.what;
    EXPECT_EQ(s.bPosKnown, 1) << r.what;
    for (int k = 1; k < RTK_SOL::kUseEntries; ++k) ASSERT_EQ(s.use[k], 0) << r.what;  // not in the record
  }
}

TEST(SolRtkLayout, WrongLengthRefusedAndNothingKept) {
  for (int len : {1, 869, 871, 1000}) {
    RawFeed f;
    solution = BoardSolRtkType{};
    solution.lSolType = 3;
    testing::internal::CaptureStderr();
    f.put(epochStart(kEpochTime) + s2m(rec(5, std::string(std::size_t(len), '\x11'))));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(f.raw->counters().recRefused, 1u) << len;
    // The epoch start clears the state; nothing of the refused bytes arrives.
    EXPECT_EQ(solution.lSolType, 0) << len;
    EXPECT_EQ(solution.dRover[0], 0.0) << len;
    EXPECT_EQ(err, "$$ @@SolRtk: ERROR: len=" + std::to_string(len) + " != 870\n");
  }
}

TEST(SolRtkLayout, RandomRecordsMapWithinBounds) {
  std::mt19937 rng(61);
  for (int n = 0; n < 300; ++n) {
    std::string d(870, '\0');
    for (char& c : d) c = static_cast<char>(rng() & 0xFF);
    const RTK_SOL s = feed(d);
    EXPECT_LE(s.bVelPresent, 1);
    EXPECT_EQ(std::memcmp(&s.rover[0], d.data() + 8, 8), 0);
    EXPECT_EQ(std::memcmp(&s.stationId[0], d.data() + 723, 2), 0);
  }
}

// Random records (NaN, infinities, huge values, any state) through the output as the chain
// hands them over: no undefined conversion, and a state outside 1..6 never outputs a position.
TEST(SolRtkLayout, RandomRecordsThroughTheOutput) {
  std::mt19937 rng(62);
  NavTask::NAV_SOL nav{};
  for (int n = 0; n < 300; ++n) {
    std::string d(870, '\0');
    for (char& c : d) c = static_cast<char>(rng() & 0xFF);
    if (n % 3 == 0) d.replace(4, 4, le(1 + n % 6, 4));  // a valid state with random values
    RTK_SOL rtk = feed(d);
    RCV_OUTPUT out{};
    out.pNavSol = &nav;
    out.pRtkSol = &rtk;
    out.bRtkAvail = 1;
    out.bHeadingAvail = rtk.bHeadingAvail;
    out.computeParams();
    const bool stateOk = rtk.state >= 1 && rtk.state <= 6;
    if (stateOk) {
      EXPECT_EQ(out.sol.solType, rtkSolType(rtk.state)) << n;
    } else {
      EXPECT_FALSE(out.sol.isPosValid()) << n;
    }
  }
}

}  // namespace
