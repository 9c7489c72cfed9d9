// GLONASS records through the store: outside records judged first, day numbers carried, the
// polynomial published once the almanac confirms the satellite, the satellite types kept in the
// settings image, the time offset to GPS.
#include <gtest/gtest.h>

#include <memory>

#include "published_almanac.h"
#include "unit/navigation_data/orbit_formulas.h"
#include "navigation_data/orbits/glonass_eph.h"
#include "navigation_data/store/nav_nv_blocks.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/file_nvm.h"
#include "unit/platform/temp_run_dir.h"

namespace {

constexpr std::uint32_t kTb = 11700;
const SvIdType kFreq1{8, kSysGlonass, 0, kSvUnknown};  // frequency +1

ZRT_EPH_GLN record(std::uint32_t tb = kTb, std::uint16_t nt = 100) {
  ZRT_EPH_GLN e{};
  e.slot = 2;
  e.freqNum = 1;
  e.tb = tb;
  e.NT = nt;
  e.pos[0] = 7003.008789, e.pos[1] = -12206.626953, e.pos[2] = 21280.765625;
  e.vel[0] = 0.7835417, e.vel[1] = 2.8042530, e.vel[2] = 1.3525150;
  e.tauN = 1e-5;
  e.FT = 1;
  e.flags = 2 << 12;  // M: GLONASS-K
  return e;
}

ZRT_ALM_GLN almanac() {
  ZRT_ALM_GLN a{};
  a.slot = 2;
  a.freqNum = 1;
  a.health = 1 | 2 << 1;  // Cn set, M 2
  a.M = 2;
  a.NA = 100;
  a.tLambda = 10000;
  a.ecc = 0.001f;
  return a;
}

SatDataEpoch epochAt(double t) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysGlonass] = t;
  ep.time.sec[kSysGps] = 1000;
  ep.monoSec = t;
  return ep;
}

class GloStore : public TempRunDir {
 protected:
  void SetUp() override {
    TempRunDir::SetUp();
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    SatPolynomStoreInstance.Init();
    s = std::make_unique<SatelliteDataProcessor>();
    s->update(epochAt(kTb));
  }
  const ZRT_EPH_GLN* stored() {
    const ExtEphRecord* r = s->get_EphLastData(kSysGlonass, kFreq1.si, 0);
    return r ? reinterpret_cast<const ZRT_EPH_GLN*>(r->native) : nullptr;
  }
  std::unique_ptr<SatelliteDataProcessor> s;
};

TEST_F(GloStore, OutsideRecordsAreJudgedBeforeTheyAreKept) {
  struct Row {
    double radius;
    double tau;
    int taken;
  } rows[] = {{25500, 1e-5, 1}, {18999, 1e-5, 0}, {25500, 0, 0}};
  for (const Row& r : rows) {
    SetUp();
    ZRT_EPH_GLN e = record();
    e.pos[0] = e.pos[1] = 0, e.pos[2] = r.radius;
    e.vel[0] = 3, e.vel[1] = e.vel[2] = 0;
    e.tauN = r.tau;
    EXPECT_EQ(s->update_EphemerisData(kFreq1, 0, &e, 0, true, true, false), r.taken) << r.radius;
  }
}

TEST_F(GloStore, ReadyWithinItsSpanOfTb) {
  ZRT_EPH_GLN e = record();
  ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &e, 1, true, false, false), 1);
  struct Row {
    double t;
    bool ready;
  } rows[] = {{kTb, true}, {kTb + 1860, true}, {kTb - 1860, true}, {kTb + 1861, false}, {kTb - 1861, false}};
  for (const Row& r : rows) {
    s->update(epochAt(r.t));
    EXPECT_EQ(s->is_EphemerisValid(kSysGlonass, kFreq1.si, 0, SatelliteDataProcessor::kNewest), r.ready) << r.t;
  }
}

TEST_F(GloStore, DayNumberOfARecordWithoutOneIsCarriedOver) {
  ZRT_EPH_GLN a = record(85500, 1461);
  ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &a, 1, true, false, false), 1);
  ZRT_EPH_GLN b = record(900, 0);
  ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &b, 2, true, false, false), 1);
  s->update(epochAt(900));
  ASSERT_NE(stored(), nullptr);
  EXPECT_EQ(stored()->NT, 1);  // past midnight of the last day of the four years
}

TEST_F(GloStore, PolynomialPublishedOnceTheAlmanacConfirmsTheSatellite) {
  ZRT_EPH_GLN e = record();
  ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &e, 1, true, false, false), 1);
  const double t = kTb + 200;
  s->update(epochAt(t));
  std::uint8_t status;
  std::uint16_t iod = kPolyNoIod;
  int dataType;
  float acc;
  double dt;
  EXPECT_EQ(SatPolynomStoreInstance.get_PolynomData(kFreq1, t, false, false, &status, &iod, &dataType, &acc, &dt),
            nullptr);
  EXPECT_EQ(status, kPolyAlmCheckMissing);

  ZRT_ALM_GLN a = almanac();
  SvIdType slot2 = kFreq1;
  slot2.sat = 1;
  ASSERT_EQ(s->update_AlmanacData(slot2, 0, &a, false), 1);
  EXPECT_EQ(s->get_SvIdx(kSysGlonass, 1), kFreq1.si);
  s->update(epochAt(t + 1));
  iod = kPolyNoIod;
  const auto* p = SatPolynomStoreInstance.get_PolynomData(kFreq1, t + 1, false, false, &status, &iod, &dataType, &acc, &dt);
  ASSERT_NE(p, nullptr);
  const SatData::PolynomEntryType entry = *p;
  SatPolynomStoreInstance.free_PolynomData();
  EXPECT_EQ(status, kPolyOk);
  EXPECT_EQ(iod, kTb / 900);
  EXPECT_FLOAT_EQ(acc, 4.0f);  // FT 1: 2 m
  double pos[3];
  eval_Polynom(entry, dt, pos, nullptr, nullptr);
  const GloIntegState want = glo_StateAt(e, t + 1 - kTb, 10);
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(pos[k], want.x[k], 0.01) << k;
}

// A record that names no orbital slot is tied to no almanac: it must not borrow the almanac or
// the setup-mask bits of the satellite whose slot number equals its frequency index.
TEST_F(GloStore, RecordWithoutSlotBorrowsNoOtherSatellitesAlmanacOrMaskBits) {
  constexpr int kOtherSat = 8;  // slot 9: the satellite a frequency index of 8 would be mistaken for
  struct Row {
    const char* name;
    std::uint8_t almHealth;  // Cn of slot 9's almanac
    std::uint8_t ephHealth;
    bool clearOtherBits;     // health-use and almanac-wait bits of slot 9 cleared
    bool healthyOnly;
    std::uint8_t status;
  } rows[] = {
      {"healthy almanac of slot 9", 1, 0, false, false, kPolyAlmCheckMissing},
      {"unhealthy almanac of slot 9", 0, 0, false, false, kPolyAlmCheckMissing},
      {"slot 9 needs neither check", 1, 1, true, true, kPolyUnhealthy},
  };
  for (const Row& r : rows) {
    SetUp();
    SatDataEpoch ep = epochAt(kTb);
    if (r.clearOtherBits) {
      ep.setup.satMasks[kMaskHealthUse][kSysGlonass] &= ~(1ull << kOtherSat);
      ep.setup.satMasks[kMaskAlmanacWait][kSysGlonass] &= ~(1ull << kOtherSat);
    }
    s->update(ep);
    ZRT_ALM_GLN a = almanac();
    a.slot = kOtherSat + 1;
    a.freqNum = -3;  // tracked on another frequency
    a.health = static_cast<std::uint8_t>(r.almHealth | 2 << 1);
    SvIdType other = kFreq1;
    other.sat = kOtherSat;
    ASSERT_EQ(s->update_AlmanacData(other, 0, &a, false), 1) << r.name;
    ZRT_EPH_GLN e = record();
    e.slot = 0;  // string 4 gave no slot
    e.health = r.ephHealth;
    ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &e, 1, true, false, false), 1) << r.name;
    ASSERT_EQ(s->get_EphSvId(kSysGlonass, kFreq1.si).sat, kSvUnknown) << r.name;
    const double t = kTb + 200;
    ep.time.sec[kSysGlonass] = t;
    ep.monoSec = t;
    s->update(ep);
    std::uint8_t status = 255;
    std::uint16_t iod = kPolyNoIod;
    int dataType;
    float acc;
    double dt;
    const auto* p =
        SatPolynomStoreInstance.get_PolynomData(kFreq1, t, r.healthyOnly, false, &status, &iod, &dataType, &acc, &dt);
    if (p != nullptr) SatPolynomStoreInstance.free_PolynomData();
    EXPECT_EQ(status, r.status) << r.name;
  }
}

// The validity test of a state vector runs for the slots the setup's "dvs/check" mask asks it
// for; a record that names no slot is always tested. (A valid record still waits for its almanac.)
TEST_F(GloStore, ValidityTestOnlyWhereTheSetupAsksIt) {
  const struct {
    const char* name;
    std::uint8_t slot;
    bool asked;  // the mask bit of slot 2
    std::uint8_t status;
  } rows[] = {
      {"no clock terms, slot 2 asked", 2, true, kPolyNoSet},
      {"no clock terms, slot 2 not asked", 2, false, kPolyAlmCheckMissing},
      {"no clock terms, no slot", 0, false, kPolyNoSet},
  };
  for (const auto& r : rows) {
    SetUp();
    SatDataEpoch ep = epochAt(kTb);
    if (!r.asked) ep.setup.satMasks[kMaskDvsCheck][kSysGlonass] &= ~(1ull << 1);
    if (r.slot == 0) ep.setup.satMasks[kMaskDvsCheck][kSysGlonass] = 0;
    s->update(ep);
    ZRT_EPH_GLN e = record();
    e.slot = r.slot;
    e.tauN = 0, e.gammaN = 0;
    ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &e, 1, true, false, false), 1) << r.name;
    const double t = kTb + 200;
    ep.time.sec[kSysGlonass] = t;
    ep.monoSec = t;
    s->update(ep);
    std::uint8_t status = 255;
    std::uint16_t iod = kPolyNoIod;
    int dataType;
    float acc;
    double dt;
    if (SatPolynomStoreInstance.get_PolynomData(kFreq1, t, false, false, &status, &iod, &dataType, &acc, &dt))
      SatPolynomStoreInstance.free_PolynomData();
    EXPECT_EQ(status, r.status) << r.name;
  }
}

// A usable almanac marks the ephemeris buffers of its frequency with its health (Cn): the mark
// stays with the buffers, so the ephemeris keeps its almanac's verdict once the almanac is gone.
// A marked record whose age of data (En, days) exceeds 10800 s reads without the 1-s shift.
TEST_F(GloStore, AlmanacHealthMarkedOnTheEphemerisBuffers) {
  const struct {
    const char* name;
    bool almanac;
    std::uint8_t cn;
    std::uint8_t withAlmanac, afterIt;  // polynomial status
    std::uint8_t en;
    bool noShift;
  } rows[] = {
      {"no almanac", false, 0, kPolyAlmCheckMissing, kPolyAlmCheckMissing, 1, false},
      {"operable satellite", true, 1, kPolyOk, kPolyOk, 0, false},
      {"satellite not operable", true, 0, kPolyAlmUnhealthy, kPolyAlmUnhealthy, 0, false},
      {"operable, data a day old", true, 1, kPolyOk, kPolyOk, 1, true},
  };
  for (const auto& r : rows) {
    SetUp();
    ZRT_EPH_GLN e = record();
    e.En = r.en;
    ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &e, 1, true, false, false), 1) << r.name;
    if (r.almanac) {
      ZRT_ALM_GLN a = almanac();
      a.health = static_cast<std::uint8_t>(r.cn | 2 << 1);
      SvIdType slot2 = kFreq1;
      slot2.sat = 1;
      ASSERT_EQ(s->update_AlmanacData(slot2, 0, &a, false), 1) << r.name;
    }
    const auto status = [&](double t, bool clearAlmanacs) {
      SatDataEpoch ep = epochAt(t);
      ep.clearAllAlm = clearAlmanacs;
      s->update(ep);
      std::uint8_t st = 255;
      std::uint16_t iod = kPolyNoIod;
      int dataType;
      float acc;
      double dt;
      if (SatPolynomStoreInstance.get_PolynomData(kFreq1, t, false, false, &st, &iod, &dataType, &acc, &dt))
        SatPolynomStoreInstance.free_PolynomData();
      return st;
    };
    EXPECT_EQ(status(kTb + 200, false), r.withAlmanac) << r.name;
    std::uint8_t st = 0;
    std::uint16_t iod = kPolyNoIod;
    int dataType = 0;
    if (const SatData::PolynomEntryType* p = SatPolynomStoreInstance.get_PolynomData(kFreq1, false, &st, &iod, &dataType)) {
      EXPECT_EQ((p->flags & kPolyFlagGloNoShift) != 0, r.noShift) << r.name;
      SatPolynomStoreInstance.free_PolynomData();
    } else {
      EXPECT_FALSE(r.noShift) << r.name << ": no polynomial";
    }
    EXPECT_EQ(status(kTb + 201, true), r.afterIt) << r.name << ", almanacs cleared";
    // A newer record in the other buffer keeps the mark.
    ZRT_EPH_GLN next = record(kTb + 900);
    ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &next, 2, true, false, false), 1) << r.name;
    EXPECT_EQ(status(kTb + 902, false), r.afterIt) << r.name << ", next record";
  }
}

// Group delays: an FDMA record clears the whole set, an L3 record only its own entry.
TEST(GloTgd, FdmaClearsTheSetL3OneEntry) {
  for (int dataType : {0, 1}) {
    SatData::TgdSetType set{};
    for (int k = 0; k < 6; ++k) set.delay[k] = 1e-9f * static_cast<float>(k + 1), set.source[k] = 2;
    update_GloTgd(dataType, set);
    for (int k = 0; k < 6; ++k) {
      const bool cleared = dataType == 0 || k == kGloL3TgdField;
      EXPECT_EQ(set.delay[k], cleared ? 0.0f : 1e-9f * static_cast<float>(k + 1)) << dataType << " " << k;
      EXPECT_EQ(set.source[k], cleared ? 0 : 2) << dataType << " " << k;
    }
  }
}

// Every orbital slot's almanac is stored and used alike, slots 16 to 30 as slots 1 to 15 (the
// tracking index has 15 values, the slots 30): kept, linked to its frequency, its satellite type
// recorded, given a position, and back after a restart.
TEST_F(GloStore, AlmanacOfEverySlotStoredAndUsedAlike) {
  for (int slot : {1, 15, 16, 20, 24, 25, 30}) {
    TearDown();  // a settings image of the row's own
    SetUp();
    ZRT_ALM_GLN a = almanac();
    a.slot = static_cast<std::uint8_t>(slot);
    a.freqNum = static_cast<std::int8_t>(slot % 15 - 7);
    a.M = 1;
    a.lambda = 0.01 * slot;
    SvIdType id{kSvUnknown, kSysGlonass, 0, static_cast<std::uint8_t>(slot - 1)};
    ASSERT_EQ(s->update_AlmanacData(id, 0, &a, false), 1) << "slot " << slot;
    double want[3];
    float vel[3];
    ASSERT_TRUE(compute_GloSatPosByAlmanac(a, kTb - a.tLambda, want, vel, nullptr, nullptr));
    SatPosState p;
    ASSERT_TRUE(almpub::almanacPosition(*s, epochAt(kTb), kSysGlonass, slot - 1, want, &p)) << "slot " << slot;
    const auto* kept = static_cast<const ZRT_ALM_GLN*>(s->get_AlmLastData(kSysGlonass, slot - 1));
    ASSERT_NE(kept, nullptr) << "slot " << slot;
    EXPECT_EQ(kept->slot, slot);
    EXPECT_EQ(s->get_SvIdx(kSysGlonass, slot - 1), a.freqNum + 7) << "slot " << slot;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(p.pos[k], want[k], 1e-3) << "slot " << slot << " axis " << k;
    CorrData::GloMflagsType types;
    ASSERT_TRUE(nav_nv::restore_NvRamGloMflags(types));
    EXPECT_EQ(types.type[1][slot - 1], 1) << "slot " << slot;
    ASSERT_TRUE(FileNvmSave(0, true));
    FileNvmLoad();
    nav_nv::allocate_NvRamData();
    s = std::make_unique<SatelliteDataProcessor>();
    s->update(epochAt(kTb));
    EXPECT_NE(s->get_AlmLastData(kSysGlonass, slot - 1), nullptr) << "slot " << slot << " after a restart";
  }
}

TEST_F(GloStore, SatelliteTypesKeptInTheImage) {
  ZRT_EPH_GLN e = record();
  ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &e, 1, true, false, false), 1);
  ZRT_ALM_GLN a = almanac();
  a.slot = 5, a.M = 1;
  SvIdType slot5 = kFreq1;
  slot5.sat = 4;
  ASSERT_EQ(s->update_AlmanacData(slot5, 0, &a, false), 1);
  CorrData::GloMflagsType types;
  ASSERT_TRUE(nav_nv::restore_NvRamGloMflags(types));
  EXPECT_EQ(types.type[0][1], 2);    // slot 2 by its ephemeris
  EXPECT_EQ(types.type[1][4], 1);    // slot 5 by its almanac
  EXPECT_EQ(types.type[0][0], 255);  // nothing heard of slot 1
}

TEST_F(GloStore, AlmanacReplacedOnlyByNewerContent) {
  ZRT_ALM_GLN a = almanac();
  SvIdType slot2 = kFreq1;
  slot2.sat = 1;
  ASSERT_EQ(s->update_AlmanacData(slot2, 0, &a, false), 1);
  EXPECT_EQ(s->update_AlmanacData(slot2, 0, &a, false), 0);
  a.tLambda += 1;
  EXPECT_EQ(s->update_AlmanacData(slot2, 0, &a, false), 1);
}

TEST_F(GloStore, TimeParametersGiveTheOffsetToGps) {
  ZRT_UTC_GLN u{};
  u.tauGPS = 2.5e-8;
  u.NT = 100;
  ASSERT_EQ(s->update_UtcData(kSysGlonass, 0, &u), 1);
  SatDataEpochResult res;
  s->update(epochAt(kTb + 1), &res);
  double d = 0;
  EXPECT_TRUE(res.deltaTime.get_DeltaTime(kSysGps, kSysGlonass, 1000000, d));
  EXPECT_NE(d, 0.0);
}

}  // namespace

// Two satellites on opposite sides of their plane share a frequency, and every almanac describes
// both: the frequency a satellite is tracked on stays tied to the slot its ephemeris names, and
// only that slot's almanac marks its ephemeris with a health. Here slot 2 sends (frequency +1);
// slot 6 is its twin.
TEST_F(GloStore, AntipodalTwinsAlmanacLeavesTheTrackedSatelliteItsSlot) {
  struct Row {
    const char* what;
    bool ephemerisFirst;  // the ephemeris of slot 2 before the almanacs
    bool twinHealthy;     // Cn of the twin's almanac
    int linkedSat;        // the slot (0-based) frequency +1 is tied to at the end
    std::uint8_t status;  // of slot 2's polynomial
  } rows[] = {
      {"ephemeris, then both almanacs, the twin unusable", true, false, 1, kPolyOk},
      {"ephemeris, then both almanacs, the twin healthy", true, true, 1, kPolyOk},
      {"the twin's almanac before any ephemeris: tied to the twin until the ephemeris comes", false, false, 1, kPolyOk},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.what);
    SetUp();
    ZRT_EPH_GLN e = record();
    ZRT_ALM_GLN own = almanac();
    ZRT_ALM_GLN twin = almanac();
    twin.slot = 6;
    twin.tLambda = own.tLambda + 20272;  // half a revolution on
    twin.health = static_cast<std::uint8_t>((r.twinHealthy ? 1 : 0) | 2 << 1);
    const SvIdType ownId{kSvUnknown, kSysGlonass, 0, 1}, twinId{kSvUnknown, kSysGlonass, 0, 5};
    if (r.ephemerisFirst) {
      ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &e, 1, true, false, false), 1);
    }
    ASSERT_EQ(s->update_AlmanacData(twinId, 0, &twin, false), 1);
    if (!r.ephemerisFirst) {
      EXPECT_EQ(s->get_EphSvId(kSysGlonass, kFreq1.si).sat, 5) << "a first guess";
      ASSERT_EQ(s->update_EphemerisData(kFreq1, 0, &e, 1, true, false, false), 1);
    }
    ASSERT_EQ(s->update_AlmanacData(ownId, 0, &own, false), 1);
    twin.tLambda += 0.5;  // the twin's next almanac, last
    ASSERT_EQ(s->update_AlmanacData(twinId, 0, &twin, false), 1);
    EXPECT_EQ(s->get_EphSvId(kSysGlonass, kFreq1.si).sat, r.linkedSat);
    EXPECT_EQ(s->get_SvIdx(kSysGlonass, 1), kFreq1.si);
    const double t = kTb + 200;
    s->update(epochAt(t));
    std::uint8_t status = 0;
    std::uint16_t iod = kPolyNoIod;
    int dataType;
    float acc;
    double dt;
    const auto* p = SatPolynomStoreInstance.get_PolynomData(kFreq1, t, false, false, &status, &iod, &dataType, &acc, &dt);
    if (p != nullptr) SatPolynomStoreInstance.free_PolynomData();
    EXPECT_EQ(status, r.status);
  }
}
