// The geometric term of the base projection (CalcdS) against the satellite range evaluated here
// from brdc1820.10n after IS-GPS-200, against the precise orbit igs15904.sp3, and the step an
// ephemeris-issue change brings to the models.
#include "unit/differential/base_pro_test_util.h"
#include "unit/own_process.h"

namespace {

using namespace bptest;

class BaseProCalcdS : public testing::Test {
 protected:
  void SetUp() override {
    setUpChain();
    // The base position travels with the latest base epoch.
    CpdMeas* m = pBaseMeasBuf->doObtain();
    m->clear();
    m->id = 0;
    m->refPos.set(CpdCPos{kBase[0], kBase[1], kBase[2]});
    pBaseMeasBuf->doRelease(m);
  }
  void TearDown() override { SatPolynomStoreInstance.Init(); }

  static BasePro* model(int prn, int tms) {
    const int slot = prn - 1;
    EXPECT_EQ(BPC.FindSlot(0, slot, tms), 1);
    return BPC.at(0, slot);
  }
};

struct TimeRow {
  const char* name;
  double offset;  // s after kT0
  double code;    // m, the measured code (transmit time)
};
const TimeRow kTimes[] = {
    {"on the hour", 0.0, 2.10e7},
    {"17.3 s later, long code", 17.3, 2.55e7},
    {"45 s later, short code", 45.0, 2.02e7},
    {"one minute later", 60.0, 2.30e7},
};

TEST_F(BaseProCalcdS, RangeMatchesTheBroadcastOrbitWithinOneMillimetre) {
  testproc::inOwnProcess([&] {
    const auto recs = recordsAt(kT0);
    ASSERT_GE(recs.size(), 25u);
    int checked = 0;
    for (const TimeRow& row : kTimes) {
      OrbitFeed feed;
      for (const auto& [prn, e] : recs) feed.add(e);
      const double T = kT0 + row.offset;
      feed.refresh(T);
      BPC.Reset(0);
      for (const auto& [prn, e] : recs) {
        SCOPED_TRACE(testing::Message() << row.name << " G" << prn);
        BasePro* p = model(prn, hourMs(T));
        ASSERT_NE(p, nullptr);
        double out[bpro::kRefs] = {};
        p->CalcdS(CpdSv::make(CpdSv::kGps, prn), hourMs(T), T, 0, row.code, 0, 0, -1, out);
        EXPECT_NEAR(p->dSat, gpsRange(e, T, row.code, kBase), 1e-3);
        EXPECT_EQ(p->tdSat, T);
        EXPECT_EQ(p->issue, e.iode);
        ++checked;
      }
    }
    EXPECT_GE(checked, 100);
  });
}

// The precise orbit (centre of mass, precise clock not used): the broadcast-based term agrees
// within the broadcast orbit's error. The measured code is chosen so that the signal left the
// satellite at the precise orbit's epoch.
TEST_F(BaseProCalcdS, RangeAgreesWithThePreciseOrbit) {
  testproc::inOwnProcess([&] {
    const auto sp3 = navfiles::readSp3(navfiles::testdata("igs15904.sp3"));
    ASSERT_FALSE(sp3.empty());
    const double epochs[] = {kT0, kT0 + 900.0, kT0 + 1800.0};
    int checked = 0;
    for (double te : epochs) {
      const auto recs = recordsAt(te);
      BPC.Reset(0);
      for (const auto& pt : sp3) {
        if (pt.sow != te || !recs.count(pt.prn)) continue;
        SCOPED_TRACE(testing::Message() << "G" << pt.prn << " at " << te);
        const ZRT_EPH_GPS& e = recs.at(pt.prn);
        const double dx = pt.pos[0] - kBase[0], dy = pt.pos[1] - kBase[1], dz = pt.pos[2] - kBase[2];
        const double geo = std::sqrt(dx * dx + dy * dy + dz * dz);
        double p[3], clk = 0.0;
        gpsOrbit(e, te, p, clk);
        gpsOrbit(e, te, p, clk);
        const double code = geo + 1000.0;
        const double T = te + clk + code / kC;  // transmit time te in GPS time
        OrbitFeed feed;
        feed.add(e);
        feed.refresh(T);
        BasePro* m = model(pt.prn, hourMs(T));
        ASSERT_NE(m, nullptr);
        m->CalcdS(CpdSv::make(CpdSv::kGps, pt.prn), hourMs(T), T, 0, code, 0, 0, -1, nullptr);
        const double want = geo - kC * clk + (pt.pos[0] * kBase[1] - pt.pos[1] * kBase[0]) * 7.2921151467e-5 / kC;
        EXPECT_NEAR(m->dSat, want, 5.0);
        ++checked;
      }
    }
    EXPECT_GE(checked, 50);
  });
}

// Two issues in the store: the current one and the one the term was computed with. The phase
// models keep tracking the measured phase less the term, so they move by (old - new) / lambda;
// a reference satellite hands (new - old) / lambda on to the models referred to it.
TEST_F(BaseProCalcdS, AnIssueChangeMovesThePhaseModelsByTheStepOfTheTerm) {
  testproc::inOwnProcess([&] {
    const double T = kT0 + 600.0;
    const auto recs = recordsAt(T);
    int checked = 0;
    for (const auto& [prn, cur] : recs) {
      ZRT_EPH_GPS old{};
      if (!otherRecord(prn, cur.iode, T, old)) continue;
      SCOPED_TRACE(testing::Message() << "G" << prn << " issue " << old.iode << " -> " << cur.iode);
      for (bool isRef : {false, true}) {
        SatPolynomStoreInstance.Init();
        BPC.Reset(0);
        BPC.ref[0] = isRef ? static_cast<std::uint16_t>(prn - 1) : bpro::kNoSlot;
        const SvIdType id{static_cast<std::uint8_t>(prn - 1), kSysGps, 0, static_cast<std::uint8_t>(prn - 1)};
        PolyNodeRing r0, r1;
        bool c0 = false, c1 = false;
        SatData::PolynomSetType set{};
        ASSERT_TRUE(update_SatellitePolynom(kSysGps, old, T - 1.0, r0, c0, set.entry[0]));
        set.entry[0].iod = old.iode;
        set.entry[1].iod = kPolyNoIod;
        ASSERT_TRUE(SatPolynomStoreInstance.Put(id, &set));
        BasePro* p = model(prn, hourMs(T - 1.0));
        ASSERT_NE(p, nullptr);
        const double code = 2.2e7;
        p->CalcdS(CpdSv::make(CpdSv::kGps, prn), hourMs(T - 1.0), T - 1.0, 0, code, 0, 0, -1, nullptr);
        ASSERT_EQ(p->issue, old.iode);
        for (int s = 0; s < bpro::kSignals; ++s) p->Fi[s] = 100.0 * s;
        // The new record arrives; the old one stays as the second entry.
        SatData::PolynomSetType both{};
        ASSERT_TRUE(update_SatellitePolynom(kSysGps, cur, T, r1, c1, both.entry[0]));
        both.entry[0].iod = cur.iode;
        PolyNodeRing r2;
        bool c2 = false;
        ASSERT_TRUE(update_SatellitePolynom(kSysGps, old, T, r2, c2, both.entry[1]));
        both.entry[1].iod = old.iode;
        ASSERT_TRUE(SatPolynomStoreInstance.Put(id, &both));
        double out[bpro::kRefs] = {};
        p->CalcdS(CpdSv::make(CpdSv::kGps, prn), hourMs(T), T, 0, code, 0, 0, -1, out);
        EXPECT_EQ(p->issue, cur.iode);
        const double step = gpsRange(cur, T, code, kBase) - gpsRange(old, T, code, kBase);
        EXPECT_NEAR(p->dSat, gpsRange(cur, T, code, kBase), 1e-3);
        for (int s = 0; s < bpro::kSignals; ++s) {
          const double f = calcfr(prn - 1, s);
          EXPECT_NEAR(p->Fi[s], 100.0 * s - step * f / kC, 1e-2) << "signal " << s;
        }
        EXPECT_NEAR(out[0], isRef ? step * kL1 / kC : 0.0, 1e-2) << (isRef ? "reference" : "no reference");
        ++checked;
      }
    }
    EXPECT_GE(checked, 4);
  });
}

struct SkipRow {
  const char* name;
  bool basePos;     // a base epoch with a position in the buffer
  bool orbit;       // the satellite has an orbit
  double lastT;     // time of the last term (-1 never)
  double T;
  bool recomputed;
  bool zeroed;      // dSat left 0 after a failed orbit
};
const SkipRow kSkips[] = {
    {"first term", true, true, -1.0, kT0, true, false},
    {"same time again", true, true, kT0, kT0, false, false},
    {"earlier time", true, true, kT0, kT0 - 1.0, false, false},
    {"across the week end", true, true, 604790.0, 5.0, true, false},
    {"no base position", false, true, -1.0, kT0, false, false},
    {"no orbit", true, false, -1.0, kT0, false, true},
};

TEST_F(BaseProCalcdS, WhenTheTermIsRecomputed) {
  testproc::inOwnProcess([&] {
    const auto recs = recordsAt(kT0);
    const int prn = recs.begin()->first;
    for (const SkipRow& row : kSkips) {
      SCOPED_TRACE(row.name);
      setUpChain();
      if (row.basePos) {
        CpdMeas* m = pBaseMeasBuf->doObtain();
        m->clear();
        m->refPos.set(CpdCPos{kBase[0], kBase[1], kBase[2]});
        pBaseMeasBuf->doRelease(m);
      }
      OrbitFeed feed;
      if (row.orbit) {
        ZRT_EPH_GPS e = recs.begin()->second;
        // The week-end row keeps the orbit's own time base: shift toe and toc with the time.
        if (row.T < 100.0) {
          e.toe = static_cast<std::uint32_t>(e.toe - 4 * 86400 - 7200);
          e.toc -= 4 * 86400 + 7200;
        }
        feed.add(e);
        feed.refresh(row.T);
      }
      BasePro* p = model(prn, hourMs(row.T));
      ASSERT_NE(p, nullptr);
      p->tdSat = row.lastT;
      p->dSat = 123.0;
      p->CalcdS(CpdSv::make(CpdSv::kGps, prn), hourMs(row.T), row.T, 0, 2.1e7, 0, 0, -1, nullptr);
      if (row.recomputed) {
        EXPECT_NE(p->dSat, 123.0);
        EXPECT_EQ(p->tdSat, row.T);
      } else {
        EXPECT_EQ(p->dSat, row.zeroed ? 0.0 : 123.0);
      }
    }
  });
}

}  // namespace
