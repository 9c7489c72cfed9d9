// What the RTCM 2 client hands on, behind its port and station gates: station coordinates
// (3, 32 with 22) and antenna reference points (24) to the receiver's reference positions and the
// RTK base record, antenna descriptors (23) to the text store and the record, observables to the
// base decoder, the decoder status to the status table and the status sentence.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "differential/base/cpd_meas_buf.h"
#include "differential/decoder_status.h"
#include "differential/received_stores.h"
#include "differential/rtcm2/rtcm2_client.h"
#include "differential/rtk_base.h"
#include "platform/debug.h"
#include "positioning/reference/reference_pos.h"
#include "settings/debug_selectors.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "fixtures/null_clients.h"

namespace {

constexpr int kPort = 1;
// A point on the WGS 84 ellipsoid's equator and one 30 km above it.
constexpr double kA = 6378137.0;

struct Spy : NullRtcmCpdClient {
  std::string log;
  CpdCPos pos;
  CpdAntOffs offs;
  void updatePhase(const RTCM_RTK_PHASE&) override { log += "18;"; }
  void updateRange(const RTCM_RTK_RANGE&) override { log += "19;"; }
  void updateDelPhase(const RTCM_RTK_DEL_PHASE&) override { log += "20;"; }
  void updateDelRange(const RTCM_RTK_DEL_RANGE&) override { log += "21;"; }
  void updateRefPos(const CpdCPos& p, int id, bool arp) override {
    pos = p;
    log += "pos " + std::to_string(id) + (arp ? " arp;" : ";");
  }
  void updateAntDef(const MSG_ANT_TYPE& m) override { log += std::string("ant ") + m.desc + ";"; }
  void updateL2L1(const CpdAntOffs& o) override {
    offs = o;
    log += "l2l1 " + std::to_string(o.type) + ";";
  }
  void updateVirtCor(const MSG_TS_COR&) override { log += "vrs;"; }
  void updateFKPCor(const MSG_FKP_COR&) override { log += "fkp;"; }
  void reset() override { log += "reset;"; }
  void invalidateRefPos() override { log += "inv;"; }
  void invalidateOtherInfo() override { log += "other;"; }
};

// The client of port 1; the configured base station is 100, port 0 the base port.
struct Rtcm2Client : ::testing::Test {
  Spy spy;
  RTCM_Client cl;
  void SetUp() override {
    spy = Spy{};
    RcvSet.refPort = -2;
    RcvSet.baseStationId = 100;
    RcvSet.refMsgChoice = 2;
    RcvSet.bUseBaseEntered = RcvSet.bUseBaseEnteredOffs = RcvSet.bUseBaseEnteredPar = 0;
    RcvSet.bRtcmStatus = 0;
    RtcmSet.cmrDec.inUse = -1;
    basePort_.store(0);
    cpdBufsClearBasePort();
    RcvPosGPS = ReferencePos{};
    RcvPosGLN = ReferencePos{};
    baseCoordDefaults(bc);
    RpMsg.invalidate();
    TxtMsg.reset();
    cl = RTCM_Client{};
    cl.setBaseDecoder(&spy);
    rtkBaseDecoders = RtkBaseDecoders{};
    rtkBaseDecoders.rtcm2 = &spy;
  }
  void TearDown() override {
    rtkBaseDecoders = RtkBaseDecoders{};
    cpdBufsClearBasePort();
  }
  static RTCM_MSG_HEADER head(int type, int station) {
    RTCM_MSG_HEADER h{};
    h.type = static_cast<std::uint16_t>(type);
    h.stationId = static_cast<std::uint16_t>(station);
    return h;
  }
  static MSG_REF_PARAMS ref(int type, int station, double x, double y, double z) {
    MSG_REF_PARAMS m{};
    m.header = head(type, station);
    m.glonass = type == 32;
    m.x = x, m.y = y, m.z = z;
    return m;
  }
  static MSG_EXTREF_PARAMS ext(bool height, bool l2) {
    MSG_EXTREF_PARAMS e{};
    e.header = head(22, 100);
    e.words = l2 ? 3 : 2;
    e.hasHeight = height;
    e.hasL2 = l2;
    e.dL1[0] = 0.01f, e.dL1[1] = -0.02f, e.dL1[2] = 0.03f;
    e.dL2[0] = 0.05f, e.dL2[1] = 0.0f, e.dL2[2] = 0.13f;
    e.antHeight = 1.25f;
    return e;
  }
};

// Messages 3 and 32 under the message choice, the user's base, the gates and the plausibility test.
TEST_F(Rtcm2Client, ReferenceCoordinates) {
  struct Row {
    const char* name;
    int choice, type, station, chunkPort, refPort;
    bool ownBase, withExt;
    double x;
    bool gps, gln, base, told;
  };
  const Row rows[] = {
      {"choice 3 only takes 3", 0, 3, 100, -1, -2, false, false, kA, true, false, true, true},
      {"choice 3 only ignores 32", 0, 32, 100, -1, -2, false, false, kA, false, false, false, false},
      {"choice 32 only ignores 3", 1, 3, 100, -1, -2, false, false, kA, false, false, false, false},
      {"choice 32 only takes 32", 1, 32, 100, -1, -2, false, false, 6378136.0, false, true, true, true},
      {"both", 2, 32, 100, -1, -2, false, false, 6378136.0, false, true, true, true},
      {"user's base: reference position only", 2, 3, 100, -1, -2, true, false, kA, true, false, false, false},
      {"another reference port", 2, 3, 100, -1, 2, false, false, kA, false, false, false, false},
      {"this reference port", 2, 3, 100, -1, kPort, false, false, kA, true, false, true, true},
      {"other station off the base port: record, no decoders", 2, 3, 7, kPort, -2, false, false, kA, true, false, true,
       false},
      {"other station on the base port", 2, 3, 7, 0, -2, false, false, kA, true, false, true, true},
      {"at the Earth's centre", 2, 3, 100, -1, -2, false, false, 0.0, false, false, false, false},
      {"30 km up", 2, 3, 100, -1, -2, false, false, kA + 30000.0, false, false, false, false},
      {"19 km up", 2, 3, 100, -1, -2, false, false, kA + 19000.0, true, false, true, true},
      {"32 checked on PZ-90 (20.0005 km below WGS 84)", 2, 32, 100, -1, -2, false, false, 6378136.0 - 19999.5, false, true, true, true},
  };
  for (const Row& r : rows) {
    SetUp();
    RcvSet.refMsgChoice = static_cast<std::uint8_t>(r.choice);
    RcvSet.bUseBaseEntered = r.ownBase;
    RcvSet.refPort = static_cast<std::int16_t>(r.refPort);
    if (r.chunkPort >= 0) cpdBufsSetBasePort(static_cast<InPorts::DecPortIndex>(r.chunkPort));
    cl.updateRefCoord(ref(r.type, r.station, r.x, 0.0, 0.0), kPort);
    cpdBufsClearBasePort();
    EXPECT_EQ(RcvPosGPS.valid(), r.gps) << r.name;
    EXPECT_EQ(RcvPosGLN.valid(), r.gln) << r.name;
    BASECOORD b{};
    EXPECT_EQ(getRtkBase(b), r.base) << r.name;
    RefParMessage::REFANT saved;
    EXPECT_EQ(RpMsg.getPar(saved), r.base) << r.name;
    EXPECT_EQ(spy.log.find("pos ") != std::string::npos, r.told) << r.name;
    if (r.base) {
      EXPECT_EQ(std::tuple(b.xyz[0], int(b.stationId), int(b.srcKind), int(b.srcPort), std::string(b.name)),
                std::tuple(r.x, r.station, 0, kPort, std::string(r.type == 32 ? "P90" : "W84")))
          << r.name;
    }
    const ReferencePos& t = r.type == 32 ? RcvPosGLN : RcvPosGPS;
    if (r.gps || r.gln) { EXPECT_EQ(std::tuple(t.source(), t.stationId()), std::tuple(0, r.station)) << r.name; }
  }
}

// Message 22 before 3: its L1 corrections move the coordinates; its antenna height reaches the
// record (set, not valid) only for the base's station; its L2-L1 vector (the third word itself)
// reaches the decoders and the record, marked as Earth-fixed.
TEST_F(Rtcm2Client, ExtendedParameters) {
  struct Row {
    const char* name;
    bool height, l2;
    int station, refPort, extPort;
    bool ownOffs, ownPar;
    bool offsSet, l2l1;
  };
  const Row rows[] = {
      {"height", true, false, 100, -2, kPort, false, false, true, false},
      {"height and L2", true, true, 100, -2, kPort, false, false, true, true},
      {"no height flag", false, false, 100, -2, kPort, false, false, false, false},
      {"user's offsets", true, true, 100, -2, kPort, true, false, false, true},
      {"user's antenna parameters", true, true, 100, -2, kPort, false, true, true, false},
      {"other station off the base port", true, true, 7, -2, kPort, false, false, false, false},
      {"22 from a port that is not the reference port", true, true, 100, kPort, 2, false, false, false, false},
  };
  for (const Row& r : rows) {
    SetUp();
    RcvSet.bUseBaseEnteredOffs = r.ownOffs;
    RcvSet.bUseBaseEnteredPar = r.ownPar;
    RcvSet.refPort = static_cast<std::int16_t>(r.refPort);
    cpdBufsSetBasePort(static_cast<InPorts::DecPortIndex>(kPort));  // port 0 is the base port
    cl.updateExtRefCoord(ext(r.height, r.l2), r.extPort);
    cl.updateRefCoord(ref(3, r.station, kA, 0.0, 0.0), kPort);
    cpdBufsClearBasePort();
    // Message 22 is taken from the reference port only: its L1 corrections then move the position.
    const bool extTaken = r.extPort == kPort;
    double xyz[3] = {};
    ASSERT_TRUE(RcvPosGPS.getRefPos(ReferencePos::kCartesian, xyz)) << r.name;
    EXPECT_EQ(xyz[1] != 0.0, extTaken) << r.name;
    EXPECT_NEAR(xyz[0], kA + (extTaken ? 0.01 : 0.0), 1e-6) << r.name;
    EXPECT_NEAR(xyz[1], extTaken ? -0.02 : 0.0, 1e-6) << r.name;
    EXPECT_EQ((bc.offFlags & RtkBase::kOffSet) != 0, r.offsSet) << r.name;
    if (r.offsSet) {
      EXPECT_EQ(int(bc.offFlags & ~RtkBase::kOffL2Xyz), RtkBase::kOffSet) << r.name;  // not valid, not of the ARP
      EXPECT_EQ(std::tuple(bc.offL1[0], bc.offL1[2]), std::tuple(0.0f, 1.25f)) << r.name;
    }
    EXPECT_EQ(spy.log.find("l2l1 2;") != std::string::npos, r.l2l1) << r.name;
    // The L2 phase centre's offset from L1's as the message carries it, in Earth-fixed axes.
    if (r.l2l1) {
      EXPECT_EQ(std::tuple(spy.offs.v[0], spy.offs.v[1], spy.offs.v[2]), std::tuple(0.05f, 0.0f, 0.13f)) << r.name;
    }
    EXPECT_EQ((bc.offFlags & RtkBase::kOffL2Xyz) != 0, r.l2l1) << r.name;
    if (extTaken && r.height) {
      const ReferencePos::ANT_PAR& a = RcvPosGPS.ant();
      EXPECT_EQ(std::tuple(a.offsets[2], int(a.flags[0] & ReferencePos::kArp)), std::tuple(1.25f, int(ReferencePos::kArp)))
          << r.name;
    }
  }
}

TEST_F(Rtcm2Client, AntennaReferencePoint) {
  struct Row {
    const char* name;
    double x;
    bool glonass, hasHeight, ownBase, ownOffs;
    bool gps, base, offs;
  };
  const Row rows[] = {
      {"with height", kA, false, true, false, false, true, true, true},
      {"without height", kA, false, false, false, false, true, true, false},
      {"user's offsets", kA, false, true, false, true, true, true, false},
      {"user's base", kA, false, true, true, false, true, false, true},
      {"at the Earth's centre", 0.0, false, true, false, false, false, false, false},
      {"21 km below WGS 84", kA - 21000.0, false, true, false, false, false, false, false},
      {"20.0005 km below WGS 84, within on PZ-90", 6378136.0 - 19999.5, true, true, false, false, true, true, true},
  };
  for (const Row& r : rows) {
    SetUp();
    RcvSet.bUseBaseEntered = r.ownBase;
    RcvSet.bUseBaseEnteredOffs = r.ownOffs;
    MSG_ARP_PAR m{};
    m.header = head(24, 100);
    m.glonass = r.glonass;
    m.hasHeight = r.hasHeight;
    m.x = r.x;
    m.antHeight = 1.5;
    cl.updateArpPar(m, kPort);
    EXPECT_EQ(RcvPosGPS.valid(), r.gps) << r.name;
    if (r.gps) { EXPECT_EQ(RcvPosGPS.source(), 1) << r.name; }
    BASECOORD b{};
    EXPECT_EQ(getRtkBase(b), r.base) << r.name;
    if (r.base) { EXPECT_EQ(std::tuple(int(b.srcKind), b.xyz[0]), std::tuple(1, r.x)) << r.name; }
    EXPECT_EQ(b.offFlags, r.offs ? RtkBase::kOffSet | RtkBase::kOffValid | RtkBase::kOffArp : 0) << r.name;
    if (r.offs) { EXPECT_EQ(b.offL1[2], 1.5f) << r.name; }
    EXPECT_EQ(spy.log, r.base ? "pos 100 arp;" : "") << r.name;
  }
}

TEST_F(Rtcm2Client, AntennaDescriptor) {
  struct Row {
    const char* name;
    int station;
    const char* serial;
    const char* text;
    bool base;
  };
  const Row rows[] = {
      {"base station with serial", 100, "12345", "ANT:ASH700936D_M,SET:3,SER:12345", true},
      {"base station, no serial", 100, "", "ANT:ASH700936D_M,SET:3,SER:", true},
      {"other station: text only", 7, "9", "ANT:ASH700936D_M,SET:3,SER:9", false},
  };
  for (const Row& r : rows) {
    SetUp();
    cpdBufsSetBasePort(static_cast<InPorts::DecPortIndex>(kPort));
    MSG_ANT_TYPE m{};
    m.header = head(23, r.station);
    m.setupId = 3;
    std::snprintf(m.desc, sizeof m.desc, "ASH700936D_M");
    std::snprintf(m.serial, sizeof m.serial, "%s", r.serial);
    m.serialLen = static_cast<std::uint8_t>(std::string(r.serial).size());
    cl.updateAntDef(m, kPort);
    cpdBufsClearBasePort();
    TextMessage::Entry e[2];
    ASSERT_EQ(TxtMsg.getMessages(e), 1) << r.name;
    EXPECT_EQ(std::tuple(std::string(e[0].text), int(e[0].type), int(e[0].id)),
              std::tuple(std::string(r.text), int(TextMessage::kRtcmAntDef), r.station))
        << r.name;
    EXPECT_EQ(spy.log, r.base ? "ant ASH700936D_M;" : "") << r.name;
    EXPECT_EQ(std::string(bc.antDescr), r.base ? "ASH700936D_M" : "") << r.name;
    EXPECT_EQ(std::string(bc.antSerial), r.base ? r.serial : "") << r.name;
  }
}

// Observables, network messages: both gates; the rest of the calls.
TEST_F(Rtcm2Client, ObservablesBehindTheGates) {
  struct Row {
    const char* name;
    int refPort, selected, station, chunkPort;
    bool taken;
  };
  const Row rows[] = {
      {"configured station", -2, -1, 100, kPort, true},
      {"another reference port", 2, -1, 100, kPort, false},
      {"other station off the base port", -2, -1, 7, kPort, false},
      {"other station on the base port", -2, -1, 7, 0, true},
      {"other station outside a chunk", -2, -1, 7, -1, true},
      {"selected station", -2, 7, 7, kPort, true},
      {"selection excludes the configured one", -2, 7, 100, 0, false},
  };
  for (const Row& r : rows) {
    SetUp();
    RcvSet.refPort = static_cast<std::int16_t>(r.refPort);
    RtcmSet.cmrDec.inUse = static_cast<std::int16_t>(r.selected);
    if (r.chunkPort >= 0) cpdBufsSetBasePort(static_cast<InPorts::DecPortIndex>(r.chunkPort));
    RTCM_RTK_PHASE p{};
    p.head.header = head(18, r.station);
    RTCM_RTK_RANGE g{};
    g.head.header = head(19, r.station);
    RTCM_RTK_DEL_PHASE dp{};
    dp.head.header = head(20, r.station);
    RTCM_RTK_DEL_RANGE dr{};
    dr.head.header = head(21, r.station);
    MSG_TS_COR v{};
    v.header = head(59, r.station);
    MSG_FKP_COR f{};
    f.header = head(59, r.station);
    cl.updatePhase(p, kPort);
    cl.updateRange(g, kPort);
    cl.updateDelPhase(dp, kPort);
    cl.updateDelRange(dr, kPort);
    cl.updateVirtCor(v, kPort);
    cl.updateFKPCor(f, kPort);
    cl.updateGnssOffset(MSG_GNSS_OFFSET{}, kPort);
    cpdBufsClearBasePort();
    EXPECT_EQ(spy.log, r.taken ? "18;19;20;21;vrs;fkp;" : "") << r.name;
  }
  SetUp();
  cl.reset();
  EXPECT_EQ(spy.log, "reset;");
  RTCM_Client none;
  none.updatePhase(RTCM_RTK_PHASE{}, kPort);  // no base decoder: dropped
}

TEST_F(Rtcm2Client, TextsAndStatus) {
  MSG_SPEC_MESSAGE t{};
  t.header = head(16, 100);
  std::snprintf(t.text, sizeof t.text, "HELLO BASE");
  t.length = 10;
  cl.updateTextMessage(t, 3);
  TextMessage::Entry e[2];
  ASSERT_EQ(TxtMsg.getMessages(e), 1);
  EXPECT_EQ(std::tuple(std::string(e[0].text), int(e[0].type), e[0].port), std::tuple(std::string("HELLO BASE"), 0, 3));

  struct Row {
    bool on;
    const char* line;
  } rows[] = {{true, "$PZRT,MSGM,18,09,0740.4,0005,6,3\r\n"}, {false, ""}};
  for (const Row& r : rows) {
    RcvSet.bRtcmStatus = r.on;
    RTCM_DEC_STATUS st{};
    st.header = head(18, 5);
    st.header.length = 9;
    st.header.zCount = 1234;
    st.header.health = 6;
    st.header.seqNum = 3;
    st.messages = 17;
    testing::internal::CaptureStdout();
    cl.updateStatus(st, kPort);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), r.line);
  }
  RcvSet.bRtcmStatus = 0;
}

TEST_F(Rtcm2Client, DiagnosticPrints) {
  struct Row {
    int dbi;
    int what;  // 0 refused 32, 1 antenna, 2 network
    const char* line;
  } rows[] = {
      {1, 0, " !1 updateRefCoord p 1 b\n"},
      {0, 0, ""},
      {3, 1, " base antenna info ANT:X,SET:0,SER:\n"},
      {59, 2, " got RTCM 59 1\n"},
      {3, 2, ""},
  };
  // The diagnostic lines go to the debug port.
  for (const Row& r : rows) {
    SetUp();
    RcvSet.refMsgChoice = 0;
    rtcm_dbi = r.dbi;
    ::testing::internal::CaptureStderr();
    if (r.what == 0) cl.updateRefCoord(ref(32, 100, kA, 0, 0), kPort);
    if (r.what == 1) {
      MSG_ANT_TYPE m{};
      m.header = head(23, 100);
      m.desc[0] = 'X';
      cl.updateAntDef(m, kPort);
    }
    if (r.what == 2) cl.updateVirtCor(MSG_TS_COR{}, kPort);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), r.line) << r.dbi;
  }
  rtcm_dbi = 0;
}

}  // namespace
