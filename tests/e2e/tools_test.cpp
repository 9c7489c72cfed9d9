// The tools beside the program: the board simulator under any bytes, the port terminal, and the
// demo launcher (README, first command).
#include <sys/stat.h>

#include <random>

#include "e2e/harness.h"

namespace e2e {
namespace {

pid_t pidAfter(const std::string& out, const std::string& label) {
  const std::size_t at = out.rfind(label);
  return at == std::string::npos ? -1 : std::atoi(out.c_str() + at + label.size());
}
bool gone(pid_t pid) { return pid > 0 && kill(pid, 0) != 0 && errno == ESRCH && kill(-pid, 0) != 0 && errno == ESRCH; }

TEST(SimBoard, AnyBytesLeaveItAnswering) {
  RunDir dir;
  Proc sim(dir.path, {kSim, "--dir", dir.path});
  Port link(dir.file("dev/shm/a"));
  ASSERT_TRUE(link.ok());
  std::mt19937 rng(99);
  for (const char* mode : {"cmd", "zrt"}) {
    link.sendRaw(std::string("\nset,cur/term/imode,") + mode + "\n");
    for (int round = 0; round < 20; ++round) {
      std::string junk(5000, '\0');
      for (auto& c : junk) c = static_cast<char>(rng() % 4 == 0 ? "\n!%{,"[rng() % 5] : rng());
      link.sendRaw(junk);
    }
    // A header announcing more than was sent would swallow what follows: end it first.
    link.sendRaw(std::string(4200, '\n') + "\n!set,cur/term/imode,cmd\n\n%CON%\n");
    ASSERT_TRUE(link.fill([](const std::string& h) { return h.find("RE005%CON%\r\n") != std::string::npos; })) << mode;
    link.held.clear();
  }
}

// A board that keeps its settings takes every line the program wrote before it went, even when
// the program is back on a new link before the board got round to reading the old one (the
// simulator is held stopped meanwhile, as a loaded machine may hold it).
TEST(SimBoard, LastLinesOfALinkThatEndedCountBeforeTheNextLink) {
  RunDir dir;
  Proc sim(dir.path, {kSim, "--dir", dir.path, "--keep-state"});
  struct Row {
    const char* last;    // the old link's last bytes
    const char* issue;   // what the board holds after them
    const char* calibX;  // "" when unset
  };
  // A line cut off by the link's end is no command: the next link starts a line of its own.
  const Row rows[] = {{"set,cmd/set/issue,3\n", "3", ""},
                      {"set,calib/x,7\nset,cmd/set/issue,4", "3", "7"},
                      {"set,cmd/set/issue,0\nset,calib/x,8\nset,cmd/set/issue,5\n", "5", "8"}};
  for (const Row& r : rows) {
    SCOPED_TRACE(r.last);
    auto old = std::make_unique<Port>(dir.file("dev/shm/a"));
    ASSERT_TRUE(old->ok());
    ASSERT_EQ(old->ask("%1%"), re("%1%"));  // the simulator holds this link
    ASSERT_EQ(kill(sim.pid(), SIGSTOP), 0);
    ASSERT_TRUE(old->sendRaw(r.last));
    old.reset();
    Port next(dir.file("dev/shm/a"));  // taken by the listening socket's backlog meanwhile
    ASSERT_EQ(kill(sim.pid(), SIGCONT), 0);
    ASSERT_TRUE(next.ok());
    EXPECT_EQ(next.ask("%2%print,cmd/set/issue"), re(std::string("%2%") + r.issue));
    EXPECT_EQ(next.ask("%3%print,calib/x"),
              *r.calibX ? re(std::string("%3%") + r.calibX) : frame("ER", "%3%{3,,wrong 1st parameter}"));
  }
}

// Commands given with -c, or piped in as a user would type them: the answers are shown.
TEST(PortTerminal, SendsCommandsAndShowsTheAnswers) {
  RunDir dir;
  Proc sim(dir.path, {kSim, "--dir", dir.path, "--issue", "3", "--keep-state"});
  ASSERT_TRUE(waitUntil([&] { return dir.exists("dev/shm/a"); }));
  const std::string terminal = std::string(RX_TOOLS_DIR) + "/port_terminal/port_terminal " + dir.file("dev/shm/a");
  for (const std::string& how : {std::string(" -c %CON% -c print,cmd/set/issue --quiet 300"),
                                " --quiet 300 < " + dir.file("typed")}) {
    SCOPED_TRACE(how);
    ASSERT_TRUE(dir.write("typed", "%CON%\nprint,cmd/set/issue\n"));
    FILE* p = popen((terminal + how).c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string out;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) out += buf;
    EXPECT_EQ(pclose(p), 0);
    EXPECT_EQ(out, "RE005%CON%\nRE0013\n");  // carriage returns folded into the line ends
  }
}

// The demo shows epochs on dev/ser/a once enabled there, its run directory holds every host device
// the program reads (no device reported missing), and Ctrl-C leaves no process behind.
TEST(Demo, EpochsOnTheFirstSerialPortAndCtrlCLeavesNoProcessBehind) {
  RunDir dir;
  Proc demo(dir.path, {std::string(RX_TOOLS_DIR) + "/demo/rx_demo", "--dir", dir.path, "--", "--rate", "10"});
  ASSERT_TRUE(demo.waitOut(kReady, kStartGuardMs)) << demo.out();  // the program's banner
  const pid_t rx = pidAfter(demo.out(), "rxengine pid "), sim = pidAfter(demo.out(), "gnss_board_sim pid ");
  EXPECT_NE(demo.out().find(dir.file("dev/ser/a")), std::string::npos);
  {
    Port port(dir.file("dev/ser/a"));
    ASSERT_TRUE(port.ok());
    EXPECT_TRUE(waitUntil([&] { return port.ask("%e%em,,zrt/{RT,ET}:1") == re("%e%"); }));
    EXPECT_TRUE(port.fill([](const std::string& h) { return h.find("::005") != h.rfind("::005"); }));
  }
  EXPECT_EQ(demo.out().find("ERROR"), std::string::npos) << demo.out();
  EXPECT_EQ(demo.out().find("error"), std::string::npos) << demo.out();
  demo.signal(SIGINT);
  EXPECT_EQ(demo.wait(), 0) << demo.out();
  EXPECT_TRUE(gone(rx));
  EXPECT_TRUE(gone(sim));
}

// Restart (0) and reboot (127) start the program again, power off (128) stops the demo with 0,
// any other end with 1; a stand-in program ends with the codes given, one per run.
TEST(Demo, RestartsOnRestartAndRebootStopsOnPowerOffOrAnyOtherEnd) {
  const struct {
    const char* codes;
    int exit, runs;
  } rows[] = {{"0 127 0 128 0", 0, 4}, {"123 0", 1, 1}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.codes);
    RunDir dir;
    ASSERT_TRUE(dir.write("fake_rxengine", std::string("#!/bin/sh\necho run >> runs\nn=0\nwhile read l; do n=$((n+1)); done < runs\nset -- ") +
                                               r.codes + "\nshift $((n-1))\nexit $1\n"));
    chmod(dir.file("fake_rxengine").c_str(), 0755);
    Proc demo(dir.path, {std::string(RX_TOOLS_DIR) + "/demo/rx_demo", "--dir", dir.path, "--rxengine", dir.file("fake_rxengine")});
    EXPECT_EQ(demo.wait(), r.exit) << demo.out();
    EXPECT_EQ(dir.read("runs").size(), 4u * r.runs);
    EXPECT_EQ(demo.out().find("rxengine ended (exit 123)") != std::string::npos, r.exit == 1);
    EXPECT_TRUE(gone(pidAfter(demo.out(), "gnss_board_sim pid ")));
    EXPECT_TRUE(dir.exists("host/sys/class/thermal/thermal_zone0/temp"));  // a run directory of --dir stays
  }
}

// Without --dir the run directory is made under TMPDIR and goes when the demo stops, by Ctrl-C or
// by the program's power-off; stand-ins of the simulator and the program wait or end as told.
TEST(Demo, WithoutADirectoryItRunsUnderTmpdirAndLeavesNothingBehind) {
  for (const bool ctrlC : {true, false}) {
    SCOPED_TRACE(ctrlC ? "Ctrl-C" : "power off");
    RunDir dir;
    ASSERT_TRUE(dir.write("fake_sim", "#!/bin/sh\nmkdir -p dev/shm && : > dev/shm/a\nexec /bin/sleep 600\n"));
    ASSERT_TRUE(dir.write("fake_rxengine", ctrlC ? "#!/bin/sh\nexec /bin/sleep 600\n" : "#!/bin/sh\nexit 128\n"));
    chmod(dir.file("fake_sim").c_str(), 0755);
    chmod(dir.file("fake_rxengine").c_str(), 0755);
    const std::string tmp = dir.file("tmp");
    ASSERT_EQ(mkdir(tmp.c_str(), 0755), 0);
    Proc demo(dir.path, {"/usr/bin/env", "TMPDIR=" + tmp, std::string(RX_TOOLS_DIR) + "/demo/rx_demo", "--sim",
                         dir.file("fake_sim"), "--rxengine", dir.file("fake_rxengine")});
    if (ctrlC) {
      ASSERT_TRUE(demo.waitOut("demo: rxengine pid ")) << demo.out();
      const std::string label = "demo: run directory ";
      const std::size_t at = demo.out().find(label);
      ASSERT_NE(at, std::string::npos) << demo.out();
      const std::string run = demo.out().substr(at + label.size(), demo.out().find(' ', at + label.size()) - at - label.size());
      EXPECT_EQ(run.rfind(tmp + "/rxengine-demo.", 0), 0u) << run;
      EXPECT_TRUE(std::filesystem::exists(run + "/dev/shm/a")) << run;
      demo.signal(SIGINT);
    }
    EXPECT_EQ(demo.wait(), 0) << demo.out();
    EXPECT_NE(demo.out().find(" is removed\n"), std::string::npos) << demo.out();
    EXPECT_TRUE(std::filesystem::is_empty(tmp)) << demo.out();
  }
}

}  // namespace
}  // namespace e2e
