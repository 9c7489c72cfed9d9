// Navigation records in native messages on a serial port in native mode:
//   - a GPS ephemeris of a public RINEX file reaches the satellite data store, which keeps it in
//     the settings image; the satellite position from what the store kept equals the one from
//     the RINEX values;
//   - the ephemerides of GLONASS, Galileo (I/NAV and F/NAV), BeiDou (D1 and D2), QZSS and NavIC of
//     the public RINEX 4 broadcast file, sent as native records, come back through the program's
//     RTCM 3 ephemeris messages, read by Debian's convbin, with the file's values; restored from
//     the settings image after a restart and sent again, they are no new issue;
//   - an SBAS ephemeris, the UTC parameters of every system and the Klobuchar models of QZSS,
//     BeiDou and NavIC are kept in the settings image at the places and with the values the record
//     layouts give; a UTC record without its leap seconds is refused;
//   - the GLONASS satellite types (M) of an ephemeris and an almanac reach their table in the image;
//   - the board's calibration tables from a port show under calib/hard/;
//   - a reference position from a port becomes the position the base station sends.
#include <csignal>
#include <cstring>
#include <map>

#include "e2e/harness.h"
#include "e2e/tools.h"
#include "e2e/nav_rinex.h"
#include "unit/gnss_link/ge_reference.h"

namespace e2e {
namespace {

using NativeNavRecords = Rx;

TEST_F(NativeNavRecords, GeFromRinexOnASerialPortIsKeptByTheStore) {
  gegen::Rinex r;
  ASSERT_TRUE(gegen::firstRecord(r));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,zrt"), re("%1%"));
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());
  // The almanac after the ephemeris is answered on the port: the ephemeris was worked before it.
  const std::string ga = std::string(1, '\x02') + std::string(45, '\0');
  ASSERT_TRUE(serB.sendRaw(withCk("GE", gegen::geFromRinex(r)) + withCk("GA", ga)));
  EXPECT_TRUE(serB.fill([](const std::string& h) { return h.find("RE002%%") != std::string::npos; })) << serB.held;
  // The receiver's GPS time hints: the week (modulo 1024) and the ms of week of the record's
  // reception, RINEX's transmission time.
  char hint[48];
  std::snprintf(hint, sizeof hint, "{%d,%ld}", static_cast<int>(r.v[3 + 18]) % 1024,
                static_cast<long>(r.v[3 + 24]) * 1000);
  EXPECT_EQ(ask("print,/par/pos/hint/gps"), re(hint));
  restart();

  const std::string img = dir_.read(".gnss.nvm");
  const long off = blockOffset(img, 398);  // GPS PRN 1's ephemeris block
  ASSERT_GE(off, 0);
  ASSERT_GE(img.size(), static_cast<std::size_t>(off + 6 + 183));
  const auto* rec = reinterpret_cast<const unsigned char*>(img.data() + off + 6);
  const gegen::Rinex kept = gegen::fromStored(rec);
  EXPECT_EQ(kept.prn, 1);
  for (double dt : {-7200.0, 0.0, 7200.0}) {
    double ref[3], got[3];
    gegen::isgps200(r, 345600 + dt, ref);
    gegen::isgps200(kept, 345600 + dt, got);
    EXPECT_TRUE(xyzNear(got, ref, 2e-3)) << "dt " << dt;
  }
  // Restored at the next start, before any ephemeris comes (the simulator broadcasts none), the
  // record sets the hints as it did when it came.
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_TRUE(waitUntil([&] { return ask("print,/par/pos/hint/gps") == re(hint); })) << ask("print,/par/pos/hint/gps");
  EXPECT_EQ(ask("print,/par/pos/hint/qzss"), frame("ER", "%%{21,,not available}")) << "no QZSS record stored";
  // Print only: a set, on a hint held or not, is refused and changes nothing.
  for (const char* sys : {"gps", "qzss", "sbas"}) {
    const std::string key = std::string("/par/pos/hint/") + sys, was = ask("print," + key);
    EXPECT_EQ(ask("set," + key + ",{1,2}"), frame("ER", "%%{12,,read only}")) << sys;
    EXPECT_EQ(ask("print," + key), was) << sys;
  }
}

// A Klobuchar model in a native "IO" message reaches the ionosphere stage, which keeps it in the
// settings image (the GPS model's block, the first of id 2446): the block holds the model after
// the save, and a restart restores it without writing it over.
TEST_F(NativeNavRecords, IonosphereModelFromAPortIsKeptInTheSettingsImage) {
  auto lef = [](float f) {
    char b[4];
    std::memcpy(b, &f, 4);
    return std::string(b, 4);
  };
  const float v[8] = {0.4657e-8f, 0.149e-7f, -0.596e-7f, -0.1192e-6f, 81920, 81920, -65540, -524300};
  std::string io = std::string("\x00\x46\x05\x00", 4) + std::string("\x36\x06", 2);  // tow 345600, week 1590
  for (float f : v) io += lef(f);
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,zrt"), re("%1%"));
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());
  ASSERT_TRUE(serB.sendRaw(withCk("IO", io)));
  // The stage takes a waiting model once a second.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  auto modelInImage = [&](const char* when) {
    const std::string img = dir_.read(".gnss.nvm");
    const long off = blockOffset(img, 2446);
    ASSERT_GE(off, 0) << when;
    ASSERT_GE(img.size(), static_cast<std::size_t>(off + 6 + 48)) << when;
    const char* rec = img.data() + off + 6;
    std::uint32_t tow = 0;
    std::uint16_t week = 0;
    std::memcpy(&tow, rec, 4);
    std::memcpy(&week, rec + 4, 2);
    EXPECT_EQ(tow, 345600u) << when;
    EXPECT_EQ(week, 1590) << when;
    for (int k = 0; k < 8; ++k) {
      float f = 0;
      std::memcpy(&f, rec + 8 + 4 * k, 4);
      EXPECT_EQ(f, v[k]) << when << " coefficient " << k;
    }
  };
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  modelInImage("after the save");
  ASSERT_NO_FATAL_FAILURE(start());
  std::this_thread::sleep_for(std::chrono::seconds(2));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  modelInImage("after a restart");
}

// ---- every system's records -------------------------------------------------------------------

// A record's fields back to back, little-endian.
class Body {
 public:
  Body& u8(std::uint64_t v) { return le(v, 1); }
  Body& u16(std::uint64_t v) { return le(v, 2); }
  Body& u32(std::uint64_t v) { return le(v, 4); }
  Body& f32(double v) { return u32(std::bit_cast<std::uint32_t>(static_cast<float>(v))); }
  Body& f64(double v) { return le(std::bit_cast<std::uint64_t>(v), 8); }
  std::string bytes;

 private:
  Body& le(std::uint64_t v, int n) {
    for (int i = 0; i < n; ++i) bytes += static_cast<char>((v >> (8 * i)) & 0xFF);
    return *this;
  }
};

const std::string kBrd4 = std::string(RX_SHARED_DIR) + "/testdata/nav/BRD400DLR_S_20230710000_01D_MN.rnx.gz";
constexpr const char* kBrd4Start = "2023-03-12T10:10:00";
const std::string kNav10 = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
constexpr double kSc = M_PI;  // radians to semicircles

// Seconds of the week of a record's epoch (every system's week starts on a Sunday).
std::uint32_t secondsOfWeek(const rinex::Record& r) {
  const long s = rinex::epochSeconds(r.epoch) - rinex::daysFromCivil(1980, 1, 6) * 86400L;
  return static_cast<std::uint32_t>(s % 604800);
}

// A value on the grid of its broadcast unit 2^-e, as a decoder gives it (RINEX prints it rounded).
double q(double v, int e) { return std::ldexp(std::nearbyint(std::ldexp(v, e)), -e); }

// Broadcast units (powers of two) of the Keplerian terms: Crs/Crc, the harmonic angle terms,
// Delta n and Omega dot, af0, af1, af2, TGD.
struct Units {
  int crs, cuc, rate, af0, af1, af2, tgd;
};
Units unitsOf(char sys) {
  switch (sys) {
    case 'E': return {5, 29, 43, 34, 46, 59, 32};
    case 'C': return {6, 31, 43, 33, 50, 66, 0};
    case 'I': return {4, 28, 41, 31, 43, 55, 31};
    default: return {5, 29, 43, 31, 43, 55, 31};
  }
}

// The Keplerian record shared by GPS, QZSS, Galileo, BeiDou and NavIC (the GPS ephemeris layout
// with the flag word's low byte and af0 as a float): RINEX values af0 af1 af2, IODE Crs dn M0,
// Cuc e Cus sqrtA, toe Cic Omega0 Cis, i0 Crc omega OmegaDot, IDOT codes week L2P, accuracy
// health TGD IODC, tx fit. Angles go in semicircles.
Body kepler(const rinex::Record& r, int prn, int flags, int iodc, int week, int health, double tgd, int iode) {
  const std::vector<double>& v = r.v;
  const Units u = unitsOf(r.sat[0]);
  const auto sc = [](double rad, int e) { return q(rad / kSc, e); };
  Body b;
  b.u8(static_cast<std::uint64_t>(prn)).u32(static_cast<std::uint32_t>(v[27]) % 604800).u8(static_cast<std::uint64_t>(flags));
  b.u16(static_cast<std::uint16_t>(iodc)).u32(secondsOfWeek(r)).u16(static_cast<std::uint16_t>(week)).u8(0);
  b.u8(static_cast<std::uint64_t>(health)).f32(u.tgd > 0 ? q(tgd, u.tgd) : tgd);
  b.f32(q(v[2], u.af2)).f32(q(v[1], u.af1)).f32(q(v[0], u.af0));
  b.u16(static_cast<std::uint16_t>(iode)).u32(static_cast<std::uint32_t>(v[11]));
  b.f64(q(v[10], 19)).f64(q(v[8], 33)).f64(sc(v[6], 31)).f64(sc(v[13], 31)).f64(sc(v[15], 31)).f64(sc(v[17], 31));
  b.f32(sc(v[5], u.rate)).f32(sc(v[18], u.rate)).f32(sc(v[19], 43));
  b.f32(q(v[16], u.crs)).f32(q(v[4], u.crs));
  for (double x : {v[7], v[9], v[12], v[14]}) b.f32(q(x, u.cuc));
  return b;
}

int numberOf(const rinex::Record& r) { return std::atoi(r.sat.c_str() + 1); }

// RINEX Galileo health bits (E1-B DVS, E1-B HS, E5a DVS, E5a HS, E5b DVS, E5b HS from bit 0) in
// the record's order: I/NAV E1-B DVS, E5b DVS, E1-B HS, E5b HS; F/NAV E5a DVS, E5a HS.
int galHealth(int h, bool fnav) {
  if (fnav) return (h >> 3 & 1) | (h >> 4 & 3) << 1;
  return (h & 1) | (h >> 6 & 1) << 1 | (h >> 1 & 3) << 2 | (h >> 7 & 3) << 4;
}

// The native message of a RINEX 4 record: the ephemeris id and body.
std::pair<const char*, std::string> nativeEphemeris(const rinex::Record& r) {
  const std::vector<double>& v = r.v;
  const int n = numberOf(r);
  const auto i = [](double x) { return static_cast<int>(std::lround(x)); };
  switch (r.sat[0]) {
    case 'J': {
      const int flags = (i(v[20]) & 3) << 2 | (i(v[22]) & 1) << 1 | (i(v[28]) != 0 ? 1 : 0);
      return {"QE", kepler(r, 192 + n, flags, i(v[26]), i(v[21]), i(v[24]), v[25], i(v[3])).bytes};
    }
    case 'E': {
      const bool fnav = r.type == "FNAV";
      Body b = kepler(r, n, fnav ? 0x80 : 0, i(v[3]), i(v[21]) - 1024, galHealth(i(v[24]), fnav), fnav ? v[25] : v[26],
                      i(v[3]));
      b.f32(q(v[25], 32)).f32(fnav ? 0.0 : q(v[26], 32)).f32(0).f32(0).f32(0).u8(0).u8(fnav ? 2 : 1);
      return {"EN", b.bytes};
    }
    case 'C': {
      const bool geo = n <= 5 || n >= 59;
      Body b = kepler(r, n, geo ? 128 : 0, i(v[28]), i(v[21]), i(v[24]) & 1, v[25], i(v[3]));
      b.u8(0).f64(0).f32(0).f32(v[26]).f32(0).f32(0).f32(0).f32(0).u8(0);
      b.u8(static_cast<std::uint64_t>(i(v[28]))).u8(static_cast<std::uint64_t>(i(v[3]))).u8(1);
      return {"CN", b.bytes};
    }
    case 'I': {
      Body b = kepler(r, n, 0, i(v[3]), i(v[21]), i(v[24]), v[25], i(v[3]));
      b.u8(1);
      return {"IE", b.bytes};
    }
    default: {  // 'R': the state at tb (Moscow time of day), km, km/s, km/s^2
      const long utc = rinex::epochSeconds(r.epoch);
      const long msk = utc + 10800;
      const long day = msk / 86400;
      const std::uint32_t tb = static_cast<std::uint32_t>(msk % 86400);
      // The four-year interval from the leap year 1996 on, and the day within it from 1.
      const long from1996 = day - rinex::daysFromCivil(1996, 1, 1);
      const long n4 = from1996 / 1461 + 1, nt = from1996 % 1461 + 1;
      const auto tk = static_cast<std::uint32_t>((static_cast<long>(v[2]) + 10800) % 86400);
      const std::uint32_t tkRaw = (tk / 3600) << 7 | (tk % 3600 / 60) << 1 | (tk % 60 >= 30 ? 1 : 0);
      Body b;
      b.u8(static_cast<std::uint64_t>(n)).u8(static_cast<std::uint64_t>(i(v[10]) + 7)).u8(static_cast<std::uint64_t>(i(v[17])));
      b.u8(static_cast<std::uint64_t>(i(v[14]))).u32(tk).u32(tb).u16(static_cast<std::uint64_t>(nt)).u16(tkRaw);
      b.u16(1u << 12).u8(static_cast<std::uint64_t>(i(v[6]) & 1)).u8(1).u16(static_cast<std::uint64_t>(nt));
      b.u8(static_cast<std::uint64_t>(n4)).f64(q(-v[0], 30)).f64(q(v[1], 40));
      for (int k : {3, 7, 11}) b.f64(q(v[static_cast<std::size_t>(k)], 11));
      for (int k : {4, 8, 12}) b.f64(q(v[static_cast<std::size_t>(k)], 20));
      for (int k : {5, 9, 13}) b.f32(q(v[static_cast<std::size_t>(k)], 30));
      b.f32(q(v[16], 30)).f64(0).f64(0).f32(0).f32(0).u8(0).u8(0).u8(0);
      return {"NE", b.bytes};
    }
  }
}

// The value indices RTCM 3 carries for each system (as the broadcast-road test compares them):
// transmission times, URA and SISA indexes, GLONASS tk, Galileo data sources, the fit interval
// and spares are left out. Galileo's af0 travels as a float in the native record: it is compared
// to a float's precision apart.
std::vector<int> comparedFields(char sys) {
  switch (sys) {
    case 'R': return {0, 1, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    case 'E': return {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 24, 25, 26};
    case 'C': return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 24, 25, 26, 28};
    case 'I': return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 24, 25};
    default: return {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 24, 25, 26};
  }
}

// The RINEX 4 type a convbin record came from.
std::string sourceType(const rinex::Record& r) {
  switch (r.sat[0]) {
    case 'R': return "FDMA";
    case 'E': return (static_cast<int>(r.v[20]) & 2) != 0 ? "FNAV" : "INAV";
    case 'C': {
      const int prn = numberOf(r);
      return prn <= 5 || prn >= 59 ? "D2" : "D1";
    }
    default: return "LNAV";
  }
}

TEST_F(NativeNavRecords, EverySystemsEphemeridesComeBackThroughRtcm3AsTheFileHasThem) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  const std::vector<rinex::Record> file = rinex::readRinex4Gz(kBrd4);
  ASSERT_FALSE(file.empty());
  // Of each kind, two satellites' records nearest to the start (GLONASS states serve a quarter of
  // an hour either side).
  const long begin = rinex::epochSeconds("2023 03 12 10 10 00");
  struct Kind {
    char sys;
    const char* type;
  };
  const Kind kinds[] = {{'R', "FDMA"}, {'E', "INAV"}, {'E', "FNAV"}, {'C', "D1"}, {'C', "D2"}, {'J', "LNAV"}, {'I', "LNAV"}};
  std::vector<const rinex::Record*> sent;
  for (const Kind& k : kinds) {
    std::map<std::string, const rinex::Record*> latest;
    for (const rinex::Record& r : file) {
      const long t = rinex::epochSeconds(r.epoch);
      if (r.sat[0] != k.sys || r.type != k.type || std::labs(t - begin) > 3600) continue;
      const rinex::Record*& l = latest[r.sat];
      if (l == nullptr || std::labs(rinex::epochSeconds(l->epoch) - begin) > std::labs(t - begin)) l = &r;
    }
    ASSERT_GE(latest.size(), 1u) << k.sys << " " << k.type;
    int n = 0;
    for (auto it = latest.rbegin(); it != latest.rend() && n < 2; ++it, ++n) sent.push_back(it->second);
  }

  // The RTCM 3 coder sends only while the base has epoch data, which the board's solution at the
  // site gives; the sky's satellites are not needed.
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav10, "--sky", "--start", kBrd4Start}));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,zrt"), re("%1%"));
  EXPECT_EQ(ask("%s%set,/par/pos/navdata/source,any"), re("%s%"));  // records from outside taken
  Port serB(dir_.file("dev/ser/b"));
  Port serC(dir_.file("dev/ser/c"));
  ASSERT_TRUE(serB.ok() && serC.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/c,rtcm3/{1020,1041,1042,1044,1045,1046}:1"), re("%e%"));
  std::string stream;
  for (const rinex::Record* r : sent) {
    const auto [id, body] = nativeEphemeris(*r);
    stream += withCk(id, body);
  }
  // The UTC record after them is answered once they are worked.
  ASSERT_TRUE(serB.sendRaw(stream + withCk("UO", std::string(21, '\0') + std::string("\x12\x12", 2))));
  EXPECT_TRUE(serB.fill([](const std::string& h) { return h.find("RE002%%") != std::string::npos; })) << serB.held;
  const std::map<int, int> want = {{1020, 2}, {1041, 2}, {1042, 4}, {1044, 2}, {1045, 2}, {1046, 2}};
  const auto enough = [&](const std::string& held) {
    std::map<int, int> n;
    for (const std::string& f : rinex::rtcm3Frames(held)) ++n[rinex::rtcm3Type(f)];
    for (const auto& [t, count] : want)
      if (n[t] < count) return false;
    return true;
  };
  EXPECT_TRUE(serC.fill(enough, 30000)) << serC.held.size() << " bytes";
  {
    std::string bytes;
    for (const std::string& f : rinex::rtcm3Frames(serC.held)) bytes += f;
    ASSERT_TRUE(dir_.write("eph.rtcm3", bytes));
  }
  ASSERT_TRUE(runIn(dir_, "convbin -r rtcm3 -tr 2023/03/12 10:10:00 -v 3.04 -n eph.nav eph.rtcm3"));
  const std::vector<rinex::Record> got = rinex::readRinex3(dir_.read("eph.nav"));
  std::map<std::string, int> compared;
  for (const rinex::Record& g : got) {
    const std::string type = sourceType(g);
    const rinex::Record* w = nullptr;
    for (const rinex::Record* s : sent)
      if (s->sat == g.sat && s->type == type && s->epoch == g.epoch) w = s;
    ASSERT_NE(w, nullptr) << g.sat << " " << type << " " << g.epoch << ": not one sent";
    EXPECT_EQ(rinex::differences(g, *w, comparedFields(g.sat[0])), "") << g.sat << " " << type << " " << g.epoch;
    if (g.sat[0] == 'E') {
      EXPECT_NEAR(g.v[0], w->v[0], std::fabs(w->v[0]) * 1e-7 + 1e-15) << g.sat << " af0";
    }
    ++compared[std::string(1, g.sat[0]) + type];
  }
  for (const char* k : {"RFDMA", "EINAV", "EFNAV", "CD1", "CD2", "JLNAV", "ILNAV"}) EXPECT_GE(compared[k], 1) << k;

  // Restored from the settings image after a restart (and sent once, on change, for that), the
  // same records from the port again are no new issue and go out no more. Only the kinds the image
  // keeps are restored: GLONASS states (too old after a start) and F/NAV records are new.
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  Port serB2(dir_.file("dev/ser/b"));
  Port serC2(dir_.file("dev/ser/c"));
  ASSERT_TRUE(serB2.ok() && serC2.ok());
  ASSERT_EQ(ask("%e%em,/dev/ser/c,rtcm3/{1020,1041,1042,1044,1045,1046}"), re("%e%"));
  const auto counts = [](const std::string& held) {
    std::map<int, int> n;
    for (const std::string& f : rinex::rtcm3Frames(held)) ++n[rinex::rtcm3Type(f)];
    return n;
  };
  const std::map<int, int> restored = {{1041, 2}, {1042, 4}, {1044, 2}, {1046, 2}};
  EXPECT_TRUE(serC2.fill([&](const std::string& h) { return counts(h) == restored; }, 30000)) << serC2.held.size() << " bytes";
  serC2.held.clear();
  ASSERT_TRUE(serB2.sendRaw(stream + withCk("UO", std::string(21, '\0') + std::string("\x12\x12", 2))));
  EXPECT_TRUE(serB2.fill([](const std::string& h) { return h.find("RE002%%") != std::string::npos; })) << serB2.held;
  serC2.fill([&](const std::string& h) { return counts(h)[1045] >= 2; }, 10000);
  serC2.fill([](const std::string&) { return false; }, 3000);
  std::map<int, int> again = counts(serC2.held);
  EXPECT_EQ(again[1045], 2) << "F/NAV, not kept in the image";
  for (const auto& [t, n] : restored) EXPECT_EQ(again[t], 0) << t << " sent again";
}


// ---- what the settings image keeps ------------------------------------------------------------

// A UTC record in the GPS layout (tot, A1, A0, WNt, WNlsf, DN, dtLS, dtLSF).
struct Utc {
  std::uint32_t tot;
  float a1;
  double a0;
  std::uint16_t wnt, wnlsf;
  std::uint8_t dn;
  std::int8_t dtls, dtlsf;
};
Body utcBody(const Utc& u) {
  Body b;
  b.u32(u.tot).f32(u.a1).f64(u.a0).u16(u.wnt).u16(u.wnlsf).u8(u.dn);
  b.u8(static_cast<std::uint8_t>(u.dtls)).u8(static_cast<std::uint8_t>(u.dtlsf));
  return b;
}
// The block of a system's UTC parameters holds them at the layout's offsets.
void expectUtc(const std::string& d, const Utc& u, const char* what) {
  ASSERT_GE(d.size(), 23u) << what << ": no valid UTC block";
  EXPECT_EQ(fieldAt<std::uint32_t>(d, 0), u.tot) << what;
  EXPECT_EQ(fieldAt<float>(d, 4), u.a1) << what;
  EXPECT_EQ(fieldAt<double>(d, 8), u.a0) << what;
  EXPECT_EQ(fieldAt<std::uint16_t>(d, 16), u.wnt) << what;
  EXPECT_EQ(fieldAt<std::uint16_t>(d, 18), u.wnlsf) << what;
  EXPECT_EQ(fieldAt<std::uint8_t>(d, 20), u.dn) << what;
  EXPECT_EQ(fieldAt<std::int8_t>(d, 21), u.dtls) << what;
  EXPECT_EQ(fieldAt<std::int8_t>(d, 22), u.dtlsf) << what;
}

// A Klobuchar model: tow, week, alpha 0..3, beta 0..3.
Body ionoBody(std::uint32_t tow, std::uint16_t week, float scale) {
  Body b;
  b.u32(tow).u16(week);
  for (float f : {0.4657e-8f, 0.149e-7f, -0.596e-7f, -0.1192e-6f, 81920.f, 81920.f, -65540.f, -524300.f}) b.f32(f * scale);
  return b;
}

// A GPS-layout almanac (prn, toa, week, health, marker, configuration, af1, af0, sqrtA, e, M0,
// Omega0, omega, delta i, Omega dot).
Body almanacBody(int prn, double sqrtA, int config) {
  Body b;
  b.u8(static_cast<std::uint64_t>(prn)).u32(405504).u16(2254).u8(0).u8(0).u8(static_cast<std::uint64_t>(config));
  for (double v : {0.0, 1e-5, sqrtA, 0.001, 0.25, -0.5, 0.3, 0.01, -2.6e-9}) b.f32(v);
  return b;
}

// Calibration table entries {band, code delay s, phase delay s} of one signal's letters -7..7
// (band 16 x signal + letter + 7).
std::string calibEntries(int signal, double codeNs, double phaseNs) {
  Body b;
  for (int k = -7; k <= 7; ++k) b.u8(static_cast<std::uint64_t>(16 * signal + k + 7)).f32((codeNs + k) * 1e-9).f32((phaseNs - k) * 1e-9);
  return b.bytes;
}
std::string metres(double ns) {
  char t[32];
  std::snprintf(t, sizeof t, "%.3f", -static_cast<double>(static_cast<float>(ns * 1e-9)) * 300000000.0);
  return t;
}

TEST_F(NativeNavRecords, EachSystemsRecordsAreKeptWhereTheirLayoutsPutThem) {
  const std::vector<rinex::Record> file = rinex::readRinex4Gz(kBrd4);
  const rinex::Record* glo = nullptr;
  for (const rinex::Record& r : file)
    if (r.sat == "R09" && r.epoch == "2023 03 12 10 15 00") glo = &r;
  ASSERT_NE(glo, nullptr);
  ASSERT_NO_FATAL_FAILURE(startSim({"--start", kBrd4Start}));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,zrt"), re("%1%"));
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.ok());

  // UTC parameters of every system but GLONASS in the GPS layout, with their own parts after it.
  const Utc gps{405504, 1.5e-14f, -3.725290298e-9, 2254, 1929, 7, 18, 18};
  const Utc gal{345600, -8.9e-16f, 2.7939677e-9, 2254, 1929, 7, 18, 18};
  const Utc sbas{61440, 0.0f, 1.1e-8, 2254, 1929, 7, 18, 18};
  const Utc qzss{403200, 3.5e-15f, -1.8626e-9, 2254, 1929, 7, 18, 18};
  const Utc bds{0, 0.0f, -9.3132e-10, 898, 529, 7, 4, 4};
  const Utc irs{389376, 1.1e-15f, 6.0536e-9, 2254, 1929, 7, 18, 18};
  std::string s;
  s += withCk("UO", utcBody(gps).bytes);
  Body eu = utcBody(gal);
  eu.f32(1.5e-9).f32(-4.4e-15).u32(432000).u16(1230).u8(1);
  s += withCk("EU", eu.bytes);
  // A body shorter than its record is dropped whole.
  Utc galLater = gal;
  galLater.tot += 3600;
  galLater.a0 = 5.0e-9;
  s += withCk("EU", utcBody(galLater).bytes.substr(0, 20));
  s += withCk("WU", utcBody(sbas).bytes + std::string(16, '\x05'));
  s += withCk("QU", utcBody(qzss).bytes);
  // A record without its leap seconds is refused: the one before stays.
  Utc noLeap = qzss;
  noLeap.a0 = 1.0e-6;
  noLeap.dtls = 0;
  s += withCk("QU", utcBody(noLeap).bytes);
  s += withCk("CU", utcBody(bds).bytes);
  Body iu = utcBody(irs);
  iu.f32(2.5e-20).f32(-3.1e-9).f32(1.2e-15).f32(0).u32(388800).u16(1230).u8(0);
  s += withCk("IU", iu.bytes);
  Body nu;
  nu.f64(-2.3283064e-8).f64(4.6566129e-9).f32(0.0625).f32(-0.001).f32(0).f32(0).u8(0).u8(0).u16(1167).u8(7).u8(0).f32(0);
  s += withCk("NU", nu.bytes);

  // Klobuchar models of QZSS, BeiDou and NavIC.
  s += withCk("QI", ionoBody(403200, 2254, 1.0f).bytes);
  s += withCk("CI", ionoBody(345600, 898, 2.0f).bytes);
  s += withCk("II", ionoBody(389376, 2254, 4.0f).bytes);

  // An SBAS ephemeris (PRN 126): ura, t0, x y z, velocities, accelerations, aGf0, aGf1, tow, week.
  Body we;
  we.u8(126).u8(4).u32(36000).f64(-25767216.0).f64(34211564.8).f64(1105640.0);
  we.f32(2.5).f32(-1.875).f32(0.3125).f32(0.000125).f32(-0.0000625).f32(0.0).f32(1.25e-8).f32(-9.1e-13);
  we.u32(36005).u16(2254);
  s += withCk("WE", we.bytes);

  // GLONASS: the ephemeris names its satellite type (M) 1, the almanac of the same slot 2.
  s += withCk("NE", nativeEphemeris(*glo).second);
  Body na;
  na.u8(9).u8(static_cast<std::uint8_t>(-2)).u8(1).u8(2).u16(1167).u8(7).f64(0).f64(-0.2).f64(36000);
  na.f32(0.01).f32(0.001).f32(0.4).f32(-2600).f32(0.0).f32(-0.0001);
  s += withCk("NA", na.bytes);
  // Almanacs: those of GPS and QZSS from outside rank below every broadcast one and are not kept
  // in the image; the other systems keep every almanac they take.
  s += withCk("IA", almanacBody(6, 6493.4, 0).bytes);
  s += withCk("GA", almanacBody(5, 5153.6, 3).bytes);
  s += withCk("EA", almanacBody(11, 5440.6, 0).bytes + std::string(1, '\x07'));
  s += withCk("QA", almanacBody(193, 6493.5, 0).bytes);
  s += withCk("CA", almanacBody(20, 5282.6, 0).bytes);
  Body wa;
  wa.u8(126).u8(0).f64(-25767216.0).f64(34211564.8).f64(1105640.0).f32(2.5).f32(-1.875).f32(0.3125).u32(36000).u16(2254);
  s += withCk("WA", wa.bytes);

  // The board's calibration tables: gC with its status word, then g1, g2 and g3 replacing one
  // signal's letters each.
  s += withCk("gC", calibEntries(0, 10, -2) + std::string(32, '\0') + std::string("\x1F\x00", 2));
  s += withCk("g1", calibEntries(1, 21, -3));
  s += withCk("g2", calibEntries(2, 32, -4));
  s += withCk("g3", calibEntries(3, 43, -5));

  // A reference position (Earth-fixed, m): taken for the satellite visibility and the engine's
  // start, which show nothing outside; the epoch's solution replaces it.
  Body pos;
  for (double v : {4027894.006, 709032.677, 4867492.266}) pos.f64(v);
  s += withCk("IP", pos.bytes);

  // The last almanac answered: everything before it was worked.
  ASSERT_TRUE(serB.sendRaw(s + withCk("GA", almanacBody(5, 5153.6, 3).bytes)));
  EXPECT_TRUE(serB.fill([](const std::string& h) {
    std::size_t n = 0;
    for (std::size_t p = h.find("RE002%%"); p != std::string::npos; p = h.find("RE002%%", p + 1)) ++n;
    return n >= 4;  // UO, NA, GA, GA
  })) << serB.held;

  // The calibration readings under calib/hard/ (delays printed as negated metres).
  EXPECT_EQ(ask("print,/par/calib/hard/status"), re("0x1F"));
  const char* const kinds[] = {"c1", "p1", "c2", "p2"};
  const double code[] = {10, 21, 32, 43}, phase[] = {-2, -3, -4, -5};
  for (int sig = 0; sig < 4; ++sig)
    for (int k : {-7, 0, 6}) {
      const std::string key = std::string("print,/par/calib/hard/delay/ant0/") + kinds[sig];
      EXPECT_EQ(ask(key + "delay/" + std::to_string(k)), re(metres(code[sig] + k))) << sig << " " << k;
      EXPECT_EQ(ask(key + "phase/" + std::to_string(k)), re(metres(phase[sig] - k))) << sig << " " << k;
    }

  // The ionosphere stage takes a waiting model once a second.
  std::this_thread::sleep_for(std::chrono::seconds(3));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  const std::string img = dir_.read(".gnss.nvm");

  expectUtc(blockData(img, 910), gps, "GPS");
  const std::string g = blockData(img, 912);
  expectUtc(g, gal, "Galileo");
  EXPECT_EQ(fieldAt<float>(g, 24), 1.5e-9f);
  EXPECT_EQ(fieldAt<std::uint32_t>(g, 32), 432000u);
  EXPECT_EQ(fieldAt<std::uint8_t>(g, 38), 1);
  expectUtc(blockData(img, 913), sbas, "SBAS");
  expectUtc(blockData(img, 914), qzss, "QZSS (the record without leap seconds refused)");
  expectUtc(blockData(img, 915), bds, "BeiDou");
  const std::string i = blockData(img, 916);
  expectUtc(i, irs, "NavIC");
  EXPECT_EQ(fieldAt<float>(i, 28), 2.5e-20f);
  EXPECT_EQ(fieldAt<float>(i, 32), -3.1e-9f);
  EXPECT_EQ(fieldAt<std::uint32_t>(i, 44), 388800u);
  const std::string n = blockData(img, 911);
  ASSERT_GE(n.size(), 40u) << "GLONASS UTC";
  EXPECT_EQ(fieldAt<double>(n, 0), -2.3283064e-8);
  EXPECT_EQ(fieldAt<double>(n, 8), 4.6566129e-9);
  EXPECT_EQ(fieldAt<float>(n, 16), 0.0625f);
  EXPECT_EQ(fieldAt<std::uint16_t>(n, 34), 1167);

  // The models: QZSS and BeiDou the second and third of the Klobuchar blocks, NavIC its own.
  const struct {
    std::string d;
    std::uint32_t tow;
    std::uint16_t week;
    float scale;
  } models[] = {{blockData(img, 2446, 1), 403200, 2254, 1.0f}, {blockData(img, 2446, 2), 345600, 898, 2.0f},
                {blockData(img, 2526), 389376, 2254, 4.0f}};
  for (const auto& m : models) {
    ASSERT_GE(m.d.size(), 40u);
    EXPECT_EQ(fieldAt<std::uint32_t>(m.d, 0), m.tow);
    EXPECT_EQ(fieldAt<std::uint16_t>(m.d, 4), m.week);
    EXPECT_EQ(fieldAt<float>(m.d, 8), 0.4657e-8f * m.scale);
    EXPECT_EQ(fieldAt<float>(m.d, 36), -524300.f * m.scale);
  }

  // The SBAS ephemeris at its satellite's block (398 + 83 + PRN - 120).
  const std::string w = blockData(img, 398 + 83 + 6);
  ASSERT_GE(w.size(), 70u) << "SBAS ephemeris";
  EXPECT_EQ(fieldAt<std::uint8_t>(w, 0), 126);
  EXPECT_EQ(fieldAt<std::uint8_t>(w, 2), 4);
  EXPECT_EQ(fieldAt<std::uint32_t>(w, 4), 36000u);
  EXPECT_EQ(fieldAt<double>(w, 8), -25767216.0);
  EXPECT_EQ(fieldAt<double>(w, 24), 1105640.0);
  EXPECT_EQ(fieldAt<float>(w, 32), 2.5f);
  EXPECT_EQ(fieldAt<float>(w, 44), 0.000125f);
  EXPECT_EQ(fieldAt<float>(w, 56), 1.25e-8f);
  EXPECT_EQ(fieldAt<std::uint32_t>(w, 64), 36005u);
  EXPECT_EQ(fieldAt<std::uint16_t>(w, 68), 2254);

  // GLONASS satellite types by orbital slot: the ephemeris's table and the almanac's.
  const std::string types = blockData(img, 864);
  ASSERT_EQ(types.size(), 60u);
  EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(types[8])), 1) << "slot 9 from its ephemeris";
  EXPECT_EQ(static_cast<int>(static_cast<unsigned char>(types[30 + 8])), 2) << "slot 9 from its almanac";
  // Almanac blocks (654 + the system's first slot + satellite), the satellite number first.
  const struct {
    unsigned block;
    int number;  // 0: not kept
  } almanacs[] = {{654 + 32 + 8, 9}, {654 + 196 + 5, 6}, {654 + 62 + 10, 11}, {654 + 133 + 19, 20},
                  {654 + 98 + 6, 126}, {654 + 4, 0},      {654 + 126, 0}};
  for (const auto& a : almanacs) {
    const std::string d = blockData(img, a.block);
    if (a.number == 0) {
      EXPECT_EQ(d, "") << "almanac block " << a.block;
    } else {
      EXPECT_EQ(fieldAt<std::uint8_t>(d, 0), a.number) << "almanac block " << a.block;
    }
  }

  // Started again, the kept almanacs are the store's; clearing them all takes each one's block
  // from the image too, so that no start brings them back.
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%a%set,/par/pos/clean/alm,on"), re("%a%"));
  std::this_thread::sleep_for(std::chrono::seconds(3));  // the store's next second
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  const std::string cleared = dir_.read(".gnss.nvm");
  for (const auto& a : almanacs) EXPECT_EQ(blockData(cleared, a.block), "") << "almanac block " << a.block;
}

}  // namespace
}  // namespace e2e
