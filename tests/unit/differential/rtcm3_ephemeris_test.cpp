// RTCM 3 ephemerides against convbin's RINEX navigation output of the same recordings, the
// satellite-range and truncation refusals, and random payloads.
#include <cmath>

#include "differential/rtcm3_ephemeris.h"
#include "navigation_data/store/sat_data_store.h"
#include "rtcm3_test_util.h"

namespace {

using namespace rtcm3test;

constexpr double kIcdPi = 3.1415926535898;

struct RinexEph {
  char sys = 0;
  int prn = 0;
  int hour = 0, minute = 0, second = 0;
  std::vector<double> v;  // af0.. in the order printed
};

double num(const std::string& s) {
  std::string t = s;
  for (char& c : t)
    if (c == 'D') c = 'E';
  return std::strtod(t.c_str(), nullptr);
}

std::vector<RinexEph> convbinNav(const std::string& file, const std::string& day) {
  EXPECT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  char dir[] = "/tmp/rtcm3ephXXXXXX";
  EXPECT_NE(mkdtemp(dir), nullptr);
  const std::string nav = std::string(dir) + "/out.nav";
  run("convbin -r rtcm3 -tr '" + day + " 00:00:00' -v 3.04 -n " + nav + " '" + file + "' >/dev/null 2>&1");
  std::ifstream in(nav);
  std::vector<RinexEph> out;
  bool body = false;
  for (std::string l; std::getline(in, l);) {
    if (!body) {
      body = l.find("END OF HEADER") != std::string::npos;
      continue;
    }
    if (l.size() > 0 && l[0] != ' ') {
      RinexEph e;
      e.sys = l[0];
      e.prn = std::atoi(l.substr(1, 2).c_str());
      e.hour = std::atoi(l.substr(15, 2).c_str());
      e.minute = std::atoi(l.substr(18, 2).c_str());
      e.second = std::atoi(l.substr(21, 2).c_str());
      for (std::size_t p = 23; p + 19 <= l.size(); p += 19) e.v.push_back(num(l.substr(p, 19)));
      out.push_back(e);
    } else if (!out.empty()) {
      for (std::size_t p = 4; p + 19 <= l.size(); p += 19) out.back().v.push_back(num(l.substr(p, 19)));
    }
  }
  run(std::string("rm -rf ") + dir);
  return out;
}

// Every checked frame of a recording.
std::vector<Bytes> framesOf(const Bytes& d) {
  std::vector<Bytes> out;
  for (std::size_t i = 0; i + 6 <= d.size();) {
    const std::size_t len = (d[i + 1] & 3u) << 8 | d[i + 2];
    if (d[i] == 0xD3 && i + len + 6 <= d.size() &&
        crc24q(0, &d[i], static_cast<std::uint32_t>(len + 3) * 8) ==
            (static_cast<std::uint32_t>(d[i + len + 3]) << 16 | d[i + len + 4] << 8 | d[i + len + 5])) {
      out.emplace_back(d.begin() + static_cast<long>(i), d.begin() + static_cast<long>(i + len + 6));
      i += len + 6;
    } else {
      ++i;
    }
  }
  return out;
}

int msgOf(const Bytes& f) { return f[3] << 4 | f[4] >> 4; }
// The ephemeris messages of RTCM 10403.3: GPS, GLONASS, QZSS, NavIC, Galileo F/NAV, I/NAV, BeiDou.
bool isEphemeris(int msg) {
  for (int m : {1019, 1020, 1041, 1042, 1044, 1045, 1046})
    if (msg == m) return true;
  return false;
}

// Reads a frame's payload the way the stream decoder does.
bool readFrame(const Bytes& f, int payloadLen, Rtcm3Ephemeris& e) {
  BitReader br(f.data() + 3, 8 * static_cast<int>(f.size()));
  br.reset(8 * payloadLen, 12);
  return rtcm3_ReadEphemeris(msgOf(f), br, e);
}

std::vector<std::pair<int, Rtcm3Ephemeris>> decodeAll(const std::string& file) {
  std::vector<std::pair<int, Rtcm3Ephemeris>> out;
  for (const Bytes& f : framesOf(readFile(file))) {
    if (!isEphemeris(msgOf(f))) continue;
    Rtcm3Ephemeris e;
    EXPECT_TRUE(readFrame(f, static_cast<int>(f.size()) - 6, e)) << msgOf(f);
    out.emplace_back(msgOf(f), e);
  }
  return out;
}

// Equal to the printed 12 significant digits.
void near12(double got, double want, const char* what) {
  EXPECT_NEAR(got, want, std::max(1e-11 * std::fabs(want), 1e-30)) << what;
}

double uraMetres(int i) { return i <= 6 ? std::round(10 * std::pow(2.0, 1 + i / 2.0)) / 10 : std::pow(2.0, i - 2); }

template <class R>
void checkKepler(const R& r, const std::vector<double>& v, int firstHarm) {
  near12(r.af0, v[0], "af0");
  near12(r.af1, v[1], "af1");
  near12(r.af2, v[2], "af2");
  near12(r.crs, v[firstHarm + 1], "crs");
  near12(r.deltaN * kIcdPi, v[5], "deltaN");
  near12(r.M0 * kIcdPi, v[6], "M0");
  near12(r.cuc, v[7], "cuc");
  near12(r.e, v[8], "e");
  near12(r.cus, v[9], "cus");
  near12(r.sqrtA, v[10], "sqrtA");
  near12(r.toe, v[11], "toe");
  near12(r.cic, v[12], "cic");
  near12(r.Omega0 * kIcdPi, v[13], "Omega0");
  near12(r.cis, v[14], "cis");
  near12(r.i0 * kIcdPi, v[15], "i0");
  near12(r.crc, v[16], "crc");
  near12(r.omega * kIcdPi, v[17], "omega");
  near12(r.OmegaDot * kIcdPi, v[18], "OmegaDot");
  near12(r.idot * kIcdPi, v[19], "idot");
}

// Matches convbin's record with the decoded message of the same satellite and epoch; false when none.
bool matches(const RinexEph& w, int msg, const Rtcm3Ephemeris& e) {
  switch (w.sys) {
    case 'G': return msg == 1019 && e.gps.prn == w.prn && e.gps.toe == static_cast<std::uint32_t>(w.v[11]);
    case 'C': return msg == 1042 && e.cmp.prn == w.prn && e.cmp.toe == static_cast<std::uint32_t>(w.v[11]);
    case 'E':
      return e.gal.svid == w.prn && e.gal.toe == static_cast<std::uint32_t>(w.v[11]) &&
             ((static_cast<int>(w.v[20]) & 1) ? msg == 1046 : msg == 1045);
    case 'R': {
      const int tb = ((w.hour * 3600 + w.minute * 60 + w.second) + 10800) % 86400;
      return msg == 1020 && e.glo.slot == w.prn && static_cast<int>(e.glo.tb) == tb;
    }
    default: return false;
  }
}

void checkOne(const RinexEph& w, const Rtcm3Ephemeris& e) {
  const std::vector<double>& v = w.v;
  if (w.sys == 'G') {
    const ZRT_EPH_GPS& r = e.gps;
    checkKepler(r, v, 3);
    EXPECT_EQ(r.iode, v[3]);
    EXPECT_EQ((r.flags >> 2) & 3, v[20]) << "L2 code";
    // Kept as sent (10 bits); convbin prints a week re-anchored on the reception time.
    EXPECT_LE(std::abs(r.week - static_cast<int>(v[21]) % 1024), 1);
    EXPECT_EQ((r.flags >> 1) & 1, v[22]) << "L2 P flag";
    EXPECT_NEAR(uraMetres(r.ura), v[23], 1e-9);
    EXPECT_EQ(r.health, v[24]);
    near12(r.tgd, v[25], "tgd");
    EXPECT_EQ(r.iodc, v[26]);
    EXPECT_EQ((r.flags & 1) ? 1 : 0, v[28] > 4 ? 1 : 0) << "fit interval";
    EXPECT_EQ(r.toc % 86400, w.hour * 3600 + w.minute * 60 + w.second);
    EXPECT_EQ(r.source, 1);
  } else if (w.sys == 'C') {
    const ZRT_EPH_CMP& r = e.cmp;
    checkKepler(r, v, 3);
    EXPECT_LE(std::fabs(r.week - v[21]), 1);  // as sent; convbin re-anchors it on the reception time
    EXPECT_EQ(r.health, v[24]);
    EXPECT_NEAR(r.tgd1, v[25], 1e-7 * std::fabs(v[25]) + 1e-20);  // 0.1 ns steps held in a float
    EXPECT_NEAR(r.tgd2, v[26], 1e-7 * std::fabs(v[26]) + 1e-20);
    EXPECT_EQ(r.iode, (r.toe / 720) % 240);
    EXPECT_EQ(r.iodc, (r.toc / 720) % 240);
    // BeiDou time is 14 s behind GPS time, in which convbin prints the epoch.
    EXPECT_EQ(r.toc % 86400, w.hour * 3600 + w.minute * 60 + w.second);
  } else if (w.sys == 'E') {
    const ZRT_EPH_GAL& r = e.gal;
    checkKepler(r, v, 3);
    EXPECT_EQ(r.iodNav, v[3]);
    EXPECT_EQ(r.iodNav2, v[3]);
    // Kept as sent; convbin prints the week of reception, which the station's field may trail.
    EXPECT_LE(std::fabs(r.week + 1024 - v[21]), 1);
    const int src = static_cast<int>(v[20]);
    EXPECT_EQ(r.navTypes, (src & 1) ? 1 : 2);
    const int svh = static_cast<int>(v[24]);
    if (r.navTypes == 1) {
      EXPECT_EQ(r.health, ((svh >> 7) & 3) << 4 | ((svh >> 1) & 3) << 2 | ((svh >> 6) & 1) << 1 | (svh & 1));
      near12(r.bgdE1E5b, v[26], "bgd E5b");
      near12(r.bgd, v[26], "bgd");
    } else {
      EXPECT_EQ(r.health, ((svh >> 4) & 3) << 1 | ((svh >> 3) & 1));
      near12(r.bgd, v[25], "bgd");
    }
    near12(r.bgdE1E5a, v[25], "bgd E5a");
    EXPECT_EQ(e.dataType, r.navTypes == 1 ? 0 : 1);
  } else if (w.sys == 'R') {
    const ZRT_EPH_GLN& r = e.glo;
    near12(r.tauN, -v[0], "tauN");
    near12(r.gammaN, v[1], "gammaN");
    const int tk = (static_cast<int>(v[2]) % 86400 + 10800) % 86400;
    EXPECT_EQ(static_cast<int>(r.tk), tk);
    EXPECT_EQ(r.tkRaw, (tk / 3600) << 7 | (tk % 3600 / 60) << 1 | (tk % 60 == 30));
    for (int k = 0; k < 3; ++k) {
      near12(r.pos[k] * 1000, v[3 + 4 * k] * 1000, "pos");
      near12(r.vel[k], v[4 + 4 * k], "vel");
      near12(r.acc[k], v[5 + 4 * k], "acc");
    }
    EXPECT_EQ(r.health, v[6]);
    EXPECT_EQ(r.freqNum, v[10]);
    EXPECT_EQ(r.En, v[14]);
    EXPECT_EQ(e.id.si, r.freqNum + 7);
    EXPECT_EQ(e.id.sat, r.slot - 1);
  }
}

struct Recording { const char* file; const char* day; std::map<int, int> counts; };
const Recording kRecordings[] = {
    {"testglo.rtcm3", "2009/12/25", {{1019, 19}, {1020, 19}}},
    {"uscl00chl0.rtcm3", "2024/03/20", {}},
};

TEST(Rtcm3Ephemeris, EveryConvbinRecordMatchesTheDecodedMessage) {
  for (const Recording& rec : kRecordings) {
    SCOPED_TRACE(rec.file);
    const auto decoded = decodeAll(recording(rec.file));
    std::map<int, int> counts;
    for (const auto& [m, e] : decoded) ++counts[m];
    for (const auto& [m, n] : rec.counts) EXPECT_EQ(counts[m], n) << m;
    const std::vector<RinexEph> want = convbinNav(recording(rec.file), rec.day);
    ASSERT_FALSE(want.empty());
    for (const RinexEph& w : want) {
      SCOPED_TRACE(std::string(1, w.sys) + std::to_string(w.prn));
      const auto it = std::find_if(decoded.begin(), decoded.end(),
                                   [&](const auto& d) { return matches(w, d.first, d.second); });
      ASSERT_NE(it, decoded.end());
      checkOne(w, it->second);
    }
  }
}

// --- the store side: identities, truncations, random payloads, the whole road ------------------

void setBits(Bytes& payload, int pos, int n, std::uint32_t v) {
  for (int i = 0; i < n; ++i) {
    const int b = pos + i;
    const unsigned char mask = static_cast<unsigned char>(0x80u >> (b % 8));
    if ((v >> (n - 1 - i)) & 1u) payload[static_cast<std::size_t>(b / 8)] |= mask;
    else payload[static_cast<std::size_t>(b / 8)] &= static_cast<unsigned char>(~mask);
  }
}

Bytes payloadOf(const Bytes& frame) { return Bytes(frame.begin() + 3, frame.end() - 3); }

// The first ephemeris frame of each message number in the recordings.
std::map<int, Bytes> sampleFrames() {
  std::map<int, Bytes> out;
  for (const char* f : {"testglo.rtcm3", "uscl00chl0.rtcm3"})
    for (const Bytes& fr : framesOf(readFile(recording(f))))
      if (isEphemeris(msgOf(fr)) && !out.count(msgOf(fr))) out[msgOf(fr)] = fr;
  return out;
}

int storedCount() {
  int n = 0;
  for (int s = 0; s < SYS_NUM; ++s) n += SatDataProcessorInstance.get_EphUpdateCounter(s);
  return n;
}

struct Fed {
  int stored;
  float quality;
};
Fed feed(const Bytes& bytes) {
  RTC3_Decoder& dec = Rtcm3Dec[1];
  RecordingClient client;
  dec.initDecoder(&client);
  const int before = storedCount();
  NAV_Decoder d(&dec);
  d.putData(bytes.data(), static_cast<int>(bytes.size()), static_cast<InPorts::DecPortIndex>(1));
  return {storedCount() - before, dec.getStatus().quality};
}

bool storeDirect(const Bytes& payload) {
  BitReader br(payload.data(), 8 * static_cast<int>(payload.size()));
  br.reset(8 * static_cast<int>(payload.size()), 12);
  return rtcm3_StoreEphemeris(payload[0] << 4 | payload[1] >> 4, br, SatDataProcessorInstance);
}

// The satellite identity: only numbers within the system's table are taken.
struct IdRow { int msg; int pos; int bits; std::uint32_t value; bool taken; };
const IdRow kIdRows[] = {
    {1019, 12, 6, 0, false},  {1019, 12, 6, 1, true},   {1019, 12, 6, 32, true},  {1019, 12, 6, 33, false},
    {1019, 12, 6, 63, false}, {1042, 12, 6, 0, false},  {1042, 12, 6, 1, true},   {1042, 12, 6, 63, true},
    {1045, 12, 6, 0, false},  {1045, 12, 6, 36, true},  {1045, 12, 6, 37, false}, {1045, 12, 6, 63, false},
    {1046, 12, 6, 0, false},  {1046, 12, 6, 1, true},   {1046, 12, 6, 37, false}, {1046, 12, 6, 63, false},
    // GLONASS slot
    {1020, 12, 6, 0, false},  {1020, 12, 6, 1, true},   {1020, 12, 6, 30, true},  {1020, 12, 6, 31, false},
    {1020, 12, 6, 63, false},
    // GLONASS frequency channel field: -7..+7 kept, up to +13 refused
    {1020, 18, 5, 0, true},   {1020, 18, 5, 14, true},  {1020, 18, 5, 15, false}, {1020, 18, 5, 20, false},
    {1020, 18, 5, 31, false},
};

TEST(Rtcm3Ephemeris, SatelliteOutsideItsSystemIsRefused) {
  const std::map<int, Bytes> samples = sampleFrames();
  for (const IdRow& row : kIdRows) {
    SCOPED_TRACE(std::to_string(row.msg) + " field " + std::to_string(row.value));
    ASSERT_TRUE(samples.count(row.msg));
    Bytes p = payloadOf(samples.at(row.msg));
    setBits(p, row.pos, row.bits, row.value);
    SatDataProcessorInstance.init_Object();
    const int before = storedCount();
    EXPECT_EQ(storeDirect(p), row.taken);
    if (!row.taken) {
      EXPECT_EQ(storedCount(), before);
    }
  }
}

TEST(Rtcm3Ephemeris, RefusedIdentityCountsAsAFailedMessage) {
  Bytes p = payloadOf(sampleFrames().at(1019));
  SatDataProcessorInstance.init_Object();
  const Fed good = feed(frameOf(p));
  setBits(p, 12, 6, 0);
  const Fed bad = feed(frameOf(p));
  EXPECT_EQ(good.stored, 1);
  EXPECT_EQ(bad.stored, 0);
  EXPECT_LT(bad.quality, good.quality);
}

TEST(Rtcm3Ephemeris, EveryTruncationOfEveryFrameStoresNothing) {
  for (const char* f : {"testglo.rtcm3", "uscl00chl0.rtcm3"}) {
    for (const Bytes& fr : framesOf(readFile(recording(f)))) {
      if (!isEphemeris(msgOf(fr))) continue;
      const Bytes p = payloadOf(fr);
      SatDataProcessorInstance.init_Object();
      for (std::size_t len = 2; len < p.size(); ++len) {
        const Bytes shortP(p.begin(), p.begin() + static_cast<long>(len));
        ASSERT_EQ(feed(frameOf(shortP)).stored, 0) << msgOf(fr) << " cut to " << len;
      }
      EXPECT_EQ(feed(frameOf(p)).stored, 1) << msgOf(fr);
    }
  }
}

TEST(Rtcm3Ephemeris, RandomPayloadsInValidFrames) {
  std::mt19937 rng(1019);
  for (int msg : {1019, 1020, 1041, 1042, 1044, 1045, 1046}) {
    for (int i = 0; i < 400; ++i) {
      Bytes p(static_cast<std::size_t>(2 + rng() % 80));
      for (auto& b : p) b = static_cast<unsigned char>(rng());
      p[0] = static_cast<unsigned char>(msg >> 4);
      p[1] = static_cast<unsigned char>((msg & 15) << 4 | (p[1] & 15));
      feed(frameOf(p));
    }
  }
  SUCCEED();
}

// 1042 issue numbers come from the reference times: toe field 45000 (360000 s) gives 20.
TEST(Rtcm3Ephemeris, BeidouIssueFromReferenceTime) {
  struct Row { std::uint32_t tocField, toeField; int iodc, iode; };
  const Row rows[] = {{45000, 45000, 20, 20}, {0, 0, 0, 0}, {21600, 89, 0, 0}, {90, 21510, 1, 239}, {0, 75599, 0, 119}};
  // toc at bit 12+6+13+4+14+5, toe after the Kepler terms up to sqrtA.
  constexpr int kToc = 54, kToe = 12 + 6 + 13 + 4 + 14 + 5 + 17 + 11 + 22 + 24 + 5 + 18 + 16 + 32 + 18 + 32 + 18 + 32;
  Bytes p = payloadOf(sampleFrames().at(1042));
  for (const Row& r : rows) {
    setBits(p, kToc, 17, r.tocField);
    setBits(p, kToe, 17, r.toeField);
    Rtcm3Ephemeris e;
    ASSERT_TRUE(readFrame(frameOf(p), static_cast<int>(p.size()), e));
    EXPECT_EQ(e.cmp.toe, r.toeField * 8);
    EXPECT_EQ(e.cmp.iode, r.iode);
    EXPECT_EQ(e.cmp.iodc, r.iodc);
  }
}

// The recordings fed in chunks through the stream decoder land in the store.
TEST(Rtcm3Ephemeris, RecordingsThroughTheDecoderFillTheStore) {
  for (const char* f : {"testglo.rtcm3", "uscl00chl0.rtcm3"}) {
    SCOPED_TRACE(f);
    SatDataProcessorInstance.init_Object();
    const Bytes data = readFile(recording(f));
    RTC3_Decoder& dec = Rtcm3Dec[1];
    RecordingClient client;
    dec.initDecoder(&client);
    NAV_Decoder d(&dec);
    for (std::size_t off = 0; off < data.size(); off += 137)
      d.putData(data.data() + off, static_cast<int>(std::min<std::size_t>(137, data.size() - off)),
                static_cast<InPorts::DecPortIndex>(1));
    int compared = 0;
    for (const auto& [m, e] : decodeAll(recording(f))) {
      SCOPED_TRACE(m);
      EXPECT_GT(SatDataProcessorInstance.get_EphUpdateCounter(e.id.sys, e.id.si, e.dataType), 0);
      SatDataEpoch ep;
      ep.time.valid = true;
      ep.time.sec[e.id.sys] = (m == 1020 ? e.glo.tb : e.gps.toe) + 60.0;
      SatDataProcessorInstance.update(ep);
      const ExtEphRecord* r = SatDataProcessorInstance.get_EphLastData(e.id.sys, e.id.si, e.dataType);
      if (r == nullptr) continue;  // not ready without a receiver time for this system
      ++compared;
      if (m == 1020) {
        EXPECT_EQ(reinterpret_cast<const ZRT_EPH_GLN*>(r->native)->slot, e.glo.slot);
      } else {
        EXPECT_EQ(reinterpret_cast<const ZRT_EPH_GPS*>(r->native)->prn, e.gps.prn);
      }
      if (m == 1019) {
        EXPECT_EQ(reinterpret_cast<const ZRT_EPH_GPS*>(r->native)->source, 1);
      }
    }
    EXPECT_GT(compared, 0);
  }
}

}  // namespace
