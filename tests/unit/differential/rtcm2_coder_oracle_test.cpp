// The RTCM 2 coder against independent readers: gpsd's gpsdecode reads our code corrections
// (types 9 and 1) made from gpsd's own decode of a recording, and rtklib's convbin reads our RTK
// observables (18, 19) and station records (3, 22) made from its RINEX of another recording.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "differential/rtcm2/rtcm2_coder.h"
#include "rtcm2_coder_test_util.h"
#include "unit/platform/temp_run_dir.h"

namespace {

using namespace coder2test;

const std::string kData = std::string(RX_SHARED_DIR) + "/testdata/rtcm2/";

struct Sat {
  int ident = 0, udre = 0, iod = 0;
  double prc = 0, rrc = 0;
};
struct Corr {
  int type = 0, station = 0;
  double zcount = 0;
  std::vector<Sat> sats;
};

// gpsdecode's JSON lines of code-correction messages.
std::vector<Corr> parseCorrections(const std::string& text) {
  std::vector<Corr> out;
  std::istringstream in(text);
  static const std::regex head(R"("type":(\d+),"station_id":(\d+),"zcount":([\d.]+))");
  static const std::regex sat(R"(\{"ident":(\d+),"udre":(\d+),"iod":(\d+),"prc":(-?[\d.]+),"rrc":(-?[\d.]+)\})");
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (!std::regex_search(line, m, head)) continue;
    Corr c;
    c.type = std::stoi(m[1]), c.station = std::stoi(m[2]), c.zcount = std::stod(m[3]);
    for (auto it = std::sregex_iterator(line.begin(), line.end(), sat); it != std::sregex_iterator(); ++it)
      c.sats.push_back({std::stoi((*it)[1]), std::stoi((*it)[2]), std::stoi((*it)[3]), std::stod((*it)[4]),
                        std::stod((*it)[5])});
    out.push_back(c);
  }
  return out;
}

// Every file the tools read or write lies in the test's own run directory (the working directory).
std::string writeTemp(const std::string& name, const Bytes& b) {
  const std::string path = name;
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), static_cast<long>(b.size()));
  return path;
}

using Rtcm2CoderOracle = TempRunDir;

float sigmaOfUdre(int udre) { return udre == 0 ? 0.5f : udre == 1 ? 2.0f : udre == 2 ? 6.0f : 10.0f; }

TEST_F(Rtcm2CoderOracle, GpsdecodeReadsOurCodeCorrectionsAsTheRecordingHadThem) {
  std::ifstream chk(kData + "sample.rtcm2.chk");
  ASSERT_TRUE(chk) << "missing recording";
  std::stringstream ss;
  ss << chk.rdbuf();
  const std::vector<Corr> truth = parseCorrections(ss.str());
  ASSERT_EQ(truth.size(), 131u);

  FakeSource src;
  NAVCOD_DIF_DATA dif{};
  src.dif = &dif;
  RTCM_Coder coder(&src);
  RTCM_COD_SETTINGS s = coder.settings();
  s.stationId = 268;
  coder.setSettings(s);
  Bytes stream;
  std::uint8_t out[RTCM_Coder::kMaxOut];
  int seq = 0;
  std::uint32_t parity = 0;
  for (const Corr& c : truth) {
    dif = NAVCOD_DIF_DATA{};
    dif.bReady = 1;
    const long ms = std::lround(c.zcount * 1000) + 5 * 3600000L;  // data time = Z-count time
    dif.ulTime[kSysGps] = static_cast<std::uint32_t>(ms);
    for (const Sat& v : c.sats) {
      NAVCOD_DIF_SV& d = dif.sat[dif.uSatCount++];
      d.uSystem = kSysGps, d.uNumber = static_cast<std::uint8_t>(v.ident), d.uIssue = static_cast<std::uint8_t>(v.iod);
      d.uMask = 1;
      d.sig[0] = {static_cast<float>(v.prc), static_cast<float>(v.rrc), sigmaOfUdre(v.udre)};
    }
    src.gps = ms;
    enableOnly(coder, {kRtcmMsg9, kRtcmMsg1});
    coder.makeCoding();
    for (int kind : {kRtcmMsg9, kRtcmMsg1}) {
      const int n = coder.buildMessage(kind, out, seq, parity, 1, false);
      ASSERT_GT(n, 0);
      stream.insert(stream.end(), out, out + n);
    }
  }
  const std::string path = writeTemp("rtcm2_corr.bin", stream);
  const std::vector<Corr> got = parseCorrections(run("gpsdecode < '" + path + "' 2>/dev/null"));
  ASSERT_EQ(got.size(), 2 * truth.size()) << "gpsdecode read every message";
  for (std::size_t i = 0; i < got.size(); ++i) {
    const Corr& want = truth[i / 2];
    const Corr& g = got[i];
    const std::string row = "message " + std::to_string(i);
    EXPECT_EQ(g.type, i % 2 == 0 ? 9 : 1) << row;
    EXPECT_EQ(g.station, 268) << row;
    EXPECT_NEAR(g.zcount, want.zcount, 1e-6) << row;
    ASSERT_EQ(g.sats.size(), want.sats.size()) << row;
    for (std::size_t k = 0; k < want.sats.size(); ++k) {
      const Sat& a = g.sats[k];
      const Sat& b = want.sats[k];
      EXPECT_EQ(a.ident, b.ident) << row;
      EXPECT_EQ(a.udre, b.udre) << row;
      EXPECT_EQ(a.iod, b.iod) << row;
      const bool large = std::fabs(b.prc) > 655.34 || std::fabs(b.rrc) > 0.254;
      EXPECT_NEAR(a.prc, b.prc, large ? 0.32 : 0.02) << row;
      EXPECT_NEAR(a.rrc, b.rrc, large ? 0.032 : 0.002) << row;
    }
  }
}

// ---- RTK observables through rtklib ------------------------------------------------------------

struct Obs {
  std::map<std::string, double> v;  // "C1C" -> value
};
struct Epoch {
  int h = 0, mi = 0;
  double s = 0;
  std::map<std::string, Obs> sats;
};
struct Rinex {
  double pos[3] = {}, delta[3] = {};
  std::vector<std::string> types;
  std::vector<Epoch> epochs;
};

Rinex parseRinex(const std::string& text) {
  Rinex r;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    const std::string label = line.size() > 60 ? line.substr(60) : "";
    if (label.starts_with("END OF HEADER")) break;
    if (label.starts_with("APPROX POSITION XYZ")) std::sscanf(line.c_str(), "%lf %lf %lf", &r.pos[0], &r.pos[1], &r.pos[2]);
    if (label.starts_with("ANTENNA: DELTA H/E/N"))
      std::sscanf(line.c_str(), "%lf %lf %lf", &r.delta[0], &r.delta[1], &r.delta[2]);
    if (label.starts_with("SYS / # / OBS TYPES")) {
      std::istringstream t(line.substr(7, 53));
      for (std::string ty; t >> ty;) r.types.push_back(ty);
    }
  }
  while (std::getline(in, line)) {
    if (line.starts_with(">")) {
      Epoch e;
      int y, mo, d;
      std::sscanf(line.c_str(), "> %d %d %d %d %d %lf", &y, &mo, &d, &e.h, &e.mi, &e.s);
      r.epochs.push_back(e);
      continue;
    }
    if (r.epochs.empty() || line.size() < 3) continue;
    Obs& o = r.epochs.back().sats[line.substr(0, 3)];
    for (std::size_t k = 0; k < r.types.size(); ++k) {
      const std::size_t at = 3 + 16 * k;
      if (at >= line.size()) break;
      const std::string field = line.substr(at, 14);
      if (field.find_first_not_of(' ') != std::string::npos) o.v[r.types[k]] = std::stod(field);
    }
  }
  return r;
}

std::string convbin(const std::string& in) {
  const std::string out = std::filesystem::path(in).filename().string() + ".obs";
  run("convbin -r rtcm2 -v 3.04 -tr 2026/12/07 14:00:00 -o '" + out + "' '" + in + "' 2>/dev/null");
  return run("cat '" + out + "'");
}

// rtklib reports the type 22 residues (ECEF) as an up/east/north antenna delta: the station is
// the header position plus that delta turned back into ECEF on the WGS 84 ellipsoid.
void stationXyz(const Rinex& r, double out[3]) {
  const double a = 6378137.0, e2 = 6.69437999014e-3;
  const double* p = r.pos;
  const double lon = std::atan2(p[1], p[0]), rho = std::hypot(p[0], p[1]);
  double lat = std::atan2(p[2], rho * (1 - e2));
  for (int i = 0; i < 6; ++i) {
    const double n = a / std::sqrt(1 - e2 * std::sin(lat) * std::sin(lat));
    const double h = rho / std::cos(lat) - n;
    lat = std::atan2(p[2], rho * (1 - e2 * n / (n + h)));
  }
  const double u = r.delta[0], e = r.delta[1], n = r.delta[2];
  const double sl = std::sin(lat), cl = std::cos(lat), so = std::sin(lon), co = std::cos(lon);
  out[0] = p[0] - so * e - sl * co * n + cl * co * u;
  out[1] = p[1] + co * e - sl * so * n + cl * so * u;
  out[2] = p[2] + cl * n + sl * u;
}

TEST_F(Rtcm2CoderOracle, ConvbinReadsOurRtkObservablesAndStationAsTheRecordingHadThem) {
  const Rinex truth = parseRinex(convbin(kData + "testglo.rtcm2"));
  ASSERT_GT(truth.epochs.size(), 100u) << "convbin read the recording";

  FakeSource src;
  NAVCOD_RTK_DATA rtk{};
  src.rtk = &rtk;
  double station[3];
  stationXyz(truth, station);
  src.ref[0].dX = station[0], src.ref[0].dY = station[1], src.ref[0].dZ = station[2];
  RTCM_Coder coder(&src);
  RTCM_COD_SETTINGS s = coder.settings();
  s.stationId = 586;
  coder.setSettings(s);
  Bytes stream;
  std::uint8_t out[RTCM_Coder::kMaxOut];
  int seq = 0;
  std::uint32_t parity = 0;
  constexpr int kLeap = 18;  // GPS - UTC: rtklib reads GLONASS times as UTC
  for (std::size_t e = 0; e < truth.epochs.size(); ++e) {
    const Epoch& ep = truth.epochs[e];
    rtk = NAVCOD_RTK_DATA{};
    rtk.bReady = 1;
    const long utcMs = std::lround(((ep.h * 60 + ep.mi) * 60 + ep.s - kLeap) * 1000);
    rtk.ulTime[kSysGlonass] = static_cast<std::uint32_t>(utcMs + 3 * 3600000L);
    rtk.bValid[kSysGlonass] = 1;
    for (const auto& [name, o] : ep.sats) {
      RTK_DATA_SV& sv = rtk.sat[rtk.uSatCount++];
      sv.uSystem = kSysGlonass;
      sv.uNumber = static_cast<std::uint8_t>(std::stoi(name.substr(1)));
      const char* types[2][2] = {{"C1C", "L1C"}, {"C2P", "L2P"}};
      for (int f = 0; f < 2; ++f) {
        RTK_DATA_SLOT& d = sv.slot[f == 0 ? 0 : 2];
        if (!o.v.contains(types[f][0]) || !o.v.contains(types[f][1])) continue;
        d.bPresent = 1;
        d.dCode2 = o.v.at(types[f][0]);
        d.dPhase2 = o.v.at(types[f][1]);
      }
      ++rtk.uCountRtcm2[kSysGlonass];
    }
    src.gps = utcMs + kLeap * 1000;
    if (e % 10 == 0) {  // the station every ten epochs, as a base sends it
      enableOnly(coder, {kRtcmMsg3, kRtcmMsg22});
      coder.makeCoding();
      for (int kind : {kRtcmMsg3, kRtcmMsg22}) {
        const int n = coder.buildMessage(kind, out, seq, parity, 1, false);
        ASSERT_GT(n, 0);
        stream.insert(stream.end(), out, out + n);
      }
    }
    enableOnly(coder, {kRtcmMsg18, kRtcmMsg19});
    coder.makeCoding();
    const int n = coder.buildMessage(kRtcmMsg18, out, seq, parity, 1, true);
    ASSERT_GT(n, 0) << e;
    stream.insert(stream.end(), out, out + n);
  }
  const Rinex got = parseRinex(convbin(writeTemp("rtcm2_rtk.bin", stream)));
  // The header prints 0.1 mm: the station agrees to that, the centimetre part exactly.
  double back[3];
  stationXyz(got, back);
  for (int i = 0; i < 3; ++i) {
    EXPECT_NEAR(back[i], station[i], 2e-4) << "axis " << i;
    EXPECT_NEAR(got.pos[i], std::round(station[i] * 100) / 100, 1e-6) << "axis " << i;
  }
  ASSERT_EQ(got.epochs.size(), truth.epochs.size());
  int values = 0;
  for (std::size_t e = 0; e < truth.epochs.size(); ++e) {
    const Epoch& a = got.epochs[e];
    const Epoch& b = truth.epochs[e];
    EXPECT_EQ(a.h * 3600 + a.mi * 60 + a.s, b.h * 3600 + b.mi * 60 + b.s) << "epoch " << e;
    ASSERT_EQ(a.sats.size(), b.sats.size()) << "epoch " << e;
    for (const auto& [name, o] : b.sats) {
      ASSERT_TRUE(a.sats.contains(name)) << name << " epoch " << e;
      for (const auto& [type, value] : o.v) {
        if (type[0] != 'C' && type[0] != 'L') continue;
        const auto it = a.sats.at(name).v.find(type);
        ASSERT_NE(it, a.sats.at(name).v.end()) << name << " " << type << " epoch " << e;
        EXPECT_NEAR(it->second, value, type[0] == 'C' ? 0.02 : 0.005) << name << " " << type << " epoch " << e;
        ++values;
      }
    }
  }
  EXPECT_GT(values, 3000);
}

}  // namespace

namespace {

// Station, null frame, text and GLONASS corrections as gpsdecode reads them: each row one
// message, the fields gpsdecode prints for it.
TEST_F(Rtcm2CoderOracle, GpsdecodeReadsStationNullFrameTextAndGlonassCorrections) {
  FakeSource src;
  NAVCOD_DIF_DATA dif{};
  dif.bReady = 1;
  src.dif = &dif;
  src.gps = 7 * 3600000L + 1234567;   // Z-count 2057 (1234.2 s)
  src.glo = 10 * 3600000L + 1234567;  // the same Z-count in the GLONASS scale
  dif.ulTime[kSysGlonass] = static_cast<std::uint32_t>(src.glo / 600 * 600);
  NAVCOD_DIF_SV& g = dif.sat[dif.uSatCount++];
  g.uSystem = kSysGlonass, g.uNumber = 14, g.uIssue = 33, g.uMask = 1;
  g.sig[0] = {-12.34f, 0.05f, 3.0f};
  src.ref[0].dX = 1114104.5999, src.ref[0].dY = -4850729.7108, src.ref[0].dZ = 3975521.4643;
  RTCM_Coder coder(&src);
  RTCM_COD_SETTINGS s = coder.settings();
  s.stationId = 1001 & 0x3FF;
  s.health = 2;
  std::strcpy(s.text16, "BASE 77, RTCM 2 FROM THE RECEIVER");
  s.len16 = static_cast<std::uint8_t>(std::strlen(s.text16));
  coder.setSettings(s);
  struct Row {
    int kind;
    std::vector<std::string> fields;  // substrings of gpsdecode's line
  };
  const Row rows[] = {
      {kRtcmMsg3, {R"("type":3,)", R"("x":1114104.60,"y":-4850729.71,"z":3975521.46)"}},
      {kRtcmMsg6, {R"("type":6,)", R"("length":0)"}},
      {kRtcmMsg16, {R"("type":16,)", R"("message":"BASE 77, RTCM 2 FROM THE RECEIVER")"}},
      {kRtcmMsg31, {R"("type":31,)", R"("ident":14,"udre":1,"change":false,"tod":)", R"("prc":-12.340,"rrc":0.050)"}},
  };
  Bytes stream;
  std::uint8_t out[RTCM_Coder::kMaxOut];
  int seq = 0;
  std::uint32_t parity = 0;
  for (const Row& r : rows) {
    enableOnly(coder, {r.kind});
    coder.makeCoding();
    const int n = coder.buildMessage(r.kind, out, seq, parity, 1, false);
    ASSERT_GT(n, 0) << r.kind;
    stream.insert(stream.end(), out, out + n);
  }
  std::istringstream lines(run("gpsdecode < '" + writeTemp("rtcm2_misc.bin", stream) + "' 2>/dev/null"));
  std::vector<std::string> got;
  for (std::string l; std::getline(lines, l);)
    if (l.find("\"RTCM2\"") != std::string::npos) got.push_back(l);
  ASSERT_EQ(got.size(), std::size(rows));
  for (std::size_t i = 0; i < got.size(); ++i) {
    EXPECT_NE(got[i].find(R"("station_id":1001,)"), std::string::npos) << got[i];
    EXPECT_NE(got[i].find(R"("zcount":1234.2,)"), std::string::npos) << got[i];
    EXPECT_NE(got[i].find(R"("station_health":2)"), std::string::npos) << got[i];
    for (const std::string& f : rows[i].fields) EXPECT_NE(got[i].find(f), std::string::npos) << f << "\n" << got[i];
  }
}

}  // namespace

