#include "navigation_data/sv_id.h"

#include <gtest/gtest.h>

namespace {

// Slots worked out by hand from the published per-system counts (GPS 32, GLONASS 15 frequency
// numbers / 30 orbital slots, Galileo 36, SBAS PRN 120-147, QZSS PRN 193-199, BeiDou 63,
// NavIC 14), laid end to end in that order.
struct SiCase {
  int system;
  int number;  // PRN, or GLONASS frequency number
  int slot;
};
const SiCase kSiCases[] = {
    {kSysGps, 1, 0},        {kSysGps, 32, 31},      {kSysGlonass, -7, 32},   {kSysGlonass, 0, 39},
    {kSysGlonass, 7, 46},   {kSysGalileo, 1, 47},   {kSysGalileo, 36, 82},   {kSysSbas, 120, 83},
    {kSysSbas, 147, 110},   {kSysQzss, 193, 111},   {kSysQzss, 199, 117},    {kSysBeidou, 1, 118},
    {kSysBeidou, 63, 180},  {kSysNavic, 1, 181},    {kSysNavic, 14, 194},
};

TEST(SvId, SignalNumberingSlots) {
  for (const auto& c : kSiCases) {
    SvIdType id;
    ASSERT_TRUE(svIdFromSiNumber(c.system, c.number, id)) << c.system << " " << c.number;
    int slot = -1;
    ASSERT_TRUE(id.find_SiSlot(slot));
    EXPECT_EQ(slot, c.slot) << c.system << " " << c.number;
    EXPECT_EQ(id.get_SiSlot(), c.slot);
  }
}

struct SatCase {
  int system;
  int number;  // PRN, or GLONASS orbital slot
  int slot;
};
const SatCase kSatCases[] = {
    {kSysGps, 1, 0},        {kSysGlonass, 1, 32},   {kSysGlonass, 30, 61},  {kSysGalileo, 1, 62},
    {kSysSbas, 120, 98},    {kSysSbas, 147, 125},   {kSysQzss, 193, 126},   {kSysBeidou, 1, 133},
    {kSysBeidou, 63, 195},  {kSysNavic, 1, 196},    {kSysNavic, 14, 209},
};

TEST(SvId, SatelliteNumberingSlots) {
  for (const auto& c : kSatCases) {
    SvIdType id;
    ASSERT_TRUE(svIdFromSatNumber(c.system, c.number, id));
    EXPECT_EQ(id.get_SatSlot(), c.slot) << c.system << " " << c.number;
  }
}

TEST(SvId, EverySlotMapsBackToItself) {
  for (int slot = 0; slot < SYS_SI_TOTAL; ++slot) {
    SvIdType id;
    ASSERT_TRUE(svIdFromSiSlot(slot, id)) << slot;
    EXPECT_EQ(id.get_SiSlot(), slot);
  }
  for (int slot = 0; slot < SYS_SAT_TOTAL; ++slot) {
    SvIdType id;
    ASSERT_TRUE(svIdFromSatSlot(slot, id)) << slot;
    EXPECT_EQ(id.get_SatSlot(), slot);
  }
  SvIdType id;
  EXPECT_FALSE(svIdFromSiSlot(-1, id));
  EXPECT_FALSE(svIdFromSiSlot(SYS_SI_TOTAL, id));
  EXPECT_FALSE(svIdFromSatSlot(SYS_SAT_TOTAL, id));
}

// Identities as they may arrive in outside data: refused by the checked forms.
TEST(SvId, OutOfRangeIdentitiesAreRefused) {
  const SvIdType bad[] = {
      {0, 7, 0, 0},     // no system 7
      {15, 1, 0, 0},    // GLONASS has 15 frequency numbers
      {32, 0, 0, 32},   // GPS index 32
      {0, 255, 0, 255}, // unknown
  };
  for (const auto& id : bad) {
    int slot = 1234;
    EXPECT_FALSE(id.find_SiSlot(slot));
    EXPECT_EQ(slot, 1234);
  }
  const SvIdType glonassSlot31{0, kSysGlonass, 0, 30};
  int slot = 0;
  EXPECT_FALSE(glonassSlot31.find_SatSlot(slot));
  EXPECT_FALSE(EmptySvId.isValidSi());
  EXPECT_FALSE(EmptySvId.isValidSat());

  SvIdType id;
  EXPECT_FALSE(svIdFromSiNumber(kSysGlonass, 8, id));
  EXPECT_FALSE(svIdFromSiNumber(kSysGlonass, -8, id));
  EXPECT_FALSE(svIdFromSiNumber(kSysSbas, 119, id));
  EXPECT_FALSE(svIdFromSiNumber(kSysSbas, 148, id));
  EXPECT_FALSE(svIdFromSiNumber(7, 1, id));
  EXPECT_FALSE(svIdFromSatNumber(kSysGlonass, 31, id));
  EXPECT_FALSE(svIdFromSatNumber(kSysGps, 0, id));
}

// GLONASS is tracked by frequency number: the satellite number is not known from it.
TEST(SvId, GlonassNumberingsAreIndependent) {
  SvIdType id;
  ASSERT_TRUE(svIdFromSiNumber(kSysGlonass, -7, id));
  EXPECT_EQ(id.si, 0);
  EXPECT_EQ(id.sat, kSvUnknown);
  ASSERT_TRUE(svIdFromSatNumber(kSysGlonass, 24, id));
  EXPECT_EQ(id.sat, 23);
  EXPECT_EQ(id.si, kSvUnknown);
}

// Inside the stores an unchecked bad identity is an internal fault.
TEST(SvIdDeathTest, UncheckedBadIdentityEndsTheProcess) {
  const SvIdType system7{0, 7, 0, 0};
  const SvIdType glonassSi15{15, kSysGlonass, 0, 0};
  EXPECT_EXIT(system7.get_SiSlot(), ::testing::ExitedWithCode(kExitBadSiIdentity & 0xFF), "");
  EXPECT_EXIT(glonassSi15.get_SiSlot(), ::testing::ExitedWithCode(kExitBadSiIdentity & 0xFF), "");
  EXPECT_EXIT(system7.get_SatSlot(), ::testing::ExitedWithCode(kExitBadSatIdentity & 0xFF), "");
}

}  // namespace
