// The per-stream scheduler driven as the per-epoch task drives it: omPrepare then omOutput
// for each epoch time, the stream's bytes read back with the test's own frame reader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_port.h"
#include "output/output_manager.h"
#include "settings/rtcm_settings.h"
#include "test_msgs.h"

namespace {

constexpr int kStream = 5;

void runEpochs(long from, long to, long step) {
  for (long t = from; t < to; t += step) {
    long tod = t % 86400000;
    omPrepare(tod);
    omOutput(tod);
  }
}

std::vector<std::string> ids(const std::string& bytes) {
  std::vector<std::string> v;
  for (const auto& f : readFrames(bytes)) v.push_back(f.id);
  return v;
}

TEST(Scheduler, EpochMarkersOncePerSecondAtTenHertz) {
  FakePort port;
  omInitOnce();
  omAttachStream(kStream, &port);
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/{RT,ET}:1"), OmListResult::kOk);
  runEpochs(43200000, 43210000, 100);
  bool clean = false;
  auto frames = readFrames(port.bytes, &clean);
  ASSERT_TRUE(clean);
  ASSERT_EQ(frames.size(), 20u);
  for (std::size_t k = 0; k < frames.size(); k += 2) {
    EXPECT_EQ(frames[k].id, "~~");
    EXPECT_EQ(frames[k + 1].id, "::");
    EXPECT_TRUE(frames[k].checksumOk && frames[k + 1].checksumOk);
    ASSERT_EQ(frames[k].body.size(), 4u);
    std::uint32_t t = le32(frames[k].body);
    EXPECT_EQ(t, le32(frames[k + 1].body));
    EXPECT_EQ(t, 43200000u + 1000u * (k / 2));
  }
  EXPECT_EQ(omGetStreamInfo(kStream)->sent, 20u);
  EXPECT_EQ(omGetStreamInfo(kStream)->dropped, 0u);
}

TEST(Scheduler, EveryEpochAndAcrossMidnight) {
  FakePort port;
  omInitOnce();
  omAttachStream(kStream, &port);
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/RT:0"), OmListResult::kOk);
  runEpochs(86398000, 86402000, 500);  // 8 epochs, two after midnight
  auto frames = readFrames(port.bytes);
  ASSERT_EQ(frames.size(), 8u);
  EXPECT_EQ(le32(frames[3].body), 86399500u);
  EXPECT_EQ(le32(frames[4].body), 0u);

  // A 1 s period goes on once per second over midnight.
  port.bytes.clear();
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/RT:1"), OmListResult::kOk);
  runEpochs(86397000 + 86400000 * 2L, 86403000 + 86400000 * 2L, 100);
  frames = readFrames(port.bytes);
  ASSERT_EQ(frames.size(), 6u);
  EXPECT_EQ(le32(frames[2].body), 86399000u);
  EXPECT_EQ(le32(frames[3].body), 0u);
}

struct PhaseCase {
  std::int32_t period, phase;
  long step;
  std::vector<int> expectTenths;  // epoch times (in 100 ms) written in the first 3 s
};

TEST(Scheduler, PeriodAndPhase) {
  static TestMsg msg;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupMisc, "t", &msg, nullptr));
  const std::vector<PhaseCase> cases = {
      {1000, 0, 100, {0, 10, 20}},
      {1000, 300, 100, {3, 13, 23}},
      {500, 200, 100, {2, 7, 12, 17, 22, 27}},
      // Epochs that miss the grid still give one output per period, at the first epoch of it.
      {1000, 500, 300, {6, 15, 27}},
      {2000, 0, 100, {0, 20}},
  };
  for (const auto& c : cases) {
    FakePort port;
    omAttachStream(kStream, &port);
    MsgSet* set = omGetMsgSet(kStream);
    set->clear();
    set->enable(msgPool.find(kGroupMisc, "t"), MsgSchedParams{c.period, c.phase, 0, 0});
    runEpochs(0, 3000, c.step);
    std::vector<int> got;
    for (const auto& f : readFrames(port.bytes)) got.push_back(static_cast<unsigned char>(f.body[0]));
    EXPECT_EQ(got, c.expectTenths) << c.period << "/" << c.phase;
  }
}

TEST(Scheduler, CountRunsOutAndLeavesTheSet) {
  static TestMsg msg;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupMisc, "t", &msg, nullptr));
  int idx = msgPool.find(kGroupMisc, "t");
  FakePort port;
  omAttachStream(kStream, &port);
  omGetMsgSet(kStream)->enable(idx, MsgSchedParams{1000, 0, 3, 0});
  runEpochs(0, 10000, 100);
  EXPECT_EQ(readFrames(port.bytes).size(), 3u);
  EXPECT_FALSE(omGetMsgSet(kStream)->isEnabled(idx));
}

TEST(Scheduler, OnChangeWritesOnlyWhenTheContentMoved) {
  static TestMsg msg;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupMisc, "t", &msg, &defChange));
  FakePort port;
  omAttachStream(kStream, &port);
  ASSERT_EQ(omEnableMsgs(kStream, "misc/t"), OmListResult::kOk);  // default: on change
  runEpochs(0, 1000, 100);
  EXPECT_EQ(msg.outs, 1);  // the first check always writes
  msg.content = 7;
  runEpochs(1000, 2000, 100);
  EXPECT_EQ(msg.outs, 2);
  runEpochs(2000, 3000, 100);
  EXPECT_EQ(msg.outs, 2);

  // On change with a period: looked at once per period only.
  omGetMsgSet(kStream)->enable(msgPool.find(kGroupMisc, "t"), MsgSchedParams{1000, 0, 0, kSchedOnChange});
  runEpochs(3000, 4000, 100);
  EXPECT_EQ(msg.outs, 3);
  msg.content = 8;
  runEpochs(4000, 4900, 100);
  EXPECT_EQ(msg.outs, 4);
  msg.content = 9;  // moved inside the slot: waits for the next one
  runEpochs(4900, 5000, 100);
  EXPECT_EQ(msg.outs, 4);
  runEpochs(5000, 5100, 100);
  EXPECT_EQ(msg.outs, 5);
}

struct HookCall {
  long t;
  int stream;
  std::size_t bytesBefore;
};
std::vector<HookCall> g_calls;
FakePort* g_hookPort = nullptr;

void recordHook(long t, int stream) {
  g_calls.push_back(HookCall{t, stream, g_hookPort ? g_hookPort->bytes.size() : 0});
}

TEST(Scheduler, HookRunsBeforeEachStreamsMessages) {
  FakePort port;
  g_hookPort = &port;
  omInitOnce();
  omAttachStream(kStream, &port);
  EXPECT_EQ(omSetStreamFunc(recordHook), nullptr);
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/{RT,ET}:1"), OmListResult::kOk);
  runEpochs(0, 2000, 100);
  ASSERT_EQ(g_calls.size(), 2u);  // only in epochs with something due
  EXPECT_EQ(g_calls[0].t, 0);
  EXPECT_EQ(g_calls[0].stream, kStream);
  EXPECT_EQ(g_calls[0].bytesBefore, 0u);
  EXPECT_EQ(g_calls[1].t, 1000);
  EXPECT_EQ(g_calls[1].bytesBefore, 20u);  // after the first pair, before the second
  EXPECT_EQ(omSetStreamFunc(nullptr), recordHook);
}

TEST(Scheduler, AFullPortDropsAndCountsWithoutWaiting) {
  FakePort full(0);
  FakePort other;
  omInitOnce();
  omAttachStream(kStream, &full);
  omAttachStream(kStream + 1, &other);
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/{RT,ET}:1"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(kStream + 1, "zrt/{RT,ET}:1"), OmListResult::kOk);
  runEpochs(0, 3000, 100);
  EXPECT_EQ(omGetStreamInfo(kStream)->dropped, 6u);
  EXPECT_EQ(omGetStreamInfo(kStream)->sent, 0u);
  EXPECT_EQ(full.maxTimeout, 0);  // never asked to wait
  EXPECT_EQ(readFrames(other.bytes).size(), 6u);
  // A stream without a port is not written at all.
  omAttachStream(kStream, nullptr);
  runEpochs(3000, 4000, 100);
  EXPECT_EQ(full.calls, 6);
}

TEST(Scheduler, EpochMarkersFrameTheStreamsOtherMessages) {
  static TestMsg msg;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "T1", &msg, nullptr));  // before RT and ET
  omInitOnce();
  FakePort port;
  omAttachStream(kStream, &port);
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/{ET,T1,RT}:1"), OmListResult::kOk);
  runEpochs(0, 2000, 100);
  EXPECT_EQ(ids(port.bytes), (std::vector<std::string>{"~~", "T1", "::", "~~", "T1", "::"}));
}

TEST(Scheduler, MultiPartMessagesWriteChangedPartsOnly) {
  static TestMult mult;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupMisc, "mult", &mult, &defChange));
  FakePort port;
  omAttachStream(kStream, &port);
  ASSERT_EQ(omEnableMsgs(kStream, "misc/mult"), OmListResult::kOk);
  runEpochs(0, 100, 100);
  EXPECT_EQ(readFrames(port.bytes).size(), 3u);
  port.bytes.clear();
  mult.ids[2] = 5;
  runEpochs(100, 200, 100);
  auto frames = readFrames(port.bytes);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0].body, std::string("2\x05"));
  // A periodic schedule writes every part that has something to send.
  port.bytes.clear();
  mult.emptyPart1 = true;
  ASSERT_EQ(omEnableMsgs(kStream, "misc/mult:1"), OmListResult::kOk);
  runEpochs(1000, 1100, 100);
  EXPECT_EQ(readFrames(port.bytes).size(), 2u);
}

int g_hooks = 0;
bool countHook() {
  ++g_hooks;
  return true;
}

TEST(Scheduler, StartMessagesOncePerMessageAndPart) {
  static TestMsg msg;
  static TestMult mult;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "T1", &msg, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "mult", &mult, &defChange));
  omInitOnce();
  FakePort port;
  omAttachStream(9, &port);
  ASSERT_EQ(omEnableMsgs(9, "zrt/{mult,T1,RT}"), OmListResult::kOk);
  zrmOutStartMsgs(*omGetStreamInfo(omPortToStream(9)), countHook);
  // Single messages in pool order first, then the three parts.
  EXPECT_EQ(ids(port.bytes), (std::vector<std::string>{"T1", "~~", "M0", "M0", "M0"}));
  EXPECT_EQ(g_hooks, 5);
  EXPECT_GT(port.maxTimeout, 0);
  EXPECT_EQ(omGetStreamInfo(9)->timeout, 0);
}

TEST(Scheduler, CoderPlansFollowTheDueMessages) {
  static TestMsg msg;
  for (const char* n : {"1", "3", "9"}) ASSERT_TRUE(MsgPool::add(msgPool, kGroupRtcm, n, &msg, nullptr));
  for (const char* n : {"0", "1"}) ASSERT_TRUE(MsgPool::add(msgPool, kGroupCmr, n, &msg, nullptr));
  FakePort a, b;
  omAttachStream(5, &a);
  omAttachStream(6, &b);
  ASSERT_EQ(omEnableMsgs(5, "rtcm/{1:1,9:2}"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(6, "cmr/1:1"), OmListResult::kOk);
  bool rtcm[23];
  bool cmr[5];
  omPrepare(1000);  // second 1: "9" (2 s) is not due
  EXPECT_TRUE(rtcmmMakeOut(rtcm, 23));
  EXPECT_EQ(rtcmMode, 1);
  EXPECT_TRUE(rtcm[0]);
  EXPECT_FALSE(rtcm[1]);
  EXPECT_FALSE(rtcm[2]);
  EXPECT_TRUE(cmrmMakeOut(cmr, 5));
  EXPECT_FALSE(cmr[0]);
  EXPECT_TRUE(cmr[1]);
  omOutput(1000);
  EXPECT_FALSE(rtcmmMakeOut(rtcm, 23));  // nothing due after the output
  EXPECT_EQ(rtcmMode, 0);
  omPrepare(2000);
  EXPECT_TRUE(rtcmmMakeOut(rtcm, 2));  // a short plan takes what fits
  EXPECT_TRUE(rtcm[0]);
}

TEST(Scheduler, SpectrumStreamsAreCounted) {
  static TestMsg msg;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "SP", &msg, nullptr));
  EXPECT_EQ(spCheckOut(), 0);
  spSetMsg(msgPool.find(kGroupZrt, "SP"));
  FakePort a, b;
  omAttachStream(5, &a);
  omAttachStream(6, &b);
  ASSERT_EQ(omEnableMsgs(5, "zrt/SP"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(6, "zrt/SP"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(7, "zrt/SP"), OmListResult::kOk);  // no port: not carried
  EXPECT_EQ(spCheckOut(), 2);
  EXPECT_TRUE(spOutActive());
  omDisableMsgs(5, nullptr);
  omDisableMsgs(6, "zrt");
  EXPECT_EQ(spCheckOut(), 0);
  EXPECT_FALSE(spOutActive());
}

TEST(Scheduler, StreamsAndPorts) {
  EXPECT_EQ(omPortToStream(9), 9);
  EXPECT_EQ(omStreamToPort(42), 42);
  EXPECT_EQ(omPortToStream(43), kOmNoStream);
  EXPECT_EQ(omStreamToPort(43), 43);
  EXPECT_EQ(omStreamToPort(-1), 43);
  EXPECT_EQ(omGetMsgSet(43), nullptr);
  EXPECT_NE(omGetMsgSet(42), nullptr);
  EXPECT_EQ(omGetStreamInfo(-1), nullptr);
  EXPECT_EQ(omGetStreamInfo(12)->port, 12);
}

}  // namespace

namespace {

bool g_planSeen = false;
void planningHook(long, int) {
  // What a coding hook does: look at the plans, which take the output manager's lock.
  bool plan[23];
  rtcmmMakeOut(plan, 23);
  g_planSeen = spCheckOut() >= 0;
}

TEST(Scheduler, HookMayAskForThePlans) {
  FakePort port;
  omInitOnce();
  omAttachStream(5, &port);
  omSetStreamFunc(planningHook);
  ASSERT_EQ(omEnableMsgs(5, "zrt/RT:0"), OmListResult::kOk);
  omPrepare(0);
  omOutput(0);
  EXPECT_TRUE(g_planSeen);
  EXPECT_EQ(readFrames(port.bytes).size(), 1u);
}

}  // namespace
