// A restart through the settings image gives back the BeiDou records the D1 decoder wrote: the
// ephemeris (marked as restored, usable again, with the same polynomial), the almanac and the
// UTC parameters.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>

#include "beidou_test_util.h"
#include "navigation_data/store/nav_nv_blocks.h"
#include "platform/file_nvm.h"
#include "unit/platform/temp_run_dir.h"
#include "unit/own_process.h"

using namespace bdstest;

namespace {

constexpr std::size_t kPolyBytes = offsetof(SatData::PolynomEntryType, flags) + 1;

constexpr double kT = 345900;

struct Poly {
  std::uint8_t status = 0;
  SatData::PolynomEntryType entry{};
};

Poly read(SvIdType id) {
  Poly p;
  std::uint16_t iod = kPolyNoIod;
  int dataType = 0;
  float acc = 0;
  double dt = 0;
  const auto* e = SatPolynomStoreInstance.get_PolynomData(id, kT, false, false, &p.status, &iod, &dataType, &acc, &dt);
  if (e != nullptr) {
    p.entry = *e;
    SatPolynomStoreInstance.free_PolynomData();
  }
  return p;
}

class BeidouRestart : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    SatPolynomStoreInstance.Init();
  }
};

}  // namespace

TEST_F(BeidouRestart, DecodedRecordsComeBackFromTheImage) {
  testproc::inOwnProcess([&] {
    ZRT_EPH_CMP eph{};
    ZRT_ALM_CMP alm{};
    ZRT_UTC_CMP utc{};
    Poly before;
    {
      Harness h;
      nav_nv::allocate_NvRamData();  // in the blank image the harness starts from
      h.step(kT - 300, 810);         // the start-up step, before any record
      std::map<std::string, Vector> v;
      for (const auto& [name, vec] : loadD1Vectors()) v[name] = vec;
      for (const char* n :
           {"ephD1NAVSF1", "ephD1NAVSF2", "ephD1NAVSF3", "almD1NAVSF5p8", "almD1NAVSF5p1", "almD1NAVSF5p10"})
        h.feed(v[n].sv, v[n].w);
      h.step(kT, 810);
      ASSERT_NE(h.eph(bds(6), kT, 810), nullptr);
      eph = *h.eph(bds(6), kT, 810);
      ASSERT_NE(h.alm(24), nullptr);
      alm = *h.alm(24);
      ASSERT_NE(h.utc(), nullptr);
      utc = *h.utc();
      before = read(bds(6));
      ASSERT_EQ(before.status, kPolyOk);
      EXPECT_EQ(eph.flags & kEphFlagRestored, 0);
      ASSERT_TRUE(FileNvmSave(0, true));
    }
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    SatPolynomStoreInstance.Init();
    SatelliteDataProcessor s;
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.cycleKnown[kSysBeidou] = true;
    ep.time.cycle[kSysBeidou] = 810;
    ep.time.sec[kSysBeidou] = kT;
    s.update(ep);
    const ExtEphRecord* r = s.get_EphLastData(kSysBeidou, 5, 0);
    ASSERT_NE(r, nullptr);
    const auto& back = *reinterpret_cast<const ZRT_EPH_CMP*>(r->native);
    EXPECT_EQ(back.flags, kEphFlagRestored);
    ZRT_EPH_CMP cmp = back;
    cmp.flags = eph.flags;
    EXPECT_EQ(std::memcmp(&cmp, &eph, sizeof eph - 1), 0);
    EXPECT_TRUE(s.is_EphemerisValid(kSysBeidou, 5, 0, SatelliteDataProcessor::kNewest));
    const Poly after = read(bds(6));
    ASSERT_EQ(after.status, kPolyOk);
    // Every field up to the last; the tail padding holds whatever the memory held.
    EXPECT_EQ(std::memcmp(&after.entry, &before.entry, kPolyBytes), 0);
    const void* a = s.get_AlmLastData(kSysBeidou, 24);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(std::memcmp(a, &alm, sizeof alm - 1), 0);
    const void* u = s.get_UtcLastData(kSysBeidou);
    ASSERT_NE(u, nullptr);
    EXPECT_EQ(std::memcmp(u, &utc, sizeof utc - 1), 0);
  });
}
