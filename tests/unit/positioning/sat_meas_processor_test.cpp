// The measurement processor seen from its records: satellites resolved from the channels'
// system codes, orbits from the published polynomials against the direct Kepler orbit of real
// broadcast ephemerides, group delays, the locked list, L-band beams, and the channel reset
// that keeps one satellite's ionosphere out of the next one's TEC.
#include "unit/navigation_data/orbit_formulas.h"
#include "fixtures/fresh_channels.h"
#include "positioning/engine/sat_meas_processor.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "navigation_data/orbits/gps_orbit.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/chan_data.h"
#include "fixtures/nav_files.h"

namespace {

SatelliteMeasurementProcessor& P = SatelliteMeasurementProcessorInstance;

PosSetup::SatProcessorSetupType defaultSetup() {
  PosSetup::SatProcessorSetupType s;
  PosSetup::setDefaults(s);
  return s;
}

void putSetup(const PosSetup::SatProcessorSetupType& s) { PVTDataInstance.satProcessorSetup.Put(&s); }

// One epoch of the processor over the first antenna input at GPS time `sow` (s of week).
void runEpoch(double sow, ChanData* chan = Cdat) {
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  e->pChanData = chan;
  const auto ms = static_cast<std::uint32_t>(std::llround(sow * 1000.0));
  e->rcvTime.ulTimeTag = ms;
  e->rcvTime.gps.ulMs = e->rcvTime.gal.ulMs = e->rcvTime.qzss.ulMs = e->rcvTime.irn.ulMs = ms;
  e->rcvTime.sbas.ulMs = ms % 86400000u;
  PVTDataInstance.epochData.FreePointer(e);
  P.update_ChanNavData();
}

void setChannel(int ch, int code, int number) {
  Cdat[ch].bDataPresent = 1;
  Cdat[ch].sysCode = static_cast<std::uint8_t>(code);
  Cdat[ch].svNum = static_cast<std::int16_t>(number);
  for (int k = 0; k < kCdatSlots; ++k) ChanData::mapSlot(ch, k, ch * kCdatSlots + k);
}

// Publishes the polynomial of `eph` (as system `sys`) starting at t0 with its group delays.
SatData::PolynomEntryType publish(int sys, int si, const ZRT_EPH_GPS& eph, double t0) {
  PolyNodeRing ring;
  bool computed = false;
  SatData::PolynomSetType set{};
  EXPECT_TRUE(update_SatellitePolynom(sys, eph, t0, ring, computed, set.entry[0]));
  set.entry[0].iod = eph.iode;
  set.entry[0].dataType = 0;
  set.entry[1].iod = kPolyNoIod;
  update_SatelliteTgd(eph, 0, set.tgd);
  SvIdType sv{static_cast<std::uint8_t>(si), static_cast<std::uint8_t>(sys), 0, static_cast<std::uint8_t>(si)};
  EXPECT_TRUE(SatPolynomStoreInstance.Put(sv, &set));
  return set.entry[0];
}

std::vector<navfiles::BrdcRecord> brdc() { return navfiles::readRinex2Nav(navfiles::testdata("brdc1820.10n")); }

// ---- orbits ------------------------------------------------------------------------------------

// Channels as built, and every channel of the processor without a satellite.
struct SatMeasProcFixture : ::testing::Test {
  void SetUp() override {
    postest::freshChannels();
    for (int ch = 0; ch < SatelliteMeasurementProcessor::kChannels; ++ch) P.reset_ChannelData(ch);
  }
};
using SatMeasIdentity = SatMeasProcFixture;
using SatMeasLband = SatMeasProcFixture;
using SatMeasOrbit = SatMeasProcFixture;

// Real ephemerides of 2010 day 182: at epochs across the polynomial's span every channel's
// satellite lies within 1 mm of the Kepler orbit (0.3 um seen), its clock within 1e-12 s, its
// velocity within 1 um/s and its acceleration within 1e-7 m/s^2 of the orbit's own (the
// velocity's central difference over 1 s).
TEST_F(SatMeasOrbit, PolynomialPositionMatchesTheDirectOrbit) {
  const auto recs = brdc();
  ASSERT_GE(recs.size(), 100u);
  putSetup(defaultSetup());
  std::vector<int> chans;
  double worstPos = 0, worstClk = 0, worstVel = 0, worstAcc = 0;
  for (std::size_t i = 0; i < recs.size() && chans.size() < 20; i += 11) {
    const ZRT_EPH_GPS& e = recs[i].eph;
    bool taken = false;
    for (int c : chans) taken = taken || Cdat[c].svNum == e.prn;
    if (taken || e.health != 0) continue;
    const int ch = static_cast<int>(chans.size());
    chans.push_back(ch);
    setChannel(ch, kChanGps, e.prn);
  }
  ASSERT_EQ(chans.size(), 20u);
  for (double start : {-3600.0, 0.0, 1800.0}) {
    for (double f : {0.0, 0.123, 0.5, 0.77, 1.0}) {
      std::vector<SatData::PolynomEntryType> entries;
      std::vector<const ZRT_EPH_GPS*> ephs;
      for (int ch : chans) {
        const ZRT_EPH_GPS* eph = nullptr;
        for (const auto& r : recs)
          if (r.eph.prn == Cdat[ch].svNum && r.eph.health == 0) eph = &r.eph;
        ASSERT_NE(eph, nullptr);
        ephs.push_back(eph);
      }
      // All satellites of one epoch share the receiver time: their polynomials start at one t0.
      const double t0 = ephs[0]->toe + start;
      for (std::size_t k = 0; k < chans.size(); ++k) entries.push_back(publish(kSysGps, ephs[k]->prn - 1, *ephs[k], t0));
      const double t = std::round((t0 + f * 60.0) * 1000.0) / 1000.0;
      runEpoch(t);
      for (std::size_t k = 0; k < chans.size(); ++k) {
        const ChanSatDataType& rec = P.epochSatData().chan[chans[k]];
        SCOPED_TRACE(testing::Message() << "PRN " << int(ephs[k]->prn) << " t " << t);
        ASSERT_EQ(rec.uSatState, kPolyOk);
        EXPECT_EQ(rec.uIod, ephs[k]->iode);
        double pos[3], vel[3], rel, pos2[3], vel2[3], pos1[3], vel1[3], r2;
        ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysGps, *ephs[k], pos, vel, &rel));
        compute_SatPositionByEphemeris(t + 0.5, kSysGps, *ephs[k], pos2, vel2, &r2);
        compute_SatPositionByEphemeris(t - 0.5, kSysGps, *ephs[k], pos1, vel1, &r2);
        const double clk = compute_SatClockByEphemeris(t, kSysGps, *ephs[k]) + rel;
        worstPos = std::max(worstPos, std::hypot(rec.dPos[0] - pos[0], rec.dPos[1] - pos[1], rec.dPos[2] - pos[2]));
        worstVel = std::max(worstVel, std::hypot(rec.dVel[0] - vel[0], rec.dVel[1] - vel[1], rec.dVel[2] - vel[2]));
        double acc[3];
        for (int a = 0; a < 3; ++a) acc[a] = vel2[a] - vel1[a];
        worstAcc = std::max(worstAcc, std::hypot(rec.dAcc[0] - acc[0], rec.dAcc[1] - acc[1], rec.dAcc[2] - acc[2]));
        worstClk = std::max(worstClk, std::fabs(rec.dClock + rec.dRel - clk));
        EXPECT_DOUBLE_EQ(rec.dTime, t);
      }
    }
  }
  EXPECT_LT(worstPos, 1e-3);
  EXPECT_LT(worstClk, 1e-12);
  EXPECT_LT(worstVel, 1e-6);
  EXPECT_LT(worstAcc, 1e-7);
}

// Each status of the polynomial read leaves the satellite without orbit, and the lock free.
TEST_F(SatMeasOrbit, ReadStatusesOtherThanOkLeaveNoOrbit) {
  const auto recs = brdc();
  putSetup(defaultSetup());
  const ZRT_EPH_GPS& e = recs[0].eph;
  setChannel(0, kChanGps, e.prn);
  const struct {
    const char* what;
    double dt;  // epoch after t0
    std::uint8_t flags;
    bool publish;
    int status;
  } rows[] = {
      {"inside the span", 30, 0, true, kPolyOk},
      {"before the window", -7, 0, true, kPolyOutsideFit},
      {"after the window", 67, 0, true, kPolyOutsideFit},
      {"unhealthy, health checked", 30, kPolyFlagUnhealthy, true, kPolyUnhealthy},
      {"invalid", 30, kPolyFlagInvalid, true, kPolyInvalid},
      {"no set", 30, 0, false, kPolyNoSet},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    const double t0 = e.toe;
    SatData::PolynomEntryType entry = publish(kSysGps, e.prn - 1, e, t0);
    if (r.flags != 0) {
      SatData::PolynomSetType set{};
      entry.flags = r.flags;
      set.entry[0] = entry;
      set.entry[1].iod = kPolyNoIod;
      SatPolynomStoreInstance.Put(SvIdType{std::uint8_t(e.prn - 1), kSysGps, 0, std::uint8_t(e.prn - 1)}, &set);
    }
    if (!r.publish) SatPolynomStoreInstance.Put(SvIdType{std::uint8_t(e.prn - 1), kSysGps, 0, 0}, nullptr);
    runEpoch(t0 + r.dt);
    EXPECT_EQ(P.epochSatData().chan[0].uSatState, r.status);
    ASSERT_TRUE(SatPolynomStore::mutex.tryLock());
    SatPolynomStore::mutex.unlock();
  }
}

// The health check of the setup: an unhealthy polynomial is used for a satellite outside the
// "health/check" mask only.
TEST_F(SatMeasOrbit, HealthCheckMaskDecidesOnUnhealthyPolynomials) {
  const auto recs = brdc();
  const ZRT_EPH_GPS& e = recs[0].eph;
  setChannel(0, kChanGps, e.prn);
  for (bool checked : {true, false}) {
    PosSetup::SatProcessorSetupType s = defaultSetup();
    std::uint64_t mask = kAllSatsMask[kSysGps];
    if (!checked) mask &= ~(std::uint64_t{1} << (e.prn - 1));
    std::memcpy(s.aBytes + PosSetup::kSatHealthCheckOffset, &mask, sizeof mask);
    putSetup(s);
    SatData::PolynomSetType set{};
    set.entry[0] = publish(kSysGps, e.prn - 1, e, e.toe);
    set.entry[0].flags = kPolyFlagUnhealthy;
    set.entry[1].iod = kPolyNoIod;
    SatPolynomStoreInstance.Put(SvIdType{std::uint8_t(e.prn - 1), kSysGps, 0, std::uint8_t(e.prn - 1)}, &set);
    runEpoch(e.toe + 10);
    EXPECT_EQ(P.epochSatData().chan[0].uSatState, checked ? kPolyUnhealthy : kPolyOk) << checked;
  }
}

// A GLONASS satellite whose orbital slot is not known yet (no visibility has named it) is held to
// its health: the "health/check" bit its frequency index would pick belongs to another satellite.
TEST_F(SatMeasOrbit, GloSatelliteWithoutSlotIsHeldToItsHealth) {
  constexpr int kFreq = 1, kSi = kFreq + 7;
  setChannel(0, kChanGlonass, kFreq);
  for (bool otherBitSet : {true, false}) {
    PosSetup::SatProcessorSetupType s = defaultSetup();
    std::uint64_t mask = kAllSatsMask[kSysGlonass];
    if (!otherBitSet) mask &= ~(std::uint64_t{1} << kSi);  // the satellite of slot 9
    std::memcpy(s.aBytes + PosSetup::kSatHealthCheckOffset + 8 * kSysGlonass, &mask, sizeof mask);
    putSetup(s);
    SatData::PolynomSetType set{};
    set.entry[0].iod = 13;
    set.entry[0].refTime = -30;
    set.entry[0].span = 60;
    set.entry[0].flags = kPolyFlagUnhealthy | kPolyFlagAlmChecked;
    set.entry[1].iod = kPolyNoIod;
    const SvIdType sv{kSi, kSysGlonass, 0, kSvUnknown};
    ASSERT_TRUE(SatPolynomStoreInstance.Put(sv, &set));
    SatVisibilityStoreInstance.PutEph(sv, nullptr);
    runEpoch(0);
    EXPECT_EQ(P.epochSatData().chan[0].uSatState, kPolyUnhealthy) << otherBitSet;
  }
  Cdat[0].bDataPresent = 0;
}

// LNAV group delays (IS-GPS-200 20.3.3.3.3.2): TGD on P1, gamma x TGD on P2, derived for the others.
TEST_F(SatMeasOrbit, GroupDelaysReachTheChannelsSignals) {
  const auto recs = brdc();
  putSetup(defaultSetup());
  const ZRT_EPH_GPS& e = recs[3].eph;
  ASSERT_NE(e.tgd, 0.0f);
  setChannel(4, kChanGps, e.prn);
  publish(kSysGps, e.prn - 1, e, e.toe);
  runEpoch(e.toe + 30);
  const float g = 1.6469444f;
  const struct { int slot; float delay; int isc; } rows[] = {
      {0, e.tgd, 0}, {1, e.tgd, 1}, {2, g * e.tgd, 1}, {3, g * e.tgd, 0}, {4, 1.7932702f * e.tgd, 0}, {5, e.tgd, 0}};
  for (const auto& r : rows) {
    EXPECT_FLOAT_EQ(Cdat[4].sig(r.slot)->tgd, r.delay) << r.slot;
    EXPECT_EQ(Cdat[4].sig(r.slot)->bTgdIsc, r.isc) << r.slot;
  }
  // A channel with two signals only: the shared empty record of the others stays untouched.
  Cdat[5].bDataPresent = 1, Cdat[5].sysCode = kChanGps, Cdat[5].svNum = e.prn;
  ChanData::mapSlot(5, 0, 5 * kCdatSlots), ChanData::mapSlot(5, 2, 5 * kCdatSlots + 2);
  runEpoch(e.toe + 31);
  EXPECT_FLOAT_EQ(Cdat[5].sig(2)->tgd, g * e.tgd);
  EXPECT_EQ(Cdat[5].sig(1), &SdatEmpty);
  EXPECT_FLOAT_EQ(SdatEmpty.tgd, 0.0f);
  EXPECT_EQ(SdatEmpty.bTgdIsc, 0);
}

// ---- identities ---------------------------------------------------------------------------------

TEST_F(SatMeasIdentity, ChannelCodesAndNumbersMapToSatellites) {
  putSetup(defaultSetup());
  constexpr int E = 255;
  const struct {
    int code, number;
    int sys, si;  // E: no satellite
  } rows[] = {
      {kChanGps, 1, kSysGps, 0},          {kChanGps, 32, kSysGps, 31},        {kChanGps, 33, kSysGps, E},
      {kChanGps, 0, kSysGps, E},          {kChanGlonass, 249, kSysGlonass, 0}, {kChanGlonass, 0, kSysGlonass, 7},
      {kChanGlonass, 6, kSysGlonass, 13}, {kChanGlonass, 7, kSysGlonass, 14},  {kChanGlonass, 8, kSysGlonass, E},
      {kChanGlonass, 248, kSysGlonass, E}, {kChanSbas, 120, kSysSbas, 0},      {kChanSbas, 147, kSysSbas, 27},
      {kChanSbas, 119, kSysSbas, E},      {kChanSbas, 148, kSysSbas, E},       {kChanSbas, 183, kSysQzss, 0},
      {kChanSbas, 185, kSysQzss, 2},      {kChanSbas, 189, kSysQzss, 6},       {kChanSbas, 190, kSysSbas, E},
      {kChanGalileo, 36, kSysGalileo, 35}, {kChanGalileo, 37, kSysGalileo, E}, {kChanBeidou, 1, kSysBeidou, 0},
      {kChanBeidou, 63, kSysBeidou, 62},  {kChanBeidou, 64, kSysBeidou, E},    {kChanQzss, 193, kSysQzss, 0},
      {kChanQzss, 199, kSysQzss, 6},      {kChanQzss, 200, kSysQzss, E},       {kChanNavic, 14, kSysNavic, 13},
      {kChanNavic, 15, kSysNavic, E},     {8, 5, E, E},                        {200, 5, E, E},
  };
  int ch = 0;
  for (const auto& r : rows) setChannel(ch++, r.code, r.number);
  Cdat[ch].bDataPresent = 0;
  Cdat[ch].sysCode = kChanGalileo;
  runEpoch(100000);
  ch = 0;
  SatData::SatelliteListType locked{};
  ASSERT_TRUE(PVTDataInstance.lockedSatelliteList.Take(&locked));
  std::uint64_t expectLocked[SYS_NUM] = {};
  for (const auto& r : rows) {
    const ChanSatDataType& rec = P.epochSatData().chan[ch++];
    SCOPED_TRACE(testing::Message() << "code " << r.code << " number " << r.number);
    EXPECT_EQ(rec.sv.sys, r.sys);
    EXPECT_EQ(rec.sv.si, r.si);
    if (r.si == E) {
      EXPECT_EQ(rec.uSatState, ChanSatDataType::kNoSatellite);
    }
    if (r.si != E) expectLocked[r.sys] |= std::uint64_t{1} << r.si;
  }
  const ChanSatDataType& idle = P.epochSatData().chan[ch];
  EXPECT_EQ(idle.sv.sys, kSysGalileo);
  EXPECT_EQ(idle.sv.si, E);
  EXPECT_EQ(idle.sv.sat, E);
  for (int s = 0; s < SYS_NUM; ++s) EXPECT_EQ(locked.ullMask[s], expectLocked[s]) << s;
  EXPECT_EQ(locked.ulTimeTag, 100000000u);
  EXPECT_EQ(P.epochSatData().uFilled, EpochSatCommonDataType::kFilled);
}

// Whatever the board says a channel holds, the processor leaves a valid identity or an empty one.
TEST_F(SatMeasIdentity, RandomChannelContentsGiveValidOrEmptyIdentities) {
  putSetup(defaultSetup());
  std::mt19937 rng(7);
  for (int round = 0; round < 50; ++round) {
    for (int ch = 0; ch < kCdatChannels; ++ch) {
      Cdat[ch].bDataPresent = static_cast<std::uint8_t>(rng() % 3);
      Cdat[ch].sysCode = static_cast<std::uint8_t>(rng() % 10);
      Cdat[ch].svNum = static_cast<std::int16_t>(rng());
    }
    runEpoch(1000.0 * round, round % 2 ? Cdat + kCdatPerInput : Cdat);
    for (const ChanSatDataType& r : P.epochSatData().chan) {
      if (r.sv.si == kSvUnknown) continue;
      ASSERT_TRUE(r.sv.isValidSi());
    }
  }
}

// PRN 185 on an SBAS channel is QZSS satellite 2 without orbit, even with a QZSS polynomial
// published; the same satellite on a QZSS channel gets it.
TEST_F(SatMeasIdentity, QzssL1sOnAnSbasChannelGetsNoOrbit) {
  const auto recs = brdc();
  putSetup(defaultSetup());
  ZRT_EPH_GPS e = recs[0].eph;
  publish(kSysQzss, 2, e, e.toe);
  setChannel(0, kChanSbas, 185);
  setChannel(1, kChanQzss, 195);
  runEpoch(e.toe + 30);
  const ChanSatDataType& l1s = P.epochSatData().chan[0];
  const ChanSatDataType& qzs = P.epochSatData().chan[1];
  EXPECT_EQ(l1s.sv.sys, kSysQzss);
  EXPECT_EQ(l1s.sv.si, 2);
  EXPECT_NE(l1s.uSatState, kPolyOk);
  EXPECT_EQ(l1s.dPos[0], 0.0);
  EXPECT_EQ(qzs.sv.si, 2);
  EXPECT_EQ(qzs.uSatState, kPolyOk);
  EXPECT_GT(std::hypot(qzs.dPos[0], qzs.dPos[1], qzs.dPos[2]), 2.0e7);
}

// The signal level the navigation decoders' ghost check weighs a satellite by: the strongest
// signal valid this epoch on any channel tracking it, 0 when none does.
TEST_F(SatMeasIdentity, SignalLevelOfEachTrackedSatellite) {
  putSetup(defaultSetup());
  for (int ch = 0; ch < SatelliteMeasurementProcessor::kSlots; ++ch) Cdat[ch].bDataPresent = 0;
  constexpr std::uint16_t V = ChanSigData::kValid, N = ChanSigData::kValidA;  // valid, half valid
  const struct {
    const char* name;
    int code, number;
    float cn0[3];
    std::uint16_t flags[3];
    SvIdType sv;
    float level;
  } rows[] = {
      {"GPS strongest slot", kChanGps, 5, {31, 44.5f, 40}, {V, V, V}, {4, kSysGps, 0, 4}, 44.5f},
      {"GPS invalid slot passed over", kChanGps, 6, {31, 48, 40}, {V, N, V}, {5, kSysGps, 0, 5}, 40},
      {"GLONASS by frequency -3", kChanGlonass, 253, {38, 0, 0}, {V, 0, 0}, {4, kSysGlonass, 0, kSvUnknown}, 38},
      {"BeiDou C14", kChanBeidou, 14, {27, 33, 0}, {V, V, 0}, {13, kSysBeidou, 0, 13}, 33},
      {"NavIC I3", kChanNavic, 3, {41, 0, 0}, {V, 0, 0}, {2, kSysNavic, 0, 2}, 41},
      {"QZSS J2", kChanQzss, 194, {36, 0, 0}, {V, 0, 0}, {1, kSysQzss, 0, 1}, 36},
      {"no valid signal", kChanGalileo, 7, {45, 45, 45}, {0, N, 0}, {6, kSysGalileo, 0, 6}, 0},
  };
  int ch = 0;
  for (const auto& r : rows) {
    setChannel(ch, r.code, r.number);
    for (int k = 0; k < kCdatSlots; ++k) {
      ChanSigData* sig = Cdat[ch].sig(k);
      sig->cn0 = k < 3 ? r.cn0[k] : 0;
      sig->flags = k < 3 ? r.flags[k] : 0;
    }
    ++ch;
  }
  // A second channel on GPS 5, weaker: the stronger one counts.
  setChannel(ch, kChanGps, 5);
  for (int k = 0; k < kCdatSlots; ++k) Cdat[ch].sig(k)->cn0 = 20, Cdat[ch].sig(k)->flags = V;
  runEpoch(1000);
  for (const auto& r : rows) EXPECT_FLOAT_EQ(P.get_SatSignalLevel(r.sv), r.level) << r.name;
  EXPECT_FLOAT_EQ(P.get_SatSignalLevel(SvIdType{20, kSysGps, 0, 20}), 0.0f) << "not tracked";
  EXPECT_FLOAT_EQ(P.get_SatSignalLevel(SvIdType{40, kSysGps, 0, 40}), 0.0f) << "out of range";
  // The channels go: the next epoch forgets every level.
  for (int c = 0; c <= ch; ++c) Cdat[c].bDataPresent = 0;
  runEpoch(1001);
  for (const auto& r : rows) EXPECT_FLOAT_EQ(P.get_SatSignalLevel(r.sv), 0.0f) << r.name;
}

// The second antenna input's channels are processed as their own.
TEST_F(SatMeasIdentity, SecondAntennaInputUsesItsOwnChannels) {
  putSetup(defaultSetup());
  setChannel(91 + 3, kChanGalileo, 11);
  setChannel(3, kChanGps, 5);
  runEpoch(1000, Cdat + kCdatPerInput);
  EXPECT_EQ(P.epochSatData().chan[94].sv.sys, kSysGalileo);
  EXPECT_EQ(P.epochSatData().chan[94].sv.si, 10);
  EXPECT_EQ(P.epochSatData().chan[3].sv.sys, kSvUnknown);  // first input untouched
  // Both inputs every epoch: neither one's satellites look new to the other.
  for (int e = 0; e < 3; ++e) {
    runEpoch(1000 + e);
    runEpoch(1000 + e, Cdat + kCdatPerInput);
  }
  EXPECT_EQ(P.epochSatData().chan[3].uState, 0);
  EXPECT_EQ(P.epochSatData().chan[94].uState, 0);
  EXPECT_EQ(P.epochSatData().chan[3].sv.si, 4);
}

// ---- L-band ---------------------------------------------------------------------------------------

std::int64_t g_beamFreq = -1;

TEST_F(SatMeasLband, BeamIsAskedByFrequencyOfTheChannelNumber) {
  putSetup(defaultSetup());
  satMeasLinks.lbandBeam = [](std::int64_t f, int& beam, float& el, float& az) {
    g_beamFreq = f;
    if (f == 1545825000 + 500 * 3) return false;  // no beam on that frequency
    beam = 2, el = 33.5f, az = 271.0f;
    return true;
  };
  const struct { int number; std::int64_t freq; bool beam; } rows[] = {
      {0, 1545825000, true}, {10, 1545830000, true}, {3, 1545826500, false}, {255, 1545952500, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.number);
    setChannel(7, kChanLband, r.number);
    runEpoch(5000);
    EXPECT_EQ(g_beamFreq, r.freq);
    const ChanSatDataType& rec = P.epochSatData().chan[7];
    EXPECT_EQ(rec.sv.sys, kSvUnknown);
    EXPECT_EQ(rec.uBeam, r.beam ? 2 : ChanSatDataType::kNoBeam);
    EXPECT_FLOAT_EQ(rec.fElevation, r.beam ? 33.5f : 0.0f);
    EXPECT_FLOAT_EQ(rec.fAzimuth, r.beam ? 271.0f : 0.0f);
  }
  satMeasLinks.lbandBeam = nullptr;
}

}  // namespace
