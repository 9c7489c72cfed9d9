// The program beside the GNSS board simulator: what the board receives byte for byte, settings it
// keeps or loses, links that come late, correction streams relayed to it, its epochs and its
// silence.
#include "e2e/harness.h"

namespace e2e {
namespace {

using BoardLink = Rx;
using DecoderRelay = Rx;
using Epochs = Rx;

// The sets the board got, without the issues it was told on the way (a save may come between).
std::string setsIn(const std::string& t) {
  std::string r;
  for (std::size_t at = 0, nl; (nl = t.find('\n', at)) != std::string::npos; at = nl + 1)
    if (t.compare(at, 4, "set,") == 0 && t.compare(at, 18, issueSet(0), 0, 18) != 0) r += t.substr(at, nl + 1 - at);
  return r;
}

// With no start messages the board gets exactly the start-up texts. A record of the longest
// commands it keeps (255 characters: satellite masks and biases with their values padded by
// leading zeros) reaches the board, is stored, and is replayed whole and in order to a board that
// lost it (the simulator resets when the program reconnects), though the board reads more slowly
// than the program writes.
TEST_F(BoardLink, StartUpByteForByteAndALongRecordReplayedWhole) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(boardGets(kEndOfStartUp + kProfilerReset));
  EXPECT_EQ(transcript().substr(0, startUp("", 0).size()), startUp("", 0));
  std::vector<std::pair<std::string, std::string>> keys;  // path, value's head
  for (const char* sys : {"gps", "glo", "sbas", "gloc", "gal", "bds", "qzss", "irnss"})
    for (int sig = 0; sig < 6; ++sig)
      for (const char* kind : {"lock", "forced", "c2", "c3", "guide"})
        keys.emplace_back(std::string("lock/") + sys + "/" + std::to_string(sig) + "/" + kind, "0x");
  for (int n = 1; n <= 2; ++n)
    for (int k = -7; k <= 15; ++k)
      keys.emplace_back("calib/soft/fcn/" + std::to_string(n) + "/" + std::to_string(k), "0.");
  std::string record;
  unsigned count = 0;
  for (const auto& [path, head] : keys) {
    const std::string value = head + std::string(254 - 5 - path.size() - head.size(), '0');
    const std::string cmd = "set," + path + "," + value;
    const std::string got = ask("%s%set,/par/" + path + "," + value);
    if (got != re("%s%")) continue;  // a signal the system lacks
    record += cmd + "\n";
    ++count;
  }
  ASSERT_GT(count, 150u);
  // A long record through a board that reads slowly: a wide guard for a loaded machine, on which
  // the periodic save may also tell the board its issue between two of the sets.
  ASSERT_TRUE(waitUntil([&] { return setsIn(transcript()).find(record) != std::string::npos; }, 6 * kGuardMs));
  restart();
  EXPECT_NE(setFile().find(record.substr(0, 254) + " # 255 15 0\n"), std::string::npos) << setFile().substr(0, 400);
  const std::size_t mark = transcript().size();
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(boardGets(kEndOfStartUp + kProfilerReset, mark, 6 * kGuardMs)) << "received " << transcript().size() - mark << " bytes";
  // What the program asks of the board once it runs (its one-time messages) may follow.
  const std::string want = startUp(record, count + 1);
  EXPECT_EQ(transcript().substr(mark, want.size()), want);
}

TEST_F(BoardLink, BoardThatKeepsItsSettingsComesUpWithThemAtEveryStart) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--keep-state"}));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/lock/budget,200"), re("%1%"));
  restart();
  for (int run = 1; run <= 3; ++run) {
    SCOPED_TRACE(run);
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(ask("%2%print,/par/lock/budget"), re("%2%200"));
    if (run == 3) {
      EXPECT_EQ(ask("%3%set,/par/lock/gps/3/guide,0x5"), re("%3%"));
    }
    restart();
  }
  // The board took that change and, once the restart had saved the record holding it, that
  // record's issue: the next start takes it as it is, with no restart and no replay.
  const std::size_t mark = transcript().size();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%4%print,/par/lock/gps/3/guide"), re("%4%0x5"));
  EXPECT_EQ(rx_->out().find("$$CmdBuf"), std::string::npos) << rx_->out();
  EXPECT_TRUE(boardGets(kIssueOne + issueSet(3), mark)) << transcript().substr(mark);
  EXPECT_EQ(transcript().find(kBoardReset, mark), std::string::npos);
}

// A connection to the Unix socket at `path` that its listener has not taken yet.
bool connectionWaits(const std::string& path) {
  std::istringstream table(readFile("/proc/net/unix"));
  for (std::string line; std::getline(table, line);) {
    std::istringstream f(line);
    std::string num, refs, proto, flags, type, state, inode, name;
    if (f >> num >> refs >> proto >> flags >> type >> state >> inode >> name && state == "02" && name == path)
      return true;
  }
  return false;
}

// The issue the program leaves the board at its end is the board's next start, though the
// board reads it only once the program is back on a new link (the simulator held stopped
// across the restart, as a loaded machine may hold a board).
TEST_F(BoardLink, IssueLeftAtTheEndHoldsThoughTheBoardReadsItAfterTheNextConnect) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--keep-state"}));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%1%set,/par/lock/budget,200"), re("%1%"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%2%set,/par/lock/gps/3/guide,0x5"), re("%2%"));
  ASSERT_EQ(kill(sim_->pid(), SIGSTOP), 0);
  restart();
  const std::size_t mark = transcript().size();
  rx_ = std::make_unique<Proc>(dir_.path, std::vector<std::string>{RXENGINE_PATH});
  const bool waited = waitUntil([&] { return connectionWaits(dir_.file("dev/shm/a")); });
  ASSERT_EQ(kill(sim_->pid(), SIGCONT), 0);
  ASSERT_TRUE(waited);
  ASSERT_TRUE(rx_->waitOut(kReady, kStartGuardMs)) << rx_->out();
  port_ = std::make_unique<Port>(dir_.file("dev/ser/a"));
  EXPECT_EQ(ask("%3%print,/par/lock/gps/3/guide"), re("%3%0x5"));
  EXPECT_EQ(rx_->out().find("$$CmdBuf"), std::string::npos) << rx_->out();
  EXPECT_TRUE(boardGets(kIssueOne + issueSet(3), mark)) << transcript().substr(mark);
  EXPECT_EQ(transcript().find(kBoardReset, mark), std::string::npos);
}

// Messages enabled on the board's own stream go to it once at start-up, after the sources, each
// followed by the pacing handshake the board answers before the next one comes; the epoch start
// marker is the first, the end marker the last.
TEST_F(BoardLink, StartMessagesOfTheBoardsStreamArePacedOneByOne) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_EQ(ask("%e%em,/dev/shm/a,zrt/{ET,RT}:3600"), re("%e%"));
  restart();
  const std::size_t mark = transcript().size();
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(boardGets(kEndOfStartUp + kProfilerReset, mark));
  const std::string got = transcript().substr(mark);
  const std::size_t from = got.find(kSourceBlock);
  ASSERT_NE(from, std::string::npos) << got;
  const std::string start = got.substr(from + kSourceBlock.size(), 2 * (10 + kSync.size()) + kModeReturn.size());
  ASSERT_EQ(start.size(), 2 * (10 + kSync.size()) + kModeReturn.size()) << got;
  EXPECT_EQ(start.substr(0, 5), "~~005");
  EXPECT_EQ(start.substr(10, kSync.size()), kSync);
  EXPECT_EQ(start.substr(10 + kSync.size(), 5), "::005");
  EXPECT_EQ(start.substr(20 + kSync.size(), kSync.size()), kSync);
  EXPECT_EQ(start.substr(20 + 2 * kSync.size()), kModeReturn);
}

// A list value for a key the board shares is formed for the board before the key takes it; the
// keys of those areas take none, so each is answered "ER" and neither board changes: a flat list,
// one of empty elements, nested ones, and one longer than the board's record takes.
TEST_F(BoardLink, ListValuesForTheBoardsKeysChangeNothing) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(boardGets(kEndOfStartUp + kProfilerReset));
  std::string longList = "{";
  for (int i = 0; i < 600; ++i) longList += "1,";
  longList += "1}";
  const struct {
    const char* what;
    std::string value;
    int code;
  } rows[] = {{"flat", "{200,201}", 7},     {"empty elements", "{,,}", 7}, {"an empty nested list", "{{},200}", 7},
              {"nested content", "{{200},}", 7}, {"longer than the board's record takes", longList, 34}};
  const std::size_t mark = transcript().size();
  for (const auto& r : rows) {
    const std::string got = ask("set,/par/lock/budget," + r.value);
    EXPECT_EQ(got.rfind("ER", 0), 0u) << r.what << ": " << got;
    EXPECT_NE(got.find("{" + std::to_string(r.code) + ","), std::string::npos) << r.what << ": " << got;
    EXPECT_EQ(ask("%b%print,/par/lock/budget"), re("%b%268")) << r.what;
  }
  EXPECT_EQ(transcript().substr(mark), "") << "the board got nothing";
  EXPECT_EQ(ask("%r%print,/par/board/cmds"), re("%r%{}"));
}

// A record of the board's settings found at start (written as the program writes it, the settings
// image naming it) is given to the board whole, holes as the lone line feeds they hold; sets then
// amend it and the next save stores it. Our keys are leaves that take no list, so a set never is a
// list itself: the lists in the record are replaced or amended by plain sets. A hole is taken by
// the first set that passes it and the others made on the way go; a record of 512 commands takes
// no new key but changes a key it holds. A list tag its list cannot hold refuses the whole file.
TEST_F(BoardLink, PlantedRecordWithListsHolesAndNoRoomIsGivenAmendedAndStored) {
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  restart();  // a settings image with the record's block
  constexpr unsigned kIssue = 7;
  const auto calib = [](int n) {
    std::vector<RecordLine> v;
    for (int i = 0; i < n; ++i) v.push_back({"set,calib/k" + std::to_string(i) + "," + std::to_string(i)});
    return v;
  };
  const RecordLine budget{"set,lock/budget,200"}, guide{"set,lock/gps/3/guide,0x5"}, nOut{"set,spectr/n_out,1"}, hole{};
  const struct {
    const char* what;
    int calib;  // unrelated commands in front
    std::vector<RecordLine> record;
    std::vector<std::pair<std::string, std::string>> sets;  // path and value; the ER reply's body
    std::vector<RecordLine> want;
  } rows[] = {
      {"a set below a list goes after it (its earlier copy goes); one at a list's path takes its place", 0,
       {guide, {"set,lock/gps/3,{0x1,0x2,0x3}", 3}, {"set,lock/gps/3,{,0x7,}", -3}, {"set,lock/budget,{1,2}", 2}, nOut},
       {{"lock/gps/3/guide,0x5", ""}, {"lock/budget,250", ""}},
       {{"set,lock/gps/3,{0x1,0x2,0x3}", 3}, {"set,lock/gps/3,{,0x7,}", -3}, {"set,lock/budget,250"}, nOut, guide}},
      {"a new key takes the earliest hole, the others go", 0, {budget, hole, nOut, hole, hole},
       {{"lock/gps/3/guide,0x5", ""}}, {budget, guide, nOut}},
      {"a command already there stays, the holes passed go", 0, {nOut, hole, hole, budget, hole},
       {{"spectr/n_out,1", ""}}, {nOut, budget}},
      {"512 commands: a new key is refused, a key held changes", 511, {budget},
       {{"spectr/n_out,1", "{32,,storage full}"}, {"lock/budget,250", ""}}, {{"set,lock/budget,250"}}},
      {"512 with a hole: a new key takes it", 511, {hole}, {{"spectr/n_out,1", ""}}, {nOut}},
      // Last, with no sets: the refused file ends the program, which clears the settings image.
      {"a list tag beyond its list refuses the file", 0, {budget, {"set,lock/gps/3,{0x1,0x2}", 3}}, {}, {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.what);
    std::vector<RecordLine> record = calib(r.calib), want = calib(r.calib);
    record.insert(record.end(), r.record.begin(), r.record.end());
    want.insert(want.end(), r.want.begin(), r.want.end());
    ASSERT_TRUE(plantRecord(record, kIssue));
    const std::size_t mark = transcript().size();
    if (r.sets.empty()) {
      std::string out;
      EXPECT_EQ(runToEnd(dir_.path, out), 0);
      EXPECT_NE(out.find("error reading commands file"), std::string::npos) << out;
      EXPECT_NE(out.find("clearing NVRAM"), std::string::npos) << out;
      EXPECT_EQ(transcript().find(budget.text, mark), std::string::npos) << transcript().substr(mark);
      continue;
    }
    ASSERT_NO_FATAL_FAILURE(start());
    std::string replay, sent;
    for (const RecordLine& l : record) replay += l.text + "\n";
    ASSERT_TRUE(boardGets(kEndOfStartUp + kProfilerReset, mark, 6 * kGuardMs));
    EXPECT_EQ(transcript().substr(mark, startUp(replay, kIssue).size()), startUp(replay, kIssue));
    const std::size_t from = transcript().size();
    unsigned taken = 0;
    for (const auto& [set, er] : r.sets) {
      EXPECT_EQ(ask("%s%set,/par/" + set), er.empty() ? re("%s%") : frame("ER", "%s%" + er)) << set;
      if (er.empty()) sent += "set," + set + "\n", ++taken;
    }
    EXPECT_TRUE(waitUntil([&] { return setsIn(transcript().substr(from)) == sent; })) << transcript().substr(from);
    restart();
    EXPECT_EQ(setFile(), recordFile(want, kIssue + taken));
  }
}

// A board that comes after the program is connected, and again after it restarted; while there
// is none, a set for it is neither done nor kept.
TEST_F(BoardLink, LateBoardIsConnectedAndAgainAfterItRestarts) {
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("set,/par/spectr/n_out,1"), frame("ER", "%%{21,,not available}"));
  for (const std::string value : {"2", "3"}) {
    const std::size_t mark = transcript().size();
    ASSERT_NO_FATAL_FAILURE(startSim());
    EXPECT_TRUE(waitUntil([&] { return ask("%1%set,/par/spectr/n_out," + value) == re("%1%"); })) << value;
    EXPECT_TRUE(boardGets("set,spectr/n_out," + value + "\n", mark)) << value;
  }
  restart();
  EXPECT_EQ(setFile().find("spectr/n_out,1"), std::string::npos) << setFile();
}

// A recording written to a port in a correction mode reaches the board's relay link byte for
// byte; after a restart the stored mode gets its link again at start, announced to the board.
TEST_F(DecoderRelay, StoredCorrectionModeGetsItsLinkAtStart) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay.")}));
  std::string sent;
  for (const char* recording : {"testglo.rtcm3", "msm3.rtcm3"}) {
    SCOPED_TRACE(recording);
    const std::size_t mark = transcript().size();
    for (char l = 'd'; l <= 'h'; ++l) std::filesystem::remove(dir_.file(std::string("relay.") + l + ".up"));
    ASSERT_NO_FATAL_FAILURE(start());
    if (sent.empty()) {
      EXPECT_EQ(ask("%1%set,/par/dev/ser/b/imode,rtcm3"), re("%1%"));
    }
    EXPECT_TRUE(boardGets("set,dev/shm/d/imode,rtcm3\n", mark));
    ASSERT_TRUE(waitUntil([&] {  // the program connects its links a little after start
      for (char l = 'd'; l <= 'h'; ++l)
        if (!dir_.exists(std::string("relay.") + l + ".up")) return false;
      return true;
    }));
    const std::string bytes = readFile(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/" + recording);
    ASSERT_FALSE(bytes.empty());
    sent += bytes;
    Port serB(dir_.file("dev/ser/b"));
    ASSERT_TRUE(serB.sendRaw(bytes));
    EXPECT_TRUE(fileReaches("relay.d", sent.size()));
    EXPECT_TRUE(dir_.read("relay.d") == sent) << dir_.read("relay.d").size() << " of " << sent.size();
    restart();
  }
}

// Five ports in a correction mode hold the five relay links; a sixth is acknowledged, says it has
// no link, and still decodes its RTCM 3 here (the rover's last MSM of a system), relaying none of it.
TEST_F(DecoderRelay, ASixthCorrectionPortDecodesWithoutALink) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--relay", dir_.file("relay.")}));
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string rec = readFile(std::string(RX_SHARED_DIR) + "/testdata/rtcm3/uscl00chl0.rtcm3");
  ASSERT_FALSE(rec.empty());
  const std::size_t mark = transcript().size();
  for (const char* p : {"usb/a", "can/a", "can/b", "ser/b", "ser/c"})  // links d..h in turn
    EXPECT_EQ(ask(std::string("%1%set,/par/dev/") + p + "/imode,rtcm3"), re("%1%")) << p;
  for (char l = 'd'; l <= 'h'; ++l) {
    EXPECT_TRUE(boardGets(std::string("set,dev/shm/") + l + "/imode,rtcm3\n", mark)) << l;
    EXPECT_TRUE(waitUntil([&] { return dir_.exists(std::string("relay.") + l + ".up"); })) << l;
  }
  EXPECT_EQ(ask("%6%set,/par/dev/ser/d/imode,rtcm3"), re("%6%"));
  EXPECT_TRUE(rx_->waitOut("$$DEC: dev/ser/d: no free relay link, rtcm3 is not relayed\n")) << rx_->out();
  Port serD(dir_.file("dev/ser/d")), serB(dir_.file("dev/ser/b"));
  ASSERT_TRUE(serD.sendRaw(rec));
  EXPECT_TRUE(waitUntil([&] { return ask("print,/par/rtcm3/rover/msm/info/gps").find("{msg=7,") != std::string::npos; }))
      << ask("print,/par/rtcm3/rover/msm/info/gps");
  // The same bytes on a linked port reach its link alone, once.
  ASSERT_TRUE(serB.sendRaw(rec));
  EXPECT_TRUE(fileReaches("relay.g", rec.size()));
  for (char l = 'd'; l <= 'h'; ++l)
    EXPECT_EQ(dir_.read(std::string("relay.") + l).size(), l == 'g' ? rec.size() : 0u) << l;
}

// At 10 Hz with a measurement interval of 1000 ms, "RT"/"ET" at 1 s on dev/ser/a come as one
// pair a second, each on a whole second of the simulator's time (2024-06-01 11:59:30 UTC is
// 11:59:48 GPS), and still once a second when due at every epoch. The first whole second steps
// the program's clock years back; the board's once record (here: its alternative clock not in
// use; every other run says in use) is taken and switched off on the board.
TEST_F(Epochs, MarkersOncePerSecondOnWholeSecondsAt10HzWithMsInt1000) {
  constexpr std::uint32_t kFirst = (11 * 3600 + 59 * 60 + 48) * 1000;
  ASSERT_NO_FATAL_FAILURE(start());
  restart();
  // The interval in the receiver settings record (after the header words, the mode bytes and six
  // position-source doubles).
  std::string img = dir_.read(".gnss.nvm");
  ASSERT_TRUE(setBlockData(img, 30001, 64, std::string("\xE8\x03\0\0", 4)));
  ASSERT_TRUE(dir_.write(".gnss.nvm", img));
  ASSERT_NO_FATAL_FAILURE(startSim({"--rate", "10", "--start", "2024-06-01T11:59:30", "--use-nt", "0"}));
  ASSERT_NO_FATAL_FAILURE(start());
  for (const char* every : {"1", "0"}) {
    SCOPED_TRACE(every);
    ASSERT_TRUE(port_->send(std::string("%e%em,,zrt/{RT,ET}:") + every));
    port_->fill([](const std::string&) { return false; }, 4500);
    std::vector<std::pair<std::string, std::uint32_t>> got;
    for (std::size_t n; (n = messageLength(port_->held)) != 0 && n != std::string::npos; port_->held.erase(0, n)) {
      if (port_->held.compare(0, n, re("%e%")) != 0) got.push_back({port_->held.substr(0, 2), le32(port_->held, 5)});
    }
    ASSERT_NE(messageLength(port_->held), std::string::npos) << port_->held;
    std::size_t i = 0, pairs = 0;
    while (i < got.size() && got[i].first != "~~") ++i;  // the port may open mid-epoch
    for (; i + 1 < got.size(); i += 2, ++pairs) {
      EXPECT_EQ(got[i].first + got[i + 1].first, "~~::");
      EXPECT_EQ(got[i].second, got[i + 1].second);
      EXPECT_EQ(got[i].second % 1000, 0u);
      EXPECT_GE(got[i].second, kFirst);
      EXPECT_EQ(got[i].second, pairs > 0 ? got[i - 2].second + 1000 : got[i].second);
    }
    EXPECT_GE(pairs, 3u);
  }
  EXPECT_NE(rx_->out().find("$$TIME: program clock stepped by -"), std::string::npos) << rx_->out();
  EXPECT_TRUE(waitUntil([&] { return dir_.read("sim1.log").find("dm,,zrt/@@once") != std::string::npos; }));
}

// The board falls silent: after the first minute, 10 s without data ends the program as a
// restart, saying "$$ ERROR: no data from SLAVE: restart"; a board silent from the start (here
// none at all) is given that minute. Both run at once: the waits are the program's own, and the
// lower bounds are the requirement ("not before"), the upper ones loose guards.
TEST(EpochsSilence, BoardSilenceEndsTheProgramAfterTheFirstMinute) {
  using Clock = std::chrono::steady_clock;
  const auto secs = [](Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); };
  struct Run {
    RunDir dir;
    std::unique_ptr<Proc> sim, rx;
    std::unique_ptr<Port> port;
    Clock::time_point last{}, error{};
  } runs[2];  // the first streams for 52 s after the program connects, the second has no board
  const Clock::time_point t0 = Clock::now();
  runs[0].sim = std::make_unique<Proc>(runs[0].dir.path, std::vector<std::string>{kSim, "--dir", runs[0].dir.path, "--rate", "10", "--silence-after", "52"});
  ASSERT_TRUE(waitUntil([&] { return runs[0].dir.exists("dev/shm/a"); }));
  for (Run& r : runs) {
    r.rx = std::make_unique<Proc>(r.dir.path, std::vector<std::string>{RXENGINE_PATH});
    ASSERT_TRUE(r.rx->waitOut(kReady, kStartGuardMs)) << r.rx->out();
    r.port = std::make_unique<Port>(r.dir.file("dev/ser/a"));
  }
  ASSERT_EQ(runs[0].port->ask("%e%em,,zrt/{RT,ET}:1"), re("%e%"));
  waitUntil([&] {
    if (runs[0].port->fill([](const std::string& h) { return !h.empty(); }, 50)) runs[0].last = Clock::now();
    runs[0].port->held.clear();
    for (Run& r : runs)
      if (r.error == Clock::time_point{} && r.rx->out().find("$$ ERROR: no data from SLAVE: restart\n") != std::string::npos) r.error = Clock::now();
    return !runs[0].rx->running() && !runs[1].rx->running();
  }, 120000);
  for (Run& r : runs) {
    EXPECT_EQ(r.rx->wait(), 0) << r.rx->out();
    EXPECT_GE(secs(t0, r.error), 60.0);
    EXPECT_EQ(r.rx->out().find("AddressSanitizer"), std::string::npos) << r.rx->out();
  }
  EXPECT_GE(secs(t0, runs[0].last), 50.0);  // epochs kept coming until the board stopped
  EXPECT_GE(secs(runs[0].last, runs[0].error), 9.5);
  EXPECT_LE(secs(runs[0].last, runs[0].error), 20.0);
  EXPECT_LE(secs(t0, runs[1].error), 90.0);
}

}  // namespace
}  // namespace e2e
