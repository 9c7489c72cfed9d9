// The RTCM 2 output messages on the epoch road: the output manager marks what is due, the coding
// driver arms the coder, each stream's messages write the coder's bytes; the port's bytes are
// read back by the test's own reader.
#include "differential/rtcm2/rtcm2_coder_msgs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "differential/coding_driver.h"
#include "differential/rtcm2/rtcm2_coder.h"
#include "positioning/rcv_output.h"
#include "rtcm2_coder_test_util.h"
#include "settings/nv_settings.h"
#include "unit/output/output_fakes.h"

namespace {

using namespace coder2test;

RCV_OUTPUT g_rcv;

void epoch(long gpsMs) {
  g_rcv.epoch.gpsMs = gpsMs;
  g_rcv.epoch.gloMs = (gpsMs + 10800000 - 18000) % 86400000;
  g_rcv.epoch.gpsValid = g_rcv.epoch.gloValid = NavTask::NAV_EPOCH::kTimeValid;
  const long t = gpsMs % 86400000;
  omPrepare(t);
  diffInitCoding();
  baseMakeCoding();
  omOutput(t);
}

std::vector<Msg> readPort(const FakePort& p, Reader& r) {
  return r.read(reinterpret_cast<const std::uint8_t*>(p.bytes.data()), static_cast<int>(p.bytes.size()));
}

TEST(Rtcm2OutputMessages, NamesByTypeAndPlanByKind) {
  rtcmmRegisterMsgs();
  rtcmmRegisterMsgs();  // again: nothing added twice
  struct Row {
    const char* name;
    int kind;
  };
  const Row rows[] = {{"1", kRtcmMsg1},   {"3", kRtcmMsg3},   {"6", kRtcmMsg6},         {"9", kRtcmMsg9},
                      {"15", kRtcmMsg15}, {"16", kRtcmMsg16}, {"18", kRtcmMsg18},       {"19", kRtcmMsg19},
                      {"20", kRtcmMsg20}, {"21", kRtcmMsg21}, {"22", kRtcmMsg22},       {"23", kRtcmMsg23},
                      {"24", kRtcmMsg24}, {"31", kRtcmMsg31}, {"32", kRtcmMsg32},       {"34", kRtcmMsg34},
                      {"null34", kRtcmMsgNull34}, {"36", kRtcmMsg36}, {"41", kRtcmMsg41}, {"42", kRtcmMsg42},
                      {"44", kRtcmMsg44}};
  static FakePort port;
  testports::attachOut(7, &port);
  int count = 0;
  for (int i = msgPool.first(kGroupRtcm); i >= 0; i = msgPool.next(i)) ++count;
  EXPECT_EQ(count, 21);
  for (const Row& r : rows) {
    const int index = msgPool.find(kGroupRtcm, r.name);
    ASSERT_GE(index, 0) << r.name;
    EXPECT_EQ(msgPool.msg(index)->planIndex(), r.kind) << r.name;
    ASSERT_EQ(omEnableMsgs(7, (std::string("rtcm/") + r.name + ":1").c_str()), OmListResult::kOk) << r.name;
    omPrepare(1000);
    bool plan[kRtcmMsgCount];
    EXPECT_TRUE(rtcmmMakeOut(plan, kRtcmMsgCount)) << r.name;
    for (int k = 0; k < kRtcmMsgCount; ++k) EXPECT_EQ(plan[k], k == r.kind) << r.name << " flag " << k;
    omOutput(1000);
    omDisableMsgs(7, nullptr);
  }
  testports::attachOut(7, nullptr);
}

TEST(Rtcm2OutputMessages, NullFrameEverySecondWithTheReceiversZCountAndOneChainPerStream) {
  rtcmmRegisterMsgs();
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(&g_rcv); };
  RTCM_SETTINGS s = RtcmSet;
  s.rtcmCod.stationId = 77;
  s.rtcmCod.len16 = 3;
  std::strcpy(s.rtcmCod.text16, "abc");
  diffRtcmSettingsApply(s);
  static FakePort b, c;
  testports::attachOut(1, &b);
  testports::attachOut(2, &c);
  ASSERT_EQ(omEnableMsgs(1, "rtcm/6:1"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(2, "rtcm/{6:1,16:2}"), OmListResult::kOk);
  const long start = 5 * 86400000L + 3600000L * 7 + 1000;
  for (int sec = 0; sec < 10; ++sec) epoch(start + 1000L * sec);
  Reader rb, rc;
  const auto mb = readPort(b, rb);
  const auto mc = readPort(c, rc);
  ASSERT_EQ(mb.size(), 10u);
  for (std::size_t i = 0; i < mb.size(); ++i) {
    EXPECT_EQ(mb[i].type, 6);
    EXPECT_EQ(mb[i].station, 77);
    EXPECT_EQ(mb[i].seq, static_cast<int>(i % 8)) << "the stream's own sequence";
    EXPECT_EQ(mb[i].z, static_cast<int>(((start + 1000L * static_cast<long>(i)) % 3600000) / 600));
  }
  EXPECT_EQ(mc.size(), 15u) << "ten null frames and five texts";
  EXPECT_EQ(rb.bad + rc.bad, 0) << "parity chained across the messages of each stream";
  // Each stream's chain goes on where it stood: the next frames carry the next numbers.
  epoch(start + 10000);
  Reader rb2, rc2;
  const auto nb = readPort(b, rb2);
  const auto nc = readPort(c, rc2);
  ASSERT_EQ(nb.size(), 11u);
  ASSERT_GT(nc.size(), 15u);
  EXPECT_EQ(nb[10].seq, 2);
  EXPECT_EQ(nc[15].seq, 15 % 8);
  EXPECT_EQ(rb2.bad + rc2.bad, 0);
  // Stopped: nothing more, and nothing coded.
  omDisableMsgs(1, "rtcm");
  omDisableMsgs(2, "rtcm");
  const std::size_t before = b.bytes.size();
  epoch(start + 20000);
  EXPECT_EQ(b.bytes.size(), before);
  EXPECT_EQ(rtcmMode, 0);
  testports::attachOut(1, nullptr);
  testports::attachOut(2, nullptr);
}

TEST(Rtcm2OutputMessages, APortThatDropsAMessageKeepsItsChain) {
  rtcmmRegisterMsgs();
  navClcRcvOutHook = [] { return static_cast<const RCV_OUTPUT*>(&g_rcv); };
  static FakePort full(0);
  testports::attachOut(3, &full);
  ASSERT_EQ(omEnableMsgs(3, "rtcm/6:1"), OmListResult::kOk);
  for (int sec = 0; sec < 3; ++sec) epoch(1000L * sec);
  // Nothing went out: once the port takes again, the stream starts its chain afresh (sequence 0,
  // the parity of the words before the first one 0).
  EXPECT_TRUE(full.bytes.empty());
  full.capacity = -1;
  epoch(3000);
  Reader r;
  const auto m = readPort(full, r);
  ASSERT_EQ(m.size(), 1u);
  EXPECT_EQ(m[0].seq, 0);
  EXPECT_EQ(r.bad, 0);
  omDisableMsgs(3, nullptr);
  testports::attachOut(3, nullptr);
}

TEST(Rtcm2OutputMessages, StationIdSetForEveryFormatReachesTheRtcm2Coder) {
  rtcmSettingsSetApplyHook(diffRtcmSettingsApply);
  rtcmSettingsSetGatherHook(diffRtcmSettingsGather);
  nv_writeRefIdSettings(268);
  EXPECT_EQ(RtcmCod.settings().stationId, 268);
  EXPECT_EQ(RtcmSet.rtcmCod.stationId, 268);
}

}  // namespace
