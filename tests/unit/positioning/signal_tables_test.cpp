#include "positioning/signal_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <random>
#include <string>

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
struct OwnId {
  int system;
  int id;
  const char* code;
};
const OwnId kOwnIds[] = {{1, 14, "3X"}, {5, 27, "7Z"}};

// Carrier frequencies (Hz) by system and RINEX band digit, from the ICDs (IS-GPS-200/705,
// GLONASS ICD channel 0 and L3, Galileo OS SIS ICD, IS-QZSS, BeiDou ICDs, NavIC SPS ICD).
double icdFrequency(int system, char band) {
  switch (system) {
    case 0:
    case 3:
    case 4:
      if (band == '1') return 1575.42e6;
      if (band == '2') return 1227.60e6;
      if (band == '5') return 1176.45e6;
      if (band == '6') return 1278.75e6;
      break;
    case 1:
      if (band == '1') return 1602.0e6;
      if (band == '2') return 1246.0e6;
      if (band == '3') return 1202.025e6;
      break;
    case 2:
      if (band == '1') return 1575.42e6;
      if (band == '5') return 1176.45e6;
      if (band == '7') return 1207.14e6;
      if (band == '8') return 1191.795e6;
      if (band == '6') return 1278.75e6;
      break;
    case 5:
      if (band == '1') return 1575.42e6;
      if (band == '2') return 1561.098e6;
      if (band == '5') return 1176.45e6;
      if (band == '7') return 1207.14e6;
      if (band == '8') return 1191.795e6;
      if (band == '6') return 1268.52e6;
      break;
    case 6:
      if (band == '5') return 1176.45e6;
      if (band == '9') return 2492.028e6;
      break;
    default:
      break;
  }
  return 0.0;
}

std::string code2(const SysRinexSignalType& r) { return std::string(r.code, 2); }

TEST(SignalTables, RowCounts) {
  const int want[7] = {25, 10, 21, 6, 17, 25, 2};
  for (int s = 0; s < 7; ++s) EXPECT_EQ(SysRinexSignalNum[s], want[s]) << s;
}

TEST(SignalTables, EveryMsmIdIsTheStandardsIdOfItsSignal) {
  for (int s = 0; s < 7; ++s) {
    for (int r = 0; r < SysRinexSignalNum[s]; ++r) {
      const SysRinexSignalType& row = SysRinexSignal[s][r];
      if (row.name[0] == '\0') {
        EXPECT_EQ(row.msmId, 0) << "band row " << s << "/" << r;
        continue;
      }
      const std::string code = code2(row);
      bool own = false;
      for (const OwnId& o : kOwnIds) {
        if (o.system == s && code == o.code) {
          EXPECT_EQ(row.msmId, o.id) << s << " " << code;
          own = true;
        }
      }
      if (own) continue;
      int stdId = 0;
      for (const auto& [id, c] : kRtcmMsm[s]) {
        if (c == code) stdId = id;
      }
      EXPECT_EQ(row.msmId, stdId) << "system " << s << " code " << code;
    }
  }
}

TEST(SignalTables, EveryRowCarriesItsBandsIcdFrequency) {
  for (int s = 0; s < 7; ++s) {
    for (int r = 0; r < SysRinexSignalNum[s]; ++r) {
      const SysRinexSignalType& row = SysRinexSignal[s][r];
      EXPECT_DOUBLE_EQ(row.frequency, icdFrequency(s, row.code[0])) << s << " " << row.code;
    }
  }
}

struct SlotCase {
  int system;
  int id;
  int slot;
  double cycles;
  double hz;
};
const SlotCase kSlots[] = {
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

TEST(SignalTables, MsmIdsGiveTheirChannelSlotAndPhaseAlignment) {
  for (const SlotCase& c : kSlots) {
    float offset = 99.0f;
    EXPECT_EQ(getMsmSlotIdx(c.id, c.system, false, offset), c.slot) << c.system << "/" << c.id;
    EXPECT_FLOAT_EQ(offset, static_cast<float>(c.cycles * kC / c.hz)) << c.system << "/" << c.id;
  }
  float offset = 0.0f;
  // NavIC S has no tracking slot and no band slot.
  EXPECT_EQ(getMsmSlotIdx(8, 6, false, offset), 255);
  EXPECT_EQ(getMsmSlotIdx(8, 6, true, offset), 255);
}

TEST(SignalTables, UnknownIdsGiveMinusOne) {
  for (int s = 0; s < 7; ++s) {
    for (int id : {0, 33, -1, 1000}) {
      float offset = 5.0f;
      EXPECT_EQ(getMsmSlotIdx(id, s, true, offset), -1) << s << "/" << id;
      EXPECT_EQ(offset, 0.0f);
    }
  }
  float offset = 5.0f;
  EXPECT_EQ(getMsmSlotIdx(1, 0, true, offset), -1);   // reserved id
  EXPECT_EQ(getMsmSlotIdx(18, 2, true, offset), -1);  // E5 AltBOC: no row
}

// The system number of the RTCM 3 decoder comes from the message number on the wire.
TEST(SignalTables, SystemOutsideTheTableIsRefused) {
  for (int s : {-1000, -1, 7, 8, 255, 1 << 30}) {
    for (int id = 0; id <= 33; ++id) {
      float offset = 5.0f;
      EXPECT_EQ(getMsmSlotIdx(id, s, true, offset), -1) << s << "/" << id;
      EXPECT_EQ(offset, 0.0f);
    }
    EXPECT_EQ(getMsmSignalIdx(0, 1, s), 0);
    EXPECT_EQ(get_SvRatedFrequency(0, s, 7), 1.0);
    EXPECT_EQ(sysNav2Cdat(s), -1);
  }
}

TEST(SignalTables, BandSlotOnlyWhenAskedFor) {
  // GPS 2L (id 16) has no slot of its own; in the L2 band it rides on the L2C slot.
  float offset = 0.0f;
  EXPECT_EQ(getMsmSlotIdx(16, 0, false, offset), 255);
  EXPECT_EQ(getMsmSlotIdx(16, 0, true, offset), 3);
  // Galileo 1C (id 2) -> E1 slot 0, 5Q (23) -> E5a slot 4, BeiDou 2Q (3) -> B1I slot 0.
  EXPECT_EQ(getMsmSlotIdx(2, 2, true, offset), 0);
  EXPECT_EQ(getMsmSlotIdx(23, 2, true, offset), 4);
  EXPECT_EQ(getMsmSlotIdx(3, 5, true, offset), 0);
}

TEST(SignalTables, BandSlotCarriesASignalOfTheSameFrequency) {
  for (int s = 0; s < 7; ++s) {
    for (int r = 0; r < SysRinexSignalNum[s]; ++r) {
      const SysRinexSignalType& row = SysRinexSignal[s][r];
      if (row.bandSlot == kNoSlot) continue;
      ASSERT_GE(row.bandSlot, 0);
      ASSERT_LT(row.bandSlot, 6);
      const double f = get_SvRatedFrequency(row.bandSlot, s, 7);
      EXPECT_DOUBLE_EQ(f, row.frequency) << s << " " << row.code;
    }
  }
}

TEST(SignalTables, SlotAndIdRoundTrip) {
  for (int s = 0; s < 7; ++s) {
    for (int slot = 0; slot < 6; ++slot) {
      const int id = getMsmSignalIdx(slot, 1, s);
      if (id == 0) {
        EXPECT_EQ(SlotSignalDataIndex[s][slot][0], kNoRow);
        continue;
      }
      float offset = 0.0f;
      EXPECT_EQ(getMsmSlotIdx(id, s, false, offset), slot) << s << "/" << slot;
    }
  }
  EXPECT_EQ(getMsmSignalIdx(-1, 1, 0), 0);
  EXPECT_EQ(getMsmSignalIdx(6, 1, 0), 0);
  EXPECT_EQ(getMsmSignalIdx(1, 1, 6), 0);  // NavIC has no slot 1
}

TEST(SignalTables, BeiDou3SatellitesUseB2bOnSlotTwo) {
  EXPECT_EQ(getMsmSignalIdx(2, 30, 5), 14);  // no phase-3 knowledge: B2I
  signalTableLinks.isBeiPhase3 = [](int n) { return n >= 19; };
  EXPECT_EQ(getMsmSignalIdx(2, 30, 5), 27);
  EXPECT_EQ(getMsmSignalIdx(2, 12, 5), 14);
  EXPECT_EQ(getMsmSignalIdx(0, 30, 5), 2);
  EXPECT_EQ(getMsmSignalIdx(2, 30, 2), 16);  // only BeiDou
}

TEST(SignalTables, IndexTablesAgree) {
  signalDataInitOnce();  // harmless to run again
  const int gpsBase[6] = {1, 2, 5, 4, 6, 3};
  for (int slot = 0; slot < 6; ++slot) {
    EXPECT_EQ(Rtcm24SlotIndex[0][slot], gpsBase[slot]);
    EXPECT_EQ(Rtcm24SignalIndex[0][gpsBase[slot]], slot);
  }
  EXPECT_EQ(Rtcm24SignalIndex[0][7], kNoRow);
  EXPECT_EQ(Rtcm24SlotIndex[1][4], 0);  // GLONASS L3: no base slot
  EXPECT_EQ(Rtcm24SignalIndex[6][1], kNoRow);  // NavIC S: base slot, no channel slot
  EXPECT_EQ(Rtcm24SignalIndex[6][2], 4);
  EXPECT_EQ(MsmSignalDataIndex[0][0], kNoRow);
  EXPECT_STREQ(SysRinexSignal[0][MsmSignalDataIndex[0][16]].code, "2X");
  EXPECT_STREQ(SysRinexSignal[5][SlotSignalDataIndex[5][2][1]].code, "7Z");
  EXPECT_STREQ(SysRinexSignal[4][SlotSignalDataIndex[4][2][0]].code, "6X/6Z");
}

TEST(SignalTables, ChannelDataOrder) {
  const int want[7] = {0, 1, 3, 2, 5, 4, 6};
  for (int s = 0; s < 7; ++s) EXPECT_EQ(sysNav2Cdat(s), want[s]);
}

TEST(SignalTables, StreamMaskSelectsSlots) {
  struct Case {
    int system;
    std::uint8_t mask;
    std::uint32_t slots;
    std::uint32_t high;
  };
  const Case cases[] = {
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
  for (const Case& c : cases) {
    const std::uint64_t m = get_SlotMaskFromNavStreamMask(c.system, c.mask);
    EXPECT_EQ(static_cast<std::uint32_t>(m), c.slots) << c.system;
    EXPECT_EQ(static_cast<std::uint32_t>(m >> 32), c.high) << c.system;
  }
}

TEST(SignalTables, RatedFrequencies) {
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(0, 1, 0), 1598062500.0);   // GLONASS k = -7, G1
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(1, 1, 13), 1605375000.0);  // k = +6, P1
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(2, 1, 13), 1248625000.0);  // k = +6, G2
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(3, 1, 0), 1242937500.0);   // k = -7, G2
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(4, 1, 0), 1202025000.0);   // L3 CDMA
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(3, 0, 0), 1227600000.0);
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(0, 5, 0), 1561098000.0);
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(3, 5, 0), 1268520000.0);
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(2, 4, 0), 1278750000.0);
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(0, 6, 0), 1.0);  // NavIC has no slot 0
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(1, 2, 0), 1.0);  // nor Galileo slot 1
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(6, 0, 0), 1.0);
  EXPECT_DOUBLE_EQ(get_SvRatedFrequency(-1, 1, 7), 1.0);
}

TEST(SignalTables, DebugPhaseOffsetAddsToOneSignal) {
  DebugPhaseOffsetSys = 0;
  DebugPhaseOffsetSignal = 2;
  DebugPhaseOffset = 0.5f;
  float offset = 0.0f;
  EXPECT_EQ(getMsmSlotIdx(2, 0, false, offset), 0);
  EXPECT_FLOAT_EQ(offset, static_cast<float>(0.5 * kC / 1575.42e6));
  EXPECT_EQ(getMsmSlotIdx(17, 0, false, offset), 3);
  EXPECT_FLOAT_EQ(offset, static_cast<float>(0.25 * kC / 1227.6e6));
  EXPECT_EQ(getMsmSlotIdx(2, 4, false, offset), 0);
  EXPECT_FLOAT_EQ(offset, 0.0f);
}

TEST(SignalTables, BeiDouCompatibility) {
  // Until the lock manager and the settings are wired: no shift, no skipped cell.
  for (int kind : {-1, 0, 1, 2, 3}) EXPECT_EQ(getMsmCompatPhaseOffset(3, 10, 5, kind), 0.0);
  EXPECT_EQ(ignoreMsmCell(0, 10, 5), 0);

  signalTableLinks.isBeiDou37compat = [](int n) { return n < 6 || n > 58; };
  signalTableLinks.isBeiDouMSMcompat = [](int n, int s) { return (s == 0 || s == 3) && n >= 6 && n <= 58; };
  EXPECT_DOUBLE_EQ(getMsmCompatPhaseOffset(0, 3, 5, 0), 149896229.0 / 1561098000.0);
  EXPECT_EQ(getMsmCompatPhaseOffset(0, 10, 5, 0), 0.0);
  EXPECT_DOUBLE_EQ(getMsmCompatPhaseOffset(3, 10, 5, -1), 149896229.0 / 1268520000.0);
  EXPECT_DOUBLE_EQ(getMsmCompatPhaseOffset(3, 10, 5, 4), 149896229.0 / 1268520000.0);
  EXPECT_EQ(getMsmCompatPhaseOffset(3, 10, 5, 1), 0.0);
  EXPECT_EQ(getMsmCompatPhaseOffset(3, 10, 5, 2), 0.0);
  EXPECT_EQ(getMsmCompatPhaseOffset(3, 10, 0, -1), 0.0);
  EXPECT_EQ(getMsmCompatPhaseOffset(1, 3, 5, 0), 0.0);  // slot without a signal: no shift

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
