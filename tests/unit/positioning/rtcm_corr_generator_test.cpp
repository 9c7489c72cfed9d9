#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "positioning/corrections/rtcm_corr_generator.h"
#include "positioning/data_servers/pvt_data.h"

namespace {

// One satellite of a type 9 message as gpsd's decoder printed it (sample.rtcm2.chk).
struct ChkSat {
  int station;
  double zcount;  // s of the hour
  int ident, udre, iod;
  double prc, rrc;  // m, m/s
};

double number(const std::string& s, const std::string& key, std::size_t from) {
  const std::size_t p = s.find("\"" + key + "\":", from);
  return p == std::string::npos ? NAN : std::stod(s.substr(p + key.size() + 3));
}

std::vector<ChkSat> readChk() {
  std::vector<ChkSat> out;
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm2/sample.rtcm2.chk");
  std::string line;
  while (std::getline(f, line)) {
    if (number(line, "type", 0) != 9) continue;
    const int station = static_cast<int>(number(line, "station_id", 0));
    const double z = number(line, "zcount", 0);
    for (std::size_t p = line.find("{\"ident\""); p != std::string::npos; p = line.find("{\"ident\"", p + 1))
      out.push_back({station, z, int(number(line, "ident", p)), int(number(line, "udre", p)), int(number(line, "iod", p)),
                     number(line, "prc", p), number(line, "rrc", p)});
  }
  return out;
}

SvIdType gps(int prn) {
  SvIdType sv;
  EXPECT_TRUE(svIdFromSatNumber(kSysGps, prn, sv));
  SvIdType si;
  EXPECT_TRUE(svIdFromSiNumber(kSysGps, prn, si));
  sv.si = si.si;
  return sv;
}
SvIdType glo(int slot) {
  SvIdType sv;
  EXPECT_TRUE(svIdFromSatNumber(kSysGlonass, slot, sv));
  sv.si = static_cast<std::uint8_t>(slot - 1);
  return sv;
}

// Counts of the broadcast fields: the fine scale when both values are whole fine counts in the
// valid ranges (-128 is do-not-use), else the coarse scale.
bool countsOf(double prc, double rrc, float& p, float& r, bool& coarse) {
  for (int c = 0; c < 2; ++c) {
    const double s = c ? 0.32 : 0.02, sr = c ? 0.032 : 0.002;
    const double pc = prc / s, rc = rrc / sr;
    if (std::fabs(pc - std::round(pc)) < 1e-6 && std::fabs(rc - std::round(rc)) < 1e-6 && std::fabs(pc) <= 32767 &&
        std::fabs(rc) <= 127) {
      p = float(std::round(pc));
      r = float(std::round(rc));
      coarse = c == 1;
      return true;
    }
  }
  return false;
}

constexpr int kHourMs = 3600000;

struct Gen {
  PVTDataType& D = PVTDataInstance;
  RtcmCorrGenerator gen{&PVTDataInstance};
  Gen() {
    RTCMData::SatCorrectionType::set_DataTimeout(60, 60);
    for (int s = 0; s < RTCMData::kRtcmSources; ++s) {
      RTCMData::SourceStateDataType st{};
      D.rtcmSourceState.Put(s, &st);
      RTCMData::StationDataType sd;
      D.rtcmStationData[s].Put(&sd);
      D.rtcmSatCorrection[s].Init();
    }
  }
  // Heard at `heardMs` (GPS), by default just before the requests below.
  void source(int s, int id, float scale = 1.0f, int version = 3, int flags = 0, int heardMs = 9000) {
    RTCMData::SourceStateDataType st{};
    st.set_Time(kSysGps, heardMs);
    st.bValid = 1;
    st.uStationId = static_cast<std::uint16_t>(id);
    st.fScale = scale;
    st.uVersion = static_cast<std::uint8_t>(version);
    st.uFlags = static_cast<std::uint8_t>(flags);
    D.rtcmSourceState.Put(s, &st);
  }
  void station(int s, int id, const double pos[3], const char* datum, int tagMs) {
    RTCMData::StationDataType sd;
    sd.set_ReadyCoordinate(id);
    RTCMData::set_TimeTag(sd.ulCoordinateTime, tagMs);
    for (int k = 0; k < 3; ++k) sd.dPos[k] = pos[k];
    std::strncpy(sd.cDatum, datum, 7);
    D.rtcmStationData[s].Put(&sd);
  }
  // One range correction (counts) of slot `slot`, code `code`.
  void corr(int s, int id, SvIdType sv, int slot, int code, float prc, float rrc, int udre, int iod, int tagMs,
            std::uint16_t flags = 0) {
    RTCMData::SatCorrectionType c;
    if (D.rtcmSatCorrection[s].Take(&sv, &c) == 0) c.init();
    c.set_ReadyRangeCorr(id, slot, code);
    c.range[slot][code] = {prc, rrc, std::uint8_t(udre), std::uint8_t(iod)};
    c.uSlotFlags[slot] = flags;
    RTCMData::set_TimeTag(c.ulRangeTime[slot][code], tagMs);
    ASSERT_EQ(D.rtcmSatCorrection[s].Put(&sv, &c), 1);
  }
  PosData::RcvTimeDataType at(int ms) {
    PosData::RcvTimeDataType t{};
    t.gps.ulMs = t.glo.ulMs = t.gal.ulMs = static_cast<std::uint32_t>(ms);
    return t;
  }
};

// Independent reading of the published UDRE table of the GNSS messages.
double udreMetres(int c) {
  if (c < 16) return 0.05 * c;
  if (c < 32) return 0.8 + 0.1 * (c - 16);
  if (c < 48) return 2.4 + 0.2 * (c - 32);
  if (c < 60) return 5.6 + 0.4 * (c - 48);
  if (c == 60) return 12.5;
  if (c == 61) return 20.0;
  return 20.0 + 10.0 * (c - 61);
}

}  // namespace

TEST(RtcmUdre, GnssMessageCodesZeroToSixtyThree) {
  for (int c = 0; c <= 63; ++c) EXPECT_NEAR(get_GNSSMessageUdre(c), udreMetres(c), 1e-5) << "code " << c;
  EXPECT_FLOAT_EQ(get_GNSSMessageUdre(62), 30.0f);
  EXPECT_FLOAT_EQ(get_GNSSMessageUdre(63), 40.0f);
  const float rtcm2[4] = {0.5f, 2.0f, 6.0f, 10.0f};
  for (int u = 0; u < 4; ++u) EXPECT_EQ(fUdreTable[u], rtcm2[u]);
}

// Every type 9 entry of the sample through the station's record: PRC + RRC x age, the UDRE
// sigma times the station-health scale, the issue of data, at ages 0 to 30 s.
TEST(RtcmCorrGenerator, SampleType9EntriesAgeByTheirRangeRate) {
  const std::vector<ChkSat> sats = readChk();
  ASSERT_EQ(sats.size(), 349u);
  Gen g;
  int checked = 0;
  for (const float scale : {1.0f, 0.75f, 0.3f}) {
    for (const ChkSat& c : sats) {
      ASSERT_EQ(c.station, 268);
      float p, r;
      bool coarse;
      ASSERT_TRUE(countsOf(c.prc, c.rrc, p, r, coarse)) << c.ident << " " << c.prc << " " << c.rrc;
      const int tag = 5 * kHourMs + static_cast<int>(std::lround(c.zcount * 1000));
      SvIdType sv = gps(c.ident);
      g.D.rtcmSatCorrection[0].Init();
      g.corr(0, 268, sv, 0, 0, p, r, c.udre, c.iod, tag, coarse ? RTCMData::SatCorrectionType::kCoarseScale : 0);
      g.gen.select_Source(0, 268, scale);
      for (const double age : {0.0, 0.6, 7.5, 30.0}) {
        PosData::RcvTimeDataType t = g.at(tag + static_cast<int>(std::lround(age * 1000)));
        g.gen.compute_RangeCorrection(&sv, 0, &t);
        const RTCMData::SlotAnswerType& a = g.gen.slotAnswer();
        ASSERT_EQ(a.bValid[0], 1);
        EXPECT_NEAR(a.fCorrection[0], c.prc + c.rrc * age, 1e-3) << "PRN " << c.ident << " z " << c.zcount;
        const double sigma = fUdreTable[c.udre] * scale;
        EXPECT_NEAR(a.fVariance[0], sigma * sigma, 1e-6);
        EXPECT_NEAR(a.fAge[0], age, 1e-6);
        EXPECT_EQ(a.uIod[0], c.iod);
        EXPECT_EQ(a.bValid[1], 0);
        ++checked;
      }
    }
  }
  EXPECT_EQ(checked, 349 * 3 * 4);
}

// Past the range time-out, from another station or with another station's record: nothing.
TEST(RtcmCorrGenerator, EntriesOfOtherStationsOrTooOldGiveNothing) {
  Gen g;
  SvIdType sv = gps(13);
  g.corr(0, 268, sv, 0, 0, -1306, 34, 0, 3, 1000);
  struct Row {
    const char* name;
    int station;
    int nowMs;
    int valid;
  } rows[] = {{"fresh", 268, 61000, 1}, {"past time-out", 268, 61001, 0}, {"other station", 269, 2000, 0}};
  for (const Row& r : rows) {
    g.gen.select_Source(0, static_cast<std::uint16_t>(r.station), 1.0f);
    PosData::RcvTimeDataType t = g.at(r.nowMs);
    g.gen.compute_RangeCorrection(&sv, 0, &t);
    EXPECT_EQ(g.gen.slotAnswer().bValid[0], r.valid) << r.name;
  }
}

// The slot flags: GNSS-message UDRE, coarse scale, do-not-use (entry 1 kept, entry 0 and the
// ionosphere not computed), the signal field and the pass-through flag.
TEST(RtcmCorrGenerator, SlotFlagsScaleUdreAndUnusable) {
  using S = RTCMData::SatCorrectionType;
  Gen g;
  SvIdType sv = gps(5);
  struct Row {
    const char* name;
    std::uint16_t flags;
    double corr0, sigma0;
    int valid0;
  } rows[] = {
      {"fine, rtcm udre", 0, 100 * 0.02 + 10 * 0.002 * 2, 2.0, 1},
      {"coarse", S::kCoarseScale, 100 * 0.32 + 10 * 0.032 * 2, 2.0, 1},
      {"gnss udre", S::kGnssUdre, 100 * 0.02 + 10 * 0.002 * 2, 0.05, 1},
      {"unusable", S::kUnusable, 0, 0, 0},
  };
  for (const Row& r : rows) {
    g.D.rtcmSatCorrection[0].Init();
    g.corr(0, 7, sv, 2, 1, 50, 0, 2, 9, 1000, r.flags | S::kSlotFlag | (5u << S::kSignalShift));
    g.corr(0, 7, sv, 2, 0, 100, 10, 1, 8, 1000, r.flags | S::kSlotFlag | (5u << S::kSignalShift));
    RTCMData::SatCorrectionType c;
    g.D.rtcmSatCorrection[0].Take(&sv, &c);
    c.uFlags |= RTCMData::SatCorrectionType::kIonoReady;  // the station of the range corrections
    c.fIono = 1.5f;
    c.fIonoRate = 0.1f;
    RTCMData::set_TimeTag(c.ulIonoTime, 1000);
    g.D.rtcmSatCorrection[0].Put(&sv, &c);
    g.gen.select_Source(0, 7, 1.0f);
    PosData::RcvTimeDataType t = g.at(3000);
    g.gen.compute_RangeCorrection(&sv, 2, &t);
    const RTCMData::SlotAnswerType& a = g.gen.slotAnswer();
    EXPECT_EQ(a.bValid[0], r.valid0) << r.name;
    EXPECT_EQ(a.bValid[1], 1) << r.name;
    EXPECT_EQ(a.bUnusable, r.valid0 ? 0 : 1) << r.name;
    EXPECT_EQ(a.uSignal, 5) << r.name;
    EXPECT_EQ(a.uFlag, 1) << r.name;
    EXPECT_EQ(g.gen.ionoAnswer().bIonoValid, r.valid0) << r.name;
    if (r.valid0) {
      EXPECT_NEAR(a.fCorrection[0], r.corr0, 1e-5) << r.name;
      EXPECT_NEAR(a.fVariance[0], r.sigma0 * r.sigma0, 1e-6) << r.name;
      EXPECT_NEAR(g.gen.ionoAnswer().fIono, 1.5 + 0.2, 1e-6) << r.name;
    }
  }
}

// Delta corrections (message 2) replace entry 1: (dPRC + PRC) s + (dRRC a_d + RRC a) s_r.
TEST(RtcmCorrGenerator, DeltaCorrectionsFillEntryOneForThePreviousIssue) {
  Gen g;
  SvIdType sv = gps(21);
  g.corr(0, 12, sv, 0, 0, 200, -20, 0, 44, 1000);
  RTCMData::SatCorrectionType c;
  g.D.rtcmSatCorrection[0].Take(&sv, &c);
  c.set_ReadyDeltaRangeCorr(12);
  c.delta = {-30, 4, 3, 43};
  RTCMData::set_TimeTag(c.ulDeltaRangeTime, 2000);
  g.D.rtcmSatCorrection[0].Put(&sv, &c);
  g.gen.select_Source(0, 12, 0.5f);
  PosData::RcvTimeDataType t = g.at(6000);
  g.gen.compute_RangeCorrection(&sv, 0, &t);
  const RTCMData::SlotAnswerType& a = g.gen.slotAnswer();
  ASSERT_EQ(a.bValid[1], 1);
  EXPECT_NEAR(a.fCorrection[1], (-30 + 200) * 0.02 + (4 * 4.0 + -20 * 5.0) * 0.002, 1e-5);
  EXPECT_NEAR(a.fVariance[1], 25.0, 1e-5);  // UDRE 3: 10 m x 0.5
  EXPECT_EQ(a.uIod[1], 43);
  EXPECT_NEAR(a.fCorrection[0], 200 * 0.02 - 20 * 0.002 * 5.0, 1e-5);
}

namespace {

struct Update : Gen {
  CorrData::CorrectionRequestType req{};
  RTCMData::CorrectionRequestType R{};
  Update() {
    req.rcvTime = at(10000);
    req.position.dX = 4000000.0;
    req.position.dY = 1500000.0;
    req.position.dZ = 4700000.0;
    R.pRequest = &req;
    R.bPermit[0] = R.bPermit[1] = 1;
  }
  void sat(SvIdType sv, std::array<double, 3> los, int iod = 0) {
    CorrData::RequestSatDataType& q = req.sat[req.uCount++];
    q = CorrData::RequestSatDataType{};
    q.svId = sv;
    q.uIod = static_cast<std::uint16_t>(iod);
    const double n = std::sqrt(los[0] * los[0] + los[1] * los[1] + los[2] * los[2]);
    for (int k = 0; k < 3; ++k) q.dLos[k] = los[k] / n;
  }
};

}  // namespace

// A station 100 km away adds (2 ppm)^2 + (0.5 ppm)^2 of the baseline to every entry and the
// first term to the ionosphere; the baseline is the distance to the receiver.
TEST(RtcmCorrGenerator, BaselineTermsOfAStationAwayFromTheReceiver) {
  struct Row {
    double dist;
  } rows[] = {{0.0}, {1000.0}, {100000.0}};
  for (const Row& row : rows) {
    Update u;
    u.source(1, 40, 1.0f, 3);
    const double dir[3] = {0.48, -0.6, 0.64};
    const double pos[3] = {u.req.position.dX + dir[0] * row.dist, u.req.position.dY + dir[1] * row.dist,
                           u.req.position.dZ + dir[2] * row.dist};
    u.station(1, 40, pos, "W84", 9000);
    SvIdType sv = gps(3);
    u.corr(1, 40, sv, 0, 0, 100, 0, 0, 1, 9000);
    u.sat(sv, {1, 0, 0});
    u.gen.update(&u.R);
    ASSERT_EQ(u.R.uStationCount, 1);
    const RTCMData::StationAnswerType& a = u.R.station[0];
    EXPECT_EQ(a.uStationId, 40);
    EXPECT_EQ(a.bRefPosValid, 1);
    EXPECT_NEAR(a.dBaseline, row.dist, 1e-3);
    const double extra = std::pow(2e-6 * row.dist, 2) + std::pow(0.5e-6 * row.dist, 2);
    EXPECT_NEAR(a.sat[0].slot[0].fVariance[0], 0.25 + extra, 1e-6) << row.dist;
    if (row.dist == 100000.0) {
      EXPECT_NEAR(extra, 0.2 * 0.2 + 0.05 * 0.05, 1e-12);
    }
  }
}

// Sources: no station, a flagged station without permission, coordinates of another station.
TEST(RtcmCorrGenerator, SourceSlotsAnswerByStationAndPermission) {
  using SS = RTCMData::SourceStateDataType;
  struct Row {
    const char* name;
    int flags;
    int permit0, permit1;
    int answers;
  } rows[] = {
      {"plain", 0, 0, 0, 1},         {"not monitored, allowed", SS::kNotMonitored, 1, 0, 1},
      {"not monitored, refused", SS::kNotMonitored, 0, 1, 0},
      {"not working, allowed", SS::kNotWorking, 0, 1, 1},
      {"not working, refused", SS::kNotWorking, 1, 0, 0},
      {"both, one refused", SS::kNotMonitored | SS::kNotWorking, 1, 0, 0},
  };
  for (const Row& r : rows) {
    Update u;
    u.source(2, 77, 1.0f, 3, r.flags);
    u.R.bPermit[0] = static_cast<std::uint8_t>(r.permit0);
    u.R.bPermit[1] = static_cast<std::uint8_t>(r.permit1);
    u.gen.update(&u.R);
    EXPECT_EQ(u.R.uStationCount, r.answers) << r.name;
  }
  Update u;
  u.source(0, 65535);
  const double pos[3] = {u.req.position.dX, u.req.position.dY, u.req.position.dZ + 50};
  u.source(3, 78);
  u.station(3, 79, pos, "W84", 9000);
  u.gen.update(&u.R);
  ASSERT_EQ(u.R.uStationCount, 1);
  EXPECT_EQ(u.R.station[0].uStationId, 78);
  EXPECT_EQ(u.R.station[0].bRefPosValid, 0);
}

// Sources of reference-data kind 2 or below correct GLONASS from the "P90-R" frame: every GLONASS
// entry moves by the frame's shift at the station (rz = -0.343", rho x 0.343", up to 10.6 m)
// projected on the line of sight; other systems and later kinds do not move.
TEST(RtcmCorrGenerator, GlonassEntriesMoveByTheP90RShiftOfTheStation) {
  const double rz = 0.343 / 3600.0 * M_PI / 180.0;
  struct Row {
    const char* name;
    int version;
    bool gloSat;
    const char* datum;
    bool moves;
  } rows[] = {
      {"v2.1 GLONASS", 0, true, "W84", true},   {"v2.3 GLONASS", 2, true, "W84", true},
      {"v2.3 GPS", 2, false, "W84", false},     {"v2.4 GLONASS", 3, true, "W84", false},
      {"v2.2 GLONASS, station datum unknown", 1, true, "XYZ", true},
  };
  for (const Row& r : rows) {
    Update u;
    u.source(0, 5, 1.0f, r.version);
    const double pos[3] = {u.req.position.dX + 300, u.req.position.dY - 400, u.req.position.dZ};
    u.station(0, 5, pos, r.datum, 9000);
    SvIdType sv = r.gloSat ? glo(9) : gps(9);
    u.corr(0, 5, sv, 1, 0, 500, 0, 0, 1, 9000);
    u.sat(sv, {0.3, -0.8, 0.52});
    u.gen.update(&u.R);
    ASSERT_EQ(u.R.uStationCount, 1);
    // WGS 84 to the frame, the inverse of its small-angle rotation: (x + rz y, y - rz x).
    const double shift[3] = {rz * pos[1], -rz * pos[0], 0.0};
    const double* e = u.req.sat[0].dLos;
    const double move = r.moves ? shift[0] * e[0] + shift[1] * e[1] : 0.0;
    EXPECT_NEAR(u.R.station[0].sat[0].slot[1].fCorrection[0], 500 * 0.02 - move, 2e-5) << r.name;
    if (r.moves) {
      EXPECT_GT(std::fabs(move), 1.0) << r.name;
    }
    EXPECT_LE(std::hypot(shift[0], shift[1]), 6378137.0 * rz);
    EXPECT_NEAR(6378137.0 * rz, 10.6, 0.05);
  }
}

// The entry to use: 1 when entry 1 holds the issue of data the receiver uses.
TEST(RtcmCorrGenerator, EntryToUseFollowsTheIssueOfDataInUse) {
  struct Row {
    int iodInUse, use;
  } rows[] = {{9, 1}, {8, 0}, {300, 0}};
  for (const Row& r : rows) {
    Update u;
    u.source(4, 66);
    SvIdType sv = gps(30);
    u.corr(4, 66, sv, 3, 0, 1, 0, 0, 8, 9000);
    u.corr(4, 66, sv, 3, 1, 2, 0, 0, 9, 9000);
    u.sat(sv, {0, 0, 1}, r.iodInUse);
    u.gen.update(&u.R);
    EXPECT_EQ(u.R.station[0].sat[0].slot[3].uUseEntry, r.use) << r.iodInUse;
  }
}

// Random record contents never give a value that is not a number for a valid entry.
TEST(RtcmCorrGenerator, RandomRecordsGiveFiniteEntries) {
  Gen g;
  std::uint32_t seed = 12345;
  auto rnd = [&] { return seed = seed * 1103515245u + 12345u; };
  SvIdType sv = gps(17);
  for (int i = 0; i < 2000; ++i) {
    RTCMData::SatCorrectionType c;
    std::uint8_t* b = reinterpret_cast<std::uint8_t*>(&c);
    for (std::size_t k = 0; k < sizeof c; ++k) b[k] = static_cast<std::uint8_t>(rnd() >> 16);
    for (auto& row : c.range)
      for (auto& e : row) e.fPrc = float(std::int16_t(rnd() >> 8)), e.fRrc = float(std::int8_t(rnd() >> 8));
    c.delta.fPrc = c.delta.fRrc = 1.0f;
    c.fIono = c.fIonoRate = 0.5f;
    c.uStationId = 9;
    g.D.rtcmSatCorrection[0].Put(&sv, &c);
    g.gen.select_Source(0, 9, 1.0f);
    PosData::RcvTimeDataType t = g.at(static_cast<int>(rnd() % 604800000u));
    const int slot = static_cast<int>(rnd() % 8) - 1;
    g.gen.compute_RangeCorrection(&sv, slot, &t);
    for (int e = 0; e < 2; ++e)
      if (g.gen.slotAnswer().bValid[e]) {
        EXPECT_TRUE(std::isfinite(g.gen.slotAnswer().fCorrection[e]));
        EXPECT_TRUE(std::isfinite(g.gen.slotAnswer().fVariance[e]));
      }
  }
}

// Another station taking the slot under the same datum names moves the shift with it: the
// shift belongs to where the station is, not to the name looked up once.
TEST(RtcmCorrGenerator, DatumShiftFollowsTheStationsCoordinates) {
  const double rz = 0.343 / 3600.0 * M_PI / 180.0;
  Update u;
  u.source(0, 5, 1.0f, 0);
  SvIdType sv = glo(4);
  u.sat(sv, {0.0, 1.0, 0.0});
  for (const double dx : {0.0, 2.0e6}) {
    const double pos[3] = {u.req.position.dX - dx, u.req.position.dY, u.req.position.dZ};
    u.station(0, 5, pos, "W84", 9000);
    u.corr(0, 5, sv, 0, 0, 0, 0, 0, 1, 9000);
    u.gen.update(&u.R);
    ASSERT_EQ(u.R.uStationCount, 1);
    // Line of sight along y: the shift's y part, -rz x, counts.
    EXPECT_NEAR(u.R.station[0].sat[0].slot[0].fCorrection[0], rz * pos[0], 1e-4) << dx;
  }
}
