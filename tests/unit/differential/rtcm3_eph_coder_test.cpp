// The coder's broadcast ephemerides: the recordings' own frames read into records by the
// receiver's decoder and coded again, convbin reading ours as it reads the originals, and the
// QZSS and NavIC records of a RINEX 4 navigation file read back by convbin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "differential/rtcm3/rtcm3_coder.h"
#include "differential/rtcm3_ephemeris.h"
#include "rinex_obs_util.h"
#include "rtcm3_coder_test_util.h"

namespace {

using namespace coder3test;
using rinexobs::daysFromCivil;
using rtcm3test::run;

constexpr double kPi = 3.1415926535898;  // the value of the GPS ICD, as RINEX writers use it

int typeOf(const Bytes& f) { return f[3] << 4 | f[4] >> 4; }
// The ephemeris messages of RTCM 10403.3: GPS, GLONASS, QZSS, NavIC, Galileo F/NAV, I/NAV, BeiDou.
bool isEphemeris(int msg) {
  for (int m : {1019, 1020, 1041, 1042, 1044, 1045, 1046})
    if (msg == m) return true;
  return false;
}

// Every whole frame of a recording, in order.
std::vector<Bytes> framesOf(const Bytes& data) {
  std::vector<Bytes> out;
  for (std::size_t i = 0; i + 6 <= data.size();) {
    const std::size_t len = (data[i + 1] & 3u) << 8 | data[i + 2];
    if (data[i] != 0xD3 || i + len + 6 > data.size()) { ++i; continue; }
    out.emplace_back(data.begin() + static_cast<long>(i), data.begin() + static_cast<long>(i + len + 6));
    i += len + 6;
  }
  return out;
}

int indexOf(int msg) {
  for (int i = kRtc3MsgEphFirst; i <= kRtc3MsgEphLast; ++i)
    if (msgNumbers[i] == msg) return i;
  return -1;
}

// Our frame of one record.
Bytes encode(int msg, const Rtcm3Ephemeris& e) {
  FakeSource src;
  RTC3_Coder c(&src);
  c.setSettings(defaultSettings());
  c.setEphGps(msg == 1019 || msg == 1044 ? &e.gps : nullptr);
  c.setEphQzss(msg == 1044 ? &e.gps : nullptr);
  c.setEphGlonass(msg == 1020 ? &e.glo : nullptr);
  c.setEphBeidou(msg == 1042 ? &e.cmp : nullptr);
  c.setEphGalileo(msg == 1045 || msg == 1046 ? &e.gal : nullptr);
  c.setEphNavic(msg == 1041 ? &e.irs : nullptr);
  arm(c, {indexOf(msg)});
  return build(c, indexOf(msg));
}

bool decode(const Bytes& f, Rtcm3Ephemeris& e) {
  const int len = static_cast<int>(f.size()) - 6;
  BitReader br(f.data() + 3, len * 8);
  br.reset(len * 8, 12);
  return rtcm3_ReadEphemeris(typeOf(f), br, e);
}

// The recordings' ephemeris frames, read by the receiver's decoder and coded again: bit for bit
// the same frame where the record keeps every field the message has.
struct ReRow {
  const char* recording;
  int msg;
  int minFrames;
};
const ReRow kReRows[] = {
    {"uscl00chl0.rtcm3", 1019, 1}, {"testglo.rtcm3", 1019, 8}, {"uscl00chl0.rtcm3", 1020, 1},
    {"testglo.rtcm3", 1020, 4},    {"uscl00chl0.rtcm3", 1042, 1}, {"uscl00chl0.rtcm3", 1045, 1},
    {"uscl00chl0.rtcm3", 1046, 1},
};

TEST(Rtcm3EphCoder, RecordingsEphemeridesReEncodeBitIdentical) {
  for (const ReRow& r : kReRows) {
    SCOPED_TRACE(std::string(r.recording) + " " + std::to_string(r.msg));
    int n = 0;
    for (const Bytes& f : framesOf(rtcm3test::readFile(rtcm3test::recording(r.recording)))) {
      if (typeOf(f) != r.msg) continue;
      Rtcm3Ephemeris e;
      ASSERT_TRUE(decode(f, e));
      EXPECT_EQ(encode(r.msg, e), f) << "frame " << n;
      ++n;
    }
    EXPECT_GE(n, r.minFrames);
  }
}

// convbin's navigation RINEX of a recording with each ephemeris frame replaced by ours equals
// its RINEX of the original.
TEST(Rtcm3EphCoder, ConvbinReadsOurEphemeridesAsTheOriginals) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  struct Row { const char* recording; const char* tr; int minRecords; };
  const Row rows[] = {{"uscl00chl0.rtcm3", "2024/03/13 16:00:00", 5}, {"testglo.rtcm3", "2023/12/29 23:00:00", 10}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.recording);
    TempDir d;
    std::vector<Bytes> orig = framesOf(rtcm3test::readFile(rtcm3test::recording(r.recording))), ours;
    int replaced = 0;
    for (const Bytes& f : orig) {
      Rtcm3Ephemeris e;
      if (isEphemeris(typeOf(f)) && decode(f, e)) {
        ours.push_back(encode(typeOf(f), e));
        ASSERT_FALSE(ours.back().empty());
        ++replaced;
      } else {
        ours.push_back(f);
      }
    }
    ASSERT_GT(replaced, 0);
    writeFrames(d.file("a.rtcm3"), orig);
    writeFrames(d.file("b.rtcm3"), ours);
    const auto body = [&](const std::string& in) {
      run("cd '" + d.path + "' && convbin -r rtcm3 -tr " + r.tr + " -v 3.04 -n " + in + ".nav " + in + ".rtcm3 >/dev/null 2>&1");
      const std::string text = run("cat '" + d.file(in + ".nav") + "'");
      const std::size_t h = text.find("END OF HEADER");
      return h == std::string::npos ? std::string() : text.substr(h);
    };
    const std::string want = body("a"), got = body("b");
    EXPECT_GE(static_cast<int>(std::count(want.begin(), want.end(), '\n')), r.minRecords * 4);
    EXPECT_EQ(got, want);
  }
}

// ---- QZSS (1044) and NavIC (1041) from the records of a RINEX 4 navigation file ----

struct NavRec {
  std::string sat;  // "J02"
  int y, mo, d, h, mi, s;
  std::vector<double> v;  // the broadcast orbit values after the epoch, in file order
};

double num(std::string f) {
  for (char& c : f)
    if (c == 'D' || c == 'd') c = 'E';
  return std::strtod(f.c_str(), nullptr);
}

// The records of the given systems: RINEX 3 and 4 lay the orbit lines out alike (4 x 19
// characters after a 4-character indent).
std::vector<NavRec> parseNav(const std::string& text, const std::string& systems, int lines) {
  std::vector<NavRec> out;
  std::istringstream in(text);
  std::string line;
  bool header = true;
  while (std::getline(in, line)) {
    if (header) {
      header = line.find("END OF HEADER") == std::string::npos;
      continue;
    }
    if (line.size() < 23 || systems.find(line[0]) == std::string::npos || line[3] != ' ') continue;
    NavRec r;
    r.sat = line.substr(0, 3);
    if (std::sscanf(line.c_str() + 4, "%d %d %d %d %d %d", &r.y, &r.mo, &r.d, &r.h, &r.mi, &r.s) != 6) continue;
    for (int k = 0; k < 3; ++k) r.v.push_back(num(line.substr(23 + 19 * k, 19)));
    for (int l = 0; l < lines && std::getline(in, line); ++l)
      for (std::size_t k = 0, at = 4; k < 4; ++k, at += 19) {
        const std::string f = at < line.size() ? line.substr(at, 19) : "";
        r.v.push_back(f.find_first_not_of(' ') != std::string::npos ? num(f) : 0);
      }
    out.push_back(r);
  }
  return out;
}

int secondsOfWeek(const NavRec& r) {
  const long days = daysFromCivil(r.y, r.mo, r.d) - daysFromCivil(1980, 1, 6);
  return static_cast<int>(days % 7 * 86400 + r.h * 3600 + r.mi * 60 + r.s);
}

// URA index of an accuracy in metres (GPS ICD 20.3.3.3.1.3, the upper bounds).
int uraIndex(double m) {
  const double top[] = {2.4, 3.4, 4.85, 6.85, 9.65, 13.65, 24, 48, 96, 192, 384, 768, 1536, 3072, 6144};
  for (int i = 0; i < 15; ++i)
    if (m <= top[i]) return i;
  return 15;
}

// Value positions of a GPS-like record (RINEX 3/4, after the clock terms at 0-2).
enum { kAf0, kAf1, kAf2, kIode, kCrs, kDn, kM0, kCuc, kE, kCus, kSqrtA, kToe, kCic, kOmega0, kCis, kI0, kCrc,
       kOmega, kOmegaDot, kIdot, kCodes, kWeek, kL2p, kAcc, kHealth, kTgd, kIodc, kTtr, kFit };

Rtcm3Ephemeris fromRinex(const NavRec& r) {
  Rtcm3Ephemeris e;
  const std::vector<double>& v = r.v;
  const auto fillCommon = [&](auto& x) {
    x.toc = secondsOfWeek(r);
    x.af0 = v[kAf0], x.af1 = static_cast<float>(v[kAf1]), x.af2 = static_cast<float>(v[kAf2]);
    x.crs = static_cast<float>(v[kCrs]), x.deltaN = static_cast<float>(v[kDn] / kPi), x.M0 = v[kM0] / kPi;
    x.cuc = static_cast<float>(v[kCuc]), x.e = v[kE], x.cus = static_cast<float>(v[kCus]), x.sqrtA = v[kSqrtA];
    x.toe = static_cast<std::uint32_t>(v[kToe]), x.cic = static_cast<float>(v[kCic]), x.Omega0 = v[kOmega0] / kPi;
    x.cis = static_cast<float>(v[kCis]), x.i0 = v[kI0] / kPi, x.crc = static_cast<float>(v[kCrc]);
    x.omega = v[kOmega] / kPi, x.OmegaDot = static_cast<float>(v[kOmegaDot] / kPi);
    x.idot = static_cast<float>(v[kIdot] / kPi), x.week = static_cast<std::uint16_t>(v[kWeek]);
    x.tgd = static_cast<float>(v[kTgd]);
  };
  if (r.sat[0] == 'J') {
    ZRT_EPH_QZS& q = e.gps;
    fillCommon(q);
    q.prn = static_cast<std::uint8_t>(192 + std::stoi(r.sat.substr(1)));
    q.iode = static_cast<std::uint16_t>(v[kIode]);
    q.iodc = static_cast<std::int16_t>(v[kIodc]);
    q.ura = static_cast<std::int8_t>(uraIndex(v[kAcc]));
    q.health = static_cast<std::uint8_t>(v[kHealth]);
    q.flags = static_cast<std::uint16_t>(static_cast<int>(v[kCodes]) << 2 | (v[kFit] != 0 ? 1 : 0));
  } else {
    ZRT_EPH_IRS& i = e.irs;
    fillCommon(i);
    i.prn = static_cast<std::uint8_t>(std::stoi(r.sat.substr(1)));
    i.iodec = static_cast<std::int16_t>(v[kIode]);
    i.ura = static_cast<std::uint8_t>(uraIndex(v[kAcc]));
    i.health = static_cast<std::uint8_t>(v[kHealth]);
  }
  return e;
}

// Each value and the resolution of its field (the standard's scale factors; angles in
// semicircles times pi).
struct FieldRow {
  const char* name;
  int at;
  double lsbQzss, lsbNavic;
};
const FieldRow kFieldRows[] = {
    {"af0", kAf0, 0x1p-31, 0x1p-31},          {"af1", kAf1, 0x1p-43, 0x1p-43},
    {"af2", kAf2, 0x1p-55, 0x1p-55},          {"IODE/IODEC", kIode, 1, 1},
    {"crs", kCrs, 0x1p-5, 0x1p-4},            {"delta n", kDn, 0x1p-43 * kPi, 0x1p-41 * kPi},
    {"M0", kM0, 0x1p-31 * kPi, 0x1p-31 * kPi}, {"cuc", kCuc, 0x1p-29, 0x1p-28},
    {"e", kE, 0x1p-33, 0x1p-33},              {"cus", kCus, 0x1p-29, 0x1p-28},
    {"sqrtA", kSqrtA, 0x1p-19, 0x1p-19},      {"toe", kToe, 16, 16},
    {"cic", kCic, 0x1p-29, 0x1p-28},          {"Omega0", kOmega0, 0x1p-31 * kPi, 0x1p-31 * kPi},
    {"cis", kCis, 0x1p-29, 0x1p-28},          {"i0", kI0, 0x1p-31 * kPi, 0x1p-31 * kPi},
    {"crc", kCrc, 0x1p-5, 0x1p-4},            {"omega", kOmega, 0x1p-31 * kPi, 0x1p-31 * kPi},
    {"Omega dot", kOmegaDot, 0x1p-43 * kPi, 0x1p-41 * kPi}, {"IDOT", kIdot, 0x1p-43 * kPi, 0x1p-43 * kPi},
    {"health", kHealth, 1, 1},                {"TGD", kTgd, 0x1p-31, 0x1p-31},
};

TEST(Rtcm3EphCoder, QzssAndNavicFromRinex4ReadBackByConvbin) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  const std::string file = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
  std::vector<NavRec> src;
  for (const NavRec& r : parseNav(run("zcat '" + file + "'"), "JI", 7))
    if (r.v.size() >= kFit + 1 && r.d == 12 && r.h < 6) src.push_back(r);  // LNAV records of the day's first hours
  std::map<std::string, NavRec> first;  // one record per satellite: convbin keeps one
  for (const NavRec& r : src) first.try_emplace(r.sat, r);
  ASSERT_GE(first.size(), 8u);
  TempDir d;
  std::vector<Bytes> frames;
  for (const auto& [sat, r] : first) {
    Bytes f = encode(sat[0] == 'J' ? 1044 : 1041, fromRinex(r));
    ASSERT_FALSE(f.empty()) << sat;
    frames.push_back(f);
  }
  writeFrames(d.file("e.rtcm3"), frames);
  run("cd '" + d.path + "' && convbin -r rtcm3 -tr 2023/03/12 03:00:00 -v 3.04 -n e.nav -l e.qnav e.rtcm3 >/dev/null 2>&1");
  std::map<std::string, NavRec> got;
  for (const NavRec& r : parseNav(run("cat '" + d.file("e.nav") + "' '" + d.file("e.qnav") + "' 2>/dev/null"), "JI", 7))
    got.try_emplace(r.sat, r);
  ASSERT_EQ(got.size(), first.size());
  for (const auto& [sat, w] : first) {
    SCOPED_TRACE(sat);
    ASSERT_TRUE(got.contains(sat));
    const NavRec& g = got.at(sat);
    EXPECT_EQ(secondsOfWeek(g), secondsOfWeek(w)) << "time of clock";
    const bool qzss = sat[0] == 'J';
    for (const FieldRow& f : kFieldRows) {
      const double lsb = qzss ? f.lsbQzss : f.lsbNavic;
      EXPECT_NEAR(g.v[f.at], w.v[f.at], lsb * 1.001 + std::fabs(w.v[f.at]) * 1e-11) << f.name;
    }
    EXPECT_EQ(static_cast<int>(g.v[kWeek]) % 1024, static_cast<int>(w.v[kWeek]) % 1024);
    EXPECT_EQ(uraIndex(g.v[kAcc]), uraIndex(w.v[kAcc]));
    if (qzss) {
      EXPECT_EQ(g.v[kIodc], w.v[kIodc]);
      EXPECT_EQ(g.v[kCodes], w.v[kCodes]);
    }
  }
}

// ---- Rules row by row ----

Rtcm3Ephemeris gpsRecord() {
  Rtcm3Ephemeris e;
  ZRT_EPH_GPS& g = e.gps;
  g.prn = 7, g.week = 2305, g.ura = 2, g.flags = 1 << 2 | 1 << 1 | 1, g.iode = 77, g.iodc = 333, g.toc = 318960;
  g.toe = 318960, g.af0 = -0x1p-20, g.af1 = 0x1p-40f, g.af2 = 0, g.sqrtA = 5153.6, g.e = 0.0123, g.M0 = -0.75;
  g.Omega0 = 0.5, g.i0 = 0.3, g.omega = -0.2, g.health = 0x21, g.tgd = -0x1p-29f;
  return e;
}

// A record whose value a field cannot hold builds no frame; the values that fit do.
struct RangeRow {
  const char* what;
  int msg;
  void (*change)(Rtcm3Ephemeris&);
  bool built;
};
const RangeRow kRangeRows[] = {
    {"GPS as it is", 1019, [](Rtcm3Ephemeris&) {}, true},
    {"GPS number 0", 1019, [](Rtcm3Ephemeris& e) { e.gps.prn = 0; }, false},
    {"GPS number 64", 1019, [](Rtcm3Ephemeris& e) { e.gps.prn = 64; }, false},
    {"GPS week 2305 sent mod 1024", 1019, [](Rtcm3Ephemeris& e) { e.gps.week = 2305; }, true},
    {"GPS toc negative", 1019, [](Rtcm3Ephemeris& e) { e.gps.toc = -16; }, false},
    {"GPS toc beyond the week", 1019, [](Rtcm3Ephemeris& e) { e.gps.toc = 1048576; }, false},
    {"GPS eccentricity 1", 1019, [](Rtcm3Ephemeris& e) { e.gps.e = 1.0; }, false},
    {"GPS eccentricity just below 0.5", 1019, [](Rtcm3Ephemeris& e) { e.gps.e = 0.4999; }, true},
    {"GPS sqrtA negative", 1019, [](Rtcm3Ephemeris& e) { e.gps.sqrtA = -1; }, false},
    {"GPS M0 not a number", 1019, [](Rtcm3Ephemeris& e) { e.gps.M0 = NAN; }, false},
    {"GPS M0 -1 semicircle", 1019, [](Rtcm3Ephemeris& e) { e.gps.M0 = -1.0; }, true},
    {"GPS M0 +1 semicircle", 1019, [](Rtcm3Ephemeris& e) { e.gps.M0 = 1.0; }, false},
    {"GPS af0 beyond 22 bits", 1019, [](Rtcm3Ephemeris& e) { e.gps.af0 = 0x1p-10; }, false},
    {"GLONASS as it is", 1020, [](Rtcm3Ephemeris& e) { e.glo = ZRT_EPH_GLN{}; e.glo.slot = 3; e.glo.freqNum = -7; }, true},
    {"GLONASS slot 0", 1020, [](Rtcm3Ephemeris& e) { e.glo = ZRT_EPH_GLN{}; }, false},
    {"GLONASS position beyond 27 bits", 1020,
     [](Rtcm3Ephemeris& e) { e.glo = ZRT_EPH_GLN{}; e.glo.slot = 3; e.glo.pos[1] = -32768.0; }, false},
    {"GLONASS position just inside", 1020,
     [](Rtcm3Ephemeris& e) { e.glo = ZRT_EPH_GLN{}; e.glo.slot = 3; e.glo.pos[1] = -32767.999; }, true},
    {"GLONASS frequency number 25", 1020, [](Rtcm3Ephemeris& e) { e.glo = ZRT_EPH_GLN{}; e.glo.slot = 3; e.glo.freqNum = 25; }, false},
    {"QZSS number 192", 1044, [](Rtcm3Ephemeris& e) { e.gps.prn = 192; }, false},
    {"QZSS number 193", 1044, [](Rtcm3Ephemeris& e) { e.gps.prn = 193; }, true},
    {"Galileo toe not in minutes range", 1045, [](Rtcm3Ephemeris& e) { e.gal = ZRT_EPH_GAL{}; e.gal.svid = 4; e.gal.toe = 604800 * 2; }, false},
    {"Galileo I/NAV", 1046, [](Rtcm3Ephemeris& e) { e.gal = ZRT_EPH_GAL{}; e.gal.svid = 36; e.gal.toe = 604200; }, true},
    {"BeiDou as it is", 1042, [](Rtcm3Ephemeris& e) { e.cmp = ZRT_EPH_CMP{}; e.cmp.prn = 61; }, true},
    {"NavIC as it is", 1041, [](Rtcm3Ephemeris& e) { e.irs = ZRT_EPH_IRS{}; e.irs.prn = 14; }, true},
};

TEST(Rtcm3EphCoder, ValuesBeyondTheirFieldsBuildNoFrame) {
  for (const RangeRow& r : kRangeRows) {
    SCOPED_TRACE(r.what);
    Rtcm3Ephemeris e = gpsRecord();
    r.change(e);
    const Bytes f = encode(r.msg, e);
    EXPECT_EQ(!f.empty(), r.built);
    if (f.empty()) continue;
    Rtcm3Ephemeris back;
    ASSERT_TRUE(decode(f, back));
    EXPECT_EQ(encode(r.msg, back), f) << "read back and coded again";
  }
}

// Field by field through the decoder: GPS week mod 1024, health and the two flags at the end of
// 1019, GLONASS sign-magnitude values of both signs, BeiDou group delays in 0.1 ns, the Galileo
// health layouts of F/NAV and I/NAV.
TEST(Rtcm3EphCoder, FieldsReadBackByTheDecoder) {
  {
    const Bytes f = encode(1019, gpsRecord());
    Rtcm3Ephemeris b;
    ASSERT_TRUE(decode(f, b));
    EXPECT_EQ(b.gps.week, 2305 % 1024);
    EXPECT_EQ(b.gps.health, 0x21);
    EXPECT_EQ(b.gps.flags, 7);
    EXPECT_EQ(bits(f, 24 + 12 + 6 + 10 + 4, 2), 1u) << "codes on L2";
    EXPECT_EQ(bits(f, static_cast<int>(f.size() - 3) * 8 - 2, 2), 3u) << "L2 P and fit flags last";
    EXPECT_DOUBLE_EQ(b.gps.M0, -0.75);
    EXPECT_DOUBLE_EQ(b.gps.tgd, -0x1p-29);
  }
  {
    Rtcm3Ephemeris e;
    ZRT_EPH_GLN& g = e.glo;
    g = ZRT_EPH_GLN{};
    g.slot = 21, g.freqNum = 4, g.tkRaw = 0x5A3, g.tb = 900 * 77, g.health = 1, g.flags = 0x0080 | 3 | 1 << 2 | 1 << 9;
    g.pos[0] = -12345.678, g.pos[1] = 20000.5, g.pos[2] = -0.00048828125;
    g.vel[0] = -3.1234567, g.vel[1] = 0.5, g.vel[2] = -0.0000019073486328125;
    g.acc[0] = -0x1p-28f, g.acc[1] = 0x3p-30f, g.acc[2] = 0;
    g.gammaN = -0x5p-40, g.tauN = -0x123p-30, g.dTauN = -0x3p-30f, g.tauC = -0x1234567p-31, g.tauGPS = 0x777p-30;
    g.En = 17, g.FT = 5, g.NT = 1234, g.NA = 1200, g.N4 = 7;
    const Bytes f = encode(1020, e);
    Rtcm3Ephemeris b;
    ASSERT_TRUE(decode(f, b));
    for (int k = 0; k < 3; ++k) {
      EXPECT_NEAR(b.glo.pos[k], g.pos[k], 0x1p-11) << k;
      EXPECT_TRUE(std::fabs(b.glo.pos[k]) <= std::fabs(g.pos[k])) << "truncated toward zero";
      EXPECT_NEAR(b.glo.vel[k], g.vel[k], 0x1p-20) << k;
      EXPECT_EQ(b.glo.acc[k], g.acc[k]) << k;
    }
    EXPECT_EQ(b.glo.gammaN, g.gammaN);
    EXPECT_EQ(b.glo.tauN, g.tauN);
    EXPECT_EQ(b.glo.dTauN, g.dTauN);
    EXPECT_EQ(b.glo.tauC, g.tauC);
    EXPECT_EQ(b.glo.tauGPS, g.tauGPS);
    EXPECT_EQ(b.glo.tkRaw, 0x5A3);
    EXPECT_EQ(b.glo.tb, 900u * 77);
    EXPECT_EQ(b.glo.freqNum, 4);
    EXPECT_EQ(b.glo.slot, 21);
    EXPECT_EQ(std::tuple(b.glo.En, b.glo.FT, b.glo.NT, b.glo.NA, b.glo.N4), std::tuple(17, 5, 1234, 1200, 7));
    EXPECT_EQ(b.glo.flags & 0x3F0Fu, g.flags & 0x3F0Fu);
    EXPECT_NE(b.glo.flags & 0x0020u, 0u) << "additional data always present";
    // Sign-magnitude: the x position -12345.678 km as its magnitude in 2^-11 km with the sign bit.
    const int xAt = 24 + 12 + 6 + 5 + 1 + 1 + 2 + 12 + 1 + 1 + 7 + 24;
    EXPECT_EQ(bits(f, xAt, 27), (1u << 26) | static_cast<std::uint32_t>(12345.678 * 2048));
    // An L3 record keeps its string time TS (3-s units) raw: 1020 carries the frame start of day
    // instead, its 30-s flag set from the half minute on (TS 10: 00:00:30 exactly; TS 9: 00:00:27).
    for (auto [ts, want] : {std::pair{1011u, 50u << 1 | 1u}, std::pair{28799u, 23u << 7 | 59u << 1 | 1u},
                            std::pair{10u, 1u}, std::pair{9u, 0u}, std::pair{1010u, 50u << 1 | 1u},
                            std::pair{1009u, 50u << 1}, std::pair{1020u, 51u << 1}, std::pair{0u, 0u},
                            std::pair{1210u, 1u << 7 | 1u}}) {
      g.signals = kGloSignalL3, g.tkRaw = static_cast<std::uint16_t>(ts), g.tk = 3 * ts;
      Rtcm3Ephemeris l3;
      ASSERT_TRUE(decode(encode(1020, e), l3));
      EXPECT_EQ(l3.glo.tkRaw, want) << "TS " << ts;
    }
  }
  {
    Rtcm3Ephemeris e;
    e.cmp = ZRT_EPH_CMP{};
    e.cmp.prn = 30, e.cmp.tgd1 = 5e-9f, e.cmp.tgd2 = -2.3e-9f, e.cmp.week = 949, e.cmp.health = 1;
    const Bytes f = encode(1042, e);
    Rtcm3Ephemeris b;
    ASSERT_TRUE(decode(f, b));
    EXPECT_NEAR(b.cmp.tgd1, 5e-9, 1e-13) << "50 units of 0.1 ns, not 49";
    EXPECT_NEAR(b.cmp.tgd2, -2.3e-9, 1e-13);
    EXPECT_EQ(b.cmp.week, 949);
    EXPECT_EQ(b.cmp.health, 1);
  }
  for (int health = 0; health < 64; health += 7) {
    for (int msg : {1045, 1046}) {
      SCOPED_TRACE(std::to_string(msg) + " health " + std::to_string(health));
      Rtcm3Ephemeris e;
      e.gal = ZRT_EPH_GAL{};
      e.gal.svid = 11, e.gal.week = 1257, e.gal.toc = e.gal.toe = 600 * 60;
      e.gal.health = static_cast<std::uint8_t>(msg == 1045 ? health & 7 : health);
      e.gal.bgdE1E5a = 0x5p-32f, e.gal.bgdE1E5b = -0x9p-32f;
      const Bytes f = encode(msg, e);
      Rtcm3Ephemeris b;
      ASSERT_TRUE(decode(f, b));
      EXPECT_EQ(b.gal.health, e.gal.health);
      EXPECT_EQ(b.gal.toe, e.gal.toe);
      EXPECT_EQ(b.gal.bgdE1E5a, e.gal.bgdE1E5a);
      if (msg == 1046) { EXPECT_EQ(b.gal.bgdE1E5b, e.gal.bgdE1E5b); }
    }
  }
}

TEST(Rtcm3EphCoder, WithoutARecordNothingIsBuilt) {
  FakeSource src;
  RTC3_Coder c(&src);
  c.setSettings(defaultSettings());
  arm(c, {61, 62, 63, 64, 65, 66, 67});
  for (int i = kRtc3MsgEphFirst; i <= kRtc3MsgEphLast; ++i) EXPECT_TRUE(build(c, i).empty()) << msgNumbers[i];
}

}  // namespace

namespace {

// Records of every kind with random bytes changed (the recording's, else a plain one): a frame
// is built or not, never a broken one; what is built reads back into a record that codes to the
// same frame.
TEST(Rtcm3EphCoder, RandomRecordsBuildWholeFramesOrNone) {
  std::map<int, Rtcm3Ephemeris> bases;
  for (const Bytes& f : framesOf(rtcm3test::readFile(rtcm3test::recording("uscl00chl0.rtcm3"))))
    if (Rtcm3Ephemeris e; isEphemeris(typeOf(f)) && decode(f, e)) bases.try_emplace(typeOf(f), e);
  bases[1044] = gpsRecord();
  bases[1044].gps.prn = 195;
  bases[1041].irs = ZRT_EPH_IRS{};
  bases[1041].irs.prn = 5;
  std::mt19937 rng(76);
  int built = 0, refused = 0;
  for (int round = 0; round < 3000; ++round) {
    const int msg = msgNumbers[kRtc3MsgEphFirst + round % 7];
    ASSERT_TRUE(bases.contains(msg)) << msg;
    Rtcm3Ephemeris e = bases.at(msg);
    auto* raw = reinterpret_cast<std::uint8_t*>(&e.gps);
    for (int k = 1 + static_cast<int>(rng() % 3); k > 0; --k) raw[rng() % sizeof(ZRT_EPH_GPS)] = static_cast<std::uint8_t>(rng());
    const Bytes f = encode(msg, e);
    if (f.empty()) { ++refused; continue; }
    ++built;
    SCOPED_TRACE(std::to_string(msg) + " round " + std::to_string(round));
    ASSERT_EQ(static_cast<std::size_t>(((f[1] & 3) << 8 | f[2]) + 6), f.size());
    Rtcm3Ephemeris back;
    if (decode(f, back)) { EXPECT_EQ(encode(msg, back), f); }
  }
  EXPECT_GT(built, 1000);
  EXPECT_GT(refused, 100);
}

}  // namespace
