// The shared CMR frame and header against frames written field by field from the public layout.
#include <gtest/gtest.h>

#include "cmr_test_util.h"
#include "differential/cmr/cmr_frame.h"

namespace {

using namespace cmrtest;

TEST(CmrFrame, HeaderFieldsBothWays) {
  struct Row {
    const char* name;
    int version, station, type, low5, time, clockBits, clockOffset;
  } rows[] = {
      {"zeros", 0, 0, 0, 0, 0, 0, 0},
      {"station 32 sent as 0, glonass type", 3, 0, 3, 16, 239999, 3, 0},
      {"time edges of the 18 bits", 3, 31, 1, 31, 0x3FFFF, 2, 2047},
      {"time low bits in byte 4", 3, 5, 2, 0, 3, 1, -2048},
      {"negative clock offset", 3, 17, 0, 12, 123457, 3, -1},
      {"version 2", 2, 9, 0, 1, 1000, 0, 1},
  };
  for (const Row& r : rows) {
    Bits w;
    header(w, r.version, r.station, r.type, r.low5, r.time, r.clockBits, r.clockOffset);
    cmr::Header h;
    h.version = static_cast<std::uint8_t>(r.version);
    h.stationId = static_cast<std::uint8_t>(r.station);
    h.type = static_cast<std::uint8_t>(r.type);
    h.low5 = static_cast<std::uint8_t>(r.low5);
    h.timeMs = static_cast<std::uint32_t>(r.time);
    h.clockBits = static_cast<std::uint8_t>(r.clockBits);
    h.clockOffset = static_cast<std::int16_t>(r.clockOffset);
    std::uint8_t out[cmr::kHeaderLen];
    cmr::packHeader(h, out);
    EXPECT_EQ(Bytes(out, out + 6), w.b) << r.name;
    const cmr::Header back = cmr::unpackHeader(w.b.data());
    EXPECT_EQ(back.version, r.version) << r.name;
    EXPECT_EQ(back.stationId, r.station) << r.name;
    EXPECT_EQ(back.type, r.type) << r.name;
    EXPECT_EQ(back.low5, r.low5) << r.name;
    EXPECT_EQ(back.timeMs, static_cast<std::uint32_t>(r.time)) << r.name;
    EXPECT_EQ(back.clockBits, r.clockBits) << r.name;
    EXPECT_EQ(back.clockOffset, r.clockOffset) << r.name;
  }
}

TEST(CmrFrame, FrameChecksumAndEtx) {
  struct Row {
    std::uint8_t type;
    int len;
    bool fits;
  } rows[] = {{0x93, 0, true}, {0x93, 6, true}, {0x94, 10, true}, {0x93, 251, true}, {0x93, 252, false}};
  for (const Row& r : rows) {
    Bytes data(static_cast<std::size_t>(r.len));
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 11);
    std::uint8_t out[300];
    const int n = cmr::writeFrame(r.type, data.data(), r.len, out, sizeof out);
    if (!r.fits) {
      EXPECT_EQ(n, 0) << r.len;
      continue;
    }
    EXPECT_EQ(Bytes(out, out + n), frame(r.type, data)) << r.len;
    EXPECT_EQ(cmr::writeFrame(r.type, data.data(), r.len, out, r.len + 5), 0) << "no room " << r.len;
  }
}

}  // namespace
