// The per-stream scheduler driven as the per-epoch task drives it: omPrepare then omOutput
// for each epoch time, the stream's bytes read back with the test's own frame reader.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "output_fakes.h"
#include "settings/rtcm_settings.h"

namespace {

using Scheduler = OutputTest;

constexpr int kStream = 5;
constexpr long kDay = 86400000;

void runEpochs(long from, long to, long step) {
  for (long t = from; t < to; t += step) {
    omPrepare(t % kDay);
    omOutput(t % kDay);
  }
}

// A port that takes nothing drops and counts without waiting and holds up no other stream.
TEST_F(Scheduler, EpochMarkersOncePerSecondAtTenHertzAroundTheOtherMessages) {
  static TestMsg msg;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "T1", &msg, nullptr));  // before RT and ET
  FakePort full(0), port;
  omInitOnce();
  testports::attachOut(kStream, &full);
  testports::attachOut(kStream + 1, &port);
  for (int s : {kStream, kStream + 1}) ASSERT_EQ(omEnableMsgs(s, "zrt/{ET,T1,RT}:1"), OmListResult::kOk);
  runEpochs(43200000, 43210000, 100);
  bool clean = false;
  const auto frames = readFrames(port.bytes, &clean);
  ASSERT_TRUE(clean);
  ASSERT_EQ(frames.size(), 30u);
  static const char* const order[] = {"~~", "T1", "::"};
  for (std::size_t k = 0; k < frames.size(); ++k) {
    SCOPED_TRACE(k);
    EXPECT_EQ(frames[k].id, order[k % 3]);
    EXPECT_TRUE(frames[k].checksumOk);
    EXPECT_EQ(frames[k].body.size(), 4u);
    EXPECT_EQ(le32(frames[k].body), 43200000u + 1000u * (k / 3));
  }
  EXPECT_EQ(omGetStreamInfo(kStream + 1)->sent, 30u);
  EXPECT_EQ(omGetStreamInfo(kStream)->sent, 0u);
  EXPECT_EQ(omGetStreamInfo(kStream)->dropped, 30u);
  EXPECT_EQ(full.maxTimeout, 0);
  testports::attachOut(kStream, nullptr);  // a stream without a port is not written at all
  runEpochs(43210000, 43211000, 100);
  EXPECT_EQ(full.calls, 30);
}

TEST_F(Scheduler, PeriodPhaseCountAndMidnight) {
  static TestMsg msg;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupMisc, "t", &msg, nullptr));
  const int idx = msgPool.find(kGroupMisc, "t");
  // Schedule, epochs run (from, to, step), the epoch times written.
  struct Row { std::int32_t period, phase, count; long from, to, step; std::vector<std::uint32_t> times; };
  const Row rows[] = {
      {1000, 0, 0, 0, 3000, 100, {0, 1000, 2000}},
      {1000, 300, 0, 0, 3000, 100, {300, 1300, 2300}},
      {500, 200, 0, 0, 3000, 100, {200, 700, 1200, 1700, 2200, 2700}},
      // Epochs that miss the grid still give one output per period, at the first epoch of it.
      {1000, 500, 0, 0, 3000, 300, {600, 1500, 2700}},
      {2000, 0, 0, 0, 3000, 100, {0, 2000}},
      {1000, 0, 3, 0, 10000, 100, {0, 1000, 2000}},  // then it leaves the set
      {0, 0, 0, kDay - 2000, kDay + 2000, 500, {86398000, 86398500, 86399000, 86399500, 0, 500, 1000, 1500}},
      {1000, 0, 0, 3 * kDay - 3000, 3 * kDay + 3000, 100, {86397000, 86398000, 86399000, 0, 1000, 2000}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(std::to_string(r.period) + "/" + std::to_string(r.phase) + " from " + std::to_string(r.from));
    FakePort port;
    testports::attachOut(kStream, &port);
    omGetMsgSet(kStream)->clear();
    omGetMsgSet(kStream)->enable(idx, MsgSchedParams{r.period, r.phase, r.count, 0});
    runEpochs(r.from, r.to, r.step);
    std::vector<std::uint32_t> got;
    for (const auto& f : readFrames(port.bytes)) got.push_back(le32(f.body));
    EXPECT_EQ(got, r.times);
    EXPECT_EQ(omGetMsgSet(kStream)->isEnabled(idx), r.count == 0);
  }
}

TEST_F(Scheduler, OnChangeWritesOnlyWhenTheContentMoved) {
  static TestMsg msg;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupMisc, "t", &msg, &defChange));
  FakePort port;
  testports::attachOut(kStream, &port);
  ASSERT_EQ(omEnableMsgs(kStream, "misc/t"), OmListResult::kOk);  // its default: on change
  // Content set before the epochs from..to, outputs counted after them; the first look writes.
  // From 3000 on change with a period: looked at once per period only.
  const struct { long content, from, to; int outs; } steps[] = {
      {0, 0, 1000, 1},    {7, 1000, 2000, 2}, {7, 2000, 3000, 2}, {7, 3000, 4000, 3},
      {8, 4000, 4900, 4}, {9, 4900, 5000, 4}, {9, 5000, 5100, 5}};
  for (const auto& s : steps) {
    if (s.from == 3000) omGetMsgSet(kStream)->enable(msgPool.find(kGroupMisc, "t"), {1000, 0, 0, kSchedOnChange});
    msg.content = s.content;
    runEpochs(s.from, s.to, 100);
    EXPECT_EQ(msg.outs, s.outs) << s.from;
  }
}

using HookCall = std::tuple<long, int, std::size_t>;  // time, stream, bytes written before
std::vector<HookCall> g_calls;
FakePort* g_hookPort = nullptr;

// Asks for the plans as a coder does; they take the output manager's lock.
void recordHook(long t, int stream) {
  bool plan[23];
  rtcmmMakeOut(plan, 23);
  spCheckOut();
  g_calls.emplace_back(t, stream, g_hookPort->bytes.size());
}

TEST_F(Scheduler, HookRunsBeforeEachStreamsMessagesAndMayAskForThePlans) {
  FakePort port;
  g_hookPort = &port;
  omInitOnce();
  testports::attachOut(kStream, &port);
  EXPECT_EQ(omSetStreamFunc(recordHook), nullptr);
  ASSERT_EQ(omEnableMsgs(kStream, "zrt/{RT,ET}:1"), OmListResult::kOk);
  runEpochs(0, 2000, 100);
  // Only in epochs with something due: before the first pair and between the pairs.
  EXPECT_EQ(g_calls, (std::vector<HookCall>{{0, kStream, 0}, {1000, kStream, 20}}));
  EXPECT_EQ(omSetStreamFunc(nullptr), recordHook);
}

TEST_F(Scheduler, MultiPartMessagesWriteChangedPartsOnly) {
  static TestMult mult;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupMisc, "mult", &mult, &defChange));
  FakePort port;
  testports::attachOut(kStream, &port);
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

TEST_F(Scheduler, StartMessagesOncePerMessageAndPart) {
  static TestMsg msg;
  static TestMult mult;
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "T1", &msg, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "mult", &mult, &defChange));
  omInitOnce();
  FakePort port;
  testports::attachOut(9, &port);
  ASSERT_EQ(omEnableMsgs(9, "zrt/{mult,T1,RT}"), OmListResult::kOk);
  zrmOutStartMsgs(*omGetStreamInfo(omPortToStream(9)), [] { return ++g_hooks > 0; });
  // Single messages in pool order first, then the three parts.
  std::string ids;
  for (const auto& f : readFrames(port.bytes)) ids += f.id + " ";
  EXPECT_EQ(ids, "T1 ~~ M0 M0 M0 ");
  EXPECT_EQ(g_hooks, 5);
  EXPECT_GT(port.maxTimeout, 0);
  EXPECT_EQ(omGetStreamInfo(9)->timeout, 0);
}

TEST_F(Scheduler, CoderAndSpectrumPlansFollowTheSets) {
  static TestMsg msg;
  for (const char* n : {"1", "3", "9"}) ASSERT_TRUE(MsgPool::add(msgPool, kGroupRtcm, n, &msg, nullptr));
  for (const char* n : {"0", "1"}) ASSERT_TRUE(MsgPool::add(msgPool, kGroupCmr, n, &msg, nullptr));
  ASSERT_TRUE(MsgPool::add(msgPool, kGroupZrt, "SP", &msg, nullptr));
  FakePort a, b;
  testports::attachOut(5, &a);
  testports::attachOut(6, &b);
  ASSERT_EQ(omEnableMsgs(5, "rtcm/{1:1,9:2}"), OmListResult::kOk);
  ASSERT_EQ(omEnableMsgs(6, "cmr/1:1"), OmListResult::kOk);
  bool rtcm[23], cmr[5];
  omPrepare(1000);  // second 1: "9" (2 s) is not due
  EXPECT_TRUE(rtcmmMakeOut(rtcm, 23));
  EXPECT_EQ(rtcmMode, 1);
  EXPECT_EQ(std::vector<bool>(rtcm, rtcm + 3), (std::vector<bool>{true, false, false}));
  EXPECT_TRUE(cmrmMakeOut(cmr, 5));
  EXPECT_EQ(std::vector<bool>(cmr, cmr + 2), (std::vector<bool>{false, true}));
  omOutput(1000);
  EXPECT_FALSE(rtcmmMakeOut(rtcm, 23));  // nothing due after the output
  EXPECT_EQ(rtcmMode, 0);
  omPrepare(2000);
  EXPECT_TRUE(rtcmmMakeOut(rtcm, 2));  // a short plan takes what fits
  EXPECT_TRUE(rtcm[0]);
  for (int s : {5, 6, 7}) ASSERT_EQ(omEnableMsgs(s, "zrt/SP"), OmListResult::kOk);  // 7 has no port
  EXPECT_EQ(spCheckOut(), 2);
  omDisableMsgs(5, nullptr);
  omDisableMsgs(6, "zrt");
  EXPECT_EQ(spCheckOut(), 0);
}

}  // namespace
