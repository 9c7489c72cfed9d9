// The LEDs and buttons with the real program on GPIO stand-in files: the LED lines driven after
// start, the file button starting and closing a log file (the recording LED following), the
// button/ keys across a restart, and a power-button hold powering the receiver off.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "e2e/harness.h"
#include "unit/platform/gpio_stand_in.h"

namespace e2e {
namespace {

using ButtonsLeds = Rx;

constexpr int kLedLines[] = {137, 136, 130, 131};

void press(const std::string& dir, int line, int ms) {
  standin::writeStandIn(standin::gpioPath(dir, line, "value"), "0\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  standin::writeStandIn(standin::gpioPath(dir, line, "value"), "1\n");
}

int logFiles(const std::string& dir) {
  std::error_code ec;
  int n = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir + "/.gnss.log", ec)) n += e.is_regular_file() ? 1 : 0;
  return n;
}

TEST_F(ButtonsLeds, LinesButtonsKeysAndPowerOff) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {137, 136, 130, 131}, "in", "1"));
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {32, 119}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  for (int line : kLedLines) {
    EXPECT_TRUE(waitUntil([&] { return standin::gpioText(dir_.path, line, "direction") == "out"; })) << line;
  }
  // Not recording: the recording LED dark.
  EXPECT_TRUE(waitUntil([&] { return standin::gpioLevel(dir_.path, 130) == 0 && standin::gpioLevel(dir_.path, 131) == 0; }));

  // Keys, kept across a restart.
  EXPECT_EQ(ask("%a%set,/par/button/action,dyn"), re("%a%"));
  EXPECT_EQ(ask("%b%set,/par/button/file,e2elog"), re("%b%"));
  EXPECT_EQ(ask("%c%set,/par/button/rot,off"), re("%c%"));
  EXPECT_EQ(ask("%d%set,/par/button/action,led"), re("%d%"));
  const std::string before = ask("print,/par/button");
  EXPECT_NE(before.find("file=e2elog"), std::string::npos) << before;
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/button"), before);

  // The file button held 0.6 s: logging starts, the recording LED turns green.
  EXPECT_EQ(logFiles(dir_.path), 0);
  press(dir_.path, 119, 600);
  EXPECT_TRUE(waitUntil([&] { return logFiles(dir_.path) == 1; }));
  EXPECT_TRUE(dir_.exists(".gnss.log/e2elog"));
  EXPECT_TRUE(waitUntil([&] { return standin::gpioLevel(dir_.path, 130) == 1 && standin::gpioLevel(dir_.path, 131) == 0; }));
  // Again: the file is closed and the LED goes dark.
  press(dir_.path, 119, 600);
  EXPECT_TRUE(waitUntil([&] { return standin::gpioLevel(dir_.path, 130) == 0 && standin::gpioLevel(dir_.path, 131) == 0; }));

  // The power button held 2.5 s: powered off.
  press(dir_.path, 32, 2500);
  EXPECT_EQ(end(), 128);
  EXPECT_NE(dir_.read("host/var/run/rxengine-request").find("power_off"), std::string::npos);
}

// The names in the log store.
std::vector<std::string> logNames(const std::string& dir) {
  std::vector<std::string> v;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(dir + "/.gnss.log", ec)) v.push_back(e.path().filename());
  std::sort(v.begin(), v.end());
  return v;
}

// Seen on the two lines of an LED within the guard: both levels as the LED shows them.
bool ledShows(const std::string& dir, int green, int red, int g, int r) {
  return waitUntil([&] { return standin::gpioLevel(dir, green) == g && standin::gpioLevel(dir, red) == r; });
}

// The file button's other roads with the simulator's clock of 2008-05-26 06:01:40 UTC:
//   - without a file name the log file is named by the receiver's UTC time (the clock GNSS time
//     stepped, not the machine's): "log" YYMMDD "_" HHMMSS and the file's letter;
//   - messages enabled on cur/file/a go into that file while it is open;
//   - a short press with action dyn leaves the file logging;
//   - with rotation on, a press switches rotation and starts no file;
//   - with action tcpcl a short press suspends the TCP clients (a red fine flash of the
//     position LED) and the next one resumes them (green);
//   - the power button held 7 s (4 to 8 s) asks for sleep until the next session (none is
//     defined). The hold is counted in the fast task's polls, which a busy machine spaces out:
//     5 s, near the window's start, were once counted as less than 4 s.
TEST_F(ButtonsLeds, FileButtonRoadsAndPowerSleep) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {137, 136, 130, 131}, "in", "1"));
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {32, 119}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim({"--start", "2008-05-26T06:01:40"}));
  ASSERT_NO_FATAL_FAILURE(start());
  ASSERT_TRUE(rx_->waitOut("$$TIME: program clock stepped by")) << rx_->out();
  EXPECT_EQ(ask("%a%set,/par/button/action,dyn"), re("%a%"));
  EXPECT_EQ(ask("%b%set,/par/button/file,"), re("%b%"));
  EXPECT_EQ(ask("%c%set,/par/button/rot,off"), re("%c%"));

  press(dir_.path, 119, 600);
  ASSERT_TRUE(waitUntil([&] { return logFiles(dir_.path) == 1; }));
  const std::string name = logNames(dir_.path).at(0);
  ASSERT_EQ(name.size(), 17u) << name;
  EXPECT_EQ(name.substr(0, 12), "log080526_06") << name;
  EXPECT_EQ(name.back(), 'a') << name;
  const int minutes = std::stoi(name.substr(12, 2)), seconds = std::stoi(name.substr(14, 2));
  EXPECT_GE(minutes * 60 + seconds, 100) << name;  // not before the first epoch at 06:01:40
  EXPECT_LE(minutes * 60 + seconds, 160) << name;

  EXPECT_EQ(ask("%e%em,/cur/file/a,zrt/{RT,ET}:1"), re("%e%"));
  const std::string file = ".gnss.log/" + name;
  ASSERT_TRUE(waitUntil([&] { return dir_.read(file).size() >= 20; })) << dir_.read(file).size();
  EXPECT_EQ(dir_.read(file).substr(0, 2), "~~");
  // A short press of action dyn switches the file's mode; it goes on logging.
  press(dir_.path, 119, 100);
  const std::size_t at = dir_.read(file).size();
  EXPECT_TRUE(waitUntil([&] { return dir_.read(file).size() > at + 20; }));
  press(dir_.path, 119, 600);
  EXPECT_TRUE(ledShows(dir_.path, 130, 131, 0, 0));
  const std::size_t closed = dir_.read(file).size();
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  EXPECT_EQ(dir_.read(file).size(), closed) << "nothing is written once the file is closed";

  // Rotation on: the press switches rotation instead of starting a file.
  EXPECT_EQ(ask("%r%set,/par/button/rot,on"), re("%r%"));
  press(dir_.path, 119, 600);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  EXPECT_EQ(logFiles(dir_.path), 1);
  EXPECT_EQ(ask("%s%set,/par/button/rot,off"), re("%s%"));

  // The TCP clients suspended and resumed, each shown by a fine flash of the position LED.
  EXPECT_EQ(ask("%t%set,/par/button/action,tcpcl"), re("%t%"));
  press(dir_.path, 119, 100);
  EXPECT_TRUE(ledShows(dir_.path, 137, 136, 0, 1)) << "red: suspended";
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  press(dir_.path, 119, 100);
  EXPECT_TRUE(ledShows(dir_.path, 137, 136, 1, 0)) << "green: running";

  // Held 7 s: sleep until the next session; with none defined, no wake-up time.
  press(dir_.path, 32, 7000);
  EXPECT_EQ(end(), 128);
  EXPECT_NE(dir_.read("host/var/run/rxengine-request").find("sleep"), std::string::npos);
}

// The auto mode of the file button: "on" starts logging at the next start, without a press (the
// recording LED green); "off" leaves the next start without logging. A bad mode is refused.
TEST_F(ButtonsLeds, AutoModeStartsLoggingAtTheNextStart) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {137, 136, 130, 131}, "in", "1"));
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {32, 119}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/button/auto"), re("off"));
  EXPECT_EQ(ask("%f%set,/par/button/file,autolog"), re("%f%"));
  EXPECT_EQ(ask("%a%set,/par/button/auto,on"), re("%a%"));
  EXPECT_EQ(ask("%b%set,/par/button/auto,sometimes").rfind("ER", 0), 0u);
  EXPECT_EQ(ask("print,/par/button/auto"), re("on"));
  EXPECT_EQ(logFiles(dir_.path), 0) << "the mode acts at a start";
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_TRUE(waitUntil([&] { return dir_.exists(".gnss.log/autolog"); }));
  EXPECT_TRUE(waitUntil([&] { return standin::gpioLevel(dir_.path, 130) == 1 && standin::gpioLevel(dir_.path, 131) == 0; }));

  EXPECT_EQ(ask("%c%set,/par/button/auto,off"), re("%c%"));
  restart();
  ASSERT_EQ(std::remove(dir_.file(".gnss.log/autolog").c_str()), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  std::this_thread::sleep_for(std::chrono::seconds(2));
  EXPECT_EQ(logFiles(dir_.path), 0);
  EXPECT_TRUE(waitUntil([&] { return standin::gpioLevel(dir_.path, 130) == 0 && standin::gpioLevel(dir_.path, 131) == 0; }));
}

// The file button held 1-1.75 s resets serial port A: its rate and its input mode go back to the
// defaults, stored (a port A that took no commands takes them again); no logging starts. The
// image file holds the reset at once: the start saved it just before, so the periodic save
// would wait 10 s, and the program is killed as soon as the file has changed.
TEST_F(ButtonsLeds, LongHoldResetsPortA) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {137, 136, 130, 131}, "in", "1"));
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {32, 119}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("%r%set,/par/dev/ser/a/rate,9600"), re("%r%"));
  EXPECT_EQ(ask("print,/par/dev/ser/a/rate"), re("9600"));
  {
    Port serB(dir_.file("dev/ser/b"));
    EXPECT_EQ(serB.ask("%m%set,/par/dev/ser/a/imode,none"), re("%m%"));
    EXPECT_EQ(serB.ask("%r%set,/par/rcv/restart,yes"), re("%r%"));
    EXPECT_EQ(end(), 0);
  }
  ASSERT_NO_FATAL_FAILURE(start());
  Port serB(dir_.file("dev/ser/b"));
  EXPECT_EQ(serB.ask("print,/par/dev/ser/a/rate"), re("9600")) << "stored";
  Port serC(dir_.file("dev/ser/c"));
  ASSERT_EQ(serB.ask("%e%em,/dev/ser/c,zrt/RT:0"), re("%e%"));
  const std::string before = dir_.read(".gnss.nvm");
  press(dir_.path, 119, 1400);
  EXPECT_TRUE(waitUntil([&] { return serB.ask("print,/par/dev/ser/a/rate") == re("115200"); }));
  EXPECT_EQ(serB.ask("print,/par/dev/ser/a/imode"), re("cmd"));
  EXPECT_EQ(ask("print,/par/dev/ser/a/rate"), re("115200")) << "port A takes commands again";
  EXPECT_EQ(logFiles(dir_.path), 0) << "no logging started";
  // The file changes within a few of the program's epochs after the reset was seen, where the
  // periodic save would wait 10 s after the start's (counted in epochs, so that a busy machine
  // that holds the program back holds back both).
  int epochs = 0;
  for (; epochs < 30 && dir_.read(".gnss.nvm") == before; ++epochs) {
    serC.held.clear();
    ASSERT_TRUE(serC.fill([](const std::string& h) { return h.find("~~") != std::string::npos; }));
  }
  EXPECT_LT(epochs, 6) << "saved at once";
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/dev/ser/a/rate"), re("115200")) << "saved at once";
  EXPECT_EQ(ask("print,/par/dev/ser/a/imode"), re("cmd")) << "saved at once";
}

// button/period sets the default period of the message schedule: a message enabled without a
// period of its own (the receiver time "~~", one a second by default) comes at that period; it is not printed, and
// a period outside 0.1..100 s is refused.
TEST_F(ButtonsLeds, PeriodIsTheDefaultPeriodOfMessages) {
  ASSERT_NO_FATAL_FAILURE(startSim({"--rate", "10"}));  // ten epochs a second
  ASSERT_NO_FATAL_FAILURE(start());
  Port b(dir_.file("dev/ser/b"));
  ASSERT_TRUE(b.ok());
  const auto rtIn = [&](int ms) {
    b.held.clear();
    b.fill([](const std::string&) { return false; }, ms);
    std::size_t n = 0;
    for (std::size_t at = b.held.find("~~"); at != std::string::npos; at = b.held.find("~~", at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(ask("%p%set,/par/button/period,0.05").rfind("ER", 0), 0u);
  EXPECT_EQ(ask("%p%set,/par/button/period,101").rfind("ER", 0), 0u);
  EXPECT_EQ(ask("print,/par/button/period").rfind("ER", 0), 0u);
  EXPECT_EQ(ask("%p%set,/par/button/period,0.5"), re("%p%"));
  ASSERT_EQ(ask("%e%em,/dev/ser/b,zrt/RT"), re("%e%"));
  rtIn(1200);  // the first period
  const std::size_t fast = rtIn(4000);
  EXPECT_GE(fast, 7u);
  EXPECT_LE(fast, 9u);
  EXPECT_EQ(ask("%q%set,/par/button/period,2"), re("%q%"));
  ASSERT_EQ(ask("%e%em,/dev/ser/b,zrt/RT"), re("%e%"));
  rtIn(2500);
  const std::size_t slow = rtIn(6000);
  EXPECT_GE(slow, 2u);
  EXPECT_LE(slow, 4u);
}

// The file button held down while the program starts: both LEDs green at once, red and green
// from 5 s on, blinking until 10 s. Let go between 5 and 10 s, the settings image is cleared at
// the next start (not at this one), so a stored key is back to its factory value; let go before
// 5 s, or held on past the 10 s that the start waits for it, nothing is cleared.
TEST_F(ButtonsLeds, FileButtonHeldAtStartClearsTheSettingsOnlyWhenLetGoBetweenFiveAndTenSeconds) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {137, 136, 130, 131}, "in", "1"));
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {32, 119}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  const std::string factory = ask("print,/par/button/file");
  const auto lit = [&](int line) { return standin::gpioLevel(dir_.path, line) == 1; };
  const auto button = [&](bool down) { standin::writeStandIn(standin::gpioPath(dir_.path, 119, "value"), down ? "0\n" : "1\n"); };
  enum Release { kAtOnce, kWhileBlinking, kAfterTheStart };
  const struct {
    const char* name;
    Release release;
    bool cleared;
  } rows[] = {{"let go at once", kAtOnce, false},
              {"let go while blinking", kWhileBlinking, true},
              {"held past 10 s", kAfterTheStart, false}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    EXPECT_EQ(ask("%b%set,/par/button/file,e2eclear"), re("%b%"));
    // The ports' settings are read with the image's first blocks, before the clear runs.
    EXPECT_EQ(ask("%r%set,/par/dev/ser/b/rate,9600"), re("%r%"));
    restart();

    button(true);
    rx_ = std::make_unique<Proc>(dir_.path, std::vector<std::string>{RXENGINE_PATH});
    EXPECT_TRUE(waitUntil([&] { return lit(137) && lit(130) && !lit(136) && !lit(131); })) << rx_->out();
    if (r.release != kAtOnce) {
      EXPECT_TRUE(waitUntil([&] { return lit(137) && lit(136) && lit(130) && lit(131); }, 9000)) << rx_->out();
      // Blinking: dark again, then lit again.
      EXPECT_TRUE(waitUntil([&] { return !lit(136) && !lit(131); }, 2000));
      EXPECT_TRUE(waitUntil([&] { return lit(136) && lit(131); }, 2000));
    }
    if (r.release == kAfterTheStart) {
      ASSERT_TRUE(rx_->waitOut(kReady, kStartGuardMs)) << rx_->out();
    }
    button(false);
    ASSERT_TRUE(rx_->waitOut(kReady, kStartGuardMs)) << rx_->out();
    port_ = std::make_unique<Port>(dir_.file("dev/ser/a"));
    ASSERT_TRUE(port_->ok());
    EXPECT_EQ(ask("print,/par/button/file"), re("e2eclear")) << "cleared at the next start, not now";

    restart();
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(rx_->out().find("$$NV: clearing the settings image as requested") != std::string::npos, r.cleared)
        << rx_->out();
    EXPECT_EQ(ask("print,/par/button/file"), r.cleared ? factory : re("e2eclear"));
    EXPECT_EQ(ask("print,/par/dev/ser/b/rate"), re(r.cleared ? "115200" : "9600"));
    if (!r.cleared) continue;
    // Done once: the start after that keeps what is set again.
    EXPECT_EQ(ask("%c%set,/par/button/file,e2ekept"), re("%c%"));
    restart();
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(ask("print,/par/button/file"), re("e2ekept"));
    EXPECT_EQ(ask("print,/par/dev/ser/b/rate"), re("115200"));
    EXPECT_EQ(rx_->out().find("$$NV: clearing"), std::string::npos) << rx_->out();
  }
}

// With action tcpcl every start shows the TCP clients' state as a button press would: a green
// fine flash of the position LED (running), which ends at one epoch a second too, and the LED
// shows the position again (red: none).
TEST_F(ButtonsLeds, WithActionTcpclEachStartShowsTheClientsState) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {137, 136, 130, 131}, "in", "1"));
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {32, 119}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim());
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_TRUE(ledShows(dir_.path, 137, 136, 0, 1)) << "red: no position";
  EXPECT_EQ(ask("%t%set,/par/button/action,tcpcl"), re("%t%"));
  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_TRUE(ledShows(dir_.path, 137, 136, 1, 0)) << "green: running";
  EXPECT_TRUE(ledShows(dir_.path, 137, 136, 0, 1)) << "red again: no position";
}

// The position LED in an RTK position mode (pd) at ten epochs a second, where its colour shows
// 400-799 ms into each second: with led/pos/rtk/each on it takes every epoch's solution (the
// board's own, type below 4: both colours lit); off without an interval it keeps the colour of
// the last mode (green); with an interval of 2 s it takes the solution again. The keys keep what
// is acknowledged across the restart key, a kill after the periodic save and SIGTERM; a refused
// value changes nothing; init,/par/ brings the defaults back.
TEST_F(ButtonsLeds, PositionLedInRtkModesTakesTheEpochsOfItsInterval) {
  ASSERT_TRUE(standin::layOutGpio(dir_.path, {137, 136, 130, 131}, "in", "1"));
  ASSERT_NO_FATAL_FAILURE(startSim({"--nav", std::string(RX_SHARED_DIR) + "/testdata/nav/brdc1820.10n", "--sky", "--rate", "10"}));
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/led/pos/rtk"), re("{each=on,int=0}"));
  for (const char* bad : {"set,/par/led/pos/rtk/int,60001", "set,/par/led/pos/rtk/int,-1", "set,/par/led/pos/rtk/each,sometimes",
                          "set,/par/led/pos/rtk/every,1"})
    EXPECT_EQ(ask(bad).substr(0, 2), "ER") << bad;
  EXPECT_EQ(ask("print,/par/led/pos/rtk"), re("{each=on,int=0}"));
  const auto both = [&] { return ledShows(dir_.path, 137, 136, 1, 1); };
  ASSERT_EQ(ask("%m%set,/par/pos/mode,pd"), re("%m%"));
  EXPECT_TRUE(both()) << "every epoch's solution";
  ASSERT_EQ(ask("%m%set,/par/pos/mode,sp"), re("%m%"));
  EXPECT_TRUE(ledShows(dir_.path, 137, 136, 1, 0));
  ASSERT_EQ(ask("%e%set,/par/led/pos/rtk/each,off"), re("%e%"));
  ASSERT_EQ(ask("%m%set,/par/pos/mode,pd"), re("%m%"));
  EXPECT_FALSE(waitUntil([&] { return standin::gpioLevel(dir_.path, 136) == 1; }, 3000)) << "the colour is kept";
  ASSERT_EQ(ask("%i%set,/par/led/pos/rtk/int,2000"), re("%i%"));
  EXPECT_TRUE(both()) << "the epochs on the interval";
  EXPECT_EQ(ask("print,/par/led/pos/rtk"), re("{each=off,int=2000}"));

  restart();
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/led/pos/rtk"), re("{each=off,int=2000}"));
  ASSERT_EQ(ask("%i%set,/par/led/pos/rtk/int,500"), re("%i%"));
  std::this_thread::sleep_for(std::chrono::seconds(11));  // past the periodic save
  ASSERT_TRUE(rx_->signal(SIGKILL));
  EXPECT_EQ(end(), -SIGKILL);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/led/pos/rtk/int"), re("500"));
  ASSERT_EQ(ask("%e%set,/par/led/pos/rtk/each,on"), re("%e%"));
  ASSERT_TRUE(rx_->signal(SIGTERM));
  EXPECT_EQ(end(), 0);
  ASSERT_NO_FATAL_FAILURE(start());
  EXPECT_EQ(ask("print,/par/led/pos/rtk"), re("{each=on,int=500}"));
  EXPECT_EQ(ask("%i%init,/par/"), re("%i%"));
  EXPECT_EQ(ask("print,/par/led/pos/rtk"), re("{each=on,int=0}"));
}

}  // namespace
}  // namespace e2e
