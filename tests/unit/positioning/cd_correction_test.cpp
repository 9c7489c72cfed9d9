#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "positioning/corrections/cd_correction.h"
#include "positioning/corrections/sat_corr_processor.h"
#include "positioning/geodesy/ell_math.h"
#include "positioning/geoid/geoid_gps.h"

namespace {

constexpr double kDeg = M_PI / 180.0;

SvIdType gps(int prn) {
  SvIdType sv;
  EXPECT_TRUE(svIdFromSatNumber(kSysGps, prn, sv));
  SvIdType si;
  EXPECT_TRUE(svIdFromSiNumber(kSysGps, prn, si));
  sv.si = si.si;
  return sv;
}

template <typename T, typename S>
void put(S& s, std::size_t off, T v) {
  std::memcpy(s.aBytes + off, &v, sizeof v);
}

// The processor as the earlier stages leave it, over a receiver at latitude 45, longitude 10,
// height `h`; the RTCM servers empty.
struct Stage {
  SatelliteCorrectionProcessor& p = SatCorrProcessorInstance;
  SatCorrWorkArea& w = p.work();
  PVTDataType& D = PVTDataInstance;
  double rcv[3];

  explicit Stage(double h = 300.0) {
    PosSetup::setDefaults(w.corrSetup);
    PosSetup::setDefaults(w.satSetup);
    RTCMData::SatCorrectionType::set_DataTimeout(60, 60);
    PosData::RcvTimeDataType t{};
    t.gps.ulMs = 10000;
    w.rcvTime = t;
    w.request = CorrData::CorrectionRequestType{};
    w.request.rcvTime = t;
    EllMath::BLH_XYZ(EllExt, 45 * kDeg, 10 * kDeg, h, rcv[0], rcv[1], rcv[2]);
    PosData::PositionDataType& p0 = w.request.position;
    p0.dX = rcv[0], p0.dY = rcv[1], p0.dZ = rcv[2], p0.dLat = 45 * kDeg, p0.dLon = 10 * kDeg, p0.dHeight = h;
    p0.bValid = 1;
    w.dOrthoHeight = h - GeoidGPS::getHeight(45 * kDeg, 10 * kDeg);
    w.bCalendarValid = 1;
    w.uDayOfYear = 100;
    w.dVelFactor = 0.0;
    w.bUsedSatList = 0;
    for (int s = 0; s < RTCMData::kRtcmSources; ++s) {
      RTCMData::SourceStateDataType st{};
      D.rtcmSourceState.Put(s, &st);
      RTCMData::StationDataType sd;
      D.rtcmStationData[s].Put(&sd);
      D.rtcmSatCorrection[s].Init();
    }
    D.satCorrection.Init();
  }
  void mode(std::uint32_t m, std::uint16_t fixedId = 0) {
    put<std::uint32_t>(w.corrSetup, CdCorr::kStationModeOffset, m);
    put<std::uint16_t>(w.corrSetup, CdCorr::kFixedIdOffset, fixedId);
  }
  // A station in source slot `s`, `up` metres above the receiver and `east` m east (no
  // coordinates when both are NaN).
  void station(int s, int id, double east, double up = 0.0) {
    RTCMData::SourceStateDataType st{};
    st.uStationId = static_cast<std::uint16_t>(id);
    st.uVersion = 3;
    st.set_Time(kSysGps, 9000);  // heard a second before the request
    D.rtcmSourceState.Put(s, &st);
    if (std::isnan(east)) return;
    RTCMData::StationDataType sd;
    sd.set_ReadyCoordinate(id);
    RTCMData::set_TimeTag(sd.ulCoordinateTime, 9000);
    const double lat = 45 * kDeg, lon = 10 * kDeg;
    const double e[3] = {-std::sin(lon), std::cos(lon), 0.0};
    const double u[3] = {std::cos(lat) * std::cos(lon), std::cos(lat) * std::sin(lon), std::sin(lat)};
    for (int k = 0; k < 3; ++k) sd.dPos[k] = rcv[k] + east * e[k] + up * u[k];
    std::strcpy(sd.cDatum, "W84");
    D.rtcmStationData[s].Put(&sd);
  }
  void corr(int s, int id, SvIdType sv, double metres, int slot = 0, int iod = 7) {
    RTCMData::SatCorrectionType c;
    if (D.rtcmSatCorrection[s].Take(&sv, &c) == 0) c.init();
    c.set_ReadyRangeCorr(id, slot, 0);
    c.range[slot][0] = {static_cast<float>(metres / 0.02), 0.0f, 0, static_cast<std::uint8_t>(iod)};
    RTCMData::set_TimeTag(c.ulRangeTime[slot][0], 9000);
    D.rtcmSatCorrection[s].Put(&sv, &c);
  }
  void iono(int s, int id, SvIdType sv, float value) {
    RTCMData::SatCorrectionType c;
    if (D.rtcmSatCorrection[s].Take(&sv, &c) == 0) c.init();
    // No decoder of this program fills the part (type 15 is not decoded): set as a writer would.
    if (c.uStationId != id) c.init(), c.uStationId = static_cast<std::uint16_t>(id);
    c.uFlags |= RTCMData::SatCorrectionType::kIonoReady;
    c.fIono = value;
    RTCMData::set_TimeTag(c.ulIonoTime, 9000);
    D.rtcmSatCorrection[s].Put(&sv, &c);
  }
  void sat(SvIdType sv, double elev, double azim) {
    CorrData::RequestSatDataType& q = w.request.sat[w.request.uCount++];
    q = CorrData::RequestSatDataType{};
    q.svId = sv;
    q.fElevation = static_cast<float>(elev);
    q.fAzimuth = static_cast<float>(azim);
    // Line of sight from east, north, up at latitude 45, longitude 10.
    const double lat = 45 * kDeg, lon = 10 * kDeg, E = elev * kDeg, A = azim * kDeg;
    const double enu[3] = {std::cos(E) * std::sin(A), std::cos(E) * std::cos(A), std::sin(E)};
    q.dLos[0] = -std::sin(lon) * enu[0] - std::sin(lat) * std::cos(lon) * enu[1] + std::cos(lat) * std::cos(lon) * enu[2];
    q.dLos[1] = std::cos(lon) * enu[0] - std::sin(lat) * std::sin(lon) * enu[1] + std::cos(lat) * std::sin(lon) * enu[2];
    q.dLos[2] = std::cos(lat) * enu[1] + std::sin(lat) * enu[2];
  }
  bool record(SvIdType sv, SatData::CorrectionDataType& r) {
    return D.satCorrection.Take(&sv, &r) != 0;
  }
};

// Ranking weights written from the published rule: geometry 1e6/trace (trace 1000/n for fewer
// than four satellites) and distance 1/d, their factors swapped in mode 2.
double weight(int mode, int rated, double dist) {
  const double trace = 1000.0 / rated;
  return mode == 2 ? 1.0 / trace + 1e6 / dist : 1e6 / trace + 1.0 / dist;
}

}  // namespace

// Two stations: A 100 m away with satellites 1 and 3, B 10 km away with 1, 2 and 4. Each mode
// row names what each satellite's entry must be (NaN: no code-differential part).
TEST(CdStage, StationModesChooseAndBlend) {
  const double a1 = 2.0, a3 = 6.0, b1 = 4.0, b2 = 5.0, b4 = 8.0;
  const double wA1 = weight(1, 2, 100), wB1 = weight(1, 3, 10000);
  const double none = NAN;
  struct Row {
    const char* name;
    std::uint32_t mode;
    std::uint16_t fixedId;
    std::uint16_t best;
    std::array<double, 4> expect;  // satellites 1..4
  } rows[] = {
      {"mode 0, station A", 0, 10, 10, {a1, none, a3, none}},
      {"mode 0, station B", 0, 20, 20, {b1, b2, none, b4}},
      {"mode 0, unknown id", 0, 99, 65535, {none, none, none, none}},
      {"mode 1, geometry first: B", 1, 0, 20, {b1, b2, none, b4}},
      {"mode 2, distance first: A", 2, 0, 10, {a1, none, a3, none}},
      {"mode 3, first that has it", 3, 0, 20, {b1, b2, a3, b4}},
      {"mode 4, weighted blend", 4, 0, 20, {(wA1 * a1 + wB1 * b1) / (wA1 + wB1), b2, a3, b4}},
      {"mode 7, weighted blend", 7, 0, 20, {(wA1 * a1 + wB1 * b1) / (wA1 + wB1), b2, a3, b4}},
  };
  for (const Row& r : rows) {
    Stage st;
    st.mode(r.mode, r.fixedId);
    st.station(0, 10, 100.0);
    st.station(1, 20, 10000.0);
    for (int prn = 1; prn <= 4; ++prn) st.sat(gps(prn), 20.0 + 15 * prn, 80.0 * prn);
    st.corr(0, 10, gps(1), a1, 0, 11);
    st.corr(0, 10, gps(3), a3, 0, 13);
    st.corr(1, 20, gps(1), b1, 0, 21);
    st.corr(1, 20, gps(2), b2, 0, 22);
    st.corr(1, 20, gps(4), b4, 0, 24);
    int expected = 0;
    for (double e : r.expect) expected += std::isnan(e) ? 0 : 1;
    EXPECT_EQ(st.p.update_CdCorrection(), expected) << r.name;
    EXPECT_EQ(st.w.cd.uBestStationId, r.best) << r.name;
    for (int prn = 1; prn <= 4; ++prn) {
      SatData::CorrectionDataType rec;
      const bool has = st.record(gps(prn), rec) && rec.has_CdCorr();
      EXPECT_EQ(has, !std::isnan(r.expect[prn - 1])) << r.name << " PRN " << prn;
      if (!has || std::isnan(r.expect[prn - 1])) continue;
      EXPECT_NEAR(rec.cd.slot[0].fCorrection[0], r.expect[prn - 1], 1e-5) << r.name << " PRN " << prn;
      EXPECT_TRUE(std::isfinite(rec.cd.slot[0].fVariance[0]));
      EXPECT_NE(rec.cd.slot[0].uIod[0], 65535) << r.name << " PRN " << prn;
      EXPECT_EQ(rec.cd.slot[0].uIod[1], 65535);
      EXPECT_EQ(rec.cd.slot[1].uIod[0], 65535);
    }
  }
}

// Mode 0 takes its station whatever it weighs: a station without coordinates and without a
// rated satellite weighs 0, and its entries come out as they are, never 0/0. Other modes pick
// only stations weighing more than 0.
TEST(CdStage, ZeroWeightStationOnlyInModeZero) {
  struct Row {
    std::uint32_t mode;
    int published;
  } rows[] = {{0, 1}, {1, 0}, {3, 0}, {4, 0}};
  for (const Row& r : rows) {
    Stage st;
    st.mode(r.mode, 33);
    st.station(2, 33, NAN);
    st.sat(gps(6), 40, 10);
    st.corr(2, 33, gps(6), 3.5, 2, 61);  // slot 2 only: the rating slot 0 has nothing
    EXPECT_EQ(st.p.update_CdCorrection(), r.published) << r.mode;
    EXPECT_EQ(st.w.cd.station[0].dWeight, 0.0);
    SatData::CorrectionDataType rec;
    if (r.published) {
      ASSERT_TRUE(st.record(gps(6), rec));
      EXPECT_FLOAT_EQ(rec.cd.slot[2].fCorrection[0], 3.5f);
      EXPECT_FLOAT_EQ(rec.cd.slot[2].fVariance[0], 0.25f);
      EXPECT_EQ(rec.cd.slot[2].uIod[0], 61);
      EXPECT_EQ(st.w.cd.uBestStationId, 33);
    } else {
      EXPECT_EQ(st.w.cd.uBestStationId, 65535);
    }
  }
}

TEST(CdStage, DistanceWeightOfAStationAtTheReceiver) {
  struct Row {
    bool valid;
    double d;
    std::uint32_t mode;
    double w;
  } rows[] = {
      {true, 0.0, 1, 999.999952502551}, {true, 0.0, 2, 999.999952502551e6}, {true, 0.0, 4, 999.999952502551},
      {true, 500.0, 1, 0.002},          {true, 500.0, 2, 2000.0},           {false, 500.0, 1, 0.0},
  };
  for (const Row& r : rows) EXPECT_NEAR(CdCorr::distanceWeight(r.valid, r.d, r.mode), r.w, r.w * 1e-14) << r.d;
  EXPECT_EQ(CdCorr::geometricWeight(false, 10.0, 1), 0.0);
  EXPECT_EQ(CdCorr::geometricWeight(true, 0.0, 1), 0.0);
  EXPECT_DOUBLE_EQ(CdCorr::geometricWeight(true, 4.0, 1), 250000.0);
  EXPECT_DOUBLE_EQ(CdCorr::geometricWeight(true, 4.0, 2), 0.25);
}

// The engine's used-satellite list, while younger than 60 s, limits the rating to the
// satellites it used.
TEST(CdStage, UsedSatelliteListLimitsTheRating) {
  struct Row {
    const char* name;
    std::uint32_t listAgeMs;
    int rated;  // satellites station B is rated by
  } rows[] = {{"no list", 0xFFFFFFFF, 3}, {"fresh list", 59999, 1}, {"old list", 60000, 3}};
  for (const Row& r : rows) {
    Stage st;
    st.mode(1);
    st.station(1, 20, 10000.0);
    for (int prn = 1; prn <= 3; ++prn) {
      st.sat(gps(prn), 30.0 + 10 * prn, 100.0 * prn);
      st.corr(1, 20, gps(prn), 1.0);
    }
    if (r.listAgeMs != 0xFFFFFFFF) {
      st.w.bUsedSatList = 1;
      st.w.usedSatList = SatData::SatelliteListType{};
      st.w.usedSatList.ullMask[kSysGps] = 1ull << gps(2).si;
      st.w.usedSatList.ulTimeTag = st.w.rcvTime.ulTimeTag - r.listAgeMs;
    }
    st.p.update_CdCorrection();
    // The rating trace is a float.
    EXPECT_NEAR(st.w.cd.station[0].dWeight, weight(1, r.rated, 10000.0), 1e-3) << r.name;
  }
}

// The stations' ionosphere replaces the record's; without one it is cleared. A satellite that
// leaves the request, or whose station stops, loses its code-differential part.
TEST(CdStage, IonosphereAndCleanUp) {
  Stage st;
  st.mode(1);
  st.station(0, 10, 500.0);
  st.sat(gps(1), 50, 0);
  st.sat(gps(2), 30, 90);
  st.corr(0, 10, gps(1), 1.0);
  st.corr(0, 10, gps(2), 2.0);
  st.iono(0, 10, gps(1), -3.25f);
  for (int prn : {1, 2}) {
    SatData::CorrectionDataType r;
    r.init();
    r.iono = {-1.0f, 0.5f, 1.5f, 1};
    SvIdType sv = gps(prn);
    st.D.satCorrection.Put(&sv, &r);
  }
  EXPECT_EQ(st.p.update_CdCorrection(), 2);
  SatData::CorrectionDataType r1, r2;
  ASSERT_TRUE(st.record(gps(1), r1) && st.record(gps(2), r2));
  EXPECT_EQ(r1.iono.bValid, 1);
  EXPECT_FLOAT_EQ(r1.iono.fCorrection, -3.25f);
  EXPECT_EQ(r2.iono.bValid, 0);
  // PRN 2 leaves the request.
  st.w.request.uCount = 1;
  EXPECT_EQ(st.p.update_CdCorrection(), 1);
  ASSERT_TRUE(st.record(gps(2), r2));
  EXPECT_FALSE(r2.has_CdCorr());
  // The station stops answering.
  RTCMData::SourceStateDataType off{};
  st.D.rtcmSourceState.Put(0, &off);
  EXPECT_EQ(st.p.update_CdCorrection(), 0);
  ASSERT_TRUE(st.record(gps(1), r1));
  EXPECT_FALSE(r1.has_CdCorr());
  EXPECT_EQ(st.w.cd.uBestStationId, 65535);
}

// Closure: a station 1000 m below the receiver, pseudoranges holding the geometric range and
// the model's own troposphere delays and nothing else. The station's PRC brings its range back;
// the receiver adds the published entry alone and gets its geometric range within 1 mm.
TEST(CdStage, TroposphereClosureBetweenStationAndReceiver) {
  Stage st(1300.0);
  st.mode(1);
  st.station(0, 10, 0.0, -1000.0);
  const double elevs[] = {5, 10, 20, 35, 60, 89};
  std::vector<double> geoR, geoS;
  // The model's delays at each end, from the stage's own model functions.
  auto delay = [&](double latRad, double ortho, double elev) {
    TropoCorr::TropoEpochType e;
    TropoCorr::prepare_TropoEpoch(st.w.corrSetup, latRad, ortho, true, 100, e);
    float c, r, v;
    EXPECT_TRUE(TropoCorr::compute_SatTropo(e, 0.0, elev, c, r, v));
    return -static_cast<double>(c);
  };
  double stationLat, stationLon, stationH;
  RTCMData::StationDataType sd;
  st.D.rtcmStationData[0].Take(&sd);
  EllMath::XYZ_BLH(EllExt, sd.dPos[0], sd.dPos[1], sd.dPos[2], stationLat, stationLon, stationH);
  ASSERT_NEAR(stationH, 300.0, 1e-3);
  const double geoid = GeoidGPS::getHeight(stationLat, stationLon);
  for (int i = 0; i < 6; ++i) {
    SvIdType sv = gps(i + 1);
    st.sat(sv, elevs[i], 60.0 * i);
    const double rhoS = 2.2e7 + 1000.0 * i, rhoR = rhoS - 1234.5;
    const double prS = rhoS + delay(stationLat, stationH - geoid, elevs[i]);
    st.corr(0, 10, sv, rhoS - prS);  // PRC: what the station adds to its pseudorange
    geoR.push_back(rhoR);
  }
  st.p.update_TropoCorrection();
  ASSERT_EQ(st.p.update_CdCorrection(), 6);
  for (int i = 0; i < 6; ++i) {
    SatData::CorrectionDataType rec;
    ASSERT_TRUE(st.record(gps(i + 1), rec));
    const double prR = geoR[i] + delay(45 * kDeg, st.w.dOrthoHeight, elevs[i]);
    EXPECT_NEAR(prR + rec.cd.slot[0].fCorrection[0], geoR[i], 1e-3) << "elevation " << elevs[i];
    // The two ends differ by more than the closure's tolerance.
    EXPECT_GT(std::fabs(delay(stationLat, stationH - geoid, elevs[i]) - delay(45 * kDeg, st.w.dOrthoHeight, elevs[i])),
              0.05);
  }
}
