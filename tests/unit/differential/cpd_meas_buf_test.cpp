#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "differential/base/cpd_meas_buf.h"

namespace {

// Writes and publishes one epoch with id `id`; false when no entry came.
bool put(CpdMeasBuf& b, int id) {
  CpdMeas* m = b.doObtain();
  if (m == nullptr) return false;
  m->clear();
  m->id = id;
  b.doRelease(m);
  return true;
}

std::vector<int> idsNewestFirst(CpdMeasBufImp& b, std::initializer_list<int> probe) {
  std::vector<int> found;
  for (int id : probe) {
    if (const CpdMeas* m = b.doFind(id)) {
      found.push_back(m->id.get());
      b.doUnlock(m);
    }
  }
  return found;
}

TEST(CpdMeasBufRing, SizeThreeKeepsTheLastThree) {
  CpdMeasBufImp b(3, nullptr, nullptr);
  EXPECT_EQ(b.doGet(), nullptr);
  EXPECT_EQ(b.doFind(1), nullptr);
  for (int id = 1; id <= 4; ++id) ASSERT_TRUE(put(b, id));
  EXPECT_EQ(b.count(), 3);
  const CpdMeas* g = b.doGet();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->id.get(), 4);
  b.doUnlock(g);
  EXPECT_EQ(idsNewestFirst(b, {1, 2, 3, 4}), (std::vector<int>{2, 3, 4}));
  // An epoch without id is never found, even when an item carries none.
  EXPECT_EQ(b.doFind(-1), nullptr);
}

TEST(CpdMeasBufRing, AReaderOnTheTailItemSendsTheWriterToASpare) {
  CpdMeasBufImp b(3, nullptr, nullptr);
  for (int id = 1; id <= 3; ++id) ASSERT_TRUE(put(b, id));
  // Full: the next write takes the item of the oldest epoch, which a reader holds.
  const CpdMeas* held = b.doFind(1);
  ASSERT_NE(held, nullptr);
  CpdMeas* w = b.doObtain();
  ASSERT_NE(w, nullptr);
  EXPECT_NE(static_cast<const CpdMeas*>(w), held);
  w->clear();
  w->id = 4;
  b.doRelease(w);
  EXPECT_EQ(held->id.get(), 1);  // not overwritten
  // Still found while held (now a spare), gone once let go.
  const CpdMeas* again = b.doFind(1);
  EXPECT_EQ(again, held);
  b.doUnlock(again);
  b.doUnlock(held);
  EXPECT_EQ(b.doFind(1), nullptr);
  EXPECT_EQ(idsNewestFirst(b, {1, 2, 3, 4}), (std::vector<int>{2, 3, 4}));
  // The spares cycle: many more writes with nobody reading keep working.
  for (int id = 5; id < 40; ++id) ASSERT_TRUE(put(b, id)) << id;
  EXPECT_EQ(idsNewestFirst(b, {36, 37, 38, 39}), (std::vector<int>{37, 38, 39}));
}

TEST(CpdMeasBufRing, NoFreeItemWhenTheTailAndBothSparesAreHeld) {
  CpdMeasBufImp b(3, nullptr, nullptr);
  std::vector<const CpdMeas*> holds;
  int id = 1;
  // Each round holds the item the writer would take next.
  for (int round = 0; round < 3; ++round) {
    while (b.count() < 3) ASSERT_TRUE(put(b, id++));
    int oldest = id - 3;
    const CpdMeas* h = b.doFind(oldest);
    ASSERT_NE(h, nullptr);
    holds.push_back(h);
    if (round < 2) {
      ASSERT_TRUE(put(b, id++));
    }
  }
  EXPECT_EQ(b.doObtain(), nullptr);
  b.doUnlock(holds[0]);
  EXPECT_TRUE(put(b, id++));
  for (const CpdMeas* h : holds) b.doUnlock(h);
}

TEST(CpdMeasBufRing, OneWriterAtATime) {
  CpdMeasBufImp b(3, nullptr, nullptr);
  CpdMeas* a = b.doObtain();
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(b.doObtain(), nullptr);
  // Releasing anything but the obtained entry is ignored.
  CpdMeas stray;
  b.doRelease(&stray);
  b.doRelease(nullptr);
  EXPECT_EQ(b.doObtain(), nullptr);
  a->id = 9;
  b.doRelease(a);
  EXPECT_EQ(b.count(), 1);
  EXPECT_TRUE(put(b, 10));
}

TEST(CpdMeasBufRing, ReclaimOnAFullRingLeavesOneEpochFewer) {
  CpdMeasBufImp b(3, nullptr, nullptr);
  for (int id = 1; id <= 3; ++id) ASSERT_TRUE(put(b, id));
  CpdMeas* m = b.doObtain();
  ASSERT_NE(m, nullptr);
  b.doReclaim(m);
  EXPECT_EQ(b.count(), 2);
  EXPECT_EQ(idsNewestFirst(b, {1, 2, 3}), (std::vector<int>{2, 3}));
  const CpdMeas* g = b.doGet();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->id.get(), 3);
  b.doUnlock(g);
  // A reclaim on a ring that is not full leaves its epochs.
  m = b.doObtain();
  b.doReclaim(m);
  EXPECT_EQ(b.count(), 2);
  EXPECT_TRUE(put(b, 4));
  EXPECT_EQ(idsNewestFirst(b, {2, 3, 4}), (std::vector<int>{2, 3, 4}));
}

TEST(CpdMeasBufRing, ClearEmptiesButHeldEpochsStay) {
  CpdMeasBufImp b(3, nullptr, nullptr);
  for (int id = 1; id <= 2; ++id) ASSERT_TRUE(put(b, id));
  const CpdMeas* h = b.doFind(2);
  b.doClear();
  EXPECT_EQ(b.count(), 0);
  EXPECT_EQ(b.doGet(), nullptr);
  for (int id = 10; id < 20; ++id) ASSERT_TRUE(put(b, id));
  EXPECT_EQ(h->id.get(), 2);
  b.doUnlock(h);
  b.doUnlock(nullptr);
  CpdMeas foreign;
  b.doUnlock(&foreign);
}

TEST(CpdMeasBufAux, LockedOnlyWhenPresent) {
  CpdAux aux;
  CpdMeasBufImp with(3, nullptr, &aux), without(3, nullptr, nullptr);
  EXPECT_EQ(without.doObtainAux(), nullptr);
  without.doReleaseAux(nullptr);
  CpdAux* a = with.doObtainAux();
  ASSERT_EQ(a, &aux);
  a->stationId = 12;
  with.doReleaseAux(a);
  CpdAux* r = with.doObtainAux();
  EXPECT_EQ(r->stationId, 12);
  with.doReleaseAux(r);
  // Released, the lock can be taken again from another task.
  std::thread t([&] {
    CpdAux* x = with.doObtainAux();
    with.doReleaseAux(x);
  });
  t.join();
}

struct Recorder : CpdMeasBuf::Client {
  std::vector<int> ids;
  void process(const CpdMeas& m) override { ids.push_back(m.id.get()); }
  void reset() override {}
};

// A decoder that holds one entry and gives it back on reset.
struct Dec : CpdBaseDecoder {
  CpdMeasBuf* buf = nullptr;
  CpdMeas* cur = nullptr;
  int resets = 0;
  void reset() override {
    ++resets;
    reclaimMeas(buf, cur);
  }
};

TEST(CpdObtain, ReleaseFeedsTheClientAndForgetsTheEntry) {
  Recorder rec;
  CpdMeasBufImp b(3, &rec, nullptr);
  Dec d;
  d.buf = &b;
  d.cur = obtainMeas(&b, &d, kCpdRtcm3);
  ASSERT_NE(d.cur, nullptr);
  d.cur->id = 77;
  releaseMeas(&b, d.cur);
  EXPECT_EQ(d.cur, nullptr);
  EXPECT_EQ(rec.ids, std::vector<int>{77});
  // The entry comes back cleared.
  d.cur = obtainMeas(&b, &d, kCpdRtcm3);
  ASSERT_NE(d.cur, nullptr);
  EXPECT_EQ(d.cur->id.get(), -1);
  reclaimMeas(&b, d.cur);
  EXPECT_EQ(d.cur, nullptr);
  EXPECT_EQ(rec.ids.size(), 1u);
  EXPECT_EQ(obtainMeas(nullptr, &d, 0), nullptr);
}

TEST(CpdObtain, AnotherDecodersEntryIsTakenBackByItsReset) {
  CpdMeasBufImp b(3, nullptr, nullptr);
  Dec a, bb, c;
  a.buf = bb.buf = c.buf = &b;
  a.cur = obtainMeas(&b, &a, kCpdRtcm);
  ASSERT_NE(a.cur, nullptr);
  // The holder itself asking again: none at once, no reset.
  EXPECT_EQ(obtainMeas(&b, &a, kCpdRtcm), nullptr);
  EXPECT_EQ(a.resets, 0);
  // Another decoder: the holder is reset and the entry changes hands.
  bb.cur = obtainMeas(&b, &bb, kCpdCmr);
  ASSERT_NE(bb.cur, nullptr);
  EXPECT_EQ(a.resets, 1);
  EXPECT_EQ(a.cur, nullptr);
  // The new holder stalls: the next decoder still gets the entry (the holder is known).
  c.cur = obtainMeas(&b, &c, kCpdRtcm3);
  ASSERT_NE(c.cur, nullptr);
  EXPECT_EQ(bb.resets, 1);
  EXPECT_EQ(bb.cur, nullptr);
  c.cur->id = 5;
  releaseMeas(&b, c.cur);
  // Nobody recorded after a release: a blocked obtain with no holder known gives none.
  CpdMeas* w = b.doObtain();
  EXPECT_EQ(obtainMeas(&b, &a, kCpdRtcm), nullptr);
  b.doReclaim(w);
}

// A decoder that went away holding the entry is not asked to let go (it is no more): the next
// obtain gives none until the entry comes back.
TEST(CpdObtain, ADecoderThatWentAwayIsNotAskedToLetGo) {
  CpdMeasBufImp b(3, nullptr, nullptr);
  CpdMeas* held = nullptr;
  {
    Dec gone;
    gone.buf = &b;
    held = gone.cur = obtainMeas(&b, &gone, kCpdRtcm);
    ASSERT_NE(held, nullptr);
  }
  Dec next;
  next.buf = &b;
  EXPECT_EQ(obtainMeas(&b, &next, kCpdCmr), nullptr);
  b.doReclaim(held);
  next.cur = obtainMeas(&b, &next, kCpdCmr);
  EXPECT_NE(next.cur, nullptr);
  reclaimMeas(&b, next.cur);
}

class BasePort : public ::testing::Test {
 protected:
  void SetUp() override { cpdBufsInit(); }
};

// Ports by index: 5..8 dev/ser/a..d are decoder ports 0..3, 0 (a log file) and 22 (dev/http/a)
// are none.
TEST_F(BasePort, FirstPortIntoADecoderModeKeepsTheRole) {
  using M = InPort::Mode;
  const struct {
    int port, from, to, base;
  } steps[] = {
      {5, M::M_CMD, M::M_RTCM, 0},     {6, M::M_CMD, M::M_RTCM3, 0},   {6, M::M_RTCM3, M::M_RTCM, 0},
      {5, M::M_RTCM, M::M_CMD, -1},    {6, M::M_RTCM, M::M_CMR, -1},   {7, M::M_CMD, M::M_CMR, 2},
      {7, M::M_CMR, M::M_RTCM3, 2},    {6, M::M_CMR, M::M_CMD, 2},     {7, M::M_RTCM3, M::M_ECHO, -1},
      {0, M::M_CMD, M::M_RTCM3, -1},   {22, M::M_CMD, M::M_RTCM3, -1}, {43, M::M_CMD, M::M_RTCM3, -1},
      {44, M::M_CMD, M::M_RTCM3, -1},  {-1, M::M_CMD, M::M_RTCM3, -1}, {8, M::M_CMD, M::M_DTP, -1},
      {8, M::M_CMD, M::M_AUTO, 3},     {5, M::M_CMD, M::M_SISNET, 3},  {8, M::M_AUTO, M::M_NONE, -1},
      {5, M::M_SISNET, M::M_GBAS, -1}, {6, M::M_OMNI, M::M_ZRT, 1},
  };
  int i = 0;
  for (const auto& s : steps) {
    cpdBufsModeChange(s.port, s.from, s.to);
    EXPECT_EQ(basePort_.load(), s.base) << "step " << i;
    ++i;
  }
}

// The port layer's form: a port not made yet is in its stored mode (command mode here).
TEST_F(BasePort, HookFormReadsTheOldMode) {
  cpdBufsModeChange(IOP_SER_A + 1, InPort::M_RTCM3);
  EXPECT_EQ(basePort_.load(), 1);
  cpdBufsModeChange(IOP_SER_A + 1, InPort::M_CMD);  // stored mode is still command: no change
  EXPECT_EQ(basePort_.load(), 1);
}

// After a restart the ports are in their stored modes: the first decoder port (the board links
// excepted, which carry the board's own stream) in a decoder mode is the base port again.
TEST_F(BasePort, StoredModesAtStartGiveTheRole) {
  static int stored[IOP_NUM];
  InPorts::storedMode_ = [](int port) { return stored[port]; };
  const struct {
    std::vector<std::pair<int, int>> modes;  // port index, mode
    int base;
  } rows[] = {
      {{}, -1},
      {{{6, InPort::M_RTCM3}}, 1},
      {{{IOP_SHM_A, InPort::M_ZRT}, {IOP_SHM_A + 3, InPort::M_RTCM3}}, -1},
      {{{IOP_SHM_A, InPort::M_ZRT}, {17, InPort::M_CMR}, {7, InPort::M_ECHO}}, 12},
      {{{8, InPort::M_AUTO}, {17, InPort::M_CMR}}, 3},
      {{{0, InPort::M_RTCM}, {22, InPort::M_RTCM}}, -1},
  };
  for (const auto& r : rows) {
    for (int& m : stored) m = InPort::M_CMD;
    for (const auto& [port, mode] : r.modes) stored[port] = mode;
    basePort_.store(5);
    cpdBufsInit();
    EXPECT_EQ(basePort_.load(), r.base) << r.modes.size();
  }
  InPorts::storedMode_ = nullptr;
}

TEST_F(BasePort, MatchTruthTable) {
  const struct {
    int base, cur, idx;
    bool match;
  } rows[] = {{-1, -1, 0, true}, {3, -1, 0, true}, {3, 3, 0, true},  {3, 4, 0, false},
              {-1, 4, 0, false}, {3, 3, 1, false}, {-1, -1, 1, true}, {0, 0, 0, true}};
  for (const auto& r : rows) {
    basePort_.store(r.base);
    if (r.cur < 0)
      cpdBufsClearBasePort();
    else
      cpdBufsSetBasePort(static_cast<InPorts::DecPortIndex>(r.cur));
    EXPECT_EQ(cpdBufsMatchBasePort(r.idx), r.match) << r.base << " " << r.cur << " " << r.idx;
  }
}

TEST_F(BasePort, BufferForPort) {
  ASSERT_NE(pBaseMeasBuf, nullptr);
  ASSERT_NE(pRovMeasBuf[0], nullptr);
  ASSERT_NE(pRovMeasBuf[1], nullptr);
  basePort_.store(4);
  const struct {
    int port, idx;
  } rows[] = {{4, 0}, {3, -1}, {5, -1}, {-1, -1}};
  for (const auto& r : rows) {
    const auto p = static_cast<InPorts::DecPortIndex>(r.port);
    EXPECT_EQ(cpdBufsBaseIdxForPort(p), r.idx) << r.port;
  }
  cpdBufsSetBasePort(InPorts::DEC_SER_A);
  EXPECT_EQ(cpdBufsBaseGet(), pBaseMeasBuf);
  EXPECT_EQ(basePortCur_.load(), -1);
  // Built once: a second start keeps the buffers and clears the marks.
  CpdMeasBuf* base = pBaseMeasBuf;
  cpdClientsInit();
  EXPECT_EQ(pBaseMeasBuf, base);
  EXPECT_EQ(basePort_.load(), -1);
}

TEST(RoverRecord, NothingBeforeTheFirstEpoch) {
  cpdSetTimesAndId(CpdMeasTimes{}, CpdEpochId{});  // as before the first rover epoch
  CpdMeasTimes t;
  t.time[0] = 42;
  CpdEpochId id(7);
  EXPECT_FALSE(cpdGetTimesAndId(t, &id));
  EXPECT_EQ(t.time[0], 42);
  EXPECT_EQ(id.get(), 7);
  CpdMeasTimes w;
  w.time[0] = 3600123;
  w.time[1] = 10800;
  w.flag = 3;
  cpdSetTimesAndId(w, 123);
  ASSERT_TRUE(cpdGetTimesAndId(t, &id));
  EXPECT_EQ(t.time[0], 3600123);
  EXPECT_EQ(t.time[1], 10800);
  EXPECT_EQ(t.flag, 3);
  EXPECT_EQ(id.get(), 123);
  EXPECT_TRUE(cpdGetTimesAndId(t, nullptr));
}

TEST(RecentSvs, SetAndAsk) {
  cpdRecentSvs_.set(CpdSvSet{});  // none seen yet
  EXPECT_FALSE(cpdRecentSvs_.has(1));
  CpdSvSet s;
  EXPECT_TRUE(s.add(CpdSv::make(0, 5)));
  EXPECT_TRUE(s.add(CpdSv::make(1, -7)));
  EXPECT_TRUE(s.add(CpdSv::make(0, 5)));  // present already
  EXPECT_FALSE(s.add(CpdSv::make(0, 40)));  // no id
  cpdRecentSvs_.set(s);
  for (int id = 0; id <= 196; ++id) EXPECT_EQ(cpdRecentSvs_.has(id), id == 5 || id == 33) << id;
  CpdSvSet full;
  for (int id = 1; id <= 44; ++id) EXPECT_TRUE(full.add(CpdSv::make(5, id)));
  EXPECT_FALSE(full.add(CpdSv::make(5, 45)));
  EXPECT_EQ(full.count(), 44);
}

TEST(DecodedCounters, CurrentBecomesLastAtEpochEnd) {
  cpdCountsEpochClosed();  // what a test before counted goes, twice: current and last
  cpdCountsEpochClosed();
  const struct {
    int sys, slot, times;
  } rows[] = {{0, 0, 3}, {1, 2, 1}, {8, 5, 300}, {9, 0, 4}, {-1, 0, 4}, {0, 6, 4}, {0, -1, 4}};
  for (const auto& r : rows)
    for (int i = 0; i < r.times; ++i) cpdCountDecoded(r.sys, r.slot);
  std::uint8_t last[kCpdCountSys][CpdSvMeas::kSlotNum];
  std::memcpy(last, uDecodedSysSlotLastNum, sizeof last);
  EXPECT_EQ(last[0][0], 0);
  cpdCountsEpochClosed();
  std::memcpy(last, uDecodedSysSlotLastNum, sizeof last);
  EXPECT_EQ(last[0][0], 3);
  EXPECT_EQ(last[1][2], 1);
  EXPECT_EQ(last[8][5], 255);  // stops at the top
  EXPECT_EQ(last[0][1], 0);
  EXPECT_EQ(uDecodedSysSlotCurrNum[0][0], 0);
  cpdCountsEpochClosed();
  std::memcpy(last, uDecodedSysSlotLastNum, sizeof last);
  EXPECT_EQ(last[0][0], 0);
}

// One writer and two readers: every epoch a reader holds stays whole until it lets go. Run
// under the sanitizers (and ThreadSanitizer) to catch unguarded access.
TEST(CpdMeasBufStress, OneWriterTwoReaders) {
  CpdMeasBufImp b(3, nullptr, nullptr);
  constexpr int kEpochs = 20000;
  std::atomic<bool> done{false};
  std::atomic<int> bad{0}, reads{0};
  auto reader = [&](int seed) {
    unsigned x = static_cast<unsigned>(seed);
    while (!done.load()) {
      x = x * 1103515245u + 12345u;
      const CpdMeas* m = (x >> 16) % 2 ? b.doGet() : b.doFind(static_cast<int>((x >> 8) % kEpochs));
      if (m == nullptr) continue;
      const int id = m->id.get();
      for (int k = 0; k < 3; ++k)
        if (m->n != id % 44 || m->sv[0].slot[0].range != id || m->stationId != id) bad.fetch_add(1);
      b.doUnlock(m);
      reads.fetch_add(1);
    }
  };
  std::thread r1(reader, 1), r2(reader, 2);
  int written = 0;
  for (int id = 0; id < kEpochs; ++id) {
    CpdMeas* m = b.doObtain();
    if (m == nullptr) continue;
    m->clear();
    m->n = id % 44;
    m->sv[0].slot[0].range = id;
    m->stationId = id;
    m->id = id;
    b.doRelease(m);
    ++written;
  }
  done.store(true);
  r1.join();
  r2.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_GT(written, kEpochs / 2);
}

}  // namespace
