#include "positioning/signal_tables.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "settings/rcv_settings.h"

namespace {

constexpr double kC = 299792458.0;

// RTCM 10403.3 MSM signal identifiers (DF395) by system, id -> RINEX code (tables 3.5-91 GPS, 3.5-96
// GLONASS, 3.5-99 Galileo, 3.5-102 SBAS, 3.5-105 QZSS, 3.5-108 BeiDou, and the NavIC table of the amendment),
// and the receiver's own ids in slots 10403.3 leaves reserved (GLONASS 3X, BeiDou 7Z).
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

// Carrier frequencies (Hz) by RINEX band digit, from the ICDs (IS-GPS-200/705, GLONASS ICD channel 0 and L3,
// Galileo OS SIS ICD, IS-QZSS, BeiDou ICDs, NavIC SPS ICD).
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

// Ids from the wire: a system outside 0..6 or an id outside 1..32 finds no slot, offset 0.
TEST(SignalTables, MsmIdsGiveTheirChannelSlotAndPhaseAlignment) {
  const struct { int system, id, slot; double cycles, hz; } slots[] = {
      {0, 2, 0, 0.0, 1575.42e6},   {0, 4, 1, -0.25, 1575.42e6}, {0, 10, 2, 0.0, 1227.6e6},   {0, 17, 3, 0.25, 1227.6e6},
      {0, 24, 4, 0.25, 1176.45e6}, {0, 32, 5, -0.25, 1575.42e6}, {1, 2, 0, 0.0, 1602e6},      {1, 3, 1, -0.25, 1602e6},
      {1, 9, 2, 0.0, 1246e6},      {1, 8, 3, 0.25, 1246e6},     {1, 14, 4, 0.25, 1202.025e6}, {2, 5, 0, 0.5, 1575.42e6},
      {2, 16, 2, 0.25, 1207.14e6}, {2, 11, 3, 0.5, 1278.75e6},  {2, 24, 4, 0.25, 1176.45e6}, {3, 2, 0, 0.0, 1575.42e6},
      {3, 24, 4, 0.25, 1176.45e6}, {4, 2, 0, 0.0, 1575.42e6},   {4, 11, 2, 0.0, 1278.75e6},  {4, 17, 3, 0.25, 1227.6e6},
      {4, 24, 4, 0.25, 1176.45e6}, {4, 32, 5, -0.25, 1575.42e6}, {5, 2, 0, 0.0, 1561.098e6}, {5, 14, 2, 0.0, 1207.14e6},
      {5, 27, 2, 0.25, 1207.14e6}, {5, 8, 3, 0.0, 1268.52e6},   {5, 24, 4, 0.25, 1176.45e6}, {5, 32, 5, 0.25, 1575.42e6},
      {6, 22, 4, 0.0, 1176.45e6},
  };
  // The diagnostic offset (second pass) adds to one signal of one system only.
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
  // NavIC S: no slot, no band slot; GPS 2L rides on the L2C slot; Galileo 1C, 5Q; BeiDou 2Q; a reserved id;
  // Galileo 8I: no row.
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

TEST(SignalTables, SlotAndIdRoundTripAndTheIndexTablesAgree) {
  for (int s = 0; s < 7; ++s)
    for (int slot = 0; slot < 6; ++slot) {
      const int id = getMsmSignalIdx(slot, 1, s);
      float offset = 0.0f;
      EXPECT_EQ(id == 0 ? SlotSignalDataIndex[s][slot][0] : getMsmSlotIdx(id, s, false, offset), id == 0 ? kNoRow : slot)
          << s << "/" << slot;
    }
  EXPECT_TRUE(getMsmSignalIdx(-1, 1, 0) == 0 && getMsmSignalIdx(6, 1, 0) == 0 && getMsmSignalIdx(1, 1, 6) == 0);
  // BeiDou-3 satellites carry B2b, not B2I, on slot 2 once the lock manager knows them.
  EXPECT_EQ(getMsmSignalIdx(2, 30, 5), 14);
  signalTableLinks.isBeiPhase3 = [](int n) { return n >= 19; };
  EXPECT_TRUE(getMsmSignalIdx(2, 30, 5) == 27 && getMsmSignalIdx(2, 12, 5) == 14 && getMsmSignalIdx(0, 30, 5) == 2 &&
              getMsmSignalIdx(2, 30, 2) == 16);
  signalDataInitOnce();  // harmless to run again
  const int gpsBase[6] = {1, 2, 5, 4, 6, 3};
  for (int slot = 0; slot < 6; ++slot)
    EXPECT_TRUE(Rtcm24SlotIndex[0][slot] == gpsBase[slot] && Rtcm24SignalIndex[0][gpsBase[slot]] == slot) << slot;
  EXPECT_EQ(Rtcm24SignalIndex[0][7], kNoRow);
  EXPECT_EQ(Rtcm24SlotIndex[1][4], 0);  // GLONASS L3: no base slot
  EXPECT_TRUE(Rtcm24SignalIndex[6][1] == kNoRow && Rtcm24SignalIndex[6][2] == 4);  // NavIC S: base slot only
  EXPECT_EQ(MsmSignalDataIndex[0][0], kNoRow);
  EXPECT_STREQ(SysRinexSignal[0][MsmSignalDataIndex[0][16]].code, "2X");
  EXPECT_STREQ(SysRinexSignal[5][SlotSignalDataIndex[5][2][1]].code, "7Z");
  EXPECT_STREQ(SysRinexSignal[4][SlotSignalDataIndex[4][2][0]].code, "6X/6Z");
  const int cdatOrder[7] = {0, 1, 3, 2, 5, 4, 6};
  for (int s = 0; s < 7; ++s) EXPECT_EQ(sysNav2Cdat(s), cdatOrder[s]);
}

// Stream masks select slots (Galileo 0x07: 0, 2, 4); GLONASS letters k = -7 / +6 on G1, P1, G2 and the L3
// CDMA carrier; no signal gives 1.0.
TEST(SignalTables, StreamMasksAndRatedFrequencies) {
  const std::uint32_t masks[][4] = {  // system, mask, slots, high word
      {2, 0x07, 0x15, 0x07}, {0, 0x0F, 0x39, 0xF0000000}, {4, 0x02, 0x08, 0x20000000}, {1, 0x06, 0x18, 0x06},
      {3, 0x00, 0x01, 0x00}, {5, 0x40, 0x04, 0x40},       {5, 0x2F, 0x3D, 0x2F},       {6, 0x01, 0x10, 0x01},
      {9, 0xFF, 0x00, 0xFF}};
  for (const auto& c : masks) {
    const std::uint64_t m = get_SlotMaskFromNavStreamMask(int(c[0]), std::uint8_t(c[1]));
    EXPECT_TRUE(std::uint32_t(m) == c[2] && std::uint32_t(m >> 32) == c[3]) << c[0] << " " << c[1];
  }
  const struct { int band, system, slot; double hz; } freqs[] = {
      {0, 1, 0, 1598062500.0}, {1, 1, 13, 1605375000.0}, {2, 1, 13, 1248625000.0}, {3, 1, 0, 1242937500.0},
      {4, 1, 0, 1202025000.0}, {0, 6, 0, 1.0},           {1, 2, 0, 1.0},           {6, 0, 0, 1.0},
      {-1, 1, 7, 1.0}};
  for (const auto& c : freqs)
    EXPECT_DOUBLE_EQ(get_SvRatedFrequency(c.band, c.system, c.slot), c.hz) << c.band << " " << c.system << " " << c.slot;
}

// Until the lock manager and the settings are wired: no shift, no skipped cell. Slot 1 has no signal: no
// shift; GPS is never skipped.
TEST(SignalTables, BeiDouCompatibility) {
  for (int kind : {-1, 0, 1, 2, 3}) EXPECT_EQ(getMsmCompatPhaseOffset(3, 10, 5, kind), 0.0);
  EXPECT_EQ(ignoreMsmCell(0, 10, 5), 0);
  signalTableLinks.isBeiDou37compat = [](int n) { return n < 6 || n > 58; };
  signalTableLinks.isBeiDouMSMcompat = [](int n, int s) { return (s == 0 || s == 3) && n >= 6 && n <= 58; };
  const double halfB1I = 149896229.0 / 1561098000.0, halfB3 = 149896229.0 / 1268520000.0;
  const struct { int slot, sat, system, kind; double want; } shifts[] = {
      {0, 3, 5, 0, halfB1I}, {0, 10, 5, 0, 0.0}, {3, 10, 5, -1, halfB3}, {3, 10, 5, 4, halfB3},
      {3, 10, 5, 1, 0.0},    {3, 10, 5, 2, 0.0}, {3, 10, 0, -1, 0.0},    {1, 3, 5, 0, 0.0}};
  for (const auto& c : shifts)
    EXPECT_DOUBLE_EQ(getMsmCompatPhaseOffset(c.slot, c.sat, c.system, c.kind), c.want)
        << c.slot << " " << c.sat << " " << c.system << " " << c.kind;
  signalTableLinks.ignoreCompat = [](int n, int) { return n < 6 || n > 58; };
  EXPECT_EQ(ignoreMsmCell(0, 3, 5), 0);  // compatibility word not 5
  RcvSet.msmCompat = 5;
  EXPECT_TRUE(ignoreMsmCell(0, 3, 5) == 1 && ignoreMsmCell(0, 10, 5) == 0 && ignoreMsmCell(0, 0, 5) == 0 &&
              ignoreMsmCell(0, 3, 0) == 0);
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

}  // namespace
