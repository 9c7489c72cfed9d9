// Observation messages against rtklib's convbin (RINEX), and the edges of the record.
#include <bit>
#include <cmath>

#include "differential/rtcm3_observations.h"
#include "positioning/signal_tables.h"
#include "rtcm3_test_util.h"

namespace {

using namespace rtcm3test;

constexpr double kC = 299792458.0;
constexpr double kLightMs = kC / 1000.0;

struct ObsClient : RecordingClient {
  std::vector<RTC3_OBS> legacy, msm;
  void updateRtkData(const RTC3_OBS& o, int) override { legacy.push_back(o); }
  void updateMsmData(const RTC3_OBS& o, int) override { msm.push_back(o); }
};

void decodeBytes(const Bytes& data, ObsClient& c) {
  RTC3_Decoder& dec = Rtcm3Dec[1];
  dec.initDecoder(&c);
  NAV_Decoder d(&dec);
  for (std::size_t off = 0; off < data.size(); off += 300)
    d.putData(data.data() + off, static_cast<int>(std::min<std::size_t>(300, data.size() - off)),
              static_cast<InPorts::DecPortIndex>(1));
}

// The frames of a recording, each with its message number.
std::vector<std::pair<int, Bytes>> framesOf(const Bytes& d) {
  std::vector<std::pair<int, Bytes>> out;
  for (std::size_t i = 0; i + 6 <= d.size();) {
    if (d[i] != 0xD3) { ++i; continue; }
    const std::size_t len = (d[i + 1] & 3u) << 8 | d[i + 2];
    if (i + len + 6 > d.size()) break;
    out.emplace_back(d[i + 3] << 4 | d[i + 4] >> 4, Bytes(d.begin() + i, d.begin() + i + len + 6));
    i += len + 6;
  }
  return out;
}

// The frames of the given types. convbin closes an epoch only on a message whose synchronous /
// multiple-message flag is clear, so `closeEpochs` clears it (the frame gets a new CRC).
Bytes select(const std::vector<std::pair<int, Bytes>>& frames, std::initializer_list<int> types, bool closeEpochs = true) {
  Bytes b;
  for (const auto& [m, f] : frames) {
    if (std::find(types.begin(), types.end(), m) == types.end()) continue;
    Bytes pl(f.begin() + 3, f.end() - 3);
    const int bit = m >= 1071 ? 54 : m >= 1009 ? 51 : 54;
    if (closeEpochs) pl[bit / 8] &= static_cast<unsigned char>(~(0x80u >> (bit % 8)));
    const Bytes g = frameOf(pl);
    b.insert(b.end(), g.begin(), g.end());
  }
  return b;
}

// One RINEX 3 epoch: time of day (s, GPS time) and per satellite ("G05") code ("C1C") -> value.
struct RinexEpoch {
  double sod = 0;
  std::map<std::string, std::map<std::string, double>> sats;
};

std::vector<RinexEpoch> convbin(const Bytes& data, const std::string& approx) {
  EXPECT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  char dir[] = "/tmp/rx_obs_XXXXXX";
  if (mkdtemp(dir) == nullptr) return {};
  const std::string in = std::string(dir) + "/in.rtcm3", obs = std::string(dir) + "/out.obs";
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  run("convbin -r rtcm3 -v 3.04 -od -os -tr " + approx + " -o " + obs + " " + in + " 2>/dev/null");
  std::ifstream f(obs);
  std::map<char, std::vector<std::string>> types;
  std::vector<RinexEpoch> out;
  bool header = true;
  char lastSys = 0;
  for (std::string l; std::getline(f, l);) {
    if (header) {
      if (l.find("SYS / # / OBS TYPES") != std::string::npos) {
        if (l[0] != ' ') lastSys = l[0];
        for (std::size_t p = 7; p + 3 <= 58; p += 4)
          if (l[p] != ' ') types[lastSys].push_back(l.substr(p, 3));
      }
      if (l.find("END OF HEADER") != std::string::npos) header = false;
      continue;
    }
    if (l[0] == '>') {
      RinexEpoch e;
      e.sod = std::stoi(l.substr(13, 2)) * 3600 + std::stoi(l.substr(16, 2)) * 60 + std::stod(l.substr(19, 11));
      out.push_back(e);
      continue;
    }
    if (out.empty() || l.size() < 3) continue;
    const std::vector<std::string>& t = types[l[0]];
    for (std::size_t k = 0; k < t.size() && 3 + 16 * k + 14 <= l.size(); ++k) {
      const std::string v = l.substr(3 + 16 * k, 14);
      if (v.find_first_not_of(' ') != std::string::npos) out.back().sats[l.substr(0, 3)][t[k]] = std::stod(v);
    }
  }
  run(std::string("rm -rf ") + dir);
  return out;
}

// Value of the first code of a band ('C', '1') present, NAN when none.
double band(const std::map<std::string, double>& s, char kind, char b) {
  for (const auto& [code, v] : s)
    if (code[0] == kind && code[1] == b) return v;
  return NAN;
}

// convbin leaves a CNR of 0 blank.
double cnrOf(double v) { return std::isnan(v) ? 0.0 : v; }

double wrapTo(double d, double unit) { return d - std::round(d / unit) * unit; }

struct LegacyCase {
  const char* file;
  const char* approx;
  std::initializer_list<int> types;
  int leap;  // GPS-UTC, s
};

// Every satellite of every epoch of the legacy messages equals convbin's RINEX.
TEST(Rtcm3Observations, LegacyMatchesConvbin) {
  const LegacyCase cases[] = {
      {"testglo.rtcm3", "2009/12/25 20:00:00", {1004}, 15},
      {"testglo.rtcm3", "2009/12/25 20:00:00", {1012}, 15},
      {"uscl00chl0.rtcm3", "2024/03/20 16:00:00", {1001}, 18},
      {"uscl00chl0.rtcm3", "2024/03/20 16:00:00", {1002}, 18},
      {"uscl00chl0.rtcm3", "2024/03/20 16:00:00", {1003}, 18},
      {"uscl00chl0.rtcm3", "2024/03/20 16:00:00", {1004}, 18},
      {"uscl00chl0.rtcm3", "2024/03/20 16:00:00", {1009}, 18},
      {"uscl00chl0.rtcm3", "2024/03/20 16:00:00", {1010}, 18},
      {"uscl00chl0.rtcm3", "2024/03/20 16:00:00", {1011}, 18},
      {"uscl00chl0.rtcm3", "2024/03/20 16:00:00", {1012}, 18},
  };
  int compared = 0;
  for (const LegacyCase& c : cases) {
    const int type = *c.types.begin();
    SCOPED_TRACE(std::string(c.file) + " " + std::to_string(type));
    const Bytes data = select(framesOf(readFile(recording(c.file))), c.types);
    ObsClient got;
    decodeBytes(data, got);
    // convbin reads no observations from 1001, 1003, 1009 and 1011: the extended message of the
    // same epoch, carrying the same fields, is their oracle.
    const bool ext = type == 1002 || type == 1004 || type == 1010 || type == 1012;
    const Bytes oracle = ext ? data : select(framesOf(readFile(recording(c.file))), {type + 1});
    const std::vector<RinexEpoch> want = convbin(oracle, c.approx);
    ASSERT_EQ(got.legacy.size(), want.size());
    const bool glo = type >= 1009;
    const bool dual = type == 1003 || type == 1004 || type == 1011 || type == 1012;
    const double unit = glo ? 2 * kLightMs : kLightMs;
    for (std::size_t e = 0; e < want.size(); ++e) {
      const RTC3_OBS& o = got.legacy[e];
      const double sod = glo ? std::fmod(o.time / 1000.0 - 10800 + c.leap + 86400, 86400) : std::fmod(o.time / 1000.0, 86400);
      EXPECT_NEAR(sod, want[e].sod, 1e-6);
      // convbin keeps the SBAS IDs (40 and up) of a 1004 as SBAS satellites; they are dropped here.
      std::size_t wantSats = 0;
      for (const auto& [n, v] : want[e].sats) wantSats += n[0] != 'S';
      ASSERT_EQ(o.numSat, wantSats);
      for (int i = 0; i < o.numSat; ++i, ++compared) {
        const RTC3_LEGACY_SAT& s = o.legacy[i];
        char name[8];
        std::snprintf(name, sizeof name, "%c%02d", glo ? 'R' : 'G', s.sat);
        SCOPED_TRACE(name);
        ASSERT_TRUE(want[e].sats.count(name));
        const auto& w = want[e].sats.at(name);
        const int k = s.channel - 7;
        const double f1 = glo ? 1602e6 + k * 0.5625e6 : 1575.42e6, f2 = glo ? 1246e6 + k * 0.4375e6 : 1227.6e6;
        const double c1 = band(w, 'C', '1');
        EXPECT_NEAR(wrapTo(c1 - s.pr1, unit), 0, 0.001);
        const double full = ext ? s.ambiguity * unit + s.pr1 : s.pr1 + std::round((c1 - s.pr1) / unit) * unit;
        if (ext) { EXPECT_NEAR(full, c1, 0.001); }
        if (!(s.flags & kRtc3LegNoL1Phase)) { EXPECT_NEAR(wrapTo((full + s.phase1) * f1 / kC - band(w, 'L', '1'), 1500), 0, 0.002); }
        if (ext) { EXPECT_NEAR(s.cnr1 * 0.25, cnrOf(band(w, 'S', '1')), 0.25); }
        if (!dual) {
          EXPECT_EQ(s.flags & (kRtc3LegNoL2Range | kRtc3LegNoL2Phase), kRtc3LegNoL2Range | kRtc3LegNoL2Phase);
          continue;
        }
        EXPECT_EQ((s.flags & kRtc3LegNoL2Range) != 0, std::isnan(band(w, 'C', '2')));
        EXPECT_EQ((s.flags & kRtc3LegNoL2Phase) != 0, std::isnan(band(w, 'L', '2')));
        if (!(s.flags & kRtc3LegNoL2Range)) { EXPECT_NEAR(full + s.pr2, band(w, 'C', '2'), 0.001); }
        if (!(s.flags & kRtc3LegNoL2Phase)) { EXPECT_NEAR(wrapTo((full + s.phase2) * f2 / kC - band(w, 'L', '2'), 1500), 0, 0.002); }
        if (ext) { EXPECT_NEAR(s.cnr2 * 0.25, cnrOf(band(w, 'S', '2')), 0.25); }
      }
    }
  }
  EXPECT_EQ(compared, 2850);
}


// RINEX codes of the MSM signal ids 1-32 of each system, from the RTCM 3 signal tables.
const char* const kMsmCodes[7][32] = {
    {"", "1C", "1P", "1W", "", "", "", "2C", "2P", "2W", "", "", "", "", "2S", "2L", "2X", "", "", "", "", "5I", "5Q", "5X", "", "", "", "", "", "1S", "1L", "1X"},
    {"", "1C", "1P", "", "", "", "", "2C", "2P", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", ""},
    {"", "1C", "1A", "1B", "1X", "1Z", "", "6C", "6A", "6B", "6X", "6Z", "", "7I", "7Q", "7X", "", "8I", "8Q", "8X", "", "5I", "5Q", "5X", "", "", "", "", "", "", "", ""},
    {"", "1C", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "5I", "5Q", "5X", "", "", "", "", "", "", "", ""},
    {"", "1C", "", "", "", "", "", "", "6S", "6L", "6X", "", "", "", "2S", "2L", "2X", "", "", "", "", "5I", "5Q", "5X", "", "", "", "", "", "1S", "1L", "1X"},
    {"", "2I", "2Q", "2X", "", "", "", "6I", "6Q", "6X", "", "", "", "7I", "7Q", "7X", "", "", "", "", "", "5D", "5P", "5X", "7D", "", "", "", "", "1D", "1P", "1X"},
    {"", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "", "5A", "", "", "", "", "", "", "", "", "", ""},
};

double carrierHz(int sys, char band, int gloK) {
  if (sys == 1) return band == '1' ? 1602e6 + gloK * 0.5625e6 : 1246e6 + gloK * 0.4375e6;
  switch (band) {
    case '1': return 1575.42e6;
    case '2': return sys == 5 ? 1561.098e6 : 1227.60e6;
    case '5': return 1176.45e6;
    case '6': return sys == 5 ? 1268.52e6 : 1278.75e6;
    case '7': return 1207.14e6;
    case '8': return 1191.795e6;
    default: return NAN;
  }
}

std::string satName(int sys, int sat) {
  char n[8];
  const int prn = sys == 3 ? sat + 19 : sat;  // SBAS mask position 1 is PRN 120, RINEX S20
  std::snprintf(n, sizeof n, "%c%02d", "GRESJCI"[sys], prn);
  return n;
}

// MSM6 and MSM7 of every system: each cell written to a slot equals convbin's observation of its
// RTCM signal.
TEST(Rtcm3Observations, MsmMatchesConvbin) {
  const auto frames = framesOf(readFile(recording("uscl00chl0.rtcm3")));
  // GLONASS channels from the legacy 1012 of the same epoch (convbin takes them from 1020).
  std::map<int, int> gloK;
  {
    ObsClient leg;
    decodeBytes(select(frames, {1012}), leg);
    ASSERT_EQ(leg.legacy.size(), 1u);
    for (int i = 0; i < leg.legacy[0].numSat; ++i) gloK[leg.legacy[0].legacy[i].sat] = leg.legacy[0].legacy[i].channel - 7;
  }
  const int savedVendor = RTC3_Decoder::compatibleVendor;
  RTC3_Decoder::compatibleVendor = 1;  // no BeiDou alignment: convbin shifts no phase
  int cells = 0;
  for (int type : {1076, 1077, 1086, 1087, 1096, 1097, 1106, 1107, 1116, 1117, 1126, 1127, 1136, 1137}) {
    SCOPED_TRACE(type);
    const int sys = (type - 1071) / 10;
    const bool withRate = type % 10 == 7;
    Bytes data = select(frames, {1020}, false);
    const Bytes msm = select(frames, {type});
    data.insert(data.end(), msm.begin(), msm.end());
    ObsClient got;
    decodeBytes(data, got);
    const std::vector<RinexEpoch> want = convbin(data, "2024/03/20 16:00:00");
    ASSERT_EQ(got.msm.size(), 1u);
    const RTC3_OBS& o = got.msm[0];
    if (want.empty()) {
      // The QZSS and NavIC messages of this recording list no satellite: convbin writes no epoch,
      // the record is delivered empty.
      EXPECT_TRUE(sys == 4 || sys == 6);
      int msmType = 0;
      std::uint64_t satMask = 0;
      std::uint32_t sigMask = 0;
      ASSERT_TRUE(getLastMsmInfo(sys, msmType, satMask, sigMask));
      EXPECT_EQ(std::tuple(o.numSat, std::popcount(satMask), msmType), std::tuple(0, 0, type % 10));
      continue;
    }
    ASSERT_EQ(want.size(), 1u);
    EXPECT_EQ(o.system, sys);
    EXPECT_NEAR(std::fmod((o.time / 1000.0) + (sys == 1 ? -10800 + 18 : sys == 5 ? 14 : 0) + 86400, 86400), want[0].sod, 1e-6);
    int msmType = 0;
    std::uint64_t satMask = 0;
    std::uint32_t sigMask = 0;
    ASSERT_TRUE(getLastMsmInfo(sys, msmType, satMask, sigMask));
    EXPECT_EQ(msmType, type % 10);
    EXPECT_EQ(o.numSat, want[0].sats.size());
    for (int i = 0; i < o.numSat; ++i) {
      const RTC3_MSM_SAT& s = o.msm[i];
      const std::string name = satName(sys, s.sat);
      SCOPED_TRACE(name);
      ASSERT_TRUE(want[0].sats.count(name));
      const auto& w = want[0].sats.at(name);
      for (int slot = 0; slot < kRtc3MsmSlots; ++slot) {
        // The last signal of the mask that lands in this slot and that the satellite carries.
        std::string code;
        float offset = 0;
        for (int id = 1; id <= 32; ++id) {
          float off = 0;
          if (!(sigMask >> (32 - id) & 1u) || getMsmSlotIdx(id, sys, true, off) != slot) continue;
          if (w.count(std::string("C") + kMsmCodes[sys][id - 1]) || w.count(std::string("L") + kMsmCodes[sys][id - 1]))
            code = kMsmCodes[sys][id - 1], offset = off;
        }
        const RTC3_MSM_SIG& g = s.sig[slot];
        if (code.empty()) {
          EXPECT_EQ(g.flags & (kRtc3MsmRangeValid | kRtc3MsmPhaseValid), 0) << slot;
          continue;
        }
        SCOPED_TRACE(code);
        ++cells;
        const double lam = kC / carrierHz(sys, code[0], gloK[s.sat]);
        const double whole = s.intMs * kLightMs;
        EXPECT_EQ((g.flags & kRtc3MsmRangeValid) != 0, w.count("C" + code) == 1);
        // convbin writes no GLONASS phase without the satellite's channel (MSM6 does not carry it).
        if (sys != 1 || w.count("L" + code)) { EXPECT_EQ((g.flags & kRtc3MsmPhaseValid) != 0, w.count("L" + code) == 1); }
        if ((g.flags & kRtc3MsmRangeValid) && w.count("C" + code)) { EXPECT_NEAR(g.pr + whole, w.at("C" + code), 0.001); }
        if ((g.flags & kRtc3MsmPhaseValid) && w.count("L" + code)) { EXPECT_NEAR((g.phase + offset + whole) / lam, w.at("L" + code), 0.002); }
        EXPECT_TRUE(g.flags & kRtc3MsmCnr);
        EXPECT_NEAR(g.cnr, cnrOf(w.count("S" + code) ? w.at("S" + code) : NAN), 0.75);
        EXPECT_EQ((g.flags & kRtc3MsmRate) != 0, withRate && w.count("D" + code) == 1);
        if ((g.flags & kRtc3MsmRate) && w.count("D" + code)) { EXPECT_NEAR(g.rate, -w.at("D" + code) * lam, 0.002); }
      }
    }
  }
  RTC3_Decoder::compatibleVendor = savedVendor;
  EXPECT_GT(cells, 200);
}

}  // namespace
