// The LNAV decoder against independent truth: the public decoded vectors (to the last bit of
// every field), and a day of GPS broadcast ephemerides from a RINEX file, encoded here into
// subframes and decoded back.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "lnav_test_util.h"
#include "unit/own_process.h"

using namespace lnavtest;

namespace {

// A number of the vectors' time objects, {sow: 7200.0, time_system: GPS, week: 1869} once the
// CSV quotes are gone.
double jsonNumber(const std::string& json, const std::string& key) {
  const auto p = json.find(key + ": ");
  return p == std::string::npos ? -1 : std::stod(json.substr(p + key.size() + 2));
}

// Our value of a field of the public vectors' objects and its least significant bit; lsb 0
// when the field has no counterpart in the native records.
struct Ours {
  double value = 0, lsb = 0, offset = 0;
  int week = -1;  // the record's week for a time field
};

Ours ephField(const ZRT_EPH_GPS& e, const std::string& f) {
  const double pi = kGpsPi;
  if (f == "Toe") return {static_cast<double>(e.toe), 1, 0, e.week};
  if (f == "Toc") return {static_cast<double>(e.toc), 1, 0, e.week};
  if (f == "M0") return {e.M0 * pi, std::ldexp(pi, -31)};
  if (f == "OMEGA0") return {e.Omega0 * pi, std::ldexp(pi, -31)};
  if (f == "i0") return {e.i0 * pi, std::ldexp(pi, -31)};
  if (f == "w") return {e.omega * pi, std::ldexp(pi, -31)};
  if (f == "dn") return {e.deltaN * pi, std::ldexp(pi, -43)};
  if (f == "OMEGAdot") return {e.OmegaDot * pi, std::ldexp(pi, -43)};
  if (f == "idot") return {e.idot * pi, std::ldexp(pi, -43)};
  if (f == "ecc") return {e.e, std::ldexp(1.0, -33)};
  if (f == "Ahalf") return {e.sqrtA, std::ldexp(1.0, -19)};
  if (f == "Cuc") return {e.cuc, std::ldexp(1.0, -29)};
  if (f == "Cus") return {e.cus, std::ldexp(1.0, -29)};
  if (f == "Cic") return {e.cic, std::ldexp(1.0, -29)};
  if (f == "Cis") return {e.cis, std::ldexp(1.0, -29)};
  if (f == "Crc") return {e.crc, std::ldexp(1.0, -5)};
  if (f == "Crs") return {e.crs, std::ldexp(1.0, -5)};
  if (f == "af0") return {e.af0, std::ldexp(1.0, -31)};
  if (f == "af1") return {e.af1, std::ldexp(1.0, -43)};
  if (f == "af2") return {e.af2, std::ldexp(1.0, -55)};
  if (f == "tgd" || f == "isc") return {e.tgd, std::ldexp(1.0, -31)};
  if (f == "iodc") return {static_cast<double>(e.iodc), 1};
  if (f == "iode") return {static_cast<double>(e.iode), 1};
  if (f == "fitIntFlag") return {static_cast<double>(e.flags & 1), 1};
  if (f == "L2Pdata") return {static_cast<double>((e.flags >> 1) & 1), 1};
  if (f == "codesL2") return {static_cast<double>((e.flags >> 2) & 3), 1};
  if (f == "asFlag") return {static_cast<double>((e.flags >> 4) & 1), 1};
  if (f == "alert") return {static_cast<double>((e.flags >> 5) & 1), 1};
  if (f == "healthBits" || f == "svHealth") return {static_cast<double>(e.health), 1};
  if (f == "uraIndex") return {static_cast<double>(e.ura), 1};
  return {};
}

Ours almField(const ZRT_ALM_GPS& a, bool qzss, const std::string& f) {
  const double pi = kGpsPi;
  if (f == "toa") return {static_cast<double>(a.toa), 1};
  if (f == "Toe" || f == "Toc") return {static_cast<double>(a.toa), 1, 0, a.week};
  if (f == "ecc") return {a.e - (qzss ? 0.06 : 0.0), std::ldexp(1.0, -21), qzss ? 0.06 : 0.0};  // QZSS: 0.06 + sent
  if (f == "Ahalf") return {a.sqrtA, std::ldexp(1.0, -11)};
  if (f == "deltai") return {a.deltaI * pi, std::ldexp(pi, -19)};
  if (f == "OMEGAdot") return {a.OmegaDot * pi, std::ldexp(pi, -38)};
  if (f == "OMEGA0") return {a.Omega0 * pi, std::ldexp(pi, -23)};
  if (f == "w") return {a.omega * pi, std::ldexp(pi, -23)};
  if (f == "M0") return {a.M0 * pi, std::ldexp(pi, -23)};
  if (f == "af0") return {a.af0, std::ldexp(1.0, -20)};
  if (f == "af1") return {a.af1, std::ldexp(1.0, -38)};
  if (f == "healthBits") return {static_cast<double>(a.health), 1};
  return {};
}

Ours utcField(const ZRT_UTC_GPS& u, const ZRT_ION_GPS& ion, const std::string& f) {
  const int alphaPow[4] = {30, 27, 24, 24}, betaPow[4] = {11, 14, 16, 16};
  for (int i = 0; i < 4; ++i) {
    if (f == "alpha[" + std::to_string(i) + "]") return {ion.alpha[i], std::ldexp(1.0, -alphaPow[i])};
    if (f == "beta[" + std::to_string(i) + "]") return {ion.beta[i], std::ldexp(1.0, betaPow[i])};
  }
  if (f == "a0") return {u.A0, std::ldexp(1.0, -30)};
  if (f == "a1") return {u.A1, std::ldexp(1.0, -50)};
  if (f == "tot") return {static_cast<double>(u.tot), 1};
  if (f == "wnot") return {static_cast<double>(u.WNt), 1024};  // 10 bits kept
  if (f == "wnLSF") return {static_cast<double>(u.WN_LSF), 1024};
  if (f == "dn") return {static_cast<double>(u.DN), 1};
  if (f == "deltatLS") return {static_cast<double>(u.dtLS), 1};
  if (f == "deltatLSF") return {static_cast<double>(u.dtLSF), 1};
  return {};
}

// Every decoded LNAV value of the public vectors, scenario by scenario (the messages fed so
// far), compared to the last bit. Page 61 of QZSS is not one this receiver takes (its UTC
// stays that of page 56), and the per-message health objects have no record of their own.
TEST_OWN(GpsLnavVectors, EveryFieldToTheLastBit) {
  ASSERT_EQ(loadVectors().size(), 16u);
  int compared = 0;
  std::set<std::string> used;
  for (const auto& c : navfiles::vectorRows("gnsstk_expected_values.csv")) {
    if (c.size() < 10 || c[0] != "PNBGPSLNavDataFactory" || c[3] == "pg61LNAVQZSS") continue;
    const std::string &cls = c[5], &field = c[6], &exp = c[9];
    if (cls.empty() || cls == "GPSLNavHealth" || (c[8] == "time" && field != "Toe" && field != "Toc")) continue;
    // Each scenario in a decoder pool of its own, its satellite with a healthy ephemeris first.
    Harness h;
    const SvIdType sv = h.vec.at(c[3]).sv;
    const bool qzss = sv.sys == kSysQzss;
    const char* ephNames[3] = {"ephLNAVGPSSF1", "ephLNAVGPSSF2", "ephLNAVGPSSF3"};
    const char* qzsNames[3] = {"ephLNAVQZSSSF1", "ephLNAVQZSSSF2", "ephLNAVQZSSSF3"};
    for (const char* n : qzss ? qzsNames : ephNames) h.feed(sv, h.vec.at(n).w);
    int subject = 0;  // almanac entry: the satellite of the last almanac page fed
    for (const std::string& n : split(c[4], ';')) {
      h.feed(sv, h.vec.at(n).w), used.insert(n);
      if (n.rfind("alm", 0) == 0) subject = static_cast<int>(getBits(h.vec.at(n).w, 63, 6)) - 1;
    }
    h.feed(sv, h.vec.at(qzss ? qzsNames[0] : ephNames[0]).w);  // a subframe other than 4 lets UTC out
    Ours o;
    if (cls == "GPSLNavEph" || cls == "GPSLNavISC") {
      const ZRT_EPH_GPS* e = h.eph(sv, qzss ? 518400 : 7200);
      ASSERT_NE(e, nullptr) << c[1];
      o = ephField(*e, field);
    } else if (cls == "GPSLNavAlm") {
      const auto* a = static_cast<const ZRT_ALM_GPS*>(h.store->get_AlmLastData(sv.sys, subject));
      ASSERT_NE(a, nullptr) << c[1] << " " << c[3];
      o = almField(*a, qzss, field);
    } else if (cls == "GPSLNavTimeOffset" || cls == "GPSLNavIono") {
      const auto* u = static_cast<const ZRT_UTC_GPS*>(h.store->get_UtcLastData(sv.sys));
      ASSERT_NE(u, nullptr) << c[1];
      ASSERT_EQ(gIonSys, sv.sys);
      o = utcField(*u, gIon, field);
    }
    if (o.lsb == 0) continue;
    if (c[8] == "expr") continue;
    double want = 0;
    if (c[8] == "time") {
      want = jsonNumber(exp, "sow");
    } else if (c[8] == "bool") {
      want = exp == "true";
    } else if (c[8] == "enum") {
      want = exp == "GPSLNavL2Codes::Pcode" ? 1 : 2;  // L2 code field: 01 P code, 10 C/A code
    } else {
      want = std::stod(exp);
    }
    want -= o.offset;
    if (o.week >= 0) {
      EXPECT_EQ(o.week, std::llround(jsonNumber(exp, "week")) % 1024) << c[1] << " " << cls << "." << field;
    }
    if (o.lsb == 1024) {
      EXPECT_EQ(std::llround(o.value), std::llround(want) % 1024) << c[1] << " " << cls << "." << field;
    } else {
      EXPECT_EQ(std::llround(o.value / o.lsb), std::llround(want / o.lsb)) << c[1] << " " << cls << "." << field;
      if (o.offset == 0) {  // a float sum with the offset is no longer a whole number of steps
        EXPECT_DOUBLE_EQ(o.value / o.lsb, std::round(o.value / o.lsb)) << cls << "." << field;
      }
    }
    ++compared;
  }
  EXPECT_GE(compared, 150);
  EXPECT_GE(used.size(), 13u);  // every LNAV message but page 61 and the subframe-1-only cases
}

// The parity the test encoder writes agrees with every word of the public vectors.
TEST_OWN(GpsLnavVectors, EncoderParityMatchesBroadcastWords) {
  for (const auto& [name, v] : loadVectors()) {
    int d29 = 0, d30 = 0;
    for (int word = 1; word <= 10; ++word) {
      const int first = (word - 1) * 30 + 1;
      const std::uint32_t p = getBits(v.w, first + 24, 6);
      if (word > 1) {
        EXPECT_EQ(parity(getBits(v.w, first, 24), d29, d30), p) << name << " word " << word;
      }
      d29 = static_cast<int>(p >> 1 & 1), d30 = static_cast<int>(p & 1);
    }
  }
}

// A day of broadcast ephemerides of one system from a RINEX navigation file: each one encoded
// into subframes 1-3, sent twice (a repeat confirms it) and read back from the store.
void roundTripRinexDay(const std::string& file, char system, std::size_t minRecords) {
  const auto recs = readRinexNav(std::string(RX_SHARED_DIR) + "/testdata/nav/" + file, system);
  ASSERT_GT(recs.size(), minRecords);
  Harness h;
  std::uint32_t tag = 0;
  const std::uint8_t sys = system == 'J' ? kSysQzss : kSysGps;
  for (const RinexEph& r : recs) {
    const auto si = static_cast<std::uint8_t>(r.prn - (sys == kSysQzss ? 193 : 1));
    const SvIdType sv{si, sys, 0, si};
    const auto sf = encodeLnav(r);
    for (int pass = 0; pass < 2; ++pass)
      for (const Words& w : sf) h.feed(sv, w, 45.0f, 0, tag += 6000);
    const double* v = r.v;
    const std::string at = system + std::to_string(r.prn) + " toe " + std::to_string(v[kToe]);
    const ZRT_EPH_GPS* e = h.eph(sv, v[kToe]);
    ASSERT_NE(e, nullptr) << at;
    const struct { double ours, rinex; int pow2; const char* name; } rows[] = {
        {e->af0, v[kAf0], 31, "af0"}, {e->af1, v[kAf1], 43, "af1"}, {e->af2, v[kAf2], 55, "af2"},
        {e->tgd, v[kTgd], 31, "tgd"}, {e->crs, v[kCrs], 5, "crs"}, {e->crc, v[kCrc], 5, "crc"},
        {e->cuc, v[kCuc], 29, "cuc"}, {e->cus, v[kCus], 29, "cus"}, {e->cic, v[kCic], 29, "cic"},
        {e->cis, v[kCis], 29, "cis"}, {e->e, v[kE], 33, "e"}, {e->sqrtA, v[kSqrtA], 19, "sqrtA"},
        {e->M0, v[kM0] / kGpsPi, 31, "M0"}, {e->Omega0, v[kOmega0] / kGpsPi, 31, "Omega0"},
        {e->i0, v[kI0] / kGpsPi, 31, "i0"}, {e->omega, v[kOmega] / kGpsPi, 31, "omega"},
        {e->deltaN, v[kDn] / kGpsPi, 43, "deltaN"}, {e->OmegaDot, v[kOmegaDot] / kGpsPi, 43, "OmegaDot"},
        {e->idot, v[kIdot] / kGpsPi, 43, "idot"},
    };
    for (const auto& row : rows) {
      EXPECT_NEAR(row.ours, row.rinex, std::ldexp(0.5, -row.pow2) + std::fabs(row.rinex) * 1e-11) << at << " " << row.name;
      EXPECT_DOUBLE_EQ(std::ldexp(row.ours, row.pow2), std::round(std::ldexp(row.ours, row.pow2))) << at << " " << row.name;
    }
    EXPECT_EQ(e->toe, static_cast<std::uint32_t>(v[kToe])) << at;
    EXPECT_EQ(e->toc, r.tocSow % 604800) << at;
    EXPECT_EQ(e->iodc, static_cast<int>(v[kIodc])) << at;
    EXPECT_EQ(e->iode, static_cast<int>(v[kIode])) << at;
    EXPECT_EQ(e->week, static_cast<int>(v[kWeek]) % 1024) << at;
    EXPECT_EQ(e->health, static_cast<int>(v[kHealth])) << at;
    EXPECT_EQ(e->ura, uraIndex(v[kAcc])) << at;
    EXPECT_EQ(e->prn, r.prn) << at;
  }
}

TEST_OWN(GpsLnavVectors, GpsRinexDayRoundTripsThroughSubframes) { roundTripRinexDay("brdc1820.10n", 'G', 300); }

TEST_OWN(GpsLnavVectors, QzssRinexDayRoundTripsThroughSubframes) {
  roundTripRinexDay("BRD400DLR_S_20230710000_01D_MN.rnx.gz", 'J', 90);
}

}  // namespace
