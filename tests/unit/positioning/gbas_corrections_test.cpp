// GBAS corrections of the chosen ground station. Independent truth: RTCA DO-253 airborne
// equations evaluated by hand (outside this program) at the points of the table below:
//   TC = N_R h0 1e-6 / sqrt(0.002 + sin^2 E) (1 - exp(-dh / h0)), sigma_tropo with sigma_N,
//   F_pp = 1 / sqrt(1 - (R_e cos E / (R_e + h_I))^2), R_e 6378.1363 km, h_I 350 km,
//   sigma_iono = F_pp sigma_vig (x_air + 2 tau v_air), tau 100 s;
// N_R 379, sigma_N 20 and h0 100 m are the station of ICAO Annex 10 Table D-8; sigma_vig 4e-6,
// x_air 10 km and v_air 70 m/s are our own.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>

#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/nav_main.h"
#include "positioning/gbas/gbas_corr_generator.h"
#include "positioning/gbas/gbas_data_decoder.h"
#include "positioning/gbas/gbas_dec_utility.h"
#include "unit/gbas_messages.h"

namespace {

using GBASData::DiffCorrectionType;

constexpr std::uint32_t kNow = 345600000 + 3600000;  // GPS ms of week
constexpr std::uint32_t kTag = 50000000;             // receiver time tag, ms
constexpr std::uint8_t kBlock = 170;

struct TropoRow {
  double e, dh, h0, tc, sigma;
};
const TropoRow kTropo[] = {
    {5, -50, 100, -0.250985963413, -0.013244641869},  {5, 0, 100, 0.0, 0.0},
    {5, 300, 100, 0.367631090369, 0.019400057539},    {5, -50, 8000, -0.194052470991, -0.010240235936},
    {5, 0, 8000, 0.0, 0.0},                           {5, 300, 8000, 1.139186882815, 0.060115402787},
    {30, -50, 100, -0.048977552371, -0.002584567407}, {30, 0, 100, 0.0, 0.0},
    {30, 300, 100, 0.071739752840, 0.003785738936},   {30, -50, 8000, -0.037867516300, -0.001998285821},
    {30, 0, 8000, 0.0, 0.0},                          {30, 300, 8000, 0.222301615812, 0.011730955980},
    {90, -50, 100, -0.024561986442, -0.001296147042}, {90, 0, 100, 0.0, 0.0},
    {90, 300, 100, 0.035977110968, 0.001898528283},   {90, -50, 8000, -0.018990361440, -0.001002129891},
    {90, 0, 8000, 0.0, 0.0},                          {90, 300, 8000, 0.111483098058, 0.005883013090},
    // A scale height coded 0: no troposphere term, never a division by it.
    {30, -50, 0, 0.0, 0.0},                           {30, 0, 0, 0.0, 0.0},
    {30, 300, 0, 0.0, 0.0}};

struct IonoRow {
  double e, fpp, sigma;
};
const IonoRow kIono[] = {{5, 3.040638169510, 0.291901264273},
                         {30, 1.751421095157, 0.168136425135},
                         {90, 1.0, 0.096}};

TEST(GbasAirborneModel, TroposphereMatchesHandValues) {
  for (const TropoRow& r : kTropo) {
    double tc = -1, s = -1;
    GbasCorr::compute_TropoTerms(r.e, r.dh, 379, 20, r.h0, tc, s);
    EXPECT_NEAR(tc, r.tc, 1e-6) << r.e << " " << r.dh << " " << r.h0;
    EXPECT_NEAR(s, r.sigma, 1e-6) << r.e << " " << r.dh << " " << r.h0;
  }
}

TEST(GbasAirborneModel, IonosphereMatchesHandValues) {
  for (const IonoRow& r : kIono) {
    EXPECT_NEAR(GbasCorr::compute_Obliquity(r.e), r.fpp, 1e-9) << r.e;
    EXPECT_NEAR(GbasCorr::compute_SigmaIono(r.e, 4e-6, 10000, 70), r.sigma, 1e-6) << r.e;
  }
  EXPECT_DOUBLE_EQ(GbasCorr::compute_Obliquity(90), 1.0);
}

// ---- Records written straight into the servers ------------------------------------------------

SvIdType gps(int prn) {
  SvIdType sv;
  EXPECT_TRUE(svIdFromSiNumber(kSysGps, prn, sv));
  return sv;
}

// Everything one station and one satellite need; each gate row changes one thing.
struct Scenario {
  int source = 0;
  const char* id = "BELL";
  double type1Age = 1.0;
  double corrAge = 1.0;
  double firstAge = 10.0;
  double ephAge = 5.0;
  int corrIod = 7, ephIod = 7;
  int corrCrc = 0x1234, ephCrc = 0x1234;
  bool hasFirst = true;
  int sigmaCode = 50;  // 1.0 m
  int prc = 250;       // 2.5 m
  int rrc = -100;      // -0.1 m/s
  bool addReady = true;
  int maxUse = 50;     // km
  double xAir = 10000;
  int scale = 100;
  int diffBlock = kBlock;
  bool waive = false;
  int mode = 2, stationSel = 5, pathSel = 255;
  int addSel = 5;
};

std::uint32_t msAgo(double s) { return static_cast<std::uint32_t>(static_cast<std::int64_t>(kNow) - std::llround(s * 1000)); }

void clearAll() {
  PVTDataType& d = PVTDataInstance;
  for (int i = 0; i < GBASData::kGbasSources; ++i) {
    d.gbasDiffCorrection[i].Init();
    GBASData::StationDataType s{};
    d.gbasStationData[i].Put(&s);
    GBASData::StationAddBlockDataType a{};
    d.gbasStationAddBlock[i].Put(&a);
    GBASData::SourceStateDataType st{};
    d.gbasSourceState.Put(i, &st);
    GBASData::FASDataType f{};
    for (int k = 0; k < GBASData::kFasEntries; ++k) d.gbasFas[i].Put(k, &f);
  }
  d.gbasEphIntegrity.Init();
  d.satCorrection.Init();
  d.satGbasAccuracy.Init();
  GBASData::CommonDataType c{};
  d.gbasCommon.Put(&c);
}

void writeStation(const Scenario& s, int prn, double stationHeight = 100.0) {
  PVTDataType& d = PVTDataInstance;
  const std::uint32_t gid = gbastest::idCode(s.id);
  GBASData::SourceStateDataType st{};
  st.bHasId = 1;
  st.uBlockId = kBlock;
  st.ulGbasId = gid;
  st.bType1 = 1;
  st.ulType1Time = kTag - static_cast<std::uint32_t>(std::llround(s.type1Age * 1000));
  d.gbasSourceState.Put(s.source, &st);
  GBASData::StationDataType sd{};
  sd.bReady = 1;
  sd.uBlockId = kBlock;
  sd.ulGbasId = gid;
  sd.iRefractivity = 379;
  sd.uSigmaN = 20;
  sd.uScaleHeight = static_cast<std::uint16_t>(s.scale);
  sd.fSigmaVertIono = 4e-6f;
  sd.dHeight = stationHeight;
  sd.dX = 4000000.0;
  sd.dY = 0.0;
  sd.dZ = 5000000.0;
  GBASData::set_TimeTag(sd.ulTimeTag, kNow - 2000);
  d.gbasStationData[s.source].Put(&sd);
  GBASData::StationAddBlockDataType a{};
  a.bReady = s.addReady ? 1 : 0;
  a.uBlockId = kBlock;
  a.ulGbasId = gid;
  a.uSelector = static_cast<std::uint8_t>(s.addSel);
  a.uMaxUseDistance = static_cast<std::uint16_t>(s.maxUse);
  GBASData::set_TimeTag(a.ulTimeTag, kNow - 2000);
  d.gbasStationAddBlock[s.source].Put(&a);

  const SvIdType sv = gps(prn);
  DiffCorrectionType c;
  c.init();
  c.set_ReadyDiffCorr(static_cast<std::uint8_t>(s.diffBlock), gid);
  c.uFlags |= DiffCorrectionType::kCorrValid | (s.hasFirst ? DiffCorrectionType::kFirstSource : 0) |
              DiffCorrectionType::kB1Present;
  c.uIod = static_cast<std::uint8_t>(s.corrIod);
  c.uEphCrc = static_cast<std::uint16_t>(s.corrCrc);
  c.iPrc = static_cast<std::int16_t>(s.prc);
  c.iRrc = static_cast<std::int16_t>(s.rrc);
  c.uSigmaPrGnd = static_cast<std::uint8_t>(s.sigmaCode);
  c.uEphDecorr = 12;
  c.iB[0] = 3;
  c.ulCorrTime = msAgo(s.corrAge);
  c.ulFirstTime = msAgo(s.firstAge);
  GBASData::set_TimeTag(c.ulTimeTag, msAgo(s.corrAge));
  d.gbasDiffCorrection[s.source].Put(&sv, &c);

  NavData::GbasEphIntegrityDataType e{};
  e.uIod = static_cast<std::uint16_t>(s.ephIod);
  e.uCrc = static_cast<std::uint16_t>(s.ephCrc);
  DataBufferServerType::ulMsTime.store(kTag - static_cast<std::uint32_t>(std::llround(s.ephAge * 1000)));
  d.gbasEphIntegrity.Put(&sv, &e);
  DataBufferServerType::ulMsTime.store(kTag);
}

// The epoch's request: the user `xAir` from the station (east of it), 400 m high, 70 m/s.
void writeEpoch(const Scenario& s, int count = 1) {
  SatCorrWorkArea& w = SatCorrProcessorInstance.work();
  w.request.rcvTime = PosData::RcvTimeDataType{};
  w.request.rcvTime.ulTimeTag = kTag;
  w.request.rcvTime.gps.ulMs = kNow;
  w.request.rcvTime.gps.uStatus[0] = 1;
  w.request.position.dX = 4000000.0;
  w.request.position.dY = s.xAir;
  w.request.position.dZ = 5000000.0;
  w.request.position.dHeight = 400.0;
  w.request.position.bValid = 1;
  w.velocity = PosData::VelocityDataType{};  // no velocity solution
  w.request.uCount = static_cast<std::uint16_t>(count);
  for (int i = 0; i < count; ++i) {
    w.request.sat[i] = CorrData::RequestSatDataType{};
    w.request.sat[i].svId = gps(5 + i);
    w.request.sat[i].fElevation = 30.0f;
  }
  std::memset(w.corrSetup.aBytes, 0, sizeof w.corrSetup.aBytes);
  w.corrSetup.aBytes[GbasCorr::kSelectionModeOffset] = static_cast<std::uint8_t>(s.mode);
  w.corrSetup.aBytes[GbasCorr::kStationSelectorOffset] = static_cast<std::uint8_t>(s.stationSel);
  w.corrSetup.aBytes[GbasCorr::kPathSelectorOffset] = static_cast<std::uint8_t>(s.pathSel);
  w.corrSetup.aBytes[GbasCorr::kWaiveCrcOffset] = s.waive ? 1 : 0;
  const std::uint32_t gid = gbastest::idCode(s.id);
  std::memcpy(w.corrSetup.aBytes + GbasCorr::kGbasIdOffset, &gid, 4);
}

GbasCorr::RequestType gReq;

// The generator alone on the scenario: v_air 70 m/s as 42 east and 56 north.
const GbasCorr::SatOutputType& runGenerator(const Scenario& s, GbasCorrGenerator& g, int& blocks,
                                            double stationHeight = 100.0) {
  clearAll();
  writeStation(s, 5, stationHeight);
  gReq = GbasCorr::RequestType{};
  gReq.dX = 4000000.0;
  gReq.dY = s.xAir;
  gReq.dZ = 5000000.0;
  gReq.dHeight = 400.0;
  gReq.fVelEast = 42.0f;
  gReq.fVelNorth = 56.0f;
  gReq.rcvTime.ulTimeTag = kTag;
  gReq.rcvTime.gps.ulMs = kNow;
  gReq.rcvTime.gps.uStatus[0] = 1;
  gReq.uCount = 1;
  gReq.sat[0].svId = gps(5);
  gReq.sat[0].fElevation = 30.0f;
  gReq.bWaiveCrc = s.waive ? 1 : 0;
  gReq.uPathSelector = 255;
  blocks = g.update(gReq);
  return gReq.block[0].sat[0];
}

TEST(GbasCorrGenerator, CorrectionAndVarianceFromHandValues) {
  GbasCorrGenerator g(&PVTDataInstance);
  Scenario s;
  int blocks = 0;
  const GbasCorr::SatOutputType& e = runGenerator(s, g, blocks);
  ASSERT_EQ(blocks, 1);
  ASSERT_EQ(e.bReady, 1);
  // E 30, dh 300 m, h0 100 m; PRC 2.5 m, RRC -0.1 m/s, t 1 s; sigma_pr_gnd 1.0 m.
  const double tc = 0.071739752840, st = 0.003785738936, si = 0.168136425135;
  EXPECT_NEAR(e.fCorrection, tc + 2.5 - 0.1 * 1.0, 2e-6);
  EXPECT_NEAR(e.fVariance, si * si + st * st + 1.0, 2e-6);
  EXPECT_NEAR(e.fAge, 1.0, 1e-6);
  EXPECT_EQ(e.uIod, 7);
  EXPECT_NEAR(e.fSigmaPrGnd, 1.0, 1e-6);
  EXPECT_EQ(e.uEphDecorr, 12);
  EXPECT_EQ(e.uBFlags, 1);
  EXPECT_NEAR(e.fB[0], 0.15, 1e-6);
  EXPECT_NEAR(g.xAir(), 10000.0, 1e-6);
  EXPECT_NEAR(g.vAir(), 70.0, 1e-6);
  EXPECT_DOUBLE_EQ(g.userHeight(), 400.0);
  EXPECT_TRUE(g.fresh());
}

struct GateRow {
  const char* name;
  std::function<void(Scenario&)> change;
  int blocks;  // stations counted
  bool used;   // the satellite corrected
  bool fresh;
};

const GateRow kGates[] = {
    {"as is", [](Scenario&) {}, 1, true, true},
    {"type 1 7.4 s old", [](Scenario& s) { s.type1Age = 7.4; }, 1, true, false},
    {"type 1 7.5 s old", [](Scenario& s) { s.type1Age = 7.5; }, 0, false, false},
    {"type 1 3.4 s old keeps fresh", [](Scenario& s) { s.type1Age = 3.4; }, 1, true, true},
    {"type 1 3.5 s old not fresh", [](Scenario& s) { s.type1Age = 3.5; }, 1, true, false},
    {"user at the maximum use distance", [](Scenario& s) { s.xAir = 50000; }, 1, true, true},
    {"user 1 m beyond it", [](Scenario& s) { s.xAir = 50001; }, 0, false, false},
    {"code 0 sets no limit", [](Scenario& s) { s.maxUse = 0, s.xAir = 900000; }, 1, true, true},
    {"no additional block: no limit", [](Scenario& s) { s.addReady = false, s.xAir = 900000; }, 1, true, true},
    {"correction 10 s old", [](Scenario& s) { s.corrAge = 10.0; }, 1, true, false},
    {"correction 10.5 s old", [](Scenario& s) { s.corrAge = 10.5; }, 1, false, true},
    {"correction 5.9 s old fresh", [](Scenario& s) { s.corrAge = 5.9; }, 1, true, true},
    {"correction 6 s old not fresh", [](Scenario& s) { s.corrAge = 6.0; }, 1, true, false},
    {"correction -0.5 s old", [](Scenario& s) { s.corrAge = -0.5; }, 1, true, true},
    {"correction -1 s old", [](Scenario& s) { s.corrAge = -1.0; }, 1, true, true},
    {"correction -2 s old", [](Scenario& s) { s.corrAge = -2.0; }, 1, true, true},
    {"correction -3 s old", [](Scenario& s) { s.corrAge = -3.0; }, 1, false, true},
    {"first ranging source 120 s ago", [](Scenario& s) { s.firstAge = 120.0; }, 1, true, true},
    {"first ranging source 121 s ago", [](Scenario& s) { s.firstAge = 121.0; }, 1, false, true},
    {"no first ranging source data", [](Scenario& s) { s.hasFirst = false; }, 1, false, true},
    {"IOD differs", [](Scenario& s) { s.ephIod = 8; }, 1, false, true},
    {"IOD differs, CRC waived", [](Scenario& s) { s.ephIod = 8, s.waive = true; }, 1, false, true},
    {"CRC differs", [](Scenario& s) { s.ephCrc = 0x4321; }, 1, false, true},
    {"CRC differs, waived", [](Scenario& s) { s.ephCrc = 0x4321, s.waive = true; }, 1, true, true},
    {"ephemeris integrity 60 s old", [](Scenario& s) { s.ephAge = 60.0; }, 1, true, true},
    {"ephemeris integrity 61 s old", [](Scenario& s) { s.ephAge = 61.0; }, 1, false, true},
    {"correction from another block", [](Scenario& s) { s.diffBlock = 153; }, 1, false, true},
    {"correction 61 s old: not ready", [](Scenario& s) { s.corrAge = 61.0; }, 1, false, true},
};

TEST(GbasCorrGenerator, GatesAndFreshness) {
  for (const GateRow& row : kGates) {
    GbasCorrGenerator g(&PVTDataInstance);
    Scenario s;
    row.change(s);
    int blocks = -1;
    const GbasCorr::SatOutputType& e = runGenerator(s, g, blocks);
    EXPECT_EQ(blocks, row.blocks) << row.name;
    if (blocks > 0) {
      EXPECT_EQ(e.bReady != 0, row.used) << row.name;
      EXPECT_EQ(g.fresh(), row.fresh) << row.name;
    }
  }
}

TEST(GbasCorrGenerator, ScaleHeightZeroGivesNoTroposphereAndNoNaN) {
  for (double dh : {-50.0, 0.0, 300.0}) {
    GbasCorrGenerator g(&PVTDataInstance);
    Scenario s;
    s.scale = 0;
    int blocks = 0;
    const GbasCorr::SatOutputType& e = runGenerator(s, g, blocks, 400.0 - dh);
    ASSERT_EQ(e.bReady, 1) << dh;
    EXPECT_TRUE(std::isfinite(e.fCorrection) && std::isfinite(e.fVariance)) << dh;
    EXPECT_NEAR(e.fCorrection, 2.5 - 0.1, 1e-6) << dh;
  }
}

// ---- The stage: choice of the station, publication, clearing ---------------------------------

SatData::CorrectionDataType published(int prn) {
  SatData::CorrectionDataType r;
  r.init();
  const SvIdType sv = gps(prn);
  if (PVTDataInstance.satCorrection.Take(&sv, &r) == 0) r.init();
  return r;
}

// Station A (source 0) with additional block 1, selector 5, PRC 1 m; station B (source 1)
// without it, PRC 2 m; FAS `fasA` / `fasB` for path selector 7.
void twoStations(bool fasA, bool fasB) {
  clearAll();
  Scenario a;
  a.id = "AAAA";
  a.prc = 100;
  writeStation(a, 5);
  Scenario b;
  b.source = 1;
  b.id = "BBBB";
  b.prc = 200;
  b.addReady = false;
  writeStation(b, 5);
  GBASData::FASDataType f{};
  f.bReady = 1;
  f.uSelector = 7;
  GBASData::set_TimeTag(f.ulTimeTag, kNow - 5000);
  if (fasA) PVTDataInstance.gbasFas[0].Put(7, &f);
  if (fasB) PVTDataInstance.gbasFas[1].Put(7, &f);
}

struct ChoiceRow {
  const char* name;
  int mode;
  const char* id;
  int stationSel, pathSel;
  bool fasA, fasB;
  int chosen;  // -1 none, 0 A, 1 B
};
const ChoiceRow kChoice[] = {
    {"mode 0: both qualify, the last", 0, "BBBB", 5, 255, false, false, 1},
    {"mode 0: B by identifier", 0, "BBBB", 6, 255, false, false, 1},
    {"mode 0: A by selector", 0, "CCCC", 5, 255, false, false, 0},
    {"mode 0: A's identifier does not count with block 1", 0, "AAAA", 6, 255, false, false, -1},
    {"mode 1: FAS only at A", 1, "CCCC", 0, 7, true, false, 0},
    {"mode 1: FAS at both, the last", 1, "CCCC", 0, 7, true, true, 1},
    {"mode 1: no FAS", 1, "CCCC", 0, 7, false, false, -1},
    {"mode 2: selector 5", 2, "BBBB", 5, 255, false, false, 0},
    {"mode 2: selector 6", 2, "AAAA", 6, 255, false, false, -1},
    {"mode 3: as mode 2", 3, "BBBB", 5, 255, false, false, 0},
};

TEST(GbasCorrectionStage, ChoosesTheLastQualifyingStation) {
  for (const ChoiceRow& row : kChoice) {
    twoStations(row.fasA, row.fasB);
    Scenario s;
    s.mode = row.mode;
    s.id = row.id;
    s.stationSel = row.stationSel;
    s.pathSel = row.pathSel;
    writeEpoch(s);
    SatCorrProcessorInstance.update_GbasCorrection();
    const SatData::CorrectionDataType r = published(5);
    const std::uint16_t sel = SatCorrProcessorInstance.work().request.uGbasSelector;
    GBASData::CommonDataType common{};
    PVTDataInstance.gbasCommon.Take(&common);
    if (row.chosen < 0) {
      EXPECT_EQ(r.gbas.bValid, 0) << row.name;
      EXPECT_EQ(r.gbas.uSelector, 65535) << row.name;
      EXPECT_EQ(sel, 65535) << row.name;
      EXPECT_EQ(common.bValid, 0) << row.name;
      continue;
    }
    ASSERT_EQ(r.gbas.bValid, 1) << row.name;
    const double prc = row.chosen == 0 ? 1.0 : 2.0;
    EXPECT_NEAR(r.gbas.fCorrection, 0.071739752840 + prc - 0.1, 2e-6) << row.name;
    EXPECT_EQ(sel, row.chosen == 0 ? 5 : 255) << row.name;
    EXPECT_EQ(r.gbas.uSelector, sel) << row.name;
    EXPECT_EQ(r.gbas.svId, gps(5)) << row.name;
    EXPECT_EQ(common.bValid, 1) << row.name;
    EXPECT_EQ(common.station.ulGbasId, gbastest::idCode(row.chosen == 0 ? "AAAA" : "BBBB")) << row.name;
    EXPECT_EQ(common.bAddValid, row.chosen == 0 ? 1 : 0) << row.name;
    SatData::GbasAccuracyDataType acc{};
    const SvIdType sv = gps(5);
    ASSERT_NE(PVTDataInstance.satGbasAccuracy.Take(&sv, &acc), 0) << row.name;
    EXPECT_NEAR(acc.fSigmaPrGnd, 1.0, 1e-6) << row.name;
    EXPECT_EQ(acc.uEphDecorr, 12) << row.name;
    EXPECT_NEAR(acc.fB[0], 0.15, 1e-6) << row.name;
  }
}

TEST(GbasCorrectionStage, NoStationClearsEverySatellitesGbasPart) {
  twoStations(false, false);
  Scenario s;
  s.mode = 2;
  s.stationSel = 5;
  writeEpoch(s);
  // A stale GBAS part on another satellite (GLONASS) is cleared too; its troposphere part stays.
  SvIdType glo;
  ASSERT_TRUE(svIdFromSiNumber(kSysGlonass, 3, glo));
  SatData::CorrectionDataType other;
  other.init();
  other.gbas.bValid = 1;
  other.gbas.uSelector = 5;
  other.tropo.bValid = 1;
  PVTDataInstance.satCorrection.Put(&glo, &other);
  SatCorrProcessorInstance.update_GbasCorrection();
  EXPECT_EQ(published(5).gbas.bValid, 1);
  SatData::CorrectionDataType g;
  ASSERT_NE(PVTDataInstance.satCorrection.Take(&glo, &g), 0);
  EXPECT_EQ(g.gbas.bValid, 0);
  EXPECT_EQ(g.gbas.uSelector, 65535);
  EXPECT_EQ(g.tropo.bValid, 1);

  s.stationSel = 6;  // no station now
  writeEpoch(s);
  SatCorrProcessorInstance.update_GbasCorrection();
  EXPECT_EQ(published(5).gbas.bValid, 0);
  EXPECT_EQ(published(5).gbas.uSelector, 65535);
  EXPECT_EQ(SatCorrProcessorInstance.work().request.uGbasSelector, 65535);
}

TEST(GbasCorrectionStage, NoGpsTimeNoCorrections) {
  twoStations(false, false);
  Scenario s;
  writeEpoch(s);
  SatCorrProcessorInstance.work().request.rcvTime.gps.uStatus[0] = 0;
  SatCorrProcessorInstance.update_GbasCorrection();
  EXPECT_EQ(published(5).gbas.bValid, 0);
}

// ---- Through the message decoder ---------------------------------------------------------------

TEST(GbasCorrectionStage, DecodedMessagesGiveTheStationsCorrections) {
  clearAll();
  for (GbasDataDecoder& d : GbasDataDecoderInstance) {
    d.init_Object(&PVTDataInstance);
    d.update(PosData::RcvTimeDataType{}, 0, 0, nullptr, 0);
  }
  // Type 2 of station ROAD (N_R 379, h0 100 m, sigma_N 20, sigma_vig 4e-6, block 1 selector 9,
  // 50 km), then a Type 1 for GPS 5: PRC 2.5 m, RRC -0.1 m/s, sigma 1.0 m, IOD 7, CRC 0x1234,
  // Z-count 1 s before the epoch.
  const gbastest::Station st{1, 1, 1, 0, 40, -7, 1, 20, 0, 0, 10000};
  const std::vector<std::uint8_t> t2 = gbastest::frame(kBlock, "ROAD", 2, gbastest::type2Body(st, {9, 25, 1, 1, 1, 1}));
  const int zCount = static_cast<int>((kNow - 1000) % 1200000 / 100);
  const std::vector<std::uint8_t> t1 = gbastest::frame(
      kBlock, "ROAD", 1, gbastest::type1Body(zCount, 0, 1, 0, 12, 0x1234, 255, {{5, 7, 250, -100, 50, 3, -128, -128, -128}}));
  PosData::RcvTimeDataType t{};
  t.ulTimeTag = kTag - 500;
  t.gps.ulMs = kNow - 500;
  t.gps.uStatus[0] = 1;
  for (const std::vector<std::uint8_t>* m : {&t2, &t1}) {
    const std::uint8_t block = GbasDecUtility::reverseByte((*m)[0]);
    const std::uint32_t id = GbasDecUtility::extract(m->data(), 8, 24);
    GbasDataDecoder* d = get_GbasDataDecoder(t, block, id);
    ASSERT_NE(d, nullptr);
    ASSERT_NE(d->update(t, id, block, m->data(), static_cast<int>(m->size())), 0);
  }
  NavData::GbasEphIntegrityDataType e{};
  e.uIod = 7;
  e.uCrc = 0x1234;
  const SvIdType sv = gps(5);
  DataBufferServerType::ulMsTime.store(kTag);
  PVTDataInstance.gbasEphIntegrity.Put(&sv, &e);

  Scenario s;
  s.mode = 2;
  s.stationSel = 9;
  writeEpoch(s);
  // The user straight above the station's reference point, 400 m above the ellipsoid.
  GBASData::StationDataType sd{};
  PVTDataInstance.gbasStationData[get_GbasDataDecoder(t, kBlock, gbastest::idCode("ROAD"))->number()].Take(&sd);
  SatCorrWorkArea& w = SatCorrProcessorInstance.work();
  w.request.position.dX = sd.dX * (6378137.0 + 400.0) / (6378137.0 + 100.0);
  w.request.position.dY = sd.dY;
  w.request.position.dZ = sd.dZ;
  SatCorrProcessorInstance.update_GbasCorrection();
  const SatData::CorrectionDataType r = published(5);
  ASSERT_EQ(r.gbas.bValid, 1);
  EXPECT_EQ(r.gbas.uSelector, 9);
  EXPECT_EQ(r.gbas.uIod, 7);
  EXPECT_NEAR(r.gbas.fAge, 1.0, 1e-6);
  EXPECT_NEAR(r.gbas.fCorrection, 0.071739752840 + 2.5 - 0.1, 2e-6);
  // x_air 300 m, v_air 0 (no velocity solution).
  const double si = 1.751421095157 * 4e-6 * 300.0, stp = 0.003785738936;
  EXPECT_NEAR(r.gbas.fVariance, si * si + stp * stp + 1.0, 1e-5);

  // The epoch's velocity record, 30 m/s east and 40 north (and 5 up, which does not count) at
  // the request's latitude and longitude, gives v_air 50 m/s: x_air + 2 tau v_air = 300 + 2 * 100 *
  // 50 m. The solution record's velocity, another task's, is not what counts.
  const double lat = std::atan2(w.request.position.dZ, std::hypot(w.request.position.dX, w.request.position.dY));
  const double lon = std::atan2(w.request.position.dY, w.request.position.dX);
  w.request.position.dLat = lat;
  w.request.position.dLon = lon;
  const double east[3] = {-std::sin(lon), std::cos(lon), 0};
  const double north[3] = {-std::sin(lat) * std::cos(lon), -std::sin(lat) * std::sin(lon), std::cos(lat)};
  const double up[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
  w.velocity.bValid = 1;
  for (int k = 0; k < 3; ++k) w.velocity.dFirstVector[k] = 30 * east[k] + 40 * north[k] + 5 * up[k];
  NavSol.pos.bVelValid = 0;
  SatCorrProcessorInstance.update_GbasCorrection();
  const double si50 = 1.751421095157 * 4e-6 * (300.0 + 2 * 100.0 * 50.0);
  EXPECT_NEAR(published(5).gbas.fVariance, si50 * si50 + stp * stp + 1.0, 1e-5);
}

}  // namespace
