// The SBAS decoder's long-term corrections, GEO navigation and almanacs against independent
// decoders of the same recordings: Debian's convbin turns each recording into its SBAS message
// log, the GPS navigation records (with their IODEs) and its own decoding of every MT9 as RINEX
// SBAS navigation records; rnx2rtkp, with SBAS corrections from PRN 129 only and trace level 5,
// prints the long-term correction it applies to each satellite at each epoch (its clock term in m).
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/ram_nvm.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/sbas/sbas_corr_generator.h"
#include "positioning/sbas/sbas_data_decoder.h"
#include "unit/positioning/sbas_test_messages.h"

#include "unit/positioning/sbas_sbs_log.h"

namespace {

using sbas_log::readSbs;
using sbas_log::run;
using sbas_log::SbsLine;

using namespace sbas_test;

struct LongLine {
  double tow;
  int sat;
  double drs[3], ddts;
};

struct GeoRecord {  // one RINEX SBAS navigation record
  int prn;
  int t0;  // s of day
  double af0, af1, pos[3], vel[3], acc[3];
};

double rnx(const std::string& line, int field) {
  std::string s = line.substr(4 + 19 * field, 19);
  for (char& c : s)
    if (c == 'D') c = 'E';
  return std::stod(s);
}

struct IonoLine {  // a slant delay rnx2rtkp applied
  double tow, lat, lon, az, el, dion;
};

struct Oracle {
  std::vector<IonoLine> ionos;
  std::vector<SbsLine> msgs;
  std::vector<LongLine> longs;
  std::vector<GeoRecord> geos;
  std::map<int, std::set<int>> iodes;  // GPS PRN -> IODEs of its navigation records
};

Oracle oracle(const std::string& recording, const std::string& format, bool trace) {
  Oracle o;
  const std::string dir = run("mktemp -d | tr -d '\\n'");
  const std::string src = std::string(RX_SHARED_DIR) + "/testdata/sbas/" + recording;
  std::string cmd = "cd " + dir + " && cp '" + src + "' in.bin && convbin -r " + format + " in.bin -d . >/dev/null 2>&1";
  if (trace)
    cmd += " && printf 'pos1-posmode=single\\npos1-navsys=1\\npos1-sateph=brdc+sbas\\npos1-ionoopt=sbas\\n"
           "pos1-tropopt=saas\\npos1-sbassatsel=129\\n' > s.conf && awk '$3==129' in.sbs > g.sbs && "
           "rnx2rtkp -k s.conf -x 5 -o out.pos in.obs in.nav g.sbs >/dev/null 2>&1";
  run(cmd);
  o.msgs = readSbs(dir + "/in.sbs");
  std::ifstream nav(dir + "/in.nav");
  std::vector<std::string> lines;
  for (std::string line; std::getline(nav, line);) lines.push_back(line);
  for (std::size_t i = 0; i + 3 < lines.size(); ++i) {
    const std::string& l = lines[i];
    if (l.size() < 80) continue;
    if (l[0] == 'G') o.iodes[std::stoi(l.substr(1, 2))].insert(static_cast<int>(rnx(lines[i + 1], 0)));
    if (l[0] != 'S') continue;
    GeoRecord g{};
    g.prn = 100 + std::stoi(l.substr(1, 2));
    g.t0 = std::stoi(l.substr(15, 2)) * 3600 + std::stoi(l.substr(18, 2)) * 60 + std::stoi(l.substr(21, 2));
    g.af0 = std::stod(l.substr(23, 19).replace(l.substr(23, 19).find('D'), 1, "E"));
    g.af1 = std::stod(l.substr(42, 19).replace(l.substr(42, 19).find('D'), 1, "E"));
    for (int ax = 0; ax < 3; ++ax) {
      g.pos[ax] = rnx(lines[i + 1 + ax], 0) * 1e3;
      g.vel[ax] = rnx(lines[i + 1 + ax], 1) * 1e3;
      g.acc[ax] = rnx(lines[i + 1 + ax], 2) * 1e3;
    }
    o.geos.push_back(g);
  }
  std::ifstream tr(dir + "/out.pos.trace");
  double epoch = -1;
  IonoLine pending{};
  pending.tow = -1;
  for (std::string line; std::getline(tr, line);) {
    if (std::sscanf(line.c_str(), "4 sbsioncorr: pos=%lf %lf azel=%lf %lf", &pending.lat, &pending.lon, &pending.az,
                    &pending.el) == 4) {
      pending.tow = epoch;
      continue;
    }
    if (pending.tow >= 0 && std::sscanf(line.c_str(), "5 sbsioncorr: dion=%lf", &pending.dion) == 1) {
      o.ionos.push_back(pending);
      pending.tow = -1;
      continue;
    }
    int y, mo, d, hh, mm;
    double ss;
    if (std::sscanf(line.c_str(), "4 seleph  : time=%d/%d/%d %d:%d:%lf", &y, &mo, &d, &hh, &mm, &ss) == 6)
      epoch = 86400 + hh * 3600 + mm * 60 + ss;  // 2008-05-26 is the Monday of GPS week 1481
    LongLine l{};
    if (epoch >= 0 && std::sscanf(line.c_str(), "5 sbslongcorr: sat=%d drs=%lf %lf %lf ddts=%lf", &l.sat, &l.drs[0],
                                  &l.drs[1], &l.drs[2], &l.ddts) == 5) {
      l.tow = epoch;
      o.longs.push_back(l);
    }
  }
  run("rm -rf " + dir);
  return o;
}

void initAll() {
  RamNvm::blank();
  PosSetup::CorrProcessorSetupType s;
  PosSetup::setDefaults(s);
  const std::uint32_t mode = 2;
  std::memcpy(s.aBytes + SBASData::kSetupSbasModeOffset, &mode, 4);
  SBASData::SatCorrectionType::set_DataTimeout(&s);
  SBASData::IonoCorrectionType::set_DataTimeout(&s);
  for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  for (auto& c : PVTDataInstance.sbasSatCorrection) c.Init();
  for (auto& c : PVTDataInstance.sbasIonoCorrection) c.Init();
}

void feed(const SbsLine& m) {
  // A message stamped with the second it starts is whole one second later.
  PosData::RcvTimeDataType t = timeAt(m.tow + 1, m.week);
  const SvIdType src = geo(m.prn);
  Locker<Mutex> l(SbasDataDecoder::poolMutex);
  get_SbasDataDecoder(t, src)->update(t, src, m.msg);
}

// Seconds from the correction's t0 (a time of day) to `tow`, folded into the day around it.
double sinceT0(double tow, int t0Units) {
  double d = std::fmod(tow, 86400.0) - t0Units * 16.0;
  if (d > 43200) d -= 86400;
  if (d < -43200) d += 86400;
  return d;
}

class SbasLongTermOracle : public ::testing::TestWithParam<const char*> {};

TEST_P(SbasLongTermOracle, LongTermCorrectionsEqualRnx2rtkpAndIodesConvbin) {
  ASSERT_EQ(access("/usr/bin/rnx2rtkp", X_OK), 0) << "rnx2rtkp (Debian rtklib) is required: run scripts/setup";
  const std::string rec = GetParam();
  const Oracle o = oracle(rec, rec.find("ubx") != std::string::npos ? "ubx" : "hemis", true);
  ASSERT_GT(o.longs.size(), 200u) << "rnx2rtkp applied too few long-term corrections";
  initAll();
  std::size_t next = 0;
  int compared = 0, bad = 0;
  for (const LongLine& l : o.longs) {
    // A receiver clock a millisecond behind still counts the message of that second.
    for (; next < o.msgs.size() && o.msgs[next].tow + 1 <= l.tow + 0.005; ++next)
      if (o.msgs[next].prn == 129) feed(o.msgs[next]);
    SBASData::SatCorrectionType r;
    const SvIdType sv = gps(l.sat);
    ASSERT_NE(PVTDataInstance.sbasSatCorrection[0].Take(&sv, &r), 0) << rec << " G" << l.sat;
    const int nowMs = static_cast<int>(l.tow * 1000);
    ASSERT_TRUE(r.is_ReadyLongCorr(nowMs)) << rec << " G" << l.sat << " at " << l.tow;
    const SBASData::LongCorrBlock& b = r.longCorr[0];
    // The satellite's signal left it some 70 ms before the epoch.
    const double dt = b.uVelocityCode == 1 ? sinceT0(l.tow - 0.075, b.uT0) : 0.0;
    const double drs[3] = {b.iDx * 0.125 + std::ldexp(b.iDdx, -11) * dt, b.iDy * 0.125 + std::ldexp(b.iDdy, -11) * dt,
                           b.iDz * 0.125 + std::ldexp(b.iDdz, -11) * dt};
    // rnx2rtkp prints the clock term as a range (m).
    const double ddts = (std::ldexp(b.iDaf0, -31) + std::ldexp(b.iDaf1, -39) * dt) * 299792458.0;
    for (int ax = 0; ax < 3; ++ax) EXPECT_NEAR(drs[ax], l.drs[ax], 0.0051) << rec << " G" << l.sat << " at " << l.tow;
    EXPECT_NEAR(ddts, l.ddts, 0.0051) << rec << " G" << l.sat << " at " << l.tow;
    EXPECT_EQ(o.iodes.count(l.sat), 1u) << rec << " G" << l.sat;
    if (o.iodes.count(l.sat) != 0) {
      EXPECT_EQ(o.iodes.at(l.sat).count(b.uIod), 1u) << rec << " G" << l.sat << " IODE " << int(b.uIod);
    }
    if (std::fabs(drs[0] - l.drs[0]) > 0.0051 && ++bad > 8) break;
    ++compared;
  }
  EXPECT_EQ(compared, static_cast<int>(o.longs.size()));
}

TEST_P(SbasLongTermOracle, GeoNavigationEqualsConvbinAndAlmanacsLieNearIt) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  const std::string rec = GetParam();
  const Oracle o = oracle(rec, rec.find("ubx") != std::string::npos ? "ubx" : "hemis", false);
  initAll();
  auto store = std::make_unique<SatelliteDataProcessor>();
  for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, store.get());
  int matched = 0, almanacs = 0;
  for (const SbsLine& m : o.msgs) {
    if (m.prn != 129 && m.prn != 137) continue;
    storeTimeAt(*store, m.tow + 1);
    feed(m);
    if (m.type == 17) {
      // Each almanac of a GEO whose ephemeris is known lies within 30 km of it.
      for (int prn : {129, 137}) {
        const auto* a = static_cast<const ZRT_ALM_SBA*>(store->get_AlmLastData(kSysSbas, prn - 120));
        const ExtEphRecord* e = store->get_EphLastData(kSysSbas, prn - 120, 0);
        if (a == nullptr || e == nullptr || a->prn != prn) continue;
        ZRT_EPH_SBA eph;
        std::memcpy(&eph, e->native, sizeof eph);
        const double d = std::hypot(a->pos[0] - eph.pos[0], a->pos[1] - eph.pos[1], a->pos[2] - eph.pos[2]);
        EXPECT_LT(d, 30e3) << rec << " PRN " << prn;
        ++almanacs;
      }
    }
    if (m.type != 9) continue;
    const ExtEphRecord* e = store->get_EphLastData(kSysSbas, m.prn - 120, 0);
    ASSERT_NE(e, nullptr) << rec << " PRN " << m.prn << " at " << m.tow;
    ZRT_EPH_SBA eph;
    std::memcpy(&eph, e->native, sizeof eph);
    EXPECT_EQ(eph.prn, m.prn);
    for (const GeoRecord& g : o.geos) {
      if (g.prn != m.prn || g.t0 != static_cast<int>(eph.t0)) continue;
      ++matched;
      for (int ax = 0; ax < 3; ++ax) {
        EXPECT_NEAR(eph.pos[ax], g.pos[ax], 1e-3) << rec << " PRN " << g.prn << " axis " << ax;
        EXPECT_NEAR(eph.vel[ax], g.vel[ax], 1e-7) << rec << " PRN " << g.prn << " axis " << ax;
        EXPECT_NEAR(eph.acc[ax], g.acc[ax], 1e-10) << rec << " PRN " << g.prn << " axis " << ax;
      }
      EXPECT_NEAR(eph.aGf0, g.af0, std::fabs(g.af0) * 1e-6) << rec << " PRN " << g.prn;
      EXPECT_NEAR(eph.aGf1, g.af1, std::fabs(g.af1) * 1e-6) << rec << " PRN " << g.prn;
    }
  }
  EXPECT_GE(matched, 4) << rec << ": every RINEX SBAS record of PRN 129 and 137 met";
  for (SbasDataDecoder& d : SbasDataDecoderInstance) d.init_Object(&PVTDataInstance, nullptr);
  EXPECT_GT(almanacs, 0) << rec;
}

// Pierce point at 350 km over a sphere of 6378.1363 km and the obliquity factor (RTCA DO-229D
// A.4.4.10.1), from latitude, longitude, azimuth and elevation in degrees.
double piercePoint(const IonoLine& l, double& lat, double& lon) {
  constexpr double kD2R = M_PI / 180.0, kRe = 6378.1363, kHi = 350.0;
  const double phi = l.lat * kD2R, lam = l.lon * kD2R, az = l.az * kD2R, el = l.el * kD2R;
  const double rp = kRe / (kRe + kHi) * std::cos(el);
  const double psi = M_PI / 2 - el - std::asin(rp);
  const double phiP = std::asin(std::sin(phi) * std::cos(psi) + std::cos(phi) * std::sin(psi) * std::cos(az));
  const double lamP = lam + std::asin(std::sin(psi) * std::sin(az) / std::cos(phiP));
  lat = phiP / kD2R;
  lon = lamP / kD2R;
  return 1.0 / std::sqrt(1.0 - rp * rp);
}

// The grid filled from the messages gives the slant delays rnx2rtkp applied wherever both
// interpolate in the same 5-degree cell.
TEST_P(SbasLongTermOracle, IonosphereGridGivesRnx2rtkpSlantDelays) {
  ASSERT_EQ(access("/usr/bin/rnx2rtkp", X_OK), 0) << "rnx2rtkp (Debian rtklib) is required: run scripts/setup";
  const std::string rec = GetParam();
  const Oracle o = oracle(rec, rec.find("ubx") != std::string::npos ? "ubx" : "hemis", true);
  ASSERT_GT(o.ionos.size(), 50u) << "rnx2rtkp applied too few ionosphere delays";
  initAll();
  std::size_t next = 0;
  int compared = 0;
  for (const IonoLine& l : o.ionos) {
    for (; next < o.msgs.size() && o.msgs[next].tow + 1 <= l.tow; ++next)
      if (o.msgs[next].prn == 129) feed(o.msgs[next]);
    double lat = 0, lon = 0;
    const double fp = piercePoint(l, lat, lon);
    SbasCorrGenerator g(&PVTDataInstance);
    g.set_IonoSource(0, geo(129), static_cast<int>(l.tow * 1000), true, nullptr);
    SbasCorrGenerator::IonoCellType cell{};
    if (!g.compute_IonoVertical(static_cast<float>(lat), static_cast<float>(lon), cell)) continue;
    bool square5 = true;
    for (const auto& p : cell.point)
      square5 &= p.bUsable != 0 && std::fabs(p.fLat - cell.point[0].fLat) <= 5 &&
                 std::fabs(std::remainder(p.fLon - cell.point[0].fLon, 360.0)) <= 5;
    square5 &= cell.point[0].fLat != cell.point[2].fLat;
    if (!square5) continue;
    EXPECT_NEAR(fp * cell.fDelay, l.dion, 0.0051 + 0.0005) << rec << " at " << l.tow << " ipp " << lat << " " << lon;
    ++compared;
  }
  EXPECT_GT(compared, 20) << rec;
  // Every band mask carries the IODI in force and publishes exactly the grid points it names.
  const SbasDataDecoder& d = SbasDataDecoderInstance[0];
  int bands = 0;
  for (int band = 0; band < SBASData::kIonoBands; ++band) {
    const SbasDataDecoder::IgpMaskType& g = d.igpMask(band);
    if (g.lTime < 0) continue;
    ++bands;
    EXPECT_EQ(g.uIodi, d.iodiEntry().uIodi) << rec << " band " << band;
    int named = 0, ready = 0, delays = 0;
    std::vector<bool> withDelay;  // by mask order
    for (int b = 0; b < SBASData::kIonoBandPoints; ++b) {
      if (((g.ulWord[b / 32] >> (31 - b % 32)) & 1u) == 0) continue;
      ++named;
      SBASData::IonoCorrectionType c;
      if (PVTDataInstance.sbasIonoCorrection[0].Take(b, band, &c, nullptr, nullptr) == 0) continue;
      ready += (c.ulBits & SBASData::IonoCorrectionType::kGridReady) != 0 ? 1 : 0;
      withDelay.push_back((c.ulBits & SBASData::IonoCorrectionType::kCorrReady) != 0);
      delays += withDelay.back() ? 1 : 0;
    }
    EXPECT_EQ(ready, named) << rec << " band " << band;
    EXPECT_GT(delays, 0) << rec << " band " << band;
    // Delays come in whole blocks of 15 points of the mask order, the last one shorter.
    for (std::size_t k = 0; k < withDelay.size(); ++k)
      EXPECT_EQ(withDelay[k], withDelay[k - k % SBASData::kIonoPointsPerBlock]) << rec << " band " << band << " point " << k;
  }
  EXPECT_GT(bands, 0) << rec;
}

INSTANTIATE_TEST_SUITE_P(Recordings, SbasLongTermOracle, ::testing::Values("cres_20080526.bin", "ubx_20080526.ubx"));

// In 2023 PRN 137 sends velocity-code-0 halves with IODP 3 at the half's bits 104-105. With a mask
// of IODP 3 naming GPS 1-32, every one of them is taken and carries the IODE of the ephemeris
// convbin found for that satellite.
TEST(SbasLongTermOracle2023, VelocityCode0HalvesOfPrn137) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  const Oracle o = oracle("20230919-114418.ubx", "ubx", false);
  initAll();
  std::vector<int> all;
  for (int p = 1; p <= 32; ++p) all.push_back(p);
  Msg mask(1);
  for (int p : all) mask.put(p, 1, 1);
  mask.put(211, 2, 3);
  // Data field of a logged message, read here on its own.
  auto bits = [](const std::uint8_t* msg, int pos, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
      const int bit = pos + 13 + i;
      v = (v << 1) | ((msg[bit / 8] >> (7 - bit % 8)) & 1);
    }
    return v;
  };
  int halves0 = 0;
  bool first = true;
  for (const SbsLine& m : o.msgs) {
    if (m.prn != 137 || m.type != 25) continue;
    const PosData::RcvTimeDataType t = timeAt(m.tow + 1, m.week);
    if (first) {
      get_SbasDataDecoder(t, geo(137))->update(t, geo(137), mask.b);
      first = false;
    }
    feed(m);
    // Each code-0 half's satellites carry this message's IODEs now, up to a mask number of 0
    // (which also ends the message).
    for (int h : {1, 107}) {
      if (bits(m.msg, h, 1) != 0) break;
      int taken = 0;
      for (int k = 0; k < 2; ++k) {
        const int n = bits(m.msg, h + 1 + 51 * k, 6);
        if (n < 1 || n > 32) break;
        SBASData::SatCorrectionType r;
        const SvIdType sv = gps(n);
        ASSERT_NE(PVTDataInstance.sbasSatCorrection[0].Take(&sv, &r), 0) << "G" << n << " at " << m.tow;
        EXPECT_EQ(r.ulLongTime >> 1, static_cast<std::uint32_t>(m.tow * 1000 + 1000 - 1130)) << "G" << n << " at " << m.tow;
        EXPECT_EQ(r.longCorr[0].uIod, bits(m.msg, h + 7 + 51 * k, 8)) << "G" << n << " at " << m.tow;
        ++taken;
      }
      halves0 += taken > 0 ? 1 : 0;
      if (taken < 2) break;
    }
  }
  EXPECT_GT(halves0, 0) << "the recording holds velocity-code-0 halves";
  struct Row {
    int prn, iode;
  } rows[] = {{3, 100}, {27, 8}, {32, 115}};
  for (const Row& row : rows) {
    SBASData::SatCorrectionType r;
    const SvIdType sv = gps(row.prn);
    ASSERT_NE(PVTDataInstance.sbasSatCorrection[0].Take(&sv, &r), 0) << "G" << row.prn;
    EXPECT_TRUE(r.is_ReadyLongCorr(static_cast<int>(r.ulLongTime >> 1))) << "G" << row.prn;
    EXPECT_EQ(r.longCorr[0].uVelocityCode, 0) << "G" << row.prn;
    EXPECT_EQ(r.longCorr[0].uIod, row.iode) << "G" << row.prn;
    ASSERT_EQ(o.iodes.count(row.prn), 1u) << "G" << row.prn;
    EXPECT_EQ(o.iodes.at(row.prn).count(row.iode), 1u) << "G" << row.prn;
  }
}

}  // namespace
