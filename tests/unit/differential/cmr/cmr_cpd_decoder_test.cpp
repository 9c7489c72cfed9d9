// The CMR base-epoch decoder: four-minute times made whole, light-milliseconds restored, the
// epoch closed by the GPS record; and the client's gates in front of it.
#include <gtest/gtest.h>

#include <cstring>

#include "differential/base/cpd_meas_buf.h"
#include "differential/cmr/cmr_cpd_decoder.h"
#include "differential/placeholders.h"
#include "differential/rtk_base.h"
#include "differential/rtk/base_pro.h"
#include "differential/rtk/rtk_engine.h"
#include "differential/received_stores.h"
#include "positioning/chan_data.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "fixtures/null_clients.h"

namespace {

constexpr long kWeek = 604800000L;
constexpr long kDay = 86400000L;

void setReceiverTime(long gpsMs, long gloMs, std::uint8_t valid) {
  ChanMeasTime t;
  t.gpsMs = static_cast<std::int32_t>(gpsMs);
  t.gloMs = static_cast<std::int32_t>(gloMs);
  t.valid = valid;
  ChanData::setMeasTime(t);
}

TEST(CmrCpdTime, FourMinuteBlockFromTheReceiverTime) {
  struct Row {
    const char* name;
    int sys;
    long rcv;
    long msg;
    std::uint8_t valid;
    bool ok;
    long want;
  } rows[] = {
      {"same block", 0, 480000 + 1000, 900, 1, true, 480900},
      {"239990 and message 10: next block", 0, 239990, 10, 1, true, 240010},
      {"message just before the receiver's block", 0, 240005, 239995, 1, true, 239995},
      {"119999 behind stays", 0, 119999, 0, 1, true, 0},
      {"120000 behind: next block", 0, 120000, 0, 1, true, 240000},
      {"120000 ahead stays", 0, 0, 120000, 1, true, 120000},
      {"120001 ahead: previous week", 0, 0, 120001, 1, true, kWeek - 119999},
      {"end of week", 0, kWeek - 5, 239999, 1, true, kWeek - 1},
      {"glonass day: next day", 1, kDay - 10, 15, 2, true, 15},
      {"gps time not valid", 0, 1000, 1000, 2, false, 0},
      {"glonass time not valid", 1, 1000, 1000, 1, false, 0},
      {"system 2 dropped", 2, 1000, 1000, 3, false, 0},
  };
  for (const Row& r : rows) {
    setReceiverTime(r.rcv, r.rcv, r.valid);
    long t = -1;
    ASSERT_EQ(CmrCpdDecoder::fullTime(r.sys, r.msg, t), r.ok) << r.name;
    if (r.ok) {
      EXPECT_EQ(t, r.want) << r.name;
    }
  }
}

// The range within a light-millisecond V and the expected range g: N whole milliseconds, one
// more or less where the two straddle a millisecond edge.
TEST(CmrCpdRange, WholeMillisecondsRestored) {
  const double ms = CmrCpdDecoder::kLightMs;
  struct Row {
    const char* name;
    double V;
    double g;
    long want;
  } rows[] = {
      {"middle", 0.5 * ms, 70 * ms + 0.5 * ms, 70},
      {"g just past an edge, V just below", 0.99 * ms, 71 * ms + 0.01 * ms, 70},
      {"g just below an edge, V just past", 0.01 * ms, 70 * ms + 0.99 * ms, 71},
      {"just above 7 %: no change", 0.94 * ms, 71 * ms + 0.0705 * ms, 71},
      {"V just below 93 %: no change", 0.9295 * ms, 71 * ms + 0.05 * ms, 71},
      {"both low", 0.02 * ms, 68 * ms + 0.03 * ms, 68},
      {"both high", 0.98 * ms, 68 * ms + 0.97 * ms, 68},
  };
  for (const Row& r : rows) EXPECT_EQ(CmrCpdDecoder::restoreN(r.V, r.g), r.want) << r.name;
}

TEST(CmrCpdRange, GlonassWavelengths) {
  // GLONASS ICD: L1 = 1602 MHz + k x 562.5 kHz.
  EXPECT_DOUBLE_EQ(CmrCpdDecoder::l1Freq(1, -7), 1598062500.0);
  EXPECT_DOUBLE_EQ(CmrCpdDecoder::l1Freq(1, 6), 1605375000.0);
  EXPECT_DOUBLE_EQ(CmrCpdDecoder::l1Freq(0, 6), 1575420000.0);
}

CMR_MEAS record(int sys, int timeMs) {
  CMR_MEAS m{};
  m.sys = static_cast<std::uint8_t>(sys);
  m.timeMs = timeMs;
  m.count = 0;
  return m;
}

struct EpochRig {
  EpochRig() {
    cpdClientsInit();
    cmrCpdClient.reset();
    cmrCpdClient.invalidateRefPos();
    setReceiverTime(3000, 3000 + 10800000 - 18000, 3);
    CpdMeasTimes rover;
    rover.time[0] = 3000;
    cpdSetTimesAndId(rover, 3000);
  }
  int released() { return static_cast<CpdMeasBufImp*>(pBaseMeasBuf)->count(); }
};

TEST(CmrCpdEpoch, GlonassRecordWaitsForTheGpsRecord) {
  EpochRig g;
  cmrCpdClient.update(record(1, (3000 + 10800000 - 18000) % 240000));
  EXPECT_NE(cmrCpdClient.cur, nullptr);
  EXPECT_EQ(g.released(), 0);
  cmrCpdClient.update(record(0, 3000));
  EXPECT_EQ(cmrCpdClient.cur, nullptr);
  EXPECT_EQ(g.released(), 1);
  const CpdMeas* m = pBaseMeasBuf->doGet();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->id.get(), 3000);
  EXPECT_EQ(m->status, 1);
  EXPECT_EQ(m->type, CpdMeas::kObservations);
  pBaseMeasBuf->doUnlock(m);
}

TEST(CmrCpdEpoch, SystemTwoDropped) {
  EpochRig g;
  cmrCpdClient.update(record(2, 3000));
  EXPECT_EQ(cmrCpdClient.cur, nullptr);
  EXPECT_EQ(g.released(), 0);
}

TEST(CmrCpdEpoch, ClockOffsetInMicroseconds) {
  EpochRig g;
  CMR_MEAS m = record(0, 3000);
  m.clockOffset = 1.0e-3f;  // 2000 steps of 500 ns
  cmrCpdClient.update(m);
  const CpdMeas* e = pBaseMeasBuf->doGet();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->timeResidual[0], 1000);
  pBaseMeasBuf->doUnlock(e);
}

// Without the station's position no range can be restored: the satellite is not passed on.
TEST(CmrCpdEpoch, NoStationPositionNoSatellite) {
  EpochRig g;
  cmrCpdClient.invalidateRefPos();
  CMR_MEAS m = record(0, 3000);
  m.count = 1;
  m.sv[0].num = 5;
  m.sv[0].l1Flags = CMR_MEAS::kL1PhaseValid;
  m.sv[0].l1Code = 1000.0;
  cmrCpdClient.update(m);
  const CpdMeas* e = pBaseMeasBuf->doGet();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->n, 0);
  pBaseMeasBuf->doUnlock(e);
}

// ---- the client's gates ---------------------------------------------------------------------------

struct Spy : NullCmrCpdClient {
  int updates = 0, refPos = 0, antDesc = 0;
  unsigned char ant = 0;
  void update(const CMR_MEAS&) override { ++updates; }
  void updateRefPos(const CpdCPos&, int) override { ++refPos; }
  void updateAntDesc(unsigned char a, int) override {
    ++antDesc;
    ant = a;
  }
};

TEST(CmrClientGates, PortAndStation) {
  struct Row {
    const char* name;
    int refPort;
    int inUse;
    int baseId;
    int port;
    int station;
    bool passed;
  } rows[] = {
      {"any port, selected station", -2, 5, 0, 3, 5, true},
      {"any port, other station", -2, 5, 0, 3, 6, false},
      {"other port", 2, 5, 0, 3, 5, false},
      {"same port", 3, 5, 0, 3, 5, true},
      {"any station, no chunk mark", -2, -1, 99, 3, 6, true},
      {"station 32 sent as 0", -2, 32, 0, 3, 0, true},
  };
  for (const Row& r : rows) {
    RcvSet.refPort = static_cast<std::int16_t>(r.refPort);
    RtcmSet.cmrDec.inUse = static_cast<std::int16_t>(r.inUse);
    RcvSet.baseStationId = static_cast<std::uint16_t>(r.baseId);
    Spy spy;
    CmrClient c;
    c.setBaseDecoder(&spy);
    CMR_MEAS m{};
    m.stationId = static_cast<std::uint8_t>(r.station);
    c.updateRtkData(m, r.port);
    EXPECT_EQ(spy.updates, r.passed ? 1 : 0) << r.name;
  }
}

TEST(CmrClientCoords, PositionsOffTheEarthRefused) {
  struct Row {
    const char* name;
    double x, y, z;
    bool kept;
  } rows[] = {
      {"zeros", 0, 0, 0, false},
      {"30 km above", 6408137.0, 0, 0, false},
      {"rtcm example station", 1114104.5999, -4850729.7108, 3975521.4643, true},
  };
  for (const Row& r : rows) {
    RcvSet.refPort = -2;
    RcvSet.bUseBaseEntered = 0;
    RcvSet.bUseBaseEnteredOffs = 0;
    RtcmSet.cmrDec.inUse = 7;
    Spy spy;
    CmrClient c;
    c.setBaseDecoder(&spy);
    rtkBaseDecoders.cmr = &spy;
    baseCoordDefaults(bc);
    CMR_REF_COORD rc{};
    rc.x = r.x;
    rc.y = r.y;
    rc.z = r.z;
    rc.antHeight = 1.5f;
    rc.stationId = 7;
    rc.antNum = 44;
    c.updateRefCoord(rc, 2);
    rtkBaseDecoders.cmr = nullptr;
    EXPECT_EQ((bc.recvFlags & RtkBase::kReceived) != 0, r.kept) << r.name;
    EXPECT_EQ(spy.refPos, r.kept ? 1 : 0) << r.name;
    EXPECT_EQ(spy.antDesc, r.kept ? 1 : 0) << r.name;
    if (!r.kept) continue;
    EXPECT_EQ(spy.ant, 44);
    EXPECT_STREQ(bc.antDescr, "044");
    EXPECT_FLOAT_EQ(bc.offL1[2], 1.5f);
    EXPECT_EQ(bc.srcKind, 2);
    EXPECT_EQ(RcvPosGPS.source(), 2);
    EXPECT_EQ(RcvPosGPS.stationId(), 7);
  }
}

TEST(CmrClientText, DescriptionBecomesAText) {
  CmrClient c;
  CMR_HEADER h{};
  h.stationId = 0;
  CMR_REF_DESC d{};
  std::memcpy(d.shortName, "    BASE", 8);
  std::memcpy(d.cogo, "\0\0\0\0\0\0\0\0\0\0\0COGO1", 16);
  std::strcpy(d.longName, "Roof of building 4");
  TxtMsg.reset();
  c.updateRefDesc(h, d, 3);
  TextMessage::Entry e[2];
  ASSERT_EQ(TxtMsg.getMessages(e), 1);
  EXPECT_STREQ(e[0].text, "S:    BASE,C:___________COGO1,L:Roof of building 4");
  EXPECT_EQ(e[0].id, 32);
  EXPECT_EQ(e[0].port, 3);
  EXPECT_EQ(e[0].type, TextMessage::kCmrRefDescr);
}

TEST(CmrClientReset, AsksEngineZeroWithItsOwnCode) {
  CmrClient c;
  Eng->resetReq[0] = Eng->resetReq[1] = 0;
  Eng->resetCode[0] = Eng->resetCode[1] = 0;
  BPC.bp[7].slot = 12;
  BPC.tab[12] = &BPC.bp[7];
  c.resetRTK();
  EXPECT_EQ(Eng->resetReq[0], 1);
  EXPECT_EQ(Eng->resetCode[0], 13);
  EXPECT_EQ(Eng->resetReq[1], 0);
  EXPECT_EQ(BPC.bp[7].slot, 195);
  EXPECT_EQ(BPC.tab[12], nullptr);
}

}  // namespace
