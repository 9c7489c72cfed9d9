// RTCM 3 network RTK and coordinate-transformation messages on a port in input mode rtcm3, every
// frame written by the test's own writer (tests/e2e/rtcm3_writer.h) from values chosen here, and
// a real transformation residual grid (../shared/testdata/rtcm3/mt1023.rtcm3) read field by field
// by the test's own reader:
//   - the network records as the decoders' network debug selector prints them on arrival, and
//     what the network RTK store kept of each correction epoch: an epoch of two messages stored
//     with the second, a seventh auxiliary station left out of the best six, GLONASS residuals
//     stored with their third message, a network change within 10 s of the last correction
//     refused and a later one clearing the stations, a 33rd station taking the place of the one
//     with the oldest correction, an epoch cut by a reset never stored;
//   - a transformation set (1021, the recorded 1023, 1025) shown by rtcm3/rover/transform/ once
//     received, a Molodenski-Badekas set of another system replacing it, a plane residual grid in
//     the grid of its projection;
//   - the same set read on a port in input mode auto, and again after the port left the mode;
//   - the received datum "GOT" and its projection in the output record once the user chose them,
//     against PROJ's cct and proj on the same parameters.
#include <algorithm>
#include <cstdio>
#include <sstream>
#include <vector>

#include "e2e/harness.h"
#include "e2e/tools.h"
#include "e2e/rtcm3_writer.h"

namespace e2e {
namespace {

using rtcm3w::Message;

class Rtcm3Network : public Rx {
 protected:
  // The program on its board simulator (run with `simArgs`), dev/ser/b in mode rtcm3 (its bytes
  // relayed to the board).
  void startWithRtcm3Port(const std::vector<std::string>& simArgs = {}) {
    ASSERT_NO_FATAL_FAILURE(startSim(simArgs));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm3"), re("%1%"));
    serB_ = std::make_unique<Port>(dir_.file("dev/ser/b"));
    ASSERT_TRUE(serB_->ok());
  }
  // Sends `frames` and waits until the program has printed `line` after what it printed before;
  // with `tail`, a line that starts with `line` and ends with `tail`.
  bool sendAndSee(const std::string& frames, const std::string& line, const std::string& tail = "") {
    const std::size_t from = rx_->out().size();
    if (!serB_->sendRaw(frames)) return false;
    const auto seen = [&] {
      const std::string out = rx_->out();
      for (std::size_t at = out.find(line, from); at != std::string::npos; at = out.find(line, at + 1)) {
        if (tail.empty()) return true;
        const std::size_t end = out.find('\n', at);
        if (end != std::string::npos && end + 1 >= at + line.size() + tail.size() &&
            out.compare(end + 1 - tail.size(), tail.size(), tail) == 0)
          return true;
      }
      return false;
    };
    if (waitUntil(seen)) return true;
    ADD_FAILURE() << "waited for: " << line << "..." << tail << "\nprinted:\n" << networkLines(from);
    return false;
  }
  // The network debug lines printed from `from` on.
  std::string networkLines(std::size_t from) {
    std::istringstream in(rx_->out().substr(from));
    std::string kept;
    for (std::string l; std::getline(in, l);)
      if (l.rfind("RTCM3 ", 0) == 0 || l.rfind("NRTK ", 0) == 0) kept += l + "\n";
    return kept;
  }
  std::unique_ptr<Port> serB_;
};

// The site of the board simulator (50 N, 10 E, 300 m on WGS 84) in Earth-fixed coordinates.
constexpr double kSiteX = 4045646.312, kSiteY = 713356.599, kSiteZ = 4863018.851;

struct DiffSat {
  int id, amb, nsync, iod;
  double geo, iono;  // m
};

// 1014: an auxiliary station's offsets from the master (degrees, m).
std::string msg1014(int net, int sub, int count, int master, int aux, double dLat, double dLon, double dH) {
  return Message(1014)
      .u(static_cast<unsigned>(net), 8).u(static_cast<unsigned>(sub), 4).u(static_cast<unsigned>(count), 5)
      .u(static_cast<unsigned>(master), 12).u(static_cast<unsigned>(aux), 12)
      .q(dLat, 0.000025, 20).q(dLon, 0.000025, 21).q(dH, 0.001, 23)
      .frame();
}

// 1015-1017 (GPS) and 1037-1039 (GLONASS): the header with the epoch in 0.1 s, then per
// satellite what the message carries (1015/1037 ionospheric, 1016/1038 geometric with the issue
// of data, 1017/1039 both).
std::string msgDiff(int number, int net, int sub, int epochMs, int multi, int master, int aux,
                    const std::vector<DiffSat>& sats) {
  const bool glonass = number >= 1037;
  const int kind = number - (glonass ? 1037 : 1015);
  Message m(number);
  m.u(static_cast<unsigned>(net), 8).u(static_cast<unsigned>(sub), 4).u(static_cast<unsigned>(epochMs / 100), glonass ? 20 : 23);
  m.u(static_cast<unsigned>(multi), 1).u(static_cast<unsigned>(master), 12).u(static_cast<unsigned>(aux), 12).u(sats.size(), 4);
  for (const DiffSat& s : sats) {
    m.u(static_cast<unsigned>(s.id), 6).u(static_cast<unsigned>(s.amb), 2).u(static_cast<unsigned>(s.nsync), 3);
    if (kind != 0) m.q(s.geo, 0.0005, 17).u(static_cast<unsigned>(s.iod), 8);
    if (kind != 1) m.q(s.iono, 0.0005, 17);
  }
  return m.frame();
}

struct ResSat {
  int id, soc, sod, soh, sic, sid;  // codes: 0.5 mm, 0.01 ppm, 0.1 ppm, 0.5 mm, 0.01 ppm
};
std::string msgRes(bool glonass, int epochS, int station, int refs, const std::vector<ResSat>& sats) {
  Message m(glonass ? 1031 : 1030);
  m.u(static_cast<unsigned>(epochS), glonass ? 17 : 20).u(static_cast<unsigned>(station), 12).u(static_cast<unsigned>(refs), 7);
  m.u(sats.size(), 5);
  for (const ResSat& s : sats)
    m.u(static_cast<unsigned>(s.id), 6).u(static_cast<unsigned>(s.soc), 8).u(static_cast<unsigned>(s.sod), 9)
        .u(static_cast<unsigned>(s.soh), 6).u(static_cast<unsigned>(s.sic), 10).u(static_cast<unsigned>(s.sid), 10);
  return m.frame();
}

std::string msg1032(int nonPhys, int phys, int itrf, double x, double y, double z) {
  return Message(1032)
      .u(static_cast<unsigned>(nonPhys), 12).u(static_cast<unsigned>(phys), 12).u(static_cast<unsigned>(itrf), 6)
      .q(x, 0.0001, 38).q(y, 0.0001, 38).q(z, 0.0001, 38)
      .frame();
}

// 1034 / 1035 with one satellite of zero gradients.
std::string msgFkp(bool glonass, int station, int epochS) {
  Message m(glonass ? 1035 : 1034);
  m.u(static_cast<unsigned>(station), 12).u(static_cast<unsigned>(epochS), glonass ? 17 : 20).u(1, 5);
  m.u(5, 6).u(0, glonass ? 5 : 8).u(0, 12).u(0, 12).u(0, 14).u(0, 14).u(0, 14).u(0, 14);
  return m.frame();
}

std::string storeLine(const char* what, int aux, int t, const std::string& state, int newest) {
  return std::string("NRTK ") + what + " aux " + std::to_string(aux) + " t " + std::to_string(t) + ": " + state +
         "; newest " + std::to_string(newest) + "\n";
}

TEST_F(Rtcm3Network, NetworkRecordsPrintedAndKeptByTheStoreByItsRules) {
  ASSERT_NO_FATAL_FAILURE(startWithRtcm3Port());
  EXPECT_EQ(ask("%2%set,/par/rtk/dbi/rtcm,59"), re("%2%"));

  // A virtual station 200 with its physical station 201: residuals are filed under the station
  // once the pair is known, a GPS epoch at once, a GLONASS one with its third message.
  ASSERT_TRUE(sendAndSee(rtcm3w::msg1005(200, kSiteX, kSiteY, kSiteZ), "")) ;
  ASSERT_TRUE(sendAndSee(msg1032(200, 201, 8, kSiteX + 1000.25, kSiteY - 500.5, kSiteZ + 20.125),
                         "RTCM3 physical station 201 of 200 itrf 8 4046646.5620 712856.0990 4863038.9760\n"));
  const std::vector<ResSat> res = {{3, 10, 20, 5, 30, 40}, {17, 255, 511, 63, 1023, 1023}};
  ASSERT_TRUE(sendAndSee(msgRes(false, 3600, 200, 12, res), "RTCM3 GPS residuals station 200 t 3600 stations 12 sats 2\n"));
  EXPECT_NE(rx_->out().find("RTCM3 residual sat 3 0.0050 2.00e-07 5.0e-07 0.0150 4.00e-07\n"), std::string::npos);
  EXPECT_NE(rx_->out().find("RTCM3 residual sat 17 0.1275 5.11e-06 6.3e-06 0.5115 1.02e-05\n"), std::string::npos);
  ASSERT_TRUE(sendAndSee(msg1032(200, 201, 8, kSiteX + 1000.25, kSiteY - 500.5, kSiteZ + 20.125), "RTCM3 physical"));
  ASSERT_TRUE(sendAndSee(msgRes(false, 3601, 200, 12, res),
                         storeLine("GPS residual", 200, 1000, "stored, 2 sats of 1 messages", 1000)));
  // A GLONASS satellite is kept only once the receiver knows its slot (the simulated sky may
  // have none): the rule seen here is the epoch's, not its satellites'.
  const std::string glo = "NRTK GLONASS residual aux 200 t 2000: ";
  ASSERT_TRUE(sendAndSee(msgRes(true, 3602, 200, 12, {{1, 1, 1, 1, 1, 1}}), glo + "open, ", " sats of 1 messages; newest 1000\n"));
  ASSERT_TRUE(sendAndSee(msgRes(true, 3602, 200, 12, {{2, 1, 1, 1, 1, 1}}), glo + "open, ", " sats of 2 messages; newest 1000\n"));
  ASSERT_TRUE(sendAndSee(msgRes(true, 3602, 200, 12, {{3, 1, 1, 1, 1, 1}}), glo + "stored, ", " sats of 3 messages; newest 2000\n"));
  ASSERT_TRUE(sendAndSee(msgFkp(false, 200, 3603), "RTCM3 GPS FKP station 200 t 3603 sats 1\n"));
  ASSERT_TRUE(sendAndSee(msgFkp(true, 200, 3603), "RTCM3 GLONASS FKP station 200 t 3603 sats 1\n"));

  // Master 100 of network 5: its first correction sets the network (not yet among the stations),
  // then seven auxiliary stations of which the best six get rings.
  constexpr int kT = 1200000;  // ms of the hour
  ASSERT_TRUE(sendAndSee(rtcm3w::msg1005(100, kSiteX, kSiteY, kSiteZ), ""));
  const std::vector<DiffSat> a = {{3, 1, 2, 0, 0, 0.1235}, {5, 2, 7, 0, 0, -0.25}, {7, 3, 0, 0, 0, 32.0}};
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 5, 1, kT - 1000, 0, 100, 101, a), storeLine("GPS iono", 101, kT - 1000, "dropped", -1)));
  for (int aux = 101; aux <= 107; ++aux) {
    char l[160];
    std::snprintf(l, sizeof l, "RTCM3 aux station net 5 sub 1 stations 7 master 100 aux %d dlat %.6f dlon -0.012500 dh -12.345\n",
                  aux, 0.0125 * (aux - 100));
    ASSERT_TRUE(sendAndSee(msg1014(5, 1, 7, 100, aux, 0.0125 * (aux - 100), -0.0125, -12.345), l)) << aux;
  }
  // One epoch in two messages: open after the first, stored with the second.
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 5, 1, kT, 1, 100, 101, a), "RTCM3 GPS iono net 5 sub 1 master 100 aux 101 t 1200000 multi 1 sats 3\n"));
  EXPECT_NE(rx_->out().find("RTCM3 iono sat 3 amb 1 nsync 2 0.1235\n"), std::string::npos);
  EXPECT_NE(rx_->out().find("RTCM3 iono sat 5 amb 2 nsync 7 -0.2500\n"), std::string::npos);
  EXPECT_NE(rx_->out().find("RTCM3 iono sat 7 amb 3 nsync 0 32.0000\n"), std::string::npos);
  EXPECT_NE(rx_->out().find(storeLine("GPS iono", 101, kT, "open, 3 sats of 1 messages", -1)), std::string::npos);
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 5, 1, kT, 0, 100, 101, {{9, 0, 0, 0, 0, 1.0}, {12, 0, 0, 0, 0, -1.0}}),
                         storeLine("GPS iono", 101, kT, "stored, 5 sats of 2 messages", kT)));
  const std::vector<DiffSat> g = {{3, 1, 1, 77, -4.5, 0}, {30, 0, 0, 200, 0.0005, 0}};
  ASSERT_TRUE(sendAndSee(msgDiff(1016, 5, 1, kT, 0, 100, 102, g), storeLine("GPS geometric", 102, kT, "stored, 2 sats of 1 messages", kT)));
  EXPECT_NE(rx_->out().find("RTCM3 geometric sat 3 amb 1 nsync 1 iod 77 -4.5000\n"), std::string::npos);
  const std::vector<DiffSat> both = {{4, 1, 0, 9, 2.5, -0.5}};
  ASSERT_TRUE(sendAndSee(msgDiff(1017, 5, 1, kT, 0, 100, 103, both), storeLine("GPS geometric", 103, kT, "stored, 1 sats of 1 messages", kT)));
  EXPECT_NE(rx_->out().find(storeLine("GPS iono", 103, kT, "stored, 1 sats of 1 messages", kT)), std::string::npos);
  EXPECT_NE(rx_->out().find("RTCM3 geometric sat 4 amb 1 nsync 0 iod 9 2.5000\n"), std::string::npos);
  EXPECT_NE(rx_->out().find("RTCM3 iono sat 4 amb 1 nsync 0 -0.5000\n"), std::string::npos);
  // The seventh station has no ring.
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 5, 1, kT, 0, 100, 107, a), storeLine("GPS iono", 107, kT, "dropped", -1)));
  // GLONASS, each kind for a station of its own.
  const std::vector<DiffSat> r = {{1, 1, 1, 5, 1.5, 0.25}, {24, 2, 2, 6, -1.5, -0.25}};
  const std::string ofOne = " sats of 1 messages; newest 1200000\n";
  ASSERT_TRUE(sendAndSee(msgDiff(1037, 5, 1, kT, 0, 100, 104, r), "NRTK GLONASS iono aux 104 t 1200000: stored, ", ofOne));
  ASSERT_TRUE(sendAndSee(msgDiff(1038, 5, 1, kT, 0, 100, 105, r), "NRTK GLONASS geometric aux 105 t 1200000: stored, ", ofOne));
  ASSERT_TRUE(sendAndSee(msgDiff(1039, 5, 1, kT, 0, 100, 106, r), "NRTK GLONASS geometric aux 106 t 1200000: stored, ", ofOne));
  EXPECT_NE(rx_->out().find("RTCM3 geometric sat 24 amb 2 nsync 2 iod 6 -1.5000\n"), std::string::npos);
  EXPECT_NE(rx_->out().find("RTCM3 iono sat 24 amb 2 nsync 2 -0.2500\n"), std::string::npos);
  EXPECT_NE(rx_->out().find("RTCM3 GLONASS geometric net 5 sub 1 master 100 aux 106 t 1200000 multi 0 sats 2\n"), std::string::npos);

  // Network 6 five seconds after network 5's last correction, and again exactly 10 s after it:
  // the change is refused, so the stations keep their rings (each epoch is kept under the network
  // it names) and network 5 goes on.
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 5000, 0, 100, 101, a),
                         storeLine("GPS iono", 101, kT + 5000, "stored, 3 sats of 1 messages", kT + 5000)));
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 5, 1, kT + 6000, 0, 100, 101, a),
                         storeLine("GPS iono", 101, kT + 6000, "stored, 3 sats of 1 messages", kT + 6000)));
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 16000, 0, 100, 102, a),
                         storeLine("GPS iono", 102, kT + 16000, "stored, 3 sats of 1 messages", kT + 16000)));
  // 10.1 s (the next step of the epoch field): the network changes and its stations are cleared, so none has a ring.
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 16100, 0, 100, 101, a), storeLine("GPS iono", 101, kT + 16100, "dropped", -1)));
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 17000, 0, 100, 102, a), storeLine("GPS iono", 102, kT + 17000, "dropped", -1)));
  // Network 6 with all 32 auxiliary stations: the 33rd takes the entry of the one with the oldest
  // correction (302, which never sent one) and with it that station's place among the best six.
  for (int aux = 301; aux <= 332; ++aux) ASSERT_TRUE(sendAndSee(msg1014(6, 1, 31, 100, aux, 0.01, 0.01, 1.0), "RTCM3 aux station")) << aux;
  for (int aux = 301; aux <= 332; ++aux) {
    if (aux == 302) continue;
    ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 20000, 0, 100, aux, a), "NRTK GPS iono aux " + std::to_string(aux))) << aux;
  }
  ASSERT_TRUE(sendAndSee(msg1014(6, 1, 31, 100, 333, 0.01, 0.01, 1.0), "RTCM3 aux station net 6 sub 1 stations 31 master 100 aux 333"));
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 21000, 0, 100, 333, a),
                         storeLine("GPS iono", 333, kT + 21000, "stored, 3 sats of 1 messages", kT + 21000)));
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 21000, 0, 100, 302, a), storeLine("GPS iono", 302, kT + 21000, "dropped", -1)));
  // The port leaving its mode and coming back resets its decoders: the epoch half filled before
  // never shows, its rest included; the next epoch is stored.
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 22000, 1, 100, 333, a),
                         storeLine("GPS iono", 333, kT + 22000, "open, 3 sats of 1 messages", kT + 21000)));
  EXPECT_EQ(ask("%4%set,/par/dev/ser/b/imode,none"), re("%4%"));
  EXPECT_EQ(ask("%5%set,/par/dev/ser/b/imode,rtcm3"), re("%5%"));
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 22000, 0, 100, 333, a),
                         storeLine("GPS iono", 333, kT + 22000, "dropped", kT + 21000)));
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 23000, 0, 100, 333, a),
                         storeLine("GPS iono", 333, kT + 23000, "stored, 3 sats of 1 messages", kT + 23000)));

  // The client's acceptance question for each record: kind 7 a station, 8 ionospheric, 12 FKP.
  EXPECT_EQ(ask("%3%set,/par/rtk/dbi/cpd,53"), re("%3%"));
  ASSERT_TRUE(sendAndSee(msg1014(6, 1, 7, 100, 101, 0.0125, -0.0125, -12.345), "Update 7 100\n"));
  ASSERT_TRUE(sendAndSee(msgDiff(1015, 6, 1, kT + 24000, 0, 100, 101, a), "Update 8 100\n"));
  ASSERT_TRUE(sendAndSee(msgFkp(false, 200, 3604), "Update 12 200\n"));
  EXPECT_TRUE(rx_->running());
}

// ---- transformation ---------------------------------------------------------------------------

// The grid of the recorded 1023 as the standard lays it out, read here apart from the decoder.
struct Grid {
  int sysId = -1, hor = 0, height = 0;
  double lat0 = 0, lon0 = 0, dLat = 0, dLon = 0, mean[3] = {};
  double res[16][3] = {};
  int horInterp = 0, vertInterp = 0, horQ = 0, vertQ = 0;
};
Grid readRecorded1023(const std::string& frame) {
  Grid gr;
  const std::size_t len = (static_cast<unsigned char>(frame[1]) & 3u) << 8 | static_cast<unsigned char>(frame[2]);
  std::size_t pos = 24;
  auto u = [&](int n) {
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i, ++pos) v = v << 1 | ((static_cast<unsigned char>(frame[pos / 8]) >> (7 - pos % 8)) & 1u);
    return v;
  };
  auto s = [&](int n) {
    const std::uint64_t v = u(n);
    return static_cast<std::int64_t>(v) - ((v >> (n - 1)) ? (std::int64_t{1} << n) : 0);
  };
  if (frame.size() != len + 6 || u(12) != 1023) return gr;
  gr.sysId = static_cast<int>(u(8));
  gr.hor = static_cast<int>(u(1));
  gr.height = static_cast<int>(u(1));
  gr.lat0 = s(21) * 0.5;
  gr.lon0 = s(22) * 0.5;
  gr.dLat = u(12) * 0.5;
  gr.dLon = u(12) * 0.5;
  gr.mean[0] = s(8) * 0.001;
  gr.mean[1] = s(8) * 0.001;
  gr.mean[2] = s(15) * 0.01;
  for (auto& p : gr.res) {
    p[0] = s(9) * 0.00003;
    p[1] = s(9) * 0.00003;
    p[2] = s(9) * 0.001;
  }
  gr.horInterp = static_cast<int>(u(2));
  gr.vertInterp = static_cast<int>(u(2));
  gr.horQ = static_cast<int>(u(3));
  gr.vertQ = static_cast<int>(u(3));
  return gr;
}

struct Params {
  int sysId;
  unsigned indicator;  // 10 bits: the most significant announces 1023, the next ones 1024 to 1027
  double latV, lonV, extLatV, extLonV;  // arc-seconds
  double dx, dy, dz, r1, r2, r3, ds;
  double xp, yp, zp;
  double aS, bS, aT, bT;
};
std::string msgParams(const Params& p, bool badekas, const std::string& src, const std::string& trg) {
  Message m(badekas ? 1022 : 1021);
  m.text(src, 5).text(trg, 5);
  m.u(static_cast<unsigned>(p.sysId), 8).u(p.indicator, 10).u(0, 5).u(1, 4).u(0, 2);
  m.q(p.latV, 2, 19).q(p.lonV, 2, 20).q(p.extLatV, 2, 14).q(p.extLonV, 2, 14);
  m.q(p.dx, 0.001, 23).q(p.dy, 0.001, 23).q(p.dz, 0.001, 23);
  m.q(p.r1, 0.00002, 32).q(p.r2, 0.00002, 32).q(p.r3, 0.00002, 32).q(p.ds, 0.00001, 25);
  if (badekas) m.q(p.xp, 0.001, 35).q(p.yp, 0.001, 35).q(p.zp, 0.001, 35);
  m.q(p.aS - 6370000, 0.001, 24).q(p.bS - 6350000, 0.001, 25).q(p.aT - 6370000, 0.001, 24).q(p.bT - 6350000, 0.001, 25);
  m.u(1, 3).u(2, 3);
  return m.frame();
}
constexpr double kPrj = 0.000000011;  // degrees per unit of a projection angle

TEST_F(Rtcm3Network, TransformationSetShownOnceReceived) {
  const std::string rec = readFile(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/mt1023.rtcm3");
  const Grid grid = readRecorded1023(rec);
  ASSERT_EQ(grid.sysId, 8);
  ASSERT_NO_FATAL_FAILURE(startWithRtcm3Port());
  for (const char* k : {"aux", "datum/src", "datum/trg", "datum/cond", "datum/par", "resid/cond", "resid/GP/0", "proj"})
    EXPECT_EQ(ask(std::string("%p%print,/par/rtcm3/rover/transform/") + k), re("%p%{}")) << k;

  // ETRS89 to MGI (EPSG:1618's values), announcing the residual grid 1023 and a projection 1025.
  const Params mgi{8, 0x280, 48.0 * 3600, 16.0 * 3600, 4.0 * 3600, 6.0 * 3600, -577.326, -90.129, -463.919,
                   5.137, 1.474, 5.297, -2.4232, 0, 0, 0, 6378137.0, 6356752.314, 6377397.155, 6356078.963};
  // 1025: transverse Mercator (type 1) about 16.5 E, scale 1 (field 700000000), false northing
  // -5000 km. Angles here are whole steps of the field.
  const std::string m1025 = Message(1025).u(8, 8).u(1, 6).q(0.0, kPrj, 34).q(16.5, kPrj, 35)
                                .u(700000000, 30).q(150000.0, 0.001, 36).q(-5000000.0, 0.001, 35).frame();
  ASSERT_TRUE(serB_->sendRaw(rtcm3w::msg1005(1234, kSiteX, kSiteY, kSiteZ) + msgParams(mgi, false, "ETRS89", "MGI") +
                             rec + m1025));
  ASSERT_TRUE(waitUntil([&] { return ask("%a%print,/par/rtcm3/rover/transform/proj") != re("%a%{}"); }));
  EXPECT_EQ(ask("%b%print,/par/rtcm3/rover/transform/aux"), re("%b%{8,1234}"));
  EXPECT_EQ(ask("%c%print,/par/rtcm3/rover/transform/datum/src"), re("%c%{\"ETRS89\",6378137.000,6356752.314}"));
  EXPECT_EQ(ask("%d%print,/par/rtcm3/rover/transform/datum/trg"), re("%d%{\"MGI\",6377397.155,6356078.963}"));
  EXPECT_EQ(ask("%e%print,/par/rtcm3/rover/transform/datum/cond"), re("%e%{8,640,0,1,0,172800,57600,14400,21600}"));
  EXPECT_EQ(ask("%f%print,/par/rtcm3/rover/transform/datum/par"),
            re("%f%{-577.326,-90.129,-463.919,5.13700,1.47400,5.29700,-2.42320,,,}"));
  char cond[160];
  std::snprintf(cond, sizeof cond, "{ELLIPS,%.1f,%.1f,%.1f,%.1f,%.3f,%.3f,%.2f,%i,%i,%i,%i,%i,%i,%i}", grid.lat0, grid.lon0,
                grid.dLat, grid.dLon, grid.mean[0], grid.mean[1], grid.mean[2], grid.sysId, grid.hor, grid.height,
                grid.horInterp, grid.vertInterp, grid.horQ, grid.vertQ);
  EXPECT_EQ(ask("%g%print,/par/rtcm3/rover/transform/resid/cond"), re(std::string("%g%") + cond));
  for (int i = 0; i < 16; ++i) {
    char gp[64];
    std::snprintf(gp, sizeof gp, "{%.5f,%.5f,%.3f}", grid.res[i][0], grid.res[i][1], grid.res[i][2]);
    EXPECT_EQ(ask("%h%print,/par/rtcm3/rover/transform/resid/GP/" + std::to_string(i)), re(std::string("%h%") + gp)) << i;
  }
  EXPECT_EQ(ask("%i%print,/par/rtcm3/rover/transform/proj"),
            re("%i%{TM,0.000000000,16.500000000,1.00000,150000.000,-5000000.000}"));

  // A Molodenski-Badekas set of system 9 announcing a Lambert projection (1026) and an oblique
  // Mercator (1027) after it: the last projection received is the set's.
  Params mb = mgi;
  mb.sysId = 9;
  mb.indicator = 0x040 | 0x020;  // 1026, 1027
  mb.xp = 4100000.125, mb.yp = 1200000.5, mb.zp = 4800000.75;
  const std::string m1026 = Message(1026).u(9, 8).u(4, 6).q(47.52, kPrj, 34).q(13.2, kPrj, 35).q(46.2, kPrj, 34)
                                .q(49.5, kPrj, 34).q(400000.0, 0.001, 36).q(400000.0, 0.001, 35).frame();
  const std::string m1027 = Message(1027).u(9, 8).u(7, 6).u(1, 1).q(46.2, kPrj, 34).q(7.7, kPrj, 35).q(90.2, kPrj, 35)
                                .q(0.0, kPrj, 26).u(600000000, 30).q(600000.0, 0.001, 36).q(200000.0, 0.001, 35).frame();
  ASSERT_TRUE(serB_->sendRaw(msgParams(mb, true, "ETRS89", "CH1903") + m1026));
  ASSERT_TRUE(waitUntil([&] { return ask("%j%print,/par/rtcm3/rover/transform/aux") == re("%j%{9,1234}"); }));
  EXPECT_EQ(ask("%k%print,/par/rtcm3/rover/transform/datum/par"),
            re("%k%{-577.326,-90.129,-463.919,5.13700,1.47400,5.29700,-2.42320,4100000.125,1200000.500,4800000.750}"));
  EXPECT_EQ(ask("%l%print,/par/rtcm3/rover/transform/resid/cond"), re("%l%{}")) << "system 8's grid is not this set's";
  EXPECT_EQ(ask("%m%print,/par/rtcm3/rover/transform/proj"),
            re("%m%{LCC2SP,47.520000000,13.200000000,46.200000000,49.500000000,400000.000,400000.000}"));
  ASSERT_TRUE(serB_->sendRaw(m1027));
  ASSERT_TRUE(waitUntil([&] { return ask("%n%print,/par/rtcm3/rover/transform/proj").find("OM") != std::string::npos; }));
  EXPECT_EQ(ask("%o%print,/par/rtcm3/rover/transform/proj"),
            re("%o%{OM,1,46.200000000,7.700000000,90.200000000,90.200000000,0.99900,600000.000,200000.000}"));

  // System 10: a plane residual grid (1024) in the grid of its projection (1025), origin 5540 km
  // north and 500 km east, 1 km spacing; every grid point 1, 2 and 3 mm.
  Params plane = mgi;
  plane.sysId = 10;
  plane.indicator = 0x100 | 0x080;  // 1024, 1025
  Message m1024(1024);
  m1024.u(10, 8).u(1, 1).u(1, 1).q(5540000.0, 10.0, 25).q(500000.0, 10.0, 26).q(1000.0, 10.0, 12).q(1000.0, 10.0, 12);
  m1024.q(0.05, 0.01, 10).q(-0.03, 0.01, 10).q(0.25, 0.01, 15);
  for (int i = 0; i < 16; ++i) m1024.s(1, 9).s(2, 9).s(3, 9);
  m1024.u(0, 2).u(0, 2).u(0, 3).u(0, 3).u(59528, 16);
  const std::string p1025 = Message(1025).u(10, 8).u(1, 6).q(0.0, kPrj, 34).q(16.5, kPrj, 35).u(700000000, 30)
                                .q(500000.0, 0.001, 36).q(0.0, 0.001, 35).frame();
  ASSERT_TRUE(serB_->sendRaw(msgParams(plane, false, "ETRS89", "MGI") + m1024.frame() + p1025));
  ASSERT_TRUE(waitUntil([&] { return ask("%q%print,/par/rtcm3/rover/transform/proj").find("16.5") != std::string::npos; }));
  EXPECT_EQ(ask("%r%print,/par/rtcm3/rover/transform/resid/cond"),
            re("%r%{PLANE,5540000.0,500000.0,1000.0,1000.0,0.050,-0.030,0.25,10,1,1,0,0,0,0}"));
  EXPECT_EQ(ask("%s%print,/par/rtcm3/rover/transform/resid/GP/15"), re("%s%{0.00100,0.00200,0.003}"));
  EXPECT_TRUE(rx_->running());
}

// A port in input mode auto reads RTCM 3 as a port in mode rtcm3 does: the transformation set
// and its projection reach the rover, also after the port left the mode and came back to it.
TEST_F(Rtcm3Network, AutoModeReadsRtcm3AsItsOwnModeDoes) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/dev/ser/b/imode,auto"), re("%1%"));
  ASSERT_EQ(ask("%2%print,/par/dev/ser/b/imode"), re("%2%auto"));
  serB_ = std::make_unique<Port>(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB_->ok());
  EXPECT_EQ(ask("%3%print,/par/rtcm3/rover/transform/proj"), re("%3%{}"));
  const Params etrs{8, 0x080, 48.0 * 3600, 16.0 * 3600, 4.0 * 3600, 6.0 * 3600, -577.326, -90.129, -463.919,
                    5.137, 1.474, 5.297, -2.4232, 0, 0, 0, 6378137.0, 6356752.314, 6377397.155, 6356078.963};
  const std::string m1025 = Message(1025).u(8, 8).u(1, 6).q(0.0, kPrj, 34).q(16.5, kPrj, 35)
                                .u(700000000, 30).q(150000.0, 0.001, 36).q(-5000000.0, 0.001, 35).frame();
  ASSERT_TRUE(serB_->sendRaw(rtcm3w::msg1005(1234, kSiteX, kSiteY, kSiteZ) + msgParams(etrs, false, "ETRS89", "MGI") +
                             m1025));
  ASSERT_TRUE(waitUntil([&] { return ask("%a%print,/par/rtcm3/rover/transform/proj") != re("%a%{}"); }));
  EXPECT_EQ(ask("%b%print,/par/rtcm3/rover/transform/aux"), re("%b%{8,1234}"));
  EXPECT_EQ(ask("%c%print,/par/rtcm3/rover/transform/proj"),
            re("%c%{TM,0.000000000,16.500000000,1.00000,150000.000,-5000000.000}"));

  // Out of auto and back: the port's decoders start again and read the next set (system 9).
  ASSERT_EQ(ask("%d%set,/par/dev/ser/b/imode,none"), re("%d%"));
  ASSERT_EQ(ask("%e%set,/par/dev/ser/b/imode,auto"), re("%e%"));
  Params next = etrs;
  next.sysId = 9;
  const std::string m1025b = Message(1025).u(9, 8).u(1, 6).q(0.0, kPrj, 34).q(13.2, kPrj, 35)
                                 .u(700000000, 30).q(500000.0, 0.001, 36).q(0.0, 0.001, 35).frame();
  ASSERT_TRUE(serB_->sendRaw(msgParams(next, false, "ETRS89", "MGI") + m1025b));
  ASSERT_TRUE(waitUntil([&] { return ask("%f%print,/par/rtcm3/rover/transform/aux") == re("%f%{9,1234}"); }));
  EXPECT_EQ(ask("%g%print,/par/rtcm3/rover/transform/proj"),
            re("%g%{TM,0.000000000,13.200000000,1.00000,500000.000,0.000}"));
}

// ---- the received datum in the output -----------------------------------------------------------

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";

// EPSG:1618's Helmert parameters from ETRS89 to MGI (Bessel 1841), valid over 48-52 N, 7-13 E,
// with the `indicator` of what follows the set.
Params mgiSet(unsigned indicator) {
  return {8, indicator, 50.0 * 3600, 10.0 * 3600, 4.0 * 3600, 6.0 * 3600, -577.326, -90.129, -463.919, 5.137,
          1.474, 5.297, -2.4232, 0, 0, 0, 6378137.0, 6356752.314, 6377397.155, 6356078.963};
}

// The simulator's site (10 E, 50 N, 300 m) in MGI (Bessel 1841) by PROJ's cct, through EPSG:1618's
// Helmert parameters from ETRS89: longitude, latitude, height.
std::vector<double> siteInMgi() {
  return toolNumbers(
      "echo 10 50 300 0 | cct -d 9 +proj=pipeline +step +proj=cart +ellps=WGS84 +step +proj=helmert +x=-577.326 "
      "+y=-90.129 +z=-463.919 +rx=5.137 +ry=1.474 +rz=5.297 +s=-2.4232 +convention=coordinate_frame +step +inv "
      "+proj=cart +a=6377397.155 +b=6356078.963");
}

// The simulator's site (50 N, 10 E, 300 m) in a received transformation set: EPSG:1618's
// Helmert parameters from ETRS89 to MGI (Bessel 1841), valid over 48-52 N, 7-13 E, with a
// transverse Mercator about 9.9 E (scale 0.9996, false easting 500 km) announced as 1025. Once
// "GOT" is the output datum and "got" the grid, the output record holds the site as PROJ's cct
// and proj give it from the same parameters; a later set whose source ellipsoid is not GRS80 /
// WGS 84 changes nothing; W84 brings the site back.
TEST_F(Rtcm3Network, ReceivedDatumAndGridInTheOutputRecord) {
  const std::vector<double> local = siteInMgi();
  ASSERT_GE(local.size(), 3u) << "cct (Debian proj-bin) is required";
  char projCmd[256];
  std::snprintf(projCmd, sizeof projCmd,
                "echo %.10f %.10f | proj -f %%.4f +proj=tmerc +lat_0=0 +lon_0=9.9 +k=0.9996 +x_0=500000 +y_0=0 "
                "+a=6377397.155 +b=6356078.963",
                local[0], local[1]);
  const std::vector<double> grid = toolNumbers(projCmd);
  ASSERT_EQ(grid.size(), 2u);

  ASSERT_NO_FATAL_FAILURE(startWithRtcm3Port({"--nav", kNav, "--sky"}));
  ASSERT_EQ(ask("%2%set,/par/rtk/dbi/temp,197"), re("%2%"));
  const Params mgi = mgiSet(0x080);
  const std::string tm = Message(1025).u(8, 8).u(1, 6).q(0.0, kPrj, 34).q(9.9, kPrj, 35).u(660000000, 30)
                             .q(500000.0, 0.001, 36).q(0.0, 0.001, 35).frame();
  ASSERT_TRUE(serB_->sendRaw(msgParams(mgi, false, "ETRS89", "MGI") + tm));
  ASSERT_TRUE(waitUntil([&] { return ask("%3%print,/par/rtcm3/rover/transform/proj") != re("%3%{}"); }));
  ASSERT_EQ(ask("%4%set,/par/pos/datum,GOT"), re("%4%"));
  ASSERT_EQ(ask("%5%set,/par/pos/grid/type,got"), re("%5%"));

  OutputLine l = nextOutputLine();
  EXPECT_NEAR(l.lat, local[1], 2e-9);
  EXPECT_NEAR(l.lon, local[0], 2e-9);
  EXPECT_NEAR(l.alt, local[2], 0.006);
  EXPECT_NEAR(l.e, grid[0], 0.006);
  EXPECT_NEAR(l.n, grid[1], 0.006);

  // Another system's set from an ellipsoid that is not GRS80: kept as received, not as the datum.
  Params intl = mgi;
  intl.sysId = 9;
  intl.indicator = 0;
  intl.aS = 6378388.0, intl.bS = 6356911.946;
  intl.dx = 100.0;
  ASSERT_TRUE(serB_->sendRaw(msgParams(intl, false, "ED50", "MGI")));
  ASSERT_TRUE(waitUntil([&] { return ask("%6%print,/par/rtcm3/rover/transform/aux").find("{9,") != std::string::npos; }));
  l = nextOutputLine();
  EXPECT_NEAR(l.lat, local[1], 2e-9);
  EXPECT_NEAR(l.lon, local[0], 2e-9);

  ASSERT_EQ(ask("%7%set,/par/pos/datum,W84"), re("%7%"));
  l = nextOutputLine();
  EXPECT_NEAR(l.lat, 50.0, 1e-9);
  EXPECT_NEAR(l.lon, 10.0, 1e-9);
}


// The same set announcing a residual grid (1023) about the site instead of a projection: 4 x 4
// points 10' apart, each with the same residuals (0.003" north, 0.006" east, 0.250 m up) on top
// of the grid's mean offsets (0.050", -0.030", 1.20 m). Whatever the interpolation, the point in
// the grid's middle moves by their sums from where the Helmert parameters put it.
TEST_F(Rtcm3Network, ReceivedResidualGridMovesTheOutputPosition) {
  const std::vector<double> local = siteInMgi();
  ASSERT_GE(local.size(), 3u) << "cct (Debian proj-bin) is required";
  ASSERT_NO_FATAL_FAILURE(startWithRtcm3Port({"--nav", kNav, "--sky"}));
  ASSERT_EQ(ask("%2%set,/par/rtk/dbi/temp,197"), re("%2%"));
  const Params mgi = mgiSet(0x200);
  Message grid(1023);
  grid.u(8, 8).u(1, 1).u(1, 1).q(50.0 * 3600, 0.5, 21).q(10.0 * 3600, 0.5, 22).q(600, 0.5, 12).q(600, 0.5, 12);
  grid.q(0.050, 0.001, 8).q(-0.030, 0.001, 8).q(1.20, 0.01, 15);
  for (int i = 0; i < 16; ++i) grid.s(100, 9).s(200, 9).s(250, 9);
  grid.u(0, 2).u(0, 2).u(0, 3).u(0, 3).u(60000, 16);
  ASSERT_TRUE(serB_->sendRaw(msgParams(mgi, false, "ETRS89", "MGI") + grid.frame()));
  ASSERT_TRUE(waitUntil([&] { return ask("%3%print,/par/rtcm3/rover/transform/resid/cond") != re("%3%{}"); }));
  ASSERT_EQ(ask("%4%set,/par/pos/datum,GOT"), re("%4%"));

  const OutputLine l = nextOutputLine();
  EXPECT_NEAR(l.lat, local[1] + (0.050 + 100 * 0.00003) / 3600, 2e-9) << "latitude";
  EXPECT_NEAR(l.lon, local[0] + (-0.030 + 200 * 0.00003) / 3600, 2e-9) << "longitude";
}
}  // namespace
}  // namespace e2e
