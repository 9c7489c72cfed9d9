// The board's standalone solution reaches the position engine's current position and velocity:
// the six doubles at byte 88 (X, Y, Z, latitude, longitude, height) with the valid flag at byte 2,
// and the two velocity blocks at 136 and 194 ({flag, flag, two words, three pairs of doubles},
// the first value of each pair), valid by the first block's first flag. A record whose length is
// not the record's reaches neither server. The bytes are laid out here from the record's offsets,
// not with the decoder's reader.
#include <gtest/gtest.h>

#include <cstring>

#include "positioning/data_servers/pvt_data.h"
#include "settings/rcv_settings.h"
#include "unit/gnss_link/native_test_util.h"

namespace {

using namespace ntest;

std::string f64(double d) {
  std::uint64_t u = 0;
  std::memcpy(&u, &d, sizeof u);
  return le(u, 8);
}

struct Sol {
  std::uint8_t posFlag = 1;
  std::uint8_t velFlag[2][2] = {{1, 1}, {1, 1}};
  int length = 1453;
};

constexpr double kPos[6] = {4055000.125, 715000.5, 4863000.75, 0.872664625997, 0.174532925199, 300.25};
constexpr double kVelXyz[3] = {1.5, -2.25, 0.125};
constexpr double kVelEnu[3] = {-0.5, 0.75, -0.0625};

std::string solAln(const Sol& s) {
  std::string b(1453, '\0');
  b[2] = static_cast<char>(s.posFlag);
  for (int k = 0; k < 6; ++k) b.replace(88 + 8 * k, 8, f64(kPos[k]));
  for (int j = 0; j < 2; ++j) {
    const int at = 136 + 58 * j;
    b[at] = static_cast<char>(s.velFlag[j][0]);
    b[at + 1] = static_cast<char>(s.velFlag[j][1]);
    const double* v = j == 0 ? kVelXyz : kVelEnu;
    // Each pair: the value, then a second one (its accuracy, not the velocity's).
    for (int k = 0; k < 3; ++k) b.replace(at + 10 + 16 * k, 16, f64(v[k]) + f64(99.0 + k));
  }
  b.resize(static_cast<std::size_t>(s.length), '\0');
  return s2m(rec(4, b));
}

using V = std::vector<double>;

V positionNow() {
  PosData::PositionDataType p{};
  if (PVTDataInstance.position.Take(&p) == 0) return {};
  return {p.dX, p.dY, p.dZ, p.dLat, p.dLon, p.dHeight, static_cast<double>(p.bValid)};
}
V velocityNow() {
  PosData::VelocityDataType v{};
  if (PVTDataInstance.velocity.Take(&v) == 0) return {};
  return {v.dFirstVector[0], v.dFirstVector[1], v.dFirstVector[2], v.dSecondVector[0], v.dSecondVector[1],
          v.dSecondVector[2], static_cast<double>(v.bValid)};
}

TEST(RawDecoderSolAln, PositionAndVelocityPartsReachTheirServers) {
  const V kSentinelPos = {-1, -2, -3, -4, -5, -6, 9};
  const V kSentinelVel = {-1, -2, -3, -4, -5, -6, 9};
  const V posValid = {kPos[0], kPos[1], kPos[2], kPos[3], kPos[4], kPos[5], 1};
  const V posInvalid = {kPos[0], kPos[1], kPos[2], kPos[3], kPos[4], kPos[5], 0};
  const auto vel = [](double valid) {
    return V{kVelXyz[0], kVelXyz[1], kVelXyz[2], kVelEnu[0], kVelEnu[1], kVelEnu[2], valid};
  };
  const double kFixed[6] = {1.0, 2.0, 3.0, 0.1, 0.2, 30.0};
  struct Row {
    const char* what;
    Sol sol;
    std::uint16_t posSource;
    V wantPos, wantVel;
    const char* err;
  };
  const Row rows[] = {
      {"a valid solution", {}, 0, posValid, vel(1), ""},
      {"no position this epoch: put as not valid", {0, {{1, 1}, {1, 1}}, 1453}, 0, posInvalid, vel(1), ""},
      {"the first block's first flag clear: velocity not valid", {1, {{0, 1}, {1, 1}}, 1453}, 0, posValid, vel(0), ""},
      {"the first block's first flag alone: velocity valid", {1, {{1, 0}, {0, 0}}, 1453}, 0, posValid, vel(1), ""},
      {"the second block's flags do not count", {1, {{0, 0}, {1, 1}}, 1453}, 0, posValid, vel(0), ""},
      {"one byte short: neither server", {1, {{1, 1}, {1, 1}}, 1452}, 0, kSentinelPos, kSentinelVel,
       "$$ @@SolAln: ERROR: len=1452 != 1453\n"},
      {"one byte long: neither server", {1, {{1, 1}, {1, 1}}, 1454}, 0, kSentinelPos, kSentinelVel,
       "$$ @@SolAln: ERROR: len=1454 != 1453\n"},
      {"position source 6: the stored six doubles replace the board's", {}, 6,
       {kFixed[0], kFixed[1], kFixed[2], kFixed[3], kFixed[4], kFixed[5], 1}, vel(1), ""},
  };
  RawFeed f;
  const std::uint16_t savedSource = RcvSet.posSource;
  double savedData[6];
  std::memcpy(savedData, RcvSet.posSourceData, sizeof savedData);
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    const PosData::PositionDataType p{-1, -2, -3, -4, -5, -6, 9};
    PosData::VelocityDataType v{9, {-1, -2, -3}, {-4, -5, -6}};
    PVTDataInstance.position.Put(&p);
    PVTDataInstance.velocity.Put(&v);
    RcvSet.posSource = r.posSource;
    std::memcpy(RcvSet.posSourceData, kFixed, sizeof kFixed);
    testing::internal::CaptureStderr();
    f.put(epochStart(kEpochTime) + solAln(r.sol));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), r.err);
    EXPECT_EQ(positionNow(), r.wantPos);
    EXPECT_EQ(velocityNow(), r.wantVel);
  }
  RcvSet.posSource = savedSource;
  std::memcpy(RcvSet.posSourceData, savedData, sizeof savedData);
}

// Random and cut records of the solution's type never crash the decoder, and a whole record after
// them lands again.
TEST(RawDecoderSolAln, RandomAndCutRecords) {
  RawFeed f;
  std::uint32_t seed = 12345;
  const auto next = [&seed] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 24;
  };
  const std::string whole = solAln({});
  testing::internal::CaptureStderr();
  for (int n = 0; n < 200; ++n) {
    std::string body(1453, '\0');
    for (char& c : body) c = static_cast<char>(next());
    const int len = n % 3 == 0 ? 1453 : static_cast<int>(next() % 1460);
    body.resize(static_cast<std::size_t>(len));
    f.put(epochStart(kEpochTime) + s2m(rec(4, body)));
    f.put(whole.substr(0, next() % whole.size()));
  }
  f.put(epochStart(kEpochTime) + whole + epochStart(kEpochTime) + whole);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(positionNow(), (V{kPos[0], kPos[1], kPos[2], kPos[3], kPos[4], kPos[5], 1}));
}

}  // namespace
