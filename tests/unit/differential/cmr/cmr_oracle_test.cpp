// A real base in CMR: convbin's RINEX of testglo.rtcm3 (GPS and GLONASS code and carrier on L1
// and L2) packed by this test with the public CMR layout, GLONASS as type 3 before GPS as type 0,
// the station as type 1, type 2 and CMR+ pages. Through the reader every value equals convbin's
// within CMR resolution (1/8 L1 cycle, 1/256 cycle, 1 cm); through the client and the base-epoch
// decoder, with the broadcast orbits the recording carries, the GPS ranges come back whole
// (the right light-milliseconds restored) and the carriers whole, and the station position
// lands in the receiver's reference position.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "../rtcm3_test_util.h"
#include "cmr_convbin.h"
#include "cmr_test_util.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/base/cpd_utils.h"
#include "differential/cmr/cmr_cpd_decoder.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/chan_data.h"
#include "positioning/reference/reference_pos.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "unit/own_process.h"

namespace {

constexpr double kC = 299792458.0;
constexpr double kCms = kC / 1000.0;
constexpr double kGpsL1 = 1575.42e6, kGpsL2 = 1227.6e6;

using cmrtest::Rinex;
using Obs = cmrtest::RinexObs;
using Epoch = cmrtest::RinexEpoch;

struct Freqs {
  double f1, f2;
};
Freqs freqsOf(const Rinex& r, const Obs& o) {
  if (o.sys == 'G') return {kGpsL1, kGpsL2};
  const int k = r.gloChannel.at(o.prn);
  return {1602e6 + k * 562500.0, 1246e6 + k * 437500.0};
}

// The whole code a CMR base sends for C1: the light-milliseconds plus the 1/8-cycle part.
double quantizedCode(double c1, double lam1) {
  const double ms = std::floor(c1 / kCms);
  return ms * kCms + std::round((c1 - ms * kCms) * 8.0 / lam1) * lam1 / 8.0;
}

// One observation frame of a system's satellites with carriers that fit the 20-bit field.
cmrtest::Bytes packEpoch(const Rinex& r, const Epoch& e, char sys, int timeMs, int clockSteps) {
  std::vector<cmrtest::SatObs> sats;
  for (const Obs& o : e.sats) {
    if (o.sys != sys || o.v[0] == 0.0) continue;
    const Freqs f = freqsOf(r, o);
    const double lam1 = kC / f.f1, lam2 = kC / f.f2;
    const double q = quantizedCode(o.v[0], lam1);
    cmrtest::SatObs s{};
    s.prn = o.prn;
    s.code = std::lround((q - std::floor(o.v[0] / kCms) * kCms) * 8.0 / lam1);
    const double d1 = (o.v[1] - q / lam1) * 256.0;
    s.phaseValid = o.v[1] != 0.0 && std::fabs(d1) < (1 << 19) - 1;
    s.phase = s.phaseValid ? std::lround(d1) : 0;
    s.snr = 9;
    s.slip = 3;
    const double d2 = (o.v[3] - q / lam2) * 256.0;
    s.l2 = o.v[2] != 0.0 || o.v[3] != 0.0;
    const bool l2code = o.v[2] != 0.0 && std::fabs(o.v[2] - q) < 327.0;
    const bool l2phase = o.v[3] != 0.0 && std::fabs(d2) < (1 << 19) - 1;
    s.l2flags = (l2code ? 0x10 | 0x04 : 0) | (l2phase ? 0x02 : 0);
    s.l2range = l2code ? std::lround((o.v[2] - q) * 100.0) : 0;
    s.l2phase = l2phase ? std::lround(d2) : 0;
    s.l2snr = 11;
    sats.push_back(s);
  }
  return cmrtest::frame(0x93, cmrtest::obsBody(3, 17, sys == 'G' ? 0 : 3, timeMs, sats, clockSteps));
}

long gloMsOfDay(long gpsTowMs) {
  // GLONASS time: UTC + 3 h; UTC was GPS time - 15 s at the end of 2009.
  const long day = 86400000L;
  return ((gpsTowMs % day) - 15000 + 3 * 3600000L + day) % day;
}

TEST(CmrOracle, TestgloThroughTheReader) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  const Rinex r = cmrtest::convbinTestglo();
  ASSERT_GE(r.epochs.size(), 180u);
  ASSERT_EQ(r.gloChannel.size(), 6u);
  cmrtest::Recorder rec;
  CmrStationTable table;
  table.init(&rec);
  table.roverSource = nullptr;
  CMR_Decoder kernel(&table);
  NAV_Decoder drv(&kernel);
  int checked = 0, phases = 0, l2 = 0;
  for (const Epoch& e : r.epochs) {
    rec.meas.clear();
    for (char sys : {'R', 'G'}) {
      const long t = sys == 'G' ? e.towMs : gloMsOfDay(e.towMs);
      const cmrtest::Bytes f = packEpoch(r, e, sys, static_cast<int>(t % 240000), 0);
      drv.putData(f.data(), static_cast<int>(f.size()), InPorts::DEC_SER_A);
    }
    ASSERT_EQ(rec.meas.size(), 2u) << e.towMs;
    for (const CMR_MEAS& m : rec.meas) {
      const char sys = m.sys == 1 ? 'R' : 'G';
      EXPECT_EQ(m.timeMs, (sys == 'G' ? e.towMs : gloMsOfDay(e.towMs)) % 240000);
      int k = 0;
      for (const Obs& o : e.sats) {
        if (o.sys != sys || o.v[0] == 0.0) continue;
        ASSERT_LT(k, m.count);
        const CMR_MEAS::Sv& s = m.sv[k++];
        ASSERT_EQ(s.num, o.prn);
        const Freqs f = freqsOf(r, o);
        const double lam1 = kC / f.f1, lam2 = kC / f.f2;
        EXPECT_NEAR(s.l1Code * lam1, std::fmod(o.v[0], kCms), 0.024) << sys << o.prn;
        const double q = std::floor(o.v[0] / kCms) * kCms + s.l1Code * lam1;
        if (s.l1Flags & CMR_MEAS::kL1PhaseValid) {
          EXPECT_NEAR(q / lam1 + s.l1Phase, o.v[1], 1.0 / 256) << sys << o.prn;
          ++phases;
        }
        if (s.l2Flags & CMR_MEAS::kL2CodeValid) {
          EXPECT_NEAR(q + s.l2Range, o.v[2], 0.005 + 1e-9) << sys << o.prn;
          ++l2;
        }
        if (s.l2Flags & CMR_MEAS::kL2PhaseValid) {
          EXPECT_NEAR(q / lam2 + s.l2Phase, o.v[3], 1.0 / 256) << sys << o.prn;
        }
        EXPECT_FLOAT_EQ(s.l1Energy, 46.0f);
        EXPECT_FLOAT_EQ(s.l2Energy, 44.0f);
        EXPECT_EQ(s.l1Slip, 3);
        ++checked;
      }
      EXPECT_EQ(k, m.count);
    }
  }
  EXPECT_GE(checked, 2500);
  EXPECT_GE(phases, checked * 9 / 10);
  EXPECT_GE(l2, checked * 9 / 10);
}

// The station's coordinates as type 1 and as CMR+ pages reach the receiver's reference position
// at the 1005 point within a millimetre.
TEST(CmrOracle, StationPositionAtThe1005Point) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  const Rinex r = cmrtest::convbinTestglo();
  std::int64_t mm[3];
  for (int k = 0; k < 3; ++k) mm[k] = std::llround(r.xyz[k] * 1000.0);
  const int off[3] = {0, 0, 0};
  RcvSet.refPort = -2;
  RtcmSet.cmrDec.inUse = -1;
  for (int road = 0; road < 2; ++road) {
    CmrStationTable table;
    table.init(&cmrClient);
    table.roverSource = nullptr;
    CMR_Decoder kernel(&table);
    NAV_Decoder drv(&kernel);
    RcvPosGPS = ReferencePos{};
    std::vector<cmrtest::Bytes> frames;
    if (road == 0) {
      cmrtest::Bits w;
      cmrtest::header(w, 3, 17, 1, 0, 0, 0, 0);
      cmrtest::coordBody(w, mm, off, 0);
      frames.push_back(cmrtest::frame(0x93, w.b));
    } else {
      frames = cmrtest::plusPages(17, cmrtest::plusRecord(mm, off, 12, "TESTGLO", "", "testglo.rtcm3"), false);
    }
    for (const auto& f : frames) drv.putData(f.data(), static_cast<int>(f.size()), InPorts::DEC_SER_A);
    double xyz[3];
    ASSERT_TRUE(RcvPosGPS.getRefPos(ReferencePos::kCartesian, xyz)) << road;
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(xyz[k], r.xyz[k], 1e-3) << road << k;
    EXPECT_EQ(RcvPosGPS.source(), 2);
    EXPECT_EQ(RcvPosGPS.stationId(), 17);
  }
}

// The recording's base as if its clock ran `offset` seconds off: every code and carrier moved by
// the same time, as the header's clock offset then tells.
Rinex withClockOffset(Rinex r, double offset) {
  for (Epoch& e : r.epochs) {
    for (Obs& o : e.sats) {
      const Freqs f = freqsOf(r, o);
      for (int k : {0, 2})
        if (o.v[k] != 0.0) o.v[k] += offset * kC;
      if (o.v[1] != 0.0) o.v[1] += offset * f.f1;
      if (o.v[3] != 0.0) o.v[3] += offset * f.f2;
    }
  }
  return r;
}

// The base-epoch decoder restores each GPS range past its light-millisecond from the orbit the
// recording broadcasts (1019), the station's position (1005) and the base clock the header
// carries: whole ranges and carriers equal convbin's within CMR resolution. Base clocks of up to
// a millisecond must weigh in full (seconds times c).
class CmrOracleClock : public ::testing::TestWithParam<double> {};

TEST_P(CmrOracleClock, GpsRangesRestoredWhole) {
  testproc::inOwnProcess([&] {
    ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
    const Rinex r = withClockOffset(cmrtest::convbinTestglo(), GetParam());
    SatPolynomStoreInstance.Init();
    SatDataProcessorInstance.init_Object();
    {
      rtcm3test::RecordingClient ephClient;
      const rtcm3test::Bytes data = rtcm3test::readFile(rtcm3test::recording("testglo.rtcm3"));
      RTC3_Decoder& dec = Rtcm3Dec[1];
      dec.initDecoder(&ephClient);
      NAV_Decoder d(&dec);
      d.putData(data.data(), static_cast<int>(data.size()), static_cast<InPorts::DecPortIndex>(1));
    }
    SatDataEpoch ep;
    ep.time.valid = true;
    ep.time.sec[kSysGps] = r.epochs.front().towMs / 1000.0;
    ep.monoSec = ep.time.sec[kSysGps];
    SatDataProcessorInstance.update(ep);
    std::map<int, ZRT_EPH_GPS> eph;
    for (int si = 0; si < 32; ++si) {
      const ExtEphRecord* e = SatDataProcessorInstance.get_EphLastData(kSysGps, si, 0);
      if (e == nullptr || !e->valid) continue;
      ZRT_EPH_GPS x;
      std::memcpy(&x, e->native, sizeof x);
      eph[si] = x;
    }
    ASSERT_GE(eph.size(), 6u);

    cpdClientsInit();
    RcvSet.refPort = -2;
    RcvSet.bUseBaseEntered = 0;
    RcvSet.cmrInvertPhase = 0;
    RtcmSet.cmrDec.inUse = 17;
    CmrStationTable table;
    table.init(&cmrClient);
    table.roverSource = nullptr;
    CMR_Decoder kernel(&table);
    NAV_Decoder drv(&kernel);
    std::int64_t mm[3];
    for (int k = 0; k < 3; ++k) mm[k] = std::llround(r.xyz[k] * 1000.0);
    {
      cmrtest::Bits w;
      const int off[3] = {0, 0, 0};
      cmrtest::header(w, 3, 17, 1, 0, 0, 0, 0);
      cmrtest::coordBody(w, mm, off, 0);
      const cmrtest::Bytes f = cmrtest::frame(0x93, w.b);
      drv.putData(f.data(), static_cast<int>(f.size()), InPorts::DEC_SER_A);
    }
    ASSERT_TRUE(cmrCpdClient.refPos.valid);
    const CpdCPos station{r.xyz[0], r.xyz[1], r.xyz[2]};

    int epochs = 0, ranges = 0;
    for (std::size_t i = 0; i < r.epochs.size(); i += 5) {
      const Epoch& e = r.epochs[i];
      const double T = e.towMs / 1000.0;
      SatPolynomStoreInstance.Init();
      CpdSvSet tracked;
      for (const auto& [si, x] : eph) {
        PolyNodeRing ring;
        bool computed = false;
        SatData::PolynomSetType set{};
        ASSERT_TRUE(update_SatellitePolynom(kSysGps, x, T - 30.0, ring, computed, set.entry[0]));
        set.entry[0].iod = x.iode;
        set.entry[1].iod = kPolyNoIod;
        const SvIdType id{static_cast<std::uint8_t>(si), kSysGps, 0, static_cast<std::uint8_t>(si)};
        ASSERT_TRUE(SatPolynomStoreInstance.Put(id, &set));
        tracked.add(CpdSv::make(CpdSv::kGps, si + 1));
      }
      cpdRecentSvs_.set(tracked);
      // The base's clock from the code: the mean of code minus geometry plus the satellite clock,
      // sent in 500 ns steps.
      double sum = 0.0;
      int n = 0;
      for (const Obs& o : e.sats) {
        if (o.sys != 'G' || !eph.count(o.prn - 1)) continue;
        CpdCPos p;
        CpdCVel v;
        double clk = 0.0;
        if (CpdUtilsInstance.svPos(CpdSv::make(0, o.prn), T - 0.07, false, p, v, clk, CpdUtils::kAnyIod) !=
            CpdUtils::kOk)
          continue;
        const double g = std::sqrt((p.x - station.x) * (p.x - station.x) + (p.y - station.y) * (p.y - station.y) +
                                   (p.z - station.z) * (p.z - station.z));
        sum += (o.v[0] - g) / kC + clk;
        ++n;
      }
      ASSERT_GE(n, 4);
      const int clockSteps = static_cast<int>(std::lround(sum / n / 5e-7));
      ASSERT_LT(std::abs(clockSteps), 2048);

      ChanMeasTime mt;
      mt.gpsMs = static_cast<std::int32_t>(e.towMs);
      mt.gloMs = static_cast<std::int32_t>(gloMsOfDay(e.towMs));
      mt.valid = 3;
      ChanData::setMeasTime(mt);
      CpdMeasTimes rover;
      rover.time[0] = static_cast<std::int32_t>(e.towMs % 3600000);
      cpdSetTimesAndId(rover, static_cast<std::int32_t>(e.towMs % 3600000));
      const cmrtest::Bytes f = packEpoch(r, e, 'G', static_cast<int>(e.towMs % 240000), clockSteps);
      drv.putData(f.data(), static_cast<int>(f.size()), InPorts::DEC_SER_A);
      const CpdMeas* m = pBaseMeasBuf->doGet();
      ASSERT_NE(m, nullptr);
      EXPECT_EQ(m->id.get(), e.towMs % 3600000);
      for (const Obs& o : e.sats) {
        if (o.sys != 'G' || !eph.count(o.prn - 1)) continue;
        const CpdSvMeas* s = m->find(CpdSv::make(0, o.prn));
        ASSERT_NE(s, m->end()) << o.prn;
        const CpdMeasSlot& a = s->slot[CpdSvMeas::kCA];
        ASSERT_TRUE(a.flags & CpdMeasSlot::kRange);
        EXPECT_NEAR(a.range, o.v[0], 0.024) << T << " G" << o.prn;
        if (a.flags & CpdMeasSlot::kPhase) {
          EXPECT_NEAR(a.phase, o.v[1], 1.0 / 256) << T << " G" << o.prn;
        }
        const CpdMeasSlot& b = s->slot[CpdSvMeas::kP2];
        if (b.flags & CpdMeasSlot::kRange) {
          EXPECT_NEAR(b.range, o.v[2], 0.024) << T << " G" << o.prn;
        }
        if (b.flags & CpdMeasSlot::kPhase) {
          EXPECT_NEAR(b.phase, o.v[3], 1.0 / 256) << T << " G" << o.prn;
        }
        ++ranges;
      }
      pBaseMeasBuf->doUnlock(m);
      ++epochs;
    }
    EXPECT_GE(epochs, 35);
    EXPECT_GE(ranges, 250);
    SatPolynomStoreInstance.Init();
    SatDataProcessorInstance.init_Object();
  });
}

INSTANTIATE_TEST_SUITE_P(BaseClock, CmrOracleClock, ::testing::Values(0.0, 3e-4, -9e-4, 9.9e-4));

}  // namespace
