// BeiDou D2 correction records and generator: time tags and source rules of the records, the
// grid numbering of the BDS ICD (5.3.3.9: points 1-160 on the whole-degree rows,
// 161-320 on the half-degree rows, column by column from 70 E, south to north), the cell choice
// and bilinear interpolation against a computation written here, and the request the generator
// fills from the servers the D2 decoders write.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <set>

#include "positioning/corrections/comp_corr_generator.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "unit/positioning/fresh_comp_servers.h"

namespace {

using COMPData::IonoCorrBlockType;
using COMPData::SatCorrectionType;

SvIdType bds(int prn) {
  const auto si = static_cast<std::uint8_t>(prn - 1);
  return SvIdType{si, kSysBeidou, 0, si};
}

constexpr std::uint32_t kNow = 345600000;  // BDT ms of week
const SvIdType kGeo = bds(1), kOtherGeo = bds(59);

// Point of a grid node per the ICD's numbering, computed from its own description.
int icdPoint(double lat, double lon) {
  const int column = static_cast<int>(std::lround((lon - 70) / 5));
  const bool half = std::fmod(lat, 5.0) != 0.0;
  const int row = static_cast<int>(std::lround((lat - (half ? 7.5 : 10.0)) / 5));
  return (half ? 160 : 0) + column * 10 + row + 1;
}

// Every grid block of source 0 written with delay code `code(point)` and GIVEI `give(point)`.
template <class F, class G>
void writeGrid(F code, G give, SvIdType geo = kGeo, std::uint32_t timeMs = kNow) {
  std::uint16_t blocks[26][13] = {};
  for (int li = 3; li <= 22; ++li)
    for (int c = 0; c < 16; ++c) {
      const double lat = li * 2.5, lon = 70 + 5 * c;
      const int p = icdPoint(lat, lon);
      const int n = p <= 160 ? p - 1 : p - 161;
      blocks[(p <= 160 ? 0 : 13) + n / 13][n % 13] = static_cast<std::uint16_t>(code(lat, lon) << 4 | give(lat, lon));
    }
  for (int b = 0; b < 26; ++b) put_CompIonoBlock(0, geo, b, blocks[b], timeMs);
}

CorrData::RequestSatDataType pierce(double lat, double lon, float obliquity = 1.0f) {
  CorrData::RequestSatDataType s{};
  s.fIppLat = static_cast<float>(lat);
  s.fIppLon = static_cast<float>(lon);
  s.fObliquity = obliquity;
  s.svId = bds(10);
  return s;
}

}  // namespace

// ---- records ------------------------------------------------------------------------------------

TEST(CompData, TimeTagsAndAges) {
  COMPData::TimeTag t = 0;
  EXPECT_FLOAT_EQ(COMPData::get_TimeTagAge(t, kNow), 86410.0f) << "never set";
  struct Row {
    std::uint32_t tagMs, nowMs;
    float age;
  } rows[] = {{kNow, kNow, 0.0f},
              {kNow - 1500, kNow, 1.5f},
              {kNow, kNow - 2000, -2.0f},
              {0, 302400000, 302400.0f},
              {0, 302401000, -302399.0f},
              {604799000, 1000, 2.0f}};
  for (const Row& r : rows) {
    COMPData::set_TimeTag(t, r.tagMs);
    EXPECT_EQ(t & 1u, 1u);
    EXPECT_EQ(t >> 1, r.tagMs);
    EXPECT_NEAR(COMPData::get_TimeTagAge(t, r.nowMs), r.age, 1e-3) << r.tagMs << " " << r.nowMs;
  }
  COMPData::set_TimeTag(t, COMPData::kNoTime);
  EXPECT_EQ(t & 1u, 0u);
  EXPECT_FLOAT_EQ(COMPData::get_TimeTagAge(t, kNow), 86410.0f);
}

TEST(CompData, ASecondSourceDropsWhatTheFirstLeft) {
  SatCorrectionType r;
  EXPECT_EQ(r.get_SourceIndex(), 31);
  EXPECT_FALSE(r.is_ReadyUDREData(kNow) || r.is_ReadyCorrData(kNow));
  r.set_ReadyUDREData(kGeo);
  COMPData::set_TimeTag(r.ulUdreTime, kNow);
  r.set_ReadyCorrData(kGeo);
  COMPData::set_TimeTag(r.ulCorrTime, kNow);
  EXPECT_TRUE(r.is_ReadyUDREData(kNow) && r.is_ReadyCorrData(kNow)) << "same source keeps both";
  r.set_ReadyCorrData(kOtherGeo);
  EXPECT_EQ(r.get_SourceIndex(), kOtherGeo.si & 31);
  EXPECT_FALSE(r.is_ReadyUDREData(kNow)) << "the other source's UDRE goes";
  EXPECT_FALSE(r.is_ReadyCorrData(kNow)) << "its time tag was cleared";
  r.set_ReadyUDREData(kGeo);
  EXPECT_EQ(r.uFlags & SatCorrectionType::kCorrReady, 0);

  IonoCorrBlockType b;
  EXPECT_EQ(b.uSource, 31);
  b.set_ReadyIonoBlock(kGeo);
  COMPData::set_TimeTag(b.ulTime, kNow);
  EXPECT_TRUE(b.is_ReadyIonoBlock(kNow));
  b.set_ReadyIonoBlock(kGeo);
  EXPECT_TRUE(b.is_ReadyIonoBlock(kNow)) << "same source keeps the tag";
  b.set_ReadyIonoBlock(kOtherGeo);
  EXPECT_FALSE(b.is_ReadyIonoBlock(kNow));
}

TEST(CompData, TimeOutsFromTheSetupAndTheSourceStateTimeOut) {
  PosSetup::CorrProcessorSetupType s;
  PosSetup::setDefaults(s);
  SatCorrectionType::set_DataTimeout(&s);
  IonoCorrBlockType::set_DataTimeout(&s);
  EXPECT_FLOAT_EQ(SatCorrectionType::fPrnMaskTimeout, 3600.0f);
  EXPECT_FLOAT_EQ(SatCorrectionType::fUDREDataTimeout, 360.0f);
  EXPECT_FLOAT_EQ(SatCorrectionType::fCorrDataTimeout, 360.0f);
  EXPECT_FLOAT_EQ(IonoCorrBlockType::fBlockTimeout, 1200.0f);
  CompCorrGenerator::process_DataTimeout();
  EXPECT_FLOAT_EQ(COMPData::SourceStateDataType::fSourceStateTimeout, 3660.0f);
  const std::uint16_t big = 5000, small = 10;
  std::memcpy(s.aBytes + COMPData::kSetupIonoTimeoutOffset, &big, 2);
  std::memcpy(s.aBytes + COMPData::kSetupDataTimeoutOffset, &small, 2);
  SatCorrectionType::set_DataTimeout(&s);
  IonoCorrBlockType::set_DataTimeout(&s);
  CompCorrGenerator::process_DataTimeout();
  EXPECT_FLOAT_EQ(COMPData::SourceStateDataType::fSourceStateTimeout, 5060.0f);
  // A UDRE 10 s old is ready, 10.001 s is not.
  SatCorrectionType r;
  r.set_ReadyUDREData(kGeo);
  COMPData::set_TimeTag(r.ulUdreTime, kNow - 10000);
  EXPECT_TRUE(r.is_ReadyUDREData(kNow));
  EXPECT_FALSE(r.is_ReadyUDREData(kNow + 1));
  PosSetup::setDefaults(s);
  SatCorrectionType::set_DataTimeout(&s);
  IonoCorrBlockType::set_DataTimeout(&s);
}

// ---- grid numbering -------------------------------------------------------------------------------

TEST(CompCorrGrid, NumberingRows) {
  struct Row {
    double lat, lon;
    int point, block, inBlock;  // point 0: not a grid point
  } rows[] = {
      {10, 70, 1, 0, 0},     {15, 70, 2, 0, 1},      {55, 70, 10, 0, 9},    {10, 75, 11, 0, 10},
      {25, 75, 14, 1, 0},    {55, 145, 160, 12, 3},  {7.5, 70, 161, 13, 0}, {12.5, 70, 162, 13, 1},
      {7.5, 75, 171, 13, 10}, {52.5, 145, 320, 25, 3}, {30, 100, 65, 4, 12},
      // Not grid points: outside the grid (5 N, 75 E would otherwise read as point 10 at
      // 55 N, 70 E), between nodes, not numbers.
      {5, 75, 0, 0, 0},      {57.5, 70, 0, 0, 0},    {10, 150, 0, 0, 0},    {10, 65, 0, 0, 0},
      {2.5, 70, 0, 0, 0},    {-10, 70, 0, 0, 0},     {11, 70, 0, 0, 0},     {10, 72, 0, 0, 0},
      {NAN, 70, 0, 0, 0},
  };
  for (const Row& r : rows) {
    int point = -1, block = -1, inBlock = -1;
    const bool ok = CompCorrGenerator::get_IonoCorrPointAndBlock(r.lat, r.lon, point, block, inBlock);
    EXPECT_EQ(ok, r.point != 0) << r.lat << " " << r.lon;
    if (!ok) continue;
    EXPECT_EQ(point, r.point) << r.lat << " " << r.lon;
    EXPECT_EQ(block, r.block) << r.lat << " " << r.lon;
    EXPECT_EQ(inBlock, r.inBlock) << r.lat << " " << r.lon;
  }
}

TEST(CompCorrGrid, EveryNodeHasItsOwnPoint) {
  std::set<int> points;
  for (int li = 3; li <= 22; ++li)
    for (int c = 0; c < 16; ++c) {
      int point = 0, block = 0, inBlock = 0;
      const double lat = li * 2.5, lon = 70 + 5 * c;
      ASSERT_TRUE(CompCorrGenerator::get_IonoCorrPointAndBlock(lat, lon, point, block, inBlock));
      EXPECT_EQ(point, icdPoint(lat, lon));
      const int n = point <= 160 ? point - 1 : point - 161;
      EXPECT_EQ(block, (point <= 160 ? 0 : 13) + n / 13);
      EXPECT_EQ(inBlock, n % 13);
      points.insert(point);
    }
  EXPECT_EQ(points.size(), 320u);
  EXPECT_EQ(*points.begin(), 1);
  EXPECT_EQ(*points.rbegin(), 320);
}

// ---- interpolation --------------------------------------------------------------------------------

namespace {

// The delay at a node of the test grid: a plane in latitude and longitude, so that bilinear
// interpolation over any cell gives the plane's value exactly.
int planeCode(double lat, double lon) { return static_cast<int>(std::lround(40 + 4 * (lat - 7.5) + 2 * (lon - 70))); }

struct Cell {
  double latS, lonW, h;
};

// Bilinear over a cell whose unusable corners drop out and whose weights are renormalised.
double expectDelay(double lat, double lon, const Cell& c, const bool usable[4], double (*v)(double, double)) {
  const double x = (lat - c.latS) / c.h, y = (lon - c.lonW) / 5;
  const double corner[4][2] = {{c.latS, c.lonW}, {c.latS, c.lonW + 5}, {c.latS + c.h, c.lonW + 5}, {c.latS + c.h, c.lonW}};
  const double w[4] = {(1 - x) * (1 - y), (1 - x) * y, x * y, x * (1 - y)};
  double s = 0, sw = 0;
  for (int k = 0; k < 4; ++k)
    if (usable[k]) s += w[k] * v(corner[k][0], corner[k][1]), sw += w[k];
  return s / sw;
}

double planeMetres(double lat, double lon) { return planeCode(lat, lon) * 0.125; }

}  // namespace

TEST(CompCorrIono, CellsWithFourThreeTwoAndOneUsableCorners) {
  put_CompSourceState(0, kGeo, 0);
  CompCorrGenerator gen(&PVTDataInstance);
  gen.select_Source(0, kGeo, kNow);
  // Point 31.2 N, 101.5 E: the 2.5-degree cell 30-32.5 / 100-105, the lower 5-degree cell
  // 27.5-32.5, the upper one 30-35.
  const double lat = 31.2, lon = 101.5;
  struct Row {
    const char* name;
    std::vector<std::pair<double, double>> missing;  // nodes marked not monitored (510)
    Cell cell;
    bool usable[4];
  } rows[] = {
      {"all present: the 2.5-degree cell", {}, {30, 100, 2.5}, {true, true, true, true}},
      {"the 2.5-degree and lower 5-degree cells lack their upper-east corner: the upper cell has four",
       {{32.5, 105}},
       {30, 100, 5},
       {true, true, true, true}},
      {"upper-east gone from every cell: three corners of the 2.5-degree cell",
       {{32.5, 105}, {35, 105}},
       {30, 100, 2.5},
       {true, true, false, true}},
      {"two corners left in the 2.5-degree cell, fewer elsewhere",
       {{32.5, 105}, {32.5, 100}, {35, 105}, {35, 100}, {27.5, 105}},
       {30, 100, 2.5},
       {true, true, false, false}},
      {"one corner left",
       {{32.5, 105}, {32.5, 100}, {35, 105}, {35, 100}, {27.5, 105}, {27.5, 100}, {30, 105}},
       {30, 100, 2.5},
       {true, false, false, false}},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    writeGrid(
        [&](double la, double lo) {
          for (const auto& [a, b] : r.missing)
            if (a == la && b == lo) return IonoCorrBlockType::kDelayNotMonitored;
          return planeCode(la, lo);
        },
        [](double la, double) { return static_cast<int>(la / 5) % 16; });
    const CompCorrGenerator::IonoResultType io = gen.compute_IonoCorrection(pierce(lat, lon, 1.5f), 0.0);
    ASSERT_TRUE(io.valid);
    const float fLat = static_cast<float>(lat), fLon = static_cast<float>(lon);
    const double want = expectDelay(fLat, fLon, r.cell, r.usable, planeMetres);
    EXPECT_NEAR(io.vertical, want, 1e-5);
    EXPECT_NEAR(io.delay, -want * 1.5, 1e-4);
    EXPECT_NEAR(io.age, 0.0f, 1e-6);
  }
  // No usable corner in any cell: nothing.
  writeGrid([](double, double) { return IonoCorrBlockType::kDelayNotAvailable; }, [](double, double) { return 1; });
  EXPECT_FALSE(gen.compute_IonoCorrection(pierce(lat, lon), 0.0).valid);
}

TEST(CompCorrIono, VarianceScalingAndForeignOrStaleBlocks) {
  postest::freshCompServers();  // no grid block but this test's
  CompCorrGenerator gen(&PVTDataInstance);
  writeGrid([](double, double) { return 80; }, [](double, double) { return 9; });  // 10 m, GIVE 3.0 m
  gen.select_Source(0, kGeo, kNow + 5000);
  const double fB1I = 1561.098e6, fB3I = 1268.52e6;
  const auto io = gen.compute_IonoCorrection(pierce(20, 100, 2.0f), fB3I);
  ASSERT_TRUE(io.valid);
  const double k = (fB1I / fB3I) * (fB1I / fB3I);
  EXPECT_NEAR(io.delay, -10.0 * 2.0 * k, 1e-4);
  EXPECT_NEAR(io.variance, (3.0 / 3.29) * (3.0 / 3.29) * 4.0 * k * k, 1e-4);
  EXPECT_NEAR(io.age, 5.0f, 1e-3);
  gen.select_Source(0, kOtherGeo, kNow);
  EXPECT_FALSE(gen.compute_IonoCorrection(pierce(20, 100), 0.0).valid) << "blocks of another source";
  gen.select_Source(0, kGeo, kNow + 1200001);
  EXPECT_FALSE(gen.compute_IonoCorrection(pierce(20, 100), 0.0).valid) << "blocks older than their time-out";
}

TEST(CompCorrIono, PiercePointsAtAndBeyondTheEdges) {
  CompCorrGenerator gen(&PVTDataInstance);
  writeGrid([](double la, double lo) { return planeCode(la, lo); }, [](double, double) { return 2; });
  gen.select_Source(0, kGeo, kNow);
  struct Row {
    double lat, lon;
    bool valid;
  } rows[] = {{7.5, 100, true}, {7.4, 100, false}, {55, 100, true}, {55.1, 100, false}, {30, 70, true},
              {30, 69.9, false}, {30, 145, true}, {30, 145.1, false}, {7.5, 70, true}, {55, 145, true},
              {7.5, 145, true}, {55, 70, true}, {-30, 100, false}};
  for (const Row& r : rows) {
    const auto io = gen.compute_IonoCorrection(pierce(r.lat, r.lon), 0.0);
    EXPECT_EQ(io.valid, r.valid) << r.lat << " " << r.lon;
    if (io.valid) {
      EXPECT_NEAR(io.vertical, planeMetres(static_cast<float>(r.lat), static_cast<float>(r.lon)), 1e-4)
          << r.lat << " " << r.lon;
    }
  }
  // Every pierce point along and inside the edges, in tenths of a degree: in range, finite.
  for (double la = 7.5; la <= 55.0001; la += 0.1)
    for (double lo : {70.0, 70.05, 107.5, 144.95, 145.0}) {
      const auto io = gen.compute_IonoCorrection(pierce(la, lo), 0.0);
      ASSERT_TRUE(io.valid) << la << " " << lo;
      ASSERT_TRUE(std::isfinite(io.delay) && std::isfinite(io.variance));
    }
  // A point on a node whose own value is missing and whose neighbours weigh nothing in the first
  // cell falls to a cell where they weigh something.
  writeGrid([](double la, double lo) { return la == 30 && lo == 100 ? 510 : planeCode(la, lo); },
            [](double, double) { return 2; });
  const auto onNode = gen.compute_IonoCorrection(pierce(30, 100), 0.0);
  ASSERT_TRUE(onNode.valid);
  EXPECT_TRUE(std::isfinite(onNode.vertical));
  EXPECT_NEAR(onNode.vertical, planeMetres(30, 100), 1e-4) << "the lower 5-degree cell's west edge";
}

// ---- satellite corrections and the request ----------------------------------------------------

TEST(CompCorrGenerator, SatelliteCorrectionRows) {
  struct Row {
    const char* name;
    int udrei;
    bool withCorr;
    SvIdType writer;
    std::uint32_t nowMs;
    bool udreValid, corrValid;
  } rows[] = {
      {"UDREI 3 with a correction", 3, true, kGeo, kNow, true, true},
      {"UDREI 13 with a correction", 13, true, kGeo, kNow, true, true},
      {"UDREI 14: not monitored", 14, true, kGeo, kNow, true, false},
      {"UDREI 15: not available", 15, true, kGeo, kNow, true, false},
      {"UDRE without a correction", 2, false, kGeo, kNow, true, false},
      {"another source's data", 2, true, kOtherGeo, kNow, false, false},
      {"older than the time-out", 2, true, kGeo, kNow + 361000, false, false},
  };
  CompCorrGenerator gen(&PVTDataInstance);
  int prn = 1;
  for (const Row& r : rows) {
    SCOPED_TRACE(r.name);
    const SvIdType sat = bds(++prn);
    put_CompUdreData(1, r.writer, sat, static_cast<std::uint8_t>(r.udrei), kNow);
    if (r.withCorr) put_CompCorrData(1, r.writer, sat, -1234, 5, kNow);
    gen.select_Source(1, kGeo, r.nowMs);
    const auto c = gen.compute_SatCorrection(sat);
    EXPECT_EQ(c.udreValid, r.udreValid);
    EXPECT_EQ(c.corrValid, r.corrValid);
    if (c.corrValid) {
      EXPECT_NEAR(c.correction, -123.4f, 1e-4);
      const double sigma = CompCorrGenerator::fTableSigmaUDRE[r.udrei];
      EXPECT_NEAR(c.variance, (sigma / 3.29) * (sigma / 3.29), 1e-6 * sigma * sigma);
    }
  }
  // Out-of-range sources and blocks are refused.
  put_CompUdreData(5, kGeo, bds(30), 1, kNow);
  put_CompUdreData(-1, kGeo, bds(30), 1, kNow);
  put_CompIonoBlock(0, kGeo, 26, nullptr, kNow);
  put_CompSourceState(5, kGeo, 0);
  gen.select_Source(4, kGeo, kNow);
  EXPECT_FALSE(gen.compute_SatCorrection(bds(30)).udreValid);
}

TEST(CompCorrGenerator, UpdateFillsOneSlotPerLiveSource) {
  postest::freshCompServers();  // no source, correction or grid block but this test's
  auto req = std::make_unique<CorrData::CorrectionRequestType>();
  auto wd = std::make_unique<SBASData::CorrectionRequestType>();
  req->rcvTime.bds.ulMs = kNow;
  req->rcvTime.ulTimeTag = 4000000;
  req->uCount = 3;
  req->sat[0] = pierce(30, 110, 1.2f);
  req->sat[0].svId = bds(7);
  req->sat[1] = pierce(30, 110, 1.2f);
  req->sat[1].svId = SvIdType{6, kSysGps, 0, 6};
  req->sat[2] = pierce(60, 110, 1.2f);
  req->sat[2].svId = bds(8);
  wd->pRequest = req.get();
  wd->uSourceCount = 7;
  // Source 0 heard 10 s ago with data; source 2 heard 3661 s ago (past the time-out); source 3
  // holds a GPS satellite; sources 1 and 4 never heard.
  put_CompSourceState(0, kGeo, 4000000 - 10000);
  put_CompSourceState(2, bds(2), 4000000 - 3661000);
  put_CompSourceState(3, SvIdType{1, kSysGps, 0, 1}, 4000000);
  writeGrid([](double, double) { return 40; }, [](double, double) { return 0; });
  put_CompUdreData(0, kGeo, bds(7), 4, kNow);
  put_CompCorrData(0, kGeo, bds(7), 25, 1, kNow - 2000);
  CompCorrGenerator gen(&PVTDataInstance);
  gen.update(wd.get());
  ASSERT_EQ(wd->uSourceCount, 1);
  const SBASData::SourceSlotType& slot = wd->source[0];
  EXPECT_EQ(slot.uPrn, 1);
  EXPECT_NEAR(slot.fAge, 10.0f, 1e-3);
  for (int band = 0; band < 2; ++band) {
    EXPECT_EQ(slot.corr[0][band].bValid, 1);
    EXPECT_EQ(slot.corr[0][band].bUdreValid, 1);
    EXPECT_NEAR(slot.corr[0][band].fCorrection, 2.5f, 1e-5);
    EXPECT_NEAR(slot.corr[0][band].fAge, 2.0f, 1e-3);
    EXPECT_NEAR(slot.corr[0][band].fVariance, (4.0 / 3.29) * (4.0 / 3.29), 1e-5);
    EXPECT_EQ(slot.corr[1][band].bValid, 0) << "a GPS satellite";
    EXPECT_EQ(slot.corr[2][band].bValid, 0);
  }
  EXPECT_EQ(slot.iono[0].bValid, 1);
  EXPECT_NEAR(slot.iono[0].fDelay, -5.0 * 1.2, 1e-4);
  EXPECT_EQ(slot.iono[1].bValid, 0);
  EXPECT_EQ(slot.iono[2].bValid, 0) << "pierce point north of the grid";
  wd->pRequest = nullptr;
  gen.update(wd.get());
  EXPECT_EQ(wd->uSourceCount, 0);
}

// The correction processor holds the generator and, each epoch, sets the BeiDou time-outs from
// its setup (before anything else can end the epoch).
TEST(CompCorrGenerator, TheCorrectionProcessorHoldsItAndSetsItsTimeOuts) {
  EXPECT_EQ(SatCorrProcessorInstance.compGenerator(), &CompCorrGeneratorInstance);
  PVTDataInstance.lmsEngineSetup.Init();
  PVTDataInstance.satProcessorSetup.Init();
  PVTDataInstance.corrProcessorSetup.Init();
  PosSetup::CorrProcessorSetupType s;
  ASSERT_EQ(PVTDataInstance.corrProcessorSetup.Take(&s), 1);
  const std::uint16_t data = 45, iono = 700;
  std::memcpy(s.aBytes + COMPData::kSetupDataTimeoutOffset, &data, 2);
  std::memcpy(s.aBytes + COMPData::kSetupIonoTimeoutOffset, &iono, 2);
  PVTDataInstance.corrProcessorSetup.Put(&s);
  SatCorrProcessorInstance.update(0);
  EXPECT_FLOAT_EQ(SatCorrectionType::fUDREDataTimeout, 45.0f);
  EXPECT_FLOAT_EQ(SatCorrectionType::fCorrDataTimeout, 45.0f);
  EXPECT_FLOAT_EQ(IonoCorrBlockType::fBlockTimeout, 700.0f);
}
