
#include <cmath>

#include "differential/decoder_status.h"
#include "positioning/rcv_time_scales.h"
#include "rtcm3_test_util.h"

namespace {

using namespace rtcm3test;

struct Decoded {
  RecordingClient client;
  std::map<int, int> types;
  int good = 0;
  int bad = 0;
};

void decodeFile(const std::string& path, Decoded& out, int chunk = 300) {
  const Bytes data = readFile(path);
  RTC3_Decoder& dec = Rtcm3Dec[1];  // built before main: its constructor's defaults are long set
  dec.initDecoder(&out.client);
  NAV_Decoder d(&dec);
  for (std::size_t off = 0; off < data.size(); off += chunk)
    d.putData(data.data() + off, static_cast<int>(std::min<std::size_t>(chunk, data.size() - off)),
              static_cast<InPorts::DecPortIndex>(1));
  for (int m : out.client.goodMessages()) ++out.types[m];
  out.good = dec.getStatus().goodFrames;
  out.bad = dec.getStatus().badFrames;
}

struct FileCase { std::string name; bool clean; };  // clean: RTCM 3 frames only
const FileCase kFiles[] = {{"testglo.rtcm3", true}, {"uscl00chl0.rtcm3", true}, {"msm3.rtcm3", true},
                           {"msg1230.rtcm3", true}, {"standard-examples-1029-1005.rtcm3", true},
                           {"mixed-with-nmea-ubx.bin", false}, {"mixed-bad-crc.bin", false}, {"bad-header.bin", false}};

// Frame and type counts, station points (1005/1006) and 1230 station and indicator of every recording.
TEST(Rtcm3Oracle, EveryRecordingMatchesGpsdecode) {
  int stations = 0;
  for (const FileCase& f : kFiles) {
    SCOPED_TRACE(f.name);
    const std::vector<std::string> lines = gpsdecodeRtcm3(recording(f.name));
    std::map<int, int> want;
    std::vector<std::string> points, biases;
    for (const std::string& l : lines) {
      const int t = static_cast<int>(jsonInt(l, "type"));
      ++want[t];
      if (t == 1005 || t == 1006) points.push_back(l);
      if (t == 1230) biases.push_back(l);
    }
    Decoded got;
    decodeFile(recording(f.name), got);
    EXPECT_EQ(got.good, static_cast<int>(lines.size()));
    EXPECT_EQ(got.types, want);
    if (f.clean) { EXPECT_EQ(got.bad, 0); }
    ASSERT_EQ(got.client.refPos.size(), points.size());
    for (std::size_t i = 0; i < points.size(); ++i, ++stations) {
      const RTC3_REFPOS& p = got.client.refPos[i];
      const std::string& w = points[i];
      EXPECT_EQ(p.stationId, jsonInt(w, "station_id"));
      for (const auto& [got, key] : {std::pair(p.x, "x"), {p.y, "y"}, {p.z, "z"}, {p.flags & 8 ? p.height : 0, "h"}})
        if (got != 0) { EXPECT_NEAR(got, jsonDouble(w, key), 0.00005) << key; }
      // Flags: GLONASS, GPS, Galileo, height present; indicators: reference station 4, single oscillator 3.
      const auto has = [&](const char* s) { return w.find(s) != std::string::npos; };
      const int f = p.flags, ind = p.indicators;
      EXPECT_EQ(std::tuple(f & 1, f >> 1 & 1, f >> 2 & 1, f >> 3 & 1, ind >> 4 & 1, ind >> 3 & 1),
                std::tuple(has("\"GLONASS\""), has("\"GPS\""), has("\"GALILEO\""), jsonInt(w, "type") == 1006,
                           jsonString(w, "refstation") == "true", jsonString(w, "sro") == "true"));
    }
    ASSERT_EQ(got.client.gloBias.size(), biases.size());
    for (std::size_t i = 0; i < biases.size(); ++i)
      EXPECT_EQ(std::tuple(got.client.gloBias[i].stationId, got.client.gloBias[i].indicator),
                std::tuple(jsonInt(biases[i], "station_id"), jsonInt(biases[i], "ind")));
    // The last one carries only three biases (mask 1011): L1 C/A, L2 C/A and L2 P.
    if (f.name == "msg1230.rtcm3") { EXPECT_EQ(got.client.gloBias.back().mask, 0xB); }
  }
  EXPECT_EQ(stations, 23);  // 19 + 2 + 1 + 1
}

// 1007, 1008, 1033, 1013, 1029 and 1230 of the caster recording against gpsdecode; 1033's receiver serial
// (gpsdecode does not print it) and the 1230 biases (gpsdecode prints nonsense) against convbin.
TEST(Rtcm3Oracle, DescriptorsSystemParametersTextAndBiasesMatchTheOracles) {
  ASSERT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
  const std::string path = recording("uscl00chl0.rtcm3");
  std::map<int, std::string> want;
  for (const std::string& line : gpsdecodeRtcm3(path)) want[static_cast<int>(jsonInt(line, "type"))] = line;
  Decoded got;
  decodeFile(path, got);

  ASSERT_EQ(got.client.antDesc.size(), 3u);  // 1007, 1008 and the antenna part of 1033
  const int antTypes[3] = {1007, 1008, 1033};
  for (int i = 0; i < 3; ++i) {
    const RTC3_ANT_DESC& a = got.client.antDesc[i];
    const std::string& w = want[antTypes[i]];
    EXPECT_EQ(std::tuple(a.stationId, std::string(a.desc), a.descLen, a.setupId, a.serialPresent),
              std::tuple(jsonInt(w, "station_id"), jsonString(w, "desc"), std::strlen(a.desc), jsonInt(w, "setup_id"),
                         antTypes[i] != 1007))
        << antTypes[i];
    if (a.serialPresent) { EXPECT_EQ(std::string(a.serial), jsonString(w, "serial")); }
  }
  ASSERT_EQ(got.client.rcvDesc.size(), 1u);
  const RTC3_RCV_DESC& r = got.client.rcvDesc[0];
  EXPECT_EQ(std::tuple(std::string(r.type), std::string(r.firmware), r.serialLen),
            std::tuple(jsonString(want[1033], "receiver"), jsonString(want[1033], "firmware"), std::strlen(r.serial)));
  // convbin writes the receiver's serial number, type and firmware into the RINEX header.
  const std::string header = run("d=$(mktemp -d) && cd $d && convbin -r rtcm3 -tr 2024/03/11 16:35:00 -v 3.04 -o u.obs '" +
                                 path + "' >/dev/null 2>&1; cat u.obs; rm -rf $d");
  const std::size_t recLine = header.find("REC # / TYPE / VERS");
  ASSERT_NE(recLine, std::string::npos) << "convbin wrote no observation header";
  const std::string rec = header.substr(header.rfind('\n', recLine) + 1, 60);
  EXPECT_EQ(std::tuple(rec.substr(0, 20).find(r.serial), rec.substr(20, 20).find(r.type), rec.substr(40, 20).find(r.firmware)),
            std::tuple(0u, 0u, 0u)) << rec;

  ASSERT_EQ(got.client.sysPar.size(), 1u);
  const RTC3_SYS_PAR& s = got.client.sysPar[0];
  const std::string& w = want[1013];
  EXPECT_EQ(std::tuple(s.stationId, s.mjd, s.secOfDay, s.leapSeconds, s.count),
            std::tuple(jsonInt(w, "station_id"), jsonInt(w, "mjd"), jsonInt(w, "sec"), jsonInt(w, "leapsecs"), 0));

  // A plain text: decoded (its station shows in the status) and not kept anywhere.
  for (const RTC3_DEC_STATUS& st : got.client.statuses)
    if (st.msgNum == 1029) { EXPECT_EQ(st.stationId, jsonInt(want[1029], "station_id")); }

  ASSERT_EQ(got.client.gloBias.size(), 1u);
  const RTC3_GLO_BIAS& g = got.client.gloBias[0];
  EXPECT_EQ(std::tuple(g.stationId, g.mask), std::tuple(jsonInt(want[1230], "station_id"), 0xF));
  const std::size_t bis = header.find("GLONASS COD/PHS/BIS");
  ASSERT_NE(bis, std::string::npos);
  const std::string b = header.substr(header.rfind('\n', bis) + 1, 60);  // " C1C    0.000 C1P    0.000 ..."
  for (int i = 0; const char* code : {"C1C", "C2C", "C1P", "C2P"}) {
    const std::size_t at = b.find(code);
    ASSERT_NE(at, std::string::npos) << code;
    EXPECT_NEAR(g.bias[i++], std::strtod(b.substr(at + 3, 10).c_str(), nullptr), 0.0005) << code;
  }
}

TEST(Rtcm3Oracle, RawReoutputIsByteIdentical) {
  for (const FileCase& f : kFiles) {
    Reoutput out(RTC3_DEC_SETTINGS{0, 5, -1, 1, 0});
    Decoded got;
    decodeFile(recording(f.name), got, 97);
    EXPECT_EQ(Reoutput::frames.size(), static_cast<std::size_t>(got.good)) << f.name;
    const Bytes in = readFile(recording(f.name));
    auto from = in.begin();
    for (const Bytes& fr : Reoutput::frames) {
      from = std::search(from, in.end(), fr.begin(), fr.end());
      ASSERT_NE(from, in.end()) << f.name;
      from += static_cast<long>(fr.size());
    }
    if (got.good > 0) { EXPECT_EQ(Reoutput::lastPort, 5); }
  }
}

// Decimation 5 s: only observation epochs on a multiple of 5 s (gpsdecode's epoch times) are re-output.
TEST(Rtcm3Oracle, DecimationKeepsItsRatio) {
  const std::string path = recording("testglo.rtcm3");
  std::map<int, int> want;
  for (const std::string& line : gpsdecodeRtcm3(path)) {
    const int t = static_cast<int>(jsonInt(line, "type"));
    // GLONASS time of day is tested shifted by the receiver's GPS-UTC leap seconds.
    const long long tow = jsonInt(line, "tow") + (t == 1012 ? 18000 : 0);
    if ((t != 1004 && t != 1012) || tow % 5000 == 0) ++want[t];
  }
  RcvTimeScales::Req.sysUtc[0] = 18;
  Reoutput out(RTC3_DEC_SETTINGS{5000, 7, -1, 1, 0});
  Decoded got;
  decodeFile(path, got);
  std::map<int, int> types;
  for (const Bytes& fr : Reoutput::frames) ++types[fr[3] << 4 | fr[4] >> 4];
  ASSERT_EQ(types, want);
  for (int t : {1004, 1012}) EXPECT_LE(std::abs(types[t] * 5 - got.types[t]), 5) << t;  // one epoch in five
}

}  // namespace
