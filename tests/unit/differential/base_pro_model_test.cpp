// The projection models one by one: the gain table, the projection against the decaying-
// acceleration model integrated here step by step, ageing, the clock-jump handling of an update,
// the container's slot table and reference hand-over, and the outlier statistic.
#include "unit/differential/base_pro_test_util.h"

namespace {

using namespace bptest;

// ---- gains ---------------------------------------------------------------------------------------

struct GainRow {
  const char* name;
  double dt;
  int n;
  float v, r, a;  // from the published rows, interpolated by hand
};
const GainRow kGains[] = {
    {"below the first row", 0.2, 10, 0.29241f, 0.16771f, 0.01062f},
    {"first row", 0.3, 10, 0.29241f, 0.16771f, 0.01062f},
    {"halfway 0.3-0.4", 0.35, 10, 0.32838f, 0.186195f, 0.013785f},
    {"negative interval", -0.35, 10, 0.32838f, 0.186195f, 0.013785f},
    {"count 59 still start-up", 0.35, 59, 0.32838f, 0.186195f, 0.013785f},
    {"count 60 settled", 0.35, 60, 0.4135f, 0.065f, 0.00055f},
    {"count -1 start-up", 0.5, -1, 0.42883f, 0.23736f, 0.0238f},
    {"one second", 1.0, 0, 0.66375f, 0.34828f, 0.05604f},
    {"halfway 1-2", 1.5, 0, 0.77118f, 0.378625f, 0.068485f},
    {"five seconds settled", 5.0, 60, 0.95f, 0.066f, 0.0f},
    {"halfway 9-10", 9.5, 0, 0.99915f, 0.15861f, 0.01255f},
    {"just below ten: last row", 9.9995, 0, 0.99932f, 0.1505f, 0.01127f},
    {"ten", 10.0, 0, 0.99932f, 0.1505f, 0.01127f},
    {"twelve: last row", 12.0, 0, 0.99932f, 0.1505f, 0.01127f},
    {"twelve settled", 12.0, 100, 1.0f, 0.05f, 0.0f},
};

TEST(BaseProModel, GainTable) {
  for (const GainRow& g : kGains) {
    SCOPED_TRACE(g.name);
    EXPECT_NEAR(K(0, g.dt, g.n), g.v, 2e-5);
    EXPECT_NEAR(K(1, g.dt, g.n), g.r, 2e-5);
    EXPECT_NEAR(K(2, g.dt, g.n), g.a, 2e-5);
  }
  EXPECT_EQ(K(3, 1.0, 0), 0.0f);
  EXPECT_EQ(K(0, std::nan(""), 0), K(0, 0.0, 0));
}

// ---- projection ---------------------------------------------------------------------------------

// Value, rate and acceleration after dt when the acceleration decays as exp(-t/T), integrated in
// small steps (T 0: the acceleration is gone at once).
void integrate(double v, double r, double a, double T, double dt, double out[3]) {
  if (T <= 0.0) {
    out[0] = v + r * dt;
    out[1] = r;
    out[2] = 0.0;
    return;
  }
  const int n = 200000;
  const double h = dt / n;
  for (int k = 0; k < n; ++k) {
    const double a0 = a * std::exp(-k * h / T), a1 = a * std::exp(-(k + 0.5) * h / T), a2 = a * std::exp(-(k + 1) * h / T);
    const double rMid = r + (a0 + a1) / 2 * h / 2;
    const double rEnd = r + (a0 + 4 * a1 + a2) / 6 * h;
    v += (r + 4 * rMid + rEnd) / 6 * h;
    r = rEnd;
  }
  out[0] = v;
  out[1] = r;
  out[2] = a * std::exp(-dt / T);
}

struct ProjRow {
  const char* name;
  double tcorr;
  double modelTime, t;
  double dt;  // the interval expected
};
const ProjRow kProjs[] = {
    {"one second", 5.0, 100.0, 101.0, 1.0},
    {"half a second", 5.0, 100.0, 100.5, 0.5},
    {"five seconds", 5.0, 10.0, 15.0, 5.0},
    {"long: acceleration spent", 5.0, 0.0, 120.0, 120.0},
    {"3599 after 3598", 5.0, 3598.0, 3599.0, 1.0},
    {"across the hour", 5.0, 3599.5, 0.5, 1.0},
    {"across the hour, two seconds", 5.0, 3598.0, 0.0, 2.0},
    {"correlation time 1 s", 1.0, 50.0, 52.0, 2.0},
    {"correlation time 0: acceleration off", 0.0, 50.0, 52.0, 2.0},
};

TEST(BaseProModel, ProjectionFollowsTheDecayingAccelerationModel) {
  for (const ProjRow& row : kProjs) {
    SCOPED_TRACE(row.name);
    freshContainer();
    Tcorr = row.tcorr;
    ASSERT_EQ(BPC.FindSlot(0, 5, 0), 1);
    BasePro& p = *BPC.at(0, 5);
    p.T[0] = row.modelTime;
    p.Fi[0] = 1000.0, p.dFi[0] = 2.5, p.ddFi[0] = 0.3;
    p.Ro[0] = 2.0e7, p.dRo[0] = -400.0, p.ddRo[0] = 0.12;
    p.Proj(row.t, 0);
    EXPECT_DOUBLE_EQ(p.dtp[0], row.dt);
    EXPECT_EQ(p.T[0], row.t);
    double ph[3], co[3];
    integrate(1000.0, 2.5, 0.3, row.tcorr, row.dt, ph);
    integrate(2.0e7, -400.0, 0.12, row.tcorr, row.dt, co);
    // A projection 20 correlation times out takes the acceleration as spent.
    EXPECT_NEAR(p.Fi[0], ph[0], 1e-6);
    EXPECT_NEAR(p.dFi[0], ph[1], 1e-8);
    EXPECT_NEAR(p.ddFi[0], ph[2], 1e-10);
    EXPECT_NEAR(p.Ro[0], co[0], 1e-11 * std::fabs(co[0]));
    EXPECT_NEAR(p.dRo[0], co[1], 1e-8);
    EXPECT_TRUE(std::isfinite(p.Fi[0]) && std::isfinite(p.ddFi[0]));
  }
}

// The cached terms of an interval are not reused once the correlation time has changed.
TEST(BaseProModel, ProjectionCacheFollowsTheCorrelationTime) {
  freshContainer();
  ASSERT_EQ(BPC.FindSlot(0, 0, 0), 1);
  BasePro& p = *BPC.at(0, 0);
  p.ddFi[0] = 1.0;
  p.Proj(1.0, 0);
  Tcorr = 2.0;
  p.Fi[0] = p.dFi[0] = 0.0, p.ddFi[0] = 1.0;
  p.Proj(2.0, 0);
  double want[3];
  integrate(0.0, 0.0, 1.0, 2.0, 1.0, want);
  EXPECT_NEAR(p.Fi[0], want[0], 1e-9);
  EXPECT_NEAR(p.dFi[0], want[1], 1e-9);
}

struct RRoRow {
  const char* name;
  double modelTime, t;
  bool withRef;
  double refAcc;  // a large acceleration leaves the acceleration part out (|c| >= 5 m)
  bool zero;      // outside the hour: 0
};
const RRoRow kRRo[] = {
    {"own model", 100.0, 101.5, false, 0.0, false},
    {"with the reference", 100.0, 101.5, true, 0.5, false},
    {"reference acceleration too large", 100.0, 104.0, true, 50.0, false},
    {"across the hour", 3599.0, 0.5, true, 0.5, false},
    {"more than an hour back", 3000.0, -700.0, false, 0.0, true},
};

TEST(BaseProModel, ProjectedCodeAddsTheReferenceModel) {
  for (const RRoRow& row : kRRo) {
    SCOPED_TRACE(row.name);
    freshContainer();
    ASSERT_EQ(BPC.FindSlot(0, 3, 0), 1);
    ASSERT_EQ(BPC.FindSlot(0, 9, 0), 1);
    BasePro& own = *BPC.at(0, 3);
    BasePro& ref = *BPC.at(0, 9);
    own.T[0] = row.modelTime;
    own.Ro[0] = 100.0, own.dRo[0] = 2.0, own.ddRo[0] = 0.1;
    ref.Ro[0] = 2.2e7, ref.dRo[0] = -300.0, ref.ddRo[0] = row.refAcc;
    if (row.withRef) BPC.ref[0] = 9;
    const double got = own.ProjRRo(row.t, 0);
    if (row.zero) {
      EXPECT_EQ(got, 0.0);
      continue;
    }
    const double dt = row.t - row.modelTime + (row.t < row.modelTime ? 3600.0 : 0.0);
    const double T = 5.0, g = T * dt - T * T * (1.0 - std::exp(-dt / T));
    const double rv = row.withRef ? ref.Ro[0] : 0.0, rr = row.withRef ? ref.dRo[0] : 0.0, ra = row.withRef ? ref.ddRo[0] : 0.0;
    double want = rv + 100.0 + (rr + 2.0) * dt;
    if (std::fabs(g * (ra + 0.1)) < 5.0) want += g * (ra + 0.1);
    EXPECT_NEAR(got, want, 1e-6);
    EXPECT_EQ(own.T[0], row.modelTime);  // nothing moved
  }
}

struct StatusRow {
  const char* name;
  double modelTime, t;
  int s;
  int want;
  bool idled;
};
const StatusRow kStatus[] = {
    {"fresh", 100.0, 100.0, 0, 1, false},
    {"textr + 1 s old", 100.0, 131.0, 0, 1, false},
    {"older than textr + 1 s", 100.0, 131.5, 0, 0, true},
    {"across the hour, young", 3590.0, 5.0, 0, 1, false},
    {"slightly back: an hour old", 100.0, 90.0, 0, 0, true},
    {"more than an hour back", 3599.0, -2.0, 0, 0, true},
    {"signal 6", 100.0, 100.0, 6, 0, false},
};

TEST(BaseProModel, StatusAgesSignalsOut) {
  for (const StatusRow& row : kStatus) {
    SCOPED_TRACE(row.name);
    freshContainer();
    RcvSet.rtk.textr = 30.0f;
    ASSERT_EQ(BPC.FindSlot(0, 1, 0), 1);
    BasePro& p = *BPC.at(0, 1);
    p.T[0] = row.modelTime;
    EXPECT_EQ(p.Status(row.t, row.s), row.want);
    EXPECT_EQ(p.st[0], row.idled ? 0 : 1);
  }
}

// ---- updates from measurements ------------------------------------------------------------------

constexpr double kDSat = 2.2e7;  // a fixed geometric term for the model-level rows

// Feeds one absolute (no reference) GPS L1 model of slot `slot` with phase and code that, less
// the geometric term, are A + D t cycles and B + D lambda t m.
struct Line {
  double A = 1234.25, D = 1.6, B = 150.0;
  double phase(double t, int slot = 0) const { return calcfr(slot, 0) * kDSat / kC + A + D * t; }
  double code(double t) const { return kDSat + B + D * kLambda1 * t; }
};

void step(BasePro& p, int slot, double t, double phi, double code, int s = 0) {
  p.dSat = kDSat;
  p.Add(CpdSv::make(CpdSv::kGps, slot + 1), static_cast<int>(std::llround(t * 1000.0)), 1.0, phi, code, s, slot, -1);
  if (p.dtp[s] > 0.0) p.Update(s);
}

struct JumpRow {
  const char* name;
  double ms;   // base clock jump
  bool idled;  // above 80 ms
};
const JumpRow kJumps[] = {
    {"1 ms", 1.0, false},  {"-1 ms", -1.0, false},   {"50 ms", 50.0, false},
    {"80 ms", 80.0, false}, {"81 ms", 81.0, true},    {"100 ms", 100.0, true},
};

// Without a reference a base clock jump of whole milliseconds is found and taken out: the phase
// model moves by f j less the drift over j, the code by that times c / f, before the gains; from
// the next epoch on the projection follows the jumped signal. A jump of j moves the base's epoch
// by j: the signal becomes f j plus the line taken j earlier (code: c j plus the line j earlier).
TEST(BaseProModel, ClockJumpWithoutReference) {
  for (const JumpRow& row : kJumps) {
    SCOPED_TRACE(row.name);
    freshContainer();
    ASSERT_EQ(BPC.FindSlot(0, 4, 0), 1);
    BasePro& p = *BPC.at(0, 4);
    Line L;
    double t = 100.0;
    for (int k = 0; k < 20; ++k, t += 1.0) step(p, 4, t, L.phase(t, 4), L.code(t));
    const double j = row.ms / 1000.0;
    const double f = calcfr(4, 0);
    // The jump epoch, halted before the gains.
    p.dSat = kDSat;
    p.Add(CpdSv::make(CpdSv::kGps, 5), static_cast<int>(t * 1000.0), 1.0, L.phase(t - j, 4) + f * j, L.code(t - j) + kC * j, 0, 4, -1);
    const double fiBefore = p.Fi[0], roBefore = p.Ro[0], rate = p.dFi[0], acc = p.ddFi[0];
    const double res = p.resFi[0], resRo = p.resRo[0], dt = p.dtp[0];
    const int n = p.cnt[0];
    p.Update(0);
    if (row.idled) {
      EXPECT_EQ(p.st[0], 0);
      continue;
    }
    const double J = f * j - (rate + acc * j / 2) * j;
    if (row.ms == 1.0) {
      EXPECT_NEAR(J, 1575420.0 - 1.6e-3, 1e-4);
    }
    const double Jc = J * kC / f;
    EXPECT_NEAR(p.Fi[0], fiBefore + J + (res - J) * K(0, dt, -1), 1e-6);
    EXPECT_NEAR(p.Ro[0], roBefore + Jc + (resRo - Jc) * K(0, dt, -1), 1e-6);
    EXPECT_EQ(p.cnt[0], n + 1);
    // Later epochs: the projection keeps to the jumped signal.
    for (int k = 0; k < 5; ++k) {
      t += 1.0;
      step(p, 4, t, L.phase(t - j, 4) + f * j, L.code(t - j) + kC * j);
      BasePro probe = p;
      probe.Proj(t + 1.5, 0);
      EXPECT_NEAR(probe.Fi[0], L.A + L.D * (t + 1.5 - j) + f * j, 1e-3) << "epoch " << k;
      EXPECT_NEAR(p.ProjRRo(t + 1.5, 0), L.code(t + 1.5 - j) + kC * j, 1e-3) << "epoch " << k;
    }
  }
}

// ---- container ----------------------------------------------------------------------------------

TEST(BaseProModel, FortyFourModelsAtMost) {
  freshContainer();
  for (int k = 0; k < 44; ++k) EXPECT_EQ(BPC.FindSlot(0, k * 4, 1000), 1) << k;
  EXPECT_EQ(BPC.FindSlot(0, 194, 1000), 0);  // the 45th
  EXPECT_EQ(BPC.at(0, 194), nullptr);
  EXPECT_EQ(BPC.FindSlot(0, 8, 1000), 1);  // has one already
  const BasePro* p = BPC.at(0, 8);
  ASSERT_NE(p, nullptr);
  for (int s = 0; s < 6; ++s) {
    EXPECT_EQ(p->st[s], 1);
    EXPECT_EQ(p->T[s], 1.0);
    EXPECT_EQ(p->cnt[s], 0);
  }
  // The full reset empties every model and the table.
  BPC.Reset(0);
  for (int k = 0; k < 44; ++k) {
    EXPECT_EQ(BPC.bp[k].slot, bpro::kNoSlot);
    EXPECT_EQ(BPC.bp[k].issue, -1);
    EXPECT_EQ(BPC.bp[k].tdSat, -1.0);
  }
  for (int s = 0; s < bpro::kSlots; ++s) EXPECT_EQ(BPC.at(0, s), nullptr);
  EXPECT_EQ(BPC.FindSlot(0, 194, 1000), 1);
}

struct BadSlotRow {
  const char* name;
  int b, k, slot;
};
const BadSlotRow kBadSlots[] = {
    {"slot 195 (none)", 0, 0, 195}, {"slot 300", 0, 0, 300}, {"slot -1", 0, 0, -1},
    {"entry 42", 0, 42, 3},        {"entry -1", 0, -1, 3},  {"baseline 1", 1, 0, 3},
    {"slot of another system", 0, 6, 3},
};

// An unchecked slot or entry changes nothing and reads nothing outside the tables.
TEST(BaseProModel, OutOfRangeSlotsAreRefused) {
  for (const BadSlotRow& row : kBadSlots) {
    SCOPED_TRACE(row.name);
    freshContainer();
    ASSERT_EQ(BPC.FindSlot(0, 3, 0), 1);
    ASSERT_EQ(BPC.FindSlot(0, 7, 0), 1);
    BPC.at(0, 3)->Fi[0] = 5.0;
    BPC.at(0, 7)->Fi[0] = 1.0;
    EXPECT_EQ(BPC.FindSlot(row.b, row.slot, 0), row.slot >= 0 && row.slot < 195 && row.b == 0 ? 1 : 0);
    BPC.ChangeRef(row.b, row.k, row.slot, 1.0);
    EXPECT_EQ(BPC.at(0, 7)->Fi[0], 1.0);
    EXPECT_EQ(BPC.at(row.b, row.slot), row.b == 0 && row.slot >= 0 && row.slot < 195 ? BPC.tab[row.slot] : nullptr);
  }
}

TEST(BaseProModel, SetNumDropsModelsWithoutActiveSignals) {
  freshContainer();
  RcvSet.rtk.textr = 30.0f;
  ASSERT_EQ(BPC.FindSlot(0, 10, 100000), 1);
  ASSERT_EQ(BPC.FindSlot(0, 11, 100000), 1);
  BPC.at(0, 11)->T[2] = 140.0;  // one signal kept young
  BPC.SetNum(0, 140000);
  EXPECT_EQ(BPC.at(0, 10), nullptr);
  ASSERT_NE(BPC.at(0, 11), nullptr);
  EXPECT_EQ(BPC.at(0, 11)->st[0], 0);
  EXPECT_EQ(BPC.at(0, 11)->st[2], 1);
  int free = 0;
  for (const BasePro& p : BPC.bp) free += p.slot == bpro::kNoSlot;
  EXPECT_EQ(free, 43);
}

// Handing the reference over (+1 for the old one, -1 for the new one) keeps every satellite's
// absolute model, its own plus its reference's.
TEST(BaseProModel, ReferenceHandOverKeepsAbsoluteModels) {
  freshContainer();
  const int slots[] = {1, 4, 9, 17, 30};
  const int oldRef = 4, newRef = 17;
  const int s = 3, k = 0 * 6 + s;
  for (int q : slots) ASSERT_EQ(BPC.FindSlot(0, q, 0), 1);
  for (int q : slots) {
    BasePro& p = *BPC.at(0, q);
    p.Fi[s] = 1000.0 * q + 0.123, p.dFi[s] = 0.5 * q, p.ddFi[s] = 0.01 * q, p.FiAux[s] = q;
    p.Ro[s] = 2e7 + q, p.dRo[s] = -3.0 * q, p.ddRo[s] = 0.002 * q;
    p.resFi[s] = 0.01 * q, p.resRo[s] = 0.1 * q;
  }
  BPC.ref[k] = oldRef;
  auto absolute = [&](int q, int ref, double out[9]) {
    const BasePro& p = *BPC.at(0, q);
    const BasePro* r = q == ref ? nullptr : BPC.at(0, ref);
    const double* f[9] = {&p.Fi[s], &p.dFi[s], &p.ddFi[s], &p.FiAux[s], &p.resFi[s], &p.Ro[s], &p.dRo[s], &p.ddRo[s], &p.resRo[s]};
    for (int i = 0; i < 9; ++i) out[i] = *f[i];
    if (r != nullptr) {
      const double* g[9] = {&r->Fi[s], &r->dFi[s], &r->ddFi[s], &r->FiAux[s], &r->resFi[s], &r->Ro[s], &r->dRo[s], &r->ddRo[s], &r->resRo[s]};
      for (int i = 0; i < 9; ++i) out[i] += *g[i];
    }
  };
  double before[5][9];
  for (int i = 0; i < 5; ++i) absolute(slots[i], oldRef, before[i]);
  const double projBefore = BPC.at(0, 30)->ProjRRo(1.5, s);
  BPC.ChangeRef(0, k, oldRef, +1.0);
  BPC.ChangeRef(0, k, newRef, -1.0);
  BPC.ref[k] = newRef;
  for (int i = 0; i < 5; ++i) {
    double after[9];
    absolute(slots[i], newRef, after);
    for (int f = 0; f < 9; ++f) EXPECT_NEAR(after[f], before[i][f], 1e-9 * std::max(1.0, std::fabs(before[i][f]))) << slots[i] << " field " << f;
  }
  EXPECT_NEAR(BPC.at(0, 30)->ProjRRo(1.5, s), projBefore, 1e-6);
  // Other signals and idle signals are left alone.
  EXPECT_EQ(BPC.at(0, 1)->Fi[0], 0.0);
}

// ---- outlier statistic --------------------------------------------------------------------------

struct ExclRow {
  const char* name;
  int slot;
  bool withRef;
  double scale;  // GLONASS cycles to GPS L1 cycles, else 1
};
const ExclRow kExcl[] = {
    {"GPS", 5, false, 1.0},
    {"GPS with a reference", 5, true, 1.0},
    {"GLONASS channel -7", 32, false, 1.57542e9 / (1.602e9 - 7 * 562500.0)},
    {"GLONASS channel 0", 39, true, 1.57542e9 / 1.602e9},
    {"GLONASS channel +7", 46, false, 1.57542e9 / (1.602e9 + 7 * 562500.0)},
    {"Galileo E01", 47, false, 1.0},
    {"Galileo E08", 54, true, 1.0},
};

TEST(BaseProModel, OutlierStatistic) {
  for (const ExclRow& row : kExcl) {
    SCOPED_TRACE(row.name);
    freshContainer();
    const int sys = bpro::slotSys(row.slot);
    const int ref = bpro::sysFirstSlot(sys) + (row.slot == bpro::sysFirstSlot(sys) ? 1 : 0) + 2;
    ASSERT_EQ(BPC.FindSlot(0, row.slot, 0), 1);
    ASSERT_EQ(BPC.FindSlot(0, ref, 0), 1);
    BPC.at(0, row.slot)->resFi[0] = 0.25;
    BPC.at(0, ref)->resFi[0] = 0.5;
    if (row.withRef) BPC.ref[sys * 6] = static_cast<std::uint16_t>(ref);
    EXPECT_NEAR(dExcl(row.slot, 0, 0, sys), (row.withRef ? 0.75 : 0.25) * row.scale, 1e-12);
    // The reference itself is its own statistic.
    if (row.withRef) {
      const double refScale = bpro::isGloSlot(ref) ? 1.57542e9 / (1.602e9 + (ref - 39) * 562500.0) : 1.0;
      EXPECT_NEAR(dExcl(ref, 0, 0, sys), 0.5 * refScale, 1e-12);
    }
  }
}

}  // namespace
