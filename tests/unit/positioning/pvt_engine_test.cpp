// The position engine's wiring seen from outside: the epoch record in, the navigation solution
// and the used-satellite list out; correction sources; the raw-message dispatch and the
// identities it lets through.
#include <gtest/gtest.h>

#include <cstring>
#include <type_traits>

#include "navigation_data/store/sat_data_store.h"
#include "navigation_data/store/sat_visibility.h"
#include "positioning/chan_data.h"
#include "positioning/engine/epoch_solution.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/engine/raw_nav_dispatch.h"
#include "settings/rcv_settings.h"
#include "unit/positioning/fresh_raw_rings.h"

namespace {

void initEngine() { PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance); }

void putDouble(std::uint32_t* w, double d) { std::memcpy(w, &d, sizeof d); }

// ---- solution type and codes ------------------------------------------------------------------

TEST(PvtEngineSolution, SolutionTypeFromStatusWord) {
  struct Row {
    std::uint32_t status;
    int type;
  };
  const Row rows[] = {
      {0, 3},         {1u << 0, 3},  {1u << 1, 3},   {1u << 4, 2},    {1u << 5, 2},
      {1u << 6, 1},   {1u << 7, 1},  {1u << 8, 5},   {1u << 9, 5},    {1u << 10, 5},
      {1u << 12, 6},  {(1u << 4) | (1u << 12), 6},   {(1u << 6) | (1u << 4), 1},
      {(1u << 8) | (1u << 7), 5},    {1u << 11, 3},  {1u << 13, 3},   {0xFFFFFFFFu, 6},
  };
  for (const Row& r : rows) EXPECT_EQ(solTypeFromStatus(r.status), r.type) << std::hex << r.status;
}

TEST(PvtEngineSolution, NavigationModeAndSystemsUsed) {
  const std::uint8_t modes[][2] = {{0, 0}, {1, 2}, {2, 4}, {5, 3}, {3, 1}, {4, 1}, {6, 1}, {255, 1}};
  for (const auto& m : modes) EXPECT_EQ(navModeCode(m[0]), m[1]) << int(m[0]);
  struct Row {
    std::uint8_t used[7];
    int code;
  };
  const Row rows[] = {{{0, 0, 0, 0, 0, 0, 0}, 0}, {{1, 0, 0, 0, 0, 0, 0}, 1}, {{0, 0, 0, 0, 0, 0, 9}, 7},
                      {{0, 0, 0, 0, 0, 1, 0}, 6}, {{1, 1, 0, 0, 0, 0, 0}, 8}, {{1, 1, 1, 1, 1, 1, 1}, 8}};
  for (const Row& r : rows) EXPECT_EQ(sysUsedCode(r.used), r.code);
}

// The acceptance case: an epoch without a valid position whose status word has bits 4 and 12
// gives solution type 6, through the per-epoch road.
TEST(PvtEngineSolution, EpochWithoutPositionTakesTypeFromStatus) {
  initEngine();
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  e->board.bSolAln = 1;
  e->board.solAln.uFlag2 = 0;
  e->board.solAln.ul3 = (1u << 4) | (1u << 12);
  NavTask::NAV_SOL sol;
  sol.status = NavTask::NAV_SOL::kNotComputed;
  EXPECT_EQ(PVTEngineInstance.update(1000, true, &sol, Cdat), NavTask::NAV_SOL::kNotComputed);
  EXPECT_EQ(sol.solType, 6);
  EXPECT_EQ(sol.pos.bValid, 0);
  EXPECT_EQ(e->pNavSol, &sol);
  EXPECT_DOUBLE_EQ(e->dEpochInterval, 1.0);
}

TEST(PvtEngineSolution, ValidEpochFillsPositionClockDriftAccuracyAndExtra) {
  initEngine();
  RcvSet.singleClock = 0;
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  BoardSolAlnType& s = e->board.solAln;
  e->board.bSolAln = 1;
  s.uFlag2 = 1;
  s.u0 = 5;
  s.u1 = 0x5A;
  s.ul3 = 1u << 12;  // ignored while the position is valid
  s.sys21[0].uByte[0] = 1;
  s.sys21[5].uByte[0] = 1;
  const double pos[6] = {-2694685.473, -4293642.366, 3857878.924, 0.6, -2.1, 120.5};
  for (int k = 0; k < 6; ++k) putDouble(&s.ulPos88[0][0] + 2 * k, pos[k]);
  for (int k = 0; k < 3; ++k) {
    s.vel136[0].dValue[k][0] = 0.1 * (k + 1);
    s.vel136[1].dValue[k][0] = -0.2 * (k + 1);
  }
  s.vel136[0].uFlag[0] = 1;
  s.tv271.uFlag[0] = s.tv271.uFlag[1] = 1;
  s.tv271.dValue[0] = 1.5e-4;
  s.tv271.dValue[1] = 2.5e-9;
  s.tv271.ulWord[0] = 0;
  s.ov297.uFlag[0] = s.ov297.uFlag[1] = 1;
  s.ov297.dValue = -3.25;
  s.uFlag1195 = 1;
  for (int k = 0; k < 7; ++k) s.ul1196[k] = 100 + k;
  s.acc1224[0].uFlag = 1;
  for (int k = 0; k < 6; ++k) s.acc1224[0].ulWord[k] = 200 + k;
  s.ov345.uFlag[0] = s.ov345.uFlag[1] = 1;
  s.ov345.ulWord[0] = 7;
  s.ov345.ulWord[1] = 9;
  NavTask::NAV_SOL sol;
  EXPECT_EQ(PVTEngineInstance.update(100, true, &sol, Cdat), NavTask::NAV_SOL::kGood);
  EXPECT_EQ(sol.solType, 0);
  EXPECT_EQ(sol.pos.bValid, 1);
  EXPECT_EQ(sol.pos.uStatus, 0x5A);
  EXPECT_EQ(sol.pos.uSysUsed, 8);
  EXPECT_EQ(sol.pos.uNavMode, 3);
  for (int k = 0; k < 3; ++k) {
    EXPECT_DOUBLE_EQ(sol.pos.dXyz[k], pos[k]);
    EXPECT_DOUBLE_EQ(sol.pos.dBlh[k], pos[3 + k]);
    EXPECT_DOUBLE_EQ(sol.pos.dVel[k], 0.1 * (k + 1));
    EXPECT_DOUBLE_EQ(sol.pos.dVel2[k], -0.2 * (k + 1));
  }
  EXPECT_EQ(sol.pos.bVelValid, 1);
  EXPECT_EQ(sol.bClockValid, 1);
  EXPECT_DOUBLE_EQ(sol.dClock, 1.5e-4);
  EXPECT_DOUBLE_EQ(sol.dClock2, 1.5e-4);
  EXPECT_DOUBLE_EQ(sol.dClockB, 2.5e-9);
  EXPECT_EQ(sol.bClockFromRef, 1);
  EXPECT_EQ(sol.bDriftValid, 1);
  EXPECT_DOUBLE_EQ(sol.dDrift, -3.25);
  const std::uint32_t acc[7] = {104, 105, 106, 100, 101, 102, 103};
  for (int k = 0; k < 7; ++k) EXPECT_EQ(sol.pos.ulAcc[k], acc[k]) << k;
  EXPECT_EQ(sol.pos.bAccValid, 1);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(sol.pos.ulSigma[k], 200u + k) << k;
  EXPECT_EQ(sol.pos.bSigmaValid, 1);
  EXPECT_EQ(sol.pos.bExtraValid, 1);
  EXPECT_EQ(sol.pos.ulExtra[1], 9u);

  // One clock field only: the second stays; a clock from another source; half-set blocks.
  RcvSet.singleClock = 1;
  s.tv271.ulWord[0] = 3;
  s.ov297.uFlag[1] = 0;
  s.ov345.uFlag[0] = 0;
  s.uFlag1195 = 0;
  s.vel136[0].uFlag[0] = 0;
  NavTask::NAV_SOL sol2;
  PVTEngineInstance.update(100, true, &sol2, Cdat);
  EXPECT_DOUBLE_EQ(sol2.dClock, 1.5e-4);
  EXPECT_DOUBLE_EQ(sol2.dClock2, 0.0);
  EXPECT_EQ(sol2.bClockFromRef, 0);
  EXPECT_EQ(sol2.bDriftValid, 0);
  EXPECT_EQ(sol2.pos.bExtraValid, 0);
  EXPECT_EQ(sol2.pos.bAccValid, 0);
  EXPECT_EQ(sol2.pos.bVelValid, 0);
  RcvSet.singleClock = 0;
}

// Channels in use with a known satellite: used ones go to the list, the mask and the values;
// excluded ones are numbered by system; the rest are left out. Each channel carries what the
// board's satellite record gives: its system code (0 GPS, 1 GLONASS, 2 SBAS, 3 Galileo, 4 BeiDou,
// 5 QZSS, 6 NavIC), the satellite's number (PRN; GLONASS the signed frequency number) and the
// state of the board's solution (0 used, 22 excluded). The satellite is the one the measurement
// processor resolves from those, so that Galileo is not read as SBAS nor a PRN as a slot: an
// excluded satellite is numbered from its slot (GPS slot + 1 = PRN, GLONASS orbital slot + 193,
// Galileo + 300, SBAS + 400, QZSS + 500, BeiDou + 600, NavIC + 700), and a GLONASS satellite
// counts once the store knows its orbital slot.
TEST(PvtEngineSolution, UsedAndExcludedSatellites) {
  initEngine();
  PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  struct Row {
    const char* what;
    int ch;
    std::uint8_t present, code, number, state;
    float value;
    int gloSlot = 0;  // GLONASS: the orbital slot the store links to the frequency number (0 none)
  };
  const Row rows[] = {
      {"GPS G05 used: index 4", 0, 1, 0, 5, 0, 1.5f},
      {"BeiDou C63 used: index 62", 1, 1, 4, 63, 0, 2.5f},
      {"not in use: left out", 2, 0, 0, 7, 0, 9.0f},
      {"L-band: no satellite", 3, 1, 7, 3, 0, 9.0f},
      {"unknown code", 4, 1, 9, 3, 0, 9.0f},
      {"GPS G09 excluded: 9", 5, 1, 0, 9, 22, 0},
      {"GLONASS k = -1 in slot 4 excluded: 196", 6, 1, 1, 0xFF, 22, 0, 4},
      {"Galileo E03 excluded: 302", 7, 1, 3, 3, 22, 0},
      {"SBAS S123 excluded: 403", 8, 1, 2, 123, 22, 0},
      {"QZSS J03 excluded: 502", 9, 1, 5, 195, 22, 0},
      {"BeiDou C03 excluded: 602", 10, 1, 4, 3, 22, 0},
      {"NavIC I03 excluded: 702", 11, 1, 6, 3, 22, 0},
      {"another state: neither", 12, 1, 3, 2, 7, 9.0f},
      {"GLONASS without a known slot: neither", 13, 1, 1, 5, 0, 9.0f},
      {"GPS number 0: no satellite", 14, 1, 0, 0, 0, 9.0f},
      {"QZSS L1S on SBAS PRN 184 used: QZSS index 1", 15, 1, 2, 184, 0, 4.5f},
      {"Galileo E36 used: index 35", 16, 1, 3, 36, 0, 5.5f},
      {"SBAS S147 used: index 27", 17, 1, 2, 147, 0, 6.5f},
      {"last channel, GLONASS k = -7 in slot 24 used: index 0", 90, 1, 1, 0xF9, 0, 3.5f, 24},
  };
  for (int i = 0; i < kCdatChannels; ++i) Cdat[i].bDataPresent = 0;
  for (const Row& r : rows) {
    Cdat[r.ch].bDataPresent = r.present;
    Cdat[r.ch].sysCode = r.code;
    Cdat[r.ch].svNum = r.number;  // the board's byte, as copied
    EpochChanEntryType& c = e->board.chan[r.ch];
    c.uSatByte[0] = r.code;
    c.uSatByte[1] = r.number;
    c.uState = r.state;
    c.fSatValue = r.value;
    if (r.code == 1) {
      // What the store publishes once an ephemeris or almanac links the frequency number to a
      // slot: the visibility record names the slot; without a link it names none.
      const int k = static_cast<std::int8_t>(r.number);
      const SvIdType sv{static_cast<std::uint8_t>(k + 7), kSysGlonass, 0, kSvUnknown};
      SatData::SatVisibilityType v{};
      v.valid = 1;
      v.elevation = 30;
      v.almId = sv;
      v.almId.sat = r.gloSlot > 0 ? static_cast<std::uint8_t>(r.gloSlot - 1) : kSvUnknown;
      SatVisibilityStoreInstance.PutEph(sv, r.gloSlot > 0 ? &v : nullptr);
    }
  }
  NavTask::NAV_SOL sol;
  PVTEngineInstance.update(1000, true, &sol, Cdat);
  const int usedChans[] = {0, 1, 15, 16, 17, 90};
  ASSERT_EQ(sol.uNumUsed, 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(sol.uUsedChan[i], usedChans[i]) << i;
  EXPECT_FLOAT_EQ(sol.fUsedValue[5], 3.5f);
  const std::uint16_t excluded[] = {9, 196, 302, 403, 502, 602, 702};
  ASSERT_EQ(sol.uNumExcluded, 7);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(sol.uExcluded[i], excluded[i]) << rows[5 + i].what;
  SatData::SatelliteListType list{};
  ASSERT_EQ(PVTDataInstance.usedSatelliteList.Take(&list), 1);
  const std::uint64_t mask[SYS_NUM] = {1ull << 4, 1ull << 0, 1ull << 35, 1ull << 27, 1ull << 1, 1ull << 62, 0};
  for (int k = 0; k < SYS_NUM; ++k) EXPECT_EQ(list.ullMask[k], mask[k]) << "system " << k;
  EXPECT_EQ(list.bFlag, 1);

  // Without full output the list server is left alone, the NAV_SOL lists are still filled.
  SatData::SatelliteListType marker{};
  marker.ulTimeTag = 77;
  PVTDataInstance.usedSatelliteList.Put(&marker);
  NavTask::NAV_SOL sol2;
  PVTEngineInstance.update(1000, false, &sol2, Cdat);
  EXPECT_EQ(sol2.uNumUsed, 6);
  PVTDataInstance.usedSatelliteList.Take(&list);
  EXPECT_EQ(list.ulTimeTag, 77u);
  for (const Row& r : rows)
    if (r.code == 1) SatVisibilityStoreInstance.PutEph(SvIdType{std::uint8_t(static_cast<std::int8_t>(r.number) + 7), kSysGlonass, 0, kSvUnknown}, nullptr);
}

// The epoch's NAV_EPOCH becomes the receiver-time record of the store, which also moves the
// pools' time base.
TEST(PvtEngineSolution, EpochTimeReachesTheStore) {
  initEngine();
  NavTask::NAV_SOL sol;
  sol.epoch.gpsWeek = 2300;
  sol.epoch.gpsMs = 10000;
  sol.epoch.timeTag = 4242;
  PVTEngineInstance.update(200, true, &sol, Cdat);
  PosData::RcvTimeDataType r{};
  ASSERT_EQ(PVTDataInstance.rcvTime.Take(&r), 1);
  EXPECT_EQ(r.ulTimeTag, 4242u);
  EXPECT_EQ(r.bds.uWeek, 943);
  const PVTEngineEpochDataType* e = PVTDataInstance.epochData.GetPointer();
  EXPECT_EQ(e->rcvTime2.ulTimeTag, 4242u);
  EXPECT_EQ(e->rcvTime2.bds.ulMs, 604796000u);
}

// ---- correction sources --------------------------------------------------------------------

TEST(PvtEngineSources, RtcmSourceEntries) {
  initEngine();
  struct Step {
    std::uint32_t time;
    std::uint16_t id;
    int index;
  };
  const Step steps[] = {
      {100, 11, 0}, {101, 12, 1}, {102, 13, 2}, {103, 14, 3},
      {104, 15, 4},  // four known: the fifth id takes the free entry
      {105, 12, 1},  // a known id keeps its entry and its time is renewed
      {106, 16, 0},  // five known: the oldest (11 at 100) gives way
      {107, 17, 2},  // then 13 at 102
      {108, 11, 3},  // then 14 at 103
  };
  for (const Step& s : steps) EXPECT_EQ(get_RtcmSourceIndex(s.time, s.id), s.index) << s.id << "@" << s.time;
  EXPECT_EQ(RtcmSourceIdData[0].uId, 16);
  EXPECT_EQ(RtcmSourceIdData[0].ulTime, 106u);
}

TEST(PvtEngineSources, AgesAcrossTheWrapAndTies) {
  initEngine();
  for (int i = 0; i < kRtcmSourceEntries; ++i) RtcmSourceIdData[i] = SourceIdEntry{50, static_cast<std::uint16_t>(i)};
  EXPECT_EQ(get_RtcmSourceIndex(60, 99), 0);  // equal ages: the first
  // Now 20, just after the count wrapped: a time just below the wrap is old, not in the future.
  const std::uint32_t times[kRtcmSourceEntries] = {0xFFFFFFF0u, 0xFFFFFF00u, 10, 15, 19};
  for (int i = 0; i < kRtcmSourceEntries; ++i) RtcmSourceIdData[i].ulTime = times[i];
  EXPECT_EQ(get_RtcmSourceIndex(20, 98), 1);
  // SLAS: three entries, free ones first in order 0, 1, 2.
  EXPECT_EQ(get_SlasSourceIndex(5, 1), 0);
  EXPECT_EQ(get_SlasSourceIndex(6, 2), 1);
  EXPECT_EQ(get_SlasSourceIndex(7, 1), 0);
  EXPECT_EQ(get_SlasSourceIndex(8, 3), 2);
  EXPECT_EQ(get_SlasSourceIndex(9, 4), 1);  // oldest is 2 at 6
  for (const SourceIdEntry& e : RtcmTSSourceIdData) EXPECT_EQ(e.uId, kFreeSourceId);
}

TEST(PvtEngineSources, SbasProviderTable) {
  initEngine();
  const std::uint32_t expected[kSbasProviderEntries] = {0, 0, 0, 1, 0, 4, 1, 3, 3, 2, 5, 0, 3, 0,
                                                        0, 0, 1, 2, 0, 0, 4, 0, 4, 5, 5, 0, 0, 0};
  for (int i = 0; i < kSbasProviderEntries; ++i) EXPECT_EQ(uSbasProviderAssignment[i], expected[i]) << "PRN " << 120 + i;
}

// ---- raw-message dispatch ------------------------------------------------------------------

TEST(PvtEngineDispatch, DecoderOfEachRingAndKind) {
  using D = RawNavDecoder;
  struct Row {
    int ring;
    std::uint8_t kind;
    bool cnav;
    D d;
  };
  const Row rows[] = {
      {kRingGps, 0, true, D::kGpsLnav},      {kRingGps, 0, false, D::kGpsLnav},
      {kRingGps, 1, true, D::kGpsCnav},      {kRingGps, 2, true, D::kGpsCnav},
      {kRingGps, 3, true, D::kGpsCnav2},     {kRingGps, 1, false, D::kNone},
      {kRingGps, 2, false, D::kNone},        {kRingGps, 3, false, D::kNone},
      {kRingGps, 4, true, D::kNone},         {kRingQzss, 0, true, D::kGpsLnav},
      {kRingQzss, 3, true, D::kGpsCnav2},    {kRingQzss, 2, false, D::kNone},
      {kRingGlonass, 0, false, D::kGloNav},  {kRingGlonass, 2, false, D::kGloNav},
      {kRingGlonass, 1, false, D::kGloL3Nav}, {kRingGlonass, 3, false, D::kNone},
      {kRingGalileo, 0, false, D::kGalNav},  {kRingGalileo, 7, false, D::kGalNav},
      {kRingSbas, 0, false, D::kSbas},       {kRingSbas, 1, false, D::kDfmcSbas},
      {kRingSbas, 2, false, D::kNone},       {kRingBeidou, 0, false, D::kBdsD1},
      {kRingBeidou, 2, false, D::kBdsD1},    {kRingBeidou, 0x80, false, D::kBdsD2},
      {kRingBeidou, 0x82, false, D::kBdsD2}, {kRingBeidou, 3, false, D::kBdsCnav1},
      {kRingBeidou, 4, false, D::kNone},     {kRingBeidou, 5, false, D::kBdsCnav2},
      {kRingBeidou, 6, false, D::kBdsCnav2b}, {kRingBeidou, 0x46, false, D::kBdsCnav2b},
      {kRingBeidou, 7, false, D::kNone},     {kRingNavic, 0, false, D::kIrnssL5},
      {kRingNavic, 1, false, D::kNone},      {kRingSpare, 0, false, D::kNone},
  };
  for (const Row& r : rows)
    EXPECT_EQ(static_cast<int>(rawNavDecoderOf(r.ring, r.kind, r.cnav)), static_cast<int>(r.d))
        << "ring " << r.ring << " kind " << int(r.kind);
}

// Numbers outside a system's table are dropped at the entrance; on the SBAS ring only the QZSS
// satellites are checked here (183..189), the SBAS numbers are the SBAS decoder's to judge.
TEST(PvtEngineDispatch, IdentitiesLetThrough) {
  struct Row {
    int ring;
    std::uint8_t prn;
    std::int8_t freq;
    bool ok;
    std::uint8_t si, sys;
  };
  const Row rows[] = {
      {kRingGps, 0, 0, false, 0, 0},       {kRingGps, 1, 0, true, 0, 0},      {kRingGps, 32, 0, true, 31, 0},
      {kRingGps, 33, 0, false, 0, 0},      {kRingGps, 255, 0, false, 0, 0},   {kRingQzss, 192, 0, false, 0, 0},
      {kRingQzss, 193, 0, true, 0, 4},     {kRingQzss, 199, 0, true, 6, 4},   {kRingQzss, 200, 0, false, 0, 0},
      {kRingGalileo, 36, 0, true, 35, 2},  {kRingGalileo, 37, 0, false, 0, 0}, {kRingBeidou, 63, 0, true, 62, 5},
      {kRingBeidou, 64, 0, false, 0, 0},   {kRingBeidou, 0, 0, false, 0, 0},  {kRingNavic, 14, 0, true, 13, 6},
      {kRingNavic, 15, 0, false, 0, 0},    {kRingGlonass, 1, -7, true, 0, 1}, {kRingGlonass, 24, 6, true, 13, 1},
      {kRingGlonass, 5, 7, true, 14, 1},   {kRingGlonass, 5, 8, false, 0, 0}, {kRingGlonass, 5, -8, false, 0, 0},
      {kRingSbas, 120, 0, true, 0, 3},     {kRingSbas, 147, 0, true, 27, 3},  {kRingSbas, 158, 0, true, 38, 3},
      {kRingSbas, 183, 0, true, 0, 4},     {kRingSbas, 189, 0, true, 6, 4},   {kRingSbas, 190, 0, false, 0, 0},
      {kRingSbas, 195, 0, false, 0, 0},    {kRingSbas, 255, 0, false, 0, 0},  {kRingSpare, 1, 0, false, 0, 0},
  };
  for (const Row& r : rows) {
    SvIdType sv;
    const bool ok = rawNavSvId(r.ring, r.prn, r.freq, sv);
    EXPECT_EQ(ok, r.ok) << "ring " << r.ring << " prn " << int(r.prn) << " freq " << int(r.freq);
    if (!ok || !r.ok) continue;
    EXPECT_EQ(sv.si, r.si) << "ring " << r.ring << " prn " << int(r.prn);
    EXPECT_EQ(sv.sys, r.sys) << "ring " << r.ring << " prn " << int(r.prn);
  }
}

// The flag is written by the per-epoch road's owner and by the background task: one atomic
// byte, cleared by the once-a-second step and by start-up.
TEST(PvtEngineDispatch, InEpochFlagClearedAfterUse) {
  static_assert(std::is_same_v<decltype(PVTEngine::bInEpochCorrections), std::atomic<std::uint8_t>>);
  initEngine();
  PVTEngineInstance.set_InEpochCorrections();
  EXPECT_TRUE(PVTEngineInstance.inEpochCorrections());
  PVTEngineInstance.update_SatCorrTask();
  EXPECT_FALSE(PVTEngineInstance.inEpochCorrections());
  PVTEngineInstance.set_InEpochCorrections();
  PVTEngineInstance.pvtTasksInitOnce();
  EXPECT_FALSE(PVTEngineInstance.inEpochCorrections());
}

// Every entry of every ring is read once by the engine, usable or not; nothing is read twice.
TEST(PvtEngineDispatch, RingsReadOnceWhateverTheEntries) {
  rawNavRingsClear();  // the engine reads from the rings' start
  initEngine();
  CorrData::GpsRawMessageType g{};
  for (int prn : {0, 1, 32, 33, 200, 255}) {
    g.uSv = static_cast<std::uint8_t>(prn);
    g.uCount = 10;
    GpsRawMessageData.append(g);
    QzssRawMessageData.append(g);
    CompRawMessageData.append(g);
    IrnssRawMessageData.append(g);
  }
  CorrData::WaasRawMessageType w{};
  for (int prn : {0, 120, 147, 183, 189, 195, 255}) {
    w.uSv = static_cast<std::uint8_t>(prn);
    w.uCount = 32;
    WaasRawMessageData.append(w);
    GalRawMessageData.append(w);
  }
  CorrData::GloRawMessageType r{};
  r.iFreq = 9;
  GloRawMessageData.append(r);
  PVTEngineInstance.update_RawNavDataFromBoardDec();
  EXPECT_EQ(PVTEngineInstance.readers[kRingGps].ullNext, 6u);
  EXPECT_EQ(PVTEngineInstance.readers[kRingSbas].ullNext, 7u);
  EXPECT_EQ(PVTEngineInstance.readers[kRingGlonass].ullNext, 1u);
  EXPECT_EQ(PVTEngineInstance.readers[kRingNavic].ullNext, 6u);
  PVTEngineInstance.update_RawNavDataFromBoardDec();
  EXPECT_EQ(PVTEngineInstance.readers[kRingGps].ullNext, 6u);
  EXPECT_EQ(PVTEngineInstance.ringOverruns(kRingGps), 0u);
}

}  // namespace

namespace {

// The data store's polynomial member is the satellite data store's published sets, not a copy.
TEST(PvtEngineWiring, PolynomServerIsTheNavigationStoresSets) {
  SatData::PolynomSetType set{};
  set.entry[0].iod = 77;
  const SvIdType g5{4, kSysGps, 0, 4}, bad{32, kSysGps, 0, 32};
  ASSERT_EQ(PVTDataInstance.satPolynom.Put(&g5, &set), 1);
  SatData::PolynomSetType out{};
  ASSERT_TRUE(SatPolynomStoreInstance.Take(g5, &out));
  EXPECT_EQ(out.entry[0].iod, 77);
  EXPECT_EQ(PVTDataInstance.satPolynom.Put(&bad, &set), 0);
  EXPECT_EQ(PVTDataInstance.satPolynom.Take(&bad, &out), 0);
  EXPECT_EQ(&SatPolynomDataServerType::mutex, &SatPolynomStore::mutex);
}

}  // namespace
