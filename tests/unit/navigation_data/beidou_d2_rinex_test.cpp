// BeiDou D2 against a real multi-GNSS broadcast file (2023-03-12, BDT week 897): every D2
// ephemeris of the file is encoded into the ten pages of subframe 1 by the test's own encoder,
// decoded, stored, and compared field by field with the file.
#include <gtest/gtest.h>

#include "beidou_d2_test_util.h"
#include "navigation_data/orbits/beidou_eph.h"
#include "unit/own_process.h"

using namespace bdsd2;
using namespace bdstest;

namespace {

const std::string kFile = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";

double half(int pow2) { return std::ldexp(0.5, -pow2) * 1.0000001; }

}  // namespace

TEST_OWN(BeidouD2Rinex, EveryD2RecordDecodesToTheFileValues) {
  bdsd2::Harness h;
  int n = 0;
  for (const RinexBds& r : readRinexBds(kFile)) {
    if (r.type != "D2") continue;
    SCOPED_TRACE("C" + std::to_string(r.prn) + " toc " + std::to_string(r.tocSow));
    const double* v = r.v;
    // Page 1 at the SOW of the record's clock reference, the others 3 s apart.
    h.pages(bds(r.prn), encodeD2(fromRinex(r), r.tocSow));
    const ZRT_EPH_CMP* p = h.eph(bds(r.prn), v[kToe] + 60, static_cast<int>(v[kWeek]));
    ASSERT_NE(p, nullptr);
    const ZRT_EPH_CMP& e = *p;
    ++n;
    EXPECT_EQ(e.prn, r.prn);
    EXPECT_EQ(e.flags, 128);
    EXPECT_EQ(e.week, static_cast<int>(v[kWeek]));
    EXPECT_EQ(e.toe, static_cast<std::uint32_t>(v[kToe]));
    EXPECT_EQ(e.toc, r.tocSow);
    EXPECT_EQ(e.tow, static_cast<std::uint32_t>(r.tocSow));
    EXPECT_EQ(e.health, static_cast<int>(v[kSatH1]));
    EXPECT_EQ(e.aode, static_cast<int>(v[kAode]));
    EXPECT_EQ(e.aodc, static_cast<int>(v[kAodc]));
    EXPECT_EQ(get_BeidouEphemerisAccuracy(e.urai), v[kAcc]);
    EXPECT_NEAR(e.tgd1, v[kTgd1], 1e-14);
    EXPECT_NEAR(e.tgd2, v[kTgd2], 1e-14);
    EXPECT_NEAR(e.af0, v[kAf0], half(33));
    EXPECT_NEAR(e.af1, v[kAf1], half(50) + 1e-7 * std::fabs(v[kAf1]));
    EXPECT_NEAR(e.af2, v[kAf2], half(66) + 1e-7 * std::fabs(v[kAf2]));
    EXPECT_NEAR(e.sqrtA, v[kSqrtA], half(19));
    EXPECT_NEAR(e.e, v[kE], half(33));
    const double rad = kBdsPi * half(31);
    EXPECT_NEAR(e.M0 * kBdsPi, v[kM0], rad);
    EXPECT_NEAR(e.Omega0 * kBdsPi, v[kOmega0], rad);
    EXPECT_NEAR(e.i0 * kBdsPi, v[kI0], rad);
    EXPECT_NEAR(e.omega * kBdsPi, v[kOmega], rad);
    EXPECT_NEAR(e.deltaN * kBdsPi, v[kDn], kBdsPi * half(43) + 1e-7 * std::fabs(v[kDn]));
    EXPECT_NEAR(e.OmegaDot * kBdsPi, v[kOmegaDot], kBdsPi * half(43) + 1e-7 * std::fabs(v[kOmegaDot]));
    EXPECT_NEAR(e.idot * kBdsPi, v[kIdot], kBdsPi * half(43) + 1e-7 * std::fabs(v[kIdot]));
    EXPECT_NEAR(e.crs, v[kCrs], half(6));
    EXPECT_NEAR(e.crc, v[kCrc], half(6));
    for (const auto& [got, want] : {std::pair{e.cuc, v[kCuc]}, {e.cus, v[kCus]}, {e.cic, v[kCic]}, {e.cis, v[kCis]}})
      EXPECT_NEAR(got, want, half(31) + 1e-7 * std::fabs(want));
  }
  EXPECT_EQ(n, 168);
}
