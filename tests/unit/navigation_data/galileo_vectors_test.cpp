// Every decoded Galileo value of the public vectors (I/NAV words and page pairs, F/NAV pages),
// scenario by scenario, against the expected values listed with them.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "gal_test_util.h"

using namespace galtest;

namespace {

constexpr double kPiRad = 3.141592653589793;  // the expected values' radians

struct Expected {
  std::string cls;
  std::map<std::string, std::string> f;
};

// The expected objects of one scenario, in order (each starts at its time stamp).
std::vector<Expected> expected(const std::string& factory, const std::string& lastMsg) {
  std::vector<Expected> out;
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/navmsg/gnsstk_expected_values.csv");
  std::string line;
  while (std::getline(f, line)) {
    const auto c = split(line, ',');
    if (c.size() < 10 || c[0] != factory || c[3] != lastMsg) continue;
    if (out.empty() || c[6] == "timeStamp" || out.back().cls != c[5]) out.push_back({c[5], {}});
    out.back().f[c[6]] = c[9];
  }
  return out;
}

double value(const std::string& s) {
  if (s == "false" || s.find("::OK") != std::string::npos || s.find("::Valid") != std::string::npos ||
      s.find("::Healthy") != std::string::npos)
    return 0;
  if (s == "true") return 1;
  const auto at = s.find("sow");
  if (at != std::string::npos) return std::stod(s.substr(s.find(':', at) + 1));
  return std::stod(s);
}

// Our value of a field; NaN for the fields with no counterpart in the records.
using Getter = std::function<double(const std::string&)>;

double ephField(const ZRT_EPH_GAL& e, const std::string& n) {
  const std::map<std::string, double> m = {
      {"Cuc", e.cuc}, {"Cus", e.cus}, {"Crc", e.crc}, {"Crs", e.crs}, {"Cis", e.cis}, {"Cic", e.cic},
      {"M0", e.M0 * kPiRad}, {"dn", e.deltaN * kPiRad}, {"ecc", e.e}, {"Ahalf", e.sqrtA}, {"A", e.sqrtA * e.sqrtA},
      {"OMEGA0", e.Omega0 * kPiRad}, {"i0", e.i0 * kPiRad}, {"w", e.omega * kPiRad},
      {"OMEGAdot", e.OmegaDot * kPiRad}, {"idot", e.idot * kPiRad}, {"af0", e.af0}, {"af1", e.af1}, {"af2", e.af2},
      {"bgdE5aE1", e.bgdE1E5a}, {"bgdE5bE1", e.bgdE1E5b}, {"sisaIndex", e.sisa}, {"svid", e.svid},
      {"iodnav1", e.iodNav}, {"iodnav2", e.iodNav}, {"iodnav3", e.iodNav}, {"iodnav4", e.iodNav},
      {"hsE5a", (e.health >> 1) & 3}, {"dvsE5a", e.health & 1}, {"health", e.health}, {"Toe", e.toe},
      {"Toc", e.toc}, {"isc", e.bgdE1E5a}, {"ai[0]", e.ai0}, {"ai[1]", e.ai1}, {"ai[2]", e.ai2},
      {"sigHealthStatus", (e.health >> 1) & 3}, {"dataValidityStatus", e.health & 1}};
  if (n.rfind("idf[", 0) == 0) return (e.ionoFlags >> (4 - (n[4] - '0'))) & 1;
  const auto it = m.find(n);
  return it == m.end() ? NAN : it->second;
}

double almField(const ZRT_ALM_GAL& a, const std::string& n) {
  const double dA = a.sqrtA - kGalNominalSqrtA;
  const std::map<std::string, double> m = {
      {"M0", a.M0 * kPiRad}, {"ecc", a.e}, {"Ahalf", a.sqrtA}, {"A", double(a.sqrtA) * a.sqrtA},
      {"OMEGA0", a.Omega0 * kPiRad}, {"i0", (0.3 + a.deltaI) * kPiRad}, {"w", a.omega * kPiRad},
      {"OMEGAdot", a.OmegaDot * kPiRad}, {"af0", a.af0}, {"af1", a.af1}, {"dAhalf", dA},
      {"deltai", a.deltaI * kPiRad}, {"Toe", a.toa}, {"Toc", a.toa}, {"t0a", a.toa}, {"wna", a.week},
      {"ioda1", a.iodA}, {"ioda2", a.iodA}, {"hsE1B", a.health & 3}, {"hsE5b", (a.health >> 2) & 3},
      {"hsE5a", (a.health >> 4) & 3}, {"health", a.health}};
  const auto it = m.find(n);
  return it == m.end() ? NAN : it->second;
}

// Compares every expected field that has a counterpart; floats to their own precision.
int compare(const Expected& x, const Getter& ours, const std::string& where) {
  int n = 0;
  for (const auto& [field, text] : x.f) {
    if (text.empty() || text[0] == '{' || text.find("END_OF_TIME") != std::string::npos) continue;
    const double o = ours(field);
    if (std::isnan(o)) continue;
    const double want = value(text);
    // The almanac keeps sqrt(A) in single precision: its difference to the nominal value is
    // good to half a float step at 5440 (still under half the 2^-9 step sent).
    const double tol = field == "dAhalf" ? 4.9e-4 : std::fabs(want) * 2e-7 + 1e-300;
    EXPECT_NEAR(o, want, tol) << where << " " << x.cls << "." << field;
    ++n;
  }
  return n;
}

struct GalVectors : ::testing::Test {
  std::map<std::string, Vector> v = loadVectors();
  Harness h;
  GalDataDecoder* feed(const std::string& name) {
    const Vector& x = v.at(name);
    return h.feed(gal(1), x.page, x.navType, x.sow);
  }
};

TEST_F(GalVectors, AllThirtyPagesPresent) { EXPECT_EQ(v.size(), 30u); }

TEST_F(GalVectors, FNavEphemerisAndItsHealthIonoAndGroupDelay) {
  for (const char* n : {"navFNAVGalPT1", "navFNAVGalPT2", "navFNAVGalPT3", "navFNAVGalPT4"}) feed(n);
  const ZRT_EPH_GAL* e = h.eph(gal(1), 1, 518400);
  ASSERT_NE(e, nullptr);
  int n = 0;
  for (const auto* scenario : {"navFNAVGalPT1", "navFNAVGalPT4"})
    for (const Expected& x : expected("PNBGalFNavDataFactory", scenario))
      n += compare(x, [&](const std::string& f) { return ephField(*e, f); }, scenario);
  EXPECT_GE(n, 43);
  EXPECT_EQ(e->navTypes, 1u << kGalNavE5a);
  EXPECT_FLOAT_EQ(e->bgd, e->bgdE1E5a);
  EXPECT_EQ(e->flags, kGalFlagsDecoded);
  EXPECT_EQ(e->tow, 518400u);
}

TEST_F(GalVectors, FNavAlmanacsOfPages5And6) {
  for (const char* n : {"navFNAVGalPT1", "navFNAVGalPT2", "navFNAVGalPT3", "navFNAVGalPT4", "navFNAVGalPT5"})
    feed(n);
  GalDataDecoder* d = feed("navFNAVGalPT6");
  ASSERT_EQ(d->get_AlmanacCount(), 3u);
  std::vector<Expected> x;
  for (const Expected& o : expected("PNBGalFNavDataFactory", "navFNAVGalPT6"))
    if (o.cls == "GalFNavAlm") x.push_back(o);
  ASSERT_EQ(x.size(), 3u);
  int n = 0;
  for (int k = 0; k < 3; ++k) {
    const ZRT_ALM_GAL& a = d->get_LastAlmanac(2 - k);
    n += compare(x[static_cast<std::size_t>(k)], [&](const std::string& f) {
      return f == "i0" || f == "A" || f == "health" || f == "ioda5" ? NAN : almField(a, f);
    }, "F/NAV almanac " + std::to_string(k));
  }
  EXPECT_GE(n, 30);
  // The store keeps no F/NAV almanac.
  EXPECT_EQ(h.store->get_AlmUpdateCounter(kSysGalileo), 0);
}

TEST_F(GalVectors, INavEphemerisWordsAndPagePairsAgree) {
  for (const char* n : {"ephINAVGalWT1", "ephINAVGalWT2", "ephINAVGalWT3", "ephINAVGalWT4", "ephINAVGalWT5"}) feed(n);
  const ZRT_EPH_GAL* a = h.eph(gal(1), 0, 518400);
  ASSERT_NE(a, nullptr);
  const ZRT_EPH_GAL words = *a;
  Harness h2;
  for (const char* n : {"ephINAVGalPP1", "ephINAVGalPP2", "ephINAVGalPP3", "ephINAVGalPP4", "ephINAVGalPP5"}) {
    const Vector& x = v.at(n);
    ASSERT_EQ(x.nbits, 240);
    h2.feed(gal(1), x.page, x.navType, x.sow);
  }
  const ZRT_EPH_GAL* b = h2.eph(gal(1), 0, 518400);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(std::memcmp(&words, b, sizeof words - 1), 0);
  // The same issue as the F/NAV pages of the vectors: every orbit field agrees (the clock is
  // that of another signal pair).
  EXPECT_EQ(words.iodNav, 94);
  int n = 0;
  for (const Expected& x : expected("PNBGalFNavDataFactory", "navFNAVGalPT4"))
    if (x.cls == "GalFNavEph")
      n += compare(x, [&](const std::string& f) {
        const bool other = f.rfind("hs", 0) == 0 || f.rfind("dvs", 0) == 0 || f == "health" || f.rfind("af", 0) == 0 ||
                           f.rfind("bgd", 0) == 0;
        return other ? NAN : ephField(words, f);
      }, "I/NAV");
  EXPECT_GE(n, 24);
  EXPECT_EQ(words.navTypes, 1u << kGalNavE1B);
  EXPECT_FLOAT_EQ(words.bgd, words.bgdE1E5b);
}

TEST_F(GalVectors, INavAlmanacsAndGstGpsOfWords7To10) {
  for (const char* n : {"ephINAVGalWT1", "ephINAVGalWT2", "ephINAVGalWT3", "ephINAVGalWT4", "ephINAVGalWT5"}) feed(n);
  for (const char* n : {"navINAVGalWT7", "navINAVGalWT8", "navINAVGalWT9", "navINAVGalWT10"}) feed(n);
  std::vector<Expected> alm, off;
  for (const Expected& o : expected("PNBGalINavDataFactory", "navINAVGalWT10")) {
    if (o.cls == "GalINavAlm") alm.push_back(o);
    if (o.cls == "GalINavTimeOffset") off.push_back(o);
  }
  ASSERT_EQ(alm.size(), 2u);
  // The satellites of the first and third almanac of the words (word 7 and word 9 SVID fields).
  // Word bit k stands at bit 2 + k of the even half.
  const int sv1 = static_cast<int>(get(v.at("navINAVGalWT7").page, 2 + 22, 6));
  const int sv3 = static_cast<int>(get(v.at("navINAVGalWT9").page, 2 + 71, 6));
  int n = 0, k = 0;
  for (int svid : {sv1, sv3}) {
    const auto* a = static_cast<const ZRT_ALM_GAL*>(h.store->get_AlmLastData(kSysGalileo, svid - 1));
    ASSERT_NE(a, nullptr) << svid;
    EXPECT_EQ(a->svid, svid);
    n += compare(alm[static_cast<std::size_t>(k++)], [&](const std::string& f) {
      return f == "i0" || f == "A" ? NAN : almField(*a, f);
    }, "I/NAV almanac E" + std::to_string(svid));
  }
  EXPECT_GE(n, 29);
  EXPECT_EQ(h.store->get_UtcLastData(kSysGalileo), nullptr);  // word 6 has not come yet
  // Word 6 completes the UTC record: its GST-UTC and word 10's GST-GPS parameters.
  feed("navINAVGalWT6");
  const auto* u = static_cast<const ZRT_UTC_GAL*>(h.store->get_UtcLastData(kSysGalileo));
  ASSERT_NE(u, nullptr);
  ASSERT_EQ(off.size(), 1u);
  n = compare(off[0], [&](const std::string& f) -> double {
    if (f == "a0") return u->A0G;
    if (f == "a1") return u->A1G;
    if (f == "tot") return u->t0G;
    if (f == "wnot") return u->WN0G;
    return NAN;
  }, "GST-GPS");
  EXPECT_EQ(n, 4);
  EXPECT_EQ(u->ggtoValid, 1);
  const auto utc = expected("PNBGalINavDataFactory", "navINAVGalWT6");
  ASSERT_EQ(utc.size(), 1u);
  n = compare(utc[0], [&](const std::string& f) -> double {
    const std::map<std::string, double> m = {{"a0", u->A0}, {"a1", u->A1}, {"deltatLS", u->dtLS}, {"tot", u->tot},
                                             {"wnot", u->WNt}, {"wnLSF", u->WN_LSF}, {"dn", u->DN},
                                             {"deltatLSF", u->dtLSF}};
    const auto it = m.find(f);
    return it == m.end() ? NAN : it->second;
  }, "GST-UTC");
  EXPECT_EQ(n, 8);
}

// Week rollover: ephemerides sent in the first seconds of week 1196 with toe at the end of
// week 1195 are stored with the toe's week.
TEST_F(GalVectors, WeekRolloverKeepsTheToeWeek) {
  const char* inav[5] = {"navINAVWRWT1", "navINAVWRWT2", "navINAVWRWT3", "navINAVWRWT4", "navINAVWRWT5"};
  const char* fnav[4] = {"navFNAVWRPT1", "navFNAVWRPT2", "navFNAVWRPT3", "navFNAVWRPT4"};
  for (const char* n : inav) feed(n);
  for (const char* n : fnav) feed(n);
  for (int dataType : {0, 1}) {
    const ZRT_EPH_GAL* e = h.eph(gal(1), dataType, 0);
    ASSERT_NE(e, nullptr) << dataType;
    EXPECT_EQ(e->toe, 603600u);
    EXPECT_EQ(e->toc, 603600);
    EXPECT_EQ(e->week, 1196);
    const ExtEphRecord* r = h.store->get_EphLastData(kSysGalileo, 0, dataType);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->cycle, 1195 % 1024);
  }
}

}  // namespace
