// The network RTK store's rules, row by row: master and network changes, the 10 s quiet time
// (also across the hour), the 32 auxiliary stations and the best six, the correction lists and
// the rings of six epochs with two spares.
#include <gtest/gtest.h>

#include <memory>
#include <tuple>

#include "differential/base/cpd_meas_buf.h"
#include "differential/nrtk/nrtk_store.h"
#include "unit/own_process.h"
#include "unit/differential/nrtk_aux.h"

namespace {

CpdNrtkMnsId mnsOf(int master, int net, int sub) {
  CpdNrtkMnsId m;
  m.master = static_cast<std::int16_t>(master);
  m.network = static_cast<std::uint8_t>(net);
  m.subnet = static_cast<std::int8_t>(sub);
  return m;
}
CpdNrtkTimeTag at(std::int32_t ms) { return CpdNrtkTimeTag{ms}; }

TEST(NrtkMnsId, ChangeMaster) {
  struct Row { int master, net, sub, id; bool changed; int master2, net2, sub2; };
  const Row rows[] = {
      {-2, 255, -1, 100, true, 100, 255, -1},  // first master
      {100, 7, 3, 100, false, 100, 7, 3},      // same master keeps the network
      {100, 7, 3, 101, true, 101, 255, -1},    // another master forgets it
      {100, 7, 3, -1, true, -1, 255, -1},
      {0, 1, 0, 0, false, 0, 1, 0},
  };
  for (const Row& r : rows) {
    CpdNrtkMnsId m = mnsOf(r.master, r.net, r.sub);
    EXPECT_EQ(m.changeMaster(r.id), r.changed) << r.master << "->" << r.id;
    EXPECT_EQ(std::tuple(int(m.master), int(m.network), int(m.subnet)), std::tuple(r.master2, r.net2, r.sub2));
  }
}

TEST(NrtkMnsId, ChangeNetSub) {
  struct Row { int master, net, sub, newNet, newSub; bool changed; };
  const Row rows[] = {
      {-2, 255, -1, 5, 1, false},  // no master yet
      {-1, 255, -1, 5, 1, false},
      {100, 255, -1, 5, 1, true},
      {100, 5, 1, 5, 1, false},  // unchanged
      {100, 5, 1, 5, 2, true},   // subnetwork alone
      {100, 5, 1, 6, 1, true},   // network alone
      {0, 5, 1, 6, 1, true},     // station 0 is a master
  };
  for (const Row& r : rows) {
    CpdNrtkMnsId m = mnsOf(r.master, r.net, r.sub);
    EXPECT_EQ(m.changeNetSub(r.newNet, r.newSub), r.changed) << r.master << " " << r.newNet << "/" << r.newSub;
    const int net = r.changed ? r.newNet : r.net, sub = r.changed ? r.newSub : r.sub;
    EXPECT_EQ(std::tuple(int(m.network), int(m.subnet)), std::tuple(net, sub));
  }
}

TEST(NrtkTimeTag, WithinTheHour) {
  const struct { std::int64_t in; std::int32_t out; } rows[] = {
      {-1, -1}, {-100, -1}, {0, 0}, {3599999, 3599999}, {3600000, 0}, {604799900, 604799900 % 3600000},
      {86399900, 86399900 % 3600000}, {838860700, 838860700 % 3600000}};
  for (const auto& r : rows) EXPECT_EQ(CpdNrtkTimeTag::ofMs(r.in).ms, r.out) << r.in;
}

// An auxiliary set with master 100 on network 5/1 and the last correction at `last`.
CpdNrtkAuxSet netSet(std::int32_t last) {
  CpdNrtkAuxSet s;
  s.changeMaster(100);
  s.corrReceived(mnsOf(100, 5, 1), 1, at(last));
  int rep = 0;
  for (int id = 1; id <= 32; ++id) s.add(mnsOf(100, 5, 1), id, {}, rep, 0);
  return s;
}

// The quiet time before another network is believed: more than 10,000 ms after the current one's
// last correction, judged on the folded difference across the hour's turn.
TEST(NrtkAuxSet, NetworkChangeAfterTenQuietSeconds) {
  struct Row { std::int32_t last, msg; bool changed; const char* what; };
  const Row rows[] = {
      {100000, 105000, false, "5 s"},
      {100000, 110000, false, "exactly 10 s"},
      {100000, 110001, true, "10.001 s"},
      {100000, 400000, true, "5 min"},
      {100000, 90000, false, "older than the last"},
      {3590000, 3000, true, "13 s across the hour"},
      {3595000, 4000, false, "9 s across the hour"},
      {3595000, 5000, false, "exactly 10 s across the hour"},
      {3595000, 5001, true, "10.001 s across the hour"},
      {3000, 3590000, false, "13 s back across the hour"},
      {0, 3599999, false, "1 ms back across the hour"},
  };
  for (const Row& r : rows) {
    CpdNrtkAuxSet s = netSet(r.last);
    ASSERT_EQ(nrtktest::auxCount(s), 32) << r.what;
    EXPECT_EQ(s.corrReceived(mnsOf(100, 6, 1), 7, at(r.msg)), r.changed) << r.what;
    EXPECT_EQ(std::tuple(int(s.mns.network), int(s.mns.subnet)), r.changed ? std::tuple(6, 1) : std::tuple(5, 1))
        << r.what;
    // A change forgets every station; the message then is the new network's last correction.
    EXPECT_EQ(nrtktest::auxCount(s), r.changed ? 0 : 32) << r.what;
    EXPECT_EQ(s.lastCorr.ms, r.changed ? r.msg : r.last) << r.what;
    if (r.changed) {
      for (const CpdNrtkAuxEntry& e : s.aux) {
        EXPECT_EQ(std::tuple(e.id, e.time.ms, int(e.vrsId), int(e.vrsFlag)), std::tuple(-1, -1, 65535, 0));
      }
    }
  }
}

// When the question is asked at all, and what the current network's corrections record.
TEST(NrtkAuxSet, NetworkChangeConditions) {
  struct Row { int master; int msgMaster, net, sub; std::int32_t time; bool changed; std::int32_t last; const char* what; };
  const Row rows[] = {
      {-2, 100, 6, 1, 500000, false, 100000, "no master yet"},
      {100, 101, 6, 1, 500000, false, 100000, "another master"},
      {100, 100, 6, 1, -1, false, 100000, "invalid time"},
      {100, 100, 5, 1, 500000, false, 500000, "same network: a correction"},
      {100, 100, 5, 1, 105000, false, 105000, "same network soon after"},
      {100, 100, 5, 2, 500000, true, 500000, "subnetwork change"},
  };
  for (const Row& r : rows) {
    CpdNrtkAuxSet s = netSet(100000);
    if (r.master != 100) s.mns.master = static_cast<std::int16_t>(r.master);
    EXPECT_EQ(s.corrReceived(mnsOf(r.msgMaster, r.net, r.sub), 3, at(r.time)), r.changed) << r.what;
    if (r.master == 100) {
      EXPECT_EQ(s.lastCorr.ms, r.last) << r.what;
    }
  }
}

TEST(NrtkAuxSet, FirstNetworkIsTakenAtOnce) {
  CpdNrtkAuxSet s;
  EXPECT_TRUE(s.changeMaster(100));
  EXPECT_TRUE(s.corrReceived(mnsOf(100, 5, 1), 1, at(1000)));
  EXPECT_EQ(s.lastCorr.ms, 1000);
  // The known network's last correction being invalid, the next network is taken at once too.
  s.lastCorr = CpdNrtkTimeTag{};
  EXPECT_TRUE(s.corrReceived(mnsOf(100, 6, 1), 1, at(1500)));
}

// A network that takes over without a pause: its corrections every second are refused until the
// old one has been quiet for more than 10 s, then it is believed.
TEST(NrtkAuxSet, ContinuousStreamOfANewNetworkTakesOver) {
  CpdNrtkAuxSet s = netSet(100000);
  int changedAt = -1;
  for (std::int32_t t = 101000; t <= 120000 && changedAt < 0; t += 1000)
    if (s.corrReceived(mnsOf(100, 6, 1), 1, at(t))) changedAt = t;
  EXPECT_EQ(changedAt, 111000);
}

TEST(NrtkAuxSet, CorrectionTimeRecordedForItsStation) {
  CpdNrtkAuxSet s = netSet(100000);
  s.corrReceived(mnsOf(100, 5, 1), 17, at(123000));
  EXPECT_EQ(nrtktest::auxOf(s, 17)->time.ms, 123000);
  EXPECT_EQ(nrtktest::auxOf(s, 18)->time.ms, -1);
  // Another master's correction records nothing.
  s.corrReceived(mnsOf(101, 5, 1), 18, at(124000));
  EXPECT_EQ(nrtktest::auxOf(s, 18)->time.ms, -1);
  EXPECT_EQ(s.lastCorr.ms, 123000);
}

TEST(NrtkAuxSet, ChangeMasterForgetsItsPosition) {
  CpdNrtkAuxSet s;
  s.changeMaster(100);
  s.setMasterPos(CpdGPos{0.8, 0.2, 100.0});
  EXPECT_EQ(s.masterPosValid, 1);
  EXPECT_FALSE(s.changeMaster(100));
  EXPECT_EQ(s.masterPosValid, 1);
  EXPECT_TRUE(s.changeMaster(200));
  EXPECT_EQ(s.masterPosValid, 0);
}

TEST(NrtkAuxSet, AddRules) {
  struct Row { int master, net, sub, auxId; bool added; const char* what; };
  const Row rows[] = {
      {100, 5, 1, 40, true, "new station"},
      {100, 5, 3, 41, true, "subnetwork is not compared"},
      {101, 5, 1, 42, false, "another master"},
      {100, 6, 1, 43, false, "another network"},
      {100, 5, 1, -1, false, "no station"},
      {100, 5, 2, 40, false, "present: updated"},
  };
  CpdNrtkAuxSet s;
  s.changeMaster(100);
  s.corrReceived(mnsOf(100, 5, 1), 1, at(1000));
  for (const Row& r : rows) {
    int rep = 99;
    const CpdNrtkGeoOffs o{0.001 * r.auxId, -0.002, 3.0 * r.sub};
    EXPECT_EQ(s.add(mnsOf(r.master, r.net, r.sub), r.auxId, o, rep, 7), r.added) << r.what;
    EXPECT_EQ(rep, -1) << r.what;
    const CpdNrtkAuxEntry* e = nrtktest::auxOf(s, r.auxId);
    const bool present = r.added || r.auxId == 40;
    ASSERT_EQ(e != nullptr, present) << r.what;
    if (present) {
      EXPECT_EQ(std::tuple(e->offs.dLat, e->offs.dLon, e->offs.dHgt, int(e->vrsId)),
                std::tuple(o.dLat, o.dLon, o.dHgt, 7))
          << r.what;
    }
  }
  EXPECT_EQ(nrtktest::auxCount(s), 2);
}

// The 33rd station takes the entry heard from longest ago (never heard counts as oldest, the
// first such entry first), with the hour's turn between the times.
TEST(NrtkAuxSet, ThirtyThirdStationReplacesTheOldest) {
  struct Row { std::int32_t base; int unheard; int oldest; const char* what; };
  // Station i (1..32) last heard at base + i * 1000 (wrapped into the hour), except `unheard`,
  // and station `oldest` heard at base - 60000.
  const Row rows[] = {
      {100000, 0, 9, "plain"},
      {3570000, 0, 31, "times across the hour"},
      {3598000, 0, 1, "the oldest just before the hour"},
      {100000, 12, 9, "a station never heard"},
  };
  for (const Row& r : rows) {
    CpdNrtkAuxSet s;
    s.changeMaster(100);
    s.corrReceived(mnsOf(100, 5, 1), 1, at(r.base));
    int rep = 0;
    for (int id = 1; id <= 32; ++id) s.add(mnsOf(100, 5, 1), id, {}, rep, 0);
    for (int id = 1; id <= 32; ++id) {
      if (id == r.unheard) continue;
      const std::int64_t t = id == r.oldest ? r.base - 60000 : r.base + id * 1000;
      s.corrReceived(mnsOf(100, 5, 1), id, CpdNrtkTimeTag::ofMs((t + 3600000) % 3600000));
    }
    const int expect = r.unheard != 0 ? r.unheard : r.oldest;
    EXPECT_TRUE(s.add(mnsOf(100, 5, 1), 33, {}, rep, 0)) << r.what;
    EXPECT_EQ(rep, expect) << r.what;
    EXPECT_EQ(nrtktest::auxOf(s, expect), nullptr) << r.what;
    ASSERT_NE(nrtktest::auxOf(s, 33), nullptr) << r.what;
    EXPECT_EQ(nrtktest::auxOf(s, 33)->time.ms, -1) << r.what;
    EXPECT_EQ(nrtktest::auxCount(s), 32);
  }
}

TEST(NrtkBestAuxSet, Rules) {
  struct Row { int id, replaced; int pos; const char* what; };
  // Applied in order to one set.
  const Row rows[] = {
      {10, -1, 0, "first free"},      {11, -1, 1, "second free"},   {10, -1, 0, "present stays"},
      {12, -1, 2, ""},                {13, -1, 3, ""},              {14, -1, 4, ""},
      {15, -1, 5, "sixth"},           {16, -1, -1, "full, nothing replaced"},
      {17, 99, -1, "full, replaced id not among the six"},
      {18, 12, 2, "takes the replaced station's place"},
      {-1, 13, -1, "no station"},
  };
  CpdNrtkBestAuxSet b;
  for (const Row& r : rows) {
    b.add(r.id, r.replaced);
    EXPECT_EQ(b(r.id), r.pos) << r.what;
  }
  EXPECT_EQ(b(12), -1);
  EXPECT_EQ(b(-1), -1);
  b.clear();
  for (int id : {10, 11, 18, 13, 14, 15}) EXPECT_EQ(b(id), -1);
}

TEST(NrtkCorr, SatelliteListsHold44) {
  CpdNrtkCorr c;
  c.clear();
  EXPECT_EQ(std::tuple(c.hdr.time.ms, c.hdr.auxId, int(c.hdr.mns.master), c.hdr.counter), std::tuple(-1, -1, -2, 0));
  int added = 0;
  for (int id = 1; id <= 60; ++id) {
    CpdSv s;
    ASSERT_TRUE(CpdSv::fromId(id, s));
    CpdNrtkSvCorr* e = c.addSv(s);
    CpdNrtkResSv* r = c.addSvs(s);
    EXPECT_EQ(e != nullptr, id <= 44) << id;
    EXPECT_EQ(r != nullptr, id <= 44) << id;
    if (e != nullptr) {
      e->corr = id;
      ++added;
    }
  }
  EXPECT_EQ(std::tuple(added, c.svs.n, c.res.n), std::tuple(44, 44, 44));
  // A satellite present comes back as it is.
  CpdSv s;
  CpdSv::fromId(20, s);
  EXPECT_EQ(c.addSv(s)->corr, 20);
  EXPECT_EQ(c.svs.find(20)->corr, 20);
  EXPECT_EQ(c.svs.find(45), nullptr);
  EXPECT_EQ(c.addSv(CpdSv{}), nullptr);  // no satellite
  c.clear();
  EXPECT_EQ(std::tuple(c.svs.n, c.res.n), std::tuple(0, 0));
  EXPECT_EQ(c.svs.find(20), nullptr);
}

// ---- the rings ----------------------------------------------------------------------------------

CpdNrtkCorr* put(CpdNrtkCorrBufImp& b, std::int32_t time, int aux = 1, int master = 100) {
  CpdNrtkCorr* c = b.doObtain();
  if (c == nullptr) return nullptr;
  c->clear();
  c->hdr.time = at(time);
  c->hdr.auxId = aux;
  c->hdr.mns = mnsOf(master, 5, 1);
  b.doRelease(c);
  return c;
}

TEST(NrtkRing, FullRingDropsItsOldestOnObtain) {
  auto b = std::make_unique<CpdNrtkCorrBufImp>();
  EXPECT_EQ(b->doGet(), nullptr);
  for (int i = 1; i <= 6; ++i) put(*b, i * 1000);
  EXPECT_EQ(b->count(), 6);
  const CpdNrtkCorr* oldest = b->doFind(mnsOf(-2, 0, 0), -1, at(1000));
  ASSERT_NE(oldest, nullptr);
  b->doUnlock(oldest);
  CpdNrtkCorr* c = b->doObtain();
  ASSERT_NE(c, nullptr);
  // Gone on obtain, before the new epoch is released.
  EXPECT_EQ(b->doFind(mnsOf(-2, 0, 0), -1, at(1000)), nullptr);
  c->clear();
  c->hdr.time = at(7000);
  b->doRelease(c);
  EXPECT_EQ(b->count(), 6);
  EXPECT_EQ(b->doFind(mnsOf(-2, 0, 0), -1, at(1000)), nullptr);
  const CpdNrtkCorr* second = b->doFind(mnsOf(-2, 0, 0), -1, at(2000));
  EXPECT_NE(second, nullptr);
  b->doUnlock(second);
  const CpdNrtkCorr* g = b->doGet();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->hdr.time.ms, 7000);
  b->doUnlock(g);
}

TEST(NrtkRing, OneWriterAtATime) {
  auto b = std::make_unique<CpdNrtkCorrBufImp>();
  CpdNrtkCorr* c = b->doObtain();
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(b->doObtain(), nullptr);
  // Unpublished while written.
  EXPECT_EQ(b->doGet(), nullptr);
  b->doRelease(c);
  EXPECT_NE(b->doObtain(), nullptr);
}

// A record readers hold is never written: the writer takes a spare, and with both spares held
// too there is no record to write.
TEST(NrtkRing, HeldRecordsAreNeverOverwritten) {
  auto b = std::make_unique<CpdNrtkCorrBufImp>();
  for (int i = 1; i <= 6; ++i) put(*b, i * 1000, i);
  std::vector<const CpdNrtkCorr*> held;
  for (int round = 0; round < 3; ++round) {
    // The oldest epoch is the next one written over: a reader holds it.
    const std::int32_t oldestTime = (round + 1) * 1000;
    const CpdNrtkCorr* h = b->doFind(mnsOf(-2, 0, 0), -1, at(oldestTime));
    ASSERT_NE(h, nullptr) << round;
    held.push_back(h);
    CpdNrtkCorr* c = b->doObtain();
    if (round < 2) {
      ASSERT_NE(c, nullptr) << round;
      EXPECT_NE(c, h);
      c->clear();
      c->hdr.time = at(10000 + round);
      b->doRelease(c);
      // The held epoch is still whole and still found among the spares.
      EXPECT_EQ(h->hdr.time.ms, oldestTime);
      const CpdNrtkCorr* again = b->doFind(mnsOf(-2, 0, 0), round + 1, at(-1));
      EXPECT_EQ(again, h);
      b->doUnlock(again);
    } else {
      EXPECT_EQ(c, nullptr);
    }
  }
  for (const CpdNrtkCorr* h : held) b->doUnlock(h);
  EXPECT_NE(b->doObtain(), nullptr);
}

TEST(NrtkRing, ReclaimLeavesTheRingAsItWas) {
  auto b = std::make_unique<CpdNrtkCorrBufImp>();
  put(*b, 1000);
  CpdNrtkCorr* c = b->doObtain();
  c->clear();
  c->hdr.time = at(2000);
  b->doReclaim(c);
  const CpdNrtkCorr* g = b->doGet();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->hdr.time.ms, 1000);
  b->doUnlock(g);
  EXPECT_EQ(b->count(), 1);
  // A full ring lost its oldest in obtain and is no longer full.
  for (int i = 2; i <= 6; ++i) put(*b, i * 1000);
  c = b->doObtain();
  b->doReclaim(c);
  EXPECT_EQ(b->count(), 5);
  // Release or reclaim of a record not obtained does nothing.
  CpdNrtkCorr stray;
  b->doRelease(&stray);
  b->doReclaim(nullptr);
  EXPECT_EQ(b->count(), 5);
}

TEST(NrtkRing, ClearEmptiesAndFreesTheWriter) {
  auto b = std::make_unique<CpdNrtkCorrBufImp>();
  put(*b, 1000);
  put(*b, 2000);
  const CpdNrtkCorr* h = b->doGet();
  CpdNrtkCorr* c = b->doObtain();
  ASSERT_NE(c, nullptr);
  b->doClear();
  EXPECT_EQ(b->count(), 0);
  EXPECT_EQ(b->doGet(), nullptr);
  // The epoch being written was given back: the next one can be obtained and published.
  ASSERT_NE(put(*b, 3000), nullptr);
  const CpdNrtkCorr* g = b->doGet();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(g->hdr.time.ms, 3000);
  b->doUnlock(g);
  EXPECT_EQ(h->hdr.time.ms, 2000);  // held through the clear
  b->doUnlock(h);
}

TEST(NrtkRing, FindByTimeStationAndNetwork) {
  auto b = std::make_unique<CpdNrtkCorrBufImp>();
  // time, station, master (network 5/1)
  put(*b, 1000, 1, 100);
  put(*b, 2000, 2, 100);
  put(*b, 2000, 1, 100);
  put(*b, 3000, 2, 200);
  struct Row { int master, net, sub, aux; std::int32_t time; std::int32_t foundTime; int foundAux; const char* what; };
  const Row rows[] = {
      {-2, 0, 0, -1, -1, 3000, 2, "all any: newest"},
      {-2, 0, 0, 1, -1, 2000, 1, "station 1, newest first"},
      {-2, 0, 0, 2, 2000, 2000, 2, "station and time"},
      {-2, 0, 0, -1, 1000, 1000, 1, "time alone"},
      {100, 5, 1, -1, -1, 2000, 1, "master 100"},
      {200, 5, 1, 2, -1, 3000, 2, "master 200"},
      {100, 5, 2, -1, -1, -1, 0, "another subnetwork"},
      {100, 6, 1, -1, -1, -1, 0, "another network"},
      {-1, 5, 1, -1, -1, -1, 0, "master -1 is no wildcard"},
      {-2, 0, 0, 3, -1, -1, 0, "unknown station"},
      {-2, 0, 0, 1, 3000, -1, 0, "station 1 at 3000"},
      {-2, 0, 0, -2, -1, -1, 0, "station -2 is no wildcard"},
  };
  for (const Row& r : rows) {
    const CpdNrtkCorr* c = b->doFind(mnsOf(r.master, r.net, r.sub), r.aux, at(r.time));
    ASSERT_EQ(c != nullptr, r.foundTime >= 0) << r.what;
    if (c == nullptr) continue;
    EXPECT_EQ(std::tuple(c->hdr.time.ms, c->hdr.auxId), std::tuple(r.foundTime, r.foundAux)) << r.what;
    b->doUnlock(c);
  }
}

TEST(NrtkSafePtrArray, OutOfRangeSetsAndGetsNothing) {
  CpdNrtkCorrBufImp* one = &ionoBuf[0];
  const struct { int i; bool kept; } rows[] = {{-1, false}, {0, true}, {5, true}, {6, false}, {100, false}};
  for (const auto& r : rows) {
    CpdNrtkSafePtrArray a;
    a.set(r.i, one);
    EXPECT_EQ(a[r.i] == one, r.kept) << r.i;
    for (int k = 0; k < 6; ++k) {
      if (k != r.i) {
        EXPECT_EQ(a[k], nullptr) << r.i << " " << k;
      }
    }
  }
}

// Before and after the buffers are made, once in a process: in a process of its own.
TEST(NrtkInit, RingsInTheStoreAndTheStoreOnTheBaseBuffer) {
  testproc::inOwnProcess([] {
    rtcmNrtkInit();  // before the buffers: the rings only
    EXPECT_EQ(cpdAuxBase.nrtk, nullptr);
    cpdClientsInit();
    rtcmNrtkInit();
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(nrtk.iono[i], &ionoBuf[i]);
      EXPECT_EQ(nrtk.geom[i], &geomBuf[i]);
      EXPECT_EQ(nrtk.res[i], &resBuf[i]);
    }
    CpdAux* a = pBaseMeasBuf->doObtainAux();
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->nrtk, &nrtk);
    pBaseMeasBuf->doReleaseAux(a);
  });
}

}  // namespace
