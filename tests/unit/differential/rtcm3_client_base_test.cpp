// What the RTCM 3 client hands on: reference points to the receiver's reference record and the RTK
// base, antenna descriptors to the base record, and the network records to the base decoder,
// each behind the port and station gates.
#include "differential/rtcm3_client.h"
#include "differential/base/cpd_meas_buf.h"
#include "differential/decoder_status.h"
#include "differential/received_stores.h"
#include "differential/rtcm3_observations.h"
#include "differential/rtk_base.h"
#include "positioning/reference/reference_pos.h"
#include "rtcm3_test_util.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "fixtures/null_clients.h"

namespace {

using namespace rtcm3test;

Field sgn(std::int64_t v, int n) { return Field(static_cast<std::uint64_t>(v) & ((1ull << n) - 1), n); }

struct Base : NullRtcm3CpdClient {
  std::string log;
  void update(const RTC3_OBS&) override { log += "obs;"; }
  void updateFlags(std::uint8_t f) override { log += "flags " + std::to_string(f) + ";"; }
  void updateAntDesc(const char* d, int st) override { log += std::string(d) + " " + std::to_string(st) + ";"; }
  void updateNrtkAux(const RTC3_NRTK_STATION& s) override { log += "aux " + std::to_string(s.auxId) + ";"; }
  void updateNrtkIono(const RTC3_NRTK_IONO& i) override { log += "iono " + std::to_string(i.hdr.satCount) + ";"; }
  void updateNrtkGeom(const RTC3_NRTK_GEO& g) override { log += "geo " + std::to_string(g.hdr.satCount) + ";"; }
  void updateNrtkRes(const RTC3_NRTK_RES& r) override { log += "res " + std::to_string(r.satCount) + ";"; }
  void updateNrtkPhysRefPos(const RTC3_NRTK_PHYS_REFPOS& p) override { log += "phys " + std::to_string(p.physId) + ";"; }
};

// One client on decoder port 1 with the gates open for station 2003 (the configured base).
struct ClientBase : ::testing::Test {
  Base base;
  Rtcm3CpdClient* table[1] = {&base};
  Rtcm3Client cl;
  RTC3_Decoder* dec = &Rtcm3Dec[1];
  NAV_Decoder drv{&Rtcm3Dec[1]};
  void SetUp() override {
    cl.setBaseDecoders(table);
    dec->initDecoder(&cl);
    RcvSet.refPort = -2;
    RcvSet.baseStationId = 2003;
    RcvSet.bUseBaseEntered = 0;
    RcvSet.bUseBaseEnteredOffs = 0;
    RtcmSet.cmrDec.inUse = -1;
    RcvPosGPS = ReferencePos{};
    base.log.clear();
    TxtMsg.reset();
    baseCoordDefaults(bc);
    RpMsg.invalidate();
  }
  void feedFrame(const Bytes& f) { drv.putData(f.data(), static_cast<int>(f.size()), static_cast<InPorts::DecPortIndex>(1)); }
  void feed(const Bytes& p) { feedFrame(frameOf(p)); }
  // The RTK base record took a received position; it was saved (and published).
  static int based() { return (bc.recvFlags & RtkBase::kReceived) != 0 ? 1 : 0; }
  static int saved() {
    RefParMessage::REFANT r;
    return RpMsg.getPar(r) ? 1 : 0;
  }
  static bool offsetsSet() { return (bc.offFlags & RtkBase::kOffSet) != 0; }
};

// The standard's example of 1005: station 2003 at 1114104.5999, -4850729.7108, 3975521.4643 m.
const Bytes kExample1005 = {0xD3, 0x00, 0x13, 0x3E, 0xD7, 0xD3, 0x02, 0x02, 0x98, 0x0E, 0xDE, 0xEF, 0x34,
                            0xB4, 0xBD, 0x62, 0xAC, 0x09, 0x41, 0x98, 0x6F, 0x33, 0x36, 0x0B, 0x98};
constexpr double kEx[3] = {1114104.5999, -4850729.7108, 3975521.4643};

TEST_F(ClientBase, StandardReferencePointBecomesTheRtkBase) {
  for (bool ownBase : {false, true}) {
    SetUp();
    RcvSet.bUseBaseEntered = ownBase;
    feedFrame(kExample1005);
    double xyz[3] = {};
    ASSERT_TRUE(RcvPosGPS.getRefPos(ReferencePos::kCartesian, xyz)) << ownBase;
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(xyz[i], kEx[i], 1e-6);
    ReferencePos::REFPOS_PAR par{};
    RcvPosGPS.getRefPos(&par);
    EXPECT_EQ(std::tuple(std::string(par.name), RcvPosGPS.source(), RcvPosGPS.stationId(), int(RcvPosGPS.port())),
              std::tuple("W84", 3, 2003, 1));
    EXPECT_EQ(base.log, "flags 0;");
    // The receiver's own base position keeps the RTK base as the user set it.
    EXPECT_EQ(std::tuple(based(), saved()), ownBase ? std::tuple(0, 0) : std::tuple(1, 1));
    if (!ownBase) {
      BASECOORD b{};
      EXPECT_TRUE(getRtkBase(b));
      EXPECT_EQ(std::tuple(int(b.srcPort), int(b.stationId), int(b.srcKind), int(b.recvFlags)), std::tuple(1, 2003, 3, 1));
      EXPECT_EQ(std::tuple(b.xyz[0], b.xyz[1], b.xyz[2]), std::tuple(xyz[0], xyz[1], xyz[2]));
    }
  }
}

Bytes refPoint(std::int64_t x, std::int64_t y, std::int64_t z, int heightTenthMm) {
  std::vector<Field> f = {{heightTenthMm < 0 ? 1005u : 1006u, 12}, {2003, 12}, {0, 6}, {1, 1}, {0, 1}, {0, 1}, {1, 1},
                          sgn(x, 38), {0, 2}, sgn(y, 38), {0, 2}, sgn(z, 38)};
  if (heightTenthMm >= 0) f.emplace_back(static_cast<std::uint64_t>(heightTenthMm), 16);
  return payload(f);
}

// Received points are plausible within 20 km of the ellipsoid's surface; others change nothing.
TEST_F(ClientBase, ReferencePointPlausibilityAndAntennaHeight) {
  constexpr std::int64_t a = 63781370000;  // WGS-84 semi-major axis, 0.1 mm
  struct Row { const char* what; std::int64_t x, y, z; int height; bool ownOffsets; bool taken; };
  const Row rows[] = {
      {"position not yet set", 0, 0, 0, -1, false, false},
      {"19.9 km up", a + 199000000, 0, 0, -1, false, true},
      {"20.1 km up", a + 201000000, 0, 0, -1, false, false},
      {"19.9 km down", a - 199000000, 0, 0, -1, false, true},
      {"20.1 km down", a - 201000000, 0, 0, -1, false, false},
      {"antenna 1.5 m", 11141045999, -48507297108, 39755214643, 15000, false, true},
      {"antenna 1.5 m, own offsets", 11141045999, -48507297108, 39755214643, 15000, true, true},
      {"antenna of zero at 0, 0, 0", 0, 0, 0, 0, false, false},
  };
  for (const Row& r : rows) {
    SetUp();
    RcvSet.bUseBaseEnteredOffs = r.ownOffsets;
    feed(refPoint(r.x, r.y, r.z, r.height));
    EXPECT_EQ(RcvPosGPS.valid(), r.taken) << r.what;
    EXPECT_EQ(base.log, r.taken ? "flags 16;" : "") << r.what;  // reference-station indicator (bit 4 of 6)
    EXPECT_EQ(std::tuple(based(), saved()), r.taken ? std::tuple(1, 1) : std::tuple(0, 0)) << r.what;
    const bool ant = r.taken && r.height >= 0;
    const ReferencePos::ANT_PAR& ap = RcvPosGPS.ant();
    EXPECT_EQ(std::tuple(ap.offsets[0], ap.offsets[1], ap.offsets[2]), ant ? std::tuple(0.0f, 0.0f, 1.5f) : std::tuple(0.0f, 0.0f, 0.0f)) << r.what;
    EXPECT_EQ(int(ap.flags[0]), ant ? ReferencePos::kL1Set | ReferencePos::kL1Valid | ReferencePos::kArp : 0) << r.what;
    EXPECT_EQ(offsetsSet(), ant && !r.ownOffsets) << r.what;
    if (ant && !r.ownOffsets) {
      const float* o = bc.offL1;
      EXPECT_EQ(std::tuple(o[0], o[1], o[2]), std::tuple(0.0f, 0.0f, 1.5f));
      EXPECT_EQ(int(bc.offFlags), RtkBase::kOffSet | RtkBase::kOffValid | RtkBase::kOffArp);
    }
  }
}

TEST_F(ClientBase, AntennaDescriptorFiledAndHandedToTheBaseRecord) {
  struct Row { std::vector<Field> fields; const char* text; const char* serial; };
  const Row rows[] = {
      {{{1008, 12}, {2003, 12}, "TRM", {7, 8}, ""}, "ANT:TRM,SET:7,SER:", ""},
      {{{1008, 12}, {2003, 12}, "TRM", {7, 8}, "12345"}, "ANT:TRM,SET:7,SER:12345", "12345"},
      {{{1007, 12}, {2003, 12}, "LEIAR25", {255, 8}}, "ANT:LEIAR25,SET:255,SER:", ""},
  };
  for (const Row& r : rows) {
    SetUp();
    feed(payload(r.fields));
    TextMessage::Entry e[2];
    ASSERT_EQ(TxtMsg.getMessages(e), 1) << r.text;
    EXPECT_EQ(std::tuple(std::string(e[0].text), e[0].type), std::tuple(std::string(r.text), TextMessage::kRtcm3AntDescr));
    EXPECT_EQ(std::tuple((bc.recvFlags & RtkBase::kAntIncluded) != 0, std::string(bc.antSerial)), std::tuple(true, std::string(r.serial)));
  }
}

// Network records reach the base decoder's network operations only through the gates; FKP stops here.
TEST(Rtcm3ClientNrtk, GatesAndOperations) {
  struct Case { const char* what; bool table; int refPort, selected, station, chunkPort; bool taken; };
  const Case cases[] = {
      {"configured station", true, -2, -1, 100, 1, true},
      {"no base decoder", false, -2, -1, 100, 1, false},
      {"another reference port", true, 2, -1, 100, 1, false},
      {"this reference port", true, 1, -1, 100, 1, true},
      {"other station, off the base port", true, -2, -1, 101, 1, false},
      {"other station, on the base port", true, -2, -1, 101, 0, true},
      {"selected station", true, -2, 101, 101, 1, true},
      {"selection excludes the configured one", true, -2, 101, 100, 1, false},
  };
  basePort_.store(0);
  for (const Case& c : cases) {
    cpdBufsSetBasePort(static_cast<InPorts::DecPortIndex>(c.chunkPort));
    RcvSet.refPort = static_cast<std::int16_t>(c.refPort);
    RcvSet.baseStationId = 100;
    RtcmSet.cmrDec.inUse = static_cast<std::int16_t>(c.selected);
    Base base;
    Rtcm3CpdClient* table[1] = {&base};
    Rtcm3Client cl;
    if (c.table) cl.setBaseDecoders(table);
    RTC3_NRTK_STATION s{};
    s.masterId = c.station, s.auxId = 7;
    RTC3_NRTK_IONO io{};
    io.hdr.masterId = c.station, io.hdr.satCount = 3;
    RTC3_NRTK_GEO ge{};
    ge.hdr.masterId = c.station, ge.hdr.satCount = 4;
    RTC3_NRTK_RES rs{};
    rs.stationId = static_cast<std::uint16_t>(c.station), rs.satCount = 20;
    RTC3_NRTK_PHYS_REFPOS ph{};
    ph.nonPhysId = static_cast<std::uint16_t>(c.station), ph.physId = 9;
    RTC3_NRTK_FKP fk{};
    fk.stationId = static_cast<std::uint16_t>(c.station);
    cl.updateNRTK_Station(s, 1);
    cl.updateNRTK_Iono(io, 1);
    cl.updateNRTK_Geo(ge, 1);
    cl.updateNRTK_Res(rs, 1);
    cl.updateNRTK_PhysRefPos(ph, 1);
    cl.updateNRTK_FKP(fk, 1);
    EXPECT_EQ(base.log, c.taken ? "aux 7;iono 3;geo 4;res 20;phys 9;" : "") << c.what;
  }
  cpdBufsClearBasePort();
}

// With the reference input on another port the observations go nowhere, yet the port's status is filed.
TEST(Rtcm3ClientNrtk, OtherReferencePortDropsDataKeepsStatus) {
  Base base;
  Rtcm3CpdClient* table[1] = {&base};
  Rtcm3Client cl;
  cl.setBaseDecoders(table);
  RcvSet.refPort = 2;
  RcvSet.baseStationId = 100;
  RtcmSet.cmrDec.inUse = -1;
  static RTC3_OBS obs{};
  obs.stationId = 100;
  RTC3_DEC_STATUS st{};
  st.goodFrames = 41, st.stationId = 100, st.msgNum = 1004;
  st.epochPeriod.init();
  cl.updateRtkData(obs, 1);
  cl.updateStatus(st, 1);
  EXPECT_EQ(base.log, "");
  DecoderStatus::PortRecord rec{};
  ASSERT_TRUE(DecSt.get(1, rec));
  EXPECT_EQ(std::tuple(rec.streams[0].good, rec.streams[0].station), std::tuple(41, 100));
  RcvSet.refPort = -2;
}

}  // namespace
