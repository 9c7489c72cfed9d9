// One reading of the board's satellite bytes. The board's satellite record names a channel's
// satellite by a system code (0 GPS, 1 GLONASS, 2 SBAS, 3 Galileo, 4 BeiDou, 5 QZSS, 6 NavIC,
// 7 L-band) and a number byte (the PRN; a GLONASS satellite's frequency number k as a signed byte;
// an L-band beam's step). The navigation layer counts systems otherwise (0 GPS, 1 GLONASS,
// 2 Galileo, 3 SBAS, 4 QZSS, 5 BeiDou, 6 NavIC). Each row fails on one of the readings the
// program once had: the code taken as the system (SBAS and Galileo, BeiDou and QZSS swapped), the
// GLONASS byte taken unsigned (k = -1 read as 255, "none") or as k + 7.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "gnss_link/meas_proc.h"
#include "positioning/chan_data.h"
#include "positioning/chan_satellite.h"
#include "unit/gnss_link/native_test_util.h"

namespace {

using namespace ntest;

constexpr int E = kSvUnknown;

struct Row {
  const char* what;
  int code, byte;
  int sys, number, si, sat;  // E: no satellite
  bool ownOrbit;
};
// GLONASS k = -7..+6 as the board sends them, each byte its own row below.
const Row kRows[] = {
    {"GPS G01", 0, 1, kSysGps, 1, 0, 0, true},
    {"GPS G32", 0, 32, kSysGps, 32, 31, 31, true},
    {"GPS PRN 0", 0, 0, E, 0, E, E, true},
    {"GPS PRN 33", 0, 33, E, 0, E, E, true},
    {"GLONASS k = -7 (0xF9)", 1, 0xF9, kSysGlonass, -7, 0, E, true},
    {"GLONASS k = -6 (0xFA)", 1, 0xFA, kSysGlonass, -6, 1, E, true},
    {"GLONASS k = -5 (0xFB)", 1, 0xFB, kSysGlonass, -5, 2, E, true},
    {"GLONASS k = -4 (0xFC)", 1, 0xFC, kSysGlonass, -4, 3, E, true},
    {"GLONASS k = -3 (0xFD)", 1, 0xFD, kSysGlonass, -3, 4, E, true},
    {"GLONASS k = -2 (0xFE)", 1, 0xFE, kSysGlonass, -2, 5, E, true},
    {"GLONASS k = -1 (0xFF), not 'none'", 1, 0xFF, kSysGlonass, -1, 6, E, true},
    {"GLONASS k = 0", 1, 0, kSysGlonass, 0, 7, E, true},
    {"GLONASS k = +1", 1, 1, kSysGlonass, 1, 8, E, true},
    {"GLONASS k = +2", 1, 2, kSysGlonass, 2, 9, E, true},
    {"GLONASS k = +3", 1, 3, kSysGlonass, 3, 10, E, true},
    {"GLONASS k = +4", 1, 4, kSysGlonass, 4, 11, E, true},
    {"GLONASS k = +5", 1, 5, kSysGlonass, 5, 12, E, true},
    {"GLONASS k = +6", 1, 6, kSysGlonass, 6, 13, E, true},
    {"GLONASS k = +7 (the last index the tables keep)", 1, 7, kSysGlonass, 7, 14, E, true},
    {"GLONASS byte 8: no frequency number", 1, 8, E, 0, E, E, true},
    {"GLONASS byte 0xF8 (k = -8): none", 1, 0xF8, E, 0, E, E, true},
    {"SBAS S120 on code 2, system 3", 2, 120, kSysSbas, 120, 0, 0, true},
    {"SBAS S147", 2, 147, kSysSbas, 147, 27, 27, true},
    {"SBAS PRN 148: none", 2, 148, E, 0, E, E, true},
    {"QZSS L1S on SBAS PRN 183 is J01, no orbit of its own", 2, 183, kSysQzss, 193, 0, 0, false},
    {"QZSS L1S on SBAS PRN 189 is J07", 2, 189, kSysQzss, 199, 6, 6, false},
    {"SBAS PRN 190: none", 2, 190, E, 0, E, E, true},
    {"Galileo E01 on code 3, system 2", 3, 1, kSysGalileo, 1, 0, 0, true},
    {"Galileo E36", 3, 36, kSysGalileo, 36, 35, 35, true},
    {"Galileo E37: none", 3, 37, E, 0, E, E, true},
    {"BeiDou C01 on code 4, system 5", 4, 1, kSysBeidou, 1, 0, 0, true},
    {"BeiDou C63", 4, 63, kSysBeidou, 63, 62, 62, true},
    {"BeiDou C64: none", 4, 64, E, 0, E, E, true},
    {"QZSS J01 on code 5, system 4", 5, 193, kSysQzss, 193, 0, 0, true},
    {"QZSS J07", 5, 199, kSysQzss, 199, 6, 6, true},
    {"QZSS PRN 1: none", 5, 1, E, 0, E, E, true},
    {"NavIC I01 on code 6, system 6", 6, 1, kSysNavic, 1, 0, 0, true},
    {"NavIC I14", 6, 14, kSysNavic, 14, 13, 13, true},
    {"NavIC I15: none", 6, 15, E, 0, E, E, true},
    {"L-band beam: no navigation satellite", 7, 3, E, 0, E, E, true},
    {"unknown code 8", 8, 1, E, 0, E, E, true},
    {"unknown code 255", 255, 1, E, 0, E, E, true},
};

TEST(ChanSatellite, BoardBytesToSatellites) {
  for (const Row& r : kRows) {
    SCOPED_TRACE(r.what);
    const int number = chanSatNumber(static_cast<std::uint8_t>(r.code), static_cast<std::uint8_t>(r.byte));
    ChanSatellite s;
    const bool known = chanSatellite(static_cast<std::uint8_t>(r.code), number, s);
    ASSERT_EQ(known, r.sys != E);
    SvIdType sv;
    bool own = true;
    ASSERT_EQ(chanSvId(static_cast<std::uint8_t>(r.code), number, sv, own), known);
    if (!known) continue;
    EXPECT_EQ(s.sys, r.sys);
    EXPECT_EQ(s.number, r.number);
    EXPECT_EQ(s.ownOrbit, r.ownOrbit);
    EXPECT_EQ(sv.sys, r.sys);
    EXPECT_EQ(sv.si, r.si);
    EXPECT_EQ(sv.sat, r.sat);
    EXPECT_EQ(own, r.ownOrbit);
    // The board's byte itself reads the same.
    ChanSatellite b;
    ASSERT_TRUE(chanSatellite(static_cast<std::uint8_t>(r.code), r.byte, b));
    EXPECT_EQ(b.number, r.number);
  }
}

// The signal's carrier follows the system of the signal tracked: a QZSS satellite's L1S is an
// SBAS signal, an L-band beam has no navigation system.
TEST(ChanSatellite, SignalSystemOfEachCode) {
  const int want[10] = {kSysGps, kSysGlonass, kSysSbas, kSysGalileo, kSysBeidou, kSysQzss, kSysNavic, E, E, E};
  for (int code = 0; code < 10; ++code) EXPECT_EQ(chanSignalSystem(static_cast<std::uint8_t>(code)), want[code]) << code;
}

// One satellite-data entry of 15 bytes: channel, code, number byte, track code, spare, state, a
// byte, a word, a float, two spare bytes.
std::string satEntry(int ch, int code, int byte) {
  return le(ch, 1) + le(code, 1) + le(byte, 1) + le(9, 1) + le(0, 1) + le(0, 1) + le(0, 1) + le(0, 2) + lef(1.0f) +
         le(0, 2);
}
// A signal entry of slot `slot` on channel `ch` with no words of interest.
std::string sigEntry(int slot, int ch) { return le(slot, 1) + le(ch, 1) + le(0, 4) + std::string(40, '\0'); }

// Through the raw decoder: every channel keeps its code, a GLONASS number signed, and each
// signal its nominal carrier: GPS L1 1575.42 and L2 1227.60 MHz; GLONASS G1 = 1602 + 0.5625 k,
// G2 = 1246 + 0.4375 k MHz (GLONASS ICD 3.3.1.1); SBAS L1; Galileo E1 1575.42 and E5a 1176.45;
// BeiDou B1I 1561.098; QZSS L1; NavIC L5 1176.45 MHz.
TEST(ChanSatellite, RawDecoderKeepsOneReadingAndGivesEachSignalItsCarrier) {
  struct Sig {
    int ch, code, byte, slot;
    int number;
    double mhz;
  };
  const Sig sigs[] = {
      {0, 0, 5, 0, 5, 1575.42},        {1, 0, 5, 2, 5, 1227.60},       {2, 1, 0xF9, 0, -7, 1602 - 7 * 0.5625},
      {3, 1, 0xFF, 0, -1, 1602 - 0.5625}, {4, 1, 0xFF, 2, -1, 1246 - 0.4375}, {5, 1, 6, 0, 6, 1602 + 6 * 0.5625},
      {6, 1, 6, 2, 6, 1246 + 6 * 0.4375}, {7, 1, 0, 2, 0, 1246},          {8, 2, 127, 0, 127, 1575.42},
      {9, 3, 11, 0, 11, 1575.42},      {10, 3, 11, 4, 11, 1176.45},    {11, 4, 23, 0, 23, 1561.098},
      {12, 5, 194, 0, 194, 1575.42},   {13, 6, 5, 4, 5, 1176.45},
  };
  RawFeed f;
  std::string sat = le(15, 1) + le(std::size(sigs), 1), meas = le(0, 1) + le(std::size(sigs), 1);
  for (const Sig& s : sigs) sat += satEntry(s.ch, s.code, s.byte), meas += sigEntry(s.slot, s.ch);
  f.put(epochStart(kEpochTime) + s2m(rec(7, sat)) + s2m(rec(11, meas)));
  for (const Sig& s : sigs) {
    SCOPED_TRACE(testing::Message() << "channel " << s.ch);
    EXPECT_EQ(Cdat[s.ch].sysCode, s.code);
    EXPECT_EQ(Cdat[s.ch].svNum, s.number);
    EXPECT_EQ(Cdat[s.ch].trackCode, 9);
    EXPECT_NEAR(board().sig[s.ch][s.slot].dFreq, s.mhz * 1e6, 1e-3);
  }
}

// The RTK marking reads each channel's satellite in the navigation layer's terms: system and
// number (GLONASS frequency number signed), so that the RTK satellite index of the marking is the
// one its tables give (GPS n, GLONASS k + 40, Galileo n + 47, SBAS n - 36, QZSS n - 81, BeiDou
// n + 118, NavIC n - 75).
TEST(ChanSatellite, RtkMarkingTakesSystemAndSignedNumber) {
  struct M {
    int code, byte;
    int present;
    int sys, number;
  };
  const M rows[] = {{0, 12, 1, kSysGps, 12},        {1, 0xFF, 1, kSysGlonass, -1}, {1, 0xF9, 1, kSysGlonass, -7},
                    {2, 129, 1, kSysSbas, 129},     {3, 30, 1, kSysGalileo, 30},   {4, 60, 1, kSysBeidou, 60},
                    {5, 199, 1, kSysQzss, 199},     {6, 9, 1, kSysNavic, 9},       {2, 186, 1, kSysQzss, 196},
                    {7, 4, 1, E, 0},                {3, 30, 0, E, 0},              {1, 9, 1, E, 0}};
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  PVTDataInstance.epochData.FreePointer(e);
  for (std::size_t k = 0; k < std::size(rows); ++k) {
    ChanData& c = Cdat[kCdatPerInput + k];
    c.bDataPresent = static_cast<std::uint8_t>(rows[k].present);
    c.sysCode = static_cast<std::uint8_t>(rows[k].code);
    c.svNum = static_cast<std::int16_t>(chanSatNumber(c.sysCode, static_cast<std::uint8_t>(rows[k].byte)));
  }
  RTK_MARK_CHAN out[kCdatPerInput];
  measProcMarkChans(kCdatPerInput, out);
  for (std::size_t k = 0; k < std::size(rows); ++k) {
    SCOPED_TRACE(testing::Message() << "row " << k);
    EXPECT_EQ(out[k].bDataPresent, rows[k].present);
    EXPECT_EQ(out[k].sys, rows[k].sys);
    if (rows[k].sys != E) {
      EXPECT_EQ(out[k].sv, rows[k].number);
    }
  }
  for (std::size_t k = 0; k < std::size(rows); ++k) Cdat[kCdatPerInput + k].bDataPresent = 0;
}

}  // namespace
