#include "positioning/signal_tables.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

#include "settings/rcv_settings.h"

namespace {

constexpr double kC = 299792458.0;

// RTCM 10403.3 MSM signal identifiers (DF395) by system, id -> RINEX code
// (tables 3.5-91 GPS, 3.5-96 GLONASS, 3.5-99 Galileo, 3.5-102 SBAS, 3.5-105 QZSS,
// 3.5-108 BeiDou, and the NavIC table of the amendment).
const std::map<int, std::string> kRtcmMsm[7] = {
    {{2, "1C"}, {3, "1P"}, {4, "1W"}, {8, "2C"}, {9, "2P"}, {10, "2W"}, {15, "2S"}, {16, "2L"},
     {17, "2X"}, {22, "5I"}, {23, "5Q"}, {24, "5X"}, {30, "1S"}, {31, "1L"}, {32, "1X"}},
    {{2, "1C"}, {3, "1P"}, {8, "2C"}, {9, "2P"}},
    {{2, "1C"}, {3, "1A"}, {4, "1B"}, {5, "1X"}, {6, "1Z"}, {8, "6C"}, {9, "6A"}, {10, "6B"},
     {11, "6X"}, {12, "6Z"}, {14, "7I"}, {15, "7Q"}, {16, "7X"}, {18, "8I"}, {19, "8Q"},
     {20, "8X"}, {22, "5I"}, {23, "5Q"}, {24, "5X"}},
    {{2, "1C"}, {22, "5I"}, {23, "5Q"}, {24, "5X"}},
    {{2, "1C"}, {9, "6S"}, {10, "6L"}, {11, "6X"}, {15, "2S"}, {16, "2L"}, {17, "2X"},
     {22, "5I"}, {23, "5Q"}, {24, "5X"}, {30, "1S"}, {31, "1L"}, {32, "1X"}},
    {{2, "2I"}, {3, "2Q"}, {4, "2X"}, {8, "6I"}, {9, "6Q"}, {10, "6X"}, {14, "7I"}, {15, "7Q"},
     {16, "7X"}, {22, "5D"}, {23, "5P"}, {24, "5X"}, {25, "7D"}, {30, "1D"}, {31, "1P"},
     {32, "1X"}},
    {{8, "9A"}, {22, "5A"}},
};
// The receiver's own ids in slots 10403.3 leaves reserved.
const std::map<std::string, int> kOwnIds[7] = {{}, {{"3X", 14}}, {}, {}, {}, {{"7Z", 27}}, {}};

// Carrier frequencies (Hz) by RINEX band digit, from the ICDs (IS-GPS-200/705, GLONASS ICD
// channel 0 and L3, Galileo OS SIS ICD, IS-QZSS, BeiDou ICDs, NavIC SPS ICD).
const std::map<char, double> kIcdHz[7] = {
    {{'1', 1575.42e6}, {'2', 1227.60e6}, {'5', 1176.45e6}},
    {{'1', 1602.0e6}, {'2', 1246.0e6}, {'3', 1202.025e6}},
    {{'1', 1575.42e6}, {'5', 1176.45e6}, {'7', 1207.14e6}, {'8', 1191.795e6}, {'6', 1278.75e6}},
    {{'1', 1575.42e6}, {'5', 1176.45e6}},
    {{'1', 1575.42e6}, {'2', 1227.60e6}, {'5', 1176.45e6}, {'6', 1278.75e6}},
    {{'1', 1575.42e6}, {'2', 1561.098e6}, {'5', 1176.45e6}, {'7', 1207.14e6}, {'8', 1191.795e6},
     {'6', 1268.52e6}},
    {{'5', 1176.45e6}, {'9', 2492.028e6}},
};

TEST(SignalTables, EveryRowCarriesTheStandardsMsmIdAndIcdFrequency) {
  const int rows[7] = {25, 10, 21, 6, 17, 25, 2};
  for (int s = 0; s < 7; ++s) {
    ASSERT_EQ(SysRinexSignalNum[s], rows[s]) << s;
    for (int r = 0; r < SysRinexSignalNum[s]; ++r) {
      const SysRinexSignalType& row = SysRinexSignal[s][r];
      const std::string code(row.code, 2);
      SCOPED_TRACE("system " + std::to_string(s) + " code " + row.code);
      const auto hz = kIcdHz[s].find(row.code[0]);
      EXPECT_DOUBLE_EQ(row.frequency, hz == kIcdHz[s].end() ? 0.0 : hz->second);
      if (row.bandSlot != kNoSlot) {
        ASSERT_GE(row.bandSlot, 0);
        ASSERT_LT(row.bandSlot, 6);
        EXPECT_DOUBLE_EQ(get_SvRatedFrequency(row.bandSlot, s, 7), row.frequency);
      }
      int id = 0;  // band rows carry none
      if (row.name[0] != '\0') {
        for (const auto& [i, c] : kRtcmMsm[s])
          if (c == code) id = i;
        if (kOwnIds[s].count(code)) id = kOwnIds[s].at(code);
      }
      EXPECT_EQ(row.msmId, id);
    }
  }
}

TEST(SignalTables, MsmIdsGiveTheirChannelSlotAndPhaseAlignment) {
  const struct { int system, id, slot; double cycles, hz; } slots[] = {
      {0, 2, 0, 0.0, 1575.42e6},     {0, 4, 1, -0.25, 1575.42e6},  {0, 10, 2, 0.0, 1227.6e6},
      {0, 17, 3, 0.25, 1227.6e6},    {0, 24, 4, 0.25, 1176.45e6},  {0, 32, 5, -0.25, 1575.42e6},
      {1, 2, 0, 0.0, 1602e6},        {1, 3, 1, -0.25, 1602e6},     {1, 9, 2, 0.0, 1246e6},
      {1, 8, 3, 0.25, 1246e6},       {1, 14, 4, 0.25, 1202.025e6}, {2, 5, 0, 0.5, 1575.42e6},
      {2, 16, 2, 0.25, 1207.14e6},   {2, 11, 3, 0.5, 1278.75e6},   {2, 24, 4, 0.25, 1176.45e6},
      {3, 2, 0, 0.0, 1575.42e6},     {3, 24, 4, 0.25, 1176.45e6},  {4, 2, 0, 0.0, 1575.42e6},
      {4, 11, 2, 0.0, 1278.75e6},    {4, 17, 3, 0.25, 1227.6e6},   {4, 24, 4, 0.25, 1176.45e6},
      {4, 32, 5, -0.25, 1575.42e6},  {5, 2, 0, 0.0, 1561.098e6},   {5, 14, 2, 0.0, 1207.14e6},
      {5, 27, 2, 0.25, 1207.14e6},   {5, 8, 3, 0.0, 1268.52e6},    {5, 24, 4, 0.25, 1176.45e6},
      {5, 32, 5, 0.25, 1575.42e6},   {6, 22, 4, 0.0, 1176.45e6},
  };
  for (const auto& c : slots) {
    float offset = 99.0f;
    EXPECT_EQ(getMsmSlotIdx(c.id, c.system, false, offset), c.slot) << c.system << "/" << c.id;
    EXPECT_FLOAT_EQ(offset, static_cast<float>(c.cycles * kC / c.hz)) << c.system << "/" << c.id;
  }
  const struct { int system, id; bool band; int slot; } bands[] = {
      {6, 8, false, 255}, {6, 8, true, 255},               // NavIC S: no slot, no band slot
      {0, 16, false, 255}, {0, 16, true, 3},               // GPS 2L rides on the L2C slot
      {2, 2, true, 0},    {2, 23, true, 4}, {5, 3, true, 0},  // Galileo 1C, 5Q; BeiDou 2Q
      {0, 1, true, -1},   {2, 18, true, -1},               // a reserved id; Galileo 8I: no row
  };
  for (const auto& c : bands) {
    float offset = 0.0f;
    EXPECT_EQ(getMsmSlotIdx(c.id, c.system, c.band, offset), c.slot) << c.system << "/" << c.id;
  }
  // The diagnostic offset adds to one signal of one system only.
  DebugPhaseOffsetSys = 0;
  DebugPhaseOffsetSignal = 2;
  DebugPhaseOffset = 0.5f;
  for (const auto& c : slots) {
    float offset = 99.0f;
    getMsmSlotIdx(c.id, c.system, false, offset);
    const double cycles = c.cycles + (c.system == 0 && c.id == 2 ? 0.5 : 0.0);
    EXPECT_FLOAT_EQ(offset, static_cast<float>(cycles * kC / c.hz)) << c.system << "/" << c.id;
  }
  DebugPhaseOffsetSys = -1;
  // The system and the id come from the wire in the RTCM 3 decoder.
  std::vector<int> ids = {1000};
  for (int id = -1; id <= 34; ++id) ids.push_back(id);
  for (int s : {-1000, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 255, 1 << 30}) {
    const bool inTable = s >= 0 && s < 7;
    for (int id : ids) {
      if (inTable && id >= 1 && id <= 32) continue;
      float offset = 5.0f;
      EXPECT_EQ(getMsmSlotIdx(id, s, true, offset), -1) << s << "/" << id;
      EXPECT_EQ(offset, 0.0f);
    }
    if (inTable) continue;
    EXPECT_EQ(getMsmSignalIdx(0, 1, s), 0);
    EXPECT_EQ(get_SvRatedFrequency(0, s, 7), 1.0);
    EXPECT_EQ(sysNav2Cdat(s), -1);
  }
}

TEST(SignalTables, SlotAndIdRoundTripAndTheIndexTablesAgree) {
  for (int s = 0; s < 7; ++s) {
    for (int slot = 0; slot < 6; ++slot) {
      const int id = getMsmSignalIdx(slot, 1, s);
      float offset = 0.0f;
      EXPECT_EQ(id == 0 ? SlotSignalDataIndex[s][slot][0] : getMsmSlotIdx(id, s, false, offset),
                id == 0 ? kNoRow : slot)
          << s << "/" << slot;
    }
  }
  EXPECT_EQ(getMsmSignalIdx(-1, 1, 0), 0);
  EXPECT_EQ(getMsmSignalIdx(6, 1, 0), 0);
  EXPECT_EQ(getMsmSignalIdx(1, 1, 6), 0);  // NavIC has no slot 1
  // BeiDou-3 satellites carry B2b, not B2I, on slot 2 once the lock manager knows them.
  EXPECT_EQ(getMsmSignalIdx(2, 30, 5), 14);
  signalTableLinks.isBeiPhase3 = [](int n) { return n >= 19; };
  EXPECT_EQ(getMsmSignalIdx(2, 30, 5), 27);
  EXPECT_EQ(getMsmSignalIdx(2, 12, 5), 14);
  EXPECT_EQ(getMsmSignalIdx(0, 30, 5), 2);
  EXPECT_EQ(getMsmSignalIdx(2, 30, 2), 16);

  signalDataInitOnce();  // harmless to run again
  const int gpsBase[6] = {1, 2, 5, 4, 6, 3};
  for (int slot = 0; slot < 6; ++slot) {
    EXPECT_EQ(Rtcm24SlotIndex[0][slot], gpsBase[slot]);
    EXPECT_EQ(Rtcm24SignalIndex[0][gpsBase[slot]], slot);
  }
  EXPECT_EQ(Rtcm24SignalIndex[0][7], kNoRow);
  EXPECT_EQ(Rtcm24SlotIndex[1][4], 0);         // GLONASS L3: no base slot
  EXPECT_EQ(Rtcm24SignalIndex[6][1], kNoRow);  // NavIC S: base slot, no channel slot
  EXPECT_EQ(Rtcm24SignalIndex[6][2], 4);
  EXPECT_EQ(MsmSignalDataIndex[0][0], kNoRow);
  EXPECT_STREQ(SysRinexSignal[0][MsmSignalDataIndex[0][16]].code, "2X");
  EXPECT_STREQ(SysRinexSignal[5][SlotSignalDataIndex[5][2][1]].code, "7Z");
  EXPECT_STREQ(SysRinexSignal[4][SlotSignalDataIndex[4][2][0]].code, "6X/6Z");
  const int cdatOrder[7] = {0, 1, 3, 2, 5, 4, 6};
  for (int s = 0; s < 7; ++s) EXPECT_EQ(sysNav2Cdat(s), cdatOrder[s]);
}

TEST(SignalTables, StreamMaskSelectsSlots) {
  const struct { int system; std::uint8_t mask; std::uint32_t slots, high; } cases[] = {
      {2, 0x07, 0x15, 0x07},        // Galileo: slots 0, 2, 4
      {0, 0x0F, 0x39, 0xF0000000},  // GPS: 0, 3, 4, 5, mask moved to the top
      {4, 0x02, 0x08, 0x20000000},  // QZSS bit 1 -> slot 3
      {1, 0x06, 0x18, 0x06},        // GLONASS bit 1 -> 4, bit 2 -> 3
      {3, 0x00, 0x01, 0x00},        // SBAS: slot 0 always
      {5, 0x40, 0x04, 0x40},        // BeiDou bit 6 -> slot 2
      {5, 0x2F, 0x3D, 0x2F},        // BeiDou 0, 2, 3, 4, 5
      {6, 0x01, 0x10, 0x01},        // NavIC -> slot 4
      {9, 0xFF, 0x00, 0xFF},        // no such system
  };
  for (const auto& c : cases) {
    const std::uint64_t m = get_SlotMaskFromNavStreamMask(c.system, c.mask);
    EXPECT_EQ(static_cast<std::uint32_t>(m), c.slots) << c.system;
    EXPECT_EQ(static_cast<std::uint32_t>(m >> 32), c.high) << c.system;
  }
}

TEST(SignalTables, RatedFrequencies) {
  const struct { int band, system, slot; double hz; } cases[] = {
      // GLONASS G1 k = -7, P1 k = +6, G2 k = +6 and -7, L3 CDMA; then no signal: NavIC slot 0,
      // Galileo slot 1, slots 6 and -1.
      {0, 1, 0, 1598062500.0}, {1, 1, 13, 1605375000.0}, {2, 1, 13, 1248625000.0},
      {3, 1, 0, 1242937500.0}, {4, 1, 0, 1202025000.0},  {0, 6, 0, 1.0},
      {1, 2, 0, 1.0},          {6, 0, 0, 1.0},           {-1, 1, 7, 1.0},
  };
  for (const auto& c : cases) {
    EXPECT_DOUBLE_EQ(get_SvRatedFrequency(c.band, c.system, c.slot), c.hz)
        << c.band << " " << c.system << " " << c.slot;
  }
}

TEST(SignalTables, BeiDouCompatibility) {
  // Until the lock manager and the settings are wired: no shift, no skipped cell.
  for (int kind : {-1, 0, 1, 2, 3}) EXPECT_EQ(getMsmCompatPhaseOffset(3, 10, 5, kind), 0.0);
  EXPECT_EQ(ignoreMsmCell(0, 10, 5), 0);

  signalTableLinks.isBeiDou37compat = [](int n) { return n < 6 || n > 58; };
  signalTableLinks.isBeiDouMSMcompat = [](int n, int s) {
    return (s == 0 || s == 3) && n >= 6 && n <= 58;
  };
  const double halfB1I = 149896229.0 / 1561098000.0, halfB3 = 149896229.0 / 1268520000.0;
  const struct { int slot, sat, system, kind; double want; } shifts[] = {
      {0, 3, 5, 0, halfB1I}, {0, 10, 5, 0, 0.0}, {3, 10, 5, -1, halfB3}, {3, 10, 5, 4, halfB3},
      {3, 10, 5, 1, 0.0},    {3, 10, 5, 2, 0.0}, {3, 10, 0, -1, 0.0},
      {1, 3, 5, 0, 0.0}};  // slot 1 has no signal: no shift
  for (const auto& c : shifts) {
    EXPECT_DOUBLE_EQ(getMsmCompatPhaseOffset(c.slot, c.sat, c.system, c.kind), c.want)
        << c.slot << " " << c.sat << " " << c.system << " " << c.kind;
  }

  signalTableLinks.ignoreCompat = [](int n, int) { return n < 6 || n > 58; };
  EXPECT_EQ(ignoreMsmCell(0, 3, 5), 0);  // compatibility word not 5
  RcvSet.msmCompat = 5;
  EXPECT_EQ(ignoreMsmCell(0, 3, 5), 1);
  EXPECT_EQ(ignoreMsmCell(0, 10, 5), 0);
  EXPECT_EQ(ignoreMsmCell(0, 0, 5), 0);  // no satellite number
  EXPECT_EQ(ignoreMsmCell(0, 3, 0), 0);  // GPS never
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
