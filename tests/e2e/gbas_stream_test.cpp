// A port in GBAS mode: the broadcast bytes reach the board's relay link unchanged, and noise with
// the block identifiers of both formats leaves the program up. The messages are ICAO Annex 10
// Volume I Attachment D Table D-8's Type 1 message (its published fields; see the unit tests for
// its CRC) and a Type 2 message of the same station.
#include <cmath>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "e2e/harness.h"
#include "unit/gbas_messages.h"

namespace e2e {
namespace {

using GbasStream = Rx;

std::string tableD8Burst() {
  using gbastest::type1Body;
  using gbastest::type2Body;
  const std::vector<std::uint8_t> t1 =
      gbastest::frame(170, "BELL", 1, type1Body(1000, 3, 1, 0, 0, 0, 255, {{122, 2, 100, -200, 98, 2, 3, -5, -128}}));
  const std::vector<std::uint8_t> t2 =
      gbastest::frame(170, "BELL", 2, type2Body({1, 1, 1, 232, 0, -7, 1, 20, 328864000, -672626000, 12345}, {5, 25, 34, 35, 36, 37}));
  std::string s(t1.begin(), t1.end());
  s.append(t2.begin(), t2.end());
  return s;
}

TEST_F(GbasStream, TableD8BytesRelayedUnchangedAndNoiseHarmless) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay.")}));
  ASSERT_NO_FATAL_FAILURE(start());
  const std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,gbas"), re("%1%"));
  EXPECT_TRUE(boardGets("set,dev/shm/d/imode,gbas\n", mark));
  ASSERT_TRUE(waitUntil([&] { return dir_.exists("relay.d.up"); }));
  const std::string burst = tableD8Burst();
  ASSERT_EQ(burst.size(), 28u + 34u);
  Port serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serB.sendRaw(burst));
  EXPECT_TRUE(fileReaches("relay.d", burst.size()));
  EXPECT_TRUE(dir_.read("relay.d") == burst) << dir_.read("relay.d").size();
  std::string noise(64 * 1024, '\0');
  std::mt19937 rng(54);
  for (char& c : noise) {
    const std::uint32_t r = rng();
    c = static_cast<char>((r & 0x700) == 0 ? ((r & 0x800) ? 0x55 : 0x99) : r);
  }
  ASSERT_TRUE(serB.sendRaw(noise));
  ASSERT_TRUE(serB.sendRaw(burst));
  const std::string all = burst + noise + burst;
  EXPECT_TRUE(fileReaches("relay.d", all.size()));
  EXPECT_TRUE(dir_.read("relay.d") == all) << dir_.read("relay.d").size() << " of " << all.size();
  EXPECT_EQ(ask("%2%print,/par/dev/ser/b/imode"), re("%2%gbas"));
  EXPECT_TRUE(rx_->running());
}

std::string bytesOf(const std::vector<std::uint8_t>& v) { return std::string(v.begin(), v.end()); }

// Once the receiver has its GPS time the messages are decoded as well as relayed: a type 1 of
// GPS, GLONASS and SBAS ranging sources (one not valid, one of no known system), a type 2 with
// additional data block 1, a type 4 with one good and one spoilt FAS block, a type 5, the same
// station in the DO-217 format (passed over whole) and the type 1 messages of two more ground
// stations, the third taking a decoder from one of the first two. Everything still reaches the
// relay link unchanged, and the program goes on.
TEST_F(GbasStream, MessagesOfThreeStationsDecodedOnceTheTimeIsKnown) {
  using namespace gbastest;
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay.")}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(rx_->waitOut("$$TIME: program clock stepped by")) << rx_->out();
  const std::size_t mark = transcript().size();
  EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,gbas"), re("%1%"));
  EXPECT_TRUE(boardGets("set,dev/shm/d/imode,gbas\n", mark));
  ASSERT_TRUE(waitUntil([&] { return dir_.exists("relay.d.up"); }));

  const std::vector<Meas> blocks = {{5, 12, 100, -200, 98, 2, 3, -5, -128},
                                    {40, 33, -300, 50, 255, -128, -128, -128, -128},
                                    {122, 7, 20, 0, 40, 1, 1, 1, 1},
                                    {200, 1, 1, 1, 1, 1, 1, 1, 1}};
  const Fas fas{0, 15, "KBEL", 27, 3, 1, 0, 5, "G27L", 183600000, -673200000, 6000, 1000, -2000, 1000, 1, 300, 100, 10, 100, 200};
  std::vector<std::uint8_t> t4 = dataSet(fas);
  const std::vector<std::uint8_t> spoilt = dataSet(fas, 1);
  t4.insert(t4.end(), spoilt.begin(), spoilt.end());
  const std::string msgs[] = {
      bytesOf(gbastest::frame(170, "BELL", 1, type1Body(1000, 0, 4, 1, 20, 0xBEEF, 30, blocks))),
      bytesOf(gbastest::frame(170, "BELL", 2, type2Body({1, 1, 1, 232, 0, -7, 1, 20, 328864000, -672626000, 12345}, {5, 25, 34, 35, 36, 37}))),
      bytesOf(gbastest::frame(170, "BELL", 4, t4)),
      bytesOf(gbastest::frame(170, "BELL", 5, std::vector<std::uint8_t>(8, 0))),
      bytesOf(gbastest::frame(153, "BELL", 1, type1Body(1000, 0, 1, 1, 20, 0, 255, {blocks[0]}))),
      bytesOf(gbastest::frame(170, "AAAA", 1, type1Body(1010, 0, 1, 1, 20, 0, 255, {blocks[2]}))),
      bytesOf(gbastest::frame(170, "CCCC", 1, type1Body(1020, 0, 1, 1, 20, 0, 255, {blocks[0]}))),
  };
  Port serB(dir_.file("dev/ser/b"));
  std::string all;
  for (const std::string& m : msgs) {
    ASSERT_TRUE(serB.sendRaw(m));
    all += m;
    EXPECT_TRUE(fileReaches("relay.d", all.size()));
  }
  EXPECT_TRUE(dir_.read("relay.d") == all) << dir_.read("relay.d").size() << " of " << all.size();
  EXPECT_EQ(ask("%2%print,/par/dev/ser/b/imode"), re("%2%gbas"));
  EXPECT_TRUE(rx_->running());
}

// The GBAS keys as a user sets them: a refused value changes nothing, a restart keeps them, and
// init,/par/ brings the factory values back.
TEST_F(GbasStream, KeysChooseTheStationAndAreKept) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string factory = "{format=do246,mode=id,id=,rsds=0,rpds=0,ephcrc=check}";
  EXPECT_EQ(ask("%a%print,/par/gbas"), re("%a%" + factory));
  const struct {
    const char* line;
    std::string reply;
  } rows[] = {
      {"%1%set,/par/gbas/id,bell", re("%1%")},
      {"%2%set,/par/gbas/mode,rsds", re("%2%")},
      {"%3%set,/par/gbas/rsds,5", re("%3%")},
      {"%4%set,/par/gbas/rpds,27", re("%4%")},
      {"%5%set,/par/gbas/ephcrc,waive", re("%5%")},
      {"%6%set,/par/gbas/format,do217", re("%6%")},
      {"%7%set,/par/gbas/id,ABCDE", frame("ER", "%7%{5,,value out of range}")},
      {"%8%set,/par/gbas/id,A_B", frame("ER", "%8%{7,,wrong 2nd parameter}")},
      {"%9%set,/par/gbas/rsds,256", frame("ER", "%9%{5,,value out of range}")},
      {"%b%set,/par/gbas/format,do229", frame("ER", "%b%{7,,wrong 2nd parameter}")},
  };
  for (const auto& r : rows) EXPECT_EQ(ask(r.line), r.reply) << r.line;
  const std::string chosen = "{format=do217,mode=rsds,id=BELL,rsds=5,rpds=27,ephcrc=waive}";
  EXPECT_EQ(ask("%c%print,/par/gbas"), re("%c%" + chosen));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%d%print,/par/gbas"), re("%d%" + chosen));
  EXPECT_EQ(ask("%e%init,/par/"), re("%e%"));
  EXPECT_EQ(ask("%f%print,/par/gbas"), re("%f%" + factory));
}

// ---- a station over the simulated sky ---------------------------------------------------------

const std::string kNav = std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n";

// Issue of data and transmission second of week of every record of a RINEX 2 GPS navigation file.
struct NavRecord {
  int prn, iode;
  double tx;
};
std::vector<NavRecord> navRecords(const std::string& path) {
  std::vector<NavRecord> v;
  std::istringstream in(readFile(path));
  std::string l;
  while (std::getline(in, l) && l.find("END OF HEADER") == std::string::npos) {
  }
  auto num = [](const std::string& line, std::size_t col) {
    std::string f = line.size() > col ? line.substr(col, 19) : "";
    for (char& c : f) c = c == 'D' ? 'E' : c;
    return std::strtod(f.c_str(), nullptr);
  };
  std::string rec[8];
  while (std::getline(in, rec[0])) {
    for (int k = 1; k < 8; ++k) std::getline(in, rec[k]);
    v.push_back({std::atoi(rec[0].substr(0, 2).c_str()), static_cast<int>(num(rec[1], 3)), num(rec[7], 3)});
  }
  return v;
}

// The issue a satellite broadcasts at second `sow` of the week: its latest record sent by then.
int issueAt(const std::vector<NavRecord>& recs, int prn, double sow) {
  const NavRecord* best = nullptr;
  for (const NavRecord& r : recs)
    if (r.prn == prn && r.tx <= sow && (best == nullptr || r.tx >= best->tx)) best = &r;
  return best != nullptr ? best->iode : -1;
}

// The simulator's current second of week and the satellites it streams then, from its truth file.
bool skyNow(const std::string& truth, double& sow, std::set<int>& prns) {
  std::istringstream in(truth);
  std::vector<std::pair<double, int>> rows;
  for (std::string l; std::getline(in, l);) {
    std::istringstream f(l);
    double t = 0;
    int prn = 0;
    if (f >> t >> prn) rows.push_back({t, prn});
  }
  if (rows.empty()) return false;
  sow = rows.back().first;
  prns.clear();
  for (const auto& r : rows)
    if (r.first == sow) prns.insert(r.second);
  return !prns.empty();
}

// Each second, station BELL at the simulator's site (50 N, 10 E, 300 m) sends its reference point
// with additional data block 1 (selector 5, 510 km) and one type 1 message per satellite in view,
// that satellite first with its broadcast issue of data, so that every satellite carries the
// message-level data. With the station chosen by key and the ephemeris CRC check waived, the
// correction stage uses the station every correction epoch for every satellite in view whose
// ephemeris the receiver holds (the issue of data is the file's). The corrections go into the
// per-satellite servers, which nothing outside shows: the test sees the stream relayed whole and
// the program running.
TEST_F(GbasStream, ChosenStationOverTheSimulatedSky) {
  using namespace gbastest;
  const std::vector<NavRecord> recs = navRecords(kNav);
  ASSERT_FALSE(recs.empty());
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", kNav, "--sky", "--sky-truth", dir_.file("sky.truth"), "--relay", dir_.file("relay.")}));
  ASSERT_NO_FATAL_FAILURE(start());
  for (const char* l : {"%1%set,/par/gbas/id,BELL", "%2%set,/par/gbas/rsds,5", "%3%set,/par/gbas/ephcrc,waive",
                        "%4%set,/par/dev/ser/b/imode,gbas"}) {
    EXPECT_EQ(ask(l), re(std::string(l, 3))) << l;
  }
  ASSERT_TRUE(waitUntil([&] { return dir_.exists("relay.d.up"); }));
  ASSERT_TRUE(rx_->waitOut("$$TIME: program clock stepped by", 30000)) << rx_->out();
  Port serB(dir_.file("dev/ser/b"));
  std::string all;
  const std::vector<std::uint8_t> t2 =
      gbastest::frame(170, "BELL", 2, type2Body({1, 1, 1, 8, 20, 0, 1, 20, 360000000, 72000000, 30000}, {5, 255, 20, 20, 20, 20}));
  int sent = 0;
  // The satellites enter the correction request with their ephemerides, which the first three
  // subframes of the sky's frames bring within 18 s: 24 s of messages reach them.
  for (int second = 0; second < 24; ++second) {
    double sow = 0;
    std::set<int> prns;
    ASSERT_TRUE(skyNow(dir_.read("sky.truth"), sow, prns));
    std::string burst(t2.begin(), t2.end());
    const int z = static_cast<int>(std::fmod(sow, 1200.0) * 10.0);
    for (int prn : prns) {
      const int iod = issueAt(recs, prn, sow);
      if (iod < 0) continue;
      const std::vector<std::uint8_t> t1 =
          gbastest::frame(170, "BELL", 1, type1Body(z, 0, 1, 1, 20, 0x1234, 255, {{prn, iod, 150, -20, 40, -128, -128, -128, -128}}));
      burst.append(t1.begin(), t1.end());
      ++sent;
    }
    ASSERT_TRUE(serB.sendRaw(burst));
    all += burst;
    std::this_thread::sleep_for(std::chrono::seconds(1));
  }
  EXPECT_GT(sent, 24 * 4) << "satellites in view with an issue";
  EXPECT_TRUE(fileReaches("relay.d", all.size()));
  EXPECT_TRUE(dir_.read("relay.d") == all) << dir_.read("relay.d").size() << " of " << all.size();
  EXPECT_TRUE(rx_->running());
}

}  // namespace
}  // namespace e2e
