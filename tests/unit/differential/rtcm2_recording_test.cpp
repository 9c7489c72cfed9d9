// RTCM 2 recordings against independent decoders: testglo.rtcm2 with the message counts of a
// parity decoder written from RTCM 10402.3 and the station position of convbin's RINEX header;
// sample.rtcm2 with gpsd's own dump of it (gpsdecode, sample.rtcm2.chk), message by message.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "differential/rtcm2/rtcm2_decoder.h"
#include "positioning/data_servers/pvt_data.h"
#include "positioning/engine/pvt_engine.h"
#include "positioning/time_scales.h"
#include "rtcm2_client_recorder.h"
#include "unit/fixed_scales.h"

namespace {

using rtcm2test::Recorder;

std::vector<unsigned char> readFile(const char* name) {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm2/" + name, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

// Feeds `bytes` to port 3's decoder in chunks of 1..maxChunk bytes drawn with `seed`.
void feed(NAV_Decoder& drv, const std::vector<unsigned char>& bytes, int maxChunk, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_int_distribution<int> size(1, maxChunk);
  for (std::size_t at = 0; at < bytes.size();) {
    const int n = std::min<int>(size(rng), static_cast<int>(bytes.size() - at));
    drv.putData(bytes.data() + at, n, static_cast<InPorts::DecPortIndex>(3));
    at += static_cast<std::size_t>(n);
  }
}

// The settings the program starts with, the stores empty.
void clearServers() {
  rtcmSetDefaults(RtcmSet);
  for (auto& e : RtcmSourceIdData) e = SourceIdEntry{0, kFreeSourceId};
  for (int s = 0; s < RTCMData::kRtcmSources; ++s) PVTDataInstance.rtcmSatCorrection[s].Init();
}

TEST(Rtcm2Recording, TestgloInAnyChunkingGivesTheIndependentCounts) {
  const std::vector<unsigned char> bytes = readFile("testglo.rtcm2");
  ASSERT_EQ(bytes.size(), 153397u);
  // Counted by a parity decoder written from RTCM 10402.3: 1728 messages, no failure, no gap.
  const std::map<int, int> want = {{1, 186}, {3, 18}, {18, 744}, {19, 744}, {22, 36}};
  struct Run { int maxChunk; unsigned seed; };
  const Run runs[] = {{1, 1}, {2, 2}, {5, 3}, {11, 4}, {64, 5}, {333, 6}, {1024, 7}, {4096, 8}};
  for (const Run& r : runs) {
    clearServers();
    Recorder client;
    RTCM_Decoder& dec = RtcmDec[3];
    client.dec = &dec;
    dec.initDecoder(&client);
    NAV_Decoder drv(&dec);
    feed(drv, bytes, r.maxChunk, r.seed);
    std::map<int, int> got;
    for (const RTCM_MSG_HEADER& h : client.headers) ++got[h.type];
    EXPECT_EQ(got, want) << "chunks up to " << r.maxChunk;
    EXPECT_EQ(dec.getStatus().messages, 1728u) << r.maxChunk;
    EXPECT_EQ(dec.getStatus().seqGaps, 0u) << r.maxChunk;
    EXPECT_FLOAT_EQ(dec.getStatus().quality, 100.0f) << r.maxChunk;  // no data word failed its parity
    // Station 3: X, Y, Z as convbin -r rtcm2 writes them into its RINEX header.
    ASSERT_EQ(client.refs.size(), 18u) << r.maxChunk;
    for (const auto& [got, want] : {std::pair(client.refs[0].x, -3869297.51), {client.refs[0].y, 3436571.33},
                                    {client.refs[0].z, 3717369.38}})
      EXPECT_NEAR(got, want, 1e-6);
    EXPECT_EQ(client.ranges.size(), 744u);
    EXPECT_EQ(client.phases.size(), 744u);
    EXPECT_EQ(client.lastPort, 3);
  }
}

// convbin's RINEX 3 of the recording: per epoch (s of the hour, GPS time) and satellite ("G05")
// the first code range of band 1 and of band 2.
std::map<long, std::map<std::string, std::pair<double, double>>> convbinRanges() {
  EXPECT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  char dir[] = "/tmp/rx_rtcm2_XXXXXX";
  if (mkdtemp(dir) == nullptr) return {};
  const std::string obs = std::string(dir) + "/out.obs";
  const std::string cmd = "convbin -r rtcm2 -tr 2009/12/25 20:00:00 -o " + obs + " " + RX_SHARED_DIR +
                          "/testdata/rtcm2/testglo.rtcm2 >/dev/null 2>&1";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  std::ifstream f(obs);
  std::map<long, std::map<std::string, std::pair<double, double>>> out;
  std::map<char, std::vector<std::string>> types;
  bool header = true;
  long epoch = -1;
  for (std::string l; std::getline(f, l);) {
    if (header) {
      if (l.find("SYS / # / OBS TYPES") != std::string::npos)
        for (std::size_t p = 7; p + 3 <= 58; p += 4)
          if (l[p] != ' ') types[l[0]].push_back(l.substr(p, 3));
      if (l.find("END OF HEADER") != std::string::npos) header = false;
      continue;
    }
    if (l[0] == '>') {
      epoch = std::lround(std::stoi(l.substr(16, 2)) * 60 + std::stod(l.substr(19, 11)));
      continue;
    }
    const std::vector<std::string>& t = types[l[0]];
    std::pair<double, double> r{NAN, NAN};
    for (std::size_t k = 0; k < t.size() && 3 + 16 * k + 14 <= l.size(); ++k) {
      const std::string v = l.substr(3 + 16 * k, 14);
      if (t[k][0] != 'C' || v.find_first_not_of(' ') == std::string::npos) continue;
      (t[k][1] == '1' ? r.first : r.second) = std::stod(v);
    }
    out[epoch][l.substr(0, 3)] = r;
  }
  EXPECT_EQ(std::system((std::string("rm -rf ") + dir).c_str()), 0);
  return out;
}

TEST(Rtcm2Recording, TestgloGpsRangesMatchConvbin) {
  const std::map<long, std::map<std::string, std::pair<double, double>>> rinex = convbinRanges();
  ASSERT_GT(rinex.size(), 100u);
  clearServers();
  Recorder client;
  RtcmDec[3].initDecoder(&client);
  NAV_Decoder drv(&RtcmDec[3]);
  feed(drv, readFile("testglo.rtcm2"), 512, 9);
  int compared = 0;
  for (const RTCM_RTK_RANGE& m : client.ranges) {
    const int f = m.head.freqBits >> 2;  // 0 L1, 2 L2
    const long sec = std::lround(m.head.time / 1e6) % 3600;
    for (int k = 0; k < m.head.count; ++k) {
      const RTCM_RTK_SAT& s = m.sat[k];
      if ((s.flags & RTCM_RTK_HEAD::kGlonass) != 0) continue;  // convbin moves GLONASS to GPS time
      char id[8];
      std::snprintf(id, sizeof id, "G%02d", s.satId);
      const auto e = rinex.find(sec);
      ASSERT_NE(e, rinex.end()) << sec;
      const auto r = e->second.find(id);
      ASSERT_NE(r, e->second.end()) << id << " at " << sec;
      EXPECT_NEAR(s.value, f == 0 ? r->second.first : r->second.second, 0.0015) << id << " at " << sec;
      ++compared;
    }
  }
  EXPECT_GT(compared, 2000);
}

// One satellite of a gpsdecode line.
struct ChkSat {
  int ident, udre, iod;
  double prc, rrc;
};
struct ChkLine {
  int station;
  double zcount;
  std::vector<ChkSat> sats;
};

double number(const std::string& s, const char* key, std::size_t from, std::size_t* end = nullptr) {
  const std::size_t k = s.find(std::string("\"") + key + "\":", from);
  if (k == std::string::npos) return NAN;
  const std::size_t v = k + std::string(key).size() + 3;
  if (end != nullptr) *end = v;
  return std::stod(s.substr(v));
}

std::vector<ChkLine> readChk() {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/rtcm2/sample.rtcm2.chk");
  std::vector<ChkLine> out;
  for (std::string line; std::getline(f, line);) {
    ChkLine c{static_cast<int>(number(line, "station_id", 0)), number(line, "zcount", 0), {}};
    std::size_t at = line.find("\"satellites\"");
    for (std::size_t e = 0; (at = line.find("{\"ident\"", at)) != std::string::npos; at = e) {
      ChkSat s{};
      s.ident = static_cast<int>(number(line, "ident", at, &e));
      s.udre = static_cast<int>(number(line, "udre", at));
      s.iod = static_cast<int>(number(line, "iod", at));
      s.prc = number(line, "prc", at);
      s.rrc = number(line, "rrc", at);
      c.sats.push_back(s);
    }
    out.push_back(c);
  }
  return out;
}

void setGpsTime(long msOfWeek) {
  RcvTimeScales::INT_SCALES s{};
  s.ms[0] = static_cast<std::int32_t>(msOfWeek);
  s.ms[1] = 0;
  s.flags[0] = s.flags[1] = RcvTimeScales::kTimeValid;
  testscales::publishFixed(s, 77);
}

// Checked after every message of sample.rtcm2.
struct SampleCheck {
  std::vector<ChkLine> lines;
  std::size_t next = 0;
  long hourMs = 0;  // the hour the tags must fall in
  int failures = 0;
};
SampleCheck g_check;

void checkAgainstChk(const RTCM_MSG_HEADER& h) {
  SampleCheck& c = g_check;
  ASSERT_LT(c.next, c.lines.size());
  const ChkLine& want = c.lines[c.next++];
  EXPECT_EQ(h.type, 9);
  EXPECT_EQ(h.stationId, want.station);
  EXPECT_NEAR(h.zCount * 0.6, want.zcount, 1e-9);
  int src = -1;
  for (int i = 0; i < kRtcmSourceEntries; ++i)
    if (RtcmSourceIdData[i].uId == want.station) src = i;
  ASSERT_GE(src, 0);
  RTCMData::SourceStateDataType st{};
  ASSERT_NE(PVTDataInstance.rtcmSourceState.Take(src, &st), 0);
  EXPECT_EQ(std::tuple(st.uStationId, st.uHealth, st.uZCount, st.fScale), std::tuple(268, 0, h.zCount, 1.0f));
  const std::uint32_t tag = static_cast<std::uint32_t>(c.hourMs + h.zCount * 600L) << 1 | 1u;
  for (const ChkSat& s : want.sats) {
    SvIdType id;
    ASSERT_TRUE(svIdFromSatNumber(kSysGps, s.ident, id));
    RTCMData::SatCorrectionType r{};
    ASSERT_NE(PVTDataInstance.rtcmSatCorrection[src].Take(&id, &r), 0) << s.ident;
    const bool coarse = (r.uSlotFlags[0] & RTCMData::SatCorrectionType::kCoarseScale) != 0;
    const RTCMData::SatCorrectionType::RangeCorrType& e = r.range[0][0];
    const bool ok = std::fabs(e.fPrc * (coarse ? 0.32 : 0.02) - s.prc) < 1e-6 &&
                    std::fabs(e.fRrc * (coarse ? 0.032 : 0.002) - s.rrc) < 1e-6 && e.uIod == s.iod &&
                    e.uUdre == s.udre && r.uStationId == 268 && r.ulRangeTime[0][0] == tag &&
                    (r.uSlotReady[0] & RTCMData::SatCorrectionType::kRangeCode0) != 0;
    EXPECT_TRUE(ok) << "message " << c.next << " PRN " << s.ident << " prc " << e.fPrc << " tag " << r.ulRangeTime[0][0]
                    << " want " << tag;
    if (!ok) ++c.failures;
  }
}

TEST(Rtcm2Recording, SampleType9MatchesGpsdecodeSatelliteBySatellite) {
  const std::vector<unsigned char> bytes = readFile("sample.rtcm2");
  ASSERT_FALSE(bytes.empty());
  // Receiver time (ms of the GPS week) against which the Z-counts (249.6 s to 379.8 s past the
  // hour) are made absolute, and the hour the tags must name.
  struct Row { const char* name; long now; long hour; };
  constexpr long H = 3600000;
  const Row rows[] = {
      {"same hour", 10 * H + 300000, 10 * H},
      {"receiver near the end of the hour: the next", 10 * H + 3550000, 11 * H},
      {"last hour of the week: the first of the next", 167 * H + 3560000, 0},
      {"first hour of the week", 120000, 0},
  };
  for (const Row& r : rows) {
    clearServers();
    setGpsTime(r.now);
    g_check = SampleCheck{readChk(), 0, r.hour, 0};
    ASSERT_EQ(g_check.lines.size(), 131u);
    Recorder client;
    client.dec = &RtcmDec[1];
    client.afterEach = checkAgainstChk;
    RtcmDec[1].initDecoder(&client);
    NAV_Decoder drv(&RtcmDec[1]);
    feed(drv, bytes, 97, 42);
    EXPECT_EQ(g_check.next, 131u) << r.name;
    EXPECT_EQ(g_check.failures, 0) << r.name;
  }
}

}  // namespace
