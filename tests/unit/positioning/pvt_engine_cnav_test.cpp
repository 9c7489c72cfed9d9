// GPS CNAV through the engine: the public week-rollover messages put into the GPS ring with kind
// 1 (L2C) reach the CNAV decoder and give its ephemeris while the CNAV switch is set; with the
// switch cleared they are read from the ring and discarded.
#include <gtest/gtest.h>

#include "../navigation_data/cnav_test_util.h"
#include "navigation_data/store/sat_data_store.h"
#include "positioning/engine/pvt_engine.h"
#include "unit/positioning/fresh_raw_rings.h"

namespace {

using namespace cnavtest;

const ZRT_EPH_GPS* stored(SvIdType sv) {
  SatDataEpoch ep;
  ep.time.valid = true;
  ep.time.sec[sv.sys] = 5400;
  SatDataProcessorInstance.update(ep);
  const ExtEphRecord* r = SatDataProcessorInstance.get_EphLastData(sv.sys, sv.si, 1);
  return r != nullptr && r->valid ? reinterpret_cast<const ZRT_EPH_GPS*>(r->native) : nullptr;
}

void sendAll(const std::map<std::string, Vector>& vec, std::uint32_t& tag) {
  for (const char* n : {"msg10CNAVWR", "msg11CNAVWR", "msg30CNAVWR"}) {
    const Vector& v = vec.at(n);
    NavTask::NAV_SOL sol;
    sol.epoch.timeTag = tag += 12000;
    PVTEngineInstance.update(100, true, &sol, nullptr);
    CorrData::GpsRawMessageType e{};
    e.uSv = static_cast<std::uint8_t>(v.sv.si + 1);
    e.uKind = 1;
    e.uCount = 10;
    for (int k = 0; k < 10; ++k) e.ulWords[k] = v.msg[k];
    GpsRawMessageData.append(e);
    PVTEngineInstance.update_RawNavDataFromBoardDec();
  }
}

TEST(PvtEngineCnav, SwitchDecidesWhetherMessagesReachTheDecoder) {
  rawNavRingsClear();  // the engine reads from the rings' start
  PVTEngineInstance.init_Object(&PVTDataInstance, &SatDataProcessorInstance);
  const auto vec = loadVectors();
  const SvIdType sv = vec.at("msg10CNAVWR").sv;
  ASSERT_EQ(sv.sys, kSysGps);
  std::uint32_t tag = 0;
  bDebugGpsCnavDatdec.store(0);
  sendAll(vec, tag);
  EXPECT_EQ(stored(sv), nullptr);
  EXPECT_EQ(PVTEngineInstance.readers[0].ullNext, 3u);
  bDebugGpsCnavDatdec.store(1);
  sendAll(vec, tag);
  const ZRT_EPH_GPS* e = stored(sv);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->week, 2220);
  EXPECT_EQ(e->toe, 5400u);
}

}  // namespace
