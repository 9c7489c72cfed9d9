#include "positioning/signal_tables.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "positioning/gps_parity.h"

namespace {

constexpr double kC = 299792458.0;

// RTCM 10403.3 MSM signal ids (DF395, tables 3.5-91 to 3.5-108 and NavIC's), plus GLONASS 3X and BeiDou 7Z.
const std::map<int, std::string> kRtcmMsm[7] = {
    {{2, "1C"}, {3, "1P"}, {4, "1W"}, {8, "2C"}, {9, "2P"}, {10, "2W"}, {15, "2S"}, {16, "2L"}, {17, "2X"}, {22, "5I"},
     {23, "5Q"}, {24, "5X"}, {30, "1S"}, {31, "1L"}, {32, "1X"}},
    {{2, "1C"}, {3, "1P"}, {8, "2C"}, {9, "2P"}, {14, "3X"}},
    {{2, "1C"}, {3, "1A"}, {4, "1B"}, {5, "1X"}, {6, "1Z"}, {8, "6C"}, {9, "6A"}, {10, "6B"}, {11, "6X"}, {12, "6Z"},
     {14, "7I"}, {15, "7Q"}, {16, "7X"}, {18, "8I"}, {19, "8Q"}, {20, "8X"}, {22, "5I"}, {23, "5Q"}, {24, "5X"}},
    {{2, "1C"}, {22, "5I"}, {23, "5Q"}, {24, "5X"}},
    {{2, "1C"}, {9, "6S"}, {10, "6L"}, {11, "6X"}, {15, "2S"}, {16, "2L"}, {17, "2X"}, {22, "5I"}, {23, "5Q"},
     {24, "5X"}, {30, "1S"}, {31, "1L"}, {32, "1X"}},
    {{2, "2I"}, {3, "2Q"}, {4, "2X"}, {8, "6I"}, {9, "6Q"}, {10, "6X"}, {14, "7I"}, {15, "7Q"}, {16, "7X"}, {22, "5D"},
     {23, "5P"}, {24, "5X"}, {25, "7D"}, {27, "7Z"}, {30, "1D"}, {31, "1P"}, {32, "1X"}},
    {{8, "9A"}, {22, "5A"}},
};

// Carrier frequencies by RINEX band digit, from the ICDs (GLONASS: channel 0).
const std::map<char, double> kIcdHz[7] = {
    {{'1', 1575.42e6}, {'2', 1227.60e6}, {'5', 1176.45e6}},
    {{'1', 1602.0e6}, {'2', 1246.0e6}, {'3', 1202.025e6}},
    {{'1', 1575.42e6}, {'5', 1176.45e6}, {'7', 1207.14e6}, {'8', 1191.795e6}, {'6', 1278.75e6}},
    {{'1', 1575.42e6}, {'5', 1176.45e6}},
    {{'1', 1575.42e6}, {'2', 1227.60e6}, {'5', 1176.45e6}, {'6', 1278.75e6}},
    {{'1', 1575.42e6}, {'2', 1561.098e6}, {'5', 1176.45e6}, {'7', 1207.14e6}, {'8', 1191.795e6}, {'6', 1268.52e6}},
    {{'5', 1176.45e6}, {'9', 2492.028e6}},
};

TEST(SignalTables, EveryRowCarriesTheStandardsMsmIdAndIcdFrequency) {
  const int rows[7] = {25, 10, 21, 6, 17, 25, 2};
  for (int s = 0; s < 7; ++s) {
    ASSERT_EQ(SysRinexSignalNum[s], rows[s]) << s;
    for (int r = 0; r < SysRinexSignalNum[s]; ++r) {
      const SysRinexSignalType& row = SysRinexSignal[s][r];
      SCOPED_TRACE("system " + std::to_string(s) + " code " + row.code);
      const auto hz = kIcdHz[s].find(row.code[0]);
      EXPECT_DOUBLE_EQ(row.frequency, hz == kIcdHz[s].end() ? 0.0 : hz->second);
      if (row.bandSlot != kNoSlot) {
        ASSERT_TRUE(row.bandSlot >= 0 && row.bandSlot < 6);
        EXPECT_DOUBLE_EQ(get_SvRatedFrequency(row.bandSlot, s, 7), row.frequency);
      }
      int id = 0;  // band rows carry none
      for (const auto& [i, c] : kRtcmMsm[s])
        if (row.name[0] != '\0' && c == std::string(row.code, 2)) id = i;
      EXPECT_EQ(row.msmId, id);
    }
  }
}

TEST(SignalTables, MsmIdsGiveTheirChannelSlotAndPhaseAlignment) {
  const struct { int system, id, slot; double cycles, hz; } slots[] = {
      {0, 2, 0, 0.0, 1575.42e6},   {0, 4, 1, -0.25, 1575.42e6}, {0, 10, 2, 0.0, 1227.6e6},   {0, 17, 3, 0.25, 1227.6e6},
      {0, 24, 4, 0.25, 1176.45e6}, {0, 32, 5, -0.25, 1575.42e6}, {1, 2, 0, 0.0, 1602e6},      {1, 3, 1, -0.25, 1602e6},
      {1, 9, 2, 0.0, 1246e6},      {1, 8, 3, 0.25, 1246e6},     {1, 14, 4, 0.25, 1202.025e6}, {2, 5, 0, 0.5, 1575.42e6},
      {2, 16, 2, 0.25, 1207.14e6}, {2, 11, 3, 0.5, 1278.75e6},  {2, 24, 4, 0.25, 1176.45e6}, {3, 2, 0, 0.0, 1575.42e6},
      {3, 24, 4, 0.25, 1176.45e6}, {4, 2, 0, 0.0, 1575.42e6},   {4, 11, 2, 0.0, 1278.75e6},  {4, 17, 3, 0.25, 1227.6e6},
      {4, 24, 4, 0.25, 1176.45e6}, {4, 32, 5, -0.25, 1575.42e6}, {5, 2, 0, 0.0, 1561.098e6}, {5, 14, 2, 0.0, 1207.14e6},
      {5, 27, 2, 0.25, 1207.14e6}, {5, 8, 3, 0.0, 1268.52e6},   {5, 24, 4, 0.25, 1176.45e6}, {6, 22, 4, 0.0, 1176.45e6},
      {5, 32, 5, 0.25, 1575.42e6},
  };
  for (int pass = 0; pass < 2; ++pass) {
    DebugPhaseOffsetSys = pass ? 0 : -1, DebugPhaseOffsetSignal = 2, DebugPhaseOffset = 0.5f;
    for (const auto& c : slots) {
      float offset = 99.0f;
      EXPECT_EQ(getMsmSlotIdx(c.id, c.system, false, offset), c.slot) << c.system << "/" << c.id;
      const double cycles = c.cycles + (pass && c.system == 0 && c.id == 2 ? 0.5 : 0.0);
      EXPECT_FLOAT_EQ(offset, static_cast<float>(cycles * kC / c.hz)) << c.system << "/" << c.id;
    }
  }
  DebugPhaseOffsetSys = -1;
  const int bands[][4] = {{6, 8, 0, 255}, {6, 8, 1, 255}, {0, 16, 0, 255}, {0, 16, 1, 3}, {2, 2, 1, 0},
                          {2, 23, 1, 4},  {5, 3, 1, 0},   {0, 1, 1, -1},   {2, 18, 1, -1}};
  for (const auto& c : bands) {
    float offset = 0.0f;
    EXPECT_EQ(getMsmSlotIdx(c[1], c[0], c[2] != 0, offset), c[3]) << c[0] << "/" << c[1];
  }
  for (int s : {-1000, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 255, 1 << 30})
    for (int id = -1; id <= 35; ++id) {
      const bool inTable = s >= 0 && s < 7;
      if (inTable && id >= 1 && id <= 32) continue;
      float offset = 5.0f;
      EXPECT_TRUE(getMsmSlotIdx(id == 35 ? 1000 : id, s, true, offset) == -1 && offset == 0.0f) << s << "/" << id;
      EXPECT_TRUE(inTable || (getMsmSignalIdx(0, 1, s) == 0 && get_SvRatedFrequency(0, s, 7) == 1.0 &&
                              sysNav2Cdat(s) == -1)) << s;
    }
}

TEST(SignalTables, RandomArgumentsStayInside) {
  std::mt19937 rng(118);
  std::uniform_int_distribution<int> any(-300, 300);
  for (int i = 0; i < 20000; ++i) {
    float offset = 0.0f;
    const int slot = getMsmSlotIdx(any(rng), any(rng), (rng() & 1u) != 0, offset);
    EXPECT_TRUE(slot == -1 || (slot >= 0 && slot <= 255));
    const int id = getMsmSignalIdx(any(rng), any(rng), any(rng));
    EXPECT_TRUE(id >= 0 && id <= 32);
    EXPECT_GE(get_SvRatedFrequency(any(rng), any(rng), any(rng) % 15), 1.0 - 1e-9);
    (void)getMsmCompatPhaseOffset(any(rng), any(rng), any(rng), any(rng));
    (void)ignoreMsmCell(any(rng), any(rng), any(rng));
    (void)get_SlotMaskFromNavStreamMask(any(rng), static_cast<std::uint8_t>(rng()));
  }
}

// IS-GPS-200 Table 20-XIV: the bits each parity bit sums (29, 30: D29*, D30* of the previous word).
const std::vector<int> kEquations[6] = {
    {29, 1, 2, 3, 5, 6, 10, 11, 12, 13, 14, 17, 18, 20, 23},    {30, 2, 3, 4, 6, 7, 11, 12, 13, 14, 15, 18, 19, 21, 24},
    {29, 1, 3, 4, 5, 7, 8, 12, 13, 14, 15, 16, 19, 20, 22},     {30, 2, 4, 5, 6, 8, 9, 13, 14, 15, 16, 17, 20, 21, 23},
    {30, 1, 3, 5, 6, 7, 9, 10, 14, 15, 16, 17, 18, 21, 22, 24}, {29, 3, 5, 6, 8, 9, 10, 11, 13, 15, 19, 22, 23, 24},
};

std::uint32_t equationParity(std::uint32_t w) {
  std::uint32_t p = 0;
  for (const auto& eq : kEquations) {
    std::uint32_t bit = 0;
    for (int b : eq) bit ^= (w >> (b == 29 ? 31 : b == 30 ? 30 : 30 - b)) & 1u;
    p = (p << 1) | bit;
  }
  return p;
}

TEST(GpsParity, RandomWordsPassExactlyWhenTheEquationsHold) {
  std::mt19937 rng(176);
  int passed = 0;
  for (int i = 0; i < 200000; ++i) {
    const std::uint32_t sent = rng(), data = (sent & 0x40000000u) ? sent ^ 0x3FFFFFC0u : sent;
    const bool want = equationParity(data) == (data & 0x3Fu);
    std::uint32_t w = sent;
    ASSERT_EQ(GpsParity::checkParity(&w, 1), want ? 1 : 0) << std::hex << sent;
    EXPECT_TRUE(w == data && GpsParity::parityBits(data) == equationParity(data)) << std::hex << sent;
    passed += want;
  }
  EXPECT_GT(passed, 2000);  // about one in 64
}

// RTCM 2 "6 of 8" bytes: 01 in the top bits, six data bits, the first in bit 0.
std::uint32_t rawWord(const std::vector<std::uint8_t>& bits, std::size_t pos) {
  std::uint32_t w = std::uint32_t{bits[pos - 2]} << 31 | std::uint32_t{bits[pos - 1]} << 30;
  for (int k = 0; k < 30; ++k) w |= std::uint32_t{bits[pos + k]} << (29 - k);
  return w;
}
bool passes(std::uint32_t w, std::uint32_t& data) {
  data = w;
  return GpsParity::checkParity(&data, 1) == 1;
}
bool isHeader(const std::vector<std::uint8_t>& bits, std::size_t p, std::uint32_t& d1, std::uint32_t& d2) {
  return passes(rawWord(bits, p), d1) && (d1 >> 22 & 0xFFu) == 0x66u && passes(rawWord(bits, p + 30), d2);
}

// Frames followed by their length field; the recording holds 1728, the first inside its leading text.
TEST(GpsParity, EveryWordOfTheRtcm2RecordingPassesFailsOnAnyFlipAndIsReproduced) {
  std::ifstream in(std::string(RX_SHARED_DIR) + "/testdata/rtcm2/testglo.rtcm2", std::ios::binary);
  std::vector<std::uint8_t> bits;
  for (auto it = std::istreambuf_iterator<char>(in); it != std::istreambuf_iterator<char>(); ++it)
    for (int k = 0; k < 6 && (std::uint8_t(*it) & 0xC0u) == 0x40u; ++k) bits.push_back(std::uint8_t(*it) >> k & 1u);
  ASSERT_GT(bits.size(), 0u) << "recording not found";
  std::uint32_t d1 = 0, d2 = 0;
  std::size_t p = 2, frames = 0, words = 0, failures = 0, flips = 0;
  while (p + 60 <= bits.size() && !isHeader(bits, p, d1, d2)) ++p;
  std::set<int> types;
  const std::uint32_t errors0 = gpsParityErrCnt.load();
  while (p + 60 <= bits.size()) {
    if (!isHeader(bits, p, d1, d2)) break;  // seen as a walk that stopped early
    const std::size_t n = 2 + (d2 >> 9 & 0x1Fu);
    if (p + 30 * n > bits.size()) break;  // the recording ends inside a frame
    std::vector<std::uint32_t> raw(n), data(n);
    for (std::size_t k = 0; k < n; ++k) {
      raw[k] = rawWord(bits, p + 30 * k);
      failures += !passes(raw[k], data[k]);
      for (int b = 0; b < 32; ++b, ++flips) {
        std::uint32_t x = raw[k] ^ (1u << b);
        ASSERT_EQ(GpsParity::checkParity(&x, 1), 0) << std::hex << raw[k] << " bit " << b;
      }
    }
    std::uint32_t carry = raw[0] >> 30;
    EXPECT_EQ(GpsParity::addParity(data.data(), static_cast<int>(n), carry), raw.back() & 3u);
    EXPECT_EQ(carry, raw.back() & 3u);
    ASSERT_EQ(data, raw);
    types.insert(static_cast<int>(d1 >> 16 & 0x3Fu));
    ++frames, words += n, p += 30 * n;
  }
  EXPECT_EQ(failures, 0u);
  EXPECT_LT(bits.size() - p, 60u) << "walk stopped early";
  EXPECT_TRUE(frames >= 1700u && words > 29000u) << frames << " " << words;
  EXPECT_EQ(types, (std::set<int>{1, 3, 18, 19, 22}));
  EXPECT_EQ(gpsParityErrCnt.load() - errors0, flips);
}

}  // namespace
