// The demo: a run directory with the GNSS board simulator and rxengine in it. rxengine is
// started again when it ends with 0 (restart) or 127 (reboot) and the demo stops on 128
// (power off); Ctrl-C stops both. Nothing is left running: each child has its own process
// group, which the demo ends, and dies with the demo should the demo itself be killed. A run
// directory the demo made itself (under TMPDIR) goes when it stops; one named by --dir stays.
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

volatile sig_atomic_t g_stop = 0;
void onSignal(int) { g_stop = 1; }

struct Options {
  std::string rxengine = RX_DEMO_RXENGINE;
  std::string sim = RX_DEMO_SIM;
  std::string terminal = RX_DEMO_TERMINAL;
  std::string dir;
  std::vector<std::string> simArgs;
};

bool exists(const std::string& p) {
  struct stat st{};
  return stat(p.c_str(), &st) == 0;
}

// A stand-in file with its content, unless the run directory has it already.
void layOut(const std::string& path, const std::string& content) {
  if (exists(path)) return;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  std::ofstream(path) << content;
}

// Stand-ins of every host device the program reads, so that a demo starts without a missing
// device to report: the GPIO lines as the kernel shows exported lines (the LED lines can be
// watched and the buttons pressed by writing 0 to their value files, 1 is released; the line
// drivers of ports C and D, the CAN transceivers and the readings' ready line are driven by the
// program), the CPU's thermal zone (42.5 degrees C) and the three supply voltages on the ADC (3.8,
// 1.8 and 0.9 V).
void layOutHost(const std::string& dir) {
  const std::string gpio = dir + "/host/sys/class/gpio";
  layOut(gpio + "/export", "");
  const struct {
    int line;
    const char* level;
  } lines[] = {{137, "0"}, {136, "0"}, {130, "0"}, {131, "0"}, {32, "1"}, {119, "1"},            // LEDs, buttons
               {88, "0"},  {86, "0"},  {87, "0"},  {83, "0"},  {82, "0"}, {4, "0"},   {5, "0"},  // ports C and D
               {150, "0"}, {151, "0"},                                                           // CAN transceivers
               {91, "0"}};                                                                       // readings ready
  for (const auto& l : lines) {
    const std::string d = gpio + "/gpio" + std::to_string(l.line);
    if (exists(d + "/value")) continue;
    layOut(d + "/direction", "in\n");
    layOut(d + "/value", std::string(l.level) + "\n");
  }
  layOut(dir + "/host/sys/class/thermal/thermal_zone0/temp", "42500\n");
  // Raw counts of 0.8056640625 mV: +3V8 through a divider of 2, +1V8 and +0V9 directly.
  const char* const raw[] = {"2358", "2234", "1117"};
  for (int ch = 0; ch < 3; ++ch)
    layOut(dir + "/host/sys/bus/iio/devices/iio:device0/in_voltage" + std::to_string(ch) + "_raw",
           std::string(raw[ch]) + "\n");
}

// Starts `argv` in `dir` with an empty environment, in a process group of its own.
pid_t spawn(const std::string& dir, const std::vector<std::string>& args) {
  pid_t parent = getpid();
  pid_t pid = fork();
  if (pid != 0) {
    if (pid > 0) setpgid(pid, pid);
    return pid;
  }
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (getppid() != parent) _exit(127);  // the demo is gone already
  signal(SIGINT, SIG_DFL);
  signal(SIGTERM, SIG_DFL);
  if (chdir(dir.c_str()) != 0) _exit(127);
  std::vector<char*> argv;
  std::vector<std::string> copy = args;
  for (auto& a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  char* env[] = {nullptr};
  execve(argv[0], argv.data(), env);
  std::fprintf(stderr, "demo: cannot start %s: %s\n", argv[0], std::strerror(errno));
  _exit(127);
}

// Ends a child's whole process group: SIGTERM, then SIGKILL after a grace period.
void stopChild(pid_t& pid) {
  if (pid <= 0) return;
  kill(-pid, SIGTERM);
  for (int i = 0; i < 300; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) {
      kill(-pid, SIGKILL);  // anything the child left in its group
      pid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(-pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  pid = -1;
}

bool parseArgs(int argc, char** argv, Options* o) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](std::string* v) {
      if (i + 1 >= argc) return false;
      *v = argv[++i];
      return true;
    };
    if (a == "--rxengine") {
      if (!value(&o->rxengine)) return false;
    } else if (a == "--sim") {
      if (!value(&o->sim)) return false;
    } else if (a == "--terminal") {
      if (!value(&o->terminal)) return false;
    } else if (a == "--dir") {
      if (!value(&o->dir)) return false;
    } else if (a == "--") {
      for (++i; i < argc; ++i) o->simArgs.push_back(argv[i]);
    } else {
      return false;
    }
  }
  return true;
}

std::string describe(int status) {
  char b[64];
  if (WIFEXITED(status)) std::snprintf(b, sizeof b, "exit %d", WEXITSTATUS(status));
  else if (WIFSIGNALED(status)) std::snprintf(b, sizeof b, "signal %d", WTERMSIG(status));
  else std::snprintf(b, sizeof b, "status %d", status);
  return b;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (!parseArgs(argc, argv, &o)) {
    std::fprintf(stderr,
                 "usage: rx_demo [--dir RUNDIR] [--rxengine PATH] [--sim PATH] [--terminal PATH]"
                 " [-- simulator options]\n");
    return 2;
  }
  const bool ownDir = o.dir.empty();
  if (ownDir) {
    const char* tmp = std::getenv("TMPDIR");
    std::string tmpl = std::string(tmp != nullptr && *tmp != 0 ? tmp : "/tmp") + "/rxengine-demo.XXXXXX";
    if (!mkdtemp(tmpl.data())) {
      std::fprintf(stderr, "demo: cannot make a run directory in %s: %s\n", tmpl.c_str(), std::strerror(errno));
      return 1;
    }
    o.dir = tmpl;
  } else {
    mkdir(o.dir.c_str(), 0755);
  }
  struct sigaction sa{};
  sa.sa_handler = onSignal;
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
  sigaction(SIGHUP, &sa, nullptr);
  signal(SIGPIPE, SIG_IGN);

  layOutHost(o.dir);
  std::printf("demo: run directory %s%s\n", o.dir.c_str(),
              ownDir ? " (removed when the demo stops; --dir DIR keeps one)" : "");
  std::printf("demo: LEDs on host/sys/class/gpio/gpio{137,136,130,131}/value, buttons: echo 0 (pressed) or 1 to "
              "gpio32/value (power), gpio119/value (file)\n");
  std::fflush(stdout);
  std::vector<std::string> simArgs = {o.sim, "--dir", o.dir};
  simArgs.insert(simArgs.end(), o.simArgs.begin(), o.simArgs.end());
  // Real broadcast ephemerides for the navigation road, unless the user chose the stream.
  auto given = [&](const char* opt) {
    for (const std::string& a : o.simArgs)
      if (a == opt) return true;
    return false;
  };
  // A day of every system's broadcast, at a site in Hong Kong that sees all of them.
  if (!given("--nav") && !given("--replay") && exists(RX_DEMO_NAV)) {
    simArgs.insert(simArgs.end(), {"--nav", RX_DEMO_NAV, "--sky"});
    if (!given("--start")) simArgs.insert(simArgs.end(), {"--start", "2023-03-12T10:00:00"});
    if (!given("--site")) simArgs.insert(simArgs.end(), {"--site", "22.3,114.2,50"});
    std::printf("demo: the board broadcasts the GPS, GLONASS, Galileo, BeiDou, QZSS and NavIC ephemerides of\n"
                "      %s\n"
                "      and streams what its antenna measures of the GPS, GLONASS, Galileo and BeiDou satellites,\n"
                "      so the receiver has a sky (as a base: set,/par/pos/ref/known/geo,{22.3,114.2,50} and\n"
                "      em,/dev/ser/b,rtcm3/{1077,1087,1097,1127}:1)\n",
                RX_DEMO_NAV);
  }
  // The board's time is the simulated sky's: a sky of another day moves the program's own clock
  // there at the first epochs, which its "$$TIME:" line reports.
  for (std::size_t i = 0; i + 1 < simArgs.size(); ++i) {
    if (simArgs[i] != "--start" || simArgs[i + 1] == "now") continue;
    std::printf("demo: the simulated sky's time starts at %s, so at its first epochs the program steps its own\n"
                "      clock there (\"$$TIME: program clock stepped by -... ms\"); the machine's clock is left alone\n",
                simArgs[i + 1].c_str());
  }
  pid_t sim = spawn(o.dir, simArgs);
  for (int i = 0; i < 500 && !exists(o.dir + "/dev/shm/a") && !g_stop; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::printf("demo: gnss_board_sim pid %d\n", static_cast<int>(sim));
  std::fflush(stdout);

  pid_t rx = -1;
  bool told = false;
  int code = 0;
  auto lastStart = std::chrono::steady_clock::now() - std::chrono::seconds(10);
  while (!g_stop) {
    if (rx < 0) {
      // A program that ends at once must not make the demo spin.
      auto since = std::chrono::steady_clock::now() - lastStart;
      if (since < std::chrono::seconds(1)) std::this_thread::sleep_for(std::chrono::seconds(1) - since);
      if (g_stop) break;
      lastStart = std::chrono::steady_clock::now();
      rx = spawn(o.dir, {o.rxengine});
      std::printf("demo: rxengine pid %d\n", static_cast<int>(rx));
      std::fflush(stdout);
    }
    if (!told) {
      // Once when the demo starts: the port appears when the program is up.
      std::printf("demo: talk to the receiver on its serial port A from another terminal:\n"
                  "  %s %s/dev/ser/a\n"
                  "demo: type for instance  print,/par/rcv  there; Ctrl-C here stops the demo\n",
                  o.terminal.c_str(), o.dir.c_str());
      std::fflush(stdout);
      told = true;
    }
    int status = 0;
    pid_t w = waitpid(-1, &status, WNOHANG);
    if (w == 0 || (w < 0 && errno == EINTR)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      continue;
    }
    if (w == sim) {
      std::printf("demo: gnss_board_sim ended (%s)\n", describe(status).c_str());
      sim = -1;
      code = 1;
      break;
    }
    if (w == rx) {
      rx = -1;
      kill(-w, SIGKILL);  // whatever it started goes with it
      std::printf("demo: rxengine ended (%s)\n", describe(status).c_str());
      std::fflush(stdout);
      if (WIFEXITED(status) && (WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 127)) continue;
      code = WIFEXITED(status) && WEXITSTATUS(status) == 128 ? 0 : 1;
      break;
    }
    if (w < 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  stopChild(rx);
  stopChild(sim);
  if (!ownDir) {
    std::printf("demo: stopped; the run directory %s is kept\n", o.dir.c_str());
    return code;
  }
  std::error_code ec;
  std::filesystem::remove_all(o.dir, ec);
  if (ec) {
    std::printf("demo: stopped; the run directory %s could not be removed: %s\n", o.dir.c_str(), ec.message().c_str());
    return code;
  }
  std::printf("demo: stopped; the run directory %s is removed\n", o.dir.c_str());
  return code;
}
