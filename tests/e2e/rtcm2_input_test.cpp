// RTCM 2 messages a base of ours never sends, arriving at a port in mode rtcm: constellation
// health (5, 33, 43), text (16, 36), the GNSS time offset (37) and the network message 59 in its
// virtual-station and area-correction forms, written here field by field from RTCM 10402.3 (and
// gpsd's gpsdecode reads the standard ones back as written). What the running program shows of
// them: the station health rule decides which station messages become the base; the network
// print of rtk/dbi/rtcm 59 names each virtual-station correction the client takes; every other
// message, bad parity and a frame cut short leave the stream in step for the message after them.
// The base station's time offset (37) reaches the base decoder; the decoder closes the epochs of
// RTK observables by rtcm/rover/epoch/...; a clean-up of the base forgets the refinements of 22.
#include <algorithm>
#include <array>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "e2e/harness.h"
#include "e2e/rtcm2_words.h"
#include "e2e/sky_truth.h"
#include "e2e/tools.h"
#include "unit/differential/rtcm2_test_util.h"

namespace e2e {
namespace {

using Rtcm2Input = Rx;
using rtcm2test::Fields;
using rtcm2test::Header;

constexpr int kStation = 55;
constexpr int kZ = 100;

// One message of its own (the decoder finds each by its preamble, whatever the previous word).
std::string message(int type, const Fields& f, int health = 0, int station = kStation, int words = -1) {
  rtcm2test::Writer w;
  w.message(Header{type, station, kZ, 0, health, words}, f.words());
  const std::vector<std::uint8_t> b = w.bytes();
  return std::string(b.begin(), b.end());
}

// Message 59, virtual reference station ("SP"): subtype, X, Y, Z (0.01 m) and their 1/256 cm
// refinements.
Fields vrs(int sub, std::uint32_t id = 0x5350) {
  Fields f;
  f.put(id, 16), f.put(static_cast<std::uint64_t>(sub), 8);
  for (long long v : {-242018834LL, 538516328LL, 240519991LL}) f.putSigned(v, 32);
  for (long long v : {12LL, -7LL, 100LL}) f.putSigned(v, 8);
  return f;
}

// Message 59, area correction parameters ("AdV"): subtype, data set, mask of PRN 3 and 17, and
// per satellite issue of data, quality and the four gradients.
Fields fkp(int sub) {
  Fields f;
  f.put(0x416456, 24), f.put(static_cast<std::uint64_t>(sub), 5), f.put(0, 1), f.put(2, 2);
  f.put((1u << 29) | (1u << 15), 32);
  for (int k = 0; k < 2; ++k) {
    f.put(40 + static_cast<std::uint64_t>(k), 8), f.put(0, 4), f.put(1, 2);
    f.putSigned(-12, 10), f.putSigned(300, 11), f.putSigned(5, 10), f.putSigned(-1000, 11);
  }
  return f;
}

// Messages 5 and 33: one word per satellite (reserved, id, issue-of-data link, health,
// carrier-to-noise, health enable, new navigation data, loss warning, time to unhealthy).
Fields health(const std::vector<std::vector<int>>& sats) {
  Fields f;
  for (const std::vector<int>& s : sats) {
    f.put(0, 1), f.put(static_cast<std::uint64_t>(s[0] & 31), 5), f.put(1, 1), f.put(static_cast<std::uint64_t>(s[1]), 3);
    f.put(static_cast<std::uint64_t>(s[2]), 5), f.put(0, 1), f.put(0, 1), f.put(static_cast<std::uint64_t>(s[3]), 1);
    f.put(0, 4), f.put(0, 2);
  }
  return f;
}

// Message 43: a head word (reserved, system 1..4, reserved), then per satellite id (6 bits),
// signal (4), validity, health (2), carrier-to-noise (5), new data, loss warning, time to
// unhealthy (4).
Fields gnssHealth(int system, const std::vector<std::vector<int>>& sats) {
  Fields f;
  f.put(0, 1), f.put(static_cast<std::uint64_t>(system), 4), f.put(0, 19);
  for (const std::vector<int>& s : sats) {
    f.put(static_cast<std::uint64_t>(s[0]), 6), f.put(static_cast<std::uint64_t>(s[1]), 4), f.put(1, 1);
    f.put(static_cast<std::uint64_t>(s[2]), 2), f.put(static_cast<std::uint64_t>(s[3]), 5), f.put(0, 2), f.put(3, 4);
  }
  return f;
}

Fields text(const std::string& t) {
  Fields f;
  for (char c : t) f.put(static_cast<unsigned char>(c), 8);
  return f;
}

// Message 37: system pair, whole seconds, fraction (2^-32 s).
Fields gnssOffset(int systems, int seconds, long long fraction) {
  Fields f;
  f.put(static_cast<std::uint64_t>(systems), 6), f.putSigned(seconds, 7), f.putSigned(fraction, 32);
  return f;
}

// Message 3 at a station `n` metres along Z from the first one.
Fields station3(int n) {
  Fields f;
  for (long long v : {-242018834LL, 538516328LL, 240519991LL + 100LL * n}) f.putSigned(v, 32);
  return f;
}

// Message 22: the L1 phase centre's corrections to message 3 (1/256 cm), the flags (none: the
// antenna height follows) with the height (1/256 cm), and the L2 phase centre's offset (1/16 cm).
Fields extRef(const std::array<int, 3>& l1, int height, const std::array<int, 3>& l2) {
  Fields f;
  for (int v : l1) f.putSigned(v, 8);
  f.put(0, 6), f.put(static_cast<std::uint64_t>(height), 18);
  for (int v : l2) f.putSigned(v, 8);
  return f;
}

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// The header's health: 7 (not working) refuses a station's message, 6 (not monitored) refuses it
// only while usenm is off; a station taken becomes the base (its id printed).
TEST_F(Rtcm2Input, StationHealthDecidesWhichStationBecomesTheBase) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm"), re("%1%"));
  ASSERT_EQ(ask("%2%set,/par/rtk/dbi/rtcm,59"), re("%2%"));
  Port serB(dir_.file("dev/ser/b"));
  const struct {
    int health;
    const char* usenm;
    bool taken;
  } rows[] = {{0, "on", true}, {5, "on", true}, {6, "on", true}, {6, "off", false},
              {7, "on", false}, {7, "off", false}, {0, "off", true}, {1, "off", true}};
  int markers = 0, row = 0;
  std::string base = "nan";
  for (const auto& r : rows) {
    ++row;
    SCOPED_TRACE("row " + std::to_string(row));
    ASSERT_EQ(ask(std::string("%u%set,/par/rtcm/rover/usenm,") + r.usenm), re("%u%"));
    const int id = 200 + row;
    // The station, then a virtual-station message of health 0: once its print is out the
    // station before it has been decoded.
    ASSERT_TRUE(serB.sendRaw(message(3, station3(row), r.health, id) + message(59, vrs(1))));
    ++markers;
    ASSERT_TRUE(waitUntil([&] { return count(rx_->out(), " got RTCM 59 ") >= markers; })) << rx_->out();
    if (r.taken) base = std::to_string(id);
    EXPECT_EQ(ask("print,/par/pos/pd/ref/id"), re(base));
  }
  EXPECT_EQ(ask("print,/par/pos/pd/ref/pos/xyz"), re("{x=-2420188.3400,y=5385163.2800,z=2405207.9100}"));
}

// Each message, then a virtual-station marker: the network print comes for the virtual-station
// forms of subtype 1 to 4 alone, once per message taken, and every message leaves the marker after
// it decoded. gpsdecode reads the standard messages of the stream as they were written.
TEST_F(Rtcm2Input, EveryMessageIsTakenByItsRulesAndTheStreamStaysInStep) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm"), re("%1%"));
  ASSERT_EQ(ask("%2%set,/par/rtk/dbi/rtcm,59"), re("%2%"));
  Port serB(dir_.file("dev/ser/b"));
  const auto parityBroken = [](std::string m, std::size_t word) {
    m[5 * word + 2] = static_cast<char>(m[5 * word + 2] ^ 0x08);  // one data bit; the 01 tag kept
    return m;
  };
  const struct {
    const char* what;
    std::string bytes;
    int printed;  // network prints of the row itself
    bool cut = false;  // a frame cut short, which takes the words after it for its own
  } rows[] = {
      {"virtual station, GPS", message(59, vrs(1)), 1},
      {"virtual station, GLONASS", message(59, vrs(2)), 1},
      {"virtual station, subtype 3", message(59, vrs(3)), 1},
      {"virtual station, subtype 4", message(59, vrs(4)), 1},
      {"virtual station, subtype 0", message(59, vrs(0)), 0},
      {"virtual station, subtype 5", message(59, vrs(5)), 0},
      {"virtual station in five words", message(59, vrs(1), 0, kStation, 5).substr(0, 35), 0},
      {"other identifying bytes", message(59, vrs(1, 0x5351)), 0},
      {"area corrections, subtype 5", message(59, fkp(5)), 0},
      {"area corrections, subtype 4", message(59, fkp(4)), 0},
      // Station 0, the base station id of a fresh receiver: on to the base-epoch decoder.
      {"virtual station of the base station", message(59, vrs(2), 0, 0), 1},
      {"area corrections of the base station", message(59, fkp(5), 0, 0), 0},
      {"GNSS time offset of the base station", message(37, gnssOffset(1, 0, -(1LL << 20)), 0, 0), 0},
      {"virtual station, health 7", message(59, vrs(1), 7), 0},
      {"virtual station, health 6", message(59, vrs(1), 6), 1},
      {"virtual station, parity broken in word 4", parityBroken(message(59, vrs(1)), 3), 0},
      {"virtual station, parity broken in the header", parityBroken(message(59, vrs(1)), 1), 0},
      {"GPS health", message(5, health({{3, 0, 20, 0}, {0, 7, 10, 1}, {17, 2, 31, 0}})), 0},
      {"GLONASS health", message(33, health({{1, 0, 25, 0}, {24, 5, 5, 1}})), 0},
      {"GNSS health, Galileo E1 and an unknown signal", message(43, gnssHealth(3, {{11, 0, 0, 20}, {19, 9, 1, 30}})), 0},
      {"text", message(16, text("BASE 55 ROOF NORTH")), 0},
      {"text of a station not working", message(16, text("OFF AIR"), 7), 0},
      {"GLONASS text", message(36, text("GLONASS BASE")), 0},
      {"GNSS time offset", message(37, gnssOffset(1, -3, 1LL << 30)), 0},
      {"GNSS time offset, one word short", message(37, gnssOffset(8, 2, 5), 0, kStation, 1).substr(0, 15), 0},
      {"text cut after its second word", message(16, text("A TEXT THAT IS CUT SHORT")).substr(0, 20), 0, true},
      {"virtual station cut after its fourth word", message(59, vrs(1)).substr(0, 30), 0, true},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    // Two markers: a frame cut short may take the words of the first for its own.
    const std::string marker = message(59, vrs(1));
    const std::string bytes = r.bytes + marker + marker;
    const int before = count(rx_->out(), " got RTCM 59 ");
    ASSERT_TRUE(serB.sendRaw(bytes));
    if (r.cut) {
      // The second marker at least; the first one too when the cut frame failed its parity on it.
      EXPECT_TRUE(waitUntil([&] { return count(rx_->out(), " got RTCM 59 ") >= before + 1; })) << rx_->out();
      EXPECT_LE(count(rx_->out(), " got RTCM 59 "), before + 2);
    } else {
      ASSERT_TRUE(waitUntil([&] { return count(rx_->out(), " got RTCM 59 ") >= before + r.printed + 2; }))
          << rx_->out();
      // Nothing more: the row's own prints and the two markers'.
      EXPECT_EQ(ask("%v%print,/par/rtcm/rover/ver"), re("%v%v2.3"));
      EXPECT_EQ(count(rx_->out(), " got RTCM 59 "), before + r.printed + 2);
    }
    EXPECT_EQ(ask("%v%print,/par/rtcm/rover/ver"), re("%v%v2.3"));
  }
  EXPECT_NE(rx_->out().find(" got RTCM 59 1\n"), std::string::npos) << "port b is decoder port 1";
  EXPECT_TRUE(rx_->running());

  // gpsdecode's reading of the standard messages, as the rows wrote them (in one parity chain).
  rtcm2test::Writer w;
  w.message(Header{5, kStation, kZ, 1, 0, -1}, health({{3, 0, 20, 0}, {0, 7, 10, 1}, {17, 2, 31, 0}}).words());
  w.message(Header{33, kStation, kZ, 2, 0, -1}, health({{1, 0, 25, 0}, {24, 5, 5, 1}}).words());
  w.message(Header{16, kStation, kZ, 3, 0, -1}, text("BASE 55 ROOF NORTH").words());
  w.message(Header{36, kStation, kZ, 4, 0, -1}, text("GLONASS BASE").words());
  const std::vector<std::uint8_t> b = w.bytes();
  std::string json;
  for (const std::string& line : gpsdecode(dir_, std::string(b.begin(), b.end()), "standard.rtcm2")) json += line + "\n";
  EXPECT_NE(json.find("\"type\":5,\"station_id\":55,\"zcount\":60.0,\"seqnum\":1,\"length\":3,"), std::string::npos) << json;
  for (const char* sat : {"{\"ident\":3,\"iodl\":true,\"health\":0,\"snr\":44,", "{\"ident\":0,\"iodl\":true,\"health\":7,\"snr\":34,",
                          "{\"ident\":17,\"iodl\":true,\"health\":2,\"snr\":55,", "\"los_warning\":true"})
    EXPECT_NE(json.find(sat), std::string::npos) << sat << "\n" << json;
  EXPECT_NE(json.find("\"type\":33,\"station_id\":55,\"zcount\":60.0,\"seqnum\":2,\"length\":2,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"type\":16,\"station_id\":55,\"zcount\":60.0,\"seqnum\":3,\"length\":6,\"station_health\":0,"
                      "\"message\":\"BASE 55 ROOF NORTH\"}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"type\":36,\"station_id\":55,\"zcount\":60.0,\"seqnum\":4,\"length\":4,"), std::string::npos) << json;
}

// Message 37 of the base station (id 0, the base station id of a fresh receiver) goes to the base
// decoder, which keeps the GPS-GLONASS offset (printed with rtk/dbi/rtcm 37): a pair given GLONASS
// first as it stands, GPS first negated; any other pair not.
TEST_F(Rtcm2Input, TheBaseStationsGpsGlonassOffsetReachesTheBaseDecoder) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm"), re("%1%"));
  ASSERT_EQ(ask("%2%set,/par/rtk/dbi/rtcm,37"), re("%2%"));
  Port serB(dir_.file("dev/ser/b"));
  const struct {
    int systems, station;
    long long fraction;  // 2^-32 s
    const char* printed;  // nullptr: nothing
  } rows[] = {
      {1, 0, 1LL << 20, "-0.000244141"},  // GPS (0), then GLONASS (1)
      {8, 0, 1LL << 30, "0.250000000"},   // GLONASS, then GPS
      {2, 0, 1LL << 29, nullptr},         // GPS and Galileo
      {8, 0, -(1LL << 29), "-0.125000000"},
  };
  std::string bytes, want;
  for (const auto& r : rows) {
    bytes += message(37, gnssOffset(r.systems, 0, r.fraction), 0, r.station);
    if (r.printed != nullptr) want += std::string(" base GPS-GLONASS time offset ") + r.printed + "\n";
  }
  ASSERT_TRUE(serB.sendRaw(bytes));
  ASSERT_TRUE(waitUntil([&] { return rx_->out().find("offset -0.125000000") != std::string::npos; })) << rx_->out();
  std::string got;
  std::istringstream in(rx_->out());
  for (std::string l; std::getline(in, l);)
    if (l.starts_with(" base GPS-GLONASS")) got += l + "\n";
  EXPECT_EQ(got, want);
}

// RTCM 2 RTK observables of a base at the rover's own site (station 0), written from the
// simulator's sky truth a second after the rover's epoch: per epoch the GPS L1 pseudoranges (19)
// and then the carrier phases (18), the multiple-message bit clear in both. With
// rtcm/rover/epoch/eoe on an epoch ends at that bit: the ranges close one alone and the phases
// another, neither holds a band with both, and no measurement of those seconds reaches the base
// projection (rtk/dbi/cpd 11); with it off each epoch collects both and is published.
TEST_F(Rtcm2Input, WithEndOfEpochOnAnEpochClosesAtItsEndFlag) {
  const std::string nav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", nav, "--sky", "--sky-truth", dir_.file("sky.truth")}));
  ASSERT_NO_FATAL_FAILURE(start());
  for (const char* c : {"set,/par/pos/mode,pd", "set,/par/rtk/dbi/cpd,11", "set,/par/rtk/dbi/rtcm,37",
                        "set,/par/dev/ser/b/imode,rtcm"})
    ASSERT_EQ(ask(std::string("%c%") + c), re("%c%")) << c;
  Port serB(dir_.file("dev/ser/b"));
  using rtcm2words::bitsOf;
  rtcm2words::Writer w;
  int seq = 0;
  // The station at the simulator's site (50 N, 10 E, 300 m).
  w.frame(3, 0, 0, seq++, bitsOf(404564631, 32) + bitsOf(71335660, 32) + bitsOf(486301885, 32));
  const auto epoch = [&](long sow, const std::map<int, std::map<int, SkySignal>>& sats) {
    const long hourMs = sow % 3600 * 1000;
    const int z = static_cast<int>(hourMs / 600);
    const std::string head = "0000" + bitsOf((hourMs - 600L * z) * 1000, 20);
    std::string ranges = head, phases = head;
    for (const auto& [prn, sigs] : sats) {
      const auto l1 = sigs.find(0);
      if (l1 == sigs.end()) continue;
      ranges += "000" + bitsOf(prn & 31, 5) + bitsOf(0, 8) + bitsOf(std::llround(l1->second.code / 0.02), 32);
      phases += "000" + bitsOf(prn & 31, 5) + bitsOf(0, 8) + bitsOf(-std::llround(l1->second.phase * 256.0), 32);
    }
    w.frame(19, 0, z, seq++, ranges);
    w.frame(18, 0, z, seq++, phases);
  };
  // Each block's seconds one at a time, as a base sends them (the base buffer holds three), once
  // the rover has had its own epoch of the second: when the truth holds two more.
  std::set<long> sent;
  const auto block = [&](int n) {
    std::set<long> secs;
    EXPECT_TRUE(waitUntil(
        [&] {
          const SkyTruth truth = readSkyTruth(dir_.read("sky.truth"));
          if (truth.size() < 3) return false;
          const auto it = std::prev(truth.end(), 3);
          if (sent.insert(it->first).second) {
            secs.insert(it->first);
            w.bytes.clear();
            epoch(it->first, it->second);
            EXPECT_TRUE(serB.sendRaw(w.bytes));
          }
          return static_cast<int>(secs.size()) >= n;
        },
        30000));
    return secs;
  };
  // A marker after a block: the base station's time offset, printed (unbuffered) once decoded,
  // after everything sent before it.
  int markers = 0;
  const auto marker = [&] {
    w.bytes.clear();
    w.frame(37, 0, 0, seq++, bitsOf(8, 6) + bitsOf(0, 7) + bitsOf(static_cast<long long>(++markers) << 24, 32));
    ASSERT_TRUE(serB.sendRaw(w.bytes));
    char want[64];
    std::snprintf(want, sizeof want, "offset %.9f", markers / 256.0);
    ASSERT_TRUE(waitUntil([&] { return rx_->out().find(want) != std::string::npos; })) << want;
  };
  ASSERT_TRUE(serB.sendRaw(w.bytes));
  const std::set<long> a = block(4);
  ASSERT_NO_FATAL_FAILURE(marker());
  ASSERT_EQ(ask("%e%set,/par/rtcm/rover/epoch/eoe,on"), re("%e%"));
  const std::set<long> b = block(4);
  ASSERT_NO_FATAL_FAILURE(marker());
  ASSERT_EQ(ask("%e%set,/par/rtcm/rover/epoch/eoe,off"), re("%e%"));
  const std::set<long> c = block(4);
  ASSERT_NO_FATAL_FAILURE(marker());
  // Off again while off: it stays off.
  ASSERT_EQ(ask("%e%set,/par/rtcm/rover/epoch/eoe,off"), re("%e%"));
  const std::set<long> d = block(4);
  ASSERT_NO_FATAL_FAILURE(marker());
  // The projection's lines, whole once the program has ended.
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  std::set<long> published;
  std::istringstream in(out_);
  for (std::string l; std::getline(in, l);) {
    int id = 0;
    double phi = 0, code = 0, dSat = 0, tc = 0;
    if (std::sscanf(l.c_str(), " Add: %d phi %lf Roc %lf dSat %lf Tc %lf", &id, &phi, &code, &dSat, &tc) == 5)
      published.insert(std::lround(tc));
  }
  for (const std::set<long>* blk : {&a, &b, &c, &d})
    for (long sec : *blk) EXPECT_EQ(published.count(sec), blk == &b ? 0u : 1u) << "second " << sec;
}

// The base's refinements of message 22 go with every message 3 that follows them, until the base
// is cleaned (pos/pd/ref/clean): after that a message 3 alone places the base where it says, with
// neither the L1 corrections, the antenna height nor the L2 offset of the message 22 before the
// clean-up.
TEST_F(Rtcm2Input, ACleanUpForgetsTheBasesRefinements) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm"), re("%1%"));
  ASSERT_EQ(ask("%2%set,/par/rtk/dbi/rtcm,59"), re("%2%"));
  Port serB(dir_.file("dev/ser/b"));
  const auto xyz = [&](const std::string& axis) {
    const std::string v = ask("print,/par/pos/pd/ref/pos/xyz/" + axis);
    return v.size() > 7 ? std::atof(v.substr(5).c_str()) : NAN;
  };
  // Message 3 of station3(n), in metres.
  const auto station = [](int n) { return std::array<double, 3>{-2420188.34, 5385163.28, 2405199.91 + n}; };
  int markers = 0;
  const auto send = [&](const std::string& bytes) {
    ASSERT_TRUE(serB.sendRaw(bytes + message(59, vrs(1))));
    ++markers;
    ASSERT_TRUE(waitUntil([&] { return count(rx_->out(), " got RTCM 59 ") >= markers; })) << rx_->out();
  };
  ASSERT_NO_FATAL_FAILURE(send(message(22, extRef({100, -50, 127}, 256 * 150, {16, -16, 32})) + message(3, station3(0))));
  const std::array<double, 3> dL1 = {100 / 25600.0, -50 / 25600.0, 127 / 25600.0};
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(xyz(std::string(1, static_cast<char>('x' + k))), station(0)[k] + dL1[k], 0.0002) << k;
  EXPECT_EQ(ask("print,/par/pos/pd/ref/ant/m_offs/val"), re("{e=0.0000,n=0.0000,u=1.5000}"));
  EXPECT_NE(ask("print,/par/pos/pd/ref/ant/l2_l1"), re("{e=0.0000,n=0.0000,u=0.0000}"));

  ASSERT_EQ(ask("%c%set,/par/pos/pd/ref/clean,on"), re("%c%"));
  ASSERT_NO_FATAL_FAILURE(send(message(3, station3(1))));
  EXPECT_EQ(ask("print,/par/pos/pd/ref/id"), re(std::to_string(kStation)));
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(xyz(std::string(1, static_cast<char>('x' + k))), station(1)[k], 0.0002) << k;
  EXPECT_EQ(ask("print,/par/pos/pd/ref/ant/m_offs/val"), re("{e=0.0000,n=0.0000,u=0.0000}"));
  EXPECT_EQ(ask("print,/par/pos/pd/ref/ant/l2_l1"), re("{e=0.0000,n=0.0000,u=0.0000}"));
}

}  // namespace
}  // namespace e2e
