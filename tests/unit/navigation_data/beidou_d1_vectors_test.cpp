// The D1 decoder against the public test vectors (real C06 and C19 subframes, BDS week 810):
// every D1 vector goes through the decoder, and every expected value of the objects the
// receiver also builds (ephemeris, group delays, Klobuchar model, almanac, UTC) is compared
// with what reaches the store and the ionosphere server.
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "beidou_test_util.h"
#include "navigation_data/bit_extract.h"
#include "navigation_data/orbits/beidou_eph.h"
#include "navigation_data/orbits/gps_orbit.h"
#include "unit/own_process.h"

using namespace bdstest;

namespace {

constexpr double kPi = 3.141592653589793;

struct Expected {
  std::string test, object, field, kind, value;
};

std::vector<Expected> loadExpected(const std::string& objects = "BDSD1") {
  std::vector<Expected> out;
  for (const auto& c : navfiles::vectorRows("gnsstk_expected_values.csv")) {
    if (c.size() < 10 || c[5].rfind(objects, 0) != 0) continue;
    out.push_back({c[1], c[5], c[6], c[8], c[9]});
  }
  return out;
}

using Getter = std::function<double()>;

// Fields of the vectors' objects that the receiver's records do not carry: the message
// bookkeeping (preamble, revision, subframe times), fit-interval ends and health objects of
// their own design, the derived orbit terms the broadcast does not send (A from sqrt(A),
// Adot, dn-dot, harmonic terms of an almanac), and the pages the receiver does not use
// (page 9, the extended almanac of subframe 5 pages 11-24).
const std::set<std::string> kNotCarried = {
    "timeStamp", "xmitTime", "xmit2", "xmit3", "pre", "pre2", "pre3", "rev", "rev2", "rev3", "fraID", "sow",
    "sow2", "sow3", "beginFit", "endFit", "isc", "isAlmHealth", "svHealth", "Adot", "dndot", "Toc", "pnum",
    "isDefault", "health", "Cus", "Cuc", "Crc", "Crs", "Cic", "Cis", "idot", "dn", "af2", "src", "tgt",
    "a2", "refTime", "effTime", "tot", "wnot", "validate()"};

double num(const std::string& s) { return s == "true" ? 1 : s == "false" ? 0 : std::stod(s); }

void compare(const std::string& what, const std::vector<Expected>& rows, const std::map<std::string, Getter>& get,
             const std::set<std::string>& alsoSkip = {}) {
  int compared = 0;
  for (const Expected& e : rows) {
    const auto it = get.find(e.field);
    if (it == get.end()) {
      EXPECT_TRUE(kNotCarried.count(e.field) || alsoSkip.count(e.field)) << what << ": no counterpart for " << e.field;
      continue;
    }
    ASSERT_TRUE(e.kind == "number" || e.kind == "bool" || e.kind == "time") << e.field;
    double want = 0;
    if (e.kind == "time") {
      want = std::stod(e.value.substr(e.value.find("\"sow\": ") + 7));
    } else {
      want = num(e.value);
    }
    const double got = it->second();
    EXPECT_NEAR(got, want, std::fabs(want) * 2e-7 + 1e-19) << what << " " << e.field;
    ++compared;
  }
  EXPECT_GT(compared, 0) << what;
}

std::vector<Expected> rowsOf(const std::vector<Expected>& all, const std::string& test, const std::string& object) {
  std::vector<Expected> out;
  for (const Expected& e : all)
    if (e.test == test && e.object == object) out.push_back(e);
  return out;
}

struct VectorRun : Harness {
  std::vector<std::pair<std::string, Vector>> vec = loadD1Vectors();
  const Vector& at(const std::string& name) {
    for (const auto& [n, v] : vec)
      if (n == name) return v;
    ADD_FAILURE() << name;
    return vec.front().second;
  }
  void feedNamed(const std::string& name) { feed(at(name).sv, at(name).w); }
  void ephemeris() {
    feedNamed("ephD1NAVSF1");
    feedNamed("ephD1NAVSF2");
    feedNamed("ephD1NAVSF3");
  }
};

}  // namespace

TEST_OWN(BeidouD1Vectors, EphemerisGroupDelaysAndKlobucharAsExpected) {
  VectorRun h;
  const auto all = loadExpected();
  h.ephemeris();
  const ZRT_EPH_CMP* r = h.eph(bds(6), 345614, 810);
  ASSERT_NE(r, nullptr);
  const std::map<std::string, Getter> eph = {
      {"Toe", [&] { return r->toe; }},
      {"M0", [&] { return r->M0 * kPi; }},
      {"ecc", [&] { return r->e; }},
      {"Ahalf", [&] { return r->sqrtA; }},
      {"A", [&] { return r->sqrtA * r->sqrtA; }},
      {"OMEGA0", [&] { return r->Omega0 * kPi; }},
      {"i0", [&] { return r->i0 * kPi; }},
      {"w", [&] { return r->omega * kPi; }},
      {"OMEGAdot", [&] { return r->OmegaDot * kPi; }},
      {"idot", [&] { return r->idot * kPi; }},
      {"dn", [&] { return r->deltaN * kPi; }},
      {"Cus", [&] { return r->cus; }},
      {"Cuc", [&] { return r->cuc; }},
      {"Crc", [&] { return r->crc; }},
      {"Crs", [&] { return r->crs; }},
      {"Cic", [&] { return r->cic; }},
      {"Cis", [&] { return r->cis; }},
      {"af0", [&] { return r->af0; }},
      {"af1", [&] { return r->af1; }},
      {"af2", [&] { return r->af2; }},
      {"Toc", [&] { return r->toc; }},
      {"tgd1", [&] { return r->tgd1; }},
      {"tgd2", [&] { return r->tgd2; }},
      {"aodc", [&] { return r->aodc; }},
      {"aode", [&] { return r->aode; }},
      {"uraIndex", [&] { return r->urai; }},
      {"satH1", [&] { return r->health; }},
  };
  compare("ephemeris", rowsOf(all, "processEphTest", "BDSD1NavEph"), eph);
  compare("group delays", rowsOf(all, "processEphTest", "BDSD1NavISC"), eph);
  EXPECT_EQ(r->week, 810);
  EXPECT_EQ(r->tow, 345600u);
  EXPECT_EQ(r->iode, 345600 / 720 % 240);
  EXPECT_EQ(r->signals, 1);
  ASSERT_EQ(gIonSys, kSysBeidou);
  const std::map<std::string, Getter> iono = {
      {"alpha[0]", [] { return gIon.alpha[0]; }}, {"alpha[1]", [] { return gIon.alpha[1]; }},
      {"alpha[2]", [] { return gIon.alpha[2]; }}, {"alpha[3]", [] { return gIon.alpha[3]; }},
      {"beta[0]", [] { return gIon.beta[0]; }},   {"beta[1]", [] { return gIon.beta[1]; }},
      {"beta[2]", [] { return gIon.beta[2]; }},   {"beta[3]", [] { return gIon.beta[3]; }}};
  compare("klobuchar", rowsOf(all, "processEphTest", "BDSD1NavIono"), iono);
  EXPECT_EQ(gIon.week, 810);
  EXPECT_EQ(gIon.tow, 345600u);
  EXPECT_EQ(gIon.valid, 1);
}

// The almanac of subframe 5 page 1 (satellite 25) with the week and health of page 8. The page 8
// arrives here before the almanac page: in the vectors' own order the store keeps the copy sent
// first, without health, because an almanac of the same reference time is not newer.
// The almanac sets are shared by all decoders for the life of the process: one order per test.
void almanacRun(bool page8First) {
  {
    VectorRun h;
    h.ephemeris();
    if (page8First) h.feedNamed("almD1NAVSF5p8");
    h.feedNamed("almD1NAVSF4p1");
    h.feedNamed("almD1NAVSF5p1");
    if (!page8First) h.feedNamed("almD1NAVSF5p8");
    h.step(345850, 810);
    const ZRT_ALM_CMP* a = h.alm(24);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->prn, 25);
    if (!page8First) {
      EXPECT_EQ(a->flags, 3) << "no health yet, week from the subframe time";
      EXPECT_EQ(a->health, 0);
      return;
    }
    const auto all = loadExpected();
    const std::map<std::string, Getter> alm = {
        {"Toe", [&] { return a->toa; }},
        {"toa", [&] { return a->toa; }},
        {"M0", [&] { return a->M0; }},  // semicircles in the vectors' almanac objects
        {"ecc", [&] { return a->e; }},
        {"Ahalf", [&] { return a->sqrtA; }},
        {"A", [&] { return static_cast<double>(a->sqrtA) * a->sqrtA; }},
        {"OMEGA0", [&] { return a->Omega0; }},
        {"i0", [&] { return 0.3 + a->deltaI; }},
        {"deltai", [&] { return a->deltaI; }},
        {"w", [&] { return a->omega; }},
        {"OMEGAdot", [&] { return a->OmegaDot; }},
        {"af0", [&] { return a->af0; }},
        {"af1", [&] { return a->af1; }},
        {"healthBits", [&] { return a->health; }},
    };
    std::vector<Expected> rows;
    for (const Expected& e : rowsOf(all, "processSF5Pg8Test", "BDSD1NavAlm")) rows.push_back(e);
    compare("almanac", rows, alm);
    EXPECT_EQ(a->week, 810);
    EXPECT_EQ(a->flags, 0);
    h.step(345850, 810);
    const ZRT_ALM_CMP* first = h.alm(0);
    ASSERT_NE(first, nullptr) << "subframe 4 page 1: satellite 1";
    EXPECT_EQ(first->prn, 1);
  }
}

TEST_OWN(BeidouD1Vectors, AlmanacWithPage8AsExpected) { almanacRun(true); }
TEST_OWN(BeidouD1Vectors, AlmanacBeforePage8KeepsTheFirstCopy) { almanacRun(false); }

TEST_OWN(BeidouD1Vectors, UtcPage10AsExpected) {
  VectorRun h;
  h.ephemeris();
  h.feedNamed("almD1NAVSF5p10");
  const ZRT_UTC_CMP* u = h.utc();
  ASSERT_NE(u, nullptr);
  const std::map<std::string, Getter> utc = {
      {"a0", [&] { return u->A0; }},         {"a1", [&] { return u->A1; }},
      {"deltatLS", [&] { return u->dtLS; }}, {"deltatLSF", [&] { return u->dtLSF; }},
      {"wnLSF", [&] { return u->WN_LSF; }},  {"dn", [&] { return u->DN; }}};
  compare("utc", rowsOf(loadExpected(), "processSF5Pg10Test", "BDSD1NavTimeOffset"), utc);
  EXPECT_EQ(u->tot, 0u);
  EXPECT_EQ(u->WNt, 810);
}

// Every D1 vector, each after a fresh healthy ephemeris, in file order and one by one: none is
// refused for its form, and the decoder stays sound (ASan/UBSan) whatever page it is.
TEST_OWN(BeidouD1Vectors, EveryVectorDecodes) {
  VectorRun h;
  ASSERT_GE(h.vec.size(), 30u);
  for (const auto& [name, v] : h.vec) {
    SCOPED_TRACE(name);
    h.feed(v.sv, v.w);
  }
  for (const auto& [name, v] : h.vec) {
    SCOPED_TRACE(name);
    VectorRun one;
    one.ephemeris();
    one.feed(v.sv, v.w);
    const int fraId = static_cast<int>(CompDecUtility::extract(v.w.data(), 16, 3));
    EXPECT_GE(fraId, 1);
    EXPECT_LE(fraId, 5);
  }
}

// The GEO C01 of the same day: its almanac (subframe 4 page 1 of C06's message) puts it where its
// D2 ephemeris of the vectors does, to about 2 km (a three-day-old almanac), so
// the store's almanac check keeps the ephemeris (its limit is 100 km).
TEST_OWN(BeidouD1Vectors, GeoAlmanacAgreesWithTheGeoEphemeris) {
  VectorRun h;
  h.ephemeris();
  h.feedNamed("almD1NAVSF5p8");
  h.feedNamed("almD1NAVSF4p1");
  h.step(345614, 810);
  const ZRT_ALM_CMP* a = h.alm(0);
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(a->prn, 1);
  std::map<std::string, double> v;
  for (const Expected& e : loadExpected("BDSD2NavEph"))
    if (e.object == "BDSD2NavEph" && e.kind == "number") v[e.field] = std::stod(e.value);
  ASSERT_GT(v.size(), 20u);
  ZRT_EPH_GPS g{};
  g.prn = 1;
  g.toe = 345600;
  g.sqrtA = v["Ahalf"], g.e = v["ecc"], g.M0 = v["M0"] / kPi, g.Omega0 = v["OMEGA0"] / kPi, g.i0 = v["i0"] / kPi;
  g.omega = v["w"] / kPi, g.deltaN = static_cast<float>(v["dn"] / kPi);
  g.OmegaDot = static_cast<float>(v["OMEGAdot"] / kPi), g.idot = static_cast<float>(v["idot"] / kPi);
  g.cuc = static_cast<float>(v["Cuc"]), g.cus = static_cast<float>(v["Cus"]), g.crc = static_cast<float>(v["Crc"]);
  g.crs = static_cast<float>(v["Crs"]), g.cic = static_cast<float>(v["Cic"]), g.cis = static_cast<float>(v["Cis"]);
  for (const double t : {345614.0, 349200.0, 352800.0}) {
    double eph[3], vel[3], alm[3];
    float almVel[3];
    ASSERT_TRUE(compute_SatPositionByEphemeris(t, kSysBeidou, g, eph, vel, nullptr));
    ASSERT_TRUE(compute_BeidouSatPosByAlmanac(*a, t - a->toa, alm, almVel, nullptr, nullptr));
    EXPECT_LT(std::hypot(eph[0] - alm[0], eph[1] - alm[1], eph[2] - alm[2]), 5000) << t;
    EXPECT_GT(std::hypot(eph[0], eph[1], eph[2]), 4.2e7) << "a geostationary radius";
  }
}
