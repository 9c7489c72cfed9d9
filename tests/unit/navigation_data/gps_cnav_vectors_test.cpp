// The CNAV and CNAV-2 decoders against the public decoded vectors, to the last bit of every
// field that has a place in the native records.
#include <gtest/gtest.h>

#include <set>

#include "cnav_test_util.h"

using namespace cnavtest;

namespace {

// Our value of a field of the vectors' objects and its least significant bit (0: no
// counterpart in the records).
struct Ours {
  double value = 0, lsb = 0;
};

Ours ephField(const ZRT_EPH_GPS& e, bool qzss, const std::string& f) {
  const double pi = kGpsPi, aRef = qzss ? 42164200.0 : 26559710.0;
  if (f == "Toe") return {static_cast<double>(e.toe), 1};
  if (f == "Toc") return {static_cast<double>(e.toc), 1};
  if (f == "top") return {static_cast<double>(e.top), 1};
  if (f == "M0") return {e.M0 * pi, std::ldexp(pi, -32)};
  if (f == "OMEGA0") return {e.Omega0 * pi, std::ldexp(pi, -32)};
  if (f == "i0") return {e.i0 * pi, std::ldexp(pi, -32)};
  if (f == "w") return {e.omega * pi, std::ldexp(pi, -32)};
  if (f == "dn") return {e.deltaN * pi, std::ldexp(pi, -44)};
  if (f == "dndot") return {e.deltaNdot * pi, std::ldexp(pi, -57)};
  if (f == "OMEGAdot") return {e.OmegaDot * pi, std::ldexp(pi, -44)};
  if (f == "dOMEGAdot") return {(e.OmegaDot + 2.6e-9) * pi, std::ldexp(pi, -44)};
  if (f == "idot") return {e.idot * pi, std::ldexp(pi, -44)};
  if (f == "ecc") return {e.e, std::ldexp(1.0, -34)};
  if (f == "A") return {e.sqrtA * e.sqrtA, std::ldexp(1.0, -9)};
  if (f == "Ahalf") return {e.sqrtA, 1e-9};
  if (f == "deltaA") return {e.sqrtA * e.sqrtA - aRef, std::ldexp(1.0, -9)};
  if (f == "Adot") return {e.Adot, std::ldexp(1.0, -21)};
  if (f == "Cuc") return {e.cuc, std::ldexp(1.0, -30)};
  if (f == "Cus") return {e.cus, std::ldexp(1.0, -30)};
  if (f == "Cic") return {e.cic, std::ldexp(1.0, -30)};
  if (f == "Cis") return {e.cis, std::ldexp(1.0, -30)};
  if (f == "Crc") return {e.crc, std::ldexp(1.0, -8)};
  if (f == "Crs") return {e.crs, std::ldexp(1.0, -8)};
  if (f == "af0") return {e.af0, std::ldexp(1.0, -35)};
  if (f == "af1") return {e.af1, std::ldexp(1.0, -48)};
  if (f == "af2") return {e.af2, std::ldexp(1.0, -60)};
  if (f == "tgd" || f == "isc") return {e.tgd, std::ldexp(1.0, -35)};
  if (f == "iscL1CA" && (e.iscFlags & kIscFlagIsc1)) return {e.isc1, std::ldexp(1.0, -35)};
  if (f == "iscL2C" && (e.iscFlags & kIscFlagIsc2)) return {e.isc2, std::ldexp(1.0, -35)};
  if (f == "iscL5I5" && (e.iscFlags & kIscFlagIsc3)) return {e.isc3, std::ldexp(1.0, -35)};
  if (f == "iscL1CP" && (e.flags & kEphFlagCnavParams) && !(e.iscFlags & kIscFlagIsc1)) return {e.isc1, std::ldexp(1.0, -35)};
  if (f == "iscL1CD" && (e.iscFlags & kIscFlagCnav2Isc2)) return {e.isc2, std::ldexp(1.0, -35)};
  if (f == "uraED") return {static_cast<double>(e.uraEd), 1};
  if (f == "uraNED0") return {static_cast<double>(e.uraNed0), 1};
  if (f == "uraNED1") return {static_cast<double>(e.uraNed1), 1};
  if (f == "uraNED2") return {static_cast<double>(e.uraNed2), 1};
  // Health bits of CNAV: L1 bit 2, L2 bit 1, L5 bit 0 of the record; CNAV-2: the L1C bit.
  if (f == "healthL1") return {static_cast<double>((e.health >> 2) & 1), 1};
  if (f == "healthL2") return {static_cast<double>((e.health >> 1) & 1), 1};
  if (f == "healthL5") return {static_cast<double>(e.health & 1), 1};
  if (f == "healthL1C") return {static_cast<double>(e.health), 1};
  return {};
}

Ours offsetField(const NavData::GpsCnavSysOffsetDataType& o, const std::string& f) {
  if (f == "a0") return {o.A0, std::ldexp(1.0, -35)};
  if (f == "a1") return {o.A1, std::ldexp(1.0, -51)};
  if (f == "a2") return {o.A2, std::ldexp(1.0, -68)};
  if (f == "tot") return {static_cast<double>(o.tGgto), 16};
  if (f == "wnot") return {static_cast<double>(o.wnGgto), 1};
  return {};
}

double expected(const std::string& kind, const std::string& exp) {
  if (kind == "bool") return exp == "true" ? 1 : 0;
  if (kind == "time") return jsonNumber(exp, "sow");
  return std::stod(exp);
}

// Every vector of both families, with what it yields here.
TEST(GpsCnavVectors, EveryVectorDecodes) {
  const auto vec = loadVectors();
  ASSERT_EQ(vec.size(), 29u);
  const struct { const char* name; bool eph; bool offset; } rows[] = {
      // CNAV-2: every frame carries the whole ephemeris (a lone subframe 3 in the frame of its
      // system's subframe 2); page 2 names GLONASS only in the fake one.
      {"sf123p1CNAV2GPS", true, false}, {"sf123p2CNAV2GPS", true, false}, {"sf123p4CNAV2GPS", true, false},
      {"sf2CNAV2GPS", true, false},     {"sf2CNAV2GPS2", true, false},    {"sf2CNAV2QZSS", true, false},
      {"sf3p1CNAV2GPS", true, false},   {"sf3p2CNAV2GPS", true, false},   {"sf3p2fakeCNAV2GPS", true, true},
      {"sf3p4CNAV2GPS", true, false},   {"sf3p1CNAV2QZSS", true, false},  {"sf3p2CNAV2QZSS", true, false},
      {"sf3p4CNAV2QZSS", true, false},
      // CNAV: alone, no message completes an ephemeris; type 35 of QZSS names QZSS (3).
      {"msg10CNAVGPSL2", false, false}, {"msg11CNAVGPSL2", false, false}, {"msg30CNAVGPSL2", false, false},
      {"msg32CNAVGPSL2", false, false}, {"msg33CNAVGPSL2", false, false}, {"msg10CNAVQZSSL5", false, false},
      {"msg11CNAVQZSSL5", false, false}, {"msg12CNAVQZSSL5", false, false}, {"msg30CNAVQZSSL5", false, false},
      {"msg31CNAVQZSSL5", false, false}, {"msg32CNAVQZSSL5", false, false}, {"msg35CNAVQZSSL5", false, true},
      {"msg37CNAVQZSSL5", false, false}, {"msg10CNAVWR", false, false},    {"msg11CNAVWR", false, false},
      {"msg30CNAVWR", false, false},
  };
  std::set<std::string> seen;
  for (const auto& r : rows) {
    Harness h;
    const Vector& v = vec.at(r.name);
    const Frame f = v.nbits == 274 ? withSubframe2(v.frame, vec.at(v.sv.sys == kSysQzss ? "sf2CNAV2QZSS" : "sf2CNAV2GPS").frame)
                                   : v.frame;
    const Handed out = v.cnav2 ? h.feed(v.sv, f) : h.feed(v.sv, v.msg);
    const int dataType = v.cnav2 ? 2 : 1;
    EXPECT_EQ(h.count(v.sv, dataType) != 0, r.eph) << r.name;
    EXPECT_EQ(out.offset, r.offset) << r.name;
    EXPECT_EQ(out.dcCount, 0) << r.name;
    seen.insert(r.name);
  }
  EXPECT_EQ(seen.size(), vec.size());
}

// The week-rollover vectors: type 10 sent at the start of week 2220, its top in the week
// before (the public objects give these times as expressions only).
TEST(GpsCnavVectors, WeekRolloverEphemeris) {
  const auto vec = loadVectors();
  Harness h;
  for (const char* n : {"msg10CNAVWR", "msg11CNAVWR", "msg30CNAVWR"}) h.feed(vec.at(n).sv, vec.at(n).msg);
  const SvIdType sv = vec.at("msg10CNAVWR").sv;
  const ZRT_EPH_GPS* e = h.eph(sv, 1, 5400);
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->week, 2220);
  EXPECT_EQ(e->tow, 12u);  // the TOW count of the next message
  EXPECT_EQ(e->toe, 5400u);
  EXPECT_EQ(e->toc, 5400);
  EXPECT_EQ(e->top, 527400u);
  EXPECT_EQ(e->ura, get_CnavUraIndex(e->uraEd, e->uraNed0, e->uraNed1, e->uraNed2, 12 + 604800 - 527400.0));
}

// Every decoded value of the vectors' ephemeris, group-delay and GPS-to-GNSS objects, scenario
// by scenario (the messages fed so far). The UTC offsets (types 33 and page 1) are not kept
// by this receiver; fields without a counterpart are skipped.
TEST(GpsCnavVectors, EveryFieldToTheLastBit) {
  const auto vec = loadVectors();
  int compared = 0;
  std::set<std::string> classes;
  for (const auto& c : navfiles::vectorRows("gnsstk_expected_values.csv")) {
    if (c.size() < 10 || (c[0] != "PNBGPSCNavDataFactory" && c[0] != "PNBGPSCNav2DataFactory")) continue;
    const std::string &test = c[1], &cls = c[5], &field = c[6], &kind = c[8], &exp = c[9];
    const bool eph = cls == "GPSCNavEph" || cls == "GPSCNav2Eph" || cls == "GPSCNavISC" || cls == "GPSCNav2ISC";
    const bool off = (cls == "GPSCNavTimeOffset" || cls == "GPSCNav2TimeOffset") && test != "process33Test" &&
                     test != "processUTCIonoQZSSTest";
    if (!eph && !off) continue;
    if (kind == "time" && field != "Toe" && field != "Toc" && field != "top") continue;
    if (kind == "expr" || kind == "nan" || kind == "enum") continue;
    Harness h;
    SvIdType sv;
    Handed out;
    bool cnav2 = false;
    double sent = 0;
    Frame sf2{};
    std::string inputs = c[4];
    // The group delays of type 30 land in the ephemeris record: its types 10 and 11 go first.
    if (cls == "GPSCNavISC") inputs = "msg10CNAVGPSL2;msg11CNAVGPSL2;" + inputs;
    for (const std::string& n : split(inputs, ';')) {
      const Vector& v = vec.at(n);
      sv = v.sv, cnav2 = v.cnav2;
      if (v.nbits != 274) sf2 = v.frame, sent = v.sow;
      out = v.cnav2 ? h.feed(v.sv, v.nbits == 274 ? withSubframe2(v.frame, sf2) : v.frame) : h.feed(v.sv, v.msg);
    }
    Ours ours;
    if (eph) {
      const ZRT_EPH_GPS* e = h.eph(sv, cnav2 ? 2 : 1, sent);
      ASSERT_NE(e, nullptr) << test << " " << field;
      ours = ephField(*e, sv.sys == kSysQzss, field);
    } else {
      // GNSS ID 3 (QZSS) is kept from CNAV only.
      if (test == "processGGTOEOPQZSSTest") {
        EXPECT_FALSE(out.offset) << field;
        continue;
      }
      ASSERT_TRUE(out.offset) << test;
      ours = offsetField(out.off, field);
    }
    if (ours.lsb == 0) continue;
    EXPECT_NEAR(ours.value, expected(kind, exp), ours.lsb / 2 + std::fabs(ours.value) * 1e-15)
        << test << " " << c[3] << " " << field;
    classes.insert(cls);
    ++compared;
  }
  EXPECT_GE(compared, 90);
  EXPECT_EQ(classes.size(), 6u);
}

}  // namespace
