// The coders' data source: which reference-station record it hands out, with which flags, and
// the receiver time of either scale.
#include "differential/coder_client.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "differential/cmr/cmr_coder.h"
#include "positioning/base/base_processing.h"
#include "positioning/engine/position_averaging.h"
#include "positioning/rcv_output.h"
#include "settings/rcv_settings.h"

namespace {

EllMath::ELL_EXTPAR wgs84() {
  EllMath::ELL_EXTPAR e{};
  DtmList::ELL_PARAMS p{"W84", 6378137.0, 298.257223563};
  EllMath::setEllPar(p, &e);
  return e;
}

void place(ReferencePos& r, double x, double y, double z) {
  r = ReferencePos{};
  r.setEllipsoid(wgs84());
  const double xyz[3] = {x, y, z};
  bool unchanged = false;
  ASSERT_TRUE(r.setRefPos(ReferencePos::kCartesian, "", xyz, unchanged, InPorts::DEC_SER_A));
}

RCV_OUTPUT g_out;

// Each row: which reference objects exist, what is asked, what comes back.
struct RefRow {
  const char* name;
  bool pos, arp, pe9, framePair, own;  // entered position, its ARP, the PE-90 pair, the frame pair, own fix
  bool glonass, staticBase;
  bool wantRef, wantArp;
  double wantX;  // X of the record handed out; 0: none expected
};
const RefRow kRows[] = {
    {"nothing known", false, false, false, false, false, false, true, false, false, 0},
    {"entered position only", true, false, false, false, false, false, true, true, false, 1000001},
    {"position and ARP: the ARP", true, true, false, false, false, false, true, true, true, 1000002},
    {"GLONASS datum: PE-90 pair", true, true, true, false, false, true, true, true, true, 1000004},
    {"frame pair chosen", true, true, false, true, false, false, true, true, true, 1000006},
    {"own position when nothing entered", false, false, false, false, true, false, true, true, false, 1000007},
    {"moving base: own position", true, true, false, false, true, false, false, true, false, 1000007},
    {"moving base without a fix", true, true, false, false, false, false, false, false, false, 0},
};

TEST(NavClientCod, ReferenceRecordAndItsFlags) {
  std::strcpy(RcvSet.antName[0], "TEST-ANT-DESCRIPTOR");
  std::strcpy(RcvSet.antSerial, "SN 0042-A");
  RcvSet.antSetupId = 7;
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(&g_out); };
  for (const RefRow& r : kRows) {
    SCOPED_TRACE(r.name);
    const double y = -4850729.7108, z = 3975521.4643;
    RefPosWgs = RefArpWgs = RefPosPe9 = RefArpPe9 = RefPosGPS = RefArpGPS = ReferencePos{};
    if (r.pos) place(RefPosWgs, 1000001, y, z);
    if (r.arp) place(RefArpWgs, 1000002, y, z);
    if (r.pe9) place(RefPosPe9, 1000003, y, z), place(RefArpPe9, 1000004, y, z);
    if (r.framePair) place(RefPosGPS, 1000005, y, z), place(RefArpGPS, 1000006, y, z);
    RtcmSetCmn[3] = r.framePair ? 1 : 0;
    g_out = RCV_OUTPUT{};
    g_out.sol.bOutPos = g_out.sol.bPosValid = r.own ? 1 : 0;
    g_out.sol.PosWgsXYZ.x = 1000007, g_out.sol.PosWgsXYZ.y = y, g_out.sol.PosWgsXYZ.z = z;
    NAVCOD_REF_COORD* rec = nullptr;
    bool ref = true, arp = true;
    EXPECT_TRUE(NavClc.getRefCoord(r.glonass, &rec, r.staticBase, ref, arp));
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(std::tuple(ref, arp), std::tuple(r.wantRef, r.wantArp));
    if (r.wantX != 0) { EXPECT_EQ(rec->dX, r.wantX); }
    // Every record handed out carries the antenna settings.
    EXPECT_EQ(std::tuple(std::string(rec->antDescr), std::string(rec->antSerial), rec->antSetupId),
              std::tuple(std::string("TEST-ANT-DESCRIPTOR"), std::string("SN 0042-A"), 7));
  }
  RtcmSetCmn[3] = 0;
  RcvSet.antSerial[0] = 0;
  RcvSet.antSetupId = 0;
}

// Offsets of the entered position: the record lies the offsets below it, at the ellipsoid's
// normal for the up offset, and keeps them with the antenna height.
TEST(NavClientCod, AntennaOffsetsAreApplied) {
  RefArpWgs = ReferencePos{};
  place(RefPosWgs, 1114104.5999, -4850729.7108, 3975521.4643);
  const float up[3] = {0, 0, 2.0f};
  RefPosWgs.setAnt(up, ReferencePos::kAntL1, false, false);
  NAVCOD_REF_COORD* rec = nullptr;
  bool ref = false, arp = false;
  NavClc.getRefCoord(false, &rec, true, ref, arp);
  ASSERT_TRUE(ref);
  const double r0 = std::hypot(1114104.5999, -4850729.7108, 3975521.4643);
  const double moved = std::hypot(rec->dX - 1114104.5999, rec->dY + 4850729.7108, rec->dZ - 3975521.4643);
  EXPECT_NEAR(moved, 2.0, 1e-6);
  EXPECT_NEAR(std::hypot(rec->dX, rec->dY, rec->dZ), r0 - 2.0, 0.01);
  EXPECT_EQ(std::tuple(rec->fUp, rec->fAntHeight, rec->bOffsetsApplied), std::tuple(2.0f, 2.0f, 1));
}

// The record handed out carries the offsets and whether they were applied, whichever of the two
// it is: the entered position's or its antenna reference point's.
TEST(NavClientCod, TheReferencePointRecordKeepsNorthEastUpAndTheAppliedFlag) {
  const struct {
    const char* name;
    bool arp;
    float neu[3];
    double wantX;
    std::uint8_t wantApplied;
  } rows[] = {
      {"position: offsets applied", false, {0.30f, -0.20f, 1.50f}, 0, 1},
      {"reference point: the same offsets", true, {0.30f, -0.20f, 1.50f}, 1000002, 1},
      {"reference point, only north", true, {-0.45f, 0.0f, 0.0f}, 1000002, 1},
      {"reference point without offsets", true, {0.0f, 0.0f, 0.0f}, 1000002, 0},
  };
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(nullptr); };
  RtcmSetCmn[3] = 0;
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    RefPosWgs = RefArpWgs = ReferencePos{};
    place(RefPosWgs, 1000001, -4850729.7108, 3975521.4643);
    RefPosWgs.setAnt(r.neu, ReferencePos::kAntL1, false, false);
    if (r.arp) place(RefArpWgs, 1000002, -4850729.7108, 3975521.4643);
    NAVCOD_REF_COORD* rec = nullptr;
    bool ref = false, arp = false;
    NavClc.getRefCoord(false, &rec, true, ref, arp);
    ASSERT_TRUE(ref);
    ASSERT_EQ(arp, r.arp);
    if (r.wantX != 0) { EXPECT_EQ(rec->dX, r.wantX); }
    EXPECT_EQ(std::tuple(rec->fNorth, rec->fEast, rec->fUp, rec->fAntHeight, rec->bOffsetsApplied),
              std::tuple(r.neu[0], r.neu[1], r.neu[2], r.neu[2], r.wantApplied));
  }
}

// The CMR station message (type 1) over the real data source sends the reference point's
// height, east and north in mm beside each axis.
TEST(NavClientCod, CmrStationMessageSendsTheReferencePointsOffsets) {
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(nullptr); };
  RtcmSetCmn[3] = 0;
  RefPosWgs = RefArpWgs = ReferencePos{};
  place(RefPosWgs, 1114104.5999, -4850729.7108, 3975521.4643);
  const float neu[3] = {0.125f, -0.250f, 1.500f};
  RefPosWgs.setAnt(neu, ReferencePos::kAntL1, false, false);
  place(RefArpWgs, 1114104.5999, -4850729.7108, 3975521.4643);
  CMR_Coder c(&NavClc);
  CMR_COD_SETTINGS set{};
  set.stationId = 5;
  c.setSettings(set);
  const bool refOnly[kCmrMsgCount] = {false, false, true, false, false};
  c.initCoding(refOnly);
  c.makeCoding();
  std::uint8_t out[CMR_Coder::kMaxFrame] = {};
  const int n = c.buildMessage(kCmrMsgRefCoord, out, sizeof out);
  ASSERT_EQ(n, 6 + 25);
  // After the 6-byte header: per axis 34 bits of coordinate then 14 bits of offset.
  const std::uint8_t* d = out + 4 + 6;
  auto bits = [&](int from, int count) {
    long v = 0;
    for (int b = from; b < from + count; ++b) v = v << 1 | ((d[b / 8] >> (7 - b % 8)) & 1);
    return v >= (1L << (count - 1)) ? v - (1L << count) : v;
  };
  const long want[3] = {1500, -250, 125};  // height with X, east with Y, north with Z
  for (int k = 0; k < 3; ++k) EXPECT_EQ(bits(48 * k + 34, 14), want[k]) << "axis " << k;
}

TEST(NavClientCod, SystemTimeOnlyWhenValid) {
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(&g_out); };
  g_out = RCV_OUTPUT{};
  g_out.epoch.gpsMs = 345600000, g_out.epoch.gloMs = 10800000;
  g_out.epoch.gpsValid = NavTask::NAV_EPOCH::kTimeValid;
  long t = -1;
  EXPECT_TRUE(NavClc.getSysTime(false, t));
  EXPECT_EQ(t, 345600000);
  t = -1;
  EXPECT_FALSE(NavClc.getSysTime(true, t));
  EXPECT_EQ(t, -1) << "unchanged without a valid GLONASS time";
  g_out.epoch.gloValid = NavTask::NAV_EPOCH::kTimeValid;
  EXPECT_TRUE(NavClc.getSysTime(true, t));
  EXPECT_EQ(t, 10800000);
}

TEST(NavClientCod, DataRecordsReportTheirReadyBytes) {
  const NAVCOD_RTK_DATA* rtk = nullptr;
  const NAVCOD_IONO_DATA* ion = nullptr;
  const NAVCOD_DIF_DATA* dif = nullptr;
  RtkDat.bReady = 1, IonDat.bReady = 0, DifDat.bReady = 1;
  EXPECT_TRUE(NavClc.getRtkData(&rtk));
  EXPECT_FALSE(NavClc.getIonoCorData(&ion));
  EXPECT_TRUE(NavClc.getDifCorData(&dif));
  EXPECT_EQ(std::tuple(rtk, ion, dif), std::tuple(&RtkDat, &IonDat, &DifDat));
}

}  // namespace
