// SLAS correction generator. Truth: the L1S error model (IS-QZSS-L1S user range error terms a, b,
// 0.0185 m^2 and the distance term) computed here from its published form; the datum shift of
// the TOY-A row of the public datum table (NIMA TR8350.2: X_WGS84 = X_TOY-A + (-148, 507, 685) m).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "positioning/corrections/cd_correction.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/slas/slas_corr_generator.h"
#include "positioning/slas/slas_data_decoder.h"
#include "unit/positioning/slas_messages.h"

namespace {

constexpr std::uint32_t kNowMs = 345600000;      // QZSS ms of week
constexpr std::uint32_t kNowTag = 900000000;     // receiver time tag, ms
const double kStationPos[3] = {-3950000.0, 3350000.0, 3700000.0};

SvIdType sat(int sys, int number) {
  SvIdType sv;
  EXPECT_TRUE(svIdFromSatNumber(sys, number, sv));
  return sv;
}

void clearServers() {
  for (int i = 0; i < SLASData::kSlasSources; ++i) {
    PVTDataInstance.slasSatCorrection[i].Init();
    SLASData::StationDataType none;
    PVTDataInstance.slasStationData[i].Put(&none);
  }
  SLASData::SatCorrectionType::set_DataTimeout();
  SLASData::StationDataType::set_StationDataTimeout();
}

void putStation(int slot, int code, std::uint32_t distance, std::uint32_t ageMs, const char* datum = "W84") {
  SLASData::StationDataType s;
  s.dX = kStationPos[0];
  s.dY = kStationPos[1];
  s.dZ = kStationPos[2];
  s.ulDistance = distance;
  s.ulTime = kNowTag - ageMs;
  s.uStationCode = static_cast<std::uint16_t>(code);
  // A full-width datum name has no terminator, as the record allows.
  std::memcpy(s.cDatum, datum, std::min(std::strlen(datum), sizeof s.cDatum));
  PVTDataInstance.slasStationData[slot].Put(&s);
}

constexpr int kNone = -999999;
struct Corr {
  float prc;
  int iod;
  int ageMs;  // kNone: none
};
void putCorr(int slot, const SvIdType& sv, int code, Corr cur, Corr prev = {0.0f, 0, kNone}) {
  SLASData::SatCorrectionType r;
  r.init();
  r.uStationCode = static_cast<std::uint16_t>(code);
  const Corr c[2] = {cur, prev};
  for (int k = 0; k < 2; ++k) {
    if (c[k].ageMs == kNone) continue;
    SLASData::set_TimeTag(r.ulTime[k], static_cast<int>(kNowMs) - c[k].ageMs);
    r.fPrc[k] = c[k].prc;
    r.uIod[k] = static_cast<std::uint8_t>(c[k].iod);
  }
  PVTDataInstance.slasSatCorrection[slot].Put(&sv, &r);
}

CorrData::CorrectionRequestType gQ;
RTCMData::CorrectionRequestType gR;

// One requested satellite at elevation `elev` with line of sight `los` and ephemeris IOD `iod`.
void request(const SvIdType& sv, float elev, int iod = 0, float obliquity = 1.0f,
             const double los[3] = nullptr, bool qzssTime = true) {
  gQ = CorrData::CorrectionRequestType{};
  gQ.rcvTime.ulTimeTag = kNowTag;
  gQ.rcvTime.qzss.ulMs = kNowMs;
  gQ.rcvTime.qzss.uStatus[0] = qzssTime ? 1 : 0;
  gQ.uCount = 1;
  gQ.sat[0].svId = sv;
  gQ.sat[0].fElevation = elev;
  gQ.sat[0].fObliquity = obliquity;
  gQ.sat[0].uIod = static_cast<std::uint16_t>(iod);
  const double up[3] = {0.0, 0.0, 1.0};
  for (int k = 0; k < 3; ++k) gQ.sat[0].dLos[k] = los != nullptr ? los[k] : up[k];
  gR = RTCMData::CorrectionRequestType{};
  gR.pRequest = &gQ;
  gR.uStationCount = 7;  // whatever was there
  SlasCorrGeneratorInstance.update(&gR);
}

class SlasGenerator : public ::testing::Test {
 protected:
  void SetUp() override { clearServers(); }
};

// a = 0.13 + 0.53 e^(-E/10), b = 0.16 + 1.07 e^(-E/15.5), s = 0.004 (14 + D/km); variance
// a^2 + b^2 + 0.0185 + f s^2, evaluated by hand.
TEST_F(SlasGenerator, VarianceFollowsElevationAndDistance) {
  struct Row {
    double elev, dist, f, variance;
  } rows[] = {
      {5.0, 10000.0, 1.0, 0.203817260 + 0.874181890 + 0.0185 + 0.00921600},
      {30.0, 10000.0, 1.0, 0.024456940 + 0.098884596 + 0.0185 + 0.00921600},
      {90.0, 10000.0, 1.0, 0.016917010 + 0.026640328 + 0.0185 + 0.00921600},
      {30.0, 100000.0, 1.0, 0.024456940 + 0.098884596 + 0.0185 + 0.20793600},
      {90.0, 100000.0, 2.5, 0.016917010 + 0.026640328 + 0.0185 + 2.5 * 0.20793600},
  };
  for (const Row& r : rows) {
    EXPECT_NEAR(SlasCorrGenerator::variance(r.elev, r.dist, r.f, 0.0), r.variance, 2e-6) << r.elev << " " << r.dist;
    clearServers();
    const SvIdType g = sat(kSysGps, 7);
    putStation(0, 4, static_cast<std::uint32_t>(r.dist), 1000);
    putCorr(0, g, 4, {1.0f, 5, 2000});
    request(g, static_cast<float>(r.elev), 5, static_cast<float>(r.f));
    ASSERT_EQ(gR.uStationCount, 1);
    EXPECT_NEAR(gR.station[0].sat[0].slot[0].fVariance[0], r.variance, 1e-5) << r.elev << " " << r.dist;
  }
}

TEST_F(SlasGenerator, CorrectionsAgeOutAfterSixtySeconds) {
  struct Row {
    int age0, age1;
    bool ready0, ready1;
  } rows[] = {{60000, 60000, true, true}, {61000, 59000, false, true}, {0, 61000, true, false}, {-1000, 90000, true, false}};
  const SvIdType g = sat(kSysGps, 7);
  for (const Row& w : rows) {
    clearServers();
    putStation(0, 4, 10000, 1000);
    putCorr(0, g, 4, {1.5f, 5, w.age0}, {1.0f, 4, w.age1});
    request(g, 45.0f, 5);
    ASSERT_EQ(gR.uStationCount, 1);
    const RTCMData::SlotAnswerType& a = gR.station[0].sat[0].slot[0];
    EXPECT_EQ(a.bValid[0] != 0, w.ready0) << w.age0;
    EXPECT_EQ(a.bValid[1] != 0, w.ready1) << w.age1;
    if (w.ready0) {
      EXPECT_NEAR(a.fAge[0], w.age0 / 1000.0, 1e-6);
    }
  }
}

TEST_F(SlasGenerator, StationsOlderThanADayAreSkipped) {
  struct Row {
    std::uint32_t ageMs;
    int count;
  } rows[] = {{86400000, 1}, {86401000, 0}, {0, 1}, {0u - 2000u, 1}};  // the last: stamped after the request
  for (const Row& w : rows) {
    clearServers();
    putStation(1, 4, 10000, w.ageMs);
    request(sat(kSysGps, 7), 45.0f);
    EXPECT_EQ(gR.uStationCount, w.count) << w.ageMs;
  }
  // Every fresh slot gives a block, in slot order; an empty slot none.
  clearServers();
  putStation(0, 4, 10000, 0);
  putStation(2, 9, 20000, 0);
  request(sat(kSysGps, 7), 45.0f);
  ASSERT_EQ(gR.uStationCount, 2);
  EXPECT_EQ(gR.station[0].uStationId, 4);
  EXPECT_EQ(gR.station[1].uStationId, 9);
  EXPECT_DOUBLE_EQ(gR.station[1].dBaseline, 20000.0);
  EXPECT_EQ(gR.station[1].bRefPosValid, 1);
  EXPECT_DOUBLE_EQ(gR.station[1].dRefPos[2], kStationPos[2]);
}

TEST_F(SlasGenerator, DatumShiftAlongTheLineOfSight) {
  const double los[3] = {0.6, -0.48, 0.64};
  // TOY-A to WGS 84 is (-148, 507, 685) m: the station's WGS 84 position moves by the opposite
  // into the datum.
  const double toy = -(los[0] * 148.0 + los[1] * -507.0 + los[2] * -685.0);
  struct Row {
    const char* datum;
    int sys, number;
    double expect;
  } rows[] = {
      {"W84", kSysGps, 7, 2.0},           {"W84", kSysGlonass, 5, 2.0},  {"W84", kSysQzss, 194, 2.0},
      {"TOY-A", kSysGps, 7, 2.0 + toy},   {"TOY-A", kSysGlonass, 5, 2.0 + toy},
      {"NONE", kSysGps, 7, 2.0},
  };
  for (const Row& w : rows) {
    clearServers();
    const SvIdType sv = sat(w.sys, w.number);
    putStation(0, 4, 10000, 0, w.datum);
    putCorr(0, sv, 4, {2.0f, 5, 1000}, {2.0f, 4, 2000});
    request(sv, 45.0f, 5, 1.0f, los);
    ASSERT_EQ(gR.uStationCount, 1) << w.datum;
    for (int k = 0; k < 2; ++k)
      EXPECT_NEAR(gR.station[0].sat[0].slot[3].fCorrection[k], w.expect, 1e-3) << w.datum << " " << w.number;
  }
}

TEST_F(SlasGenerator, EachEntryCarriesItsOwnIssueOfData) {
  const SvIdType g = sat(kSysGps, 7);
  struct Row {
    int ephIod, use;
  } rows[] = {{10, 1}, {20, 0}, {30, 0}};
  for (const Row& w : rows) {
    clearServers();
    putStation(0, 4, 10000, 0);
    putCorr(0, g, 4, {2.0f, 20, 1000}, {1.0f, 10, 5000});
    request(g, 45.0f, w.ephIod);
    for (int s = 0; s < RTCMData::kCorrSlots; ++s) {
      const RTCMData::SlotAnswerType& a = gR.station[0].sat[0].slot[s];
      EXPECT_EQ(a.uIod[0], 20);
      EXPECT_EQ(a.uIod[1], 10);
      EXPECT_FLOAT_EQ(a.fCorrection[0], 2.0f);
      EXPECT_FLOAT_EQ(a.fCorrection[1], 1.0f);
      EXPECT_EQ(a.uSignal, s);
      EXPECT_EQ(a.uUseEntry, w.use) << w.ephIod;
    }
    EXPECT_EQ(gR.station[0].sat[0].bIonoValid, 0);
  }
}

TEST_F(SlasGenerator, NoCorrectionOfAnotherStationOrWithoutQzssTime) {
  const SvIdType g = sat(kSysGps, 7);
  struct Row {
    const char* name;
    int recordCode;
    bool qzssTime;
    bool valid;
  } rows[] = {{"own", 4, true, true}, {"other station", 5, true, false}, {"no QZSS time", 4, false, false}};
  for (const Row& w : rows) {
    clearServers();
    putStation(0, 4, 10000, 0);
    putCorr(0, g, w.recordCode, {2.0f, 20, 1000});
    request(g, 45.0f, 20, 1.0f, nullptr, w.qzssTime);
    ASSERT_EQ(gR.uStationCount, 1) << w.name;
    EXPECT_EQ(gR.station[0].sat[0].slot[0].bValid[0] != 0, w.valid) << w.name;
  }
}

TEST(SlasGeneratorWiring, CorrectionProcessorHoldsTheGenerator) {
  EXPECT_EQ(SatCorrProcessorInstance.slasGenerator(), &SlasCorrGeneratorInstance);
}

// The whole road: L1S messages through the decoder, the code-differential stage with the SLAS
// source asks the generator, and the satellite's correction record carries the station's
// correction (receiver and station at one height, no troposphere stage run: no difference).
TEST(SlasRoad, MessagesReachTheCodeDifferentialStage) {
  using namespace slastest;
  struct Row {
    const char* name;
    std::uint32_t stationMask;  // setup: bit per SLAS station code rated
    bool published;
  } rows[] = {{"station 2 rated", 0xFFFFFFFFu, true}, {"station 2 not rated", ~4u, false}};
  for (const Row& w : rows) {
    clearServers();
    for (SlasDataDecoder& d : SlasDataDecoderInstance) d.init_Object(&PVTDataInstance);
    for (auto& e : SlasSourceIdData) e = SourceIdEntry{0, kFreeSourceId};
    SatelliteCorrectionProcessor& p = SatCorrProcessorInstance;
    SatCorrWorkArea& a = p.work();
    PosSetup::setDefaults(a.corrSetup);
    PosSetup::setDefaults(a.satSetup);
    const std::uint32_t source = CdCorr::kSourceSlas;
    std::memcpy(a.corrSetup.aBytes + CdCorr::kSourceOffset, &source, sizeof source);
    std::memcpy(a.corrSetup.aBytes + CdCorr::kSlasMaskOffset, &w.stationMask, sizeof w.stationMask);
    PVTDataInstance.satCorrection.Init();
    // Receiver at 35 N 135 E on the ellipsoid; station 2 1.1 km north of it.
    PosData::PositionDataType user{};
    EllMath::BLH_XYZ(EllExt, 35.0 * M_PI / 180, 135.0 * M_PI / 180, 0.0, user.dX, user.dY, user.dZ);
    user.bValid = 1;
    PosData::RcvTimeDataType t{};
    t.qzss.uStatus[0] = 1;
    t.gps.uStatus[0] = 1;
    const SvIdType src{3, kSysQzss, 0, 3};
    const Msg msgs[] = {mt48(1, {{7}, {}, {}, {}, {}}), mt49(0, 1, {0}, {42}), mt50(1, 0, 2, 0, {0}, {-30}),
                        mt47({{2, 7002, 4000, 2}})};
    for (const Msg& m : msgs) {
      t.qzss.ulMs = t.gps.ulMs = kNowMs - 5000 + 1130;
      t.ulTimeTag = kNowTag - 5000;
      SlasDataDecoderInstance[0].update(t, user, src, (m[1] >> 2) & 0x3F, m.data());
    }
    a.rcvTime = t;
    a.request = CorrData::CorrectionRequestType{};
    a.request.rcvTime = t;
    a.request.rcvTime.qzss.ulMs = a.request.rcvTime.gps.ulMs = kNowMs;
    a.request.rcvTime.ulTimeTag = kNowTag;
    a.request.position = user;
    a.bUsedSatList = 0;
    a.request.uCount = 1;
    CorrData::RequestSatDataType& q = a.request.sat[0];
    q = CorrData::RequestSatDataType{};
    q.svId = sat(kSysGps, 7);
    q.svId.si = 6;
    q.fElevation = 50.0f;
    q.fObliquity = 1.0f;
    q.dLos[2] = 1.0;
    q.uIod = 42;
    EXPECT_EQ(p.update_CdCorrection(), w.published ? 1 : 0) << w.name;
    SatData::CorrectionDataType rec;
    const bool has = PVTDataInstance.satCorrection.Take(&q.svId, &rec) != 0 && rec.has_CdCorr();
    ASSERT_EQ(has, w.published) << w.name;
    if (!has) continue;
    EXPECT_EQ(a.cd.uBestStationId, 2);
    for (int s = 0; s < SatData::CdCorrectionType::kSlots; ++s) {
      EXPECT_NEAR(rec.cd.slot[s].fCorrection[0], -1.2, 1e-5) << s;
      EXPECT_EQ(rec.cd.slot[s].uIod[0], 42) << s;
      EXPECT_NEAR(rec.cd.slot[s].fAge[0], 5.0, 1e-3) << s;
    }
  }
}

}  // namespace
