// Navigation data in the settings image: the fixed layout, a restart that gives back every kept
// record, and damage confined to the block it hits.
#include "navigation_data/store/nav_nv_blocks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "fixtures/nav_files.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "platform/file_nvm.h"
#include "platform/nv_block.h"
#include "platform/ram_nvm.h"
#include "unit/platform/temp_run_dir.h"

namespace {

struct Block {
  std::uint16_t id;
  std::uint32_t size, dataAt;
};

// The image's blocks in their order, read from the raw bytes.
std::vector<Block> walkImage() {
  RamNvmLock l;
  const std::uint8_t* img = RamNvm::image();
  std::vector<Block> out;
  for (std::uint32_t at = RamNvm::kHeaderSize; at < RamNvm::allocCursor();) {
    const std::uint8_t* h = img + at;
    const std::uint32_t len = h[2] | (h[3] << 8) | (h[4] << 16);
    out.push_back({static_cast<std::uint16_t>(h[0] | (h[1] << 8)), len, at + 6});
    at += 6 + len + (h[5] & 1);
  }
  return out;
}

std::vector<std::uint8_t> bytes(std::mt19937& g, int n) {
  std::vector<std::uint8_t> v(static_cast<std::size_t>(n));
  for (auto& b : v) b = static_cast<std::uint8_t>(g());
  return v;
}

SvIdType si(int sys, int i) { return SvIdType{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(sys), 0, 255}; }
SvIdType sat(int sys, int i) { return SvIdType{255, static_cast<std::uint8_t>(sys), 0, static_cast<std::uint8_t>(i)}; }

class NavNvBlocks : public TempRunDir {
 protected:
  void restart() {
    ASSERT_TRUE(FileNvmSave(0, true));
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
  }
  // Random records for every block, GPS ephemerides from the broadcast file.
  void fill() {
    std::mt19937 g(7);
    const auto recs = navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n"));
    for (int sys = 0; sys < SYS_NUM; ++sys) {
      utc[sys] = bytes(g, kUtcRecordSize[sys]);
      ASSERT_TRUE(nav_nv::store_NvRamUtcData(sys, utc[sys].data()));
      for (int i = 0; i < SYS_SI_NUM[sys]; ++i) {
        auto& e = eph[SYS_SI_BASE_NUM[sys] + i];
        e = bytes(g, kEphRecordSize[sys]);
        if (sys == kSysGps) std::memcpy(e.data(), &recs[static_cast<std::size_t>(i) * 3].eph, sizeof(ZRT_EPH_GPS));
        ASSERT_TRUE(nav_nv::store_NvRamEphemerisData(si(sys, i), 0, e.data()));
        EXPECT_FALSE(nav_nv::store_NvRamEphemerisData(si(sys, i), 1, e.data()));  // data type 1 is never kept
      }
      for (int i = 0; i < SYS_SAT_NUM[sys]; ++i) {
        alm[SYS_SAT_BASE_NUM[sys] + i] = bytes(g, kAlmRecordSize[sys]);
        ASSERT_TRUE(nav_nv::store_NvRamAlmanacData(sat(sys, i), alm[SYS_SAT_BASE_NUM[sys] + i].data()));
      }
    }
    for (int k = 0; k < 2; ++k)
      for (int s = 0; s < 30; ++s) flags.type[k][s] = static_cast<std::uint8_t>(g());
    ASSERT_TRUE(nav_nv::store_NvRamGloMflags(flags));
  }
  // Which kept records came back unchanged: ids of the blocks that did not.
  std::vector<int> lost() {
    std::vector<int> out;
    std::uint8_t buf[256];
    for (int sys = 0; sys < SYS_NUM; ++sys) {
      if (!nav_nv::restore_NvRamUtcData(sys, 0, buf) || std::memcmp(buf, utc[sys].data(), utc[sys].size()) != 0)
        out.push_back(nav_nv::kUtcBlockId + sys);
      for (int i = 0; i < SYS_SI_NUM[sys]; ++i) {
        const int g = SYS_SI_BASE_NUM[sys] + i;
        if (!nav_nv::restore_NvRamEphemerisData(si(sys, i), 0, buf) || std::memcmp(buf, eph[g].data(), eph[g].size()) != 0)
          out.push_back(nav_nv::kEphBlockId + g);
      }
      for (int i = 0; i < SYS_SAT_NUM[sys]; ++i) {
        const int g = SYS_SAT_BASE_NUM[sys] + i;
        if (!nav_nv::restore_NvRamAlmanacData(sat(sys, i), buf) || std::memcmp(buf, alm[g].data(), alm[g].size()) != 0)
          out.push_back(nav_nv::kAlmBlockId + g);
      }
    }
    CorrData::GloMflagsType f{};
    if (!nav_nv::restore_NvRamGloMflags(f) || std::memcmp(&f, &flags, sizeof f) != 0) out.push_back(nav_nv::kGloMflagsBlockId);
    return out;
  }

  std::vector<std::uint8_t> utc[SYS_NUM], eph[SYS_SI_TOTAL], alm[SYS_SAT_TOTAL];
  CorrData::GloMflagsType flags{};
};

TEST_F(NavNvBlocks, FixedAllocationOrder) {
  FileNvmLoad();
  nav_nv::allocate_NvRamData();
  std::vector<std::pair<int, int>> want;
  for (int sys = 0; sys < SYS_NUM; ++sys) {
    want.emplace_back(910 + sys, kUtcRecordSize[sys]);
    for (int i = 0; i < SYS_SI_NUM[sys]; ++i) want.emplace_back(398 + SYS_SI_BASE_NUM[sys] + i, kEphRecordSize[sys]);
    for (int i = 0; i < SYS_SAT_NUM[sys]; ++i) want.emplace_back(654 + SYS_SAT_BASE_NUM[sys] + i, kAlmRecordSize[sys]);
  }
  want.emplace_back(864, 60);
  const auto got = walkImage();
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < want.size(); ++i)
    EXPECT_EQ(std::pair(int(got[i].id), int(got[i].size)), want[i]) << "block " << i;
  EXPECT_EQ(want.size(), 7u + 195u + 210u + 1u);
}

// Every kept record comes back after a restart; positions from the restored ephemerides are
// the same to the bit. Clearing the ephemerides keeps almanacs and UTC.
TEST_F(NavNvBlocks, RestartRestoresEveryKeptRecord) {
  FileNvmLoad();
  nav_nv::allocate_NvRamData();
  fill();
  restart();
  EXPECT_TRUE(lost().empty());
  for (int i = 0; i < SYS_SI_NUM[kSysGps]; ++i) {
    ZRT_EPH_GPS before, after;
    std::memcpy(&before, eph[i].data(), sizeof before);
    ASSERT_TRUE(nav_nv::restore_NvRamEphemerisData(si(kSysGps, i), 0, &after));
    EXPECT_FALSE(nav_nv::restore_NvRamEphemerisData(si(kSysGps, i), 1, &after));
    for (double dt : {-3600.0, 0.0, 5400.0}) {
      double p0[3], p1[3], v0[3], v1[3], r0, r1;
      compute_SatPositionByEphemeris(before.toe + dt, kSysGps, before, p0, v0, &r0);
      compute_SatPositionByEphemeris(after.toe + dt, kSysGps, after, p1, v1, &r1);
      EXPECT_EQ(std::memcmp(p0, p1, sizeof p0), 0);
      EXPECT_EQ(std::memcmp(v0, v1, sizeof v0), 0);
      EXPECT_EQ(r0, r1);
    }
  }
  const struct { int sys; bool ok; } gpsAlike[] = {{kSysGps, true}, {kSysGlonass, false}, {kSysGalileo, true},
                                                   {kSysSbas, true}, {kSysBeidou, true}, {7, false}, {-1, false}};
  for (const auto& r : gpsAlike) {
    ZRT_UTC_GPS u{};
    EXPECT_EQ(nav_nv::restore_NvRamUtcDataGpsAlike(r.sys, &u), r.ok) << r.sys;
    if (r.ok) {
      EXPECT_EQ(std::memcmp(&u, utc[r.sys].data(), sizeof u), 0) << r.sys;
    }
  }

  nav_nv::clear_NvRamEphemerisData();
  restart();
  std::vector<int> want;
  for (int g = 0; g < SYS_SI_TOTAL; ++g) want.push_back(nav_nv::kEphBlockId + g);
  auto got = lost();
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, want);

  nav_nv::clear_NvRamEphemerisData(si(kSysGps, 0));  // one satellite's and one almanac slot's blocks alone
  nav_nv::clear_NvRamAlmanacData(sat(kSysGalileo, 2));
  restart();
  got = lost();
  EXPECT_EQ(std::count(got.begin(), got.end(), nav_nv::kAlmBlockId + SYS_SAT_BASE_NUM[kSysGalileo] + 2), 1);
  EXPECT_EQ(got.size(), want.size() + 1);
}

// One byte changed in the stored file invalidates its own block and no other.
TEST_F(NavNvBlocks, OneCorruptedByteInvalidatesOnlyItsBlock) {
  FileNvmLoad();
  nav_nv::allocate_NvRamData();
  fill();
  ASSERT_TRUE(FileNvmSave(0, true));
  const auto blocks = walkImage();
  const std::string good = readFile(".gnss.nvm");
  std::mt19937 g(11);
  for (int trial = 0; trial < 25; ++trial) {
    const Block& b = blocks[g() % blocks.size()];
    std::string img = good;
    img[b.dataAt + g() % b.size] ^= static_cast<char>(1 + g() % 255);
    writeFile(".gnss.nvm", img);
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    EXPECT_EQ(lost(), std::vector<int>{b.id}) << "block " << b.id;
  }
}

}  // namespace
