// testglo.rtcm2 (types 3, 18, 19, 22 of one station) through the whole RTCM 2 road: the stream
// decoder, the port's client, the RTCM 2 base decoder. convbin (rtklib) is the truth of the
// epochs and the ranges; its RTCM 2 phases are not, so the phases are checked against the ranges.
// The station's coordinates (3 plus 22) are checked against the 1005 of testglo.rtcm3 (the same
// station) as convbin reads it, and the base record they make against a restart.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "differential/base/rtcm2_cpd_decoder.h"
#include "differential/rtcm2/rtcm2_client.h"
#include "differential/rtk_base.h"
#include "navigation_data/store/nav_records.h"
#include "navigation_data/store/sat_data_store.h"
#include "platform/file_nvm.h"
#include "rtcm3_cpd_rinex.h"
#include "rtcm3_cpd_test_util.h"
#include "settings/nv_settings.h"
#include "settings/rcv_settings.h"
#include "settings/rtcm_settings.h"
#include "unit/platform/temp_run_dir.h"

namespace {

using namespace rtcm3cpdtest;

constexpr int kPort = 2;
constexpr int kLeap = 15;  // GPS - UTC in December 2009
constexpr double kC = 299792458.0;

std::vector<unsigned char> bytesOf(const std::string& rel) {
  std::ifstream f(std::string(RX_SHARED_DIR) + "/testdata/" + rel, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(f), {});
}

// convbin's RINEX 3 observation file of a recording.
struct Rinex {
  RnxHeader hdr;
  std::vector<RnxEpoch> epochs;
  Rinex(const char* format, const char* rel, const char* start) {
    EXPECT_EQ(access("/usr/bin/convbin", X_OK), 0) << "convbin (Debian rtklib) is required: run scripts/setup";
    char tmpl[] = "/tmp/rtcm2cpdXXXXXX";
    const std::string dir = mkdtemp(tmpl);
    const std::string cmd = std::string("convbin -r ") + format + " -tr " + start + " -v 3.04 -o " + dir +
                            "/o.obs -n " + dir + "/o.nav '" + RX_SHARED_DIR + "/testdata/" + rel + "' >/dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    EXPECT_TRUE(readRinexObs(dir + "/o.obs", hdr, epochs));
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
  }
};

const long kHourTow = std::lround(towOf(2009, 12, 25, 20, 0, 0) * 1000.0);  // GPS ms of week at 20:00

// The client of the port, which before each observable sets the rover's epoch and satellites as
// convbin saw them at the message's time.
struct RoadClient : RTCM_Client {
  const std::map<long, const RnxEpoch*>* byTow = nullptr;
  const RnxHeader* hdr = nullptr;
  long lastTow = -1;
  int messages = 0;
  std::vector<long> messageTow;  // GPS tow of each observable message, in order

  static CpdSv svOf(const std::string& s, const RnxHeader& h) {
    const int n = std::atoi(s.c_str() + 1);
    if (s[0] == 'G') return CpdSv::make(CpdSv::kGps, n);
    if (s[0] == 'R' && h.gloChannel.count(n)) return CpdSv::make(CpdSv::kGlonass, h.gloChannel.at(n));
    return CpdSv{};
  }
  // GPS ms of the week of a message: GLONASS messages carry GLONASS time, which within the hour
  // is GPS time less the leap seconds (its 3 h are whole hours).
  static long towOfMessage(const RTCM_RTK_HEAD& h, bool glo) {
    long ms = std::lround(h.time / 10000.0) * 10;
    if (glo) ms += kLeap * 1000L;
    return kHourTow + ms % 3600000L;
  }
  void rover(const RTCM_RTK_HEAD& h, bool glo) {
    const long tow = towOfMessage(h, glo);
    messageTow.push_back(tow);
    ++messages;
    if (tow == lastTow) return;
    const auto e = byTow->find(tow);
    if (e == byTow->end()) return;
    lastTow = tow;
    std::vector<CpdSv> svs;
    for (const auto& [sat, obs] : e->second->obs) svs.push_back(svOf(sat, *hdr));
    roverAt(tow, kLeap, svs);
  }
  template <class M>
  static bool gloOf(const M& m) {
    return m.head.count > 0 && (m.sat[m.head.count - 1].flags & RTCM_RTK_HEAD::kGlonass) != 0;
  }
  void updatePhase(const RTCM_RTK_PHASE& r, int port) override {
    rover(r.head, gloOf(r));
    RTCM_Client::updatePhase(r, port);
  }
  void updateRange(const RTCM_RTK_RANGE& r, int port) override {
    rover(r.head, gloOf(r));
    RTCM_Client::updateRange(r, port);
  }
};

// The base buffer's consumer, noting the observable message each epoch was released on.
struct Released : CpdMeasBuf::Client {
  const RoadClient* road = nullptr;
  std::vector<CpdMeas> epochs;
  std::vector<long> onMessageTow;
  void process(const CpdMeas& m) override {
    epochs.push_back(m);
    onMessageTow.push_back(road->messageTow.empty() ? -1 : road->messageTow.back());
  }
  void reset() override {}
};

// GLONASS slots linked to their frequency channels, as a 1020 would give them to the store.
void linkGlonass(const RnxHeader& h) {
  for (const auto& [slot, ch] : h.gloChannel) {
    ZRT_EPH_GLN g{};
    g.slot = static_cast<std::uint8_t>(slot);
    g.freqNum = static_cast<std::int8_t>(ch);
    g.tauN = 1e-5;
    g.pos[0] = 25500.0;
    g.vel[1] = 3.0;
    SvIdType id;
    ASSERT_TRUE(svIdFromSiNumber(kSysGlonass, ch, id));
    id.sat = static_cast<std::uint8_t>(slot - 1);
    SatDataProcessorInstance.update_EphemerisData(id, 0, &g, 0, true, true, true);
  }
}

struct Road {
  Released out;
  CpdAux aux;
  CpdMeasBufImp buf{kCpdBaseBufSize, &out, &aux};
  RtcmCpdDecoder cpd{&buf};
  RoadClient client;
  NAV_Decoder nav{&RtcmDec[kPort]};
  Road() {
    out.road = &client;
    client.setBaseDecoder(&cpd);
    RtcmDec[kPort].initDecoder(&client);
    rtkBaseDecoders = RtkBaseDecoders{};
    rtkBaseDecoders.rtcm2 = &cpd;
  }
  ~Road() {
    rtkBaseDecoders = RtkBaseDecoders{};
    RtcmDec[kPort].initDecoder(&RtcmCl[kPort]);
  }
  void feed(const std::vector<unsigned char>& b, std::size_t chunk) {
    for (std::size_t at = 0; at < b.size(); at += chunk) {
      const std::size_t n = std::min(chunk, b.size() - at);
      nav.putData(b.data() + at, static_cast<int>(n), static_cast<InPorts::DecPortIndex>(kPort));
    }
  }
};

void openGates() {
  RcvSet.refPort = -2;
  RcvSet.refMsgChoice = 2;
  RcvSet.baseStationId = 0;
  RcvSet.bUseBaseEntered = RcvSet.bUseBaseEnteredOffs = RcvSet.bUseBaseEnteredPar = 0;
  RcvSet.rtcm2NoFullBand = 0;
  rtcmSetDefaults(RtcmSet);
  RtcmSet.cmrDec.inUse = -1;
}

double carrier(const CpdSv& sv, int slot) {
  if (sv.sys == CpdSv::kGlonass) return slot == 0 ? 1602e6 + sv.num * 562500.0 : 1246e6 + sv.num * 437500.0;
  return slot == 0 ? 1575.42e6 : 1227.60e6;
}

std::string nameOf(const CpdSv& sv, const RnxHeader& h) {
  char b[8] = "?";
  if (sv.sys == CpdSv::kGps) std::snprintf(b, sizeof b, "G%02d", sv.num);
  for (const auto& [slot, ch] : h.gloChannel)
    if (sv.sys == CpdSv::kGlonass && ch == sv.num) std::snprintf(b, sizeof b, "R%02d", slot);
  return b;
}

TEST(Rtcm2CpdRecording, TestgloEpochsAgainstConvbin) {
  openGates();
  SatDataProcessorInstance.init_Object();
  const Rinex glo("rtcm3", "rtcm3/testglo.rtcm3", "2009/12/18 00:00:00");  // its 1020s give the channels
  Rinex rx("rtcm2", "rtcm2/testglo.rtcm2", "2009/12/25 20:00:00");
  ASSERT_EQ(rx.epochs.size(), 186u);
  ASSERT_FALSE(glo.hdr.gloChannel.empty());
  rx.hdr.gloChannel = glo.hdr.gloChannel;
  linkGlonass(rx.hdr);
  std::map<long, const RnxEpoch*> byTow;
  for (const RnxEpoch& e : rx.epochs) byTow[e.towMs] = &e;

  for (std::size_t chunk : {std::size_t{1}, std::size_t{37}, std::size_t{4096}}) {
    Road road;
    road.client.byTow = &byTow;
    road.client.hdr = &rx.hdr;
    road.feed(bytesOf("rtcm2/testglo.rtcm2"), chunk);
    const std::vector<CpdMeas>& ep = road.out.epochs;
    ASSERT_EQ(ep.size(), 186u) << chunk;
    double worst = 0.0;
    int ranges = 0;
    std::map<std::string, std::pair<double, double>> spread[2];  // per satellite's arc and band: min, max
    std::map<std::string, std::size_t> lastSeen[2];
    std::map<std::string, int> arc[2];
    for (std::size_t i = 0; i < ep.size(); ++i) {
      const CpdMeas& m = ep[i];
      const RnxEpoch& want = rx.epochs[i];
      ASSERT_EQ(m.id.get(), static_cast<std::int32_t>(want.towMs % 3600000)) << i;
      // Released on its own last message; the first, with no epoch before it, on the next one's first.
      EXPECT_EQ(road.out.onMessageTow[i], i == 0 ? rx.epochs[1].towMs : want.towMs) << i;
      EXPECT_EQ(m.n, static_cast<int>(want.obs.size())) << i;
      for (int k = 0; k < m.n; ++k) {
        const CpdSvMeas& s = m.sv[k];
        const std::string name = nameOf(s.sv, rx.hdr);
        const auto o = want.obs.find(name);
        ASSERT_NE(o, want.obs.end()) << name << " epoch " << i;
        for (int slot : {0, 2}) {
          const char* code = slot == 0 ? "C1C" : "C2P";
          const auto c = o->second.find(code);
          if (c == o->second.end()) continue;
          ASSERT_TRUE(s.slot[slot].flags & CpdMeasSlot::kRange) << name << " " << code << " epoch " << i;
          worst = std::max(worst, std::fabs(s.slot[slot].range - c->second));
          ++ranges;
          ASSERT_TRUE(s.slot[slot].flags & CpdMeasSlot::kPhase) << name << " epoch " << i;
          const double d = s.slot[slot].phase * kC / carrier(s.sv, slot) - s.slot[slot].range;
          // The base restarts a phase after a loss of lock: convbin's phase of it is back within
          // one cycle, or the satellite's phase was missing the epoch before. A new arc begins.
          const auto cp = o->second.find(slot == 0 ? "L1C" : "L2P");
          const auto before = lastSeen[slot / 2].find(name);
          if (before == lastSeen[slot / 2].end() || before->second + 1 != i ||
              (cp != o->second.end() && std::fabs(cp->second) < 1.0))
            ++arc[slot / 2][name];
          lastSeen[slot / 2][name] = i;
          const std::string key = name + " arc " + std::to_string(arc[slot / 2][name]);
          auto [it, fresh] = spread[slot / 2].try_emplace(key, d, d);
          if (!fresh) it->second = {std::min(it->second.first, d), std::max(it->second.second, d)};
        }
      }
    }
    EXPECT_LT(worst, 0.001) << chunk;
    EXPECT_GT(ranges, 186 * 2 * 10) << chunk;
    for (int b = 0; b < 2; ++b)
      for (const auto& [name, mm] : spread[b]) EXPECT_LT(mm.second - mm.first, 5.0) << name << " band " << b;
    EXPECT_GE(spread[0].size(), 10u);
  }
}

// Cut and corrupted streams: whatever is published is a sound epoch.
TEST(Rtcm2CpdRecording, CutAndCorruptedStreamsKeepEpochsSound) {
  openGates();
  SatDataProcessorInstance.init_Object();
  std::vector<CpdSv> all;
  for (int p = 1; p <= 32; ++p) all.push_back(CpdSv::make(CpdSv::kGps, p));
  roverAt(kHourTow + 760000, kLeap, all);
  const std::vector<unsigned char> file = bytesOf("rtcm2/testglo.rtcm2");
  std::uint32_t x = 7;
  auto next = [&x] { return x = x * 1103515245u + 12345u; };
  for (int round = 0; round < 6; ++round) {
    std::vector<unsigned char> b(file.begin(), file.begin() + static_cast<long>(next() % file.size()));
    for (int k = 0; k < 200 && !b.empty(); ++k) b[next() % b.size()] = static_cast<unsigned char>(next());
    // No convbin epochs: the rover epoch set above stays.
    const std::map<long, const RnxEpoch*> none;
    const RnxHeader hdr;
    Road road;
    road.client.byTow = &none;
    road.client.hdr = &hdr;
    road.feed(b, 1 + next() % 300);
    for (const CpdMeas& m : road.out.epochs) {
      EXPECT_TRUE(m.id.get() >= 0 && m.id.get() < 3600000) << round;
      EXPECT_TRUE(m.n >= 0 && m.n <= CpdMeas::kMaxSv) << round;
    }
  }
}

// Type 3 plus type 22 is the station's antenna reference point, which testglo.rtcm3's 1005 gives;
// the base record it makes is saved in the settings image and back after a restart.
class Rtcm2StationRecord : public TempRunDir {};

TEST_F(Rtcm2StationRecord, Type3And22IsThe1005PointAndSurvivesARestart) {
  FileNvmLoad();
  nv_readSettings();
  openGates();
  RcvPosGPS = ReferencePos{};
  const Rinex r3("rtcm3", "rtcm3/testglo.rtcm3", "2009/12/18 00:00:00");
  ASSERT_NE(r3.hdr.pos[0], 0.0);
  rtcm2ClientsInit();
  NAV_Decoder nav(&RtcmDec[kPort]);
  const std::vector<unsigned char> b = bytesOf("rtcm2/testglo.rtcm2");
  nav.putData(b.data(), static_cast<int>(b.size()), static_cast<InPorts::DecPortIndex>(kPort));

  // Message 22 is kept: its L1 corrections bring message 3's point to the 1005 point; it flags
  // no antenna height, so no L1 offsets follow.
  double xyz[3];
  ASSERT_TRUE(RcvPosGPS.getRefPos(ReferencePos::kCartesian, xyz));
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(xyz[i], r3.hdr.pos[i], 1e-4) << i;
  // No antenna height: no L1 offsets.
  EXPECT_EQ(RcvPosGPS.ant().flags[0] & (ReferencePos::kL1Set | ReferencePos::kArp), 0);
  EXPECT_EQ(RcvPosGPS.ant().offsets[2], 0.0f);
  BASECOORD before{};
  ASSERT_TRUE(getRtkBase(before));
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(before.xyz[i], r3.hdr.pos[i], 1e-4) << i;
  // No L1 offsets; message 22's third word, the L2 phase centre's offset from L1's, is all zeros
  // and kept in Earth-fixed axes.
  EXPECT_EQ(std::tuple(int(before.offFlags), int(before.srcKind), std::string(before.name)),
            std::tuple(int(RtkBase::kOffL2Xyz), 0, std::string("W84")));
  EXPECT_EQ(std::tuple(before.offL2[0], before.offL2[1], before.offL2[2]), std::tuple(0.0f, 0.0f, 0.0f));

  ASSERT_TRUE(FileNvmSave(0, true));
  ASSERT_TRUE(exists(".gnss.nvm"));
  std::memset(&bc, 0x5A, sizeof bc);
  FileNvmLoad();
  nv_readSettings();
  BASECOORD after{};
  EXPECT_TRUE(getRtkBase(after));
  EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
  RtcmDec[kPort].initDecoder(&RtcmCl[kPort]);
}

}  // namespace
