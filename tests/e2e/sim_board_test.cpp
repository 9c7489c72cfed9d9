// The GNSS board simulator seen from the program's side of its socket.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>

#include "../../tools/gnss_board_sim/sim_native.h"
#include "e2e/harness.h"
#include "sim_process.h"

namespace {

using simtest::Frame;
using simtest::Link;
using simtest::SimProcess;

std::string bytesOf(std::initializer_list<int> v) {
  std::string s;
  for (int b : v) s.push_back(static_cast<char>(b));
  return s;
}

// 2024-06-01 11:59:42 UTC is 12:00:00.000 of the GPS day (18 leap seconds).
const char* kStart = "2024-06-01T11:59:42";

TEST(SimWriter, EpochMarkerVectors) {
  std::string body;
  sim::putLe(body, 43200000, 4);
  EXPECT_EQ(sim::frame("~~", body, true), bytesOf({0x7e, 0x7e, 0x30, 0x30, 0x35, 0x00, 0x2e, 0x93, 0x02, 0xe6}));
  EXPECT_EQ(sim::frame("::", body, true), bytesOf({0x3a, 0x3a, 0x30, 0x30, 0x35, 0x00, 0x2e, 0x93, 0x02, 0xb3}));
  EXPECT_EQ(sim::reply("RE", "%CON%"), "RE005%CON%\r\n");
}

TEST(SimWriter, TimeScaleRecordOfAKnownDate) {
  // 2024-06-01 is a Saturday of GPS week 2316 (= 268 + 1024 x 2, cycle 2); in Moscow it is
  // 14:59:42 of day 152 of the four-year period that began on 1 January 2024 (period 8 from 1992).
  sim::TimeScales t = sim::timeScales(1717243182, 0);
  EXPECT_EQ(t.gpsMsOfWeek, 6 * 86400000 + 43200000);
  EXPECT_EQ(t.gpsWeek, 268);
  EXPECT_EQ(t.gpsCycle, 2);
  EXPECT_EQ(t.gloMsOfDay, (14 * 3600 + 59 * 60 + 42) * 1000);
  EXPECT_EQ(t.gloDay, 152);
  EXPECT_EQ(t.gloPeriod, 8);
  EXPECT_EQ(sim::epochTime(t), 43200000u);
  std::string r = sim::timeScaleRecord(t, 5);
  ASSERT_EQ(r.size(), 97u);
  EXPECT_EQ(simtest::le32(r, 8), 5u);                      // uptime
  EXPECT_EQ(simtest::le32(r, 28), 561600000u);             // GPS ms of week
  EXPECT_EQ(simtest::le32(r, 64), 53982000u);              // GLONASS ms of day
  EXPECT_EQ(r[96], 0);                                     // GPS is the reference
  std::string at = sim::rawRecord(8, r);
  EXPECT_EQ(at.substr(0, 8), std::string("@@064\x08\x61\x00", 8));
}

TEST(SimBoard, HandshakesAndIssue) {
  e2e::RunDir dir;
  SimProcess sim(dir.path(), {"--issue", "42"});
  Link link(dir.file("dev/shm/a"));
  ASSERT_TRUE(link.ok());
  link.send("\n%CON%\n");
  EXPECT_EQ(link.read(12), "RE005%CON%\r\n");
  link.send("!%SYN%\n");
  EXPECT_EQ(link.read(12), "RE005%SYN%\r\n");
  // A command that arrives in pieces is answered once whole.
  link.send("\n%CM");
  link.send("D%\n");
  EXPECT_EQ(link.read(12), "RE005%CMD%\r\n");
  // The issue the board was started with.
  link.send("print,cmd/set/issue\n");
  EXPECT_EQ(link.read(9), "RE00242\r\n");
  link.send("set,cmd/set/issue,1234\nprint,cmd/set/issue\n");
  EXPECT_EQ(link.read(11), "RE0041234\r\n");
  link.send("%q%frobnicate\n");
  EXPECT_EQ(link.read(28), "ER015%q%{1,,wrong command}\r\n");
}

TEST(SimBoard, ARestartedProgramFindsTheBoardResetUnlessKept) {
  for (bool keep : {false, true}) {
    e2e::RunDir dir;
    std::vector<std::string> args;
    if (keep) args.push_back("--keep-state");
    SimProcess sim(dir.path(), args);
    {
      Link first(dir.file("dev/shm/a"));
      ASSERT_TRUE(first.ok());
      first.send("set,cmd/set/issue,7\n%a%\n");
      ASSERT_EQ(first.read(8), "RE003%a%");
    }
    Link second(dir.file("dev/shm/a"));
    ASSERT_TRUE(second.ok());
    second.send("print,cmd/set/issue\n");
    EXPECT_EQ(second.read(8), keep ? "RE0017\r\n" : "RE0010\r\n") << keep;
  }
}

TEST(SimBoard, NativeModeSkipsMessagesByLengthAndRecordsLines) {
  e2e::RunDir dir;
  SimProcess sim(dir.path(), {});
  Link link(dir.file("dev/shm/a"));
  ASSERT_TRUE(link.ok());
  link.send("set,cur/term/imode,zrt\n\n\n");
  // Bodies that hold command text are skipped whole, not run.
  std::string body = "\nset,cmd/set/issue,99\n";
  link.send(sim::frame("UO", body, true) + "\r\n" + sim::frame("@@", "\x01\x02", false));
  link.send("!%SYN%\n");
  EXPECT_EQ(link.read(12), "RE005%SYN%\r\n");
  link.send("\n!\n!set,cur/term/imode,cmd\n\n%CMD%\nprint,cmd/set/issue\n");
  EXPECT_EQ(link.read(12), "RE005%CMD%\r\n");
  EXPECT_EQ(link.read(8), "RE0010\r\n");
  std::string log = dir.read("gnss_board_sim.log");
  EXPECT_NE(log.find("< set,cur/term/imode,zrt\n< native UO 23\n< native @@ 2\n< %SYN%\n"),
            std::string::npos)
      << log;
  EXPECT_NE(log.find("< set,cur/term/imode,cmd\n< %CMD%\n"), std::string::npos) << log;
}

// Reads `n` epochs ("~~", "@@", "::") and checks each with the test's own reader.
void checkEpochs(Link& link, int n, std::uint32_t firstTime, std::uint32_t step) {
  for (int e = 0; e < n; ++e) {
    ASSERT_TRUE(link.readUntil([](const std::string& h) {
      std::string copy = h;
      return simtest::takeFrames(copy).size() >= 3;
    }));
    auto frames = simtest::takeFrames(link.held());
    ASSERT_GE(frames.size(), 3u);
    const Frame& rt = frames[0];
    const Frame& ts = frames[1];
    const Frame& et = frames[2];
    std::uint32_t t = firstTime + step * static_cast<std::uint32_t>(e);
    ASSERT_EQ(rt.id, "~~");
    ASSERT_EQ(rt.body.size(), 5u);
    EXPECT_EQ(simtest::le32(rt.body, 0), t);
    EXPECT_EQ(static_cast<std::uint8_t>(rt.body[4]), simtest::cs8("~~005" + rt.body.substr(0, 4)));
    ASSERT_EQ(ts.id, "@@");
    ASSERT_EQ(ts.body.size(), 100u);
    EXPECT_EQ(ts.body[0], 8);
    EXPECT_EQ(simtest::le32(ts.body, 3 + 28) % 86400000u, t);  // GPS ms of week
    ASSERT_EQ(et.id, "::");
    EXPECT_EQ(simtest::le32(et.body, 0), t);
    EXPECT_EQ(static_cast<std::uint8_t>(et.body[4]), simtest::cs8("::005" + et.body.substr(0, 4)));
    // Frames after the third belong to the next epoch: put them back.
    std::string rest;
    for (std::size_t i = 3; i < frames.size(); ++i) {
      char len[4];
      std::snprintf(len, sizeof len, "%03X", static_cast<unsigned>(frames[i].body.size()));
      rest += frames[i].id + len + frames[i].body;
    }
    link.held() = rest + link.held();
  }
}

TEST(SimBoard, StreamsEpochsOnceEnabled) {
  e2e::RunDir dir;
  SimProcess sim(dir.path(), {"--rate", "10", "--start", kStart});
  Link link(dir.file("dev/shm/a"));
  ASSERT_TRUE(link.ok());
  link.send("dm\nem,,zrt/{RT,@@ts}:0\nem,,zrt/{ET}:0\n");
  ASSERT_TRUE(link.readUntil([](const std::string& h) { return h.size() >= 10; }));
  EXPECT_EQ(link.held().substr(0, 10), bytesOf({0x7e, 0x7e, 0x30, 0x30, 0x35, 0x00, 0x2e, 0x93, 0x02, 0xe6}));
  checkEpochs(link, 5, 43200000, 100);
  link.send("dm\n");
  link.send("%z%\n");
  // After the reply nothing more is streamed.
  ASSERT_TRUE(link.readUntil([](const std::string& h) { return h.find("RE003%z%\r\n") != std::string::npos; }));
}

TEST(SimBoard, EpochMarkersAtTheirOwnPeriod) {
  e2e::RunDir dir;
  SimProcess sim(dir.path(), {"--rate", "10", "--start", kStart});
  Link link(dir.file("dev/shm/a"));
  ASSERT_TRUE(link.ok());
  link.send("em,,zrt/{RT,@@ts,ET}:1\n");
  checkEpochs(link, 2, 43200000, 1000);
}

TEST(SimBoard, FaultKnobs) {
  e2e::RunDir dir;
  SimProcess sim(dir.path(), {"--rate", "20", "--start", kStart, "--flip-checksum", "2",
                              "--mismatch-times", "3", "--garbage"});
  Link link(dir.file("dev/shm/a"));
  ASSERT_TRUE(link.ok());
  link.send("em,,zrt/{RT,ET}:0\n");
  // Find the markers by scanning, as a resynchronising reader does; garbage lies between.
  ASSERT_TRUE(link.readUntil([](const std::string& h) {
    std::size_t n = 0;
    for (std::size_t p = 0; (p = h.find("::005", p)) != std::string::npos; ++p) ++n;
    return n >= 7;
  }));
  // Up to the end of the last whole epoch read.
  std::string h = link.held().substr(0, link.held().rfind("::005") + 10);
  int badRt = 0, goodRt = 0, mismatched = 0, ets = 0;
  std::uint32_t lastRt = 0;
  for (std::size_t p = 0; p + 10 <= h.size(); ++p) {
    std::string f = h.substr(p, 10);
    if (f.compare(0, 5, "~~005") == 0) {
      bool ok = static_cast<std::uint8_t>(f[9]) == simtest::cs8(f.substr(0, 9));
      (ok ? goodRt : badRt)++;
      lastRt = simtest::le32(f, 5);
    } else if (f.compare(0, 5, "::005") == 0 && static_cast<std::uint8_t>(f[9]) == simtest::cs8(f.substr(0, 9))) {
      ++ets;
      if (simtest::le32(f, 5) != lastRt) ++mismatched;
    }
  }
  ASSERT_GE(ets, 6);
  EXPECT_EQ(badRt, ets / 2);  // every second epoch
  EXPECT_GE(goodRt, ets / 2);
  EXPECT_EQ(mismatched, ets / 3);  // every third epoch
}

TEST(SimBoard, SilenceAfterAWhile) {
  e2e::RunDir dir;
  SimProcess sim(dir.path(), {"--rate", "20", "--silence-after", "0"});
  Link link(dir.file("dev/shm/a"));
  ASSERT_TRUE(link.ok());
  link.send("\n%CON%\nem,,zrt/{RT,ET}:0\n");
  // Silent from the start: nothing comes while the link stays open.
  link.readUntil([](const std::string& h) { return !h.empty(); }, 500);
  EXPECT_TRUE(link.held().empty());
}

}  // namespace

namespace {

TEST(SimBoard, AnyBytesLeaveItAnswering) {
  e2e::RunDir dir;
  SimProcess sim(dir.path(), {});
  Link link(dir.file("dev/shm/a"));
  ASSERT_TRUE(link.ok());
  std::mt19937 rng(99);
  for (const char* mode : {"cmd", "zrt"}) {
    link.send(std::string("\nset,cur/term/imode,") + mode + "\n");
    for (int round = 0; round < 20; ++round) {
      std::string junk(5000, '\0');
      for (auto& c : junk) c = static_cast<char>(rng() % 4 == 0 ? "\n!%{,"[rng() % 5] : rng());
      link.send(junk);
    }
    // A header announcing more than was sent would swallow what follows: end it first.
    link.send(std::string(4200, '\n') + "\n!set,cur/term/imode,cmd\n");
    link.send("\n%CON%\n");
    ASSERT_TRUE(link.readUntil([](const std::string& h) { return h.find("RE005%CON%\r\n") != std::string::npos; }))
        << mode;
    link.held().clear();
  }
}

TEST(PortTerminal, SendsCommandsAndShowsTheAnswers) {
  e2e::RunDir dir;
  SimProcess sim(dir.path(), {"--issue", "3"});
  ASSERT_TRUE(e2e::waitUntil([&] { return dir.exists("dev/shm/a"); }));
  std::string cmd = std::string(RX_TOOLS_DIR) + "/port_terminal/port_terminal " + dir.file("dev/shm/a") +
                    " -c %CON% -c print,cmd/set/issue --quiet 300";
  FILE* p = popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string out;
  char buf[256];
  while (std::fgets(buf, sizeof buf, p)) out += buf;
  EXPECT_EQ(pclose(p), 0);
  // Carriage returns are folded into the line ends.
  EXPECT_EQ(out, "RE005%CON%\nRE0013\n");
}

}  // namespace
