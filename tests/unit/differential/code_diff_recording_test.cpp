// Code corrections from a real base: testglo.rtcm3's GPS observations (1004) at the station's
// own position (1005), with the broadcast ephemerides the same recording carries (1019) in the
// satellite data store. At its own position a base's corrections are its receiver clock, the
// same for every satellite up to noise, multipath and the atmosphere: a sign error of the
// satellite clock spreads them by kilometres, one of the Earth-rotation term by tens of metres.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <vector>

#include "differential/base/code_diff_from_base.h"
#include "differential/base/cpd_utils.h"
#include "differential/rtcm3_observations.h"
#include "navigation_data/orbits/sat_polynom.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "rtcm3_test_util.h"
#include "settings/rcv_settings.h"
#include "unit/differential/elevation.h"

namespace {

using namespace rtcm3test;

constexpr double kLightMs = 299792458.0 / 1000.0;

struct ObsClient : RecordingClient {
  std::vector<RTC3_OBS> legacy;
  void updateRtkData(const RTC3_OBS& o, int) override { legacy.push_back(o); }
};

TEST(CodeDiffRecording, TestgloCorrectionsShareTheBaseClock) {
  SatPolynomStoreInstance.Init();
  SatDataProcessorInstance.init_Object();
  CodeDiffFromBaseInstance.init();
  const RCV_SETTINGS saved = RcvSet;
  RcvSet.codeSmoothLen = 0;
  RcvSet.codeCorrFromBase = 1;

  ObsClient client;
  {
    const Bytes data = readFile(recording("testglo.rtcm3"));
    RTC3_Decoder& dec = Rtcm3Dec[1];
    dec.initDecoder(&client);
    NAV_Decoder d(&dec);
    d.putData(data.data(), static_cast<int>(data.size()), static_cast<InPorts::DecPortIndex>(1));
  }
  ASSERT_FALSE(client.refPos.empty());
  const RTC3_REFPOS& ref = client.refPos.front();
  const CpdCPos station{ref.x, ref.y, ref.z};
  // The station as convbin reads it from the same file.
  EXPECT_NEAR(station.x, -3869297.5138, 1e-3);
  EXPECT_NEAR(station.y, 3436571.3345, 1e-3);
  EXPECT_NEAR(station.z, 3717369.3757, 1e-3);

  ASSERT_FALSE(client.legacy.empty());
  // The store serves records only with a time to judge them by: the recording's first epoch.
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[kSysGps] = client.legacy.front().time / 1000.0;
  ep.monoSec = ep.time.sec[kSysGps];
  SatDataProcessorInstance.update(ep);
  std::map<int, ZRT_EPH_GPS> eph;
  for (int si = 0; si < 32; ++si) {
    const ExtEphRecord* r = SatDataProcessorInstance.get_EphLastData(kSysGps, si, 0);
    if (r == nullptr || !r->valid) continue;
    ZRT_EPH_GPS e;
    std::memcpy(&e, r->native, sizeof e);
    eph[si] = e;
  }
  ASSERT_GE(eph.size(), 6u);

  int epochs = 0, corrections = 0;
  for (const RTC3_OBS& o : client.legacy) {
    if (o.system != 0) continue;
    const double T = o.time / 1000.0;
    // Polynomials of every known satellite around this epoch, as the store publishes them.
    SatPolynomStoreInstance.Init();
    for (const auto& [si, e] : eph) {
      PolyNodeRing ring;
      bool computed = false;
      SatData::PolynomSetType set{};
      ASSERT_TRUE(update_SatellitePolynom(kSysGps, e, T - 30.0, ring, computed, set.entry[0]));
      set.entry[0].iod = e.iode;
      set.entry[1].iod = kPolyNoIod;
      const SvIdType id{static_cast<std::uint8_t>(si), kSysGps, 0, static_cast<std::uint8_t>(si)};
      ASSERT_TRUE(SatPolynomStoreInstance.Put(id, &set));
    }
    PosData::RcvTimeDataType rt{};
    rt.ulTimeTag = o.time;
    PVTDataInstance.rcvTime.Put(&rt);
    std::vector<double> prc;
    for (int k = 0; k < o.numSat; ++k) {
      const RTC3_LEGACY_SAT& s = o.legacy[k];
      if (s.sat < 1 || s.sat > 32 || !eph.count(s.sat - 1)) continue;
      const CpdSv sv = CpdSv::make(CpdSv::kGps, s.sat);
      CpdCPos pos;
      CpdCVel vel;
      double clk = 0.0;
      if (CpdUtilsInstance.svPos(sv, T - 0.07, false, pos, vel, clk, CpdUtils::kAnyIod) != CpdUtils::kOk) continue;
      if (difftest::elevation(station, pos) < 15.0 * 3.14159265358979 / 180.0) continue;
      const double range = s.ambiguity * kLightMs + s.pr1;
      ASSERT_TRUE(convertCpdMeasToCodeDiffCorr(ref.stationId, 0, range, 0.0, sv, static_cast<long>(o.time), &station));
      const int src = get_RtcmSourceIndex(o.time, ref.stationId);
      const SvIdType id{static_cast<std::uint8_t>(s.sat - 1), kSysGps, 0, static_cast<std::uint8_t>(s.sat - 1)};
      RTCMData::SatCorrectionType c;
      ASSERT_NE(PVTDataInstance.rtcmSatCorrection[src].Take(&id, &c), 0);
      EXPECT_EQ(c.uStationId, ref.stationId);
      prc.push_back(c.range[0][0].fPrc / 50.0);
      RTCMData::SourceStateDataType ss;
      ASSERT_NE(PVTDataInstance.rtcmSourceState.Take(src, &ss), 0);
      EXPECT_EQ(ss.uStationId, ref.stationId);
      EXPECT_EQ(ss.fScale, 1.0f);
    }
    if (prc.size() < 4) continue;
    double mean = 0.0;
    for (double p : prc) mean += p;
    mean /= static_cast<double>(prc.size());
    for (double p : prc) EXPECT_NEAR(p, mean, 15.0) << "epoch " << o.time;
    ++epochs;
    corrections += static_cast<int>(prc.size());
  }
  EXPECT_GE(epochs, 100);
  EXPECT_GE(corrections, 400);
  RcvSet = saved;
  SatPolynomStoreInstance.Init();
  SatDataProcessorInstance.init_Object();
}

}  // namespace
