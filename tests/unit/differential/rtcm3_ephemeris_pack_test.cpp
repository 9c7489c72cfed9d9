// 1041 (NavIC) and 1044 (QZSS) are in no recording: frames are packed here from the broadcast
// records of a RINEX 4 navigation file, so the RINEX values are the truth.
#include <cmath>

#include "differential/rtcm3_ephemeris.h"
#include "rtcm3_test_util.h"

namespace {

using namespace rtcm3test;

constexpr double kPi = 3.1415926535898;

struct Rec {
  char sys;
  int prn;
  int tow;  // s of week of the epoch
  std::vector<double> v;
};

long daysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const long era = (y >= 0 ? y : y - 399) / 400;
  const long yoe = y - era * 400;
  const long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  return era * 146097 + yoe * 365 + yoe / 4 - yoe / 100 + doy - 719468;
}

std::vector<Rec> readLnavFile(char sys) {
  const std::string file = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
  std::istringstream in(run("gzip -dc '" + file + "'"));
  std::vector<Rec> out;
  bool take = false;
  for (std::string l; std::getline(in, l);) {
    if (l.rfind("> ", 0) == 0) {
      take = l.size() > 6 && l[6] == sys && l.find("LNAV") != std::string::npos;
      continue;
    }
    if (!take) continue;
    std::string t = l;
    for (char& c : t)
      if (c == 'D') c = 'E';
    if (l[0] == sys) {
      Rec r{sys, std::atoi(l.substr(1, 2).c_str()), 0, {}};
      const long days = daysFromCivil(std::atoi(l.substr(4, 4).c_str()), std::atoi(l.substr(9, 2).c_str()),
                                      std::atoi(l.substr(12, 2).c_str())) - daysFromCivil(1980, 1, 6);
      r.tow = static_cast<int>(days % 7) * 86400 + std::atoi(l.substr(15, 2).c_str()) * 3600 +
              std::atoi(l.substr(18, 2).c_str()) * 60 + std::atoi(l.substr(21, 2).c_str());
      for (std::size_t p = 23; p + 19 <= t.size(); p += 19) r.v.push_back(std::strtod(t.substr(p, 19).c_str(), nullptr));
      out.push_back(r);
    } else if (!out.empty() && l.size() > 4) {
      for (std::size_t p = 4; p < 80; p += 19)
        out.back().v.push_back(p + 19 <= t.size() ? std::strtod(t.substr(p, 19).c_str(), nullptr) : 0.0);
    }
  }
  return out;
}

const std::vector<Rec>& readLnav(char sys) {
  static std::map<char, std::vector<Rec>> cache;
  if (!cache.count(sys)) cache[sys] = readLnavFile(sys);
  return cache[sys];
}

// A value in units of 2^exp, as a field of `bits` bits.
Field q(double value, int exp, int bits) {
  const long long n = std::llround(std::ldexp(value, -exp));
  return Field(static_cast<std::uint64_t>(n) & ((bits == 64 ? 0 : (1ull << bits)) - 1), bits);
}

int uraIndex(double metres) {
  for (int i = 0; i < 15; ++i)
    if ((i <= 6 ? std::round(10 * std::pow(2.0, 1 + i / 2.0)) / 10 : std::pow(2.0, i - 2)) >= metres - 1e-9) return i;
  return 15;
}

Bytes packQzss(const Rec& r, int id) {
  const std::vector<double>& v = r.v;
  return payload({Field(1044, 12), Field(static_cast<std::uint64_t>(id), 4), Field(static_cast<std::uint64_t>(r.tow / 16), 16),
                  q(v[2], -55, 8), q(v[1], -43, 16), q(v[0], -31, 22), Field(static_cast<std::uint64_t>(v[3]), 8),
                  q(v[4], -5, 16), q(v[5] / kPi, -43, 16), q(v[6] / kPi, -31, 32), q(v[7], -29, 16), q(v[8], -33, 32),
                  q(v[9], -29, 16), q(v[10], -19, 32), Field(static_cast<std::uint64_t>(v[11] / 16), 16), q(v[12], -29, 16),
                  q(v[13] / kPi, -31, 32), q(v[14], -29, 16), q(v[15] / kPi, -31, 32), q(v[16], -5, 16),
                  q(v[17] / kPi, -31, 32), q(v[18] / kPi, -43, 24), q(v[19] / kPi, -43, 14),
                  Field(static_cast<std::uint64_t>(v[20]), 2), Field(static_cast<std::uint64_t>(v[21]) % 1024, 10),
                  Field(static_cast<std::uint64_t>(uraIndex(v[23])), 4), Field(static_cast<std::uint64_t>(v[24]), 6),
                  q(v[25], -31, 8), Field(static_cast<std::uint64_t>(v[26]), 10), Field(v[28] > 2 ? 1 : 0, 1)});
}

Bytes packNavic(const Rec& r, int id) {
  const std::vector<double>& v = r.v;
  return payload({Field(1041, 12), Field(static_cast<std::uint64_t>(id), 6), Field(static_cast<std::uint64_t>(v[21]) % 1024, 10),
                  q(v[0], -31, 22), q(v[1], -43, 16), q(v[2], -55, 8), Field(static_cast<std::uint64_t>(uraIndex(v[23])), 4),
                  Field(static_cast<std::uint64_t>(r.tow / 16), 16), q(v[25], -31, 8), q(v[5] / kPi, -41, 22),
                  Field(static_cast<std::uint64_t>(v[3]), 8), Field(0, 10), Field(static_cast<std::uint64_t>(v[24]) & 3, 2),
                  q(v[7], -28, 15), q(v[9], -28, 15), q(v[12], -28, 15), q(v[14], -28, 15), q(v[16], -4, 15),
                  q(v[4], -4, 15), q(v[19] / kPi, -43, 14), q(v[6] / kPi, -31, 32),
                  Field(static_cast<std::uint64_t>(v[11] / 16), 16), q(v[8], -33, 32), q(v[10], -19, 32),
                  q(v[13] / kPi, -31, 32), q(v[17] / kPi, -31, 32), q(v[18] / kPi, -41, 22), q(v[15] / kPi, -31, 32),
                  Field(0, 4)});
}

bool decode(const Bytes& p, Rtcm3Ephemeris& e) {
  BitReader br(p.data(), 8 * static_cast<int>(p.size()));
  br.reset(8 * static_cast<int>(p.size()), 12);
  return rtcm3_ReadEphemeris(p[0] << 4 | p[1] >> 4, br, e);
}

// Within one unit of the field's scale.
#define EXPECT_UNIT(got, want, exp) EXPECT_LE(std::fabs((got) - (want)), std::ldexp(1.0, exp)) << #got

template <class R>
void checkOrbit(const R& g, const std::vector<double>& v, int crsExp, int cucExp, int dnExp, int odExp) {
  EXPECT_UNIT(g.af0, v[0], -31);
  EXPECT_UNIT(g.af1, v[1], -43);
  EXPECT_UNIT(g.af2, v[2], -55);
  EXPECT_UNIT(g.crs, v[4], crsExp);
  EXPECT_UNIT(g.deltaN, v[5] / kPi, dnExp);
  EXPECT_UNIT(g.M0, v[6] / kPi, -31);
  EXPECT_UNIT(g.cuc, v[7], cucExp);
  EXPECT_UNIT(g.e, v[8], -33);
  EXPECT_UNIT(g.cus, v[9], cucExp);
  EXPECT_UNIT(g.sqrtA, v[10], -19);
  EXPECT_EQ(g.toe, static_cast<std::uint32_t>(v[11]));
  EXPECT_UNIT(g.cic, v[12], cucExp);
  EXPECT_UNIT(g.Omega0, v[13] / kPi, -31);
  EXPECT_UNIT(g.cis, v[14], cucExp);
  EXPECT_UNIT(g.i0, v[15] / kPi, -31);
  EXPECT_UNIT(g.crc, v[16], crsExp);
  EXPECT_UNIT(g.omega, v[17] / kPi, -31);
  EXPECT_UNIT(g.OmegaDot, v[18] / kPi, odExp);
  EXPECT_UNIT(g.idot, v[19] / kPi, -43);
}

TEST(Rtcm3EphemerisPacked, QzssFromRinex) {
  const std::vector<Rec> recs = readLnav('J');
  ASSERT_FALSE(recs.empty());
  for (const Rec& r : recs) {
    SCOPED_TRACE("J" + std::to_string(r.prn));
    Rtcm3Ephemeris e;
    ASSERT_TRUE(decode(packQzss(r, r.prn), e));
    const ZRT_EPH_QZS& g = e.gps;
    EXPECT_EQ(g.prn, 192 + r.prn);
    EXPECT_EQ(e.id.sys, kSysQzss);
    EXPECT_EQ(e.id.si, r.prn - 1);
    checkOrbit(g, r.v, -5, -29, -43, -43);
    EXPECT_EQ(g.toc, r.tow);
    EXPECT_EQ(g.iode, r.v[3]);
    EXPECT_EQ((g.flags >> 2) & 3, r.v[20]);
    EXPECT_EQ(g.week, static_cast<int>(r.v[21]) % 1024);
    EXPECT_EQ(g.health, r.v[24]);
    EXPECT_UNIT(g.tgd, r.v[25], -31);
    EXPECT_EQ(g.iodc, r.v[26]);
    EXPECT_EQ(g.flags & 1, r.v[28] > 2 ? 1 : 0);
    EXPECT_EQ(g.source, 1);
  }
}

TEST(Rtcm3EphemerisPacked, NavicFromRinexKeepsItsPrn) {
  const std::vector<Rec> recs = readLnav('I');
  ASSERT_FALSE(recs.empty());
  for (const Rec& r : recs) {
    SCOPED_TRACE("I" + std::to_string(r.prn));
    Rtcm3Ephemeris e;
    ASSERT_TRUE(decode(packNavic(r, r.prn), e));
    const ZRT_EPH_IRS& g = e.irs;
    EXPECT_EQ(g.prn, r.prn);
    EXPECT_EQ(e.id.sys, kSysNavic);
    EXPECT_EQ(e.id.si, r.prn - 1);
    checkOrbit(g, r.v, -4, -28, -41, -41);
    EXPECT_EQ(g.toc, r.tow);
    EXPECT_EQ(g.iodec, r.v[3]);
    EXPECT_EQ(g.iodec2, r.v[3]);
    EXPECT_EQ(g.health, static_cast<int>(r.v[24]) & 3);
    EXPECT_UNIT(g.tgd, r.v[25], -31);
    EXPECT_EQ(g.week, static_cast<int>(r.v[21]) % 1024);
    EXPECT_EQ(g.flags, 0);
  }
  // ID 5 is PRN 5, not 6.
  Rtcm3Ephemeris e;
  ASSERT_TRUE(decode(packNavic(recs.front(), 5), e));
  EXPECT_EQ(e.irs.prn, 5);
  EXPECT_EQ(e.id.si, 4);
}

struct IdRow { bool qzss; int id; bool taken; };
const IdRow kIds[] = {{true, 0, false}, {true, 1, true}, {true, 7, true}, {true, 8, false}, {true, 15, false},
                      {false, 0, false}, {false, 1, true}, {false, 14, true}, {false, 15, false}, {false, 63, false}};

TEST(Rtcm3EphemerisPacked, IdentityOutsideTheSystemIsRefused) {
  const Rec j = readLnav('J').front();
  const Rec i = readLnav('I').front();
  for (const IdRow& row : kIds) {
    Rtcm3Ephemeris e;
    EXPECT_EQ(decode(row.qzss ? packQzss(j, row.id) : packNavic(i, row.id), e), row.taken) << row.qzss << " " << row.id;
  }
}

TEST(Rtcm3EphemerisPacked, QzssClockReferenceOfField225Is3600s) {
  Rec j = readLnav('J').front();
  j.tow = 225 * 16;
  Rtcm3Ephemeris e;
  ASSERT_TRUE(decode(packQzss(j, 1), e));
  EXPECT_EQ(e.gps.toc, 3600);
  EXPECT_EQ(e.gps.prn, 193);
}

TEST(Rtcm3EphemerisPacked, EveryTruncationIsRefused) {
  for (const Bytes& p : {packQzss(readLnav('J').front(), 1), packNavic(readLnav('I').front(), 5)}) {
    for (std::size_t len = 2; len < p.size(); ++len) {
      const Bytes s(p.begin(), p.begin() + static_cast<long>(len));
      Rtcm3Ephemeris e;
      EXPECT_FALSE(decode(s, e)) << len;
    }
  }
}

}  // namespace
