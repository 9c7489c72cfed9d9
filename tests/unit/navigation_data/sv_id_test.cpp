#include "navigation_data/sv_id.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// Slots by hand from the published counts (GPS 32, GLONASS 15 frequencies / 30 orbital slots, Galileo 36, SBAS
// 120-147, QZSS 193-199, BeiDou 63, NavIC 14), end to end in that order. Slot -1: refused.
struct Case { bool sat; int system, number, slot; };  // sat: satellite numbering (GLONASS orbital slot), else signal
const Case kCases[] = {
    {false, kSysGps, 1, 0}, {false, kSysGps, 32, 31}, {false, kSysGlonass, -7, 32}, {false, kSysGlonass, 0, 39},
    {false, kSysGlonass, 7, 46}, {false, kSysGalileo, 1, 47}, {false, kSysGalileo, 36, 82},
    {false, kSysSbas, 120, 83}, {false, kSysSbas, 147, 110}, {false, kSysQzss, 193, 111}, {false, kSysQzss, 199, 117},
    {false, kSysBeidou, 1, 118}, {false, kSysBeidou, 63, 180}, {false, kSysNavic, 1, 181},
    {false, kSysNavic, 14, 194}, {true, kSysGps, 1, 0}, {true, kSysGlonass, 1, 32}, {true, kSysGlonass, 30, 61},
    {true, kSysGalileo, 1, 62}, {true, kSysSbas, 120, 98}, {true, kSysSbas, 147, 125}, {true, kSysQzss, 193, 126},
    {true, kSysBeidou, 1, 133}, {true, kSysBeidou, 63, 195}, {true, kSysNavic, 1, 196}, {true, kSysNavic, 14, 209},
    {false, kSysGlonass, 8, -1}, {false, kSysGlonass, -8, -1}, {false, kSysSbas, 119, -1}, {false, kSysSbas, 148, -1},
    {false, 7, 1, -1}, {true, kSysGlonass, 31, -1}, {true, kSysGps, 0, -1}
};

TEST(SvId, NumbersToSlots) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(testing::Message() << (c.sat ? "sat " : "si ") << c.system << " " << c.number);
    SvIdType id;
    const bool ok = c.sat ? svIdFromSatNumber(c.system, c.number, id) : svIdFromSiNumber(c.system, c.number, id);
    ASSERT_EQ(ok, c.slot >= 0);
    if (!ok) continue;
    int slot = -1;
    EXPECT_TRUE(c.sat ? id.find_SatSlot(slot) : id.find_SiSlot(slot));
    EXPECT_EQ(std::tuple(slot, c.sat ? id.get_SatSlot() : id.get_SiSlot()), std::tuple(c.slot, c.slot));
    // GLONASS is tracked by frequency number: the other numbering is not known from it.
    if (c.system == kSysGlonass) { EXPECT_EQ(c.sat ? id.si : id.sat, kSvUnknown); }
  }
}

TEST(SvIdDeathTest, UncheckedBadIdentityEndsTheProcess) {
  const SvIdType system7{0, 7, 0, 0};
  const SvIdType glonassSi15{15, kSysGlonass, 0, 0};
  EXPECT_EXIT(system7.get_SiSlot(), ::testing::ExitedWithCode(kExitBadSiIdentity & 0xFF), "");
  EXPECT_EXIT(glonassSi15.get_SiSlot(), ::testing::ExitedWithCode(kExitBadSiIdentity & 0xFF), "");
  EXPECT_EXIT(system7.get_SatSlot(), ::testing::ExitedWithCode(kExitBadSatIdentity & 0xFF), "");
}

}  // namespace
